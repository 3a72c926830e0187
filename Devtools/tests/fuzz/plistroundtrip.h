// The property-list readers' promise, checked on any input: whatever decodes
// can be written as XML, and that XML reads back as the same value. Shared
// by the fuzz target and the test that replays its corpus.
#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <optional>

namespace PlistRoundTrip {

// The same value: the same types all the way down, doubles exactly (0 and -0
// differ, any NaN equals any NaN), dates to the millisecond.
bool sameValue(const QVariant &a, const QVariant &b);

// Nothing when `data` fails to decode (with a reason) or survives the round
// trip; otherwise what went wrong.
std::optional<QString> check(const QByteArray &data);
// Whether `data` decodes at all.
bool decodes(const QByteArray &data);

} // namespace PlistRoundTrip
