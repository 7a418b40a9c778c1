#pragma once

// A KML converter that takes a document's coordinates as they stand:
// longitude as x, latitude as y. Tests use it to read what a KML file holds,
// or to let the reader's own checks decide what reaches a curve.

#include "io/KmlCurves.h"

namespace TestSupport {

class DegreesAsPixels : public IO::KmlConverter {
public:
    bool pixelToLonLat(double x, double y, double& lon, double& lat) const override
    {
        lon = x;
        lat = y;
        return true;
    }
    bool lonLatToPixel(double lon, double lat, double& x, double& y) const override
    {
        x = lon;
        y = lat;
        return true;
    }
};

} // namespace TestSupport
