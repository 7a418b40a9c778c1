#pragma once

// Krovak East-North (EPSG:5514, metres) and WGS84 (EPSG:4326, degrees)
// through OGR/PROJ, for the orthophoto data sets.
//
// Both references use the authority's axis order: WGS84 coordinates pass as
// (latitude, longitude), Krovak as (X, Y). Krovak East-North X and Y are
// negative over its whole area (Czechia and Slovakia).

#include <string>
#include <string_view>

#include <ogr_spatialref.h>

#include "io/GdalHandles.h"
#include "io/KmlCurves.h"

namespace IO {

// The two spatial references and the transformations between them, as a
// data set holds them. Construction never fails: a reference or a
// transformation that cannot be made prints its line (prefixed with
// logPrefix) and stays unset, and every conversion through it then fails.
//
// Lines, each on standard output:
//   "Failed to initialize SRS_KrovakEastNorth, error code: <n>"
//   "Failed to initialize SRS_WGS84, error code: <n>"
//   "Failed to initialize transformation from Krovak East-North to WGS84 (GPS)"
//   "Failed to initialize transformation from WGS84 (GPS) to Krovak East-North"
//   "Failed to initialize coordinate transformations, OGRSpatialReferences are not initialized"
//   "Coordinate transformations initialized successfully"
class KrovakReferences {
public:
    explicit KrovakReferences(std::string_view logPrefix = {});
    KrovakReferences(const KrovakReferences&) = delete;
    KrovakReferences& operator=(const KrovakReferences&) = delete;

    // WGS84 latitude/longitude to Krovak X, Y. False (outputs NaN) without
    // the transformation, for a non-finite input, a latitude outside
    // [-90, 90] or a point PROJ cannot transform.
    bool toKrovak(double lat, double lon, double& x, double& y) const;
    // Krovak X, Y to WGS84 latitude/longitude; false (outputs NaN) as above.
    bool toWgs84(double x, double y, double& lat, double& lon) const;

    OGRSpatialReference srsKrovak;
    bool srsKrovakReady = false;
    OGRSpatialReference srsWgs84;
    bool srsWgs84Ready = false;
    Gdal::CoordinateTransformation transformToWgs84;   // Krovak -> WGS84, null when it could not be made
    Gdal::CoordinateTransformation transformToKrovak;  // WGS84 -> Krovak, null when it could not be made
};

// True when a projection text (WKT, PROJ string or anything OGR's
// SetFromUserInput takes) describes Krovak East-North, whether or not it
// carries the EPSG code: compared for equivalence, ignoring the axis order.
bool isKrovakEastNorth(const std::string& projection);

// A north-up pixel grid in Krovak metres, both pixel sizes positive. Pixel
// positions are fractional, pixel column i covering [i, i + 1).
//
// Without lots (lotColumns and lotRows 0), pixel (px, py) lies at
// X = originX + px * pixelWidth, Y = originY - py * pixelHeight.
//
// A grid can instead be made of lots lotColumns pixels wide whose pixels
// overrun the lotSpanX metres from one lot to the next (1563 pixels of 1.6 m
// for 2500 m). Lot k = floor(px / lotColumns) then starts
// k * lotSpanX east of the origin, and within it every column is pixelWidth
// wide except the last, which holds what is left of lotSpanX. Every pixel
// lies where its own lot puts it, and the conversion stays continuous and
// increasing across lot edges. lotRows and lotSpanY do the same for rows.
// Lots apply only when the last column (row) keeps a positive width.
struct KrovakGrid {
    double originX = 0.0;
    double originY = 0.0;
    double pixelWidth = 0.0;
    double pixelHeight = 0.0;
    int lotColumns = 0;
    double lotSpanX = 0.0;
    int lotRows = 0;
    double lotSpanY = 0.0;

    // Krovak X of pixel position px, Y of pixel position py.
    double mapX(double px) const;
    double mapY(double py) const;
    // The pixel positions of Krovak X and Y: the inverses of mapX and mapY.
    double pixelX(double x) const;
    double pixelY(double y) const;
};

// KML conversion for a data set on a Krovak grid. Reading a point it cannot
// convert prints "Failed to add curve coordinate to curve set: transformation
// not initialized" (no transformation) or "... conversion failed" and skips
// the point.
class KrovakKmlConverter : public KmlConverter {
public:
    KrovakKmlConverter(const KrovakReferences& references, const KrovakGrid& grid)
        : references_(references)
        , grid_(grid)
    {
    }

    bool pixelToLonLat(double x, double y, double& lon, double& lat) const override;
    bool lonLatToPixel(double lon, double lat, double& x, double& y) const override;

private:
    const KrovakReferences& references_;
    KrovakGrid grid_;
};

} // namespace IO
