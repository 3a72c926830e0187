// Archiving the device catalogue as the service sends it: a catalogue made by
// a real scan of the large world. The first archive of a freshly scanned
// catalogue draws (or takes from the rendered-icon cache) every icon; the
// second archive of the same catalogue finds them drawn. Both are timed, the
// first with the cache empty once and then with the icons in it, and the
// second also against writing the same values as a plain property list with
// libplist's writer and with the project's own binary writer. Unarchiving is
// timed against reading those back.
//
//   catalogue_bench [--devices 40] [--apps 50] [--runs 5]
#include "benchsupport.h"

#include "Marrowsim/marrowsimcontroller.h"

#include "Marrowkit/icons/renderediconcache.h"
#include "Marrowkit/model/simulatorapp.h"
#include "Marrowkit/model/simulatorcoding.h"
#include "Marrowkit/model/simulatordevice.h"
#include "Marrowkit/plist/binarypropertylistwriter.h"
#include "Marrowkit/plist/propertylist.h"

#include <QCommandLineParser>
#include <QGuiApplication>

#include <plist/plist.h>

#include <cstdio>

namespace {

plist_t plistValue(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::QVariantMap: {
        plist_t dict = plist_new_dict();
        const QVariantMap map = value.toMap();
        for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
            plist_dict_set_item(dict, it.key().toUtf8().constData(), plistValue(it.value()));
        }
        return dict;
    }
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        plist_t array = plist_new_array();
        for (const QVariant &item : value.toList()) {
            plist_array_append_item(array, plistValue(item));
        }
        return array;
    }
    case QMetaType::Bool:
        return plist_new_bool(value.toBool());
    case QMetaType::Int:
    case QMetaType::LongLong:
        return plist_new_uint(uint64_t(value.toLongLong()));
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        return plist_new_data(bytes.constData(), uint64_t(bytes.size()));
    }
    case QMetaType::QDateTime:
        return plist_new_date(int32_t(value.toDateTime().toSecsSinceEpoch() - 978307200), 0);
    default:
        return plist_new_string(value.toString().toUtf8().constData());
    }
}

// The catalogue's values as plain property-list values: what the archive
// says, without the archive's object graph.
QVariantList plainValues(const QList<SimulatorDevicePtr> &devices)
{
    QVariantList list;
    for (const SimulatorDevicePtr &device : devices) {
        QVariantList apps;
        for (const SimulatorAppPtr &app : device->apps()) {
            QVariantMap map{{QStringLiteral("uuid"), app->uuid()},
                            {QStringLiteral("name"), app->name()},
                            {QStringLiteral("info"), app->info()},
                            {QStringLiteral("bundle"), app->bundleURL()->toString()},
                            {QStringLiteral("sandbox"), app->sandboxURL()->toString()},
                            {QStringLiteral("created"), app->creationDate()},
                            {QStringLiteral("hasTemplateIcon"), app->hasTemplateIcon()}};
            if (app->icon()) {
                map.insert(QStringLiteral("icon"),
                           app->icon()->PNGRepresentation().value_or(QByteArray()));
            }
            apps << map;
        }
        list << QVariantMap{
            {QStringLiteral("uuid"), device->uuid()},
            {QStringLiteral("name"), device->name()},
            {QStringLiteral("displayName"), device->displayName()},
            {QStringLiteral("apps"), apps},
            {QStringLiteral("version"), device->version()},
            {QStringLiteral("type"), rawValue(device->deviceType())},
            {QStringLiteral("state"), qint64(rawValue(device->deviceState()))},
            {QStringLiteral("containerUrl"), device->containerURL().value_or(QUrl()).toString()}};
    }
    return list;
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
    bench::printLoad("before");

    std::optional<QByteArray> archive;
    QList<SimulatorDevicePtr> devices = controller.availableDevices();
    int apps = 0;
    for (const auto &device : devices) {
        apps += int(device->apps().size());
    }
    const quint64 rendersBefore = RenderedIconCache::renderCount();
    const bench::Sample cold = bench::measure(
        [&] { archive = SimulatorCoding::archivedDataWithDevices(devices).value(); });
    const quint64 coldRenders = RenderedIconCache::renderCount() - rendersBefore;

    std::vector<bench::Sample> first;
    std::vector<bench::Sample> second;
    for (int run = 0; run < runs; ++run) {
        devices = controller.availableDevices();
        first.push_back(bench::measure(
            [&] { archive = SimulatorCoding::archivedDataWithDevices(devices).value(); }));
        second.push_back(bench::measure(
            [&] { archive = SimulatorCoding::archivedDataWithDevices(devices).value(); }));
    }
    const quint64 warmRenders = RenderedIconCache::renderCount() - rendersBefore - coldRenders;
    if (!archive) {
        std::fprintf(stderr, "archiving failed\n");
        return 1;
    }

    const QVariantList values = plainValues(devices);
    plist_t tree = plistValue(values);
    QByteArray plain;
    std::optional<QByteArray> own;
    const auto libplistWrite = bench::measure(runs, [&] {
        char *bytes = nullptr;
        uint32_t length = 0;
        plist_to_bin(tree, &bytes, &length);
        plain = QByteArray(bytes, qsizetype(length));
        free(bytes);
    });
    const auto ownWrite =
        bench::measure(runs, [&] { own = PropertyList::writeBinary(values).value(); });
    plist_free(tree);
    std::optional<QList<SimulatorDevicePtr>> decoded;
    const auto unarchive = bench::measure(
        runs, [&] { decoded = SimulatorCoding::devicesFromArchive(*archive).value(); });
    const auto libplistRead = bench::measure(runs, [&] {
        plist_t read = nullptr;
        plist_from_bin(plain.constData(), uint32_t(plain.size()), &read);
        plist_free(read);
    });
    const auto ownRead = bench::measure(runs, [&] { PropertyList::fromData(*own).value(); });
    if (!own || !decoded || decoded->size() != devices.size()) {
        std::fprintf(stderr, "writing or reading failed\n");
        return 1;
    }

    std::printf("%lld devices, %d apps scanned; archive %lld bytes, plain property list %lld "
                "bytes\n",
                static_cast<long long>(devices.size()), apps,
                static_cast<long long>(archive->size()), static_cast<long long>(plain.size()));
    bench::print("first archive, cache empty", {cold});
    bench::print("first archive of a fresh scan, icons cached", first);
    bench::print("second archive of the same catalogue", second);
    bench::print("plain values, libplist plist_to_bin", libplistWrite);
    bench::print("plain values, own binary writer", ownWrite);
    bench::print("unarchive", unarchive);
    bench::print("plain values, libplist plist_from_bin", libplistRead);
    bench::print("plain values, own reader", ownRead);
    std::printf("icons drawn: %llu by the first archive with the cache empty, %llu by the %d "
                "later scans and archives\n",
                static_cast<unsigned long long>(coldRenders),
                static_cast<unsigned long long>(warmRenders), runs);
    const double secondMs = bench::medianWall(second);
    std::printf("ratio first / second archive: wall %.2fx, cpu %.2fx (target: within 1.5x)\n",
                bench::medianWall(first) / secondMs,
                bench::medianCpu(first) / bench::medianCpu(second));
    std::printf("ratio second archive / libplist writer: %.2fx, / own writer: %.2fx\n",
                secondMs / bench::medianWall(libplistWrite),
                secondMs / bench::medianWall(ownWrite));
    std::printf("ratio unarchive / libplist reader: %.2fx, / own reader: %.2fx\n",
                bench::medianWall(unarchive) / bench::medianWall(libplistRead),
                bench::medianWall(unarchive) / bench::medianWall(ownRead));
    bench::printLoad("after");
    return 0;
}
