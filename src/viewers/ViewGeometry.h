#pragma once

// The arithmetic of the image viewers, free of widgets so it can be checked
// on its own: which data pixels are visible, which data pixel each screen
// pixel samples, how a sample becomes a byte, how zooming, panning and
// centring move the view, how long the scale bar is, and how overlays are
// clipped to the image.
//
// Coordinates: data pixels (column, row) of the band grid; image pixels of
// the rendered view. Data (x, y) is shown at image ((x - origin.x) * zoom,
// (y - origin.y) * zoom).

#include <array>
#include <cstdint>

#include <QList>
#include <QPoint>
#include <QPointF>
#include <QSize>
#include <QString>

namespace UI::ViewGeometry {

// Screen pixels per data pixel. The steps are not symmetric about 1.0 and 2.0
// follows 1.0 directly; every value gives a scale bar of whole hundreds of
// metres on a 10 m grid (see scaleBarPixels).
inline constexpr std::array<double, 20> zoomTable{0.1, 0.2, 0.22, 0.25, 0.29, 0.33, 0.4, 0.5, 0.66, 1.0,
                                                  2.0, 2.2, 2.5, 2.9, 3.35, 4.0, 5.0, 6.7, 10.0, 20.0};
inline constexpr int startZoomIndex = 9;
inline constexpr int zoomLevelCount = static_cast<int>(zoomTable.size());

// Ground size of one data pixel of a Sentinel-2 working grid, in metres.
inline constexpr double defaultGroundPixelSize = 10.0;

// Margin the viewport keeps free around the image, in screen pixels.
inline constexpr int viewportMargin = 10;

// At least this many data pixels stay in view at the right and bottom when
// panning (or the whole data when it is smaller).
inline constexpr int panKeepVisible = 100;

struct VisibleRegion {
    QPoint end;       // first data column/row after the visible region
    QSize size;       // visible region in data pixels, never negative
    QSize imageSize;  // rendered image in screen pixels
};

// The part of a dataWidth x dataHeight grid shown from origin at zoom in a
// viewport of the given size. An origin at or past the data's end, or a
// viewport not larger than the margin, gives an empty region.
VisibleRegion visibleRegion(QSize viewportSize, QPoint origin, double zoom, int dataWidth, int dataHeight);

// The data coordinate that image coordinate imagePosition samples
// (nearest neighbour on the zoomed grid).
int sampledCoordinate(int imagePosition, int origin, double zoom);

// Sample in [0, 1] to a display byte. Values outside are clamped and NaN
// reads as 0: feature images routinely leave the unit range. (Inline: the
// render calls it for every sample.)
inline std::uint8_t sampleToByte(float value)
{
    if (!(value > 0.0f)) // negatives and NaN
        return 0;
    if (value >= 1.0f)
        return 255;
    return static_cast<std::uint8_t>(static_cast<int>(static_cast<double>(value * 255.0f) + 0.5));
}

struct ZoomStepResult {
    bool changed = false;
    int zoomIndex = startZoomIndex;
    double zoom = 1.0;
    QPoint origin;
};

// Moves the zoom index by steps, keeping the data point under position
// (image coordinates) in place. Outside the table nothing changes.
ZoomStepResult zoomStep(QPointF position, int steps, int zoomIndex, QPoint origin);

struct PanResult {
    bool moved = false;
    QPoint origin;
    QPoint lastMousePos;
    QPointF remainder; // the part of the movement under a data pixel, in data pixels
};

// One pan step for a mouse at mousePos after lastMousePos, remainder being
// what the steps before left under a whole data pixel. Movements under a
// whole data pixel change nothing (lastMousePos included), so slow drags add
// up; a step that moves carries its own fraction to the next step, so the
// point under the cursor stays under it at any zoom.
PanResult panStep(QPoint origin, QPoint lastMousePos, QPoint mousePos, double zoom, int dataWidth, int dataHeight,
                  QPointF remainder = QPointF());

// Origin that brings data point (x, y) to the centre of an image of the
// given size.
QPoint centredOrigin(int x, int y, int imageWidth, int imageHeight, double zoom);

// Bar length in image pixels for a table zoom: chosen so that on a 10 m
// grid the bar measures whole hundreds of metres.
int scaleBarPixels(double zoom);

struct ScaleBar {
    int pixels = 0;
    double metres = 0.0;
    QString text;
};

// The bar for a zoom and a ground pixel size in metres (a non-positive size
// falls back to the Sentinel-2 grid).
ScaleBar scaleBar(double zoom, double groundPixelSize = defaultGroundPixelSize);

// True for a curve whose last point equals its first (within the fuzzy
// comparison of doubles).
bool isClosedCurve(const QList<QPointF>& points);

// Sutherland-Hodgman clipping against the image rectangle (0, 0) ..
// (W - 1, H - 1), edge by edge (x >= 0, y >= 0, x <= W - 1, y <= H - 1).
// Intersections are rounded to whole pixels. The list is treated as one path,
// so a path that leaves and re-enters is joined along the border; a closed
// input stays closed after every pass.
void clipPolygon(const QList<QPointF>& in, QList<QPointF>& out, QSize imageSize);

// Clips an open polyline segment by segment against the same rectangle.
// Returns the visible runs; a part outside the image leaves a gap instead of
// a line along the border.
QList<QList<QPointF>> clipOpenPolyline(const QList<QPointF>& in, QSize imageSize);

} // namespace UI::ViewGeometry
