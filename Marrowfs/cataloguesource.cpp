// Snapshot publication and the connector's naming of device and app folders.
#include "cataloguesource.h"

#include <QSet>

namespace {

template<typename Item>
QList<std::pair<std::shared_ptr<Item>, QString>>
uniqueNames(const QList<std::shared_ptr<Item>> &items,
            const std::function<QString(const Item &)> &baseName,
            const std::function<QString(const Item &)> &longName)
{
    QHash<QString, int> uses;
    for (const auto &item : items) {
        ++uses[baseName(*item)];
    }
    QList<std::pair<std::shared_ptr<Item>, QString>> named;
    QSet<QString> taken;
    for (const auto &item : items) {
        QString name = baseName(*item);
        if (uses.value(name) > 1) {
            name = longName(*item);
        }
        // Still colliding (identical long names): the uuid settles it.
        if (taken.contains(name)) {
            name += QStringLiteral(" ") + item->uuid();
        }
        taken.insert(name);
        named.append({item, name});
    }
    return named;
}

} // namespace

CatalogueSnapshot CatalogueSnapshot::fromDevices(const QList<SimulatorDevicePtr> &devices)
{
    CatalogueSnapshot snapshot;
    snapshot.devices = devices;
    QList<SimulatorDevicePtr> withApps;
    for (const auto &device : devices) {
        if (!device->apps().isEmpty()) {
            withApps.append(device);
        }
    }
    snapshot.deviceNames = uniqueNames<SimulatorDevice>(
        withApps, [](const SimulatorDevice &d) { return d.name(); },
        [](const SimulatorDevice &d) { return d.longName(); });
    for (const auto &device : withApps) {
        snapshot.appNames.insert(device->uuid(),
                                 uniqueNames<SimulatorApp>(
                                     device->apps(), [](const SimulatorApp &a) { return a.name(); },
                                     [](const SimulatorApp &a) {
                                         return a.name() + QStringLiteral(" (") +
                                                a.bundleIdentifier() + QStringLiteral(")");
                                     }));
    }
    return snapshot;
}

CatalogueSource::CatalogueSource() : m_snapshot(std::make_shared<CatalogueSnapshot>())
{}

CatalogueSnapshotPtr CatalogueSource::snapshot() const
{
    std::lock_guard lock(m_mutex);
    return m_snapshot;
}

void CatalogueSource::replace(CatalogueSnapshot snapshot)
{
    auto published = std::make_shared<const CatalogueSnapshot>(std::move(snapshot));
    ChangeHandler handler;
    {
        std::lock_guard lock(m_mutex);
        m_snapshot = published;
        handler = m_handler;
    }
    if (handler) {
        handler(published);
    }
}

void CatalogueSource::setChangeHandler(ChangeHandler handler)
{
    std::lock_guard lock(m_mutex);
    m_handler = std::move(handler);
}
