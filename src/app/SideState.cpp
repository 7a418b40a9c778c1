// Per-side state: the session group of each viewer side and the accessors
// through which the panels, tools and workflows read the shown data set and
// its chosen bands.

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTreeWidget>

#include "app/FenlarkApp.h"
#include "app/FenlarkAppUI.h"
#include "app/SettingsKeys.h"
#include "app/WidgetUtils.h"
#include "io/File.h"

namespace UI {

namespace {

// Reads one key of a side's group, opening and closing the group itself.
QVariant sideValue(FenlarkApp& window, int side, const char* key, const QVariant& fallback = QVariant())
{
    window.beginTabGroup(side);
    const QVariant value = window.sessionConfig->value(QString::fromLatin1(key), fallback);
    window.sessionConfig->endGroup();
    return value;
}

} // namespace

void FenlarkApp::beginTabGroup(int side)
{
    sessionConfig->beginGroup(QString::fromLatin1(side == 0 ? Keys::leftTabWidget : Keys::rightTabWidget));
}

IO::File* FenlarkApp::getDataFile(int side)
{
    if (!ui || (side != 0 && side != 1))
        return nullptr;
    const int index = side == 0 ? ui->leftDataIndex : ui->rightDataIndex;
    if (index < 0 || index >= dataFiles.size())
        return nullptr;
    return dataFiles[index];
}

bool FenlarkApp::activeSideShowsData() const
{
    return (ui->activeSide == 0 ? ui->leftDataIndex : ui->rightDataIndex) != -1;
}

bool FenlarkApp::getCurveSets(QList<UI::CurveSet>& out)
{
    if (!getDataFile(ui->activeSide))
        return false;
    out = activeCurveSets();
    return true;
}

// The list of the data set shown on the active side, or the emptied scratch
// list when the side shows none.
template <typename T>
QList<T>& activeEntry(FenlarkApp& window, QList<QList<T>>& perDataSet, QList<T>& scratch)
{
    const int index = window.ui->activeSide == 0 ? window.ui->leftDataIndex : window.ui->rightDataIndex;
    if (window.getDataFile(window.ui->activeSide) && index < perDataSet.size())
        return perDataSet[index];
    scratch.clear();
    return scratch;
}

QList<UI::CurveSet>& FenlarkApp::activeCurveSets()
{
    return activeEntry(*this, curveSets, noCurveSets_);
}

QList<UI::RelevancyMap>& FenlarkApp::activeRelevancyMaps()
{
    return activeEntry(*this, relevancyMaps, noRelevancyMaps_);
}

int FenlarkApp::getBandIndex(int side, int channel)
{
    static constexpr const char* bandKeys[3] = {Keys::dataPropertiesRedBand, Keys::dataPropertiesGreenBand,
                                                Keys::dataPropertiesBlueBand};
    if (channel < 0 || channel > 2)
        return -1;
    return sideValue(*this, side, bandKeys[channel], 0).toInt();
}

int FenlarkApp::getSegmentationBand()
{
    const int side = ui->activeSide;
    if (!isMultiChannel(side))
        return getBandIndex(side, 0);
    // The combo is refilled with exactly three entries after every band
    // load; anything else (empty while refilled) reads as the red band.
    const int channel = ui->comboBoxAutoChannel ? ui->comboBoxAutoChannel->currentIndex() : 0;
    return getBandIndex(side, channel >= 0 && channel <= 2 ? channel : 0);
}

int FenlarkApp::getCurveExplorerIndex(int side)
{
    return sideValue(*this, side, Keys::curveExplorerStateCurrentIndex, -1).toInt();
}

int FenlarkApp::getRMExplorerIndex(int side)
{
    return sideValue(*this, side, Keys::RMExplorerStateCurrentIndex, -1).toInt();
}

bool FenlarkApp::isMultiChannel(int side)
{
    return sideValue(*this, side, Keys::dataPropertiesChannelType, false).toBool();
}

std::vector<int> FenlarkApp::displayBands(int side)
{
    std::vector<int> bands{getBandIndex(side, 0)};
    if (isMultiChannel(side)) {
        bands.push_back(getBandIndex(side, 1));
        bands.push_back(getBandIndex(side, 2));
    }
    return bands;
}

bool FenlarkApp::sideShowsDataSet(int side, int index) const
{
    // The right side's index stays meaningful only while it is on screen.
    if (index < 0 || (side == 1 && !rightSideOpen()))
        return false;
    return (side == 0 ? ui->leftDataIndex : side == 1 ? ui->rightDataIndex : -1) == index;
}

void FenlarkApp::saveTabState()
{
    const auto colourText = [](const QHash<QString, QColor>& table, const char* key) {
        QString text;
        colorToText(text, table.value(QString::fromLatin1(key)), QStringLiteral(","));
        return text;
    };
    beginTabGroup(ui->activeSide);
    QSettings& s = *sessionConfig;
    // The side's data set, as the side indexes hold it (the explorer's
    // current row follows clicks and is no record of what a side shows).
    s.setValue(QString::fromLatin1(Keys::dataExplorerStateCurrentIndex),
               ui->activeSide == 0 ? ui->leftDataIndex : ui->rightDataIndex);
    if (ui->comboBoxShowTypeChannel)
        s.setValue(QString::fromLatin1(Keys::dataPropertiesChannelType), ui->comboBoxShowTypeChannel->currentIndex());
    if (ui->comboBoxRedBand)
        s.setValue(QString::fromLatin1(Keys::dataPropertiesRedBand), ui->comboBoxRedBand->currentIndex());
    if (ui->comboBoxGreenBand)
        s.setValue(QString::fromLatin1(Keys::dataPropertiesGreenBand), ui->comboBoxGreenBand->currentIndex());
    if (ui->comboBoxBlueBand)
        s.setValue(QString::fromLatin1(Keys::dataPropertiesBlueBand), ui->comboBoxBlueBand->currentIndex());
    if (ui->doubleSpinBoxBottomCrop)
        s.setValue(QString::fromLatin1(Keys::dataPropertiesBottomHistCrop), ui->doubleSpinBoxBottomCrop->value());
    if (ui->doubleSpinBoxTopCrop)
        s.setValue(QString::fromLatin1(Keys::dataPropertiesTopHistCrop), ui->doubleSpinBoxTopCrop->value());
    if (ui->spinBoxCurveWidth)
        s.setValue(QString::fromLatin1(Keys::curvePropertiesLineWidth), ui->spinBoxCurveWidth->value());
    s.setValue(QString::fromLatin1(Keys::curvePropertiesCurrentColor),
               colourText(ui->curveColors, Keys::curveCurrentCurveColor));
    s.setValue(QString::fromLatin1(Keys::curvePropertiesActiveColor),
               colourText(ui->curveColors, Keys::curveActiveCurveColor));
    s.setValue(QString::fromLatin1(Keys::curvePropertiesUnactiveColor),
               colourText(ui->curveColors, Keys::curveUnactiveCurveColor));
    if (ui->spinBoxPlotWidth)
        s.setValue(QString::fromLatin1(Keys::habitatPlotPropertiesMarkWidth), ui->spinBoxPlotWidth->value());
    s.setValue(QString::fromLatin1(Keys::habitatPlotPropertiesMarkColor),
               colourText(ui->habitatPlotColors, Keys::habitatPlotMarkColor));
    s.setValue(QString::fromLatin1(Keys::habitatPlotPropertiesSelectedMarkColor),
               colourText(ui->habitatPlotColors, Keys::habitatPlotSelectedMarkColor));
    s.endGroup();
    s.sync();
}

void FenlarkApp::restoreTabState(int side)
{
    QTreeWidget* explorer = ui->treeWidgetDataExplorer;
    const int dataIndex = side == 0 ? ui->leftDataIndex : ui->rightDataIndex;
    const bool shows = dataIndex >= 0 && dataIndex < dataFiles.size();
    blockSignalsOf({explorer}, true);
    setCurrentTreeRow(explorer, shows ? dataIndex : -1);
    blockSignalsOf({explorer}, false);

    // The band lists belong to the side's own data set: after a switch they
    // may still list the other side's bands.
    if (shows)
        fillBandCombos(dataIndex);

    beginTabGroup(side);
    QSettings& s = *sessionConfig;
    const std::pair<QComboBox*, const char*> bandCombos[] = {{ui->comboBoxRedBand, Keys::dataPropertiesRedBand},
                                                             {ui->comboBoxGreenBand, Keys::dataPropertiesGreenBand},
                                                             {ui->comboBoxBlueBand, Keys::dataPropertiesBlueBand}};
    for (const auto& [combo, key] : bandCombos) {
        if (!combo)
            continue;
        const int band = s.value(QString::fromLatin1(key), 0).toInt();
        blockSignalsOf({combo}, true);
        combo->setCurrentIndex(band >= 0 && band < combo->count() ? band : (combo->count() > 0 ? 0 : -1));
        blockSignalsOf({combo}, false);
    }
    if (ui->doubleSpinBoxBottomCrop)
        ui->doubleSpinBoxBottomCrop->setValue(s.value(QString::fromLatin1(Keys::dataPropertiesBottomHistCrop), 0).toDouble());
    if (ui->doubleSpinBoxTopCrop)
        ui->doubleSpinBoxTopCrop->setValue(s.value(QString::fromLatin1(Keys::dataPropertiesTopHistCrop), 0).toDouble());
    const int channelType = s.value(QString::fromLatin1(Keys::dataPropertiesChannelType), 0).toInt() == 1 ? 1 : 0;
    s.endGroup();
    if (ui->comboBoxShowTypeChannel) {
        blockSignalsOf({ui->comboBoxShowTypeChannel}, true);
        ui->comboBoxShowTypeChannel->setCurrentIndex(channelType);
        blockSignalsOf({ui->comboBoxShowTypeChannel}, false);
    }
    setChannelWidgetsEnabled(channelType);
    if (side == ui->activeSide)
        fillSegmentationChannelCombo();
}

void FenlarkApp::fillBandCombos(int index)
{
    if (index < 0 || index >= dataFiles.size())
        return;
    const IO::File* file = dataFiles[index];
    for (QComboBox* combo : {ui->comboBoxRedBand.data(), ui->comboBoxGreenBand.data(), ui->comboBoxBlueBand.data()}) {
        if (!combo)
            continue;
        blockSignalsOf({combo}, true);
        combo->clear();
        for (const IO::Band& band : file->bands)
            combo->addItem(QString::fromStdString(band.name));
        blockSignalsOf({combo}, false);
    }
}

void FenlarkApp::setPropertiesByDataType(int index)
{
    if (index < 0 || index >= dataFiles.size())
        return;
    ui->action_Ortho_Load_files->setEnabled(false);
    const std::string& type = dataFiles[index]->dataType;
    if (type == "Sentinel-2 satellite image") {
        setSentinel2Properties(index);
        loadHabitatPlotFiles(index);
        ui->action_Ortho_Load_files->setEnabled(true);
    } else if (type == "OrthoMosaic tif image") {
        setOrthoMosaicProperties(index);
    }
}

namespace {

// The panel widgets a default filling sets without their signals.
QList<QWidget*> fillingWidgets(FenlarkAppUI& ui)
{
    return {ui.comboBoxShowTypeChannel, ui.comboBoxRedBand, ui.comboBoxGreenBand, ui.comboBoxBlueBand,
            ui.doubleSpinBoxTopCrop};
}


// The last band whose display name contains text becomes the combo's
// current entry (an empty text matches every band).
void chooseBandContaining(QComboBox* combo, const IO::File& file, const QString& text)
{
    if (!combo)
        return;
    for (std::size_t i = 0; i < file.bands.size(); ++i) {
        if (QString::fromStdString(file.bands[i].name).contains(text))
            combo->setCurrentIndex(static_cast<int>(i));
    }
}

} // namespace

void FenlarkApp::fillDefaultBands(const IO::File& file, const QString& red, const QString& green, const QString& blue)
{
    const int channelType = sessionConfig->value(QString::fromLatin1(Keys::jp2ZipFileChannelType)).toInt() == 1 ? 1 : 0;
    if (ui->comboBoxShowTypeChannel)
        ui->comboBoxShowTypeChannel->setCurrentIndex(channelType);
    setChannelWidgetsEnabled(channelType);
    chooseBandContaining(ui->comboBoxRedBand, file, red);
    chooseBandContaining(ui->comboBoxGreenBand, file, green);
    chooseBandContaining(ui->comboBoxBlueBand, file, blue);
}

void FenlarkApp::setSentinel2Properties(int index)
{
    if (index < 0 || index >= dataFiles.size())
        return;
    const QList<QWidget*> quiet = fillingWidgets(*ui);
    blockSignalsOf(quiet, true);
    fillDefaultBands(*dataFiles[index], sessionConfig->value(QString::fromLatin1(Keys::jp2ZipFileRedBand)).toString(),
                     sessionConfig->value(QString::fromLatin1(Keys::jp2ZipFileGreenBand)).toString(),
                     sessionConfig->value(QString::fromLatin1(Keys::jp2ZipFileBlueBand)).toString());
    if (ui->doubleSpinBoxBottomCrop)
        ui->doubleSpinBoxBottomCrop->setValue(
            sessionConfig->value(QString::fromLatin1(Keys::jp2ZipFileBottomHistCrop)).toDouble());
    if (ui->doubleSpinBoxTopCrop)
        ui->doubleSpinBoxTopCrop->setValue(sessionConfig->value(QString::fromLatin1(Keys::jp2ZipFileTopHistCrop)).toDouble());
    // An orthomosaic shown before disabled the crop controls; a Sentinel-2
    // image crops again.
    const bool automatic = ui->checkBoxAutomaticCrop && ui->checkBoxAutomaticCrop->isChecked();
    setEnabledOf({ui->checkBoxAutomaticCrop, ui->pushButtonApplyHistogramCrop}, true);
    setEnabledOf({ui->doubleSpinBoxBottomCrop, ui->doubleSpinBoxTopCrop}, !automatic);
    blockSignalsOf(quiet, false);
}

void FenlarkApp::setOrthoMosaicProperties(int index)
{
    if (index < 0 || index >= dataFiles.size())
        return;
    const QList<QWidget*> quiet = fillingWidgets(*ui);
    blockSignalsOf(quiet, true);
    fillDefaultBands(*dataFiles[index], QStringLiteral("Red"), QStringLiteral("Green"), QStringLiteral("Blue"));
    if (ui->doubleSpinBoxBottomCrop)
        ui->doubleSpinBoxBottomCrop->setValue(0.0);
    if (ui->doubleSpinBoxTopCrop)
        ui->doubleSpinBoxTopCrop->setValue(0.0);
    if (ui->checkBoxAutomaticCrop) {
        blockSignalsOf({ui->checkBoxAutomaticCrop}, true);
        ui->checkBoxAutomaticCrop->setChecked(false);
        blockSignalsOf({ui->checkBoxAutomaticCrop}, false);
    }
    setEnabledOf({ui->doubleSpinBoxBottomCrop, ui->doubleSpinBoxTopCrop, ui->checkBoxAutomaticCrop,
                  ui->pushButtonApplyHistogramCrop},
                 false);
    blockSignalsOf(quiet, false);
}

void FenlarkApp::loadHabitatPlotFiles(int index)
{
    if (index < 0 || index >= dataFiles.size())
        return;
    const QString folder = QDir::currentPath() + QStringLiteral("/habitats");
    const QFileInfoList entries =
        QDir(folder).entryInfoList({QStringLiteral("*.csv")}, QDir::Files | QDir::NoSymLinks, QDir::NoSort);
    if (entries.isEmpty() || !ui->comboBoxHabitatPlotFile)
        return;
    QComboBox* combo = ui->comboBoxHabitatPlotFile;
    // The file chosen before stays chosen when it is still there.
    const QString chosen = combo->currentText();
    blockSignalsOf({combo}, true);
    combo->clear();
    for (const QFileInfo& entry : entries) {
        if (entry.fileName() != QLatin1String("habitatCodes.csv"))
            combo->addItem(entry.fileName());
    }
    const int keep = combo->findText(chosen);
    if (keep >= 0)
        combo->setCurrentIndex(keep);
    blockSignalsOf({combo}, false);
    if (combo->count() > 0)
        loadHabitatPlots(folder + QLatin1Char('/') + combo->currentText(), index);
}

void FenlarkApp::setChannelWidgetsEnabled(int multiple)
{
    setEnabledOf({ui->comboBoxGreenBand, ui->comboBoxBlueBand}, multiple != 0);
}

void FenlarkApp::comboBoxShowTypeChannel_currentIndexChanged(int index)
{
    setChannelWidgetsEnabled(index);
}

} // namespace UI
