// The context menus and the actions behind their items.
#include "findersync.h"

#include "findersynccontroller.h"
#include "lensstrings.h"
#include "revealer.h"

#include "Marrowkit/Connection/parleyconnector.h"
#include "Marrowkit/foundation/log.h"
#include "Marrowkit/model/appcontents.h"

#include <QFileInfo>

namespace {

const QString VolumeIconName = QStringLiteral(".VolumeIcon.icns");
const QString ReadmeName = QStringLiteral("Readme.txt");
const QString SidebarMenuTitle = QStringLiteral("Marrowby");

constexpr int ContextualMenuForItems = 0;
constexpr int ContextualMenuForSidebar = 2;

} // namespace

FinderSyncMenuItem FinderSync::menuItem(const QString &title, const QString &action,
                                        const QString &keyEquivalent)
{
    if (!m_menuItemImage) {
        m_menuItemImage = m_setup.bundlePath + QStringLiteral("/Contents/Resources/AppIcon.png");
        if (!QFileInfo(*m_menuItemImage).isFile()) {
            MLOG_ERROR(QStringLiteral("The menu image is missing from the extension bundle: ") +
                       *m_menuItemImage);
        }
    }
    FinderSyncMenuItem item;
    item.title = title;
    item.action = action;
    item.keyEquivalent = keyEquivalent;
    item.imagePath = *m_menuItemImage;
    return item;
}

std::optional<FinderSyncMenu> FinderSync::menuForMenuKind(int kind)
{
    if (!m_parleyConnector || !m_parleyConnector->isConnected()) {
        return std::nullopt;
    }
    if (kind == ContextualMenuForSidebar) {
        return FinderSyncMenu{SidebarMenuTitle, {}};
    }
    if (kind != ContextualMenuForItems) {
        return std::nullopt;
    }
    const auto path = firstSelectedPath();
    if (!path || path->depth() < 1 || path->name(0) == VolumeIconName ||
        path->name(0) == ReadmeName) {
        return std::nullopt;
    }
    const bool single = m_host.selectedItemURLs().size() == 1;
    switch (path->depth()) {
    case 1:
        return deviceMenu(*path, single);
    case 2:
        return appMenu(*path, single);
    default:
        return FinderSyncMenu{
            QString(),
            {menuItem(LensStrings::generalReveal(), QStringLiteral("revealInFinder:"), {})}};
    }
}

FinderSyncMenu FinderSync::deviceMenu(const VolumePath &path, bool single)
{
    FinderSyncMenu menu;
    menu.items.append(
        menuItem(LensStrings::deviceReveal(), QStringLiteral("revealDeviceInFinder:"), {}));
    if (!single) {
        return menu;
    }
    const QString name = path.name(0);
    const SimulatorDevicePtr device = selectedDevice();
    if (device && device->booted()) {
        // A message, not an action; hosts drop items without a name, so it
        // has one that does nothing.
        FinderSyncMenuItem running =
            menuItem(LensStrings::deviceRunning(name), FinderSync::RunningMessageAction, {});
        running.enabled = false;
        menu.items.append(running);
    } else {
        menu.items.append(
            menuItem(LensStrings::deviceLaunch(name), QStringLiteral("launchSimulator:"), {}));
    }
    menu.items.append(
        menuItem(LensStrings::deviceAddPhotos(name), QStringLiteral("addPhotos:"), {}));
    menu.items.append(
        menuItem(LensStrings::deviceReset(), QStringLiteral("resetContentAndSettings:"), {}));
    return menu;
}

FinderSyncMenu FinderSync::appMenu(const VolumePath &path, bool single)
{
    FinderSyncMenu menu;
    menu.items.append(menuItem(LensStrings::appReveal(), QStringLiteral("revealAppInFinder:"), {}));
    if (!single) {
        return menu;
    }
    const QString name = path.name(1);
    menu.items.append(
        menuItem(LensStrings::appLaunch(name), QStringLiteral("launchInSimulator:"), {}));
    const SimulatorAppPtr app = selectedApp();
    const std::optional<QStringList> groups = app ? app->appGroups() : std::nullopt;
    if (groups && !groups->isEmpty()) {
        menu.items.append(menuItem(LensStrings::appRevealAppGroups(name),
                                   QStringLiteral("revealAppGroups:"), {}));
    }
    menu.items.append(menuItem(LensStrings::appReset(), QStringLiteral("resetAppData:"), {}));
    menu.items.append(menuItem(LensStrings::appUninstall(name), QStringLiteral("uninstall:"), {}));
    return menu;
}

bool FinderSync::performAction(const QString &action)
{
    using Action = void (FinderSync::*)();
    static const QHash<QString, Action> actions = {
        {QStringLiteral("revealDeviceInFinder:"), &FinderSync::revealDeviceInFinder},
        {QStringLiteral("revealAppInFinder:"), &FinderSync::revealAppInFinder},
        {QStringLiteral("revealInFinder:"), &FinderSync::revealInFinder},
        {QStringLiteral("launchSimulator:"), &FinderSync::launchSimulator},
        {QStringLiteral("launchInSimulator:"), &FinderSync::launchInSimulator},
        {QStringLiteral("addPhotos:"), &FinderSync::addPhotos},
        {QStringLiteral("resetContentAndSettings:"), &FinderSync::resetContentAndSettings},
        {QStringLiteral("resetAppData:"), &FinderSync::resetAppData},
        {QStringLiteral("uninstall:"), &FinderSync::uninstall},
        {QStringLiteral("revealAppGroups:"), &FinderSync::revealAppGroups},
    };
    if (action == RunningMessageAction) {
        return true;
    }
    const Action chosen = actions.value(action);
    if (!chosen) {
        return false;
    }
    (this->*chosen)();
    return true;
}

void FinderSync::revealURLs(const QList<QUrl> &urls)
{
    m_revealer.revealItems(urls);
}

void FinderSync::revealDeviceInFinder()
{
    const SimulatorDevicePtr device = selectedDevice();
    if (m_parleyConnector && device && device->containerURL()) {
        revealURLs({*device->containerURL()});
    }
}

void FinderSync::revealAppInFinder()
{
    const SimulatorAppPtr app = selectedApp();
    if (m_parleyConnector && app && app->sandboxURL()) {
        revealURLs({*app->sandboxURL()});
    }
}

void FinderSync::revealInFinder()
{
    const SimulatorAppPtr app = selectedApp();
    const auto path = firstSelectedPath();
    if (!m_parleyConnector || !app || !path) {
        return;
    }
    if (path->depth() == 3 && path->name(2) == AppContents::AppGroupsURLKey) {
        revealAppGroups();
        return;
    }
    QPointer<FinderSync> self(this);
    realPathFor(*path, [self](const std::optional<QString> &realPath) {
        if (self && realPath) {
            self->revealURLs({QUrl::fromLocalFile(*realPath)});
        }
    });
}

void FinderSync::launchSimulator()
{
    if (const SimulatorDevicePtr device = selectedDevice(); m_parleyConnector && device) {
        m_parleyConnector->launchSimulatorForDevice(*device, false);
    }
}

void FinderSync::launchInSimulator()
{
    if (const SimulatorAppPtr app = selectedApp(); m_parleyConnector && app) {
        m_parleyConnector->launchApp(*app);
    }
}

void FinderSync::addPhotos()
{
    if (const SimulatorDevicePtr device = selectedDevice(); m_parleyConnector && device) {
        m_parleyConnector->openAddPhotoDialogForDevice(*device, m_setup.choosePhotos);
    }
}

void FinderSync::resetContentAndSettings()
{
    if (const SimulatorDevicePtr device = selectedDevice(); m_parleyConnector && device) {
        m_parleyConnector->resetContentsAndSettingsOfDevice(*device);
    }
}

void FinderSync::resetAppData()
{
    if (const SimulatorAppPtr app = selectedApp(); m_parleyConnector && app) {
        m_parleyConnector->resetApp(*app);
    }
}

void FinderSync::uninstall()
{
    if (const SimulatorAppPtr app = selectedApp(); m_parleyConnector && app) {
        m_parleyConnector->uninstallApp(*app);
    }
}

void FinderSync::revealAppGroups()
{
    const SimulatorAppPtr app = selectedApp();
    if (!m_parleyConnector || !app) {
        return;
    }
    QPointer<FinderSync> self(this);
    m_parleyConnector->urlsForAppGroupsOfApp(*app, [self](const QList<QUrl> &urls) {
        if (self) {
            self->revealURLs(urls);
        }
    });
}
