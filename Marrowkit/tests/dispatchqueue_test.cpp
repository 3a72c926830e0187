// Queues: where work runs, in which order, and delayed work.
#include "Marrowkit/foundation/dispatchqueue.h"
#include "serialthreadlimit.h"

#include "tests/support/testsupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
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
    std::atomic<int> ran{0};
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
            ran.fetch_add(1);
        });
    }
    // Polled rather than waited for with sync, which may run queued work on
    // the caller's thread.
    ASSERT_TRUE(waitFor([&] { return ran.load() == 500; }));
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

TEST(DispatchQueue, SyncFromInsideTheQueueRunsAtOnceNested)
{
    auto outer = makeSerialQueue(QStringLiteral("nested"));
    auto other = makeSerialQueue(QStringLiteral("between"));
    std::vector<int> steps;
    outer->sync([&] {
        steps.push_back(1);
        outer->sync([&] { steps.push_back(2); });
        // Through another queue and back: the thread still holds `outer`.
        other->sync([&] {
            EXPECT_TRUE(outer->isCurrent());
            EXPECT_TRUE(other->isCurrent());
            outer->sync([&] { steps.push_back(3); });
        });
        EXPECT_FALSE(other->isCurrent());
        steps.push_back(4);
    });
    EXPECT_EQ(steps, (std::vector<int>{1, 2, 3, 4}));
    EXPECT_FALSE(outer->isCurrent());
}

TEST(DispatchQueue, SyncAndAsyncFromManyThreadsKeepEachCallersOrderAndNeverOverlap)
{
    auto queue = makeSerialQueue(QStringLiteral("mixed"));
    struct Shared
    {
        std::vector<std::pair<int, int>> order; // touched only on the queue
        std::atomic<int> running{0};
        std::atomic<bool> overlapped{false};
    };
    auto shared = std::make_shared<Shared>();
    auto record = [shared](int thread, int step) {
        return [shared, thread, step] {
            if (shared->running.fetch_add(1) != 0) {
                shared->overlapped = true;
            }
            shared->order.emplace_back(thread, step);
            shared->running.fetch_sub(1);
        };
    };
    constexpr int threads = 8;
    constexpr int steps = 300;
    std::vector<std::thread> callers;
    callers.reserve(threads);
    for (int t = 0; t < threads; ++t) {
        callers.emplace_back([&, t] {
            for (int step = 0; step < steps; ++step) {
                // Every third call waits; the others only queue.
                if (step % 3 == 0) {
                    queue->sync(record(t, step));
                } else {
                    queue->async(record(t, step));
                }
            }
        });
    }
    for (auto &caller : callers) {
        caller.join();
    }
    queue->sync([] {});
    EXPECT_FALSE(shared->overlapped.load());
    ASSERT_EQ(shared->order.size(), size_t(threads * steps));
    std::vector<int> next(threads, 0);
    for (const auto &[thread, step] : shared->order) {
        EXPECT_EQ(step, next[size_t(thread)]) << "caller " << thread << " out of order";
        next[size_t(thread)] = step + 1;
    }
}

TEST(DispatchQueue, FarMoreCallersBlockedInSyncThanPoolThreadsAllFinish)
{
    // Every source queue's work waits in sync on a shared middle queue, and
    // inside that on a leaf queue of its own, while the middles also have
    // queued work of their own. With two pool threads and 64 sources, a sync
    // that waited for a pool thread would wait for ever.
    SerialThreadLimit limit(2);
    constexpr int sources = 64;
    constexpr int middles = 8;
    struct Shared
    {
        std::vector<DispatchQueuePtr> sources, middles, leaves;
        std::atomic<int> done{0};
        std::atomic<int> middleWork{0};
    };
    auto shared = std::make_shared<Shared>();
    for (int i = 0; i < sources; ++i) {
        shared->sources.push_back(makeSerialQueue(QStringLiteral("source")));
        shared->leaves.push_back(makeSerialQueue(QStringLiteral("leaf")));
    }
    for (int i = 0; i < middles; ++i) {
        shared->middles.push_back(makeSerialQueue(QStringLiteral("middle")));
    }
    for (int i = 0; i < sources; ++i) {
        shared->middles[size_t(i % middles)]->async([shared] { shared->middleWork.fetch_add(1); });
        shared->sources[size_t(i)]->async([shared, i] {
            shared->middles[size_t(i % middles)]->sync([shared, i] {
                shared->leaves[size_t(i)]->sync([shared] { shared->done.fetch_add(1); });
            });
        });
    }
    // A regression fails here at the deadline instead of hanging the suite.
    ASSERT_TRUE(waitFor([&] { return shared->done.load() == sources; }, 60s))
        << shared->done.load() << " of " << sources << " finished";
    EXPECT_TRUE(waitFor([&] { return shared->middleWork.load() == sources; }));
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
