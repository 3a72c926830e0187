// What a click on a device or app item of the status menu does, and how much
// detail its lines show. Raw values are the case names.
//
// Threads: plain values, any thread.
#pragma once

#include <QString>

#include <optional>

enum class MenuItemAction {
    None,
    RevealInFileViewer,
    ResetData,
    Uninstall,
    LaunchInSimulator,
    LaunchSimulator,
    ResetContentsAndSettings,
    AddPhoto,
    ShowAppGroups,
    CopyPathToPasteboard
};

enum class MenuItemLevelOfDetail { Default, Detailed };

QString rawValue(MenuItemAction action);
QString rawValue(MenuItemLevelOfDetail level);
// Exactly the raw values; nothing for any other text.
std::optional<MenuItemAction> menuItemActionFromRawValue(const QString &rawValue);
std::optional<MenuItemLevelOfDetail> menuItemLevelOfDetailFromRawValue(const QString &rawValue);
