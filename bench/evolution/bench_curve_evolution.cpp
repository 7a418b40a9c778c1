// Closed-curve evolution and curve distances.
//
//   bench_curve_evolution --benchmark_counters_tabular=true

#include "analysis/CurveDistance.h"
#include "evolution/CurveEvolution.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

std::vector<Point2D> circle(double cx, double cy, double r, int n)
{
    std::vector<Point2D> p;
    for (int i = 0; i <= n; ++i) {
        const double a = 2.0 * kPi * (i % n) / n;
        p.push_back({cx + r * std::cos(a), cy + r * std::sin(a)});
    }
    return p;
}

// One circle of about 5000 points (spacing 0.5) shrinking under curvature
// flow for 1000 steps; with auto stop the threshold is 0 so that every check
// runs and none stops the curve.
void BM_EvolveCircle5000(benchmark::State& state)
{
    const bool autoStop = state.range(0) != 0;
    const int size = 1000;
    const int points = 5000;
    const int steps = 1000;
    const double radius = points * 0.5 / (2.0 * kPi);
    const std::vector<float> field(static_cast<std::size_t>(size) * size, 0.0f);
    const auto in = std::vector<std::vector<Point2D>>{circle(size / 2.0, size / 2.0, radius, points)};
    for (auto _ : state) {
        CurveEvolution e;
        auto result = e.evolve(in, field.data(), field.data(), nullptr, size, size, 1.0, 0.0, steps, 100, false,
                               false, autoStop, 10, 0.0);
        benchmark::DoNotOptimize(result);
    }
    state.counters["s_per_step"] = benchmark::Counter(steps, benchmark::Counter::kIsIterationInvariantRate
                                                                          | benchmark::Counter::kInvert);
    state.counters["s_per_point_step"] = benchmark::Counter(
        static_cast<double>(steps) * points,
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_EvolveCircle5000)->Arg(0)->Arg(1)->ArgName("autoStop")->Unit(benchmark::kMillisecond)->Iterations(3);

// One stop check of a 5000-point curve against its checkpoint.
void BM_StopCheck5000(benchmark::State& state)
{
    CurveEvolution e;
    e.setUpGrid(1000, 1000);
    const double radius = 5000 * 0.5 / (2.0 * kPi);
    e.initCurves({circle(500, 500, radius, 5000)});
    e.closeCurves();
    e.checkStopped(0.0);  // records the checkpoint
    for (double& x : e.curves[0].x)
        x += 0.01;
    for (auto _ : state)
        e.checkStopped(0.0);
}
BENCHMARK(BM_StopCheck5000)->Unit(benchmark::kMillisecond);

// 100 small circles (radius 4) on a jittered lattice 40 pixels apart in a
// 2000 x 2000 window, expanding at unit speed for 200 steps: their fronts
// meet from about t = 12 on and most of them merge.
void BM_ExpandAndMerge100(benchmark::State& state)
{
    const int size = 2000;
    const int steps = 200;
    const std::vector<float> field(static_cast<std::size_t>(size) * size, 0.0f);
    const std::vector<float> map(static_cast<std::size_t>(size) * size, 1.0f);
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> jitter(-5.0, 5.0);
    std::vector<std::vector<Point2D>> in;
    for (int i = 0; i < 10; ++i)
        for (int j = 0; j < 10; ++j)
            in.push_back(circle(800 + 40 * i + jitter(rng), 800 + 40 * j + jitter(rng), 4.0, 50));
    std::size_t finalCurves = 0;
    for (auto _ : state) {
        CurveEvolution e;
        auto result = e.evolve(in, field.data(), field.data(), map.data(), size, size, 0.3, 0.0, steps, 50, false,
                               false, false, 10, 0.2);
        finalCurves = result.empty() ? 0 : result.back().size();
        benchmark::DoNotOptimize(result);
    }
    state.counters["s_per_step"] = benchmark::Counter(steps, benchmark::Counter::kIsIterationInvariantRate
                                                                          | benchmark::Counter::kInvert);
    state.counters["final_curves"] = static_cast<double>(finalCurves);
}
BENCHMARK(BM_ExpandAndMerge100)->Unit(benchmark::kMillisecond)->Iterations(3);

// Distances between two closed curves of n points each (a circle and a
// wobbly circle around it).
void BM_ComputeDistances(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    const double radius = n * 0.5 / (2.0 * kPi);
    CurveDistance d;
    for (int i = 0; i <= n; ++i) {
        const double a = 2.0 * kPi * (i % n) / n;
        d.ax.push_back(radius * std::cos(a));
        d.ay.push_back(radius * std::sin(a));
        const double rb = radius + 2.0 + std::sin(7.0 * a);
        d.bx.push_back(rb * std::cos(a + 0.3));
        d.by.push_back(rb * std::sin(a + 0.3));
    }
    for (auto _ : state) {
        d.computeDistances();
        benchmark::DoNotOptimize(d.computeHausdorff());
    }
    state.counters["s_per_vertex"] = benchmark::Counter(
        2.0 * n, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ComputeDistances)->Arg(1000)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
