// Normalisation of a band level of a full Sentinel-2 tile on the 10 m grid
// (10980 x 10980 samples), with and without the automatic histogram crop.
//
// Reports the time per call and the process's peak resident memory, so an
// extra full-size copy shows up as ~480 MB more than the level itself.

#include <algorithm>
#include <cstdint>
#include <iostream>
#include <random>
#include <sstream>
#include <vector>

#include <sys/resource.h>

#include <benchmark/benchmark.h>

#include "io/Band.h"

namespace {

constexpr int kSide = 10980;

const std::vector<std::uint16_t>& rawTile()
{
    static const std::vector<std::uint16_t> samples = [] {
        std::vector<std::uint16_t> v(static_cast<std::size_t>(kSide) * kSide);
        std::mt19937 gen(42);
        std::normal_distribution<double> reflectance(1800.0, 600.0);
        for (auto& s : v)
            s = static_cast<std::uint16_t>(std::clamp(reflectance(gen), 0.0, 12000.0));
        return v;
    }();
    return samples;
}

double peakResidentMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void normalizeLevel(benchmark::State& state, bool autoCrop, double lowCut, double highCut)
{
    const auto& raw = rawTile();
    IO::BandLevel level("bench/B04_10m.jp2");
    // Keep the log lines of the store out of the timing output.
    std::ostringstream sink;
    auto* old = std::cout.rdbuf(sink.rdbuf());
    for (auto _ : state) {
        state.PauseTiming();
        level.setDataFromUInt16(raw.data(), static_cast<int>(raw.size()), true, 0, 0);
        level.histogram.clear();
        sink.str({});
        state.ResumeTiming();
        level.normalize(lowCut, highCut, autoCrop);
        benchmark::DoNotOptimize(level.data.get());
    }
    std::cout.rdbuf(old);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(raw.size()));
    state.counters["peak_MB"] = peakResidentMegabytes();
}

void BM_NormalizePlain(benchmark::State& state) { normalizeLevel(state, false, 0.0, 1.0); }
void BM_NormalizeAutoCrop(benchmark::State& state) { normalizeLevel(state, true, 0.0, 1.0); }
void BM_NormalizePercentCrop(benchmark::State& state) { normalizeLevel(state, false, 0.01, 0.99); }

} // namespace

BENCHMARK(BM_NormalizePlain)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_NormalizeAutoCrop)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_NormalizePercentCrop)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
