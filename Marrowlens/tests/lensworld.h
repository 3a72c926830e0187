// The world every extension test starts from: the stand-in's sample world in
// a temporary HOME, a private bus that starts the real service (and the
// extension program) by activation, and the extension in process with a
// host that records what it is told and a revealer that records what it
// would show.
#pragma once

#include "findersync.h"
#include "findersynccontroller.h"
#include "revealer.h"

#include "sampleworldtest.h"

#include <memory>

struct RecordingRevealer : Revealer
{
    void revealItems(const QList<QUrl> &urls) override { revealed.append(urls); }
    QList<QList<QUrl>> revealed;
};

// org.kde.KDirNotify FilesChanged as a file manager on the bus hears it.
class FilesChangedRecorder : public QObject
{
    Q_OBJECT

public:
    QList<QStringList> received;

public Q_SLOTS:
    void filesChanged(const QStringList &urls) { received.append(urls); }
};

// What the host heard, in order.
struct HostRecord
{
    QList<std::pair<QString, QString>> badges; // path, identifier
    QStringList changedPaths;
    QList<QStringList> directoryPaths;
};

class LensWorld : public SampleWorldTest
{
protected:
    void TearDown() override;

    // The extension as the program makes it, on the test's bus.
    void makeFinderSync();
    // Begins observing the volume root and waits for the catalogue.
    bool observeRoot();
    QString volumePath(const QString &relative = QString()) const;
    // The menu for these volume paths (relative to the volume root).
    std::optional<FinderSyncMenu> menuFor(const QStringList &relativePaths, int kind = 0);
    void select(const QStringList &relativePaths);
    // The folder names the extension knows the devices by.
    QString nameOfBootedDevice() const;
    QString nameOfShutDownDevice() const;
    SimulatorDevicePtr deviceNamed(const QString &folderName) const;
    // The badge the host was told last for a volume path; nothing if none.
    std::optional<QString> lastBadge(const QString &path) const;
    static QStringList titles(const FinderSyncMenu &menu);
    static QStringList actions(const FinderSyncMenu &menu);
    QList<pid_t> simulatorProcesses() const;

    std::unique_ptr<FinderSyncController> m_host;
    RecordingRevealer m_revealer;
    HostRecord m_record;
    std::unique_ptr<FinderSync> m_finderSync;
};
