#include "Marrowkit/platform/filemanager.h"

#include "Marrowkit/platform/filesystemchangenotifier.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

const QString domain = QStringLiteral("NSFileManagerErrorDomain");

Error fileManagerError(int code, const QString &reason, const QString &path = {},
                       const QString &underlying = {})
{
    Error error{domain, code, {}};
    error.userInfo.insert(Error::localizedFailureReasonKey(), reason);
    if (!path.isEmpty()) {
        error.userInfo.insert(Error::filePathKey(), path);
    }
    if (!underlying.isEmpty()) {
        error.userInfo.insert(Error::underlyingErrorKey(), underlying);
    }
    return error;
}

Error couldNotRemove(int code, const QString &path, const QString &underlying)
{
    return fileManagerError(code, QStringLiteral("Could not remove url."), path, underlying);
}

// The home Trash (~/.local/share/Trash). Qt 6.4 trashes into "./files" when
// the data folder is missing, so the folder is made first.
QString homeTrash()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    QDir().mkpath(data);
    return data + QStringLiteral("/Trash");
}

// Qt 6.4 retries the creation of an item's .trashinfo forever when it fails
// for any reason but an existing file. Refuse the cases where it would fail:
// a name too long for the info file, and a home Trash whose info folder
// cannot take a new file. Returns 0 when Qt may go ahead.
int trashInfoObstacle(const QString &itemPath)
{
    const QByteArray infoName =
        QFile::encodeName(QFileInfo(itemPath).fileName()) + QByteArrayLiteral(".trashinfo");
    const QString info = homeTrash() + QStringLiteral("/info");
    QDir().mkpath(info);
    const QByteArray infoPath = QFile::encodeName(info);
    const long nameMax = pathconf(infoPath.constData(), _PC_NAME_MAX);
    if (infoName.size() > (nameMax > 0 ? nameMax : 255)) {
        return ENAMETOOLONG;
    }
    if (access(infoPath.constData(), W_OK) != 0) {
        return errno;
    }
    struct statvfs space = {};
    if (statvfs(infoPath.constData(), &space) == 0 &&
        (space.f_bavail == 0 || space.f_favail == 0)) {
        return ENOSPC;
    }
    return 0;
}

Result<Unit> moveToTrash(const QString &itemPath)
{
    if (const int obstacle = trashInfoObstacle(itemPath)) {
        return Result<Unit>::failure(
            couldNotRemove(obstacle, itemPath, QString::fromLocal8Bit(strerror(obstacle))));
    }
    QFile item(itemPath);
    if (!item.moveToTrash()) {
        return Result<Unit>::failure(
            couldNotRemove(static_cast<int>(item.error()), itemPath, item.errorString()));
    }
    return Result<Unit>::success({});
}

} // namespace

Result<Unit> removeContentsOfDirectoryAtURL(const QUrl &url)
{
    const QString path = url.isLocalFile() ? url.toLocalFile() : QString();
    if (path.isEmpty()) {
        return Result<Unit>::failure(fileManagerError(1, QStringLiteral("URL has no path.")));
    }
    struct stat info = {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        // A folder that is a link is not emptied: its contents live elsewhere.
        if (S_ISLNK(info.st_mode)) {
            return Result<Unit>::failure(
                couldNotRemove(ELOOP, path, QStringLiteral("The folder is a symbolic link.")));
        }
        return Result<Unit>::success({}); // nothing to empty
    }
    const QDir dir(path);
    if (!dir.isReadable()) {
        return Result<Unit>::failure(couldNotRemove(EACCES, path, QString()));
    }
    // Only the top level: an item that is moved takes everything inside it
    // along, so a deeper walk would find nothing left to visit.
    const QStringList entries = dir.entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &entry : entries) {
        if (auto moved = moveToTrash(path + QLatin1Char('/') + entry); moved.isFailure()) {
            return moved;
        }
        FileSystemChangeNotifier::noteFileSystemChanged(path);
    }
    return Result<Unit>::success({});
}
