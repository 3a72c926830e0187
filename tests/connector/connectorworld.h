// The world every connector test starts from: the stand-in's sample world in
// a temporary HOME, a private bus that starts the real service by
// activation, a recorder of notifications, and connectors on that bus that
// count what their handlers were called with.
#pragma once

#include "recordingclient.h"

#include "sampleworldtest.h"

#include "Marrowkit/Connection/parleyconnector.h"
#include "Marrowkit/model/simulatorupdate.h"

#include <memory>
#include <vector>

// A connector and everything its handlers were called with.
struct WatchedConnector
{
    std::unique_ptr<ParleyConnector> connector;
    QList<QList<SimulatorDevicePtr>> catalogues;
    QList<SimulatorUpdate> updates;
};

class ConnectorWorld : public SampleWorldTest
{
protected:
    void SetUp() override;
    void TearDown() override;

    // A connector by the service's bus name, with handlers that record.
    WatchedConnector &newConnector();
    // Waits until the connector holds a catalogue.
    bool waitForCatalogue(const WatchedConnector &watched);
    // Pushes an update to the connector as the service would.
    void push(const ParleyConnector &connector, const SimulatorUpdate &update);
    static SimulatorDevicePtr deviceNamed(const QList<SimulatorDevicePtr> &devices,
                                          const QString &name);
    static SimulatorAppPtr appNamed(const SimulatorDevicePtr &device, const QString &name);
    uint servicePid();
    // The Simulator applications of this home's Xcodes that run.
    QList<pid_t> simulatorProcesses() const;

    std::unique_ptr<NotificationRecorder> m_notifications;
    std::vector<std::unique_ptr<WatchedConnector>> m_connectors;
};
