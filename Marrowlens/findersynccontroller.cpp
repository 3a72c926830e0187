#include "findersynccontroller.h"

#include "lenstypes.h"

#include "Marrowkit/platform/filesystemchangenotifier.h"

#include <algorithm>

FinderSyncController::FinderSyncController(QObject *parent) : QObject(parent)
{}

void FinderSyncController::setDirectoryURLs(const QList<QUrl> &urls)
{
    m_directoryURLs = urls;
    Q_EMIT directoryPathsChanged(directoryPaths());
}

QStringList FinderSyncController::directoryPaths() const
{
    QStringList paths;
    if (!m_enabled) {
        return paths;
    }
    for (const QUrl &url : m_directoryURLs) {
        if (url.isLocalFile()) {
            paths.append(url.toLocalFile());
        }
    }
    return paths;
}

void FinderSyncController::setBadgeImage(const QString &imagePath, const QString &label,
                                         const QString &identifier)
{
    for (LensBadge &badge : m_badges) {
        if (badge.identifier == identifier) {
            badge = LensBadge{identifier, label, imagePath};
            return;
        }
    }
    m_badges.append(LensBadge{identifier, label, imagePath});
}

QList<LensBadge> FinderSyncController::badges() const
{
    return m_enabled ? m_badges : QList<LensBadge>();
}

void FinderSyncController::setBadgeIdentifier(const QString &identifier, const QUrl &url)
{
    if (!url.isLocalFile()) {
        return;
    }
    const QString path = url.toLocalFile();
    if (identifier.isEmpty()) {
        m_badgeByPath.remove(path);
    } else {
        m_badgeByPath.insert(path, identifier);
    }
    if (m_enabled) {
        Q_EMIT badgeIdentifierChanged(path, identifier);
    }
}

void FinderSyncController::setSelectedPaths(const QStringList &paths)
{
    // Menus look at the first item and at whether there is more than one;
    // a selection of millions from a hostile caller is not kept whole.
    constexpr qsizetype Kept = 1000;
    m_selection.clear();
    m_selection.reserve(std::min(paths.size(), Kept));
    for (const QString &path : paths.first(std::min(paths.size(), Kept))) {
        m_selection.append(QUrl::fromLocalFile(path));
    }
}

void FinderSyncController::noteFileSystemChanged(const QString &path)
{
    if (!m_enabled) {
        return;
    }
    Q_EMIT fileSystemChanged(path);
    FileSystemChangeNotifier::noteFileSystemChanged(path);
}

void FinderSyncController::setEnabled(bool enabled)
{
    if (enabled == m_enabled) {
        return;
    }
    if (!enabled) {
        // The host drops what it shows before it hears that it may stop
        // asking.
        for (auto it = m_badgeByPath.cbegin(); it != m_badgeByPath.cend(); ++it) {
            Q_EMIT badgeIdentifierChanged(it.key(), QString());
        }
    }
    m_enabled = enabled;
    Q_EMIT directoryPathsChanged(directoryPaths());
}
