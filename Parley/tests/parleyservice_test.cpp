// The service as its clients meet it: started by bus activation on a private
// bus, reading the stand-in world in a temporary HOME, pushing to test
// clients, and posting notifications to a recorder that owns the
// notification service's name.
#include "parleyworld.h"

#include "Marrowkit/Connection/parleycontract.h"
#include "Marrowkit/model/simulatorapp.h"
#include "Marrowkit/model/simulatorcoding.h"
#include "Marrowkit/model/simulatorupdate.h"
#include "Marrowkit/plist/keyedunarchiver.h"
#include "Marrowkit/plist/propertylist.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>

using namespace devtoolsworld;
using testsupport::waitFor;

namespace {

QStringList names(const QList<SimulatorDevicePtr> &devices)
{
    QStringList list;
    for (const auto &device : devices) {
        list.append(device->name());
    }
    return list;
}

// Today's file of the service's daily log.
QByteArray serviceLog()
{
    const QDir logs(QDir::homePath() + QStringLiteral("/Library/Logs/Marrowby"));
    QByteArray text;
    for (const QFileInfo &file : logs.entryInfoList({QStringLiteral("Parley*.log")}, QDir::Files)) {
        QFile log(file.filePath());
        if (log.open(QIODevice::ReadOnly)) {
            text += log.readAll();
        }
    }
    return text;
}

} // namespace

TEST_F(ParleyWorld, EveryClientGetsTheCatalogueOfDevicesHoldingApps)
{
    RecordingClient &first = newClient();
    const auto catalogue = requestCatalogue(first);
    ASSERT_FALSE(catalogue.isEmpty());
    for (const auto &device : catalogue) {
        EXPECT_FALSE(device->apps().isEmpty()) << device->name().toStdString();
    }
    // Devices without apps are read (and watched) but never pushed.
    EXPECT_FALSE(names(catalogue).contains(QStringLiteral("iPhone 5s")));
    EXPECT_TRUE(names(catalogue).contains(QStringLiteral("iPad Air")));
    const auto phone = deviceNamed(catalogue, QStringLiteral("iPhone 6"));
    ASSERT_TRUE(phone);
    EXPECT_TRUE(phone->booted());
    EXPECT_TRUE(appNamed(phone, QStringLiteral("Birdwatch")));

    // A second client's request pushes to both.
    RecordingClient &second = newClient();
    const qsizetype firstBefore = first.catalogues.size();
    const auto again = requestCatalogue(second);
    EXPECT_EQ(names(again), names(catalogue));
    EXPECT_TRUE(waitFor([&] { return first.catalogues.size() > firstBefore; }));
    EXPECT_EQ(first.catalogues.constLast(), second.catalogues.constLast());

    // The service's log counts its connections, and every line it wrote
    // names the service, whichever of its parts wrote it.
    EXPECT_TRUE(waitFor([&] { return serviceLog().contains("connections: 2"); }));
    for (const QByteArray &line : serviceLog().split('\n')) {
        if (!line.isEmpty()) {
            EXPECT_TRUE(line.contains(" [parley] ") || line.contains(" [marrowkit] ") ||
                        line.contains(" [marrowsim] "))
                << line.toStdString();
        }
    }
    EXPECT_TRUE(serviceLog().contains(" [parley] ")) << serviceLog().toStdString();
}

TEST_F(ParleyWorld, ABurstOfChangesGivesOneRescanAndAnInstallReachesEveryClient)
{
    RecordingClient &first = newClient();
    RecordingClient &second = newClient();
    const auto catalogue = requestCatalogue(first);
    requestCatalogue(second);
    const auto ipad = deviceNamed(catalogue, QStringLiteral("iPad Pro"));
    ASSERT_TRUE(ipad && ipad->applicationsURL());
    const qsizetype before = first.catalogues.size();

    // Three changes within 0.1 s: one rescan and one push, 0.2 s after the last.
    const QString applications = ipad->applicationsURL()->toLocalFile();
    QElapsedTimer burst;
    burst.start();
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(testsupport::writeFile(applications + QStringLiteral("/burst-%1").arg(i), "x"));
    }
    const bool quickBurst = burst.elapsed() < 100;
    ASSERT_TRUE(waitFor([&] { return first.catalogues.size() >= before + 1; }));
    QThread::msleep(800);
    QCoreApplication::processEvents();
    // On a machine so loaded that the writes themselves took longer than the
    // debounce, two rescans are right; the count is only checked otherwise.
    if (quickBurst) {
        EXPECT_EQ(first.catalogues.size(), before + 1) << "one push for the burst";
    }

    // An install through the developer tools reaches both clients.
    const QString bundle =
        writeApp(m_home->filePath(QStringLiteral("build")), QStringLiteral("Harbour"),
                 QStringLiteral("com.example.harbour"), QStringLiteral("3.0"));
    const qsizetype secondBefore = second.catalogues.size();
    const ToolRun install =
        run(QStringLiteral("xcrun"),
            {QStringLiteral("simctl"), QStringLiteral("install"), ipad->uuid(), bundle});
    ASSERT_EQ(install.status, 0) << install.err.toStdString();
    for (RecordingClient *client : {&first, &second}) {
        EXPECT_TRUE(waitFor([&] {
            return appNamed(deviceNamed(latestCatalogue(*client), QStringLiteral("iPad Pro")),
                            QStringLiteral("Harbour")) != nullptr;
        }));
    }
    EXPECT_GT(second.catalogues.size(), secondBefore);
}

TEST_F(ParleyWorld, BootAndShutdownFromTheToolsArriveAsUpdates)
{
    RecordingClient &client = newClient();
    const auto catalogue = requestCatalogue(client);
    const auto watch = deviceNamed(catalogue, QStringLiteral("Apple Watch - 42mm"));
    ASSERT_TRUE(watch);
    auto arrived = [&](SimulatorUpdateType type) {
        for (const QByteArray &archive : client.updates) {
            const auto update = SimulatorCoding::updateFromArchive(archive).value();
            if (update && update->type() == type && update->items().size() == 1 &&
                update->items().constFirst()->uuid() == watch->uuid()) {
                return true;
            }
        }
        return false;
    };
    ASSERT_EQ(run(QStringLiteral("xcrun"),
                  {QStringLiteral("simctl"), QStringLiteral("boot"), watch->uuid()})
                  .status,
              0);
    EXPECT_TRUE(waitFor([&] { return arrived(SimulatorUpdateType::DeviceBooted); }));
    ASSERT_EQ(run(QStringLiteral("xcrun"),
                  {QStringLiteral("simctl"), QStringLiteral("shutdown"), watch->uuid()})
                  .status,
              0);
    EXPECT_TRUE(waitFor([&] { return arrived(SimulatorUpdateType::DeviceShutdown); }));
}

TEST_F(ParleyWorld, ResetEmptiesTheThreeFoldersIntoTheTrashAndNotifies)
{
    RecordingClient &client = newClient();
    const auto phone = deviceNamed(requestCatalogue(client), QStringLiteral("iPhone 6"));
    const auto app = appNamed(phone, QStringLiteral("Field Notes"));
    ASSERT_TRUE(app && app->sandboxURL());
    const QString data = app->sandboxURL()->toLocalFile();
    for (const char *folder : {"Documents", "Library", "tmp"}) {
        ASSERT_TRUE(testsupport::writeFile(data + QLatin1Char('/') + QLatin1String(folder) +
                                               QStringLiteral("/note.txt"),
                                           "kept in the Trash"));
    }
    auto reply = client.inspector().resetAppWithUUID(app->uuid());
    reply.waitForFinished();
    ASSERT_FALSE(reply.isError());
    for (const char *folder : {"Documents", "Library", "tmp"}) {
        EXPECT_TRUE(QDir(data + QLatin1Char('/') + QLatin1String(folder)).isEmpty()) << folder;
    }
    EXPECT_FALSE(QDir(m_home->filePath(QStringLiteral(".local/share/Trash/files"))).isEmpty());
    EXPECT_TRUE(waitFor([&] {
        return hasNotification(
            QStringLiteral("Field Notes was resetted"),
            QStringLiteral("Contents of Documents, Library, and tmp were removed"));
    }));

    // Already empty: success again.
    m_notifications->notifications.clear();
    client.inspector().resetAppWithUUID(app->uuid()).waitForFinished();
    EXPECT_TRUE(waitFor([&] { return m_notifications->notifications.size() == 1; }));
    EXPECT_EQ(m_notifications->notifications.constFirst().first,
              QStringLiteral("Field Notes was resetted"));
}

TEST_F(ParleyWorld, UninstallNotifiesAndTheRescanDropsTheApp)
{
    RecordingClient &client = newClient();
    const auto phone = deviceNamed(requestCatalogue(client), QStringLiteral("iPhone 6"));
    const auto app = appNamed(phone, QStringLiteral("Metronome"));
    ASSERT_TRUE(app);
    client.inspector().uninstallAppWithUUID(app->uuid()).waitForFinished();
    EXPECT_TRUE(waitFor([&] {
        return hasNotification(QStringLiteral("Metronome"),
                               QStringLiteral("was uninstalled from iPhone 6"));
    }));
    EXPECT_TRUE(waitFor([&] {
        const auto device = deviceNamed(latestCatalogue(client), QStringLiteral("iPhone 6"));
        return device && !appNamed(device, QStringLiteral("Metronome"));
    }));
    EXPECT_FALSE(QFileInfo::exists(app->bundleURL()->toLocalFile()));
}

TEST_F(ParleyWorld, AppGroupQueriesAnswerArchivesOrNothing)
{
    RecordingClient &client = newClient();
    const auto phone = deviceNamed(requestCatalogue(client), QStringLiteral("iPhone 6"));
    const auto tides = appNamed(phone, QStringLiteral("Tide Tables"));
    const auto counter = appNamed(phone, QStringLiteral("Counter"));
    ASSERT_TRUE(tides && counter);

    auto decodeList = [](const QByteArray &archive) {
        return KeyedUnarchiver::unarchivedObject(archive,
                                                 {KeyedArchive::ArrayClass, KeyedArchive::URLClass})
            .value()
            .value_or(QVariant())
            .toList();
    };
    auto groups = client.inspector().urlsForAppGroupsOfAppWithUUIDcompletionHandler(tides->uuid());
    groups.waitForFinished();
    const QVariantList urls = decodeList(groups.value());
    ASSERT_EQ(urls.size(), 2);
    for (const QVariant &url : urls) {
        EXPECT_TRUE(QFileInfo(url.toUrl().toLocalFile()).isDir());
    }
    auto none = client.inspector().urlsForAppGroupsOfAppWithUUIDcompletionHandler(counter->uuid());
    none.waitForFinished();
    EXPECT_TRUE(decodeList(none.value()).isEmpty()) << "no groups: the archive of an empty list";
    EXPECT_FALSE(none.value().isEmpty());
    auto unknown =
        client.inspector().urlsForAppGroupsOfAppWithUUIDcompletionHandler(QStringLiteral("NOPE"));
    unknown.waitForFinished();
    EXPECT_TRUE(unknown.value().isEmpty()) << "an unknown app: nothing";

    auto one = client.inspector().urlForAppGroupofAppWithUUIDcompletionHandler(
        QStringLiteral("group.com.example.tides"), tides->uuid());
    one.waitForFinished();
    const auto url =
        KeyedUnarchiver::unarchivedObject(one.value(), {KeyedArchive::URLClass}).value();
    ASSERT_TRUE(url.has_value());
    EXPECT_EQ(url->toUrl(),
              tides->containerURLForAppGroup(QStringLiteral("group.com.example.tides")));
}

TEST_F(ParleyWorld, DirectoryWatchesPushThePathToEveryClient)
{
    RecordingClient &client = newClient();
    const QString watched = m_home->filePath(QStringLiteral("watched"));
    ASSERT_TRUE(QDir().mkpath(watched));
    client.inspector().addDirectoryObserverForPath(watched).waitForFinished();
    client.inspector().addDirectoryObserverForPath(watched).waitForFinished();
    // Ignored: relative, missing, not clean.
    client.inspector().addDirectoryObserverForPath(QStringLiteral("watched")).waitForFinished();
    client.inspector()
        .addDirectoryObserverForPath(watched + QStringLiteral("/../watched"))
        .waitForFinished();
    client.inspector()
        .stopObservingDirectoryAtPath(QStringLiteral("/never/added"))
        .waitForFinished();
    ASSERT_TRUE(testsupport::writeFile(watched + QStringLiteral("/new"), "x"));
    ASSERT_TRUE(waitFor([&] { return !client.directoryChanges.isEmpty(); }));
    const auto path = KeyedUnarchiver::unarchivedObject(client.directoryChanges.constFirst(),
                                                        {KeyedArchive::TextClass})
                          .value();
    ASSERT_TRUE(path.has_value());
    EXPECT_EQ(path->toString(), watched);

    client.inspector().stopObservingDirectoryAtPath(watched).waitForFinished();
    const qsizetype before = client.directoryChanges.size();
    ASSERT_TRUE(testsupport::writeFile(watched + QStringLiteral("/later"), "x"));
    QThread::msleep(300);
    QCoreApplication::processEvents();
    EXPECT_EQ(client.directoryChanges.size(), before);
}

TEST_F(ParleyWorld, StopReleasesTheNameSoTheNextRequestReachesAFreshProcess)
{
    RecordingClient &client = newClient();
    requestCatalogue(client);
    uint previous = servicePid();
    ASSERT_NE(previous, 0u);
    for (int cycle = 0; cycle < 200; ++cycle) {
        auto stopped = client.inspector().stop();
        stopped.waitForFinished();
        auto reply = client.inspector().requestSimulatorDevicesContainingAppsAtURL(anyURL);
        reply.waitForFinished();
        ASSERT_FALSE(reply.isError())
            << "cycle " << cycle << ": " << reply.error().message().toStdString();
        const uint pid = servicePid();
        ASSERT_NE(pid, 0u);
        ASSERT_NE(pid, previous) << "cycle " << cycle << " reached the stopped process";
        previous = pid;
        // The fresh process pushes its catalogue, and the client takes it in
        // from its event loop as a real client does: a client that never
        // answers the pushes stops getting replies after a couple of hundred.
        ASSERT_TRUE(waitFor([&] { return !client.catalogues.isEmpty(); })) << "cycle " << cycle;
        client.catalogues.clear();
    }
}

TEST_F(ParleyWorld, TheServiceFindsTheDeveloperToolsInTheApplicationAroundIt)
{
    // As a user's bus starts it: no folder of tools named, so the service,
    // a login item inside the application, uses the application's own.
    const QByteArray named = qgetenv("MARROWBY_DEVTOOLS_BIN");
    qunsetenv("MARROWBY_DEVTOOLS_BIN");
    auto bus = std::make_unique<testsupport::PrivateBus>();
    qputenv("MARROWBY_DEVTOOLS_BIN", named);
    ASSERT_TRUE(bus->isRunning());
    RecordingClient client(bus->connect(QStringLiteral("unnamed-tools-client")));
    client.inspector().requestSimulatorDevicesContainingAppsAtURL(anyURL).waitForFinished();
    ASSERT_TRUE(waitFor([&] { return !client.catalogues.isEmpty(); }));
    const auto devices = SimulatorCoding::devicesFromArchive(client.catalogues.constLast()).value();
    ASSERT_TRUE(devices.has_value());
    EXPECT_TRUE(deviceNamed(*devices, QStringLiteral("iPhone 6")));
}

TEST_F(ParleyWorld, TheServiceEndsWithItsSessionBus)
{
    RecordingClient &client = newClient();
    requestCatalogue(client);
    const uint pid = servicePid();
    ASSERT_NE(pid, 0u);
    m_bus->endDaemon();
    // Gone, or ended and waiting to be reaped by whoever adopted it.
    auto ended = [pid] {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly)) {
            return true;
        }
        const QByteArray line = stat.readAll();
        return line.mid(line.lastIndexOf(')') + 2).startsWith('Z');
    };
    const bool gone = waitFor(ended);
    if (!gone) {
        ::kill(pid_t(pid), SIGKILL);
    }
    EXPECT_TRUE(gone) << "the service outlived its bus";
}

TEST_F(ParleyWorld, AKilledServiceIsStartedAgainByTheNextRequest)
{
    RecordingClient &first = newClient();
    RecordingClient &second = newClient();
    requestCatalogue(first);
    requestCatalogue(second);
    const uint killed = servicePid();
    ASSERT_EQ(::kill(pid_t(killed), SIGKILL), 0);
    ASSERT_TRUE(waitFor([&] { return servicePid() != killed; }));
    const auto catalogue = requestCatalogue(second);
    EXPECT_FALSE(catalogue.isEmpty());
    EXPECT_NE(servicePid(), killed);
}

TEST_F(ParleyWorld, HostileCallsLeaveTheServiceUpAndTheWorldUnchanged)
{
    RecordingClient &client = newClient();
    requestCatalogue(client);
    const uint pid = servicePid();
    const auto worldBefore = snapshot(m_home->path() + QStringLiteral("/Library/Developer"));
    auto residentKB = [pid] {
        QFile status(QStringLiteral("/proc/%1/status").arg(pid));
        if (!status.open(QIODevice::ReadOnly)) {
            return qint64(-1);
        }
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmRSS:")) {
                return line.mid(6).trimmed().split(' ').constFirst().toLongLong();
            }
        }
        return qint64(-1);
    };
    const qint64 residentBefore = residentKB();

    QDBusConnection hostile = m_bus->connect(QStringLiteral("hostile"));
    QRandomGenerator random(20261207);
    const QStringList methods{QStringLiteral("launchAppWithUUID"),
                              QStringLiteral("resetAppWithUUID"),
                              QStringLiteral("uninstallAppWithUUID"),
                              QStringLiteral("deleteDevice"),
                              QStringLiteral("addPhotoforDevice"),
                              QStringLiteral("copyPathOfAppWithUUID"),
                              QStringLiteral("addDirectoryObserverForPath"),
                              QStringLiteral("noSuchMethod"),
                              QStringLiteral("urlForAppGroupofAppWithUUIDcompletionHandler"),
                              QStringLiteral("launchSimulatorForDevicehidden")};
    for (int i = 0; i < 10000; ++i) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            ParleyContract::serviceName(), ParleyContract::inspectorObjectPath(),
            ParleyContract::inspectorInterfaceName(), methods[random.bounded(methods.size())]);
        switch (random.bounded(5)) {
        case 0: // wrong types
            call << 42 << QByteArray(16, 'x');
            break;
        case 1: // huge texts
            call << QString(1 << 14, QLatin1Char('u')) << QString(1 << 14, QLatin1Char('v'));
            break;
        case 2: // paths and URLs that lead nowhere good
            call << QStringLiteral("../../etc") << QStringLiteral("file:///dev/zero");
            break;
        case 3: // nothing at all
            break;
        default: // unknown identifiers of the right form
            call << QStringLiteral("%1").arg(random.generate()) << true;
            break;
        }
        hostile.send(call);
    }
    // A well-formed client is answered afterwards, by the same process.
    const auto catalogue = requestCatalogue(client);
    EXPECT_FALSE(catalogue.isEmpty());
    EXPECT_EQ(servicePid(), pid);
    if (!testsupport::underAddressSanitizer()) {
        EXPECT_LT(residentKB() - residentBefore, 64 * 1024) << "memory grew by more than 64 MB";
    }
    EXPECT_TRUE(
        differences(worldBefore, snapshot(m_home->path() + QStringLiteral("/Library/Developer")))
            .isEmpty());
}
