// The service as its clients meet it, on a large world: the real service
// program started by bus activation on a private bus, three clients on
// connections of their own, the stand-in developer tools in a temporary HOME.
//
// 1. Request to decoded catalogue in each of three clients (each client
//    decodes on a thread of its own, as three processes would), against
//    archiving and unarchiving the same catalogue in this process, in turns.
// 2. The service's resident memory after its scan, beside the size of the
//    catalogue's archive.
// 3. From the end of an `xcrun simctl install` to the new catalogue arriving
//    at a client (the service's debounce plus its rescan and push).
//
//   parley_bench [--devices 40] [--apps 50] [--runs 7] [--installs 5]
#include "benchsupport.h"
#include "recordingclient.h"

#include "tests/support/privatebus.h"
#include "tests/support/testsupport.h"

#include "Marrowkit/Connection/parleycontract.h"
#include "Marrowkit/model/simulatorcoding.h"
#include "Marrowkit/model/simulatordevice.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// User plus system time of another process, from /proc.
double otherProcessCpuMs(uint pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) {
        return 0;
    }
    const QByteArray line = stat.readAll();
    // Fields after the command name, which is in parentheses and may hold spaces.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13) {
        return 0;
    }
    const double ticks = double(fields[11].toLongLong() + fields[12].toLongLong());
    return ticks * 1000.0 / double(sysconf(_SC_CLK_TCK));
}

qint64 residentKiB(uint pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').constFirst().toLongLong();
        }
    }
    return 0;
}

// Milliseconds of another process, which bench::Sample cannot time.
void printSpread(const char *label, std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    std::printf("  %-50s min %8.1f  median %8.1f  max %8.1f ms\n", label, values.front(),
                values[values.size() / 2], values.back());
}

// Decodes every catalogue a client receives on a thread of its own (as a
// client process would) and notes when the decoded devices are ready.
//
// Threads: the main thread owns `client` and hands arrivals over under the
// mutex; one decoding thread at a time waits for them.
class DecodingClient
{
public:
    explicit DecodingClient(const QDBusConnection &bus) : client(bus) {}

    // Waits for a catalogue beyond the first `before` and decodes it;
    // `msToDecoded` gets the milliseconds since `start`, or -1.
    std::thread decodeNext(const QElapsedTimer &start, double *msToDecoded, qsizetype before)
    {
        return std::thread([this, &start, msToDecoded, before] {
            std::unique_lock lock(m_mutex);
            if (!m_changed.wait_for(lock, std::chrono::seconds(60),
                                    [&] { return m_arrived.size() > before; })) {
                *msToDecoded = -1;
                return;
            }
            const QByteArray archive = m_arrived.at(before);
            lock.unlock();
            const auto devices = SimulatorCoding::devicesFromArchive(archive).value();
            *msToDecoded = devices ? double(start.nsecsElapsed()) / 1e6 : -1;
        });
    }

    // Called on the main thread after every turn of the event loop.
    void collect()
    {
        const std::lock_guard lock(m_mutex);
        if (m_arrived.size() < client.catalogues.size()) {
            m_arrived = client.catalogues;
            m_changed.notify_all();
        }
    }
    qsizetype arrivedCount()
    {
        const std::lock_guard lock(m_mutex);
        return m_arrived.size();
    }

    RecordingClient client;

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    QList<QByteArray> m_arrived;
};

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    QCommandLineParser parser;
    parser.addOption({QStringLiteral("installs"), QStringLiteral("Installs timed"),
                      QStringLiteral("n"), QStringLiteral("5")});
    const bench::WorldOptions options = bench::parseWorldOptions(parser, application, 7);
    const int runs = options.runs;
    const int installs = std::max(1, parser.value(QStringLiteral("installs")).toInt());
    bench::World world(options.devices, options.apps);
    if (!world.isValid()) {
        std::fprintf(stderr, "could not make the world\n");
        return 1;
    }
    bench::printLoad("at the start");
    QElapsedTimer clock;

    testsupport::PrivateBus bus;
    if (!bus.isRunning()) {
        std::fprintf(stderr, "no private bus\n");
        return 1;
    }
    std::vector<std::unique_ptr<DecodingClient>> clients;
    for (int i = 0; i < 3; ++i) {
        clients.push_back(
            std::make_unique<DecodingClient>(bus.connect(QStringLiteral("client-%1").arg(i))));
    }
    const QString anyURL = QStringLiteral("https://marrowby.invalid/catalogue");
    // Turns the event loop until every client holds more than `counts`.
    auto countsNow = [&] {
        std::vector<qsizetype> counts;
        for (auto &c : clients) {
            c->collect();
            counts.push_back(c->arrivedCount());
        }
        return counts;
    };
    auto waitForCatalogues = [&](const std::vector<qsizetype> &counts) {
        return testsupport::waitFor(
            [&] {
                bool all = true;
                for (size_t i = 0; i < clients.size(); ++i) {
                    clients[i]->collect();
                    all = all && clients[i]->arrivedCount() > counts[i];
                }
                return all;
            },
            std::chrono::seconds(120));
    };

    // Each client's first call makes it a connection of the service; the
    // first of them starts the service, which scans and archives.
    clock.restart();
    for (auto &c : clients) {
        c->client.inspector().requestSimulatorDevicesContainingAppsAtURL(anyURL).waitForFinished();
    }
    if (!waitForCatalogues(std::vector<qsizetype>(clients.size(), 0))) {
        std::fprintf(stderr, "no catalogue arrived\n");
        return 1;
    }
    const double coldMs = double(clock.nsecsElapsed()) / 1e6;
    const uint service = bus.ownerProcess(ParleyContract::serviceName());
    const QByteArray archive = clients.front()->client.catalogues.constLast();
    const auto catalogue = SimulatorCoding::devicesFromArchive(archive).value();
    if (!catalogue) {
        std::fprintf(stderr, "the catalogue does not decode\n");
        return 1;
    }
    int apps = 0;
    for (const auto &device : *catalogue) {
        apps += int(device->apps().size());
    }
    std::printf("service pid %u: first requests (start, scan, archive, pushes) %.0f ms; "
                "%lld devices with apps, %d apps\n",
                service, coldMs, static_cast<long long>(catalogue->size()), apps);

    // 1. Request to decoded catalogue, against archive + unarchive here.
    std::vector<bench::Sample> requests;
    std::vector<bench::Sample> baseline;
    std::vector<double> serviceCpu;
    SimulatorCoding::archivedDataWithDevices(*catalogue).value(); // warm, as the service is
    for (int run = 0; run < runs; ++run) {
        const double serviceBefore = otherProcessCpuMs(service);
        std::vector<double> decoded(clients.size(), -1);
        bench::Sample request = bench::measure([&] {
            QElapsedTimer start;
            start.start();
            // One request; the service pushes the catalogue to every client.
            const std::vector<qsizetype> before = countsNow();
            std::vector<std::thread> decoders;
            for (size_t i = 0; i < clients.size(); ++i) {
                decoders.push_back(clients[i]->decodeNext(start, &decoded[i], before[i]));
            }
            clients.front()->client.inspector().requestSimulatorDevicesContainingAppsAtURL(anyURL);
            waitForCatalogues(before);
            for (auto &decoder : decoders) {
                decoder.join();
            }
        });
        if (std::find(decoded.begin(), decoded.end(), -1.0) != decoded.end()) {
            std::fprintf(stderr, "a client did not get the catalogue\n");
            return 1;
        }
        // Until the last client holds decoded devices, not until this loop
        // noticed.
        request.wallMs = *std::max_element(decoded.begin(), decoded.end());
        requests.push_back(request);
        serviceCpu.push_back(otherProcessCpuMs(service) - serviceBefore);

        bool roundTripped = false;
        baseline.push_back(bench::measure([&] {
            const auto archived = SimulatorCoding::archivedDataWithDevices(*catalogue).value();
            roundTripped = archived && SimulatorCoding::devicesFromArchive(*archived).value();
        }));
        if (!roundTripped) {
            std::fprintf(stderr, "the baseline did not round-trip\n");
            return 1;
        }
    }
    std::printf("\n1. catalogue request to decoded devices in all of 3 clients (%d runs)\n", runs);
    bench::print("request -> last client decoded (CPU: the clients)", requests);
    printSpread("  CPU of the service (10 ms ticks)", serviceCpu);
    bench::print("baseline: archive + unarchive in one process", baseline);
    std::printf("  ratio of medians: wall %.2fx, CPU %.2fx  (target: within 1.5x)\n",
                bench::medianWall(requests) / bench::medianWall(baseline),
                bench::medianCpu(requests) / bench::medianCpu(baseline));

    // 2. Memory.
    std::printf("\n2. service resident memory %lld KiB; catalogue archive %lld KiB "
                "(%.1fx); %.1f KiB per app\n",
                static_cast<long long>(residentKiB(service)),
                static_cast<long long>(archive.size() / 1024),
                double(residentKiB(service)) / (double(archive.size()) / 1024.0),
                double(residentKiB(service)) / std::max(apps, 1));

    // 3. Install to new catalogue at a client.
    std::vector<double> installLatency;
    std::vector<double> installServiceCpu;
    const QString device = catalogue->constFirst()->uuid();
    for (int install = 0; install < installs; ++install) {
        DecodingClient &first = *clients.front();
        const std::vector<qsizetype> counts = countsNow();
        const double serviceBefore = otherProcessCpuMs(service);
        if (!world.installApp(device, install)) {
            std::fprintf(stderr, "the install failed\n");
            return 1;
        }
        QElapsedTimer afterInstall;
        afterInstall.start();
        if (!testsupport::waitFor(
                [&] {
                    first.collect();
                    return first.arrivedCount() > counts.front();
                },
                std::chrono::seconds(60))) {
            std::fprintf(stderr, "no catalogue after the install\n");
            return 1;
        }
        installLatency.push_back(double(afterInstall.nsecsElapsed()) / 1e6);
        installServiceCpu.push_back(otherProcessCpuMs(service) - serviceBefore);
        // Let the pushes to the other clients settle before the next install.
        waitForCatalogues(counts);
    }
    std::printf("\n3. end of `simctl install` to the new catalogue at a client (%d installs)\n",
                installs);
    printSpread("latency, wall (includes the 0.2 s debounce)", installLatency);
    printSpread("  CPU of the service", installServiceCpu);
    bench::printLoad("at the end");
    return 0;
}
