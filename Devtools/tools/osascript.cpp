#include "osascript.h"

#include "console.h"
#include "processlist.h"

#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>
#include <csignal>

namespace Osascript {

int quitApplication(const QString &appName, int timeoutMs)
{
    const QString marker = QLatin1Char('/') + appName + QStringLiteral(".app/Contents/MacOS/");
    QList<pid_t> signalled;
    for (const ProcessInfo &process : ProcessList::ownProcesses()) {
        if (process.arguments.first().contains(marker) && ::kill(process.pid, SIGTERM) == 0) {
            signalled.append(process.pid);
        }
    }
    // Quitting is done when the application has gone, as the caller expects
    // of a quit that waits for its reply.
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired() &&
           std::any_of(signalled.cbegin(), signalled.cend(), ProcessList::isRunning)) {
        QThread::msleep(10);
    }
    return int(signalled.size());
}

int run(const QStringList &arguments)
{
    QStringList lines;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (arguments.at(i) != QLatin1String("-e") || i + 1 >= arguments.size()) {
            return Console::fail(
                QStringLiteral("usage: osascript -e statement [-e statement ...]"));
        }
        lines.append(arguments.at(++i).trimmed());
    }
    if (lines.isEmpty()) {
        return Console::fail(QStringLiteral("usage: osascript -e statement [-e statement ...]"));
    }
    static const QRegularExpression quit(
        QStringLiteral("^tell (?:app|application) \"([^\"/]+)\" to quit$"));
    static const QRegularExpression tellFinder(QStringLiteral("^tell application \"Finder\"$"));
    static const QRegularExpression hide(
        QStringLiteral("^set visible of process \"([^\"]+)\" to false$"));
    if (lines.size() == 1) {
        const auto match = quit.match(lines.first());
        if (match.hasMatch()) {
            quitApplication(match.captured(1), 10000);
            return 0;
        }
    }
    if (lines.size() == 3 && tellFinder.match(lines.at(0)).hasMatch() &&
        hide.match(lines.at(1)).hasMatch() && lines.at(2) == QLatin1String("end tell")) {
        return 0; // the stand-in applications have no windows to hide
    }
    return Console::fail(
        QStringLiteral("osascript: unsupported script: %1").arg(lines.join(QStringLiteral(" / "))));
}

} // namespace Osascript
