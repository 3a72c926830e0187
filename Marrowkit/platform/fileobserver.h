// Watches one file or folder and calls a handler whenever the node itself
// changes: its entries are created, deleted or renamed, its contents or
// attributes change, or it is deleted or moved. Changes deeper inside a
// folder are not seen.
//
// Threads: each observer has its own serial queue ("SimulatorDeviceQueue").
// Starting and stopping run synchronously on it, and both handlers run on it,
// so onChange never overlaps a start or stop of the same observer. A handler
// that was queued before a start, stop or destruction may run on the thread
// that makes it (see DispatchQueue::sync), so that call must not hold a lock
// the handler takes. Handlers must not start or stop their own observer and
// must hop to the right thread before touching shared state. Handlers that
// refer back to the observer's owner should hold it weakly.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include "Marrowkit/foundation/dispatchqueue.h"

#include <QUrl>

#include <functional>
#include <memory>

class MARROWKIT_EXPORT FileObserver
{
public:
    using Handler = std::function<void()>;

    // Stores the URL and the handlers and makes the queue; does not watch yet.
    FileObserver(const QUrl &url, Handler onChange, Handler onCancel);
    // Stops watching first, as stopMonitoring() does, and waits until the
    // cancel handler has run (unless called from the observer's own queue).
    ~FileObserver();
    FileObserver(const FileObserver &) = delete;
    FileObserver &operator=(const FileObserver &) = delete;

    // Starts watching. Nothing happens (no log, no handler call) when nothing
    // exists at the path or the node cannot be watched. An observer that is
    // already watching replaces its source with a new one.
    void startMonitoring();
    // Stops watching; onCancel follows once on the queue for the source that
    // was stopped. Logs even when nothing was being watched.
    void stopMonitoring();

    const QUrl &url() const { return m_url; }
    DispatchQueuePtr queue() const { return m_queue; }
    bool isMonitoring() const;

private:
    struct Source;
    // Ends the current source, if any. Runs on m_queue.
    void cancelSource();

    QUrl m_url;
    Handler m_onChange;
    Handler m_onCancel;
    DispatchQueuePtr m_queue;
    std::shared_ptr<Source> m_source; // touched only on m_queue
};
