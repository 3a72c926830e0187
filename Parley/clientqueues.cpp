#include "clientqueues.h"

DispatchQueuePtr ClientQueues::queueFor(const QString &client)
{
    auto found = m_queues.constFind(client);
    if (found != m_queues.constEnd()) {
        return found.value();
    }
    DispatchQueuePtr queue = makeSerialQueue(QStringLiteral("Parley client ") + client);
    m_queues.insert(client, queue);
    return queue;
}
