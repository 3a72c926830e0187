// Reading a large device set into the model, against reading the same files
// without building it. The world is laid out by the stand-in developer tools
// in a temporary HOME; the baseline parses every device.plist, container
// metadata file and Info.plist with libplist and loads every icon file the
// Info.plists name with Qt, which is the I/O and parsing the model cannot avoid.
//
//   devicescan_bench [--devices 40] [--apps 50] [--runs 5]
#include "Marrowsim/marrowsimcontroller.h"

#include "Marrowkit/model/simulatorapp.h"

#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <plist/plist.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

plist_t readPlist(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return nullptr;
    }
    const QByteArray data = file.readAll();
    plist_t root = nullptr;
    if (data.startsWith("bplist")) {
        plist_from_bin(data.constData(), uint32_t(data.size()), &root);
    } else {
        plist_from_xml(data.constData(), uint32_t(data.size()), &root);
    }
    return root;
}

QStringList iconNames(plist_t info)
{
    QStringList names;
    for (const char *key : {"CFBundleIcons", "CFBundleIcons~ipad"}) {
        plist_t icons = plist_dict_get_item(info, key);
        plist_t primary = icons ? plist_dict_get_item(icons, "CFBundlePrimaryIcon") : nullptr;
        plist_t files = primary ? plist_dict_get_item(primary, "CFBundleIconFiles") : nullptr;
        for (uint32_t i = 0; files && i < plist_array_get_size(files); ++i) {
            char *name = nullptr;
            plist_get_string_val(plist_array_get_item(files, i), &name);
            if (name) {
                names.append(QString::fromUtf8(name));
                free(name);
            }
        }
    }
    return names;
}

// Everything the model reads for these devices, read directly. Returns the
// number of apps seen.
// `decodeIcons` false reads the icon files' bytes without decoding them.
int readDirectly(const QString &deviceSet, const QStringList &udids, bool decodeIcons)
{
    int apps = 0;
    const QStringList suffixes{QString(), QStringLiteral("@2x"), QStringLiteral("@3x"),
                               QStringLiteral("@2x~ipad"), QStringLiteral("~ipad")};
    for (const QString &udid : udids) {
        const QString device = deviceSet + QLatin1Char('/') + udid;
        plist_free(readPlist(device + QStringLiteral("/device.plist")));
        const QString data = device + QStringLiteral("/data/Containers/Data/Application");
        for (const QString &container : QDir(data).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            plist_free(
                readPlist(data + QLatin1Char('/') + container +
                          QStringLiteral("/.com.apple.mobile_container_manager.metadata.plist")));
        }
        const QString bundles = device + QStringLiteral("/data/Containers/Bundle/Application");
        for (const QString &container :
             QDir(bundles).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            const QDir folder(bundles + QLatin1Char('/') + container);
            for (const QString &app : folder.entryList({QStringLiteral("*.app")}, QDir::Dirs)) {
                const QString bundle = folder.filePath(app);
                plist_t info = readPlist(bundle + QStringLiteral("/Info.plist"));
                if (!info) {
                    continue;
                }
                ++apps;
                QStringList names = iconNames(info);
                names.removeDuplicates();
                for (const QString &name : std::as_const(names)) {
                    for (const QString &suffix : suffixes) {
                        const QString file =
                            bundle + QLatin1Char('/') + name + suffix + QStringLiteral(".png");
                        QFile icon(file);
                        if (!icon.open(QIODevice::ReadOnly)) {
                            continue;
                        }
                        const QByteArray bytes = icon.readAll();
                        if (decodeIcons) {
                            QImage image = QImage::fromData(bytes);
                        }
                    }
                }
                plist_free(info);
            }
        }
    }
    return apps;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOptions({{QStringLiteral("devices"), QStringLiteral("Devices"), QStringLiteral("n"),
                        QStringLiteral("40")},
                       {QStringLiteral("apps"), QStringLiteral("Apps per device"),
                        QStringLiteral("n"), QStringLiteral("50")},
                       {QStringLiteral("runs"), QStringLiteral("Runs of each"), QStringLiteral("n"),
                        QStringLiteral("5")}});
    parser.process(app);
    const int runs = std::max(1, parser.value(QStringLiteral("runs")).toInt());

    QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    const QString devtools = QStringLiteral(MARROWBY_DEVTOOLS_BIN "/devtools");
    QElapsedTimer clock;
    clock.start();
    const int made = QProcess::execute(
        devtools, {QStringLiteral("sample-world"), QStringLiteral("--devices"),
                   parser.value(QStringLiteral("devices")), QStringLiteral("--apps"),
                   parser.value(QStringLiteral("apps"))});
    if (made != 0) {
        std::fprintf(stderr, "could not make the world (%d)\n", made);
        return 1;
    }
    std::printf("world laid out in %.1f s\n", double(clock.elapsed()) / 1000.0);

    const QString developer =
        home.path() + QStringLiteral("/Applications/Xcode.app/Contents/Developer");
    const QString deviceSet =
        home.path() + QStringLiteral("/Library/Developer/CoreSimulator/Devices");
    MarrowsimController controller(developer);
    if (!controller.didLoadFrameworks()) {
        std::fprintf(stderr, "the simulator frameworks did not load\n");
        return 1;
    }

    QStringList udids;
    for (const auto &device : controller.availableDevices()) {
        udids.append(device->uuid());
    }

    std::vector<double> model;
    std::vector<double> baseline;
    std::vector<double> baselineUndecoded;
    qsizetype devices = 0;
    int appsInModel = 0;
    int appsRead = 0;
    for (int run = 0; run < runs; ++run) {
        clock.restart();
        appsRead = readDirectly(deviceSet, udids, true);
        baseline.push_back(double(clock.nsecsElapsed()) / 1e6);

        clock.restart();
        readDirectly(deviceSet, udids, false);
        baselineUndecoded.push_back(double(clock.nsecsElapsed()) / 1e6);

        clock.restart();
        const auto catalogue = controller.availableDevices();
        model.push_back(double(clock.nsecsElapsed()) / 1e6);
        devices = catalogue.size();
        appsInModel = 0;
        for (const auto &device : catalogue) {
            appsInModel += int(device->apps().size());
        }
    }
    const double modelMs = median(model);
    const double baselineMs = median(baseline);
    std::printf("availableDevices(): %lld devices, %d apps, median %.1f ms\n",
                static_cast<long long>(devices), appsInModel, modelMs);
    std::printf("baseline (libplist + Qt image loads): %d apps, median %.1f ms\n", appsRead,
                baselineMs);
    std::printf("ratio model / baseline: %.2fx (target: within 2x)\n", modelMs / baselineMs);
    // The model decodes icons only when they are first drawn; this baseline
    // reads the icon files without decoding them either.
    const double undecodedMs = median(baselineUndecoded);
    std::printf("baseline without decoding icons: median %.1f ms, ratio %.2fx\n", undecodedMs,
                modelMs / undecodedMs);
    return 0;
}
