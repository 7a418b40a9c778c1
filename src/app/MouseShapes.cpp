// Initial curves of the automatic segmentation drawn by mouse: a circle
// around a centre, a square around a pixel and a polygon side by side. The
// first click anchors the shape, moves preview it, the next click (or, for a
// polygon, a click at its first point or a right press) stores it as a new
// curve set of the active data set.

#include <cmath>

#include <QSpinBox>

#include "app/CurveDrawing.h"
#include "app/FenlarkApp.h"
#include "app/FenlarkAppUI.h"
#include "app/WidgetUtils.h"
#include "io/File.h"
#include "viewers/ViewerWidget.h"

namespace UI {

namespace {

Point2D toPoint(QPointF p)
{
    return {p.x(), p.y()};
}

bool anchored(Point2D anchor)
{
    return !(anchor.x == -1.0 && anchor.y == -1.0);
}

// A length in pixels of a data set's grid, in metres of its ground.
QString metres(double pixels, const IO::File* file)
{
    return QString::number(pixels * (file ? file->groundPixelSize() : IO::File::defaultGroundPixelSize));
}

} // namespace

bool FenlarkApp::startInitialCurve(int shape, int, bool keepWorkingSet)
{
    if (!mouseModeCanStart())
        return false;
    setMainControlsLocked(true);
    if (!keepWorkingSet)
        newWorkingCurveSet();
    ui->workingAreaLocked = true;
    switch (shape) {
    case 0:
        ui->initCircleMode = true;
        ui->initSquareMode = ui->initPolygonMode = false;
        break;
    case 1:
        ui->initSquareMode = true;
        ui->initCircleMode = ui->initPolygonMode = false;
        break;
    case 2:
        ui->initPolygonMode = true;
        ui->initCircleMode = ui->initSquareMode = false;
        break;
    default:
        break;
    }
    return true;
}

void FenlarkApp::on_pushButtonAutoInitCircle_clicked()
{
    if (!startInitialCurve(0, -1, false))
        showMessageBox(tr("Unable to create initial curve."), 2);
}

void FenlarkApp::on_pushButtonAutoInitSquare_clicked()
{
    if (!startInitialCurve(1, -1, false))
        showMessageBox(tr("Unable to create initial square."), 2);
}

void FenlarkApp::on_pushButtonAutoInitPolygon_clicked()
{
    if (!startInitialCurve(2, -1, false))
        showMessageBox(tr("Unable to create initial curve."), 2);
}

void FenlarkApp::initShapeMove(QPointF position, ViewerWidget* viewer)
{
    const Point2D anchor = ui->shapeAnchor;
    if (!anchored(anchor) || !viewer)
        return;
    Point2D p = toPoint(workingAreaPosition(viewer, position));
    const IO::File* file = getDataFile(viewer->side);
    if (ui->initCircleMode) {
        const double radius = std::hypot(p.x - anchor.x, p.y - anchor.y);
        pathPoints = CurveDrawing::circlePath(anchor, radius);
        showToolTipAtCursor(tr("Radius: %1m").arg(metres(radius, file)));
    } else if (ui->initSquareMode) {
        CurveDrawing::Square square = CurveDrawing::squarePath(anchor, p);
        pathPoints = std::move(square.points);
        showToolTipAtCursor(tr("Edge: %1m").arg(metres(square.edge, file)));
    } else if (ui->initPolygonMode) {
        const Curve* curve = workingCurveIndex >= 0 && workingCurveIndex < static_cast<int>(workingCurveSet.curves.size())
                                 ? &workingCurveSet.curves[static_cast<std::size_t>(workingCurveIndex)]
                                 : nullptr;
        if (curve && !curve->points().empty()) {
            // The magnet: near the first point the side ends on it.
            const QPointF origin = workingAreaOrigin(viewer->side);
            const Point2D first{curve->points().front().x - origin.x(), curve->points().front().y - origin.y()};
            const double threshold = ui->spinBoxSemiMagnetThreshold ? ui->spinBoxSemiMagnetThreshold->value() : 0;
            p = CurveDrawing::snapToPoint(p, first, threshold);
        }
        pathPoints = CurveDrawing::polygonSide(anchor, p);
        showToolTipAtCursor(tr("Side: %1m").arg(metres(std::hypot(p.x - anchor.x, p.y - anchor.y), file)));
    } else {
        return;
    }
    drawPathPreview(false);
}

void FenlarkApp::initShapeRelease(QPointF position, ViewerWidget* viewer)
{
    if (!viewer)
        return;
    if (pathPoints.empty()) {
        const QPointF anchor = workingAreaPosition(viewer, position);
        ui->shapeAnchor = {anchor.x(), anchor.y()};
        return;
    }
    IO::File* file = getDataFile(ui->activeSide);
    if (!file || workingCurveIndex < 0 || workingCurveIndex >= static_cast<int>(workingCurveSet.curves.size())) {
        pathPoints.clear();
        return;
    }
    Curve& curve = workingCurveSet.curves[static_cast<std::size_t>(workingCurveIndex)];
    curve.appendPoints(pathPoints);
    curve.updateInnerFromGeometry();
    workingCurveSet.updateBoundingBoxes();
    if (ui->initCircleMode || ui->initSquareMode) {
        curve.closed = true;
        finishInitialCurve();
    } else if (ui->initPolygonMode) {
        const Point2D last = curve.points().back();
        ui->shapeAnchor = {last.x - file->getWorkAreaX(ui->activeSide), last.y - file->getWorkAreaY(ui->activeSide)};
        const Point2D first = curve.points().front();
        const double threshold = ui->spinBoxSemiMagnetThreshold ? ui->spinBoxSemiMagnetThreshold->value() : 0;
        if (std::hypot(last.x - first.x, last.y - first.y) < threshold)
            finishInitialCurve();
    }
    pathPoints.clear();
}

void FenlarkApp::finishInitialCurve()
{
    pathPoints.clear();
    IO::File* file = getDataFile(ui->activeSide);
    Curve* curve = workingCurveIndex >= 0 && workingCurveIndex < static_cast<int>(workingCurveSet.curves.size())
                       ? &workingCurveSet.curves[static_cast<std::size_t>(workingCurveIndex)]
                       : nullptr;
    if (file && curve && !curve->points().empty()) {
        if (ui->initPolygonMode) {
            // The closing side from the last vertex back to the first point,
            // ending exactly on it.
            const double x0 = file->getWorkAreaX(ui->activeSide);
            const double y0 = file->getWorkAreaY(ui->activeSide);
            const Point2D first = curve->points().front();
            std::vector<Point2D> side = CurveDrawing::polygonSide(ui->shapeAnchor, {first.x - x0, first.y - y0});
            CurveDrawing::offsetPoints(side, x0, y0);
            if (!(side.back() == first))
                side.push_back(first);
            curve->appendPoints(side);
            curve->closed = true;
        }
        // A shape of fewer than three distinct points (a circle of radius
        // 0, a polygon closed where it started) encloses nothing: the mode
        // ends as on a cancel. However the mouse went round, a drawn shape is an outer
        // boundary.
        if (CurveDrawing::enclosesArea(curve->points())) {
            curve->orientAsOuter();
            storeWorkingCurveSet("initCurve");
            setCurvesExplorer(static_cast<int>(activeCurveSets().size()) - 1);
        }
    }
    setMainControlsLocked(false);
    releaseWorkingAreaLock();
    if (ui->initCircleMode)
        ui->initCircleMode = false;
    else if (ui->initSquareMode)
        ui->initSquareMode = false;
    else if (ui->initPolygonMode)
        ui->initPolygonMode = false;
    ui->shapeAnchor = {-1.0, -1.0};
    refreshActiveViewers();
}

} // namespace UI
