#include "bytecountformatter.h"

#include <QLocale>

namespace ByteCountFormatter {

namespace {

QString bytesText(qint64 bytes)
{
    return bytes == 1 ? QStringLiteral("1 byte")
                      : QStringLiteral("%1 bytes").arg(QLocale(QLocale::English).toString(bytes));
}

} // namespace

QString allUnits(qint64 bytes)
{
    if (bytes == 0) {
        return QStringLiteral("Zero KB");
    }
    if (bytes < 1000) {
        return bytesText(bytes);
    }
    const double value = double(bytes);
    // Precision grows with the unit, as file sizes are usually shown.
    if (value < 999.5e3) {
        return QStringLiteral("%1 KB").arg(value / 1e3, 0, 'f', 0);
    }
    if (value < 999.95e6) {
        return QStringLiteral("%1 MB").arg(value / 1e6, 0, 'f', 1);
    }
    if (value < 999.995e9) {
        return QStringLiteral("%1 GB").arg(value / 1e9, 0, 'f', 2);
    }
    return QStringLiteral("%1 TB").arg(value / 1e12, 0, 'f', 2);
}

QString bytesOnly(qint64 bytes)
{
    return bytesText(bytes);
}

} // namespace ByteCountFormatter
