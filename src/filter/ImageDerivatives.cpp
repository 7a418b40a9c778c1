#include "filter/ImageDerivatives.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <iostream>
#include <memory>

#include "filter/GraphLaplacian.h"
#include "filter/WorkBuffer.h"

namespace {

using Clock = std::chrono::steady_clock;

bool validSize(int width, int height)
{
    return width > 0 && height > 0;
}

long long pixelCount(int width, int height)
{
    return static_cast<long long>(width) * height;
}

// One pixel's central differences; a missing neighbour takes the pixel's own
// value, so a border pixel gets the one-sided difference halved.
inline void gradientAt(const float* row, const float* up, const float* down, int x, bool left, bool right,
                       double factor, float& gx, float& gy)
{
    const float c = row[x];
    const float R = right ? row[x + 1] : c;
    const float L = left ? row[x - 1] : c;
    const float D = down ? down[x] : c;
    const float U = up ? up[x] : c;
    gx = static_cast<float>(static_cast<double>(R - L) * factor);
    gy = static_cast<float>(static_cast<double>(D - U) * factor);
}

} // namespace

void neighbourFlags(std::uint8_t flags[4], int x, int y, int width, int height)
{
    flags[0] = x + 1 != width;
    flags[1] = x != 0;
    flags[2] = y + 1 != height;
    flags[3] = y != 0;
}

void computeGradients(const float* image, float* gx, float* gy, int width, int height, double scale)
{
    if (!image || !gx || !gy || !validSize(width, height))
        return;
    const auto start = Clock::now();
    const double factor = 0.5 * scale;
    for (int y = 0; y < height; ++y) {
        const long long base = static_cast<long long>(y) * width;
        const float* row = image + base;
        const float* up = y != 0 ? row - width : nullptr;
        const float* down = y + 1 != height ? row + width : nullptr;
        float* ox = gx + base;
        float* oy = gy + base;
        if (width == 1) {
            gradientAt(row, up, down, 0, false, false, factor, ox[0], oy[0]);
            continue;
        }
        gradientAt(row, up, down, 0, false, true, factor, ox[0], oy[0]);
        for (int x = 1; x + 1 < width; ++x)
            gradientAt(row, up, down, x, true, true, factor, ox[x], oy[x]);
        gradientAt(row, up, down, width - 1, true, false, factor, ox[width - 1], oy[width - 1]);
    }
    std::cout << "Gradients: elapsed time : " << Filter::secondsSince(start) << "s\n";
}

void computeGradientNorm(float* out, int width, int height, const float* gx, const float* gy, const float* image)
{
    if (!out || !validSize(width, height))
        return;
    const auto start = Clock::now();
    const long long count = pixelCount(width, height);
    // A gradient pair comes whole or not at all: half a pair is ignored and
    // the gradients are derived from the image.
    std::unique_ptr<float[]> ownX;
    std::unique_ptr<float[]> ownY;
    if (!gx || !gy) {
        if (!image)
            return;
        ownX.reset(new float[static_cast<std::size_t>(count)]);
        ownY.reset(new float[static_cast<std::size_t>(count)]);
        computeGradients(image, ownX.get(), ownY.get(), width, height, 1.0);
        gx = ownX.get();
        gy = ownY.get();
    }
    for (long long i = 0; i < count; ++i)
        out[i] = std::sqrt(gx[i] * gx[i] + gy[i] * gy[i]);
    std::cout << "Norm of gradients: elapsed time: " << Filter::secondsSince(start) << "s\n";
}

void computeEdgeDetector(float* out, const float* s1, const float* s2, const float* s3, int count, double K)
{
    if (!out || !s1 || count < 1)
        return;
    const auto start = Clock::now();
    // The three-channel form needs both further channels; one alone counts
    // as none.
    if (s2 && s3) {
        for (int i = 0; i < count; ++i) {
            const double a = s1[i];
            const double b = s2[i];
            const double c = s3[i];
            out[i] = static_cast<float>(1.0 / (K * (a * a / 3 + b * b / 3 + c * c / 3) + 1.0));
        }
    } else {
        for (int i = 0; i < count; ++i) {
            const double a = s1[i];
            out[i] = static_cast<float>(1.0 / (a * K * a + 1.0));
        }
    }
    std::cout << "Edge detector: elapsed time : " << Filter::secondsSince(start) << "s\n";
}

void computeMaxGradients(float* outX, float* outY, const float* gx1, const float* gy1, const float* gx2,
                         const float* gy2, const float* gx3, const float* gy3, int count)
{
    if (!outX || !outY || !gx1 || !gy1 || !gx2 || !gy2 || !gx3 || !gy3 || count < 1)
        return;
    const auto start = Clock::now();
    // Strictly larger replaces, so among equal magnitudes the first channel
    // stays. Written as selects rather than branches: the winner changes
    // unpredictably from pixel to pixel, and selects vectorise.
    auto largest = [](float a, float b, float c) {
        const float magB = std::fabs(b);
        const float magC = std::fabs(c);
        float best = a;
        float mag = std::fabs(a);
        best = magB > mag ? b : best;
        mag = magB > mag ? magB : mag;
        return magC > mag ? c : best;
    };
    // One output per loop keeps the alias checks few enough to vectorise.
    for (int i = 0; i < count; ++i)
        outX[i] = largest(gx1[i], gx2[i], gx3[i]);
    for (int i = 0; i < count; ++i)
        outY[i] = largest(gy1[i], gy2[i], gy3[i]);
    std::cout << "Max gradients: elapsed time : " << Filter::secondsSince(start) << "s\n";
}

void computeGraphLaplacian(const float* image, int count, float* out, int type, int width, int height)
{
    if (!image || !out || count < 1 || !validSize(width, height))
        return;
    // A count beyond the image would read past its last row.
    const long long pixels = std::min<long long>(count, pixelCount(width, height));
    if (type == 3)
        Filter::graphLaplacian<float, 3>(image, pixels, out, width, height);
    else if (type == 5)
        Filter::graphLaplacian<float, 5>(image, pixels, out, width, height);
}
