#include "bytecountformatter.h"

#include <QLocale>

namespace ByteCountFormatter {

namespace {

QString bytesText(qint64 bytes)
{
    static const QLocale english(QLocale::English);
    return bytes == 1 ? QStringLiteral("1 byte")
                      : english.toString(bytes) + QStringLiteral(" bytes");
}

// Sizes are formatted for every app at every rebuild: number() with a fixed
// precision is several times cheaper than arg() with a double.
QString scaled(double value, int decimals, QLatin1String unit)
{
    return QString::number(value, 'f', decimals) + QLatin1Char(' ') + unit;
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
        return scaled(value / 1e3, 0, QLatin1String("KB"));
    }
    if (value < 999.95e6) {
        return scaled(value / 1e6, 1, QLatin1String("MB"));
    }
    if (value < 999.995e9) {
        return scaled(value / 1e9, 2, QLatin1String("GB"));
    }
    return scaled(value / 1e12, 2, QLatin1String("TB"));
}

QString bytesOnly(qint64 bytes)
{
    return bytesText(bytes);
}

} // namespace ByteCountFormatter
