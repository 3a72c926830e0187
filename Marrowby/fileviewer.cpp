#include "fileviewer.h"

#include "Marrowkit/foundation/log.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFileInfo>

namespace {

const QString fileManagerService = QStringLiteral("org.freedesktop.FileManager1");

bool showItemsOnBus(const QList<QUrl> &urls)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()) {
        return false;
    }
    // Asking first keeps us from activating nothing and waiting for an error.
    const auto registered = bus.interface()->isServiceRegistered(fileManagerService);
    const auto activatable = bus.interface()->activatableServiceNames();
    if (!registered.value() && !activatable.value().contains(fileManagerService)) {
        return false;
    }
    QStringList uris;
    for (const QUrl &url : urls) {
        uris.append(url.toString(QUrl::FullyEncoded));
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        fileManagerService, QStringLiteral("/org/freedesktop/FileManager1"), fileManagerService,
        QStringLiteral("ShowItems"));
    call << uris << QString();
    return bus.send(call);
}

} // namespace

void DesktopFileViewer::revealItems(const QList<QUrl> &urls)
{
    if (urls.isEmpty() || showItemsOnBus(urls)) {
        return;
    }
    MLOG_INFO(QStringLiteral("No file manager on the bus; opening the folders instead"));
    for (const QUrl &url : urls) {
        const QFileInfo info(url.toLocalFile());
        const QString folder = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
        QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
    }
}
