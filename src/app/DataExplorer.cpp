// The data explorer: one row per opened data set, showing a row on the
// active side, and the context menu that opens, removes and saves data sets.

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QDockWidget>
#include <QFileInfo>
#include <QGridLayout>
#include <QMenu>
#include <QScrollArea>
#include <QSet>
#include <QSettings>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>

#include "app/FenlarkApp.h"
#include "app/FenlarkAppUI.h"
#include "app/SegmentTracer.h"
#include "app/SettingsKeys.h"
#include "app/WidgetUtils.h"
#include "viewers/PreviewWidget.h"
#include "viewers/ViewerWidget.h"

namespace UI {

namespace {

QGridLayout* sideGrid(QTabWidget* tabs)
{
    if (!tabs || tabs->count() == 0 || !tabs->widget(0))
        return nullptr;
    return qobject_cast<QGridLayout*>(tabs->widget(0)->layout());
}

} // namespace

void FenlarkApp::refreshDataExplorer(int currentRow)
{
    QTreeWidget* tree = ui->treeWidgetDataExplorer;
    blockSignalsOf({tree}, true);
    tree->clear();
    for (IO::File* file : dataFiles)
        addDataExplorerItem(file);
    setCurrentTreeRow(tree, currentRow);
    blockSignalsOf({tree}, false);
    fillStatisticsFileComboBoxes();
}

void FenlarkApp::addDataExplorerItem(IO::File* file)
{
    auto* item = new QTreeWidgetItem(ui->treeWidgetDataExplorer);
    const QString name = QString::fromStdString(file->name);
    item->setText(1, name);
    item->setToolTip(1, name);
}

void FenlarkApp::treeWidgetDataExplorer_doubleClicked(QTreeWidgetItem* item, int)
{
    if (!item)
        return;
    const int row = ui->treeWidgetDataExplorer->indexOfTopLevelItem(item);
    if (row < 0 || row == (ui->activeSide == 0 ? ui->leftDataIndex : ui->rightDataIndex))
        return;
    closeShownFeature(ui->activeSide);
    showDataSet(row);
    syncWorkingArea(ui->activeSide);
    handlePropertiesMenu();
    handleToolMenu();
    handleCurveMenu();
    setCurvesExplorer(-1);
    setRMExplorer(getRMExplorerIndex(ui->activeSide));
}

QMenu* FenlarkApp::buildDataExplorerMenu()
{
    auto* menu = new QMenu(this);
    menu->addAction(QStringLiteral("Load image data"), this, &FenlarkApp::on_actionOpen_triggered);
    const qsizetype selected = ui->treeWidgetDataExplorer->selectedItems().size();
    if (selected > 0) {
        menu->addAction(QStringLiteral("Delete"), this, &FenlarkApp::dataRemoveAction_triggered);
        menu->addAction(selected == 1 ? QStringLiteral("Save") : QStringLiteral("Save all"), this,
                        &FenlarkApp::dataSaveAction_triggered);
    }
    return menu;
}

void FenlarkApp::treeWidgetDataExplorer_menu(const QPoint&)
{
    execContextMenu(buildDataExplorerMenu());
}

void FenlarkApp::dataRemoveAction_triggered()
{
    QTreeWidget* tree = ui->treeWidgetDataExplorer;
    std::vector<int> rows;
    for (QTreeWidgetItem* item : tree->selectedItems()) {
        const int row = tree->indexOfTopLevelItem(item);
        if (row >= 0 && row < dataFiles.size())
            rows.push_back(row);
    }
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (rows.empty())
        return;
    const auto removed = [&rows](int index) { return std::find(rows.begin(), rows.end(), index) != rows.end(); };
    const auto shifted = [&rows](int index) {
        return index - static_cast<int>(std::count_if(rows.begin(), rows.end(), [index](int r) { return r < index; }));
    };

    // What the sides show decides, not a stored explorer row.
    const int active = ui->activeSide;
    const int other = active == 0 ? 1 : 0;
    int& activeIndex = active == 0 ? ui->leftDataIndex : ui->rightDataIndex;
    int& otherIndex = active == 0 ? ui->rightDataIndex : ui->leftDataIndex;
    // The other side's group exists only while that side is on screen.
    const bool otherOpen = other == 0 || rightSideOpen();

    // A feature computed on a data set that goes away is taken down first.
    if (removed(activeIndex))
        hideToolsViewer(active);
    if (otherOpen && removed(otherIndex))
        hideToolsViewer(other);

    for (int row : rows) {
        IO::File* file = dataFiles[row];
        if (file == habitatPlotsDataSet)
            clearHabitatPlots();
        releaseBands(file, {});
        delete file;
        dataFiles.removeAt(row);
        if (row < curveSets.size())
            curveSets.removeAt(row);
        if (row < relevancyMaps.size())
            relevancyMaps.removeAt(row);
    }

    const auto storeSide = [this](int side, int dataIndex) {
        beginTabGroup(side);
        sessionConfig->setValue(QString::fromLatin1(Keys::dataExplorerStateCurrentIndex), dataIndex);
        sessionConfig->setValue(QString::fromLatin1(Keys::curveExplorerStateCurrentIndex), -1);
        sessionConfig->endGroup();
    };
    const auto emptySide = [this](int side, bool resetMainView) {
        for (ViewerWidget* viewer : sideViewers(side))
            viewer->clear();
        QTabWidget* tabs = side == 0 ? ui->leftTabWidget : ui->rightTabWidget;
        tabs->setTabText(0, tr("No data loaded"));
        if (resetMainView) {
            if (ViewerWidget* main = viewers[side].value(QString::fromLatin1(Keys::viewerWidgetMain)))
                main->resetView();
        }
    };
    const bool linked = ui->actionLink_left_right->isChecked();

    if (!dataFiles.isEmpty()) {
        if (removed(activeIndex)) {
            activeIndex = -1;
            refreshDataExplorer(-1);
            emptySide(active, !(rightSideOpen() && linked));
            if (previewWidget)
                previewWidget->clear();
        } else {
            if (activeIndex != -1)
                activeIndex = shifted(activeIndex);
            refreshDataExplorer(activeIndex);
        }
        storeSide(active, activeIndex);
        setCurvesExplorer(-1);
        setRMExplorer(-1);

        if (otherOpen) {
            if (removed(otherIndex)) {
                otherIndex = -1;
                emptySide(other, !linked);
            } else if (otherIndex != -1) {
                otherIndex = shifted(otherIndex);
            }
            storeSide(other, otherIndex);
        } else {
            otherIndex = -1;
        }
        handlePropertiesMenu();
        handleToolMenu();
        handleCurveMenu();
        return;
    }

    // Nothing is left.
    ui->leftDataIndex = -1;
    ui->rightDataIndex = -1;
    storeSide(0, -1);
    if (rightSideOpen())
        storeSide(1, -1);
    refreshDataExplorer(-1);
    setCurvesExplorer(-1);
    setRMExplorer(-1);
    emptySide(0, true);
    if (ViewerWidget* rightMain = viewers[1].value(QString::fromLatin1(Keys::viewerWidgetMain)))
        rightMain->resetView();
    if (previewWidget)
        previewWidget->clear();
    setToolDocksEnabled(false);
    ui->menuCurves->setEnabled(false);
    ui->actionCurve_Manager->setEnabled(false);
    if (rightSideOpen()) {
        clearRightViewers();
        closeRightSide();
        ui->rightTabWidget->setTabText(0, tr("No data loaded"));
    }
    ui->leftTabWidget->tabBar()->setEnabled(false);
    ui->leftTabWidget->setTabText(0, tr("No data loaded"));
}

void FenlarkApp::dataSaveAction_triggered()
{
    QTreeWidget* tree = ui->treeWidgetDataExplorer;
    QList<IO::File*> chosen;
    for (QTreeWidgetItem* item : tree->selectedItems()) {
        const int row = tree->indexOfTopLevelItem(item);
        if (row >= 0 && row < dataFiles.size())
            chosen.append(dataFiles[row]);
    }
    if (chosen.isEmpty())
        return;
    const QString folderKey = QStringLiteral("folderFileSavePath");
    const QString folder = settings.value(folderKey, QString()).toString();
    const auto fileName = [](const IO::File* file) {
        return QString::fromStdString(file->name) + QLatin1Char('.') + QString::fromStdString(file->extension);
    };

    if (chosen.size() == 1) {
        // Without a stored folder the bare file name is proposed (the dialog
        // starts in the current folder), not a path in the root.
        const QString proposed = folder.isEmpty() ? fileName(chosen.first()) : folder + QLatin1Char('/') + fileName(chosen.first());
        const QString path = chooseSaveFileName(this, QStringLiteral("Save file"), proposed, QString());
        if (path.isEmpty())
            return;
        settings.setValue(folderKey, QFileInfo(path).absolutePath());
        // The save dialog asked before replacing a file: replace it.
        if (chosen.first()->copyTo(path.toStdString(), IO::File::CopyMode::Replace))
            showMessageBox(tr("File is saved."), 0);
        else
            showMessageBox(tr("Unable to save file."), 2);
        return;
    }

    const QString target = chooseExistingDirectory(this, QStringLiteral("Select directory"), folder);
    if (target.isEmpty())
        return;
    settings.setValue(folderKey, target);
    // Nobody is asked here: a file that is there and not older stays and
    // counts as not saved, and so does a second data set of the same name.
    int failures = 0;
    QSet<QString> written;
    for (IO::File* file : chosen) {
        const QString name = fileName(file);
        if (written.contains(name)
            || !file->copyTo((target + QLatin1Char('/') + name).toStdString(), IO::File::CopyMode::OverOlderOnly))
            ++failures;
        written.insert(name);
    }
    if (failures > 0)
        showMessageBox(tr("Unable to save all files."), 2);
    else
        showMessageBox(tr("All files are saved."), 0);
}

void FenlarkApp::releaseBands(IO::File* file, const std::set<int>& keep)
{
    if (!file)
        return;
    segmentTracer->clear();
    file->unloadBandsExcept(keep);
}

bool FenlarkApp::clearFeatureCache(int side)
{
    IO::File* file = getDataFile(side);
    if (!file)
        return false;
    segmentTracer->clear();
    const std::vector<int> bands = displayBands(side);
    for (int band : bands) {
        if (band >= 0 && band < static_cast<int>(file->bands.size())
            && !file->bands[static_cast<std::size_t>(band)].levels.empty())
            file->bands[static_cast<std::size_t>(band)].levels.front().clearCache();
    }
    // A viewer of a feature that is gone would keep its last picture and no
    // longer follow zoom and pan: it goes, as the viewer of a feature that
    // could not be computed goes.
    retireFeatureViewer(side);
    retireOtherSideFeature(side, file, bands);
    return true;
}

bool FenlarkApp::toolsViewerShown(int side) const
{
    QGridLayout* grid = sideGrid(side == 0 ? ui->leftTabWidget : ui->rightTabWidget);
    return grid && grid->itemAtPosition(0, 1);
}

bool FenlarkApp::hideToolsViewer(int side)
{
    QGridLayout* grid = sideGrid(side == 0 ? ui->leftTabWidget : ui->rightTabWidget);
    if (!grid || !grid->itemAtPosition(0, 1))
        return false;
    beginTabGroup(side);
    sessionConfig->setValue(QString::fromLatin1(Keys::featureShowed), 0);
    sessionConfig->setValue(QString::fromLatin1(Keys::featureShowedCache), 0);
    sessionConfig->setValue(QString::fromLatin1(Keys::RMExplorerStateCurrentIndex), -1);
    sessionConfig->setValue(QString::fromLatin1(Keys::mapsShowedName), 0);
    sessionConfig->endGroup();
    setPushButtonsHideOrShowIcon(false);
    markTreeItem(ui->treeWidgetRMExplorer, -1);

    takeDownToolsViewer(side);
    // One side on screen, or two showing different data sets: the features
    // of the side's bands go with the viewer. Two sides showing one data set
    // share its caches, so the other side's features stay.
    if (!rightSideOpen() || ui->leftDataIndex != ui->rightDataIndex)
        clearFeatureCache(side);
    ui->workingAreaLocked = false;
    return true;
}

bool FenlarkApp::takeDownToolsViewer(int side)
{
    QGridLayout* grid = sideGrid(side == 0 ? ui->leftTabWidget : ui->rightTabWidget);
    if (!grid || !grid->itemAtPosition(0, 1))
        return false;
    QLayoutItem* main = grid->itemAtPosition(0, 0);
    if (!rightSideOpen()) {
        QLayoutItem* tools = grid->itemAtPosition(0, 1);
        if (tools != main)
            removeViewerFromGrid(tools);
    } else {
        if (QLayoutItem* tools = grid->itemAtPosition(1, 0); tools && tools != main)
            removeViewerFromGrid(tools);
        if (main && main->widget()) {
            QWidget* area = main->widget();
            grid->removeWidget(area);
            grid->addWidget(area, 0, 0, 2, 1);
        }
    }
    return true;
}

void FenlarkApp::closeShownFeature(int side)
{
    beginTabGroup(side);
    const int featureShowed = sessionConfig->value(QString::fromLatin1(Keys::featureShowed), 0).toInt();
    sessionConfig->endGroup();
    if (featureShowed == 1) {
        hideToolsViewer(side);
        QApplication::processEvents();
    }
}

void FenlarkApp::removeViewerFromGrid(QLayoutItem* item)
{
    QWidget* area = item ? item->widget() : nullptr;
    if (!area)
        return;
    if (auto* scroll = qobject_cast<QScrollArea*>(area)) {
        if (auto* viewer = qobject_cast<ViewerWidget*>(scroll->widget())) {
            if (viewer->side >= 0 && viewer->side < viewers.size())
                viewers[viewer->side].remove(viewer->name);
        }
    }
    if (QLayout* layout = area->parentWidget() ? area->parentWidget()->layout() : nullptr)
        layout->removeWidget(area);
    delete area;
}

} // namespace UI
