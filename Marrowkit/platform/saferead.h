// Reading files that other programs and users control: the device set, app
// bundles, caches. Such a path may be a link to anywhere, a FIFO that blocks
// an open or a read for ever, or a device such as /dev/zero that never ends.
// These calls open without following a final link and without blocking,
// accept only a regular file, and never read more than the limit.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include "Marrowkit/foundation/result.h"

#include <QByteArray>
#include <QString>

namespace SafeRead {

// Limits by kind of file: property lists and strings tables are small; icons
// may be larger images.
inline constexpr qint64 propertyListLimit = 8 * 1024 * 1024;
inline constexpr qint64 imageLimit = 16 * 1024 * 1024;

enum class Links {
    Refuse, // the path itself must not be a link (its folders may be)
    Follow, // a final link is followed, but what it names must still be regular
};

// The whole content of the regular file at `path`, at most `limit` bytes.
// Failure (with the path and the reason) when it is missing, not a regular
// file, a link when links are refused, larger than the limit, or unreadable.
MARROWKIT_EXPORT Result<QByteArray> readRegularFile(const QString &path, qint64 limit,
                                                    Links links = Links::Refuse);

// Whether `path` names a regular file (not through a final link).
MARROWKIT_EXPORT bool isRegularFile(const QString &path);

} // namespace SafeRead
