// Which drops are valid, and where they go when no device is booted.
#include "imagedrop.h"
#include "menumodelfixtures.h"

#include "tests/support/testsupport.h"

#include <QFile>
#include <QImage>

#include <sys/stat.h>

#include <gtest/gtest.h>

TEST(ImageDrop, targetIsTheFirstBootedDeviceOrNothing)
{
    const auto off = fixtures::device(QStringLiteral("iPhone 6"), {});
    const auto first = fixtures::device(QStringLiteral("iPhone 7"), {}, true);
    const auto second = fixtures::device(QStringLiteral("iPad"), {}, true);
    EXPECT_EQ(ImageDrop::firstBootedDevice({off, first, second}), first);
    EXPECT_EQ(ImageDrop::firstBootedDevice({off}), nullptr);
    EXPECT_EQ(ImageDrop::firstBootedDevice({}), nullptr);
}

TEST(ImageDrop, aDragIsRefusedWithoutCatalogueOrBootedDevice)
{
    testsupport::TemporaryHome home;
    const QString path = home.filePath(QStringLiteral("a.png"));
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(Qt::blue);
    ASSERT_TRUE(image.save(path, "PNG"));
    const QList<QUrl> urls{QUrl::fromLocalFile(path)};
    const auto off = fixtures::device(QStringLiteral("iPhone 6"), {});
    const auto on = fixtures::device(QStringLiteral("iPhone 7"), {}, true);
    EXPECT_FALSE(ImageDrop::canDrop(std::nullopt, urls));
    EXPECT_FALSE(ImageDrop::canDrop(QList<SimulatorDevicePtr>{off}, urls));
    EXPECT_TRUE(ImageDrop::canDrop(QList<SimulatorDevicePtr>{off, on}, urls));
    EXPECT_FALSE(ImageDrop::canDrop(QList<SimulatorDevicePtr>{on}, {}));
    EXPECT_TRUE(ImageDrop::urlsAreValid({}));
}

TEST(ImageDrop, aFifoNamedLikeAnImageIsRefusedWithoutBeingRead)
{
    testsupport::TemporaryHome home;
    const QString fifo = home.filePath(QStringLiteral("stuck.png"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QString reason;
    EXPECT_FALSE(ImageDrop::urlsAreValid({QUrl::fromLocalFile(fifo)}, &reason));
    EXPECT_TRUE(reason.contains(QStringLiteral("not a regular file")));
}
