// Queue implementations over Qt: the main queue posts to qApp, global queues are
// QThreadPools, serial queues are strands over one more pool.
#include "Marrowkit/foundation/dispatchqueue.h"

#include <QCoreApplication>
#include <QObject>
#include <QSemaphore>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
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
// one queue runs in order, one item at a time, on whichever pool thread
// drains it; a pending drain holds a reference, so queued work always runs.
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

thread_local const DispatchQueue *t_currentSerialQueue = nullptr;

class SerialQueue final : public DispatchQueue
{
public:
    explicit SerialQueue(const QString &label) : DispatchQueue(label) {}

    void async(Work work) override
    {
        std::lock_guard lock(m_mutex);
        m_pending.push_back(std::move(work));
        if (!m_draining) {
            m_draining = true;
            scheduleDrain();
        }
    }

    void sync(Work work) override
    {
        if (isCurrent()) {
            work();
            return;
        }
        QSemaphore done;
        async([&work, &done] {
            work();
            done.release();
        });
        done.acquire();
    }

    bool isCurrent() const override { return t_currentSerialQueue == this; }

private:
    // Called with m_mutex held.
    void scheduleDrain()
    {
        serialQueuePool().start(
            [self = std::static_pointer_cast<SerialQueue>(shared_from_this())] { self->drain(); });
    }

    void drain()
    {
        const DispatchQueue *outer = t_currentSerialQueue;
        t_currentSerialQueue = this;
        // A bounded batch, then back into the pool, so one busy queue cannot
        // hold a pool thread forever.
        for (int ran = 0; ran < 64; ++ran) {
            Work work;
            {
                std::lock_guard lock(m_mutex);
                if (m_pending.empty()) {
                    m_draining = false;
                    t_currentSerialQueue = outer;
                    return;
                }
                work = std::move(m_pending.front());
                m_pending.pop_front();
            }
            work();
        }
        t_currentSerialQueue = outer;
        std::lock_guard lock(m_mutex);
        scheduleDrain();
    }

    std::mutex m_mutex; // guards m_pending and m_draining
    std::deque<Work> m_pending;
    bool m_draining = false;
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

DispatchQueuePtr makeSerialQueue(const QString &label)
{
    return std::make_shared<SerialQueue>(label);
}
