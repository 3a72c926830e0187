// The bridge to the developer tools' simulator frameworks: loads them from a
// developer folder at run time (they are never linked), unloads them, and
// wraps the device set's and devices' messages, turning error results into
// flags and system-log lines.
//
// No state of its own: the loaded frameworks are process-wide (see
// FrameworkLoader), so any thread may call it. Notification handlers run on
// the framework's own thread, for as long as the registration that
// registerNotificationHandlerOnDefaultDeviceSet answers lives, and at most
// until the frameworks are unloaded (or loaded again).
#pragma once

#include "Marrowsim/marrowsim_export.h"

#include "notificationregistration.h"
#include "simdevicehandle.h"

#include <QHash>
#include <QList>
#include <QUrl>
#include <QUuid>

#include <functional>

class MARROWSIM_TESTABLE iPhoneSimulator
{
public:
    using NotificationHandler = NotificationRegistration::Handler;

    // Also ends every notification registration made with them.
    void unloadSimulatorFrameworks();
    bool loadSimulatorFrameworkAtPath(const QString &developerDirectory);

    QString versionStringForDevice(const SimDeviceHandle &device, bool detailed);
    QString typeForDevice(const SimDeviceHandle &device);
    std::optional<quint64> stateForDevice(const SimDeviceHandle &device);

    // An inactive registration when the frameworks are not loaded.
    [[nodiscard]] NotificationRegistration
    registerNotificationHandlerOnDefaultDeviceSet(NotificationHandler handler);

    bool uninstallApp(const QString &bundleIdentifier, const SimDeviceHandle &device);
    QHash<QUuid, SimDeviceHandle> availableDevicesByUDID();
    QList<SimDeviceHandle> availableDevices();
    bool addPhoto(const QUrl &url, const SimDeviceHandle &device);
    bool launchApp(const QString &bundleIdentifier, const SimDeviceHandle &device);
    bool resetContentsAndSettingsForDevice(const SimDeviceHandle &device);

    // The framework bundles, by identifier, in load order.
    static const QStringList &frameworkIdentifiers();
};
