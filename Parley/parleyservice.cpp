#include "parleyservice.h"

#include "deviceinspector.h"
#include "deviceinspectoradaptor.h"

#include "Marrowkit/Connection/parleycontract.h"
#include "Marrowkit/foundation/log.h"

#include <QDBusConnectionInterface>
#include <QDBusError>

#include <unistd.h>

ParleyService::ParleyService(const QDBusConnection &bus, QString serviceName)
    : m_bus(bus), m_serviceName(std::move(serviceName)),
      m_delegate(std::make_unique<ServiceDelegate>(bus))
{
    DeviceInspector *inspector = m_delegate->inspector();
    m_delegate->setClientLeftHandler(
        [inspector](const QString &client) { inspector->forgetClient(client); });
    inspector->setStopHandler([bus = m_bus, name = m_serviceName]() mutable {
        // A round trip to the bus: what was sent before it, the reply to
        // `stop` among it, has been written when it returns.
        (void)bus.interface()->isServiceRegistered(name);
        Log::disable();
        ::_exit(0);
    });
    // Without its bus the service serves nobody; staying would leave it
    // running for ever after the session ended.
    m_delegate->setBusLostHandler([] {
        Log::disable();
        ::_exit(0);
    });
}

ParleyService::~ParleyService() = default;

std::optional<QString> ParleyService::start()
{
    if (!m_bus.isConnected()) {
        return QStringLiteral("no session bus: %1").arg(m_bus.lastError().message());
    }
    if (!ParleyContract::isWellKnownBusName(m_serviceName)) {
        return QStringLiteral("\"%1\" is not a bus name").arg(m_serviceName);
    }
    if (!m_delegate->watchBusConnection()) {
        return QStringLiteral("cannot watch the bus connection: %1")
            .arg(m_bus.lastError().message());
    }
    DeviceInspector *inspector = m_delegate->inspector();
    new DeviceInspectorAdaptor(inspector); // owned by the inspector
    if (!m_bus.registerObject(ParleyContract::inspectorObjectPath(), inspector,
                              QDBusConnection::ExportAdaptors)) {
        return QStringLiteral("cannot export %1: %2")
            .arg(ParleyContract::inspectorObjectPath(), m_bus.lastError().message());
    }
    if (!m_bus.registerService(m_serviceName)) {
        return QStringLiteral("cannot own the name %1: %2")
            .arg(m_serviceName, m_bus.lastError().message());
    }
    return std::nullopt;
}
