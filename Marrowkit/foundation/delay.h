// A cancellable delayed call. The control callback that delay() returns runs
// the closure early (cancel false) or drops it (cancel true); either way the
// closure runs at most once, and calls after the first do nothing.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include "Marrowkit/foundation/dispatchqueue.h"

#include <functional>
#include <optional>

using DelayControl = std::function<void(bool cancel)>;

// Runs `closure` on `queue` once `seconds` have passed, unless the returned
// callback was called first. Nothing is scheduled, and nothing is returned,
// when `seconds` is not a finite number or its count of nanoseconds does not
// fit a signed 64-bit integer. Negative delays run as soon as possible. Safe
// to call, and the callback safe to call, from any thread.
MARROWKIT_EXPORT std::optional<DelayControl> delay(double seconds, const DispatchQueuePtr &queue,
                                                   std::function<void()> closure);
// The same on the main queue.
MARROWKIT_EXPORT std::optional<DelayControl> delay(double seconds, std::function<void()> closure);
