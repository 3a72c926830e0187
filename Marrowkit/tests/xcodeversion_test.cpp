// XcodeVersion: version texts, ordering by numbers, equality by bundle, and
// the paths derived from the bundle.
#include "Marrowkit/devtools/developertools.h"
#include "Marrowkit/devtools/xcodeversion.h"
#include "Marrowkit/plist/propertylist.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {
XcodeVersion xcode(const QString &version,
                   const QString &path = QStringLiteral("/Applications/Xcode.app"))
{
    QUrl url;
    url.setPath(path);
    return XcodeVersion(url, version, false);
}
} // namespace

TEST(XcodeVersion, VersionComponentsReadEachPieceAsADecimalNumber)
{
    EXPECT_EQ(versionComponents(QStringLiteral("7.3.1")), (QList<int>{7, 3, 1}));
    EXPECT_EQ(versionComponents(QStringLiteral("7.0b2")), (QList<int>{7, 0}));
    EXPECT_EQ(versionComponents(QString()), (QList<int>{0}));
    EXPECT_EQ(versionComponents(QStringLiteral("10")), (QList<int>{10}));
    EXPECT_EQ(versionComponents(QStringLiteral("1..2")), (QList<int>{1, 0, 2}));
    EXPECT_EQ(versionComponents(QStringLiteral("+1.-2. 3.0x10")), (QList<int>{0, 0, 0, 0}));
    EXPECT_EQ(versionComponents(QStringLiteral("99999999999.1")), (QList<int>{0, 1}))
        << "a number too large for an integer counts as no number";
}

TEST(XcodeVersion, OrderingComparesNumbersAndPrefixesAreSmaller)
{
    EXPECT_LT(xcode(QStringLiteral("7.3")), xcode(QStringLiteral("7.3.1")));
    EXPECT_GT(xcode(QStringLiteral("10.0")), xcode(QStringLiteral("9.4")));
    EXPECT_LT(xcode(QStringLiteral("7")), xcode(QStringLiteral("7.0")));
    EXPECT_FALSE(xcode(QStringLiteral("7.0")) < xcode(QStringLiteral("7")));
    EXPECT_FALSE(xcode(QStringLiteral("8.0")) <
                 xcode(QStringLiteral("8.0"), QStringLiteral("/other.app")));
    EXPECT_LE(xcode(QStringLiteral("8.0")),
              xcode(QStringLiteral("8.0"), QStringLiteral("/other.app")));
    EXPECT_GE(xcode(QStringLiteral("8.0")),
              xcode(QStringLiteral("8.0"), QStringLiteral("/other.app")));
    EXPECT_FALSE(xcode(QStringLiteral("8.1")) <= xcode(QStringLiteral("8.0.9")));
}

TEST(XcodeVersion, EqualityIsTheBundleAlone)
{
    EXPECT_EQ(xcode(QStringLiteral("7.3.1")), xcode(QStringLiteral("8.0")));
    XcodeVersion selected = xcode(QStringLiteral("8.0"));
    selected.setIsCurrentlySelected(true);
    EXPECT_EQ(selected, xcode(QStringLiteral("8.0")));
    EXPECT_NE(xcode(QStringLiteral("8.0")),
              xcode(QStringLiteral("8.0"), QStringLiteral("/Applications/Xcode-beta.app")));
}

TEST(XcodeVersion, SimulatorPathsFollowTheMajorVersion)
{
    const XcodeVersion old =
        xcode(QStringLiteral("6.4"), QStringLiteral("/Applications/Xcode 6.app"));
    EXPECT_EQ(old.developerDirectory().path(),
              QStringLiteral("/Applications/Xcode 6.app/Contents/Developer"));
    EXPECT_EQ(old.simulatorAppName(), QStringLiteral("iOS Simulator"));
    EXPECT_EQ(old.simulatorAppURL().path(),
              QStringLiteral(
                  "/Applications/Xcode 6.app/Contents/Developer/Applications/iOS Simulator.app"));
    const XcodeVersion seven = xcode(QStringLiteral("7.0"));
    EXPECT_EQ(seven.simulatorAppName(), QStringLiteral("Simulator"));
    EXPECT_EQ(
        seven.simulatorAppURL().path(),
        QStringLiteral("/Applications/Xcode.app/Contents/Developer/Applications/Simulator.app"));
    EXPECT_EQ(seven.watchSimulatorAppURL().path(),
              QStringLiteral(
                  "/Applications/Xcode.app/Contents/Developer/Applications/Simulator (Watch).app"));
    EXPECT_TRUE(old.fileURL().isLocalFile());
    EXPECT_EQ(old.fileURL().toLocalFile(), QStringLiteral("/Applications/Xcode 6.app"));
}

TEST(XcodeVersion, ProductBuildVersionIsTheTextInVersionPlist)
{
    QTemporaryDir dir;
    const QString app = dir.filePath(QStringLiteral("Xcode.app"));
    QDir().mkpath(app + QStringLiteral("/Contents"));
    const XcodeVersion installed = xcode(QStringLiteral("8.0"), app);
    EXPECT_EQ(installed.productBuildVersion(), std::nullopt);
    ASSERT_TRUE(PropertyList::writeFile(
                    app + QStringLiteral("/Contents/version.plist"),
                    QVariantMap{{QStringLiteral("ProductBuildVersion"), QStringLiteral("8A218a")}},
                    PropertyList::Format::Binary)
                    .isSuccess());
    EXPECT_EQ(installed.productBuildVersion(), QStringLiteral("8A218a"));
    ASSERT_TRUE(PropertyList::writeFile(app + QStringLiteral("/Contents/version.plist"),
                                        QVariantMap{{QStringLiteral("ProductBuildVersion"), 8}},
                                        PropertyList::Format::Xml)
                    .isSuccess());
    EXPECT_EQ(installed.productBuildVersion(), std::nullopt);
}

TEST(XcodeVersion, TheChangeNotificationHasTheAgreedNames)
{
    EXPECT_EQ(XcodeVersionDidChangeNotification,
              QStringLiteral("XcodeVersionDidChangeNotification"));
    EXPECT_EQ(CurrentXcodeVersionKey, QStringLiteral("CurrentXcodeVersionKey"));
}
