#pragma once

// One semi-implicit time step of image diffusion on the pixel grid.
//
// The image is a row-major window of width x height pixels (x to the right,
// y downwards). Each pixel is a finite volume with four sides, always taken in
// the order right, left, next row, previous row. A missing neighbour (outside
// the window) takes the pixel's own value, so no flux crosses the border.
//
// A step assembles a sparse system with the five-point pattern and solves it
// iteratively: conjugate gradients for the symmetric linear-diffusion matrix,
// BiCGSTAB for the nonlinear and mean-curvature-flow matrices. The pattern is
// built once per window size; a step only writes values and solves, so one
// object is reused for every band of a window.
//
// Use: load (setImage / setImageWindow) -> one step -> read result() ->
// releaseWorkData(). The result is empty until a step has run, so a caller
// never copies undefined values into a cache. Steps print their assembly and
// solver times and iteration counts to standard output.
//
// Memory: every buffer of the object is allocated in huge pages (see
// WorkBuffer.h) and kept until the object goes, so only the first band of a
// new object pays for first touches; each page of the matrix and of the
// solvers' vectors is first written by the thread that works on its rows.

#include <array>
#include <chrono>
#include <cstddef>
#include <optional>
#include <span>

#include <Eigen/SparseCore>

#include "filter/FilterType.h"
#include "filter/FivePointSolver.h"
#include "filter/WorkBuffer.h"

namespace Filter {

class Filtration {
public:
    using filterType = FilterType;
    using enum FilterType;

    using Matrix = Eigen::SparseMatrix<double, Eigen::RowMajor, int>;
    // The system matrix as Eigen sees it, over the object's own storage.
    using MatrixView = Eigen::Map<const Matrix>;
    using SideValues = std::array<double, 4>;

    // Builds the matrix pattern for the window size, all values 0, in
    // parallel: each thread writes the rows it will assemble and solve.
    // Throws std::bad_alloc when memory runs out, or
    // std::bad_array_new_length when the window has more pixels than the
    // matrix's int indices can address. A non-positive size gives an empty
    // filter that refuses every load.
    Filtration(int width, int height);
    ~Filtration();
    Filtration(const Filtration&) = delete;
    Filtration& operator=(const Filtration&) = delete;

    const int width;
    const int height;
    const int n;

    // Loads n = width * height values. Refused (false, nothing read, the
    // object left unloaded) when image is null or count differs from n.
    bool setImage(const float* image, std::size_t count);

    // Loads the width x height window whose top-left pixel is (x0, y0) of a
    // band of stride x bandHeight values (stride = the band's row length).
    // Refused (false, nothing read, the object left unloaded) unless the
    // window lies inside the band.
    bool setImageWindow(const float* band, int x0, int y0, int stride, int bandHeight);

    // Each step returns true when result() holds the filtered image (or, for
    // tau <= 0, the copy of the input). Without a loaded image it does
    // nothing and returns false. When the system cannot be solved (a
    // non-finite input pixel, parameters that give a non-finite or singular
    // matrix, no convergence, a non-finite solution) it prints one diagnostic
    // line, the result is the unfiltered input and it returns false.

    // Linear diffusion; the result also becomes the input of the next step.
    bool linearStep(double tau);
    // Nonlinear diffusion with conductivities g = 1 / (1 + K s^2) from the
    // input pre-smoothed by a linear step of tauS. The input stays.
    bool nonlinearStep(double tauS, double K, double tau);
    // Edge-weighted mean-curvature flow of the level lines. The input stays.
    bool geometricMCFStep(double tauS, double K, double tau);

    // Drops the images: input() and result() are empty until the next load.
    // Their memory stays, with the side arrays', the matrix and the solvers'
    // work vectors, for the next band, which then touches no new page.
    void releaseWorkData();

    // The result of the last step, n values, or empty before a step.
    std::span<const double> result() const { return {u_.data(), u_.size()}; }
    bool hasResult() const { return !u_.empty(); }
    // The input of the next step (n values while loaded).
    std::span<const double> input() const { return {u0_.data(), u0_.size()}; }
    // The system matrix with the values of the last assembly (all 0 before
    // the first); valid as long as the object.
    MatrixView matrix() const;

private:
    bool loaded() const { return n > 0 && u0_.size() == static_cast<std::size_t>(n); }
    // Prints the one diagnostic line of a failed step and returns false.
    static bool reportFailure(const char* label, const char* reason);
    // The result of a step that could not be solved: the unfiltered input.
    bool keepInput();
    bool failStep(const char* label, const char* reason);
    // The outcome of a step that needs no solve (nothing loaded, no time
    // step, non-finite input); empty when the step must solve.
    std::optional<bool> stepWithoutSolve(double tau);
    void copyInto(WorkVector<double>& dst, const WorkVector<double>& src) const;

    bool prepareEdgeDetector(double tauS, double K);
    void computeSideGradients();
    void computeRegularizedSideNorms(double eps);
    void computeSideEdgeDetector(double K);
    bool assembleLinearMatrix(double tau);
    bool assembleNonlinearMatrix(double tau, const WorkVector<SideValues>& g);
    bool assembleGMCFMatrix(double tau, const WorkVector<SideValues>& g);
    // x = the solution of A x = u0 (the smoothed image w_, or a linear
    // step's result u_).
    bool solveCG(WorkVector<double>& x);
    bool solveBiCGSTAB();
    FivePointMatrix systemMatrix() const;
    static SolverSettings solverSettings();
    static void printSolverLines(const SolverReport& report, const char* timeLabel,
                                 std::chrono::steady_clock::time_point start);

    WorkVector<double> u0_;
    WorkVector<double> u_;
    WorkVector<double> w_;
    // The system matrix in compressed rows (FivePointPattern.h): the first
    // entry of each row, the column of each entry and its value.
    WorkVector<int> outerIndex_;
    WorkVector<int> innerIndex_;
    WorkVector<double> values_;
    WorkVector<SideValues> sideGradSq_;
    WorkVector<SideValues> sideNorm_;
    WorkVector<SideValues> sideG_;
    bool inputFinite_ = false;
    // Work vectors of the solvers, kept for the next solve of this size.
    FivePointSolver solver_;
};

} // namespace Filter
