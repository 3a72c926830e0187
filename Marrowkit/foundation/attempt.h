// `attempt` turns an operation that reports failure through an error slot into
// a Result. The closure gets an empty slot and returns either an optional
// value or a success flag. A failure never gets lost: when the closure fails
// without filling the slot, the error names the call site.
#pragma once

#include "Marrowkit/foundation/log.h"
#include "Marrowkit/foundation/result.h"
#include "Marrowkit/foundation/sourcelocation.h"

#include <functional>
#include <optional>
#include <type_traits>

using ErrorSlot = std::optional<Error>;

namespace attemptdetail {

template<typename T> struct OptionalValue
{
};
template<typename T> struct OptionalValue<std::optional<T>>
{
    using type = T;
};

} // namespace attemptdetail

// The closure is `std::optional<T>(ErrorSlot &)` (gives Result<T>) or
// `bool(ErrorSlot &)` (gives Result<Unit>). `function`, `file` and `line`
// name the place the made-up error points to.
template<typename F>
auto attempt(const QString &function, const QString &file, int line, F &&closure)
{
    ErrorSlot slot;
    using R = std::decay_t<std::invoke_result_t<F, ErrorSlot &>>;
    auto failure = [&] { return slot ? *slot : resultError(std::nullopt, function, file, line); };
    if constexpr (std::is_same_v<R, bool>) {
        if (std::invoke(std::forward<F>(closure), slot)) {
            return Result<Unit>::success(Unit{});
        }
        return Result<Unit>::failure(failure());
    } else {
        using T = typename attemptdetail::OptionalValue<R>::type;
        std::optional<T> value = std::invoke(std::forward<F>(closure), slot);
        if (value) {
            return Result<T>::success(std::move(*value));
        }
        return Result<T>::failure(failure());
    }
}

// The same, naming the caller's own place.
template<typename F> auto attempt(F &&closure, SourceLocation where = SourceLocation::current())
{
    return attempt(plainFunctionName(where.function_name()), Log::sourceFileName(where.file_name()),
                   static_cast<int>(where.line()), std::forward<F>(closure));
}
