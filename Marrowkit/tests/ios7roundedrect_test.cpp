// The rounded-rectangle outline: exact points of full corners, and which
// variant a size gets.
#include "Marrowkit/icons/ios7roundedrect.h"

#include <QLineF>

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr qreal L = 1.52866483;

void expectPoint(const QPainterPath &path, int index, QPointF expected)
{
    ASSERT_LT(index, path.elementCount());
    const QPainterPath::Element e = path.elementAt(index);
    EXPECT_NEAR(e.x, expected.x(), 1e-9) << "element " << index;
    EXPECT_NEAR(e.y, expected.y(), 1e-9) << "element " << index;
}

// The points of the outline, without repeats: a zero-length edge leaves no
// element of its own.
std::vector<QPointF> outlinePoints(const QPainterPath &path)
{
    std::vector<QPointF> points;
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPointF p = path.elementAt(i);
        if (points.empty() || QLineF(points.back(), p).length() > 1e-5) {
            points.push_back(p);
        }
    }
    return points;
}

QPainterPath variant(void (*add)(QPainterPath &, const QRectF &, qreal), const QRectF &rect,
                     qreal radius)
{
    QPainterPath path;
    add(path, rect, radius);
    return path;
}

} // namespace

TEST(IOS7RoundedRect, IconSizedSquareHasTheTabulatedFirstCorner)
{
    const qreal r = 6.525;
    const qreal x1 = 28.5;
    const QPainterPath path = bezierPathWithIOS7RoundedRect(QRectF(0, 0, 28.5, 28.5), r);
    // move, then per corner: line, curve (3), line, curve (3), curve (3); then close.
    ASSERT_GE(path.elementCount(), 1 + 4 * 11);
    EXPECT_TRUE(path.elementAt(0).isMoveTo());
    expectPoint(path, 0, {L * r, 0});
    EXPECT_TRUE(path.elementAt(1).isLineTo());
    expectPoint(path, 1, {x1 - L * r, 0});
    EXPECT_TRUE(path.elementAt(2).isCurveTo());
    expectPoint(path, 2, {x1 - 1.08849323 * r, 0});
    expectPoint(path, 3, {x1 - 0.86840689 * r, 0});
    expectPoint(path, 4, {x1 - 0.66993427 * r, 0.06549600 * r});
    EXPECT_TRUE(path.elementAt(5).isLineTo());
    expectPoint(path, 5, {x1 - 0.63149399 * r, 0.07491100 * r});
    expectPoint(path, 6, {x1 - 0.37282392 * r, 0.16905899 * r});
    expectPoint(path, 8, {x1 - 0.07491176 * r, 0.63149399 * r});
    expectPoint(path, 10, {x1, 1.08849299 * r});
    expectPoint(path, 11, {x1, L * r});
    // The second corner turns the same shape a quarter: (a, b) -> (X1 - b r, Y1 + a r).
    expectPoint(path, 12, {x1, 28.5 - L * r});
    expectPoint(path, 15, {x1 - 0.06549600 * r, 28.5 - 0.66993427 * r});
    // The outline ends where it began and touches every edge.
    expectPoint(path, path.elementCount() - 1, {L * r, 0});
    EXPECT_EQ(path.controlPointRect(), QRectF(0, 0, 28.5, 28.5));
}

TEST(IOS7RoundedRect, RadiusShrinksToFitTheShorterSide)
{
    // 3.0573299 x 10 = 30.57: a 40 x 31 rectangle takes full corners, but the
    // radius may be no more than 31 / 2 / L.
    const QRectF rect(5, 7, 40, 31);
    const qreal r = std::min(10.0, 31 * 0.5 / L);
    const QPainterPath path = bezierPathWithIOS7RoundedRect(rect, 10);
    EXPECT_EQ(path, variant(addIOS7RoundedRect1, rect, 10));
    expectPoint(path, 0, {5 + L * r, 7});
    expectPoint(path, 11, {45, 7 + L * r});
}

TEST(IOS7RoundedRect, VariantChosenBySize)
{
    const qreal radius = 10; // threshold 30.573299
    struct Case
    {
        QRectF rect;
        void (*add)(QPainterPath &, const QRectF &, qreal);
        const char *name;
    };
    const Case cases[] = {
        {QRectF(0, 0, 31, 31), addIOS7RoundedRect1, "1"},
        {QRectF(0, 0, 60, 30.5), addIOS7RoundedRect2a, "2a"},
        {QRectF(0, 0, 30.5, 60), addIOS7RoundedRect2b, "2b"},
        {QRectF(0, 0, 20, 30), addIOS7RoundedRect3a, "3a"},
        {QRectF(0, 0, 30, 20), addIOS7RoundedRect3b, "3b"},
    };
    for (const Case &c : cases) {
        const QPainterPath chosen = bezierPathWithIOS7RoundedRect(c.rect, radius);
        EXPECT_EQ(chosen, variant(c.add, c.rect, radius)) << "variant " << c.name;
        EXPECT_EQ(chosen.controlPointRect(), c.rect) << "variant " << c.name;
    }
    // Flattened corners are not full corners.
    const QRectF wide(0, 0, 60, 20);
    EXPECT_NE(bezierPathWithIOS7RoundedRect(wide, radius),
              variant(addIOS7RoundedRect1, wide, radius));
    EXPECT_NE(bezierPathWithIOS7RoundedRect(wide, radius),
              variant(addIOS7RoundedRect3b, wide, radius));
}

TEST(IOS7RoundedRect, FlattenedCornersMeetTheFullOnesAtTheThreshold)
{
    const qreal radius = 10;
    const QRectF atThreshold(0, 0, 80, 3.0573299 * radius * (1 - 1e-12));
    const auto flattened = outlinePoints(variant(addIOS7RoundedRect2a, atThreshold, radius));
    const auto full = outlinePoints(variant(addIOS7RoundedRect1, atThreshold, radius));
    ASSERT_EQ(flattened.size(), full.size());
    for (size_t i = 0; i < full.size(); ++i) {
        EXPECT_NEAR(flattened[i].x(), full[i].x(), 1e-5);
        EXPECT_NEAR(flattened[i].y(), full[i].y(), 1e-5);
    }
}

TEST(IOS7RoundedRect, AddVariantsAppendToAnExistingPath)
{
    QPainterPath path;
    path.addRect(0, 0, 1, 1);
    const int before = path.elementCount();
    addIOS7RoundedRect1(path, QRectF(0, 0, 50, 50), 5);
    // A move and 4 x 11 elements; the outline ends where it began, so
    // closing it adds no line.
    EXPECT_EQ(path.elementCount(), before + 1 + 4 * 11);
}
