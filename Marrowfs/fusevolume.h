// The volume on libfuse 3's low-level interface: a session mounted at a folder,
// its request loop running multi-threaded on threads of its own, and a thread
// that tells the kernel to forget cached entries when the catalogue changes
// (the kernel must never be told from inside a request handler).
//
// Real items are reached only relative to descriptors: each request opens the
// entry point and walks below it with openat2(RESOLVE_BENEATH), so no name,
// symbolic link or ".." leads out of a bundle, data or group folder. Open
// files keep their descriptor in the file handle.
//
// Threads: mount() and unmount() are called from one owner thread. The
// request handlers share the inode table (its own mutex), the Trash and the
// file system (both thread-safe); the invalidation queue is guarded by m_invalidateMutex.
#pragma once

#include "inodetable.h"
#include "marrowbyfilesystem.h"
#include "trashcan_p.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

struct fuse_session;

class FuseVolume
{
public:
    explicit FuseVolume(MarrowbyFileSystem &fileSystem);
    ~FuseVolume();
    FuseVolume(const FuseVolume &) = delete;
    FuseVolume &operator=(const FuseVolume &) = delete;

    // Mounts at `mountPoint` (an existing folder) and starts serving. On
    // failure answers false with a reason.
    bool mount(const QString &mountPoint, QString *error);
    // Stops serving and unmounts; the owner must have closed every file it
    // holds on the volume. Safe to call when not mounted.
    void unmount();
    bool isMounted() const { return m_session != nullptr; }

    MarrowbyFileSystem &fileSystem() { return m_fileSystem; }
    InodeTable &inodes() { return m_inodes; }
    TrashCan &trash() { return m_trash; }

private:
    void invalidationLoop();
    void catalogueChanged(const CatalogueSnapshotPtr &snapshot);

    MarrowbyFileSystem &m_fileSystem;
    InodeTable m_inodes;
    TrashCan m_trash;
    fuse_session *m_session = nullptr;
    std::thread m_loop;

    std::mutex m_invalidateMutex;
    std::condition_variable m_invalidateWake;
    bool m_invalidatePending = false;
    bool m_invalidateStop = false;
    CatalogueSnapshotPtr m_shownSnapshot;
    std::thread m_invalidator;
};
