#include "Marrowkit/platform/foldersize.h"

#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

// Deeper trees are not walked further: an app folder never nests this deep,
// and each level keeps one descriptor open.
constexpr int maximumDepth = 256;

qint64 regularFileSize(int folder, const char *name)
{
    struct stat info;
    if (fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode)) {
        return 0;
    }
    return qint64(info.st_size);
}

bool isFolder(int folder, const char *name)
{
    struct stat info;
    return fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode);
}

// Sums the folder open as `fd` (and closes it). Subfolders are walked after
// the folder's own listing is read, so only one descriptor per level is open.
qint64 sumFolder(int fd, int depth)
{
    DIR *dir = fdopendir(fd);
    if (!dir) {
        close(fd);
        return 0;
    }
    qint64 total = 0;
    std::vector<std::string> subfolders;
    while (const dirent *entry = readdir(dir)) {
        const char *name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) {
            continue;
        }
        switch (entry->d_type) {
        case DT_REG:
            total += regularFileSize(dirfd(dir), name);
            break;
        case DT_DIR:
            subfolders.emplace_back(name);
            break;
        case DT_UNKNOWN: // file systems that do not report types
            if (isFolder(dirfd(dir), name)) {
                subfolders.emplace_back(name);
            } else {
                total += regularFileSize(dirfd(dir), name);
            }
            break;
        default:
            break;
        }
    }
    if (depth < maximumDepth) {
        for (const std::string &name : subfolders) {
            const int child =
                openat(dirfd(dir), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child >= 0) {
                total += sumFolder(child, depth + 1);
            }
        }
    }
    closedir(dir);
    return total;
}

} // namespace

qint64 sizeOfFolderAtURL(const QUrl &url)
{
    if (!url.isLocalFile()) {
        return 0;
    }
    const QByteArray path = QFile::encodeName(url.toLocalFile());
    if (path.isEmpty()) {
        return 0;
    }
    const int fd = open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    return sumFolder(fd, 0);
}

std::optional<QDateTime> modifiedDateForFolderAtURL(const QUrl &url)
{
    if (!url.isLocalFile() || url.toLocalFile().isEmpty()) {
        return std::nullopt;
    }
    struct stat info;
    if (lstat(QFile::encodeName(url.toLocalFile()).constData(), &info) != 0) {
        return std::nullopt;
    }
    const qint64 msecs = qint64(info.st_mtim.tv_sec) * 1000 + info.st_mtim.tv_nsec / 1000000;
    return QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC);
}
