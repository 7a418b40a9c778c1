// The guards every GDAL read of the file layer goes through: local paths
// only, the drivers each open names, the entries a zip archive declares and
// the tiles a JPEG 2000 header declares, each read before GDAL lists or
// decodes anything.

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

void putLittleEndian(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::uint64_t readLittleEndian(const std::vector<std::uint8_t>& bytes, std::size_t at, int count)
{
    std::uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = value << 8 | bytes[at + static_cast<std::size_t>(i)];
    return value;
}

// The archive in the layout of zip64: the end record's counts say "see the
// zip64 end record" (0xFFFF), and a zip64 end record with its locator before
// it gives the true count.
std::vector<std::uint8_t> asZip64(std::vector<std::uint8_t> zip)
{
    const std::size_t end = zip.size() - 22;  // no comment
    const std::uint64_t entries = readLittleEndian(zip, end + 10, 2);
    const std::uint64_t directorySize = readLittleEndian(zip, end + 12, 4);
    const std::uint64_t directoryOffset = readLittleEndian(zip, end + 16, 4);
    std::vector<std::uint8_t> endRecord(zip.begin() + static_cast<std::ptrdiff_t>(end), zip.end());
    zip.resize(end);
    std::vector<std::uint8_t> tail{'P', 'K', 6, 6};
    putLittleEndian(tail, 44, 8);  // the record's size after this field
    putLittleEndian(tail, 45, 2);
    putLittleEndian(tail, 45, 2);
    putLittleEndian(tail, 0, 4);
    putLittleEndian(tail, 0, 4);
    putLittleEndian(tail, entries, 8);
    putLittleEndian(tail, entries, 8);
    putLittleEndian(tail, directorySize, 8);
    putLittleEndian(tail, directoryOffset, 8);
    tail.insert(tail.end(), {'P', 'K', 6, 7});
    putLittleEndian(tail, 0, 4);
    putLittleEndian(tail, end, 8);
    putLittleEndian(tail, 1, 4);
    endRecord[8] = endRecord[9] = endRecord[10] = endRecord[11] = 0xFF;
    zip.insert(zip.end(), tail.begin(), tail.end());
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
    } archives[] = {{"zip", zip}, {"zip64", asZip64(zip)}};
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

TEST(GdalHandles, Jpeg2000TilesAreCountedFromTheHeader)
{
    using HostileInputs::ProductRaster;
    const struct {
        const char* what;
        ProductRaster raster;
        long long tiles;
    } cases[] = {
        {"one tile", {"B04", "10m", 12, 10.0}, 1},
        {"a tile's 1024-pixel tiles", {"B04", "10m", 12, 10.0, 10980, 1024, 1024}, 121},
        {"44-pixel tiles", {"B04", "10m", 12, 10.0, 10980, 44, 44}, 250 * 250},
        {"tiles wider than the raster", {"B04", "10m", 12, 10.0, 0, 1024}, 1},
        {"a row of tall tiles", {"B04", "10m", 12, 10.0, 10980, 100, 20000}, 110},
    };
    TestSupport::TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<std::uint8_t> bytes = HostileInputs::encodeRaster(c.raster);
        TestSupport::writeFile(dir.file("raster.jp2"), std::string(bytes.begin(), bytes.end()));
        EXPECT_EQ(jpeg2000TileCount(dir.file("raster.jp2")), c.tiles);
    }
    writeTif(dir.file("map.tif"), TifSpec{});
    EXPECT_EQ(jpeg2000TileCount(dir.file("map.tif")), std::nullopt);
    EXPECT_EQ(jpeg2000TileCount(dir.file("missing.jp2")), std::nullopt);
}

} // namespace
