#include "xcodelayout.h"

#include <QDir>

namespace XcodeLayout {

QString xcodeBundleIdentifier()
{
    return QStringLiteral("com.apple.dt.Xcode");
}

QString developerDirectory(const QString &app)
{
    return QDir::cleanPath(app + QStringLiteral("/Contents/Developer"));
}

QString appOfDeveloperDirectory(const QString &developer)
{
    return QDir::cleanPath(developer + QStringLiteral("/../.."));
}

QString deviceTypeProfilesPath(const QString &developer)
{
    return developer + QStringLiteral("/Library/CoreSimulator/Profiles/DeviceTypes");
}

QString runtimeProfilesPath(const QString &developer)
{
    return developer + QStringLiteral("/Library/CoreSimulator/Profiles/Runtimes");
}

QString coreSimulatorFrameworkPath(const QString &developer)
{
    return developer + QStringLiteral("/Library/PrivateFrameworks/CoreSimulator.framework");
}

QString dvtFoundationFrameworkPath(const QString &developer)
{
    return QDir::cleanPath(developer +
                           QStringLiteral("/../SharedFrameworks/DVTFoundation.framework"));
}

QString devToolsFoundationFrameworkPath(const QString &developer)
{
    return QDir::cleanPath(developer +
                           QStringLiteral("/../OtherFrameworks/DevToolsFoundation.framework"));
}

QString simulatorAppPath(const QString &developer)
{
    return developer + QStringLiteral("/Applications/Simulator.app");
}

QString watchSimulatorAppPath(const QString &developer)
{
    return developer + QStringLiteral("/Applications/Simulator (Watch).app");
}

QString developerDirectoryOfCoreSimulatorBinary(const QString &binaryPath)
{
    return QDir::cleanPath(binaryPath + QStringLiteral("/../../../.."));
}

} // namespace XcodeLayout
