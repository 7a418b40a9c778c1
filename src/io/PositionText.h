#pragma once

// Texts of a pixel's position for the status display, the same for every
// data set in a UTM projection. Numbers use 8 significant digits in the
// default notation and never the user's locale.

#include <string>

namespace IO {

// latitude ", " longitude
std::string latLonPositionText(double lat, double lon);

// "WGS84: " latitude ", " longitude ", UTM: " easting ", " northing " " zone
// and "N" (northernHemisphere == 1) or "S".
std::string utmPositionText(double lat, double lon, double easting, double northing, int zone,
                            int northernHemisphere);

} // namespace IO
