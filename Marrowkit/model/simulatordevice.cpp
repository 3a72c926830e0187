#include "Marrowkit/model/simulatordevice.h"

#include "Marrowkit/foundation/describe.h"
#include "Marrowkit/model/simulatorapp.h"

#include <QTextBoundaryFinder>

namespace {

// The first `count` user-perceived characters of `text`, or all of it.
QString leadingCharacters(const QString &text, int count)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    for (int i = 0; i < count; ++i) {
        if (finder.toNextBoundary() < 0) {
            return text;
        }
    }
    return text.left(finder.position());
}

} // namespace

SimulatorDevicePtr SimulatorDevice::create(const QString &uuid, const QString &name,
                                           const QList<SimulatorAppPtr> &apps,
                                           const QString &version, const QString &type, int state)
{
    auto device = std::make_shared<SimulatorDevice>(
        Token(), uuid, name, apps, version,
        deviceTypeFromRawValue(type).value_or(DeviceType::Unknown),
        deviceStateFromRawValue(state).value_or(DeviceState::Shutdown));
    for (const SimulatorAppPtr &app : device->m_apps) {
        if (app) {
            app->setDevice(device);
        }
    }
    return device;
}

SimulatorDevice::SimulatorDevice(Token, const QString &uuid, QString name,
                                 QList<SimulatorAppPtr> apps, QString version, DeviceType type,
                                 DeviceState state)
    : SimulatorItem(uuid), m_name(std::move(name)), m_version(std::move(version)),
      m_deviceType(type), m_deviceState(state), m_apps(std::move(apps))
{}

QString SimulatorDevice::longName() const
{
    return QStringLiteral("%1 (%2) (%3)").arg(m_name, m_version, leadingCharacters(uuid(), 8));
}

std::optional<QUrl> SimulatorDevice::applicationsURL() const
{
    if (!m_containerURL) {
        return std::nullopt;
    }
    QUrl url = *m_containerURL;
    QString path = url.path();
    for (const char *component : {"data", "Containers", "Bundle", "Application"}) {
        if (!path.endsWith(QLatin1Char('/'))) {
            path += QLatin1Char('/');
        }
        path += QLatin1String(component);
    }
    url.setPath(path);
    return url;
}

QString SimulatorDevice::description() const
{
    return m_name + QLatin1Char(' ') + uuid() + QStringLiteral(": ") + describe(m_apps) +
           QLatin1Char('\n');
}

SimulatorDevicePtr NullDevice()
{
    static const SimulatorDevicePtr device = SimulatorDevice::create(
        QStringLiteral("FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF"), QStringLiteral("NullDevice"), {});
    return device;
}
