// Window set-up: the splitter with the two viewer sides, the docks' start
// states, the panels, the preview map, the WMS dialog's wiring and the entries
// that stay hidden; the side styles and the dock slots.

#include <QGridLayout>
#include <QIcon>
#include <QScrollArea>
#include <QSplitter>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QToolBox>

#include "app/FenlarkApp.h"
#include "app/FenlarkAppUI.h"
#include "app/SettingsKeys.h"
#include "app/WidgetUtils.h"
#include "forms/WmsManagerForm.h"
#include "viewers/PreviewWidget.h"
#include "viewers/ViewerWidget.h"

namespace UI {

namespace {

const QString activePageStyle = QStringLiteral("border: 2px solid #81c784;");
const QString activeTabBarStyle = QStringLiteral("color: #43a047;");
const QString inactivePageStyle = QStringLiteral("border: 2px solid #9e9e9e;");
const QString inactiveTabBarStyle = QStringLiteral("color: #9e9e9e;");
const QString tabHeightStyle = QStringLiteral("QTabBar::tab { height: 30px; }");

void styleSide(QTabWidget* tabWidget, const QString& pageStyle, const QString& tabBarStyle)
{
    if (!tabWidget || !tabWidget->currentWidget())
        return;
    tabWidget->currentWidget()->setStyleSheet(pageStyle);
    tabWidget->tabBar()->setStyleSheet(tabBarStyle);
}

} // namespace

void FenlarkApp::setupWindow()
{
    setCorner(Qt::TopLeftCorner, Qt::LeftDockWidgetArea);
    setCorner(Qt::BottomLeftCorner, Qt::LeftDockWidgetArea);
    setCorner(Qt::TopRightCorner, Qt::RightDockWidgetArea);
    setCorner(Qt::BottomRightCorner, Qt::RightDockWidgetArea);
    show();

    ui->splitter = new QSplitter(Qt::Horizontal);
    ui->splitter->setChildrenCollapsible(false);
    ui->leftTabWidget = new QTabWidget(ui->centralWidget);
    ui->leftTabWidget->setObjectName(QString::fromLatin1(Keys::leftTabWidget));
    ui->rightTabWidget = new QTabWidget(ui->centralWidget);
    ui->rightTabWidget->setObjectName(QString::fromLatin1(Keys::rightTabWidget));
    ui->splitter->addWidget(ui->leftTabWidget);
    ui->splitter->addWidget(ui->rightTabWidget);
    ui->splitter->setSizes({1, 1});
    ui->centralWidget->layout()->addWidget(ui->splitter);

    viewers.clear();
    viewers.resize(2);
    addViewerTab(tr("No data loaded"), ui->leftTabWidget, 0);
    addViewerTab(tr("No data loaded"), ui->rightTabWidget, 1);
    ui->rightTabWidget->hide();

    tabifyDockWidget(ui->dockWidgetData, ui->dockWidgetCurves);
    ui->dockWidgetData->raise();

    setActiveTabWidget(0);
    setOtherTabWidget(1);

    setToolDocksEnabled(false);
    ui->menuCurves->setEnabled(false);

    for (QAction* action : {ui->actionData_Explorer, ui->actionProperties, ui->actionCurve_Explorer,
                            ui->actionPreview_map, ui->actionTools})
        action->setChecked(true);

    // The sides start linked only for the number 1 ("true" is no number).
    bool isNumber = false;
    const int link = sessionConfig->value(QString::fromLatin1(Keys::globalLinkWidgets), 0).toString().toInt(&isNumber);
    if (isNumber && link == 1)
        ui->actionLink_left_right->setChecked(true);

    initDataExplorer();
    initCurvesExplorer();
    initPropertiesPanel();
    initFiltrationTools();
    initSemiSegmentationTools();
    initAutoSegmentationTools();
    initRMExplorer();

    previewWidget = new PreviewWidget(nullptr);
    previewWidget->setObjectName(QStringLiteral("PreviewWidgetMap"));
    previewWidget->setMouseTracking(true);
    previewWidget->installEventFilter(this);
    ui->scrollAreaMap->setWidget(previewWidget);
    ui->scrollAreaMap->setBackgroundRole(QPalette::Dark);
    // The dock is at least as wide as a whole preview of the default size,
    // so no scroll bar hides part of it at the window's start size.
    ui->scrollAreaMap->setMinimumWidth(IO::File::defaultPreviewSize);

    wmsManager.setModal(true);
    connect(wmsManager.ui->pushButtonLoad, &QPushButton::clicked, this, &FenlarkApp::wmsManager_load);

    // Entry points kept out of reach for the whole run; what lies behind
    // them stays part of the program.
    ui->actionCurve_Manager->setVisible(false);
    ui->actionLocal_Loader->setVisible(false);
    ui->menuHelp->menuAction()->setVisible(false);
    ui->menuOrthoMosaic->menuAction()->setVisible(false);
    // A tool box page cannot be hidden on its own: the page widget is hidden
    // and its item disabled, so neither its title nor its contents respond.
    const int classificationPage = ui->toolBoxTools->indexOf(ui->toolBoxToolsPage5);
    ui->toolBoxToolsPage5->setVisible(false);
    ui->toolBoxTools->setItemEnabled(classificationPage, false);
}

void FenlarkApp::addViewerTab(const QString& text, QTabWidget* tabWidget, int side)
{
    connect(tabWidget, &QTabWidget::tabBarClicked, this, &FenlarkApp::tabBarTabWidget_clicked);

    auto* page = new QWidget(tabWidget);
    auto* grid = new QGridLayout(page);
    tabWidget->setStyleSheet(tabHeightStyle);
    tabWidget->addTab(page, text);
    tabWidget->tabBar()->setEnabled(false);

    const QString mainName = QString::fromLatin1(Keys::viewerWidgetMain);
    createViewer(0, 0, mainName, side);
    placeViewer(viewers[side].value(mainName), grid, 2, 1);

    if (side == 0) {
        auto* button = new QToolButton(tabWidget);
        button->setIcon(QIcon(QStringLiteral(":/FenlarkApp/icons/plus-line.png")));
        button->setStyleSheet(QStringLiteral("background-color: #FFFFFF;"));
        connect(button, &QToolButton::clicked, this, &FenlarkApp::toolButtonTabWidget_clicked);
        rightSideButton_ = button;
        const int plusTab = tabWidget->addTab(new QWidget(tabWidget), QString());
        tabWidget->setTabEnabled(plusTab, false);
        tabWidget->tabBar()->setTabButton(plusTab, QTabBar::RightSide, button);
    }
}

void FenlarkApp::setActiveTabWidget(int side)
{
    ui->activeSide = side;
    styleSide(ui->activeSide != 0 ? ui->rightTabWidget : ui->leftTabWidget, activePageStyle, activeTabBarStyle);
}

void FenlarkApp::setOtherTabWidget(int side)
{
    ui->otherSide = side;
    // The styled side follows activeSide: callers pass the side that is not
    // active.
    styleSide(ui->activeSide != 0 ? ui->leftTabWidget : ui->rightTabWidget, inactivePageStyle, inactiveTabBarStyle);
}

void FenlarkApp::setToolDocksEnabled(bool enabled)
{
    for (QWidget* dock : {static_cast<QWidget*>(ui->dockWidgetProperties), static_cast<QWidget*>(ui->dockWidgetTools),
                          static_cast<QWidget*>(ui->dockWidgetCurves), static_cast<QWidget*>(ui->dockWidgetPreviewMap)})
        dock->setEnabled(enabled);
}

void FenlarkApp::on_actionData_Explorer_triggered()
{
    setWidgetVisibleByAction(ui->actionData_Explorer, ui->dockWidgetData);
}

void FenlarkApp::on_actionProperties_triggered()
{
    setWidgetVisibleByAction(ui->actionProperties, ui->dockWidgetProperties);
}

void FenlarkApp::on_actionCurve_Explorer_triggered()
{
    setWidgetVisibleByAction(ui->actionCurve_Explorer, ui->dockWidgetCurves);
}

void FenlarkApp::on_actionPreview_map_triggered()
{
    setWidgetVisibleByAction(ui->actionPreview_map, ui->dockWidgetPreviewMap);
}

void FenlarkApp::on_actionTools_triggered()
{
    setWidgetVisibleByAction(ui->actionTools, ui->dockWidgetTools);
}

void FenlarkApp::handleCurveMenu()
{
    const bool shown = activeSideShowsData();
    ui->menuCurves->setEnabled(shown);
    ui->actionCurve_Manager->setEnabled(shown);
}

void FenlarkApp::handlePropertiesMenu()
{
    ui->dockWidgetProperties->setEnabled(activeSideShowsData());
}

void FenlarkApp::handleToolMenu()
{
    ui->dockWidgetTools->setEnabled(activeSideShowsData());
}

} // namespace UI
