// The names the extension program and the file-manager shims agree on (the
// interface itself is declared in dbus/dev.marrowby.marrowby.Marrowlens.FinderSync.xml),
// and the identifier the plug-in registry knows the extension by.
//
// Threads: constants; any thread.
#pragma once

#include <QString>

namespace LensContract {

// "dev.marrowby.marrowby.Marrowlens": the program's name on the session bus.
QString serviceName();
// "/FinderSync", where the program exports the interface.
QString objectPath();
// serviceName() + ".FinderSync".
QString interfaceName();
// "dev.marrowby.marrowby.Marrowby.Marrowlens": the extension's bundle
// identifier, under which the application enables it in the plug-in
// registry.
QString extensionIdentifier();
// Where the volume is mounted unless the user chose another folder:
// ~/Volumes/Marrowby.
QString defaultVolumePath();

} // namespace LensContract
