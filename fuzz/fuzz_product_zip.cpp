// A Sentinel-2 product archive, as the shell opens one: open, the preview,
// an image band (inputs of even size) or an index band (odd size) loaded and
// a window of it read. The input is written to a file named as a product.
//
// Every band loaded opens its raster in the archive once more, georeference
// and all, which costs as much as the opening of the product: one band per
// input keeps the inputs per second up and reaches both kinds over a run.

#include <algorithm>

#include "FuzzSupport.h"
#include "io/JP2ZipFile.h"

namespace {

constexpr const char* kProductName = "S2A_MSIL2A_20230601T095031_N0509_R079_T33UXP_20230601T121212";
// A real tile's working grid; nothing larger opens.
constexpr int kTileSize = 10980;
// Larger grids open, but loading them is beyond what one run should cost
// (a band of a million pixels takes about a second to decode and normalise
// under the sanitizers, and it runs the same code as a small one): their
// sizes are the open's business, which every run checks.
constexpr long long kLoadedPixels = 512 * 512;

void loadAndRead(IO::JP2ZipFile& product, int band)
{
    try {
        product.loadBand(band, 0, 0.0, 1.0, true, false);
    } catch (const IO::File::error&) {
    }
    std::vector<double> window;
    try {
        product.readRegion(band, 0, 1, 1, 7, 5, 3, 4, window);
    } catch (const IO::File::error&) {
    }
    FuzzSupport::require(window.size() == 12, "a window read sizes its output");
    product.bands[static_cast<std::size_t>(band)].release();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzSupport::quiet();
    // GDAL looks for side-car metadata (.aux.xml, .aux) of every raster it
    // opens, which inside an archive means searching the archive's listing
    // once more for each: a quarter of a run, spent in GDAL on files no
    // product has.
    static const bool noSideCars = [] {
        CPLSetConfigOption("GDAL_PAM_ENABLED", "NO");
        return true;
    }();
    (void)noSideCars;
    FuzzSupport::writeInput(std::string(kProductName) + ".zip", data, size);
    IO::JP2ZipFile product;
    try {
        product.open(kProductName, "zip", FuzzSupport::scratchFolder());
    } catch (const IO::File::error&) {
        return 0;
    }
    FuzzSupport::require(product.width >= 1 && product.height >= 1 && product.width <= kTileSize
                             && product.height <= kTileSize,
                         "an open product has a working grid of at most one tile");
    for (const IO::Band& band : product.bands)
        FuzzSupport::require(band.derived || band.scale == 1.0 || band.scale == 2.0 || band.scale == 6.0,
                             "image bands are at 10, 20 or 60 m");

    product.loadPreview(0, 0);
    if (static_cast<long long>(product.width) * product.height > kLoadedPixels)
        return 0;
    const bool derived = size % 2 == 1;
    const auto band = std::find_if(product.bands.begin(), product.bands.end(),
                                   [&](const IO::Band& b) { return b.derived == derived; });
    if (band != product.bands.end())
        loadAndRead(product, static_cast<int>(band - product.bands.begin()));
    return 0;
}
