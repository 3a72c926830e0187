// The CoreSimulator stand-in as the simulator-control library uses it:
// dlopen'ed from a laid-out Xcode and reached through coresimulator.h alone.
#include "Devtools/CoreSimulator/coresimulator.h"
#include "devtoolsworld.h"
#include "tests/support/testsupport.h"

#include <QMutex>
#include <QSet>
#include <QThread>

#include <dlfcn.h>
#include <gtest/gtest.h>

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

    // After unregistering nothing more arrives.
    library.set->unregisterNotificationHandler(set, registration);
    {
        QMutexLocker lock(&received.mutex);
        received.notifications.clear();
    }
    ASSERT_EQ(
        run(QStringLiteral("xcrun"), {QStringLiteral("simctl"), QStringLiteral("shutdown"), udid})
            .status,
        0);
    QThread::msleep(300);
    QMutexLocker lock(&received.mutex);
    EXPECT_TRUE(received.notifications.isEmpty());
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
