// What the XML property-list reader does before and after libplist sees the
// text. libplist's XML parser recurses once per nesting level before any
// depth limit of ours applies, and it keeps dates in 32 bits of seconds
// around 2001, so dates before 1933 or after 2069 come back wrong.
//
// So the text is scanned first, the way libplist finds its tags (comments,
// CDATA sections, processing instructions and quoted attribute values
// skipped): too deep a nesting refuses the input before any parser recurses,
// and each date's text is read here and replaced by a stand-in that libplist
// carries without loss: the date's number in the document, as seconds after
// 2001-01-01. Writing does the reverse: libplist writes stand-ins, which are
// then replaced by the dates' own text.
//
// Pure functions; any thread.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>

#include <optional>

namespace PropertyList::XmlText {

struct Prepared
{
    QByteArray xml;         // the input, dates replaced by stand-ins
    QList<QDateTime> dates; // the dates, in the order of the document
};

enum class Refusal { Malformed, TooDeep };

// Nothing when tags nest deeper than `maximumTagDepth`, a tag is malformed
// in a way the parser would refuse too, or a date's text does not read;
// `refusal`, when given, then says which.
MARROWKIT_TESTABLE std::optional<Prepared> prepare(const QByteArray &xml, int maximumTagDepth,
                                                   Refusal *refusal = nullptr);

// "YYYY-MM-DDTHH:MM:SSZ", years 1 to 9999, in UTC. Whitespace around it is
// allowed; nothing else is.
MARROWKIT_TESTABLE std::optional<QDateTime> parseDate(QByteArrayView text);
// The same form, to the second below; nothing for a year outside 1 to 9999.
MARROWKIT_TESTABLE std::optional<QByteArray> formatDate(const QDateTime &date);

// The stand-in for the date at `index`, and back; the seconds are those
// libplist reports for the stand-in.
QByteArray standIn(qsizetype index);
std::optional<qsizetype> standInIndex(qint64 secondsSince2001, qsizetype dateCount);

// Replaces the stand-ins in libplist's output by the dates' text.
std::optional<QByteArray> restoreDates(const QByteArray &written, const QList<QDateTime> &dates);

} // namespace PropertyList::XmlText
