// Lays out one Xcode installation the way the system reads it:
//
//   <Name>.app/Contents/Info.plist           CFBundleIdentifier com.apple.dt.Xcode,
//                                            CFBundleShortVersionString
//   <Name>.app/Contents/version.plist        ProductBuildVersion
//   <Name>.app/Contents/SharedFrameworks/DVTFoundation.framework
//   <Name>.app/Contents/OtherFrameworks/DevToolsFoundation.framework
//   <Name>.app/Contents/Developer/Library/PrivateFrameworks/CoreSimulator.framework
//   <Name>.app/Contents/Developer/Applications/Simulator.app, Simulator (Watch).app
//   <Name>.app/Contents/Developer/Library/CoreSimulator/Profiles/DeviceTypes/<Name>.simdevicetype
//   <Name>.app/Contents/Developer/Library/CoreSimulator/Profiles/Runtimes/<Name>.simruntime
//
// The frameworks are copies of the ones the build made; the Simulator
// applications' executables are copies of this program.
#pragma once

#include "xcodeprofiles.h"

#include <QStringList>

struct XcodePlan
{
    QString appPath;
    QString version = QStringLiteral("8.0");
    QString build = QStringLiteral("8A218a");
    QList<RuntimeProfile> runtimes; // empty: the version's usual runtimes
    QStringList deviceTypeNames;    // empty: every known device type
};

namespace XcodeMaker {

int run(const QStringList &arguments);
bool make(const XcodePlan &plan, QString *error);

RuntimeProfile runtime(const QString &platform, const QString &version, const QString &build);
// iOS, watchOS and tvOS runtimes that came with an Xcode version.
QList<RuntimeProfile> defaultRuntimes(const QString &xcodeVersion);
// Where the built frameworks are: $MARROWBY_DEVTOOLS_FRAMEWORKS, else
// "../Devtools" beside this program's folder.
QString frameworksSourcePath();

} // namespace XcodeMaker
