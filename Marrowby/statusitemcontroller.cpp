#include "statusitemcontroller.h"

#include "aboutwindow.h"
#include "actionrule.h"
#include "cataloguemenuaction.h"
#include "imagedrop.h"
#include "menuicons.h"
#include "menustrings.h"
#include "statuswindow.h"
#include "threelinemenustyle.h"

#include "Marrowkit/Connection/parleyconnector.h"
#include "Marrowkit/devtools/developertools.h"
#include "Marrowkit/foundation/dispatchqueue.h"
#include "Marrowkit/foundation/log.h"

#include <QCursor>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPalette>
#include <QSystemTrayIcon>

#include <limits>

namespace {

QString printed(const QList<SimulatorItemPtr> &items)
{
    QStringList parts;
    for (const auto &item : items) {
        parts.append(item ? item->description() : QStringLiteral("nil"));
    }
    return QLatin1Char('[') + parts.join(QStringLiteral(", ")) + QLatin1Char(']');
}

} // namespace

StatusItemController::StatusItemController(ParleyConnector &connector, Options options)
    : m_connector(connector), m_options(std::move(options)),
      m_style(std::make_unique<ThreeLineMenuStyle>()), m_icons(std::make_unique<AppIconCache>())
{
    if (!m_options.installedXcodes) {
        m_options.installedXcodes = [] { return DeveloperTools().installedXcodes(); };
    }
    if (!m_options.keyboardModifiers) {
        m_options.keyboardModifiers = [] { return QGuiApplication::queryKeyboardModifiers(); };
    }
    m_aboutWindow = std::make_unique<AboutWindow>();
    m_statusMenu = std::make_unique<QMenu>(QStringLiteral("Marrowby "));
    trackMenu(m_statusMenu.get());
    m_statusMenu->setAcceptDrops(true);
    connect(m_statusMenu.get(), &QMenu::aboutToHide, this,
            [this] { menuDidClose(m_statusMenu.get()); });

    // Polled only while the menu is open; popup menus keep the event loop
    // turning, so the timer fires during tracking.
    m_menuTimer.setInterval(100);
    connect(&m_menuTimer, &QTimer::timeout, this, &StatusItemController::updateModifierFlags);

    m_connector.addUpdateHandler(QStringLiteral("Marrowby"),
                                 [this](const SimulatorUpdate &update) { updateArrived(update); });
    m_connector.addDeviceUpdateHandler(
        QStringLiteral("StatusItemController"),
        [this](const QList<SimulatorDevicePtr> &) { populateStatusMenu(); });

    createMenu();
    createStatusArea(m_options.statusArea);
    if (m_connector.devices()) {
        populateStatusMenu();
    } else {
        rebuildTrayMenu(variableMenuRows(std::nullopt, {}));
    }
}

StatusItemController::~StatusItemController()
{
    m_connector.removeUpdateHandlerWithID(QStringLiteral("Marrowby"));
    m_connector.removeDeviceUpdateHandlerWithID(QStringLiteral("StatusItemController"));
    // Items (and their submenus) go before the menus that show them.
    m_statusMenu.reset();
}

void StatusItemController::updateArrived(const SimulatorUpdate &update)
{
    MLOG_INFO(QStringLiteral("update: ") + rawValue(update.type()) + QStringLiteral(", items: ") +
              printed(update.items()));
    populateStatusMenu();
}

QAction *StatusItemController::currentSelectedMenuItem() const
{
    return m_currentSelectedMenuItem.data();
}

void StatusItemController::setPreferencesOpener(std::function<void()> opener)
{
    m_preferencesOpener = std::move(opener);
    m_preferencesAction->setEnabled(bool(m_preferencesOpener));
    populateStatusMenu();
}

void StatusItemController::createMenu()
{
    QAction *waiting = m_statusMenu->addAction(MenuStrings::waiting());
    waiting->setEnabled(false);
    m_statusMenu->addSeparator();
    m_aboutAction =
        m_statusMenu->addAction(MenuStrings::about(), this, &StatusItemController::about);
    m_preferencesAction = m_statusMenu->addAction(MenuStrings::preferences(), this,
                                                  &StatusItemController::openPreferences);
    m_preferencesAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    m_preferencesAction->setEnabled(false);
    m_statusMenu->addSeparator();
    QAction *quit =
        m_statusMenu->addAction(MenuStrings::quit(), this, &StatusItemController::quitRequested);
    // The capital letter: Command and Shift with Q, here Ctrl+Shift+Q.
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Q));
}

void StatusItemController::createStatusArea(StatusArea area)
{
    if (area == StatusArea::None) {
        return;
    }
    const QColor ink = QGuiApplication::palette().color(QPalette::WindowText);
    const QIcon icon = MenuIcons::statusIcon(ink);
    if (area == StatusArea::Tray && QSystemTrayIcon::isSystemTrayAvailable()) {
        m_tray = std::make_unique<QSystemTrayIcon>(icon);
        m_tray->setToolTip(QStringLiteral("Marrowby"));
        m_trayMenu = std::make_unique<QMenu>(QStringLiteral("Marrowby"));
        m_tray->setContextMenu(m_trayMenu.get());
        connect(m_tray.get(), &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) {
                    if (reason == QSystemTrayIcon::Trigger ||
                        reason == QSystemTrayIcon::DoubleClick) {
                        popUpMenu();
                    }
                });
        m_tray->show();
        return;
    }
    if (area == StatusArea::Tray) {
        MLOG_WARNING(QStringLiteral("The desktop has no status area (tray); showing the "
                                    "status window instead"));
    }
    m_statusWindow = std::make_unique<StatusWindow>(icon, *this);
    m_statusWindow->show();
}

void StatusItemController::popUpMenu(std::optional<QPoint> position)
{
    if (!position) {
        if (m_statusWindow) {
            position = m_statusWindow->mapToGlobal(QPoint(0, m_statusWindow->height()));
        } else if (m_tray && !m_tray->geometry().isEmpty()) {
            position = m_tray->geometry().bottomLeft();
        } else {
            position = QCursor::pos();
        }
    }
    m_statusMenu->popup(*position);
}

void StatusItemController::trackMenu(QMenu *menu)
{
    menu->setStyle(m_style.get());
    connect(menu, &QMenu::aboutToShow, this, [this, menu] { menuWillOpen(menu); });
    // A menu also reports the highlights and clicks of the submenus it
    // opened: only the menu that holds an item answers for it, or a click
    // in a submenu would act twice.
    connect(menu, &QMenu::hovered, this, [this, menu](QAction *item) {
        if (menu->actions().contains(item)) {
            willHighlightItem(item);
        }
    });
    connect(menu, &QMenu::triggered, this, [this, menu](QAction *item) {
        if (menu->actions().contains(item)) {
            onItemTriggered(item);
        }
    });
    menu->installEventFilter(this);
}

void StatusItemController::reestablishSimulatorConnectionAndPopulateMenu()
{
    m_connector.reconnect();
    populateStatusMenu();
}

void StatusItemController::xcodeSelectionDidChange(const XcodeVersion &xcode)
{
    m_lastSelectedXcode = xcode;
    m_xcodes.reset();
    reestablishSimulatorConnectionAndPopulateMenu();
    Q_EMIT selectedXcodeChanged();
}

void StatusItemController::populateStatusMenu()
{
    const QList<QAction *> items = m_statusMenu->actions();
    const qsizetype aboutIndex = items.indexOf(m_aboutAction);
    if (aboutIndex < 0) {
        return;
    }
    for (qsizetype i = aboutIndex - 1; i >= 0; --i) {
        QAction *old = items.at(i);
        m_statusMenu->removeAction(old);
        if (old->parent() == this || old->parent() == m_statusMenu.get()) {
            delete old;
        }
    }
    addDevicesToStatusMenu();
    m_statusMenu->update();
    if (m_currentSelectedMenuItem) {
        updateMenuItem(m_currentSelectedMenuItem, MenuItemAction::None,
                       MenuItemLevelOfDetail::Default);
    }
    m_currentSelectedMenuItem = nullptr;
}

void StatusItemController::addDevicesToStatusMenu()
{
    XcodeSelection xcodes;
    if (m_connector.devices()) {
        // Running the developer tools' programs takes tens of milliseconds:
        // after the first time the menu is built from the last answer and
        // corrected when a fresh one differs.
        if (!m_xcodes) {
            m_xcodes = xcodeSelectionFrom(m_options.installedXcodes());
        } else {
            refreshXcodesInBackground();
        }
        xcodes = *m_xcodes;
        m_lastSelectedXcode = xcodes.selected;
    }
    const QList<StatusMenuRow> rows = variableMenuRows(m_connector.devices(), xcodes);
    m_rebuildNames = m_connector.deviceNameMap();
    QList<QAction *> made;
    made.reserve(rows.size());
    for (const StatusMenuRow &row : rows) {
        made.append(actionForRow(row));
    }
    m_statusMenu->insertActions(m_aboutAction, made);
    m_rebuildNames.reset();
    m_icons->pruneUnused();
    rebuildTrayMenu(rows);
}

QAction *StatusItemController::actionForRow(const StatusMenuRow &row)
{
    using Kind = StatusMenuRow::Kind;
    switch (row.kind) {
    case Kind::Separator: {
        auto *separator = new QAction(this);
        separator->setSeparator(true);
        return separator;
    }
    case Kind::RecentApp:
        return menuItemForApp(row.app, AppItemPlacement::RecentApps, this);
    case Kind::Device:
        return menuItemForDevice(row.device);
    case Kind::OpenPreferences: {
        auto *item = new QAction(row.text, this);
        item->setEnabled(bool(m_preferencesOpener));
        connect(item, &QAction::triggered, this, &StatusItemController::openPreferences);
        return item;
    }
    default: {
        auto *item = new QAction(row.text, this);
        item->setEnabled(false);
        return item;
    }
    }
}

CatalogueMenuAction *StatusItemController::menuItemForDevice(const SimulatorDevicePtr &device)
{
    auto *item = new CatalogueMenuAction(device, this);
    item->setIcon(device->booted() ? MenuIcons::bootedMark() : MenuIcons::shutdownMark());
    updateMenuItem(item, MenuItemAction::None, MenuItemLevelOfDetail::Default);
    auto submenu = std::make_unique<QMenu>();
    trackMenu(submenu.get());
    QList<QAction *> apps;
    apps.reserve(device->apps().size());
    for (const SimulatorAppPtr &app : device->apps()) {
        apps.append(menuItemForApp(app, AppItemPlacement::DeviceSubmenu, submenu.get()));
    }
    submenu->addActions(apps);
    item->setSubmenu(std::move(submenu));
    return item;
}

CatalogueMenuAction *StatusItemController::menuItemForApp(const SimulatorAppPtr &app,
                                                          AppItemPlacement placement,
                                                          QObject *parent)
{
    auto *item = new CatalogueMenuAction(app, placement, parent);
    item->setIcon(m_icons->iconFor(*app));
    updateMenuItem(item, MenuItemAction::None, MenuItemLevelOfDetail::Default);
    return item;
}

void StatusItemController::updateMenuItem(CatalogueMenuAction *item, MenuItemAction action,
                                          MenuItemLevelOfDetail level)
{
    if (!item) {
        return;
    }
    item->renderedAction = action;
    item->renderedLevel = level;
    const DeviceNameMap names = m_rebuildNames ? *m_rebuildNames : m_connector.deviceNameMap();
    if (item->device()) {
        item->setText(deviceItemText(*item->device(), action, names).joined());
        return;
    }
    if (!item->app()) {
        return;
    }
    const std::optional<qint64> size = item->app()->cachedBundleSize();
    item->setText(
        appItemText(*item->app(), action, level, item->placement(), names, size).joined());
    if (!size) {
        requestSize(item);
    }
}

namespace {

bool sameSelection(const XcodeSelection &a, const XcodeSelection &b)
{
    if (a.installedCount != b.installedCount || a.selected.has_value() != b.selected.has_value()) {
        return false;
    }
    return !a.selected ||
           (*a.selected == *b.selected && a.selected->version() == b.selected->version());
}

} // namespace

void StatusItemController::refreshXcodesInBackground()
{
    if (m_xcodeRefreshPending) {
        return;
    }
    m_xcodeRefreshPending = true;
    QPointer<StatusItemController> self(this);
    auto ask = m_options.installedXcodes;
    GlobalUserInitiatedQueue()->async([self, ask] {
        const XcodeSelection answer = xcodeSelectionFrom(ask());
        GlobalMainQueue()->async([self, answer] {
            if (!self) {
                return;
            }
            self->m_xcodeRefreshPending = false;
            if (self->m_xcodes && sameSelection(*self->m_xcodes, answer)) {
                return;
            }
            self->m_xcodes = answer;
            self->populateStatusMenu();
        });
    });
}

void StatusItemController::requestSize(CatalogueMenuAction *item)
{
    if (item->sizeRequested) {
        return;
    }
    item->sizeRequested = true;
    QPointer<CatalogueMenuAction> guarded(item);
    QPointer<StatusItemController> self(this);
    item->app()->bundleFileSize(GlobalMainQueue(), [guarded, self](qint64) {
        if (!guarded || !self) {
            return;
        }
        guarded->sizeRequested = false;
        self->updateMenuItem(guarded, guarded->renderedAction, guarded->renderedLevel);
    });
}

void StatusItemController::rebuildTrayMenu(const QList<StatusMenuRow> &rows)
{
    if (!m_trayMenu) {
        return;
    }
    // The panel draws this menu itself: one plain line per entry, and a
    // click does what an unmodified click in the status menu does.
    m_trayMenu->clear();
    const DeviceNameMap names = m_connector.deviceNameMap();
    for (const StatusMenuRow &row : rows) {
        switch (row.kind) {
        case StatusMenuRow::Kind::Separator:
            m_trayMenu->addSeparator();
            break;
        case StatusMenuRow::Kind::RecentApp: {
            const MenuItemText text =
                appItemText(*row.app, MenuItemAction::None, MenuItemLevelOfDetail::Default,
                            AppItemPlacement::RecentApps, names, 0);
            const SimulatorAppPtr app = row.app;
            m_trayMenu->addAction(
                text.title + QStringLiteral(" — ") + text.detail, this, [this, app] {
                    if (selectedAppClosure) {
                        selectedAppClosure(app, MenuItemAction::RevealInFileViewer);
                    }
                });
            break;
        }
        case StatusMenuRow::Kind::Device: {
            QMenu *apps =
                m_trayMenu->addMenu(deviceTitle(*row.device, names) + QStringLiteral(" (") +
                                    row.device->version() + QLatin1Char(')'));
            apps->setIcon(row.device->booted() ? MenuIcons::bootedMark()
                                               : MenuIcons::shutdownMark());
            for (const SimulatorAppPtr &app : row.device->apps()) {
                apps->addAction(app->name() + QStringLiteral(" - ") + app->versionDescription(),
                                this, [this, app] {
                                    if (selectedAppClosure) {
                                        selectedAppClosure(app, MenuItemAction::RevealInFileViewer);
                                    }
                                });
            }
            break;
        }
        case StatusMenuRow::Kind::OpenPreferences:
            m_trayMenu->addAction(row.text, this, &StatusItemController::openPreferences)
                ->setEnabled(bool(m_preferencesOpener));
            break;
        default:
            m_trayMenu->addAction(row.text)->setEnabled(false);
            break;
        }
    }
    m_trayMenu->addAction(QStringLiteral("Open Menu"), this, [this] { popUpMenu(); });
    m_trayMenu->addSeparator();
    m_trayMenu->addAction(MenuStrings::about(), this, &StatusItemController::about);
    m_trayMenu->addAction(MenuStrings::preferences(), this, &StatusItemController::openPreferences)
        ->setEnabled(bool(m_preferencesOpener));
    m_trayMenu->addSeparator();
    m_trayMenu->addAction(MenuStrings::quit(), this, &StatusItemController::quitRequested);
}

void StatusItemController::menuWillOpen(QMenu *menu)
{
    if (menu == m_statusMenu.get()) {
        if (m_lastSelectedXcode) {
            const auto selected = DeveloperTools().currentlySelectedXcode();
            if (selected && *selected != *m_lastSelectedXcode) {
                m_xcodes.reset();
                reestablishSimulatorConnectionAndPopulateMenu();
                Q_EMIT selectedXcodeChanged();
            }
        }
        m_menuTimer.start();
    }
    // Sizes are computed afresh at every opening, never while drawing.
    for (QAction *action : menu->actions()) {
        auto *item = qobject_cast<CatalogueMenuAction *>(action);
        if (item && item->app()) {
            item->app()->setCachedBundleSize(std::nullopt);
            item->sizeRequested = false;
            updateMenuItem(item, MenuItemAction::None, MenuItemLevelOfDetail::Default);
        }
    }
}

void StatusItemController::menuDidClose(QMenu *menu)
{
    if (menu != m_statusMenu.get()) {
        return;
    }
    m_menuTimer.stop();
    updateMenuItem(m_currentSelectedMenuItem, MenuItemAction::None, MenuItemLevelOfDetail::Default);
    m_currentSelectedMenuItem = nullptr;
}

void StatusItemController::willHighlightItem(QAction *item)
{
    // Every bit set: the next poll sees a change and renders the new item.
    m_currentModifierFlag = std::numeric_limits<quint32>::max();
    auto *catalogueItem = qobject_cast<CatalogueMenuAction *>(item);
    if (m_currentSelectedMenuItem && m_currentSelectedMenuItem != catalogueItem) {
        updateMenuItem(m_currentSelectedMenuItem, MenuItemAction::None,
                       MenuItemLevelOfDetail::Default);
    }
    m_currentSelectedMenuItem = catalogueItem;
    updateModifierFlags();
}

void StatusItemController::updateModifierFlags()
{
    const quint32 flags = modifierFlagsFromQt(m_options.keyboardModifiers());
    if (m_currentModifierFlag && *m_currentModifierFlag == flags) {
        return;
    }
    m_currentModifierFlag = flags;
    if (!m_currentSelectedMenuItem) {
        return;
    }
    const ChosenAction chosen =
        chooseAction(flags, m_currentSelectedMenuItem->device(), m_currentSelectedMenuItem->app());
    m_action = chosen.action;
    m_levelOfDetail = chosen.levelOfDetail;
    updateMenuItem(m_currentSelectedMenuItem, m_action, m_levelOfDetail);
    MLOG_INFO(QStringLiteral("MenuItemAction: ") + rawValue(m_action));
}

void StatusItemController::onItemTriggered(QAction *action)
{
    auto *item = qobject_cast<CatalogueMenuAction *>(action);
    if (!item) {
        return;
    }
    if (item->device()) {
        if (!selectedDeviceClosure) {
            return;
        }
        selectedDeviceClosure(item->device(), m_action);
    } else if (item->app()) {
        if (!selectedAppClosure) {
            return;
        }
        selectedAppClosure(item->app(), m_action);
    }
    updateMenuItem(item, MenuItemAction::None, MenuItemLevelOfDetail::Default);
}

bool StatusItemController::draggingEntered(const QList<QUrl> &urls) const
{
    return ImageDrop::canDrop(m_connector.devices(), urls);
}

void StatusItemController::refuseDrop(const QString &reason) const
{
    MLOG_WARNING(QStringLiteral("Drop refused: ") + reason);
    if (alertPresenter) {
        alertPresenter(reason);
    }
}

bool StatusItemController::performDrop(const QList<QUrl> &urls)
{
    if (!didDropImageClosure || !m_connector.devices()) {
        return true;
    }
    const SimulatorDevicePtr device = ImageDrop::firstBootedDevice(*m_connector.devices());
    if (!device) {
        refuseDrop(QStringLiteral("No simulator is running: boot one to add photos to it"));
        return true;
    }
    performDropOnDevice(device, urls);
    return true;
}

bool StatusItemController::performDropOnDevice(const SimulatorDevicePtr &device,
                                               const QList<QUrl> &urls)
{
    if (!didDropImageClosure || !device) {
        return false;
    }
    QString reason;
    if (urls.isEmpty() || !ImageDrop::urlsAreValid(urls, &reason)) {
        refuseDrop(reason.isEmpty() ? QStringLiteral("Nothing to add") : reason);
        return false;
    }
    QStringList printedUrls;
    for (const QUrl &url : urls) {
        printedUrls.append(url.toString());
    }
    MLOG_INFO(QStringLiteral("Dropped images: [") + printedUrls.join(QStringLiteral(", ")) +
              QLatin1Char(']'));
    didDropImageClosure(device, urls);
    return true;
}

bool StatusItemController::eventFilter(QObject *watched, QEvent *event)
{
    auto *menu = qobject_cast<QMenu *>(watched);
    if (!menu) {
        return false;
    }
    switch (event->type()) {
    case QEvent::MouseButtonRelease: {
        // An item with a submenu only opens it; a device item's own click
        // carries out its action.
        auto *mouse = static_cast<QMouseEvent *>(event);
        auto *item =
            qobject_cast<CatalogueMenuAction *>(menu->actionAt(mouse->position().toPoint()));
        if (item && item->device()) {
            onItemTriggered(item);
            m_statusMenu->close();
            return true;
        }
        return false;
    }
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto *drag = static_cast<QDropEvent *>(event);
        auto *item =
            qobject_cast<CatalogueMenuAction *>(menu->actionAt(drag->position().toPoint()));
        const QList<QUrl> urls = drag->mimeData()->urls();
        if (item && item->device() && !urls.isEmpty() && ImageDrop::urlsAreValid(urls)) {
            drag->acceptProposedAction();
        } else {
            drag->ignore();
        }
        return true;
    }
    case QEvent::Drop: {
        auto *drop = static_cast<QDropEvent *>(event);
        auto *item =
            qobject_cast<CatalogueMenuAction *>(menu->actionAt(drop->position().toPoint()));
        if (item && item->device()) {
            performDropOnDevice(item->device(), drop->mimeData()->urls());
            drop->acceptProposedAction();
        }
        return true;
    }
    default:
        return false;
    }
}

void StatusItemController::openPreferences()
{
    if (m_preferencesOpener) {
        m_preferencesOpener();
    }
}

void StatusItemController::about()
{
    m_aboutWindow->show();
    m_aboutWindow->raise();
    m_aboutWindow->activateWindow();
}
