// The file-manager extension's switch, inside the volume pane: shows what the
// plug-in registry holds and changes it through pluginkit. A registry that
// cannot be read leaves the switch disabled with the reason beside it; a
// change that fails is reported, and the switch shows the registry as it is
// afterwards.
//
// Threads: main thread; pluginkit runs synchronously.
#pragma once

#include <QWidget>

#include <functional>

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

    // Reads the registry and shows it; nothing when it cannot be read.
    std::optional<bool> marrowlensEnabled();
    void refresh();
    void toggleEnableMarrowlens(bool on);

    SwitchButton *toggleEnableMarrowlensButton() const { return m_switch; }
    QLabel *statusLabel() const { return m_status; }

private:
    PluginRegistry &m_registry;
    std::function<void(const QString &)> m_alertSink;
    SwitchButton *m_switch = nullptr;
    QLabel *m_status = nullptr;
};
