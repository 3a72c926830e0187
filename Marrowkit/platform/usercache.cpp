#include "Marrowkit/platform/usercache.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace UserCache {

namespace {

Error cacheError(const QString &path, const QString &reason)
{
    Error error =
        resultError(QStringLiteral("Cache folder %1 cannot be used: %2").arg(path, reason));
    error.userInfo.insert(Error::filePathKey(), path);
    error.userInfo.insert(Error::localizedFailureReasonKey(), reason);
    return error;
}

// Makes `path` (mode 0700) unless it exists, then checks that it is a real
// folder of ours that nobody else can write.
std::optional<QString> privateFolderProblem(const QString &path)
{
    const QByteArray encoded = QFile::encodeName(path);
    if (::mkdir(encoded.constData(), 0700) != 0 && errno != EEXIST) {
        return QString::fromLocal8Bit(std::strerror(errno));
    }
    struct stat info = {};
    if (::lstat(encoded.constData(), &info) != 0) {
        return QString::fromLocal8Bit(std::strerror(errno));
    }
    if (S_ISLNK(info.st_mode)) {
        return QStringLiteral("it is a link");
    }
    if (!S_ISDIR(info.st_mode)) {
        return QStringLiteral("not a folder");
    }
    if (info.st_uid != ::getuid()) {
        return QStringLiteral("it belongs to another user");
    }
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return QStringLiteral("others may write to it");
    }
    return std::nullopt;
}

} // namespace

bool isPlainName(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

Result<QString> folder(const QString &name)
{
    if (!isPlainName(name)) {
        return Result<QString>::failure(cacheError(name, QStringLiteral("not a plain name")));
    }
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (base.isEmpty() || !QDir().mkpath(base)) {
        return Result<QString>::failure(
            cacheError(base, QStringLiteral("no cache folder for this user")));
    }
    QString path = base;
    for (const QString &component : {QStringLiteral("Marrowby"), name}) {
        path += QLatin1Char('/') + component;
        if (auto problem = privateFolderProblem(path)) {
            return Result<QString>::failure(cacheError(path, *problem));
        }
    }
    return Result<QString>::success(path);
}

Result<Unit> writeAtomically(const QString &folder, const QString &fileName, const QByteArray &data)
{
    const QString path = folder + QLatin1Char('/') + fileName;
    if (!isPlainName(fileName)) {
        return Result<Unit>::failure(cacheError(path, QStringLiteral("not a plain name")));
    }
    // A uniquely named temporary file beside the target, renamed over it.
    // Not QSaveFile: it resolves a link at the name and writes to its target,
    // where rename(2) replaces the link itself.
    QTemporaryFile temporary(folder + QLatin1Char('/') + QLatin1Char('.') + fileName +
                             QStringLiteral(".XXXXXX"));
    if (!temporary.open() || temporary.write(data) != data.size() || !temporary.flush()) {
        return Result<Unit>::failure(cacheError(path, temporary.errorString()));
    }
    if (::rename(QFile::encodeName(temporary.fileName()).constData(),
                 QFile::encodeName(path).constData()) != 0) {
        return Result<Unit>::failure(
            cacheError(path, QString::fromLocal8Bit(std::strerror(errno))));
    }
    temporary.setAutoRemove(false);
    return Result<Unit>::success(Unit());
}

} // namespace UserCache
