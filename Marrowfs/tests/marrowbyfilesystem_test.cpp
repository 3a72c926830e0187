// The volume's tree against a scanned stand-in world: names, listings, the
// readme, resolution into real folders (and refusal of everything that would
// lead elsewhere), and deferred removals carried out by the real tools.
#include "marrowbyfilesystem.h"
#include "marrowfsworld.h"

#include "devtoolsworld.h"

#include "Marrowkit/model/appcontents.h"

#include <QDir>
#include <QFileInfo>

using testsupport::waitFor;

namespace {

class FileSystemTree : public MarrowfsWorld
{
protected:
    void SetUp() override
    {
        MarrowfsWorld::SetUp();
        m_fs = std::make_unique<MarrowbyFileSystem>(m_catalogue, m_actions,
                                                    QDir::homePath() + QStringLiteral("/Volumes"));
    }
    void TearDown() override
    {
        m_fs.reset();
        MarrowfsWorld::TearDown();
    }

    std::unique_ptr<MarrowbyFileSystem> m_fs;
};

bool hasApp(const QList<SimulatorDevicePtr> &devices, const QString &uuid,
            const QString &identifier)
{
    for (const auto &device : devices) {
        if (device->uuid() != uuid) {
            continue;
        }
        for (const auto &app : device->apps()) {
            if (app->bundleIdentifier() == identifier) {
                return true;
            }
        }
    }
    return false;
}

bool hasDevice(const QList<SimulatorDevicePtr> &devices, const QString &uuid)
{
    return std::any_of(devices.begin(), devices.end(),
                       [&](const auto &device) { return device->uuid() == uuid; });
}

} // namespace

TEST_F(FileSystemTree, RootListsEveryDeviceWithAppsAndEachDeviceItsAppsAndLog)
{
    const auto snapshot = m_catalogue.snapshot();
    QStringList expectedRoot;
    for (const auto &entry : snapshot->deviceNames) {
        expectedRoot.append(entry.second);
    }
    const auto withApps =
        std::count_if(snapshot->devices->begin(), snapshot->devices->end(),
                      [](const auto &device) { return !device->apps().isEmpty(); });
    EXPECT_EQ(expectedRoot.size(), withApps);
    ASSERT_FALSE(expectedRoot.isEmpty());
    EXPECT_EQ(m_fs->contentsOfDirectory(QStringLiteral("/")), expectedRoot);
    EXPECT_EQ(QSet<QString>(expectedRoot.begin(), expectedRoot.end()).size(), expectedRoot.size());

    for (const auto &[device, name] : snapshot->deviceNames) {
        QStringList apps = m_fs->contentsOfDirectory(QLatin1Char('/') + name);
        ASSERT_FALSE(apps.isEmpty());
        EXPECT_EQ(apps.takeLast(), QStringLiteral("system.log"));
        EXPECT_EQ(apps.size(), device->apps().size()) << name.toStdString();
        EXPECT_EQ(QSet<QString>(apps.begin(), apps.end()).size(), apps.size())
            << "app folder names collide on " << name.toStdString();
    }
    EXPECT_TRUE(m_fs->contentsOfDirectory(QStringLiteral("/No Such Device")).isEmpty());
    EXPECT_EQ(m_fs->resolve(QStringLiteral("/No Such Device")).kind, VirtualNode::Kind::Absent);
}

TEST_F(FileSystemTree, AppFoldersShowTheirEntryPointsByNumberOfGroups)
{
    const QString birdwatch = appFolderPath(QStringLiteral("Birdwatch"));
    const QString tides = appFolderPath(QStringLiteral("Tide Tables"));
    const QString metronome = appFolderPath(QStringLiteral("Metronome"));
    ASSERT_FALSE(birdwatch.isEmpty());
    ASSERT_FALSE(tides.isEmpty());
    ASSERT_FALSE(metronome.isEmpty());

    // Apps with an icon also get the entry desktops read a folder's icon from.
    const auto withIcon = [this](const QString &name, QStringList entries) {
        if (appNamed(deviceWithApp(name), name)->icon()) {
            entries.append(MarrowbyFileSystem::FolderIconName);
        }
        return entries;
    };
    EXPECT_EQ(
        m_fs->contentsOfDirectory(birdwatch),
        withIcon(QStringLiteral("Birdwatch"), {QStringLiteral("Sandbox"), QStringLiteral("Bundle"),
                                               QStringLiteral("App Group")}));
    EXPECT_EQ(m_fs->contentsOfDirectory(tides),
              withIcon(QStringLiteral("Tide Tables"),
                       {QStringLiteral("Sandbox"), QStringLiteral("Bundle"),
                        QStringLiteral("App Groups")}));
    EXPECT_EQ(m_fs->contentsOfDirectory(metronome),
              withIcon(QStringLiteral("Metronome"),
                       {QStringLiteral("Sandbox"), QStringLiteral("Bundle")}));
    EXPECT_EQ(m_fs->contentsOfDirectory(tides + QStringLiteral("/App Groups")),
              (QStringList{QStringLiteral("group.com.example.shared"),
                           QStringLiteral("group.com.example.tides")}));
    EXPECT_TRUE(
        m_fs->contentsOfDirectory(tides + QStringLiteral("/App Groups/group.other")).isEmpty());
}

TEST_F(FileSystemTree, PathsBelowEntryPointsResolveIntoTheAppsRealFolders)
{
    const QString tides = appFolderPath(QStringLiteral("Tide Tables"));
    const SimulatorAppPtr app =
        appNamed(deviceWithApp(QStringLiteral("Tide Tables")), QStringLiteral("Tide Tables"));
    ASSERT_TRUE(app && app->sandboxURL() && app->bundleURL());

    EXPECT_EQ(m_fs->originalPathForPath(tides + QStringLiteral("/Sandbox/Documents/a.txt")),
              app->sandboxURL()->toLocalFile() + QStringLiteral("/Documents/a.txt"));
    EXPECT_EQ(m_fs->originalPathForPath(tides + QStringLiteral("/Bundle")),
              app->bundleURL()->toLocalFile());
    const auto group = app->containerURLForAppGroup(QStringLiteral("group.com.example.tides"));
    ASSERT_TRUE(group);
    EXPECT_EQ(m_fs->originalPathForPath(
                  tides + QStringLiteral("/App Groups/group.com.example.tides/Library")),
              group->toLocalFile() + QStringLiteral("/Library"));
    // Real folders list what is really there.
    const QStringList real = QDir(app->sandboxURL()->toLocalFile())
                                 .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    ASSERT_FALSE(real.isEmpty());
    EXPECT_EQ(m_fs->contentsOfDirectory(tides + QStringLiteral("/Sandbox")), real);

    EXPECT_TRUE(m_fs->resolve(tides + QStringLiteral("/Sandbox/x")).writable);
    EXPECT_TRUE(
        m_fs->resolve(tides + QStringLiteral("/App Groups/group.com.example.tides/x")).writable);
    EXPECT_FALSE(m_fs->resolve(tides + QStringLiteral("/Bundle/Info.plist")).writable);
}

TEST_F(FileSystemTree, PathsThatDoNotLeadIntoARealFolderHaveNoRealPath)
{
    const QString tides = appFolderPath(QStringLiteral("Tide Tables"));
    const QString device = tides.section(QLatin1Char('/'), 1, 1);
    for (const QString &path :
         {QStringLiteral("/"), QStringLiteral("/tmp/x"), QLatin1Char('/') + device,
          QLatin1Char('/') + device + QStringLiteral("/tmp"), tides,
          tides + QStringLiteral("/Unknown Key"), tides + QStringLiteral("/App Groups"),
          tides + QStringLiteral("/App Groups/group.unknown/x"),
          tides + QStringLiteral("/App Group"), // two groups: not listed, yet resolves
          tides + QStringLiteral("/Sandbox/../../../../etc/passwd"),
          tides + QStringLiteral("/Sandbox/Documents/./x"), tides + QStringLiteral("/Sandbox/a\nb"),
          tides + QStringLiteral("/Icon\r"), QStringLiteral("/.hidden"),
          QStringLiteral("/._") + device}) {
        const auto real = m_fs->originalPathForPath(path);
        if (path == tides + QStringLiteral("/App Group")) {
            // The first group's container, as the tree has always done.
            EXPECT_TRUE(real.has_value());
            continue;
        }
        EXPECT_FALSE(real.has_value())
            << path.toStdString() << " -> " << real.value_or(QString()).toStdString();
    }
}

TEST_F(FileSystemTree, ReadmeSaysWhyNoDeviceIsListed)
{
    m_catalogue.replace(CatalogueSnapshot{});
    m_fs->dropReadmeCache();
    EXPECT_EQ(m_fs->contentsOfDirectory(QStringLiteral("/")),
              QStringList{QStringLiteral("Readme.txt")});
    EXPECT_EQ(m_fs->readmeContent(), QByteArray("Waiting for Simulators...\n"));

    m_catalogue.replace(CatalogueSnapshot::fromDevices({}));
    m_fs->dropReadmeCache();
    const QByteArray text = m_fs->readmeContent();
    EXPECT_TRUE(text.startsWith("No Simulators for Xcode 8.0 with apps found.\n")) << text.data();
    EXPECT_TRUE(text.endsWith("\nYou can select another Xcode in the Marrowby preferences.\n"))
        << text.data();
}

TEST_F(FileSystemTree, ProtectedNamesAreTheContainerMetadataAndTheDeviceLog)
{
    EXPECT_TRUE(MarrowbyFileSystem::isProtected(
        {QStringLiteral("D"), QStringLiteral("A"), QStringLiteral("Sandbox"),
         QStringLiteral(".com.apple.mobile_container_manager.metadata.plist")}));
    EXPECT_TRUE(
        MarrowbyFileSystem::isProtected({QStringLiteral("D"), QStringLiteral("system.log")}));
    EXPECT_FALSE(
        MarrowbyFileSystem::isProtected({QStringLiteral("D"), QStringLiteral("A"),
                                         QStringLiteral("Sandbox"), QStringLiteral("system.log")}));
}

TEST_F(FileSystemTree, AProtectedItemIsPartOfARecursiveRemovalOnlyRightAfterItsNeighbour)
{
    const QString folder = QStringLiteral("/D");
    const QString log = folder + QStringLiteral("/system.log");
    EXPECT_FALSE(m_fs->isPartOfRecursiveRemoval(log));
    // A removal deeper down is not the walk reaching the log's folder.
    m_fs->noteRemoval(folder + QStringLiteral("/App/Sandbox/Documents"));
    EXPECT_FALSE(m_fs->isPartOfRecursiveRemoval(log));
    m_fs->noteRemoval(folder + QStringLiteral("/App"));
    EXPECT_TRUE(m_fs->isPartOfRecursiveRemoval(log));
    // Another device's folder has a walk of its own.
    EXPECT_FALSE(m_fs->isPartOfRecursiveRemoval(QStringLiteral("/E/system.log")));
    const QString metadata =
        folder + QStringLiteral("/App/Sandbox/.com.apple.mobile_container_manager.metadata.plist");
    EXPECT_FALSE(m_fs->isPartOfRecursiveRemoval(metadata));
    m_fs->noteRemoval(folder + QStringLiteral("/App/Sandbox/tmp"));
    EXPECT_TRUE(m_fs->isPartOfRecursiveRemoval(metadata));
    EXPECT_FALSE(m_fs->isPartOfRecursiveRemoval(log));
    // An app group's container may hold nothing but its metadata: the walk
    // comes to it from elsewhere in the same app, never from another app.
    // Metadata with company is reached from its own folder only.
    const QString name = QStringLiteral("/.com.apple.mobile_container_manager.metadata.plist");
    const QString groupMetadata = folder + QStringLiteral("/App/App Groups/group.a") + name;
    EXPECT_TRUE(m_fs->isPartOfRecursiveRemoval(groupMetadata, true));
    EXPECT_FALSE(m_fs->isPartOfRecursiveRemoval(groupMetadata, false));
    EXPECT_FALSE(
        m_fs->isPartOfRecursiveRemoval(folder + QStringLiteral("/Other/App Group") + name, true));
    EXPECT_FALSE(m_fs->isPartOfRecursiveRemoval(
        folder + QStringLiteral("/Application/App Group") + name, true));
}

TEST_F(FileSystemTree, ABurstOfRemovalsInAnAppFolderUninstallsTheAppOnce)
{
    const SimulatorDevicePtr device = deviceWithApp(QStringLiteral("Metronome"));
    ASSERT_TRUE(device);
    const QString app = appFolderPath(QStringLiteral("Metronome"));
    m_fs->deferRemoval(app + QStringLiteral("/Sandbox/Documents"));
    m_fs->deferRemoval(app + QStringLiteral("/Sandbox"));
    m_fs->deferRemoval(app);
    ASSERT_TRUE(waitFor([&] { return !m_actions.recorded().isEmpty(); }));
    EXPECT_EQ(m_actions.recorded(),
              QStringList{QStringLiteral("uninstall com.example.metronome ") + device->uuid()});
    EXPECT_FALSE(hasApp(scan(), device->uuid(), QStringLiteral("com.example.metronome")));
}

TEST_F(FileSystemTree, RemovingADeviceFolderDeletesOnlyTheDevice)
{
    const SimulatorDevicePtr device = deviceWithApp(QStringLiteral("Sketchpad"));
    ASSERT_TRUE(device);
    const QString folder = QLatin1Char('/') + deviceFolder(device->name());
    for (const QString &app : m_fs->contentsOfDirectory(folder)) {
        m_fs->deferRemoval(folder + QLatin1Char('/') + app);
    }
    m_fs->deferRemoval(folder);
    ASSERT_TRUE(waitFor([&] { return !m_actions.recorded().isEmpty(); }));
    EXPECT_EQ(m_actions.recorded(), QStringList{QStringLiteral("delete ") + device->uuid()});
    EXPECT_TRUE(waitFor([&] { return !hasDevice(scan(), device->uuid()); }));
}

TEST_F(FileSystemTree, RemovingInsideABundleAlertsOncePerBurst)
{
    const QString app = appFolderPath(QStringLiteral("Birdwatch"));
    m_fs->deferRemoval(app + QStringLiteral("/Bundle/Info.plist"));
    m_fs->deferRemoval(app + QStringLiteral("/Bundle/icon.png"));
    ASSERT_TRUE(waitFor([&] { return !m_actions.recorded().isEmpty(); }));
    EXPECT_EQ(m_actions.recorded(),
              QStringList{QStringLiteral("alert Cannot delete items in the app bundle!")});
}
