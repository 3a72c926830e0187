// Removing trees that hold planted links: the links go, what they point to
// stays, whichever level of the tree they are at.
#include "Marrowkit/platform/saferemove.h"
#include "Marrowkit/platform/scratchfolder.h"

#include "tests/support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

QString contentsOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

class SafeRemoveTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_root.isValid());
        // What the planted links point to.
        ASSERT_TRUE(testsupport::writeFile(path(QStringLiteral("target/keep.txt")), "keep"));
        ASSERT_TRUE(testsupport::writeFile(path(QStringLiteral("target/sub/deep.txt")), "deep"));
        ASSERT_TRUE(testsupport::writeFile(path(QStringLiteral("target-file")), "file"));
    }
    QString path(const QString &relative) const { return m_root.filePath(relative); }
    void expectTargetsIntact() const
    {
        EXPECT_EQ(contentsOf(path(QStringLiteral("target/keep.txt"))), QStringLiteral("keep"));
        EXPECT_EQ(contentsOf(path(QStringLiteral("target/sub/deep.txt"))), QStringLiteral("deep"));
        EXPECT_EQ(contentsOf(path(QStringLiteral("target-file"))), QStringLiteral("file"));
    }

    QTemporaryDir m_root;
};

} // namespace

TEST_F(SafeRemoveTest, LinksInsideTheTreeAreRemovedAsLinks)
{
    const QString tree = path(QStringLiteral("tree"));
    ASSERT_TRUE(testsupport::writeFile(tree + QStringLiteral("/a/b/c/file.png"), "png"));
    ASSERT_TRUE(testsupport::writeFile(tree + QStringLiteral("/.hidden"), "h"));
    ASSERT_TRUE(
        QFile::link(path(QStringLiteral("target")), tree + QStringLiteral("/linked-folder")));
    ASSERT_TRUE(
        QFile::link(path(QStringLiteral("target")), tree + QStringLiteral("/a/b/deeper-link")));
    ASSERT_TRUE(
        QFile::link(path(QStringLiteral("target-file")), tree + QStringLiteral("/a/file-link")));
    ASSERT_TRUE(QFile::link(QStringLiteral("/nonexistent"), tree + QStringLiteral("/dangling")));
    ASSERT_EQ(::mkfifo(QFile::encodeName(tree + QStringLiteral("/a/fifo")).constData(), 0600), 0);

    const auto removed = SafeRemove::removeTree(tree);
    ASSERT_TRUE(removed.isSuccess()) << removed.description().toStdString();
    EXPECT_FALSE(QFileInfo::exists(tree));
    EXPECT_FALSE(QFileInfo(tree).isSymLink());
    expectTargetsIntact();
}

TEST_F(SafeRemoveTest, ALinkAtTheTopIsRemovedAndItsTargetStays)
{
    const QString top = path(QStringLiteral("top-link"));
    ASSERT_TRUE(QFile::link(path(QStringLiteral("target")), top));
    ASSERT_TRUE(SafeRemove::removeTree(top).isSuccess());
    EXPECT_FALSE(QFileInfo(top).isSymLink());
    expectTargetsIntact();

    // A path that goes through a link to a folder names that folder's entry,
    // which is removed; the link itself stays.
    ASSERT_TRUE(QFile::link(path(QStringLiteral("target")), top));
    ASSERT_TRUE(testsupport::writeFile(path(QStringLiteral("target/extra")), "x"));
    ASSERT_TRUE(SafeRemove::removeTree(top + QStringLiteral("/extra")).isSuccess());
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("target/extra"))));
    expectTargetsIntact();
}

TEST_F(SafeRemoveTest, MissingPathsSucceedAndBadOnesFail)
{
    EXPECT_TRUE(SafeRemove::removeTree(path(QStringLiteral("absent"))).isSuccess());
    EXPECT_TRUE(SafeRemove::removeTree(path(QStringLiteral("absent/below"))).isSuccess());
    EXPECT_TRUE(SafeRemove::removeTree(QString()).isFailure());
    EXPECT_TRUE(SafeRemove::removeTree(QStringLiteral("/")).isFailure());

    // A file removes like a one-entry tree.
    ASSERT_TRUE(testsupport::writeFile(path(QStringLiteral("lone")), "x"));
    EXPECT_TRUE(SafeRemove::removeTree(path(QStringLiteral("lone"))).isSuccess());
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("lone"))));
}

TEST_F(SafeRemoveTest, TreesNestedTooDeeplyAreRefusedWithoutHarm)
{
    QString deep = path(QStringLiteral("deep"));
    for (int i = 0; i <= SafeRemove::maximumDepth; ++i) {
        deep += QStringLiteral("/d");
    }
    ASSERT_TRUE(QDir().mkpath(deep));
    const auto removed = SafeRemove::removeTree(path(QStringLiteral("deep")));
    ASSERT_TRUE(removed.isFailure());
    EXPECT_TRUE(removed.error()->localizedFailureReason().value_or(QString()).contains(
        QStringLiteral("deep")));
    expectTargetsIntact();
}

TEST(ScratchFolder, IsPrivateUnpredictableAndGoesWithItsObject)
{
    testsupport::TemporaryHome home;
    qputenv("XDG_CACHE_HOME", QFile::encodeName(home.filePath(QStringLiteral("cache"))));
    QString first;
    {
        const auto a = ScratchFolder::create(QStringLiteral("Work"), QStringLiteral(".job-"));
        const auto b = ScratchFolder::create(QStringLiteral("Work"), QStringLiteral(".job-"));
        ASSERT_TRUE(a.isSuccess() && b.isSuccess());
        first = (*a.value())->path();
        EXPECT_NE(first, (*b.value())->path());
        EXPECT_TRUE(first.startsWith(home.filePath(QStringLiteral("cache/Marrowby/Work/.job-"))));
        struct stat info = {};
        ASSERT_EQ(::lstat(QFile::encodeName(first).constData(), &info), 0);
        EXPECT_TRUE(S_ISDIR(info.st_mode));
        EXPECT_EQ(info.st_mode & 0777, 0700u);
        // Whatever is left inside, links included, goes with it.
        ASSERT_TRUE(testsupport::writeFile((*a.value())->filePath(QStringLiteral("x/y")), "y"));
        ASSERT_TRUE(QFile::link(home.path(), (*a.value())->filePath(QStringLiteral("home"))));
    }
    EXPECT_FALSE(QFileInfo::exists(first));
    EXPECT_TRUE(QFileInfo(home.filePath(QStringLiteral("cache"))).isDir());
    EXPECT_TRUE(ScratchFolder::create(QStringLiteral("Work"), QStringLiteral("a/b")).isFailure());
    qunsetenv("XDG_CACHE_HOME");
}
