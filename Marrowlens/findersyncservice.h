// The extension program's object on the session bus (/FinderSync): the
// host interface of dbus/dev.marrowby.marrowby.Marrowlens.FinderSync.xml,
// carried onto FinderSync and its host, FinderSyncController.
//
// It also keeps the program's life short and tidy: the plug-in registry is
// asked whether the extension is enabled when the program starts, when a
// window begins to show a folder and when a menu is asked for (a disabled
// extension answers nothing); a host that leaves the bus ends every
// observation it began; and after `idleInterval` with nothing observed the
// program gives up its bus name and quits (the bus starts it again on the
// next call). Dolphin, which knows nothing of this interface, is heard
// through the org.kde.KDirNotify enteredDirectory and leftDirectory signals
// its directory listers send.
//
// Threads: main thread.
#pragma once

#include "lenstypes.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QHash>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <functional>
#include <optional>

class FinderSync;
class FinderSyncController;
class QDBusServiceWatcher;

class FinderSyncService : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_PROPERTY(QStringList directoryPaths READ directoryPaths)

public:
    struct Lifetime
    {
        // Asked whether the extension may run.
        std::function<bool()> isEnabled;
        std::chrono::milliseconds idleInterval{std::chrono::minutes(5)};
        // Called once the program has been idle for idleInterval, after the
        // bus name was given up.
        std::function<void()> quit;
    };

    FinderSyncService(FinderSync &finderSync, FinderSyncController &host, QDBusConnection bus,
                      Lifetime lifetime, QObject *parent = nullptr);
    ~FinderSyncService() override;

    // Exports the object, then claims the name. An error text on failure.
    std::optional<QString> start();

    QStringList directoryPaths() const;

public Q_SLOTS:
    LensBadgeList badges();
    void beginObservingDirectory(const QString &path);
    void endObservingDirectory(const QString &path);
    void requestBadgeIdentifier(const QString &path);
    bool menuForMenuKind(int kind, const QStringList &selectedPaths, QString &title,
                         LensMenuItemList &items);
    void performAction(const QString &action, const QStringList &selectedPaths);

Q_SIGNALS:
    void directoryPathsChanged(const QStringList &paths);
    void badgeIdentifierChanged(const QString &path, const QString &identifier);
    void fileSystemChanged(const QString &path);

private Q_SLOTS:
    // org.kde.KDirNotify, as Dolphin's directory listers announce what they
    // watch: the same as a begin and an end from the lister's process.
    void enteredDirectory(const QString &url);
    void leftDirectory(const QString &url);

private:
    void begin(const QString &host, const QString &path);
    void end(const QString &host, const QString &path);
    std::optional<QString> volumeFolderOf(const QString &url) const;
    bool refreshEnabled();
    QString caller() const;
    void hostLeft(const QString &host);
    void idleCheck();

    FinderSync &m_finderSync;
    FinderSyncController &m_host;
    QDBusConnection m_bus;
    Lifetime m_lifetime;
    QTimer m_idleTimer;
    // The folders each host (by unique bus name) began and has not ended,
    // with how often.
    QHash<QString, QHash<QString, int>> m_observationsByHost;
    QDBusServiceWatcher *m_hostWatcher = nullptr;
};
