// Raster downsampling: block means and decimation on images whose values
// encode their coordinates (so every result names the cells it came from),
// mirror padding, the smoothing filters on cosine modes, and rasters smaller
// than the padding.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "filter/Downsampling.h"

namespace {

using Raster = std::unique_ptr<float[]>;

// u = x + 100 y: a cell's value tells its column and row.
std::vector<float> coordinates(int width, int height)
{
    std::vector<float> img(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            img[y * width + x] = static_cast<float>(x + 100 * y);
    return img;
}

std::vector<float> toVector(const Raster& r, int width, int height)
{
    return {r.get(), r.get() + static_cast<std::size_t>(width) * height};
}

double sumOf(const float* v, std::size_t n)
{
    double s = 0.0;
    for (std::size_t i = 0; i < n; ++i)
        s += v[i];
    return s;
}

// Cosine mode that mirror padding (edge cell counted at distance 0) extends
// as the same cosine, so any symmetric stencil maps it onto a multiple.
std::vector<float> cosineMode(int width, int height, int k, int l)
{
    const double pi = std::numbers::pi;
    std::vector<float> img(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            img[y * width + x] = static_cast<float>(std::cos(pi * k * (x + 0.5) / width)
                                                    * std::cos(pi * l * (y + 0.5) / height));
    return img;
}

} // namespace

// ---------------------------------------------------------------- averaging

TEST(DownsampleAverage, BlockMeansConserveTheSum)
{
    const int w = 24;
    const int h = 16;
    std::vector<float> img(w * h);
    for (int i = 0; i < w * h; ++i)
        img[i] = static_cast<float>((i * 37) % 101) / 7.0f;
    for (int factor : {1, 2, 4, 8}) {
        Raster out(downsampleRaster(img.data(), w, h, factor, 0, 0));
        ASSERT_TRUE(out) << factor;
        const std::size_t cells = static_cast<std::size_t>(w / factor) * (h / factor);
        EXPECT_NEAR(sumOf(out.get(), cells) * factor * factor, sumOf(img.data(), img.size()), 1e-2) << factor;
    }
    // Factor 1 is a copy.
    Raster copy(downsampleRaster(img.data(), w, h, 1, 0, 0));
    EXPECT_EQ(toVector(copy, w, h), img);
}

TEST(DownsampleAverage, PlainBlockMeansWhenTheFactorDividesTheSize)
{
    const auto img = coordinates(8, 6);
    Raster out(downsampleRaster(img.data(), 8, 6, 2, 0, 0));
    ASSERT_TRUE(out);
    // Cell (row i, column j) is the mean of columns 2j, 2j+1 and rows 2i, 2i+1.
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 4; ++j)
            EXPECT_EQ(out[i * 4 + j], (2 * j + 0.5f) + 100 * (2 * i + 0.5f)) << i << "," << j;
}

TEST(DownsampleAverage, PartialBlocksAreCompletedByMirrorImages)
{
    // 13 x 10 by 4 gives 4 x 3. The last column block is column 12 and the
    // mirrored columns 12, 11, 10; the last row block rows 8, 9, 9, 8.
    const auto img = coordinates(13, 10);
    Raster out(downsampleRaster(img.data(), 13, 10, 4, 0, 0));
    ASSERT_TRUE(out);
    const float lastColumns = (12 + 12 + 11 + 10) / 4.0f;
    const float lastRows = (8 + 9 + 9 + 8) / 4.0f;
    EXPECT_EQ(out[0 * 4 + 3], lastColumns + 100 * 1.5f);
    EXPECT_EQ(out[2 * 4 + 0], 1.5f + 100 * lastRows);
    EXPECT_EQ(out[2 * 4 + 3], lastColumns + 100 * lastRows);
    EXPECT_EQ(out[1 * 4 + 1], 5.5f + 100 * 5.5f);

    // As for a 12500-wide plane by 8: the last output column averages the
    // last 4 columns and their 4 mirror images.
    const auto wide = coordinates(12, 8);
    Raster w8(downsampleRaster(wide.data(), 12, 8, 8, 0, 0));
    ASSERT_TRUE(w8);
    EXPECT_EQ(w8[1], (8 + 9 + 10 + 11) / 4.0f + 100 * 3.5f);
}

TEST(DownsampleAverage, FiltersAfterAveragingAndRejectsUnknownFilters)
{
    const auto img = coordinates(16, 12);
    Raster plain(downsampleRaster(img.data(), 16, 12, 2, 0, 0));
    ASSERT_TRUE(plain);
    for (int filter : {1, 2}) {
        Raster filtered(downsampleRaster(img.data(), 16, 12, 2, 0, filter));
        ASSERT_TRUE(filtered) << filter;
        std::vector<float> expected(8 * 6);
        ASSERT_TRUE(filter == 1 ? smoothGaussian5x5(plain.get(), 8, 6, expected.data())
                                : smoothFivePoint(plain.get(), 8, 6, expected.data(), 1));
        EXPECT_EQ(toVector(filtered, 8, 6), expected) << filter;
    }
    EXPECT_EQ(downsampleRaster(img.data(), 16, 12, 2, 0, 3), nullptr);
    EXPECT_EQ(downsampleRaster(img.data(), 16, 12, 2, 0, -1), nullptr);
}

TEST(DownsampleAverage, AnyRunOfRowsIsThoseRowsOfTheWholeReduction)
{
    // Values with no exact float sum, so a change of summation order shows.
    struct Case {
        int width;
        int height;
        int factor;
    };
    for (const Case c : {Case{13, 10, 4}, Case{12, 8, 8}, Case{31, 17, 2}, Case{9, 7, 1}}) {
        std::vector<float> img(static_cast<std::size_t>(c.width) * c.height);
        for (std::size_t i = 0; i < img.size(); ++i)
            img[i] = static_cast<float>((i * 37) % 101) / 7.0f;
        Raster whole(downsampleRaster(img.data(), c.width, c.height, c.factor, 0, 0));
        ASSERT_TRUE(whole);
        const int outWidth = (c.width + c.factor - 1) / c.factor;
        const int outHeight = (c.height + c.factor - 1) / c.factor;
        for (int first = 0; first < outHeight; ++first) {
            for (int count = 0; first + count <= outHeight; ++count) {
                std::vector<float> rows(static_cast<std::size_t>(count) * outWidth, -1.0f);
                ASSERT_TRUE(averageBlockRows(img.data(), c.width, c.height, c.factor, first, count, rows.data()));
                EXPECT_EQ(rows, std::vector<float>(whole.get() + first * outWidth,
                                                   whole.get() + (first + count) * outWidth))
                    << c.width << " x " << c.height << " by " << c.factor << ", rows " << first << " + " << count;
            }
        }
        // Rows past the result, and arguments downsampleRaster refuses too.
        std::vector<float> out(static_cast<std::size_t>(outWidth) * outHeight);
        EXPECT_FALSE(averageBlockRows(img.data(), c.width, c.height, c.factor, outHeight, 1, out.data()));
        EXPECT_FALSE(averageBlockRows(img.data(), c.width, c.height, c.factor, 0, outHeight + 1, out.data()));
        EXPECT_FALSE(averageBlockRows(img.data(), c.width, c.height, c.factor, -1, 1, out.data()));
        EXPECT_FALSE(averageBlockRows(img.data(), c.width, c.height, 0, 0, 1, out.data()));
        EXPECT_FALSE(averageBlockRows(nullptr, c.width, c.height, c.factor, 0, 1, out.data()));
        EXPECT_FALSE(averageBlockRows(img.data(), c.width, c.height, 1 << 20, 0, 1, out.data()));
    }
}

// ---------------------------------------------------------------- decimation

TEST(DownsampleDecimation, PowersOfTwoHalveRepeatedly)
{
    // 25 -> 13 -> 7 -> 4 as 12500 -> 6250 -> 3125 -> 1563: each halving pads
    // an odd size by one mirrored cell and keeps every other sample. By 8 the
    // kept columns are 0, 8, 16, 24; rows 0, 8, 16 of 20 (20 -> 10 -> 5 -> 3).
    const auto img = coordinates(25, 20);
    Raster by8(downsampleRaster(img.data(), 25, 20, 8, 1, 0));
    ASSERT_TRUE(by8);
    const int columns[] = {0, 8, 16, 24};
    const int rows[] = {0, 8, 16};
    for (int j = 0; j < 3; ++j)
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(by8[j * 4 + k], columns[k] + 100.0f * rows[j]) << j << "," << k;

    // By 4 is two halvings.
    Raster by4(downsampleRaster(img.data(), 25, 20, 4, 1, 0));
    Raster half(downsampleRaster(img.data(), 25, 20, 2, 1, 0));
    ASSERT_TRUE(by4 && half);
    Raster halfOfHalf(downsampleRaster(half.get(), 13, 10, 2, 1, 0));
    EXPECT_EQ(toVector(by4, 7, 5), toVector(halfOfHalf, 7, 5));
}

TEST(DownsampleDecimation, OtherFactorsTakeOneStepOnTheEvenPaddedRaster)
{
    // 7 x 5 padded to 8 x 6, every third sample: columns 0, 3 and rows 0, 3.
    const auto img = coordinates(7, 5);
    Raster by3(downsampleRaster(img.data(), 7, 5, 3, 1, 0));
    ASSERT_TRUE(by3);
    EXPECT_EQ(toVector(by3, 2, 2), (std::vector<float>{0, 3, 300, 303}));

    // 6 x 4 by 5: 1 x 0 cells, nothing to return.
    EXPECT_EQ(downsampleRaster(img.data(), 6, 4, 5, 1, 0), nullptr);
    // Factor 1 reduces nothing.
    EXPECT_EQ(downsampleRaster(img.data(), 7, 5, 1, 1, 0), nullptr);
}

TEST(DownsampleDecimation, FiltersEveryStepAndSaysSo)
{
    const auto img = coordinates(16, 16);
    for (int filter : {1, 2}) {
        Raster out;
        const std::string printed = TestSupport::capturedStdout([&] { out.reset(downsampleRaster(img.data(), 16, 16, 4, 1, filter)); });
        ASSERT_TRUE(out);
        EXPECT_EQ(printed, "performing filtration...filtration done\nperforming filtration...filtration done\n");

        // The first step: smooth, then keep every other sample.
        std::vector<float> smoothed(16 * 16);
        ASSERT_TRUE(filter == 2 ? smoothFivePoint(img.data(), 16, 16, smoothed.data(), 3)
                                : smoothGaussian5x5(img.data(), 16, 16, smoothed.data()));
        Raster step1(downsampleRaster(smoothed.data(), 16, 16, 2, 1, 0));
        std::vector<float> smoothed2(8 * 8);
        ASSERT_TRUE(filter == 2 ? smoothFivePoint(step1.get(), 8, 8, smoothed2.data(), 3)
                                : smoothGaussian5x5(step1.get(), 8, 8, smoothed2.data()));
        Raster step2(downsampleRaster(smoothed2.data(), 8, 8, 2, 1, 0));
        EXPECT_EQ(toVector(out, 4, 4), toVector(step2, 4, 4)) << filter;
    }
    // An unknown filter is refused before anything happens.
    EXPECT_EQ(TestSupport::capturedStdout([&] { EXPECT_EQ(downsampleRaster(img.data(), 16, 16, 4, 1, 7), nullptr); }), "");
}

// ---------------------------------------------------------------- arguments

TEST(Downsample, RejectsUnknownMethodsAndInvalidArguments)
{
    const auto img = coordinates(8, 8);
    EXPECT_EQ(downsampleRaster(img.data(), 8, 8, 2, 2, 0), nullptr);
    EXPECT_EQ(downsampleRaster(img.data(), 8, 8, 2, -1, 0), nullptr);
    for (int method : {0, 1}) {
        EXPECT_EQ(downsampleRaster(nullptr, 8, 8, 2, method, 0), nullptr);
        EXPECT_EQ(downsampleRaster(img.data(), 8, 8, 0, method, 0), nullptr);
        EXPECT_EQ(downsampleRaster(img.data(), 8, 8, -2, method, 0), nullptr);
        EXPECT_EQ(downsampleRaster(img.data(), 0, 8, 2, method, 0), nullptr);
        EXPECT_EQ(downsampleRaster(img.data(), 8, -1, 2, method, 0), nullptr);
    }
    // A factor far beyond the raster: averaging would only sum mirror copies.
    EXPECT_EQ(downsampleRaster(img.data(), 8, 8, 1 << 30, 0, 0), nullptr);
    Raster halvedThirtyTimes(downsampleRaster(img.data(), 8, 8, 1 << 30, 1, 0));
    ASSERT_TRUE(halvedThirtyTimes);
    EXPECT_EQ(halvedThirtyTimes[0], 0.0f);

    float out[4];
    EXPECT_FALSE(smoothFivePoint(nullptr, 2, 2, out, 1));
    EXPECT_FALSE(smoothGaussian5x5(nullptr, 2, 2, out));
    EXPECT_FALSE(smoothGaussian5x5(img.data(), 2, 2, nullptr));
    EXPECT_EQ(padRasterBorder(nullptr, 2, 2, 1), nullptr);
    EXPECT_EQ(padRasterToMultiple(img.data(), 2, 2, -1, 0), nullptr);
}

TEST(Downsample, ConstantRastersStayConstant)
{
    const int w = 11;
    const int h = 7;
    const float value = 0.75f;
    const std::vector<float> img(w * h, value);
    struct Case {
        int factor, method, filter;
        int outWidth, outHeight;
        float scale; // of the value
    };
    const Case cases[] = {
        {3, 0, 0, 4, 3, 1.0f}, {3, 0, 2, 4, 3, 1.0f}, {3, 0, 1, 4, 3, 0.999998336f},
        {2, 1, 0, 6, 4, 1.0f}, {4, 1, 2, 3, 2, 1.0f}, {3, 1, 0, 4, 2, 1.0f},
    };
    for (const auto& c : cases) {
        Raster out(downsampleRaster(img.data(), w, h, c.factor, c.method, c.filter));
        ASSERT_TRUE(out) << c.factor << " " << c.method << " " << c.filter;
        for (int i = 0; i < c.outWidth * c.outHeight; ++i)
            ASSERT_NEAR(out[i], value * c.scale, 1e-6f)
                << c.factor << " " << c.method << " " << c.filter << " cell " << i;
    }
}

TEST(Downsample, TinyRastersNeverReadOutside)
{
    // Pads wider than the raster repeat its far edge; ASan reports any read
    // past these exactly sized arrays.
    const int sizes[][2] = {{1, 1}, {1, 2}, {2, 1}, {2, 3}, {3, 2}, {1, 5}};
    for (const auto& size : sizes) {
        const int w = size[0];
        const int h = size[1];
        const std::vector<float> img(w * h, 2.0f);
        for (int factor = 1; factor <= 9; ++factor) {
            for (int method : {0, 1}) {
                for (int filter : {0, 1, 2}) {
                    Raster out;
                    TestSupport::capturedStdout([&] { out.reset(downsampleRaster(img.data(), w, h, factor, method, filter)); });
                    if (method == 0) {
                        ASSERT_TRUE(out) << w << "x" << h << " by " << factor << " filter " << filter;
                    }
                    if (!out)
                        continue;
                    // Every result keeps the constant; only the 5 x 5 kernel
                    // scales it a little.
                    const float expected = filter == 1 ? 2.0f * 0.999998336f : 2.0f;
                    EXPECT_NEAR(out[0], expected, 2e-5f) << w << "x" << h << " by " << factor << " method " << method;
                }
            }
        }
    }
}

// ---------------------------------------------------------------- smoothing

TEST(Smoothing, FivePointMultipliesACosineModeByItsSymbol)
{
    const double pi = std::numbers::pi;
    const int w = 12;
    const int h = 9;
    for (auto [k, l] : {std::pair{0, 0}, std::pair{1, 0}, std::pair{3, 2}, std::pair{11, 8}}) {
        const auto img = cosineMode(w, h, k, l);
        std::vector<float> out(w * h);
        ASSERT_TRUE(smoothFivePoint(img.data(), w, h, out.data(), 1));
        const double factor = 0.15 * (2 * std::cos(pi * k / w) + 2 * std::cos(pi * l / h)) + 0.39999998;
        for (int i = 0; i < w * h; ++i)
            ASSERT_NEAR(out[i], factor * img[i], 1e-6) << "mode " << k << "," << l << " cell " << i;

        // Three passes: the factor cubed.
        ASSERT_TRUE(smoothFivePoint(img.data(), w, h, out.data(), 3));
        for (int i = 0; i < w * h; ++i)
            ASSERT_NEAR(out[i], factor * factor * factor * img[i], 2e-6) << "mode " << k << "," << l;
    }
}

TEST(Smoothing, GaussianMultipliesACosineModeByItsSymbol)
{
    const double pi = std::numbers::pi;
    const double K[5][5] = {
        {0.000664574, 0.00600398, 0.01241, 0.00600398, 0.000664574},
        {0.00600398, 0.0542418, 0.112116, 0.0542418, 0.00600398},
        {0.01241, 0.112116, 0.234237, 0.112116, 0.01241},
        {0.00600398, 0.0542418, 0.112116, 0.0542418, 0.00600398},
        {0.000664574, 0.00600398, 0.01241, 0.00600398, 0.000664574},
    };
    const int w = 10;
    const int h = 8;
    for (auto [k, l] : {std::pair{0, 0}, std::pair{2, 0}, std::pair{1, 3}, std::pair{9, 7}}) {
        const auto img = cosineMode(w, h, k, l);
        std::vector<float> out(w * h);
        ASSERT_TRUE(smoothGaussian5x5(img.data(), w, h, out.data()));
        double factor = 0.0;
        for (int r = 0; r < 5; ++r)
            for (int c = 0; c < 5; ++c)
                factor += K[r][c] * std::cos(pi * k * (c - 2) / w) * std::cos(pi * l * (r - 2) / h);
        for (int i = 0; i < w * h; ++i)
            ASSERT_NEAR(out[i], factor * img[i], 1e-6) << "mode " << k << "," << l << " cell " << i;
    }
}

TEST(Smoothing, OutputMayBeTheInput)
{
    const auto img = cosineMode(9, 7, 2, 1);
    for (int passes : {1, 2, 3}) {
        std::vector<float> separate(img.size());
        ASSERT_TRUE(smoothFivePoint(img.data(), 9, 7, separate.data(), passes));
        std::vector<float> inPlace = img;
        ASSERT_TRUE(smoothFivePoint(inPlace.data(), 9, 7, inPlace.data(), passes));
        EXPECT_EQ(inPlace, separate) << passes;
    }
    std::vector<float> separate(img.size());
    ASSERT_TRUE(smoothGaussian5x5(img.data(), 9, 7, separate.data()));
    std::vector<float> inPlace = img;
    ASSERT_TRUE(smoothGaussian5x5(inPlace.data(), 9, 7, inPlace.data()));
    EXPECT_EQ(inPlace, separate);
}

// ---------------------------------------------------------------- padding

TEST(Padding, MirrorsTheEdgeCellFirst)
{
    // 3 x 2 padded by 2 on all sides: columns -2, -1 take 1, 0; columns 3, 4
    // take 2, 1; rows likewise, corners from the mirrored rows.
    const auto img = coordinates(3, 2);
    Raster border(padRasterBorder(img.data(), 3, 2, 2));
    ASSERT_TRUE(border);
    const int columns[] = {1, 0, 0, 1, 2, 2, 1};
    const int rows[] = {1, 0, 0, 1, 1, 0};
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 7; ++x)
            EXPECT_EQ(border[y * 7 + x], columns[x] + 100.0f * rows[y]) << x << "," << y;

    // Right and bottom only.
    Raster multiple(padRasterToMultiple(img.data(), 3, 2, 2, 1));
    ASSERT_TRUE(multiple);
    const int columnsRB[] = {0, 1, 2, 2, 1};
    const int rowsRB[] = {0, 1, 1};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(multiple[y * 5 + x], columnsRB[x] + 100.0f * rowsRB[y]) << x << "," << y;
}

TEST(Padding, PadsWiderThanTheRasterRepeatTheFarEdge)
{
    const auto img = coordinates(2, 1);
    Raster border(padRasterBorder(img.data(), 2, 1, 3));
    ASSERT_TRUE(border);
    // Columns -3 .. 4 map to 1 (clamped), 1, 0 | 0, 1 | 1, 0, 0 (clamped).
    const int columns[] = {1, 1, 0, 0, 1, 1, 0, 0};
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(border[y * 8 + x], static_cast<float>(columns[x])) << x << "," << y;

    Raster multiple(padRasterToMultiple(img.data(), 2, 1, 4, 2));
    ASSERT_TRUE(multiple);
    const int columnsRB[] = {0, 1, 1, 0, 0, 0};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(multiple[y * 6 + x], static_cast<float>(columnsRB[x])) << x << "," << y;
}
