// The processes of the current user, read from /proc.
#pragma once

#include <QList>
#include <QStringList>

#include <sys/types.h>

struct ProcessInfo
{
    pid_t pid = 0;
    QStringList arguments; // argv, argv[0] first
};

namespace ProcessList {

// Live (not zombie) processes of this user, this process excluded.
QList<ProcessInfo> ownProcesses();
// Whether `pid` still runs (a zombie counts as gone).
bool isRunning(pid_t pid);

} // namespace ProcessList
