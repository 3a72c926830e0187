#include "Marrowkit/plist/binarypropertylistwriter.h"

#include "Marrowkit/plist/propertylist.h"
#include "Marrowkit/plist/propertylisterror.h"

#include <QDateTime>
#include <QHash>

#include <cstring>
#include <vector>

namespace {

constexpr qint64 appleEpochOffsetMs = 978307200LL * 1000;

void appendBigEndian(QByteArray &out, quint64 value, int size)
{
    for (int shift = (size - 1) * 8; shift >= 0; shift -= 8) {
        out.append(char((value >> shift) & 0xff));
    }
}

// Integers and references inside objects take 1, 2, 4 or 8 bytes.
int bytesFor(quint64 value)
{
    if (value <= 0xff) {
        return 1;
    }
    if (value <= 0xffff) {
        return 2;
    }
    return value <= 0xffffffffULL ? 4 : 8;
}

// Object references and table offsets take as few bytes as they need.
int minimalBytesFor(quint64 value)
{
    int size = 1;
    while (size < 8 && (value >> (8 * size)) != 0) {
        ++size;
    }
    return size;
}

void appendInteger(QByteArray &out, qint64 value)
{
    // Negative numbers take all eight bytes, in two's complement.
    const int size = value < 0 ? 8 : bytesFor(quint64(value));
    const int power = size == 1 ? 0 : size == 2 ? 1 : size == 4 ? 2 : 3;
    out.append(char(0x10 | power));
    appendBigEndian(out, quint64(value), size);
}

// A marker with its count: in the low nibble, or as an integer that follows.
void appendMarker(QByteArray &out, uchar type, quint64 count)
{
    if (count < 15) {
        out.append(char(type << 4 | count));
        return;
    }
    out.append(char(type << 4 | 0x0f));
    appendInteger(out, qint64(count));
}

void appendReal(QByteArray &out, uchar marker, double value)
{
    quint64 bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    out.append(char(marker));
    appendBigEndian(out, bits, 8);
}

class BinaryWriter
{
public:
    Result<QByteArray> write(const QVariant &root)
    {
        using namespace PropertyListError;
        if (!add(root, 0)) {
            return Result<QByteArray>::failure(
                m_tooDeep ? error(TooDeep, QStringLiteral("The property list nests deeper than "
                                                          "%1 levels")
                                               .arg(PropertyList::maximumDepth))
                          : error(NotRepresentable,
                                  QStringLiteral("The value has no property-list form")));
        }
        return Result<QByteArray>::success(serialise());
    }

private:
    struct Record
    {
        QByteArray bytes;          // a value's whole encoding
        std::vector<quint64> refs; // a container's references (keys, then values)
        uchar containerType = 0;   // 0xA array, 0xD dictionary, 0 for values
        quint64 containerCount = 0;
    };

    // Adds `value` and returns its object number.
    std::optional<quint64> add(const QVariant &value, int depth)
    {
        if (depth > PropertyList::maximumDepth) {
            m_tooDeep = true;
            return std::nullopt;
        }
        if (value.metaType() == QMetaType::fromType<PropertyListUid>()) {
            const quint64 uid = value.value<PropertyListUid>().value;
            QByteArray bytes;
            const int size = bytesFor(uid);
            bytes.append(char(0x80 | (size - 1)));
            appendBigEndian(bytes, uid, size);
            return unique(bytes);
        }
        switch (value.typeId()) {
        case QMetaType::QVariantMap:
            return addDictionary(value.toMap(), depth);
        case QMetaType::QVariantHash: {
            QVariantMap map;
            const QVariantHash hash = value.toHash();
            for (auto it = hash.constBegin(); it != hash.constEnd(); ++it) {
                map.insert(it.key(), it.value());
            }
            return addDictionary(map, depth);
        }
        case QMetaType::QVariantList:
        case QMetaType::QStringList:
            return addArray(value.toList(), depth);
        default:
            break;
        }
        QByteArray bytes;
        if (!encodeValue(value, bytes)) {
            return std::nullopt;
        }
        return unique(bytes);
    }

    static bool encodeValue(const QVariant &value, QByteArray &bytes)
    {
        switch (value.typeId()) {
        case QMetaType::QString:
            encodeText(value.toString(), bytes);
            return true;
        case QMetaType::Bool:
            bytes.append(char(value.toBool() ? 0x09 : 0x08));
            return true;
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::Long:
        case QMetaType::Short:
        case QMetaType::UInt:
        case QMetaType::ULongLong:
        case QMetaType::ULong:
        case QMetaType::UShort:
            appendInteger(bytes, value.toLongLong());
            return true;
        case QMetaType::Double:
        case QMetaType::Float:
            appendReal(bytes, 0x23, value.toDouble());
            return true;
        case QMetaType::QDateTime: {
            const QDateTime date = value.toDateTime();
            if (!date.isValid()) {
                return false;
            }
            appendReal(bytes, 0x33, double(date.toMSecsSinceEpoch() - appleEpochOffsetMs) / 1000.0);
            return true;
        }
        case QMetaType::QByteArray: {
            const QByteArray data = value.toByteArray();
            appendMarker(bytes, 0x4, quint64(data.size()));
            bytes.append(data);
            return true;
        }
        default:
            return false;
        }
    }

    // ASCII texts as bytes; anything else as big-endian UTF-16.
    static void encodeText(const QString &text, QByteArray &bytes)
    {
        bool ascii = true;
        for (QChar c : text) {
            if (c.unicode() >= 0x80) {
                ascii = false;
                break;
            }
        }
        if (ascii) {
            appendMarker(bytes, 0x5, quint64(text.size()));
            bytes.append(text.toLatin1());
            return;
        }
        appendMarker(bytes, 0x6, quint64(text.size()));
        for (QChar c : text) {
            appendBigEndian(bytes, c.unicode(), 2);
        }
    }

    quint64 unique(const QByteArray &bytes)
    {
        const auto found = m_unique.constFind(bytes);
        if (found != m_unique.constEnd()) {
            return found.value();
        }
        const quint64 index = m_records.size();
        m_records.push_back(Record{bytes, {}, 0, 0});
        m_unique.insert(bytes, index);
        return index;
    }

    std::optional<quint64> addArray(const QVariantList &list, int depth)
    {
        const quint64 index = m_records.size();
        m_records.push_back(Record{{}, {}, 0xA, quint64(list.size())});
        std::vector<quint64> refs;
        refs.reserve(size_t(list.size()));
        for (const QVariant &item : list) {
            const auto child = add(item, depth + 1);
            if (!child) {
                return std::nullopt;
            }
            refs.push_back(*child);
        }
        m_records[index].refs = std::move(refs);
        return index;
    }

    std::optional<quint64> addDictionary(const QVariantMap &map, int depth)
    {
        const quint64 index = m_records.size();
        m_records.push_back(Record{{}, {}, 0xD, quint64(map.size())});
        std::vector<quint64> refs(size_t(map.size()) * 2);
        size_t slot = 0;
        for (auto it = map.constBegin(); it != map.constEnd(); ++it, ++slot) {
            QByteArray key;
            encodeText(it.key(), key);
            refs[slot] = unique(key);
            const auto child = add(it.value(), depth + 1);
            if (!child) {
                return std::nullopt;
            }
            refs[size_t(map.size()) + slot] = *child;
        }
        m_records[index].refs = std::move(refs);
        return index;
    }

    QByteArray serialise() const
    {
        const quint64 count = m_records.size();
        const int refSize = minimalBytesFor(count);
        QByteArray out("bplist00");
        std::vector<quint64> offsets(count);
        for (quint64 i = 0; i < count; ++i) {
            const Record &record = m_records[i];
            offsets[i] = quint64(out.size());
            if (!record.containerType) {
                out.append(record.bytes);
                continue;
            }
            appendMarker(out, record.containerType, record.containerCount);
            for (quint64 ref : record.refs) {
                appendBigEndian(out, ref, refSize);
            }
        }
        const quint64 tableOffset = quint64(out.size());
        const int offsetSize = minimalBytesFor(tableOffset);
        for (quint64 offset : offsets) {
            appendBigEndian(out, offset, offsetSize);
        }
        out.append(QByteArray(6, '\0'));
        out.append(char(offsetSize));
        out.append(char(refSize));
        appendBigEndian(out, count, 8);
        appendBigEndian(out, 0, 8); // the root is object 0
        appendBigEndian(out, tableOffset, 8);
        return out;
    }

    std::vector<Record> m_records;
    QHash<QByteArray, quint64> m_unique;
    bool m_tooDeep = false;
};

} // namespace

namespace PropertyList {

Result<QByteArray> writeBinary(const QVariant &value)
{
    return BinaryWriter().write(value);
}

} // namespace PropertyList
