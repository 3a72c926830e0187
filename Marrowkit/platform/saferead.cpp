#include "Marrowkit/platform/saferead.h"

#include "filedescriptor_p.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace SafeRead {

namespace {

Error readError(const QString &path, const QString &reason)
{
    Error error = resultError(QStringLiteral("Could not read %1: %2").arg(path, reason));
    error.userInfo.insert(Error::filePathKey(), path);
    error.userInfo.insert(Error::localizedFailureReasonKey(), reason);
    return error;
}

QString errnoText(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

} // namespace

Result<QByteArray> readRegularFile(const QString &path, qint64 limit, Links links)
{
    const QByteArray encoded = QFile::encodeName(path);
    if (encoded.isEmpty() || encoded.contains('\0')) {
        return Result<QByteArray>::failure(readError(path, QStringLiteral("not a valid path")));
    }
    // O_NONBLOCK: opening a FIFO must not wait for a writer. It does not
    // change reading a regular file.
    const int flags =
        O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | (links == Links::Refuse ? O_NOFOLLOW : 0);
    const FileDescriptor fd(::open(encoded.constData(), flags));
    if (fd.get() < 0) {
        const int code = errno;
        return Result<QByteArray>::failure(
            readError(path, code == ELOOP ? QStringLiteral("it is a link") : errnoText(code)));
    }
    struct stat info = {};
    if (::fstat(fd.get(), &info) != 0) {
        return Result<QByteArray>::failure(readError(path, errnoText(errno)));
    }
    if (!S_ISREG(info.st_mode)) {
        return Result<QByteArray>::failure(readError(path, QStringLiteral("not a regular file")));
    }
    if (info.st_size > limit) {
        return Result<QByteArray>::failure(
            readError(path, QStringLiteral("larger than %1 bytes").arg(limit)));
    }
    // The file may grow while we read it: the limit holds for what is read,
    // not for what fstat said.
    QByteArray data;
    data.reserve(qsizetype(info.st_size));
    char chunk[64 * 1024];
    for (;;) {
        const ssize_t count = ::read(fd.get(), chunk, sizeof chunk);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            return Result<QByteArray>::failure(readError(path, errnoText(errno)));
        }
        if (count == 0) {
            return Result<QByteArray>::success(data);
        }
        if (data.size() + count > limit) {
            return Result<QByteArray>::failure(
                readError(path, QStringLiteral("larger than %1 bytes").arg(limit)));
        }
        data.append(chunk, qsizetype(count));
    }
}

bool isRegularFile(const QString &path)
{
    struct stat info = {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode);
}

} // namespace SafeRead
