// IO::JP2ZipFile reading the same product many times: window reads through
// the rasters a data set keeps open (repeated, interleaved, from two threads),
// index windows against the whole grid, and loaded index bands against the
// raw index of the sample formulas.

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "test_jp2zip_fixture.h"

namespace fs = std::filesystem;
using namespace Jp2ZipTest;

namespace {

constexpr int kSize = 120;

// Raster pixels per working-grid pixel side, as the fixture writes them.
int scaleOf(const std::string& code)
{
    static const std::map<std::string, int> scales{{"B01", 6}, {"B11", 2}, {"B12", 2},
                                                    {"B8A", 2}, {"SCL", 2}, {"CLD", 2}};
    const auto it = scales.find(code);
    return it == scales.end() ? 1 : it->second;
}

// Raw sample of an image band at pixel (x, y) of its own raster; 0 outside it.
double rasterSample(const std::string& code, int x, int y)
{
    const int scale = scaleOf(code);
    const int size = kSize / scale;
    if (x < 0 || y < 0 || x >= size || y >= size)
        return 0.0;
    if (code == "SCL")
        return Sample::sceneClass(x, y, scale);
    if (code == "CLD")
        return Sample::cloudProbability(x, y, scale);
    return Sample::reflectance(code, x, y, scale);
}

// Raw sample of an image band at working-grid pixel (x, y): the raster pixel
// under it, as a whole-band load enlarges a coarse band; 0 outside the grid.
double gridSample(const std::string& code, int x, int y)
{
    if (x < 0 || y < 0 || x >= kSize || y >= kSize)
        return 0.0;
    const int scale = scaleOf(code);
    return rasterSample(code, x / scale, y / scale);
}

// (a - b) / (a + b) in float, 0 where the sum is 0.
float ratio(double a, double b)
{
    const float fa = static_cast<float>(a), fb = static_cast<float>(b);
    return fa + fb != 0.0f ? (fa - fb) / (fa + fb) : 0.0f;
}

struct IndexSources {
    std::string code;
    std::string a;
    std::string b;
};

const IndexSources kNdvi{"NDVI", "B08", "B04"};   // two 10 m sources
const IndexSources kNdpi{"NDPI", "B11", "B03"};   // 20 m first
const IndexSources kNdwi2{"NDWI2", "B03", "B11"}; // 20 m second
const IndexSources kNdwi3{"NDWI3", "B08", "B12"};

float rawIndex(const IndexSources& index, int x, int y)
{
    return ratio(gridSample(index.a, x, y), gridSample(index.b, x, y));
}

// The raw index over the working grid, row by row.
std::vector<float> rawIndexGrid(const IndexSources& index)
{
    std::vector<float> values(static_cast<std::size_t>(kSize * kSize));
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x)
            values[static_cast<std::size_t>(y * kSize + x)] = rawIndex(index, x, y);
    return values;
}

// What a loaded index band holds: the raw index mapped from its own minimum
// and maximum to [0, 1].
std::vector<float> mappedIndexGrid(const IndexSources& index)
{
    std::vector<float> values = rawIndexGrid(index);
    const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
    const float min = *lo, range = *hi - *lo;
    for (auto& v : values)
        v = (v - min) / range;
    return values;
}

const IO::BandLevel& levelOf(const IO::File& file, const std::string& code)
{
    return file.bands[static_cast<std::size_t>(bandIndex(file, code))].levels[0];
}

std::vector<float> levelSamples(const IO::File& file, const std::string& code)
{
    const auto& level = levelOf(file, code);
    if (!level.data)
        return {};
    return std::vector<float>(level.data.get(), level.data.get() + level.count);
}

void load(IO::File& file, const std::string& code, double lowCut, double highCut, bool autoCrop, bool keepRaw)
{
    quietly([&] { file.loadBand(bandIndex(file, code), 0, lowCut, highCut, autoCrop, keepRaw); });
}

// A window read of one band at its own size.
struct WindowCase {
    const char* label;
    std::string code;
    int x, y, width, height;
};

std::vector<double> read(IO::File& file, const WindowCase& c)
{
    std::vector<double> out;
    file.readRegion(bandIndex(file, c.code), 0, c.x, c.y, c.width, c.height, c.width, c.height, out);
    return out;
}

// The window from the formulas: raster pixels of an image band, working-grid
// pixels of an index band.
std::vector<double> expectedWindow(const WindowCase& c)
{
    static const std::map<std::string, IndexSources> indices{
        {"NDVI", kNdvi}, {"NDPI", kNdpi}, {"NDWI2", kNdwi2}, {"NDWI3", kNdwi3}};
    const auto index = indices.find(c.code);
    std::vector<double> values;
    for (int j = 0; j < c.height; ++j)
        for (int i = 0; i < c.width; ++i)
            values.push_back(index == indices.end() ? rasterSample(c.code, c.x + i, c.y + j)
                                                    : rawIndex(index->second, c.x + i, c.y + j));
    return values;
}

const WindowCase kWindowCases[] = {
    {"8-bit SCL", "SCL", 3, 7, 9, 5},
    {"unsigned 16-bit B04", "B04", 31, 17, 13, 11},
    {"20 m band in its own pixels", "B8A", 21, 4, 7, 9},
    {"index of two 10 m bands", "NDVI", 45, 51, 10, 12},
    {"index of a 20 m and a 10 m band", "NDPI", 33, 9, 11, 7},
    {"band window over the lower-right edge", "B04", 113, 109, 12, 16},
    {"band window over the upper-left edge", "SCL", -3, -2, 8, 6},
    {"index window over the edge", "NDWI2", -5, 111, 13, 13},
};

} // namespace

// ---------------------------------------------------------- kept rasters

TEST(JP2ZipKeptRasters, RepeatedWindowsEqualAFreshReadAndTheFormulas)
{
    // One data set reads every window three times, interleaved, so the
    // rasters it keeps open switch between bands and repeats come from GDAL's
    // cache; a data set of its own per window reads it once.
    const auto kept = fixture().open();
    for (int round = 0; round < 3; ++round)
        for (const auto& c : kWindowCases) {
            SCOPED_TRACE(std::string(c.label) + ", round " + std::to_string(round));
            const auto expected = expectedWindow(c);
            EXPECT_EQ(read(*kept, c), expected);
            if (round == 0) {
                EXPECT_EQ(read(*fixture().open(), c), expected);
            }
        }
    EXPECT_TRUE(kept->loadedBands.empty());
}

TEST(JP2ZipKeptRasters, TwoThreadsReadWhileABandLoads)
{
    // Both threads read B04 (one raster, taken in turns) every other time,
    // and index bands whose sources overlap the other thread's; meanwhile
    // this thread loads an index band, as a pool thread does while the viewer
    // reads windows.
    const auto file = fixture().open();
    const WindowCase elsewhere{"B04 elsewhere", "B04", 2, 90, 17, 14};
    const std::vector<WindowCase> first{kWindowCases[1], kWindowCases[3], kWindowCases[5], kWindowCases[0]};
    const std::vector<WindowCase> second{elsewhere, kWindowCases[4], elsewhere, kWindowCases[2],
                                         kWindowCases[1], kWindowCases[7]};
    std::atomic<int> mismatches{0};
    std::atomic<int> failures{0};
    auto reader = [&](const std::vector<WindowCase>& cases) {
        std::vector<std::vector<double>> expected;
        for (const auto& c : cases)
            expected.push_back(expectedWindow(c));
        for (int n = 0; n < 400; ++n) {
            const std::size_t k = static_cast<std::size_t>(n) % cases.size();
            try {
                if (read(*file, cases[k]) != expected[k])
                    ++mismatches;
            } catch (...) {
                ++failures;
            }
        }
    };
    std::thread a(reader, std::cref(first));
    std::thread b(reader, std::cref(second));
    load(*file, "NDWI3", 0.0, 1.0, false, false);
    a.join();
    b.join();
    EXPECT_EQ(mismatches.load(), 0);
    EXPECT_EQ(failures.load(), 0);

    const auto samples = levelSamples(*file, "NDWI3");
    const auto expected = mappedIndexGrid(kNdwi3);
    ASSERT_EQ(samples.size(), expected.size());
    for (std::size_t i = 0; i < samples.size(); ++i)
        ASSERT_NEAR(samples[i], expected[i], 1e-6) << i;
}

namespace {

// Descriptors of this process open on the file.
int descriptorsOpenOn(const fs::path& file)
{
    const fs::path target = fs::canonical(file);
    int count = 0;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd", ec)) {
        std::error_code linkError;
        if (fs::read_symlink(entry.path(), linkError) == target)
            ++count;
    }
    return count;
}

} // namespace

TEST(JP2ZipKeptRasters, RastersCloseWithTheDataSet)
{
    const Product product;
    {
        const auto file = product.open();
        for (const auto& c : kWindowCases)
            read(*file, c);
        EXPECT_GT(descriptorsOpenOn(product.archive()), 0);
    }
    EXPECT_EQ(descriptorsOpenOn(product.archive()), 0);
}

// ---------------------------------------------------------- index windows

TEST(JP2ZipIndexWindow, AnyWindowEqualsTheSameWindowOfTheWholeGrid)
{
    struct Box {
        int x, y, width, height;
    };
    const Box boxes[] = {
        {0, 0, 1, 1},     {1, 1, 1, 1},     {1, 0, 2, 3},       {3, 5, 7, 9},     {7, 13, 4, 5},
        {12, 12, 5, 3},   {59, 61, 3, 3},   {101, 37, 19, 11},  {119, 119, 1, 1}, {-3, -5, 9, 11},
        {115, 117, 10, 6}, {-1, -1, 122, 122}, {-7, 50, 3, 3}, {120, 0, 3, 3},
    };
    const auto file = fixture().open();
    for (const auto& index : {kNdpi, kNdwi2, kNdwi3, kNdvi}) {
        SCOPED_TRACE(index.code);
        const int band = bandIndex(*file, index.code);
        // The whole grid follows the formulas: a 20 m source gives working
        // pixel (X, Y) its pixel (X / 2, Y / 2).
        std::vector<double> grid;
        file->readRegion(band, 0, 0, 0, kSize, kSize, kSize, kSize, grid);
        const auto raw = rawIndexGrid(index);
        ASSERT_EQ(grid.size(), raw.size());
        for (std::size_t i = 0; i < raw.size(); ++i)
            ASSERT_EQ(grid[i], raw[i]) << "grid pixel " << i % kSize << ", " << i / kSize;

        for (const auto& box : boxes) {
            SCOPED_TRACE(testing::Message() << "window " << box.x << ", " << box.y << ", " << box.width << " x "
                                            << box.height);
            std::vector<double> out;
            file->readRegion(band, 0, box.x, box.y, box.width, box.height, box.width, box.height, out);
            ASSERT_EQ(out.size(), static_cast<std::size_t>(box.width * box.height));
            for (int j = 0; j < box.height; ++j)
                for (int i = 0; i < box.width; ++i) {
                    const int x = box.x + i, y = box.y + j;
                    const bool inside = x >= 0 && y >= 0 && x < kSize && y < kSize;
                    ASSERT_EQ(out[static_cast<std::size_t>(j * box.width + i)],
                              inside ? grid[static_cast<std::size_t>(y * kSize + x)] : 0.0)
                        << "output pixel " << i << ", " << j;
                }
        }
    }
}

TEST(JP2ZipIndexWindow, ResampledWindowsTakeTheGridPixelUnderEachCentre)
{
    // Output pixel k of a window (x, w) read at ow samples takes working
    // pixel floor(x + (k + 1/2) w / ow), whose span lies inside the grid.
    struct Resampled {
        int x, y, width, height, outWidth, outHeight;
    };
    const Resampled cases[] = {
        {3, 5, 7, 9, 14, 18},    // enlarged twice
        {1, 7, 5, 5, 15, 10},    // enlarged three and two times
        {5, 3, 11, 7, 4, 5},     // shrunk by a ratio that is no whole number
        {-3, 113, 9, 9, 6, 12},  // over the edges
    };
    const auto file = fixture().open();
    for (const auto& index : {kNdpi, kNdwi2}) {
        const int band = bandIndex(*file, index.code);
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << index.code << " window " << c.x << ", " << c.y << ", " << c.width
                                            << " x " << c.height << " at " << c.outWidth << " x " << c.outHeight);
            std::vector<double> out;
            file->readRegion(band, 0, c.x, c.y, c.width, c.height, c.outWidth, c.outHeight, out);
            ASSERT_EQ(out.size(), static_cast<std::size_t>(c.outWidth * c.outHeight));
            // Pixel k spans [x ow + k w, x ow + (k + 1) w) in units of 1 / ow.
            auto pick = [](int origin, int size, int outSize, int k, int* pixel) {
                const long long start = static_cast<long long>(origin) * outSize + static_cast<long long>(k) * size;
                const long long centre2 = 2 * start + size;  // twice the centre
                const long long d = 2LL * outSize;
                *pixel = static_cast<int>(centre2 >= 0 ? centre2 / d : -((-centre2 + d - 1) / d));
                return start >= 0 && start + size <= static_cast<long long>(kSize) * outSize;
            };
            for (int j = 0; j < c.outHeight; ++j)
                for (int i = 0; i < c.outWidth; ++i) {
                    int x = 0, y = 0;
                    const bool insideX = pick(c.x, c.width, c.outWidth, i, &x);
                    const bool insideY = pick(c.y, c.height, c.outHeight, j, &y);
                    const bool inside = insideX && insideY;
                    ASSERT_EQ(out[static_cast<std::size_t>(j * c.outWidth + i)],
                              inside ? static_cast<double>(rawIndex(index, x, y)) : 0.0)
                        << "output pixel " << i << ", " << j;
                }
        }
    }
}

// ------------------------------------------------------------ index loads

TEST(JP2ZipIndexLoad, LoadedIndexIsTheRawIndexMappedToItsRange)
{
    // The fixture's tiles hold its whole grid. With tiles of 32 pixels the
    // index is decoded strip by strip: a strip spans one tile row of a 20 m
    // source (two of a 10 m one), and the last strip is cut short by the
    // grid's end.
    Sample::ProductSpec smallTiles;
    smallTiles.blockSize = 32;
    const Product tiled(smallTiles);
    for (const Product* product : {&fixture(), &tiled}) {
        for (const auto& index : {kNdvi, kNdpi, kNdwi2}) {
            SCOPED_TRACE(std::string(index.code) + (product == &tiled ? " in tiles of 32" : ""));
            const auto file = product->open();
            load(*file, index.code, 0.02, 0.98, true, true);

            EXPECT_EQ(file->loadedBands, (std::set<int>{bandIndex(*file, index.code)}));
            EXPECT_FALSE(file->isLoaded(bandIndex(*file, index.a), 0));
            EXPECT_FALSE(file->isLoaded(bandIndex(*file, index.b), 0));

            const auto raw = rawIndexGrid(index);
            const auto [lo, hi] = std::minmax_element(raw.begin(), raw.end());
            const auto& level = levelOf(*file, index.code);
            EXPECT_EQ(level.min, *lo);
            EXPECT_EQ(level.max, *hi);
            const auto samples = levelSamples(*file, index.code);
            const auto expected = mappedIndexGrid(index);
            ASSERT_EQ(samples.size(), expected.size());
            for (std::size_t i = 0; i < samples.size(); ++i)
                ASSERT_NEAR(samples[i], expected[i], 1e-6) << "grid pixel " << i % kSize << ", " << i / kSize;
        }
    }
}

TEST(JP2ZipIndexLoad, EarlierLoadsOfTheSourcesChangeNeitherTheIndexNorThem)
{
    struct Step {
        std::string code;
        double lowCut, highCut;
        bool autoCrop, keepRaw;
    };
    struct Case {
        const char* label;
        std::vector<Step> steps;
    };
    const Case cases[] = {
        {"index alone", {{"NDVI", 0.0, 1.0, false, false}}},
        {"a source with a crop first", {{"B04", 0.02, 0.98, false, false}, {"NDVI", 0.0, 1.0, false, false}}},
        {"both sources first, cropped and raw",
         {{"B08", 0.0, 1.0, true, false}, {"B04", 0.0, 1.0, false, true}, {"NDVI", 0.0, 1.0, false, false}}},
        {"index first, then a source", {{"NDVI", 0.0, 1.0, false, false}, {"B04", 0.02, 0.98, false, false}}},
        {"a source read for an index, then loaded",
         {{"NDVI", 0.0, 1.0, false, false}, {"B08", 0.0, 1.0, true, false}, {"NDVI", 0.0, 1.0, false, false}}},
    };
    const auto expectedIndex = mappedIndexGrid(kNdvi);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const auto file = fixture().open();
        std::set<std::string> loaded;
        for (const auto& step : c.steps) {
            if (step.code == "NDVI")
                file->unloadBandsExcept({bandIndex(*file, "B04"), bandIndex(*file, "B08")});
            load(*file, step.code, step.lowCut, step.highCut, step.autoCrop, step.keepRaw);
            loaded.insert(step.code);
        }
        std::set<int> expectedLoaded;
        for (const auto& code : loaded)
            expectedLoaded.insert(bandIndex(*file, code));
        EXPECT_EQ(file->loadedBands, expectedLoaded);

        const auto samples = levelSamples(*file, "NDVI");
        ASSERT_EQ(samples.size(), expectedIndex.size());
        for (std::size_t i = 0; i < samples.size(); ++i)
            ASSERT_NEAR(samples[i], expectedIndex[i], 1e-6) << i;

        // Each source holds what a load of its own gives, or nothing.
        for (const std::string source : {"B08", "B04"}) {
            SCOPED_TRACE(source);
            const auto step = std::find_if(c.steps.rbegin(), c.steps.rend(),
                                           [&](const Step& s) { return s.code == source; });
            if (step == c.steps.rend()) {
                EXPECT_FALSE(file->isLoaded(bandIndex(*file, source), 0));
                continue;
            }
            const auto alone = fixture().open();
            load(*alone, source, step->lowCut, step->highCut, step->autoCrop, step->keepRaw);
            EXPECT_EQ(levelSamples(*file, source), levelSamples(*alone, source));
            EXPECT_EQ(levelOf(*file, source).cropMin, levelOf(*alone, source).cropMin);
            EXPECT_EQ(levelOf(*file, source).cropMax, levelOf(*alone, source).cropMax);
        }
    }
}

TEST(JP2ZipIndexLoad, RegionsOfTheFormulasKeepTheirOrderAndSeparation)
{
    // The sample product has no land-cover classes; its formulas give three
    // regions an index tells apart: the no-data corner (index 0), and blocks
    // near the upper-left and the lower-right corner, where the reflectance
    // gradients make the index differ. Where the raw index of one region lies
    // wholly below another's, the loaded index keeps it below, by the raw gap
    // over the raw range.
    struct Region {
        const char* name;
        int x, y, size;
    };
    const Region regions[] = {
        {"no-data corner", 0, 0, Sample::kNoDataCorner},
        {"upper-left block", 12, 12, 12},
        {"lower-right block", 108, 108, 12},
    };
    for (const auto& index : {kNdvi, kNdpi, kNdwi2}) {
        SCOPED_TRACE(index.code);
        const auto file = fixture().open();
        load(*file, index.code, 0.0, 1.0, false, false);
        const auto samples = levelSamples(*file, index.code);
        ASSERT_EQ(samples.size(), static_cast<std::size_t>(kSize * kSize));
        const auto raw = rawIndexGrid(index);
        const auto [lo, hi] = std::minmax_element(raw.begin(), raw.end());
        const float range = *hi - *lo;

        struct Span {
            float rawMin, rawMax, rawMean, min, max, mean;
        };
        std::vector<Span> spans;
        for (const auto& r : regions) {
            Span s{1e9f, -1e9f, 0.0f, 1e9f, -1e9f, 0.0f};
            for (int y = r.y; y < r.y + r.size; ++y)
                for (int x = r.x; x < r.x + r.size; ++x) {
                    const std::size_t i = static_cast<std::size_t>(y * kSize + x);
                    s.rawMin = std::min(s.rawMin, raw[i]);
                    s.rawMax = std::max(s.rawMax, raw[i]);
                    s.rawMean += raw[i] / static_cast<float>(r.size * r.size);
                    s.min = std::min(s.min, samples[i]);
                    s.max = std::max(s.max, samples[i]);
                    s.mean += samples[i] / static_cast<float>(r.size * r.size);
                }
            spans.push_back(s);
        }
        int separated = 0;
        for (std::size_t p = 0; p < spans.size(); ++p)
            for (std::size_t q = 0; q < spans.size(); ++q) {
                if (p == q)
                    continue;
                SCOPED_TRACE(std::string(regions[p].name) + " against " + regions[q].name);
                EXPECT_EQ(spans[p].rawMean < spans[q].rawMean, spans[p].mean < spans[q].mean);
                if (spans[p].rawMax < spans[q].rawMin) {
                    ++separated;
                    EXPECT_GE(spans[q].min - spans[p].max, (spans[q].rawMin - spans[p].rawMax) / range - 1e-6f);
                }
            }
        // The corner is apart from both blocks in every index.
        EXPECT_GE(separated, 2);
    }
}

TEST(JP2ZipIndexLoad, FailedIndexLoadLeavesTheSourcesAsTheyWere)
{
    // The B04 codestream is cut short: NDVI cannot be computed.
    Sample::ProductSpec spec;
    spec.flaw = Sample::Flaw::TruncatedCodestream;
    const Product truncated(spec);
    const auto file = truncated.open();
    load(*file, "B08", 0.0, 1.0, true, false);
    const auto b08 = levelSamples(*file, "B08");
    ASSERT_FALSE(b08.empty());

    EXPECT_EQ(thrownBy([&] { file->loadBand(bandIndex(*file, "NDVI"), 0, 0.0, 1.0, false, false); }), 6);
    EXPECT_FALSE(file->isLoaded(bandIndex(*file, "NDVI"), 0));
    EXPECT_FALSE(file->isLoaded(bandIndex(*file, "B04"), 0));
    EXPECT_EQ(levelSamples(*file, "B08"), b08);
    EXPECT_EQ(file->loadedBands, (std::set<int>{bandIndex(*file, "B08"), bandIndex(*file, "NDVI")}));
}
