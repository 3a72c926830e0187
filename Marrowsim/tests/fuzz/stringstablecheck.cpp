#include "stringstablecheck.h"

#include "stringsfile.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>

namespace stringstablefuzz {

namespace {

QString quoted(const QString &text)
{
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '"':
            out += QStringLiteral("\\\"");
            break;
        case '\\':
            out += QStringLiteral("\\\\");
            break;
        case '\n':
            out += QStringLiteral("\\n");
            break;
        default:
            if (c.unicode() < 0x20 || c.unicode() == 0x7f) {
                out += QStringLiteral("\\U%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            } else {
                out += c;
            }
        }
    }
    return out + QLatin1Char('"');
}

QString valueText(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::QVariantList: {
        QStringList items;
        for (const QVariant &item : value.toList()) {
            items.append(valueText(item));
        }
        return QLatin1Char('(') + items.join(QStringLiteral(", ")) + QLatin1Char(')');
    }
    case QMetaType::QVariantMap: {
        QString text = QStringLiteral("{ ");
        const QVariantMap map = value.toMap();
        for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
            text += quoted(it.key()) + QStringLiteral(" = ") + valueText(it.value()) +
                    QStringLiteral("; ");
        }
        return text + QLatin1Char('}');
    }
    case QMetaType::QByteArray:
        return QLatin1Char('<') + QString::fromLatin1(value.toByteArray().toHex()) +
               QLatin1Char('>');
    default:
        return quoted(value.toString());
    }
}

// Whether every value is one the text form can spell.
bool isTextFormValue(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::QString:
    case QMetaType::QByteArray:
        return true;
    case QMetaType::QVariantList: {
        const QVariantList items = value.toList();
        return std::all_of(items.cbegin(), items.cend(), isTextFormValue);
    }
    case QMetaType::QVariantMap: {
        const QVariantMap map = value.toMap();
        return std::all_of(map.cbegin(), map.cend(), isTextFormValue);
    }
    default:
        return false;
    }
}

bool isWellFormed(const QString &text)
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

bool allTextsWellFormed(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::QString:
        return isWellFormed(value.toString());
    case QMetaType::QVariantList: {
        const QVariantList items = value.toList();
        return std::all_of(items.cbegin(), items.cend(), allTextsWellFormed);
    }
    case QMetaType::QVariantMap: {
        const QVariantMap map = value.toMap();
        for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
            if (!isWellFormed(it.key()) || !allTextsWellFormed(it.value())) {
                return false;
            }
        }
        return true;
    }
    default:
        return true;
    }
}

QByteArray utf16(const QString &text, QStringEncoder::Encoding encoding)
{
    QStringEncoder encoder(encoding, QStringEncoder::Flag::WriteBom);
    return encoder.encode(text);
}

// Whether the reader would take `data` for text: no property-list magic,
// no byte-order mark, no NUL (which would make it look like UTF-16), and
// valid UTF-8.
std::optional<QString> plainText(const QByteArray &data)
{
    const QByteArray trimmed = data.trimmed();
    if (data.contains('\0') || data.startsWith("bplist") || trimmed.startsWith('<') ||
        data.startsWith("\xef\xbb\xbf")) {
        return std::nullopt;
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(data);
    if (decoder.hasError()) {
        return std::nullopt;
    }
    return text;
}

} // namespace

QString textForm(const QVariantMap &table)
{
    QString text;
    for (auto it = table.constBegin(); it != table.constEnd(); ++it) {
        text += quoted(it.key()) + QStringLiteral(" = ") + valueText(it.value()) +
                QStringLiteral(";\n");
    }
    return text;
}

std::optional<std::string> check(const QByteArray &data)
{
    const auto table = stringsTableFromData(data);
    if (table) {
        if (!allTextsWellFormed(*table)) {
            return "the table holds a text that is not well formed";
        }
        if (isTextFormValue(*table)) {
            const QString text = textForm(*table);
            for (const QByteArray &written : {text.toUtf8(), utf16(text, QStringEncoder::Utf16LE),
                                              utf16(text, QStringEncoder::Utf16BE)}) {
                if (written.size() <= maximumStringsTableSize &&
                    stringsTableFromData(written) != table) {
                    return "the table written in the text form reads differently";
                }
            }
        }
    }
    if (const auto text = plainText(data)) {
        const QByteArray wide = utf16(*text, QStringEncoder::Utf16LE);
        if (wide.size() <= maximumStringsTableSize && stringsTableFromData(wide) != table) {
            return "the same text in UTF-16 reads differently";
        }
    }
    return std::nullopt;
}

} // namespace stringstablefuzz
