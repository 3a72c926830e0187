#include "Marrowkit/platform/filemanagerwindow.h"

#include "Marrowkit/foundation/log.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>

namespace {

const QString FileManagerService = QStringLiteral("org.freedesktop.FileManager1");
// Long enough for a file manager the bus has to start first.
constexpr int AnswerTimeoutMs = 10000;

// The folders themselves, or for items the folders holding them.
void openWithDesktop(const QList<QUrl> &urls, bool items)
{
    for (const QUrl &url : urls) {
        const QFileInfo info(url.toLocalFile());
        const QString folder =
            !items || info.isDir() ? info.absoluteFilePath() : info.absolutePath();
        QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
    }
}

void openAfterRefusal(const QList<QUrl> &urls, bool items, const QString &refusal)
{
    MLOG_INFO(QStringLiteral("No file manager on the bus (%1); opening the folders instead")
                  .arg(refusal));
    openWithDesktop(urls, items);
}

void show(const QString &method, const QList<QUrl> &urls)
{
    if (urls.isEmpty()) {
        return;
    }
    const bool items = method == QLatin1String("ShowItems");
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openWithDesktop(urls, items);
        return;
    }
    QStringList uris;
    for (const QUrl &url : urls) {
        uris.append(url.toString(QUrl::FullyEncoded));
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        FileManagerService, QStringLiteral("/org/freedesktop/FileManager1"), FileManagerService,
        method);
    call << uris << QString();
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, AnswerTimeoutMs));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [urls, items](QDBusPendingCallWatcher *finished) {
                         finished->deleteLater();
                         if (finished->isError()) {
                             openAfterRefusal(urls, items, finished->error().name());
                         }
                     });
}

} // namespace

namespace FileManagerWindow {

void showItems(const QList<QUrl> &urls)
{
    show(QStringLiteral("ShowItems"), urls);
}

void showFolders(const QList<QUrl> &urls)
{
    show(QStringLiteral("ShowFolders"), urls);
}

} // namespace FileManagerWindow
