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

    // Runs `work` on this queue and waits for it. Runs it at once when the
    // caller is already on this queue's (only) thread.
    virtual void sync(Work work) = 0;

    // True when the calling thread is one of this queue's threads.
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
// of a shared pool. Queued work runs even after the last reference is dropped.
MARROWKIT_EXPORT DispatchQueuePtr makeSerialQueue(const QString &label);
