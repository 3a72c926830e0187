#include "processscan.h"

#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <csignal>

namespace testsupport {

namespace {

bool isLive(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray line = stat.read(4096);
    const qsizetype afterName = line.lastIndexOf(')');
    return afterName >= 0 && line.mid(afterName + 2, 1) != "Z";
}

} // namespace

QList<pid_t> processesOf(const QString &program, const QString &home)
{
    const QString wanted = QFileInfo(program).canonicalFilePath();
    const QByteArray homeEntry = "HOME=" + QFile::encodeName(home);
    QList<pid_t> found;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        bool number = false;
        const pid_t pid = pid_t(entry.toLongLong(&number));
        if (!number) {
            continue;
        }
        const QString exe = QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget();
        if (exe != wanted) {
            continue;
        }
        QFile environ(QStringLiteral("/proc/%1/environ").arg(pid));
        if (!environ.open(QIODevice::ReadOnly)) {
            continue;
        }
        const QList<QByteArray> variables = environ.read(1 << 20).split('\0');
        if (variables.contains(homeEntry) && isLive(pid)) {
            found.append(pid);
        }
    }
    return found;
}

bool terminateAll(const QList<pid_t> &pids, std::chrono::milliseconds grace)
{
    for (const pid_t pid : pids) {
        ::kill(pid, SIGTERM);
    }
    const auto allEnded = [&] {
        for (const pid_t pid : pids) {
            if (isLive(pid)) {
                return false;
            }
        }
        return true;
    };
    if (waitFor(allEnded, grace)) {
        return true;
    }
    for (const pid_t pid : pids) {
        ::kill(pid, SIGKILL);
    }
    waitFor(allEnded, std::chrono::seconds(5));
    return false;
}

} // namespace testsupport
