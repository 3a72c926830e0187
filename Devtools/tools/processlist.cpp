#include "processlist.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// The state letter of /proc/<pid>/stat: the field after the command, which is
// in parentheses and may itself hold spaces and parentheses.
char processState(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) {
        return 0;
    }
    const QByteArray text = stat.readAll();
    const qsizetype close = text.lastIndexOf(')');
    if (close < 0 || close + 2 >= text.size()) {
        return 0;
    }
    return text.at(close + 2);
}

} // namespace

namespace ProcessList {

QList<ProcessInfo> ownProcesses()
{
    QList<ProcessInfo> result;
    const uid_t uid = ::getuid();
    const pid_t self = ::getpid();
    const auto entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool numeric = false;
        const pid_t pid = pid_t(entry.toInt(&numeric));
        if (!numeric || pid == self) {
            continue;
        }
        struct stat info
        {
        };
        const QByteArray path = QFile::encodeName(QStringLiteral("/proc/") + entry);
        if (::stat(path.constData(), &info) != 0 || info.st_uid != uid || !isRunning(pid)) {
            continue;
        }
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (!cmdline.open(QIODevice::ReadOnly)) {
            continue;
        }
        ProcessInfo process;
        process.pid = pid;
        const QByteArray raw = cmdline.readAll();
        for (const QByteArray &argument : raw.split('\0')) {
            process.arguments.append(QFile::decodeName(argument));
        }
        if (raw.endsWith('\0')) {
            process.arguments.removeLast();
        }
        if (!process.arguments.isEmpty()) {
            result.append(process);
        }
    }
    return result;
}

bool isRunning(pid_t pid)
{
    const char state = processState(pid);
    return state != 0 && state != 'Z' && state != 'X';
}

} // namespace ProcessList
