// Showing a data set on the active side: releasing the side's previous
// data set, the panel defaults, the band task behind the progress dialog,
// the working window and the redraw; the two "Apply" buttons.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QSettings>
#include <QSpinBox>
#include <QTabWidget>
#include <QTreeWidget>

#include "app/FenlarkApp.h"
#include "app/FenlarkAppUI.h"
#include "app/SegmentTracer.h"
#include "app/SettingsKeys.h"
#include "app/WidgetUtils.h"
#include "tools/TaskRunner.h"
#include "viewers/PreviewWidget.h"
#include "viewers/ViewerWidget.h"

namespace UI {

FenlarkApp::BandChoice FenlarkApp::bandChoice() const
{
    BandChoice choice;
    choice.red = ui->comboBoxRedBand ? ui->comboBoxRedBand->currentIndex() : 0;
    choice.green = ui->comboBoxGreenBand ? ui->comboBoxGreenBand->currentIndex() : 0;
    choice.blue = ui->comboBoxBlueBand ? ui->comboBoxBlueBand->currentIndex() : 0;
    choice.threeChannels = ui->comboBoxShowTypeChannel && ui->comboBoxShowTypeChannel->currentIndex() == 1;
    const double bottom = ui->doubleSpinBoxBottomCrop ? ui->doubleSpinBoxBottomCrop->value() : 0.0;
    const double top = ui->doubleSpinBoxTopCrop ? ui->doubleSpinBoxTopCrop->value() : 0.0;
    choice.lowCut = bottom / 100.0;
    choice.highCut = (100.0 - top) / 100.0;
    choice.automaticCrop = ui->checkBoxAutomaticCrop && ui->checkBoxAutomaticCrop->isChecked();
    return choice;
}

void FenlarkApp::showDataSet(int index)
{
    if (index < 0 || index >= dataFiles.size())
        return;
    // A trace follows the side's data set, which goes here even when the
    // other side keeps its bands.
    segmentTracer->clear();
    int& sideIndex = ui->activeSide == 0 ? ui->leftDataIndex : ui->rightDataIndex;
    const int otherIndex = ui->activeSide == 0 ? ui->rightDataIndex : ui->leftDataIndex;
    if (sideIndex >= 0 && sideIndex < dataFiles.size() && sideIndex != otherIndex)
        releaseBands(dataFiles[sideIndex], {});
    sideIndex = index;

    for (ViewerWidget* viewer : sideViewers(ui->activeSide))
        viewer->origin = QPoint(0, 0);

    markTreeItem(ui->treeWidgetDataExplorer, index);
    QTabWidget* tabs = ui->activeSide == 0 ? ui->leftTabWidget : ui->rightTabWidget;
    tabs->setTabText(0, QString::fromStdString(dataFiles[index]->name));

    fillBandCombos(index);
    setPropertiesByDataType(index);

    IO::File* file = dataFiles[index];
    showPreview();

    applyChannels(index, false);

    // After the bands: a data set without a working window has just been
    // given its whole grid.
    ui->spinBoxRMWidth->setRange(12, std::max(12, file->workAreaWidth));

    updateWorkingArea(file, ui->activeSide);
}

void FenlarkApp::applyChannels(int index, bool reloadAll)
{
    closeShownFeature(ui->activeSide);

    if (index < 0 || index >= dataFiles.size()) {
        showMessageBox(tr("No file selected in Data Explorer."), 1);
        return;
    }
    const BandChoice choice = bandChoice();
    std::set<int> chosen{choice.red};
    if (choice.threeChannels) {
        chosen.insert(choice.green);
        chosen.insert(choice.blue);
    }
    std::set<int> keep = reloadAll ? std::set<int>() : chosen;
    // The other side showing the same data set keeps the bands it displays
    // and their computed images. Only a band this side reads again for its
    // crop is released; a feature the other side computed on it goes too.
    const int other = ui->activeSide == 0 ? 1 : 0;
    if (sideShowsDataSet(other, index)) {
        bool rereadShown = false;
        for (int band : displayBands(other)) {
            if (reloadAll && chosen.count(band))
                rereadShown = true;
            else
                keep.insert(band);
        }
        if (rereadShown)
            retireFeatureViewer(other);
    }
    releaseBands(dataFiles[index], keep);
    datasetChange(index);
}

void FenlarkApp::pushButtonApplyChannels_clicked()
{
    applyChannels(ui->activeSide == 0 ? ui->leftDataIndex : ui->rightDataIndex, false);
}

void FenlarkApp::pushButtonApplyHistogramCrop_clicked()
{
    applyChannels(ui->activeSide == 0 ? ui->leftDataIndex : ui->rightDataIndex, true);
}

void FenlarkApp::datasetChange(int index)
{
    if (index < 0 || index >= dataFiles.size())
        return;
    IO::File* file = dataFiles[index];
    const BandChoice choice = bandChoice();
    IO::File::error result = IO::File::error::NoError;
    runWithProgressDialog<IO::File::error, IO::File*, BandChoice>(
        tr("Reading data for ") + pendingBandsText(file), result,
        [](IO::File* target, BandChoice bands) { return loadDataFileBands(target, bands); }, file, choice);
    // Every failed read is told; the side is shown with what was read.
    if (result != IO::File::error::NoError)
        showMessageBox(tr("Unable to read data from file. "), 2);

    if (file->workAreaWidth != 0 && file->workAreaHeight != 0) {
        initFiltration(file->workAreaWidth, file->workAreaHeight);
    } else {
        initFiltration(file->width, file->height);
        file->workAreaWidth = file->width;
        file->workAreaHeight = file->height;
    }
    saveTabState();
    refreshActiveViewers();
    fillSegmentationChannelCombo();
}

IO::File::error FenlarkApp::loadDataFileBands(IO::File* file, BandChoice choice)
{
    const auto load = [&](int band) {
        if (!file->isLoaded(band, 0))
            file->loadBand(band, 0, choice.lowCut, choice.highCut, choice.automaticCrop, false);
    };
    try {
        load(choice.red);
        if (choice.threeChannels) {
            load(choice.green);
            load(choice.blue);
        }
    } catch (IO::File::error error) {
        return error;
    }
    return IO::File::error::NoError;
}

QString FenlarkApp::pendingBandsText(IO::File* file) const
{
    const BandChoice choice = bandChoice();
    QString text;
    const auto add = [&](int band) {
        if (!file->isLoaded(band, 0))
            text += QString::fromStdString(file->bandName(band)) + QLatin1Char(' ');
    };
    add(choice.red);
    if (choice.threeChannels) {
        add(choice.green);
        add(choice.blue);
    }
    return text;
}

void FenlarkApp::fillSegmentationChannelCombo()
{
    QComboBox* combo = ui->comboBoxAutoChannel;
    IO::File* file = getDataFile(ui->activeSide);
    if (!combo)
        return;
    blockSignalsOf({combo}, true);
    combo->clear();
    if (file) {
        combo->addItem(QString::fromStdString(file->bandName(getBandIndex(ui->activeSide, 0))));
        if (isMultiChannel(ui->activeSide)) {
            combo->addItem(QString::fromStdString(file->bandName(getBandIndex(ui->activeSide, 1))));
            combo->addItem(QString::fromStdString(file->bandName(getBandIndex(ui->activeSide, 2))));
        }
    }
    blockSignalsOf({combo}, false);
}

} // namespace UI
