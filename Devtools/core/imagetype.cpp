#include "imagetype.h"

#include <QByteArray>
#include <QFile>

namespace ImageType {

QString ofData(const QByteArray &head)
{
    if (head.startsWith("\x89PNG\r\n\x1a\n")) {
        return QStringLiteral("PNG");
    }
    if (head.startsWith("\xff\xd8\xff")) {
        return QStringLiteral("JPG");
    }
    if (head.startsWith("GIF87a") || head.startsWith("GIF89a")) {
        return QStringLiteral("GIF");
    }
    if (head.startsWith(QByteArray("II*\0", 4)) || head.startsWith(QByteArray("MM\0*", 4))) {
        return QStringLiteral("TIF");
    }
    if (head.size() >= 12 && head.mid(4, 4) == "ftyp") {
        const QByteArray brand = head.mid(8, 4);
        if (brand == "heic" || brand == "heix" || brand == "mif1" || brand == "heim" ||
            brand == "heis") {
            return QStringLiteral("HEIC");
        }
    }
    return QString();
}

QString ofFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return QString();
    }
    return ofData(file.read(16));
}

} // namespace ImageType
