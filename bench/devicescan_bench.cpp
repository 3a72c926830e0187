// Scanning the large world into the model, against the floor: reading the
// same property lists and parsing them with libplist, plus reading (not
// decoding) the icon files the scan uses, in the same process and run. The
// scan reads only the icons under the device kind's key (CFBundleIcons~ipad
// on a pad when it has one, else CFBundleIcons), so the floor does too. A
// second baseline also decodes those icon files, as the scan once did.
// Memory held per app is measured from the heap, beyond the app's info
// dictionary, before and after its icon is drawn.
//
//   devicescan_bench [--devices 40] [--apps 50] [--runs 5]
#include "benchsupport.h"

#include "Marrowsim/marrowsimcontroller.h"

#include "Marrowkit/model/simulatorapp.h"
#include "Marrowkit/model/simulatorcoding.h"
#include "Marrowkit/model/simulatordevice.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QSet>

#include <plist/plist.h>

#include <cstdio>
#include <dirent.h>

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

QString stringIn(plist_t dict, const char *key)
{
    plist_t node = dict ? plist_dict_get_item(dict, key) : nullptr;
    char *value = nullptr;
    if (node && plist_get_node_type(node) == PLIST_STRING) {
        plist_get_string_val(node, &value);
    }
    const QString text = value ? QString::fromUtf8(value) : QString();
    free(value);
    return text;
}

// The icon file names under the key the scan uses for this kind of device.
QStringList iconNames(plist_t info, bool pad)
{
    plist_t icons = pad ? plist_dict_get_item(info, "CFBundleIcons~ipad") : nullptr;
    if (!icons || plist_get_node_type(icons) != PLIST_DICT) {
        icons = plist_dict_get_item(info, "CFBundleIcons");
    }
    plist_t primary = icons && plist_get_node_type(icons) == PLIST_DICT
                          ? plist_dict_get_item(icons, "CFBundlePrimaryIcon")
                          : nullptr;
    plist_t files = primary && plist_get_node_type(primary) == PLIST_DICT
                        ? plist_dict_get_item(primary, "CFBundleIconFiles")
                        : nullptr;
    QStringList names;
    for (uint32_t i = 0; files && i < plist_array_get_size(files); ++i) {
        char *name = nullptr;
        plist_get_string_val(plist_array_get_item(files, i), &name);
        if (name) {
            names.append(QString::fromUtf8(name));
            free(name);
        }
    }
    return names;
}

QSet<QString> namesIn(const QString &folder)
{
    QSet<QString> names;
    if (DIR *dir = opendir(QFile::encodeName(folder).constData())) {
        while (const dirent *entry = readdir(dir)) {
            names.insert(QFile::decodeName(entry->d_name));
        }
        closedir(dir);
    }
    return names;
}

struct Read
{
    int apps = 0;
    int iconFiles = 0;
};

// The files the scan reads for these devices, read directly: device.plist,
// the data containers' metadata, each bundle's Info.plist, and the icon
// files present under the kind's key (read whole; decoded when asked).
Read readDirectly(const QString &deviceSet, const QStringList &udids, bool decodeIcons)
{
    Read read;
    for (const QString &udid : udids) {
        const QString device = deviceSet + QLatin1Char('/') + udid;
        plist_t devicePlist = readPlist(device + QStringLiteral("/device.plist"));
        const bool pad = stringIn(devicePlist, "deviceType").contains(QLatin1String("iPad"));
        plist_free(devicePlist);
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
                ++read.apps;
                const QSet<QString> present = namesIn(bundle);
                for (const QString &name : iconNames(info, pad)) {
                    for (const char *suffix : {"", "@2x", "@3x", "@2x~ipad", "~ipad"}) {
                        const QString file = name + QLatin1String(suffix) + QStringLiteral(".png");
                        if (!present.contains(file)) {
                            continue;
                        }
                        QFile icon(bundle + QLatin1Char('/') + file);
                        if (!icon.open(QIODevice::ReadOnly)) {
                            continue;
                        }
                        const QByteArray bytes = icon.readAll();
                        ++read.iconFiles;
                        if (decodeIcons) {
                            const QImage image = QImage::fromData(bytes);
                        }
                    }
                }
                plist_free(info);
            }
        }
    }
    return read;
}

int appsIn(const QList<SimulatorDevicePtr> &devices)
{
    int apps = 0;
    for (const auto &device : devices) {
        apps += int(device->apps().size());
    }
    return apps;
}

// Heap held per app by a catalogue beyond its apps' info dictionaries: the
// catalogue is measured, then dropped while the dictionaries are kept.
void printMemory(MarrowsimController &controller)
{
    const qint64 empty = bench::heapInUse();
    QList<SimulatorDevicePtr> devices = controller.availableDevices();
    const int apps = appsIn(devices);
    const qint64 scanned = bench::heapInUse();
    (void)SimulatorCoding::archivedDataWithDevices(devices).value(); // draws every icon
    const qint64 drawn = bench::heapInUse();
    QList<QVariantMap> infos;
    for (const auto &device : devices) {
        for (const auto &app : device->apps()) {
            infos.append(app->info());
        }
    }
    devices.clear();
    const qint64 infosOnly = bench::heapInUse();
    std::printf("memory per app (%d apps): info dictionary %.1f KB; beyond it %.1f KB after "
                "the scan, %.1f KB once its icon is drawn (target <= 10 KB)\n",
                apps, double(infosOnly - empty) / apps / 1024,
                double(scanned - infosOnly) / apps / 1024, double(drawn - infosOnly) / apps / 1024);
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
    if (!world.isValid()) {
        std::fprintf(stderr, "could not make the world\n");
        return 1;
    }
    MarrowsimController controller(world.developerFolder());
    if (!controller.didLoadFrameworks()) {
        std::fprintf(stderr, "the simulator frameworks did not load\n");
        return 1;
    }
    // The devices of the selected Xcode: the ones the scan reads.
    QStringList udids;
    for (const auto &device : controller.availableDevices()) {
        udids.append(device->uuid());
    }

    bench::printLoad("before");
    std::vector<bench::Sample> scan;
    std::vector<bench::Sample> floor;
    std::vector<bench::Sample> decoding;
    Read read;
    int apps = 0;
    for (int run = 0; run < runs; ++run) {
        floor.push_back(
            bench::measure([&] { read = readDirectly(world.deviceSet(), udids, false); }));
        decoding.push_back(bench::measure([&] { readDirectly(world.deviceSet(), udids, true); }));
        scan.push_back(bench::measure([&] { apps = appsIn(controller.availableDevices()); }));
    }
    std::printf("%lld devices of the selected Xcode, %d apps in the model, %d apps and %d icon "
                "files read directly\n",
                static_cast<long long>(udids.size()), apps, read.apps, read.iconFiles);
    bench::print("scan: availableDevices()", scan);
    bench::print("floor: libplist + icon files read", floor);
    bench::print("baseline: floor + icon files decoded", decoding);
    std::printf("ratio scan / floor: wall %.2fx, cpu %.2fx (target: within 2x)\n",
                bench::medianWall(scan) / bench::medianWall(floor),
                bench::medianCpu(scan) / bench::medianCpu(floor));
    std::printf("ratio scan / decoding baseline: wall %.2fx, cpu %.2fx\n",
                bench::medianWall(scan) / bench::medianWall(decoding),
                bench::medianCpu(scan) / bench::medianCpu(decoding));
    printMemory(controller);
    bench::printLoad("after");
    return 0;
}
