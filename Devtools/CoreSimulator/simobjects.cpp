#include "simobjects.h"

#include "xcodelayout.h"

#include <QFile>

#include <cstdlib>
#include <cstring>
#include <dlfcn.h>

namespace {

// Every set made stays until the library is unloaded; then the watcher
// threads stop before the code they run goes away.
struct LibraryState
{
    std::mutex mutex;
    std::map<QString, SimDeviceSetObject *> sets;
    std::shared_ptr<const XcodeProfiles> profiles;

    ~LibraryState()
    {
        for (auto &[path, set] : sets) {
            std::unique_ptr<DeviceSetWatcher> watcher;
            {
                std::lock_guard lock(set->mutex);
                watcher = std::move(set->watcher);
            }
            watcher.reset();
        }
        // No thread of ours runs any more, and callers' references end with
        // the library's code.
        for (auto &[path, set] : sets) {
            for (auto &[udid, device] : set->devices) {
                delete device;
            }
            delete set;
        }
    }
};

LibraryState &libraryState()
{
    static LibraryState state;
    return state;
}

} // namespace

SimDeviceObject *SimDeviceSetObject::deviceObject(const QString &udid)
{
    std::lock_guard lock(mutex);
    auto found = devices.find(udid);
    if (found != devices.end()) {
        return found->second;
    }
    auto *device = new SimDeviceObject;
    device->udid = udid;
    device->path = path + QLatin1Char('/') + udid;
    device->profiles = profiles;
    devices.emplace(udid, device);
    return device;
}

void SimDeviceSetObject::dispatchStateChange(const QString &udid, int state)
{
    SimDeviceObject *device = deviceObject(udid);
    std::map<uint64_t, Handler> current;
    {
        std::lock_guard lock(mutex);
        current = handlers;
        ++dispatching;
        dispatchThread = std::this_thread::get_id();
    }
    SimNotification notification{"device_state", device, 1, state};
    for (const auto &[registration, handler] : current) {
        {
            // Skip handlers unregistered while earlier ones ran.
            std::lock_guard lock(mutex);
            if (!handlers.count(registration)) {
                continue;
            }
        }
        handler.function(&notification, handler.context);
    }
    {
        std::lock_guard lock(mutex);
        --dispatching;
        dispatchThread = std::thread::id();
    }
    idle.notify_all();
}

namespace SimObjects {

QString loadedDeveloperDirectory()
{
    Dl_info self{};
    if (!dladdr(reinterpret_cast<const void *>(&SimDeviceSet), &self) || !self.dli_fname) {
        return QString();
    }
    return XcodeLayout::developerDirectoryOfCoreSimulatorBinary(QFile::decodeName(self.dli_fname));
}

SimDeviceSetObject *defaultSetFor(const QString &setPath)
{
    LibraryState &state = libraryState();
    std::lock_guard lock(state.mutex);
    if (!state.profiles) {
        state.profiles =
            std::make_shared<const XcodeProfiles>(XcodeProfiles::load(loadedDeveloperDirectory()));
    }
    auto found = state.sets.find(setPath);
    if (found == state.sets.end()) {
        auto *set = new SimDeviceSetObject;
        set->path = setPath;
        set->profiles = state.profiles;
        found = state.sets.emplace(setPath, set).first;
    }
    found->second->references.fetch_add(1);
    return found->second;
}

int64_t outstandingReferences()
{
    LibraryState &state = libraryState();
    std::lock_guard lock(state.mutex);
    int64_t outstanding = 0;
    for (const auto &[path, set] : state.sets) {
        outstanding += set->references.load() - 1;
        std::lock_guard setLock(set->mutex);
        for (const auto &[udid, device] : set->devices) {
            outstanding += device->references.load() - 1;
        }
    }
    return outstanding;
}

char *copyText(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    char *copy = static_cast<char *>(std::malloc(size_t(utf8.size()) + 1));
    if (copy) {
        std::memcpy(copy, utf8.constData(), size_t(utf8.size()) + 1);
    }
    return copy;
}

} // namespace SimObjects
