// Lets work on other threads hand results back to an object of the main
// thread only while that object lives. Posting and ending take one lock, so
// once end() has returned nothing new is posted; what was posted before is
// dropped by Qt when the object is destroyed.
//
// Threads: post() from any thread; end() on the owner's thread.
#pragma once

#include <QObject>

#include <functional>
#include <memory>
#include <mutex>

class Lifeline
{
public:
    explicit Lifeline(QObject *owner) : m_owner(owner) {}

    // Runs `work` on the owner's thread later, unless the owner has ended.
    void post(std::function<void()> work)
    {
        const std::lock_guard lock(m_mutex);
        if (m_owner) {
            QMetaObject::invokeMethod(m_owner, std::move(work), Qt::QueuedConnection);
        }
    }

    void end()
    {
        const std::lock_guard lock(m_mutex);
        m_owner = nullptr;
    }

private:
    std::mutex m_mutex;
    QObject *m_owner;
};

using LifelinePtr = std::shared_ptr<Lifeline>;
