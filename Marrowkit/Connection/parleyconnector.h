// The client side of the service: one bus connection of its own on which it
// exports SimulatorUpdateProtocol, a live copy of the service's catalogue
// (`devices`) with the pushed updates merged in, listeners for catalogues and
// updates, and every device and app action as a request naming the device or
// app by its uuid.
//
// How the bus maps onto a broken connection: the service's name losing its
// owner while connected is an interruption (the catalogue is asked for
// again, which starts a fresh service); this connector's own bus connection
// going away is an invalidation (reconnect, at most 100 times between two
// catalogues); a request that cannot reach the service (no such name, no
// reply) is sent once more, and failing again is a proxy error (reconnect
// one second later). Every reconnection stops the running service first.
//
// Threads: the main thread owns all state here. Pushes from the service are
// delivered on it, so catalogue handlers, update handlers and directory
// handlers are all called on the main thread; updates are processed there
// 1.0 s after they arrive. Boot-then-act steps wait on the user-initiated
// global queue on a copy of the booted states that the main thread
// publishes under a mutex, and hand the action back to the main thread.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include "Marrowkit/model/simulatorapp.h"
#include "Marrowkit/model/simulatordevice.h"
#include "Marrowkit/model/simulatorupdate.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

class ParleyInspectorProxy;
class QDBusPendingCall;

class MARROWKIT_EXPORT ParleyConnector : public QObject
{
    Q_OBJECT

public:
    using UpdateHandler = std::function<void(const SimulatorUpdate &)>;
    using DeviceUpdateHandler = std::function<void(const QList<SimulatorDevicePtr> &)>;
    using DirectoryHandler = std::function<void()>;

    // Connects at once. Without `machServiceName` the service is reached
    // through its login item (ParleyContract::loginItemName()), which is
    // enabled on the way. `busAddress` names the bus (the session bus when
    // empty).
    explicit ParleyConnector(QString id, std::optional<QString> machServiceName = std::nullopt,
                             QString busAddress = QString(), QObject *parent = nullptr);
    ~ParleyConnector() override;

    QString id() const { return m_id; }
    // "ParleyConnector[" + id + "]".
    QString description() const;

    // The catalogue; nothing while unknown.
    const std::optional<QList<SimulatorDevicePtr>> &devices() const { return m_devices; }
    bool isConnected() const { return m_isConnected; }
    void setConnected(bool connected) { m_isConnected = connected; }
    bool isRequestingDevices() const { return m_isRequestingDevices; }
    int establishConnectionRetryCount() const { return m_establishConnectionRetryCount; }
    // Requests sent and not yet answered, and actions waiting for their
    // device to boot (a command-line client waits for these to end).
    bool hasPendingRequests() const { return m_pendingRequests > 0; }
    // The unique name of the current bus connection; empty when there is none.
    QString busName() const;

    // Device uuid -> display name; nothing while the catalogue is unknown.
    std::optional<QHash<QString, QString>> deviceNameMap() const;
    // The device's apps in order, each with its display name.
    QList<std::pair<SimulatorAppPtr, QString>>
    appNameMapForDevice(const SimulatorDevice &device) const;

    // Handlers are kept in the order they were first added; adding under an
    // id that is taken replaces that handler in place. Adding calls nothing.
    void addUpdateHandler(const QString &id, UpdateHandler handler);
    void removeUpdateHandlerWithID(const QString &id);
    void addDeviceUpdateHandler(const QString &id, DeviceUpdateHandler handler);
    void removeDeviceUpdateHandlerWithID(const QString &id);

    void establishConnection();
    void teardownConnection();
    void reconnect();
    // Ends the connection and the service, and disables the login item.
    void quit();
    // Ends the connection; the service runs on.
    void stop();

    void quitSimulator();
    void launchSimulatorForDevice(const SimulatorDevice &device, bool hidden);
    // Boots the app's device first (in the Simulator, shown) when needed.
    void launchApp(const SimulatorApp &app);
    void resetApp(const SimulatorApp &app);
    // Boots the app's device first (hidden) when needed.
    void uninstallApp(const SimulatorApp &app);
    void deleteDevice(const SimulatorDevice &device);
    void copyPathOfApp(const SimulatorApp &app);
    void copyPathOfDevice(const SimulatorDevice &device);
    void resetContentsAndSettingsOfDevice(const SimulatorDevice &device);
    void addPhoto(const QUrl &url, const SimulatorDevice &device);
    // Boots the device (hidden) when needed, then calls `chooser` on the main
    // thread for the files to add (a dialog in the application).
    void openAddPhotoDialogForDevice(const SimulatorDevice &device,
                                     std::function<QList<QUrl>()> chooser);
    // The handlers get their answer on the main thread: an empty list or no
    // URL when the service has none or cannot be reached.
    void urlsForAppGroupsOfApp(const SimulatorApp &app,
                               std::function<void(const QList<QUrl> &)> completionHandler);
    void urlForAppGroup(const QString &group, const SimulatorApp &app,
                        std::function<void(const std::optional<QUrl> &)> completionHandler);

    void observeDirectoryAtPath(const QString &path, DirectoryHandler changeHandler);
    void stopObservingDirectoryAtPath(const QString &path);

    // SimulatorUpdateProtocol, as the adaptor generated from the contract
    // calls it.
    void receiveUpdate(const QByteArray &archive);
    void receiveSimulatorDevicesContainingApps(const QByteArray &archive);
    void directoryChanged(const QByteArray &archive);

private:
    struct Connection;
    struct BootStates;
    // Publishes which devices are booted to the boot-then-act waits.
    void publishBootStates();

    void requestDevices();
    void interrupted();
    void invalidated();
    void proxyError(const QString &error);
    void processUpdate(const SimulatorUpdate &update);
    void updateDevicesForProxyDevices(const SimulatorUpdate &update);
    void removeDeletedApps(const SimulatorUpdate &update);
    void callUpdateHandlers(const SimulatorUpdate &update);
    bool isDeviceBooted(const QString &uuid, const SimulatorDevicePtr &fallback) const;
    // Boots the device unless it is booted, waits for it on the
    // user-initiated queue, then runs `closure` on the main thread.
    void runClosureForDevice(const SimulatorDevicePtr &device, bool hidden,
                             std::function<void(ParleyConnector &)> closure);
    void invalidateConnection();

    // Sends one request; `call` is run against the current proxy, once more
    // when the first try cannot reach the service. `replied` gets the reply's
    // byte array (nothing when the request failed or the reply has none).
    void send(const QString &what, std::function<QDBusPendingCall(ParleyInspectorProxy &)> call,
              std::function<void(const std::optional<QByteArray> &)> replied = {}, int attempt = 0);

private Q_SLOTS:
    void busDisconnected();

private:
    QString m_id;
    QList<std::pair<QString, UpdateHandler>> m_updateHandlers;
    QList<std::pair<QString, DeviceUpdateHandler>> m_deviceUpdateHandlers;
    std::optional<QString> m_machServiceName;
    QString m_busAddress;
    std::optional<QList<SimulatorDevicePtr>> m_devices;
    std::unique_ptr<Connection> m_connection;
    bool m_isConnected = false;
    bool m_isRequestingDevices = false;
    int m_establishConnectionRetryCount = 0;
    // A reconnection after a proxy error is on its way: more errors in the
    // meantime do not add more.
    bool m_reconnectPending = false;
    int m_pendingRequests = 0;
    QHash<QString, DirectoryHandler> m_directoryObservers;
    // The booted devices as the catalogue says, shared with the waits on the
    // user-initiated queue (which never wait for the main thread).
    std::shared_ptr<BootStates> m_bootStates;
    // Updates waiting for their turn; a repeat of one of them is dropped.
    QSet<SimulatorUpdate> m_updates;
};
