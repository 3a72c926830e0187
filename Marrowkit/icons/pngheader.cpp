#include "Marrowkit/icons/pngheader.h"

#include <QtEndian>

std::optional<QSize> pngPixelSize(const QByteArray &head)
{
    static const QByteArray signature("\x89PNG\r\n\x1a\n", 8);
    if (head.size() < pngHeaderBytes || !head.startsWith(signature) ||
        head.mid(12, 4) != QByteArrayLiteral("IHDR")) {
        return std::nullopt;
    }
    const auto *bytes = reinterpret_cast<const uchar *>(head.constData());
    const quint32 width = qFromBigEndian<quint32>(bytes + 16);
    const quint32 height = qFromBigEndian<quint32>(bytes + 20);
    if (width == 0 || height == 0 || width > 0x7fffffffU || height > 0x7fffffffU) {
        return std::nullopt;
    }
    return QSize(int(width), int(height));
}
