#include "folderopener.h"

#include "Marrowkit/platform/filemanagerwindow.h"

#include <QUrl>

void DesktopFolderOpener::openFolder(const QString &path)
{
    FileManagerWindow::showFolders({QUrl::fromLocalFile(path)});
}
