// The curves explorer in the real window: the tree built from the active
// list, the stored current set, visibility, the selection as groups, the
// context menu and the editing actions behind it.

#include <QCheckBox>
#include <QComboBox>
#include <QIcon>
#include <QImage>
#include <QMenu>

#include "curves_fixture.h"

namespace {

using CurvesTest::curveSet;
using CurvesTest::CurvesWindow;
using CurvesTest::ring;

QCheckBox* boxOf(QTreeWidget* tree, QTreeWidgetItem* item, int column)
{
    return qobject_cast<QCheckBox*>(tree->itemWidget(item, column));
}

QImage iconImage(const QIcon& icon)
{
    return icon.pixmap(16, 16).toImage();
}

// Two sets: "first" of three rings (the last one open), "second" of one.
QList<UI::CurveSet> twoSets()
{
    std::vector<Point2D> open = ring(60, 60, 8);
    open.pop_back();
    return {curveSet("first", {ring(40, 40, 6), ring(70, 40, 6), open}), curveSet("second", {ring(40, 80, 6)})};
}

class CurvesExplorer : public CurvesWindow {};

TEST_F(CurvesExplorer, ShowsOneRowPerSetWithItsCurvesAndTheirBoxes)
{
    setSets(twoSets(), 1);

    ASSERT_EQ(tree->topLevelItemCount(), 2);
    EXPECT_EQ(tree->headerItem()->text(3), "Name");
    EXPECT_EQ(tree->headerItem()->text(4), "Type");
    QTreeWidgetItem* first = tree->topLevelItem(0);
    EXPECT_EQ(first->text(3), "first.kml");
    EXPECT_EQ(first->toolTip(3), "first");
    ASSERT_EQ(first->childCount(), 3);
    EXPECT_TRUE(first->isExpanded());
    EXPECT_EQ(first->child(1)->text(3), "first_1");
    EXPECT_EQ(first->child(1)->toolTip(3), "first_1");
    EXPECT_EQ(first->child(0)->text(4), QString::fromStdString(sets()[0].curves[0].closedText()));
    EXPECT_EQ(first->child(2)->text(4), QString::fromStdString(sets()[0].curves[2].closedText()));
    EXPECT_NE(first->child(0)->text(4), first->child(2)->text(4));

    // The tree-line icon turns into a corner on each set's last curve.
    const QImage branch = iconImage(QIcon(":/FenlarkApp/icons/expanditem.png"));
    const QImage corner = iconImage(QIcon(":/FenlarkApp/icons/expanditemLast.png"));
    ASSERT_FALSE(branch.isNull());
    ASSERT_FALSE(corner.isNull());
    EXPECT_NE(branch, corner);
    EXPECT_EQ(iconImage(first->child(0)->icon(1)), branch);
    EXPECT_EQ(iconImage(first->child(2)->icon(1)), corner);
    EXPECT_EQ(iconImage(tree->topLevelItem(1)->child(0)->icon(1)), corner);

    // Set rows carry their box in column 1, curve rows in column 2.
    QCheckBox* setBox = boxOf(tree, tree->topLevelItem(1), 1);
    ASSERT_NE(setBox, nullptr);
    EXPECT_EQ(boxOf(tree, tree->topLevelItem(1), 2), nullptr);
    EXPECT_EQ(setBox->property("curveSet_id").toInt(), 1);
    EXPECT_EQ(setBox->property("curve_id").toInt(), -1);
    EXPECT_EQ(setBox->toolTip(), "Set visibility");
    QCheckBox* curveBox = boxOf(tree, first->child(2), 2);
    ASSERT_NE(curveBox, nullptr);
    EXPECT_EQ(boxOf(tree, first->child(2), 1), nullptr);
    EXPECT_EQ(curveBox->property("curveSet_id").toInt(), 0);
    EXPECT_EQ(curveBox->property("curve_id").toInt(), 2);

    EXPECT_EQ(tree->currentItem(), tree->topLevelItem(1));
    EXPECT_EQ(storedIndex(), 1);
    EXPECT_FALSE(tree->topLevelItem(1)->icon(0).isNull());
    EXPECT_TRUE(first->icon(0).isNull());

    // The area-monitoring choosers list the sets of the chosen data set.
    window->fillStatisticsFileComboBoxes();
    ASSERT_EQ(window->ui->comboBoxStatsAreaDiffCurve1->count(), 2);
    EXPECT_EQ(window->ui->comboBoxStatsAreaDiffCurve1->itemText(0), "first...");
}

TEST_F(CurvesExplorer, BoxesFollowTheVisibilityFlagsOverARebuild)
{
    QList<UI::CurveSet> hidden = twoSets();
    hidden[0].curves[1].visible = false;
    hidden[1].visible = false;
    setSets(hidden);
    EXPECT_FALSE(boxOf(tree, tree->topLevelItem(0)->child(1), 2)->isChecked());
    EXPECT_TRUE(boxOf(tree, tree->topLevelItem(0)->child(0), 2)->isChecked());
    EXPECT_FALSE(boxOf(tree, tree->topLevelItem(1), 1)->isChecked());
}

TEST_F(CurvesExplorer, StoresTheCurrentIndexOnlyWhenItNamesARow)
{
    struct Case {
        const char* name;
        bool showsData;
        int setCount;
        int requested;
        int stored;  // what the side's group holds afterwards (5 before)
    };
    const std::vector<Case> cases{
        {"no data set keeps the stored index", false, 2, 1, 5},
        {"an empty list stores none", true, 0, 1, -1},
        {"a row past the last stores none", true, 2, 2, -1},
        {"a negative row stores none", true, 2, -4, -1},
        {"none stays none", true, 2, -1, -1},
        {"a row is stored", true, 2, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        window->curveSets[index] = twoSets().mid(0, c.setCount);
        window->ui->leftDataIndex = c.showsData ? index : -1;
        setSideValue(0, "curveExplorerStateCurrentIndex", 5);
        window->setCurvesExplorer(c.requested);
        EXPECT_EQ(storedIndex(), c.stored);
        EXPECT_EQ(tree->topLevelItemCount(), c.showsData ? c.setCount : 0);
        EXPECT_EQ(window->currentCurveSetIndex(), c.showsData && c.stored < c.setCount ? c.stored : -1);
    }
}

// ------------------------------------------------------------- visibility

TEST_F(CurvesExplorer, CurveBoxesDecideTheVisibilityOfTheirSet)
{
    struct Case {
        const char* name;
        std::vector<bool> curvesBefore;  // set 0's curves
        bool setBefore;
        int box;  // -1 the set's own box, else a curve's box
        bool checked;
        std::vector<bool> curvesAfter;
        bool setAfter;
    };
    const std::vector<Case> cases{
        {"unchecking the last shown curve hides the set", {true, false, false}, true, 0, false,
         {false, false, false}, false},
        {"unchecking one of two shown curves keeps the set", {true, true, false}, true, 0, false,
         {false, true, false}, true},
        {"checking a curve of a hidden set shows the set", {false, false, false}, false, 2, true,
         {false, false, true}, true},
        {"unchecking the set's box hides every curve", {true, true, true}, true, -1, false,
         {false, false, false}, false},
        {"checking the set's box shows every curve", {false, true, false}, false, -1, true,
         {true, true, true}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QList<UI::CurveSet> start = twoSets();
        for (std::size_t k = 0; k < 3; ++k)
            start[0].curves[k].visible = c.curvesBefore[k];
        start[0].visible = c.setBefore;
        setSets(start);
        QTreeWidgetItem* row = tree->topLevelItem(0);
        QCheckBox* box = c.box == -1 ? boxOf(tree, row, 1) : boxOf(tree, row->child(c.box), 2);
        box->setChecked(c.checked);
        for (std::size_t k = 0; k < 3; ++k) {
            EXPECT_EQ(sets()[0].curves[k].visible, c.curvesAfter[k]) << "curve " << k;
            EXPECT_EQ(boxOf(tree, row->child(static_cast<int>(k)), 2)->isChecked(), c.curvesAfter[k]);
        }
        EXPECT_EQ(sets()[0].visible, c.setAfter);
        EXPECT_EQ(boxOf(tree, row, 1)->isChecked(), c.setAfter);
        EXPECT_TRUE(sets()[1].visible);
    }
}

TEST_F(CurvesExplorer, HidingASetWithOneOfItsCurvesTreatsTheCurveAsPartOfTheSet)
{
    setSets(twoSets());
    select({{0, 1}, {0, -1}, {1, 0}});
    window->hideSelectedAction_triggered(false);
    EXPECT_FALSE(sets()[0].visible);
    for (const UI::Curve& curve : sets()[0].curves)
        EXPECT_FALSE(curve.visible);
    EXPECT_FALSE(sets()[1].visible);  // its only curve went

    window->ui->actionShow_All->trigger();
    EXPECT_TRUE(sets()[0].visible && sets()[1].visible);
    EXPECT_TRUE(sets()[0].curves[1].visible);
    EXPECT_TRUE(boxOf(tree, tree->topLevelItem(0)->child(1), 2)->isChecked());

    window->ui->actionHide_All->trigger();
    EXPECT_FALSE(sets()[0].visible || sets()[1].visible);
    EXPECT_FALSE(sets()[1].curves[0].visible);
}

// ------------------------------------------------------------- selection

TEST_F(CurvesExplorer, GroupsFollowTheSelectionOrder)
{
    setSets({curveSet("four", {ring(30, 30, 5), ring(50, 30, 5), ring(70, 30, 5), ring(90, 30, 5)}),
             curveSet("pair", {ring(30, 60, 5), ring(50, 60, 5)})});
    select({{0, 3}, {1, -1}, {0, 1}, {1, 0}});
    QList<int> setIds;
    QList<QPair<int, int>> curveIds;
    QList<UI::FenlarkApp::CurveGroup> groups;
    window->getSelectedCurvesBySet(setIds, curveIds, groups);
    EXPECT_EQ(setIds, QList<int>{1});
    EXPECT_EQ(curveIds, (QList<QPair<int, int>>{{0, 3}, {0, 1}}));
    ASSERT_EQ(groups.size(), 2);
    EXPECT_EQ(groups[0].first, 1);
    EXPECT_EQ(groups[0].second, (std::vector<int>{0, 1}));
    EXPECT_EQ(groups[1].first, 0);
    EXPECT_EQ(groups[1].second, (std::vector<int>{3, 1}));
}

TEST_F(CurvesExplorer, DoubleClickOnACurveMakesItsSetCurrent)
{
    setSets(twoSets(), 1);
    window->treeWidgetCurvesExplorer_focus(tree->topLevelItem(0)->child(2), 3);
    EXPECT_EQ(tree->currentItem(), tree->topLevelItem(0));
    EXPECT_EQ(storedIndex(), 0);
    EXPECT_FALSE(tree->topLevelItem(0)->icon(0).isNull());
    EXPECT_TRUE(tree->topLevelItem(1)->icon(0).isNull());
}

TEST_F(CurvesExplorer, InnerAndColourStatesOfTheSelection)
{
    QList<UI::CurveSet> start = twoSets();
    start[1].curves[0].color = {200, 0, 0, 255};
    start.append(curveSet("empty", {}));
    setSets(start);

    QColor colour;
    select({{0, -1}, {1, -1}});
    EXPECT_FALSE(window->getDifferentColorState(colour)) << "each set is uniform in itself";
    EXPECT_EQ(colour, QColor(200, 0, 0, 255));
    select({{0, 0}, {1, 0}});
    EXPECT_TRUE(window->getDifferentColorState(colour));
    EXPECT_EQ(colour, QColor(200, 0, 0, 255));

    select({{0, 0}});
    EXPECT_FALSE(window->getCheckedAsInnerState());
    select({{2, -1}});
    EXPECT_TRUE(window->getCheckedAsInnerState()) << "a set without curves counts as all inner";
    sets()[0].curves[1].inner = true;
    select({{0, 0}, {0, 1}});
    EXPECT_TRUE(window->getCheckedAsInnerState());
}

// ------------------------------------------------------------- menu

TEST_F(CurvesExplorer, MenuOffersTheEntriesOfTheSelection)
{
    setSets(twoSets());
    const QStringList common{"Load curves", "Change color", "Copy to...", "Delete", "Hide selected",
                             "Show selected", "Adjust"};
    struct Case {
        const char* name;
        std::vector<std::pair<int, int>> rows;
        QStringList entries;
    };
    const std::vector<Case> cases{
        {"nothing selected", {}, {"Load curves"}},
        {"one set", {{0, -1}},
         common + QStringList{"Local adjust", "Rename", "Save curve set as...", "Inner"}},
        {"one curve", {{0, 1}},
         common + QStringList{"Local adjust", "Rename", "Save curve as...", "Set curve as curve set", "Inner"}},
        {"two rows", {{0, 1}, {1, -1}}, common + QStringList{"Save as...", "Inner"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        select(c.rows);
        std::unique_ptr<QMenu> menu(window->buildCurvesExplorerMenu());
        EXPECT_EQ(entries(menu.get()), c.entries);
        EXPECT_TRUE(entry(menu.get(), "Load curves")->isEnabled());
    }

    select({{0, -1}});
    std::unique_ptr<QMenu> menu(window->buildCurvesExplorerMenu());
    EXPECT_FALSE(entry(menu.get(), "Change color")->icon().isNull()) << "one colour is shown";
    EXPECT_TRUE(entry(menu.get(), "Inner")->isCheckable());
    EXPECT_FALSE(entry(menu.get(), "Inner")->isChecked());

    // Local adjust needs exactly one row, even when reached otherwise.
    select({{0, 1}, {1, -1}});
    window->curveLocalAdjustActionAction_triggered();
    EXPECT_FALSE(window->ui->localAdjustMode);
    EXPECT_EQ(dialogs.messages(), QStringList{"You can select only one curve or curve set for local adjust."});

    // Without a data set curves have no grid to be read onto.
    window->ui->leftDataIndex = -1;
    menu.reset(window->buildCurvesExplorerMenu());
    EXPECT_FALSE(entry(menu.get(), "Load curves")->isEnabled());
    window->ui->actionLoad_curves->trigger();
    EXPECT_TRUE(dialogs.fileRequests.isEmpty());
}

// ------------------------------------------------------------- delete

TEST_F(CurvesExplorer, DeleteKeepsTheCurrentSetOrItsSuccessor)
{
    struct Case {
        const char* name;
        int current;
        std::vector<std::pair<int, int>> rows;
        QStringList left;
        int stored;
    };
    // Sets s0 .. s3; s2 has two curves.
    const std::vector<Case> cases{
        {"the current set goes: the next takes its row", 1, {{1, -1}}, {"s0", "s2", "s3"}, 1},
        {"the last set goes while current", 3, {{3, -1}}, {"s0", "s1", "s2"}, 2},
        {"every set goes", 2, {{0, -1}, {1, -1}, {2, -1}, {3, -1}}, {}, -1},
        {"sets below the current shift it down", 3, {{0, -1}, {1, -1}}, {"s2", "s3"}, 1},
        {"sets above the current leave it", 0, {{2, -1}, {3, -1}}, {"s0", "s1"}, 0},
        {"the only curve of a set takes the set along", 2, {{1, 0}}, {"s0", "s2", "s3"}, 1},
        {"no current set stays none", -1, {{0, -1}}, {"s1", "s2", "s3"}, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        setSets({curveSet("s0", {ring(30, 30, 5)}), curveSet("s1", {ring(50, 30, 5)}),
                 curveSet("s2", {ring(70, 30, 5), ring(70, 60, 5)}), curveSet("s3", {ring(90, 30, 5)})},
                c.current);
        select(c.rows);
        window->curveRemoveAction_triggered(false);
        EXPECT_EQ(setNames(), c.left);
        EXPECT_EQ(storedIndex(), c.stored);
        EXPECT_EQ(tree->topLevelItemCount(), c.left.size());
    }
}

TEST_F(CurvesExplorer, DeletingCurvesRemovesExactlyThoseAndForgetsTheStatistics)
{
    for (const auto& order : {std::vector<std::pair<int, int>>{{0, 1}, {0, 3}}, {{0, 3}, {0, 1}}}) {
        QList<UI::CurveSet> start{
            curveSet("four", {ring(30, 30, 5), ring(50, 30, 5), ring(70, 30, 5), ring(90, 30, 5)})};
        start[0].mean = {0.1, 0.2, 0.3};
        setSets(start, 0);
        select(order);
        window->curveRemoveAction_triggered(false);
        ASSERT_EQ(sets().size(), 1);
        ASSERT_EQ(sets()[0].curves.size(), 2u);
        EXPECT_EQ(sets()[0].curves[0].name, "four_0");
        EXPECT_EQ(sets()[0].curves[1].name, "four_2");
        EXPECT_EQ(sets()[0].mean, (std::vector<double>{-1.0, -1.0, -1.0}));
        EXPECT_DOUBLE_EQ(sets()[0].maxX, 75.0) << "the box shrinks to the curves left";
    }
}

// ------------------------------------------------------------- copy to

TEST_F(CurvesExplorer, CopiesGoOnlyToDataSetsOfTheSameGround)
{
    const int same = addDataSet(std::make_unique<CurvesTest::CurveFile>(kSize, 1, "ground-one-later"));
    addDataSet(std::make_unique<CurvesTest::CurveFile>(kSize, 2, "ground-two"));
    QList<UI::CurveSet> start = twoSets();
    start[0].mean = {0.5, 0.5, 0.5};
    start[1].visible = false;
    setSets(start);
    select({{1, -1}, {0, 2}});

    std::unique_ptr<QMenu> menu(window->buildCurvesExplorerMenu());
    QMenu* copyTo = entry(menu.get(), "Copy to...")->menu();
    ASSERT_NE(copyTo, nullptr);
    ASSERT_EQ(entries(copyTo), QStringList{"ground-one-later"});
    copyTo->actions()[0]->trigger();

    const QList<UI::CurveSet>& copied = window->curveSets[same];
    ASSERT_EQ(copied.size(), 2);
    EXPECT_EQ(copied[0].name, "second");
    EXPECT_TRUE(copied[0].visible);
    EXPECT_EQ(copied[1].name, "first");
    ASSERT_EQ(copied[1].curves.size(), 1u);
    EXPECT_EQ(copied[1].curves[0].name, "first_2");
    EXPECT_EQ(copied[1].curves[0].points(), sets()[0].curves[2].points());
    EXPECT_EQ(copied[1].mean, (std::vector<double>{-1.0, -1.0, -1.0}));
    EXPECT_EQ(sets().size(), 2) << "the source stays";
    EXPECT_FALSE(sets()[1].visible);
    EXPECT_EQ(dialogs.messages(), QStringList{"Curves and CurveSets succefully copied"});

    // The other data set of the ground offers the first one back.
    showOn(0, same);
    window->setCurvesExplorer(-1);
    select({{0, -1}});
    menu.reset(window->buildCurvesExplorerMenu());
    EXPECT_EQ(entries(entry(menu.get(), "Copy to...")->menu()), QStringList{"ground-one"});
}

// ------------------------------------------------------------- edits

TEST_F(CurvesExplorer, InnerTurnsCurvesRoundAndBackAgain)
{
    std::vector<Point2D> open = ring(60, 60, 8);
    open.pop_back();
    setSets({curveSet("mixed", {ring(40, 40, 6), open})});
    sets()[0].mean = {0.4, 0.4, 0.4};
    const UI::CurveSet before = sets()[0];
    ASSERT_GT(before.curves[0].area, 0.0);

    select({{0, -1}});
    std::unique_ptr<QMenu> menu(window->buildCurvesExplorerMenu());
    entry(menu.get(), "Inner")->setChecked(true);
    const UI::Curve& closed = sets()[0].curves[0];
    EXPECT_TRUE(closed.inner);
    EXPECT_DOUBLE_EQ(closed.area, -before.curves[0].area);
    EXPECT_EQ(sets()[0].curves[1].area, -1.0) << "an open curve has no area";
    EXPECT_EQ(sets()[0].mean, (std::vector<double>{-1.0, -1.0, -1.0}));

    window->curveShrinkAction_toggled(false);
    for (std::size_t k = 0; k < 2; ++k) {
        EXPECT_EQ(sets()[0].curves[k].points(), before.curves[k].points());
        EXPECT_FALSE(sets()[0].curves[k].inner);
    }
    EXPECT_DOUBLE_EQ(sets()[0].curves[0].area, before.curves[0].area);
}

TEST_F(CurvesExplorer, RenameStoresTheTrimmedTextOnly)
{
    setSets(twoSets());
    select({{0, 1}});
    dialogs.textAnswer = QString("   ");
    window->curveRenameAction_triggered(false);
    ASSERT_EQ(dialogs.textRequests.size(), 1);
    EXPECT_EQ(dialogs.textRequests[0].title, "Rename curve");
    EXPECT_EQ(dialogs.textRequests[0].label, "Curve Name:");
    EXPECT_EQ(dialogs.textRequests[0].text, "first_1");
    EXPECT_EQ(sets()[0].curves[1].name, "first_1");

    dialogs.textAnswer = QString("  meadow ");
    window->curveRenameAction_triggered(false);
    EXPECT_EQ(sets()[0].curves[1].name, "meadow");
    EXPECT_EQ(tree->topLevelItem(0)->child(1)->text(3), "meadow");

    select({{1, -1}});
    dialogs.textAnswer = QString("pasture");
    window->curveRenameAction_triggered(false);
    EXPECT_EQ(dialogs.textRequests.last().title, "Rename curve set");
    EXPECT_EQ(dialogs.textRequests.last().label, "Curve set Name:");
    EXPECT_EQ(sets()[1].name, "pasture");
    EXPECT_EQ(tree->topLevelItem(1)->text(3), "pasture.kml");

    dialogs.textAnswer.reset();
    window->curveRenameAction_triggered(false);
    EXPECT_EQ(sets()[1].name, "pasture");
}

TEST_F(CurvesExplorer, ColourGoesToTheSelectedCurvesOnly)
{
    setSets(twoSets());
    select({{0, 1}, {1, -1}});
    dialogs.colourAnswer = QColor();
    window->curveChangeColourAction_triggered(false);
    EXPECT_EQ(sets()[0].curves[1].color, (std::vector<int>{10, 20, 30, 255}));

    dialogs.colourAnswer = QColor(1, 2, 3, 4);
    window->curveChangeColourAction_triggered(false);
    EXPECT_EQ(sets()[0].curves[1].color, (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(sets()[1].curves[0].color, (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(sets()[0].curves[0].color, (std::vector<int>{10, 20, 30, 255}));
}

TEST_F(CurvesExplorer, CurveBecomesASetOfItsOwn)
{
    QList<UI::CurveSet> start = twoSets();
    start[0].mean = {0.4, 0.4, 0.4};
    start[0].curves[1].visible = false;
    setSets(start, 1);
    select({{0, 1}});
    window->setCurveAsCurveSetAction_triggered(false);
    ASSERT_EQ(sets().size(), 3);
    const UI::CurveSet& own = sets()[2];
    EXPECT_EQ(own.name, "first");
    ASSERT_EQ(own.curves.size(), 1u);
    EXPECT_EQ(own.curves[0].name, "first_1");
    EXPECT_TRUE(own.curves[0].visible);
    EXPECT_DOUBLE_EQ(own.minX, 64.0);
    EXPECT_EQ(own.mean, (std::vector<double>{-1.0, -1.0, -1.0}));
    EXPECT_EQ(sets()[0].curves.size(), 3u);
    EXPECT_EQ(tree->topLevelItemCount(), 3);
    EXPECT_EQ(storedIndex(), 1);
}

} // namespace
