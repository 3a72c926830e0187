#include "connectorworld.h"

#include "devtoolsworld.h"

#include "tests/support/processscan.h"

#include "Marrowkit/Connection/parleycontract.h"
#include "Marrowkit/model/simulatorapp.h"
#include "Marrowkit/model/simulatorcoding.h"

#include <QDBusMessage>
#include <QProcess>

#include <csignal>

using testsupport::waitFor;

void ConnectorWorld::SetUp()
{
    SampleWorldTest::SetUp();
    if (HasFatalFailure()) {
        return;
    }
    m_notifications =
        std::make_unique<NotificationRecorder>(m_bus->connect(QStringLiteral("notifications")));
}

void ConnectorWorld::TearDown()
{
    m_connectors.clear();
    m_notifications.reset();
    SampleWorldTest::TearDown();
}

WatchedConnector &ConnectorWorld::newConnector()
{
    auto watched = std::make_unique<WatchedConnector>();
    WatchedConnector *raw = watched.get();
    watched->connector =
        std::make_unique<ParleyConnector>(QStringLiteral("test-%1").arg(m_connectors.size()),
                                          ParleyContract::serviceName(), m_bus->address());
    watched->connector->addDeviceUpdateHandler(
        QStringLiteral("record"),
        [raw](const QList<SimulatorDevicePtr> &devices) { raw->catalogues.append(devices); });
    watched->connector->addUpdateHandler(
        QStringLiteral("record"),
        [raw](const SimulatorUpdate &update) { raw->updates.append(update); });
    m_connectors.push_back(std::move(watched));
    return *raw;
}

bool ConnectorWorld::waitForCatalogue(const WatchedConnector &watched)
{
    return waitFor([&] { return watched.connector->devices().has_value(); },
                   std::chrono::seconds(20));
}

void ConnectorWorld::push(const ParleyConnector &connector, const SimulatorUpdate &update)
{
    const auto archive = SimulatorCoding::archivedDataWithUpdate(update).value();
    ASSERT_TRUE(archive.has_value());
    QDBusMessage message = QDBusMessage::createMethodCall(
        connector.busName(), ParleyContract::clientObjectPath(),
        ParleyContract::updateInterfaceName(), QStringLiteral("receiveUpdate"));
    message << *archive;
    ASSERT_TRUE(m_bus->connect(QStringLiteral("pusher")).send(message));
}

SimulatorDevicePtr ConnectorWorld::deviceNamed(const QList<SimulatorDevicePtr> &devices,
                                               const QString &name)
{
    for (const auto &device : devices) {
        if (device->name() == name) {
            return device;
        }
    }
    return nullptr;
}

SimulatorAppPtr ConnectorWorld::appNamed(const SimulatorDevicePtr &device, const QString &name)
{
    for (const auto &app : device ? device->apps() : QList<SimulatorAppPtr>()) {
        if (app->name() == name) {
            return app;
        }
    }
    return nullptr;
}

uint ConnectorWorld::servicePid()
{
    return m_bus->ownerProcess(ParleyContract::serviceName());
}

QList<pid_t> ConnectorWorld::simulatorProcesses() const
{
    return testsupport::simulatorProcessesIn(m_home->path());
}
