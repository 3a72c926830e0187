// The extension program as a file-manager shim meets it: started by the bus
// on the first call, answering through the interface generated from the
// contract, silent while the plug-in registry has it disabled, ending the
// observations of a host that left, and leaving the bus when idle.
#include "lensworld.h"

#include "devtoolsworld.h"
#include "findersyncproxy.h"
#include "lenscontract.h"
#include "lenstypes.h"

#include "Marrowkit/Connection/parleyconnector.h"
#include "Marrowkit/Connection/parleycontract.h"

#include <QDBusPendingReply>
#include <QFile>
#include <QProcess>

using testsupport::waitFor;

namespace {

void setEnabled(bool enabled)
{
    const ToolRun run = devtoolsworld::run(
        QStringLiteral("pluginkit"),
        {QStringLiteral("-e"), enabled ? QStringLiteral("use") : QStringLiteral("ignore"),
         QStringLiteral("-i"), LensContract::extensionIdentifier()});
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
}

struct Menu
{
    bool hasMenu = false;
    QString title;
    LensMenuItemList items;
};

Menu menuOver(FinderSyncProxy &proxy, int kind, const QStringList &paths)
{
    QDBusPendingReply<bool, QString, LensMenuItemList> reply = proxy.menuForMenuKind(kind, paths);
    reply.waitForFinished();
    EXPECT_FALSE(reply.isError()) << reply.error().message().toStdString();
    if (reply.isError()) {
        return {};
    }
    return Menu{reply.argumentAt<0>(), reply.argumentAt<1>(), reply.argumentAt<2>()};
}

} // namespace

class LensProgram : public LensWorld
{
protected:
    void SetUp() override
    {
        registerLensTypes();
        // The program inherits the bus's environment: a short idle time.
        qputenv("MARROWLENS_IDLE_SECONDS", "2");
        LensWorld::SetUp();
        qunsetenv("MARROWLENS_IDLE_SECONDS");
    }

    std::unique_ptr<FinderSyncProxy> proxyOn(const QString &connectionName)
    {
        auto proxy = std::make_unique<FinderSyncProxy>(LensContract::serviceName(),
                                                       LensContract::objectPath(),
                                                       m_bus->connect(connectionName));
        proxy->setTimeout(20000);
        return proxy;
    }
};

TEST_F(LensProgram, StartedByTheBusItAnswersAsTheContractSays)
{
    setEnabled(true);
    auto host = proxyOn(QStringLiteral("host"));
    QList<std::pair<QString, QString>> badgeChanges;
    QObject::connect(host.get(), &FinderSyncProxy::badgeIdentifierChanged,
                     [&](const QString &path, const QString &identifier) {
                         badgeChanges.append({path, identifier});
                     });
    QStringList fileSystemChanges;
    QObject::connect(host.get(), &FinderSyncProxy::fileSystemChanged,
                     [&](const QString &path) { fileSystemChanges.append(path); });
    FilesChangedRecorder dolphin;
    ASSERT_TRUE(m_bus->connect(QStringLiteral("host"))
                    .connect(QString(), QStringLiteral("/"), QStringLiteral("org.kde.KDirNotify"),
                             QStringLiteral("FilesChanged"), &dolphin,
                             SLOT(filesChanged(QStringList))));

    const QDBusPendingReply<LensBadgeList> badges = host->badges();
    const_cast<QDBusPendingReply<LensBadgeList> &>(badges).waitForFinished();
    ASSERT_FALSE(badges.isError()) << badges.error().message().toStdString();
    EXPECT_NE(m_bus->ownerProcess(LensContract::serviceName()), 0u);
    ASSERT_EQ(badges.value().size(), 1);
    EXPECT_EQ(badges.value().constFirst().identifier, QStringLiteral("Booted"));
    const QString volume = volumePath();
    EXPECT_EQ(host->directoryPaths(), QStringList{volume})
        << "the volume's place follows the program's HOME";

    host->beginObservingDirectory(volume);
    ASSERT_TRUE(waitFor([&] { return !fileSystemChanges.isEmpty(); }))
        << "a window beginning to show a folder is told to read it";
    EXPECT_EQ(fileSystemChanges.constFirst(), volume);
    EXPECT_TRUE(waitFor([&] { return !dolphin.received.isEmpty(); }));
    EXPECT_EQ(dolphin.received.value(0), QStringList{QUrl::fromLocalFile(volume).toString()})
        << "file managers listening for KDirNotify hear it too";

    // The program's connector needs a moment for the catalogue: the answer
    // comes as a signal when it is there.
    makeFinderSync(); // only to learn the folder names from a connector of our own
    ASSERT_TRUE(observeRoot());
    const QString booted = volumePath(nameOfBootedDevice());
    host->requestBadgeIdentifier(booted);
    ASSERT_TRUE(
        waitFor([&] { return badgeChanges.contains(std::pair(booted, QStringLiteral("Booted"))); },
                std::chrono::seconds(20)));

    EXPECT_FALSE(menuOver(*host, 0, {volumePath(QStringLiteral("Readme.txt"))}).hasMenu);
    const Menu device = menuOver(*host, 0, {booted});
    ASSERT_TRUE(device.hasMenu);
    ASSERT_EQ(device.items.size(), 4);
    EXPECT_EQ(device.items.at(0).action, QStringLiteral("revealDeviceInFinder:"));
    EXPECT_FALSE(device.items.at(1).enabled);
    EXPECT_TRUE(device.items.at(0).iconPath.endsWith(QStringLiteral("AppIcon.png")));

    QStringList many(300, booted);
    many.prepend(QStringLiteral("/etc/passwd"));
    EXPECT_FALSE(menuOver(*host, 0, many).hasMenu) << "the first item decides";
    many.removeFirst();
    EXPECT_EQ(menuOver(*host, 0, many).items.size(), 1);
    host->performAction(QStringLiteral("noSuchAction:"), {booted});
    EXPECT_TRUE(menuOver(*host, 2, {booted}).hasMenu) << "still serving after nonsense";
}

TEST_F(LensProgram, ADisabledExtensionShowsNothing)
{
    setEnabled(false);
    auto host = proxyOn(QStringLiteral("host"));
    int badgeChanges = 0;
    QObject::connect(host.get(), &FinderSyncProxy::badgeIdentifierChanged,
                     [&badgeChanges] { ++badgeChanges; });
    host->beginObservingDirectory(volumePath());
    EXPECT_TRUE(host->directoryPaths().isEmpty());
    const QDBusPendingReply<LensBadgeList> badges = host->badges();
    const_cast<QDBusPendingReply<LensBadgeList> &>(badges).waitForFinished();
    EXPECT_TRUE(badges.value().isEmpty());
    makeFinderSync();
    ASSERT_TRUE(observeRoot());
    host->requestBadgeIdentifier(volumePath(nameOfBootedDevice()));
    EXPECT_FALSE(menuOver(*host, 0, {volumePath(nameOfBootedDevice())}).hasMenu);
    EXPECT_FALSE(menuOver(*host, 2, {volumePath(nameOfBootedDevice())}).hasMenu);
    EXPECT_EQ(badgeChanges, 0);

    // Enabled again: the next window finds it working.
    setEnabled(true);
    host->beginObservingDirectory(volumePath());
    EXPECT_EQ(host->directoryPaths(), QStringList{volumePath()});
    EXPECT_TRUE(
        waitFor([&] { return menuOver(*host, 0, {volumePath(nameOfBootedDevice())}).hasMenu; },
                std::chrono::seconds(20)));
}

TEST_F(LensProgram, IdleItLeavesTheBusAndTheNextCallStartsItAgain)
{
    setEnabled(true);
    auto host = proxyOn(QStringLiteral("host"));
    EXPECT_EQ(host->directoryPaths().size(), 1);
    const uint first = m_bus->ownerProcess(LensContract::serviceName());
    ASSERT_NE(first, 0u);
    host->beginObservingDirectory(volumePath());
    EXPECT_EQ(host->directoryPaths().size(), 1);
    // Observing, it stays past its idle time.
    EXPECT_FALSE(waitFor([&] { return m_bus->ownerProcess(LensContract::serviceName()) == 0; },
                         std::chrono::seconds(3)));

    host->endObservingDirectory(volumePath());
    ASSERT_TRUE(waitFor([&] { return m_bus->ownerProcess(LensContract::serviceName()) == 0; },
                        std::chrono::seconds(15)));
    EXPECT_EQ(host->directoryPaths().size(), 1) << "the bus started it again";
    const uint second = m_bus->ownerProcess(LensContract::serviceName());
    EXPECT_NE(second, 0u);
    EXPECT_NE(second, first);
}

TEST_F(LensProgram, AHostThatLeavesTheBusEndsItsObservations)
{
    setEnabled(true);
    {
        auto leaving = proxyOn(QStringLiteral("leaving"));
        leaving->beginObservingDirectory(volumePath());
        EXPECT_EQ(leaving->directoryPaths().size(), 1);
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("leaving"));
    const uint pid = m_bus->ownerProcess(LensContract::serviceName());
    ASSERT_NE(pid, 0u);
    // Nothing is observed any more, so the idle program leaves.
    EXPECT_TRUE(waitFor([&] { return m_bus->ownerProcess(LensContract::serviceName()) == 0; },
                        std::chrono::seconds(15)));
}

TEST_F(LensProgram, DolphinsDirectoryListersBeginAndEndObservations)
{
    setEnabled(true);
    auto host = proxyOn(QStringLiteral("host"));
    EXPECT_EQ(host->directoryPaths().size(), 1) << "the program runs";
    QDBusConnection dolphin = m_bus->connect(QStringLiteral("dolphin"));
    FilesChangedRecorder heard;
    ASSERT_TRUE(
        dolphin.connect(QString(), QStringLiteral("/"), QStringLiteral("org.kde.KDirNotify"),
                        QStringLiteral("FilesChanged"), &heard, SLOT(filesChanged(QStringList))));
    const auto announce = [&](const QString &signal, const QString &url) {
        QDBusMessage message = QDBusMessage::createSignal(
            QStringLiteral("/"), QStringLiteral("org.kde.KDirNotify"), signal);
        message << url;
        ASSERT_TRUE(dolphin.send(message));
    };
    announce(QStringLiteral("enteredDirectory"), QStringLiteral("file:///etc"));
    announce(QStringLiteral("enteredDirectory"), QStringLiteral("trash:/"));
    const QString volumeUrl = QUrl::fromLocalFile(volumePath()).toString();
    announce(QStringLiteral("enteredDirectory"), volumeUrl + QLatin1Char('/'));
    ASSERT_TRUE(waitFor([&] { return !heard.received.isEmpty(); }))
        << "entering the volume is a beginning: the window is told to read it";
    EXPECT_EQ(heard.received.constFirst(), QStringList{volumeUrl});
    EXPECT_FALSE(waitFor([&] { return m_bus->ownerProcess(LensContract::serviceName()) == 0; },
                         std::chrono::seconds(3)))
        << "observing, it stays past its idle time";

    announce(QStringLiteral("leftDirectory"), volumeUrl);
    EXPECT_TRUE(waitFor([&] { return m_bus->ownerProcess(LensContract::serviceName()) == 0; },
                        std::chrono::seconds(15)));
}

TEST_F(LensProgram, ItsOwnActivationFileLetsASessionBusStartIt)
{
    const QString program =
        testsupport::bundlePath() +
        QStringLiteral("/Contents/PlugIns/Marrowlens.appex/Contents/MacOS/Marrowlens");
    ASSERT_EQ(QProcess::execute(program, {QStringLiteral("--install-activation")}), 0);
    const QString services = m_home->filePath(QStringLiteral(".local/share/dbus-1/services"));
    QFile file(services + QStringLiteral("/dev.marrowby.marrowby.Marrowlens.service"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(
        text.section(QStringLiteral("Exec="), 1).section(QLatin1Char('\n'), 0, 0).contains(program))
        << text.toStdString();
    file.close();

    setEnabled(true);
    testsupport::PrivateBus session({services});
    ASSERT_TRUE(session.isRunning());
    FinderSyncProxy host(LensContract::serviceName(), LensContract::objectPath(),
                         session.connect(QStringLiteral("session-host")));
    EXPECT_EQ(host.directoryPaths(), QStringList{volumePath()});

    ASSERT_EQ(QProcess::execute(program, {QStringLiteral("--remove-activation")}), 0);
    EXPECT_FALSE(file.exists());
    EXPECT_EQ(QProcess::execute(program, {QStringLiteral("--remove-activation")}), 0)
        << "nothing to remove is no failure";
}

TEST_F(LensProgram, TwoHostsOnOneFolderAreOneObservationThatEndsWithTheLast)
{
    setEnabled(true);
    auto nautilus = proxyOn(QStringLiteral("nautilus"));
    auto other = proxyOn(QStringLiteral("other"));
    nautilus->beginObservingDirectory(volumePath());
    other->beginObservingDirectory(volumePath());
    other->beginObservingDirectory(volumePath());
    EXPECT_EQ(other->directoryPaths().size(), 1) << "both beginnings were heard";
    const uint pid = m_bus->ownerProcess(LensContract::serviceName());
    ASSERT_NE(pid, 0u);

    nautilus->endObservingDirectory(volumePath());
    nautilus->endObservingDirectory(volumePath()); // one end too many: ignored
    other->endObservingDirectory(volumePath());
    EXPECT_FALSE(waitFor([&] { return m_bus->ownerProcess(LensContract::serviceName()) != pid; },
                         std::chrono::seconds(3)))
        << "the other host's second window still shows the folder";
    other->endObservingDirectory(volumePath());
    EXPECT_TRUE(waitFor([&] { return m_bus->ownerProcess(LensContract::serviceName()) == 0; },
                        std::chrono::seconds(15)));
}
