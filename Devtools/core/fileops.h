// File-system steps the stand-in builds its changes from. Changes become
// visible in one rename, so that watchers never see half-made containers.
#pragma once

#include <QString>
#include <QStringList>

namespace FileOps {

// Copies a folder tree without following symbolic links (links are copied as
// links). Fails on special files and trees deeper than 64 levels. The
// destination must not exist.
bool copyTree(const QString &source, const QString &destination, QString *error);

// Moves `path` out of sight inside `scratchFolder` with one rename, then
// deletes it without following links (TreeRemover): a linked folder loses the
// link, never its target's contents. Returns false when the rename fails
// (nothing changed then).
bool removeTree(const QString &path, const QString &scratchFolder, QString *error);

// A fresh hidden name inside `folder` for staging ("<folder>/.staging-<UUID>").
QString stagingPath(const QString &folder);

// rename(2), with the reason on failure.
bool renamePath(const QString &from, const QString &to, QString *error);

// Copies one regular file with its permission bits (following a link at
// `source`, never blocking on a FIFO); the destination must not exist. (QFile::copy syncs every
// copy to disk, which a world of thousands of files cannot afford.)
bool copyFile(const QString &source, const QString &destination, QString *error);

// Writes a file under a hidden temporary name beside it, then renames it over
// `path`: readers see the old contents or the new, never part. (No fsync: a
// crash may lose the newest write, never leave a torn one.)
bool writeAtomically(const QString &path, const QByteArray &data, QString *error);

bool makeFolders(const QString &root, const QStringList &relativeFolders, QString *error);

} // namespace FileOps
