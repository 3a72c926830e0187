// Writes values as XML property lists in the customary layout (tab
// indents, the Apple DTD line). Refuses, with a reason, anything the readers
// would not give back unchanged: a type without a property-list form, a text
// with characters XML cannot carry, a date outside the years 1 to 9999,
// nesting beyond the limit, more than PlistValues::maximumDocumentBytes.
//
// Types: QVariantMap, QVariantList, QStringList, QString, bool, the integer
// types, double, QDateTime, QByteArray.
#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <optional>

namespace XmlPlistWriter {

std::optional<QByteArray> write(const QVariant &value, QString *error);

} // namespace XmlPlistWriter
