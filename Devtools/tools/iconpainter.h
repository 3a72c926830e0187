// Simple, clearly different app icons: a coloured square with one white shape.
#pragma once

#include <QColor>
#include <QImage>

enum class IconShape { Circle, Square, Triangle, Diamond, Star, Hexagon, Ring, Cross };

namespace IconPainter {

inline constexpr int shapeCount = 8;

QImage draw(IconShape shape, const QColor &background, int pixels);
// The PNG bytes of draw().
QByteArray png(IconShape shape, const QColor &background, int pixels);

} // namespace IconPainter
