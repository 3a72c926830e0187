// Reads XML property lists with a streaming parser and an explicit stack:
// nothing recurses, nesting beyond the limit is refused the moment it is
// reached (long before a deep tree could be built, let alone freed), entity
// declarations are refused outright, and texts are held to the rules of
// plistvalues.h. Dates keep their full range and milliseconds.
#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <optional>

namespace XmlPlistReader {

std::optional<QVariant> read(const QByteArray &data, QString *error);

} // namespace XmlPlistReader
