// File operations of the file-manager kind that the service's actions use.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include "Marrowkit/foundation/result.h"

#include <QUrl>

// Moves everything inside the folder at `url` to the user's Trash (the
// freedesktop Trash, with a .trashinfo for each item); the folder itself
// stays. Each moved item is announced at its parent folder through
// FileSystemChangeNotifier. Stops at the first item that cannot be moved;
// what was moved before it stays in the Trash.
//
// Errors, in domain "NSFileManagerErrorDomain": code 1 with the failure
// reason "URL has no path." for a URL without a local path; the code of the
// underlying error with the failure reason "Could not remove url." for an
// item that cannot be moved (its path under NSFilePath), a folder that
// exists but cannot be read, or a folder that is itself a symbolic link
// (code ELOOP: what it points to is never emptied). A missing folder has
// nothing to empty and succeeds. Runs synchronously on the calling thread.
//
// Symbolic links inside go to the Trash as links, never what they point to. Qt's
// Trash refuses links that point nowhere; such a link is reported as an item
// that cannot be moved.
MARROWKIT_EXPORT Result<Unit> removeContentsOfDirectoryAtURL(const QUrl &url);
