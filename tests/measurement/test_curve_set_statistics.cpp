// Curve-set statistics against statistics taken pixel by pixel over the
// region the curves enclose, on ordinary and derived bands of both scales;
// the windows, masks and offset sets behind them; and offset curve sets.

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "measurement/CurveSetStatistics.h"
#include "support/MemoryFile.h"

namespace {

using TestSupport::MemoryFile;

const double kSqrt2 = std::sqrt(2.0);
// |graph Laplacian| of x^2 + y^2 away from the border.
const double kParaboloidGL3 = 4 + 8 / kSqrt2;
const double kParaboloidGL5 = kParaboloidGL3 + 8 + 32 / std::sqrt(8.0) + 40 / std::sqrt(5.0);

// A 60 x 48 grid with two 10 m and two 20 m bands and two indexes: one of a
// 10 m and a 20 m band, one of two 20 m bands.
struct DataSet {
    MemoryFile file{60, 48};
    int linear = file.addBandOf("B04", 1, [](int x, int y) { return x + 100 * y; });
    int paraboloid = file.addBandOf("B08", 1, [](int x, int y) { return 1e6 + x * x + y * y; });
    int coarse = file.addBandOf("B11", 2, [](int x, int y) { return 7 + x + 100 * y; });
    int coarseProduct = file.addBandOf("B12", 2, [](int x, int y) { return 3 + x * y; });
    int mixedIndex = file.addDerivedBand("NDXI", linear, coarse);
    int coarseIndex = file.addDerivedBand("NDYI", coarse, coarseProduct);
    int bandCount = 6;
};

struct Box {
    double x0, y0, x1, y1;
};

// Clockwise on the screen (an outer curve), or counter-clockwise for a hole.
UI::Curve squareCurve(Box b, bool inner = false)
{
    UI::Curve curve;
    std::vector<Point2D> points{{b.x0, b.y0}, {b.x1, b.y0}, {b.x1, b.y1}, {b.x0, b.y1}, {b.x0, b.y0}};
    if (inner)
        std::reverse(points.begin(), points.end());
    curve.setPoints(points);
    curve.inner = inner;
    return curve;
}

UI::CurveSet setOf(std::vector<UI::Curve> curves, int bandCount)
{
    UI::CurveSet set;
    set.curves = std::move(curves);
    set.updateBoundingBoxes();
    set.resetStatistics(bandCount);
    return set;
}

bool centreIn(Box b, int X, int Y)
{
    return X + 0.5 > b.x0 && X + 0.5 < b.x1 && Y + 0.5 > b.y0 && Y + 0.5 < b.y1;
}

struct Stats {
    double mean = -1, std = -1, min = -1, max = -1;
};

// Statistics of a band over the working pixels for which inside holds, in
// two passes.
Stats statsOver(const MemoryFile& file, int band, const std::function<bool(int, int)>& inside)
{
    double sum = 0;
    int count = 0;
    Stats s;
    s.min = std::numeric_limits<double>::max();
    s.max = std::numeric_limits<double>::lowest();
    for (int Y = 0; Y < file.height; ++Y)
        for (int X = 0; X < file.width; ++X)
            if (inside(X, Y)) {
                const double v = file.gridValue(band, X, Y);
                sum += v;
                ++count;
                s.min = std::min(s.min, v);
                s.max = std::max(s.max, v);
            }
    s.mean = sum / count;
    double squares = 0;
    for (int Y = 0; Y < file.height; ++Y)
        for (int X = 0; X < file.width; ++X)
            if (inside(X, Y))
                squares += (file.gridValue(band, X, Y) - s.mean) * (file.gridValue(band, X, Y) - s.mean);
    s.std = std::sqrt(squares / count);
    return s;
}

void expectStats(const UI::CurveSet& set, int band, const Stats& expected, const char* what)
{
    const auto b = static_cast<std::size_t>(band);
    const double scale = std::max(1.0, std::fabs(expected.mean));
    EXPECT_NEAR(set.mean[b], expected.mean, 1e-12 * scale) << what << ", band " << band;
    EXPECT_NEAR(set.std[b], expected.std, 1e-9 * std::max(1.0, expected.std)) << what << ", band " << band;
    EXPECT_EQ(set.min[b], expected.min) << what << ", band " << band;
    EXPECT_EQ(set.max[b], expected.max) << what << ", band " << band;
}

double signedArea(const std::vector<Point2D>& points)
{
    UI::Curve curve;
    curve.setPoints(points);
    curve.closed = true;
    curve.computeGeometry();
    return curve.area;
}

} // namespace

TEST(CurveSetStatistics, ASquareOnEveryKindOfBand)
{
    DataSet d;
    const Box square{10, 10, 30, 30};
    UI::CurveSet set = setOf({squareCurve(square)}, d.bandCount);
    ASSERT_TRUE(computeCurveSetStatistics(set, &d.file, 0, {}, {0, 1, 2, 3}, 0)) << "an empty list means every band";
    for (int band = 0; band < d.bandCount; ++band)
        expectStats(set, band, statsOver(d.file, band, [&](int X, int Y) { return centreIn(square, X, Y); }),
                    "square");
    // The analytic values of the 10 m linear band: columns and rows 10..29.
    EXPECT_EQ(set.mean[0], 19.5 + 1950);
    EXPECT_NEAR(set.std[0], std::sqrt(33.25 * 10001), 1e-9);
}

TEST(CurveSetStatistics, TwoRegionsOneWithAHole)
{
    DataSet d;
    const Box left{4, 4, 14, 12};
    const Box right{30, 20, 50, 40};
    const Box hole{36, 26, 44, 34};
    UI::CurveSet set = setOf({squareCurve(left), squareCurve(right), squareCurve(hole, true)}, d.bandCount);
    const auto inside = [&](int X, int Y) {
        return centreIn(left, X, Y) || (centreIn(right, X, Y) && !centreIn(hole, X, Y));
    };
    const std::vector<int> bands{d.linear, d.coarse, d.mixedIndex, d.coarseIndex};
    ASSERT_TRUE(computeCurveSetStatistics(set, &d.file, 0, bands, {0}, 0));
    for (int band : bands)
        expectStats(set, band, statsOver(d.file, band, inside), "two regions");
}

TEST(CurveSetStatistics, AMarginAtTheLeftOrTopBorderFailsBeforeReading)
{
    for (const Box box : {Box{0, 10, 20, 30}, Box{10, 0, 30, 20}}) {
        DataSet d;
        UI::CurveSet set = setOf({squareCurve(box)}, d.bandCount);
        EXPECT_FALSE(computeCurveSetStatistics(set, &d.file, 0, {d.linear}, {0}, 2));
        EXPECT_EQ(d.file.readCount, 0);
        EXPECT_EQ(set.mean[0], -1.0);
        EXPECT_TRUE(computeCurveSetStatistics(set, &d.file, 0, {d.linear}, {0}, 0)) << "no margin, no overlap";
    }

    // The margin counts in band pixels: 2 pixels of 10 m fit left of x = 2,
    // 2 pixels of 20 m do not. The band done first keeps its results.
    DataSet d;
    UI::CurveSet set = setOf({squareCurve({2, 10, 20, 30})}, d.bandCount);
    EXPECT_FALSE(computeCurveSetStatistics(set, &d.file, 0, {d.linear, d.coarse}, {0}, 2));
    EXPECT_EQ(d.file.readCount, 1);
    EXPECT_EQ(set.mean[static_cast<std::size_t>(d.linear)], 10.5 + 1950) << "columns 2..19, rows 10..29";
    EXPECT_EQ(set.mean[static_cast<std::size_t>(d.coarse)], -1.0);
}

TEST(CurveSetStatistics, AWindowEndingAtTheRightOrBottomBorderIsInside)
{
    // The window ends at int(max / h + 1) band pixels; the grid is 60 x 48
    // working pixels, 30 x 24 pixels of 20 m.
    struct Case {
        const char* name;
        bool coarse;
        Box box;
        bool accepted;
    };
    const Case cases[] = {
        {"10 m, ends at the right border", false, {40, 10, 59, 20}, true},
        {"10 m, ends at the right border, fractional", false, {40, 10, 59.9, 20}, true},
        {"10 m, one past the right border", false, {40, 10, 60, 20}, false},
        {"10 m, ends at the bottom border", false, {10, 30, 20, 47}, true},
        {"10 m, one past the bottom border", false, {10, 30, 20, 48}, false},
        {"20 m, ends at the right border", true, {40, 10, 59, 20}, true},
        {"20 m, one past the right border", true, {40, 10, 60, 20}, false},
        {"20 m, ends at the bottom border", true, {10, 30, 20, 47}, true},
    };
    for (const auto& c : cases) {
        DataSet d;
        const int band = c.coarse ? d.coarse : d.linear;
        UI::CurveSet set = setOf({squareCurve(c.box)}, d.bandCount);
        EXPECT_EQ(computeCurveSetStatistics(set, &d.file, 0, {band}, {0, 1, 2, 3}, 0), c.accepted) << c.name;
        if (c.accepted)
            expectStats(set, band, statsOver(d.file, band, [&](int X, int Y) { return centreIn(c.box, X, Y); }),
                        c.name);
    }
}

TEST(CurveSetStatistics, BasicTypesBuildNoOffsetSetAndLeaveTheLaplacianMeans)
{
    DataSet d;
    UI::CurveSet set = setOf({squareCurve({10, 10, 30, 30})}, d.bandCount);
    set.meanGL5.assign(6, 9.0);
    set.meanGL3.assign(6, 9.0);
    CurveSetStatisticsWork work;
    ASSERT_TRUE(computeCurveSetStatistics(set, &d.file, 0, {}, {0, 1, 2, 3}, 0, &work));
    EXPECT_EQ(work.offsetSets, 0);
    EXPECT_EQ(set.meanGL5, std::vector<double>(6, 9.0));
    EXPECT_EQ(set.meanGL3, std::vector<double>(6, 9.0));

    // With a margin the means use the set's own mask: no offset set either.
    CurveSetStatisticsWork withMargin;
    ASSERT_TRUE(computeCurveSetStatistics(set, &d.file, 0, {d.paraboloid}, {4, 5}, 2, &withMargin));
    EXPECT_EQ(withMargin.offsetSets, 0);
    EXPECT_EQ(withMargin.masks, 1);
}

TEST(CurveSetStatistics, MasksAndOffsetSetsAreSharedByOrdinaryBandsOfOneScale)
{
    DataSet d;
    struct Case {
        const char* name;
        std::vector<int> bands;
        int masks; // own masks and offset sets alike
    };
    const Case cases[] = {
        {"two 10 m bands", {d.linear, d.paraboloid}, 1},
        {"two 10 m and two 20 m bands", {d.linear, d.coarse, d.paraboloid, d.coarseProduct}, 2},
        {"an index between two 10 m bands", {d.linear, d.mixedIndex, d.paraboloid}, 2},
        {"an index twice", {d.coarseIndex, d.coarseIndex}, 2},
        {"20 m bands and their index", {d.coarse, d.coarseIndex, d.coarseProduct}, 2},
    };
    const UI::CurveSet source = setOf({squareCurve({10, 12, 31, 29})}, d.bandCount);
    for (const auto& c : cases) {
        UI::CurveSet together = source;
        CurveSetStatisticsWork work;
        ASSERT_TRUE(computeCurveSetStatistics(together, &d.file, 0, c.bands, {0, 1, 2, 3, 4, 5}, 0, &work)) << c.name;
        EXPECT_EQ(work.masks, c.masks) << c.name;
        EXPECT_EQ(work.offsetSets, c.masks) << c.name;
        // A shared mask gives what a call for the band alone gives.
        for (int band : c.bands) {
            UI::CurveSet alone = source;
            ASSERT_TRUE(computeCurveSetStatistics(alone, &d.file, 0, {band}, {0, 1, 2, 3, 4, 5}, 0));
            for (int type = 0; type < UI::CurveSet::statisticTypeCount; ++type)
                EXPECT_EQ(together.statistic(type)[static_cast<std::size_t>(band)],
                          alone.statistic(type)[static_cast<std::size_t>(band)])
                    << c.name << ", band " << band << ", type " << type;
        }
    }
}

TEST(CurveSetStatistics, LaplacianMeansStayAwayFromTheWindowBorder)
{
    // The paraboloid's Laplacian is the same constant at every pixel whose
    // stencil lies inside the window read; only the pixels next to the
    // window's border differ. Without a margin the window hugs the curve,
    // and the set offset 2 pixels inwards keeps the mean off its border;
    // with a margin of 2 the set's own mask is far enough in.
    DataSet d;
    for (const int margin : {0, 2}) {
        UI::CurveSet set = setOf({squareCurve({10, 10, 30, 30})}, d.bandCount);
        CurveSetStatisticsWork work;
        ASSERT_TRUE(computeCurveSetStatistics(set, &d.file, 0, {d.paraboloid}, {4, 5}, margin, &work));
        EXPECT_EQ(work.offsetSets, margin == 0 ? 1 : 0);
        const auto b = static_cast<std::size_t>(d.paraboloid);
        EXPECT_NEAR(set.meanGL5[b], kParaboloidGL5, 1e-9) << "margin " << margin;
        EXPECT_NEAR(set.meanGL3[b], kParaboloidGL3, 1e-9) << "margin " << margin;
    }
}

TEST(CurveSetStatistics, AnEmptyMaskGivesMinusOne)
{
    // A square between pixel centres covers none.
    DataSet d;
    UI::CurveSet set = setOf({squareCurve({10.6, 10.6, 10.9, 10.9})}, d.bandCount);
    for (int type = 0; type < UI::CurveSet::statisticTypeCount; ++type)
        set.statistic(type).assign(6, 7.0);
    ASSERT_TRUE(computeCurveSetStatistics(set, &d.file, 0, {d.linear, d.coarseIndex}, {0, 1, 2, 3, 4, 5}, 0));
    for (int type = 0; type < UI::CurveSet::statisticTypeCount; ++type)
        for (int band = 0; band < d.bandCount; ++band)
            EXPECT_EQ(set.statistic(type)[static_cast<std::size_t>(band)],
                      band == d.linear || band == d.coarseIndex ? -1.0 : 7.0)
                << "type " << type << ", band " << band;
}

TEST(CurveSetStatistics, ShortListsGrowWithMinusOne)
{
    DataSet d;
    const Box square{10, 10, 30, 30};
    UI::CurveSet set = setOf({squareCurve(square)}, 0);
    set.mean = {5.0};
    ASSERT_TRUE(computeCurveSetStatistics(set, &d.file, 0, {d.coarse}, {0, 1, 2, 3}, 0));
    const Stats expected = statsOver(d.file, d.coarse, [&](int X, int Y) { return centreIn(square, X, Y); });
    EXPECT_EQ(set.mean, (std::vector<double>{5.0, -1.0, expected.mean, -1.0, -1.0, -1.0}));
    EXPECT_EQ(set.max.size(), 6u);
    EXPECT_EQ(set.max[2], expected.max);
    EXPECT_TRUE(set.meanGL5.empty()) << "lists not written are not grown";
    EXPECT_TRUE(set.meanGL3.empty());

    ASSERT_TRUE(computeCurveSetStatistics(set, &d.file, 0, {d.coarse}, {5}, 0));
    EXPECT_EQ(set.meanGL3.size(), 6u);
    EXPECT_GE(set.meanGL3[2], 0.0);
    EXPECT_TRUE(set.meanGL5.empty());
}

TEST(CurveSetStatistics, Refusals)
{
    DataSet d;
    UI::CurveSet set = setOf({squareCurve({10, 10, 30, 30})}, d.bandCount);
    EXPECT_FALSE(computeCurveSetStatistics(set, nullptr, 0, {}, {0}, 0));

    EXPECT_FALSE(computeCurveSetStatistics(set, &d.file, 0, {d.linear, 6}, {0}, 0)) << "band past the end";
    EXPECT_EQ(set.mean[0], 19.5 + 1950) << "the band before keeps its result";
    EXPECT_FALSE(computeCurveSetStatistics(set, &d.file, 0, {-1}, {0}, 0));

    EXPECT_FALSE(computeCurveSetStatistics(set, &d.file, 1, {d.linear}, {0}, 0)) << "the read throws";

    d.file.bands[static_cast<std::size_t>(d.coarse)].scale = 0.5;
    EXPECT_FALSE(computeCurveSetStatistics(set, &d.file, 0, {d.coarse}, {0}, 0)) << "scale below 1";
}

// ---------------------------------------------------------------- offset curve sets

TEST(OffsetCurveSet, OuterCurvesShrinkAndHolesWiden)
{
    UI::CurveSet in;
    in.addCurve(squareCurve({10, 10, 50, 50}));
    in.addCurve(squareCurve({20, 20, 40, 40}, true));
    in.curves[0].setName("outer");
    in.setName("habitat");
    in.setType("kml");
    in.updateBoundingBoxes();
    in.resetStatistics(3);
    in.mean[1] = 0.25;

    UI::CurveSet out;
    offsetCurveSet(out, in, 55, 55, 3, 4, 2);
    EXPECT_EQ(out.name, "habitat");
    EXPECT_EQ(out.type, "kml");
    EXPECT_EQ(out.mean, in.mean);
    EXPECT_EQ(out.minX, in.minX) << "the box is copied, not recomputed";
    ASSERT_EQ(out.curves.size(), 2u);
    EXPECT_EQ(out.curves[0].name, "") << "new curves carry only their points";
    EXPECT_FALSE(out.curves[1].inner);

    const double outerArea = std::fabs(signedArea(out.curves[0].points()));
    const double holeArea = std::fabs(signedArea(out.curves[1].points()));
    EXPECT_NEAR(outerArea, 36.0 * 36.0, 0.1 * 36.0 * 36.0);
    EXPECT_NEAR(holeArea, 24.0 * 24.0, 0.1 * 24.0 * 24.0);
    // The sides moved by about two pixels, in data-set coordinates.
    out.updateBoundingBoxes();
    EXPECT_NEAR(out.curves[0].minX, 12, 0.5);
    EXPECT_NEAR(out.curves[0].maxY, 48, 0.5);
    EXPECT_NEAR(out.curves[1].minX, 18, 0.5);
    EXPECT_NEAR(out.curves[1].maxY, 42, 0.5);

    // A window that hugs the set, its first row and column on the outer
    // curve's sides, moves those sides as well.
    UI::CurveSet hugged;
    offsetCurveSet(hugged, in, 41, 41, 10, 10, 2);
    hugged.updateBoundingBoxes();
    EXPECT_NEAR(hugged.curves[0].minX, 12, 0.5);
    EXPECT_NEAR(hugged.curves[0].minY, 12, 0.5);
    EXPECT_NEAR(hugged.curves[0].maxX, 48, 0.5);
    EXPECT_NEAR(std::fabs(signedArea(hugged.curves[0].points())), 36.0 * 36.0, 0.1 * 36.0 * 36.0);
}

TEST(OffsetCurveSet, CurvesThatCannotMoveKeepTheirReversedPoints)
{
    // Too small to survive the evolution's minimum area, and a distance of
    // 0: the reversed points, untouched by the window's shift.
    const std::vector<Point2D> small{{10.1, 10.3}, {12.1, 10.3}, {10.1, 12.3}, {10.1, 10.3}};
    const std::vector<Point2D> reversed(small.rbegin(), small.rend());
    UI::CurveSet in;
    in.addCurveFromPoints(small);
    in.addCurve(squareCurve({10, 10, 30, 30}));

    UI::CurveSet out;
    offsetCurveSet(out, in, 40, 40, 1, 1, 2);
    ASSERT_EQ(out.curves.size(), 2u);
    EXPECT_EQ(out.curves[0].points(), reversed);
    EXPECT_NE(out.curves[1].points().size(), 5u) << "the square did move";

    offsetCurveSet(out, in, 40, 40, 1, 1, 0);
    ASSERT_EQ(out.curves.size(), 2u);
    EXPECT_EQ(out.curves[0].points(), reversed);
    EXPECT_EQ(out.curves[1].points(),
              (std::vector<Point2D>{{10, 10}, {10, 30}, {30, 30}, {30, 10}, {10, 10}}));

    // One set as both source and result.
    UI::CurveSet same = in;
    offsetCurveSet(same, same, 40, 40, 1, 1, 2);
    ASSERT_EQ(same.curves.size(), 2u);
    EXPECT_EQ(same.curves[0].points(), reversed);
    EXPECT_NEAR(std::fabs(signedArea(same.curves[1].points())), 16.0 * 16.0, 0.1 * 16.0 * 16.0);
}
