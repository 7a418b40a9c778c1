#include "io/PositionText.h"

#include <locale>
#include <sstream>

namespace IO {

namespace {

std::ostringstream positionStream()
{
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text.precision(8);
    return text;
}

} // namespace

std::string latLonPositionText(double lat, double lon)
{
    std::ostringstream text = positionStream();
    text << lat << ", " << lon;
    return text.str();
}

std::string utmPositionText(double lat, double lon, double easting, double northing, int zone,
                            int northernHemisphere)
{
    std::ostringstream text = positionStream();
    text << "WGS84: " << lat << ", " << lon << ", UTM: " << easting << ", " << northing << " " << zone
         << (northernHemisphere == 1 ? "N" : "S");
    return text.str();
}

} // namespace IO
