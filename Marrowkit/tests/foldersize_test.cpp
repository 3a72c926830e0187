// Folder sizes and modification dates over real trees.
#include "Marrowkit/platform/foldersize.h"

#include "tests/support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

QUrl urlOf(const QTemporaryDir &dir, const QString &relative = {})
{
    return QUrl::fromLocalFile(relative.isEmpty() ? dir.path() : dir.filePath(relative));
}

} // namespace

TEST(FolderSize, SumsRegularFilesOfTheWholeTreeWithoutFollowingLinks)
{
    QTemporaryDir dir;
    ASSERT_TRUE(
        testsupport::writeFile(dir.filePath(QStringLiteral("a.txt")), QByteArray(100, 'a')));
    ASSERT_TRUE(
        testsupport::writeFile(dir.filePath(QStringLiteral(".hidden")), QByteArray(7, 'h')));
    ASSERT_TRUE(testsupport::writeFile(dir.filePath(QStringLiteral("Foo.app/Info.plist")),
                                       QByteArray(20, 'p')));
    ASSERT_TRUE(testsupport::writeFile(dir.filePath(QStringLiteral("Foo.app/deep/er/x")),
                                       QByteArray(3, 'x')));
    QDir(dir.path()).mkpath(QStringLiteral("empty"));
    QTemporaryDir outside;
    ASSERT_TRUE(
        testsupport::writeFile(outside.filePath(QStringLiteral("big")), QByteArray(5000, 'b')));
    ASSERT_TRUE(
        QFile::link(outside.filePath(QStringLiteral("big")), dir.filePath(QStringLiteral("link"))));
    ASSERT_TRUE(QFile::link(outside.path(), dir.filePath(QStringLiteral("folderlink"))));
    ASSERT_EQ(mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("fifo"))).constData(), 0600), 0);

    EXPECT_EQ(sizeOfFolderAtURL(urlOf(dir)), 130);
    EXPECT_EQ(sizeOfFolderAtURL(urlOf(dir, QStringLiteral("Foo.app"))), 23);
}

TEST(FolderSize, AnythingButAnExistingFolderIsZero)
{
    QTemporaryDir dir;
    ASSERT_TRUE(testsupport::writeFile(dir.filePath(QStringLiteral("file")), QByteArray(10, 'f')));
    EXPECT_EQ(sizeOfFolderAtURL(urlOf(dir, QStringLiteral("file"))), 0);
    EXPECT_EQ(sizeOfFolderAtURL(urlOf(dir, QStringLiteral("missing"))), 0);
    EXPECT_EQ(sizeOfFolderAtURL(QUrl()), 0);
    EXPECT_EQ(sizeOfFolderAtURL(QUrl(QStringLiteral("https://example.com/folder"))), 0);
}

TEST(FolderSize, UnreadableSubfoldersCountZeroAndTheWalkGoesOn)
{
    if (geteuid() == 0) {
        GTEST_SKIP() << "root reads every folder";
    }
    QTemporaryDir dir;
    ASSERT_TRUE(
        testsupport::writeFile(dir.filePath(QStringLiteral("locked/secret")), QByteArray(50, 's')));
    ASSERT_TRUE(
        testsupport::writeFile(dir.filePath(QStringLiteral("open/visible")), QByteArray(5, 'v')));
    QFile::setPermissions(dir.filePath(QStringLiteral("locked")), QFileDevice::Permissions());
    EXPECT_EQ(sizeOfFolderAtURL(urlOf(dir)), 5);
    QFile::setPermissions(dir.filePath(QStringLiteral("locked")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

TEST(FolderSize, ModificationDateOfTheNodeItself)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("Container"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QDateTime when(QDate(2016, 9, 13), QTime(10, 0, 0, 500), Qt::UTC);
    const timespec times[2] = {{when.toSecsSinceEpoch(), 0}, {when.toSecsSinceEpoch(), 500000000}};
    ASSERT_EQ(utimensat(AT_FDCWD, QFile::encodeName(folder).constData(), times, 0), 0);
    EXPECT_EQ(modifiedDateForFolderAtURL(QUrl::fromLocalFile(folder)), when);
    EXPECT_FALSE(modifiedDateForFolderAtURL(urlOf(dir, QStringLiteral("missing"))));
    EXPECT_FALSE(modifiedDateForFolderAtURL(QUrl()));
}
