#include "statusnotifierwatcher.h"

#include <QDBusMessage>

StatusNotifierWatcher::StatusNotifierWatcher(QDBusConnection bus) : m_bus(std::move(bus))
{
    m_running =
        m_bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), this,
                             QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals |
                                 QDBusConnection::ExportAllProperties) &&
        m_bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"));
}

void StatusNotifierWatcher::RegisterStatusNotifierItem(const QString &service)
{
    // An item may give its path instead of its name; the sender is the name.
    const QString name =
        service.startsWith(QLatin1Char('/')) && calledFromDBus() ? message().service() : service;
    m_items.append(name);
    Q_EMIT StatusNotifierItemRegistered(name);
}
