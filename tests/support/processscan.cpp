#include "processscan.h"

#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>

#include <csignal>

namespace testsupport {

namespace {

// The fields of /proc/<pid>/stat after the program's name: state first,
// then the parent's number. Empty for a process that is gone.
QList<QByteArray> statusFields(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray line = stat.read(4096);
    const qsizetype afterName = line.lastIndexOf(')');
    return afterName < 0 ? QList<QByteArray>() : line.mid(afterName + 2).split(' ');
}

bool isLive(pid_t pid)
{
    const QList<QByteArray> status = statusFields(pid);
    return !status.isEmpty() && status.at(0) != "Z";
}

} // namespace

QList<pid_t> processesOf(const QString &program, const QString &home)
{
    const QString wanted = QFileInfo(program).canonicalFilePath();
    const QByteArray homeEntry = "HOME=" + QFile::encodeName(home);
    QList<pid_t> found;
    QHash<pid_t, pid_t> parents;
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
        const QList<QByteArray> status = statusFields(pid);
        if (variables.contains(homeEntry) && status.size() > 1 && status.at(0) != "Z") {
            found.append(pid);
            parents.insert(pid, pid_t(status.at(1).toLongLong()));
        }
    }
    // A program about to be started by one of them is a copy of it until it
    // replaces itself with that program: it is not another instance.
    const QList<pid_t> matched = found;
    found.removeIf([&](pid_t pid) { return matched.contains(parents.value(pid)); });
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

namespace testsupport {

QList<pid_t> simulatorProcessesIn(const QString &home)
{
    QProcess ps;
    ps.start(QStringLiteral("/bin/ps"), {QStringLiteral("-eo"), QStringLiteral("pid=,args=")});
    ps.waitForFinished();
    const QString marker = home + QStringLiteral("/Applications/");
    QList<pid_t> pids;
    for (const QString &line :
         QString::fromLocal8Bit(ps.readAllStandardOutput()).split(QLatin1Char('\n'))) {
        if (line.contains(marker) && line.contains(QStringLiteral(".app/Contents/MacOS/"))) {
            pids.append(pid_t(line.trimmed().section(QLatin1Char(' '), 0, 0).toLongLong()));
        }
    }
    return pids;
}

void endSimulatorsIn(const QString &home)
{
    for (const pid_t pid : simulatorProcessesIn(home)) {
        ::kill(pid, SIGTERM);
    }
    waitFor([&] { return simulatorProcessesIn(home).isEmpty(); });
}

} // namespace testsupport
