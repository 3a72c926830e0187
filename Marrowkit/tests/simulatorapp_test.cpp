// Simulator apps over real device-set folders: names and versions, building
// from app data, icons per device kind, app groups, sizes and watching.
#include "Marrowkit/model/simulatorapp.h"

#include "Marrowkit/icons/icnsconverter.h"
#include "Marrowkit/model/simulatordevice.h"
#include "Marrowkit/plist/propertylist.h"

#include "tests/support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <fcntl.h>
#include <sys/stat.h>

using testsupport::waitFor;
using Change = SimulatorApp::SimulatorAppChangeTypes;

namespace {

const QString identifierKey = QStringLiteral("CFBundleIdentifier");

QVariantMap infoWith(const QVariantMap &entries)
{
    QVariantMap info = entries;
    info.insert(identifierKey, QStringLiteral("com.example.App"));
    return info;
}

bool writePng(const QString &path, int side, QColor colour)
{
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(colour);
    QDir().mkpath(QFileInfo(path).path());
    return image.save(path, "PNG");
}

QVariantMap iconFiles(const QStringList &names)
{
    return {{QStringLiteral("CFBundlePrimaryIcon"),
             QVariantMap{{QStringLiteral("CFBundleIconFiles"), names}}}};
}

// A device-set folder with one app: its bundle container holding Foo.app and
// its data container, as the developer tools lay them out.
class DeviceFolder
{
public:
    DeviceFolder()
    {
        m_bundle = path(QStringLiteral("data/Containers/Bundle/Application/BUNDLE-1/Foo.app"));
        m_sandbox = path(QStringLiteral("data/Containers/Data/Application/DATA-1"));
        QDir().mkpath(m_bundle);
        QDir().mkpath(m_sandbox);
    }
    QString path(const QString &relative) const { return m_dir.filePath(relative); }
    QUrl bundleURL() const { return QUrl::fromLocalFile(m_bundle); }
    QUrl sandboxURL() const { return QUrl::fromLocalFile(m_sandbox); }
    QString bundle() const { return m_bundle; }
    QString sandbox() const { return m_sandbox; }

    SimulatorAppPtr app(const QVariantMap &info) const
    {
        return SimulatorApp::create(QStringLiteral("DATA-1"), info, std::nullopt, bundleURL(),
                                    sandboxURL(), std::nullopt, false);
    }

private:
    QTemporaryDir m_dir;
    QString m_bundle;
    QString m_sandbox;
};

SimulatorDevicePtr deviceOf(const QString &type, const QList<SimulatorAppPtr> &apps)
{
    return SimulatorDevice::create(QStringLiteral("DEVICE-") + type, QStringLiteral("Device"), apps,
                                   QStringLiteral("9.0"), type, 1);
}

QImage rendered(const Image &icon)
{
    return icon.bitmap();
}

QColor centre(const QImage &image)
{
    return QColor::fromRgba(image.pixel(image.width() / 2, image.height() / 2));
}

QImage resource(const QString &name)
{
    return QImage(QStringLiteral(":/Marrowkit/") + name + QStringLiteral(".png"));
}

QByteArray resourceBytes(const QString &name)
{
    QFile file(QStringLiteral(":/Marrowkit/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool near(QColor a, QColor b)
{
    return std::abs(a.red() - b.red()) < 12 && std::abs(a.green() - b.green()) < 12 &&
           std::abs(a.blue() - b.blue()) < 12 && std::abs(a.alpha() - b.alpha()) < 12;
}

} // namespace

TEST(SimulatorApp, NameIsTheFirstTextOfDisplayNameAndName)
{
    EXPECT_EQ(SimulatorApp::appNameFromInfoDictionary(
                  {{QStringLiteral("CFBundleDisplayName"), qint64(5)},
                   {QStringLiteral("CFBundleName"), QStringLiteral("Maps")}}),
              QStringLiteral("Maps"));
    EXPECT_EQ(SimulatorApp::appNameFromInfoDictionary(
                  {{QStringLiteral("CFBundleDisplayName"), QStringLiteral("Shown")},
                   {QStringLiteral("CFBundleName"), QStringLiteral("Maps")}}),
              QStringLiteral("Shown"));
    EXPECT_EQ(SimulatorApp::appNameFromInfoDictionary({}), QStringLiteral("<Untitled App>"));
}

TEST(SimulatorApp, VersionTextFromBothVersionKeys)
{
    const QString version = QStringLiteral("CFBundleVersion");
    const QString shortVersion = QStringLiteral("CFBundleShortVersionString");
    auto describe = [](const QVariantMap &info) {
        return SimulatorApp::appVersionDescriptionFromInfoDictionary(info);
    };
    EXPECT_EQ(describe({{version, QStringLiteral("42")}, {shortVersion, QStringLiteral("1.2")}}),
              QStringLiteral("1.2 (42)"));
    EXPECT_EQ(describe({{version, QStringLiteral("1.2")}, {shortVersion, QStringLiteral("1.2")}}),
              QStringLiteral("1.2"));
    EXPECT_EQ(describe({{version, QStringLiteral("42")}}), QStringLiteral("<Unknown version>"));
    EXPECT_EQ(describe({{shortVersion, QStringLiteral("1.2")}}), QStringLiteral("1.2"));
    EXPECT_EQ(describe({}), QStringLiteral("<Unknown version>"));
    EXPECT_EQ(describe({{version, qint64(42)}, {shortVersion, QStringLiteral("1.2")}}),
              QStringLiteral("1.2"))
        << "a number is not a version text";
}

TEST(SimulatorApp, DesignatedInitialiserNeedsATextBundleIdentifier)
{
    EXPECT_FALSE(SimulatorApp::create(QStringLiteral("A"), QVariantMap{}));
    EXPECT_FALSE(SimulatorApp::create(QStringLiteral("A"), {{identifierKey, qint64(1)}}));
    auto app = SimulatorApp::create(
        QStringLiteral("A"), infoWith({{QStringLiteral("CFBundleName"), QStringLiteral("Foo")}}));
    ASSERT_TRUE(app);
    EXPECT_EQ(app->bundleIdentifier(), QStringLiteral("com.example.App"));
    EXPECT_EQ(app->name(), QStringLiteral("Foo"));
    EXPECT_EQ(app->creationDate(), QDateTime::fromMSecsSinceEpoch(0, Qt::UTC));
    EXPECT_FALSE(app->device());
    EXPECT_EQ(app->description(), QStringLiteral("A: Foo.app (<Unknown version>)"));
}

TEST(SimulatorApp, ConvenienceInitialiserKeepsTheIconAndNotTheDevice)
{
    Image icon(QSizeF(10, 10));
    const auto device = deviceOf(QStringLiteral("iPhone 6"), {});
    auto app = SimulatorApp::create(QStringLiteral("B"), QStringLiteral("Named"), device, icon,
                                    std::nullopt, std::nullopt, std::nullopt, false);
    ASSERT_TRUE(app);
    EXPECT_EQ(app->name(), QStringLiteral("Named"));
    EXPECT_EQ(app->bundleIdentifier(), QStringLiteral("com.unknown.Unknown"));
    EXPECT_EQ(app->info().value(QStringLiteral("CFBundleDisplayName")).toString(),
              QStringLiteral("Named"));
    ASSERT_TRUE(app->icon());
    EXPECT_EQ(app->icon()->size(), QSizeF(10, 10));
    EXPECT_FALSE(app->device());
}

TEST(SimulatorApp, EqualsOnlyAnotherAppWithTheSameUuid)
{
    const SimulatorApp app(QStringLiteral("U"), QStringLiteral("One"));
    EXPECT_TRUE(app == SimulatorApp(QStringLiteral("U"), QStringLiteral("Two")));
    EXPECT_FALSE(app == SimulatorApp(QStringLiteral("V"), QStringLiteral("One")));
    const auto device = deviceOf(QStringLiteral("iPhone 6"), {});
    const SimulatorItem plain(QStringLiteral("U"));
    EXPECT_FALSE(app == plain);
    EXPECT_FALSE(plain == app);
}

TEST(SimulatorApp, ChangeTypeRawValues)
{
    EXPECT_EQ(SimulatorApp::rawValue(Change::BundleUpdated), QStringLiteral("BundlepUpdated"));
    EXPECT_EQ(SimulatorApp::changeTypeFromRawValue(QStringLiteral("BundlepUpdated")),
              Change::BundleUpdated);
    EXPECT_FALSE(SimulatorApp::changeTypeFromRawValue(QStringLiteral("BundleUpdated")));
    EXPECT_EQ(SimulatorApp::changeTypeFromRawValue(QStringLiteral("SandboxDeleted")),
              Change::SandboxDeleted);
}

TEST(SimulatorApp, FromAppDataWithAndWithoutADataFolder)
{
    DeviceFolder folder;
    const QDateTime when(QDate(2016, 9, 13), QTime(10, 0), Qt::UTC);
    const timespec times[2] = {{when.toSecsSinceEpoch(), 0}, {when.toSecsSinceEpoch(), 0}};
    const QString container = QFileInfo(folder.bundle()).path();
    ASSERT_EQ(utimensat(AT_FDCWD, QFile::encodeName(container).constData(), times, 0), 0);

    const QVariantMap info = infoWith({});
    auto shared = SimulatorApp::fromAppData(
        {{QStringLiteral("containerURL"), folder.bundleURL()}, {QStringLiteral("info"), info}},
        QStringLiteral("iPhone 6"));
    ASSERT_TRUE(shared);
    EXPECT_EQ(shared->sandboxURL(), QUrl::fromLocalFile(container));
    EXPECT_EQ(shared->uuid(), QStringLiteral("BUNDLE-1"));
    EXPECT_EQ(shared->creationDate(), when);
    EXPECT_FALSE(shared->hasTemplateIcon());
    EXPECT_FALSE(shared->icon());

    auto separate = SimulatorApp::fromAppData({{QStringLiteral("containerURL"), folder.bundleURL()},
                                               {QStringLiteral("dataURL"), folder.sandboxURL()},
                                               {QStringLiteral("info"), info}},
                                              QString());
    ASSERT_TRUE(separate);
    EXPECT_EQ(separate->uuid(), QStringLiteral("DATA-1"));
    EXPECT_EQ(separate->bundleURL(), folder.bundleURL());

    EXPECT_FALSE(SimulatorApp::fromAppData({{QStringLiteral("info"), info}}, QString()));
    EXPECT_FALSE(SimulatorApp::fromAppData({{QStringLiteral("containerURL"), folder.bundleURL()}},
                                           QString()));
    EXPECT_FALSE(SimulatorApp::fromAppData(
        {{QStringLiteral("containerURL"), folder.bundle()}, {QStringLiteral("info"), info}},
        QString()))
        << "a path text is not a URL";
}

TEST(SimulatorApp, UpdateAppInfoRereadsTheBundle)
{
    DeviceFolder folder;
    auto app =
        folder.app(infoWith({{QStringLiteral("CFBundleDisplayName"), QStringLiteral("Shown")}}));
    app->updateAppInfo(); // no Info.plist yet: nothing changes
    EXPECT_EQ(app->name(), QStringLiteral("Shown"));

    ASSERT_TRUE(
        PropertyList::writeFile(
            folder.bundle() + QStringLiteral("/Info.plist"),
            QVariantMap{{QStringLiteral("CFBundleDisplayName"), QStringLiteral("Display")},
                        {QStringLiteral("CFBundleName"), QStringLiteral("Bundle Name")},
                        {identifierKey, QStringLiteral("com.example.New")},
                        {QStringLiteral("CFBundleVersion"), QStringLiteral("1.2")},
                        {QStringLiteral("CFBundleShortVersionString"), QStringLiteral("1.2")}},
            PropertyList::Format::Binary)
            .isSuccess());
    app->updateAppInfo();
    EXPECT_EQ(app->name(), QStringLiteral("Bundle Name")) << "the display name is not consulted";
    EXPECT_EQ(app->bundleIdentifier(), QStringLiteral("com.example.New"));
    EXPECT_EQ(app->versionDescription(), QStringLiteral("1.2 (1.2)"));
    EXPECT_EQ(app->info().value(QStringLiteral("CFBundleDisplayName")).toString(),
              QStringLiteral("Display"));
}

TEST(SimulatorApp, UpdateContainerNameMovesTheBundleToTheNewContainer)
{
    DeviceFolder folder;
    auto app = folder.app(infoWith({}));
    EXPECT_EQ(app->containerName(), QStringLiteral("BUNDLE-1"));
    const QString moved =
        folder.path(QStringLiteral("data/Containers/Bundle/Application/BUNDLE-2/Foo.app"));
    ASSERT_TRUE(QDir().mkpath(moved));
    ASSERT_TRUE(PropertyList::writeFile(
                    moved + QStringLiteral("/Info.plist"),
                    QVariantMap{{QStringLiteral("CFBundleName"), QStringLiteral("Moved")},
                                {identifierKey, QStringLiteral("com.example.App")}},
                    PropertyList::Format::Xml)
                    .isSuccess());
    app->updateContainerName(QStringLiteral("BUNDLE-2"));
    EXPECT_EQ(app->bundleURL(), QUrl::fromLocalFile(moved));
    EXPECT_EQ(app->containerName(), QStringLiteral("BUNDLE-2"));
    EXPECT_EQ(app->name(), QStringLiteral("Moved"));

    app->updateContainerName(QStringLiteral("../../elsewhere"));
    EXPECT_EQ(app->bundleURL(), QUrl::fromLocalFile(moved))
        << "a name that leads elsewhere is ignored";
    const SimulatorApp bare(QStringLiteral("X"));
    EXPECT_FALSE(bare.containerName());
}

TEST(SimulatorApp, TemplateIconsFollowTheDeviceKind)
{
    struct Case
    {
        QString type;
        QString picture;
        QString icns;
        QSizeF canvas;
    };
    const Case cases[] = {
        {QStringLiteral("iPhone 6"),
         QStringLiteral("iOSTemplate"),
         QStringLiteral("iOSApplication.icns"),
         {28.5, 28.5}},
        {QStringLiteral("iPad Air"),
         QStringLiteral("iOSTemplate"),
         QStringLiteral("iOSApplication.icns"),
         {28.5, 28.5}},
        {QStringLiteral("Apple Watch - 38mm"),
         QStringLiteral("WatchTemplate"),
         QStringLiteral("watchApplication.icns"),
         {28.5, 28.5}},
        {QStringLiteral("Apple TV 1080p"),
         QStringLiteral("TVTemplate"),
         QStringLiteral("iOSApplication.icns"),
         {28.5, 17.1}},
    };
    for (const Case &c : cases) {
        DeviceFolder folder;
        auto app = folder.app(infoWith({}));
        const auto device = deviceOf(c.type, {app});
        ASSERT_TRUE(app->icon()) << c.type.toStdString();
        EXPECT_TRUE(app->hasTemplateIcon()) << c.type.toStdString();
        EXPECT_EQ(app->icon()->size(), c.canvas) << c.type.toStdString();
        const QImage icon = rendered(*app->icon());
        const QImage picture = resource(c.picture);
        ASSERT_FALSE(picture.isNull()) << c.picture.toStdString();
        EXPECT_TRUE(near(centre(icon), centre(picture))) << c.type.toStdString();
        const auto data = app->iconData();
        ASSERT_TRUE(data);
        EXPECT_EQ(*data, resourceBytes(c.icns)) << c.type.toStdString();
        EXPECT_TRUE(data->startsWith("icns"));
    }
}

TEST(SimulatorApp, IconsAreClippedToTheShapeOfTheDeviceKind)
{
    // At two pixels per point the corner radii are about 13 pixels for a
    // phone, 27 for a watch and 3 for a TV.
    auto alphaAt = [](const QString &type, int x, int y) {
        DeviceFolder folder;
        auto app = folder.app(infoWith({}));
        const auto device = deviceOf(type, {app});
        return qAlpha(rendered(*app->icon()).pixel(x, y));
    };
    EXPECT_EQ(alphaAt(QStringLiteral("iPhone 6"), 1, 1), 0);
    EXPECT_EQ(alphaAt(QStringLiteral("Apple Watch - 42mm"), 1, 1), 0);
    EXPECT_EQ(alphaAt(QStringLiteral("Apple TV 1080p"), 1, 1), 255);
    // Further in, the phone's corner is filled and the watch's is not.
    EXPECT_EQ(alphaAt(QStringLiteral("iPhone 6"), 5, 5), 255);
    EXPECT_EQ(alphaAt(QStringLiteral("Apple Watch - 42mm"), 5, 5), 0);
    EXPECT_EQ(alphaAt(QStringLiteral("Apple Watch - 42mm"), 28, 28), 255);
}

TEST(SimulatorApp, BundleIconFilesAreFoundBySuffixAndTheBestSizeIsDrawn)
{
    DeviceFolder folder;
    ASSERT_TRUE(writePng(folder.bundle() + QStringLiteral("/AppIcon60x60@2x.png"), 120, Qt::red));
    ASSERT_TRUE(writePng(folder.bundle() + QStringLiteral("/AppIcon60x60@3x.png"), 180, Qt::green));
    ASSERT_TRUE(writePng(folder.bundle() + QStringLiteral("/AppIcon76x76~ipad.png"), 76, Qt::blue));
    ASSERT_TRUE(
        writePng(folder.bundle() + QStringLiteral("/AppIcon76x76@2x~ipad.png"), 152, Qt::yellow));
    const QVariantMap info =
        infoWith({{QStringLiteral("CFBundleIcons"), iconFiles({QStringLiteral("AppIcon60x60")})},
                  {QStringLiteral("CFBundleIcons~ipad"),
                   iconFiles({QStringLiteral("AppIcon60x60"), QStringLiteral("AppIcon76x76")})}});

    auto combined = folder.app(info)->getCombinedIconImageForBundleIcons(
        QStringList{QStringLiteral("AppIcon60x60"), QStringLiteral("AppIcon76x76")});
    ASSERT_TRUE(combined);
    EXPECT_EQ(combined->representations().size(), 4);

    struct Case
    {
        QString type;
        QColor colour;
    };
    // Retina phone: 120 covers 120. Retina iPad: 152 covers 152. iPad 2: 76.
    for (const Case &c :
         {Case{QStringLiteral("iPhone 6"), Qt::red}, Case{QStringLiteral("iPad Air"), Qt::yellow},
          Case{QStringLiteral("iPad 2"), Qt::blue}}) {
        auto app = folder.app(info);
        const auto device = deviceOf(c.type, {app});
        ASSERT_TRUE(app->icon()) << c.type.toStdString();
        EXPECT_FALSE(app->hasTemplateIcon()) << c.type.toStdString();
        EXPECT_TRUE(near(centre(rendered(*app->icon())), c.colour)) << c.type.toStdString();
    }
}

TEST(SimulatorApp, IconFilesThatAreMissingOrOutsideTheBundleGiveTheTemplate)
{
    DeviceFolder folder;
    ASSERT_TRUE(writePng(
        folder.path(QStringLiteral("data/Containers/Bundle/Application/BUNDLE-1/Outside.png")), 60,
        Qt::red));
    const QVariantMap info =
        infoWith({{QStringLiteral("CFBundleIcons"),
                   iconFiles({QStringLiteral("../Outside"), QStringLiteral("Missing")})}});
    auto app = folder.app(info);
    EXPECT_FALSE(
        app->getCombinedIconImageForBundleIcons(QStringList{QStringLiteral("../Outside")}));
    EXPECT_FALSE(app->getCombinedIconImageForBundleIcons(std::nullopt));
    const auto device = deviceOf(QStringLiteral("iPhone 6"), {app});
    EXPECT_TRUE(app->hasTemplateIcon());
}

TEST(SimulatorApp, NoIconWithoutADeviceOrForNullDevice)
{
    DeviceFolder folder;
    auto app = folder.app(infoWith({}));
    EXPECT_FALSE(app->generateIcon());
    app->setDevice(NullDevice());
    EXPECT_FALSE(app->icon());
    EXPECT_FALSE(app->hasTemplateIcon());

    // An app that already has an icon keeps it when it gets a device.
    auto withIcon = SimulatorApp::create(QStringLiteral("I"), infoWith({}), Image(QSizeF(3, 3)));
    const auto device = deviceOf(QStringLiteral("iPhone 6"), {withIcon});
    EXPECT_EQ(withIcon->icon()->size(), QSizeF(3, 3));
    EXPECT_FALSE(withIcon->hasTemplateIcon());
}

TEST(SimulatorApp, OwnIconDataIsIcnsMadeFromTheIcon)
{
    // The stand-in's icon tool, and a private cache for its results.
    QTemporaryDir cache;
    const QByteArray oldCache = qgetenv("XDG_CACHE_HOME");
    const QByteArray oldBin = qgetenv("MARROWBY_DEVTOOLS_BIN");
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
    qputenv("MARROWBY_DEVTOOLS_BIN", QFile::encodeName(testsupport::devtoolsBinPath()));

    QImage pixels(60, 60, QImage::Format_ARGB32_Premultiplied);
    pixels.fill(Qt::red);
    auto app = SimulatorApp::create(QStringLiteral("I"), infoWith({}), Image::fromBitmap(pixels));
    const auto data = app->iconData();
    ASSERT_TRUE(data);
    EXPECT_TRUE(IcnsConverter::isIcnsData(*data));
    EXPECT_NE(*data, resourceBytes(QStringLiteral("iOSApplication.icns")));
    EXPECT_TRUE(
        QFileInfo::exists(cache.filePath(QStringLiteral("Marrowby/Icons/com.example.App.icns"))));

    // Without a working icon tool there is no icon data, rather than empty data.
    qputenv("MARROWBY_DEVTOOLS_BIN", QFile::encodeName(cache.filePath(QStringLiteral("none"))));
    auto other = SimulatorApp::create(QStringLiteral("J"),
                                      {{identifierKey, QStringLiteral("com.example.Other")}},
                                      Image::fromBitmap(pixels));
    EXPECT_FALSE(other->iconData());

    for (const auto &[name, old] :
         {std::pair{"XDG_CACHE_HOME", oldCache}, std::pair{"MARROWBY_DEVTOOLS_BIN", oldBin}}) {
        old.isNull() ? qunsetenv(name) : qputenv(name, old);
    }
}

TEST(SimulatorApp, AppGroupsAreAListOfTexts)
{
    auto groups = [](const QVariant &value) {
        return SimulatorApp::create(QStringLiteral("G"),
                                    infoWith({{QStringLiteral("appGroups"), value}}))
            ->appGroups();
    };
    EXPECT_EQ(groups(QVariantList{QStringLiteral("group.a"), QStringLiteral("group.b")}),
              (QStringList{QStringLiteral("group.a"), QStringLiteral("group.b")}));
    EXPECT_FALSE(groups(QVariantList{QStringLiteral("group.a"), qint64(1)}));
    EXPECT_FALSE(groups(QStringLiteral("group.a")));
    EXPECT_FALSE(SimulatorApp::create(QStringLiteral("G"), infoWith({}))->appGroups());
}

TEST(SimulatorApp, AppGroupFolderIsFoundByItsMetadataAnywhereBelowTheSharedRoot)
{
    DeviceFolder folder;
    const QString shared = folder.path(QStringLiteral("data/Containers/Shared/AppGroup"));
    auto writeMetadata = [](const QString &dir, const QString &identifier) {
        return PropertyList::writeFile(
                   dir + QStringLiteral("/.com.apple.mobile_container_manager.metadata.plist"),
                   QVariantMap{{QStringLiteral("MCMMetadataIdentifier"), identifier}},
                   PropertyList::Format::Binary)
            .isSuccess();
    };
    ASSERT_TRUE(QDir().mkpath(shared + QStringLiteral("/G1")));
    ASSERT_TRUE(QDir().mkpath(shared + QStringLiteral("/G2/nested/deeper")));
    ASSERT_TRUE(QDir().mkpath(shared + QStringLiteral("/G3/Tool.app")));
    ASSERT_TRUE(writeMetadata(shared + QStringLiteral("/G1"), QStringLiteral("group.first")));
    ASSERT_TRUE(writeMetadata(shared + QStringLiteral("/G2/nested/deeper"),
                              QStringLiteral("group.nested")));
    ASSERT_TRUE(
        writeMetadata(shared + QStringLiteral("/G3/Tool.app"), QStringLiteral("group.packaged")));
    ASSERT_TRUE(testsupport::writeFile(
        shared + QStringLiteral("/G1/.com.apple.mobile_container_manager.metadata.plist.bak"),
        "x"));

    auto app = folder.app(infoWith({}));
    EXPECT_EQ(app->containerURLForAppGroup(QStringLiteral("group.first")),
              QUrl::fromLocalFile(shared + QStringLiteral("/G1")));
    EXPECT_EQ(app->containerURLForAppGroup(QStringLiteral("group.nested")),
              QUrl::fromLocalFile(shared + QStringLiteral("/G2/nested/deeper")));
    // Unknown identifiers, and metadata inside packages, give the shared root.
    EXPECT_EQ(app->containerURLForAppGroup(QStringLiteral("group.unknown")),
              QUrl::fromLocalFile(shared));
    EXPECT_EQ(app->containerURLForAppGroup(QStringLiteral("group.packaged")),
              QUrl::fromLocalFile(shared));
    EXPECT_FALSE(SimulatorApp::create(QStringLiteral("N"), infoWith({}))
                     ->containerURLForAppGroup(QStringLiteral("group.first")));
}

TEST(SimulatorApp, BundleSizeIsComputedOnceAndAnsweredOnTheGivenQueue)
{
    DeviceFolder folder;
    ASSERT_TRUE(
        testsupport::writeFile(folder.bundle() + QStringLiteral("/binary"), QByteArray(1000, 'b')));
    ASSERT_TRUE(testsupport::writeFile(folder.sandbox() + QStringLiteral("/Documents/d"),
                                       QByteArray(234, 'd')));
    auto app = folder.app(infoWith({}));

    std::optional<qint64> first;
    QThread *answeredOn = nullptr;
    app->bundleFileSize(GlobalMainQueue(), [&](qint64 size) {
        first = size;
        answeredOn = QThread::currentThread();
    });
    ASSERT_TRUE(waitFor([&] { return first.has_value(); }));
    EXPECT_EQ(*first, 1234);
    EXPECT_EQ(answeredOn, QThread::currentThread());
    EXPECT_EQ(app->cachedBundleSize(), 1234);

    // The folders change; the second answer is the cached one.
    ASSERT_TRUE(testsupport::writeFile(folder.sandbox() + QStringLiteral("/Documents/e"),
                                       QByteArray(500, 'e')));
    std::optional<qint64> second;
    app->bundleFileSize([&](qint64 size) { second = size; });
    ASSERT_TRUE(waitFor([&] { return second.has_value(); }));
    EXPECT_EQ(*second, 1234);
}

TEST(SimulatorApp, BundleSizeIsNeverAnsweredWithoutBothFolders)
{
    auto app = SimulatorApp::create(QStringLiteral("S"), infoWith({}), std::nullopt,
                                    QUrl::fromLocalFile(QStringLiteral("/tmp")));
    std::atomic<bool> answered{false};
    app->bundleFileSize([&](qint64) { answered = true; });
    // A second app with both folders answers; by then the first has been
    // dealt with on the same queue kind, and it must not have answered.
    DeviceFolder folder;
    auto other = folder.app(infoWith({}));
    bool otherAnswered = false;
    other->bundleFileSize([&](qint64) { otherAnswered = true; });
    ASSERT_TRUE(waitFor([&] { return otherAnswered; }));
    GlobalBackgroundQueue()->sync([] {});
    testsupport::waitFor([] { return false; }, std::chrono::milliseconds(50));
    EXPECT_FALSE(answered);
    EXPECT_FALSE(app->cachedBundleSize());
}

TEST(SimulatorApp, WatchingReportsChangesOfBothFoldersWhileTheAppLives)
{
    DeviceFolder folder;
    auto app = folder.app(infoWith({}));
    std::mutex mutex;
    QList<Change> changes;
    QList<SimulatorAppPtr> reported;
    app->startObservingFilesChangesWithCallback([&](const SimulatorAppPtr &who, Change change) {
        std::lock_guard lock(mutex);
        changes.append(change);
        reported.append(who);
    });
    auto seen = [&](Change change) {
        std::lock_guard lock(mutex);
        return changes.contains(change);
    };
    ASSERT_TRUE(testsupport::writeFile(folder.sandbox() + QStringLiteral("/new"), "1"));
    EXPECT_TRUE(waitFor([&] { return seen(Change::SandboxUpdated); }));
    ASSERT_TRUE(testsupport::writeFile(folder.bundle() + QStringLiteral("/Info.plist"), "2"));
    EXPECT_TRUE(waitFor([&] { return seen(Change::BundleUpdated); }));
    {
        std::lock_guard lock(mutex);
        EXPECT_FALSE(changes.contains(Change::SandboxDeleted));
        EXPECT_FALSE(changes.contains(Change::BundleDeleted));
        for (const auto &who : reported) {
            EXPECT_EQ(who, app);
        }
        reported.clear();
    }
    app->stopObservingFileChanges();
    app->stopObservingFileChanges(); // twice is harmless
}
