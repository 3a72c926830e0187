// Queues: where work runs, in which order, and delayed work.
#include "Marrowkit/dispatchqueue.h"

#include "tests/support/testsupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <vector>

using namespace std::chrono_literals;
using testsupport::waitFor;

TEST(DispatchQueue, MainQueueRunsOnTheMainThreadLater)
{
    bool ran = false;
    QThread *where = nullptr;
    GlobalMainQueue()->async([&] {
        ran = true;
        where = QThread::currentThread();
    });
    EXPECT_FALSE(ran) << "async must not run before returning";
    ASSERT_TRUE(waitFor([&] { return ran; }));
    EXPECT_EQ(where, QCoreApplication::instance()->thread());
    EXPECT_TRUE(GlobalMainQueue()->isCurrent());
}

TEST(DispatchQueue, SerialQueueKeepsOrderOnOneThread)
{
    auto queue = makeSerialQueue(QStringLiteral("SimulatorDeviceQueue"));
    EXPECT_EQ(queue->label(), QStringLiteral("SimulatorDeviceQueue"));
    std::mutex mutex;
    std::vector<int> order;
    std::vector<QThread *> threads;
    for (int i = 0; i < 100; ++i) {
        queue->async([&, i] {
            std::lock_guard lock(mutex);
            order.push_back(i);
            threads.push_back(QThread::currentThread());
        });
    }
    queue->sync([] {});
    std::lock_guard lock(mutex);
    ASSERT_EQ(order.size(), 100u);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(order[size_t(i)], i);
        EXPECT_EQ(threads[size_t(i)], threads.front());
    }
    EXPECT_NE(threads.front(), QThread::currentThread());
}

TEST(DispatchQueue, SyncFromInsideTheQueueDoesNotDeadlock)
{
    auto queue = makeSerialQueue(QStringLiteral("nested"));
    bool inner = false;
    queue->sync([&] { queue->sync([&] { inner = true; }); });
    EXPECT_TRUE(inner);
}

TEST(DispatchQueue, QueueReleasedFromItsOwnWorkShutsDownCleanly)
{
    std::atomic<bool> ran{false};
    {
        auto queue = makeSerialQueue(QStringLiteral("self-release"));
        auto *raw = queue.get();
        raw->async([queue = std::move(queue), &ran]() mutable {
            ran = true;
            queue.reset();
        });
    }
    EXPECT_TRUE(waitFor([&] { return ran.load(); }));
}

TEST(DispatchQueue, GlobalQueuesRunOffTheCallerThread)
{
    for (const auto &queue : {GlobalUserInteractiveQueue(), GlobalUserInitiatedQueue(),
                              GlobalUtilityQueue(), GlobalBackgroundQueue()}) {
        std::atomic<QThread *> where{nullptr};
        queue->async([&] { where = QThread::currentThread(); });
        ASSERT_TRUE(waitFor([&] { return where.load() != nullptr; })) << queue->label().toStdString();
        EXPECT_NE(where.load(), QThread::currentThread());
    }
}

TEST(DispatchQueue, AsyncAfterWaitsAtLeastTheDelay)
{
    auto queue = makeSerialQueue(QStringLiteral("delayed"));
    QElapsedTimer timer;
    timer.start();
    std::atomic<qint64> firedAt{-1};
    queue->asyncAfter(150ms, [&] { firedAt = timer.elapsed(); });
    ASSERT_TRUE(waitFor([&] { return firedAt.load() >= 0; }, 5s));
    EXPECT_GE(firedAt.load(), 150);
}

TEST(DispatchQueue, AsyncAfterKeepsItsQueueAlive)
{
    std::atomic<bool> ran{false};
    makeSerialQueue(QStringLiteral("short-lived"))->asyncAfter(50ms, [&] { ran = true; });
    EXPECT_TRUE(waitFor([&] { return ran.load(); }, 5s));
}
