// The automatic segmentation run of the "Evolve" button: the curve set that
// is current in the curves explorer evolves over the page's features on the
// working area, and every exported state becomes a new curve set.

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDoubleSpinBox>
#include <QSpinBox>

#include "app/CurveDrawing.h"
#include "app/FenlarkApp.h"
#include "app/FenlarkAppUI.h"
#include "app/SettingsKeys.h"
#include "app/WidgetUtils.h"
#include "evolution/CurveEvolution.h"
#include "io/File.h"

namespace UI {

const float* FenlarkApp::workingAreaImage(const IO::File* file, int band, const char* cacheKey)
{
    if (!file || band < 0 || band >= static_cast<int>(file->bands.size()) || file->bands[band].levels.empty())
        return nullptr;
    const IO::BandLevel& level = file->bands[band].levels[0];
    const std::size_t expected =
        static_cast<std::size_t>(std::max(file->workAreaWidth, 0)) * static_cast<std::size_t>(std::max(file->workAreaHeight, 0));
    if (expected == 0 || level.cacheSize(cacheKey) != expected)
        return nullptr;
    return level.cacheData(cacheKey);
}

void FenlarkApp::on_pushButtonAutoEvolve_clicked()
{
    if (!autoEvolve())
        showMessageBox(tr("Unable to run evolution of the curve."), 2);
}

bool FenlarkApp::autoEvolve()
{
    setMainControlsLocked(true);
    const int side = ui->activeSide;
    IO::File* file = getDataFile(side);
    QList<CurveSet> sets;
    getCurveSets(sets);
    // A stored index past the list (a stale session value) names no set.
    int row = getCurveExplorerIndex(side);
    if (row >= sets.size())
        row = -1;
    if (!file || sets.isEmpty() || row < 0) {
        showMessageBox(!file || sets.isEmpty() ? tr("Create and select the initial curve") : tr("Select the initial curve"),
                       2);
        setMainControlsLocked(false);
        return true;
    }

    // The working area moves onto the initial set once and then stays.
    centerOnCurve(row, -1, true);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    ui->workingAreaLocked = true;

    // Whatever is declined or fails below ends here: the lock follows the
    // rule of every curve tool, the controls come back.
    const auto finish = [&](bool result) {
        releaseWorkingAreaLock();
        setMainControlsLocked(false);
        refreshActiveViewers();
        return result;
    };

    const CurveSet initial = sets[row];
    if (!initial.allClosed()) {
        const auto answer = askQuestion(this, tr("Close curves"),
                                        tr("Some of the curves in curve set are opened. \n Do you want to close these "
                                           "curves ?"));
        // The evolution would close them: No leaves everything as it was.
        if (answer != QMessageBox::Yes)
            return finish(true);
    }

    const int channel = ui->comboBoxAutoChannel ? ui->comboBoxAutoChannel->currentIndex() : -1;
    if (!computeAutoSegmentationFeatures(static_cast<ViewerSide>(side), channel))
        return finish(false);
    const int band = getSegmentationBand();
    const float* vx = workingAreaImage(file, band, Keys::dataCacheToolsAutoEdgeDetectorGradX);
    const float* vy = workingAreaImage(file, band, Keys::dataCacheToolsAutoEdgeDetectorGradY);
    const float* map = workingAreaImage(file, band, Keys::dataCacheToolsAutoExpandingForceFilterSolution);
    if (!vx || !vy || !ui->doubleSpinBoxAutoCurvatureInfluence || !ui->doubleSpinBoxAutoLambda
        || !ui->spinBoxAutoTotalSteps || !ui->spinBoxAutoExportInterval || !ui->checkBoxAutoVariableTimeStep
        || !ui->checkBoxAutoAutoStop)
        return finish(false);

    // Margins of 10 pixels, points 0.5 apart, curves of at least 10 points
    // and an area of 5: the evolution's own settings.
    CurveEvolution evolution;
    const CurveEvolution::Result states = evolution.evolve(
        initial.pointLists(file->getWorkAreaX(side), file->getWorkAreaY(side)), vx, vy, map, file->workAreaWidth,
        file->workAreaHeight, ui->doubleSpinBoxAutoCurvatureInfluence->value(), ui->doubleSpinBoxAutoLambda->value(),
        ui->spinBoxAutoTotalSteps->value(), ui->spinBoxAutoExportInterval->value(), false,
        ui->checkBoxAutoVariableTimeStep->isChecked(), ui->checkBoxAutoAutoStop->isChecked(), 10, 0.2);

    const bool keepInner = ui->checkBoxAutoSaveInnerCurves && ui->checkBoxAutoSaveInnerCurves->isChecked();
    const bool allKept = storeEvolvedStates(states, file, side, keepInner);
    setCurvesExplorer(getCurveExplorerIndex(side));
    return finish(!states.empty() && allKept);
}

bool FenlarkApp::storeEvolvedStates(const std::vector<std::vector<std::vector<Point2D>>>& states, IO::File* file,
                                    int side, bool keepInner)
{
    if (!file)
        return states.empty();
    const double x0 = file->getWorkAreaX(side);
    const double y0 = file->getWorkAreaY(side);
    const std::vector<int> colour = newCurveColour();
    bool ok = true;
    for (const auto& state : states) {
        std::vector<std::vector<Point2D>> lists = state;
        for (auto& list : lists)
            CurveDrawing::offsetPoints(list, x0, y0);
        CurveSet set(lists);
        set.updateBoundingBoxes();
        // A state touching the border of the grid is not a region inside it.
        if (!(set.minX > 0.0 && set.minY > 0.0 && set.maxX < file->width && set.maxY < file->height)) {
            ok = false;
            continue;
        }
        for (Curve& curve : set.curves)
            curve.updateInnerFromGeometry();
        if (!keepInner) {
            std::erase_if(set.curves, [](const Curve& curve) { return curve.inner; });
            if (set.curves.empty())
                continue;
            set.updateBoundingBoxes();
        }
        set.setName("curveSet_" + std::to_string(curveSetCounter++));
        set.setType("kml");
        set.resetStatistics(static_cast<int>(file->bands.size()));
        for (Curve& curve : set.curves) {
            curve.setSegmType("autoSeg");
            curve.color = colour;
            curve.setName("curve_" + std::to_string(curveCounter++));
        }
        appendCurveSet(std::move(set));
    }
    return ok;
}

} // namespace UI
