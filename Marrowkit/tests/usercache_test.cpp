// The per-user cache folders: private, never through links, written whole.
#include "Marrowkit/platform/usercache.h"

#include "tests/support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

mode_t modeOf(const QString &path)
{
    struct stat info = {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

} // namespace

TEST(UserCache, FoldersArePrivateAndLiveInTheUsersCacheHome)
{
    testsupport::TemporaryHome home;
    qputenv("XDG_CACHE_HOME", QFile::encodeName(home.filePath(QStringLiteral("cache"))));
    const auto folder = UserCache::folder(QStringLiteral("Icons"));
    qunsetenv("XDG_CACHE_HOME");
    ASSERT_TRUE(folder.isSuccess());
    EXPECT_EQ(*folder.value(), home.filePath(QStringLiteral("cache/Marrowby/Icons")));
    EXPECT_EQ(modeOf(*folder.value()), mode_t(0700));
    EXPECT_EQ(modeOf(home.filePath(QStringLiteral("cache/Marrowby"))), mode_t(0700));

    for (const QString &bad : {QString(), QStringLiteral(".."), QStringLiteral("a/b"),
                               QStringLiteral("nul") + QChar(0)}) {
        EXPECT_TRUE(UserCache::folder(bad).isFailure()) << qPrintable(bad);
    }
}

TEST(UserCache, LinkedOrOpenFoldersAreRefused)
{
    testsupport::TemporaryHome home;
    QTemporaryDir elsewhere;
    ASSERT_TRUE(QDir().mkpath(home.filePath(QStringLiteral(".cache"))));
    ASSERT_TRUE(QFile::link(elsewhere.path(), home.filePath(QStringLiteral(".cache/Marrowby"))));
    EXPECT_TRUE(UserCache::folder(QStringLiteral("Icons")).isFailure());
    EXPECT_TRUE(QDir(elsewhere.path()).isEmpty()) << "nothing is made behind the link";

    ASSERT_TRUE(QFile::remove(home.filePath(QStringLiteral(".cache/Marrowby"))));
    ASSERT_TRUE(QDir().mkpath(home.filePath(QStringLiteral(".cache/Marrowby/Icons"))));
    ASSERT_EQ(
        ::chmod(
            QFile::encodeName(home.filePath(QStringLiteral(".cache/Marrowby/Icons"))).constData(),
            0777),
        0);
    EXPECT_TRUE(UserCache::folder(QStringLiteral("Icons")).isFailure());
}

TEST(UserCache, AtomicWritesReplaceLinksInsteadOfWritingThroughThem)
{
    QTemporaryDir cache;
    QTemporaryDir elsewhere;
    const QString victim = elsewhere.filePath(QStringLiteral("victim"));
    ASSERT_TRUE(testsupport::writeFile(victim, "keep me"));
    ASSERT_TRUE(QFile::link(victim, cache.filePath(QStringLiteral("entry"))));

    ASSERT_TRUE(
        UserCache::writeAtomically(cache.path(), QStringLiteral("entry"), "new").isSuccess());
    QFile written(cache.filePath(QStringLiteral("entry")));
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), QByteArray("new"));
    EXPECT_FALSE(QFileInfo(cache.filePath(QStringLiteral("entry"))).isSymLink());
    QFile untouched(victim);
    ASSERT_TRUE(untouched.open(QIODevice::ReadOnly));
    EXPECT_EQ(untouched.readAll(), QByteArray("keep me"));

    EXPECT_TRUE(UserCache::writeAtomically(cache.path(), QStringLiteral("../x"), "x").isFailure());
    EXPECT_EQ(QDir(cache.path()).entryList(QDir::Files | QDir::Hidden).size(), 1)
        << "no temporary file is left behind";
}
