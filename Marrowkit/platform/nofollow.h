// Looking at folders that others can write to (the device set) without ever
// going through a link: a link is reported as what it is, never as what it
// points to, and a folder that is a link is not listed.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace NoFollow {

enum class Kind {
    Folder,
    File,  // a regular file
    Other, // a link, FIFO, device, socket, or gone by the time it was looked at
};

struct Entry
{
    QString name;
    Kind kind = Kind::Other;
};

enum class Hidden { Skip, Include };

// Whether `path` is a folder itself, not a link to one.
MARROWKIT_EXPORT bool isFolder(const QString &path);

// Whether every component below `base` on the way to `base`/`relative` is a
// folder and none is a link. `base` itself is the caller's own and is not
// examined.
MARROWKIT_EXPORT bool isFolderBelow(const QString &base, const QString &relative);

// The entries of the folder `path`, sorted by name (case-sensitive). Empty
// when `path` is not a folder, is a link, or cannot be read. Hidden entries
// (names starting with ".") only when asked for.
MARROWKIT_EXPORT QList<Entry> entries(const QString &path, Hidden hidden = Hidden::Skip);

} // namespace NoFollow
