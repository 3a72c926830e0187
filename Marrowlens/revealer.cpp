#include "revealer.h"

#include "Marrowkit/foundation/log.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>

namespace {

const QString FileManagerService = QStringLiteral("org.freedesktop.FileManager1");

void openFolders(const QList<QUrl> &urls)
{
    for (const QUrl &url : urls) {
        const QFileInfo info(url.toLocalFile());
        const QString folder = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
        QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
    }
}

} // namespace

void DesktopRevealer::revealItems(const QList<QUrl> &urls)
{
    if (urls.isEmpty()) {
        return;
    }
    if (!m_bus.isConnected()) {
        openFolders(urls);
        return;
    }
    QStringList uris;
    for (const QUrl &url : urls) {
        uris.append(url.toString(QUrl::FullyEncoded));
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        FileManagerService, QStringLiteral("/org/freedesktop/FileManager1"), FileManagerService,
        QStringLiteral("ShowItems"));
    call << uris << QString();
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, 10000));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [urls](QDBusPendingCallWatcher *finished) {
                         finished->deleteLater();
                         if (finished->isError()) {
                             MLOG_INFO(QStringLiteral("No file manager on the bus (%1); opening "
                                                      "the folders instead")
                                           .arg(finished->error().name()));
                             openFolders(urls);
                         }
                     });
}
