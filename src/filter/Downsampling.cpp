#include "filter/Downsampling.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <iostream>
#include <memory>
#include <new>
#include <vector>

namespace {

using Raster = std::unique_ptr<float[]>;

constexpr float kFivePointSide = 0.15f;
// The float just below 0.4f: with it, four sides and the centre add up to 1
// within single-precision rounding.
constexpr float kFivePointCentre = 0.39999998f;

// Symmetric 5 x 5 Gaussian kernel; its entries sum to 0.999998336.
constexpr double kGaussian[5][5] = {
    {0.000664574, 0.00600398, 0.01241, 0.00600398, 0.000664574},
    {0.00600398, 0.0542418, 0.112116, 0.0542418, 0.00600398},
    {0.01241, 0.112116, 0.234237, 0.112116, 0.01241},
    {0.00600398, 0.0542418, 0.112116, 0.0542418, 0.00600398},
    {0.000664574, 0.00600398, 0.01241, 0.00600398, 0.000664574},
};

// Padded area always allowed to a small raster, whatever its factor.
constexpr long long kMaxTinyPaddedArea = 1LL << 24;

bool validRaster(const float* raster, int width, int height)
{
    return raster && width > 0 && height > 0;
}

std::size_t cellCount(long long width, long long height)
{
    return static_cast<std::size_t>(width * height);
}

// Index inside [0, size) of position p under mirror padding: -1 -> 0,
// -2 -> 1, size -> size - 1, size + 1 -> size - 2. Pads wider than the
// raster clamp to its far edge rather than leave it.
inline int mirror(long long p, int size)
{
    if (p < 0)
        return static_cast<int>(std::min<long long>(-1 - p, size - 1));
    if (p >= size)
        return static_cast<int>(std::max<long long>(2LL * size - 1 - p, 0));
    return static_cast<int>(p);
}

// Mirror indices of the positions first .. first + count - 1.
std::vector<int> mirrorTable(long long first, long long count, int size)
{
    std::vector<int> table(static_cast<std::size_t>(count));
    for (long long k = 0; k < count; ++k)
        table[static_cast<std::size_t>(k)] = mirror(first + k, size);
    return table;
}

// A new raster of outWidth x outHeight whose cell (x, y) is input cell
// (mirror(x - offset), mirror(y - offset)).
float* mirrorPad(const float* in, int width, int height, long long outWidth, long long outHeight, int offset)
{
    if (outWidth > INT_MAX || outHeight > INT_MAX)
        return nullptr;
    Raster out(new float[cellCount(outWidth, outHeight)]);
    const std::vector<int> columns = mirrorTable(-offset, outWidth, width);
    for (long long y = 0; y < outHeight; ++y) {
        const float* src = in + static_cast<long long>(mirror(y - offset, height)) * width;
        float* dst = out.get() + y * outWidth;
        for (long long x = 0; x < outWidth; ++x)
            dst[x] = src[columns[static_cast<std::size_t>(x)]];
    }
    return out.release();
}

// One five-point pass of in into out (distinct arrays), borders mirrored.
void fivePointPass(const float* in, int width, int height, float* out)
{
    for (int y = 0; y < height; ++y) {
        const float* row = in + static_cast<long long>(y) * width;
        const float* up = in + static_cast<long long>(mirror(y - 1LL, height)) * width;
        const float* down = in + static_cast<long long>(mirror(y + 1LL, height)) * width;
        float* dst = out + static_cast<long long>(y) * width;
        for (int x = 0; x < width; ++x) {
            const float left = row[x != 0 ? x - 1 : 0];
            const float right = row[x + 1 != width ? x + 1 : width - 1];
            dst[x] = kFivePointSide * (up[x] + down[x] + left + right) + kFivePointCentre * row[x];
        }
    }
}

// One step of decimation: cell (j, k) of the result is cell (j * step,
// k * step) of the raster padded to even sizes.
Raster decimate(const float* in, int width, int height, int step, int& outWidth, int& outHeight)
{
    const long long evenWidth = width + (width % 2);
    const long long evenHeight = height + (height % 2);
    outWidth = static_cast<int>(evenWidth / step);
    outHeight = static_cast<int>(evenHeight / step);
    if (outWidth == 0 || outHeight == 0)
        return nullptr;
    Raster out(new float[cellCount(outWidth, outHeight)]);
    for (int j = 0; j < outHeight; ++j) {
        const float* src = in + static_cast<long long>(mirror(static_cast<long long>(j) * step, height)) * width;
        float* dst = out.get() + static_cast<long long>(j) * outWidth;
        for (int k = 0; k < outWidth; ++k)
            dst[k] = src[mirror(static_cast<long long>(k) * step, width)];
    }
    return out;
}

// The padded size of a reduction by f, false when it is out of bounds: the
// padded raster must stay addressable by int sizes, and a factor far beyond
// the raster's size would only spend its time summing mirror copies of the
// same few cells, so its padded area is bounded.
bool averageFits(int width, int height, long long f, long long& outWidth, long long& outHeight)
{
    outWidth = (width + f - 1) / f;
    outHeight = (height + f - 1) / f;
    const long long paddedWidth = outWidth * f;
    const long long paddedHeight = outHeight * f;
    return paddedWidth <= INT_MAX && paddedHeight <= INT_MAX
           && paddedWidth * paddedHeight <= std::max(4LL * width * height, kMaxTinyPaddedArea);
}

// Rows first .. first + count - 1 of the block means by f into out, outWidth
// values a row; blocks past the right or bottom edge are completed by mirror
// padding.
void averageRows(const float* raster, int width, int height, long long f, long long outWidth, long long first,
                 long long count, float* out)
{
    const std::vector<int> columns = mirrorTable(0, outWidth * f, width);
    std::vector<float> sums(static_cast<std::size_t>(outWidth));
    const float area = static_cast<float>(f * f);
    for (long long i = first; i < first + count; ++i) {
        // Row by row over the block rows, each block's columns in order: every
        // cell sums its block rows first, columns second, in single precision.
        std::fill(sums.begin(), sums.end(), 0.0f);
        for (long long r = 0; r < f; ++r) {
            const float* src = raster + static_cast<long long>(mirror(i * f + r, height)) * width;
            const int* column = columns.data();
            for (long long j = 0; j < outWidth; ++j) {
                float sum = sums[static_cast<std::size_t>(j)];
                for (long long c = 0; c < f; ++c)
                    sum += src[*column++];
                sums[static_cast<std::size_t>(j)] = sum;
            }
        }
        float* dst = out + (i - first) * outWidth;
        for (long long j = 0; j < outWidth; ++j)
            dst[j] = sums[static_cast<std::size_t>(j)] / area;
    }
}

} // namespace

float* downsampleRaster(const float* raster, int width, int height, int factor, int method, int filter)
{
    try {
        if (method == 0)
            return downsampleByAverage(raster, width, height, factor, filter);
        if (method == 1)
            return downsampleByDecimation(raster, width, height, factor, filter);
    } catch (const std::bad_alloc&) {
    }
    return nullptr;
}

float* downsampleByAverage(const float* raster, int width, int height, int factor, int filter)
{
    if (!validRaster(raster, width, height) || factor < 1 || filter < 0 || filter > 2)
        return nullptr;
    long long outWidth = 0;
    long long outHeight = 0;
    if (!averageFits(width, height, factor, outWidth, outHeight))
        return nullptr;

    Raster averaged(new float[cellCount(outWidth, outHeight)]);
    averageRows(raster, width, height, factor, outWidth, 0, outHeight, averaged.get());

    if (filter == 0)
        return averaged.release();
    const int ow = static_cast<int>(outWidth);
    const int oh = static_cast<int>(outHeight);
    Raster smoothed(new float[cellCount(outWidth, outHeight)]);
    const bool ok = filter == 1 ? smoothGaussian5x5(averaged.get(), ow, oh, smoothed.get())
                                : smoothFivePoint(averaged.get(), ow, oh, smoothed.get(), 1);
    return ok ? smoothed.release() : nullptr;
}

bool averageBlockRows(const float* raster, int width, int height, int factor, int first, int count, float* out)
{
    long long outWidth = 0;
    long long outHeight = 0;
    if (!validRaster(raster, width, height) || factor < 1 || (count > 0 && !out) || first < 0 || count < 0
        || !averageFits(width, height, factor, outWidth, outHeight) || first + static_cast<long long>(count) > outHeight)
        return false;
    try {
        averageRows(raster, width, height, factor, outWidth, first, count, out);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

float* downsampleByDecimation(const float* raster, int width, int height, int factor, int filter)
{
    if (!validRaster(raster, width, height) || factor < 1 || filter < 0 || filter > 2)
        return nullptr;
    // A power of two 2^n is n halvings; factor 1 (n = 0) reduces nothing.
    int steps = 1;
    int step = factor;
    if ((factor & (factor - 1)) == 0) {
        if (factor == 1)
            return nullptr;
        steps = 0;
        for (int f = factor; f > 1; f >>= 1)
            ++steps;
        step = 2;
    }

    const float* current = raster;
    Raster owned;
    int w = width;
    int h = height;
    for (int s = 0; s < steps; ++s) {
        if (filter != 0) {
            std::cout << "performing filtration...";
            Raster smoothed(new float[cellCount(w, h)]);
            const bool ok = filter == 2 ? smoothFivePoint(current, w, h, smoothed.get(), 3)
                                        : smoothGaussian5x5(current, w, h, smoothed.get());
            if (!ok)
                return nullptr;
            std::cout << "filtration done\n";
            owned = std::move(smoothed);
            current = owned.get();
        }
        int nw = 0;
        int nh = 0;
        Raster next = decimate(current, w, h, step, nw, nh);
        if (!next)
            return nullptr;
        owned = std::move(next);
        current = owned.get();
        w = nw;
        h = nh;
    }
    return owned.release();
}

bool smoothFivePoint(const float* in, int width, int height, float* out, int passes)
{
    if (!validRaster(in, width, height) || !out)
        return false;
    const std::size_t count = cellCount(width, height);
    try {
        if (passes < 1) {
            if (in != out)
                std::memcpy(out, in, count * sizeof(float));
            return true;
        }
        // Passes alternate between out and one spare array, arranged so the
        // last pass writes into out; an input that is out itself is copied
        // first.
        Raster spare;
        Raster source;
        if (in == out || passes > 1)
            spare.reset(new float[count]);
        if (in == out) {
            source.reset(new float[count]);
            std::memcpy(source.get(), in, count * sizeof(float));
            in = source.get();
        }
        const float* src = in;
        for (int p = 0; p < passes; ++p) {
            float* dst = (passes - 1 - p) % 2 == 0 ? out : spare.get();
            fivePointPass(src, width, height, dst);
            src = dst;
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool smoothGaussian5x5(const float* in, int width, int height, float* out)
{
    if (!validRaster(in, width, height) || !out)
        return false;
    try {
        Raster source;
        if (in == out) {
            const std::size_t count = cellCount(width, height);
            source.reset(new float[count]);
            std::memcpy(source.get(), in, count * sizeof(float));
            in = source.get();
        }
        // Column c of the kernel at output column x reads input column
        // columns[x + c] (mirror padding by 2).
        const std::vector<int> columns = mirrorTable(-2, width + 4LL, width);
        for (int y = 0; y < height; ++y) {
            const float* rows[5];
            for (int r = 0; r < 5; ++r)
                rows[r] = in + static_cast<long long>(mirror(static_cast<long long>(y) + r - 2, height)) * width;
            float* dst = out + static_cast<long long>(y) * width;
            for (int x = 0; x < width; ++x) {
                const int* column = columns.data() + x;
                float sum = 0.0f;
                for (int r = 0; r < 5; ++r) {
                    for (int c = 0; c < 5; ++c)
                        sum += kGaussian[r][c] * static_cast<double>(rows[r][column[c]]);
                }
                dst[x] = sum;
            }
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

float* padRasterToMultiple(const float* in, int width, int height, int padRight, int padBottom)
{
    if (!validRaster(in, width, height) || padRight < 0 || padBottom < 0)
        return nullptr;
    return mirrorPad(in, width, height, static_cast<long long>(width) + padRight,
                     static_cast<long long>(height) + padBottom, 0);
}

float* padRasterBorder(const float* in, int width, int height, int k)
{
    if (!validRaster(in, width, height) || k < 0)
        return nullptr;
    return mirrorPad(in, width, height, width + 2LL * k, height + 2LL * k, k);
}
