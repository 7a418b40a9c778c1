// Local adjustment of a curve by mouse: two picked points of an open curve,
// or three of a closed one (the third names the arc to replace), then the
// piece between them is retraced through the mouse along the image edges and
// the next click splices it in. The result is a new curve set; the picked set
// itself is never changed.

#include <algorithm>
#include <limits>

#include "app/CurveDrawing.h"
#include "app/FenlarkApp.h"
#include "app/FenlarkAppUI.h"
#include "app/WidgetUtils.h"
#include "evolution/SegmentEvolution.h"
#include "io/File.h"
#include "viewers/ViewerWidget.h"

namespace UI {

namespace {

// The picked curve of a copy of the list, or null when the pick does not
// name one.
const Curve* pickedCurve(const QList<CurveSet>& sets, int set, int curve)
{
    if (set < 0 || set >= sets.size() || curve < 0 || curve >= static_cast<int>(sets[set].curves.size()))
        return nullptr;
    return &sets[set].curves[static_cast<std::size_t>(curve)];
}

bool picksComplete(const std::vector<int>& picks, bool closed)
{
    return picks.size() == 3 || (picks.size() == 2 && !closed);
}

} // namespace

void FenlarkApp::pickCurvePoint(QPointF position, ViewerWidget* viewer)
{
    QList<CurveSet> sets;
    getCurveSets(sets);
    // No picked set (the explorer refused the selection): nothing to pick.
    const int setIndex = ui->pickedCurveSet;
    if (!viewer || setIndex < 0 || setIndex >= sets.size())
        return;
    const CurveSet& set = sets[setIndex];
    if (set.curves.empty() || set.curves.front().points().empty())
        return;
    const double mx = static_cast<int>(position.x() / viewer->zoom) + viewer->origin.x();
    const double my = static_cast<int>(position.y() / viewer->zoom) + viewer->origin.y();
    const auto nearest = [&](const Curve& curve, double& best, int& index) {
        const std::vector<Point2D>& points = curve.points();
        for (std::size_t i = 0; i < points.size(); ++i) {
            const double dx = points[i].x - mx;
            const double dy = points[i].y - my;
            const double d = dx * dx + dy * dy;
            if (d < best) {
                best = d;
                index = static_cast<int>(i);
            }
        }
    };
    double best = std::numeric_limits<double>::infinity();
    int index = -1;
    if (ui->pickedPointIndices.empty() && ui->pickedCurve == -1) {
        for (std::size_t c = 0; c < set.curves.size(); ++c) {
            const double before = best;
            nearest(set.curves[c], best, index);
            if (best < before)
                ui->pickedCurve = static_cast<int>(c);
        }
    } else if (const Curve* curve = pickedCurve(sets, setIndex, ui->pickedCurve)) {
        nearest(*curve, best, index);
    }
    if (index < 0)
        return;
    if (std::find(ui->pickedPointIndices.begin(), ui->pickedPointIndices.end(), index) != ui->pickedPointIndices.end()) {
        showMessageBox(tr("Selected point can not be the same as the previously selected one."), 2);
        return;
    }
    ui->pickedPointIndices.push_back(index);
}

void FenlarkApp::localAdjustRelease(QPointF position, ViewerWidget* viewer)
{
    const auto closedCurve = [&] {
        QList<CurveSet> sets;
        getCurveSets(sets);
        const Curve* curve = pickedCurve(sets, ui->pickedCurveSet, ui->pickedCurve);
        return curve && curve->closed;
    };
    if (picksComplete(ui->pickedPointIndices, closedCurve())) {
        applyLocalAdjust();
        return;
    }
    if (ui->pickedPointIndices.size() < 3) {
        pickCurvePoint(position, viewer);
        drawPickedPointsOnSide(ui->activeSide);
        // The first pick may just have chosen the curve.
        if (picksComplete(ui->pickedPointIndices, closedCurve())) {
            ui->localAdjustTracking = true;
            prepareSemiFeatures(ui->pickedCurveSet, ui->pickedCurve);
        }
    }
    refreshActiveViewers();
}

void FenlarkApp::localAdjustMove(QPointF position, ViewerWidget* viewer)
{
    IO::File* file = getDataFile(ui->activeSide);
    TracerImages images;
    if (!viewer || !file || !tracerImages(images))
        return;
    const QPointF mouse = workingAreaPosition(viewer, position);
    if (mouse.x() < 0.0 || mouse.y() < 0.0 || mouse.x() >= file->workAreaWidth || mouse.y() >= file->workAreaHeight)
        return;
    QList<CurveSet> sets;
    getCurveSets(sets);
    const Curve* curve = pickedCurve(sets, ui->pickedCurveSet, ui->pickedCurve);
    const std::vector<int>& picks = ui->pickedPointIndices;
    if (!curve || picks.size() < 2)
        return;
    const int size = static_cast<int>(curve->points().size());
    if (picks[0] < 0 || picks[0] >= size || picks[1] < 0 || picks[1] >= size)
        return;

    const Point2D p{mouse.x(), mouse.y()};
    ui->segmentAnchor = p;
    const double step = CurveDrawing::tracingStep(0.0, file->workAreaWidth, file->workAreaHeight);
    const QPointF origin = workingAreaOrigin(viewer->side);
    const Point2D a{curve->points()[static_cast<std::size_t>(picks[1])].x - origin.x(),
                    curve->points()[static_cast<std::size_t>(picks[1])].y - origin.y()};
    const Point2D b{curve->points()[static_cast<std::size_t>(picks[0])].x - origin.x(),
                    curve->points()[static_cast<std::size_t>(picks[0])].y - origin.y()};

    const auto [vx, vy, dirX, dirY] = images;
    const int width = file->workAreaWidth;
    const int height = file->workAreaHeight;
    SegmentEvolution toMouse;
    SegmentEvolution fromMouse;
    pathPoints = toMouse.segmentBetweenPoints(step, false, a.x, p.x, a.y, p.y, vx, vy, dirX, dirY, width, height,
                                              0.3, true, true);
    const std::vector<Point2D> second = fromMouse.segmentBetweenPoints(step, false, p.x, b.x, p.y, b.y, vx, vy, dirX,
                                                                       dirY, width, height, 0.3, true, true);
    pathPoints.insert(pathPoints.end(), second.begin(), second.end());
    SegmentEvolution smoothing;
    pathPoints = smoothing.adjustCurve(pathPoints, dirX, dirY, width, height, 0.03);
    drawPathPreview(true);
}

void FenlarkApp::applyLocalAdjust()
{
    IO::File* file = getDataFile(ui->activeSide);
    QList<CurveSet> sets;
    getCurveSets(sets);
    const Curve* curve = pickedCurve(sets, ui->pickedCurveSet, ui->pickedCurve);
    if (!file || !curve) {
        endLocalAdjust();
        return;
    }
    std::vector<Point2D> points = curve->points();
    if (!pathPoints.empty()) {
        points = CurveDrawing::spliceCurve(points, ui->pickedPointIndices, curve->closed, pathPoints);
        pathPoints.clear();
    }

    CurveSet adjusted = sets[ui->pickedCurveSet];
    adjusted.setName("curveSet_" + std::to_string(curveSetCounter++));
    adjusted.setType("kml");
    adjusted.resetStatistics(static_cast<int>(file->bands.size()));
    Curve& changed = adjusted.curves[static_cast<std::size_t>(ui->pickedCurve)];
    changed.setPoints(points);
    // Area, perimeter and the hole flag describe the new shape.
    changed.updateInnerFromGeometry();
    adjusted.updateBoundingBoxes();
    ++curveCounter;
    appendCurveSet(std::move(adjusted));
    setCurvesExplorer(getCurveExplorerIndex(ui->activeSide));

    // The images were computed for this working window, which the end of the
    // adjustment lets go; endLocalAdjust brings the controls back.
    ui->semiSegmentationMode = false;
    clearFeatureCache(ui->activeSide);
    endLocalAdjust();
}

void FenlarkApp::endLocalAdjust()
{
    pathPoints.clear();
    ui->workingAreaLocked = false;
    ui->localAdjustTracking = false;
    ui->localAdjustMode = false;
    ui->pickedCurveSet = -1;
    ui->pickedCurve = -1;
    ui->pickedPointIndices.clear();
    setMainControlsLocked(false);
    ui->segmentAnchor = {-1.0, -1.0};
    refreshActiveViewers();
}

} // namespace UI
