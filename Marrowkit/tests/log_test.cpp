// The logging facade: record fields, the minimum severity, the rotating file,
// and logging from many threads at once.
#include "Marrowkit/foundation/log.h"

#include "tests/support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace {

struct Recorded
{
    LogSeverity severity;
    QString message, function, file;
    int line;
};

class LogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Log::setObserver([this](LogSeverity s, const QString &m, const QString &f,
                                const QString &file, int line) {
            std::lock_guard lock(mutex);
            records.push_back({s, m, f, file, line});
        });
    }
    void TearDown() override
    {
        Log::setObserver({});
        Log::disable();
        Log::setMinimumSeverity(LogSeverity::Info);
    }
    std::mutex mutex;
    std::vector<Recorded> records;
};

void startMonitoring()
{
    MLOG_INFO(QStringLiteral("Start monitoring /tmp"));
}

TEST_F(LogTest, RecordCarriesCallSite)
{
    startMonitoring();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].severity, LogSeverity::Info);
    EXPECT_EQ(records[0].message, QStringLiteral("Start monitoring /tmp"));
    EXPECT_EQ(records[0].function, QStringLiteral("startMonitoring()"));
    EXPECT_EQ(records[0].file, QStringLiteral("Marrowkit/tests/log_test"));
    EXPECT_GT(records[0].line, 0);
}

TEST_F(LogTest, RecordsBelowTheMinimumAreDropped)
{
    Log::setMinimumSeverity(LogSeverity::Warning);
    MLOG_VERBOSE(QStringLiteral("quiet"));
    MLOG_INFO(QStringLiteral("quiet"));
    MLOG_ERROR(QStringLiteral("loud"));
    EXPECT_FALSE(Log::verbose().has_value());
    EXPECT_TRUE(Log::error().has_value());
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].message, QStringLiteral("loud"));
}

TEST_F(LogTest, ValueRecordsPrintTheValueOrNil)
{
    Log::value(LogSeverity::Error, QVariant(42), "f", __FILE__, __LINE__);
    Log::value(LogSeverity::Error, std::nullopt, "f", __FILE__, __LINE__);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].message, QStringLiteral("42"));
    EXPECT_EQ(records[1].message, QStringLiteral("nil"));
}

TEST(LogSourceFile, StripsFoldersAboveTheDeliverableAndTheExtension)
{
    EXPECT_EQ(Log::sourceFileName(MARROWBY_SOURCE_ROOT "Marrowkit/fileobserver.cpp"),
              QStringLiteral("Marrowkit/fileobserver"));
    EXPECT_EQ(Log::sourceFileName("Marrowkit/FileObserver"),
              QStringLiteral("Marrowkit/FileObserver"));
    EXPECT_EQ(Log::sourceFileName("/elsewhere/Parley/main.cpp"), QStringLiteral("Parley/main"));
    EXPECT_EQ(Log::functionName("stopMonitoring"), QStringLiteral("stopMonitoring()"));
}

TEST_F(LogTest, EnabledFileReceivesRecordsFromManyThreadsAndPrunesOldFiles)
{
    testsupport::TemporaryHome home;
    const QString folder = home.filePath(QStringLiteral("Library/Logs/Marrowby"));
    const QString stale = folder + QStringLiteral("/Parley_2000-01-01.log");
    ASSERT_TRUE(testsupport::writeFile(stale, "old"));
    QFile(stale).open(QIODevice::ReadWrite);
    {
        QFile f(stale);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        f.setFileTime(QDateTime::currentDateTime().addDays(-30), QFileDevice::FileModificationTime);
    }

    RotatingLogFileConfiguration config;
    config.directoryPath = QStringLiteral("~/Library/Logs/Marrowby/Parley.log");
    ASSERT_TRUE(Log::enable(config));
    EXPECT_FALSE(QFileInfo::exists(stale)) << "files older than seven days are removed at start";

    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i) {
                MLOG_INFO(QStringLiteral("thread %1 record %2").arg(t).arg(i));
            }
        });
    }
    for (auto &thread : threads) {
        thread.join();
    }
    MLOG_DEBUG(QStringLiteral("below the minimum"));
    Log::disable();

    const QStringList files = QDir(folder).entryList({QStringLiteral("Parley_*.log")}, QDir::Files);
    ASSERT_EQ(files.size(), 1);
    QFile log(QDir(folder).filePath(files.first()));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QByteArray text = log.readAll();
    EXPECT_EQ(text.count("\n"), 1600);
    EXPECT_TRUE(text.contains("thread 7 record 199"));
    EXPECT_FALSE(text.contains("below the minimum"));
    EXPECT_TRUE(text.contains("Marrowkit/tests/log_test"));
}

TEST_F(LogTest, EachLineNamesTheLoggerOfItsLibrary)
{
    testsupport::TemporaryHome home;
    RotatingLogFileConfiguration config;
    config.directoryPath = QStringLiteral("~/Library/Logs/Marrowby/Shared.log");
    ASSERT_TRUE(Log::enable(config));
    // What the macros of two libraries pass, and what a call without a
    // logger takes: the logger this file was compiled for.
    Log::message(LogSeverity::Info, QStringLiteral("from the service"), "f", __FILE__, __LINE__,
                 "parley");
    Log::message(LogSeverity::Info, QStringLiteral("from the volume"), "f", __FILE__, __LINE__,
                 "marrowfs");
    Log::message(LogSeverity::Info, QStringLiteral("from the tests"), "f", __FILE__, __LINE__);
    if (auto channel = Log::warning()) {
        channel->trace("traced", __FILE__, __LINE__);
    }
    Log::disable();

    const QString folder = home.filePath(QStringLiteral("Library/Logs/Marrowby"));
    const QStringList files = QDir(folder).entryList({QStringLiteral("Shared_*.log")}, QDir::Files);
    ASSERT_EQ(files.size(), 1);
    QFile log(QDir(folder).filePath(files.first()));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = log.readAll().split('\n');
    auto lineWith = [&lines](const char *text) {
        for (const QByteArray &line : lines) {
            if (line.contains(text)) {
                return line;
            }
        }
        return QByteArray();
    };
    EXPECT_TRUE(lineWith("from the service").contains("[parley] "))
        << lineWith("from the service").toStdString();
    EXPECT_TRUE(lineWith("from the volume").contains("[marrowfs] "));
    EXPECT_TRUE(lineWith("from the tests").contains("[marrowkit_tests] "))
        << "a call without a logger takes the one of the target it is compiled into";
    EXPECT_TRUE(lineWith("traced()").contains("[marrowkit_tests] "));
}

} // namespace
