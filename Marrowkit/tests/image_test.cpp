// Images: choosing representations, resizing, cropping, PNG encoding and
// hostile PNG data.
#include "Marrowkit/icons/image.h"

#include <QFile>
#include <QPainter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sys/stat.h>

namespace {

QImage filled(int width, int height, QColor colour)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(colour);
    return image;
}

// Left half red, right half blue.
QImage halves(int width, int height)
{
    QImage image = filled(width, height, Qt::red);
    QPainter painter(&image);
    painter.fillRect(width / 2, 0, width - width / 2, height, Qt::blue);
    return image;
}

QColor pixel(const Image &image, int x, int y)
{
    return QColor::fromRgba(image.bitmap().pixel(x, y));
}

Image smallRedLargeBlue()
{
    Image image(QSizeF(16, 16));
    image.addRepresentation(ImageRepresentation::fromBitmap(filled(16, 16, Qt::red), {16, 16}));
    image.addRepresentation(ImageRepresentation::fromBitmap(filled(64, 64, Qt::blue), {16, 16}));
    return image;
}

} // namespace

TEST(Image, SizeComesFromTheFirstRepresentationUntilSet)
{
    Image image;
    EXPECT_TRUE(image.isNull());
    image.addRepresentation(ImageRepresentation::fromBitmap(filled(30, 20, Qt::red)));
    EXPECT_EQ(image.width(), 30);
    EXPECT_EQ(image.height(), 20);
    image.setSize(QSizeF(15, 10));
    EXPECT_EQ(image.size(), QSizeF(15, 10));
}

TEST(Image, BestRepresentationIsTheSmallestThatCoversElseTheLargest)
{
    const Image image = smallRedLargeBlue();
    EXPECT_EQ(image.bestRepresentationForRect(QRectF(0, 0, 8, 8))->pixelsWide(), 16);
    EXPECT_EQ(image.bestRepresentationForRect(QRectF(0, 0, 16, 16))->pixelsWide(), 16);
    EXPECT_EQ(image.bestRepresentationForRect(QRectF(0, 0, 17, 17))->pixelsWide(), 64);
    EXPECT_EQ(image.bestRepresentationForRect(QRectF(0, 0, 500, 500))->pixelsWide(), 64);
    EXPECT_FALSE(Image().bestRepresentationForRect(QRectF(0, 0, 1, 1)));
}

TEST(Image, CopyWithSizeDrawsTheBestRepresentationAtOnePixelPerPoint)
{
    const Image image = smallRedLargeBlue();
    auto small = image.copyWithSize(QSizeF(8, 8));
    ASSERT_TRUE(small);
    EXPECT_EQ(small->bitmap().size(), QSize(8, 8));
    EXPECT_EQ(pixel(*small, 4, 4), QColor(Qt::red));
    auto large = image.copyWithSize(QSizeF(32, 32));
    ASSERT_TRUE(large);
    EXPECT_EQ(large->size(), QSizeF(32, 32));
    EXPECT_EQ(large->representations().size(), 1);
    EXPECT_EQ(pixel(*large, 16, 16), QColor(Qt::blue));
}

TEST(Image, CopyWithAnUndrawableSizeGivesNothing)
{
    const Image image = smallRedLargeBlue();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (QSizeF size : {QSizeF(0, 10), QSizeF(-5, 5), QSizeF(nan, 4), QSizeF(1e9, 1e9)}) {
        EXPECT_FALSE(image.copyWithSize(size)) << size.width() << "x" << size.height();
    }
    EXPECT_FALSE(Image().copyWithSize(QSizeF(4, 4)));
    EXPECT_FALSE(Image(QSizeF(0, 0)).resizeWhileMaintainingAspectRatioToSize(QSizeF(4, 4)));
}

TEST(Image, ResizeCoversTheTargetKeepingTheAspectRatio)
{
    const Image wide = Image::fromBitmap(halves(200, 100));
    auto resized = wide.resizeWhileMaintainingAspectRatioToSize(QSizeF(50, 50));
    ASSERT_TRUE(resized);
    EXPECT_EQ(resized->size(), QSizeF(100, 50));
    auto tall = Image::fromBitmap(filled(30, 90, Qt::red))
                    .resizeWhileMaintainingAspectRatioToSize(QSizeF(20, 20));
    ASSERT_TRUE(tall);
    EXPECT_EQ(tall->size(), QSizeF(20, 60));
}

TEST(Image, CropCutsOutTheCentreOfTheResizedImage)
{
    auto cropped = Image::fromBitmap(halves(200, 100)).cropToSize(QSizeF(50, 50));
    ASSERT_TRUE(cropped);
    EXPECT_EQ(cropped->bitmap().size(), QSize(50, 50));
    // The 100x50 resize is cut from x = 25 to 75: both halves, split in the middle.
    EXPECT_EQ(pixel(*cropped, 5, 25), QColor(Qt::red));
    EXPECT_EQ(pixel(*cropped, 44, 25), QColor(Qt::blue));
}

TEST(Image, PngRepresentationRoundTripsThePixels)
{
    const Image image = Image::fromBitmap(halves(20, 10));
    auto png = image.PNGRepresentation();
    ASSERT_TRUE(png);
    EXPECT_TRUE(png->startsWith("\x89PNG"));
    auto read = Image::fromPngData(*png);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->size(), QSizeF(20, 10));
    EXPECT_EQ(read->PNGRepresentation(), *png) << "PNG data is kept as it came";
    EXPECT_EQ(pixel(*read, 2, 5), QColor(Qt::red));
    EXPECT_EQ(pixel(*read, 15, 5), QColor(Qt::blue));
    EXPECT_FALSE(Image().PNGRepresentation());
}

TEST(Image, PngDataWithAPointSizeKeepsIt)
{
    auto png = Image::fromBitmap(filled(57, 57, Qt::green)).PNGRepresentation();
    ASSERT_TRUE(png);
    auto read = Image::fromPngData(*png, QSizeF(28.5, 28.5));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->size(), QSizeF(28.5, 28.5));
    EXPECT_EQ(read->representations().first().pixelsWide(), 57);
}

TEST(Image, HostilePngDataGivesNothing)
{
    auto png = Image::fromBitmap(filled(4, 4, Qt::red)).PNGRepresentation();
    ASSERT_TRUE(png);
    // A valid PNG wider than any icon: refused before its pixels are decoded.
    auto wide = Image::fromBitmap(filled(ImageRepresentation::maximumPixelSide + 1, 1, Qt::red))
                    .PNGRepresentation();
    ASSERT_TRUE(wide);
    EXPECT_FALSE(Image::fromPngData(*wide));
    EXPECT_FALSE(Image::fromPngData(QByteArray("not a png")));
    EXPECT_FALSE(Image::fromPngData(png->left(20)));
    EXPECT_FALSE(Image::fromPngData(QByteArray()));
}

TEST(Image, OnlyRegularFilesAreRead)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("Icon.png"));
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_FALSE(Image::fromFile(fifo)) << "returns at once instead of waiting for a writer";
    EXPECT_FALSE(Image::fromFile(dir.path()));
    const QString png = dir.filePath(QStringLiteral("real.png"));
    ASSERT_TRUE(filled(3, 3, Qt::red).save(png));
    EXPECT_TRUE(Image::fromFile(png));
}

TEST(Image, DrawnImagesRenderOnDemandAtTheDrawingScale)
{
    int calls = 0;
    const Image drawn = Image::withDrawingHandler(QSizeF(10, 5), [&](QPainter &p, const QRectF &r) {
        ++calls;
        p.fillRect(r, Qt::green);
        return true;
    });
    EXPECT_EQ(calls, 0) << "nothing is drawn until it is needed";
    const QImage pixels = drawn.bitmap();
    EXPECT_EQ(pixels.size(), QSize(20, 10));
    EXPECT_EQ(QColor::fromRgba(pixels.pixel(19, 9)), QColor(Qt::green));
    drawn.PNGRepresentation();
    EXPECT_EQ(calls, 1) << "the rendering is cached";
    auto copy = drawn.copyWithSize(QSizeF(40, 20));
    ASSERT_TRUE(copy);
    EXPECT_EQ(pixel(*copy, 39, 19), QColor(Qt::green));
}

TEST(Image, ADrawingThatFailsGivesNoCopyAndNoPng)
{
    const Image failing =
        Image::withDrawingHandler(QSizeF(8, 8), [](QPainter &, const QRectF &) { return false; });
    EXPECT_FALSE(failing.copyWithSize(QSizeF(8, 8)));
    EXPECT_FALSE(failing.PNGRepresentation());
}
