#include "plist/binarypropertylist_p.h"

#include "Marrowkit/plist/propertylist.h"
#include "Marrowkit/plist/propertylisterror.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

constexpr qint64 appleEpochOffsetMs = 978307200LL * 1000;
constexpr int trailerSize = 32;

class BinaryReader
{
public:
    explicit BinaryReader(const QByteArray &data)
        : m_bytes(reinterpret_cast<const uchar *>(data.constData())), m_size(quint64(data.size()))
    {}

    Result<QVariant> read()
    {
        auto root = readRoot();
        if (!root) {
            return Result<QVariant>::failure(refusal());
        }
        return Result<QVariant>::success(*root);
    }

private:
    std::optional<QVariant> readRoot()
    {
        if (m_size < 8 + trailerSize || std::memcmp(m_bytes, "bplist00", 8) != 0) {
            return std::nullopt;
        }
        const uchar *trailer = m_bytes + m_size - trailerSize;
        m_offsetSize = trailer[6];
        m_refSize = trailer[7];
        const quint64 objectCount = bigEndian(trailer + 8, 8);
        const quint64 top = bigEndian(trailer + 16, 8);
        m_tableOffset = bigEndian(trailer + 24, 8);
        if (m_offsetSize < 1 || m_offsetSize > 8 || m_refSize < 1 || m_refSize > 8) {
            return std::nullopt;
        }
        const quint64 tableLimit = m_size - trailerSize;
        // Each object needs at least one byte before the table.
        if (objectCount == 0 || top >= objectCount || m_tableOffset < 9 ||
            m_tableOffset > tableLimit || objectCount > m_tableOffset - 8 ||
            objectCount > (tableLimit - m_tableOffset) / m_offsetSize) {
            return std::nullopt;
        }
        m_objectCount = objectCount;
        m_slots.assign(objectCount, 0);
        m_budget = PropertyList::maximumExpandedSize(qsizetype(m_size));
        auto root = object(top, 0);
        if (!root) {
            return std::nullopt;
        }
        return root->value;
    }

    // The first limit that refused the input; the rest is malformed.
    void refuse(PropertyListError::Code code)
    {
        if (m_refusal == PropertyListError::NotAPropertyList) {
            m_refusal = code;
        }
    }

    Error refusal() const
    {
        using namespace PropertyListError;
        switch (m_refusal) {
        case TooDeep:
            return error(TooDeep, QStringLiteral("The property list nests deeper than %1 levels")
                                      .arg(PropertyList::maximumDepth));
        case ExpandsTooFar:
            return error(
                ExpandsTooFar,
                QStringLiteral("The property list expands to more than %1 values").arg(m_budget));
        default:
            return error(NotAPropertyList,
                         QStringLiteral("Not a property list: malformed binary property list"));
        }
    }

    enum class State : uchar { Reading, Done };
    // An object read so far, with the number of values it expands to.
    struct Entry
    {
        State state = State::Reading;
        QVariant value;
        quint64 size = 0;
    };
    struct Read
    {
        QVariant value;
        quint64 size = 1;
    };

    static quint64 bigEndian(const uchar *p, int size)
    {
        quint64 value = 0;
        for (int i = 0; i < size; ++i) {
            value = (value << 8) | p[i];
        }
        return value;
    }

    // The byte range [start, start + length) lies inside the object area.
    bool inObjects(quint64 start, quint64 length) const
    {
        return start <= m_tableOffset && length <= m_tableOffset - start;
    }

    std::optional<quint64> offsetOf(quint64 index) const
    {
        const quint64 offset =
            bigEndian(m_bytes + m_tableOffset + index * m_offsetSize, m_offsetSize);
        if (offset < 8 || offset >= m_tableOffset) {
            return std::nullopt;
        }
        return offset;
    }

    // The length that follows a marker: its low nibble, or an integer object.
    bool readCount(quint64 &position, uchar marker, quint64 &count) const
    {
        count = marker & 0x0f;
        if (count != 0x0f) {
            return true;
        }
        if (!inObjects(position, 1)) {
            return false;
        }
        const uchar intMarker = m_bytes[position];
        if ((intMarker & 0xf0) != 0x10 || (intMarker & 0x0f) > 3) {
            return false;
        }
        const int size = 1 << (intMarker & 0x0f);
        if (!inObjects(position + 1, quint64(size))) {
            return false;
        }
        count = bigEndian(m_bytes + position + 1, size);
        position += 1 + quint64(size);
        return true;
    }

    // Each object the trailer claims costs one slot, no more than its offset
    // in the table costs the file; values are kept only for objects read.
    std::optional<Read> object(quint64 index, int depth)
    {
        if (index >= m_objectCount) {
            return std::nullopt;
        }
        if (depth > PropertyList::maximumDepth) {
            refuse(PropertyListError::TooDeep);
            return std::nullopt;
        }
        if (const quint32 slot = m_slots[index]) {
            const Entry &known = m_entries[slot - 1];
            if (known.state == State::Reading) {
                return std::nullopt; // a reference cycle
            }
            return Read{known.value, known.size};
        }
        m_entries.push_back(Entry{});
        const size_t slot = m_entries.size();
        m_slots[index] = quint32(slot);
        auto read = parse(index, depth);
        if (!read) {
            return std::nullopt;
        }
        if (read->size > m_budget) {
            refuse(PropertyListError::ExpandsTooFar);
            return std::nullopt;
        }
        m_entries[slot - 1] = Entry{State::Done, read->value, read->size};
        return read;
    }

    // Sums sizes without overflowing; anything past the budget is refused.
    quint64 grown(quint64 size, quint64 more) const { return std::min(size + more, m_budget + 1); }

    std::optional<Read> parse(quint64 index, int depth)
    {
        const auto offset = offsetOf(index);
        if (!offset) {
            return std::nullopt;
        }
        const quint64 position = *offset + 1;
        const uchar marker = m_bytes[*offset];
        switch (marker >> 4) {
        case 0xA:
            return array(position, marker, depth);
        case 0xD:
            return dictionary(position, marker, depth);
        default:
            break;
        }
        auto value = leaf(position, marker);
        if (!value) {
            return std::nullopt;
        }
        return Read{*value, 1};
    }

    std::optional<QVariant> leaf(quint64 position, uchar marker) const
    {
        const uchar low = marker & 0x0f;
        switch (marker >> 4) {
        case 0x0:
            if (marker == 0x08 || marker == 0x09) {
                return QVariant(marker == 0x09);
            }
            return std::nullopt;
        case 0x1: {
            if (low > 4) {
                return std::nullopt;
            }
            const quint64 size = quint64(1) << low;
            if (!inObjects(position, size)) {
                return std::nullopt;
            }
            // 16-byte integers carry the value in their low eight bytes.
            const uchar *p = m_bytes + position + (size == 16 ? 8 : 0);
            const quint64 raw = bigEndian(p, int(size == 16 ? 8 : size));
            return QVariant::fromValue(qint64(raw));
        }
        case 0x2: {
            if (low == 2 && inObjects(position, 4)) {
                const quint32 raw = quint32(bigEndian(m_bytes + position, 4));
                float value;
                std::memcpy(&value, &raw, 4);
                return QVariant(double(value));
            }
            if (low == 3 && inObjects(position, 8)) {
                return QVariant(realAt(position));
            }
            return std::nullopt;
        }
        case 0x3: {
            if (marker != 0x33 || !inObjects(position, 8)) {
                return std::nullopt;
            }
            const double seconds = realAt(position);
            if (!std::isfinite(seconds) || std::fabs(seconds) > 1e13) {
                return std::nullopt;
            }
            const qint64 ms = appleEpochOffsetMs + qint64(std::llround(seconds * 1000.0));
            return QVariant(QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC));
        }
        case 0x4: {
            quint64 count = 0;
            if (!readCount(position, marker, count) || !inObjects(position, count)) {
                return std::nullopt;
            }
            return QVariant(
                QByteArray(reinterpret_cast<const char *>(m_bytes + position), qsizetype(count)));
        }
        case 0x5:
        case 0x7: {
            quint64 count = 0;
            if (!readCount(position, marker, count) || !inObjects(position, count)) {
                return std::nullopt;
            }
            const char *text = reinterpret_cast<const char *>(m_bytes + position);
            return QVariant(marker >> 4 == 0x5 ? QString::fromLatin1(text, qsizetype(count))
                                               : QString::fromUtf8(text, qsizetype(count)));
        }
        case 0x6: {
            quint64 count = 0;
            if (!readCount(position, marker, count) || count > m_tableOffset / 2 ||
                !inObjects(position, count * 2)) {
                return std::nullopt;
            }
            QString text(qsizetype(count), Qt::Uninitialized);
            for (quint64 i = 0; i < count; ++i) {
                text[qsizetype(i)] = QChar(ushort(bigEndian(m_bytes + position + 2 * i, 2)));
            }
            return QVariant(text);
        }
        case 0x8: {
            const quint64 size = quint64(low) + 1;
            if (size > 8 || !inObjects(position, size)) {
                return std::nullopt;
            }
            return QVariant::fromValue(PropertyListUid{bigEndian(m_bytes + position, int(size))});
        }
        default:
            return std::nullopt;
        }
    }

    double realAt(quint64 position) const
    {
        const quint64 raw = bigEndian(m_bytes + position, 8);
        double value;
        std::memcpy(&value, &raw, 8);
        return value;
    }

    bool references(quint64 &position, uchar marker, quint64 perEntry, quint64 &count) const
    {
        if (!readCount(position, marker, count)) {
            return false;
        }
        // Counts larger than the object area could hold are refused before
        // anything is allocated for them.
        return count <= m_tableOffset / (m_refSize * perEntry) &&
               inObjects(position, count * m_refSize * perEntry);
    }

    quint64 referenceAt(quint64 position, quint64 slot) const
    {
        return bigEndian(m_bytes + position + slot * m_refSize, m_refSize);
    }

    std::optional<Read> array(quint64 position, uchar marker, int depth)
    {
        quint64 count = 0;
        if (!references(position, marker, 1, count)) {
            return std::nullopt;
        }
        QVariantList list;
        list.reserve(qsizetype(count));
        quint64 size = 1;
        for (quint64 i = 0; i < count; ++i) {
            auto item = object(referenceAt(position, i), depth + 1);
            if (!item) {
                return std::nullopt;
            }
            size = grown(size, item->size);
            if (size > m_budget) {
                refuse(PropertyListError::ExpandsTooFar);
                return std::nullopt;
            }
            list.append(item->value);
        }
        return Read{QVariant(list), size};
    }

    std::optional<Read> dictionary(quint64 position, uchar marker, int depth)
    {
        quint64 count = 0;
        if (!references(position, marker, 2, count)) {
            return std::nullopt;
        }
        QVariantMap map;
        quint64 size = 1;
        for (quint64 i = 0; i < count; ++i) {
            auto key = object(referenceAt(position, i), depth + 1);
            if (!key || key->value.typeId() != QMetaType::QString) {
                return std::nullopt;
            }
            auto value = object(referenceAt(position, count + i), depth + 1);
            if (!value) {
                return std::nullopt;
            }
            size = grown(size, key->size + value->size);
            if (size > m_budget) {
                refuse(PropertyListError::ExpandsTooFar);
                return std::nullopt;
            }
            map.insert(key->value.toString(), value->value);
        }
        return Read{QVariant(map), size};
    }

    const uchar *m_bytes;
    quint64 m_size;
    quint64 m_tableOffset = 0;
    quint64 m_objectCount = 0;
    int m_offsetSize = 0;
    int m_refSize = 0;
    quint64 m_budget = 0;
    PropertyListError::Code m_refusal = PropertyListError::NotAPropertyList;
    std::vector<quint32> m_slots; // per object: 0 unread, else its entry + 1
    std::vector<Entry> m_entries; // in the order objects are first reached
};

} // namespace

namespace PropertyList {

Result<QVariant> readBinary(const QByteArray &data)
{
    return BinaryReader(data).read();
}

} // namespace PropertyList
