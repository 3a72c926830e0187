// The stand-in CoreSimulator library: the C interface of coresimulator.h over
// the device set on disk. Devices are read afresh from their device.plist on
// every question, so answers are never older than the file.
// The interface is the one thing this library exports (see exports.map).
#pragma GCC visibility push(default)
#include "coresimulator.h"
#pragma GCC visibility pop

#include "appinstaller.h"
#include "deviceset.h"
#include "paths.h"
#include "simobjects.h"

#include <cstdlib>
#include <cstring>

namespace {

void setError(char **slot, const QString &text)
{
    if (slot) {
        *slot = SimObjects::copyText(text);
    }
}

std::optional<DeviceRecord> recordOf(SimDeviceObject *device)
{
    if (!device) {
        return std::nullopt;
    }
    return DeviceRecord::read(device->path);
}

// --- SimDeviceSet ---------------------------------------------------------

SimDeviceSetObject *setDefaultSet()
{
    return SimObjects::defaultSetFor(DevtoolsPaths::deviceSetPath());
}

void setRetain(SimDeviceSetObject *set)
{
    if (set) {
        set->references.fetch_add(1);
    }
}

// The library keeps one reference of its own to every set, so the last
// caller's release never frees a set whose watcher may still be running.
void setRelease(SimDeviceSetObject *set)
{
    if (set) {
        set->references.fetch_sub(1);
    }
}

template<typename Keep>
size_t collectDevices(SimDeviceSetObject *set, Keep keep, char ***udids, SimDeviceObject ***devices)
{
    if (devices) {
        *devices = nullptr;
    }
    if (udids) {
        *udids = nullptr;
    }
    if (!set || !devices) {
        return 0;
    }
    QList<DeviceRecord> records;
    for (const DeviceRecord &record : DeviceSet(set->path).devices()) {
        if (keep(record)) {
            records.append(record);
        }
    }
    if (records.isEmpty()) {
        return 0;
    }
    const size_t count = size_t(records.size());
    *devices = static_cast<SimDeviceObject **>(std::calloc(count, sizeof(SimDeviceObject *)));
    if (udids) {
        *udids = static_cast<char **>(std::calloc(count, sizeof(char *)));
    }
    if (!*devices || (udids && !*udids)) {
        std::free(*devices);
        *devices = nullptr;
        if (udids) {
            std::free(*udids);
            *udids = nullptr;
        }
        return 0;
    }
    for (size_t i = 0; i < count; ++i) {
        SimDeviceObject *device = set->deviceObject(records[qsizetype(i)].udid);
        device->references.fetch_add(1);
        (*devices)[i] = device;
        if (udids) {
            (*udids)[i] = SimObjects::copyText(records[qsizetype(i)].udid);
        }
    }
    return count;
}

size_t setAvailableDevices(SimDeviceSetObject *set, SimDeviceObject ***devices)
{
    if (!set) {
        return collectDevices(
            set, [](const DeviceRecord &) { return false; }, nullptr, devices);
    }
    const auto profiles = set->profiles;
    return collectDevices(
        set, [&profiles](const DeviceRecord &record) { return profiles->isAvailable(record); },
        nullptr, devices);
}

size_t setDevicesByUDID(SimDeviceSetObject *set, char ***udids, SimDeviceObject ***devices)
{
    return collectDevices(
        set, [](const DeviceRecord &) { return true; }, udids, devices);
}

uint64_t setRegisterNotificationHandler(SimDeviceSetObject *set, SimNotificationHandler handler,
                                        void *context)
{
    if (!set || !handler) {
        return 0;
    }
    std::lock_guard lock(set->mutex);
    if (!set->watcher) {
        auto watcher =
            std::make_unique<DeviceSetWatcher>(set->path, [set](const QString &udid, int state) {
                set->dispatchStateChange(udid, state);
            });
        if (!watcher->start()) {
            return 0;
        }
        set->watcher = std::move(watcher);
    }
    const uint64_t registration = set->nextRegistration++;
    set->handlers.emplace(registration, SimDeviceSetObject::Handler{handler, context});
    return registration;
}

void setUnregisterNotificationHandler(SimDeviceSetObject *set, uint64_t registration)
{
    if (!set) {
        return;
    }
    std::unique_lock lock(set->mutex);
    set->handlers.erase(registration);
    // After this returns the handler is not running anywhere else (a handler
    // may unregister itself from inside its own call).
    set->idle.wait(lock, [set] {
        return set->dispatching == 0 || set->dispatchThread == std::this_thread::get_id();
    });
}

// --- SimDevice ------------------------------------------------------------

void deviceRetain(SimDeviceObject *device)
{
    if (device) {
        device->references.fetch_add(1);
    }
}

// Device objects stay cached by their set (which holds one reference), so a
// release never frees one that a notification could still name.
void deviceRelease(SimDeviceObject *device)
{
    if (device) {
        device->references.fetch_sub(1);
    }
}

int deviceRespondsToSelector(SimDeviceObject *device, const char *selector)
{
    static const char *const known[] = {"UDID",
                                        "name",
                                        "state",
                                        "deviceType",
                                        "runtime",
                                        "deviceTypeName",
                                        "runtimeVersionString",
                                        "runtimeBuildVersionString",
                                        "dataPath",
                                        "devicePath",
                                        "uninstallApplication",
                                        "uninstallApplication:withOptions:error:",
                                        "launchApplicationWithID",
                                        "launchApplicationWithID:options:error:",
                                        "addPhoto",
                                        "addPhoto:error:"};
    if (!device || !selector) {
        return 0;
    }
    for (const char *name : known) {
        if (std::strcmp(name, selector) == 0) {
            return 1;
        }
    }
    return 0;
}

char *deviceUDID(SimDeviceObject *device)
{
    return device ? SimObjects::copyText(device->udid) : nullptr;
}

char *deviceName(SimDeviceObject *device)
{
    const auto record = recordOf(device);
    return record ? SimObjects::copyText(record->name) : nullptr;
}

int64_t deviceState(SimDeviceObject *device)
{
    const auto record = recordOf(device);
    return record ? record->state : -1;
}

char *deviceTypeName(SimDeviceObject *device)
{
    const auto record = recordOf(device);
    const DeviceTypeProfile *type =
        record ? device->profiles->deviceType(record->deviceType) : nullptr;
    return type ? SimObjects::copyText(type->name) : nullptr;
}

char *deviceRuntimeVersionString(SimDeviceObject *device)
{
    const auto record = recordOf(device);
    if (!record) {
        return nullptr;
    }
    if (const RuntimeProfile *runtime = device->profiles->runtime(record->runtime)) {
        return SimObjects::copyText(runtime->version);
    }
    // The identifier spells the version even when this Xcode lacks the runtime.
    const auto parsed = SimIdentifiers::parseRuntimeIdentifier(record->runtime);
    return parsed ? SimObjects::copyText(parsed->second) : nullptr;
}

char *deviceRuntimeBuildVersionString(SimDeviceObject *device)
{
    const auto record = recordOf(device);
    const RuntimeProfile *runtime = record ? device->profiles->runtime(record->runtime) : nullptr;
    return runtime && !runtime->build.isEmpty() ? SimObjects::copyText(runtime->build) : nullptr;
}

char *deviceDataPath(SimDeviceObject *device)
{
    return device ? SimObjects::copyText(device->path + QStringLiteral("/data")) : nullptr;
}

char *deviceDevicePath(SimDeviceObject *device)
{
    return device ? SimObjects::copyText(device->path) : nullptr;
}

template<typename Action> int withInstaller(SimDeviceObject *device, char **error, Action action)
{
    QString reason;
    auto record = device ? DeviceRecord::read(device->path, &reason) : std::nullopt;
    if (!record) {
        setError(error, device ? reason : QStringLiteral("no device"));
        return 0;
    }
    AppInstaller installer(*record);
    if (!action(installer, &reason)) {
        setError(error, reason);
        return 0;
    }
    return 1;
}

int deviceUninstallApplication(SimDeviceObject *device, const char *bundleIdentifier, const void *,
                               char **error)
{
    if (!bundleIdentifier) {
        setError(error, QStringLiteral("no bundle identifier"));
        return 0;
    }
    const QString identifier = QString::fromUtf8(bundleIdentifier);
    return withInstaller(device, error, [&identifier](AppInstaller &installer, QString *reason) {
        return installer.uninstall(identifier, reason);
    });
}

int deviceLaunchApplicationWithID(SimDeviceObject *device, const char *bundleIdentifier,
                                  const void *, char **error)
{
    if (!bundleIdentifier) {
        setError(error, QStringLiteral("no bundle identifier"));
        return 0;
    }
    const QString identifier = QString::fromUtf8(bundleIdentifier);
    return withInstaller(device, error, [&identifier](AppInstaller &installer, QString *reason) {
        return installer.launch(identifier, reason);
    });
}

int deviceAddPhoto(SimDeviceObject *device, const char *path, char **error)
{
    if (!path) {
        setError(error, QStringLiteral("no photo path"));
        return 0;
    }
    const QString file = QString::fromUtf8(path);
    return withInstaller(device, error, [&file](AppInstaller &installer, QString *reason) {
        return installer.addMedia({file}, reason).has_value();
    });
}

} // namespace

extern "C" {

const SimDeviceSetClass SimDeviceSet = {
    SIM_CORESIMULATOR_INTERFACE_VERSION,
    setDefaultSet,
    setRetain,
    setRelease,
    setAvailableDevices,
    setDevicesByUDID,
    setRegisterNotificationHandler,
    setUnregisterNotificationHandler,
};

const SimDeviceClass SimDevice = {
    SIM_CORESIMULATOR_INTERFACE_VERSION,
    deviceRetain,
    deviceRelease,
    deviceRespondsToSelector,
    deviceUDID,
    deviceName,
    deviceState,
    deviceTypeName,
    deviceRuntimeVersionString,
    deviceRuntimeBuildVersionString,
    deviceDataPath,
    deviceDevicePath,
    deviceUninstallApplication,
    deviceLaunchApplicationWithID,
    deviceAddPhoto,
};

void CoreSimulatorFree(void *pointer)
{
    std::free(pointer);
}

#ifdef DEVTOOLS_REFERENCE_AUDIT
__attribute__((visibility("default"))) int64_t CoreSimulatorOutstandingReferences(void)
{
    return SimObjects::outstandingReferences();
}
#endif

} // extern "C"
