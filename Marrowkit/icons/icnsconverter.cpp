#include "Marrowkit/icons/icnsconverter.h"

#include "Marrowkit/icons/iconset.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QtEndian>

#include <cstdio>
#include <limits>

namespace {

// The element types by the PNG's pixel width.
QByteArray elementType(int pixelWidth)
{
    switch (pixelWidth) {
    case 256:
        return IcnsConverter::dataForOSType(uint32FromFourCharString("ic08"));
    case 512:
        return IcnsConverter::dataForOSType(uint32FromFourCharString("ic09"));
    case 1024:
        return IcnsConverter::dataForOSType(uint32FromFourCharString("ic10"));
    default:
        return IcnsConverter::dataForOSType(uint32FromFourCharString("it32"));
    }
}

QByteArray bigEndian32(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToBigEndian(value, bytes.data());
    return bytes;
}

QString sizeName(int side)
{
    return QString::number(side) + QLatin1Char('x') + QString::number(side);
}

void printError(const QString &text)
{
    // Printing is best effort; there is nowhere to report its failure.
    (void)std::fputs(qPrintable(text + QLatin1Char('\n')), stdout);
    (void)std::fflush(stdout);
}

// Reads the cache file; empty when it is missing or unreadable.
QByteArray readCache(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll();
}

} // namespace

const QList<int> &IcnsConverter::possibleSizes()
{
    static const QList<int> sizes{16, 32, 128, 256, 512};
    return sizes;
}

std::optional<QString> IcnsConverter::cachePath(const QString &name)
{
    // The name is an app's bundle identifier, read from a file the app ships:
    // it must not lead out of the cache folder.
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..") ||
        name.contains(QLatin1Char('/')) || name.contains(QChar(0))) {
        return std::nullopt;
    }
    return QDir::tempPath() + QStringLiteral("/Marrowby/") + name;
}

QByteArray IcnsConverter::convertImagesToData(const QList<Image> &images, const QString &name)
{
    const auto cacheURLPath = cachePath(name);
    if (!cacheURLPath) {
        return {};
    }
    const QString icnsPath = *cacheURLPath + QStringLiteral(".icns");
    // The cache is never invalidated: one conversion per name for the life of
    // the temporary folder.
    if (QFile cached(icnsPath); cached.exists() && cached.open(QIODevice::ReadOnly)) {
        return cached.readAll();
    }
    Iconset iconset;
    for (const Image &image : images) {
        for (int side : possibleSizes()) {
            if (auto copy = image.copyWithSize(QSizeF(side, side))) {
                iconset.addImage(*copy, sizeName(side));
            }
            if (auto copy = image.copyWithSize(QSizeF(2 * side, 2 * side))) {
                iconset.addImage(*copy, sizeName(2 * side));
            }
        }
    }
    const QString parent = QFileInfo(*cacheURLPath).path();
    if (!QDir().mkpath(parent)) {
        printError(QStringLiteral("Could not create the folder ") + parent);
    } else if (auto error = iconset.saveIcnsToURL(QUrl::fromLocalFile(*cacheURLPath))) {
        printError(error->description());
    }
    return readCache(icnsPath);
}

QByteArray IcnsConverter::convertImagesToData(const QList<Image> &images)
{
    QByteArray elements;
    for (const Image &image : images) {
        if (auto element = icnsDataForImage(image)) {
            elements += element->first;
        }
    }
    // The length field counts the whole container: its own 8 header bytes and
    // every element with its header.
    const qint64 total = qint64(elements.size()) + 8;
    if (total > qint64(std::numeric_limits<quint32>::max())) {
        return {};
    }
    return dataForOSType(uint32FromFourCharString("icns")) + bigEndian32(quint32(total)) + elements;
}

std::optional<std::pair<QByteArray, quint32>> IcnsConverter::icnsDataForImage(const Image &image)
{
    QImage bitmap = image.bitmap();
    if (bitmap.isNull() || bitmap.width() != bitmap.height()) {
        return std::nullopt;
    }
    if (!possibleSizes().contains(bitmap.width())) {
        QImage canvas(128, 128, QImage::Format_ARGB32_Premultiplied);
        canvas.fill(Qt::transparent);
        QPainter painter(&canvas);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.setOpacity(1.0);
        if (!image.drawInRect(painter, QRectF(0, 0, 128, 128))) {
            return std::nullopt;
        }
        painter.end();
        bitmap = canvas;
    }
    const auto png = Image::fromBitmap(bitmap).PNGRepresentation();
    if (!png || quint64(png->size()) > std::numeric_limits<quint32>::max() - 8) {
        return std::nullopt;
    }
    const auto length = quint32(png->size());
    return std::make_pair(elementType(bitmap.width()) + bigEndian32(length + 8) + *png, length);
}

QByteArray IcnsConverter::dataForOSType(quint32 code)
{
    return bigEndian32(code);
}
