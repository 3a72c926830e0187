#include "usernotifier.h"

#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

void UserNotifier::deliverNotification(const QString &title, const QString &informativeText) const
{
    QDBusMessage notify = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    notify << QStringLiteral("Marrowby") << 0u << QString() << title << informativeText
           << QStringList() << QVariantMap() << -1;
    m_bus.send(notify);
}
