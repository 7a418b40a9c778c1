// The fused five-point solvers against Eigen's ConjugateGradient and
// BiCGSTAB, which they follow step for step: on the matrices the filtration
// steps assemble, on matrices of every grid shape, at the iteration cap, for
// a zero right-hand side, across thread counts, and where BiCGSTAB breaks
// down or restarts.
//
// Both sides run the same iteration with the same stopping rule and differ
// only in how dot products are summed, so they agree on the iteration count
// and to far below the solver tolerance on the solution: a different method
// that also converges would miss these bounds by orders of magnitude.

#include <gtest/gtest.h>

#include <Eigen/IterativeLinearSolvers>
#include <Eigen/SparseCore>

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "filter/FivePointSolver.h"
#include "filter/Filtration.h"
#include "support/TestSupport.h"

using Filter::FivePointMatrix;
using Filter::FivePointSolver;
using Filter::Filtration;
using Filter::SolverReport;
using Filter::SolverSettings;

namespace {

using Matrix = Filtration::Matrix;
using Vector = Eigen::VectorXd;

enum class Method { CG, BiCGSTAB };

const char* methodName(Method m)
{
    return m == Method::CG ? "CG" : "BiCGSTAB";
}

// Deterministic value in [-0.5, 0.5).
double hashed(std::uint32_t i)
{
    std::uint32_t h = i * 2654435761u + 0x9e3779b9u;
    h ^= h >> 15;
    h *= 0x85ebca6bu;
    h ^= h >> 13;
    return static_cast<double>(h % 100000u) / 100000.0 - 0.5;
}

// A matrix with the filtration's five-point pattern whose entry of row i and
// column j is value(i, j).
Matrix fivePoint(int width, int height, const std::function<double(int, int)>& value)
{
    std::vector<Eigen::Triplet<double, int>> entries;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int i = y * width + x;
            std::vector<int> columns{i};
            if (y != 0)
                columns.push_back(i - width);
            if (x != 0)
                columns.push_back(i - 1);
            if (x + 1 != width)
                columns.push_back(i + 1);
            if (y + 1 != height)
                columns.push_back(i + width);
            for (int j : columns)
                entries.emplace_back(i, j, value(i, j));
        }
    }
    Matrix A(width * height, width * height);
    A.setFromTriplets(entries.begin(), entries.end());
    A.makeCompressed();
    return A;
}

// Diagonally dominant, unsymmetric, uneven: every entry differs.
Matrix unsymmetric(int width, int height)
{
    return fivePoint(width, height, [](int i, int j) {
        return i == j ? 4.5 + hashed(static_cast<std::uint32_t>(i)) : -0.6 + hashed(static_cast<std::uint32_t>(7 * i + 3 * j));
    });
}

Vector rhs(int n, std::uint32_t seed = 1)
{
    Vector b(n);
    for (int i = 0; i < n; ++i)
        b[i] = 0.5 + hashed(static_cast<std::uint32_t>(i) * 31u + seed);
    return b;
}

struct Solved {
    Vector x;
    long long iterations = 0;
    double error = 0.0;
    bool success = false;
};

Solved eigenSolve(Method method, const Matrix& A, const Vector& b, long long maxIterations = 1000000)
{
    auto run = [&](auto&& solver) {
        solver.setTolerance(1e-4);
        solver.setMaxIterations(static_cast<Eigen::Index>(maxIterations));
        solver.compute(A);
        Solved out;
        out.x = solver.solveWithGuess(b, Vector::Zero(b.size()));
        out.iterations = solver.iterations();
        out.error = solver.error();
        out.success = solver.info() == Eigen::Success;
        return out;
    };
    if (method == Method::CG)
        return run(Eigen::ConjugateGradient<Matrix, Eigen::Lower | Eigen::Upper, Eigen::DiagonalPreconditioner<double>>());
    return run(Eigen::BiCGSTAB<Matrix, Eigen::DiagonalPreconditioner<double>>());
}

Solved fusedSolve(FivePointSolver& solver, Method method, const Matrix& A, int width, int height, const Vector& b,
                  long long maxIterations = 1000000)
{
    Solved out;
    // Garbage in the output: the solver must start from zero itself.
    out.x = Vector::Constant(b.size(), std::numeric_limits<double>::quiet_NaN());
    const FivePointMatrix matrix{A.valuePtr(), width, height};
    const SolverSettings settings{1e-4, maxIterations};
    const SolverReport report = method == Method::CG ? solver.conjugateGradient(matrix, b.data(), out.x.data(), settings)
                                                     : solver.biCGSTAB(matrix, b.data(), out.x.data(), settings);
    out.iterations = report.iterations;
    out.error = report.error;
    out.success = report.status == SolverReport::Status::Success;
    return out;
}

Solved fusedSolve(Method method, const Matrix& A, int width, int height, const Vector& b,
                  long long maxIterations = 1000000)
{
    FivePointSolver solver;
    return fusedSolve(solver, method, A, width, height, b, maxIterations);
}

double relativeDifference(const Vector& a, const Vector& b)
{
    return (a - b).lpNorm<Eigen::Infinity>() / std::max(b.lpNorm<Eigen::Infinity>(), 1e-300);
}

// Same iterations, same outcome, and solutions equal to rounding.
void expectSameAsEigen(const Solved& fused, const Solved& eigen, const std::string& what)
{
    EXPECT_EQ(fused.iterations, eigen.iterations) << what;
    EXPECT_EQ(fused.success, eigen.success) << what;
    EXPECT_NEAR(fused.error, eigen.error, 1e-9 + 1e-6 * eigen.error) << what;
    EXPECT_LT(relativeDifference(fused.x, eigen.x), 1e-9) << what;
}

// For systems on which BiCGSTAB amplifies rounding (the curvature-flow
// matrix: a change of one right-hand side entry by 1e-15 moves Eigen's own
// solution by 2e-5), the bound is what the tolerance guarantees: both
// residuals are below 1e-4 |b|, and the matrix is an M-matrix with row sums
// 1, so |A^-1|_inf <= 1 and the solutions differ by at most 2e-4 |b|.
void expectWithinTheToleranceOfEigen(const Solved& fused, const Solved& eigen, const Vector& b,
                                     const std::string& what)
{
    EXPECT_LE(std::abs(fused.iterations - eigen.iterations), 1) << what;
    EXPECT_TRUE(fused.success) << what;
    EXPECT_LE((fused.x - eigen.x).lpNorm<Eigen::Infinity>(), 2e-4 * b.norm()) << what;
}

// The matrix a filtration step of the given type assembles on an image, and
// the right-hand side (the step's input).
struct Assembled {
    Matrix A;
    Vector b;
};

Assembled assembledBy(int type, const std::vector<float>& image, int width, int height)
{
    Filtration f(width, height);
    EXPECT_TRUE(f.setImage(image.data(), image.size()));
    TestSupport::quietly([&] {
        if (type == Filtration::linear)
            EXPECT_TRUE(f.linearStep(0.5));
        else if (type == Filtration::nonlinear)
            EXPECT_TRUE(f.nonlinearStep(0.5, 1000.0, 3.0));
        else
            EXPECT_TRUE(f.geometricMCFStep(0.5, 1000.0, 3.0));
    });
    Assembled out{f.matrix(), Vector(width * height)};
    // A linear step feeds its result back into the input: take the image.
    for (int i = 0; i < width * height; ++i)
        out.b[i] = image[static_cast<std::size_t>(i)];
    return out;
}

std::vector<float> noisyScene(int width, int height)
{
    std::vector<float> img(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool disc = std::hypot(x - width * 0.4, y - height * 0.5) < width * 0.3;
            img[static_cast<std::size_t>(y) * width + x]
                = (disc ? 0.8f : 0.2f) + 0.1f * static_cast<float>(hashed(static_cast<std::uint32_t>(y * width + x)));
        }
    }
    return img;
}

} // namespace

TEST(FivePointSolver, FollowsEigenOnTheMatricesOfEveryFilterStep)
{
    struct Case {
        int type;
        Method method;
        bool constant;
        bool amplifiesRounding = false;
    };
    const Case cases[] = {
        {Filtration::linear, Method::CG, false},          {Filtration::linear, Method::CG, true},
        {Filtration::linear, Method::BiCGSTAB, false},    {Filtration::nonlinear, Method::BiCGSTAB, false},
        {Filtration::nonlinear, Method::BiCGSTAB, true},  {Filtration::geometricMCF, Method::BiCGSTAB, false, true},
        {Filtration::geometricMCF, Method::BiCGSTAB, true},
    };
    const int width = 41;
    const int height = 29;
    const auto scene = noisyScene(width, height);
    const std::vector<float> flat(scene.size(), 0.37f);
    for (const auto& c : cases) {
        const Assembled system = assembledBy(c.type, c.constant ? flat : scene, width, height);
        const std::string what = std::string(methodName(c.method)) + " type " + std::to_string(c.type)
                                 + (c.constant ? " constant" : " scene");
        const Solved eigen = eigenSolve(c.method, system.A, system.b);
        const Solved fused = fusedSolve(c.method, system.A, width, height, system.b);
        ASSERT_TRUE(eigen.success) << what;
        if (!c.constant) {
            EXPECT_GT(eigen.iterations, 2) << what;
        }
        if (c.amplifiesRounding) {
            expectWithinTheToleranceOfEigen(fused, eigen, system.b, what);
        } else {
            expectSameAsEigen(fused, eigen, what);
        }
        EXPECT_LE(fused.error, 1e-4) << what;
    }
}

TEST(FivePointSolver, FollowsEigenOnEveryGridShape)
{
    struct Shape {
        int width;
        int height;
    };
    // Single rows and columns, 2 x 2 (no inner pixel), and grids with inner
    // rows and columns: every branch of the row walk.
    const Shape shapes[] = {{1, 1}, {1, 7}, {9, 1}, {2, 2}, {2, 5}, {6, 3}, {17, 13}};
    for (const auto& s : shapes) {
        const Matrix A = unsymmetric(s.width, s.height);
        const Vector b = rhs(s.width * s.height);
        const std::string what = std::to_string(s.width) + " x " + std::to_string(s.height);
        expectSameAsEigen(fusedSolve(Method::BiCGSTAB, A, s.width, s.height, b), eigenSolve(Method::BiCGSTAB, A, b),
                          "BiCGSTAB " + what);
        const Matrix S = fivePoint(s.width, s.height, [](int i, int j) {
            return i == j ? 5.0 + hashed(static_cast<std::uint32_t>(i)) : -0.7 - 0.2 * hashed(static_cast<std::uint32_t>(i + j));
        });
        expectSameAsEigen(fusedSolve(Method::CG, S, s.width, s.height, b), eigenSolve(Method::CG, S, b), "CG " + what);
    }
}

TEST(FivePointSolver, SolvesASymmetricPositiveDefiniteSystemWithAKnownSolution)
{
    // The linear diffusion matrix (eigenvalues >= 1) with a chosen solution:
    // |x - x*| <= |A^-1| |r| <= 1e-4 |b|.
    const int width = 33;
    const int height = 27;
    const double tau = 2.0;
    const Matrix A = fivePoint(width, height, [&](int i, int j) {
        if (i != j)
            return -tau;
        const int x = i % width;
        const int y = i / width;
        const int neighbours = (x != 0) + (x + 1 != width) + (y != 0) + (y + 1 != height);
        return 1.0 + tau * neighbours;
    });
    Vector solution(width * height);
    for (int i = 0; i < width * height; ++i)
        solution[i] = std::sin(0.3 * (i % width)) * std::cos(0.2 * (i / width)) + 2.0;
    const Vector b = A * solution;
    for (Method m : {Method::CG, Method::BiCGSTAB}) {
        const Solved fused = fusedSolve(m, A, width, height, b);
        EXPECT_TRUE(fused.success) << methodName(m);
        EXPECT_LE((fused.x - solution).norm(), 1e-4 * b.norm()) << methodName(m);
        EXPECT_LE((A * fused.x - b).norm(), 1e-4 * b.norm() * (1 + 1e-9)) << methodName(m);
    }
}

TEST(FivePointSolver, ZeroRightHandSideGivesZeroWithoutIterating)
{
    const Matrix A = unsymmetric(7, 5);
    const Vector b = Vector::Zero(35);
    for (Method m : {Method::CG, Method::BiCGSTAB}) {
        const Solved fused = fusedSolve(m, A, 7, 5, b);
        EXPECT_TRUE(fused.success) << methodName(m);
        EXPECT_EQ(fused.iterations, 0) << methodName(m);
        EXPECT_EQ(fused.error, 0.0) << methodName(m);
        EXPECT_TRUE((fused.x.array() == 0.0).all()) << methodName(m);
        // Eigen's solution is the same.
        EXPECT_TRUE((eigenSolve(m, A, b).x.array() == 0.0).all()) << methodName(m);
    }
}

TEST(FivePointSolver, StopsAtTheIterationCapWithEigensIterate)
{
    // The cap ends the solve before convergence: the iterate must include
    // the last step along the last direction, as Eigen's does.
    const int width = 31;
    const int height = 23;
    const Assembled system = assembledBy(Filtration::geometricMCF, noisyScene(width, height), width, height);
    const Assembled linear = assembledBy(Filtration::linear, noisyScene(width, height), width, height);
    for (long long cap : {1LL, 2LL, 3LL}) {
        for (Method m : {Method::CG, Method::BiCGSTAB}) {
            const Matrix& A = m == Method::CG ? linear.A : system.A;
            const Vector& b = m == Method::CG ? linear.b : system.b;
            const std::string what = std::string(methodName(m)) + " cap " + std::to_string(cap);
            const Solved eigen = eigenSolve(m, A, b, cap);
            const Solved fused = fusedSolve(m, A, width, height, b, cap);
            ASSERT_FALSE(eigen.success) << what;
            EXPECT_FALSE(fused.success) << what;
            expectSameAsEigen(fused, eigen, what);
        }
    }
}

TEST(FivePointSolver, ThreadCountChangesOnlyTheSummationOrder)
{
    const int width = 37;
    const int height = 31;
    const Assembled system = assembledBy(Filtration::nonlinear, noisyScene(width, height), width, height);
    const Assembled linear = assembledBy(Filtration::linear, noisyScene(width, height), width, height);
    const int previous = omp_get_max_threads();
    for (Method m : {Method::CG, Method::BiCGSTAB}) {
        const Matrix& A = m == Method::CG ? linear.A : system.A;
        const Vector& b = m == Method::CG ? linear.b : system.b;
        omp_set_num_threads(1);
        const Solved one = fusedSolve(m, A, width, height, b);
        // More threads than some grids have rows: idle threads still take
        // part in every sum and barrier.
        for (int threads : {2, 3, 8, 40}) {
            omp_set_num_threads(threads);
            const Solved many = fusedSolve(m, A, width, height, b);
            EXPECT_EQ(many.iterations, one.iterations) << methodName(m) << " " << threads;
            EXPECT_LT(relativeDifference(many.x, one.x), 1e-11) << methodName(m) << " " << threads;
            const Matrix small = unsymmetric(5, 3);
            const Vector smallB = rhs(15);
            expectSameAsEigen(fusedSolve(Method::BiCGSTAB, small, 5, 3, smallB),
                              eigenSolve(Method::BiCGSTAB, small, smallB), "3 rows on " + std::to_string(threads));
        }
    }
    omp_set_num_threads(previous);
}

TEST(FivePointSolver, WorkVectorsAreReusedAcrossSolvesAndSizes)
{
    // One solver object for systems of changing size and both methods, as
    // the filtration uses it band after band.
    FivePointSolver solver;
    struct Run {
        int width;
        int height;
        Method method;
    };
    const Run runs[] = {{12, 9, Method::CG},       {12, 9, Method::BiCGSTAB}, {20, 14, Method::BiCGSTAB},
                        {5, 4, Method::CG},        {12, 9, Method::BiCGSTAB}};
    for (const auto& run : runs) {
        const Assembled system = assembledBy(run.method == Method::CG ? Filtration::linear : Filtration::nonlinear,
                                             noisyScene(run.width, run.height), run.width, run.height);
        expectSameAsEigen(fusedSolve(solver, run.method, system.A, run.width, run.height, system.b),
                          eigenSolve(run.method, system.A, system.b),
                          std::string(methodName(run.method)) + " " + std::to_string(run.width));
    }
}

TEST(FivePointSolver, BiCGSTABBreakdownsEndAsEigensDo)
{
    struct Case {
        const char* name;
        int width;
        int height;
        std::vector<double> values; // in stored order
        std::vector<double> b;
    };
    const Case cases[] = {
        // A rotation: r0 . A M^-1 r0 = 0, so alpha = rho / 0 and the
        // iterate is no longer finite after one iteration.
        {"zero denominator", 2, 1, {0.0, 1.0, -1.0, 0.0}, {1.0, 0.0}},
        // After one iteration r0 . r is exactly 0 while r is not: the
        // solver restarts from the true residual and the count starts anew.
        {"restart", 3, 1, {0.0, 1.0, 1.0, -2.0, -2.0, 0.0, 1.0}, {0.0, 0.0, -1.0}},
        {"restart, then converges", 3, 1, {2.0, -1.0, 1.0, -2.0, 1.0, 1.0, 0.0}, {1.0, 0.0, -1.0}},
    };
    for (const auto& c : cases) {
        Matrix A = fivePoint(c.width, c.height, [](int, int) { return 1.0; });
        ASSERT_EQ(static_cast<std::size_t>(A.nonZeros()), c.values.size()) << c.name;
        std::copy(c.values.begin(), c.values.end(), A.valuePtr());
        const Vector b = Eigen::Map<const Vector>(c.b.data(), static_cast<Eigen::Index>(c.b.size()));
        const Solved eigen = eigenSolve(Method::BiCGSTAB, A, b);
        const Solved fused = fusedSolve(Method::BiCGSTAB, A, c.width, c.height, b);
        EXPECT_EQ(fused.iterations, eigen.iterations) << c.name;
        EXPECT_EQ(fused.success, eigen.success) << c.name;
        EXPECT_EQ(fused.x.allFinite(), eigen.x.allFinite()) << c.name;
        if (eigen.x.allFinite()) {
            EXPECT_LT(relativeDifference(fused.x, eigen.x), 1e-12) << c.name;
        } else {
            EXPECT_FALSE(fused.success) << c.name;
        }
    }
}
