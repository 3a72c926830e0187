// Draws the device and app items of the status menu in two or three lines:
// the title in the menu's font at 11 points, then the detail and the size
// line at 9 points, below a thin spacer and above another. An item is drawn
// so when its text holds line breaks (MenuItemText::joined()); every other
// item is left to the base style. Set on the status menu and on every
// submenu, since a style is not inherited by popups.
//
// Threads: main thread (a style is used only by the widgets it is set on).
#pragma once

#include <QProxyStyle>

class ThreeLineMenuStyle : public QProxyStyle
{
public:
    ThreeLineMenuStyle();

    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget) const override;
    QSize sizeFromContents(ContentsType type, const QStyleOption *option, const QSize &size,
                           const QWidget *widget) const override;

    static bool isMultiLine(const QString &text) { return text.contains(QLatin1Char('\n')); }
    // Apps have a size line and sit deeper than devices.
    static int indentFor(const QStringList &lines) { return lines.size() >= 3 ? 8 : 2; }

private:
    QFont titleFont(const QWidget *widget) const;
    QFont detailFont(const QWidget *widget) const;
    int textLeft(const QStyleOption *option) const;
};
