// Queue implementations over Qt: the main queue posts to qApp, global queues are
// QThreadPools, serial queues are strands over one more pool.
#include "Marrowkit/foundation/dispatchqueue.h"
#include "foundation/dispatchqueue_p.h"

#include <QCoreApplication>
#include <QObject>
#include <QScopeGuard>
#include <QSemaphore>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <limits>
#include <mutex>

namespace {

// Runs `work` in the thread of `context`, through its event loop.
void postTo(QObject *context, DispatchQueue::Work work)
{
    QMetaObject::invokeMethod(context, std::move(work), Qt::QueuedConnection);
}

void runBlockingOn(QObject *context, DispatchQueue::Work work)
{
    QSemaphore done;
    postTo(context, [&work, &done] {
        work();
        done.release();
    });
    done.acquire();
}

// An event-loop thread that stays alive for the life of the process.
class LoopThread : public QThread
{
public:
    explicit LoopThread(const QString &name)
    {
        setObjectName(name);
        start();
        m_context.moveToThread(this);
    }
    ~LoopThread() override
    {
        quit();
        wait();
    }
    QObject *context() { return &m_context; }

private:
    QObject m_context;
};

LoopThread &timerThread()
{
    static auto *thread = new LoopThread(QStringLiteral("marrowby.timers"));
    return *thread;
}

class MainQueue final : public DispatchQueue
{
public:
    MainQueue() : DispatchQueue(QStringLiteral("com.apple.main-thread")) {}

    void async(Work work) override { postTo(QCoreApplication::instance(), std::move(work)); }
    void sync(Work work) override
    {
        if (isCurrent()) {
            work();
        } else {
            runBlockingOn(QCoreApplication::instance(), std::move(work));
        }
    }
    bool isCurrent() const override
    {
        auto *app = QCoreApplication::instance();
        return app && QThread::currentThread() == app->thread();
    }
};

class GlobalQueue final : public DispatchQueue
{
public:
    GlobalQueue(const QString &label, QThread::Priority priority, int maxThreads)
        : DispatchQueue(label)
    {
        m_pool.setMaxThreadCount(maxThreads);
        m_pool.setThreadPriority(priority);
        m_pool.setExpiryTimeout(30000);
    }

    void async(Work work) override { m_pool.start(std::move(work)); }
    void sync(Work work) override
    {
        // A concurrent queue may run the work on the caller's thread, as long
        // as the caller waits for it anyway.
        work();
    }
    bool isCurrent() const override { return m_pool.contains(QThread::currentThread()); }

private:
    QThreadPool m_pool;
};

// Serial queues are strands over one shared pool, not threads of their own:
// the system keeps one per file observer, and there may be thousands. Work of
// one queue runs in order, one item at a time, on whichever thread holds the
// strand; a pending drain holds a reference, so queued work always runs.
QThreadPool &serialQueuePool()
{
    static auto *pool = [] {
        auto *p = new QThreadPool;
        p->setMaxThreadCount(64);
        p->setExpiryTimeout(30000);
        return p;
    }();
    return *pool;
}

// The strands the current thread holds, innermost first: a pool thread holds
// the queue it drains, a thread in sync() holds that queue while it runs its
// work there, and a sync() inside that adds the next one.
struct HeldStrand
{
    const DispatchQueue *queue;
    const HeldStrand *outer;
};
thread_local const HeldStrand *t_heldStrands = nullptr;

class HoldingStrand
{
public:
    explicit HoldingStrand(const DispatchQueue *queue) : m_frame{queue, t_heldStrands}
    {
        t_heldStrands = &m_frame;
    }
    ~HoldingStrand() { t_heldStrands = m_frame.outer; }
    HoldingStrand(const HoldingStrand &) = delete;
    HoldingStrand &operator=(const HoldingStrand &) = delete;

private:
    HeldStrand m_frame;
};

// At most one thread owns a strand at a time: a pool thread draining it, or a
// caller of sync(). sync() never waits for the pool. When nobody owns the
// strand the caller takes it at once and runs, on its own thread, whatever
// was queued before it and then its own work; when another thread owns it,
// the caller waits in line, and that owner hands the strand over when it
// reaches the caller's place. So a caller only ever waits for work that is
// running, and any number of callers blocked in sync() (pool threads among
// them) cannot leave their queues without a thread to run on.
class SerialQueue final : public DispatchQueue
{
public:
    explicit SerialQueue(const QString &label) : DispatchQueue(label) {}

    void async(Work work) override
    {
        std::lock_guard lock(m_mutex);
        m_pending.push_back(Item{std::move(work), nullptr});
        if (!m_owned && !m_drainPosted) {
            postDrain();
        }
    }

    void sync(Work work) override
    {
        if (isCurrent()) {
            // This thread already holds the strand further out: the work
            // runs here and now, nested in the work that holds it. Waiting
            // instead would wait for ourselves.
            work();
            return;
        }
        const auto keepAlive = shared_from_this(); // the work may drop the caller's last reference
        Waiter waiter;
        std::unique_lock lock(m_mutex);
        m_pending.push_back(Item{{}, &waiter});
        m_waiters.push_back(&waiter);
        if (!m_owned) {
            m_owned = true;
            waiter.granted = true;
        }
        waiter.wakeup.wait(lock, [&waiter] { return waiter.granted; });

        const HoldingStrand held(this);
        runQueuedBefore(lock, &waiter);
        lock.unlock();
        const auto handOn = qScopeGuard([this] {
            std::unique_lock relock(m_mutex);
            release();
        });
        work();
    }

    bool isCurrent() const override
    {
        for (const HeldStrand *held = t_heldStrands; held; held = held->outer) {
            if (held->queue == this) {
                return true;
            }
        }
        return false;
    }

private:
    // A caller of sync() in line for the strand.
    struct Waiter
    {
        std::condition_variable wakeup;
        bool granted = false; // guarded by m_mutex
    };
    // Queued work, or the place in line of a waiting sync() (`waiter`).
    struct Item
    {
        Work work;
        Waiter *waiter;
    };

    // With m_mutex held: queues a drain on the pool.
    void postDrain()
    {
        m_drainPosted = true;
        serialQueuePool().start(
            [self = std::static_pointer_cast<SerialQueue>(shared_from_this())] { self->drain(); });
    }

    // With m_mutex held: hands the strand to the first caller in line.
    // Notified under the lock, as the waiter (on its own stack) may return
    // as soon as it sees the grant.
    void grantFirstWaiter()
    {
        Waiter *first = m_waiters.front();
        first->granted = true;
        first->wakeup.notify_one();
    }

    // With m_mutex held, by the owner when it is done: the strand goes to the
    // next caller in line, else back to the pool when work is queued.
    void release()
    {
        if (!m_waiters.empty()) {
            grantFirstWaiter();
            return;
        }
        m_owned = false;
        if (!m_pending.empty() && !m_drainPosted) {
            postDrain();
        }
    }

    // By a sync() caller that owns the strand: runs the work queued ahead of
    // it, up to its own place in line, which is always the first place left
    // (the strand only goes to the first caller in line).
    void runQueuedBefore(std::unique_lock<std::mutex> &lock, const Waiter *self)
    {
        for (;;) {
            Item item = std::move(m_pending.front());
            m_pending.pop_front();
            if (item.waiter) {
                Q_ASSERT(item.waiter == self && m_waiters.front() == self);
                m_waiters.pop_front();
                return;
            }
            lock.unlock();
            item.work();
            lock.lock();
        }
    }

    void drain()
    {
        std::unique_lock lock(m_mutex);
        m_drainPosted = false;
        if (m_owned) {
            return; // a sync() caller took the strand; it hands on what is left
        }
        m_owned = true;
        const HoldingStrand held(this);
        // A bounded batch, then back into the pool, so one busy queue cannot
        // hold a pool thread forever.
        for (int ran = 0; ran < 64 && !m_pending.empty(); ++ran) {
            if (m_pending.front().waiter) {
                grantFirstWaiter(); // the strand passes to that caller's thread
                return;
            }
            Item item = std::move(m_pending.front());
            m_pending.pop_front();
            lock.unlock();
            item.work();
            lock.lock();
        }
        release();
    }

    std::mutex m_mutex; // guards everything below
    std::deque<Item> m_pending;
    std::deque<Waiter *> m_waiters; // the callers in m_pending, in line order
    bool m_owned = false;           // a thread holds the strand
    bool m_drainPosted = false;     // a drain is queued on the pool and has not started
};

} // namespace

namespace {

// QTimer counts in int milliseconds (about 24.8 days), so a longer delay is
// waited out in steps on the timer thread.
void armTimer(DispatchQueuePtr queue, std::chrono::milliseconds remaining, DispatchQueue::Work work)
{
    constexpr std::chrono::milliseconds longest(std::numeric_limits<int>::max());
    const auto step = std::min(remaining, longest);
    QTimer::singleShot(
        step, Qt::PreciseTimer, timerThread().context(),
        [queue = std::move(queue), rest = remaining - step, work = std::move(work)]() mutable {
            if (rest.count() > 0) {
                armTimer(std::move(queue), rest, std::move(work));
            } else {
                queue->async(std::move(work));
            }
        });
}

} // namespace

void DispatchQueue::asyncAfter(std::chrono::nanoseconds delay, Work work)
{
    using namespace std::chrono;
    // Round up to whole milliseconds without overflowing near the top of the
    // range; a negative delay means as soon as possible.
    const nanoseconds clamped = std::max(delay, nanoseconds(0));
    auto ms = duration_cast<milliseconds>(clamped);
    if (ms < clamped) {
        ms += milliseconds(1);
    }
    auto self = shared_from_this();
    // The timer lives on the shared timer thread; the work hops to this queue
    // when it fires.
    postTo(timerThread().context(), [self, ms, work = std::move(work)]() mutable {
        armTimer(std::move(self), ms, std::move(work));
    });
}

DispatchQueuePtr GlobalMainQueue()
{
    static DispatchQueuePtr queue = std::make_shared<MainQueue>();
    return queue;
}

DispatchQueuePtr GlobalUserInteractiveQueue()
{
    static DispatchQueuePtr queue = std::make_shared<GlobalQueue>(
        QStringLiteral("com.apple.root.user-interactive-qos"), QThread::HighestPriority, 8);
    return queue;
}

DispatchQueuePtr GlobalUserInitiatedQueue()
{
    static DispatchQueuePtr queue = std::make_shared<GlobalQueue>(
        QStringLiteral("com.apple.root.user-initiated-qos"), QThread::HighPriority, 8);
    return queue;
}

DispatchQueuePtr GlobalUtilityQueue()
{
    static DispatchQueuePtr queue = std::make_shared<GlobalQueue>(
        QStringLiteral("com.apple.root.utility-qos"), QThread::LowPriority, 4);
    return queue;
}

DispatchQueuePtr GlobalBackgroundQueue()
{
    static DispatchQueuePtr queue = std::make_shared<GlobalQueue>(
        QStringLiteral("com.apple.root.background-qos"), QThread::LowestPriority, 4);
    return queue;
}

int serialQueueThreadLimit()
{
    return serialQueuePool().maxThreadCount();
}

void setSerialQueueThreadLimit(int threads)
{
    serialQueuePool().setMaxThreadCount(threads);
}

DispatchQueuePtr makeSerialQueue(const QString &label)
{
    return std::make_shared<SerialQueue>(label);
}
