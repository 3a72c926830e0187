// The writable areas behave like the disk: every operation runs once inside a
// data folder through the volume and once directly in the same data folder,
// and the two must report the same results, error numbers and attributes.
#include "mountfixture.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

std::string result(long value)
{
    return value < 0 ? std::string("-1 ") + std::strerror(errno) : std::to_string(value);
}

// What a reader of the item would see, without its inode number or times.
std::string describe(const std::string &path)
{
    struct stat st = {};
    if (::lstat(path.c_str(), &st) != 0) {
        return std::string("[absent: ") + std::strerror(errno) + "]";
    }
    std::string text = "[mode " + std::to_string(st.st_mode) + " nlink " +
                       std::to_string(S_ISDIR(st.st_mode) ? 0 : st.st_nlink) + " uid " +
                       std::to_string(st.st_uid) + " size " +
                       std::to_string(S_ISDIR(st.st_mode) ? 0 : st.st_size);
    if (S_ISREG(st.st_mode) && st.st_size < 256) {
        std::string contents(size_t(st.st_size), '\0');
        const int fd = ::open(path.c_str(), O_RDONLY);
        if (fd >= 0) {
            contents.resize(
                size_t(std::max<ssize_t>(0, ::read(fd, contents.data(), contents.size()))));
            ::close(fd);
        }
        text += " \"" + contents + "\"";
    }
    if (S_ISLNK(st.st_mode)) {
        char target[256] = {};
        static_cast<void>(::readlink(path.c_str(), target, sizeof target - 1));
        text += std::string(" -> ") + target;
    }
    if (S_ISDIR(st.st_mode)) {
        std::vector<std::string> names;
        if (DIR *dir = ::opendir(path.c_str())) {
            while (const dirent *entry = ::readdir(dir)) {
                names.emplace_back(entry->d_name);
            }
            ::closedir(dir);
        }
        std::sort(names.begin(), names.end());
        for (const std::string &name : names) {
            text += " " + name;
        }
    }
    return text + "]";
}

class PosixSideBySide : public MountedVolume
{
protected:
    void SetUp() override
    {
        MountedVolume::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        const QString app = appFolderPath(QStringLiteral("Birdwatch"));
        const QString sandbox = realSandbox(QStringLiteral("Birdwatch"));
        ASSERT_FALSE(sandbox.isEmpty());
        ASSERT_TRUE(QDir(sandbox).mkdir(QStringLiteral("direct")));
        ASSERT_TRUE(QDir(sandbox).mkdir(QStringLiteral("throughvolume")));
        m_direct = QFile::encodeName(sandbox + QStringLiteral("/direct")).toStdString();
        m_mounted = QFile::encodeName(onMount(app + QStringLiteral("/Sandbox/throughvolume")))
                        .toStdString();
    }

    // Runs `operation` in both folders and expects the same account of it.
    void same(const char *what,
              const std::function<std::string(const std::string &root)> &operation)
    {
        const std::string direct = operation(m_direct);
        const std::string mounted = operation(m_mounted);
        EXPECT_EQ(mounted, direct) << what;
    }

    std::string m_direct;
    std::string m_mounted;
};

// Joins accounts in the order written: the operands of << are sequenced,
// those of + are not.
struct Seq
{
    std::string text;
    Seq &operator<<(const std::string &more)
    {
        text += more;
        return *this;
    }
    operator std::string() const { return text; }
};

std::string writeFile(const std::string &path, const std::string &text, int flags)
{
    const int fd = ::open(path.c_str(), flags, 0644);
    if (fd < 0) {
        return result(fd);
    }
    const ssize_t written = ::write(fd, text.data(), text.size());
    std::string outcome = result(written);
    ::close(fd);
    return outcome;
}

} // namespace

TEST_F(PosixSideBySide, FilesCreationWritingAndTruncation)
{
    same("create exclusive", [](const std::string &root) {
        return Seq() << writeFile(root + "/f", "hello", O_CREAT | O_EXCL | O_WRONLY)
                     << describe(root + "/f");
    });
    same("exclusive onto an existing file", [](const std::string &root) {
        return Seq() << writeFile(root + "/f", "x", O_CREAT | O_EXCL | O_WRONLY);
    });
    same("append", [](const std::string &root) {
        return Seq() << writeFile(root + "/f", " world", O_WRONLY | O_APPEND)
                     << describe(root + "/f");
    });
    same("positioned write on an appending descriptor", [](const std::string &root) {
        const int fd = ::open((root + "/f").c_str(), O_WRONLY | O_APPEND);
        const std::string outcome = result(::pwrite(fd, "!", 1, 0));
        ::close(fd);
        return Seq() << outcome << describe(root + "/f");
    });
    same("truncate", [](const std::string &root) {
        return Seq() << result(::truncate((root + "/f").c_str(), 3)) << describe(root + "/f");
    });
    same("ftruncate and fstat at once", [](const std::string &root) {
        const int fd = ::open((root + "/f").c_str(), O_RDWR);
        std::string outcome = result(::ftruncate(fd, 10));
        struct stat st = {};
        ::fstat(fd, &st);
        ::close(fd);
        return outcome + " " + std::to_string(st.st_size);
    });
    same("open with O_TRUNC", [](const std::string &root) {
        return Seq() << writeFile(root + "/f", "", O_WRONLY | O_TRUNC) << describe(root + "/f");
    });
    same("fallocate and fsync", [](const std::string &root) {
        const int fd = ::open((root + "/f").c_str(), O_RDWR);
        std::string outcome = Seq() << result(::fallocate(fd, 0, 0, 4096)) << result(::fsync(fd))
                                    << result(::fdatasync(fd));
        ::close(fd);
        return Seq() << outcome << describe(root + "/f");
    });
    same("open a missing file", [](const std::string &root) {
        return Seq() << result(::open((root + "/missing").c_str(), O_RDONLY));
    });
    same("names of 255 and 256 bytes", [](const std::string &root) {
        return Seq() << writeFile(root + "/" + std::string(255, 'n'), "x", O_CREAT | O_WRONLY)
                     << writeFile(root + "/" + std::string(256, 'n'), "x", O_CREAT | O_WRONLY);
    });
    same("deep paths", [](const std::string &root) {
        std::string path = root;
        std::string outcome;
        for (int depth = 0; depth < 40; ++depth) {
            path += "/level" + std::to_string(depth);
            outcome += result(::mkdir(path.c_str(), 0755));
        }
        return Seq() << outcome << writeFile(path + "/leaf", "deep", O_CREAT | O_WRONLY)
                     << describe(path + "/leaf");
    });
}

TEST_F(PosixSideBySide, RenamesInEveryVariant)
{
    same("rename onto an existing file", [](const std::string &root) {
        writeFile(root + "/a", "A", O_CREAT | O_WRONLY);
        writeFile(root + "/b", "B", O_CREAT | O_WRONLY);
        return Seq() << result(::rename((root + "/a").c_str(), (root + "/b").c_str()))
                     << describe(root);
    });
    same("rename a folder onto a folder that is not empty", [](const std::string &root) {
        ::mkdir((root + "/d1").c_str(), 0755);
        ::mkdir((root + "/d2").c_str(), 0755);
        writeFile(root + "/d2/x", "x", O_CREAT | O_WRONLY);
        return Seq() << result(::rename((root + "/d1").c_str(), (root + "/d2").c_str()));
    });
    same("rename a folder onto an empty folder, then use its contents",
         [](const std::string &root) {
             ::mkdir((root + "/d3").c_str(), 0755);
             return Seq() << result(::rename((root + "/d2").c_str(), (root + "/d3").c_str()))
                          << describe(root + "/d3/x") << describe(root + "/d2");
         });
    same("rename a file onto a folder", [](const std::string &root) {
        return Seq() << result(::rename((root + "/b").c_str(), (root + "/d3").c_str()));
    });
    same("rename without replacing", [](const std::string &root) {
        writeFile(root + "/c", "C", O_CREAT | O_WRONLY);
        return Seq() << result(::renameat2(AT_FDCWD, (root + "/b").c_str(), AT_FDCWD,
                                           (root + "/c").c_str(), RENAME_NOREPLACE))
                     << describe(root + "/b") << describe(root + "/c");
    });
    same("exchange", [](const std::string &root) {
        return Seq() << result(::renameat2(AT_FDCWD, (root + "/b").c_str(), AT_FDCWD,
                                           (root + "/c").c_str(), RENAME_EXCHANGE))
                     << describe(root + "/b") << describe(root + "/c");
    });
    same("exchange with a missing item", [](const std::string &root) {
        return Seq() << result(::renameat2(AT_FDCWD, (root + "/b").c_str(), AT_FDCWD,
                                           (root + "/none").c_str(), RENAME_EXCHANGE));
    });
    same("rename a missing item", [](const std::string &root) {
        return Seq() << result(::rename((root + "/none").c_str(), (root + "/z").c_str()));
    });
}

TEST_F(PosixSideBySide, AttributesTimesAndLinks)
{
    same("utimensat with a time and UTIME_OMIT", [](const std::string &root) {
        writeFile(root + "/t", "t", O_CREAT | O_WRONLY);
        struct stat before = {};
        ::stat((root + "/t").c_str(), &before);
        timespec times[2] = {{1000, 5}, {0, UTIME_OMIT}};
        std::string outcome = result(::utimensat(AT_FDCWD, (root + "/t").c_str(), times, 0));
        struct stat after = {};
        ::stat((root + "/t").c_str(), &after);
        return outcome + " atime " + std::to_string(after.st_atim.tv_sec) + "." +
               std::to_string(after.st_atim.tv_nsec) + " mtime kept " +
               std::to_string(after.st_mtim.tv_sec == before.st_mtim.tv_sec &&
                              after.st_mtim.tv_nsec == before.st_mtim.tv_nsec);
    });
    same("utimensat with UTIME_NOW", [](const std::string &root) {
        timespec start{};
        ::clock_gettime(CLOCK_REALTIME, &start);
        timespec times[2] = {{0, UTIME_OMIT}, {0, UTIME_NOW}};
        std::string outcome = result(::utimensat(AT_FDCWD, (root + "/t").c_str(), times, 0));
        struct stat after = {};
        ::stat((root + "/t").c_str(), &after);
        return outcome + " atime " + std::to_string(after.st_atim.tv_sec) + " mtime is now " +
               std::to_string(after.st_mtim.tv_sec >= start.tv_sec);
    });
    same("chmod and chown", [](const std::string &root) {
        return Seq() << result(::chmod((root + "/t").c_str(), 0600)) << describe(root + "/t")
                     << result(::chown((root + "/t").c_str(), ::getuid(), ::getgid()))
                     << result(::chown((root + "/t").c_str(), ::getuid() == 0 ? 1 : 0, gid_t(-1)));
    });
    same("hard link", [](const std::string &root) {
        return Seq() << result(::link((root + "/t").c_str(), (root + "/t2").c_str()))
                     << describe(root + "/t") << describe(root + "/t2");
    });
    // The volume moves a removed name to the Trash, where it stays a link of
    // the file: compare what is left at the names, not the link count.
    same("unlink one of two links", [](const std::string &root) {
        struct stat st = {};
        return Seq() << result(::unlink((root + "/t2").c_str())) << describe(root + "/t2")
                     << result(::stat((root + "/t").c_str(), &st)) << std::to_string(st.st_size);
    });
    same("symbolic link", [](const std::string &root) {
        char target[64] = {};
        const std::string outcome = result(::symlink("t", (root + "/s").c_str()));
        return Seq() << outcome
                     << result(::readlink((root + "/s").c_str(), target, sizeof target - 1))
                     << std::string(target) << describe(root + "/s");
    });
    same("folder errors", [](const std::string &root) {
        ::mkdir((root + "/full").c_str(), 0755);
        writeFile(root + "/full/x", "x", O_CREAT | O_WRONLY);
        return Seq() << result(::mkdir((root + "/full").c_str(), 0755))
                     << result(::rmdir((root + "/full").c_str()))
                     << result(::rmdir((root + "/t").c_str()))
                     << result(::unlink((root + "/full").c_str()))
                     << result(::unlink((root + "/missing").c_str()));
    });
    same("extended attributes", [](const std::string &root) {
        const std::string file = root + "/t";
        char value[32] = {};
        char names[128] = {};
        std::string outcome =
            Seq() << result(::setxattr(file.c_str(), "user.colour", "teal", 4, 0))
                  << result(::setxattr(file.c_str(), "user.colour", "x", 1, XATTR_CREATE));
        outcome += result(::getxattr(file.c_str(), "user.colour", value, sizeof value));
        outcome += value;
        outcome += result(::listxattr(file.c_str(), names, sizeof names));
        outcome += result(::removexattr(file.c_str(), "user.colour"));
        return Seq() << outcome
                     << result(::getxattr(file.c_str(), "user.colour", value, sizeof value));
    });
    same("file system figures", [](const std::string &root) {
        struct statvfs st = {};
        const std::string outcome = result(::statvfs(root.c_str(), &st));
        return outcome + " " + std::to_string(st.f_bsize) + " " + std::to_string(st.f_blocks) +
               " " + std::to_string(st.f_namemax);
    });
}
