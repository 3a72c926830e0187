// The file-manager extension's switch, inside the volume pane: shows what the
// plug-in registry holds and changes it through pluginkit. A registry that
// cannot be read leaves the switch disabled with the reason beside it; a
// change that fails is reported, and the switch shows the registry as it is
// afterwards.
//
// Changes made elsewhere (pluginkit in a shell, the desktop's settings)
// show while the pane is open: the registry's folder is watched, and every
// change there reads the registry again.
//
// Threads: main thread; pluginkit runs synchronously. The folder's observer
// reports on its own queue and hops to the main thread.
#pragma once

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class FileObserver;
class PluginRegistry;
class QLabel;
class SwitchButton;

class MarrowlensPrefsPane : public QWidget
{
    Q_OBJECT

public:
    // `registry` is not owned and outlives the pane.
    MarrowlensPrefsPane(PluginRegistry &registry, std::function<void(const QString &)> alertSink,
                        QWidget *parent = nullptr);
    ~MarrowlensPrefsPane() override;

    // Where pluginkit keeps the elections of the user's plug-ins.
    static QString registryFolder();

    // Reads the registry and shows it; nothing when it cannot be read.
    std::optional<bool> marrowlensEnabled();
    void refresh();
    void toggleEnableMarrowlens(bool on);

    SwitchButton *toggleEnableMarrowlensButton() const { return m_switch; }
    QLabel *statusLabel() const { return m_status; }
    bool isObservingRegistry() const { return m_marrowlensEnablingChangeObserver != nullptr; }

private:
    void startObserving();
    void stopObserving();
    void renewFileObserver();
    // On the main thread: reads the registry once for any number of changes
    // reported meanwhile.
    void registryChanged();

    PluginRegistry &m_registry;
    std::function<void(const QString &)> m_alertSink;
    SwitchButton *m_switch = nullptr;
    QLabel *m_status = nullptr;
    std::unique_ptr<FileObserver> m_marrowlensEnablingChangeObserver;
    bool m_refreshQueued = false;
};
