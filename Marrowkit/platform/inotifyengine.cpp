#include "platform/inotifyengine_p.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace {

// The node's own changes: its entry list (create, delete, rename in and out),
// its contents and attributes, and the node itself going away.
constexpr uint32_t watchMask = IN_ATTRIB | IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                               IN_MODIFY | IN_DELETE_SELF | IN_MOVE_SELF;

} // namespace

InotifyEngine *InotifyEngine::instance()
{
    // Never destroyed: the reader thread runs until the process exits.
    static std::mutex mutex;
    static InotifyEngine *engine = nullptr;
    std::lock_guard lock(mutex);
    if (!engine) {
        const int descriptor = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (descriptor < 0) {
            return nullptr;
        }
        engine = new InotifyEngine(descriptor);
    }
    return engine;
}

InotifyEngine::InotifyEngine(int descriptor) : m_descriptor(descriptor)
{
    std::thread([this] { readLoop(); }).detach();
}

bool InotifyEngine::addWatch(const QByteArray &path, const SubscriptionPtr &subscription)
{
    std::lock_guard lock(m_mutex);
    const int number = inotify_add_watch(m_descriptor, path.constData(), watchMask);
    if (number < 0) {
        return false;
    }
    std::shared_ptr<Watch> &watch = m_watches[number];
    if (!watch) {
        watch = std::make_shared<Watch>();
        watch->descriptor = number;
    }
    watch->subscribers.push_back(subscription);
    subscription->watch = watch;
    return true;
}

void InotifyEngine::removeWatch(const SubscriptionPtr &subscription)
{
    std::lock_guard lock(m_mutex);
    const std::shared_ptr<Watch> watch = std::exchange(subscription->watch, nullptr);
    if (!watch) {
        return;
    }
    std::erase(watch->subscribers, subscription);
    if (watch->subscribers.empty() && watch->alive) {
        // A watch the kernel already dropped must not be removed again: its
        // number may belong to a new watch by now.
        inotify_rm_watch(m_descriptor, watch->descriptor);
        watch->alive = false;
        m_watches.erase(watch->descriptor);
    }
}

int InotifyEngine::watchCount()
{
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_watches.size());
}

void InotifyEngine::readLoop()
{
    pollfd pfd{m_descriptor, POLLIN, 0};
    for (;;) {
        if (poll(&pfd, 1, -1) < 0 && errno != EINTR) {
            return;
        }
        for (const SubscriptionPtr &subscription : drain()) {
            auto queue = subscription->queue.lock();
            if (!queue) {
                continue;
            }
            queue->async([subscription] {
                if (subscription->active && subscription->onChange) {
                    subscription->onChange();
                }
            });
        }
    }
}

std::vector<InotifyEngine::SubscriptionPtr> InotifyEngine::drain()
{
    QByteArray pending;
    alignas(inotify_event) char buffer[64 * 1024];
    for (;;) {
        const ssize_t length = read(m_descriptor, buffer, sizeof buffer);
        if (length < 0 && errno == EINTR) {
            continue;
        }
        if (length <= 0) {
            break; // EAGAIN: everything pending has been read
        }
        pending.append(buffer, length);
    }

    std::lock_guard lock(m_mutex);
    std::vector<std::shared_ptr<Watch>> touched;
    bool overflowed = false;
    for (qsizetype offset = 0; offset + qsizetype(sizeof(inotify_event)) <= pending.size();) {
        inotify_event event;
        std::memcpy(&event, pending.constData() + offset, sizeof event);
        offset += qsizetype(sizeof event) + event.len;
        if (event.mask & IN_Q_OVERFLOW) {
            overflowed = true;
            continue;
        }
        const auto found = m_watches.find(event.wd);
        if (found == m_watches.end()) {
            continue; // the echo of our own inotify_rm_watch, or no longer watched
        }
        if (std::find(touched.begin(), touched.end(), found->second) == touched.end()) {
            touched.push_back(found->second);
        }
        if (event.mask & IN_IGNORED) {
            // The kernel dropped the watch (node deleted, file system gone).
            // Its observers keep their dead source until they stop; the number
            // leaves the table so that a new watch given it starts afresh.
            found->second->alive = false;
            m_watches.erase(found);
        }
    }
    if (overflowed) {
        // Events were lost, so nobody can tell what changed: tell everyone.
        for (const auto &entry : m_watches) {
            if (std::find(touched.begin(), touched.end(), entry.second) == touched.end()) {
                touched.push_back(entry.second);
            }
        }
    }
    std::vector<SubscriptionPtr> notify;
    for (const auto &watch : touched) {
        notify.insert(notify.end(), watch->subscribers.begin(), watch->subscribers.end());
    }
    return notify;
}
