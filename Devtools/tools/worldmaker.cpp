#include "worldmaker.h"

#include "appbuilder.h"
#include "appinstaller.h"
#include "console.h"
#include "deviceset.h"
#include "paths.h"
#include "plistio.h"
#include "xcodelayout.h"
#include "xcodemaker.h"
#include "xcodeselect.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

struct DevicePlan
{
    QString name;
    QString type;
    QString platform;
    QString version;
};

struct Placement
{
    int app;            // index into the app list
    QList<int> devices; // indexes into the device list
};

QString xcodePath()
{
    return DevtoolsPaths::userApplicationsPath() + QStringLiteral("/Xcode.app");
}

QString oldXcodePath()
{
    return DevtoolsPaths::userApplicationsPath() + QStringLiteral("/Xcode-7.3.1.app");
}

bool worldIsEmpty(QString *error)
{
    for (const QString &path : {xcodePath(), oldXcodePath()}) {
        if (QFileInfo::exists(path)) {
            *error = QStringLiteral("%1 already exists; make a world in an empty HOME").arg(path);
            return false;
        }
    }
    if (!DeviceSet().devices().isEmpty()) {
        *error = QStringLiteral(
                     "the device set at %1 already has devices; make a world in an empty HOME")
                     .arg(DevtoolsPaths::deviceSetPath());
        return false;
    }
    return true;
}

bool makeXcodes(QString *error)
{
    XcodePlan current;
    current.appPath = xcodePath();
    XcodePlan old;
    old.appPath = oldXcodePath();
    old.version = QStringLiteral("7.3.1");
    old.build = QStringLiteral("7D1014");
    if (!XcodeMaker::make(current, error) || !XcodeMaker::make(old, error)) {
        return false;
    }
    return XcodeSelect::select(XcodeLayout::developerDirectory(xcodePath()), error);
}

std::optional<DeviceRecord> makeDevice(DeviceSet &set, const DevicePlan &plan, QString *error)
{
    return set.create(plan.name, SimIdentifiers::deviceTypeIdentifier(plan.type),
                      SimIdentifiers::runtimeIdentifier(plan.platform, plan.version), error);
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

// Files an app would have left in its containers after some use.
void fillContainers(const InstalledApp &installed, const AppPlan &plan, AppInstaller &installer)
{
    const QString data = installed.dataContainerPath;
    writeFile(data + QStringLiteral("/Documents/notes.txt"),
              QStringLiteral("Notes kept by %1.\n").arg(plan.name).toUtf8());
    writeFile(data + QStringLiteral("/Library/Caches/thumbnail.png"),
              IconPainter::png(plan.shape, plan.colour, 64));
    writeFile(data + QStringLiteral("/tmp/upload.partial"), QByteArray(2048, 'x'));
    PlistIO::writeXml(data + QStringLiteral("/Library/Preferences/") + plan.identifier +
                          QStringLiteral(".plist"),
                      QVariantMap{{QStringLiteral("launchCount"), 3},
                                  {QStringLiteral("lastUser"), QStringLiteral("sample")}});
    for (const QString &group : plan.appGroups) {
        const QString container = installer.appGroupContainer(group);
        if (!container.isEmpty()) {
            writeFile(container + QStringLiteral("/Library/Caches/shared-") + plan.identifier +
                          QStringLiteral(".txt"),
                      group.toUtf8() + '\n');
        }
    }
}

bool installApps(const QList<AppPlan> &apps, const QList<DeviceRecord> &devices,
                 const QList<Placement> &placements, QString *error)
{
    QTemporaryDir builds(DevtoolsPaths::home() + QStringLiteral("/.sample-world-XXXXXX"));
    if (!builds.isValid()) {
        *error = QStringLiteral("cannot make a folder for building apps");
        return false;
    }
    QStringList bundles;
    for (const AppPlan &plan : apps) {
        const QString folder = builds.path() + QLatin1Char('/') + plan.identifier;
        const QString bundle = AppBuilder::build(plan, folder, error);
        if (bundle.isEmpty()) {
            return false;
        }
        bundles.append(bundle);
    }
    for (const Placement &placement : placements) {
        for (int device : placement.devices) {
            AppInstaller installer(devices.at(device));
            const auto installed = installer.install(bundles.at(placement.app), error);
            if (!installed) {
                return false;
            }
            fillContainers(*installed, apps.at(placement.app), installer);
        }
    }
    return true;
}

QList<DevicePlan> sampleDevices()
{
    const QString iOS = QStringLiteral("iOS");
    const QString watchOS = QStringLiteral("watchOS");
    const QString tvOS = QStringLiteral("tvOS");
    return {
        {QStringLiteral("iPhone 6"), QStringLiteral("iPhone 6"), iOS, QStringLiteral("10.0")},
        {QStringLiteral("iPhone 6s"), QStringLiteral("iPhone 6s"), iOS, QStringLiteral("10.0")},
        {QStringLiteral("iPhone 6s"), QStringLiteral("iPhone 6s"), iOS, QStringLiteral("10.0")},
        {QStringLiteral("iPhone 5s"), QStringLiteral("iPhone 5s"), iOS, QStringLiteral("10.0")},
        {QStringLiteral("iPhone 6 Plus"), QStringLiteral("iPhone 6 Plus"), iOS,
         QStringLiteral("10.0")},
        {QStringLiteral("iPhone 6"), QStringLiteral("iPhone 6"), iOS, QStringLiteral("9.3")},
        {QStringLiteral("iPhone 4s"), QStringLiteral("iPhone 4s"), iOS, QStringLiteral("9.3")},
        {QStringLiteral("iPad Air"), QStringLiteral("iPad Air"), iOS, QStringLiteral("10.0")},
        {QStringLiteral("iPad Pro"), QStringLiteral("iPad Pro"), iOS, QStringLiteral("10.0")},
        {QStringLiteral("iPad Retina"), QStringLiteral("iPad Retina"), iOS, QStringLiteral("10.0")},
        {QStringLiteral("Resizable iPad"), QStringLiteral("Resizable iPad"), iOS,
         QStringLiteral("10.0")},
        {QStringLiteral("iPad 2"), QStringLiteral("iPad 2"), iOS, QStringLiteral("9.3")},
        {QStringLiteral("iPad Air"), QStringLiteral("iPad Air"), iOS, QStringLiteral("9.3")},
        {QStringLiteral("Apple Watch - 42mm"), QStringLiteral("Apple Watch - 42mm"), watchOS,
         QStringLiteral("3.0")},
        {QStringLiteral("Apple Watch - 38mm"), QStringLiteral("Apple Watch - 38mm"), watchOS,
         QStringLiteral("3.0")},
        {QStringLiteral("Runner's Watch"), QStringLiteral("Apple Watch - 42mm"), watchOS,
         QStringLiteral("3.0")},
        {QStringLiteral("Apple Watch - 42mm"), QStringLiteral("Apple Watch - 42mm"), watchOS,
         QStringLiteral("2.2")},
        {QStringLiteral("Apple Watch - 38mm"), QStringLiteral("Apple Watch - 38mm"), watchOS,
         QStringLiteral("2.2")},
        {QStringLiteral("Apple TV 1080p"), QStringLiteral("Apple TV 1080p"), tvOS,
         QStringLiteral("10.0")},
        {QStringLiteral("Living Room TV"), QStringLiteral("Apple TV 1080p"), tvOS,
         QStringLiteral("10.0")},
        {QStringLiteral("Apple TV 1080p"), QStringLiteral("Apple TV 1080p"), tvOS,
         QStringLiteral("9.2")},
        {QStringLiteral("Kitchen TV"), QStringLiteral("Apple TV 1080p"), tvOS,
         QStringLiteral("9.2")},
    };
}

AppPlan app(const QString &name, const QString &identifier, DeviceFamily family, IconShape shape,
            const QColor &colour)
{
    AppPlan plan;
    plan.name = name;
    plan.displayName = name;
    plan.identifier = identifier;
    plan.family = family;
    plan.shape = shape;
    plan.colour = colour;
    return plan;
}

QList<AppPlan> sampleApps()
{
    QList<AppPlan> apps;
    AppPlan birdwatch = app(QStringLiteral("Birdwatch"), QStringLiteral("com.example.birdwatch"),
                            DeviceFamily::Phone, IconShape::Circle, QColor(46, 139, 87));
    birdwatch.appGroups = {QStringLiteral("group.com.example.birdwatch")};
    apps.append(birdwatch); // 0
    AppPlan tides = app(QStringLiteral("Tide Tables"), QStringLiteral("com.example.tides"),
                        DeviceFamily::Phone, IconShape::Triangle, QColor(30, 90, 200));
    tides.appGroups = {QStringLiteral("group.com.example.shared"),
                       QStringLiteral("group.com.example.tides")};
    tides.version = QStringLiteral("2.1");
    tides.build = QStringLiteral("210");
    apps.append(tides); // 1
    AppPlan notebook = app(QStringLiteral("Notebook"), QStringLiteral("com.example.notebook"),
                           DeviceFamily::Phone, IconShape::Square, QColor(230, 180, 20));
    notebook.displayName.clear();
    notebook.localizedName = QStringLiteral("Field Notes");
    apps.append(notebook); // 2
    apps.append(app(QStringLiteral("Counter"), QStringLiteral("com.example.counter"),
                    DeviceFamily::Phone, IconShape::Star, QColor(200, 40, 40))); // 3
    // Another app with the same name as the one above.
    apps.append(app(QStringLiteral("Counter"), QStringLiteral("com.example.counter-pro"),
                    DeviceFamily::Phone, IconShape::Star, QColor(120, 40, 160))); // 4
    AppPlan metronome = app(QStringLiteral("Metronome"), QStringLiteral("com.example.metronome"),
                            DeviceFamily::Phone, IconShape::Diamond, QColor(240, 120, 20));
    metronome.legacyIcon = true;
    apps.append(metronome); // 5
    AppPlan atlas = app(QStringLiteral("Pocket Atlas"), QStringLiteral("com.example.atlas"),
                        DeviceFamily::Pad, IconShape::Hexagon, QColor(0, 128, 128));
    atlas.appGroups = {QStringLiteral("group.com.example.shared")};
    apps.append(atlas); // 6
    apps.append(app(QStringLiteral("Sketchpad"), QStringLiteral("com.example.sketchpad"),
                    DeviceFamily::Pad, IconShape::Ring, QColor(220, 60, 140))); // 7
    apps.append(app(QStringLiteral("Pulse"), QStringLiteral("com.example.pulse"),
                    DeviceFamily::Watch, IconShape::Cross, QColor(190, 20, 50))); // 8
    apps.append(app(QStringLiteral("Stopwatch"), QStringLiteral("com.example.stopwatch"),
                    DeviceFamily::Watch, IconShape::Circle, QColor(40, 40, 40))); // 9
    apps.append(app(QStringLiteral("Cinema"), QStringLiteral("com.example.cinema"),
                    DeviceFamily::TV, IconShape::Triangle, QColor(20, 20, 80))); // 10
    apps.append(app(QStringLiteral("Slideshow"), QStringLiteral("com.example.slideshow"),
                    DeviceFamily::TV, IconShape::Square, QColor(90, 160, 60))); // 11
    return apps;
}

// Device indexes as in sampleDevices(); device 0 (iPhone 6, iOS 10.0) is the
// booted one and holds the two apps named "Counter".
QList<Placement> samplePlacements()
{
    return {{0, {0, 1, 5}}, {1, {0, 7}}, {2, {0, 1}},   {3, {0, 5}},   {4, {0}},   {5, {0, 1}},
            {6, {0, 7, 8}}, {7, {7, 8}}, {8, {13, 15}}, {9, {14, 13}}, {10, {18}}, {11, {18, 19}}};
}

bool bootAndAddPhoto(DeviceSet &set, const DeviceRecord &device, QString *error)
{
    QTemporaryDir folder;
    const QString photo = folder.path() + QStringLiteral("/sunset.png");
    if (!writeFile(photo, IconPainter::png(IconShape::Circle, QColor(250, 140, 60), 320)) ||
        !AppInstaller(device).addMedia({photo}, error)) {
        return false;
    }
    return set.changeState(device.udid, {SimIdentifiers::stateShutdown},
                           {SimIdentifiers::stateBooting, SimIdentifiers::stateBooted},
                           QStringLiteral("boot"), error);
}

int usage()
{
    return Console::fail(QStringLiteral("Usage: devtools sample-world [--devices N --apps M]"));
}

} // namespace

namespace WorldMaker {

bool makeSampleWorld(QString *error)
{
    if (!worldIsEmpty(error) || !makeXcodes(error)) {
        return false;
    }
    DeviceSet set;
    QList<DeviceRecord> devices;
    for (const DevicePlan &plan : sampleDevices()) {
        const auto record = makeDevice(set, plan, error);
        if (!record) {
            return false;
        }
        devices.append(*record);
    }
    return installApps(sampleApps(), devices, samplePlacements(), error) &&
           bootAndAddPhoto(set, devices.first(), error);
}

bool makeLargeWorld(int deviceCount, int appsPerDevice, QString *error)
{
    if (!worldIsEmpty(error) || !makeXcodes(error)) {
        return false;
    }
    // Every device type with every runtime that runs it, both Xcodes.
    QList<DevicePlan> kinds;
    for (const QString &xcode : {QStringLiteral("8.0"), QStringLiteral("7.3.1")}) {
        for (const RuntimeProfile &runtime : XcodeMaker::defaultRuntimes(xcode)) {
            for (const QString &type : XcodeMaker::defaultDeviceTypes(xcode)) {
                const auto family =
                    SimIdentifiers::familyOfDeviceType(SimIdentifiers::deviceTypeIdentifier(type));
                if (family && SimIdentifiers::platformSupports(runtime.platform, *family)) {
                    kinds.append({type, type, runtime.platform, runtime.version});
                }
            }
        }
    }
    DeviceSet set;
    QList<DeviceRecord> devices;
    QList<int> everyDevice;
    for (int i = 0; i < deviceCount; ++i) {
        const auto record = makeDevice(set, kinds.at(i % kinds.size()), error);
        if (!record) {
            return false;
        }
        devices.append(*record);
        everyDevice.append(i);
    }
    QList<AppPlan> apps;
    QList<Placement> placements;
    for (int i = 0; i < appsPerDevice; ++i) {
        AppPlan plan =
            app(QStringLiteral("App %1").arg(i + 1, 3, 10, QLatin1Char('0')),
                QStringLiteral("com.example.large.app%1").arg(i + 1), DeviceFamily::Pad,
                IconShape(i % IconPainter::shapeCount), QColor::fromHsv((i * 37) % 360, 200, 200));
        if (i % 5 == 0) {
            plan.appGroups = {QStringLiteral("group.com.example.large.shared")};
        }
        apps.append(plan);
        placements.append({i, everyDevice});
    }
    if (!installApps(apps, devices, placements, error)) {
        return false;
    }
    return devices.isEmpty() ||
           set.changeState(devices.first().udid, {SimIdentifiers::stateShutdown},
                           {SimIdentifiers::stateBooting, SimIdentifiers::stateBooted},
                           QStringLiteral("boot"), error);
}

int run(const QStringList &arguments)
{
    int devices = -1;
    int apps = -1;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        bool ok = false;
        const QString &argument = arguments.at(i);
        if ((argument == QLatin1String("--devices") || argument == QLatin1String("--apps")) &&
            i + 1 < arguments.size()) {
            const int value = arguments.at(++i).toInt(&ok);
            if (!ok || value < 0 || value > 1000) {
                return usage();
            }
            (argument == QLatin1String("--devices") ? devices : apps) = value;
        } else {
            return usage();
        }
    }
    if ((devices < 0) != (apps < 0)) {
        return usage();
    }
    QString error;
    const bool made = devices < 0 ? makeSampleWorld(&error) : makeLargeWorld(devices, apps, &error);
    if (!made) {
        return Console::fail(QStringLiteral("sample-world: %1").arg(error));
    }
    Console::out(QStringLiteral("Made a sample world in %1").arg(DevtoolsPaths::home()));
    return 0;
}

} // namespace WorldMaker
