#include "Marrowsim/marrowsimcontroller.h"

#include "developertoolsinteraction.h"

MarrowsimController::MarrowsimController(const QString &path)
    : m_dti(std::make_unique<DeveloperToolsInteraction>(path))
{}

MarrowsimController::~MarrowsimController() = default;

bool MarrowsimController::didLoadFrameworks() const
{
    return m_dti->didLoadFrameworks();
}

QList<std::shared_ptr<SimulatorDevice>> MarrowsimController::availableDevices()
{
    return m_dti->availableDevices();
}

void MarrowsimController::registerNotificationHandler(UpdateHandler handler)
{
    m_dti->registerNotificationHandler(std::move(handler));
}

bool MarrowsimController::launchApp(const SimulatorApp &app)
{
    return m_dti->launchApp(app);
}

bool MarrowsimController::uninstallApp(const SimulatorApp &app)
{
    return m_dti->uninstallApp(app);
}

bool MarrowsimController::resetContentsAndSettingsOfDevice(const SimulatorDevice &device)
{
    return m_dti->resetContentsAndSettingsOfDevice(device);
}

bool MarrowsimController::addPhoto(const QUrl &url, const SimulatorDevice &device)
{
    return m_dti->addPhoto(url, device);
}
