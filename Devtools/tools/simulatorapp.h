// The Simulator application, headless: `-CurrentDeviceUDID UDID` boots that
// device (Booting, then Booted half a second later) and keeps running; on
// SIGTERM (or SIGINT, SIGHUP) it shuts its devices down (ShuttingDown, then
// Shutdown) and exits. A device that is already booted is adopted.
//
// Thread: everything runs on the main thread's event loop; signals arrive
// there through a signalfd, so blockTerminationSignals() must run before any
// other thread exists.
#pragma once

#include "deviceset.h"

#include <QObject>
#include <QStringList>
#include <QTimer>

class QSocketNotifier;

class SimulatorApp : public QObject
{
    Q_OBJECT
public:
    explicit SimulatorApp(QObject *parent = nullptr);
    ~SimulatorApp() override;

    static void blockTerminationSignals();
    // Starts with the program's arguments; returns the exit status.
    int exec(const QStringList &arguments);

private:
    bool bootDevice(const QString &udid, QString *error);
    void finishBooting();
    void terminate();

    DeviceSet m_set;
    QStringList m_devices;
    QTimer m_bootTimer;
    int m_signalFd = -1;
    QSocketNotifier *m_signalNotifier = nullptr;
};
