// The service on the session bus: the shared inspector exported at its
// object path through the adaptor generated from the checked-in contract,
// then the service's name claimed (objects first, so no request finds the
// name without the object behind it).
//
// Threads: the main thread.
#pragma once

#include "servicedelegate.h"

#include <QDBusConnection>
#include <QString>

#include <memory>
#include <optional>

class ParleyService
{
public:
    // `serviceName` is the program's bundle identifier.
    ParleyService(const QDBusConnection &bus, QString serviceName);
    ~ParleyService();

    // Publishes the inspector and claims the name; the reason on failure.
    std::optional<QString> start();
    ServiceDelegate &delegate() { return *m_delegate; }

private:
    QDBusConnection m_bus;
    QString m_serviceName;
    std::unique_ptr<ServiceDelegate> m_delegate;
};
