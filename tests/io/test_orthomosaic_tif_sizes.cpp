// Raster sizes a GeoTIFF declares in its header: a level is refused when the
// machine's memory cannot hold it, and is read into storage that nothing
// fills first, so a header that declares gigabytes of samples it does not
// carry fails on its first block without the level ever being touched.

#include <cstdint>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "io/Band.h"
#include "io/OrthoMosaicTifFile.h"
#include "support/TestSupport.h"
#include "test_hostile_inputs.h"

namespace {

using IO::File;

TEST(OrthoMosaicTifSizes, HugeDeclaredRasterWithoutDataFailsUntouched)
{
    TestSupport::TempDir dir;
    {
        std::ofstream out(dir.file("huge.tif"), std::ios::binary);
        out << HostileInputs::tiffHeader(32774, 23304);
    }
    IO::OrthoMosaicTifFile raster;
    ASSERT_EQ(TestSupport::fileErrorOf([&] { raster.open("huge", "tif", dir.path().string()); }),
              File::error::NoError);
    ASSERT_EQ(raster.width, 32774);
    ASSERT_EQ(raster.height, 23304);

    const TestSupport::PeakMemory memory;
    EXPECT_EQ(TestSupport::fileErrorOf([&] {
                  TestSupport::quietly([&] { raster.loadBand(0, 0, 0.0, 1.0, false, true); });
              }),
              File::error::ReadFailed);
    // The level is 3 GB of floats: filled or touched before the read, it
    // would all show in the peak of the process's resident memory. (The
    // address sanitizer's own bookkeeping of the array is an eighth of it.)
    EXPECT_LT(memory.peakGrowthKilobytes(), 1024L * 1024);
    EXPECT_FALSE(raster.isLoaded(0, 0));
    EXPECT_TRUE(raster.loadedBands.empty());
}

// Blocks a read would have to make whole, however small the window.
TEST(OrthoMosaicTifSizes, RastersOfHugeBlocksAreRefusedAtOpen)
{
    struct Case {
        const char* label;
        std::uint32_t width;
        std::uint32_t height;
        std::uint32_t rowsPerStrip;
        File::error expected;
    };
    const Case cases[] = {
        // Strips of 32774 x 23304 floats: 3 GB each.
        {"3 GB strips", 32774, 23326, 23304, File::error::UnsupportedFormat},
        // 16384 x 16384 floats: exactly 1 GiB.
        {"1 GiB strips", 16384, 16400, 16384, File::error::NoError},
        {"1 GiB and a row", 16384, 16400, 16385, File::error::UnsupportedFormat},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TestSupport::TempDir dir;
        {
            std::ofstream out(dir.file("blocks.tif"), std::ios::binary);
            out << HostileInputs::tiffHeader(c.width, c.height, true, c.rowsPerStrip);
        }
        IO::OrthoMosaicTifFile raster;
        EXPECT_EQ(TestSupport::fileErrorOf([&] {
                      TestSupport::quietly([&] { raster.open("blocks", "tif", dir.path().string()); });
                  }),
                  c.expected);
    }
}

// Bands a header declares by the tens of thousands over a few hundred bytes
// (every window read would make a block of all of them whole, and every
// opening list them all), and interleaved bands whose blocks together pass
// the largest block: refused at open. Ordinary band counts still open.
TEST(OrthoMosaicTifSizes, BandLayoutsAbsurdForTheFileAreRefusedAtOpen)
{
    struct Case {
        const char* label;
        std::uint32_t width;
        std::uint32_t height;
        std::uint32_t rowsPerStrip;
        std::uint16_t bands;
        File::error expected;
    };
    const Case cases[] = {
        {"65535 bands of 6 x 4 pixels in 300 bytes", 6, 4, 1, 65535, File::error::UnsupportedFormat},
        {"4000 bands of 16 x 16 pixels in 300 bytes", 16, 16, 16, 4000, File::error::UnsupportedFormat},
        {"a hundred bands in 300 bytes", 6, 4, 1, 100, File::error::UnsupportedFormat},
        {"four bands", 6, 4, 1, 4, File::error::NoError},
        {"sixteen bands", 6, 4, 1, 16, File::error::NoError},
        // Two interleaved bands of 8192 x 16384 floats: 1 GiB a strip.
        {"two bands of 512 MiB blocks", 8192, 16400, 16384, 2, File::error::NoError},
        // Two of 16384 x 16384 floats: each band's part alone is the largest
        // block, the strip that holds both twice that.
        {"two bands of 1 GiB blocks", 16384, 16400, 16384, 2, File::error::UnsupportedFormat},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TestSupport::TempDir dir;
        {
            std::ofstream out(dir.file("bands.tif"), std::ios::binary);
            out << HostileInputs::tiffHeader(c.width, c.height, true, c.rowsPerStrip, c.bands);
        }
        IO::OrthoMosaicTifFile raster;
        EXPECT_EQ(TestSupport::fileErrorOf([&] {
                      TestSupport::quietly([&] { raster.open("bands", "tif", dir.path().string()); });
                  }),
                  c.expected);
        if (c.expected == File::error::NoError)
            EXPECT_EQ(raster.bands.size(), c.bands);
        else
            EXPECT_TRUE(raster.bands.empty());
    }
}

TEST(OrthoMosaicTifSizes, LevelsBeyondMemoryAreNotAllocated)
{
    struct Case {
        std::size_t samples;
        std::uint64_t memory;
        bool allocated;
    };
    const Case cases[] = {
        {1000, 4000, true},
        {1001, 4000, false},
        {1, 3, false},
        {0, 4000, false},
        {std::size_t{1} << 40, std::uint64_t{1} << 41, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.samples) + " samples in " + std::to_string(c.memory) + " bytes");
        EXPECT_EQ(IO::BandLevel::allocateUntouched(c.samples, c.memory) != nullptr, c.allocated);
    }
    // The machine's own memory: a level of more floats than it has bytes is
    // never asked for.
    const std::uint64_t memory = IO::physicalMemoryBytes();
    ASSERT_GT(memory, 0u);
    EXPECT_EQ(IO::BandLevel::allocateUntouched(static_cast<std::size_t>(memory / sizeof(float) + 1)), nullptr);
    EXPECT_NE(IO::BandLevel::allocateUntouched(1024), nullptr);
}

} // namespace
