// Readers of the loosely typed app-data and info dictionaries and the URL
// arithmetic the app's parts share. Internal to the library.
#pragma once

#include <QLatin1String>
#include <QSet>
#include <QStringList>
#include <QUrl>
#include <QVariantMap>

#include <optional>

namespace SimulatorAppValues {

inline const QLatin1String unknownIdentifier("com.unknown.Unknown");
inline const QLatin1String metadataFileName(".com.apple.mobile_container_manager.metadata.plist");
inline const QLatin1String metadataIdentifierKey("MCMMetadataIdentifier");

// The entry `key` when it is text, a dictionary or a local file URL.
std::optional<QString> text(const QVariantMap &map, QLatin1String key);
std::optional<QVariantMap> dictionary(const QVariantMap &map, QLatin1String key);
std::optional<QUrl> fileURL(const QVariantMap &map, QLatin1String key);
// A list whose every element is text.
std::optional<QStringList> texts(const QVariant &value);

// The URL without its last `count` path components.
QUrl upwards(const QUrl &url, int count);
QString lastPathComponent(const QUrl &url);
QUrl appending(const QUrl &folder, const QString &component);

// The names of the files directly inside `folder`: one listing instead of a
// lookup per candidate icon file.
QSet<QString> fileNamesIn(const QString &folder);
// Icon file names come from the app's own Info.plist: they may name a file
// in a subfolder of the bundle, never one outside it.
bool staysInside(const QString &relative);

} // namespace SimulatorAppValues
