// One-step image filtration: the assembled systems against analytic
// solutions of the discrete problems, symmetry and stability properties, the
// solver check against a direct solve, the printed lines and the handling of
// bad loads and unsolvable steps.
//
// Error bounds: every solver stops at a relative residual of 1e-4. All three
// matrices are diagonally dominant M-matrices with row sums 1 (so
// ||A^-1||_inf <= 1), and the linear one is symmetric with eigenvalues >= 1,
// hence ||u - u_exact||_inf <= ||r||_2 <= 1e-4 ||u0||_2.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <Eigen/SparseLU>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <ostream>
#include <cstdio>
#include <string>
#include <vector>

#include "filter/Filtration.h"

using Filter::Filtration;

namespace {

constexpr double kTolerance = 1e-4;

struct StepRun {
    bool ok = false;
    std::string printed;
};

StepRun runStep(Filtration& f, int type, double tauS, double K, double tau)
{
    testing::internal::CaptureStdout();
    bool ok = false;
    switch (type) {
    case Filtration::linear:
        ok = f.linearStep(tau);
        break;
    case Filtration::nonlinear:
        ok = f.nonlinearStep(tauS, K, tau);
        break;
    case Filtration::geometricMCF:
        ok = f.geometricMCFStep(tauS, K, tau);
        break;
    }
    return {ok, testing::internal::GetCapturedStdout()};
}

std::vector<double> resultOf(const Filtration& f)
{
    return {f.result().begin(), f.result().end()};
}

double norm2(const std::vector<float>& v)
{
    double s = 0.0;
    for (float x : v)
        s += static_cast<double>(x) * x;
    return std::sqrt(s);
}

double maxDifference(const std::vector<double>& a, const std::vector<double>& b)
{
    double m = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i)
        m = std::max(m, std::fabs(a[i] - b[i]));
    return m;
}

// Deterministic noise in [-0.5, 0.5).
float noise(std::uint32_t i)
{
    std::uint32_t h = i * 2654435761u + 0x9e3779b9u;
    h ^= h >> 15;
    h *= 0x85ebca6bu;
    h ^= h >> 13;
    return static_cast<float>(h % 10000u) / 10000.0f - 0.5f;
}

// Two discs of different brightness on a dark ground, plus noise: sharp
// edges for the edge detector, texture for the diffusion.
std::vector<float> discsImage(int width, int height, float noiseLevel = 0.05f)
{
    std::vector<float> img(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double d1 = std::hypot(x - width * 0.35, y - height * 0.4);
            const double d2 = std::hypot(x - width * 0.7, y - height * 0.65);
            float v = 0.1f;
            if (d1 < width * 0.22)
                v = 0.8f;
            else if (d2 < width * 0.18)
                v = 0.5f;
            const int i = y * width + x;
            img[i] = v + noiseLevel * noise(static_cast<std::uint32_t>(i));
        }
    }
    return img;
}

std::vector<float> transposed(const std::vector<float>& img, int width, int height)
{
    std::vector<float> t(img.size());
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            t[x * height + y] = img[y * width + x];
    return t;
}

std::vector<double> transposed(const std::vector<double>& img, int width, int height)
{
    std::vector<double> t(img.size());
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            t[x * height + y] = img[y * width + x];
    return t;
}

template <typename T>
std::vector<T> mirroredX(const std::vector<T>& img, int width, int height)
{
    std::vector<T> m(img.size());
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            m[y * width + (width - 1 - x)] = img[y * width + x];
    return m;
}

std::vector<double> filtered(const std::vector<float>& img, int width, int height, int type, double tauS, double K,
                             double tau)
{
    Filtration f(width, height);
    EXPECT_TRUE(f.setImage(img.data(), img.size()));
    EXPECT_TRUE(runStep(f, type, tauS, K, tau).ok);
    return resultOf(f);
}

const char* typeName(int type)
{
    return type == Filtration::linear ? "linear" : type == Filtration::nonlinear ? "nonlinear" : "GMCF";
}

} // namespace

// ---------------------------------------------------------------- pattern

TEST(FiltrationPattern, RowsHoldDiagonalAndExistingNeighboursInColumnOrder)
{
    const int w = 4;
    const int h = 3;
    Filtration f(w, h);
    const auto& A = f.matrix();
    ASSERT_EQ(A.rows(), w * h);
    ASSERT_TRUE(A.isCompressed());
    EXPECT_EQ(A.nonZeros(), w * h + 2 * (w - 1) * h + 2 * (h - 1) * w);

    const std::vector<float> img(w * h, 1.0f);
    ASSERT_TRUE(f.setImage(img.data(), img.size()));
    const double tau = 0.25;
    ASSERT_TRUE(runStep(f, Filtration::linear, 0, 0, tau).ok);

    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int i = y * w + x;
            std::vector<int> expected;
            if (y > 0)
                expected.push_back(i - w);
            if (x > 0)
                expected.push_back(i - 1);
            expected.push_back(i);
            if (x + 1 < w)
                expected.push_back(i + 1);
            if (y + 1 < h)
                expected.push_back(i + w);
            std::vector<int> columns;
            for (Filtration::MatrixView::InnerIterator it(A, i); it; ++it) {
                columns.push_back(static_cast<int>(it.col()));
                const double value = it.col() == i ? 1.0 + tau * (static_cast<double>(expected.size()) - 1) : -tau;
                EXPECT_DOUBLE_EQ(it.value(), value) << "row " << i << " col " << it.col();
            }
            EXPECT_EQ(columns, expected) << "pixel (" << x << ", " << y << ")";
        }
    }
    // A corner's row: three entries with diagonal 1 + 2 tau.
    EXPECT_DOUBLE_EQ(A.coeff(0, 0), 1.0 + 2 * tau);
    EXPECT_DOUBLE_EQ(A.coeff(w * h - 1, w * h - 1), 1.0 + 2 * tau);
}

TEST(FiltrationPattern, WindowTooLargeForIntIndicesThrowsAllocationError)
{
    EXPECT_THROW(Filtration(50000, 50000), std::bad_alloc);
}

// ---------------------------------------------------------------- linear step

// cos(pi k (x + 1/2) / W) cos(pi l (y + 1/2) / H) is an eigenvector of the
// zero-flux five-point Laplacian with eigenvalue
// 4 sin^2(pi k / 2W) + 4 sin^2(pi l / 2H); one implicit step divides it by
// 1 + tau lambda. Wrong diagonals at edges or corners break it there.
struct EigenmodeCase {
    int width;
    int height;
    int k;
    int l;
    double tau;
};

void PrintTo(const EigenmodeCase& c, std::ostream* os)
{
    *os << c.width << "x" << c.height << " mode (" << c.k << ", " << c.l << ") tau " << c.tau;
}

class LinearEigenmode : public testing::TestWithParam<EigenmodeCase> {};

TEST_P(LinearEigenmode, DecaysByTheImplicitFactor)
{
    const auto c = GetParam();
    const double pi = std::numbers::pi;
    std::vector<float> img(static_cast<std::size_t>(c.width) * c.height);
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x)
            img[y * c.width + x] = static_cast<float>(std::cos(pi * c.k * (x + 0.5) / c.width)
                                                      * std::cos(pi * c.l * (y + 0.5) / c.height));
    const double sx = std::sin(pi * c.k / (2.0 * c.width));
    const double sy = std::sin(pi * c.l / (2.0 * c.height));
    const double lambda = 4 * sx * sx + 4 * sy * sy;
    const double factor = 1.0 / (1.0 + c.tau * lambda);
    const double bound = kTolerance * norm2(img) + 1e-9;

    // Linear step by conjugate gradients, and the nonlinear and curvature
    // steps with K <= 0 where they reduce to the same matrix (for the
    // curvature flow only on a mode without gradient it would not; skip it).
    for (int type : {Filtration::linear, Filtration::nonlinear}) {
        Filtration f(c.width, c.height);
        ASSERT_TRUE(f.setImage(img.data(), img.size()));
        ASSERT_TRUE(runStep(f, type, 0.0, 0.0, c.tau).ok);
        const auto u = resultOf(f);
        double err = 0.0;
        for (std::size_t i = 0; i < u.size(); ++i)
            err = std::max(err, std::fabs(u[i] - factor * img[i]));
        EXPECT_LE(err, bound) << typeName(type) << " " << c.width << "x" << c.height << " mode (" << c.k << ", "
                              << c.l << ")";
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, LinearEigenmode,
                         testing::Values(EigenmodeCase{16, 12, 0, 0, 0.5}, EigenmodeCase{16, 12, 1, 0, 0.5},
                                         EigenmodeCase{16, 12, 0, 1, 2.0}, EigenmodeCase{16, 12, 3, 2, 0.5},
                                         EigenmodeCase{16, 12, 15, 11, 3.0}, EigenmodeCase{9, 1, 2, 0, 1.0},
                                         EigenmodeCase{1, 7, 0, 6, 1.0}, EigenmodeCase{2, 2, 1, 1, 0.5}));

TEST(FiltrationLinear, ConservesMassAndSpreadsAUnitMassByTwoTauPerAxisPerStep)
{
    // The exact solution of each step's system (direct solve of the assembled
    // matrix) has the analytic moments; the step's own result lies within the
    // solver tolerance of it. A unit mass is the hardest input for the
    // iteration, so its moments are checked on the exact solution.
    const int side = 41;
    const int centre = 20;
    const double tau = 0.5;
    std::vector<float> img(side * side, 0.0f);
    img[centre * side + centre] = 1.0f;
    Filtration f(side, side);
    ASSERT_TRUE(f.setImage(img.data(), img.size()));
    Eigen::VectorXd exact = Eigen::VectorXd::Zero(side * side);
    exact[centre * side + centre] = 1.0;
    for (int step = 1; step <= 2; ++step) {
        const double inputNorm = exact.norm();
        ASSERT_TRUE(runStep(f, Filtration::linear, 0, 0, tau).ok);
        Eigen::SparseLU<Eigen::SparseMatrix<double>> lu;
        lu.compute(Eigen::SparseMatrix<double>(f.matrix()));
        ASSERT_EQ(lu.info(), Eigen::Success);
        exact = lu.solve(Eigen::VectorXd(exact));

        double mass = 0.0;
        double varX = 0.0;
        double varY = 0.0;
        for (int y = 0; y < side; ++y) {
            for (int x = 0; x < side; ++x) {
                const double v = exact[y * side + x];
                mass += v;
                varX += v * (x - centre) * (x - centre);
                varY += v * (y - centre) * (y - centre);
            }
        }
        EXPECT_NEAR(mass, 1.0, 1e-12) << "step " << step;
        EXPECT_NEAR(varX, 2 * tau * step, 1e-7) << "step " << step;
        EXPECT_NEAR(varY, 2 * tau * step, 1e-7) << "step " << step;

        double stepMass = 0.0;
        double err = 0.0;
        for (int i = 0; i < side * side; ++i) {
            stepMass += f.result()[i];
            err = std::max(err, std::fabs(f.result()[i] - exact[i]));
        }
        // |1^T (u - exact)| = |1^T r| <= sqrt(n) ||r||; later steps add the
        // earlier steps' deviations, each damped by the next solve.
        EXPECT_LE(err, step * kTolerance * inputNorm + 1e-12) << "step " << step;
        EXPECT_NEAR(stepMass, 1.0, step * side * kTolerance) << "step " << step;
    }
}

TEST(FiltrationLinear, RepeatedStepsContinueTheDiffusion)
{
    const int w = 12;
    const int h = 9;
    const auto img = discsImage(w, h);
    Filtration f(w, h);
    ASSERT_TRUE(f.setImage(img.data(), img.size()));
    ASSERT_TRUE(runStep(f, Filtration::linear, 0, 0, 0.5).ok);
    const auto first = resultOf(f);
    // The result is also the next input.
    EXPECT_EQ(std::vector<double>(f.input().begin(), f.input().end()), first);

    ASSERT_TRUE(runStep(f, Filtration::linear, 0, 0, 0.5).ok);
    const auto second = resultOf(f);

    // Two steps equal a step applied to the float image of the first result
    // up to solver tolerance and the float rounding of that image.
    std::vector<float> firstImage(first.begin(), first.end());
    const auto again = filtered(firstImage, w, h, Filtration::linear, 0, 0, 0.5);
    EXPECT_LE(maxDifference(second, again), 2 * kTolerance * norm2(img) + 1e-6);
    EXPECT_GT(maxDifference(first, second), 1e-3);
}

// ---------------------------------------------------------------- all types

struct TypeCase {
    int type;
    double tauS;
    double K;
    double tau;
};

const TypeCase kTypeCases[] = {
    {Filtration::linear, 0.0, 0.0, 0.5},
    {Filtration::nonlinear, 0.5, 1000.0, 3.0},
    {Filtration::nonlinear, 0.0, 50.0, 1.0},
    {Filtration::geometricMCF, 0.5, 1000.0, 3.0},
    {Filtration::geometricMCF, 0.0, 0.0, 1.0},
};

void PrintTo(const TypeCase& c, std::ostream* os)
{
    *os << typeName(c.type) << " tauS " << c.tauS << " K " << c.K << " tau " << c.tau;
}

class AllFilterTypes : public testing::TestWithParam<TypeCase> {};

TEST_P(AllFilterTypes, EquivariantUnderTransposeAndMirror)
{
    const auto c = GetParam();
    const int w = 13;
    const int h = 9;
    const auto img = discsImage(w, h);
    const auto base = filtered(img, w, h, c.type, c.tauS, c.K, c.tau);

    // The Krylov iterations commute with a permutation of the pixels, so the
    // results agree far below the solver tolerance.
    const auto viaTranspose = transposed(filtered(transposed(img, w, h), h, w, c.type, c.tauS, c.K, c.tau), h, w);
    EXPECT_LE(maxDifference(base, viaTranspose), 1e-9) << typeName(c.type);
    const auto viaMirror = mirroredX(filtered(mirroredX(img, w, h), w, h, c.type, c.tauS, c.K, c.tau), w, h);
    EXPECT_LE(maxDifference(base, viaMirror), 1e-9) << typeName(c.type);
}

TEST_P(AllFilterTypes, ObeysTheDiscreteMaximumPrinciple)
{
    const auto c = GetParam();
    const int w = 16;
    const int h = 11;
    const auto img = discsImage(w, h, 0.3f);
    const auto u = filtered(img, w, h, c.type, c.tauS, c.K, c.tau);
    const double lo = *std::min_element(img.begin(), img.end());
    const double hi = *std::max_element(img.begin(), img.end());
    const double slack = kTolerance * norm2(img);
    for (double v : u) {
        ASSERT_GE(v, lo - slack) << typeName(c.type);
        ASSERT_LE(v, hi + slack) << typeName(c.type);
    }
    // And it does smooth: the spread shrinks.
    EXPECT_LT(*std::max_element(u.begin(), u.end()) - *std::min_element(u.begin(), u.end()), hi - lo);
}

TEST_P(AllFilterTypes, KeepsAConstantImage)
{
    const auto c = GetParam();
    const int w = 10;
    const int h = 7;
    const std::vector<float> img(w * h, 0.625f);
    const auto u = filtered(img, w, h, c.type, c.tauS, c.K, c.tau);
    const double bound = kTolerance * norm2(img);
    for (double v : u)
        ASSERT_NEAR(v, 0.625, bound) << typeName(c.type);
}

TEST_P(AllFilterTypes, SolverAgreesWithADirectSolveOfTheAssembledMatrix)
{
    const auto c = GetParam();
    const int w = 14;
    const int h = 10;
    const auto img = discsImage(w, h);
    Filtration f(w, h);
    ASSERT_TRUE(f.setImage(img.data(), img.size()));
    ASSERT_TRUE(runStep(f, c.type, c.tauS, c.K, c.tau).ok);

    Eigen::SparseMatrix<double> A = f.matrix();
    Eigen::SparseLU<Eigen::SparseMatrix<double>> lu;
    lu.compute(A);
    ASSERT_EQ(lu.info(), Eigen::Success);
    Eigen::VectorXd b(w * h);
    for (int i = 0; i < w * h; ++i)
        b[i] = img[i];
    const Eigen::VectorXd exact = lu.solve(b);

    const auto u = resultOf(f);
    double err = 0.0;
    for (int i = 0; i < w * h; ++i)
        err = std::max(err, std::fabs(u[i] - exact[i]));
    EXPECT_LE(err, kTolerance * b.norm()) << typeName(c.type);
    // The matrix is the type's own: not the identity, row sums 1.
    for (int i = 0; i < w * h; ++i) {
        double rowSum = 0.0;
        for (Filtration::MatrixView::InnerIterator it(f.matrix(), i); it; ++it)
            rowSum += it.value();
        ASSERT_NEAR(rowSum, 1.0, 1e-12) << typeName(c.type) << " row " << i;
    }
    EXPECT_GT(f.matrix().coeff(0, 0), 1.0);
}

TEST_P(AllFilterTypes, NonPositiveTimeStepCopiesTheInputSilently)
{
    const auto c = GetParam();
    const int w = 6;
    const int h = 5;
    const auto img = discsImage(w, h);
    for (double tau : {0.0, -1.0, std::numeric_limits<double>::quiet_NaN()}) {
        Filtration f(w, h);
        ASSERT_TRUE(f.setImage(img.data(), img.size()));
        const auto run = runStep(f, c.type, c.tauS, c.K, tau);
        EXPECT_TRUE(run.ok);
        EXPECT_EQ(run.printed, "") << typeName(c.type);
        EXPECT_EQ(resultOf(f), std::vector<double>(img.begin(), img.end())) << typeName(c.type);
    }
}

TEST_P(AllFilterTypes, OnePixelWindowKeepsItsValue)
{
    const auto c = GetParam();
    const float value = 3.5f;
    Filtration f(1, 1);
    ASSERT_TRUE(f.setImage(&value, 1));
    const auto run = runStep(f, c.type, c.tauS, c.K, c.tau);
    EXPECT_TRUE(run.ok) << run.printed;
    ASSERT_EQ(f.result().size(), 1u);
    EXPECT_EQ(f.result()[0], 3.5) << typeName(c.type);
    EXPECT_EQ(f.matrix().coeff(0, 0), 1.0) << typeName(c.type);
}

TEST_P(AllFilterTypes, NonFiniteInputPixelIsKeptLocalAndReported)
{
    const auto c = GetParam();
    const int w = 8;
    const int h = 6;
    auto img = discsImage(w, h);
    img[20] = std::numeric_limits<float>::quiet_NaN();
    Filtration f(w, h);
    ASSERT_TRUE(f.setImage(img.data(), img.size()));
    const auto run = runStep(f, c.type, c.tauS, c.K, c.tau);
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(run.printed, "Filtration: the input holds non-finite values; the input is kept as the result\n");
    const auto u = resultOf(f);
    ASSERT_EQ(u.size(), img.size());
    for (std::size_t i = 0; i < u.size(); ++i) {
        if (i == 20)
            EXPECT_TRUE(std::isnan(u[i]));
        else
            EXPECT_EQ(u[i], img[i]) << "pixel " << i;
    }
}

TEST_P(AllFilterTypes, UnsolvableTimeStepsLeaveTheInputAndSaySo)
{
    // An infinite step gives non-finite values; 1e17 drowns the identity part
    // of every row in rounding, which leaves a singular system that would
    // only run the solver to its iteration cap.
    const auto c = GetParam();
    const int w = 5;
    const int h = 4;
    const auto img = discsImage(w, h);
    for (double tau : {std::numeric_limits<double>::infinity(), 1e17}) {
        Filtration f(w, h);
        ASSERT_TRUE(f.setImage(img.data(), img.size()));
        const auto run = runStep(f, c.type, c.tauS, c.K, tau);
        EXPECT_FALSE(run.ok);
        EXPECT_THAT(run.printed, testing::EndsWith("Filtration: the parameters give an unsolvable matrix; "
                                                   "the input is kept as the result\n"));
        EXPECT_EQ(resultOf(f), std::vector<double>(img.begin(), img.end()));
    }
    // A huge smoothing step of the edge detector is refused the same way.
    if (c.type != Filtration::linear) {
        Filtration f(w, h);
        ASSERT_TRUE(f.setImage(img.data(), img.size()));
        EXPECT_FALSE(runStep(f, c.type, 1e17, c.K, c.tau).ok);
        EXPECT_EQ(resultOf(f), std::vector<double>(img.begin(), img.end()));
    }
}

INSTANTIATE_TEST_SUITE_P(Types, AllFilterTypes, testing::ValuesIn(kTypeCases),
                         [](const testing::TestParamInfo<TypeCase>& info) {
                             return std::string(typeName(info.param.type)) + "_" + std::to_string(info.index);
                         });

// ---------------------------------------------------------------- nonlinear / curvature

// The rows of the nonlinear and curvature matrices against the side values
// computed here by hand from their definitions. With tauS <= 0 the edge
// detector sees the input itself, so the expected matrices are exact. The
// image has distinct, uneven values so a swapped side, a wrong tangential
// term or a wrong border fallback shows.
TEST(FiltrationAssembly, RowsFollowTheSideGradientsOfTheirDefinitions)
{
    const int w = 4;
    const int h = 3;
    const std::vector<float> img = {0.0f, 1.0f, 4.0f, 2.5f, 3.0f, 0.5f, 2.0f, 7.0f, 1.5f, 6.0f, 0.25f, 5.0f};
    // A missing neighbour, and a diagonal with a missing axial direction,
    // takes the pixel's own value.
    auto value = [&](int x, int y, int dx, int dy) {
        if (x + dx < 0 || x + dx >= w || y + dy < 0 || y + dy >= h)
            return static_cast<double>(img[y * w + x]);
        return static_cast<double>(img[(y + dy) * w + x + dx]);
    };
    // Squared side gradients, sides right, left, next row, previous row.
    auto sideSquares = [&](int x, int y) {
        const double c = value(x, y, 0, 0);
        const double R = value(x, y, 1, 0), L = value(x, y, -1, 0);
        const double D = value(x, y, 0, 1), U = value(x, y, 0, -1);
        const double DR = value(x, y, 1, 1), DL = value(x, y, -1, 1);
        const double UR = value(x, y, 1, -1), UL = value(x, y, -1, -1);
        auto sq = [](double v) { return v * v; };
        return std::array<double, 4>{sq(R - c) + sq((DR + D - U - UR) / 4), sq(L - c) + sq((DL + D - UL - U) / 4),
                                     sq(D - c) + sq((DR + R - DL - L) / 4), sq(U - c) + sq((UR + R - L - UL) / 4)};
    };
    const double K = 0.75;
    const double tau = 1.5;
    for (int type : {Filtration::nonlinear, Filtration::geometricMCF}) {
        Filtration f(w, h);
        ASSERT_TRUE(f.setImage(img.data(), img.size()));
        ASSERT_TRUE(runStep(f, type, 0.0, K, tau).ok);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const int i = y * w + x;
                const bool exists[4] = {x + 1 < w, x > 0, y + 1 < h, y > 0};
                const int column[4] = {i + 1, i - 1, i + w, i - w};
                const auto s = sideSquares(x, y);
                double weight[4] = {};
                double normSum = 0.0;
                int sides = 0;
                for (int k = 0; k < 4; ++k) {
                    if (!exists[k])
                        continue;
                    const double g = 1.0 / (K * s[k] + 1.0);
                    weight[k] = g;
                    if (type == Filtration::geometricMCF) {
                        const double norm = std::sqrt(s[k] + 1e-8);
                        weight[k] = g / norm;
                        normSum += norm;
                    }
                    ++sides;
                }
                const double scale = type == Filtration::geometricMCF ? tau * normSum / sides : tau;
                double diagonal = 1.0;
                for (int k = 0; k < 4; ++k) {
                    if (!exists[k])
                        continue;
                    diagonal += scale * weight[k];
                    const double expected = -scale * weight[k];
                    EXPECT_NEAR(f.matrix().coeff(i, column[k]), expected, 1e-12 * std::fabs(expected))
                        << typeName(type) << " pixel (" << x << ", " << y << ") side " << k;
                }
                EXPECT_NEAR(f.matrix().coeff(i, i), diagonal, 1e-12 * diagonal)
                    << typeName(type) << " pixel (" << x << ", " << y << ")";
            }
        }
    }
}


TEST(FiltrationNonlinear, WithoutSensitivityEqualsTheLinearStep)
{
    const int w = 15;
    const int h = 10;
    const auto img = discsImage(w, h);
    const auto linear = filtered(img, w, h, Filtration::linear, 0, 0, 2.0);
    for (double K : {0.0, -3.0}) {
        const auto nonlinear = filtered(img, w, h, Filtration::nonlinear, 1.0, K, 2.0);
        EXPECT_LE(maxDifference(linear, nonlinear), 2 * kTolerance * norm2(img)) << "K " << K;
    }
}

TEST(FiltrationNonlinear, EdgesAreKeptSharperThanByLinearDiffusion)
{
    const int w = 20;
    const int h = 8;
    std::vector<float> img(w * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img[y * w + x] = x < w / 2 ? 0.0f : 1.0f;
    const auto linear = filtered(img, w, h, Filtration::linear, 0, 0, 3.0);
    const auto nonlinear = filtered(img, w, h, Filtration::nonlinear, 0.5, 1000.0, 3.0);
    const int i = 3 * w + w / 2;
    EXPECT_GT(nonlinear[i] - nonlinear[i - 1], 0.9);
    EXPECT_LT(linear[i] - linear[i - 1], 0.5);
}

TEST(FiltrationNonlinear, RepeatingAStepGivesTheSameResultAndKeepsTheInput)
{
    const int w = 9;
    const int h = 7;
    const auto img = discsImage(w, h);
    for (int type : {Filtration::nonlinear, Filtration::geometricMCF}) {
        Filtration f(w, h);
        ASSERT_TRUE(f.setImage(img.data(), img.size()));
        ASSERT_TRUE(runStep(f, type, 0.5, 100.0, 1.0).ok);
        const auto first = resultOf(f);
        EXPECT_EQ(std::vector<double>(f.input().begin(), f.input().end()), std::vector<double>(img.begin(), img.end()));
        ASSERT_TRUE(runStep(f, type, 0.5, 100.0, 1.0).ok);
        EXPECT_EQ(resultOf(f), first) << typeName(type);
    }
}

TEST(FiltrationCurvatureFlow, LeavesALinearRampUnchangedAwayFromTheBorder)
{
    const int side = 32;
    std::vector<float> img(side * side);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            img[y * side + x] = 0.02f * x + 0.01f * y;
    for (double K : {0.0, 10.0}) {
        const auto u = filtered(img, side, side, Filtration::geometricMCF, 0.0, K, 1.0);
        for (int y = 10; y < side - 10; ++y)
            for (int x = 10; x < side - 10; ++x)
                ASSERT_NEAR(u[y * side + x], img[y * side + x], 1e-4) << "K " << K << " at " << x << ", " << y;
    }
}

TEST(FiltrationCurvatureFlow, MovesACone)
{
    // u = r has circular level lines of curvature 1 / r and |grad u| = 1, so
    // mean-curvature flow raises it at the rate 1 / r.
    const int side = 41;
    const int centre = 20;
    const double tau = 0.5;
    std::vector<float> img(side * side);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            img[y * side + x] = static_cast<float>(std::hypot(x - centre, y - centre));
    const auto u = filtered(img, side, side, Filtration::geometricMCF, 0.0, 0.0, tau);
    for (int r : {5, 7, 9, 11}) {
        for (auto [dx, dy] : {std::pair{r, 0}, std::pair{0, -r}, std::pair{-r, 0}}) {
            const int i = (centre + dy) * side + centre + dx;
            const double rise = u[i] - img[i];
            EXPECT_NEAR(rise, tau / r, 0.05 * tau / r) << "r " << r;
        }
    }
}

// ---------------------------------------------------------------- printed lines

namespace {

const std::string kNumber = "[-+0-9.e]+";
const std::string kSolveLines(const std::string& solver)
{
    return "#iterations:     [0-9]+\nestimated error: " + kNumber + "\n" + solver + ": elapsed time: " + kNumber
           + "s\n";
}
const std::string kMatrixLine(const std::string& label)
{
    return label + " Matrix: elapsed time: " + kNumber + "s\n";
}

} // namespace

TEST(FiltrationOutput, StepsPrintTheirAssemblyAndSolverLines)
{
    struct Case {
        TypeCase step;
        std::string pattern;
    };
    const std::string smoothing = kMatrixLine("Linear") + kSolveLines("CG");
    const Case cases[] = {
        {{Filtration::linear, 0.0, 0.0, 0.5}, smoothing},
        {{Filtration::nonlinear, 0.5, 1000.0, 3.0}, smoothing + kMatrixLine("Nonlinear") + kSolveLines("BiCGSTAB")},
        {{Filtration::nonlinear, 0.0, 1000.0, 3.0}, kMatrixLine("Nonlinear") + kSolveLines("BiCGSTAB")},
        {{Filtration::nonlinear, 0.5, 0.0, 3.0}, smoothing + kMatrixLine("Nonlinear") + kSolveLines("BiCGSTAB")},
        {{Filtration::geometricMCF, 0.5, 1000.0, 3.0}, smoothing + kMatrixLine("GMCF/MCF") + kSolveLines("BiCGSTAB")},
        {{Filtration::geometricMCF, -1.0, 1000.0, 3.0}, kMatrixLine("GMCF/MCF") + kSolveLines("BiCGSTAB")},
    };
    const auto img = discsImage(10, 8);
    for (const auto& c : cases) {
        Filtration f(10, 8);
        ASSERT_TRUE(f.setImage(img.data(), img.size()));
        const auto run = runStep(f, c.step.type, c.step.tauS, c.step.K, c.step.tau);
        EXPECT_TRUE(run.ok);
        EXPECT_THAT(run.printed, testing::MatchesRegex(c.pattern))
            << typeName(c.step.type) << " tauS " << c.step.tauS << " K " << c.step.K;
    }
}

TEST(FiltrationOutput, IterationCountIsPositiveAndErrorWithinTolerance)
{
    const auto img = discsImage(12, 12);
    Filtration f(12, 12);
    ASSERT_TRUE(f.setImage(img.data(), img.size()));
    const auto run = runStep(f, Filtration::linear, 0, 0, 0.5);
    const auto at = run.printed.find("#iterations:");
    ASSERT_NE(at, std::string::npos);
    int iterations = 0;
    double error = 1.0;
    ASSERT_EQ(std::sscanf(run.printed.c_str() + at, "#iterations: %d estimated error: %lf", &iterations, &error), 2);
    EXPECT_GT(iterations, 0);
    EXPECT_LE(error, kTolerance);
}

TEST(FiltrationOutput, ZeroImageIsSolvedWithoutIterating)
{
    // b = 0: every solve returns x = 0 at once and says so with zero
    // iterations and a zero error, for the smoothing solve as well.
    const std::vector<float> zeros(9 * 7, 0.0f);
    for (const auto& c : kTypeCases) {
        Filtration f(9, 7);
        ASSERT_TRUE(f.setImage(zeros.data(), zeros.size()));
        const auto run = runStep(f, c.type, c.tauS, c.K, c.tau);
        EXPECT_TRUE(run.ok) << typeName(c.type);
        EXPECT_EQ(resultOf(f), std::vector<double>(zeros.size(), 0.0)) << typeName(c.type);
        const std::string noIterations = "#iterations:     0\nestimated error: 0\n";
        std::size_t solves = 0;
        for (std::size_t at = run.printed.find("#iterations:"); at != std::string::npos;
             at = run.printed.find("#iterations:", at + 1)) {
            ++solves;
            EXPECT_EQ(run.printed.compare(at, noIterations.size(), noIterations), 0)
                << typeName(c.type) << "\n" << run.printed;
        }
        EXPECT_GE(solves, 1u) << typeName(c.type);
    }
}

// ---------------------------------------------------------------- loading

TEST(FiltrationLoad, WindowOfABandEqualsTheSameValuesLoadedWhole)
{
    const int bandWidth = 11;
    const int bandHeight = 9;
    const auto band = discsImage(bandWidth, bandHeight);
    const int w = 5;
    const int h = 4;
    const int x0 = 6;
    const int y0 = 3;

    Filtration f(w, h);
    ASSERT_TRUE(f.setImageWindow(band.data(), x0, y0, bandWidth, bandHeight));
    ASSERT_EQ(f.input().size(), static_cast<std::size_t>(w * h));
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c)
            EXPECT_EQ(f.input()[r * w + c], band[(y0 + r) * bandWidth + x0 + c]);

    // At the origin with the window's own width as stride it is setImage.
    Filtration whole(bandWidth, bandHeight);
    ASSERT_TRUE(whole.setImageWindow(band.data(), 0, 0, bandWidth, bandHeight));
    const std::vector<double> viaWindow(whole.input().begin(), whole.input().end());
    ASSERT_TRUE(whole.setImage(band.data(), band.size()));
    EXPECT_EQ(std::vector<double>(whole.input().begin(), whole.input().end()), viaWindow);
}

TEST(FiltrationLoad, WrongSizesAreRefusedWithoutReading)
{
    const int w = 5;
    const int h = 4;
    // Exactly sized buffers: a read past them is an ASan error.
    const std::vector<float> image(w * h, 1.0f);
    const int bandWidth = 8;
    const int bandHeight = 6;
    const std::vector<float> band(bandWidth * bandHeight, 1.0f);

    Filtration f(w, h);
    EXPECT_FALSE(f.setImage(nullptr, w * h));
    EXPECT_FALSE(f.setImage(image.data(), w * h - 1));
    EXPECT_FALSE(f.setImage(image.data(), w * h + 1));

    struct Window {
        int x0, y0, stride, bandHeight;
    };
    const Window bad[] = {
        {4, 0, bandWidth, bandHeight},  // past the right edge
        {0, 3, bandWidth, bandHeight},  // past the bottom
        {-1, 0, bandWidth, bandHeight}, // left of the band
        {0, -1, bandWidth, bandHeight}, // above the band
        {0, 0, 4, 12},                  // rows shorter than the window
        {0, 0, bandWidth, 0},           // no rows
    };
    for (const auto& win : bad) {
        EXPECT_FALSE(f.setImageWindow(band.data(), win.x0, win.y0, win.stride, win.bandHeight))
            << win.x0 << " " << win.y0 << " " << win.stride << " " << win.bandHeight;
        EXPECT_TRUE(f.input().empty());
    }
    EXPECT_FALSE(f.setImageWindow(nullptr, 0, 0, bandWidth, bandHeight));
    // The last window that fits.
    EXPECT_TRUE(f.setImageWindow(band.data(), 3, 2, bandWidth, bandHeight));

    // An empty filter refuses everything.
    Filtration empty(0, 5);
    EXPECT_EQ(empty.n, 0);
    EXPECT_FALSE(empty.setImage(image.data(), 0));
    EXPECT_FALSE(empty.linearStep(1.0));
}

TEST(FiltrationLoad, ResultIsEmptyUntilAStepHasRun)
{
    const int w = 6;
    const int h = 4;
    const auto img = discsImage(w, h);
    Filtration f(w, h);
    // No image: a step does nothing.
    EXPECT_FALSE(runStep(f, Filtration::linear, 0, 0, 1.0).ok);
    EXPECT_FALSE(f.hasResult());
    EXPECT_TRUE(f.result().empty());

    ASSERT_TRUE(f.setImage(img.data(), img.size()));
    EXPECT_FALSE(f.hasResult());
    EXPECT_TRUE(f.result().empty());
    ASSERT_TRUE(runStep(f, Filtration::nonlinear, 0.5, 10.0, 1.0).ok);
    EXPECT_TRUE(f.hasResult());
    EXPECT_EQ(f.result().size(), img.size());

    // A new load drops the old result; so does a refused load.
    ASSERT_TRUE(f.setImage(img.data(), img.size()));
    EXPECT_FALSE(f.hasResult());
    ASSERT_TRUE(runStep(f, Filtration::linear, 0, 0, 1.0).ok);
    EXPECT_FALSE(f.setImage(img.data(), img.size() - 1));
    EXPECT_FALSE(f.hasResult());
    EXPECT_TRUE(f.input().empty());

    // Release drops the images but keeps the matrix for the next band.
    ASSERT_TRUE(f.setImage(img.data(), img.size()));
    ASSERT_TRUE(runStep(f, Filtration::linear, 0, 0, 1.0).ok);
    f.releaseWorkData();
    EXPECT_FALSE(f.hasResult());
    EXPECT_TRUE(f.input().empty());
    EXPECT_EQ(f.matrix().rows(), w * h);
    EXPECT_FALSE(runStep(f, Filtration::geometricMCF, 0, 0, 1.0).ok);
    EXPECT_FALSE(f.hasResult());
}

TEST(FiltrationLoad, BandsOnOneObjectComeOutAsOnNewObjects)
{
    // The program filters band after band on one object, which keeps the
    // memory of its images, side arrays and solver vectors from band to band:
    // whatever a band leaves there, the next must come out bit for bit as on
    // a new object. The window's rows do not split evenly between threads.
    const int w = 67;
    const int h = 45;
    const int bandWidth = w + 9;
    const int bandHeight = h + 6;
    const auto band = discsImage(bandWidth, bandHeight, 0.2f);

    struct Band {
        const char* name;
        int type;
        double tauS, K, tau;
        bool asWindow; // loaded with setImageWindow, else with setImage
    };
    const Band bands[] = {
        {"nonlinear", Filtration::nonlinear, 0.5, 1000.0, 3.0, false},
        {"linear", Filtration::linear, 0.0, 0.0, 0.5, true},
        {"curvature flow", Filtration::geometricMCF, 0.5, 1000.0, 3.0, true},
        {"no time step", Filtration::nonlinear, 0.5, 10.0, 0.0, false},
        {"curvature flow without edge detector", Filtration::geometricMCF, 0.0, 0.0, 1.0, false},
        {"linear, longer", Filtration::linear, 0.0, 0.0, 2.0, false},
        {"nonlinear, unsmoothed", Filtration::nonlinear, 0.0, 50.0, 1.0, true},
    };
    Filtration kept(w, h);
    int k = 0;
    for (const auto& b : bands) {
        // Each band is another window of the scene, so no two inputs agree.
        const int x0 = (3 * k) % 10;
        const int y0 = (5 * k) % 7;
        ++k;
        std::vector<float> window(static_cast<std::size_t>(w) * h);
        for (int r = 0; r < h; ++r)
            std::copy_n(band.begin() + (y0 + r) * bandWidth + x0, w, window.begin() + r * w);

        ASSERT_TRUE(b.asWindow ? kept.setImageWindow(band.data(), x0, y0, bandWidth, bandHeight)
                               : kept.setImage(window.data(), window.size()))
            << b.name;
        ASSERT_TRUE(runStep(kept, b.type, b.tauS, b.K, b.tau).ok) << b.name;
        const std::vector<double> fresh = filtered(window, w, h, b.type, b.tauS, b.K, b.tau);
        const std::vector<double> reused = resultOf(kept);
        ASSERT_EQ(reused.size(), fresh.size()) << b.name;
        EXPECT_TRUE(std::equal(reused.begin(), reused.end(), fresh.begin()))
            << b.name << ": largest difference " << maxDifference(reused, fresh);
        kept.releaseWorkData();
        EXPECT_FALSE(kept.hasResult()) << b.name;
        EXPECT_TRUE(kept.input().empty()) << b.name;
    }
}
