#pragma once

// Exports of computed results that other GIS tools place on the ground again:
// single-band float GeoTIFF rasters in WGS84 / UTM and point lists as
// "latitude,longitude" lines.

#include <functional>
#include <string>
#include <vector>

namespace IO {

// Upper-left corner and pixel size of a north-up raster in UTM metres.
struct UtmPlacement {
    double easting = 0.0;
    double northing = 0.0;
    double pixelSize = 0.0;
    int zone = 0;
    bool northernHemisphere = true;
};

// Writes width x height row-major values as a Float32 GeoTIFF whose pixel
// (0, 0) has its upper-left corner at the placement. The projection is built
// from the zone and hemisphere, so no source raster has to be opened.
//
// The raster is made whole in memory; its bytes then go to a temporary file
// that replaces fileName only when all of them were written (a full disk
// ends the export at its first failed write). Errors (File::error):
// CannotOpen when the values do not fill width x height, the GTiff driver is
// missing ("Driver not available" is printed), or the file cannot be made,
// written or completed; MissingMetadata when the zone gives no projection. On
// every error no file is left behind and an earlier file of that name is
// unchanged.
void writeUtmGeoTiff(const std::string& fileName, const std::vector<float>& values, int width, int height,
                     const UtmPlacement& placement);

// Converts a working-grid pixel (x, y) to latitude and longitude; false when
// the point has no position.
using PixelToLatLon = std::function<bool(int x, int y, double& lat, double& lon)>;

// Writes one line per point: latitude, ",", longitude, both with 12 decimals
// and a decimal point, then a line feed; no header. Each entry holds x and y
// in its first two elements. Errors (File::error): MissingMetadata when a
// point cannot be converted, CannotOpen for an entry with fewer than two
// elements or a file that cannot be written. Every line is converted before
// the file is written, and the file replaces fileName only when complete, so
// an error leaves no partial list.
void writeLatLonPoints(const std::string& fileName, const std::vector<std::vector<int>>& points,
                       const PixelToLatLon& toLatLon);

} // namespace IO
