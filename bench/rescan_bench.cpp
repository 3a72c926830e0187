// Rescanning the large world after one app was installed, and archiving the
// catalogue that follows, against a full first scan and archive with the
// rendered-icon cache empty. Counts the icons drawn in each phase: a rescan
// with nothing changed should draw none, one after an install one.
//
//   rescan_bench [--devices 40] [--apps 50] [--runs 5]
#include "benchsupport.h"

#include "Marrowsim/marrowsimcontroller.h"

#include "Marrowkit/icons/renderediconcache.h"
#include "Marrowkit/model/simulatorcoding.h"
#include "Marrowkit/model/simulatordevice.h"

#include <QCommandLineParser>
#include <QGuiApplication>

#include <cstdio>

namespace {

// Scans and archives; false when the archive failed.
bool scanAndArchive(MarrowsimController &controller, int *apps)
{
    const auto devices = controller.availableDevices();
    *apps = 0;
    for (const auto &device : devices) {
        *apps += int(device->apps().size());
    }
    return SimulatorCoding::archivedDataWithDevices(devices).isSuccess();
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCommandLineParser parser;
    const bench::WorldOptions options = bench::parseWorldOptions(parser, app);
    const int runs = options.runs;
    bench::World world(options.devices, options.apps);
    MarrowsimController controller(world.developerFolder());
    if (!world.isValid() || !controller.didLoadFrameworks()) {
        std::fprintf(stderr, "no world to scan\n");
        return 1;
    }
    const auto devices = controller.availableDevices();
    if (devices.isEmpty()) {
        std::fprintf(stderr, "no devices\n");
        return 1;
    }
    const QString target = devices.first()->uuid();
    bench::printLoad("before");

    bool ok = true;
    int apps = 0;
    quint64 renders = RenderedIconCache::renderCount();
    auto rendersSince = [&renders] {
        const quint64 now = RenderedIconCache::renderCount();
        const quint64 drawn = now - renders;
        renders = now;
        return static_cast<unsigned long long>(drawn);
    };
    const bench::Sample full =
        bench::measure([&] { ok = scanAndArchive(controller, &apps) && ok; });
    const auto fullRenders = rendersSince();
    const auto unchanged =
        bench::measure(runs, [&] { ok = scanAndArchive(controller, &apps) && ok; });
    const auto unchangedRenders = rendersSince();
    std::vector<bench::Sample> installed;
    for (int run = 0; run < runs; ++run) {
        if (!world.installApp(target, run)) {
            std::fprintf(stderr, "installing failed\n");
            return 1;
        }
        installed.push_back(bench::measure([&] { ok = scanAndArchive(controller, &apps) && ok; }));
    }
    const auto installedRenders = rendersSince();
    if (!ok) {
        std::fprintf(stderr, "archiving failed\n");
        return 1;
    }

    std::printf("%lld devices, %d apps at the end\n", static_cast<long long>(devices.size()), apps);
    bench::print("first scan + archive, cache empty", {full});
    bench::print("rescan + archive, nothing changed", unchanged);
    bench::print("rescan + archive after installing one app", installed);
    std::printf("icons drawn: first scan %llu; %d unchanged rescans %llu; %d rescans after one "
                "install each %llu\n",
                fullRenders, runs, unchangedRenders, runs, installedRenders);
    std::printf("ratio rescan after install / first scan: wall %.2f, cpu %.2f\n",
                bench::medianWall(installed) / full.wallMs,
                bench::medianCpu(installed) / full.cpuMs);
    bench::printLoad("after");
    return 0;
}
