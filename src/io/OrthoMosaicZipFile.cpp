#include "io/OrthoMosaicZipFile.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cmath>
#include <limits>
#include <new>

#include <gdal_priv.h>

#include "io/GdalHandles.h"
#include "io/KmlCurves.h"

namespace IO {

namespace {

constexpr double kUnset = std::numeric_limits<double>::max();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// Raster bytes (all bands read) per read of loadBands: whole block rows of
// about this much, so each read costs GDAL little beside the decoding, and
// the blocks it caches for one read stay small.
constexpr std::int64_t kReadChunkBytes = std::int64_t{8} << 20;

// One band's rows of a read, widened to the level's floats.
void widen(const std::uint8_t* in, std::int64_t count, float* out)
{
#pragma omp parallel for schedule(static)
    for (std::int64_t i = 0; i < count; ++i)
        out[i] = static_cast<float>(in[i]);
}

} // namespace

OrthoMosaicZipFile::OrthoMosaicZipFile()
    : originX(kUnset)
    , originY(kUnset)
    , pixelSizeX(kUnset)
    , pixelSizeY(kUnset)
    , rotationX(kUnset)
    , rotationY(kUnset)
{
}

OrthoMosaicZipFile::~OrthoMosaicZipFile() = default;

void OrthoMosaicZipFile::open(std::string name_, std::string extension_, std::string directory_)
{
    File::open(std::move(name_), std::move(extension_), std::move(directory_));
    const std::string path = directory + "/" + name + "." + extension;

    Gdal::Dataset dataset = Gdal::openRaster(path, Gdal::geoTiffDrivers);
    if (!dataset)
        throw error::CannotOpen;
    const long long rasterWidth = dataset->GetRasterXSize();
    const long long rasterHeight = dataset->GetRasterYSize();
    double transform[6];
    if (dataset->GetGeoTransform(transform) != CE_None)
        throw error::MissingMetadata;
    if (rasterWidth * rasterHeight > INT_MAX || !Gdal::layoutFitsFile(*dataset, path))
        throw error::UnsupportedFormat;

    // Fresh records for every raster: a level keeps its histogram once built,
    // so records carried over from the previous raster would crop this one
    // with that raster's limits.
    std::vector<Band> list;
    const int count = dataset->GetRasterCount();
    list.reserve(static_cast<std::size_t>(count));
    for (int i = 1; i <= count; ++i) {
        Band band(Gdal::colourBandName(dataset->GetRasterBand(i)));
        band.levels.emplace_back(path);
        list.push_back(std::move(band));
    }

    unloadBandsExcept({});
    bands = std::move(list);
    loadedBands.clear();
    width = static_cast<int>(rasterWidth);
    height = static_cast<int>(rasterHeight);
    pixelCount = width * height;
    originX = transform[0];
    pixelSizeX = transform[1];
    rotationX = transform[2];
    originY = transform[3];
    rotationY = transform[4];
    pixelSizeY = transform[5];
    const char* wkt = dataset->GetProjectionRef();
    projectionWkt = wkt != nullptr ? wkt : "";
}

void OrthoMosaicZipFile::loadBand(int band, int level, double lowCut, double highCut, bool, bool keepRaw)
{
    // The automatic crop is always on for orthophotos: their histograms
    // carry long sparse tails (reflections, shadows) a fixed cut handles badly.
    loadBands({band}, level, lowCut, highCut, keepRaw);
}

void OrthoMosaicZipFile::loadBands(const std::vector<int>& list, int level, double lowCut, double highCut,
                                   bool keepRaw)
{
    std::vector<BandLevel*> targets;
    for (const int band : list)
        targets.push_back(&bandLevel(band, level));
    if (targets.empty())
        return;
    const std::string& path = targets.front()->path;
    Gdal::Dataset dataset = Gdal::openRaster(path, Gdal::geoTiffDrivers);
    if (!dataset)
        throw error::ReadFailed;
    // The same checks as loadBand, band by band, before anything is read.
    std::vector<int> bandMap;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (targets[i]->path != path || list[i] + 1 > dataset->GetRasterCount())
            throw error::ReadFailed;
        GDALRasterBand* raster = dataset->GetRasterBand(list[i] + 1);
        if (raster == nullptr)
            throw error::ReadFailed;
        if (raster->GetRasterDataType() != GDT_Byte)
            throw error::UnsupportedFormat;
        if (raster->GetXSize() != width || raster->GetYSize() != height || pixelCount <= 0)
            throw error::ReadFailed;
        bandMap.push_back(list[i] + 1);
    }
    const int count = static_cast<int>(bandMap.size());

    // Whole block rows per read, so no block is decoded twice.
    int blockWidth = 0;
    int blockHeight = 0;
    dataset->GetRasterBand(bandMap.front())->GetBlockSize(&blockWidth, &blockHeight);
    blockHeight = std::clamp(blockHeight, 1, height);
    const std::int64_t rowBytes = static_cast<std::int64_t>(width) * count;
    const std::int64_t blockRowsPerRead = std::max<std::int64_t>(1, kReadChunkBytes / (rowBytes * blockHeight));
    const int rowsPerRead = static_cast<int>(std::min<std::int64_t>(height, blockRowsPerRead * blockHeight));

    std::vector<std::unique_ptr<float[]>> samples(list.size());
    std::vector<std::uint8_t> rows;
    try {
        for (auto& band : samples)
            band = BandLevel::allocateSamples(pixelCount);
        rows.resize(static_cast<std::size_t>(rowBytes * rowsPerRead));
    } catch (const std::bad_alloc&) {
        throw error::ReadFailed;
    }

    for (int y = 0; y < height; y += rowsPerRead) {
        const int n = std::min(rowsPerRead, height - y);
        const std::int64_t plane = static_cast<std::int64_t>(width) * n;
        // One read of all bands: each block is decoded once, band-sequential
        // into rows.
        if (dataset->RasterIO(GF_Read, 0, y, width, n, rows.data(), width, n, GDT_Byte, count, bandMap.data(), 1,
                              width, plane, nullptr)
            != CE_None)
            throw error::ReadFailed;
        // Those blocks are never read again: GDAL's cached copies go now
        // instead of filling its cache with the whole raster.
        dataset->FlushCache(false);
        const std::int64_t offset = static_cast<std::int64_t>(y) * width;
        for (std::size_t i = 0; i < samples.size(); ++i)
            widen(rows.data() + static_cast<std::int64_t>(i) * plane, plane, samples[i].get() + offset);
    }
    dataset.reset();

    for (std::size_t i = 0; i < list.size(); ++i) {
        targets[i]->adoptData(std::move(samples[i]), pixelCount, false, 0.0, 255.0);
        loadedBands.insert(list[i]);
        if (!keepRaw)
            targets[i]->normalize(lowCut, highCut, true);
    }
}

void OrthoMosaicZipFile::loadCurves(std::string fileName, std::string extension,
                                    std::vector<std::vector<Point2D>>& curves, std::vector<std::string>& names)
{
    loadKmlCurves(fileName, extension, KrovakKmlConverter(*this, grid()), curves, names);
}

void OrthoMosaicZipFile::saveCurves(std::string fileName, std::string extension,
                                    const std::vector<std::vector<Point2D>>& curves,
                                    const std::vector<std::string>& names, const std::vector<std::string>& codes,
                                    const std::vector<std::string>& segmentationTypes,
                                    const std::vector<std::vector<double>>& segmentationParams)
{
    saveKmlCurves(fileName, extension, curves, names, codes, segmentationTypes, segmentationParams,
                  kmlGenericLocTile, KrovakKmlConverter(*this, grid()));
}

void OrthoMosaicZipFile::readRegion(int band, int level, int x, int y, int regionWidth, int regionHeight,
                                    int outWidth, int outHeight, std::vector<double>& out)
{
    readLoadedRegion(band, level, x, y, regionWidth, regionHeight, outWidth, outHeight, out);
}

int OrthoMosaicZipFile::wgs84ToKrovak(double lon, double lat, double* x, double* y)
{
    double kx = kNaN;
    double ky = kNaN;
    const bool converted = toKrovak(lat, lon, kx, ky);
    *x = kx;
    *y = ky;
    return converted ? 1 : 0;
}

double OrthoMosaicZipFile::absPixelSizeX() const
{
    return std::abs(pixelSizeX);
}

double OrthoMosaicZipFile::absPixelSizeY() const
{
    return std::abs(pixelSizeY);
}

double OrthoMosaicZipFile::groundPixelSize() const
{
    return absPixelSizeX();
}

KrovakGrid OrthoMosaicZipFile::grid() const
{
    return {originX, originY, absPixelSizeX(), absPixelSizeY()};
}

} // namespace IO
