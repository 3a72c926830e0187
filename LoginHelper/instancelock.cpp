#include "instancelock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool sameFile(const struct stat &lhs, const struct stat &rhs)
{
    return lhs.st_dev == rhs.st_dev && lhs.st_ino == rhs.st_ino;
}

} // namespace

QString InstanceLock::defaultPath()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir()) {
        return runtime + QStringLiteral("/Marrowby/instance.lock");
    }
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/Marrowby/instance.lock");
}

const char *InstanceLock::handOverVariable()
{
    return "MARROWBY_INSTANCE_LOCK_FD";
}

InstanceLock InstanceLock::tryAcquire(const QString &path)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        return {State::Unusable, -1, QStringLiteral("cannot make %1").arg(folder)};
    }
    // The folder is the user's own; the lock file is never a link someone
    // planted, nor anything but a regular file.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd < 0) {
        return {State::Unusable, -1,
                QStringLiteral("cannot open %1: %2").arg(path, errnoText(errno))};
    }
    struct stat status = {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return {State::Unusable, -1, QStringLiteral("%1 is not a regular file").arg(path)};
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK) {
            return {State::HeldByAnother, -1, QString()};
        }
        return {State::Unusable, -1,
                QStringLiteral("cannot lock %1: %2").arg(path, errnoText(error))};
    }
    return {State::Acquired, fd, QString()};
}

InstanceLock InstanceLock::adoptHandedDown(const QString &path)
{
    const QByteArray value = qgetenv(handOverVariable());
    qunsetenv(handOverVariable());
    bool ok = false;
    const int fd = value.toInt(&ok);
    if (!ok || fd < 3) {
        return {State::Unusable, -1, QString()};
    }
    struct stat held = {};
    struct stat named = {};
    if (::fstat(fd, &held) != 0 || ::lstat(QFile::encodeName(path).constData(), &named) != 0 ||
        !S_ISREG(held.st_mode) || !sameFile(held, named)) {
        return {State::Unusable, -1, QString()};
    }
    // On the open file that already holds the lock this succeeds at once;
    // on any other it fails, and the descriptor is not ours to keep.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        return {State::Unusable, -1, QString()};
    }
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    return {State::Acquired, fd, QString()};
}

InstanceLock InstanceLock::acquireForApplication(const QString &path)
{
    InstanceLock handed = adoptHandedDown(path);
    if (handed.state() == State::Acquired) {
        return handed;
    }
    return tryAcquire(path);
}

InstanceLock::InstanceLock(InstanceLock &&other) noexcept
    : m_state(other.m_state), m_fd(other.m_fd), m_error(std::move(other.m_error))
{
    other.m_fd = -1;
    other.m_state = State::Unusable;
}

InstanceLock &InstanceLock::operator=(InstanceLock &&other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_state = other.m_state;
        m_fd = other.m_fd;
        m_error = std::move(other.m_error);
        other.m_fd = -1;
        other.m_state = State::Unusable;
    }
    return *this;
}

InstanceLock::~InstanceLock()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

QByteArray InstanceLock::prepareHandOver()
{
    if (m_state != State::Acquired || m_fd < 0) {
        return {};
    }
    ::fcntl(m_fd, F_SETFD, 0);
    return QByteArray::number(m_fd);
}
