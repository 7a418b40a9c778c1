#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "io/File.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

// A data set with n one-level bands whose loading just stores a few samples,
// so the base class's bookkeeping can be tested without a raster format.
class MemoryFile : public IO::File {
public:
    explicit MemoryFile(int n)
    {
        for (int i = 0; i < n; ++i) {
            IO::Band band("band" + std::to_string(i));
            band.levels.emplace_back("mem/band" + std::to_string(i));
            bands.push_back(std::move(band));
        }
    }

    void loadBand(int band, int level, double, double, bool, bool) override
    {
        IO::BandLevel& target = bandLevel(band, level);
        const float samples[2] = {1.0f, 2.0f};
        target.setDataFromFloats(samples, 2, true, 0, 0);
        loadedBands.insert(band);
    }
};

} // namespace

TEST(File, FreshDataSetIsEmpty)
{
    IO::File file;
    EXPECT_TRUE(file.name.empty());
    EXPECT_TRUE(file.dataType.empty());
    EXPECT_EQ(file.width, 0);
    EXPECT_EQ(file.height, 0);
    EXPECT_EQ(file.pixelCount, 0);
    EXPECT_TRUE(file.bands.empty());
    EXPECT_TRUE(file.loadedBands.empty());
    EXPECT_TRUE(file.preview.empty());
    EXPECT_EQ(file.previewWidth, 343);
    EXPECT_EQ(file.previewHeight, 343);
    EXPECT_EQ(file.workAreaWidth, 0);
    EXPECT_EQ(file.workAreaHeight, 0);
    EXPECT_EQ(file.workAreaX, (std::vector<int>{0, 0}));
    EXPECT_EQ(file.workAreaY, (std::vector<int>{0, 0}));
}

TEST(File, BaseOperationsGiveHarmlessDefaults)
{
    IO::File file;
    file.open("S2A_product", "zip", "/data/in");
    EXPECT_EQ(file.name, "S2A_product");
    EXPECT_EQ(file.extension, "zip");
    EXPECT_EQ(file.directory, "/data/in");

    IO::File other;
    EXPECT_FALSE(file.sameGeolocation(&other));
    EXPECT_EQ(file.positionText(1, 2), "");
    EXPECT_EQ(file.latLonText(1, 2), "");
    EXPECT_FALSE(file.containsLatLon(48.0, 15.0));

    double lat = 7.0, lon = 8.0, x = 9.0, y = 10.0;
    file.pixelToLatLon(1, 2, &lat, &lon);
    file.latLonToPixel(48, 15, &x, &y);
    EXPECT_EQ(lat, 7.0);
    EXPECT_EQ(lon, 8.0);
    EXPECT_EQ(x, 9.0);
    EXPECT_EQ(y, 10.0);

    double easting = 1, northing = 2;
    std::vector<double> zone{1, 33};
    file.utmOrigin(&easting, &northing, zone);
    EXPECT_EQ(easting, -1.0);
    EXPECT_EQ(northing, -1.0);
    EXPECT_TRUE(zone.empty());

    int px = 5, py = 6;
    file.utmToPixel(500000, 5400000, {1, 33}, &px, &py);
    EXPECT_EQ(px, -1);
    EXPECT_EQ(py, -1);
    // A grid without georeference counts as the Sentinel-2 working grid.
    EXPECT_EQ(file.groundPixelSize(), 10.0);

    std::vector<double> region{1, 2, 3};
    file.readRegion(0, 0, 0, 0, 2, 2, 2, 2, region);
    EXPECT_EQ(region.size(), 3u);

    std::vector<std::vector<Point2D>> curves;
    std::vector<std::string> names;
    file.loadCurves("a.kml", "kml", curves, names);
    EXPECT_TRUE(curves.empty());
    file.saveCurves("a.kml", "kml", curves, names, {}, {}, {});
    file.loadPreview(0, 0);
    EXPECT_TRUE(file.preview.empty());
    file.openRegion(0, 0, 1, 1, "/x");
    EXPECT_TRUE(file.bands.empty());
}

TEST(File, ExportsOfTheBaseClassReportUnsupported)
{
    IO::File file;
    EXPECT_EQ(TestSupport::fileErrorOf([&] { file.exportGeoTiff("out.tif", "tif", {1.0f}, 0, 0, 1, 1); }),
              IO::File::error::UnsupportedFormat);
    EXPECT_EQ(TestSupport::fileErrorOf([&] { file.exportPoints("points", {{1, 2}}); }),
              IO::File::error::UnsupportedFormat);
}

TEST(File, ErrorCodesKeepTheirNumbers)
{
    using E = IO::File::error;
    EXPECT_EQ(static_cast<int>(E::NoError), 0);
    EXPECT_EQ(static_cast<int>(E::UnsupportedFormat), 1);
    EXPECT_EQ(static_cast<int>(E::FileCorrupted), 2);
    EXPECT_EQ(static_cast<int>(E::CannotOpen), 3);
    EXPECT_EQ(static_cast<int>(E::MissingMetadata), 4);
    EXPECT_EQ(static_cast<int>(E::MetadataCorrupted), 5);
    EXPECT_EQ(static_cast<int>(E::ReadFailed), 6);
    EXPECT_EQ(static_cast<int>(E::OutsideMap), 7);
}

TEST(File, BandIndexesOutOfRangeAreRefused)
{
    MemoryFile file(2);
    for (auto [band, level] : std::vector<std::pair<int, int>>{{-1, 0}, {2, 0}, {1, 1}, {0, -1}, {1000000, 0}}) {
        EXPECT_FALSE(file.isLoaded(band, level)) << band << "/" << level;
        EXPECT_EQ(TestSupport::fileErrorOf([&] { file.loadBand(band, level, 0, 1, false, false); }),
                  IO::File::error::ReadFailed)
            << band << "/" << level;
    }
    EXPECT_TRUE(file.loadedBands.empty());
    EXPECT_EQ(file.bandName(1), "band1");
    EXPECT_EQ(file.bandName(2), "");
    EXPECT_EQ(file.bandName(-1), "");

    IO::File base;
    EXPECT_EQ(TestSupport::fileErrorOf([&] { base.loadBand(0, 0, 0, 1, false, false); }),
              IO::File::error::ReadFailed);
}

TEST(File, WorkAreaSettersTakeOnlyTheTwoSides)
{
    IO::File file;
    file.setWorkAreaX(1, 36);
    file.setWorkAreaY(0, 12);
    file.setWorkAreaX(2, 99);
    file.setWorkAreaY(-1, 99);
    EXPECT_EQ(file.workAreaX, (std::vector<int>{0, 36}));
    EXPECT_EQ(file.workAreaY, (std::vector<int>{12, 0}));
    file.setDataType("Sentinel-2 satellite image");
    EXPECT_EQ(file.dataType, "Sentinel-2 satellite image");
}

struct UnloadCase {
    const char* what;
    std::set<int> loaded;  // bands loaded before the call
    std::set<int> keep;
    std::set<int> stillLoaded;
};

class UnloadBands : public testing::TestWithParam<UnloadCase> {};

TEST_P(UnloadBands, ReleasesEveryBandNotBothKeptAndLoaded)
{
    const UnloadCase& c = GetParam();
    MemoryFile file(4);
    TestSupport::quietly([&] {
        for (int b : c.loaded)
            file.loadBand(b, 0, 0, 1, false, false);
        // Every band gets a computed image, loaded or not.
        for (auto& band : file.bands)
            band.levels[0].createCache("dataCacheToolsFilterSolution", 3);
        file.unloadBandsExcept(c.keep);
    });
    EXPECT_EQ(file.loadedBands, c.stillLoaded) << c.what;
    for (int b = 0; b < 4; ++b) {
        const bool kept = c.stillLoaded.count(b) > 0;
        EXPECT_EQ(file.isLoaded(b, 0), kept) << c.what << " band " << b;
        EXPECT_EQ(file.bands[b].levels[0].cacheSize("dataCacheToolsFilterSolution"), kept ? 3u : 0u)
            << c.what << " band " << b;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, UnloadBands,
    testing::Values(UnloadCase{"empty keep set releases all", {0, 1, 2}, {}, {}},
                    UnloadCase{"kept and loaded stay", {0, 2}, {0, 2}, {0, 2}},
                    UnloadCase{"kept but not loaded loses its caches", {0}, {0, 1}, {0}},
                    UnloadCase{"loaded but not kept is released", {1, 3}, {3}, {3}},
                    UnloadCase{"keep names an index beyond the bands", {0}, {0, 7}, {0}}));

TEST(File, DestructorReleasesEveryBand)
{
    auto* file = new MemoryFile(2);
    testing::internal::CaptureStdout();
    file->loadBand(1, 0, 0, 1, false, false);
    file->bands[0].levels[0].createCache("k", 4);
    delete file;  // the sanitizer build reports any array left behind
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_NE(log.find("band1 data deleted"), std::string::npos);
    EXPECT_NE(log.find("Delete cache:k for band0"), std::string::npos);
}

class CopyTo : public testing::Test {
protected:
    void SetUp() override
    {
        TestSupport::writeFile(dir.file("S2B_source.zip"), "new contents");
        file.open("S2B_source", "zip", dir.path().string());
    }

    void setAge(const std::string& path, std::chrono::hours offset)
    {
        fs::last_write_time(path, fs::last_write_time(dir.file("S2B_source.zip")) + offset);
    }

    TestSupport::TempDir dir;
    IO::File file;
};

TEST_F(CopyTo, CreatesAMissingDestination)
{
    EXPECT_TRUE(file.copyTo(dir.file("copy.zip")));
    EXPECT_EQ(TestSupport::readFile(dir.file("copy.zip")), "new contents");
}

TEST_F(CopyTo, ReplacesAnOlderDestination)
{
    TestSupport::writeFile(dir.file("copy.zip"), "old");
    setAge(dir.file("copy.zip"), std::chrono::hours(-2));
    EXPECT_TRUE(file.copyTo(dir.file("copy.zip")));
    EXPECT_EQ(TestSupport::readFile(dir.file("copy.zip")), "new contents");
}

// A save the user confirmed replaces whatever is there, newer or not.
TEST_F(CopyTo, ReplacesANewerDestination)
{
    TestSupport::writeFile(dir.file("copy.zip"), "newer");
    setAge(dir.file("copy.zip"), std::chrono::hours(2));
    EXPECT_TRUE(file.copyTo(dir.file("copy.zip")));
    EXPECT_EQ(TestSupport::readFile(dir.file("copy.zip")), "new contents");
}

// Copying where nobody was asked replaces only an older file: a newer one is
// left alone and the copy counts as not done.
TEST_F(CopyTo, OverOlderOnlyLeavesANewerOrEqualDestinationAndSaysSo)
{
    for (const auto& [offset, replaced] : {std::pair{std::chrono::hours(-2), true}, std::pair{std::chrono::hours(2), false},
                                           std::pair{std::chrono::hours(0), false}}) {
        TestSupport::writeFile(dir.file("copy.zip"), "there");
        setAge(dir.file("copy.zip"), offset);
        EXPECT_EQ(file.copyTo(dir.file("copy.zip"), IO::File::CopyMode::OverOlderOnly), replaced) << offset.count();
        EXPECT_EQ(TestSupport::readFile(dir.file("copy.zip")), replaced ? "new contents" : "there") << offset.count();
    }
}

// Saving a data set onto its own source file keeps the file whole.
TEST_F(CopyTo, OntoItsOwnSourceKeepsTheFile)
{
    for (const IO::File::CopyMode mode : {IO::File::CopyMode::Replace, IO::File::CopyMode::OverOlderOnly}) {
        EXPECT_TRUE(file.copyTo(dir.file("S2B_source.zip"), mode));
        EXPECT_EQ(TestSupport::readFile(dir.file("S2B_source.zip")), "new contents");
        // Also under another spelling of the same path.
        EXPECT_TRUE(file.copyTo((dir.path() / "." / "S2B_source.zip").string(), mode));
        EXPECT_EQ(TestSupport::readFile(dir.file("S2B_source.zip")), "new contents");
    }
    // No temporary file is left beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST_F(CopyTo, FailsForAMissingFolderOrSource)
{
    EXPECT_FALSE(file.copyTo(dir.file("no/such/folder/copy.zip")));
    IO::File missing;
    missing.open("absent", "zip", dir.path().string());
    EXPECT_FALSE(missing.copyTo(dir.file("copy.zip")));
    EXPECT_FALSE(fs::exists(dir.file("copy.zip")));
}
