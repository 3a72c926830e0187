// The preferences panes against the stand-in's sample world in a temporary
// HOME: the Xcode list and switching (xcode-select and simctl agree with the
// window afterwards, also when the chosen Xcode was deleted meanwhile), start
// at login with its autostart entry and the helper that entry runs, and the
// extension switch through the real pluginkit and its registry.
#include "menuworld.h"

#include "generalprefspane.h"
#include "marrowfsprefspane.h"
#include "marrowlensprefspane.h"
#include "pluginregistry.h"
#include "startatlogincontroller.h"
#include "switchbutton.h"

#include "devtoolsworld.h"

#include "Marrowkit/devtools/developertools.h"
#include "tests/support/processscan.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QThread>

using testsupport::waitFor;

namespace {

const QString helperId = QStringLiteral("dev.marrowby.marrowby.MarrowbyHelper");
const QString marrowlensId = QStringLiteral("dev.marrowby.marrowby.Marrowby.Marrowlens");

QString selectedDeveloperFolder()
{
    return devtoolsworld::run(QStringLiteral("xcode-select"), {QStringLiteral("-p")}).out.trimmed();
}

QString simctlList()
{
    return devtoolsworld::run(QStringLiteral("xcrun"),
                              {QStringLiteral("simctl"), QStringLiteral("list")})
        .out;
}

// The program an autostart entry's Exec line runs, undoing the desktop
// entry's escapes (the string's own, then the quoting's).
QString execProgram(const QByteArray &entry)
{
    for (const QByteArray &line : entry.split('\n')) {
        if (!line.startsWith("Exec=")) {
            continue;
        }
        QString value =
            QString::fromUtf8(line.mid(5)).replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
        if (!value.startsWith(QLatin1Char('"')) || !value.endsWith(QLatin1Char('"'))) {
            return value;
        }
        value = value.mid(1, value.size() - 2);
        QString program;
        for (qsizetype i = 0; i < value.size(); ++i) {
            if (value.at(i) == QLatin1Char('\\') && i + 1 < value.size()) {
                ++i;
            }
            program += value.at(i);
        }
        return program.replace(QStringLiteral("%%"), QStringLiteral("%"));
    }
    return {};
}

class Preferences : public MenuWorld
{
protected:
    void SetUp() override
    {
        MenuWorld::SetUp();
        m_startAtLogin =
            std::make_unique<StartAtLoginController>(helperId, testsupport::bundlePath());
        GeneralPrefsPane::Options options;
        options.startAtLogin = m_startAtLogin.get();
        options.alertSink = [this](const QString &message) { m_alerts.append(message); };
        m_pane = std::make_unique<GeneralPrefsPane>(options);
        QObject::connect(
            m_pane.get(), &GeneralPrefsPane::xcodeVersionDidChange,
            [this](const Box<XcodeVersion> &current) { m_announced.append(current.value()); });
    }
    void TearDown() override
    {
        if (m_home) {
            testsupport::terminateAll(testsupport::processesOf(
                testsupport::bundlePath() + QStringLiteral("/Contents/MacOS/Marrowby"),
                m_home->path()));
        }
        m_pane.reset();
        MenuWorld::TearDown();
    }

    int indexOfVersion(const QString &version) const
    {
        for (qsizetype i = 0; i < m_pane->xcodes().size(); ++i) {
            if (m_pane->xcodes().at(i).version() == version) {
                return int(i);
            }
        }
        return -1;
    }
    // As the user does it: the item shown, then the choice reported.
    void choose(int index)
    {
        m_pane->xcodeSelectButton()->setCurrentIndex(index);
        Q_EMIT m_pane->xcodeSelectButton()->activated(index);
    }
    void click(QAbstractButton *button) { button->click(); }

    std::unique_ptr<StartAtLoginController> m_startAtLogin;
    std::unique_ptr<GeneralPrefsPane> m_pane;
    QStringList m_alerts;
    QList<XcodeVersion> m_announced;
};

} // namespace

TEST_F(Preferences, theXcodesAreListedWithTheirBuildsAndTheSelectedOneIsChosen)
{
    // A third Xcode whose build cannot be read.
    const QString beta = m_home->filePath(QStringLiteral("Applications/Xcode-beta.app"));
    ASSERT_EQ(devtoolsworld::run(QStringLiteral("devtools"),
                                 {QStringLiteral("make-xcode"), beta, QStringLiteral("--version"),
                                  QStringLiteral("9.0")})
                  .status,
              0);
    ASSERT_TRUE(QFile::remove(beta + QStringLiteral("/Contents/version.plist")));

    m_pane->viewWillAppear();
    QComboBox &list = *m_pane->xcodeSelectButton();
    ASSERT_EQ(list.count(), 3);
    // Newest first: the one without a build ends with its version.
    EXPECT_EQ(list.itemText(0), QStringLiteral("Xcode 9.0"));
    EXPECT_TRUE(list.itemText(1).startsWith(QStringLiteral("Xcode 8.0 (")));
    EXPECT_TRUE(list.itemText(1).endsWith(QLatin1Char(')')));
    EXPECT_EQ(list.currentIndex(), 1);
    EXPECT_EQ(m_pane->xcodePathLabel()->text(),
              m_home->filePath(QStringLiteral("Applications/Xcode.app")));
    EXPECT_FALSE(m_pane->revealXcodeInFileViewButton()->isHidden());
    // No updater here: the controls are there, disabled, with the reason.
    EXPECT_FALSE(m_pane->installUpdateButton()->isEnabled());
    EXPECT_FALSE(m_pane->checkForUpdatesButton()->isEnabled());
    EXPECT_TRUE(
        m_pane->updateInformationTextField()->text().contains(QStringLiteral("package manager")));
}

TEST_F(Preferences, withNoXcodeSelectedNothingIsChosenAndThePathSaysSo)
{
    ASSERT_EQ(devtoolsworld::run(QStringLiteral("xcode-select"), {QStringLiteral("-r")}).status, 0);
    m_pane->viewWillAppear();
    EXPECT_EQ(m_pane->xcodeSelectButton()->count(), 2);
    EXPECT_EQ(m_pane->xcodeSelectButton()->currentIndex(), -1);
    EXPECT_EQ(m_pane->xcodePathLabel()->text(), QStringLiteral("(No Xcode Selected)"));
    EXPECT_TRUE(m_pane->revealXcodeInFileViewButton()->isHidden());
}

TEST_F(Preferences, switchingSelectsThroughTheDeveloperToolsAndAnnouncesEachChange)
{
    m_pane->viewWillAppear();
    const int current = indexOfVersion(QStringLiteral("8.0"));
    const int old = indexOfVersion(QStringLiteral("7.3.1"));
    ASSERT_GE(current, 0);
    ASSERT_GE(old, 0);
    const QString listedBefore = simctlList();

    // The one already selected: nothing runs, nothing is announced.
    choose(current);
    EXPECT_TRUE(m_announced.isEmpty());

    choose(old);
    const XcodeVersion oldXcode = m_pane->xcodes().at(old);
    EXPECT_EQ(selectedDeveloperFolder(), oldXcode.developerDirectory().path());
    EXPECT_NE(simctlList(), listedBefore) << "simctl still lists the other Xcode's devices";
    ASSERT_EQ(m_announced.size(), 1);
    EXPECT_EQ(m_announced.first(), oldXcode);
    EXPECT_TRUE(m_announced.first().isCurrentlySelected());
    EXPECT_EQ(m_pane->xcodePathLabel()->text(), oldXcode.url().path());
    EXPECT_TRUE(m_alerts.isEmpty());

    // And back: a second switch, a second announcement.
    choose(current);
    EXPECT_EQ(selectedDeveloperFolder(), m_pane->xcodes().at(current).developerDirectory().path());
    EXPECT_EQ(simctlList(), listedBefore);
    ASSERT_EQ(m_announced.size(), 2);
    EXPECT_EQ(m_announced.last(), m_pane->xcodes().at(current));
}

TEST_F(Preferences, anXcodeDeletedSinceTheListWasReadIsReportedAndTheSelectionStays)
{
    m_pane->viewWillAppear();
    const int old = indexOfVersion(QStringLiteral("7.3.1"));
    ASSERT_GE(old, 0);
    const QString before = selectedDeveloperFolder();
    ASSERT_TRUE(QDir(m_pane->xcodes().at(old).url().path()).removeRecursively());

    choose(old);
    ASSERT_EQ(m_alerts.size(), 1);
    EXPECT_TRUE(m_alerts.first().contains(QStringLiteral("Xcode 7.3.1")));
    EXPECT_TRUE(m_alerts.first().contains(QStringLiteral("no longer")));
    EXPECT_EQ(selectedDeveloperFolder(), before);
    EXPECT_TRUE(m_announced.isEmpty());
    // The window shows what is there now: one Xcode, the selected one.
    ASSERT_EQ(m_pane->xcodeSelectButton()->count(), 1);
    EXPECT_EQ(m_pane->xcodeSelectButton()->currentIndex(), 0);
    EXPECT_EQ(m_pane->xcodes().first().developerDirectory().path(), before);
}

TEST_F(Preferences, startAtLoginWritesTheAutostartEntryAndOffRemovesIt)
{
    const QString entry = m_home->filePath(QStringLiteral(".config/autostart/") + helperId +
                                           QStringLiteral(".desktop"));
    ASSERT_EQ(m_startAtLogin->entryPath(), entry);
    m_pane->viewWillAppear();
    SwitchButton &button = *m_pane->startAtLoginButton();
    EXPECT_FALSE(button.isChecked());

    click(&button);
    EXPECT_TRUE(button.isChecked());
    QFile file(entry);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray contents = file.readAll();
    file.close();
    EXPECT_TRUE(contents.startsWith("[Desktop Entry]\n"));
    EXPECT_EQ(execProgram(contents),
              testsupport::bundlePath() +
                  QStringLiteral("/Contents/Library/LoginItems/MarrowbyHelper.app/Contents/"
                                 "MacOS/MarrowbyHelper"));

    click(&button);
    EXPECT_FALSE(button.isChecked());
    EXPECT_FALSE(QFile::exists(entry));
    EXPECT_TRUE(m_alerts.isEmpty());

    // Changed by hand while the window was closed: the switch shows it.
    ASSERT_TRUE(m_startAtLogin->setStartAtLogin(true).isSuccess());
    m_pane->viewWillAppear();
    EXPECT_TRUE(button.isChecked());
    ASSERT_TRUE(QFile::remove(entry));
    m_pane->viewWillAppear();
    EXPECT_FALSE(button.isChecked());
    ASSERT_TRUE(testsupport::writeFile(entry, "[Desktop Entry]\nExec=true\nHidden=true\n"));
    m_pane->viewWillAppear();
    EXPECT_FALSE(button.isChecked()) << "a hidden entry does not run";
}

TEST_F(Preferences, anAutostartFolderThatCannotBeWrittenIsReportedAndNothingIsLeftBehind)
{
    // A file where the folder should be: nothing can be written below it.
    const QString folder = m_home->filePath(QStringLiteral(".config/autostart"));
    ASSERT_TRUE(testsupport::writeFile(folder, "not a folder\n"));
    m_pane->viewWillAppear();
    click(m_pane->startAtLoginButton());
    ASSERT_EQ(m_alerts.size(), 1);
    EXPECT_TRUE(m_alerts.first().contains(folder)) << m_alerts.first().toStdString();
    EXPECT_FALSE(m_pane->startAtLoginButton()->isChecked());
    EXPECT_FALSE(m_startAtLogin->startAtLogin());

    // A folder where the entry should be: cannot be replaced, nor removed.
    ASSERT_TRUE(QFile::remove(folder));
    const QString entry = m_startAtLogin->entryPath();
    ASSERT_TRUE(QDir().mkpath(entry + QStringLiteral("/inside")));
    m_alerts.clear();
    click(m_pane->startAtLoginButton());
    ASSERT_EQ(m_alerts.size(), 1);
    EXPECT_FALSE(m_pane->startAtLoginButton()->isChecked());
    EXPECT_TRUE(QFileInfo(entry + QStringLiteral("/inside")).isDir());
    // No half-written entry beside it either.
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList());

    // A link at the entry's name is replaced, and what it pointed to is left alone.
    ASSERT_TRUE(QDir(entry).removeRecursively());
    const QString target = m_home->filePath(QStringLiteral("precious.txt"));
    ASSERT_TRUE(testsupport::writeFile(target, "keep me\n"));
    ASSERT_TRUE(QFile::link(target, entry));
    ASSERT_TRUE(m_startAtLogin->setStartAtLogin(true).isSuccess());
    EXPECT_FALSE(QFileInfo(entry).isSymLink());
    ASSERT_TRUE(m_startAtLogin->setStartAtLogin(false).isSuccess());
    QFile precious(target);
    ASSERT_TRUE(precious.open(QIODevice::ReadOnly));
    EXPECT_EQ(precious.readAll(), QByteArray("keep me\n"));
}

TEST_F(Preferences, theHelperTheEntryRunsStartsTheApplicationOnceWhenStartedTwice)
{
    ASSERT_TRUE(m_startAtLogin->setStartAtLogin(true).isSuccess());
    QFile file(m_startAtLogin->entryPath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString helper = execProgram(file.readAll());
    ASSERT_FALSE(helper.isEmpty());
    // No volume: only the start itself is watched here.
    ASSERT_TRUE(
        testsupport::writeFile(m_home->filePath(QStringLiteral(".config/Marrowby/Marrowby.conf")),
                               "[General]\nMarrowfsEnabled=false\n"));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_bus->address());
    QProcess first;
    QProcess second;
    for (QProcess *login : {&first, &second}) {
        login->setProcessEnvironment(environment);
        login->start(helper, {});
        ASSERT_TRUE(login->waitForStarted());
    }
    for (QProcess *login : {&first, &second}) {
        ASSERT_TRUE(login->waitForFinished(30000));
        EXPECT_EQ(login->exitCode(), 0);
    }
    // A helper ends once it has started the application, which may still be
    // on its way into the program then: wait for it, then make sure no
    // second one follows.
    const auto applications = [this] {
        return testsupport::processesOf(testsupport::bundlePath() +
                                            QStringLiteral("/Contents/MacOS/Marrowby"),
                                        m_home->path())
            .size();
    };
    EXPECT_TRUE(testsupport::waitFor([&] { return applications() >= 1; }));
    QThread::msleep(500);
    EXPECT_EQ(applications(), 1);
}

TEST_F(Preferences, theExtensionSwitchShowsTheRegistryAndChangesItThroughPluginkit)
{
    PluginRegistry registry(marrowlensId);
    MarrowlensPrefsPane pane(registry,
                             [this](const QString &message) { m_alerts.append(message); });
    pane.refresh();
    SwitchButton &button = *pane.toggleEnableMarrowlensButton();
    EXPECT_TRUE(button.isEnabled());
    EXPECT_FALSE(button.isChecked());

    click(&button);
    EXPECT_TRUE(button.isChecked());
    const auto listed = [] {
        return devtoolsworld::run(
                   QStringLiteral("pluginkit"),
                   {QStringLiteral("-m"), QStringLiteral("-A"), QStringLiteral("-i"), marrowlensId})
            .out.trimmed();
    };
    EXPECT_TRUE(listed().startsWith(QLatin1Char('+')));

    // Switched off and on elsewhere while the pane is open: it follows the
    // registry's folder, now that the first election made it.
    EXPECT_TRUE(pane.isObservingRegistry());
    for (const bool on : {false, true}) {
        ASSERT_EQ(devtoolsworld::run(QStringLiteral("pluginkit"),
                                     {QStringLiteral("-e"),
                                      on ? QStringLiteral("use") : QStringLiteral("ignore"),
                                      QStringLiteral("-i"), marrowlensId})
                      .status,
                  0);
        EXPECT_TRUE(waitFor([&] { return button.isChecked() == on; })) << on;
    }
    EXPECT_TRUE(m_alerts.isEmpty());
}

TEST_F(Preferences, aRegistryPluginkitCannotReadDisablesTheSwitchAndAFailedChangeIsReported)
{
    PluginRegistry registry(marrowlensId);
    MarrowlensPrefsPane pane(registry,
                             [this](const QString &message) { m_alerts.append(message); });
    // A registry damaged on disk: the real pluginkit fails to read it.
    const QString annotations =
        m_home->filePath(QStringLiteral("Library/Caches/com.apple.pluginkit/Annotations.plist"));
    ASSERT_TRUE(testsupport::writeFile(annotations, "<plist><dict><key>broken"));
    pane.refresh();
    SwitchButton &button = *pane.toggleEnableMarrowlensButton();
    EXPECT_FALSE(button.isEnabled());
    EXPECT_FALSE(button.isChecked());
    EXPECT_FALSE(pane.statusLabel()->isHidden());
    EXPECT_TRUE(pane.statusLabel()->text().contains(QStringLiteral("cannot read")))
        << pane.statusLabel()->text().toStdString();

    // A change asked for anyway fails, is said, and the switch stays off.
    pane.toggleEnableMarrowlens(true);
    ASSERT_EQ(m_alerts.size(), 1);
    EXPECT_TRUE(m_alerts.first().contains(QStringLiteral("cannot be switched on")));
    EXPECT_FALSE(button.isChecked());

    // Repaired: the switch works again.
    ASSERT_TRUE(QFile::remove(annotations));
    pane.refresh();
    EXPECT_TRUE(button.isEnabled());
    EXPECT_TRUE(pane.statusLabel()->isHidden());
}

TEST(StartAtLoginEntry, anyProgramPathSurvivesTheEntrysQuoting)
{
    for (const QString &path : {QStringLiteral("/opt/Marrowby.app/Contents/MacOS/MarrowbyHelper"),
                                QStringLiteral("/home/a b/Apps/Marrowby \"dev\".app/x"),
                                QStringLiteral("/srv/$HOME/`id`/back\\slash/100%/helper")}) {
        const QByteArray entry =
            "[Desktop Entry]\nExec=" + StartAtLoginController::execValue(path).toUtf8() + "\n";
        EXPECT_EQ(execProgram(entry), path);
    }
}

TEST(VolumePane, withoutFuseTheHintTakesThePlaceOfTheControls)
{
    PluginRegistry registry(marrowlensId);
    MarrowfsPrefsPane::Options options;
    int starts = 0;
    options.volume.isOn = [] { return false; };
    options.volume.start = [&] { ++starts; };
    options.volume.fuseAvailable = [](QString *reason) {
        *reason = QStringLiteral("/dev/fuse cannot be opened");
        return false;
    };
    options.registry = &registry;
    MarrowfsPrefsPane pane(options);
    QFont font(QStringLiteral("Sans <b>Bold</b>"));
    font.setPointSize(11);
    pane.marrowfsNotAvailableHintTextField()->setFont(font);
    pane.updateViews();
    EXPECT_FALSE(pane.marrowfsNotAvailableHintTextField()->isHidden());
    EXPECT_TRUE(pane.marrowfsAvailableView()->isHidden());
    ASSERT_NE(pane.marrowlensContainerView(), nullptr);
    EXPECT_TRUE(pane.marrowlensContainerView()->isHidden());
    const QString hint = pane.marrowfsNotAvailableHintTextField()->text();
    EXPECT_TRUE(hint.contains(QStringLiteral("FUSE")));
    EXPECT_TRUE(hint.contains(QStringLiteral("font-size:11pt")));
    // The font's name is text in the markup, not markup of its own.
    EXPECT_TRUE(hint.contains(QStringLiteral("Sans &lt;b&gt;Bold&lt;/b&gt;")))
        << hint.toStdString();
    EXPECT_EQ(starts, 0);
}
