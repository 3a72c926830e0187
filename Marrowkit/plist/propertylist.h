// Reading and writing property lists (XML and binary) as Qt values, over
// libplist. Every property list of the system is read through here.
//
// Types: dictionary -> QVariantMap, array -> QVariantList, string -> QString,
// integer -> qint64, real -> double,
// boolean -> bool, date -> QDateTime (UTC), data -> QByteArray,
// keyed-archive reference -> PropertyListUid.
//
// Input is untrusted: malformed, truncated or hostile data is refused with a
// PropertyListError that says why (propertylisterror.h).
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include "Marrowkit/foundation/result.h"

#include <QByteArray>
#include <QMetaType>
#include <QString>
#include <QVariant>

#include <algorithm>

// A keyed-archive object reference ("CF$UID").
struct MARROWKIT_EXPORT PropertyListUid
{
    quint64 value = 0;
    bool operator==(const PropertyListUid &other) const { return value == other.value; }
};
Q_DECLARE_METATYPE(PropertyListUid)

namespace PropertyList {

enum class Format { Xml, Binary };

// Limits that keep hostile input from exhausting the stack or memory.
inline constexpr int maximumDepth = 256;
inline constexpr qsizetype maximumInputSize = qsizetype(256) * 1024 * 1024;

// How many values (every list, dictionary, key and leaf, an object referred
// to n times counted n times) a decoded value may expand to. Readers hand out
// one shared value for an object that many references name, but whoever
// walks the result (a writer, a comparison) sees every copy: a few hundred
// bytes of references to references would otherwise expand beyond memory.
inline constexpr quint64 maximumExpandedSize(qsizetype inputSize)
{
    return std::max(quint64(1) << 20, 8 * quint64(std::max(inputSize, qsizetype(0))));
}

MARROWKIT_EXPORT Result<QVariant> fromData(const QByteArray &data);
// Only a regular file (a final link is followed) of at most maximumInputSize.
MARROWKIT_EXPORT Result<QVariant> fromFile(const QString &path);
// The root must be a dictionary; anything else is refused.
MARROWKIT_EXPORT Result<QVariantMap> dictionaryFromData(const QByteArray &data);
MARROWKIT_EXPORT Result<QVariantMap> dictionaryFromFile(const QString &path);

// Values that have no property-list form (an invalid QVariant, an unsupported
// type, a dictionary key that is not text) are refused.
MARROWKIT_EXPORT Result<QByteArray> toData(const QVariant &value, Format format);
// Writes atomically (temporary file, then rename).
MARROWKIT_EXPORT Result<Unit> writeFile(const QString &path, const QVariant &value, Format format);

} // namespace PropertyList
