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
    QStringList deviceTypeNames;    // empty: the version's usual device types
};

namespace XcodeMaker {

int run(const QStringList &arguments);
bool make(const XcodePlan &plan, QString *error);

// "iOS", "10.3.1", "14E8301": iOS 10.3 (SimRuntime.iOS-10-3), version 10.3.1.
RuntimeProfile runtime(const QString &platform, const QString &version, const QString &build);
// iOS, watchOS and tvOS runtimes that came with an Xcode version.
QList<RuntimeProfile> defaultRuntimes(const QString &xcodeVersion);
// The device types an Xcode version came with (7.x: up to iPad Pro, with the
// resizable iPhone and iPad; 8.x: iPhone 7 and SE, iPad Air 2, Apple Watch
// Series 2, no resizable types), names in the tools' order.
QStringList defaultDeviceTypes(const QString &xcodeVersion);
// Where the built frameworks are: $MARROWBY_DEVTOOLS_FRAMEWORKS, else
// "../Devtools" beside this program's folder.
QString frameworksSourcePath();

} // namespace XcodeMaker
