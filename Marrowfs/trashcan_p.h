// Moves removed items into the user's Trash (files/ and info/ under the data
// folder's Trash, the desktop's shared layout) with one rename when the item
// is on the Trash's file system: an info file made exclusively, then the
// item renamed in beside it, nothing copied or synced. Items elsewhere go
// the platform's own way (a Trash on their own file system).
//
// Threads: any number at once. The Trash's descriptors are opened once,
// on first use, and only read afterwards; names are claimed by exclusive
// creation of the info file, never by looking first.
#pragma once

#include "realaccess_p.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <mutex>
#include <sys/types.h>

class TrashCan
{
public:
    // Moves `name` in the folder `parentFd` to the Trash; 0 or an errno.
    // `path` is its real path, `device` the file system it is on.
    int moveToTrash(int parentFd, const QByteArray &name, const QString &path, dev_t device);

private:
    bool open();
    int moveByRename(int parentFd, const QByteArray &name, const QString &path);

    std::once_flag m_opened;
    ScopedFd m_files;
    ScopedFd m_info;
    dev_t m_device = 0;
    std::atomic<quint64> m_collisions{0};
};
