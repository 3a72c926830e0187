// App icons drawn through the on-disk rendered-icon cache: what makes an icon
// be drawn again (its file, the device kind, a damaged entry), what does not
// (an unchanged app scanned again), a cache folder that cannot be used, and
// the folder's size limit. Each test has a cache home of its own.
#include "Marrowkit/icons/renderediconcache.h"

#include "Marrowkit/model/simulatorapp.h"
#include "Marrowkit/model/simulatordevice.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

bool writePng(const QString &path, int side, QColor colour)
{
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(colour);
    return image.save(path, "PNG");
}

bool setModified(const QString &path, qint64 seconds)
{
    const timespec times[2] = {{seconds, 0}, {seconds, 0}};
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
}

QColor centre(const QImage &image)
{
    return QColor::fromRgba(image.pixel(image.width() / 2, image.height() / 2));
}

// A cache home of the test's own, and one app bundle with phone and pad icons.
class RenderedIcons : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_oldCache = qgetenv("XDG_CACHE_HOME");
        qputenv("XDG_CACHE_HOME", QFile::encodeName(m_cache.path()));
        m_bundle = m_world.filePath(QStringLiteral("Bundle/Foo.app"));
        ASSERT_TRUE(QDir().mkpath(m_bundle));
        ASSERT_TRUE(writePng(phoneIcon(), 120, Qt::red));
        ASSERT_TRUE(
            writePng(m_bundle + QStringLiteral("/AppIcon76x76@2x~ipad.png"), 152, Qt::blue));
    }
    void TearDown() override { qputenv("XDG_CACHE_HOME", m_oldCache); }

    QString phoneIcon() const { return m_bundle + QStringLiteral("/AppIcon60x60@2x.png"); }

    static QVariantMap iconFiles(const QString &name)
    {
        return {{QStringLiteral("CFBundlePrimaryIcon"),
                 QVariantMap{{QStringLiteral("CFBundleIconFiles"), QStringList{name}}}}};
    }

    // The app as a scan makes it: a new object on a device of `type`.
    SimulatorAppPtr scan(const QString &type)
    {
        const QVariantMap info{
            {QStringLiteral("CFBundleIdentifier"), QStringLiteral("com.example.Foo")},
            {QStringLiteral("CFBundleIcons"), iconFiles(QStringLiteral("AppIcon60x60"))},
            {QStringLiteral("CFBundleIcons~ipad"), iconFiles(QStringLiteral("AppIcon76x76"))}};
        auto app = SimulatorApp::create(QStringLiteral("DATA"), info, std::nullopt,
                                        QUrl::fromLocalFile(m_bundle), std::nullopt);
        m_device = SimulatorDevice::create(QStringLiteral("DEVICE"), QStringLiteral("Device"),
                                           {app}, QStringLiteral("9.0"), type, 1);
        return app;
    }

    // Scans and draws the icon as an archive would; counts what was drawn.
    QImage drawn(const QString &type, quint64 *renders)
    {
        const quint64 before = RenderedIconCache::renderCount();
        const auto app = scan(type);
        const auto png = app->icon() ? app->icon()->PNGRepresentation() : std::nullopt;
        *renders = RenderedIconCache::renderCount() - before;
        return png ? QImage::fromData(*png, "PNG") : QImage();
    }

    QString entryFor(const QString &type)
    {
        const auto app = scan(type);
        return app->iconSource()
                   ? RenderedIconCache::shared().entryPath(app->iconSource()->cacheKey())
                   : QString();
    }

    QTemporaryDir m_cache;
    QTemporaryDir m_world;
    QByteArray m_oldCache;
    QString m_bundle;
    SimulatorDevicePtr m_device;
};

} // namespace

TEST_F(RenderedIcons, TheScanDecodesNothingAndAnUnchangedAppIsNeverDrawnAgain)
{
    const quint64 before = RenderedIconCache::renderCount();
    const auto app = scan(QStringLiteral("iPhone 6"));
    ASSERT_TRUE(app->iconSource());
    EXPECT_EQ(app->iconSource()->filePath(), phoneIcon()) << "120 pixels cover the phone's 120";
    EXPECT_EQ(RenderedIconCache::renderCount(), before) << "nothing is drawn by the scan";

    quint64 renders = 0;
    const QImage first = drawn(QStringLiteral("iPhone 6"), &renders);
    EXPECT_EQ(renders, 1U);
    EXPECT_EQ(first.size(), QSize(57, 57));
    EXPECT_EQ(centre(first), QColor(Qt::red));
    EXPECT_TRUE(QFileInfo::exists(entryFor(QStringLiteral("iPhone 6"))));

    for (int rescan = 0; rescan < 2; ++rescan) {
        const QImage again = drawn(QStringLiteral("iPhone 6"), &renders);
        EXPECT_EQ(renders, 0U) << "rescan " << rescan;
        EXPECT_TRUE(again == first);
    }
}

TEST_F(RenderedIcons, AChangedIconFileIsDrawnAfresh)
{
    quint64 renders = 0;
    ASSERT_EQ(centre(drawn(QStringLiteral("iPhone 6"), &renders)), QColor(Qt::red));
    const QString oldEntry = entryFor(QStringLiteral("iPhone 6"));

    // Same size in bytes, another colour, another modification time.
    ASSERT_TRUE(writePng(phoneIcon(), 120, Qt::green));
    ASSERT_TRUE(setModified(phoneIcon(), 1500000000));
    EXPECT_EQ(centre(drawn(QStringLiteral("iPhone 6"), &renders)), QColor(Qt::green));
    EXPECT_EQ(renders, 1U);
    EXPECT_NE(entryFor(QStringLiteral("iPhone 6")), oldEntry);

    // Only the modification time changes: still a new picture for the cache.
    ASSERT_TRUE(setModified(phoneIcon(), 1500000100));
    drawn(QStringLiteral("iPhone 6"), &renders);
    EXPECT_EQ(renders, 1U);
}

TEST_F(RenderedIcons, AnotherDeviceKindIsDrawnAfresh)
{
    quint64 renders = 0;
    EXPECT_EQ(centre(drawn(QStringLiteral("iPhone 6"), &renders)), QColor(Qt::red));
    EXPECT_EQ(renders, 1U);
    EXPECT_EQ(centre(drawn(QStringLiteral("iPad Air"), &renders)), QColor(Qt::blue));
    EXPECT_EQ(renders, 1U);
    // Same file, another kind with another clip: a picture of its own.
    const QImage watch = drawn(QStringLiteral("Apple Watch - 42mm"), &renders);
    EXPECT_EQ(renders, 1U);
    EXPECT_EQ(qAlpha(watch.pixel(5, 5)), 0) << "the watch's round corner";
    const QImage tv = drawn(QStringLiteral("Apple TV 1080p"), &renders);
    EXPECT_EQ(renders, 1U);
    EXPECT_EQ(tv.size(), QSize(57, 35));

    drawn(QStringLiteral("iPhone 6"), &renders);
    EXPECT_EQ(renders, 0U);
    drawn(QStringLiteral("iPad Air"), &renders);
    EXPECT_EQ(renders, 0U);
}

TEST_F(RenderedIcons, DamagedEntriesAreDrawnAfreshAndReplaced)
{
    quint64 renders = 0;
    const QImage good = drawn(QStringLiteral("iPhone 6"), &renders);
    const QString entry = entryFor(QStringLiteral("iPhone 6"));
    QFile file(entry);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray whole = file.readAll();
    file.close();

    auto damagedWith = [&](const QByteArray &bytes) {
        QFile::remove(entry);
        QFile damaged(entry);
        EXPECT_TRUE(damaged.open(QIODevice::WriteOnly) && damaged.write(bytes) == bytes.size());
        damaged.close();
        const QImage icon = drawn(QStringLiteral("iPhone 6"), &renders);
        EXPECT_EQ(renders, 1U);
        EXPECT_TRUE(icon == good);
        QFile rewritten(entry);
        EXPECT_TRUE(rewritten.open(QIODevice::ReadOnly) && rewritten.readAll() == whole);
    };
    QByteArray flipped = whole;
    flipped[flipped.size() - 20] = char(flipped.at(flipped.size() - 20) ^ 0x5a);
    damagedWith(flipped);
    damagedWith(whole.left(whole.size() / 2)); // cut short by a crash
    damagedWith(QByteArray());
    damagedWith(whole + "trailing");
}

TEST_F(RenderedIcons, AnEntryWhosePictureDoesNotReadIsIgnored)
{
    RenderedIconCache cache(QStringLiteral("Probe"));
    const QByteArray key("some icon");
    ASSERT_TRUE(cache.store(key, "not a PNG at all, but a checksummed entry all the same"));
    EXPECT_FALSE(cache.find(key, QSize(57, 57)));

    QImage pixels(57, 57, QImage::Format_ARGB32);
    pixels.fill(Qt::red);
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        ASSERT_TRUE(pixels.save(&buffer, "PNG"));
    }
    ASSERT_TRUE(cache.store(key, png));
    EXPECT_EQ(cache.find(key, QSize(57, 57)), png);
    EXPECT_FALSE(cache.find(key, QSize(57, 35))) << "a picture of another size";
    EXPECT_FALSE(cache.find("another key", QSize(57, 57)));
}

TEST_F(RenderedIcons, ACacheFolderThatCannotBeUsedStillGivesCorrectIcons)
{
    quint64 renders = 0;
    const QImage expected = drawn(QStringLiteral("iPhone 6"), &renders);
    ASSERT_FALSE(expected.isNull());

    // The cache home is a file: no folder can be made below it.
    const QString blocked = m_world.filePath(QStringLiteral("not-a-folder"));
    QFile file(blocked);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    qputenv("XDG_CACHE_HOME", QFile::encodeName(blocked));
    for (int scan = 0; scan < 2; ++scan) {
        const QImage icon = drawn(QStringLiteral("iPhone 6"), &renders);
        EXPECT_EQ(renders, 1U) << "nothing to keep it in";
        EXPECT_TRUE(icon == expected);
    }

    // The cache's own folder is a link: refused, and nothing written through it.
    const QString home = m_world.filePath(QStringLiteral("linked-home"));
    const QString elsewhere = m_world.filePath(QStringLiteral("elsewhere"));
    ASSERT_TRUE(QDir().mkpath(home + QStringLiteral("/Marrowby")));
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    ASSERT_TRUE(QFile::link(elsewhere, home + QStringLiteral("/Marrowby/RenderedIcons")));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(home));
    EXPECT_TRUE(drawn(QStringLiteral("iPhone 6"), &renders) == expected);
    EXPECT_TRUE(QDir(elsewhere).isEmpty());
}

TEST_F(RenderedIcons, TheFolderIsKeptUnderItsLimitDroppingTheLeastRecentlyUsed)
{
    constexpr qint64 limit = 16 * 1024;
    RenderedIconCache cache(QStringLiteral("Bounded"), limit);
    const QByteArray picture(1000, 'x');
    auto key = [](int i) { return QByteArray("entry ") + QByteArray::number(i); };

    ASSERT_TRUE(cache.store(key(0), picture));
    const QString folder = QFileInfo(cache.entryPath(key(0))).path();
    // A temporary file left by a writer that crashed long ago.
    const QString leftover = folder + QStringLiteral("/.abc.icon.XYZ123");
    QFile stale(leftover);
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly) && stale.write("half") == 4);
    stale.close();
    ASSERT_TRUE(setModified(leftover, 1000000000));

    for (int i = 0; i < 40; ++i) {
        ASSERT_TRUE(cache.store(key(i), picture));
        ASSERT_TRUE(setModified(cache.entryPath(key(i)), 1600000000 + i));
    }
    cache.trim();
    qint64 total = 0;
    for (const QFileInfo &entry : QDir(folder).entryInfoList(QDir::Files | QDir::Hidden)) {
        total += entry.size();
    }
    EXPECT_LE(total, limit);
    EXPECT_FALSE(QFileInfo::exists(leftover));
    EXPECT_FALSE(QFileInfo::exists(cache.entryPath(key(0)))) << "the oldest goes first";
    EXPECT_TRUE(QFileInfo::exists(cache.entryPath(key(39)))) << "the newest stays";
}

TEST_F(RenderedIcons, TemplateIconsAreDrawnOncePerKind)
{
    const quint64 before = RenderedIconCache::renderCount();
    for (int i = 0; i < 5; ++i) {
        auto app = SimulatorApp::create(
            QStringLiteral("T%1").arg(i),
            {{QStringLiteral("CFBundleIdentifier"), QStringLiteral("com.example.T%1").arg(i)}});
        const auto device =
            SimulatorDevice::create(QStringLiteral("D%1").arg(i), QStringLiteral("Device"), {app},
                                    QStringLiteral("9.0"), QStringLiteral("Apple Watch - 38mm"), 1);
        ASSERT_TRUE(app->hasTemplateIcon());
        ASSERT_TRUE(app->icon() && app->icon()->PNGRepresentation());
    }
    EXPECT_LE(RenderedIconCache::renderCount() - before, 1U);
}

TEST_F(RenderedIcons, ACacheFolderRemovedWhileRunningIsMadeAgain)
{
    quint64 renders = 0;
    drawn(QStringLiteral("iPhone 6"), &renders);
    const QString entry = entryFor(QStringLiteral("iPhone 6"));
    ASSERT_TRUE(QFileInfo::exists(entry));
    ASSERT_TRUE(QDir(QFileInfo(entry).path()).removeRecursively());

    ASSERT_TRUE(writePng(phoneIcon(), 120, Qt::green));
    ASSERT_TRUE(setModified(phoneIcon(), 1500000000));
    EXPECT_EQ(centre(drawn(QStringLiteral("iPhone 6"), &renders)), QColor(Qt::green));
    drawn(QStringLiteral("iPhone 6"), &renders); // the failed write let go of the folder
    EXPECT_EQ(renders, 1U);
    drawn(QStringLiteral("iPhone 6"), &renders);
    EXPECT_EQ(renders, 0U);
    EXPECT_TRUE(QFileInfo::exists(entryFor(QStringLiteral("iPhone 6"))));
}

TEST_F(RenderedIcons, HostileIconFilesNeitherBlockNorBreakTheScan)
{
    // A FIFO named like the best icon would block a plain open for ever; a
    // header claiming absurd sides is refused; a PNG cut after its header is
    // chosen by the scan and drawn as the template when it does not decode.
    ASSERT_TRUE(QFile::remove(phoneIcon()));
    ASSERT_EQ(::mkfifo(QFile::encodeName(phoneIcon()).constData(), 0600), 0);
    QImage big(180, 180, QImage::Format_ARGB32);
    big.fill(Qt::red);
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        ASSERT_TRUE(big.save(&buffer, "PNG"));
    }
    QByteArray absurd = png;
    absurd[16] = char(0x7f); // width 2^30 and more
    const QString absurdPath = m_bundle + QStringLiteral("/AppIcon60x60.png");
    const QString cutPath = m_bundle + QStringLiteral("/AppIcon60x60@3x.png");
    QFile absurdFile(absurdPath);
    ASSERT_TRUE(absurdFile.open(QIODevice::WriteOnly) && absurdFile.write(absurd) > 0);
    absurdFile.close();
    QFile cut(cutPath);
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly) && cut.write(png.left(40)) == 40);
    cut.close();

    const auto app = scan(QStringLiteral("iPhone 6"));
    ASSERT_TRUE(app->iconSource());
    EXPECT_EQ(app->iconSource()->filePath(), cutPath);
    EXPECT_FALSE(app->hasTemplateIcon());
    quint64 renders = 0;
    const QImage icon = drawn(QStringLiteral("iPhone 6"), &renders);
    EXPECT_EQ(icon.size(), QSize(57, 57));
    EXPECT_NE(centre(icon), QColor(Qt::red));
    EXPECT_EQ(qAlpha(icon.pixel(28, 28)), 255) << "the template picture";

    // With only the FIFO and the absurd file left, no file serves.
    ASSERT_TRUE(QFile::remove(cutPath));
    EXPECT_TRUE(scan(QStringLiteral("iPhone 6"))->hasTemplateIcon());
}
