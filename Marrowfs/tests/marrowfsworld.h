// The fixture every volume test starts from: the stand-in's sample world in a
// temporary HOME, scanned by the simulator control library and published as
// the volume's catalogue, and an actions sink that records what the volume
// asked for and carries it out with the stand-in's real tools.
#pragma once

#include "cataloguesource.h"
#include "marrowfsactions.h"

#include "Marrowsim/marrowsimcontroller.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <memory>
#include <mutex>

// Called on the volume's removal thread while a test polls on its own; the
// controller is used by one thread at a time under m_mutex.
class RecordingActions : public MarrowfsActions
{
public:
    void setController(MarrowsimController *controller);
    void uninstallApp(const SimulatorAppPtr &app) override;
    void deleteDevice(const SimulatorDevicePtr &device) override;
    void showAlert(const QString &message) override;
    // "uninstall <bundle id> <device uuid>", "delete <uuid>", "alert <text>".
    QStringList recorded() const;
    // The controller's current device list, taken under the same lock.
    QList<SimulatorDevicePtr> scan();

private:
    mutable std::mutex m_mutex;
    MarrowsimController *m_controller = nullptr;
    QStringList m_recorded;
};

class MarrowfsWorld : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Scans the device set again and publishes what it finds.
    void rescan();
    QList<SimulatorDevicePtr> scan();
    // The folder name the catalogue gives a device and an app of it; empty
    // when not in the catalogue.
    QString deviceFolder(const QString &deviceName) const;
    SimulatorDevicePtr deviceWithApp(const QString &appName) const;
    SimulatorAppPtr appNamed(const SimulatorDevicePtr &device, const QString &name) const;
    QString appFolderPath(const QString &appName) const;

    testsupport::TemporaryHome m_home;
    std::unique_ptr<MarrowsimController> m_controller;
    CatalogueSource m_catalogue;
    RecordingActions m_actions;
};
