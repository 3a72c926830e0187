// The sample world as a published catalogue, and actions run for real.
#include "marrowfsworld.h"

#include "devtoolsworld.h"

#include "Marrowkit/model/simulatorapp.h"

#include <QDir>

void RecordingActions::setController(MarrowsimController *controller)
{
    std::lock_guard lock(m_mutex);
    m_controller = controller;
}

void RecordingActions::uninstallApp(const SimulatorAppPtr &app)
{
    std::lock_guard lock(m_mutex);
    const auto device = app->device();
    m_recorded.append(QStringLiteral("uninstall ") + app->bundleIdentifier() + QLatin1Char(' ') +
                      (device ? device->uuid() : QString()));
    if (m_controller) {
        m_controller->uninstallApp(*app);
    }
}

void RecordingActions::deleteDevice(const SimulatorDevicePtr &device)
{
    std::lock_guard lock(m_mutex);
    m_recorded.append(QStringLiteral("delete ") + device->uuid());
    devtoolsworld::run(QStringLiteral("xcrun"),
                       {QStringLiteral("simctl"), QStringLiteral("delete"), device->uuid()});
}

void RecordingActions::showAlert(const QString &message)
{
    std::lock_guard lock(m_mutex);
    m_recorded.append(QStringLiteral("alert ") + message);
}

QStringList RecordingActions::recorded() const
{
    std::lock_guard lock(m_mutex);
    return m_recorded;
}

void MarrowfsWorld::SetUp()
{
    const ToolRun world =
        devtoolsworld::run(QStringLiteral("devtools"), {QStringLiteral("sample-world")});
    ASSERT_EQ(world.status, 0) << world.err.toStdString();
    m_controller = std::make_unique<MarrowsimController>(
        QDir::homePath() + QStringLiteral("/Applications/Xcode.app/Contents/Developer"));
    ASSERT_TRUE(m_controller->didLoadFrameworks());
    m_actions.setController(m_controller.get());
    rescan();
}

void MarrowfsWorld::TearDown()
{
    m_actions.setController(nullptr);
}

QList<SimulatorDevicePtr> RecordingActions::scan()
{
    std::lock_guard lock(m_mutex);
    return m_controller ? m_controller->availableDevices() : QList<SimulatorDevicePtr>();
}

QList<SimulatorDevicePtr> MarrowfsWorld::scan()
{
    return m_actions.scan();
}

void MarrowfsWorld::rescan()
{
    m_catalogue.replace(CatalogueSnapshot::fromDevices(scan()));
}

QString MarrowfsWorld::deviceFolder(const QString &deviceName) const
{
    for (const auto &[device, name] : m_catalogue.snapshot()->deviceNames) {
        if (device->name() == deviceName) {
            return name;
        }
    }
    return {};
}

SimulatorDevicePtr MarrowfsWorld::deviceWithApp(const QString &appName) const
{
    for (const auto &[device, name] : m_catalogue.snapshot()->deviceNames) {
        if (appNamed(device, appName)) {
            return device;
        }
    }
    return nullptr;
}

SimulatorAppPtr MarrowfsWorld::appNamed(const SimulatorDevicePtr &device, const QString &name) const
{
    for (const auto &[app, appName] : m_catalogue.snapshot()->appNames.value(device->uuid())) {
        if (appName == name) {
            return app;
        }
    }
    return nullptr;
}

QString MarrowfsWorld::appFolderPath(const QString &appName) const
{
    const SimulatorDevicePtr device = deviceWithApp(appName);
    if (!device) {
        return {};
    }
    for (const auto &[candidate, name] : m_catalogue.snapshot()->deviceNames) {
        if (candidate == device) {
            return QLatin1Char('/') + name + QLatin1Char('/') + appName;
        }
    }
    return {};
}
