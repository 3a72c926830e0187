// Archiving the device catalogue: 40 devices with 50 apps each, with real
// info dictionaries, once without icons and once with 60 x 60 icons. Archive
// and unarchive are timed against plain libplist binary serialisation of the
// same values (plist_to_bin / plist_from_bin on a tree of the same devices,
// apps, info dictionaries, URLs, dates and PNG data), and against the
// project's property-list layer over the same values as Qt values, in the
// same run. Prints medians, sizes and ratios.
//
// Usage: catalogue_bench [ROUNDS]
#include "Marrowkit/model/simulatorapp.h"
#include "Marrowkit/model/simulatorcoding.h"
#include "Marrowkit/plist/propertylist.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPainter>

#include <plist/plist.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int deviceCount = 40;
constexpr int appsPerDevice = 50;

const char *const deviceTypes[] = {"iPhone 6", "iPhone 6s Plus",     "iPad Air",
                                   "iPad Pro", "Apple Watch - 42mm", "Apple TV 1080p"};

QString udid(int device, int app = -1)
{
    return QStringLiteral("%1-%2-4C1D-9E2F-%3")
        .arg(device * 7919 + 0x1A2B3C4D, 8, 16, QLatin1Char('0'))
        .arg(app < 0 ? 0xABCD : app, 4, 16, QLatin1Char('0'))
        .arg(qint64(device) * 100003 + app + 0x5A5A5A5A5A, 12, 16, QLatin1Char('0'))
        .toUpper();
}

// An info dictionary of the size and shape an app's Info.plist has.
QVariantMap infoDictionary(int device, int app)
{
    const QString name = QStringLiteral("App%1").arg(app);
    const QString identifier = QStringLiteral("com.example.team%1.%2").arg(app % 7).arg(name);
    return {
        {QStringLiteral("CFBundleDevelopmentRegion"), QStringLiteral("en")},
        {QStringLiteral("CFBundleDisplayName"), QStringLiteral("App number %1").arg(app)},
        {QStringLiteral("CFBundleExecutable"), name},
        {QStringLiteral("CFBundleIdentifier"), identifier},
        {QStringLiteral("CFBundleInfoDictionaryVersion"), QStringLiteral("6.0")},
        {QStringLiteral("CFBundleName"), name},
        {QStringLiteral("CFBundlePackageType"), QStringLiteral("APPL")},
        {QStringLiteral("CFBundleShortVersionString"), QStringLiteral("1.%1").arg(app % 10)},
        {QStringLiteral("CFBundleSignature"), QStringLiteral("????")},
        {QStringLiteral("CFBundleSupportedPlatforms"),
         QVariantList{QStringLiteral("iPhoneSimulator")}},
        {QStringLiteral("CFBundleVersion"), QString::number(100 + app)},
        {QStringLiteral("DTCompiler"), QStringLiteral("com.apple.compilers.llvm.clang.1_0")},
        {QStringLiteral("DTPlatformBuild"), QString()},
        {QStringLiteral("DTPlatformName"), QStringLiteral("iphonesimulator")},
        {QStringLiteral("DTPlatformVersion"), QStringLiteral("9.%1").arg(device % 4)},
        {QStringLiteral("DTSDKBuild"), QStringLiteral("13C75")},
        {QStringLiteral("DTSDKName"), QStringLiteral("iphonesimulator9.2")},
        {QStringLiteral("DTXcode"), QStringLiteral("0720")},
        {QStringLiteral("DTXcodeBuild"), QStringLiteral("7C68")},
        {QStringLiteral("LSRequiresIPhoneOS"), true},
        {QStringLiteral("MinimumOSVersion"), QStringLiteral("8.0")},
        {QStringLiteral("UIDeviceFamily"), QVariantList{qint64(1), qint64(2)}},
        {QStringLiteral("UILaunchStoryboardName"), QStringLiteral("LaunchScreen")},
        {QStringLiteral("UIMainStoryboardFile"), QStringLiteral("Main")},
        {QStringLiteral("UIRequiredDeviceCapabilities"), QVariantList{QStringLiteral("armv7")}},
        {QStringLiteral("UISupportedInterfaceOrientations"),
         QVariantList{QStringLiteral("UIInterfaceOrientationPortrait"),
                      QStringLiteral("UIInterfaceOrientationLandscapeLeft"),
                      QStringLiteral("UIInterfaceOrientationLandscapeRight")}},
        {QStringLiteral("CFBundleIcons"),
         QVariantMap{{QStringLiteral("CFBundlePrimaryIcon"),
                      QVariantMap{{QStringLiteral("CFBundleIconFiles"),
                                   QVariantList{QStringLiteral("AppIcon29x29"),
                                                QStringLiteral("AppIcon60x60")}}}}}},
        {QStringLiteral("appGroups"), QVariantList{QStringLiteral("group.") + identifier}},
    };
}

// A 60 x 60 icon of its own for every app, as PNG.
Image icon(int device, int app)
{
    QImage pixels(60, 60, QImage::Format_ARGB32_Premultiplied);
    pixels.fill(QColor::fromHsv((device * 37 + app * 11) % 360, 160, 220));
    QPainter painter(&pixels);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::white);
    painter.drawEllipse(QPointF(30, 30), 10 + app % 15, 10 + device % 15);
    painter.end();
    pixels.setPixel(0, 0, qRgb(device, app, 7)); // every app's icon differs

    return *Image::fromPngData(*Image::fromBitmap(pixels).PNGRepresentation());
}

QList<SimulatorDevicePtr> catalogue(bool withIcons)
{
    QList<SimulatorDevicePtr> devices;
    for (int d = 0; d < deviceCount; ++d) {
        const QString root =
            QStringLiteral("/home/dev/Library/Developer/CoreSimulator/Devices/") + udid(d);
        QList<SimulatorAppPtr> apps;
        for (int a = 0; a < appsPerDevice; ++a) {
            const QString data = udid(d, a);
            apps << SimulatorApp::create(
                data, infoDictionary(d, a),
                withIcons ? std::optional<Image>(icon(d, a)) : std::nullopt,
                QUrl::fromLocalFile(root + QStringLiteral("/data/Containers/Bundle/Application/") +
                                    udid(d + 1000, a) + QStringLiteral("/App%1.app").arg(a)),
                QUrl::fromLocalFile(root + QStringLiteral("/data/Containers/Data/Application/") +
                                    data),
                QDateTime::fromMSecsSinceEpoch(
                    1450000000000 + qint64(d) * 86400000 + qint64(a) * 1000, Qt::UTC),
                false);
        }
        auto device = SimulatorDevice::create(udid(d), QStringLiteral("Device %1").arg(d), apps,
                                              QStringLiteral("9.%1").arg(d % 4),
                                              QLatin1String(deviceTypes[d % 6]), 1 + 2 * (d % 2));
        device->setContainerURL(QUrl::fromLocalFile(root));
        if (!withIcons) {
            for (const SimulatorAppPtr &app : apps) {
                app->setIcon(std::nullopt); // the device drew one when it was made
            }
        }
        devices << device;
    }
    return devices;
}

// The same values as a plain property-list tree.
plist_t plistString(const QString &text)
{
    return plist_new_string(text.toUtf8().constData());
}

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
    case QMetaType::QVariantList: {
        plist_t array = plist_new_array();
        for (const QVariant &item : value.toList()) {
            plist_array_append_item(array, plistValue(item));
        }
        return array;
    }
    case QMetaType::Bool:
        return plist_new_bool(value.toBool());
    case QMetaType::LongLong:
        return plist_new_uint(uint64_t(value.toLongLong()));
    default:
        return plistString(value.toString());
    }
}

QVariantMap plainApp(const SimulatorApp &app)
{
    QVariantMap map{{QStringLiteral("uuid"), app.uuid()},
                    {QStringLiteral("name"), app.name()},
                    {QStringLiteral("info"), app.info()},
                    {QStringLiteral("bundle"), app.bundleURL()->toString()},
                    {QStringLiteral("sandbox"), app.sandboxURL()->toString()},
                    {QStringLiteral("created"), app.creationDate()},
                    {QStringLiteral("hasTemplateIcon"), app.hasTemplateIcon()}};
    if (app.icon()) {
        map.insert(QStringLiteral("icon"), *app.icon()->PNGRepresentation());
    }
    return map;
}

QVariantList plainValues(const QList<SimulatorDevicePtr> &devices)
{
    QVariantList list;
    for (const SimulatorDevicePtr &device : devices) {
        QVariantList apps;
        for (const SimulatorAppPtr &app : device->apps()) {
            apps << plainApp(*app);
        }
        list << QVariantMap{{QStringLiteral("uuid"), device->uuid()},
                            {QStringLiteral("name"), device->name()},
                            {QStringLiteral("displayName"), device->displayName()},
                            {QStringLiteral("apps"), apps},
                            {QStringLiteral("version"), device->version()},
                            {QStringLiteral("type"), rawValue(device->deviceType())},
                            {QStringLiteral("state"), qint64(rawValue(device->deviceState()))},
                            {QStringLiteral("containerUrl"), device->containerURL()->toString()}};
    }
    return list;
}

// A libplist tree of the plain values, with real date and data nodes.
plist_t plistTree(const QVariantList &values)
{
    plist_t array = plist_new_array();
    for (const QVariant &deviceValue : values) {
        QVariantMap device = deviceValue.toMap();
        const QVariantList apps = device.take(QStringLiteral("apps")).toList();
        plist_t dict = plistValue(device);
        plist_t appArray = plist_new_array();
        for (const QVariant &appValue : apps) {
            QVariantMap app = appValue.toMap();
            const QDateTime created = app.take(QStringLiteral("created")).toDateTime();
            const QByteArray png = app.take(QStringLiteral("icon")).toByteArray();
            plist_t appDict = plistValue(app);
            const qint64 seconds = created.toSecsSinceEpoch() - 978307200;
            plist_dict_set_item(appDict, "created", plist_new_date(int32_t(seconds), 0));
            if (!png.isEmpty()) {
                plist_dict_set_item(appDict, "icon",
                                    plist_new_data(png.constData(), uint64_t(png.size())));
            }
            plist_array_append_item(appArray, appDict);
        }
        plist_dict_set_item(dict, "apps", appArray);
        plist_array_append_item(array, dict);
    }
    return array;
}

double medianMs(int rounds, const std::function<void()> &work)
{
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

bool run(bool withIcons, int rounds)
{
    const QList<SimulatorDevicePtr> devices = catalogue(withIcons);
    const QVariantList values = plainValues(devices);
    plist_t tree = plistTree(values);

    std::optional<QByteArray> archive;
    QByteArray plain;
    std::optional<QByteArray> layer;
    std::optional<QList<SimulatorDevicePtr>> decoded;
    const double archiveMs =
        medianMs(rounds, [&] { archive = SimulatorCoding::archivedDataWithDevices(devices); });
    const double plainWriteMs = medianMs(rounds, [&] {
        char *bytes = nullptr;
        uint32_t length = 0;
        plist_to_bin(tree, &bytes, &length);
        plain = QByteArray(bytes, qsizetype(length));
        free(bytes);
    });
    const double layerWriteMs = medianMs(
        rounds, [&] { layer = PropertyList::toData(values, PropertyList::Format::Binary); });
    if (!archive || plain.isEmpty() || !layer) {
        (void)std::fputs("writing failed\n", stderr);
        return false;
    }
    const double unarchiveMs =
        medianMs(rounds, [&] { decoded = SimulatorCoding::devicesFromArchive(*archive); });
    const double plainReadMs = medianMs(rounds, [&] {
        plist_t read = nullptr;
        plist_from_bin(plain.constData(), uint32_t(plain.size()), &read);
        plist_free(read);
    });
    const double layerReadMs = medianMs(rounds, [&] { PropertyList::fromData(*layer); });
    plist_free(tree);
    if (!decoded || decoded->size() != deviceCount) {
        (void)std::fputs("reading failed\n", stderr);
        return false;
    }

    std::printf("\n%d devices x %d apps, %s\n", deviceCount, appsPerDevice,
                withIcons ? "with 60x60 icons" : "without icons");
    std::printf("  %-34s %9s %9s %11s\n", "", "write ms", "read ms", "bytes");
    std::printf("  %-34s %9.1f %9.1f %11lld\n", "keyed archive", archiveMs, unarchiveMs,
                static_cast<long long>(archive->size()));
    std::printf("  %-34s %9.1f %9.1f %11lld\n", "plain libplist (to_bin/from_bin)", plainWriteMs,
                plainReadMs, static_cast<long long>(plain.size()));
    std::printf("  %-34s %9.1f %9.1f %11lld\n", "property-list layer (Qt values)", layerWriteMs,
                layerReadMs, static_cast<long long>(layer->size()));
    std::printf(
        "  ratio archive / plain libplist:     write %.2f  read %.2f  size %.2f  (target <= 2)\n",
        archiveMs / plainWriteMs, unarchiveMs / plainReadMs,
        double(archive->size()) / plain.size());
    std::printf("  ratio archive / property-list layer: write %.2f  read %.2f  size %.2f\n",
                archiveMs / layerWriteMs, unarchiveMs / layerReadMs,
                double(archive->size()) / layer->size());
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 7;
    const bool ok = run(false, rounds) && run(true, rounds);
    return ok ? 0 : 1;
}
