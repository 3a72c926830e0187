// The lines of a device or app item: title, detail (which names the action
// a click would carry out) and, for apps, the size, with the indent the
// item is drawn at. Kept apart from the widgets so the rules can be tested
// and run without a menu.
//
// Threads: pure functions of their arguments; called on the main thread.
#pragma once

#include "menuitemaction.h"

#include "Marrowkit/model/simulatorapp.h"
#include "Marrowkit/model/simulatordevice.h"

#include <QHash>
#include <QString>

#include <optional>

struct MenuItemText
{
    QString title;
    QString detail;
    std::optional<QString> size;
    // Points from the leading edge of the text column.
    int indent = 0;

    // The lines joined by "\n", as the three-line menu style reads them.
    QString joined() const;
    bool operator==(const MenuItemText &) const = default;
};

// Device uuid -> display name, as the connector gives it.
using DeviceNameMap = std::optional<QHash<QString, QString>>;

// Where an app item sits: directly in the status menu (a recent app) or in
// its device's submenu.
enum class AppItemPlacement { RecentApps, DeviceSubmenu };

MenuItemText deviceItemText(const SimulatorDevice &device, MenuItemAction action,
                            const DeviceNameMap &names);

// `sizeBytes` is the app's size when known; nothing gives "Calculating...".
MenuItemText appItemText(const SimulatorApp &app, MenuItemAction action,
                         MenuItemLevelOfDetail level, AppItemPlacement placement,
                         const DeviceNameMap &names, std::optional<qint64> sizeBytes);

QString deviceTitle(const SimulatorDevice &device, const DeviceNameMap &names);
QString sizeLine(std::optional<qint64> sizeBytes, MenuItemLevelOfDetail level);
