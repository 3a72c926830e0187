// The simulator control library's one public entry point: a controller per
// selected developer folder that lists every available device with its apps,
// reports device-state changes as updates, and carries out the device and app
// actions. Everything behind it (the framework bridge, the device set reader)
// is internal to the library.
//
// Thread: used from one thread at a time (the service's main thread); the
// update handler runs on the framework's own thread.
#pragma once

#include "Marrowsim/marrowsim_export.h"

#include "Marrowkit/model/simulatordevice.h"
#include "Marrowkit/model/simulatorupdate.h"

#include <QList>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

class DeveloperToolsInteraction;

class MARROWSIM_EXPORT MarrowsimController
{
public:
    using UpdateHandler = std::function<void(const std::shared_ptr<SimulatorUpdate> &)>;

    // `path` is the selected Xcode's developer folder; its frameworks are
    // loaded here, once per process.
    explicit MarrowsimController(const QString &path);
    ~MarrowsimController();
    MarrowsimController(const MarrowsimController &) = delete;
    MarrowsimController &operator=(const MarrowsimController &) = delete;

    // Whether the developer folder's simulator frameworks could be loaded;
    // without them there are no devices and every action answers false.
    bool didLoadFrameworks() const;

    QList<std::shared_ptr<SimulatorDevice>> availableDevices();
    // Replaces the handler of an earlier call. The handler ends with the
    // controller, or earlier when another controller loads the frameworks:
    // once either has happened it is not running and is never called again.
    // So it must not wait for the thread that destroys the controller.
    void registerNotificationHandler(UpdateHandler handler);

    bool launchApp(const SimulatorApp &app);
    bool uninstallApp(const SimulatorApp &app);
    bool resetContentsAndSettingsOfDevice(const SimulatorDevice &device);
    bool addPhoto(const QUrl &url, const SimulatorDevice &device);

private:
    std::unique_ptr<DeveloperToolsInteraction> m_dti;
};
