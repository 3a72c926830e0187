// Feeds the volume without the service: reads the selected developer tools'
// device set through the simulator control library, publishes it as the
// volume's catalogue, reads it again when a device changes state, and carries
// out the volume's uninstalls and deletions itself. For desktops and scripts
// that run the volume alone (marrowby-cli mount).
//
// Threads: owned by the main thread; the controller is used only there. The
// volume's actions and the control library's updates arrive on their own
// threads and are queued to the main thread.
#pragma once

#include "cataloguesource.h"
#include "marrowfsactions.h"

#include "Marrowsim/marrowsimcontroller.h"

#include <QObject>

#include <memory>

class DeviceSetFeed : public QObject, public MarrowfsActions
{
public:
    // `developerFolder` is the selected Xcode's Contents/Developer.
    explicit DeviceSetFeed(const QString &developerFolder);

    bool isReady() const { return m_controller->didLoadFrameworks(); }
    CatalogueSource &catalogue() { return m_catalogue; }
    void rescan();

    void uninstallApp(const SimulatorAppPtr &app) override;
    void deleteDevice(const SimulatorDevicePtr &device) override;
    void showAlert(const QString &message) override;

private:
    std::unique_ptr<MarrowsimController> m_controller;
    CatalogueSource m_catalogue;
};
