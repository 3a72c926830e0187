// `xcrun simctl` against a sample world: listing, and that each command
// changes exactly what it should on disk (and nothing when refused).
#include "binaryplistbuilder.h"
#include "devtoolsworld.h"
#include "plistio.h"
#include "tests/support/testsupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace devtoolsworld;

namespace {

const QString metadataName = QStringLiteral(".com.apple.mobile_container_manager.metadata.plist");

QStringList childFolders(const QString &path)
{
    return QDir(path).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

QString containers(const QString &udid, const QString &kind)
{
    return devicePath(udid) + QStringLiteral("/data/Containers/") + kind;
}

QString metadataIdentifier(const QString &container)
{
    const auto metadata = PlistIO::readDictionary(container + QLatin1Char('/') + metadataName,
                                                  PlistIO::recordSizeLimit);
    return metadata ? metadata->value(QStringLiteral("MCMMetadataIdentifier")).toString()
                    : QString();
}

// The containers under Containers/<kind> whose metadata names `identifier`.
QStringList containersOf(const QString &udid, const QString &kind, const QString &identifier)
{
    QStringList found;
    const QString parent = containers(udid, kind);
    for (const QString &name : childFolders(parent)) {
        if (metadataIdentifier(parent + QLatin1Char('/') + name) == identifier) {
            found.append(parent + QLatin1Char('/') + name);
        }
    }
    return found;
}

QStringList groupsOfDataContainer(const QString &container)
{
    const auto metadata = PlistIO::readDictionary(container + QLatin1Char('/') + metadataName,
                                                  PlistIO::recordSizeLimit);
    return metadata ? metadata->value(QStringLiteral("MCMMetadataInfo"))
                          .toMap()
                          .value(QStringLiteral("com.apple.MobileInstallation.GroupContainerIDs"))
                          .toStringList()
                    : QStringList();
}

ToolRun simctl(const QStringList &arguments)
{
    return run(QStringLiteral("xcrun"), QStringList{QStringLiteral("simctl")} + arguments);
}

bool makeLink(const QString &target, const QString &link)
{
    QDir().mkpath(QFileInfo(link).absolutePath());
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) ==
           0;
}

// The lines of `simctl list` from "-- <group> --" up to the next group.
QStringList groupLines(const QStringList &lines, const QString &group)
{
    const qsizetype start = lines.indexOf(QStringLiteral("-- %1 --").arg(group));
    QStringList result;
    for (qsizetype i = start + 1; start >= 0 && i < lines.size(); ++i) {
        if (!lines[i].startsWith(QLatin1String("    "))) {
            break;
        }
        result.append(lines[i].trimmed());
    }
    return result;
}

class Simctl : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const ToolRun made = run(QStringLiteral("devtools"), {QStringLiteral("sample-world")});
        ASSERT_EQ(made.status, 0) << made.err.toStdString();
        const auto booted = firstDevice(QStringLiteral("iPhone 6"), QStringLiteral("iOS 10.0"));
        const auto shutdown = firstDevice(QStringLiteral("iPhone 5s"), QStringLiteral("iOS 10.0"));
        ASSERT_TRUE(booted && shutdown);
        m_booted = booted->udid;
        m_shutdown = shutdown->udid;
        m_apps = m_home.filePath(QStringLiteral("apps"));
    }

    testsupport::TemporaryHome m_home;
    QString m_booted;   // iPhone 6, iOS 10.0, with the sample apps
    QString m_shutdown; // iPhone 5s, iOS 10.0, no apps
    QString m_apps;
};

} // namespace

TEST_F(Simctl, ListsTheSampleWorldAsTextAndJson)
{
    const ToolRun text = simctl({QStringLiteral("list")});
    ASSERT_EQ(text.status, 0);
    const QStringList lines = text.out.split(QLatin1Char('\n'));
    EXPECT_TRUE(lines.contains(QStringLiteral("== Device Types ==")));
    EXPECT_TRUE(lines.contains(
        QStringLiteral("iPhone 6 Plus (com.apple.CoreSimulator.SimDeviceType.iPhone-6-Plus)")));
    EXPECT_TRUE(lines.contains(
        QStringLiteral("iOS 10.0 (10.0 - 14A345) (com.apple.CoreSimulator.SimRuntime.iOS-10-0)")));
    EXPECT_TRUE(lines.contains(QStringLiteral("    iPhone 6 (%1) (Booted)").arg(m_booted)));
    EXPECT_TRUE(lines.contains(
        QStringLiteral("-- Unavailable: com.apple.CoreSimulator.SimRuntime.iOS-9-3 --")));

    const ToolRun json = simctl({QStringLiteral("list"), QStringLiteral("-j")});
    ASSERT_EQ(json.status, 0);
    const QJsonObject root = QJsonDocument::fromJson(json.out.toUtf8()).object();
    EXPECT_EQ(root.value(QStringLiteral("devicetypes")).toArray().size(), 19);
    EXPECT_EQ(root.value(QStringLiteral("runtimes")).toArray().size(), 3);

    // Every kind of device, two of the same name and runtime, one booted.
    const auto devices = listedDevices();
    int booted = 0;
    QMap<QString, int> available;
    for (const ListedDevice &device : devices) {
        booted += device.state == QLatin1String("Booted");
        if (device.available) {
            available[device.group]++;
        }
    }
    EXPECT_EQ(booted, 1);
    EXPECT_GE(devices.size(), 20);
    EXPECT_GE(available.value(QStringLiteral("iOS 10.0")), 6);
    EXPECT_GE(available.value(QStringLiteral("watchOS 3.0")), 2);
    EXPECT_GE(available.value(QStringLiteral("tvOS 10.0")), 2);
    EXPECT_EQ(std::count_if(devices.cbegin(), devices.cend(),
                            [](const ListedDevice &d) {
                                return d.name == QLatin1String("iPhone 6s") &&
                                       d.group == QLatin1String("iOS 10.0");
                            }),
              2);

    // Selecting the older Xcode makes its runtimes' devices the available ones.
    ASSERT_EQ(
        run(QStringLiteral("xcode-select"),
            {QStringLiteral("-s"), m_home.filePath(QStringLiteral("Applications/Xcode-7.3.1.app"))})
            .status,
        0);
    const auto old = firstDevice(QStringLiteral("iPhone 6"), QStringLiteral("iOS 9.3"));
    ASSERT_TRUE(old);
    EXPECT_TRUE(old->available);
    EXPECT_TRUE(simctl({QStringLiteral("list")})
                    .out.contains(QStringLiteral(
                        "-- Unavailable: com.apple.CoreSimulator.SimRuntime.iOS-10-0 --")));
}

TEST_F(Simctl, SampleAppsAreRealBundlesWithContainersAndIcons)
{
    const QString bundles = containers(m_booted, QStringLiteral("Bundle/Application"));
    QStringList appNames;
    for (const QString &container : childFolders(bundles)) {
        const QStringList apps = QDir(bundles + QLatin1Char('/') + container)
                                     .entryList({QStringLiteral("*.app")}, QDir::Dirs);
        ASSERT_EQ(apps.size(), 1);
        appNames.append(apps.first());
    }
    EXPECT_EQ(appNames.count(QStringLiteral("Counter.app")), 2) << "two apps of the same name";
    EXPECT_GE(appNames.size(), 7);

    // One group and two groups, each with a container whose metadata names it.
    const auto birdwatch = containersOf(m_booted, QStringLiteral("Data/Application"),
                                        QStringLiteral("com.example.birdwatch"));
    const auto tides = containersOf(m_booted, QStringLiteral("Data/Application"),
                                    QStringLiteral("com.example.tides"));
    ASSERT_EQ(birdwatch.size(), 1);
    ASSERT_EQ(tides.size(), 1);
    EXPECT_EQ(groupsOfDataContainer(birdwatch.first()).size(), 1);
    const QStringList tideGroups = groupsOfDataContainer(tides.first());
    EXPECT_EQ(tideGroups.size(), 2);
    for (const QString &group : tideGroups) {
        EXPECT_EQ(containersOf(m_booted, QStringLiteral("Shared/AppGroup"), group).size(), 1)
            << group.toStdString();
    }
    EXPECT_TRUE(QFileInfo(tides.first() + QStringLiteral("/Documents/notes.txt")).isFile());

    // Icons are PNG files of the sizes their names promise.
    QDirIterator it(bundles, {QStringLiteral("*.png")}, QDir::Files, QDirIterator::Subdirectories);
    int icons = 0;
    while (it.hasNext()) {
        const QString path = it.next();
        const QImage image(path);
        ASSERT_FALSE(image.isNull()) << path.toStdString();
        if (path.endsWith(QLatin1String("AppIcon60x60@3x.png"))) {
            EXPECT_EQ(image.size(), QSize(180, 180));
        }
        if (path.endsWith(QLatin1String("AppIcon76x76~ipad.png"))) {
            EXPECT_EQ(image.size(), QSize(76, 76));
        }
        ++icons;
    }
    EXPECT_GE(icons, 14);

    QDirIterator strings(bundles, {QStringLiteral("InfoPlist.strings")}, QDir::Files,
                         QDirIterator::Subdirectories);
    QStringList localizations;
    while (strings.hasNext()) {
        const QString path = strings.next();
        localizations.append(QFileInfo(path).dir().dirName());
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        EXPECT_TRUE(file.readAll().contains("\"CFBundleDisplayName\" = \"Field Notes\";"));
    }
    localizations.sort();
    EXPECT_EQ(localizations,
              (QStringList{QStringLiteral("Base.lproj"), QStringLiteral("en.lproj")}));
}

TEST_F(Simctl, InstallWritesBundleDataAndGroupContainers)
{
    const auto before = snapshot(devicePath(m_shutdown));
    const QString app =
        writeApp(m_apps, QStringLiteral("Ledger"), QStringLiteral("org.test.ledger"),
                 QStringLiteral("1.0"), {QStringLiteral("group.org.test.books")});
    const ToolRun installed = simctl({QStringLiteral("install"), m_shutdown, app});
    ASSERT_EQ(installed.status, 0) << installed.err.toStdString();

    const auto bundle = containersOf(m_shutdown, QStringLiteral("Bundle/Application"),
                                     QStringLiteral("org.test.ledger"));
    const auto data = containersOf(m_shutdown, QStringLiteral("Data/Application"),
                                   QStringLiteral("org.test.ledger"));
    const auto group = containersOf(m_shutdown, QStringLiteral("Shared/AppGroup"),
                                    QStringLiteral("group.org.test.books"));
    ASSERT_EQ(bundle.size(), 1);
    ASSERT_EQ(data.size(), 1);
    ASSERT_EQ(group.size(), 1);
    EXPECT_EQ(snapshot(bundle.first() + QStringLiteral("/Ledger.app")), snapshot(app));
    for (const QString &folder : {QStringLiteral("Documents"), QStringLiteral("Library/Caches"),
                                  QStringLiteral("Library/Preferences"), QStringLiteral("tmp")}) {
        EXPECT_TRUE(QFileInfo(data.first() + QLatin1Char('/') + folder).isDir())
            << folder.toStdString();
    }
    EXPECT_EQ(groupsOfDataContainer(data.first()),
              QStringList{QStringLiteral("group.org.test.books")});

    // Nothing but the three containers appeared.
    for (const QString &change : differences(before, snapshot(devicePath(m_shutdown)))) {
        const QString path = devicePath(m_shutdown) + QLatin1Char('/') + change.mid(2);
        EXPECT_TRUE(change.startsWith(QLatin1String("+ ")) &&
                    (path.startsWith(bundle.first()) || path.startsWith(data.first()) ||
                     path.startsWith(group.first())))
            << change.toStdString();
    }
    EXPECT_TRUE(systemLog(m_shutdown).contains(QStringLiteral("Installed org.test.ledger")));
}

TEST_F(Simctl, ReinstallKeepsTheDataContainerAndMovesTheBundle)
{
    const QString first = writeApp(m_apps + QStringLiteral("/1"), QStringLiteral("Ledger"),
                                   QStringLiteral("org.test.ledger"), QStringLiteral("1.0"));
    ASSERT_EQ(simctl({QStringLiteral("install"), m_shutdown, first}).status, 0);
    const auto oldBundle = containersOf(m_shutdown, QStringLiteral("Bundle/Application"),
                                        QStringLiteral("org.test.ledger"));
    const auto data = containersOf(m_shutdown, QStringLiteral("Data/Application"),
                                   QStringLiteral("org.test.ledger"));
    ASSERT_EQ(oldBundle.size(), 1);
    ASSERT_EQ(data.size(), 1);
    ASSERT_TRUE(
        testsupport::writeFile(data.first() + QStringLiteral("/Documents/kept.txt"), "kept"));

    const QString second = writeApp(m_apps + QStringLiteral("/2"), QStringLiteral("Ledger"),
                                    QStringLiteral("org.test.ledger"), QStringLiteral("2.0"),
                                    {QStringLiteral("group.org.test.books")});
    ASSERT_EQ(simctl({QStringLiteral("install"), m_shutdown, second}).status, 0);
    const auto newBundle = containersOf(m_shutdown, QStringLiteral("Bundle/Application"),
                                        QStringLiteral("org.test.ledger"));
    ASSERT_EQ(newBundle.size(), 1);
    EXPECT_NE(newBundle.first(), oldBundle.first());
    EXPECT_FALSE(QFileInfo::exists(oldBundle.first()));
    const auto info = PlistIO::readDictionary(
        newBundle.first() + QStringLiteral("/Ledger.app/Info.plist"), PlistIO::bundleSizeLimit);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->value(QStringLiteral("CFBundleShortVersionString")).toString(),
              QStringLiteral("2.0"));
    EXPECT_EQ(containersOf(m_shutdown, QStringLiteral("Data/Application"),
                           QStringLiteral("org.test.ledger")),
              data);
    EXPECT_TRUE(QFileInfo(data.first() + QStringLiteral("/Documents/kept.txt")).isFile());
    EXPECT_EQ(groupsOfDataContainer(data.first()),
              QStringList{QStringLiteral("group.org.test.books")});
}

TEST_F(Simctl, UninstallRemovesBundleAndDataButKeepsGroups)
{
    const auto data = containersOf(m_booted, QStringLiteral("Data/Application"),
                                   QStringLiteral("com.example.tides"));
    ASSERT_EQ(data.size(), 1);
    const QStringList groups = groupsOfDataContainer(data.first());
    ASSERT_EQ(
        simctl({QStringLiteral("uninstall"), m_booted, QStringLiteral("com.example.tides")}).status,
        0);
    EXPECT_TRUE(containersOf(m_booted, QStringLiteral("Bundle/Application"),
                             QStringLiteral("com.example.tides"))
                    .isEmpty());
    EXPECT_FALSE(QFileInfo::exists(data.first()));
    for (const QString &group : groups) {
        EXPECT_EQ(containersOf(m_booted, QStringLiteral("Shared/AppGroup"), group).size(), 1);
    }
    EXPECT_TRUE(systemLog(m_booted).contains(QStringLiteral("Uninstalled com.example.tides")));
    // The other apps are still there.
    EXPECT_EQ(containersOf(m_booted, QStringLiteral("Bundle/Application"),
                           QStringLiteral("com.example.birdwatch"))
                  .size(),
              1);

    const auto before = snapshot(m_home.path());
    const ToolRun again =
        simctl({QStringLiteral("uninstall"), m_booted, QStringLiteral("com.example.tides")});
    EXPECT_NE(again.status, 0);
    EXPECT_TRUE(again.err.contains(QStringLiteral("not installed")));
    EXPECT_TRUE(differences(before, snapshot(m_home.path())).isEmpty());
}

TEST_F(Simctl, EraseIsRefusedWhileBootedAndEmptiesTheDeviceOtherwise)
{
    const auto before = snapshot(m_home.path());
    const ToolRun refused = simctl({QStringLiteral("erase"), m_booted});
    EXPECT_NE(refused.status, 0);
    EXPECT_TRUE(refused.err.contains(QStringLiteral("Booted"))) << refused.err.toStdString();
    EXPECT_TRUE(differences(before, snapshot(m_home.path())).isEmpty());

    ASSERT_EQ(simctl({QStringLiteral("shutdown"), m_booted}).status, 0);
    ASSERT_EQ(simctl({QStringLiteral("erase"), m_booted}).status, 0);
    EXPECT_TRUE(childFolders(containers(m_booted, QStringLiteral("Bundle/Application"))).isEmpty());
    EXPECT_TRUE(childFolders(containers(m_booted, QStringLiteral("Data/Application"))).isEmpty());
    EXPECT_TRUE(childFolders(containers(m_booted, QStringLiteral("Shared/AppGroup"))).isEmpty());
    EXPECT_TRUE(QDir(devicePath(m_booted) + QStringLiteral("/data/Media/DCIM/100APPLE")).isEmpty());
    EXPECT_EQ(deviceState(m_booted), 1);
    // No leftovers of the exchange.
    EXPECT_EQ(QDir(devicePath(m_booted))
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              (QStringList{QStringLiteral("data"), QStringLiteral("device.plist")}));
}

TEST_F(Simctl, DeleteRemovesOnlyThatDeviceAndRefusesABootedOne)
{
    const QStringList before = QDir(deviceSetPath()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    EXPECT_NE(simctl({QStringLiteral("delete"), m_booted}).status, 0);
    ASSERT_EQ(simctl({QStringLiteral("delete"), m_shutdown}).status, 0);
    QStringList expected = before;
    expected.removeAll(m_shutdown);
    EXPECT_EQ(QDir(deviceSetPath()).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden),
              expected);
    EXPECT_FALSE(simctl({QStringLiteral("list")}).out.contains(m_shutdown));
}

TEST_F(Simctl, CreateBootLaunchAndShutdown)
{
    const ToolRun created = simctl({QStringLiteral("create"), QStringLiteral("Test Phone"),
                                    QStringLiteral("iPhone 6s Plus"), QStringLiteral("iOS 10.0")});
    ASSERT_EQ(created.status, 0) << created.err.toStdString();
    const QString udid = created.out.trimmed();
    const auto plist = PlistIO::readDictionary(devicePath(udid) + QStringLiteral("/device.plist"),
                                               PlistIO::recordSizeLimit);
    ASSERT_TRUE(plist);
    EXPECT_EQ(plist->value(QStringLiteral("UDID")).toString(), udid);
    EXPECT_EQ(plist->value(QStringLiteral("name")).toString(), QStringLiteral("Test Phone"));
    EXPECT_EQ(plist->value(QStringLiteral("deviceType")).toString(),
              QStringLiteral("com.apple.CoreSimulator.SimDeviceType.iPhone-6s-Plus"));
    EXPECT_EQ(plist->value(QStringLiteral("runtime")).toString(),
              QStringLiteral("com.apple.CoreSimulator.SimRuntime.iOS-10-0"));
    EXPECT_EQ(plist->value(QStringLiteral("state")).toInt(), 1);

    const QString app = writeApp(m_apps, QStringLiteral("Ledger"),
                                 QStringLiteral("org.test.ledger"), QStringLiteral("1.0"));
    ASSERT_EQ(simctl({QStringLiteral("install"), udid, app}).status, 0);
    EXPECT_NE(simctl({QStringLiteral("launch"), udid, QStringLiteral("org.test.ledger")}).status, 0)
        << "launching needs a booted device";
    ASSERT_EQ(simctl({QStringLiteral("boot"), udid}).status, 0);
    EXPECT_EQ(deviceState(udid), 3);
    EXPECT_NE(simctl({QStringLiteral("boot"), udid}).status, 0);
    EXPECT_EQ(simctl({QStringLiteral("launch"), udid, QStringLiteral("org.test.ledger")}).status,
              0);
    EXPECT_NE(simctl({QStringLiteral("launch"), udid, QStringLiteral("org.test.absent")}).status,
              0);
    ASSERT_EQ(simctl({QStringLiteral("shutdown"), udid}).status, 0);
    EXPECT_EQ(deviceState(udid), 1);

    const QString log = systemLog(udid);
    for (const QString &line :
         {QStringLiteral("Installed org.test.ledger"), QStringLiteral("to Booting"),
          QStringLiteral("to Booted"), QStringLiteral("Launched org.test.ledger"),
          QStringLiteral("to Shutting Down"), QStringLiteral("Booted to Shutting Down")}) {
        EXPECT_TRUE(log.contains(line)) << line.toStdString();
    }
}

TEST_F(Simctl, AddmediaCopiesImagesUnderNewNamesAndRefusesOtherFiles)
{
    const QString media = devicePath(m_booted) + QStringLiteral("/data/Media/DCIM/100APPLE");
    const QStringList existing = QDir(media).entryList(QDir::Files);
    ASSERT_EQ(existing, QStringList{QStringLiteral("IMG_0001.PNG")});

    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::red);
    const QString png = m_home.filePath(QStringLiteral("photos/holiday.png"));
    const QString jpeg = m_home.filePath(QStringLiteral("photos/beach.jpeg"));
    const QString text = m_home.filePath(QStringLiteral("photos/notes.png"));
    QDir().mkpath(m_home.filePath(QStringLiteral("photos")));
    ASSERT_TRUE(image.save(png) && image.save(jpeg, "JPEG"));
    ASSERT_TRUE(testsupport::writeFile(text, "not a picture"));

    const auto before = snapshot(m_home.path());
    const ToolRun refused = simctl({QStringLiteral("addmedia"), m_booted, png, text});
    EXPECT_NE(refused.status, 0);
    EXPECT_TRUE(refused.err.contains(text));
    EXPECT_TRUE(differences(before, snapshot(m_home.path())).isEmpty());

    ASSERT_EQ(simctl({QStringLiteral("addmedia"), m_booted, png, jpeg}).status, 0);
    EXPECT_EQ(QDir(media).entryList(QDir::Files),
              (QStringList{QStringLiteral("IMG_0001.PNG"), QStringLiteral("IMG_0002.PNG"),
                           QStringLiteral("IMG_0003.JPG")}));
    QFile copy(media + QStringLiteral("/IMG_0003.JPG"));
    QFile original(jpeg);
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly) && original.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), original.readAll());

    const auto watch =
        firstDevice(QStringLiteral("Apple Watch - 42mm"), QStringLiteral("watchOS 3.0"));
    ASSERT_TRUE(watch);
    EXPECT_NE(simctl({QStringLiteral("addmedia"), watch->udid, png}).status, 0);
}

TEST_F(Simctl, BadArgumentsUnknownDevicesAndBrokenInputChangeNothing)
{
    const QString unknown = QStringLiteral("00000000-0000-4000-8000-000000000000");
    const QString noPlist =
        writeApp(m_apps, QStringLiteral("NoPlist"), QStringLiteral("x"), QStringLiteral("1"));
    QFile::remove(noPlist + QStringLiteral("/Info.plist"));
    const QString garbage =
        writeApp(m_apps, QStringLiteral("Garbage"), QStringLiteral("x"), QStringLiteral("1"));
    testsupport::writeFile(garbage + QStringLiteral("/Info.plist"), "bplist00\xff\xff garbage");
    const QString noIdentifier =
        writeApp(m_apps, QStringLiteral("NoId"), QString(), QStringLiteral("1"));
    const QString badGroups = writeApp(m_apps, QStringLiteral("BadGroups"),
                                       QStringLiteral("org.test.bad"), QStringLiteral("1"));
    testsupport::writeFile(badGroups + QStringLiteral("/archived-expanded-entitlements.xcent"),
                           "<plist><dict><key>com.apple.security.application-groups</key>"
                           "<string>not a list</string></dict></plist>");
    const QString notApp = m_home.filePath(QStringLiteral("apps/folder"));
    QDir().mkpath(notApp);
    // A device folder whose device.plist is broken must not stop the others.
    const QString broken = QStringLiteral("11111111-1111-4111-8111-111111111111");
    testsupport::writeFile(devicePath(broken) + QStringLiteral("/device.plist"), "<plist><dict>");

    const QList<QStringList> commands = {
        {QStringLiteral("boot"), unknown},
        {QStringLiteral("boot"), QStringLiteral("../../../Applications")},
        {QStringLiteral("boot"), m_booted},
        {QStringLiteral("boot"), broken},
        {QStringLiteral("boot")},
        {QStringLiteral("shutdown"), m_shutdown},
        {QStringLiteral("shutdown"), unknown},
        {QStringLiteral("erase"), unknown},
        {QStringLiteral("erase"), m_booted},
        {QStringLiteral("delete"), m_shutdown, unknown},
        {QStringLiteral("delete")},
        {QStringLiteral("install"), unknown, noPlist},
        {QStringLiteral("install"), m_shutdown, noPlist},
        {QStringLiteral("install"), m_shutdown, garbage},
        {QStringLiteral("install"), m_shutdown, noIdentifier},
        {QStringLiteral("install"), m_shutdown, badGroups},
        {QStringLiteral("install"), m_shutdown, notApp},
        {QStringLiteral("install"), m_shutdown, m_home.filePath(QStringLiteral("missing.app"))},
        {QStringLiteral("install"), m_shutdown},
        {QStringLiteral("uninstall"), unknown, QStringLiteral("com.example.tides")},
        {QStringLiteral("uninstall"), m_shutdown, QStringLiteral("com.example.tides")},
        {QStringLiteral("launch"), m_booted, QStringLiteral("org.test.absent")},
        {QStringLiteral("launch"), m_shutdown, QStringLiteral("com.example.tides")},
        {QStringLiteral("addmedia"), unknown, noPlist},
        {QStringLiteral("addmedia"), m_booted, m_home.filePath(QStringLiteral("missing.png"))},
        {QStringLiteral("create"), QStringLiteral("X"), QStringLiteral("iPhone 9"),
         QStringLiteral("iOS 10.0")},
        {QStringLiteral("create"), QStringLiteral("X"), QStringLiteral("iPhone 6"),
         QStringLiteral("iOS 4.0")},
        {QStringLiteral("create"), QStringLiteral("X"), QStringLiteral("Apple TV 1080p"),
         QStringLiteral("iOS 10.0")},
        {QStringLiteral("create"), QString(), QStringLiteral("iPhone 6"),
         QStringLiteral("iOS 10.0")},
        {QStringLiteral("list"), QStringLiteral("everything")},
        {QStringLiteral("frobnicate")},
        {},
    };
    const auto before = snapshot(m_home.path());
    for (const QStringList &command : commands) {
        const ToolRun result = simctl(command);
        EXPECT_NE(result.status, 0) << command.join(QLatin1Char(' ')).toStdString();
        EXPECT_FALSE(result.err.trimmed().isEmpty())
            << command.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(result.out.isEmpty()) << command.join(QLatin1Char(' ')).toStdString();
    }
    const ToolRun notSimctl = run(QStringLiteral("xcrun"), {QStringLiteral("clang")});
    EXPECT_NE(notSimctl.status, 0);
    EXPECT_EQ(differences(before, snapshot(m_home.path())), QStringList());

    // The broken device is reported, the rest still listed.
    const ToolRun listing = simctl({QStringLiteral("list")});
    EXPECT_EQ(listing.status, 0);
    EXPECT_TRUE(listing.err.contains(broken));
    EXPECT_TRUE(listing.out.contains(m_booted));
}

// Links planted in the device set (as a data folder, as containers, as an app
// bundle, inside containers) to a folder of someone's files: erase,
// uninstall, delete and reinstall remove the links, never the files.
TEST_F(Simctl, LinksInTheDeviceSetLoseTheLinkNeverTheTarget)
{
    const QString precious = m_home.filePath(QStringLiteral("src/project"));
    ASSERT_TRUE(testsupport::writeFile(precious + QStringLiteral("/main.cpp"), "int main() {}"));
    ASSERT_TRUE(testsupport::writeFile(precious + QStringLiteral("/docs/notes.txt"), "notes"));
    // Dressed as a container of the app, so that a reader that follows links
    // would take it for one.
    ASSERT_TRUE(PlistIO::writeXml(precious + QLatin1Char('/') + metadataName,
                                  QVariantMap{{QStringLiteral("MCMMetadataIdentifier"),
                                               QStringLiteral("com.example.tides")}}));
    const auto before = snapshot(precious);
    auto preciousIntact = [&] { return differences(before, snapshot(precious)); };

    // uninstall: a linked data container, a linked bundle container, links
    // inside the app's real containers, an app bundle that is a link.
    const QString data = containers(m_booted, QStringLiteral("Data/Application"));
    const QString bundles = containers(m_booted, QStringLiteral("Bundle/Application"));
    const auto tides = containersOf(m_booted, QStringLiteral("Data/Application"),
                                    QStringLiteral("com.example.tides"));
    ASSERT_EQ(tides.size(), 1);
    ASSERT_TRUE(makeLink(precious, data + QStringLiteral("/11111111-1111-4111-8111-111111111111")));
    ASSERT_TRUE(
        makeLink(precious, bundles + QStringLiteral("/22222222-2222-4222-8222-222222222222")));
    ASSERT_TRUE(makeLink(precious, tides.first() + QStringLiteral("/Documents/project")));
    const QString linkedBundle = bundles + QStringLiteral("/33333333-3333-4333-8333-333333333333");
    ASSERT_TRUE(QDir().mkpath(linkedBundle));
    ASSERT_TRUE(PlistIO::writeXml(linkedBundle + QLatin1Char('/') + metadataName,
                                  QVariantMap{{QStringLiteral("MCMMetadataIdentifier"),
                                               QStringLiteral("com.example.tides")}}));
    ASSERT_TRUE(makeLink(precious, linkedBundle + QStringLiteral("/Tides.app")));
    ToolRun result =
        simctl({QStringLiteral("uninstall"), m_booted, QStringLiteral("com.example.tides")});
    ASSERT_EQ(result.status, 0) << result.err.toStdString();
    EXPECT_EQ(preciousIntact(), QStringList());
    EXPECT_FALSE(QFileInfo::exists(linkedBundle));
    EXPECT_FALSE(QFileInfo::exists(tides.first()));
    EXPECT_TRUE(
        QFileInfo(data + QStringLiteral("/11111111-1111-4111-8111-111111111111")).isSymLink())
        << "a linked container is not the device's: left alone";

    // reinstall: the old bundle container holds links.
    const QString app = writeApp(m_apps, QStringLiteral("Ledger"),
                                 QStringLiteral("org.test.ledger"), QStringLiteral("1.0"));
    ASSERT_EQ(simctl({QStringLiteral("install"), m_shutdown, app}).status, 0);
    const auto ledger = containersOf(m_shutdown, QStringLiteral("Bundle/Application"),
                                     QStringLiteral("org.test.ledger"));
    ASSERT_EQ(ledger.size(), 1);
    ASSERT_TRUE(makeLink(precious, ledger.first() + QStringLiteral("/project")));
    ASSERT_TRUE(makeLink(precious, ledger.first() + QStringLiteral("/Ledger.app/Frameworks")));
    result = simctl({QStringLiteral("install"), m_shutdown, app});
    ASSERT_EQ(result.status, 0) << result.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(ledger.first()));
    EXPECT_EQ(preciousIntact(), QStringList());

    // erase: the data folder itself is a link.
    const QString dataFolder = devicePath(m_shutdown) + QStringLiteral("/data");
    ASSERT_TRUE(QDir(dataFolder).removeRecursively());
    ASSERT_TRUE(makeLink(precious, dataFolder));
    result = simctl({QStringLiteral("erase"), m_shutdown});
    ASSERT_EQ(result.status, 0) << result.err.toStdString();
    EXPECT_FALSE(QFileInfo(dataFolder).isSymLink());
    EXPECT_TRUE(QFileInfo(dataFolder + QStringLiteral("/Containers/Bundle/Application")).isDir());
    EXPECT_EQ(preciousIntact(), QStringList());

    // delete: links inside the device's folder, and a device folder that is
    // itself a link (not the set's: refused, the link stays).
    ASSERT_TRUE(makeLink(precious, devicePath(m_shutdown) + QStringLiteral("/data/tmp/project")));
    ASSERT_TRUE(makeLink(
        precious,
        devicePath(m_shutdown) +
            QStringLiteral(
                "/data/Containers/Data/Application/44444444-4444-4444-8444-444444444444")));
    result = simctl({QStringLiteral("delete"), m_shutdown});
    ASSERT_EQ(result.status, 0) << result.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(devicePath(m_shutdown)));
    const QString copied = m_home.filePath(QStringLiteral("src/device"));
    ASSERT_TRUE(testsupport::writeFile(copied + QStringLiteral("/keep.txt"), "keep"));
    const QString linkedUdid = QStringLiteral("55555555-5555-4555-8555-555555555555");
    ASSERT_TRUE(PlistIO::writeXml(copied + QStringLiteral("/device.plist"),
                                  QVariantMap{{QStringLiteral("UDID"), linkedUdid},
                                              {QStringLiteral("name"), QStringLiteral("Linked")},
                                              {QStringLiteral("deviceType"), QStringLiteral("x")},
                                              {QStringLiteral("runtime"), QStringLiteral("y")},
                                              {QStringLiteral("state"), 1}}));
    ASSERT_TRUE(makeLink(copied, devicePath(linkedUdid)));
    EXPECT_NE(simctl({QStringLiteral("delete"), linkedUdid}).status, 0);
    EXPECT_NE(simctl({QStringLiteral("erase"), linkedUdid}).status, 0);
    EXPECT_TRUE(QFileInfo(copied + QStringLiteral("/keep.txt")).isFile());
    EXPECT_EQ(preciousIntact(), QStringList());
}

// device.plist files that are FIFOs, links to /dev/zero, deeply nested, or
// hold NUL characters: each is named as unreadable, the rest still listed,
// and nothing hangs or crashes.
TEST_F(Simctl, HostileDevicePlistsAreReportedAndSkipped)
{
    const QStringList hostile = {
        QStringLiteral("A1111111-1111-4111-8111-111111111111"),
        QStringLiteral("A2222222-2222-4222-8222-222222222222"),
        QStringLiteral("A3333333-3333-4333-8333-333333333333"),
        QStringLiteral("A4444444-4444-4444-8444-444444444444"),
        QStringLiteral("A5555555-5555-4555-8555-555555555555"),
    };
    for (const QString &udid : hostile) {
        ASSERT_TRUE(QDir().mkpath(devicePath(udid)));
    }
    auto plist = [&](int i) { return devicePath(hostile[i]) + QStringLiteral("/device.plist"); };
    ASSERT_EQ(::mkfifo(QFile::encodeName(plist(0)).constData(), 0600), 0);
    ASSERT_TRUE(makeLink(QStringLiteral("/dev/zero"), plist(1)));
    // As deep as fits the size limit of a device.plist.
    BinaryPlistBuilder deep;
    for (int i = 0; i < 11999; ++i) {
        deep.array({i + 1});
    }
    deep.array({});
    ASSERT_TRUE(testsupport::writeFile(plist(2), deep.build(0)));
    ASSERT_LT(QFileInfo(plist(2)).size(), PlistIO::recordSizeLimit);
    BinaryPlistBuilder nul;
    const QList<int> keys = {nul.ascii("UDID"), nul.ascii("name"), nul.ascii("deviceType"),
                             nul.ascii("runtime"), nul.ascii("state")};
    const QList<int> values = {nul.ascii(hostile[3].toLatin1()), nul.ascii(QByteArray("a\0b", 3)),
                               nul.ascii("t"), nul.ascii("r"), nul.integer(1)};
    ASSERT_TRUE(testsupport::writeFile(plist(3), nul.build(nul.dictionary(keys, values))));
    QByteArray xml = "<plist>";
    for (int i = 0; i < 9000; ++i) {
        xml += "<array>";
    }
    ASSERT_TRUE(testsupport::writeFile(plist(4), xml));
    const QStringList reasons = {QStringLiteral("not a regular file"),
                                 QStringLiteral("symbolic link"), QStringLiteral("too deeply"),
                                 QStringLiteral("NUL"), QStringLiteral("too deeply")};

    for (const QStringList &arguments :
         {QStringList{QStringLiteral("list")},
          QStringList{QStringLiteral("list"), QStringLiteral("-j")}}) {
        const ToolRun listing = simctl(arguments);
        EXPECT_EQ(listing.status, 0) << listing.err.toStdString();
        EXPECT_TRUE(listing.out.contains(m_booted));
        const QStringList problems = listing.err.split(QLatin1Char('\n'));
        for (qsizetype i = 0; i < hostile.size(); ++i) {
            const QStringList named = problems.filter(hostile[i]);
            ASSERT_EQ(named.size(), 1) << hostile[i].toStdString();
            EXPECT_TRUE(named.first().contains(reasons[i])) << named.first().toStdString();
            EXPECT_FALSE(listing.out.contains(hostile[i])) << hostile[i].toStdString();
        }
    }
    EXPECT_NE(simctl({QStringLiteral("boot"), hostile[0]}).status, 0);
}

TEST_F(Simctl, ListsLikeTheVendorsTool)
{
    // A device shutting down, one whose device type this Xcode lacks, one of
    // a type its runtime cannot run.
    const QString plistPath = devicePath(m_shutdown) + QStringLiteral("/device.plist");
    auto record = PlistIO::readDictionary(plistPath, PlistIO::recordSizeLimit);
    ASSERT_TRUE(record);
    record->insert(QStringLiteral("state"), 4);
    ASSERT_TRUE(PlistIO::writeXml(plistPath, *record));
    const auto resizable =
        firstDevice(QStringLiteral("Resizable iPad"), QStringLiteral("iOS 10.0"));
    ASSERT_TRUE(resizable);
    EXPECT_FALSE(resizable->available);
    const QString tvPath = QStringLiteral("66666666-6666-4666-8666-666666666666");
    ASSERT_TRUE(QDir().mkpath(devicePath(tvPath)));
    ASSERT_TRUE(PlistIO::writeXml(
        devicePath(tvPath) + QStringLiteral("/device.plist"),
        QVariantMap{{QStringLiteral("UDID"), tvPath},
                    {QStringLiteral("name"), QStringLiteral("A TV")},
                    {QStringLiteral("deviceType"),
                     QStringLiteral("com.apple.CoreSimulator.SimDeviceType.Apple-TV-1080p")},
                    {QStringLiteral("runtime"),
                     QStringLiteral("com.apple.CoreSimulator.SimRuntime.iOS-10-0")},
                    {QStringLiteral("state"), 1}}));

    const ToolRun text = simctl({QStringLiteral("list")});
    ASSERT_EQ(text.status, 0) << text.err.toStdString();
    const QStringList lines = text.out.split(QLatin1Char('\n'));

    // Device types of the Xcode 8 era, in the tool's order.
    const qsizetype typesAt = lines.indexOf(QStringLiteral("== Device Types =="));
    const qsizetype runtimesAt = lines.indexOf(QStringLiteral("== Runtimes =="));
    ASSERT_TRUE(typesAt >= 0 && runtimesAt > typesAt);
    QStringList types;
    for (qsizetype i = typesAt + 1; i < runtimesAt; ++i) {
        types.append(lines[i].section(QStringLiteral(" (com."), 0, 0));
    }
    EXPECT_EQ(types,
              (QStringList{QStringLiteral("iPhone 4s"), QStringLiteral("iPhone 5"),
                           QStringLiteral("iPhone 5s"), QStringLiteral("iPhone 6"),
                           QStringLiteral("iPhone 6 Plus"), QStringLiteral("iPhone 6s"),
                           QStringLiteral("iPhone 6s Plus"), QStringLiteral("iPhone 7"),
                           QStringLiteral("iPhone 7 Plus"), QStringLiteral("iPhone SE"),
                           QStringLiteral("iPad Retina"), QStringLiteral("iPad Air"),
                           QStringLiteral("iPad Air 2"), QStringLiteral("iPad Pro"),
                           QStringLiteral("Apple TV 1080p"), QStringLiteral("Apple Watch - 38mm"),
                           QStringLiteral("Apple Watch - 42mm"),
                           QStringLiteral("Apple Watch Series 2 - 38mm"),
                           QStringLiteral("Apple Watch Series 2 - 42mm")}));

    // Groups by platform, then version; devices in device-type order.
    QStringList groups;
    for (const QString &line : lines) {
        if (line.startsWith(QLatin1String("-- "))) {
            groups.append(line);
        }
    }
    EXPECT_EQ(
        groups,
        (QStringList{
            QStringLiteral("-- iOS 10.0 --"), QStringLiteral("-- tvOS 10.0 --"),
            QStringLiteral("-- watchOS 3.0 --"),
            QStringLiteral("-- Unavailable: com.apple.CoreSimulator.SimRuntime.iOS-9-3 --"),
            QStringLiteral("-- Unavailable: com.apple.CoreSimulator.SimRuntime.tvOS-9-2 --"),
            QStringLiteral("-- Unavailable: com.apple.CoreSimulator.SimRuntime.watchOS-2-2 --")}));
    QStringList iOS;
    for (const QString &line : groupLines(lines, QStringLiteral("iOS 10.0"))) {
        iOS.append(line.section(QStringLiteral(" ("), 0, 0));
    }
    EXPECT_EQ(iOS, (QStringList{QStringLiteral("iPhone 5s"), QStringLiteral("iPhone 6"),
                                QStringLiteral("iPhone 6 Plus"), QStringLiteral("iPhone 6s"),
                                QStringLiteral("iPhone 6s"), QStringLiteral("Resizable iPad"),
                                QStringLiteral("iPad Retina"), QStringLiteral("iPad Air"),
                                QStringLiteral("iPad Pro"), QStringLiteral("A TV")}));
    EXPECT_TRUE(
        lines.contains(QStringLiteral("    iPhone 5s (%1) (Shutting Down)").arg(m_shutdown)));
    EXPECT_TRUE(lines.contains(
        QStringLiteral(
            "    Resizable iPad (%1) (Shutdown) (unavailable, device type profile not found)")
            .arg(resizable->udid)));
    EXPECT_TRUE(lines.contains(
        QStringLiteral(
            "    A TV (%1) (Shutdown) (unavailable, device type not supported by runtime)")
            .arg(tvPath)));
    QStringList ipads;
    for (const QString &line : groupLines(
             lines, QStringLiteral("Unavailable: com.apple.CoreSimulator.SimRuntime.iOS-9-3"))) {
        ipads.append(line.section(QStringLiteral(" ("), 0, 0));
    }
    EXPECT_EQ(ipads, (QStringList{QStringLiteral("iPhone 4s"), QStringLiteral("iPhone 6"),
                                  QStringLiteral("iPad 2"), QStringLiteral("iPad Air")}));

    // JSON: two-space indents, "key" : value, the tool's member order.
    const ToolRun json = simctl({QStringLiteral("list"), QStringLiteral("-j")});
    ASSERT_EQ(json.status, 0);
    EXPECT_TRUE(json.out.startsWith(
        QStringLiteral("{\n  \"devicetypes\" : [\n    {\n      \"name\" : \"iPhone 4s\",\n")))
        << json.out.left(200).toStdString();
    EXPECT_TRUE(
        json.out.contains(QStringLiteral("      {\n        \"state\" : \"Shutting Down\",\n        "
                                         "\"availability\" : \"(available)\",\n        \"name\" : "
                                         "\"iPhone 5s\",\n        \"udid\" : \"%1\"\n      }")
                              .arg(m_shutdown)));
    EXPECT_TRUE(json.out.contains(
        QStringLiteral("\"identifier\" : \"com.apple.CoreSimulator.SimRuntime.iOS-10-0\"")));
    EXPECT_TRUE(json.out.trimmed().endsWith(QStringLiteral("\"pairs\" : {\n\n  }\n}")));
    const QJsonObject root = QJsonDocument::fromJson(json.out.toUtf8()).object();
    EXPECT_EQ(root.value(QStringLiteral("devices"))
                  .toObject()
                  .value(QStringLiteral("iOS 10.0"))
                  .toArray()
                  .size(),
              10);

    // The older Xcode's own era: resizable types, no iPhone 7.
    const ToolRun old = run(
        QStringLiteral("xcode-select"),
        {QStringLiteral("-s"), m_home.filePath(QStringLiteral("Applications/Xcode-7.3.1.app"))});
    ASSERT_EQ(old.status, 0);
    const QString oldTypes = simctl({QStringLiteral("list"), QStringLiteral("devicetypes")}).out;
    EXPECT_TRUE(oldTypes.contains(
        QStringLiteral("Resizable iPad (com.apple.CoreSimulator.SimDeviceType.Resizable-iPad)")));
    EXPECT_TRUE(oldTypes.contains(QStringLiteral("iPad 2 (")));
    EXPECT_FALSE(oldTypes.contains(QStringLiteral("iPhone 7")));
    EXPECT_FALSE(oldTypes.contains(QStringLiteral("Series 2")));

    // A runtime named after its major and minor version.
    const ToolRun made = run(QStringLiteral("devtools"),
                             {QStringLiteral("make-xcode"),
                              m_home.filePath(QStringLiteral("Applications/Xcode-8.3.app")),
                              QStringLiteral("--version"), QStringLiteral("8.3"),
                              QStringLiteral("--runtime"), QStringLiteral("iOS:10.3.1:14E8301")});
    ASSERT_EQ(made.status, 0) << made.err.toStdString();
    ASSERT_EQ(
        run(QStringLiteral("xcode-select"),
            {QStringLiteral("-s"), m_home.filePath(QStringLiteral("Applications/Xcode-8.3.app"))})
            .status,
        0);
    EXPECT_EQ(simctl({QStringLiteral("list"), QStringLiteral("runtimes")}).out,
              QStringLiteral("== Runtimes ==\niOS 10.3 (10.3.1 - 14E8301) "
                             "(com.apple.CoreSimulator.SimRuntime.iOS-10-3)\n"));
}

TEST_F(Simctl, WrongStateErrorsNameTheirDomainAndCode)
{
    const QString prefix = QStringLiteral("An error was encountered processing the command "
                                          "(domain=com.apple.CoreSimulator.SimError, code=405):\n");
    const std::pair<QStringList, QString> refusals[] = {
        {{QStringLiteral("erase"), m_booted},
         QStringLiteral("Unable to erase contents and settings in current state: Booted")},
        {{QStringLiteral("boot"), m_booted},
         QStringLiteral("Unable to boot device in current state: Booted")},
        {{QStringLiteral("shutdown"), m_shutdown},
         QStringLiteral("Unable to shutdown device in current state: Shutdown")},
        {{QStringLiteral("delete"), m_booted},
         QStringLiteral("Unable to delete a device in the current state: Booted")},
        {{QStringLiteral("launch"), m_shutdown, QStringLiteral("com.example.tides")},
         QStringLiteral("Unable to launch com.example.tides in current state: Shutdown")},
    };
    for (const auto &[arguments, message] : refusals) {
        const ToolRun result = simctl(arguments);
        EXPECT_EQ(result.status, 405 % 256) << arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(result.err, prefix + message + QLatin1Char('\n'));
        EXPECT_TRUE(result.out.isEmpty());
    }
    // Errors of other kinds keep their plain form.
    const ToolRun invalid = simctl({QStringLiteral("erase"), QStringLiteral("nonsense")});
    EXPECT_EQ(invalid.err, QStringLiteral("Invalid device: nonsense\n"));
    EXPECT_EQ(invalid.status, 1);
}
