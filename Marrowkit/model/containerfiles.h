// Reading the property lists of a device set's containers: an app bundle's
// Info.plist and the container metadata beside each data and group
// container. Apps and other programs shape these folders, so a file is read
// only when it is a regular file itself (never through a link, never a FIFO
// or a device) and within a limit suited to its kind.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include "Marrowkit/foundation/result.h"

#include <QString>
#include <QVariantMap>

namespace ContainerFiles {

// An Info.plist lists a bundle's keys; megabytes are already generous.
inline constexpr qint64 infoPlistLimit = qint64(8) * 1024 * 1024;
// Container metadata names an identifier and a few groups.
inline constexpr qint64 metadataLimit = qint64(1024) * 1024;

// ".com.apple.mobile_container_manager.metadata.plist"
MARROWKIT_EXPORT QString metadataFileName();

// The dictionary stored in the property list at `path`. Failure (with the
// path and the reason) when the file is missing, a link, not a regular file,
// larger than `limit`, or not a dictionary property list.
MARROWKIT_EXPORT Result<QVariantMap> readDictionary(const QString &path, qint64 limit);

// The info dictionary of the bundle folder `bundlePath`.
MARROWKIT_EXPORT Result<QVariantMap> readInfoPlist(const QString &bundlePath);

// The metadata dictionary of the container folder `containerPath`.
MARROWKIT_EXPORT Result<QVariantMap> readMetadata(const QString &containerPath);

} // namespace ContainerFiles
