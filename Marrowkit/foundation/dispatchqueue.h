// Work queues in the shape the rest of the system expects: the main queue (the
// main thread's event loop), four shared global queues of falling priority, and
// cheap serial queues that share one pool of threads. Delayed work goes through one
// shared timer thread and then hops to its target queue.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include <QString>

#include <chrono>
#include <functional>
#include <memory>

class MARROWKIT_EXPORT DispatchQueue : public std::enable_shared_from_this<DispatchQueue>
{
public:
    using Work = std::function<void()>;

    virtual ~DispatchQueue() = default;

    // Runs `work` later on this queue; never runs it before returning.
    virtual void async(Work work) = 0;

    // Runs `work` on this queue and waits for it. On a serial queue the work
    // keeps its place in line after the work queued before it, and may run on
    // the calling thread (so may that earlier work): a caller never waits for
    // a pool thread, only for work that is already running. Called from a
    // thread that is on this queue already (inside its work, or inside a sync
    // made from its work), the work runs at once, nested, instead of waiting
    // for itself.
    virtual void sync(Work work) = 0;

    // True when the calling thread is running this queue's work (for a serial
    // queue, also from inside a sync that its work made on another queue).
    virtual bool isCurrent() const = 0;

    // Runs `work` on this queue once `delay` has passed. The pending call keeps
    // the queue alive until it has run.
    void asyncAfter(std::chrono::nanoseconds delay, Work work);

    QString label() const { return m_label; }

protected:
    explicit DispatchQueue(QString label) : m_label(std::move(label)) {}

private:
    QString m_label;
};

using DispatchQueuePtr = std::shared_ptr<DispatchQueue>;

// The main thread's queue. Needs a QCoreApplication.
MARROWKIT_EXPORT DispatchQueuePtr GlobalMainQueue();
// Global concurrent queues, from highest to lowest priority.
MARROWKIT_EXPORT DispatchQueuePtr GlobalUserInteractiveQueue();
MARROWKIT_EXPORT DispatchQueuePtr GlobalUserInitiatedQueue();
MARROWKIT_EXPORT DispatchQueuePtr GlobalUtilityQueue();
MARROWKIT_EXPORT DispatchQueuePtr GlobalBackgroundQueue();

// A new serial queue: its work runs in order, one item at a time, on threads
// of a shared pool (or on the thread of a caller of sync). Queued work runs
// even after the last reference is dropped.
MARROWKIT_EXPORT DispatchQueuePtr makeSerialQueue(const QString &label);
