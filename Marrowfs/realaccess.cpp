// Confined descriptor walks with openat2.
#include "realaccess_p.h"

#include "entrypointcache_p.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>

namespace realaccess {

int openBeneath(const QString &entryPoint, const QString &relative, int flags, mode_t mode)
{
    int error = 0;
    const EntryPointCache::DescriptorPtr root = EntryPointCache::shared().open(entryPoint, error);
    if (!root) {
        return error;
    }
    const QByteArray below = relative.isEmpty() ? QByteArray(".") : QFile::encodeName(relative);
    open_how how{};
    how.flags = uint64_t(flags | O_CLOEXEC);
    // openat2 refuses the file-type bits a create request carries.
    how.mode = (flags & (O_CREAT | O_TMPFILE)) ? (mode & 07777) : 0;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    const long fd = ::syscall(SYS_openat2, root->get(), below.constData(), &how, sizeof how);
    return fd < 0 ? -errno : int(fd);
}

int openLeaf(const VirtualNode &node)
{
    return openBeneath(node.entryPoint, node.relative, O_PATH | O_NOFOLLOW);
}

int openParent(const VirtualNode &node, ScopedFd &parent, QByteArray &name)
{
    if (node.relative.isEmpty()) {
        return -EPERM;
    }
    const qsizetype slash = node.relative.lastIndexOf(QLatin1Char('/'));
    const QString folder = slash < 0 ? QString() : node.relative.left(slash);
    name = QFile::encodeName(node.relative.mid(slash + 1));
    const int fd = openBeneath(node.entryPoint, folder, O_PATH | O_DIRECTORY);
    if (fd < 0) {
        return fd;
    }
    parent.reset(fd);
    return 0;
}

QByteArray procPath(int fd)
{
    return QByteArray("/proc/self/fd/") + QByteArray::number(fd);
}

} // namespace realaccess
