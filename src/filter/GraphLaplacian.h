#pragma once

// Magnitude of the weighted graph Laplacian of a row-major image, for any
// sample type (float feature images, double window values):
//
//     out(p) = | sum over neighbours n of w_n (v_p - v_n) |,  w_n = 1 / |p - n|
//
// Type 3 takes the 8 neighbours of the 3 x 3 window, type 5 the 24 of the
// 5 x 5 window. A neighbour outside the image takes a substitute value:
//   - first ring (distance 1 or sqrt 2): the centre value, so it adds
//     nothing (no flux across the border);
//   - axial at distance 2: the value used for the axial neighbour at
//     distance 1 on the same side;
//   - (+-1, +-2): the value used for (0, +-1); (+-2, +-1): the value used
//     for (+-1, 0);
//   - (+-2, +-2): the value used for the diagonal (+-1, +-1).
// A two-step neighbour exists only when both of its steps exist.
//
// Differences are taken in the sample type, the weighted groups summed in
// double, and the magnitude returned in the sample type.

#include <cmath>

namespace Filter {

inline const double kGraphLaplacianInvSqrt2 = 1.0 / std::sqrt(2.0);
inline const double kGraphLaplacianInvSqrt8 = 1.0 / std::sqrt(8.0);
inline const double kGraphLaplacianInvSqrt5 = 1.0 / std::sqrt(5.0);

// Graph Laplacian of the pixel (x, y). Border = false promises that the whole
// 5 x 5 (Type 5) or 3 x 3 (Type 3) neighbourhood lies inside the image, which
// lets the compiler drop every existence test; both variants evaluate the same
// expressions in the same order, so they give identical values.
template <typename T, int Type, bool Border>
T graphLaplacianAt(const T* image, int x, int y, int width, int height)
{
    static_assert(Type == 3 || Type == 5);
    const T* row = image + static_cast<long long>(y) * width;
    auto at = [row, width](int column, int rowOffset) {
        return row[static_cast<long long>(rowOffset) * width + column];
    };
    const T c = row[x];

    const bool cR = !Border || x + 1 < width;
    const bool cL = !Border || x > 0;
    const bool rD = !Border || y + 1 < height;
    const bool rU = !Border || y > 0;

    const T R = cR ? at(x + 1, 0) : c;
    const T L = cL ? at(x - 1, 0) : c;
    const T D = rD ? at(x, 1) : c;
    const T U = rU ? at(x, -1) : c;
    const T DR = (cR && rD) ? at(x + 1, 1) : c;
    const T DL = (cL && rD) ? at(x - 1, 1) : c;
    const T UR = (cR && rU) ? at(x + 1, -1) : c;
    const T UL = (cL && rU) ? at(x - 1, -1) : c;

    const T axial = (c - R) + (c - L) + (c - D) + (c - U);
    const T diagonal = (c - DR) + (c - DL) + (c - UR) + (c - UL);
    double sum = static_cast<double>(axial) + kGraphLaplacianInvSqrt2 * static_cast<double>(diagonal);

    if constexpr (Type == 5) {
        const bool cR2 = !Border || x + 2 < width;
        const bool cL2 = !Border || x > 1;
        const bool rD2 = !Border || y + 2 < height;
        const bool rU2 = !Border || y > 1;

        const T R2 = cR2 ? at(x + 2, 0) : R;
        const T L2 = cL2 ? at(x - 2, 0) : L;
        const T D2 = rD2 ? at(x, 2) : D;
        const T U2 = rU2 ? at(x, -2) : U;

        const T R2D = (cR2 && rD) ? at(x + 2, 1) : R;
        const T R2U = (cR2 && rU) ? at(x + 2, -1) : R;
        const T L2D = (cL2 && rD) ? at(x - 2, 1) : L;
        const T L2U = (cL2 && rU) ? at(x - 2, -1) : L;
        const T D2R = (rD2 && cR) ? at(x + 1, 2) : D;
        const T D2L = (rD2 && cL) ? at(x - 1, 2) : D;
        const T U2R = (rU2 && cR) ? at(x + 1, -2) : U;
        const T U2L = (rU2 && cL) ? at(x - 1, -2) : U;

        const T DR2 = (cR2 && rD2) ? at(x + 2, 2) : DR;
        const T DL2 = (cL2 && rD2) ? at(x - 2, 2) : DL;
        const T UR2 = (cR2 && rU2) ? at(x + 2, -2) : UR;
        const T UL2 = (cL2 && rU2) ? at(x - 2, -2) : UL;

        const T axial2 = (c - R2) + (c - L2) + (c - D2) + (c - U2);
        const T diagonal2 = (c - DR2) + (c - DL2) + (c - UR2) + (c - UL2);
        const T knight = (c - R2D) + (c - R2U) + (c - L2D) + (c - L2U) + (c - D2R) + (c - D2L) + (c - U2R)
                         + (c - U2L);
        sum += 0.5 * static_cast<double>(axial2) + kGraphLaplacianInvSqrt8 * static_cast<double>(diagonal2)
               + kGraphLaplacianInvSqrt5 * static_cast<double>(knight);
    }
    return static_cast<T>(std::fabs(sum));
}

// The first count pixels (count <= width * height, checked by the caller) of
// the graph-Laplacian magnitude image, Type 3 or 5.
template <typename T, int Type>
void graphLaplacian(const T* image, long long count, T* out, int width, int height)
{
    constexpr int reach = Type == 5 ? 2 : 1;
    int x = 0;
    int y = 0;
    for (long long i = 0; i < count; ++i) {
        const bool interior = x >= reach && x + reach < width && y >= reach && y + reach < height;
        out[i] = interior ? graphLaplacianAt<T, Type, false>(image, x, y, width, height)
                          : graphLaplacianAt<T, Type, true>(image, x, y, width, height);
        if (++x == width) {
            x = 0;
            ++y;
        }
    }
}

} // namespace Filter
