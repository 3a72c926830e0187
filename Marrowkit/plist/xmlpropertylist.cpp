#include "plist/xmlpropertylist_p.h"

#include <QTimeZone>

#include <cstdio>

namespace PropertyList::XmlText {

namespace {

const QDateTime standInEpoch(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Scans tags as libplist does: a name up to white space or an angle bracket,
// then anything up to '>' with double-quoted stretches skipped.
class Scanner
{
public:
    Scanner(const QByteArray &xml, int maximumDepth) : m_xml(xml), m_maximumDepth(maximumDepth) {}

    bool tooDeep() const { return m_tooDeep; }

    std::optional<Prepared> run()
    {
        qsizetype copied = 0;
        for (qsizetype at = m_xml.indexOf('<'); at >= 0; at = m_xml.indexOf('<', m_position)) {
            m_position = at + 1;
            if (m_position >= m_xml.size()) {
                return std::nullopt;
            }
            const char next = m_xml[m_position];
            if (next == '?') {
                if (!skipPast("?>", true)) {
                    return std::nullopt;
                }
            } else if (next == '!') {
                if (!skipSpecial()) {
                    return std::nullopt;
                }
            } else if (next == '/') {
                if (!tagEnd()) {
                    return std::nullopt;
                }
                m_depth = std::max(0, m_depth - 1);
            } else {
                const qsizetype nameStart = m_position;
                const auto name = tagName();
                if (!name || !tagEnd()) {
                    return std::nullopt;
                }
                const QByteArrayView tag = QByteArrayView(m_xml).sliced(nameStart, *name);
                if (m_xml[m_position - 2] == '/') {
                    if (tag == "date" || tag == "date/") {
                        return std::nullopt; // an empty date is no date
                    }
                    continue;
                }
                if (++m_depth > m_maximumDepth) {
                    m_tooDeep = true;
                    return std::nullopt;
                }
                if (tag == "date") {
                    const qsizetype textStart = m_position;
                    const qsizetype textEnd = m_xml.indexOf('<', textStart);
                    if (textEnd < 0 || m_xml.mid(textEnd, 6) != "</date") {
                        return std::nullopt; // nothing but text inside a date
                    }
                    const auto date =
                        parseDate(QByteArrayView(m_xml).sliced(textStart, textEnd - textStart));
                    if (!date) {
                        return std::nullopt;
                    }
                    m_prepared.xml += QByteArrayView(m_xml).sliced(copied, textStart - copied);
                    m_prepared.xml += standIn(m_prepared.dates.size());
                    m_prepared.dates.append(*date);
                    copied = textEnd;
                    m_position = textEnd;
                }
            }
        }
        m_prepared.xml += QByteArrayView(m_xml).sliced(copied);
        return m_prepared;
    }

private:
    // Moves past the next `marker`, optionally skipping quoted stretches.
    bool skipPast(const char *marker, bool skipQuotes)
    {
        const QByteArrayView wanted(marker);
        for (qsizetype i = m_position; i + wanted.size() <= m_xml.size(); ++i) {
            if (QByteArrayView(m_xml).sliced(i, wanted.size()) == wanted) {
                m_position = i + wanted.size();
                return true;
            }
            if (skipQuotes && m_xml[i] == '"') {
                i = m_xml.indexOf('"', i + 1);
                if (i < 0) {
                    return false;
                }
            }
        }
        return false;
    }

    // Comments, CDATA sections and the document type hide what they hold
    // from the parser, which ends each where this does. Other "<!" constructs
    // are read on as they stand: the parser refuses them.
    bool skipSpecial()
    {
        const QByteArrayView rest = QByteArrayView(m_xml).sliced(m_position);
        if (rest.startsWith("!--")) {
            m_position += 3;
            return skipPast("-->", false);
        }
        if (rest.startsWith("![CDATA[")) {
            m_position += 8;
            return skipPast("]]>", false);
        }
        if (rest.startsWith("!DOCTYPE")) {
            m_position += 8;
            return skipDocumentType();
        }
        ++m_position;
        return true;
    }

    // A document type ends at its first '>' outside quotes, or, once a '['
    // opens an internal subset, at the first "]>" outside quotes.
    bool skipDocumentType()
    {
        while (m_position < m_xml.size()) {
            const char c = m_xml[m_position];
            if (c == '[') {
                return skipPast("]>", true);
            }
            if (c == '>') {
                ++m_position;
                return true;
            }
            if (c == '"') {
                m_position = m_xml.indexOf('"', m_position + 1);
                if (m_position < 0) {
                    return false;
                }
            }
            ++m_position;
        }
        return false;
    }

    // The length of the name starting at the current position.
    std::optional<qsizetype> tagName()
    {
        const qsizetype start = m_position;
        while (m_position < m_xml.size()) {
            const char c = m_xml[m_position];
            if (isSpace(c) || c == '<' || c == '>') {
                return m_position - start;
            }
            ++m_position;
        }
        return std::nullopt;
    }

    // Moves past the '>' that ends the tag; a '<' before it, an unclosed
    // quote or the end of the text is a tag the parser refuses too.
    bool tagEnd()
    {
        while (m_position < m_xml.size()) {
            const char c = m_xml[m_position];
            if (c == '>') {
                ++m_position;
                return true;
            }
            if (c == '<') {
                return false;
            }
            if (c == '"') {
                m_position = m_xml.indexOf('"', m_position + 1);
                if (m_position < 0) {
                    return false;
                }
            }
            ++m_position;
        }
        return false;
    }

    const QByteArray &m_xml;
    const int m_maximumDepth;
    qsizetype m_position = 0;
    int m_depth = 0;
    bool m_tooDeep = false;
    Prepared m_prepared;
};

int digits(QByteArrayView text, qsizetype at, qsizetype count)
{
    int value = 0;
    for (qsizetype i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return -1;
        }
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

} // namespace

std::optional<Prepared> prepare(const QByteArray &xml, int maximumTagDepth, Refusal *refusal)
{
    Scanner scanner(xml, maximumTagDepth);
    auto prepared = scanner.run();
    if (!prepared && refusal) {
        *refusal = scanner.tooDeep() ? Refusal::TooDeep : Refusal::Malformed;
    }
    return prepared;
}

std::optional<QDateTime> parseDate(QByteArrayView text)
{
    while (!text.isEmpty() && isSpace(text.front())) {
        text = text.sliced(1);
    }
    while (!text.isEmpty() && isSpace(text.back())) {
        text.chop(1);
    }
    if (text.size() != 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' ||
        text[13] != ':' || text[16] != ':' || text[19] != 'Z') {
        return std::nullopt;
    }
    const QDate date(digits(text, 0, 4), digits(text, 5, 2), digits(text, 8, 2));
    const int hour = digits(text, 11, 2);
    const int minute = digits(text, 14, 2);
    const int second = digits(text, 17, 2);
    if (date.year() < 1 || !date.isValid() || hour < 0 || minute < 0 || second < 0 ||
        !QTime::isValid(hour, minute, second)) {
        return std::nullopt;
    }
    return QDateTime(date, QTime(hour, minute, second), Qt::UTC);
}

std::optional<QByteArray> formatDate(const QDateTime &date)
{
    if (!date.isValid()) {
        return std::nullopt;
    }
    const QDateTime utc = date.toUTC();
    const QDate day = utc.date();
    const QTime time = utc.time();
    if (day.year() < 1 || day.year() > 9999) {
        return std::nullopt;
    }
    char text[32];
    const int length =
        std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", day.year(), day.month(),
                      day.day(), time.hour(), time.minute(), time.second());
    return QByteArray(text, length);
}

QByteArray standIn(qsizetype index)
{
    return formatDate(standInEpoch.addSecs(index)).value_or(QByteArray());
}

std::optional<qsizetype> standInIndex(qint64 secondsSince2001, qsizetype dateCount)
{
    if (secondsSince2001 < 0 || secondsSince2001 >= dateCount) {
        return std::nullopt;
    }
    return qsizetype(secondsSince2001);
}

std::optional<QByteArray> restoreDates(const QByteArray &written, const QList<QDateTime> &dates)
{
    QByteArray out;
    qsizetype copied = 0;
    constexpr QByteArrayView open("<date>");
    for (qsizetype at = written.indexOf(open); at >= 0; at = written.indexOf(open, copied)) {
        const qsizetype textStart = at + open.size();
        const qsizetype textEnd = written.indexOf("</date>", textStart);
        if (textEnd < 0) {
            return std::nullopt;
        }
        const auto standInDate =
            parseDate(QByteArrayView(written).sliced(textStart, textEnd - textStart));
        if (!standInDate) {
            return std::nullopt;
        }
        const auto index = standInIndex(standInEpoch.secsTo(*standInDate), dates.size());
        const auto text = index ? formatDate(dates.at(*index)) : std::nullopt;
        if (!text) {
            return std::nullopt;
        }
        out += QByteArrayView(written).sliced(copied, textStart - copied);
        out += *text;
        copied = textEnd;
    }
    out += QByteArrayView(written).sliced(copied);
    return out;
}

} // namespace PropertyList::XmlText
