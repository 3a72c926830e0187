#include "plistio.h"

#include "fileops.h"

#include <QDateTime>
#include <QFile>

#include <plist/plist.h>

#include <memory>

namespace {

struct NodeDeleter
{
    void operator()(plist_t node) const { plist_free(node); }
};
using Node = std::unique_ptr<void, NodeDeleter>;

constexpr int maximumDepth = 128;
// Seconds between the Unix epoch and libplist's, 2001-01-01.
constexpr qint64 plistEpochOffset = 978307200;

void setError(QString *error, const QString &text)
{
    if (error) {
        *error = text;
    }
}

std::optional<QVariant> toVariant(plist_t node, int depth);

std::optional<QVariant> dictionaryToVariant(plist_t node, int depth)
{
    QVariantMap map;
    plist_dict_iter it = nullptr;
    plist_dict_new_iter(node, &it);
    if (!it) {
        return map;
    }
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
        auto converted = value ? toVariant(value, depth + 1) : std::nullopt;
        if (!converted) {
            ok = false;
            break;
        }
        map.insert(keyText, *converted);
    }
    free(it);
    return ok ? std::optional<QVariant>(map) : std::nullopt;
}

std::optional<QVariant> arrayToVariant(plist_t node, int depth)
{
    QVariantList list;
    const uint32_t count = plist_array_get_size(node);
    for (uint32_t i = 0; i < count; ++i) {
        plist_t item = plist_array_get_item(node, i);
        auto converted = item ? toVariant(item, depth + 1) : std::nullopt;
        if (!converted) {
            return std::nullopt;
        }
        list.append(*converted);
    }
    return list;
}

std::optional<QVariant> toVariant(plist_t node, int depth)
{
    if (depth > maximumDepth) {
        return std::nullopt;
    }
    switch (plist_get_node_type(node)) {
    case PLIST_DICT:
        return dictionaryToVariant(node, depth);
    case PLIST_ARRAY:
        return arrayToVariant(node, depth);
    case PLIST_STRING: {
        char *text = nullptr;
        plist_get_string_val(node, &text);
        const QString value = QString::fromUtf8(text ? text : "");
        free(text);
        return value;
    }
    case PLIST_UINT: {
        uint64_t value = 0;
        plist_get_uint_val(node, &value);
        return qint64(value);
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
        int32_t seconds = 0;
        int32_t microseconds = 0;
        plist_get_date_val(node, &seconds, &microseconds);
        const qint64 ms = (qint64(seconds) + plistEpochOffset) * 1000 + microseconds / 1000;
        return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
    }
    case PLIST_DATA: {
        char *bytes = nullptr;
        uint64_t length = 0;
        plist_get_data_val(node, &bytes, &length);
        QByteArray value(bytes, qsizetype(length));
        free(bytes);
        return value;
    }
    default:
        return std::nullopt;
    }
}

plist_t fromVariant(const QVariant &value, int depth)
{
    if (depth > maximumDepth) {
        return nullptr;
    }
    switch (value.typeId()) {
    case QMetaType::QVariantMap: {
        plist_t dict = plist_new_dict();
        const QVariantMap map = value.toMap();
        for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
            plist_t item = fromVariant(it.value(), depth + 1);
            if (!item) {
                plist_free(dict);
                return nullptr;
            }
            plist_dict_set_item(dict, it.key().toUtf8().constData(), item);
        }
        return dict;
    }
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        plist_t array = plist_new_array();
        for (const QVariant &element : value.toList()) {
            plist_t item = fromVariant(element, depth + 1);
            if (!item) {
                plist_free(array);
                return nullptr;
            }
            plist_array_append_item(array, item);
        }
        return array;
    }
    case QMetaType::QString:
        return plist_new_string(value.toString().toUtf8().constData());
    case QMetaType::Bool:
        return plist_new_bool(value.toBool() ? 1 : 0);
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return plist_new_uint(uint64_t(value.toLongLong()));
    case QMetaType::Double:
        return plist_new_real(value.toDouble());
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        return plist_new_data(bytes.constData(), uint64_t(bytes.size()));
    }
    case QMetaType::QDateTime: {
        const qint64 ms = value.toDateTime().toMSecsSinceEpoch();
        const qint64 seconds = ms / 1000 - plistEpochOffset;
        return plist_new_date(int32_t(seconds), int32_t((ms % 1000) * 1000));
    }
    default:
        return nullptr;
    }
}

} // namespace

namespace PlistIO {

std::optional<QVariant> fromData(const QByteArray &data, QString *error)
{
    if (data.isEmpty() || data.size() > maximumFileSize) {
        setError(error, QStringLiteral("empty or oversized property list"));
        return std::nullopt;
    }
    plist_t root = nullptr;
    if (data.startsWith("bplist00")) {
        plist_from_bin(data.constData(), uint32_t(data.size()), &root);
    } else {
        plist_from_xml(data.constData(), uint32_t(data.size()), &root);
    }
    Node node(root);
    if (!node) {
        setError(error, QStringLiteral("not a property list"));
        return std::nullopt;
    }
    auto value = toVariant(node.get(), 0);
    if (!value) {
        setError(error, QStringLiteral("unsupported or too deeply nested property list"));
    }
    return value;
}

std::optional<QVariant> read(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        setError(error, file.errorString());
        return std::nullopt;
    }
    if (file.size() > maximumFileSize) {
        setError(error, QStringLiteral("file too large"));
        return std::nullopt;
    }
    return fromData(file.read(maximumFileSize + 1), error);
}

std::optional<QVariantMap> readDictionary(const QString &path, QString *error)
{
    auto value = read(path, error);
    if (!value) {
        return std::nullopt;
    }
    if (value->typeId() != QMetaType::QVariantMap) {
        setError(error, QStringLiteral("not a dictionary"));
        return std::nullopt;
    }
    return value->toMap();
}

std::optional<QByteArray> toXml(const QVariant &value)
{
    Node node(fromVariant(value, 0));
    if (!node) {
        return std::nullopt;
    }
    char *xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(node.get(), &xml, &length);
    if (!xml) {
        return std::nullopt;
    }
    QByteArray data(xml, qsizetype(length));
    free(xml);
    return data;
}

bool writeXml(const QString &path, const QVariant &value, QString *error)
{
    const auto data = toXml(value);
    if (!data) {
        setError(error, QStringLiteral("value has no property-list form"));
        return false;
    }
    return FileOps::writeAtomically(path, *data, error);
}

} // namespace PlistIO
