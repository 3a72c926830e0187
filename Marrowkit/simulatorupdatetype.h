// The kinds of change update the service pushes to its clients. The raw
// values are the case names; the hash value is the case's position.
#pragma once

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

QString rawValue(SimulatorUpdateType type);
// Exactly the case names; nothing otherwise.
std::optional<SimulatorUpdateType> simulatorUpdateTypeFromRawValue(const QString &rawValue);
QString description(SimulatorUpdateType type);
// 0 for AppsAdded up to 5 for DeviceShutdown.
int hashValue(SimulatorUpdateType type);

inline size_t qHash(SimulatorUpdateType type, size_t seed = 0) noexcept
{
    return ::qHash(hashValue(type), seed);
}
