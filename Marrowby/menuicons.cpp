#include "menuicons.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>

namespace MenuIcons {

QIcon statusIcon(const QColor &colour, int size)
{
    // A phone outline holding a marrow-bone: two knuckles joined by a bar.
    QIcon icon;
    for (const int scale : {1, 2}) {
        QImage image(size * scale, size * scale, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(scale * size / 22.0, scale * size / 22.0);
        painter.setPen(QPen(colour, 1.6));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(5, 1.5, 12, 19), 2.5, 2.5);
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        QPainterPath bone;
        bone.addEllipse(QPointF(8.2, 8.2), 1.6, 1.6);
        bone.addEllipse(QPointF(9.4, 7.0), 1.6, 1.6);
        bone.addEllipse(QPointF(12.6, 15.0), 1.6, 1.6);
        bone.addEllipse(QPointF(13.8, 13.8), 1.6, 1.6);
        painter.drawPath(bone.simplified());
        painter.setPen(QPen(colour, 1.8, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(9.0, 8.0), QPointF(13.0, 14.0));
        painter.end();
        image.setDevicePixelRatio(scale);
        icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}

namespace {

QIcon mark(const QColor &fill, const QColor &outline)
{
    QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(outline, 2));
    painter.setBrush(fill);
    painter.drawEllipse(QRectF(9, 9, 14, 14));
    painter.end();
    image.setDevicePixelRatio(2);
    return QIcon(QPixmap::fromImage(image));
}

} // namespace

QIcon bootedMark()
{
    static const QIcon icon = mark(QColor(52, 199, 89), QColor(36, 138, 61));
    return icon;
}

QIcon shutdownMark()
{
    static const QIcon icon = mark(Qt::transparent, QColor(142, 142, 147));
    return icon;
}

} // namespace MenuIcons

QIcon AppIconCache::iconFor(const SimulatorApp &app)
{
    const std::pair<QString, qint64> key{app.uuid(), app.creationDate().toMSecsSinceEpoch()};
    auto found = m_icons.find(key);
    if (found != m_icons.end()) {
        found->used = true;
        return found->icon;
    }
    QIcon icon;
    if (app.icon() && !app.icon()->isNull()) {
        QImage canvas(32, 32, QImage::Format_ARGB32_Premultiplied);
        canvas.fill(Qt::transparent);
        QPainter painter(&canvas);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const bool drawn = app.icon()->drawInRect(painter, QRectF(0, 0, 32, 32));
        painter.end();
        if (drawn) {
            canvas.setDevicePixelRatio(2);
            icon = QIcon(QPixmap::fromImage(canvas));
        }
    }
    m_icons.insert(key, Entry{icon, true});
    return icon;
}

void AppIconCache::pruneUnused()
{
    for (auto it = m_icons.begin(); it != m_icons.end();) {
        if (!it->used) {
            it = m_icons.erase(it);
        } else {
            it->used = false;
            ++it;
        }
    }
}
