#include "revealer.h"

#include "Marrowkit/platform/filemanagerwindow.h"

void DesktopRevealer::revealItems(const QList<QUrl> &urls)
{
    FileManagerWindow::showItems(urls);
}
