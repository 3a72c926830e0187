// The session bus's file manager first, the desktop's URL handler second.
#include "folderopener.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QUrl>

namespace {

const QString FileManagerService = QStringLiteral("org.freedesktop.FileManager1");

bool showInFileManager(const QUrl &url)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()) {
        return false;
    }
    // Not registered and not activatable: the bus would only answer with an
    // error, so the fallback can go first.
    const auto activatable = bus.interface()->activatableServiceNames().value();
    if (!bus.interface()->isServiceRegistered(FileManagerService).value() &&
        !activatable.contains(FileManagerService)) {
        return false;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        FileManagerService, QStringLiteral("/org/freedesktop/FileManager1"), FileManagerService,
        QStringLiteral("ShowFolders"));
    call << QStringList{url.toString()} << QString();
    return bus.send(call);
}

} // namespace

void DesktopFolderOpener::openFolder(const QString &path)
{
    const QUrl url = QUrl::fromLocalFile(path);
    if (!showInFileManager(url)) {
        QDesktopServices::openUrl(url);
    }
}
