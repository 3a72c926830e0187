// Moves removed items into the user's Trash (files/ and info/ under the data
// folder's Trash, the desktop's shared layout) with one rename when the item
// is on the Trash's file system: an info file made exclusively, then the
// item renamed in beside it, nothing copied or synced. Items elsewhere go
// the platform's own way (a Trash on their own file system).
//
// Making a file is the dearest step of a removal on some file systems (ext4
// without a journal scans recently freed inodes on every allocation), so a
// thread of this object's own keeps a few unnamed info files ready in the
// info folder (O_TMPFILE). A removal writes the text into one and links it
// in under its name, which claims the name as exclusive creation does; a
// crash leaves nothing behind, unnamed files vanish with their descriptors.
//
// Threads: any number at once. The Trash's descriptors are opened once,
// on first use, and only read afterwards; names are claimed by exclusive
// creation or linking of the info file, never by looking first. The spare
// files are guarded by m_spareMutex and made on m_spareThread.
#pragma once

#include "realaccess_p.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <sys/types.h>
#include <thread>
#include <vector>

class TrashCan
{
public:
    TrashCan() = default;
    ~TrashCan();
    TrashCan(const TrashCan &) = delete;
    TrashCan &operator=(const TrashCan &) = delete;

    // Moves `name` in the folder `parentFd` to the Trash; 0 or an errno.
    // `path` is its real path, `device` the file system it is on.
    int moveToTrash(int parentFd, const QByteArray &name, const QString &path, dev_t device);

private:
    bool open();
    int moveByRename(int parentFd, const QByteArray &name, const QString &path);
    // Claims `infoName` for `info`: 0, EEXIST when the name is taken, or an errno.
    int claimInfo(const QByteArray &infoName, const QByteArray &info, ScopedFd &spare);
    int takeSpare();
    void makeSpares();

    std::once_flag m_opened;
    ScopedFd m_files;
    ScopedFd m_info;
    dev_t m_device = 0;
    std::atomic<quint64> m_collisions{0};

    std::mutex m_spareMutex;
    std::condition_variable m_spareWanted;
    std::vector<int> m_spares;
    bool m_sparesWork = true;
    bool m_stopping = false;
    std::thread m_spareThread;
};
