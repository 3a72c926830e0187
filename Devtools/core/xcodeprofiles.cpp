#include "xcodeprofiles.h"

#include "devicerecord.h"
#include "plistio.h"
#include "xcodelayout.h"

#include <QDir>

#include <algorithm>

namespace {

const QString familyKey = QStringLiteral("family");
const QString platformKey = QStringLiteral("platform");
const QString identifierKey = QStringLiteral("CFBundleIdentifier");
const QString nameKey = QStringLiteral("CFBundleName");
const QString versionKey = QStringLiteral("CFBundleShortVersionString");
const QString buildKey = QStringLiteral("CFBundleVersion");

QStringList profileInfoFiles(const QString &folder, const QString &extension)
{
    QStringList files;
    const QDir dir(folder);
    const auto entries = dir.entryList({QStringLiteral("*.") + extension},
                                       QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &entry : entries) {
        files.append(dir.filePath(entry) + QStringLiteral("/Contents/Info.plist"));
    }
    return files;
}

std::optional<DeviceTypeProfile> readDeviceType(const QString &path)
{
    const auto info = PlistIO::readDictionary(path, PlistIO::recordSizeLimit);
    if (!info) {
        return std::nullopt;
    }
    DeviceTypeProfile profile;
    profile.identifier = info->value(identifierKey).toString();
    profile.name = info->value(nameKey).toString();
    const auto family = SimIdentifiers::familyFromName(info->value(familyKey).toString());
    if (profile.identifier.isEmpty() || profile.name.isEmpty() || !family) {
        return std::nullopt;
    }
    profile.family = *family;
    return profile;
}

std::optional<RuntimeProfile> readRuntime(const QString &path)
{
    const auto info = PlistIO::readDictionary(path, PlistIO::recordSizeLimit);
    if (!info) {
        return std::nullopt;
    }
    RuntimeProfile profile;
    profile.identifier = info->value(identifierKey).toString();
    profile.name = info->value(nameKey).toString();
    profile.platform = info->value(platformKey).toString();
    profile.version = info->value(versionKey).toString();
    profile.build = info->value(buildKey).toString();
    if (profile.identifier.isEmpty() || profile.name.isEmpty() || profile.platform.isEmpty() ||
        profile.version.isEmpty()) {
        return std::nullopt;
    }
    return profile;
}

int knownTypeOrder(const QString &identifier)
{
    const auto &known = SimIdentifiers::knownDeviceTypes();
    for (int i = 0; i < known.size(); ++i) {
        if (SimIdentifiers::deviceTypeIdentifier(known[i].name) == identifier) {
            return i;
        }
    }
    return int(known.size());
}

QList<int> versionNumbers(const QString &version)
{
    QList<int> numbers;
    for (const QString &piece : version.split(QLatin1Char('.'))) {
        numbers.append(piece.toInt());
    }
    return numbers;
}

} // namespace

XcodeProfiles XcodeProfiles::load(const QString &developerDirectory)
{
    XcodeProfiles profiles;
    profiles.m_developerDirectory = developerDirectory;
    if (developerDirectory.isEmpty()) {
        return profiles;
    }
    const auto typeFiles = profileInfoFiles(XcodeLayout::deviceTypeProfilesPath(developerDirectory),
                                            QStringLiteral("simdevicetype"));
    for (const QString &file : typeFiles) {
        if (auto profile = readDeviceType(file);
            profile && !profiles.deviceType(profile->identifier)) {
            profiles.m_deviceTypes.append(*profile);
        }
    }
    const auto runtimeFiles = profileInfoFiles(XcodeLayout::runtimeProfilesPath(developerDirectory),
                                               QStringLiteral("simruntime"));
    for (const QString &file : runtimeFiles) {
        if (auto profile = readRuntime(file); profile && !profiles.runtime(profile->identifier)) {
            profiles.m_runtimes.append(*profile);
        }
    }
    std::stable_sort(profiles.m_deviceTypes.begin(), profiles.m_deviceTypes.end(),
                     [](const DeviceTypeProfile &a, const DeviceTypeProfile &b) {
                         return knownTypeOrder(a.identifier) < knownTypeOrder(b.identifier);
                     });
    std::stable_sort(profiles.m_runtimes.begin(), profiles.m_runtimes.end(),
                     [](const RuntimeProfile &a, const RuntimeProfile &b) {
                         if (a.platform != b.platform) {
                             return a.platform < b.platform;
                         }
                         return versionNumbers(a.version) < versionNumbers(b.version);
                     });
    return profiles;
}

const DeviceTypeProfile *XcodeProfiles::deviceType(const QString &identifier) const
{
    for (const auto &profile : m_deviceTypes) {
        if (profile.identifier == identifier) {
            return &profile;
        }
    }
    return nullptr;
}

const RuntimeProfile *XcodeProfiles::runtime(const QString &identifier) const
{
    for (const auto &profile : m_runtimes) {
        if (profile.identifier == identifier) {
            return &profile;
        }
    }
    return nullptr;
}

const DeviceTypeProfile *XcodeProfiles::findDeviceType(const QString &identifierOrName) const
{
    if (const auto *byIdentifier = deviceType(identifierOrName)) {
        return byIdentifier;
    }
    for (const auto &profile : m_deviceTypes) {
        if (profile.name == identifierOrName) {
            return &profile;
        }
    }
    return nullptr;
}

const RuntimeProfile *XcodeProfiles::findRuntime(const QString &identifierOrName) const
{
    if (const auto *byIdentifier = runtime(identifierOrName)) {
        return byIdentifier;
    }
    for (const auto &profile : m_runtimes) {
        if (profile.name == identifierOrName) {
            return &profile;
        }
    }
    return nullptr;
}

bool XcodeProfiles::isAvailable(const DeviceRecord &device) const
{
    return unavailabilityReason(device).isEmpty();
}

QString XcodeProfiles::unavailabilityReason(const DeviceRecord &device) const
{
    const RuntimeProfile *runtimeProfile = runtime(device.runtime);
    if (!runtimeProfile) {
        return QStringLiteral("runtime profile not found");
    }
    const DeviceTypeProfile *typeProfile = deviceType(device.deviceType);
    if (!typeProfile) {
        return QStringLiteral("device type profile not found");
    }
    if (!SimIdentifiers::platformSupports(runtimeProfile->platform, typeProfile->family)) {
        return QStringLiteral("device type not supported by runtime");
    }
    return QString();
}

QVariantMap XcodeProfiles::deviceTypeInfo(const DeviceTypeProfile &profile)
{
    return {{identifierKey, profile.identifier},
            {nameKey, profile.name},
            {familyKey, SimIdentifiers::familyName(profile.family)}};
}

QVariantMap XcodeProfiles::runtimeInfo(const RuntimeProfile &profile)
{
    return {{identifierKey, profile.identifier},
            {nameKey, profile.name},
            {platformKey, profile.platform},
            {versionKey, profile.version},
            {buildKey, profile.build}};
}

QString XcodeProfiles::deviceTypeBundleName(const DeviceTypeProfile &profile)
{
    return profile.name + QStringLiteral(".simdevicetype");
}

QString XcodeProfiles::runtimeBundleName(const RuntimeProfile &profile)
{
    return profile.name + QStringLiteral(".simruntime");
}
