// Which action a click on a highlighted item carries out, chosen from the
// modifier keys held. The rule works on the device-independent flag bits of
// the original desktop; the keys of this one map onto them as
//   Ctrl -> Command, Alt -> Option, Meta (the logo key) -> Control, Shift -> Shift
// so Ctrl launches, Alt resets data or adds photos, Meta uninstalls or
// erases a device, and Shift copies paths and shows sizes in bytes.
//
// Threads: pure functions, any thread.
#pragma once

#include "menuitemaction.h"

#include "Marrowkit/model/simulatorapp.h"
#include "Marrowkit/model/simulatordevice.h"

#include <Qt>

namespace ModifierFlag {
constexpr quint32 CapsLock = 0x10000;
constexpr quint32 Shift = 0x20000;
constexpr quint32 Control = 0x40000;
constexpr quint32 Option = 0x80000;
constexpr quint32 Command = 0x100000;
// Only these upper bits take part in the rule.
constexpr quint32 DeviceIndependentMask = 0xffff0000;
} // namespace ModifierFlag

// The flag bits for the keys Qt reports (Caps Lock is never among them).
quint32 modifierFlagsFromQt(Qt::KeyboardModifiers modifiers);

struct ChosenAction
{
    MenuItemAction action = MenuItemAction::RevealInFileViewer;
    MenuItemLevelOfDetail levelOfDetail = MenuItemLevelOfDetail::Default;
    bool operator==(const ChosenAction &) const = default;
};

// The item's represented object is a device, an app, or neither (both empty).
ChosenAction chooseAction(quint32 flags, const SimulatorDevicePtr &device,
                          const SimulatorAppPtr &app);
