// A stand-in for the desktop's status-notifier watcher on a test's private
// bus: it says a host is there, so Qt shows tray icons as status-notifier
// items, and records the items that register.
#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QStringList>

class StatusNotifierWatcher : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isHostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ registeredItems)

public:
    // Exports itself at /StatusNotifierWatcher and claims the name.
    explicit StatusNotifierWatcher(QDBusConnection bus);
    bool isRunning() const { return m_running; }

    bool isHostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList registeredItems() const { return m_items; }

public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString &service);
    void RegisterStatusNotifierHost(const QString &) {}

Q_SIGNALS:
    void StatusNotifierItemRegistered(const QString &service);

private:
    QDBusConnection m_bus;
    QStringList m_items;
    bool m_running = false;
};
