// The connector against the real service: the catalogue arrives and is
// kept, pushed updates are merged one second after they arrive (repeats in
// the meantime dropped), and actions on shut-down devices boot them first.
#include "connectorworld.h"

#include "devtoolsworld.h"

#include "Marrowkit/model/simulatorapp.h"
#include "Marrowkit/model/simulatorproxydevice.h"

#include "Marrowkit/Connection/parleycontract.h"

#include <QDBusMessage>

#include <QThread>

#include <gtest/gtest.h>

using testsupport::waitFor;

namespace {

SimulatorUpdate deviceBooted(const QString &uuid)
{
    return SimulatorUpdate(SimulatorUpdateType::DeviceBooted,
                           {std::make_shared<SimulatorProxyDevice>(uuid)});
}

qsizetype countOf(const QList<SimulatorUpdate> &updates, const SimulatorUpdate &update)
{
    return std::count(updates.begin(), updates.end(), update);
}

} // namespace

TEST_F(ConnectorWorld, TheCatalogueArrivesAndEveryCatalogueHandlerGetsIt)
{
    WatchedConnector &watched = newConnector();
    int second = 0;
    watched.connector->addDeviceUpdateHandler(QStringLiteral("second"),
                                              [&second](const auto &) { ++second; });
    ASSERT_TRUE(waitForCatalogue(watched));
    EXPECT_TRUE(watched.connector->isConnected());
    EXPECT_FALSE(watched.connector->isRequestingDevices());
    const auto phone = deviceNamed(*watched.connector->devices(), QStringLiteral("iPhone 6"));
    ASSERT_TRUE(phone);
    EXPECT_TRUE(appNamed(phone, QStringLiteral("Birdwatch")));
    ASSERT_EQ(watched.catalogues.size(), 1);
    EXPECT_EQ(second, 1);
    EXPECT_EQ(watched.catalogues.constFirst().size(), watched.connector->devices()->size());
    EXPECT_EQ(watched.connector->description(), QStringLiteral("ParleyConnector[test-0]"));
}

TEST_F(ConnectorWorld, TheSameDeviceBootedTwiceWithinASecondIsProcessedOnce)
{
    WatchedConnector &watched = newConnector();
    ASSERT_TRUE(waitForCatalogue(watched));
    const auto devices = *watched.connector->devices();
    QList<SimulatorDevicePtr> shutDown;
    for (const auto &device : devices) {
        if (!device->booted()) {
            shutDown.append(device);
        }
    }
    ASSERT_GE(shutDown.size(), 2);
    const SimulatorDevicePtr first = shutDown.at(0);
    const SimulatorDevicePtr marker = shutDown.at(1);
    ASSERT_TRUE(first && marker && first != marker);
    push(*watched.connector, deviceBooted(first->uuid()));
    push(*watched.connector, deviceBooted(first->uuid()));
    // Sent after the two, so processed after them.
    push(*watched.connector, deviceBooted(marker->uuid()));
    ASSERT_TRUE(
        waitFor([&] { return countOf(watched.updates, deviceBooted(marker->uuid())) > 0; }));
    EXPECT_EQ(countOf(watched.updates, deviceBooted(first->uuid())), 1);
    EXPECT_TRUE(first->booted()) << "the catalogue's own device took the new state";
    EXPECT_TRUE(marker->booted());
    EXPECT_EQ(watched.catalogues.size(), 1) << "known devices need no new catalogue";
}

TEST_F(ConnectorWorld, AnUpdateForAnUnknownDeviceRestartsTheServiceAndStillCallsTheHandlers)
{
    WatchedConnector &watched = newConnector();
    ASSERT_TRUE(waitForCatalogue(watched));
    const uint before = servicePid();
    ASSERT_NE(before, 0u);
    const auto unknown = deviceBooted(QStringLiteral("0BADBEEF-0000-4000-8000-000000000000"));
    push(*watched.connector, unknown);
    ASSERT_TRUE(waitFor([&] { return countOf(watched.updates, unknown) == 1; }));
    ASSERT_TRUE(waitFor([&] { return watched.catalogues.size() == 2; }, std::chrono::seconds(20)))
        << "the whole catalogue is fetched again";
    EXPECT_NE(servicePid(), before) << "from a fresh service";
    EXPECT_NE(servicePid(), 0u);
    EXPECT_TRUE(watched.connector->devices().has_value());
}

TEST_F(ConnectorWorld, AppsDeletedRemovesTheAppFromItsDeviceThenCallsTheHandlersOnce)
{
    WatchedConnector &watched = newConnector();
    ASSERT_TRUE(waitForCatalogue(watched));
    const auto phone = deviceNamed(*watched.connector->devices(), QStringLiteral("iPhone 6"));
    const auto app = appNamed(phone, QStringLiteral("Birdwatch"));
    ASSERT_TRUE(app);
    const qsizetype appsBefore = phone->apps().size();
    const SimulatorUpdate deleted(SimulatorUpdateType::AppsDeleted, {app});
    push(*watched.connector, deleted);
    ASSERT_TRUE(waitFor([&] { return countOf(watched.updates, deleted) == 1; }));
    EXPECT_EQ(phone->apps().size(), appsBefore - 1);
    EXPECT_FALSE(appNamed(phone, QStringLiteral("Birdwatch")));
    EXPECT_EQ(watched.updates.size(), 1);
}

TEST_F(ConnectorWorld, PushesThatDoNotDecodeChangeNothing)
{
    WatchedConnector &watched = newConnector();
    ASSERT_TRUE(waitForCatalogue(watched));
    QDBusConnection pusher = m_bus->connect(QStringLiteral("hostile"));
    const auto sendJunk = [&](const QString &method) {
        for (const QByteArray &junk :
             {QByteArray(), QByteArray("bplist00"), QByteArray(100000, '\xff')}) {
            QDBusMessage message = QDBusMessage::createMethodCall(
                watched.connector->busName(), ParleyContract::clientObjectPath(),
                ParleyContract::updateInterfaceName(), method);
            message << junk;
            pusher.send(message);
        }
    };
    bool directoryHandlerCalled = false;
    watched.connector->observeDirectoryAtPath(m_home->path(),
                                              [&] { directoryHandlerCalled = true; });
    sendJunk(QStringLiteral("receiveUpdate"));
    sendJunk(QStringLiteral("directoryChanged"));
    // A good update after the junk: once it is through, the junk was handled.
    const auto phone = deviceNamed(*watched.connector->devices(), QStringLiteral("iPhone 6"));
    ASSERT_TRUE(phone);
    push(*watched.connector, deviceBooted(phone->uuid()));
    ASSERT_TRUE(waitFor([&] { return !watched.updates.isEmpty(); }));
    EXPECT_EQ(watched.updates.size(), 1);
    EXPECT_FALSE(directoryHandlerCalled);

    sendJunk(QStringLiteral("receiveSimulatorDevicesContainingApps"));
    EXPECT_TRUE(waitFor([&] { return !watched.connector->devices().has_value(); }))
        << "a catalogue that does not decode leaves none";
    EXPECT_EQ(watched.catalogues.size(), 1) << "and calls no handler";
    EXPECT_TRUE(watched.connector->isConnected());
}

TEST_F(ConnectorWorld, LaunchingAnAppOnAShutDownDeviceBootsItThenLaunches)
{
    WatchedConnector &watched = newConnector();
    ASSERT_TRUE(waitForCatalogue(watched));
    SimulatorAppPtr app;
    for (const auto &device : *watched.connector->devices()) {
        if (!device->booted() && !device->apps().isEmpty() &&
            device->name().startsWith(QStringLiteral("iPhone"))) {
            app = device->apps().constFirst();
            break;
        }
    }
    ASSERT_TRUE(app && app->device());
    const QString uuid = app->device()->uuid();
    const QString launched = QStringLiteral("Launched ") + app->bundleIdentifier();
    EXPECT_FALSE(devtoolsworld::systemLog(uuid).contains(launched));
    watched.connector->launchApp(*app);
    ASSERT_TRUE(waitFor([&] { return devtoolsworld::systemLog(uuid).contains(launched); },
                        std::chrono::seconds(40)))
        << "the app was launched once the device booted";
    EXPECT_EQ(devtoolsworld::deviceState(uuid), 3);
    EXPECT_FALSE(simulatorProcesses().isEmpty()) << "in the Simulator, shown";
    ASSERT_TRUE(watched.connector->devices().has_value());
    EXPECT_TRUE(countOf(watched.updates, deviceBooted(uuid)) >= 1);
}

TEST_F(ConnectorWorld, LosingItsOwnBusConnectionIsAnInvalidationThatReconnects)
{
    // A bus of its own, ended under the connector.
    auto bus = std::make_unique<testsupport::PrivateBus>();
    ASSERT_TRUE(bus->isRunning());
    ParleyConnector connector(QStringLiteral("lost"), ParleyContract::serviceName(),
                              bus->address());
    ASSERT_TRUE(waitFor([&] { return connector.devices().has_value(); }, std::chrono::seconds(20)));
    ASSERT_EQ(connector.establishConnectionRetryCount(), 0);
    bus.reset();
    EXPECT_TRUE(waitFor([&] { return connector.establishConnectionRetryCount() == 1; }))
        << "the lost connection counts one reconnection";
    EXPECT_FALSE(connector.isConnected()) << "with no bus to reach, it stays unconnected";
    EXPECT_FALSE(connector.devices().has_value());
    // No bus: requests are skipped, answers are empty, nothing waits.
    bool answered = false;
    const auto app = SimulatorApp::create(
        QStringLiteral("app"), {{QStringLiteral("CFBundleIdentifier"), QStringLiteral("a.b")}});
    connector.urlsForAppGroupsOfApp(*app,
                                    [&](const QList<QUrl> &urls) { answered = urls.isEmpty(); });
    EXPECT_TRUE(answered);
    EXPECT_FALSE(connector.hasPendingRequests());
}

TEST_F(ConnectorWorld, AHundredInvalidationsWithoutACatalogueEndTheReconnections)
{
    WatchedConnector &watched = newConnector();
    ParleyConnector &connector = *watched.connector;
    ASSERT_TRUE(waitForCatalogue(watched));
    ASSERT_EQ(connector.establishConnectionRetryCount(), 0);
    // The bus library's report of a lost connection, delivered again and
    // again while no catalogue can arrive (the event loop does not turn in
    // this test from here on): each reconnects, which ends the service.
    const auto lose = [&] {
        return QMetaObject::invokeMethod(&connector, "busDisconnected", Qt::DirectConnection);
    };
    for (int lost = 1; lost <= 100; ++lost) {
        ASSERT_TRUE(lose());
        ASSERT_TRUE(connector.isConnected()) << "invalidation " << lost << " reconnects";
        ASSERT_EQ(connector.establishConnectionRetryCount(), lost);
    }
    // The last reconnection's request starts a service; the next loss is
    // only logged, so that service is not told to stop.
    uint pid = 0;
    for (int polls = 0; polls < 500 && pid == 0; ++polls) {
        pid = servicePid();
        QThread::msleep(20);
    }
    ASSERT_NE(pid, 0u);
    ASSERT_TRUE(lose());
    EXPECT_EQ(connector.establishConnectionRetryCount(), 100);
    EXPECT_EQ(servicePid(), pid) << "the hundred-and-first loss reconnected";
}
