// The CoreSimulator stand-in as the simulator-control library uses it:
// dlopen'ed from a laid-out Xcode and reached through coresimulator.h alone.
#include "binaryplistbuilder.h"
#include "Devtools/CoreSimulator/coresimulator.h"
#include "Devtools/CoreSimulator/coresimulatoraudit.h"
#include "devtoolsworld.h"
#include "tests/support/testsupport.h"

#include <QFile>
#include <QMutex>
#include <QSet>

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace devtoolsworld;

namespace {

// One loaded copy of the library and its tables.
class LoadedCoreSimulator
{
public:
    explicit LoadedCoreSimulator(const QString &developer)
    {
        const QByteArray path =
            (developer +
             QStringLiteral("/Library/PrivateFrameworks/CoreSimulator.framework/CoreSimulator"))
                .toUtf8();
        m_handle = dlopen(path.constData(), RTLD_NOW | RTLD_LOCAL);
        if (m_handle) {
            set = static_cast<const SimDeviceSetClass *>(dlsym(m_handle, "SimDeviceSet"));
            device = static_cast<const SimDeviceClass *>(dlsym(m_handle, "SimDevice"));
            free = reinterpret_cast<void (*)(void *)>(dlsym(m_handle, "CoreSimulatorFree"));
            outstandingReferences = reinterpret_cast<CoreSimulatorOutstandingReferencesFunction>(
                dlsym(m_handle, CORESIMULATOR_OUTSTANDING_REFERENCES_SYMBOL));
        }
    }
    ~LoadedCoreSimulator()
    {
        if (m_handle) {
            dlclose(m_handle);
        }
    }
    bool isLoaded() const { return set && device && free; }

    QString text(char *value) const
    {
        QString result = value ? QString::fromUtf8(value) : QStringLiteral("<null>");
        free(value);
        return result;
    }

    // UDID -> name of the available devices.
    QMap<QString, QString> availableDevices() const
    {
        SimDeviceSetObject *defaultSet = set->defaultSet();
        SimDeviceObject **devices = nullptr;
        const size_t count = set->availableDevices(defaultSet, &devices);
        QMap<QString, QString> result;
        for (size_t i = 0; i < count; ++i) {
            result.insert(text(device->UDID(devices[i])), text(device->name(devices[i])));
            device->release(devices[i]);
        }
        free(devices);
        set->release(defaultSet);
        return result;
    }

    SimDeviceObject *deviceWithUDID(const QString &udid) const
    {
        SimDeviceSetObject *defaultSet = set->defaultSet();
        char **udids = nullptr;
        SimDeviceObject **devices = nullptr;
        const size_t count = set->devicesByUDID(defaultSet, &udids, &devices);
        SimDeviceObject *found = nullptr;
        for (size_t i = 0; i < count; ++i) {
            if (!found && QString::fromUtf8(udids[i]) == udid) {
                found = devices[i];
            } else {
                device->release(devices[i]);
            }
            free(udids[i]);
        }
        free(udids);
        free(devices);
        set->release(defaultSet);
        return found;
    }

    const SimDeviceSetClass *set = nullptr;
    const SimDeviceClass *device = nullptr;
    void (*free)(void *) = nullptr;
    // Only in builds with the reference audit.
    CoreSimulatorOutstandingReferencesFunction outstandingReferences = nullptr;

private:
    void *m_handle = nullptr;
};

struct Received
{
    QMutex mutex;
    QList<std::pair<QString, int64_t>> notifications; // UDID, new state
    const LoadedCoreSimulator *library = nullptr;

    bool contains(const QString &udid, int64_t state)
    {
        QMutexLocker lock(&mutex);
        return notifications.contains(std::make_pair(udid, state));
    }
};

void recordNotification(const SimNotification *notification, void *context)
{
    auto *received = static_cast<Received *>(context);
    if (QLatin1String(notification->notification) != QLatin1String("device_state") ||
        !notification->device || !notification->has_new_state) {
        return;
    }
    const QString udid =
        received->library->text(received->library->device->UDID(notification->device));
    QMutexLocker lock(&received->mutex);
    received->notifications.append({udid, notification->new_state});
}

class CoreSimulatorLibrary : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(run(QStringLiteral("devtools"), {QStringLiteral("sample-world")}).status, 0);
    }

    QString developer(const QString &app = QStringLiteral("Xcode.app")) const
    {
        return m_home.filePath(QStringLiteral("Applications/") + app +
                               QStringLiteral("/Contents/Developer"));
    }

    testsupport::TemporaryHome m_home;
};

} // namespace

TEST_F(CoreSimulatorLibrary, TheBridgeFrameworksLoadAndNameThemselves)
{
    for (const QString &framework :
         {QStringLiteral("../SharedFrameworks/DVTFoundation.framework"),
          QStringLiteral("../OtherFrameworks/DevToolsFoundation.framework"),
          QStringLiteral("Library/PrivateFrameworks/CoreSimulator.framework")}) {
        const QString folder = QDir::cleanPath(developer() + QLatin1Char('/') + framework);
        const QString binary = folder + QLatin1Char('/') + QFileInfo(folder).completeBaseName();
        void *handle = dlopen(binary.toUtf8().constData(), RTLD_NOW | RTLD_LOCAL);
        EXPECT_TRUE(handle) << binary.toStdString() << ": " << dlerror();
        if (handle) {
            dlclose(handle);
        }
        EXPECT_TRUE(QFileInfo(folder + QStringLiteral("/Resources/Info.plist")).isFile());
    }
}

TEST_F(CoreSimulatorLibrary, ListsAvailableDevicesWithTheirFields)
{
    LoadedCoreSimulator library(developer());
    ASSERT_TRUE(library.isLoaded());
    EXPECT_EQ(library.set->interfaceVersion, SIM_CORESIMULATOR_INTERFACE_VERSION);

    QMap<QString, QString> expected;
    for (const ListedDevice &device : listedDevices()) {
        if (device.available) {
            expected.insert(device.udid, device.name);
        }
    }
    ASSERT_FALSE(expected.isEmpty());
    EXPECT_EQ(library.availableDevices(), expected);

    const auto booted = firstDevice(QStringLiteral("iPhone 6"), QStringLiteral("iOS 10.0"));
    ASSERT_TRUE(booted);
    SimDeviceObject *device = library.deviceWithUDID(booted->udid);
    ASSERT_TRUE(device);
    const SimDeviceClass &sim = *library.device;
    EXPECT_TRUE(sim.respondsToSelector(device, "UDID"));
    EXPECT_TRUE(sim.respondsToSelector(device, "name"));
    EXPECT_FALSE(sim.respondsToSelector(device, "makeCoffee"));
    EXPECT_EQ(library.text(sim.UDID(device)), booted->udid);
    EXPECT_EQ(library.text(sim.name(device)), QStringLiteral("iPhone 6"));
    EXPECT_EQ(sim.state(device), 3);
    EXPECT_EQ(library.text(sim.deviceTypeName(device)), QStringLiteral("iPhone 6"));
    EXPECT_EQ(library.text(sim.runtimeVersionString(device)), QStringLiteral("10.0"));
    EXPECT_EQ(library.text(sim.runtimeBuildVersionString(device)), QStringLiteral("14A345"));
    EXPECT_EQ(library.text(sim.devicePath(device)), devicePath(booted->udid));
    EXPECT_EQ(library.text(sim.dataPath(device)),
              devicePath(booted->udid) + QStringLiteral("/data"));

    // Actions, with their failures in the error slot.
    char *error = nullptr;
    EXPECT_TRUE(sim.launchApplicationWithID(device, "com.example.birdwatch", nullptr, &error));
    EXPECT_FALSE(sim.uninstallApplication(device, "org.test.absent", nullptr, &error));
    ASSERT_TRUE(error);
    EXPECT_TRUE(library.text(error).contains(QStringLiteral("not installed")));
    EXPECT_TRUE(sim.uninstallApplication(device, "com.example.birdwatch", nullptr, nullptr));
    EXPECT_FALSE(sim.launchApplicationWithID(device, "com.example.birdwatch", nullptr, nullptr));
    error = nullptr;
    EXPECT_FALSE(sim.addPhoto(device, devicePath(booted->udid).toUtf8().constData(), &error));
    library.free(error);
    EXPECT_TRUE(
        systemLog(booted->udid).contains(QStringLiteral("Uninstalled com.example.birdwatch")));
    sim.release(device);

    // Every device of the set, available or not, by UDID.
    SimDeviceSetObject *set = library.set->defaultSet();
    char **udids = nullptr;
    SimDeviceObject **all = nullptr;
    const size_t count = library.set->devicesByUDID(set, &udids, &all);
    EXPECT_EQ(count, size_t(listedDevices().size()));
    for (size_t i = 0; i < count; ++i) {
        library.free(udids[i]);
        sim.release(all[i]);
    }
    library.free(udids);
    library.free(all);
    library.set->release(set);
}

TEST_F(CoreSimulatorLibrary, ReportsStateChangesMadeByOtherProcesses)
{
    LoadedCoreSimulator library(developer());
    ASSERT_TRUE(library.isLoaded());
    Received received;
    received.library = &library;
    SimDeviceSetObject *set = library.set->defaultSet();
    const uint64_t registration =
        library.set->registerNotificationHandler(set, recordNotification, &received);
    ASSERT_NE(registration, 0u);

    const auto phone = firstDevice(QStringLiteral("iPhone 5s"), QStringLiteral("iOS 10.0"));
    ASSERT_TRUE(phone);
    ASSERT_EQ(run(QStringLiteral("xcrun"),
                  {QStringLiteral("simctl"), QStringLiteral("boot"), phone->udid})
                  .status,
              0);
    EXPECT_TRUE(testsupport::waitFor([&] { return received.contains(phone->udid, 3); }));
    ASSERT_EQ(run(QStringLiteral("xcrun"),
                  {QStringLiteral("simctl"), QStringLiteral("shutdown"), phone->udid})
                  .status,
              0);
    EXPECT_TRUE(testsupport::waitFor([&] { return received.contains(phone->udid, 1); }));

    // A device created afterwards is watched too.
    const ToolRun created =
        run(QStringLiteral("xcrun"),
            {QStringLiteral("simctl"), QStringLiteral("create"), QStringLiteral("New"),
             QStringLiteral("iPad Air"), QStringLiteral("iOS 10.0")});
    ASSERT_EQ(created.status, 0);
    const QString udid = created.out.trimmed();
    EXPECT_TRUE(testsupport::waitFor([&] { return received.contains(udid, 1); }));
    ASSERT_EQ(run(QStringLiteral("xcrun"), {QStringLiteral("simctl"), QStringLiteral("boot"), udid})
                  .status,
              0);
    EXPECT_TRUE(testsupport::waitFor([&] { return received.contains(udid, 3); }));

    // After unregistering nothing more arrives: a second handler, still
    // registered, tells when the next change has been delivered.
    Received sentinel;
    sentinel.library = &library;
    const uint64_t sentinelRegistration =
        library.set->registerNotificationHandler(set, recordNotification, &sentinel);
    ASSERT_NE(sentinelRegistration, 0u);
    library.set->unregisterNotificationHandler(set, registration);
    {
        QMutexLocker lock(&received.mutex);
        received.notifications.clear();
    }
    ASSERT_EQ(
        run(QStringLiteral("xcrun"), {QStringLiteral("simctl"), QStringLiteral("shutdown"), udid})
            .status,
        0);
    EXPECT_TRUE(testsupport::waitFor([&] { return sentinel.contains(udid, 1); }));
    {
        QMutexLocker lock(&received.mutex);
        EXPECT_TRUE(received.notifications.isEmpty());
    }
    library.set->unregisterNotificationHandler(set, sentinelRegistration);
    library.set->release(set);
}

TEST_F(CoreSimulatorLibrary, DevicesNeedTheirRuntimeAndDeviceTypeInTheLoadedXcode)
{
    const ToolRun made = run(QStringLiteral("devtools"),
                             {QStringLiteral("make-xcode"),
                              m_home.filePath(QStringLiteral("Applications/Xcode-beta.app")),
                              QStringLiteral("--version"), QStringLiteral("8.0"),
                              QStringLiteral("--runtime"), QStringLiteral("iOS:10.0:14A345"),
                              QStringLiteral("--device-type"), QStringLiteral("iPhone 6"),
                              QStringLiteral("--device-type"), QStringLiteral("iPad Air")});
    ASSERT_EQ(made.status, 0) << made.err.toStdString();
    LoadedCoreSimulator library(developer(QStringLiteral("Xcode-beta.app")));
    ASSERT_TRUE(library.isLoaded());

    QSet<QString> expected;
    for (const ListedDevice &device : listedDevices()) {
        if (device.group == QLatin1String("iOS 10.0") &&
            (device.name == QLatin1String("iPhone 6") ||
             device.name == QLatin1String("iPad Air"))) {
            expected.insert(device.udid);
        }
    }
    ASSERT_EQ(expected.size(), 2);
    const auto available = library.availableDevices();
    EXPECT_EQ(QSet<QString>(available.keyBegin(), available.keyEnd()), expected);

    // The old Xcode has other runtimes: the iOS 9.3 devices, not the 10.0 ones.
    LoadedCoreSimulator old(developer(QStringLiteral("Xcode-7.3.1.app")));
    ASSERT_TRUE(old.isLoaded());
    const auto oldAvailable = old.availableDevices();
    EXPECT_FALSE(oldAvailable.isEmpty());
    for (const ListedDevice &device : listedDevices()) {
        if (device.group == QLatin1String("iOS 10.0")) {
            EXPECT_FALSE(oldAvailable.contains(device.udid));
        }
    }
}

// Every reference the library hands out through coresimulator.h is given
// back by a caller that releases what it got: after listing, observing and
// unregistering, the library holds only its own references.
TEST_F(CoreSimulatorLibrary, ReferencesAreBalancedAfterListingAndObserving)
{
    LoadedCoreSimulator library(developer());
    ASSERT_TRUE(library.isLoaded());
#ifndef DEVTOOLS_REFERENCE_AUDIT
    GTEST_SKIP() << "the library was built without the reference audit";
#endif
    ASSERT_TRUE(library.outstandingReferences) << "the audit is not exported";
    EXPECT_EQ(library.outstandingReferences(), 0);

    SimDeviceSetObject *set = library.set->defaultSet();
    EXPECT_EQ(library.outstandingReferences(), 1);
    SimDeviceObject **devices = nullptr;
    const size_t count = library.set->availableDevices(set, &devices);
    ASSERT_GT(count, 0u);
    EXPECT_EQ(library.outstandingReferences(), int64_t(1 + count));
    library.device->retain(devices[0]);
    EXPECT_EQ(library.outstandingReferences(), int64_t(2 + count));
    library.device->release(devices[0]);
    for (size_t i = 0; i < count; ++i) {
        library.device->release(devices[i]);
    }
    library.free(devices);
    EXPECT_EQ(library.outstandingReferences(), 1);

    // A handler that keeps the device it is told about, as a catalogue does,
    // and gives it back later.
    struct Kept
    {
        QMutex mutex;
        QList<SimDeviceObject *> devices;
        const SimDeviceClass *device = nullptr;
    } kept;
    kept.device = library.device;
    auto keep = [](const SimNotification *notification, void *context) {
        auto *kept = static_cast<Kept *>(context);
        if (notification->device) {
            kept->device->retain(notification->device);
            QMutexLocker lock(&kept->mutex);
            kept->devices.append(notification->device);
        }
    };
    const uint64_t registration = library.set->registerNotificationHandler(set, keep, &kept);
    ASSERT_NE(registration, 0u);
    const auto phone = firstDevice(QStringLiteral("iPhone 5s"), QStringLiteral("iOS 10.0"));
    ASSERT_TRUE(phone);
    ASSERT_EQ(run(QStringLiteral("xcrun"),
                  {QStringLiteral("simctl"), QStringLiteral("boot"), phone->udid})
                  .status,
              0);
    ASSERT_TRUE(testsupport::waitFor([&] {
        QMutexLocker lock(&kept.mutex);
        return !kept.devices.isEmpty();
    }));
    library.set->unregisterNotificationHandler(set, registration);
    {
        QMutexLocker lock(&kept.mutex);
        EXPECT_EQ(library.outstandingReferences(), int64_t(1 + kept.devices.size()));
        for (SimDeviceObject *device : std::as_const(kept.devices)) {
            library.device->release(device);
        }
    }

    char **udids = nullptr;
    SimDeviceObject **all = nullptr;
    const size_t allCount = library.set->devicesByUDID(set, &udids, &all);
    for (size_t i = 0; i < allCount; ++i) {
        library.free(udids[i]);
        library.device->release(all[i]);
    }
    library.free(udids);
    library.free(all);
    library.set->release(set);
    EXPECT_EQ(library.outstandingReferences(), 0);

    // A release too many shows as well.
    SimDeviceSetObject *again = library.set->defaultSet();
    library.set->release(again);
    library.set->release(again);
    EXPECT_EQ(library.outstandingReferences(), -1);
    library.set->retain(again);
    EXPECT_EQ(library.outstandingReferences(), 0);
}

// device.plist files a catalogue must survive in its own process: the
// library reads them while loaded in the caller, so a crash in its readers
// would end the caller.
TEST_F(CoreSimulatorLibrary, HostileDevicePlistsDoNotStopTheCatalogue)
{
    const QString fifo = QStringLiteral("B1111111-1111-4111-8111-111111111111");
    const QString deep = QStringLiteral("B2222222-2222-4222-8222-222222222222");
    const QString nul = QStringLiteral("B3333333-3333-4333-8333-333333333333");
    for (const QString &udid : {fifo, deep, nul}) {
        ASSERT_TRUE(QDir().mkpath(devicePath(udid)));
    }
    ASSERT_EQ(
        ::mkfifo(QFile::encodeName(devicePath(fifo) + QStringLiteral("/device.plist")).constData(),
                 0600),
        0);
    BinaryPlistBuilder nested;
    for (int i = 0; i < 11999; ++i) {
        nested.array({i + 1});
    }
    nested.array({});
    ASSERT_TRUE(testsupport::writeFile(devicePath(deep) + QStringLiteral("/device.plist"),
                                       nested.build(0)));
    BinaryPlistBuilder text;
    const int top =
        text.dictionary({text.ascii(QByteArray("UD\0ID", 5))}, {text.ascii(nul.toLatin1())});
    ASSERT_TRUE(
        testsupport::writeFile(devicePath(nul) + QStringLiteral("/device.plist"), text.build(top)));

    LoadedCoreSimulator library(developer());
    ASSERT_TRUE(library.isLoaded());
    const auto available = library.availableDevices();
    EXPECT_FALSE(available.isEmpty());
    for (const QString &udid : {fifo, deep, nul}) {
        EXPECT_FALSE(available.contains(udid));
    }
    SimDeviceSetObject *set = library.set->defaultSet();
    char **udids = nullptr;
    SimDeviceObject **devices = nullptr;
    const size_t count = library.set->devicesByUDID(set, &udids, &devices);
    EXPECT_EQ(count, size_t(listedDevices().size()));
    for (size_t i = 0; i < count; ++i) {
        library.free(udids[i]);
        library.device->release(devices[i]);
    }
    library.free(udids);
    library.free(devices);
    library.set->release(set);
}
