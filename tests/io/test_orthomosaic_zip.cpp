#include <algorithm>
#include <filesystem>
#include <set>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <cpl_vsi.h>
#include <gtest/gtest.h>

#include "io/OrthoMosaicZipFile.h"
#include "support/TestSupport.h"
#include "test_hostile_inputs.h"
#include "test_orthomosaic_tif_support.h"

namespace fs = std::filesystem;
using IO::File;
using IO::OrthoMosaicZipFile;

namespace {

// A north-up 0.2 m Krovak tile whose upper-left corner lies in Prague.
TifSpec krovakTile(int width = 40, int height = 30)
{
    TifSpec spec;
    spec.width = width;
    spec.height = height;
    spec.bands = 3;
    spec.options = {"PHOTOMETRIC=RGB"};
    spec.epsg = 5514;
    spec.transform = {-741000.0, 0.2, 0.0, -1044000.0, 0.0, -0.2};
    return spec;
}

// Writes the tile as entry "tiles/<name>.tif" of a new zip; the folder to
// pass to open.
std::string zipTile(const TestSupport::TempDir& dir, const std::string& zipName, const std::string& name,
                    const TifSpec& spec)
{
    const std::string tif = dir.file(name + ".tif");
    writeTif(tif, spec);
    const std::string bytes = TestSupport::readFile(tif);
    const std::string folder = "/vsizip/" + dir.file(zipName) + "/tiles";
    VSILFILE* entry = VSIFOpenL((folder + "/" + name + ".tif").c_str(), "wb");
    EXPECT_NE(entry, nullptr);
    if (entry) {
        EXPECT_EQ(VSIFWriteL(bytes.data(), 1, bytes.size(), entry), bytes.size());
        VSIFCloseL(entry);
    }
    fs::remove(tif);
    return folder;
}

// Half of the tile at value a, half at value b, in every band.
std::function<double(int, int, int)> twoValues(int a, int b)
{
    return [a, b](int, int, int y) { return y < 50 ? a : b; };
}

File::error load(File& file, int band, bool autoCrop, bool keepRaw)
{
    return TestSupport::fileErrorOf(
        [&] { TestSupport::quietly([&] { file.loadBand(band, 0, 0.0, 1.0, autoCrop, keepRaw); }); });
}

std::unique_ptr<OrthoMosaicZipFile> quietZip()
{
    std::unique_ptr<OrthoMosaicZipFile> zip;
    TestSupport::quietly([&] { zip = std::make_unique<OrthoMosaicZipFile>(); });
    return zip;
}

} // namespace

TEST(OrthoMosaicZipFile, FreshObjectHasNoGeotransform)
{
    auto zip = quietZip();
    const double largest = std::numeric_limits<double>::max();
    for (const double field : {zip->originX, zip->originY, zip->pixelSizeX, zip->pixelSizeY, zip->rotationX,
                               zip->rotationY})
        EXPECT_EQ(field, largest);
    EXPECT_TRUE(zip->projectionWkt.empty());
    EXPECT_TRUE(zip->transformToWgs84 && zip->transformToKrovak);
}

TEST(OrthoMosaicZipFile, OpensAnRgbTileInsideAZip)
{
    TestSupport::TempDir dir;
    const std::string folder = zipTile(dir, "mosaic.zip", "tile", krovakTile());
    auto zip = quietZip();
    zip->open("tile", "tif", folder);
    EXPECT_EQ(zip->width, 40);
    EXPECT_EQ(zip->height, 30);
    EXPECT_EQ(zip->pixelCount, 1200);
    ASSERT_EQ(zip->bands.size(), 3u);
    const char* names[] = {"Red", "Green", "Blue"};
    for (int b = 0; b < 3; ++b) {
        EXPECT_EQ(zip->bands[b].name, names[b]);
        ASSERT_EQ(zip->bands[b].levels.size(), 1u);
        EXPECT_EQ(zip->bands[b].levels[0].path, folder + "/tile.tif");
        EXPECT_EQ(zip->bands[b].scale, 1.0);
        EXPECT_FALSE(zip->isLoaded(b, 0));
    }
    EXPECT_EQ(zip->originX, -741000.0);
    EXPECT_EQ(zip->originY, -1044000.0);
    EXPECT_EQ(zip->pixelSizeY, -0.2);
    EXPECT_EQ(zip->absPixelSizeY(), 0.2);
    EXPECT_EQ(zip->groundPixelSize(), 0.2);
    EXPECT_EQ(zip->rotationX, 0.0);
    EXPECT_TRUE(IO::isKrovakEastNorth(zip->projectionWkt)) << zip->projectionWkt;
}

TEST(OrthoMosaicZipFile, OpeningFailuresGetTheirCodes)
{
    TestSupport::TempDir dir;
    TifSpec noTransform = krovakTile();
    noTransform.geotransform = false;
    writeTif(dir.file("plain.tif"), noTransform);
    auto zip = quietZip();
    EXPECT_EQ(TestSupport::fileErrorOf([&] { zip->open("missing", "tif", dir.path().string()); }),
              File::error::CannotOpen);
    EXPECT_EQ(TestSupport::fileErrorOf([&] { zip->open("plain", "tif", dir.path().string()); }),
              File::error::MissingMetadata);
}

// Tiles are GeoTIFFs: a tile of another format is not opened, a virtual
// raster (which could read any file the user can read) least of all.
TEST(OrthoMosaicZipFile, TilesOfOtherFormatsAreNotOpened)
{
    TestSupport::TempDir dir;
    writeTif(dir.file("source.tif"), krovakTile());
    for (const char* driver : {"VRT", "JP2OpenJPEG"}) {
        SCOPED_TRACE(driver);
        writeAs(driver, dir.file("source.tif"), dir.file(std::string(driver) + ".tif"));
        auto zip = quietZip();
        EXPECT_EQ(TestSupport::fileErrorOf([&] { zip->open(driver, "tif", dir.path().string()); }),
                  File::error::CannotOpen);
        EXPECT_TRUE(zip->bands.empty());
    }
}

// Bands and blocks a header declares beyond what its file holds, as the
// GeoTIFF data set refuses them.
TEST(OrthoMosaicZipFile, LayoutsAbsurdForTheFileAreRefusedAtOpen)
{
    struct Case {
        const char* label;
        std::string header;
        File::error expected;
    };
    const Case cases[] = {
        {"65535 bands in 300 bytes", HostileInputs::tiffHeader(6, 4, false, 1, 65535), File::error::UnsupportedFormat},
        {"a strip of 3 GB", HostileInputs::tiffHeader(32774, 23326, true, 23304), File::error::UnsupportedFormat},
        {"three bands", HostileInputs::tiffHeader(6, 4, false, 1, 3), File::error::NoError},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TestSupport::TempDir dir;
        TestSupport::writeFile(dir.file("tile.tif"), c.header);
        auto zip = quietZip();
        EXPECT_EQ(TestSupport::fileErrorOf([&] { zip->open("tile", "tif", dir.path().string()); }), c.expected);
        EXPECT_EQ(zip->bands.size(), c.expected == File::error::NoError ? 3u : 0u);
    }
}

TEST(OrthoMosaicZipFile, LoadBandAlwaysCropsAutomaticallyAndMarksTheBand)
{
    TestSupport::TempDir dir;
    TifSpec spec = krovakTile(100, 100);
    spec.value = twoValues(20, 200);
    const std::string folder = zipTile(dir, "a.zip", "tile", spec);
    auto zip = quietZip();
    zip->open("tile", "tif", folder);

    ASSERT_EQ(load(*zip, 1, true, true), File::error::NoError);
    EXPECT_EQ(zip->bands[1].levels[0].data[0], 20.0f);
    EXPECT_EQ(zip->bands[1].levels[0].max, 255.0f);
    EXPECT_TRUE(zip->loadedBands.count(1));

    // autoCrop false: the crop is automatic all the same (a fixed 0..255
    // range would give 20 / 255 and 200 / 255).
    ASSERT_EQ(load(*zip, 0, false, false), File::error::NoError);
    EXPECT_EQ(zip->bands[0].levels[0].data[0], 0.0f);
    EXPECT_EQ(zip->bands[0].levels[0].data[9999], 1.0f);
    EXPECT_EQ(zip->loadedBands, (std::set<int>{0, 1}));
}

TEST(OrthoMosaicZipFile, EveryTileIsNormalisedWithItsOwnHistogram)
{
    // The export loads tile after tile through one object.
    TestSupport::TempDir dir;
    TifSpec first = krovakTile(100, 100);
    first.value = twoValues(20, 200);
    TifSpec second = krovakTile(100, 100);
    second.value = twoValues(50, 100);
    const std::string folderA = zipTile(dir, "a.zip", "first", first);
    const std::string folderB = zipTile(dir, "b.zip", "second", second);

    auto zip = quietZip();
    zip->open("first", "tif", folderA);
    ASSERT_EQ(load(*zip, 0, true, false), File::error::NoError);
    TestSupport::quietly([&] { zip->unloadBandsExcept({}); });

    zip->open("second", "tif", folderB);
    EXPECT_TRUE(zip->loadedBands.empty());
    ASSERT_EQ(load(*zip, 0, true, false), File::error::NoError);
    const IO::BandLevel& level = zip->bands[0].levels[0];
    EXPECT_EQ(level.cropMin, 50.0f);
    EXPECT_EQ(level.cropMax, 100.0f);
    EXPECT_EQ(level.data[0], 0.0f);
    EXPECT_EQ(level.data[9999], 1.0f);
}

TEST(OrthoMosaicZipFile, LoadBandFailuresGetTheirCodes)
{
    TestSupport::TempDir dir;
    TifSpec wide = krovakTile();
    wide.type = GDT_UInt16;
    writeTif(dir.file("wide.tif"), wide);
    auto zip = quietZip();
    zip->open("wide", "tif", dir.path().string());
    EXPECT_EQ(load(*zip, 0, true, false), File::error::UnsupportedFormat);
    EXPECT_EQ(load(*zip, 3, true, false), File::error::ReadFailed);
    EXPECT_EQ(load(*zip, 0, true, false), File::error::UnsupportedFormat);

    writeTif(dir.file("tile.tif"), krovakTile());
    zip->open("tile", "tif", dir.path().string());
    fs::remove(dir.file("tile.tif"));
    EXPECT_EQ(load(*zip, 0, true, false), File::error::ReadFailed);
    EXPECT_TRUE(zip->loadedBands.empty());
}

TEST(OrthoMosaicZipFile, LoadBandsGivesWhatLoadBandGivesEachBand)
{
    // A pixel-interleaved tile of several megabytes, read in more than one
    // run of rows, the last one shorter; each band has its own histogram.
    TestSupport::TempDir dir;
    TifSpec spec = krovakTile(12500, 300);
    spec.options = {"PHOTOMETRIC=RGB", "INTERLEAVE=PIXEL", "COMPRESS=DEFLATE"};
    spec.value = [](int b, int x, int y) { return (x / 7 + y * 3 + 50 * b) % (120 + 60 * b); };
    const std::string folder = zipTile(dir, "a.zip", "tile", spec);
    for (const bool keepRaw : {false, true}) {
        SCOPED_TRACE(keepRaw ? "raw" : "normalised");
        auto byBand = quietZip();
        auto together = quietZip();
        byBand->open("tile", "tif", folder);
        together->open("tile", "tif", folder);
        const std::string bandLog = TestSupport::capturedStdout([&] {
            for (int b = 0; b < 3; ++b)
                byBand->loadBand(b, 0, 0.0, 1.0, true, keepRaw);
        });
        const std::string log =
            TestSupport::capturedStdout([&] { together->loadBands({0, 1, 2}, 0, 0.0, 1.0, keepRaw); });
        EXPECT_EQ(log, bandLog);
        EXPECT_EQ(together->loadedBands, (std::set<int>{0, 1, 2}));
        for (int b = 0; b < 3; ++b) {
            const IO::BandLevel& expected = byBand->bands[b].levels[0];
            const IO::BandLevel& level = together->bands[b].levels[0];
            ASSERT_EQ(level.count, expected.count);
            EXPECT_TRUE(std::equal(level.data.get(), level.data.get() + level.count, expected.data.get())) << b;
            EXPECT_EQ(level.cropMin, expected.cropMin) << b;
            EXPECT_EQ(level.cropMax, expected.cropMax) << b;
            EXPECT_EQ(level.normalised, !keepRaw);
        }
    }
}

TEST(OrthoMosaicZipFile, LoadBandsFailsAsLoadBandAndChangesNoBand)
{
    TestSupport::TempDir dir;
    TifSpec wide = krovakTile();
    wide.type = GDT_UInt16;
    writeTif(dir.file("wide.tif"), wide);
    writeTif(dir.file("tile.tif"), krovakTile());
    auto zip = quietZip();
    auto loadAll = [&](std::vector<int> list) {
        return TestSupport::fileErrorOf(
            [&] { TestSupport::quietly([&] { zip->loadBands(list, 0, 0.0, 1.0, false); }); });
    };
    zip->open("wide", "tif", dir.path().string());
    EXPECT_EQ(loadAll({0, 1, 2}), File::error::UnsupportedFormat);
    EXPECT_EQ(loadAll({0, 3}), File::error::ReadFailed);
    EXPECT_EQ(loadAll({0, 1}), File::error::UnsupportedFormat);
    EXPECT_TRUE(zip->loadedBands.empty());

    zip->open("tile", "tif", dir.path().string());
    ASSERT_EQ(load(*zip, 1, true, false), File::error::NoError);
    const float kept = zip->bands[1].levels[0].data[7];
    fs::remove(dir.file("tile.tif"));
    EXPECT_EQ(loadAll({0, 1, 2}), File::error::ReadFailed);
    EXPECT_EQ(zip->loadedBands, (std::set<int>{1}));
    EXPECT_FALSE(zip->isLoaded(0, 0));
    EXPECT_EQ(zip->bands[1].levels[0].data[7], kept);
}

TEST(OrthoMosaicZipFile, ReadRegionCopiesTheLoadedLevel)
{
    TestSupport::TempDir dir;
    TifSpec spec = krovakTile();
    auto value = [](int b, int x, int y) { return b + x + 2 * y; };
    spec.value = value;
    writeTif(dir.file("tile.tif"), spec);
    auto zip = quietZip();
    zip->open("tile", "tif", dir.path().string());
    std::vector<double> out;
    EXPECT_EQ(TestSupport::fileErrorOf([&] { zip->readRegion(2, 0, 0, 0, 2, 2, 2, 2, out); }),
              File::error::ReadFailed);
    EXPECT_EQ(out, std::vector<double>(4, 0.0));

    ASSERT_EQ(load(*zip, 2, true, true), File::error::NoError);
    // A window over the south-east corner: the part outside reads as 0.
    zip->readRegion(2, 0, 38, 28, 3, 3, 3, 3, out);
    auto at = [&](int x, int y) { return static_cast<double>(value(2, x, y)); };
    EXPECT_EQ(out, (std::vector<double>{at(38, 28), at(39, 28), 0, at(38, 29), at(39, 29), 0, 0, 0, 0}));
    // Inside, at half the resolution: the pixel under each output centre.
    zip->readRegion(2, 0, 0, 0, 4, 2, 2, 1, out);
    EXPECT_EQ(out, (std::vector<double>{at(1, 1), at(3, 1)}));
}

TEST(OrthoMosaicZipFile, KmlRoundTripKeepsThePixels)
{
    TestSupport::TempDir dir;
    writeTif(dir.file("tile.tif"), krovakTile(12500, 1));
    auto zip = quietZip();
    zip->open("tile", "tif", dir.path().string());
    const std::vector<std::vector<Point2D>> curves{{{0.5, 0.25}, {12000.125, 9000.5}, {6000.0, 4000.0}}};
    const std::string path = dir.file("area.kml");
    zip->saveCurves(path, "KML", curves, {"area"}, {}, {}, {});
    std::vector<std::vector<Point2D>> read;
    std::vector<std::string> names;
    zip->loadCurves(path, "kml", read, names);
    ASSERT_EQ(read.size(), 1u);
    ASSERT_EQ(read[0].size(), 3u);
    for (std::size_t j = 0; j < 3; ++j) {
        EXPECT_NEAR(read[0][j].x, curves[0][j].x, 0.05);
        EXPECT_NEAR(read[0][j].y, curves[0][j].y, 0.05);
    }
    EXPECT_EQ(names, std::vector<std::string>{"area"});
}
