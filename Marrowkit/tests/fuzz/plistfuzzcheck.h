// The readers' promise, checked on any input, for the fuzz targets and the
// test that replays their corpus: an input either does not decode, or it
// decodes to a value that is written and decoded again unchanged. Every
// decoder bounds its own cost (nesting, allocation, expanded size), so the
// check itself finishes soon on any input.
//
// Pure functions; any thread that may use Qt's image classes.
#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <optional>

namespace PlistFuzzCheck {

enum class Target { BinaryPropertyList, XmlPropertyList, KeyedArchive };

struct Outcome
{
    bool decoded = false;
    std::optional<QString> problem; // a broken round trip, described
};

// The same value: the same types all the way down; any NaN equals any NaN.
bool sameValue(const QVariant &a, const QVariant &b);

Outcome check(Target target, const QByteArray &data);

// The corpus folder name of each target ("binaryplist", "xmlplist",
// "keyedarchive").
QString corpusName(Target target);

} // namespace PlistFuzzCheck
