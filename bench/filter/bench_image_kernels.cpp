// Throughput of the pixel-grid kernels (gradients, gradient norm, edge
// detector, largest gradients, graph Laplacian) at 2000^2 and at a full
// Sentinel-2 tile on the 10 m grid (10980^2), in megapixels per second, and
// of the orthomosaic downsampling of a 12500 x 10000 band plane by 2, 4, 8.
//
// The kernels' timing lines go to a sink, so only their work is measured.

#include <cmath>
#include <cstdint>
#include <iostream>
#include <memory>
#include <sstream>
#include <vector>

#include <benchmark/benchmark.h>

#include "filter/Downsampling.h"
#include "filter/ImageDerivatives.h"

namespace {

std::vector<float> texture(std::size_t count, std::uint32_t seed)
{
    std::vector<float> v(count);
    std::uint32_t h = seed;
    for (std::size_t i = 0; i < count; ++i) {
        h = h * 1664525u + 1013904223u;
        v[i] = static_cast<float>(h >> 8) / 16777216.0f;
    }
    return v;
}

class Silence {
public:
    Silence()
        : old_(std::cout.rdbuf(sink_.rdbuf()))
    {
    }
    ~Silence() { std::cout.rdbuf(old_); }
    void clear() { sink_.str({}); }

private:
    std::ostringstream sink_;
    std::streambuf* old_;
};

void setRate(benchmark::State& state, double pixels)
{
    state.counters["MPix_per_s"]
        = benchmark::Counter(pixels * static_cast<double>(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
}

void BM_Gradients(benchmark::State& state)
{
    const int side = static_cast<int>(state.range(0));
    const std::size_t n = static_cast<std::size_t>(side) * side;
    const auto img = texture(n, 1);
    std::vector<float> gx(n), gy(n);
    Silence quiet;
    for (auto _ : state) {
        computeGradients(img.data(), gx.data(), gy.data(), side, side, 1.0);
        quiet.clear();
    }
    setRate(state, static_cast<double>(n));
}

void BM_GradientNorm(benchmark::State& state)
{
    const int side = static_cast<int>(state.range(0));
    const std::size_t n = static_cast<std::size_t>(side) * side;
    const auto gx = texture(n, 2);
    const auto gy = texture(n, 3);
    std::vector<float> out(n);
    Silence quiet;
    for (auto _ : state) {
        computeGradientNorm(out.data(), side, side, gx.data(), gy.data(), nullptr);
        quiet.clear();
    }
    setRate(state, static_cast<double>(n));
}

void BM_EdgeDetector(benchmark::State& state)
{
    const int side = static_cast<int>(state.range(0));
    const bool three = state.range(1) == 3;
    const std::size_t n = static_cast<std::size_t>(side) * side;
    const auto s1 = texture(n, 4);
    const auto s2 = three ? texture(n, 5) : std::vector<float>();
    const auto s3 = three ? texture(n, 6) : std::vector<float>();
    std::vector<float> out(n);
    Silence quiet;
    for (auto _ : state) {
        computeEdgeDetector(out.data(), s1.data(), three ? s2.data() : nullptr, three ? s3.data() : nullptr,
                            static_cast<int>(n), 1000.0);
        quiet.clear();
    }
    setRate(state, static_cast<double>(n));
}

void BM_MaxGradients(benchmark::State& state)
{
    const int side = static_cast<int>(state.range(0));
    const std::size_t n = static_cast<std::size_t>(side) * side;
    std::vector<std::vector<float>> g;
    for (std::uint32_t k = 0; k < 6; ++k)
        g.push_back(texture(n, 10 + k));
    std::vector<float> outX(n), outY(n);
    Silence quiet;
    for (auto _ : state) {
        computeMaxGradients(outX.data(), outY.data(), g[0].data(), g[1].data(), g[2].data(), g[3].data(),
                            g[4].data(), g[5].data(), static_cast<int>(n));
        quiet.clear();
    }
    setRate(state, static_cast<double>(n));
}

void BM_GraphLaplacian(benchmark::State& state)
{
    const int side = static_cast<int>(state.range(0));
    const int type = static_cast<int>(state.range(1));
    const std::size_t n = static_cast<std::size_t>(side) * side;
    const auto img = texture(n, 20);
    std::vector<float> out(n);
    for (auto _ : state) {
        computeGraphLaplacian(img.data(), static_cast<int>(n), out.data(), type, side, side);
        benchmark::DoNotOptimize(out.data());
    }
    setRate(state, static_cast<double>(n));
}

void BM_Downsample(benchmark::State& state)
{
    const int width = 12500;
    const int height = 10000;
    const int factor = static_cast<int>(state.range(0));
    const int method = static_cast<int>(state.range(1));
    static const auto plane = texture(static_cast<std::size_t>(width) * height, 30);
    for (auto _ : state) {
        std::unique_ptr<float[]> out(downsampleRaster(plane.data(), width, height, factor, method, 0));
        if (!out)
            state.SkipWithError("no result");
        benchmark::DoNotOptimize(out.get());
    }
    setRate(state, static_cast<double>(width) * height);
}

} // namespace

BENCHMARK(BM_Gradients)->Arg(2000)->Arg(10980)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GradientNorm)->Arg(2000)->Arg(10980)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EdgeDetector)
    ->ArgsProduct({{2000, 10980}, {1, 3}})
    ->ArgNames({"side", "channels"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_MaxGradients)->Arg(2000)->Arg(10980)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GraphLaplacian)
    ->ArgsProduct({{2000, 10980}, {3, 5}})
    ->ArgNames({"side", "type"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_Downsample)
    ->ArgsProduct({{2, 4, 8}, {0, 1}})
    ->ArgNames({"factor", "method"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK_MAIN();
