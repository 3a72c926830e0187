// Serves a session's requests. One thread reads them and answers the quick
// ones itself (attributes, lookups, small reads and writes, creation and
// removal of single items), so a client working through a file meets the
// same warm thread every time instead of a different sleeper per request.
// Requests that may wait on a disk or take long (large reads and writes,
// listings, syncs, truncation and allocation, moves) go to a pool of
// workers, so they never hold up the rest.
//
// After a request it answered itself the reading thread keeps asking for the
// next one for a moment (yielding its CPU to anyone waiting for it) and only
// then sleeps: a client working through many files sends its next request
// sooner than a sleeping thread wakes on another CPU, and the wake-ups, not
// the answers, are most of what each request costs. After a request it
// handed on it sleeps at once: spinning then only takes the CPU from the
// worker, the disk's completions and the client. An idle volume sleeps.
//
// A request handed on travels in the buffer it was read into; the reading
// thread goes on with a spare one, and workers give buffers back, so no
// request is copied.
//
// Threads: run() on the thread the owner gives it, until the session ends
// (fuse_session_exit, then fuse_session_unmount); it ends the workers,
// which it owns, before it returns. The queue and the spare buffers are
// guarded by m_mutex.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

struct fuse_session;

class RequestLoop
{
public:
    RequestLoop(fuse_session *session, unsigned workers);
    RequestLoop(const RequestLoop &) = delete;
    RequestLoop &operator=(const RequestLoop &) = delete;

    void run();

    // Whether a request (its raw bytes) is answered by the reading thread.
    static bool isQuick(const char *request, size_t size);

private:
    void work();

    fuse_session *m_session;
    unsigned m_workerCount;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    // Buffers libfuse made with malloc, each holding one request.
    struct Request
    {
        void *buffer;
        size_t size;
    };
    std::deque<Request> m_queue;
    std::vector<void *> m_spare;
    bool m_stopping = false;
    std::vector<std::thread> m_workers;
};
