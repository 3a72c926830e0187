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
#include <system_error>
#include <unistd.h>

namespace {

const QByteArray InfoSuffix(".trashinfo");
// Room left in a name for a suffix that makes it unique and the info suffix.
constexpr qsizetype LongestBaseName = NAME_MAX - 40;
constexpr int MaxNameAttempts = 64;
// Unnamed info files kept ready; the thread that makes them is woken when
// half are used, not for every removal.
constexpr size_t SpareCount = 16;

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

TrashCan::~TrashCan()
{
    {
        std::lock_guard lock(m_spareMutex);
        m_stopping = true;
    }
    m_spareWanted.notify_all();
    if (m_spareThread.joinable()) {
        m_spareThread.join();
    }
    for (const int spare : m_spares) {
        ::close(spare);
    }
}

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
        if (m_info.get() >= 0) {
            try {
                m_spareThread = std::thread([this] { makeSpares(); });
            } catch (const std::system_error &) {
                // No thread to spare: info files are made by name.
                m_sparesWork = false;
            }
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

void TrashCan::makeSpares()
{
    std::unique_lock lock(m_spareMutex);
    while (!m_stopping && m_sparesWork) {
        if (m_spares.size() >= SpareCount) {
            m_spareWanted.wait(lock);
            continue;
        }
        lock.unlock();
        const int spare = ::openat(m_info.get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
        lock.lock();
        if (spare < 0) {
            // A file system without unnamed files: every info file is made by name.
            m_sparesWork = false;
            break;
        }
        m_spares.push_back(spare);
    }
}

int TrashCan::takeSpare()
{
    std::lock_guard lock(m_spareMutex);
    if (m_spares.empty()) {
        return -1;
    }
    const int spare = m_spares.back();
    m_spares.pop_back();
    if (m_spares.size() == SpareCount / 2) {
        m_spareWanted.notify_one();
    }
    return spare;
}

int TrashCan::claimInfo(const QByteArray &infoName, const QByteArray &info, ScopedFd &spare)
{
    if (spare.get() >= 0) {
        // Linking fails on a name in use, as exclusive creation does.
        if (::linkat(AT_FDCWD, realaccess::procPath(spare.get()).constData(), m_info.get(),
                     infoName.constData(), AT_SYMLINK_FOLLOW) == 0) {
            spare.reset(-1);
            return 0;
        }
        const int error = errno;
        if (error == EEXIST) {
            return EEXIST;
        }
        spare.reset(-1);
        // No /proc to link through, or linking refused here: from now on
        // they are made by name. A full disk says nothing about that.
        if (error != ENOSPC && error != EDQUOT && error != EIO) {
            std::lock_guard lock(m_spareMutex);
            m_sparesWork = false;
        }
    }
    const int fd = ::openat(m_info.get(), infoName.constData(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        return errno;
    }
    const bool written = writeAll(fd, info);
    ::close(fd);
    if (!written) {
        ::unlinkat(m_info.get(), infoName.constData(), 0);
        return EIO;
    }
    return 0;
}

int TrashCan::moveByRename(int parentFd, const QByteArray &name, const QString &path)
{
    const QByteArray info = "[Trash Info]\nPath=" + QUrl::toPercentEncoding(path, "/") +
                            "\nDeletionDate=" + deletionDate() + '\n';
    // The text goes into a spare once; it is the same whatever name it gets.
    ScopedFd spare(takeSpare());
    if (spare.get() >= 0 && !writeAll(spare.get(), info)) {
        spare.reset(-1);
    }
    const QByteArray base = name.left(LongestBaseName);
    for (int attempt = 0; attempt < MaxNameAttempts; ++attempt) {
        // The plain name first; after a collision, a number no other
        // attempt of this process uses.
        const QByteArray candidate = attempt == 0 && name.size() <= LongestBaseName
                                         ? name
                                         : base + '.' + QByteArray::number(++m_collisions) + '-' +
                                               QByteArray::number(qint64(::getpid()));
        const QByteArray infoName = candidate + InfoSuffix;
        const int claimed = claimInfo(infoName, info, spare);
        if (claimed == EEXIST) {
            continue;
        }
        if (claimed != 0) {
            return claimed;
        }
        // The item must not replace one of the same name left without info.
        if (::renameat2(parentFd, name.constData(), m_files.get(), candidate.constData(),
                        RENAME_NOREPLACE) == 0) {
            return 0;
        }
        const int error = errno;
        ::unlinkat(m_info.get(), infoName.constData(), 0);
        if (error != EEXIST) {
            return error;
        }
    }
    return EEXIST;
}
