// The guards every GDAL read of the file layer goes through: local paths
// only, the drivers each open names, the entries a zip archive declares and
// the tiles and components a JPEG 2000 header declares, each read before
// GDAL lists or decodes anything.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "io/GdalHandles.h"
#include "support/TestSupport.h"
#include "test_hostile_inputs.h"
#include "test_orthomosaic_tif_support.h"

namespace {

using namespace IO::Gdal;

TEST(GdalHandles, OnlyLocalPathsAreLocal)
{
    const struct {
        const char* path;
        bool local;
    } cases[] = {
        {"/home/user/S2A_tile.zip", true},
        {"/vsizip//home/user/S2A_tile.zip/GRANULE/B04_10m.jp2", true},
        {"/vsizip/{/home/user/S2A_tile.zip}/B04_10m.jp2", true},
        {"/home/user/vsicurl/map.tif", true},
        {"", false},
        {"map.tif", false},
        {"/vsicurl/http://127.0.0.1:8080/map.tif", false},
        {"//vsicurl/http://127.0.0.1:8080/map.tif", false},
        {"/vsis3/bucket/map.tif", false},
        {"/vsimem/map.tif", false},
        {"/vsistdin/", false},
        {"/vsizip//vsicurl/http://127.0.0.1:8080/S2A_tile.zip/B04_10m.jp2", false},
        {"/vsizip/{/vsicurl/http://127.0.0.1:8080/S2A_tile.zip}/B04_10m.jp2", false},
        {"/vsizip/vsicurl/http://127.0.0.1:8080/S2A_tile.zip/B04_10m.jp2", false},
        {"/vsizip//vsizip//home/user/outer.zip/inner.zip/B04_10m.jp2", false},
        {"GTIFF_DIR:1:/home/user/map.tif", false},
        {"J2K_SUBFILE:0,100,/home/user/B04_10m.jp2", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isLocalPath(c.path), c.local) << c.path;
}

TEST(GdalHandles, ARasterOpensOnlyWithTheDriversNamed)
{
    TestSupport::TempDir dir;
    const std::string path = dir.file("map.tif");
    writeTif(path, TifSpec{});
    EXPECT_TRUE(openRaster(path, geoTiffDrivers));
    EXPECT_FALSE(openRaster(path, jpeg2000Drivers));
    EXPECT_FALSE(openRaster(path, {}));
}

// A zip archive of the given entries (empty files) as bytes.
std::vector<std::uint8_t> zipOf(const TestSupport::TempDir& dir, const std::vector<std::string>& names)
{
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> entries;
    for (const auto& name : names)
        entries.emplace_back(name, std::vector<std::uint8_t>{1, 2, 3});
    const std::string text = TestSupport::readFile(HostileInputs::writeArchive(dir.path(), entries).string());
    return {text.begin(), text.end()};
}

// The archive in the layout of zip64: a zip64 end record with its locator
// before the end record gives the count, and the end record's counts say
// plainCount (0xFFFF: "see the zip64 end record").
std::vector<std::uint8_t> asZip64(std::vector<std::uint8_t> zip, std::uint16_t plainCount = 0xFFFF)
{
    using HostileInputs::readLittleEndian;
    const std::size_t end = zip.size() - 22;  // no comment
    const std::uint64_t entries = readLittleEndian(zip, end + 10, 2);
    const std::uint64_t directorySize = readLittleEndian(zip, end + 12, 4);
    const std::uint64_t directoryOffset = readLittleEndian(zip, end + 16, 4);
    std::vector<std::uint8_t> endRecord(zip.begin() + static_cast<std::ptrdiff_t>(end), zip.end());
    zip.resize(end);
    const std::vector<std::uint8_t> records =
        HostileInputs::zip64EndRecords(entries, directorySize, directoryOffset, end);
    endRecord[8] = endRecord[10] = static_cast<std::uint8_t>(plainCount);
    endRecord[9] = endRecord[11] = static_cast<std::uint8_t>(plainCount >> 8);
    zip.insert(zip.end(), records.begin(), records.end());
    zip.insert(zip.end(), endRecord.begin(), endRecord.end());
    return zip;
}

TEST(GdalHandles, AZipIsListedOnlyWithinTheEntriesItMayHold)
{
    TestSupport::TempDir dir;
    const std::vector<std::uint8_t> zip = zipOf(dir, {"a/one.jp2", "a/two.jp2", "three.txt"});
    const std::vector<std::string> all{"a/", "a/one.jp2", "a/two.jp2", "three.txt"};
    const struct {
        const char* what;
        std::vector<std::uint8_t> bytes;
    } archives[] = {{"zip", zip}, {"zip64", asZip64(zip)}, {"zip64 counted in both end records", asZip64(zip, 3)}};
    for (const auto& archive : archives) {
        SCOPED_TRACE(archive.what);
        const std::string path = dir.file(std::string(archive.what) + ".zip");
        TestSupport::writeFile(path, std::string(archive.bytes.begin(), archive.bytes.end()));
        std::vector<std::string> listed = listZip(path, 3);
        std::sort(listed.begin(), listed.end());
        EXPECT_EQ(listed, all);
        EXPECT_TRUE(listZip(path, 2).empty());
        EXPECT_TRUE(listZip("/vsizip/" + path, 3).empty());
    }
    TestSupport::writeFile(dir.file("text.zip"), "not an archive");
    EXPECT_TRUE(listZip(dir.file("text.zip"), 3).empty());
    EXPECT_TRUE(listZip(dir.file("missing.zip"), 3).empty());
}

// Archives whose end record declares one entry while the record GDAL's zip
// reader takes declares them all: a record that ends the archive's comment,
// cut short by the end of the file (the reader looks for records up to the
// last four bytes and reads them past the end), or a zip64 end record in its
// place whose count the end record contradicts. GDAL lists every entry of
// each; none is listed.
TEST(GdalHandles, AZipWhoseRecordsHideItsEntriesIsNotListed)
{
    using HostileInputs::HiddenCount;
    TestSupport::TempDir dir;
    const std::vector<std::uint8_t> zip = zipOf(dir, {"a/one.jp2", "a/two.jp2", "three.txt"});
    const struct {
        const char* what;
        std::optional<HiddenCount> where;  // none: a zip64 end record where it belongs
        int missing;
    } cases[] = {
        {"a zip64 locator in the last 19 bytes", HiddenCount::Zip64Locator, 1},
        {"a zip64 locator in the last 16 bytes", HiddenCount::Zip64Locator, 4},
        {"an end record in the last 21 bytes", HiddenCount::EndRecord, 1},
        {"an end record in the last 19 bytes", HiddenCount::EndRecord, 3},
        {"a zip64 end record whose count the end record contradicts", std::nullopt, 0},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = dir.file("hidden" + std::to_string(index++) + ".zip");
        const std::vector<std::uint8_t> bytes = c.where ? zip : asZip64(zip, 1);
        TestSupport::writeFile(path, std::string(bytes.begin(), bytes.end()));
        if (c.where)
            HostileInputs::hideEntryCount(path, *c.where, c.missing);
        // GDAL's reader lists all three entries and their folder.
        EXPECT_EQ(toStrings(StringList(VSIReadDirRecursive(("/vsizip/" + path).c_str()))).size(), 4u);
        EXPECT_TRUE(listZip(path, 2000).empty());
    }
}

TEST(GdalHandles, Jpeg2000TilesAndComponentsAreCountedFromTheHeader)
{
    using HostileInputs::ProductRaster;
    const struct {
        const char* what;
        ProductRaster raster;
        std::uint64_t tiles;
        int components;
    } cases[] = {
        {"one tile", {"B04", "10m", 12, 10.0}, 1, 1},
        {"a tile's 1024-pixel tiles", {"B04", "10m", 12, 10.0, 10980, 1024, 1024}, 121, 1},
        {"44-pixel tiles", {"B04", "10m", 12, 10.0, 10980, 44, 44}, 250 * 250, 1},
        {"tiles wider than the raster", {"B04", "10m", 12, 10.0, 0, 1024}, 1, 1},
        {"a row of tall tiles", {"B04", "10m", 12, 10.0, 10980, 100, 20000}, 110, 1},
        {"three components", {"B04", "10m", 12, 10.0, 0, 0, 0, 0, 3}, 1, 3},
        {"256 components", {"B04", "10m", 12, 10.0, 10980, 0, 0, 0, 256}, 1, 256},
    };
    TestSupport::TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<std::uint8_t> bytes = HostileInputs::encodeRaster(c.raster);
        TestSupport::writeFile(dir.file("raster.jp2"), std::string(bytes.begin(), bytes.end()));
        const std::optional<Jpeg2000Layout> layout = jpeg2000Layout(dir.file("raster.jp2"));
        ASSERT_TRUE(layout);
        EXPECT_EQ(layout->tiles, c.tiles);
        EXPECT_EQ(layout->components, c.components);
    }
    writeTif(dir.file("map.tif"), TifSpec{});
    EXPECT_FALSE(jpeg2000Layout(dir.file("map.tif")));
    EXPECT_FALSE(jpeg2000Layout(dir.file("missing.jp2")));
}

} // namespace
