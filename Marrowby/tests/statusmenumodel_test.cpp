// The variable part of the menu for each state of the catalogue and the
// Xcode selection, and the recent-apps rows.
#include "menumodelfixtures.h"
#include "statusmenumodel.h"

#include <gtest/gtest.h>

namespace {

using Kind = StatusMenuRow::Kind;

QStringList describe(const QList<StatusMenuRow> &rows)
{
    QStringList lines;
    for (const StatusMenuRow &row : rows) {
        switch (row.kind) {
        case Kind::Separator:
            lines.append(QStringLiteral("---"));
            break;
        case Kind::RecentApp:
            lines.append(QStringLiteral("app ") + row.app->name());
            break;
        case Kind::Device:
            lines.append(QStringLiteral("device ") + row.device->name());
            break;
        case Kind::OpenPreferences:
            lines.append(QStringLiteral("> ") + row.text);
            break;
        default:
            lines.append(row.text);
            break;
        }
    }
    return lines;
}

XcodeSelection selection(const QList<XcodeVersion> &installed)
{
    return xcodeSelectionFrom(installed);
}

} // namespace

TEST(StatusMenuRows, beforeTheFirstCatalogueOnlyTheWaitingItem)
{
    EXPECT_EQ(describe(variableMenuRows(std::nullopt, selection({fixtures::xcode("8.0", true)}))),
              (QStringList{QStringLiteral("Waiting for Simulators…"), QStringLiteral("---")}));
}

TEST(StatusMenuRows, noDevicesWithOneXcodeSelected)
{
    const auto rows =
        variableMenuRows(QList<SimulatorDevicePtr>(), selection({fixtures::xcode("7.2", true)}));
    EXPECT_EQ(describe(rows),
              (QStringList{QStringLiteral("No Simulators for Xcode 7.2 with apps found"),
                           QStringLiteral("---")}));
    EXPECT_EQ(rows.first().kind, Kind::Message);
}

TEST(StatusMenuRows, noDevicesWithTwoXcodesOffersAnother)
{
    const auto rows =
        variableMenuRows(QList<SimulatorDevicePtr>(),
                         selection({fixtures::xcode("8.0", false), fixtures::xcode("7.2", true)}));
    EXPECT_EQ(describe(rows),
              (QStringList{QStringLiteral("No Simulators for Xcode 7.2 with apps found"),
                           QStringLiteral("> Select another Xcode now…"), QStringLiteral("---")}));
}

TEST(StatusMenuRows, noDevicesAndNoXcodeSelected)
{
    for (const auto &installed :
         {QList<XcodeVersion>(), QList<XcodeVersion>{fixtures::xcode("8.0", false)}}) {
        EXPECT_EQ(describe(variableMenuRows(QList<SimulatorDevicePtr>(), selection(installed))),
                  (QStringList{QStringLiteral("> No Xcode selected. Select now…"),
                               QStringLiteral("---")}));
    }
}

TEST(StatusMenuRows, recentAppsAreTheThreeNewestAcrossDevicesThenEveryDeviceInOrder)
{
    const auto phone =
        fixtures::device(QStringLiteral("iPhone 7"), {fixtures::app(QStringLiteral("Old"), 1),
                                                      fixtures::app(QStringLiteral("Newest"), 20)});
    const auto pad =
        fixtures::device(QStringLiteral("iPad"), {fixtures::app(QStringLiteral("Middle"), 10),
                                                  fixtures::app(QStringLiteral("Newer"), 15)});
    const auto empty = fixtures::device(QStringLiteral("Apple TV"), {});
    const auto rows = variableMenuRows(QList<SimulatorDevicePtr>{phone, pad, empty},
                                       selection({fixtures::xcode("8.0", true)}));
    EXPECT_EQ(describe(rows),
              (QStringList{QStringLiteral("Recent Apps"), QStringLiteral("app Newest"),
                           QStringLiteral("app Newer"), QStringLiteral("app Middle"),
                           QStringLiteral("---"), QStringLiteral("Simulators [Xcode 8.0]"),
                           QStringLiteral("device iPhone 7"), QStringLiteral("device iPad"),
                           QStringLiteral("device Apple TV"), QStringLiteral("---")}));
}

TEST(StatusMenuRows, withoutAppsNoRecentSectionAndWithoutSelectionAPlainHeader)
{
    const auto rows =
        variableMenuRows(QList<SimulatorDevicePtr>{fixtures::device(QStringLiteral("iPad"), {})},
                         selection({fixtures::xcode("8.0", false)}));
    EXPECT_EQ(describe(rows), (QStringList{QStringLiteral("Simulators"),
                                           QStringLiteral("device iPad"), QStringLiteral("---")}));
}

TEST(StatusMenuRows, fewerThanThreeAppsAreAllRecent)
{
    const auto rows =
        variableMenuRows(QList<SimulatorDevicePtr>{fixtures::device(
                             QStringLiteral("iPad"), {fixtures::app(QStringLiteral("Solo"))})},
                         selection({}));
    EXPECT_EQ(describe(rows).mid(0, 3),
              (QStringList{QStringLiteral("Recent Apps"), QStringLiteral("app Solo"),
                           QStringLiteral("---")}));
}
