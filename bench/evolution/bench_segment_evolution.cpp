// Latency of one semi-automatic tracing call: segmentBetweenPoints with a
// traced start, as the tracer runs it on every mouse move, in a 2000 x 2000
// working area, for anchor-to-cursor distances of 100, 500 and 1500 px, with
// and without the automatic stop.
//
// The image holds the smooth rim of a large disc (radius 900 px) with mild
// noise; anchor and cursor lie near the rim, as when the user follows a field
// boundary. Every call uses another anchor/cursor pair around the rim, and the
// per-call times give the median and the 95th percentile (in ms), besides the
// mean point count of the result.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "evolution/SegmentEvolution.h"

namespace {

constexpr int kSide = 2000;
constexpr double kCentre = 1000.0;
constexpr double kRadius = 900.0;
constexpr int kPairs = 64;

struct Fields {
    std::vector<float> dirX, dirY;  // image gradient: the traced start follows it
    std::vector<float> vx, vy;      // negated edge-detector gradient: the driving field
};

void gradients(const std::vector<float>& image, double scale, std::vector<float>& gx, std::vector<float>& gy)
{
    gx.assign(image.size(), 0.0f);
    gy.assign(image.size(), 0.0f);
    for (int r = 0; r < kSide; ++r)
        for (int c = 0; c < kSide; ++c) {
            const std::size_t i = static_cast<std::size_t>(r) * kSide + c;
            const float right = c + 1 < kSide ? image[i + 1] : image[i];
            const float left = c > 0 ? image[i - 1] : image[i];
            const float down = r + 1 < kSide ? image[i + kSide] : image[i];
            const float up = r > 0 ? image[i - kSide] : image[i];
            gx[i] = static_cast<float>((right - left) * 0.5 * scale);
            gy[i] = static_cast<float>((down - up) * 0.5 * scale);
        }
}

const Fields& fields()
{
    static const Fields f = [] {
        std::vector<float> image(static_cast<std::size_t>(kSide) * kSide);
        std::mt19937 gen(7);
        std::normal_distribution<double> noise(0.0, 0.5);
        for (int r = 0; r < kSide; ++r)
            for (int c = 0; c < kSide; ++c) {
                const double d = std::hypot(c + 0.5 - kCentre, r + 0.5 - kCentre);
                image[static_cast<std::size_t>(r) * kSide + c] =
                    static_cast<float>(50.0 * (1.0 - std::tanh((d - kRadius) / 2.0)) + noise(gen));
            }
        Fields out;
        gradients(image, 1.0, out.dirX, out.dirY);
        const double sensitivity = 0.05;
        std::vector<float> detector(image.size());
        for (std::size_t i = 0; i < image.size(); ++i)
            detector[i] = static_cast<float>(
                1.0 / (1.0 + sensitivity * (out.dirX[i] * out.dirX[i] + out.dirY[i] * out.dirY[i])));
        gradients(detector, -1.0, out.vx, out.vy);
        return out;
    }();
    return f;
}

// The tracer's step: 0.5 px at 100 px, growing linearly to 5 px at the
// diagonal of the working area.
double tracerStep(double distance)
{
    const double diagonal = std::hypot(kSide, kSide);
    return std::max(0.5, ((diagonal - distance) * 0.5 + (distance - 100.0) * 5.0) / (diagonal - 100.0));
}

void segmentLatency(benchmark::State& state)
{
    const double distance = static_cast<double>(state.range(0));
    const bool autoStop = state.range(1) != 0;
    const Fields& f = fields();

    // Anchor and cursor a chord `distance` apart near the rim, a little off it.
    struct Pair {
        double x0, y0, x1, y1;
    };
    std::vector<Pair> pairs;
    std::mt19937 gen(11);
    std::uniform_real_distribution<double> jitter(-2.0, 2.0);
    const double sweep = 2.0 * std::asin(distance / (2.0 * kRadius));
    for (int k = 0; k < kPairs; ++k) {
        const double a = 2.0 * std::numbers::pi * k / kPairs;
        const double b = k % 2 == 0 ? a + sweep : a - sweep;
        const double r0 = kRadius + jitter(gen);
        const double r1 = kRadius + jitter(gen);
        pairs.push_back({kCentre + r0 * std::cos(a), kCentre + r0 * std::sin(a), kCentre + r1 * std::cos(b),
                         kCentre + r1 * std::sin(b)});
    }
    const double step = tracerStep(distance);

    std::vector<double> millis;
    double pointSum = 0.0;
    std::size_t call = 0;
    for (auto _ : state) {
        const Pair& p = pairs[call++ % pairs.size()];
        const auto start = std::chrono::steady_clock::now();
        SegmentEvolution evolution;
        auto points = evolution.segmentBetweenPoints(step, false, p.x0, p.x1, p.y0, p.y1, f.vx.data(), f.vy.data(),
                                                     f.dirX.data(), f.dirY.data(), kSide, kSide, 0.3, autoStop,
                                                     true);
        benchmark::DoNotOptimize(points.data());
        const auto end = std::chrono::steady_clock::now();
        millis.push_back(std::chrono::duration<double, std::milli>(end - start).count());
        pointSum += static_cast<double>(points.size());
    }
    std::sort(millis.begin(), millis.end());
    const auto at = [&](double q) {
        return millis[std::min(millis.size() - 1, static_cast<std::size_t>(q * static_cast<double>(millis.size())))];
    };
    state.counters["median_ms"] = at(0.5);
    state.counters["p95_ms"] = at(0.95);
    state.counters["points"] = pointSum / static_cast<double>(millis.size());
    state.counters["step_px"] = step;
}

} // namespace

BENCHMARK(segmentLatency)
    ->ArgNames({"distance", "autoStop"})
    ->ArgsProduct({{100, 500, 1500}, {1, 0}})
    ->Iterations(2 * kPairs)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
