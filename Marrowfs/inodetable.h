// The numbers the kernel knows the volume's items by. A number stands for one
// virtual path, or for every name of one real file when it has several (hard
// links), so that what the kernel keeps about the file stays true whichever
// name it was changed through. Numbers are handed out on lookup and kept
// until the kernel forgets them. A rename moves the path of the item and of
// everything below it, so open folders keep working after a move.
//
// Threads: every member is guarded by m_mutex; calls come from all request
// threads at once.
#pragma once

#include "Marrowfs/marrowfs_export.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <utility>

class MARROWFS_TESTABLE InodeTable
{
public:
    static constexpr uint64_t RootInode = 1;
    // A real file's device and inode numbers.
    using Identity = std::pair<uint64_t, uint64_t>;

    InodeTable();

    // The number for `path`, counting one more kernel reference to it. A new
    // path of a real file already known under another name gets that name's
    // number.
    uint64_t acquire(const QString &path, std::optional<Identity> identity = std::nullopt);
    // The item's first name that is still in place.
    std::optional<QString> path(uint64_t inode) const;
    // Known number of a path without counting a reference.
    std::optional<uint64_t> find(const QString &path) const;
    void forget(uint64_t inode, uint64_t count);
    // After a removal: the name no longer leads to its item.
    void removePath(const QString &path);
    // After a rename: `from` and everything below it now live at `to`; what
    // was at `to` is no longer reachable by path.
    void move(const QString &from, const QString &to);
    // After an exchange: the two items swapped places.
    void exchange(const QString &first, const QString &second);
    std::size_t size() const;

private:
    struct Entry
    {
        QStringList paths;
        uint64_t lookups = 0;
        std::optional<Identity> identity;
    };
    void detach(const QString &path);
    void rewritePrefix(const QString &from, const QString &to);

    mutable std::mutex m_mutex;
    std::unordered_map<uint64_t, Entry> m_entries;
    QHash<QString, uint64_t> m_byPath;
    std::map<Identity, uint64_t> m_byIdentity;
    uint64_t m_next = RootInode + 1;
};
