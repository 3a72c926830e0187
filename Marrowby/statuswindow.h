// The status area where the desktop has no tray (or when asked for): a small
// always-on-top window with the status icon. A click opens the status menu
// below it; image files dropped on it go to the first booted device (a tray
// icon cannot take drops).
//
// Threads: main thread.
#pragma once

#include <QIcon>
#include <QWidget>

class StatusItemController;

class StatusWindow : public QWidget
{
    Q_OBJECT

public:
    StatusWindow(const QIcon &icon, StatusItemController &controller);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    QIcon m_icon;
    StatusItemController &m_controller;
};
