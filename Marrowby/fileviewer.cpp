#include "fileviewer.h"

#include "Marrowkit/platform/filemanagerwindow.h"

void DesktopFileViewer::revealItems(const QList<QUrl> &urls)
{
    FileManagerWindow::showItems(urls);
}
