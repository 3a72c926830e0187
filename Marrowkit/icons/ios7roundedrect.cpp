#include "Marrowkit/icons/ios7roundedrect.h"

#include <algorithm>
#include <array>

namespace {

// How far a full corner reaches along each edge, in units of the radius.
constexpr qreal limitFactor = 1.52866483;
// Sides longer than this multiple of the radius have room for two corners.
constexpr qreal sizeThreshold = 3.0573299;

// One corner in its own frame: `a` runs along the incoming edge in the
// direction of travel (values <= 0 lie before the corner point), `b` along
// the outgoing edge. Step 0 is the straight edge from the previous corner.
struct CornerPoint
{
    qreal a;
    qreal b;
};

struct CornerShape
{
    CornerPoint edgeEnd;                // step 0, line
    std::array<CornerPoint, 3> easeIn;  // step 1, curve: control 1, control 2, end
    CornerPoint shoulder;               // step 2, line
    std::array<CornerPoint, 3> arc;     // step 3, curve
    std::array<CornerPoint, 3> easeOut; // step 4, curve
};

constexpr CornerShape corner{
    {-limitFactor, 0},
    {{{-1.08849323, 0}, {-0.86840689, 0}, {-0.66993427, 0.06549600}}},
    {-0.63149399, 0.07491100},
    {{{-0.37282392, 0.16905899}, {-0.16906013, 0.37282401}, {-0.07491176, 0.63149399}}},
    {{{0, 0.86840701}, {0, 1.08849299}, {0, limitFactor}}},
};

// Where a corner sits and how its frame lies on the canvas. The units along
// the horizontal and vertical edges may differ: a side too short for full
// corners squeezes them along that side only.
struct CornerFrame
{
    QPointF origin;
    QPointF incoming; // unit step along the incoming edge
    QPointF outgoing; // unit step along the outgoing edge

    QPointF map(const CornerPoint &p) const { return origin + incoming * p.a + outgoing * p.b; }
};

// The four corners counter-clockwise (y up) from (X1, y0), each frame scaled
// by `unitX` along horizontal edges and `unitY` along vertical ones.
std::array<CornerFrame, 4> frames(const QRectF &rect, qreal unitX, qreal unitY)
{
    const qreal x0 = rect.x();
    const qreal y0 = rect.y();
    const qreal x1 = x0 + rect.width();
    const qreal y1 = y0 + rect.height();
    return {{
        {{x1, y0}, {unitX, 0}, {0, unitY}},
        {{x1, y1}, {0, unitY}, {-unitX, 0}},
        {{x0, y1}, {-unitX, 0}, {0, -unitY}},
        {{x0, y0}, {0, -unitY}, {unitX, 0}},
    }};
}

void cubic(QPainterPath &path, const CornerFrame &frame, const std::array<CornerPoint, 3> &points)
{
    path.cubicTo(frame.map(points[0]), frame.map(points[1]), frame.map(points[2]));
}

void addOutline(QPainterPath &path, const QRectF &rect, qreal unitX, qreal unitY)
{
    const auto corners = frames(rect, unitX, unitY);
    path.moveTo(corners[3].map(corner.easeOut[2]));
    for (const CornerFrame &frame : corners) {
        path.lineTo(frame.map(corner.edgeEnd));
        cubic(path, frame, corner.easeIn);
        path.lineTo(frame.map(corner.shoulder));
        cubic(path, frame, corner.arc);
        cubic(path, frame, corner.easeOut);
    }
    path.closeSubpath();
}

// The unit that lets two full corners meet in the middle of a side.
qreal fittingUnit(qreal side)
{
    return side * 0.5 / limitFactor;
}

} // namespace

QPainterPath bezierPathWithIOS7RoundedRect(const QRectF &rect, qreal cornerRadius)
{
    const qreal limit = sizeThreshold * cornerRadius;
    const qreal width = rect.width();
    const qreal height = rect.height();
    QPainterPath path;
    if (width > limit && height > limit) {
        addIOS7RoundedRect1(path, rect, cornerRadius);
    } else if (width > limit) {
        addIOS7RoundedRect2a(path, rect, cornerRadius);
    } else if (height > limit) {
        addIOS7RoundedRect2b(path, rect, cornerRadius);
    } else if (height > width) {
        addIOS7RoundedRect3a(path, rect, cornerRadius);
    } else {
        addIOS7RoundedRect3b(path, rect, cornerRadius);
    }
    return path;
}

void addIOS7RoundedRect1(QPainterPath &path, const QRectF &rect, qreal cornerRadius)
{
    const qreal radius = std::min(cornerRadius, fittingUnit(std::min(rect.width(), rect.height())));
    addOutline(path, rect, radius, radius);
}

// The flattened variants keep the corner's shape and squeeze it along the
// short side(s) until the two corners of that side meet in its middle. At
// the threshold size they coincide with variant 1, so a growing rectangle
// changes shape continuously.
void addIOS7RoundedRect2a(QPainterPath &path, const QRectF &rect, qreal cornerRadius)
{
    addOutline(path, rect, cornerRadius, fittingUnit(rect.height()));
}

void addIOS7RoundedRect2b(QPainterPath &path, const QRectF &rect, qreal cornerRadius)
{
    addOutline(path, rect, fittingUnit(rect.width()), cornerRadius);
}

void addIOS7RoundedRect3a(QPainterPath &path, const QRectF &rect, qreal /*cornerRadius*/)
{
    addOutline(path, rect, fittingUnit(rect.width()), fittingUnit(rect.height()));
}

void addIOS7RoundedRect3b(QPainterPath &path, const QRectF &rect, qreal /*cornerRadius*/)
{
    addOutline(path, rect, fittingUnit(rect.width()), fittingUnit(rect.height()));
}
