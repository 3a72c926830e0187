// DeveloperTools against the developer-tools stand-in: real programs, a real
// sample world in a temporary HOME, a real Simulator process.
#include "Marrowkit/devtools/developertools.h"
#include "Marrowkit/platform/bundle.h"
#include "Marrowkit/plist/propertylist.h"
#include "tests/support/testsupport.h"

#include <QDir>
#include <QProcess>

#include <gtest/gtest.h>

namespace {

int runTool(const QString &tool, const QStringList &arguments, QString *out = nullptr)
{
    QProcess process;
    process.start(developerToolPath(tool), arguments);
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    if (out) {
        *out = QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    }
    return process.exitCode();
}

// Installations inside this test's HOME (a machine-wide /Applications may add others).
QList<XcodeVersion> ownXcodes()
{
    QList<XcodeVersion> result;
    for (const XcodeVersion &xcode : DeveloperTools().installedXcodes()) {
        if (xcode.url().path().startsWith(QDir::homePath() + QLatin1Char('/'))) {
            result.append(xcode);
        }
    }
    return result;
}

class DeveloperToolsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(runTool(QStringLiteral("devtools"), {QStringLiteral("sample-world")}), 0);
    }

    void TearDown() override
    {
        runTool(QStringLiteral("osascript"),
                {QStringLiteral("-e"), QStringLiteral("tell app \"Simulator\" to quit")});
    }

    QString app(const QString &name) const
    {
        return m_home.filePath(QStringLiteral("Applications/") + name);
    }

    testsupport::TemporaryHome m_home;
};

} // namespace

TEST_F(DeveloperToolsTest, InstalledXcodesAreNewestFirstWithTheSelectedOneMarked)
{
    const QList<XcodeVersion> xcodes = ownXcodes();
    ASSERT_EQ(xcodes.size(), 2);
    EXPECT_EQ(xcodes[0].url().path(), app(QStringLiteral("Xcode.app")));
    EXPECT_EQ(xcodes[0].version(), QStringLiteral("8.0"));
    EXPECT_TRUE(xcodes[0].isCurrentlySelected());
    EXPECT_EQ(xcodes[0].productBuildVersion(), QStringLiteral("8A218a"));
    EXPECT_EQ(xcodes[1].url().path(), app(QStringLiteral("Xcode-7.3.1.app")));
    EXPECT_EQ(xcodes[1].version(), QStringLiteral("7.3.1"));
    EXPECT_FALSE(xcodes[1].isCurrentlySelected());
    EXPECT_EQ(DeveloperTools().currentlySelectedXcode(), xcodes[0]);
}

TEST_F(DeveloperToolsTest, SwitchingTheSelectionIsSeenByCurrentlySelectedXcode)
{
    const QList<XcodeVersion> xcodes = ownXcodes();
    ASSERT_EQ(xcodes.size(), 2);
    ASSERT_TRUE(DeveloperTools().setSelectedXcode(xcodes[1]));
    const auto selected = DeveloperTools().currentlySelectedXcode();
    ASSERT_TRUE(selected);
    EXPECT_EQ(selected->url().path(), app(QStringLiteral("Xcode-7.3.1.app")));
    EXPECT_EQ(selected->version(), QStringLiteral("7.3.1"));

    // A folder that is no Xcode is refused and the selection stays.
    QUrl nowhere;
    nowhere.setPath(m_home.filePath(QStringLiteral("Applications/Nowhere.app")));
    EXPECT_FALSE(
        DeveloperTools().setSelectedXcode(XcodeVersion(nowhere, QStringLiteral("9.0"), false)));
    EXPECT_FALSE(
        DeveloperTools().setSelectedXcode(XcodeVersion(QUrl(), QStringLiteral("9.0"), false)));
    EXPECT_EQ(DeveloperTools().currentlySelectedXcode(), selected);
}

TEST_F(DeveloperToolsTest, NamesWithSpacesAndUnreadableBundles)
{
    const QString spaced = app(QStringLiteral("Xcode 9 beta.app"));
    ASSERT_EQ(
        runTool(QStringLiteral("devtools"), {QStringLiteral("make-xcode"), spaced,
                                             QStringLiteral("--version"), QStringLiteral("9.0b2")}),
        0);
    ASSERT_EQ(runTool(QStringLiteral("xcode-select"), {QStringLiteral("-s"), spaced}), 0);
    // An Xcode whose Info.plist has no version text is left out.
    const QString broken = app(QStringLiteral("Broken.app"));
    ASSERT_EQ(runTool(QStringLiteral("devtools"), {QStringLiteral("make-xcode"), broken}), 0);
    ASSERT_TRUE(
        PropertyList::writeFile(broken + QStringLiteral("/Contents/Info.plist"),
                                QVariantMap{{QStringLiteral("CFBundleIdentifier"),
                                             QStringLiteral("com.apple.dt.Xcode")},
                                            {QStringLiteral("CFBundleShortVersionString"), 10}},
                                PropertyList::Format::Xml)
            .isSuccess());

    const QList<XcodeVersion> xcodes = ownXcodes();
    ASSERT_EQ(xcodes.size(), 3);
    EXPECT_EQ(xcodes[0].url().path(), spaced);
    EXPECT_EQ(xcodes[0].version(), QStringLiteral("9.0b2"));
    EXPECT_TRUE(xcodes[0].isCurrentlySelected());
    EXPECT_EQ(xcodes[0].developerDirectory().path(),
              spaced + QStringLiteral("/Contents/Developer"));
    EXPECT_FALSE(xcodes[1].isCurrentlySelected());
}

TEST_F(DeveloperToolsTest, NoSelectionOrNoXcodes)
{
    ASSERT_EQ(runTool(QStringLiteral("xcode-select"), {QStringLiteral("-r")}), 0);
    const QList<XcodeVersion> xcodes = ownXcodes();
    ASSERT_EQ(xcodes.size(), 2);
    EXPECT_FALSE(xcodes[0].isCurrentlySelected() || xcodes[1].isCurrentlySelected());
    EXPECT_EQ(DeveloperTools().currentlySelectedXcode(), std::nullopt);

    testsupport::TemporaryHome empty;
    EXPECT_TRUE(ownXcodes().isEmpty());
}

TEST_F(DeveloperToolsTest, SeesAndQuitsARunningSimulator)
{
    QString listing;
    ASSERT_EQ(runTool(QStringLiteral("xcrun"),
                      {QStringLiteral("simctl"), QStringLiteral("list"), QStringLiteral("devices")},
                      &listing),
              0);
    // The iPhone 5s of iOS 10.0 starts shut down.
    QString udid;
    for (const QString &line : listing.split(QLatin1Char('\n'))) {
        if (line.trimmed().startsWith(QLatin1String("iPhone 5s (")) &&
            line.contains(QLatin1String("(Shutdown)"))) {
            udid = line.section(QLatin1Char('('), 1, 1).section(QLatin1Char(')'), 0, 0);
        }
    }
    ASSERT_FALSE(udid.isEmpty());
    const auto devicePlist = [&] {
        return PropertyList::dictionaryFromFile(
                   m_home.filePath(QStringLiteral("Library/Developer/CoreSimulator/Devices/") +
                                   udid + QStringLiteral("/device.plist")))
            .value()
            .value_or(QVariantMap())
            .value(QStringLiteral("state"))
            .toInt();
    };

    const auto selected = DeveloperTools().currentlySelectedXcode();
    ASSERT_TRUE(selected);
    ASSERT_EQ(runTool(QStringLiteral("open"),
                      {selected->simulatorAppURL().path(), QStringLiteral("--args"),
                       QStringLiteral("-CurrentDeviceUDID"), udid}),
              0);
    ASSERT_TRUE(testsupport::waitFor([&] { return devicePlist() == 3; }));
    EXPECT_TRUE(DeveloperTools().isGuiSimulatorRunning(DeviceType::iPhone6));
    EXPECT_FALSE(DeveloperTools().isGuiSimulatorRunning(DeviceType::watch38));

    // Quitting the watch simulator leaves this one running.
    DeveloperTools().quitSimulatorIfRunning(DeviceType::watch42);
    EXPECT_TRUE(DeveloperTools().isGuiSimulatorRunning(DeviceType::iPad2));

    DeveloperTools().quitSimulatorIfRunning(DeviceType::iPhone5s);
    EXPECT_TRUE(testsupport::waitFor(
        [] { return !DeveloperTools().isGuiSimulatorRunning(DeviceType::iPhone6); }));
    EXPECT_EQ(devicePlist(), 1) << "the Simulator shut its device down on the way out";
}
