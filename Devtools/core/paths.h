// Where the stand-in keeps things. Everything lives under the current HOME, so
// a test gets a private world by pointing HOME at a temporary folder.
#pragma once

#include <QString>

namespace DevtoolsPaths {

// $HOME, else the password database's home folder.
QString home();
// ~/Library/Developer/CoreSimulator/Devices: the default device set.
QString deviceSetPath();
// ~/Library/Logs/CoreSimulator/<UDID>/system.log
QString deviceSystemLogPath(const QString &udid);
// ~/Library/Developer/xcode_select_link: a symbolic link to the selected
// developer folder (per user, so selecting needs no administrator rights).
QString selectionLinkPath();
// ~/Library/Caches/com.apple.pluginkit/Annotations.plist: plug-in elections.
QString pluginRegistryPath();
// ~/Applications
QString userApplicationsPath();

} // namespace DevtoolsPaths
