#include "Marrowkit/model/simulatorupdatetype.h"

#include <array>

namespace {

// In declaration order, so that a case's index is its position.
constexpr std::array<const char *, 6> names{"AppsAdded",      "AppsUpdated",  "AppsDeleted",
                                            "DeviceCreating", "DeviceBooted", "DeviceShutdown"};

} // namespace

QString rawValue(SimulatorUpdateType type)
{
    return QString::fromLatin1(names.at(static_cast<size_t>(hashValue(type))));
}

std::optional<SimulatorUpdateType> simulatorUpdateTypeFromRawValue(const QString &rawValue)
{
    for (size_t i = 0; i < names.size(); ++i) {
        if (rawValue == QLatin1String(names[i])) {
            return static_cast<SimulatorUpdateType>(i);
        }
    }
    return std::nullopt;
}

QString description(SimulatorUpdateType type)
{
    return rawValue(type);
}

int hashValue(SimulatorUpdateType type)
{
    return static_cast<int>(type);
}
