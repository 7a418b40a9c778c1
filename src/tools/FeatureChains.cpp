// The compute-and-show chains of the feature pages and their two buttons.
//
// A chain reads its page's settings and calls the feature drivers in a fixed
// order, every step up to the chosen feature, every time; then it records
// which cache entry the active side's tools viewer shows. It stops at the
// first step that fails, so an old image never stands as the new one.

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QSettings>
#include <QTabWidget>

#include "app/FenlarkApp.h"
#include "app/FenlarkAppUI.h"
#include "app/SettingsKeys.h"
#include "app/WidgetUtils.h"
#include "tools/PanelReaders.h"
#include "viewers/ViewerWidget.h"

namespace UI {

namespace {

// The index of a feature combo, -1 when the combo is gone.
int featureIndex(const QPointer<QComboBox>& combo)
{
    return combo ? combo->currentIndex() : -1;
}

QString key(const char* text)
{
    return QString::fromLatin1(text);
}

} // namespace

bool FenlarkApp::recordShownFeature(const char* cacheKey)
{
    ui->featureShowedCacheByTab[ui->activeSide] = cacheKey;
    beginTabGroup(ui->activeSide);
    sessionConfig->setValue(QString::fromLatin1(Keys::featureShowedCache), QString::fromLatin1(cacheKey));
    sessionConfig->endGroup();
    return true;
}

bool FenlarkApp::setFilterFeature(ViewerSide side)
{
    const int feature = featureIndex(ui->comboBoxFilterFeature);
    FilterSettings filter;
    if (!readFilter(ui->comboBoxFilterType, ui->doubleSpinBoxFilterLinearTimestep, ui->doubleSpinBoxFilterSensitivity,
                    ui->doubleSpinBoxFilterNonlinearTimestep, filter))
        return false;
    const double t1 = filter.linearTimestep;
    const double K = filter.sensitivity;
    const double t2 = filter.nonlinearTimestep;
    if (feature == 1 && filter.type == Filter::linear) {
        showMessageBox(tr("Edge detector is available only while using nonlinear filtration."), 2);
        featureRefusalShown_ = true;
        return false;
    }
    if (feature == 0) {
        return updateFilterSolution(side, filter.type, t1, K, t2, key(Keys::dataCacheToolsFilterSolution), -1)
            && recordShownFeature(Keys::dataCacheToolsFilterSolution);
    }
    if (feature == 1) {
        // The edge detector inside the nonlinear filters: linear
        // pre-smoothing with t1, then g with the sensitivity K.
        return updateFilterSolution(side, Filter::linear, t1, K, t2, key(Keys::dataCacheToolsFilterSolution), -1)
            && updateImgGrads(side, key(Keys::dataCacheToolsFilterSolution), key(Keys::dataCacheToolsFilterGradX),
                              key(Keys::dataCacheToolsFilterGradY), -1)
            && updateImgEdgeDetector(side, K, key(Keys::dataCacheToolsFilterGradX), key(Keys::dataCacheToolsFilterGradY),
                                     key(Keys::dataCacheToolsFilterEdgeDetector), -1)
            && recordShownFeature(Keys::dataCacheToolsFilterEdgeDetector);
    }
    return false;
}

bool FenlarkApp::setSemiFeature(ViewerSide side)
{
    const int feature = featureIndex(ui->comboBoxSemiFeature);
    FilterSettings filter;
    if (feature < 0 || feature > 2 || !ui->doubleSpinBoxSemiGradientSensitivity
        || !readFilter(ui->comboBoxSemiFilterType, ui->doubleSpinBoxSemiLinearTimestep,
                       ui->doubleSpinBoxSemiSensitivity, ui->doubleSpinBoxSemiNonlinearTimestep, filter))
        return false;
    if (!updateFilterSolution(side, filter.type, filter.linearTimestep, filter.sensitivity, filter.nonlinearTimestep,
                              key(Keys::dataCacheToolsSemiFilterSolution), -1))
        return false;
    if (feature == 0)
        return recordShownFeature(Keys::dataCacheToolsSemiFilterSolution);
    if (!updateImgGrads(side, key(Keys::dataCacheToolsSemiFilterSolution), key(Keys::dataCacheToolsSemiGradX),
                        key(Keys::dataCacheToolsSemiGradY), -1)
        || !updateImgEdgeDetector(side, ui->doubleSpinBoxSemiGradientSensitivity->value(),
                                  key(Keys::dataCacheToolsSemiGradX), key(Keys::dataCacheToolsSemiGradY),
                                  key(Keys::dataCacheToolsSemiEdgeDetector), -1))
        return false;
    if (feature == 1)
        return recordShownFeature(Keys::dataCacheToolsSemiEdgeDetector);
    return updateSegmEdgeDetectorGradField(side, key(Keys::dataCacheToolsSemiEdgeDetector),
                                           key(Keys::dataCacheToolsSemiEdgeDetectorGradX),
                                           key(Keys::dataCacheToolsSemiEdgeDetectorGradY), -1)
        && updateSegmEdgeDetectorGradFieldNorm(side, key(Keys::dataCacheToolsSemiEdgeDetectorGradX),
                                               key(Keys::dataCacheToolsSemiEdgeDetectorGradY),
                                               key(Keys::dataCacheToolsSemiNormOfVectField), -1)
        && recordShownFeature(Keys::dataCacheToolsSemiNormOfVectField);
}

// The automatic page's steps in chain order. Each reads its section of the
// page and fails when a control of it is gone.

bool FenlarkApp::autoEdgeFilterStep(ViewerSide side, int channel)
{
    FilterSettings edge;
    return readFilter(ui->comboBoxAutoEdgeFilterType, ui->doubleSpinBoxAutoEdgeLinearTimestep,
                      ui->doubleSpinBoxAutoEdgeSensitivity, ui->doubleSpinBoxAutoEdgeNonlinearTimestep, edge)
        && updateFilterSolution(side, edge.type, edge.linearTimestep, edge.sensitivity, edge.nonlinearTimestep,
                                key(Keys::dataCacheToolsAutoFilterSolution), channel);
}

bool FenlarkApp::autoEdgeDetectorStep(ViewerSide side, int channel)
{
    return ui->doubleSpinBoxAutoGradientSensitivity
        && updateImgGrads(side, key(Keys::dataCacheToolsAutoFilterSolution), key(Keys::dataCacheToolsAutoGradX),
                          key(Keys::dataCacheToolsAutoGradY), channel)
        && updateImgEdgeDetector(side, ui->doubleSpinBoxAutoGradientSensitivity->value(),
                                 key(Keys::dataCacheToolsAutoGradX), key(Keys::dataCacheToolsAutoGradY),
                                 key(Keys::dataCacheToolsAutoEdgeDetector), channel);
}

bool FenlarkApp::autoVectorFieldStep(ViewerSide side, int channel)
{
    FilterSettings field;
    return readFilter(ui->comboBoxAutoVectorFieldFilterType, ui->doubleSpinBoxAutoVectorFieldLinearTimestep,
                      ui->doubleSpinBoxAutoVectorFieldSensitivity, ui->doubleSpinBoxAutoVectorFieldNonlinearTimestep,
                      field)
        && updateFilterFeatureSolution(side, field.type, field.linearTimestep, field.sensitivity,
                                       field.nonlinearTimestep, key(Keys::dataCacheToolsAutoEdgeDetector),
                                       key(Keys::dataCacheToolsAutoEdgeDetectorFilterSolution), channel)
        && updateSegmEdgeDetectorGradField(side, key(Keys::dataCacheToolsAutoEdgeDetectorFilterSolution),
                                           key(Keys::dataCacheToolsAutoEdgeDetectorGradX),
                                           key(Keys::dataCacheToolsAutoEdgeDetectorGradY), channel);
}

bool FenlarkApp::autoHomogeneityFilterStep(ViewerSide side, int channel)
{
    FilterSettings homogeneity;
    return readFilter(ui->comboBoxAutoHomogeneityFilterType, ui->doubleSpinBoxAutoHomogeneityLinearTimestep,
                      ui->doubleSpinBoxAutoHomogeneitySensitivity, ui->doubleSpinBoxAutoHomogeneityNonlinearTimestep,
                      homogeneity)
        && updateFilterSolution(side, homogeneity.type, homogeneity.linearTimestep, homogeneity.sensitivity,
                                homogeneity.nonlinearTimestep, key(Keys::dataCacheToolsAutoHomogeneityFilterSolution),
                                channel);
}

bool FenlarkApp::autoHomogeneityStep(ViewerSide side, int channel)
{
    if (!ui->comboBoxAutoHomogeneityFunctionType)
        return false;
    const bool meanVariant = ui->comboBoxAutoHomogeneityFunctionType->currentIndex() == 0;
    const auto type = meanVariant ? FenlarkAppTypes::DiscontinuousMean : FenlarkAppTypes::DiscontinuousMinMax;
    const QPointer<QDoubleSpinBox>& eps = meanVariant ? ui->doubleSpinBoxAutoEpsMean : ui->doubleSpinBoxAutoEpsMinMax;
    const QPointer<QCheckBox>& useCustom =
        meanVariant ? ui->checkBoxAutoUseCustomMean : ui->checkBoxAutoUseCustomMinMax;
    if (!eps || !useCustom || !ui->doubleSpinBoxAutoCustomMean || !ui->doubleSpinBoxAutoCustomMin
        || !ui->doubleSpinBoxAutoCustomMax)
        return false;
    const QList<double> custom = meanVariant ? QList<double>{ui->doubleSpinBoxAutoCustomMean->value()}
                                             : QList<double>{ui->doubleSpinBoxAutoCustomMin->value(),
                                                             ui->doubleSpinBoxAutoCustomMax->value()};
    return updateHomogeneityFunction(side, type, eps->value(), key(Keys::dataCacheToolsAutoHomogeneityFilterSolution),
                                     key(Keys::dataCacheToolsAutoHomogeneity), channel, useCustom->isChecked(), custom);
}

bool FenlarkApp::autoExpandingForceStep(ViewerSide side, int channel)
{
    FilterSettings expanding;
    return readFilter(ui->comboBoxAutoExpandingFilterType, ui->doubleSpinBoxAutoExpandingLinearTimestep,
                      ui->doubleSpinBoxAutoExpandingSensitivity, ui->doubleSpinBoxAutoExpandingNonlinearTimestep,
                      expanding)
        && updateExpandingForce(side, key(Keys::dataCacheToolsAutoHomogeneity), key(Keys::dataCacheToolsAutoEdgeDetector),
                                key(Keys::dataCacheToolsAutoExpandingForce), channel)
        && updateFilterFeatureSolution(side, expanding.type, expanding.linearTimestep, expanding.sensitivity,
                                       expanding.nonlinearTimestep, key(Keys::dataCacheToolsAutoExpandingForce),
                                       key(Keys::dataCacheToolsAutoExpandingForceFilterSolution), channel);
}

bool FenlarkApp::computeAutoSegmentationFeatures(ViewerSide side, int channel)
{
    return autoEdgeFilterStep(side, channel) && autoEdgeDetectorStep(side, channel)
        && autoVectorFieldStep(side, channel) && autoHomogeneityFilterStep(side, channel)
        && autoHomogeneityStep(side, channel) && autoExpandingForceStep(side, channel);
}

bool FenlarkApp::setAutoFeature(ViewerSide side)
{
    // The channel selector: the combo's index, -1 (the display bands) while
    // the list is empty.
    const int channel = ui->comboBoxAutoChannel ? ui->comboBoxAutoChannel->currentIndex() : -1;
    const int feature = featureIndex(ui->comboBoxAutoFeature);
    if (feature < 0 || feature > 5)
        return false;

    const bool edgeBranch = feature == 0 || feature == 1 || feature == 2 || feature == 5;
    if (edgeBranch) {
        if (!autoEdgeFilterStep(side, channel))
            return false;
        if (feature == 0)
            return recordShownFeature(Keys::dataCacheToolsAutoFilterSolution);
        if (!autoEdgeDetectorStep(side, channel))
            return false;
        if (feature == 1)
            return recordShownFeature(Keys::dataCacheToolsAutoEdgeDetector);
        if (feature == 2) {
            return autoVectorFieldStep(side, channel)
                && updateSegmEdgeDetectorGradFieldNorm(side, key(Keys::dataCacheToolsAutoEdgeDetectorGradX),
                                                       key(Keys::dataCacheToolsAutoEdgeDetectorGradY),
                                                       key(Keys::dataCacheToolsAutoNormOfVectField), channel)
                && recordShownFeature(Keys::dataCacheToolsAutoNormOfVectField);
        }
    }

    // The homogeneity branch (features 3 and 4, and 5 after the edge branch).
    if (!autoHomogeneityFilterStep(side, channel))
        return false;
    if (feature == 3)
        return recordShownFeature(Keys::dataCacheToolsAutoHomogeneityFilterSolution);
    if (!autoHomogeneityStep(side, channel))
        return false;
    if (feature == 4)
        return recordShownFeature(Keys::dataCacheToolsAutoHomogeneity);
    return autoExpandingForceStep(side, channel)
        && recordShownFeature(Keys::dataCacheToolsAutoExpandingForceFilterSolution);
}

bool FenlarkApp::setMonitoringFeature(ViewerSide side)
{
    // The page carries no feature controls of its own: while any is missing
    // the chain computes nothing.
    const int feature = featureIndex(ui->comboBoxMonitoringFeature);
    FilterSettings filter;
    if (feature < 0 || feature > 1 || !ui->checkBoxMonitoringMeanOfChannels
        || !ui->doubleSpinBoxMonitoringLaplacianSensitivity
        || !readFilter(ui->comboBoxMonitoringFilterType, ui->doubleSpinBoxMonitoringLinearTimestep,
                       ui->doubleSpinBoxMonitoringSensitivity, ui->doubleSpinBoxMonitoringNonlinearTimestep, filter))
        return false;
    if (!updateFilterSolution(side, filter.type, filter.linearTimestep, filter.sensitivity, filter.nonlinearTimestep,
                              key(Keys::dataCacheToolsMonitoringFilterSolution), -1))
        return false;
    const bool three = feature == 1;
    const char* laplacian = three ? Keys::dataCacheToolsMonitoringGL3 : Keys::dataCacheToolsMonitoringGL5;
    const char* mean = three ? Keys::dataCacheToolsMonitoringMeanGL3 : Keys::dataCacheToolsMonitoringMeanGL5;
    const bool overChannels =
        ui->checkBoxMonitoringMeanOfChannels->isChecked() && isMultiChannel(static_cast<int>(side));
    return updateGraphLaplacianSolution(side, three ? 3 : 5, key(Keys::dataCacheToolsMonitoringFilterSolution),
                                        key(laplacian), overChannels, overChannels ? key(mean) : QString())
        && recordShownFeature(overChannels ? mean : laplacian);
}

// ------------------------------------------------------------------ buttons

void FenlarkApp::showFeature(bool (FenlarkApp::*chain)(ViewerSide))
{
    // A shown tools viewer is hidden, and nothing is computed.
    if (!setPushButtonHideOrShow(QString::fromLatin1(Keys::viewerWidgetToolsFeature)))
        return;
    const int side = ui->activeSide;
    featureRefusalShown_ = false;
    if (!(this->*chain)(static_cast<ViewerSide>(side))) {
        failedFeature(side);
        return;
    }
    refreshViewer(viewers[side].value(QString::fromLatin1(Keys::viewerWidgetToolsFeature)));
    ui->workingAreaLocked = true;
}

void FenlarkApp::failedFeature(int side)
{
    // No empty viewer stays under "Hide feature".
    retireFeatureViewer(side);
    if (!featureRefusalShown_)
        showMessageBox(tr("Unable to compute the feature."), 2);
    featureRefusalShown_ = false;
}

void FenlarkApp::updateFeature(bool (FenlarkApp::*chain)(ViewerSide))
{
    const int side = ui->activeSide;
    QTabWidget* tabs = side == 0 ? ui->leftTabWidget : ui->rightTabWidget;
    auto* grid = tabs && tabs->widget(0) ? qobject_cast<QGridLayout*>(tabs->widget(0)->layout()) : nullptr;
    IO::File* file = getDataFile(side);
    if (!grid || !grid->itemAtPosition(0, 1) || !file)
        return;

    // Recompute where the user looks; a linked other side follows, and a
    // feature it shows no longer matches its moved window.
    updateWorkingArea(file, side);
    if (ui->actionLink_left_right && ui->actionLink_left_right->isChecked()) {
        const int other = 1 - side;
        IO::File* otherFile = getDataFile(other);
        const QPoint before = otherFile ? QPoint(otherFile->getWorkAreaX(other), otherFile->getWorkAreaY(other))
                                        : QPoint();
        syncWorkingArea(other);
        if (otherFile && QPoint(otherFile->getWorkAreaX(other), otherFile->getWorkAreaY(other)) != before)
            retireFeatureViewer(other);
    }
    featureRefusalShown_ = false;
    if ((this->*chain)(static_cast<ViewerSide>(side)))
        refreshViewer(viewers[side].value(QString::fromLatin1(Keys::viewerWidgetToolsFeature)));
    else
        failedFeature(side);
}

void FenlarkApp::pushButtonFilterFeatureShow_clicked()
{
    showFeature(&FenlarkApp::setFilterFeature);
}

void FenlarkApp::pushButtonFilterFeatureRefreshImage_clicked()
{
    updateFeature(&FenlarkApp::setFilterFeature);
}

void FenlarkApp::pushButtonSemiFeatureShow_clicked()
{
    showFeature(&FenlarkApp::setSemiFeature);
}

void FenlarkApp::pushButtonSemiFeatureRefreshImage_clicked()
{
    updateFeature(&FenlarkApp::setSemiFeature);
}

void FenlarkApp::pushButtonAutoFeatureShow_clicked()
{
    showFeature(&FenlarkApp::setAutoFeature);
}

void FenlarkApp::pushButtonAutoFeatureRefreshImage_clicked()
{
    updateFeature(&FenlarkApp::setAutoFeature);
}

void FenlarkApp::pushButtonMonitoringFeatureShow_clicked()
{
    showFeature(&FenlarkApp::setMonitoringFeature);
}

void FenlarkApp::pushButtonMonitoringFeatureRefreshImage_clicked()
{
    updateFeature(&FenlarkApp::setMonitoringFeature);
}

} // namespace UI
