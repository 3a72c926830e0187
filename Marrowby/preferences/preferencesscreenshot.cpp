#include "preferencesscreenshot.h"

#include "preferenceswindow.h"

#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QTabWidget>

namespace PreferencesScreenshot {

QString capture(PreferencesWindow &window, const QString &pngPath)
{
    window.present();
    QList<QImage> pictures;
    QTabWidget *tabs = window.tabs();
    const int shown = tabs->currentIndex();
    for (int i = 0; i < tabs->count(); ++i) {
        tabs->setCurrentIndex(i);
        QCoreApplication::processEvents();
        pictures.append(window.grab().toImage());
    }
    tabs->setCurrentIndex(shown);
    constexpr int gap = 16;
    int width = gap;
    int height = 0;
    for (const QImage &picture : std::as_const(pictures)) {
        if (picture.isNull()) {
            return QStringLiteral("the window could not be drawn");
        }
        width += picture.width() + gap;
        height = std::max(height, picture.height());
    }
    QImage sheet(width, height + 2 * gap, QImage::Format_RGB32);
    sheet.fill(window.palette().color(QPalette::Window).darker(115));
    QPainter painter(&sheet);
    int x = gap;
    for (const QImage &picture : std::as_const(pictures)) {
        painter.drawImage(x, gap, picture);
        x += picture.width() + gap;
    }
    painter.end();
    if (!sheet.save(pngPath, "PNG")) {
        return QStringLiteral("cannot write %1").arg(pngPath);
    }
    return {};
}

} // namespace PreferencesScreenshot
