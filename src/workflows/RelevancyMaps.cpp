// The relevancy-map explorer of the "Classification" page (show, rename,
// delete, the context menu) and the creation of maps with the chosen
// network.

#include <iostream>

#include <QAction>
#include <QApplication>
#include <QGridLayout>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTreeWidget>

#include "analysis/AreaClassification.h"
#include "app/FenlarkApp.h"
#include "app/FenlarkAppUI.h"
#include "app/SettingsKeys.h"
#include "app/WidgetUtils.h"
#include "tools/FeatureKeys.h"
#include "viewers/ViewerWidget.h"
#include "windows/NetworkExplorerWindow.h"
#include "workflows/CurveWorkflows.h"
#include "workflows/RelevancyMapRules.h"

namespace UI {

QList<int> CurveWorkflows::selectedTopLevelRows(QTreeWidget* tree)
{
    QList<int> rows;
    if (!tree || !tree->selectionModel())
        return rows;
    for (const QModelIndex& index : tree->selectionModel()->selectedRows())
        rows.append(index.row());
    return rows;
}

void FenlarkApp::on_pushButtonRMFeatureShow_clicked()
{
    if (!getDataFile(ui->activeSide))
        return;
    if (!setPushButtonHideOrShow(QString::fromLatin1(Keys::viewerWidgetToolsMaps)))
        return;
    if (!showSelectedRelevancyMap())
        return;
    refreshViewer(viewers[ui->activeSide].value(QString::fromLatin1(Keys::viewerWidgetToolsMaps)));
    ui->workingAreaLocked = true;
    treeWidgetRMExplorer_doubleClicked(ui->treeWidgetRMExplorer->currentItem(), 0);
}

bool FenlarkApp::showSelectedRelevancyMap()
{
    QTreeWidget* tree = ui->treeWidgetRMExplorer;
    const int row = currentTreeRow(tree);
    if (tree->selectedItems().isEmpty() || row < 0 || row >= activeRelevancyMaps().size()) {
        on_pushButtonRMFeatureShow_clicked();
        showMessageBox(tr("There is no selected map."), 2);
        return false;
    }
    const int side = ui->activeSide;
    ui->mapsShowedNameByTab[side] = Keys::dataCacheToolsClassifiRM;
    ui->mapsShowedIndexByTab[side] = row;
    markTreeItem(tree, row);
    beginTabGroup(side);
    sessionConfig->setValue(QString::fromLatin1(Keys::mapsShowedName), QString::fromLatin1(Keys::dataCacheToolsClassifiRM));
    sessionConfig->setValue(QString::fromLatin1(Keys::RMExplorerStateCurrentIndex), row);
    sessionConfig->endGroup();
    return true;
}

void FenlarkApp::treeWidgetRMExplorer_doubleClicked(QTreeWidgetItem*, int)
{
    const int side = ui->activeSide;
    if (!getDataFile(side) || !toolsViewerShown(side) || !showSelectedRelevancyMap())
        return;
    const QList<RelevancyMap>& maps = activeRelevancyMaps();
    const int row = currentTreeRow(ui->treeWidgetRMExplorer);
    if (row < 0 || row >= maps.size())
        return;
    centerViewers(side, maps[row].centreX, maps[row].centreY, false);
    if (ui->actionLink_left_right && ui->actionLink_left_right->isChecked())
        syncWorkingArea(ui->otherSide);
    refreshAllViewers();
}

QMenu* FenlarkApp::buildRMExplorerMenu()
{
    const int selected = static_cast<int>(ui->treeWidgetRMExplorer->selectedItems().size());
    auto* menu = new QMenu(this);
    connect(menu->addAction(tr("Load map")), &QAction::triggered, this, &FenlarkApp::mapLoadAction_triggered);
    connect(menu->addAction(tr("Combine maps")), &QAction::triggered, this, &FenlarkApp::mapCombineAction_triggered);
    if (selected >= 1)
        connect(menu->addAction(tr("Delete")), &QAction::triggered, this, &FenlarkApp::mapRemoveAction_triggered);
    if (selected == 1) {
        connect(menu->addAction(tr("Rename")), &QAction::triggered, this, &FenlarkApp::mapRenameAction_triggered);
        connect(menu->addAction(tr("Save map")), &QAction::triggered, this, &FenlarkApp::mapSaveAction_triggered);
        connect(menu->addAction(tr("Generate random points")), &QAction::triggered, this,
                &FenlarkApp::randomPointsInRMAction_triggered);
    }
    return menu;
}

void FenlarkApp::treeWidgetRMExplorer_menu(const QPoint&)
{
    // Without a data set on the active side there are no maps to work on.
    if (!getDataFile(ui->activeSide))
        return;
    execContextMenu(buildRMExplorerMenu());
}

void FenlarkApp::mapRenameAction_triggered(bool)
{
    QTreeWidget* tree = ui->treeWidgetRMExplorer;
    const QList<int> rows = CurveWorkflows::selectedTopLevelRows(tree);
    QList<RelevancyMap>& maps = activeRelevancyMaps();
    if (!getDataFile(ui->activeSide) || rows.isEmpty() || rows.first() >= maps.size())
        return;
    RelevancyMap& map = maps[rows.first()];
    const std::optional<QString> answer = chooseText(this, tr("Rename map"), tr("Map Name:"), QLineEdit::Normal,
                                                     QString::fromStdString(map.name));
    if (!answer || answer->trimmed().isEmpty())
        return;
    const QString name = answer->trimmed();
    map.setName(name.toStdString());
    if (QTreeWidgetItem* item = tree->topLevelItem(rows.first()))
        item->setText(1, name);
}

void FenlarkApp::mapRemoveAction_triggered(bool)
{
    const int side = ui->activeSide;
    QList<int> rows = CurveWorkflows::selectedTopLevelRows(ui->treeWidgetRMExplorer);
    QList<RelevancyMap>& maps = activeRelevancyMaps();
    if (!getDataFile(side) || rows.isEmpty())
        return;
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    for (int row : rows) {
        if (row >= 0 && row < maps.size())
            maps.removeAt(row);
    }

    const int shown = getRMExplorerIndex(side);
    if (shown >= 0 && rows.contains(shown)) {
        // The shown map is gone: no marker, no stored row, no name.
        ui->mapsShowedIndexByTab[side] = -1;
        ui->mapsShowedNameByTab.remove(side);
        beginTabGroup(side);
        const bool featureShown = sessionConfig->value(QString::fromLatin1(Keys::featureShowed), 0).toInt() == 1;
        sessionConfig->setValue(QString::fromLatin1(Keys::RMExplorerStateCurrentIndex), -1);
        sessionConfig->setValue(QString::fromLatin1(Keys::mapsShowedName), 0);
        sessionConfig->endGroup();
        if (featureShown)
            on_pushButtonRMFeatureShow_clicked();
    } else if (shown >= 0) {
        const int below = static_cast<int>(std::count_if(rows.begin(), rows.end(), [shown](int r) { return r < shown; }));
        beginTabGroup(side);
        sessionConfig->setValue(QString::fromLatin1(Keys::RMExplorerStateCurrentIndex), shown - below);
        sessionConfig->endGroup();
        ui->mapsShowedIndexByTab[side] = shown - below;
    }
    setRMExplorer(getRMExplorerIndex(side));
    refreshAllViewers();
}

// ---------------------------------------------------------------------------
// Creation
// ---------------------------------------------------------------------------

void FenlarkApp::on_pushButtonChangeNetwork_clicked()
{
    // A window of its own, modal to the main window, so it works above it,
    // one at a time. Its own Choose handler runs first (connected when its
    // form was set up).
    auto* explorer = new NetworkExplorerWindow(this);
    networkExplorer = explorer;
    if (auto* choose = explorer->findChild<QPushButton*>(QStringLiteral("pushButtonNetExplorerChoose")))
        connect(choose, &QPushButton::clicked, this, &FenlarkApp::networkExplorerSetNetwork);
    explorer->setWindowModality(Qt::WindowModal);
    explorer->setAttribute(Qt::WA_DeleteOnClose);
    explorer->setWindowTitle(tr("Network Explorer"));
    explorer->show();
}

void FenlarkApp::networkExplorerSetNetwork()
{
    if (networkExplorer && !networkExplorer->chosenNetwork.fileName.empty()) {
        selectedNetwork = networkExplorer->chosenNetwork;
        ui->lineEditNetwork->setText(QString::fromStdString(selectedNetwork.fileName));
        ui->lineEditNetwork->setCursorPosition(0);
    }
    if (networkExplorer)
        networkExplorer->close();
    if (askQuestion(nullptr, tr("Relevancy map"), tr("Do you want to compute relevancy map?"),
                    QMessageBox::Yes | QMessageBox::No)
        == QMessageBox::Yes)
        on_pushButtonCreateRM_clicked();
}

void FenlarkApp::on_pushButtonCreateRM_clicked()
{
    if (!getDataFile(ui->activeSide))
        return;
    if (selectedNetwork.directory.empty() || selectedNetwork.fileName.empty()) {
        on_pushButtonChangeNetwork_clicked();
        return;
    }
    QProgressDialog progress;
    setupProgressDialog(nullptr, &progress, tr("Computing relevancy maps...."), 0);
    progress.show();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    createRelevancyMaps(ui->activeSide);
    progress.hide();
}

std::vector<std::string> FenlarkApp::networkBandIndexes(int side, const NatNetInfo& network, std::vector<int>& out)
{
    out.clear();
    IO::File* file = getDataFile(side);
    if (!file)
        return network.channelNames;
    NetworkBands matched = ::networkBandIndexes(network, *file);
    out = std::move(matched.bands);
    return matched.missing;
}

void FenlarkApp::createRelevancyMaps(int side)
{
    IO::File* file = getDataFile(side);
    if (!file)
        return;
    const RelevancyMaps::CreationPlan plan =
        RelevancyMaps::planCreation(ui->spinBoxRMWidth->value(), file->workAreaWidth, file->workAreaHeight,
                                    file->getWorkAreaX(side), file->getWorkAreaY(side), file->width, file->height);
    if (plan.side != ui->spinBoxRMWidth->value())
        ui->spinBoxRMWidth->setValue(plan.side);
    if (!plan.fits) {
        showMessageBox(tr("The relevancy map area does not fit into the data."), 2);
        return;
    }
    const auto classificationFailureText = [this](ClassificationError error) {
        return tr("Unable to classify the area with network %1.").arg(QString::fromStdString(selectedNetwork.fileName))
               + "\n" + QString::fromStdString(classificationErrorText(error));
    };
    // The file may have changed since the network was chosen: it is read
    // once now, and that one reading names the maps, picks the bands and
    // classifies.
    const NatNetReading reading = readNatNet(selectedNetwork.directory, selectedNetwork.fileName);
    if (reading.error != ClassificationError::None) {
        showMessageBox(classificationFailureText(reading.error), 2);
        return;
    }
    // Every network channel needs its band: the features must match the
    // network's values per point.
    std::vector<int> bands;
    const std::vector<std::string> missing = networkBandIndexes(side, reading.network, bands);
    if (!missing.empty()) {
        showMessageBox(tr("The data set has no band for the network channel %1.")
                           .arg(QString::fromStdString(missing.front())),
                       2);
        return;
    }
    const int s = plan.side;
    file->setWorkAreaX(side, plan.areaX);
    file->setWorkAreaY(side, plan.areaY);
    std::cout << "RMOffset:   " << plan.x0 << ", " << plan.y0 << std::endl;

    std::vector<std::vector<double>> channels;
    if (!file->readChannels(0, bands, s + 24, s + 24, plan.x0 - 12, plan.y0 - 12, channels)) {
        showMessageBox(tr("Unable to read data from file. "), 2);
        return;
    }
    std::vector<std::vector<std::vector<double>>> results;
    ClassificationError error = ClassificationError::None;
    if (!classifyArea(channels, s, s, s + 24, s + 24, results, reading, &error)) {
        showMessageBox(classificationFailureText(error), 2);
        return;
    }
    std::vector<std::vector<double>> squares(results.front().size());
    computeRelevancyMap(results, s, s, squares);
    addRelevancyMap(squares, s, s, plan.x0, plan.y0, reading.network);
    fillRMExplorerTree(activeRelevancyMaps());
}

void FenlarkApp::addRelevancyMap(const std::vector<std::vector<double>>& squares, int width, int height, int x0,
                                 int y0, const NatNetInfo& network)
{
    IO::File* file = getDataFile(ui->activeSide);
    if (!file)
        return;
    const int side = ui->activeSide;
    const int X = file->getWorkAreaX(side);
    const int Y = file->getWorkAreaY(side);
    const int W = file->workAreaWidth;
    const int H = file->workAreaHeight;
    // The square must lie in the working area that the map covers.
    if (x0 < X || y0 < Y || x0 + width > X + W || y0 + height > Y + H)
        return;
    QList<RelevancyMap>& maps = activeRelevancyMaps();
    for (std::size_t k = 0; k < squares.size(); ++k) {
        RelevancyMap map;
        map.x = X;
        map.y = Y;
        map.width = W;
        map.height = H;
        map.centreX = X + W / 2;
        map.centreY = Y + H / 2;
        map.values.assign(static_cast<std::size_t>(W) * H, 0.5f);
        const std::vector<double>& square = squares[k];
        if (square.size() >= static_cast<std::size_t>(width) * height) {
            for (int j = 0; j < height; ++j)
                for (int i = 0; i < width; ++i)
                    map.values[static_cast<std::size_t>(y0 - Y + j) * W + (x0 - X + i)] =
                        static_cast<float>(square[static_cast<std::size_t>(j) * width + i]);
        }
        const std::string className =
            k < network.clusterNames.size() ? network.clusterNames[k] : std::to_string(k + 1);
        map.setName(className + "_" + std::to_string(relevancyMapCounter));
        map.setNetworkName(network.fileName);
        maps.append(std::move(map));
    }
    ++relevancyMapCounter;
}

} // namespace UI
