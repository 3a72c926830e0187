#define MARROWBY_LOG_SOURCE "Parley/ServiceDelegate"

#include "servicedelegate.h"

#include "deviceinspector.h"

#include "Marrowkit/Connection/parleycontract.h"
#include "Marrowkit/foundation/log.h"

#include <QDBusConnectionInterface>

namespace {

// The connection records name the listener's delegate operation, as the
// service's log always has.
const char *const listenerFunction = "listener(_:shouldAcceptNewConnection:)";

} // namespace

ServiceDelegate::ServiceDelegate(const QDBusConnection &bus, QObject *parent)
    : QObject(parent), m_bus(bus)
{
    m_watcher.setConnection(m_bus);
    m_watcher.setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    connect(&m_watcher, &QDBusServiceWatcher::serviceUnregistered, this,
            &ServiceDelegate::clientVanished);
    m_inspector = std::make_unique<DeviceInspector>(this);
}

ServiceDelegate::~ServiceDelegate() = default;

void ServiceDelegate::noteClient(const QString &client)
{
    if (!ParleyContract::isUniqueBusName(client) || m_connections.contains(client)) {
        return;
    }
    m_watcher.addWatchedService(client);
    // The client may have left before the watch began: then no signal comes.
    if (!m_bus.interface()->isServiceRegistered(client).value()) {
        m_watcher.removeWatchedService(client);
        return;
    }
    m_connections.append(client);
    Log::message(LogSeverity::Info, QStringLiteral("connections: %1").arg(m_connections.size()),
                 listenerFunction, MARROWBY_LOG_SOURCE, __LINE__);
}

void ServiceDelegate::clientVanished(const QString &client)
{
    m_watcher.removeWatchedService(client);
    const qsizetype at = m_connections.indexOf(client);
    if (at < 0) {
        return;
    }
    m_connections.removeAt(at);
    Log::message(LogSeverity::Info, QStringLiteral("connections: %1").arg(m_connections.size()),
                 listenerFunction, MARROWBY_LOG_SOURCE, __LINE__);
    if (m_clientLeft) {
        m_clientLeft(client);
    }
}

bool ServiceDelegate::watchBusConnection()
{
    // The library reports a lost connection as a signal of its own, on a
    // path no peer can send to.
    return m_bus.connect(QString(), QStringLiteral("/org/freedesktop/DBus/Local"),
                         QStringLiteral("org.freedesktop.DBus.Local"),
                         QStringLiteral("Disconnected"), this, SLOT(busDisconnected()));
}

void ServiceDelegate::busDisconnected()
{
    MLOG_INFO(QStringLiteral("the session bus went away"));
    if (m_busLost) {
        m_busLost();
    }
}
