// Reading one window of several bands onto the working grid, against the
// pixels a whole-band read gives and the raster values themselves.

#include <cstddef>
#include <vector>

#include <gtest/gtest.h>

#include "support/MemoryFile.h"

namespace {

using TestSupport::MemoryFile;

// A 13 x 11 grid: a 10 m band, a 20 m band, a 60 m band and the normalised
// difference of the first two. Raster values tell their pixel apart.
struct Channels {
    MemoryFile file{13, 11};
    int fine = file.addBandOf("B04", 1, [](int x, int y) { return 100 * y + x + 1; });
    int coarse = file.addBandOf("B11", 2, [](int x, int y) { return 1000 + 100 * y + x; });
    int coarsest = file.addBandOf("B01", 6, [](int x, int y) { return 5000 + 10 * y + x; });
    int index = file.addDerivedBand("NDXI", fine, coarse);
};

std::vector<double> cut(const std::vector<double>& whole, int wholeWidth, int x, int y, int width, int height)
{
    std::vector<double> out;
    for (int row = y; row < y + height; ++row)
        for (int col = x; col < x + width; ++col)
            out.push_back(whole[static_cast<std::size_t>(row) * wholeWidth + col]);
    return out;
}

} // namespace

TEST(ReadChannels, AWindowIsTheSameWindowOfTheWholeBand)
{
    Channels c;
    const std::vector<int> bands{c.fine, c.coarse, c.coarsest, c.index};
    std::vector<std::vector<double>> whole;
    ASSERT_TRUE(c.file.readChannels(0, bands, 13, 11, 0, 0, whole));
    ASSERT_EQ(whole.size(), bands.size());
    for (std::size_t i = 0; i < bands.size(); ++i)
        for (int Y = 0; Y < 11; ++Y)
            for (int X = 0; X < 13; ++X)
                ASSERT_EQ(whole[i][static_cast<std::size_t>(Y) * 13 + X], c.file.gridValue(bands[i], X, Y))
                    << "band " << bands[i] << " at " << X << "," << Y;

    // Odd and even origins and sizes: a coarse pixel may be cut at either
    // end of the window.
    struct Window {
        int x, y, width, height;
    };
    const Window windows[] = {{1, 1, 5, 3}, {3, 2, 4, 7}, {0, 5, 13, 1}, {7, 0, 6, 11}, {12, 10, 1, 1}, {5, 3, 7, 5}};
    for (const auto& w : windows) {
        std::vector<std::vector<double>> part;
        ASSERT_TRUE(c.file.readChannels(0, bands, w.width, w.height, w.x, w.y, part));
        ASSERT_EQ(part.size(), bands.size());
        for (std::size_t i = 0; i < bands.size(); ++i)
            EXPECT_EQ(part[i], cut(whole[i], 13, w.x, w.y, w.width, w.height))
                << "band " << bands[i] << ", window at " << w.x << "," << w.y << " of " << w.width << " x "
                << w.height;
    }
}

TEST(ReadChannels, CoarseBandsAreReadOnceAtTheirOwnResolution)
{
    Channels c;
    std::vector<std::vector<double>> out;
    ASSERT_TRUE(c.file.readChannels(0, {c.coarse}, 5, 4, 3, 1, out));
    EXPECT_EQ(c.file.readCount, 1);
    // Working columns 3..7 lie on band columns 1..3, rows 1..4 on 0..2.
    const std::vector<double> expected{1001, 1002, 1002, 1003, 1003,  //
                                       1101, 1102, 1102, 1103, 1103,  //
                                       1101, 1102, 1102, 1103, 1103,  //
                                       1201, 1202, 1202, 1203, 1203};
    EXPECT_EQ(out[0], expected);
}

TEST(ReadChannels, Refusals)
{
    Channels c;
    std::vector<std::vector<double>> out{{42.0}};
    EXPECT_FALSE(c.file.readChannels(0, {}, 4, 4, 0, 0, out));
    EXPECT_EQ(out, (std::vector<std::vector<double>>{{42.0}})) << "an empty band list changes nothing";

    EXPECT_FALSE(c.file.readChannels(0, {c.fine}, 0, 4, 0, 0, out));
    EXPECT_FALSE(c.file.readChannels(0, {c.fine}, 4, -1, 0, 0, out));

    // A failing band ends the read; the lists before it stay filled.
    struct Case {
        const char* name;
        std::vector<int> bands;
        int level;
    };
    const Case cases[] = {
        {"band index past the end", {c.fine, 9}, 0},
        {"negative band index", {c.coarse, -1}, 0},
        {"read that throws (no such level)", {c.fine, c.coarse}, 1},
    };
    for (const auto& k : cases) {
        out.clear();
        EXPECT_FALSE(c.file.readChannels(k.level, k.bands, 4, 3, 2, 2, out)) << k.name;
        ASSERT_EQ(out.size(), k.bands.size()) << k.name;
        if (k.level == 0) {
            EXPECT_EQ(out[0].size(), 12u) << k.name;
        }
    }

    c.file.bands[static_cast<std::size_t>(c.coarse)].scale = 0.5;
    out.clear();
    EXPECT_FALSE(c.file.readChannels(0, {c.fine, c.coarse}, 4, 3, 2, 2, out)) << "scale below 1";
    EXPECT_EQ(out[0].size(), 12u);
}
