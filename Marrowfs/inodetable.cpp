// Inode numbers by path and by real identity, with kernel lookup counts.
#include "inodetable.h"

#include <vector>

namespace {

bool isAtOrBelow(const QString &path, const QString &prefix)
{
    return path == prefix || (path.startsWith(prefix) && path.size() > prefix.size() &&
                              path.at(prefix.size()) == QLatin1Char('/'));
}

} // namespace

InodeTable::InodeTable()
{
    m_entries[RootInode] = Entry{{QStringLiteral("/")}, 1, std::nullopt};
    m_byPath.insert(QStringLiteral("/"), RootInode);
}

uint64_t InodeTable::acquire(const QString &path, std::optional<Identity> identity)
{
    std::lock_guard lock(m_mutex);
    auto found = m_byPath.constFind(path);
    if (found != m_byPath.cend()) {
        ++m_entries[*found].lookups;
        return *found;
    }
    if (identity) {
        auto known = m_byIdentity.find(*identity);
        if (known != m_byIdentity.end()) {
            Entry &entry = m_entries[known->second];
            entry.paths.append(path);
            ++entry.lookups;
            m_byPath.insert(path, known->second);
            return known->second;
        }
    }
    const uint64_t inode = m_next++;
    m_entries[inode] = Entry{{path}, 1, identity};
    m_byPath.insert(path, inode);
    if (identity) {
        m_byIdentity[*identity] = inode;
    }
    return inode;
}

std::optional<QString> InodeTable::path(uint64_t inode) const
{
    std::lock_guard lock(m_mutex);
    auto found = m_entries.find(inode);
    if (found == m_entries.end() || found->second.paths.isEmpty()) {
        return std::nullopt;
    }
    return found->second.paths.first();
}

std::optional<uint64_t> InodeTable::find(const QString &path) const
{
    std::lock_guard lock(m_mutex);
    auto found = m_byPath.constFind(path);
    if (found == m_byPath.cend()) {
        return std::nullopt;
    }
    return *found;
}

void InodeTable::forget(uint64_t inode, uint64_t count)
{
    if (inode == RootInode) {
        return;
    }
    std::lock_guard lock(m_mutex);
    auto found = m_entries.find(inode);
    if (found == m_entries.end()) {
        return;
    }
    if (found->second.lookups > count) {
        found->second.lookups -= count;
        return;
    }
    for (const QString &path : std::as_const(found->second.paths)) {
        auto byPath = m_byPath.find(path);
        if (byPath != m_byPath.end() && *byPath == inode) {
            m_byPath.erase(byPath);
        }
    }
    if (found->second.identity) {
        auto byIdentity = m_byIdentity.find(*found->second.identity);
        if (byIdentity != m_byIdentity.end() && byIdentity->second == inode) {
            m_byIdentity.erase(byIdentity);
        }
    }
    m_entries.erase(found);
}

// The name stops leading to its item. An item left without names keeps its
// last one, unreachable, until the kernel forgets it: open files still work.
void InodeTable::detach(const QString &path)
{
    const auto inode = m_byPath.constFind(path);
    if (inode == m_byPath.cend()) {
        return;
    }
    Entry &entry = m_entries[*inode];
    if (entry.paths.size() > 1) {
        entry.paths.removeAll(path);
    } else if (entry.identity) {
        // A new file made at this name later is another file.
        m_byIdentity.erase(*entry.identity);
        entry.identity.reset();
    }
    m_byPath.erase(inode);
}

void InodeTable::removePath(const QString &path)
{
    std::lock_guard lock(m_mutex);
    detach(path);
}

void InodeTable::rewritePrefix(const QString &from, const QString &to)
{
    std::vector<std::pair<QString, uint64_t>> moving;
    for (auto it = m_byPath.cbegin(); it != m_byPath.cend(); ++it) {
        if (isAtOrBelow(it.key(), from)) {
            moving.emplace_back(it.key(), it.value());
        }
    }
    for (const auto &[path, inode] : moving) {
        m_byPath.remove(path);
    }
    for (const auto &[path, inode] : moving) {
        const QString moved = to + path.mid(from.size());
        QStringList &paths = m_entries[inode].paths;
        paths.replace(paths.indexOf(path), moved);
        m_byPath.insert(moved, inode);
    }
}

void InodeTable::move(const QString &from, const QString &to)
{
    if (from == to) {
        return;
    }
    std::lock_guard lock(m_mutex);
    std::vector<QString> replaced;
    for (auto it = m_byPath.cbegin(); it != m_byPath.cend(); ++it) {
        if (isAtOrBelow(it.key(), to)) {
            replaced.push_back(it.key());
        }
    }
    for (const QString &path : replaced) {
        detach(path);
    }
    rewritePrefix(from, to);
}

void InodeTable::exchange(const QString &first, const QString &second)
{
    std::lock_guard lock(m_mutex);
    const QString parked = QStringLiteral("//exchanging");
    rewritePrefix(first, parked);
    rewritePrefix(second, first);
    rewritePrefix(parked, second);
}

std::size_t InodeTable::size() const
{
    std::lock_guard lock(m_mutex);
    return m_entries.size();
}
