#include "openapp.h"

#include "console.h"
#include "plistio.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

namespace {

// Runs in the forked grandchild: only async-signal-safe calls until exec.
[[noreturn]] void execDetached(const QByteArray &program, std::vector<char *> &argv, int report)
{
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(null, 2);
    }
    // Keep nothing of ours open in the new program except the report pipe
    // (moved to 3), which closes itself on exec.
    if (report != 3) {
        ::dup2(report, 3);
        ::fcntl(3, F_SETFD, FD_CLOEXEC);
    }
    ::close_range(4, ~0U, 0);
    ::execv(program.constData(), argv.data());
    const int failure = errno;
    [[maybe_unused]] ssize_t written = ::write(3, &failure, sizeof failure);
    ::_exit(127);
}

} // namespace

namespace OpenApp {

QString executableOf(const QString &app)
{
    const auto info = PlistIO::readDictionary(app + QStringLiteral("/Contents/Info.plist"),
                                              PlistIO::bundleSizeLimit);
    QString name = info ? info->value(QStringLiteral("CFBundleExecutable")).toString() : QString();
    if (name.isEmpty()) {
        name = QFileInfo(app).completeBaseName();
    }
    if (name.contains(QLatin1Char('/')) || name == QLatin1String("..")) {
        return QString();
    }
    const QString path = app + QStringLiteral("/Contents/MacOS/") + name;
    const QFileInfo file(path);
    return file.isFile() && file.isExecutable() ? path : QString();
}

pid_t spawnDetached(const QString &program, const QStringList &arguments, QString *error)
{
    const QByteArray path = QFile::encodeName(program);
    QList<QByteArray> storage{path};
    for (const QString &argument : arguments) {
        storage.append(QFile::encodeName(argument));
    }
    std::vector<char *> argv;
    for (QByteArray &argument : storage) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return -1;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeFds[0]);
        ::setsid();
        const pid_t grandchild = ::fork();
        if (grandchild == 0) {
            execDetached(path, argv, pipeFds[1]);
        }
        // Tell the parent the grandchild's number, then leave it to init.
        [[maybe_unused]] ssize_t written = ::write(pipeFds[1], &grandchild, sizeof grandchild);
        ::_exit(grandchild > 0 ? 0 : 1);
    }
    ::close(pipeFds[1]);
    if (child < 0) {
        ::close(pipeFds[0]);
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return -1;
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    pid_t started = -1;
    int failure = 0;
    // First the grandchild's number, then (only if exec failed) its errno.
    ssize_t got = ::read(pipeFds[0], &started, sizeof started);
    if (got == sizeof started) {
        got = ::read(pipeFds[0], &failure, sizeof failure);
    }
    ::close(pipeFds[0]);
    if (started <= 0) {
        *error = QStringLiteral("cannot start a process");
        return -1;
    }
    if (got == sizeof failure) {
        *error = QString::fromLocal8Bit(std::strerror(failure));
        return -1;
    }
    return started;
}

int run(const QStringList &arguments)
{
    QString app;
    QStringList appArguments;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == QLatin1String("--args")) {
            appArguments = arguments.mid(i + 1);
            break;
        }
        if (argument == QLatin1String("-n") || argument == QLatin1String("-g")) {
            continue; // every call starts a new instance; nothing comes to the front
        }
        if (argument.startsWith(QLatin1Char('-')) || !app.isEmpty()) {
            return Console::fail(QStringLiteral("Usage: open [-n] [-g] APP [--args ARG...]"));
        }
        app = argument;
    }
    if (app.isEmpty()) {
        return Console::fail(QStringLiteral("Usage: open [-n] [-g] APP [--args ARG...]"));
    }
    const QFileInfo info(app);
    if (!info.exists()) {
        return Console::fail(QStringLiteral("The file %1 does not exist.").arg(app));
    }
    const QString bundle = QDir::cleanPath(info.absoluteFilePath());
    if (!info.isDir() || !bundle.endsWith(QLatin1String(".app"))) {
        return Console::fail(QStringLiteral("open: %1 is not an application").arg(app));
    }
    const QString executable = executableOf(bundle);
    if (executable.isEmpty()) {
        return Console::fail(QStringLiteral("open: %1 has no executable").arg(app));
    }
    QString error;
    if (spawnDetached(executable, appArguments, &error) < 0) {
        return Console::fail(QStringLiteral("open: cannot start %1: %2").arg(app, error));
    }
    return 0;
}

} // namespace OpenApp
