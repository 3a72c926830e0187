#define MARROWBY_LOG_SOURCE "Marrowkit/LoginItem"

#include "Marrowkit/Connection/loginitem.h"

#include "Marrowkit/Connection/parleycontract.h"
#include "Marrowkit/foundation/log.h"
#include "Marrowkit/platform/bundle.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <cerrno>
#include <unistd.h>

namespace LoginItem {

namespace {

// The activation file's Exec line is split like a shell command line:
// single quotes keep a path with spaces or quotes in one piece.
QString quotedForExec(const QString &path)
{
    QString quoted = path;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

// The program of the login item bundle: Contents/MacOS/<CFBundleExecutable>,
// a regular executable file.
std::optional<QString> programOf(const Bundle &item)
{
    const QString executable =
        item.infoDictionary().value(QStringLiteral("CFBundleExecutable")).toString();
    if (executable.isEmpty() || executable.contains(QLatin1Char('/'))) {
        return std::nullopt;
    }
    const QFileInfo program(item.contentsPath() + QStringLiteral("/MacOS/") + executable);
    if (program.isSymLink() || !program.isFile() || !program.isExecutable()) {
        return std::nullopt;
    }
    return program.absoluteFilePath();
}

} // namespace

QString loginItemsFolder()
{
    const auto main = Bundle::main();
    return main ? main->contentsPath() + QStringLiteral("/Library/LoginItems") : QString();
}

QString activationFilePath(const QString &identifier)
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/dbus-1/services/") + identifier + QStringLiteral(".service");
}

bool writeActivationFile(const QString &identifier, const QString &program)
{
    const QString path = activationFilePath(identifier);
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    const QString text = QStringLiteral("[D-BUS Service]\nName=%1\nExec=%2\n")
                             .arg(identifier, quotedForExec(program));
    file.write(text.toUtf8());
    return file.commit();
}

bool removeActivationFile(const QString &identifier)
{
    const QByteArray path = QFile::encodeName(activationFilePath(identifier));
    return ::unlink(path.constData()) == 0 || errno == ENOENT;
}

std::optional<QString> connectionForLoginItemName(const QString &name)
{
    const QString folder = loginItemsFolder();
    if (folder.isEmpty() || name.isEmpty() || name.contains(QLatin1Char('/')) ||
        name.startsWith(QLatin1Char('.'))) {
        return std::nullopt;
    }
    return connectionForLoginItemAt(folder + QLatin1Char('/') + name);
}

std::optional<QString> connectionForLoginItemAt(const QString &bundlePath)
{
    const auto item = Bundle::at(bundlePath);
    if (!item) {
        return std::nullopt;
    }
    const QString identifier = item->identifier();
    if (identifier.isEmpty() || identifier != QFileInfo(bundlePath).completeBaseName()) {
        MLOG_WARNING(QStringLiteral("login item %1 is not named after its identifier \"%2\"")
                         .arg(bundlePath, identifier));
        return std::nullopt;
    }
    if (!setEnabled(identifier, true)) {
        return std::nullopt;
    }
    return identifier;
}

bool setEnabled(const QString &identifier, bool enabled)
{
    if (!ParleyContract::isWellKnownBusName(identifier)) {
        return false;
    }
    if (!enabled) {
        return removeActivationFile(identifier);
    }
    const QString folder = loginItemsFolder();
    const auto item =
        folder.isEmpty()
            ? std::nullopt
            : Bundle::at(folder + QLatin1Char('/') + identifier + QStringLiteral(".app"));
    const auto program = item && item->identifier() == identifier ? programOf(*item) : std::nullopt;
    if (!program) {
        MLOG_WARNING(
            QStringLiteral("no login item %1 with a program in %2").arg(identifier, folder));
        return false;
    }
    if (!writeActivationFile(identifier, *program)) {
        MLOG_ERROR(QStringLiteral("cannot write %1").arg(activationFilePath(identifier)));
        return false;
    }
    return true;
}

void stop(const QString &name)
{
    const QString identifier = name.endsWith(QStringLiteral(".app")) ? name.chopped(4) : name;
    (void)setEnabled(identifier, false);
}

} // namespace LoginItem
