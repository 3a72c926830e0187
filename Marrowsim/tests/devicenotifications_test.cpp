// Device-state notifications across the lives of controllers: a controller's
// handler ends with it, a second controller leaves one handler per update,
// and a second controller on a developer folder without the device-set
// framework leaves nothing behind that crashes when a device changes; and
// the log lines of a change name the library that wrote them. The changes
// are made by the stand-in's own programs, from other processes.
#include "frameworkloader.h"
#include "Marrowsim/marrowsimcontroller.h"

#include "coresimulator.h"
#include "devtoolsworld.h"
#include "Marrowkit/foundation/log.h"
#include "Marrowkit/model/simulatorupdate.h"
#include "Marrowkit/platform/fileobserver.h"
#include "tests/support/testsupport.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>

using namespace devtoolsworld;
using testsupport::waitFor;

namespace {

QString developerFolderOf(const QString &xcode)
{
    return QDir::homePath() + QStringLiteral("/Applications/") + xcode +
           QStringLiteral("/Contents/Developer");
}

// Updates arrive on the framework's threads and handlers may outlive a test
// step, so they share this recorder by reference count.
struct UpdateRecorder : std::enable_shared_from_this<UpdateRecorder>
{
    std::mutex mutex;
    QList<std::pair<SimulatorUpdateType, QString>> updates;

    int count(SimulatorUpdateType type, const QString &uuid)
    {
        std::lock_guard lock(mutex);
        return int(updates.count(std::make_pair(type, uuid)));
    }
    int total()
    {
        std::lock_guard lock(mutex);
        return int(updates.size());
    }
    MarrowsimController::UpdateHandler handler()
    {
        return [self = shared_from_this()](const std::shared_ptr<SimulatorUpdate> &update) {
            std::lock_guard lock(self->mutex);
            for (const auto &item : update->items()) {
                self->updates.append({update->type(), item->uuid()});
            }
        };
    }
};

// A handler registered straight with the default set of the framework loaded
// now, after the controllers' handlers: the set calls its handlers in the
// order they came, so once the probe has seen a change, every handler
// registered before it on that set has been offered it. The framework's
// classes stay usable after they are unloaded (their code stays mapped).
class FrameworkProbe
{
public:
    FrameworkProbe()
        : m_setClass(
              static_cast<const SimDeviceSetClass *>(FrameworkLoader::symbol("SimDeviceSet"))),
          m_deviceClass(static_cast<const SimDeviceClass *>(FrameworkLoader::symbol("SimDevice"))),
          m_seen(std::make_shared<Seen>())
    {
        if (m_setClass && m_deviceClass) {
            m_seen->deviceClass = m_deviceClass;
            m_set = m_setClass->defaultSet();
            m_registration = m_setClass->registerNotificationHandler(m_set, &deliver, m_seen.get());
        }
    }
    ~FrameworkProbe()
    {
        if (m_registration) {
            m_setClass->unregisterNotificationHandler(m_set, m_registration);
        }
        if (m_set) {
            m_setClass->release(m_set);
        }
    }
    FrameworkProbe(const FrameworkProbe &) = delete;
    FrameworkProbe &operator=(const FrameworkProbe &) = delete;

    bool isRegistered() const { return m_registration != 0; }
    bool saw(const QString &udid, int state)
    {
        std::lock_guard lock(m_seen->mutex);
        return m_seen->changes.contains(std::make_pair(udid, state));
    }

private:
    struct Seen
    {
        const SimDeviceClass *deviceClass = nullptr;
        std::mutex mutex;
        QList<std::pair<QString, int>> changes;
    };

    static void deliver(const SimNotification *notification, void *context)
    {
        auto *seen = static_cast<Seen *>(context);
        if (!notification || !notification->device || !notification->has_new_state) {
            return;
        }
        char *udid = seen->deviceClass->UDID(notification->device);
        std::lock_guard lock(seen->mutex);
        seen->changes.append({QString::fromUtf8(udid), int(notification->new_state)});
        CoreSimulatorFreeFunction()(udid);
    }
    // The free function of the framework that handed the text out.
    static void (*CoreSimulatorFreeFunction())(void *)
    {
        static auto *release =
            reinterpret_cast<void (*)(void *)>(FrameworkLoader::symbol("CoreSimulatorFree"));
        return release ? release : &std::free;
    }

    const SimDeviceSetClass *m_setClass;
    const SimDeviceClass *m_deviceClass;
    SimDeviceSetObject *m_set = nullptr;
    uint64_t m_registration = 0;
    std::shared_ptr<Seen> m_seen;
};

constexpr int bootedState = 3;
constexpr int shutdownState = 1;

class DeviceNotifications : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const ToolRun world = run(QStringLiteral("devtools"), {QStringLiteral("sample-world")});
        ASSERT_EQ(world.status, 0) << world.err.toStdString();
        for (const ListedDevice &device : listedDevices()) {
            if (device.available && device.state == QLatin1String("Shutdown")) {
                m_udid = device.udid;
                break;
            }
        }
        ASSERT_FALSE(m_udid.isEmpty()) << "the sample world has a shut-down device";
    }

    void simctl(const QString &command)
    {
        const ToolRun result =
            run(QStringLiteral("xcrun"), {QStringLiteral("simctl"), command, m_udid});
        ASSERT_EQ(result.status, 0) << result.err.toStdString();
    }

    // A copy of the Xcode's layout without the device-set framework.
    QString developerFolderWithoutCoreSimulator()
    {
        const QString xcode = QDir::homePath() + QStringLiteral("/Applications/Xcode.app/Contents");
        const QString partial = QDir::homePath() + QStringLiteral("/Partial.app/Contents");
        for (const QString &framework :
             {QStringLiteral("SharedFrameworks/DVTFoundation.framework"),
              QStringLiteral("OtherFrameworks/DevToolsFoundation.framework")}) {
            QDir().mkpath(QFileInfo(partial + QLatin1Char('/') + framework).absolutePath());
            QProcess cp;
            cp.start(QStringLiteral("/bin/cp"),
                     {QStringLiteral("-R"), xcode + QLatin1Char('/') + framework,
                      partial + QLatin1Char('/') + framework});
            cp.waitForFinished();
            EXPECT_EQ(cp.exitCode(), 0);
        }
        QDir().mkpath(partial + QStringLiteral("/Developer"));
        return partial + QStringLiteral("/Developer");
    }

    testsupport::TemporaryHome m_home;
    QString m_udid;
};

} // namespace

TEST_F(DeviceNotifications, ADestroyedControllersHandlerIsNeverCalledAgain)
{
    auto recorder = std::make_shared<UpdateRecorder>();
    auto controller =
        std::make_unique<MarrowsimController>(developerFolderOf(QStringLiteral("Xcode.app")));
    ASSERT_TRUE(controller->didLoadFrameworks());
    controller->registerNotificationHandler(recorder->handler());
    FrameworkProbe probe;
    ASSERT_TRUE(probe.isRegistered());
    controller.reset();

    simctl(QStringLiteral("boot"));
    ASSERT_TRUE(waitFor([&] { return probe.saw(m_udid, bootedState); }));
    simctl(QStringLiteral("shutdown"));
    ASSERT_TRUE(waitFor([&] { return probe.saw(m_udid, shutdownState); }));
    EXPECT_EQ(recorder->total(), 0) << "the handler outlived its controller";
}

TEST_F(DeviceNotifications, ASecondControllerLeavesOneDeliveryPerUpdate)
{
    // A change of developer folder, the first controller still alive: the
    // two Xcodes have frameworks of their own, each watching the device set.
    auto recorder = std::make_shared<UpdateRecorder>();
    MarrowsimController first(developerFolderOf(QStringLiteral("Xcode-7.3.1.app")));
    ASSERT_TRUE(first.didLoadFrameworks());
    first.registerNotificationHandler(recorder->handler());
    FrameworkProbe firstProbe;
    MarrowsimController second(developerFolderOf(QStringLiteral("Xcode.app")));
    ASSERT_TRUE(second.didLoadFrameworks());
    second.registerNotificationHandler(recorder->handler());
    FrameworkProbe secondProbe;
    ASSERT_TRUE(firstProbe.isRegistered() && secondProbe.isRegistered());

    simctl(QStringLiteral("boot"));
    ASSERT_TRUE(waitFor([&] {
        return firstProbe.saw(m_udid, bootedState) && secondProbe.saw(m_udid, bootedState);
    }));
    simctl(QStringLiteral("shutdown"));
    ASSERT_TRUE(waitFor([&] {
        return firstProbe.saw(m_udid, shutdownState) && secondProbe.saw(m_udid, shutdownState);
    }));
    EXPECT_EQ(recorder->count(SimulatorUpdateType::DeviceBooted, m_udid), 1);
    EXPECT_EQ(recorder->count(SimulatorUpdateType::DeviceShutdown, m_udid), 1);

    // Registering again on the same controller replaces its handler.
    auto replaced = std::make_shared<UpdateRecorder>();
    second.registerNotificationHandler(replaced->handler());
    simctl(QStringLiteral("boot"));
    ASSERT_TRUE(
        waitFor([&] { return replaced->count(SimulatorUpdateType::DeviceBooted, m_udid) > 0; }));
    simctl(QStringLiteral("shutdown"));
    ASSERT_TRUE(
        waitFor([&] { return replaced->count(SimulatorUpdateType::DeviceShutdown, m_udid) > 0; }));
    ASSERT_TRUE(waitFor([&] { return secondProbe.saw(m_udid, shutdownState); }));
    EXPECT_EQ(replaced->count(SimulatorUpdateType::DeviceBooted, m_udid), 1);
    EXPECT_EQ(recorder->count(SimulatorUpdateType::DeviceBooted, m_udid), 1)
        << "the replaced handler was called";
}

TEST_F(DeviceNotifications, AReloadWithoutTheDeviceSetFrameworkSurvivesDeviceChanges)
{
    auto recorder = std::make_shared<UpdateRecorder>();
    MarrowsimController first(developerFolderOf(QStringLiteral("Xcode.app")));
    ASSERT_TRUE(first.didLoadFrameworks());
    first.registerNotificationHandler(recorder->handler());
    FrameworkProbe probe;
    ASSERT_TRUE(probe.isRegistered());

    MarrowsimController second(developerFolderWithoutCoreSimulator());
    ASSERT_FALSE(second.didLoadFrameworks());
    second.registerNotificationHandler(recorder->handler());

    // The first framework still watches the set; its notification must not
    // reach anything built on the classes that are gone.
    simctl(QStringLiteral("boot"));
    EXPECT_TRUE(waitFor([&] { return probe.saw(m_udid, bootedState); }));
    simctl(QStringLiteral("shutdown"));
    EXPECT_TRUE(waitFor([&] { return probe.saw(m_udid, shutdownState); }));
    EXPECT_EQ(recorder->total(), 0) << "no controller has the frameworks any more";
}

TEST_F(DeviceNotifications, LinesOfBothLibrariesInOneLogFileNameTheirLibrary)
{
    RotatingLogFileConfiguration config;
    config.minimumSeverity = LogSeverity::Verbose;
    config.directoryPath = QStringLiteral("~/Library/Logs/Marrowby/Parley.log");
    ASSERT_TRUE(Log::enable(config));
    const auto restore = qScopeGuard([] {
        Log::disable();
        Log::setMinimumSeverity(LogSeverity::Info);
    });

    // The core library logs the start of an observer...
    {
        FileObserver observer(QUrl::fromLocalFile(QDir::homePath()), {}, {});
        observer.startMonitoring();
    }
    // ...and the simulator control library a device's new state.
    auto recorder = std::make_shared<UpdateRecorder>();
    MarrowsimController controller(developerFolderOf(QStringLiteral("Xcode.app")));
    controller.registerNotificationHandler(recorder->handler());
    simctl(QStringLiteral("boot"));
    ASSERT_TRUE(
        waitFor([&] { return recorder->count(SimulatorUpdateType::DeviceBooted, m_udid) == 1; }));
    Log::disable();

    const QString folder = QDir::homePath() + QStringLiteral("/Library/Logs/Marrowby");
    const QStringList files = QDir(folder).entryList({QStringLiteral("Parley_*.log")}, QDir::Files);
    ASSERT_EQ(files.size(), 1);
    QFile file(QDir(folder).filePath(files.first()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray observerLine, stateLine;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.contains("Start monitoring")) {
            observerLine = line;
        } else if (line.contains(": Booted")) {
            stateLine = line;
        }
    }
    EXPECT_TRUE(observerLine.contains("[marrowkit] [Marrowkit/FileObserver:"))
        << observerLine.toStdString();
    EXPECT_TRUE(stateLine.contains("[marrowsim] [Marrowsim/DeveloperToolsInteraction:"))
        << stateLine.toStdString();
}
