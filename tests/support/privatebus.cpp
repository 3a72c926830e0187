#include "privatebus.h"

#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QFile>
#include <QSet>

#include <csignal>
#include <sys/types.h>
#include <unistd.h>

namespace testsupport {

namespace {

QByteArray configuration(const QString &socket, QStringList serviceDirs)
{
    if (serviceDirs.isEmpty()) {
        serviceDirs.append(QStringLiteral(MARROWBY_TEST_DBUS_SERVICE_DIR));
    }
    QString folders;
    for (const QString &dir : std::as_const(serviceDirs)) {
        folders += QStringLiteral("  <servicedir>%1</servicedir>\n").arg(dir.toHtmlEscaped());
    }
    return QStringLiteral(
               R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=%1</listen>
%2  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)")
        .arg(socket, folders)
        .toUtf8();
}

} // namespace

PrivateBus::PrivateBus(const QStringList &serviceDirs)
{
    const QString socket = m_dir.filePath(QStringLiteral("bus"));
    const QString config = m_dir.filePath(QStringLiteral("session.conf"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly) || file.write(configuration(socket, serviceDirs)) < 0) {
        return;
    }
    file.close();
    const QString address = QStringLiteral("unix:path=") + socket;
    // Services the bus starts inherit the daemon's environment: they must
    // find this bus as their session bus.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
    m_daemon.setProcessEnvironment(environment);
    m_daemon.setProgram(QStringLiteral("dbus-daemon"));
    m_daemon.setArguments({QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                           QStringLiteral("--print-address=1")});
    m_daemon.start();
    if (!m_daemon.waitForStarted(10000)) {
        return;
    }
    while (!m_daemon.canReadLine() && m_daemon.waitForReadyRead(10000)) {
    }
    if (m_daemon.canReadLine()) {
        m_address = address;
    }
}

PrivateBus::~PrivateBus()
{
    if (isRunning()) {
        killStartedServices();
    }
    for (const QString &name : std::as_const(m_connectionNames)) {
        QDBusConnection::disconnectFromBus(name);
    }
    m_daemon.kill();
    m_daemon.waitForFinished(10000);
}

QDBusConnection PrivateBus::connect(const QString &connectionName)
{
    m_connectionNames.append(connectionName);
    return QDBusConnection::connectToBus(m_address, connectionName);
}

uint PrivateBus::ownerProcess(const QString &busName)
{
    QDBusConnection probe = connect(QStringLiteral("privatebus-probe"));
    const QDBusReply<uint> pid = probe.interface()->servicePid(busName);
    return pid.isValid() ? pid.value() : 0;
}

void PrivateBus::endDaemon()
{
    m_daemon.terminate();
    m_daemon.waitForFinished(10000);
    m_address.clear();
}

void PrivateBus::killStartedServices()
{
    QDBusConnection probe = connect(QStringLiteral("privatebus-probe"));
    const QDBusReply<QStringList> names = probe.interface()->registeredServiceNames();
    QSet<uint> processes;
    for (const QString &name : names.value()) {
        const QDBusReply<uint> pid = probe.interface()->servicePid(name);
        if (pid.isValid() && pid.value() != uint(::getpid()) && pid.value() != 0) {
            processes.insert(pid.value());
        }
    }
    for (uint pid : std::as_const(processes)) {
        if (qint64(pid) != m_daemon.processId()) {
            ::kill(pid_t(pid), SIGKILL);
        }
    }
}

} // namespace testsupport
