// Where the volume is mounted: the user may mount it anywhere, so the
// extension looks for the mounted Marrowby file system (type fuse.marrowby)
// in the user's home instead of assuming a folder.
//
// Threads: any.
#pragma once

#include <QString>

#include <optional>

namespace VolumeLocator {

// The mount point of a volume mounted below `home`, as `mountInfo` (the text
// of /proc/self/mountinfo) lists it. A volume mounted outside the home
// folder is not taken for the user's: the program's --volume names it.
std::optional<QString> mountPointIn(const QByteArray &mountInfo, const QString &home);
// The mounted volume's folder, else ~/Volumes/Marrowby (where it will be).
QString volumePath();

} // namespace VolumeLocator
