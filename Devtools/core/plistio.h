// Property-list files of the stand-in. The stand-in keeps its own small layer
// rather than the product's, so that the framework library it loads into the
// product's processes carries none of the product's code (and cannot mask a
// fault in it). Nor does it use libplist: its readers assert on NUL
// characters, recurse without bound and cut dates to 32 bits, and the
// stand-in reads files anyone may have planted.
//
// Types: dictionary -> QVariantMap, array -> QVariantList, string -> QString,
// integer -> qint64 (qulonglong above its range), real -> double, boolean ->
// bool, date -> QDateTime (UTC), data -> QByteArray. Input is untrusted:
// anything malformed, too deep or too large gives nothing and a reason. What
// the readers return, writeXml writes and the readers give back unchanged.
#pragma once

#include "plistvalues.h"

#include <QString>
#include <QVariant>

#include <optional>

namespace PlistIO {

// Size limits by kind of file; larger files are refused unread.
// A device.plist, a container's metadata, a profile, the plug-in registry:
inline constexpr qint64 recordSizeLimit = qint64(64) * 1024;
// An application's Info.plist or entitlements, an Xcode's Info.plist:
inline constexpr qint64 bundleSizeLimit = qint64(4) * 1024 * 1024;
// Anything, read from memory (and anything written):
inline constexpr qint64 maximumFileSize = PlistValues::maximumDocumentBytes;

// XML or binary ("bplist00"), told apart by the first bytes.
std::optional<QVariant> fromData(const QByteArray &data, QString *error = nullptr);
// Reads a regular file only (SafeFile::read: no links, FIFOs or devices).
std::optional<QVariant> read(const QString &path, qint64 sizeLimit, QString *error = nullptr);
std::optional<QVariantMap> readDictionary(const QString &path, qint64 sizeLimit,
                                          QString *error = nullptr);

std::optional<QByteArray> toXml(const QVariant &value, QString *error = nullptr);
// Writes XML atomically: a reader sees the old file or the new one, never part.
bool writeXml(const QString &path, const QVariant &value, QString *error = nullptr);

} // namespace PlistIO
