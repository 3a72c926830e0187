// A two-case result: Success holding a value or Failure holding an error, each
// in a Box. Every operation is built on analysis(). C++ has no ?? >>- &&&
// operators, so the free functions recover, recoverWith, flatMap and both
// stand for them; their right-hand sides are closures, called only when needed.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include "Marrowkit/foundation/box.h"
#include "Marrowkit/foundation/error.h"
#include "Marrowkit/foundation/sourcelocation.h"

#include <concepts>
#include <functional>
#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

// The empty value of operations that only succeed or fail.
using Unit = std::monostate;

template<typename T, typename E = Error> class Result
{
public:
    using Value = T;
    using ErrorType = E;

    static Result success(T value) { return Result(std::in_place_index<0>, std::move(value)); }
    static Result failure(E error) { return Result(std::in_place_index<1>, std::move(error)); }

    // Success of the value when present; otherwise Failure of failWith(),
    // which is called only in that case.
    template<typename F>
    requires std::convertible_to<std::invoke_result_t<F>, E>
    static Result fromOptional(std::optional<T> value, F &&failWith)
    {
        if (value) {
            return success(std::move(*value));
        }
        return failure(std::invoke(std::forward<F>(failWith)));
    }

    bool isSuccess() const { return m_payload.index() == 0; }
    bool isFailure() const { return m_payload.index() == 1; }

    // Calls exactly one of the closures with the payload.
    template<typename S, typename F> auto analysis(S &&ifSuccess, F &&ifFailure) const
    {
        using R = std::invoke_result_t<S, const T &>;
        if (isSuccess()) {
            return std::invoke(std::forward<S>(ifSuccess), std::get<0>(m_payload).value());
        }
        if constexpr (std::is_void_v<R>) {
            std::invoke(std::forward<F>(ifFailure), std::get<1>(m_payload).value());
        } else {
            return static_cast<R>(
                std::invoke(std::forward<F>(ifFailure), std::get<1>(m_payload).value()));
        }
    }

    std::optional<T> value() const
    {
        return analysis([](const T &v) { return std::optional<T>(v); },
                        [](const E &) { return std::optional<T>(); });
    }

    std::optional<E> error() const
    {
        return analysis([](const T &) { return std::optional<E>(); },
                        [](const E &e) { return std::optional<E>(e); });
    }

    template<typename F> auto map(F &&transform) const
    {
        using U = std::decay_t<std::invoke_result_t<F, const T &>>;
        return analysis(
            [&](const T &v) { return Result<U, E>::success(std::invoke(transform, v)); },
            [](const E &e) { return Result<U, E>::failure(e); });
    }

    // `transform` returns a Result<U, E>.
    template<typename F> auto flatMap(F &&transform) const
    {
        using R = std::decay_t<std::invoke_result_t<F, const T &>>;
        static_assert(std::is_same_v<typename R::ErrorType, E>,
                      "flatMap: the function must return a Result with the same error type");
        return analysis([&](const T &v) { return R(std::invoke(transform, v)); },
                        [](const E &e) { return R::failure(e); });
    }

    // The success value, or what `fallback` returns on failure.
    template<typename F> T recover(F &&fallback) const
    {
        return analysis([](const T &v) { return v; },
                        [&](const E &) { return T(std::invoke(fallback)); });
    }

    // This result when it succeeded, else the result `fallback` returns.
    template<typename F> Result recoverWith(F &&fallback) const
    {
        return analysis([this](const T &) { return *this; },
                        [&](const E &) { return Result(std::invoke(fallback)); });
    }

    QString description() const
    {
        return analysis(
            [](const T &v) { return QStringLiteral(".Success(") + describe(v) + QLatin1Char(')'); },
            [](const E &e) {
                return QStringLiteral(".Failure(") + describe(e) + QLatin1Char(')');
            });
    }
    QString debugDescription() const { return description(); }

    friend bool operator==(const Result &lhs, const Result &rhs) requires
        std::equality_comparable<T> && std::equality_comparable<E>
    {
        if (lhs.m_payload.index() != rhs.m_payload.index()) {
            return false;
        }
        if (lhs.isSuccess()) {
            return std::get<0>(lhs.m_payload).value() == std::get<0>(rhs.m_payload).value();
        }
        return std::get<1>(lhs.m_payload).value() == std::get<1>(rhs.m_payload).value();
    }

private:
    // Indices rather than types, so that T and E may be the same type.
    Result(std::in_place_index_t<0>, T value)
        : m_payload(std::in_place_index<0>, Box<T>(std::move(value)))
    {}
    Result(std::in_place_index_t<1>, E error)
        : m_payload(std::in_place_index<1>, Box<E>(std::move(error)))
    {}

    std::variant<Box<T>, Box<E>> m_payload;
};

// `result ?? value`: the success value, else `fallback()` (called only then).
template<typename T, typename E, typename F> T recover(const Result<T, E> &result, F &&fallback)
{
    return result.recover(std::forward<F>(fallback));
}

// `result ?? other`: the result when it succeeded, else `fallback()`.
template<typename T, typename E, typename F>
Result<T, E> recoverWith(const Result<T, E> &result, F &&fallback)
{
    return result.recoverWith(std::forward<F>(fallback));
}

// `result >>- transform`.
template<typename T, typename E, typename F> auto flatMap(const Result<T, E> &result, F &&transform)
{
    return result.flatMap(std::forward<F>(transform));
}

// `lhs &&& rhs`: both success values as a pair. `rhs()` is called only when
// `lhs` succeeded; otherwise the first failure is the answer.
template<typename T, typename E, typename F> auto both(const Result<T, E> &lhs, F &&rhs)
{
    using R = std::decay_t<std::invoke_result_t<F>>;
    using U = typename R::Value;
    using Pair = Result<std::pair<T, U>, E>;
    static_assert(std::is_same_v<typename R::ErrorType, E>,
                  "both: the two results must have the same error type");
    return lhs.analysis(
        [&](const T &left) {
            return std::invoke(std::forward<F>(rhs)).map([&left](const U &right) {
                return std::pair<T, U>(left, right);
            });
        },
        [](const E &e) { return Pair::failure(e); });
}

// The errors this library makes itself: domain, code 0, and the place where
// they were made.
namespace ResultError {
MARROWKIT_EXPORT QString errorDomain(); // "dev.marrowby.marrowby.Result"
MARROWKIT_EXPORT QString functionKey(); // errorDomain() + ".function"
MARROWKIT_EXPORT QString fileKey();     // errorDomain() + ".file"
MARROWKIT_EXPORT QString lineKey();     // errorDomain() + ".line"
} // namespace ResultError

// An error that records `function`, `file` and `line`, and `description` as
// the localized description when one is given.
MARROWKIT_EXPORT Error resultError(const std::optional<QString> &description,
                                   const QString &function, const QString &file, int line);
// The same for the caller's own place.
MARROWKIT_EXPORT Error resultError(const std::optional<QString> &description = std::nullopt,
                                   SourceLocation where = SourceLocation::current());

// "startMonitoring()" for "void FileObserver::startMonitoring()": the plain
// name of a compiler-spelled function, as log records show it.
MARROWKIT_EXPORT QString plainFunctionName(const char *prettyFunction);
