// The window after its set-up: the two sides, their styles and tab bars,
// the docks and their toggles, the link setting and the hidden entries.

#include <QDockWidget>
#include <QMenu>
#include <QMenuBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QTabBar>
#include <QToolBar>
#include <QToolBox>
#include <QToolButton>

#include "forms/WmsManagerForm.h"
#include "test_shell_support.h"

using ShellTest::Shell;

namespace {

QStringList visibleTexts(const QList<QAction*>& actions)
{
    QStringList out;
    for (QAction* action : actions) {
        if (action->isVisible())
            out.append(action->isSeparator() ? QStringLiteral("-") : action->text());
    }
    return out;
}

} // namespace

TEST_F(Shell, SetUpBuildsBothSidesWithTheLeftOneActive)
{
    FenlarkAppUI& ui = *window->ui;
    ASSERT_TRUE(ui.splitter && ui.leftTabWidget && ui.rightTabWidget);
    EXPECT_EQ(ui.splitter->parentWidget(), ui.centralWidget);
    EXPECT_FALSE(ui.splitter->childrenCollapsible());
    EXPECT_EQ(ui.splitter->widget(0), ui.leftTabWidget.data());
    EXPECT_EQ(ui.splitter->widget(1), ui.rightTabWidget.data());
    EXPECT_EQ(ui.leftTabWidget->objectName(), "leftTabWidget");
    EXPECT_EQ(ui.rightTabWidget->objectName(), "rightTabWidget");

    // Left: "No data loaded", then the disabled tab carrying the button.
    ASSERT_EQ(ui.leftTabWidget->count(), 2);
    EXPECT_EQ(ui.leftTabWidget->tabText(0), "No data loaded");
    EXPECT_EQ(ui.leftTabWidget->tabText(1), "");
    EXPECT_FALSE(ui.leftTabWidget->isTabEnabled(1));
    auto* button = qobject_cast<QToolButton*>(ui.leftTabWidget->tabBar()->tabButton(1, QTabBar::RightSide));
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->styleSheet(), "background-color: #FFFFFF;");
    EXPECT_FALSE(button->icon().isNull());
    // The whole bar, button included, waits for the first data set.
    EXPECT_FALSE(ui.leftTabWidget->tabBar()->isEnabled());
    EXPECT_FALSE(button->isEnabled());

    // Right: built, hidden, one tab, no button.
    EXPECT_TRUE(ui.rightTabWidget->isHidden());
    ASSERT_EQ(ui.rightTabWidget->count(), 1);
    EXPECT_EQ(ui.rightTabWidget->tabText(0), "No data loaded");
    EXPECT_FALSE(ui.rightTabWidget->tabBar()->isEnabled());
    EXPECT_EQ(ui.rightTabWidget->tabBar()->tabButton(0, QTabBar::RightSide), nullptr);

    for (QTabWidget* tabs : {ui.leftTabWidget.data(), ui.rightTabWidget.data()})
        EXPECT_EQ(tabs->styleSheet(), "QTabBar::tab { height: 30px; }");
    EXPECT_EQ(ui.activeSide, 0);
    EXPECT_EQ(ui.otherSide, 1);
    EXPECT_EQ(ui.leftTabWidget->currentWidget()->styleSheet(), "border: 2px solid #81c784;");
    EXPECT_EQ(ui.leftTabWidget->tabBar()->styleSheet(), "color: #43a047;");
    EXPECT_EQ(ui.rightTabWidget->currentWidget()->styleSheet(), "border: 2px solid #9e9e9e;");
    EXPECT_EQ(ui.rightTabWidget->tabBar()->styleSheet(), "color: #9e9e9e;");

    // Each side's main viewer sits in a scroll area at row 0, column 0 over
    // two rows of its page's grid, routed through the window.
    for (int side : {0, 1}) {
        ASSERT_EQ(window->viewers[side].size(), 1);
        UI::ViewerWidget* main = viewer(side);
        ASSERT_NE(main, nullptr);
        EXPECT_EQ(main->side, side);
        EXPECT_EQ(main->objectName(), "ViewerWidget");
        auto* area = qobject_cast<QScrollArea*>(main->parentWidget()->parentWidget());
        ASSERT_NE(area, nullptr);
        EXPECT_EQ(area->objectName(), "QScrollArea");
        EXPECT_EQ(area->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        EXPECT_EQ(area->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        int row = -1, column = -1, rowSpan = -1, columnSpan = -1;
        grid(side)->getItemPosition(grid(side)->indexOf(area), &row, &column, &rowSpan, &columnSpan);
        EXPECT_EQ(std::vector<int>({row, column, rowSpan, columnSpan}), std::vector<int>({0, 0, 2, 1}));
    }
}

TEST_F(Shell, DocksMenusAndEntriesStartAsTheRunNeedsThem)
{
    FenlarkAppUI& ui = *window->ui;
    EXPECT_TRUE(ui.dockWidgetData->isEnabled());
    for (QDockWidget* dock : {ui.dockWidgetProperties, ui.dockWidgetTools, ui.dockWidgetCurves, ui.dockWidgetPreviewMap})
        EXPECT_FALSE(dock->isEnabled()) << dock->objectName().toStdString();
    for (QDockWidget* dock :
         {ui.dockWidgetData, ui.dockWidgetProperties, ui.dockWidgetTools, ui.dockWidgetCurves, ui.dockWidgetPreviewMap})
        EXPECT_FALSE(dock->isHidden()) << dock->objectName().toStdString();
    EXPECT_FALSE(ui.menuCurves->isEnabled());
    for (QAction* action : {ui.actionData_Explorer, ui.actionProperties, ui.actionCurve_Explorer, ui.actionPreview_map,
                            ui.actionTools})
        EXPECT_TRUE(action->isChecked()) << action->objectName().toStdString();
    EXPECT_TRUE(window->tabifiedDockWidgets(ui.dockWidgetData).contains(ui.dockWidgetCurves));
    EXPECT_EQ(window->corner(Qt::TopLeftCorner), Qt::LeftDockWidgetArea);
    EXPECT_EQ(window->corner(Qt::BottomRightCorner), Qt::RightDockWidgetArea);

    EXPECT_EQ(visibleTexts(ui.menuFile->actions()),
              QStringList({"Open", "Remote Data Manager", "Habitat Manager", "-", "-", "Exit"}));
    const QStringList toolBar = visibleTexts(ui.mainToolBar->actions());
    EXPECT_FALSE(toolBar.contains("Local Data Manager"));
    EXPECT_FALSE(toolBar.contains("Curve Manager"));
    EXPECT_TRUE(toolBar.contains("Open"));
    EXPECT_EQ(visibleTexts(ui.menuBar->actions()), QStringList({"File", "View", "Window", "Curves"}));

    // The classification page can neither be seen nor opened.
    const int page = ui.toolBoxTools->indexOf(ui.toolBoxToolsPage5);
    EXPECT_EQ(page, 4);
    EXPECT_FALSE(ui.toolBoxTools->isItemEnabled(page));
    EXPECT_TRUE(ui.toolBoxToolsPage5->isHidden());

    ASSERT_NE(window->previewWidget, nullptr);
    EXPECT_EQ(window->previewWidget->objectName(), "PreviewWidgetMap");
    EXPECT_TRUE(window->previewWidget->hasMouseTracking());
    EXPECT_EQ(ui.scrollAreaMap->widget(), window->previewWidget);
    EXPECT_EQ(ui.scrollAreaMap->backgroundRole(), QPalette::Dark);
    EXPECT_TRUE(window->wmsManager.isModal());
    EXPECT_TRUE(window->wmsManager.isHidden());
}

TEST_F(Shell, DockActionsShowAndHideTheirDocksEvenWhileDisabled)
{
    FenlarkAppUI& ui = *window->ui;
    const std::vector<std::pair<QAction*, QDockWidget*>> pairs{
        {ui.actionData_Explorer, ui.dockWidgetData},     {ui.actionProperties, ui.dockWidgetProperties},
        {ui.actionCurve_Explorer, ui.dockWidgetCurves},  {ui.actionPreview_map, ui.dockWidgetPreviewMap},
        {ui.actionTools, ui.dockWidgetTools},
    };
    for (const auto& [action, dock] : pairs) {
        action->trigger();
        EXPECT_FALSE(action->isChecked());
        EXPECT_TRUE(dock->isHidden()) << dock->objectName().toStdString();
        action->trigger();
        EXPECT_FALSE(dock->isHidden()) << dock->objectName().toStdString();
    }
    // Shown again but still disabled until a data set is shown.
    EXPECT_FALSE(ui.dockWidgetPreviewMap->isEnabled());
}

TEST_F(Shell, DataSetControlsFollowTheActiveSidesDataSet)
{
    FenlarkAppUI& ui = *window->ui;
    // A hidden action always reads disabled; shown, it tells the state the
    // handlers gave it.
    ui.actionCurve_Manager->setVisible(true);
    window->handleCurveMenu();
    window->handlePropertiesMenu();
    window->handleToolMenu();
    EXPECT_FALSE(ui.menuCurves->isEnabled());
    EXPECT_FALSE(ui.actionCurve_Manager->isEnabled());
    EXPECT_FALSE(ui.dockWidgetProperties->isEnabled());
    EXPECT_FALSE(ui.dockWidgetTools->isEnabled());

    showOn(0, addDataSet(ShellTest::makeDataSet(60, 40)));
    window->handleCurveMenu();
    window->handlePropertiesMenu();
    window->handleToolMenu();
    EXPECT_TRUE(ui.menuCurves->isEnabled());
    EXPECT_TRUE(ui.actionCurve_Manager->isEnabled());
    EXPECT_TRUE(ui.dockWidgetProperties->isEnabled());
    EXPECT_TRUE(ui.dockWidgetTools->isEnabled());

    window->setToolDocksEnabled(true);
    for (QDockWidget* dock : {ui.dockWidgetProperties, ui.dockWidgetTools, ui.dockWidgetCurves, ui.dockWidgetPreviewMap})
        EXPECT_TRUE(dock->isEnabled());
}

// The sides start linked only when the defaults hold the number 1.
class LinkSetting : public Shell, public testing::WithParamInterface<std::pair<std::string, bool>> {
protected:
    std::string linkValue() const override { return GetParam().first; }
};

TEST_P(LinkSetting, ChecksTheLinkActionOnlyForTheNumberOne)
{
    EXPECT_EQ(window->ui->actionLink_left_right->isChecked(), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Values, LinkSetting,
                         testing::Values(std::make_pair(std::string("1"), true), std::make_pair(std::string("0"), false),
                                         std::make_pair(std::string(), false),
                                         std::make_pair(std::string("true"), false)),
                         [](const testing::TestParamInfo<std::pair<std::string, bool>>& info) {
                             const std::string& value = info.param.first;
                             return value.empty() ? std::string("missing") : value == "1" ? "one" : value == "0" ? "zero" : value;
                         });

// At the window's start size the preview map's dock shows a whole preview,
// with no scroll bar over it.
TEST_F(Shell, ThePreviewDockFitsAWholePreview)
{
    FenlarkAppUI& ui = *window->ui;
    window->showNormal();
    window->resize(1588, 1020);
    QApplication::processEvents();
    const std::vector<std::vector<std::uint8_t>> planes(3, std::vector<std::uint8_t>(343 * 343, 90));
    window->previewWidget->setImage(planes, 343, 343, 96, 96);
    window->previewWidget->drawViewRect(120, 120, QPoint(0, 0), QPoint(60, 60), QPoint(0, 0));
    QApplication::processEvents();
    EXPECT_GE(ui.scrollAreaMap->viewport()->width(), 343);
    EXPECT_GE(ui.scrollAreaMap->viewport()->height(), 343);
    EXPECT_FALSE(ui.scrollAreaMap->horizontalScrollBar()->isVisible());
    EXPECT_FALSE(ui.scrollAreaMap->verticalScrollBar()->isVisible());
    window->hide();
}
