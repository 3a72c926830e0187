// Names that tell devices and apps apart in lists: a device or app keeps its
// own name unless another one shares it, and only then gets as much more as
// it takes to be told apart.
//
// Threads: stateless; call from the thread that owns the devices.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include "Marrowkit/model/simulatorapp.h"
#include "Marrowkit/model/simulatordevice.h"

#include <QHash>
#include <QList>

#include <utility>

namespace DisplayNames {

// Device uuid -> shown name: the name when it is unique, else name +
// " (" + version + ")" when that is unique, else the long name.
MARROWKIT_EXPORT QHash<QString, QString> deviceNameMap(const QList<SimulatorDevicePtr> &devices);

// The device's apps in its order, each with its name, or with name + " (" +
// bundle identifier + ")" when another app of the device has the same name.
MARROWKIT_EXPORT QList<std::pair<SimulatorAppPtr, QString>>
appNameMapForDevice(const SimulatorDevice &device);

} // namespace DisplayNames
