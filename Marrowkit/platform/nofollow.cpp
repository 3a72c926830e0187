#include "Marrowkit/platform/nofollow.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace NoFollow {

namespace {

Kind kindOf(mode_t mode)
{
    if (S_ISDIR(mode)) {
        return Kind::Folder;
    }
    return S_ISREG(mode) ? Kind::File : Kind::Other;
}

} // namespace

bool isFolder(const QString &path)
{
    struct stat info = {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool isFolderBelow(const QString &base, const QString &relative)
{
    QString path = base;
    for (const QString &component : relative.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (component == QLatin1String("..")) {
            return false;
        }
        path += QLatin1Char('/') + component;
        if (!isFolder(path)) {
            return false;
        }
    }
    return true;
}

QList<Entry> entries(const QString &path, Hidden hidden)
{
    QList<Entry> found;
    // O_NOFOLLOW: a folder that is a link does not open, so it is not listed.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return found;
    }
    DIR *dir = ::fdopendir(fd);
    if (dir == nullptr) {
        ::close(fd);
        return found;
    }
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == ".." || (hidden == Hidden::Skip && name.startsWith('.'))) {
            continue;
        }
        struct stat info = {};
        const bool known =
            ::fstatat(::dirfd(dir), name.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0;
        found.append({QFile::decodeName(name), known ? kindOf(info.st_mode) : Kind::Other});
    }
    ::closedir(dir);
    std::sort(found.begin(), found.end(), [](const Entry &a, const Entry &b) {
        return QString::compare(a.name, b.name, Qt::CaseSensitive) < 0;
    });
    return found;
}

} // namespace NoFollow
