// The two viewer sides: switching the active side, opening and closing the
// right side with what they copy, restore and redraw.

#include <QDockWidget>
#include <QGridLayout>
#include <QIcon>
#include <QMenu>
#include <QScrollArea>
#include <QSettings>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>

#include "app/FenlarkApp.h"
#include "app/FenlarkAppUI.h"
#include "app/SettingsKeys.h"
#include "io/File.h"
#include "viewers/PreviewWidget.h"
#include "viewers/ViewerWidget.h"

namespace UI {

namespace {

const QString sideDataType = QStringLiteral("Sentinel-2 satellite image");

QGridLayout* firstPageGrid(QTabWidget* tabs)
{
    if (!tabs || tabs->count() == 0 || !tabs->widget(0))
        return nullptr;
    return qobject_cast<QGridLayout*>(tabs->widget(0)->layout());
}

QWidget* widgetAt(QGridLayout* grid, int row, int column)
{
    QLayoutItem* item = grid->itemAtPosition(row, column);
    return item ? item->widget() : nullptr;
}

void placeInGrid(QGridLayout* grid, QWidget* widget, int row, int column, int rowSpan, int columnSpan)
{
    grid->removeWidget(widget);
    grid->addWidget(widget, row, column, rowSpan, columnSpan);
    if (auto* area = qobject_cast<QScrollArea*>(widget)) {
        if (auto* viewer = qobject_cast<ViewerWidget*>(area->widget())) {
            viewer->row = row;
            viewer->column = column;
        }
    }
}

// With one side open a tools viewer stands beside the main viewer (both
// 2 x 1); with two sides open each side stacks them (both 1 x 2).
void arrangeSideViewers(QTabWidget* tabs, bool stacked)
{
    QGridLayout* grid = firstPageGrid(tabs);
    if (!grid)
        return;
    QWidget* main = widgetAt(grid, 0, 0);
    if (!main)
        return;
    if (stacked) {
        QWidget* tools = widgetAt(grid, 0, 1);
        if (!tools || tools == main)
            return;
        placeInGrid(grid, main, 0, 0, 1, 2);
        placeInGrid(grid, tools, 1, 0, 1, 2);
    } else {
        QWidget* tools = widgetAt(grid, 1, 0);
        if (!tools || tools == main || widgetAt(grid, 0, 1) != main)
            return;
        placeInGrid(grid, main, 0, 0, 2, 1);
        placeInGrid(grid, tools, 0, 1, 2, 1);
    }
}

} // namespace

void FenlarkApp::tabBarTabWidget_clicked(int)
{
    QObject* source = sender();
    // A mode's work stays on its side until the mode ends.
    const bool wouldSwitch = (source == ui->leftTabWidget && ui->activeSide != 0)
        || (source == ui->rightTabWidget && ui->activeSide == 0);
    if (wouldSwitch && interactionHeld())
        return;
    bool switched = false;
    if (source == ui->leftTabWidget && ui->activeSide != 0) {
        setActiveTabWidget(0);
        setOtherTabWidget(1);
        restoreTabState(0);
        switched = true;
    } else if (source == ui->rightTabWidget && ui->activeSide == 0) {
        setActiveTabWidget(1);
        setOtherTabWidget(0);
        restoreTabState(1);
        switched = true;
    }

    IO::File* file = getDataFile(ui->activeSide);
    if (!file) {
        if (previewWidget)
            previewWidget->clear();
    } else {
        showPreview();
        updatePreviewRect(viewers[ui->activeSide].value(QString::fromLatin1(Keys::viewerWidgetMain)));
        refreshAllViewers();
    }

    if (switched) {
        setCurvesExplorer(getCurveExplorerIndex(ui->activeSide));
        setRMExplorer(getRMExplorerIndex(ui->activeSide));
        if (file && QString::fromStdString(file->dataType) == sideDataType) {
            loadHabitatPlotFiles(ui->activeSide == 0 ? ui->leftDataIndex : ui->rightDataIndex);
            refreshAllViewers();
        }
    }
    handlePropertiesMenu();
    handleToolMenu();
    handleCurveMenu();
}

void FenlarkApp::toolButtonTabWidget_clicked()
{
    // A mode's work, and the data set it reads, stay on their side until
    // the mode ends: the right side neither opens nor closes meanwhile.
    if (interactionHeld())
        return;
    if (auto* button = qobject_cast<QToolButton*>(sender()))
        rightSideButton_ = button;
    if (!ui->rightTabWidget)
        return;
    if (!ui->rightTabWidget->isHidden()) {
        closeRightSide();
        return;
    }

    ui->rightTabWidget->show();
    ui->rightTabWidget->tabBar()->setEnabled(true);
    if (rightSideButton_)
        rightSideButton_->setIcon(QIcon(QStringLiteral(":/FenlarkApp/icons/minus-line.png")));

    // The right side starts with the left side's choices, no data set and
    // no feature.
    beginTabGroup(0);
    const QStringList keys = sessionConfig->allKeys();
    QList<QVariant> values;
    for (const QString& key : keys)
        values.append(sessionConfig->value(key));
    sessionConfig->endGroup();
    beginTabGroup(1);
    for (qsizetype k = 0; k < keys.size(); ++k)
        sessionConfig->setValue(keys[k], values[k]);
    sessionConfig->setValue(QString::fromLatin1(Keys::dataExplorerStateCurrentIndex), -1);
    sessionConfig->setValue(QString::fromLatin1(Keys::featureShowed), 0);
    sessionConfig->setValue(QString::fromLatin1(Keys::featureShowedCache), 0);
    sessionConfig->endGroup();

    const QString mainName = QString::fromLatin1(Keys::viewerWidgetMain);
    ViewerWidget* leftMain = viewers[0].value(mainName);
    if (ViewerWidget* rightMain = viewers[1].value(mainName)) {
        if (ui->actionLink_left_right->isChecked() && leftMain)
            rightMain->copyViewState(*leftMain);
        else
            rightMain->resetView();
    }
    arrangeSideViewers(ui->activeSide == 0 ? ui->leftTabWidget : ui->rightTabWidget, true);

    setCurvesExplorer(getCurveExplorerIndex(ui->activeSide));
    setRMExplorer(getRMExplorerIndex(ui->activeSide));
    handlePropertiesMenu();
    handleToolMenu();
    handleCurveMenu();
}

void FenlarkApp::closeRightSide()
{
    if (!ui->rightTabWidget || ui->rightTabWidget->isHidden())
        return;
    // Which data sets the sides show, taken before anything changes: the
    // right one's bands are released below unless the left side shows it.
    const int rightIndex = ui->rightDataIndex;
    const int leftIndex = ui->leftDataIndex;

    setActiveTabWidget(1);
    setOtherTabWidget(0);
    restoreTabState(1);

    // A tools viewer open on the right goes with it.
    hideToolsViewer(1);

    ui->rightTabWidget->setTabText(0, tr("No data loaded"));
    ui->rightTabWidget->hide();
    ui->rightTabWidget->tabBar()->setEnabled(false);
    ui->rightDataIndex = -1;
    if (rightSideButton_)
        rightSideButton_->setIcon(QIcon(QStringLiteral(":/FenlarkApp/icons/plus-line.png")));

    setActiveTabWidget(0);
    setOtherTabWidget(1);
    restoreTabState(0);

    sessionConfig->remove(QString::fromLatin1(Keys::rightTabWidget));

    clearRightViewers();

    if (rightIndex >= 0 && rightIndex != leftIndex && rightIndex < dataFiles.size())
        releaseBands(dataFiles[rightIndex], {});

    if (!getDataFile(0)) {
        if (previewWidget)
            previewWidget->clear();
    } else {
        showPreview();
        updatePreviewRect(viewers[0].value(QString::fromLatin1(Keys::viewerWidgetMain)));
    }

    arrangeSideViewers(ui->leftTabWidget, false);

    setCurvesExplorer(getCurveExplorerIndex(ui->activeSide));
    setRMExplorer(getRMExplorerIndex(ui->activeSide));
    handlePropertiesMenu();
    handleToolMenu();
    handleCurveMenu();
}

void FenlarkApp::clearRightViewers()
{
    for (ViewerWidget* viewer : sideViewers(1))
        viewer->clear();
}

} // namespace UI
