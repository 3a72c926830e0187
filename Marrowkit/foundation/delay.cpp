#include "Marrowkit/foundation/delay.h"

#include <chrono>
#include <cmath>
#include <mutex>

namespace {

// The closure until the deadline or the first call of the control callback
// takes it; whoever takes it decides whether it runs.
struct PendingCall
{
    std::mutex mutex;
    std::function<void()> closure;

    std::function<void()> take()
    {
        std::lock_guard lock(mutex);
        return std::exchange(closure, nullptr);
    }
};

std::optional<std::chrono::nanoseconds> nanosecondsFrom(double seconds)
{
    // 2^63 is exactly representable as a double; anything at or beyond it
    // (or below -2^63) does not fit.
    constexpr double limit = 9223372036854775808.0;
    const double nanoseconds = seconds * 1e9;
    if (!std::isfinite(nanoseconds) || nanoseconds >= limit || nanoseconds < -limit) {
        return std::nullopt;
    }
    return std::chrono::nanoseconds(static_cast<std::int64_t>(nanoseconds));
}

} // namespace

std::optional<DelayControl> delay(double seconds, const DispatchQueuePtr &queue,
                                  std::function<void()> closure)
{
    const auto after = nanosecondsFrom(seconds);
    if (!after || !queue) {
        return std::nullopt;
    }
    auto pending = std::make_shared<PendingCall>();
    pending->closure = std::move(closure);
    DelayControl control = [pending, queue](bool cancel) {
        auto work = pending->take();
        if (work && !cancel) {
            queue->async(std::move(work));
        }
    };
    queue->asyncAfter(std::max(*after, std::chrono::nanoseconds(0)), [control] { control(false); });
    return control;
}

std::optional<DelayControl> delay(double seconds, std::function<void()> closure)
{
    return delay(seconds, GlobalMainQueue(), std::move(closure));
}
