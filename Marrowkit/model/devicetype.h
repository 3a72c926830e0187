// The hardware kinds of simulated devices. The raw values are the display
// names the developer tools use; any other name is Unknown.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include <QString>

#include <optional>

enum class DeviceType {
    iPhone4s,
    iPhone5,
    iPhone5s,
    iPhone6,
    iPhone6plus,
    iPhone6s,
    iPhone6splus,
    iPhoneResizable,
    iPadResizable,
    iPad2,
    iPadRetina,
    iPadAir,
    iPadPro,
    watch42,
    watch38,
    atv,
    Unknown,
};

// "iPhone 4s", "Apple Watch - 42mm", ..., "Unknown".
MARROWKIT_EXPORT QString rawValue(DeviceType type);
// Exactly the raw values above (case and spaces as shown); nothing otherwise.
MARROWKIT_EXPORT std::optional<DeviceType> deviceTypeFromRawValue(const QString &rawValue);
MARROWKIT_EXPORT QString description(DeviceType type);

MARROWKIT_EXPORT bool isPad(DeviceType type);
// Every type but iPad2 (Unknown included).
MARROWKIT_EXPORT bool isRetina(DeviceType type);
MARROWKIT_EXPORT bool isWatch(DeviceType type);
MARROWKIT_EXPORT bool isTV(DeviceType type);
