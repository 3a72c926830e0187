// Turns the simulator frameworks' device set into the system's model: every
// available device with its installed apps (read from the device's folders on
// disk), device-state notifications as change updates, and the four device
// and app actions.
//
// Thread: the object is used from one thread at a time (the service's main
// thread); the notification handler runs on the framework's thread.
#pragma once

#include "iphonesimulator.h"
#include "Marrowsim/marrowsim_export.h"

#include "Marrowkit/model/simulatordevice.h"
#include "Marrowkit/model/simulatorupdate.h"

#include <QUrl>
#include <QVariantMap>

#include <functional>
#include <memory>

class MARROWSIM_TESTABLE DeveloperToolsInteraction
{
public:
    using UpdateHandler = std::function<void(const std::shared_ptr<SimulatorUpdate> &)>;

    // `path` is the selected Xcode's developer folder.
    explicit DeveloperToolsInteraction(const QString &path);

    bool didLoadFrameworks() const { return m_didLoadFrameworks; }
    void setDidLoadFrameworks(bool loaded) { m_didLoadFrameworks = loaded; }

    QList<std::shared_ptr<SimulatorDevice>> availableDevices();
    static std::optional<QVariantMap> infoPlistForAppBundleAtURL(const QUrl &url);
    static QString localizedAppNameForAppAtURL(const QUrl &url, const QVariantMap &info);
    // Replaces the handler of an earlier call; the handler is never called
    // once this object is gone or the frameworks were loaded again.
    void registerNotificationHandler(UpdateHandler handler);

    bool launchApp(const SimulatorApp &app);
    bool uninstallApp(const SimulatorApp &app);
    bool resetContentsAndSettingsOfDevice(const SimulatorDevice &device);
    bool addPhoto(const QUrl &url, const SimulatorDevice &device);

    // The localizations tried for app names, most preferred first.
    static QStringList preferredLocalizations();

private:
    QList<std::shared_ptr<SimulatorApp>> installedAppsForDevice(const SimDeviceHandle &device);
    std::optional<QVariantMap> appDataItemsForDevice(const SimDeviceHandle &device);
    static std::optional<QVariantMap>
    applicationDictionaryForContainerURL(const QUrl &containerURL, const QVariantMap &dataItems);
    SimDeviceHandle deviceObjectFor(const QString &uuid);

    iPhoneSimulator m_simulator;
    bool m_didLoadFrameworks = false;
    NotificationRegistration m_notifications; // ends first, before the bridge
};
