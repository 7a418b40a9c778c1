// Per-side state: the session group of each viewer side and the accessors
// through which the panels, tools and workflows read the shown data set and
// its chosen bands.

#include <QComboBox>
#include <QSettings>

#include "app/FenlarkApp.h"
#include "app/FenlarkAppUI.h"
#include "app/SettingsKeys.h"
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

void FenlarkApp::restoreTabState(int)
{
    // First version: the explorer and the properties panel are filled by the
    // data-set work that builds them.
}

void FenlarkApp::loadHabitatPlotFiles(int)
{
    // First version: habitat plot files are read by the habitat plot work.
}

} // namespace UI
