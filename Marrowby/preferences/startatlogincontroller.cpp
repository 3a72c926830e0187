#include "startatlogincontroller.h"

#include "Marrowkit/platform/bundle.h"
#include "Marrowkit/platform/saferead.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

// Entries are small; anything larger is not one we can judge.
constexpr qint64 entryLimit = 64 * 1024;

Result<Unit> failure(const QString &text)
{
    Error error;
    error.domain = QStringLiteral("dev.marrowby.marrowby.StartAtLogin");
    error.code = 1;
    error.userInfo.insert(Error::localizedDescriptionKey(), text);
    return Result<Unit>::failure(error);
}

// Whether the [Desktop Entry] group of `contents` sets `key` to `value`.
bool entrySays(const QByteArray &contents, const QByteArray &key, const QByteArray &value)
{
    bool inMainGroup = false;
    for (const QByteArray &rawLine : contents.split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (line.startsWith('[')) {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (inMainGroup && equals > 0 && line.left(equals).trimmed() == key) {
            return line.mid(equals + 1).trimmed() == value;
        }
    }
    return false;
}

} // namespace

StartAtLoginController::StartAtLoginController(QString identifier, QString applicationPath)
    : m_identifier(std::move(identifier)), m_applicationPath(std::move(applicationPath))
{}

QString StartAtLoginController::entryPath() const
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/") + m_identifier + QStringLiteral(".desktop");
}

std::optional<QString> StartAtLoginController::helperProgram() const
{
    QString application = m_applicationPath;
    if (application.isEmpty()) {
        const auto main = Bundle::main();
        if (!main) {
            return std::nullopt;
        }
        application = main->path();
    }
    const QDir loginItems(application + QStringLiteral("/Contents/Library/LoginItems"));
    for (const QString &name : loginItems.entryList({QStringLiteral("*.app")}, QDir::Dirs)) {
        const auto item = Bundle::at(loginItems.filePath(name));
        if (!item || item->identifier() != m_identifier) {
            continue;
        }
        const QString executable =
            item->infoDictionary().value(QStringLiteral("CFBundleExecutable")).toString();
        const QFileInfo program(item->contentsPath() + QStringLiteral("/MacOS/") + executable);
        if (!executable.isEmpty() && !executable.contains(QLatin1Char('/')) && program.isFile() &&
            program.isExecutable()) {
            return program.absoluteFilePath();
        }
    }
    return std::nullopt;
}

bool StartAtLoginController::startAtLogin() const
{
    // A link there is the user's own doing and the desktop follows it.
    const auto contents =
        SafeRead::readRegularFile(entryPath(), entryLimit, SafeRead::Links::Follow).value();
    if (!contents) {
        return false;
    }
    return !entrySays(*contents, "Hidden", "true") &&
           !entrySays(*contents, "X-GNOME-Autostart-enabled", "false");
}

Result<Unit> StartAtLoginController::setStartAtLogin(bool enabled)
{
    return enabled ? writeEntry() : removeEntry();
}

QString StartAtLoginController::execValue(const QString &program)
{
    // Inside quotes, ", `, $ and \ take a backslash; then the value as a
    // whole is a string, whose own escape doubles every backslash. A
    // literal % is written %%.
    QString quoted;
    for (const QChar c : program) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
            c == QLatin1Char('\\')) {
            quoted += QLatin1Char('\\');
        }
        quoted += c;
    }
    quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    quoted.replace(QLatin1Char('%'), QStringLiteral("%%"));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

Result<Unit> StartAtLoginController::writeEntry()
{
    const auto program = helperProgram();
    if (!program) {
        return failure(QStringLiteral("The login helper %1 is missing from the application.")
                           .arg(m_identifier));
    }
    if (program->contains(QLatin1Char('\n')) || program->contains(QLatin1Char('\r'))) {
        return failure(QStringLiteral("The application's path cannot be written into an "
                                      "autostart entry (it holds a line break)."));
    }
    const QString path = entryPath();
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        return failure(QStringLiteral("The autostart folder %1 cannot be made.").arg(folder));
    }
    const QByteArray contents = "[Desktop Entry]\n"
                                "Type=Application\n"
                                "Name=Marrowby\n"
                                "Comment=Starts Marrowby when you log in\n"
                                "Exec=" +
                                execValue(*program).toUtf8() +
                                "\n"
                                "Terminal=false\n"
                                "NoDisplay=true\n"
                                "X-GNOME-Autostart-enabled=true\n";
    // A link at the entry's name would be written through (the save file
    // follows it): the link goes, and the entry is made in its place.
    if (QFileInfo(path).isSymLink() && ::unlink(QFile::encodeName(path).constData()) != 0) {
        return failure(QStringLiteral("The autostart entry %1 cannot be replaced: %2")
                           .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    }
    // Written beside and renamed over: the entry is whole or absent.
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size() ||
        !file.commit()) {
        return failure(QStringLiteral("The autostart entry %1 cannot be written: %2")
                           .arg(path, file.errorString()));
    }
    return Result<Unit>::success(Unit());
}

Result<Unit> StartAtLoginController::removeEntry()
{
    const QString path = entryPath();
    // unlink never follows a link: a linked entry loses the link only.
    if (::unlink(QFile::encodeName(path).constData()) != 0 && errno != ENOENT) {
        return failure(QStringLiteral("The autostart entry %1 cannot be removed: %2")
                           .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    }
    return Result<Unit>::success(Unit());
}
