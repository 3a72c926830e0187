#include "simidentifiers.h"

#include <QRegularExpression>
#include <QUuid>

namespace {
const QString deviceTypePrefix = QStringLiteral("com.apple.CoreSimulator.SimDeviceType.");
const QString runtimePrefix = QStringLiteral("com.apple.CoreSimulator.SimRuntime.");
} // namespace

namespace SimIdentifiers {

QString stateName(int state)
{
    switch (state) {
    case stateCreating:
        return QStringLiteral("Creating");
    case stateShutdown:
        return QStringLiteral("Shutdown");
    case stateBooting:
        return QStringLiteral("Booting");
    case stateBooted:
        return QStringLiteral("Booted");
    case stateShuttingDown:
        return QStringLiteral("Shutting Down");
    default:
        return QStringLiteral("Unknown");
    }
}

bool isValidState(int state)
{
    return state >= stateCreating && state <= stateShuttingDown;
}

const QList<KnownDeviceType> &knownDeviceTypes()
{
    static const QList<KnownDeviceType> types = {
        {QStringLiteral("iPhone 4s"), DeviceFamily::Phone},
        {QStringLiteral("iPhone 5"), DeviceFamily::Phone},
        {QStringLiteral("iPhone 5s"), DeviceFamily::Phone},
        {QStringLiteral("iPhone 6"), DeviceFamily::Phone},
        {QStringLiteral("iPhone 6 Plus"), DeviceFamily::Phone},
        {QStringLiteral("iPhone 6s"), DeviceFamily::Phone},
        {QStringLiteral("iPhone 6s Plus"), DeviceFamily::Phone},
        {QStringLiteral("iPhone 7"), DeviceFamily::Phone},
        {QStringLiteral("iPhone 7 Plus"), DeviceFamily::Phone},
        {QStringLiteral("iPhone SE"), DeviceFamily::Phone},
        {QStringLiteral("Resizable iPhone"), DeviceFamily::Phone},
        {QStringLiteral("Resizable iPad"), DeviceFamily::Pad},
        {QStringLiteral("iPad 2"), DeviceFamily::Pad},
        {QStringLiteral("iPad Retina"), DeviceFamily::Pad},
        {QStringLiteral("iPad Air"), DeviceFamily::Pad},
        {QStringLiteral("iPad Air 2"), DeviceFamily::Pad},
        {QStringLiteral("iPad Pro"), DeviceFamily::Pad},
        {QStringLiteral("Apple TV 1080p"), DeviceFamily::TV},
        {QStringLiteral("Apple Watch - 38mm"), DeviceFamily::Watch},
        {QStringLiteral("Apple Watch - 42mm"), DeviceFamily::Watch},
        {QStringLiteral("Apple Watch Series 2 - 38mm"), DeviceFamily::Watch},
        {QStringLiteral("Apple Watch Series 2 - 42mm"), DeviceFamily::Watch},
    };
    return types;
}

QString deviceTypeIdentifier(const QString &displayName)
{
    QString suffix = displayName;
    suffix.replace(QStringLiteral(" - "), QStringLiteral("-"));
    suffix.replace(QLatin1Char(' '), QLatin1Char('-'));
    return deviceTypePrefix + suffix;
}

QString runtimeIdentifier(const QString &platform, const QString &version)
{
    QString suffix = version;
    suffix.replace(QLatin1Char('.'), QLatin1Char('-'));
    return runtimePrefix + platform + QLatin1Char('-') + suffix;
}

QString familyName(DeviceFamily family)
{
    switch (family) {
    case DeviceFamily::Phone:
        return QStringLiteral("iPhone");
    case DeviceFamily::Pad:
        return QStringLiteral("iPad");
    case DeviceFamily::Watch:
        return QStringLiteral("Apple Watch");
    case DeviceFamily::TV:
        return QStringLiteral("Apple TV");
    }
    return QString();
}

std::optional<DeviceFamily> familyFromName(const QString &name)
{
    for (DeviceFamily family :
         {DeviceFamily::Phone, DeviceFamily::Pad, DeviceFamily::Watch, DeviceFamily::TV}) {
        if (familyName(family) == name) {
            return family;
        }
    }
    return std::nullopt;
}

std::optional<DeviceFamily> familyOfDeviceType(const QString &identifier)
{
    for (const KnownDeviceType &type : knownDeviceTypes()) {
        if (deviceTypeIdentifier(type.name) == identifier) {
            return type.family;
        }
    }
    return std::nullopt;
}

bool platformSupports(const QString &platform, DeviceFamily family)
{
    if (platform == QLatin1String("iOS")) {
        return family == DeviceFamily::Phone || family == DeviceFamily::Pad;
    }
    if (platform == QLatin1String("watchOS")) {
        return family == DeviceFamily::Watch;
    }
    if (platform == QLatin1String("tvOS")) {
        return family == DeviceFamily::TV;
    }
    return false;
}

std::optional<std::pair<QString, QString>> parseRuntimeIdentifier(const QString &identifier)
{
    static const QRegularExpression pattern(QStringLiteral("^([A-Za-z]+)-([0-9]+(?:-[0-9]+)*)$"));
    if (!identifier.startsWith(runtimePrefix)) {
        return std::nullopt;
    }
    const auto match = pattern.match(identifier.mid(runtimePrefix.size()));
    if (!match.hasMatch()) {
        return std::nullopt;
    }
    QString version = match.captured(2);
    version.replace(QLatin1Char('-'), QLatin1Char('.'));
    return std::make_pair(match.captured(1), version);
}

bool isUuidText(const QString &text)
{
    if (text.size() != 36) {
        return false;
    }
    const QUuid uuid = QUuid::fromString(text);
    return !uuid.isNull() && uuid.toString(QUuid::WithoutBraces).toUpper() == text;
}

QString makeUuidText()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

} // namespace SimIdentifiers
