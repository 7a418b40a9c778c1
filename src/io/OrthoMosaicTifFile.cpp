#include "io/OrthoMosaicTifFile.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>
#include <locale>
#include <new>
#include <sstream>

#include <GeographicLib/Constants.hpp>
#include <GeographicLib/UTMUPS.hpp>
#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include "io/GdalHandles.h"
#include "io/KmlCurves.h"
#include "io/PositionText.h"

namespace IO {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Latitude and longitude of a UTM position; false when GeographicLib rejects
// it (a position beyond the range of the zone).
bool utmToLatLon(int zone, bool northern, double easting, double northing, double& lat, double& lon)
{
    if (zone < GeographicLib::UTMUPS::MINUTMZONE || zone > GeographicLib::UTMUPS::MAXUTMZONE
        || !std::isfinite(easting) || !std::isfinite(northing))
        return false;
    try {
        GeographicLib::UTMUPS::Reverse(zone, northern, easting, northing, lat, lon);
    } catch (const std::exception&) {
        return false;
    }
    return std::isfinite(lat) && std::isfinite(lon);
}

// Writes the data set's pixels to KML through its UTM georeference and reads
// them back through latLonToPixel.
class TifKmlConverter : public FileKmlConverter {
public:
    explicit TifKmlConverter(OrthoMosaicTifFile& file)
        : FileKmlConverter(file)
        , tif_(file)
    {
    }

    bool pixelToLonLat(double x, double y, double& lon, double& lat) const override
    {
        return tif_.pixelLatLon(x, y, lat, lon);
    }

private:
    OrthoMosaicTifFile& tif_;
};

// Reads rows [y0, y0 + rows) and columns [x0, x0 + cols) of a raster band as
// doubles into out, whose rows are stride entries long.
bool readWindow(GDALRasterBand* band, int x0, int y0, int cols, int rows, int bufferCols, int bufferRows,
                double* out, int stride)
{
    return band->RasterIO(GF_Read, x0, y0, cols, rows, out, bufferCols, bufferRows, GDT_Float64,
                          sizeof(double), static_cast<GSpacing>(stride) * static_cast<GSpacing>(sizeof(double)),
                          nullptr)
        == CE_None;
}

} // namespace

bool OrthoMosaicTifFile::pixelLatLon(double x, double y, double& lat, double& lon) const
{
    return utmToLatLon(utmZone, northernHemisphere != 0, pixelEasting(x), pixelNorthing(y), lat, lon);
}

void OrthoMosaicTifFile::open(std::string name_, std::string extension_, std::string directory_)
{
    File::open(std::move(name_), std::move(extension_), std::move(directory_));
    const std::string path = directory + "/" + name + "." + extension;

    Gdal::Dataset dataset = Gdal::openRaster(path, Gdal::geoTiffDrivers);
    if (!dataset)
        throw error::CannotOpen;

    const long long rasterWidth = dataset->GetRasterXSize();
    const long long rasterHeight = dataset->GetRasterYSize();
    if (rasterWidth * rasterHeight > INT_MAX)
        throw error::UnsupportedFormat;

    // The working grid is taken as north-up with square pixels of one size;
    // any other geotransform would place every pixel at a wrong position.
    double transform[6];
    if (dataset->GetGeoTransform(transform) != CE_None)
        throw error::MissingMetadata;
    const double size = transform[1];
    if (!(size > 0.0) || !std::isfinite(size) || transform[2] != 0.0 || transform[4] != 0.0
        || std::abs(transform[5] + size) > 1e-9 * size || !std::isfinite(transform[0])
        || !std::isfinite(transform[3]))
        throw error::MissingMetadata;

    OGRSpatialReference reference;
    const char* wkt = dataset->GetProjectionRef();
    if (wkt == nullptr || *wkt == '\0' || reference.importFromWkt(wkt) != OGRERR_NONE)
        throw error::MissingMetadata;
    int north = 0;
    const int zone = reference.GetUTMZone(&north);
    if (zone < GeographicLib::UTMUPS::MINUTMZONE || zone > GeographicLib::UTMUPS::MAXUTMZONE)
        throw error::MissingMetadata;

    double ulLat = 0.0;
    double ulLon = 0.0;
    double lrLat = 0.0;
    double lrLon = 0.0;
    if (!utmToLatLon(zone, north != 0, transform[0], transform[3], ulLat, ulLon)
        || !utmToLatLon(zone, north != 0, transform[0] + static_cast<double>(rasterWidth) * size,
                        transform[3] - static_cast<double>(rasterHeight) * size, lrLat, lrLon))
        throw error::MissingMetadata;

    const int count = dataset->GetRasterCount();
    if (!Gdal::layoutFitsFile(*dataset, path))
        throw error::UnsupportedFormat;

    std::vector<Band> list;
    list.reserve(static_cast<std::size_t>(count));
    for (int i = 1; i <= count; ++i) {
        GDALRasterBand* raster = dataset->GetRasterBand(i);
        const GDALColorInterp interpretation = raster->GetColorInterpretation();
        std::string bandName = GDALGetColorInterpretationName(interpretation);
        if (bandName == "Undefined")
            bandName = "Near-infrared";
        Band band(bandName);
        band.code.clear();
        band.scale = 1.0;
        band.derived = false;
        band.levels.emplace_back(path);
        list.push_back(std::move(band));
    }

    width = static_cast<int>(rasterWidth);
    height = static_cast<int>(rasterHeight);
    pixelCount = width * height;
    pixelSize = size;
    originX = transform[0];
    originY = transform[3];
    utmZone = zone;
    northernHemisphere = north != 0 ? 1 : 0;
    upperLeftLat = ulLat;
    upperLeftLon = ulLon;
    lowerRightLat = lrLat;
    lowerRightLon = lrLon;
    loadedBands.clear();
    bands = std::move(list);
}

void OrthoMosaicTifFile::loadBand(int band, int level, double lowCut, double highCut, bool autoCrop, bool keepRaw)
{
    BandLevel& target = bandLevel(band, level);
    Gdal::Dataset dataset = Gdal::openRaster(target.path, Gdal::geoTiffDrivers);
    if (!dataset)
        throw error::ReadFailed;
    GDALRasterBand* raster = dataset->GetRasterBand(band + 1);
    if (raster == nullptr)
        throw error::ReadFailed;

    const int cols = raster->GetXSize();
    const int rows = raster->GetYSize();
    if (static_cast<long long>(cols) * rows > INT_MAX)
        throw error::ReadFailed;
    const int count = cols * rows;
    const GDALDataType type = raster->GetRasterDataType();
    if (type != GDT_Byte && type != GDT_Float32)
        throw error::UnsupportedFormat;
    const bool floatSamples = type == GDT_Float32;

    // The size comes from the file's header, which may declare any raster: a
    // level the machine's memory cannot hold is refused before anything is
    // allocated for it. GDAL converts the samples to float as it reads them
    // straight into the level's array, which nothing fills before, so a
    // raster whose data are missing fails on its first block without the
    // whole level ever being touched.
    try {
        std::unique_ptr<float[]> samples = BandLevel::allocateUntouched(static_cast<std::size_t>(count));
        if (!samples)
            throw error::ReadFailed;
        if (raster->RasterIO(GF_Read, 0, 0, cols, rows, samples.get(), cols, rows, GDT_Float32, 0, 0, nullptr)
            != CE_None)
            throw error::ReadFailed;
        if (floatSamples)
            target.adoptData(std::move(samples), count, true, 0.0, 0.0);
        else
            target.adoptData(std::move(samples), count, false, 0.0, 255.0);
    } catch (const std::bad_alloc&) {
        throw error::ReadFailed;
    }
    dataset.reset();

    if (!keepRaw) {
        if (floatSamples) {
            // The crop limits come from a histogram of whole-number bins,
            // which neither fits float samples (a relevancy map lies in
            // [0, 1]) nor stays small for large values: scale by the
            // samples' own range instead.
            target.normalize(0.0, 1.0, false);
        } else {
            target.normalize(lowCut, highCut, autoCrop);
        }
    }
    loadedBands.insert(band);
}

void OrthoMosaicTifFile::readRegion(int band, int level, int x, int y, int regionWidth, int regionHeight,
                                    int outWidth, int outHeight, std::vector<double>& out)
{
    if (regionWidth <= 0 || regionHeight <= 0 || outWidth <= 0 || outHeight <= 0
        || static_cast<long long>(outWidth) * outHeight > INT_MAX)
        throw error::ReadFailed;
    const BandLevel& source = bandLevel(band, level);
    Gdal::Dataset dataset = Gdal::openRaster(source.path, Gdal::geoTiffDrivers);
    if (!dataset)
        throw error::ReadFailed;
    GDALRasterBand* raster = dataset->GetRasterBand(band + 1);
    if (raster == nullptr)
        throw error::ReadFailed;
    const GDALDataType type = raster->GetRasterDataType();
    if (type != GDT_Byte && type != GDT_Float32)
        throw error::ReadFailed;

    try {
        out.assign(static_cast<std::size_t>(outWidth) * static_cast<std::size_t>(outHeight), 0.0);
    } catch (const std::bad_alloc&) {
        throw error::ReadFailed;
    }

    const long long rasterCols = raster->GetXSize();
    const long long rasterRows = raster->GetYSize();
    const long long x0 = std::max<long long>(x, 0);
    const long long y0 = std::max<long long>(y, 0);
    const long long x1 = std::min<long long>(static_cast<long long>(x) + regionWidth, rasterCols);
    const long long y1 = std::min<long long>(static_cast<long long>(y) + regionHeight, rasterRows);
    if (x0 >= x1 || y0 >= y1)
        return;  // the window lies wholly outside the raster: all zeros

    const bool inside = x0 == x && y0 == y && x1 - x == regionWidth && y1 - y == regionHeight;
    if (inside) {
        // GDAL resamples (nearest neighbour) when the sizes differ.
        if (!readWindow(raster, x, y, regionWidth, regionHeight, outWidth, outHeight, out.data(), outWidth))
            throw error::ReadFailed;
        return;
    }

    const int cols = static_cast<int>(x1 - x0);
    const int rows = static_cast<int>(y1 - y0);
    if (outWidth == regionWidth && outHeight == regionHeight) {
        double* first = out.data() + (y0 - y) * outWidth + (x0 - x);
        if (!readWindow(raster, static_cast<int>(x0), static_cast<int>(y0), cols, rows, cols, rows, first, outWidth))
            throw error::ReadFailed;
        return;
    }

    // Resampled window partly outside the raster: read the part inside at
    // full resolution and pick, for every output pixel, the source pixel
    // under its centre, as GDAL's nearest-neighbour resampling does.
    std::vector<double> inner;
    try {
        inner.resize(static_cast<std::size_t>(cols) * static_cast<std::size_t>(rows));
    } catch (const std::bad_alloc&) {
        throw error::ReadFailed;
    }
    if (!readWindow(raster, static_cast<int>(x0), static_cast<int>(y0), cols, rows, cols, rows, inner.data(), cols))
        throw error::ReadFailed;
    const double stepX = static_cast<double>(regionWidth) / outWidth;
    const double stepY = static_cast<double>(regionHeight) / outHeight;
    for (int j = 0; j < outHeight; ++j) {
        const long long sy = static_cast<long long>(std::floor(y + (j + 0.5) * stepY));
        if (sy < y0 || sy >= y1)
            continue;
        for (int i = 0; i < outWidth; ++i) {
            const long long sx = static_cast<long long>(std::floor(x + (i + 0.5) * stepX));
            if (sx < x0 || sx >= x1)
                continue;
            out[static_cast<std::size_t>(j) * outWidth + i] = inner[static_cast<std::size_t>((sy - y0) * cols + (sx - x0))];
        }
    }
}

std::string OrthoMosaicTifFile::positionText(double x, double y)
{
    double lat = 0.0;
    double lon = 0.0;
    if (!pixelLatLon(x, y, lat, lon))
        return {};
    return utmPositionText(lat, lon, pixelEasting(x), pixelNorthing(y), utmZone, northernHemisphere);
}

std::string OrthoMosaicTifFile::latLonText(double x, double y)
{
    double lat = 0.0;
    double lon = 0.0;
    if (!pixelLatLon(x, y, lat, lon))
        return {};
    return latLonPositionText(lat, lon);
}

bool OrthoMosaicTifFile::containsLatLon(double lat, double lon)
{
    return lowerRightLat <= lat && lat <= upperLeftLat && upperLeftLon <= lon && lon <= lowerRightLon;
}

void OrthoMosaicTifFile::latLonToPixel(double lat, double lon, double* x, double* y)
{
    *x = kNaN;
    *y = kNaN;
    if (utmZone < GeographicLib::UTMUPS::MINUTMZONE || utmZone > GeographicLib::UTMUPS::MAXUTMZONE
        || !(pixelSize > 0.0))
        return;
    try {
        int zone = 0;
        bool northern = false;
        double easting = 0.0;
        double northing = 0.0;
        double gamma = 0.0;
        double k = 0.0;
        GeographicLib::UTMUPS::Forward(lat, lon, zone, northern, easting, northing, gamma, k, utmZone);
        // A point on the other side of the equator gets its northing in the
        // raster's hemisphere convention, so the grid stays continuous.
        const bool rasterNorthern = northernHemisphere != 0;
        if (northern && !rasterNorthern)
            northing += GeographicLib::UTMUPS::UTMShift();
        else if (!northern && rasterNorthern)
            northing -= GeographicLib::UTMUPS::UTMShift();
        *x = (easting - originX) / pixelSize;
        *y = (originY - northing) / pixelSize;
    } catch (const std::exception&) {
        *x = kNaN;
        *y = kNaN;
    }
}

void OrthoMosaicTifFile::utmOrigin(double* easting, double* northing, std::vector<double>& zone)
{
    *easting = originX;
    *northing = originY;
    zone.push_back(static_cast<double>(northernHemisphere));
    zone.push_back(static_cast<double>(utmZone));
}

void OrthoMosaicTifFile::loadCurves(std::string fileName, std::string extension,
                                    std::vector<std::vector<Point2D>>& curves, std::vector<std::string>& names)
{
    loadKmlCurves(fileName, extension, TifKmlConverter(*this), curves, names);
}

void OrthoMosaicTifFile::saveCurves(std::string fileName, std::string extension,
                                    const std::vector<std::vector<Point2D>>& curves,
                                    const std::vector<std::string>& names, const std::vector<std::string>& codes,
                                    const std::vector<std::string>& segmentationTypes,
                                    const std::vector<std::vector<double>>& segmentationParams)
{
    saveKmlCurves(fileName, extension, curves, names, codes, segmentationTypes, segmentationParams,
                  kmlGenericLocTile, TifKmlConverter(*this));
}

} // namespace IO
