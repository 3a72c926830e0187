// "Marrowby runs already", answered without a race: the application holds an
// exclusive lock on a file in the user's runtime folder for its whole life.
// The login helper takes the same lock before it starts the application and
// hands the locked descriptor down to it (the lock belongs to the open file,
// so it outlives the helper), so a second helper started a moment later
// finds the lock held whether or not the application got as far as taking
// it itself.
//
// Threads: an InstanceLock is owned by one thread (the main thread of the
// helper or of the application); the descriptor is closed when it goes.
#pragma once

#include <QString>

class InstanceLock
{
public:
    enum class State {
        Acquired,      // this process holds the lock
        HeldByAnother, // another process holds it: Marrowby runs already
        Unusable,      // the lock file cannot be made or locked (see errorString)
    };

    // $XDG_RUNTIME_DIR/Marrowby/instance.lock, or the same below the cache
    // home when there is no runtime folder.
    static QString defaultPath();
    // The environment variable that names a locked descriptor handed down.
    static const char *handOverVariable();

    // Tries once, never waits.
    static InstanceLock tryAcquire(const QString &path);
    // For the application: keeps the descriptor a helper handed down when it
    // is a lock on `path`, else tries to take the lock itself. The variable
    // is removed from the environment either way, so nothing the application
    // starts inherits it.
    static InstanceLock acquireForApplication(const QString &path);

    InstanceLock(InstanceLock &&other) noexcept;
    InstanceLock &operator=(InstanceLock &&other) noexcept;
    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;
    ~InstanceLock();

    State state() const { return m_state; }
    const QString &errorString() const { return m_error; }
    // Lets a program started next inherit the locked descriptor; returns the
    // value for handOverVariable(), empty when nothing is held.
    QByteArray prepareHandOver();

private:
    InstanceLock(State state, int fd, QString error)
        : m_state(state), m_fd(fd), m_error(std::move(error))
    {}
    static InstanceLock adoptHandedDown(const QString &path);

    State m_state = State::Unusable;
    int m_fd = -1;
    QString m_error;
};
