#include "filter/ImageDerivatives.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <iostream>
#include <memory>

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

const double kInvSqrt2 = 1.0 / std::sqrt(2.0);
const double kInvSqrt8 = 1.0 / std::sqrt(8.0);
const double kInvSqrt5 = 1.0 / std::sqrt(5.0);

// Graph Laplacian of the pixel (x, y). Border = false promises that the whole
// 5 x 5 (Type 5) or 3 x 3 (Type 3) neighbourhood lies inside the image, which
// lets the compiler drop every existence test; both variants evaluate the same
// expressions in the same order, so they give identical values.
template <int Type, bool Border>
float graphLaplacianAt(const float* image, int x, int y, int width, int height)
{
    const float* row = image + static_cast<long long>(y) * width;
    auto at = [row, width](int column, int rowOffset) {
        return row[static_cast<long long>(rowOffset) * width + column];
    };
    const float c = row[x];

    const bool cR = !Border || x + 1 < width;
    const bool cL = !Border || x > 0;
    const bool rD = !Border || y + 1 < height;
    const bool rU = !Border || y > 0;

    const float R = cR ? at(x + 1, 0) : c;
    const float L = cL ? at(x - 1, 0) : c;
    const float D = rD ? at(x, 1) : c;
    const float U = rU ? at(x, -1) : c;
    const float DR = (cR && rD) ? at(x + 1, 1) : c;
    const float DL = (cL && rD) ? at(x - 1, 1) : c;
    const float UR = (cR && rU) ? at(x + 1, -1) : c;
    const float UL = (cL && rU) ? at(x - 1, -1) : c;

    const float axial = (c - R) + (c - L) + (c - D) + (c - U);
    const float diagonal = (c - DR) + (c - DL) + (c - UR) + (c - UL);
    double sum = static_cast<double>(axial) + kInvSqrt2 * static_cast<double>(diagonal);

    if constexpr (Type == 5) {
        const bool cR2 = !Border || x + 2 < width;
        const bool cL2 = !Border || x > 1;
        const bool rD2 = !Border || y + 2 < height;
        const bool rU2 = !Border || y > 1;

        // A missing far neighbour takes the value used for the near one on
        // the same side: axial and (2, 1) cells the axial value, (1, 2) cells
        // the row neighbour's, (2, 2) cells the diagonal's.
        const float R2 = cR2 ? at(x + 2, 0) : R;
        const float L2 = cL2 ? at(x - 2, 0) : L;
        const float D2 = rD2 ? at(x, 2) : D;
        const float U2 = rU2 ? at(x, -2) : U;

        const float R2D = (cR2 && rD) ? at(x + 2, 1) : R;
        const float R2U = (cR2 && rU) ? at(x + 2, -1) : R;
        const float L2D = (cL2 && rD) ? at(x - 2, 1) : L;
        const float L2U = (cL2 && rU) ? at(x - 2, -1) : L;
        const float D2R = (rD2 && cR) ? at(x + 1, 2) : D;
        const float D2L = (rD2 && cL) ? at(x - 1, 2) : D;
        const float U2R = (rU2 && cR) ? at(x + 1, -2) : U;
        const float U2L = (rU2 && cL) ? at(x - 1, -2) : U;

        const float DR2 = (cR2 && rD2) ? at(x + 2, 2) : DR;
        const float DL2 = (cL2 && rD2) ? at(x - 2, 2) : DL;
        const float UR2 = (cR2 && rU2) ? at(x + 2, -2) : UR;
        const float UL2 = (cL2 && rU2) ? at(x - 2, -2) : UL;

        const float axial2 = (c - R2) + (c - L2) + (c - D2) + (c - U2);
        const float diagonal2 = (c - DR2) + (c - DL2) + (c - UR2) + (c - UL2);
        const float knight = (c - R2D) + (c - R2U) + (c - L2D) + (c - L2U) + (c - D2R) + (c - D2L) + (c - U2R)
                             + (c - U2L);
        sum += 0.5 * static_cast<double>(axial2) + kInvSqrt8 * static_cast<double>(diagonal2)
               + kInvSqrt5 * static_cast<double>(knight);
    }
    return static_cast<float>(std::fabs(sum));
}

template <int Type>
void graphLaplacian(const float* image, long long count, float* out, int width, int height)
{
    constexpr int reach = Type == 5 ? 2 : 1;
    int x = 0;
    int y = 0;
    for (long long i = 0; i < count; ++i) {
        const bool interior = x >= reach && x + reach < width && y >= reach && y + reach < height;
        out[i] = interior ? graphLaplacianAt<Type, false>(image, x, y, width, height)
                          : graphLaplacianAt<Type, true>(image, x, y, width, height);
        if (++x == width) {
            x = 0;
            ++y;
        }
    }
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
        graphLaplacian<3>(image, pixels, out, width, height);
    else if (type == 5)
        graphLaplacian<5>(image, pixels, out, width, height);
}
