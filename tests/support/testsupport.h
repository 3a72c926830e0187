// Helpers shared by every test executable.
#pragma once

#include <QString>
#include <QTemporaryDir>

#include <chrono>
#include <functional>

namespace testsupport {

// Whether this build runs under the address sanitizer, which reserves far
// more address space than any limit a test sets and keeps freed memory in
// quarantine: limits and growth checks of memory mean nothing there.
constexpr bool underAddressSanitizer()
{
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}

// Polls `condition` (turning the event loop between polls) until it holds or
// `timeout` passes. Returns the last answer.
bool waitFor(const std::function<bool()> &condition,
             std::chrono::milliseconds timeout = std::chrono::seconds(10));

// Sets HOME to a fresh temporary folder for its lifetime and restores the old
// value afterwards. Also points XDG data, config and cache folders inside it
// (the cache at the default ~/.cache).
class TemporaryHome
{
public:
    TemporaryHome();
    ~TemporaryHome();
    TemporaryHome(const TemporaryHome &) = delete;
    TemporaryHome &operator=(const TemporaryHome &) = delete;

    QString path() const { return m_dir.path(); }
    // A path inside the home folder; `relative` must not start with "/".
    QString filePath(const QString &relative) const;

private:
    QTemporaryDir m_dir;
    QByteArray m_oldHome;
    QByteArray m_oldDataHome;
    QByteArray m_oldConfigHome;
    QByteArray m_oldCacheHome;
};

// Writes `contents` to `path`, making parent folders. Returns success.
bool writeFile(const QString &path, const QByteArray &contents);

// The build's application bundle and the stand-in programs inside it.
QString bundlePath();
// Whether a file system is mounted exactly at `path` (this process's view).
bool isMountPoint(const QString &path);
QString devtoolsBinPath();

} // namespace testsupport
