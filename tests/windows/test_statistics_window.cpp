// The statistics window on in-memory ramps: lists and selection order, the
// computation and its table, where measured values are kept, the difference
// rows, the Hausdorff comparison, area monitoring, copy and close.

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QHeaderView>
#include <QPushButton>
#include <QPointer>

#include "statistics_fixture.h"
#include "windows/StatisticsCells.h"

namespace {

using namespace StatisticsTest;

// One square of side 10 at (10, 10): pixels 10..19 in both directions.
const RampStatistics kSquare = rampStatistics(10, 10, 10, 1.0);

TEST_F(StatisticsWindowTest, ListsStartFullySelected)
{
    sets = {squareSet("a", {{10, 10, 10}}), squareSet("b", {{20, 20, 5}})};
    open({&ground1});
    const auto texts = [](const QListWidget* list) {
        QStringList out;
        for (int row = 0; row < list->count(); ++row) {
            EXPECT_TRUE(list->item(row)->isSelected());
            out.append(list->item(row)->text());
        }
        return out;
    };
    EXPECT_EQ(texts(window->ui->listWidgetStatisticsTypes), QStringList({"Mean", "Std", "Min", "Max"}));
    EXPECT_EQ(texts(window->ui->listWidgetStatisticsCurves), QStringList({"a", "b"}));
    EXPECT_EQ(texts(window->ui->listWidgetStatisticsChannels), QStringList({"Band 0", "Band 1", "Band 2"}));
    EXPECT_EQ(window->statisticsKeys, QStringList({"mean", "std", "min", "max"}));
    EXPECT_EQ(window->firstDifferenceRow, -1);
    EXPECT_EQ(table()->rowCount(), 0);
    EXPECT_FALSE(window->ui->doubleSpinBoxRHLparam->isVisible());
    EXPECT_FALSE(window->ui->label_2->isVisible());
    EXPECT_FALSE(window->ui->actionSave_as->isEnabled());
    EXPECT_FALSE(window->ui->actionSave_as_2->isEnabled());
}

TEST_F(StatisticsWindowTest, ComputeShowsTheSquaresStatisticsAndKeepsThemInTheHeldSets)
{
    sets = {squareSet("square", {{10, 10, 10}})};
    open({&ground1});
    click(window->ui->pushButtonStatisticsCompute);

    ASSERT_EQ(table()->columnCount(), 1 + 4);
    const int h = 3 * 1 + 3;
    EXPECT_EQ(window->firstDifferenceRow, h);
    EXPECT_EQ(table()->rowCount(), 3 + 3 + 4);
    EXPECT_EQ(cell(table(), 0, 1), "File name:");
    EXPECT_EQ(cell(table(), 0, 2), "first-data-set");
    EXPECT_EQ(cell(table(), 1, 2), "square");
    EXPECT_EQ(cell(table(), 2, 1), "Area[m^2] of square_0");
    EXPECT_EQ(cell(table(), 2, 2), "10000.000");
    EXPECT_EQ(cell(table(), 3, 2), "400.000");
    EXPECT_EQ(cell(table(), 4, 2), "0.785");
    EXPECT_EQ(cell(table(), h, 0), "Channel");
    EXPECT_EQ(cell(table(), h + 3, 0), "Band 2");
    EXPECT_EQ(cell(table(), h, 1), "Mean");
    EXPECT_EQ(cell(table(), h, 4), "Max");
    for (int band = 0; band < 3; ++band) {
        SCOPED_TRACE(band);
        const double f = band + 1.0;
        EXPECT_EQ(cell(table(), h + 1 + band, 1).toDouble(), f * kSquare.mean);
        EXPECT_NEAR(cell(table(), h + 1 + band, 2).toDouble(), f * kSquare.std, 1e-9 * f * kSquare.std);
        EXPECT_EQ(cell(table(), h + 1 + band, 3).toDouble(), f * kSquare.min);
        EXPECT_EQ(cell(table(), h + 1 + band, 4).toDouble(), f * kSquare.max);
    }

    // The values live on in the list the window was given.
    window.reset();
    EXPECT_EQ(sets[0].mean, std::vector<double>({kSquare.mean, 2 * kSquare.mean, 3 * kSquare.mean}));
    EXPECT_EQ(sets[0].max[2], 3 * kSquare.max);
    EXPECT_EQ(sets[0].curves[0].area, 100.0);
}

TEST_F(StatisticsWindowTest, TwoDataSetsKeepOnlyTheOwnersValuesAndAddDifferenceRows)
{
    RampFile elsewhere{kSize, kSize, 1, "third-data-set", 3, 3.0};
    struct Case {
        const char* name;
        IO::File* owner;
        double keptMean;  // band 0 in the held set afterwards
    };
    const std::vector<Case> cases{
        {"the first data set owns the sets", &ground1, kSquare.mean},
        {"the second data set owns the sets", &ground1Doubled, 2 * kSquare.mean},
        {"the sets belong to a third data set", &elsewhere, -1.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sets = {squareSet("square", {{10, 10, 10}})};
        open({&ground1, &ground1Doubled});
        window->setCurveSetOwner(c.owner);
        // Mean alone: blocks of width 2.
        click(window->ui->pushButtonStatisticsUnselectAllStats);
        clickRow(window->ui->listWidgetStatisticsTypes, 0);
        click(window->ui->pushButtonStatisticsCompute);

        ASSERT_EQ(table()->columnCount(), 7);
        const int h = 6;
        EXPECT_EQ(cell(table(), 0, 2), "first-data-set");
        EXPECT_EQ(cell(table(), 0, 4), "doubled-data-set");
        EXPECT_EQ(cell(table(), h, 1), "Mean");
        EXPECT_EQ(cell(table(), h, 3), "Mean");
        EXPECT_EQ(cell(table(), h, 5), "Mean - Diff");
        EXPECT_EQ(cell(table(), h + 1, 1), StatisticsTable::valueText(kSquare.mean));
        EXPECT_EQ(cell(table(), h + 1, 3), StatisticsTable::valueText(2 * kSquare.mean));
        EXPECT_EQ(cell(table(), h + 1, 5), StatisticsTable::valueText(-kSquare.mean));
        EXPECT_EQ(cell(table(), h + 3, 5), StatisticsTable::valueText(-3 * kSquare.mean));
        window.reset();
        EXPECT_EQ(sets[0].mean[0], c.keptMean);
    }
}

TEST_F(StatisticsWindowTest, EqualDataSetsGiveZeroDifferences)
{
    RampFile twin{kSize, kSize, 1, "twin"};
    sets = {squareSet("square", {{10, 10, 10}})};
    open({&ground1, &twin});
    click(window->ui->pushButtonStatisticsCompute);
    const int w = 4;
    ASSERT_EQ(table()->columnCount(), 3 * w + 1);
    EXPECT_EQ(cell(table(), 6, 2 * w + 4), "Max- Diff");
    for (int band = 0; band < 3; ++band) {
        for (int type = 0; type < 4; ++type)
            EXPECT_EQ(cell(table(), 7 + band, 2 * w + 1 + type), "0") << band << " " << type;
    }
}

TEST_F(StatisticsWindowTest, SelectionOrderDecidesSetsAndTypesAndChannelsAscend)
{
    sets = {squareSet("a", {{10, 10, 10}}), squareSet("b", {{20, 20, 4}})};
    open({&ground1});
    click(window->ui->pushButtonStatisticsUnselectAllCurves);
    click(window->ui->pushButtonStatisticsUnselectAllStats);
    click(window->ui->pushButtonStatisticsUnselectAllChannels);
    clickRow(window->ui->listWidgetStatisticsCurves, 1);
    clickRow(window->ui->listWidgetStatisticsCurves, 0);
    clickRow(window->ui->listWidgetStatisticsTypes, 1);
    clickRow(window->ui->listWidgetStatisticsTypes, 0);
    clickRow(window->ui->listWidgetStatisticsChannels, 2);
    clickRow(window->ui->listWidgetStatisticsChannels, 0);
    EXPECT_EQ(window->selectedCurveSets(), QList<int>({1, 0}));
    click(window->ui->pushButtonStatisticsCompute);

    ASSERT_EQ(table()->columnCount(), 2 * 2 + 1);
    const int h = 6;
    EXPECT_EQ(cell(table(), 1, 2), "b");
    EXPECT_EQ(cell(table(), 1, 4), "a");
    EXPECT_EQ(cell(table(), h, 1), "Std");
    EXPECT_EQ(cell(table(), h, 2), "Mean");
    EXPECT_EQ(cell(table(), h + 1, 0), "Band 0");
    EXPECT_EQ(cell(table(), h + 2, 0), "Band 2");
    EXPECT_EQ(cell(table(), h + 1, 4), StatisticsTable::valueText(kSquare.mean));
    EXPECT_EQ(cell(table(), h + 2, 4), StatisticsTable::valueText(3 * kSquare.mean));

    // A toggle off takes a row out of the order; Select All appends the rest
    // in list order.
    clickRow(window->ui->listWidgetStatisticsCurves, 1);
    EXPECT_EQ(window->selectedCurveSets(), QList<int>({0}));
    click(window->ui->pushButtonStatisticsSelectAllCuves);
    EXPECT_EQ(window->selectedCurveSets(), QList<int>({0, 1}));
}

TEST_F(StatisticsWindowTest, MissingChoicesWarnInOrderAndLeaveTheTable)
{
    sets = {squareSet("a", {{10, 10, 10}}), squareSet("b", {{20, 20, 4}})};
    struct Case {
        const char* name;
        bool twoDataSets;
        std::vector<const char*> unselect;  // buttons pressed before Compute
        QString warning;
    };
    const std::vector<Case> cases{
        {"no channel", false, {"pushButtonStatisticsUnselectAllChannels"}, "Select at least one channel"},
        {"no curve set", false, {"pushButtonStatisticsUnselectAllCurves"}, "Select at least one curve"},
        {"no statistic", false, {"pushButtonStatisticsUnselectAllStats"}, "Select at least one statistics type"},
        {"channels are asked first",
         false,
         {"pushButtonStatisticsUnselectAllStats", "pushButtonStatisticsUnselectAllCurves",
          "pushButtonStatisticsUnselectAllChannels"},
         "Select at least one channel"},
        {"differences of two sets", true, {}, "For difference select only one curve"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        open(c.twoDataSets ? QList<IO::File*>{&ground1, &ground1Doubled} : QList<IO::File*>{&ground1});
        // A first result that must stay.
        if (!c.twoDataSets)
            click(window->ui->pushButtonStatisticsCompute);
        const QStringList before = tableTexts(table());
        const std::vector<double> means = sets[0].mean;
        dialogs.requests.clear();
        for (const char* button : c.unselect)
            click(window->findChild<QPushButton*>(button));
        click(window->ui->pushButtonStatisticsCompute);
        ASSERT_EQ(dialogs.requests.size(), 1);
        EXPECT_EQ(dialogs.requests[0].text, c.warning);
        EXPECT_EQ(dialogs.requests[0].icon, 2);
        EXPECT_EQ(tableTexts(table()), before);
        EXPECT_EQ(sets[0].mean, means);
    }
}

TEST_F(StatisticsWindowTest, UnmeasurableSetsShowMinusOneAndShortListsGrow)
{
    UI::CurveSet unsized = squareSet("unsized", {{10, 10, 10}});
    unsized.mean.clear();
    unsized.std.clear();
    unsized.min = {5.0};
    unsized.max.clear();
    // Its window reaches past the grid: nothing is measured.
    UI::CurveSet outside = squareSet("outside", {{40, 40, 10}});
    outside.min.clear();
    outside.min = {7.0};
    sets = {outside, unsized};
    // Every band of the first data set is a channel, also where the second
    // has fewer bands.
    RampFile twoBands{kSize, kSize, 1, "two-bands", 2};
    open({&ground1, &twoBands});
    EXPECT_EQ(window->ui->listWidgetStatisticsChannels->count(), 3);
    window.reset();

    open({&ground1});
    click(window->ui->pushButtonStatisticsCompute);
    ASSERT_EQ(table()->columnCount(), 2 * 4 + 1);
    const int h = 6;
    EXPECT_EQ(cell(table(), h + 1, 1), "-1");
    EXPECT_EQ(cell(table(), h + 1, 3), "7");
    EXPECT_EQ(cell(table(), h + 3, 3), "-1");
    EXPECT_EQ(cell(table(), h + 1, 5), StatisticsTable::valueText(kSquare.mean));
    for (const UI::CurveSet& set : sets) {
        for (int type = 0; type < 4; ++type)
            EXPECT_EQ(set.statistic(type).size(), 3u) << set.name << " " << type;
    }
    EXPECT_EQ(sets[0].min, std::vector<double>({7.0, -1.0, -1.0}));
}

TEST_F(StatisticsWindowTest, CompareMeasuresTheFirstCurvesInSelectionOrder)
{
    // b's first curve is a's first curve; a has a second curve.
    sets = {squareSet("a", {{10, 10, 10}, {30, 30, 5}}), squareSet("b", {{10, 10, 10}})};
    open({&ground1});
    click(window->ui->pushButtonStatisticsUnselectAllCurves);
    clickRow(window->ui->listWidgetStatisticsCurves, 1);
    clickRow(window->ui->listWidgetStatisticsCurves, 0);
    click(window->ui->pushButtonCompare);

    ASSERT_EQ(table()->columnCount(), 6);
    const int h = 3 * 2 + 3;
    ASSERT_EQ(table()->rowCount(), 3 * 2 + 7);
    EXPECT_TRUE(dialogs.requests.isEmpty());
    EXPECT_EQ(cell(table(), 0, 1), "first-data-set");
    EXPECT_EQ(cell(table(), 0, 3), "first-data-set");
    EXPECT_EQ(cell(table(), 1, 1), "b");
    EXPECT_EQ(cell(table(), 1, 3), "a");
    EXPECT_EQ(cell(table(), 5, 2), "Area[m^2] of a_1");
    EXPECT_EQ(cell(table(), 5, 3), "2500.000");
    EXPECT_EQ(cell(table(), 5, 0), "<none>");
    EXPECT_EQ(cell(table(), h, 1), "b and a ");
    for (int k = 1; k <= 3; ++k)
        EXPECT_EQ(cell(table(), h + k, 1), "0.000");
    EXPECT_TRUE(table()->horizontalHeader()->stretchLastSection());
}

TEST_F(StatisticsWindowTest, CompareNeedsTwoSetsThatHoldCurves)
{
    UI::CurveSet empty;
    empty.setName("empty");
    sets = {squareSet("a", {{10, 10, 10}}), empty, squareSet("c", {{12, 12, 6}})};
    struct Case {
        const char* name;
        std::vector<int> rows;
        QString warning;
    };
    const std::vector<Case> cases{
        {"one set", {0}, "For comparison select only two curves"},
        {"three sets", {0, 1, 2}, "For comparison select only two curves"},
        {"a set without curve", {0, 1}, "Selected curve set has no curve"},
    };
    open({&ground1});
    click(window->ui->pushButtonStatisticsCompute);
    const QStringList before = tableTexts(table());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        click(window->ui->pushButtonStatisticsUnselectAllCurves);
        for (int row : c.rows)
            clickRow(window->ui->listWidgetStatisticsCurves, row);
        dialogs.requests.clear();
        click(window->ui->pushButtonCompare);
        ASSERT_EQ(dialogs.requests.size(), 1);
        EXPECT_EQ(dialogs.requests[0].text, c.warning);
        EXPECT_EQ(tableTexts(table()), before);
    }
}

TEST_F(StatisticsWindowTest, AreaMonitoringOwnsItsSetsAndOpensOnTheComparison)
{
    sets = {squareSet("drawn-first", {{10, 10, 10}}), squareSet("drawn-second", {{11, 10, 10}})};
    open({&ground1, &ground1Doubled}, true);
    // The window took the list over.
    EXPECT_TRUE(sets.isEmpty());
    ASSERT_EQ(window->curveSets().size(), 2);
    EXPECT_FALSE(window->ui->groupBoxControls->isEnabled());
    EXPECT_EQ(window->ui->listWidgetStatisticsCurves->count(), 0);
    EXPECT_EQ(window->ui->listWidgetStatisticsChannels->count(), 0);
    ASSERT_EQ(table()->columnCount(), 6);
    EXPECT_EQ(cell(table(), 0, 1), "first-data-set");
    EXPECT_EQ(cell(table(), 0, 3), "doubled-data-set");
    EXPECT_EQ(cell(table(), 1, 3), "drawn-second");
    // The squares lie one pixel apart: half of the corners are 1 px from
    // the other square, the rest on it.
    EXPECT_EQ(cell(table(), 7, 1), "5.000");
    EXPECT_EQ(cell(table(), 8, 1), "10.000");
    EXPECT_EQ(cell(table(), 9, 1), "10.000");

    // Both exports stop at the first missing choice.
    dialogs.integerAnswer = 3;
    dialogs.fileAnswers = {{"never.csv"}};
    window->ui->actionExport_curves_statistics->trigger();
    window->ui->actionExport_large_file_of_statistics->trigger();
    EXPECT_EQ(dialogs.messageTexts(), QStringList({"Select at least one channel", "Select at least one channel"}));
    EXPECT_TRUE(dialogs.fileRequests.isEmpty());
    EXPECT_TRUE(dialogs.integerRequests.isEmpty());
}

TEST_F(StatisticsWindowTest, CopyPutsTheFirstSelectedRangeOnTheClipboard)
{
    sets = {squareSet("square", {{10, 10, 10}})};
    open({&ground1});
    click(window->ui->pushButtonStatisticsCompute);
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText("untouched");
    table()->setFocus();
    QTest::keyClick(table(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboard->text(), "untouched");

    table()->setRangeSelected(QTableWidgetSelectionRange(0, 1, 1, 2), true);
    table()->setRangeSelected(QTableWidgetSelectionRange(6, 1, 6, 4), true);
    QTest::keyClick(table(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboard->text(), "File name:\tfirst-data-set\nCurveSet name:\tsquare\n");

    // Also when the window itself has the key.
    clipboard->setText("untouched");
    QTest::keyClick(window.get(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboard->text(), "File name:\tfirst-data-set\nCurveSet name:\tsquare\n");
}

TEST_F(StatisticsWindowTest, ClosingAsksAndClosesOnYesOnly)
{
    sets = {squareSet("square", {{10, 10, 10}})};
    struct Case {
        QMessageBox::StandardButton answer;
        bool closed;
    };
    for (const Case& c : {Case{QMessageBox::No, false}, Case{QMessageBox::Yes, true}}) {
        SCOPED_TRACE(c.closed);
        open({&ground1});
        dialogs.answer = c.answer;
        dialogs.requests.clear();
        window->ui->actionClose->trigger();
        ASSERT_EQ(dialogs.requests.size(), 1);
        EXPECT_EQ(dialogs.requests[0].kind, MessageBoxRequest::Kind::Question);
        EXPECT_EQ(dialogs.requests[0].title, "Close Confirmation");
        EXPECT_EQ(dialogs.requests[0].text, "Are you sure you want to close the window?");
        EXPECT_EQ(window->isVisible(), !c.closed);
    }
}

} // namespace

namespace {

using namespace StatisticsTest;

QStringList actionTexts(const QMenu* menu)
{
    QStringList out;
    for (const QAction* action : menu->actions())
        out.append(action->isSeparator() ? QStringLiteral("|") : action->text());
    return out;
}

TEST_F(StatisticsWindowTest, FormAsDesigned)
{
    open({&ground1});
    Ui::StatisticsWindow* form = window->ui.get();
    EXPECT_EQ(window->windowTitle(), "Statistics");
    EXPECT_FALSE(window->windowIcon().isNull());
    EXPECT_EQ(form->menuFile->title(), "Statistics");
    EXPECT_EQ(actionTexts(form->menuFile), QStringList({"Save as", "|", "Close"}));
    EXPECT_EQ(form->menuNatNet->title(), "NatNet");
    EXPECT_EQ(actionTexts(form->menuNatNet),
              QStringList({"Export curves statistics", "Export large file of statistics"}));
    EXPECT_EQ(form->actionSave_as->text(), "Save as");
    EXPECT_TRUE(form->actionSave_as->associatedObjects().isEmpty());  // in no menu
    EXPECT_EQ(form->tableWidget->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_EQ(form->groupBoxControls->title(), "Controls");

    struct Placed {
        QWidget* widget;
        int row;
        int column;
        QString text;
    };
    const auto textOf = [](QWidget* widget) {
        if (auto* button = qobject_cast<QAbstractButton*>(widget))
            return button->text();
        if (auto* label = qobject_cast<QLabel*>(widget))
            return label->text();
        return QString();
    };
    const std::vector<Placed> placed{
        {form->label_4, 0, 0, "Curves"},
        {form->listWidgetStatisticsCurves, 1, 0, ""},
        {form->pushButtonStatisticsSelectAllCuves, 2, 0, "Select All Curves"},
        {form->pushButtonStatisticsUnselectAllCurves, 2, 1, "Unselect All Curves"},
        {form->line_2, 3, 0, ""},
        {form->label_5, 4, 0, "Channels"},
        {form->listWidgetStatisticsChannels, 5, 0, ""},
        {form->pushButtonStatisticsSelectAllChannels, 6, 0, "Select All Channels"},
        {form->pushButtonStatisticsUnselectAllChannels, 6, 1, "Unselect All Channels"},
        {form->line_3, 7, 0, ""},
        {form->label_6, 8, 0, "Statistics"},
        {form->listWidgetStatisticsTypes, 9, 0, ""},
        {form->label, 10, 0, "RHL parameter [%]"},
        {form->doubleSpinBoxRHLparam, 10, 1, ""},
        {form->label_2, 11, 0, "RHL filtering timestep"},
        {form->doubleSpinBoxRHLtimestep, 11, 1, ""},
        {form->pushButtonStatisticsSelectAllStats, 12, 0, "Select All Statistics"},
        {form->pushButtonStatisticsUnselectAllStats, 12, 1, "Unselect All Statistics"},
        {form->pushButtonStatisticsCompute, 14, 0, "Compute Statistics"},
        {form->pushButtonCompare, 15, 0, "Compute Hausdorff distance"},
    };
    auto* grid = qobject_cast<QGridLayout*>(form->groupBoxControls->layout());
    ASSERT_NE(grid, nullptr);
    for (const Placed& p : placed) {
        SCOPED_TRACE(p.widget->objectName().toStdString());
        int row = -1, column = -1, rowSpan = 0, columnSpan = 0;
        grid->getItemPosition(grid->indexOf(p.widget), &row, &column, &rowSpan, &columnSpan);
        EXPECT_EQ(row, p.row);
        EXPECT_EQ(column, p.column);
        EXPECT_EQ(textOf(p.widget), p.text);
    }
    for (QListWidget* list : {form->listWidgetStatisticsCurves, form->listWidgetStatisticsChannels,
                              form->listWidgetStatisticsTypes})
        EXPECT_EQ(list->selectionMode(), QAbstractItemView::MultiSelection);
    EXPECT_TRUE(form->label_4->font().bold());
    EXPECT_EQ(form->label_4->font().pointSize(), 8);
    EXPECT_EQ(form->label_4->alignment(), Qt::AlignCenter);
    EXPECT_FALSE(form->doubleSpinBoxRHLparam->isEnabled());
    EXPECT_EQ(form->doubleSpinBoxRHLparam->minimum(), 1.0);
    EXPECT_EQ(form->doubleSpinBoxRHLparam->maximum(), 100.0);
    EXPECT_EQ(form->doubleSpinBoxRHLtimestep->minimum(), 0.0);
}

} // namespace
