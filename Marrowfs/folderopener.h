// Opens a folder in the desktop's file manager: the reveal actions' way out
// of the process, behind an interface so tests can record instead of opening
// windows.
//
// Threads: called on the main thread.
#pragma once

#include "Marrowfs/marrowfs_export.h"

#include <QString>

class MARROWFS_EXPORT FolderOpener
{
public:
    virtual ~FolderOpener() = default;
    // Whether the desktop took the request does not matter to callers.
    virtual void openFolder(const QString &path) = 0;
};

// Asks the session bus's file manager (org.freedesktop.FileManager1
// ShowFolders) and, when nothing answers there, the desktop's URL handler.
class MARROWFS_EXPORT DesktopFolderOpener : public FolderOpener
{
public:
    void openFolder(const QString &path) override;
};
