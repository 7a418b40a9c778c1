// The tools viewer beside (or below) a side's main viewer, the look of the
// buttons that show it, and the statistics of the selected curve set that
// the homogeneity detector's "Update" buttons take.

#include <algorithm>

#include <QApplication>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>

#include "app/FenlarkApp.h"
#include "app/FenlarkAppUI.h"
#include "app/SettingsKeys.h"
#include "app/WidgetUtils.h"
#include "measurement/CurveSetStatistics.h"
#include "viewers/ViewerWidget.h"

namespace UI {

bool FenlarkApp::setPushButtonHideOrShow(QString viewerName)
{
    if (hideToolsViewer(ui->activeSide) || viewerName.isEmpty())
        return false;
    QTabWidget* tabs = ui->activeSide == 0 ? ui->leftTabWidget : ui->rightTabWidget;
    auto* grid = tabs && tabs->widget(0) ? qobject_cast<QGridLayout*>(tabs->widget(0)->layout()) : nullptr;
    if (!grid)
        return false;
    beginTabGroup(ui->activeSide);
    sessionConfig->setValue(QString::fromLatin1(Keys::featureShowed), 1);
    sessionConfig->endGroup();
    setPushButtonsHideOrShowIcon(true);

    // One side on screen: the tools viewer stands beside the main viewer;
    // two sides: below it, the main viewer taking the whole upper row.
    const bool twoSides = rightSideOpen();
    ViewerWidget* main = viewers[ui->activeSide].value(QString::fromLatin1(Keys::viewerWidgetMain));
    if (twoSides && main) {
        QWidget* area = grid->itemAtPosition(0, 0) ? grid->itemAtPosition(0, 0)->widget() : nullptr;
        if (area) {
            grid->removeWidget(area);
            grid->addWidget(area, 0, 0, 1, 2);
        }
    }
    createViewer(twoSides ? 1 : 0, twoSides ? 0 : 1, viewerName, ui->activeSide);
    ViewerWidget* tools = viewers[ui->activeSide].value(viewerName);
    placeViewer(tools, grid, twoSides ? 1 : 2, twoSides ? 2 : 1);
    if (tools && main)
        tools->copyViewState(*main);
    // The new layout takes effect; a click waiting in the queue must not
    // reach the button that is still in its slot.
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    return true;
}

void FenlarkApp::retireFeatureViewer(int side)
{
    if (side < 0 || side >= viewers.size()
        || !viewers[side].contains(QString::fromLatin1(Keys::viewerWidgetToolsFeature)))
        return;
    takeDownToolsViewer(side);
    ui->featureShowedCacheByTab.remove(side);
    beginTabGroup(side);
    sessionConfig->setValue(QString::fromLatin1(Keys::featureShowed), 0);
    sessionConfig->setValue(QString::fromLatin1(Keys::featureShowedCache), 0);
    sessionConfig->endGroup();
    // The buttons tell what a press does on the active side.
    setPushButtonsHideOrShowIcon(toolsViewerShown(ui->activeSide));
    // The lock kept the working window under a shown feature. When the other
    // side's viewer goes and the active side shows none either, it goes too,
    // unless a mode or a run holds it (their end applies the same rule).
    if (side == ui->activeSide || !interactionHeld())
        releaseWorkingAreaLock();
}

void FenlarkApp::retireOverwrittenFeature(int side, IO::File* file, const std::vector<int>& bands,
                                          const QStringList& keys)
{
    const std::string shown = ui->featureShowedCacheByTab.value(side == 0 ? 1 : 0);
    if (!shown.empty() && keys.contains(QString::fromStdString(shown)))
        retireOtherSideFeature(side, file, bands);
}

void FenlarkApp::retireOtherSideFeature(int side, IO::File* file, const std::vector<int>& bands)
{
    const int other = side == 0 ? 1 : 0;
    if (!file || (other == 1 && !rightSideOpen()) || getDataFile(other) != file)
        return;
    // Any band the other side may draw its feature from: its three stored
    // display bands, whatever its channel type.
    for (int channel = 0; channel < 3; ++channel) {
        if (std::find(bands.begin(), bands.end(), getBandIndex(other, channel)) != bands.end()) {
            retireFeatureViewer(other);
            return;
        }
    }
}

void FenlarkApp::setPushButtonsHideOrShowIcon(bool shown)
{
    const QString icon = shown ? QStringLiteral("eye-look-hide.png") : QStringLiteral("eye-look.png");
    const QString text = shown ? tr("Hide feature") : tr("Show feature");
    for (const QPointer<QPushButton>& button :
         {ui->pushButtonFilterFeatureShow, ui->pushButtonSemiFeatureShow, ui->pushButtonAutoFeatureShow})
        setButtonIcon(button.data(), icon, text);
    setButtonIcon(ui->pushButtonRMFeatureShow, icon, shown ? tr("Hide feature") : tr("Show relevancy map"));
}

UI::CurveSet* FenlarkApp::selectedCurveSet()
{
    QList<UI::CurveSet>& sets = activeCurveSets();
    const int index = getCurveExplorerIndex(ui->activeSide);
    if (index < 0 || index >= sets.size())
        return nullptr;
    return &sets[index];
}

bool FenlarkApp::ensureBandStatistics(UI::CurveSet& set, IO::File* file, int band)
{
    const auto known = [&set, band] {
        return band >= 0 && static_cast<std::size_t>(band) < set.mean.size()
            && set.mean[static_cast<std::size_t>(band)] != -1.0;
    };
    if (known())
        return true;
    // Level 0, this band alone, no graph-Laplacian means, no margin.
    return computeCurveSetStatistics(set, file, 0, {band}, {}, 0) && known();
}

bool FenlarkApp::computeSelectedCurveStatistics(int band)
{
    UI::CurveSet* set = selectedCurveSet();
    IO::File* file = getDataFile(ui->activeSide);
    if (!set || !file) {
        showMessageBox(tr("Select curve from Curve explorer"), 0);
        return false;
    }
    return ensureBandStatistics(*set, file, band);
}

void FenlarkApp::toolButtonRefresMeanForH_clicked()
{
    const int band = getSegmentationBand();
    if (!computeSelectedCurveStatistics(band) || !ui->doubleSpinBoxAutoCustomMean)
        return;
    ui->doubleSpinBoxAutoCustomMean->setValue(selectedCurveSet()->mean[static_cast<std::size_t>(band)]);
}

void FenlarkApp::toolButtonRefresMinMaxForH_clicked()
{
    const int band = getSegmentationBand();
    if (!computeSelectedCurveStatistics(band))
        return;
    const UI::CurveSet& set = *selectedCurveSet();
    if (ui->doubleSpinBoxAutoCustomMin)
        ui->doubleSpinBoxAutoCustomMin->setValue(set.min[static_cast<std::size_t>(band)]);
    if (ui->doubleSpinBoxAutoCustomMax)
        ui->doubleSpinBoxAutoCustomMax->setValue(set.max[static_cast<std::size_t>(band)]);
}

} // namespace UI
