#include "fileops.h"

#include "simidentifiers.h"
#include "treeremover.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
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
bool copyRegularFile(const QString &source, const QString &destination, bool followLink,
                     QString *error);

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
    // Checked above, but a link may have taken the file's place since.
    return copyRegularFile(source, destination, false, error);
}

bool copyRegularFile(const QString &source, const QString &destination, bool followLink,
                     QString *error)
{
    // Non-blocking, so that a FIFO put in the file's place cannot stall the open.
    const int in =
        ::open(QFile::encodeName(source).constData(),
               O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW));
    struct stat info
    {
    };
    if (in < 0 || ::fstat(in, &info) != 0 || !S_ISREG(info.st_mode)) {
        setError(error,
                 QStringLiteral("%1: cannot read: %2")
                     .arg(source, in < 0 ? systemError() : QStringLiteral("not a regular file")));
        if (in >= 0) {
            ::close(in);
        }
        return false;
    }
    const int out = ::open(QFile::encodeName(destination).constData(),
                           O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, info.st_mode & 07777);
    if (out < 0) {
        setError(error, QStringLiteral("%1: cannot create: %2").arg(destination, systemError()));
        ::close(in);
        return false;
    }
    off_t remaining = info.st_size;
    bool ok = true;
    while (remaining > 0) {
        const ssize_t copied = ::sendfile(out, in, nullptr, size_t(remaining));
        if (copied < 0 && errno == EINTR) {
            continue;
        }
        if (copied <= 0) {
            ok = false;
            break;
        }
        remaining -= copied;
    }
    ok = ok && ::fchmod(out, info.st_mode & 07777) == 0;
    if (!ok) {
        setError(error, QStringLiteral("%1: cannot copy: %2").arg(source, systemError()));
    }
    ::close(in);
    ::close(out);
    if (!ok) {
        ::unlink(QFile::encodeName(destination).constData());
    }
    return ok;
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
    // Out of sight already; what cannot be deleted stays hidden.
    TreeRemover::remove(hidden, nullptr);
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

bool copyFile(const QString &source, const QString &destination, QString *error)
{
    return copyRegularFile(source, destination, true, error);
}

bool writeAtomically(const QString &path, const QByteArray &data, QString *error)
{
    const QFileInfo info(path);
    QByteArray temporary =
        QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName()) + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        setError(error, QStringLiteral("cannot write %1: %2").arg(path, systemError()));
        return false;
    }
    qsizetype written = 0;
    while (written < data.size()) {
        const ssize_t chunk =
            ::write(fd, data.constData() + written, size_t(data.size() - written));
        if (chunk < 0 && errno == EINTR) {
            continue;
        }
        if (chunk <= 0) {
            break;
        }
        written += chunk;
    }
    const bool complete = written == data.size() && ::fchmod(fd, 0644) == 0;
    const QString reason = systemError();
    ::close(fd);
    if (!complete || std::rename(temporary.constData(), QFile::encodeName(path).constData()) != 0) {
        setError(
            error,
            QStringLiteral("cannot write %1: %2").arg(path, complete ? systemError() : reason));
        ::unlink(temporary.constData());
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
