// One run of the command-line client: reads the command line, connects to
// the service, waits for the catalogue, carries out one command and waits
// until the service has answered it. Usage errors and names that find
// nothing are reported before anything is sent, so bad input changes
// nothing.
//
// Threads: the main thread; waits turn its event loop.
#pragma once

#include "Marrowkit/Connection/parleyconnector.h"

#include <QStringList>
#include <QTextStream>

#include <functional>
#include <memory>
#include <optional>

class CliSession
{
public:
    CliSession(QTextStream &out, QTextStream &err) : m_out(out), m_err(err) {}
    ~CliSession();

    // The exit status: 0 on success, 1 on any failure.
    int run(const QStringList &arguments);
    // Runs `mount` with the connected connector and the folder, if given;
    // without a handler the command is refused.
    using MountHandler = std::function<int(ParleyConnector &, const QStringList &)>;
    void setMountHandler(MountHandler handler) { m_mount = std::move(handler); }

private:
    struct Command;
    static const QList<Command> &commands();
    static const Command *commandNamed(const QString &name);

    int usage(const QString &problem);
    void printHelp(const Command *command);
    int fail(const QString &message);
    // The bus name of the service, its activation enabled where it can be.
    static QString serviceToReach();
    // Why the session bus can neither reach nor start `service`; empty when
    // it can (or cannot tell).
    static QString unreachable(const QString &service);
    bool connect(const QString &service);
    bool waitUntil(const std::function<bool()> &condition, int milliseconds);
    // Waits for every request sent to be answered.
    bool settle();
    // Waits until the service's catalogue shows what `shows` looks for.
    bool waitForCatalogue(const std::function<bool(const QList<SimulatorDevicePtr> &)> &shows);

    std::optional<SimulatorDevicePtr> device(const QString &given);
    std::optional<SimulatorAppPtr> app(const SimulatorDevicePtr &device, const QString &given);

    int devices(bool json);
    int apps(const QString &device, bool json);
    int appAction(const QString &action, const QStringList &arguments);
    int deviceAction(const QString &action, const QStringList &arguments);
    int groups(const QStringList &arguments);
    int copyPath(const QStringList &arguments);
    int watch();

    QTextStream &m_out;
    QTextStream &m_err;
    std::unique_ptr<ParleyConnector> m_connector;
    MountHandler m_mount;
};
