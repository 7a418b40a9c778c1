#include "filter/FivePointSolver.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include <omp.h>

#include "filter/FivePointPattern.h"

namespace Filter {

namespace {

// The grid rows one thread of the solving team owns, the same in every sweep
// of a solve, and the team's sums.
class Team {
public:
    Team(PartialSums* partials, std::size_t slots, int width, int height)
        : thread(omp_get_thread_num())
        , threads(omp_get_num_threads())
        , y0(rowBlock(height, thread, threads).begin)
        , y1(rowBlock(height, thread, threads).end)
        , begin(static_cast<long long>(y0) * width)
        , end(static_cast<long long>(y1) * width)
        , partials_(partials)
        , slots_(slots)
    {
    }

    // The sums over the team of every thread's values. Each thread adds the
    // partials up in thread order, so all of them get the same totals and
    // take the same branches afterwards. Sums alternate between two sets of
    // partials: a set is written again only after the next sum's barrier,
    // which no thread passes before every thread has read this one.
    template <std::size_t N>
    std::array<double, N> sum(const std::array<double, N>& mine)
    {
        PartialSums* set = partials_ + phase_ * slots_;
        for (std::size_t k = 0; k < N; ++k)
            set[thread].value[k] = mine[k];
        phase_ ^= 1;
#pragma omp barrier
        std::array<double, N> total{};
        for (int t = 0; t < threads; ++t)
            for (std::size_t k = 0; k < N; ++k)
                total[k] += set[t].value[k];
        return total;
    }

    // Runs update(y) on this thread's rows one row ahead of product(y), so
    // that rows y - 1, y and y + 1 hold their new values, on every thread,
    // when product(y) reads them. The first and last rows of every block are
    // updated before a barrier, since the neighbouring threads read them.
    template <typename Update, typename Product>
    void laggedSweep(Update&& update, Product&& product)
    {
        if (y0 < y1) {
            update(y0);
            if (y1 - 1 > y0)
                update(y1 - 1);
        }
#pragma omp barrier
        for (int y = y0; y < y1; ++y) {
            if (y + 1 < y1 - 1)
                update(y + 1);
            product(y);
        }
    }

    const int thread;
    const int threads;
    const int y0;
    const int y1;
    const long long begin;
    const long long end;

private:
    PartialSums* partials_;
    std::size_t slots_;
    int phase_ = 0;
};

// Calls emit(i, (A v)_i) for the pixels i of one row whose values start at a,
// where v(j) is the multiplied vector at pixel j. The entries are summed in
// their stored order, as a compressed-row product sums them.
template <bool Up, bool Down, typename V, typename Emit>
inline void multiplyRowOf(const double* a, long long i0, long long w, const V& v, Emit& emit)
{
    if (w == 1) {
        double s = 0.0;
        if constexpr (Up)
            s += *a++ * v(i0 - w);
        s += *a++ * v(i0);
        if constexpr (Down)
            s += *a * v(i0 + w);
        emit(i0, s);
        return;
    }
    {
        double s = 0.0;
        if constexpr (Up)
            s += *a++ * v(i0 - w);
        s += *a++ * v(i0);
        s += *a++ * v(i0 + 1);
        if constexpr (Down)
            s += *a++ * v(i0 + w);
        emit(i0, s);
    }
    constexpr int entries = 3 + Up + Down;
    for (long long x = 1; x + 1 < w; ++x, a += entries) {
        const long long i = i0 + x;
        int k = 0;
        double s = 0.0;
        if constexpr (Up)
            s += a[k++] * v(i - w);
        s += a[k++] * v(i - 1);
        s += a[k++] * v(i);
        s += a[k++] * v(i + 1);
        if constexpr (Down)
            s += a[k] * v(i + w);
        emit(i, s);
    }
    {
        const long long i = i0 + w - 1;
        double s = 0.0;
        if constexpr (Up)
            s += *a++ * v(i - w);
        s += *a++ * v(i - 1);
        s += *a++ * v(i);
        if constexpr (Down)
            s += *a * v(i + w);
        emit(i, s);
    }
}

template <typename V, typename Emit>
inline void multiplyRow(const FivePointMatrix& A, int y, const V& v, Emit&& emit)
{
    const double* a = A.values + patternRowStart(A.width, A.height, y);
    const long long w = A.width;
    const long long i0 = y * w;
    const bool up = y != 0;
    const bool down = y + 1 != A.height;
    if (up && down)
        multiplyRowOf<true, true>(a, i0, w, v, emit);
    else if (up)
        multiplyRowOf<true, false>(a, i0, w, v, emit);
    else if (down)
        multiplyRowOf<false, true>(a, i0, w, v, emit);
    else
        multiplyRowOf<false, false>(a, i0, w, v, emit);
}

// The Jacobi preconditioner of row y: 1 / a_ii, or 1 where a_ii is 0.
void invertDiagonalOfRow(const FivePointMatrix& A, int y, double* out)
{
    const double* a = A.values + patternRowStart(A.width, A.height, y);
    const int up = y != 0;
    const int down = y + 1 != A.height;
    for (int x = 0; x < A.width; ++x) {
        const int left = x != 0;
        const int right = x + 1 != A.width;
        const double d = a[up + left];
        out[x] = d != 0.0 ? 1.0 / d : 1.0;
        a += 1 + up + down + left + right;
    }
}

void sizeTo(WorkVector<double>& v, std::size_t n)
{
    // A vector of another size is replaced rather than resized, so no stale
    // contents are copied and the new pages are first touched by the threads
    // that own them.
    if (v.size() != n) {
        WorkVector<double>().swap(v);
        v.resize(n);
    }
}

// Where a solve ended: the iteration count and |r|^2, |b|^2.
struct Outcome {
    long long iterations = 0;
    double residualNorm2 = 0.0;
    double rhsNorm2 = 0.0;
};

// Runs body(team) on every thread of one parallel region, after each thread
// has inverted the diagonal of its rows, and reports the outcome.
template <typename Body>
SolverReport solveInTeam(const FivePointMatrix& A, double* invDiagonal, std::vector<PartialSums>& partials,
                         double tolerance, Body&& body)
{
    SolverReport report;
    PartialSums* const sums = partials.data();
    const std::size_t slots = partials.size() / 2;
#pragma omp parallel
    {
        Team team(sums, slots, A.width, A.height);
        for (int y = team.y0; y < team.y1; ++y)
            invertDiagonalOfRow(A, y, invDiagonal + static_cast<long long>(y) * A.width);
        const Outcome outcome = body(team);
        if (team.thread == 0) {
            report.iterations = outcome.iterations;
            report.error = outcome.rhsNorm2 == 0.0 ? 0.0 : std::sqrt(outcome.residualNorm2 / outcome.rhsNorm2);
            report.status = report.error <= tolerance ? SolverReport::Status::Success
                                                      : SolverReport::Status::NoConvergence;
        }
    }
    return report;
}

} // namespace

bool FivePointSolver::reserve(const FivePointMatrix& A, bool biCGSTAB)
{
    if (A.width <= 0 || A.height <= 0 || !A.values)
        return false;
    const std::size_t n = static_cast<std::size_t>(A.width) * static_cast<std::size_t>(A.height);
    sizeTo(invDiagonal_, n);
    sizeTo(r_, n);
    sizeTo(p_, n);
    sizeTo(v_, n);
    if (biCGSTAB) {
        sizeTo(t_, n);
        sizeTo(r0_, n);
    }
    partials_.resize(2 * static_cast<std::size_t>(std::max(1, omp_get_max_threads())));
    return true;
}

void FivePointSolver::release()
{
    for (auto* v : {&invDiagonal_, &r_, &p_, &v_, &t_, &r0_})
        WorkVector<double>().swap(*v);
    std::vector<PartialSums>().swap(partials_);
}

SolverReport FivePointSolver::conjugateGradient(const FivePointMatrix& A, const double* b, double* x,
                                                const SolverSettings& settings)
{
    if (!reserve(A, false))
        return {};
    const double* const invDiagonal = invDiagonal_.data();
    double* const r = r_.data();
    double* const p = p_.data();
    double* const q = v_.data();
    const double tolerance = settings.tolerance;
    const long long maxIterations = settings.maxIterations;

    return solveInTeam(A, invDiagonal_.data(), partials_, tolerance, [&](Team& team) {
        // From x = 0 the residual is b; the first direction is M^-1 r.
        double bb = 0.0;
        double rz = 0.0;
        for (long long i = team.begin; i < team.end; ++i) {
            x[i] = 0.0;
            r[i] = b[i];
            p[i] = invDiagonal[i] * r[i];
            bb += b[i] * b[i];
            rz += r[i] * p[i];
        }
        const auto [rhsNorm2, rzFirst] = team.sum<2>({bb, rz});

        long long iterations = 0;
        double residualNorm2 = rhsNorm2;
        const double threshold = std::max(tolerance * tolerance * rhsNorm2, std::numeric_limits<double>::min());
        if (rhsNorm2 != 0.0 && !(residualNorm2 < threshold)) {
            double absNew = rzFirst;
            double alpha = 0.0;
            double beta = 0.0;
            bool moved = false;
            while (iterations < maxIterations) {
                // The step along the previous direction (x += alpha p) is
                // taken while that direction is read for its update, which
                // saves a pass over p.
                const bool newDirection = iterations > 0;
                double pq = 0.0;
                team.laggedSweep(
                    [&](int y) {
                        if (!newDirection)
                            return;
                        const long long end = static_cast<long long>(y + 1) * A.width;
                        for (long long i = static_cast<long long>(y) * A.width; i < end; ++i) {
                            x[i] += alpha * p[i];
                            p[i] = invDiagonal[i] * r[i] + beta * p[i];
                        }
                    },
                    [&](int y) {
                        multiplyRow(A, y, [p](long long j) { return p[j]; },
                                    [&](long long i, double s) {
                                        q[i] = s;
                                        pq += p[i] * s;
                                    });
                    });
                alpha = absNew / team.sum<1>({pq})[0];
                moved = true;

                double rr = 0.0;
                double rzNew = 0.0;
                for (long long i = team.begin; i < team.end; ++i) {
                    r[i] -= alpha * q[i];
                    rr += r[i] * r[i];
                    rzNew += r[i] * (invDiagonal[i] * r[i]);
                }
                const auto [rrTotal, rzTotal] = team.sum<2>({rr, rzNew});
                residualNorm2 = rrTotal;
                if (residualNorm2 < threshold)
                    break;
                const double absOld = absNew;
                absNew = rzTotal;
                beta = absNew / absOld;
                ++iterations;
            }
            if (moved) {
                for (long long i = team.begin; i < team.end; ++i)
                    x[i] += alpha * p[i];
            }
        }
        return Outcome{iterations, residualNorm2, rhsNorm2};
    });
}

SolverReport FivePointSolver::biCGSTAB(const FivePointMatrix& A, const double* b, double* x,
                                       const SolverSettings& settings)
{
    if (!reserve(A, true))
        return {};
    const double* const invDiagonal = invDiagonal_.data();
    double* const r = r_.data();
    double* const r0 = r0_.data();
    double* const p = p_.data();
    double* const v = v_.data();
    double* const t = t_.data();
    const double tolerance = settings.tolerance;
    const long long maxIterations = settings.maxIterations;
    const double eps = std::numeric_limits<double>::epsilon();

    return solveInTeam(A, invDiagonal_.data(), partials_, tolerance, [&](Team& team) {
        // From x = 0: r = r0 = b, and the directions p and v start at 0.
        double bb = 0.0;
        for (long long i = team.begin; i < team.end; ++i) {
            x[i] = 0.0;
            r[i] = b[i];
            r0[i] = b[i];
            p[i] = 0.0;
            v[i] = 0.0;
            bb += b[i] * b[i];
        }
        const double rhsNorm2 = team.sum<1>({bb})[0];

        long long iterations = 0;
        double residualNorm2 = rhsNorm2;
        if (rhsNorm2 != 0.0) {
            double r0Norm2 = rhsNorm2;
            double rhoNext = rhsNorm2; // r0 . r
            double rho = 1.0;
            double alpha = 1.0;
            double w = 1.0;
            const double tol2 = tolerance * tolerance * rhsNorm2;
            const double eps2 = eps * eps;
            long long restarts = 0;
            while (residualNorm2 > tol2 && iterations < maxIterations) {
                const double rhoOld = rho;
                rho = rhoNext;
                if (std::abs(rho) < eps2 * r0Norm2) {
                    // The residual became orthogonal to r0: restart from the
                    // true residual of the current x. The first restart also
                    // starts the iteration count again.
                    double rr = 0.0;
                    for (int y = team.y0; y < team.y1; ++y) {
                        multiplyRow(A, y, [x](long long j) { return x[j]; }, [&](long long i, double s) {
                            r[i] = b[i] - s;
                            r0[i] = r[i];
                            rr += r[i] * r[i];
                        });
                    }
                    rho = r0Norm2 = team.sum<1>({rr})[0];
                    if (restarts++ == 0)
                        iterations = 0;
                }
                const double beta = (rho / rhoOld) * (alpha / w);

                // p = r + beta (p - w v); v = A M^-1 p.
                double r0v = 0.0;
                team.laggedSweep(
                    [&](int y) {
                        const long long end = static_cast<long long>(y + 1) * A.width;
                        for (long long i = static_cast<long long>(y) * A.width; i < end; ++i)
                            p[i] = r[i] + beta * (p[i] - w * v[i]);
                    },
                    [&](int y) {
                        multiplyRow(A, y, [p, invDiagonal](long long j) { return invDiagonal[j] * p[j]; },
                                    [&](long long i, double s) {
                                        v[i] = s;
                                        r0v += r0[i] * s;
                                    });
                    });
                alpha = rho / team.sum<1>({r0v})[0];

                // s = r - alpha v, kept in r; t = A M^-1 s.
                double tt = 0.0;
                double ts = 0.0;
                team.laggedSweep(
                    [&](int y) {
                        const long long end = static_cast<long long>(y + 1) * A.width;
                        for (long long i = static_cast<long long>(y) * A.width; i < end; ++i)
                            r[i] = r[i] - alpha * v[i];
                    },
                    [&](int y) {
                        multiplyRow(A, y, [r, invDiagonal](long long j) { return invDiagonal[j] * r[j]; },
                                    [&](long long i, double s) {
                                        t[i] = s;
                                        tt += s * s;
                                        ts += s * r[i];
                                    });
                    });
                const auto [ttTotal, tsTotal] = team.sum<2>({tt, ts});
                w = ttTotal > 0.0 ? tsTotal / ttTotal : 0.0;

                // x += alpha M^-1 p + w M^-1 s; r = s - w t.
                double rr = 0.0;
                double r0r = 0.0;
                for (long long i = team.begin; i < team.end; ++i) {
                    x[i] += alpha * (invDiagonal[i] * p[i]) + w * (invDiagonal[i] * r[i]);
                    r[i] = r[i] - w * t[i];
                    rr += r[i] * r[i];
                    r0r += r0[i] * r[i];
                }
                const auto [rrTotal, r0rTotal] = team.sum<2>({rr, r0r});
                residualNorm2 = rrTotal;
                rhoNext = r0rTotal;
                ++iterations;
            }
        }
        return Outcome{iterations, residualNorm2, rhsNorm2};
    });
}

} // namespace Filter
