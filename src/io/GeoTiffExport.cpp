#include "io/GeoTiffExport.h"

#include <cmath>
#include <iostream>

#include <cpl_error.h>
#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include "io/AtomicFile.h"
#include "io/File.h"
#include "io/GdalHandles.h"
#include "io/NumberText.h"

namespace IO {

namespace {

bool lastCallFailed()
{
    const CPLErr type = CPLGetLastErrorType();
    return type == CE_Failure || type == CE_Fatal;
}

// WGS84 / UTM of the zone and hemisphere: the EPSG definition when the
// projection database has it, else built from its parameters.
bool utmReference(int zone, bool northern, OGRSpatialReference& reference)
{
    if (zone < 1 || zone > 60)
        return false;
    if (reference.importFromEPSG((northern ? 32600 : 32700) + zone) == OGRERR_NONE)
        return true;
    reference.Clear();
    return reference.SetWellKnownGeogCS("WGS84") == OGRERR_NONE && reference.SetUTM(zone, northern) == OGRERR_NONE;
}

} // namespace

void writeUtmGeoTiff(const std::string& fileName, const std::vector<float>& values, int width, int height,
                     const UtmPlacement& placement)
{
    if (width <= 0 || height <= 0
        || values.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height))
        throw File::error::CannotOpen;
    if (!(placement.pixelSize > 0.0) || !std::isfinite(placement.pixelSize) || !std::isfinite(placement.easting)
        || !std::isfinite(placement.northing))
        throw File::error::MissingMetadata;

    Gdal::registerDrivers();
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GTiff");
    if (driver == nullptr) {
        std::cout << "Driver not available\n" << std::flush;
        throw File::error::CannotOpen;
    }

    OGRSpatialReference reference;
    if (!utmReference(placement.zone, placement.northernHemisphere, reference))
        throw File::error::MissingMetadata;

    // The file is made whole in GDAL's in-memory file system, and only its
    // finished bytes go to the disk, through the checked writer: a GTiff data
    // set whose writes failed on a full disk can loop for good in its close
    // (libtiff walks the zeros of a file grown sparse as a directory chain).
    Gdal::MemoryFile memory(".tif");
    bool written = false;
    try {
        CPLErrorReset();
        Gdal::Dataset dataset(driver->Create(memory.path().c_str(), width, height, 1, GDT_Float32, nullptr));
        double transform[6] = {placement.easting, placement.pixelSize, 0.0,
                               placement.northing, 0.0, -placement.pixelSize};
        written = dataset && dataset->SetGeoTransform(transform) == CE_None
            && dataset->SetSpatialRef(&reference) == CE_None
            && dataset->GetRasterBand(1)->RasterIO(GF_Write, 0, 0, width, height,
                                                   const_cast<float*>(values.data()), width, height, GDT_Float32,
                                                   0, 0, nullptr)
                == CE_None;
        if (dataset) {
            dataset->FlushCache();
            written = written && !lastCallFailed();
            dataset.reset();  // closing writes the directory and the tags
            written = written && !lastCallFailed();
        }
        if (written) {
            // A file that does not open again with its full size is not done.
            const Gdal::Dataset check = memory.open(Gdal::geoTiffDrivers);
            written = check && check->GetRasterXSize() == width && check->GetRasterYSize() == height
                && check->GetRasterCount() == 1;
        }
    } catch (const std::exception&) {
        written = false;
    }
    // The bytes are written where GDAL keeps them, without a copy; the first
    // failed write ends the save, and the earlier file stays.
    if (!written || !writeFileAtomically(fileName, memory.contents()))
        throw File::error::CannotOpen;
}

void writeLatLonPoints(const std::string& fileName, const std::vector<std::vector<int>>& points,
                       const PixelToLatLon& toLatLon)
{
    std::string text;
    try {
        for (const auto& point : points) {
            if (point.size() < 2)
                throw File::error::CannotOpen;
            double lat = 0.0;
            double lon = 0.0;
            if (!toLatLon(point[0], point[1], lat, lon) || !std::isfinite(lat) || !std::isfinite(lon))
                throw File::error::MissingMetadata;
            text += formatFixed(lat, 12);
            text += ',';
            text += formatFixed(lon, 12);
            text += '\n';
        }
    } catch (const std::bad_alloc&) {
        throw File::error::CannotOpen;
    }
    if (!writeFileAtomically(fileName, text))
        throw File::error::CannotOpen;
}

} // namespace IO
