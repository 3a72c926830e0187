// An open file descriptor that is closed on every way out of a scope.
//
// Threads: owned by the scope that opened it.
#pragma once

#include <unistd.h>

#include <utility>

class FileDescriptor
{
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;

    int get() const { return m_fd; }
    // Hands the descriptor to an owner that closes it (fdopendir, for one).
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};
