// FileObserver on real folders with real inotify: what is reported, shared
// watches, dropped watches, cancellation and the log lines.
#include "Marrowkit/foundation/log.h"
#include "Marrowkit/platform/fileobserver.h"
#include "platform/inotifyengine_p.h"

#include "serialthreadlimit.h"
#include "tests/support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

using testsupport::waitFor;
using namespace std::chrono_literals;

namespace {

// An observer with counters for its two handlers.
struct Counted
{
    std::atomic<int> changes{0};
    std::atomic<int> cancels{0};
    std::atomic<bool> offQueue{false};
    std::unique_ptr<FileObserver> observer;

    explicit Counted(const QString &path)
    {
        observer = std::make_unique<FileObserver>(
            QUrl::fromLocalFile(path),
            [this] {
                if (!observer->queue()->isCurrent()) {
                    offQueue = true;
                }
                ++changes;
            },
            [this] { ++cancels; });
    }
    // Everything the engine posted so far has run once this returns.
    void flush() const
    {
        observer->queue()->sync([] {});
    }
};

bool touch(const QString &path)
{
    return testsupport::writeFile(path, "x");
}

int inotifyDescriptors()
{
    int count = 0;
    for (const QFileInfo &fd : QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::System)) {
        if (fd.symLinkTarget().endsWith(QLatin1String("inotify")) ||
            QFile::symLinkTarget(fd.filePath()).contains(QLatin1String("inotify"))) {
            ++count;
        }
    }
    return count;
}

// A reader poll that tests steer: it fails a given number of times with a
// given error, and can hold the reader before it reads on.
struct SteeredPoll
{
    static inline std::atomic<int> failuresLeft{0};
    static inline std::atomic<int> failureError{0};
    static inline std::atomic<bool> hold{false};
    static inline std::atomic<bool> holding{false};

    static int poll(pollfd *fds, nfds_t count, int timeout)
    {
        for (int left = failuresLeft.load(); left > 0;) {
            if (failuresLeft.compare_exchange_weak(left, left - 1)) {
                errno = failureError.load();
                return -1;
            }
        }
        while (hold.load()) {
            holding = true;
            QThread::msleep(1);
        }
        holding = false;
        return ::poll(fds, count, timeout);
    }
};

// Steers the reader for one test, and gives it back its own poll after.
class SteeringTheReader
{
public:
    SteeringTheReader() { InotifyEngine::setPollFunction(&SteeredPoll::poll); }
    ~SteeringTheReader()
    {
        SteeredPoll::hold = false;
        SteeredPoll::failuresLeft = 0;
        InotifyEngine::setPollFunction(nullptr);
    }
    SteeringTheReader(const SteeringTheReader &) = delete;
    SteeringTheReader &operator=(const SteeringTheReader &) = delete;
};

class FileObserverTest : public ::testing::Test
{
protected:
    QString path(const QString &relative) const { return m_dir.filePath(relative); }
    bool mkdir(const QString &relative) const { return QDir().mkpath(path(relative)); }

    QTemporaryDir m_dir;
};

} // namespace

TEST_F(FileObserverTest, EntryChangesAreReportedButDeepChangesAreNot)
{
    ASSERT_TRUE(mkdir(QStringLiteral("watched/a/b")));
    ASSERT_TRUE(touch(path(QStringLiteral("watched/a/b/deep.txt"))));
    Counted top(path(QStringLiteral("watched")));
    Counted inner(path(QStringLiteral("watched/a/b")));
    top.observer->startMonitoring();
    inner.observer->startMonitoring();
    ASSERT_TRUE(top.observer->isMonitoring());

    ASSERT_TRUE(touch(path(QStringLiteral("watched/new.txt"))));
    ASSERT_TRUE(waitFor([&] { return top.changes > 0; }));
    EXPECT_FALSE(top.offQueue) << "handlers run on the observer's own queue";

    // Creating the file may come in more than one batch: a mark seen by the
    // inner observer shows that every event of the creation has been read.
    ASSERT_TRUE(touch(path(QStringLiteral("watched/a/b/mark.txt"))));
    ASSERT_TRUE(waitFor([&] { return inner.changes > 0; }));
    top.flush();
    top.changes = 0;
    inner.changes = 0;
    ASSERT_TRUE(testsupport::writeFile(path(QStringLiteral("watched/a/b/deep.txt")), "changed"));
    // The inner observer sees the write; by then the engine has read that
    // batch, and anything it meant for the top observer is on its queue.
    ASSERT_TRUE(waitFor([&] { return inner.changes > 0; }));
    top.flush();
    EXPECT_EQ(top.changes, 0) << "a change two levels down is not the folder's own change";
}

TEST_F(FileObserverTest, DeletingOrRenamingTheWatchedFolderIsReported)
{
    ASSERT_TRUE(mkdir(QStringLiteral("renamed")));
    ASSERT_TRUE(mkdir(QStringLiteral("deleted")));
    Counted renamed(path(QStringLiteral("renamed")));
    Counted deleted(path(QStringLiteral("deleted")));
    renamed.observer->startMonitoring();
    deleted.observer->startMonitoring();

    ASSERT_TRUE(QDir().rename(path(QStringLiteral("renamed")), path(QStringLiteral("elsewhere"))));
    ASSERT_TRUE(QDir(path(QStringLiteral("deleted"))).removeRecursively());
    EXPECT_TRUE(waitFor([&] { return renamed.changes > 0; }));
    EXPECT_TRUE(waitFor([&] { return deleted.changes > 0; }));
    EXPECT_TRUE(deleted.observer->isMonitoring()) << "the source stays until stopped";
    deleted.observer->stopMonitoring();
    EXPECT_TRUE(waitFor([&] { return deleted.cancels == 1; }));
}

TEST_F(FileObserverTest, WatchingAFileReportsWritesAndAttributes)
{
    ASSERT_TRUE(touch(path(QStringLiteral("file.txt"))));
    Counted file(path(QStringLiteral("file.txt")));
    file.observer->startMonitoring();
    ASSERT_TRUE(testsupport::writeFile(path(QStringLiteral("file.txt")), "more"));
    EXPECT_TRUE(waitFor([&] { return file.changes > 0; }));
    file.flush();
    file.changes = 0;
    ASSERT_TRUE(QFile::setPermissions(path(QStringLiteral("file.txt")), QFile::ReadOwner));
    EXPECT_TRUE(waitFor([&] { return file.changes > 0; }));
}

TEST_F(FileObserverTest, TwoObserversOfOnePathShareOneWatch)
{
    ASSERT_TRUE(mkdir(QStringLiteral("shared")));
    Counted first(path(QStringLiteral("shared")));
    Counted second(path(QStringLiteral("shared")));
    first.observer->startMonitoring();
    InotifyEngine *engine = InotifyEngine::instance();
    ASSERT_NE(engine, nullptr);
    const int watches = engine->watchCount();
    second.observer->startMonitoring();
    EXPECT_EQ(engine->watchCount(), watches) << "the kernel gives one inode one watch";

    ASSERT_TRUE(touch(path(QStringLiteral("shared/one"))));
    EXPECT_TRUE(waitFor([&] { return first.changes > 0 && second.changes > 0; }));

    first.observer->stopMonitoring();
    second.flush();
    second.changes = 0;
    ASSERT_TRUE(touch(path(QStringLiteral("shared/two"))));
    EXPECT_TRUE(waitFor([&] { return second.changes > 0; })) << "stopping one keeps the other";
    EXPECT_EQ(engine->watchCount(), watches);

    second.observer->stopMonitoring();
    EXPECT_EQ(engine->watchCount(), watches - 1);
}

TEST_F(FileObserverTest, ADroppedWatchDoesNotConfuseALaterOne)
{
    ASSERT_TRUE(mkdir(QStringLiteral("node")));
    Counted old(path(QStringLiteral("node")));
    old.observer->startMonitoring();
    ASSERT_TRUE(QDir().rmdir(path(QStringLiteral("node"))));
    ASSERT_TRUE(waitFor([&] { return old.changes > 0; }));

    ASSERT_TRUE(mkdir(QStringLiteral("node")));
    Counted fresh(path(QStringLiteral("node")));
    fresh.observer->startMonitoring();
    // The old observer still holds its dead source; stopping it must not
    // remove the new watch.
    old.observer->stopMonitoring();
    ASSERT_TRUE(touch(path(QStringLiteral("node/file"))));
    EXPECT_TRUE(waitFor([&] { return fresh.changes > 0; }));
    EXPECT_TRUE(waitFor([&] { return old.cancels == 1; }));
}

TEST_F(FileObserverTest, CancelOncePerStartedSourceAndRestart)
{
    ASSERT_TRUE(mkdir(QStringLiteral("restart")));
    auto counted = std::make_unique<Counted>(path(QStringLiteral("restart")));
    counted->observer->stopMonitoring();
    counted->flush();
    EXPECT_EQ(counted->cancels, 0) << "nothing was started";

    counted->observer->startMonitoring();
    counted->observer->stopMonitoring();
    counted->observer->startMonitoring();
    ASSERT_TRUE(touch(path(QStringLiteral("restart/after"))));
    EXPECT_TRUE(waitFor([&] { return counted->changes > 0; })) << "a restarted observer works";
    counted->observer->startMonitoring(); // replaces the running source
    counted->flush();
    EXPECT_EQ(counted->cancels, 2);

    std::atomic<int> *cancels = &counted->cancels;
    auto queue = counted->observer->queue();
    counted->observer.reset(); // destruction stops the third source
    queue->sync([] {});
    EXPECT_EQ(*cancels, 3);
}

TEST_F(FileObserverTest, MissingPathDoesNothingAndLogsNothing)
{
    std::mutex mutex;
    QStringList records;
    Log::setMinimumSeverity(LogSeverity::Verbose);
    Log::setObserver(
        [&](LogSeverity, const QString &message, const QString &, const QString &, int) {
            std::lock_guard lock(mutex);
            records.append(message);
        });
    {
        Counted missing(path(QStringLiteral("absent")));
        missing.observer->startMonitoring();
        EXPECT_FALSE(missing.observer->isMonitoring());
        ASSERT_TRUE(mkdir(QStringLiteral("absent")));
        ASSERT_TRUE(touch(path(QStringLiteral("absent/file"))));
        missing.flush();
        std::lock_guard lock(mutex);
        EXPECT_TRUE(records.isEmpty());
        EXPECT_EQ(missing.changes, 0);
        EXPECT_EQ(missing.cancels, 0);
    }
    Log::setObserver({});
    Log::setMinimumSeverity(LogSeverity::Info);
}

TEST_F(FileObserverTest, LogsStartAndStopAtVerboseSeverity)
{
    struct Record
    {
        LogSeverity severity;
        QString message, function, file;
    };
    std::mutex mutex;
    std::vector<Record> records;
    Log::setMinimumSeverity(LogSeverity::Verbose);
    Log::setObserver([&](LogSeverity severity, const QString &message, const QString &function,
                         const QString &file, int) {
        std::lock_guard lock(mutex);
        records.push_back({severity, message, function, file});
    });
    ASSERT_TRUE(mkdir(QStringLiteral("logged")));
    const QString watched = path(QStringLiteral("logged"));
    {
        FileObserver observer(QUrl::fromLocalFile(watched), {}, {});
        observer.startMonitoring();
        observer.stopMonitoring();
    }
    Log::setObserver({});
    Log::setMinimumSeverity(LogSeverity::Info);

    std::lock_guard lock(mutex);
    ASSERT_EQ(records.size(), 3u) << "start, stop, and the stop of the destructor";
    EXPECT_EQ(records[0].message, QStringLiteral("Start monitoring ") + watched);
    EXPECT_EQ(records[0].function, QStringLiteral("startMonitoring()"));
    EXPECT_EQ(records[1].message, QStringLiteral("Stop monitoring ") + watched);
    EXPECT_EQ(records[1].function, QStringLiteral("stopMonitoring()"));
    for (const Record &record : records) {
        EXPECT_EQ(record.severity, LogSeverity::Verbose);
        EXPECT_EQ(record.file, QStringLiteral("Marrowkit/FileObserver"));
    }
}

TEST_F(FileObserverTest, MoreObserversThanInotifyInstancesShareOneDescriptor)
{
    QFile limitFile(QStringLiteral("/proc/sys/fs/inotify/max_user_instances"));
    ASSERT_TRUE(limitFile.open(QIODevice::ReadOnly));
    const int count = std::min(limitFile.readAll().trimmed().toInt(), 256) + 16;
    std::vector<std::unique_ptr<Counted>> observers;
    for (int i = 0; i < count; ++i) {
        const QString folder = QStringLiteral("many/%1").arg(i);
        ASSERT_TRUE(mkdir(folder));
        observers.push_back(std::make_unique<Counted>(path(folder)));
        observers.back()->observer->startMonitoring();
    }
    EXPECT_EQ(inotifyDescriptors(), 1);
    for (int i = 0; i < count; ++i) {
        ASSERT_TRUE(touch(path(QStringLiteral("many/%1/file").arg(i))));
    }
    EXPECT_TRUE(waitFor([&] {
        return std::all_of(observers.begin(), observers.end(),
                           [](const auto &o) { return o->changes > 0; });
    }));
}

TEST_F(FileObserverTest, ThousandsStartedStoppedAndDestroyedConcurrentlyAllFinish)
{
    // Observers start, stop and die through sync on their own queues. Here
    // that happens from the work of 64 serial queues (so on pool threads,
    // with the pool held to two) and from plain threads at the same time.
    SerialThreadLimit limit(2);
    constexpr int folders = 100;
    constexpr int fromQueues = 2000;
    constexpr int threads = 4;
    constexpr int perThread = 100;
    constexpr int total = fromQueues + threads * perThread;
    for (int i = 0; i < folders; ++i) {
        ASSERT_TRUE(mkdir(QStringLiteral("churn/%1").arg(i)));
    }
    InotifyEngine *engine = InotifyEngine::instance();
    ASSERT_NE(engine, nullptr);
    const int watchesBefore = engine->watchCount();

    struct Shared
    {
        QString root;
        std::atomic<int> finished{0};
        std::atomic<int> cancels{0};
    };
    auto shared = std::make_shared<Shared>();
    shared->root = path(QStringLiteral("churn"));
    auto lifeOf = [shared](int i) {
        return [shared, i] {
            const QString folder = shared->root + QStringLiteral("/%1").arg(i % folders);
            auto observer = std::make_unique<FileObserver>(
                QUrl::fromLocalFile(folder), [] {}, [shared] { shared->cancels.fetch_add(1); });
            observer->startMonitoring();
            observer->stopMonitoring();
            observer->startMonitoring();
            observer.reset(); // stops the second source and waits for its cancel
            shared->finished.fetch_add(1);
        };
    };

    std::vector<DispatchQueuePtr> owners;
    owners.reserve(64);
    for (int i = 0; i < 64; ++i) {
        owners.push_back(makeSerialQueue(QStringLiteral("owner")));
    }
    for (int i = 0; i < fromQueues; ++i) {
        owners[size_t(i % 64)]->async(lifeOf(i));
    }
    for (int t = 0; t < threads; ++t) {
        // Detached: a regression must fail at the deadline, not hang in join.
        std::thread([lifeOf, t] {
            for (int i = 0; i < perThread; ++i) {
                lifeOf(fromQueues + t * perThread + i)();
            }
        }).detach();
    }
    ASSERT_TRUE(waitFor([&] { return shared->finished.load() == total; }, 90s))
        << shared->finished.load() << " of " << total << " finished";
    EXPECT_EQ(shared->cancels.load(), 2 * total) << "one cancel per started source";
    EXPECT_EQ(engine->watchCount(), watchesBefore) << "every watch was removed";
}

TEST_F(FileObserverTest, ObserversKeepDeliveringAfterTheReaderMeetsErrors)
{
    ASSERT_TRUE(mkdir(QStringLiteral("alive")));
    Counted alive(path(QStringLiteral("alive")));
    alive.observer->startMonitoring();
    std::mutex mutex;
    QStringList errors;
    Log::setObserver(
        [&](LogSeverity severity, const QString &message, const QString &, const QString &, int) {
            if (severity == LogSeverity::Error) {
                std::lock_guard lock(mutex);
                errors.append(message);
            }
        });
    SteeringTheReader steering;
    // Each step's touch wakes the reader from the poll it is in; the polls
    // after that one go through the steered poll.
    auto deliveredAfterTouch = [&](const QString &name) {
        alive.flush();
        alive.changes = 0;
        return touch(path(QStringLiteral("alive/") + name)) &&
               waitFor([&] { return alive.changes > 0; });
    };

    // Interrupted polls are no fault: nothing is logged.
    SteeredPoll::failureError = EINTR;
    SteeredPoll::failuresLeft = 3;
    ASSERT_TRUE(deliveredAfterTouch(QStringLiteral("one")));
    ASSERT_TRUE(waitFor([] { return SteeredPoll::failuresLeft == 0; }));
    ASSERT_TRUE(deliveredAfterTouch(QStringLiteral("two")));
    {
        std::lock_guard lock(mutex);
        EXPECT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('\n')).toStdString();
    }

    // A run of real failures is logged once, and the reader comes back.
    SteeredPoll::failureError = ENOMEM;
    SteeredPoll::failuresLeft = 5;
    ASSERT_TRUE(deliveredAfterTouch(QStringLiteral("three")));
    ASSERT_TRUE(waitFor([] { return SteeredPoll::failuresLeft == 0; }));
    EXPECT_TRUE(deliveredAfterTouch(QStringLiteral("four"))) << "the reader survived the errors";
    Log::setObserver({});
    std::lock_guard lock(mutex);
    ASSERT_EQ(errors.size(), 1) << errors.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(errors.first().contains(QStringLiteral("File observation")));
}

TEST_F(FileObserverTest, AnOverflowStormStillNotifiesEveryObserver)
{
    QFile limitFile(QStringLiteral("/proc/sys/fs/inotify/max_queued_events"));
    ASSERT_TRUE(limitFile.open(QIODevice::ReadOnly));
    const int queueLimit = limitFile.readAll().trimmed().toInt();
    if (queueLimit <= 0 || queueLimit > 200000) {
        GTEST_SKIP() << "the kernel's event queue holds " << queueLimit << " events";
    }
    constexpr int observed = 50;
    std::vector<std::unique_ptr<Counted>> observers;
    for (int i = 0; i < observed; ++i) {
        ASSERT_TRUE(mkdir(QStringLiteral("calm/%1").arg(i)));
        observers.push_back(std::make_unique<Counted>(path(QStringLiteral("calm/%1").arg(i))));
        observers.back()->observer->startMonitoring();
    }
    ASSERT_TRUE(mkdir(QStringLiteral("storm")));
    Counted storm(path(QStringLiteral("storm")));
    storm.observer->startMonitoring();

    // Hold the reader (woken by one event) so that the kernel's queue fills.
    SteeringTheReader steering;
    SteeredPoll::hold = true;
    ASSERT_TRUE(touch(path(QStringLiteral("storm/wake"))));
    ASSERT_TRUE(waitFor([] { return SteeredPoll::holding.load(); }));
    for (const auto &counted : observers) {
        counted->flush();
        counted->changes = 0;
    }
    for (int i = 0; i < queueLimit + 256; ++i) {
        QFile file(path(QStringLiteral("storm/%1").arg(i)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    // The queue is full: the kernel drops these and says it overflowed.
    for (int i = 0; i < observed; ++i) {
        ASSERT_TRUE(touch(path(QStringLiteral("calm/%1/lost").arg(i))));
    }
    SteeredPoll::hold = false;

    EXPECT_TRUE(waitFor(
        [&] {
            return std::all_of(observers.begin(), observers.end(),
                               [](const auto &o) { return o->changes > 0; });
        },
        std::chrono::seconds(60)))
        << "observers whose events were lost are told all the same";
    EXPECT_TRUE(waitFor([&] { return storm.changes > 0; }));
    // The reader goes on as usual afterwards.
    observers.front()->flush();
    observers.front()->changes = 0;
    ASSERT_TRUE(touch(path(QStringLiteral("calm/0/after"))));
    EXPECT_TRUE(waitFor([&] { return observers.front()->changes > 0; }));
}
