// The status menu and everything it does: the fixed entries, the variable
// part rebuilt from the connector's catalogue, the three-line device and app
// items, the highlight and modifier-key tracking that changes what a click
// does, clicks, and drops of image files. The menu is shown from the tray
// icon (left click pops it up at the icon; the tray's own context menu has
// plain one-line entries) or, where there is no tray or when asked for, from
// a small always-on-top status window.
//
// Threads: main thread. The connector calls its handlers on the main
// thread; app sizes arrive on the main queue.
#pragma once

#include "menuitemaction.h"
#include "menuitemtext.h"
#include "statusmenumodel.h"

#include "Marrowkit/devtools/xcodeversion.h"
#include "Marrowkit/model/simulatorapp.h"
#include "Marrowkit/model/simulatordevice.h"
#include "Marrowkit/model/simulatorupdate.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class AboutWindow;
class AppIconCache;
class CatalogueMenuAction;
class ParleyConnector;
class QAction;
class QMenu;
class QSystemTrayIcon;
class StatusWindow;
class ThreeLineMenuStyle;

class StatusItemController : public QObject
{
    Q_OBJECT

public:
    enum class StatusArea {
        None,   // the menu only (tests, benchmarks)
        Tray,   // the tray icon when the desktop has a tray, else the window
        Window, // the status window
    };

    struct Options
    {
        StatusArea statusArea = StatusArea::Tray;
        // The installed Xcodes; the developer tools by default. Asked
        // synchronously for the first catalogue, then in the background
        // after each rebuild (it runs programs).
        std::function<QList<XcodeVersion>()> installedXcodes;
        // The keys held now; the keyboard's real state by default.
        std::function<Qt::KeyboardModifiers()> keyboardModifiers;
    };

    using DeviceClosure = std::function<void(const SimulatorDevicePtr &, MenuItemAction)>;
    using AppClosure = std::function<void(const SimulatorAppPtr &, MenuItemAction)>;
    using DropClosure = std::function<void(const SimulatorDevicePtr &, const QList<QUrl> &)>;

    explicit StatusItemController(ParleyConnector &connector, Options options);
    ~StatusItemController() override;

    QMenu *statusMenu() const { return m_statusMenu.get(); }
    QMenu *trayContextMenu() const { return m_trayMenu.get(); }
    QSystemTrayIcon *trayIcon() const { return m_tray.get(); }
    StatusWindow *statusWindow() const { return m_statusWindow.get(); }
    AboutWindow *aboutWindow() const { return m_aboutWindow.get(); }
    const std::optional<XcodeVersion> &lastSelectedXcode() const { return m_lastSelectedXcode; }
    MenuItemAction action() const { return m_action; }
    MenuItemLevelOfDetail levelOfDetail() const { return m_levelOfDetail; }
    QAction *currentSelectedMenuItem() const;
    // An answer about the installed Xcodes is on its way.
    bool isRefreshingXcodes() const { return m_xcodeRefreshPending; }

    DeviceClosure selectedDeviceClosure;
    AppClosure selectedAppClosure;
    DropClosure didDropImageClosure;
    // Opens the preferences; while none is set, Preferences is disabled.
    void setPreferencesOpener(std::function<void()> opener);
    // Shows a message the user must see (refused drops).
    std::function<void(const QString &)> alertPresenter;

    void populateStatusMenu();
    void reestablishSimulatorConnectionAndPopulateMenu();
    // The user selected another Xcode (the preferences say so).
    void xcodeSelectionDidChange(const XcodeVersion &xcode);

    // Menu tracking, as the menus report it; public so that tests and the
    // screenshot can drive a menu without a pointer.
    void menuWillOpen(QMenu *menu);
    void menuDidClose(QMenu *menu);
    void willHighlightItem(QAction *item);
    void updateModifierFlags();
    void onItemTriggered(QAction *item);

    // Drags over and drops onto the status area (the status window).
    bool draggingEntered(const QList<QUrl> &urls) const;
    // Always accepted; acts as described for the first booted device.
    bool performDrop(const QList<QUrl> &urls);
    // A drop onto a device item adds the images to that device.
    bool performDropOnDevice(const SimulatorDevicePtr &device, const QList<QUrl> &urls);

    // Pops the menu up at `position` (global), or below the status area.
    void popUpMenu(std::optional<QPoint> position = std::nullopt);

    // Renders an item's lines for the action and level.
    void updateMenuItem(CatalogueMenuAction *item, MenuItemAction action,
                        MenuItemLevelOfDetail level);

Q_SIGNALS:
    void quitRequested();
    // Another Xcode was selected (announced, or found when the menu opened);
    // the connector is already reconnecting.
    void selectedXcodeChanged();

private:
    void updateArrived(const SimulatorUpdate &update);
    void createMenu();
    void createStatusArea(StatusArea area);
    void addDevicesToStatusMenu();
    void rebuildTrayMenu(const QList<StatusMenuRow> &rows);
    QAction *actionForRow(const StatusMenuRow &row);
    CatalogueMenuAction *menuItemForDevice(const SimulatorDevicePtr &device);
    CatalogueMenuAction *menuItemForApp(const SimulatorAppPtr &app, AppItemPlacement placement,
                                        QObject *parent);
    void requestSize(CatalogueMenuAction *item);
    // Asks for the installed Xcodes off the main thread; a different answer
    // rebuilds the menu.
    void refreshXcodesInBackground();
    void trackMenu(QMenu *menu);
    void openPreferences();
    void about();
    void refuseDrop(const QString &reason) const;
    bool eventFilter(QObject *watched, QEvent *event) override;

    ParleyConnector &m_connector;
    Options m_options;
    std::unique_ptr<ThreeLineMenuStyle> m_style;
    std::unique_ptr<QMenu> m_statusMenu;
    std::unique_ptr<QMenu> m_trayMenu;
    std::unique_ptr<QSystemTrayIcon> m_tray;
    std::unique_ptr<StatusWindow> m_statusWindow;
    std::unique_ptr<AboutWindow> m_aboutWindow;
    std::unique_ptr<AppIconCache> m_icons;
    QAction *m_aboutAction = nullptr;
    QAction *m_preferencesAction = nullptr;
    std::function<void()> m_preferencesOpener;

    std::optional<XcodeVersion> m_lastSelectedXcode;
    MenuItemAction m_action = MenuItemAction::RevealInFileViewer;
    MenuItemLevelOfDetail m_levelOfDetail = MenuItemLevelOfDetail::Default;
    QTimer m_menuTimer;
    std::optional<quint32> m_currentModifierFlag;
    QPointer<CatalogueMenuAction> m_currentSelectedMenuItem;
    // The connector's device names, made once per rebuild rather than for
    // each of its items.
    std::optional<DeviceNameMap> m_rebuildNames;
    std::optional<XcodeSelection> m_xcodes;
    bool m_xcodeRefreshPending = false;
};
