// Rules both property-list formats share, so that whatever the readers
// return the writer can write and read back unchanged:
//
// - texts (strings and keys) hold only characters XML can carry: no NUL, no
//   other control character but tab, line feed and carriage return, no lone
//   surrogate, no U+FFFE or U+FFFF;
// - dates are seconds since 2001-01-01 00:00 UTC, kept to the millisecond,
//   in the years 1 to 9999 (what the XML form spells with four digits);
// - nesting is limited, and so is what a decoded list would take written as
//   XML, counted while decoding: a value shared from many places counts once
//   per place, so no later walk of the value (writing, copying, comparing)
//   pays for more than that, and the written form reads back within limits.
//   A list may take a fixed allowance plus a multiple of its own size: plenty
//   for binary lists, which XML spells out at length, too little for a few
//   hundred bytes of shared objects to turn into megabytes.
#pragma once

#include <QDateTime>
#include <QString>

#include <algorithm>
#include <optional>

namespace PlistValues {

inline constexpr int maximumDepth = 128;
// The largest property list read or written, in bytes.
inline constexpr qint64 maximumDocumentBytes = qint64(16) * 1024 * 1024;

bool canCarry(const QString &text);

// Seconds since 2001-01-01 00:00 UTC; nothing for NaN, infinities and dates
// outside the years 1 to 9999.
std::optional<QDateTime> dateFromReferenceSeconds(double seconds);
// "2100-01-01T00:00:00Z", with ".mmm" before the Z when the milliseconds
// are not zero; nothing outside the years 1 to 9999.
std::optional<QByteArray> dateToXmlText(const QDateTime &date);
std::optional<QDateTime> dateFromXmlText(QStringView text);

// What the values decoded so far would take written as XML (an upper
// bound); refuses once that passes the allowance for a list of
// `inputBytes` bytes (never more than maximumDocumentBytes).
class Budget
{
public:
    explicit Budget(qint64 inputBytes)
        : m_limit(std::min(maximumDocumentBytes, allowance + expansion * inputBytes))
    {}

    static constexpr qint64 allowance = qint64(256) * 1024;
    static constexpr qint64 expansion = 32;

    // A value `depth` containers deep, besides its text or data: indentation
    // (twice, for a container's opening and closing lines) and markup.
    static qint64 valueCost(int depth) { return 2 * qint64(depth) + 48; }
    // Escaped UTF-8 never takes more than five bytes per UTF-16 unit.
    static qint64 textCost(qint64 utf16Units) { return 5 * utf16Units; }
    static qint64 dataCost(qint64 bytes) { return (bytes + 2) / 3 * 4; }

    bool charge(qint64 bytes)
    {
        m_bytes += bytes;
        return m_bytes <= m_limit;
    }

private:
    qint64 m_limit;
    qint64 m_bytes = 256; // the XML declaration, doctype and <plist> lines
};

} // namespace PlistValues
