#include "io/Krovak.h"

#include <cmath>
#include <iostream>
#include <limits>

#include <cpl_error.h>

namespace IO {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr int kKrovakEastNorthEpsg = 5514;
constexpr int kWgs84Epsg = 4326;

// Imports an EPSG code with the authority's axis order; the OGR error code.
OGRErr importEpsg(OGRSpatialReference& reference, int code)
{
    const OGRErr result = reference.importFromEPSG(code);
    reference.SetAxisMappingStrategy(OAMS_AUTHORITY_COMPLIANT);
    return result;
}

// Transforms one pair in place; false when PROJ refuses it or gives a value
// that is not finite (some failures come back as HUGE_VAL with success set).
bool transformPair(OGRCoordinateTransformation* transformation, double& a, double& b)
{
    if (transformation == nullptr || !std::isfinite(a) || !std::isfinite(b))
        return false;
    int success = FALSE;
    // PROJ reports a point outside its range as a CPL error besides the
    // result; the result is what counts here.
    CPLErrorStateBackuper state;
    CPLErrorHandlerPusher quiet(CPLQuietErrorHandler);
    if (!transformation->Transform(1, &a, &b, nullptr, &success) || !success)
        return false;
    return std::isfinite(a) && std::isfinite(b);
}

// One axis of a KrovakGrid: pixels of `size` metres, in lots of lotPixels
// pixels lotSpan metres apart when lotPixels is positive and a lot's last
// pixel keeps a positive width.
bool hasLots(double size, int lotPixels, double lotSpan)
{
    return lotPixels > 0 && std::isfinite(lotSpan) && lotSpan > (lotPixels - 1) * size;
}

// Metres from the origin of pixel position p along the axis.
double metresAlong(double p, double size, int lotPixels, double lotSpan)
{
    if (!hasLots(size, lotPixels, lotSpan))
        return p * size;
    const double lot = std::floor(p / lotPixels);
    const double within = p - lot * lotPixels;
    const double full = lotPixels - 1;
    const double fullMetres = full * size;
    // The last pixel of a lot holds what is left of the lot's span.
    const double metres = within <= full ? within * size : fullMetres + (within - full) * (lotSpan - fullMetres);
    return lot * lotSpan + metres;
}

// Pixel position of m metres from the origin along the axis; the inverse of
// metresAlong.
double pixelsAlong(double m, double size, int lotPixels, double lotSpan)
{
    if (!hasLots(size, lotPixels, lotSpan))
        return m / size;
    const double lot = std::floor(m / lotSpan);
    const double within = m - lot * lotSpan;
    const double full = lotPixels - 1;
    const double fullMetres = full * size;
    const double pixels = within <= fullMetres ? within / size : full + (within - fullMetres) / (lotSpan - fullMetres);
    return lot * lotPixels + pixels;
}

} // namespace

double KrovakGrid::mapX(double px) const
{
    return originX + metresAlong(px, pixelWidth, lotColumns, lotSpanX);
}

double KrovakGrid::mapY(double py) const
{
    return originY - metresAlong(py, pixelHeight, lotRows, lotSpanY);
}

double KrovakGrid::pixelX(double x) const
{
    return pixelsAlong(x - originX, pixelWidth, lotColumns, lotSpanX);
}

double KrovakGrid::pixelY(double y) const
{
    return pixelsAlong(originY - y, pixelHeight, lotRows, lotSpanY);
}

KrovakReferences::KrovakReferences(std::string_view logPrefix)
{
    Gdal::registerDrivers();
    if (const OGRErr code = importEpsg(srsKrovak, kKrovakEastNorthEpsg); code != OGRERR_NONE)
        std::cout << logPrefix << "Failed to initialize SRS_KrovakEastNorth, error code: " << code << '\n';
    else
        srsKrovakReady = true;
    if (const OGRErr code = importEpsg(srsWgs84, kWgs84Epsg); code != OGRERR_NONE)
        std::cout << logPrefix << "Failed to initialize SRS_WGS84, error code: " << code << '\n';
    else
        srsWgs84Ready = true;

    if (srsKrovakReady && srsWgs84Ready) {
        transformToWgs84.reset(OGRCreateCoordinateTransformation(&srsKrovak, &srsWgs84));
        if (!transformToWgs84)
            std::cout << logPrefix << "Failed to initialize transformation from Krovak East-North to WGS84 (GPS)\n";
        transformToKrovak.reset(OGRCreateCoordinateTransformation(&srsWgs84, &srsKrovak));
        if (!transformToKrovak)
            std::cout << logPrefix << "Failed to initialize transformation from WGS84 (GPS) to Krovak East-North\n";
    } else {
        std::cout << logPrefix
                  << "Failed to initialize coordinate transformations, OGRSpatialReferences are not initialized\n";
    }
    if (transformToWgs84 && transformToKrovak)
        std::cout << logPrefix << "Coordinate transformations initialized successfully\n";
    std::cout.flush();
}

bool KrovakReferences::toKrovak(double lat, double lon, double& x, double& y) const
{
    x = kNaN;
    y = kNaN;
    double a = lat;
    double b = lon;
    if (!(lat >= -90.0 && lat <= 90.0) || !transformPair(transformToKrovak.get(), a, b))
        return false;
    x = a;
    y = b;
    return true;
}

bool KrovakReferences::toWgs84(double x, double y, double& lat, double& lon) const
{
    lat = kNaN;
    lon = kNaN;
    double a = x;
    double b = y;
    if (!transformPair(transformToWgs84.get(), a, b) || !(a >= -90.0 && a <= 90.0))
        return false;
    lat = a;
    lon = b;
    return true;
}

bool isKrovakEastNorth(const std::string& projection)
{
    if (projection.empty())
        return false;
    CPLErrorStateBackuper state;
    CPLErrorHandlerPusher quiet(CPLQuietErrorHandler);
    OGRSpatialReference reference;
    if (reference.SetFromUserInput(projection.c_str()) != OGRERR_NONE)
        return false;
    if (const char* authority = reference.GetAuthorityName(nullptr);
        authority != nullptr && std::string(authority) == "EPSG")
        if (const char* code = reference.GetAuthorityCode(nullptr);
            code != nullptr && std::string(code) == std::to_string(kKrovakEastNorthEpsg))
            return true;
    OGRSpatialReference krovak;
    if (importEpsg(krovak, kKrovakEastNorthEpsg) != OGRERR_NONE)
        return false;
    const char* options[] = {"IGNORE_DATA_AXIS_TO_SRS_AXIS_MAPPING=YES", "CRITERION=EQUIVALENT", nullptr};
    return reference.IsSame(&krovak, options) != FALSE;
}

bool KrovakKmlConverter::pixelToLonLat(double x, double y, double& lon, double& lat) const
{
    if (!(grid_.pixelWidth > 0.0) || !(grid_.pixelHeight > 0.0))
        return false;
    double la = kNaN;
    double lo = kNaN;
    if (!references_.toWgs84(grid_.mapX(x), grid_.mapY(y), la, lo))
        return false;
    lon = lo;
    lat = la;
    return true;
}

bool KrovakKmlConverter::lonLatToPixel(double lon, double lat, double& x, double& y) const
{
    if (!references_.transformToKrovak) {
        std::cout << "Failed to add curve coordinate to curve set: transformation not initialized" << std::endl;
        return false;
    }
    double kx = kNaN;
    double ky = kNaN;
    if (!(grid_.pixelWidth > 0.0) || !(grid_.pixelHeight > 0.0) || !references_.toKrovak(lat, lon, kx, ky)) {
        std::cout << "Failed to add curve coordinate to curve set: conversion failed" << std::endl;
        return false;
    }
    x = grid_.pixelX(kx);
    y = grid_.pixelY(ky);
    return true;
}

} // namespace IO
