#include "io/File.h"

#include <algorithm>
#include <filesystem>
#include <limits>
#include <new>
#include <system_error>

#include "io/AtomicFile.h"
#include "io/UserFiles.h"

namespace IO {

File::File() = default;

File::~File()
{
    unloadBandsExcept({});
}

void File::openRegion(double, double, double, double, std::string) {}

void File::open(std::string name_, std::string extension_, std::string directory_)
{
    name = std::move(name_);
    extension = std::move(extension_);
    directory = std::move(directory_);
}

bool File::copyTo(std::string destination, CopyMode mode)
{
    namespace fs = std::filesystem;
    const fs::path source = directory + "/" + name + "." + extension;
    const fs::path target(destination);
    std::error_code ec;
    if (!isRegularFile(source.string()))
        return false;
    if (fs::exists(target, ec)) {
        // The source itself is there already; copying onto it would first
        // truncate it.
        if (fs::equivalent(source, target, ec))
            return true;
        if (mode == CopyMode::OverOlderOnly) {
            const fs::file_time_type targetTime = fs::last_write_time(target, ec);
            if (ec)
                return false;
            const fs::file_time_type sourceTime = fs::last_write_time(source, ec);
            if (ec || !(targetTime < sourceTime))
                return false;
        }
    }
    // Copied beside the destination and renamed over it: a failed copy (a
    // full disk) leaves what was there.
    const std::string temporary = createTemporarySibling(destination);
    if (temporary.empty())
        return false;
    fs::copy_file(source, fs::path(temporary), fs::copy_options::overwrite_existing, ec);
    if (ec) {
        fs::remove(fs::path(temporary), ec);
        return false;
    }
    return replaceWithTemporary(temporary, destination);
}

void File::loadBand(int band, int level, double, double, bool, bool)
{
    bandLevel(band, level);
}

void File::loadPreview(int, int) {}

void File::loadCurves(std::string, std::string, std::vector<std::vector<Point2D>>&, std::vector<std::string>&) {}

void File::saveCurves(std::string, std::string, const std::vector<std::vector<Point2D>>&,
                      const std::vector<std::string>&, const std::vector<std::string>&,
                      const std::vector<std::string>&, const std::vector<std::vector<double>>&)
{
}

void File::exportGeoTiff(std::string, std::string, std::vector<float>, int, int, int, int)
{
    // A data set without a map projection of its own cannot be exported.
    throw error::UnsupportedFormat;
}

void File::exportPoints(std::string, const std::vector<std::vector<int>>&)
{
    throw error::UnsupportedFormat;
}

bool File::sameGeolocation(const File*) const
{
    return false;
}

void File::readRegion(int, int, int, int, int, int, int, int, std::vector<double>&) {}

double File::groundPixelSize() const
{
    return defaultGroundPixelSize;
}

std::string File::positionText(double, double)
{
    return {};
}

std::string File::latLonText(double, double)
{
    return {};
}

void File::pixelToLatLon(double, double, double*, double*) {}

bool File::containsLatLon(double, double)
{
    return false;
}

void File::latLonToPixel(double, double, double*, double*) {}

void File::utmOrigin(double* easting, double* northing, std::vector<double>& zone)
{
    *easting = -1.0;
    *northing = -1.0;
    zone.clear();
}

void File::utmToPixel(double, double, std::vector<double>, int* x, int* y)
{
    *x = -1;
    *y = -1;
}

bool File::isLoaded(int band, int level) const
{
    if (band < 0 || band >= static_cast<int>(bands.size()))
        return false;
    const auto& levels = bands[static_cast<std::size_t>(band)].levels;
    if (level < 0 || level >= static_cast<int>(levels.size()))
        return false;
    return levels[static_cast<std::size_t>(level)].data != nullptr;
}

namespace {

// floor(a / b) for b > 0.
int floorDiv(int a, int b)
{
    const int q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

} // namespace

bool File::readChannels(int level, std::vector<int> bandList, int width_, int height_, int x, int y,
                        std::vector<std::vector<double>>& out)
{
    if (bandList.empty())
        return false;
    out.resize(bandList.size());
    if (width_ <= 0 || height_ <= 0 || x > std::numeric_limits<int>::max() - width_
        || y > std::numeric_limits<int>::max() - height_)
        return false;
    const std::size_t w = static_cast<std::size_t>(width_);
    const std::size_t h = static_cast<std::size_t>(height_);
    std::vector<double> coarse;
    try {
        for (std::size_t i = 0; i < bandList.size(); ++i) {
            const int b = bandList[i];
            if (b < 0 || b >= static_cast<int>(bands.size()))
                return false;
            const Band& band = bands[static_cast<std::size_t>(b)];
            std::vector<double>& values = out[i];
            // The reader addresses a derived band in working-grid pixels.
            if (band.derived) {
                readRegion(b, level, x, y, width_, height_, width_, height_, values);
                continue;
            }
            const int s = static_cast<int>(band.scale);
            if (s < 1)
                return false;
            if (s == 1) {
                readRegion(b, level, x, y, width_, height_, width_, height_, values);
                continue;
            }
            // The band pixels under the window, at the band's resolution,
            // then each working pixel takes the one it lies on.
            const int bx0 = floorDiv(x, s);
            const int by0 = floorDiv(y, s);
            const int bw = floorDiv(x + width_ - 1, s) - bx0 + 1;
            const int bh = floorDiv(y + height_ - 1, s) - by0 + 1;
            readRegion(b, level, bx0, by0, bw, bh, bw, bh, coarse);
            if (coarse.size() < static_cast<std::size_t>(bw) * static_cast<std::size_t>(bh))
                return false;
            values.resize(w * h);
            for (std::size_t row = 0; row < h; ++row) {
                const double* source
                    = coarse.data()
                      + static_cast<std::size_t>(floorDiv(y + static_cast<int>(row), s) - by0) * bw;
                double* target = values.data() + row * w;
                // Runs of s working pixels share a band pixel; the first run
                // may be shorter when x is not a multiple of s.
                std::size_t col = 0;
                int bandColumn = 0;
                int run = s - (x - bx0 * s);
                while (col < w) {
                    const std::size_t end = std::min(w, col + static_cast<std::size_t>(run));
                    std::fill(target + col, target + end, source[bandColumn]);
                    col = end;
                    ++bandColumn;
                    run = s;
                }
            }
        }
    } catch (const error&) {
        return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

BandLevel& File::bandLevel(int band, int level)
{
    if (band < 0 || band >= static_cast<int>(bands.size()))
        throw error::ReadFailed;
    auto& levels = bands[static_cast<std::size_t>(band)].levels;
    if (level < 0 || level >= static_cast<int>(levels.size()))
        throw error::ReadFailed;
    return levels[static_cast<std::size_t>(level)];
}

void File::unloadBandsExcept(std::set<int> keep)
{
    for (int i = 0; i < static_cast<int>(bands.size()); ++i) {
        if (keep.count(i) && loadedBands.count(i))
            continue;
        loadedBands.erase(i);
        bands[static_cast<std::size_t>(i)].release();
    }
}

std::string File::bandName(int band) const
{
    if (band < 0 || band >= static_cast<int>(bands.size()))
        return {};
    return bands[static_cast<std::size_t>(band)].name;
}

int File::getWorkAreaX(int side) const
{
    return workAreaX.at(static_cast<std::size_t>(side));
}

int File::getWorkAreaY(int side) const
{
    return workAreaY.at(static_cast<std::size_t>(side));
}

void File::setWorkAreaX(int viewer, int x)
{
    if (viewer == 0 || viewer == 1)
        workAreaX[static_cast<std::size_t>(viewer)] = x;
}

void File::setWorkAreaY(int viewer, int y)
{
    if (viewer == 0 || viewer == 1)
        workAreaY[static_cast<std::size_t>(viewer)] = y;
}

void File::setDataType(std::string text)
{
    dataType = std::move(text);
}

} // namespace IO

namespace IO {

void File::readLoadedRegion(int band, int level, int x, int y, int regionWidth, int regionHeight, int outWidth,
                            int outHeight, std::vector<double>& out)
{
    out.clear();
    if (regionWidth <= 0 || regionHeight <= 0 || outWidth <= 0 || outHeight <= 0
        || static_cast<long long>(outWidth) * outHeight > std::numeric_limits<int>::max())
        throw error::ReadFailed;
    try {
        out.assign(static_cast<std::size_t>(outWidth) * static_cast<std::size_t>(outHeight), 0.0);
    } catch (const std::bad_alloc&) {
        throw error::ReadFailed;
    }
    const BandLevel& source = bandLevel(band, level);
    if (!source.data || width <= 0 || height <= 0
        || static_cast<long long>(source.count) < static_cast<long long>(width) * height)
        throw error::ReadFailed;

    // Output pixel k covers the span [x + k w / ow, x + (k + 1) w / ow) and
    // takes the grid pixel under its centre; with equal sizes that is x + k.
    auto centre = [](long long origin, long long k, long long span, long long outSpan) {
        return origin + ((2 * k + 1) * span) / (2 * outSpan);
    };
    const float* data = source.data.get();
    for (int j = 0; j < outHeight; ++j) {
        const long long sy = centre(y, j, regionHeight, outHeight);
        if (sy < 0 || sy >= height)
            continue;
        const float* row = data + sy * static_cast<long long>(width);
        double* target = out.data() + static_cast<std::size_t>(j) * static_cast<std::size_t>(outWidth);
        if (outWidth == regionWidth) {
            const long long first = std::max<long long>(0, -static_cast<long long>(x));
            const long long end = std::min<long long>(regionWidth, static_cast<long long>(width) - x);
            for (long long i = first; i < end; ++i)
                target[i] = row[x + i];
            continue;
        }
        for (int i = 0; i < outWidth; ++i) {
            const long long sx = centre(x, i, regionWidth, outWidth);
            if (sx >= 0 && sx < width)
                target[i] = row[sx];
        }
    }
}

} // namespace IO
