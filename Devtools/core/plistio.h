// Property-list files of the stand-in, read and written over libplist. The
// stand-in keeps its own small layer rather than the product's, so that the
// framework library it loads into the product's processes carries none of the
// product's code (and cannot mask a fault in it).
//
// Types: dictionary -> QVariantMap, array -> QVariantList, string -> QString,
// integer -> qint64, real -> double, boolean -> bool, date -> QDateTime,
// data -> QByteArray. Input is untrusted: anything malformed gives nothing and
// a reason.
#pragma once

#include <QString>
#include <QVariant>

#include <optional>

namespace PlistIO {

// Files larger than this are refused without being read.
inline constexpr qint64 maximumFileSize = qint64(16) * 1024 * 1024;

std::optional<QVariant> fromData(const QByteArray &data, QString *error = nullptr);
std::optional<QVariant> read(const QString &path, QString *error = nullptr);
std::optional<QVariantMap> readDictionary(const QString &path, QString *error = nullptr);

std::optional<QByteArray> toXml(const QVariant &value);
// Writes XML atomically: a reader sees the old file or the new one, never part.
bool writeXml(const QString &path, const QVariant &value, QString *error = nullptr);

} // namespace PlistIO
