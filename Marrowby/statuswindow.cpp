#include "statuswindow.h"

#include "statusitemcontroller.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>

StatusWindow::StatusWindow(const QIcon &icon, StatusItemController &controller)
    : QWidget(nullptr, Qt::Window | Qt::WindowStaysOnTopHint | Qt::FramelessWindowHint),
      m_icon(icon), m_controller(controller)
{
    setWindowTitle(QStringLiteral("Marrowby"));
    setWindowIcon(icon);
    setAccessibleName(QStringLiteral("Marrowby"));
    setToolTip(
        QStringLiteral("Marrowby: click for the menu, drop images for the running simulator"));
    setAcceptDrops(true);
    setFixedSize(36, 36);
}

void StatusWindow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    m_icon.paint(&painter, rect().adjusted(4, 4, -4, -4));
}

void StatusWindow::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton) {
        m_controller.popUpMenu(mapToGlobal(QPoint(0, height())));
    }
}

void StatusWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (m_controller.draggingEntered(event->mimeData()->urls())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void StatusWindow::dragMoveEvent(QDragMoveEvent *event)
{
    if (m_controller.draggingEntered(event->mimeData()->urls())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void StatusWindow::dropEvent(QDropEvent *event)
{
    m_controller.performDrop(event->mimeData()->urls());
    event->setDropAction(Qt::CopyAction);
    event->accept();
}
