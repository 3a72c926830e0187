#include "xcodemaker.h"

#include "console.h"
#include "fileops.h"
#include "plistio.h"
#include "treeremover.h"
#include "xcodelayout.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

bool copyFramework(const QString &name, const QString &destination, QString *error)
{
    const QString source =
        XcodeMaker::frameworksSourcePath() + QLatin1Char('/') + name + QStringLiteral(".framework");
    if (!QFileInfo(source + QLatin1Char('/') + name).isFile()) {
        *error = QStringLiteral("the %1 framework was not built (looked in %2)").arg(name, source);
        return false;
    }
    return QDir().mkpath(QFileInfo(destination).absolutePath()) &&
           FileOps::copyTree(source, destination, error);
}

bool writeSimulatorApp(const QString &app, const QString &identifier, const QString &version,
                       QString *error)
{
    const QString macos = app + QStringLiteral("/Contents/MacOS");
    const QString executable = macos + QStringLiteral("/Simulator");
    const QVariantMap info = {{QStringLiteral("CFBundleIdentifier"), identifier},
                              {QStringLiteral("CFBundleName"), QFileInfo(app).completeBaseName()},
                              {QStringLiteral("CFBundleExecutable"), QStringLiteral("Simulator")},
                              {QStringLiteral("CFBundlePackageType"), QStringLiteral("APPL")},
                              {QStringLiteral("CFBundleShortVersionString"), version}};
    if (!QDir().mkpath(macos) ||
        !PlistIO::writeXml(app + QStringLiteral("/Contents/Info.plist"), info, error)) {
        return false;
    }
    return FileOps::copyFile(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath(),
                             executable, error);
}

bool writeProfiles(const XcodePlan &plan, const QString &developer, QString *error)
{
    const QStringList names = plan.deviceTypeNames.isEmpty()
                                  ? XcodeMaker::defaultDeviceTypes(plan.version)
                                  : plan.deviceTypeNames;
    for (const auto &known : SimIdentifiers::knownDeviceTypes()) {
        if (!names.contains(known.name)) {
            continue;
        }
        const DeviceTypeProfile profile{SimIdentifiers::deviceTypeIdentifier(known.name),
                                        known.name, known.family};
        const QString folder = XcodeLayout::deviceTypeProfilesPath(developer) + QLatin1Char('/') +
                               XcodeProfiles::deviceTypeBundleName(profile) +
                               QStringLiteral("/Contents");
        if (!QDir().mkpath(folder) ||
            !PlistIO::writeXml(folder + QStringLiteral("/Info.plist"),
                               XcodeProfiles::deviceTypeInfo(profile), error)) {
            return false;
        }
    }
    const QList<RuntimeProfile> runtimes =
        plan.runtimes.isEmpty() ? XcodeMaker::defaultRuntimes(plan.version) : plan.runtimes;
    for (const RuntimeProfile &profile : runtimes) {
        const QString folder = XcodeLayout::runtimeProfilesPath(developer) + QLatin1Char('/') +
                               XcodeProfiles::runtimeBundleName(profile) +
                               QStringLiteral("/Contents");
        if (!QDir().mkpath(folder) ||
            !PlistIO::writeXml(folder + QStringLiteral("/Info.plist"),
                               XcodeProfiles::runtimeInfo(profile), error)) {
            return false;
        }
    }
    return true;
}

bool layOut(const XcodePlan &plan, const QString &app, QString *error)
{
    const QString contents = app + QStringLiteral("/Contents");
    const QString developer = XcodeLayout::developerDirectory(app);
    const QVariantMap info = {
        {QStringLiteral("CFBundleIdentifier"), XcodeLayout::xcodeBundleIdentifier()},
        {QStringLiteral("CFBundleName"), QStringLiteral("Xcode")},
        {QStringLiteral("CFBundlePackageType"), QStringLiteral("APPL")},
        {QStringLiteral("CFBundleShortVersionString"), plan.version},
        {QStringLiteral("CFBundleVersion"), plan.build}};
    const QVariantMap version = {{QStringLiteral("ProductBuildVersion"), plan.build},
                                 {QStringLiteral("CFBundleShortVersionString"), plan.version}};
    return QDir().mkpath(developer) &&
           PlistIO::writeXml(contents + QStringLiteral("/Info.plist"), info, error) &&
           PlistIO::writeXml(contents + QStringLiteral("/version.plist"), version, error) &&
           copyFramework(QStringLiteral("DVTFoundation"),
                         XcodeLayout::dvtFoundationFrameworkPath(developer), error) &&
           copyFramework(QStringLiteral("DevToolsFoundation"),
                         XcodeLayout::devToolsFoundationFrameworkPath(developer), error) &&
           copyFramework(QStringLiteral("CoreSimulator"),
                         XcodeLayout::coreSimulatorFrameworkPath(developer), error) &&
           writeSimulatorApp(XcodeLayout::simulatorAppPath(developer),
                             QStringLiteral("com.apple.iphonesimulator"), plan.version, error) &&
           writeSimulatorApp(XcodeLayout::watchSimulatorAppPath(developer),
                             QStringLiteral("com.apple.watchsimulator"), plan.version, error) &&
           writeProfiles(plan, developer, error);
}

int usage()
{
    return Console::fail(
        QStringLiteral("Usage: devtools make-xcode PATH.app [--version V] [--build B]\n"
                       "           [--runtime PLATFORM:VERSION:BUILD]... [--device-type NAME]...\n"
                       "Without --runtime the version's usual runtimes are laid out; without\n"
                       "--device-type every device type."));
}

} // namespace

namespace XcodeMaker {

QString frameworksSourcePath()
{
    const QByteArray override = qgetenv("MARROWBY_DEVTOOLS_FRAMEWORKS");
    if (!override.isEmpty()) {
        return QFile::decodeName(override);
    }
    const QString program = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    return QDir::cleanPath(QFileInfo(program).absolutePath() + QStringLiteral("/../Devtools"));
}

RuntimeProfile runtime(const QString &platform, const QString &version, const QString &build)
{
    // A runtime is named after its major and minor version: 10.3.1 is "iOS 10.3".
    const QString shortVersion = version.section(QLatin1Char('.'), 0, 1);
    return {SimIdentifiers::runtimeIdentifier(platform, shortVersion),
            platform + QLatin1Char(' ') + shortVersion, platform, version, build};
}

QList<RuntimeProfile> defaultRuntimes(const QString &xcodeVersion)
{
    if (xcodeVersion.startsWith(QLatin1String("7."))) {
        return {
            runtime(QStringLiteral("iOS"), QStringLiteral("9.3"), QStringLiteral("13E233")),
            runtime(QStringLiteral("tvOS"), QStringLiteral("9.2"), QStringLiteral("13Y227")),
            runtime(QStringLiteral("watchOS"), QStringLiteral("2.2"), QStringLiteral("13V143"))};
    }
    return {runtime(QStringLiteral("iOS"), QStringLiteral("10.0"), QStringLiteral("14A345")),
            runtime(QStringLiteral("tvOS"), QStringLiteral("10.0"), QStringLiteral("14T328")),
            runtime(QStringLiteral("watchOS"), QStringLiteral("3.0"), QStringLiteral("14S326"))};
}

QStringList defaultDeviceTypes(const QString &xcodeVersion)
{
    const QStringList phones = {QStringLiteral("iPhone 4s"),     QStringLiteral("iPhone 5"),
                                QStringLiteral("iPhone 5s"),     QStringLiteral("iPhone 6"),
                                QStringLiteral("iPhone 6 Plus"), QStringLiteral("iPhone 6s"),
                                QStringLiteral("iPhone 6s Plus")};
    const QStringList firstWatches = {QStringLiteral("Apple Watch - 38mm"),
                                      QStringLiteral("Apple Watch - 42mm")};
    if (xcodeVersion.startsWith(QLatin1String("7."))) {
        return phones +
               QStringList{QStringLiteral("Resizable iPhone"), QStringLiteral("Resizable iPad"),
                           QStringLiteral("iPad 2"),           QStringLiteral("iPad Retina"),
                           QStringLiteral("iPad Air"),         QStringLiteral("iPad Air 2"),
                           QStringLiteral("iPad Pro"),         QStringLiteral("Apple TV 1080p")} +
               firstWatches;
    }
    return phones + QStringList{QStringLiteral("iPhone 7"),  QStringLiteral("iPhone 7 Plus"),
                                QStringLiteral("iPhone SE"), QStringLiteral("iPad Retina"),
                                QStringLiteral("iPad Air"),  QStringLiteral("iPad Air 2"),
                                QStringLiteral("iPad Pro"),  QStringLiteral("Apple TV 1080p")} +
           firstWatches +
           QStringList{QStringLiteral("Apple Watch Series 2 - 38mm"),
                       QStringLiteral("Apple Watch Series 2 - 42mm")};
}

bool make(const XcodePlan &plan, QString *error)
{
    const QString app = QDir::cleanPath(QFileInfo(plan.appPath).absoluteFilePath());
    if (!app.endsWith(QLatin1String(".app"))) {
        *error = QStringLiteral("%1: an Xcode's name must end in .app").arg(plan.appPath);
        return false;
    }
    if (QFileInfo::exists(app) || QFileInfo(app).isSymLink()) {
        *error = QStringLiteral("%1 already exists").arg(app);
        return false;
    }
    for (const QString &name : plan.deviceTypeNames) {
        if (!SimIdentifiers::familyOfDeviceType(SimIdentifiers::deviceTypeIdentifier(name))) {
            *error = QStringLiteral("unknown device type '%1'").arg(name);
            return false;
        }
    }
    // Laid out under a hidden name and moved into place whole, so that a
    // search never finds half an Xcode.
    const QString parent = QFileInfo(app).absolutePath();
    const QString staging = FileOps::stagingPath(parent) + QStringLiteral(".app");
    if (!QDir().mkpath(parent) || !layOut(plan, staging, error) ||
        !FileOps::renamePath(staging, app, error)) {
        TreeRemover::remove(staging);
        return false;
    }
    return true;
}

int run(const QStringList &arguments)
{
    XcodePlan plan;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        const bool hasValue = i + 1 < arguments.size();
        if (argument == QLatin1String("--version") && hasValue) {
            plan.version = arguments.at(++i);
        } else if (argument == QLatin1String("--build") && hasValue) {
            plan.build = arguments.at(++i);
        } else if (argument == QLatin1String("--runtime") && hasValue) {
            const QStringList parts = arguments.at(++i).split(QLatin1Char(':'));
            if (parts.size() != 3 || parts.contains(QString())) {
                return usage();
            }
            plan.runtimes.append(runtime(parts.at(0), parts.at(1), parts.at(2)));
        } else if (argument == QLatin1String("--device-type") && hasValue) {
            plan.deviceTypeNames.append(arguments.at(++i));
        } else if (!argument.startsWith(QLatin1Char('-')) && plan.appPath.isEmpty()) {
            plan.appPath = argument;
        } else {
            return usage();
        }
    }
    if (plan.appPath.isEmpty()) {
        return usage();
    }
    QString error;
    if (!make(plan, &error)) {
        return Console::fail(QStringLiteral("make-xcode: %1").arg(error));
    }
    Console::out(QDir::cleanPath(QFileInfo(plan.appPath).absoluteFilePath()));
    return 0;
}

} // namespace XcodeMaker
