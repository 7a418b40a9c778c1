#include "filter/Filtration.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <iostream>
#include <new>
#include <optional>

#include <omp.h>

#include "filter/FivePointPattern.h"

namespace Filter {

namespace {

constexpr double kTolerance = 1e-4;
constexpr int kMaxIterations = 1000000;
constexpr double kNormEpsilon = 1e-4;

using Clock = std::chrono::steady_clock;

int pixelCount(int width, int height)
{
    if (width <= 0 || height <= 0)
        return 0;
    const long long count = static_cast<long long>(width) * height;
    // Every entry of the five-point pattern must be addressable by the
    // matrix's int indices.
    const long long entries = count + 2LL * (width - 1) * height + 2LL * (height - 1) * width;
    if (entries > INT_MAX)
        throw std::bad_array_new_length();
    return static_cast<int>(count);
}

// The nine values of a pixel's 3 x 3 neighbourhood, a missing neighbour
// replaced by the pixel's own value (a diagonal is missing when either of its
// axial directions is). up / down are the previous / next row, or null.
struct Neighbourhood {
    double c, R, L, D, U, DR, DL, UR, UL;
};

inline Neighbourhood gather(const double* row, const double* up, const double* down, int x, bool left, bool right)
{
    Neighbourhood v;
    v.c = row[x];
    v.R = right ? row[x + 1] : v.c;
    v.L = left ? row[x - 1] : v.c;
    v.D = down ? down[x] : v.c;
    v.U = up ? up[x] : v.c;
    v.DR = (down && right) ? down[x + 1] : v.c;
    v.DL = (down && left) ? down[x - 1] : v.c;
    v.UR = (up && right) ? up[x + 1] : v.c;
    v.UL = (up && left) ? up[x - 1] : v.c;
    return v;
}

// Squared side gradients: the difference across the side plus the tangential
// derivative, the mean of the central differences of the two pixels sharing
// the side. Sides in the order right, left, next row, previous row.
inline Filtration::SideValues sideGradientsSquared(const Neighbourhood& v)
{
    const double tr = (v.DR + v.D - v.U - v.UR) / 4;
    const double tl = (v.DL + v.D - v.UL - v.U) / 4;
    const double td = (v.DR + v.R - v.DL - v.L) / 4;
    const double tu = (v.UR + v.R - v.L - v.UL) / 4;
    return {(v.R - v.c) * (v.R - v.c) + tr * tr,
            (v.L - v.c) * (v.L - v.c) + tl * tl,
            (v.D - v.c) * (v.D - v.c) + td * td,
            (v.U - v.c) * (v.U - v.c) + tu * tu};
}

// Calls f(i, neighbourhood) for every pixel of a width x height image, in a
// parallel loop over rows. The first and last columns are split off so the
// inner loop runs without column tests.
template <typename F>
void forEachNeighbourhood(const double* image, int width, int height, F&& f)
{
#pragma omp parallel for schedule(static)
    for (int y = 0; y < height; ++y) {
        const long long base = static_cast<long long>(y) * width;
        const double* row = image + base;
        const double* up = y != 0 ? row - width : nullptr;
        const double* down = y + 1 != height ? row + width : nullptr;
        if (width == 1) {
            f(base, gather(row, up, down, 0, false, false));
            continue;
        }
        f(base, gather(row, up, down, 0, false, true));
        for (int x = 1; x + 1 < width; ++x)
            f(base + x, gather(row, up, down, x, true, true));
        f(base + width - 1, gather(row, up, down, width - 1, true, false));
    }
}

bool allFinite(const double* v, long long count)
{
    bool finite = true;
#pragma omp parallel for schedule(static) reduction(&& : finite)
    for (long long i = 0; i < count; ++i)
        finite = finite && std::isfinite(v[i]);
    return finite;
}

const char* solverFailure(const SolverReport& report, const double* x, long long count)
{
    if (report.status != SolverReport::Status::Success)
        return std::isfinite(report.error) ? "no convergence within the iteration limit" : "numerical breakdown";
    if (!allFinite(x, count))
        return "the solution is not finite";
    return nullptr;
}

} // namespace

// ---------------------------------------------------------------- lifecycle

Filtration::Filtration(int width_, int height_)
    : width(width_)
    , height(height_)
    , n(pixelCount(width_, height_))
{
    const long long entries = n == 0 ? 0 : patternRowStart(width, height, height);
    outerIndex_.resize(static_cast<std::size_t>(n) + 1);
    innerIndex_.resize(static_cast<std::size_t>(entries));
    values_.resize(static_cast<std::size_t>(entries));
    int* outer = outerIndex_.data();
    int* inner = innerIndex_.data();
    double* values = values_.data();

    // The pattern is written straight into compressed storage: each row holds
    // its entries sorted by column (previous row, left, diagonal, right, next
    // row), only for the neighbours that exist. All values start at 0. This
    // is the first write of every page, by the thread that owns its rows.
    if (n != 0) {
#pragma omp parallel
        {
            const RowBlock rows = rowBlock(height, omp_get_thread_num(), omp_get_num_threads());
            for (int y = rows.begin; y < rows.end; ++y) {
                const long long first = patternRowStart(width, height, y);
                long long k = first;
                for (int x = 0; x < width; ++x) {
                    const int i = y * width + x;
                    outer[i] = static_cast<int>(k);
                    if (y != 0)
                        inner[k++] = i - width;
                    if (x != 0)
                        inner[k++] = i - 1;
                    inner[k++] = i;
                    if (x + 1 != width)
                        inner[k++] = i + 1;
                    if (y + 1 != height)
                        inner[k++] = i + width;
                }
                std::fill(values + first, values + k, 0.0);
            }
        }
    }
    outer[n] = static_cast<int>(entries);
}

Filtration::~Filtration() = default;

Filtration::MatrixView Filtration::matrix() const
{
    return MatrixView(n, n, static_cast<Eigen::Index>(values_.size()), outerIndex_.data(), innerIndex_.data(),
                      values_.data());
}

bool Filtration::setImage(const float* image, std::size_t count)
{
    if (!image || n == 0 || count != static_cast<std::size_t>(n)) {
        releaseWorkData();
        return false;
    }
    u0_.resize(n);
    double* dst = u0_.data();
    bool finite = true;
#pragma omp parallel for schedule(static) reduction(&& : finite)
    for (int i = 0; i < n; ++i) {
        dst[i] = image[i];
        finite = finite && std::isfinite(dst[i]);
    }
    inputFinite_ = finite;
    u_.clear();
    w_.resize(n);
    return true;
}

bool Filtration::setImageWindow(const float* band, int x0, int y0, int stride, int bandHeight)
{
    const bool inside = band && n > 0 && x0 >= 0 && y0 >= 0 && stride > 0 && bandHeight > 0
                        && static_cast<long long>(x0) + width <= stride
                        && static_cast<long long>(y0) + height <= bandHeight;
    if (!inside) {
        releaseWorkData();
        return false;
    }
    u0_.resize(n);
    double* dst = u0_.data();
    bool finite = true;
#pragma omp parallel for schedule(static) reduction(&& : finite)
    for (int r = 0; r < height; ++r) {
        const float* src = band + (static_cast<long long>(y0) + r) * stride + x0;
        double* out = dst + static_cast<long long>(r) * width;
        for (int c = 0; c < width; ++c) {
            out[c] = src[c];
            finite = finite && std::isfinite(out[c]);
        }
    }
    inputFinite_ = finite;
    u_.clear();
    w_.resize(n);
    return true;
}

void Filtration::releaseWorkData()
{
    u0_.clear();
    u_.clear();
    w_.clear();
    sideG_.clear();
    sideGradSq_.clear();
    sideNorm_.clear();
    inputFinite_ = false;
}

void Filtration::copyInto(WorkVector<double>& dst, const WorkVector<double>& src) const
{
    dst.resize(src.size());
    const long long count = static_cast<long long>(src.size());
    const double* s = src.data();
    double* d = dst.data();
#pragma omp parallel for schedule(static)
    for (long long i = 0; i < count; ++i)
        d[i] = s[i];
}

bool Filtration::reportFailure(const char* label, const char* reason)
{
    std::cout << label << ": " << reason << "; the input is kept as the result\n";
    return false;
}

bool Filtration::keepInput()
{
    copyInto(u_, u0_);
    return false;
}

bool Filtration::failStep(const char* label, const char* reason)
{
    reportFailure(label, reason);
    return keepInput();
}

// ---------------------------------------------------------------- steps

std::optional<bool> Filtration::stepWithoutSolve(double tau)
{
    if (!loaded())
        return false;
    // No time passes: the result is the input.
    if (!(tau > 0)) {
        copyInto(u_, u0_);
        return true;
    }
    if (!inputFinite_)
        return failStep("Filtration", "the input holds non-finite values");
    return std::nullopt;
}

bool Filtration::linearStep(double tau)
{
    if (const std::optional<bool> early = stepWithoutSolve(tau))
        return *early;
    if (!assembleLinearMatrix(tau))
        return failStep("Filtration", "the parameters give an unsolvable matrix");
    // The solution is the result and the input of a further step. It is
    // solved straight into the result, so every band writes the same buffers.
    if (!solveCG(u_))
        return keepInput();
    copyInto(u0_, u_);
    return true;
}

bool Filtration::nonlinearStep(double tauS, double K, double tau)
{
    if (const std::optional<bool> early = stepWithoutSolve(tau))
        return *early;
    if (!prepareEdgeDetector(tauS, K))
        return keepInput();
    if (!assembleNonlinearMatrix(tau, sideG_))
        return failStep("Filtration", "the parameters give an unsolvable matrix");
    if (!solveBiCGSTAB())
        return keepInput();
    return true;
}

bool Filtration::geometricMCFStep(double tauS, double K, double tau)
{
    if (const std::optional<bool> early = stepWithoutSolve(tau))
        return *early;
    computeRegularizedSideNorms(kNormEpsilon);
    if (!prepareEdgeDetector(tauS, K))
        return keepInput();
    if (!assembleGMCFMatrix(tau, sideG_))
        return failStep("Filtration", "the parameters give an unsolvable matrix");
    if (!solveBiCGSTAB())
        return keepInput();
    return true;
}

// ---------------------------------------------------------------- side values

bool Filtration::prepareEdgeDetector(double tauS, double K)
{
    if (tauS > 0) {
        if (!assembleLinearMatrix(tauS))
            return reportFailure("Filtration", "the parameters give an unsolvable matrix");
        if (!solveCG(w_))
            return false;
    } else {
        copyInto(w_, u0_);
    }
    if (K > 0) {
        computeSideGradients();
        computeSideEdgeDetector(K);
    } else {
        sideG_.resize(n);
        SideValues* g = sideG_.data();
#pragma omp parallel for schedule(static)
        for (long long i = 0; i < n; ++i)
            g[i] = {1.0, 1.0, 1.0, 1.0};
    }
    return true;
}

void Filtration::computeSideGradients()
{
    sideGradSq_.resize(n);
    SideValues* out = sideGradSq_.data();
    forEachNeighbourhood(w_.data(), width, height,
                         [out](long long i, const Neighbourhood& v) { out[i] = sideGradientsSquared(v); });
}

void Filtration::computeRegularizedSideNorms(double eps)
{
    sideNorm_.resize(n);
    SideValues* out = sideNorm_.data();
    const double eps2 = eps * eps;
    forEachNeighbourhood(u0_.data(), width, height, [out, eps2](long long i, const Neighbourhood& v) {
        const SideValues s = sideGradientsSquared(v);
        out[i] = {std::sqrt(s[0] + eps2), std::sqrt(s[1] + eps2), std::sqrt(s[2] + eps2), std::sqrt(s[3] + eps2)};
    });
}

void Filtration::computeSideEdgeDetector(double K)
{
    sideG_.resize(n);
    const SideValues* s = sideGradSq_.data();
    SideValues* g = sideG_.data();
#pragma omp parallel for schedule(static)
    for (long long i = 0; i < n; ++i) {
        for (int k = 0; k < 4; ++k)
            g[i][k] = 1.0 / (K * s[i][k] + 1.0);
    }
}

// ---------------------------------------------------------------- assembly
//
// Each row's values are written into the entries the constructor laid out,
// in the stored column order: previous row, left, diagonal, right, next row.
// Side s of the per-pixel arrays is 0 right, 1 left, 2 next row, 3 previous
// row. Only existing sides contribute.
//
// Every row of the three matrices sums to 1 (the identity plus a flux
// operator whose rows sum to 0). Each loop reports whether that still holds
// within 1/2 in floating point: a non-finite value, or a time step so large
// that the identity drowns in rounding, leaves a singular system on which
// the solvers would only spin to their iteration cap.

namespace {

struct RowValues {
    double diagonal;
    double off[4]; // per side
};

// Rows are assembled in the blocks that the constructor and the solvers give
// each thread: a thread writes the values it wrote first at construction.
template <typename RowFn>
bool assembleRows(double* values, int width, int height, RowFn&& rowValues)
{
    bool solvable = true;
#pragma omp parallel reduction(&& : solvable)
    {
        const RowBlock rows = rowBlock(height, omp_get_thread_num(), omp_get_num_threads());
        for (int y = rows.begin; y < rows.end; ++y) {
            long long k = patternRowStart(width, height, y);
            const bool up = y != 0;
            const bool down = y + 1 != height;
            for (int x = 0; x < width; ++x) {
                const bool sides[4] = {x + 1 != width, x != 0, down, up};
                const RowValues r = rowValues(static_cast<long long>(y) * width + x, sides);
                double rowSum = 0.0;
                if (up) {
                    values[k++] = r.off[3];
                    rowSum += r.off[3];
                }
                if (sides[1]) {
                    values[k++] = r.off[1];
                    rowSum += r.off[1];
                }
                values[k++] = r.diagonal;
                if (sides[0]) {
                    values[k++] = r.off[0];
                    rowSum += r.off[0];
                }
                if (down) {
                    values[k++] = r.off[2];
                    rowSum += r.off[2];
                }
                rowSum += r.diagonal;
                solvable = solvable && std::fabs(rowSum - 1.0) <= 0.5;
            }
        }
    }
    return solvable;
}

} // namespace

bool Filtration::assembleLinearMatrix(double tau)
{
    const auto start = Clock::now();
    const bool solvable = assembleRows(values_.data(), width, height, [tau](long long, const bool* sides) {
        const int m = sides[0] + sides[1] + sides[2] + sides[3];
        return RowValues{1.0 + tau * m, {-tau, -tau, -tau, -tau}};
    });
    std::cout << "Linear Matrix: elapsed time: " << secondsSince(start) << "s\n";
    return solvable;
}

bool Filtration::assembleNonlinearMatrix(double tau, const WorkVector<SideValues>& g)
{
    const auto start = Clock::now();
    const SideValues* gs = g.data();
    const bool solvable = assembleRows(values_.data(), width, height, [tau, gs](long long i, const bool* sides) {
        const SideValues& gi = gs[i];
        RowValues r{};
        double sum = 0.0;
        for (int s = 0; s < 4; ++s) {
            if (sides[s]) {
                sum += gi[s];
                r.off[s] = -tau * gi[s];
            }
        }
        r.diagonal = 1.0 + tau * sum;
        return r;
    });
    std::cout << "Nonlinear Matrix: elapsed time: " << secondsSince(start) << "s\n";
    return solvable;
}

bool Filtration::assembleGMCFMatrix(double tau, const WorkVector<SideValues>& g)
{
    const auto start = Clock::now();
    const SideValues* gs = g.data();
    const SideValues* ns = sideNorm_.data();
    const bool solvable = assembleRows(values_.data(), width, height, [tau, gs, ns](long long i, const bool* sides) {
        const SideValues& gi = gs[i];
        const SideValues& ni = ns[i];
        RowValues r{};
        int count = 0;
        double normSum = 0.0;
        double weightSum = 0.0;
        for (int s = 0; s < 4; ++s) {
            if (sides[s]) {
                ++count;
                normSum += ni[s];
                weightSum += gi[s] / ni[s];
            }
        }
        // A single-pixel window has no sides: nothing flows, the row is the
        // identity and the pixel keeps its value.
        if (count == 0) {
            r.diagonal = 1.0;
            return r;
        }
        const double M = normSum / count;
        for (int s = 0; s < 4; ++s) {
            if (sides[s])
                r.off[s] = -tau * M * gi[s] / ni[s];
        }
        r.diagonal = 1.0 + tau * M * weightSum;
        return r;
    });
    std::cout << "GMCF/MCF Matrix: elapsed time: " << secondsSince(start) << "s\n";
    return solvable;
}

// ---------------------------------------------------------------- solvers

bool Filtration::solveCG(WorkVector<double>& x)
{
    const auto start = Clock::now();
    x.resize(n);
    const SolverReport report = solver_.conjugateGradient(systemMatrix(), u0_.data(), x.data(), solverSettings());
    printSolverLines(report, "CG: elapsed time: ", start);
    if (const char* failure = solverFailure(report, x.data(), n))
        return reportFailure("CG", failure);
    return true;
}

bool Filtration::solveBiCGSTAB()
{
    const auto start = Clock::now();
    u_.resize(n);
    const SolverReport report = solver_.biCGSTAB(systemMatrix(), u0_.data(), u_.data(), solverSettings());
    printSolverLines(report, "BiCGSTAB: elapsed time: ", start);
    if (const char* failure = solverFailure(report, u_.data(), n))
        return reportFailure("BiCGSTAB", failure);
    return true;
}

FivePointMatrix Filtration::systemMatrix() const
{
    return {values_.data(), width, height};
}

SolverSettings Filtration::solverSettings()
{
    return {kTolerance, kMaxIterations};
}

void Filtration::printSolverLines(const SolverReport& report, const char* timeLabel, Clock::time_point start)
{
    std::cout << "#iterations:     " << report.iterations << "\n";
    std::cout << "estimated error: " << report.error << "\n";
    std::cout << timeLabel << secondsSince(start) << "s\n";
}

} // namespace Filter
