// Cost of the feature drivers over the kernels they run: the Filtering
// panel's edge-detector chain (linear filter, gradients, edge detector) on a
// 2000 x 2000 working area, one band and three, through the main window's
// drivers with the tasks run inline, against the same filter steps and
// kernels called directly on arrays. The drivers add the side lookup, the
// cache entries and the task plumbing; the counters report the process's
// peak memory above what it held before the first chain ran (the data set
// itself is allocated before).

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include "support/PeakMemory.h"

#include "app/FenlarkApp.h"
#include "app/FenlarkAppUI.h"
#include "app/Startup.h"
#include "filter/Filtration.h"
#include "filter/ImageDerivatives.h"
#include "io/Band.h"
#include "io/File.h"
#include "resources/Resources.h"
#include "tools/FeatureKeys.h"
#include "support/BenchWindow.h"
#include "tools/TaskRunner.h"

namespace {

constexpr int size = 2000;
constexpr double timeStep = 0.5;
constexpr double edgeSensitivity = 100.0;

using BenchMemory::resetPeak;
using BenchMemory::statusKilobytes;

std::vector<float> bandSamples(unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> dist(0.0f, 1.0f);
    std::vector<float> values(static_cast<std::size_t>(size) * size);
    for (float& v : values)
        v = dist(gen);
    return values;
}

// The main window showing a three-band 2000 x 2000 data set on the left
// side, its working area the whole grid.
class Scene {
public:
    explicit Scene(bool threeBands)
    {
        window.setupWindow();
        auto* file = new IO::File();
        file->width = size;
        file->height = size;
        file->pixelCount = size * size;
        file->workAreaWidth = size;
        file->workAreaHeight = size;
        for (int b = 0; b < 3; ++b) {
            IO::Band band("B0" + std::to_string(b + 2));
            band.levels.emplace_back();
            const std::vector<float> values = bandSamples(static_cast<unsigned>(b + 1));
            band.levels[0].setDataFromFloats(values.data(), size * size, false, 0.0, 1.0);
            file->bands.push_back(std::move(band));
            file->loadedBands.insert(b);
        }
        window.dataFiles.append(file);
        window.curveSets.append(QList<UI::CurveSet>());
        window.relevancyMaps.append(QList<UI::RelevancyMap>());
        window.ui->leftDataIndex = 0;
        window.beginTabGroup(0);
        window.sessionConfig->setValue("dataPropertiesChannelType", threeBands ? 1 : 0);
        window.sessionConfig->setValue("dataPropertiesRedBand", 0);
        window.sessionConfig->setValue("dataPropertiesGreenBand", 1);
        window.sessionConfig->setValue("dataPropertiesBlueBand", 2);
        window.sessionConfig->endGroup();
    }

    bool chain()
    {
        const auto side = FenlarkAppTypes::viewerTabWidget::leftTabWidget;
        return window.updateFilterSolution(side, Filter::linear, timeStep, 0.0, 0.0,
                                           Keys::dataCacheToolsFilterSolution, -1)
            && window.updateImgGrads(side, Keys::dataCacheToolsFilterSolution, Keys::dataCacheToolsFilterGradX,
                                     Keys::dataCacheToolsFilterGradY, -1)
            && window.updateImgEdgeDetector(side, edgeSensitivity, Keys::dataCacheToolsFilterGradX,
                                            Keys::dataCacheToolsFilterGradY, Keys::dataCacheToolsFilterEdgeDetector,
                                            -1);
    }

    BenchSupport::WorkingFolder folder;
    UI::FenlarkApp window;
};

void setPeakCounter(benchmark::State& state, long before)
{
    state.counters["peak_MB_above_data"] = static_cast<double>(statusKilobytes("VmHWM") - before) / 1024.0;
}

void BM_DriverChain(benchmark::State& state)
{
    const bool threeBands = state.range(0) == 3;
    Scene scene(threeBands);
    TaskRunner::ScopedInlineRunner inline_;
    std::cout.setstate(std::ios::failbit);
    resetPeak();
    const long before = statusKilobytes("VmRSS");
    // A shown data set already has its filtering object and, after the first
    // chain, its cache entries: the timed runs are the repeated ones.
    bool ok = scene.chain();
    for (auto _ : state)
        ok = scene.chain() && ok;
    std::cout.clear();
    if (!ok)
        state.SkipWithError("a driver failed");
    setPeakCounter(state, before);
}
BENCHMARK(BM_DriverChain)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same steps on plain arrays: one filtering object for the size, the
// band's window filtered and converted to float, gradients, norms and the
// edge detector.
void BM_KernelChain(benchmark::State& state)
{
    const int bands = static_cast<int>(state.range(0));
    const std::size_t n = static_cast<std::size_t>(size) * size;
    std::vector<std::vector<float>> input;
    for (int b = 0; b < bands; ++b)
        input.push_back(bandSamples(static_cast<unsigned>(b + 1)));
    std::cout.setstate(std::ios::failbit);
    resetPeak();
    const long before = statusKilobytes("VmRSS");
    Filter::Filtration filtration(size, size);
    std::vector<std::vector<float>> filtered(static_cast<std::size_t>(bands), std::vector<float>(n));
    std::vector<std::vector<float>> gx(static_cast<std::size_t>(bands), std::vector<float>(n));
    std::vector<std::vector<float>> gy(static_cast<std::size_t>(bands), std::vector<float>(n));
    std::vector<float> edge(n);
    for (auto _ : state) {
        for (int b = 0; b < bands; ++b) {
            filtration.setImageWindow(input[b].data(), 0, 0, size, size);
            filtration.linearStep(timeStep);
            const auto result = filtration.result();
            for (std::size_t i = 0; i < n; ++i)
                filtered[b][i] = static_cast<float>(result[i]);
            filtration.releaseWorkData();
        }
        for (int b = 0; b < bands; ++b)
            computeGradients(filtered[b].data(), gx[b].data(), gy[b].data(), size, size, 1.0);
        std::vector<float> norms(static_cast<std::size_t>(bands) * n);
        for (int b = 0; b < bands; ++b)
            computeGradientNorm(norms.data() + b * n, size, size, gx[b].data(), gy[b].data(), nullptr);
        computeEdgeDetector(edge.data(), norms.data(), bands == 3 ? norms.data() + n : nullptr,
                            bands == 3 ? norms.data() + 2 * n : nullptr, static_cast<int>(n), edgeSensitivity);
        benchmark::DoNotOptimize(edge.data());
    }
    std::cout.clear();
    setPeakCounter(state, before);
}
BENCHMARK(BM_KernelChain)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    // As the program runs; FENLARK_BENCH_DEFAULT_MALLOC=1 measures the C
    // library's defaults instead.
    if (!getenv("FENLARK_BENCH_DEFAULT_MALLOC"))
        Startup::tuneAllocator();
    return BenchSupport::runWindowBenchmarks(argc, argv, [] { Fenlark::initResources(); });
}
