// Sizes on disk as the menu shows them, counted in the file style (1000
// bytes to the kilobyte): "345 bytes", "12 KB", "1.2 MB", "3.45 GB", or, in
// bytes only, "1,234,567 bytes".
//
// Threads: pure functions, any thread.
#pragma once

#include <QString>

namespace ByteCountFormatter {

QString allUnits(qint64 bytes);
QString bytesOnly(qint64 bytes);

} // namespace ByteCountFormatter
