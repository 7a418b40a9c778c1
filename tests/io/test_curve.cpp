#include <limits>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "io/Curve.h"

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
