#include "menuitemaction.h"

#include <array>
#include <utility>

namespace {

constexpr std::array<std::pair<MenuItemAction, const char *>, 10> actionNames{{
    {MenuItemAction::None, "None"},
    {MenuItemAction::RevealInFileViewer, "RevealInFileViewer"},
    {MenuItemAction::ResetData, "ResetData"},
    {MenuItemAction::Uninstall, "Uninstall"},
    {MenuItemAction::LaunchInSimulator, "LaunchInSimulator"},
    {MenuItemAction::LaunchSimulator, "LaunchSimulator"},
    {MenuItemAction::ResetContentsAndSettings, "ResetContentsAndSettings"},
    {MenuItemAction::AddPhoto, "AddPhoto"},
    {MenuItemAction::ShowAppGroups, "ShowAppGroups"},
    {MenuItemAction::CopyPathToPasteboard, "CopyPathToPasteboard"},
}};

} // namespace

QString rawValue(MenuItemAction action)
{
    for (const auto &[value, name] : actionNames) {
        if (value == action) {
            return QString::fromLatin1(name);
        }
    }
    return {};
}

QString rawValue(MenuItemLevelOfDetail level)
{
    return level == MenuItemLevelOfDetail::Detailed ? QStringLiteral("Detailed")
                                                    : QStringLiteral("Default");
}

std::optional<MenuItemAction> menuItemActionFromRawValue(const QString &rawValue)
{
    for (const auto &[value, name] : actionNames) {
        if (rawValue == QLatin1String(name)) {
            return value;
        }
    }
    return std::nullopt;
}

std::optional<MenuItemLevelOfDetail> menuItemLevelOfDetailFromRawValue(const QString &rawValue)
{
    if (rawValue == QLatin1String("Default")) {
        return MenuItemLevelOfDetail::Default;
    }
    if (rawValue == QLatin1String("Detailed")) {
        return MenuItemLevelOfDetail::Detailed;
    }
    return std::nullopt;
}
