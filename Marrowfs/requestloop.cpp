// The reading thread, its choice of what to answer itself, and the workers.
#include "requestloop_p.h"

#include "fuseoperations_p.h"

#include <linux/fuse.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>

namespace {

// Reads up to this size come from the page cache or a short disk read; the
// kernel's read-ahead asks for more and those may wait on the disk.
constexpr uint32_t QuickReadBytes = 64 * 1024;
// Writes land in the page cache; large ones are handed on all the same so
// the reading thread never copies a megabyte while others wait.
constexpr uint32_t QuickWriteBytes = 128 * 1024;
// Buffers kept for reuse after a burst; each is about a megabyte.
constexpr size_t MaxSpareBuffers = 16;
// How long the reading thread keeps asking for the next request after one
// it answered itself: a thread asleep takes tens of microseconds to wake on
// another CPU in a virtual machine, longer than most requests take.
constexpr std::chrono::microseconds BusyWaitAfterRequest{100};

template<typename Body> bool bodyOf(const char *request, size_t size, Body &body)
{
    if (size < sizeof(fuse_in_header) + sizeof(Body)) {
        return false;
    }
    std::memcpy(&body, request + sizeof(fuse_in_header), sizeof(Body));
    return true;
}

} // namespace

RequestLoop::RequestLoop(fuse_session *session, unsigned workers)
    : m_session(session), m_workerCount(workers == 0 ? 1 : workers)
{}

bool RequestLoop::isQuick(const char *request, size_t size)
{
    fuse_in_header header = {};
    if (size < sizeof header) {
        return true;
    }
    std::memcpy(&header, request, sizeof header);
    switch (header.opcode) {
    case FUSE_READ: {
        fuse_read_in read = {};
        return bodyOf(request, size, read) && read.size <= QuickReadBytes;
    }
    case FUSE_WRITE: {
        fuse_write_in write = {};
        return bodyOf(request, size, write) && write.size <= QuickWriteBytes;
    }
    case FUSE_OPENDIR:
    case FUSE_READDIR:
    case FUSE_READDIRPLUS:
    case FUSE_FSYNC:
    case FUSE_FSYNCDIR:
    case FUSE_FALLOCATE:
    case FUSE_SETATTR:
    case FUSE_RENAME:
    case FUSE_RENAME2:
    case FUSE_RMDIR:
    case FUSE_COPY_FILE_RANGE:
    case FUSE_LSEEK:
        return false;
    default:
        return true;
    }
}

void RequestLoop::run()
{
    m_workers.reserve(m_workerCount);
    for (unsigned i = 0; i < m_workerCount; ++i) {
        m_workers.emplace_back([this] { work(); });
    }
    fuse_buf buffer = {};
    const int device = fuse_session_fd(m_session);
    // Reads answer "nothing yet" instead of sleeping; poll() sleeps.
    const int deviceFlags = ::fcntl(device, F_GETFL);
    const bool busyWaits =
        deviceFlags >= 0 && ::fcntl(device, F_SETFL, deviceFlags | O_NONBLOCK) == 0;
    std::chrono::steady_clock::time_point spinUntil;
    while (!fuse_session_exited(m_session)) {
        if (!buffer.mem) {
            // A spare one, or none: libfuse then makes one of its size.
            std::lock_guard lock(m_mutex);
            if (!m_spare.empty()) {
                buffer.mem = m_spare.back();
                m_spare.pop_back();
            }
        }
        const int received = fuse_session_receive_buf(m_session, &buffer);
        if (received == -EINTR) {
            continue;
        }
        if (received == -EAGAIN && busyWaits) {
            if (std::chrono::steady_clock::now() < spinUntil) {
                // Anyone else waiting for this CPU goes first.
                ::sched_yield();
            } else {
                pollfd next = {device, POLLIN, 0};
                ::poll(&next, 1, -1);
            }
            continue;
        }
        if (received <= 0) {
            break;
        }
        if (isQuick(static_cast<const char *>(buffer.mem), size_t(received))) {
            fuse_session_process_buf(m_session, &buffer);
            spinUntil = std::chrono::steady_clock::now() + BusyWaitAfterRequest;
            continue;
        }
        spinUntil = {};
        {
            std::lock_guard lock(m_mutex);
            m_queue.push_back({buffer.mem, size_t(received)});
        }
        buffer.mem = nullptr;
        m_wake.notify_one();
    }
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    for (std::thread &worker : m_workers) {
        worker.join();
    }
    m_workers.clear();
    // libfuse made the buffers with malloc.
    std::free(buffer.mem); // NOLINT(cppcoreguidelines-no-malloc)
    for (void *spare : m_spare) {
        std::free(spare); // NOLINT(cppcoreguidelines-no-malloc)
    }
    m_spare.clear();
}

void RequestLoop::work()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
        // Requests already taken are answered even while stopping: each one
        // holds kernel state until it is.
        if (m_queue.empty()) {
            return;
        }
        const Request request = m_queue.front();
        m_queue.pop_front();
        lock.unlock();
        fuse_buf buffer = {};
        buffer.size = request.size;
        buffer.mem = request.buffer;
        fuse_session_process_buf(m_session, &buffer);
        lock.lock();
        if (m_spare.size() < MaxSpareBuffers) {
            m_spare.push_back(request.buffer);
        } else {
            std::free(request.buffer); // NOLINT(cppcoreguidelines-no-malloc)
        }
    }
}
