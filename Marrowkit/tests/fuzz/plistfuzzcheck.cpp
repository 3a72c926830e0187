#include "plistfuzzcheck.h"

#include "Marrowkit/plist/keyedarchiver.h"
#include "Marrowkit/plist/propertylist.h"
#include "Marrowkit/tests/archivefuzz.h"

#include <QDateTime>

#include <cmath>

namespace PlistFuzzCheck {

namespace {

std::optional<QString> propertyListRoundTrip(const QVariant &first, PropertyList::Format format)
{
    const auto written = PropertyList::toData(first, format).value();
    if (!written) {
        return QStringLiteral("a decoded value could not be written");
    }
    const auto second = PropertyList::fromData(*written).value();
    if (!second) {
        return QStringLiteral("what was written does not decode");
    }
    if (!sameValue(first, *second)) {
        return QStringLiteral("the value changed on its way round");
    }
    return std::nullopt;
}

Outcome propertyList(const QByteArray &data, PropertyList::Format format)
{
    // Each target reads its own format; the other is left to its target.
    const bool binary = data.startsWith("bplist");
    if (binary != (format == PropertyList::Format::Binary)) {
        return {};
    }
    const auto first = PropertyList::fromData(data).value();
    if (!first) {
        return {};
    }
    return {true, propertyListRoundTrip(*first, format)};
}

Outcome keyedArchive(const QByteArray &data)
{
    const auto first = archivefuzz::decodeAny(data);
    if (!first) {
        return {};
    }
    const auto again = KeyedArchiver::archivedDataWithRootObject(first->archivable).value();
    if (!again) {
        return {true, QStringLiteral("a decoded archive could not be archived again")};
    }
    const auto second = archivefuzz::decodeAny(*again);
    if (!second) {
        return {true, QStringLiteral("the archive written again does not decode")};
    }
    if (second->printed != first->printed) {
        return {true, QStringLiteral("the archive changed on its way round:\n%1\n%2")
                          .arg(first->printed.left(2000), second->printed.left(2000))};
    }
    return {true, std::nullopt};
}

} // namespace

bool sameValue(const QVariant &a, const QVariant &b)
{
    if (a.metaType() != b.metaType()) {
        return false;
    }
    switch (a.typeId()) {
    case QMetaType::QVariantList: {
        const QVariantList left = a.toList();
        const QVariantList right = b.toList();
        if (left.size() != right.size()) {
            return false;
        }
        for (qsizetype i = 0; i < left.size(); ++i) {
            if (!sameValue(left.at(i), right.at(i))) {
                return false;
            }
        }
        return true;
    }
    case QMetaType::QVariantMap: {
        const QVariantMap left = a.toMap();
        const QVariantMap right = b.toMap();
        if (left.keys() != right.keys()) {
            return false;
        }
        for (auto it = left.constBegin(); it != left.constEnd(); ++it) {
            if (!sameValue(it.value(), right.value(it.key()))) {
                return false;
            }
        }
        return true;
    }
    case QMetaType::Double: {
        const double left = a.toDouble();
        const double right = b.toDouble();
        return (std::isnan(left) && std::isnan(right)) || left == right;
    }
    default:
        return a == b;
    }
}

Outcome check(Target target, const QByteArray &data)
{
    switch (target) {
    case Target::BinaryPropertyList:
        return propertyList(data, PropertyList::Format::Binary);
    case Target::XmlPropertyList:
        return propertyList(data, PropertyList::Format::Xml);
    case Target::KeyedArchive:
        return keyedArchive(data);
    }
    return {};
}

QString corpusName(Target target)
{
    switch (target) {
    case Target::BinaryPropertyList:
        return QStringLiteral("binaryplist");
    case Target::XmlPropertyList:
        return QStringLiteral("xmlplist");
    case Target::KeyedArchive:
        return QStringLiteral("keyedarchive");
    }
    return {};
}

} // namespace PlistFuzzCheck
