// Finds the processes of one program that run in one test's world (their
// HOME is the test's temporary home), whoever started them: programs that
// detach from their starter are not the test's children.
#pragma once

#include <QList>
#include <QString>

#include <chrono>

#include <sys/types.h>

namespace testsupport {

// Live processes (not zombies) whose executable is `program` and whose
// environment has HOME=`home`; a child of one of them that has not yet
// replaced itself with the program it starts is not counted.
QList<pid_t> processesOf(const QString &program, const QString &home);
// Sends SIGTERM to each and waits until all have ended; SIGKILL for those
// still there after `grace`. Returns whether they ended on SIGTERM.
bool terminateAll(const QList<pid_t> &pids,
                  std::chrono::milliseconds grace = std::chrono::seconds(20));

} // namespace testsupport

namespace testsupport {

// The stand-in Simulator applications running in the world at `home`
// (programs inside an app bundle below its Applications folder).
QList<pid_t> simulatorProcessesIn(const QString &home);
// Ends them the way a session's end does (they shut their devices down on
// SIGTERM) and waits for them to go.
void endSimulatorsIn(const QString &home);

} // namespace testsupport
