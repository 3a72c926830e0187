// The volume pane: switch the FUSE volume on and off (through the
// application, which owns it), see where it is mounted and show it; without
// FUSE the controls give way to a hint. Holds the file-manager extension's
// pane, shown while the volume is on.
//
// The switch mirrors whether the application holds a volume. Switching on
// when the mount fails says so and switches the volume off again, so the
// switch never shows a volume that is not there.
//
// Threads: main thread.
#pragma once

#include <QWidget>

#include <functional>
#include <memory>

class FileViewer;
class MarrowlensPrefsPane;
class PluginRegistry;
class QLabel;
class QPushButton;
class SwitchButton;

class MarrowfsPrefsPane : public QWidget
{
    Q_OBJECT

public:
    // What the pane needs of the application.
    struct Volume
    {
        std::function<bool()> isOn;      // the application holds a volume
        std::function<bool()> isMounted; // and it is mounted
        std::function<void()> start;
        std::function<void()> stop;
        std::function<QString()> mountPath;
        std::function<bool(QString *reason)> fuseAvailable;
    };
    struct Options
    {
        Volume volume;
        PluginRegistry *registry = nullptr; // not owned; outlives the pane
        std::shared_ptr<FileViewer> fileViewer;
        std::function<void(const QString &)> alertSink;
    };

    explicit MarrowfsPrefsPane(Options options, QWidget *parent = nullptr);

    // Shows the volume as the application has it, or the hint without FUSE.
    void updateViews();
    void toggleEnableMarrowfs(bool on);
    void revealMarrowfsFolder();

    SwitchButton *enableMarrowfsButton() const { return m_enableButton; }
    QLabel *mountPathLabel() const { return m_mountPathLabel; }
    QPushButton *revealMountPathButton() const { return m_revealButton; }
    QWidget *marrowfsAvailableView() const { return m_availableView; }
    QLabel *marrowfsNotAvailableHintTextField() const { return m_hint; }
    MarrowlensPrefsPane *marrowlensPane() const { return m_marrowlensPane; }
    // The extension's part; null without a registry.
    QWidget *marrowlensContainerView() const { return m_marrowlensContainer; }

Q_SIGNALS:
    // The window should take the size its panes now want.
    void contentSizeChanged();

private:
    void updateButtonVisibility();

    Options m_options;
    QWidget *m_availableView = nullptr;
    SwitchButton *m_enableButton = nullptr;
    QLabel *m_mountPathLabel = nullptr;
    QPushButton *m_revealButton = nullptr;
    QLabel *m_hint = nullptr;
    MarrowlensPrefsPane *m_marrowlensPane = nullptr;
    QWidget *m_marrowlensContainer = nullptr;
};
