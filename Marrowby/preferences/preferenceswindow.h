// The preferences window: a General tab (Xcode, start at login, updates)
// and a Volume tab (the volume and, inside it, the file-manager extension).
// One window for the application's life: opening it again brings the same
// window to the front with every pane read afresh. The window's title is the
// label of the tab shown, and it takes the height of that tab, its top edge
// staying where it is.
//
// Threads: main thread.
#pragma once

#include "generalprefspane.h"
#include "marrowfsprefspane.h"

#include <QWidget>

class QTabWidget;

class PreferencesWindow : public QWidget
{
    Q_OBJECT

public:
    struct Options
    {
        GeneralPrefsPane::Options general;
        MarrowfsPrefsPane::Options marrowfs;
    };

    explicit PreferencesWindow(Options options, QWidget *parent = nullptr);

    // Reads every pane afresh, shows the window and brings it to the front.
    void present();
    void refresh();

    QTabWidget *tabs() const { return m_tabs; }
    GeneralPrefsPane *generalPane() const { return m_general; }
    MarrowfsPrefsPane *marrowfsPane() const { return m_marrowfs; }

Q_SIGNALS:
    // The general pane selected another Xcode (see GeneralPrefsPane).
    void xcodeVersionDidChange(const Box<XcodeVersion> &current);

private:
    void tabSelected(int index);
    // Takes the height the shown tab wants, keeping the top edge in place.
    void fitToContent();

    QTabWidget *m_tabs = nullptr;
    GeneralPrefsPane *m_general = nullptr;
    MarrowfsPrefsPane *m_marrowfs = nullptr;
};
