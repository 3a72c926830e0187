#include "devicesetwatcher.h"

#include "devicerecord.h"
#include "safefile.h"
#include "simidentifiers.h"

#include <QDir>
#include <QFile>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>

namespace {
constexpr uint32_t setEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ONLYDIR;
constexpr uint32_t deviceEvents = IN_CREATE | IN_CLOSE_WRITE | IN_MOVED_TO | IN_DELETE |
                                  IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
} // namespace

DeviceSetWatcher::DeviceSetWatcher(QString setPath, Changed changed)
    : m_setPath(std::move(setPath)), m_changed(std::move(changed))
{}

DeviceSetWatcher::~DeviceSetWatcher()
{
    stop();
}

bool DeviceSetWatcher::start()
{
    if (m_thread.joinable()) {
        return true;
    }
    m_inotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    m_wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    QDir().mkpath(m_setPath);
    m_setWatch =
        m_inotify < 0
            ? -1
            : inotify_add_watch(m_inotify, QFile::encodeName(m_setPath).constData(), setEvents);
    if (m_inotify < 0 || m_wake < 0 || m_setWatch < 0) {
        stop();
        return false;
    }
    rescan(false);
    m_thread = std::thread([this] { run(); });
    return true;
}

void DeviceSetWatcher::stop()
{
    if (m_thread.joinable()) {
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t written = ::write(m_wake, &one, sizeof one);
        m_thread.join();
    }
    if (m_inotify >= 0) {
        ::close(m_inotify);
    }
    if (m_wake >= 0) {
        ::close(m_wake);
    }
    m_inotify = m_wake = m_setWatch = -1;
    m_udidByWatch.clear();
    m_watchByUdid.clear();
    m_states.clear();
}

void DeviceSetWatcher::run()
{
    pollfd fds[2] = {{m_inotify, POLLIN, 0}, {m_wake, POLLIN, 0}};
    for (;;) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (fds[1].revents) {
            return;
        }
        if (fds[0].revents & POLLIN) {
            drain();
        }
    }
}

// Reads every pending event, then checks each touched device once.
void DeviceSetWatcher::drain()
{
    QStringList touched;
    bool overflow = false;
    alignas(inotify_event) char buffer[16 * 1024];
    for (;;) {
        const ssize_t length = ::read(m_inotify, buffer, sizeof buffer);
        if (length <= 0) {
            break;
        }
        for (ssize_t offset = 0; offset < length;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + offset);
            offset += ssize_t(sizeof(inotify_event) + event->len);
            const QString name = event->len ? QFile::decodeName(event->name) : QString();
            if (event->mask & IN_Q_OVERFLOW) {
                overflow = true;
            } else if (event->wd == m_setWatch) {
                if (SimIdentifiers::isUuidText(name) && !touched.contains(name)) {
                    touched.append(name);
                }
            } else if (const QString udid = m_udidByWatch.value(event->wd); !udid.isEmpty()) {
                if (!touched.contains(udid)) {
                    touched.append(udid);
                }
            }
        }
    }
    if (overflow) {
        rescan(true);
        return;
    }
    for (const QString &udid : touched) {
        const QString folder = m_setPath + QLatin1Char('/') + udid;
        // A linked device folder is not the set's (DeviceSet skips it too).
        if (SafeFile::isRealFolder(folder) &&
            SafeFile::existsWithoutFollowing(folder + QStringLiteral("/device.plist"))) {
            watchDevice(udid, true);
        } else {
            forgetDevice(udid);
        }
    }
}

void DeviceSetWatcher::watchDevice(const QString &udid, bool report)
{
    if (!m_watchByUdid.contains(udid)) {
        const QString folder = m_setPath + QLatin1Char('/') + udid;
        const int watch =
            inotify_add_watch(m_inotify, QFile::encodeName(folder).constData(), deviceEvents);
        if (watch < 0) {
            return;
        }
        // A folder moved away and back may come back under an old watch number.
        m_udidByWatch.insert(watch, udid);
        m_watchByUdid.insert(udid, watch);
    }
    checkState(udid, report);
}

void DeviceSetWatcher::forgetDevice(const QString &udid)
{
    const auto watch = m_watchByUdid.constFind(udid);
    if (watch != m_watchByUdid.constEnd()) {
        inotify_rm_watch(m_inotify, *watch);
        m_udidByWatch.remove(*watch);
        m_watchByUdid.erase(watch);
    }
    m_states.remove(udid);
}

void DeviceSetWatcher::rescan(bool report)
{
    const auto entries =
        QDir(m_setPath).entryList(QDir::Dirs | QDir::NoSymLinks | QDir::NoDotAndDotDot);
    QStringList present;
    for (const QString &entry : entries) {
        if (SimIdentifiers::isUuidText(entry)) {
            present.append(entry);
            watchDevice(entry, report);
        }
    }
    for (const QString &udid : m_watchByUdid.keys()) {
        if (!present.contains(udid)) {
            forgetDevice(udid);
        }
    }
}

void DeviceSetWatcher::checkState(const QString &udid, bool report)
{
    const auto record = DeviceRecord::read(m_setPath + QLatin1Char('/') + udid);
    if (!record) {
        return; // mid-change or broken; the next event tells
    }
    const auto previous = m_states.constFind(udid);
    const bool changed = previous == m_states.constEnd() || *previous != record->state;
    m_states.insert(udid, record->state);
    if (changed && report && m_changed) {
        m_changed(udid, record->state);
    }
}
