// Reaching real items below an entry point only by descriptor, never by a
// path string the kernel would resolve from the root: every walk starts at the
// entry point's descriptor and is confined beneath it.
#pragma once

#include "Marrowfs/marrowfs_export.h"

#include "marrowbyfilesystem.h"

#include <QByteArray>

#include <unistd.h>

// A descriptor closed when it goes out of scope.
class ScopedFd
{
public:
    explicit ScopedFd(int fd = -1) : m_fd(fd) {}
    ~ScopedFd()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    ScopedFd(const ScopedFd &) = delete;
    ScopedFd &operator=(const ScopedFd &) = delete;
    int get() const { return m_fd; }
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    void reset(int fd)
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_fd = fd;
    }

private:
    int m_fd;
};

namespace realaccess {

// Opens `relative` (empty: the entry point itself) below `entryPoint` with
// `flags`; links may be followed but never out of the entry point. Answers a
// descriptor or -errno.
MARROWFS_TESTABLE int openBeneath(const QString &entryPoint, const QString &relative, int flags,
                                  mode_t mode = 0);
// The item itself, not what a link points to (an O_PATH descriptor).
int openLeaf(const VirtualNode &node);
// The folder holding the item and the item's name in it; -EPERM for the
// entry point itself, which has no parent the volume may touch.
int openParent(const VirtualNode &node, ScopedFd &parent, QByteArray &name);
// "/proc/self/fd/N", for the calls that have no descriptor form.
QByteArray procPath(int fd);

} // namespace realaccess
