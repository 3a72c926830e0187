// JSON printed the way the vendor's tools print it: members in the order they
// were added, two-space indents, "key" : value, "/" escaped, and an empty
// array or object as an opening and closing bracket around an empty line.
// Only what the tools print: texts, arrays and objects.
#pragma once

#include <QList>
#include <QString>

#include <utility>

class JsonText
{
public:
    static JsonText text(QString value);
    static JsonText array();
    static JsonText object();

    // For arrays.
    JsonText &append(JsonText value);
    // For objects; keys keep the order of insertion.
    JsonText &insert(const QString &key, JsonText value);

    QString toString() const;

private:
    enum class Kind { Text, Array, Object };
    void print(QString &out, int indent) const;

    Kind m_kind = Kind::Text;
    QString m_text;
    QList<JsonText> m_elements;
    QList<std::pair<QString, JsonText>> m_members;
};
