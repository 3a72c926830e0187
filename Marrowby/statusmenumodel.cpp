#include "statusmenumodel.h"

#include "menustrings.h"

#include <algorithm>

XcodeSelection xcodeSelectionFrom(const QList<XcodeVersion> &installed)
{
    XcodeSelection selection;
    selection.installedCount = installed.size();
    for (const XcodeVersion &xcode : installed) {
        if (xcode.isCurrentlySelected()) {
            selection.selected = xcode;
            break;
        }
    }
    return selection;
}

QList<SimulatorAppPtr> recentApps(const QList<SimulatorDevicePtr> &devices)
{
    QList<SimulatorAppPtr> apps;
    for (const SimulatorDevicePtr &device : devices) {
        apps.append(device->apps());
    }
    const qsizetype kept = std::min<qsizetype>(3, apps.size());
    std::partial_sort(apps.begin(), apps.begin() + kept, apps.end(),
                      [](const SimulatorAppPtr &a, const SimulatorAppPtr &b) {
                          return a->creationDate() > b->creationDate();
                      });
    apps.resize(kept);
    return apps;
}

namespace {

StatusMenuRow row(StatusMenuRow::Kind kind, const QString &text = QString())
{
    StatusMenuRow made;
    made.kind = kind;
    made.text = text;
    return made;
}

QList<StatusMenuRow> emptyCatalogueRows(const XcodeSelection &xcodes)
{
    using Kind = StatusMenuRow::Kind;
    if (!xcodes.selected) {
        return {row(Kind::OpenPreferences, MenuStrings::noXcodeSelected()), row(Kind::Separator)};
    }
    QList<StatusMenuRow> rows{
        row(Kind::Message, MenuStrings::noSimulatorsFound(xcodes.selected->version()))};
    if (xcodes.installedCount >= 2) {
        rows.append(row(Kind::OpenPreferences, MenuStrings::selectXcode()));
    }
    rows.append(row(Kind::Separator));
    return rows;
}

} // namespace

QList<StatusMenuRow> variableMenuRows(const std::optional<QList<SimulatorDevicePtr>> &devices,
                                      const XcodeSelection &xcodes)
{
    using Kind = StatusMenuRow::Kind;
    if (!devices) {
        return {row(Kind::Waiting, MenuStrings::waiting()), row(Kind::Separator)};
    }
    if (devices->isEmpty()) {
        return emptyCatalogueRows(xcodes);
    }
    QList<StatusMenuRow> rows;
    const QList<SimulatorAppPtr> recent = recentApps(*devices);
    if (!recent.isEmpty()) {
        rows.append(row(Kind::Header, MenuStrings::recentApps()));
        for (const SimulatorAppPtr &app : recent) {
            StatusMenuRow appRow = row(Kind::RecentApp);
            appRow.app = app;
            rows.append(appRow);
        }
        rows.append(row(Kind::Separator));
    }
    QString header = MenuStrings::simulators();
    if (xcodes.selected) {
        header += QStringLiteral(" [Xcode ") + xcodes.selected->version() + QLatin1Char(']');
    }
    rows.append(row(Kind::Header, header));
    for (const SimulatorDevicePtr &device : *devices) {
        StatusMenuRow deviceRow = row(Kind::Device);
        deviceRow.device = device;
        rows.append(deviceRow);
    }
    rows.append(row(Kind::Separator));
    return rows;
}
