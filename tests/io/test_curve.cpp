#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>
#include <omp.h>

#include "io/Curve.h"
#include "io/PolygonFill.h"
#include "support/Masks.h"

TEST(Curve, Defaults)
{
    UI::Curve curve;
    EXPECT_EQ(curve.name, "");
    EXPECT_EQ(curve.segmType, "unknown");
    EXPECT_EQ(curve.code, "unknown");
    EXPECT_EQ(curve.color, (std::vector<int>{0, 0, 0, 0}));
    EXPECT_TRUE(curve.segmParams.empty());
    EXPECT_EQ(curve.area, -1.0);
    EXPECT_EQ(curve.perimeter, -1.0);
    EXPECT_TRUE(curve.visible);
    EXPECT_FALSE(curve.closed);
    EXPECT_FALSE(curve.inner);
    EXPECT_TRUE(curve.points().empty());
    EXPECT_EQ(curve.closedText(), "open");
    curve.closed = true;
    EXPECT_EQ(curve.closedText(), "closed");
}

TEST(Curve, PointEditing)
{
    UI::Curve curve;
    curve.setPoints({{1, 2}, {3, 4}});
    curve.setPoints(curve.points());  // assigning the list to itself changes nothing
    EXPECT_EQ(curve.points(), (std::vector<Point2D>{{1, 2}, {3, 4}}));
    curve.appendPoints({{5, 6}});
    curve.appendPoints(curve.points());
    EXPECT_EQ(curve.points(), (std::vector<Point2D>{{1, 2}, {3, 4}, {5, 6}, {1, 2}, {3, 4}, {5, 6}}));
    curve.setPoints({{0, 0}, {1, 0}, {1, 1}});
    curve.reversePoints();
    EXPECT_EQ(curve.points(), (std::vector<Point2D>{{1, 1}, {1, 0}, {0, 0}}));

    UI::Curve copy = curve;
    copy.points()[0].x = 99;
    EXPECT_EQ(curve.points()[0].x, 1) << "copies never share points";
}

TEST(CurveSet, BuiltFromPointListsHoldsDefaultCurves)
{
    const std::vector<std::vector<Point2D>> lists{{{1, 1}}, {{2, 2}, {3, 3}}, {}};
    UI::CurveSet set(lists);
    ASSERT_EQ(set.curves.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(set.curves[i].points(), lists[i]);
        EXPECT_EQ(set.curves[i].segmType, "unknown");
        EXPECT_EQ(set.curves[i].area, -1.0);
    }
    EXPECT_EQ(set.minX, 0.0);
    EXPECT_EQ(set.maxY, 0.0) << "no box until updateBoundingBoxes runs";
    EXPECT_TRUE(set.visible);
    EXPECT_TRUE(set.mean.empty());
}

TEST(CurveSet, BoundingBoxesAreTheUnionOfCurvesWithPoints)
{
    constexpr double largest = std::numeric_limits<double>::max();
    constexpr double lowest = std::numeric_limits<double>::lowest();

    UI::CurveSet set({{{-10, 5}, {-3, 8}, {-7, -2}}, {}, {{4, 1}, {6, 20}}});
    set.updateBoundingBoxes();
    EXPECT_EQ(set.curves[0].minX, -10);
    EXPECT_EQ(set.curves[0].maxX, -3) << "all-negative x gives the true, negative maximum";
    EXPECT_EQ(set.curves[0].minY, -2);
    EXPECT_EQ(set.curves[0].maxY, 8);
    EXPECT_EQ(set.curves[1].minX, largest);
    EXPECT_EQ(set.curves[1].maxX, lowest);
    EXPECT_EQ(set.minX, -10);
    EXPECT_EQ(set.minY, -2);
    EXPECT_EQ(set.maxX, 6) << "the empty curve stays out of the union";
    EXPECT_EQ(set.maxY, 20);

    UI::CurveSet empty;
    empty.updateBoundingBoxes();
    EXPECT_EQ(empty.minX, largest);
    EXPECT_EQ(empty.minY, largest);
    EXPECT_EQ(empty.maxX, lowest);
    EXPECT_EQ(empty.maxY, lowest);
}

TEST(CurveSet, StatisticsResetAndAccessByType)
{
    UI::CurveSet set;
    for (int t = 0; t < UI::CurveSet::statisticTypeCount; ++t)
        set.statistic(t) = {1.0, 2.0};
    set.resetStatistics(4);
    for (const auto* list : {&set.mean, &set.std, &set.min, &set.max, &set.meanGL5, &set.meanGL3})
        EXPECT_EQ(*list, (std::vector<double>(4, -1.0)));

    set.statistic(UI::CurveSet::Mean)[0] = 0.5;
    set.statistic(UI::CurveSet::StandardDeviation)[1] = 0.25;
    set.statistic(UI::CurveSet::MeanGL5)[2] = 0.75;
    set.statistic(UI::CurveSet::MeanGL3)[3] = 0.125;
    EXPECT_EQ(set.mean[0], 0.5);
    EXPECT_EQ(set.std[1], 0.25);
    EXPECT_EQ(set.meanGL5[2], 0.75);
    EXPECT_EQ(set.meanGL3[3], 0.125);
    EXPECT_EQ(&set.statistic(2), &set.min);
    EXPECT_EQ(&set.statistic(3), &set.max);
    EXPECT_THROW(set.statistic(6), std::out_of_range);
    EXPECT_THROW(set.statistic(-1), std::out_of_range);

    set.resetStatistics(0);
    EXPECT_TRUE(set.mean.empty());
    EXPECT_TRUE(set.meanGL3.empty());
}

TEST(CurveSet, ListsForTheCurveFiles)
{
    UI::CurveSet set({{{15.5, 30}, {11, 21}}, {{0, 0}}});
    set.curves[0].setName("curve_0");
    set.curves[0].code = "6510";
    set.curves[0].setSegmType("autoSeg");
    set.curves[0].segmParams = {0.1, 2};
    set.curves[1].setName("curve_1");

    const auto shifted = set.pointLists(10, 20);
    EXPECT_EQ(shifted, (std::vector<std::vector<Point2D>>{{{5.5, 10}, {1, 1}}, {{-10, -20}}}));
    EXPECT_EQ(set.pointLists(0, 0), (std::vector<std::vector<Point2D>>{{{15.5, 30}, {11, 21}}, {{0, 0}}}));
    EXPECT_EQ(set.curvePointList(1), (std::vector<std::vector<Point2D>>{{{0, 0}}}));
    EXPECT_EQ(set.names(), (std::vector<std::string>{"curve_0", "curve_1"}));
    EXPECT_EQ(set.codes(), (std::vector<std::string>{"6510", "unknown"}));
    EXPECT_EQ(set.segmentationTypes(), (std::vector<std::string>{"autoSeg", "unknown"}));
    EXPECT_EQ(set.segmentationParams(), (std::vector<std::vector<double>>{{0.1, 2}, {}}));
}

TEST(CurveSet, AllClosed)
{
    UI::CurveSet set;
    EXPECT_TRUE(set.allClosed());
    set.addCurveFromPoints({{1, 1}, {2, 2}, {1, 1}});
    set.curves[0].closed = true;
    EXPECT_TRUE(set.allClosed());
    UI::Curve open;
    set.addCurve(open);
    EXPECT_FALSE(set.allClosed());
}

// ---------------------------------------------------------------- geometry

namespace {

using TestSupport::maskOf;

std::vector<Point2D> translated(std::vector<Point2D> points, double dx, double dy)
{
    for (auto& p : points) {
        p.x += dx;
        p.y += dy;
    }
    return points;
}

} // namespace

TEST(CurveGeometry, PerimeterAndSignedAreaOfClosedCurves)
{
    const double r2 = std::sqrt(2.0);
    struct Case {
        const char* name;
        std::vector<Point2D> points;
        double perimeter;
        double area;
    };
    const Case cases[] = {
        {"triangle, clockwise on the screen", {{0, 0}, {10, 0}, {0, 10}, {0, 0}}, 20 + 10 * r2, 50},
        {"the same triangle reversed", {{0, 0}, {0, 10}, {10, 0}, {0, 0}}, 20 + 10 * r2, -50},
        {"one point", {{3, 4}}, 0, 0},
        // A zero-width spike leaving the right side of a 2 x 2 square runs
        // out and back: it adds its length twice and no area.
        {"square with a horizontal spike", {{0, 0}, {2, 0}, {2, 1}, {5, 1}, {2, 1}, {2, 2}, {0, 2}, {0, 0}}, 14, 4},
        {"square with a diagonal spike",
         {{0, 0}, {4, 0}, {4, 4}, {7, 7}, {4, 4}, {0, 4}, {0, 0}},
         16 + 6 * r2,
         16},
        {"half of a 2 x 2 square", {{0, 0}, {2, 0}, {2, 2}, {0, 0}}, 4 + 2 * r2, 2},
    };
    for (const auto& c : cases) {
        UI::Curve curve;
        curve.setPoints(c.points);
        curve.computeGeometry();
        EXPECT_TRUE(curve.closed) << c.name;
        EXPECT_NEAR(curve.perimeter, c.perimeter, 1e-12) << c.name;
        EXPECT_NEAR(curve.area, c.area, 1e-12) << c.name;
    }
}

TEST(CurveGeometry, FarFromTheOriginTheAreaKeepsItsDigits)
{
    // A 3 x 2 rectangle at the far corner of a tile, off the integer grid:
    // plain shoelace terms there are about 1e14 and cancel to some 1e-2.
    const auto rect = translated({{0, 0}, {3, 0}, {3, 2}, {0, 2}, {0, 0}}, 10979.3 * 1000, 10979.7 * 1000);
    UI::Curve curve;
    curve.setPoints(rect);
    curve.computeGeometry();
    EXPECT_NEAR(curve.area, 6.0, 1e-6);
    EXPECT_NEAR(curve.perimeter, 10.0, 1e-6);
}

TEST(CurveGeometry, OpenCurvesKeepTheirAreaAndClosedCurvesStayClosed)
{
    UI::Curve open;
    open.setPoints({{0, 0}, {3, 4}, {3, 10}});
    open.area = 7.0;
    open.computeGeometry();
    EXPECT_FALSE(open.closed);
    EXPECT_EQ(open.perimeter, 11.0);
    EXPECT_EQ(open.area, 7.0) << "an open curve keeps the area it had";

    // Once closed, always closed: the area is then the shoelace sum over the
    // n - 1 segments, without a closing segment.
    UI::Curve marked;
    marked.setPoints({{0, 0}, {4, 0}, {4, 4}});
    marked.closed = true;
    marked.computeGeometry();
    EXPECT_TRUE(marked.closed);
    EXPECT_EQ(marked.perimeter, 8.0);
    EXPECT_EQ(marked.area, 8.0);

    // The same with the points far away: the shift that keeps the digits
    // must not change the sum of a curve that does not return to its start.
    UI::Curve far;
    far.setPoints(translated({{0, 0}, {4, 0}, {4, 4}}, 1000, 2000));
    far.closed = true;
    far.computeGeometry();
    EXPECT_EQ(far.area, 0.5 * ((1000.0 * 2000.0 - 1004.0 * 2000.0) + (1004.0 * 2004.0 - 1004.0 * 2000.0)));

    UI::Curve empty;
    empty.computeGeometry();
    EXPECT_EQ(empty.perimeter, -1.0);
    EXPECT_EQ(empty.area, -1.0);
    EXPECT_FALSE(empty.closed);
}

TEST(CurveGeometry, InnerFollowsTheSignOfTheAreaOfClosedCurves)
{
    struct Case {
        const char* name;
        std::vector<Point2D> points;
        bool innerBefore;
        bool inner;
    };
    const Case cases[] = {
        {"clockwise closed", {{0, 0}, {4, 0}, {4, 4}, {0, 4}, {0, 0}}, true, false},
        {"counter-clockwise closed", {{0, 0}, {0, 4}, {4, 4}, {4, 0}, {0, 0}}, false, true},
        {"counter-clockwise open", {{0, 0}, {0, 4}, {4, 4}, {4, 0}}, true, false},
        {"one point (area 0)", {{1, 1}}, true, false},
    };
    for (const auto& c : cases) {
        UI::Curve curve;
        curve.setPoints(c.points);
        curve.inner = c.innerBefore;
        curve.updateInnerFromGeometry();
        EXPECT_EQ(curve.inner, c.inner) << c.name;
    }
}

// ---------------------------------------------------------------- rasterisation

namespace {

std::vector<int> rasterized(const UI::CurveSet& set, int x0, int y0, int width, int height)
{
    std::vector<int> mask;
    set.rasterize(x0, y0, width, height, mask);
    return mask;
}

UI::Curve curveOf(std::vector<Point2D> points, bool inner = false)
{
    UI::Curve curve;
    curve.setPoints(points);
    curve.inner = inner;
    return curve;
}

} // namespace

TEST(CurveSetRasterize, SquaresHolesAndRepeatedPoints)
{
    const std::vector<Point2D> square{{0, 0}, {4, 0}, {4, 4}, {0, 4}, {0, 0}};
    const auto inSquare = [](int x, int y) { return x < 4 && y < 4; };

    UI::CurveSet one;
    one.addCurve(curveOf(square));
    EXPECT_EQ(rasterized(one, 0, 0, 5, 5), maskOf(5, 5, inSquare));

    UI::CurveSet repeated;
    repeated.addCurve(curveOf({{0, 0}, {0, 0}, {4, 0}, {4, 0}, {4, 0}, {4, 4}, {0, 4}, {0, 4}, {0, 0}}));
    EXPECT_EQ(rasterized(repeated, 0, 0, 5, 5), maskOf(5, 5, inSquare));

    // The window's origin moves the curves into window pixels.
    UI::CurveSet moved;
    moved.addCurve(curveOf(translated(square, 10, 20)));
    EXPECT_EQ(rasterized(moved, 10, 20, 5, 5), maskOf(5, 5, inSquare));

    UI::CurveSet holed;
    holed.addCurve(curveOf({{0, 0}, {8, 0}, {8, 8}, {0, 8}, {0, 0}}));
    holed.addCurve(curveOf({{2, 2}, {2, 6}, {6, 6}, {6, 2}, {2, 2}}, true));
    const auto withHole = rasterized(holed, 0, 0, 9, 9);
    EXPECT_EQ(withHole, maskOf(9, 9, [](int x, int y) {
                  const bool outer = x < 8 && y < 8;
                  const bool hole = x >= 2 && x < 6 && y >= 2 && y < 6;
                  return outer && !hole;
              }));
    EXPECT_EQ(std::count(withHole.begin(), withHole.end(), 1), 48);

    // Curves are drawn in order: a hole drawn first is filled by its outer
    // curve drawn after it.
    UI::CurveSet holeFirst;
    holeFirst.addCurve(holed.curves[1]);
    holeFirst.addCurve(holed.curves[0]);
    EXPECT_EQ(rasterized(holeFirst, 0, 0, 9, 9), maskOf(9, 9, [](int x, int y) { return x < 8 && y < 8; }));
}

TEST(CurveSetRasterize, ResizingKeepsExistingEntriesAndAddsZeros)
{
    UI::CurveSet set;
    set.addCurve(curveOf({{0, 0}, {2, 0}, {2, 2}, {0, 2}, {0, 0}}));
    std::vector<int> mask(6, 7);
    set.rasterize(0, 0, 4, 3, mask);
    EXPECT_EQ(mask, (std::vector<int>{1, 1, 7, 7,   //
                                      1, 1, 0, 0,   //
                                      0, 0, 0, 0}));

    std::vector<int> longer(20, 7);
    set.rasterize(0, 0, 3, 2, longer);
    EXPECT_EQ(longer, (std::vector<int>{1, 1, 7, 1, 1, 7})) << "cut to the window";
}

TEST(CurveSetRasterize, CurvesReachingOutsideTheWindowAreCut)
{
    // An outer blob crossing every side of the window and a hole crossing
    // its bottom right corner; the window's mask must be the matching part
    // of the mask of a window that holds them whole.
    const double pi = std::acos(-1.0);
    std::vector<Point2D> blob;
    std::vector<Point2D> hole;
    for (int i = 0; i < 97; ++i) {
        const double a = 2 * pi * i / 97;
        const double r = 14 + 3 * std::sin(5 * a);
        blob.push_back({12.3 + r * std::cos(a), 9.7 + r * std::sin(a)});
        hole.push_back({19.1 + 6 * std::cos(a), 15.2 - 5 * std::sin(a)});
    }
    blob.push_back(blob.front());
    hole.push_back(hole.front());
    UI::CurveSet set;
    set.addCurve(curveOf(blob));
    set.addCurve(curveOf(hole, true));

    const int w = 21;
    const int h = 17;
    const int pad = 20;
    const auto big = rasterized(set, -pad, -pad, w + 2 * pad, h + 2 * pad);
    const auto window = rasterized(set, 0, 0, w, h);
    ASSERT_EQ(window.size(), static_cast<std::size_t>(w * h));
    const auto expected = maskOf(w, h, [&](int x, int y) {
        return big[static_cast<std::size_t>(y + pad) * (w + 2 * pad) + x + pad] == 1;
    });
    EXPECT_EQ(window, expected);
    EXPECT_GT(std::count(window.begin(), window.end(), 1), 100);
    EXPECT_GT(std::count(window.begin(), window.end(), 0), 10) << "the hole reaches into the window";
}

TEST(CurveSetRasterize, LargeWindowsGiveTheMaskOfFillingTheCurvesInOrder)
{
    // A window large enough to be split between threads: blobs and holes of
    // every slope, overlapping, crossing the window's sides and the rows
    // where the threads' blocks meet. Whatever the number of threads, the
    // mask is that of filling the curves one after the other.
    const double pi = std::acos(-1.0);
    const int w = 700;
    const int h = 520;
    const int x0 = -30;
    const int y0 = 45;
    std::uint32_t seed = 5;
    auto uniform = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return static_cast<double>(seed >> 8) / 16777216.0;
    };
    UI::CurveSet set;
    for (int c = 0; c < 40; ++c) {
        const bool hole = c % 4 == 3;
        const double r = hole ? 25 + 30 * uniform() : 40 + 160 * uniform();
        const double cx = x0 - 60 + (w + 120) * uniform();
        const double cy = y0 - 60 + (h + 120) * uniform();
        const int points = 50 + static_cast<int>(250 * uniform());
        std::vector<Point2D> blob;
        for (int i = 0; i < points; ++i) {
            const double a = (hole ? -2 : 2) * pi * i / points;
            const double radius = r * (1 + 0.3 * std::sin(5 * a + c));
            blob.push_back({cx + radius * std::cos(a), cy + radius * std::sin(a)});
        }
        blob.push_back(blob.front());
        set.addCurve(curveOf(blob, hole));
    }

    std::vector<int> expected(static_cast<std::size_t>(w) * h, 0);
    for (const auto& curve : set.curves)
        fillPolygon(translated(curve.points(), -x0, -y0), w, h, expected, curve.inner ? 0 : 1);
    ASSERT_GT(std::count(expected.begin(), expected.end(), 1), w * h / 4);

    const int threads = omp_get_max_threads();
    for (int t : {1, 2, 3}) {
        omp_set_num_threads(t);
        EXPECT_EQ(rasterized(set, x0, y0, w, h), expected) << t << " threads";
    }
    omp_set_num_threads(threads);
}
