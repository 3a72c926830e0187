// A fresh private folder for work in progress: made with mkdtemp (a name
// nobody can predict, mode 0700) inside one of the user's cache folders, and
// removed with everything in it, never through a link, when the object goes.
// Work that must not be seen half done is built here and then moved into
// place.
//
// Owned by the thread that made it.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include "Marrowkit/foundation/result.h"

#include <QString>

#include <memory>

class MARROWKIT_EXPORT ScratchFolder
{
public:
    // A new folder "<prefix>XXXXXX" inside the user cache folder
    // `cacheName` (UserCache::folder). `prefix` must be a plain name.
    static Result<std::shared_ptr<ScratchFolder>> create(const QString &cacheName,
                                                         const QString &prefix);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder &) = delete;
    ScratchFolder &operator=(const ScratchFolder &) = delete;

    QString path() const { return m_path; }
    // `name` inside the folder.
    QString filePath(const QString &name) const;

private:
    explicit ScratchFolder(QString path) : m_path(std::move(path)) {}

    QString m_path;
};
