// The process-wide inotify engine behind FileObserver. The per-user limit on
// inotify instances is small (128 by default) and the service runs thousands
// of observers, so every observer shares one descriptor and one reader
// thread. The kernel hands out one watch descriptor per inode; several
// observers of one node share it, and it is removed when the last one leaves.
//
// The reader reads events in fixed-size chunks, so its memory does not grow
// with a burst of events; what it keeps between chunks is one entry per
// touched watch. When the kernel's queue overflows, events are lost, so every
// observer is told that something changed. The reader never ends: a failing
// poll or read is logged once, retried with a growing pause, and when it
// recovers every observer is told, as events may have been missed meanwhile.
//
// Lock order: an observer's own work runs on its serial queue and takes no
// lock; the engine's mutex is a leaf. While holding it the engine only makes
// inotify calls and updates its tables: it never posts to a queue, calls a
// handler or logs, so a handler may start or stop observers freely.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include "Marrowkit/foundation/dispatchqueue.h"

#include <QByteArray>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <poll.h>

class MARROWKIT_TESTABLE InotifyEngine
{
public:
    struct Watch;

    // One started source of one observer. `active` is read and written only
    // on the observer's queue: a batch posted just before a stop finds it
    // false and does nothing. `posted` is true while a call of onChange
    // waits on the queue; later batches join it instead of queueing more.
    struct Subscription
    {
        std::weak_ptr<DispatchQueue> queue;
        std::function<void()> onChange;
        bool active = true;
        std::atomic<bool> posted{false};
        std::shared_ptr<Watch> watch; // guarded by the engine's mutex
    };
    using SubscriptionPtr = std::shared_ptr<Subscription>;

    // The kernel watch of one inode, while it lasts. `alive` turns false when
    // the kernel drops the watch (the node was deleted or its file system
    // unmounted) or the last subscriber left; its number may then be reused.
    struct Watch
    {
        int descriptor = -1;
        bool alive = true;
        std::vector<SubscriptionPtr> subscribers;
    };

    // The engine, started on first use; nothing when inotify is unavailable
    // (a later call tries again).
    static InotifyEngine *instance();

    // Watches the node at `path` for `subscription`. False when the node
    // cannot be watched.
    bool addWatch(const QByteArray &path, const SubscriptionPtr &subscription);
    // Detaches `subscription`; removes the kernel watch when it was the last.
    void removeWatch(const SubscriptionPtr &subscription);

    // Kernel watches currently held (for tests).
    int watchCount();

    // The reader's poll, replaceable so that tests can make it fail; nothing
    // restores poll(2).
    using PollFunction = int (*)(pollfd *fds, nfds_t count, int timeout);
    static void setPollFunction(PollFunction function);

    // The most the reader takes from the kernel in one read.
    static constexpr size_t readChunkSize = size_t{64} * 1024;

    InotifyEngine(const InotifyEngine &) = delete;
    InotifyEngine &operator=(const InotifyEngine &) = delete;

private:
    // What one wake of the reader found, merged over the chunks it read.
    struct Batch
    {
        std::unordered_set<std::shared_ptr<Watch>> touched;
        bool everything = false; // the kernel lost events, or the reader failed
    };

    explicit InotifyEngine(int descriptor);
    void readLoop();
    // Reads what is pending, chunk by chunk, into `batch`. Answers 0, or the
    // error number of a read that failed.
    int readPending(Batch &batch);
    // Adds the watches named by one chunk of events. Called with m_mutex held.
    void collect(const char *events, size_t length, Batch &batch);
    // The subscriptions to tell about `batch`, each once.
    std::vector<SubscriptionPtr> subscribersOf(const Batch &batch);
    // Queues one onChange call per subscription, unless one is still waiting.
    static void notify(const std::vector<SubscriptionPtr> &subscriptions);

    const int m_descriptor;
    std::mutex m_mutex;
    std::unordered_map<int, std::shared_ptr<Watch>> m_watches; // live watches by number
};
