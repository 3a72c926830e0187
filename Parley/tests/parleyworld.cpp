#include "parleyworld.h"

#include "Marrowkit/Connection/parleycontract.h"
#include "Marrowkit/model/simulatorapp.h"
#include "Marrowkit/model/simulatorcoding.h"

#include <QProcess>

using namespace devtoolsworld;
using testsupport::waitFor;

void ParleyWorld::SetUp()
{
    m_home = std::make_unique<testsupport::TemporaryHome>();
    const ToolRun world = run(QStringLiteral("devtools"), {QStringLiteral("sample-world")});
    ASSERT_EQ(world.status, 0) << world.err.toStdString();
    m_bus = std::make_unique<testsupport::PrivateBus>();
    ASSERT_TRUE(m_bus->isRunning());
    m_notifications =
        std::make_unique<NotificationRecorder>(m_bus->connect(QStringLiteral("notifications")));
}

void ParleyWorld::TearDown()
{
    m_clients.clear();
    m_notifications.reset();
    m_bus.reset();
    m_home.reset();
}

RecordingClient &ParleyWorld::newClient()
{
    const QString name = QStringLiteral("client-%1").arg(m_clients.size());
    m_clients.push_back(std::make_unique<RecordingClient>(m_bus->connect(name)));
    return *m_clients.back();
}

QList<SimulatorDevicePtr> ParleyWorld::requestCatalogue(RecordingClient &client)
{
    const qsizetype before = client.catalogues.size();
    auto reply = client.inspector().requestSimulatorDevicesContainingAppsAtURL(anyURL);
    reply.waitForFinished();
    EXPECT_FALSE(reply.isError()) << reply.error().message().toStdString();
    EXPECT_TRUE(waitFor([&] { return client.catalogues.size() > before; }));
    return latestCatalogue(client);
}

QList<SimulatorDevicePtr> ParleyWorld::latestCatalogue(const RecordingClient &client)
{
    if (client.catalogues.isEmpty()) {
        return {};
    }
    return SimulatorCoding::devicesFromArchive(client.catalogues.constLast())
        .value()
        .value_or(QList<SimulatorDevicePtr>());
}

SimulatorDevicePtr ParleyWorld::deviceNamed(const QList<SimulatorDevicePtr> &devices,
                                            const QString &name)
{
    for (const auto &device : devices) {
        if (device->name() == name) {
            return device;
        }
    }
    return nullptr;
}

SimulatorAppPtr ParleyWorld::appNamed(const SimulatorDevicePtr &device, const QString &name)
{
    for (const auto &app : device ? device->apps() : QList<SimulatorAppPtr>()) {
        if (app->name() == name) {
            return app;
        }
    }
    return nullptr;
}

uint ParleyWorld::servicePid()
{
    return m_bus->ownerProcess(ParleyContract::serviceName());
}

bool ParleyWorld::hasNotification(const QString &title, const QString &text) const
{
    return m_notifications->notifications.contains(std::make_pair(title, text));
}

bool ParleyWorld::simulatorRunning(const QString &application) const
{
    QProcess ps;
    ps.start(QStringLiteral("/bin/ps"), {QStringLiteral("-eo"), QStringLiteral("args")});
    ps.waitForFinished();
    const QString marker = m_home->path() + QStringLiteral("/Applications/");
    const QString program = QLatin1Char('/') + application + QStringLiteral(".app/Contents/MacOS/");
    for (const QString &line :
         QString::fromLocal8Bit(ps.readAllStandardOutput()).split(QLatin1Char('\n'))) {
        if (line.contains(marker) && line.contains(program)) {
            return true;
        }
    }
    return false;
}
