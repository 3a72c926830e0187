// The extension's menu texts: looked up by dotted key ("marrowlens.menu.")
// in the string table of the extension's own bundle, with the English text
// in the code when the table lacks one. "%@" is filled with the device or app
// folder's name.
//
// Threads: any (the table is read once under a lock).
#pragma once

#include <QString>

namespace LensStrings {

QString deviceReveal();
QString deviceRunning(const QString &deviceName);
QString deviceLaunch(const QString &deviceName);
QString deviceAddPhotos(const QString &deviceName);
QString deviceReset();
QString appReveal();
QString appLaunch(const QString &appName);
QString appRevealAppGroups(const QString &appName);
QString appReset();
QString appUninstall(const QString &appName);
QString generalReveal();

} // namespace LensStrings
