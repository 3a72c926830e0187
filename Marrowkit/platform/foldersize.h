// File-manager conveniences for app folders: how many bytes a folder holds
// and when it was last modified.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include <QDateTime>
#include <QUrl>

#include <optional>

// The sum of the sizes of every regular file below `url`, walking the whole
// tree (hidden entries included). Folders, links and other nodes count 0;
// links are never followed, and entries that cannot be read count 0. Zero
// when `url` is not an existing folder. Safe on any thread; it holds one open
// descriptor per folder level while it walks.
MARROWKIT_EXPORT qint64 sizeOfFolderAtURL(const QUrl &url);

// The modification date of the node at `url` itself (a link is not
// followed); nothing when it does not exist or cannot be read.
MARROWKIT_EXPORT std::optional<QDateTime> modifiedDateForFolderAtURL(const QUrl &url);
