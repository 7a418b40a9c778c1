// Frame cost of the image viewer: rendering a three-band window into a
// full-HD view at several zoom levels, and drawing curve overlays. A pan
// step redraws both, so together they should stay well under 16 ms.

#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

#include <QApplication>
#include <QList>
#include <QPointF>
#include <benchmark/benchmark.h>

#include "support/BenchWindow.h"
#include "viewers/ViewGeometry.h"
#include "viewers/ViewerWidget.h"

namespace {

constexpr int dataSize = 2000;

struct Bands {
    std::vector<float> red, green, blue;
    Bands()
        : red(dataSize * dataSize)
        , green(dataSize * dataSize)
        , blue(dataSize * dataSize)
    {
        std::mt19937 gen(7);
        std::uniform_real_distribution<float> dist(0.0f, 1.0f);
        for (std::size_t i = 0; i < red.size(); ++i) {
            red[i] = dist(gen);
            green[i] = dist(gen);
            blue[i] = dist(gen);
        }
    }
};

const Bands& bands()
{
    static const Bands b;
    return b;
}

// 100 curves of 1000 points in image coordinates of a 1920 x 1080 view:
// half closed outlines, half open wiggly lines, some partly outside.
QList<QList<QPointF>> curves()
{
    QList<QList<QPointF>> out;
    std::mt19937 gen(11);
    std::uniform_real_distribution<double> cx(-100.0, 2020.0), cy(-100.0, 1180.0), radius(20.0, 300.0);
    for (int c = 0; c < 100; ++c) {
        QList<QPointF> points;
        const double x0 = cx(gen), y0 = cy(gen), r = radius(gen);
        const bool closed = c % 2 == 0;
        for (int k = 0; k < 1000; ++k) {
            const double t = 2.0 * M_PI * k / (closed ? 999.0 : 250.0);
            if (closed)
                points.append(QPointF(x0 + r * std::cos(t), y0 + r * std::sin(t) * 0.7));
            else
                points.append(QPointF(x0 + k * r / 500.0, y0 + 0.2 * r * std::sin(t)));
        }
        out.append(points);
    }
    return out;
}

void renderFrame(UI::ViewerWidget& viewer)
{
    const Bands& b = bands();
    viewer.render(dataSize, dataSize, b.red.data(), b.green.data(), b.blue.data(), true);
}

void BM_Render(benchmark::State& state)
{
    UI::ViewerWidget viewer(0, 0, "viewerWidgetMain", 0);
    viewer.viewportSize = QSize(1930, 1090);
    viewer.zoomIndex = static_cast<int>(state.range(0));
    viewer.zoom = UI::ViewGeometry::zoomTable[viewer.zoomIndex];
    viewer.origin = QPoint(100, 100);
    for (auto _ : state) {
        renderFrame(viewer);
        benchmark::DoNotOptimize(viewer.imageBits);
    }
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.SetLabel(std::to_string(viewer.imageWidth) + "x" + std::to_string(viewer.imageHeight));
}
// zoom 0.5, 1 and 4
BENCHMARK(BM_Render)->Arg(7)->Arg(9)->Arg(15)->Unit(benchmark::kMillisecond);

void BM_Overlays(benchmark::State& state)
{
    UI::ViewerWidget viewer(0, 0, "viewerWidgetMain", 0);
    viewer.viewportSize = QSize(1930, 1090);
    renderFrame(viewer);
    const QList<QList<QPointF>> lines = curves();
    for (auto _ : state) {
        for (const QList<QPointF>& line : lines)
            viewer.drawPolyline(line, QColor(255, 0, 0, 255), 2);
        benchmark::DoNotOptimize(viewer.imageBits);
    }
}
BENCHMARK(BM_Overlays)->Unit(benchmark::kMillisecond);

void BM_PanFrame(benchmark::State& state)
{
    UI::ViewerWidget viewer(0, 0, "viewerWidgetMain", 0);
    viewer.viewportSize = QSize(1930, 1090);
    const QList<QList<QPointF>> lines = curves();
    for (auto _ : state) {
        renderFrame(viewer);
        for (const QList<QPointF>& line : lines)
            viewer.drawPolyline(line, QColor(255, 0, 0, 255), 2);
        benchmark::DoNotOptimize(viewer.imageBits);
    }
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PanFrame)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return BenchSupport::runWindowBenchmarks(argc, argv, [] { bands(); });
}
