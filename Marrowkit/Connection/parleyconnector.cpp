#define MARROWBY_LOG_SOURCE "Marrowkit/Connection/ParleyConnector"

#include "Marrowkit/Connection/parleyconnector.h"
#include "parleyconnector_p.h"

#include "parleyinspectorproxy.h"
#include "parleyupdateadaptor.h"

#include "Marrowkit/Connection/displaynames.h"
#include "Marrowkit/Connection/loginitem.h"
#include "Marrowkit/Connection/parleycontract.h"
#include "Marrowkit/foundation/delay.h"
#include "Marrowkit/foundation/dispatchqueue.h"
#include "Marrowkit/foundation/log.h"
#include "Marrowkit/foundation/runclosure.h"
#include "Marrowkit/model/simulatorcoding.h"
#include "Marrowkit/plist/keyedunarchiver.h"

#include <QDBusConnection>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QPointer>

#include <atomic>
#include <mutex>

namespace {

// The service does not read it; any URL will do.
const QString placeholderURL = QStringLiteral("https://marrowby.invalid/catalogue");
// Actions run external programs; a reply that takes longer than this is lost
// (and the request is not sent again: it may have been carried out).
constexpr int requestTimeoutMs = 120000;
constexpr int stopTimeoutMs = 10000;
constexpr int maximumReconnectionsBetweenCatalogues = 100;
constexpr double updateDelaySeconds = 1.0;
constexpr double proxyErrorReconnectDelaySeconds = 1.0;

std::atomic<quint64> connectionSerial{0};

void logAt(LogSeverity severity, const QString &text, const char *function)
{
    Log::message(severity, text, function, MARROWBY_LOG_SOURCE, __LINE__);
}

// The failures where the request did not reach a service that answered.
bool cannotReach(const QDBusError &error)
{
    switch (error.type()) {
    case QDBusError::ServiceUnknown:
    case QDBusError::NoReply:
    case QDBusError::Disconnected:
    case QDBusError::Timeout:
    case QDBusError::TimedOut:
        return true;
    default:
        return error.name().startsWith(QStringLiteral("org.freedesktop.DBus.Error.Spawn.")) ||
               error.name() == QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner");
    }
}

// A timed-out request may have been carried out: it is not sent again.
bool mayHaveArrived(const QDBusError &error)
{
    return error.type() == QDBusError::Timeout || error.type() == QDBusError::TimedOut ||
           (error.type() == QDBusError::NoReply &&
            error.message().contains(QStringLiteral("timeout"), Qt::CaseInsensitive));
}

QString printedItems(const QList<SimulatorItemPtr> &items)
{
    QStringList printed;
    for (const SimulatorItemPtr &item : items) {
        printed.append(item ? item->description() : QStringLiteral("nil"));
    }
    return QLatin1Char('[') + printed.join(QStringLiteral(", ")) + QLatin1Char(']');
}

} // namespace

// One bus connection of this connector with what hangs on it.
struct ParleyConnector::Connection
{
    QString connectionName;
    QDBusConnection bus{QString()};
    QString serviceName;
    std::unique_ptr<ParleyInspectorProxy> inspector;
    std::unique_ptr<QDBusServiceWatcher> watcher;

    QString printed() const
    {
        return QStringLiteral("<bus connection %1 %2 to %3>")
            .arg(connectionName, bus.baseService(), serviceName);
    }
};

ParleyConnector::ParleyConnector(QString id, std::optional<QString> machServiceName,
                                 QString busAddress, QObject *parent)
    : QObject(parent), m_id(std::move(id)), m_machServiceName(std::move(machServiceName)),
      m_busAddress(std::move(busAddress)), m_bootStates(std::make_shared<BootStates>())
{
    m_updateHandlers.reserve(2);
    m_deviceUpdateHandlers.reserve(2);
    m_directoryObservers.reserve(2);
    new ParleyUpdateAdaptor(this); // owned by this object
    establishConnection();
}

ParleyConnector::~ParleyConnector()
{
    {
        std::lock_guard lock(m_bootStates->mutex);
        m_bootStates->connectorGone = true;
    }
    invalidateConnection();
}

void ParleyConnector::publishBootStates()
{
    if (!m_devices) {
        return; // the last known states stand until a catalogue arrives
    }
    QSet<QString> booted;
    for (const SimulatorDevicePtr &device : std::as_const(*m_devices)) {
        if (device->booted()) {
            booted.insert(device->uuid());
        }
    }
    std::lock_guard lock(m_bootStates->mutex);
    m_bootStates->booted = std::move(booted);
}

QString ParleyConnector::description() const
{
    return QStringLiteral("ParleyConnector[") + m_id + QLatin1Char(']');
}

QString ParleyConnector::busName() const
{
    return m_connection ? m_connection->bus.baseService() : QString();
}

std::optional<QHash<QString, QString>> ParleyConnector::deviceNameMap() const
{
    if (!m_devices) {
        return std::nullopt;
    }
    return DisplayNames::deviceNameMap(*m_devices);
}

QList<std::pair<SimulatorAppPtr, QString>>
ParleyConnector::appNameMapForDevice(const SimulatorDevice &device) const
{
    return DisplayNames::appNameMapForDevice(device);
}

namespace {

template<typename Handler>
void storeHandler(QList<std::pair<QString, Handler>> &handlers, const QString &id, Handler handler)
{
    for (auto &entry : handlers) {
        if (entry.first == id) {
            entry.second = std::move(handler);
            return;
        }
    }
    handlers.append({id, std::move(handler)});
}

template<typename Handler>
void removeHandler(QList<std::pair<QString, Handler>> &handlers, const QString &id)
{
    handlers.removeIf([&id](const auto &entry) { return entry.first == id; });
}

} // namespace

void ParleyConnector::addUpdateHandler(const QString &id, UpdateHandler handler)
{
    storeHandler(m_updateHandlers, id, std::move(handler));
}

void ParleyConnector::removeUpdateHandlerWithID(const QString &id)
{
    removeHandler(m_updateHandlers, id);
}

void ParleyConnector::addDeviceUpdateHandler(const QString &id, DeviceUpdateHandler handler)
{
    storeHandler(m_deviceUpdateHandlers, id, std::move(handler));
}

void ParleyConnector::removeDeviceUpdateHandlerWithID(const QString &id)
{
    removeHandler(m_deviceUpdateHandlers, id);
}

void ParleyConnector::establishConnection()
{
    QString serviceName;
    if (m_machServiceName) {
        serviceName = *m_machServiceName;
    } else if (const auto loginItem =
                   LoginItem::connectionForLoginItemName(ParleyContract::loginItemName())) {
        serviceName = *loginItem;
    }
    if (!ParleyContract::isWellKnownBusName(serviceName)) {
        logAt(LogSeverity::Error, QStringLiteral("no connection to the service"),
              "establishConnection()");
        return;
    }
    auto connection = std::make_unique<Connection>();
    connection->serviceName = serviceName;
    connection->connectionName =
        QStringLiteral("marrowby-parleyconnector-%1").arg(++connectionSerial);
    connection->bus =
        m_busAddress.isEmpty()
            ? QDBusConnection::connectToBus(QDBusConnection::SessionBus, connection->connectionName)
            : QDBusConnection::connectToBus(m_busAddress, connection->connectionName);
    if (!connection->bus.isConnected()) {
        logAt(LogSeverity::Error,
              QStringLiteral("no bus connection: ") + connection->bus.lastError().message(),
              "establishConnection()");
        const QString name = connection->connectionName;
        connection.reset();
        QDBusConnection::disconnectFromBus(name);
        return;
    }
    connection->bus.registerObject(ParleyContract::clientObjectPath(), this,
                                   QDBusConnection::ExportAdaptors);
    // libdbus reports the loss of the connection itself as this local signal.
    connection->bus.connect(QString(), QStringLiteral("/org/freedesktop/DBus/Local"),
                            QStringLiteral("org.freedesktop.DBus.Local"),
                            QStringLiteral("Disconnected"), this, SLOT(busDisconnected()));
    connection->watcher = std::make_unique<QDBusServiceWatcher>(
        serviceName, connection->bus, QDBusServiceWatcher::WatchForUnregistration);
    connect(connection->watcher.get(), &QDBusServiceWatcher::serviceUnregistered, this,
            &ParleyConnector::interrupted);
    connection->inspector = std::make_unique<ParleyInspectorProxy>(
        serviceName, ParleyContract::inspectorObjectPath(), connection->bus);
    connection->inspector->setTimeout(requestTimeoutMs);
    m_connection = std::move(connection);
    m_isConnected = true;
    requestDevices();
}

void ParleyConnector::requestDevices()
{
    m_devices.reset();
    m_isRequestingDevices = true;
    send(QStringLiteral("requestSimulatorDevicesContainingAppsAtURL"), [](ParleyInspectorProxy &p) {
        return p.requestSimulatorDevicesContainingAppsAtURL(placeholderURL);
    });
}

void ParleyConnector::teardownConnection()
{
    m_devices.reset();
    if (m_connection && m_connection->bus.isConnected()) {
        // Only a running service is told to stop: the call would start one.
        const QDBusReply<bool> running =
            m_connection->bus.interface()->isServiceRegistered(m_connection->serviceName);
        if (running.isValid() && running.value()) {
            m_connection->inspector->setTimeout(stopTimeoutMs);
            auto stopped = m_connection->inspector->stop();
            stopped.waitForFinished();
        }
    }
    invalidateConnection();
    m_isConnected = false;
}

void ParleyConnector::invalidateConnection()
{
    if (!m_connection) {
        return;
    }
    std::unique_ptr<Connection> connection = std::move(m_connection);
    // No interruption or invalidation is reported for a connection we end.
    connection->watcher.reset();
    connection->bus.disconnect(QString(), QStringLiteral("/org/freedesktop/DBus/Local"),
                               QStringLiteral("org.freedesktop.DBus.Local"),
                               QStringLiteral("Disconnected"), this, SLOT(busDisconnected()));
    connection->bus.unregisterObject(ParleyContract::clientObjectPath());
    const QString name = connection->connectionName;
    connection.reset();
    QDBusConnection::disconnectFromBus(name);
}

void ParleyConnector::reconnect()
{
    teardownConnection();
    establishConnection();
}

void ParleyConnector::quit()
{
    const bool hadConnection = m_connection != nullptr;
    teardownConnection();
    if (hadConnection) {
        LoginItem::stop(ParleyContract::loginItemName());
    }
}

void ParleyConnector::stop()
{
    m_devices.reset();
    invalidateConnection();
    m_isConnected = false;
}

void ParleyConnector::interrupted()
{
    logAt(LogSeverity::Info,
          (m_connection ? m_connection->printed() : QStringLiteral("<no connection>")) +
              QStringLiteral(" interrupted"),
          "establishConnection()");
    if (m_isConnected && !m_isRequestingDevices) {
        requestDevices();
    }
}

void ParleyConnector::busDisconnected()
{
    invalidated();
}

void ParleyConnector::invalidated()
{
    logAt(LogSeverity::Info,
          (m_connection ? m_connection->printed() : QStringLiteral("<no connection>")) +
              QStringLiteral(" invalidated"),
          "establishConnection()");
    if (m_isConnected && m_establishConnectionRetryCount < maximumReconnectionsBetweenCatalogues) {
        m_isConnected = false;
        ++m_establishConnectionRetryCount;
        reconnect();
    }
}

void ParleyConnector::proxyError(const QString &error)
{
    logAt(LogSeverity::Error, QStringLiteral("remote proxy error: ") + error,
          "establishConnection()");
    if (m_reconnectPending) {
        return;
    }
    m_reconnectPending = true;
    delay(proxyErrorReconnectDelaySeconds, [guard = QPointer<ParleyConnector>(this)] {
        if (guard) {
            guard->m_reconnectPending = false;
            guard->reconnect();
        }
    });
}

// The analyser does not see that the watcher belongs to its parent.
// NOLINTBEGIN(clang-analyzer-cplusplus.NewDeleteLeaks)
void ParleyConnector::send(const QString &what,
                           std::function<QDBusPendingCall(ParleyInspectorProxy &)> call,
                           std::function<void(const std::optional<QByteArray> &)> replied,
                           int attempt)
{
    if (!m_connection || !m_connection->inspector) {
        if (replied) {
            replied(std::nullopt);
        }
        return;
    }
    // Owned by this object (its parent) and deleted once it has finished.
    auto *watcher = new QDBusPendingCallWatcher(call(*m_connection->inspector), this);
    ++m_pendingRequests;
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, what, call = std::move(call), replied = std::move(replied),
             attempt](QDBusPendingCallWatcher *finished) mutable {
                finished->deleteLater();
                --m_pendingRequests;
                if (!finished->isError()) {
                    if (replied) {
                        const QVariant first = finished->reply().arguments().value(0);
                        replied(first.canConvert<QByteArray>()
                                    ? std::optional<QByteArray>(first.toByteArray())
                                    : std::nullopt);
                    }
                    return;
                }
                const QDBusError error = finished->error();
                if (cannotReach(error) && !mayHaveArrived(error) && attempt == 0) {
                    send(what, std::move(call), std::move(replied), attempt + 1);
                    return;
                }
                if (replied) {
                    replied(std::nullopt);
                }
                const QString printed = what + QStringLiteral(": ") + error.name() +
                                        QStringLiteral(": ") + error.message();
                if (cannotReach(error)) {
                    proxyError(printed);
                } else {
                    logAt(LogSeverity::Warning, printed, "send()");
                }
            });
}

// NOLINTEND(clang-analyzer-cplusplus.NewDeleteLeaks)

void ParleyConnector::receiveSimulatorDevicesContainingApps(const QByteArray &archive)
{
    const auto devices = SimulatorCoding::devicesFromArchive(archive);
    if (const auto refused = devices.error()) {
        logAt(LogSeverity::Warning,
              QStringLiteral("device list refused: ") + refused->localizedDescription(),
              "receiveSimulatorDevicesContainingApps()");
    }
    m_devices = devices.value();
    publishBootStates();
    if (m_devices) {
        const auto handlers = m_deviceUpdateHandlers;
        const QList<SimulatorDevicePtr> devices = *m_devices;
        for (const auto &entry : handlers) {
            entry.second(devices);
        }
    }
    m_isRequestingDevices = false;
    m_establishConnectionRetryCount = 0;
}

void ParleyConnector::receiveUpdate(const QByteArray &archive)
{
    const auto read = SimulatorCoding::updateFromArchive(archive);
    if (const auto refused = read.error()) {
        logAt(LogSeverity::Warning,
              QStringLiteral("update refused: ") + refused->localizedDescription(),
              "receiveUpdate()");
    }
    const auto update = read.value();
    if (!update || m_updates.contains(*update)) {
        return;
    }
    m_updates.insert(*update);
    delay(updateDelaySeconds, [guard = QPointer<ParleyConnector>(this), update = *update] {
        if (guard) {
            guard->processUpdate(update);
        }
    });
}

void ParleyConnector::processUpdate(const SimulatorUpdate &update)
{
    logAt(LogSeverity::Info,
          QStringLiteral("update: ") + rawValue(update.type()) + QStringLiteral(", items: ") +
              printedItems(update.items()),
          "receiveUpdate");
    switch (update.type()) {
    case SimulatorUpdateType::DeviceBooted:
    case SimulatorUpdateType::DeviceShutdown:
        updateDevicesForProxyDevices(update);
        break;
    case SimulatorUpdateType::AppsUpdated:
        reconnect();
        break;
    case SimulatorUpdateType::AppsDeleted:
        removeDeletedApps(update);
        break;
    case SimulatorUpdateType::AppsAdded:
    case SimulatorUpdateType::DeviceCreating:
        break;
    }
    m_updates.remove(update);
}

void ParleyConnector::updateDevicesForProxyDevices(const SimulatorUpdate &update)
{
    if (!m_devices) {
        return;
    }
    const DeviceState state = deviceStateFromUpdateType(update.type());
    QSet<QString> uuids;
    for (const SimulatorItemPtr &item : update.items()) {
        if (item) {
            uuids.insert(item->uuid());
        }
    }
    QList<SimulatorDevicePtr> selected;
    for (const SimulatorDevicePtr &device : std::as_const(*m_devices)) {
        if (uuids.contains(device->uuid())) {
            selected.append(device);
        }
    }
    if (selected.isEmpty()) {
        // A device we do not know: fetch everything again.
        reconnect();
    }
    QStringList changes;
    for (const SimulatorDevicePtr &device : std::as_const(selected)) {
        changes.append(QStringLiteral("UPDATE ") + device->name() + QStringLiteral(": ") +
                       ::description(state));
        device->setDeviceState(state);
    }
    publishBootStates();
    logAt(LogSeverity::Info,
          QLatin1Char('[') + changes.join(QStringLiteral(", ")) + QLatin1Char(']'),
          "updateDevicesForProxyDevices(_:andUpdateType:)");
    callUpdateHandlers(update);
}

void ParleyConnector::removeDeletedApps(const SimulatorUpdate &update)
{
    if (!m_devices) {
        return;
    }
    for (const SimulatorItemPtr &item : update.items()) {
        if (!item) {
            continue;
        }
        for (const SimulatorDevicePtr &device : std::as_const(*m_devices)) {
            QList<SimulatorAppPtr> apps = device->apps();
            if (apps.removeIf([&item](const SimulatorAppPtr &app) { return *app == *item; }) > 0) {
                device->setApps(apps);
            }
        }
    }
    callUpdateHandlers(update);
}

void ParleyConnector::callUpdateHandlers(const SimulatorUpdate &update)
{
    const auto handlers = m_updateHandlers;
    for (const auto &entry : handlers) {
        entry.second(update);
    }
}

void ParleyConnector::directoryChanged(const QByteArray &archive)
{
    const auto path = KeyedUnarchiver::unarchivedObject(archive, {KeyedArchive::TextClass}).value();
    if (!path) {
        return;
    }
    const auto handler = m_directoryObservers.value(path->toString());
    if (handler) {
        handler();
    }
}

void ParleyConnector::observeDirectoryAtPath(const QString &path, DirectoryHandler changeHandler)
{
    m_directoryObservers.insert(path, changeHandler);
    send(QStringLiteral("addDirectoryObserverForPath"),
         [path](ParleyInspectorProxy &p) { return p.addDirectoryObserverForPath(path); });
}

void ParleyConnector::stopObservingDirectoryAtPath(const QString &path)
{
    m_directoryObservers.remove(path);
    send(QStringLiteral("stopObservingDirectoryAtPath"),
         [path](ParleyInspectorProxy &p) { return p.stopObservingDirectoryAtPath(path); });
}
