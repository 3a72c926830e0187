#include "stringsfile.h"

#include "Marrowkit/plist/propertylist.h"

#include <QFile>
#include <QStringDecoder>

namespace {

constexpr qint64 maximumTableSize = qint64(4) * 1024 * 1024;

QString decode(const QByteArray &bytes)
{
    if (bytes.startsWith("\xff\xfe") || bytes.startsWith("\xfe\xff")) {
        QStringDecoder decoder(QStringDecoder::Utf16);
        return decoder.decode(bytes);
    }
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder.decode(bytes);
    return decoder.hasError() ? QString() : text;
}

class TextTableParser
{
public:
    explicit TextTableParser(const QString &text) : m_text(text) {}

    std::optional<QVariantMap> parse()
    {
        QVariantMap table;
        for (;;) {
            skipSpaceAndComments();
            if (atEnd()) {
                return table;
            }
            auto key = quoted();
            skipSpaceAndComments();
            if (!key || !take(QLatin1Char('='))) {
                return std::nullopt;
            }
            skipSpaceAndComments();
            auto value = quoted();
            skipSpaceAndComments();
            if (!value || !take(QLatin1Char(';'))) {
                return std::nullopt;
            }
            table.insert(*key, *value);
        }
    }

private:
    bool atEnd() const { return m_at >= m_text.size(); }
    bool take(QChar c)
    {
        if (!atEnd() && m_text[m_at] == c) {
            ++m_at;
            return true;
        }
        return false;
    }
    void skipSpaceAndComments()
    {
        while (!atEnd()) {
            if (m_text[m_at].isSpace() || m_text[m_at] == QChar(0xfeff)) {
                ++m_at;
            } else if (m_text.mid(m_at, 2) == QLatin1String("//")) {
                const qsizetype end = m_text.indexOf(QLatin1Char('\n'), m_at);
                m_at = end < 0 ? m_text.size() : end + 1;
            } else if (m_text.mid(m_at, 2) == QLatin1String("/*")) {
                const qsizetype end = m_text.indexOf(QLatin1String("*/"), m_at + 2);
                m_at = end < 0 ? m_text.size() : end + 2;
            } else {
                return;
            }
        }
    }
    std::optional<QString> quoted()
    {
        if (!take(QLatin1Char('"'))) {
            return std::nullopt;
        }
        QString value;
        while (!atEnd()) {
            const QChar c = m_text[m_at++];
            if (c == QLatin1Char('"')) {
                return value;
            }
            if (c != QLatin1Char('\\')) {
                value += c;
                continue;
            }
            if (atEnd()) {
                return std::nullopt;
            }
            const QChar escaped = m_text[m_at++];
            switch (escaped.unicode()) {
            case 'n':
                value += QLatin1Char('\n');
                break;
            case 't':
                value += QLatin1Char('\t');
                break;
            default:
                value += escaped;
            }
        }
        return std::nullopt;
    }

    const QString &m_text;
    qsizetype m_at = 0;
};

} // namespace

std::optional<QVariantMap> readStringsTable(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > maximumTableSize) {
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    if (auto table = PropertyList::dictionaryFromData(bytes)) {
        return table;
    }
    const QString text = decode(bytes);
    if (text.isEmpty()) {
        return std::nullopt;
    }
    return TextTableParser(text).parse();
}
