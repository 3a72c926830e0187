// An exclusive advisory lock on a device folder (flock on the folder itself),
// held while a process reads, changes and writes a device: the tools, the
// Simulator and the framework library may all change the same device.
#pragma once

#include <QString>

class DeviceLock
{
public:
    explicit DeviceLock(const QString &devicePath);
    ~DeviceLock();
    DeviceLock(const DeviceLock &) = delete;
    DeviceLock &operator=(const DeviceLock &) = delete;

    bool isLocked() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};
