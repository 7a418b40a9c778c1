#pragma once

// In-memory data sets of ramps whose statistics are known by hand, curve
// sets of squares, and every dialog answered through the seam: the fixture
// of the statistics window tests.

#include <array>
#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <QApplication>
#include <QListWidget>
#include <QStringList>
#include <QTableWidget>
#include <QTest>
#include <gtest/gtest.h>

#include "app/WidgetUtils.h"
#include "app/test_dialogs.h"
#include "forms/StatisticsWindowForm.h"
#include "support/MemoryFile.h"
#include "support/TestSupport.h"
#include "tools/TaskRunner.h"
#include "windows/StatisticsWindow.h"

namespace StatisticsTest {

// Band b holds factor * (b + 1) * (x + 100 y) at working pixel (x, y); its
// code is "B0<b + 2>" and its display name "Band <b>". Data sets of the same
// ground share the pixel grid.
class RampFile : public TestSupport::MemoryFile {
public:
    RampFile(int gridWidth, int gridHeight, int groundId, std::string fileName, int bandCount = 3,
             double factor = 1.0)
        : MemoryFile(gridWidth, gridHeight)
        , ground(groundId)
    {
        name = std::move(fileName);
        for (int b = 0; b < bandCount; ++b) {
            const double f = factor * (b + 1);
            addBandOf("B0" + std::to_string(b + 2), 1, [f](int x, int y) { return f * (x + 100 * y); });
            bands.back().name = "Band " + std::to_string(b);
        }
    }

    bool sameGeolocation(const IO::File* other) const override
    {
        const auto* file = dynamic_cast<const RampFile*>(other);
        return file && file->ground == ground;
    }

    int ground = 0;
};

// The statistics of the ramp x + 100 y over the pixels of the square box
// (x0, y0)-(x0 + side, y0 + side): the pixels whose centres lie inside.
struct RampStatistics {
    double mean;
    double std;
    double min;
    double max;
};
inline RampStatistics rampStatistics(int x0, int y0, int side, double factor)
{
    const double centre = (x0 + (side - 1) / 2.0) + 100.0 * (y0 + (side - 1) / 2.0);
    const double variance = (side * side - 1) / 12.0 * (1.0 + 100.0 * 100.0);
    return {factor * centre, factor * std::sqrt(variance), factor * (x0 + 100.0 * y0),
            factor * (x0 + side - 1 + 100.0 * (y0 + side - 1))};
}

// A closed square running clockwise on the screen, named "<name>_0".
inline UI::Curve squareCurve(double x0, double y0, double side, const std::string& name)
{
    UI::Curve curve;
    curve.setPoints({{x0, y0}, {x0 + side, y0}, {x0 + side, y0 + side}, {x0, y0 + side}, {x0, y0}});
    curve.setName(name);
    return curve;
}

// A set of the given squares (x0, y0, side) with never-computed statistics
// for bandCount bands.
inline UI::CurveSet squareSet(const std::string& name, const std::vector<std::array<double, 3>>& boxes,
                              int bandCount = 3)
{
    UI::CurveSet set;
    set.setName(name);
    for (std::size_t k = 0; k < boxes.size(); ++k)
        set.addCurve(squareCurve(boxes[k][0], boxes[k][1], boxes[k][2], name + "_" + std::to_string(k)));
    set.updateBoundingBoxes();
    set.resetStatistics(bandCount);
    return set;
}

using ShellTest::Dialogs;

// The texts of every cell of a table, row by row ("" for a cell without
// item), to compare a table before and after an action.
inline QStringList tableTexts(const QTableWidget* table)
{
    QStringList out;
    out.append(QStringLiteral("%1x%2").arg(table->rowCount()).arg(table->columnCount()));
    for (int row = 0; row < table->rowCount(); ++row) {
        for (int column = 0; column < table->columnCount(); ++column) {
            const QTableWidgetItem* item = table->item(row, column);
            out.append(item ? item->text() : QString());
        }
    }
    return out;
}

inline QString cell(const QTableWidget* table, int row, int column)
{
    const QTableWidgetItem* item = table->item(row, column);
    return item ? item->text() : QStringLiteral("<none>");
}

// A click on a list row, as the user toggles it.
inline void clickRow(QListWidget* list, int row)
{
    list->scrollToItem(list->item(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, list->visualItemRect(list->item(row)).center());
}

class StatisticsWindowTest : public testing::Test {
protected:
    static constexpr int kSize = 48;

    // A shown window over sets and files; the sets stay this fixture's.
    StatisticsWindow& open(QList<IO::File*> files, bool areaMonitoring = false)
    {
        window = std::make_unique<StatisticsWindow>(sets, files, 0, areaMonitoring);
        window->show();
        QApplication::processEvents();
        return *window;
    }

    void click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

    QTableWidget* table() { return window->ui->tableWidget; }

    RampFile ground1{kSize, kSize, 1, "first-data-set"};
    RampFile ground1Doubled{kSize, kSize, 1, "doubled-data-set", 3, 2.0};
    QList<UI::CurveSet> sets;
    Dialogs dialogs;
    TaskRunner::ScopedInlineRunner inlineTasks;
    std::unique_ptr<StatisticsWindow> window;
};

} // namespace StatisticsTest
