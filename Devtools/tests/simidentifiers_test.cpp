// Identifiers of device types, runtimes and states, and the profiles of one
// Xcode that decide which devices are available.
#include "devicerecord.h"
#include "plistio.h"
#include "simidentifiers.h"
#include "tests/support/testsupport.h"
#include "xcodelayout.h"
#include "xcodeprofiles.h"

#include <QDir>

#include <gtest/gtest.h>

TEST(SimIdentifiers, SpellIdentifiersAndStatesAsTheToolsDo)
{
    EXPECT_EQ(SimIdentifiers::deviceTypeIdentifier(QStringLiteral("iPhone 6 Plus")),
              QStringLiteral("com.apple.CoreSimulator.SimDeviceType.iPhone-6-Plus"));
    EXPECT_EQ(SimIdentifiers::deviceTypeIdentifier(QStringLiteral("Apple Watch Series 2 - 38mm")),
              QStringLiteral("com.apple.CoreSimulator.SimDeviceType.Apple-Watch-Series-2-38mm"));
    EXPECT_EQ(SimIdentifiers::runtimeIdentifier(QStringLiteral("watchOS"), QStringLiteral("2.2")),
              QStringLiteral("com.apple.CoreSimulator.SimRuntime.watchOS-2-2"));
    const auto parsed = SimIdentifiers::parseRuntimeIdentifier(
        QStringLiteral("com.apple.CoreSimulator.SimRuntime.iOS-10-3"));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->first, QStringLiteral("iOS"));
    EXPECT_EQ(parsed->second, QStringLiteral("10.3"));
    for (const QString &bad : {QStringLiteral("com.apple.CoreSimulator.SimRuntime.iOS"),
                               QStringLiteral("com.apple.CoreSimulator.SimRuntime.iOS-10-"),
                               QStringLiteral("com.apple.CoreSimulator.SimDeviceType.iOS-10-0"),
                               QStringLiteral("iOS-10-0")}) {
        EXPECT_FALSE(SimIdentifiers::parseRuntimeIdentifier(bad)) << bad.toStdString();
    }

    const QStringList names = {QStringLiteral("Creating"), QStringLiteral("Shutdown"),
                               QStringLiteral("Booting"), QStringLiteral("Booted"),
                               QStringLiteral("Shutting Down")};
    for (int state = 0; state < 5; ++state) {
        EXPECT_TRUE(SimIdentifiers::isValidState(state));
        EXPECT_EQ(SimIdentifiers::stateName(state), names[state]);
    }
    EXPECT_FALSE(SimIdentifiers::isValidState(5));
    EXPECT_EQ(SimIdentifiers::stateName(-1), QStringLiteral("Unknown"));

    const QString uuid = SimIdentifiers::makeUuidText();
    EXPECT_TRUE(SimIdentifiers::isUuidText(uuid));
    EXPECT_FALSE(SimIdentifiers::isUuidText(uuid.toLower()));
    EXPECT_FALSE(SimIdentifiers::isUuidText(QLatin1Char('{') + uuid + QLatin1Char('}')));
    EXPECT_FALSE(
        SimIdentifiers::isUuidText(QStringLiteral("00000000-0000-0000-0000-00000000000G")));
}

TEST(SimIdentifiers, KnownDeviceTypesGoPhonesPadsTvsThenWatches)
{
    QList<DeviceFamily> families;
    QStringList watches;
    for (const auto &type : SimIdentifiers::knownDeviceTypes()) {
        if (families.isEmpty() || families.last() != type.family) {
            families.append(type.family);
        }
        if (type.family == DeviceFamily::Watch) {
            watches.append(type.name);
        }
        EXPECT_EQ(
            SimIdentifiers::familyOfDeviceType(SimIdentifiers::deviceTypeIdentifier(type.name)),
            type.family);
    }
    EXPECT_EQ(families, (QList<DeviceFamily>{DeviceFamily::Phone, DeviceFamily::Pad,
                                             DeviceFamily::TV, DeviceFamily::Watch}));
    EXPECT_EQ(watches, (QStringList{QStringLiteral("Apple Watch - 38mm"),
                                    QStringLiteral("Apple Watch - 42mm"),
                                    QStringLiteral("Apple Watch Series 2 - 38mm"),
                                    QStringLiteral("Apple Watch Series 2 - 42mm")}));
    EXPECT_FALSE(SimIdentifiers::familyOfDeviceType(QStringLiteral("iPhone-6")));
    EXPECT_TRUE(SimIdentifiers::platformSupports(QStringLiteral("iOS"), DeviceFamily::Pad));
    EXPECT_FALSE(SimIdentifiers::platformSupports(QStringLiteral("iOS"), DeviceFamily::TV));
    EXPECT_TRUE(SimIdentifiers::platformSupports(QStringLiteral("tvOS"), DeviceFamily::TV));
    EXPECT_FALSE(SimIdentifiers::platformSupports(QStringLiteral("macOS"), DeviceFamily::Phone));
}

TEST(XcodeProfilesTest, LoadsProfilesInOrderAndExplainsUnavailableDevices)
{
    testsupport::TemporaryHome home;
    const QString developer = home.filePath(QStringLiteral("Xcode.app/Contents/Developer"));
    auto writeInfo = [](const QString &bundle, const QVariantMap &info) {
        return QDir().mkpath(bundle + QStringLiteral("/Contents")) &&
               PlistIO::writeXml(bundle + QStringLiteral("/Contents/Info.plist"), info);
    };
    auto writeType = [&](const QString &name, DeviceFamily family) {
        const DeviceTypeProfile profile{SimIdentifiers::deviceTypeIdentifier(name), name, family};
        return writeInfo(XcodeLayout::deviceTypeProfilesPath(developer) + QLatin1Char('/') +
                             XcodeProfiles::deviceTypeBundleName(profile),
                         XcodeProfiles::deviceTypeInfo(profile));
    };
    auto writeRuntime = [&](const QString &platform, const QString &version) {
        const RuntimeProfile profile{SimIdentifiers::runtimeIdentifier(platform, version),
                                     platform + QLatin1Char(' ') + version, platform, version,
                                     QStringLiteral("B")};
        return writeInfo(XcodeLayout::runtimeProfilesPath(developer) + QLatin1Char('/') +
                             XcodeProfiles::runtimeBundleName(profile),
                         XcodeProfiles::runtimeInfo(profile));
    };
    for (const QString &folder : {XcodeLayout::deviceTypeProfilesPath(developer) +
                                      QStringLiteral("/Broken.simdevicetype/Contents"),
                                  XcodeLayout::runtimeProfilesPath(developer)}) {
        QDir().mkpath(folder);
    }
    testsupport::writeFile(XcodeLayout::deviceTypeProfilesPath(developer) +
                               QStringLiteral("/Broken.simdevicetype/Contents/Info.plist"),
                           "garbage");
    ASSERT_TRUE(writeType(QStringLiteral("Apple Watch - 42mm"), DeviceFamily::Watch));
    ASSERT_TRUE(writeType(QStringLiteral("iPad Air"), DeviceFamily::Pad));
    ASSERT_TRUE(writeType(QStringLiteral("iPhone 6"), DeviceFamily::Phone));
    ASSERT_TRUE(writeType(QStringLiteral("Apple TV 1080p"), DeviceFamily::TV));
    ASSERT_TRUE(writeRuntime(QStringLiteral("watchOS"), QStringLiteral("3.0")));
    ASSERT_TRUE(writeRuntime(QStringLiteral("iOS"), QStringLiteral("10.0")));
    ASSERT_TRUE(writeRuntime(QStringLiteral("iOS"), QStringLiteral("9.3")));

    const XcodeProfiles profiles = XcodeProfiles::load(developer);
    QStringList types;
    for (const auto &type : profiles.deviceTypes()) {
        types.append(type.name);
    }
    EXPECT_EQ(types, (QStringList{QStringLiteral("iPhone 6"), QStringLiteral("iPad Air"),
                                  QStringLiteral("Apple TV 1080p"),
                                  QStringLiteral("Apple Watch - 42mm")}));
    QStringList runtimes;
    for (const auto &runtime : profiles.runtimes()) {
        runtimes.append(runtime.name);
    }
    EXPECT_EQ(runtimes, (QStringList{QStringLiteral("iOS 9.3"), QStringLiteral("iOS 10.0"),
                                     QStringLiteral("watchOS 3.0")}));
    EXPECT_EQ(
        profiles.findDeviceType(QStringLiteral("iPad Air")),
        profiles.deviceType(SimIdentifiers::deviceTypeIdentifier(QStringLiteral("iPad Air"))));

    DeviceRecord device;
    device.deviceType = SimIdentifiers::deviceTypeIdentifier(QStringLiteral("iPhone 6"));
    device.runtime =
        SimIdentifiers::runtimeIdentifier(QStringLiteral("iOS"), QStringLiteral("10.0"));
    EXPECT_TRUE(profiles.isAvailable(device));
    device.deviceType = SimIdentifiers::deviceTypeIdentifier(QStringLiteral("iPhone 7"));
    EXPECT_EQ(profiles.unavailabilityReason(device),
              QStringLiteral("device type profile not found"));
    device.deviceType = SimIdentifiers::deviceTypeIdentifier(QStringLiteral("Apple TV 1080p"));
    EXPECT_EQ(profiles.unavailabilityReason(device),
              QStringLiteral("device type not supported by runtime"));
    device.runtime =
        SimIdentifiers::runtimeIdentifier(QStringLiteral("tvOS"), QStringLiteral("10.0"));
    EXPECT_EQ(profiles.unavailabilityReason(device), QStringLiteral("runtime profile not found"));
    EXPECT_TRUE(XcodeProfiles::load(QString()).deviceTypes().isEmpty());
}
