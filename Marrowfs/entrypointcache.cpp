// Entry-point descriptors kept for a moment; see entrypointcache_p.h.
#include "entrypointcache_p.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

EntryPointCache::Descriptor::~Descriptor()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

EntryPointCache &EntryPointCache::shared()
{
    static EntryPointCache cache;
    return cache;
}

EntryPointCache::DescriptorPtr EntryPointCache::open(const QString &path, int &error, Check check)
{
    const auto now = std::chrono::steady_clock::now();
    DescriptorPtr cached;
    {
        std::shared_lock lock(m_mutex);
        const auto it = m_entries.constFind(path);
        if (it != m_entries.cend() && now - it->opened < MaxAge) {
            cached = it->descriptor;
        }
    }
    struct stat st = {};
    if (cached &&
        (check == Check::OnNotFound || (::fstat(cached->get(), &st) == 0 && st.st_nlink > 0))) {
        error = 0;
        return cached;
    }
    DescriptorPtr opened = fresh(path, now);
    if (!opened) {
        error = -errno;
        std::unique_lock lock(m_mutex);
        m_entries.remove(path);
        return {};
    }
    error = 0;
    return opened;
}

EntryPointCache::DescriptorPtr EntryPointCache::fresh(const QString &path,
                                                      std::chrono::steady_clock::time_point now)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return {};
    }
    auto descriptor = std::make_shared<const Descriptor>(fd);
    std::unique_lock lock(m_mutex);
    if (m_entries.size() >= MaxEntries) {
        m_entries.clear();
    }
    m_entries.insert(path, Entry{descriptor, now});
    return descriptor;
}

void EntryPointCache::clear()
{
    std::unique_lock lock(m_mutex);
    m_entries.clear();
}
