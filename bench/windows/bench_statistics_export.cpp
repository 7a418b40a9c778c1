// Cost of the large statistics export: a 1024 x 1024 in-memory data set,
// three channels of integer reflectances, squares of radius 3 (7 x 7). One
// iteration is the whole export task as the window runs it: the channels
// read over the grid, the six files written by the thread team into the
// working folder's temporaries, flushed to the disk and renamed into place.
// Counters: written lines per second, and the process's peak memory above
// what it held before the export against the channel arrays (W x H doubles
// per channel) plus 64 MB.

#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <QtGlobal>
#include <benchmark/benchmark.h>

#include "support/PeakMemory.h"

#include "io/File.h"
#include "windows/StatisticsWindow.h"

namespace {

constexpr int kSize = 1024;
constexpr int kChannels = 3;
constexpr int kRadius = 3;

using BenchMemory::resetPeak;
using BenchMemory::statusKilobytes;

// A data set held in memory: bands of random reflectances 0..10000, read
// back window by window as the product reader delivers them.
class MemoryDataSet : public IO::File {
public:
    MemoryDataSet()
    {
        width = kSize;
        height = kSize;
        pixelCount = kSize * kSize;
        std::mt19937 generator(7);
        std::uniform_int_distribution<int> reflectance(0, 10000);
        for (int b = 0; b < kChannels; ++b) {
            bands.emplace_back("B0" + std::to_string(b + 2));
            bands.back().levels.emplace_back();
            std::vector<float> values(static_cast<std::size_t>(kSize) * kSize);
            for (float& v : values)
                v = static_cast<float>(reflectance(generator));
            rasters.push_back(std::move(values));
        }
    }

    void readRegion(int band, int, int x, int y, int w, int h, int, int, std::vector<double>& out) override
    {
        out.resize(static_cast<std::size_t>(w) * h);
        const std::vector<float>& raster = rasters[static_cast<std::size_t>(band)];
        for (int row = 0; row < h; ++row)
            for (int column = 0; column < w; ++column)
                out[static_cast<std::size_t>(row) * w + column] =
                    raster[static_cast<std::size_t>(y + row) * kSize + x + column];
    }

    std::vector<std::vector<float>> rasters;
};

// The per-row progress lines of the export go to nowhere while it runs.
class QuietStdout {
public:
    QuietStdout()
    {
        std::fflush(stdout);
        saved_ = ::dup(1);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::close(null);
    }
    ~QuietStdout()
    {
        std::fflush(stdout);
        ::dup2(saved_, 1);
        ::close(saved_);
    }

private:
    int saved_ = -1;
};

void BM_LargeStatisticsExport(benchmark::State& state)
{
    const int threads = static_cast<int>(state.range(0));
    MemoryDataSet data;
    QTemporaryDir folder(QStringLiteral("bench-statistics-XXXXXX"));
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    const long lines = static_cast<long>(kSize - 12) * (kSize - 12);
    const double channelMegabytes = kChannels * double(kSize) * kSize * sizeof(double) / (1024.0 * 1024.0);

    resetPeak();
    const long before = statusKilobytes("VmRSS");
    StatisticsWindow::LargeExportResult result = StatisticsWindow::LargeExportResult::Failed;
    for (auto _ : state) {
        QuietStdout quiet;
        result = StatisticsWindow::exportLargeStatistics(&data, 0, {0, 1, 2}, kRadius,
                                                         folder.path().toStdString(), threads);
    }
    if (result != StatisticsWindow::LargeExportResult::Written)
        state.SkipWithError("the export failed");
    const double peakMegabytes = static_cast<double>(statusKilobytes("VmHWM") - before) / 1024.0;
    state.counters["lines_per_s"] =
        benchmark::Counter(static_cast<double>(lines) * state.iterations(), benchmark::Counter::kIsRate);
    state.counters["peak_MB_above_data_set"] = peakMegabytes;
    state.counters["channels_plus_64_MB"] = channelMegabytes + 64.0;
    state.counters["file_MB"] = [&] {
        long bytes = 0;
        for (int k = 0; k < 6; ++k) {
            std::ifstream file(folder.filePath(QStringLiteral("dataNatura_%1.csv").arg(k)).toStdString(),
                               std::ios::binary | std::ios::ate);
            bytes += static_cast<long>(file.tellg());
        }
        return static_cast<double>(bytes) / (1024.0 * 1024.0);
    }();
}

BENCHMARK(BM_LargeStatisticsExport)->Arg(1)->Arg(6)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
