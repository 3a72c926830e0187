#include "actionrule.h"

quint32 modifierFlagsFromQt(Qt::KeyboardModifiers modifiers)
{
    quint32 flags = 0;
    if (modifiers.testFlag(Qt::ShiftModifier)) {
        flags |= ModifierFlag::Shift;
    }
    if (modifiers.testFlag(Qt::ControlModifier)) {
        flags |= ModifierFlag::Command;
    }
    if (modifiers.testFlag(Qt::AltModifier)) {
        flags |= ModifierFlag::Option;
    }
    if (modifiers.testFlag(Qt::MetaModifier)) {
        flags |= ModifierFlag::Control;
    }
    return flags;
}

namespace {

bool hasAppGroups(const SimulatorApp &app)
{
    const auto groups = app.appGroups();
    return groups && !groups->isEmpty();
}

} // namespace

ChosenAction chooseAction(quint32 flags, const SimulatorDevicePtr &device,
                          const SimulatorAppPtr &app)
{
    const quint32 held = flags & ModifierFlag::DeviceIndependentMask;
    const bool shift = held & ModifierFlag::Shift;
    const quint32 keys = held & ~ModifierFlag::CapsLock;
    ChosenAction chosen;
    chosen.levelOfDetail = shift ? MenuItemLevelOfDetail::Detailed : MenuItemLevelOfDetail::Default;
    if (!device && !app) {
        return chosen;
    }
    const bool isApp = !device;
    if (keys == ModifierFlag::Command) {
        chosen.action = isApp ? MenuItemAction::LaunchInSimulator : MenuItemAction::LaunchSimulator;
    } else if (keys == ModifierFlag::Option) {
        chosen.action = isApp ? MenuItemAction::ResetData : MenuItemAction::AddPhoto;
    } else if (keys == ModifierFlag::Control) {
        chosen.action =
            isApp ? MenuItemAction::Uninstall : MenuItemAction::ResetContentsAndSettings;
    } else if (isApp && (keys & ModifierFlag::Command) && (keys & ModifierFlag::Option) &&
               hasAppGroups(*app)) {
        chosen.action = MenuItemAction::ShowAppGroups;
    } else if (shift) {
        chosen.action = MenuItemAction::CopyPathToPasteboard;
    } else {
        chosen.action = MenuItemAction::RevealInFileViewer;
    }
    return chosen;
}
