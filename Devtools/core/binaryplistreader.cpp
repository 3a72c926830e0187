#include "binaryplistreader.h"

#include "plistvalues.h"

#include <QDateTime>

#include <cstring>
#include <limits>
#include <unordered_map>

namespace {

constexpr qint64 headerSize = 8;
constexpr qint64 trailerSize = 32;

// One decoded object: its value, and what its whole expansion costs written
// as XML at any depth d: values * Budget::valueCost(d) + 2 * depthSum +
// payloadCost.
struct Decoded
{
    enum class State { InProgress, Done };
    State state = State::InProgress;
    QVariant value;
    qint64 values = 0;      // in the expansion, this object included
    qint64 depthSum = 0;    // of each value's depth below this object
    qint64 payloadCost = 0; // of the texts and data in the expansion
    int height = 0;         // 0 for scalars

    qint64 costAt(int depth) const
    {
        return values * PlistValues::Budget::valueCost(depth) + 2 * depthSum + payloadCost;
    }
};

class Reader
{
public:
    explicit Reader(const QByteArray &data) : m_data(data), m_budget(data.size()) {}

    std::optional<QVariant> read(QString *error);

private:
    bool fail(const QString &why)
    {
        if (m_error.isEmpty()) {
            m_error = why;
        }
        return false;
    }
    quint8 byteAt(quint64 at) const { return quint8(m_data.at(qsizetype(at))); }
    quint64 bigEndian(quint64 at, int size) const;
    bool readTrailer();
    // Whether `count` bytes from `at` lie inside the object area.
    bool holds(quint64 at, quint64 count) const
    {
        return at <= m_objectsEnd && count <= m_objectsEnd - at;
    }
    bool offsetOf(quint64 object, quint64 *offset);
    bool lengthAfterMarker(quint64 offset, quint8 info, quint64 *length, quint64 *start);
    bool reference(quint64 at, quint64 *object);
    const Decoded *decode(quint64 object, int depth);
    bool decodeObject(quint64 offset, int depth, Decoded *result);
    bool decodeInteger(quint64 at, int sizeLog2, QVariant *value);
    bool decodeReal(quint64 at, int sizeLog2, double *value);
    bool decodeString(quint64 offset, quint8 type, quint8 info, Decoded *result);
    bool decodeArray(quint64 offset, quint8 info, int depth, Decoded *result);
    bool decodeDictionary(quint64 offset, quint8 info, int depth, Decoded *result);
    bool addChild(const Decoded *child, Decoded *result);

    const QByteArray &m_data;
    QString m_error;
    int m_offsetSize = 0;
    int m_referenceSize = 0;
    quint64 m_objectCount = 0;
    quint64 m_topObject = 0;
    quint64 m_tableOffset = 0;
    quint64 m_objectsEnd = 0;
    // Node-based, so pointers to entries survive later insertions.
    std::unordered_map<quint64, Decoded> m_decoded;
    PlistValues::Budget m_budget;
};

quint64 Reader::bigEndian(quint64 at, int size) const
{
    quint64 value = 0;
    for (int i = 0; i < size; ++i) {
        value = (value << 8) | byteAt(at + quint64(i));
    }
    return value;
}

bool Reader::readTrailer()
{
    const quint64 size = quint64(m_data.size());
    if (size < quint64(headerSize + trailerSize + 1)) {
        return fail(QStringLiteral("binary property list too short"));
    }
    const quint64 trailer = size - quint64(trailerSize);
    m_offsetSize = byteAt(trailer + 6);
    m_referenceSize = byteAt(trailer + 7);
    m_objectCount = bigEndian(trailer + 8, 8);
    m_topObject = bigEndian(trailer + 16, 8);
    m_tableOffset = bigEndian(trailer + 24, 8);
    if (m_offsetSize < 1 || m_offsetSize > 8 || m_referenceSize < 1 || m_referenceSize > 8) {
        return fail(QStringLiteral("binary property list: invalid offset or reference size"));
    }
    // The offset table lies between the objects and the trailer; checking the
    // claimed count against the room it needs refuses huge claims unread.
    if (m_tableOffset <= quint64(headerSize) || m_tableOffset > trailer || m_objectCount == 0 ||
        m_objectCount > (trailer - m_tableOffset) / quint64(m_offsetSize) ||
        m_topObject >= m_objectCount) {
        return fail(QStringLiteral("binary property list: invalid offset table"));
    }
    m_objectsEnd = m_tableOffset;
    return true;
}

bool Reader::offsetOf(quint64 object, quint64 *offset)
{
    *offset = bigEndian(m_tableOffset + object * quint64(m_offsetSize), m_offsetSize);
    if (*offset < quint64(headerSize) || *offset >= m_objectsEnd) {
        return fail(QStringLiteral("binary property list: object offset outside the objects"));
    }
    return true;
}

// A count in the marker's low nibble, or (0xF) in an integer object after it.
bool Reader::lengthAfterMarker(quint64 offset, quint8 info, quint64 *length, quint64 *start)
{
    if (info != 0x0F) {
        *length = info;
        *start = offset + 1;
        return true;
    }
    if (!holds(offset + 1, 1)) {
        return fail(QStringLiteral("binary property list: truncated length"));
    }
    const quint8 marker = byteAt(offset + 1);
    const int size = 1 << (marker & 0x0F);
    if ((marker & 0xF0) != 0x10 || size > 8 || !holds(offset + 2, quint64(size))) {
        return fail(QStringLiteral("binary property list: invalid length"));
    }
    *length = bigEndian(offset + 2, size);
    *start = offset + 2 + quint64(size);
    return true;
}

bool Reader::reference(quint64 at, quint64 *object)
{
    *object = bigEndian(at, m_referenceSize);
    if (*object >= m_objectCount) {
        return fail(QStringLiteral("binary property list: reference to a missing object"));
    }
    return true;
}

bool Reader::decodeInteger(quint64 at, int sizeLog2, QVariant *value)
{
    const int size = 1 << sizeLog2;
    if (sizeLog2 > 4 || !holds(at, quint64(size))) {
        return fail(QStringLiteral("binary property list: invalid integer"));
    }
    if (size < 8) {
        *value = qint64(bigEndian(at, size));
        return true;
    }
    if (size == 8) {
        *value = qint64(bigEndian(at, 8));
        return true;
    }
    // Sixteen bytes: 64-bit values beyond the signed range, or sign-extended.
    const quint64 high = bigEndian(at, 8);
    const quint64 low = bigEndian(at + 8, 8);
    const bool negative = (low >> 63) != 0;
    if (high == 0) {
        *value = negative ? QVariant(qulonglong(low)) : QVariant(qint64(low));
        return true;
    }
    if (high == std::numeric_limits<quint64>::max() && negative) {
        *value = qint64(low);
        return true;
    }
    return fail(QStringLiteral("binary property list: integer wider than 64 bits"));
}

bool Reader::decodeReal(quint64 at, int sizeLog2, double *value)
{
    if (sizeLog2 == 2 && holds(at, 4)) {
        const quint32 bits = quint32(bigEndian(at, 4));
        float real = 0;
        std::memcpy(&real, &bits, sizeof real);
        *value = real;
        return true;
    }
    if (sizeLog2 == 3 && holds(at, 8)) {
        const quint64 bits = bigEndian(at, 8);
        std::memcpy(value, &bits, sizeof *value);
        return true;
    }
    return fail(QStringLiteral("binary property list: invalid real or date"));
}

bool Reader::decodeString(quint64 offset, quint8 type, quint8 info, Decoded *result)
{
    quint64 length = 0;
    quint64 start = 0;
    if (!lengthAfterMarker(offset, info, &length, &start)) {
        return false;
    }
    const quint64 unitSize = type == 0x6 ? 2 : 1;
    if (length > m_objectsEnd / unitSize || !holds(start, length * unitSize)) {
        return fail(QStringLiteral("binary property list: string outside the objects"));
    }
    QString text;
    if (type == 0x6) {
        text.resize(qsizetype(length));
        for (quint64 i = 0; i < length; ++i) {
            text[qsizetype(i)] = QChar(char16_t(bigEndian(start + 2 * i, 2)));
        }
    } else {
        // Writers use this form for ASCII; read any other byte as Latin-1.
        text = QString::fromLatin1(m_data.constData() + start, qsizetype(length));
    }
    if (!PlistValues::canCarry(text)) {
        return fail(QStringLiteral(
            "binary property list: a string holds NUL or another character XML cannot carry"));
    }
    result->value = text;
    result->payloadCost = PlistValues::Budget::textCost(qint64(length));
    return true;
}

bool Reader::addChild(const Decoded *child, Decoded *result)
{
    if (!child) {
        return false;
    }
    result->values += child->values;
    result->depthSum += child->depthSum + child->values;
    result->payloadCost += child->payloadCost;
    result->height = std::max(result->height, child->height + 1);
    return true;
}

bool Reader::decodeArray(quint64 offset, quint8 info, int depth, Decoded *result)
{
    quint64 count = 0;
    quint64 start = 0;
    if (!lengthAfterMarker(offset, info, &count, &start)) {
        return false;
    }
    if (count > m_objectsEnd / quint64(m_referenceSize) ||
        !holds(start, count * quint64(m_referenceSize))) {
        return fail(QStringLiteral("binary property list: array outside the objects"));
    }
    QVariantList list;
    list.reserve(qsizetype(count));
    for (quint64 i = 0; i < count; ++i) {
        quint64 object = 0;
        if (!reference(start + i * quint64(m_referenceSize), &object)) {
            return false;
        }
        const Decoded *child = decode(object, depth + 1);
        if (!addChild(child, result)) {
            return false;
        }
        list.append(child->value);
    }
    result->value = list;
    return true;
}

bool Reader::decodeDictionary(quint64 offset, quint8 info, int depth, Decoded *result)
{
    quint64 count = 0;
    quint64 start = 0;
    if (!lengthAfterMarker(offset, info, &count, &start)) {
        return false;
    }
    const quint64 referenceSize = quint64(m_referenceSize);
    if (count > m_objectsEnd / (2 * referenceSize) || !holds(start, 2 * count * referenceSize)) {
        return fail(QStringLiteral("binary property list: dictionary outside the objects"));
    }
    QVariantMap map;
    for (quint64 i = 0; i < count; ++i) {
        quint64 keyObject = 0;
        quint64 valueObject = 0;
        if (!reference(start + i * referenceSize, &keyObject) ||
            !reference(start + (count + i) * referenceSize, &valueObject)) {
            return false;
        }
        const Decoded *key = decode(keyObject, depth + 1);
        if (!addChild(key, result)) {
            return false;
        }
        if (key->value.typeId() != QMetaType::QString) {
            return fail(QStringLiteral("binary property list: a dictionary key is not a string"));
        }
        const QString keyText = key->value.toString();
        const Decoded *value = decode(valueObject, depth + 1);
        if (!addChild(value, result)) {
            return false;
        }
        map.insert(keyText, value->value);
    }
    result->value = map;
    return true;
}

bool Reader::decodeObject(quint64 offset, int depth, Decoded *result)
{
    const quint8 marker = byteAt(offset);
    const quint8 type = marker >> 4;
    const quint8 info = marker & 0x0F;
    result->values = 1;
    switch (type) {
    case 0x0:
        if (info == 0x8 || info == 0x9) {
            result->value = info == 0x9;
            return true;
        }
        return fail(
            QStringLiteral("binary property list: null and fill objects are not supported"));
    case 0x1:
        return decodeInteger(offset + 1, info, &result->value);
    case 0x2: {
        double real = 0;
        if (!decodeReal(offset + 1, info, &real)) {
            return false;
        }
        result->value = real;
        return true;
    }
    case 0x3: {
        double seconds = 0;
        if (info != 0x3 || !decodeReal(offset + 1, info, &seconds)) {
            return fail(QStringLiteral("binary property list: invalid date"));
        }
        const auto date = PlistValues::dateFromReferenceSeconds(seconds);
        if (!date) {
            return fail(QStringLiteral("binary property list: date outside the years 1 to 9999"));
        }
        result->value = *date;
        return true;
    }
    case 0x4: {
        quint64 length = 0;
        quint64 start = 0;
        if (!lengthAfterMarker(offset, info, &length, &start)) {
            return false;
        }
        if (!holds(start, length)) {
            return fail(QStringLiteral("binary property list: data outside the objects"));
        }
        result->value = QByteArray(m_data.constData() + start, qsizetype(length));
        result->payloadCost = PlistValues::Budget::dataCost(qint64(length));
        return true;
    }
    case 0x5:
    case 0x6:
        return decodeString(offset, type, info, result);
    case 0xA:
    case 0xD:
        if (depth >= PlistValues::maximumDepth) {
            return fail(QStringLiteral("property list nested too deeply"));
        }
        return type == 0xA ? decodeArray(offset, info, depth, result)
                           : decodeDictionary(offset, info, depth, result);
    default:
        return fail(QStringLiteral("binary property list: unsupported object type"));
    }
}

// Decodes an object once; later references reuse it but pay for it again.
const Decoded *Reader::decode(quint64 object, int depth)
{
    auto found = m_decoded.find(object);
    if (found != m_decoded.end()) {
        const Decoded &known = found->second;
        if (known.state == Decoded::State::InProgress) {
            fail(QStringLiteral("binary property list: an object contains itself"));
            return nullptr;
        }
        if (depth + known.height > PlistValues::maximumDepth) {
            fail(QStringLiteral("property list nested too deeply"));
            return nullptr;
        }
        if (!m_budget.charge(known.costAt(depth))) {
            fail(QStringLiteral("property list expands beyond its budget"));
            return nullptr;
        }
        return &known;
    }
    quint64 offset = 0;
    if (!offsetOf(object, &offset)) {
        return nullptr;
    }
    m_decoded.emplace(object, Decoded());
    Decoded result;
    if (!decodeObject(offset, depth, &result)) {
        return nullptr;
    }
    // Children were charged as they were decoded; this object adds itself
    // (and its own text or data, which only scalars have).
    const qint64 ownPayload = result.height == 0 ? result.payloadCost : 0;
    if (!m_budget.charge(PlistValues::Budget::valueCost(depth) + ownPayload)) {
        fail(QStringLiteral("property list expands beyond its budget"));
        return nullptr;
    }
    result.state = Decoded::State::Done;
    Decoded &stored = m_decoded[object];
    stored = std::move(result);
    return &stored;
}

std::optional<QVariant> Reader::read(QString *error)
{
    const Decoded *top = readTrailer() ? decode(m_topObject, 0) : nullptr;
    if (!top) {
        if (error) {
            *error = m_error.isEmpty() ? QStringLiteral("invalid binary property list") : m_error;
        }
        return std::nullopt;
    }
    return top->value;
}

} // namespace

namespace BinaryPlistReader {

bool looksBinary(const QByteArray &data)
{
    return data.startsWith("bplist");
}

std::optional<QVariant> read(const QByteArray &data, QString *error)
{
    if (!data.startsWith("bplist00")) {
        if (error) {
            *error = QStringLiteral("unsupported binary property list version");
        }
        return std::nullopt;
    }
    return Reader(data).read(error);
}

} // namespace BinaryPlistReader
