// A synchronous polling runner: calls a closure every Time::runDelay seconds
// until it stops answering Waiting or the time-out passes. Between polls the
// calling thread's event loop keeps turning, so it may be called on the main
// thread without freezing timers, queued calls or bus replies.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include "Marrowkit/foundation/runresult.h"

#include <functional>

struct MARROWKIT_EXPORT Time
{
    Time() = delete;
    static constexpr double defaultTimeout = 30.0;
    static constexpr double runDelay = 0.1;
};

// Calls `closure` at once and then after every poll interval while it answers
// Waiting and less than `timeout` seconds have passed. `completion` gets the
// final answer once, on the calling thread, before runClosure returns; a
// closure still waiting at the end gives the "RunClosureDomain" time-out error.
MARROWKIT_EXPORT void runClosure(const std::function<RunResult()> &closure,
                                 double timeout = Time::defaultTimeout,
                                 const std::function<void(const RunResult &)> &completion = {});

// The error a timed-out runClosure reports.
MARROWKIT_EXPORT Error runClosureTimeoutError(double timeout);
