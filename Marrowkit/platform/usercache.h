// The user's own cache folders ($XDG_CACHE_HOME/Marrowby/<name>, by default
// ~/.cache/Marrowby/<name>), for caches that must survive restarts but may be
// thrown away at any time. Never a predictable name in the shared temporary
// folder: another user could plant links there.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include "Marrowkit/foundation/result.h"

#include <QByteArray>
#include <QString>

namespace UserCache {

// The cache folder `name` (a plain folder name), made with mode 0700 where it
// is missing. Failure when `name` is not a plain name, or when the folder or
// the Marrowby folder above it is a link, not a folder, belongs to another
// user, or is open to others.
MARROWKIT_EXPORT Result<QString> folder(const QString &name);

// Replaces `folder`/`fileName` with `data` atomically: the bytes go to a
// fresh temporary file in the same folder that is then renamed over the
// name, so a reader sees the old file or the new one, never a part, and a
// crash leaves no truncated entry. `fileName` must be a plain name.
MARROWKIT_EXPORT Result<Unit> writeAtomically(const QString &folder, const QString &fileName,
                                              const QByteArray &data);

// Whether `name` can be one component of a path: not empty, not "." or "..",
// no "/" and no NUL.
MARROWKIT_EXPORT bool isPlainName(const QString &name);

} // namespace UserCache
