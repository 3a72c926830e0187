#include "fileops.h"

#include "simidentifiers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

constexpr int maximumDepth = 64;

void setError(QString *error, const QString &text)
{
    if (error) {
        *error = text;
    }
}

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool copyEntry(const QString &source, const QString &destination, int depth, QString *error);

bool copyFolder(const QString &source, const QString &destination, int depth, QString *error)
{
    if (depth > maximumDepth) {
        setError(error, QStringLiteral("%1: folders nested too deeply").arg(source));
        return false;
    }
    if (!QDir().mkdir(destination)) {
        setError(error, QStringLiteral("%1: cannot create folder").arg(destination));
        return false;
    }
    const QDir dir(source);
    const auto entries =
        dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        if (!copyEntry(dir.filePath(entry), destination + QLatin1Char('/') + entry, depth + 1,
                       error)) {
            return false;
        }
    }
    QFile::setPermissions(destination, QFileInfo(source).permissions());
    return true;
}

bool copyEntry(const QString &source, const QString &destination, int depth, QString *error)
{
    const QFileInfo info(source);
    if (info.isSymLink()) {
        // Keep the link text as it was (QFile::link would make it absolute).
        QByteArray text(4096, '\0');
        const ssize_t length =
            ::readlink(QFile::encodeName(source).constData(), text.data(), size_t(text.size() - 1));
        if (length < 0 ||
            ::symlink(text.left(length).constData(), QFile::encodeName(destination).constData())) {
            setError(error, QStringLiteral("%1: cannot copy link: %2").arg(source, systemError()));
            return false;
        }
        return true;
    }
    if (info.isDir()) {
        return copyFolder(source, destination, depth, error);
    }
    if (!info.isFile()) {
        setError(error, QStringLiteral("%1: not a regular file or folder").arg(source));
        return false;
    }
    if (!QFile::copy(source, destination)) {
        setError(error, QStringLiteral("%1: cannot copy").arg(source));
        return false;
    }
    return true;
}

} // namespace

namespace FileOps {

bool copyTree(const QString &source, const QString &destination, QString *error)
{
    if (QFileInfo::exists(destination) || QFileInfo(destination).isSymLink()) {
        setError(error, QStringLiteral("%1: already exists").arg(destination));
        return false;
    }
    if (!QFileInfo(source).isDir()) {
        setError(error, QStringLiteral("%1: not a folder").arg(source));
        return false;
    }
    return copyFolder(source, destination, 0, error);
}

bool removeTree(const QString &path, const QString &scratchFolder, QString *error)
{
    const QString hidden = stagingPath(scratchFolder);
    if (!QDir().mkpath(scratchFolder) || !renamePath(path, hidden, error)) {
        return false;
    }
    QDir(hidden).removeRecursively();
    return true;
}

QString stagingPath(const QString &folder)
{
    return folder + QStringLiteral("/.staging-") + SimIdentifiers::makeUuidText();
}

bool renamePath(const QString &from, const QString &to, QString *error)
{
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0) {
        setError(error, QStringLiteral("cannot move %1 to %2: %3").arg(from, to, systemError()));
        return false;
    }
    return true;
}

bool makeFolders(const QString &root, const QStringList &relativeFolders, QString *error)
{
    for (const QString &folder : relativeFolders) {
        if (!QDir().mkpath(root + QLatin1Char('/') + folder)) {
            setError(error, QStringLiteral("cannot create %1/%2").arg(root, folder));
            return false;
        }
    }
    return true;
}

} // namespace FileOps
