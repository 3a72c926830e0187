// Lowers the serial queues' thread limit for the life of one test. Restoring
// it also frees a pool that a regression left stuck, so the tests after a
// failure still run.
#pragma once

#include "foundation/dispatchqueue_p.h"

class SerialThreadLimit
{
public:
    explicit SerialThreadLimit(int threads) : m_saved(serialQueueThreadLimit())
    {
        setSerialQueueThreadLimit(threads);
    }
    ~SerialThreadLimit() { setSerialQueueThreadLimit(m_saved); }
    SerialThreadLimit(const SerialThreadLimit &) = delete;
    SerialThreadLimit &operator=(const SerialThreadLimit &) = delete;

private:
    int m_saved;
};
