#include "Marrowkit/model/devicestate.h"

int rawValue(DeviceState state)
{
    return static_cast<int>(state);
}

std::optional<DeviceState> deviceStateFromRawValue(int rawValue)
{
    if (rawValue < -1 || rawValue > 4) {
        return std::nullopt;
    }
    return static_cast<DeviceState>(rawValue);
}

QString description(DeviceState state)
{
    switch (state) {
    case DeviceState::Creating:
        return QStringLiteral("Creating");
    case DeviceState::Shutdown:
        return QStringLiteral("Shutdown");
    case DeviceState::Booting:
        return QStringLiteral("Booting");
    case DeviceState::Booted:
        return QStringLiteral("Booted");
    case DeviceState::ShuttingDown:
        return QStringLiteral("ShuttingDown");
    case DeviceState::Unknown:
        break;
    }
    return QStringLiteral("Unknown");
}

DeviceState deviceStateFromUpdateType(SimulatorUpdateType type)
{
    switch (type) {
    case SimulatorUpdateType::DeviceBooted:
        return DeviceState::Booted;
    case SimulatorUpdateType::DeviceShutdown:
        return DeviceState::Shutdown;
    default:
        return DeviceState::Unknown;
    }
}
