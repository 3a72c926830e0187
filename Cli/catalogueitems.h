// Finding the device or app a user names on the command line: by display
// name, name or uuid, exactly or by a prefix that only one of them has.
//
// Threads: stateless; call from the thread that owns the catalogue.
#pragma once

#include "Marrowkit/model/simulatorapp.h"
#include "Marrowkit/model/simulatordevice.h"

#include <QString>

#include <variant>

namespace CatalogueItems {

// What a lookup found: the item, or the message for the user.
template<typename T> using Found = std::variant<T, QString>;

Found<SimulatorDevicePtr> findDevice(const QList<SimulatorDevicePtr> &devices,
                                     const QString &given);
Found<SimulatorAppPtr> findApp(const SimulatorDevice &device, const QString &given);

} // namespace CatalogueItems
