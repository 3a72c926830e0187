// Where the extension looks for the volume: below the mount point the user
// chose (found in the mount table), never a fixed number of folders from "/".
#include "volumelocator.h"
#include "volumepath.h"

#include <gtest/gtest.h>

TEST(VolumePath, NamesAreCountedBelowTheMountPoint)
{
    const QString root = QStringLiteral("/home/ann/Mounts/My Sims");
    EXPECT_EQ(VolumePath::below(root, root)->depth(), 0);
    EXPECT_EQ(VolumePath::below(root + QLatin1Char('/'), root)->depth(), 0);
    const auto app = VolumePath::below(root, root + QStringLiteral("/iPhone 6/Maps"));
    ASSERT_TRUE(app);
    EXPECT_EQ(app->components(), (QStringList{QStringLiteral("iPhone 6"), QStringLiteral("Maps")}));
    EXPECT_EQ(app->name(5), QString());
    EXPECT_FALSE(VolumePath::below(root, root + QStringLiteral("X/iPhone 6")));
    EXPECT_FALSE(VolumePath::below(root, QStringLiteral("/home/ann")));
    EXPECT_FALSE(VolumePath::below(root, root + QStringLiteral("/../../etc")));
    EXPECT_FALSE(VolumePath::below(root, root + QStringLiteral("/./iPhone 6")));
    EXPECT_FALSE(VolumePath::below(QStringLiteral("relative"), QStringLiteral("relative/x")));
    EXPECT_FALSE(VolumePath::below(QString(), QStringLiteral("/x")));
}

TEST(VolumeLocator, TheVolumeMountedInTheHomeIsFoundWithEscapedNames)
{
    const QByteArray table =
        "22 1 0:21 / /proc rw,nosuid - proc proc rw\n"
        "90 29 0:50 / /mnt/other\\040sims rw - fuse.marrowby Marrowby rw,user_id=0\n"
        "91 29 0:51 / /home/ann/My\\040Volumes/Marrowby rw,nosuid - fuse.marrowby Marrowby rw\n"
        "92 29 0:52 / /home/ann/Volumes/Marrowby rw - fuse.sshfs host: rw\n"
        "garbage\n\n";
    EXPECT_EQ(VolumeLocator::mountPointIn(table, QStringLiteral("/home/ann")),
              QStringLiteral("/home/ann/My Volumes/Marrowby"));
    EXPECT_FALSE(VolumeLocator::mountPointIn(table, QStringLiteral("/home/bob")))
        << "never another home's volume";
    EXPECT_FALSE(VolumeLocator::mountPointIn(table, QStringLiteral("/home/an")));
    EXPECT_FALSE(VolumeLocator::mountPointIn("92 29 0:52 / /x rw - fuse.sshfs h: rw\n",
                                             QStringLiteral("/home/ann")));
    EXPECT_FALSE(VolumeLocator::mountPointIn("1 2 3 4\\", QStringLiteral("/")));
}
