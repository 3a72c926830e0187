// The simulator control library's entry point for the service: one controller
// per selected developer folder, forwarding to DeveloperToolsInteraction.
//
// Thread: as DeveloperToolsInteraction.
#pragma once

#include "developertoolsinteraction.h"

class MarrowsimController
{
public:
    explicit MarrowsimController(const QString &path) : m_dti(path) {}

    QList<std::shared_ptr<SimulatorDevice>> availableDevices() { return m_dti.availableDevices(); }
    void registerNotificationHandler(DeveloperToolsInteraction::UpdateHandler handler)
    {
        m_dti.registerNotificationHandler(std::move(handler));
    }
    bool launchApp(const SimulatorApp &app) { return m_dti.launchApp(app); }
    bool uninstallApp(const SimulatorApp &app) { return m_dti.uninstallApp(app); }
    bool resetContentsAndSettingsOfDevice(const SimulatorDevice &device)
    {
        return m_dti.resetContentsAndSettingsOfDevice(device);
    }
    bool addPhoto(const QUrl &url, const SimulatorDevice &device)
    {
        return m_dti.addPhoto(url, device);
    }

    DeveloperToolsInteraction &dti() { return m_dti; }

private:
    DeveloperToolsInteraction m_dti;
};
