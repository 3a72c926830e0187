// The run state of a simulated device, in the developer tools' numbering.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include "Marrowkit/model/simulatorupdatetype.h"

#include <QString>

#include <optional>

enum class DeviceState : int {
    Creating = 0,
    Shutdown = 1,
    Booting = 2,
    Booted = 3,
    ShuttingDown = 4,
    Unknown = -1,
};

MARROWKIT_EXPORT int rawValue(DeviceState state);
// -1 to 4; nothing otherwise.
MARROWKIT_EXPORT std::optional<DeviceState> deviceStateFromRawValue(int rawValue);
// "Creating", "Shutdown", "Booting", "Booted", "ShuttingDown", "Unknown".
MARROWKIT_EXPORT QString description(DeviceState state);
// DeviceBooted gives Booted, DeviceShutdown gives Shutdown, every other type
// (DeviceCreating included) gives Unknown.
MARROWKIT_EXPORT DeviceState deviceStateFromUpdateType(SimulatorUpdateType type);
