// The process-wide inotify engine behind FileObserver. The per-user limit on
// inotify instances is small (128 by default) and the service runs thousands
// of observers, so every observer shares one descriptor and one reader
// thread. The kernel hands out one watch descriptor per inode; several
// observers of one node share it, and it is removed when the last one leaves.
//
// Lock order: an observer's own work runs on its serial queue and takes no
// lock; the engine's mutex is a leaf. While holding it the engine only makes
// inotify calls and updates its tables: it never posts to a queue, calls a
// handler or logs, so a handler may start or stop observers freely.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include "Marrowkit/foundation/dispatchqueue.h"

#include <QByteArray>

#include <functional>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

class MARROWKIT_TESTABLE InotifyEngine
{
public:
    struct Watch;

    // One started source of one observer. `active` is read and written only
    // on the observer's queue: a batch posted just before a stop finds it
    // false and does nothing.
    struct Subscription
    {
        std::weak_ptr<DispatchQueue> queue;
        std::function<void()> onChange;
        bool active = true;
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

    InotifyEngine(const InotifyEngine &) = delete;
    InotifyEngine &operator=(const InotifyEngine &) = delete;

private:
    explicit InotifyEngine(int descriptor);
    void readLoop();
    // Reads everything pending and returns the subscriptions to notify, one
    // entry per subscription however many events its watch had.
    std::vector<SubscriptionPtr> drain();

    const int m_descriptor;
    std::mutex m_mutex;
    std::unordered_map<int, std::shared_ptr<Watch>> m_watches; // live watches by number
};
