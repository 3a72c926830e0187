// Draws the library's artwork at build time: the template app icons shown
// when an app has no icon of its own ("iOSTemplate", "WatchTemplate",
// "TVTemplate", full-bleed pictures that the app model clips to the device's
// icon shape) and the folder icons of apps in file views ("iOSApplication",
// "watchApplication", icns files holding 256 and 512 pixel PNG elements).
//
// Usage: drawartwork OUTPUT_FOLDER
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QtEndian>

#include <cstdio>
#include <functional>

namespace {

using Draw = std::function<void(QPainter &painter, const QRectF &rect)>;

QImage render(QSize size, const Draw &draw)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    draw(painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return image;
}

void fillBackground(QPainter &painter, const QRectF &rect, QColor top, QColor bottom)
{
    QLinearGradient gradient(rect.topLeft(), rect.bottomLeft());
    gradient.setColorAt(0, top);
    gradient.setColorAt(1, bottom);
    painter.fillRect(rect, gradient);
}

QPen outline(qreal width)
{
    QPen pen(Qt::white, width);
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setCapStyle(Qt::RoundCap);
    return pen;
}

// A phone: a tall rounded body with an earpiece and a home button.
void drawPhone(QPainter &painter, const QRectF &rect)
{
    fillBackground(painter, rect, QColor(0x6f, 0x95, 0xc4), QColor(0x35, 0x57, 0x86));
    const qreal u = rect.width() / 120;
    const QRectF body(rect.center().x() - 23 * u, rect.center().y() - 40 * u, 46 * u, 80 * u);
    painter.setPen(outline(5 * u));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(body, 9 * u, 9 * u);
    painter.drawLine(QPointF(body.center().x() - 7 * u, body.top() + 9 * u),
                     QPointF(body.center().x() + 7 * u, body.top() + 9 * u));
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawEllipse(QPointF(body.center().x(), body.bottom() - 10 * u), 4 * u, 4 * u);
    painter.setBrush(QColor(255, 255, 255, 60));
    painter.drawRect(body.adjusted(6 * u, 17 * u, -6 * u, -19 * u));
}

// A watch: a rounded face with a crown, between two straps.
void drawWatch(QPainter &painter, const QRectF &rect)
{
    fillBackground(painter, rect, QColor(0x4d, 0x4f, 0x5a), QColor(0x1d, 0x1e, 0x24));
    const qreal u = rect.width() / 80;
    const QPointF c = rect.center();
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x9a, 0x9d, 0xa8));
    painter.drawRoundedRect(QRectF(c.x() - 12 * u, rect.top() - 4 * u, 24 * u, 30 * u), 4 * u,
                            4 * u);
    painter.drawRoundedRect(QRectF(c.x() - 12 * u, rect.bottom() - 26 * u, 24 * u, 30 * u), 4 * u,
                            4 * u);
    const QRectF face(c.x() - 18 * u, c.y() - 21 * u, 36 * u, 42 * u);
    painter.setBrush(QColor(0x2a, 0x2c, 0x33));
    painter.setPen(outline(4 * u));
    painter.drawRoundedRect(face, 10 * u, 10 * u);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(QRectF(face.right() + 1 * u, c.y() - 6 * u, 4 * u, 12 * u), 1.5 * u,
                            1.5 * u);
    painter.setPen(outline(3 * u));
    painter.drawLine(c, c + QPointF(0, -11 * u));
    painter.drawLine(c, c + QPointF(8 * u, 4 * u));
}

// A television: a wide screen on a small stand.
void drawTV(QPainter &painter, const QRectF &rect)
{
    fillBackground(painter, rect, QColor(0x7c, 0x88, 0x9d), QColor(0x3b, 0x46, 0x5a));
    const qreal u = rect.width() / 400;
    const QPointF c = rect.center();
    const QRectF screen(c.x() - 110 * u, c.y() - 75 * u, 220 * u, 130 * u);
    painter.setPen(outline(10 * u));
    painter.setBrush(QColor(255, 255, 255, 50));
    painter.drawRoundedRect(screen, 10 * u, 10 * u);
    painter.drawLine(QPointF(c.x(), screen.bottom() + 5 * u),
                     QPointF(c.x(), screen.bottom() + 22 * u));
    painter.drawLine(QPointF(c.x() - 45 * u, screen.bottom() + 26 * u),
                     QPointF(c.x() + 45 * u, screen.bottom() + 26 * u));
}

// The folder icon of an app: a shape filled with a gradient holding a grid
// of nine app tiles.
void drawApplication(QPainter &painter, const QRectF &rect, bool round)
{
    const qreal u = rect.width() / 512;
    const QRectF body = rect.adjusted(32 * u, 32 * u, -32 * u, -32 * u);
    QPainterPath shape;
    if (round) {
        shape.addEllipse(body);
    } else {
        shape.addRoundedRect(body, 100 * u, 100 * u);
    }
    QLinearGradient gradient(body.topLeft(), body.bottomLeft());
    gradient.setColorAt(0, round ? QColor(0x5c, 0x5f, 0x6b) : QColor(0x73, 0x9b, 0xcc));
    gradient.setColorAt(1, round ? QColor(0x22, 0x23, 0x2a) : QColor(0x2f, 0x51, 0x80));
    painter.fillPath(shape, gradient);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    const qreal tile = 74 * u;
    const qreal gap = 26 * u;
    const QPointF origin = body.center() - QPointF(1.5 * tile + gap, 1.5 * tile + gap);
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            const QRectF cell(origin + QPointF(column * (tile + gap), row * (tile + gap)),
                              QSizeF(tile, tile));
            if (round) {
                painter.drawEllipse(cell);
            } else {
                painter.drawRoundedRect(cell, 18 * u, 18 * u);
            }
        }
    }
}

QByteArray png(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QByteArray bigEndian32(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToBigEndian(value, bytes.data());
    return bytes;
}

// An icns container with a 256 ("ic08") and a 512 ("ic09") pixel element.
QByteArray icns(const std::function<void(QPainter &, const QRectF &)> &draw)
{
    QByteArray elements;
    for (const auto &[type, side] : {std::pair{"ic08", 256}, std::pair{"ic09", 512}}) {
        const QByteArray data = png(render(QSize(side, side), draw));
        elements += QByteArray(type) + bigEndian32(quint32(data.size() + 8)) + data;
    }
    return QByteArray("icns") + bigEndian32(quint32(elements.size() + 8)) + elements;
}

bool write(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return !data.isEmpty() && file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        (void)std::fputs("usage: drawartwork OUTPUT_FOLDER\n", stderr);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.mkpath(QStringLiteral("."))) {
        (void)std::fputs("drawartwork: cannot create the output folder\n", stderr);
        return 1;
    }
    const bool ok =
        write(out.filePath(QStringLiteral("iOSTemplate.png")),
              png(render({120, 120}, drawPhone))) &&
        write(out.filePath(QStringLiteral("WatchTemplate.png")),
              png(render({80, 80}, drawWatch))) &&
        write(out.filePath(QStringLiteral("TVTemplate.png")), png(render({400, 240}, drawTV))) &&
        write(out.filePath(QStringLiteral("iOSApplication.icns")),
              icns([](QPainter &p, const QRectF &r) { drawApplication(p, r, false); })) &&
        write(out.filePath(QStringLiteral("watchApplication.icns")),
              icns([](QPainter &p, const QRectF &r) { drawApplication(p, r, true); }));
    if (!ok) {
        (void)std::fputs("drawartwork: cannot write the artwork\n", stderr);
        return 1;
    }
    return 0;
}
