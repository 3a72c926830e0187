#include "menuitemtext.h"

#include "bytecountformatter.h"
#include "menustrings.h"

QString MenuItemText::joined() const
{
    // Made for every item of every rebuild: one allocation, not one per part.
    QString text;
    text.reserve(title.size() + detail.size() + (size ? size->size() + 2 : 1));
    text.append(title).append(QLatin1Char('\n')).append(detail);
    if (size) {
        text.append(QLatin1Char('\n')).append(*size);
    }
    return text;
}

QString deviceTitle(const SimulatorDevice &device, const DeviceNameMap &names)
{
    if (names) {
        const auto found = names->constFind(device.uuid());
        if (found != names->constEnd()) {
            return *found;
        }
    }
    return device.displayName();
}

MenuItemText deviceItemText(const SimulatorDevice &device, MenuItemAction action,
                            const DeviceNameMap &names)
{
    MenuItemText text;
    text.title = deviceTitle(device, names);
    text.indent = 2;
    switch (action) {
    case MenuItemAction::LaunchSimulator:
        // A booted device is already in a Simulator: its version says more.
        text.detail = device.deviceState() == DeviceState::Booted ? device.version()
                                                                  : MenuStrings::deviceLaunch();
        break;
    case MenuItemAction::ResetContentsAndSettings:
        text.detail = MenuStrings::deviceReset();
        break;
    case MenuItemAction::AddPhoto:
        text.detail = MenuStrings::deviceAddPhoto();
        break;
    case MenuItemAction::CopyPathToPasteboard:
        text.detail = MenuStrings::copyPath();
        break;
    default:
        text.detail = device.version();
        break;
    }
    return text;
}

QString sizeLine(std::optional<qint64> sizeBytes, MenuItemLevelOfDetail level)
{
    if (!sizeBytes) {
        return MenuStrings::size(MenuStrings::calculating());
    }
    return MenuStrings::size(level == MenuItemLevelOfDetail::Detailed
                                 ? ByteCountFormatter::bytesOnly(*sizeBytes)
                                 : ByteCountFormatter::allUnits(*sizeBytes));
}

namespace {

QString defaultAppDetail(const SimulatorApp &app, AppItemPlacement placement,
                         const DeviceNameMap &names)
{
    if (placement == AppItemPlacement::DeviceSubmenu) {
        return app.bundleIdentifier();
    }
    const auto device = app.device();
    return device ? deviceTitle(*device, names) : MenuStrings::unknownDevice();
}

} // namespace

MenuItemText appItemText(const SimulatorApp &app, MenuItemAction action,
                         MenuItemLevelOfDetail level, AppItemPlacement placement,
                         const DeviceNameMap &names, std::optional<qint64> sizeBytes)
{
    MenuItemText text;
    text.title.reserve(app.name().size() + 3 + app.versionDescription().size());
    text.title.append(app.name()).append(QLatin1String(" - ")).append(app.versionDescription());
    text.indent = 8;
    switch (action) {
    case MenuItemAction::RevealInFileViewer:
        text.detail = MenuStrings::appReveal();
        break;
    case MenuItemAction::ResetData:
        text.detail = MenuStrings::appReset();
        break;
    case MenuItemAction::Uninstall:
        text.detail = MenuStrings::appUninstall();
        break;
    case MenuItemAction::LaunchInSimulator:
        text.detail = MenuStrings::appLaunch();
        break;
    case MenuItemAction::ShowAppGroups:
        text.detail = MenuStrings::appRevealAppGroups();
        break;
    case MenuItemAction::CopyPathToPasteboard:
        text.detail = MenuStrings::copyPath();
        break;
    default:
        text.detail = defaultAppDetail(app, placement, names);
        break;
    }
    text.size = sizeLine(sizeBytes, level);
    return text;
}
