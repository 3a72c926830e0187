// The icns container: "icns", a big-endian 32-bit total length, then elements
// of a four-letter type, a big-endian 32-bit length that counts the element's
// own 8 header bytes, and the PNG data.
#pragma once

#include <QByteArray>
#include <QList>
#include <QSize>
#include <QString>

#include <optional>

struct IcnsElement
{
    QByteArray type; // four ASCII letters
    QByteArray png;
};

namespace IcnsWriter {

// Nothing when the total would not fit the 32-bit length.
std::optional<QByteArray> container(const QList<IcnsElement> &elements);

// The element type of an icon-set entry of `points` at `scale` (1 or 2):
// 16 icp4, 32 icp5, 64 icp6, 128 ic07, 256 ic08, 512 ic09, 1024 ic10,
// 16@2x ic11, 32@2x ic12, 128@2x ic13, 256@2x ic14, 512@2x ic10.
QByteArray typeFor(int points, int scale);
// Position of a type in the container's order (smallest first).
int order(const QByteArray &type);

// The pixel size a PNG declares in its header; nothing for anything else.
std::optional<QSize> pngSize(const QByteArray &data);

} // namespace IcnsWriter
