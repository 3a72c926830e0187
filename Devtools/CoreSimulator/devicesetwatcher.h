// Watches a device set on disk with inotify, on a thread of its own: the set's
// folder (devices appearing and disappearing) and each device's folder (its
// device.plist being replaced). Whenever a device's state differs from the
// one last seen, `changed` is called on the watcher's thread with the UDID
// and the new state, whoever changed the file. States present when watching
// starts are not reported.
//
// Thread: all state lives on the watcher thread; start() and stop() are
// called from the owner's thread.
#pragma once

#include <QHash>
#include <QString>

#include <functional>
#include <thread>

class DeviceSetWatcher
{
public:
    using Changed = std::function<void(const QString &udid, int state)>;

    DeviceSetWatcher(QString setPath, Changed changed);
    ~DeviceSetWatcher();
    DeviceSetWatcher(const DeviceSetWatcher &) = delete;
    DeviceSetWatcher &operator=(const DeviceSetWatcher &) = delete;

    // Sets up the watches (so that changes made after it returns are seen)
    // and starts the thread. False when inotify is not available.
    bool start();
    void stop();

private:
    void run();
    void drain();
    void watchDevice(const QString &udid, bool report);
    void forgetDevice(const QString &udid);
    void rescan(bool report);
    void checkState(const QString &udid, bool report);

    QString m_setPath;
    Changed m_changed;
    int m_inotify = -1;
    int m_wake = -1;
    int m_setWatch = -1;
    QHash<int, QString> m_udidByWatch;
    QHash<QString, int> m_watchByUdid;
    QHash<QString, int> m_states;
    std::thread m_thread;
};
