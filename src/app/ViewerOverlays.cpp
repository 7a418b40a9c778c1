// Vector overlays painted into a viewer's image after the image itself: the
// curve sets of the active data set, the curve that mouse input builds, the
// points picked for a local adjustment and the habitat plot marks. All
// geometry is kept in data pixels and converted per viewer.

#include <algorithm>

#include <QComboBox>
#include <QRect>
#include <QSettings>
#include <QSpinBox>

#include "app/FenlarkApp.h"
#include "app/FenlarkAppUI.h"
#include "app/SettingsKeys.h"
#include "app/WidgetUtils.h"
#include "io/File.h"
#include "viewers/ViewerWidget.h"

namespace UI {

namespace {

// Relative to the viewer's overlay origin: the view's, or the origin of the
// drag layer being drawn, which may be an earlier view's.
QPointF toImage(const ViewerWidget& viewer, double x, double y)
{
    const QPoint origin = viewer.overlayOrigin();
    return QPointF((x - origin.x()) * viewer.zoom, (y - origin.y()) * viewer.zoom);
}

QList<QPointF> toImage(const ViewerWidget& viewer, const std::vector<Point2D>& points)
{
    QList<QPointF> out;
    out.reserve(static_cast<qsizetype>(points.size()));
    for (const Point2D& point : points)
        out.append(toImage(viewer, point.x, point.y));
    return out;
}

// A box coordinate as a pixel, truncated toward zero; coordinates beyond the
// int range (a set without points has an inverted, unbounded box) are held
// at its ends.
int boxPixel(double value)
{
    constexpr double limit = 1e9;
    if (!(value == value))
        return 0;
    return static_cast<int>(std::clamp(value, -limit, limit));
}

QColor curveColour(const std::vector<int>& rgba)
{
    QColor colour(0, 0, 0, 255);
    if (rgba.size() >= 4)
        colorFromVector(rgba, colour);
    return colour;
}

// The width from the properties panel, or the session's default until the
// panel exists.
int panelWidth(const QPointer<QSpinBox>& box, QSettings* session, const char* key)
{
    if (box)
        return box->value();
    return session ? session->value(QString::fromLatin1(key)).toInt() : 1;
}

} // namespace

void FenlarkApp::drawCurveSetOnSide(const CurveSet& set, bool onActiveSide, bool highlighted)
{
    for (ViewerWidget* viewer : sideViewers(onActiveSide ? ui->activeSide : ui->otherSide))
        drawCurveSet(set, viewer, highlighted);
}

void FenlarkApp::drawCurveSet(const CurveSet& set, ViewerWidget* viewer, bool highlighted)
{
    if (!viewer || !set.visible)
        return;
    // Sets that cannot reach the image (or, drawn into a drag's layer, the
    // layer) are left out.
    const QRect reach = viewer->overlayDataRect();
    if (!viewOverlapsBox(reach.topLeft(), reach.bottomRight(), QPoint(boxPixel(set.minX), boxPixel(set.minY)),
                         QPoint(boxPixel(set.maxX), boxPixel(set.maxY))))
        return;
    const int width = panelWidth(ui->spinBoxCurveWidth, sessionConfig, Keys::curveLineWidth);
    const QColor active = ui->curveColors.value(QString::fromLatin1(Keys::curveActiveCurveColor));
    for (const Curve& curve : set.curves) {
        if (!curve.visible)
            continue;
        viewer->drawPolyline(toImage(*viewer, curve.points()), highlighted ? active : curveColour(curve.color), width);
    }
}

bool FenlarkApp::viewOverlapsBox(QPoint viewStart, QPoint viewEnd, QPoint boxMin, QPoint boxMax)
{
    // Closed intervals on both axes: a box crossing the view like a plus
    // sign overlaps it although no corner or centre of either lies inside
    // the other.
    return viewStart.x() <= boxMax.x() && boxMin.x() <= viewEnd.x() && viewStart.y() <= boxMax.y()
        && boxMin.y() <= viewEnd.y();
}

void FenlarkApp::drawWorkingCurveOnSide(const std::vector<Point2D>& points, int side)
{
    for (ViewerWidget* viewer : sideViewers(side))
        drawWorkingCurve(points, viewer);
}

void FenlarkApp::drawWorkingCurve(const std::vector<Point2D>& points, ViewerWidget* viewer)
{
    if (!viewer || points.empty())
        return;
    viewer->drawPolyline(toImage(*viewer, points), ui->curveColors.value(QString::fromLatin1(Keys::curveCurrentCurveColor)),
                         panelWidth(ui->spinBoxCurveWidth, sessionConfig, Keys::curveLineWidth));
}

void FenlarkApp::drawPickedPointsOnSide(int side)
{
    for (ViewerWidget* viewer : sideViewers(side))
        drawPickedPoints(viewer);
}

void FenlarkApp::drawPickedPoints(ViewerWidget* viewer)
{
    if (!viewer || ui->pickedPointIndices.empty() || !getDataFile(ui->activeSide))
        return;
    // Picks can outlive their curve (deleted, or another data set shown):
    // then nothing is drawn.
    const QList<CurveSet>& sets = activeCurveSets();
    if (ui->pickedCurveSet < 0 || ui->pickedCurveSet >= sets.size())
        return;
    const std::vector<Curve>& curves = sets[ui->pickedCurveSet].curves;
    if (ui->pickedCurve < 0 || ui->pickedCurve >= static_cast<int>(curves.size()))
        return;
    const std::vector<Point2D>& points = curves[static_cast<std::size_t>(ui->pickedCurve)].points();
    QList<QPointF> picked;
    for (std::size_t k = 0; k < std::min<std::size_t>(2, ui->pickedPointIndices.size()); ++k) {
        const int index = ui->pickedPointIndices[k];
        if (index >= 0 && index < static_cast<int>(points.size()))
            picked.append(toImage(*viewer, points[static_cast<std::size_t>(index)].x,
                                  points[static_cast<std::size_t>(index)].y));
    }
    viewer->drawPoints(picked, QColor(QStringLiteral("red")), 2);
}

void FenlarkApp::drawHabitatPlotMarks(QPointer<ViewerWidget> viewer)
{
    if (!viewer || !ui->comboBoxHabitat || ui->comboBoxHabitat->count() == 0)
        return;
    // The plots belong to one data set: another tile (or an orthomosaic) on
    // this side has other pixel positions.
    if (!sideShowsHabitatPlots(viewer->side))
        return;
    const auto group = habitatPlots.constFind(ui->comboBoxHabitat->currentText());
    if (group == habitatPlots.cend() || group->plots.isEmpty())
        return;
    const int width = panelWidth(ui->spinBoxPlotWidth, sessionConfig, Keys::habitatPlotMarkWidth);
    QList<QPointF> marks;
    marks.reserve(group->plots.size());
    for (const HabitatPlot& plot : group->plots)
        marks.append(toImage(*viewer, plot.pixelX, plot.pixelY));
    viewer->drawMarks(marks, ui->habitatPlotColors.value(QString::fromLatin1(Keys::habitatPlotMarkColor)), width);
    // The chosen plot on top; a stale choice (the table was reloaded) draws
    // nothing more.
    const int chosen = ui->comboBoxHabitatPlot ? ui->comboBoxHabitatPlot->currentIndex() : -1;
    if (chosen >= 0 && chosen < marks.size())
        viewer->drawMarks({marks[chosen]},
                          ui->habitatPlotColors.value(QString::fromLatin1(Keys::habitatPlotSelectedMarkColor)), width);
}

} // namespace UI
