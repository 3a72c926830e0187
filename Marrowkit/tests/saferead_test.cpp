// Reading files that others control: links, FIFOs, devices and growth past
// the limit give a failure at once, never a hang or an unbounded read.
#include "Marrowkit/platform/saferead.h"

#include "tests/support/testsupport.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

QString reasonOf(const Result<QByteArray> &result)
{
    const auto error = result.error();
    return error ? error->localizedFailureReason().value_or(QString()) : QString();
}

} // namespace

TEST(SafeRead, ReadsRegularFilesWholeUpToTheLimit)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Info.plist"));
    const QByteArray contents(200 * 1024, 'p'); // more than one read's worth
    ASSERT_TRUE(testsupport::writeFile(path, contents));
    EXPECT_EQ(SafeRead::readRegularFile(path, contents.size()).value(), contents);
    ASSERT_TRUE(testsupport::writeFile(dir.filePath(QStringLiteral("empty")), {}));
    EXPECT_EQ(SafeRead::readRegularFile(dir.filePath(QStringLiteral("empty")), 10).value(),
              QByteArray());

    const auto tooLarge = SafeRead::readRegularFile(path, contents.size() - 1);
    ASSERT_TRUE(tooLarge.isFailure());
    EXPECT_TRUE(reasonOf(tooLarge).startsWith(QStringLiteral("larger than")));
    EXPECT_EQ(tooLarge.error()->userInfo.value(Error::filePathKey()).toString(), path);
}

TEST(SafeRead, FifosDevicesFoldersAndMissingFilesFailAtOnce)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("icon.png"));
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_EQ(reasonOf(SafeRead::readRegularFile(fifo, 1024)),
              QStringLiteral("not a regular file"));
    EXPECT_EQ(reasonOf(SafeRead::readRegularFile(QStringLiteral("/dev/zero"), 1024,
                                                 SafeRead::Links::Follow)),
              QStringLiteral("not a regular file"));
    EXPECT_EQ(reasonOf(SafeRead::readRegularFile(dir.path(), 1024)),
              QStringLiteral("not a regular file"));
    EXPECT_TRUE(SafeRead::readRegularFile(dir.filePath(QStringLiteral("missing")), 10).isFailure());
    EXPECT_TRUE(SafeRead::readRegularFile(QString(), 10).isFailure());
    EXPECT_FALSE(SafeRead::isRegularFile(fifo));
    EXPECT_FALSE(SafeRead::isRegularFile(QStringLiteral("/dev/zero")));
}

TEST(SafeRead, FinalLinksAreRefusedUnlessFollowedAndThenMustNameARegularFile)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("target"));
    ASSERT_TRUE(testsupport::writeFile(target, "secret"));
    const QString link = dir.filePath(QStringLiteral("Info.plist"));
    ASSERT_TRUE(QFile::link(target, link));
    EXPECT_EQ(reasonOf(SafeRead::readRegularFile(link, 100)), QStringLiteral("it is a link"));
    EXPECT_FALSE(SafeRead::isRegularFile(link));
    EXPECT_EQ(SafeRead::readRegularFile(link, 100, SafeRead::Links::Follow).value(),
              QByteArray("secret"));

    const QString toDevice = dir.filePath(QStringLiteral("zero"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), toDevice));
    EXPECT_TRUE(SafeRead::readRegularFile(toDevice, 100, SafeRead::Links::Follow).isFailure());
}
