// The volume fed by the real service through the connector: it shows the
// service's catalogue under the connector's names, follows its changes,
// turns folder removals into the service's uninstalls and deletions (also
// when a terminal's `rm -r` removes everything below first), hands the one
// alert to the presenter, and reveals folders through the opener.
#include "connectedvolume.h"

#include "devtoolsworld.h"

#include "Marrowkit/model/simulatorapp.h"
#include "Marrowkit/platform/filesystemchangenotifier.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <unistd.h>

using testsupport::waitFor;

namespace {

QByteArray bytes(const QString &path)
{
    return QFile::encodeName(path);
}

bool isListed(const QList<devtoolsworld::ListedDevice> &devices, const QString &uuid)
{
    return std::any_of(devices.begin(), devices.end(),
                       [&](const devtoolsworld::ListedDevice &d) { return d.udid == uuid; });
}

} // namespace

TEST_F(ConnectedVolume, ShowsTheServicesDevicesAndAppsUnderTheConnectorsNames)
{
    const auto names = m_connector->deviceNameMap();
    ASSERT_TRUE(names);
    QStringList devices = names->values();
    devices.sort();
    ASSERT_FALSE(devices.isEmpty());
    EXPECT_EQ(listed(QStringLiteral("/")), devices);

    for (const SimulatorDevicePtr &device : *m_connector->devices()) {
        QStringList apps{QStringLiteral("system.log")};
        for (const auto &entry : m_connector->appNameMapForDevice(*device)) {
            apps.append(entry.second);
        }
        apps.sort();
        EXPECT_EQ(listed(QLatin1Char('/') + names->value(device->uuid())), apps)
            << device->name().toStdString();
    }
}

TEST_F(ConnectedVolume, RemovingAnAppFolderUninstallsItThroughTheService)
{
    const SimulatorAppPtr metronome = app(QStringLiteral("iPhone 6"), QStringLiteral("Metronome"));
    ASSERT_TRUE(metronome && metronome->bundleURL());
    const QString bundle = metronome->bundleURL()->toLocalFile();
    ASSERT_TRUE(QFileInfo(bundle).isDir());
    const QString folder = appFolder(QStringLiteral("iPhone 6"), QStringLiteral("Metronome"));
    ASSERT_FALSE(folder.isEmpty());

    EXPECT_EQ(::rmdir(bytes(onMount(folder)).constData()), 0);
    EXPECT_TRUE(
        waitFor([&] { return !app(QStringLiteral("iPhone 6"), QStringLiteral("Metronome")); },
                std::chrono::seconds(20)));
    EXPECT_FALSE(QFileInfo::exists(bundle));
    EXPECT_TRUE(waitFor([&] { return !QFileInfo::exists(onMount(folder)); }));
    EXPECT_TRUE(app(QStringLiteral("iPhone 6"), QStringLiteral("Birdwatch")));
    EXPECT_TRUE(m_presenter.alerts.isEmpty());
}

TEST_F(ConnectedVolume, RmRecursiveOfAnAppFolderUninstallsOnlyThatApp)
{
    const SimulatorAppPtr metronome = app(QStringLiteral("iPhone 6"), QStringLiteral("Metronome"));
    ASSERT_TRUE(metronome && metronome->sandboxURL());
    const QString folder = appFolder(QStringLiteral("iPhone 6"), QStringLiteral("Metronome"));
    const auto [status, messages] = removeRecursively(folder);
    EXPECT_EQ(status, 0) << messages.toStdString();
    EXPECT_TRUE(
        waitFor([&] { return !app(QStringLiteral("iPhone 6"), QStringLiteral("Metronome")); },
                std::chrono::seconds(20)));
    EXPECT_TRUE(app(QStringLiteral("iPhone 6"), QStringLiteral("Birdwatch")));
    EXPECT_TRUE(app(QStringLiteral("iPhone 6"), QStringLiteral("Tide Tables")));
    EXPECT_TRUE(m_presenter.alerts.isEmpty()) << m_presenter.alerts.join(u'\n').toStdString();
}

// The iPad Air's Tide Tables has an app group whose container holds nothing
// but its metadata.
class RmRecursiveOfADevice : public ConnectedVolume, public ::testing::WithParamInterface<QString>
{
};

INSTANTIATE_TEST_SUITE_P(Devices, RmRecursiveOfADevice,
                         ::testing::Values(QStringLiteral("iPad Pro"), QStringLiteral("iPad Air")),
                         [](const ::testing::TestParamInfo<QString> &info) {
                             return QString(info.param).remove(QLatin1Char(' ')).toStdString();
                         });

TEST_P(RmRecursiveOfADevice, DeletesThatDeviceOnly)
{
    const QString name = GetParam();
    const SimulatorDevicePtr phone = device(name);
    ASSERT_TRUE(phone) << listed(QStringLiteral("/")).join(u',').toStdString();
    const QString uuid = phone->uuid();
    ASSERT_TRUE(isListed(devtoolsworld::listedDevices(), uuid));
    QStringList others;
    for (const SimulatorDevicePtr &other : *m_connector->devices()) {
        if (other->uuid() != uuid) {
            others.append(other->uuid());
        }
    }
    const QString folder = deviceFolder(name);

    const auto [status, messages] = removeRecursively(folder);
    EXPECT_EQ(status, 0) << messages.toStdString();
    EXPECT_TRUE(waitFor([&] { return !isListed(devtoolsworld::listedDevices(), uuid); },
                        std::chrono::seconds(20)));
    EXPECT_TRUE(waitFor([&] { return !device(name); }, std::chrono::seconds(20)));
    EXPECT_TRUE(waitFor([&] { return !QFileInfo::exists(onMount(folder)); }));
    // Only that device: every other one is still there.
    const QList<devtoolsworld::ListedDevice> listedAfter = devtoolsworld::listedDevices();
    for (const QString &other : std::as_const(others)) {
        EXPECT_TRUE(isListed(listedAfter, other)) << other.toStdString();
    }
    EXPECT_TRUE(m_presenter.alerts.isEmpty()) << m_presenter.alerts.join(u'\n').toStdString();
}

TEST_F(ConnectedVolume, TheDeviceLogAloneCannotBeRemoved)
{
    const QString folder = deviceFolder(QStringLiteral("iPad Pro"));
    const QString log = onMount(folder + QStringLiteral("/system.log"));
    ASSERT_TRUE(QFileInfo::exists(log));
    errno = 0;
    EXPECT_NE(::unlink(bytes(log).constData()), 0);
    EXPECT_EQ(errno, EPERM);
    EXPECT_TRUE(QFileInfo::exists(log));
    EXPECT_TRUE(device(QStringLiteral("iPad Pro")));
}

TEST_F(ConnectedVolume, AnInstalledAppAppearsAsAFolder)
{
    const SimulatorDevicePtr phone = device(QStringLiteral("iPhone 6"));
    ASSERT_TRUE(phone);
    const QString bundle = devtoolsworld::writeApp(
        m_home->filePath(QStringLiteral("build")), QStringLiteral("Harbour"),
        QStringLiteral("com.example.harbour"), QStringLiteral("3.0"));
    const QString harbour =
        onMount(deviceFolder(QStringLiteral("iPhone 6")) + QStringLiteral("/Harbour"));
    ASSERT_FALSE(QFileInfo::exists(harbour));
    const ToolRun install = devtoolsworld::run(
        QStringLiteral("xcrun"),
        {QStringLiteral("simctl"), QStringLiteral("install"), phone->uuid(), bundle});
    ASSERT_EQ(install.status, 0) << install.err.toStdString();
    EXPECT_TRUE(waitFor([&] { return QFileInfo(harbour).isDir(); }));
    EXPECT_TRUE(QFileInfo(harbour + QStringLiteral("/Bundle/Info.plist")).isFile());
}

TEST_F(ConnectedVolume, RemovingInTheBundleShowsOneAlertThroughThePresenter)
{
    const QString bundle =
        onMount(appFolder(QStringLiteral("iPhone 6"), QStringLiteral("Birdwatch")) +
                QStringLiteral("/Bundle"));
    const QStringList items = QDir(bundle).entryList(QDir::Files);
    ASSERT_GE(items.size(), 2);
    for (const QString &item : items) {
        ::unlink(bytes(bundle + QLatin1Char('/') + item).constData());
        EXPECT_TRUE(QFile::exists(bundle + QLatin1Char('/') + item));
    }
    ASSERT_TRUE(waitFor([&] { return !m_presenter.alerts.isEmpty(); }));
    EXPECT_EQ(m_presenter.alerts,
              QStringList{QStringLiteral("Cannot delete items in the app bundle!")});
    EXPECT_TRUE(app(QStringLiteral("iPhone 6"), QStringLiteral("Birdwatch")));
}

TEST_F(ConnectedVolume, RevealsOpenFoldersOnTheVolumeOnlyWhileMounted)
{
    const SimulatorDevicePtr phone = device(QStringLiteral("iPhone 6"));
    const SimulatorAppPtr birdwatch = app(QStringLiteral("iPhone 6"), QStringLiteral("Birdwatch"));
    const SimulatorAppPtr tides = app(QStringLiteral("iPhone 6"), QStringLiteral("Tide Tables"));
    const SimulatorAppPtr metronome = app(QStringLiteral("iPhone 6"), QStringLiteral("Metronome"));
    ASSERT_TRUE(phone && birdwatch && tides && metronome);

    EXPECT_TRUE(m_volume->revealDevice(*phone));
    EXPECT_TRUE(m_volume->revealApp(*birdwatch));
    EXPECT_TRUE(m_volume->revealAppGroups(*birdwatch));
    EXPECT_TRUE(m_volume->revealAppGroups(*tides));
    EXPECT_FALSE(m_volume->revealAppGroups(*metronome));
    const QString birdwatchFolder =
        onMount(appFolder(QStringLiteral("iPhone 6"), QStringLiteral("Birdwatch")));
    EXPECT_EQ(
        m_opener.opened,
        (QStringList{onMount(deviceFolder(QStringLiteral("iPhone 6"))), birdwatchFolder,
                     birdwatchFolder + QStringLiteral("/App Group"),
                     onMount(appFolder(QStringLiteral("iPhone 6"), QStringLiteral("Tide Tables"))) +
                         QStringLiteral("/App Groups")}));
    for (const QString &folder : std::as_const(m_opener.opened)) {
        EXPECT_TRUE(QFileInfo(folder).isDir()) << folder.toStdString();
    }

    m_volume->stop();
    m_opener.opened.clear();
    EXPECT_FALSE(m_volume->revealDevice(*phone));
    EXPECT_FALSE(m_volume->revealApp(*birdwatch));
    EXPECT_FALSE(m_volume->revealAppGroups(*birdwatch));
    EXPECT_TRUE(m_opener.opened.isEmpty());
}

TEST_F(ConnectedVolume, AnotherXcodeTellsFileManagersToReadTheVolumeAgainAndStaysMounted)
{
    QStringList noticed;
    QObject receiver;
    QObject::connect(FileSystemChangeNotifier::instance(),
                     &FileSystemChangeNotifier::fileSystemChanged, &receiver,
                     [&](const QString &path) { noticed.append(path); });
    m_volume->selectedXcodeChanged();
    EXPECT_TRUE(waitFor([&] { return !noticed.isEmpty(); }));
    EXPECT_EQ(noticed.count(m_volume->mountPath()), 1);
    EXPECT_TRUE(m_volume->isMounted());
    EXPECT_FALSE(listed(QStringLiteral("/")).isEmpty());
}
