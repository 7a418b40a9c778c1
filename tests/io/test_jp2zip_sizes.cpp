// Sizes, tile sizes and pixel sizes that product rasters state about
// themselves: every one is checked when the product opens, before a pixel is
// read, so a header of a few bytes cannot make a band load allocate gigabytes
// or a scale overflow an int.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "io/JP2ZipFile.h"
#include "support/TestSupport.h"
#include "test_hostile_inputs.h"
#include "test_jp2zip_fixture.h"

namespace {

using HostileInputs::ProductRaster;

struct SizeCase {
    const char* label;
    std::vector<ProductRaster> rasters;
    int expected;    // error code of open, 0 when it opens
    int gridSize;    // working grid per side when it opens
};

std::vector<SizeCase> sizeCases()
{
    const ProductRaster b04{"B04", "10m", 12, 10.0};
    const ProductRaster b11{"B11", "20m", 6, 20.0};
    const ProductRaster b01{"B01", "60m", 2, 60.0};
    auto with = [](ProductRaster raster, auto change) {
        change(raster);
        return raster;
    };
    return {
        {"ThreeResolutions", {b04, b11, b01}, 0, 12},
        {"TwentyMetreBandOnePixelOver", {b04, with(b11, [](auto& r) { r.size = 7; }), b01}, 0, 12},
        {"TwentyMetreBandOnePixelShort", {b04, with(b11, [](auto& r) { r.size = 5; }), b01}, 0, 12},
        {"DeclaresARealTile", {with(b04, [](auto& r) { r.declaredSize = 10980; })}, 0, 10980},
        {"DeclaresMoreThanATile", {with(b04, [](auto& r) { r.declaredSize = 10981; })}, 2, 0},
        {"DeclaresFortyThousand", {with(b04, [](auto& r) { r.declaredSize = 40000; })}, 2, 0},
        // B01 sorts first, so its 60 m raster sets the grid: 6667 x 6 m.
        {"SixtyMetreBandDeclaresBeyondATile", {b04, b11, with(b01, [](auto& r) { r.declaredSize = 6667; })}, 2, 0},
        {"TenMetreBandDisagrees", {b04, b11, b01, ProductRaster{"B08", "10m", 12, 10.0, 40000}}, 2, 0},
        {"TwentyMetreBandDisagrees", {b04, with(b11, [](auto& r) { r.size = 9; }), b01}, 2, 0},
        {"AbsurdPixelSize", {b04, with(b11, [](auto& r) { r.pixelSize = 9e20; }), b01}, 2, 0},
        {"ThirtyMetrePixels", {b04, with(b11, [](auto& r) { r.pixelSize = 30.0; }), b01}, 2, 0},
        {"NegativePixelSize", {with(b04, [](auto& r) { r.pixelSize = -10.0; }), b11, b01}, 2, 0},
        // Tiles of a 12 x 12 raster of 16-bit samples: 1024 pixels wide is
        // larger than the raster, as tiles often are; 22369621 wide is half a
        // GiB a tile and 218103820 wide 5 GiB, which a read of any pixel
        // would make whole first.
        {"TileWiderThanTheRaster", {b04, b11, b01, ProductRaster{"B08", "10m", 12, 10.0, 0, 1024}}, 0, 12},
        {"TileOfHalfAGiB", {b04, b11, b01, ProductRaster{"B08", "10m", 12, 10.0, 0, 22369621}}, 2, 0},
        {"TileOfFiveGiB", {b04, b11, b01, ProductRaster{"B08", "10m", 12, 10.0, 0, 218103820}}, 2, 0},
        // A raster may declare 1024 tiles: 32 x 32 of 344 pixels over a real
        // tile's grid, where 343 pixels make 33 x 33.
        {"TilesAtTheRasterCeiling", {ProductRaster{"B04", "10m", 12, 10.0, 10980, 344, 344}}, 0, 10980},
        {"TilesOverTheRasterCeiling", {ProductRaster{"B04", "10m", 12, 10.0, 10980, 343, 343}}, 2, 0},
        // A band has one component, the true-colour and preview images
        // three (each tile counted once per component).
        {"BandOfTwoComponents", {with(b04, [](auto& r) { r.components = 2; })}, 2, 0},
        {"TrueColourOfThreeComponents", {b04, b11, b01, ProductRaster{"TCI", "10m", 12, 10.0, 0, 0, 0, 0, 3}}, 0, 12},
        {"PreviewOfThreeComponents", {b04, ProductRaster{"PVI", "320m", 12, 320.0, 0, 0, 0, 0, 3}}, 0, 12},
        {"PreviewOfFourComponents", {b04, ProductRaster{"PVI", "320m", 12, 320.0, 0, 0, 0, 0, 4}}, 2, 0},
        {"TrueColourOfThreeComponentsInTooManyTiles",
         {b04, ProductRaster{"TCI", "10m", 12, 10.0, 10980, 590, 590, 0, 3}}, 2, 0},
    };
}

void PrintTo(const SizeCase& c, std::ostream* out)
{
    *out << c.label;
}

class ProductSizes : public testing::TestWithParam<SizeCase> {};

TEST_P(ProductSizes, AreCheckedAtOpen)
{
    const SizeCase& c = GetParam();
    TestSupport::TempDir dir;
    const auto archive = HostileInputs::writeProduct(dir.path(), c.rasters);
    std::unique_ptr<IO::JP2ZipFile> product;
    const int code = Jp2ZipTest::thrownBy([&] { product = Jp2ZipTest::openArchive(archive); });
    ASSERT_EQ(code, c.expected);
    if (c.expected != 0)
        return;
    EXPECT_EQ(product->width, c.gridSize);
    EXPECT_EQ(product->height, c.gridSize);
    for (const IO::Band& band : product->bands) {
        if (band.derived)
            continue;
        EXPECT_TRUE(band.scale == 1.0 || band.scale == 2.0 || band.scale == 6.0) << band.code << " " << band.scale;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ProductSizes, testing::ValuesIn(sizeCases()),
                         [](const testing::TestParamInfo<SizeCase>& info) { return std::string(info.param.label); });

// Counts an archive declares: its entries, the band rasters among them and
// the tiles of those rasters, each refused beyond what any real product
// holds before anything is listed or opened.
struct CountCase {
    const char* label;
    std::function<std::filesystem::path(const std::filesystem::path&)> write;
    int expected;       // error code of open, 0 when it opens
    int gridSize = 12;  // working grid per side when it opens
};

std::vector<CountCase> countCases()
{
    // As many tiles as a raster may declare (32 x 32), over a real tile's grid.
    const ProductRaster fullyTiled{"B04", "10m", 12, 10.0, 10980, 344, 344};
    return {
        {"TwoThousandEntries", [](const auto& dir) { return HostileInputs::writeProductOfFolders(dir, 1999); }, 0},
        {"MoreEntries", [](const auto& dir) { return HostileInputs::writeProductOfFolders(dir, 2000); }, 2},
        {"MoreBandRasters", [](const auto& dir) { return HostileInputs::writeCrowdedProduct(dir, 257); }, 2},
        // A tile's worth of pixels in one tile, and in 128 x 128 tiles of 86
        // pixels.
        {"MoreTilesThanAProduct",
         [](const auto& dir) {
             return HostileInputs::writeProduct(dir, {ProductRaster{"B04", "10m", 12, 10.0, 10980},
                                                      ProductRaster{"B08", "10m", 12, 10.0, 10980, 86, 86}});
         },
         2},
        // Sixteen rasters of 1024 tiles each fit the product's 16384 tiles;
        // a seventeenth does not.
        {"TilesOfRastersAtTheProductCeiling",
         [=](const auto& dir) { return HostileInputs::writeCrowdedProduct(dir, 16, fullyTiled); }, 0, 10980},
        {"TilesOfRastersOverTheProductCeiling",
         [=](const auto& dir) { return HostileInputs::writeCrowdedProduct(dir, 17, fullyTiled); }, 2},
        // The end record declares one entry and a zip64 locator at the very
        // end, cut short by the end of the file, all of them: GDAL's zip
        // reader takes the locator and lists every entry.
        {"EntriesCountedPastTheEnd",
         [](const auto& dir) {
             const auto archive = HostileInputs::writeProductOfFolders(dir, 10);
             HostileInputs::hideEntryCount(archive, HostileInputs::HiddenCount::Zip64Locator, 1);
             return archive;
         },
         2},
    };
}

void PrintTo(const CountCase& c, std::ostream* out)
{
    *out << c.label;
}

class ProductCounts : public testing::TestWithParam<CountCase> {};

TEST_P(ProductCounts, AreCheckedBeforeAnythingIsOpened)
{
    const CountCase& c = GetParam();
    TestSupport::TempDir dir;
    const auto archive = c.write(dir.path());
    std::unique_ptr<IO::JP2ZipFile> product;
    ASSERT_EQ(Jp2ZipTest::thrownBy([&] { product = Jp2ZipTest::openArchive(archive); }), c.expected);
    if (c.expected == 0)
        EXPECT_EQ(product->width, c.gridSize);
}

INSTANTIATE_TEST_SUITE_P(Table, ProductCounts, testing::ValuesIn(countCases()),
                         [](const testing::TestParamInfo<CountCase>& info) { return std::string(info.param.label); });

// A preview that declares more pixels than any product's preview is not
// read: the planes stay black, and reading it costs nothing.
TEST(ProductSizes, AHugePreviewIsNotRead)
{
    TestSupport::TempDir dir;
    const auto archive = HostileInputs::writePreviewProduct(dir.path(), 160000);
    auto product = Jp2ZipTest::openArchive(archive);
    const TestSupport::PeakMemory memory;
    product->loadPreview(0, 0);
    EXPECT_LT(memory.peakGrowthKilobytes(), 256L * 1024);
    ASSERT_EQ(product->preview.size(), 3u);
    for (const auto& plane : product->preview) {
        ASSERT_EQ(plane.size(), static_cast<std::size_t>(343 * 343));
        EXPECT_TRUE(std::all_of(plane.begin(), plane.end(), [](std::uint8_t v) { return v == 0; }));
    }
}

// Every thread that decodes a raster sets up each of its tiles again: a
// raster of 1024 tiles, as many as a raster may declare, all of them
// missing, costs its band load the working grid and little more before the
// read fails. One of 16129 tiles, under the product's ceiling (1.7 GB
// before the read failed), is refused when the product opens.
TEST(ProductSizes, ARasterUnderTheTileCeilingEndsWithinBounds)
{
    const struct {
        const char* what;
        ProductRaster raster;
        int expected;  // error code of open, 0 when it opens
    } cases[] = {
        {"1024 tiles", {"B04", "10m", 12, 10.0, 10980, 344, 344}, 0},
        {"16129 tiles", {"B04", "10m", 12, 10.0, 10980, 87, 87}, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TestSupport::TempDir dir;
        const auto archive = HostileInputs::writeProduct(dir.path(), {c.raster});
        const TestSupport::PeakMemory memory;
        const auto start = std::chrono::steady_clock::now();
        std::unique_ptr<IO::JP2ZipFile> product;
        EXPECT_EQ(Jp2ZipTest::thrownBy([&] { product = Jp2ZipTest::openArchive(archive); }), c.expected);
        if (product) {
            EXPECT_EQ(Jp2ZipTest::thrownBy([&] { product->loadBand(0, 0, 0.0, 1.0, false, false); }), 6);
            EXPECT_FALSE(product->isLoaded(0, 0));
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_LT(seconds, 10.0);
        // The working grid is 10980 x 10980 floats, 471 MiB.
        EXPECT_LT(memory.peakGrowthKilobytes(), 1024L * 1024);
    }
}

// A band of the valid product loads onto its grid, the 20 m one a pixel
// short included: sizes within one band pixel are read as they are.
TEST(ProductSizes, BandsWithinOnePixelLoad)
{
    TestSupport::TempDir dir;
    const auto archive = HostileInputs::writeProduct(
        dir.path(), {{"B04", "10m", 12, 10.0}, {"B11", "20m", 5, 20.0}, {"B03", "10m", 12, 10.0}});
    auto product = Jp2ZipTest::openArchive(archive);
    const int b11 = Jp2ZipTest::bandIndex(*product, "B11");
    const int ndpi = Jp2ZipTest::bandIndex(*product, "NDPI");
    ASSERT_GE(b11, 0);
    ASSERT_GE(ndpi, 0);
    for (int band : {b11, ndpi}) {
        EXPECT_EQ(Jp2ZipTest::thrownBy([&] { product->loadBand(band, 0, 0.0, 1.0, false, false); }), 0);
        EXPECT_EQ(product->bands[static_cast<std::size_t>(band)].levels[0].count, 144);
    }
    EXPECT_EQ(product->bands[static_cast<std::size_t>(ndpi)].sourceScales, (std::vector<int>{2, 1}));
}

} // namespace
