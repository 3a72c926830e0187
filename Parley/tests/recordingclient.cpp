#include "recordingclient.h"

#include "simulatorupdateadaptor.h"

#include "Marrowkit/Connection/parleycontract.h"

RecordingClient::RecordingClient(const QDBusConnection &bus) : m_bus(bus)
{
    new SimulatorUpdateAdaptor(this);
    m_bus.registerObject(ParleyContract::clientObjectPath(), this, QDBusConnection::ExportAdaptors);
    m_inspector = std::make_unique<DeviceInspectorProxy>(
        ParleyContract::serviceName(), ParleyContract::inspectorObjectPath(), m_bus);
    m_inspector->setTimeout(60000);
}

RecordingClient::~RecordingClient()
{
    m_bus.unregisterObject(ParleyContract::clientObjectPath());
}

NotificationRecorder::NotificationRecorder(const QDBusConnection &bus)
{
    QDBusConnection connection(bus);
    connection.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this,
                              QDBusConnection::ExportAllSlots);
    connection.registerService(QStringLiteral("org.freedesktop.Notifications"));
}

uint NotificationRecorder::Notify(const QString &, uint, const QString &, const QString &summary,
                                  const QString &body, const QStringList &, const QVariantMap &,
                                  int)
{
    notifications.append({summary, body});
    return uint(notifications.size());
}
