// Posts user notifications through the desktop's notification service
// (org.freedesktop.Notifications on the session bus). Never waits for it:
// without a notification service the notification is simply lost.
//
// Threads: any; the bus connection handle is thread-safe.
#pragma once

#include <QDBusConnection>
#include <QString>

class UserNotifier
{
public:
    explicit UserNotifier(QDBusConnection bus) : m_bus(std::move(bus)) {}

    void deliverNotification(const QString &title, const QString &informativeText) const;

private:
    QDBusConnection m_bus;
};
