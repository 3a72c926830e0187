// Announces that the contents of a folder changed behind the file viewers'
// backs: a signal of this process, and org.kde.KDirNotify FilesChanged on the
// session bus for file managers that listen there. Without a reachable
// session bus only the in-process signal goes out.
//
// Threads: noteFileSystemChanged may be called from any thread; the object
// lives in the main thread, so queued receivers get the signal there.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include <QObject>
#include <QString>

class MARROWKIT_EXPORT FileSystemChangeNotifier : public QObject
{
    Q_OBJECT

public:
    // The one notifier of the process, made on first use.
    static FileSystemChangeNotifier *instance();

    // Announces a change inside the folder at `path`.
    static void noteFileSystemChanged(const QString &path);

Q_SIGNALS:
    void fileSystemChanged(const QString &path);

private:
    FileSystemChangeNotifier() = default;
};
