// The device-type and runtime profiles of one Xcode: which devices of the set
// that Xcode can run. A device is available when both its runtime and its
// device type have a profile here and the runtime's platform runs that kind
// of device.
//
// Profile Info.plist keys (written by the Xcode maker):
//   device type  CFBundleIdentifier, CFBundleName (display name), "family"
//                ("iPhone", "iPad", "Apple Watch", "Apple TV")
//   runtime      CFBundleIdentifier, CFBundleName ("iOS 10.0"), "platform",
//                CFBundleShortVersionString (version), CFBundleVersion (build)
#pragma once

#include "simidentifiers.h"

#include <QList>
#include <QString>

struct DeviceTypeProfile
{
    QString identifier;
    QString name;
    DeviceFamily family = DeviceFamily::Phone;
};

struct RuntimeProfile
{
    QString identifier;
    QString name;
    QString platform;
    QString version;
    QString build;
};

struct DeviceRecord;

// Immutable once loaded; safe to share between threads.
class XcodeProfiles
{
public:
    XcodeProfiles() = default;
    // Reads the profiles of the developer folder; unreadable profiles are
    // left out. An empty developer path gives no profiles.
    static XcodeProfiles load(const QString &developerDirectory);

    QString developerDirectory() const { return m_developerDirectory; }
    // Device types in display order; runtimes by platform, then version.
    const QList<DeviceTypeProfile> &deviceTypes() const { return m_deviceTypes; }
    const QList<RuntimeProfile> &runtimes() const { return m_runtimes; }

    const DeviceTypeProfile *deviceType(const QString &identifier) const;
    const RuntimeProfile *runtime(const QString &identifier) const;
    // By identifier or display name ("iPhone 6", "iOS 10.0").
    const DeviceTypeProfile *findDeviceType(const QString &identifierOrName) const;
    const RuntimeProfile *findRuntime(const QString &identifierOrName) const;

    bool isAvailable(const DeviceRecord &device) const;
    // "runtime profile not found" and the like; empty when available.
    QString unavailabilityReason(const DeviceRecord &device) const;

    // The profile files themselves, for the Xcode maker.
    static QVariantMap deviceTypeInfo(const DeviceTypeProfile &profile);
    static QVariantMap runtimeInfo(const RuntimeProfile &profile);
    static QString deviceTypeBundleName(const DeviceTypeProfile &profile);
    static QString runtimeBundleName(const RuntimeProfile &profile);

private:
    QString m_developerDirectory;
    QList<DeviceTypeProfile> m_deviceTypes;
    QList<RuntimeProfile> m_runtimes;
};
