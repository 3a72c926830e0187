// One representation of an image: a bitmap of a given pixel size (possibly
// still PNG-encoded until its pixels are first needed) or a drawing handler
// that renders at whatever resolution it is drawn at.
//
// Representations are immutable once made and cheap to copy (shared). The
// decoded pixels and the PNG encoding are computed once and cached under a
// lock, so a representation may be read from several threads at once. One
// made from a PNG producer holds only the PNG: its pixels are decoded anew
// for each use, so a catalogue of them costs a few KB per picture.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include <QByteArray>
#include <QImage>
#include <QRectF>
#include <QSizeF>

#include <functional>
#include <memory>
#include <optional>

class QPainter;

class MARROWKIT_EXPORT ImageRepresentation
{
public:
    // Draws the picture into `rect` (in points) of the painter; false when it
    // could not draw.
    using DrawingHandler = std::function<bool(QPainter &painter, const QRectF &rect)>;

    // A drawn representation's bitmap form is rendered at this many pixels per
    // point, so icons stay sharp on high-density screens.
    static constexpr qreal drawingScale = 2.0;
    // Neither side of a bitmap may exceed this many pixels (hostile PNG
    // headers, absurd sizes).
    static constexpr int maximumPixelSide = 8192;

    ImageRepresentation() = default;

    // `size` in points; empty means one point per pixel.
    static ImageRepresentation fromBitmap(const QImage &bitmap, QSizeF size = {});
    // Reads only the PNG header now; nothing when it is not a PNG of sane size.
    static std::optional<ImageRepresentation> fromPngData(const QByteArray &png, QSizeF size = {});
    static ImageRepresentation fromDrawingHandler(QSizeF size, DrawingHandler handler);
    // A bitmap of `pixels` whose PNG `producer` makes when it is first
    // needed; an empty answer means it could not, and is asked again later.
    using PngProducer = std::function<QByteArray()>;
    static ImageRepresentation fromPngProducer(QSizeF size, QSize pixels, PngProducer producer);

    bool isNull() const { return !d; }
    bool isBitmap() const;
    QSizeF size() const;
    // Pixel dimensions of a bitmap; 0 for a drawn representation.
    int pixelsWide() const;
    int pixelsHigh() const;

    // The pixels: a bitmap's own, a drawn representation rendered at
    // `drawingScale`. A null image when decoding or drawing failed.
    QImage bitmap() const;
    // PNG encoding of `bitmap()`; for a representation made from PNG data the
    // original bytes.
    std::optional<QByteArray> pngData() const;

    // Draws the part `source` (in this representation's points; empty for all
    // of it) into `target`. False when nothing could be drawn.
    bool draw(QPainter &painter, const QRectF &target, const QRectF &source = {}) const;

private:
    struct Private;
    std::shared_ptr<Private> d;
};
