// Paths inside an Xcode installation as the stand-in lays it out. `app` is the
// "<Name>.app" folder; `developer` is its Contents/Developer folder.
#pragma once

#include <QString>

namespace XcodeLayout {

QString xcodeBundleIdentifier(); // "com.apple.dt.Xcode"

QString developerDirectory(const QString &app);
// The .app folder of a developer folder (two levels up).
QString appOfDeveloperDirectory(const QString &developer);

QString deviceTypeProfilesPath(const QString &developer);
QString runtimeProfilesPath(const QString &developer);
// <Developer>/Library/PrivateFrameworks/CoreSimulator.framework
QString coreSimulatorFrameworkPath(const QString &developer);
// <Developer>/../SharedFrameworks/DVTFoundation.framework
QString dvtFoundationFrameworkPath(const QString &developer);
// <Developer>/../OtherFrameworks/DevToolsFoundation.framework
QString devToolsFoundationFrameworkPath(const QString &developer);
QString simulatorAppPath(const QString &developer);
QString watchSimulatorAppPath(const QString &developer);

// The developer folder of a loaded CoreSimulator binary
// (<Developer>/Library/PrivateFrameworks/CoreSimulator.framework/CoreSimulator).
QString developerDirectoryOfCoreSimulatorBinary(const QString &binaryPath);

} // namespace XcodeLayout
