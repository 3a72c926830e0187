// runClosure with real time: time-outs, polls, and an event loop that keeps
// turning while the caller waits.
#include "Marrowkit/foundation/dispatchqueue.h"
#include "Marrowkit/foundation/runclosure.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

TEST(RunClosure, TimesOutWithTheDomainErrorAfterAFewPolls)
{
    int polls = 0;
    int completions = 0;
    std::optional<RunResult> final;
    QElapsedTimer clock;
    clock.start();
    runClosure(
        [&] {
            ++polls;
            return RunResult::waiting();
        },
        0.3,
        [&](const RunResult &result) {
            ++completions;
            final = result;
        });
    const qint64 elapsedMs = clock.elapsed();
    EXPECT_EQ(completions, 1);
    ASSERT_TRUE(final && final->isFailure());
    EXPECT_EQ(final->error()->domain, QStringLiteral("RunClosureDomain"));
    EXPECT_EQ(final->error()->code, 1000);
    EXPECT_EQ(final->error()->localizedDescription(),
              QStringLiteral("The task timed out after 0.3 seconds."));
    EXPECT_GE(polls, 3);
    EXPECT_LE(polls, 5);
    EXPECT_GE(elapsedMs, 300);
}

TEST(RunClosure, TimeoutTextPrintsWholeSecondsAsDecimals)
{
    EXPECT_EQ(runClosureTimeoutError(Time::defaultTimeout).localizedDescription(),
              QStringLiteral("The task timed out after 30.0 seconds."));
    EXPECT_EQ(Time::runDelay, 0.1);
}

TEST(RunClosure, ImmediateAnswerDoesNotTurnTheEventLoop)
{
    bool queuedCallRan = false;
    GlobalMainQueue()->async([&] { queuedCallRan = true; });
    std::optional<RunResult> final;
    runClosure([] { return RunResult::success(); }, 5,
               [&](const RunResult &result) { final = result; });
    EXPECT_EQ(final, RunResult::success());
    EXPECT_FALSE(queuedCallRan) << "no poll was needed, so no events were served";
    // Let the queued call run before `queuedCallRan` goes out of scope.
    runClosure([&] { return queuedCallRan ? RunResult::success() : RunResult::waiting(); }, 5);
    EXPECT_TRUE(queuedCallRan);
}

TEST(RunClosure, EventLoopKeepsTurningWhilePolling)
{
    bool delivered = false;
    GlobalMainQueue()->async([&] { delivered = true; });
    std::optional<RunResult> final;
    runClosure([&] { return delivered ? RunResult::success() : RunResult::waiting(); }, 10,
               [&](const RunResult &result) { final = result; });
    EXPECT_EQ(final, RunResult::success());
}

TEST(RunClosure, FailureEndsPollingWithThatError)
{
    int polls = 0;
    const Error error{QStringLiteral("x"), 3, {}};
    std::optional<RunResult> final;
    runClosure([&] { return ++polls < 2 ? RunResult::waiting() : RunResult::failure(error); }, 10,
               [&](const RunResult &result) { final = result; });
    EXPECT_EQ(polls, 2);
    EXPECT_EQ(final, RunResult::failure(error));
    EXPECT_NE(RunResult::failure(error), RunResult::failure(Error{}));
    EXPECT_NE(RunResult::success(), RunResult::waiting());
}
