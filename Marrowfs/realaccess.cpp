// Confined descriptor walks with openat2.
#include "realaccess_p.h"

#include "entrypointcache_p.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>

namespace realaccess {

namespace {

long openat2Beneath(int root, const QByteArray &below, const open_how &how)
{
    return ::syscall(SYS_openat2, root, below.constData(), &how, sizeof how);
}

} // namespace

int openBeneath(const QString &entryPoint, const QString &relative, int flags, mode_t mode)
{
    // The entry point itself opens even when it was removed: only a check of
    // its links tells. Below it, a removed folder shows as nothing found.
    const bool below = !relative.isEmpty();
    const QByteArray name = below ? QFile::encodeName(relative) : QByteArray(".");
    open_how how{};
    how.flags = uint64_t(flags | O_CLOEXEC);
    // openat2 refuses the file-type bits a create request carries.
    how.mode = (flags & (O_CREAT | O_TMPFILE)) ? (mode & 07777) : 0;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    EntryPointCache &cache = EntryPointCache::shared();
    int error = 0;
    const EntryPointCache::DescriptorPtr root =
        cache.open(entryPoint, error,
                   below ? EntryPointCache::Check::OnNotFound : EntryPointCache::Check::Now);
    if (!root) {
        return error;
    }
    long fd = openat2Beneath(root->get(), name, how);
    if (fd >= 0 || errno != ENOENT || !below) {
        return fd < 0 ? -errno : int(fd);
    }
    // Nothing found below a descriptor taken on trust: look again from the
    // folder that is there now, if it is another one.
    const EntryPointCache::DescriptorPtr checked =
        cache.open(entryPoint, error, EntryPointCache::Check::Now);
    if (!checked) {
        return error;
    }
    if (checked == root) {
        return -ENOENT;
    }
    fd = openat2Beneath(checked->get(), name, how);
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
