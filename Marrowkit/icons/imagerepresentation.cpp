#include "Marrowkit/icons/imagerepresentation.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>
#include <QtMath>

#include <mutex>

struct ImageRepresentation::Private
{
    QSizeF size;
    QSize pixelSize; // empty for a drawn representation
    DrawingHandler handler;
    PngProducer producer; // set: only the PNG is kept, never the pixels

    std::mutex mutex; // guards the caches below
    QImage pixels;
    QByteArray png;
    bool pixelsTried = false;
};

namespace {

bool isSanePixelSize(QSize size)
{
    return size.width() > 0 && size.height() > 0 &&
           size.width() <= ImageRepresentation::maximumPixelSide &&
           size.height() <= ImageRepresentation::maximumPixelSide;
}

QImage decodePng(const QByteArray &png)
{
    QBuffer buffer;
    buffer.setData(png);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    if (!isSanePixelSize(reader.size())) {
        return {};
    }
    return reader.read().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QByteArray encodePng(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (image.isNull() || !image.save(&buffer, "PNG")) {
        return {};
    }
    return bytes;
}

QImage renderDrawing(const ImageRepresentation::DrawingHandler &handler, QSizeF size)
{
    const qreal scale = ImageRepresentation::drawingScale;
    const QSize pixels(qCeil(size.width() * scale), qCeil(size.height() * scale));
    if (!isSanePixelSize(pixels) || !handler) {
        return {};
    }
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.scale(scale, scale);
    if (!handler(painter, QRectF(QPointF(0, 0), size))) {
        return {};
    }
    painter.end();
    return image;
}

} // namespace

ImageRepresentation ImageRepresentation::fromBitmap(const QImage &bitmap, QSizeF size)
{
    ImageRepresentation rep;
    rep.d = std::make_shared<Private>();
    rep.d->pixelSize = bitmap.size();
    rep.d->size = size.isEmpty() ? QSizeF(bitmap.size()) : size;
    rep.d->pixels = bitmap;
    rep.d->pixelsTried = true;
    return rep;
}

std::optional<ImageRepresentation> ImageRepresentation::fromPngData(const QByteArray &png,
                                                                    QSizeF size)
{
    QBuffer buffer;
    buffer.setData(png);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    const QSize pixels = reader.size();
    if (!reader.canRead() || !isSanePixelSize(pixels)) {
        return std::nullopt;
    }
    ImageRepresentation rep;
    rep.d = std::make_shared<Private>();
    rep.d->pixelSize = pixels;
    rep.d->size = size.isEmpty() ? QSizeF(pixels) : size;
    rep.d->png = png;
    return rep;
}

ImageRepresentation ImageRepresentation::fromDrawingHandler(QSizeF size, DrawingHandler handler)
{
    ImageRepresentation rep;
    rep.d = std::make_shared<Private>();
    rep.d->size = size;
    rep.d->handler = std::move(handler);
    return rep;
}

ImageRepresentation ImageRepresentation::fromPngProducer(QSizeF size, QSize pixels,
                                                         PngProducer producer)
{
    ImageRepresentation rep;
    rep.d = std::make_shared<Private>();
    rep.d->size = size;
    rep.d->pixelSize = pixels;
    rep.d->producer = std::move(producer);
    return rep;
}

bool ImageRepresentation::isBitmap() const
{
    return d && !d->handler;
}

QSizeF ImageRepresentation::size() const
{
    return d ? d->size : QSizeF();
}

int ImageRepresentation::pixelsWide() const
{
    return isBitmap() ? d->pixelSize.width() : 0;
}

int ImageRepresentation::pixelsHigh() const
{
    return isBitmap() ? d->pixelSize.height() : 0;
}

QImage ImageRepresentation::bitmap() const
{
    if (!d) {
        return {};
    }
    if (d->producer) {
        const auto png = pngData();
        return png ? decodePng(*png) : QImage();
    }
    std::lock_guard lock(d->mutex);
    if (!d->pixelsTried) {
        d->pixelsTried = true;
        d->pixels = d->handler ? renderDrawing(d->handler, d->size) : decodePng(d->png);
    }
    return d->pixels;
}

std::optional<QByteArray> ImageRepresentation::pngData() const
{
    if (!d) {
        return std::nullopt;
    }
    {
        std::lock_guard lock(d->mutex);
        if (!d->png.isEmpty()) {
            return d->png;
        }
    }
    // Made outside the lock: a producer may take a while, and two threads
    // making the same PNG at once is harmless.
    QByteArray png = d->producer ? d->producer() : encodePng(bitmap());
    if (png.isEmpty()) {
        return std::nullopt;
    }
    std::lock_guard lock(d->mutex);
    d->png = png;
    return png;
}

bool ImageRepresentation::draw(QPainter &painter, const QRectF &target, const QRectF &source) const
{
    if (!d || !painter.isActive() || target.isEmpty() || d->size.isEmpty()) {
        return false;
    }
    const QRectF whole(QPointF(0, 0), d->size);
    const QRectF part = source.isEmpty() ? whole : source;
    if (d->handler && part == whole) {
        // Draw the vector form at the painter's own resolution.
        painter.save();
        painter.translate(target.topLeft());
        painter.scale(target.width() / whole.width(), target.height() / whole.height());
        const bool drawn = d->handler(painter, whole);
        painter.restore();
        return drawn;
    }
    const QImage pixels = bitmap();
    if (pixels.isNull()) {
        return false;
    }
    const qreal sx = pixels.width() / whole.width();
    const qreal sy = pixels.height() / whole.height();
    const QRectF pixelPart(part.x() * sx, part.y() * sy, part.width() * sx, part.height() * sy);
    painter.drawImage(target, pixels, pixelPart);
    return true;
}
