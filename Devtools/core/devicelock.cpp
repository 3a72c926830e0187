#include "devicelock.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

DeviceLock::DeviceLock(const QString &devicePath)
{
    const int fd =
        ::open(QFile::encodeName(devicePath).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    int result = 0;
    do {
        result = ::flock(fd, LOCK_EX);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        ::close(fd);
        return;
    }
    m_fd = fd;
}

DeviceLock::~DeviceLock()
{
    if (m_fd >= 0) {
        ::close(m_fd); // releases the lock
    }
}
