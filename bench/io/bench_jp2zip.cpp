// Sentinel-2 product archives on a full-size synthetic product (10980 x
// 10980 at 10 m): opening, band loads (wall time and peak memory), an index
// band alone and against a plain band, window reads on a fresh and on a warm
// data set, and GDAL alone decoding the same band for comparison.
//
// The product is written once into "sample-cache/10980" of the build folder
// (a few minutes) and reused by later runs; it is never committed.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <random>
#include <streambuf>
#include <string>
#include <thread>
#include <vector>

#include <sys/resource.h>

#include <benchmark/benchmark.h>
#include <cpl_conv.h>
#include <gdal_priv.h>

#include "SampleProduct.h"
#include "io/GdalHandles.h"
#include "io/JP2ZipFile.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFullSize = 10980;

fs::path productPath()
{
    static const fs::path path = [] {
        // bench/<executable> sits in the build folder.
        const fs::path build = fs::canonical("/proc/self/exe").parent_path().parent_path();
        const fs::path folder = build / "sample-cache" / std::to_string(kFullSize);
        Sample::ProductSpec spec;
        spec.size = kFullSize;
        spec.threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
        const fs::path archive = folder / (Sample::productName(spec) + "." + spec.extension);
        if (!fs::exists(archive)) {
            std::fprintf(stderr, "writing the full-size sample product into %s ...\n", folder.c_str());
            IO::Gdal::registerDrivers();
            Sample::writeProduct(folder, spec);
        }
        return archive;
    }();
    return path;
}

std::unique_ptr<IO::JP2ZipFile> openProduct()
{
    const fs::path archive = productPath();
    auto file = std::make_unique<IO::JP2ZipFile>();
    file->open(archive.stem().string(), "zip", archive.parent_path().string());
    return file;
}

int bandIndex(const IO::File& file, const std::string& code)
{
    for (std::size_t i = 0; i < file.bands.size(); ++i)
        if (file.bands[i].code == code)
            return static_cast<int>(i);
    throw std::runtime_error("no band " + code);
}

// The band log lines would drown the report.
class QuietStdout {
public:
    QuietStdout()
        : previous_(std::cout.rdbuf(&sink_))
    {
    }
    ~QuietStdout() { std::cout.rdbuf(previous_); }

private:
    struct Sink : std::streambuf {
        int overflow(int c) override { return c; }
    } sink_;
    std::streambuf* previous_;
};

// GDAL_NUM_THREADS for one benchmark: argument 0 leaves it unset (GDAL's
// default), 1 sets ALL_CPUS, 2 sets 1.
void setDecoderThreads(int choice)
{
    CPLSetConfigOption("GDAL_NUM_THREADS", choice == 0 ? nullptr : choice == 1 ? "ALL_CPUS" : "1");
}

const char* threadLabel(int choice)
{
    return choice == 0 ? "GDAL_NUM_THREADS unset" : choice == 1 ? "GDAL_NUM_THREADS=ALL_CPUS" : "GDAL_NUM_THREADS=1";
}

// Peak resident memory of the process, reset before each measured step.
long statusKiB(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0)
            return std::stol(line.substr(key.size()));
    return -1;
}

void resetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

struct PeakMeter {
    long base = 0;
    long worstPeak = 0;
    void start()
    {
        resetPeak();
        base = statusKiB("VmRSS");
    }
    void stop() { worstPeak = std::max(worstPeak, statusKiB("VmHWM") - base); }
    void report(benchmark::State& state) const
    {
        state.counters["peak_MiB"] = benchmark::Counter(static_cast<double>(worstPeak) / 1024.0);
    }
};

void BM_Open(benchmark::State& state)
{
    productPath();
    for (auto _ : state) {
        auto file = openProduct();
        benchmark::DoNotOptimize(file->bands.size());
    }
}
BENCHMARK(BM_Open)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_LoadBand10m(benchmark::State& state)
{
    const QuietStdout quiet;
    setDecoderThreads(static_cast<int>(state.range(0)));
    state.SetLabel(threadLabel(static_cast<int>(state.range(0))));
    auto file = openProduct();
    const int band = bandIndex(*file, "B04");
    PeakMeter meter;
    for (auto _ : state) {
        meter.start();
        file->loadBand(band, 0, 0.0, 1.0, false, false);
        meter.stop();
        state.PauseTiming();
        file->unloadBandsExcept({});
        state.ResumeTiming();
    }
    meter.report(state);
    setDecoderThreads(0);
}
BENCHMARK(BM_LoadBand10m)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_LoadBand20m(benchmark::State& state)
{
    const QuietStdout quiet;
    setDecoderThreads(static_cast<int>(state.range(0)));
    state.SetLabel(threadLabel(static_cast<int>(state.range(0))));
    auto file = openProduct();
    const int band = bandIndex(*file, "B8A");
    PeakMeter meter;
    for (auto _ : state) {
        meter.start();
        file->loadBand(band, 0, 0.0, 1.0, false, false);
        meter.stop();
        state.PauseTiming();
        file->unloadBandsExcept({});
        state.ResumeTiming();
    }
    meter.report(state);
    setDecoderThreads(0);
}
BENCHMARK(BM_LoadBand20m)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// GDAL alone: open the same raster in the same zip and decode the whole band
// with one RasterIO into a buffer of its own sample type.
void BM_BareRasterIO(benchmark::State& state)
{
    setDecoderThreads(static_cast<int>(state.range(0)));
    state.SetLabel(threadLabel(static_cast<int>(state.range(0))));
    std::string path;
    {
        const QuietStdout quiet;
        auto file = openProduct();
        path = file->bands[static_cast<std::size_t>(bandIndex(*file, "B04"))].levels[0].path;
    }
    PeakMeter meter;
    for (auto _ : state) {
        meter.start();
        const IO::Gdal::Dataset dataset = IO::Gdal::openRaster(path, IO::Gdal::jpeg2000Drivers);
        GDALRasterBand* band = dataset->GetRasterBand(1);
        std::vector<std::uint16_t> samples(static_cast<std::size_t>(kFullSize) * kFullSize);
        if (band->RasterIO(GF_Read, 0, 0, kFullSize, kFullSize, samples.data(), kFullSize, kFullSize, GDT_UInt16, 0,
                           0, nullptr)
            != CE_None)
            state.SkipWithError("RasterIO failed");
        benchmark::DoNotOptimize(samples.data());
        meter.stop();
    }
    meter.report(state);
    setDecoderThreads(0);
}
BENCHMARK(BM_BareRasterIO)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The two above interleaved in one loop, so load on a shared machine hits
// both alike: ratio = band load time / bare RasterIO time.
void BM_LoadVersusBareRasterIO(benchmark::State& state)
{
    const QuietStdout quiet;
    setDecoderThreads(static_cast<int>(state.range(0)));
    state.SetLabel(threadLabel(static_cast<int>(state.range(0))));
    auto file = openProduct();
    const int band = bandIndex(*file, "B04");
    const std::string path = file->bands[static_cast<std::size_t>(band)].levels[0].path;
    using Clock = std::chrono::steady_clock;
    double bare = 0.0;
    double load = 0.0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        {
            const IO::Gdal::Dataset dataset = IO::Gdal::openRaster(path, IO::Gdal::jpeg2000Drivers);
            std::vector<std::uint16_t> samples(static_cast<std::size_t>(kFullSize) * kFullSize);
            if (dataset->GetRasterBand(1)->RasterIO(GF_Read, 0, 0, kFullSize, kFullSize, samples.data(), kFullSize,
                                                    kFullSize, GDT_UInt16, 0, 0, nullptr)
                != CE_None)
                state.SkipWithError("RasterIO failed");
            benchmark::DoNotOptimize(samples.data());
        }
        const auto t1 = Clock::now();
        file->loadBand(band, 0, 0.0, 1.0, false, false);
        const auto t2 = Clock::now();
        file->unloadBandsExcept({});
        bare += std::chrono::duration<double>(t1 - t0).count();
        load += std::chrono::duration<double>(t2 - t1).count();
    }
    state.counters["bare_s"] = bare / static_cast<double>(state.iterations());
    state.counters["load_s"] = load / static_cast<double>(state.iterations());
    state.counters["ratio"] = load / bare;
    setDecoderThreads(0);
}
BENCHMARK(BM_LoadVersusBareRasterIO)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(4);

void BM_LoadIndexBand(benchmark::State& state)
{
    const QuietStdout quiet;
    auto file = openProduct();
    const int band = bandIndex(*file, "NDVI");
    PeakMeter meter;
    for (auto _ : state) {
        meter.start();
        file->loadBand(band, 0, 0.0, 1.0, false, false);
        meter.stop();
        state.PauseTiming();
        file->unloadBandsExcept({});
        state.ResumeTiming();
    }
    meter.report(state);
}
BENCHMARK(BM_LoadIndexBand)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

// CPU seconds of the whole process (every thread) so far.
double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec * 1e-6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// An index band (two 10 m sources decoded side by side) against one plain
// 10 m band, interleaved in one loop so load on a shared machine hits both
// alike: ratio = index load time / band load time. The CPU seconds show how
// many cores each load kept busy (cpu / wall): the index can only come close
// to the band's wall time where the band load leaves cores idle.
void BM_IndexVersusBandLoad(benchmark::State& state)
{
    const QuietStdout quiet;
    auto file = openProduct();
    const int plain = bandIndex(*file, "B04");
    const int index = bandIndex(*file, "NDVI");
    using Clock = std::chrono::steady_clock;
    double band = 0.0;
    double derived = 0.0;
    double bandCpu = 0.0;
    double derivedCpu = 0.0;
    for (auto _ : state) {
        const double c0 = processCpuSeconds();
        const auto t0 = Clock::now();
        file->loadBand(plain, 0, 0.0, 1.0, false, false);
        const auto t1 = Clock::now();
        const double c1 = processCpuSeconds();
        file->unloadBandsExcept({});
        const double c2 = processCpuSeconds();
        const auto t2 = Clock::now();
        file->loadBand(index, 0, 0.0, 1.0, false, false);
        const auto t3 = Clock::now();
        const double c3 = processCpuSeconds();
        file->unloadBandsExcept({});
        band += std::chrono::duration<double>(t1 - t0).count();
        derived += std::chrono::duration<double>(t3 - t2).count();
        bandCpu += c1 - c0;
        derivedCpu += c3 - c2;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["band_s"] = band / n;
    state.counters["index_s"] = derived / n;
    state.counters["ratio"] = derived / band;
    state.counters["band_cpu_s"] = bandCpu / n;
    state.counters["index_cpu_s"] = derivedCpu / n;
}
BENCHMARK(BM_IndexVersusBandLoad)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// 1000 window reads of 124 x 124 pixels at scattered places of a 10 m band,
// as the statistics tools make them. Cold: a data set opened just before, so
// every block is decoded for the first time; warm: the same windows once
// more on a data set that has read them, served from GDAL's block cache.
void BM_ReadRegion1000(benchmark::State& state)
{
    const bool warm = state.range(0) != 0;
    setDecoderThreads(static_cast<int>(state.range(1)));
    state.SetLabel(std::string(warm ? "warm, " : "cold, ") + threadLabel(static_cast<int>(state.range(1))));
    std::mt19937 generator(42);
    std::uniform_int_distribution<int> position(0, kFullSize - 124);
    std::vector<std::pair<int, int>> windows(1000);
    for (auto& w : windows)
        w = {position(generator), position(generator)};
    std::vector<double> out;
    std::unique_ptr<IO::JP2ZipFile> file;
    int band = -1;
    auto readAll = [&] {
        for (const auto& [x, y] : windows) {
            file->readRegion(band, 0, x, y, 124, 124, 124, 124, out);
            benchmark::DoNotOptimize(out.data());
        }
    };
    if (warm) {
        file = openProduct();
        band = bandIndex(*file, "B04");
        readAll();
    }
    using Clock = std::chrono::steady_clock;
    double seconds = 0.0;
    for (auto _ : state) {
        if (!warm) {
            state.PauseTiming();
            file.reset();
            file = openProduct();
            band = bandIndex(*file, "B04");
            state.ResumeTiming();
        }
        const auto t0 = Clock::now();
        readAll();
        seconds += std::chrono::duration<double>(Clock::now() - t0).count();
    }
    state.counters["ms_per_read"]
        = seconds * 1e3 / (static_cast<double>(state.iterations()) * static_cast<double>(windows.size()));
    setDecoderThreads(0);
}
BENCHMARK(BM_ReadRegion1000)
    ->ArgNames({"warm", "threads"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({0, 2})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);

} // namespace

int main(int argc, char** argv)
{
    IO::Gdal::registerDrivers();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    GDALDestroyDriverManager();
    return 0;
}
