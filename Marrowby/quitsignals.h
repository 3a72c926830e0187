// SIGTERM and SIGINT (logging out, Ctrl-C) brought into the event loop: the
// handler only writes a byte to a pipe, and a socket notifier on the pipe's
// other end emits quitRequested on the main thread, where quitting is safe.
//
// Threads: made on the main thread; one per process.
#pragma once

#include <QObject>

class QSocketNotifier;

class QuitSignals : public QObject
{
    Q_OBJECT

public:
    explicit QuitSignals(QObject *parent = nullptr);
    ~QuitSignals() override;
    bool isInstalled() const { return m_notifier != nullptr; }

Q_SIGNALS:
    void quitRequested(int signalNumber);

private:
    void drain();
    QSocketNotifier *m_notifier = nullptr;
};
