// A program's user-visible texts: looked up by dotted key in the string
// table of its own bundle (Contents/Resources/en.lproj/Localizable.strings, a
// property list of texts), falling back to the English text in the code.
//
// Threads: the table is read once, on first use, under a lock; lookups are
// safe from any thread.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include <QString>

namespace StringTable {

MARROWKIT_EXPORT QString localizedString(const QString &key, const QString &englishDefault);
// The same for texts written in the code: a Latin-1 key and a UTF-8 default.
MARROWKIT_EXPORT QString localizedString(const char *key, const char *englishDefault);
// The text with its first "%@" replaced by `argument`.
MARROWKIT_EXPORT QString formatted(const QString &text, const QString &argument);

} // namespace StringTable
