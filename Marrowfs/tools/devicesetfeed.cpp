// The device set as the volume's catalogue, read in this process.
#include "devicesetfeed.h"

#include "Marrowkit/foundation/log.h"
#include "Marrowkit/platform/bundle.h"

#include <QMetaObject>
#include <QProcess>

#include <cstdio>

DeviceSetFeed::DeviceSetFeed(const QString &developerFolder)
    : m_controller(std::make_unique<MarrowsimController>(developerFolder))
{
    m_controller->registerNotificationHandler([this](const std::shared_ptr<SimulatorUpdate> &) {
        QMetaObject::invokeMethod(
            this, [this] { rescan(); }, Qt::QueuedConnection);
    });
    rescan();
}

void DeviceSetFeed::rescan()
{
    m_catalogue.replace(CatalogueSnapshot::fromDevices(m_controller->availableDevices()));
}

void DeviceSetFeed::uninstallApp(const SimulatorAppPtr &app)
{
    QMetaObject::invokeMethod(
        this,
        [this, app] {
            m_controller->uninstallApp(*app);
            rescan();
        },
        Qt::QueuedConnection);
}

void DeviceSetFeed::deleteDevice(const SimulatorDevicePtr &device)
{
    const QString uuid = device->uuid();
    QMetaObject::invokeMethod(
        this,
        [this, uuid] {
            QProcess::execute(developerToolPath(QStringLiteral("xcrun")),
                              {QStringLiteral("simctl"), QStringLiteral("delete"), uuid});
            rescan();
        },
        Qt::QueuedConnection);
}

void DeviceSetFeed::showAlert(const QString &message)
{
    static_cast<void>(std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData()));
}
