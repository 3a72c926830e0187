// A service that dies under its clients: killed again and again while
// several connectors send requests, every connector holds a catalogue again
// soon after, and every request is carried out exactly once.
#include "connectorworld.h"

#include <gtest/gtest.h>

#include <csignal>

using testsupport::waitFor;

TEST_F(ConnectorWorld, EveryConnectorRecoversFromAServiceKilledAgainAndAgain)
{
    constexpr int kills = 100;
    std::vector<WatchedConnector *> connectors;
    for (int i = 0; i < 3; ++i) {
        connectors.push_back(&newConnector());
    }
    for (WatchedConnector *watched : connectors) {
        ASSERT_TRUE(waitForCatalogue(*watched));
    }
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
        for (WatchedConnector *watched : connectors) {
            ASSERT_TRUE(waitFor(
                [&] {
                    return watched->connector->devices().has_value() && servicePid() != pid &&
                           servicePid() != 0;
                },
                std::chrono::seconds(20)))
                << "round " << round << ": " << watched->connector->description().toStdString();
        }
    }
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
