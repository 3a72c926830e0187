// A notification handler registered with a device set of the simulator
// framework, for as long as the registration object lives. Ending it (or
// destroying it) guarantees that the handler is not running on any other
// thread and is never called again; ended from inside the handler itself,
// only the latter. So a handler may refer to its owner's state as long as
// the owner holds the registration.
//
// Threads: the framework calls handlers on a thread of its own; a
// registration may be ended from any thread, but not while holding anything
// the handler waits for. The registrations of the process are kept in one
// table behind a mutex, which is never held while calling the framework or a
// handler.
#pragma once

#include "Marrowsim/marrowsim_export.h"

#include "simdevicehandle.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

// One device-set notification, as the framework delivered it.
struct SimulatorNotification
{
    std::optional<QString> notification;
    SimDeviceHandle device; // null when the notification names no device
    std::optional<qint64> newState;
};

class MARROWSIM_TESTABLE NotificationRegistration
{
public:
    using Handler = std::function<void(const SimulatorNotification &)>;

    // Registers nothing.
    NotificationRegistration() = default;
    // Registers `handler` with `set`. The classes are those of the framework
    // that made the set; they are used for the life of the registration,
    // also after the framework was unloaded (its code stays mapped), so that
    // a notification never meets a device class that is gone.
    static NotificationRegistration start(const SimDeviceSetClass *setClass,
                                          SimDeviceSetObject *set,
                                          const SimDeviceClass *deviceClass, Handler handler);
    // Ends every registration of the process: the frameworks they were made
    // with are being unloaded.
    static void endAll();

    ~NotificationRegistration();
    NotificationRegistration(NotificationRegistration &&other) noexcept;
    // Ends this registration first, then takes the other's.
    NotificationRegistration &operator=(NotificationRegistration &&other) noexcept;
    NotificationRegistration(const NotificationRegistration &) = delete;
    NotificationRegistration &operator=(const NotificationRegistration &) = delete;

    void end();
    // False once ended, by end() or by endAll().
    bool isActive() const;

private:
    explicit NotificationRegistration(std::uint64_t id) : m_id(id) {}

    std::uint64_t m_id = 0; // 0: none; never reused
};
