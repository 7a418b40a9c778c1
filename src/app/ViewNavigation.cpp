// Zoom, pan and centring of the viewers, the position text of the status
// line and the viewer mouse dispatcher's drag handling.

#include <QLocale>
#include <QMouseEvent>
#include <QStatusBar>
#include <QTabWidget>
#include <QWheelEvent>

#include "app/FenlarkApp.h"
#include "app/FenlarkAppUI.h"
#include "app/SettingsKeys.h"
#include "app/WidgetUtils.h"
#include "io/File.h"
#include "viewers/PreviewWidget.h"
#include "viewers/ViewerWidget.h"

namespace UI {

namespace {

// Marks the redraws of one pan step, so the viewers show their overlay
// layer shifted instead of drawing every overlay again.
class PanFrame {
public:
    explicit PanFrame(bool& flag)
        : flag_(flag)
        , previous_(flag)
    {
        flag_ = true;
    }
    ~PanFrame() { flag_ = previous_; }
    PanFrame(const PanFrame&) = delete;
    PanFrame& operator=(const PanFrame&) = delete;

private:
    bool& flag_;
    bool previous_;
};

// A position on the preview map as a viewer's mouse position: the preview
// position in data pixels scaled to the viewer's screen pixels, negated, so
// that moving right on the map moves the view right.
bool previewToViewer(const PreviewWidget* preview, QPointF position, double zoom, QPoint& out)
{
    if (!preview || !(preview->scaleX > 0.0) || !(preview->scaleY > 0.0))
        return false;
    out = QPoint(-static_cast<int>(position.x() / preview->scaleX * zoom),
                 -static_cast<int>(position.y() / preview->scaleY * zoom));
    return true;
}

QString shortest(double value)
{
    return QLocale::c().toString(value, 'g', QLocale::FloatingPointShortest);
}

} // namespace

void FenlarkApp::zoomByAction(int steps)
{
    ViewerWidget* main = ui->activeSide < viewers.size()
                             ? viewers[ui->activeSide].value(QString::fromLatin1(Keys::viewerWidgetMain))
                             : nullptr;
    if (!main)
        return;
    zoomViewers(QPointF(main->imageWidth / 2, main->imageHeight / 2), steps);
}

void FenlarkApp::zoomViewers(QPointF position, int steps)
{
    // Linked, the hidden right side zooms too, so it opens at the same scale.
    const QList<int> sides = ui->actionLink_left_right->isChecked() ? QList<int>{0, 1}
                                                                      : QList<int>{ui->activeSide};
    for (int side : sides) {
        for (ViewerWidget* viewer : sideViewers(side)) {
            viewer->zoomStep(position, steps);
            refreshViewer(viewer);
        }
    }
}

void FenlarkApp::on_actionZoom_in_triggered()
{
    zoomByAction(+1);
}

void FenlarkApp::on_actionZoom_out_triggered()
{
    zoomByAction(-1);
}

void FenlarkApp::wheelZoom(ViewerWidget* viewer, QWheelEvent* event)
{
    if (!viewer || !event || !sideViewers(ui->activeSide).contains(viewer))
        return;
    // One event is one table step whatever its size; an event without a
    // vertical turn (a sideways tilt) does not zoom.
    const int delta = event->angleDelta().y();
    if (delta == 0)
        return;
    zoomViewers(event->position(), delta > 0 ? 1 : -1);
}

void FenlarkApp::panViewers(IO::File* file, int side, QMouseEvent* event, bool fromPreview)
{
    if (!file || !event)
        return;
    for (ViewerWidget* viewer : sideViewers(side)) {
        QPoint position = event->position().toPoint();
        if (fromPreview && !previewToViewer(previewWidget, event->position(), viewer->zoom, position))
            continue;
        viewer->pan(file->width, file->height, position);
    }
}

void FenlarkApp::panSide(QMouseEvent* event, int side, bool fromPreview)
{
    panSides(event, {side}, fromPreview);
}

void FenlarkApp::panSides(QMouseEvent* event, const QList<int>& sides, bool fromPreview)
{
    bool moved = false;
    for (int side : sides) {
        IO::File* file = getDataFile(side);
        if (!file)
            continue;
        panViewers(file, side, event, fromPreview);
        if (!ui->workingAreaLocked)
            updateWorkingArea(file, side);
        moved = true;
    }
    if (moved) {
        PanFrame frame(panFrame_);
        refreshAllViewers();
    }
}

void FenlarkApp::panFromPreview(QMouseEvent* event)
{
    const QList<ViewerWidget*> active = sideViewers(ui->activeSide);
    if (std::none_of(active.cbegin(), active.cend(), [](ViewerWidget* v) { return v->dragging; }))
        return;
    // One pass per event: a pass moves every viewer and its last mouse
    // position, so a second pass would only redraw.
    panSides(event, linkedSides(), true);
}

QList<int> FenlarkApp::linkedSides() const
{
    if (ui->actionLink_left_right->isChecked())
        return {ui->activeSide, ui->otherSide};
    return {ui->activeSide};
}

void FenlarkApp::resetDragState()
{
    bool layered = false;
    for (int side = 0; side < viewers.size(); ++side) {
        for (ViewerWidget* viewer : sideViewers(side)) {
            layered = layered || viewer->hasOverlayLayer();
            viewer->lastMousePos = QPoint(-1, -1);
            viewer->panRemainder = QPointF();
            viewer->dragging = false;
        }
    }
    // The drag showed its overlays shifted from where it started; the view
    // at rest gets them drawn in full again.
    if (layered) {
        for (int side = 0; side < viewers.size(); ++side) {
            for (ViewerWidget* viewer : sideViewers(side))
                viewer->dropOverlayLayer();
        }
        refreshAllViewers();
    }
}

void FenlarkApp::centerViewers(int side, int x, int y, bool force)
{
    IO::File* file = getDataFile(side);
    if (!file)
        return;
    for (ViewerWidget* viewer : sideViewers(side))
        viewer->centerOn(x, y);
    if (!ui->workingAreaLocked || force)
        updateWorkingArea(file, side);
}

void FenlarkApp::centerOnCurve(int curveSetIndex, int curveIndex, bool force)
{
    if (!getDataFile(ui->activeSide))
        return;
    const QList<CurveSet>& sets = activeCurveSets();
    if (curveSetIndex < 0 || curveSetIndex >= sets.size())
        return;
    const CurveSet& set = sets[curveSetIndex];
    if (curveIndex < -1 || curveIndex >= static_cast<int>(set.curves.size()))
        return;
    double minX = set.minX, minY = set.minY, maxX = set.maxX, maxY = set.maxY;
    if (curveIndex >= 0) {
        const Curve& curve = set.curves[static_cast<std::size_t>(curveIndex)];
        minX = curve.minX;
        minY = curve.minY;
        maxX = curve.maxX;
        maxY = curve.maxY;
    }
    const int x = static_cast<int>((minX + maxX) * 0.5);
    const int y = static_cast<int>((minY + maxY) * 0.5);
    if (x == -1 && y == -1)
        return;
    centerViewers(ui->activeSide, x, y, force);
    if (ui->actionLink_left_right->isChecked() && getDataFile(ui->otherSide))
        centerViewers(ui->otherSide, x, y, force);
    refreshAllViewers();
}

void FenlarkApp::showPositionStatus(ViewerWidget* viewer, QMouseEvent* event)
{
    // The position under the mouse belongs to the data set of the viewer's
    // own side: the two sides may show different scenes.
    IO::File* file = viewer && event && getDataFile(ui->activeSide) ? getDataFile(viewer->side) : nullptr;
    if (!file)
        return;
    const double x = event->position().x() / viewer->zoom + viewer->origin.x();
    const double y = viewer->origin.y() + event->position().y() / viewer->zoom;
    const QString text = tr("%1, Image coordinates %2,%3")
                             .arg(QString::fromStdString(file->positionText(x, y)), shortest(x), shortest(y));
    showStatusMessage(ui->statusBar, text, 0);
}

void FenlarkApp::startViewerDrag(QMouseEvent* event, bool fromPreview)
{
    if (!event)
        return;
    for (int side = 0; side < viewers.size(); ++side) {
        for (ViewerWidget* viewer : sideViewers(side)) {
            QPoint position = event->position().toPoint();
            if (fromPreview && !previewToViewer(previewWidget, event->position(), viewer->zoom, position))
                continue;
            viewer->lastMousePos = position;
            viewer->panRemainder = QPointF();
            viewer->dragging = true;
        }
    }
}

} // namespace UI
