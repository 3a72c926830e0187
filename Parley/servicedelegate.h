// The service's clients and the one inspector they share. A client is known
// by the unique bus name of its connection: its first request adds it to
// `connections`, and it leaves when that name vanishes from the bus (the
// client quit, crashed or closed its connection), which is its invalidation.
//
// Threads: the main thread owns everything here; requests and the bus's
// name-owner signals are delivered on it.
#pragma once

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>

class DeviceInspector;

class ServiceDelegate : public QObject
{
    Q_OBJECT

public:
    // Makes the inspector, which reads the device set of the selected Xcode.
    explicit ServiceDelegate(const QDBusConnection &bus, QObject *parent = nullptr);
    ~ServiceDelegate() override;

    // Adds a client by its unique bus name unless it is known already.
    void noteClient(const QString &client);
    const QStringList &connections() const { return m_connections; }
    DeviceInspector *inspector() const { return m_inspector.get(); }
    QDBusConnection bus() const { return m_bus; }

    // Called with each client that leaves (after it left `connections`).
    void setClientLeftHandler(std::function<void(const QString &)> handler)
    {
        m_clientLeft = std::move(handler);
    }
    // Called once the service's own bus connection is gone (the session
    // ended): no client can reach the service any more.
    void setBusLostHandler(std::function<void()> handler) { m_busLost = std::move(handler); }
    // Starts watching for the loss of the bus connection.
    bool watchBusConnection();

private Q_SLOTS:
    void busDisconnected();

private:
    void clientVanished(const QString &client);

    QDBusConnection m_bus;
    QStringList m_connections;
    QDBusServiceWatcher m_watcher;
    std::function<void(const QString &)> m_clientLeft;
    std::function<void()> m_busLost;
    std::unique_ptr<DeviceInspector> m_inspector;
};
