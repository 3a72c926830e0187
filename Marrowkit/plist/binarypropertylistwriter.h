// A writer of binary property lists ("bplist00") that takes time in
// proportion to its input. libplist 2.2's writer uniques objects through a
// hash table of a fixed 4096 buckets, so its time grows with the square of
// the object count; a keyed archive of a full catalogue holds a few hundred
// thousand nodes, which made it several times slower than the archive itself.
//
// Equal texts, numbers, data and references are written once; lists and
// dictionaries each get their own object. Accepts the same values as
// PropertyList::toData.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include "Marrowkit/foundation/result.h"

#include <QByteArray>
#include <QVariant>

namespace PropertyList {

MARROWKIT_EXPORT Result<QByteArray> writeBinary(const QVariant &value);

} // namespace PropertyList
