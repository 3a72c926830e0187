// One simulated device: identity, names, runtime version, hardware type, run
// state, its installed apps and the folder where it keeps them.
//
// Threads: not synchronised. A device and its apps belong to one thread at a
// time (the main queue in the service and in every client); other threads
// work on their own decoded copies. The shared NullDevice is never modified.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include "Marrowkit/model/devicestate.h"
#include "Marrowkit/model/devicetype.h"
#include "Marrowkit/model/simulatoritem.h"

#include <QList>
#include <QUrl>

#include <memory>
#include <optional>

class SimulatorApp;
using SimulatorAppPtr = std::shared_ptr<SimulatorApp>;

class MARROWKIT_EXPORT SimulatorDevice : public SimulatorItem,
                                         public std::enable_shared_from_this<SimulatorDevice>
{
    struct Token
    {
        explicit Token() = default;
    };

public:
    // Made only here, so that every app gets this device as its device before
    // anyone else sees it. `type` is a DeviceType raw value (else Unknown);
    // `state` a DeviceState raw value (else Shutdown).
    static std::shared_ptr<SimulatorDevice> create(const QString &uuid, const QString &name,
                                                   const QList<SimulatorAppPtr> &apps,
                                                   const QString &version = QStringLiteral("8.0"),
                                                   const QString &type = QStringLiteral("Unknown"),
                                                   int state = 1);

    SimulatorDevice(Token, const QString &uuid, QString name, QList<SimulatorAppPtr> apps,
                    QString version, DeviceType type, DeviceState state);

    const QString &name() const { return m_name; }
    // Shown when the client's name map has no entry for the device.
    const QString &displayName() const { return m_displayName; }
    void setDisplayName(const QString &displayName) { m_displayName = displayName; }
    const QString &version() const { return m_version; }
    DeviceType deviceType() const { return m_deviceType; }
    void setDeviceType(DeviceType type) { m_deviceType = type; }
    DeviceState deviceState() const { return m_deviceState; }
    void setDeviceState(DeviceState state) { m_deviceState = state; }

    const QList<SimulatorAppPtr> &apps() const { return m_apps; }
    // Stores the list alone; the apps' device references stay as they are.
    void setApps(const QList<SimulatorAppPtr> &apps) { m_apps = apps; }

    // The device's folder in the device set, once its builder has found it.
    const std::optional<QUrl> &containerURL() const { return m_containerURL; }
    void setContainerURL(const std::optional<QUrl> &url) { m_containerURL = url; }

    // name + " (" + version + ") (" + the first 8 characters of uuid + ")".
    QString longName() const;
    bool booted() const { return m_deviceState == DeviceState::Booted; }
    bool canImportPhotos() const { return !isWatch(m_deviceType) && !isTV(m_deviceType); }
    // containerURL + data/Containers/Bundle/Application, whether or not it
    // exists; nothing without containerURL.
    std::optional<QUrl> applicationsURL() const;
    // name + " " + uuid + ": " + the printed list of apps + "\n".
    QString description() const override;

private:
    QString m_name;
    QString m_displayName;
    QString m_version;
    DeviceType m_deviceType;
    DeviceState m_deviceState;
    QList<SimulatorAppPtr> m_apps;
    std::optional<QUrl> m_containerURL;
};

using SimulatorDevicePtr = std::shared_ptr<SimulatorDevice>;

// The shared stand-in for "no device": uuid FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF,
// name "NullDevice", no apps, version 8.0, Unknown, Shutdown, no container.
// Made on first use, once, from whichever thread asks first.
MARROWKIT_EXPORT SimulatorDevicePtr NullDevice();
