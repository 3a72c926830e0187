#include "threelinemenustyle.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QStyleOptionMenuItem>

#include <algorithm>

namespace {

constexpr int spacerPoints = 2;
constexpr int horizontalMargin = 6;
constexpr int submenuArrowRoom = 20;

QStringList linesOf(const QStyleOptionMenuItem &item)
{
    // QMenu appends a shortcut after a tab; these items have none.
    return item.text.section(QLatin1Char('\t'), 0, 0).split(QLatin1Char('\n'));
}

int spacerPixels(const QWidget *widget)
{
    QFont font = widget ? widget->font() : QApplication::font();
    font.setPointSizeF(spacerPoints);
    return QFontMetrics(font).height() / 2;
}

} // namespace

ThreeLineMenuStyle::ThreeLineMenuStyle() : QProxyStyle()
{}

QFont ThreeLineMenuStyle::titleFont(const QWidget *widget) const
{
    QFont font = widget ? widget->font() : QApplication::font();
    font.setPointSizeF(11);
    return font;
}

QFont ThreeLineMenuStyle::detailFont(const QWidget *widget) const
{
    QFont font = widget ? widget->font() : QApplication::font();
    font.setPointSizeF(9);
    return font;
}

int ThreeLineMenuStyle::textLeft(const QStyleOption *option) const
{
    const auto *item = qstyleoption_cast<const QStyleOptionMenuItem *>(option);
    const int iconColumn = std::max(item ? item->maxIconWidth : 0, 16);
    return option->rect.left() + horizontalMargin + iconColumn + horizontalMargin;
}

QSize ThreeLineMenuStyle::sizeFromContents(ContentsType type, const QStyleOption *option,
                                           const QSize &size, const QWidget *widget) const
{
    const auto *item = qstyleoption_cast<const QStyleOptionMenuItem *>(option);
    if (type != CT_MenuItem || !item || !isMultiLine(item->text)) {
        return QProxyStyle::sizeFromContents(type, option, size, widget);
    }
    const QStringList lines = linesOf(*item);
    const QFontMetrics title(titleFont(widget));
    const QFontMetrics detail(detailFont(widget));
    int width = title.horizontalAdvance(lines.first());
    int height = title.height();
    for (qsizetype i = 1; i < lines.size(); ++i) {
        width = std::max(width, detail.horizontalAdvance(lines.at(i)));
        height += detail.height();
    }
    const int iconColumn = std::max(item->maxIconWidth, 16);
    width += 3 * horizontalMargin + iconColumn + indentFor(lines) + submenuArrowRoom;
    height += 2 * spacerPixels(widget);
    return {width, height};
}

void ThreeLineMenuStyle::drawControl(ControlElement element, const QStyleOption *option,
                                     QPainter *painter, const QWidget *widget) const
{
    const auto *item = qstyleoption_cast<const QStyleOptionMenuItem *>(option);
    if (element != CE_MenuItem || !item || !isMultiLine(item->text)) {
        QProxyStyle::drawControl(element, option, painter, widget);
        return;
    }
    // The base style draws the highlight, icon, check mark and submenu arrow.
    QStyleOptionMenuItem base = *item;
    base.text.clear();
    QProxyStyle::drawControl(element, &base, painter, widget);

    const QStringList lines = linesOf(*item);
    const bool highlighted = item->state & State_Selected;
    const bool enabled = item->state & State_Enabled;
    const QPalette::ColorGroup group = enabled ? QPalette::Normal : QPalette::Disabled;
    const QColor colour =
        item->palette.color(group, highlighted ? QPalette::HighlightedText : QPalette::WindowText);
    const QFont titleFace = titleFont(widget);
    const QFont detailFace = detailFont(widget);

    painter->save();
    painter->setPen(colour);
    const int left = textLeft(option) + indentFor(lines);
    const int right = item->rect.right() - submenuArrowRoom;
    int top = item->rect.top() + spacerPixels(widget);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QFont &face = i == 0 ? titleFace : detailFace;
        const QFontMetrics metrics(face);
        painter->setFont(face);
        const QRect lineRect(left, top, std::max(0, right - left), metrics.height());
        painter->drawText(lineRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                          metrics.elidedText(lines.at(i), Qt::ElideRight, lineRect.width()));
        top += metrics.height();
    }
    painter->restore();
}
