#include "Marrowkit/model/devicetype.h"

#include <array>

namespace {

struct TypeInfo
{
    DeviceType type;
    const char *rawValue;
};

// In declaration order.
constexpr std::array<TypeInfo, 17> types{{
    {DeviceType::iPhone4s, "iPhone 4s"},
    {DeviceType::iPhone5, "iPhone 5"},
    {DeviceType::iPhone5s, "iPhone 5s"},
    {DeviceType::iPhone6, "iPhone 6"},
    {DeviceType::iPhone6plus, "iPhone 6 Plus"},
    {DeviceType::iPhone6s, "iPhone 6s"},
    {DeviceType::iPhone6splus, "iPhone 6s Plus"},
    {DeviceType::iPhoneResizable, "Resizable iPhone"},
    {DeviceType::iPadResizable, "Resizable iPad"},
    {DeviceType::iPad2, "iPad 2"},
    {DeviceType::iPadRetina, "iPad Retina"},
    {DeviceType::iPadAir, "iPad Air"},
    {DeviceType::iPadPro, "iPad Pro"},
    {DeviceType::watch42, "Apple Watch - 42mm"},
    {DeviceType::watch38, "Apple Watch - 38mm"},
    {DeviceType::atv, "Apple TV 1080p"},
    {DeviceType::Unknown, "Unknown"},
}};

} // namespace

QString rawValue(DeviceType type)
{
    for (const TypeInfo &info : types) {
        if (info.type == type) {
            return QString::fromLatin1(info.rawValue);
        }
    }
    return QStringLiteral("Unknown");
}

std::optional<DeviceType> deviceTypeFromRawValue(const QString &rawValue)
{
    for (const TypeInfo &info : types) {
        if (rawValue == QLatin1String(info.rawValue)) {
            return info.type;
        }
    }
    return std::nullopt;
}

QString description(DeviceType type)
{
    return rawValue(type);
}

bool isPad(DeviceType type)
{
    switch (type) {
    case DeviceType::iPadResizable:
    case DeviceType::iPad2:
    case DeviceType::iPadRetina:
    case DeviceType::iPadAir:
    case DeviceType::iPadPro:
        return true;
    default:
        return false;
    }
}

bool isRetina(DeviceType type)
{
    return type != DeviceType::iPad2;
}

bool isWatch(DeviceType type)
{
    return type == DeviceType::watch42 || type == DeviceType::watch38;
}

bool isTV(DeviceType type)
{
    return type == DeviceType::atv;
}
