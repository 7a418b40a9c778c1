// One filtration step of each type with the Filtering panel's defaults
// (linear tau 0.5; nonlinear and curvature flow: tauS 0.5, K 1000, tau 3) on
// a synthetic image of discs plus noise, at 1000^2, 2000^2 and 4000^2 pixels
// on 1, 2, 4 and 8 threads.
//
// Counters per step:
//   step_s        wall time of the step (the load and release are not timed)
//   first_step_s  the first step on a new object, with its allocations
//   assembly_s    the printed matrix-assembly times
//   solve_s       the printed solver times
//   other_s       the rest: side gradients, edge detector, norms, copies
//   iterations    solver iterations of the step (all solves)
//   products      matrix-vector products those solves need: one per
//                 conjugate-gradient iteration plus the first, two per
//                 BiCGSTAB iteration
//   spmv_ms       one product A x with the step's matrix (Eigen's sparse
//                 product) on the same threads, measured in the same run
//   bound_s       iterations x spmv: the memory-bandwidth bound of the step
//   ratio         step_s / bound_s
//   ratio_products  step_s / (products x spmv)
// BM_StepMemory reports the peak resident memory that one step adds, per
// pixel, from an empty object to the end of the step.
//
// What a change of the working size costs (2000^2 on 2 threads; the program
// creates a new object then):
//   BM_Create     creating the object (its destruction is not timed)
//   BM_FirstStep  the first linear step (tau 0.5) on a fresh object, loaded
//                 but otherwise untouched: first_step_s, and bound_s and
//                 ratio as above, the product measured on that object

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <omp.h>

#include <benchmark/benchmark.h>
#include <Eigen/SparseCore>

#include "filter/Filtration.h"

namespace {

using Filter::Filtration;

const std::vector<float>& syntheticImage(int side)
{
    static std::map<int, std::vector<float>> images;
    auto& img = images[side];
    if (!img.empty())
        return img;
    img.resize(static_cast<std::size_t>(side) * side);
    // A 5 x 5 grid of discs of three brightnesses on a dark ground, plus
    // Gaussian noise: sharp edges for the edge detector, texture elsewhere.
    const double cell = side / 5.0;
    std::mt19937 gen(7);
    std::normal_distribution<float> noise(0.0f, 0.03f);
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const int cx = static_cast<int>(x / cell);
            const int cy = static_cast<int>(y / cell);
            const double dx = x - (cx + 0.5) * cell;
            const double dy = y - (cy + 0.5) * cell;
            const bool inside = std::hypot(dx, dy) < cell * (0.25 + 0.04 * ((cx + cy) % 3));
            const float base = inside ? 0.3f + 0.25f * ((cx * 2 + cy) % 3) : 0.1f;
            img[static_cast<std::size_t>(y) * side + x] = base + noise(gen);
        }
    }
    return img;
}

struct Printed {
    double assembly = 0.0;
    double solve = 0.0;
    long iterations = 0;
    long products = 0;
};

Printed parse(const std::string& text)
{
    Printed p;
    std::istringstream lines(text);
    std::string line;
    long lastIterations = 0;
    auto valueAfter = [](const std::string& l, const std::string& key) {
        return std::stod(l.substr(l.find(key) + key.size()));
    };
    while (std::getline(lines, line)) {
        if (line.find("Matrix: elapsed time: ") != std::string::npos)
            p.assembly += valueAfter(line, "elapsed time: ");
        else if (line.rfind("CG: elapsed time: ", 0) == 0) {
            p.solve += valueAfter(line, "elapsed time: ");
            p.products += lastIterations + 1;
        } else if (line.rfind("BiCGSTAB: elapsed time: ", 0) == 0) {
            p.solve += valueAfter(line, "elapsed time: ");
            p.products += 2 * lastIterations;
        } else if (line.rfind("#iterations:", 0) == 0) {
            lastIterations = std::stol(line.substr(12));
            p.iterations += lastIterations;
        }
    }
    return p;
}

bool step(Filtration& f, int type)
{
    switch (type) {
    case Filtration::linear:
        return f.linearStep(0.5);
    case Filtration::nonlinear:
        return f.nonlinearStep(0.5, 1000.0, 3.0);
    default:
        return f.geometricMCFStep(0.5, 1000.0, 3.0);
    }
}

template <typename SparseMatrix>
double spmvSeconds(const SparseMatrix& A)
{
    Eigen::VectorXd x = Eigen::VectorXd::Ones(A.cols());
    Eigen::VectorXd y(A.rows());
    y.noalias() = A * x; // warm-up: pages of y touched
    const int reps = 10;
    const auto start = std::chrono::steady_clock::now();
    for (int r = 0; r < reps; ++r) {
        y.noalias() = A * x;
        benchmark::DoNotOptimize(y.data());
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / reps;
}

const char* typeName(int type)
{
    return type == 0 ? "linear" : type == 1 ? "nonlinear" : "GMCF";
}

void BM_Step(benchmark::State& state)
{
    const int type = static_cast<int>(state.range(0));
    const int side = static_cast<int>(state.range(1));
    const int threads = static_cast<int>(state.range(2));
    omp_set_num_threads(threads);
    const auto& img = syntheticImage(side);

    std::ostringstream sink;
    auto* old = std::cout.rdbuf(sink.rdbuf());
    Filtration f(side, side);
    // The first step on a new object also allocates the solvers' work
    // vectors; the timed steps are those of the following bands.
    f.setImage(img.data(), img.size());
    const auto firstStart = std::chrono::steady_clock::now();
    step(f, type);
    const double firstStep = std::chrono::duration<double>(std::chrono::steady_clock::now() - firstStart).count();
    f.releaseWorkData();
    double stepSeconds = 0.0;
    Printed total;
    for (auto _ : state) {
        state.PauseTiming();
        f.setImage(img.data(), img.size());
        sink.str({});
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        const bool ok = step(f, type);
        stepSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.PauseTiming();
        if (!ok)
            state.SkipWithError("step failed");
        const Printed p = parse(sink.str());
        total.assembly += p.assembly;
        total.solve += p.solve;
        total.iterations += p.iterations;
        total.products += p.products;
        f.releaseWorkData();
        state.ResumeTiming();
    }
    std::cout.rdbuf(old);

    const double runs = static_cast<double>(state.iterations());
    const double spmv = spmvSeconds(f.matrix());
    const double perStep = stepSeconds / runs;
    const double iterations = total.iterations / runs;
    state.counters["step_s"] = perStep;
    state.counters["first_step_s"] = firstStep;
    state.counters["assembly_s"] = total.assembly / runs;
    state.counters["solve_s"] = total.solve / runs;
    state.counters["other_s"] = perStep - (total.assembly + total.solve) / runs;
    state.counters["iterations"] = iterations;
    state.counters["spmv_ms"] = spmv * 1e3;
    state.counters["bound_s"] = iterations * spmv;
    state.counters["ratio"] = perStep / (iterations * spmv);
    state.counters["products"] = total.products / runs;
    state.counters["ratio_products"] = perStep / (total.products / runs * spmv);
    state.counters["MPix_per_s"] = static_cast<double>(side) * side / perStep / 1e6;
    state.SetLabel(std::string(typeName(type)) + " " + std::to_string(threads) + " threads");
}

long statusKilobytes(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key, 0) == 0)
            return std::stol(line.substr(std::string(key).size()));
    }
    return -1;
}

void resetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

void BM_StepMemory(benchmark::State& state)
{
    const int type = static_cast<int>(state.range(0));
    const int side = static_cast<int>(state.range(1));
    omp_set_num_threads(8);
    const auto& img = syntheticImage(side);
    std::ostringstream sink;
    auto* old = std::cout.rdbuf(sink.rdbuf());
    double bytesPerPixel = 0.0;
    for (auto _ : state) {
        const long before = statusKilobytes("VmRSS:");
        resetPeak();
        {
            Filtration f(side, side);
            f.setImage(img.data(), img.size());
            step(f, type);
            benchmark::DoNotOptimize(f.result().data());
        }
        const long peak = statusKilobytes("VmHWM:");
        bytesPerPixel = (peak - before) * 1024.0 / (static_cast<double>(side) * side);
    }
    std::cout.rdbuf(old);
    state.counters["peak_B_per_px"] = bytesPerPixel;
    state.SetLabel(typeName(type));
}

// What a fresh allocation costs on this machine: the first touch of a new
// 128 MB block (one n-vector of doubles at 4000^2) against writing it again.
// This is why the solvers keep their work vectors between solves.
void BM_FirstTouch(benchmark::State& state)
{
    const std::size_t count = std::size_t(16) << 20;
    double first = 0.0;
    double again = 0.0;
    for (auto _ : state) {
        std::unique_ptr<double[]> block(new double[count]);
        auto start = std::chrono::steady_clock::now();
        for (std::size_t i = 0; i < count; ++i)
            block[i] = 1.0;
        first += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        benchmark::DoNotOptimize(block.get());
        start = std::chrono::steady_clock::now();
        for (std::size_t i = 0; i < count; ++i)
            block[i] = 2.0;
        again += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        benchmark::DoNotOptimize(block.get());
    }
    state.counters["first_touch_ms"] = first / state.iterations() * 1e3;
    state.counters["rewrite_ms"] = again / state.iterations() * 1e3;
}

void BM_Create(benchmark::State& state)
{
    const int side = static_cast<int>(state.range(0));
    omp_set_num_threads(static_cast<int>(state.range(1)));
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        auto f = std::make_unique<Filtration>(side, side);
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        benchmark::DoNotOptimize(f.get());
    }
    state.counters["MPix_per_s"] = benchmark::Counter(static_cast<double>(side) * side / 1e6 * state.iterations(),
                                                      benchmark::Counter::kIsRate);
}

void BM_FirstStep(benchmark::State& state)
{
    const int side = static_cast<int>(state.range(0));
    omp_set_num_threads(static_cast<int>(state.range(1)));
    const auto& img = syntheticImage(side);
    std::ostringstream sink;
    auto* old = std::cout.rdbuf(sink.rdbuf());
    double stepSeconds = 0.0;
    double boundSeconds = 0.0;
    double iterations = 0.0;
    for (auto _ : state) {
        auto f = std::make_unique<Filtration>(side, side);
        f->setImage(img.data(), img.size());
        sink.str({});
        const auto start = std::chrono::steady_clock::now();
        const bool ok = f->linearStep(0.5);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        if (!ok)
            state.SkipWithError("step failed");
        const Printed p = parse(sink.str());
        stepSeconds += seconds;
        iterations += static_cast<double>(p.iterations);
        boundSeconds += static_cast<double>(p.iterations) * spmvSeconds(f->matrix());
    }
    std::cout.rdbuf(old);
    const double runs = static_cast<double>(state.iterations());
    state.counters["first_step_s"] = stepSeconds / runs;
    state.counters["iterations"] = iterations / runs;
    state.counters["bound_s"] = boundSeconds / runs;
    state.counters["ratio"] = stepSeconds / boundSeconds;
}

void stepArguments(benchmark::internal::Benchmark* b)
{
    for (int type : {0, 1, 2})
        for (int side : {1000, 2000, 4000})
            for (int threads : {1, 2, 4, 8})
                b->Args({type, side, threads});
}

} // namespace

BENCHMARK(BM_Step)
    ->Apply(stepArguments)
    ->ArgNames({"type", "side", "threads"})
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_StepMemory)
    ->ArgsProduct({{0, 1, 2}, {2000}})
    ->ArgNames({"type", "side"})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK(BM_Create)
    ->Args({2000, 2})
    ->ArgNames({"side", "threads"})
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();
BENCHMARK(BM_FirstStep)
    ->Args({2000, 2})
    ->ArgNames({"side", "threads"})
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime();

BENCHMARK(BM_FirstTouch)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
