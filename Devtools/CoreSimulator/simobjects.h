// The objects behind the opaque handles of coresimulator.h.
//
// A device set belongs to one HOME's device set folder and to the developer
// folder the library was loaded from. Its device objects are cached by UDID
// so that a notification names the same object the caller listed. The
// library keeps one reference of its own to every object (the set's cache
// holds the devices', the library the sets'), so objects live until the
// library is unloaded; `references` above one are the callers'. Locking:
// `mutex` guards `devices`, `handlers` and the watcher's start; handlers are
// called on the watcher's thread without the mutex held (`dispatching` lets
// an unregistration wait for a call in progress).
#pragma once

#include "coresimulator.h"
#include "devicesetwatcher.h"
#include "xcodeprofiles.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

struct SimDeviceObject
{
    std::atomic<int> references{1};
    QString udid;
    QString path;
    std::shared_ptr<const XcodeProfiles> profiles;
};

struct SimDeviceSetObject
{
    struct Handler
    {
        SimNotificationHandler function = nullptr;
        void *context = nullptr;
    };

    std::atomic<int> references{1};
    QString path;
    std::shared_ptr<const XcodeProfiles> profiles;

    std::mutex mutex;
    std::condition_variable idle;
    std::map<QString, SimDeviceObject *> devices; // each holds one reference
    std::map<uint64_t, Handler> handlers;
    uint64_t nextRegistration = 1;
    int dispatching = 0;
    std::thread::id dispatchThread;
    std::unique_ptr<DeviceSetWatcher> watcher;

    // The cached object for a UDID, made on first use; borrowed.
    SimDeviceObject *deviceObject(const QString &udid);
    void dispatchStateChange(const QString &udid, int state);
};

namespace SimObjects {

// The developer folder this library was loaded from (found with dladdr).
QString loadedDeveloperDirectory();
// The default set of the current HOME (one per HOME for the library's life).
SimDeviceSetObject *defaultSetFor(const QString &setPath);
char *copyText(const QString &text);
// Callers' references over every object (references beyond the library's
// own one); see coresimulatoraudit.h.
int64_t outstandingReferences();

} // namespace SimObjects
