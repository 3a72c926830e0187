/*
 * The device-set interface of the developer tools' simulator framework, as the
 * stand-in library CoreSimulator.framework/CoreSimulator offers it. Callers
 * dlopen() that library and dlsym() one table per class by the class's name:
 * "SimDeviceSet" (a SimDeviceSetClass) and "SimDevice" (a SimDeviceClass).
 * This header is the whole contract; nothing else of the stand-in is linked.
 *
 * Objects are reference counted. Every function that returns an object or an
 * array of objects hands the caller one reference to each (release them with
 * SimDevice.release / SimDeviceSet.release); texts returned through `char **`
 * or as `char *` are the caller's to free with CoreSimulatorFree(). Error
 * slots follow the same rule: on failure a function stores a message there
 * (when the slot is not NULL) and returns 0 / NULL.
 *
 * All functions are safe to call from any thread.
 */
#ifndef MARROWBY_CORESIMULATOR_H
#define MARROWBY_CORESIMULATOR_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define SIM_CORESIMULATOR_INTERFACE_VERSION 1

typedef struct SimDeviceSetObject SimDeviceSetObject;
typedef struct SimDeviceObject SimDeviceObject;

/* A device-set notification: the dictionary
 *   {"notification": "device_state", "device": <device>, "new_state": <n>}
 * `device` is NULL and `has_new_state` 0 when the entry is missing. The device
 * reference is only borrowed for the duration of the call (retain it to keep it). */
typedef struct SimNotification
{
    const char *notification;
    SimDeviceObject *device;
    int has_new_state;
    int64_t new_state;
} SimNotification;

typedef void (*SimNotificationHandler)(const SimNotification *notification, void *context);

typedef struct SimDeviceSetClass
{
    int interfaceVersion; /* SIM_CORESIMULATOR_INTERFACE_VERSION */
    /* The default set: ~/Library/Developer/CoreSimulator/Devices of the
     * current HOME, filtered by the developer folder this library was loaded
     * from. Never NULL once the library is loaded. */
    SimDeviceSetObject *(*defaultSet)(void);
    void (*retain)(SimDeviceSetObject *set);
    void (*release)(SimDeviceSetObject *set);
    /* The devices whose runtime and device type the loaded developer folder
     * has, in no particular order. Returns the count; *devices is a malloc'ed
     * array (free it with CoreSimulatorFree after releasing each device). */
    size_t (*availableDevices)(SimDeviceSetObject *set, SimDeviceObject ***devices);
    /* Every device of the set, available or not, by UDID (upper-case text). */
    size_t (*devicesByUDID)(SimDeviceSetObject *set, char ***udids, SimDeviceObject ***devices);
    /* Calls `handler` on a thread of the library's own whenever a device's
     * state changes on disk, whoever changed it. Returns a registration id
     * (> 0), or 0 on failure. */
    uint64_t (*registerNotificationHandler)(SimDeviceSetObject *set, SimNotificationHandler handler,
                                            void *context);
    void (*unregisterNotificationHandler)(SimDeviceSetObject *set, uint64_t registration);
} SimDeviceSetClass;

typedef struct SimDeviceClass
{
    int interfaceVersion;
    void (*retain)(SimDeviceObject *device);
    void (*release)(SimDeviceObject *device);
    /* Whether the device answers the named message ("UDID", "name", ...). */
    int (*respondsToSelector)(SimDeviceObject *device, const char *selector);
    char *(*UDID)(SimDeviceObject *device); /* upper-case UUID text */
    char *(*name)(SimDeviceObject *device);
    int64_t (*state)(SimDeviceObject *device);        /* 0 Creating .. 4 ShuttingDown, -1 unknown */
    char *(*deviceTypeName)(SimDeviceObject *device); /* "iPhone 6", NULL if unknown */
    char *(*runtimeVersionString)(SimDeviceObject *device);      /* "9.0", NULL if unknown */
    char *(*runtimeBuildVersionString)(SimDeviceObject *device); /* "13A340", NULL if unknown */
    char *(*dataPath)(SimDeviceObject *device);                  /* <devicePath>/data */
    char *(*devicePath)(SimDeviceObject *device); /* the device's folder in the set */
    int (*uninstallApplication)(SimDeviceObject *device, const char *bundleIdentifier,
                                const void *options, char **error);
    int (*launchApplicationWithID)(SimDeviceObject *device, const char *bundleIdentifier,
                                   const void *options, char **error);
    int (*addPhoto)(SimDeviceObject *device, const char *path, char **error);
} SimDeviceClass;

/* Exported by the library under the class names. */
extern const SimDeviceSetClass SimDeviceSet;
extern const SimDeviceClass SimDevice;

/* Frees texts and arrays the library returned. */
void CoreSimulatorFree(void *pointer);

#ifdef __cplusplus
}
#endif

#endif
