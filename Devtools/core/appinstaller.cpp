#include "appinstaller.h"

#include "devicelock.h"
#include "fileops.h"
#include "imagetype.h"
#include "plistio.h"
#include "safefile.h"
#include "simidentifiers.h"
#include "systemlog.h"
#include "treeremover.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace {

const QString identifierKey = QStringLiteral("MCMMetadataIdentifier");
const QString infoKey = QStringLiteral("MCMMetadataInfo");
const QString groupsKey = QStringLiteral("com.apple.MobileInstallation.GroupContainerIDs");
const QString groupsEntitlement = QStringLiteral("com.apple.security.application-groups");
const QString entitlementsFile = QStringLiteral("archived-expanded-entitlements.xcent");

void setError(QString *error, const QString &text)
{
    if (error) {
        *error = text;
    }
}

// Identifiers end up in property lists and log lines, never in paths; still,
// keep them to one printable line of sane length.
bool validIdentifier(const QString &text)
{
    if (text.isEmpty() || text.size() > 255) {
        return false;
    }
    return std::none_of(text.cbegin(), text.cend(), [](QChar c) {
        return c.category() == QChar::Other_Control || c == QLatin1Char('/');
    });
}

QString metadataIdentifier(const QString &container, const QByteArray &mustContain = {})
{
    const auto data = SafeFile::read(
        container + QLatin1Char('/') + AppInstaller::metadataFileName(), PlistIO::recordSizeLimit);
    // Most containers belong to other apps: skip parsing those cheaply.
    if (!data || (!mustContain.isEmpty() && !data->contains(mustContain))) {
        return QString();
    }
    const auto metadata = PlistIO::fromData(*data);
    return metadata ? metadata->toMap().value(identifierKey).toString() : QString();
}

QString appInContainer(const QString &container)
{
    const QDir dir(container);
    const auto apps = dir.entryList({QStringLiteral("*.app")}, QDir::Dirs | QDir::NoSymLinks);
    return apps.isEmpty() ? QString() : dir.filePath(apps.first());
}

// The text an identifier shows in any property list that holds it, when
// there is one (plain ASCII, nothing XML would escape); else nothing.
QByteArray plainText(const QString &identifier)
{
    for (QChar c : identifier) {
        if (c.unicode() > 0x7e || c == QLatin1Char('&') || c == QLatin1Char('<') ||
            c == QLatin1Char('>') || c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            return QByteArray();
        }
    }
    return identifier.toLatin1();
}

// Those of `containers` whose metadata names `identifier`. Bundle
// containers without metadata (made by other tools) are known by their
// app's Info.plist.
QStringList withIdentifier(const QStringList &containers, const QString &identifier, bool bundles)
{
    const QByteArray filter = plainText(identifier);
    QStringList found;
    for (const QString &container : containers) {
        if (bundles && !SafeFile::existsWithoutFollowing(container + QLatin1Char('/') +
                                                         AppInstaller::metadataFileName())) {
            const QString app = appInContainer(container);
            const auto info = app.isEmpty()
                                  ? std::nullopt
                                  : PlistIO::readDictionary(app + QStringLiteral("/Info.plist"),
                                                            PlistIO::bundleSizeLimit);
            if (info &&
                info->value(QStringLiteral("CFBundleIdentifier")).toString() == identifier) {
                found.append(container);
            }
        } else if (metadataIdentifier(container, filter) == identifier) {
            found.append(container);
        }
    }
    return found;
}

int nextMediaNumber(const QString &folder)
{
    static const QRegularExpression pattern(QStringLiteral("^IMG_([0-9]{4,9})\\.[A-Za-z]+$"));
    int highest = 0;
    for (const QString &name : QDir(folder).entryList(QDir::Files)) {
        const auto match = pattern.match(name);
        if (match.hasMatch()) {
            highest = std::max(highest, match.captured(1).toInt());
        }
    }
    return highest + 1;
}

} // namespace

std::optional<AppBundleInfo> AppBundleInfo::inspect(const QString &appPath, QString *error)
{
    const QFileInfo file(appPath);
    auto fail = [error, &appPath](const QString &why) {
        setError(error, QStringLiteral("Failed to install %1: %2").arg(appPath, why));
        return std::nullopt;
    };
    if (!file.isDir() || file.fileName() == QLatin1String(".app") ||
        !file.fileName().endsWith(QLatin1String(".app"))) {
        return fail(QStringLiteral("not an application bundle (a folder whose name ends in .app)"));
    }
    AppBundleInfo bundle;
    bundle.path = file.canonicalFilePath();
    QString why;
    const auto info = PlistIO::readDictionary(bundle.path + QStringLiteral("/Info.plist"),
                                              PlistIO::bundleSizeLimit, &why);
    if (!info) {
        return fail(QStringLiteral("its Info.plist cannot be read (%1)").arg(why));
    }
    bundle.identifier = info->value(QStringLiteral("CFBundleIdentifier")).toString();
    if (info->value(QStringLiteral("CFBundleIdentifier")).typeId() != QMetaType::QString ||
        !validIdentifier(bundle.identifier)) {
        return fail(QStringLiteral("its Info.plist has no valid CFBundleIdentifier"));
    }
    const QString entitlements = bundle.path + QLatin1Char('/') + entitlementsFile;
    if (SafeFile::existsWithoutFollowing(entitlements)) {
        const auto values = PlistIO::readDictionary(entitlements, PlistIO::bundleSizeLimit, &why);
        if (!values) {
            return fail(QStringLiteral("its entitlements cannot be read (%1)").arg(why));
        }
        if (values->contains(groupsEntitlement)) {
            const QVariant groups = values->value(groupsEntitlement);
            if (groups.typeId() != QMetaType::QVariantList) {
                return fail(QStringLiteral("its application groups are not a list"));
            }
            for (const QVariant &group : groups.toList()) {
                if (group.typeId() != QMetaType::QString || !validIdentifier(group.toString())) {
                    return fail(QStringLiteral("its application groups hold an invalid entry"));
                }
                if (!bundle.appGroups.contains(group.toString())) {
                    bundle.appGroups.append(group.toString());
                }
            }
        }
    }
    return bundle;
}

AppInstaller::AppInstaller(DeviceRecord device) : m_device(std::move(device))
{}

QString AppInstaller::metadataFileName()
{
    return QStringLiteral(".com.apple.mobile_container_manager.metadata.plist");
}

QStringList AppInstaller::dataContainerFolders()
{
    return {QStringLiteral("Documents"), QStringLiteral("Library"),
            QStringLiteral("Library/Caches"), QStringLiteral("Library/Preferences"),
            QStringLiteral("tmp")};
}

QString AppInstaller::bundleContainersPath() const
{
    return m_device.dataPath() + QStringLiteral("/Containers/Bundle/Application");
}

QString AppInstaller::dataContainersPath() const
{
    return m_device.dataPath() + QStringLiteral("/Containers/Data/Application");
}

QString AppInstaller::appGroupContainersPath() const
{
    return m_device.dataPath() + QStringLiteral("/Containers/Shared/AppGroup");
}

QString AppInstaller::mediaPath() const
{
    return m_device.dataPath() + QStringLiteral("/Media/DCIM/100APPLE");
}

// The containers inside `parent`: real folders only, and none at all when
// `parent` or a folder above it (up to the device's folder) is a link, so
// that nothing outside the device is ever taken for a container.
QStringList AppInstaller::containersIn(const QString &parent) const
{
    const QString relative = QDir(m_device.path).relativeFilePath(parent);
    if (!SafeFile::isRealFolderBelow(m_device.path, relative)) {
        return {};
    }
    QStringList result;
    const QDir dir(parent);
    const auto entries =
        dir.entryList(QDir::Dirs | QDir::NoSymLinks | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &entry : entries) {
        result.append(dir.filePath(entry));
    }
    return result;
}

QStringList AppInstaller::relativeTo(const QStringList &paths) const
{
    QStringList relative;
    for (const QString &path : paths) {
        relative.append(QDir(m_device.path).relativeFilePath(path));
    }
    return relative;
}

// Changes go only into folders of the device itself, not through links
// (`mayBeMissing`: before the missing folders are made).
bool AppInstaller::realFolders(const QStringList &paths, bool mayBeMissing, QString *error) const
{
    for (const QString &relative : relativeTo(paths)) {
        if (mayBeMissing ? !SafeFile::hasNoLinkBelow(m_device.path, relative)
                         : !SafeFile::isRealFolderBelow(m_device.path, relative)) {
            setError(error, QStringLiteral("Unable to change %1: %2 is a link, not a folder")
                                .arg(m_device.name, relative));
            return false;
        }
    }
    return true;
}

QStringList AppInstaller::containersWithIdentifier(const QString &parent, const QString &identifier,
                                                   bool bundles) const
{
    return withIdentifier(containersIn(parent), identifier, bundles);
}

bool AppInstaller::refresh(QString *error)
{
    auto record = DeviceRecord::read(m_device.path, error);
    if (!record) {
        return false;
    }
    m_device = *record;
    return true;
}

std::optional<InstalledApp> AppInstaller::installedApp(const QString &bundleIdentifier) const
{
    for (const QString &container :
         containersWithIdentifier(bundleContainersPath(), bundleIdentifier, true)) {
        InstalledApp app;
        app.bundleIdentifier = bundleIdentifier;
        app.bundleContainerPath = container;
        app.appPath = appInContainer(container);
        if (app.appPath.isEmpty()) {
            continue;
        }
        const QStringList data =
            containersWithIdentifier(dataContainersPath(), bundleIdentifier, false);
        app.dataContainerPath = data.isEmpty() ? QString() : data.first();
        return app;
    }
    return std::nullopt;
}

QString AppInstaller::appGroupContainer(const QString &groupIdentifier) const
{
    const QStringList found =
        containersWithIdentifier(appGroupContainersPath(), groupIdentifier, false);
    return found.isEmpty() ? QString() : found.first();
}

bool AppInstaller::writeDataMetadata(const QString &container, const QString &identifier,
                                     const QStringList &groups, QString *error)
{
    const QString path = container + QLatin1Char('/') + metadataFileName();
    QVariantMap metadata =
        PlistIO::readDictionary(path, PlistIO::recordSizeLimit).value_or(QVariantMap());
    metadata.insert(identifierKey, identifier);
    QVariantMap info = metadata.value(infoKey).toMap();
    info.insert(groupsKey, QVariant(groups));
    metadata.insert(infoKey, info);
    return PlistIO::writeXml(path, metadata, error);
}

QString AppInstaller::createContainer(const QString &parent, const QString &identifier,
                                      const QStringList &groups, const QStringList &folders,
                                      QString *error)
{
    const QString staging = FileOps::stagingPath(QFileInfo(parent).absolutePath());
    const bool isData = parent == dataContainersPath();
    const QVariantMap metadata = {{identifierKey, identifier}};
    const bool made = QDir().mkpath(staging) && FileOps::makeFolders(staging, folders, error) &&
                      (isData ? writeDataMetadata(staging, identifier, groups, error)
                              : PlistIO::writeXml(staging + QLatin1Char('/') + metadataFileName(),
                                                  metadata, error));
    QString container = parent + QLatin1Char('/') + SimIdentifiers::makeUuidText();
    if (!made || !FileOps::renamePath(staging, container, error)) {
        TreeRemover::remove(staging);
        return QString();
    }
    return container;
}

std::optional<InstalledApp> AppInstaller::install(const QString &appPath, QString *error)
{
    const auto bundle = AppBundleInfo::inspect(appPath, error);
    if (!bundle) {
        return std::nullopt;
    }
    DeviceLock lock(m_device.path);
    const QStringList parents = {bundleContainersPath(), dataContainersPath(),
                                 appGroupContainersPath()};
    if (!refresh(error) || !realFolders(parents, true, error) ||
        !FileOps::makeFolders(m_device.path, relativeTo(parents), error) ||
        !realFolders(parents, false, error)) {
        return std::nullopt;
    }
    const QStringList previousBundles =
        containersWithIdentifier(bundleContainersPath(), bundle->identifier, true);
    const QStringList previousData =
        containersWithIdentifier(dataContainersPath(), bundle->identifier, false);

    // The new bundle container is complete before anything else changes.
    const QString staging = FileOps::stagingPath(QFileInfo(bundleContainersPath()).absolutePath());
    const QString stagedApp = staging + QLatin1Char('/') + QFileInfo(bundle->path).fileName();
    if (!QDir().mkpath(staging) || !FileOps::copyTree(bundle->path, stagedApp, error) ||
        !PlistIO::writeXml(staging + QLatin1Char('/') + metadataFileName(),
                           QVariantMap{{identifierKey, bundle->identifier}}, error)) {
        TreeRemover::remove(staging);
        return std::nullopt;
    }
    auto abandon = [&staging]() {
        TreeRemover::remove(staging);
        return std::nullopt;
    };

    for (const QString &group : bundle->appGroups) {
        if (appGroupContainer(group).isEmpty() &&
            createContainer(
                appGroupContainersPath(), group, {},
                {QStringLiteral("Library/Caches"), QStringLiteral("Library/Preferences")}, error)
                .isEmpty()) {
            return abandon();
        }
    }

    InstalledApp installed;
    installed.bundleIdentifier = bundle->identifier;
    installed.dataContainerPath = previousData.isEmpty() ? QString() : previousData.first();
    if (installed.dataContainerPath.isEmpty()) {
        installed.dataContainerPath =
            createContainer(dataContainersPath(), bundle->identifier, bundle->appGroups,
                            dataContainerFolders(), error);
        if (installed.dataContainerPath.isEmpty()) {
            return abandon();
        }
    } else if (!writeDataMetadata(installed.dataContainerPath, bundle->identifier,
                                  bundle->appGroups, error)) {
        return abandon();
    }

    installed.bundleContainerPath =
        bundleContainersPath() + QLatin1Char('/') + SimIdentifiers::makeUuidText();
    if (!FileOps::renamePath(staging, installed.bundleContainerPath, error)) {
        return abandon();
    }
    installed.appPath =
        installed.bundleContainerPath + QLatin1Char('/') + QFileInfo(bundle->path).fileName();
    for (const QString &container : previousBundles) {
        FileOps::removeTree(container, QFileInfo(bundleContainersPath()).absolutePath(), nullptr);
    }
    SystemLog::append(m_device.udid, m_device.name,
                      QStringLiteral("Installed %1").arg(bundle->identifier));
    return installed;
}

bool AppInstaller::uninstall(const QString &bundleIdentifier, QString *error)
{
    DeviceLock lock(m_device.path);
    if (!refresh(error)) {
        return false;
    }
    const QStringList containers =
        containersWithIdentifier(bundleContainersPath(), bundleIdentifier, true) +
        containersWithIdentifier(dataContainersPath(), bundleIdentifier, false);
    if (containers.isEmpty()) {
        setError(error, QStringLiteral("Unable to uninstall %1: the app is not installed on %2")
                            .arg(bundleIdentifier, m_device.name));
        return false;
    }
    for (const QString &container : containers) {
        const QString scratch = QDir::cleanPath(container + QStringLiteral("/../.."));
        if (!FileOps::removeTree(container, scratch, error)) {
            return false;
        }
    }
    SystemLog::append(m_device.udid, m_device.name,
                      QStringLiteral("Uninstalled %1").arg(bundleIdentifier));
    return true;
}

bool AppInstaller::launch(const QString &bundleIdentifier, QString *error, int *code)
{
    DeviceLock lock(m_device.path);
    if (!refresh(error)) {
        return false;
    }
    if (m_device.state != SimIdentifiers::stateBooted) {
        setError(error, QStringLiteral("Unable to launch %1 in current state: %2")
                            .arg(bundleIdentifier, SimIdentifiers::stateName(m_device.state)));
        if (code) {
            *code = SimIdentifiers::incorrectStateErrorCode;
        }
        return false;
    }
    if (!installedApp(bundleIdentifier)) {
        setError(error, QStringLiteral("Unable to launch %1: the app is not installed on %2")
                            .arg(bundleIdentifier, m_device.name));
        return false;
    }
    SystemLog::append(m_device.udid, m_device.name,
                      QStringLiteral("Launched %1").arg(bundleIdentifier));
    return true;
}

std::optional<QStringList> AppInstaller::addMedia(const QStringList &files, QString *error)
{
    const auto family = SimIdentifiers::familyOfDeviceType(m_device.deviceType);
    if (family == DeviceFamily::Watch || family == DeviceFamily::TV) {
        setError(error,
                 QStringLiteral("Unable to add media: %1 cannot import photos").arg(m_device.name));
        return std::nullopt;
    }
    if (files.isEmpty()) {
        setError(error, QStringLiteral("No media files given"));
        return std::nullopt;
    }
    QStringList types;
    for (const QString &file : files) {
        const QString type = QFileInfo(file).isFile() ? ImageType::ofFile(file) : QString();
        if (type.isEmpty()) {
            setError(error, QStringLiteral("Unable to add media: %1 is not a photo").arg(file));
            return std::nullopt;
        }
        types.append(type);
    }
    DeviceLock lock(m_device.path);
    if (!refresh(error) || !realFolders({mediaPath()}, true, nullptr) ||
        !QDir().mkpath(mediaPath()) || !realFolders({mediaPath()}, false, nullptr)) {
        setError(error, QStringLiteral("Unable to add media to %1").arg(m_device.name));
        return std::nullopt;
    }
    QStringList added;
    int number = nextMediaNumber(mediaPath());
    for (qsizetype i = 0; i < files.size(); ++i, ++number) {
        const QString name =
            QStringLiteral("IMG_%1.%2").arg(number, 4, 10, QLatin1Char('0')).arg(types[i]);
        const QString partial = mediaPath() + QStringLiteral("/.") + name;
        QFile::remove(partial);
        if (!FileOps::copyFile(files[i], partial, nullptr) ||
            !FileOps::renamePath(partial, mediaPath() + QLatin1Char('/') + name, error)) {
            QFile::remove(partial);
            setError(error, QStringLiteral("Unable to add media: cannot copy %1").arg(files[i]));
            return std::nullopt;
        }
        added.append(name);
        SystemLog::append(m_device.udid, m_device.name, QStringLiteral("Added photo %1").arg(name));
    }
    return added;
}
