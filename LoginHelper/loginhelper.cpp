#include "loginhelper.h"

#include "instancelock.h"

#include "Marrowkit/platform/bundle.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>

#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>
#include <vector>

namespace LoginHelper {

namespace {

// Starts `program` without waiting for it, in a session of its own so that
// it outlives the helper, with `environment` as its whole environment.
// Returns an error text, empty on success.
QString spawnDetached(const QString &program, const QStringList &environment)
{
    const QByteArray path = QFile::encodeName(program);
    std::vector<QByteArray> entries;
    entries.reserve(size_t(environment.size()));
    for (const QString &entry : environment) {
        entries.push_back(entry.toLocal8Bit());
    }
    std::vector<char *> envp;
    for (QByteArray &entry : entries) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    QByteArray argv0 = path;
    char *argv[] = {argv0.data(), nullptr};

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    // The application outlives the helper and whatever read the helper's
    // output: a pipe closed behind it would end it on its first log line.
    // It keeps its own log file.
    posix_spawn_file_actions_t streams;
    posix_spawn_file_actions_init(&streams);
    posix_spawn_file_actions_addopen(&streams, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&streams, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&streams, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    // posix_spawn returns once the child has replaced itself with the
    // program (or failed to), so the lock is already in the application's
    // hands when the helper goes on.
    const int error =
        posix_spawn(&child, path.constData(), &streams, &attributes, argv, envp.data());
    posix_spawn_file_actions_destroy(&streams);
    posix_spawnattr_destroy(&attributes);
    if (error != 0) {
        return QString::fromLocal8Bit(std::strerror(error));
    }
    return {};
}

} // namespace

std::optional<QString> containingApplication(const QString &helperBundlePath)
{
    QString path = QDir::cleanPath(helperBundlePath);
    for (int step = 0; step < 4; ++step) {
        const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
        if (slash <= 0) {
            return std::nullopt;
        }
        path.truncate(slash);
    }
    return path;
}

std::optional<QString> executableOfApplication(const QString &applicationPath)
{
    const auto bundle = Bundle::at(applicationPath);
    if (!bundle) {
        return std::nullopt;
    }
    const QString name =
        bundle->infoDictionary().value(QStringLiteral("CFBundleExecutable")).toString();
    if (name.isEmpty() || name.contains(QLatin1Char('/')) || name.startsWith(QLatin1Char('.'))) {
        return std::nullopt;
    }
    const QString program = bundle->contentsPath() + QStringLiteral("/MacOS/") + name;
    const QFileInfo info(program);
    if (!info.isFile() || !info.isExecutable()) {
        return std::nullopt;
    }
    return program;
}

Report applicationDidFinishLaunching(const QString &helperBundlePath, const QString &lockPath)
{
    const auto application = containingApplication(helperBundlePath);
    const auto program = application ? executableOfApplication(*application) : std::nullopt;
    if (!program) {
        return {Outcome::NoApplication,
                QStringLiteral("no application bundle around %1").arg(helperBundlePath)};
    }
    InstanceLock lock = InstanceLock::tryAcquire(lockPath);
    if (lock.state() == InstanceLock::State::HeldByAnother) {
        return {Outcome::RunsAlready, *application};
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (lock.state() == InstanceLock::State::Acquired) {
        environment.insert(QString::fromLatin1(InstanceLock::handOverVariable()),
                           QString::fromLatin1(lock.prepareHandOver()));
    } else {
        // Without a usable lock, starting is still better than not: the
        // user asked for the application at login.
        environment.remove(QString::fromLatin1(InstanceLock::handOverVariable()));
    }
    const QString error = spawnDetached(*program, environment.toStringList());
    if (!error.isEmpty()) {
        return {Outcome::LaunchFailed, QStringLiteral("%1: %2").arg(*program, error)};
    }
    return {Outcome::Launched, *program};
}

} // namespace LoginHelper
