// The application: owns the service connector, the status menu and, while
// the volume is switched on, the volume with the feed that fills it from the
// connector, and the preferences window once opened. Starts up in a fixed
// order (log, defaults, volume, the menu's handlers and the preferences) and
// shuts down the volume before the service.
//
// Threads: main thread.
#pragma once

#include "statusitemcontroller.h"

#include "Marrowfs/volumealertpresenter.h"

#include <QObject>
#include <QStringList>

#include <memory>

class ConnectorFeed;
class FileViewer;
class MarrowfsController;
class MenuActionHandlers;
class ParleyConnector;
class PluginRegistry;
class PreferencesWindow;
class StartAtLoginController;

class AppDelegate : public QObject, public VolumeAlertPresenter
{
    Q_OBJECT

public:
    struct Options
    {
        StatusItemController::StatusArea statusArea = StatusItemController::StatusArea::Tray;
        // The bus the service is reached on; the session bus when empty.
        QString busAddress;
        // Where the volume is mounted; the default path when empty.
        QString mountPath;
        // Shows folders; the desktop's file manager when null.
        std::shared_ptr<FileViewer> fileViewer;
        // Picks images for Add Photos; a file dialog when empty.
        std::function<QList<QUrl>()> photoChooser;
        // Receives alerts; a dialog when empty.
        std::function<void(const QString &)> alertSink;
        // The keys held; the keyboard's real state when empty.
        std::function<Qt::KeyboardModifiers()> keyboardModifiers;
    };

    explicit AppDelegate(Options options);
    ~AppDelegate() override;

    void applicationDidFinishLaunching();
    void applicationWillTerminate();
    void startMarrowfs();
    void stopMarrowfs();

    // Opens the preferences window, or brings the open one to the front.
    void showPreferences();
    // Null until the preferences were first opened.
    PreferencesWindow *preferencesWindow() const { return m_preferences.get(); }
    StartAtLoginController &startAtLoginController() const { return *m_startAtLogin; }

    MarrowfsController *marrowfs() const { return m_marrowfs.get(); }
    StatusItemController &statusItemController() const { return *m_statusItemController; }
    ParleyConnector &parleyConnector() const { return *m_parleyConnector; }
    // What this session lacks (display, status area, bus, FUSE), in words.
    const QStringList &missingServices() const { return m_missing; }

    void showAlert(const QString &message) override;

Q_SIGNALS:
    // The Quit item, or a quit signal: the caller ends the event loop.
    void quitRequested();

private:
    void configureLogging();
    void registerMarrowlensActivation();
    void enableMarrowlensOnce();
    void noteMissingServices();

    Options m_options;
    std::unique_ptr<ConnectorFeed> m_feed;
    std::unique_ptr<MarrowfsController> m_marrowfs;
    std::unique_ptr<ParleyConnector> m_parleyConnector;
    std::unique_ptr<StatusItemController> m_statusItemController;
    std::unique_ptr<MenuActionHandlers> m_handlers;
    std::unique_ptr<StartAtLoginController> m_startAtLogin;
    std::unique_ptr<PluginRegistry> m_pluginRegistry;
    std::unique_ptr<PreferencesWindow> m_preferences;
    QStringList m_missing;
    bool m_terminated = false;
};
