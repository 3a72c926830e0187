#include "mountcommand.h"

#include "connectorfeed.h"
#include "marrowfscontroller.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

// Ctrl-C and SIGTERM end the event loop, so the volume is unmounted in order.
bool quitOnSignals(QCoreApplication &app)
{
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return false;
    }
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [&app] {
        char byte;
        while (::read(signalPipe[0], &byte, 1) > 0) {
        }
        app.quit();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    ::sigemptyset(&action.sa_mask);
    return ::sigaction(SIGINT, &action, nullptr) == 0 &&
           ::sigaction(SIGTERM, &action, nullptr) == 0;
}

class StandardErrorAlerts : public VolumeAlertPresenter
{
public:
    void showAlert(const QString &message) override
    {
        static_cast<void>(std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData()));
        static_cast<void>(std::fflush(stderr));
    }
};

} // namespace

int runMountCommand(QCoreApplication &app, ParleyConnector &connector, const QStringList &paths)
{
    StandardErrorAlerts alerts;
    ConnectorFeed feed(connector, &alerts);
    MarrowfsController volume(feed.catalogue(), feed,
                              paths.isEmpty() ? MarrowfsController::defaultMountPath()
                                              : paths.constFirst());
    if (!quitOnSignals(app) || !volume.start()) {
        static_cast<void>(std::fprintf(stderr, "Mounting %s failed. %s\n",
                                       volume.mountPath().toLocal8Bit().constData(),
                                       volume.errorString().toLocal8Bit().constData()));
        return 1;
    }
    static_cast<void>(std::printf("Mounted at %s\n", volume.mountPath().toLocal8Bit().constData()));
    static_cast<void>(std::fflush(stdout));
    const int status = app.exec();
    volume.stop();
    return status;
}
