// Masked statistics against exact values and a two-pass reference, the
// masked mean, the graph Laplacian of double windows (shared with the float
// kernel) and the mean of three images.

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <omp.h>

#include "analysis/MaskedStatistics.h"
#include "filter/ImageDerivatives.h"
#include "support/TestSupport.h"

namespace {

constexpr double kUntouched = -7.0;

std::vector<double> statisticsOf(const std::vector<int>& mask, const std::vector<double>& values)
{
    std::vector<double> out(4, kUntouched);
    computeMaskedStatistics(mask, values, out);
    return out;
}

template <typename T, typename F>
std::vector<T> imageOf(int width, int height, F f)
{
    std::vector<T> img(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            img[static_cast<std::size_t>(y) * width + x] = static_cast<T>(f(x, y));
    return img;
}

} // namespace

TEST(MaskedStatistics, ExactValues)
{
    const double offset = 1e8;
    struct Case {
        const char* name;
        std::vector<int> mask;
        std::vector<double> values;
        double mean, std, min, max;
        double tolerance; // relative, on the standard deviation
    };
    const Case cases[] = {
        {"1, 2, 3, 4", {1, 1, 1, 1}, {1, 2, 3, 4}, 2.5, std::sqrt(1.25), 1, 4, 1e-15},
        {"1e8 + (1, 2, 3, 4)", {1, 1, 1, 1}, {offset + 1, offset + 2, offset + 3, offset + 4},
         offset + 2.5, std::sqrt(1.25), offset + 1, offset + 4, 1e-9},
        {"1e8 + (4, 3, 2, 1), largest first", {1, 1, 1, 1}, {offset + 4, offset + 3, offset + 2, offset + 1},
         offset + 2.5, std::sqrt(1.25), offset + 1, offset + 4, 1e-9},
        {"entries 0 and 2 are outside", {0, 1, 2, 1, 0, 1}, {100, -3, 50, 5, -100, 1}, 1, std::sqrt(32.0 / 3), -3, 5,
         1e-15},
        {"one masked value", {0, 0, 1}, {9, 9, -2.5}, -2.5, 0, -2.5, -2.5, 0},
        {"equal values", {1, 1, 1}, {0.1, 0.1, 0.1}, 0.1, 0, 0.1, 0.1, 0},
    };
    for (const auto& c : cases) {
        const auto out = statisticsOf(c.mask, c.values);
        EXPECT_DOUBLE_EQ(out[0], c.mean) << c.name;
        EXPECT_NEAR(out[1], c.std, c.tolerance * std::max(1.0, c.std)) << c.name;
        EXPECT_EQ(out[2], c.min) << c.name;
        EXPECT_EQ(out[3], c.max) << c.name;
    }
}

TEST(MaskedStatistics, AgreesWithTwoPassesOverLargeWindows)
{
    // Values near a large level with a small spread, and unmasked entries
    // that would spoil any sum they entered (NaN, infinity). Large enough to
    // be summed in pieces on several threads.
    const int n = 300007;
    std::vector<int> mask(n);
    std::vector<double> values(n);
    std::uint32_t h = 7;
    for (int i = 0; i < n; ++i) {
        h = h * 1664525u + 1013904223u;
        mask[i] = static_cast<int>(h >> 29) % 3; // 0, 1 or 2
        values[i] = 2.5e6 + static_cast<double>(h >> 8) / 16777216.0;
        if (mask[i] != 1 && i % 7 == 0)
            values[i] = i % 2 ? std::numeric_limits<double>::quiet_NaN() : std::numeric_limits<double>::infinity();
    }
    long double sum = 0;
    long long count = 0;
    double lo = std::numeric_limits<double>::max();
    double hi = std::numeric_limits<double>::lowest();
    for (int i = 0; i < n; ++i)
        if (mask[i] == 1) {
            sum += values[i];
            ++count;
            lo = std::min(lo, values[i]);
            hi = std::max(hi, values[i]);
        }
    const long double mean = sum / count;
    long double squares = 0;
    for (int i = 0; i < n; ++i)
        if (mask[i] == 1)
            squares += (values[i] - mean) * (values[i] - mean);
    const double std = static_cast<double>(std::sqrt(squares / count));

    const int threads = omp_get_max_threads();
    omp_set_num_threads(1);
    const auto out = statisticsOf(mask, values);
    EXPECT_NEAR(out[0], static_cast<double>(mean), 1e-9);
    EXPECT_NEAR(out[1], std, 1e-9 * std);
    EXPECT_EQ(out[2], lo);
    EXPECT_EQ(out[3], hi);
    for (int t : {2, 3}) {
        omp_set_num_threads(t);
        EXPECT_EQ(statisticsOf(mask, values), out) << "the same to the last bit on " << t << " threads";
    }
    omp_set_num_threads(threads);

    // A short window takes the same path in one piece.
    const std::vector<int> head(mask.begin(), mask.begin() + 1000);
    const std::vector<double> headValues(values.begin(), values.begin() + 1000);
    const auto small = statisticsOf(head, headValues);
    long double headSum = 0;
    int headCount = 0;
    for (int i = 0; i < 1000; ++i)
        if (head[i] == 1) {
            headSum += headValues[i];
            ++headCount;
        }
    EXPECT_NEAR(small[0], static_cast<double>(headSum / headCount), 1e-9);
}

TEST(MaskedStatistics, LeavesTheOutputWhenItCannotFillIt)
{
    EXPECT_EQ(statisticsOf({0, 2, 0}, {1, 2, 3}), std::vector<double>(4, kUntouched)) << "nothing masked";
    EXPECT_EQ(statisticsOf({}, {}), std::vector<double>(4, kUntouched));

    std::vector<double> three(3, kUntouched);
    computeMaskedStatistics({1, 1}, {1, 2}, three);
    EXPECT_EQ(three, std::vector<double>(3, kUntouched)) << "fewer than four entries";

    std::vector<double> five(5, kUntouched);
    computeMaskedStatistics({1, 1}, {1, 3}, five);
    EXPECT_EQ(five, (std::vector<double>{2, 1, 1, 3, kUntouched}));

    // Lists of different lengths: only the common part counts.
    EXPECT_EQ(statisticsOf({1, 1, 1, 1}, {2, 4}), (std::vector<double>{3, 1, 2, 4}));
    EXPECT_EQ(statisticsOf({1, 0}, {2, 4, 6, 8}), (std::vector<double>{2, 0, 2, 2}));
}

TEST(MaskedMean, OnlyEntriesOfOneCount)
{
    const std::vector<double> values{4, 100, 8, -50, 3};
    EXPECT_EQ(computeMaskedMean(values.data(), {1, 0, 1, 2, 1}), 5.0);
    EXPECT_EQ(computeMaskedMean(values.data(), {0, 2, 0, 2, 0}), 0.0);
    EXPECT_EQ(computeMaskedMean(values.data(), {}), 0.0);
    EXPECT_EQ(computeMaskedMean(nullptr, {1, 1}), 0.0);
}

// ---------------------------------------------------------------- graph Laplacian of doubles

namespace {

std::vector<double> laplacianOf(const std::vector<double>& img, int w, int h, int type)
{
    std::vector<double> out(img.size(), kUntouched);
    computeGraphLaplacianDouble(img.data(), static_cast<int>(img.size()), out.data(), type, w, h);
    return out;
}

} // namespace

TEST(GraphLaplacianDouble, ExactOnPolynomialImagesAndZeroOnConstantOnes)
{
    const int w = 9;
    const int h = 8;
    const double s2 = std::sqrt(2.0);
    struct Case {
        int type;
        int reach;
        double paraboloid; // |L(x^2 + y^2)| away from the border
    };
    const Case cases[] = {
        {3, 1, 4 + 8 / s2},
        {5, 2, 4 + 8 / s2 + 8 + 32 / std::sqrt(8.0) + 40 / std::sqrt(5.0)},
    };
    // Values far from zero: the differences, not the values, must carry.
    const auto paraboloid = imageOf<double>(w, h, [](int x, int y) { return 1e6 + x * x + y * y; });
    const auto constant = std::vector<double>(w * h, 1e6 + 0.1);
    for (const auto& c : cases) {
        EXPECT_EQ(laplacianOf(constant, w, h, c.type), std::vector<double>(w * h, 0.0)) << "type " << c.type;
        const auto par = laplacianOf(paraboloid, w, h, c.type);
        for (int y = c.reach; y < h - c.reach; ++y)
            for (int x = c.reach; x < w - c.reach; ++x)
                EXPECT_NEAR(par[y * w + x], c.paraboloid, 1e-12) << "type " << c.type << " at " << x << "," << y;
    }
}

TEST(GraphLaplacianDouble, SameStencilAndBorderValuesAsTheFloatKernel)
{
    // Small integers are exact in both types, so the only difference is
    // the final rounding to float.
    const int w = 7;
    const int h = 6;
    const auto f = [](int x, int y) { return (x * 5 + y * 11 + x * y * 3) % 23; };
    const auto asDouble = imageOf<double>(w, h, f);
    const auto asFloat = imageOf<float>(w, h, f);
    for (int type : {3, 5}) {
        const auto d = laplacianOf(asDouble, w, h, type);
        std::vector<float> single(asFloat.size());
        computeGraphLaplacian(asFloat.data(), w * h, single.data(), type, w, h);
        for (int i = 0; i < w * h; ++i)
            EXPECT_EQ(static_cast<float>(d[i]), single[i]) << "type " << type << " at " << i;
    }
}

TEST(GraphLaplacianDouble, WritesNothingForOtherTypesAndStopsAtTheWindow)
{
    const int w = 4;
    const int h = 3;
    const auto img = imageOf<double>(w, h, [](int x, int y) { return x * x * y; });
    for (int type : {0, 4, 7, -3})
        EXPECT_EQ(laplacianOf(img, w, h, type), std::vector<double>(w * h, kUntouched)) << "type " << type;

    std::vector<double> out(w * h, kUntouched);
    computeGraphLaplacianDouble(img.data(), 0, out.data(), 3, w, h);
    computeGraphLaplacianDouble(nullptr, w * h, out.data(), 3, w, h);
    computeGraphLaplacianDouble(img.data(), w * h, out.data(), 3, 0, h);
    EXPECT_EQ(out, std::vector<double>(w * h, kUntouched));

    // A count past the window is cut to it (the sanitizer sees any read
    // beyond); a shorter count writes only its pixels.
    const auto full = laplacianOf(img, w, h, 5);
    std::vector<double> longer(w * h + 5, kUntouched);
    computeGraphLaplacianDouble(img.data(), w * h + 5, longer.data(), 5, w, h);
    std::vector<double> shorter(w * h, kUntouched);
    computeGraphLaplacianDouble(img.data(), 5, shorter.data(), 5, w, h);
    for (int i = 0; i < w * h; ++i) {
        EXPECT_EQ(longer[i], full[i]);
        EXPECT_EQ(shorter[i], i < 5 ? full[i] : kUntouched);
    }
    EXPECT_EQ(longer[w * h], kUntouched);
}

TEST(MeanGraphLaplacian, MeanOfThreeImagesAndItsTimingLine)
{
    const std::vector<float> a{3, 0.5f, -6, 1e-3f};
    const std::vector<float> b{6, 0.25f, 6, 2e-3f};
    const std::vector<float> c{0, 0.75f, 3, 3e-3f};
    std::vector<float> out(4, -1.0f);
    const std::string printed
        = TestSupport::capturedStdout([&] { computeMeanGraphLaplacian(out.data(), a.data(), b.data(), c.data(), 3); });
    EXPECT_THAT(printed, testing::MatchesRegex("Mean GL : elapsed time : [-+0-9.e]+s\n"));
    EXPECT_EQ(out, (std::vector<float>{3, 0.5f, 1, -1.0f}));

    // In place over one of its inputs.
    std::vector<float> inPlace = a;
    TestSupport::quietly([&] { computeMeanGraphLaplacian(inPlace.data(), inPlace.data(), b.data(), c.data(), 4); });
    EXPECT_FLOAT_EQ(inPlace[3], 2e-3f);
    EXPECT_EQ(inPlace[0], 3.0f);

    std::vector<float> untouched(4, -1.0f);
    EXPECT_EQ(TestSupport::capturedStdout(
                  [&] { computeMeanGraphLaplacian(untouched.data(), a.data(), nullptr, c.data(), 4); }),
              "");
    EXPECT_EQ(untouched, std::vector<float>(4, -1.0f));
}
