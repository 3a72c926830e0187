// Badges, observation and the real-path computation; the menus and the
// item actions are in findersyncmenus.cpp.
#include "findersync.h"

#include "findersynccontroller.h"

#include "Marrowkit/Connection/parleyconnector.h"
#include "Marrowkit/Connection/parleycontract.h"
#include "Marrowkit/foundation/log.h"
#include "Marrowkit/model/appcontents.h"
#include "Marrowkit/model/devicestate.h"
#include "Marrowkit/model/simulatorproxydevice.h"
#include "Marrowkit/model/simulatorupdate.h"

#include <QFileInfo>

namespace {

const QString VolumeIconName = QStringLiteral(".VolumeIcon.icns");
const QString ReadmeName = QStringLiteral("Readme.txt");
// A host asking about endless made-up names must not grow this without
// bound.
constexpr qsizetype MaximumBadgedDevices = 4096;

QString joined(const QString &base, const QStringList &below)
{
    return below.isEmpty() ? base : base + QLatin1Char('/') + below.join(QLatin1Char('/'));
}

std::optional<QString> localPath(const std::optional<QUrl> &url)
{
    if (!url || !url->isLocalFile() || url->toLocalFile().isEmpty()) {
        return std::nullopt;
    }
    return url->toLocalFile();
}

} // namespace

const QString FinderSync::BadgeIdentifier = QStringLiteral("Booted");
const QString FinderSync::ConnectorIdentifier = QStringLiteral("Marrowlens");
const QString FinderSync::RunningMessageAction = QStringLiteral("deviceIsRunning");

FinderSync::FinderSync(FinderSyncController &host, Revealer &revealer, Setup setup, QObject *parent)
    : QObject(parent), m_host(host), m_revealer(revealer), m_setup(std::move(setup))
{
    MLOG_INFO(QStringLiteral("FinderSync() launched from ") + m_setup.bundlePath);
    m_host.setDirectoryURLs({QUrl::fromLocalFile(m_setup.volumePath)});
    const QString image = m_setup.bundlePath + QStringLiteral("/Contents/Resources/green.png");
    if (!QFileInfo(image).isFile()) {
        MLOG_ERROR(QStringLiteral("The badge image is missing from the extension bundle: ") +
                   image);
    }
    m_host.setBadgeImage(image, BadgeIdentifier, BadgeIdentifier);
}

FinderSync::~FinderSync()
{
    destroy();
}

std::optional<VolumePath> FinderSync::volumePathOf(const QUrl &url) const
{
    if (!url.isLocalFile()) {
        return std::nullopt;
    }
    return VolumePath::below(m_setup.volumePath, url.toLocalFile());
}

std::optional<VolumePath> FinderSync::firstSelectedPath() const
{
    const QList<QUrl> selection = m_host.selectedItemURLs();
    if (selection.isEmpty()) {
        return std::nullopt;
    }
    return volumePathOf(selection.constFirst());
}

SimulatorDevicePtr FinderSync::deviceNamed(const QString &name) const
{
    if (!m_parleyConnector || !m_parleyConnector->devices()) {
        return nullptr;
    }
    const auto names = m_parleyConnector->deviceNameMap();
    if (!names) {
        return nullptr;
    }
    for (const SimulatorDevicePtr &device : *m_parleyConnector->devices()) {
        const auto found = names->constFind(device->uuid());
        if (found != names->cend() && *found == name) {
            return device;
        }
    }
    return nullptr;
}

SimulatorAppPtr FinderSync::appNamed(const SimulatorDevicePtr &device, const QString &name) const
{
    if (!device || !m_parleyConnector) {
        return nullptr;
    }
    for (const auto &[app, appName] : m_parleyConnector->appNameMapForDevice(*device)) {
        if (appName == name) {
            return app;
        }
    }
    return nullptr;
}

std::optional<QString> FinderSync::nameOfDevice(const SimulatorDevice &device) const
{
    if (!m_parleyConnector) {
        return std::nullopt;
    }
    const auto names = m_parleyConnector->deviceNameMap();
    if (!names || !names->contains(device.uuid())) {
        return std::nullopt;
    }
    return names->value(device.uuid());
}

SimulatorDevicePtr FinderSync::selectedDevice() const
{
    const auto path = firstSelectedPath();
    if (!path || path->depth() < 1) {
        return nullptr;
    }
    return deviceNamed(path->name(0));
}

SimulatorAppPtr FinderSync::selectedApp() const
{
    const SimulatorDevicePtr device = selectedDevice();
    const auto path = firstSelectedPath();
    if (!device || !path || path->depth() < 2) {
        return nullptr;
    }
    return appNamed(device, path->name(1));
}

// Badges

void FinderSync::requestBadgeIdentifierForURL(const QUrl &url)
{
    const auto path = volumePathOf(url);
    if (!path || path->depth() != 1) {
        return;
    }
    const QString name = path->name(0);
    if (name == VolumeIconName || name == ReadmeName ||
        (!m_bagdedDevices.contains(name) && m_bagdedDevices.size() >= MaximumBadgedDevices)) {
        return;
    }
    m_bagdedDevices.insert(name, url);
    renewBadgeForName(name);
}

void FinderSync::renewBadgeForName(const QString &name)
{
    const auto url = m_bagdedDevices.constFind(name);
    if (url == m_bagdedDevices.cend()) {
        return;
    }
    const SimulatorDevicePtr device = deviceNamed(name);
    if (!device) {
        return;
    }
    m_host.setBadgeIdentifier(device->booted() ? BadgeIdentifier : QString(), *url);
}

void FinderSync::renewBadgeForDevice(const SimulatorDevice &device)
{
    const auto name = nameOfDevice(device);
    if (!name) {
        return;
    }
    const auto url = m_bagdedDevices.constFind(*name);
    if (url == m_bagdedDevices.cend()) {
        return;
    }
    m_host.setBadgeIdentifier(device.booted() ? BadgeIdentifier : QString(), *url);
}

void FinderSync::renewAllBadges()
{
    if (!m_parleyConnector || !m_parleyConnector->devices()) {
        return;
    }
    for (const SimulatorDevicePtr &device : *m_parleyConnector->devices()) {
        renewBadgeForDevice(*device);
    }
}

void FinderSync::handleUpdate(const SimulatorUpdate &update)
{
    if (update.type() != SimulatorUpdateType::DeviceBooted &&
        update.type() != SimulatorUpdateType::DeviceShutdown) {
        return;
    }
    QSet<QString> uuids;
    for (const SimulatorItemPtr &item : update.items()) {
        if (!std::dynamic_pointer_cast<SimulatorProxyDevice>(item)) {
            return;
        }
        uuids.insert(item->uuid());
    }
    if (!m_parleyConnector || !m_parleyConnector->devices()) {
        return;
    }
    const DeviceState state = deviceStateFromUpdateType(update.type());
    for (const SimulatorDevicePtr &device : *m_parleyConnector->devices()) {
        if (uuids.contains(device->uuid())) {
            device->setDeviceState(state);
            renewBadgeForDevice(*device);
        }
    }
}

// Observation

void FinderSync::makeConnector()
{
    m_parleyConnector = new ParleyConnector(ConnectorIdentifier, ParleyContract::serviceName(),
                                            m_setup.busAddress, this);
    QPointer<FinderSync> self(this);
    m_parleyConnector->addDeviceUpdateHandler(ConnectorIdentifier,
                                              [self](const QList<SimulatorDevicePtr> &devices) {
                                                  if (!self) {
                                                      return;
                                                  }
                                                  for (const SimulatorDevicePtr &device : devices) {
                                                      self->renewBadgeForDevice(*device);
                                                  }
                                              });
    m_parleyConnector->addUpdateHandler(ConnectorIdentifier, [self](const SimulatorUpdate &update) {
        if (self) {
            self->handleUpdate(update);
        }
    });
}

void FinderSync::beginObservingDirectoryAtURL(const QUrl &url)
{
    MLOG_INFO(QStringLiteral("beginObservingDirectoryAtURL: ") + url.toString());
    if (!url.isLocalFile() || url.toLocalFile().isEmpty()) {
        return;
    }
    const QString path = url.toLocalFile();
    // Only the volume is ours to watch; hosts are told so by the directory
    // paths, and anything else is a confused or hostile caller.
    if (!volumePathOf(url)) {
        MLOG_INFO(QStringLiteral("Not on the volume; ignored: ") + path);
        return;
    }
    if (!m_observedPaths.contains(path) && m_observedPaths.size() >= MaximumObservedPaths) {
        MLOG_WARNING(QStringLiteral("Too many folders observed; ignored: ") + path);
        return;
    }
    m_observedPaths.insert(path);
    if (!m_parleyConnector) {
        makeConnector();
    }
    renewAllBadges();
    addFileObserverForDirectoryAtURL(url);
    m_host.noteFileSystemChanged(path);
}

void FinderSync::endObservingDirectoryAtURL(const QUrl &url)
{
    MLOG_INFO(QStringLiteral("endObservingDirectoryAtURL: ") + url.toString());
    if (!url.isLocalFile() || url.toLocalFile().isEmpty()) {
        return;
    }
    m_observedPaths.remove(url.toLocalFile());
    if (m_observedPaths.isEmpty()) {
        destroy();
    }
    removeFileObserverForDirectoryAtURL(url);
}

void FinderSync::realPathFor(const VolumePath &path,
                             std::function<void(std::optional<QString>)> done)
{
    if (path.depth() < 3) {
        done(std::nullopt);
        return;
    }
    const SimulatorAppPtr app = appNamed(deviceNamed(path.name(0)), path.name(1));
    if (!app) {
        done(std::nullopt);
        return;
    }
    const QString section = path.name(2);
    const std::optional<QStringList> groups = app->appGroups();
    const bool hasGroups = groups && !groups->isEmpty();
    const auto askService = [&](const QString &group, const QStringList &below) {
        m_parleyConnector->urlForAppGroup(
            group, *app, [done = std::move(done), below](const std::optional<QUrl> &url) {
                const auto container = localPath(url);
                done(container ? std::optional(joined(*container, below)) : std::nullopt);
            });
    };
    const QStringList components = path.components();
    if (section == AppContents::AppGroupURLKey && hasGroups) {
        askService(groups->first(), components.mid(3));
    } else if (section == AppContents::BundleURLKey && localPath(app->bundleURL())) {
        done(joined(*localPath(app->bundleURL()), components.mid(3)));
    } else if (section == AppContents::SandboxURLKey && localPath(app->sandboxURL())) {
        done(joined(*localPath(app->sandboxURL()), components.mid(3)));
    } else if (section == AppContents::AppGroupsURLKey && hasGroups && path.depth() >= 4 &&
               groups->contains(path.name(3))) {
        askService(path.name(3), components.mid(4));
    } else {
        done(std::nullopt);
    }
}

void FinderSync::addFileObserverForDirectoryAtURL(const QUrl &url)
{
    const auto path = volumePathOf(url);
    if (!path || path->depth() < 3 || !m_parleyConnector) {
        return;
    }
    const QString volumePath = url.toLocalFile();
    const QPointer<ParleyConnector> connector = m_parleyConnector;
    QPointer<FinderSync> self(this);
    realPathFor(*path, [self, connector, volumePath](const std::optional<QString> &realPath) {
        // The window may have closed, or the connector changed, while the
        // service was asked.
        if (!self || !realPath || !connector || self->m_parleyConnector != connector ||
            !self->m_observedPaths.contains(volumePath)) {
            return;
        }
        connector->observeDirectoryAtPath(*realPath, [self, volumePath] {
            if (self) {
                self->m_host.noteFileSystemChanged(volumePath);
            }
        });
        self->m_directoryObservers.insert(*realPath);
    });
}

void FinderSync::removeFileObserverForDirectoryAtURL(const QUrl &url)
{
    const auto path = volumePathOf(url);
    if (!path || path->depth() < 3) {
        return;
    }
    QPointer<FinderSync> self(this);
    realPathFor(*path, [self](const std::optional<QString> &realPath) {
        if (!self || !realPath || !self->m_directoryObservers.contains(*realPath)) {
            return;
        }
        if (self->m_parleyConnector) {
            self->m_parleyConnector->stopObservingDirectoryAtPath(*realPath);
        }
        self->m_directoryObservers.remove(*realPath);
    });
}

void FinderSync::destroy()
{
    if (!m_bagdedDevices.isEmpty()) {
        m_bagdedDevices = {};
    }
    if (!m_parleyConnector) {
        return;
    }
    // The real folders cannot be computed once the connector is gone, so
    // their watches end with it.
    for (const QString &realPath : std::as_const(m_directoryObservers)) {
        m_parleyConnector->stopObservingDirectoryAtPath(realPath);
    }
    m_directoryObservers.clear();
    m_parleyConnector->removeDeviceUpdateHandlerWithID(ConnectorIdentifier);
    m_parleyConnector->removeUpdateHandlerWithID(ConnectorIdentifier);
    m_parleyConnector->stop();
    m_parleyConnector->deleteLater();
    m_parleyConnector = nullptr;
}
