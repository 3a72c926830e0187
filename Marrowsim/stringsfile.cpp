#include "stringsfile.h"

#include "Marrowkit/platform/saferead.h"
#include "Marrowkit/plist/propertylist.h"

#include <QStringDecoder>

#include <algorithm>

namespace {

// No name holds NUL or half a surrogate pair; escapes could spell either.
bool isWellFormed(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isNull() || c.isLowSurrogate()) {
            return false;
        }
        if (c.isHighSurrogate()) {
            if (i + 1 >= text.size() || !text.at(i + 1).isLowSurrogate()) {
                return false;
            }
            ++i;
        }
    }
    return true;
}

// Whether every text in a value read from a property list, keys included,
// is well formed: the binary form can spell NUL and half pairs too.
bool holdsWellFormedTexts(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::QString:
        return isWellFormed(value.toString());
    case QMetaType::QVariantList: {
        const QVariantList items = value.toList();
        return std::all_of(items.cbegin(), items.cend(), holdsWellFormedTexts);
    }
    case QMetaType::QVariantMap: {
        const QVariantMap map = value.toMap();
        for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
            if (!isWellFormed(it.key()) || !holdsWellFormedTexts(it.value())) {
                return false;
            }
        }
        return true;
    }
    default:
        return true;
    }
}

// Strict decoding: a byte sequence that is not valid in the encoding gives
// nothing.
std::optional<QString> decodeStrictly(QByteArrayView bytes, QStringConverter::Encoding encoding)
{
    QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError() || !isWellFormed(text)) {
        return std::nullopt;
    }
    return text;
}

// UTF-16 when a byte-order mark says so, or when the text starts with an
// ASCII character spelled in two bytes (tables written without a mark);
// UTF-8 otherwise.
std::optional<QString> decode(QByteArrayView bytes)
{
    if (bytes.startsWith("\xef\xbb\xbf")) {
        return decodeStrictly(bytes.sliced(3), QStringConverter::Utf8);
    }
    if (bytes.startsWith("\xff\xfe") || bytes.startsWith("\xfe\xff")) {
        if (bytes.size() % 2 != 0) {
            return std::nullopt;
        }
        return decodeStrictly(bytes.sliced(2), bytes.front() == '\xff' ? QStringConverter::Utf16LE
                                                                       : QStringConverter::Utf16BE);
    }
    if (bytes.size() >= 2 && bytes.size() % 2 == 0 && (bytes[0] == 0) != (bytes[1] == 0)) {
        return decodeStrictly(bytes, bytes[0] == 0 ? QStringConverter::Utf16BE
                                                   : QStringConverter::Utf16LE);
    }
    return decodeStrictly(bytes, QStringConverter::Utf8);
}

// The old text property-list form. Every step either consumes what it
// recognises or fails; failures give nothing for the whole table.
class TextTableParser
{
public:
    explicit TextTableParser(const QString &text) : m_text(text) {}

    std::optional<QVariantMap> parse()
    {
        if (!skipSpaceAndComments()) {
            return std::nullopt;
        }
        if (peek() == QLatin1Char('{')) {
            auto value = dictionary(0);
            if (!value || !skipSpaceAndComments() || !atEnd()) {
                return std::nullopt;
            }
            return value;
        }
        return entries(std::nullopt, 0);
    }

private:
    bool atEnd() const { return m_at >= m_text.size(); }
    QChar peek() const { return atEnd() ? QChar() : m_text.at(m_at); }
    bool take(QLatin1Char c)
    {
        if (peek() == c) {
            ++m_at;
            return true;
        }
        return false;
    }

    // False for a block comment without its end.
    bool skipSpaceAndComments()
    {
        while (!atEnd()) {
            const QChar c = m_text.at(m_at);
            if (c.isSpace() || c == QChar(0xfeff)) {
                ++m_at;
            } else if (QStringView(m_text).sliced(m_at).startsWith(u"//")) {
                while (!atEnd() && !isLineEnd(m_text.at(m_at))) {
                    ++m_at;
                }
            } else if (QStringView(m_text).sliced(m_at).startsWith(u"/*")) {
                const qsizetype end = m_text.indexOf(QLatin1String("*/"), m_at + 2);
                if (end < 0) {
                    return false;
                }
                m_at = end + 2;
            } else {
                break;
            }
        }
        return true;
    }

    static bool isLineEnd(QChar c)
    {
        return c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar(0x2028) ||
               c == QChar(0x2029);
    }

    static bool isUnquotedCharacter(QChar c)
    {
        const char16_t u = c.unicode();
        return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') ||
               u == '_' || u == '$' || u == '/' || u == ':' || u == '.' || u == '-';
    }

    // `key = value;` entries up to `end` (or the end of the text at the top
    // level, where `key;` also stands for `key = key;`). Later keys replace
    // earlier ones.
    std::optional<QVariantMap> entries(std::optional<QLatin1Char> end, int depth)
    {
        QVariantMap table;
        for (;;) {
            if (!skipSpaceAndComments()) {
                return std::nullopt;
            }
            if (end ? take(*end) : atEnd()) {
                return table;
            }
            const auto key = string();
            if (!key || !skipSpaceAndComments()) {
                return std::nullopt;
            }
            if (!end && take(QLatin1Char(';'))) {
                table.insert(*key, *key);
                continue;
            }
            if (!take(QLatin1Char('=')) || !skipSpaceAndComments()) {
                return std::nullopt;
            }
            auto value = this->value(depth + 1);
            if (!value || !skipSpaceAndComments() || !take(QLatin1Char(';'))) {
                return std::nullopt;
            }
            table.insert(*key, *value);
        }
    }

    std::optional<QVariant> value(int depth)
    {
        if (depth > maximumStringsTableNesting) {
            return std::nullopt;
        }
        switch (peek().unicode()) {
        case '{':
            if (auto map = dictionary(depth)) {
                return QVariant(*map);
            }
            return std::nullopt;
        case '(':
            return list(depth);
        case '<':
            return data();
        default:
            if (auto text = string()) {
                return QVariant(*text);
            }
            return std::nullopt;
        }
    }

    std::optional<QVariantMap> dictionary(int depth)
    {
        if (!take(QLatin1Char('{'))) {
            return std::nullopt;
        }
        return entries(QLatin1Char('}'), depth);
    }

    // ( value, value, ... ) with an optional comma before the end.
    std::optional<QVariant> list(int depth)
    {
        take(QLatin1Char('('));
        QVariantList items;
        for (;;) {
            if (!skipSpaceAndComments()) {
                return std::nullopt;
            }
            if (take(QLatin1Char(')'))) {
                return items;
            }
            auto item = value(depth + 1);
            if (!item || !skipSpaceAndComments()) {
                return std::nullopt;
            }
            items.append(*item);
            if (take(QLatin1Char(')'))) {
                return items;
            }
            if (!take(QLatin1Char(','))) {
                return std::nullopt;
            }
        }
    }

    // < hex digits in pairs, spaces anywhere >
    std::optional<QVariant> data()
    {
        take(QLatin1Char('<'));
        QByteArray bytes;
        int pending = -1;
        while (!atEnd()) {
            const QChar c = m_text.at(m_at++);
            if (c == QLatin1Char('>')) {
                return pending < 0 ? std::optional<QVariant>(bytes) : std::nullopt;
            }
            if (c.isSpace()) {
                continue;
            }
            const int digit = hexDigit(c);
            if (digit < 0) {
                return std::nullopt;
            }
            if (pending < 0) {
                pending = digit;
            } else {
                bytes.append(char(pending * 16 + digit));
                pending = -1;
            }
        }
        return std::nullopt;
    }

    static int hexDigit(QChar c)
    {
        const char16_t u = c.unicode();
        if (u >= '0' && u <= '9') {
            return u - '0';
        }
        if (u >= 'a' && u <= 'f') {
            return u - 'a' + 10;
        }
        if (u >= 'A' && u <= 'F') {
            return u - 'A' + 10;
        }
        return -1;
    }

    std::optional<QString> string()
    {
        const QChar first = peek();
        if (first == QLatin1Char('"') || first == QLatin1Char('\'')) {
            return quoted();
        }
        const qsizetype start = m_at;
        while (!atEnd() && isUnquotedCharacter(m_text.at(m_at))) {
            ++m_at;
        }
        if (m_at == start) {
            return std::nullopt;
        }
        return m_text.mid(start, m_at - start);
    }

    std::optional<QString> quoted()
    {
        const QChar quote = m_text.at(m_at++);
        QString value;
        while (!atEnd()) {
            const QChar c = m_text.at(m_at++);
            if (c == quote) {
                return isWellFormed(value) ? std::optional<QString>(value) : std::nullopt;
            }
            if (c != QLatin1Char('\\')) {
                value += c;
            } else if (!escaped(value)) {
                return std::nullopt;
            }
        }
        return std::nullopt;
    }

    // The character after a backslash, appended to `value`.
    bool escaped(QString &value)
    {
        if (atEnd()) {
            return false;
        }
        const QChar c = m_text.at(m_at++);
        switch (c.unicode()) {
        case 'a':
            value += QChar(0x07);
            return true;
        case 'b':
            value += QChar(0x08);
            return true;
        case 'f':
            value += QChar(0x0c);
            return true;
        case 'n':
            value += QChar(0x0a);
            return true;
        case 'r':
            value += QChar(0x0d);
            return true;
        case 't':
            value += QChar(0x09);
            return true;
        case 'v':
            value += QChar(0x0b);
            return true;
        case 'U':
            return unicodeEscape(value);
        default:
            break;
        }
        if (c >= QLatin1Char('0') && c <= QLatin1Char('7')) {
            return octalEscape(c, value);
        }
        value += c; // \" \' \\ and any other character stand for themselves
        return true;
    }

    // \U and one to four hex digits: one UTF-16 unit. Pairs are checked when
    // the string ends.
    bool unicodeEscape(QString &value)
    {
        int unit = 0;
        int digits = 0;
        while (digits < 4 && !atEnd() && hexDigit(m_text.at(m_at)) >= 0) {
            unit = unit * 16 + hexDigit(m_text.at(m_at++));
            ++digits;
        }
        if (digits == 0) {
            return false;
        }
        value += QChar(char16_t(unit));
        return true;
    }

    // One to three octal digits naming an ASCII character. Values above
    // 0177 name characters of an old encoding that no table written today
    // uses; they are refused rather than guessed at.
    bool octalEscape(QChar first, QString &value)
    {
        int code = first.unicode() - '0';
        for (int digits = 1; digits < 3 && !atEnd(); ++digits) {
            const char16_t next = m_text.at(m_at).unicode();
            if (next < '0' || next > '7') {
                break;
            }
            code = code * 8 + (next - '0');
            ++m_at;
        }
        if (code == 0 || code > 0177) {
            return false;
        }
        value += QChar(char16_t(code));
        return true;
    }

    const QString &m_text;
    qsizetype m_at = 0;
};

// Property lists announce themselves: binary ones by their magic, XML ones
// by their first character. The text form can start with neither.
bool looksLikePropertyList(const QByteArray &bytes)
{
    if (bytes.startsWith("bplist")) {
        return true;
    }
    const QByteArray start = bytes.startsWith("\xef\xbb\xbf") ? bytes.mid(3) : bytes;
    return start.trimmed().startsWith('<');
}

} // namespace

std::optional<QVariantMap> stringsTableFromData(const QByteArray &bytes)
{
    if (bytes.size() > maximumStringsTableSize) {
        return std::nullopt;
    }
    if (looksLikePropertyList(bytes)) {
        auto table = PropertyList::dictionaryFromData(bytes).value();
        if (!table || !holdsWellFormedTexts(*table)) {
            return std::nullopt;
        }
        return table;
    }
    const auto text = decode(bytes);
    if (!text) {
        return std::nullopt;
    }
    return TextTableParser(*text).parse();
}

std::optional<QVariantMap> readStringsTable(const QString &path)
{
    // Tables live in app bundles that anyone who can install an app shapes:
    // never through a link, never blocking, never large.
    const auto bytes =
        SafeRead::readRegularFile(path, maximumStringsTableSize, SafeRead::Links::Refuse);
    if (bytes.isFailure()) {
        return std::nullopt;
    }
    return stringsTableFromData(*bytes.value());
}
