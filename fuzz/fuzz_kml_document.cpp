// KML curve documents: the reader behind every data set's loadCurves.

#include <cmath>
#include <string>

#include "FuzzSupport.h"
#include "io/File.h"
#include "io/KmlCurves.h"

namespace {

// Places every point at its longitude and latitude, so the reader's own
// checks decide what reaches a curve.
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    try {
        const IO::KmlCurves read = IO::parseKmlDocument(FuzzSupport::text(data, size), DegreesAsPixels(), "fuzz");
        FuzzSupport::require(read.names.size() == read.curves.size(), "one name per curve");
        std::size_t namesSize = 0;
        for (const std::string& name : read.names)
            namesSize += name.size();
        FuzzSupport::require(namesSize <= size + IO::kmlNameAllowance,
                             "names within the document's size and the allowance");
        for (const auto& curve : read.curves)
            for (const auto& point : curve)
                FuzzSupport::require(std::isfinite(point.x) && std::isfinite(point.y), "finite points");
    } catch (const IO::File::error&) {
    }
    return 0;
}
