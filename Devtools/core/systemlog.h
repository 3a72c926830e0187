// A device's ~/Library/Logs/CoreSimulator/<UDID>/system.log. Each line is
// appended with one write, so lines of several processes never interleave.
#pragma once

#include <QString>

namespace SystemLog {

// "<local time> <device name> <program>[<pid>]: <message>"
bool append(const QString &udid, const QString &deviceName, const QString &message);

} // namespace SystemLog
