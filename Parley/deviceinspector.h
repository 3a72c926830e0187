// The one object the service exports to all its clients: it reads the device
// set of the selected Xcode, keeps the catalogue, watches the folders where
// apps appear and change, pushes the catalogue, app changes, device-state
// changes and watched-folder changes to every client, and carries out the
// device and app actions (DeviceActions) on what the catalogue holds.
//
// Threads: the main thread owns all state here (the catalogue, the observer
// tables, the pending rescan, the client queues). Bus requests arrive on it;
// folder observers and the simulator library report on their own threads and
// hop to it through the lifeline. Actions run on the asking client's serial
// queue with the objects found for them on the main thread, and reply to the
// bus from there.
#pragma once

#include "clientqueues.h"
#include "deviceactions.h"
#include "lifeline.h"
#include "simulatorcontrol.h"

#include "Marrowkit/foundation/delay.h"
#include "Marrowkit/model/devicestate.h"
#include "Marrowkit/model/simulatorapp.h"
#include "Marrowkit/model/simulatordevice.h"
#include "Marrowkit/model/simulatorupdatetype.h"
#include "Marrowkit/platform/fileobserver.h"

#include <QByteArray>
#include <QDBusContext>
#include <QHash>
#include <QObject>

#include <functional>
#include <memory>
#include <optional>

class ServiceDelegate;

class DeviceInspector : public QObject, protected QDBusContext
{
    Q_OBJECT

public:
    // Reads the selected Xcode's device set (nothing without a selection)
    // and starts watching it.
    explicit DeviceInspector(ServiceDelegate *serviceDelegate);
    ~DeviceInspector() override;

    // What `stop` does once the bus name is released and the reply sent; the
    // program ends the process here.
    void setStopHandler(std::function<void()> handler) { m_stopHandler = std::move(handler); }

    const QList<SimulatorDevicePtr> &allDevices() const { return m_allDevices; }
    // The client left the bus: its queue goes once its work is done.
    void forgetClient(const QString &client) { m_clientQueues.forget(client); }
    qsizetype directoryObserverCount() const { return m_directoryObservers.size(); }

    // DeviceInspectorProtocol, as the generated bus adaptor calls it. Called
    // directly (not from the bus), each runs at once on the calling thread.
    void requestSimulatorDevicesContainingAppsAtURL(const QString &url);
    void launchAppWithUUID(const QString &appUUID);
    void resetAppWithUUID(const QString &appUUID);
    void uninstallAppWithUUID(const QString &appUUID);
    void resetContentsAndSettingsOfDevice(const QString &deviceUUID);
    void addPhotoforDevice(const QString &photoURL, const QString &deviceUUID);
    void quitSimulator();
    void launchSimulatorForDevicehidden(const QString &deviceUUID, bool hidden);
    QByteArray urlsForAppGroupsOfAppWithUUIDcompletionHandler(const QString &appUUID);
    QByteArray urlForAppGroupofAppWithUUIDcompletionHandler(const QString &appGroup,
                                                            const QString &appUUID);
    void copyPathOfAppWithUUID(const QString &appUUID);
    void copyPathOfDeviceWithUUID(const QString &deviceUUID);
    void addDirectoryObserverForPath(const QString &path);
    void stopObservingDirectoryAtPath(const QString &path);
    void deleteDevice(const QString &deviceUUID);
    void stop();

    // Pushes receiveUpdate: with the archive to every client.
    void sendUpdate(const QByteArray &archive);
    void sendUpdateForItems(const QList<SimulatorItemPtr> &items, SimulatorUpdateType type);
    void addFileObserverForApp(const SimulatorAppPtr &app);

private:
    SimulatorDevicePtr findDevice(const QString &uuid) const;
    SimulatorAppPtr findApp(const QString &uuid) const;
    bool isBooted(const SimulatorDevice &device) const;

    // Runs `work` on the asking client's queue and replies when it is done;
    // called directly, runs it at once.
    void carryOut(std::function<void()> work);
    QByteArray carryOutWithReply(std::function<std::optional<QByteArray>()> work);

    void pushCatalogue();
    void pushToClients(const char *method, const QByteArray &archive);
    void addFileObservers(const QList<SimulatorDevicePtr> &devices);
    void appsFolderChanged();
    void rescanDevices();
    void stopAllObservers();
    void setAllDevices(QList<SimulatorDevicePtr> devices);

    ServiceDelegate *m_serviceDelegate;
    LifelinePtr m_lifeline;
    SimulatorControlPtr m_control;
    std::shared_ptr<const DeviceActions> m_actions;
    QList<SimulatorDevicePtr> m_allDevices;
    // The archive of the devices with apps, made once per catalogue.
    std::optional<QByteArray> m_catalogueArchive;
    QHash<QString, std::shared_ptr<FileObserver>> m_observers;
    QHash<QString, std::shared_ptr<FileObserver>> m_directoryObservers;
    std::optional<DelayControl> m_cancelableClosure;
    // Device states as the simulator library last reported them. The kept
    // catalogue is not changed by these reports (clients merge them), but an
    // action that depends on the state must not act on the state of the
    // last scan.
    QHash<QString, DeviceState> m_reportedStates;
    ClientQueues m_clientQueues;
    std::function<void()> m_stopHandler;
};
