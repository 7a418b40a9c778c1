#include "io/JP2ZipFile.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdint>
#include <cmath>
#include <filesystem>
#include <future>
#include <iostream>
#include <limits>
#include <locale>
#include <memory>
#include <new>
#include <numeric>
#include <optional>
#include <sstream>
#include <system_error>
#include <thread>

#include <GeographicLib/GeoCoords.hpp>
#include <GeographicLib/UTMUPS.hpp>

#include "io/GdalHandles.h"
#include "io/GeoTiffExport.h"
#include "io/KmlCurves.h"
#include "io/PositionText.h"

namespace IO {

namespace {

// What a product archive may hold. A real product lists a few hundred
// entries, some forty of them rasters with a band code; a raster holds one
// component (three in the true-colour and preview images) in at most 121
// tiles (a 10 m band in tiles of 1024 pixels), the rasters a few thousand
// tiles together. Every count is read before anything is listed or opened:
// listing the archive costs time in the square of its entries, each raster
// opened costs milliseconds and searches the listing once more, and the
// decoder sets up every component of every tile a raster declares,
// kilobytes each, whenever it opens the raster: once when the product
// opens, and again on every thread that decodes it at each read, so that a
// raster just under the product's ceiling would cost gigabytes at its first
// read. Tiles are counted once per component.
constexpr std::uint64_t kMaxArchiveEntries = 2000;
constexpr std::size_t kMaxBandRasters = 256;
constexpr std::uint64_t kMaxProductTiles = 16384;
constexpr std::uint64_t kMaxRasterTiles = 1024;

// Components of a product raster: one sample per pixel, three (red, green,
// blue) in the true-colour and preview images. The decoder decodes every
// component of a tile to read any band of it.
int maxComponentsOf(const std::string& code)
{
    return code == "TCI" || code == "PVI" ? 3 : 1;
}

// A product's preview is 343 x 343 pixels. One that declares more than this
// per side is not read: GDAL would decode it at the level nearest the
// preview's size, gigabytes for a raster that declares hundreds of thousands
// of pixels per side in a few bytes.
constexpr int kMaxPreviewSide = 2048;

// A product's bands come at 10, 20 and 60 m: scales 1, 2 and 6 on the 10 m
// working grid. The working grid is at most a real tile's.
constexpr int kBandScales[] = {1, 2, 6};
constexpr int kTileGridSize = 10980;

// The whole scale of a pixel size (metres) on the working grid, 0 when it is
// none of the product's resolutions. The comparison is made in floating point
// before anything becomes an int, so a pixel size of any value is safe here.
int bandScaleOf(double filePixelSize, double gridPixelSize)
{
    const double scale = filePixelSize / gridPixelSize;
    for (const int candidate : kBandScales)
        if (std::abs(scale - candidate) <= 1e-9 * candidate)
            return candidate;
    return 0;
}

// Runs body and turns every foreign exception into the file layer's code.
template <typename Body>
void atBoundary(File::error code, Body&& body)
{
    try {
        body();
    } catch (const File::error&) {
        throw;
    } catch (const std::exception&) {
        throw code;
    }
}

bool isTileId(const std::string& token)
{
    // "T33UXP": T, two digits of the UTM zone, three letters of the grid square.
    return token.size() == 6 && token[0] == 'T' && std::isdigit(static_cast<unsigned char>(token[1]))
        && std::isdigit(static_cast<unsigned char>(token[2])) && std::isupper(static_cast<unsigned char>(token[3]))
        && std::isupper(static_cast<unsigned char>(token[4])) && std::isupper(static_cast<unsigned char>(token[5]));
}

// Raw samples of one raster of the product, read onto the working grid
// (resampled by GDAL, nearest neighbour) in strips of grid rows through a
// dataset of its own, so two rasters can be decoded side by side. A raster the
// grid is a whole multiple of (10, 20 and 60 m bands on the 10 m grid) is read
// strip by strip; any other only whole.
class GridStrips {
public:
    // False when the raster cannot be opened or holds a sample type the
    // readers do not support.
    bool open(const std::string& path, int gridWidth, int gridHeight)
    {
        dataset_ = Gdal::openRaster(path, Gdal::jpeg2000Drivers);
        if (!dataset_ || dataset_->GetRasterCount() < 1)
            return false;
        raster_ = dataset_->GetRasterBand(1);
        const GDALDataType type = raster_->GetRasterDataType();
        rasterWidth_ = raster_->GetXSize();
        rasterHeight_ = raster_->GetYSize();
        if ((type != GDT_UInt16 && type != GDT_Byte) || rasterWidth_ <= 0 || rasterHeight_ <= 0)
            return false;
        gridWidth_ = gridWidth;
        gridHeight_ = gridHeight;
        type_ = type;
        if (gridWidth % rasterWidth_ == 0 && gridHeight % rasterHeight_ == 0) {
            factor_ = gridHeight / rasterHeight_;
            int blockWidth = 0;
            int blockHeight = 0;
            raster_->GetBlockSize(&blockWidth, &blockHeight);
            blockWidth = std::clamp(blockWidth, 1, rasterWidth_);
            blocksPerRow_ = (rasterWidth_ + blockWidth - 1) / blockWidth;
            blockGridRows_ = std::clamp(blockHeight, 1, rasterHeight_) * factor_;
        } else {
            factor_ = 0;
            blockGridRows_ = gridHeight;
        }
        return true;
    }

    GDALDataType type() const { return type_; }
    // Grid rows a strip must be a multiple of (0: only the whole grid).
    int factor() const { return factor_; }
    // Grid rows of a strip whose blocks keep every decoding thread of GDAL
    // busy when one raster is read alone: rows of blocks for eight blocks a
    // thread.
    int busyStripRows() const
    {
        if (factor_ == 0)
            return gridHeight_;
        const int threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
        const int blockRows = std::max(1, (8 * threads + blocksPerRow_ - 1) / blocksPerRow_);
        return static_cast<int>(std::min<long long>(gridHeight_, static_cast<long long>(blockRows) * blockGridRows_));
    }
    // Grid rows of one row of the raster's blocks.
    int blockGridRows() const { return blockGridRows_; }

    // Grid rows [row, row + rows) into dst; row and rows are multiples of
    // factor() (rows may end at the grid's end). Decoded blocks are dropped
    // from GDAL's cache once the strip has used the last of them, so the
    // decoded raster is never held beside the samples.
    bool read(int row, int rows, float* dst)
    {
        CPLErr status = CE_Failure;
        if (factor_ == 0) {
            if (row != 0 || rows != gridHeight_)
                return false;
            status = raster_->RasterIO(GF_Read, 0, 0, rasterWidth_, rasterHeight_, dst, gridWidth_, gridHeight_,
                                       GDT_Float32, 0, 0, nullptr);
        } else {
            status = raster_->RasterIO(GF_Read, 0, row / factor_, rasterWidth_, rows / factor_, dst, gridWidth_, rows,
                                       GDT_Float32, 0, 0, nullptr);
        }
        const int end = row + rows;
        if (end == gridHeight_ || end % blockGridRows_ == 0)
            raster_->FlushCache(false);
        return status == CE_None;
    }

private:
    Gdal::Dataset dataset_;
    GDALRasterBand* raster_ = nullptr;
    int rasterWidth_ = 0;
    int rasterHeight_ = 0;
    int gridWidth_ = 0;
    int gridHeight_ = 0;
    GDALDataType type_ = GDT_Unknown;
    int factor_ = 0;
    int blocksPerRow_ = 1;
    int blockGridRows_ = 1;
};

// A window of grid pixels asked for at outWidth x outHeight samples.
struct Window {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    int outWidth = 0;
    int outHeight = 0;
};

// Reads a window of raw samples from a raster whose pixel covers scale x
// scale grid pixels (1 for a band's own pixels, the source's scale for the
// working grid of an index band) into out, outWidth x outHeight values.
//
// Output pixel k covers the grid span [x + k w / ow, x + (k + 1) w / ow) and
// takes the raster pixel under its centre, floor((x + (k + 1/2) w / ow) /
// scale): the pixel a read of the whole grid puts there. GDAL is asked for the
// same span in raster pixels, kept fractional, and its nearest-neighbour
// resampling picks exactly that pixel. Only output pixels whose span lies
// inside the raster are read; the others keep what out holds.
//
// The raster comes from the data set's cache of open rasters, so a window
// that GDAL has decoded before is served from its block cache. Throws
// ReadFailed when the raster cannot be opened, holds a sample type other
// than 8-bit or unsigned 16-bit, or the read fails.
void readWindow(Gdal::DatasetCache& rasters, const std::string& path, long long scale, const Window& w,
                double* out)
{
    Gdal::DatasetCache::Lease dataset = rasters.acquire(path);
    if (!dataset || dataset->GetRasterCount() < 1)
        throw File::error::ReadFailed;
    GDALRasterBand* raster = dataset->GetRasterBand(1);
    const GDALDataType type = raster->GetRasterDataType();
    if (type != GDT_UInt16 && type != GDT_Byte)
        throw File::error::ReadFailed;

    // Positions in units of 1 / outSize grid pixels, exact in integers: output
    // pixel k starts at origin * outSize + k * size.
    auto insideRange = [](long long origin, long long size, long long outSize, long long extent) {
        // first k with origin * outSize + k * size >= 0
        long long first = origin >= 0 ? 0 : (-origin * outSize + size - 1) / size;
        // last k + 1 with origin * outSize + (k + 1) * size <= extent * outSize
        const long long room = (extent - origin) * outSize;
        long long end = room < 0 ? 0 : room / size;
        first = std::clamp(first, 0LL, outSize);
        end = std::clamp(end, 0LL, outSize);
        return std::pair{first, end};
    };
    const auto [k0, k1] = insideRange(w.x, w.width, w.outWidth, raster->GetXSize() * scale);
    const auto [l0, l1] = insideRange(w.y, w.height, w.outHeight, raster->GetYSize() * scale);
    if (k0 >= k1 || l0 >= l1)
        return;

    const long long startX = w.x * static_cast<long long>(w.outWidth) + k0 * w.width;
    const long long endX = w.x * static_cast<long long>(w.outWidth) + k1 * w.width;
    const long long startY = w.y * static_cast<long long>(w.outHeight) + l0 * w.height;
    const long long endY = w.y * static_cast<long long>(w.outHeight) + l1 * w.height;
    // One raster pixel is outSize * scale of those units.
    const long long unitX = w.outWidth * scale;
    const long long unitY = w.outHeight * scale;
    GDALRasterIOExtraArg extra;
    INIT_RASTERIO_EXTRA_ARG(extra);
    extra.bFloatingPointWindowValidity = TRUE;
    extra.dfXOff = static_cast<double>(startX) / static_cast<double>(unitX);
    extra.dfYOff = static_cast<double>(startY) / static_cast<double>(unitY);
    extra.dfXSize = static_cast<double>(endX - startX) / static_cast<double>(unitX);
    extra.dfYSize = static_cast<double>(endY - startY) / static_cast<double>(unitY);
    const int readX = static_cast<int>(startX / unitX);
    const int readY = static_cast<int>(startY / unitY);
    const int readWidth = static_cast<int>((endX + unitX - 1) / unitX) - readX;
    const int readHeight = static_cast<int>((endY + unitY - 1) / unitY) - readY;
    double* target = out + l0 * w.outWidth + k0;
    const GSpacing lineSpace = static_cast<GSpacing>(sizeof(double)) * w.outWidth;
    const CPLErr status = raster->RasterIO(GF_Read, readX, readY, readWidth, readHeight, target,
                                           static_cast<int>(k1 - k0), static_cast<int>(l1 - l0), GDT_Float64,
                                           sizeof(double), lineSpace, &extra);
    if (status != CE_None) {
        // The decoder's state after a failed read is not to be trusted: the
        // next read opens the raster afresh, as the first one did.
        dataset.discard();
        throw File::error::ReadFailed;
    }
}

std::string workingDirectory()
{
    std::error_code ec;
    const auto path = std::filesystem::current_path(ec);
    return ec ? std::string() : path.string();
}

// Whole metres, truncated toward zero like an int conversion, for values
// that fit an int; false otherwise (NaN, infinite, out of range).
bool truncateToInt(double value, double* out)
{
    if (!std::isfinite(value))
        return false;
    const double whole = std::trunc(value);
    if (whole < static_cast<double>(INT_MIN) || whole > static_cast<double>(INT_MAX))
        return false;
    *out = whole;
    return true;
}

} // namespace

// ---------------------------------------------------------------- BandSource

JP2ZipFile::BandSource::BandSource(std::string code_, std::string description_)
    : code(std::move(code_))
    , description(std::move(description_))
{
}

// ---------------------------------------------------------------- JP2ZipFile

JP2ZipFile::JP2ZipFile()
    : rasters_(std::make_unique<Gdal::DatasetCache>(Gdal::jpeg2000Drivers))
{
    bandDescriptions = {
        {"AOT", "Aerosol Optical Thickness"},
        {"B01", "Aerosol detection"},
        {"B02", "Blue"},
        {"B03", "Green"},
        {"B04", "Red"},
        {"B05", "Vegetation classification"},
        {"B06", "Vegetation classification"},
        {"B07", "Vegetation classification"},
        {"B08", "Near infrared"},
        {"B08A", "Vegetation classification"},
        {"B09", "Water vapour"},
        {"B10", "Cirrus"},
        {"B11", "Snow / ice / cloud discrimination"},
        {"B12", "Snow / ice / cloud discrimination"},
        {"B8A", "Vegetation classification"},
        {"CLD", "Cloud map"},
        {"PVI", "PreView Image"},
        {"SCL", "Scene Classification"},
        {"SNW", "Snow map"},
        {"TCI", "True Colour Images"},
        {"VIS", "VIS"},
        {"WVP", "Scene-average Water Vapour map"},
    };
    indexNames = {
        {"NDPI", "Normalized Difference Pond Index"},
        {"NDTI", "Normalized Difference Turbidity Index"},
        {"NDVI", "Normalized Difference Vegetation Index"},
        {"NDWI", "Normalized Difference Water Index"},
        {"NDWI2", "Normalized Difference Water Index 2"},
        {"NDWI3", "Normalized Difference Water Index 3"},
    };
    indexSources = {
        {"NDPI", {"B11", "B03"}},
        {"NDTI", {"B04", "B03"}},
        {"NDVI", {"B08", "B04"}},
        {"NDWI", {"B03", "B08"}},
        {"NDWI2", {"B03", "B11"}},
        {"NDWI3", {"B08", "B12"}},
    };
}

JP2ZipFile::~JP2ZipFile() = default;

std::string JP2ZipFile::bandCodeOf(const std::string& entryPath) const
{
    std::string fileName = entryPath.substr(entryPath.find_last_of("/\\") + 1);
    if (const auto dot = fileName.rfind('.'); dot != std::string::npos)
        fileName.erase(dot);

    std::vector<std::string> tokens;
    std::size_t start = 0;
    while (start <= fileName.size()) {
        const auto end = std::min(fileName.find('_', start), fileName.size());
        if (end > start)
            tokens.push_back(fileName.substr(start, end - start));
        start = end + 1;
    }
    // Band files carry the tile id first ("T33UXP_20230601T095031_B04_10m");
    // the masks of the quality folder carry none ("MSK_CLDPRB_20m").
    auto first = tokens.begin();
    if (const auto tile = std::find_if(tokens.begin(), tokens.end(), isTileId); tile != tokens.end())
        first = tile + 1;

    // Codes are tried in key order; a token names a code when it starts with
    // it ("CLDPRB" is the cloud map, "SNWPRB" the snow map).
    for (const auto& [code, description] : bandDescriptions)
        for (auto it = first; it != tokens.end(); ++it)
            if (it->compare(0, code.size(), code) == 0)
                return code;
    return {};
}

std::string JP2ZipFile::firstBandPath() const
{
    if (bands.empty() || bands.front().levels.empty())
        return {};
    return bands.front().levels.front().path;
}

void JP2ZipFile::open(std::string name_, std::string extension_, std::string directory_)
{
    try {
        openProduct(std::move(name_), std::move(extension_), std::move(directory_));
    } catch (const error&) {
        throw;
    } catch (const GeographicLib::GeographicErr&) {
        throw error::MissingMetadata;
    } catch (const std::exception&) {
        throw error::CannotOpen;
    }
}

void JP2ZipFile::openProduct(std::string name_, std::string extension_, std::string directory_)
{
    if (extension_ != "zip")
        throw error::UnsupportedFormat;
    // Rasters kept open from an earlier product of this object are not read
    // again.
    rasters_->clear();
    File::open(std::move(name_), std::move(extension_), std::move(directory_));

    const std::string zipPath = directory + "/" + name + "." + extension;
    const std::string archive = "/vsizip/" + zipPath;
    // An archive of more entries than any product, or one that cannot be
    // listed, lists nothing.
    std::vector<std::pair<std::string, std::string>> rasters;  // entry and band code
    for (auto& entry : Gdal::listZip(zipPath, kMaxArchiveEntries)) {
        if (entry.find(".jp2") == std::string::npos || entry.find("MSK_DETFOO") != std::string::npos
            || entry.find("MSK_QUALIT") != std::string::npos)
            continue;
        std::string code = bandCodeOf(entry);
        rasters.emplace_back(std::move(entry), std::move(code));
    }
    if (rasters.empty())
        throw error::FileCorrupted;
    const auto banded = std::count_if(rasters.begin(), rasters.end(), [](const auto& r) { return !r.second.empty(); });
    if (static_cast<std::size_t>(banded) > kMaxBandRasters)
        throw error::FileCorrupted;

    Gdal::registerDrivers();
    Gdal::preferProjDatabaseIn(workingDirectory());

    struct RasterSize {
        int width;
        int height;
    };
    std::map<std::string, RasterSize> rasterSizes;
    std::vector<std::string> codes;
    bool georeferenced = false;
    std::uint64_t tiles = 0;
    for (const auto& [entry, code] : rasters) {
        if (code.empty())
            continue;
        const std::string path = archive + "/" + entry;
        // The tiles and components are counted from the header before the
        // decoder sets them up.
        const std::optional<Gdal::Jpeg2000Layout> layout = Gdal::jpeg2000Layout(path);
        if (!layout)
            throw error::CannotOpen;
        const int components = maxComponentsOf(code);
        if (layout->components > components
            || layout->tiles > kMaxRasterTiles / static_cast<std::uint64_t>(layout->components))
            throw error::FileCorrupted;
        tiles += layout->tiles * static_cast<std::uint64_t>(layout->components);
        if (tiles > kMaxProductTiles)
            throw error::FileCorrupted;
        const Gdal::Dataset dataset = Gdal::openRaster(path, Gdal::jpeg2000Drivers);
        if (!dataset)
            throw error::CannotOpen;
        // More bands than the raster's kind has, as GDAL counts them, or a
        // tile no real product has: reading any pixel of it would make it
        // whole first.
        if (dataset->GetRasterCount() > components || !Gdal::blocksFit(*dataset))
            throw error::FileCorrupted;
        double transform[6];
        if (dataset->GetGeoTransform(transform) != CE_None)
            throw error::MissingMetadata;
        // A pixel size that no raster can have (zero, negative, not a
        // number, astronomically large) is a corrupted georeference.
        const double filePixelSize = transform[1];
        if (!std::isfinite(filePixelSize) || filePixelSize <= 0.0)
            throw error::FileCorrupted;

        if (!georeferenced) {
            double easting = 0.0;
            double northing = 0.0;
            if (!truncateToInt(transform[0], &easting) || !truncateToInt(transform[3], &northing))
                throw error::MissingMetadata;
            const OGRSpatialReference* srs = dataset->GetSpatialRef();
            if (!srs)
                throw error::MissingMetadata;
            int north = 0;
            const int zone = srs->GetUTMZone(&north);
            if (zone < GeographicLib::UTMUPS::MINUTMZONE || zone > GeographicLib::UTMUPS::MAXUTMZONE)
                throw error::MissingMetadata;
            originEasting = static_cast<int>(easting);
            originNorthing = static_cast<int>(northing);
            utmZone = zone;
            northernHemisphere = north ? 1 : 0;
            georeferenced = true;
        }

        auto [source, inserted] = bandSources.try_emplace(code, code, bandDescriptions.at(code));
        if (inserted && code != "TCI" && code != "PVI")
            codes.push_back(code);
        source->second.files.emplace_back(path, filePixelSize);
        rasterSizes[path] = {dataset->GetRasterXSize(), dataset->GetRasterYSize()};
    }

    // A product in which no file names a band has nothing to show.
    if (codes.empty())
        throw error::FileCorrupted;

    // Every size is checked here, before any pixel is read: a raster header
    // is a few bytes that may declare any size, and a band load allocates
    // the whole working grid.
    std::sort(codes.begin(), codes.end());
    bands.clear();
    bands.reserve(codes.size() + indexSources.size());
    for (const auto& code : codes) {
        BandSource& source = bandSources.at(code);
        std::vector<std::pair<std::string, double>> files(source.files.begin(), source.files.end());
        std::stable_sort(files.begin(), files.end(),
                         [](const auto& a, const auto& b) { return a.second < b.second; });
        source.files.assign(files.begin(), files.end());
        const auto& [path, filePixelSize] = files.front();
        const int scale = bandScaleOf(filePixelSize, pixelSize);
        if (scale == 0)
            throw error::FileCorrupted;
        const RasterSize size = rasterSizes.at(path);

        if (bands.empty()) {
            // The first band's raster defines the working grid of every band,
            // which is at most a real tile.
            const long long gridWidth = static_cast<long long>(size.width) * scale;
            const long long gridHeight = static_cast<long long>(size.height) * scale;
            if (gridWidth < 1 || gridHeight < 1 || gridWidth > kTileGridSize || gridHeight > kTileGridSize)
                throw error::FileCorrupted;
            width = static_cast<int>(gridWidth);
            height = static_cast<int>(gridHeight);
            pixelCount = width * height;
        } else {
            // Every other band covers the same grid at its own scale, to
            // within one of its pixels.
            const long long coveredWidth = static_cast<long long>(size.width) * scale;
            const long long coveredHeight = static_cast<long long>(size.height) * scale;
            if (std::abs(coveredWidth - width) > scale || std::abs(coveredHeight - height) > scale)
                throw error::FileCorrupted;
        }

        Band band(code + "-" + source.description);
        band.code = code;
        band.scale = scale;
        band.levels.emplace_back(path);
        bands.push_back(std::move(band));
    }

    // Both corners of the working grid; the lower-right one lies size x 10 m
    // from the origin whatever raster happened to be listed first.
    const GeographicLib::GeoCoords upperLeft(utmZone, northernHemisphere != 0, originEasting, originNorthing);
    const GeographicLib::GeoCoords lowerRight(utmZone, northernHemisphere != 0, originEasting + width * pixelSize,
                                              originNorthing - height * pixelSize);
    upperLeftLat = upperLeft.Latitude();
    upperLeftLon = upperLeft.Longitude();
    lowerRightLat = lowerRight.Latitude();
    lowerRightLon = lowerRight.Longitude();

    const int imageBands = static_cast<int>(bands.size());
    for (const auto& [indexCode, sourceCodes] : indexSources) {
        int a = -1;
        int b = -1;
        for (int i = 0; i < imageBands; ++i) {
            const auto& code = bands[static_cast<std::size_t>(i)].code;
            if (code == sourceCodes[0])
                a = i;
            else if (code == sourceCodes[1])
                b = i;
        }
        if (a < 0 || b < 0)
            continue;
        Band band(indexCode + " - " + indexNames.at(indexCode));
        band.code = indexCode;
        band.derived = true;
        band.levels.emplace_back(band.name);
        band.sourceBands = {a, b};
        // Image band scales are 1, 2 or 6 (checked above): whole numbers.
        band.sourceScales = {static_cast<int>(bands[static_cast<std::size_t>(a)].scale),
                             static_cast<int>(bands[static_cast<std::size_t>(b)].scale)};
        bands.push_back(std::move(band));
    }
}

// ------------------------------------------------------------ band loading

void JP2ZipFile::loadBand(int band, int level, double lowCut, double highCut, bool autoCrop, bool keepRaw)
{
    atBoundary(error::ReadFailed, [&] {
        BandLevel& target = bandLevel(band, level);
        loadedBands.insert(band);
        const Band& record = bands[static_cast<std::size_t>(band)];
        if (record.derived)
            loadIndexBand(target, record.sourceBands, lowCut, highCut);
        else
            readBandLevel(target, lowCut, highCut, autoCrop, keepRaw);
    });
}

void JP2ZipFile::readBandLevel(BandLevel& level, double lowCut, double highCut, bool autoCrop, bool keepRaw)
{
    atBoundary(error::ReadFailed, [&] {
        GridStrips source;
        if (pixelCount <= 0 || !source.open(level.path, width, height))
            throw error::ReadFailed;

        // GDAL converts the samples to float while it reads them onto the
        // working grid: the level's array is the only full-size buffer, and
        // each strip's decoded blocks are dropped once it is read.
        std::unique_ptr<float[]> samples = BandLevel::allocateSamples(pixelCount);
        const int stripRows = source.busyStripRows();
        for (int row = 0; row < height; row += stripRows) {
            const int rows = std::min(stripRows, height - row);
            float* strip = samples.get() + static_cast<std::size_t>(row) * static_cast<std::size_t>(width);
            if (!source.read(row, rows, strip))
                throw error::ReadFailed;
        }
        if (source.type() == GDT_UInt16)
            level.adoptData(std::move(samples), pixelCount, true, 0, 0);
        else
            level.adoptData(std::move(samples), pixelCount, false, 0, 255);
        if (!keepRaw)
            level.normalize(lowCut, highCut, autoCrop);
    });
}

void JP2ZipFile::loadIndexBand(BandLevel& level, const std::vector<int>& sourceBands, double, double)
{
    atBoundary(error::ReadFailed, [&] {
        if (sourceBands.size() < 2 || pixelCount <= 0)
            throw error::ReadFailed;
        const std::string* paths[2] = {nullptr, nullptr};
        for (int i = 0; i < 2; ++i) {
            const int s = sourceBands[static_cast<std::size_t>(i)];
            if (s < 0 || s >= static_cast<int>(bands.size()) || bands[static_cast<std::size_t>(s)].derived)
                throw error::ReadFailed;
            paths[i] = &bandLevel(s, 0).path;
        }

        // The index is computed from the raw samples, the values window reads
        // give, never from the sources' levels: those are normalised with
        // whatever crop their own load asked for. So the sources are read
        // again, on a dataset each, into buffers that belong to this load
        // alone; a source the user has loaded keeps its level as it is, and a
        // source that is not loaded never gets data.
        //
        // Both are decoded at once, strip by strip: a strip of the first
        // source lands where its index values go, the second source's strip
        // beside it, and the strip's index replaces the first source's
        // samples. So the load holds the index and one strip, whatever is
        // loaded already. A strip spans one row of blocks of the coarser
        // source, so no block is decoded twice and every decoding thread of
        // GDAL has blocks to work on.
        GridStrips sources[2];
        for (int i = 0; i < 2; ++i)
            if (!sources[i].open(*paths[i], width, height))
                throw error::ReadFailed;
        int stripRows = height;
        if (sources[0].factor() > 0 && sources[1].factor() > 0) {
            const int multiple = std::lcm(sources[0].factor(), sources[1].factor());
            const int blockRows = std::max(sources[0].blockGridRows(), sources[1].blockGridRows());
            stripRows = std::min(height, (blockRows + multiple - 1) / multiple * multiple);
        }

        std::unique_ptr<float[]> index = BandLevel::allocateSamples(pixelCount);
        std::unique_ptr<float[]> strip = BandLevel::allocateSamples(stripRows * width);
        for (int row = 0; row < height; row += stripRows) {
            const int rows = std::min(stripRows, height - row);
            float* values = index.get() + static_cast<std::size_t>(row) * static_cast<std::size_t>(width);
            const float* other = strip.get();
            auto second = std::async(std::launch::async, [&] { return sources[1].read(row, rows, strip.get()); });
            const bool readFirst = sources[0].read(row, rows, values);
            if (!second.get() || !readFirst)
                throw error::ReadFailed;
            const long long count = static_cast<long long>(rows) * width;
#pragma omp parallel for schedule(static)
            for (long long i = 0; i < count; ++i) {
                const float sum = values[i] + other[i];
                values[i] = sum != 0.0f ? (values[i] - other[i]) / sum : 0.0f;
            }
        }
        strip.reset();
        const int n = pixelCount;
        // Mapped from its own minimum and maximum to [0, 1]; the cuts of the
        // request are for image bands.
        level.adoptData(std::move(index), n, true, 0, 0);
        level.normalize(0.0, 1.0, false);
    });
}

// ------------------------------------------------------------ window reads

void JP2ZipFile::readRegion(int band, int level, int x, int y, int width_, int height_, int outWidth,
                            int outHeight, std::vector<double>& out)
{
    atBoundary(error::ReadFailed, [&] {
        try {
            bandLevel(band, level);
        } catch (const error&) {
            out.assign(static_cast<std::size_t>(std::max(outWidth, 0)) * std::max(outHeight, 0), 0.0);
            throw;
        }
        const Band& record = bands[static_cast<std::size_t>(band)];
        if (record.derived)
            readIndexRegion(record, level, x, y, width_, height_, outWidth, outHeight, out);
        else
            readLevelRegion(record.levels[static_cast<std::size_t>(level)], x, y, width_, height_, outWidth,
                            outHeight, out);
    });
}

void JP2ZipFile::readLevelRegion(const BandLevel& level, int x, int y, int width_, int height_, int outWidth,
                                 int outHeight, std::vector<double>& out)
{
    atBoundary(error::ReadFailed, [&] {
        out.assign(static_cast<std::size_t>(std::max(outWidth, 0)) * std::max(outHeight, 0), 0.0);
        if (width_ <= 0 || height_ <= 0 || outWidth <= 0 || outHeight <= 0)
            throw error::ReadFailed;
        try {
            readWindow(*rasters_, level.path, 1, {x, y, width_, height_, outWidth, outHeight}, out.data());
        } catch (...) {
            std::fill(out.begin(), out.end(), 0.0);
            throw;
        }
    });
}

void JP2ZipFile::readIndexRegion(const Band& band, int level, int x, int y, int width_, int height_,
                                 int outWidth, int outHeight, std::vector<double>& out)
{
    atBoundary(error::ReadFailed, [&] {
        const std::size_t count = static_cast<std::size_t>(std::max(outWidth, 0)) * std::max(outHeight, 0);
        out.assign(count, 0.0);
        if (band.sourceBands.size() < 2 || band.sourceScales.size() < 2)
            throw error::ReadFailed;
        if (width_ <= 0 || height_ <= 0 || outWidth <= 0 || outHeight <= 0)
            throw error::ReadFailed;
        try {
            // Both sources are read over the same working-grid window, each
            // at its own scale, so a 20 m source gives for working pixel
            // (X, Y) its pixel (X / 2, Y / 2), as a whole-band load does.
            const Window window{x, y, width_, height_, outWidth, outHeight};
            std::vector<double> second(count, 0.0);
            for (int i = 0; i < 2; ++i) {
                const int source = band.sourceBands[static_cast<std::size_t>(i)];
                const int scale = band.sourceScales[static_cast<std::size_t>(i)];
                if (scale <= 0)
                    throw error::ReadFailed;
                readWindow(*rasters_, bandLevel(source, level).path, scale, window,
                           i == 0 ? out.data() : second.data());
            }
            for (std::size_t k = 0; k < count; ++k) {
                const float a = static_cast<float>(out[k]);
                const float b = static_cast<float>(second[k]);
                const float sum = a + b;
                out[k] = sum != 0.0f ? static_cast<double>((a - b) / sum) : 0.0;
            }
        } catch (...) {
            std::fill(out.begin(), out.end(), 0.0);
            throw;
        }
    });
}

// ---------------------------------------------------------------- preview

void JP2ZipFile::loadPreview(int width_, int height_)
{
    try {
        const int w = width_ > 0 ? width_ : previewWidth;
        const int h = height_ > 0 ? height_ : previewHeight;
        if (w <= 0 || h <= 0)
            return;
        const std::size_t count = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);

        // Built aside and committed at the end, so a failure leaves the
        // planes and their size as they were.
        std::vector<std::vector<std::uint8_t>> planes(3);
        for (std::size_t i = 0; i < 3; ++i) {
            if (i < preview.size() && preview[i].size() == count)
                planes[i] = preview[i];
            else
                planes[i].assign(count, 0);
        }

        const auto source = bandSources.find("PVI");
        if (source != bandSources.end() && !source->second.files.empty()) {
            const Gdal::Dataset dataset = Gdal::openRaster(source->second.files.front().first, Gdal::jpeg2000Drivers);
            if (dataset && dataset->GetRasterXSize() <= kMaxPreviewSide
                && dataset->GetRasterYSize() <= kMaxPreviewSide) {
                std::vector<std::uint8_t> buffer(count);
                const int bandsToRead = std::min(dataset->GetRasterCount(), 3);
                for (int b = 1; b <= bandsToRead; ++b) {
                    GDALRasterBand* raster = dataset->GetRasterBand(b);
                    if (raster->RasterIO(GF_Read, 0, 0, raster->GetXSize(), raster->GetYSize(), buffer.data(), w,
                                         h, GDT_Byte, 0, 0, nullptr)
                        == CE_None)
                        planes[static_cast<std::size_t>(b - 1)] = buffer;
                }
            }
        }

        preview = std::move(planes);
        previewWidth = w;
        previewHeight = h;
    } catch (...) {
        // The preview is a convenience: a product whose preview cannot be
        // read keeps the planes it had.
    }
}

// ------------------------------------------------------------ coordinates

bool JP2ZipFile::pixelToUtm(double x, double y, double* easting, double* northing) const noexcept
{
    return truncateToInt(originEasting + x * 10.0, easting) && truncateToInt(originNorthing - y * 10.0, northing);
}

bool JP2ZipFile::utmToLatLon(double easting, double northing, double* lat, double* lon) const noexcept
{
    try {
        const GeographicLib::GeoCoords point(utmZone, northernHemisphere != 0, easting, northing);
        *lat = point.Latitude();
        *lon = point.Longitude();
        return true;
    } catch (...) {
        *lat = std::numeric_limits<double>::quiet_NaN();
        *lon = std::numeric_limits<double>::quiet_NaN();
        return false;
    }
}

void JP2ZipFile::pixelToLatLon(double x, double y, double* lat, double* lon)
{
    double easting = 0.0;
    double northing = 0.0;
    if (!pixelToUtm(x, y, &easting, &northing)) {
        *lat = std::numeric_limits<double>::quiet_NaN();
        *lon = std::numeric_limits<double>::quiet_NaN();
        return;
    }
    utmToLatLon(easting, northing, lat, lon);
}

void JP2ZipFile::latLonToPixel(double lat, double lon, double* x, double* y)
{
    try {
        // Forced into the data set's zone: a point of a neighbouring zone
        // still gets coordinates on this grid.
        const GeographicLib::GeoCoords point(lat, lon, utmZone);
        // A point on the other side of the equator gets its northing in the
        // tile's hemisphere convention, so the grid stays continuous.
        double northing = point.Northing();
        if (point.Northp() && northernHemisphere == 0)
            northing += GeographicLib::UTMUPS::UTMShift();
        else if (!point.Northp() && northernHemisphere != 0)
            northing -= GeographicLib::UTMUPS::UTMShift();
        *x = (point.Easting() - originEasting) / 10.0;
        *y = (originNorthing - northing) / 10.0;
    } catch (...) {
        *x = std::numeric_limits<double>::quiet_NaN();
        *y = std::numeric_limits<double>::quiet_NaN();
    }
}

bool JP2ZipFile::containsLatLon(double lat, double lon)
{
    return lowerRightLat <= lat && lat <= upperLeftLat && upperLeftLon <= lon && lon <= lowerRightLon;
}

void JP2ZipFile::utmOrigin(double* easting, double* northing, std::vector<double>& zone)
{
    *easting = originEasting;
    *northing = originNorthing;
    try {
        zone.push_back(northernHemisphere);
        zone.push_back(utmZone);
    } catch (...) {
    }
}

void JP2ZipFile::utmToPixel(double easting, double northing, std::vector<double> zone, int* x, int* y)
{
    if (zone.size() < 2 || !std::isfinite(zone[0]) || !std::isfinite(zone[1]))
        return;
    if (std::trunc(zone[0]) != northernHemisphere || std::trunc(zone[1]) != utmZone)
        return;
    double px = 0.0;
    double py = 0.0;
    if (!truncateToInt((easting - originEasting) / pixelSize + 0.5, &px)
        || !truncateToInt((originNorthing - northing) / pixelSize + 0.5, &py))
        return;
    *x = static_cast<int>(px);
    *y = static_cast<int>(py);
}

std::string JP2ZipFile::positionText(double x, double y)
{
    try {
        double easting = 0.0;
        double northing = 0.0;
        double lat = 0.0;
        double lon = 0.0;
        if (!pixelToUtm(x, y, &easting, &northing) || !utmToLatLon(easting, northing, &lat, &lon))
            return {};
        // The status line shows whole metres.
        return utmPositionText(lat, lon, std::trunc(easting), std::trunc(northing), utmZone, northernHemisphere);
    } catch (...) {
        return {};
    }
}

std::string JP2ZipFile::latLonText(double x, double y)
{
    try {
        double lat = 0.0;
        double lon = 0.0;
        pixelToLatLon(x, y, &lat, &lon);
        if (!std::isfinite(lat) || !std::isfinite(lon))
            return {};
        return latLonPositionText(lat, lon);
    } catch (...) {
        return {};
    }
}

bool JP2ZipFile::sameGeolocation(const File* other) const
{
    const auto* product = dynamic_cast<const JP2ZipFile*>(other);
    return product && product->originEasting == originEasting && product->originNorthing == originNorthing;
}

void JP2ZipFile::loadCurves(std::string fileName, std::string fileExtension,
                            std::vector<std::vector<Point2D>>& curves, std::vector<std::string>& names)
{
    loadKmlCurves(fileName, fileExtension, FileKmlConverter(*this), curves, names);
}

void JP2ZipFile::saveCurves(std::string fileName, std::string fileExtension,
                            const std::vector<std::vector<Point2D>>& curves, const std::vector<std::string>& names,
                            const std::vector<std::string>& codes, const std::vector<std::string>& segmentationTypes,
                            const std::vector<std::vector<double>>& segmentationParams)
{
    saveKmlCurves(fileName, fileExtension, curves, names, codes, segmentationTypes, segmentationParams, name,
                  FileKmlConverter(*this));
}

void JP2ZipFile::exportGeoTiff(std::string fileName, std::string fileExtension, std::vector<float> values, int x,
                               int y, int width, int height)
{
    if (fileExtension != "tif")
        throw error::UnsupportedFormat;
    // The projection is built from the zone and hemisphere read at opening,
    // so the export does not need the archive any more.
    const UtmPlacement placement{originEasting + x * pixelSize, originNorthing - y * pixelSize, pixelSize, utmZone,
                                 northernHemisphere != 0};
    writeUtmGeoTiff(fileName, values, width, height, placement);
}

void JP2ZipFile::exportPoints(std::string fileName, const std::vector<std::vector<int>>& points)
{
    writeLatLonPoints(fileName, points, [this](int x, int y, double& lat, double& lon) {
        // Whole metres on the 10 m working grid.
        const double easting = originEasting + 10.0 * x;
        const double northing = originNorthing - 10.0 * y;
        return utmToLatLon(easting, northing, &lat, &lon);
    });
}

} // namespace IO
