#include "viewers/ViewGeometry.h"

#include <algorithm>
#include <cmath>

namespace UI::ViewGeometry {

VisibleRegion visibleRegion(QSize viewportSize, QPoint origin, double zoom, int dataWidth, int dataHeight)
{
    VisibleRegion region;
    if (!(zoom > 0.0)) {
        region.end = origin;
        return region;
    }
    // int() truncates toward zero, also for the negative spans of a viewport
    // smaller than its margin.
    const int spanX = static_cast<int>((viewportSize.width() - viewportMargin) / zoom + 0.5);
    const int spanY = static_cast<int>((viewportSize.height() - viewportMargin) / zoom + 0.5);
    int endX = std::min(origin.x() + spanX, dataWidth);
    int endY = std::min(origin.y() + spanY, dataHeight);
    // An origin at or past the data's end shows nothing rather than a
    // negative region.
    endX = std::max(endX, origin.x());
    endY = std::max(endY, origin.y());
    region.end = QPoint(endX, endY);
    region.size = QSize(endX - origin.x(), endY - origin.y());
    region.imageSize = QSize(static_cast<int>(region.size.width() * zoom + 0.5),
                             static_cast<int>(region.size.height() * zoom + 0.5));
    return region;
}

int sampledCoordinate(int imagePosition, int origin, double zoom)
{
    return static_cast<int>((static_cast<int>(origin * zoom) + imagePosition) / zoom);
}

ZoomStepResult zoomStep(QPointF position, int steps, int zoomIndex, QPoint origin)
{
    ZoomStepResult result;
    result.zoomIndex = zoomIndex;
    result.origin = origin;
    result.zoom = (zoomIndex >= 0 && zoomIndex < zoomLevelCount) ? zoomTable[zoomIndex] : 1.0;
    const int newIndex = zoomIndex + steps;
    if (steps == 0 || newIndex < 0 || newIndex >= zoomLevelCount || zoomIndex < 0 || zoomIndex >= zoomLevelCount)
        return result;
    const double z0 = zoomTable[zoomIndex];
    const double z1 = zoomTable[newIndex];
    // The data point under the position before the step...
    const int px = static_cast<int>(position.x() / z0 + origin.x() + 0.5);
    const int py = static_cast<int>(position.y() / z0 + origin.y() + 0.5);
    // ...stays under it after the step.
    result.origin = QPoint(std::max(0, static_cast<int>(px - position.x() / z1 + 0.5)),
                           std::max(0, static_cast<int>(py - position.y() / z1 + 0.5)));
    result.zoom = z1;
    result.zoomIndex = newIndex;
    result.changed = true;
    return result;
}

namespace {

int panAxis(int origin, int delta, int dataExtent)
{
    const int moved = std::max(0, origin - delta);
    if (moved + panKeepVisible <= dataExtent)
        return moved;
    return std::max(0, dataExtent - panKeepVisible);
}

} // namespace

PanResult panStep(QPoint origin, QPoint lastMousePos, QPoint mousePos, double zoom, int dataWidth, int dataHeight,
                  QPointF remainder)
{
    PanResult result;
    result.origin = origin;
    result.lastMousePos = lastMousePos;
    result.remainder = remainder;
    if (!(zoom > 0.0))
        return result;
    const double fx = (mousePos.x() - lastMousePos.x()) / zoom + remainder.x();
    const double fy = (mousePos.y() - lastMousePos.y()) / zoom + remainder.y();
    const int dx = static_cast<int>(fx);
    const int dy = static_cast<int>(fy);
    if (dx == 0 && dy == 0)
        return result;
    result.moved = true;
    result.lastMousePos = mousePos;
    result.remainder = QPointF(fx - dx, fy - dy);
    result.origin = QPoint(panAxis(origin.x(), dx, dataWidth), panAxis(origin.y(), dy, dataHeight));
    return result;
}

QPoint centredOrigin(int x, int y, int imageWidth, int imageHeight, double zoom)
{
    if (!(zoom > 0.0))
        return QPoint(0, 0);
    return QPoint(std::max(0, static_cast<int>(x - imageWidth * 0.5 / zoom + 0.5)),
                  std::max(0, static_cast<int>(y - (imageHeight / 2) / zoom + 0.5)));
}

int scaleBarPixels(double zoom)
{
    // Exact comparisons with the table values.
    if (zoom == 3.35 || zoom == 6.7)
        return 201;
    if (zoom == 0.29 || zoom == 2.9)
        return 203;
    if (zoom == 0.22 || zoom == 0.33 || zoom == 0.66 || zoom == 2.2)
        return 198;
    return 200;
}

ScaleBar scaleBar(double zoom, double groundPixelSize)
{
    ScaleBar bar;
    bar.pixels = scaleBarPixels(zoom);
    if (!(zoom > 0.0))
        return bar;
    const double pixelSize =
        (groundPixelSize > 0.0 && std::isfinite(groundPixelSize)) ? groundPixelSize : defaultGroundPixelSize;
    bar.metres = pixelSize / zoom * bar.pixels;
    const int length = static_cast<int>(bar.metres + 0.5);
    if (length >= 1000)
        bar.text = QString("%1km").arg(QString::number(length / 1000.0, 'f', 1));
    else if (bar.metres >= 10.0)
        bar.text = QString("%1m").arg(length);
    else // fine orthophoto grids at high zoom: whole metres would be far off
        bar.text = QString("%1m").arg(QString::number(bar.metres, 'f', 1));
    return bar;
}

bool isClosedCurve(const QList<QPointF>& points)
{
    return points.size() >= 2 && points.first() == points.last();
}

namespace {

enum class Edge { Left, Top, Right, Bottom };

bool inside(const QPointF& p, Edge edge, double maxX, double maxY)
{
    switch (edge) {
    case Edge::Left:
        return p.x() >= 0.0;
    case Edge::Top:
        return p.y() >= 0.0;
    case Edge::Right:
        return p.x() <= maxX;
    case Edge::Bottom:
        return p.y() <= maxY;
    }
    return false;
}

// S and E lie on different sides of the edge, so the divisor is not zero.
QPointF intersection(const QPointF& s, const QPointF& e, Edge edge, double maxX, double maxY)
{
    switch (edge) {
    case Edge::Left:
    case Edge::Right: {
        const double x = edge == Edge::Left ? 0.0 : maxX;
        const double y = s.y() + (x - s.x()) * (e.y() - s.y()) / (e.x() - s.x());
        return QPointF(x, std::round(y));
    }
    case Edge::Top:
    case Edge::Bottom: {
        const double y = edge == Edge::Top ? 0.0 : maxY;
        const double x = s.x() + (y - s.y()) * (e.x() - s.x()) / (e.y() - s.y());
        return QPointF(std::round(x), y);
    }
    }
    return s;
}

} // namespace

void clipPolygon(const QList<QPointF>& in, QList<QPointF>& out, QSize imageSize)
{
    out = in;
    const double maxX = imageSize.width() - 1;
    const double maxY = imageSize.height() - 1;
    QList<QPointF> pass;
    for (Edge edge : {Edge::Left, Edge::Top, Edge::Right, Edge::Bottom}) {
        if (out.isEmpty())
            break;
        pass.swap(out);
        out.clear();
        const bool closed = pass.last() == pass.first();
        QPointF s = closed ? pass.last() : pass.first();
        for (const QPointF& e : pass) {
            const bool eInside = inside(e, edge, maxX, maxY);
            const bool sInside = inside(s, edge, maxX, maxY);
            if (eInside) {
                if (!sInside)
                    out.append(intersection(s, e, edge, maxX, maxY));
                out.append(e);
            } else if (sInside) {
                out.append(intersection(s, e, edge, maxX, maxY));
            }
            s = e;
        }
        // A closed curve whose first point was cut away would otherwise lose
        // its closing piece along this edge, depending only on where the
        // curve happens to start.
        if (closed && !out.isEmpty() && !(out.last() == out.first()))
            out.append(out.first());
    }
}

QList<QList<QPointF>> clipOpenPolyline(const QList<QPointF>& in, QSize imageSize)
{
    QList<QList<QPointF>> runs;
    if (in.size() < 2 || imageSize.width() <= 0 || imageSize.height() <= 0)
        return runs;
    const double minX = 0.0;
    const double minY = 0.0;
    const double maxX = imageSize.width() - 1;
    const double maxY = imageSize.height() - 1;
    bool runOpen = false; // the last run ends at the current segment's start
    for (qsizetype k = 1; k < in.size(); ++k) {
        const QPointF p = in[k - 1];
        const QPointF q = in[k];
        const double dx = q.x() - p.x();
        const double dy = q.y() - p.y();
        // Liang-Barsky: the segment's parameter range inside the rectangle.
        const double pk[4] = {-dx, dx, -dy, dy};
        const double qk[4] = {p.x() - minX, maxX - p.x(), p.y() - minY, maxY - p.y()};
        double t0 = 0.0;
        double t1 = 1.0;
        bool visible = true;
        for (int i = 0; i < 4 && visible; ++i) {
            if (pk[i] == 0.0) {
                if (qk[i] < 0.0)
                    visible = false;
                continue;
            }
            const double r = qk[i] / pk[i];
            if (pk[i] < 0.0) {
                if (r > t1)
                    visible = false;
                else if (r > t0)
                    t0 = r;
            } else {
                if (r < t0)
                    visible = false;
                else if (r < t1)
                    t1 = r;
            }
        }
        if (!visible) {
            runOpen = false;
            continue;
        }
        const QPointF a = t0 == 0.0 ? p : QPointF(p.x() + t0 * dx, p.y() + t0 * dy);
        const QPointF b = t1 == 1.0 ? q : QPointF(p.x() + t1 * dx, p.y() + t1 * dy);
        if (runOpen && t0 == 0.0)
            runs.last().append(b);
        else
            runs.append(QList<QPointF>{a, b});
        runOpen = t1 == 1.0;
    }
    return runs;
}

} // namespace UI::ViewGeometry
