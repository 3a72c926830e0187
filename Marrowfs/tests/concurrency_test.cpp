// Eight threads read, write and list through the volume while the catalogue
// is replaced every 100 ms: nothing may fail that the disk would not fail,
// and every byte read back must be the byte written.
#include "mountfixture.h"

#include "Marrowkit/model/simulatorapp.h"

#include <QDir>
#include <QFile>

#include <atomic>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int Threads = 8;
constexpr auto Duration = std::chrono::seconds(10);
constexpr size_t FileSize = size_t(256) * 1024;

std::vector<unsigned char> pattern(int thread, int round)
{
    std::vector<unsigned char> bytes(FileSize);
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<unsigned char>((i * 31 + size_t(thread) * 7 + size_t(round)) & 0xff);
    }
    return bytes;
}

// One round of a worker: write a pattern, read it back in pieces, list.
// Answers an account of the first thing that went wrong, else empty.
std::string oneRound(const std::string &file, const QString &root, const QString &device,
                     const QString &bundleFile, const QByteArray &bundleBytes, int thread,
                     int round)
{
    const std::vector<unsigned char> expected = pattern(thread, round);
    const int out = ::open(file.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    if (out < 0) {
        return "create failed: " + std::string(std::strerror(errno));
    }
    size_t done = 0;
    while (done < expected.size()) {
        const ssize_t written =
            ::write(out, expected.data() + done, std::min<size_t>(65536, expected.size() - done));
        if (written <= 0) {
            ::close(out);
            return "write failed";
        }
        done += size_t(written);
    }
    ::close(out);
    std::vector<unsigned char> back(FileSize);
    const int in = ::open(file.c_str(), O_RDONLY);
    if (in < 0) {
        return "open for reading failed";
    }
    // Out of order, in odd sizes, so every offset path is taken.
    for (size_t offset : {size_t(100000), size_t(0), size_t(4093), size_t(200000)}) {
        const size_t length = std::min<size_t>(60000, FileSize - offset);
        if (::pread(in, back.data() + offset, length, off_t(offset)) != ssize_t(length) ||
            std::memcmp(back.data() + offset, expected.data() + offset, length) != 0) {
            ::close(in);
            return "wrong bytes at " + std::to_string(offset);
        }
    }
    ::close(in);
    if (QDir(root).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty() ||
        QDir(device).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty()) {
        return "a listing came back empty";
    }
    QFile bundle(bundleFile);
    if (!bundle.open(QIODevice::ReadOnly) || bundle.readAll() != bundleBytes) {
        return "the bundle file read differently";
    }
    return {};
}

} // namespace

TEST_F(MountedVolume, EightThreadsWhileTheCatalogueIsReplaced)
{
    const QString app = appFolderPath(QStringLiteral("Birdwatch"));
    const SimulatorAppPtr birdwatch =
        appNamed(deviceWithApp(QStringLiteral("Birdwatch")), QStringLiteral("Birdwatch"));
    QFile info(birdwatch->bundleURL()->toLocalFile() + QStringLiteral("/Info.plist"));
    ASSERT_TRUE(info.open(QIODevice::ReadOnly));
    const QByteArray bundleBytes = info.readAll();
    const QString device = onMount(app.section(QLatin1Char('/'), 0, 1));

    // Two catalogues of different objects for the same devices, so that each
    // replacement is a new catalogue the volume must pick up mid-request.
    const CatalogueSnapshot first = CatalogueSnapshot::fromDevices(scan());
    const CatalogueSnapshot second = CatalogueSnapshot::fromDevices(scan());

    std::atomic<bool> stop{false};
    std::atomic<int> rounds{0};
    std::vector<std::string> failures(Threads);
    std::vector<std::thread> workers;
    workers.reserve(Threads);
    for (int thread = 0; thread < Threads; ++thread) {
        workers.emplace_back([&, thread] {
            const std::string file =
                QFile::encodeName(
                    onMount(app + QStringLiteral("/Sandbox/stress-") + QString::number(thread)))
                    .toStdString();
            for (int round = 0; !stop && failures[size_t(thread)].empty(); ++round) {
                failures[size_t(thread)] =
                    oneRound(file, m_volume->mountPath(), device,
                             onMount(app + QStringLiteral("/Bundle/Info.plist")), bundleBytes,
                             thread, round);
                ++rounds;
            }
        });
    }
    const auto end = std::chrono::steady_clock::now() + Duration;
    for (int replacement = 0; std::chrono::steady_clock::now() < end; ++replacement) {
        m_catalogue.replace(replacement % 2 ? first : second);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    stop = true;
    for (std::thread &worker : workers) {
        worker.join();
    }
    for (int thread = 0; thread < Threads; ++thread) {
        EXPECT_EQ(failures[size_t(thread)], std::string()) << "thread " << thread;
    }
    EXPECT_GT(rounds.load(), Threads);
    std::printf("%d rounds of write, read back and list\n", rounds.load());
}
