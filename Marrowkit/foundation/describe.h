// The printed form of a value, as descriptions of boxes, results and catalogue
// objects show it: texts as they are, numbers in their shortest exact form
// ("30.0", "0.3"), lists as "[a, b]", objects through their description().
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariant>

#include <concepts>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

// A floating-point number in its shortest form that reads back exactly, with
// ".0" added to whole numbers so that it reads as a decimal number.
MARROWKIT_EXPORT QString describeNumber(double value);

namespace describedetail {

template<typename T>
concept HasDescriptionMember = requires(const T &value)
{
    {
        value.description()
        } -> std::convertible_to<QString>;
};

// Enumerations of the system print through a free description(value).
template<typename T>
concept HasFreeDescription = std::is_enum_v<T> && requires(const T &value)
{
    {
        description(value)
        } -> std::convertible_to<QString>;
};

template<typename T> struct IsSharedPointer : std::false_type
{
};
template<typename T> struct IsSharedPointer<std::shared_ptr<T>> : std::true_type
{
};

template<typename T> struct IsOptional : std::false_type
{
};
template<typename T> struct IsOptional<std::optional<T>> : std::true_type
{
};

template<typename T> struct IsPair : std::false_type
{
};
template<typename A, typename B> struct IsPair<std::pair<A, B>> : std::true_type
{
};

template<typename T> struct IsList : std::false_type
{
};
template<typename T> struct IsList<QList<T>> : std::true_type
{
};

template<typename> inline constexpr bool alwaysFalse = false;

} // namespace describedetail

template<typename T> QString describe(const T &value)
{
    using namespace describedetail;
    if constexpr (std::is_same_v<T, QString>) {
        return value;
    } else if constexpr (std::is_same_v<T, bool>) {
        return value ? QStringLiteral("true") : QStringLiteral("false");
    } else if constexpr (std::is_integral_v<T>) {
        return QString::number(value);
    } else if constexpr (std::is_floating_point_v<T>) {
        return describeNumber(static_cast<double>(value));
    } else if constexpr (std::is_same_v<T, std::monostate>) {
        return QStringLiteral("()");
    } else if constexpr (HasDescriptionMember<T>) {
        return value.description();
    } else if constexpr (HasFreeDescription<T>) {
        return description(value);
    } else if constexpr (IsSharedPointer<T>::value || IsOptional<T>::value) {
        return value ? describe(*value) : QStringLiteral("nil");
    } else if constexpr (IsPair<T>::value) {
        return QStringLiteral("(%1, %2)").arg(describe(value.first), describe(value.second));
    } else if constexpr (IsList<T>::value) {
        QStringList parts;
        for (const auto &element : value) {
            parts.append(describe(element));
        }
        return QLatin1Char('[') + parts.join(QStringLiteral(", ")) + QLatin1Char(']');
    } else if constexpr (std::is_same_v<T, QUrl> || std::is_same_v<T, QVariant>) {
        return value.toString();
    } else {
        static_assert(alwaysFalse<T>, "describe(): no printed form for this type");
    }
}
