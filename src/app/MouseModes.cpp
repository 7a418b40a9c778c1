// The viewers' mouse: one dispatcher for every event of a viewer, the modes
// it serves and what all curve-drawing modes share (the lock of the main
// controls and of the working area, the working curve set, positions in the
// working area) and the Shift-click copy of a position.

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDockWidget>
#include <QMenuBar>
#include <QMouseEvent>
#include <QSettings>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>
#include <QWheelEvent>

#include "app/FenlarkApp.h"
#include "app/CurveDrawing.h"
#include "app/FenlarkAppUI.h"
#include "app/SettingsKeys.h"
#include "app/WidgetUtils.h"
#include "io/File.h"
#include "viewers/ViewerWidget.h"

namespace UI {

namespace {

// While OrthoMosaic > Load files is checked, the square mode draws the search
// square of the orthomosaic area instead of an initial curve.
bool orthoAreaPicking(const FenlarkAppUI& ui)
{
    return ui.action_Ortho_Load_files && ui.action_Ortho_Load_files->isChecked();
}

} // namespace

bool FenlarkApp::interactionHeld() const
{
    return ui->semiSegmentationMode || ui->initCircleMode || ui->initSquareMode || ui->initPolygonMode
        || ui->localAdjustMode || mainControlsLocked_;
}

bool FenlarkApp::mouseModeCanStart() const
{
    const QList<ViewerWidget*> side = sideViewers(ui->activeSide);
    return !side.isEmpty() && !side.first()->isEmpty();
}

bool FenlarkApp::viewerMouseEvent(ViewerWidget* viewer, QEvent* event)
{
    if (!viewer || viewer->isEmpty())
        return false;
    // While a mode or the lock holds, its work belongs to the active side:
    // the other side's viewers neither switch sides nor reach the mode.
    if (viewer->side != ui->activeSide && interactionHeld()) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseMove:
            return QMainWindow::eventFilter(viewer, event);
        default:
            break;
        }
    }
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton) {
            if (mouse->modifiers() == Qt::ShiftModifier)
                copyGpsToClipboard(viewer, mouse);
            mouseTimer.restart();
            // A press on the other side's main viewer first makes that side
            // active, as a click on its tab bar does.
            if (viewer->name == QLatin1String(Keys::viewerWidgetMain) && viewer->side != ui->activeSide) {
                QTabWidget* tabs = viewer->side == 0 ? ui->leftTabWidget : ui->rightTabWidget;
                if (tabs)
                    emit tabs->tabBarClicked(1);
            }
            startViewerDrag(mouse, false);
        } else if (mouse->button() == Qt::RightButton) {
            if (ui->semiSegmentationMode)
                finishSemiSegmentation();
            else if (ui->initSquareMode && orthoAreaPicking(*ui))
                loadOrthoMosaicArea();
            else if (ui->initCircleMode || ui->initSquareMode || ui->initPolygonMode)
                finishInitialCurve();
            else if (ui->localAdjustMode)
                endLocalAdjust();
        }
        break;
    }
    case QEvent::MouseMove: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        // Linked, both sides move before one redraw of both.
        if (mouse->buttons() == Qt::LeftButton && viewer->dragging)
            panSides(mouse, linkedSides(), false);
        showPositionStatus(viewer, mouse);
        const QPointF position = mouse->position();
        if (ui->semiSegmentationMode)
            semiSegmentationMove(position, viewer);
        else if (ui->initCircleMode || ui->initSquareMode || ui->initPolygonMode)
            initShapeMove(position, viewer);
        else if (ui->localAdjustTracking)
            localAdjustMove(position, viewer);
        break;
    }
    case QEvent::MouseButtonRelease: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton)
            break;
        // A click is a release soon after its own press; a release without a
        // press on a viewer (the press went to the preview map) is none.
        const bool click = mouseTimer.withinClick();
        mouseTimer.invalidate();
        if (click) {
            const QPointF position = mouse->position();
            if (ui->semiSegmentationMode)
                semiSegmentationRelease(position, viewer);
            else if (ui->initSquareMode && orthoAreaPicking(*ui))
                pickOrthoMosaicArea(position, viewer);
            else if (ui->initCircleMode || ui->initSquareMode || ui->initPolygonMode)
                initShapeRelease(position, viewer);
            else if (ui->localAdjustMode)
                localAdjustRelease(position, viewer);
        }
        if (viewer->dragging)
            resetDragState();
        break;
    }
    case QEvent::Wheel:
        wheelZoom(viewer, static_cast<QWheelEvent*>(event));
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(viewer, event);
}

void FenlarkApp::setMainControlsLocked(bool locked)
{
    mainControlsLocked_ = locked;
    setEnabledOf({ui->dockWidgetData, ui->dockWidgetProperties, ui->dockWidgetCurves, ui->dockWidgetTools,
                  ui->mainToolBar, ui->menuBar},
                 !locked);
}

void FenlarkApp::releaseWorkingAreaLock()
{
    beginTabGroup(ui->activeSide);
    const int shown = sessionConfig->value(QString::fromLatin1(Keys::featureShowed), 0).toInt();
    sessionConfig->endGroup();
    if (shown == 0)
        ui->workingAreaLocked = false;
}

void FenlarkApp::newWorkingCurveSet()
{
    workingCurveSet = CurveSet();
    workingCurveSet.setName("curveSet_" + std::to_string(curveSetCounter));
    Curve curve;
    curve.setName("curve_" + std::to_string(curveCounter));
    workingCurveSet.addCurve(curve);
    workingCurveIndex = 0;
}

QPointF FenlarkApp::workingAreaOrigin(int side) const
{
    const int index = side == 0 ? ui->leftDataIndex : side == 1 ? ui->rightDataIndex : -1;
    const IO::File* file = index >= 0 && index < dataFiles.size() ? dataFiles[index] : nullptr;
    return file ? QPointF(file->getWorkAreaX(side), file->getWorkAreaY(side)) : QPointF();
}

QPointF FenlarkApp::workingAreaPosition(const ViewerWidget* viewer, QPointF position) const
{
    // The data set of the viewer's own side gives the working-area origin.
    return QPointF(viewer->origin) - workingAreaOrigin(viewer->side) + position / viewer->zoom;
}

void FenlarkApp::copyGpsToClipboard(ViewerWidget* viewer, QMouseEvent* event)
{
    // The pixel belongs to the data set of the clicked viewer's side, which
    // is not yet the active side when the click goes to the other one.
    IO::File* file = getDataFile(viewer->side);
    if (!file)
        return;
    const QPoint position = event->position().toPoint();
    const double x = position.x() / viewer->zoom + viewer->origin.x();
    const double y = position.y() / viewer->zoom + viewer->origin.y();
    const QString text = QString::fromStdString(file->latLonText(x, y));
    if (text.isEmpty())
        return;
    QClipboard* clipboard = QApplication::clipboard();
    clipboard->clear();
    clipboard->setText(text);
    const QString copied = tr("GPS copied to clipboad");
    const QPoint global = event->globalPosition().toPoint();
    viewer->showToolTipAt(global.x(), global.y(), copied);
    showStatusMessage(ui->statusBar, copied, 2000);
}

void FenlarkApp::drawPathPreview(bool withPickedPoints)
{
    IO::File* file = getDataFile(ui->activeSide);
    pathPoints.shrink_to_fit();
    if (!file)
        return;
    // Every point a click may store moves to the full grid, however few;
    // only a path of two points or more is drawn.
    CurveDrawing::offsetPoints(pathPoints, file->getWorkAreaX(ui->activeSide), file->getWorkAreaY(ui->activeSide));
    if (pathPoints.size() < 2 || drawingDeferred())
        return;
    drawWorkingSet();
    drawWorkingCurveOnSide(pathPoints, ui->activeSide);
    if (withPickedPoints)
        drawPickedPointsOnSide(ui->activeSide);
}

void FenlarkApp::drawWorkingSet()
{
    refreshActiveViewers();
    drawCurveSetOnSide(workingCurveSet, true, true);
}

std::vector<int> FenlarkApp::newCurveColour() const
{
    const QString key = QString::fromLatin1(Keys::curveUnactiveCurveColor);
    if (!ui->curveColors.contains(key))
        return {0, 0, 0, 255};
    const QColor colour = ui->curveColors.value(key);
    return {colour.red(), colour.green(), colour.blue(), 255};
}

void FenlarkApp::storeWorkingCurveSet(const char* segmentationType)
{
    IO::File* file = getDataFile(ui->activeSide);
    if (workingCurveIndex < 0 || workingCurveIndex >= static_cast<int>(workingCurveSet.curves.size()) || !file)
        return;
    Curve& curve = workingCurveSet.curves[static_cast<std::size_t>(workingCurveIndex)];
    curve.setSegmType(segmentationType);
    curve.color = newCurveColour();
    workingCurveSet.setType("kml");
    workingCurveSet.resetStatistics(static_cast<int>(file->bands.size()));
    workingCurveSet.updateBoundingBoxes();
    appendCurveSet(workingCurveSet);
    ++curveCounter;
    ++curveSetCounter;
}

} // namespace UI
