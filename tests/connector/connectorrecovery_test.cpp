// A service that dies under its clients: killed again and again while two
// connectors send requests and a `marrowby-cli watch` process looks on,
// every client holds a catalogue again soon after, and every request is
// carried out exactly once.
#include "connectorworld.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>

using testsupport::waitFor;

TEST_F(ConnectorWorld, EveryConnectorRecoversFromAServiceKilledAgainAndAgain)
{
    constexpr int kills = 100;
    std::vector<WatchedConnector *> connectors;
    for (int i = 0; i < 2; ++i) {
        connectors.push_back(&newConnector());
    }
    for (WatchedConnector *watched : connectors) {
        ASSERT_TRUE(waitForCatalogue(*watched));
    }
    QProcess watch;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_bus->address());
    watch.setProcessEnvironment(environment);
    watch.start(testsupport::bundlePath() + QStringLiteral("/Contents/MacOS/marrowby-cli"),
                {QStringLiteral("watch")});
    ASSERT_TRUE(watch.waitForStarted());
    QByteArray watchOutput;
    const auto cataloguesWatched = [&] {
        watchOutput += watch.readAllStandardOutput();
        return watchOutput.count("catalogue: ");
    };
    ASSERT_TRUE(waitFor([&] { return cataloguesWatched() > 0; }, std::chrono::seconds(20)));
    int requests = 0;
    for (int round = 0; round < kills; ++round) {
        const uint pid = servicePid();
        ASSERT_NE(pid, 0u) << "round " << round;
        ASSERT_EQ(::kill(pid_t(pid), SIGKILL), 0) << "round " << round;
        // Requests sent while the service is dying or gone.
        for (WatchedConnector *watched : connectors) {
            const auto devices = watched->connector->devices();
            if (devices && !devices->isEmpty()) {
                watched->connector->copyPathOfDevice(*devices->constFirst());
                ++requests;
            }
        }
        // Requests are retried once: the next kill waits until this round's
        // have been answered, or a request could meet two dying services.
        for (WatchedConnector *client : connectors) {
            ASSERT_TRUE(waitFor(
                [&] {
                    return client->connector->devices().has_value() &&
                           !client->connector->hasPendingRequests() && servicePid() != pid &&
                           servicePid() != 0;
                },
                std::chrono::seconds(20)))
                << "round " << round << ": " << client->connector->description().toStdString();
        }
    }
    // The watching client saw the service come back: a catalogue after the
    // last kill, and it is still running.
    const qsizetype seenBeforeLast = cataloguesWatched();
    const uint last = servicePid();
    ASSERT_EQ(::kill(pid_t(last), SIGKILL), 0);
    EXPECT_TRUE(
        waitFor([&] { return cataloguesWatched() > seenBeforeLast; }, std::chrono::seconds(20)))
        << watchOutput.toStdString();
    EXPECT_EQ(watch.state(), QProcess::Running);
    watch.terminate();
    EXPECT_TRUE(watch.waitForFinished(10000));
    EXPECT_EQ(watch.exitCode(), 0);
    ASSERT_TRUE(waitFor([&] {
        for (WatchedConnector *client : connectors) {
            if (!client->connector->devices().has_value() || servicePid() == last) {
                return false;
            }
        }
        return true;
    }));
    EXPECT_GT(requests, 0);
    ASSERT_TRUE(waitFor([&] { return m_notifications->notifications.size() >= requests; },
                        std::chrono::seconds(20)))
        << "every request was carried out: " << m_notifications->notifications.size() << " of "
        << requests;
    // One more request through a live service: once its notification is in,
    // any repeat of the earlier ones would be too.
    connectors.front()->connector->copyPathOfDevice(
        *connectors.front()->connector->devices()->constFirst());
    ASSERT_TRUE(waitFor([&] { return m_notifications->notifications.size() >= requests + 1; }));
    EXPECT_EQ(m_notifications->notifications.size(), requests + 1) << "nothing was done twice";
    for (WatchedConnector *watched : connectors) {
        EXPECT_TRUE(watched->connector->isConnected());
        EXPECT_EQ(watched->connector->establishConnectionRetryCount(), 0);
    }
}
