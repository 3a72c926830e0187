#include "safefile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void setError(QString *error, const QString &text)
{
    if (error) {
        *error = text;
    }
}

QString reasonOf(int code)
{
    // O_NOFOLLOW reports a link at the last component as ELOOP.
    return code == ELOOP ? QStringLiteral("is a symbolic link")
                         : QString::fromLocal8Bit(std::strerror(code));
}

// Opens without following a final link and without waiting for a FIFO's
// writer; anything but a regular file is closed again at once.
int openRegularFile(const QString &path, bool followFinalLink, struct stat *info, QString *error)
{
    const int fd =
        ::open(QFile::encodeName(path).constData(),
               O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (followFinalLink ? 0 : O_NOFOLLOW));
    if (fd < 0) {
        setError(error, QStringLiteral("%1: %2").arg(path, reasonOf(errno)));
        return -1;
    }
    if (::fstat(fd, info) != 0 || !S_ISREG(info->st_mode)) {
        setError(error, QStringLiteral("%1: not a regular file").arg(path));
        ::close(fd);
        return -1;
    }
    return fd;
}

// Reads up to `count` bytes; nothing on a read error.
std::optional<QByteArray> readUpTo(int fd, qint64 count)
{
    QByteArray data;
    data.resize(qsizetype(count));
    qint64 filled = 0;
    while (filled < count) {
        const ssize_t chunk = ::read(fd, data.data() + filled, size_t(count - filled));
        if (chunk < 0 && errno == EINTR) {
            continue;
        }
        if (chunk < 0) {
            return std::nullopt;
        }
        if (chunk == 0) {
            break;
        }
        filled += chunk;
    }
    data.truncate(qsizetype(filled));
    return data;
}

} // namespace

namespace SafeFile {

std::optional<QByteArray> read(const QString &path, qint64 sizeLimit, QString *error)
{
    struct stat info
    {
    };
    const int fd = openRegularFile(path, false, &info, error);
    if (fd < 0) {
        return std::nullopt;
    }
    std::optional<QByteArray> data;
    if (info.st_size <= sizeLimit) {
        // One byte more than the file had tells that it grew meanwhile;
        // the limit still holds when it did.
        data = readUpTo(fd, qint64(info.st_size) + 1);
        while (data && data->size() > info.st_size && data->size() <= sizeLimit) {
            const auto more = readUpTo(fd, sizeLimit + 1 - data->size());
            if (!more || more->isEmpty()) {
                break;
            }
            data->append(*more);
        }
    }
    ::close(fd);
    if (info.st_size > sizeLimit || (data && data->size() > sizeLimit)) {
        setError(error, QStringLiteral("%1: larger than %2 bytes").arg(path).arg(sizeLimit));
        return std::nullopt;
    }
    if (!data) {
        setError(error, QStringLiteral("%1: cannot read").arg(path));
    }
    return data;
}

std::optional<QByteArray> readHead(const QString &path, qint64 count, bool followFinalLink,
                                   QString *error)
{
    struct stat info
    {
    };
    const int fd = openRegularFile(path, followFinalLink, &info, error);
    if (fd < 0) {
        return std::nullopt;
    }
    auto data = readUpTo(fd, count);
    ::close(fd);
    if (!data) {
        setError(error, QStringLiteral("%1: cannot read").arg(path));
    }
    return data;
}

bool isRealFolder(const QString &path)
{
    struct stat info
    {
    };
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

namespace {

// Walks `relative` below `base`: false at a ".." or at anything but a real
// folder; a missing part ends the walk with `whenMissing`.
bool walkRealFolders(const QString &base, const QString &relative, bool whenMissing)
{
    QString path = base;
    for (const QString &part : relative.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part == QLatin1String("..")) {
            return false;
        }
        path += QLatin1Char('/') + part;
        struct stat info
        {
        };
        if (::lstat(QFile::encodeName(path).constData(), &info) != 0) {
            return errno == ENOENT && whenMissing;
        }
        if (!S_ISDIR(info.st_mode)) {
            return false;
        }
    }
    return true;
}

} // namespace

bool isRealFolderBelow(const QString &base, const QString &relative)
{
    return walkRealFolders(base, relative, false);
}

bool hasNoLinkBelow(const QString &base, const QString &relative)
{
    return walkRealFolders(base, relative, true);
}

bool existsWithoutFollowing(const QString &path)
{
    struct stat info
    {
    };
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
}

} // namespace SafeFile
