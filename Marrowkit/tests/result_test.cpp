// Result, Box, Error and attempt: the laws the rest of the system leans on,
// and that right-hand sides are evaluated only when needed.
#include "Marrowkit/foundation/attempt.h"
#include "Marrowkit/foundation/box.h"
#include "Marrowkit/foundation/findduplicates.h"
#include "Marrowkit/foundation/result.h"

#include <gtest/gtest.h>

namespace {

Error sampleError(int code)
{
    return Error{QStringLiteral("test"), code, {}};
}

using IntResult = Result<int>;

IntResult half(int value)
{
    if (value % 2 != 0) {
        return IntResult::failure(sampleError(value));
    }
    return IntResult::success(value / 2);
}

} // namespace

TEST(Box, SharesOneImmutableValueAndMaps)
{
    const Box<QString> box = Box<QString>::unit(QStringLiteral("abc"));
    const Box<QString> copy = box; // NOLINT(performance-unnecessary-copy-initialization)
    EXPECT_EQ(&copy.value(), &box.value()) << "copies share the value";
    EXPECT_EQ(box.map([](const QString &s) { return s.size(); }).value(), 3);
    EXPECT_EQ(map(box, [](const QString &s) { return s + s; }).value(), QStringLiteral("abcabc"));
    EXPECT_EQ(box.description(), QStringLiteral("abc"));
    EXPECT_EQ(Box<double>(30).description(), QStringLiteral("30.0"));
    EXPECT_TRUE(Box<int>(1) == Box<int>(1));
    EXPECT_TRUE(Box<int>(1) != Box<int>(2));
    static_assert(BoxType<Box<int>>);
    static_assert(!MutableBoxType<Box<int>>);
}

TEST(Result, AccessorsAndAnalysisPickExactlyOneCase)
{
    const IntResult ok = IntResult::success(4);
    const IntResult bad = IntResult::failure(sampleError(7));
    EXPECT_EQ(ok.value(), 4);
    EXPECT_FALSE(ok.error());
    EXPECT_FALSE(bad.value());
    EXPECT_EQ(bad.error()->code, 7);

    int successCalls = 0;
    int failureCalls = 0;
    auto count = [&](const IntResult &r) {
        return r.analysis(
            [&](int) {
                ++successCalls;
                return 1;
            },
            [&](const Error &) {
                ++failureCalls;
                return 2;
            });
    };
    EXPECT_EQ(count(ok), 1);
    EXPECT_EQ(count(bad), 2);
    EXPECT_EQ(successCalls, 1);
    EXPECT_EQ(failureCalls, 1);
}

TEST(Result, FromOptionalEvaluatesFailWithOnlyWhenEmpty)
{
    int made = 0;
    auto failWith = [&] {
        ++made;
        return sampleError(1);
    };
    EXPECT_EQ(IntResult::fromOptional(3, failWith).value(), 3);
    EXPECT_EQ(made, 0);
    EXPECT_EQ(IntResult::fromOptional(std::nullopt, failWith).error()->code, 1);
    EXPECT_EQ(made, 1);
}

TEST(Result, MapAndFlatMapKeepTheFirstFailure)
{
    EXPECT_EQ(half(8).map([](int v) { return QString::number(v); }).value(), QStringLiteral("4"));
    EXPECT_EQ(half(8).flatMap(half).flatMap(half).value(), 1);
    EXPECT_EQ(flatMap(half(6), half).error(), sampleError(3)) << "failure of the second step";
    int called = 0;
    const auto failed = half(5).flatMap([&](int v) {
        ++called;
        return half(v);
    });
    EXPECT_EQ(failed.error()->code, 5);
    EXPECT_EQ(called, 0);
    // Monad laws: left identity and associativity.
    EXPECT_EQ(IntResult::success(8).flatMap(half), half(8));
    auto quarter = [](int v) { return half(v).flatMap(half); };
    EXPECT_EQ(half(16).flatMap(half).flatMap(half), half(16).flatMap(quarter));
}

TEST(Result, RecoverEvaluatesTheRightHandSideOnlyOnFailure)
{
    int evaluated = 0;
    auto fallback = [&] {
        ++evaluated;
        return -1;
    };
    EXPECT_EQ(recover(half(4), fallback), 2);
    EXPECT_EQ(evaluated, 0);
    EXPECT_EQ(recover(half(3), fallback), -1);
    EXPECT_EQ(evaluated, 1);

    auto other = [&] {
        ++evaluated;
        return IntResult::success(99);
    };
    EXPECT_EQ(recoverWith(half(4), other), IntResult::success(2));
    EXPECT_EQ(evaluated, 1);
    EXPECT_EQ(recoverWith(half(3), other), IntResult::success(99));
    EXPECT_EQ(evaluated, 2);
}

TEST(Result, BothPairsValuesAndShortCircuits)
{
    int evaluated = 0;
    auto right = [&] {
        ++evaluated;
        return Result<QString>::success(QStringLiteral("r"));
    };
    const auto pair = both(half(4), right);
    ASSERT_TRUE(pair.isSuccess());
    EXPECT_EQ(pair.value()->first, 2);
    EXPECT_EQ(pair.value()->second, QStringLiteral("r"));
    EXPECT_EQ(evaluated, 1);

    const auto leftFailed = both(half(3), right);
    EXPECT_EQ(leftFailed.error()->code, 3);
    EXPECT_EQ(evaluated, 1) << "right-hand side must not run after a failure";

    const auto rightFailed = both(half(4), [] { return Result<QString>::failure(sampleError(9)); });
    EXPECT_EQ(rightFailed.error()->code, 9);
}

TEST(Result, EqualityAndDescription)
{
    EXPECT_EQ(IntResult::success(1), IntResult::success(1));
    EXPECT_NE(IntResult::success(1), IntResult::success(2));
    EXPECT_NE(IntResult::success(1), IntResult::failure(sampleError(1)));
    EXPECT_EQ(IntResult::failure(sampleError(1)), IntResult::failure(sampleError(1)));
    // Value and error of the same type still keep their cases apart.
    using Same = Result<int, int>;
    EXPECT_NE(Same::success(1), Same::failure(1));
    EXPECT_EQ(Same::success(1).description(), QStringLiteral(".Success(1)"));
    EXPECT_EQ(Same::failure(2).debugDescription(), QStringLiteral(".Failure(2)"));
    EXPECT_EQ(Result<Unit>::success({}).description(), QStringLiteral(".Success(())"));
    EXPECT_TRUE(IntResult::failure(sampleError(5))
                    .description()
                    .startsWith(QStringLiteral(".Failure(Error Domain=test Code=5")));
}

TEST(ResultError, RecordsTheCallSite)
{
    const int line = __LINE__ + 1;
    const Error error = resultError(QStringLiteral("went wrong"));
    EXPECT_EQ(error.domain, QStringLiteral("dev.marrowby.marrowby.Result"));
    EXPECT_EQ(error.code, 0);
    EXPECT_EQ(error.userInfo.value(QStringLiteral("dev.marrowby.marrowby.Result.function")),
              QStringLiteral("TestBody()"));
    EXPECT_EQ(error.userInfo.value(ResultError::fileKey()),
              QStringLiteral("Marrowkit/tests/result_test"));
    EXPECT_EQ(error.userInfo.value(ResultError::lineKey()).toInt(), line);
    EXPECT_EQ(error.userInfo.value(QStringLiteral("NSLocalizedDescription")),
              QStringLiteral("went wrong"));
    EXPECT_EQ(error.localizedDescription(), QStringLiteral("went wrong"));

    const Error bare = resultError(std::nullopt, QStringLiteral("f()"), QStringLiteral("x"), 3);
    EXPECT_FALSE(bare.userInfo.contains(Error::localizedDescriptionKey()));
    EXPECT_EQ(bare.userInfo.size(), 3);
}

TEST(ResultError, PlainFunctionNames)
{
    EXPECT_EQ(plainFunctionName("void FileObserver::startMonitoring()"),
              QStringLiteral("startMonitoring()"));
    EXPECT_EQ(plainFunctionName("std::optional<QString> performTask(const QString&, bool)"),
              QStringLiteral("performTask()"));
    EXPECT_EQ(plainFunctionName("Result<std::pair<int, int> > ns::both(const X<a, b>&)"),
              QStringLiteral("both()"));
    EXPECT_EQ(plainFunctionName("main"), QStringLiteral("main()"));
}

TEST(Attempt, ValueAndFlagForms)
{
    const auto value = attempt([](ErrorSlot &) -> std::optional<int> { return 5; });
    EXPECT_EQ(value, Result<int>::success(5));

    const auto reported = attempt([](ErrorSlot &slot) -> std::optional<int> {
        slot = sampleError(42);
        return std::nullopt;
    });
    EXPECT_EQ(reported.error(), sampleError(42));

    const int line = __LINE__ + 1;
    const auto silent = attempt([](ErrorSlot &) { return false; });
    ASSERT_TRUE(silent.isFailure()) << "a failure without an error must not be lost";
    EXPECT_EQ(silent.error()->domain, ResultError::errorDomain());
    EXPECT_EQ(silent.error()->userInfo.value(ResultError::lineKey()).toInt(), line);

    const auto flagged =
        attempt(QStringLiteral("op()"), QStringLiteral("F"), 7, [](ErrorSlot &) { return true; });
    EXPECT_EQ(flagged, Result<Unit>::success({}));
    const auto named =
        attempt(QStringLiteral("op()"), QStringLiteral("F"), 7, [](ErrorSlot &) { return false; });
    EXPECT_EQ(named.error(),
              resultError(std::nullopt, QStringLiteral("op()"), QStringLiteral("F"), 7));
}

TEST(Error, LocalizedDescriptionFallsBackToReasonThenCode)
{
    Error error{QStringLiteral("NSFileManagerErrorDomain"), 4, {}};
    EXPECT_TRUE(error.localizedDescription().contains(QStringLiteral("NSFileManagerErrorDomain")));
    EXPECT_TRUE(error.localizedDescription().contains(QLatin1Char('4')));
    error.userInfo.insert(Error::localizedFailureReasonKey(), QStringLiteral("URL has no path."));
    EXPECT_TRUE(error.localizedDescription().endsWith(QStringLiteral("URL has no path.")));
    EXPECT_EQ(error.localizedFailureReason(), QStringLiteral("URL has no path."));
}

TEST(FindDuplicates, EachRepeatedValueOnce)
{
    const QList<QString> names{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("a"),
                               QStringLiteral("a")};
    EXPECT_EQ(findDuplicates(names), QList<QString>{QStringLiteral("a")});
    EXPECT_TRUE(findDuplicates(QList<int>{1, 2, 3}).isEmpty());
    QList<int> found = findDuplicates(QList<int>{3, 1, 3, 2, 1, 1});
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (QList<int>{1, 3}));
}

TEST(Describe, NumbersReadAsDecimals)
{
    EXPECT_EQ(describeNumber(30), QStringLiteral("30.0"));
    EXPECT_EQ(describeNumber(0.3), QStringLiteral("0.3"));
    EXPECT_EQ(describeNumber(0.1 + 0.2), QStringLiteral("0.30000000000000004"));
    EXPECT_EQ(describe(QList<int>{1, 2}), QStringLiteral("[1, 2]"));
    EXPECT_EQ(describe(std::optional<int>()), QStringLiteral("nil"));
}
