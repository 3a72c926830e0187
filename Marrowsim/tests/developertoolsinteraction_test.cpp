// The simulator control library against the stand-in developer tools: a
// sample world laid out in a temporary HOME, read through the framework
// library, changed by the stand-in's own programs from other processes.
#include "frameworkloader.h"
#include "iphonesimulator.h"
#include "Marrowsim/marrowsimcontroller.h"

#include "devtoolsworld.h"
#include "Marrowkit/model/simulatorapp.h"
#include "Marrowkit/model/simulatorupdate.h"
#include "Marrowkit/plist/propertylist.h"
#include "tests/support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>

using namespace devtoolsworld;
using testsupport::waitFor;

namespace {

QString developerFolder()
{
    return QDir::homePath() + QStringLiteral("/Applications/Xcode.app/Contents/Developer");
}

// Updates arrive on the framework's thread; handlers outlive the test that
// registered them, so they only ever touch this shared recorder.
struct UpdateRecorder
{
    std::mutex mutex;
    QList<std::pair<SimulatorUpdateType, QString>> updates;

    bool has(SimulatorUpdateType type, const QString &uuid)
    {
        std::lock_guard lock(mutex);
        return updates.contains(std::make_pair(type, uuid));
    }
};

class MarrowsimWorld : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const ToolRun world = run(QStringLiteral("devtools"), {QStringLiteral("sample-world")});
        ASSERT_EQ(world.status, 0) << world.err.toStdString();
    }

    SimulatorDevicePtr deviceNamed(const QList<SimulatorDevicePtr> &devices, const QString &name)
    {
        for (const auto &device : devices) {
            if (device->name() == name) {
                return device;
            }
        }
        return nullptr;
    }

    SimulatorAppPtr appNamed(const SimulatorDevicePtr &device, const QString &name)
    {
        for (const auto &app : device->apps()) {
            if (app->name() == name) {
                return app;
            }
        }
        return nullptr;
    }

    // A device of the selected Xcode that holds an app named `appName`.
    std::pair<SimulatorDevicePtr, SimulatorAppPtr> findApp(const QList<SimulatorDevicePtr> &devices,
                                                           const QString &appName)
    {
        for (const auto &device : devices) {
            if (auto app = appNamed(device, appName)) {
                return {device, app};
            }
        }
        return {nullptr, nullptr};
    }

    testsupport::TemporaryHome m_home;
};

TEST_F(MarrowsimWorld, ListsEveryAvailableDeviceInNameOrderWithItsFields)
{
    MarrowsimController controller(developerFolder());
    ASSERT_TRUE(controller.didLoadFrameworks());
    const auto devices = controller.availableDevices();

    QStringList expected;
    for (const ListedDevice &listed : listedDevices()) {
        if (listed.available) {
            expected.append(listed.udid);
        }
    }
    QStringList read;
    for (const auto &device : devices) {
        read.append(device->uuid());
    }
    std::sort(expected.begin(), expected.end());
    QStringList readSorted = read;
    std::sort(readSorted.begin(), readSorted.end());
    ASSERT_FALSE(expected.isEmpty());
    EXPECT_EQ(readSorted, expected);

    EXPECT_TRUE(std::is_sorted(devices.begin(), devices.end(), [](const auto &a, const auto &b) {
        return QString::compare(a->name(), b->name(), Qt::CaseSensitive) < 0;
    }));

    int booted = 0;
    for (const auto &device : devices) {
        const auto plist = PropertyList::dictionaryFromFile(devicePath(device->uuid()) +
                                                            QStringLiteral("/device.plist"))
                               .value();
        ASSERT_TRUE(plist);
        EXPECT_EQ(device->name(), plist->value(QStringLiteral("name")).toString());
        EXPECT_EQ(rawValue(device->deviceState()), plist->value(QStringLiteral("state")).toInt());
        EXPECT_NE(device->deviceType(), DeviceType::Unknown) << device->name().toStdString();
        EXPECT_FALSE(device->version().isEmpty());
        ASSERT_TRUE(device->containerURL());
        EXPECT_EQ(QFileInfo(device->containerURL()->toLocalFile()).canonicalFilePath(),
                  QFileInfo(devicePath(device->uuid())).canonicalFilePath());
        EXPECT_TRUE(std::is_sorted(device->apps().begin(), device->apps().end(),
                                   [](const auto &a, const auto &b) {
                                       return QString::compare(a->name(), b->name()) < 0;
                                   }));
        for (const auto &app : device->apps()) {
            EXPECT_EQ(app->device(), device);
        }
        booted += device->booted() ? 1 : 0;
    }
    EXPECT_EQ(booted, 1);
}

TEST_F(MarrowsimWorld, AppsCarryDataContainersGroupsAndLocalizedNames)
{
    MarrowsimController controller(developerFolder());
    const auto devices = controller.availableDevices();

    const auto [tidesDevice, tides] = findApp(devices, QStringLiteral("Tide Tables"));
    ASSERT_TRUE(tides);
    EXPECT_EQ(tides->bundleIdentifier(), QStringLiteral("com.example.tides"));
    ASSERT_TRUE(tides->sandboxURL());
    const auto metadata = PropertyList::dictionaryFromFile(
                              tides->sandboxURL()->toLocalFile() +
                              QStringLiteral("/.com.apple.mobile_container_manager.metadata.plist"))
                              .value();
    ASSERT_TRUE(metadata);
    EXPECT_EQ(metadata->value(QStringLiteral("MCMMetadataIdentifier")).toString(),
              QStringLiteral("com.example.tides"));
    EXPECT_EQ(tides->uuid(), QFileInfo(tides->sandboxURL()->toLocalFile()).fileName());
    ASSERT_TRUE(tides->appGroups());
    QStringList groups = *tides->appGroups();
    groups.sort();
    EXPECT_EQ(groups, (QStringList{QStringLiteral("group.com.example.shared"),
                                   QStringLiteral("group.com.example.tides")}));
    const auto groupFolder =
        tides->containerURLForAppGroup(QStringLiteral("group.com.example.tides"));
    ASSERT_TRUE(groupFolder);
    const auto groupMetadata =
        PropertyList::dictionaryFromFile(
            groupFolder->toLocalFile() +
            QStringLiteral("/.com.apple.mobile_container_manager.metadata.plist"))
            .value();
    ASSERT_TRUE(groupMetadata);
    EXPECT_EQ(groupMetadata->value(QStringLiteral("MCMMetadataIdentifier")).toString(),
              QStringLiteral("group.com.example.tides"));
    EXPECT_EQ(tides->info().value(QStringLiteral("CFBundleDisplayName")).toString(),
              QStringLiteral("Tide Tables"));

    const auto [notesDevice, notes] = findApp(devices, QStringLiteral("Field Notes"));
    ASSERT_TRUE(notes) << "the localized display name is the app's name";
    EXPECT_EQ(notes->bundleIdentifier(), QStringLiteral("com.example.notebook"));

    bool twoCounters = false;
    for (const auto &device : devices) {
        int counters = 0;
        for (const auto &app : device->apps()) {
            counters += app->name() == QLatin1String("Counter") ? 1 : 0;
        }
        twoCounters = twoCounters || counters == 2;
    }
    EXPECT_TRUE(twoCounters) << "two apps of the same name on one device are both listed";
}

TEST_F(MarrowsimWorld, AppWithoutDataContainerAndSymlinkedBundles)
{
    MarrowsimController before(developerFolder());
    const auto devices = before.availableDevices();
    const auto [device, tides] = findApp(devices, QStringLiteral("Tide Tables"));
    ASSERT_TRUE(tides);
    const QString bundle = tides->bundleURL()->toLocalFile();
    const QString bundleContainer = QFileInfo(bundle).absolutePath();
    ASSERT_TRUE(QDir(tides->sandboxURL()->toLocalFile()).removeRecursively());

    // A second container whose bundle is only a link to the first one.
    const QString linkContainer = QFileInfo(bundleContainer).absolutePath() +
                                  QStringLiteral("/0000AAAA-0000-4000-8000-00000000LINK");
    ASSERT_TRUE(QDir().mkpath(linkContainer));
    ASSERT_TRUE(QFile::link(bundle, linkContainer + QStringLiteral("/Linked.app")));

    MarrowsimController after(developerFolder());
    const auto reread = deviceNamed(after.availableDevices(), device->name());
    ASSERT_TRUE(reread);
    int tidesCount = 0;
    for (const auto &app : reread->apps()) {
        if (app->bundleIdentifier() == QLatin1String("com.example.tides")) {
            ++tidesCount;
            EXPECT_EQ(app->sandboxURL()->toLocalFile(), bundleContainer)
                << "without a data container the bundle container serves";
            EXPECT_FALSE(app->appGroups()) << "no data item, so no group list";
        }
    }
    EXPECT_EQ(tidesCount, 1) << "the linked bundle is not reported";
}

TEST_F(MarrowsimWorld, DamagedPropertyListsLeaveEverythingElseIntact)
{
    MarrowsimController before(developerFolder());
    const auto devices = before.availableDevices();
    const auto [device, tides] = findApp(devices, QStringLiteral("Tide Tables"));
    ASSERT_TRUE(tides);
    const int appsBefore = int(device->apps().size());
    int allAppsBefore = 0;
    for (const auto &d : devices) {
        allAppsBefore += int(d->apps().size());
    }

    ASSERT_TRUE(
        testsupport::writeFile(tides->bundleURL()->toLocalFile() + QStringLiteral("/Info.plist"),
                               QByteArray("bplist00\x01\x02garbage", 17)));
    // Another app's metadata names no identifier: it keeps its bundle but
    // loses its data container.
    SimulatorAppPtr other;
    for (const auto &app : device->apps()) {
        if (app->bundleIdentifier() != QLatin1String("com.example.tides") && app->sandboxURL() &&
            app->sandboxURL() != app->bundleURL()) {
            other = app;
        }
    }
    ASSERT_TRUE(other);
    ASSERT_TRUE(PropertyList::writeFile(
                    other->sandboxURL()->toLocalFile() +
                        QStringLiteral("/.com.apple.mobile_container_manager.metadata.plist"),
                    QVariantList{QStringLiteral("wrong shape")}, PropertyList::Format::Xml)
                    .isSuccess());

    MarrowsimController after(developerFolder());
    const auto reread = after.availableDevices();
    ASSERT_EQ(reread.size(), devices.size());
    int allAppsAfter = 0;
    for (const auto &d : reread) {
        allAppsAfter += int(d->apps().size());
    }
    EXPECT_EQ(allAppsAfter, allAppsBefore - 1);
    const auto damaged = deviceNamed(reread, device->name());
    ASSERT_TRUE(damaged);
    EXPECT_EQ(int(damaged->apps().size()), appsBefore - 1);
    for (const auto &app : damaged->apps()) {
        EXPECT_NE(app->bundleIdentifier(), QStringLiteral("com.example.tides"));
        if (app->bundleIdentifier() == other->bundleIdentifier()) {
            EXPECT_NE(app->sandboxURL(), other->sandboxURL());
        }
    }
}

TEST_F(MarrowsimWorld, DeveloperFolderWithoutCoreSimulatorLoadsOnlyTheFirstTwo)
{
    // A copy of the Xcode's layout without the device-set framework.
    const QString xcode = QDir::homePath() + QStringLiteral("/Applications/Xcode.app/Contents");
    const QString partial = QDir::homePath() + QStringLiteral("/Partial.app/Contents");
    for (const QString &framework :
         {QStringLiteral("SharedFrameworks/DVTFoundation.framework"),
          QStringLiteral("OtherFrameworks/DevToolsFoundation.framework")}) {
        const ToolRun copy = [&] {
            QDir().mkpath(QFileInfo(partial + QLatin1Char('/') + framework).absolutePath());
            QProcess cp;
            cp.start(QStringLiteral("/bin/cp"),
                     {QStringLiteral("-R"), xcode + QLatin1Char('/') + framework,
                      partial + QLatin1Char('/') + framework});
            cp.waitForFinished();
            return ToolRun{cp.exitCode(), QString(), QString()};
        }();
        ASSERT_EQ(copy.status, 0);
    }
    QDir().mkpath(partial + QStringLiteral("/Developer"));

    MarrowsimController controller(partial + QStringLiteral("/Developer"));
    EXPECT_FALSE(controller.didLoadFrameworks());
    EXPECT_TRUE(FrameworkLoader::isLoaded(QStringLiteral("com.apple.dt.DVTFoundation")));
    EXPECT_TRUE(FrameworkLoader::isLoaded(QStringLiteral("com.apple.DevToolsFoundation")));
    EXPECT_FALSE(FrameworkLoader::isLoaded(QStringLiteral("com.apple.CoreSimulator")));
    EXPECT_TRUE(controller.availableDevices().isEmpty());

    auto device = SimulatorDevice::create(QStringLiteral("A1B2C3D4-0000-4000-8000-000000000001"),
                                          QStringLiteral("iPhone 6"), {});
    EXPECT_FALSE(controller.resetContentsAndSettingsOfDevice(*device));
    EXPECT_FALSE(controller.addPhoto(QUrl::fromLocalFile(QStringLiteral("/tmp/x.png")), *device));
}

TEST_F(MarrowsimWorld, StateChangesFromAnotherProcessArriveAsUpdates)
{
    MarrowsimController controller(developerFolder());
    auto recorder = std::make_shared<UpdateRecorder>();
    controller.registerNotificationHandler(
        [recorder](const std::shared_ptr<SimulatorUpdate> &update) {
            std::lock_guard lock(recorder->mutex);
            for (const auto &item : update->items()) {
                recorder->updates.append({update->type(), item->uuid()});
            }
        });

    SimulatorDevicePtr target;
    for (const auto &device : controller.availableDevices()) {
        if (!device->booted() && device->deviceType() == DeviceType::iPhone6s) {
            target = device;
        }
    }
    ASSERT_TRUE(target);
    ToolRun boot = run(QStringLiteral("xcrun"),
                       {QStringLiteral("simctl"), QStringLiteral("boot"), target->uuid()});
    ASSERT_EQ(boot.status, 0) << boot.err.toStdString();
    EXPECT_TRUE(
        waitFor([&] { return recorder->has(SimulatorUpdateType::DeviceBooted, target->uuid()); }));

    ToolRun shutdown = run(QStringLiteral("xcrun"),
                           {QStringLiteral("simctl"), QStringLiteral("shutdown"), target->uuid()});
    ASSERT_EQ(shutdown.status, 0) << shutdown.err.toStdString();
    EXPECT_TRUE(waitFor(
        [&] { return recorder->has(SimulatorUpdateType::DeviceShutdown, target->uuid()); }));

    std::lock_guard lock(recorder->mutex);
    for (const auto &[type, uuid] : recorder->updates) {
        EXPECT_TRUE(type == SimulatorUpdateType::DeviceBooted ||
                    type == SimulatorUpdateType::DeviceShutdown ||
                    type == SimulatorUpdateType::DeviceCreating)
            << "booting and shutting-down states make no update";
    }
}

TEST_F(MarrowsimWorld, ActionsChangeTheWorldAsTheToolsRecordIt)
{
    MarrowsimController controller(developerFolder());
    const auto devices = controller.availableDevices();
    SimulatorDevicePtr booted;
    SimulatorDevicePtr idle;
    for (const auto &device : devices) {
        if (device->apps().isEmpty() || !device->canImportPhotos()) {
            continue;
        }
        (device->booted() ? booted : idle) = device;
    }
    ASSERT_TRUE(booted);
    ASSERT_TRUE(idle);

    const auto launched = booted->apps().constFirst();
    EXPECT_TRUE(controller.launchApp(*launched));
    EXPECT_TRUE(systemLog(booted->uuid()).contains(launched->bundleIdentifier()));
    EXPECT_FALSE(controller.launchApp(*idle->apps().constFirst()))
        << "launching needs a booted device";

    const auto removed = idle->apps().constFirst();
    const QString bundleContainer = QFileInfo(removed->bundleURL()->toLocalFile()).absolutePath();
    EXPECT_TRUE(controller.uninstallApp(*removed));
    EXPECT_FALSE(QFileInfo::exists(bundleContainer));
    EXPECT_FALSE(QFileInfo::exists(removed->sandboxURL()->toLocalFile()));
    EXPECT_FALSE(controller.uninstallApp(*removed)) << "a second uninstall fails";

    QTemporaryDir pictures;
    const QString photo = pictures.filePath(QStringLiteral("beach.png"));
    QImage image(8, 8, QImage::Format_ARGB32);
    image.fill(Qt::blue);
    ASSERT_TRUE(image.save(photo));
    const auto before = snapshot(devicePath(idle->uuid()));
    EXPECT_TRUE(controller.addPhoto(QUrl::fromLocalFile(photo), *idle));
    EXPECT_FALSE(differences(before, snapshot(devicePath(idle->uuid()))).isEmpty());
    const QString text = pictures.filePath(QStringLiteral("notes.txt"));
    ASSERT_TRUE(testsupport::writeFile(text, "not a picture"));
    EXPECT_FALSE(controller.addPhoto(QUrl::fromLocalFile(text), *idle));

    // Erasing a booted device is refused by the tool, yet answers true.
    const auto bootedBefore = snapshot(devicePath(booted->uuid()) + QStringLiteral("/data"));
    EXPECT_TRUE(controller.resetContentsAndSettingsOfDevice(*booted));
    EXPECT_TRUE(
        differences(bootedBefore, snapshot(devicePath(booted->uuid()) + QStringLiteral("/data")))
            .isEmpty());
    EXPECT_TRUE(controller.resetContentsAndSettingsOfDevice(*idle));
    MarrowsimController reread(developerFolder());
    SimulatorDevicePtr erased;
    for (const auto &device : reread.availableDevices()) {
        if (device->uuid() == idle->uuid()) {
            erased = device;
        }
    }
    ASSERT_TRUE(erased) << "an erased device stays in the set";
    EXPECT_TRUE(erased->apps().isEmpty());
}

TEST_F(MarrowsimWorld, ActionsWithoutAKnownDeviceAnswerFalse)
{
    MarrowsimController controller(developerFolder());
    auto app = std::make_shared<SimulatorApp>(QStringLiteral("APP"), QStringLiteral("Ghost"));
    auto ghost =
        SimulatorDevice::create(QStringLiteral("not-a-uuid"), QStringLiteral("Ghost"), {app});
    EXPECT_FALSE(controller.launchApp(*app));
    EXPECT_FALSE(controller.uninstallApp(*app));
    auto unknown = SimulatorDevice::create(QStringLiteral("A1B2C3D4-0000-4000-8000-00000000FFFF"),
                                           QStringLiteral("Unknown"), {});
    EXPECT_FALSE(controller.resetContentsAndSettingsOfDevice(*unknown));
    auto orphan =
        std::make_shared<SimulatorApp>(QStringLiteral("ORPHAN"), QStringLiteral("Orphan"));
    EXPECT_FALSE(controller.launchApp(*orphan)) << "an app without a device";
}

TEST_F(MarrowsimWorld, BridgeDescribesDevicesInDetail)
{
    iPhoneSimulator simulator;
    ASSERT_TRUE(simulator.loadSimulatorFrameworkAtPath(developerFolder()));
    const auto objects = simulator.availableDevices();
    ASSERT_FALSE(objects.isEmpty());
    const auto &object = objects.constFirst();
    const QString plain = simulator.versionStringForDevice(object, false);
    const QString detailed = simulator.versionStringForDevice(object, true);
    EXPECT_FALSE(plain.isEmpty());
    EXPECT_TRUE(detailed.startsWith(plain + QStringLiteral(" (")));
    EXPECT_TRUE(detailed.endsWith(QLatin1Char(')')));
    EXPECT_GT(detailed.size(), plain.size() + 3);
    EXPECT_GE(simulator.availableDevicesByUDID().size(), objects.size());
}

} // namespace
