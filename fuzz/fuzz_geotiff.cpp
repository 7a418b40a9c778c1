// A GeoTIFF data set (the relevancy maps the program writes): open, every
// band loaded, a window read across the raster's edge.

#include <climits>
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "io/OrthoMosaicTifFile.h"

namespace {

// Rasters up to INT_MAX pixels open, and loading one is refused only beyond
// the machine's memory; loading more than this is beyond what one run should
// cost (a header of a few hundred bytes may declare millions of pixels in
// blocks left out, which read as zeros). The window read runs whatever the
// size.
constexpr long long kLoadedPixels = 1024 * 1024;

// Whether the bytes start as a TIFF or BigTIFF file does, in either byte
// order.
bool isTiff(const std::uint8_t* data, std::size_t size)
{
    if (size < 4)
        return false;
    return (data[0] == 'I' && data[1] == 'I' && (data[2] == 42 || data[2] == 43) && data[3] == 0)
        || (data[0] == 'M' && data[1] == 'M' && data[2] == 0 && (data[3] == 42 || data[3] == 43));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzSupport::quiet();
    FuzzSupport::writeInput("map.tif", data, size);
    IO::OrthoMosaicTifFile raster;
    try {
        raster.open("map", "tif", FuzzSupport::scratchFolder());
    } catch (const IO::File::error&) {
        return 0;
    }
    FuzzSupport::require(isTiff(data, size), "only a TIFF file opens as a GeoTIFF");
    FuzzSupport::require(raster.width >= 0 && raster.height >= 0
                             && static_cast<long long>(raster.width) * raster.height <= INT_MAX,
                         "the working grid's pixels are counted in an int");
    const int bands = std::min<int>(static_cast<int>(raster.bands.size()), 4);
    for (int band = 0; band < bands; ++band) {
        if (static_cast<long long>(raster.width) * raster.height <= kLoadedPixels) {
            try {
                raster.loadBand(band, 0, 0.02, 0.98, band % 2 == 1, false);
            } catch (const IO::File::error&) {
            }
        }
        std::vector<double> window;
        try {
            raster.readRegion(band, 0, -2, -1, 6, 5, 4, 3, window);
        } catch (const IO::File::error&) {
        }
        raster.bands[static_cast<std::size_t>(band)].release();
    }
    return 0;
}
