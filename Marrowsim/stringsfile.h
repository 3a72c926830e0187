// Reads a localized strings table ("InfoPlist.strings") as the developer
// tools write it: a binary or XML property list, or the old text form of
// lines like  CFBundleDisplayName = "Name";  with quoted or unquoted keys and
// values, comments, escapes, lists, dictionaries and data, in UTF-8 or
// UTF-16. Malformed or oversized tables give nothing.
#pragma once

#include "Marrowsim/marrowsim_export.h"

#include <QByteArray>
#include <QString>
#include <QVariantMap>

#include <optional>

// Strings tables hold a few names; anything larger is not one.
inline constexpr qint64 maximumStringsTableSize = qint64(1024) * 1024;
// Lists and dictionaries nest at most this deep in the text form.
inline constexpr int maximumStringsTableNesting = 64;

// The table in the regular file at `path` (not through a link, never
// blocking on a FIFO, at most maximumStringsTableSize bytes).
MARROWSIM_TESTABLE std::optional<QVariantMap> readStringsTable(const QString &path);
// The table that `bytes` spell.
MARROWSIM_TESTABLE std::optional<QVariantMap> stringsTableFromData(const QByteArray &bytes);
