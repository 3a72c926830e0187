// An app installed on a simulated device. Only what devices need of it so
// far: its uuid (the name of its data folder), a name for display, and a weak
// reference back to the device that holds it. The rest of the app model comes
// with the apps work.
//
// Threads: not synchronised; owned like its device.
#pragma once

#include "Marrowkit/simulatoritem.h"

#include <memory>

class SimulatorDevice;

class SimulatorApp : public SimulatorItem
{
public:
    explicit SimulatorApp(QString uuid, QString name = {}, QString versionDescription = {});

    // The device that holds the app; empty once that device is gone.
    std::shared_ptr<SimulatorDevice> device() const { return m_device.lock(); }
    void setDevice(const std::shared_ptr<SimulatorDevice> &device) { m_device = device; }

    const QString &name() const { return m_name; }
    void setName(const QString &name) { m_name = name; }
    const QString &versionDescription() const { return m_versionDescription; }

    // uuid + ": " + name + ".app (" + versionDescription + ")".
    QString description() const override;
    // Only another app with the same uuid.
    bool isEqual(const SimulatorItem &other) const override;

private:
    QString m_name;
    QString m_versionDescription;
    std::weak_ptr<SimulatorDevice> m_device;
};

using SimulatorAppPtr = std::shared_ptr<SimulatorApp>;
