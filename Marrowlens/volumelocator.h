// Where the volume is mounted: the user may mount it anywhere, so the
// extension looks for the mounted Marrowby file system (type fuse.marrowby)
// of this user instead of assuming a folder.
//
// Threads: any.
#pragma once

#include <QString>

#include <optional>

namespace VolumeLocator {

// The mount point of a mounted volume in `mountInfo` (the text of
// /proc/self/mountinfo); one below `home` wins over others.
std::optional<QString> mountPointIn(const QByteArray &mountInfo, const QString &home);
// The mounted volume's folder, else ~/Volumes/Marrowby (where it will be).
QString volumePath();

} // namespace VolumeLocator
