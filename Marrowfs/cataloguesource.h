// Where the volume reads the catalogue from: the devices with their apps and
// the unique folder names the service connector gives them. The connector (or
// a test) publishes a new snapshot whenever its catalogue changes; the volume
// takes the current one at the start of each request and never sees a
// half-replaced catalogue.
//
// Threads: a snapshot is immutable once published and read from any thread.
// The current snapshot and the change handler are guarded by one mutex;
// the handler is called on the publishing thread, outside the lock.
#pragma once

#include "Marrowfs/marrowfs_export.h"

#include "Marrowkit/model/simulatorapp.h"
#include "Marrowkit/model/simulatordevice.h"

#include <QHash>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

struct MARROWFS_EXPORT CatalogueSnapshot
{
    // Nothing before the service's first answer.
    std::optional<QList<SimulatorDevicePtr>> devices;
    // Folder name per device, unique among devices, in the connector's order.
    QList<std::pair<SimulatorDevicePtr, QString>> deviceNames;
    // Per device uuid: folder name per app, unique within the device.
    QHash<QString, QList<std::pair<SimulatorAppPtr, QString>>> appNames;

    // Names made the connector's way for a plain device list: devices with
    // apps only, a device's name lengthened by its version and uuid prefix
    // where names collide, an app's name by its bundle identifier.
    static CatalogueSnapshot fromDevices(const QList<SimulatorDevicePtr> &devices);
};

using CatalogueSnapshotPtr = std::shared_ptr<const CatalogueSnapshot>;

class MARROWFS_EXPORT CatalogueSource
{
public:
    using ChangeHandler = std::function<void(const CatalogueSnapshotPtr &)>;

    CatalogueSource();

    CatalogueSnapshotPtr snapshot() const;
    void replace(CatalogueSnapshot snapshot);
    // One handler; a later call replaces it, an empty function removes it.
    void setChangeHandler(ChangeHandler handler);

private:
    mutable std::mutex m_mutex;
    CatalogueSnapshotPtr m_snapshot;
    ChangeHandler m_handler;
};
