// The keys-to-action rule, including the combinations the rows are ordered
// for, and the mapping of this desktop's keys onto the rule's flags.
#include "actionrule.h"
#include "menumodelfixtures.h"

#include <gtest/gtest.h>

namespace {

using A = MenuItemAction;
using L = MenuItemLevelOfDetail;
constexpr quint32 Cmd = ModifierFlag::Command;
constexpr quint32 Opt = ModifierFlag::Option;
constexpr quint32 Ctl = ModifierFlag::Control;
constexpr quint32 Sft = ModifierFlag::Shift;
constexpr quint32 Caps = ModifierFlag::CapsLock;

ChosenAction forDevice(quint32 flags)
{
    return chooseAction(flags, fixtures::device(QStringLiteral("iPhone"), {}), nullptr);
}

ChosenAction forApp(quint32 flags, const QStringList &groups = {})
{
    return chooseAction(flags, nullptr, fixtures::app(QStringLiteral("Maps"), 1, groups));
}

} // namespace

TEST(ActionRule, singleKeysChooseTheirActionPerKindOfItem)
{
    EXPECT_EQ(forDevice(0).action, A::RevealInFileViewer);
    EXPECT_EQ(forDevice(Cmd).action, A::LaunchSimulator);
    EXPECT_EQ(forDevice(Opt).action, A::AddPhoto);
    EXPECT_EQ(forDevice(Ctl).action, A::ResetContentsAndSettings);
    EXPECT_EQ(forApp(0).action, A::RevealInFileViewer);
    EXPECT_EQ(forApp(Cmd).action, A::LaunchInSimulator);
    EXPECT_EQ(forApp(Opt).action, A::ResetData);
    EXPECT_EQ(forApp(Ctl).action, A::Uninstall);
    EXPECT_EQ(forApp(0).levelOfDetail, L::Default);
}

TEST(ActionRule, shiftWithAnotherKeyCopiesThePathInDetail)
{
    EXPECT_EQ(forDevice(Cmd | Sft), (ChosenAction{A::CopyPathToPasteboard, L::Detailed}));
    EXPECT_EQ(forApp(Sft), (ChosenAction{A::CopyPathToPasteboard, L::Detailed}));
    EXPECT_EQ(forApp(Ctl | Opt | Sft).action, A::CopyPathToPasteboard);
}

TEST(ActionRule, commandAndOptionShowAppGroupsOnlyWhenTheAppHasSome)
{
    const QStringList groups{QStringLiteral("group.com.example.shared")};
    EXPECT_EQ(forApp(Cmd | Opt, groups).action, A::ShowAppGroups);
    EXPECT_EQ(forApp(Cmd | Opt | Sft, groups), (ChosenAction{A::ShowAppGroups, L::Detailed}));
    EXPECT_EQ(forApp(Cmd | Opt).action, A::RevealInFileViewer);
    EXPECT_EQ(forApp(Cmd | Opt | Sft).action, A::CopyPathToPasteboard);
    EXPECT_EQ(forDevice(Cmd | Opt).action, A::RevealInFileViewer);
}

TEST(ActionRule, capsLockIsIgnoredAndOtherCombinationsReveal)
{
    EXPECT_EQ(forApp(Caps | Cmd).action, A::LaunchInSimulator);
    EXPECT_EQ(forDevice(Caps).action, A::RevealInFileViewer);
    EXPECT_EQ(forDevice(Cmd | Ctl).action, A::RevealInFileViewer);
    // Bits below the device-independent mask take no part.
    EXPECT_EQ(forApp(Cmd | 0x1).action, A::LaunchInSimulator);
}

TEST(ActionRule, anItemWithoutDeviceOrAppReveals)
{
    EXPECT_EQ(chooseAction(Cmd, nullptr, nullptr).action, A::RevealInFileViewer);
    EXPECT_EQ(chooseAction(Sft, nullptr, nullptr).levelOfDetail, L::Detailed);
}

TEST(ActionRule, desktopKeysMapOntoTheRulesFlags)
{
    EXPECT_EQ(modifierFlagsFromQt(Qt::ControlModifier), Cmd);
    EXPECT_EQ(modifierFlagsFromQt(Qt::AltModifier), Opt);
    EXPECT_EQ(modifierFlagsFromQt(Qt::MetaModifier), Ctl);
    EXPECT_EQ(modifierFlagsFromQt(Qt::ShiftModifier | Qt::KeypadModifier), Sft);
    EXPECT_EQ(modifierFlagsFromQt(Qt::NoModifier), 0u);
}

TEST(MenuItemActionValues, rawValuesAreTheCaseNamesAndNothingElseParses)
{
    for (const A action : {A::None, A::RevealInFileViewer, A::ResetData, A::Uninstall,
                           A::LaunchInSimulator, A::LaunchSimulator, A::ResetContentsAndSettings,
                           A::AddPhoto, A::ShowAppGroups, A::CopyPathToPasteboard}) {
        EXPECT_EQ(menuItemActionFromRawValue(rawValue(action)), action);
    }
    EXPECT_EQ(rawValue(A::ShowAppGroups), QStringLiteral("ShowAppGroups"));
    EXPECT_FALSE(menuItemActionFromRawValue(QStringLiteral("showAppGroups")).has_value());
    EXPECT_FALSE(menuItemActionFromRawValue(QString()).has_value());
    EXPECT_EQ(menuItemLevelOfDetailFromRawValue(QStringLiteral("Detailed")), L::Detailed);
    EXPECT_FALSE(menuItemLevelOfDetailFromRawValue(QStringLiteral("Verbose")).has_value());
}
