// Devices, apps and updates through archives: round trips of every field,
// the required and optional keys, the classes a reader accepts, and updates'
// equality.
#include "Marrowkit/model/simulatorcoding.h"

#include "Marrowkit/model/simulatorapp.h"
#include "Marrowkit/model/simulatorproxydevice.h"
#include "Marrowkit/plist/keyedarchiver.h"
#include "Marrowkit/plist/propertylist.h"

#include "tests/support/testsupport.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace KeyedArchive;

namespace {

QVariantMap info(const QString &identifier, const QString &name)
{
    return {
        {QStringLiteral("CFBundleIdentifier"), identifier},
        {QStringLiteral("CFBundleDisplayName"), name},
        {QStringLiteral("CFBundleVersion"), QStringLiteral("42")},
        {QStringLiteral("CFBundleShortVersionString"), QStringLiteral("1.2")},
        {QStringLiteral("UIDeviceFamily"), QVariantList{qint64(1), qint64(2)}},
        {QStringLiteral("CFBundleIcons"),
         QVariantMap{{QStringLiteral("CFBundlePrimaryIcon"),
                      QVariantMap{{QStringLiteral("CFBundleIconFiles"),
                                   QVariantList{QStringLiteral("AppIcon60x60")}}}}}},
        {QStringLiteral("appGroups"), QVariantList{QStringLiteral("group.") + identifier}},
        {QStringLiteral("LSRequiresIPhoneOS"), true},
    };
}

Image redIcon()
{
    QImage pixels(120, 120, QImage::Format_ARGB32_Premultiplied);
    pixels.fill(Qt::red);
    Image image = Image::fromBitmap(pixels);
    image.setSize(QSizeF(60, 60));
    return image;
}

const QDateTime created(QDate(2016, 9, 13), QTime(10, 11, 12, 345), Qt::UTC);

SimulatorAppPtr appWithEverything()
{
    return SimulatorApp::create(
        QStringLiteral("DATA-1"), info(QStringLiteral("com.example.Mail"), QStringLiteral("Mail")),
        redIcon(), QUrl::fromLocalFile(QStringLiteral("/devices/D/Bundle/B1/Mail.app")),
        QUrl::fromLocalFile(QStringLiteral("/devices/D/Data/DATA-1")), created, false);
}

SimulatorDevicePtr deviceWithApps()
{
    auto second = SimulatorApp::create(
        QStringLiteral("DATA-2"), info(QStringLiteral("com.example.Maps"), QStringLiteral("Maps")));
    auto device = SimulatorDevice::create(QStringLiteral("1A2B3C4D-0000-1111-2222-333344445555"),
                                          QStringLiteral("iPhone 6"), {appWithEverything(), second},
                                          QStringLiteral("9.0"), QStringLiteral("iPad Air"), 3);
    device->setDisplayName(QStringLiteral("iPhone 6 (9.0)"));
    device->setContainerURL(QUrl::fromLocalFile(QStringLiteral("/devices/1A2B3C4D")));
    return device;
}

std::optional<SimulatorDevicePtr> roundTrip(const SimulatorDevicePtr &device)
{
    auto data = SimulatorCoding::archivedDataWithDevices({device}).value();
    if (!data) {
        return std::nullopt;
    }
    auto devices = SimulatorCoding::devicesFromArchive(*data).value();
    if (!devices || devices->size() != 1) {
        return std::nullopt;
    }
    return devices->first();
}

// An archive of one device whose keys are written by `encode` instead.
QByteArray deviceArchive(const std::function<void(KeyedArchiver &)> &encode)
{
    return KeyedArchiver::archivedDataWithRootObject(
               QVariantList{QVariant::fromValue(
                   ArchivableObject{{QStringLiteral("SimulatorDevice")}, encode})})
        .value()
        .value();
}

// The keys of a valid device, with `change` applied to them.
std::function<void(KeyedArchiver &)>
deviceKeys(const QString &skip = {}, const QString &replace = {}, const QVariant &replacement = {})
{
    return [=](KeyedArchiver &coder) {
        const QList<std::pair<QString, QVariant>> keys{
            {QStringLiteral("uuid"), QStringLiteral("D")},
            {QStringLiteral("name"), QStringLiteral("Device")},
            {QStringLiteral("displayName"), QString()},
            {QStringLiteral("apps"), QVariantList{}},
            {QStringLiteral("version"), QStringLiteral("9.0")},
            {QStringLiteral("type"), QStringLiteral("iPhone 6")},
            {QStringLiteral("state"), qint64(1)},
            {QStringLiteral("containerUrl"), QUrl::fromLocalFile(QStringLiteral("/devices/D"))},
        };
        for (const auto &[key, value] : keys) {
            if (key == skip) {
                continue;
            }
            coder.encodeObject(key == replace ? replacement : value, key);
        }
    };
}

} // namespace

TEST(SimulatorCoding, ADeviceWithAppsRoundTripsEveryField)
{
    const auto original = deviceWithApps();
    auto read = roundTrip(original);
    ASSERT_TRUE(read);
    const SimulatorDevice &device = **read;
    EXPECT_EQ(device.uuid(), original->uuid());
    EXPECT_EQ(device.name(), QStringLiteral("iPhone 6"));
    EXPECT_EQ(device.displayName(), QStringLiteral("iPhone 6 (9.0)"));
    EXPECT_EQ(device.version(), QStringLiteral("9.0"));
    EXPECT_EQ(device.deviceType(), DeviceType::iPadAir);
    EXPECT_EQ(device.deviceState(), DeviceState::Booted);
    EXPECT_EQ(device.containerURL(), QUrl::fromLocalFile(QStringLiteral("/devices/1A2B3C4D")));
    ASSERT_EQ(device.apps().size(), 2);
    EXPECT_EQ(device.apps()[0]->uuid(), QStringLiteral("DATA-1"));
    EXPECT_EQ(device.apps()[1]->uuid(), QStringLiteral("DATA-2"));
    for (const SimulatorAppPtr &app : device.apps()) {
        EXPECT_EQ(app->device(), *read) << "each app's device is the read device";
    }

    const SimulatorApp &app = *device.apps()[0];
    const SimulatorApp &sent = *original->apps()[0];
    EXPECT_EQ(app.info(), sent.info()) << "the whole info dictionary, nested";
    EXPECT_EQ(app.bundleIdentifier(), QStringLiteral("com.example.Mail"));
    EXPECT_EQ(app.name(), QStringLiteral("Mail"));
    EXPECT_EQ(app.versionDescription(), QStringLiteral("1.2 (42)"));
    EXPECT_EQ(app.bundleURL(), sent.bundleURL());
    EXPECT_EQ(app.sandboxURL(), sent.sandboxURL());
    EXPECT_EQ(app.creationDate(), created);
    EXPECT_FALSE(app.hasTemplateIcon());
    ASSERT_TRUE(app.icon());
    EXPECT_EQ(app.icon()->size(), QSizeF(60, 60));
    EXPECT_EQ(QColor::fromRgba(app.icon()->bitmap().pixel(60, 60)), QColor(Qt::red));
    EXPECT_EQ(app.appGroups(), sent.appGroups());
}

TEST(SimulatorCoding, AnUnknownDeviceWithoutFolderKeepsItsType)
{
    auto device = SimulatorDevice::create(QStringLiteral("U"), QStringLiteral("Odd"), {},
                                          QStringLiteral("8.0"), QStringLiteral("Toaster"), 1);
    auto data = SimulatorCoding::archivedDataWithDevices({device}).value();
    ASSERT_TRUE(data);
    auto archive = PropertyList::dictionaryFromData(*data).value();
    ASSERT_TRUE(archive);
    EXPECT_TRUE(
        archive->value(QStringLiteral("$objects")).toList().contains(QStringLiteral("Unknown")))
        << "the type is written as its raw value";
    auto read = SimulatorCoding::devicesFromArchive(*data).value();
    ASSERT_TRUE(read && read->size() == 1);
    EXPECT_EQ(read->first()->deviceType(), DeviceType::Unknown);
    EXPECT_FALSE(read->first()->containerURL());
    EXPECT_EQ(read->first()->deviceState(), DeviceState::Shutdown);
}

TEST(SimulatorCoding, AnAppsNameIsDerivedAgainFromItsInfo)
{
    auto original = deviceWithApps();
    original->apps()[0]->setName(QStringLiteral("Renamed"));
    original->apps()[0]->setVersionDescription(QStringLiteral("9 (9)"));
    auto read = roundTrip(original);
    ASSERT_TRUE(read);
    EXPECT_EQ((*read)->apps()[0]->name(), QStringLiteral("Mail"));
    EXPECT_EQ((*read)->apps()[0]->versionDescription(), QStringLiteral("1.2 (42)"));
}

TEST(SimulatorCoding, AppsWithoutIconsGetOneDrawnWhenTheirDeviceIsRead)
{
    // Written without an icon and without "hasTemplateIcon".
    const QByteArray data = deviceArchive(
        deviceKeys(QString(), QStringLiteral("apps"),
                   QVariantList{QVariant::fromValue(ArchivableObject{
                       {QStringLiteral("SimulatorApp")}, [](KeyedArchiver &coder) {
                           coder.encodeObject(QStringLiteral("B"), QStringLiteral("uuid"));
                           coder.encodeObject(info(QStringLiteral("com.b"), QStringLiteral("B")),
                                              QStringLiteral("info"));
                       }})}));
    auto read = SimulatorCoding::devicesFromArchive(data).value();
    ASSERT_TRUE(read && read->size() == 1);
    const SimulatorAppPtr app = read->first()->apps().value(0);
    ASSERT_TRUE(app);
    EXPECT_TRUE(app->hasTemplateIcon()) << "absent reads as true";
    ASSERT_TRUE(app->icon()) << "the read device drew one";
    EXPECT_EQ(app->icon()->size(), QSizeF(28.5, 28.5));
    EXPECT_EQ(app->creationDate(), QDateTime::fromMSecsSinceEpoch(0, Qt::UTC));
}

TEST(SimulatorCoding, RequiredDeviceKeysMustBePresentAndOfTheirKind)
{
    EXPECT_TRUE(SimulatorCoding::devicesFromArchive(deviceArchive(deviceKeys())).value());
    for (const char *key : {"uuid", "name", "displayName", "apps", "version", "type", "state"}) {
        EXPECT_FALSE(
            SimulatorCoding::devicesFromArchive(deviceArchive(deviceKeys(QLatin1String(key))))
                .value())
            << "without " << key;
    }
    struct Case
    {
        const char *key;
        QVariant value;
    };
    for (const Case &c :
         {Case{"uuid", qint64(5)}, Case{"state", QStringLiteral("3")}, Case{"state", 3.5},
          Case{"apps", QStringLiteral("none")},
          Case{"apps", QVariantList{QStringLiteral("not an app")}}, Case{"type", QVariantList{}}}) {
        EXPECT_FALSE(SimulatorCoding::devicesFromArchive(
                         deviceArchive(deviceKeys(QString(), QLatin1String(c.key), c.value)))
                         .value())
            << c.key << " of the wrong kind";
    }
    // The optional folder of the wrong kind reads as absent.
    auto read = SimulatorCoding::devicesFromArchive(
                    deviceArchive(deviceKeys(QString(), QStringLiteral("containerUrl"),
                                             QStringLiteral("/devices/D"))))
                    .value();
    ASSERT_TRUE(read);
    EXPECT_FALSE(read->first()->containerURL());
    read = SimulatorCoding::devicesFromArchive(
               deviceArchive(deviceKeys(QStringLiteral("containerUrl"))))
               .value();
    ASSERT_TRUE(read);
    EXPECT_FALSE(read->first()->containerURL());
}

TEST(SimulatorCoding, StateNumbersOutsideTheStatesReadAsShutdown)
{
    for (qint64 state : {qint64(7), qint64(-2), (qint64(1) << 32) + 3}) {
        auto read = SimulatorCoding::devicesFromArchive(
                        deviceArchive(deviceKeys(QString(), QStringLiteral("state"), state)))
                        .value();
        ASSERT_TRUE(read) << state;
        EXPECT_EQ(read->first()->deviceState(), DeviceState::Shutdown) << state;
    }
    auto unknown = SimulatorCoding::devicesFromArchive(
                       deviceArchive(deviceKeys(QString(), QStringLiteral("state"), qint64(-1))))
                       .value();
    ASSERT_TRUE(unknown);
    EXPECT_EQ(unknown->first()->deviceState(), DeviceState::Unknown);
}

TEST(SimulatorCoding, AppsThatCannotBeBuiltFailTheWholeArchive)
{
    auto app = [](const QVariant &infoValue) {
        return QVariantList{QVariant::fromValue(ArchivableObject{
            {QStringLiteral("SimulatorApp")}, [infoValue](KeyedArchiver &coder) {
                coder.encodeObject(QStringLiteral("A"), QStringLiteral("uuid"));
                coder.encodeObject(infoValue, QStringLiteral("info"));
                coder.encodeObject(QStringLiteral("not an image"), QStringLiteral("icon"));
                coder.encodeObject(QStringLiteral("not a flag"), QStringLiteral("hasTemplateIcon"));
            }})};
    };
    const QVariantMap good = info(QStringLiteral("com.a"), QStringLiteral("A"));
    auto read = SimulatorCoding::devicesFromArchive(
                    deviceArchive(deviceKeys(QString(), QStringLiteral("apps"), app(good))))
                    .value();
    ASSERT_TRUE(read) << "optional keys of the wrong kind read as absent";
    EXPECT_TRUE(read->first()->apps().first()->hasTemplateIcon());

    QVariantMap noIdentifier = good;
    noIdentifier.remove(QStringLiteral("CFBundleIdentifier"));
    EXPECT_FALSE(
        SimulatorCoding::devicesFromArchive(
            deviceArchive(deviceKeys(QString(), QStringLiteral("apps"), app(noIdentifier))))
            .value());
    EXPECT_FALSE(
        SimulatorCoding::devicesFromArchive(
            deviceArchive(deviceKeys(QString(), QStringLiteral("apps"), app(QVariantList{good}))))
            .value())
        << "info must be a dictionary";
}

TEST(SimulatorCoding, InfoValuesWithoutAnArchivedFormAreLeftOut)
{
    QVariantMap odd = info(QStringLiteral("com.odd"), QStringLiteral("Odd"));
    odd.insert(QStringLiteral("reference"), QVariant::fromValue(PropertyListUid{3}));
    odd.insert(QStringLiteral("nul"), QStringLiteral("a") + QChar(0) + QStringLiteral("b"));
    auto app = SimulatorApp::create(QStringLiteral("O"), odd);
    auto device = SimulatorDevice::create(QStringLiteral("D"), QStringLiteral("D"), {app});
    auto read = roundTrip(device);
    ASSERT_TRUE(read) << "one odd value does not keep the catalogue from being sent";
    const QVariantMap readInfo = (*read)->apps().first()->info();
    EXPECT_FALSE(readInfo.contains(QStringLiteral("reference")));
    EXPECT_FALSE(readInfo.contains(QStringLiteral("nul")));
    EXPECT_EQ(readInfo.value(QStringLiteral("CFBundleIdentifier")).toString(),
              QStringLiteral("com.odd"));
}

TEST(SimulatorCoding, UpdatesRoundTripWithTheirItemClasses)
{
    const auto app = appWithEverything();
    const SimulatorUpdate apps(SimulatorUpdateType::AppsUpdated, {app});
    auto data = SimulatorCoding::archivedDataWithUpdate(apps).value();
    ASSERT_TRUE(data);
    auto read = SimulatorCoding::updateFromArchive(*data).value();
    ASSERT_TRUE(read);
    EXPECT_EQ(read->type(), SimulatorUpdateType::AppsUpdated);
    ASSERT_EQ(read->items().size(), 1);
    auto readApp = std::dynamic_pointer_cast<SimulatorApp>(read->items().first());
    ASSERT_TRUE(readApp);
    EXPECT_EQ(readApp->uuid(), app->uuid());
    EXPECT_FALSE(readApp->device()) << "an app's device is not written";
    EXPECT_EQ(*read, apps);

    const SimulatorUpdate booted(SimulatorUpdateType::DeviceBooted,
                                 {std::make_shared<SimulatorProxyDevice>(QStringLiteral("P1")),
                                  std::make_shared<SimulatorProxyDevice>(QStringLiteral("P2"))});
    auto proxies =
        SimulatorCoding::updateFromArchive(*SimulatorCoding::archivedDataWithUpdate(booted).value())
            .value();
    ASSERT_TRUE(proxies);
    ASSERT_EQ(proxies->items().size(), 2);
    EXPECT_TRUE(std::dynamic_pointer_cast<SimulatorProxyDevice>(proxies->items()[1]));
    EXPECT_EQ(proxies->items()[1]->uuid(), QStringLiteral("P2"));
    EXPECT_FALSE(std::dynamic_pointer_cast<SimulatorApp>(proxies->items()[1]));
}

TEST(SimulatorCoding, UpdatesAndDeviceListsAreNotTakenForEachOther)
{
    const SimulatorUpdate update(SimulatorUpdateType::AppsAdded, {appWithEverything()});
    const auto updateData = SimulatorCoding::archivedDataWithUpdate(update).value().value();
    const auto devicesData =
        SimulatorCoding::archivedDataWithDevices({deviceWithApps()}).value().value();
    EXPECT_FALSE(SimulatorCoding::devicesFromArchive(updateData).value());
    EXPECT_FALSE(SimulatorCoding::updateFromArchive(devicesData).value());
    // A list holding a proxy where devices are expected.
    auto proxyList = KeyedArchiver::archivedDataWithRootObject(
                         QVariantList{QVariant::fromValue(*SimulatorCoding::archivable(
                             std::make_shared<SimulatorProxyDevice>(QStringLiteral("P"))))})
                         .value();
    ASSERT_TRUE(proxyList);
    EXPECT_FALSE(SimulatorCoding::devicesFromArchive(*proxyList).value());
    EXPECT_FALSE(SimulatorCoding::devicesFromArchive(QByteArray("garbage")).value());
}

TEST(SimulatorCoding, AnArchiveOfTheWrongKindSaysSo)
{
    const SimulatorUpdate update(SimulatorUpdateType::AppsAdded, {appWithEverything()});
    const auto updateData = SimulatorCoding::archivedDataWithUpdate(update);
    ASSERT_TRUE(updateData.isSuccess());
    const auto notDevices = SimulatorCoding::devicesFromArchive(*updateData.value()).error();
    ASSERT_TRUE(notDevices);
    EXPECT_EQ(notDevices->code, KeyedArchiveError::RootRefused);
    EXPECT_EQ(notDevices->localizedDescription(),
              QStringLiteral("The archive's root, or a value in it, is not of the accepted "
                             "classes (Array, SimulatorDevice)"));

    // One device, not in a list: the root reads, but is no device list.
    const auto device = KeyedArchiver::archivedDataWithRootObject(
        QVariant::fromValue(*SimulatorCoding::archivable(deviceWithApps())));
    ASSERT_TRUE(device.isSuccess());
    const auto single = SimulatorCoding::devicesFromArchive(*device.value()).error();
    ASSERT_TRUE(single);
    EXPECT_EQ(single->domain, SimulatorCoding::errorDomain());
    EXPECT_EQ(single->code, SimulatorCoding::WrongRoot);
    EXPECT_EQ(single->localizedDescription(),
              QStringLiteral("The archive's root is not a device list"));

    const auto devices = SimulatorCoding::archivedDataWithDevices({deviceWithApps()});
    ASSERT_TRUE(devices.isSuccess());
    const auto notUpdate = SimulatorCoding::updateFromArchive(*devices.value()).error();
    ASSERT_TRUE(notUpdate);
    EXPECT_EQ(notUpdate->code, KeyedArchiveError::RootRefused);
}

TEST(SimulatorCoding, AnUpdateOfAnUnknownTypeDoesNotRead)
{
    auto data =
        KeyedArchiver::archivedDataWithRootObject(
            QVariant::fromValue(ArchivableObject{
                {QStringLiteral("SimulatorUpdate")},
                [](KeyedArchiver &coder) {
                    coder.encodeObject(QStringLiteral("AppsRenamed"), QStringLiteral("type"));
                    coder.encodeObject(QVariantList{}, QStringLiteral("items"));
                }}))
            .value();
    ASSERT_TRUE(data);
    EXPECT_FALSE(SimulatorCoding::updateFromArchive(*data).value());
    auto noItems =
        KeyedArchiver::archivedDataWithRootObject(
            QVariant::fromValue(ArchivableObject{{QStringLiteral("SimulatorUpdate")},
                                                 [](KeyedArchiver &coder) {
                                                     coder.encodeObject(QStringLiteral("AppsAdded"),
                                                                        QStringLiteral("type"));
                                                 }}))
            .value();
    EXPECT_FALSE(SimulatorCoding::updateFromArchive(*noItems).value());
}

TEST(SimulatorUpdate, EqualityByTypeAndPrintedItems)
{
    const auto app = appWithEverything();
    const SimulatorUpdate first(SimulatorUpdateType::AppsUpdated, {app});
    const SimulatorUpdate second(SimulatorUpdateType::AppsUpdated, {app});
    EXPECT_EQ(first, second);
    EXPECT_EQ(first.hashValue(), second.hashValue());
    EXPECT_FALSE(first == SimulatorUpdate(SimulatorUpdateType::AppsAdded, {app}));
    // Items that print the same are the same, whatever their objects.
    auto twin = SimulatorApp::create(app->uuid(), app->info());
    EXPECT_EQ(first, SimulatorUpdate(SimulatorUpdateType::AppsUpdated, {twin}));
    EXPECT_EQ(qHash(first), qHash(second));
    QSet<SimulatorUpdate> set{first, second,
                              SimulatorUpdate(SimulatorUpdateType::AppsAdded, {app})};
    EXPECT_EQ(set.size(), 2);
    EXPECT_EQ(first.hashValue(),
              size_t(1) + qHash(QStringLiteral("[") + app->description() + QStringLiteral("]")));
}

TEST(SimulatorCoding, PlistutilPrintsACatalogue)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("catalogue"));
    ASSERT_TRUE(testsupport::writeFile(
        path, SimulatorCoding::archivedDataWithDevices({deviceWithApps()}).value().value()));
    QProcess plistutil;
    plistutil.start(QStringLiteral("plistutil"), {QStringLiteral("-i"), path});
    ASSERT_TRUE(plistutil.waitForFinished(10000));
    ASSERT_EQ(plistutil.exitCode(), 0);
    const QByteArray xml = plistutil.readAllStandardOutput();
    for (const char *name : {"SimulatorDevice", "SimulatorApp", "SimulatorItem", "com.example.Mail",
                             "containerUrl", "hasTemplateIcon"}) {
        EXPECT_TRUE(xml.contains(name)) << name;
    }
}

namespace {

// An info dictionary whose dictionaries nest `depth` deep (itself counted),
// a text and a date in the deepest.
QVariantMap infoNested(int depth)
{
    QVariantMap deepest{{QStringLiteral("text"), QStringLiteral("bottom")},
                        {QStringLiteral("date"), created}};
    QVariant value = deepest;
    for (int i = 2; i < depth; ++i) {
        value = QVariantMap{{QStringLiteral("inner"), value}};
    }
    QVariantMap top = info(QStringLiteral("com.deep"), QStringLiteral("Deep"));
    if (depth > 1) {
        top.insert(QStringLiteral("inner"), value);
    }
    return top;
}

int nesting(const QVariant &value)
{
    if (value.typeId() != QMetaType::QVariantMap) {
        return 0;
    }
    int deepest = 0;
    for (const QVariant &child : value.toMap()) {
        deepest = std::max(deepest, nesting(child));
    }
    return deepest + 1;
}

// A device archive holding one app whose keys are written as given, so that
// its info can be deeper than the app coding writes.
QByteArray archiveWithAppInfo(const QVariantMap &appInfo)
{
    const QVariant app = QVariant::fromValue(
        ArchivableObject{{SimulatorCoding::appClassName()}, [appInfo](KeyedArchiver &coder) {
                             coder.encodeObject(QStringLiteral("A"), QStringLiteral("uuid"));
                             coder.encodeObject(appInfo, QStringLiteral("info"));
                         }});
    return deviceArchive(deviceKeys(QString(), QStringLiteral("apps"), QVariantList{app}));
}

} // namespace

TEST(SimulatorCoding, InfoAtTheNestingLimitReadsAndIsWrittenAgainUnchanged)
{
    const int limit = SimulatorCoding::maximumInfoNesting;
    ASSERT_EQ(nesting(infoNested(limit)), limit);
    auto device =
        SimulatorDevice::create(QStringLiteral("D"), QStringLiteral("D"),
                                {SimulatorApp::create(QStringLiteral("A"), infoNested(limit))});
    const auto data = SimulatorCoding::archivedDataWithDevices({device}).value();
    ASSERT_TRUE(data);
    const auto read = SimulatorCoding::devicesFromArchive(*data).value();
    ASSERT_TRUE(read);
    EXPECT_EQ(read->first()->apps().first()->info(), infoNested(limit));
    EXPECT_EQ(SimulatorCoding::archivedDataWithDevices(*read).value(), data);

    // In an update the app sits deeper in the archive; the limit still fits.
    const auto update = SimulatorCoding::archivedDataWithUpdate(
                            SimulatorUpdate(SimulatorUpdateType::DeviceBooted, {device}))
                            .value();
    ASSERT_TRUE(update);
    const auto readUpdate = SimulatorCoding::updateFromArchive(*update).value();
    ASSERT_TRUE(readUpdate);
    const auto readDevice =
        std::dynamic_pointer_cast<SimulatorDevice>(readUpdate->items().value(0));
    ASSERT_TRUE(readDevice);
    EXPECT_EQ(readDevice->apps().first()->info(), infoNested(limit));
}

TEST(SimulatorCoding, InfoBeyondTheNestingLimitIsLeftOutOnWritingAndRefusedOnReading)
{
    const int beyond = SimulatorCoding::maximumInfoNesting + 1;
    ASSERT_TRUE(SimulatorCoding::devicesFromArchive(
                    archiveWithAppInfo(infoNested(SimulatorCoding::maximumInfoNesting)))
                    .value());
    EXPECT_FALSE(
        SimulatorCoding::devicesFromArchive(archiveWithAppInfo(infoNested(beyond))).value())
        << "it could not be written again as it came";

    auto device =
        SimulatorDevice::create(QStringLiteral("D"), QStringLiteral("D"),
                                {SimulatorApp::create(QStringLiteral("A"), infoNested(beyond))});
    const auto read = roundTrip(device);
    ASSERT_TRUE(read) << "the app coding writes what it reads";
    const QVariantMap readInfo = (*read)->apps().first()->info();
    EXPECT_EQ(nesting(readInfo), SimulatorCoding::maximumInfoNesting);
    EXPECT_EQ(readInfo.value(QStringLiteral("CFBundleIdentifier")).toString(),
              QStringLiteral("com.deep"));
}

TEST(SimulatorCoding, AnAppListedByTwoDevicesGivesNothing)
{
    auto first = SimulatorDevice::create(
        QStringLiteral("D1"), QStringLiteral("One"),
        {SimulatorApp::create(QStringLiteral("A1"),
                              info(QStringLiteral("com.a"), QStringLiteral("A")))});
    auto second = SimulatorDevice::create(
        QStringLiteral("D2"), QStringLiteral("Two"),
        {SimulatorApp::create(QStringLiteral("A2"),
                              info(QStringLiteral("com.b"), QStringLiteral("B")))});
    const auto data = SimulatorCoding::archivedDataWithDevices({first, second}).value();
    ASSERT_TRUE(data);
    ASSERT_TRUE(SimulatorCoding::devicesFromArchive(*data).value());

    // The second device's list of apps names the first device's app.
    QVariantMap archive = PropertyList::dictionaryFromData(*data).value().value();
    QVariantList objects = archive.value(QStringLiteral("$objects")).toList();
    QList<qsizetype> appLists;
    for (const QVariant &object : objects) {
        const QVariantMap fields = object.toMap();
        if (fields.contains(QStringLiteral("displayName"))) {
            appLists << qsizetype(
                fields.value(QStringLiteral("apps")).value<PropertyListUid>().value);
        }
    }
    ASSERT_EQ(appLists.size(), 2);
    QVariantMap secondList = objects.at(appLists.at(1)).toMap();
    secondList.insert(QStringLiteral("items"),
                      objects.at(appLists.at(0)).toMap().value(QStringLiteral("items")));
    objects[appLists.at(1)] = secondList;
    archive.insert(QStringLiteral("$objects"), objects);
    const auto shared = PropertyList::toData(archive, PropertyList::Format::Binary).value();
    ASSERT_TRUE(shared);
    EXPECT_FALSE(SimulatorCoding::devicesFromArchive(*shared).value());
}
