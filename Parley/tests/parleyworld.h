// The world every service test starts from: the stand-in's sample world in a
// temporary HOME, a private bus that starts the real service by activation,
// a recorder of notifications, and test clients.
#pragma once

#include "recordingclient.h"

#include "devtoolsworld.h"
#include "tests/support/privatebus.h"
#include "tests/support/testsupport.h"

#include "Marrowkit/model/simulatordevice.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

class ParleyWorld : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    RecordingClient &newClient();
    // Asks for the catalogue and waits for the push that answers it.
    QList<SimulatorDevicePtr> requestCatalogue(RecordingClient &client);
    static QList<SimulatorDevicePtr> latestCatalogue(const RecordingClient &client);
    static SimulatorDevicePtr deviceNamed(const QList<SimulatorDevicePtr> &devices,
                                          const QString &name);
    static SimulatorAppPtr appNamed(const SimulatorDevicePtr &device, const QString &name);
    // The process that owns the service's name now; 0 when none does.
    uint servicePid();
    bool hasNotification(const QString &title, const QString &text) const;
    // Whether a Simulator application of this home's Xcodes runs.
    bool simulatorRunning(const QString &application) const;

    std::unique_ptr<testsupport::TemporaryHome> m_home;
    std::unique_ptr<testsupport::PrivateBus> m_bus;
    std::unique_ptr<NotificationRecorder> m_notifications;
    std::vector<std::unique_ptr<RecordingClient>> m_clients;
};

// Any URL will do: the service does not read it.
inline const QString anyURL = QStringLiteral("https://marrowby.invalid/catalogue");
