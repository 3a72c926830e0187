// The general pane: which Xcode's simulators are shown (the installed Xcodes
// with the selected one chosen, its path and a button to show it), start at
// login, and the update line (updates come from the package manager here, so
// the update controls are shown disabled).
//
// Choosing another Xcode runs the developer tools' own selection command; on
// success the pane announces the change (xcodeVersionDidChange, the
// in-process XcodeVersionDidChangeNotification) so the menu and the volume
// follow; on failure it says why and shows the installations and the
// selection as they are now.
//
// Threads: main thread. The Xcode list is read synchronously each time the
// pane appears (it runs xcode-select and mdfind).
#pragma once

#include "Marrowkit/devtools/xcodeversion.h"
#include "Marrowkit/foundation/box.h"

#include <QWidget>

#include <functional>
#include <memory>

class FileViewer;
class QComboBox;
class QLabel;
class QPushButton;
class StartAtLoginController;
class SwitchButton;

class GeneralPrefsPane : public QWidget
{
    Q_OBJECT

public:
    struct Options
    {
        // Not owned; outlives the pane.
        StartAtLoginController *startAtLogin = nullptr;
        std::shared_ptr<FileViewer> fileViewer;
        std::function<void(const QString &)> alertSink;
    };

    explicit GeneralPrefsPane(Options options, QWidget *parent = nullptr);

    // "Xcode 7.2 (7C68)", or "Xcode 7.2" when the build is not known.
    static QString titleForXcode(const XcodeVersion &xcode);

    // Reads the installations, the selection and start at login afresh.
    void viewWillAppear();
    // The user chose the item at `index` of the Xcode list.
    void onXcodeSelected(int index);
    void toggleStartAtLogin(bool on);
    void showCurrentXcodeInFileViewer();

    const QList<XcodeVersion> &xcodes() const { return m_xcodes; }
    QComboBox *xcodeSelectButton() const { return m_xcodeSelectButton; }
    QLabel *xcodePathLabel() const { return m_xcodePathLabel; }
    QPushButton *revealXcodeInFileViewButton() const { return m_revealXcodeButton; }
    SwitchButton *startAtLoginButton() const { return m_startAtLoginButton; }
    QLabel *updateInformationTextField() const { return m_updateInformation; }
    QPushButton *installUpdateButton() const { return m_installUpdateButton; }
    QPushButton *checkForUpdatesButton() const { return m_checkForUpdatesButton; }

Q_SIGNALS:
    // Another Xcode is selected; `current` is the selection as read back.
    void xcodeVersionDidChange(const Box<XcodeVersion> &current);

private:
    void showSelectedXcode(const std::optional<XcodeVersion> &xcode);
    void alert(const QString &message);

    Options m_options;
    QList<XcodeVersion> m_xcodes;
    // The item of the selected Xcode (selectedXcodeMenuItem); -1 for none.
    int m_selectedIndex = -1;
    QComboBox *m_xcodeSelectButton = nullptr;
    QLabel *m_xcodePathLabel = nullptr;
    QPushButton *m_revealXcodeButton = nullptr;
    QLabel *m_cltExplanation = nullptr;
    SwitchButton *m_startAtLoginButton = nullptr;
    QLabel *m_updateInformation = nullptr;
    QPushButton *m_installUpdateButton = nullptr;
    QPushButton *m_checkForUpdatesButton = nullptr;
};
