// Shows files and folders to the user in their file manager: the reveal
// actions of every program. The file manager is asked on the session bus
// (org.freedesktop.FileManager1) without waiting; where none answers there,
// the desktop's handler for folders opens them instead.
//
// Threads: a thread with an event loop (the main thread); the answer is
// awaited in that loop, never blocked on.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include <QList>
#include <QUrl>

namespace FileManagerWindow {

// Opens the folders that hold `urls` with the items selected.
MARROWKIT_EXPORT void showItems(const QList<QUrl> &urls);
// Opens the folders at `urls` themselves.
MARROWKIT_EXPORT void showFolders(const QList<QUrl> &urls);

} // namespace FileManagerWindow
