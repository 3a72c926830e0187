#include "xcodeselect.h"

#include "console.h"
#include "fileops.h"
#include "paths.h"
#include "plistio.h"
#include "simidentifiers.h"
#include "xcodelayout.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace {

int usage()
{
    return Console::fail(QStringLiteral(
        "Usage: xcode-select [options]\n"
        "  -p, --print-path        print the path of the active developer directory\n"
        "  -s <path>, --switch <path>  set the path for the active developer directory\n"
        "  -r, --reset             unset the active developer directory"));
}

bool isXcodeApp(const QString &app)
{
    const auto info = PlistIO::readDictionary(app + QStringLiteral("/Contents/Info.plist"),
                                              PlistIO::bundleSizeLimit);
    return info && info->value(QStringLiteral("CFBundleIdentifier")).toString() ==
                       XcodeLayout::xcodeBundleIdentifier();
}

} // namespace

namespace XcodeSelect {

std::optional<QString> developerDirectoryFor(const QString &path)
{
    if (path.isEmpty()) {
        return std::nullopt;
    }
    QString clean = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    QString app = clean;
    if (clean.endsWith(QLatin1String("/Contents/Developer"))) {
        app = XcodeLayout::appOfDeveloperDirectory(clean);
    }
    if (!app.endsWith(QLatin1String(".app")) || !isXcodeApp(app)) {
        return std::nullopt;
    }
    const QString developer = XcodeLayout::developerDirectory(app);
    if (!QFileInfo(developer).isDir()) {
        return std::nullopt;
    }
    return developer;
}

std::optional<QString> selectedDeveloperDirectory()
{
    const QByteArray environment = qgetenv("DEVELOPER_DIR");
    if (!environment.isEmpty()) {
        const QString path = QFile::decodeName(environment);
        return developerDirectoryFor(path).value_or(QDir::cleanPath(path));
    }
    const QString target = QFileInfo(DevtoolsPaths::selectionLinkPath()).symLinkTarget();
    if (target.isEmpty()) {
        return std::nullopt;
    }
    return target;
}

bool select(const QString &developerDirectory, QString *error)
{
    const QString link = DevtoolsPaths::selectionLinkPath();
    const QString folder = QFileInfo(link).absolutePath();
    QDir().mkpath(folder);
    // A new link under a hidden name, renamed over the old one: readers see
    // the old selection or the new one, never none.
    const QString temporary =
        folder + QStringLiteral("/.xcode_select_link-") + SimIdentifiers::makeUuidText();
    if (::symlink(QFile::encodeName(developerDirectory).constData(),
                  QFile::encodeName(temporary).constData()) != 0) {
        if (error) {
            *error = QStringLiteral("cannot write %1").arg(link);
        }
        return false;
    }
    if (!FileOps::renamePath(temporary, link, error)) {
        QFile::remove(temporary);
        return false;
    }
    return true;
}

int run(const QStringList &arguments)
{
    if (arguments.isEmpty()) {
        return usage();
    }
    const QString &option = arguments.first();
    if ((option == QLatin1String("-p") || option == QLatin1String("--print-path")) &&
        arguments.size() == 1) {
        const auto selected = selectedDeveloperDirectory();
        if (!selected) {
            return Console::fail(
                QStringLiteral("xcode-select: error: unable to get active developer directory, "
                               "use `xcode-select --switch path/to/Xcode.app` to set one"),
                2);
        }
        Console::out(*selected);
        return 0;
    }
    if ((option == QLatin1String("-s") || option == QLatin1String("--switch")) &&
        arguments.size() == 2) {
        const auto developer = developerDirectoryFor(arguments.at(1));
        if (!developer) {
            return Console::fail(
                QStringLiteral("xcode-select: error: invalid developer directory '%1'")
                    .arg(arguments.at(1)));
        }
        QString error;
        if (!select(*developer, &error)) {
            return Console::fail(QStringLiteral("xcode-select: error: %1").arg(error));
        }
        return 0;
    }
    if ((option == QLatin1String("-r") || option == QLatin1String("--reset")) &&
        arguments.size() == 1) {
        QFile::remove(DevtoolsPaths::selectionLinkPath());
        return 0;
    }
    return usage();
}

} // namespace XcodeSelect
