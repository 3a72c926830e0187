// Walks below an entry point stay below it, whatever links and names the
// folder holds.
#include "realaccess_p.h"

#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cerrno>
#include <fcntl.h>
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
