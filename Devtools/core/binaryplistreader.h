// Reads binary property lists ("bplist00") without trusting a byte of them:
// every offset, count and reference is checked against the file, nesting is
// limited, a reference cycle is refused, and an object shared from many
// places is decoded once but counted in the budget once per place (so that
// no writer or comparison later pays for an exponential expansion).
//
// Types: dictionary (string keys), array, ASCII or UTF-16 string, integer (up
// to 64 bits, signed or unsigned), real, boolean, date, data. Null, fill,
// UID and set objects are refused.
#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <optional>

namespace BinaryPlistReader {

bool looksBinary(const QByteArray &data);
std::optional<QVariant> read(const QByteArray &data, QString *error);

} // namespace BinaryPlistReader
