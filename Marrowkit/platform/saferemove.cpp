#include "Marrowkit/platform/saferemove.h"

#include "filedescriptor_p.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

namespace SafeRemove {

namespace {

Error removeError(const QString &path, const QString &reason)
{
    Error error = resultError(QStringLiteral("Could not remove %1: %2").arg(path, reason));
    error.userInfo.insert(Error::filePathKey(), path);
    error.userInfo.insert(Error::localizedFailureReasonKey(), reason);
    return error;
}

Error errnoError(const QString &path, int code)
{
    return removeError(path, QString::fromLocal8Bit(std::strerror(code)));
}

// The names in the folder open at `fd`; the descriptor is consumed. Read
// whole before anything is removed: removing entries while reading a folder
// may skip some.
Result<std::vector<std::string>> entryNames(int fd, const QString &path)
{
    FileDescriptor owned(fd);
    DIR *dir = ::fdopendir(owned.get());
    if (dir == nullptr) {
        return Result<std::vector<std::string>>::failure(errnoError(path, errno));
    }
    owned.release();
    std::vector<std::string> names;
    errno = 0;
    while (const dirent *entry = ::readdir(dir)) {
        const std::string name(entry->d_name);
        if (name != "." && name != "..") {
            names.push_back(name);
        }
        errno = 0;
    }
    const int code = errno;
    ::closedir(dir);
    if (code != 0) {
        return Result<std::vector<std::string>>::failure(errnoError(path, code));
    }
    return Result<std::vector<std::string>>::success(std::move(names));
}

// Removes the entry `name` of the folder open at `parent`; `path` is only
// for messages.
Result<Unit> removeEntry(int parent, const std::string &name, const QString &path, int depth)
{
    // O_NOFOLLOW|O_DIRECTORY: a link, or anything that is not a folder, does
    // not open, and is then unlinked as what it is.
    const int fd =
        ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        const int code = errno;
        if (code == ENOENT) {
            return Result<Unit>::success(Unit());
        }
        if (code != ELOOP && code != ENOTDIR) {
            return Result<Unit>::failure(errnoError(path, code));
        }
        if (::unlinkat(parent, name.c_str(), 0) != 0 && errno != ENOENT) {
            return Result<Unit>::failure(errnoError(path, errno));
        }
        return Result<Unit>::success(Unit());
    }
    if (depth >= maximumDepth) {
        ::close(fd);
        return Result<Unit>::failure(removeError(path, QStringLiteral("nested too deeply")));
    }
    // A second descriptor of the same folder: the first is consumed by the
    // listing, this one anchors the removals inside it.
    const FileDescriptor folder(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
    if (folder.get() < 0) {
        const int code = errno;
        ::close(fd);
        return Result<Unit>::failure(errnoError(path, code));
    }
    const auto names = entryNames(fd, path);
    if (names.isFailure()) {
        return Result<Unit>::failure(*names.error());
    }
    const std::vector<std::string> children = *names.value();
    for (const std::string &child : children) {
        auto removed =
            removeEntry(folder.get(), child,
                        path + QLatin1Char('/') + QFile::decodeName(child.c_str()), depth + 1);
        if (removed.isFailure()) {
            return removed;
        }
    }
    if (::unlinkat(parent, name.c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT) {
        return Result<Unit>::failure(errnoError(path, errno));
    }
    return Result<Unit>::success(Unit());
}

} // namespace

Result<Unit> removeTree(const QString &path)
{
    const QByteArray encoded = QFile::encodeName(path);
    if (encoded.isEmpty() || encoded.contains('\0')) {
        return Result<Unit>::failure(removeError(path, QStringLiteral("not a valid path")));
    }
    // The folders above the last component are the caller's own; only the
    // tree below them is untrusted.
    const QFileInfo info(QDir::cleanPath(path));
    const QByteArray name = QFile::encodeName(info.fileName());
    if (name.isEmpty() || name == "." || name == "..") {
        return Result<Unit>::failure(removeError(path, QStringLiteral("not a removable name")));
    }
    const FileDescriptor parent(
        ::open(QFile::encodeName(info.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (parent.get() < 0) {
        const int code = errno;
        return code == ENOENT ? Result<Unit>::success(Unit())
                              : Result<Unit>::failure(errnoError(path, code));
    }
    return removeEntry(parent.get(), name.toStdString(), path, 0);
}

} // namespace SafeRemove
