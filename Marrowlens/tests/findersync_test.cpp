// The extension against the real service on a private bus, in the stand-in's
// sample world: which menus the file manager gets for which selection, the
// "Booted" badge following the devices, observation starting and ending the
// connector, and the real folders watched behind the windows.
#include "lensworld.h"

#include "devtoolsworld.h"

#include "Marrowkit/Connection/parleyconnector.h"
#include "Marrowkit/model/appcontents.h"

#include <QDir>

using testsupport::waitFor;

namespace {

const QString Reveal = QStringLiteral("Reveal in file viewer");

// An app of a device found by what it has, with its folder name.
std::optional<std::pair<SimulatorAppPtr, QString>>
appWhere(const ParleyConnector &connector, const SimulatorDevicePtr &device,
         const std::function<bool(const SimulatorApp &)> &wanted)
{
    for (const auto &[app, name] : connector.appNameMapForDevice(*device)) {
        if (wanted(*app)) {
            return std::pair(app, name);
        }
    }
    return std::nullopt;
}

qsizetype groupCount(const SimulatorApp &app)
{
    return app.appGroups().value_or(QStringList()).size();
}

} // namespace

TEST_F(LensWorld, TheHostHearsOfTheVolumeAndTheBadgeAtConstruction)
{
    makeFinderSync();
    EXPECT_EQ(m_host->directoryPaths(), QStringList{volumePath()});
    ASSERT_EQ(m_host->badges().size(), 1);
    const LensBadge badge = m_host->badges().constFirst();
    EXPECT_EQ(badge.identifier, QStringLiteral("Booted"));
    EXPECT_EQ(badge.label, QStringLiteral("Booted"));
    EXPECT_TRUE(badge.imagePath.endsWith(QStringLiteral("/Contents/Resources/green.png")));
    EXPECT_TRUE(QImage(badge.imagePath).width() > 0) << "the badge image is drawn at build time";
    EXPECT_EQ(m_finderSync->parleyConnector(), nullptr) << "idle until a window shows the volume";
    EXPECT_FALSE(m_finderSync->menuForMenuKind(0)) << "no connector, no menu";
}

TEST_F(LensWorld, TheVolumeRootsFilesAndOtherMenuKindsGiveNoMenu)
{
    makeFinderSync();
    ASSERT_TRUE(observeRoot());
    EXPECT_FALSE(menuFor({QStringLiteral("Readme.txt")}));
    EXPECT_FALSE(menuFor({QStringLiteral(".VolumeIcon.icns")}));
    EXPECT_FALSE(menuFor({QString()})) << "the volume root itself";
    EXPECT_FALSE(menuFor({nameOfShutDownDevice()}, 1));
    const auto sidebar = menuFor({nameOfShutDownDevice()}, 2);
    ASSERT_TRUE(sidebar);
    EXPECT_EQ(sidebar->title, QStringLiteral("Marrowby"));
    EXPECT_TRUE(sidebar->items.isEmpty());
}

TEST_F(LensWorld, ADeviceFolderOffersEveryDeviceActionButTwoOfThemOnlyTheReveal)
{
    makeFinderSync();
    ASSERT_TRUE(observeRoot());
    const QString name = nameOfShutDownDevice();
    ASSERT_FALSE(name.isEmpty());
    const auto single = menuFor({name});
    ASSERT_TRUE(single);
    EXPECT_TRUE(single->title.isEmpty());
    EXPECT_EQ(titles(*single),
              (QStringList{Reveal, QStringLiteral("Launch \u201D%1\u201D Simulator").arg(name),
                           QStringLiteral("Add photos to \u201D%1\u201D").arg(name),
                           QStringLiteral("Reset Content and Settings")}));
    EXPECT_EQ(
        actions(*single),
        (QStringList{QStringLiteral("revealDeviceInFinder:"), QStringLiteral("launchSimulator:"),
                     QStringLiteral("addPhotos:"), QStringLiteral("resetContentAndSettings:")}));
    for (const auto &item : single->items) {
        EXPECT_TRUE(item.imagePath.endsWith(QStringLiteral("/AppIcon.png")));
        EXPECT_TRUE(QFileInfo(item.imagePath).isFile());
    }

    const auto two = menuFor({name, nameOfBootedDevice()});
    ASSERT_TRUE(two);
    EXPECT_EQ(titles(*two), QStringList{Reveal});
    EXPECT_EQ(actions(*two), QStringList{QStringLiteral("revealDeviceInFinder:")});
}

TEST_F(LensWorld, ABootedDeviceIsRunningAndBadgedUntilItShutsDown)
{
    makeFinderSync();
    ASSERT_TRUE(observeRoot());
    const QString booted = nameOfBootedDevice();
    const QString shutDown = nameOfShutDownDevice();
    ASSERT_FALSE(booted.isEmpty());
    m_finderSync->requestBadgeIdentifierForURL(QUrl::fromLocalFile(volumePath(booted)));
    m_finderSync->requestBadgeIdentifierForURL(QUrl::fromLocalFile(volumePath(shutDown)));
    EXPECT_EQ(lastBadge(volumePath(booted)), QStringLiteral("Booted"));
    EXPECT_EQ(lastBadge(volumePath(shutDown)), QString());
    EXPECT_EQ(m_finderSync->bagdedDevices().size(), 2);

    const auto menu = menuFor({booted});
    ASSERT_TRUE(menu);
    ASSERT_GE(menu->items.size(), 2);
    EXPECT_EQ(menu->items.at(1).title,
              QStringLiteral("\u201D%1\u201D is currently running").arg(booted));
    EXPECT_FALSE(menu->items.at(1).enabled);
    EXPECT_EQ(menu->items.at(1).action, QStringLiteral("deviceIsRunning"))
        << "named, so that hosts keep it; choosing it does nothing";
    const auto revealedBefore = m_revealer.revealed.size();
    EXPECT_TRUE(m_finderSync->performAction(menu->items.at(1).action));
    EXPECT_EQ(m_revealer.revealed.size(), revealedBefore);
    EXPECT_FALSE(actions(*menu).contains(QStringLiteral("launchSimulator:")));

    // Shut down through the developer tools, as a user in a terminal would.
    const SimulatorDevicePtr device = deviceNamed(booted);
    ASSERT_TRUE(device);
    const ToolRun shutdown =
        devtoolsworld::run(QStringLiteral("xcrun"),
                           {QStringLiteral("simctl"), QStringLiteral("shutdown"), device->uuid()});
    ASSERT_EQ(shutdown.status, 0) << shutdown.err.toStdString();
    EXPECT_TRUE(waitFor([&] { return lastBadge(volumePath(booted)) == QString(); },
                        std::chrono::seconds(20)))
        << "the badge goes when the service reports the shutdown";
    const auto after = menuFor({booted});
    ASSERT_TRUE(after);
    EXPECT_TRUE(actions(*after).contains(QStringLiteral("launchSimulator:")));
}

TEST_F(LensWorld, OnlyDeviceFoldersDirectlyInTheVolumeAreBadged)
{
    makeFinderSync();
    ASSERT_TRUE(observeRoot());
    const QString booted = nameOfBootedDevice();
    const qsizetype before = m_record.badges.size();
    for (const QString &relative :
         {QStringLiteral("Readme.txt"), QStringLiteral(".VolumeIcon.icns"),
          QStringLiteral("No Such Device"), booted + QStringLiteral("/system.log")}) {
        m_finderSync->requestBadgeIdentifierForURL(QUrl::fromLocalFile(volumePath(relative)));
    }
    m_finderSync->requestBadgeIdentifierForURL(QUrl::fromLocalFile(QStringLiteral("/") + booted));
    m_finderSync->requestBadgeIdentifierForURL(QUrl(QStringLiteral("https://example.com/x")));
    EXPECT_EQ(m_record.badges.size(), before);
    EXPECT_FALSE(m_finderSync->bagdedDevices().contains(QStringLiteral("Readme.txt")));
}

TEST_F(LensWorld, AnAppMenuOffersTheGroupsItemOnlyForAnAppWithGroups)
{
    makeFinderSync();
    ASSERT_TRUE(observeRoot());
    const ParleyConnector &connector = *m_finderSync->parleyConnector();
    std::optional<std::pair<SimulatorAppPtr, QString>> plain, grouped;
    QString plainDevice, groupedDevice;
    for (const auto &device : *connector.devices()) {
        const QString deviceFolder = connector.deviceNameMap()->value(device->uuid());
        if (!plain) {
            plain =
                appWhere(connector, device, [](const auto &app) { return groupCount(app) == 0; });
            plainDevice = deviceFolder;
        }
        if (!grouped) {
            grouped =
                appWhere(connector, device, [](const auto &app) { return groupCount(app) > 0; });
            groupedDevice = deviceFolder;
        }
    }
    ASSERT_TRUE(plain && grouped);

    const auto plainMenu = menuFor({plainDevice + QLatin1Char('/') + plain->second});
    ASSERT_TRUE(plainMenu);
    EXPECT_EQ(titles(*plainMenu),
              (QStringList{Reveal,
                           QStringLiteral("Launch \u201D%1\u201D in Simulator").arg(plain->second),
                           QStringLiteral("Reset Data"),
                           QStringLiteral("Uninstall \u201D%1\u201D").arg(plain->second)}));
    const auto groupedMenu = menuFor({groupedDevice + QLatin1Char('/') + grouped->second});
    ASSERT_TRUE(groupedMenu);
    EXPECT_EQ(actions(*groupedMenu),
              (QStringList{QStringLiteral("revealAppInFinder:"),
                           QStringLiteral("launchInSimulator:"), QStringLiteral("revealAppGroups:"),
                           QStringLiteral("resetAppData:"), QStringLiteral("uninstall:")}));
    EXPECT_EQ(groupedMenu->items.at(2).title,
              QStringLiteral("Reveal App Groups of \u201D%1\u201D").arg(grouped->second));

    const auto twoApps = menuFor({groupedDevice + QLatin1Char('/') + grouped->second,
                                  plainDevice + QLatin1Char('/') + plain->second});
    ASSERT_TRUE(twoApps);
    EXPECT_EQ(actions(*twoApps), QStringList{QStringLiteral("revealAppInFinder:")});
    const auto inside = menuFor({groupedDevice + QLatin1Char('/') + grouped->second +
                                 QStringLiteral("/Sandbox/Documents")});
    ASSERT_TRUE(inside);
    EXPECT_EQ(actions(*inside), QStringList{QStringLiteral("revealInFinder:")});

    // The groups are revealed where the service says they are.
    select({groupedDevice + QLatin1Char('/') + grouped->second});
    ASSERT_TRUE(m_finderSync->performAction(QStringLiteral("revealAppGroups:")));
    ASSERT_TRUE(waitFor([&] { return !m_revealer.revealed.isEmpty(); }));
    const QList<QUrl> groups = m_revealer.revealed.constLast();
    EXPECT_EQ(groups.size(), groupCount(*grouped->first));
    for (const QUrl &url : groups) {
        EXPECT_TRUE(QFileInfo(url.toLocalFile()).isDir()) << url.toString().toStdString();
    }
}

TEST_F(LensWorld, RevealActionsShowTheRealFoldersBehindTheSelection)
{
    makeFinderSync();
    ASSERT_TRUE(observeRoot());
    const QString deviceFolder = nameOfShutDownDevice();
    const SimulatorDevicePtr device = deviceNamed(deviceFolder);
    const ParleyConnector &connector = *m_finderSync->parleyConnector();
    const auto [app, appFolder] = connector.appNameMapForDevice(*device).constFirst();

    select({deviceFolder});
    m_finderSync->performAction(QStringLiteral("revealDeviceInFinder:"));
    select({deviceFolder + QLatin1Char('/') + appFolder});
    m_finderSync->performAction(QStringLiteral("revealAppInFinder:"));
    select({deviceFolder + QLatin1Char('/') + appFolder + QStringLiteral("/Sandbox/Documents")});
    m_finderSync->performAction(QStringLiteral("revealInFinder:"));
    ASSERT_EQ(m_revealer.revealed.size(), 3);
    EXPECT_EQ(m_revealer.revealed.at(0), QList<QUrl>{*device->containerURL()});
    EXPECT_EQ(m_revealer.revealed.at(1), QList<QUrl>{*app->sandboxURL()});
    EXPECT_EQ(m_revealer.revealed.at(2).constFirst().toLocalFile(),
              app->sandboxURL()->toLocalFile() + QStringLiteral("/Documents"));

    EXPECT_FALSE(m_finderSync->performAction(QStringLiteral("deleteEverything:")));
    select({QStringLiteral("No Such Device")});
    m_finderSync->performAction(QStringLiteral("revealDeviceInFinder:"));
    m_finderSync->performAction(QStringLiteral("resetContentAndSettings:"));
    EXPECT_EQ(m_revealer.revealed.size(), 3) << "an unknown folder does nothing";
}

TEST_F(LensWorld, PathsOutsideTheVolumeAndHugeSelectionsGiveNoMenuOrTheShortOne)
{
    makeFinderSync();
    m_finderSync->beginObservingDirectoryAtURL(QUrl::fromLocalFile(QStringLiteral("/etc")));
    EXPECT_EQ(m_finderSync->parleyConnector(), nullptr) << "only the volume is observed";
    ASSERT_TRUE(observeRoot());
    for (const QString &outside :
         {QStringLiteral("/etc/passwd"), volumePath() + QStringLiteral("Other/x"),
          volumePath(QStringLiteral("../Marrowby/x")), QStringLiteral("relative/path")}) {
        m_host->setSelectedPaths({outside});
        EXPECT_FALSE(m_finderSync->menuForMenuKind(0)) << outside.toStdString();
    }
    m_host->setSelectedPaths({});
    EXPECT_FALSE(m_finderSync->menuForMenuKind(0));

    QStringList many;
    for (int i = 0; i < 500; ++i) {
        many.append(i % 2 ? nameOfBootedDevice() : QStringLiteral("Gone %1").arg(i));
    }
    many.prepend(nameOfShutDownDevice());
    const auto menu = menuFor(many);
    ASSERT_TRUE(menu);
    EXPECT_EQ(titles(*menu), QStringList{Reveal});
}

TEST_F(LensWorld, TheLastEndDropsTheConnectorAndANewBeginMakesANewOne)
{
    makeFinderSync();
    ASSERT_TRUE(observeRoot());
    const QString booted = nameOfBootedDevice();
    const QUrl root = QUrl::fromLocalFile(volumePath());
    const QUrl device = QUrl::fromLocalFile(volumePath(booted));
    m_finderSync->beginObservingDirectoryAtURL(device);
    m_finderSync->requestBadgeIdentifierForURL(device);
    ParleyConnector *first = m_finderSync->parleyConnector();
    const QString firstBusName = first->busName();
    EXPECT_FALSE(firstBusName.isEmpty());

    m_finderSync->endObservingDirectoryAtURL(root);
    EXPECT_EQ(m_finderSync->parleyConnector(), first) << "a window still shows the device";
    m_finderSync->endObservingDirectoryAtURL(device);
    EXPECT_EQ(m_finderSync->parleyConnector(), nullptr);
    EXPECT_TRUE(m_finderSync->bagdedDevices().isEmpty());
    EXPECT_TRUE(m_finderSync->observedPaths().isEmpty());
    select({booted});
    EXPECT_FALSE(m_finderSync->menuForMenuKind(0)) << "idle: no menus";

    ASSERT_TRUE(observeRoot());
    ASSERT_NE(m_finderSync->parleyConnector(), nullptr);
    EXPECT_NE(m_finderSync->parleyConnector()->busName(), firstBusName)
        << "a connector of its own, on a connection of its own";
    EXPECT_TRUE(menuFor({booted}));
}

TEST_F(LensWorld, AWindowOnAnAppsDataRefreshesWhenTheRealFolderChanges)
{
    makeFinderSync();
    ASSERT_TRUE(observeRoot());
    const ParleyConnector &connector = *m_finderSync->parleyConnector();
    std::optional<std::pair<SimulatorAppPtr, QString>> grouped;
    QString deviceFolder;
    for (const auto &device : *connector.devices()) {
        if (!grouped) {
            grouped =
                appWhere(connector, device, [](const auto &app) { return groupCount(app) == 1; });
            deviceFolder = connector.deviceNameMap()->value(device->uuid());
        }
    }
    ASSERT_TRUE(grouped) << "the sample world has an app with one group";
    const QString appFolder = deviceFolder + QLatin1Char('/') + grouped->second;
    const QString documents = appFolder + QStringLiteral("/Sandbox/Documents");
    const QString group = appFolder + QStringLiteral("/App Group");
    const QString realDocuments =
        grouped->first->sandboxURL()->toLocalFile() + QStringLiteral("/Documents");

    m_finderSync->beginObservingDirectoryAtURL(QUrl::fromLocalFile(volumePath(documents)));
    m_finderSync->beginObservingDirectoryAtURL(QUrl::fromLocalFile(volumePath(group)));
    EXPECT_TRUE(m_finderSync->directoryObservers().contains(realDocuments));
    ASSERT_TRUE(waitFor([&] { return m_finderSync->directoryObservers().size() == 2; }))
        << "the group's folder comes from the service";
    m_finderSync->beginObservingDirectoryAtURL(QUrl::fromLocalFile(volumePath(appFolder)));
    EXPECT_EQ(m_finderSync->directoryObservers().size(), 2) << "an app folder has no real folder";

    m_record.changedPaths.clear();
    ASSERT_TRUE(testsupport::writeFile(realDocuments + QStringLiteral("/new.txt"), "new"));
    EXPECT_TRUE(waitFor([&] { return m_record.changedPaths.contains(volumePath(documents)); }))
        << "the service saw the change and the window was told";

    m_finderSync->endObservingDirectoryAtURL(QUrl::fromLocalFile(volumePath(documents)));
    EXPECT_FALSE(m_finderSync->directoryObservers().contains(realDocuments));
    m_record.changedPaths.clear();
    ASSERT_TRUE(testsupport::writeFile(realDocuments + QStringLiteral("/later.txt"), "later"));
    // The group folder is still watched: a change there proves the service
    // is still delivering, and the ended one must stay quiet.
    const QString groupContainer =
        grouped->first->containerURLForAppGroup(grouped->first->appGroups()->first())
            ->toLocalFile();
    ASSERT_TRUE(testsupport::writeFile(groupContainer + QStringLiteral("/marker.txt"), "m"));
    ASSERT_TRUE(waitFor([&] { return m_record.changedPaths.contains(volumePath(group)); }));
    EXPECT_FALSE(m_record.changedPaths.contains(volumePath(documents)));
}

TEST_F(LensWorld, ABadgeAskedForBeforeTheCatalogueArrivesComesWithIt)
{
    makeFinderSync();
    ASSERT_TRUE(observeRoot());
    const QString booted = volumePath(nameOfBootedDevice());
    m_finderSync->endObservingDirectoryAtURL(QUrl::fromLocalFile(volumePath()));
    ASSERT_EQ(m_finderSync->parleyConnector(), nullptr);

    m_record.badges.clear();
    m_finderSync->beginObservingDirectoryAtURL(QUrl::fromLocalFile(volumePath()));
    ASSERT_FALSE(m_finderSync->parleyConnector()->devices()) << "a new connector knows nothing yet";
    m_finderSync->requestBadgeIdentifierForURL(QUrl::fromLocalFile(booted));
    EXPECT_TRUE(m_record.badges.isEmpty());
    EXPECT_TRUE(waitFor([&] { return lastBadge(booted) == QStringLiteral("Booted"); },
                        std::chrono::seconds(20)));
}
