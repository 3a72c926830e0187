// libplist <-> QVariant. libplist reports failure as a NULL node and never
// throws; its XML reader leaves "CF$UID" dictionaries as dictionaries, so they
// become references here, as the binary reader already makes them.
#include "Marrowkit/plist/propertylist.h"

#include "Marrowkit/platform/saferead.h"
#include "Marrowkit/plist/binarypropertylistwriter.h"
#include "Marrowkit/plist/propertylisterror.h"
#include "plist/binarypropertylist_p.h"
#include "plist/xmlpropertylist_p.h"

#include <QDateTime>
#include <QFile>
#include <QSaveFile>
#include <QTimeZone>

#include <plist/plist.h>

#include <cstring>
#include <memory>

namespace {

struct NodeDeleter
{
    void operator()(plist_t node) const { plist_free(node); }
};
using Node = std::unique_ptr<void, NodeDeleter>;

bool isBinary(const QByteArray &data)
{
    return data.startsWith("bplist");
}

// libplist's XML reader turns a NUL character (raw, or as a character
// reference) into a string it later asserts on. No valid property list holds
// one, so such input is refused up front.
bool hasNulCharacter(const QByteArray &xml)
{
    if (xml.contains('\0')) {
        return true;
    }
    for (qsizetype at = xml.indexOf("&#"); at >= 0; at = xml.indexOf("&#", at + 2)) {
        qsizetype i = at + 2;
        const bool hex = i < xml.size() && (xml[i] == 'x' || xml[i] == 'X');
        if (hex) {
            ++i;
        }
        const qsizetype digits = i;
        while (i < xml.size() && xml[i] == '0') {
            ++i;
        }
        if (i > digits && i < xml.size() && xml[i] == ';') {
            return true;
        }
    }
    return false;
}

using Dates = QList<QDateTime>;

std::optional<QVariant> toVariant(plist_t node, int depth, const Dates &dates);

std::optional<QVariant> dictionaryToVariant(plist_t node, int depth, const Dates &dates)
{
    QVariantMap map;
    plist_dict_iter it = nullptr;
    plist_dict_new_iter(node, &it);
    if (!it) {
        return map;
    }
    std::optional<QVariant> failed;
    bool ok = true;
    for (;;) {
        char *key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(node, it, &key, &value);
        if (!key) {
            break;
        }
        const QString keyText = QString::fromUtf8(key);
        free(key);
        auto converted = value ? toVariant(value, depth + 1, dates) : std::nullopt;
        if (!converted) {
            ok = false;
            break;
        }
        map.insert(keyText, *converted);
    }
    free(it);
    if (!ok) {
        return std::nullopt;
    }
    // An XML archive spells a reference as <dict><key>CF$UID</key><integer>..
    if (map.size() == 1) {
        const auto uid = map.constFind(QStringLiteral("CF$UID"));
        if (uid != map.constEnd() && uid->typeId() == QMetaType::LongLong &&
            uid->toLongLong() >= 0) {
            return QVariant::fromValue(PropertyListUid{quint64(uid->toLongLong())});
        }
    }
    return map;
}

std::optional<QVariant> toVariant(plist_t node, int depth, const Dates &dates)
{
    if (depth > PropertyList::maximumDepth) {
        return std::nullopt;
    }
    switch (plist_get_node_type(node)) {
    case PLIST_DICT:
        return dictionaryToVariant(node, depth, dates);
    case PLIST_ARRAY: {
        QVariantList list;
        const uint32_t count = plist_array_get_size(node);
        list.reserve(count);
        for (uint32_t i = 0; i < count; ++i) {
            plist_t item = plist_array_get_item(node, i);
            auto converted = item ? toVariant(item, depth + 1, dates) : std::nullopt;
            if (!converted) {
                return std::nullopt;
            }
            list.append(*converted);
        }
        return list;
    }
    case PLIST_STRING: {
        // Not plist_get_string_val: it asserts on strings with an inner NUL,
        // which a hostile binary list can carry.
        uint64_t length = 0;
        const char *text = plist_get_string_ptr(node, &length);
        if (!text || length > uint64_t(PropertyList::maximumInputSize)) {
            return QString();
        }
        return QString::fromUtf8(text, qsizetype(length));
    }
    case PLIST_UINT: {
        // libplist keeps every integer in 64 bits; negative numbers arrive in
        // two's complement.
        uint64_t value = 0;
        plist_get_uint_val(node, &value);
        return QVariant::fromValue(qint64(value));
    }
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        return value;
    }
    case PLIST_BOOLEAN: {
        uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return value != 0;
    }
    case PLIST_DATE: {
        // A stand-in for a date read from the text (see xmlpropertylist_p.h).
        int32_t sec = 0;
        int32_t usec = 0;
        plist_get_date_val(node, &sec, &usec);
        const auto index = PropertyList::XmlText::standInIndex(sec, dates.size());
        if (!index || usec != 0) {
            return std::nullopt;
        }
        return dates.at(*index);
    }
    case PLIST_DATA: {
        char *bytes = nullptr;
        uint64_t length = 0;
        plist_get_data_val(node, &bytes, &length);
        QByteArray value(bytes, qsizetype(length));
        free(bytes);
        return value;
    }
    case PLIST_UID: {
        uint64_t value = 0;
        plist_get_uid_val(node, &value);
        return QVariant::fromValue(PropertyListUid{value});
    }
    default:
        return std::nullopt;
    }
}

// What writing collects on the way: the dates, and whether the value nested
// too deep (every other refusal is a value without a property-list form).
struct Writing
{
    Dates dates;
    bool tooDeep = false;
};

Node fromVariant(const QVariant &value, int depth, Writing &writing)
{
    if (depth > PropertyList::maximumDepth) {
        writing.tooDeep = true;
        return nullptr;
    }
    if (value.metaType() == QMetaType::fromType<PropertyListUid>()) {
        return Node(plist_new_uid(value.value<PropertyListUid>().value));
    }
    switch (value.typeId()) {
    case QMetaType::QVariantMap: {
        Node dict(plist_new_dict());
        const QVariantMap map = value.toMap();
        for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
            Node child = fromVariant(it.value(), depth + 1, writing);
            if (!child || it.key().contains(QChar(0))) {
                return nullptr;
            }
            plist_dict_set_item(dict.get(), it.key().toUtf8().constData(), child.release());
        }
        return dict;
    }
    case QMetaType::QVariantHash: {
        QVariantMap map;
        const QVariantHash hash = value.toHash();
        for (auto it = hash.constBegin(); it != hash.constEnd(); ++it) {
            map.insert(it.key(), it.value());
        }
        return fromVariant(map, depth, writing);
    }
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        Node array(plist_new_array());
        for (const QVariant &item : value.toList()) {
            Node child = fromVariant(item, depth + 1, writing);
            if (!child) {
                return nullptr;
            }
            plist_array_append_item(array.get(), child.release());
        }
        return array;
    }
    case QMetaType::QString: {
        // libplist keeps C strings: a NUL would silently cut the text short.
        const QString text = value.toString();
        if (text.contains(QChar(0))) {
            return nullptr;
        }
        return Node(plist_new_string(text.toUtf8().constData()));
    }
    case QMetaType::Bool:
        return Node(plist_new_bool(value.toBool()));
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Long:
    case QMetaType::Short:
        return Node(plist_new_uint(uint64_t(value.toLongLong())));
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::ULong:
    case QMetaType::UShort:
        return Node(plist_new_uint(value.toULongLong()));
    case QMetaType::Double:
    case QMetaType::Float:
        return Node(plist_new_real(value.toDouble()));
    case QMetaType::QDateTime: {
        // Written as a stand-in, replaced by the date's own text afterwards.
        const QDateTime date = value.toDateTime();
        if (!PropertyList::XmlText::formatDate(date) || writing.dates.size() >= INT32_MAX) {
            return nullptr;
        }
        writing.dates.append(date);
        return Node(plist_new_date(int32_t(writing.dates.size() - 1), 0));
    }
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        return Node(plist_new_data(bytes.constData(), uint64_t(bytes.size())));
    }
    default:
        return nullptr;
    }
}

Error tooDeep()
{
    return PropertyListError::error(PropertyListError::TooDeep,
                                    QStringLiteral("The property list nests deeper than %1 levels")
                                        .arg(PropertyList::maximumDepth));
}

Error notAPropertyList(const QString &why)
{
    return PropertyListError::error(PropertyListError::NotAPropertyList,
                                    QStringLiteral("Not a property list: ") + why);
}

Result<QVariantMap> dictionaryOf(const Result<QVariant> &value)
{
    return value.flatMap([](const QVariant &root) {
        if (root.typeId() != QMetaType::QVariantMap) {
            return Result<QVariantMap>::failure(PropertyListError::error(
                PropertyListError::NotADictionary,
                QStringLiteral("The property list's root is not a dictionary")));
        }
        return Result<QVariantMap>::success(root.toMap());
    });
}

} // namespace

namespace PropertyList {

Result<QVariant> fromData(const QByteArray &data)
{
    using namespace PropertyListError;
    if (data.isEmpty()) {
        return Result<QVariant>::failure(notAPropertyList(QStringLiteral("no data")));
    }
    if (data.size() > maximumInputSize) {
        return Result<QVariant>::failure(error(
            TooLarge,
            QStringLiteral("The property list is larger than %1 bytes").arg(maximumInputSize)));
    }
    if (isBinary(data)) {
        return readBinary(data);
    }
    if (hasNulCharacter(data)) {
        return Result<QVariant>::failure(notAPropertyList(QStringLiteral("a NUL character")));
    }
    // The <plist> element and the root hold every value two tags deep.
    XmlText::Refusal refusal = XmlText::Refusal::Malformed;
    const auto prepared = XmlText::prepare(data, maximumDepth + 2, &refusal);
    if (!prepared) {
        return Result<QVariant>::failure(refusal == XmlText::Refusal::TooDeep
                                             ? tooDeep()
                                             : notAPropertyList(QStringLiteral("malformed XML")));
    }
    plist_t root = nullptr;
    plist_from_xml(prepared->xml.constData(), uint32_t(prepared->xml.size()), &root);
    if (!root) {
        return Result<QVariant>::failure(notAPropertyList(QStringLiteral("malformed XML")));
    }
    Node owner(root);
    return Result<QVariant>::fromOptional(toVariant(root, 0, prepared->dates), [] {
        return notAPropertyList(QStringLiteral("a value of no known kind"));
    });
}

Result<QVariant> fromFile(const QString &path)
{
    // Files may be links, FIFOs or devices planted in the device set.
    const auto data = SafeRead::readRegularFile(path, maximumInputSize, SafeRead::Links::Follow);
    return data.analysis([](const QByteArray &bytes) { return fromData(bytes); },
                         [&path](const Error &refused) {
                             Error error = PropertyListError::error(
                                 PropertyListError::UnreadableFile, refused.localizedDescription());
                             error.userInfo.insert(Error::filePathKey(), path);
                             error.userInfo.insert(Error::underlyingErrorKey(),
                                                   refused.description());
                             return Result<QVariant>::failure(error);
                         });
}

Result<QVariantMap> dictionaryFromData(const QByteArray &data)
{
    return dictionaryOf(fromData(data));
}

Result<QVariantMap> dictionaryFromFile(const QString &path)
{
    return dictionaryOf(fromFile(path));
}

Result<QByteArray> toData(const QVariant &value, Format format)
{
    if (format == Format::Binary) {
        return writeBinary(value);
    }
    Writing writing;
    Node root = fromVariant(value, 0, writing);
    if (!root) {
        return Result<QByteArray>::failure(
            writing.tooDeep
                ? tooDeep()
                : PropertyListError::error(PropertyListError::NotRepresentable,
                                           QStringLiteral("The value has no property-list form")));
    }
    char *bytes = nullptr;
    uint32_t length = 0;
    plist_to_xml(root.get(), &bytes, &length);
    if (!bytes) {
        return Result<QByteArray>::failure(PropertyListError::error(
            PropertyListError::NotRepresentable, QStringLiteral("The value could not be written")));
    }
    const QByteArray written(bytes, qsizetype(length));
    free(bytes);
    if (writing.dates.isEmpty()) {
        return Result<QByteArray>::success(written);
    }
    return Result<QByteArray>::fromOptional(XmlText::restoreDates(written, writing.dates), [] {
        return PropertyListError::error(PropertyListError::NotRepresentable,
                                        QStringLiteral("A date could not be written"));
    });
}

Result<Unit> writeFile(const QString &path, const QVariant &value, Format format)
{
    return toData(value, format).flatMap([&path](const QByteArray &data) {
        QSaveFile file(path);
        if (file.open(QIODevice::WriteOnly)) {
            file.write(data);
            if (file.commit()) {
                return Result<Unit>::success(Unit());
            }
        }
        Error error = PropertyListError::error(
            PropertyListError::WriteFailed,
            QStringLiteral("Could not write %1: %2").arg(path, file.errorString()));
        error.userInfo.insert(Error::filePathKey(), path);
        return Result<Unit>::failure(error);
    });
}

} // namespace PropertyList
