// Installing, removing and launching apps and adding photos on one device,
// directly on the core: containers and their metadata, and links planted
// among the containers, which must never be taken for the device's own.
#include "appinstaller.h"
#include "deviceset.h"
#include "devtoolsworld.h"
#include "plistio.h"
#include "safefile.h"
#include "simidentifiers.h"
#include "tests/support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>

#include <gtest/gtest.h>

#include <unistd.h>

using devtoolsworld::differences;
using devtoolsworld::snapshot;
using devtoolsworld::writeApp;

namespace {

bool makeLink(const QString &target, const QString &link)
{
    QDir().mkpath(QFileInfo(link).absolutePath());
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) ==
           0;
}

QStringList children(const QString &folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

class AppInstallerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QString error;
        auto device = m_set.create(
            QStringLiteral("Phone"),
            SimIdentifiers::deviceTypeIdentifier(QStringLiteral("iPhone 6")),
            SimIdentifiers::runtimeIdentifier(QStringLiteral("iOS"), QStringLiteral("10.0")),
            &error);
        ASSERT_TRUE(device) << error.toStdString();
        m_device = *device;
        m_apps = m_home.filePath(QStringLiteral("apps"));
        m_precious = m_home.filePath(QStringLiteral("precious"));
        ASSERT_TRUE(testsupport::writeFile(m_precious + QStringLiteral("/work.txt"), "keep"));
        m_before = snapshot(m_precious);
    }

    QStringList preciousChanges() const { return differences(m_before, snapshot(m_precious)); }

    testsupport::TemporaryHome m_home;
    DeviceSet m_set;
    DeviceRecord m_device;
    QString m_apps;
    QString m_precious;
    QMap<QString, QString> m_before;
};

} // namespace

TEST_F(AppInstallerTest, InspectChecksTheBundleBeforeAnythingChanges)
{
    QString error;
    const QString good = writeApp(
        m_apps, QStringLiteral("Good"), QStringLiteral("org.test.good"), QStringLiteral("1.0"),
        {QStringLiteral("group.a"), QStringLiteral("group.a"), QStringLiteral("group.b")});
    const auto bundle = AppBundleInfo::inspect(good, &error);
    ASSERT_TRUE(bundle) << error.toStdString();
    EXPECT_EQ(bundle->identifier, QStringLiteral("org.test.good"));
    EXPECT_EQ(bundle->appGroups,
              (QStringList{QStringLiteral("group.a"), QStringLiteral("group.b")}));

    const QString notApp = m_home.filePath(QStringLiteral("apps/Folder"));
    QDir().mkpath(notApp);
    const QString noPlist = m_home.filePath(QStringLiteral("apps/Empty.app"));
    QDir().mkpath(noPlist);
    const QString slash =
        writeApp(m_apps, QStringLiteral("Slash"), QStringLiteral("org/evil"), QStringLiteral("1"));
    const QString badGroups = writeApp(m_apps, QStringLiteral("Groups"),
                                       QStringLiteral("org.test.groups"), QStringLiteral("1"));
    ASSERT_TRUE(
        PlistIO::writeXml(badGroups + QStringLiteral("/archived-expanded-entitlements.xcent"),
                          QVariantMap{{QStringLiteral("com.apple.security.application-groups"),
                                       QStringLiteral("x")}}));
    const QString linkedPlist = m_home.filePath(QStringLiteral("apps/Linked.app"));
    ASSERT_TRUE(makeLink(good + QStringLiteral("/Info.plist"),
                         linkedPlist + QStringLiteral("/Info.plist")));
    for (const QString &app : {notApp, noPlist, slash, badGroups, linkedPlist,
                               m_home.filePath(QStringLiteral("apps/Missing.app"))}) {
        EXPECT_FALSE(AppBundleInfo::inspect(app, &error)) << app.toStdString();
        EXPECT_TRUE(error.startsWith(QStringLiteral("Failed to install"))) << error.toStdString();
    }
}

TEST_F(AppInstallerTest, InstallUninstallAndReinstallManageTheirContainers)
{
    AppInstaller installer(m_device);
    const QString first = writeApp(m_apps + QStringLiteral("/1"), QStringLiteral("Ledger"),
                                   QStringLiteral("org.test.ledger"), QStringLiteral("1.0"),
                                   {QStringLiteral("group.org.test")});
    QString error;
    const auto installed = installer.install(first, &error);
    ASSERT_TRUE(installed) << error.toStdString();
    EXPECT_EQ(installed->appPath, installed->bundleContainerPath + QStringLiteral("/Ledger.app"));
    EXPECT_EQ(snapshot(installed->appPath), snapshot(first));
    const auto metadata = PlistIO::readDictionary(installed->dataContainerPath + QLatin1Char('/') +
                                                      AppInstaller::metadataFileName(),
                                                  PlistIO::recordSizeLimit);
    ASSERT_TRUE(metadata);
    EXPECT_EQ(metadata->value(QStringLiteral("MCMMetadataIdentifier")).toString(),
              QStringLiteral("org.test.ledger"));
    EXPECT_FALSE(installer.appGroupContainer(QStringLiteral("group.org.test")).isEmpty());
    const auto found = installer.installedApp(QStringLiteral("org.test.ledger"));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->dataContainerPath, installed->dataContainerPath);

    // Links planted in the old bundle and in the data container.
    ASSERT_TRUE(makeLink(m_precious, installed->appPath + QStringLiteral("/Linked")));
    ASSERT_TRUE(
        makeLink(m_precious, installed->dataContainerPath + QStringLiteral("/Documents/Linked")));
    const QString second = writeApp(m_apps + QStringLiteral("/2"), QStringLiteral("Ledger"),
                                    QStringLiteral("org.test.ledger"), QStringLiteral("2.0"));
    const auto reinstalled = installer.install(second, &error);
    ASSERT_TRUE(reinstalled) << error.toStdString();
    EXPECT_NE(reinstalled->bundleContainerPath, installed->bundleContainerPath);
    EXPECT_EQ(reinstalled->dataContainerPath, installed->dataContainerPath);
    EXPECT_FALSE(SafeFile::existsWithoutFollowing(installed->bundleContainerPath));
    EXPECT_EQ(children(installer.bundleContainersPath()),
              QStringList{QFileInfo(reinstalled->bundleContainerPath).fileName()});
    EXPECT_EQ(preciousChanges(), QStringList());

    ASSERT_TRUE(installer.uninstall(QStringLiteral("org.test.ledger"), &error));
    EXPECT_EQ(children(installer.bundleContainersPath()), QStringList());
    EXPECT_EQ(children(installer.dataContainersPath()), QStringList());
    EXPECT_EQ(children(installer.appGroupContainersPath()).size(), 1) << "groups stay";
    EXPECT_EQ(preciousChanges(), QStringList());
    EXPECT_FALSE(installer.uninstall(QStringLiteral("org.test.ledger"), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("not installed")));
}

TEST_F(AppInstallerTest, LinkedContainersAreNeitherListedNorRemoved)
{
    AppInstaller installer(m_device);
    // Someone's folder, dressed as this app's data and bundle containers.
    ASSERT_TRUE(PlistIO::writeXml(
        m_precious + QLatin1Char('/') + AppInstaller::metadataFileName(),
        QVariantMap{{QStringLiteral("MCMMetadataIdentifier"), QStringLiteral("org.test.ledger")}}));
    const QString app = writeApp(m_precious, QStringLiteral("Ledger"),
                                 QStringLiteral("org.test.ledger"), QStringLiteral("1.0"));
    m_before = snapshot(m_precious);
    ASSERT_TRUE(makeLink(m_precious, installer.dataContainersPath() + QLatin1Char('/') +
                                         SimIdentifiers::makeUuidText()));
    ASSERT_TRUE(makeLink(m_precious, installer.bundleContainersPath() + QLatin1Char('/') +
                                         SimIdentifiers::makeUuidText()));
    EXPECT_FALSE(installer.installedApp(QStringLiteral("org.test.ledger")));
    QString error;
    EXPECT_FALSE(installer.uninstall(QStringLiteral("org.test.ledger"), &error));

    // Installed for real, the app gets containers of its own beside the links.
    const auto installed = installer.install(app, &error);
    ASSERT_TRUE(installed) << error.toStdString();
    EXPECT_TRUE(SafeFile::isRealFolder(installed->dataContainerPath));
    ASSERT_TRUE(installer.uninstall(QStringLiteral("org.test.ledger"), &error));
    EXPECT_EQ(children(installer.dataContainersPath()).size(), 1) << "only the link is left";
    EXPECT_EQ(preciousChanges(), QStringList());
}

TEST_F(AppInstallerTest, ALinkedContainersFolderIsRefusedBeforeAnythingIsWritten)
{
    AppInstaller installer(m_device);
    const QString data = installer.dataContainersPath();
    ASSERT_TRUE(QDir(data).removeRecursively());
    ASSERT_TRUE(makeLink(m_precious, data));
    const QString app = writeApp(m_apps, QStringLiteral("Ledger"),
                                 QStringLiteral("org.test.ledger"), QStringLiteral("1.0"));
    QString error;
    EXPECT_FALSE(installer.install(app, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("link"))) << error.toStdString();
    EXPECT_EQ(preciousChanges(), QStringList());
    EXPECT_EQ(children(installer.bundleContainersPath()), QStringList());

    // Nor is a missing folder made inside a linked one.
    const QString containers = m_device.dataPath() + QStringLiteral("/Containers");
    ASSERT_TRUE(QDir(containers).removeRecursively());
    ASSERT_TRUE(makeLink(m_precious, containers));
    EXPECT_FALSE(installer.install(app, &error));
    EXPECT_EQ(preciousChanges(), QStringList());
}

TEST_F(AppInstallerTest, LaunchNeedsABootedDeviceAndTheApp)
{
    AppInstaller installer(m_device);
    const QString app = writeApp(m_apps, QStringLiteral("Ledger"),
                                 QStringLiteral("org.test.ledger"), QStringLiteral("1.0"));
    ASSERT_TRUE(installer.install(app));
    QString error;
    int code = 0;
    EXPECT_FALSE(installer.launch(QStringLiteral("org.test.ledger"), &error, &code));
    EXPECT_EQ(code, SimIdentifiers::incorrectStateErrorCode);
    EXPECT_EQ(error, QStringLiteral("Unable to launch org.test.ledger in current state: Shutdown"));
    ASSERT_TRUE(m_set.changeState(m_device.udid, {1}, {2, 3}, QStringLiteral("boot")));
    EXPECT_TRUE(installer.launch(QStringLiteral("org.test.ledger"), &error));
    code = 0;
    EXPECT_FALSE(installer.launch(QStringLiteral("org.test.other"), &error, &code));
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(error.contains(QStringLiteral("not installed")));
    EXPECT_TRUE(devtoolsworld::systemLog(m_device.udid)
                    .contains(QStringLiteral("Launched org.test.ledger")));
}

TEST_F(AppInstallerTest, AddMediaNumbersPhotosAndRefusesEverythingElse)
{
    AppInstaller installer(m_device);
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(Qt::blue);
    const QString png = m_home.filePath(QStringLiteral("photo.png"));
    ASSERT_TRUE(image.save(png));
    const QString linked = m_home.filePath(QStringLiteral("linked.png"));
    ASSERT_TRUE(makeLink(png, linked));
    const QString fifo = m_home.filePath(QStringLiteral("fifo.png"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);

    QString error;
    const auto added = installer.addMedia({png, linked}, &error);
    ASSERT_TRUE(added) << error.toStdString();
    EXPECT_EQ(*added,
              (QStringList{QStringLiteral("IMG_0001.PNG"), QStringLiteral("IMG_0002.PNG")}));
    EXPECT_FALSE(installer.addMedia({png, fifo}, &error));
    EXPECT_FALSE(installer.addMedia({m_precious + QStringLiteral("/work.txt")}, &error));
    EXPECT_FALSE(installer.addMedia({}, &error));
    EXPECT_EQ(children(installer.mediaPath()),
              (QStringList{QStringLiteral("IMG_0001.PNG"), QStringLiteral("IMG_0002.PNG")}));

    const auto watch = m_set.create(
        QStringLiteral("Watch"),
        SimIdentifiers::deviceTypeIdentifier(QStringLiteral("Apple Watch - 38mm")),
        SimIdentifiers::runtimeIdentifier(QStringLiteral("watchOS"), QStringLiteral("3.0")));
    ASSERT_TRUE(watch);
    EXPECT_FALSE(AppInstaller(*watch).addMedia({png}, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("cannot import photos")));
}
