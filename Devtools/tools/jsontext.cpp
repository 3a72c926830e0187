#include "jsontext.h"

namespace {

QString quoted(const QString &text)
{
    QString out = QStringLiteral("\"");
    for (QChar c : text) {
        switch (c.unicode()) {
        case '"':
            out += QStringLiteral("\\\"");
            break;
        case '\\':
            out += QStringLiteral("\\\\");
            break;
        case '/':
            out += QStringLiteral("\\/");
            break;
        case '\n':
            out += QStringLiteral("\\n");
            break;
        case '\r':
            out += QStringLiteral("\\r");
            break;
        case '\t':
            out += QStringLiteral("\\t");
            break;
        default:
            if (c.unicode() < 0x20) {
                out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            } else {
                out += c;
            }
        }
    }
    return out + QLatin1Char('"');
}

QString spaces(int indent)
{
    return QString(qsizetype(indent) * 2, QLatin1Char(' '));
}

} // namespace

JsonText JsonText::text(QString value)
{
    JsonText json;
    json.m_text = std::move(value);
    return json;
}

JsonText JsonText::array()
{
    JsonText json;
    json.m_kind = Kind::Array;
    return json;
}

JsonText JsonText::object()
{
    JsonText json;
    json.m_kind = Kind::Object;
    return json;
}

JsonText &JsonText::append(JsonText value)
{
    m_elements.append(std::move(value));
    return *this;
}

JsonText &JsonText::insert(const QString &key, JsonText value)
{
    m_members.append({key, std::move(value)});
    return *this;
}

QString JsonText::toString() const
{
    QString out;
    print(out, 0);
    return out;
}

void JsonText::print(QString &out, int indent) const
{
    if (m_kind == Kind::Text) {
        out += quoted(m_text);
        return;
    }
    const bool isArray = m_kind == Kind::Array;
    out += isArray ? QLatin1Char('[') : QLatin1Char('{');
    out += QLatin1Char('\n');
    const qsizetype count = isArray ? m_elements.size() : m_members.size();
    if (count == 0) {
        out += QLatin1Char('\n');
    }
    for (qsizetype i = 0; i < count; ++i) {
        out += spaces(indent + 1);
        if (isArray) {
            m_elements[i].print(out, indent + 1);
        } else {
            out += quoted(m_members[i].first) + QStringLiteral(" : ");
            m_members[i].second.print(out, indent + 1);
        }
        out += i + 1 < count ? QStringLiteral(",\n") : QStringLiteral("\n");
    }
    out += spaces(indent);
    out += isArray ? QLatin1Char(']') : QLatin1Char('}');
}
