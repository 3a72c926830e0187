// One serial queue per client: the requests of one client are carried out
// one after the other, in the order they came, while a long action of one
// client never holds up another's.
//
// Threads: the main thread owns the table; the queues run on the shared pool.
#pragma once

#include "Marrowkit/foundation/dispatchqueue.h"

#include <QHash>
#include <QString>

class ClientQueues
{
public:
    // The client's queue, made on its first request.
    DispatchQueuePtr queueFor(const QString &client);
    // The client left: work it queued still runs, then the queue goes.
    void forget(const QString &client) { m_queues.remove(client); }
    qsizetype count() const { return m_queues.size(); }

private:
    QHash<QString, DispatchQueuePtr> m_queues;
};
