#include "Marrowkit/platform/filesystemchangenotifier.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QFileInfo>
#include <QThread>
#include <QUrl>

namespace {

// Only talk to a bus that is there: without an address libdbus may try to
// launch one, which a background service must not do.
bool sessionBusConfigured()
{
    if (qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS")) {
        return true;
    }
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"));
}

void announceOnBus(const QString &path)
{
    if (!sessionBusConfigured()) {
        return;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    QDBusMessage message = QDBusMessage::createSignal(
        QStringLiteral("/"), QStringLiteral("org.kde.KDirNotify"), QStringLiteral("FilesChanged"));
    message << QStringList{QUrl::fromLocalFile(path).toString()};
    bus.send(message);
}

} // namespace

FileSystemChangeNotifier *FileSystemChangeNotifier::instance()
{
    static FileSystemChangeNotifier *notifier = [] {
        auto *made = new FileSystemChangeNotifier;
        if (auto *app = QCoreApplication::instance()) {
            made->moveToThread(app->thread());
        }
        return made;
    }();
    return notifier;
}

void FileSystemChangeNotifier::noteFileSystemChanged(const QString &path)
{
    Q_EMIT instance()->fileSystemChanged(path);
    announceOnBus(path);
}
