// How soon a window on the volume hears that the real folder behind it
// changed: a file written into an app's real Documents folder, until the
// extension's host is told that the volume folder changed (the service's
// folder observer, its push over the bus, the extension's connector and
// handler). Beside it, the same write seen by an inotify watcher in this
// process (QFileSystemWatcher), the floor any route has to stand on.
//
// The real service runs on a private bus, started by activation, in the
// stand-in's sample world in a temporary HOME.
//
//   lensrefresh_bench [--runs 20]
#include "benchsupport.h"
#include "devtoolsworld.h"

#include "findersync.h"
#include "findersynccontroller.h"
#include "revealer.h"

#include "tests/support/privatebus.h"
#include "tests/support/testsupport.h"

#include "Marrowkit/Connection/parleyconnector.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFileSystemWatcher>
#include <QGuiApplication>

#include <cstdio>

namespace {

struct NoRevealer : Revealer
{
    void revealItems(const QList<QUrl> &) override {}
};

// Wall milliseconds from `act` until `heard` holds, or -1 after 10 s.
double timeUntil(const std::function<void()> &act, const std::function<bool()> &heard)
{
    QElapsedTimer timer;
    timer.start();
    act();
    while (!heard()) {
        if (timer.elapsed() > 10000) {
            return -1;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return double(timer.nsecsElapsed()) / 1e6;
}

void printRow(const char *label, std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    std::printf("%-34s min %7.2f  median %7.2f  max %7.2f ms\n", label, values.front(),
                values[values.size() / 2], values.back());
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption runsOption(QStringLiteral("runs"), QStringLiteral("Writes timed."),
                                        QStringLiteral("n"), QStringLiteral("20"));
    parser.addOption(runsOption);
    parser.process(application);
    const int runs = std::max(3, parser.value(runsOption).toInt());

    testsupport::TemporaryHome home;
    qputenv("MARROWBY_DEVTOOLS_BIN", MARROWBY_DEVTOOLS_BIN);
    if (devtoolsworld::run(QStringLiteral("devtools"), {QStringLiteral("sample-world")}).status) {
        std::fprintf(stderr, "cannot lay out the sample world\n");
        return 1;
    }
    testsupport::PrivateBus bus;
    FinderSyncController host;
    NoRevealer revealer;
    FinderSync::Setup setup;
    setup.volumePath = home.filePath(QStringLiteral("Volumes/Marrowby"));
    setup.bundlePath =
        testsupport::bundlePath() + QStringLiteral("/Contents/PlugIns/Marrowlens.appex");
    setup.busAddress = bus.address();
    FinderSync finderSync(host, revealer, setup);
    finderSync.beginObservingDirectoryAtURL(QUrl::fromLocalFile(setup.volumePath));
    if (!testsupport::waitFor(
            [&] { return finderSync.parleyConnector() && finderSync.parleyConnector()->devices(); },
            std::chrono::seconds(30))) {
        std::fprintf(stderr, "no catalogue from the service\n");
        return 1;
    }
    const ParleyConnector &connector = *finderSync.parleyConnector();
    const SimulatorDevicePtr device = connector.devices()->constFirst();
    const auto [app, appName] = connector.appNameMapForDevice(*device).constFirst();
    const QString volumeFolder = setup.volumePath + QLatin1Char('/') +
                                 connector.deviceNameMap()->value(device->uuid()) +
                                 QLatin1Char('/') + appName + QStringLiteral("/Sandbox/Documents");
    const QString realFolder = app->sandboxURL()->toLocalFile() + QStringLiteral("/Documents");
    QStringList told;
    QObject::connect(&host, &FinderSyncController::fileSystemChanged,
                     [&told](const QString &path) { told.append(path); });
    finderSync.beginObservingDirectoryAtURL(QUrl::fromLocalFile(volumeFolder));
    QFileSystemWatcher watcher({realFolder});
    int watched = 0;
    QObject::connect(&watcher, &QFileSystemWatcher::directoryChanged, [&watched] { ++watched; });
    // Let the service's observer settle before timing.
    testsupport::waitFor([] { return false; }, std::chrono::milliseconds(500));

    bench::printLoad("before");
    std::vector<double> extension, inotify;
    for (int run = 0; run < runs; ++run) {
        const QString file = realFolder + QStringLiteral("/bench-%1.txt").arg(run);
        told.clear();
        watched = 0;
        inotify.push_back(
            timeUntil([&] { testsupport::writeFile(file, "x"); }, [&] { return watched > 0; }));
        extension.push_back(timeUntil([] {}, [&] { return told.contains(volumeFolder); }) +
                            inotify.back());
        testsupport::waitFor([] { return false; }, std::chrono::milliseconds(200));
    }
    bench::printLoad("after");
    printRow("write -> inotify in this process", inotify);
    printRow("write -> host told (extension)", extension);
    std::sort(inotify.begin(), inotify.end());
    std::sort(extension.begin(), extension.end());
    std::printf("median ratio extension/inotify: %.1f\n",
                extension[extension.size() / 2] / std::max(0.01, inotify[inotify.size() / 2]));
    return 0;
}
