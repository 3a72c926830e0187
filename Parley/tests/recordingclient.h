// A client of the service as the tests see it: its own bus connection, the
// update protocol exported at the client path (through the adaptor generated
// from the contract), everything pushed to it recorded, and a proxy of the
// inspector to send requests with.
#pragma once

#include "deviceinspectorproxy.h"

#include <QByteArray>
#include <QDBusConnection>
#include <QList>
#include <QObject>

#include <memory>
#include <mutex>

class RecordingClient : public QObject
{
    Q_OBJECT

public:
    explicit RecordingClient(const QDBusConnection &bus);
    ~RecordingClient() override;

    DeviceInspectorProxy &inspector() { return *m_inspector; }
    QDBusConnection bus() const { return m_bus; }

    // What arrived, in order (the pushes come on the main thread).
    QList<QByteArray> catalogues;
    QList<QByteArray> updates;
    QList<QByteArray> directoryChanges;

    // SimulatorUpdateProtocol, called through the generated adaptor.
    void receiveUpdate(const QByteArray &archive) { updates.append(archive); }
    void receiveSimulatorDevicesContainingApps(const QByteArray &archive)
    {
        catalogues.append(archive);
    }
    void directoryChanged(const QByteArray &archive) { directoryChanges.append(archive); }

private:
    QDBusConnection m_bus;
    std::unique_ptr<DeviceInspectorProxy> m_inspector;
};

// Owns org.freedesktop.Notifications on the test's bus and records every
// notification as (title, text).
class NotificationRecorder : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    explicit NotificationRecorder(const QDBusConnection &bus);
    QList<std::pair<QString, QString>> notifications;

public Q_SLOTS:
    uint Notify(const QString &appName, uint replacesId, const QString &appIcon,
                const QString &summary, const QString &body, const QStringList &actions,
                const QVariantMap &hints, int expireTimeout);
};
