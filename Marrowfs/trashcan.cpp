// One rename into the Trash, with its info file claimed first.
#include "trashcan_p.h"

#include "Marrowkit/foundation/log.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QUrl>

#include <cerrno>
#include <climits>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray InfoSuffix(".trashinfo");
// Room left in a name for a suffix that makes it unique and the info suffix.
constexpr qsizetype LongestBaseName = NAME_MAX - 40;
constexpr int MaxNameAttempts = 64;

QByteArray deletionDate()
{
    const std::time_t now = std::time(nullptr);
    std::tm local = {};
    ::localtime_r(&now, &local);
    char text[32];
    const size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return QByteArray(text, qsizetype(length));
}

bool writeAll(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        done += written;
    }
    return true;
}

} // namespace

bool TrashCan::open()
{
    std::call_once(m_opened, [this] {
        // Qt puts the Trash in the current folder when the data folder is missing.
        const QString trash =
            QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
            QStringLiteral("/Trash");
        if (!QDir().mkpath(trash + QStringLiteral("/files")) ||
            !QDir().mkpath(trash + QStringLiteral("/info"))) {
            return;
        }
        const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
        m_files.reset(
            ::open(QFile::encodeName(trash + QStringLiteral("/files")).constData(), flags));
        m_info.reset(::open(QFile::encodeName(trash + QStringLiteral("/info")).constData(), flags));
        struct stat st = {};
        if (m_files.get() >= 0 && ::fstat(m_files.get(), &st) == 0) {
            m_device = st.st_dev;
        }
    });
    return m_files.get() >= 0 && m_info.get() >= 0;
}

int TrashCan::moveToTrash(int parentFd, const QByteArray &name, const QString &path, dev_t device)
{
    if (open() && device == m_device) {
        const int error = moveByRename(parentFd, name, path);
        // Another mount of the same file system cannot take a rename.
        if (error != EXDEV) {
            return error;
        }
    }
    if (!QFile::moveToTrash(path)) {
        MLOG_WARNING(QStringLiteral("could not move to the Trash: ") + path);
        return EIO;
    }
    return 0;
}

int TrashCan::moveByRename(int parentFd, const QByteArray &name, const QString &path)
{
    const QByteArray info = "[Trash Info]\nPath=" + QUrl::toPercentEncoding(path, "/") +
                            "\nDeletionDate=" + deletionDate() + '\n';
    const QByteArray base = name.left(LongestBaseName);
    for (int attempt = 0; attempt < MaxNameAttempts; ++attempt) {
        // The plain name first; after a collision, a number no other
        // attempt of this process uses.
        const QByteArray candidate = attempt == 0 && name.size() <= LongestBaseName
                                         ? name
                                         : base + '.' + QByteArray::number(++m_collisions) + '-' +
                                               QByteArray::number(qint64(::getpid()));
        const QByteArray infoName = candidate + InfoSuffix;
        const int infoFd = ::openat(m_info.get(), infoName.constData(),
                                    O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (infoFd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            return errno;
        }
        const bool written = writeAll(infoFd, info);
        ::close(infoFd);
        // The item must not replace one of the same name left without info.
        if (written && ::renameat2(parentFd, name.constData(), m_files.get(), candidate.constData(),
                                   RENAME_NOREPLACE) == 0) {
            return 0;
        }
        const int error = written ? errno : EIO;
        ::unlinkat(m_info.get(), infoName.constData(), 0);
        if (error != EEXIST) {
            return error;
        }
    }
    return EEXIST;
}
