#include "platform/inotifyengine_p.h"

#include "Marrowkit/foundation/log.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include <sys/inotify.h>
#include <unistd.h>

namespace {

std::atomic<InotifyEngine::PollFunction> g_poll{&::poll};

// A run of failures of the reader: the first is logged, each is followed by
// a pause twice as long as the one before (up to a second), and the first
// success after them ends the run.
class ReaderTrouble
{
public:
    void failed(const QString &what, int error)
    {
        if (m_failures++ == 0) {
            MLOG_ERROR(QStringLiteral("File observation stalled: %1 failed: %2; retrying")
                           .arg(what, qt_error_string(error)));
        }
        std::this_thread::sleep_for(m_pause);
        m_pause = std::min(m_pause * 2, std::chrono::milliseconds(1000));
    }

    // True once, on the first success after failures.
    bool recovered()
    {
        if (m_failures == 0) {
            return false;
        }
        MLOG_WARNING(
            QStringLiteral("File observation resumed after %1 failed attempts").arg(m_failures));
        m_failures = 0;
        m_pause = firstPause;
        return true;
    }

private:
    static constexpr std::chrono::milliseconds firstPause{10};
    int m_failures = 0;
    std::chrono::milliseconds m_pause = firstPause;
};

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

void InotifyEngine::setPollFunction(PollFunction function)
{
    g_poll.store(function ? function : &::poll);
}

void InotifyEngine::readLoop()
{
    ReaderTrouble trouble;
    for (;;) {
        pollfd pfd{m_descriptor, POLLIN, 0};
        const int ready = g_poll.load()(&pfd, 1, -1);
        int error = 0;
        if (ready < 0) {
            error = errno;
            if (error == EINTR) {
                continue; // a signal, not a fault
            }
        } else if (pfd.revents & POLLNVAL) {
            error = EBADF;
        } else if (pfd.revents & (POLLERR | POLLHUP)) {
            error = EIO;
        }

        Batch batch;
        if (!error && ready > 0) {
            error = readPending(batch);
        }
        if (!error && trouble.recovered()) {
            batch.everything = true;
        }
        // What was read before a failure is still told.
        notify(subscribersOf(batch));
        if (error) {
            trouble.failed(QStringLiteral("poll or read"), error);
        }
    }
}

int InotifyEngine::readPending(Batch &batch)
{
    // A bounded number of chunks per wake: under a constant stream of events
    // the observers still hear something now and then; the rest is read on
    // the next wake, which comes at once.
    constexpr int chunksPerWake = 16;
    alignas(inotify_event) char buffer[readChunkSize];
    for (int chunk = 0; chunk < chunksPerWake;) {
        const ssize_t length = read(m_descriptor, buffer, sizeof buffer);
        if (length < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : errno;
        }
        if (length == 0) {
            return 0;
        }
        std::lock_guard lock(m_mutex);
        collect(buffer, size_t(length), batch);
        ++chunk;
    }
    return 0;
}

void InotifyEngine::collect(const char *events, size_t length, Batch &batch)
{
    // The kernel hands out whole events only, so each chunk stands alone.
    for (size_t offset = 0; offset + sizeof(inotify_event) <= length;) {
        inotify_event event;
        std::memcpy(&event, events + offset, sizeof event);
        offset += sizeof event + event.len;
        if (event.mask & IN_Q_OVERFLOW) {
            batch.everything = true;
            continue;
        }
        const auto found = m_watches.find(event.wd);
        if (found == m_watches.end()) {
            continue; // the echo of our own inotify_rm_watch, or no longer watched
        }
        batch.touched.insert(found->second);
        if (event.mask & IN_IGNORED) {
            // The kernel dropped the watch (node deleted, file system gone).
            // Its observers keep their dead source until they stop; the number
            // leaves the table so that a new watch given it starts afresh.
            found->second->alive = false;
            m_watches.erase(found);
        }
    }
}

std::vector<InotifyEngine::SubscriptionPtr> InotifyEngine::subscribersOf(const Batch &batch)
{
    std::vector<SubscriptionPtr> subscriptions;
    std::lock_guard lock(m_mutex);
    auto add = [&subscriptions](const Watch &watch) {
        subscriptions.insert(subscriptions.end(), watch.subscribers.begin(),
                             watch.subscribers.end());
    };
    for (const auto &watch : batch.touched) {
        add(*watch);
    }
    if (batch.everything) {
        // Nobody can tell what changed: tell everyone.
        for (const auto &[number, watch] : m_watches) {
            if (!batch.touched.count(watch)) {
                add(*watch);
            }
        }
    }
    return subscriptions;
}

void InotifyEngine::notify(const std::vector<SubscriptionPtr> &subscriptions)
{
    for (const SubscriptionPtr &subscription : subscriptions) {
        auto queue = subscription->queue.lock();
        if (!queue || subscription->posted.exchange(true)) {
            continue;
        }
        queue->async([subscription] {
            // Cleared first: events that come during the handler post again.
            subscription->posted = false;
            if (subscription->active && subscription->onChange) {
                subscription->onChange();
            }
        });
    }
}
