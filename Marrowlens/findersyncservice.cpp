#include "findersyncservice.h"

#include "findersync.h"
#include "findersynccontroller.h"
#include "lenscontract.h"
#include "volumepath.h"

#include "Marrowkit/foundation/log.h"

#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <QDir>
#include <QUrl>

#include <algorithm>

FinderSyncService::FinderSyncService(FinderSync &finderSync, FinderSyncController &host,
                                     QDBusConnection bus, Lifetime lifetime, QObject *parent)
    : QObject(parent), m_finderSync(finderSync), m_host(host), m_bus(std::move(bus)),
      m_lifetime(std::move(lifetime))
{
    connect(&m_host, &FinderSyncController::directoryPathsChanged, this,
            &FinderSyncService::directoryPathsChanged);
    connect(&m_host, &FinderSyncController::badgeIdentifierChanged, this,
            &FinderSyncService::badgeIdentifierChanged);
    connect(&m_host, &FinderSyncController::fileSystemChanged, this,
            &FinderSyncService::fileSystemChanged);
    m_hostWatcher = new QDBusServiceWatcher(this);
    m_hostWatcher->setConnection(m_bus);
    m_hostWatcher->setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    connect(m_hostWatcher, &QDBusServiceWatcher::serviceUnregistered, this,
            &FinderSyncService::hostLeft);
    m_idleTimer.setSingleShot(true);
    m_idleTimer.setInterval(m_lifetime.idleInterval);
    connect(&m_idleTimer, &QTimer::timeout, this, &FinderSyncService::idleCheck);
}

FinderSyncService::~FinderSyncService() = default;

std::optional<QString> FinderSyncService::start()
{
    if (!m_bus.isConnected()) {
        return QStringLiteral("no session bus: %1").arg(m_bus.lastError().message());
    }
    refreshEnabled();
    // The adaptor is made by the caller (it needs the generated class); the
    // object goes on the bus before the name, so no call finds it missing.
    if (!m_bus.registerObject(LensContract::objectPath(), this, QDBusConnection::ExportAdaptors)) {
        return QStringLiteral("cannot export %1: %2")
            .arg(LensContract::objectPath(), m_bus.lastError().message());
    }
    // Dolphin (through its directory listers) says which folders it shows.
    const QString dirNotify = QStringLiteral("org.kde.KDirNotify");
    m_bus.connect(QString(), QString(), dirNotify, QStringLiteral("enteredDirectory"), this,
                  SLOT(enteredDirectory(QString)));
    m_bus.connect(QString(), QString(), dirNotify, QStringLiteral("leftDirectory"), this,
                  SLOT(leftDirectory(QString)));
    if (!m_bus.registerService(LensContract::serviceName())) {
        return QStringLiteral("cannot own the name %1: %2")
            .arg(LensContract::serviceName(), m_bus.lastError().message());
    }
    m_idleTimer.start();
    return std::nullopt;
}

QStringList FinderSyncService::directoryPaths() const
{
    return m_host.directoryPaths();
}

bool FinderSyncService::refreshEnabled()
{
    const bool enabled = !m_lifetime.isEnabled || m_lifetime.isEnabled();
    if (!enabled && m_host.isEnabled()) {
        MLOG_INFO(QStringLiteral("The extension is disabled in the plug-in registry"));
        m_observationsByHost.clear();
        m_finderSync.destroy();
    }
    m_host.setEnabled(enabled);
    return enabled;
}

QString FinderSyncService::caller() const
{
    return calledFromDBus() ? message().service() : QString();
}

LensBadgeList FinderSyncService::badges()
{
    return m_host.badges();
}

void FinderSyncService::beginObservingDirectory(const QString &path)
{
    begin(caller(), path);
}

void FinderSyncService::endObservingDirectory(const QString &path)
{
    end(caller(), path);
}

// KDirNotify's URLs are those of the file manager's listers; only the
// volume's local folders concern us.
std::optional<QString> FinderSyncService::volumeFolderOf(const QString &url) const
{
    const QUrl parsed(url);
    if (!parsed.isLocalFile()) {
        return std::nullopt;
    }
    const QString path = QDir::cleanPath(parsed.toLocalFile());
    if (!VolumePath::below(m_finderSync.volumePath(), path)) {
        return std::nullopt;
    }
    return path;
}

void FinderSyncService::enteredDirectory(const QString &url)
{
    if (const auto path = volumeFolderOf(url)) {
        begin(caller(), *path);
    }
}

void FinderSyncService::leftDirectory(const QString &url)
{
    if (const auto path = volumeFolderOf(url)) {
        end(caller(), *path);
    }
}

void FinderSyncService::begin(const QString &host, const QString &path)
{
    m_idleTimer.start();
    // Only the volume's folders are counted: the bookkeeping of a confused
    // or hostile host stays as small as the extension's own.
    if (!VolumePath::below(m_finderSync.volumePath(), path) || !refreshEnabled()) {
        return;
    }
    int total = 0;
    for (const auto &observations : std::as_const(m_observationsByHost)) {
        total += observations.value(path);
    }
    if (total == 0 && m_finderSync.observedPaths().size() >= FinderSync::MaximumObservedPaths) {
        MLOG_WARNING(QStringLiteral("Too many folders observed; ignored: ") + path);
        return;
    }
    if (!host.isEmpty() && !m_observationsByHost.contains(host)) {
        m_hostWatcher->addWatchedService(host);
    }
    ++m_observationsByHost[host][path];
    // Two windows on one folder are one observation for the extension: it
    // begins with the first and ends with the last.
    if (total == 0) {
        m_finderSync.beginObservingDirectoryAtURL(QUrl::fromLocalFile(path));
    }
}

void FinderSyncService::end(const QString &host, const QString &path)
{
    m_idleTimer.start();
    auto observations = m_observationsByHost.find(host);
    if (observations == m_observationsByHost.end() || !observations->contains(path)) {
        return;
    }
    if (--(*observations)[path] == 0) {
        observations->remove(path);
    }
    if (observations->isEmpty()) {
        m_observationsByHost.erase(observations);
        m_hostWatcher->removeWatchedService(host);
    }
    for (const auto &remaining : std::as_const(m_observationsByHost)) {
        if (remaining.contains(path)) {
            return;
        }
    }
    m_finderSync.endObservingDirectoryAtURL(QUrl::fromLocalFile(path));
}

void FinderSyncService::hostLeft(const QString &host)
{
    const QHash<QString, int> observations = m_observationsByHost.take(host);
    m_hostWatcher->removeWatchedService(host);
    MLOG_INFO(QStringLiteral("%1 left the bus; ending its %2 observations")
                  .arg(host)
                  .arg(observations.size()));
    for (auto it = observations.cbegin(); it != observations.cend(); ++it) {
        const bool observedElsewhere =
            std::any_of(m_observationsByHost.cbegin(), m_observationsByHost.cend(),
                        [&](const auto &other) { return other.contains(it.key()); });
        if (!observedElsewhere) {
            m_finderSync.endObservingDirectoryAtURL(QUrl::fromLocalFile(it.key()));
        }
    }
}

void FinderSyncService::requestBadgeIdentifier(const QString &path)
{
    if (m_host.isEnabled()) {
        m_finderSync.requestBadgeIdentifierForURL(QUrl::fromLocalFile(path));
    }
}

bool FinderSyncService::menuForMenuKind(int kind, const QStringList &selectedPaths, QString &title,
                                        LensMenuItemList &items)
{
    m_idleTimer.start();
    if (!refreshEnabled()) {
        return false;
    }
    m_host.setSelectedPaths(selectedPaths);
    const std::optional<FinderSyncMenu> menu = m_finderSync.menuForMenuKind(kind);
    if (!menu) {
        return false;
    }
    title = menu->title;
    for (const FinderSyncMenuItem &item : menu->items) {
        items.append(LensMenuItem{item.action, item.title, item.imagePath, item.enabled});
    }
    return true;
}

void FinderSyncService::performAction(const QString &action, const QStringList &selectedPaths)
{
    m_idleTimer.start();
    if (!m_host.isEnabled()) {
        return;
    }
    m_host.setSelectedPaths(selectedPaths);
    if (!m_finderSync.performAction(action)) {
        MLOG_INFO(QStringLiteral("Unknown action ignored: ") + action);
    }
}

void FinderSyncService::idleCheck()
{
    if (m_bus.isConnected() && !m_finderSync.observedPaths().isEmpty()) {
        m_idleTimer.start();
        return;
    }
    MLOG_INFO(QStringLiteral("Nothing observed for a while; leaving"));
    // The name goes first: a call after this must start a fresh program.
    m_bus.unregisterService(LensContract::serviceName());
    if (m_lifetime.quit) {
        m_lifetime.quit();
    }
}
