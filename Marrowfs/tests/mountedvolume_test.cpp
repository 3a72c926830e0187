// The volume as programs see it through a real mount: the tree, reading the
// bundle, writing the data folder, refusals, and removals turned into the
// service's actions on the stand-in's device set.
#include "mountfixture.h"

#include "devtoolsworld.h"

#include "Marrowkit/model/simulatorapp.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QUrl>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

using testsupport::waitFor;

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int errnoOf(int result)
{
    return result < 0 ? errno : 0;
}

QByteArray bytes(const QString &path)
{
    return QFile::encodeName(path);
}

} // namespace

TEST_F(MountedVolume, ListsDevicesAndAppsAndReadsTheBundle)
{
    QStringList devices;
    for (const auto &entry : m_catalogue.snapshot()->deviceNames) {
        devices.append(entry.second);
    }
    QStringList listed =
        QDir(m_volume->mountPath()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    std::sort(devices.begin(), devices.end());
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, devices);

    const QString app = appFolderPath(QStringLiteral("Tide Tables"));
    EXPECT_EQ(QDir(onMount(app)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              (QStringList{QStringLiteral("App Groups"), QStringLiteral("Bundle"),
                           QStringLiteral("Sandbox")}));
    const SimulatorAppPtr tides =
        appNamed(deviceWithApp(QStringLiteral("Tide Tables")), QStringLiteral("Tide Tables"));
    const QString info = tides->bundleURL()->toLocalFile() + QStringLiteral("/Info.plist");
    const QByteArray real = readAll(info);
    ASSERT_FALSE(real.isEmpty());
    EXPECT_EQ(readAll(onMount(app + QStringLiteral("/Bundle/Info.plist"))), real);
    EXPECT_EQ(QFileInfo(onMount(app + QStringLiteral("/Bundle/Info.plist"))).size(), real.size());
}

TEST_F(MountedVolume, TheBundleIsReadOnlyAndSynthesizedLevelsTakeNoNewItems)
{
    const QString app = appFolderPath(QStringLiteral("Tide Tables"));
    const QString info = onMount(app + QStringLiteral("/Bundle/Info.plist"));
    EXPECT_EQ(errnoOf(::open(bytes(info).constData(), O_WRONLY)), EROFS);
    EXPECT_EQ(errnoOf(::open(bytes(onMount(app + QStringLiteral("/Bundle/new"))).constData(),
                             O_CREAT | O_WRONLY, 0644)),
              EROFS);
    EXPECT_EQ(errnoOf(::mkdir(bytes(onMount(app + QStringLiteral("/New"))).constData(), 0755)),
              EPERM);
    EXPECT_EQ(
        errnoOf(::open(bytes(onMount(QStringLiteral("/x"))).constData(), O_CREAT | O_WRONLY, 0644)),
        EPERM);
    struct stat st = {};
    EXPECT_EQ(errnoOf(::stat(bytes(onMount(QStringLiteral("/No Such Device"))).constData(), &st)),
              ENOENT);
    EXPECT_EQ(errnoOf(::stat(bytes(onMount(app + QStringLiteral("/Unknown"))).constData(), &st)),
              ENOENT);
}

TEST_F(MountedVolume, WritesReachTheRealDataFolder)
{
    const QString app = appFolderPath(QStringLiteral("Birdwatch"));
    const QString through = onMount(app + QStringLiteral("/Sandbox/Documents/note.txt"));
    QFile file(through);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << file.errorString().toStdString();
    file.write("written through the volume");
    file.close();
    EXPECT_EQ(
        readAll(realSandbox(QStringLiteral("Birdwatch")) + QStringLiteral("/Documents/note.txt")),
        QByteArray("written through the volume"));

    const QString group = onMount(app + QStringLiteral("/App Group/Library/shared.txt"));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(group).path()));
    QFile shared(group);
    ASSERT_TRUE(shared.open(QIODevice::WriteOnly));
    shared.write("group");
    shared.close();
    const SimulatorAppPtr birdwatch =
        appNamed(deviceWithApp(QStringLiteral("Birdwatch")), QStringLiteral("Birdwatch"));
    const auto container =
        birdwatch->containerURLForAppGroup(QStringLiteral("group.com.example.birdwatch"));
    ASSERT_TRUE(container);
    EXPECT_EQ(readAll(container->toLocalFile() + QStringLiteral("/Library/shared.txt")),
              QByteArray("group"));
}

TEST_F(MountedVolume, NothingLeadsOutOfAnEntryPoint)
{
    const QString app = appFolderPath(QStringLiteral("Birdwatch"));
    const QString sandbox = realSandbox(QStringLiteral("Birdwatch"));
    QTemporaryDir outside;
    ASSERT_TRUE(testsupport::writeFile(outside.filePath(QStringLiteral("secret")), "secret"));
    ASSERT_EQ(::symlink(bytes(outside.path()).constData(),
                        bytes(sandbox + QStringLiteral("/absolute")).constData()),
              0);
    ASSERT_EQ(::symlink("../../../../../../../../..",
                        bytes(sandbox + QStringLiteral("/climbing")).constData()),
              0);
    // The kernel follows links itself, from the mount: an absolute link leads
    // wherever it says, as on any file system. What the volume must refuse
    // is to follow links below an entry point on its own.
    const QString note = onMount(app + QStringLiteral("/Sandbox/note"));
    ASSERT_TRUE(testsupport::writeFile(note, "mine"));

    // A move whose destination is no real folder of the volume moves nothing.
    const QByteArray source = bytes(note);
    for (const QString &destination :
         {onMount(QStringLiteral("/tmp-x")), onMount(QStringLiteral("/tmp/x")),
          onMount(app + QStringLiteral("/x")), onMount(app + QStringLiteral("/Bundle/x"))}) {
        EXPECT_NE(::rename(source.constData(), bytes(destination).constData()), 0)
            << destination.toStdString();
        EXPECT_TRUE(QFile::exists(sandbox + QStringLiteral("/note"))) << destination.toStdString();
    }
    EXPECT_FALSE(QFile::exists(QStringLiteral("/tmp-x")));
    // Names with control characters never become real items.
    EXPECT_EQ(
        errnoOf(::open(bytes(onMount(app + QStringLiteral("/Sandbox/bad\x01name"))).constData(),
                       O_CREAT | O_WRONLY, 0644)),
        EPERM);
    EXPECT_FALSE(QFile::exists(sandbox + QStringLiteral("/bad\x01name")));
    EXPECT_EQ(errnoOf(::rename(bytes(onMount(app + QStringLiteral("/Sandbox"))).constData(),
                               bytes(onMount(app + QStringLiteral("/Sandbox/inner"))).constData())),
              EINVAL);
}

TEST_F(MountedVolume, RemovingAnAppFolderUninstallsTheApp)
{
    const SimulatorDevicePtr device = deviceWithApp(QStringLiteral("Metronome"));
    ASSERT_TRUE(device);
    const QString app = onMount(appFolderPath(QStringLiteral("Metronome")));
    EXPECT_EQ(::rmdir(bytes(app).constData()), 0);
    ASSERT_TRUE(waitFor([&] { return !m_actions.recorded().isEmpty(); }));
    EXPECT_EQ(m_actions.recorded(),
              QStringList{QStringLiteral("uninstall com.example.metronome ") + device->uuid()});
    bool installed = true;
    for (const auto &scanned : scan()) {
        if (scanned->uuid() == device->uuid()) {
            installed =
                std::any_of(scanned->apps().begin(), scanned->apps().end(), [](const auto &a) {
                    return a->bundleIdentifier() == QLatin1String("com.example.metronome");
                });
        }
    }
    EXPECT_FALSE(installed);
}

TEST_F(MountedVolume, RemovingADeviceFolderDeletesTheDevice)
{
    const SimulatorDevicePtr device = deviceWithApp(QStringLiteral("Sketchpad"));
    ASSERT_TRUE(device);
    const QString folder = onMount(QLatin1Char('/') + deviceFolder(device->name()));
    EXPECT_EQ(errnoOf(::unlink(bytes(folder + QStringLiteral("/system.log")).constData())), EPERM);
    EXPECT_EQ(::rmdir(bytes(folder).constData()), 0);
    ASSERT_TRUE(waitFor([&] { return !m_actions.recorded().isEmpty(); }));
    EXPECT_EQ(m_actions.recorded(), QStringList{QStringLiteral("delete ") + device->uuid()});
    EXPECT_TRUE(waitFor([&] {
        const auto devices = scan();
        return std::none_of(devices.begin(), devices.end(),
                            [&](const auto &d) { return d->uuid() == device->uuid(); });
    }));
}

// Info files come from a small store of unnamed files made ahead, and by
// name once it runs dry: a burst larger than the store must give every item
// its own complete info file naming where it was.
TEST_F(MountedVolume, EveryItemOfABurstOfRemovalsGetsItsOwnInfoFile)
{
    const QString app = appFolderPath(QStringLiteral("Birdwatch"));
    const QString folder = onMount(app + QStringLiteral("/Sandbox/Documents/burst"));
    ASSERT_EQ(::mkdir(bytes(folder).constData(), 0755), 0);
    constexpr int Count = 60;
    for (int i = 0; i < Count; ++i) {
        const QString name = folder + QStringLiteral("/item-%1").arg(i);
        ASSERT_TRUE(testsupport::writeFile(name, QByteArray::number(i)));
        ASSERT_EQ(::unlink(bytes(name).constData()), 0) << i;
    }
    const QString trash = m_home.filePath(QStringLiteral(".local/share/Trash"));
    const QString real =
        realSandbox(QStringLiteral("Birdwatch")) + QStringLiteral("/Documents/burst/");
    for (int i = 0; i < Count; ++i) {
        const QString name = QStringLiteral("item-%1").arg(i);
        EXPECT_EQ(readAll(trash + QStringLiteral("/files/") + name), QByteArray::number(i));
        const QByteArray info =
            readAll(trash + QStringLiteral("/info/") + name + QStringLiteral(".trashinfo"));
        EXPECT_TRUE(info.startsWith(
            "[Trash Info]\nPath=" + QUrl::toPercentEncoding(real + name, "/") + "\nDeletionDate="))
            << info.toStdString();
        EXPECT_TRUE(info.endsWith('\n')) << info.toStdString();
    }
    EXPECT_EQ(QDir(trash + QStringLiteral("/info")).entryList(QDir::Files).size(), Count);
}

TEST_F(MountedVolume, RemovingInTheDataFolderMovesToTheTrash)
{
    const QString app = appFolderPath(QStringLiteral("Birdwatch"));
    const QString note = onMount(app + QStringLiteral("/Sandbox/Documents/old.txt"));
    ASSERT_TRUE(testsupport::writeFile(note, "old"));
    EXPECT_EQ(::unlink(bytes(note).constData()), 0);
    EXPECT_FALSE(QFile::exists(realSandbox(QStringLiteral("Birdwatch")) +
                               QStringLiteral("/Documents/old.txt")));
    EXPECT_EQ(readAll(m_home.filePath(QStringLiteral(".local/share/Trash/files/old.txt"))),
              QByteArray("old"));
    const QByteArray info =
        readAll(m_home.filePath(QStringLiteral(".local/share/Trash/info/old.txt.trashinfo")));
    EXPECT_TRUE(info.startsWith("[Trash Info]\nPath=")) << info.toStdString();
    EXPECT_TRUE(info.contains(QUrl::toPercentEncoding(
        realSandbox(QStringLiteral("Birdwatch")) + QStringLiteral("/Documents/old.txt"), "/")))
        << info.toStdString();
    EXPECT_TRUE(info.contains("\nDeletionDate=")) << info.toStdString();
    // A second item of the same name takes another name in the Trash and
    // leaves the first in place.
    ASSERT_TRUE(testsupport::writeFile(note, "new"));
    EXPECT_EQ(::unlink(bytes(note).constData()), 0);
    EXPECT_EQ(readAll(m_home.filePath(QStringLiteral(".local/share/Trash/files/old.txt"))),
              QByteArray("old"));
    const QStringList trashed =
        QDir(m_home.filePath(QStringLiteral(".local/share/Trash/files"))).entryList(QDir::Files);
    const QStringList infos =
        QDir(m_home.filePath(QStringLiteral(".local/share/Trash/info"))).entryList(QDir::Files);
    EXPECT_EQ(trashed.size(), 2) << trashed.join(u' ').toStdString();
    EXPECT_EQ(infos.size(), 2) << infos.join(u' ').toStdString();
    for (const QString &name : trashed) {
        EXPECT_TRUE(infos.contains(name + QStringLiteral(".trashinfo"))) << name.toStdString();
    }
    EXPECT_EQ(errnoOf(::unlink(bytes(onMount(app + QStringLiteral("/Sandbox/"
                                                                  ".com.apple.mobile_container_"
                                                                  "manager.metadata.plist")))
                                   .constData())),
              EPERM);
}

TEST_F(MountedVolume, TheCatalogueChangingShowsWithinTheCacheTime)
{
    const SimulatorDevicePtr device = deviceWithApp(QStringLiteral("Sketchpad"));
    const QString folder = onMount(QLatin1Char('/') + deviceFolder(device->name()));
    ASSERT_TRUE(QFileInfo(folder).isDir());
    ASSERT_EQ(
        devtoolsworld::run(QStringLiteral("xcrun"),
                           {QStringLiteral("simctl"), QStringLiteral("delete"), device->uuid()})
            .status,
        0);
    rescan();
    EXPECT_TRUE(waitFor([&] { return !QFileInfo::exists(folder); }));
}

TEST_F(MountedVolume, SynthesizedFilesAndFoldersReadAsTheTreeSays)
{
    const SimulatorDevicePtr device = deviceWithApp(QStringLiteral("Metronome"));
    const QString folder = QLatin1Char('/') + deviceFolder(device->name());
    const QByteArray log = readAll(m_home.filePath(QStringLiteral("Library/Logs/CoreSimulator/") +
                                                   device->uuid() + QStringLiteral("/system.log")));
    ASSERT_FALSE(log.isEmpty());
    EXPECT_EQ(readAll(onMount(folder + QStringLiteral("/system.log"))), log);

    // The readme is there to be read even while devices are listed.
    EXPECT_EQ(readAll(onMount(QStringLiteral("/Readme.txt"))),
              QByteArray("Waiting for Simulators...\n"));

    const SimulatorAppPtr metronome = appNamed(device, QStringLiteral("Metronome"));
    const QString app = onMount(appFolderPath(QStringLiteral("Metronome")));
    EXPECT_EQ(QFileInfo(app).lastModified().toSecsSinceEpoch(),
              metronome->creationDate().toSecsSinceEpoch());
    if (metronome->icon()) {
        const QByteArray entry = readAll(app + QStringLiteral("/.directory"));
        ASSERT_TRUE(entry.startsWith("[Desktop Entry]\nIcon=")) << entry.constData();
        const QString png = QFile::decodeName(
            entry.mid(qsizetype(std::strlen("[Desktop Entry]\nIcon="))).trimmed());
        EXPECT_FALSE(QImage(png).isNull()) << png.toStdString();
    }

    // Device folders take permission changes without effect, never attributes.
    EXPECT_EQ(::chmod(bytes(onMount(folder)).constData(), 0700), 0);
    EXPECT_EQ(errnoOf(::setxattr(bytes(onMount(folder)).constData(), "user.x", "1", 1, 0)), EPERM);
    EXPECT_EQ(errnoOf(::open(bytes(onMount(QStringLiteral("/Readme.txt"))).constData(), O_WRONLY)),
              EACCES);
}

TEST_F(MountedVolume, UserAttributesPassThroughAndSecurityOnesStayBehind)
{
    const QString note = onMount(appFolderPath(QStringLiteral("Birdwatch")) +
                                 QStringLiteral("/Sandbox/Documents/tagged.txt"));
    ASSERT_TRUE(testsupport::writeFile(note, "tagged"));
    const QByteArray path = bytes(note);
    const QByteArray real =
        bytes(realSandbox(QStringLiteral("Birdwatch")) + QStringLiteral("/Documents/tagged.txt"));
    ASSERT_EQ(::setxattr(path.constData(), "user.colour", "teal", 4, 0), 0);
    char value[16] = {};
    EXPECT_EQ(::getxattr(real.constData(), "user.colour", value, sizeof value), 4);
    EXPECT_EQ(QByteArray(value, 4), QByteArray("teal"));
    EXPECT_EQ(
        errnoOf(int(::getxattr(path.constData(), "security.capability", value, sizeof value))),
        ENODATA);
    EXPECT_EQ(errnoOf(::setxattr(path.constData(), "security.marrowby", "1", 1, 0)), ENOTSUP);
    char names[256] = {};
    const ssize_t length = ::listxattr(path.constData(), names, sizeof names);
    ASSERT_GT(length, 0);
    const QByteArray listed(names, int(length));
    EXPECT_TRUE(listed.contains("user.colour"));
    EXPECT_FALSE(listed.contains("security."));
    // The size asked for first is the size then told.
    EXPECT_EQ(::listxattr(path.constData(), nullptr, 0), length);
}

TEST_F(MountedVolume, RemovingInTheBundleKeepsItWithOneAlert)
{
    const QString bundle =
        onMount(appFolderPath(QStringLiteral("Birdwatch")) + QStringLiteral("/Bundle"));
    const QStringList items = QDir(bundle).entryList(QDir::Files);
    ASSERT_GE(items.size(), 2);
    for (const QString &item : items) {
        // Reported removed, so a recursive removal goes on up to the app.
        EXPECT_EQ(errnoOf(::unlink(bytes(bundle + QLatin1Char('/') + item).constData())), 0);
        EXPECT_TRUE(QFile::exists(bundle + QLatin1Char('/') + item));
    }
    ASSERT_TRUE(waitFor([&] { return !m_actions.recorded().isEmpty(); }));
    EXPECT_EQ(m_actions.recorded(),
              QStringList{QStringLiteral("alert Cannot delete items in the app bundle!")});
}

TEST_F(MountedVolume, TheControllerKnowsWhereDevicesAndAppsAreWhileMounted)
{
    const SimulatorDevicePtr device = deviceWithApp(QStringLiteral("Tide Tables"));
    const SimulatorAppPtr tides = appNamed(device, QStringLiteral("Tide Tables"));
    const SimulatorAppPtr birdwatch =
        appNamed(deviceWithApp(QStringLiteral("Birdwatch")), QStringLiteral("Birdwatch"));
    EXPECT_EQ(m_volume->folderOfDevice(*device),
              onMount(QLatin1Char('/') + deviceFolder(device->name())));
    EXPECT_EQ(m_volume->folderOfApp(*tides), onMount(appFolderPath(QStringLiteral("Tide Tables"))));
    EXPECT_EQ(
        m_volume->folderOfAppGroups(*tides),
        onMount(appFolderPath(QStringLiteral("Tide Tables")) + QStringLiteral("/App Groups")));
    EXPECT_EQ(m_volume->folderOfAppGroups(*birdwatch),
              onMount(appFolderPath(QStringLiteral("Birdwatch")) + QStringLiteral("/App Group")));
    EXPECT_TRUE(QFileInfo(*m_volume->folderOfAppGroups(*tides)).isDir());
    m_volume->stop();
    EXPECT_FALSE(m_volume->folderOfApp(*tides));
    EXPECT_FALSE(QFileInfo::exists(m_volume->mountPath()));
}

TEST_F(MountedVolume, FilesChangedBehindTheMountReadAfresh)
{
    const QString app = appFolderPath(QStringLiteral("Birdwatch"));
    const QString real =
        realSandbox(QStringLiteral("Birdwatch")) + QStringLiteral("/Documents/log.txt");
    ASSERT_TRUE(testsupport::writeFile(real, "first version"));
    const QString through = onMount(app + QStringLiteral("/Sandbox/Documents/log.txt"));
    EXPECT_EQ(readAll(through), QByteArray("first version"));
    // The simulator writes behind the mount; the kernel's copy must give way.
    ASSERT_TRUE(testsupport::writeFile(real, "second version, longer"));
    EXPECT_TRUE(waitFor([&] { return readAll(through) == "second version, longer"; }));
    ASSERT_TRUE(testsupport::writeFile(real, "third version, longer!"));
    EXPECT_TRUE(waitFor([&] { return readAll(through) == "third version, longer!"; }));
}
