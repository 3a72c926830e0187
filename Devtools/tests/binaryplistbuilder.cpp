#include "binaryplistbuilder.h"

#include <cstring>

namespace {

QByteArray bigEndian(quint64 value, int size)
{
    QByteArray bytes(size, '\0');
    for (int i = size - 1; i >= 0; --i) {
        bytes[i] = char(value & 0xFF);
        value >>= 8;
    }
    return bytes;
}

int bytesFor(quint64 value)
{
    int size = 1;
    while (size < 8 && value >= (quint64(1) << (8 * size))) {
        ++size;
    }
    return size;
}

} // namespace

QByteArray BinaryPlistBuilder::header(int type, quint64 count)
{
    if (count < 15) {
        return QByteArray(1, char((type << 4) | int(count)));
    }
    QByteArray bytes(1, char((type << 4) | 0x0F));
    bytes.append(char(0x13));
    bytes.append(bigEndian(count, 8));
    return bytes;
}

int BinaryPlistBuilder::raw(const QByteArray &encoded)
{
    m_objects.append(Object{encoded, 0, {}});
    return int(m_objects.size() - 1);
}

int BinaryPlistBuilder::boolean(bool value)
{
    return raw(QByteArray(1, value ? char(0x09) : char(0x08)));
}

int BinaryPlistBuilder::integer(qint64 value)
{
    return raw(QByteArray(1, char(0x13)) + bigEndian(quint64(value), 8));
}

int BinaryPlistBuilder::unsignedInteger(quint64 value)
{
    return raw(QByteArray(1, char(0x14)) + bigEndian(0, 8) + bigEndian(value, 8));
}

int BinaryPlistBuilder::real(double value)
{
    quint64 bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return raw(QByteArray(1, char(0x23)) + bigEndian(bits, 8));
}

int BinaryPlistBuilder::date(double secondsSince2001)
{
    quint64 bits = 0;
    std::memcpy(&bits, &secondsSince2001, sizeof bits);
    return raw(QByteArray(1, char(0x33)) + bigEndian(bits, 8));
}

int BinaryPlistBuilder::data(const QByteArray &bytes)
{
    return raw(header(0x4, quint64(bytes.size())) + bytes);
}

int BinaryPlistBuilder::ascii(const QByteArray &bytes)
{
    return raw(header(0x5, quint64(bytes.size())) + bytes);
}

int BinaryPlistBuilder::utf16(const QString &text)
{
    QByteArray encoded = header(0x6, quint64(text.size()));
    for (QChar c : text) {
        encoded.append(bigEndian(c.unicode(), 2));
    }
    return raw(encoded);
}

int BinaryPlistBuilder::array(const QList<int> &elements)
{
    m_objects.append(Object{{}, 0xA, elements});
    return int(m_objects.size() - 1);
}

int BinaryPlistBuilder::dictionary(const QList<int> &keys, const QList<int> &values)
{
    m_objects.append(Object{{}, 0xD, keys + values});
    return int(m_objects.size() - 1);
}

QByteArray BinaryPlistBuilder::build(int top, const Trailer &trailer) const
{
    const int referenceSize =
        trailer.referenceSize.value_or(bytesFor(quint64(std::max<qsizetype>(m_objects.size(), 1))));
    QByteArray out = "bplist00";
    QList<quint64> offsets;
    for (const Object &object : m_objects) {
        offsets.append(quint64(out.size()));
        if (object.marker == 0) {
            out.append(object.encoded);
            continue;
        }
        const quint64 count = object.marker == 0xD ? quint64(object.references.size() / 2)
                                                   : quint64(object.references.size());
        out.append(header(object.marker, count));
        for (int reference : object.references) {
            out.append(bigEndian(quint64(reference), referenceSize));
        }
    }
    const quint64 tableOffset = quint64(out.size());
    const int offsetSize = trailer.offsetSize.value_or(bytesFor(tableOffset));
    for (quint64 offset : offsets) {
        out.append(bigEndian(offset, offsetSize));
    }
    out.append(QByteArray(6, '\0'));
    out.append(char(offsetSize));
    out.append(char(referenceSize));
    out.append(bigEndian(trailer.objectCount.value_or(quint64(m_objects.size())), 8));
    out.append(bigEndian(trailer.topObject.value_or(quint64(top)), 8));
    out.append(bigEndian(trailer.tableOffset.value_or(tableOffset), 8));
    return out;
}
