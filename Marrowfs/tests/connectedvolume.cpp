// Mounting the connector-fed volume around each test.
#include "connectedvolume.h"

#include <QDir>
#include <QProcess>

void ConnectedVolume::SetUp()
{
    QString reason;
    if (!MarrowfsController::isFuseAvailable(&reason)) {
        GTEST_SKIP() << "FUSE cannot be used here: " << reason.toStdString();
    }
    ConnectorWorld::SetUp();
    if (HasFatalFailure()) {
        return;
    }
    WatchedConnector &watched = newConnector();
    ASSERT_TRUE(waitForCatalogue(watched));
    m_connector = watched.connector.get();
    m_feed = std::make_unique<ConnectorFeed>(*m_connector, &m_presenter);
    m_volume = std::make_unique<MarrowfsController>(
        m_feed->catalogue(), *m_feed, m_mountParent.path() + QStringLiteral("/Marrowby"),
        &m_opener);
    ASSERT_TRUE(m_volume->start());
}

void ConnectedVolume::TearDown()
{
    if (m_volume) {
        m_volume->stop();
        m_volume.reset();
    }
    m_feed.reset();
    ConnectorWorld::TearDown();
}

QString ConnectedVolume::onMount(const QString &virtualPath) const
{
    return m_volume->mountPath() + virtualPath;
}

QStringList ConnectedVolume::listed(const QString &virtualPath) const
{
    QStringList names = QDir(onMount(virtualPath))
                            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    names.sort();
    return names;
}

SimulatorDevicePtr ConnectedVolume::device(const QString &name) const
{
    return deviceNamed(m_connector->devices().value_or(QList<SimulatorDevicePtr>()), name);
}

SimulatorAppPtr ConnectedVolume::app(const QString &deviceName, const QString &appName) const
{
    return appNamed(device(deviceName), appName);
}

QString ConnectedVolume::deviceFolder(const QString &deviceName) const
{
    const SimulatorDevicePtr found = device(deviceName);
    const auto names = m_connector->deviceNameMap();
    if (!found || !names || !names->contains(found->uuid())) {
        return {};
    }
    return QLatin1Char('/') + names->value(found->uuid());
}

QString ConnectedVolume::appFolder(const QString &deviceName, const QString &appName) const
{
    const SimulatorDevicePtr found = device(deviceName);
    const QString folder = deviceFolder(deviceName);
    if (!found || folder.isEmpty()) {
        return {};
    }
    for (const auto &[candidate, name] : m_connector->appNameMapForDevice(*found)) {
        if (candidate->name() == appName) {
            return folder + QLatin1Char('/') + name;
        }
    }
    return {};
}

std::pair<int, QString> ConnectedVolume::removeRecursively(const QString &virtualPath) const
{
    // Run while the event loop is free to carry the volume's actions: the
    // connector and the feed live on this thread.
    QProcess rm;
    rm.start(QStringLiteral("/bin/rm"), {QStringLiteral("-r"), onMount(virtualPath)});
    if (!rm.waitForStarted()) {
        return {-1, QStringLiteral("rm did not start")};
    }
    testsupport::waitFor([&] { return rm.state() == QProcess::NotRunning; },
                         std::chrono::seconds(60));
    return {rm.exitStatus() == QProcess::NormalExit ? rm.exitCode() : -1,
            QString::fromLocal8Bit(rm.readAllStandardError())};
}
