// The kinds of change update the service pushes to its clients. The raw
// values are the case names; the hash value is the case's position.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include <QHashFunctions>
#include <QString>

#include <optional>

enum class SimulatorUpdateType {
    AppsAdded,
    AppsUpdated,
    AppsDeleted,
    DeviceCreating,
    DeviceBooted,
    DeviceShutdown,
};

MARROWKIT_EXPORT QString rawValue(SimulatorUpdateType type);
// Exactly the case names; nothing otherwise.
MARROWKIT_EXPORT std::optional<SimulatorUpdateType>
simulatorUpdateTypeFromRawValue(const QString &rawValue);
MARROWKIT_EXPORT QString description(SimulatorUpdateType type);
// 0 for AppsAdded up to 5 for DeviceShutdown.
MARROWKIT_EXPORT int hashValue(SimulatorUpdateType type);

inline size_t qHash(SimulatorUpdateType type, size_t seed = 0) noexcept
{
    return ::qHash(hashValue(type), seed);
}
