// The connector's device and app actions: each one request to the service,
// some after booting the device and waiting for it.
#define MARROWBY_LOG_SOURCE "Marrowkit/Connection/ParleyConnector"

#include "Marrowkit/Connection/parleyconnector.h"
#include "parleyconnector_p.h"

#include "parleyinspectorproxy.h"

#include "Marrowkit/foundation/dispatchqueue.h"
#include "Marrowkit/foundation/log.h"
#include "Marrowkit/foundation/runclosure.h"
#include "Marrowkit/plist/keyedunarchiver.h"

#include <QPointer>

namespace {

void logInfo(const QString &text, const char *function)
{
    Log::message(LogSeverity::Info, text, function, MARROWBY_LOG_SOURCE, __LINE__);
}

} // namespace

void ParleyConnector::quitSimulator()
{
    send(QStringLiteral("quitSimulator"),
         [](ParleyInspectorProxy &p) { return p.quitSimulator(); });
}

void ParleyConnector::launchSimulatorForDevice(const SimulatorDevice &device, bool hidden)
{
    send(QStringLiteral("launchSimulatorForDevicehidden"),
         [uuid = device.uuid(), hidden](ParleyInspectorProxy &p) {
             return p.launchSimulatorForDevicehidden(uuid, hidden);
         });
}

void ParleyConnector::launchApp(const SimulatorApp &app)
{
    const auto device = app.device();
    if (!device) {
        return;
    }
    runClosureForDevice(device, false, [uuid = app.uuid()](ParleyConnector &connector) {
        connector.send(QStringLiteral("launchAppWithUUID"),
                       [uuid](ParleyInspectorProxy &p) { return p.launchAppWithUUID(uuid); });
    });
}

void ParleyConnector::uninstallApp(const SimulatorApp &app)
{
    const auto device = app.device();
    if (!device) {
        return;
    }
    runClosureForDevice(device, true, [uuid = app.uuid()](ParleyConnector &connector) {
        connector.send(QStringLiteral("uninstallAppWithUUID"),
                       [uuid](ParleyInspectorProxy &p) { return p.uninstallAppWithUUID(uuid); });
    });
}

void ParleyConnector::openAddPhotoDialogForDevice(const SimulatorDevice &device,
                                                  std::function<QList<QUrl>()> chooser)
{
    SimulatorDevicePtr held;
    for (const SimulatorDevicePtr &known : m_devices.value_or(QList<SimulatorDevicePtr>())) {
        if (known->uuid() == device.uuid()) {
            held = known;
        }
    }
    if (!held) {
        return;
    }
    runClosureForDevice(held, true, [held, chooser](ParleyConnector &connector) {
        for (const QUrl &url : chooser ? chooser() : QList<QUrl>()) {
            connector.addPhoto(url, *held);
        }
    });
}

void ParleyConnector::addPhoto(const QUrl &url, const SimulatorDevice &device)
{
    send(QStringLiteral("addPhotoforDevice"),
         [url = url.toString(QUrl::FullyEncoded), uuid = device.uuid()](ParleyInspectorProxy &p) {
             return p.addPhotoforDevice(url, uuid);
         });
}

void ParleyConnector::resetApp(const SimulatorApp &app)
{
    send(QStringLiteral("resetAppWithUUID"),
         [uuid = app.uuid()](ParleyInspectorProxy &p) { return p.resetAppWithUUID(uuid); });
}

void ParleyConnector::deleteDevice(const SimulatorDevice &device)
{
    send(QStringLiteral("deleteDevice"),
         [uuid = device.uuid()](ParleyInspectorProxy &p) { return p.deleteDevice(uuid); });
}

void ParleyConnector::copyPathOfApp(const SimulatorApp &app)
{
    send(QStringLiteral("copyPathOfAppWithUUID"),
         [uuid = app.uuid()](ParleyInspectorProxy &p) { return p.copyPathOfAppWithUUID(uuid); });
}

void ParleyConnector::copyPathOfDevice(const SimulatorDevice &device)
{
    send(QStringLiteral("copyPathOfDeviceWithUUID"),
         [uuid = device.uuid()](ParleyInspectorProxy &p) {
             return p.copyPathOfDeviceWithUUID(uuid);
         });
}

void ParleyConnector::resetContentsAndSettingsOfDevice(const SimulatorDevice &device)
{
    const auto erase = [uuid = device.uuid()](ParleyInspectorProxy &p) {
        return p.resetContentsAndSettingsOfDevice(uuid);
    };
    if (device.deviceState() == DeviceState::Booted) {
        quitSimulator();
        logInfo(device.description(), "reset()");
        send(QStringLiteral("resetContentsAndSettingsOfDevice"), erase);
        launchSimulatorForDevice(device, false);
    } else {
        logInfo(device.description(), "reset()");
        send(QStringLiteral("resetContentsAndSettingsOfDevice"), erase);
    }
}

void ParleyConnector::urlsForAppGroupsOfApp(
    const SimulatorApp &app, std::function<void(const QList<QUrl> &)> completionHandler)
{
    send(
        QStringLiteral("urlsForAppGroupsOfAppWithUUIDcompletionHandler"),
        [uuid = app.uuid()](ParleyInspectorProxy &p) {
            return p.urlsForAppGroupsOfAppWithUUIDcompletionHandler(uuid);
        },
        [completionHandler](const std::optional<QByteArray> &archive) {
            QList<QUrl> urls;
            const auto list =
                archive ? KeyedUnarchiver::unarchivedObject(
                              *archive, {KeyedArchive::ArrayClass, KeyedArchive::URLClass})
                              .value()
                        : std::nullopt;
            for (const QVariant &value : list ? list->toList() : QVariantList()) {
                if (value.userType() == QMetaType::QUrl) {
                    urls.append(value.toUrl());
                }
            }
            if (completionHandler) {
                completionHandler(urls);
            }
        });
}

void ParleyConnector::urlForAppGroup(
    const QString &group, const SimulatorApp &app,
    std::function<void(const std::optional<QUrl> &)> completionHandler)
{
    send(
        QStringLiteral("urlForAppGroupofAppWithUUIDcompletionHandler"),
        [group, uuid = app.uuid()](ParleyInspectorProxy &p) {
            return p.urlForAppGroupofAppWithUUIDcompletionHandler(group, uuid);
        },
        [completionHandler](const std::optional<QByteArray> &archive) {
            const auto url =
                archive
                    ? KeyedUnarchiver::unarchivedObject(*archive, {KeyedArchive::URLClass}).value()
                    : std::nullopt;
            if (completionHandler) {
                completionHandler(url && url->userType() == QMetaType::QUrl
                                      ? std::optional<QUrl>(url->toUrl())
                                      : std::nullopt);
            }
        });
}

bool ParleyConnector::isDeviceBooted(const QString &uuid, const SimulatorDevicePtr &fallback) const
{
    // The catalogue's own object, whose state the updates change; the
    // device we were handed while a new catalogue is on its way.
    for (const SimulatorDevicePtr &device : m_devices.value_or(QList<SimulatorDevicePtr>())) {
        if (device->uuid() == uuid) {
            return device->booted();
        }
    }
    return fallback->booted();
}

void ParleyConnector::runClosureForDevice(const SimulatorDevicePtr &device, bool hidden,
                                          std::function<void(ParleyConnector &)> closure)
{
    if (!isDeviceBooted(device->uuid(), device)) {
        launchSimulatorForDevice(*device, hidden);
    }
    ++m_pendingRequests;
    // The guard is made, read and dropped on the main thread only.
    auto guard = std::make_shared<QPointer<ParleyConnector>>(this);
    GlobalUserInitiatedQueue()->async([guard, states = m_bootStates, uuid = device->uuid(),
                                       closure = std::move(closure)] {
        // Polls the published states, never the main thread: a main thread
        // that is gone or busy cannot hold this queue up.
        RunResult outcome = RunResult::waiting();
        runClosure(
            [&states, &uuid] {
                std::lock_guard lock(states->mutex);
                if (states->connectorGone) {
                    return RunResult::failure(Error{QStringLiteral("ParleyConnector"), 1, {}});
                }
                return states->booted.contains(uuid) ? RunResult::success() : RunResult::waiting();
            },
            Time::defaultTimeout, [&outcome](const RunResult &result) { outcome = result; });
        GlobalMainQueue()->async([guard, booted = outcome.isSuccess(), closure] {
            if (!*guard) {
                return;
            }
            --(*guard)->m_pendingRequests;
            if (booted) {
                closure(**guard);
            } else {
                logInfo(QStringLiteral("Device could not be booted."),
                        "runClosureForDevice(_:hidden:closure:)");
            }
        });
    });
}
