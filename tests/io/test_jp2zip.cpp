// IO::JP2ZipFile on synthetic products: band table, errors of opening, band
// loading onto the working grid, window reads and the preview.

#include <algorithm>
#include <cmath>
#include <functional>
#include <set>
#include <filesystem>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include <GeographicLib/GeoCoords.hpp>
#include <gtest/gtest.h>

#include "test_jp2zip_fixture.h"

namespace fs = std::filesystem;
using namespace Jp2ZipTest;
using Sample::Flaw;

namespace {

constexpr int kSize = 120;

const std::vector<std::string> kFixtureCodes{"B01", "B02", "B03", "B04",  "B08",  "B11",   "B12",  "B8A",
                                             "CLD", "SCL", "NDPI", "NDTI", "NDVI", "NDWI", "NDWI2", "NDWI3"};

std::vector<float> levelSamples(const IO::File& file, int band)
{
    const auto& level = file.bands[static_cast<std::size_t>(band)].levels[0];
    return std::vector<float>(level.data.get(), level.data.get() + level.count);
}

} // namespace

// ------------------------------------------------------------------ opening

TEST(JP2ZipOpen, FixtureGivesTheBandTableInOrder)
{
    const auto file = fixture().open();
    EXPECT_EQ(bandCodes(*file), kFixtureCodes);
    EXPECT_EQ(file->width, kSize);
    EXPECT_EQ(file->height, kSize);
    EXPECT_EQ(file->pixelCount, kSize * kSize);
    EXPECT_EQ(file->extension, "zip");
    EXPECT_EQ(file->name, Sample::productName({}));
    EXPECT_EQ(file->bandDescriptions.size(), 22u);

    struct Expected {
        std::string code;
        std::string name;
        double scale;
        std::string fileEnd;
    };
    const Expected expected[] = {
        {"B01", "B01-Aerosol detection", 6.0, "_B01_60m.jp2"},
        {"B02", "B02-Blue", 1.0, "/R10m/T33UXP_20230601T095031_B02_10m.jp2"},
        {"B04", "B04-Red", 1.0, "_B04_10m.jp2"},
        {"B11", "B11-Snow / ice / cloud discrimination", 2.0, "_B11_20m.jp2"},
        {"B8A", "B8A-Vegetation classification", 2.0, "_B8A_20m.jp2"},
        {"CLD", "CLD-Cloud map", 2.0, "/QI_DATA/MSK_CLDPRB_20m.jp2"},
        {"SCL", "SCL-Scene Classification", 2.0, "_SCL_20m.jp2"},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.code);
        const int i = bandIndex(*file, e.code);
        ASSERT_GE(i, 0);
        const auto& band = file->bands[static_cast<std::size_t>(i)];
        EXPECT_EQ(band.name, e.name);
        EXPECT_DOUBLE_EQ(band.scale, e.scale);
        EXPECT_FALSE(band.derived);
        ASSERT_EQ(band.levels.size(), 1u);
        const std::string& path = band.levels[0].path;
        EXPECT_EQ(path.rfind("/vsizip/", 0), 0u) << path;
        ASSERT_GE(path.size(), e.fileEnd.size());
        EXPECT_EQ(path.substr(path.size() - e.fileEnd.size()), e.fileEnd);
        EXPECT_EQ(band.levels[0].data, nullptr);
    }
    EXPECT_EQ(file->firstBandPath(), file->bands[0].levels[0].path);

    // B02 exists at 10, 20 and 60 m: the files are kept finest first.
    const auto& b02 = file->bandSources.at("B02").files;
    ASSERT_EQ(b02.size(), 3u);
    std::vector<double> sizes;
    for (const auto& f : b02)
        sizes.push_back(f.second);
    EXPECT_EQ(sizes, (std::vector<double>{10.0, 20.0, 60.0}));

    // The true-colour and preview images are known but are no bands; the
    // detector and quality masks are not even known.
    EXPECT_EQ(file->bandSources.count("TCI"), 1u);
    EXPECT_EQ(file->bandSources.count("PVI"), 1u);
    EXPECT_EQ(bandIndex(*file, "TCI"), -1);
    EXPECT_EQ(bandIndex(*file, "PVI"), -1);
    for (const auto& [code, source] : file->bandSources)
        for (const auto& f : source.files)
            EXPECT_EQ(f.first.find("MSK_DETFOO"), std::string::npos);
    EXPECT_TRUE(file->loadedBands.empty());
}

TEST(JP2ZipOpen, IndexBandsNameTheirSources)
{
    const auto file = fixture().open();
    struct Expected {
        std::string code;
        std::string name;
        std::string a;
        std::string b;
        std::vector<int> scales;
    };
    const Expected expected[] = {
        {"NDPI", "NDPI - Normalized Difference Pond Index", "B11", "B03", {2, 1}},
        {"NDTI", "NDTI - Normalized Difference Turbidity Index", "B04", "B03", {1, 1}},
        {"NDVI", "NDVI - Normalized Difference Vegetation Index", "B08", "B04", {1, 1}},
        {"NDWI", "NDWI - Normalized Difference Water Index", "B03", "B08", {1, 1}},
        {"NDWI2", "NDWI2 - Normalized Difference Water Index 2", "B03", "B11", {1, 2}},
        {"NDWI3", "NDWI3 - Normalized Difference Water Index 3", "B08", "B12", {1, 2}},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.code);
        const int i = bandIndex(*file, e.code);
        ASSERT_GE(i, 0);
        const auto& band = file->bands[static_cast<std::size_t>(i)];
        EXPECT_TRUE(band.derived);
        EXPECT_EQ(band.name, e.name);
        EXPECT_DOUBLE_EQ(band.scale, 1.0);
        EXPECT_EQ(band.sourceBands, (std::vector<int>{bandIndex(*file, e.a), bandIndex(*file, e.b)}));
        EXPECT_EQ(band.sourceScales, e.scales);
        ASSERT_EQ(band.levels.size(), 1u);
        EXPECT_EQ(band.levels[0].path, e.name);
    }
}

TEST(JP2ZipOpen, GeoreferenceAndCornersOfTheWorkingGrid)
{
    const auto file = fixture().open();
    EXPECT_EQ(file->originEasting, 500000);
    EXPECT_EQ(file->originNorthing, 5400000);
    EXPECT_EQ(file->utmZone, 33);
    EXPECT_EQ(file->northernHemisphere, 1);
    EXPECT_DOUBLE_EQ(file->pixelSize, 10.0);
    EXPECT_EQ(file->groundPixelSize(), 10.0);

    // The lower-right corner lies 120 x 10 m from the origin, although the
    // first raster of the archive (the preview) covers 1280 m.
    const GeographicLib::GeoCoords upperLeft(33, true, 500000, 5400000);
    const GeographicLib::GeoCoords lowerRight(33, true, 500000 + kSize * 10, 5400000 - kSize * 10);
    EXPECT_NEAR(file->upperLeftLat, upperLeft.Latitude(), 1e-12);
    EXPECT_NEAR(file->upperLeftLon, upperLeft.Longitude(), 1e-12);
    EXPECT_NEAR(file->lowerRightLat, lowerRight.Latitude(), 1e-12);
    EXPECT_NEAR(file->lowerRightLon, lowerRight.Longitude(), 1e-12);
}

TEST(JP2ZipOpen, BandCodeComesFromTheFileNameAfterTheTileId)
{
    IO::JP2ZipFile file;
    const std::string granule = "P.SAFE/GRANULE/L2A_T33AOT_A041234_20230601T095031/";
    struct Case {
        std::string entry;
        std::string code;
    };
    const Case cases[] = {
        {granule + "IMG_DATA/R10m/T33AOT_20230601T095031_B04_10m.jp2", "B04"},
        {granule + "IMG_DATA/R20m/T33AOT_20230601T095031_B8A_20m.jp2", "B8A"},
        {granule + "IMG_DATA/R10m/T33AOT_20230601T095031_TCI_10m.jp2", "TCI"},
        {granule + "QI_DATA/T33AOT_20230601T095031_PVI.jp2", "PVI"},
        {granule + "QI_DATA/MSK_CLDPRB_20m.jp2", "CLD"},
        {granule + "QI_DATA/MSK_SNWPRB_20m.jp2", "SNW"},
        {"B01_B02/T33UXP_20230601T095031_XYZ_10m.jp2", ""},
        {"T33UXP_20230601T095031_B12.jp2", "B12"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(file.bandCodeOf(c.entry), c.code) << c.entry;
}

TEST(JP2ZipOpen, TileIdThatSpellsABandCodeChangesNoBand)
{
    Sample::ProductSpec spec;
    spec.tileId = "T33AOT";
    const Product product(spec);
    const auto file = product.open();
    EXPECT_EQ(bandCodes(*file), kFixtureCodes);
}

TEST(JP2ZipOpen, ProductWithoutABandLosesItsIndexBands)
{
    struct Case {
        const char* label;
        bool withB11;
        bool withB12;
        std::vector<std::string> codes;
    };
    const Case cases[] = {
        {"no B11", false, true, {"B01", "B02", "B03", "B04", "B08", "B12", "B8A", "CLD", "SCL", "NDTI", "NDVI", "NDWI", "NDWI3"}},
        {"no B12", true, false, {"B01", "B02", "B03", "B04", "B08", "B11", "B8A", "CLD", "SCL", "NDPI", "NDTI", "NDVI", "NDWI", "NDWI2"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        Sample::ProductSpec spec;
        spec.withB11 = c.withB11;
        spec.withB12 = c.withB12;
        const Product product(spec);
        EXPECT_EQ(bandCodes(*product.open()), c.codes);
    }
}

struct OpenErrorCase {
    const char* label;
    std::string extension;
    Flaw flaw;
    int expected;
};

void PrintTo(const OpenErrorCase& c, std::ostream* os)
{
    *os << c.label;
}

class JP2ZipOpenErrors : public testing::TestWithParam<OpenErrorCase> {};

TEST_P(JP2ZipOpenErrors, ThrowTheirCode)
{
    Sample::ProductSpec spec;
    spec.extension = GetParam().extension;
    spec.flaw = GetParam().flaw;
    const Product product(spec);
    EXPECT_EQ(openError(product.archive()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Variants, JP2ZipOpenErrors,
    testing::Values(OpenErrorCase{"CapitalZip", "ZIP", Flaw::None, 1},
                    OpenErrorCase{"OtherSuffix", "tif", Flaw::None, 1},
                    OpenErrorCase{"MasksOnly", "zip", Flaw::MasksOnly, 2},
                    OpenErrorCase{"NotAZip", "zip", Flaw::NotAZip, 2},
                    OpenErrorCase{"NoRecognisedBand", "zip", Flaw::NoRecognisedBand, 2},
                    OpenErrorCase{"RandomBytesRaster", "zip", Flaw::RandomBytesRaster, 3},
                    OpenErrorCase{"NoGeoreference", "zip", Flaw::NoGeoreference, 4},
                    OpenErrorCase{"Geographic", "zip", Flaw::Geographic, 4},
                    OpenErrorCase{"TruncatedCodestream", "zip", Flaw::TruncatedCodestream, 0}),
    [](const testing::TestParamInfo<OpenErrorCase>& info) { return std::string(info.param.label); });

TEST(JP2ZipOpen, MissingArchiveIsCorrupted)
{
    const TestSupport::TempDir dir;
    EXPECT_EQ(openError(dir.path() / "S2A_MSIL2A_missing.zip"), 2);
}

// ------------------------------------------------------------------ loading

TEST(JP2ZipLoad, TenMetreBandIsNormalisedFromItsRawRange)
{
    const auto file = fixture().open();
    const int b04 = bandIndex(*file, "B04");
    quietly([&] { file->loadBand(b04, 0, 0.0, 1.0, false, false); });
    ASSERT_TRUE(file->isLoaded(b04, 0));
    EXPECT_EQ(file->loadedBands, (std::set<int>{b04}));

    float lo = 65535.0f, hi = 0.0f;
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const float v = Sample::reflectance("B04", x, y, 1);
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    const auto& level = file->bands[static_cast<std::size_t>(b04)].levels[0];
    EXPECT_EQ(level.count, kSize * kSize);
    EXPECT_EQ(level.min, lo);
    EXPECT_EQ(level.max, hi);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x)
            ASSERT_NEAR(level.data[static_cast<std::size_t>(y * kSize + x)],
                        (Sample::reflectance("B04", x, y, 1) - lo) / (hi - lo), 1e-6)
                << x << ", " << y;
}

TEST(JP2ZipLoad, CoarseBandsAreRepeatedOverTheGrid)
{
    struct Case {
        std::string code;
        int scale;
        std::function<double(int, int)> raw;
    };
    const Case cases[] = {
        {"B8A", 2, [](int x, int y) { return Sample::reflectance("B8A", x, y, 2); }},
        {"B01", 6, [](int x, int y) { return Sample::reflectance("B01", x, y, 6); }},
        {"CLD", 2, [](int x, int y) { return Sample::cloudProbability(x, y, 2); }},
    };
    const auto file = fixture().open();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        const int band = bandIndex(*file, c.code);
        quietly([&] { file->loadBand(band, 0, 0.0, 1.0, false, true); });
        const auto samples = levelSamples(*file, band);
        ASSERT_EQ(samples.size(), static_cast<std::size_t>(kSize * kSize));
        for (int y = 0; y < kSize; ++y)
            for (int x = 0; x < kSize; ++x)
                ASSERT_EQ(samples[static_cast<std::size_t>(y * kSize + x)], c.raw(x / c.scale, y / c.scale))
                    << x << ", " << y;
    }
}

TEST(JP2ZipLoad, SceneClassificationIsScaledBy255)
{
    const auto file = fixture().open();
    const int scl = bandIndex(*file, "SCL");
    quietly([&] { file->loadBand(scl, 0, 0.0, 1.0, false, false); });
    const auto& level = file->bands[static_cast<std::size_t>(scl)].levels[0];
    EXPECT_EQ(level.min, 0.0f);
    EXPECT_EQ(level.max, 255.0f);
    const auto samples = levelSamples(*file, scl);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x)
            ASSERT_FLOAT_EQ(samples[static_cast<std::size_t>(y * kSize + x)],
                            Sample::sceneClass(x / 2, y / 2, 2) / 255.0f);
}

TEST(JP2ZipLoad, IndexBandReleasesTheSourcesItRead)
{
    const auto file = fixture().open();
    const int ndvi = bandIndex(*file, "NDVI");
    const int b08 = bandIndex(*file, "B08");
    const int b04 = bandIndex(*file, "B04");
    quietly([&] { file->loadBand(ndvi, 0, 0.0, 1.0, false, false); });

    EXPECT_EQ(file->loadedBands, (std::set<int>{ndvi}));
    EXPECT_FALSE(file->isLoaded(b08, 0));
    EXPECT_FALSE(file->isLoaded(b04, 0));
    ASSERT_TRUE(file->isLoaded(ndvi, 0));

    // Its values are checked against the sample formulas in
    // test_jp2zip_reads.cpp. The no-data corner (both sources 0) is index 0
    // before the final normalisation: the same value at every corner pixel.
    const auto samples = levelSamples(*file, ndvi);
    const auto& level = file->bands[static_cast<std::size_t>(ndvi)].levels[0];
    ASSERT_GT(level.max, level.min);
    const float zero = (0.0f - level.min) / (level.max - level.min);
    for (int y = 0; y < Sample::kNoDataCorner; ++y)
        for (int x = 0; x < Sample::kNoDataCorner; ++x)
            ASSERT_NEAR(samples[static_cast<std::size_t>(y * kSize + x)], zero, 1e-6);
}

TEST(JP2ZipLoad, IndexBandKeepsASourceTheUserLoaded)
{
    const auto file = fixture().open();
    const int ndvi = bandIndex(*file, "NDVI");
    const int b08 = bandIndex(*file, "B08");
    const int b04 = bandIndex(*file, "B04");
    quietly([&] { file->loadBand(b04, 0, 0.02, 0.98, false, false); });
    const auto b04Before = levelSamples(*file, b04);
    quietly([&] { file->loadBand(ndvi, 0, 0.0, 1.0, false, false); });

    EXPECT_EQ(file->loadedBands, (std::set<int>{b04, ndvi}));
    EXPECT_FALSE(file->isLoaded(b08, 0));
    ASSERT_TRUE(file->isLoaded(b04, 0));
    EXPECT_EQ(levelSamples(*file, b04), b04Before);
}

TEST(JP2ZipLoad, UnreadableRastersThrowReadFailed)
{
    // Truncated codestream: the archive opens (headers are intact), the
    // pixels cannot be decoded.
    Sample::ProductSpec spec;
    spec.flaw = Flaw::TruncatedCodestream;
    const Product truncated(spec);
    const auto file = truncated.open();
    const int b04 = bandIndex(*file, "B04");
    const int b08 = bandIndex(*file, "B08");
    const int ndvi = bandIndex(*file, "NDVI");

    EXPECT_EQ(thrownBy([&] { file->loadBand(b04, 0, 0.0, 1.0, false, false); }), 6);
    EXPECT_FALSE(file->isLoaded(b04, 0));

    // B08 decodes, B04 does not: neither is left holding data.
    EXPECT_EQ(thrownBy([&] { file->loadBand(ndvi, 0, 0.0, 1.0, false, false); }), 6);
    EXPECT_FALSE(file->isLoaded(ndvi, 0));
    EXPECT_FALSE(file->isLoaded(b08, 0));
    EXPECT_FALSE(file->isLoaded(b04, 0));

    std::vector<double> out;
    EXPECT_EQ(thrownBy([&] { file->readRegion(b04, 0, 0, 0, 8, 8, 8, 8, out); }), 6);
    EXPECT_EQ(out.size(), 64u);

    // A band index out of range.
    EXPECT_EQ(thrownBy([&] { file->loadBand(99, 0, 0.0, 1.0, false, false); }), 6);
    EXPECT_EQ(thrownBy([&] { file->loadBand(b04, 3, 0.0, 1.0, false, false); }), 6);
}

TEST(JP2ZipLoad, ArchiveThatVanishedAfterOpeningThrowsReadFailed)
{
    const Product product;
    const auto file = product.open();
    fs::remove(product.archive());
    const int b04 = bandIndex(*file, "B04");
    const int ndvi = bandIndex(*file, "NDVI");

    EXPECT_EQ(thrownBy([&] { file->loadBand(b04, 0, 0.0, 1.0, false, false); }), 6);
    EXPECT_FALSE(file->isLoaded(b04, 0));
    EXPECT_EQ(thrownBy([&] { file->loadBand(ndvi, 0, 0.0, 1.0, false, false); }), 6);
    EXPECT_FALSE(file->isLoaded(ndvi, 0));

    for (int band : {b04, ndvi}) {
        std::vector<double> out{1.0, 2.0};
        EXPECT_EQ(thrownBy([&] { file->readRegion(band, 0, 4, 4, 6, 6, 6, 6, out); }), 6);
        EXPECT_EQ(out, std::vector<double>(36, 0.0));
    }

    // The preview never throws; its planes stay black.
    file->loadPreview(0, 0);
    ASSERT_EQ(file->preview.size(), 3u);
    EXPECT_EQ(file->preview[0], std::vector<std::uint8_t>(343 * 343, 0));
}

TEST(JP2ZipLoad, SignedSamplesAreNotSupported)
{
    Sample::ProductSpec spec;
    spec.flaw = Flaw::SignedBand;
    const Product product(spec);
    const auto file = product.open();
    const int b05 = bandIndex(*file, "B05");
    ASSERT_GE(b05, 0);
    EXPECT_EQ(thrownBy([&] { file->loadBand(b05, 0, 0.0, 1.0, false, false); }), 6);
    EXPECT_FALSE(file->isLoaded(b05, 0));
    std::vector<double> out;
    EXPECT_EQ(thrownBy([&] { file->readRegion(b05, 0, 0, 0, 4, 3, 4, 3, out); }), 6);
    EXPECT_EQ(out.size(), 12u);
}

// ------------------------------------------------------------- window reads

struct RegionCase {
    const char* label;
    std::string code;
    int x, y, width, height, outWidth, outHeight;
    // Expected raw sample at output pixel (i, j).
    std::function<double(int i, int j)> expected;
};

double b04At(int x, int y)
{
    return x < 0 || y < 0 || x >= kSize || y >= kSize ? 0.0 : Sample::reflectance("B04", x, y, 1);
}

double ratio(double a, double b)
{
    const float fa = static_cast<float>(a), fb = static_cast<float>(b);
    return fa + fb != 0.0f ? static_cast<double>((fa - fb) / (fa + fb)) : 0.0;
}

TEST(JP2ZipRegion, WindowsGiveRawSamples)
{
    const auto inside20m = [](int x, int y) { return x >= 0 && y >= 0 && x < kSize / 2 && y < kSize / 2; };
    const RegionCase cases[] = {
        {"8-bit SCL, 4 x 3", "SCL", 10, 5, 4, 3, 4, 3,
         [](int i, int j) { return Sample::sceneClass(10 + i, 5 + j, 2); }},
        {"unsigned 16-bit B04", "B04", 30, 40, 7, 5, 7, 5, [](int i, int j) { return b04At(30 + i, 40 + j); }},
        {"20 m band enlarged to the grid", "B8A", 5, 6, 10, 10, 20, 20,
         [](int i, int j) { return Sample::reflectance("B8A", 5 + i / 2, 6 + j / 2, 2); }},
        {"derived NDVI from raw samples", "NDVI", 24, 30, 12, 12, 12, 12,
         [](int i, int j) {
             return ratio(Sample::reflectance("B08", 24 + i, 30 + j, 1), Sample::reflectance("B04", 24 + i, 30 + j, 1));
         }},
        {"derived NDPI of a 20 m and a 10 m band", "NDPI", 24, 30, 12, 12, 12, 12,
         [](int i, int j) {
             return ratio(Sample::reflectance("B11", 12 + i / 2, 15 + j / 2, 2),
                          Sample::reflectance("B03", 24 + i, 30 + j, 1));
         }},
        {"window over the upper-left edge", "B04", -12, -6, 30, 20, 30, 20,
         [](int i, int j) { return b04At(-12 + i, -6 + j); }},
        {"window over the lower-right edge", "B04", 100, 110, 30, 20, 30, 20,
         [](int i, int j) { return b04At(100 + i, 110 + j); }},
        {"enlarged window over the edge", "B8A", -6, -4, 12, 12, 24, 24,
         [&](int i, int j) {
             const int x = -6 + i / 2, y = -4 + j / 2;
             return inside20m(x, y) ? Sample::reflectance("B8A", x, y, 2) : 0.0;
         }},
        {"derived band over the edge", "NDVI", -12, -12, 36, 36, 36, 36,
         [](int i, int j) {
             const int x = -12 + i, y = -12 + j;
             const bool inside = x >= 0 && y >= 0 && x < kSize && y < kSize;
             return inside ? ratio(Sample::reflectance("B08", x, y, 1), b04At(x, y)) : 0.0;
         }},
        {"window wholly outside", "B04", 200, 0, 10, 10, 10, 10, [](int, int) { return 0.0; }},
    };
    const auto file = fixture().open();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const int band = bandIndex(*file, c.code);
        std::vector<double> out{42.0};
        quietly([&] { file->readRegion(band, 0, c.x, c.y, c.width, c.height, c.outWidth, c.outHeight, out); });
        ASSERT_EQ(out.size(), static_cast<std::size_t>(c.outWidth * c.outHeight));
        for (int j = 0; j < c.outHeight; ++j)
            for (int i = 0; i < c.outWidth; ++i)
                ASSERT_DOUBLE_EQ(out[static_cast<std::size_t>(j * c.outWidth + i)], c.expected(i, j))
                    << "output pixel " << i << ", " << j;
    }
    EXPECT_TRUE(file->loadedBands.empty());
}

TEST(JP2ZipRegion, EmptyRequestsThrowReadFailed)
{
    const auto file = fixture().open();
    const int b04 = bandIndex(*file, "B04");
    std::vector<double> out;
    EXPECT_EQ(thrownBy([&] { file->readRegion(b04, 0, 0, 0, 0, 4, 4, 4, out); }), 6);
    EXPECT_EQ(out, std::vector<double>(16, 0.0));
    EXPECT_EQ(thrownBy([&] { file->readRegion(b04, 0, 0, 0, 4, 4, -1, 4, out); }), 6);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(thrownBy([&] { file->readRegion(-1, 0, 0, 0, 4, 4, 2, 2, out); }), 6);
    EXPECT_EQ(out.size(), 4u);

    // An index band whose sources are gone.
    const int ndvi = bandIndex(*file, "NDVI");
    file->bands[static_cast<std::size_t>(ndvi)].sourceBands.clear();
    EXPECT_EQ(thrownBy([&] { file->readRegion(ndvi, 0, 0, 0, 4, 4, 4, 4, out); }), 6);
    EXPECT_EQ(out.size(), 16u);
    EXPECT_EQ(thrownBy([&] { file->loadBand(ndvi, 0, 0.0, 1.0, false, false); }), 6);
    EXPECT_FALSE(file->isLoaded(ndvi, 0));
}

// ------------------------------------------------------------------ preview

TEST(JP2ZipPreview, PlanesFollowThePreviewImageAtTheRequestedSize)
{
    const auto file = fixture().open();
    const int source = Sample::previewSize(kSize);
    auto check = [&](int w, int h) {
        ASSERT_EQ(file->preview.size(), 3u);
        EXPECT_EQ(file->previewWidth, w);
        EXPECT_EQ(file->previewHeight, h);
        for (int c = 0; c < 3; ++c) {
            ASSERT_EQ(file->preview[static_cast<std::size_t>(c)].size(), static_cast<std::size_t>(w * h));
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    // Nearest neighbour: the source pixel under the centre.
                    const int sx = static_cast<int>((x + 0.5) * source / w);
                    const int sy = static_cast<int>((y + 0.5) * source / h);
                    ASSERT_EQ(file->preview[static_cast<std::size_t>(c)][static_cast<std::size_t>(y * w + x)],
                              Sample::previewValue(c, sx, sy))
                        << "plane " << c << " at " << x << ", " << y;
                }
        }
    };
    file->loadPreview(0, 0);
    check(343, 343);
    // Another size resizes the planes; 0 then means the stored size.
    file->loadPreview(100, 50);
    check(100, 50);
    file->loadPreview(0, 0);
    check(100, 50);
}

TEST(JP2ZipPreview, ProductWithoutPreviewHasBlackPlanes)
{
    Sample::ProductSpec spec;
    spec.withPreview = false;
    const Product product(spec);
    const auto file = product.open();
    EXPECT_EQ(file->bandSources.count("PVI"), 0u);
    file->loadPreview(0, 0);
    ASSERT_EQ(file->preview.size(), 3u);
    for (const auto& plane : file->preview)
        EXPECT_EQ(plane, std::vector<std::uint8_t>(343 * 343, 0));
}
