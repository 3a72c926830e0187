// Descriptors of entry points (an app's bundle, data or group folder), kept
// for a moment. Every request below an entry point starts its confined walk
// from one, and opening it anew walks a dozen components of the device set's
// path each time.
#pragma once

#include "Marrowfs/marrowfs_export.h"

#include <QHash>
#include <QString>

#include <chrono>
#include <memory>
#include <shared_mutex>

// Shared by every request thread of every volume in the process; the map is
// guarded by m_mutex, and a descriptor handed out stays open for as long as
// its holder keeps it, even when the cache has dropped it meanwhile.
class MARROWFS_TESTABLE EntryPointCache
{
public:
    class Descriptor
    {
    public:
        explicit Descriptor(int fd) : m_fd(fd) {}
        ~Descriptor();
        Descriptor(const Descriptor &) = delete;
        Descriptor &operator=(const Descriptor &) = delete;
        int get() const { return m_fd; }

    private:
        int m_fd;
    };
    using DescriptorPtr = std::shared_ptr<const Descriptor>;

    // How long an entry point is trusted without being opened again: the
    // same time the kernel trusts the volume's answers.
    static constexpr std::chrono::milliseconds MaxAge{1000};

    static EntryPointCache &shared();

    enum class Check {
        // A folder removed since it was opened (no links left) is opened
        // anew, so one deleted and made again at the same place is seen at
        // once.
        Now,
        // A young descriptor is handed out as it is. For walks below the
        // folder: below a removed folder nothing is found, and the caller
        // asks again with Check::Now only then, which saves a system call
        // on every request that finds what it looks for.
        OnNotFound,
    };

    // An O_PATH descriptor of the folder at `path`, or -errno in `error`.
    DescriptorPtr open(const QString &path, int &error, Check check = Check::Now);
    void clear();

private:
    struct Entry
    {
        DescriptorPtr descriptor;
        std::chrono::steady_clock::time_point opened;
    };
    static constexpr qsizetype MaxEntries = 256;

    DescriptorPtr fresh(const QString &path, std::chrono::steady_clock::time_point now);

    std::shared_mutex m_mutex;
    QHash<QString, Entry> m_entries;
};
