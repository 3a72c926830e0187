// Icns conversion: the container bytes written directly, and the icon-set
// route through the icon tool with its cache.
#include "Marrowkit/icons/icnsconverter.h"
#include "Marrowkit/icons/iconset.h"

#include "tests/support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

namespace {

Image square(int side, QColor colour)
{
    QImage pixels(side, side, QImage::Format_ARGB32_Premultiplied);
    pixels.fill(colour);
    return Image::fromBitmap(pixels);
}

quint32 bigEndianAt(const QByteArray &data, qsizetype offset)
{
    return qFromBigEndian<quint32>(data.constData() + offset);
}

QImage decode(const QByteArray &png)
{
    return QImage::fromData(png, "PNG");
}

// Sets an environment variable for the lifetime of the object.
class ScopedEnvironment
{
public:
    ScopedEnvironment(const char *name, const QByteArray &value)
        : m_name(name), m_old(qgetenv(name)), m_wasSet(qEnvironmentVariableIsSet(name))
    {
        qputenv(name, value);
    }
    ~ScopedEnvironment()
    {
        if (m_wasSet) {
            qputenv(m_name, m_old);
        } else {
            qunsetenv(m_name);
        }
    }
    ScopedEnvironment(const ScopedEnvironment &) = delete;
    ScopedEnvironment &operator=(const ScopedEnvironment &) = delete;

private:
    const char *m_name;
    QByteArray m_old;
    bool m_wasSet;
};

// A private temporary folder and an icon tool that logs each run, keeps a copy
// of the icon set it was given and writes a recognisable icns file (unless
// told to write nothing).
class IcnsConversion : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_root.isValid());
        QDir(m_root.path()).mkpath(QStringLiteral("tmp"));
        QDir(m_root.path()).mkpath(QStringLiteral("bin"));
        const QString script = QStringLiteral(R"(#!/bin/sh
echo "$@" >> "%1/log"
cp -r "$5" "%1/seen.iconset"
[ -e "%1/no-output" ] || printf 'icns-from-tool' > "$4"
)")
                                   .arg(m_root.path());
        const QString tool = m_root.filePath(QStringLiteral("bin/iconutil"));
        ASSERT_TRUE(testsupport::writeFile(tool, script.toUtf8()));
        QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_tmp = std::make_unique<ScopedEnvironment>(
            "TMPDIR", QFile::encodeName(m_root.filePath(QStringLiteral("tmp"))));
        m_bin = std::make_unique<ScopedEnvironment>(
            "MARROWBY_DEVTOOLS_BIN", QFile::encodeName(m_root.filePath(QStringLiteral("bin"))));
    }

    QStringList toolRuns() const
    {
        QFile log(m_root.filePath(QStringLiteral("log")));
        if (!log.open(QIODevice::ReadOnly)) {
            return {};
        }
        return QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    QString tmp(const QString &relative) const
    {
        return m_root.filePath(QStringLiteral("tmp/") + relative);
    }

    QTemporaryDir m_root;
    std::unique_ptr<ScopedEnvironment> m_tmp;
    std::unique_ptr<ScopedEnvironment> m_bin;
};

} // namespace

TEST(IcnsConverter, FourCharacterCodes)
{
    EXPECT_EQ(uint32FromFourCharString("icns"), 0x69636e73u);
    EXPECT_EQ(IcnsConverter::dataForOSType(uint32FromFourCharString("icns")), QByteArray("icns"));
    EXPECT_EQ(IcnsConverter::dataForOSType(uint32FromFourCharString("ic10")), QByteArray("ic10"));
    EXPECT_EQ(IcnsConverter::possibleSizes(), (QList<int>{16, 32, 128, 256, 512}));
}

TEST(IcnsConverter, ElementTypeFollowsThePixelWidth)
{
    struct Case
    {
        int side;
        const char *type;
        int pngSide;
    };
    // 1024 is not one of the sizes, so it is redrawn at 128 like any other.
    for (const Case &c :
         {Case{16, "it32", 16}, Case{128, "it32", 128}, Case{256, "ic08", 256},
          Case{512, "ic09", 512}, Case{100, "it32", 128}, Case{1024, "it32", 128}}) {
        auto element = IcnsConverter::icnsDataForImage(square(c.side, Qt::red));
        ASSERT_TRUE(element) << c.side;
        const QByteArray &bytes = element->first;
        EXPECT_EQ(bytes.left(4), QByteArray(c.type)) << c.side;
        EXPECT_EQ(bigEndianAt(bytes, 4), element->second + 8) << c.side;
        EXPECT_EQ(quint32(bytes.size()), element->second + 8) << c.side;
        EXPECT_EQ(decode(bytes.mid(8)).size(), QSize(c.pngSide, c.pngSide)) << c.side;
    }
}

TEST(IcnsConverter, ImagesThatAreNotSquareInPixelsGiveNoElement)
{
    QImage wide(100, 50, QImage::Format_ARGB32_Premultiplied);
    wide.fill(Qt::red);
    EXPECT_FALSE(IcnsConverter::icnsDataForImage(Image::fromBitmap(wide)));
    EXPECT_FALSE(IcnsConverter::icnsDataForImage(Image()));
}

TEST(IcnsConverter, ContainerLengthCountsEveryByte)
{
    const QByteArray one = IcnsConverter::convertImagesToData({square(32, Qt::red)});
    ASSERT_GT(one.size(), 16);
    EXPECT_EQ(one.left(4), QByteArray("icns"));
    EXPECT_EQ(bigEndianAt(one, 4), quint32(one.size()));
    const quint32 pngLength = bigEndianAt(one, 12) - 8;
    EXPECT_EQ(bigEndianAt(one, 4), pngLength + 16) << "one image: PNG length + 16";

    // Several images: the length still matches the bytes (PNG lengths + 16
    // would undercount by 8 per extra element).
    const QByteArray three = IcnsConverter::convertImagesToData(
        {square(32, Qt::red), square(256, Qt::green), square(30, Qt::blue), square(10, Qt::blue)});
    EXPECT_EQ(bigEndianAt(three, 4), quint32(three.size()));
    QStringList types;
    for (qsizetype at = 8; at + 8 <= three.size();) {
        types << QString::fromLatin1(three.mid(at, 4));
        const quint32 length = bigEndianAt(three, at + 4);
        ASSERT_GE(length, 8u);
        EXPECT_FALSE(decode(three.mid(at + 8, length - 8)).isNull());
        at += length;
    }
    EXPECT_EQ(types, (QStringList{QStringLiteral("it32"), QStringLiteral("ic08"),
                                  QStringLiteral("it32"), QStringLiteral("it32")}));

    const QByteArray none = IcnsConverter::convertImagesToData({});
    EXPECT_EQ(none, QByteArray("icns\0\0\0\x08", 8));
}

TEST_F(IcnsConversion, ConversionRunsTheToolOnceAndThenReadsTheCache)
{
    const QByteArray first = IcnsConverter::convertImagesToData(
        {square(64, Qt::red), square(40, Qt::blue)}, QStringLiteral("com.example.Foo"));
    EXPECT_EQ(first, QByteArray("icns-from-tool"));
    const QStringList runs = toolRuns();
    ASSERT_EQ(runs.size(), 1);
    EXPECT_EQ(runs.first(), QStringLiteral("-c icns -o %1 %2")
                                .arg(tmp(QStringLiteral("Marrowby/com.example.Foo.icns")),
                                     tmp(QStringLiteral("com.example.Foo.iconset"))));
    EXPECT_FALSE(QFileInfo::exists(tmp(QStringLiteral("com.example.Foo.iconset"))))
        << "the icon set folder is removed after the conversion";

    // Every size, each drawn from the last image, at one pixel per point.
    const QDir seen(m_root.filePath(QStringLiteral("seen.iconset")));
    const QStringList expected{
        QStringLiteral("icon_1024x1024.png"), QStringLiteral("icon_128x128.png"),
        QStringLiteral("icon_16x16.png"),     QStringLiteral("icon_256x256.png"),
        QStringLiteral("icon_32x32.png"),     QStringLiteral("icon_512x512.png"),
        QStringLiteral("icon_64x64.png")};
    EXPECT_EQ(seen.entryList(QDir::Files, QDir::Name), expected);
    const QImage largest(seen.filePath(QStringLiteral("icon_1024x1024.png")));
    EXPECT_EQ(largest.size(), QSize(1024, 1024));
    EXPECT_EQ(QColor::fromRgba(largest.pixel(500, 500)), QColor(Qt::blue));
    EXPECT_EQ(QImage(seen.filePath(QStringLiteral("icon_16x16.png"))).size(), QSize(16, 16));

    const QByteArray second = IcnsConverter::convertImagesToData({square(64, Qt::green)},
                                                                 QStringLiteral("com.example.Foo"));
    EXPECT_EQ(second, first);
    EXPECT_EQ(toolRuns().size(), 1) << "the cached file is returned without running the tool";
}

TEST_F(IcnsConversion, AToolThatWritesNothingGivesEmptyData)
{
    ASSERT_TRUE(testsupport::writeFile(m_root.filePath(QStringLiteral("no-output")), "1"));
    EXPECT_TRUE(IcnsConverter::convertImagesToData({square(32, Qt::red)}, QStringLiteral("a.b.c"))
                    .isEmpty());
    EXPECT_EQ(toolRuns().size(), 1);
}

TEST_F(IcnsConversion, AMissingToolGivesEmptyData)
{
    ScopedEnvironment nowhere("MARROWBY_DEVTOOLS_BIN",
                              QFile::encodeName(m_root.filePath(QStringLiteral("nothing-here"))));
    EXPECT_TRUE(
        IcnsConverter::convertImagesToData({square(32, Qt::red)}, QStringLiteral("x.y")).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(tmp(QStringLiteral("x.y.iconset"))));
}

TEST_F(IcnsConversion, NamesThatLeaveTheCacheFolderAreRefused)
{
    for (const QString &name : {QStringLiteral("../escape"), QStringLiteral(".."),
                                QStringLiteral(""), QStringLiteral("a/b")}) {
        EXPECT_TRUE(IcnsConverter::convertImagesToData({square(32, Qt::red)}, name).isEmpty());
    }
    EXPECT_TRUE(toolRuns().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(tmp(QStringLiteral("escape.icns"))));
}

TEST_F(IcnsConversion, IconsetOperationsReportMissingURLsAndFileErrors)
{
    Iconset iconset;
    iconset.addImage(square(16, Qt::red), QStringLiteral("16x16"));
    iconset.addImage(square(16, Qt::blue), QStringLiteral("16x16"));
    EXPECT_EQ(iconset.images().size(), 1);
    EXPECT_EQ(iconset.saveIcnsToURL(std::nullopt), IconsetError::error());
    EXPECT_EQ(iconset.writeIconsetToURL(std::nullopt), IconsetError::error());
    EXPECT_EQ(
        Iconset::runIconUtilWithInput(QUrl::fromLocalFile(tmp(QStringLiteral("in"))), std::nullopt),
        IconsetError::error());
    EXPECT_EQ(IconsetError::error().domain, QStringLiteral("Marrowkit.IconsetError"));
    EXPECT_EQ(IconsetError::error().code, 0);

    // A folder that cannot be made: its parent is a file.
    ASSERT_TRUE(testsupport::writeFile(tmp(QStringLiteral("file")), "x"));
    auto error = iconset.writeIconsetToURL(QUrl::fromLocalFile(tmp(QStringLiteral("file/sub"))));
    ASSERT_TRUE(error);
    EXPECT_FALSE(IconsetError::isIconsetError(*error));
    EXPECT_EQ(error->domain, QStringLiteral("NSFileManagerErrorDomain"));

    const QString folder = tmp(QStringLiteral("out.iconset"));
    EXPECT_FALSE(iconset.writeIconsetToURL(QUrl::fromLocalFile(folder)));
    EXPECT_EQ(QColor::fromRgba(QImage(folder + QStringLiteral("/icon_16x16.png")).pixel(1, 1)),
              QColor(Qt::blue));
}
