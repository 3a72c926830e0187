// Draws the extension's two images into its bundle's Resources at build
// time, so nothing binary is kept in the sources: "green.png", the badge of
// booted devices (a green dot with a light rim, readable on light and dark
// backgrounds), and "AppIcon.png", the small icon shown on every menu item.
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>

namespace {

QImage canvas(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

QImage badge(int size)
{
    QImage image = canvas(size);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal rim = size / 10.0;
    painter.setPen(QPen(QColor(255, 255, 255, 230), rim));
    painter.setBrush(QColor(52, 199, 89));
    painter.drawEllipse(QRectF(rim, rim, size - 2 * rim, size - 2 * rim));
    return image;
}

// A rounded tile holding a phone outline: the app's mark at menu size.
QImage appIcon(int size)
{
    QImage image = canvas(size);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(88, 86, 214));
    painter.drawRoundedRect(QRectF(0, 0, size, size), size * 0.22, size * 0.22);
    painter.setPen(QPen(Qt::white, size / 12.0));
    painter.setBrush(Qt::NoBrush);
    const QRectF phone(size * 0.32, size * 0.18, size * 0.36, size * 0.64);
    painter.drawRoundedRect(phone, size * 0.06, size * 0.06);
    painter.setBrush(Qt::white);
    painter.drawEllipse(QPointF(size / 2.0, size * 0.72), size / 40.0, size / 40.0);
    return image;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 2 || !QDir().mkpath(arguments.at(1))) {
        std::fprintf(stderr, "usage: drawlensartwork RESOURCES-FOLDER\n");
        return 2;
    }
    const QDir out(arguments.at(1));
    const bool written = badge(32).save(out.filePath(QStringLiteral("green.png"))) &&
                         appIcon(32).save(out.filePath(QStringLiteral("AppIcon.png")));
    return written ? 0 : 1;
}
