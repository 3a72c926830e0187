// Queues: where work runs, in which order, and delayed work.
#include "Marrowkit/foundation/dispatchqueue.h"

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

TEST(DispatchQueue, SerialQueueRunsOneItemAtATimeInOrder)
{
    auto queue = makeSerialQueue(QStringLiteral("SimulatorDeviceQueue"));
    EXPECT_EQ(queue->label(), QStringLiteral("SimulatorDeviceQueue"));
    std::vector<int> order; // touched only from the queue
    std::atomic<int> running{0};
    std::atomic<bool> overlapped{false};
    std::atomic<bool> offCaller{true};
    QThread *caller = QThread::currentThread();
    for (int i = 0; i < 500; ++i) {
        queue->async([&, i] {
            if (running.fetch_add(1) != 0) {
                overlapped = true;
            }
            EXPECT_TRUE(queue->isCurrent());
            if (QThread::currentThread() == caller) {
                offCaller = false;
            }
            order.push_back(i);
            running.fetch_sub(1);
        });
    }
    queue->sync([] {});
    EXPECT_FALSE(queue->isCurrent());
    EXPECT_FALSE(overlapped.load());
    EXPECT_TRUE(offCaller.load());
    ASSERT_EQ(order.size(), 500u);
    for (int i = 0; i < 500; ++i) {
        EXPECT_EQ(order[size_t(i)], i);
    }
}

TEST(DispatchQueue, ManySerialQueuesDoNotCostAThreadEach)
{
    std::vector<DispatchQueuePtr> queues;
    std::atomic<int> ran{0};
    for (int i = 0; i < 3000; ++i) {
        queues.push_back(makeSerialQueue(QStringLiteral("SimulatorDeviceQueue")));
        queues.back()->async([&] { ran.fetch_add(1); });
    }
    ASSERT_TRUE(waitFor([&] { return ran.load() == 3000; }));
    queues.clear();
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
        ASSERT_TRUE(waitFor([&] { return where.load() != nullptr; }))
            << queue->label().toStdString();
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
