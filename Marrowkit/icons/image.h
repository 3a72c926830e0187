// An image as the icon code sees it: a size in points and one or more
// representations (bitmaps of different pixel sizes, or a drawing handler),
// from which the one that best fits a rectangle is drawn. Also the resizing,
// cropping and PNG encoding the icon code needs.
//
// A value type; copies share their representations, which are immutable and
// safe to read from any thread.
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include "Marrowkit/icons/imagerepresentation.h"

#include <QList>
#include <QMetaType>
#include <QSizeF>

#include <optional>

class MARROWKIT_EXPORT Image
{
public:
    // A null image: no size and no representations.
    Image() = default;
    // An empty image of `size` points; representations are added to it.
    explicit Image(QSizeF size) : m_size(size) {}

    static Image fromBitmap(const QImage &bitmap);
    // Every image a file holds becomes one representation; nothing when the
    // file does not load.
    static std::optional<Image> fromFile(const QString &path);
    // An image from PNG bytes, decoded when first drawn; `size` in points,
    // empty for one point per pixel.
    static std::optional<Image> fromPngData(const QByteArray &png, QSizeF size = {});
    // An image drawn on demand, at whatever resolution it is drawn at.
    static Image withDrawingHandler(QSizeF size, ImageRepresentation::DrawingHandler handler);

    bool isNull() const { return m_size.isEmpty() && m_representations.isEmpty(); }

    // Until a size is set, the image takes the size of its first representation.
    QSizeF size() const;
    void setSize(QSizeF size) { m_size = size; }
    qreal width() const { return size().width(); }
    qreal height() const { return size().height(); }

    // A template image is drawn as a mask in the user interface's colours
    // rather than in its own.
    bool isTemplate() const { return m_template; }
    void setTemplate(bool isTemplate) { m_template = isTemplate; }

    QList<ImageRepresentation> representations() const { return m_representations; }
    void addRepresentation(const ImageRepresentation &representation);

    // The representation to draw into `rect` (points, one pixel per point):
    // a drawn one when there is one, else the smallest bitmap that covers the
    // rectangle, else the largest bitmap.
    std::optional<ImageRepresentation> bestRepresentationForRect(const QRectF &rect) const;

    // Draws the whole image into `target`; false when nothing was drawn.
    bool drawInRect(QPainter &painter, const QRectF &target) const;

    // The bitmap form: the first representation's pixels.
    QImage bitmap() const;

    // A new image of `size` points holding one bitmap (one pixel per point)
    // drawn from the best representation.
    std::optional<Image> copyWithSize(QSizeF size) const;
    // Scales to cover `size` while keeping the aspect ratio.
    std::optional<Image> resizeWhileMaintainingAspectRatioToSize(QSizeF size) const;
    // Scales to cover `size`, then cuts out its centre.
    std::optional<Image> cropToSize(QSizeF size) const;
    std::optional<QByteArray> PNGRepresentation() const;

private:
    QSizeF m_size;
    QList<ImageRepresentation> m_representations;
    bool m_template = false;
};

Q_DECLARE_METATYPE(Image)
