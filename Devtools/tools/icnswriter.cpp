#include "icnswriter.h"

#include <QtEndian>

#include <limits>

namespace {

struct TypeEntry
{
    int points;
    int scale;
    const char *type;
};

constexpr TypeEntry types[] = {
    {16, 1, "icp4"},  {16, 2, "ic11"},  {32, 1, "icp5"},  {32, 2, "ic12"},
    {64, 1, "icp6"},  {128, 1, "ic07"}, {128, 2, "ic13"}, {256, 1, "ic08"},
    {256, 2, "ic14"}, {512, 1, "ic09"}, {512, 2, "ic10"}, {1024, 1, "ic10"},
};

void appendBigEndian(QByteArray &data, quint32 value)
{
    char bytes[4];
    qToBigEndian(value, bytes);
    data.append(bytes, 4);
}

} // namespace

namespace IcnsWriter {

std::optional<QByteArray> container(const QList<IcnsElement> &elements)
{
    quint64 total = 8;
    for (const IcnsElement &element : elements) {
        total += 8 + quint64(element.png.size());
    }
    if (total > std::numeric_limits<quint32>::max()) {
        return std::nullopt;
    }
    QByteArray data("icns");
    data.reserve(qsizetype(total));
    appendBigEndian(data, quint32(total));
    for (const IcnsElement &element : elements) {
        data.append(element.type.left(4));
        appendBigEndian(data, quint32(element.png.size() + 8));
        data.append(element.png);
    }
    return data;
}

QByteArray typeFor(int points, int scale)
{
    for (const TypeEntry &entry : types) {
        if (entry.points == points && entry.scale == scale) {
            return QByteArray(entry.type);
        }
    }
    return QByteArray();
}

int order(const QByteArray &type)
{
    int index = 0;
    for (const TypeEntry &entry : types) {
        if (type == entry.type) {
            return index;
        }
        ++index;
    }
    return index;
}

std::optional<QSize> pngSize(const QByteArray &data)
{
    // Signature, then the IHDR chunk: length, "IHDR", width, height.
    if (data.size() < 24 || !data.startsWith("\x89PNG\r\n\x1a\n") || data.mid(12, 4) != "IHDR") {
        return std::nullopt;
    }
    const quint32 width = qFromBigEndian<quint32>(data.constData() + 16);
    const quint32 height = qFromBigEndian<quint32>(data.constData() + 20);
    if (width == 0 || height == 0 || width > 1u << 16 || height > 1u << 16) {
        return std::nullopt;
    }
    return QSize(int(width), int(height));
}

} // namespace IcnsWriter
