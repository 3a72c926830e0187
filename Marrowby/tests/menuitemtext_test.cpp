// The lines of device and app items for every action and level, the size
// line while a size is unknown and once it is known, and the names taken
// from the connector's map.
#include "bytecountformatter.h"
#include "menuitemtext.h"
#include "menumodelfixtures.h"

#include <gtest/gtest.h>

namespace {

using A = MenuItemAction;
using L = MenuItemLevelOfDetail;

MenuItemText appLines(const SimulatorApp &app, A action, L level = L::Default,
                      AppItemPlacement placement = AppItemPlacement::DeviceSubmenu,
                      std::optional<qint64> size = 1234567)
{
    return appItemText(app, action, level, placement, std::nullopt, size);
}

} // namespace

TEST(DeviceItemText, detailNamesTheActionOrShowsTheVersion)
{
    const auto device = fixtures::device(QStringLiteral("iPhone 7"), {});
    EXPECT_EQ(deviceItemText(*device, A::None, std::nullopt),
              (MenuItemText{QStringLiteral("iPhone 7"), QStringLiteral("10.0"), std::nullopt, 2}));
    EXPECT_EQ(deviceItemText(*device, A::LaunchSimulator, std::nullopt).detail,
              QStringLiteral("Launch Simulator"));
    EXPECT_EQ(deviceItemText(*device, A::ResetContentsAndSettings, std::nullopt).detail,
              QStringLiteral("Reset Content and Settings"));
    EXPECT_EQ(deviceItemText(*device, A::AddPhoto, std::nullopt).detail,
              QStringLiteral("Add Photos"));
    EXPECT_EQ(deviceItemText(*device, A::CopyPathToPasteboard, std::nullopt).detail,
              QStringLiteral("Copy path"));
    // An app action left over on a device item shows the version.
    EXPECT_EQ(deviceItemText(*device, A::ResetData, std::nullopt).detail, QStringLiteral("10.0"));
}

TEST(DeviceItemText, aBootedDeviceShowsItsVersionEvenForLaunch)
{
    const auto booted = fixtures::device(QStringLiteral("iPad Air"), {}, true);
    EXPECT_EQ(deviceItemText(*booted, A::LaunchSimulator, std::nullopt).detail,
              QStringLiteral("10.0"));
}

TEST(DeviceItemText, theConnectorsNameWinsOverTheDisplayName)
{
    const auto device = fixtures::device(QStringLiteral("iPhone 6"), {});
    const QHash<QString, QString> names{{device->uuid(), QStringLiteral("iPhone 6 (10.0)")}};
    EXPECT_EQ(deviceItemText(*device, A::None, names).title, QStringLiteral("iPhone 6 (10.0)"));
    EXPECT_EQ(deviceItemText(*device, A::None, QHash<QString, QString>()).title,
              QStringLiteral("iPhone 6"));
}

TEST(AppItemText, detailNamesTheActionForEveryAppAction)
{
    const auto app = fixtures::app(QStringLiteral("Maps"));
    EXPECT_EQ(appLines(*app, A::RevealInFileViewer).detail,
              QStringLiteral("Reveal in file viewer"));
    EXPECT_EQ(appLines(*app, A::ResetData).detail, QStringLiteral("Reset data"));
    EXPECT_EQ(appLines(*app, A::Uninstall).detail, QStringLiteral("Uninstall"));
    EXPECT_EQ(appLines(*app, A::LaunchInSimulator).detail, QStringLiteral("Launch in Simulator"));
    EXPECT_EQ(appLines(*app, A::ShowAppGroups).detail,
              QStringLiteral("Reveal App Groups in file viewer"));
    EXPECT_EQ(appLines(*app, A::CopyPathToPasteboard).detail, QStringLiteral("Copy path"));
    EXPECT_EQ(appLines(*app, A::None).title, QStringLiteral("Maps - 1.0 (7)"));
    EXPECT_EQ(appLines(*app, A::None).indent, 8);
}

TEST(AppItemText, defaultDetailDependsOnWhereTheItemSits)
{
    const auto app = fixtures::app(QStringLiteral("Maps"));
    const auto device = fixtures::device(QStringLiteral("iPhone 7"), {app});
    EXPECT_EQ(appLines(*app, A::None).detail, QStringLiteral("com.example.Maps"));
    EXPECT_EQ(appLines(*app, A::None, L::Default, AppItemPlacement::RecentApps).detail,
              QStringLiteral("iPhone 7"));
    // A device action left over from a device item also shows the default.
    EXPECT_EQ(appLines(*app, A::AddPhoto, L::Default, AppItemPlacement::RecentApps).detail,
              QStringLiteral("iPhone 7"));
}

TEST(AppItemText, aRecentAppWhoseDeviceIsGoneShowsUnknownDevice)
{
    const auto app = fixtures::app(QStringLiteral("Maps"));
    {
        const auto device = fixtures::device(QStringLiteral("iPhone 7"), {app});
        ASSERT_TRUE(app->device());
    }
    EXPECT_EQ(appLines(*app, A::None, L::Default, AppItemPlacement::RecentApps).detail,
              QStringLiteral("[Unknown device]"));
}

TEST(AppItemText, sizeLineIsCalculatingUntilKnownAndInBytesWhenDetailed)
{
    const auto app = fixtures::app(QStringLiteral("Maps"));
    EXPECT_EQ(
        appLines(*app, A::None, L::Default, AppItemPlacement::DeviceSubmenu, std::nullopt).size,
        QStringLiteral("Size: Calculating..."));
    EXPECT_EQ(appLines(*app, A::None, L::Default).size, QStringLiteral("Size: 1.2 MB"));
    EXPECT_EQ(appLines(*app, A::CopyPathToPasteboard, L::Detailed).size,
              QStringLiteral("Size: 1,234,567 bytes"));
    EXPECT_EQ(appLines(*app, A::None).joined(),
              QStringLiteral("Maps - 1.0 (7)\ncom.example.Maps\nSize: 1.2 MB"));
}

TEST(ByteCountFormatter, fileStyleCountsInThousands)
{
    EXPECT_EQ(ByteCountFormatter::allUnits(0), QStringLiteral("Zero KB"));
    EXPECT_EQ(ByteCountFormatter::allUnits(1), QStringLiteral("1 byte"));
    EXPECT_EQ(ByteCountFormatter::allUnits(999), QStringLiteral("999 bytes"));
    EXPECT_EQ(ByteCountFormatter::allUnits(1000), QStringLiteral("1 KB"));
    EXPECT_EQ(ByteCountFormatter::allUnits(999'499), QStringLiteral("999 KB"));
    EXPECT_EQ(ByteCountFormatter::allUnits(999'500), QStringLiteral("1.0 MB"));
    EXPECT_EQ(ByteCountFormatter::allUnits(3'450'000'000), QStringLiteral("3.45 GB"));
    EXPECT_EQ(ByteCountFormatter::bytesOnly(1000), QStringLiteral("1,000 bytes"));
}
