// The segmentation runs of the viewers on a 2000 x 2000 working window of a
// scene with bright discs and a rectangle on a textured ground (the samples
// of the synthetic products' visible bands, held in memory):
//   - the automatic run with the page's defaults and one initial circle
//     inside each disc: its feature chain, its evolution (steps run, ms per
//     step) and the whole button press;
//   - semi-automatic tracing on a 1920 x 1080 main viewer, the mouse 100,
//     500 and 1500 px from the anchor, auto stop on and off: one move, and a
//     sweep of six moves 8 ms apart; the longest time a mouse event (and any
//     pass of the event loop) held the GUI thread, and the time from the
//     last move to the drawn segment of its position, median and p95;
//   - the tracer alone on the same positions, median and p95.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <iostream>
#include <optional>
#include <vector>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDoubleSpinBox>
#include <QEventLoop>
#include <QMouseEvent>
#include <QSettings>
#include <QSpinBox>
#include <benchmark/benchmark.h>

#include "SampleProduct.h"
#include "app/CurveDrawing.h"
#include "app/FenlarkApp.h"
#include "app/FenlarkAppUI.h"
#include "app/Startup.h"
#include "app/WidgetUtils.h"
#include "evolution/CurveEvolution.h"
#include "evolution/SegmentEvolution.h"
#include "io/Band.h"
#include "io/File.h"
#include "resources/Resources.h"
#include "support/BenchWindow.h"
#include "support/MemoryFile.h"
#include "tools/FeatureKeys.h"
#include "tools/TaskRunner.h"
#include "viewers/ViewerWidget.h"

namespace {

constexpr int size = 2004;  // a multiple of 6, as working windows are

// The main window showing the scene in three bands on the left side, its
// working window the whole grid.
class Scene {
public:
    Scene()
    {
        window.setupWindow();
        // Held in memory but read like a product: window reads (for the
        // statistics of the initial set) go to the raw samples.
        auto* file = new TestSupport::MemoryFile(size, size);
        file->name = "scene";
        for (const char* code : {"B04", "B03", "B02"}) {
            const std::string band = code;
            const int index = file->addBandOf(band, 1, [band](int x, int y) {
                return Sample::sceneReflectance(band, x, y, 1, size);
            });
            file->loadBand(index, 0, 0.0, 1.0, false, false);
            file->loadedBands.insert(index);
        }
        window.dataFiles.append(file);
        window.curveSets.append(QList<UI::CurveSet>());
        window.relevancyMaps.append(QList<UI::RelevancyMap>());
        window.ui->leftDataIndex = 0;
        window.beginTabGroup(0);
        window.sessionConfig->setValue("dataPropertiesChannelType", 1);
        window.sessionConfig->setValue("dataPropertiesRedBand", 0);
        window.sessionConfig->setValue("dataPropertiesGreenBand", 1);
        window.sessionConfig->setValue("dataPropertiesBlueBand", 2);
        window.sessionConfig->endGroup();
        window.fillSegmentationChannelCombo();
        main()->viewportSize = QSize(1920, 1080);
        window.refreshAllViewers();
    }

    UI::ViewerWidget* main() { return window.viewers[0].value(QStringLiteral("viewerWidgetMain")); }

    // One circle of radius 40 inside each disc.
    UI::CurveSet initialCircles() const
    {
        std::vector<std::vector<Point2D>> circles;
        for (const Sample::SceneDisc& disc : Sample::sceneDiscs(size))
            circles.push_back(CurveDrawing::circlePath({disc.centerX, disc.centerY}, 40.0));
        UI::CurveSet set(circles);
        for (UI::Curve& curve : set.curves)
            curve.computeGeometry();
        set.updateBoundingBoxes();
        return set;
    }

    BenchSupport::WorkingFolder folder;
    UI::FenlarkApp window;
};

double milliseconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

void BM_AutoFeatureChain(benchmark::State& state)
{
    Scene scene;
    TaskRunner::ScopedInlineRunner inline_;
    std::cout.setstate(std::ios::failbit);
    scene.window.appendCurveSet(scene.initialCircles());
    scene.window.setCurvesExplorer(0);
    bool ok = true;
    for (auto _ : state)
        ok = scene.window.computeAutoSegmentationFeatures(FenlarkAppTypes::viewerTabWidget::leftTabWidget, scene.window.ui->comboBoxAutoChannel->currentIndex()) && ok;
    std::cout.clear();
    if (!ok)
        state.SkipWithError("a feature step failed");
}
BENCHMARK(BM_AutoFeatureChain)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_AutoEvolution(benchmark::State& state)
{
    Scene scene;
    TaskRunner::ScopedInlineRunner inline_;
    std::cout.setstate(std::ios::failbit);
    scene.window.appendCurveSet(scene.initialCircles());
    scene.window.setCurvesExplorer(0);
    if (!scene.window.computeAutoSegmentationFeatures(FenlarkAppTypes::viewerTabWidget::leftTabWidget, scene.window.ui->comboBoxAutoChannel->currentIndex())) {
        std::cout.clear();
        state.SkipWithError("a feature step failed");
        return;
    }
    IO::File* file = scene.window.dataFiles[0];
    const int band = scene.window.getSegmentationBand();
    const float* vx = UI::FenlarkApp::workingAreaImage(file, band, Keys::dataCacheToolsAutoEdgeDetectorGradX);
    const float* vy = UI::FenlarkApp::workingAreaImage(file, band, Keys::dataCacheToolsAutoEdgeDetectorGradY);
    const float* map = UI::FenlarkApp::workingAreaImage(file, band, Keys::dataCacheToolsAutoExpandingForceFilterSolution);
    FenlarkAppUI& ui = *scene.window.ui;
    const auto in = scene.initialCircles().pointLists(0, 0);
    double steps = 0.0;
    std::size_t exportSlots = 0;
    double totalMs = 0.0;
    for (auto _ : state) {
        CurveEvolution evolution;
        const auto start = std::chrono::steady_clock::now();
        const auto out = evolution.evolve(in, vx, vy, map, size, size, ui.doubleSpinBoxAutoCurvatureInfluence->value(),
                                          ui.doubleSpinBoxAutoLambda->value(), ui.spinBoxAutoTotalSteps->value(),
                                          ui.spinBoxAutoExportInterval->value(), false,
                                          ui.checkBoxAutoVariableTimeStep->isChecked(),
                                          ui.checkBoxAutoAutoStop->isChecked(), 10, 0.2);
        totalMs += milliseconds(std::chrono::steady_clock::now() - start);
        // Fixed steps of 0.1 unless the variable step is on: the time
        // reached counts the steps.
        steps = evolution.time / 0.1;
        exportSlots = out.size();
    }
    std::cout.clear();
    state.counters["steps_run"] = steps;
    state.counters["slots"] = static_cast<double>(exportSlots);
    state.counters["ms_per_step"] = steps > 0 ? totalMs / static_cast<double>(state.iterations()) / steps : 0.0;
    state.SetLabel("total steps " + std::to_string(ui.spinBoxAutoTotalSteps->value()) + ", auto stop "
                   + (ui.checkBoxAutoAutoStop->isChecked() ? "on" : "off"));
}
BENCHMARK(BM_AutoEvolution)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_AutoRunButton(benchmark::State& state)
{
    Scene scene;
    TaskRunner::ScopedInlineRunner inline_;
    std::cout.setstate(std::ios::failbit);
    bool ok = true;
    for (auto _ : state) {
        state.PauseTiming();
        scene.window.activeCurveSets().clear();
        scene.window.appendCurveSet(scene.initialCircles());
        scene.window.setCurvesExplorer(0);
        state.ResumeTiming();
        ok = scene.window.autoEvolve() && ok;
    }
    std::cout.clear();
    state.counters["sets_stored"] = static_cast<double>(scene.window.activeCurveSets().size() - 1);
    if (!ok)
        state.SkipWithError("the run failed");
}
BENCHMARK(BM_AutoRunButton)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// What the GUI thread sees of mouse moves while tracing: the longest time a
// mouse event held it, the longest pass of its event loop of any kind (a
// mouse event or the drawing of a segment that arrived), and per iteration
// the time from the last move to the drawn segment of its position.
class TracingClock {
public:
    using Clock = std::chrono::steady_clock;

    explicit TracingClock(UI::FenlarkApp& window)
    {
        QObject::connect(&window, &UI::FenlarkApp::segmentPreviewDrawn, &window, [this] { drawnAt_ = Clock::now(); });
    }

    // Sends a move to the grid position and times it.
    void move(UI::ViewerWidget* viewer, QPointF grid)
    {
        const QPointF at = (grid - QPointF(viewer->origin)) * viewer->zoom;
        QMouseEvent event(QEvent::MouseMove, at, viewer->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        drawnAt_.reset();
        lastMove_ = Clock::now();
        QCoreApplication::sendEvent(viewer, &event);
        const double held = milliseconds(Clock::now() - lastMove_);
        eventMax_ = std::max(eventMax_, held);
        loopMax_ = std::max(loopMax_, held);
    }

    // Runs the event loop until the time has passed.
    void pumpFor(double ms)
    {
        const auto until = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double, std::milli>(ms));
        while (Clock::now() < until)
            pumpOnce();
    }

    // Runs the event loop until the segment of the last move is drawn and
    // records the latency; false when none came within ten seconds.
    bool awaitDrawn()
    {
        const auto giveUp = Clock::now() + std::chrono::seconds(10);
        while (!drawnAt_ && Clock::now() < giveUp)
            pumpOnce();
        if (!drawnAt_)
            return false;
        latencies_.push_back(milliseconds(*drawnAt_ - lastMove_));
        return true;
    }

    void report(benchmark::State& state)
    {
        std::sort(latencies_.begin(), latencies_.end());
        const auto quantile = [&](double q) {
            return latencies_.empty()
                       ? 0.0
                       : latencies_[std::min(latencies_.size() - 1, static_cast<std::size_t>(q * latencies_.size()))];
        };
        state.counters["event_max_ms"] = eventMax_;
        state.counters["loop_max_ms"] = loopMax_;
        state.counters["latency_median_ms"] = quantile(0.5);
        state.counters["latency_p95_ms"] = quantile(0.95);
    }

private:
    void pumpOnce()
    {
        const auto start = Clock::now();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        loopMax_ = std::max(loopMax_, milliseconds(Clock::now() - start));
    }

    std::optional<Clock::time_point> drawnAt_;
    Clock::time_point lastMove_;
    double eventMax_ = 0.0;
    double loopMax_ = 0.0;
    std::vector<double> latencies_;
};

// The scene in the semi-automatic mode with range(1) as auto stop, anchored
// on the left edge of the first disc (the working window is the whole grid).
bool startTracing(Scene& scene, benchmark::State& state, Point2D& anchor)
{
    FenlarkAppUI& ui = *scene.window.ui;
    ui.checkBoxSemiAutoStop->setChecked(state.range(1) != 0);
    if (!scene.window.startSemiSegmentation(-1, -1, false)) {
        state.SkipWithError("the tracer's features failed");
        return false;
    }
    const Sample::SceneDisc disc = Sample::sceneDiscs(size)[0];
    anchor = Point2D{disc.centerX - disc.radius, disc.centerY};
    ui.segmentAnchor = anchor;
    return true;
}

// Moves while tracing, the mouse then at rest until the segment of the last
// position is drawn: the last position range(0) px from the anchor (down to
// the right across disc and ground, a pixel or two lower each iteration, as
// a moving mouse gives), the ones before it 3 px apart and interval ms apart
// with the event loop running between them; range(1) auto stop.
void runTracingMoves(benchmark::State& state, int moves, double interval)
{
    Scene scene;
    TaskRunner::ScopedInlineRunner inline_;
    std::cout.setstate(std::ios::failbit);
    Point2D anchor;
    if (!startTracing(scene, state, anchor)) {
        std::cout.clear();
        return;
    }
    const double distance = static_cast<double>(state.range(0));
    TracingClock clock(scene.window);
    bool drawn = true;
    int k = 0;
    for (auto _ : state) {
        const QPointF end(anchor.x + distance * 0.8, anchor.y + distance * 0.6 + (k++ % 3));
        for (int i = moves - 1; i >= 0; --i) {
            clock.move(scene.main(), end - QPointF(2.4, 1.8) * i);
            if (i > 0)
                clock.pumpFor(interval);
        }
        drawn = clock.awaitDrawn() && drawn;
    }
    std::cout.clear();
    clock.report(state);
    state.counters["path_points"] = static_cast<double>(scene.window.pathPoints.size());
    if (!drawn)
        state.SkipWithError("the last position's segment was never drawn");
}

// One mouse move, then rest.
void BM_TracingMove(benchmark::State& state)
{
    runTracingMoves(state, 1, 0.0);
}
BENCHMARK(BM_TracingMove)
    ->ArgsProduct({{100, 500, 1500}, {1, 0}})
    ->ArgNames({"px", "autostop"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(60);

// A mouse sweeping on: six moves 8 ms apart (a 125 Hz mouse), then rest.
void BM_TracingSweep(benchmark::State& state)
{
    runTracingMoves(state, 6, 8.0);
}
BENCHMARK(BM_TracingSweep)
    ->ArgsProduct({{100, 500, 1500}, {1, 0}})
    ->ArgNames({"px", "autostop"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(30);

// The tracer alone on the same images and positions: what a move costs
// without the event and the redraw.
void BM_TracerAlone(benchmark::State& state)
{
    Scene scene;
    TaskRunner::ScopedInlineRunner inline_;
    std::cout.setstate(std::ios::failbit);
    FenlarkAppUI& ui = *scene.window.ui;
    if (!scene.window.startSemiSegmentation(-1, -1, false)) {
        std::cout.clear();
        state.SkipWithError("the tracer's features failed");
        return;
    }
    const Sample::SceneDisc disc = Sample::sceneDiscs(size)[0];
    const Point2D anchor{disc.centerX - disc.radius, disc.centerY};
    const double distance = static_cast<double>(state.range(0));
    const bool autoStop = state.range(1) != 0;
    IO::File* file = scene.window.dataFiles[0];
    const int red = scene.window.getBandIndex(0, 0);
    const auto image = [&](const char* key) { return UI::FenlarkApp::workingAreaImage(file, red, key); };
    const float* vx = image(Keys::dataCacheToolsSemiEdgeDetectorGradX);
    const float* vy = image(Keys::dataCacheToolsSemiEdgeDetectorGradY);
    const float* dx = image(Keys::dataCacheToolsSemiMaxGradX);
    const float* dy = image(Keys::dataCacheToolsSemiMaxGradY);
    std::vector<double> latencies;
    int k = 0;
    for (auto _ : state) {
        const Point2D p{anchor.x + distance * 0.8, anchor.y + distance * 0.6 + (k++ % 3)};
        const double step = CurveDrawing::tracingStep(std::hypot(p.x - anchor.x, p.y - anchor.y), size, size);
        const auto start = std::chrono::steady_clock::now();
        SegmentEvolution segment;
        auto path = segment.segmentBetweenPoints(step, false, anchor.x, p.x, anchor.y, p.y, vx, vy, dx, dy, size,
                                                 size, ui.doubleSpinBoxSemiCurvatureInfluence->value(), autoStop,
                                                 true);
        latencies.push_back(milliseconds(std::chrono::steady_clock::now() - start));
        benchmark::DoNotOptimize(path.data());
    }
    std::cout.clear();
    std::sort(latencies.begin(), latencies.end());
    state.counters["median_ms"] = latencies[latencies.size() / 2];
    state.counters["p95_ms"] = latencies[std::min(latencies.size() - 1, latencies.size() * 95 / 100)];
}
BENCHMARK(BM_TracerAlone)
    ->ArgsProduct({{100, 500, 1500}, {1, 0}})
    ->ArgNames({"px", "autostop"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(60);

} // namespace

int main(int argc, char** argv)
{
    Startup::tuneAllocator();
    // No dialog may wait for a user: messages go to the error stream.
    setMessageBoxHandler([](const MessageBoxRequest& request) {
        std::cerr << "message: " << request.text.toStdString() << std::endl;
        return QMessageBox::Yes;
    });
    return BenchSupport::runWindowBenchmarks(argc, argv, [] { Fenlark::initResources(); });
}
