// Geometry of the mouse tools: shapes, magnet, tracing step, the choice of
// the curve to continue and the splice of a retraced piece.

#include <cmath>
#include <numeric>

#include <gtest/gtest.h>

#include "app/CurveDrawing.h"

using namespace CurveDrawing;

namespace {

std::vector<Point2D> line(int count)
{
    std::vector<Point2D> points;
    for (int i = 0; i < count; ++i)
        points.push_back({static_cast<double>(i), 0.0});
    return points;
}

// A closed polyline of `count` points on a circle, the last repeating the
// first; point i sits at angle i / (count - 1) of the turn.
std::vector<Point2D> ring(int count)
{
    std::vector<Point2D> points;
    for (int i = 0; i < count - 1; ++i) {
        const double t = 2.0 * M_PI * i / (count - 1);
        points.push_back({100.0 + 50.0 * std::cos(t), 100.0 + 50.0 * std::sin(t)});
    }
    points.push_back(points.front());
    return points;
}

// A recognisable piece: points far from everything, tagged by y.
std::vector<Point2D> piece(Point2D from, Point2D to)
{
    return {from, {(from.x + to.x) / 2, 1000.0}, to};
}

} // namespace

TEST(CurveDrawing, SquareIsCentredOnTheAnchorPixel)
{
    const Square square = squarePath({10.7, 20.2}, {14.9, 18.0});
    EXPECT_EQ(square.edge, 9);
    const std::vector<Point2D> expected{{6, 16}, {15, 16}, {15, 25}, {6, 25}, {6, 16}};
    EXPECT_EQ(square.points, expected);
    // A mouse on the anchor's pixel gives the pixel itself.
    EXPECT_EQ(squarePath({3.2, 4.9}, {3.9, 4.1}).edge, 1);
}

TEST(CurveDrawing, CircleSpacesPointsHalfAPixelApart)
{
    const std::vector<Point2D> circle = circlePath({50.0, 60.0}, 10.0);
    // 125 angles (step 0.05 up to 2 pi - 0.05) and the first point again.
    ASSERT_EQ(circle.size(), 126u);
    EXPECT_EQ(circle.front(), circle.back());
    EXPECT_DOUBLE_EQ(circle.front().x, 60.0);
    EXPECT_DOUBLE_EQ(circle.front().y, 60.0);
    for (std::size_t i = 0; i + 1 < circle.size() - 1; ++i) {
        EXPECT_NEAR(std::hypot(circle[i + 1].x - circle[i].x, circle[i + 1].y - circle[i].y), 0.5, 1e-3) << i;
        EXPECT_NEAR(std::hypot(circle[i].x - 50.0, circle[i].y - 60.0), 10.0, 1e-9);
    }
    // No radius: the centre alone, nothing to draw.
    EXPECT_EQ(circlePath({5.0, 6.0}, 0.0), (std::vector<Point2D>{{5.0, 6.0}}));
    EXPECT_EQ(circlePath({5.0, 6.0}, 0.01).size(), 1u);
}

TEST(CurveDrawing, PolygonSideStepsHalfAPixelFromItsStart)
{
    const std::vector<Point2D> side = polygonSide({0.0, 0.0}, {3.0, 4.0});
    ASSERT_EQ(side.size(), 11u);  // int(2 * 5 + 1)
    EXPECT_EQ(side.front(), (Point2D{0.0, 0.0}));
    EXPECT_NEAR(side.back().x, 3.0, 1e-12);
    EXPECT_NEAR(side.back().y, 4.0, 1e-12);
    EXPECT_EQ(polygonSide({2.0, 2.0}, {2.0, 2.0}), (std::vector<Point2D>{{2.0, 2.0}}));
}

TEST(CurveDrawing, MagnetIsASquareWindow)
{
    const Point2D first{10.0, 10.0};
    const struct {
        Point2D mouse;
        double threshold;
        bool snaps;
    } cases[] = {
        {{13.0, 13.0}, 3.0, true},   // the corner of the window: farther than 3 but inside
        {{13.5, 10.0}, 3.0, false},
        {{10.0, 10.0}, 0.0, true},   // threshold 0: only the point itself
        {{10.2, 10.0}, 0.0, false},
    };
    for (const auto& c : cases) {
        const Point2D p = snapToPoint(c.mouse, first, c.threshold);
        EXPECT_EQ(p == first, c.snaps) << c.mouse.x << "," << c.mouse.y;
        if (!c.snaps)
            EXPECT_EQ(p, c.mouse);
    }
}

TEST(CurveDrawing, TracingStepGrowsFromHalfAPixelToFive)
{
    // 600 x 800: diagonal 1000.
    EXPECT_DOUBLE_EQ(tracingStep(0.0, 600, 800), 0.5);
    EXPECT_DOUBLE_EQ(tracingStep(100.0, 600, 800), 0.5);
    EXPECT_DOUBLE_EQ(tracingStep(1000.0, 600, 800), 5.0);
    EXPECT_DOUBLE_EQ(tracingStep(550.0, 600, 800), 2.75);
    // A working area whose diagonal is 100 or less has no range to grow
    // over: the finest step, no division by zero.
    EXPECT_DOUBLE_EQ(tracingStep(100.0, 60, 80), 0.5);
    EXPECT_DOUBLE_EQ(tracingStep(70.0, 42, 42), 0.5);
    EXPECT_DOUBLE_EQ(tracingStep(0.0, 0, 0), 0.5);
}

TEST(CurveDrawing, ContinueTakesOneCurve)
{
    using Pairs = QList<QPair<int, int>>;
    const struct {
        QList<int> sets;
        Pairs curves;
        int set;
        int curve;
        QString refusal;
    } cases[] = {
        {{}, {}, -1, -1, "Select curve from curve explorer."},
        {{2}, {}, 2, 0, ""},
        {{}, {{1, 3}}, 1, 3, ""},
        {{4}, {{1, 3}}, 1, 3, ""},
        {{1, 2}, {}, -1, -1, "Select only one curve."},
        {{}, {{1, 3}, {1, 4}}, -1, -1, "Select only one curve."},
    };
    for (const auto& c : cases) {
        const ContinueChoice choice = continueChoice(c.sets, c.curves);
        EXPECT_EQ(choice.set, c.set);
        EXPECT_EQ(choice.curve, c.curve);
        EXPECT_EQ(choice.refusal, c.refusal);
    }
}

TEST(CurveDrawing, SpliceOfAClosedCurveReplacesTheArcHoldingTheThirdPick)
{
    const std::vector<Point2D> closed = ring(21);

    // Picks 5, 12, 8: the arc 5 .. 12 holds 8, so it goes; 12 .. 20 .. 5
    // (rotated: 7 .. 20) stays, and the piece, turned, leads from 5 into it.
    {
        const std::vector<Point2D> out = spliceCurve(closed, {5, 12, 8}, true, piece(closed[12], closed[5]));
        ASSERT_EQ(out.size(), 3u + 14u);
        EXPECT_EQ(out[0], closed[5]);
        EXPECT_EQ(out[1].y, 1000.0);
        EXPECT_EQ(out[2], closed[12]);
        for (int k = 0; k < 14; ++k)
            EXPECT_EQ(out[3 + k], closed[(12 + k) % 20]) << k;
        EXPECT_EQ(out.front(), out.back());
    }
    // Picks 5, 12, 15: the arc 5 .. 12 does not hold 15 and stays (8
    // points); the piece runs from 12 back to 5 in front of it.
    {
        const std::vector<Point2D> out = spliceCurve(closed, {5, 12, 15}, true, piece(closed[12], closed[5]));
        ASSERT_EQ(out.size(), 3u + 8u);
        EXPECT_EQ(out[0], closed[12]);
        for (int k = 0; k < 8; ++k)
            EXPECT_EQ(out[3 + k], closed[5 + k]) << k;
        EXPECT_EQ(out.front(), out.back());
    }
    // A piece handed over the other way round is turned.
    {
        const std::vector<Point2D> out = spliceCurve(closed, {5, 12, 15}, true, piece(closed[5], closed[12]));
        EXPECT_EQ(out[0], closed[12]);
        EXPECT_EQ(out[2], closed[5]);
    }
}

TEST(CurveDrawing, SpliceOfAnOpenCurveFillsTheGap)
{
    const std::vector<Point2D> open = line(40);
    for (const std::vector<int> picks : {std::vector<int>{30, 10}, std::vector<int>{10, 30}}) {
        // Handed from 30 to 9 (the wrong way): turned to run 9 -> 30.
        const std::vector<Point2D> out = spliceCurve(open, picks, false, piece(open[30], open[9]));
        ASSERT_EQ(out.size(), 10u + 3u + 10u);
        for (int k = 0; k < 10; ++k)
            EXPECT_EQ(out[k], open[k]);
        EXPECT_EQ(out[10], open[9]);
        EXPECT_EQ(out[12], open[30]);
        for (int k = 0; k < 10; ++k)
            EXPECT_EQ(out[13 + k], open[30 + k]);
    }
    // A gap at the very start: the piece ends at the point after the gap.
    for (bool reversed : {false, true}) {
        std::vector<Point2D> p = piece({-5.0, 3.0}, open[5]);
        if (reversed)
            std::reverse(p.begin(), p.end());
        const std::vector<Point2D> out = spliceCurve(open, {0, 5}, false, p);
        ASSERT_EQ(out.size(), 3u + 35u);
        EXPECT_EQ(out[2], open[5]);
        EXPECT_EQ(out[3], open[5]);
        EXPECT_EQ(out.back(), open.back());
    }
}

TEST(CurveDrawing, SpliceWithoutAPieceOrWithPicksOffTheCurveChangesNothing)
{
    const std::vector<Point2D> open = line(10);
    EXPECT_EQ(spliceCurve(open, {2, 6}, false, {}), open);
    EXPECT_EQ(spliceCurve(open, {2, 60}, false, piece(open[2], open[6])), open);
    EXPECT_EQ(spliceCurve(open, {2}, false, piece(open[2], open[6])), open);
    const std::vector<Point2D> closed = ring(21);
    EXPECT_EQ(spliceCurve(closed, {2, 6}, true, piece(closed[6], closed[2])), closed);
}
