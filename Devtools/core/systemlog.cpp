#include "systemlog.h"

#include "paths.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <unistd.h>

namespace {

QString programName()
{
    QFile comm(QStringLiteral("/proc/self/comm"));
    if (comm.open(QIODevice::ReadOnly)) {
        QString name = QString::fromUtf8(comm.readAll()).trimmed();
        if (!name.isEmpty()) {
            return name;
        }
    }
    return QStringLiteral("CoreSimulator");
}

} // namespace

namespace SystemLog {

bool append(const QString &udid, const QString &deviceName, const QString &message)
{
    const QString path = DevtoolsPaths::deviceSystemLogPath(udid);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QString text = message;
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    const QString line =
        QStringLiteral("%1 %2 %3[%4]: %5\n")
            .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")),
                 deviceName, programName(), QString::number(::getpid()), text);
    const QByteArray bytes = line.toUtf8();
    // Never append through a link (or to a FIFO) someone put in the log's place.
    const int fd =
        ::open(QFile::encodeName(path).constData(),
               O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    const bool written = ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    ::close(fd);
    return written;
}

} // namespace SystemLog
