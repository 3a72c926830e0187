// A private session bus for one test: a dbus-daemon of its own whose service
// folder is the build tree's, so calling a service's name starts the real
// program (bus activation). The daemon, and every service it starts, runs
// with the environment the test has when the bus is made (HOME included),
// and every service it started is killed when the bus goes.
#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace testsupport {

class PrivateBus
{
public:
    // `serviceDirs` replaces the build tree's folder of service files (a
    // test of where the service files are written).
    explicit PrivateBus(const QStringList &serviceDirs = {});
    ~PrivateBus();
    PrivateBus(const PrivateBus &) = delete;
    PrivateBus &operator=(const PrivateBus &) = delete;

    bool isRunning() const { return !m_address.isEmpty(); }
    QString address() const { return m_address; }
    // A new connection of this process to the bus, under a name of the
    // test's choosing (each name is a separate client).
    QDBusConnection connect(const QString &connectionName);
    // The process that owns `busName` now; 0 when nobody does.
    uint ownerProcess(const QString &busName);
    // Ends the daemon as a session's end does, leaving the services it
    // started running.
    void endDaemon();

private:
    void killStartedServices();

    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
    QStringList m_connectionNames;
};

} // namespace testsupport
