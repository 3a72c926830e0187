#include "simulatorapp.h"

#include "console.h"
#include "simidentifiers.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

sigset_t terminationSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGHUP);
    return set;
}

constexpr int bootDelayMs = 500;

} // namespace

SimulatorApp::SimulatorApp(QObject *parent) : QObject(parent)
{
    m_bootTimer.setSingleShot(true);
    m_bootTimer.setInterval(bootDelayMs);
    connect(&m_bootTimer, &QTimer::timeout, this, &SimulatorApp::finishBooting);
}

SimulatorApp::~SimulatorApp()
{
    if (m_signalFd >= 0) {
        ::close(m_signalFd);
    }
}

void SimulatorApp::blockTerminationSignals()
{
    const sigset_t set = terminationSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

int SimulatorApp::exec(const QStringList &arguments)
{
    const sigset_t set = terminationSignals();
    m_signalFd = ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (m_signalFd < 0) {
        return Console::fail(QStringLiteral("Simulator: cannot receive signals"));
    }
    m_signalNotifier = new QSocketNotifier(m_signalFd, QSocketNotifier::Read, this);
    connect(m_signalNotifier, &QSocketNotifier::activated, this, &SimulatorApp::terminate);

    // Other arguments (those every application gets) are ignored.
    const qsizetype index = arguments.indexOf(QStringLiteral("-CurrentDeviceUDID"));
    if (index >= 0) {
        QString error;
        if (index + 1 >= arguments.size() || !bootDevice(arguments.at(index + 1), &error)) {
            return Console::fail(
                QStringLiteral("Simulator: %1")
                    .arg(error.isEmpty() ? QStringLiteral("no device given") : error));
        }
    }
    return QCoreApplication::exec();
}

bool SimulatorApp::bootDevice(const QString &udid, QString *error)
{
    const auto record = m_set.device(udid, error);
    if (!record) {
        return false;
    }
    if (record->state == SimIdentifiers::stateBooted ||
        record->state == SimIdentifiers::stateBooting) {
        m_devices.append(record->udid);
        m_bootTimer.start();
        return true;
    }
    if (!m_set.changeState(record->udid, {SimIdentifiers::stateShutdown},
                           {SimIdentifiers::stateBooting}, QStringLiteral("boot"), error)) {
        return false;
    }
    m_devices.append(record->udid);
    m_bootTimer.start();
    return true;
}

void SimulatorApp::finishBooting()
{
    for (const QString &udid : std::as_const(m_devices)) {
        // Already booted devices (adopted) refuse quietly.
        m_set.changeState(udid, {SimIdentifiers::stateBooting}, {SimIdentifiers::stateBooted},
                          QStringLiteral("boot"));
    }
}

void SimulatorApp::terminate()
{
    signalfd_siginfo info{};
    while (::read(m_signalFd, &info, sizeof info) == sizeof info) {
    }
    m_bootTimer.stop();
    for (const QString &udid : std::as_const(m_devices)) {
        m_set.changeState(udid, {SimIdentifiers::stateBooted, SimIdentifiers::stateBooting},
                          {SimIdentifiers::stateShuttingDown, SimIdentifiers::stateShutdown},
                          QStringLiteral("shutdown"));
    }
    QCoreApplication::exit(0);
}
