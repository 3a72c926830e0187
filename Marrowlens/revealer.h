// Shows items to the user in the file manager (the reveal actions). Behind an
// interface so the extension's actions can be checked without opening
// windows.
//
// Threads: main thread.
#pragma once

#include <QList>
#include <QUrl>

class Revealer
{
public:
    virtual ~Revealer() = default;
    // Opens the folders holding `urls` with the items selected.
    virtual void revealItems(const QList<QUrl> &urls) = 0;
};

// The user's file manager on the session bus, else the desktop's handler
// for folders.
class DesktopRevealer : public Revealer
{
public:
    void revealItems(const QList<QUrl> &urls) override;
};
