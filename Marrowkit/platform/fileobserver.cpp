#define MARROWBY_LOG_SOURCE "Marrowkit/FileObserver"

#include "Marrowkit/platform/fileobserver.h"

#include "Marrowkit/foundation/log.h"
#include "platform/inotifyengine_p.h"

#include <QFile>
#include <QFileInfo>

struct FileObserver::Source
{
    InotifyEngine *engine = nullptr;
    InotifyEngine::SubscriptionPtr subscription;
};

FileObserver::FileObserver(const QUrl &url, Handler onChange, Handler onCancel)
    : m_url(url), m_onChange(std::move(onChange)), m_onCancel(std::move(onCancel)),
      m_queue(makeSerialQueue(QStringLiteral("SimulatorDeviceQueue")))
{}

FileObserver::~FileObserver()
{
    stopMonitoring();
    // The cancel handler was queued by the stop; wait for it, so that the
    // handlers never outlive the observer (its queue outlives it otherwise).
    // From the queue itself that would deadlock, and is not needed: the
    // handler is already behind the caller.
    if (!m_queue->isCurrent()) {
        m_queue->sync([] {});
    }
}

void FileObserver::startMonitoring()
{
    const QString path = m_url.toLocalFile();
    if (path.isEmpty() || !QFileInfo::exists(path)) {
        return;
    }
    MLOG_VERBOSE(QStringLiteral("Start monitoring ") + path);
    m_queue->sync([this, path] {
        cancelSource();
        InotifyEngine *engine = InotifyEngine::instance();
        if (!engine) {
            return;
        }
        auto subscription = std::make_shared<InotifyEngine::Subscription>();
        subscription->queue = m_queue;
        subscription->onChange = m_onChange;
        if (!engine->addWatch(QFile::encodeName(path), subscription)) {
            return;
        }
        m_source = std::make_shared<Source>(Source{engine, std::move(subscription)});
    });
}

void FileObserver::stopMonitoring()
{
    m_queue->sync([this] { cancelSource(); });
    MLOG_VERBOSE(QStringLiteral("Stop monitoring ") + m_url.toLocalFile());
}

void FileObserver::cancelSource()
{
    if (!m_source) {
        return;
    }
    const std::shared_ptr<Source> source = std::exchange(m_source, nullptr);
    source->subscription->active = false;
    source->engine->removeWatch(source->subscription);
    // Like a cancelled event source: the cancel handler runs afterwards, on
    // the queue, once for this source.
    if (m_onCancel) {
        m_queue->async(m_onCancel);
    }
}

bool FileObserver::isMonitoring() const
{
    bool monitoring = false;
    m_queue->sync([this, &monitoring] { monitoring = m_source != nullptr; });
    return monitoring;
}
