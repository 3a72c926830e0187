// The stand-in's file steps on real trees in temporary folders: removal that
// never follows a link, copies that keep links as links, atomic writes, and
// reads that refuse what is not a regular file.
#include "devtoolsworld.h"
#include "fileops.h"
#include "safefile.h"
#include "tests/support/testsupport.h"
#include "treeremover.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using devtoolsworld::differences;
using devtoolsworld::snapshot;

namespace {

bool makeLink(const QString &target, const QString &link)
{
    QDir().mkpath(QFileInfo(link).absolutePath());
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) ==
           0;
}

class FileSteps : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        // Someone's work that links in the trees must never reach.
        m_precious = path(QStringLiteral("precious"));
        ASSERT_TRUE(testsupport::writeFile(m_precious + QStringLiteral("/notes.txt"), "keep"));
        ASSERT_TRUE(testsupport::writeFile(m_precious + QStringLiteral("/src/main.cpp"), "int"));
        m_before = snapshot(m_precious);
    }

    QString path(const QString &relative) const { return m_dir.filePath(relative); }
    QStringList preciousChanges() const { return differences(m_before, snapshot(m_precious)); }

    QTemporaryDir m_dir;
    QString m_precious;
    QMap<QString, QString> m_before;
};

} // namespace

TEST_F(FileSteps, RemovingATreeRemovesLinksNotWhatTheyPointTo)
{
    const QString tree = path(QStringLiteral("tree"));
    ASSERT_TRUE(testsupport::writeFile(tree + QStringLiteral("/a/b/file"), "x"));
    ASSERT_TRUE(makeLink(m_precious, tree + QStringLiteral("/a/linked-folder")));
    ASSERT_TRUE(makeLink(m_precious + QStringLiteral("/notes.txt"),
                         tree + QStringLiteral("/a/b/linked-file")));
    ASSERT_TRUE(makeLink(QStringLiteral("/nonexistent"), tree + QStringLiteral("/dangling")));
    ASSERT_EQ(::mkfifo(QFile::encodeName(tree + QStringLiteral("/fifo")).constData(), 0600), 0);

    QString error;
    ASSERT_TRUE(TreeRemover::remove(tree, &error)) << error.toStdString();
    EXPECT_FALSE(SafeFile::existsWithoutFollowing(tree));
    EXPECT_EQ(preciousChanges(), QStringList());
}

TEST_F(FileSteps, RemovingALinkedFolderRemovesOnlyTheLink)
{
    // QDir::removeRecursively empties the target of a linked top folder.
    const QString link = path(QStringLiteral("set/data"));
    ASSERT_TRUE(makeLink(m_precious, link));
    ASSERT_TRUE(TreeRemover::remove(link));
    EXPECT_FALSE(SafeFile::existsWithoutFollowing(link));
    EXPECT_EQ(preciousChanges(), QStringList());

    // The same through FileOps::removeTree, which first moves it aside.
    ASSERT_TRUE(makeLink(m_precious, link));
    QString error;
    ASSERT_TRUE(FileOps::removeTree(link, path(QStringLiteral("set")), &error))
        << error.toStdString();
    EXPECT_FALSE(SafeFile::existsWithoutFollowing(link));
    EXPECT_EQ(QDir(path(QStringLiteral("set")))
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
              QStringList());
    EXPECT_EQ(preciousChanges(), QStringList());
}

TEST_F(FileSteps, RemovesDeepTreesAndFoldersWithoutPermissions)
{
    // Deeper than any descriptor budget, and than PATH_MAX allows by name.
    const QString tree = path(QStringLiteral("deep"));
    ASSERT_TRUE(QDir().mkpath(tree));
    int fd = ::open(QFile::encodeName(tree).constData(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(::mkdirat(fd, "level-with-a-longish-name", 0700), 0);
        if (i % 100 == 0) {
            ASSERT_EQ(::symlinkat(QFile::encodeName(m_precious).constData(), fd, "up"), 0);
        }
        const int child = ::openat(fd, "level-with-a-longish-name", O_RDONLY | O_DIRECTORY);
        ::close(fd);
        ASSERT_GE(child, 0);
        fd = child;
    }
    ::close(fd);
    const QString locked = path(QStringLiteral("deep/locked"));
    ASSERT_TRUE(testsupport::writeFile(locked + QStringLiteral("/inside"), "x"));
    ASSERT_EQ(::chmod(QFile::encodeName(locked).constData(), 0), 0);

    QString error;
    ASSERT_TRUE(TreeRemover::remove(tree, &error)) << error.toStdString();
    EXPECT_FALSE(SafeFile::existsWithoutFollowing(tree));
    EXPECT_EQ(preciousChanges(), QStringList());
    EXPECT_TRUE(TreeRemover::remove(tree)) << "nothing there is no failure";
    EXPECT_FALSE(TreeRemover::remove(path(QStringLiteral(".."))));
}

TEST_F(FileSteps, CopyingATreeKeepsLinksAsLinks)
{
    const QString source = path(QStringLiteral("App.app"));
    ASSERT_TRUE(testsupport::writeFile(source + QStringLiteral("/Info.plist"), "<plist/>"));
    ASSERT_TRUE(makeLink(m_precious, source + QStringLiteral("/Frameworks")));
    ASSERT_TRUE(makeLink(QStringLiteral("Info.plist"), source + QStringLiteral("/relative")));
    const QString copy = path(QStringLiteral("copy/App.app"));
    QDir().mkpath(path(QStringLiteral("copy")));
    QString error;
    ASSERT_TRUE(FileOps::copyTree(source, copy, &error)) << error.toStdString();
    EXPECT_EQ(SafeFile::read(copy + QStringLiteral("/Info.plist"), 100), QByteArray("<plist/>"));
    EXPECT_EQ(QFileInfo(copy + QStringLiteral("/Frameworks")).symLinkTarget(), m_precious);
    // A relative link stays relative (it names the copy's file now).
    EXPECT_EQ(QFileInfo(copy + QStringLiteral("/relative")).symLinkTarget(),
              copy + QStringLiteral("/Info.plist"));
    EXPECT_FALSE(FileOps::copyTree(source, copy, &error)) << "the destination exists";

    // Special files are refused, and nothing is left half copied for them.
    ASSERT_EQ(::mkfifo(QFile::encodeName(source + QStringLiteral("/fifo")).constData(), 0600), 0);
    EXPECT_FALSE(FileOps::copyTree(source, path(QStringLiteral("copy/Other.app")), &error));
    EXPECT_FALSE(
        FileOps::copyFile(source + QStringLiteral("/fifo"), path(QStringLiteral("f")), &error));
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("f"))));
    EXPECT_EQ(preciousChanges(), QStringList());
}

TEST_F(FileSteps, WritesAtomicallyAndReplacesALinkInsteadOfWritingThroughIt)
{
    const QString file = path(QStringLiteral("metadata.plist"));
    ASSERT_TRUE(makeLink(m_precious + QStringLiteral("/notes.txt"), file));
    QString error;
    ASSERT_TRUE(FileOps::writeAtomically(file, "new", &error)) << error.toStdString();
    EXPECT_FALSE(QFileInfo(file).isSymLink());
    EXPECT_EQ(SafeFile::read(file, 100).value_or(QByteArray()), QByteArray("new"));
    EXPECT_EQ(preciousChanges(), QStringList());
    EXPECT_FALSE(FileOps::writeAtomically(path(QStringLiteral("missing/x")), "x", &error));
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
              QStringList{QStringLiteral("metadata.plist")});
}

TEST_F(FileSteps, SafeReadsRefuseLinksFifosAndFolders)
{
    const QString file = m_precious + QStringLiteral("/notes.txt");
    EXPECT_EQ(SafeFile::read(file, 4), QByteArray("keep"));
    QString error;
    EXPECT_FALSE(SafeFile::read(file, 3, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("larger than")));
    EXPECT_EQ(SafeFile::readHead(file, 2), QByteArray("ke"));

    const QString link = path(QStringLiteral("link"));
    ASSERT_TRUE(makeLink(file, link));
    EXPECT_FALSE(SafeFile::read(link, 100));
    EXPECT_FALSE(SafeFile::readHead(link, 2));
    EXPECT_EQ(SafeFile::readHead(link, 2, true), QByteArray("ke")) << "a named file may be a link";
    const QString fifo = path(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_FALSE(SafeFile::readHead(fifo, 2, true)) << "returns at once, without a writer";
    EXPECT_FALSE(SafeFile::read(m_precious, 100));

    EXPECT_TRUE(SafeFile::isRealFolder(m_precious));
    EXPECT_FALSE(SafeFile::isRealFolder(link));
    const QString linkedFolder = path(QStringLiteral("a/b"));
    ASSERT_TRUE(makeLink(m_precious, linkedFolder));
    EXPECT_TRUE(SafeFile::isRealFolderBelow(m_dir.path(), QStringLiteral("precious/src")));
    EXPECT_FALSE(SafeFile::isRealFolderBelow(m_dir.path(), QStringLiteral("a/b/src")));
    EXPECT_FALSE(SafeFile::isRealFolderBelow(m_dir.path(), QStringLiteral("precious/../a")));
    EXPECT_FALSE(SafeFile::isRealFolderBelow(m_dir.path(), QStringLiteral("precious/new")));
    EXPECT_TRUE(SafeFile::hasNoLinkBelow(m_dir.path(), QStringLiteral("precious/new/deeper")));
    EXPECT_FALSE(SafeFile::hasNoLinkBelow(m_dir.path(), QStringLiteral("a/b/new")));
    EXPECT_TRUE(SafeFile::existsWithoutFollowing(linkedFolder));
    ASSERT_TRUE(makeLink(QStringLiteral("/nonexistent"), path(QStringLiteral("dangling"))));
    EXPECT_TRUE(SafeFile::existsWithoutFollowing(path(QStringLiteral("dangling"))));
}
