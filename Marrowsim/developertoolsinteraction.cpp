#define MARROWBY_LOG_SOURCE "Marrowsim/DeveloperToolsInteraction"

#include "developertoolsinteraction.h"

#include "stringsfile.h"

#include "Marrowkit/foundation/log.h"
#include "Marrowkit/model/containerfiles.h"
#include "Marrowkit/model/simulatorapp.h"
#include "Marrowkit/model/simulatorproxydevice.h"
#include "Marrowkit/platform/nofollow.h"

#include <QFileInfo>
#include <QLocale>

#include <algorithm>

namespace {

// Apps and other programs write into the device set, so nothing in its
// Containers tree is reached through a link: a linked folder on the way to
// the containers, a linked container, a linked bundle are all passed over.
const QString bundleContainersPath = QStringLiteral("Containers/Bundle/Application");
const QString dataContainersPath = QStringLiteral("Containers/Data/Application");

// The immediate sub-folders of `path` that are folders themselves (not links),
// hidden ones skipped, in name order.
QStringList containerFolders(const QString &path)
{
    QStringList folders;
    for (const NoFollow::Entry &entry : NoFollow::entries(path)) {
        if (entry.kind == NoFollow::Kind::Folder) {
            folders.append(path + QLatin1Char('/') + entry.name);
        }
    }
    return folders;
}

bool byName(const QString &a, const QString &b)
{
    return QString::compare(a, b, Qt::CaseSensitive) < 0;
}

} // namespace

DeveloperToolsInteraction::DeveloperToolsInteraction(const QString &path)
{
    m_didLoadFrameworks = m_simulator.loadSimulatorFrameworkAtPath(path);
}

QList<std::shared_ptr<SimulatorDevice>> DeveloperToolsInteraction::availableDevices()
{
    QList<std::shared_ptr<SimulatorDevice>> devices;
    if (!m_didLoadFrameworks) {
        return devices;
    }
    for (const SimDeviceHandle &object : m_simulator.availableDevices()) {
        // A device the set describes badly is skipped, never fatal.
        if (!object.respondsToSelector("UDID") || !object.respondsToSelector("name")) {
            continue;
        }
        const auto udid = object.udid();
        const auto name = object.name();
        const auto version = object.runtimeVersionString();
        const auto type = object.deviceTypeName();
        const auto state = m_simulator.stateForDevice(object);
        const auto devicePath = object.devicePath();
        if (!udid || udid->isEmpty() || !name || name->isEmpty() || !version || !type) {
            continue;
        }
        auto apps = installedAppsForDevice(object);
        std::stable_sort(apps.begin(), apps.end(),
                         [](const auto &a, const auto &b) { return byName(a->name(), b->name()); });
        const int stateNumber = state ? int(qint64(*state)) : int(DeviceState::Unknown);
        auto device = SimulatorDevice::create(*udid, *name, apps, *version, *type, stateNumber);
        if (devicePath) {
            device->setContainerURL(QUrl::fromLocalFile(*devicePath));
        }
        devices.append(device);
    }
    std::stable_sort(devices.begin(), devices.end(),
                     [](const auto &a, const auto &b) { return byName(a->name(), b->name()); });
    return devices;
}

QList<std::shared_ptr<SimulatorApp>>
DeveloperToolsInteraction::installedAppsForDevice(const SimDeviceHandle &device)
{
    QList<std::shared_ptr<SimulatorApp>> apps;
    const auto dataItems = appDataItemsForDevice(device);
    const auto dataPath = device.dataPath();
    if (!dataItems || !dataPath) {
        return apps;
    }
    const QString type = m_simulator.typeForDevice(device);
    if (!NoFollow::isFolderBelow(*dataPath, bundleContainersPath)) {
        return apps;
    }
    const QString bundles = *dataPath + QLatin1Char('/') + bundleContainersPath;
    for (const QString &container : containerFolders(bundles)) {
        auto appData =
            applicationDictionaryForContainerURL(QUrl::fromLocalFile(container), *dataItems);
        if (appData) {
            if (auto app = SimulatorApp::fromAppData(*appData, type)) {
                apps.append(app);
            }
        }
    }
    return apps;
}

std::optional<QVariantMap>
DeveloperToolsInteraction::appDataItemsForDevice(const SimDeviceHandle &device)
{
    const auto dataPath = device.dataPath();
    if (!dataPath) {
        return std::nullopt;
    }
    if (!NoFollow::isFolderBelow(*dataPath, dataContainersPath)) {
        return std::nullopt;
    }
    const QString dataContainers = *dataPath + QLatin1Char('/') + dataContainersPath;
    QVariantMap items;
    for (const QString &container : containerFolders(dataContainers)) {
        const auto read = ContainerFiles::readMetadata(container);
        if (read.isFailure()) {
            continue;
        }
        const QVariantMap metadata = *read.value();
        const QVariant identifier = metadata.value(QStringLiteral("MCMMetadataIdentifier"));
        if (identifier.typeId() != QMetaType::QString) {
            continue;
        }
        QVariantList groups;
        const QVariant info = metadata.value(QStringLiteral("MCMMetadataInfo"));
        if (info.typeId() == QMetaType::QVariantMap) {
            const QVariant ids = info.toMap().value(
                QStringLiteral("com.apple.MobileInstallation.GroupContainerIDs"));
            if (ids.typeId() == QMetaType::QVariantList) {
                groups = ids.toList();
            }
        }
        items.insert(identifier.toString(), QVariantMap{{QStringLiteral("bundleIdentifier"),
                                                         QUrl::fromLocalFile(container)},
                                                        {QStringLiteral("appGroups"), groups}});
    }
    return items;
}

std::optional<QVariantMap>
DeveloperToolsInteraction::applicationDictionaryForContainerURL(const QUrl &containerURL,
                                                                const QVariantMap &dataItems)
{
    const QString container = containerURL.toLocalFile();
    for (const NoFollow::Entry &entry : NoFollow::entries(container)) {
        // A bundle that is a link (or anything but a folder) is not an app.
        if (QFileInfo(entry.name).suffix() != QLatin1String("app") ||
            entry.kind != NoFollow::Kind::Folder) {
            continue;
        }
        const QUrl bundleURL = QUrl::fromLocalFile(container + QLatin1Char('/') + entry.name);
        auto info = infoPlistForAppBundleAtURL(bundleURL);
        if (!info) {
            continue;
        }
        const QString name = localizedAppNameForAppAtURL(bundleURL, *info);
        QVariantMap copied = *info;
        copied.insert(QStringLiteral("CFBundleDisplayName"), name);
        QVariantMap appData{{QStringLiteral("containerURL"), bundleURL},
                            {QStringLiteral("name"), name}};
        const QVariant identifier = info->value(QStringLiteral("CFBundleIdentifier"));
        const auto item = identifier.typeId() == QMetaType::QString
                              ? dataItems.constFind(identifier.toString())
                              : dataItems.constEnd();
        if (item != dataItems.constEnd()) {
            const QVariantMap entryMap = item->toMap();
            copied.insert(QStringLiteral("appGroups"), entryMap.value(QStringLiteral("appGroups")));
            appData.insert(QStringLiteral("dataURL"),
                           entryMap.value(QStringLiteral("bundleIdentifier")));
        }
        appData.insert(QStringLiteral("info"), copied);
        return appData;
    }
    return std::nullopt;
}

std::optional<QVariantMap> DeveloperToolsInteraction::infoPlistForAppBundleAtURL(const QUrl &url)
{
    return ContainerFiles::readInfoPlist(url.toLocalFile()).value();
}

QStringList DeveloperToolsInteraction::preferredLocalizations()
{
    QStringList result;
    for (const QString &language : QLocale::system().uiLanguages()) {
        if (language == QLatin1String("C")) {
            continue;
        }
        result.append(language);
    }
    if (result.isEmpty()) {
        result.append(QStringLiteral("en"));
    }
    return result;
}

QString DeveloperToolsInteraction::localizedAppNameForAppAtURL(const QUrl &url,
                                                               const QVariantMap &info)
{
    QString name;
    const QVariant bundleName = info.value(QStringLiteral("CFBundleName"));
    if (bundleName.typeId() == QMetaType::QString) {
        name = bundleName.toString();
    }
    const QString bundle = url.toLocalFile();
    const QString preferred = preferredLocalizations().constFirst();
    QStringList candidates{preferred};
    const QString language = preferred.section(QLatin1Char('-'), 0, 0);
    if (language != preferred) {
        candidates.append(language);
    }
    candidates.append(QStringLiteral("Base"));
    for (const QString &localization : std::as_const(candidates)) {
        const QString folder = bundle + QLatin1Char('/') + localization + QStringLiteral(".lproj");
        if (!NoFollow::isFolder(folder)) {
            continue;
        }
        // The first localization folder that exists decides, as a bundle
        // opened at that folder would.
        if (auto table = readStringsTable(folder + QStringLiteral("/InfoPlist.strings"))) {
            const QVariant display = table->value(QStringLiteral("CFBundleDisplayName"));
            if (display.typeId() == QMetaType::QString) {
                name = display.toString();
            }
        }
        break;
    }
    return name.isEmpty() ? QStringLiteral("[Unknown title]") : name;
}

void DeveloperToolsInteraction::registerNotificationHandler(UpdateHandler handler)
{
    m_notifications.end();
    if (!m_didLoadFrameworks || !handler) {
        return;
    }
    m_notifications = m_simulator.registerNotificationHandlerOnDefaultDeviceSet(
        [handler = std::move(handler)](const SimulatorNotification &notification) {
            if (notification.notification != QLatin1String("device_state") ||
                notification.device.isNull() || !notification.newState) {
                return;
            }
            const qint64 stateNumber = *notification.newState;
            const auto state = stateNumber == qint64(int(stateNumber))
                                   ? deviceStateFromRawValue(int(stateNumber))
                                   : std::nullopt;
            if (!state) {
                return;
            }
            // Named explicitly: inside the handler __func__ is the call operator.
            Log::message(LogSeverity::Info,
                         notification.device.name().value_or(QString()) + QStringLiteral(": ") +
                             description(*state),
                         "registerNotificationHandler", MARROWBY_LOG_SOURCE, __LINE__);
            std::optional<SimulatorUpdateType> type;
            switch (*state) {
            case DeviceState::Booted:
                type = SimulatorUpdateType::DeviceBooted;
                break;
            case DeviceState::Creating:
                type = SimulatorUpdateType::DeviceCreating;
                break;
            case DeviceState::Shutdown:
                type = SimulatorUpdateType::DeviceShutdown;
                break;
            default:
                break;
            }
            const auto udid = notification.device.udid();
            if (!type || !udid) {
                return;
            }
            const QList<SimulatorItemPtr> items{std::make_shared<SimulatorProxyDevice>(*udid)};
            handler(std::make_shared<SimulatorUpdate>(*type, items));
        });
}

SimDeviceHandle DeveloperToolsInteraction::deviceObjectFor(const QString &uuid)
{
    const QUuid key(uuid);
    if (key.isNull()) {
        return {};
    }
    return m_simulator.availableDevicesByUDID().value(key);
}

bool DeveloperToolsInteraction::launchApp(const SimulatorApp &app)
{
    const auto device = app.device();
    if (!device || !m_didLoadFrameworks) {
        return false;
    }
    const SimDeviceHandle object = deviceObjectFor(device->uuid());
    return !object.isNull() && m_simulator.launchApp(app.bundleIdentifier(), object);
}

bool DeveloperToolsInteraction::uninstallApp(const SimulatorApp &app)
{
    const auto device = app.device();
    if (!device || !m_didLoadFrameworks) {
        return false;
    }
    const SimDeviceHandle object = deviceObjectFor(device->uuid());
    return !object.isNull() && m_simulator.uninstallApp(app.bundleIdentifier(), object);
}

bool DeveloperToolsInteraction::resetContentsAndSettingsOfDevice(const SimulatorDevice &device)
{
    if (!m_didLoadFrameworks) {
        return false;
    }
    const SimDeviceHandle object = deviceObjectFor(device.uuid());
    return !object.isNull() && m_simulator.resetContentsAndSettingsForDevice(object);
}

bool DeveloperToolsInteraction::addPhoto(const QUrl &url, const SimulatorDevice &device)
{
    if (!m_didLoadFrameworks) {
        return false;
    }
    const SimDeviceHandle object = deviceObjectFor(device.uuid());
    return !object.isNull() && m_simulator.addPhoto(url, object);
}
