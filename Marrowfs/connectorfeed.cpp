// The connector's catalogue as the volume's, and the volume's actions as the
// connector's requests.
#include "connectorfeed.h"

#include "Marrowkit/Connection/parleyconnector.h"
#include "Marrowkit/foundation/log.h"

#include <QMetaObject>

ConnectorFeed::ConnectorFeed(ParleyConnector &connector, VolumeAlertPresenter *presenter,
                             QObject *parent)
    : QObject(parent), m_connector(connector), m_presenter(presenter),
      m_handlerId(QStringLiteral("Marrowfs-%1").arg(quintptr(this), 0, 16))
{
    // A new catalogue comes through the device handler; deleted apps are
    // merged into the connector's devices before the update handlers run.
    m_connector.addDeviceUpdateHandler(m_handlerId,
                                       [this](const QList<SimulatorDevicePtr> &) { publish(); });
    m_connector.addUpdateHandler(m_handlerId, [this](const SimulatorUpdate &) { publish(); });
    publish();
}

ConnectorFeed::~ConnectorFeed()
{
    m_connector.removeDeviceUpdateHandlerWithID(m_handlerId);
    m_connector.removeUpdateHandlerWithID(m_handlerId);
}

CatalogueSnapshot ConnectorFeed::snapshotOf(const ParleyConnector &connector)
{
    CatalogueSnapshot snapshot;
    const auto names = connector.deviceNameMap();
    if (!connector.devices() || !names) {
        return snapshot;
    }
    snapshot.devices = *connector.devices();
    for (const SimulatorDevicePtr &device : *snapshot.devices) {
        const auto name = names->constFind(device->uuid());
        if (name == names->constEnd()) {
            continue;
        }
        snapshot.deviceNames.append({device, *name});
        snapshot.appNames.insert(device->uuid(), connector.appNameMapForDevice(*device));
    }
    return snapshot;
}

void ConnectorFeed::publish()
{
    m_catalogue.replace(snapshotOf(m_connector));
}

// Qt owns the queued call's functor and deletes it once run or dropped; the
// analyser cannot follow it there.
// NOLINTBEGIN(clang-analyzer-cplusplus.NewDeleteLeaks)
void ConnectorFeed::uninstallApp(const SimulatorAppPtr &app)
{
    QMetaObject::invokeMethod(
        this, [this, app] { m_connector.uninstallApp(*app); }, Qt::QueuedConnection);
}

void ConnectorFeed::deleteDevice(const SimulatorDevicePtr &device)
{
    QMetaObject::invokeMethod(
        this, [this, device] { m_connector.deleteDevice(*device); }, Qt::QueuedConnection);
}

void ConnectorFeed::showAlert(const QString &message)
{
    QMetaObject::invokeMethod(
        this,
        [this, message] {
            if (m_presenter) {
                m_presenter->showAlert(message);
            } else {
                logNoPresenter(message);
            }
        },
        Qt::QueuedConnection);
}
// NOLINTEND(clang-analyzer-cplusplus.NewDeleteLeaks)

void ConnectorFeed::logNoPresenter(const QString &message)
{
    MLOG_WARNING(QStringLiteral("volume alert: ") + message);
}
