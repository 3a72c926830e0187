#include "xmlplistreader.h"

#include "plistvalues.h"

#include <QDateTime>
#include <QXmlStreamReader>

#include <cmath>
#include <limits>
#include <vector>

namespace {

struct Container
{
    bool isDictionary = false;
    QVariantList list;
    QVariantMap map;
    QString key;
    bool hasKey = false;
};

class Reader
{
public:
    explicit Reader(const QByteArray &data) : m_xml(data), m_budget(data.size()) {}

    std::optional<QVariant> read(QString *error);

private:
    bool fail(const QString &why)
    {
        if (m_error.isEmpty()) {
            m_error = why;
        }
        return false;
    }
    bool startElement();
    bool endElement();
    bool readText(QString *text);
    bool readScalar(QStringView name, QVariant *value);
    bool add(const QVariant &value);

    QXmlStreamReader m_xml;
    QString m_error;
    std::vector<Container> m_stack;
    std::optional<QVariant> m_root;
    bool m_inPlist = false;
    bool m_plistClosed = false;
    PlistValues::Budget m_budget;
};

std::optional<QVariant> integerFromText(QStringView text)
{
    text = text.trimmed();
    bool ok = false;
    if (text.startsWith(QLatin1Char('-'))) {
        const qint64 value = text.toLongLong(&ok, 10);
        return ok ? std::optional<QVariant>(value) : std::nullopt;
    }
    const bool hex = text.startsWith(QLatin1String("0x")) || text.startsWith(QLatin1String("0X"));
    const qulonglong value = hex ? text.mid(2).toULongLong(&ok, 16) : text.toULongLong(&ok, 10);
    if (!ok || (hex && text.size() == 2)) {
        return std::nullopt;
    }
    if (value <= qulonglong(std::numeric_limits<qint64>::max())) {
        return QVariant(qint64(value));
    }
    return QVariant(value);
}

std::optional<double> realFromText(QStringView text)
{
    text = text.trimmed();
    const QString lower = text.toString().toLower();
    if (lower == QLatin1String("nan")) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    if (lower == QLatin1String("inf") || lower == QLatin1String("+inf") ||
        lower == QLatin1String("infinity") || lower == QLatin1String("+infinity")) {
        return std::numeric_limits<double>::infinity();
    }
    if (lower == QLatin1String("-inf") || lower == QLatin1String("-infinity")) {
        return -std::numeric_limits<double>::infinity();
    }
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok && std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
}

std::optional<QByteArray> dataFromText(QStringView text)
{
    QByteArray compact;
    compact.reserve(text.size());
    for (QChar c : text) {
        if (c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n') ||
            c == QLatin1Char('\r')) {
            continue;
        }
        if (c.unicode() > 0x7e) {
            return std::nullopt;
        }
        compact.append(char(c.unicode()));
    }
    auto decoded = QByteArray::fromBase64Encoding(
        compact, QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded) {
        return std::nullopt;
    }
    return *decoded;
}

// The text of the current element up to its end; comments may interleave,
// elements and entity references may not.
bool Reader::readText(QString *text)
{
    for (;;) {
        switch (m_xml.readNext()) {
        case QXmlStreamReader::Characters:
            *text += m_xml.text();
            break;
        case QXmlStreamReader::Comment:
        case QXmlStreamReader::ProcessingInstruction:
            break;
        case QXmlStreamReader::EndElement:
            if (!PlistValues::canCarry(*text)) {
                return fail(
                    QStringLiteral("a text holds a character a property list cannot carry"));
            }
            return true;
        case QXmlStreamReader::Invalid:
            return fail(m_xml.errorString());
        default:
            return fail(QStringLiteral("unexpected markup inside <%1>").arg(m_xml.name()));
        }
    }
}

bool Reader::readScalar(QStringView name, QVariant *value)
{
    QString text;
    if (!readText(&text)) {
        return false;
    }
    if (name == QLatin1String("string")) {
        *value = text;
    } else if (name == QLatin1String("true") || name == QLatin1String("false")) {
        if (!text.trimmed().isEmpty()) {
            return fail(QStringLiteral("<%1/> holds text").arg(name));
        }
        *value = name == QLatin1String("true");
    } else if (name == QLatin1String("integer")) {
        const auto integer = integerFromText(text);
        if (!integer) {
            return fail(QStringLiteral("invalid <integer>: %1").arg(text.left(40)));
        }
        *value = *integer;
    } else if (name == QLatin1String("real")) {
        const auto real = realFromText(text);
        if (!real) {
            return fail(QStringLiteral("invalid <real>: %1").arg(text.left(40)));
        }
        *value = *real;
    } else if (name == QLatin1String("date")) {
        const auto date = PlistValues::dateFromXmlText(text);
        if (!date) {
            return fail(QStringLiteral("invalid <date>: %1").arg(text.left(40)));
        }
        *value = *date;
    } else if (name == QLatin1String("data")) {
        const auto data = dataFromText(text);
        if (!data) {
            return fail(QStringLiteral("invalid <data>"));
        }
        *value = *data;
    } else {
        return fail(QStringLiteral("unknown element <%1>").arg(name));
    }
    using PlistValues::Budget;
    const qint64 payload = value->typeId() == QMetaType::QByteArray
                               ? Budget::dataCost(value->toByteArray().size())
                               : Budget::textCost(text.size());
    return m_budget.charge(Budget::valueCost(int(m_stack.size())) + payload) ||
           fail(QStringLiteral("property list too large"));
}

bool Reader::add(const QVariant &value)
{
    if (m_stack.empty()) {
        if (m_root) {
            return fail(QStringLiteral("<plist> holds more than one value"));
        }
        m_root = value;
        return true;
    }
    Container &top = m_stack.back();
    if (top.isDictionary) {
        top.map.insert(top.key, value);
        top.hasKey = false;
    } else {
        top.list.append(value);
    }
    return true;
}

bool Reader::startElement()
{
    const QStringView name = m_xml.name();
    if (!m_inPlist) {
        if (name != QLatin1String("plist") || m_plistClosed) {
            return fail(QStringLiteral("not a property list (root <%1>)").arg(name));
        }
        m_inPlist = true;
        return true;
    }
    if (m_stack.empty() && m_root) {
        return fail(QStringLiteral("<plist> holds more than one value"));
    }
    const bool inDictionary = !m_stack.empty() && m_stack.back().isDictionary;
    if (inDictionary && !m_stack.back().hasKey) {
        if (name != QLatin1String("key")) {
            return fail(QStringLiteral("<%1> where a dictionary needs a <key>").arg(name));
        }
        Container &top = m_stack.back();
        top.key.clear();
        top.hasKey = readText(&top.key);
        return top.hasKey && (m_budget.charge(PlistValues::Budget::valueCost(int(m_stack.size())) +
                                              PlistValues::Budget::textCost(top.key.size())) ||
                              fail(QStringLiteral("property list too large")));
    }
    if (name == QLatin1String("array") || name == QLatin1String("dict")) {
        if (int(m_stack.size()) >= PlistValues::maximumDepth) {
            return fail(QStringLiteral("property list nested too deeply"));
        }
        if (!m_budget.charge(PlistValues::Budget::valueCost(int(m_stack.size())))) {
            return fail(QStringLiteral("property list too large"));
        }
        Container container;
        container.isDictionary = name == QLatin1String("dict");
        m_stack.push_back(std::move(container));
        return true;
    }
    QVariant value;
    return readScalar(name, &value) && add(value);
}

bool Reader::endElement()
{
    if (m_stack.empty()) {
        // Only </plist> ends outside a container (scalars end in readText).
        if (!m_root) {
            return fail(QStringLiteral("<plist> holds no value"));
        }
        m_inPlist = false;
        m_plistClosed = true;
        return true;
    }
    Container top = std::move(m_stack.back());
    m_stack.pop_back();
    if (top.isDictionary && top.hasKey) {
        return fail(QStringLiteral("<key>%1</key> without a value").arg(top.key.left(40)));
    }
    return add(top.isDictionary ? QVariant(top.map) : QVariant(top.list));
}

std::optional<QVariant> Reader::read(QString *error)
{
    bool ok = true;
    while (ok && !m_xml.atEnd()) {
        switch (m_xml.readNext()) {
        case QXmlStreamReader::StartElement:
            ok = startElement();
            break;
        case QXmlStreamReader::EndElement:
            ok = endElement();
            break;
        case QXmlStreamReader::Characters:
            ok = m_xml.isWhitespace() || fail(QStringLiteral("text outside a value"));
            break;
        case QXmlStreamReader::DTD:
            // Entities could expand a small file into a huge one: none at all.
            ok = (m_xml.entityDeclarations().isEmpty() && m_xml.notationDeclarations().isEmpty()) ||
                 fail(QStringLiteral("property lists may not declare entities"));
            break;
        case QXmlStreamReader::EntityReference:
            ok = fail(QStringLiteral("unknown entity &%1;").arg(m_xml.name()));
            break;
        case QXmlStreamReader::Invalid:
            ok = fail(m_xml.errorString());
            break;
        default:
            break;
        }
    }
    if (ok && (m_xml.hasError() || !m_plistClosed)) {
        ok = fail(m_xml.hasError() ? m_xml.errorString() : QStringLiteral("no <plist> element"));
    }
    if (!ok) {
        if (error) {
            *error = QStringLiteral("XML property list: %1").arg(m_error);
        }
        return std::nullopt;
    }
    return m_root;
}

} // namespace

namespace XmlPlistReader {

std::optional<QVariant> read(const QByteArray &data, QString *error)
{
    return Reader(data).read(error);
}

} // namespace XmlPlistReader
