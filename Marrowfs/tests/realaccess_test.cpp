// Walks below an entry point stay below it, whatever links and names the
// folder holds.
#include "realaccess_p.h"

#include "entrypointcache_p.h"

#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int opened(const QString &entry, const QString &relative, int flags = O_RDONLY)
{
    const int fd = realaccess::openBeneath(entry, relative, flags);
    if (fd >= 0) {
        ::close(fd);
        return 0;
    }
    return -fd;
}

} // namespace

TEST(RealAccess, LinksAndNamesNeverLeadOutOfTheEntryPoint)
{
    QTemporaryDir world;
    const QString entry = world.filePath(QStringLiteral("Data"));
    ASSERT_TRUE(QDir().mkpath(entry + QStringLiteral("/Documents")));
    ASSERT_TRUE(testsupport::writeFile(world.filePath(QStringLiteral("secret")), "secret"));
    ASSERT_TRUE(testsupport::writeFile(entry + QStringLiteral("/Documents/mine"), "mine"));
    const auto link = [&](const char *target, const QString &name) {
        return ::symlink(target, QFile::encodeName(entry + QLatin1Char('/') + name).constData());
    };
    ASSERT_EQ(link("..", QStringLiteral("up")), 0);
    ASSERT_EQ(link(QFile::encodeName(world.path()).constData(), QStringLiteral("absolute")), 0);
    ASSERT_EQ(link("Documents/mine", QStringLiteral("inside")), 0);

    EXPECT_EQ(opened(entry, QStringLiteral("Documents/mine")), 0);
    EXPECT_EQ(opened(entry, QStringLiteral("inside")), 0);
    EXPECT_EQ(opened(entry, QString()), 0);
    EXPECT_EQ(opened(entry, QStringLiteral("../secret")), EXDEV);
    EXPECT_EQ(opened(entry, QStringLiteral("Documents/../../secret")), EXDEV);
    EXPECT_EQ(opened(entry, QStringLiteral("up/secret")), EXDEV);
    EXPECT_EQ(opened(entry, QStringLiteral("absolute/secret")), EXDEV);
    EXPECT_EQ(opened(entry, QStringLiteral("/etc/passwd")), EXDEV);
    EXPECT_EQ(opened(entry, QStringLiteral("missing")), ENOENT);
    // A creation through a link that leads out is refused too.
    EXPECT_EQ(opened(entry, QStringLiteral("up/planted"), O_CREAT | O_WRONLY), EXDEV);
    EXPECT_FALSE(QFile::exists(world.filePath(QStringLiteral("planted"))));
}

namespace {

ino_t inodeOf(int fd)
{
    struct stat st = {};
    return ::fstat(fd, &st) == 0 ? st.st_ino : 0;
}

ino_t inodeOf(const QString &path)
{
    struct stat st = {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

} // namespace

// The app's data folder is removed and made anew by a reset, or moved aside
// and replaced: the walks must start from the folder that is there now.
TEST(RealAccess, AnEntryPointReplacedBehindTheVolumeIsFollowed)
{
    QTemporaryDir world;
    const QString entry = world.filePath(QStringLiteral("Data"));
    ASSERT_TRUE(QDir().mkpath(entry));
    EntryPointCache cache;
    int error = 0;
    const EntryPointCache::DescriptorPtr first = cache.open(entry, error);
    ASSERT_TRUE(first) << error;
    EXPECT_EQ(inodeOf(first->get()), inodeOf(entry));

    // Removed and made again: seen at once, however young the descriptor.
    ASSERT_TRUE(QDir(entry).removeRecursively());
    ASSERT_TRUE(QDir().mkpath(entry));
    const EntryPointCache::DescriptorPtr remade = cache.open(entry, error);
    ASSERT_TRUE(remade) << error;
    EXPECT_EQ(inodeOf(remade->get()), inodeOf(entry));
    // The holder of the old descriptor can still use it.
    EXPECT_EQ(inodeOf(first->get()), inodeOf(first->get()));

    // Moved aside and replaced: seen once the descriptor is older than the
    // time the kernel trusts the volume's answers.
    ASSERT_TRUE(QDir().rename(entry, world.filePath(QStringLiteral("Old"))));
    ASSERT_TRUE(QDir().mkpath(entry));
    const ino_t now = inodeOf(entry);
    EXPECT_TRUE(testsupport::waitFor(
        [&] {
            const EntryPointCache::DescriptorPtr current = cache.open(entry, error);
            return current && inodeOf(current->get()) == now;
        },
        EntryPointCache::MaxAge * 3));

    // Gone for good: the error, and no descriptor.
    ASSERT_TRUE(QDir(entry).removeRecursively());
    EXPECT_FALSE(cache.open(entry, error));
    EXPECT_EQ(error, -ENOENT);
}

// Walks below an entry point trust a young descriptor without checking it
// first; one that finds nothing must look again from the folder that is
// there now, and a name that is really missing stays missing.
TEST(RealAccess, WalksBelowAnEntryPointMadeAgainFindWhatIsThereNow)
{
    QTemporaryDir world;
    const QString entry = world.filePath(QStringLiteral("Data"));
    ASSERT_TRUE(QDir().mkpath(entry + QStringLiteral("/Documents")));
    ASSERT_TRUE(testsupport::writeFile(entry + QStringLiteral("/Documents/old"), "old"));
    EXPECT_EQ(opened(entry, QStringLiteral("Documents/old")), 0);

    ASSERT_TRUE(QDir(entry).removeRecursively());
    ASSERT_TRUE(QDir().mkpath(entry + QStringLiteral("/Documents")));
    ASSERT_TRUE(testsupport::writeFile(entry + QStringLiteral("/Documents/new"), "new"));
    EXPECT_EQ(opened(entry, QStringLiteral("Documents/new")), 0);
    EXPECT_EQ(opened(entry, QStringLiteral("Documents/old")), ENOENT);

    // A file made below goes into the new folder, not the removed one.
    ASSERT_TRUE(QDir(entry).removeRecursively());
    ASSERT_TRUE(QDir().mkpath(entry + QStringLiteral("/Documents")));
    const int made =
        realaccess::openBeneath(entry, QStringLiteral("Documents/made"), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(made, 0) << -made;
    ::close(made);
    EXPECT_TRUE(QFile::exists(entry + QStringLiteral("/Documents/made")));

    ASSERT_TRUE(QDir(entry).removeRecursively());
    EXPECT_EQ(opened(entry, QStringLiteral("Documents/new")), ENOENT);
}
