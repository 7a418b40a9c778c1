// The statistics table's layout as cell lists: blocks, curve rows, values,
// difference rows, the comparison and the clipboard text.

#include <cmath>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "io/NumberText.h"
#include "windows/StatisticsCells.h"

namespace {

using StatisticsTable::Cell;

constexpr double kPi = 3.14159265358979323846;

// The text of a cell of the list; nothing when no cell is there.
std::optional<QString> at(const QList<Cell>& cells, int row, int column)
{
    std::optional<QString> text;
    for (const Cell& cell : cells) {
        if (cell.row == row && cell.column == column)
            text = cell.text;
    }
    return text;
}

UI::Curve closedCurve(std::vector<Point2D> points, const std::string& name)
{
    UI::Curve curve;
    points.push_back(points.front());
    curve.setPoints(points);
    curve.setName(name);
    curve.computeGeometry();
    return curve;
}

// A set of n squares of side 10 named "<name>_<k>", one value per band.
UI::CurveSet squares(const std::string& name, int n, std::vector<double> means)
{
    UI::CurveSet set;
    set.setName(name);
    for (int k = 0; k < n; ++k) {
        const double x = 20.0 * k;
        set.addCurve(closedCurve({{x, 0}, {x + 10, 0}, {x + 10, 10}, {x, 10}}, name + "_" + std::to_string(k)));
    }
    set.mean = means;
    set.std = std::vector<double>(means.size(), 0.5);
    set.min = std::vector<double>(means.size(), -2.0);
    set.max = std::vector<double>(means.size(), 4.0);
    return set;
}

TEST(StatisticsBlock, EachSetTakesOneColumnPerTypeButTwoWithOneType)
{
    const UI::CurveSet a = squares("a", 1, {1.0, 2.0});
    const UI::CurveSet b = squares("b", 1, {3.0, 4.0});
    struct Case {
        const char* name;
        QList<int> types;
        int offset;
        int secondSetColumn;  // where b's name rows start
        int columnCount;      // of a one-data-set table with both sets
    };
    const std::vector<Case> cases{
        {"one type: labels and values of the curve rows keep apart", {0}, 0, 3, 5},
        {"three types", {0, 1, 2}, 0, 4, 7},
        {"second data set of one type starts after w columns", {0}, 2, 5, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StatisticsTable::Block block{"file", {&a, &b}, {1}, {"B03"}, c.types, c.offset};
        const StatisticsTable::Layout layout = StatisticsTable::statisticsBlock(block);
        EXPECT_EQ(at(layout.cells, 1, c.offset + 1), "CurveSet name:");
        EXPECT_EQ(at(layout.cells, 1, c.offset + 2), "a");
        EXPECT_EQ(at(layout.cells, 1, c.secondSetColumn), "CurveSet name:");
        EXPECT_EQ(at(layout.cells, 1, c.secondSetColumn + 1), "b");
        EXPECT_EQ(at(layout.cells, layout.headerRow, c.secondSetColumn), "Mean");
        EXPECT_EQ(at(layout.cells, layout.headerRow + 1, c.secondSetColumn), "4");
        EXPECT_EQ(StatisticsTable::statisticsColumnCount(2, 1, static_cast<int>(c.types.size())), c.columnCount);
    }
    // Two data sets of one set and one type: blocks at 1 and 3, differences
    // at 5.
    EXPECT_EQ(StatisticsTable::statisticsColumnCount(1, 2, 1), 7);
    EXPECT_EQ(StatisticsTable::statisticsColumnCount(1, 2, 4), 13);
}

TEST(StatisticsBlock, HeaderRowLiesBelowTheLargestSetsCurveRows)
{
    const UI::CurveSet one = squares("one", 1, {1.0});
    const UI::CurveSet three = squares("three", 3, {2.0});
    StatisticsTable::Block block{"file", {&one, &three}, {0}, {"B02"}, {0, 1, 2, 3}, 0};
    const StatisticsTable::Layout layout = StatisticsTable::statisticsBlock(block);
    EXPECT_EQ(layout.headerRow, 3 * 3 + 3);
    EXPECT_EQ(layout.rowCount, 1 + 3 * 3 + 4);
    EXPECT_EQ(at(layout.cells, layout.headerRow, 0), "Channel");
    EXPECT_EQ(at(layout.cells, layout.headerRow + 1, 0), "B02");
    // The set of three curves at column 5 fills rows 2..10; the smaller set
    // leaves its lower curve rows empty.
    EXPECT_EQ(at(layout.cells, 8, 5), "Area[m^2] of three_2");
    EXPECT_EQ(at(layout.cells, 10, 5), "Isoperimetric ratio of three_2");
    EXPECT_EQ(at(layout.cells, 2, 1), "Area[m^2] of one_0");
    EXPECT_FALSE(at(layout.cells, 5, 1).has_value());
    EXPECT_FALSE(at(layout.cells, 5, 2).has_value());
    // Types in the chosen order, each over its channel.
    const QStringList labels{"Mean", "Std", "Min", "Max"};
    const QStringList values{"2", "0.5", "-2", "4"};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(at(layout.cells, layout.headerRow, 5 + k), labels[k]);
        EXPECT_EQ(at(layout.cells, layout.headerRow + 1, 5 + k), values[k]);
    }
}

TEST(StatisticsBlock, CurveRowsGiveAreaPerimeterAndIsoperimetricRatio)
{
    const double trianglePerimeter = 20.0 + std::sqrt(200.0);
    UI::Curve open;
    open.setPoints({{0, 0}, {10, 0}, {10, 10}});
    open.computeGeometry();
    const UI::Curve square = closedCurve({{0, 0}, {10, 0}, {10, 10}, {0, 10}}, "s");
    struct Case {
        const char* name;
        UI::Curve curve;
        double metresPerPixel;
        QString area;
        QString perimeter;
        QString ratio;
    };
    const std::vector<Case> cases{
        {"square of 100 px^2: ratio pi / 4", square, 10.0, "10000.000", "400.000", "0.785"},
        {"triangle of 50 px^2 (either orientation)", closedCurve({{0, 0}, {0, 10}, {10, 0}}, "t"), 10.0,
         "5000.000", "341.421", QString::number(4 * kPi * 50.0 / (trianglePerimeter * trianglePerimeter), 'f', 3)},
        {"open curve: its area of -1 counts as 0", open, 10.0, "0.000", "200.000", "0.000"},
        {"perimeter 0 gives ratio 0, not nan", closedCurve({{3, 3}}, "p"), 10.0, "0.000", "0.000", "0.000"},
        {"the square on pixels of 1.6 m", square, 1.6, "256.000", "64.000", "0.785"},
        {"the square on pixels of 0.2 m", square, 0.2, "4.000", "8.000", "0.785"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(StatisticsTable::areaText(c.curve, c.metresPerPixel), c.area);
        EXPECT_EQ(StatisticsTable::perimeterText(c.curve, c.metresPerPixel), c.perimeter);
        EXPECT_EQ(StatisticsTable::ratioText(c.curve), c.ratio);
    }
}

TEST(StatisticsBlock, ValuesReadBackToTheStoredDoubles)
{
    UI::CurveSet set;
    set.mean = {0.123456789, -1.0, 1e-7, 1234567.25};
    const std::vector<std::pair<int, QString>> cases{
        {0, "0.123456789"}, {1, "-1"}, {2, "1e-07"}, {3, "1234567.25"}, {4, "-1"}, {-1, "-1"}};
    for (const auto& [band, text] : cases) {
        SCOPED_TRACE(band);
        EXPECT_EQ(StatisticsTable::statisticText(set, 0, band), text);
        EXPECT_EQ(StatisticsTable::valueText(*IO::parseDouble(text.toStdString())), text);
    }
    // A list that was never grown reads as never computed.
    EXPECT_EQ(StatisticsTable::statisticText(set, 3, 0), "-1");
    EXPECT_EQ(StatisticsTable::statisticText(set, 9, 0), "-1");
}

TEST(DifferenceRows, SubtractTheSecondBlockFromTheFirstAsShown)
{
    // Header row 6, one channel; the blocks' values as the table shows them.
    struct Case {
        const char* name;
        QList<int> types;
        std::map<std::pair<int, int>, QString> shown;
        std::vector<Cell> expected;
    };
    const std::vector<Case> cases{
        {"one type: difference column 5",
         {0},
         {{{7, 1}, "1.5"}, {{7, 3}, "0.25"}},
         {{6, 5, "Mean - Diff"}, {7, 5, "1.25"}}},
        {"equal data sets give 0",
         {3, 1},
         {{{7, 1}, "0.1"}, {{7, 2}, "2"}, {{7, 3}, "0.1"}, {{7, 4}, "2"}},
         {{6, 5, "Max- Diff"}, {6, 6, "Std - Diff"}, {7, 5, "0"}, {7, 6, "0"}}},
        {"a text that is no number leaves its cell out", {2}, {{{7, 1}, "x"}, {{7, 3}, "1"}}, {{6, 5, "Min - Diff"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int w = StatisticsTable::blockWidth(static_cast<int>(c.types.size()));
        const QList<Cell> cells = StatisticsTable::differenceCells(
            6, 1, c.types, 2 * w, [&](int row, int column) {
                const auto it = c.shown.find({row, column});
                return it == c.shown.end() ? QString() : it->second;
            });
        EXPECT_EQ(std::vector<Cell>(cells.begin(), cells.end()), c.expected);
    }
}

TEST(Comparison, DistancesInMetresAndSetsSideBySide)
{
    const UI::CurveSet a = squares("a", 2, {});
    const UI::CurveSet b = squares("b", 1, {});
    const StatisticsTable::Layout layout =
        StatisticsTable::comparison({"first", &a}, {"second", &b}, {0.0, 1.23456, -1.0}, 10.0);
    const int h = 3 * 2 + 3;
    EXPECT_EQ(layout.headerRow, h);
    EXPECT_EQ(layout.rowCount, 3 * 2 + 7);
    EXPECT_EQ(at(layout.cells, 0, 1), "first");
    EXPECT_EQ(at(layout.cells, 0, 3), "second");
    EXPECT_EQ(at(layout.cells, 5, 0), "Area[m^2] of a_1");
    EXPECT_FALSE(at(layout.cells, 5, 2).has_value());
    EXPECT_EQ(at(layout.cells, h, 0), "Between ");
    EXPECT_EQ(at(layout.cells, h, 1), "a and b ");
    EXPECT_EQ(at(layout.cells, h + 1, 0), "Mean Hausdorff distance [m]:");
    EXPECT_EQ(at(layout.cells, h + 1, 1), "0.000");
    EXPECT_EQ(at(layout.cells, h + 2, 0), "Max Hausdorff distance [m]:");
    EXPECT_EQ(at(layout.cells, h + 2, 1), "12.346");
    EXPECT_EQ(at(layout.cells, h + 3, 0), "95-th percentile of Max Hausdorff distance [m]:");
    EXPECT_EQ(at(layout.cells, h + 3, 1), "not computed");

    // On pixels of 1.6 m.
    const StatisticsTable::Layout fine =
        StatisticsTable::comparison({"first", &a}, {"second", &b}, {0.0, 1.23456, -1.0}, 1.6);
    EXPECT_EQ(at(fine.cells, 2, 1), "256.000");
    EXPECT_EQ(at(fine.cells, 3, 3), "64.000");
    EXPECT_EQ(at(fine.cells, h + 2, 1), "1.975");
}

} // namespace
