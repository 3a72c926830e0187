// performTask against real programs.
#include "Marrowkit/foundation/performtask.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <csignal>

namespace {
std::optional<QString> shell(const QString &script, bool wait = true)
{
    return performTask(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script}, wait);
}
} // namespace

TEST(PerformTask, TrimsTheOutput)
{
    EXPECT_EQ(shell(QStringLiteral("printf '  word\\n'")), QStringLiteral("word"));
    EXPECT_EQ(shell(QStringLiteral("printf '\\t two lines \\nhere\\n\\n'")),
              QStringLiteral("two lines \nhere"));
    EXPECT_EQ(
        performTask(QStringLiteral("/bin/echo"), {QStringLiteral("a b"), QStringLiteral("c")}),
        QStringLiteral("a b c"));
}

TEST(PerformTask, NothingForBlankOutputOrBadProgramsOrBadBytes)
{
    EXPECT_EQ(shell(QStringLiteral("printf '\\n'")), std::nullopt);
    EXPECT_EQ(shell(QStringLiteral("true")), std::nullopt);
    EXPECT_EQ(performTask(QStringLiteral("/nonexistent/program")), std::nullopt);
    EXPECT_EQ(performTask(QString()), std::nullopt);
    EXPECT_EQ(shell(QStringLiteral("printf 'ok\\377\\376'")), std::nullopt)
        << "output that is not UTF-8 counts as no output";
    EXPECT_EQ(shell(QStringLiteral("printf 'caf\\303\\251'")), QStringLiteral("caf\u00e9"));
}

TEST(PerformTask, StandardErrorIsNotCapturedAndExitStatusIsIgnored)
{
    EXPECT_EQ(shell(QStringLiteral("echo out; echo err >&2; exit 3")), QStringLiteral("out"));
}

TEST(PerformTask, LargeOutputDoesNotStall)
{
    const auto out =
        shell(QStringLiteral("i=0; while [ $i -lt 20000 ]; do echo line$i; i=$((i+1)); done"));
    ASSERT_TRUE(out);
    EXPECT_TRUE(out->endsWith(QStringLiteral("line19999")));
}

TEST(PerformTask, ReturnsWhenTheProgramExitsEvenIfAChildHoldsTheOutput)
{
    // The child keeps the output pipe open; its standard error goes nowhere
    // so that it holds nothing of the test runner's.
    QElapsedTimer clock;
    clock.start();
    const auto pid = shell(QStringLiteral("sleep 30 2>/dev/null & echo $!"));
    const qint64 elapsedMs = clock.elapsed();
    ASSERT_TRUE(pid);
    bool isNumber = false;
    const int child = pid->toInt(&isNumber);
    ASSERT_TRUE(isNumber) << pid->toStdString();
    ::kill(child, SIGKILL);
    EXPECT_LT(elapsedMs, 20000);
}

TEST(PerformTask, WithoutWaitingTheProgramIsTerminated)
{
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(shell(QStringLiteral("sleep 30 2>/dev/null; echo late"), false), std::nullopt);
    EXPECT_LT(clock.elapsed(), 20000);
}
