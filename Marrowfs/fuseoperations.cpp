// The request handlers. Each replies exactly once, keeps errno before any
// clean-up, and answers real items through descriptors confined below their
// entry point. Synthesized folders are read-only; the bundle is read-only;
// the data and group folders behave as the disk does, except that a removal
// moves the item to the Trash.
#include "fuseoperations_p.h"

#include "fusevolume.h"
#include "realaccess_p.h"

#include "Marrowkit/foundation/log.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/limits.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <vector>

using realaccess::openBeneath;
using realaccess::openLeaf;
using realaccess::openParent;
using realaccess::procPath;

namespace {

// The real folders change behind the mount; the kernel may trust what it
// was told for this long.
constexpr double CacheSeconds = 1.0;
// Reads of at least this size are spliced from the real file.
constexpr size_t SpliceFromBytes = size_t(64) * 1024;
// Requests this close to the last one's end count as one walk (the kernel's
// read-ahead requests may be served out of order by the request threads).
constexpr off_t SequentialSlackBytes = off_t(1024) * 1024;

// Every handle says what it is: the kernel may hand a folder's handle to a
// request that takes a file's (a truncation through an open folder).
struct Handle
{
    enum class Kind { File, Directory };
    explicit Handle(Kind kind) : kind(kind) {}
    virtual ~Handle() = default;
    Kind kind;
};

// What an open file holds: a descriptor, or the bytes of a synthesized file.
// Read concurrently by the request threads: the read-ahead marks are only
// hints, so relaxed atomics are enough.
struct OpenFile : Handle
{
    OpenFile() : Handle(Kind::File) {}
    int fd = -1;
    QByteArray bytes;
    std::atomic<off_t> lastReadEnd{0};
    std::atomic<bool> sequentialHinted{false};
};

struct DirectoryEntry
{
    QByteArray name;
    ino_t inode;
    unsigned char type;
};

struct OpenDirectory : Handle
{
    OpenDirectory() : Handle(Kind::Directory) {}
    std::vector<DirectoryEntry> entries;
};

FuseVolume &volumeOf(fuse_req_t req)
{
    return *static_cast<FuseVolume *>(fuse_req_userdata(req));
}

// The kernel hands back the handle we gave it as a plain number.
template<typename Wanted> Wanted *handleOf(const fuse_file_info *fi)
{
    auto *handle =
        fi ? reinterpret_cast<Handle *>(fi->fh) : nullptr; // NOLINT(performance-no-int-to-ptr)
    return dynamic_cast<Wanted *>(handle);
}

OpenFile *openFileOf(const fuse_file_info *fi)
{
    return handleOf<OpenFile>(fi);
}

QString childPath(const QString &parent, const char *name)
{
    const QString leaf = QFile::decodeName(name);
    return parent == QLatin1String("/") ? QLatin1Char('/') + leaf
                                        : parent + QLatin1Char('/') + leaf;
}

// The path of `name` in the folder numbered `parent`; for a number the table
// no longer knows, ENOENT is answered and nothing is given.
std::optional<QString> childPathOrReply(fuse_req_t req, fuse_ino_t parent, const char *name)
{
    const std::optional<QString> parentPath = volumeOf(req).inodes().path(parent);
    if (!parentPath) {
        fuse_reply_err(req, ENOENT);
        return std::nullopt;
    }
    return childPath(*parentPath, name);
}

bool isSynthesizedFolder(VirtualNode::Kind kind)
{
    return kind == VirtualNode::Kind::Root || kind == VirtualNode::Kind::Device ||
           kind == VirtualNode::Kind::App || kind == VirtualNode::Kind::GroupList;
}

// Changes to real items: 0 when allowed, else the refusal for this node.
int refusalToChange(const VirtualNode &node)
{
    if (node.kind == VirtualNode::Kind::Absent) {
        return ENOENT;
    }
    if (node.kind != VirtualNode::Kind::Real) {
        return EPERM;
    }
    return node.writable ? 0 : EROFS;
}

void synthesizedAttributes(FuseVolume &volume, const VirtualNode &node, struct stat *st)
{
    std::memset(st, 0, sizeof *st);
    st->st_uid = ::geteuid();
    st->st_gid = ::getegid();
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    if (node.kind == VirtualNode::Kind::App) {
        now.tv_sec = node.app->creationDate().toSecsSinceEpoch();
        now.tv_nsec = 0;
    }
    st->st_atim = st->st_mtim = st->st_ctim = now;
    if (node.kind == VirtualNode::Kind::Readme || node.kind == VirtualNode::Kind::FolderIcon) {
        st->st_mode = S_IFREG | 0444;
        st->st_nlink = 1;
        st->st_size = volume.fileSystem().contentsOfSynthesizedFile(node).size();
    } else {
        st->st_mode = S_IFDIR | 0755;
        st->st_nlink = 2;
    }
}

// Attributes of what `node` names; 0 or an errno.
int attributesOf(FuseVolume &volume, const VirtualNode &node, struct stat *st)
{
    switch (node.kind) {
    case VirtualNode::Kind::Absent:
        return ENOENT;
    case VirtualNode::Kind::DeviceLog:
        if (::lstat(QFile::encodeName(node.entryPoint).constData(), st) != 0) {
            return errno;
        }
        return S_ISREG(st->st_mode) ? 0 : ENOENT;
    case VirtualNode::Kind::Real: {
        ScopedFd leaf(openLeaf(node));
        if (leaf.get() < 0) {
            return -leaf.release();
        }
        if (::fstatat(leaf.get(), "", st, AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW) != 0) {
            return errno;
        }
        if (!node.writable) {
            st->st_mode &= ~mode_t(S_IWUSR | S_IWGRP | S_IWOTH);
        }
        return 0;
    }
    default:
        synthesizedAttributes(volume, node, st);
        return 0;
    }
}

struct Located
{
    QString path;
    VirtualNode node;
};

std::optional<Located> locate(fuse_req_t req, fuse_ino_t inode)
{
    FuseVolume &volume = volumeOf(req);
    const std::optional<QString> path = volume.inodes().path(inode);
    if (!path) {
        return std::nullopt;
    }
    return Located{*path, volume.fileSystem().resolve(*path)};
}

// Real files other than folders are known by their identity too, so that
// every name of a file with several is one item to the kernel.
std::optional<InodeTable::Identity> identityOf(const VirtualNode &node, const struct stat &st)
{
    if (node.kind != VirtualNode::Kind::Real || S_ISDIR(st.st_mode)) {
        return std::nullopt;
    }
    return InodeTable::Identity{uint64_t(st.st_dev), uint64_t(st.st_ino)};
}

void replyEntry(fuse_req_t req, const QString &path, const VirtualNode &node, struct stat st)
{
    fuse_entry_param entry{};
    entry.ino = volumeOf(req).inodes().acquire(path, identityOf(node, st));
    entry.attr = st;
    entry.attr.st_ino = entry.ino;
    entry.attr_timeout = CacheSeconds;
    entry.entry_timeout = CacheSeconds;
    if (fuse_reply_entry(req, &entry) == -ENOENT) {
        // The request was interrupted: the kernel will not count this lookup.
        volumeOf(req).inodes().forget(entry.ino, 1);
    }
}

void replyAttributes(fuse_req_t req, fuse_ino_t inode, struct stat st)
{
    st.st_ino = inode;
    fuse_reply_attr(req, &st, CacheSeconds);
}

void replyNodeAttributes(fuse_req_t req, fuse_ino_t inode, const VirtualNode &node)
{
    struct stat st = {};
    const int error = attributesOf(volumeOf(req), node, &st);
    if (error) {
        fuse_reply_err(req, error);
        return;
    }
    replyAttributes(req, inode, st);
}

// A new item at `path`: where it may be made, the folder to make it in.
int creationTarget(fuse_req_t req, const QString &path, VirtualNode &node, ScopedFd &parent,
                   QByteArray &name)
{
    node = volumeOf(req).fileSystem().resolve(path);
    if (node.kind == VirtualNode::Kind::Real && node.relative.isEmpty()) {
        return EEXIST;
    }
    if (node.kind != VirtualNode::Kind::Real) {
        // Synthesized levels and unknown names (a name the tree refuses
        // included) never become real items.
        return node.kind == VirtualNode::Kind::Absent ? EPERM : EEXIST;
    }
    if (!node.writable) {
        return EROFS;
    }
    return -openParent(node, parent, name);
}

void replyCreated(fuse_req_t req, const QString &path, const VirtualNode &node)
{
    struct stat st = {};
    const int error = attributesOf(volumeOf(req), node, &st);
    if (error) {
        fuse_reply_err(req, error);
        return;
    }
    replyEntry(req, path, node, st);
}

// ---- lookup and attributes -------------------------------------------------

void opLookup(fuse_req_t req, fuse_ino_t parent, const char *name)
{
    const std::optional<QString> found = childPathOrReply(req, parent, name);
    if (!found) {
        return;
    }
    const QString &path = *found;
    const VirtualNode node = volumeOf(req).fileSystem().resolve(path);
    struct stat st = {};
    const int error = attributesOf(volumeOf(req), node, &st);
    if (error) {
        fuse_reply_err(req, error);
        return;
    }
    replyEntry(req, path, node, st);
}

void opForget(fuse_req_t req, fuse_ino_t inode, uint64_t count)
{
    volumeOf(req).inodes().forget(inode, count);
    fuse_reply_none(req);
}

void opForgetMulti(fuse_req_t req, size_t count, fuse_forget_data *forgets)
{
    for (size_t i = 0; i < count; ++i) {
        volumeOf(req).inodes().forget(forgets[i].ino, forgets[i].nlookup);
    }
    fuse_reply_none(req);
}

void opGetattr(fuse_req_t req, fuse_ino_t inode, fuse_file_info *fi)
{
    if (OpenFile *file = openFileOf(fi); file && file->fd >= 0) {
        struct stat st = {};
        if (::fstat(file->fd, &st) != 0) {
            fuse_reply_err(req, errno);
            return;
        }
        replyAttributes(req, inode, st);
        return;
    }
    const auto located = locate(req, inode);
    if (!located) {
        fuse_reply_err(req, ENOENT);
        return;
    }
    replyNodeAttributes(req, inode, located->node);
}

int applyAttributes(const VirtualNode &node, const struct stat *attr, int toSet, fuse_file_info *fi)
{
    OpenFile *file = openFileOf(fi);
    const int openFd = file ? file->fd : -1;
    ScopedFd leaf(openFd < 0 ? openLeaf(node) : -1);
    if (openFd < 0 && leaf.get() < 0) {
        return -leaf.release();
    }
    const QByteArray proc = procPath(leaf.get());
    if (toSet & FUSE_SET_ATTR_MODE) {
        const int result = openFd >= 0 ? ::fchmod(openFd, attr->st_mode)
                                       : ::chmod(proc.constData(), attr->st_mode);
        if (result != 0) {
            return errno;
        }
    }
    if (toSet & (FUSE_SET_ATTR_UID | FUSE_SET_ATTR_GID)) {
        const uid_t uid = (toSet & FUSE_SET_ATTR_UID) ? attr->st_uid : uid_t(-1);
        const gid_t gid = (toSet & FUSE_SET_ATTR_GID) ? attr->st_gid : gid_t(-1);
        const int result =
            openFd >= 0 ? ::fchown(openFd, uid, gid)
                        : ::fchownat(leaf.get(), "", uid, gid, AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW);
        if (result != 0) {
            return errno;
        }
    }
    if (toSet & FUSE_SET_ATTR_SIZE) {
        const int result = openFd >= 0 ? ::ftruncate(openFd, attr->st_size)
                                       : ::truncate(proc.constData(), attr->st_size);
        if (result != 0) {
            return errno;
        }
    }
    if (toSet & (FUSE_SET_ATTR_ATIME | FUSE_SET_ATTR_MTIME)) {
        timespec times[2];
        times[0].tv_nsec = UTIME_OMIT;
        times[1].tv_nsec = UTIME_OMIT;
        if (toSet & FUSE_SET_ATTR_ATIME_NOW) {
            times[0].tv_nsec = UTIME_NOW;
        } else if (toSet & FUSE_SET_ATTR_ATIME) {
            times[0] = attr->st_atim;
        }
        if (toSet & FUSE_SET_ATTR_MTIME_NOW) {
            times[1].tv_nsec = UTIME_NOW;
        } else if (toSet & FUSE_SET_ATTR_MTIME) {
            times[1] = attr->st_mtim;
        }
        const int result = openFd >= 0 ? ::futimens(openFd, times)
                                       : ::utimensat(AT_FDCWD, proc.constData(), times, 0);
        if (result != 0) {
            return errno;
        }
    }
    return 0;
}

void opSetattr(fuse_req_t req, fuse_ino_t inode, struct stat *attr, int toSet, fuse_file_info *fi)
{
    const auto located = locate(req, inode);
    if (!located) {
        fuse_reply_err(req, ENOENT);
        return;
    }
    const VirtualNode &node = located->node;
    if (node.kind != VirtualNode::Kind::Real) {
        // Synthesized items take such requests and stay as they are.
        replyNodeAttributes(req, inode, node);
        return;
    }
    if (!node.writable) {
        fuse_reply_err(req, EROFS);
        return;
    }
    const int error = applyAttributes(node, attr, toSet, fi);
    if (error) {
        fuse_reply_err(req, error);
        return;
    }
    opGetattr(req, inode, fi);
}

void opAccess(fuse_req_t req, fuse_ino_t inode, int mask)
{
    const auto located = locate(req, inode);
    if (!located || located->node.kind == VirtualNode::Kind::Absent) {
        fuse_reply_err(req, ENOENT);
        return;
    }
    const VirtualNode &node = located->node;
    if (node.kind != VirtualNode::Kind::Real) {
        fuse_reply_err(req, (mask & W_OK) ? EACCES : 0);
        return;
    }
    if ((mask & W_OK) && !node.writable) {
        fuse_reply_err(req, EROFS);
        return;
    }
    ScopedFd leaf(openLeaf(node));
    if (leaf.get() < 0) {
        fuse_reply_err(req, -leaf.release());
        return;
    }
    fuse_reply_err(req, ::access(procPath(leaf.get()).constData(), mask) == 0 ? 0 : errno);
}

void opReadlink(fuse_req_t req, fuse_ino_t inode)
{
    const auto located = locate(req, inode);
    if (!located || located->node.kind != VirtualNode::Kind::Real) {
        fuse_reply_err(req, located ? EINVAL : ENOENT);
        return;
    }
    ScopedFd leaf(openLeaf(located->node));
    if (leaf.get() < 0) {
        fuse_reply_err(req, -leaf.release());
        return;
    }
    char target[PATH_MAX + 1];
    const ssize_t length = ::readlinkat(leaf.get(), "", target, PATH_MAX);
    if (length < 0) {
        fuse_reply_err(req, errno);
        return;
    }
    target[length] = '\0';
    fuse_reply_readlink(req, target);
}

// ---- making items ----------------------------------------------------------

void makeItem(fuse_req_t req, fuse_ino_t parent, const char *name,
              const std::function<int(int dirFd, const char *leaf)> &make)
{
    const std::optional<QString> found = childPathOrReply(req, parent, name);
    if (!found) {
        return;
    }
    const QString &path = *found;
    VirtualNode node;
    ScopedFd folder;
    QByteArray leaf;
    int error = creationTarget(req, path, node, folder, leaf);
    if (!error && make(folder.get(), leaf.constData()) != 0) {
        error = errno;
    }
    if (error) {
        fuse_reply_err(req, error);
        return;
    }
    replyCreated(req, path, node);
}

void opMkdir(fuse_req_t req, fuse_ino_t parent, const char *name, mode_t mode)
{
    makeItem(req, parent, name,
             [mode](int dirFd, const char *leaf) { return ::mkdirat(dirFd, leaf, mode); });
}

void opMknod(fuse_req_t req, fuse_ino_t parent, const char *name, mode_t mode, dev_t rdev)
{
    makeItem(req, parent, name, [mode, rdev](int dirFd, const char *leaf) {
        return ::mknodat(dirFd, leaf, mode, rdev);
    });
}

void opSymlink(fuse_req_t req, const char *target, fuse_ino_t parent, const char *name)
{
    makeItem(req, parent, name,
             [target](int dirFd, const char *leaf) { return ::symlinkat(target, dirFd, leaf); });
}

void opLink(fuse_req_t req, fuse_ino_t inode, fuse_ino_t parent, const char *name)
{
    const auto source = locate(req, inode);
    if (!source) {
        fuse_reply_err(req, ENOENT);
        return;
    }
    int refusal = refusalToChange(source->node);
    ScopedFd sourceFolder;
    QByteArray sourceName;
    if (!refusal) {
        refusal = -openParent(source->node, sourceFolder, sourceName);
    }
    if (refusal) {
        fuse_reply_err(req, refusal);
        return;
    }
    makeItem(req, parent, name, [&](int dirFd, const char *leaf) {
        return ::linkat(sourceFolder.get(), sourceName.constData(), dirFd, leaf, 0);
    });
}

// ---- removing and moving ---------------------------------------------------

// Whether the folder `name` in `parentFd` holds nothing but `except` (if
// given).
bool holdsNothingBut(int parentFd, const char *name, const char *except = nullptr)
{
    const int fd = ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return false;
    }
    bool empty = true;
    while (const dirent *entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0 &&
            (!except || std::strcmp(entry->d_name, except) != 0)) {
            empty = false;
            break;
        }
    }
    ::closedir(dir);
    return empty;
}

bool isEmptyFolder(int parentFd, const char *name)
{
    return holdsNothingBut(parentFd, name);
}

// Whether a real item is the only one in its folder.
bool isAloneInItsFolder(const VirtualNode &node)
{
    ScopedFd dir;
    QByteArray leaf;
    return node.kind == VirtualNode::Kind::Real && !node.relative.isEmpty() &&
           openParent(node, dir, leaf) == 0 && holdsNothingBut(dir.get(), ".", leaf.constData());
}

void removeItem(fuse_req_t req, fuse_ino_t parent, const char *name, bool folder)
{
    FuseVolume &volume = volumeOf(req);
    const std::optional<QString> found = childPathOrReply(req, parent, name);
    if (!found) {
        return;
    }
    const QString &path = *found;
    MarrowbyFileSystem &fileSystem = volume.fileSystem();
    if (MarrowbyFileSystem::isProtectedPath(path)) {
        // Refused alone; inside an `rm -r` of a folder around it, refusing
        // would stop the walk before the folder itself is reached.
        // The folder is read only where the neighbour rule alone says no.
        const bool partOfWalk =
            fileSystem.isPartOfRecursiveRemoval(path) ||
            fileSystem.isPartOfRecursiveRemoval(path, isAloneInItsFolder(fileSystem.resolve(path)));
        fuse_reply_err(req, partOfWalk ? 0 : EPERM);
        return;
    }
    const VirtualNode node = fileSystem.resolve(path);
    if (node.kind == VirtualNode::Kind::Absent) {
        fuse_reply_err(req, ENOENT);
        return;
    }
    fileSystem.noteRemoval(path);
    switch (node.kind) {
    case VirtualNode::Kind::Device:
    case VirtualNode::Kind::App:
    case VirtualNode::Kind::FolderIcon:
    case VirtualNode::Kind::GroupList:
        // A folder is removed item by item; the deletion or uninstall
        // happens once the burst is over, on its shallowest path. Each item
        // is reported removed so the walk goes on up to that folder.
        fileSystem.deferRemoval(path);
        fuse_reply_err(req, 0);
        return;
    case VirtualNode::Kind::Real:
        break;
    default:
        fuse_reply_err(req, EPERM);
        return;
    }
    // The bundle and the entry points themselves stay; their removal counts
    // in the burst (an alert for the bundle when nothing shallower came).
    if (!node.writable || node.relative.isEmpty()) {
        fileSystem.deferRemoval(path);
        fuse_reply_err(req, 0);
        return;
    }
    ScopedFd dir;
    QByteArray leaf;
    int error = -openParent(node, dir, leaf);
    struct stat st = {};
    if (!error && ::fstatat(dir.get(), leaf.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        error = errno;
    }
    if (!error && folder && !S_ISDIR(st.st_mode)) {
        error = ENOTDIR;
    } else if (!error && !folder && S_ISDIR(st.st_mode)) {
        error = EISDIR;
    } else if (!error && folder && !isEmptyFolder(dir.get(), leaf.constData())) {
        error = ENOTEMPTY;
    }
    if (!error) {
        error = volume.trash().moveToTrash(dir.get(), leaf, node.realPath(), st.st_dev);
    }
    if (!error) {
        volume.inodes().removePath(path);
    }
    fuse_reply_err(req, error);
}

void opUnlink(fuse_req_t req, fuse_ino_t parent, const char *name)
{
    removeItem(req, parent, name, false);
}

void opRmdir(fuse_req_t req, fuse_ino_t parent, const char *name)
{
    removeItem(req, parent, name, true);
}

// Both ends of a move must be real items inside the writable areas: a
// destination that names no real folder is refused, never taken as a path.
int movable(const QString &path, const VirtualNode &node)
{
    if (MarrowbyFileSystem::isProtectedPath(path)) {
        return EPERM;
    }
    if (node.kind == VirtualNode::Kind::Real && node.relative.isEmpty()) {
        return EBUSY;
    }
    const int refusal = refusalToChange(node);
    return refusal == ENOENT ? EPERM : refusal;
}

void opRename(fuse_req_t req, fuse_ino_t parent, const char *name, fuse_ino_t newParent,
              const char *newName, unsigned int flags)
{
    FuseVolume &volume = volumeOf(req);
    const auto fromParent = volume.inodes().path(parent);
    const auto toParent = volume.inodes().path(newParent);
    if (!fromParent || !toParent) {
        fuse_reply_err(req, ENOENT);
        return;
    }
    const QString from = childPath(*fromParent, name);
    const QString to = childPath(*toParent, newName);
    const VirtualNode source = volume.fileSystem().resolve(from);
    const VirtualNode target = volume.fileSystem().resolve(to);
    int error = source.kind == VirtualNode::Kind::Absent ? ENOENT : movable(from, source);
    if (!error) {
        error = movable(to, target);
    }
    ScopedFd sourceDir, targetDir;
    QByteArray sourceName, targetName;
    if (!error) {
        error = -openParent(source, sourceDir, sourceName);
    }
    if (!error) {
        error = -openParent(target, targetDir, targetName);
    }
    if (!error && ::renameat2(sourceDir.get(), sourceName.constData(), targetDir.get(),
                              targetName.constData(), flags) != 0) {
        error = errno;
    }
    if (!error) {
        if (flags & RENAME_EXCHANGE) {
            volume.inodes().exchange(from, to);
        } else {
            volume.inodes().move(from, to);
        }
    }
    fuse_reply_err(req, error);
}

// ---- files -----------------------------------------------------------------

bool wantsToWrite(int flags)
{
    return (flags & O_ACCMODE) != O_RDONLY || (flags & O_TRUNC);
}

// Closing a file on a local disk reports nothing its writes did not; only
// network and other user-space file systems may hold an error back until
// then. Files elsewhere keep the flush on close, which saves the kernel a
// request per close on the rest.
bool flushIsMoot(int fd, int flags)
{
    if (fd < 0 || !wantsToWrite(flags)) {
        return true;
    }
    struct statfs fileSystem = {};
    if (::fstatfs(fd, &fileSystem) != 0) {
        return false;
    }
    switch (fileSystem.f_type) {
    case EXT4_SUPER_MAGIC:
    case XFS_SUPER_MAGIC:
    case BTRFS_SUPER_MAGIC:
    case F2FS_SUPER_MAGIC:
    case TMPFS_MAGIC:
        return true;
    default:
        return false;
    }
}

// Opens what `node` names for a request with `flags`: a descriptor or bytes.
int openNode(FuseVolume &volume, const VirtualNode &node, int flags, OpenFile &file)
{
    switch (node.kind) {
    case VirtualNode::Kind::Readme:
    case VirtualNode::Kind::FolderIcon:
        if (wantsToWrite(flags)) {
            return EACCES;
        }
        file.bytes = volume.fileSystem().contentsOfSynthesizedFile(node);
        return 0;
    case VirtualNode::Kind::DeviceLog: {
        if (wantsToWrite(flags)) {
            return EACCES;
        }
        // The log lives outside every entry point: refuse anything but a
        // plain file, and never block on a FIFO put there.
        ScopedFd fd(::open(QFile::encodeName(node.entryPoint).constData(),
                           O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat st = {};
        if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) {
            return errno;
        }
        if (!S_ISREG(st.st_mode)) {
            return EACCES;
        }
        file.fd = fd.release();
        return 0;
    }
    case VirtualNode::Kind::Real: {
        if (!node.writable && wantsToWrite(flags)) {
            return EROFS;
        }
        const int open = node.writable ? flags & ~(O_CREAT | O_EXCL | O_NOCTTY) : O_RDONLY;
        const int fd = openBeneath(node.entryPoint, node.relative, open);
        if (fd < 0) {
            return -fd;
        }
        file.fd = fd;
        return 0;
    }
    case VirtualNode::Kind::Absent:
        return ENOENT;
    default:
        return EISDIR;
    }
}

void opOpen(fuse_req_t req, fuse_ino_t inode, fuse_file_info *fi)
{
    const auto located = locate(req, inode);
    if (!located) {
        fuse_reply_err(req, ENOENT);
        return;
    }
    auto file = std::make_unique<OpenFile>();
    const int error = openNode(volumeOf(req), located->node, fi->flags, *file);
    if (error) {
        fuse_reply_err(req, error);
        return;
    }
    // The kernel may keep what it read across opens: it drops it by itself
    // once the attributes, refreshed within a second, show the file changed
    // behind the mount (automatic data invalidation).
    fi->keep_cache = located->node.kind == VirtualNode::Kind::Real ? 1 : 0;
    fi->noflush = flushIsMoot(file->fd, fi->flags) ? 1 : 0;
    fi->fh = reinterpret_cast<uint64_t>(static_cast<Handle *>(file.get()));
    if (fuse_reply_open(req, fi) == 0) {
        // The kernel holds it now, until it asks to release it.
        static_cast<void>(file.release());
    } else if (file->fd >= 0) {
        ::close(file->fd);
    }
}

void opCreate(fuse_req_t req, fuse_ino_t parent, const char *name, mode_t mode, fuse_file_info *fi)
{
    const std::optional<QString> found = childPathOrReply(req, parent, name);
    if (!found) {
        return;
    }
    const QString &path = *found;
    VirtualNode node;
    ScopedFd folder;
    QByteArray leaf;
    const int error = creationTarget(req, path, node, folder, leaf);
    if (error) {
        fuse_reply_err(req, error);
        return;
    }
    // The folder is open already: make the item in it. A name that is a link
    // is left to the confined walk, which follows it within the entry point.
    int fd = ::openat(folder.get(), leaf.constData(), fi->flags | O_CREAT | O_NOFOLLOW | O_CLOEXEC,
                      mode & 07777);
    if (fd < 0) {
        fd = errno == ELOOP && !(fi->flags & O_NOFOLLOW)
                 ? openBeneath(node.entryPoint, node.relative, fi->flags | O_CREAT, mode)
                 : -errno;
    }
    if (fd < 0) {
        fuse_reply_err(req, -fd);
        return;
    }
    auto file = std::make_unique<OpenFile>();
    file->fd = fd;
    struct stat st = {};
    if (::fstat(fd, &st) != 0) {
        const int saved = errno;
        ::close(fd);
        fuse_reply_err(req, saved);
        return;
    }
    fuse_entry_param entry{};
    entry.ino = volumeOf(req).inodes().acquire(path, identityOf(node, st));
    entry.attr = st;
    entry.attr.st_ino = entry.ino;
    entry.attr_timeout = CacheSeconds;
    entry.entry_timeout = CacheSeconds;
    fi->noflush = flushIsMoot(fd, fi->flags) ? 1 : 0;
    fi->fh = reinterpret_cast<uint64_t>(static_cast<Handle *>(file.get()));
    if (fuse_reply_create(req, &entry, fi) == 0) {
        // The kernel holds it now, until it asks to release it.
        static_cast<void>(file.release());
    } else {
        ::close(fd);
        volumeOf(req).inodes().forget(entry.ino, 1);
    }
}

// The kernel asks for at most its read-ahead window (128 KiB) at a time and
// waits for each piece. Once the pieces show a sequential walk, the real
// file is told so: its own read-ahead then runs twice as far ahead, on the
// disk's terms. Asking for fixed stretches ourselves (WILLNEED) was slower
// on disks with a read-ahead of their own larger than the stretch, and no
// faster on the rest.
void hintSequentialWalk(OpenFile &file, off_t offset, size_t size)
{
    // Once told, the real file needs no more bookkeeping on every read.
    if (file.sequentialHinted.load(std::memory_order_relaxed)) {
        return;
    }
    const off_t last = file.lastReadEnd.exchange(offset + off_t(size), std::memory_order_relaxed);
    if (size < SpliceFromBytes || offset < last - SequentialSlackBytes ||
        offset > last + SequentialSlackBytes ||
        file.sequentialHinted.exchange(true, std::memory_order_relaxed)) {
        return;
    }
    ::posix_fadvise(file.fd, 0, 0, POSIX_FADV_SEQUENTIAL);
}

void opRead(fuse_req_t req, fuse_ino_t, size_t size, off_t offset, fuse_file_info *fi)
{
    OpenFile *file = openFileOf(fi);
    if (!file) {
        fuse_reply_err(req, EBADF);
        return;
    }
    if (file->fd < 0) {
        const qsizetype start = qMin<qsizetype>(offset, file->bytes.size());
        const qsizetype length = qMin<qsizetype>(qsizetype(size), file->bytes.size() - start);
        fuse_reply_buf(req, file->bytes.constData() + start, size_t(length));
        return;
    }
    hintSequentialWalk(*file, offset, size);
    // Large reads go to the kernel as a descriptor range, spliced and never
    // copied here; for small ones setting up the splice costs more than the
    // copy it saves.
    fuse_bufvec buffer = FUSE_BUFVEC_INIT(size);
    buffer.buf[0].flags = fuse_buf_flags(FUSE_BUF_IS_FD | FUSE_BUF_FD_SEEK);
    buffer.buf[0].fd = file->fd;
    buffer.buf[0].pos = offset;
    fuse_reply_data(req, &buffer,
                    size >= SpliceFromBytes ? FUSE_BUF_SPLICE_MOVE : FUSE_BUF_NO_SPLICE);
}

void opWriteBuf(fuse_req_t req, fuse_ino_t, fuse_bufvec *in, off_t offset, fuse_file_info *fi)
{
    OpenFile *file = openFileOf(fi);
    if (!file || file->fd < 0) {
        fuse_reply_err(req, EBADF);
        return;
    }
    fuse_bufvec out = FUSE_BUFVEC_INIT(fuse_buf_size(in));
    out.buf[0].flags = fuse_buf_flags(FUSE_BUF_IS_FD | FUSE_BUF_FD_SEEK);
    out.buf[0].fd = file->fd;
    out.buf[0].pos = offset;
    const ssize_t written = fuse_buf_copy(&out, in, fuse_buf_copy_flags(0));
    if (written < 0) {
        fuse_reply_err(req, int(-written));
        return;
    }
    fuse_reply_write(req, size_t(written));
}

void opFlush(fuse_req_t req, fuse_ino_t, fuse_file_info *fi)
{
    OpenFile *file = openFileOf(fi);
    if (!file || file->fd < 0) {
        fuse_reply_err(req, 0);
        return;
    }
    // close() of a duplicate reports delayed write errors, as close would.
    fuse_reply_err(req, ::close(::dup(file->fd)) == 0 ? 0 : errno);
}

void opRelease(fuse_req_t req, fuse_ino_t, fuse_file_info *fi)
{
    std::unique_ptr<OpenFile> file(openFileOf(fi));
    if (file && file->fd >= 0) {
        ::close(file->fd);
    }
    fuse_reply_err(req, 0);
}

void opFsync(fuse_req_t req, fuse_ino_t, int dataOnly, fuse_file_info *fi)
{
    OpenFile *file = openFileOf(fi);
    if (!file || file->fd < 0) {
        fuse_reply_err(req, 0);
        return;
    }
    const int result = dataOnly ? ::fdatasync(file->fd) : ::fsync(file->fd);
    fuse_reply_err(req, result == 0 ? 0 : errno);
}

void opFallocate(fuse_req_t req, fuse_ino_t, int mode, off_t offset, off_t length,
                 fuse_file_info *fi)
{
    OpenFile *file = openFileOf(fi);
    if (!file || file->fd < 0) {
        fuse_reply_err(req, EBADF);
        return;
    }
    fuse_reply_err(req, ::fallocate(file->fd, mode, offset, length) == 0 ? 0 : errno);
}

// ---- folders ---------------------------------------------------------------

int listRealFolder(const VirtualNode &node, OpenDirectory &listing)
{
    const int fd = openBeneath(node.entryPoint, node.relative, O_RDONLY | O_DIRECTORY);
    if (fd < 0) {
        return -fd;
    }
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        const int saved = errno;
        ::close(fd);
        return saved;
    }
    while (const dirent *entry = ::readdir(dir)) {
        listing.entries.push_back({QByteArray(entry->d_name), entry->d_ino, entry->d_type});
    }
    ::closedir(dir);
    // Protected items last: a recursive removal walking this folder has then
    // already removed something near it and goes on past them.
    std::stable_partition(
        listing.entries.begin(), listing.entries.end(), [](const DirectoryEntry &entry) {
            return !entry.name.startsWith('.') ||
                   !MarrowbyFileSystem::isProtected({QFile::decodeName(entry.name)});
        });
    return 0;
}

void opOpendir(fuse_req_t req, fuse_ino_t inode, fuse_file_info *fi)
{
    const auto located = locate(req, inode);
    if (!located || located->node.kind == VirtualNode::Kind::Absent) {
        fuse_reply_err(req, ENOENT);
        return;
    }
    auto listing = std::make_unique<OpenDirectory>();
    const VirtualNode &node = located->node;
    if (node.kind == VirtualNode::Kind::Real) {
        const int error = listRealFolder(node, *listing);
        if (error) {
            fuse_reply_err(req, error);
            return;
        }
    } else if (isSynthesizedFolder(node.kind)) {
        listing->entries.push_back({".", 1, DT_DIR});
        listing->entries.push_back({"..", 1, DT_DIR});
        const QStringList names = volumeOf(req).fileSystem().contentsOfDirectory(located->path);
        for (const QString &name : names) {
            const bool file =
                name == QLatin1String("Readme.txt") || name == MarrowbyFileSystem::FolderIconName ||
                (node.kind == VirtualNode::Kind::Device && name == QLatin1String("system.log"));
            // Any number but 0, which some readers take for a deleted entry.
            listing->entries.push_back({QFile::encodeName(name), ino_t(listing->entries.size() + 1),
                                        static_cast<unsigned char>(file ? DT_REG : DT_DIR)});
        }
    } else {
        fuse_reply_err(req, ENOTDIR);
        return;
    }
    fi->fh = reinterpret_cast<uint64_t>(static_cast<Handle *>(listing.get()));
    if (fuse_reply_open(req, fi) == 0) {
        static_cast<void>(listing.release());
    }
}

void opReaddir(fuse_req_t req, fuse_ino_t, size_t size, off_t offset, fuse_file_info *fi)
{
    auto *listing = handleOf<OpenDirectory>(fi);
    if (!listing) {
        fuse_reply_err(req, EBADF);
        return;
    }
    std::vector<char> buffer(size);
    size_t used = 0;
    for (size_t i = size_t(std::max<off_t>(offset, 0)); i < listing->entries.size(); ++i) {
        const DirectoryEntry &entry = listing->entries[i];
        struct stat st = {};
        st.st_ino = entry.inode;
        st.st_mode = mode_t(entry.type) << 12;
        const size_t needed = fuse_add_direntry(req, buffer.data() + used, size - used,
                                                entry.name.constData(), &st, off_t(i + 1));
        if (needed > size - used) {
            break;
        }
        used += needed;
    }
    fuse_reply_buf(req, buffer.data(), used);
}

void opReleasedir(fuse_req_t req, fuse_ino_t, fuse_file_info *fi)
{
    delete handleOf<OpenDirectory>(fi);
    fuse_reply_err(req, 0);
}

void opStatfs(fuse_req_t req, fuse_ino_t inode)
{
    const auto located = locate(req, inode);
    struct statvfs st = {};
    int result = -1;
    if (located && located->node.kind == VirtualNode::Kind::Real) {
        ScopedFd leaf(openLeaf(located->node));
        result = leaf.get() < 0 ? -1 : ::fstatvfs(leaf.get(), &st);
    } else {
        result = ::statvfs(QFile::encodeName(QDir::homePath()).constData(), &st);
    }
    if (result != 0) {
        fuse_reply_err(req, errno ? errno : EIO);
        return;
    }
    fuse_reply_statfs(req, &st);
}

// ---- extended attributes ---------------------------------------------------

// The real item for an attribute request, refused for links (whose
// attributes Linux keeps to the system) and for everything synthesized.
// The "security." names (file capabilities, security labels) are the real
// file system's business and are not carried through the volume. The kernel
// asks for the capability before every write through the volume; answering
// without a lookup keeps writes cheap, and the real file drops its own
// capability when written.
bool isSecurityAttribute(const char *name)
{
    return std::strncmp(name, "security.", 9) == 0;
}

int attributeTarget(fuse_req_t req, fuse_ino_t inode, bool change, ScopedFd &leaf)
{
    const auto located = locate(req, inode);
    if (!located || located->node.kind == VirtualNode::Kind::Absent) {
        return ENOENT;
    }
    if (located->node.kind != VirtualNode::Kind::Real) {
        return change ? EPERM : ENODATA;
    }
    if (change && !located->node.writable) {
        return EROFS;
    }
    leaf.reset(openLeaf(located->node));
    if (leaf.get() < 0) {
        return -leaf.release();
    }
    struct stat st = {};
    if (::fstat(leaf.get(), &st) != 0) {
        return errno;
    }
    if (S_ISLNK(st.st_mode)) {
        return change ? EPERM : ENODATA;
    }
    return 0;
}

void opSetxattr(fuse_req_t req, fuse_ino_t inode, const char *name, const char *value, size_t size,
                int flags)
{
    if (isSecurityAttribute(name)) {
        fuse_reply_err(req, ENOTSUP);
        return;
    }
    ScopedFd leaf;
    int error = attributeTarget(req, inode, true, leaf);
    if (!error && ::setxattr(procPath(leaf.get()).constData(), name, value, size, flags) != 0) {
        error = errno;
    }
    fuse_reply_err(req, error);
}

void opRemovexattr(fuse_req_t req, fuse_ino_t inode, const char *name)
{
    if (isSecurityAttribute(name)) {
        fuse_reply_err(req, ENOTSUP);
        return;
    }
    ScopedFd leaf;
    int error = attributeTarget(req, inode, true, leaf);
    if (!error && ::removexattr(procPath(leaf.get()).constData(), name) != 0) {
        error = errno;
    }
    fuse_reply_err(req, error);
}

void replySized(fuse_req_t req, size_t size, const std::function<ssize_t(char *, size_t)> &fetch)
{
    std::vector<char> buffer(size);
    const ssize_t length = fetch(size ? buffer.data() : nullptr, size);
    if (length < 0) {
        fuse_reply_err(req, errno);
    } else if (size == 0) {
        fuse_reply_xattr(req, size_t(length));
    } else {
        fuse_reply_buf(req, buffer.data(), size_t(length));
    }
}

void opGetxattr(fuse_req_t req, fuse_ino_t inode, const char *name, size_t size)
{
    if (isSecurityAttribute(name)) {
        fuse_reply_err(req, ENODATA);
        return;
    }
    ScopedFd leaf;
    const int error = attributeTarget(req, inode, false, leaf);
    if (error) {
        fuse_reply_err(req, error);
        return;
    }
    const QByteArray proc = procPath(leaf.get());
    replySized(req, size, [&](char *buffer, size_t length) {
        return ::getxattr(proc.constData(), name, buffer, length);
    });
}

void opListxattr(fuse_req_t req, fuse_ino_t inode, size_t size)
{
    ScopedFd leaf;
    const int error = attributeTarget(req, inode, false, leaf);
    if (error == ENODATA) {
        // Synthesized items and links simply have none.
        replySized(req, size, [](char *, size_t) { return ssize_t(0); });
        return;
    }
    if (error) {
        fuse_reply_err(req, error);
        return;
    }
    const QByteArray proc = procPath(leaf.get());
    replySized(req, size, [&](char *buffer, size_t length) -> ssize_t {
        // The whole list is read, then told without the "security." names.
        std::vector<char> all(XATTR_LIST_MAX);
        const ssize_t read = ::listxattr(proc.constData(), all.data(), all.size());
        if (read < 0) {
            return read;
        }
        std::vector<char> shown;
        for (ssize_t at = 0; at < read;) {
            const size_t nameLength = ::strnlen(all.data() + at, size_t(read - at));
            if (!isSecurityAttribute(all.data() + at)) {
                shown.insert(shown.end(), all.data() + at, all.data() + at + nameLength);
                shown.push_back('\0');
            }
            at += ssize_t(nameLength) + 1;
        }
        if (buffer) {
            if (shown.size() > length) {
                errno = ERANGE;
                return -1;
            }
            std::memcpy(buffer, shown.data(), shown.size());
        }
        return ssize_t(shown.size());
    });
}

void opInit(void *, fuse_conn_info *connection)
{
    // Reads go from the real file to the kernel without a copy through us.
    if (connection->capable & FUSE_CAP_SPLICE_WRITE) {
        connection->want |= FUSE_CAP_SPLICE_WRITE | FUSE_CAP_SPLICE_MOVE;
    }
    // Writes are not spliced in: most are small, and a splice through a pipe
    // costs more than copying them.
    connection->want &= ~unsigned(FUSE_CAP_SPLICE_READ);
    // The data and group folders are written by the simulator too: the
    // kernel must not hold back writes or trust its page cache for long.
    connection->want &= ~unsigned(FUSE_CAP_WRITEBACK_CACHE);
    if (connection->capable & FUSE_CAP_AUTO_INVAL_DATA) {
        connection->want |= FUSE_CAP_AUTO_INVAL_DATA;
    }
}

fuse_lowlevel_ops makeOperations()
{
    fuse_lowlevel_ops ops{};
    ops.init = opInit;
    ops.lookup = opLookup;
    ops.forget = opForget;
    ops.forget_multi = opForgetMulti;
    ops.getattr = opGetattr;
    ops.setattr = opSetattr;
    ops.access = opAccess;
    ops.readlink = opReadlink;
    ops.mknod = opMknod;
    ops.mkdir = opMkdir;
    ops.symlink = opSymlink;
    ops.link = opLink;
    ops.unlink = opUnlink;
    ops.rmdir = opRmdir;
    ops.rename = opRename;
    ops.open = opOpen;
    ops.create = opCreate;
    ops.read = opRead;
    ops.write_buf = opWriteBuf;
    ops.flush = opFlush;
    ops.release = opRelease;
    ops.fsync = opFsync;
    ops.fallocate = opFallocate;
    ops.opendir = opOpendir;
    ops.readdir = opReaddir;
    ops.releasedir = opReleasedir;
    ops.statfs = opStatfs;
    ops.setxattr = opSetxattr;
    ops.getxattr = opGetxattr;
    ops.listxattr = opListxattr;
    ops.removexattr = opRemovexattr;
    return ops;
}

} // namespace

const fuse_lowlevel_ops &marrowfsOperations()
{
    static const fuse_lowlevel_ops operations = makeOperations();
    return operations;
}
