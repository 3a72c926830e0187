// Shows files and folders to the user in their file manager. Behind an
// interface so the menu's actions can be exercised without opening windows.
//
// Threads: main thread.
#pragma once

#include <QList>
#include <QUrl>

class FileViewer
{
public:
    virtual ~FileViewer() = default;
    // Opens the folders that hold `urls` with the items selected.
    virtual void revealItems(const QList<QUrl> &urls) = 0;
};

// The desktop's file manager through org.freedesktop.FileManager1.ShowItems
// on the session bus, else each item's folder opened with the desktop's
// default handler.
class DesktopFileViewer : public FileViewer
{
public:
    void revealItems(const QList<QUrl> &urls) override;
};
