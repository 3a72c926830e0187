// A shared, immutable holder of one value. Copies of a Box share the value, so
// a Box is cheap to pass around and safe to read from several threads.
#pragma once

#include "Marrowkit/foundation/describe.h"

#include <concepts>
#include <functional>
#include <memory>
#include <type_traits>

template<typename T> class Box
{
public:
    using Value = T;

    explicit Box(T value) : m_value(std::make_shared<const T>(std::move(value))) {}
    static Box unit(T value) { return Box(std::move(value)); }

    const T &value() const { return *m_value; }

    template<typename F> auto map(F &&transform) const
    {
        using U = std::decay_t<std::invoke_result_t<F, const T &>>;
        return Box<U>(std::invoke(std::forward<F>(transform), value()));
    }

    QString description() const { return describe(value()); }

private:
    std::shared_ptr<const T> m_value;
};

// Anything built from a value that hands it back read-only.
template<typename B>
concept BoxType = std::constructible_from<B, typename B::Value> && requires(const B &box)
{
    {
        box.value()
        } -> std::convertible_to<const typename B::Value &>;
};

// The same with a settable value. Declared for completeness; nothing in the
// system holds mutable boxes.
template<typename B>
concept MutableBoxType = BoxType<B> && requires(B &box, typename B::Value value)
{
    box.setValue(std::move(value));
};

template<typename T>
requires std::equality_comparable<T>
bool operator==(const Box<T> &lhs, const Box<T> &rhs)
{
    return lhs.value() == rhs.value();
}

template<BoxType B, typename F> auto map(const B &box, F &&transform)
{
    using U = std::decay_t<std::invoke_result_t<F, const typename B::Value &>>;
    return Box<U>(std::invoke(std::forward<F>(transform), box.value()));
}
