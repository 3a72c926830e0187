// The file manager as the extension sees it (the host): the folders the
// extension wants to hear about, the badges it may set and sets, the items
// selected when a menu was asked for, and change notices for open windows.
// Everything the extension tells the host goes out as a signal, which the
// bus object relays to the file-manager shims; the selection comes in with
// each menu request and chosen item.
//
// A disabled extension (see setEnabled) tells the host nothing: no folders,
// no badges.
//
// Threads: main thread.
#pragma once

#include "lenstypes.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

class FinderSyncController : public QObject
{
    Q_OBJECT

public:
    explicit FinderSyncController(QObject *parent = nullptr);

    void setDirectoryURLs(const QList<QUrl> &urls);
    // The local paths of the directory URLs; empty while disabled.
    QStringList directoryPaths() const;

    // Registers (or replaces) the badge `identifier`.
    void setBadgeImage(const QString &imagePath, const QString &label, const QString &identifier);
    QList<LensBadge> badges() const;
    // An empty identifier removes the item's badge. Told to the host even
    // when unchanged: the host may be waiting for the answer to its request.
    void setBadgeIdentifier(const QString &identifier, const QUrl &url);
    // The badge last set for the item at `path` (empty: none).
    QString badgeIdentifier(const QString &path) const { return m_badgeByPath.value(path); }

    QList<QUrl> selectedItemURLs() const { return m_selection; }
    // The host's selection as it came with a menu request or a chosen item
    // (its first thousand items).
    void setSelectedPaths(const QStringList &paths);

    // Windows showing the folder at `path` should read it again: the host's
    // own signal, and org.kde.KDirNotify FilesChanged on the session bus.
    void noteFileSystemChanged(const QString &path);

    bool isEnabled() const { return m_enabled; }
    // Turning the extension off withdraws its folders and its badges.
    void setEnabled(bool enabled);

Q_SIGNALS:
    void directoryPathsChanged(const QStringList &paths);
    void badgeIdentifierChanged(const QString &path, const QString &identifier);
    void fileSystemChanged(const QString &path);

private:
    QList<QUrl> m_directoryURLs;
    QList<LensBadge> m_badges;
    QHash<QString, QString> m_badgeByPath;
    QList<QUrl> m_selection;
    bool m_enabled = true;
};
