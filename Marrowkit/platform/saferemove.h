// Removing trees that others may have planted links in. Every step works
// relative to a folder descriptor opened without following a link, so a
// link met anywhere in the tree (the top included) is removed as a link and
// what it points to is never touched, even when the link is swapped in while
// the removal runs.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include "Marrowkit/foundation/result.h"

#include <QString>

namespace SafeRemove {

// Folders nested deeper than this are refused rather than walked: a hostile
// tree must not exhaust the stack or the descriptors.
inline constexpr int maximumDepth = 128;

// Removes `path` and, when it is a folder (not a link to one), everything in
// it. A missing path succeeds. Failure (with the path and the reason) at the
// first entry that cannot be removed; what was removed before it stays
// removed.
MARROWKIT_EXPORT Result<Unit> removeTree(const QString &path);

} // namespace SafeRemove
