#pragma once

// Jacobi-preconditioned conjugate gradients and BiCGSTAB for the five-point
// matrices of the filtration (see FivePointPattern.h), written as fused
// OpenMP sweeps over the matrix's own value array.
//
// Both follow the iterations of Eigen's ConjugateGradient and BiCGSTAB step
// for step: the diagonal preconditioner (1 / a_ii, 1 where a_ii = 0), a zero
// start, the stopping rule |r| < tolerance |b| on the true recursive
// residual, the iteration count as Eigen counts it, and BiCGSTAB's restart
// when r0 . r vanishes. They differ from Eigen only in the order in which the
// dot products are summed, so results agree to rounding.
//
// What they do differently is the memory traffic. One parallel region runs
// the whole solve; every thread owns the same block of grid rows in every
// sweep (so the pages it first touched stay its own), scalars come from
// per-thread partial sums that every thread adds up in the same order, and
// each matrix product is fused with the vector updates around it: the product
// reads the value array row by row without its column indices and takes the
// preconditioned vector on the fly, while the update of the vector it
// multiplies runs one grid row ahead of it. The work vectors are kept between
// solves of the same size.

#include <cstddef>
#include <vector>

#include "filter/WorkBuffer.h"

namespace Filter {

// A five-point matrix of a width x height grid: the value array of its
// compressed rows in the layout of FivePointPattern.h.
struct FivePointMatrix {
    const double* values = nullptr;
    int width = 0;
    int height = 0;
};

struct SolverSettings {
    double tolerance = 1e-4;
    long long maxIterations = 1000000;
};

struct SolverReport {
    enum class Status {
        Success,       // |r| / |b| <= tolerance
        NoConvergence, // the iteration cap was reached, or the residual is not finite
    };

    long long iterations = 0;
    // |r| / |b| of the returned solution; 0 for b = 0.
    double error = 0.0;
    Status status = Status::Success;
};

// Partial sums of one thread, one cache line each so threads never share one.
struct alignas(64) PartialSums {
    double value[4];
};

class FivePointSolver {
public:
    FivePointSolver() = default;
    FivePointSolver(const FivePointSolver&) = delete;
    FivePointSolver& operator=(const FivePointSolver&) = delete;

    // Solve A x = b from x = 0; x and b hold width * height values and may
    // not overlap. b = 0 gives x = 0 after no iteration.
    SolverReport conjugateGradient(const FivePointMatrix& A, const double* b, double* x,
                                   const SolverSettings& settings = {});
    SolverReport biCGSTAB(const FivePointMatrix& A, const double* b, double* x, const SolverSettings& settings = {});

    // Frees the work vectors.
    void release();

private:
    // Sizes the work vectors; false for an empty grid.
    bool reserve(const FivePointMatrix& A, bool biCGSTAB);

    WorkVector<double> invDiagonal_;
    WorkVector<double> r_;
    WorkVector<double> p_;
    WorkVector<double> v_;
    WorkVector<double> t_;
    WorkVector<double> r0_;
    std::vector<PartialSums> partials_;
};

} // namespace Filter
