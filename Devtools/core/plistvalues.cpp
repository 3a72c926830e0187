#include "plistvalues.h"

#include <cmath>

namespace {

// 2001-01-01 00:00 UTC in milliseconds since the Unix epoch.
constexpr qint64 referenceEpochMs = qint64(978307200) * 1000;
// Comfortably beyond the years 1 to 9999 either way, and far from overflow.
constexpr double secondsBound = 1.0e12;

bool inYearRange(const QDateTime &date)
{
    return date.isValid() && date.date().year() >= 1 && date.date().year() <= 9999;
}

// A run of exactly `count` digits at `at`, or -1.
int digits(QStringView text, qsizetype at, int count)
{
    if (at + count > text.size()) {
        return -1;
    }
    int value = 0;
    for (int i = 0; i < count; ++i) {
        const QChar c = text[at + i];
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return -1;
        }
        value = value * 10 + (c.unicode() - '0');
    }
    return value;
}

} // namespace

namespace PlistValues {

bool canCarry(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') {
            return false;
        }
        if (c == 0xFFFE || c == 0xFFFF) {
            return false;
        }
        if (QChar::isHighSurrogate(c)) {
            if (i + 1 >= text.size() || !QChar::isLowSurrogate(text[i + 1].unicode())) {
                return false;
            }
            ++i;
        } else if (QChar::isLowSurrogate(c)) {
            return false;
        }
    }
    return true;
}

std::optional<QDateTime> dateFromReferenceSeconds(double seconds)
{
    if (!std::isfinite(seconds) || std::fabs(seconds) > secondsBound) {
        return std::nullopt;
    }
    const qint64 ms = std::llround(seconds * 1000.0) + referenceEpochMs;
    QDateTime date = QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
    if (!inYearRange(date)) {
        return std::nullopt;
    }
    return date;
}

std::optional<QByteArray> dateToXmlText(const QDateTime &date)
{
    const QDateTime utc = date.toUTC();
    if (!inYearRange(utc)) {
        return std::nullopt;
    }
    const QDate day = utc.date();
    const QTime time = utc.time();
    QByteArray text = QByteArray::number(day.year()).rightJustified(4, '0') + '-' +
                      QByteArray::number(day.month()).rightJustified(2, '0') + '-' +
                      QByteArray::number(day.day()).rightJustified(2, '0') + 'T' +
                      QByteArray::number(time.hour()).rightJustified(2, '0') + ':' +
                      QByteArray::number(time.minute()).rightJustified(2, '0') + ':' +
                      QByteArray::number(time.second()).rightJustified(2, '0');
    if (time.msec() != 0) {
        text += '.' + QByteArray::number(time.msec()).rightJustified(3, '0');
    }
    return text + 'Z';
}

// YYYY-MM-DDTHH:MM:SS, then optionally a fraction, then optionally Z.
std::optional<QDateTime> dateFromXmlText(QStringView text)
{
    text = text.trimmed();
    const int year = digits(text, 0, 4);
    const int month = digits(text, 5, 2);
    const int day = digits(text, 8, 2);
    const int hour = digits(text, 11, 2);
    const int minute = digits(text, 14, 2);
    const int second = digits(text, 17, 2);
    if (year < 0 || month < 0 || day < 0 || hour < 0 || minute < 0 || second < 0 ||
        text.size() < 19 || text[4] != QLatin1Char('-') || text[7] != QLatin1Char('-') ||
        text[10] != QLatin1Char('T') || text[13] != QLatin1Char(':') ||
        text[16] != QLatin1Char(':')) {
        return std::nullopt;
    }
    qsizetype at = 19;
    int ms = 0;
    if (at < text.size() && text[at] == QLatin1Char('.')) {
        ++at;
        int scale = 100;
        const qsizetype start = at;
        while (at < text.size() && text[at].isDigit() && text[at].unicode() < 0x80) {
            ms += scale * (text[at].unicode() - '0');
            scale /= 10;
            ++at;
        }
        if (at == start) {
            return std::nullopt;
        }
    }
    if (at < text.size() && text[at] == QLatin1Char('Z')) {
        ++at;
    }
    const QDate date(year, month, day);
    const QTime time(hour, minute, second, ms);
    if (at != text.size() || !date.isValid() || !time.isValid() || year < 1) {
        return std::nullopt;
    }
    return QDateTime(date, time, Qt::UTC);
}

} // namespace PlistValues
