// The two viewer sides: opening the right side with the left side's
// choices, switching the active side, closing the right side and what it
// releases, and where the tools viewers stand in each layout.

#include <QDockWidget>
#include <QMenu>
#include <QTabBar>
#include <QToolButton>

#include "test_shell_support.h"

using ShellTest::Shell;

namespace {

class Sides : public Shell {
protected:
    void SetUp() override
    {
        Shell::SetUp();
        left = addDataSet(ShellTest::makeDataSet(120, 90, 3, 60));
        other = addDataSet(ShellTest::makeDataSet(120, 90, 3, 60));
        showOn(0, left);
        setSideValue(0, "curvePropertiesActiveColor", "255,0,0,255");
        setViewport(viewer(0), QSize(110, 90));
        window->refreshAllViewers();
    }

    QToolButton* sideButton()
    {
        return qobject_cast<QToolButton*>(window->ui->leftTabWidget->tabBar()->tabButton(1, QTabBar::RightSide));
    }

    // Where a viewer's scroll area stands in its side's grid.
    std::vector<int> placeOf(int side, UI::ViewerWidget* target)
    {
        int row = -1, column = -1, rowSpan = -1, columnSpan = -1;
        QWidget* area = target->parentWidget()->parentWidget();
        grid(side)->getItemPosition(grid(side)->indexOf(area), &row, &column, &rowSpan, &columnSpan);
        return {row, column, rowSpan, columnSpan};
    }

    bool controlsEnabled()
    {
        FenlarkAppUI& ui = *window->ui;
        ui.actionCurve_Manager->setVisible(true); // hidden actions always read disabled
        const bool enabled = ui.dockWidgetProperties->isEnabled() && ui.dockWidgetTools->isEnabled()
            && ui.menuCurves->isEnabled() && ui.actionCurve_Manager->isEnabled();
        const bool disabled = !ui.dockWidgetProperties->isEnabled() && !ui.dockWidgetTools->isEnabled()
            && !ui.menuCurves->isEnabled() && !ui.actionCurve_Manager->isEnabled();
        ui.actionCurve_Manager->setVisible(false);
        EXPECT_TRUE(enabled || disabled) << "the four controls disagree";
        return enabled;
    }

    int left = -1;
    int other = -1;
};

} // namespace

TEST_F(Sides, OpeningTheRightSideStartsItWithTheLeftChoices)
{
    const qint64 closedIcon = sideButton()->icon().cacheKey();
    window->toolButtonTabWidget_clicked();
    FenlarkAppUI& ui = *window->ui;
    EXPECT_FALSE(ui.rightTabWidget->isHidden());
    EXPECT_TRUE(ui.rightTabWidget->tabBar()->isEnabled());
    EXPECT_EQ(ui.rightTabWidget->tabText(0), "No data loaded");
    EXPECT_NE(sideButton()->icon().cacheKey(), closedIcon);
    EXPECT_EQ(ui.activeSide, 0);
    EXPECT_EQ(ui.rightDataIndex, -1);

    EXPECT_EQ(sideValue(1, "dataPropertiesRedBand").toInt(), 0);
    EXPECT_EQ(sideValue(1, "dataPropertiesChannelType").toInt(), 1);
    EXPECT_EQ(sideValue(1, "curvePropertiesActiveColor").toString(), "255,0,0,255");
    EXPECT_EQ(sideValue(1, "dataExplorerStateCurrentIndex").toInt(), -1);
    EXPECT_EQ(sideValue(1, "featureShowed").toInt(), 0);
    EXPECT_EQ(sideValue(1, "featureShowedCache").toInt(), 0);
    // The left group is left as it was.
    EXPECT_EQ(sideValue(0, "dataExplorerStateCurrentIndex").toInt(), left);
}

TEST_F(Sides, TheNewRightViewTakesTheLeftViewOnlyWhenLinked)
{
    UI::ViewerWidget* leftMain = viewer(0);
    UI::ViewerWidget* rightMain = viewer(1);
    for (bool linked : {false, true}) {
        leftMain->zoomStep(QPointF(40, 30), 2);
        rightMain->zoomStep(QPointF(10, 10), -3);
        window->ui->actionLink_left_right->setChecked(linked);
        window->toolButtonTabWidget_clicked();
        if (linked) {
            EXPECT_EQ(rightMain->zoomIndex, leftMain->zoomIndex);
            EXPECT_EQ(rightMain->origin, leftMain->origin);
        } else {
            EXPECT_EQ(rightMain->zoomIndex, 9);
            EXPECT_DOUBLE_EQ(rightMain->zoom, 1.0);
            EXPECT_EQ(rightMain->origin, QPoint(0, 0));
        }
        window->toolButtonTabWidget_clicked(); // closes it again
        ASSERT_TRUE(window->ui->rightTabWidget->isHidden());
        leftMain->resetView();
    }
}

TEST_F(Sides, SwitchingSidesSwapsStylesAndFollowsTheDataSet)
{
    FenlarkAppUI& ui = *window->ui;
    window->toolButtonTabWidget_clicked();
    window->handleCurveMenu();
    window->handlePropertiesMenu();
    window->handleToolMenu();
    EXPECT_TRUE(controlsEnabled());
    window->previewWidget->setImage(window->dataFiles[left]->preview, 343, 343, 60, 60);
    window->updatePreviewRect(viewer(0));
    ASSERT_FALSE(window->previewWidget->image->isNull());

    // To the right side, which shows nothing yet: the preview clears and the
    // data-set controls turn off.
    emit ui.rightTabWidget->tabBarClicked(0);
    EXPECT_EQ(ui.activeSide, 1);
    EXPECT_EQ(ui.otherSide, 0);
    EXPECT_EQ(ui.rightTabWidget->currentWidget()->styleSheet(), "border: 2px solid #81c784;");
    EXPECT_EQ(ui.rightTabWidget->tabBar()->styleSheet(), "color: #43a047;");
    EXPECT_EQ(ui.leftTabWidget->currentWidget()->styleSheet(), "border: 2px solid #9e9e9e;");
    EXPECT_EQ(ui.leftTabWidget->tabBar()->styleSheet(), "color: #9e9e9e;");
    EXPECT_TRUE(window->previewWidget->image->isNull());
    EXPECT_FALSE(controlsEnabled());

    // Back to the left: everything returns.
    emit ui.leftTabWidget->tabBarClicked(0);
    EXPECT_EQ(ui.activeSide, 0);
    EXPECT_EQ(ui.leftTabWidget->currentWidget()->styleSheet(), "border: 2px solid #81c784;");
    EXPECT_TRUE(controlsEnabled());

    // A click on the already active side switches nothing but redraws both
    // sides.
    showOn(1, other);
    setViewport(viewer(1), QSize(110, 90));
    const quint64 leftRenders = viewer(0)->renderCount;
    const quint64 rightRenders = viewer(1)->renderCount;
    emit ui.leftTabWidget->tabBarClicked(0);
    EXPECT_EQ(ui.activeSide, 0);
    EXPECT_GT(viewer(0)->renderCount, leftRenders);
    EXPECT_GT(viewer(1)->renderCount, rightRenders);
}

TEST_F(Sides, ClosingReleasesOnlyADataSetShownNowhereElse)
{
    const struct {
        const char* what;
        int rightShows;
        bool otherKeepsBands;
    } cases[] = {
        {"the same data set on both sides", 0, true},
        {"another data set on the right", 1, false},
    };
    for (const auto& c : cases) {
        window->toolButtonTabWidget_clicked();
        const int shown = c.rightShows == 0 ? left : other;
        showOn(1, shown);
        // The right group's explorer row is stale (it names the left data
        // set): what the side shows decides, not the stored row.
        setSideValue(1, "dataExplorerStateCurrentIndex", left);
        setViewport(viewer(1), QSize(110, 90));
        window->refreshAllViewers();
        ASSERT_FALSE(viewer(1)->isEmpty());

        window->toolButtonTabWidget_clicked();
        FenlarkAppUI& ui = *window->ui;
        EXPECT_TRUE(ui.rightTabWidget->isHidden()) << c.what;
        EXPECT_FALSE(ui.rightTabWidget->tabBar()->isEnabled());
        EXPECT_EQ(ui.rightDataIndex, -1);
        EXPECT_EQ(ui.activeSide, 0);
        EXPECT_EQ(ui.otherSide, 1);
        EXPECT_TRUE(viewer(1)->isEmpty());
        window->beginTabGroup(1);
        EXPECT_TRUE(window->sessionConfig->allKeys().isEmpty()) << c.what;
        window->sessionConfig->endGroup();
        EXPECT_TRUE(window->dataFiles[left]->isLoaded(0, 0)) << c.what;
        EXPECT_EQ(window->dataFiles[shown]->isLoaded(0, 0), c.otherKeepsBands || shown == left) << c.what;
        EXPECT_EQ(ui.leftTabWidget->currentWidget()->styleSheet(), "border: 2px solid #81c784;");
    }
}

TEST_F(Sides, ToolsViewersStackWhileBothSidesAreOpen)
{
    UI::ViewerWidget* tools = addToolsViewer(0, "viewerWidgetToolsFeature");
    UI::ViewerWidget* main = viewer(0);
    EXPECT_EQ(placeOf(0, tools), std::vector<int>({0, 1, 2, 1}));

    window->toolButtonTabWidget_clicked();
    EXPECT_EQ(placeOf(0, main), std::vector<int>({0, 0, 1, 2}));
    EXPECT_EQ(placeOf(0, tools), std::vector<int>({1, 0, 1, 2}));

    window->toolButtonTabWidget_clicked();
    EXPECT_EQ(placeOf(0, main), std::vector<int>({0, 0, 2, 1}));
    EXPECT_EQ(placeOf(0, tools), std::vector<int>({0, 1, 2, 1}));

    // Without a tools viewer the main viewer keeps its place both ways.
    window->viewers[0].remove("viewerWidgetToolsFeature");
    delete tools->parentWidget()->parentWidget();
    window->toolButtonTabWidget_clicked();
    EXPECT_EQ(placeOf(0, main), std::vector<int>({0, 0, 2, 1}));
    window->toolButtonTabWidget_clicked();
    EXPECT_EQ(placeOf(0, main), std::vector<int>({0, 0, 2, 1}));
}

TEST_F(Sides, ClosingKeepsTheLeftPreviewOrClearsIt)
{
    window->previewWidget->setImage(window->dataFiles[left]->preview, 343, 343, 60, 60);
    window->toolButtonTabWidget_clicked();
    window->toolButtonTabWidget_clicked();
    // The left side shows a data set: its view rectangle is drawn again.
    EXPECT_FALSE(window->previewWidget->image->isNull());
    EXPECT_GT(window->previewWidget->scaleX, 0.0);

    window->ui->leftDataIndex = -1;
    window->toolButtonTabWidget_clicked();
    window->toolButtonTabWidget_clicked();
    EXPECT_TRUE(window->previewWidget->image->isNull());
}
