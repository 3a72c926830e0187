#include "quitsignals.h"

#include "Marrowkit/foundation/log.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int pipeEnds[2] = {-1, -1};

void onSignal(int signalNumber)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &byte, 1);
    errno = saved;
}

} // namespace

QuitSignals::QuitSignals(QObject *parent) : QObject(parent)
{
    if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) {
        MLOG_ERROR(QStringLiteral("No pipe for signals: SIGTERM and SIGINT end the process "
                                  "without stopping the volume"));
        return;
    }
    m_notifier = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &QuitSignals::drain);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

QuitSignals::~QuitSignals()
{
    (void)::signal(SIGTERM, SIG_DFL);
    (void)::signal(SIGINT, SIG_DFL);
    for (int &end : pipeEnds) {
        if (end >= 0) {
            ::close(end);
            end = -1;
        }
    }
}

void QuitSignals::drain()
{
    unsigned char byte = 0;
    int last = 0;
    while (::read(pipeEnds[0], &byte, 1) == 1) {
        last = byte;
    }
    if (last != 0) {
        Q_EMIT quitRequested(last);
    }
}
