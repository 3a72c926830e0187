// The continuous-curvature rounded rectangle of app icons: corners that ease
// out of the straight edges instead of joining them with a circular arc.
// Coordinates are taken as given (the corners are visited counter-clockwise
// when y grows upwards, clockwise on a y-down canvas).
#pragma once

#include "Marrowkit/marrowkit_export.h"

#include <QPainterPath>
#include <QRectF>

// A new closed path, picking the variant by size: full corners when both
// sides exceed 3.0573299 × cornerRadius, flattened corners along a side that
// is too short for them.
MARROWKIT_EXPORT QPainterPath bezierPathWithIOS7RoundedRect(const QRectF &rect, qreal cornerRadius);

// Append the outline to `path`. Variant 1: full corners (the radius shrinks
// to fit the shorter side). 2a: the height is too short; 2b: the width is too
// short; 3a (taller than wide) and 3b: both are too short.
MARROWKIT_EXPORT void addIOS7RoundedRect1(QPainterPath &path, const QRectF &rect,
                                          qreal cornerRadius);
MARROWKIT_EXPORT void addIOS7RoundedRect2a(QPainterPath &path, const QRectF &rect,
                                           qreal cornerRadius);
MARROWKIT_EXPORT void addIOS7RoundedRect2b(QPainterPath &path, const QRectF &rect,
                                           qreal cornerRadius);
MARROWKIT_EXPORT void addIOS7RoundedRect3a(QPainterPath &path, const QRectF &rect,
                                           qreal cornerRadius);
MARROWKIT_EXPORT void addIOS7RoundedRect3b(QPainterPath &path, const QRectF &rect,
                                           qreal cornerRadius);
