// Semi-automatic tracing: each click fixes the end of a segment that the
// mouse drags along the image edges; a click on the first point closes the
// curve, a right press ends an open one. The finished curve, with the rest of
// its set, becomes a new curve set of the active data set.
//
// A move only asks segmentTracer for the segment to its position and returns;
// the segment is drawn when its trace arrives, unless a later move has asked
// for another one by then. A click fixes the segment of its own position.

#include <cmath>

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QSpinBox>

#include "app/CurveDrawing.h"
#include "app/FenlarkApp.h"
#include "app/FenlarkAppUI.h"
#include "app/SegmentTracer.h"
#include "app/SettingsKeys.h"
#include "app/WidgetUtils.h"
#include "io/File.h"
#include "tools/PanelReaders.h"
#include "viewers/ViewerWidget.h"

namespace UI {

namespace {

QString key(const char* text)
{
    return QString::fromLatin1(text);
}

bool anchored(Point2D anchor)
{
    return !(anchor.x == -1.0 && anchor.y == -1.0);
}

bool insideWorkingArea(const IO::File& file, QPointF p)
{
    return p.x() >= 0.0 && p.y() >= 0.0 && p.x() < file.workAreaWidth && p.y() < file.workAreaHeight;
}

} // namespace

bool FenlarkApp::computeSemiSegmentationFeatures(ViewerSide side)
{
    FilterSettings filter;
    if (!ui->doubleSpinBoxSemiGradientSensitivity
        || !readFilter(ui->comboBoxSemiFilterType, ui->doubleSpinBoxSemiLinearTimestep,
                       ui->doubleSpinBoxSemiSensitivity, ui->doubleSpinBoxSemiNonlinearTimestep, filter))
        return false;
    return updateFilterSolution(side, filter.type, filter.linearTimestep, filter.sensitivity, filter.nonlinearTimestep,
                                key(Keys::dataCacheToolsSemiFilterSolution), -1)
        && updateImgGrads(side, key(Keys::dataCacheToolsSemiFilterSolution), key(Keys::dataCacheToolsSemiGradX),
                          key(Keys::dataCacheToolsSemiGradY), -1)
        && (!isMultiChannel(static_cast<int>(side))
            || updateImgMaxGrads(side, key(Keys::dataCacheToolsSemiGradX), key(Keys::dataCacheToolsSemiGradY),
                                 key(Keys::dataCacheToolsSemiMaxGradX), key(Keys::dataCacheToolsSemiMaxGradY)))
        && updateImgEdgeDetector(side, ui->doubleSpinBoxSemiGradientSensitivity->value(),
                                 key(Keys::dataCacheToolsSemiGradX), key(Keys::dataCacheToolsSemiGradY),
                                 key(Keys::dataCacheToolsSemiEdgeDetector), -1)
        && updateSegmEdgeDetectorGradField(side, key(Keys::dataCacheToolsSemiEdgeDetector),
                                           key(Keys::dataCacheToolsSemiEdgeDetectorGradX),
                                           key(Keys::dataCacheToolsSemiEdgeDetectorGradY), -1);
}

bool FenlarkApp::tracerImages(TracerImages& out)
{
    const int side = ui->activeSide;
    const IO::File* file = getDataFile(side);
    const int band = getBandIndex(side, 0);
    const bool multi = isMultiChannel(side);
    out.vx = workingAreaImage(file, band, Keys::dataCacheToolsSemiEdgeDetectorGradX);
    out.vy = workingAreaImage(file, band, Keys::dataCacheToolsSemiEdgeDetectorGradY);
    out.dirX = workingAreaImage(file, band, multi ? Keys::dataCacheToolsSemiMaxGradX : Keys::dataCacheToolsSemiGradX);
    out.dirY = workingAreaImage(file, band, multi ? Keys::dataCacheToolsSemiMaxGradY : Keys::dataCacheToolsSemiGradY);
    return out.vx && out.vy && out.dirX && out.dirY;
}

bool FenlarkApp::prepareSemiFeatures(int, int)
{
    const bool computed = computeSemiSegmentationFeatures(static_cast<ViewerSide>(ui->activeSide));
    ui->workingAreaLocked = true;
    TracerImages images;
    return computed && tracerImages(images);
}

void FenlarkApp::on_pushButtonSemiSegmNew_clicked()
{
    if (!startSemiSegmentation(-1, -1, false))
        showMessageBox(tr("Unable to initalize semi segmentation."), 2);
}

void FenlarkApp::on_pushButtonSemiSegmContinue_clicked()
{
    QList<int> sets;
    QList<QPair<int, int>> curves;
    getSelectedState(sets, curves);
    const CurveDrawing::ContinueChoice choice = CurveDrawing::continueChoice(sets, curves);
    if (!choice.refusal.isEmpty()) {
        showMessageBox(choice.refusal, 2);
        return;
    }
    if (!startSemiSegmentation(choice.set, choice.curve, false))
        showMessageBox(tr("Unable to continue in semi automatic segmentation."), 2);
}

bool FenlarkApp::startSemiSegmentation(int set, int curve, bool keepWorkingSet)
{
    if (!mouseModeCanStart())
        return false;
    // The feature chain below rewrites the images a trace reads.
    segmentTracer->clear();
    setMainControlsLocked(true);
    IO::File* file = getDataFile(ui->activeSide);
    if (set != -1 && curve != -1) {
        QList<CurveSet> sets;
        getCurveSets(sets);
        if (!file || set < 0 || set >= sets.size() || curve < 0
            || curve >= static_cast<int>(sets[set].curves.size())) {
            setMainControlsLocked(false);
            return false;
        }
        const Curve& continued = sets[set].curves[static_cast<std::size_t>(curve)];
        if (continued.closed) {
            setMainControlsLocked(false);
            return false;
        }
        workingCurveSet = sets[set];
        workingCurveIndex = curve;
        if (!continued.points().empty()) {
            const Point2D last = continued.points().back();
            ui->segmentAnchor = {last.x - file->getWorkAreaX(ui->activeSide),
                                 last.y - file->getWorkAreaY(ui->activeSide)};
        }
    } else if (!keepWorkingSet) {
        newWorkingCurveSet();
    }
    // Without its images the tracer has nothing to follow: the mode stays
    // off.
    if (!prepareSemiFeatures(set, curve)) {
        ui->segmentAnchor = {-1.0, -1.0};
        releaseWorkingAreaLock();
        setMainControlsLocked(false);
        return false;
    }
    ui->workingAreaLocked = true;
    ui->semiSegmentationMode = true;
    return true;
}

void FenlarkApp::semiSegmentationRelease(QPointF position, ViewerWidget* viewer)
{
    IO::File* file = getDataFile(ui->activeSide);
    if (!viewer || !file || workingCurveIndex < 0 || workingCurveIndex >= static_cast<int>(workingCurveSet.curves.size()))
        return;
    Curve& curve = workingCurveSet.curves[static_cast<std::size_t>(workingCurveIndex)];
    bool tookSegment = false;
    if (!segmentTracer->hasRequest()) {
        // No move has asked for a segment from the anchor: the click moves
        // the anchor.
        const QPointF p = workingAreaPosition(viewer, position);
        if (insideWorkingArea(*file, p))
            ui->segmentAnchor = {p.x(), p.y()};
    } else {
        // The segment of the click's own position; a click that asks for
        // none (outside the working area) fixes the last move's.
        tookSegment = true;
        SegmentTraceRequest request;
        bool outside = false;
        if (!segmentRequest(position, viewer, request, outside))
            request = segmentTracer->latestRequest();
        std::vector<Point2D> segment = segmentTracer->take(request);
        pathPoints.clear();
        if (!segment.empty()) {
            CurveDrawing::offsetPoints(segment, file->getWorkAreaX(ui->activeSide), file->getWorkAreaY(ui->activeSide));
            curve.appendPoints(segment);
            workingCurveSet.updateBoundingBoxes();
            const QPointF origin = workingAreaOrigin(viewer->side);
            const Point2D last = curve.points().back();
            ui->segmentAnchor = {last.x - origin.x(), last.y - origin.y()};
        }
    }
    if (!curve.points().empty())
        curve.closed = curve.points().front() == curve.points().back();
    if (curve.closed)
        finishSemiSegmentation();
    else if (tookSegment)
        // What the click fixed replaces the preview on the screen at once,
        // not only with the next move's preview.
        drawWorkingSet();
}

bool FenlarkApp::segmentRequest(QPointF position, ViewerWidget* viewer, SegmentTraceRequest& out, bool& outside)
{
    outside = false;
    const Point2D anchor = ui->segmentAnchor;
    IO::File* file = getDataFile(ui->activeSide);
    if (!anchored(anchor) || !viewer || !file)
        return false;
    QPointF mouse = workingAreaPosition(viewer, position);
    if (!insideWorkingArea(*file, mouse)) {
        outside = true;
        return false;
    }
    if (!ui->spinBoxSemiMagnetThreshold || !ui->comboBoxSemiInitialCondition || !ui->doubleSpinBoxSemiCurvatureInfluence
        || !ui->checkBoxSemiAutoStop || !ui->checkBoxSemiEvolveSegment)
        return false;
    TracerImages images;
    if (!tracerImages(images))
        return false;
    Point2D p{mouse.x(), mouse.y()};
    if (workingCurveIndex >= 0 && workingCurveIndex < static_cast<int>(workingCurveSet.curves.size())) {
        const Curve& curve = workingCurveSet.curves[static_cast<std::size_t>(workingCurveIndex)];
        if (!curve.points().empty()) {
            const QPointF origin = workingAreaOrigin(viewer->side);
            const Point2D first{curve.points().front().x - origin.x(), curve.points().front().y - origin.y()};
            p = CurveDrawing::snapToPoint(p, first, ui->spinBoxSemiMagnetThreshold->value());
        }
    }
    out.from = anchor;
    out.to = p;
    out.step = CurveDrawing::tracingStep(std::hypot(p.x - anchor.x, p.y - anchor.y), file->workAreaWidth,
                                         file->workAreaHeight);
    out.straightStart = ui->comboBoxSemiInitialCondition->currentIndex() == 1;
    out.curvatureWeight = ui->doubleSpinBoxSemiCurvatureInfluence->value();
    out.autoStop = ui->checkBoxSemiAutoStop->isChecked();
    out.evolveSegment = ui->checkBoxSemiEvolveSegment->isChecked();
    out.vx = images.vx;
    out.vy = images.vy;
    out.dirX = images.dirX;
    out.dirY = images.dirY;
    out.width = file->workAreaWidth;
    out.height = file->workAreaHeight;
    return true;
}

void FenlarkApp::semiSegmentationMove(QPointF position, ViewerWidget* viewer)
{
    SegmentTraceRequest request;
    bool outside = false;
    if (segmentRequest(position, viewer, request, outside)) {
        segmentTracer->trace(request);
    } else if (outside) {
        const QPoint global = viewer->mapToGlobal(position.toPoint());
        viewer->showToolTipAt(global.x(), global.y(), tr("Cursor is outside working area!"));
    }
}

void FenlarkApp::drawTracedSegment(const std::vector<Point2D>& points)
{
    if (!ui->semiSegmentationMode)
        return;
    pathPoints = points;
    drawPathPreview(false);
    if (pathPoints.size() >= 2)
        emit segmentPreviewDrawn();
}

void FenlarkApp::finishSemiSegmentation()
{
    segmentTracer->clear();
    pathPoints.clear();
    if (workingCurveIndex >= 0 && workingCurveIndex < static_cast<int>(workingCurveSet.curves.size())
        && !workingCurveSet.curves[static_cast<std::size_t>(workingCurveIndex)].points().empty()) {
        // Traced either way round, a closed curve is an outer boundary.
        workingCurveSet.curves[static_cast<std::size_t>(workingCurveIndex)].orientAsOuter();
        storeWorkingCurveSet("semiSeg");
        setCurvesExplorer(getCurveExplorerIndex(ui->activeSide));
    }
    setMainControlsLocked(false);
    releaseWorkingAreaLock();
    ui->semiSegmentationMode = false;
    ui->segmentAnchor = {-1.0, -1.0};
    refreshActiveViewers();
}

} // namespace UI
