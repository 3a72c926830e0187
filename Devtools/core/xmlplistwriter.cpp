#include "xmlplistwriter.h"

#include "plistvalues.h"

#include <QDateTime>
#include <QLocale>

#include <cmath>

namespace {

class Writer
{
public:
    bool write(const QVariant &value, int depth);
    QByteArray &output() { return m_output; }
    QString error() const { return m_error; }

private:
    bool fail(const QString &why)
    {
        m_error = why;
        return false;
    }
    void indent(int depth) { m_output.append(QByteArray(depth, '\t')); }
    bool writeText(const char *element, const QString &text, int depth);
    bool writeDictionary(const QVariantMap &map, int depth);
    bool writeArray(const QVariantList &list, int depth);
    void writeScalar(const char *element, const QByteArray &text, int depth);

    QByteArray m_output;
    QString m_error;
};

QByteArray escaped(const QString &text)
{
    QByteArray out;
    const QByteArray utf8 = text.toUtf8();
    out.reserve(utf8.size());
    for (char c : utf8) {
        switch (c) {
        case '&':
            out.append("&amp;");
            break;
        case '<':
            out.append("&lt;");
            break;
        case '>':
            out.append("&gt;");
            break;
        case '\r':
            // A raw carriage return would come back as a line feed.
            out.append("&#13;");
            break;
        default:
            out.append(c);
        }
    }
    return out;
}

QByteArray realText(double value)
{
    if (std::isnan(value)) {
        return "nan";
    }
    if (std::isinf(value)) {
        return value > 0 ? "+infinity" : "-infinity";
    }
    if (value == 0 && std::signbit(value)) {
        return "-0";
    }
    // The shortest text that reads back as exactly this double.
    return QByteArray::number(value, 'g', QLocale::FloatingPointShortest);
}

void Writer::writeScalar(const char *element, const QByteArray &text, int depth)
{
    indent(depth);
    m_output.append('<').append(element).append('>');
    m_output.append(text);
    m_output.append("</").append(element).append(">\n");
}

bool Writer::writeText(const char *element, const QString &text, int depth)
{
    if (!PlistValues::canCarry(text)) {
        return fail(QStringLiteral("a text holds NUL or another character XML cannot carry"));
    }
    writeScalar(element, escaped(text), depth);
    return true;
}

bool Writer::writeDictionary(const QVariantMap &map, int depth)
{
    indent(depth);
    if (map.isEmpty()) {
        m_output.append("<dict/>\n");
        return true;
    }
    m_output.append("<dict>\n");
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        if (!writeText("key", it.key(), depth + 1) || !write(it.value(), depth + 1)) {
            return false;
        }
    }
    indent(depth);
    m_output.append("</dict>\n");
    return true;
}

bool Writer::writeArray(const QVariantList &list, int depth)
{
    indent(depth);
    if (list.isEmpty()) {
        m_output.append("<array/>\n");
        return true;
    }
    m_output.append("<array>\n");
    for (const QVariant &element : list) {
        if (!write(element, depth + 1)) {
            return false;
        }
    }
    indent(depth);
    m_output.append("</array>\n");
    return true;
}

// `depth` counts the containers around the value (the top one is 0).
bool Writer::write(const QVariant &value, int depth)
{
    if (m_output.size() > PlistValues::maximumDocumentBytes) {
        return fail(QStringLiteral("value too large for a property list"));
    }
    switch (value.typeId()) {
    case QMetaType::QVariantMap:
    case QMetaType::QVariantList:
    case QMetaType::QStringList:
        if (depth >= PlistValues::maximumDepth) {
            return fail(QStringLiteral("value nested too deeply"));
        }
        return value.typeId() == QMetaType::QVariantMap ? writeDictionary(value.toMap(), depth)
                                                        : writeArray(value.toList(), depth);
    case QMetaType::QString:
        return writeText("string", value.toString(), depth);
    case QMetaType::Bool:
        indent(depth);
        m_output.append(value.toBool() ? "<true/>\n" : "<false/>\n");
        return true;
    case QMetaType::Int:
    case QMetaType::LongLong:
        writeScalar("integer", QByteArray::number(value.toLongLong()), depth);
        return true;
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        writeScalar("integer", QByteArray::number(value.toULongLong()), depth);
        return true;
    case QMetaType::Double:
    case QMetaType::Float:
        writeScalar("real", realText(value.toDouble()), depth);
        return true;
    case QMetaType::QByteArray:
        writeScalar("data", value.toByteArray().toBase64(), depth);
        return true;
    case QMetaType::QDateTime: {
        const auto text = PlistValues::dateToXmlText(value.toDateTime());
        if (!text) {
            return fail(QStringLiteral("date outside the years 1 to 9999"));
        }
        writeScalar("date", *text, depth);
        return true;
    }
    default:
        return fail(QStringLiteral("a %1 has no property-list form")
                        .arg(QString::fromLatin1(value.typeName() ? value.typeName() : "null")));
    }
}

} // namespace

namespace XmlPlistWriter {

std::optional<QByteArray> write(const QVariant &value, QString *error)
{
    Writer writer;
    writer.output() = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                      "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                      "<plist version=\"1.0\">\n";
    if (!writer.write(value, 0)) {
        if (error) {
            *error = writer.error();
        }
        return std::nullopt;
    }
    writer.output().append("</plist>\n");
    return writer.output();
}

} // namespace XmlPlistWriter
