// The extension inside the file manager's windows on the volume: badges the
// folders of booted devices, offers the device and app actions in the
// context menus, and has the service watch the real folders behind the
// volume folders that windows show, so those windows refresh.
//
// It holds a service connector of its own only while at least one window
// observes a folder of the volume ("observing"); otherwise it is idle.
// Depths are counted below the volume's mount point (VolumePath): one name is
// a device folder, two an app folder, three a section ("Bundle", "Sandbox",
// "App Group", "App Groups") and deeper the real items behind it.
//
// Threads: main thread. The connector calls its handlers there too. The real
// folder behind an app-group section is asked of the service; the answer
// is awaited as a continuation, never by blocking the host.
#pragma once

#include "volumepath.h"

#include "Marrowkit/Connection/parleyconnector.h"
#include "Marrowkit/model/simulatorapp.h"
#include "Marrowkit/model/simulatordevice.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

class FinderSyncController;
class Revealer;
class SimulatorUpdate;

struct FinderSyncMenuItem
{
    QString title;
    QString action; // a selector name such as "revealDeviceInFinder:"
    QString keyEquivalent;
    QString imagePath;
    bool enabled = true;
};

struct FinderSyncMenu
{
    QString title;
    QList<FinderSyncMenuItem> items;
};

class FinderSync : public QObject
{
    Q_OBJECT

public:
    // What the program is made of; tests point these at their own world.
    struct Setup
    {
        // The volume's mount point.
        QString volumePath;
        // The extension's bundle (its Resources hold the images).
        QString bundlePath;
        // The bus the connector reaches the service on; the session bus
        // when empty.
        QString busAddress;
        // The photos to add to a device (a file dialog in the program).
        std::function<QList<QUrl>()> choosePhotos;
    };

    static const QString BadgeIdentifier;     // "Booted"
    static const QString ConnectorIdentifier; // "Marrowlens"
    // The action of the disabled "is currently running" item: does nothing.
    static const QString RunningMessageAction;
    // A host that never ends what it began must not grow the set without
    // bound: further folders are not observed.
    static constexpr qsizetype MaximumObservedPaths = 4096;

    // Registers the volume and the "Booted" badge with the host.
    FinderSync(FinderSyncController &host, Revealer &revealer, Setup setup,
               QObject *parent = nullptr);
    ~FinderSync() override;

    void beginObservingDirectoryAtURL(const QUrl &url);
    void endObservingDirectoryAtURL(const QUrl &url);
    void requestBadgeIdentifierForURL(const QUrl &url);
    // kind 0: the selected items' context menu; 2: a sidebar item's.
    std::optional<FinderSyncMenu> menuForMenuKind(int kind);

    // The item actions; each acts on the host's current selection.
    void revealDeviceInFinder();
    void revealAppInFinder();
    void revealInFinder();
    void launchSimulator();
    void launchInSimulator();
    void addPhotos();
    void resetContentAndSettings();
    void resetAppData();
    void uninstall();
    void revealAppGroups();
    // Runs the action named as in the menu items; false for unknown names.
    bool performAction(const QString &action);

    // Back to idle: badges forgotten, the connector stopped and dropped.
    void destroy();

    ParleyConnector *parleyConnector() const { return m_parleyConnector; }
    const QHash<QString, QUrl> &bagdedDevices() const { return m_bagdedDevices; }
    const QSet<QString> &observedPaths() const { return m_observedPaths; }
    const QSet<QString> &directoryObservers() const { return m_directoryObservers; }
    SimulatorDevicePtr selectedDevice() const;
    SimulatorAppPtr selectedApp() const;
    const QString &volumePath() const { return m_setup.volumePath; }

private:
    std::optional<VolumePath> volumePathOf(const QUrl &url) const;
    std::optional<VolumePath> firstSelectedPath() const;
    SimulatorDevicePtr deviceNamed(const QString &name) const;
    SimulatorAppPtr appNamed(const SimulatorDevicePtr &device, const QString &name) const;
    std::optional<QString> nameOfDevice(const SimulatorDevice &device) const;

    void makeConnector();
    void renewBadgeForName(const QString &name);
    void renewBadgeForDevice(const SimulatorDevice &device);
    void renewAllBadges();
    void handleUpdate(const SimulatorUpdate &update);

    // The real path behind a path below an app folder, handed to `done`
    // (nothing when it does not lead into a real folder); at once for the
    // bundle and the data, after the service answered for app groups.
    void realPathFor(const VolumePath &path, std::function<void(std::optional<QString>)> done);
    void addFileObserverForDirectoryAtURL(const QUrl &url);
    void removeFileObserverForDirectoryAtURL(const QUrl &url);

    FinderSyncMenuItem menuItem(const QString &title, const QString &action,
                                const QString &keyEquivalent);
    FinderSyncMenu deviceMenu(const VolumePath &path, bool single);
    FinderSyncMenu appMenu(const VolumePath &path, bool single);
    void revealURLs(const QList<QUrl> &urls);

    FinderSyncController &m_host;
    Revealer &m_revealer;
    Setup m_setup;

    // Owned; deleted later so that a handler of it may be on the stack.
    QPointer<ParleyConnector> m_parleyConnector;
    QHash<QString, QUrl> m_bagdedDevices;
    QSet<QString> m_observedPaths;
    QSet<QString> m_directoryObservers;
    std::optional<QString> m_menuItemImage;
};
