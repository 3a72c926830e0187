#include "Marrowkit/icons/image.h"

#include "Marrowkit/platform/saferead.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QtMath>

#include <cmath>

namespace {

// A bitmap for an image of `size` points at one pixel per point; nothing for
// sizes that cannot be drawn.
std::optional<QImage> canvasForSize(QSizeF size)
{
    if (!std::isfinite(size.width()) || !std::isfinite(size.height()) || size.width() <= 0 ||
        size.height() <= 0 || size.width() > ImageRepresentation::maximumPixelSide ||
        size.height() > ImageRepresentation::maximumPixelSide) {
        return std::nullopt;
    }
    QImage canvas(qCeil(size.width()), qCeil(size.height()), QImage::Format_ARGB32_Premultiplied);
    if (canvas.isNull()) {
        return std::nullopt;
    }
    canvas.fill(Qt::transparent);
    return canvas;
}

// Copies the part `source` of `rep` into a new image of `size` points.
std::optional<Image> drawnCopy(const ImageRepresentation &rep, const QRectF &source, QSizeF size)
{
    auto canvas = canvasForSize(size);
    if (!canvas) {
        return std::nullopt;
    }
    QPainter painter(&*canvas);
    painter.setRenderHints(QPainter::SmoothPixmapTransform | QPainter::Antialiasing);
    if (!rep.draw(painter, QRectF(QPointF(0, 0), size), source)) {
        return std::nullopt;
    }
    painter.end();
    Image copy(size);
    copy.addRepresentation(ImageRepresentation::fromBitmap(*canvas, size));
    return copy;
}

} // namespace

Image Image::fromBitmap(const QImage &bitmap)
{
    Image image;
    image.addRepresentation(ImageRepresentation::fromBitmap(bitmap));
    return image;
}

std::optional<Image> Image::fromFile(const QString &path)
{
    // The library's own resources are read by Qt; files on disk only when
    // regular, whole and within a limit: a FIFO or a device named like an
    // icon would block or never end.
    QByteArray data;
    if (!path.startsWith(QLatin1Char(':'))) {
        auto bytes = SafeRead::readRegularFile(path, SafeRead::imageLimit, SafeRead::Links::Follow);
        if (bytes.isFailure()) {
            return std::nullopt;
        }
        data = *bytes.value();
    }
    QBuffer buffer(&data);
    QImageReader reader;
    if (path.startsWith(QLatin1Char(':'))) {
        reader.setFileName(path);
    } else {
        reader.setDevice(&buffer);
    }
    if (!reader.canRead()) {
        return std::nullopt;
    }
    Image image;
    do {
        const QImage frame = reader.read();
        if (frame.isNull() || frame.width() > ImageRepresentation::maximumPixelSide ||
            frame.height() > ImageRepresentation::maximumPixelSide) {
            break;
        }
        image.addRepresentation(ImageRepresentation::fromBitmap(frame));
    } while (reader.jumpToNextImage());
    if (image.m_representations.isEmpty()) {
        return std::nullopt;
    }
    return image;
}

std::optional<Image> Image::fromPngData(const QByteArray &png, QSizeF size)
{
    auto rep = ImageRepresentation::fromPngData(png, size);
    if (!rep) {
        return std::nullopt;
    }
    Image image(rep->size());
    image.addRepresentation(*rep);
    return image;
}

Image Image::withDrawingHandler(QSizeF size, ImageRepresentation::DrawingHandler handler)
{
    Image image(size);
    image.addRepresentation(ImageRepresentation::fromDrawingHandler(size, std::move(handler)));
    return image;
}

QSizeF Image::size() const
{
    if (m_size.isEmpty() && !m_representations.isEmpty()) {
        return m_representations.first().size();
    }
    return m_size;
}

void Image::addRepresentation(const ImageRepresentation &representation)
{
    if (!representation.isNull()) {
        m_representations.append(representation);
    }
}

std::optional<ImageRepresentation> Image::bestRepresentationForRect(const QRectF &rect) const
{
    std::optional<ImageRepresentation> covering;
    std::optional<ImageRepresentation> largest;
    auto area = [](const ImageRepresentation &rep) {
        return qint64(rep.pixelsWide()) * rep.pixelsHigh();
    };
    for (const ImageRepresentation &rep : m_representations) {
        if (!rep.isBitmap()) {
            return rep;
        }
        if (rep.pixelsWide() >= rect.width() && rep.pixelsHigh() >= rect.height() &&
            (!covering || area(rep) < area(*covering))) {
            covering = rep;
        }
        if (!largest || area(rep) > area(*largest)) {
            largest = rep;
        }
    }
    return covering ? covering : largest;
}

bool Image::drawInRect(QPainter &painter, const QRectF &target) const
{
    auto rep = bestRepresentationForRect(QRectF(QPointF(0, 0), target.size()));
    return rep && rep->draw(painter, target);
}

QImage Image::bitmap() const
{
    return m_representations.isEmpty() ? QImage() : m_representations.first().bitmap();
}

std::optional<Image> Image::copyWithSize(QSizeF size) const
{
    auto rep = bestRepresentationForRect(QRectF(QPointF(0, 0), size));
    if (!rep) {
        return std::nullopt;
    }
    return drawnCopy(*rep, {}, size);
}

std::optional<Image> Image::resizeWhileMaintainingAspectRatioToSize(QSizeF size) const
{
    if (width() <= 0 || height() <= 0) {
        return std::nullopt;
    }
    const qreal wRatio = size.width() / width();
    const qreal hRatio = size.height() / height();
    const qreal scale = hRatio < wRatio ? wRatio : hRatio;
    return copyWithSize(QSizeF(std::floor(width() * scale), std::floor(height() * scale)));
}

std::optional<Image> Image::cropToSize(QSizeF size) const
{
    auto resized = resizeWhileMaintainingAspectRatioToSize(size);
    if (!resized) {
        return std::nullopt;
    }
    const qreal x = std::floor((resized->width() - size.width()) * 0.5);
    const qreal y = std::floor((resized->height() - size.height()) * 0.5);
    const QRectF part(QPointF(x, y), size);
    auto rep = resized->bestRepresentationForRect(part);
    if (!rep) {
        return std::nullopt;
    }
    return drawnCopy(*rep, part, size);
}

std::optional<QByteArray> Image::PNGRepresentation() const
{
    if (m_representations.isEmpty()) {
        return std::nullopt;
    }
    return m_representations.first().pngData();
}
