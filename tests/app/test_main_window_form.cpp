// The main window's Designer form: every object name that code looks up,
// the actions with their texts, flags, icons and placement, the menus, the
// tool bar, the docks and the tool-box pages.

#include <QAction>
#include <QDockWidget>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QToolBar>
#include <QToolBox>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include "app/FenlarkApp.h"
#include "app/FenlarkAppUI.h"
#include "resources/Resources.h"
#include "test_main_window_support.h"

using namespace MainWindowTest;

namespace {

class MainWindowForm : public testing::Test {
protected:
    static void SetUpTestSuite() { Fenlark::initResources(); }

    void SetUp() override
    {
        TestSupport::writeFile((cwd.path() / "default_config.ini").string(), defaultConfigText());
        window = std::make_unique<UI::FenlarkApp>();
        ui = window->ui;
    }

    void TearDown() override { window.reset(); }

    TestSupport::ScopedWorkingDirectory cwd;
    std::unique_ptr<UI::FenlarkApp> window;
    FenlarkAppUI* ui = nullptr;
};

// Object names of the items of a menu or tool bar, "-" for a separator and
// the menu's object name for a submenu.
QStringList itemNames(const QList<QAction*>& actions)
{
    QStringList names;
    for (QAction* action : actions) {
        if (action->isSeparator())
            names << "-";
        else if (action->menu())
            names << action->menu()->objectName();
        else
            names << action->objectName();
    }
    return names;
}

QStringList headerTexts(QTreeWidget* tree)
{
    QStringList texts;
    for (int c = 0; c < tree->columnCount(); ++c)
        texts << tree->headerItem()->text(c);
    return texts;
}

struct ActionRow {
    const char* name;
    const char* text;
    const char* shortcut;
    bool checkable;
    bool enabled;
    const char* icon;  // file under ":/FenlarkApp/icons/", "" for none
};

const ActionRow actionTable[] = {
    {"actionOpen", "Open", "Ctrl+O", false, true, "add-files.png"},
    {"actionExit", "Exit", "", false, true, ""},
    {"actionClose_all_files", "Close all files", "", false, true, ""},
    {"actionData_Explorer", "Data Explorer", "", true, true, "multiple-layers.png"},
    {"actionProperties", "Properties", "", true, true, "multiple-files-processing.png"},
    {"actionZoom_in", "Zoom in", "", false, true, "search-zoom.png"},
    {"actionZoom_out", "Zoom out", "", false, true, "search-minus.png"},
    {"actionLink_left_right", "Link left <-> right", "", true, true, "link.png"},
    {"actionCurve_Explorer", "Curve Explorer", "", true, true, "autosegm.svg"},
    {"actionLoad_curves", "Load curves", "", false, true, ""},
    {"actionShow_All", "Show All", "", false, true, ""},
    {"actionHide_All", "Hide All", "", false, true, ""},
    {"actionSave_All_CurveSets", "Save All curve sets", "", false, true, ""},
    {"actionSave_Main_curve", "Save Main curve", "", false, true, ""},
    {"actionSave_All_curves", "Save All curves", "", false, true, ""},
    {"actionSave_curve", "Save curve", "", false, true, ""},
    {"actionCircle", "Circle", "", false, true, ""},
    {"actionSquare", "Square", "", false, true, ""},
    {"actionRemote_Data_Manager", "Remote Data Manager", "", false, true, "globe-icon.webp"},
    {"actionHabitat_Manager", "Habitat Manager", "", false, true, "forest-tree-icon.webp"},
    {"actionLocal_Loader", "Local Data Manager", "", false, true, "localLoader.png"},
    {"actionPreview_map", "Preview map", "", true, true, "image-line-icon.svg"},
    {"actionTools", "Tools", "", true, true, "toolbox-repairing-icon.svg"},
    {"actionSave_session", "Save session", "", false, false, ""},
    {"actionLoad_session", "Load session", "", false, false, ""},
    {"actionCurve_Manager", "Curve Manager", "", false, false, "database-line-icon.png"},
    {"actionUndo", "Undo", "Ctrl+Z", false, false, ""},
    {"actionSemi_automatic", "Semi-automatic", "", false, true, ""},
    {"action_Ortho_Load_files", "Load files", "", false, false, ""},
    {"action_Ortho_Data_Manager", "Data Manager", "", false, true, ""},
};

} // namespace

TEST_F(MainWindowForm, WindowTitleSizeFontAndIcon)
{
    EXPECT_EQ(window->objectName(), "FenlarkAppClass");
    EXPECT_EQ(window->windowTitle(), "Fenlark - Quillmere v2.1.4");
    EXPECT_EQ(window->font().family(), "Calibri");
    EXPECT_EQ(window->font().pointSize(), 8);
    EXPECT_EQ(window->font().weight(), QFont::Normal);
    EXPECT_FALSE(window->windowIcon().isNull());
    EXPECT_EQ(ui->menuBar->geometry(), QRect(0, 0, 1588, 20));
    EXPECT_EQ(window->menuBar(), ui->menuBar);
    EXPECT_EQ(window->statusBar(), ui->statusBar);
    EXPECT_EQ(window->centralWidget(), ui->centralWidget);
    EXPECT_EQ(ui->centralWidget->layout(), ui->gridLayout);
    EXPECT_EQ(ui->gridLayout->count(), 0) << "filled by the window set-up";
    EXPECT_EQ(ui->gridLayout->spacing(), 6);
    EXPECT_EQ(window->toolBarArea(ui->mainToolBar), Qt::TopToolBarArea);
}

TEST_F(MainWindowForm, ActionsInCreationOrderWithTextsFlagsAndIcons)
{
    const QList<QAction*> actions = window->findChildren<QAction*>(QString(), Qt::FindDirectChildrenOnly);
    QStringList created;
    for (QAction* action : actions)
        if (action->objectName().startsWith("action"))
            created << action->objectName();
    QStringList expected;
    for (const ActionRow& row : actionTable)
        expected << row.name;
    EXPECT_EQ(created, expected);

    for (const ActionRow& row : actionTable) {
        SCOPED_TRACE(row.name);
        auto* action = window->findChild<QAction*>(row.name);
        ASSERT_NE(action, nullptr);
        EXPECT_EQ(action->parent(), window.get());
        EXPECT_EQ(action->text(), row.text);
        EXPECT_EQ(action->shortcut(), QKeySequence(row.shortcut));
        EXPECT_EQ(action->isCheckable(), row.checkable);
        EXPECT_EQ(action->isEnabled(), row.enabled);
        EXPECT_FALSE(action->isChecked());
        if (*row.icon) {
            const QString file = QString(":/FenlarkApp/icons/") + row.icon;
            EXPECT_FALSE(QImage(file).isNull()) << "icon resource " << file.toStdString() << " does not load";
            EXPECT_FALSE(action->icon().pixmap(16, 16).isNull());
        } else {
            EXPECT_TRUE(action->icon().isNull());
        }
    }
}

TEST_F(MainWindowForm, MenusAndToolBarHoldTheirItemsInOrder)
{
    EXPECT_EQ(itemNames(ui->menuBar->actions()),
              (QStringList{"menuFile", "menuView", "menuWindow", "menuCurves", "menuHelp", "menuOrthoMosaic"}));
    EXPECT_EQ(ui->menuFile->title(), "File");
    EXPECT_EQ(ui->menuView->title(), "View");
    EXPECT_EQ(ui->menuWindow->title(), "Window");
    EXPECT_EQ(ui->menuCurves->title(), "Curves");
    EXPECT_EQ(ui->menuNew->title(), "New");
    EXPECT_EQ(ui->menuHelp->title(), "Help");
    EXPECT_EQ(ui->menuOrthoMosaic->title(), "OrthoMosaic");

    EXPECT_EQ(itemNames(ui->menuFile->actions()),
              (QStringList{"actionOpen", "actionRemote_Data_Manager", "actionLocal_Loader", "actionHabitat_Manager",
                           "actionCurve_Manager", "-", "-", "actionExit"}));
    EXPECT_EQ(itemNames(ui->menuView->actions()),
              (QStringList{"actionData_Explorer", "actionProperties", "actionCurve_Explorer", "actionPreview_map",
                           "actionTools", "-", "actionZoom_in", "actionZoom_out"}));
    EXPECT_EQ(itemNames(ui->menuWindow->actions()), (QStringList{"actionLink_left_right"}));
    EXPECT_EQ(itemNames(ui->menuCurves->actions()),
              (QStringList{"menuNew", "actionUndo", "-", "actionLoad_curves", "-", "actionShow_All",
                           "actionHide_All", "-", "actionSave_All_CurveSets", "-"}));
    EXPECT_EQ(itemNames(ui->menuNew->actions()),
              (QStringList{"actionSemi_automatic", "actionCircle", "actionSquare"}));
    EXPECT_EQ(itemNames(ui->menuOrthoMosaic->actions()),
              (QStringList{"action_Ortho_Load_files", "action_Ortho_Data_Manager"}));
    EXPECT_EQ(itemNames(ui->mainToolBar->actions()),
              (QStringList{"actionOpen", "actionRemote_Data_Manager", "actionLocal_Loader", "actionHabitat_Manager",
                           "actionCurve_Manager", "-", "actionData_Explorer", "actionProperties",
                           "actionCurve_Explorer", "actionPreview_map", "actionTools", "-", "actionZoom_in",
                           "actionZoom_out", "-", "actionLink_left_right", "-"}));

    EXPECT_EQ(ui->menuNew->parent(), ui->menuCurves);
    EXPECT_FALSE(ui->menuNew->isEnabled());
    EXPECT_FALSE(ui->menuHelp->isEnabled());
    EXPECT_TRUE(ui->menuHelp->actions().isEmpty());

    // Actions that no menu or tool bar shows.
    for (QAction* action : {ui->actionClose_all_files, ui->actionSave_Main_curve, ui->actionSave_All_curves,
                            ui->actionSave_curve, ui->actionSave_session, ui->actionLoad_session})
        EXPECT_TRUE(action->associatedObjects().isEmpty()) << action->objectName().toStdString();
}

TEST_F(MainWindowForm, DocksWithAreasFeaturesAndContents)
{
    struct DockRow {
        QDockWidget* dock;
        const char* name;
        const char* title;
        Qt::DockWidgetArea area;
        Qt::DockWidgetAreas allowed;
        const char* contents;
        const char* layout;
    };
    const DockRow docks[] = {
        {ui->dockWidgetData, "dockWidgetData", "Data Explorer", Qt::LeftDockWidgetArea,
         Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea, "dockWidgetContents", "verticalLayout"},
        {ui->dockWidgetProperties, "dockWidgetProperties", "Properties", Qt::LeftDockWidgetArea,
         Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea, "dockWidgetContents_2", "verticalLayout_2"},
        {ui->dockWidgetTools, "dockWidgetTools", "Tools", Qt::RightDockWidgetArea, Qt::AllDockWidgetAreas,
         "dockWidgetContents_3", "horizontalLayout"},
        {ui->dockWidgetPreviewMap, "dockWidgetPreviewMap", "Preview map", Qt::LeftDockWidgetArea,
         Qt::AllDockWidgetAreas, "dockWidgetContents_4", "horizontalLayout_2"},
        {ui->dockWidgetCurves, "dockWidgetCurves", "Curves explorer", Qt::LeftDockWidgetArea, Qt::AllDockWidgetAreas,
         "dockWidgetContents_5", "horizontalLayout_3"},
    };
    QStringList created;
    for (QDockWidget* dock : window->findChildren<QDockWidget*>(QString(), Qt::FindDirectChildrenOnly))
        created << dock->objectName();
    EXPECT_EQ(created, (QStringList{"dockWidgetData", "dockWidgetProperties", "dockWidgetTools",
                                    "dockWidgetPreviewMap", "dockWidgetCurves"}));
    for (const DockRow& row : docks) {
        SCOPED_TRACE(row.name);
        ASSERT_NE(row.dock, nullptr);
        EXPECT_EQ(row.dock->objectName(), row.name);
        EXPECT_EQ(row.dock->windowTitle(), row.title);
        EXPECT_EQ(window->dockWidgetArea(row.dock), row.area);
        EXPECT_EQ(row.dock->allowedAreas(), row.allowed);
        EXPECT_EQ(row.dock->features(), QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
        ASSERT_NE(row.dock->widget(), nullptr);
        EXPECT_EQ(row.dock->widget()->objectName(), row.contents);
        ASSERT_NE(row.dock->widget()->layout(), nullptr);
        EXPECT_EQ(row.dock->widget()->layout()->objectName(), row.layout);
        EXPECT_EQ(row.dock->widget()->layout()->spacing(), 6);
        EXPECT_EQ(row.dock->widget()->layout()->contentsMargins(), QMargins(11, 11, 11, 11));
    }
    EXPECT_FALSE(ui->dockWidgetData->windowIcon().isNull());
    EXPECT_FALSE(ui->dockWidgetTools->windowIcon().isNull());
    EXPECT_EQ(ui->dockWidgetPreviewMap->maximumHeight(), 400);
    EXPECT_EQ(ui->scrollAreaMap->minimumHeight(), 360);
    EXPECT_EQ(ui->scrollAreaMap->maximumHeight(), 360);
    EXPECT_EQ(ui->scrollAreaMap->frameShape(), QFrame::NoFrame);
    EXPECT_TRUE(ui->scrollAreaMap->widgetResizable());
    EXPECT_EQ(ui->scrollAreaMap->widget(), ui->scrollAreaWidgetContents);
}

TEST_F(MainWindowForm, TreesHaveTheirHeadersAndEditingRules)
{
    struct TreeRow {
        QTreeWidget* tree;
        QStringList headers;
        int indentation;
        bool editable;
        QAbstractItemView::SelectionMode selection;
        bool wordWrap;
    };
    const auto single = QAbstractItemView::SingleSelection;
    const auto extended = QAbstractItemView::ExtendedSelection;
    const TreeRow trees[] = {
        {ui->treeWidgetDataExplorer, {"", "File name"}, 0, false, extended, false},
        {ui->treeWidgetProperties, {"Label", "Options"}, 9, false, single, false},
        {ui->treeWidgetFiltration, {"Label", "Options"}, 9, false, single, true},
        {ui->treeWidgetSemiSegm, {"Label", "Options"}, 9, false, single, true},
        {ui->treeWidgetAutoSegm, {"Label", "Options"}, 9, false, single, true},
        {ui->treeWidgetMonitoring, {"Label", "Options"}, QTreeWidget().indentation(), true, single, false},
        {ui->treeWidgetRMExplorer, {"", "Map name", "Network name"}, 0, false, extended, false},
        {ui->treeWidgetCurvesExplorer, {"", "", "", "Name", "Type"}, 9, false, extended, false},
    };
    for (const TreeRow& row : trees) {
        SCOPED_TRACE(row.tree->objectName().toStdString());
        EXPECT_EQ(headerTexts(row.tree), row.headers);
        EXPECT_EQ(row.tree->indentation(), row.indentation);
        EXPECT_EQ(row.tree->editTriggers() != QAbstractItemView::NoEditTriggers, row.editable);
        EXPECT_EQ(row.tree->selectionMode(), row.selection);
        EXPECT_EQ(row.tree->wordWrap(), row.wordWrap);
        EXPECT_EQ(row.tree->topLevelItemCount(), 0);
    }
    EXPECT_EQ(ui->treeWidgetCurvesExplorer->dragDropMode(), QAbstractItemView::NoDragDrop);
}

TEST_F(MainWindowForm, ToolBoxPagesAndTheirControls)
{
    QToolBox* box = ui->toolBoxTools;
    ASSERT_EQ(box->count(), 5);
    const char* pages[][2] = {{"toolBoxToolsPage1", "Filtering"},
                              {"toolBoxToolsPage2", "Semi-automatic segmentation"},
                              {"toolBoxToolsPage3", "Automatic segmentation"},
                              {"toolBoxToolsPage4", "Monitoring"},
                              {"toolBoxToolsPage5", "Classification"}};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(box->widget(i)->objectName(), pages[i][0]);
        EXPECT_EQ(box->itemText(i), pages[i][1]);
    }
    EXPECT_EQ(box->layout()->spacing(), 3);
    EXPECT_EQ(box->currentIndex(), 0);
    for (QWidget* page : {ui->toolBoxToolsPage1, ui->toolBoxToolsPage2, ui->toolBoxToolsPage3,
                          ui->toolBoxToolsPage5}) {
        EXPECT_EQ(page->layout()->spacing(), 0) << page->objectName().toStdString();
        EXPECT_EQ(page->layout()->contentsMargins(), QMargins(0, 0, 0, 0));
    }
    EXPECT_EQ(ui->toolBoxToolsPage4->layout(), ui->gridLayout_3);

    // Buttons with their texts and grid cells.
    struct Cell {
        QGridLayout* grid;
        QWidget* widget;
        const char* text;
        int row, column, columnSpan;
    };
    const Cell cells[] = {
        {ui->lazout_2, ui->pushButtonSemiSegmNew, "New", 0, 0, 1},
        {ui->lazout_2, ui->pushButtonSemiSegmContinue, "Continue", 0, 1, 1},
        {ui->lazout_3, ui->pushButtonAutoInitSquare, "Init square", 0, 1, 1},
        {ui->lazout_3, ui->pushButtonAutoInitCircle, "Init circle", 0, 0, 1},
        {ui->lazout_3, ui->pushButtonAutoInitPolygon, "Init polygon", 1, 0, 1},
        {ui->lazout_3, ui->pushButtonAutoEvolve, "Evolve", 1, 1, 1},
        {ui->gridLayout_4, ui->pushButtonShowStatistics, "Show Statistics", 0, 0, 2},
        {ui->gridLayout_4, ui->line, "", 1, 0, 2},
        {ui->gridLayout_4, ui->label, "File:", 2, 0, 1},
        {ui->gridLayout_4, ui->comboBoxStatsDiffFile1, "", 2, 1, 1},
        {ui->gridLayout_4, ui->label_2, "File:", 3, 0, 1},
        {ui->gridLayout_4, ui->comboBoxStatsDiffFile2, "", 3, 1, 1},
        {ui->gridLayout_4, ui->pushButtonShowStatisticsDiff, "Show Statistics differences", 4, 1, 1},
        {ui->gridLayout_4, ui->line_2, "", 5, 0, 2},
        {ui->gridLayout_4, ui->label_3, "File:", 6, 0, 1},
        {ui->gridLayout_4, ui->comboBoxStatsAreaDiffFile1, "", 6, 1, 1},
        {ui->gridLayout_4, ui->label_4, "Curve:", 7, 0, 1},
        {ui->gridLayout_4, ui->comboBoxStatsAreaDiffCurve1, "", 7, 1, 1},
        {ui->gridLayout_4, ui->label_8, "File:", 8, 0, 1},
        {ui->gridLayout_4, ui->comboBoxStatsAreaDiffFile2, "", 8, 1, 1},
        {ui->gridLayout_4, ui->label_9, "Curve:", 9, 0, 1},
        {ui->gridLayout_4, ui->comboBoxStatsAreaDiffCurve2, "", 9, 1, 1},
        {ui->gridLayout_4, ui->pushButtonAreaMonitoring, "Area Monitoring", 10, 1, 1},
        {ui->gridLayout_2, ui->label_10, "Network:", 2, 0, 1},
        {ui->gridLayout_2, ui->lineEditNetwork, "", 2, 1, 2},
        {ui->gridLayout_2, ui->pushButtonChangeNetwork, "Network Explorer", 3, 1, 2},
        {ui->gridLayout_2, ui->line_4, "", 5, 0, 3},
        {ui->gridLayout_2, ui->pushButtonClassifiArea, "Classification of area", 7, 0, 3},
        {ui->gridLayout_2, ui->line_3, "", 8, 0, 3},
        {ui->gridLayout_2, ui->label_6, "Size of relevancy maps:", 9, 0, 2},
        {ui->gridLayout_2, ui->spinBoxRMWidth, "", 9, 2, 1},
        {ui->gridLayout_2, ui->pushButtonCreateRM, "Create relevancy maps", 10, 0, 3},
        {ui->gridLayout_2, ui->label_7, "Relevancy map Explorer", 11, 0, 3},
        {ui->gridLayout_2, ui->pushButtonRMFeatureShow, "Show relevancy map", 12, 0, 3},
    };
    for (const Cell& cell : cells) {
        ASSERT_NE(cell.widget, nullptr);
        SCOPED_TRACE(cell.widget->objectName().toStdString());
        const int index = cell.grid->indexOf(cell.widget);
        ASSERT_GE(index, 0);
        int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
        cell.grid->getItemPosition(index, &row, &column, &rowSpan, &columnSpan);
        EXPECT_EQ(row, cell.row);
        EXPECT_EQ(column, cell.column);
        EXPECT_EQ(columnSpan, cell.columnSpan);
        if (auto* button = qobject_cast<QAbstractButton*>(cell.widget)) {
            EXPECT_EQ(button->text(), cell.text);
        }
        if (auto* label = qobject_cast<QLabel*>(cell.widget)) {
            EXPECT_EQ(label->text(), cell.text);
        }
        if (auto* frame = qobject_cast<QFrame*>(cell.widget); frame && cell.widget->objectName().startsWith("line")) {
            EXPECT_EQ(frame->frameShape(), QFrame::HLine);
            EXPECT_EQ(frame->frameShadow(), QFrame::Sunken);
        }
    }
    EXPECT_EQ(ui->groupBox->title(), "Controls");
    EXPECT_EQ(ui->groupBox_2->title(), "Controls");
    EXPECT_EQ(ui->groupBox_4->title(), "Controls");
    EXPECT_EQ(ui->groupBox_3->title(), "Type of classification:");
    EXPECT_FALSE(ui->pushButtonRMFeatureShow->icon().isNull());

    EXPECT_EQ(ui->spinBoxRMWidth->minimum(), 12);
    EXPECT_EQ(ui->spinBoxRMWidth->maximum(), 2004);
    EXPECT_EQ(ui->spinBoxRMWidth->singleStep(), 12);
    EXPECT_EQ(ui->spinBoxRMWidth->value(), 504);
    ui->spinBoxRMWidth->stepUp();
    EXPECT_EQ(ui->spinBoxRMWidth->value(), 516);
}

TEST_F(MainWindowForm, EveryNamedObjectExistsUnderItsPointer)
{
    // The names other parts of the program look up or connect by name.
    const std::pair<QObject*, const char*> named[] = {
        {ui->centralWidget, "centralWidget"}, {ui->gridLayout, "gridLayout"}, {ui->menuBar, "menuBar"},
        {ui->menuFile, "menuFile"}, {ui->menuView, "menuView"}, {ui->menuWindow, "menuWindow"},
        {ui->menuCurves, "menuCurves"}, {ui->menuNew, "menuNew"}, {ui->menuHelp, "menuHelp"},
        {ui->menuOrthoMosaic, "menuOrthoMosaic"}, {ui->mainToolBar, "mainToolBar"}, {ui->statusBar, "statusBar"},
        {ui->treeWidgetDataExplorer, "treeWidgetDataExplorer"}, {ui->treeWidgetProperties, "treeWidgetProperties"},
        {ui->toolBoxTools, "toolBoxTools"}, {ui->treeWidgetFiltration, "treeWidgetFiltration"},
        {ui->verticalLayout_3, "verticalLayout_3"}, {ui->verticalLayout_4, "verticalLayout_4"},
        {ui->verticalLayout_5, "verticalLayout_5"}, {ui->verticalLayout_6, "verticalLayout_6"},
        {ui->groupBox, "groupBox"}, {ui->lazout_2, "lazout_2"}, {ui->groupBox_2, "groupBox_2"},
        {ui->lazout_3, "lazout_3"}, {ui->treeWidgetSemiSegm, "treeWidgetSemiSegm"},
        {ui->treeWidgetAutoSegm, "treeWidgetAutoSegm"}, {ui->gridLayout_3, "gridLayout_3"},
        {ui->groupBox_4, "groupBox_4"}, {ui->gridLayout_4, "gridLayout_4"},
        {ui->treeWidgetMonitoring, "treeWidgetMonitoring"}, {ui->groupBox_3, "groupBox_3"},
        {ui->gridLayout_2, "gridLayout_2"}, {ui->treeWidgetRMExplorer, "treeWidgetRMExplorer"},
        {ui->scrollAreaMap, "scrollAreaMap"}, {ui->scrollAreaWidgetContents, "scrollAreaWidgetContents"},
        {ui->treeWidgetCurvesExplorer, "treeWidgetCurvesExplorer"},
        {ui->pushButtonSemiSegmNew, "pushButtonSemiSegmNew"},
        {ui->pushButtonSemiSegmContinue, "pushButtonSemiSegmContinue"},
        {ui->pushButtonAutoInitSquare, "pushButtonAutoInitSquare"},
        {ui->pushButtonAutoInitCircle, "pushButtonAutoInitCircle"},
        {ui->pushButtonAutoInitPolygon, "pushButtonAutoInitPolygon"},
        {ui->pushButtonAutoEvolve, "pushButtonAutoEvolve"},
        {ui->pushButtonShowStatistics, "pushButtonShowStatistics"},
        {ui->pushButtonShowStatisticsDiff, "pushButtonShowStatisticsDiff"},
        {ui->pushButtonAreaMonitoring, "pushButtonAreaMonitoring"},
        {ui->comboBoxStatsDiffFile1, "comboBoxStatsDiffFile1"}, {ui->comboBoxStatsDiffFile2, "comboBoxStatsDiffFile2"},
        {ui->comboBoxStatsAreaDiffFile1, "comboBoxStatsAreaDiffFile1"},
        {ui->comboBoxStatsAreaDiffFile2, "comboBoxStatsAreaDiffFile2"},
        {ui->comboBoxStatsAreaDiffCurve1, "comboBoxStatsAreaDiffCurve1"},
        {ui->comboBoxStatsAreaDiffCurve2, "comboBoxStatsAreaDiffCurve2"},
        {ui->spinBoxRMWidth, "spinBoxRMWidth"}, {ui->lineEditNetwork, "lineEditNetwork"},
        {ui->pushButtonRMFeatureShow, "pushButtonRMFeatureShow"}, {ui->pushButtonCreateRM, "pushButtonCreateRM"},
        {ui->pushButtonChangeNetwork, "pushButtonChangeNetwork"},
        {ui->pushButtonClassifiArea, "pushButtonClassifiArea"},
    };
    for (const auto& [object, name] : named) {
        ASSERT_NE(object, nullptr) << name;
        EXPECT_EQ(object->objectName(), name);
        if (object->isWidgetType()) {
            EXPECT_EQ(window->findChild<QWidget*>(name), object) << name;
        }
    }
    // The group box children sit where the pages expect them.
    EXPECT_EQ(ui->pushButtonSemiSegmNew->parentWidget(), ui->groupBox);
    EXPECT_EQ(ui->pushButtonAutoEvolve->parentWidget(), ui->groupBox_2);
    EXPECT_EQ(ui->pushButtonAreaMonitoring->parentWidget(), ui->groupBox_4);
    EXPECT_EQ(ui->spinBoxRMWidth->parentWidget(), ui->groupBox_3);
    EXPECT_EQ(ui->treeWidgetRMExplorer->parentWidget(), ui->toolBoxToolsPage5);
}
