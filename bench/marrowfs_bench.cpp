// The volume's pass-through against the same data folder read directly and
// through bindfs (the pass-through a Linux user would otherwise mount), all
// three in one run from the same starting point: sequential 1 MiB writes and
// reads (cold cache, right after the write, warm cache), random 4 KiB reads
// and writes (fio), and create+stat+unlink of many small files. The serving
// process's CPU time is printed beside each figure: the volume serves from
// this process, bindfs from its own. Cold reads drop the page cache (needs
// root; skipped else).
//
//   marrowfs_bench [--size-mib 1024] [--files 10000] [--runs 3] [--only-metadata]
#include "Marrowfs/marrowfscontroller.h"
#include "Marrowsim/marrowsimcontroller.h"

#include "Marrowkit/model/simulatorapp.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

struct NoActions : MarrowfsActions
{
    void uninstallApp(const SimulatorAppPtr &) override {}
    void deleteDevice(const SimulatorDevicePtr &) override {}
    void showAlert(const QString &) override {}
};

// Cold reads are short and the noisiest figure: they get more rounds.
constexpr int ColdRoundsPerRun = 3;

struct Target
{
    QString name;
    QString folder;
    qint64 serverPid = 0; // 0: this process serves it (or nobody does)
};

// CPU seconds of /proc/<pid>/stat or /proc/self/task/<tid>/stat (user + system).
double cpuSecondsOf(const QString &statPath)
{
    QFile stat(statPath);
    if (!stat.open(QIODevice::ReadOnly)) {
        return 0;
    }
    const QByteArray text = stat.read(4096);
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 13 ? double(fields.at(11).toLongLong() + fields.at(12).toLongLong()) /
                                    double(sysconf(_SC_CLK_TCK))
                              : 0;
}

// CPU seconds of a serving process so far. For this process (pid 0), only
// its other threads count: the main thread is the client the figures time,
// and its system calls must not be charged to the volume.
double cpuSeconds(qint64 pid)
{
    if (pid != 0) {
        return cpuSecondsOf(QStringLiteral("/proc/%1/stat").arg(pid));
    }
    double total = 0;
    const QString self = QString::number(getpid());
    const QStringList threads =
        QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &thread : threads) {
        if (thread != self) {
            total +=
                cpuSecondsOf(QStringLiteral("/proc/self/task/") + thread + QStringLiteral("/stat"));
        }
    }
    return total;
}

void dropCaches()
{
    sync();
    QFile drop(QStringLiteral("/proc/sys/vm/drop_caches"));
    if (drop.open(QIODevice::WriteOnly)) {
        drop.write("3\n");
    }
}

bool canDropCaches()
{
    return access("/proc/sys/vm/drop_caches", W_OK) == 0;
}

// One fio job; answers MiB/s (read or write, whichever the job did).
double fio(const QString &folder, const QStringList &job)
{
    QProcess process;
    process.start(QStringLiteral("fio"),
                  QStringList{QStringLiteral("--name=bench"),
                              QStringLiteral("--directory=") + folder,
                              QStringLiteral("--filename=big"), QStringLiteral("--ioengine=psync"),
                              QStringLiteral("--output-format=json"),
                              // fio drops the file's cache before each job by
                              // default; only the cold read asks for that.
                              QStringLiteral("--invalidate=0")} +
                      job);
    process.waitForFinished(-1);
    const QJsonObject result = QJsonDocument::fromJson(process.readAllStandardOutput())
                                   .object()[QStringLiteral("jobs")]
                                   .toArray()
                                   .first()
                                   .toObject();
    const double bytes =
        result[QStringLiteral("read")].toObject()[QStringLiteral("bw_bytes")].toDouble() +
        result[QStringLiteral("write")].toObject()[QStringLiteral("bw_bytes")].toDouble();
    return bytes / (1024.0 * 1024.0);
}

// Files per second for create, stat and unlink of `count` small files.
double metadata(const QString &folder, int count)
{
    const QByteArray base = QFile::encodeName(folder + QStringLiteral("/meta"));
    mkdir(base.constData(), 0755);
    // Each target starts from written-out metadata: ext4 scans inodes freed
    // moments ago (by the target measured before) when it allocates new ones,
    // which would charge one target for another's deletions.
    sync();
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < count; ++i) {
        const QByteArray path = base + "/f" + QByteArray::number(i);
        const int fd = open(path.constData(), O_CREAT | O_WRONLY, 0644);
        if (fd >= 0) {
            close(fd);
        }
        struct stat st = {};
        stat(path.constData(), &st);
    }
    for (int i = 0; i < count; ++i) {
        unlink((base + "/f" + QByteArray::number(i)).constData());
    }
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    rmdir(base.constData());
    return count / seconds;
}

struct Figure
{
    std::vector<double> values;
    std::vector<double> cpu;
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

void print(const char *what, const QList<Target> &targets, const std::vector<Figure> &figures,
           const char *unit)
{
    std::printf("%s\n", what);
    const double bindfs = median(figures[1].values);
    const double real = median(figures[0].values);
    for (qsizetype i = 0; i < targets.size(); ++i) {
        const auto &values = figures[size_t(i)].values;
        std::printf("  %-8s min %9.1f  median %9.1f  max %9.1f %s   server CPU %6.2f s"
                    "   x bindfs %.2f   x real %.2f\n",
                    targets[i].name.toUtf8().constData(),
                    *std::min_element(values.begin(), values.end()), median(values),
                    *std::max_element(values.begin(), values.end()), unit,
                    median(figures[size_t(i)].cpu), median(values) / bindfs, median(values) / real);
    }
}

// Each target's figure over the real folder's in the same round: the disk's
// drift between rounds cancels out.
void printPairedRatios(const QList<Target> &targets, const std::vector<Figure> &figures, int rounds)
{
    std::printf("  (%d rounds of one file; over the real folder's figure in the same round:",
                rounds);
    for (qsizetype i = 1; i < targets.size(); ++i) {
        std::vector<double> ratios;
        const auto &values = figures[size_t(i)].values;
        const auto &real = figures[0].values;
        for (size_t round = 0; round < values.size() && round < real.size(); ++round) {
            ratios.push_back(real[round] > 0 ? values[round] / real[round] : 0);
        }
        std::printf(" %s min %.2f median %.2f max %.2f%s", targets[i].name.toUtf8().constData(),
                    *std::min_element(ratios.begin(), ratios.end()), median(ratios),
                    *std::max_element(ratios.begin(), ratios.end()),
                    i + 1 < targets.size() ? ";" : ")\n");
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOptions({{QStringLiteral("size-mib"), QStringLiteral("File size"),
                        QStringLiteral("n"), QStringLiteral("1024")},
                       {QStringLiteral("files"), QStringLiteral("Small files"), QStringLiteral("n"),
                        QStringLiteral("10000")},
                       {QStringLiteral("runs"), QStringLiteral("Runs of each"), QStringLiteral("n"),
                        QStringLiteral("3")},
                       {QStringLiteral("only-metadata"),
                        QStringLiteral("Only create+stat+unlink (for profiling)")}});
    parser.process(app);
    const QString size = parser.value(QStringLiteral("size-mib")) + QStringLiteral("M");
    const int files = parser.value(QStringLiteral("files")).toInt();
    const int runs = std::max(1, parser.value(QStringLiteral("runs")).toInt());
    const bool onlyMetadata = parser.isSet(QStringLiteral("only-metadata"));

    QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    if (QProcess::execute(QStringLiteral(MARROWBY_DEVTOOLS_BIN "/devtools"),
                          {QStringLiteral("sample-world")}) != 0) {
        std::fprintf(stderr, "could not make the world\n");
        return 1;
    }
    MarrowsimController simulators(home.path() +
                                   QStringLiteral("/Applications/Xcode.app/Contents/Developer"));
    CatalogueSource catalogue;
    catalogue.replace(CatalogueSnapshot::fromDevices(simulators.availableDevices()));
    QString sandbox, appPath;
    for (const auto &[device, deviceName] : catalogue.snapshot()->deviceNames) {
        for (const auto &[app, appName] : catalogue.snapshot()->appNames.value(device->uuid())) {
            if (sandbox.isEmpty() && app->sandboxURL()) {
                sandbox = app->sandboxURL()->toLocalFile();
                appPath = QLatin1Char('/') + deviceName + QLatin1Char('/') + appName;
            }
        }
    }
    NoActions actions;
    MarrowfsController volume(catalogue, actions,
                              home.path() + QStringLiteral("/Volumes/Marrowby"));
    if (sandbox.isEmpty() || !volume.start()) {
        std::fprintf(stderr, "could not mount the volume\n");
        return 1;
    }
    const QString bindfsMount = home.path() + QStringLiteral("/bindfs");
    QDir().mkpath(bindfsMount);
    QProcess bindfs;
    bindfs.start(QStringLiteral("bindfs"), {QStringLiteral("-f"), sandbox, bindfsMount});
    bindfs.waitForStarted();
    QElapsedTimer wait;
    wait.start();
    while (!QFileInfo::exists(bindfsMount + QStringLiteral("/Documents")) &&
           wait.elapsed() < 10000) {
        QThread::msleep(50);
    }
    QDir(sandbox).mkdir(QStringLiteral("bench"));
    const QList<Target> targets{
        {QStringLiteral("real"), sandbox + QStringLiteral("/bench"), -1},
        {QStringLiteral("bindfs"), bindfsMount + QStringLiteral("/bench"), bindfs.processId()},
        {QStringLiteral("volume"), volume.mountPath() + appPath + QStringLiteral("/Sandbox/bench"),
         0}};

    const bool cold = canDropCaches();
    std::vector<Figure> write(3), readCold(3), readAfterWrite(3), readWarm(3), randRead(3),
        randWrite(3), meta(3);
    long peakBefore = 0, peakAfter = 0;
    const auto measure = [&](Figure &figure, const Target &target,
                             const std::function<double()> &run) {
        const double cpu = target.serverPid < 0 ? 0 : cpuSeconds(target.serverPid);
        figure.values.push_back(run());
        figure.cpu.push_back(target.serverPid < 0 ? 0 : cpuSeconds(target.serverPid) - cpu);
    };
    // The whole file, front to back, in 1 MiB blocks.
    const auto readWhole = [&size](const Target &target) {
        return fio(target.folder, {QStringLiteral("--rw=read"), QStringLiteral("--bs=1M"),
                                   QStringLiteral("--size=") + size});
    };
    // Cold reads depend on the disk more than on anything else, and a shared
    // disk's speed drifts over a minute by a factor of two. So they get a
    // phase of their own: one file, read by the three targets in turn right
    // after each other, every target taking every place, with the page cache
    // dropped before each read.
    const int coldRounds = runs * ColdRoundsPerRun;
    if (cold && !onlyMetadata) {
        fio(targets[0].folder, {QStringLiteral("--rw=write"), QStringLiteral("--bs=1M"),
                                QStringLiteral("--size=") + size, QStringLiteral("--end_fsync=1")});
        for (int round = 0; round < coldRounds; ++round) {
            for (qsizetype k = 0; k < targets.size(); ++k) {
                const qsizetype i = (k + round) % targets.size();
                const Target &target = targets[i];
                dropCaches();
                rusage usage = {};
                getrusage(RUSAGE_SELF, &usage);
                if (target.serverPid == 0 && peakBefore == 0) {
                    peakBefore = usage.ru_maxrss;
                }
                measure(readCold[size_t(i)], target, [&] { return readWhole(target); });
                getrusage(RUSAGE_SELF, &usage);
                if (target.serverPid == 0) {
                    peakAfter = usage.ru_maxrss;
                }
            }
        }
        QFile::remove(targets[0].folder + QStringLiteral("/big"));
    }
    for (int run = 0; run < runs; ++run) {
        // Each run starts with another target: on a file system that keeps
        // freed inodes out of reuse for a while (ext4 without a journal
        // scans past them on every allocation), whoever goes last pays for
        // the others' deletions, so every target takes every place in turn.
        for (qsizetype k = 0; k < targets.size(); ++k) {
            const qsizetype i = (k + run) % targets.size();
            const Target &target = targets[i];
            if (onlyMetadata) {
                measure(meta[size_t(i)], target, [&] { return metadata(target.folder, files); });
                continue;
            }
            QFile::remove(target.folder + QStringLiteral("/big"));
            measure(write[size_t(i)], target, [&] {
                return fio(target.folder,
                           {QStringLiteral("--rw=write"), QStringLiteral("--bs=1M"),
                            QStringLiteral("--size=") + size, QStringLiteral("--end_fsync=1")});
            });
            // The first read after a write through the volume fetches the
            // file again: the write changed its time, and the kernel drops
            // what it holds of a file that changed. The second read is the
            // warm one.
            measure(readAfterWrite[size_t(i)], target, [&] { return readWhole(target); });
            measure(readWarm[size_t(i)], target, [&] { return readWhole(target); });
            measure(randRead[size_t(i)], target, [&] {
                return fio(target.folder,
                           {QStringLiteral("--rw=randread"), QStringLiteral("--bs=4k"),
                            QStringLiteral("--size=") + size, QStringLiteral("--runtime=5"),
                            QStringLiteral("--time_based")});
            });
            measure(randWrite[size_t(i)], target, [&] {
                return fio(target.folder,
                           {QStringLiteral("--rw=randwrite"), QStringLiteral("--bs=4k"),
                            QStringLiteral("--size=") + size, QStringLiteral("--runtime=5"),
                            QStringLiteral("--time_based")});
            });
            measure(meta[size_t(i)], target, [&] { return metadata(target.folder, files); });
            QFile::remove(target.folder + QStringLiteral("/big"));
        }
    }
    std::printf("%d runs, %s file, %d small files; CPU is the serving process's (none for real)\n",
                runs, size.toUtf8().constData(), files);
    if (onlyMetadata) {
        print("create+stat+unlink", targets, meta, "files/s");
        bindfs.terminate();
        bindfs.waitForFinished();
        volume.stop();
        return 0;
    }
    print("sequential write, 1 MiB blocks", targets, write, "MiB/s");
    if (cold) {
        print("sequential read, cold cache", targets, readCold, "MiB/s");
        printPairedRatios(targets, readCold, coldRounds);
    } else {
        std::printf("sequential read, cold cache: skipped (cannot drop the page cache)\n");
    }
    print("sequential read, right after the write", targets, readAfterWrite, "MiB/s");
    print("sequential read, warm cache", targets, readWarm, "MiB/s");
    print("random 4 KiB reads", targets, randRead, "MiB/s");
    print("random 4 KiB writes", targets, randWrite, "MiB/s");
    print("create+stat+unlink", targets, meta, "files/s");
    if (cold) {
        std::printf("peak memory of this process (serving the volume) before / after cold reads of "
                    "%s: %ld / %ld KiB\n",
                    size.toUtf8().constData(), peakBefore, peakAfter);
    }
    // bindfs unmounts itself when terminated.
    bindfs.terminate();
    bindfs.waitForFinished();
    volume.stop();
    return 0;
}
