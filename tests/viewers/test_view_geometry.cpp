// The viewers' arithmetic, without widgets.

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>
#include <utility>

#include <gtest/gtest.h>

#include "viewers/QtPrinters.h"
#include "viewers/ViewGeometry.h"

namespace VG = UI::ViewGeometry;

namespace {

// Undirected segments of a point path, for comparing drawings.
using Segment = std::pair<std::pair<double, double>, std::pair<double, double>>;

std::set<Segment> segmentsOf(const QList<QPointF>& path)
{
    std::set<Segment> out;
    for (qsizetype k = 1; k < path.size(); ++k) {
        auto a = std::make_pair(path[k - 1].x(), path[k - 1].y());
        auto b = std::make_pair(path[k].x(), path[k].y());
        if (a == b)
            continue;
        out.insert(a < b ? Segment{a, b} : Segment{b, a});
    }
    return out;
}

bool hasSegment(const std::set<Segment>& segments, QPointF a, QPointF b)
{
    auto pa = std::make_pair(a.x(), a.y());
    auto pb = std::make_pair(b.x(), b.y());
    return segments.count(pa < pb ? Segment{pa, pb} : Segment{pb, pa}) > 0;
}

} // namespace

TEST(ViewGeometry, ZoomTableStartsAtOneAndIsIncreasing)
{
    ASSERT_EQ(VG::zoomLevelCount, 20);
    EXPECT_EQ(VG::zoomTable[VG::startZoomIndex], 1.0);
    EXPECT_EQ(VG::zoomTable[VG::startZoomIndex + 1], 2.0);
    EXPECT_TRUE(std::is_sorted(VG::zoomTable.begin(), VG::zoomTable.end()));
    EXPECT_EQ(VG::zoomTable.front(), 0.1);
    EXPECT_EQ(VG::zoomTable.back(), 20.0);
}

TEST(ViewGeometry, VisibleRegionTable)
{
    struct Case {
        QSize viewport;
        QPoint origin;
        double zoom;
        int dataWidth, dataHeight;
        QPoint end;
        QSize size;
        QSize image;
    };
    const Case cases[] = {
        // Sentinel-2 tile at 1:1 in a 1010 x 710 scroll area (10 px margin).
        {{1010, 710}, {0, 0}, 1.0, 10980, 10980, {1000, 700}, {1000, 700}, {1000, 700}},
        // Whole tile at 0.1, clamped to the data.
        {{2000, 1500}, {0, 0}, 0.1, 10980, 10980, {10980, 10980}, {10980, 10980}, {1098, 1098}},
        // Zoomed in with an offset origin.
        {{210, 110}, {10, 20}, 2.0, 500, 500, {110, 70}, {100, 50}, {200, 100}},
        // Clamped at the data's right and bottom end.
        {{1010, 710}, {10500, 10700}, 1.0, 10980, 10980, {10980, 10980}, {480, 280}, {480, 280}},
        // Tiny data at the largest zoom.
        {{1010, 710}, {0, 0}, 20.0, 3, 2, {3, 2}, {3, 2}, {60, 40}},
        // 3 x 3 at 0.66 rounds 1.98 up.
        {{1010, 710}, {0, 0}, 0.66, 3, 3, {3, 3}, {3, 3}, {2, 2}},
        // Origin exactly at the end: nothing visible.
        {{1010, 710}, {10980, 0}, 1.0, 10980, 10980, {10980, 700}, {0, 700}, {0, 700}},
        // Origin past the end: empty, never negative.
        {{1010, 710}, {11000, 12000}, 1.0, 10980, 10980, {11000, 12000}, {0, 0}, {0, 0}},
        // No viewport size yet, and one smaller than the margin.
        {{0, 0}, {0, 0}, 1.0, 100, 100, {0, 0}, {0, 0}, {0, 0}},
        {{5, 5}, {3, 3}, 1.0, 100, 100, {3, 3}, {0, 0}, {0, 0}},
        // Empty data.
        {{1010, 710}, {0, 0}, 1.0, 0, 0, {0, 0}, {0, 0}, {0, 0}},
    };
    for (const Case& c : cases) {
        const VG::VisibleRegion r = VG::visibleRegion(c.viewport, c.origin, c.zoom, c.dataWidth, c.dataHeight);
        SCOPED_TRACE(testing::Message() << "viewport " << c.viewport << " origin " << c.origin << " zoom " << c.zoom);
        EXPECT_EQ(r.end, c.end);
        EXPECT_EQ(r.size, c.size);
        EXPECT_EQ(r.imageSize, c.image);
    }
}

TEST(ViewGeometry, SamplingAtZoomTwoAndHalf)
{
    struct Case {
        double zoom;
        int origin;
        std::vector<int> expected; // data coordinate of image positions 0, 1, 2, ...
    };
    const Case cases[] = {
        {2.0, 0, {0, 0, 1, 1, 2, 2}},
        {2.0, 3, {3, 3, 4, 4, 5, 5}},
        {0.5, 0, {0, 2, 4, 6}},
        {0.5, 4, {4, 6, 8, 10}},
        // An odd origin at 0.5 starts on the zoomed grid, one pixel early.
        {0.5, 5, {4, 6, 8, 10}},
        {1.0, 7, {7, 8, 9}},
    };
    for (const Case& c : cases) {
        for (std::size_t k = 0; k < c.expected.size(); ++k)
            EXPECT_EQ(VG::sampledCoordinate(static_cast<int>(k), c.origin, c.zoom), c.expected[k])
                << "zoom " << c.zoom << " origin " << c.origin << " position " << k;
    }
}

TEST(ViewGeometry, EverySampleLiesInsideTheVisibleRegion)
{
    // The render reads data at these coordinates: they must stay below the
    // visible end for every zoom, origin and data size.
    for (int index = 0; index < VG::zoomLevelCount; ++index) {
        const double zoom = VG::zoomTable[index];
        for (int dataWidth : {1, 7, 97, 1000}) {
            for (int origin = 0; origin < dataWidth; origin += std::max(1, dataWidth / 13)) {
                const VG::VisibleRegion r = VG::visibleRegion({1930, 1090}, {origin, origin}, zoom, dataWidth,
                                                              dataWidth);
                for (int j = 0; j < r.imageSize.width(); ++j) {
                    const int x = VG::sampledCoordinate(j, origin, zoom);
                    ASSERT_LT(x, r.end.x()) << "zoom " << zoom << " width " << dataWidth << " origin " << origin;
                    ASSERT_GE(x, 0);
                }
            }
        }
    }
}

TEST(ViewGeometry, SampleToByteClampsAndRounds)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const std::pair<float, int> cases[] = {
        {0.0f, 0},   {1.0f, 255}, {0.5f, 128}, {0.25f, 64},  {0.1f, 26},  {1.0f / 255.0f, 1},
        {1.01f, 255}, {7.5f, 255}, {-0.2f, 0},  {-1e-9f, 0},  {nan, 0},    {inf, 255},
        {-inf, 0},
    };
    for (auto [value, expected] : cases)
        EXPECT_EQ(VG::sampleToByte(value), expected) << "sample " << value;
}

TEST(ViewGeometry, ZoomStepFromOneAtAPosition)
{
    const VG::ZoomStepResult r = VG::zoomStep(QPointF(100, 50), +1, VG::startZoomIndex, QPoint(0, 0));
    EXPECT_TRUE(r.changed);
    EXPECT_EQ(r.zoom, 2.0);
    EXPECT_EQ(r.zoomIndex, 10);
    EXPECT_EQ(r.origin, QPoint(50, 25));

    const VG::ZoomStepResult two = VG::zoomStep(QPointF(0, 0), +2, VG::startZoomIndex, QPoint(7, 9));
    EXPECT_EQ(two.zoom, 2.2);
    EXPECT_EQ(two.origin, QPoint(7, 9));
}

TEST(ViewGeometry, ZoomStepStopsAtTheTableEnds)
{
    const VG::ZoomStepResult top = VG::zoomStep(QPointF(10, 10), +1, 19, QPoint(40, 40));
    EXPECT_FALSE(top.changed);
    EXPECT_EQ(top.zoomIndex, 19);
    EXPECT_EQ(top.zoom, 20.0);
    EXPECT_EQ(top.origin, QPoint(40, 40));
    const VG::ZoomStepResult bottom = VG::zoomStep(QPointF(10, 10), -1, 0, QPoint(40, 40));
    EXPECT_FALSE(bottom.changed);
    EXPECT_EQ(bottom.zoomIndex, 0);
    EXPECT_EQ(bottom.origin, QPoint(40, 40));
}

TEST(ViewGeometry, ZoomStepKeepsTheDataPointUnderTheCursor)
{
    const QPointF position(321, 123);
    const QPoint origin(5000, 4000); // far from the start, so no clamping
    for (int index = 0; index < VG::zoomLevelCount; ++index) {
        for (int steps : {-1, +1}) {
            const VG::ZoomStepResult r = VG::zoomStep(position, steps, index, origin);
            if (!r.changed)
                continue;
            const double z0 = VG::zoomTable[index];
            const double beforeX = position.x() / z0 + origin.x();
            const double beforeY = position.y() / z0 + origin.y();
            const double afterX = position.x() / r.zoom + r.origin.x();
            const double afterY = position.y() / r.zoom + r.origin.y();
            // Both sides round to the same whole data pixel.
            EXPECT_LE(std::abs(afterX - beforeX), 1.0) << "index " << index << " steps " << steps;
            EXPECT_LE(std::abs(afterY - beforeY), 1.0) << "index " << index << " steps " << steps;
        }
    }
    // Near the data's start the origin is clamped to 0.
    const VG::ZoomStepResult out = VG::zoomStep(QPointF(400, 300), -1, VG::startZoomIndex, QPoint(10, 10));
    EXPECT_EQ(out.origin, QPoint(0, 0));
}

TEST(ViewGeometry, PanAddsUpSlowMovesAtZoomTwo)
{
    // One screen pixel per event at zoom 2: one data pixel every second event.
    QPoint origin(500, 500);
    QPoint last(100, 100);
    std::vector<int> origins;
    for (int event = 1; event <= 6; ++event) {
        const VG::PanResult r = VG::panStep(origin, last, QPoint(100 + event, 100), 2.0, 10980, 10980);
        if (event % 2 == 1) {
            EXPECT_FALSE(r.moved);
            EXPECT_EQ(r.lastMousePos, last) << "a move under one data pixel keeps the last position";
        }
        origin = r.origin;
        last = r.lastMousePos;
        origins.push_back(origin.x());
    }
    EXPECT_EQ(origins, (std::vector<int>{500, 499, 499, 498, 498, 497}));
    EXPECT_EQ(origin.y(), 500);
}

TEST(ViewGeometry, PanLimits)
{
    struct Case {
        QPoint origin, last, mouse;
        int dataWidth, dataHeight;
        QPoint expected;
    };
    const Case cases[] = {
        // Toward the start: stops at 0.
        {{5, 8}, {0, 0}, {100, 100}, 10980, 10980, {0, 0}},
        // Toward the end: 100 data pixels stay in view.
        {{850, 850}, {200, 200}, {100, 100}, 1000, 1000, {900, 900}},
        {{850, 850}, {200, 200}, {150, 150}, 1000, 1000, {900, 900}},
        {{850, 850}, {200, 200}, {160, 190}, 1000, 1000, {890, 860}},
        // Data narrower than 100 pixels: origin stays 0.
        {{0, 0}, {200, 200}, {100, 100}, 80, 60, {0, 0}},
        // Empty data never moves the origin below 0.
        {{0, 0}, {200, 200}, {100, 100}, 0, 0, {0, 0}},
    };
    for (const Case& c : cases) {
        const VG::PanResult r = VG::panStep(c.origin, c.last, c.mouse, 1.0, c.dataWidth, c.dataHeight);
        EXPECT_EQ(r.origin, c.expected) << "origin " << c.origin << " mouse " << c.mouse;
        EXPECT_EQ(r.lastMousePos, c.mouse);
    }
}

TEST(ViewGeometry, CentredOrigin)
{
    EXPECT_EQ(VG::centredOrigin(500, 400, 200, 101, 2.0), QPoint(450, 375)); // 101 / 2 is 50
    EXPECT_EQ(VG::centredOrigin(5000, 5000, 1000, 700, 1.0), QPoint(4500, 4650));
    EXPECT_EQ(VG::centredOrigin(10, 10, 1000, 700, 1.0), QPoint(0, 0)) << "clamped at the start";
    EXPECT_EQ(VG::centredOrigin(100, 100, 1000, 700, 0.5), QPoint(0, 0));
}

TEST(ViewGeometry, ScaleBarOverAllZoomLevels)
{
    const int pixels[20] = {200, 200, 198, 200, 203, 198, 200, 200, 198, 200,
                            200, 198, 200, 203, 201, 200, 200, 201, 200, 200};
    const char* texts[20] = {"20.0km", "10.0km", "9.0km", "8.0km", "7.0km", "6.0km", "5.0km",
                             "4.0km",  "3.0km",  "2.0km", "1.0km", "900m",  "800m",  "700m",
                             "600m",   "500m",   "400m",  "300m",  "200m",  "100m"};
    for (int index = 0; index < VG::zoomLevelCount; ++index) {
        const double zoom = VG::zoomTable[index];
        EXPECT_EQ(VG::scaleBarPixels(zoom), pixels[index]) << "zoom " << zoom;
        const VG::ScaleBar bar = VG::scaleBar(zoom);
        EXPECT_EQ(bar.pixels, pixels[index]) << "zoom " << zoom;
        EXPECT_EQ(bar.text, QString(texts[index])) << "zoom " << zoom;
    }
}

TEST(ViewGeometry, ScaleBarFollowsTheGroundPixelSize)
{
    struct Case {
        double zoom, pixelSize;
        const char* text;
    };
    const Case cases[] = {
        {1.0, 10.0, "2.0km"},
        {1.0, 0.5, "100m"},   // half-metre orthophoto
        {4.0, 0.2, "10m"},
        {20.0, 0.25, "2.5m"}, // below 10 m the text keeps one decimal
        {0.1, 0.5, "1.0km"},
        {1.0, 0.0, "2.0km"},  // no valid size: the Sentinel-2 grid
        {1.0, -3.0, "2.0km"},
        {1.0, std::numeric_limits<double>::quiet_NaN(), "2.0km"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(VG::scaleBar(c.zoom, c.pixelSize).text, QString(c.text))
            << "zoom " << c.zoom << " pixel size " << c.pixelSize;
    EXPECT_DOUBLE_EQ(VG::scaleBar(1.0, 0.5).metres, 100.0);
}

TEST(ViewGeometry, PolygonClippingCases)
{
    const QSize image(100, 100);
    QList<QPointF> out;

    const QList<QPointF> inside{{10, 10}, {50, 20}, {30, 80}};
    VG::clipPolygon(inside, out, image);
    EXPECT_EQ(out, inside);

    VG::clipPolygon({{-10, -10}, {-50, 20}, {-30, 80}}, out, image);
    EXPECT_TRUE(out.isEmpty());

    VG::clipPolygon({}, out, image);
    EXPECT_TRUE(out.isEmpty());

    VG::clipPolygon(inside, out, QSize(0, 0));
    EXPECT_TRUE(out.isEmpty()) << "nothing is inside an empty image";

    // Intersections are rounded to whole pixels: y = 50.49 at x = 99.
    VG::clipPolygon({{50, 50}, {150, 51}}, out, image);
    EXPECT_EQ(out, (QList<QPointF>{{50, 50}, {99, 50}}));

    // A path that leaves and comes back is joined along the border.
    VG::clipPolygon({{10, 50}, {150, 50}, {150, 60}, {10, 60}}, out, image);
    EXPECT_EQ(out, (QList<QPointF>{{10, 50}, {99, 50}, {99, 60}, {10, 60}}));
}

TEST(ViewGeometry, ClosedCurveClipsTheSameWhereverItStarts)
{
    // A square sticking out over the right edge, once starting inside and
    // once starting outside: the same closed outline, border piece included.
    const QSize image(100, 100);
    QList<QPointF> fromInside;
    QList<QPointF> fromOutside;
    VG::clipPolygon({{50, 20}, {150, 20}, {150, 80}, {50, 80}, {50, 20}}, fromInside, image);
    VG::clipPolygon({{150, 20}, {150, 80}, {50, 80}, {50, 20}, {150, 20}}, fromOutside, image);
    ASSERT_FALSE(fromInside.isEmpty());
    ASSERT_FALSE(fromOutside.isEmpty());
    EXPECT_EQ(fromInside.first(), fromInside.last());
    EXPECT_EQ(fromOutside.first(), fromOutside.last());
    const auto a = segmentsOf(fromInside);
    const auto b = segmentsOf(fromOutside);
    EXPECT_EQ(a, b);
    EXPECT_TRUE(hasSegment(a, {99, 20}, {99, 80}));
    EXPECT_TRUE(hasSegment(a, {50, 80}, {50, 20}));

    // A closed curve around the whole image becomes the image's outline.
    QList<QPointF> around;
    VG::clipPolygon({{-10, -10}, {200, -10}, {200, 200}, {-10, 200}, {-10, -10}}, around, image);
    const auto outline = segmentsOf(around);
    EXPECT_TRUE(hasSegment(outline, {0, 0}, {99, 0}));
    EXPECT_TRUE(hasSegment(outline, {99, 0}, {99, 99}));
    EXPECT_TRUE(hasSegment(outline, {99, 99}, {0, 99}));
    EXPECT_TRUE(hasSegment(outline, {0, 99}, {0, 0}));
}

TEST(ViewGeometry, OpenPolylineClipsSegmentBySegment)
{
    const QSize image(100, 100);

    // Leaves at the right and comes back: two pieces, no line along the border.
    const auto runs = VG::clipOpenPolyline({{10, 50}, {150, 50}, {150, 60}, {10, 60}}, image);
    ASSERT_EQ(runs.size(), 2);
    EXPECT_EQ(runs[0], (QList<QPointF>{{10, 50}, {99, 50}}));
    EXPECT_EQ(runs[1], (QList<QPointF>{{99, 60}, {10, 60}}));

    // Consecutive visible segments form one run.
    const QList<QPointF> inside{{10, 10}, {50, 20}, {30, 80}, {70, 90}};
    const auto one = VG::clipOpenPolyline(inside, image);
    ASSERT_EQ(one.size(), 1);
    EXPECT_EQ(one[0], inside);

    // A segment across the whole image is cut at both ends.
    const auto across = VG::clipOpenPolyline({{-50, 40}, {150, 40}}, image);
    ASSERT_EQ(across.size(), 1);
    EXPECT_EQ(across[0], (QList<QPointF>{{0, 40}, {99, 40}}));

    // Diagonal through a corner region.
    const auto diagonal = VG::clipOpenPolyline({{-10, 10}, {10, -10}}, image);
    ASSERT_EQ(diagonal.size(), 1);
    EXPECT_EQ(diagonal[0], (QList<QPointF>{{0, 0}, {0, 0}}));

    // Entirely outside, too short, or no image: nothing.
    EXPECT_TRUE(VG::clipOpenPolyline({{-10, -10}, {-50, 20}, {-30, 180}}, image).isEmpty());
    EXPECT_TRUE(VG::clipOpenPolyline({{10, 10}}, image).isEmpty());
    EXPECT_TRUE(VG::clipOpenPolyline(inside, QSize(0, 0)).isEmpty());
}
