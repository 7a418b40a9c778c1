// Sizes, tile sizes and pixel sizes that product rasters state about
// themselves: every one is checked when the product opens, before a pixel is
// read, so a header of a few bytes cannot make a band load allocate gigabytes
// or a scale overflow an int.

#include <algorithm>
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
    int expected;  // error code of open, 0 when it opens
};

std::vector<CountCase> countCases()
{
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
        EXPECT_EQ(product->width, 12);
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
