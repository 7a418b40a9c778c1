#pragma once

// Where the Sentinel-2 tiles of the map picker lie on its area pictures.
//
// A tile's footprint is its 100 km MGRS square's north-west corner and 109.8 km
// east and south of it in the square's UTM zone. Each area picture is taken
// to be an affine image of Web-Mercator metres; the affine map of an area is
// fitted by least squares to the outline corners of the area's reference
// tiles (the table rows set by hand).

#include <array>
#include <vector>

#include <QPointF>
#include <QString>

namespace MapGeometry {

// Picture pixel = (a x + b y + c, d x + e y + f) of Web-Mercator metres.
struct Affine {
    double a = 0, b = 0, c = 0, d = 0, e = 0, f = 0;
    QPointF map(QPointF m) const { return {a * m.x() + b * m.y() + c, d * m.x() + e * m.y() + f}; }
    QPointF inverted(QPointF p) const;
};

QPointF mercator(double latitude, double longitude);
QPointF geographic(QPointF mercator); // (longitude, latitude)

// North-west, north-east, south-east, south-west corners in Web-Mercator
// metres of the Sentinel-2 tile ("33UXP", without the leading "T").
std::array<QPointF, 4> tileCorners(const QString& name);

struct Fit {
    Affine affine;
    double rmsError = 0;  // pixels, over the reference corners
    double maxError = 0;
};

// Whether the tile's row is a reference row, set by hand and kept as it
// stands, rather than computed from the grid.
bool isReferenceTile(int number);

// The affine map of an area from its reference tiles.
Fit fitArea(int area);

// The outline clipped to the picture, corners rounded to whole pixels.
std::vector<QPointF> clippedOutline(const std::array<QPointF, 4>& corners);

} // namespace MapGeometry
