#include "iconpainter.h"

#include <QBuffer>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <cmath>

namespace {

QPolygonF regularPolygon(QPointF centre, double radius, int corners, double rotation,
                         double innerRadius = 0)
{
    QPolygonF polygon;
    const int points = innerRadius > 0 ? corners * 2 : corners;
    for (int i = 0; i < points; ++i) {
        const double angle = rotation + i * 2 * M_PI / points;
        const double r = innerRadius > 0 && i % 2 ? innerRadius : radius;
        polygon << centre + QPointF(std::cos(angle) * r, std::sin(angle) * r);
    }
    return polygon;
}

QPainterPath shapePath(IconShape shape, double size)
{
    const QPointF centre(size / 2, size / 2);
    const double r = size * 0.3;
    QPainterPath path;
    switch (shape) {
    case IconShape::Circle:
        path.addEllipse(centre, r, r);
        break;
    case IconShape::Square:
        path.addRect(QRectF(centre - QPointF(r, r), centre + QPointF(r, r)));
        break;
    case IconShape::Triangle:
        path.addPolygon(regularPolygon(centre, r * 1.15, 3, -M_PI / 2));
        break;
    case IconShape::Diamond:
        path.addPolygon(regularPolygon(centre, r * 1.1, 4, -M_PI / 2));
        break;
    case IconShape::Star:
        path.addPolygon(regularPolygon(centre, r * 1.15, 5, -M_PI / 2, r * 0.5));
        break;
    case IconShape::Hexagon:
        path.addPolygon(regularPolygon(centre, r * 1.05, 6, 0));
        break;
    case IconShape::Ring:
        path.addEllipse(centre, r, r);
        path.addEllipse(centre, r * 0.55, r * 0.55);
        path.setFillRule(Qt::OddEvenFill);
        break;
    case IconShape::Cross:
        path.addRect(QRectF(centre.x() - r, centre.y() - r * 0.3, 2 * r, r * 0.6));
        path.addRect(QRectF(centre.x() - r * 0.3, centre.y() - r, r * 0.6, 2 * r));
        path.setFillRule(Qt::WindingFill);
        break;
    }
    return path;
}

} // namespace

namespace IconPainter {

QImage draw(IconShape shape, const QColor &background, int pixels)
{
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(background);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawPath(shapePath(shape, pixels).simplified());
    painter.end();
    return image;
}

QByteArray png(IconShape shape, const QColor &background, int pixels)
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    draw(shape, background, pixels).save(&buffer, "PNG");
    return data;
}

} // namespace IconPainter
