#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "io/Band.h"

namespace {

IO::BandLevel levelOf(const std::vector<float>& samples, const std::string& path = "GRANULE/IMG_DATA/T33_B04.jp2")
{
    IO::BandLevel level(path);
    testing::internal::CaptureStdout();
    level.setDataFromFloats(samples.data(), static_cast<int>(samples.size()), true, 0, 0);
    testing::internal::GetCapturedStdout();
    return level;
}

std::vector<float> values(const IO::BandLevel& level)
{
    return std::vector<float>(level.data.get(), level.data.get() + level.count);
}

std::vector<float> repeated(std::initializer_list<std::pair<float, int>> runs)
{
    std::vector<float> out;
    for (auto [value, n] : runs)
        out.insert(out.end(), static_cast<std::size_t>(n), value);
    return out;
}

} // namespace

TEST(BandLevel, NameIsTheFilePartOfThePath)
{
    EXPECT_EQ(IO::BandLevel("/vsizip/a.zip/x/y/B04_10m.jp2").name, "B04_10m.jp2");
    EXPECT_EQ(IO::BandLevel("C:\\data\\B03.jp2").name, "B03.jp2");
    EXPECT_EQ(IO::BandLevel("plain.tif").name, "plain.tif");
    IO::BandLevel empty("x/B02.jp2");
    EXPECT_EQ(empty.data, nullptr);
    EXPECT_EQ(empty.count, 0);
    EXPECT_TRUE(empty.histogram.empty());
    EXPECT_TRUE(empty.caches.empty());
}

TEST(BandLevel, RasterStoreMinMaxAndLogLine)
{
    const std::vector<std::uint8_t> bytes{3, 200, 7, 0, 255};
    IO::BandLevel fixed("dir/TCI.jp2");
    testing::internal::CaptureStdout();
    fixed.setDataFromBytes(bytes.data(), 5, false, 0, 255);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "TCI.jp2 data loaded, min, max: 0, 255\n");
    EXPECT_EQ(fixed.min, 0.0f) << "a zero minimum leaves the field as it was";
    EXPECT_EQ(fixed.max, 255.0f);
    EXPECT_EQ(values(fixed), (std::vector<float>{3, 200, 7, 0, 255}));

    const std::vector<std::uint16_t> words{1200, 65535, 17, 4000};
    IO::BandLevel scanned("B08.jp2");
    testing::internal::CaptureStdout();
    scanned.setDataFromUInt16(words.data(), 4, true, 0, 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "B08.jp2 data loaded, min, max: 17, 65535\n");
    EXPECT_EQ(scanned.min, 17.0f);
    EXPECT_EQ(scanned.max, 65535.0f);
    EXPECT_EQ(scanned.count, 4);
}

TEST(BandLevel, StoringIntoALoadedLevelFreesTheOldDataFirst)
{
    IO::BandLevel level = levelOf({1, 2, 3});
    const std::vector<float> next{9, 8};
    testing::internal::CaptureStdout();
    level.setDataFromFloats(next.data(), 2, true, 0, 0);
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_NE(log.find("T33_B04.jp2 data deleted\n"), std::string::npos);
    EXPECT_EQ(values(level), next);
    EXPECT_EQ(level.min, 8.0f);
}

TEST(BandLevel, ReleaseKeepsCountLimitsAndHistogram)
{
    IO::BandLevel level = levelOf({0, 1, 2, 3});
    testing::internal::CaptureStdout();
    level.normalize(0.25, 1.0, false);
    level.releaseData();
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_NE(log.find("T33_B04.jp2 data deleted\n"), std::string::npos);
    EXPECT_EQ(level.data, nullptr);
    EXPECT_EQ(level.count, 4);
    EXPECT_EQ(level.max, 3.0f);
    EXPECT_EQ(level.histogram.size(), 4u);

    testing::internal::CaptureStdout();
    level.releaseData();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "releasing nothing writes nothing";
}

struct NormalizeCase {
    const char* what;
    std::vector<float> samples;
    double lowCut;
    double highCut;
    bool autoCrop;
    float cropMin;   // expected limits (ignored when checkLimits is false)
    float cropMax;
    bool checkLimits;
    std::vector<std::pair<float, float>> mapping;  // raw value -> normalised value
};

class Normalize : public testing::TestWithParam<NormalizeCase> {};

TEST_P(Normalize, MapsRawValuesThroughTheLimits)
{
    const NormalizeCase& c = GetParam();
    IO::BandLevel level = levelOf(c.samples);
    const std::vector<float> raw = values(level);
    testing::internal::CaptureStdout();
    level.normalize(c.lowCut, c.highCut, c.autoCrop);
    testing::internal::GetCapturedStdout();
    if (c.checkLimits) {
        EXPECT_FLOAT_EQ(level.cropMin, c.cropMin) << c.what;
        EXPECT_FLOAT_EQ(level.cropMax, c.cropMax) << c.what;
    }
    const std::vector<float> out = values(level);
    for (auto [rawValue, expected] : c.mapping) {
        const auto it = std::find(raw.begin(), raw.end(), rawValue);
        ASSERT_NE(it, raw.end()) << c.what;
        EXPECT_NEAR(out[static_cast<std::size_t>(it - raw.begin())], expected, 1e-6) << c.what << " raw " << rawValue;
    }
    for (float v : out) {
        EXPECT_GE(v, 0.0f) << c.what;
        EXPECT_LE(v, 1.0f) << c.what;
    }
}

std::vector<float> ramp(int n)
{
    std::vector<float> v(static_cast<std::size_t>(n));
    std::iota(v.begin(), v.end(), 0.0f);
    return v;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Normalize,
    testing::Values(
        NormalizeCase{"plain min-max", {10, 20, 30, 50}, 0.0, 1.0, false, 0, 0, false,
                      {{10, 0.0f}, {20, 0.25f}, {50, 1.0f}}},
        NormalizeCase{"all equal gives 1", {7, 7, 7}, 0.0, 1.0, false, 0, 0, false, {{7, 1.0f}}},
        NormalizeCase{"cumulative low and high cut", ramp(1000), 0.02, 0.98, false, 19, 979, true,
                      {{19, 0.0f}, {5, 0.0f}, {979, 1.0f}, {999, 1.0f}, {499, 480.0f / 960.0f}}},
        NormalizeCase{"auto crop thresholds", repeated({{0, 3000}, {2, 501}, {5, 4001}, {9, 10}}), 0.0, 1.0, true,
                      2, 5, true, {{0, 0.0f}, {2, 0.0f}, {5, 1.0f}, {9, 1.0f}}},
        NormalizeCase{"auto crop ignores the cuts", repeated({{1, 600}, {3, 4500}, {4, 1}}), 0.3, 0.6, true, 1, 3, true,
                      {{1, 0.0f}, {3, 1.0f}}},
        NormalizeCase{"auto crop: only bin 0 is frequent, the minimum stays", repeated({{0, 900}, {6, 100}}), 0.0, 1.0,
                      true, 0, 6, true, {{0, 0.0f}, {6, 1.0f}}},
        NormalizeCase{"auto crop: no bin above the top threshold uses the maximum", repeated({{2, 700}, {8, 50}}), 0.0,
                      1.0, true, 2, 8, true, {{2, 0.0f}, {8, 1.0f}}},
        NormalizeCase{"mask band: inverted limits fall back to min and max", repeated({{0, 5000}, {1, 600}}), 0.0, 1.0,
                      true, 0, 1, true, {{0, 0.0f}, {1, 1.0f}}},
        NormalizeCase{"cuts landing in one bin fall back to min and max", repeated({{4, 990}, {0, 5}, {9, 5}}), 0.1, 0.9,
                      false, 0, 9, true, {{0, 0.0f}, {9, 1.0f}}}));

TEST(BandLevel, PlainNormalizeBuildsNoHistogram)
{
    IO::BandLevel level = levelOf({0, 100, 40000});
    testing::internal::CaptureStdout();
    level.normalize(0.0, 1.0, false);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(level.histogram.empty());
}

TEST(BandLevel, CropLogLinesAndHistogramReuse)
{
    IO::BandLevel level = levelOf(repeated({{0, 10}, {3, 600}, {5, 4100}}));
    testing::internal::CaptureStdout();
    level.computeCropLimits(0.0, 1.0, true);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "AutoCrop active, cropedMin3 croppedMax5\n");
    EXPECT_EQ(level.histogram, (std::vector<int>{10, 0, 0, 600, 0, 4100}));

    level.histogram[5] = 0;  // a histogram that exists is reused, never rebuilt
    testing::internal::CaptureStdout();
    level.computeCropLimits(0.0, 1.0, true);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "AutoCrop active, cropedMin3 croppedMax5\n")
        << "bin 3 is not above 4000 once bin 5 is emptied, so the maximum is used";

    testing::internal::CaptureStdout();
    level.computeCropLimits(0.0, 1.0, false);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "AutoCrop nonactive, cropedMin0 croppedMax5\n");
}

TEST(BandLevel, HistogramGuardsAgainstBadMaxima)
{
    // Negative samples are not counted; the bins cover 0..max.
    IO::BandLevel mixed = levelOf({-5, -1, 0, 2, 2, 3});
    testing::internal::CaptureStdout();
    mixed.computeCropLimits(0.0, 1.0, true);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(mixed.histogram, (std::vector<int>{1, 0, 2, 1}));

    // An all-negative band has no bins at all and still normalises.
    IO::BandLevel negative = levelOf({-9, -4, -1});
    testing::internal::CaptureStdout();
    negative.normalize(0.0, 1.0, true);
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(negative.histogram.empty());
    EXPECT_EQ(values(negative), (std::vector<float>{0.0f, 0.625f, 1.0f}));

    // A non-finite or enormous maximum must not allocate a histogram of max + 1 bins.
    const std::vector<float> few{1, 2, 3};
    for (double badMax : {static_cast<double>(std::numeric_limits<float>::infinity()), 1e30, 1e12}) {
        IO::BandLevel level("x.tif");
        testing::internal::CaptureStdout();
        level.setDataFromFloats(few.data(), 3, false, 0, badMax);
        level.normalize(0.0, 1.0, true);
        testing::internal::GetCapturedStdout();
        EXPECT_LE(level.histogram.size(), std::size_t{1} << 20) << badMax;
    }
    IO::BandLevel nan("nan.tif");
    testing::internal::CaptureStdout();
    nan.setDataFromFloats(few.data(), 3, false, 0, std::nan(""));
    nan.computeCropLimits(0.1, 0.9, false);
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(nan.histogram.empty());
}

TEST(DataCache, ResizeKeepsContentsOnlyForTheSameSize)
{
    DataCache cache;
    EXPECT_EQ(cache.count(), 0u);
    EXPECT_EQ(cache.data(), nullptr);
    cache.resize(4);
    ASSERT_NE(cache.data(), nullptr);
    cache.data()[3] = 42.0f;
    float* before = cache.data();
    cache.resize(4);
    EXPECT_EQ(cache.data(), before);
    EXPECT_EQ(cache.data()[3], 42.0f);
    cache.resize(8);
    EXPECT_EQ(cache.count(), 8u);
    testing::internal::CaptureStdout();
    cache.resize(0);
    EXPECT_EQ(cache.data(), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(BandLevelCache, CreateStoreReadAndMissingKeys)
{
    IO::BandLevel level("B02.jp2");
    EXPECT_EQ(level.cacheData("dataCacheToolsFilterSolution"), nullptr);
    EXPECT_EQ(level.cacheSize("dataCacheToolsFilterSolution"), 0u);
    EXPECT_TRUE(level.caches.empty()) << "reading a missing key creates nothing";

    testing::internal::CaptureStdout();
    level.createCache("dataCacheToolsSemiGradX", 3);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Cache created: dataCacheToolsSemiGradX for B02.jp2\n");
    float* data = level.cacheData("dataCacheToolsSemiGradX");
    data[0] = 1.5f;
    data[2] = -2.0f;
    testing::internal::CaptureStdout();
    level.createCache("dataCacheToolsSemiGradX", 3);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(level.cacheData("dataCacheToolsSemiGradX"), data);
    EXPECT_EQ(data[0], 1.5f);
    EXPECT_EQ(data[2], -2.0f);

    const std::vector<double> doubles{0.1, 1e10, -3.25, 7.0};
    testing::internal::CaptureStdout();
    level.storeCache<double>("dataCacheToolsSemiGradX", doubles.data(), doubles.size());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Data loaded to cache dataCacheToolsSemiGradX for B02.jp2\n");
    ASSERT_EQ(level.cacheSize("dataCacheToolsSemiGradX"), 4u);
    for (std::size_t i = 0; i < doubles.size(); ++i)
        EXPECT_EQ(level.cacheData("dataCacheToolsSemiGradX")[i], static_cast<float>(doubles[i]));

    const std::vector<float> floats{5, 6};
    testing::internal::CaptureStdout();
    level.storeCache<float>("dataCacheToolsAutoGradY", floats.data(), floats.size());
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(level.cacheSize("dataCacheToolsAutoGradY"), 2u);
    EXPECT_EQ(level.cacheData("dataCacheToolsAutoGradY")[1], 6.0f);
    EXPECT_EQ(level.caches.size(), 2u);
}

TEST(BandLevelCache, ClearLogsEveryEntryInKeyOrder)
{
    IO::BandLevel level("dir/B04.jp2");
    testing::internal::CaptureStdout();
    level.clearCache();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "an empty map writes nothing";

    testing::internal::CaptureStdout();
    level.createCache("b", 2);
    level.createCache("a", 1);
    level.createCache("empty", 0);
    testing::internal::GetCapturedStdout();

    testing::internal::CaptureStdout();
    level.clearCache();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Full dataCache clear for B04.jp2\n"
              "Delete cache:a for B04.jp2 DataCache destructor\n"
              "Delete cache:b for B04.jp2 DataCache destructor\n"
              "Delete cache:empty for B04.jp2 ");
    EXPECT_TRUE(level.caches.empty());
}

TEST(Band, DefaultsAndMoveTransfersOwnership)
{
    IO::Band band("B04-Red");
    EXPECT_EQ(band.name, "B04-Red");
    EXPECT_EQ(band.code, "");
    EXPECT_EQ(band.scale, 1.0);
    EXPECT_FALSE(band.derived);
    EXPECT_TRUE(band.levels.empty());

    band.levels.push_back(levelOf({1, 2}));
    testing::internal::CaptureStdout();
    band.levels[0].createCache("k", 2);
    testing::internal::GetCapturedStdout();
    const float* pixels = band.levels[0].data.get();
    const float* cached = band.levels[0].cacheData("k");

    std::vector<IO::Band> list;
    list.push_back(std::move(band));
    EXPECT_EQ(list[0].levels[0].data.get(), pixels);
    EXPECT_EQ(list[0].levels[0].cacheData("k"), cached);
    EXPECT_TRUE(band.levels.empty());  // NOLINT(bugprone-use-after-move): moved-from state is specified here

    testing::internal::CaptureStdout();
    list[0].release();
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_EQ(list[0].levels[0].data, nullptr);
    EXPECT_TRUE(list[0].levels[0].caches.empty());
    EXPECT_NE(log.find("data deleted"), std::string::npos);
    EXPECT_NE(log.find("Delete cache:k"), std::string::npos);
}
