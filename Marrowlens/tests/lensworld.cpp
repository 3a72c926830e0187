#include "lensworld.h"

#include "devtoolsworld.h"

#include "tests/support/processscan.h"

#include "Marrowkit/Connection/parleyconnector.h"

#include <QProcess>

#include <csignal>

using testsupport::waitFor;

void LensWorld::TearDown()
{
    m_finderSync.reset();
    m_host.reset();
    SampleWorldTest::TearDown();
}

void LensWorld::makeFinderSync()
{
    m_host = std::make_unique<FinderSyncController>();
    QObject::connect(m_host.get(), &FinderSyncController::badgeIdentifierChanged,
                     [this](const QString &path, const QString &identifier) {
                         m_record.badges.append({path, identifier});
                     });
    QObject::connect(m_host.get(), &FinderSyncController::fileSystemChanged,
                     [this](const QString &path) { m_record.changedPaths.append(path); });
    QObject::connect(m_host.get(), &FinderSyncController::directoryPathsChanged,
                     [this](const QStringList &paths) { m_record.directoryPaths.append(paths); });
    FinderSync::Setup setup;
    setup.volumePath = volumePath();
    setup.bundlePath =
        testsupport::bundlePath() + QStringLiteral("/Contents/PlugIns/Marrowlens.appex");
    setup.busAddress = m_bus->address();
    m_finderSync = std::make_unique<FinderSync>(*m_host, m_revealer, setup);
}

bool LensWorld::observeRoot()
{
    m_finderSync->beginObservingDirectoryAtURL(QUrl::fromLocalFile(volumePath()));
    return waitFor(
        [&] {
            auto *connector = m_finderSync->parleyConnector();
            return connector && connector->devices().has_value() && connector->isConnected();
        },
        std::chrono::seconds(20));
}

QString LensWorld::volumePath(const QString &relative) const
{
    const QString root = m_home->filePath(QStringLiteral("Volumes/Marrowby"));
    return relative.isEmpty() ? root : root + QLatin1Char('/') + relative;
}

void LensWorld::select(const QStringList &relativePaths)
{
    QStringList paths;
    for (const QString &relative : relativePaths) {
        paths.append(volumePath(relative));
    }
    m_host->setSelectedPaths(paths);
}

std::optional<FinderSyncMenu> LensWorld::menuFor(const QStringList &relativePaths, int kind)
{
    select(relativePaths);
    return m_finderSync->menuForMenuKind(kind);
}

namespace {

QString deviceName(const FinderSync &finderSync, bool booted)
{
    const ParleyConnector *connector = finderSync.parleyConnector();
    if (!connector || !connector->devices()) {
        return {};
    }
    const auto names = connector->deviceNameMap();
    for (const auto &device : *connector->devices()) {
        if (device->booted() == booted && !device->apps().isEmpty()) {
            return names->value(device->uuid());
        }
    }
    return {};
}

} // namespace

QString LensWorld::nameOfBootedDevice() const
{
    return deviceName(*m_finderSync, true);
}

QString LensWorld::nameOfShutDownDevice() const
{
    return deviceName(*m_finderSync, false);
}

SimulatorDevicePtr LensWorld::deviceNamed(const QString &folderName) const
{
    const ParleyConnector *connector = m_finderSync->parleyConnector();
    const auto names = connector->deviceNameMap();
    for (const auto &device : *connector->devices()) {
        if (names->value(device->uuid()) == folderName) {
            return device;
        }
    }
    return nullptr;
}

std::optional<QString> LensWorld::lastBadge(const QString &path) const
{
    for (auto it = m_record.badges.crbegin(); it != m_record.badges.crend(); ++it) {
        if (it->first == path) {
            return it->second;
        }
    }
    return std::nullopt;
}

QStringList LensWorld::titles(const FinderSyncMenu &menu)
{
    QStringList titles;
    for (const auto &item : menu.items) {
        titles.append(item.title);
    }
    return titles;
}

QStringList LensWorld::actions(const FinderSyncMenu &menu)
{
    QStringList actions;
    for (const auto &item : menu.items) {
        actions.append(item.action);
    }
    return actions;
}

QList<pid_t> LensWorld::simulatorProcesses() const
{
    return testsupport::simulatorProcessesIn(m_home->path());
}
