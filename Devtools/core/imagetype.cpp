#include "imagetype.h"

#include "safefile.h"

#include <QByteArray>

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
    // Named by the user, so a link is fine; a FIFO must not block the read.
    const auto head = SafeFile::readHead(path, 16, true);
    return head ? ofData(*head) : QString();
}

} // namespace ImageType
