#define MARROWBY_LOG_SOURCE "Parley/DeviceInspector"

#include "deviceinspector.h"

#include "servicedelegate.h"

#include "Marrowkit/Connection/parleycontract.h"
#include "Marrowkit/devtools/developertools.h"
#include "Marrowkit/foundation/log.h"
#include "Marrowkit/model/simulatorcoding.h"
#include "Marrowkit/model/simulatorupdate.h"
#include "Marrowkit/plist/keyedarchiver.h"

#include <QDBusMessage>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

#include <future>

namespace {

// Texts from the bus are untrusted: nothing longer names anything we hold.
constexpr qsizetype maximumIdentifierLength = 1024;
constexpr qsizetype maximumPathLength = 4096;
// Every watched folder costs a watch descriptor; clients cannot buy more.
constexpr qsizetype maximumDirectoryObservers = 1024;

const char *const catalogueFunction = "requestSimulatorDevicesContainingApps(atURL:)";
const char *const updateFunction = "sendUpdateForItems(_:type:)";

void logInfo(const QString &text, const char *function)
{
    Log::message(LogSeverity::Info, text, function, MARROWBY_LOG_SOURCE, __LINE__);
}

QString printedItems(const QList<SimulatorItemPtr> &items)
{
    QStringList printed;
    for (const SimulatorItemPtr &item : items) {
        printed.append(item ? item->description() : QStringLiteral("nil"));
    }
    return QLatin1Char('[') + printed.join(QStringLiteral(", ")) + QLatin1Char(']');
}

// An absolute, clean path of an existing folder, as a client may ask to watch.
bool isWatchablePath(const QString &path)
{
    return path.size() <= maximumPathLength && path.startsWith(QLatin1Char('/')) &&
           !path.contains(QChar(0)) && QDir::cleanPath(path) == path && QFileInfo(path).isDir();
}

} // namespace

DeviceInspector::DeviceInspector(ServiceDelegate *serviceDelegate)
    : m_serviceDelegate(serviceDelegate), m_lifeline(std::make_shared<Lifeline>(this))
{
    std::unique_ptr<MarrowsimController> controller;
    const auto xcode = DeveloperTools().currentlySelectedXcode();
    const QString developerFolder = xcode ? xcode->developerDirectory().path() : QString();
    if (!developerFolder.isEmpty()) {
        controller = std::make_unique<MarrowsimController>(developerFolder);
    }
    m_control = std::make_shared<SimulatorControl>(std::move(controller));
    m_actions =
        std::make_shared<const DeviceActions>(m_control, UserNotifier(m_serviceDelegate->bus()));
    if (!m_control->hasController()) {
        MLOG_INFO(QStringLiteral("no Xcode is selected: the catalogue stays empty"));
        return;
    }
    auto devices = m_control->with<QList<SimulatorDevicePtr>>(
        [](MarrowsimController &c) { return c.availableDevices(); }, {});
    MLOG_INFO(QStringLiteral("%1 devices in %2").arg(devices.size()).arg(developerFolder));
    // Device-state updates arrive on the simulator library's thread.
    m_control->with<bool>(
        [lifeline = m_lifeline, this](MarrowsimController &c) {
            c.registerNotificationHandler([lifeline, this](const SimulatorUpdatePtr &update) {
                if (!update) {
                    return;
                }
                lifeline->post([this, update] {
                    const DeviceState state = deviceStateFromUpdateType(update->type());
                    for (const SimulatorItemPtr &item : update->items()) {
                        m_reportedStates.insert(item->uuid(), state);
                    }
                    if (auto archive = SimulatorCoding::archivedDataWithUpdate(*update).value()) {
                        sendUpdate(*archive);
                    }
                });
            });
            return true;
        },
        false);
    addFileObservers(devices);
    setAllDevices(std::move(devices));
}

DeviceInspector::~DeviceInspector()
{
    m_lifeline->end();
    if (m_cancelableClosure) {
        (*m_cancelableClosure)(true);
    }
    stopAllObservers();
    for (const auto &observer : std::as_const(m_directoryObservers)) {
        observer->stopMonitoring();
    }
}

SimulatorDevicePtr DeviceInspector::findDevice(const QString &uuid) const
{
    if (uuid.isEmpty() || uuid.size() > maximumIdentifierLength) {
        return nullptr;
    }
    for (const SimulatorDevicePtr &device : m_allDevices) {
        if (device->uuid() == uuid) {
            return device;
        }
    }
    return nullptr;
}

SimulatorAppPtr DeviceInspector::findApp(const QString &uuid) const
{
    if (uuid.isEmpty() || uuid.size() > maximumIdentifierLength) {
        return nullptr;
    }
    for (const SimulatorDevicePtr &device : m_allDevices) {
        for (const SimulatorAppPtr &app : device->apps()) {
            if (app->uuid() == uuid) {
                return app;
            }
        }
    }
    return nullptr;
}

void DeviceInspector::carryOut(std::function<void()> work)
{
    if (!calledFromDBus()) {
        work();
        return;
    }
    setDelayedReply(true);
    const QDBusMessage request = message();
    m_serviceDelegate->noteClient(request.service());
    m_clientQueues.queueFor(request.service())
        ->async([request, bus = connection(), work = std::move(work)]() mutable {
            work();
            if (request.isReplyRequired()) {
                bus.send(request.createReply());
            }
        });
}

QByteArray DeviceInspector::carryOutWithReply(std::function<std::optional<QByteArray>()> work)
{
    if (!calledFromDBus()) {
        return work().value_or(QByteArray());
    }
    setDelayedReply(true);
    const QDBusMessage request = message();
    m_serviceDelegate->noteClient(request.service());
    m_clientQueues.queueFor(request.service())
        ->async([request, bus = connection(), work = std::move(work)]() mutable {
            // An empty array is "nothing": an archive is never empty.
            const QByteArray archive = work().value_or(QByteArray());
            if (request.isReplyRequired()) {
                bus.send(request.createReply(QVariant::fromValue(archive)));
            }
        });
    return {};
}

void DeviceInspector::requestSimulatorDevicesContainingAppsAtURL(const QString &)
{
    // Through the client's queue, so that it comes after the client's
    // earlier requests. The push itself happens on the main thread, and the
    // reply waits for it: when the request returns, the catalogue is on its
    // way to the caller (a caller that leaves at once still gets it first).
    carryOut([lifeline = m_lifeline, this] {
        auto pushed = std::make_shared<std::promise<void>>();
        std::future<void> done = pushed->get_future();
        // Dropped with the inspector, the promise breaks and the wait ends.
        lifeline->post([this, pushed] {
            pushCatalogue();
            pushed->set_value();
        });
        done.wait();
    });
}

void DeviceInspector::launchAppWithUUID(const QString &appUUID)
{
    carryOut([actions = m_actions, app = findApp(appUUID)] {
        if (app) {
            actions->launchApp(*app);
        }
    });
}

void DeviceInspector::resetAppWithUUID(const QString &appUUID)
{
    carryOut([actions = m_actions, app = findApp(appUUID)] {
        if (app) {
            actions->resetApp(*app);
        }
    });
}

void DeviceInspector::uninstallAppWithUUID(const QString &appUUID)
{
    carryOut([actions = m_actions, app = findApp(appUUID)] {
        if (app) {
            actions->uninstallApp(*app);
        }
    });
}

void DeviceInspector::resetContentsAndSettingsOfDevice(const QString &deviceUUID)
{
    carryOut([actions = m_actions, device = findDevice(deviceUUID)] {
        if (device) {
            actions->eraseDevice(*device);
        }
    });
}

void DeviceInspector::addPhotoforDevice(const QString &photoURL, const QString &deviceUUID)
{
    const QUrl url =
        photoURL.size() <= maximumPathLength ? QUrl(photoURL, QUrl::StrictMode) : QUrl();
    carryOut([actions = m_actions, url, device = findDevice(deviceUUID)] {
        if (device) {
            actions->addPhoto(url, *device);
        }
    });
}

void DeviceInspector::quitSimulator()
{
    carryOut([actions = m_actions] { actions->quitSimulator(); });
}

void DeviceInspector::launchSimulatorForDevicehidden(const QString &deviceUUID, bool hidden)
{
    carryOut([actions = m_actions, hidden, device = findDevice(deviceUUID)] {
        if (device) {
            actions->launchSimulator(*device, hidden);
        }
    });
}

QByteArray DeviceInspector::urlsForAppGroupsOfAppWithUUIDcompletionHandler(const QString &appUUID)
{
    return carryOutWithReply([app = findApp(appUUID)]() -> std::optional<QByteArray> {
        return app ? DeviceActions::appGroupFolders(*app) : std::nullopt;
    });
}

QByteArray DeviceInspector::urlForAppGroupofAppWithUUIDcompletionHandler(const QString &appGroup,
                                                                         const QString &appUUID)
{
    return carryOutWithReply([appGroup, app = findApp(appUUID)]() -> std::optional<QByteArray> {
        return app ? DeviceActions::appGroupFolder(appGroup, *app) : std::nullopt;
    });
}

void DeviceInspector::copyPathOfAppWithUUID(const QString &appUUID)
{
    carryOut([actions = m_actions, app = findApp(appUUID)] {
        if (app) {
            actions->copyPathOfApp(*app);
        }
    });
}

void DeviceInspector::copyPathOfDeviceWithUUID(const QString &deviceUUID)
{
    carryOut([actions = m_actions, device = findDevice(deviceUUID)] {
        if (device) {
            actions->copyPathOfDevice(*device);
        }
    });
}

void DeviceInspector::deleteDevice(const QString &deviceUUID)
{
    const auto device = findDevice(deviceUUID);
    const bool booted = device && isBooted(*device);
    carryOut([actions = m_actions, device, booted] {
        if (device) {
            actions->deleteDevice(*device, booted);
        }
    });
}

bool DeviceInspector::isBooted(const SimulatorDevice &device) const
{
    const auto reported = m_reportedStates.constFind(device.uuid());
    return reported == m_reportedStates.constEnd() ? device.booted()
                                                   : *reported == DeviceState::Booted;
}

void DeviceInspector::addDirectoryObserverForPath(const QString &path)
{
    if (calledFromDBus()) {
        m_serviceDelegate->noteClient(message().service());
    }
    if (!isWatchablePath(path)) {
        return;
    }
    if (auto previous = m_directoryObservers.take(path)) {
        previous->stopMonitoring();
    } else if (m_directoryObservers.size() >= maximumDirectoryObservers) {
        MLOG_WARNING(QStringLiteral("not watching %1: %2 folders are watched already")
                         .arg(path)
                         .arg(maximumDirectoryObservers));
        return;
    }
    auto observer = std::make_shared<FileObserver>(
        QUrl::fromLocalFile(path),
        [lifeline = m_lifeline, this, path] {
            lifeline->post([this, path] {
                if (auto archive = KeyedArchiver::archivedDataWithRootObject(path).value()) {
                    pushToClients("directoryChanged", *archive);
                }
            });
        },
        [] {});
    observer->startMonitoring();
    m_directoryObservers.insert(path, observer);
}

void DeviceInspector::stopObservingDirectoryAtPath(const QString &path)
{
    if (calledFromDBus()) {
        m_serviceDelegate->noteClient(message().service());
    }
    if (auto observer = m_directoryObservers.take(path)) {
        observer->stopMonitoring();
    }
}

void DeviceInspector::stop()
{
    // The name goes first: a request sent after our reply must start a fresh
    // process, never reach this one as it ends.
    QDBusConnection bus = calledFromDBus() ? connection() : m_serviceDelegate->bus();
    bus.unregisterService(ParleyContract::serviceName());
    if (calledFromDBus()) {
        setDelayedReply(true);
        bus.send(message().createReply());
    }
    if (m_stopHandler) {
        m_stopHandler();
    }
}

void DeviceInspector::sendUpdate(const QByteArray &archive)
{
    pushToClients("receiveUpdate", archive);
}

void DeviceInspector::sendUpdateForItems(const QList<SimulatorItemPtr> &items,
                                         SimulatorUpdateType type)
{
    logInfo(QStringLiteral("send update: ") + printedItems(items), updateFunction);
    const auto archive = SimulatorCoding::archivedDataWithUpdate(SimulatorUpdate(type, items));
    archive.analysis([this](const QByteArray &bytes) { sendUpdate(bytes); },
                     [](const Error &refused) {
                         logInfo(QStringLiteral("update not sent: ") +
                                     refused.localizedDescription(),
                                 updateFunction);
                     });
}

void DeviceInspector::pushCatalogue()
{
    QElapsedTimer timer;
    timer.start();
    if (!m_catalogueArchive) {
        QList<SimulatorDevicePtr> withApps;
        for (const SimulatorDevicePtr &device : std::as_const(m_allDevices)) {
            if (!device->apps().isEmpty()) {
                withApps.append(device);
            }
        }
        const auto archive = SimulatorCoding::archivedDataWithDevices(withApps);
        if (const auto refused = archive.error()) {
            logInfo(QStringLiteral("catalogue not archived: ") + refused->localizedDescription(),
                    catalogueFunction);
        }
        m_catalogueArchive = archive.value();
    }
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    logInfo(QStringLiteral("Finding simulators containing apps in %1 seconds.")
                .arg(QString::number(seconds, 'f', 6)),
            catalogueFunction);
    logInfo(QStringLiteral("sending update to %1 remote proxys")
                .arg(m_serviceDelegate->connections().size()),
            catalogueFunction);
    if (!m_catalogueArchive) {
        MLOG_ERROR(QStringLiteral("the catalogue could not be archived"));
        return;
    }
    pushToClients("receiveSimulatorDevicesContainingApps", *m_catalogueArchive);
}

void DeviceInspector::pushToClients(const char *method, const QByteArray &archive)
{
    QDBusConnection bus = m_serviceDelegate->bus();
    for (const QString &client : m_serviceDelegate->connections()) {
        QDBusMessage push = QDBusMessage::createMethodCall(
            client, ParleyContract::clientObjectPath(), ParleyContract::updateInterfaceName(),
            QString::fromLatin1(method));
        push << archive;
        push.setAutoStartService(false);
        // Nothing waits for the client; a client that does not export the
        // interface answers with an error that is dropped.
        bus.send(push);
    }
}

void DeviceInspector::addFileObservers(const QList<SimulatorDevicePtr> &devices)
{
    for (const SimulatorDevicePtr &device : devices) {
        const auto applications = device->applicationsURL();
        if (!m_observers.contains(device->uuid()) && applications) {
            auto observer = std::make_shared<FileObserver>(
                *applications,
                [lifeline = m_lifeline, this] { lifeline->post([this] { appsFolderChanged(); }); },
                [] {});
            observer->startMonitoring();
            m_observers.insert(device->uuid(), observer);
        }
        for (const SimulatorAppPtr &app : device->apps()) {
            addFileObserverForApp(app);
        }
    }
}

void DeviceInspector::addFileObserverForApp(const SimulatorAppPtr &app)
{
    if (auto previous = m_observers.take(app->uuid())) {
        previous->stopMonitoring();
    }
    if (!app->bundleURL()) {
        return;
    }
    const QString bundlePath = app->bundleURL()->toLocalFile();
    auto observer = std::make_shared<FileObserver>(
        *app->bundleURL(),
        [lifeline = m_lifeline, this, bundlePath, weakApp = std::weak_ptr<SimulatorApp>(app)] {
            if (!QFileInfo::exists(bundlePath)) {
                return;
            }
            lifeline->post([this, weakApp] {
                if (auto app = weakApp.lock()) {
                    sendUpdateForItems({app}, SimulatorUpdateType::AppsUpdated);
                }
            });
        },
        [] {});
    observer->startMonitoring();
    m_observers.insert(app->uuid(), observer);
}

void DeviceInspector::appsFolderChanged()
{
    if (m_cancelableClosure) {
        (*m_cancelableClosure)(true);
    }
    m_cancelableClosure =
        delay(0.2, [lifeline = m_lifeline, this] { lifeline->post([this] { rescanDevices(); }); });
}

void DeviceInspector::rescanDevices()
{
    m_cancelableClosure.reset();
    stopAllObservers();
    auto devices = m_control->with<QList<SimulatorDevicePtr>>(
        [](MarrowsimController &c) { return c.availableDevices(); }, {});
    setAllDevices(std::move(devices));
    addFileObservers(m_allDevices);
    pushCatalogue();
}

void DeviceInspector::stopAllObservers()
{
    for (const auto &observer : std::as_const(m_observers)) {
        observer->stopMonitoring();
    }
    m_observers.clear();
}

void DeviceInspector::setAllDevices(QList<SimulatorDevicePtr> devices)
{
    m_allDevices = std::move(devices);
    m_catalogueArchive.reset();
    m_reportedStates.clear();
}
