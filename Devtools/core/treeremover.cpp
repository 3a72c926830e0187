#include "treeremover.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace {

// Folders kept open at once; deeper trees reopen the rest through "..".
constexpr int openFolderLimit = 16;

void setError(QString *error, const QString &text)
{
    if (error) {
        *error = text;
    }
}

struct Folder
{
    int fd = -1; // -1 while closed to save descriptors
    dev_t device = 0;
    ino_t inode = 0;
    QByteArray name;               // its name in its parent
    std::vector<QByteArray> names; // entries not yet removed
};

class Removal
{
public:
    Removal(int baseFd, QString path) : m_baseFd(baseFd), m_path(std::move(path)) {}
    ~Removal()
    {
        for (const Folder &folder : m_stack) {
            if (folder.fd >= 0) {
                ::close(folder.fd);
            }
        }
    }
    Removal(const Removal &) = delete;
    Removal &operator=(const Removal &) = delete;

    bool run(const QByteArray &name, QString *error);

private:
    bool fail(const QByteArray &name, const QString &why, QString *error) const;
    bool enter(int parentFd, const QByteArray &name, const struct stat &seen, QString *error);
    int parentDescriptor(QString *error);
    bool removeEntry(QString *error);
    bool leaveFolder(QString *error);
    void closeFarFolders();

    int m_baseFd;
    QString m_path;
    dev_t m_device = 0;
    std::vector<Folder> m_stack;
};

bool Removal::fail(const QByteArray &name, const QString &why, QString *error) const
{
    setError(
        error,
        QStringLiteral("cannot remove %1 (at %2): %3").arg(m_path, QFile::decodeName(name), why));
    return false;
}

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Opens a folder seen by lstat, lists it and pushes it. The open refuses a
// link that replaced the folder since; a different inode means the same.
bool Removal::enter(int parentFd, const QByteArray &name, const struct stat &seen, QString *error)
{
    if (seen.st_dev != m_device) {
        return fail(name, QStringLiteral("a file system is mounted there"), error);
    }
    if ((seen.st_mode & S_IRWXU) != S_IRWXU && seen.st_uid == ::geteuid()) {
        // Emptying needs read, write and search permission; it goes anyway.
        ::fchmodat(parentFd, name.constData(), (seen.st_mode & 07777) | S_IRWXU,
                   AT_SYMLINK_NOFOLLOW);
    }
    Folder folder;
    folder.name = name;
    folder.fd = ::openat(parentFd, name.constData(),
                         O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    struct stat opened
    {
    };
    if (folder.fd < 0 || ::fstat(folder.fd, &opened) != 0) {
        const QString why = systemError();
        if (folder.fd >= 0) {
            ::close(folder.fd);
        }
        return fail(name, why, error);
    }
    if (opened.st_dev != seen.st_dev || opened.st_ino != seen.st_ino) {
        ::close(folder.fd);
        return fail(name, QStringLiteral("replaced while being removed"), error);
    }
    folder.device = opened.st_dev;
    folder.inode = opened.st_ino;
    // fdopendir takes the descriptor it is given: hand it a duplicate.
    const int listFd = ::fcntl(folder.fd, F_DUPFD_CLOEXEC, 0);
    DIR *dir = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
    if (!dir) {
        const QString why = systemError();
        if (listFd >= 0) {
            ::close(listFd);
        }
        ::close(folder.fd);
        return fail(name, why, error);
    }
    for (;;) {
        errno = 0;
        const dirent *entry = ::readdir(dir);
        if (!entry) {
            break;
        }
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            folder.names.emplace_back(entry->d_name);
        }
    }
    const int listError = errno;
    ::closedir(dir);
    if (listError != 0) {
        ::close(folder.fd);
        return fail(name, QString::fromLocal8Bit(std::strerror(listError)), error);
    }
    m_stack.push_back(std::move(folder));
    closeFarFolders();
    return true;
}

void Removal::closeFarFolders()
{
    int open = 0;
    for (auto it = m_stack.rbegin(); it != m_stack.rend(); ++it) {
        if (it->fd >= 0 && ++open > openFolderLimit) {
            ::close(it->fd);
            it->fd = -1;
        }
    }
}

// The descriptor of the folder that holds the top of the stack, reopened
// through ".." (and checked to be the same folder) when it was closed.
int Removal::parentDescriptor(QString *error)
{
    if (m_stack.size() < 2) {
        return m_baseFd;
    }
    Folder &parent = m_stack[m_stack.size() - 2];
    if (parent.fd >= 0) {
        return parent.fd;
    }
    const int fd = ::openat(m_stack.back().fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat info
    {
    };
    if (fd < 0 || ::fstat(fd, &info) != 0 || info.st_dev != parent.device ||
        info.st_ino != parent.inode) {
        if (fd >= 0) {
            ::close(fd);
        }
        fail(parent.name, QStringLiteral("moved while being removed"), error);
        return -1;
    }
    parent.fd = fd;
    return fd;
}

// Removes the next entry of the top folder, or descends into it.
bool Removal::removeEntry(QString *error)
{
    Folder &top = m_stack.back();
    const QByteArray name = std::move(top.names.back());
    top.names.pop_back();
    struct stat info
    {
    };
    if (::fstatat(top.fd, name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno == ENOENT || fail(name, systemError(), error);
    }
    if (S_ISDIR(info.st_mode)) {
        return enter(top.fd, name, info, error);
    }
    if (::unlinkat(top.fd, name.constData(), 0) != 0 && errno != ENOENT) {
        return fail(name, systemError(), error);
    }
    return true;
}

// The top folder is empty: remove it from its parent.
bool Removal::leaveFolder(QString *error)
{
    const int parentFd = parentDescriptor(error);
    if (parentFd < 0) {
        return false;
    }
    Folder &top = m_stack.back();
    ::close(top.fd);
    top.fd = -1;
    if (::unlinkat(parentFd, top.name.constData(), AT_REMOVEDIR) != 0 && errno != ENOENT) {
        return fail(top.name, systemError(), error);
    }
    m_stack.pop_back();
    return true;
}

bool Removal::run(const QByteArray &name, QString *error)
{
    struct stat info
    {
    };
    if (::fstatat(m_baseFd, name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno == ENOENT || fail(name, systemError(), error);
    }
    if (!S_ISDIR(info.st_mode)) {
        return ::unlinkat(m_baseFd, name.constData(), 0) == 0 || errno == ENOENT ||
               fail(name, systemError(), error);
    }
    m_device = info.st_dev;
    if (!enter(m_baseFd, name, info, error)) {
        return false;
    }
    while (!m_stack.empty()) {
        const bool ok = m_stack.back().names.empty() ? leaveFolder(error) : removeEntry(error);
        if (!ok) {
            return false;
        }
    }
    return true;
}

} // namespace

namespace TreeRemover {

bool remove(const QString &path, QString *error)
{
    const QFileInfo info(path);
    const QByteArray name = QFile::encodeName(info.fileName());
    if (name.isEmpty() || name == "." || name == "..") {
        setError(error, QStringLiteral("cannot remove %1: not a name in a folder").arg(path));
        return false;
    }
    // The folder that holds the tree is the caller's: links up to it count.
    const int baseFd = ::open(QFile::encodeName(info.absolutePath()).constData(),
                              O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (baseFd < 0) {
        if (errno == ENOENT) {
            return true;
        }
        setError(error, QStringLiteral("cannot remove %1: %2").arg(path, systemError()));
        return false;
    }
    bool removed = false;
    {
        Removal removal(baseFd, path);
        removed = removal.run(name, error);
    }
    ::close(baseFd);
    return removed;
}

} // namespace TreeRemover
