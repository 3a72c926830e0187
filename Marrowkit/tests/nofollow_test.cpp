// Listing folders that hold links, FIFOs and hidden entries without going
// through a link.
#include "Marrowkit/platform/nofollow.h"

#include "tests/support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

QStringList described(const QList<NoFollow::Entry> &entries)
{
    QStringList out;
    for (const auto &entry : entries) {
        const char *kind = entry.kind == NoFollow::Kind::Folder ? "folder"
                           : entry.kind == NoFollow::Kind::File ? "file"
                                                                : "other";
        out.append(entry.name + QLatin1Char(' ') + QLatin1String(kind));
    }
    return out;
}

} // namespace

TEST(NoFollow, EntriesReportLinksAsLinksInNameOrder)
{
    QTemporaryDir root;
    const QString folder = root.filePath(QStringLiteral("folder"));
    ASSERT_TRUE(testsupport::writeFile(root.filePath(QStringLiteral("elsewhere/secret")), "s"));
    ASSERT_TRUE(testsupport::writeFile(folder + QStringLiteral("/b.txt"), "b"));
    ASSERT_TRUE(testsupport::writeFile(folder + QStringLiteral("/.hidden"), "h"));
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/C.app")));
    ASSERT_TRUE(QFile::link(root.filePath(QStringLiteral("elsewhere")),
                            folder + QStringLiteral("/a-link")));
    ASSERT_EQ(::mkfifo(QFile::encodeName(folder + QStringLiteral("/fifo")).constData(), 0600), 0);

    EXPECT_EQ(described(NoFollow::entries(folder)),
              (QStringList{QStringLiteral("C.app folder"), QStringLiteral("a-link other"),
                           QStringLiteral("b.txt file"), QStringLiteral("fifo other")}));
    EXPECT_EQ(described(NoFollow::entries(folder, NoFollow::Hidden::Include)).first(),
              QStringLiteral(".hidden file"));

    // A folder that is a link is not listed at all.
    EXPECT_TRUE(NoFollow::entries(folder + QStringLiteral("/a-link")).isEmpty());
    EXPECT_TRUE(NoFollow::entries(folder + QStringLiteral("/b.txt")).isEmpty());
    EXPECT_TRUE(NoFollow::entries(root.filePath(QStringLiteral("absent"))).isEmpty());
}

TEST(NoFollow, FolderChainsStopAtALink)
{
    QTemporaryDir root;
    ASSERT_TRUE(QDir().mkpath(root.filePath(QStringLiteral("data/Containers/Data/Application"))));
    ASSERT_TRUE(QDir().mkpath(root.filePath(QStringLiteral("outside/Application"))));
    ASSERT_TRUE(QFile::link(root.filePath(QStringLiteral("outside")),
                            root.filePath(QStringLiteral("data/Containers/Bundle"))));
    const QString data = root.filePath(QStringLiteral("data"));

    EXPECT_TRUE(NoFollow::isFolderBelow(data, QStringLiteral("Containers/Data/Application")));
    EXPECT_FALSE(NoFollow::isFolderBelow(data, QStringLiteral("Containers/Bundle/Application")));
    EXPECT_FALSE(NoFollow::isFolderBelow(data, QStringLiteral("Containers/Missing")));
    EXPECT_FALSE(NoFollow::isFolderBelow(data, QStringLiteral("Containers/../Containers")));
    EXPECT_TRUE(NoFollow::isFolder(data));
    EXPECT_FALSE(NoFollow::isFolder(root.filePath(QStringLiteral("data/Containers/Bundle"))));
}
