// Icns conversion: the container bytes written directly, and the icon-set
// route through the icon tool with its cache.
#include "Marrowkit/icons/icnsconverter.h"
#include "Marrowkit/icons/iconset.h"

#include "tests/support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QRegularExpression>
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

// A private cache folder and an icon tool that logs each run, keeps a copy
// of the icon set it was given and then lets the stand-in's tool convert it
// (unless told to write nothing, to write something that is not icns, or to
// fail).
class IcnsConversion : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_root.isValid());
        QDir(m_root.path()).mkpath(QStringLiteral("cache"));
        QDir(m_root.path()).mkpath(QStringLiteral("bin"));
        const QString script = QStringLiteral(R"(#!/bin/sh
echo "$@" >> "%1/log"
cp -r "$5" "%1/seen.iconset"
[ -e "%1/no-output" ] && exit 0
[ -e "%1/not-icns" ] && printf 'icns-from-tool' > "$4" && exit 0
[ -e "%1/fail" ] && exit 1
exec "%2/iconutil" "$@"
)")
                                   .arg(m_root.path(), testsupport::devtoolsBinPath());
        const QString tool = m_root.filePath(QStringLiteral("bin/iconutil"));
        ASSERT_TRUE(testsupport::writeFile(tool, script.toUtf8()));
        QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_cache = std::make_unique<ScopedEnvironment>(
            "XDG_CACHE_HOME", QFile::encodeName(m_root.filePath(QStringLiteral("cache"))));
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
    // The icon cache folder and what is in it, hidden entries included.
    QString icons() const { return m_root.filePath(QStringLiteral("cache/Marrowby/Icons")); }
    QStringList iconsEntries() const
    {
        return QDir(icons()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                       QDir::NoDotAndDotDot);
    }

    QTemporaryDir m_root;
    std::unique_ptr<ScopedEnvironment> m_cache;
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
        const auto element = IcnsConverter::icnsDataForImage(square(c.side, Qt::red));
        ASSERT_TRUE(element.isSuccess()) << c.side;
        // Copies: value() answers by value.
        const QByteArray bytes = element.value()->first;
        const quint32 length = element.value()->second;
        EXPECT_EQ(bytes.left(4), QByteArray(c.type)) << c.side;
        EXPECT_EQ(bigEndianAt(bytes, 4), length + 8) << c.side;
        EXPECT_EQ(quint32(bytes.size()), length + 8) << c.side;
        EXPECT_EQ(decode(bytes.mid(8)).size(), QSize(c.pngSide, c.pngSide)) << c.side;
    }
}

TEST(IcnsConverter, ImagesThatAreNotSquareInPixelsGiveNoElement)
{
    QImage wide(100, 50, QImage::Format_ARGB32_Premultiplied);
    wide.fill(Qt::red);
    const auto notSquare = IcnsConverter::icnsDataForImage(Image::fromBitmap(wide));
    ASSERT_TRUE(notSquare.isFailure());
    EXPECT_TRUE(notSquare.error()->localizedDescription().contains(QStringLiteral("100 x 50")));
    EXPECT_TRUE(IcnsConverter::icnsDataForImage(Image()).isFailure());
}

TEST(IcnsConverter, ContainerLengthCountsEveryByte)
{
    const QByteArray one = *IcnsConverter::convertImagesToData({square(32, Qt::red)}).value();
    ASSERT_GT(one.size(), 16);
    EXPECT_EQ(one.left(4), QByteArray("icns"));
    EXPECT_EQ(bigEndianAt(one, 4), quint32(one.size()));
    const quint32 pngLength = bigEndianAt(one, 12) - 8;
    EXPECT_EQ(bigEndianAt(one, 4), pngLength + 16) << "one image: PNG length + 16";
    EXPECT_TRUE(IcnsConverter::isIcnsData(one));

    // Several images: the length still matches the bytes (PNG lengths + 16
    // would undercount by 8 per extra element).
    const QByteArray three =
        *IcnsConverter::convertImagesToData({square(32, Qt::red), square(256, Qt::green),
                                             square(30, Qt::blue), square(10, Qt::blue)})
             .value();
    EXPECT_EQ(bigEndianAt(three, 4), quint32(three.size()));
    EXPECT_TRUE(IcnsConverter::isIcnsData(three));
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

    const auto none = IcnsConverter::convertImagesToData({});
    EXPECT_EQ(none.value(), QByteArray("icns\0\0\0\x08", 8));
}

TEST(IcnsConverter, OnlyWholeContainersCountAsIcns)
{
    const QByteArray whole = *IcnsConverter::convertImagesToData({square(16, Qt::red)}).value();
    ASSERT_TRUE(IcnsConverter::isIcnsData(whole));
    QByteArray longer = whole + "x";
    qToBigEndian(quint32(longer.size()), longer.data() + 4);
    QByteArray badElement = whole;
    qToBigEndian(quint32(4), badElement.data() + 12); // shorter than its own header
    QByteArray overlong = whole;
    qToBigEndian(quint32(whole.size()), overlong.data() + 12); // runs past the end
    for (const QByteArray &broken :
         {whole.left(whole.size() - 1), whole.left(8), longer, badElement, overlong,
          QByteArray("icnt") + whole.mid(4), QByteArray("icns\0\0\0\x04", 8), QByteArray()}) {
        EXPECT_FALSE(IcnsConverter::isIcnsData(broken)) << broken.left(16).toHex().toStdString();
    }
}

TEST_F(IcnsConversion, ConversionRunsTheToolOnceAndThenReadsTheCache)
{
    const auto first = IcnsConverter::convertImagesToData(
        {square(64, Qt::red), square(40, Qt::blue)}, QStringLiteral("com.example.Foo"));
    ASSERT_TRUE(first.isSuccess()) << first.error().value_or(Error()).description().toStdString();
    EXPECT_TRUE(IcnsConverter::isIcnsData(*first.value()));
    const QStringList runs = toolRuns();
    ASSERT_EQ(runs.size(), 1);
    // Output and icon set each in a fresh private folder of the icon cache.
    const QStringList arguments = runs.first().split(QLatin1Char(' '));
    ASSERT_EQ(arguments.size(), 5);
    EXPECT_EQ(arguments.mid(0, 3),
              (QStringList{QStringLiteral("-c"), QStringLiteral("icns"), QStringLiteral("-o")}));
    EXPECT_TRUE(QRegularExpression(QRegularExpression::escape(icons()) +
                                   QStringLiteral("/\\.icns-[^/]{6}/com\\.example\\.Foo\\.icns"))
                    .match(arguments.at(3))
                    .hasMatch())
        << arguments.at(3).toStdString();
    EXPECT_TRUE(
        QRegularExpression(QRegularExpression::escape(icons()) +
                           QStringLiteral("/\\.iconset-[^/]{6}/com\\.example\\.Foo\\.iconset"))
            .match(arguments.at(4))
            .hasMatch())
        << arguments.at(4).toStdString();
    EXPECT_EQ(iconsEntries(), QStringList{QStringLiteral("com.example.Foo.icns")})
        << "the work folders are removed after the conversion";

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

    const auto second = IcnsConverter::convertImagesToData({square(64, Qt::green)},
                                                           QStringLiteral("com.example.Foo"));
    EXPECT_EQ(second.value(), first.value());
    EXPECT_EQ(toolRuns().size(), 1) << "the cached file is returned without running the tool";
}

TEST_F(IcnsConversion, AToolThatMakesNoIcnsGivesAFailureAndCachesNothing)
{
    struct Case
    {
        const char *marker;
        const char *reason;
    };
    for (const Case &c : {Case{"no-output", "no icns file"}, Case{"not-icns", "no valid icns"},
                          Case{"fail", "failed with status 1"}}) {
        ASSERT_TRUE(testsupport::writeFile(m_root.filePath(QLatin1String(c.marker)), "1"));
        const auto result =
            IcnsConverter::convertImagesToData({square(32, Qt::red)}, QStringLiteral("a.b.c"));
        ASSERT_TRUE(result.isFailure()) << c.marker;
        EXPECT_TRUE(result.error()->localizedDescription().contains(QLatin1String(c.reason)))
            << result.error()->localizedDescription().toStdString();
        EXPECT_TRUE(iconsEntries().isEmpty()) << c.marker;
        ASSERT_TRUE(QFile::remove(m_root.filePath(QLatin1String(c.marker))));
    }
    EXPECT_EQ(toolRuns().size(), 3);
    EXPECT_TRUE(IcnsConverter::convertImagesToData({square(32, Qt::red)}, QStringLiteral("a.b.c"))
                    .isSuccess())
        << "a failure is not remembered";
}

TEST_F(IcnsConversion, AMissingToolGivesAFailure)
{
    ScopedEnvironment nowhere("MARROWBY_DEVTOOLS_BIN",
                              QFile::encodeName(m_root.filePath(QStringLiteral("nothing-here"))));
    const auto result =
        IcnsConverter::convertImagesToData({square(32, Qt::red)}, QStringLiteral("x.y"));
    ASSERT_TRUE(result.isFailure());
    EXPECT_TRUE(IconsetError::isIconsetError(*result.error()));
    EXPECT_TRUE(result.error()->localizedDescription().contains(QStringLiteral("missing")));
    EXPECT_TRUE(iconsEntries().isEmpty());
}

TEST_F(IcnsConversion, NamesThatLeaveTheCacheFolderAreRefused)
{
    for (const QString &name : {QStringLiteral("../escape"), QStringLiteral(".."),
                                QStringLiteral(""), QStringLiteral("a/b")}) {
        const auto result = IcnsConverter::convertImagesToData({square(32, Qt::red)}, name);
        ASSERT_TRUE(result.isFailure()) << name.toStdString();
        EXPECT_TRUE(result.error()->localizedDescription().contains(QStringLiteral("cannot name")));
        EXPECT_TRUE(IcnsConverter::cachePath(name).isFailure());
    }
    EXPECT_TRUE(toolRuns().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(m_root.filePath(QStringLiteral("cache/Marrowby/escape.icns"))));
}

TEST_F(IcnsConversion, IconsetOperationsReportMissingURLsAndFileErrors)
{
    Iconset iconset;
    iconset.addImage(square(16, Qt::red), QStringLiteral("16x16"));
    iconset.addImage(square(16, Qt::blue), QStringLiteral("16x16"));
    EXPECT_EQ(iconset.images().size(), 1);
    for (const auto &result :
         {iconset.saveIcnsToURL(std::nullopt), iconset.writeIconsetToURL(std::nullopt),
          Iconset::runIconUtilWithInput(QUrl::fromLocalFile(m_root.filePath(QStringLiteral("in"))),
                                        std::nullopt),
          iconset.saveIcnsToURL(QUrl(QStringLiteral("https://example.org/icon")))}) {
        ASSERT_TRUE(result.isFailure());
        EXPECT_EQ(*result.error(), IconsetError::error());
    }
    EXPECT_EQ(IconsetError::error().domain, QStringLiteral("Marrowkit.IconsetError"));
    EXPECT_EQ(IconsetError::error().code, 0);

    // A folder that cannot be made: its parent is a file.
    ASSERT_TRUE(testsupport::writeFile(m_root.filePath(QStringLiteral("file")), "x"));
    const auto unwritable =
        iconset.writeIconsetToURL(QUrl::fromLocalFile(m_root.filePath(QStringLiteral("file/sub"))));
    ASSERT_TRUE(unwritable.isFailure());
    EXPECT_FALSE(IconsetError::isIconsetError(*unwritable.error()));
    EXPECT_EQ(unwritable.error()->domain, QStringLiteral("NSFileManagerErrorDomain"));

    const QString folder = m_root.filePath(QStringLiteral("out.iconset"));
    EXPECT_TRUE(iconset.writeIconsetToURL(QUrl::fromLocalFile(folder)).isSuccess());
    EXPECT_EQ(QColor::fromRgba(QImage(folder + QStringLiteral("/icon_16x16.png")).pixel(1, 1)),
              QColor(Qt::blue));

    // The tool's input goes afterwards, also when the tool fails.
    ASSERT_TRUE(testsupport::writeFile(m_root.filePath(QStringLiteral("fail")), "1"));
    const auto failed = Iconset::runIconUtilWithInput(
        QUrl::fromLocalFile(folder), QUrl::fromLocalFile(m_root.filePath(QStringLiteral("out"))));
    ASSERT_TRUE(failed.isFailure());
    EXPECT_TRUE(IconsetError::isIconsetError(*failed.error()));
    EXPECT_FALSE(QFileInfo::exists(folder));
}
