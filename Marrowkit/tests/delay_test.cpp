// delay: cancellation, early runs, the deadline, and rejected delays.
#include "Marrowkit/foundation/delay.h"

#include "tests/support/testsupport.h"

#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using testsupport::waitFor;

TEST(Delay, RunsOnTheQueueAfterTheDeadline)
{
    auto queue = makeSerialQueue(QStringLiteral("delay-target"));
    std::atomic<int> runs{0};
    std::atomic<bool> onQueue{false};
    auto control = delay(0.05, queue, [&] {
        onQueue = queue->isCurrent();
        ++runs;
    });
    ASSERT_TRUE(control);
    ASSERT_TRUE(waitFor([&] { return runs.load() == 1; }));
    EXPECT_TRUE(onQueue);
    (*control)(false);
    queue->sync([] {});
    EXPECT_EQ(runs.load(), 1) << "a call after the deadline does nothing";
}

TEST(Delay, CancelBeforeTheDeadlineDropsTheClosure)
{
    std::atomic<int> runs{0};
    auto control = delay(0.2, [&] { ++runs; });
    ASSERT_TRUE(control);
    (*control)(true);
    std::atomic<bool> after{false};
    auto marker = delay(0.4, [&] { after = true; });
    ASSERT_TRUE(waitFor([&] { return after.load(); }));
    EXPECT_EQ(runs.load(), 0);
    (*control)(false);
    // Had that call queued the closure, it would run before this marker.
    std::atomic<bool> drained{false};
    GlobalMainQueue()->async([&] { drained = true; });
    ASSERT_TRUE(waitFor([&] { return drained.load(); }));
    EXPECT_EQ(runs.load(), 0) << "cancelled stays cancelled";
}

TEST(Delay, EarlyRunHappensOnceAndTheDeadlineDoesNothing)
{
    std::atomic<int> runs{0};
    auto control = delay(0.3, [&] { ++runs; });
    ASSERT_TRUE(control);
    (*control)(false);
    EXPECT_EQ(runs.load(), 0) << "the closure runs one hop later, on the queue";
    ASSERT_TRUE(waitFor([&] { return runs.load() == 1; }));
    (*control)(false);
    std::atomic<bool> after{false};
    auto marker = delay(0.5, [&] { after = true; });
    ASSERT_TRUE(waitFor([&] { return after.load(); }));
    EXPECT_EQ(runs.load(), 1);
}

TEST(Delay, ConcurrentCallersRunItAtMostOnce)
{
    std::atomic<int> runs{0};
    auto queue = makeSerialQueue(QStringLiteral("delay-race"));
    auto control = delay(10, queue, [&] { ++runs; });
    ASSERT_TRUE(control);
    std::vector<std::thread> threads;
    threads.reserve(8);
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&control] { (*control)(false); });
    }
    for (auto &t : threads) {
        t.join();
    }
    ASSERT_TRUE(waitFor([&] { return runs.load() >= 1; }));
    queue->sync([] {});
    EXPECT_EQ(runs.load(), 1);
}

TEST(Delay, RejectsDelaysThatCannotBeScheduled)
{
    auto never = [] { ADD_FAILURE() << "must not run"; };
    EXPECT_FALSE(delay(std::numeric_limits<double>::quiet_NaN(), never));
    EXPECT_FALSE(delay(std::numeric_limits<double>::infinity(), never));
    EXPECT_FALSE(delay(9.3e9, never)) << "9.3e18 ns leaves the signed 64-bit range";
    EXPECT_FALSE(delay(-9.3e9, never));
    EXPECT_FALSE(delay(1, DispatchQueuePtr(), never));
}

TEST(Delay, VeryLongDelaysWaitRatherThanFireAtOnce)
{
    // More days than a timer counts in milliseconds: it must not wrap round
    // and fire now.
    std::atomic<int> runs{0};
    auto control = delay(40.0 * 24 * 3600, [&] { ++runs; });
    ASSERT_TRUE(control);
    std::atomic<bool> after{false};
    auto marker = delay(0.3, [&] { after = true; });
    ASSERT_TRUE(waitFor([&] { return after.load(); }));
    EXPECT_EQ(runs.load(), 0);
    (*control)(true);
}

TEST(Delay, NegativeDelayRunsSoon)
{
    std::atomic<int> runs{0};
    auto control = delay(-5, [&] { ++runs; });
    ASSERT_TRUE(control);
    EXPECT_TRUE(waitFor([&] { return runs.load() == 1; }));
}
