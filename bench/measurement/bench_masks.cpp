// Masked statistics of a curve set over a 2000 x 2000 window: rasterising
// 100 curves of about 200 points each (blobs spread over the window, some
// overlapping, some with holes) into a mask, then mean, standard deviation,
// minimum and maximum of the values under it. The baseline is the least any
// such measurement costs: one plain pass reading the mask and the values
// (the sum of the values where the mask is 1).
//
// Run pinned to two cores, e.g.
//   taskset -c 0,1 env OMP_NUM_THREADS=2 ./bench_masks --benchmark_repetitions=5

#include <cmath>
#include <cstdint>
#include <vector>

#include <benchmark/benchmark.h>

#include "analysis/MaskedStatistics.h"
#include "io/Curve.h"

namespace {

constexpr int kSide = 2000;
constexpr int kCurves = 100;
constexpr int kPoints = 200;

std::uint32_t nextRandom(std::uint32_t& h)
{
    h = h * 1664525u + 1013904223u;
    return h;
}

double uniform(std::uint32_t& h)
{
    return static_cast<double>(nextRandom(h) >> 8) / 16777216.0;
}

// Wobbly closed blobs, clockwise on the screen; every fifth one is a hole
// inside the blob before it.
UI::CurveSet blobs()
{
    const double pi = std::acos(-1.0);
    std::uint32_t h = 12345;
    UI::CurveSet set;
    double lastX = 0, lastY = 0, lastR = 0;
    for (int c = 0; c < kCurves; ++c) {
        const bool hole = c % 5 == 4;
        const double r = hole ? 0.4 * lastR : 60.0 + 140.0 * uniform(h);
        const double cx = hole ? lastX : r + (kSide - 2 * r) * uniform(h);
        const double cy = hole ? lastY : r + (kSide - 2 * r) * uniform(h);
        const double phase = 2 * pi * uniform(h);
        const int lobes = 3 + static_cast<int>(nextRandom(h) % 5);
        std::vector<Point2D> points;
        for (int i = 0; i < kPoints; ++i) {
            const double a = 2 * pi * i / kPoints;
            const double radius = r * (1.0 + 0.15 * std::sin(lobes * a + phase));
            points.push_back({cx + radius * std::cos(a), cy + radius * std::sin(a)});
        }
        points.push_back(points.front());
        UI::Curve curve;
        if (hole)
            curve.setPoints({points.rbegin(), points.rend()});
        else
            curve.setPoints(points);
        curve.inner = hole;
        set.addCurve(curve);
        if (!hole) {
            lastX = cx;
            lastY = cy;
            lastR = r;
        }
    }
    return set;
}

std::vector<double> texture()
{
    std::vector<double> v(static_cast<std::size_t>(kSide) * kSide);
    std::uint32_t h = 99;
    for (auto& x : v)
        x = 1000.0 + 500.0 * uniform(h);
    return v;
}

struct Data {
    UI::CurveSet set = blobs();
    std::vector<double> values = texture();
    std::vector<int> mask;
    Data() { set.rasterize(0, 0, kSide, kSide, mask); }
};

Data& data()
{
    static Data d;
    return d;
}

void setRate(benchmark::State& state)
{
    state.counters["MPix_per_s"] = benchmark::Counter(
        static_cast<double>(kSide) * kSide * static_cast<double>(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
}

// The measurement as the callers make it: a mask list (its storage kept
// from the call before), rasterised, then the statistics.
void BM_RasterizeAndStatistics(benchmark::State& state)
{
    Data& d = data();
    std::vector<int> mask;
    mask.reserve(d.values.size());
    std::vector<double> out(4);
    for (auto _ : state) {
        mask.clear();
        d.set.rasterize(0, 0, kSide, kSide, mask);
        computeMaskedStatistics(mask, d.values, out);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    setRate(state);
}
BENCHMARK(BM_RasterizeAndStatistics)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Rasterize(benchmark::State& state)
{
    Data& d = data();
    std::vector<int> mask;
    mask.reserve(d.values.size());
    for (auto _ : state) {
        mask.clear();
        d.set.rasterize(0, 0, kSide, kSide, mask);
        benchmark::DoNotOptimize(mask.data());
        benchmark::ClobberMemory();
    }
    setRate(state);
}
BENCHMARK(BM_Rasterize)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Statistics(benchmark::State& state)
{
    Data& d = data();
    std::vector<double> out(4);
    for (auto _ : state) {
        computeMaskedStatistics(d.mask, d.values, out);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    setRate(state);
}
BENCHMARK(BM_Statistics)->Unit(benchmark::kMillisecond)->UseRealTime();

// The baseline: one read of the mask and the values.
void BM_BaselineReadPass(benchmark::State& state)
{
    Data& d = data();
    const int* mask = d.mask.data();
    const double* values = d.values.data();
    const std::size_t n = d.values.size();
    for (auto _ : state) {
        double sum = 0.0;
        for (std::size_t i = 0; i < n; ++i)
            if (mask[i] == 1)
                sum += values[i];
        benchmark::DoNotOptimize(sum);
    }
    setRate(state);
}
BENCHMARK(BM_BaselineReadPass)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
