// What must hold for any input to the strings-table reader, checked by the
// libFuzzer target and by the corpus replay in the ordinary test suite.
#pragma once

#include <QByteArray>
#include <QString>
#include <QVariantMap>

#include <optional>
#include <string>

namespace stringstablefuzz {

// Reads `data` as a strings table and checks the answer: every text in it
// is well formed; the table written back in the text form (as UTF-8 and as
// UTF-16 in both byte orders) reads as the same table; and a text input
// reads the same in UTF-8 and in UTF-16. Returns the first violation, or
// nothing.
std::optional<std::string> check(const QByteArray &data);

// The table in the text form: every key and text quoted and escaped.
// Values may be texts, lists, dictionaries and data.
QString textForm(const QVariantMap &table);

} // namespace stringstablefuzz
