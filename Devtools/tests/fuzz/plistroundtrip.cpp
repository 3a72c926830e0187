#include "plistroundtrip.h"

#include "plistio.h"

#include <QDateTime>

#include <cmath>

namespace PlistRoundTrip {

bool sameValue(const QVariant &a, const QVariant &b)
{
    if (a.typeId() != b.typeId()) {
        return false;
    }
    switch (a.typeId()) {
    case QMetaType::QVariantMap: {
        const QVariantMap left = a.toMap();
        const QVariantMap right = b.toMap();
        if (left.size() != right.size()) {
            return false;
        }
        for (auto it = left.constBegin(), other = right.constBegin(); it != left.constEnd();
             ++it, ++other) {
            if (it.key() != other.key() || !sameValue(it.value(), other.value())) {
                return false;
            }
        }
        return true;
    }
    case QMetaType::QVariantList: {
        const QVariantList left = a.toList();
        const QVariantList right = b.toList();
        if (left.size() != right.size()) {
            return false;
        }
        for (qsizetype i = 0; i < left.size(); ++i) {
            if (!sameValue(left[i], right[i])) {
                return false;
            }
        }
        return true;
    }
    case QMetaType::Double: {
        const double left = a.toDouble();
        const double right = b.toDouble();
        // NaN payloads may change on the way through XML text.
        return (std::isnan(left) && std::isnan(right)) ||
               (left == right && std::signbit(left) == std::signbit(right));
    }
    case QMetaType::QDateTime:
        return a.toDateTime().toMSecsSinceEpoch() == b.toDateTime().toMSecsSinceEpoch();
    default:
        return a == b;
    }
}

std::optional<QString> check(const QByteArray &data)
{
    const auto value = PlistIO::fromData(data);
    if (!value) {
        return std::nullopt;
    }
    QString error;
    const auto xml = PlistIO::toXml(*value, &error);
    if (!xml) {
        return QStringLiteral("decoded, but cannot be written: %1").arg(error);
    }
    const auto again = PlistIO::fromData(*xml, &error);
    if (!again) {
        return QStringLiteral("written XML does not read back: %1").arg(error);
    }
    if (!sameValue(*value, *again)) {
        return QStringLiteral("written XML reads back as another value");
    }
    return std::nullopt;
}

bool decodes(const QByteArray &data)
{
    return PlistIO::fromData(data).has_value();
}

} // namespace PlistRoundTrip
