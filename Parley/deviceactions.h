// What the service does for each device and app action, on objects already
// found in its catalogue: through the simulator control library, the
// developer tools' programs, the Trash and the clipboard. Outcomes the user
// must see become user notifications; nothing else is reported.
//
// Threads: every action runs to its end on the queue of the client that asked
// for it, waiting for the programs it runs; the object holds no state of its
// own beyond what it was made with, which is safe to share.
#pragma once

#include "simulatorcontrol.h"
#include "usernotifier.h"

#include "Marrowkit/model/simulatorapp.h"
#include "Marrowkit/model/simulatordevice.h"

#include <QByteArray>
#include <QUrl>

#include <optional>

class DeviceActions
{
public:
    DeviceActions(SimulatorControlPtr control, UserNotifier notifier)
        : m_control(std::move(control)), m_notifier(std::move(notifier))
    {}

    void launchApp(const SimulatorApp &app) const;
    // Empties Documents, Library and tmp into the Trash; always notifies.
    void resetApp(const SimulatorApp &app) const;
    // Always notifies (failure too when there is no controller).
    void uninstallApp(const SimulatorApp &app) const;
    void eraseDevice(const SimulatorDevice &device) const;
    void addPhoto(const QUrl &url, const SimulatorDevice &device) const;
    void quitSimulator() const;
    void launchSimulator(const SimulatorDevice &device, bool hidden) const;
    // `booted` is the device's state now, which may be newer than the scan's.
    void deleteDevice(const SimulatorDevice &device, bool booted) const;
    // Notifies only when the clipboard took the path.
    void copyPathOfApp(const SimulatorApp &app) const;
    void copyPathOfDevice(const SimulatorDevice &device) const;

    // The archive of the list of the app's app-group folders; nothing when
    // the app has no app-group list.
    static std::optional<QByteArray> appGroupFolders(const SimulatorApp &app);
    // The archive of one app-group folder; nothing when none is found.
    static std::optional<QByteArray> appGroupFolder(const QString &group, const SimulatorApp &app);

private:
    void copyPath(const QString &path, const QString &name) const;

    SimulatorControlPtr m_control;
    UserNotifier m_notifier;
};
