#include <climits>
#include <cmath>
#include <filesystem>
#include <iterator>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "io/KmlCurves.h"
#include "io/OrthoMosaicBinFile.h"
#include "support/DegreesAsPixels.h"
#include "support/TestSupport.h"
#include "test_orthomosaic_lots.h"

namespace fs = std::filesystem;
using IO::File;
using IO::OrthoMosaicBinFile;
using namespace OrthoLots;

namespace {

using Names = std::vector<std::string>;

// A working directory holding the map index and the lot files.
struct Area {
    explicit Area(const std::string& mapIndex = twoByThreeMapIndex())
    {
        writeText(wd.path() / "orthomosaicMap.ini", mapIndex);
    }
    std::string dir() const { return wd.path().string(); }
    std::string lot(const std::string& name) const { return lotPath(wd.path(), name); }

    // Opens the rectangle into a fresh object; the error it throws.
    File::error open(double x1, double y1, double x2, double y2)
    {
        bin = std::make_unique<OrthoMosaicBinFile>();
        return TestSupport::fileErrorOf([&] { TestSupport::quietly([&] { bin->openRegion(x1, y1, x2, y2, dir()); }); });
    }

    TestSupport::ScopedWorkingDirectory wd;
    std::unique_ptr<OrthoMosaicBinFile> bin;
};

// A point inside lot (c, r) of a sheet, dx / dy metres east / south of its
// upper-left corner.
struct Point {
    double x;
    double y;
};
Point inLot(int sheetRow, int sheetColumn, int c, int r, double dx = 100.0, double dy = 100.0)
{
    return {lotX(sheetColumn, c) + dx, lotY(sheetRow, r) - dy};
}

} // namespace

TEST(OrthoMosaicBinFile, FreshObjectHasThePyramidDefaultsAndBothTransformations)
{
    std::unique_ptr<OrthoMosaicBinFile> bin;
    const std::string log = TestSupport::capturedStdout([&] { bin = std::make_unique<OrthoMosaicBinFile>(); });
    EXPECT_NE(log.find("OMBinFile: Coordinate transformations initialized successfully\n"), std::string::npos) << log;
    EXPECT_TRUE(bin->transformToWgs84 && bin->transformToKrovak);
    EXPECT_EQ(bin->originX, std::numeric_limits<double>::max());
    EXPECT_EQ(bin->pixelSizeY, std::numeric_limits<double>::max());
    EXPECT_EQ(bin->redOffset, 19);
    EXPECT_EQ(bin->greenOffset, 125000019);
    EXPECT_EQ(bin->blueOffset, 250000019);
    EXPECT_EQ(bin->lotWidth, 12500);
    EXPECT_EQ(bin->lotHeight, 10000);
    EXPECT_EQ(bin->lotCount, -1);
    EXPECT_EQ(bin->gridRows, -1);
    EXPECT_EQ(TestSupport::capturedStdout([&] { bin.reset(); }), "OMBinFile: desctructor\n");
}

// ------------------------------------------------------------ level choice

TEST(OrthoMosaicBinOpenRegion, LevelAndSizeFollowTheLotCount)
{
    struct Case {
        const char* label;
        int lastColumnFromWest;  // of the rectangle's lower-right lot, across sheets A and B
        int lastRow;
        int lots;
        int level;
        int width;
        int height;
        double pixelSize;
    };
    const Case cases[] = {
        {"one lot", 0, 0, 1, 0, 12500, 10000, 0.2},
        {"2 x 2", 1, 1, 4, 1, 12500, 10000, 0.4},
        {"4 x 1", 3, 0, 4, 1, 25000, 5000, 0.4},
        {"5 x 1", 4, 0, 5, 2, 15625, 2500, 0.8},
        {"3 x 3", 2, 2, 9, 2, 9375, 7500, 0.8},
        {"16 x 1", 15, 0, 16, 2, 50000, 2500, 0.8},
        {"17 x 1", 16, 0, 17, 3, 26571, 1250, 1.6},
        {"5 x 4", 4, 3, 20, 3, 7815, 5000, 1.6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Area area;
        // Only the north-west lot has a file, holding nothing but its header.
        writeLot(area.lot("A_9-0"), lotX(0, 9), lotY(0, 0), Format::headerSize);
        const Point from = inLot(0, 0, 9, 0);
        const int sheet = c.lastColumnFromWest / 10;
        const Point to = inLot(0, sheet, 9 - c.lastColumnFromWest % 10, c.lastRow, 200.0, 200.0);
        ASSERT_EQ(area.open(from.x, from.y, to.x, to.y), File::error::NoError);
        const OrthoMosaicBinFile& bin = *area.bin;
        EXPECT_EQ(bin.lotCount, c.lots);
        EXPECT_EQ(bin.pyramidLevel, c.level);
        EXPECT_EQ(bin.width, c.width);
        EXPECT_EQ(bin.height, c.height);
        EXPECT_EQ(bin.pixelCount, c.width * c.height);
        EXPECT_DOUBLE_EQ(bin.pixelSizeX, c.pixelSize);
        EXPECT_DOUBLE_EQ(bin.pixelSizeY, -c.pixelSize);
        EXPECT_DOUBLE_EQ(bin.absPixelSizeY(), c.pixelSize);
        EXPECT_DOUBLE_EQ(bin.groundPixelSize(), c.pixelSize);
        EXPECT_EQ(bin.redOffset, Format::planeOffset(c.level, 0));
        EXPECT_EQ(bin.blueOffset, Format::planeOffset(c.level, 2));
        EXPECT_EQ(bin.originX, sheetX(0));
        EXPECT_EQ(bin.originY, sheetY(0));
        EXPECT_EQ(bin.name, "Orthomosaic");
        EXPECT_EQ(bin.extension, "bin");
        ASSERT_EQ(bin.bands.size(), 3u);
        EXPECT_EQ(bin.bands[0].name, "Red");
        EXPECT_EQ(bin.bands[2].levels.at(0).name, "/binaryData_channel_B");
        EXPECT_EQ(bin.lotPaths.front(), area.lot("A_9-0"));
    }
}

TEST(OrthoMosaicBinOpenRegion, PrintsTheLotsAndTheChosenSize)
{
    Area area;
    writeLot(area.lot("A_9-0"), lotX(0, 9), lotY(0, 0), Format::headerSize);
    const Point p = inLot(0, 0, 9, 0);
    OrthoMosaicBinFile bin;
    const std::string log = TestSupport::capturedStdout([&] { bin.openRegion(p.x, p.y, p.x + 10, p.y - 10, area.dir()); });
    EXPECT_NE(log.find("OMBinFile: Loaded small lots:\nA_9-0\t\t\t\n\n"), std::string::npos) << log;
    EXPECT_NE(log.find("OMBinFile: Data overall resolution: 12500 x 10000\n"), std::string::npos) << log;
    EXPECT_NE(log.find("OMBinFile: Chosen pixel size: 0.20 m x 0.20 m\n"), std::string::npos) << log;
}

// --------------------------------------------------------------- selection

TEST(OrthoMosaicBinOpenRegion, SelectsTheLotsUnderTheRectangle)
{
    struct Case {
        const char* label;
        Point from;
        Point to;
        int rows;
        Names names;  // row-major
    };
    const Case cases[] = {
        {"inside one lot", inLot(0, 1, 4, 3), inLot(0, 1, 4, 3, 900, 900), 1, {"B_4-3"}},
        {"across the boundary to the east", inLot(0, 0, 1, 2), inLot(0, 1, 8, 2), 1,
         {"A_1-2", "A_0-2", "B_9-2", "B_8-2"}},
        {"across the boundary to the south", inLot(0, 0, 5, 9), inLot(1, 0, 5, 0), 2, {"A_5-9", "D_5-0"}},
        {"corner west of the first sheet", {sheetX(0) - 4000, lotY(0, 4) - 10}, inLot(0, 0, 8, 4), 1,
         {"A_9-4", "A_8-4"}},
        {"corner south of the last sheet", inLot(1, 1, 3, 8), {lotX(1, 3) + 10, sheetY(2) - 3000}, 2,
         {"E_3-8", "E_3-9"}},
        {"corner on the east and south edges", inLot(0, 0, 1, 8), {sheetX(1), sheetY(1)}, 2,
         {"A_1-8", "A_0-8", "A_1-9", "A_0-9"}},
        {"corners swapped inside one lot", inLot(0, 1, 4, 3, 900, 900), inLot(0, 1, 4, 3), 1, {"B_4-3"}},
        {"into the hole", inLot(1, 1, 1, 5), inLot(1, 2, 8, 5), 1, {"E_1-5", "E_0-5", "_noData", "_noData"}},
        // The lower-right corner lies beyond the grid, where the default
        // corner sheet is the hole: its position comes from the named sheets
        // of its column (C) and row (D, E).
        {"corner sheet on the hole", inLot(1, 1, 0, 9), {sheetX(3) + 1000, sheetY(2) - 1000}, 1,
         {"E_0-9", "_noData", "_noData", "_noData", "_noData", "_noData", "_noData", "_noData", "_noData",
          "_noData", "_noData"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Area area;
        writeLot(area.lot(c.names.front()), 0.0, 0.0, Format::headerSize);
        ASSERT_EQ(area.open(c.from.x, c.from.y, c.to.x, c.to.y), File::error::NoError);
        EXPECT_EQ(area.bin->lotNames, c.names);
        EXPECT_EQ(area.bin->lotRows, c.rows);
        EXPECT_EQ(area.bin->lotCols * area.bin->lotRows, static_cast<int>(c.names.size()));
    }
}

TEST(OrthoMosaicBinOpenRegion, AreasOffTheMapAreOutsideTheMap)
{
    struct Case {
        const char* label;
        std::string mapIndex;
        Point from;
        Point to;
    };
    const std::string onlyA = "1;2\nA;0;0;" + IO::formatNumber(sheetX(0)) + ";" + IO::formatNumber(sheetY(0)) + "\n";
    const Case cases[] = {
        {"corners swapped", twoByThreeMapIndex(), inLot(0, 1, 2, 4), inLot(0, 1, 6, 1)},
        {"hole only", twoByThreeMapIndex(), inLot(1, 2, 5, 5), inLot(1, 2, 3, 7)},
        {"outside every sheet", twoByThreeMapIndex(), {-300000.0, -900000.0}, {-290000.0, -910000.0}},
        {"non-finite corner", twoByThreeMapIndex(), {std::nan(""), sheetY(0) - 10}, inLot(0, 0, 5, 5)},
        {"empty grid", "0;0\n", inLot(0, 0, 5, 5), inLot(0, 0, 4, 6)},
        // The default last column is an empty one: nothing gives it a position.
        {"corner sheet in an empty column", onlyA, inLot(0, 0, 1, 1), {sheetX(2) + 1000, lotY(0, 1) - 10}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Area area(c.mapIndex);
        writeLot(area.lot("_noData"), 0.0, 0.0);
        EXPECT_EQ(area.open(c.from.x, c.from.y, c.to.x, c.to.y), File::error::OutsideMap);
    }
}

TEST(OrthoMosaicBinOpenRegion, MissingMapIndexIsOutsideTheMapAndNamesThePath)
{
    TestSupport::ScopedWorkingDirectory wd;
    const Point p = inLot(0, 0, 5, 5);
    OrthoMosaicBinFile bin;
    std::string log;
    const File::error code = TestSupport::fileErrorOf(
        [&] { log = TestSupport::capturedStdout([&] { bin.openRegion(p.x, p.y, p.x + 1, p.y - 1, wd.path().string()); }); });
    EXPECT_EQ(code, File::error::OutsideMap);
    EXPECT_EQ(bin.gridRows, -1);
    const std::string expected = (fs::current_path() / "orthomosaicMap.ini").string();
    EXPECT_NE(TestSupport::capturedStdout([&] { bin.readMapIndex("orthomosaicMap.ini"); }).find(expected),
              std::string::npos);
}

TEST(OrthoMosaicBinMapIndex, MalformedIndexIsCorruptedMetadata)
{
    const std::string a = "A;0;0;" + IO::formatNumber(sheetX(0)) + ";" + IO::formatNumber(sheetY(0));
    struct Case {
        const char* label;
        std::string text;
    };
    const Case cases[] = {
        {"grid size not a number", "two;3\n" + a},
        {"grid size with one field", "2\n" + a},
        {"negative grid", "-1;3\n" + a},
        {"grid above a million entries", "2000;1000\n" + a},
        {"grid size overflowing", "99999999999999999999;1\n" + a},
        {"sheet line with four fields", "2;3\nA;0;0;-760000"},
        {"row outside the grid", "2;3\nA;2;0;-760000;-1040000"},
        {"column outside the grid", "2;3\nA;0;-1;-760000;-1040000"},
        {"row not a number", "2;3\nA;x;0;-760000;-1040000"},
        {"corner not a number", "2;3\nA;0;0;-760000,5;-1040000"},
        {"corner out of range", "2;3\nA;0;0;1e999;-1040000"},
        {"sheet name leaving the folder", "2;3\n../A;0;0;-760000;-1040000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Area area(c.text);
        OrthoMosaicBinFile bin;
        const Point p = inLot(0, 0, 5, 5);
        EXPECT_EQ(TestSupport::fileErrorOf([&] {
                      TestSupport::quietly([&] { bin.openRegion(p.x, p.y, p.x + 1, p.y - 1, area.dir()); });
                  }),
                  File::error::MetadataCorrupted);
        EXPECT_EQ(bin.gridRows, -1) << "a rejected index leaves the grid unread";
    }
}

// A line of the index is a size or a sheet of a few dozen bytes: one of
// 8 MiB of separators (8 million fields once split) is refused as corrupted
// after the line readers' ceiling, however the file goes on.
TEST(OrthoMosaicBinMapIndex, ALineBeyondTheCeilingIsCorruptedMetadata)
{
    const std::string a = "A;0;0;" + IO::formatNumber(sheetX(0)) + ";" + IO::formatNumber(sheetY(0));
    const std::string separators(std::size_t{8} << 20, ';');
    for (const std::string& text : {separators + "\n" + a, "2;3\n" + separators + "\n" + a}) {
        Area area(text);
        OrthoMosaicBinFile bin;
        const Point p = inLot(0, 0, 5, 5);
        const TestSupport::PeakMemory memory;
        EXPECT_EQ(TestSupport::fileErrorOf([&] {
                      TestSupport::quietly([&] { bin.openRegion(p.x, p.y, p.x + 1, p.y - 1, area.dir()); });
                  }),
                  File::error::MetadataCorrupted);
        EXPECT_LT(memory.peakGrowthKilobytes(), 32L * 1024);
        EXPECT_EQ(bin.gridRows, -1);
    }
}

// A size line is a few bytes that may declare a grid of a million cells:
// the reader keeps the sheets the lines name and takes every other cell as a
// hole, so such an index costs what its lines hold.
TEST(OrthoMosaicBinMapIndex, AGridOfAMillionCellsKeepsOnlyItsNamedSheets)
{
    const std::string a = "A;0;0;" + IO::formatNumber(sheetX(0)) + ";" + IO::formatNumber(sheetY(0));
    Area area("1000;1000\n" + a + "\n");
    writeLot(area.lot("A_3-4"), 0.0, 0.0, Format::headerSize);
    const Point p = inLot(0, 0, 3, 4);
    ASSERT_EQ(area.open(p.x, p.y, p.x + 1, p.y - 1), File::error::NoError);
    EXPECT_EQ(area.bin->gridRows, 1000);
    EXPECT_EQ(area.bin->gridCols, 1000);
    EXPECT_EQ(area.bin->sheets.size(), 1u);
    EXPECT_EQ(area.bin->sheetAt(999, 999).name, "");
    EXPECT_EQ(area.bin->sheetAt(999, 999).x, -1.0);
    EXPECT_EQ(area.bin->lotNames, Names{"A_3-4"});
}

TEST(OrthoMosaicBinMapIndex, BlankLinesAndCarriageReturnsAreSkipped)
{
    std::string text = twoByThreeMapIndex();
    std::string windows;
    for (const char ch : text)
        windows += ch == '\n' ? std::string("\r\n\r\n  \t\n") : std::string(1, ch);
    Area area("\n\r\n" + windows);
    writeLot(area.lot("E_3-4"), 0.0, 0.0, Format::headerSize);
    const Point p = inLot(1, 1, 3, 4);
    ASSERT_EQ(area.open(p.x, p.y, p.x + 1, p.y - 1), File::error::NoError);
    EXPECT_EQ(area.bin->gridRows, 2);
    EXPECT_EQ(area.bin->gridCols, 3);
    EXPECT_EQ(area.bin->sheetAt(1, 2).name, "");
    EXPECT_EQ(area.bin->sheetAt(1, 2).x, -1.0);
    EXPECT_EQ(area.bin->lotNames, Names{"E_3-4"});
}

// ------------------------------------------------------------------ origin

TEST(OrthoMosaicBinOpenRegion, OriginComesFromTheFirstLotWithItsOwnFile)
{
    Area area;
    // The no-data lot's header is no position of this area.
    writeLot(area.lot("_noData"), 1.0, 2.0, Format::headerSize);
    writeLot(area.lot("A_8-1"), lotX(0, 8), lotY(0, 1), Format::headerSize);
    const Point from = inLot(0, 0, 9, 0);
    const Point to = inLot(0, 0, 8, 1);
    ASSERT_EQ(area.open(from.x, from.y, to.x, to.y), File::error::NoError);
    EXPECT_EQ(area.bin->lotNames, (Names{"A_9-0", "A_8-0", "A_9-1", "A_8-1"}));
    EXPECT_DOUBLE_EQ(area.bin->originX, sheetX(0));
    EXPECT_DOUBLE_EQ(area.bin->originY, sheetY(0));

    fs::remove(area.lot("A_8-1"));
    EXPECT_EQ(area.open(from.x, from.y, to.x, to.y), File::error::OutsideMap);
}

TEST(OrthoMosaicBinOpen, SingleLotOpensAtFullResolution)
{
    TestSupport::TempDir dir;
    writeLot(dir.file("A_9-0.bin"), -741000.5, -1044000.25);
    OrthoMosaicBinFile bin;
    TestSupport::quietly([&] { bin.open("A_9-0", "bin", dir.path().string()); });
    EXPECT_EQ(bin.lotCount, 1);
    EXPECT_EQ(bin.pyramidLevel, 0);
    EXPECT_EQ(bin.width, 12500);
    EXPECT_EQ(bin.height, 10000);
    EXPECT_EQ(bin.pixelCount, 125000000);
    EXPECT_DOUBLE_EQ(bin.pixelSizeX, 0.2);
    EXPECT_EQ(bin.originX, -741000.5);
    EXPECT_EQ(bin.originY, -1044000.25);
    EXPECT_EQ(bin.rotationX, 0.0);
    EXPECT_EQ(bin.bands.size(), 3u);
}

TEST(OrthoMosaicBinOpen, HostileLotHeadersGetTheirCodes)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* label;
        std::function<void(const std::string&)> write;
        File::error expected;
    };
    const Case cases[] = {
        {"missing lot (no-data lot present)", [](const std::string&) {}, File::error::CannotOpen},
        {"empty lot", [](const std::string& p) { TestSupport::writeFile(p, ""); }, File::error::FileCorrupted},
        {"10-byte lot", [](const std::string& p) { TestSupport::writeFile(p, "IST1234567"); }, File::error::FileCorrupted},
        {"wrong magic",
         [](const std::string& p) {
             writeLot(p, 0.0, 0.0, Format::headerSize);
             writeBytes(p, 0, "XYZ");
         },
         File::error::UnsupportedFormat},
        {"NaN origin", [nan](const std::string& p) { writeLot(p, nan, 0.0, Format::headerSize); },
         File::error::MetadataCorrupted},
        {"infinite origin", [inf](const std::string& p) { writeLot(p, 0.0, -inf, Format::headerSize); },
         File::error::MetadataCorrupted},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TestSupport::TempDir dir;
        writeLot(dir.file("_noData.bin"), 0.0, 0.0, Format::headerSize);
        c.write(dir.file("L.bin"));
        OrthoMosaicBinFile bin;
        EXPECT_EQ(TestSupport::fileErrorOf(
                      [&] { TestSupport::quietly([&] { bin.open("L", "bin", dir.path().string()); }); }),
                  c.expected);
    }

    // The same through an area: the first lot is read for the origin.
    Area area;
    TestSupport::writeFile(area.lot("B_4-3"), "IST1234567");
    const Point p = inLot(0, 1, 4, 3);
    EXPECT_EQ(area.open(p.x, p.y, p.x + 1, p.y - 1), File::error::FileCorrupted);
}

TEST(OrthoMosaicBinOpenRegion, MosaicBeyondTheIntRangeIsRefusedBeforeAnyAllocation)
{
    // One row of 120 sheets: a rectangle over all of it is 1200 x 10 lots,
    // about 2.3e10 pixels even at 1.6 m.
    std::string index = "1;120\n";
    for (int c = 0; c < 120; ++c)
        index += "S" + std::to_string(c) + ";0;" + std::to_string(c) + ";" + IO::formatNumber(sheetX(c)) + ";"
            + IO::formatNumber(sheetY(0)) + "\n";
    Area area(index);
    writeLot(area.lot("S0_9-0"), lotX(0, 9), lotY(0, 0), Format::headerSize);
    EXPECT_EQ(area.open(sheetX(0) + 1, sheetY(0) - 1, sheetX(120) - 1, sheetY(1) + 1), File::error::UnsupportedFormat);
    EXPECT_TRUE(area.bin->lotNames.empty());
    EXPECT_EQ(area.bin->pixelCount, 0);

    // A narrower strip fits at level 3.
    EXPECT_EQ(area.open(sheetX(0) + 1, sheetY(0) - 1, sheetX(8) - 1, sheetY(1) + 1), File::error::NoError);
    EXPECT_EQ(area.bin->pyramidLevel, 3);
    EXPECT_EQ(static_cast<long long>(area.bin->width), 80LL * 1563);
}

// ------------------------------------------------------------------ bands

namespace {

// Seventeen lots in one lot row across sheets A (ten lots) and B (seven), read
// at level 3. Every lot holds its first and last plane rows, with value
// valueOf(lot, plane); the rows between read as 0.
struct Mosaic {
    static constexpr int kLots = 17;
    static constexpr int kLevel = 3;
    static int valueOf(int lot, int plane) { return 10 + 13 * lot + plane; }
    static std::string nameOf(int lot)
    {
        return lot < 10 ? "A_" + std::to_string(9 - lot) + "-0" : "B_" + std::to_string(19 - lot) + "-0";
    }

    Mosaic()
    {
        for (int k = 0; k < kLots; ++k) {
            const std::string path = area.lot(nameOf(k));
            writeLot(path, lotX(k / 10, 9 - k % 10), lotY(0, 0));
            for (int p = 0; p < 3; ++p) {
                fillPlaneRow(path, kLevel, p, 0, static_cast<std::uint8_t>(valueOf(k, p)));
                fillPlaneRow(path, kLevel, p, kLotHeight - 1, static_cast<std::uint8_t>(valueOf(k, p)));
            }
        }
        writeLot(area.lot("_noData"), 0.0, 0.0);
        for (int p = 0; p < 3; ++p)
            fillPlaneRow(area.lot("_noData"), kLevel, p, 0, static_cast<std::uint8_t>(200 + p));
    }

    File::error open()
    {
        return area.open(lotX(0, 9) + 10, lotY(0, 0) - 10, lotX(1, 3) + 10, lotY(0, 0) - 10);
    }
    // Raw sample of lot k at its column i and plane row r.
    float at(const IO::File& file, int band, int k, int i, int r) const
    {
        const auto& level = file.bands[static_cast<std::size_t>(band)].levels[0];
        return level.data[static_cast<std::size_t>(r) * file.width + static_cast<std::size_t>(k) * kLotWidth + i];
    }

    static constexpr int kLotWidth = 1563;
    static constexpr int kLotHeight = 1250;
    Area area;
};

File::error loadQuietly(IO::File& file, int band, bool autoCrop = false, bool keepRaw = true, std::string* log = nullptr)
{
    return TestSupport::fileErrorOf([&] {
        const std::string out = TestSupport::capturedStdout([&] { file.loadBand(band, 0, 0.0, 1.0, autoCrop, keepRaw); });
        if (log)
            *log = out;
    });
}

} // namespace

TEST(OrthoMosaicBinLoadBand, EveryLotAndPlaneLandsInItsPlace)
{
    Mosaic mosaic;
    const int missing = 12;
    fs::remove(mosaic.area.lot(Mosaic::nameOf(missing)));
    ASSERT_EQ(mosaic.open(), File::error::NoError);
    IO::File& file = *mosaic.area.bin;
    ASSERT_EQ(file.width, 17 * 1563);
    ASSERT_EQ(file.height, 1250);

    for (int band = 0; band < 3; ++band) {
        SCOPED_TRACE(band);
        ASSERT_EQ(loadQuietly(file, band), File::error::NoError);
        EXPECT_TRUE(file.loadedBands.count(band));
        for (int k = 0; k < Mosaic::kLots; ++k) {
            SCOPED_TRACE(k);
            // A lot without a file reads as the no-data lot.
            const float first = k == missing ? 200.0f + band : static_cast<float>(Mosaic::valueOf(k, band));
            const float last = k == missing ? 0.0f : static_cast<float>(Mosaic::valueOf(k, band));
            for (const int i : {0, 781, 1562}) {
                EXPECT_EQ(mosaic.at(file, band, k, i, 0), first);
                EXPECT_EQ(mosaic.at(file, band, k, i, 600), 0.0f);
                EXPECT_EQ(mosaic.at(file, band, k, i, 1249), last);
            }
        }
    }
}

TEST(OrthoMosaicBinLoadBand, OnlyTheRequestedPlaneIsRead)
{
    Mosaic mosaic;
    // Every lot ends right after its level-3 red plane.
    for (int k = 0; k < Mosaic::kLots; ++k)
        fs::resize_file(mosaic.area.lot(Mosaic::nameOf(k)), static_cast<std::uintmax_t>(Format::planeOffset(3, 1)));
    ASSERT_EQ(mosaic.open(), File::error::NoError);
    IO::File& file = *mosaic.area.bin;
    std::string log;
    ASSERT_EQ(loadQuietly(file, 0, false, true, &log), File::error::NoError);
    EXPECT_EQ(log.find("ends early"), std::string::npos) << log;
    EXPECT_EQ(mosaic.at(file, 0, 16, 5, 1249), Mosaic::valueOf(16, 0));
}

TEST(OrthoMosaicBinLoadBand, TruncatedLotLeavesZerosOnlyInItsRemainingRows)
{
    Mosaic mosaic;
    const int k = 4;
    const std::string path = mosaic.area.lot(Mosaic::nameOf(k));
    fillPlaneRow(path, 3, 0, 599, 99);
    fillPlaneRow(path, 3, 0, 600, 98);
    // Row 600 is cut after 100 of its bytes.
    fs::resize_file(path, static_cast<std::uintmax_t>(Format::planeOffset(3, 0) + 600 * 1563 + 100));
    ASSERT_EQ(mosaic.open(), File::error::NoError);
    IO::File& file = *mosaic.area.bin;
    std::string log;
    ASSERT_EQ(loadQuietly(file, 0, false, true, &log), File::error::NoError);

    EXPECT_EQ(mosaic.at(file, 0, k, 0, 0), Mosaic::valueOf(k, 0));
    EXPECT_EQ(mosaic.at(file, 0, k, 1562, 599), 99.0f);
    EXPECT_EQ(mosaic.at(file, 0, k, 99, 600), 98.0f);
    EXPECT_EQ(mosaic.at(file, 0, k, 100, 600), 0.0f);
    EXPECT_EQ(mosaic.at(file, 0, k, 0, 1249), 0.0f);
    // Its neighbours keep their rows.
    EXPECT_EQ(mosaic.at(file, 0, k - 1, 1562, 1249), Mosaic::valueOf(k - 1, 0));
    EXPECT_EQ(mosaic.at(file, 0, k + 1, 0, 1249), Mosaic::valueOf(k + 1, 0));

    const std::string warning = "ends early";
    const auto at = log.find(warning);
    ASSERT_NE(at, std::string::npos) << log;
    EXPECT_EQ(log.find(warning, at + 1), std::string::npos) << "one warning line";
    EXPECT_NE(log.find(path), std::string::npos) << log;
}

TEST(OrthoMosaicBinLoadBand, UnreadableLotsFailTheLoad)
{
    {
        SCOPED_TRACE("missing lot without a no-data lot");
        Mosaic mosaic;
        fs::remove(mosaic.area.lot(Mosaic::nameOf(7)));
        fs::remove(mosaic.area.lot("_noData"));
        ASSERT_EQ(mosaic.open(), File::error::NoError);
        EXPECT_EQ(loadQuietly(*mosaic.area.bin, 1), File::error::CannotOpen);
        EXPECT_FALSE(mosaic.area.bin->isLoaded(1, 0));
        EXPECT_TRUE(mosaic.area.bin->loadedBands.empty());
    }
    {
        SCOPED_TRACE("a lot that is no lot file");
        Mosaic mosaic;
        writeBytes(mosaic.area.lot(Mosaic::nameOf(9)), 0, "PK\3");
        ASSERT_EQ(mosaic.open(), File::error::NoError);
        EXPECT_EQ(loadQuietly(*mosaic.area.bin, 0), File::error::UnsupportedFormat);
    }
    {
        SCOPED_TRACE("band out of range");
        Mosaic mosaic;
        ASSERT_EQ(mosaic.open(), File::error::NoError);
        EXPECT_EQ(loadQuietly(*mosaic.area.bin, 3), File::error::ReadFailed);
        EXPECT_EQ(loadQuietly(*mosaic.area.bin, 0 - 1), File::error::ReadFailed);
    }
}

TEST(OrthoMosaicBinLoadBand, NormalisationAlwaysUsesTheAutomaticCrop)
{
    // Lots 0 and 1 hold their value in five rows (7815 samples each, above
    // the crop's 4000), every other value fills two rows: the automatic crop
    // maps lot 0's value to 0 and lot 1's to 1, where the fixed range 0..255
    // would give 25 / 255.
    auto loadBlue = [](Mosaic& mosaic, bool autoCrop) {
        for (const int k : {0, 1})
            for (int r = 1; r <= 3; ++r)
                fillPlaneRow(mosaic.area.lot(Mosaic::nameOf(k)), 3, 2, r,
                             static_cast<std::uint8_t>(Mosaic::valueOf(k, 2)));
        ASSERT_EQ(mosaic.open(), File::error::NoError);
        ASSERT_EQ(loadQuietly(*mosaic.area.bin, 2, autoCrop, false), File::error::NoError);
    };
    Mosaic withoutFlag;
    loadBlue(withoutFlag, false);
    Mosaic withFlag;
    loadBlue(withFlag, true);

    const IO::BandLevel& level = withoutFlag.area.bin->bands[2].levels[0];
    EXPECT_EQ(level.cropMin, Mosaic::valueOf(0, 2));
    EXPECT_EQ(level.cropMax, Mosaic::valueOf(1, 2));
    EXPECT_EQ(withoutFlag.at(*withoutFlag.area.bin, 2, 0, 0, 0), 0.0f);
    EXPECT_EQ(withoutFlag.at(*withoutFlag.area.bin, 2, 1, 0, 0), 1.0f);
    EXPECT_EQ(withoutFlag.at(*withoutFlag.area.bin, 2, 5, 0, 0), 1.0f);
    const IO::BandLevel& other = withFlag.area.bin->bands[2].levels[0];
    EXPECT_TRUE(std::equal(level.data.get(), level.data.get() + level.count, other.data.get()));
}

TEST(OrthoMosaicBinReadRegion, CopiesALoadedWindowClippedToTheMosaic)
{
    Mosaic mosaic;
    ASSERT_EQ(mosaic.open(), File::error::NoError);
    IO::File& file = *mosaic.area.bin;
    std::vector<double> out{1.0, 2.0};
    EXPECT_EQ(TestSupport::fileErrorOf([&] { file.readRegion(0, 0, 0, 0, 4, 4, 4, 4, out); }), File::error::ReadFailed);
    EXPECT_EQ(out, std::vector<double>(16, 0.0));

    ASSERT_EQ(loadQuietly(file, 1), File::error::NoError);
    // Two columns each side of the boundary between lots 0 and 1, and two
    // rows above the mosaic.
    file.readRegion(1, 0, 1561, -2, 4, 3, 4, 3, out);
    const double a = Mosaic::valueOf(0, 1);
    const double b = Mosaic::valueOf(1, 1);
    EXPECT_EQ(out, (std::vector<double>{0, 0, 0, 0, 0, 0, 0, 0, a, a, b, b}));

    // Past the south-east corner.
    file.readRegion(1, 0, file.width - 1, file.height - 1, 2, 2, 2, 2, out);
    EXPECT_EQ(out, (std::vector<double>{static_cast<double>(Mosaic::valueOf(16, 1)), 0, 0, 0}));
    // Wholly outside: zeros.
    file.readRegion(1, 0, -10, -10, 3, 3, 3, 3, out);
    EXPECT_EQ(out, std::vector<double>(9, 0.0));
    EXPECT_EQ(TestSupport::fileErrorOf([&] { file.readRegion(1, 0, 0, 0, 0, 3, 0, 3, out); }), File::error::ReadFailed);
}

// ------------------------------------------------------------------ curves

TEST(OrthoMosaicBinCurves, KmlRoundTripKeepsThePixels)
{
    Area area;
    writeLot(area.lot("A_9-0"), lotX(0, 9), lotY(0, 0), Format::headerSize);
    const Point from = inLot(0, 0, 9, 0);
    const Point to = inLot(0, 0, 8, 1);
    ASSERT_EQ(area.open(from.x, from.y, to.x, to.y), File::error::NoError);
    OrthoMosaicBinFile& bin = *area.bin;

    const std::vector<std::vector<Point2D>> curves{
        {{10.25, 20.5}, {5000.75, 4000.125}, {12000.0, 9000.0}, {10.25, 20.5}}, {{6000.0, 1.0}, {1.0, 9999.0}}};
    const std::string path = area.wd.path() / "curves.kml";
    bin.saveCurves(path, "kml", curves, {"first", "second"}, {"c1", "c2"}, {"semiSeg", "autoSeg"}, {{1.0}, {}});
    const std::string text = TestSupport::readFile(path);
    EXPECT_NE(text.find("<SimpleData name=\"locTile\">123456789</SimpleData>"), std::string::npos);

    std::vector<std::vector<Point2D>> read;
    std::vector<std::string> names;
    TestSupport::quietly([&] { bin.loadCurves(path, "KML", read, names); });
    ASSERT_EQ(read.size(), curves.size());
    EXPECT_EQ(names, (std::vector<std::string>{"first", "second"}));
    for (std::size_t i = 0; i < curves.size(); ++i) {
        ASSERT_EQ(read[i].size(), curves[i].size());
        for (std::size_t j = 0; j < curves[i].size(); ++j) {
            EXPECT_NEAR(read[i][j].x, curves[i][j].x, 0.05);
            EXPECT_NEAR(read[i][j].y, curves[i][j].y, 0.05);
        }
    }

    // Without the WGS84-to-Krovak transformation no point can be placed.
    bin.transformToKrovak.reset();
    read.clear();
    names.clear();
    const std::string log = TestSupport::capturedStdout([&] { bin.loadCurves(path, "kml", read, names); });
    EXPECT_NE(log.find("Failed to add curve coordinate to curve set: transformation not initialized"),
              std::string::npos);
    ASSERT_EQ(read.size(), 2u);
    EXPECT_TRUE(read[0].empty());
    EXPECT_EQ(TestSupport::fileErrorOf([&] { bin.loadCurves(path, "txt", read, names); }),
              File::error::UnsupportedFormat);
}

TEST(OrthoMosaicBinCurves, LevelThreeLotsKeepTheirOwnPositionsThroughKml)
{
    // A level-3 lot is 1563 pixels of 1.6 m, 0.8 m more than the 2500 m
    // between lots: its last column holds only the lot's last 0.8 m.
    struct Spot {
        double i;   // pixel position within the lot
        double j;
        double dx;  // metres east and south of the lot's upper-left corner
        double dy;
    };
    const Spot spots[] = {
        {0.0, 0.0, 0.0, 0.0},
        {1000.5, 700.25, 1600.8, 1120.4},
        {1562.0, 1249.0, 2499.2, 1998.4},
        {1562.5, 1249.5, 2499.6, 1999.2},
        {1563.0, 1250.0, 2500.0, 2000.0},
    };
    // One lot row from the west edge of sheet A on into sheet B.
    auto nameOf = [](int k) {
        return k < 10 ? "A_" + std::to_string(9 - k) + "-0" : "B_" + std::to_string(19 - k) + "-0";
    };
    auto headerOf = [](int k) { return Point{lotX(k / 10, 9 - k % 10), lotY(0, 0)}; };

    for (const int lots : {17, 20}) {
        SCOPED_TRACE(lots);
        Area area;
        for (int k = 0; k < lots; ++k)
            writeLot(area.lot(nameOf(k)), headerOf(k).x, headerOf(k).y, Format::headerSize);
        const int last = lots - 1;
        ASSERT_EQ(area.open(headerOf(0).x + 10, headerOf(0).y - 10, headerOf(last).x + 10, headerOf(last).y - 10),
                  File::error::NoError);
        OrthoMosaicBinFile& bin = *area.bin;
        ASSERT_EQ(bin.lotCount, lots);
        ASSERT_EQ(bin.pyramidLevel, 3);
        ASSERT_EQ(bin.width, lots * 1563);

        // One curve over the spots of the first lot, one over the last's.
        const int lotsShown[] = {0, last};
        std::vector<std::vector<Point2D>> curves;
        for (const int k : lotsShown) {
            curves.emplace_back();
            for (const Spot& s : spots)
                curves.back().push_back({k * 1563 + s.i, s.j});
        }
        const std::string path = area.wd.path() / "lots.kml";
        bin.saveCurves(path, "kml", curves, {"first", "last"}, {}, {}, {});

        // Every written point lies where the lot's header puts it (the
        // transformation's datum shift comes back within a few millimetres).
        const IO::KmlCurves written = IO::parseKmlDocument(TestSupport::readFile(path), TestSupport::DegreesAsPixels(),
                                                                   "lots");
        ASSERT_EQ(written.curves.size(), 2u);
        for (std::size_t c = 0; c < 2; ++c) {
            const int k = lotsShown[c];
            SCOPED_TRACE(k);
            ASSERT_EQ(written.curves[c].size(), std::size(spots));
            for (std::size_t s = 0; s < std::size(spots); ++s) {
                SCOPED_TRACE(s);
                double x = 0.0;
                double y = 0.0;
                ASSERT_TRUE(bin.toKrovak(written.curves[c][s].y, written.curves[c][s].x, x, y));
                EXPECT_NEAR(x, headerOf(k).x + spots[s].dx, 0.01);
                EXPECT_NEAR(y, headerOf(k).y - spots[s].dy, 0.01);
            }
        }

        // And reads back onto the same pixels.
        std::vector<std::vector<Point2D>> read;
        std::vector<std::string> names;
        TestSupport::quietly([&] { bin.loadCurves(path, "kml", read, names); });
        ASSERT_EQ(read.size(), curves.size());
        for (std::size_t c = 0; c < curves.size(); ++c) {
            ASSERT_EQ(read[c].size(), curves[c].size());
            for (std::size_t s = 0; s < curves[c].size(); ++s) {
                EXPECT_NEAR(read[c][s].x, curves[c][s].x, 0.01) << c << ", " << s;
                EXPECT_NEAR(read[c][s].y, curves[c][s].y, 0.01) << c << ", " << s;
            }
        }
    }
}

TEST(OrthoMosaicBinCurves, GridIsUniformWhereLotsTileAndContinuousWhereTheyOverrun)
{
    struct Case {
        const char* label;
        int lots;  // in one lot row from sheet A's west edge
        int level;
    };
    const Case cases[] = {{"4 x 1", 4, 1}, {"16 x 1", 16, 2}, {"17 x 1", 17, 3}, {"20 x 1", 20, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Area area;
        writeLot(area.lot("A_9-0"), lotX(0, 9), lotY(0, 0), Format::headerSize);
        const int last = c.lots - 1;
        ASSERT_EQ(area.open(lotX(0, 9) + 10, lotY(0, 0) - 10, lotX(last / 10, 9 - last % 10) + 10, lotY(0, 0) - 1990),
                  File::error::NoError);
        const OrthoMosaicBinFile& bin = *area.bin;
        ASSERT_EQ(bin.pyramidLevel, c.level);
        const IO::KrovakGrid grid = bin.grid();
        const double size = Format::level(c.level).pixelSize;
        // Rows tile exactly at every level.
        EXPECT_EQ(grid.lotRows, 0);
        for (const double py : {-7.5, 0.0, 0.25, 1249.0, 1249.5, 1250.0, 3000.0})
            EXPECT_EQ(grid.mapY(py), bin.originY - py * size) << py;

        if (c.level < 3) {
            // Lots tile exactly: the plain uniform grid, to the last bit.
            EXPECT_EQ(grid.lotColumns, 0);
            for (const double px : {-100.25, 0.0, 6249.5, 6250.0, 12345.678, 49999.0, 60000.0}) {
                const double x = bin.originX + px * size;
                EXPECT_EQ(grid.mapX(px), x) << px;
                EXPECT_EQ(grid.pixelX(x), (x - bin.originX) / size) << px;
            }
            continue;
        }

        // Every lot edge lies on the lot's 2500 m position, including the
        // mosaic's east edge.
        EXPECT_EQ(grid.lotColumns, 1563);
        for (int k = 0; k <= c.lots; ++k) {
            EXPECT_NEAR(grid.mapX(k * 1563.0), bin.originX + k * 2500.0, 1e-6) << k;
            EXPECT_NEAR(grid.pixelX(bin.originX + k * 2500.0), k * 1563.0, 1e-6) << k;
        }
        // Increasing and invertible everywhere, across every lot edge and
        // beyond the mosaic on both sides.
        double previous = -std::numeric_limits<double>::infinity();
        for (double px = -3126.0; px <= bin.width + 3126.0; px += 0.37) {
            const double x = grid.mapX(px);
            ASSERT_GT(x, previous) << px;
            previous = x;
            ASSERT_NEAR(grid.pixelX(x), px, 1e-6) << px;
        }
        for (int k = -1; k <= c.lots; ++k)
            for (const double d : {-1e-9, 0.0, 1e-9, 0.5, 1562.0, 1562.999999}) {
                const double px = k * 1563.0 + d;
                EXPECT_NEAR(grid.pixelX(grid.mapX(px)), px, 1e-6) << px;
            }
    }
}
