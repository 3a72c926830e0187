// The identifier scheme of device types, runtimes and device states, shared by
// the profiles an Xcode carries, the device set and the tools.
//
//   device type  "com.apple.CoreSimulator.SimDeviceType." + the display name
//                with " - " and spaces turned into "-"  (iPhone-6-Plus,
//                Apple-Watch-38mm, Apple-TV-1080p, Resizable-iPad)
//   runtime      "com.apple.CoreSimulator.SimRuntime." + platform + "-" +
//                version with "." turned into "-"  (iOS-10-0, watchOS-2-2)
//   state        0 Creating, 1 Shutdown, 2 Booting, 3 Booted, 4 ShuttingDown
#pragma once

#include <QList>
#include <QString>

#include <optional>

enum class DeviceFamily { Phone, Pad, Watch, TV };

namespace SimIdentifiers {

inline constexpr int stateCreating = 0;
inline constexpr int stateShutdown = 1;
inline constexpr int stateBooting = 2;
inline constexpr int stateBooted = 3;
inline constexpr int stateShuttingDown = 4;

// The framework's error code (domain com.apple.CoreSimulator.SimError) for a
// request the device's current state does not allow.
inline constexpr int incorrectStateErrorCode = 405;

// "Booted" for 3, "Shutting Down" for 4, as the tools print them; "Unknown"
// outside 0..4.
QString stateName(int state);
bool isValidState(int state);

struct KnownDeviceType
{
    QString name;
    DeviceFamily family;
};
// Every device type of every Xcode the stand-in lays out, in the order the
// tools list them: iPhones, iPads, TVs, then watches (38 mm before 42 mm).
// Each Xcode has a subset (XcodeMaker::defaultDeviceTypes).
const QList<KnownDeviceType> &knownDeviceTypes();

QString deviceTypeIdentifier(const QString &displayName);
QString runtimeIdentifier(const QString &platform, const QString &version);

// "iPhone", "iPad", "Apple Watch", "Apple TV", and back.
QString familyName(DeviceFamily family);
std::optional<DeviceFamily> familyFromName(const QString &name);
// The family of a known device-type identifier; nothing for unknown ones.
std::optional<DeviceFamily> familyOfDeviceType(const QString &identifier);
// iOS runs phones and pads, watchOS watches, tvOS TVs.
bool platformSupports(const QString &platform, DeviceFamily family);
// "iOS" and "10.0" from "com.apple.CoreSimulator.SimRuntime.iOS-10-0".
std::optional<std::pair<QString, QString>> parseRuntimeIdentifier(const QString &identifier);

// An upper-case UUID text such as a UDID or a container name.
bool isUuidText(const QString &text);
QString makeUuidText();

} // namespace SimIdentifiers
