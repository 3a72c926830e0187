// The errors that property-list and keyed-archive calls fail with: a domain
// per area, a code per kind of refusal, and a description that says what was
// wrong, so that whoever logs a refused file or archive can say why.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include "Marrowkit/foundation/error.h"

#include <QString>

namespace PropertyListError {

MARROWKIT_EXPORT QString errorDomain(); // "dev.marrowby.marrowby.PropertyList"

enum Code {
    NotAPropertyList = 1, // malformed, truncated or not this format at all
    TooDeep,              // nests deeper than PropertyList::maximumDepth
    TooLarge,             // empty, or larger than PropertyList::maximumInputSize
    ExpandsTooFar,        // more values than PropertyList::maximumExpandedSize
    UnreadableFile,       // missing, not a regular file, too large or unreadable
    NotADictionary,       // the root is not the dictionary the caller needs
    NotRepresentable,     // a value that has no property-list form
    WriteFailed,          // the file could not be written
};

MARROWKIT_EXPORT Error error(Code code, const QString &description);

} // namespace PropertyListError

namespace KeyedArchiveError {

MARROWKIT_EXPORT QString errorDomain(); // "dev.marrowby.marrowby.KeyedArchive"

enum Code {
    NotAnArchive = 1, // not a property list, or not this archive layout
    Malformed,        // a broken reference, cycle or object inside the layout
    TooDeep,          // objects nest deeper than KeyedArchive::maximumDepth
    ExpandsTooFar,    // more values than PropertyList::maximumExpandedSize
    RootRefused,      // the root is not of a class the caller accepts
    DecoderFailed,    // a catalogue object's decoder refused its keys
    NotArchivable,    // a value that has no archived form
};

MARROWKIT_EXPORT Error error(Code code, const QString &description);

} // namespace KeyedArchiveError
