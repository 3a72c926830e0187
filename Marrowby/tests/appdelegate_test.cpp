// The application's start-up and shutdown with the two defaults, against the
// real service on a private bus and, where FUSE can be used, a real mount:
// the first launch switches the extension on once and mounts the volume, a
// launch after the volume was switched off leaves both alone, and quitting
// unmounts the volume before the service goes.
#include "launchedapplication.h"

#include "appdelegate.h"
#include "fileviewer.h"
#include "marrowbydefaults.h"
#include "menuactionhandlers.h"

#include "devtoolsworld.h"

#include "Marrowfs/marrowfscontroller.h"
#include "Marrowkit/Connection/parleyconnector.h"
#include "Marrowkit/Connection/parleycontract.h"

#include <QFile>
#include <QFileInfo>

using testsupport::isMountPoint;
using testsupport::waitFor;

namespace {

const QString marrowlensId = QStringLiteral("dev.marrowby.marrowby.Marrowby.Marrowlens");

bool marrowlensElected()
{
    const ToolRun listed =
        devtoolsworld::run(QStringLiteral("pluginkit"), {QStringLiteral("-m"), QStringLiteral("-A"),
                                                         QStringLiteral("-i"), marrowlensId});
    return listed.out.trimmed().startsWith(QLatin1Char('+'));
}

} // namespace

class Application : public LaunchedApplication
{
protected:
    static bool fuseUsable() { return MarrowfsController::isFuseAvailable(); }
};

TEST_F(Application, firstLaunchSwitchesTheExtensionOnOnceAndStartsTheVolume)
{
    EXPECT_FALSE(QFile::exists(MarrowbyDefaults::filePath()));
    EXPECT_FALSE(marrowlensElected());
    AppDelegate &app = launch();
    EXPECT_TRUE(marrowlensElected());
    EXPECT_FALSE(MarrowbyDefaults::marrowlensShouldBeEnabled());
    EXPECT_TRUE(MarrowbyDefaults::marrowfsEnabled());
    ASSERT_NE(app.marrowfs(), nullptr);
    if (fuseUsable()) {
        EXPECT_TRUE(app.marrowfs()->isMounted());
        EXPECT_TRUE(isMountPoint(app.marrowfs()->mountPath()));
    }
    // The log file of the day is written under the home's Library/Logs.
    EXPECT_TRUE(QFileInfo(m_home->filePath(QStringLiteral("Library/Logs/Marrowby"))).isDir());
}

TEST_F(Application, launchAfterTheVolumeWasSwitchedOffStartsNothing)
{
    MarrowbyDefaults::setMarrowfsEnabled(false);
    AppDelegate &app = launch();
    EXPECT_EQ(app.marrowfs(), nullptr);
    // Still to be done at the next start of the volume.
    EXPECT_TRUE(MarrowbyDefaults::marrowlensShouldBeEnabled());
    EXPECT_FALSE(marrowlensElected());
    EXPECT_FALSE(MarrowbyDefaults::marrowfsEnabled());

    app.startMarrowfs();
    EXPECT_NE(app.marrowfs(), nullptr);
    EXPECT_TRUE(marrowlensElected());
    EXPECT_TRUE(MarrowbyDefaults::marrowfsEnabled());
    app.stopMarrowfs();
    EXPECT_EQ(app.marrowfs(), nullptr);
    EXPECT_FALSE(MarrowbyDefaults::marrowfsEnabled());
    // Switching on again makes a new volume, and the extension is not asked twice.
    ASSERT_EQ(devtoolsworld::run(QStringLiteral("pluginkit"),
                                 {QStringLiteral("-e"), QStringLiteral("ignore"),
                                  QStringLiteral("-i"), marrowlensId})
                  .status,
              0);
    app.startMarrowfs();
    ASSERT_NE(app.marrowfs(), nullptr);
    EXPECT_FALSE(marrowlensElected());
    if (fuseUsable()) {
        EXPECT_TRUE(app.marrowfs()->isMounted());
    }
}

TEST_F(Application, aVolumeThatCannotBeMountedIsReportedAndHidesNothing)
{
    if (!fuseUsable()) {
        GTEST_SKIP() << "FUSE cannot be used here";
    }
    const QString mountPath = m_home->filePath(QStringLiteral("Volumes/Marrowby"));
    ASSERT_TRUE(testsupport::writeFile(mountPath + QStringLiteral("/kept.txt"), "mine"));
    AppDelegate &app = launch();
    ASSERT_NE(app.marrowfs(), nullptr);
    EXPECT_FALSE(app.marrowfs()->isMounted());
    EXPECT_FALSE(isMountPoint(mountPath));
    ASSERT_EQ(m_alerts.size(), 1) << m_alerts.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(m_alerts.constFirst().contains(mountPath));
    EXPECT_TRUE(m_alerts.constFirst().contains(QStringLiteral("not empty")));
    EXPECT_TRUE(QFile::exists(mountPath + QStringLiteral("/kept.txt")));
}

TEST_F(Application, quittingWithTheVolumeOnUnmountsItAndEndsTheService)
{
    if (!fuseUsable()) {
        GTEST_SKIP() << "FUSE cannot be used here";
    }
    AppDelegate &app = launch();
    ASSERT_TRUE(waitFor([&] { return app.parleyConnector().devices().has_value(); },
                        std::chrono::seconds(30)));
    ASSERT_NE(m_bus->ownerProcess(ParleyContract::serviceName()), 0u);
    ASSERT_NE(app.marrowfs(), nullptr);
    const QString mountPath = app.marrowfs()->mountPath();
    ASSERT_TRUE(isMountPoint(mountPath));
    app.applicationWillTerminate();
    EXPECT_EQ(app.marrowfs(), nullptr);
    EXPECT_FALSE(isMountPoint(mountPath));
    EXPECT_TRUE(waitFor([&] { return m_bus->ownerProcess(ParleyContract::serviceName()) == 0; }));
    // The user's choice is kept for the next launch.
    EXPECT_TRUE(MarrowbyDefaults::marrowfsEnabled());
}

TEST_F(Application, clicksRevealOnTheVolumeWhileItRunsElseTheRealFolder)
{
    MarrowbyDefaults::setMarrowfsEnabled(false);
    AppDelegate &app = launch();
    ASSERT_TRUE(waitFor([&] { return app.parleyConnector().devices().has_value(); },
                        std::chrono::seconds(30)));
    SimulatorAppPtr target;
    for (const auto &device : *app.parleyConnector().devices()) {
        if (!device->apps().isEmpty()) {
            target = device->apps().first();
            break;
        }
    }
    ASSERT_NE(target, nullptr);
    ASSERT_TRUE(target->sandboxURL());
    StatusItemController &menu = app.statusItemController();
    ASSERT_TRUE(menu.selectedAppClosure);
    // An action left over from a device item reveals the app.
    menu.selectedAppClosure(target, MenuItemAction::AddPhoto);
    ASSERT_EQ(m_viewer->revealed.size(), 1);
    EXPECT_EQ(m_viewer->revealed.first(), QList<QUrl>{*target->sandboxURL()});

    if (!fuseUsable()) {
        return;
    }
    app.startMarrowfs();
    ASSERT_TRUE(app.marrowfs()->isMounted());
    ASSERT_TRUE(waitFor([&] { return app.marrowfs()->folderOfApp(*target).has_value(); }));
    menu.selectedAppClosure(target, MenuItemAction::RevealInFileViewer);
    ASSERT_EQ(m_viewer->revealed.size(), 2);
    EXPECT_TRUE(
        m_viewer->revealed.last().first().toLocalFile().startsWith(app.marrowfs()->mountPath()));
}
