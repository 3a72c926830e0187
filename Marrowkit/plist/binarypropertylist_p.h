// A reader for binary property lists ("bplist00") that treats its input as
// hostile: every offset, count and reference is checked against the buffer,
// nesting is bounded, reference cycles are refused, and objects shared by
// several references are converted once, though a list whose shared objects
// would expand beyond PropertyList::maximumExpandedSize is refused. The
// object count the trailer claims costs four bytes per offset the table
// really holds; values are kept only for the objects reached.
// libplist's own binary reader asserts on some malformed input, which would
// take the whole process down.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include "Marrowkit/foundation/result.h"

#include <QByteArray>
#include <QVariant>

namespace PropertyList {

// Failure names the limit that refused the input, or says it is malformed.
MARROWKIT_TESTABLE Result<QVariant> readBinary(const QByteArray &data);

} // namespace PropertyList
