// Training and classification of an image area with a natNet network:
// 4 channels, the six window statistics (M x K = 24 values per point), 3
// classes of 100 training points each, taken as region statistics of a
// synthetic image whose three regions differ in level and texture.
//
// BM_Classify/1000 classifies a 1000 x 1000 area (1024 x 1024 window) and
// reports the stages (learning, features and projection, network, maps) and
// the steps the training took. Beside it the arithmetic bound: the operation
// count of the plain method (per pixel, channel and window size the (2h+1)^2
// values of each statistic; per network step and window size L^2 + U x L
// pair weights) divided by the rate of a plain OpenMP pair-weight loop
// measured in the same run. BM_Classify/2004 gives the peak memory of the
// largest area; run it on its own for a clean figure:
//   taskset -c 0,1 env OMP_NUM_THREADS=2 ./bench_area_classification --benchmark_filter=/1000/
//   taskset -c 0,1 env OMP_NUM_THREADS=2 ./bench_area_classification --benchmark_filter=/2004/

#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "analysis/AreaClassification.h"
#include "io/NumberText.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kChannels = 4;
constexpr int kClasses = 3;
constexpr int kPerClass = 100;
const std::vector<std::string> kStatistics = {"mean", "std", "min", "max", "meanGL5", "meanGL3"};
constexpr double kKx = 10.0;
constexpr double kKy = 10.0;
constexpr double kDelta = 0.5;

double peakResidentMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Region of a pixel: three bands of columns, with a wavy border.
int regionOf(int x, int y, int W)
{
    const double border = 0.06 * W * std::sin(y * 0.01);
    return std::clamp(static_cast<int>((x + border) * kClasses / W), 0, kClasses - 1);
}

// W x W images of the channels: per region a level per channel, a texture
// and noise.
std::vector<std::vector<double>> syntheticChannels(int W, unsigned seed)
{
    const double level[kClasses][kChannels] = {
        {0.10, 0.30, 0.20, 0.60}, {0.25, 0.20, 0.35, 0.40}, {0.40, 0.45, 0.15, 0.20}};
    const double texture[kClasses] = {0.02, 0.06, 0.01};
    std::vector<std::vector<double>> channels(kChannels, std::vector<double>(static_cast<std::size_t>(W) * W));
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0.0, 0.015);
    for (int y = 0; y < W; ++y)
        for (int x = 0; x < W; ++x) {
            const int r = regionOf(x, y, W);
            for (int c = 0; c < kChannels; ++c)
                channels[static_cast<std::size_t>(c)][static_cast<std::size_t>(y) * W + x] =
                    level[r][c] + texture[r] * std::sin(0.3 * x + 0.2 * y + c) + noise(random);
        }
    return channels;
}

// A natNet file of region statistics: for each class, the 9 x 9 window
// statistics of random pixels well inside its region of a 600 x 600 image.
std::filesystem::path writeNetwork()
{
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "fenlark-bench-classification";
    std::filesystem::create_directories(dir);
    const int W = 600;
    const auto channels = syntheticChannels(W, 1);
    const int inner = W - 24;
    std::vector<double> features;
    computeClassificationFeatures(channels, inner, inner, W, W, 4, kStatistics, features);
    const std::size_t F = static_cast<std::size_t>(kChannels) * kStatistics.size();

    std::ostringstream text;
    text << kClasses * kPerClass << "," << F << "," << kClasses << ",";
    for (int c = 0; c < kClasses; ++c)
        text << kPerClass << ",";
    for (int c = 0; c < kClasses; ++c)
        text << "habitat" << c << ",";
    text << "param," << kKx << "," << kKy << "," << kDelta << "," << kChannels << ",B02,B03,B04,B08,"
         << kStatistics.size();
    for (const auto& s : kStatistics)
        text << "," << s;
    text << ",2021-06-15,33UXQ\n";
    std::mt19937 random(2);
    std::uniform_int_distribution<int> pick(0, inner - 1);
    for (int c = 0; c < kClasses; ++c) {
        int written = 0;
        while (written < kPerClass) {
            const int x = pick(random);
            const int y = pick(random);
            // Only pixels whose whole window lies in the class's region.
            if (regionOf(x + 12 - 20, y + 12, W) != c || regionOf(x + 12 + 20, y + 12, W) != c)
                continue;
            const double* row = &features[(static_cast<std::size_t>(y) * inner + x) * F];
            for (std::size_t i = 0; i < F; ++i)
                text << (i ? "," : "") << IO::formatNumber(row[i]);
            text << "\n";
            ++written;
        }
    }
    std::ofstream(dir / "natNet_bench.csv") << text.str();
    return dir;
}

// Pair weights per second of the plain loop: every pixel against every
// training point, on the OpenMP threads.
double pairWeightRate(int pixels, int labelled)
{
    std::vector<double> px(static_cast<std::size_t>(pixels)), py(px.size());
    std::vector<double> lx(static_cast<std::size_t>(labelled)), ly(lx.size());
    std::mt19937 random(4);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (auto* v : {&px, &py, &lx, &ly})
        for (double& e : *v)
            e = unit(random);
    const auto start = Clock::now();
    double total = 0.0;
#pragma omp parallel for schedule(static) reduction(+ : total)
    for (int j = 0; j < pixels; ++j) {
        double sum = 0.0;
#pragma omp simd reduction(+ : sum)
        for (int k = 0; k < labelled; ++k) {
            const double dx = px[static_cast<std::size_t>(j)] - lx[static_cast<std::size_t>(k)];
            const double dy = py[static_cast<std::size_t>(j)] - ly[static_cast<std::size_t>(k)];
            sum += 1.0 / (kKx * dx * dx + 1.0 + kKy * dy * dy);
        }
        total += sum;
    }
    benchmark::DoNotOptimize(total);
    return static_cast<double>(pixels) * labelled / secondsSince(start);
}

struct StageTimes {
    double learn = 0;
    double features = 0;  // window statistics and their projection
    double network = 0;   // evolution, labels and relevancy
    int steps = 0;
};

// The stages of a run one by one, each over the whole area.
bool runStages(const NatNetInfo& network, const std::vector<std::vector<double>>& channels, int side,
               StageTimes& times)
{
    const int W = side + 24;
    auto t = Clock::now();
    NatNetClassifier classifier;
    classifier.setParameters(network.directory, network.fileName, kKx, kKy, kDelta, {}, 0);
    if (!classifier.learn())
        return false;
    times.learn = secondsSince(t);
    times.steps = classifier.trainedSteps();
    times.features = times.network = 0;
    const long long pixels = static_cast<long long>(side) * side;
    PlanePoints plane;
    plane.resize(static_cast<int>(pixels));
    std::vector<std::vector<double>> out;
    for (int half : {3, 4, 5}) {
        t = Clock::now();
        std::vector<double> samples;
        computeClassificationFeatures(channels, side, side, W, W, half, network.statisticsNames, samples);
        classifier.projectSamples(samples.data(), pixels, plane.x.data(), plane.y.data());
        times.features += secondsSince(t);
        t = Clock::now();
        classifier.classifyPlane(plane, out, t);
        times.network += secondsSince(t);
    }
    return true;
}

void BM_Classify(benchmark::State& state)
{
    const int side = static_cast<int>(state.range(0));
    // The stage-by-stage run holds a whole area's features at once: only
    // where the peak memory is not the figure.
    const bool stages = state.range(1) != 0;
    const int W = side + 24;
    const std::filesystem::path dir = writeNetwork();
    NatNetInfo network;
    network.directory = dir.string() + "/";
    network.fileName = "natNet_bench.csv";
    if (!network.readHeader()) {
        state.SkipWithError("network file not readable");
        return;
    }
    const auto channels = syntheticChannels(W, 9);

    // Keep the timing lines of the run out of the report.
    std::ostringstream sink;
    auto* old = std::cout.rdbuf(sink.rdbuf());
    StageTimes times;
    double totalSeconds = 0, mapSeconds = 0;
    for (auto _ : state) {
        if (stages && !runStages(network, channels, side, times)) {
            std::cout.rdbuf(old);
            state.SkipWithError("the training set did not separate");
            return;
        }
        // The whole run and the maps.
        auto t = Clock::now();
        std::vector<std::vector<std::vector<double>>> results;
        classifyArea(channels, side, side, W, W, results, network);
        totalSeconds = secondsSince(t);
        t = Clock::now();
        std::vector<std::vector<double>> maps(kClasses);
        computeRelevancyMap(results, side, side, maps);
        mapSeconds = secondsSince(t);
    }
    std::cout.rdbuf(old);

    const double U = static_cast<double>(side) * side;
    const double L = kClasses * kPerClass;
    double featureOps = 0;
    for (int half : {3, 4, 5})
        featureOps += U * kChannels * kStatistics.size() * (2 * half + 1) * (2 * half + 1);
    int steps = times.steps;
    if (!stages) {
        // The steps of the training, which the whole run does not report.
        NatNetClassifier classifier;
        classifier.setParameters(network.directory, network.fileName, kKx, kKy, kDelta, {}, 0);
        auto* previous = std::cout.rdbuf(sink.rdbuf());
        classifier.learn();
        std::cout.rdbuf(previous);
        steps = classifier.trainedSteps();
    }
    const double networkOps = 3.0 * steps * (L * L + U * L);
    const double rate = pairWeightRate(static_cast<int>(std::min(U, 1e6)), static_cast<int>(L));
    const double bound = (featureOps + networkOps) / rate;
    state.counters["steps"] = steps;
    if (stages) {
        state.counters["learn_s"] = times.learn;
        state.counters["features_s"] = times.features;
        state.counters["network_s"] = times.network;
    }
    state.counters["classifyArea_s"] = totalSeconds;
    state.counters["maps_s"] = mapSeconds;
    state.counters["bound_s"] = bound;
    state.counters["over_bound"] = (totalSeconds + mapSeconds) / bound;
    state.counters["pairs_per_s"] = rate;
    state.counters["peak_rss_MB"] = peakResidentMegabytes();
}
BENCHMARK(BM_Classify)->Args({1000, 1})->Args({2004, 0})->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
