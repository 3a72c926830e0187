// The preferences window in the running application, against the real
// service on a private bus and, where FUSE can be used, a real mount: the
// menu's Preferences item opens one window, another Xcode chosen there moves
// the menu's header and the volume's readme, and the volume switch mounts
// and unmounts.
#include "launchedapplication.h"

#include "appdelegate.h"
#include "fileviewer.h"
#include "marrowbydefaults.h"
#include "marrowfsprefspane.h"
#include "preferenceswindow.h"
#include "switchbutton.h"

#include "devtoolsworld.h"

#include "Marrowfs/marrowfscontroller.h"
#include "Marrowkit/Connection/parleyconnector.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>

using testsupport::isMountPoint;
using testsupport::waitFor;

namespace {

QStringList menuTexts(const QMenu &menu)
{
    QStringList texts;
    for (QAction *action : menu.actions()) {
        texts.append(action->text().section(QLatin1Char('\n'), 0, 0));
    }
    return texts;
}

class PreferencesInTheApplication : public LaunchedApplication
{
protected:
    QAction *preferencesItem() const
    {
        for (QAction *action : m_delegate->statusItemController().statusMenu()->actions()) {
            if (action->text() == QStringLiteral("Preferences…")) {
                return action;
            }
        }
        return nullptr;
    }

    static QList<PreferencesWindow *> preferencesWindows()
    {
        QList<PreferencesWindow *> windows;
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *window = qobject_cast<PreferencesWindow *>(widget)) {
                windows.append(window);
            }
        }
        return windows;
    }
};

} // namespace

TEST_F(PreferencesInTheApplication, thePreferencesItemOpensOneWindowAndBringsItBack)
{
    MarrowbyDefaults::setMarrowfsEnabled(false);
    launch();
    QAction *item = preferencesItem();
    ASSERT_NE(item, nullptr);
    EXPECT_TRUE(item->isEnabled());
    item->trigger();
    ASSERT_NE(m_delegate->preferencesWindow(), nullptr);
    PreferencesWindow *window = m_delegate->preferencesWindow();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("General"));
    window->close();
    EXPECT_FALSE(window->isVisible());
    item->trigger();
    EXPECT_EQ(m_delegate->preferencesWindow(), window);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(preferencesWindows().size(), 1);
    window->tabs()->setCurrentIndex(1);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Volume"));
}

TEST_F(PreferencesInTheApplication, anotherXcodeChosenMovesTheMenuHeaderAndTheVolumeReadme)
{
    // An Xcode whose runtime no device of the world has: its catalogue is
    // empty, so the menu and the volume's readme both name it.
    const QString beta = m_home->filePath(QStringLiteral("Applications/Xcode-beta.app"));
    ASSERT_EQ(devtoolsworld::run(QStringLiteral("devtools"),
                                 {QStringLiteral("make-xcode"), beta, QStringLiteral("--version"),
                                  QStringLiteral("9.0"), QStringLiteral("--runtime"),
                                  QStringLiteral("iOS:11.0:15A372")})
                  .status,
              0);
    AppDelegate &app = launch();
    QMenu &menu = *app.statusItemController().statusMenu();
    ASSERT_TRUE(
        waitFor([&] { return menuTexts(menu).contains(QStringLiteral("Simulators [Xcode 8.0]")); },
                std::chrono::seconds(30)))
        << menuTexts(menu).join(QLatin1Char('|')).toStdString();

    app.showPreferences();
    GeneralPrefsPane &pane = *app.preferencesWindow()->generalPane();
    ASSERT_FALSE(pane.xcodes().isEmpty());
    ASSERT_EQ(pane.xcodes().first().version(), QStringLiteral("9.0"));
    pane.xcodeSelectButton()->setCurrentIndex(0);
    Q_EMIT pane.xcodeSelectButton()->activated(0);
    EXPECT_TRUE(m_alerts.isEmpty()) << m_alerts.join(QLatin1Char('\n')).toStdString();

    // The menu reconnects to a service that reads the new Xcode's devices.
    const QString none = QStringLiteral("No Simulators for Xcode 9.0 with apps found");
    EXPECT_TRUE(waitFor([&] { return menuTexts(menu).contains(none); }, std::chrono::seconds(30)))
        << menuTexts(menu).join(QLatin1Char('|')).toStdString();
    if (!app.marrowfs() || !app.marrowfs()->isMounted()) {
        GTEST_SKIP() << "FUSE cannot be used here: the volume's readme is not checked";
    }
    const QString readme = app.marrowfs()->mountPath() + QStringLiteral("/Readme.txt");
    const auto readmeText = [&] {
        QFile file(readme);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    };
    EXPECT_TRUE(waitFor([&] { return readmeText().startsWith(none); }, std::chrono::seconds(30)))
        << readmeText().toStdString();
}

TEST_F(PreferencesInTheApplication, theVolumeSwitchUnmountsAndMountsAndTheWindowFollows)
{
    if (!MarrowfsController::isFuseAvailable()) {
        GTEST_SKIP() << "FUSE cannot be used here";
    }
    AppDelegate &app = launch();
    ASSERT_NE(app.marrowfs(), nullptr);
    const QString mountPath = app.marrowfs()->mountPath();
    ASSERT_TRUE(isMountPoint(mountPath));
    app.showPreferences();
    PreferencesWindow &window = *app.preferencesWindow();
    window.tabs()->setCurrentIndex(1);
    MarrowfsPrefsPane &pane = *window.marrowfsPane();
    SwitchButton &button = *pane.enableMarrowfsButton();
    ASSERT_TRUE(button.isChecked());
    EXPECT_TRUE(pane.mountPathLabel()->text().contains(mountPath));
    EXPECT_FALSE(pane.mountPathLabel()->isHidden());
    EXPECT_FALSE(pane.revealMountPathButton()->isHidden());
    ASSERT_NE(pane.marrowlensContainerView(), nullptr);
    EXPECT_FALSE(pane.marrowlensContainerView()->isHidden());
    const QRect open = window.geometry();

    button.click();
    EXPECT_EQ(app.marrowfs(), nullptr);
    EXPECT_FALSE(isMountPoint(mountPath));
    EXPECT_FALSE(MarrowbyDefaults::marrowfsEnabled());
    EXPECT_FALSE(button.isChecked());
    EXPECT_TRUE(pane.mountPathLabel()->isHidden());
    EXPECT_TRUE(pane.revealMountPathButton()->isHidden());
    EXPECT_TRUE(pane.marrowlensContainerView()->isHidden());
    // Smaller, and the top edge stays where it was.
    EXPECT_LT(window.geometry().height(), open.height());
    EXPECT_EQ(window.geometry().top(), open.top());

    button.click();
    ASSERT_NE(app.marrowfs(), nullptr);
    EXPECT_TRUE(isMountPoint(mountPath));
    EXPECT_TRUE(MarrowbyDefaults::marrowfsEnabled());
    EXPECT_TRUE(button.isChecked());
    EXPECT_FALSE(pane.marrowlensContainerView()->isHidden());
    EXPECT_EQ(window.geometry().top(), open.top());

    pane.revealMountPathButton()->click();
    EXPECT_EQ(m_viewer->revealed, QList<QList<QUrl>>{{QUrl::fromLocalFile(mountPath)}});
    EXPECT_TRUE(m_alerts.isEmpty());
}

TEST_F(PreferencesInTheApplication, theProgramDrawsThePreferencesForTheDocumentation)
{
    MarrowbyDefaults::setMarrowfsEnabled(false);
    const QString picture = m_home->filePath(QStringLiteral("preferences.png"));
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_bus->address());
    program.setProcessEnvironment(environment);
    program.start(testsupport::bundlePath() + QStringLiteral("/Contents/MacOS/Marrowby"),
                  {QStringLiteral("--window"), QStringLiteral("--preferences-screenshot"), picture,
                   QStringLiteral("--quit-after-screenshot")});
    ASSERT_TRUE(program.waitForFinished(60000));
    EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
    const QImage image(picture);
    ASSERT_FALSE(image.isNull());
    // Both tabs, side by side.
    EXPECT_GT(image.width(), 2 * image.height());
    EXPECT_FALSE(MarrowbyDefaults::marrowfsEnabled()) << "the picture changed a setting";
}
