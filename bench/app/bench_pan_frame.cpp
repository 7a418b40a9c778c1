// Frame cost of moving the view through the main window, end to end: one
// mouse move of a pan drag (view step, working window, every viewer rendered
// again with its curves), the first move of a drag (which takes over the
// overlay layer of the drag before, painted again where curves changed, and
// which the later moves reuse), a redraw at rest (with the curves as they
// were, and after a curve changed) and one zoom step. The
// scene is a three-band 2000 x 2000 data set in a full-HD main viewer with
// 100 curves of 1000 points over it; the last benchmark opens the right side
// too and adds a tools viewer to each side, linked, so a drag moves four
// viewers.

#include <cmath>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QGridLayout>
#include <QMouseEvent>
#include <QSettings>
#include <QTabWidget>
#include <benchmark/benchmark.h>

#include "app/FenlarkApp.h"
#include "app/FenlarkAppUI.h"
#include "app/SettingsKeys.h"
#include "io/Band.h"
#include "io/Curve.h"
#include "io/File.h"
#include "resources/Resources.h"
#include "support/BenchWindow.h"
#include "viewers/ViewerWidget.h"

namespace {

constexpr int dataSize = 2000;
constexpr int workAreaSize = 1002;
constexpr int bandCount = 3;
// A pan step moves the mouse this far on both axes, away and back again, so
// the view stays near the data's top-left corner.
constexpr int panStep = 4;
const QPointF pressPosition(960.0, 540.0);

// Band samples in [0, 1] and the filtered image of the working window,
// generated once before any timing.
struct Samples {
    std::vector<std::vector<float>> bands;
    std::vector<float> feature;
    Samples()
        : bands(bandCount, std::vector<float>(static_cast<std::size_t>(dataSize) * dataSize))
        , feature(static_cast<std::size_t>(workAreaSize) * workAreaSize)
    {
        std::mt19937 gen(7);
        std::uniform_real_distribution<float> dist(0.0f, 1.0f);
        for (std::vector<float>& band : bands) {
            for (float& value : band)
                value = dist(gen);
        }
        for (float& value : feature)
            value = dist(gen);
    }
};

const Samples& samples()
{
    static const Samples s;
    return s;
}

// 100 curves of 1000 points in data pixels around the initial view (origin
// 0, 0 at zoom 1 shows data pixels 0..1920 x 0..1080): half closed
// outlines, half open wiggly lines, some partly outside.
std::vector<UI::CurveSet> curveSets()
{
    std::vector<UI::CurveSet> out;
    std::mt19937 gen(11);
    std::uniform_real_distribution<double> cx(-100.0, 2020.0), cy(-100.0, 1180.0), radius(20.0, 300.0);
    for (int c = 0; c < 100; ++c) {
        std::vector<Point2D> points;
        points.reserve(1000);
        const double x0 = cx(gen), y0 = cy(gen), r = radius(gen);
        const bool closed = c % 2 == 0;
        for (int k = 0; k < 1000; ++k) {
            const double t = 2.0 * M_PI * k / (closed ? 999.0 : 250.0);
            if (closed)
                points.push_back({x0 + r * std::cos(t), y0 + r * std::sin(t) * 0.7});
            else
                points.push_back({x0 + k * r / 500.0, y0 + 0.2 * r * std::sin(t)});
        }
        if (closed)
            points.back() = points.front();
        UI::Curve curve;
        curve.setPoints(points);
        curve.closed = closed;
        curve.color = {0, 200, 255, 255};
        curve.visible = true;
        UI::CurveSet set;
        set.addCurve(curve);
        set.updateBoundingBoxes();
        out.push_back(std::move(set));
    }
    return out;
}

IO::File* makeDataSet()
{
    const Samples& s = samples();
    auto* file = new IO::File;
    file->width = dataSize;
    file->height = dataSize;
    file->pixelCount = dataSize * dataSize;
    const char* codes[bandCount] = {"B04", "B03", "B02"};
    for (int b = 0; b < bandCount; ++b) {
        IO::Band band(codes[b]);
        band.code = codes[b];
        band.levels.emplace_back();
        band.levels[0].setDataFromFloats(s.bands[static_cast<std::size_t>(b)].data(), file->pixelCount, false, 0.0,
                                         1.0);
        file->bands.push_back(std::move(band));
        file->loadedBands.insert(b);
    }
    file->workAreaWidth = workAreaSize;
    file->workAreaHeight = workAreaSize;
    return file;
}

// The main window showing the data set on the left side, optionally on the
// right side too with a tools viewer on each side, redrawn once.
class Scene {
public:
    explicit Scene(bool fourViewers)
    {
        window.setupWindow();
        window.dataFiles.append(makeDataSet());
        window.curveSets.append(QList<UI::CurveSet>());
        window.relevancyMaps.append(QList<UI::RelevancyMap>());
        window.ui->leftDataIndex = 0;
        setSideKeys(0);
        for (UI::CurveSet& set : curveSets())
            window.curveSets[0].append(std::move(set));

        if (fourViewers) {
            window.toolButtonTabWidget_clicked();
            window.ui->rightDataIndex = 0;
            setSideKeys(1);
            const std::string key = Keys::dataCacheToolsFilterSolution;
            const std::vector<float>& feature = samples().feature;
            for (IO::Band& band : window.dataFiles[0]->bands)
                band.levels[0].storeCache<float>(key, feature.data(), feature.size());
            const QString toolsName = QString::fromLatin1(Keys::viewerWidgetToolsFeature);
            for (int side : {0, 1}) {
                QTabWidget* tabs = side == 0 ? window.ui->leftTabWidget : window.ui->rightTabWidget;
                auto* grid = qobject_cast<QGridLayout*>(tabs->widget(0)->layout());
                window.createViewer(1, 0, toolsName, side);
                window.placeViewer(window.viewers[side].value(toolsName), grid, 1, 2);
                window.ui->featureShowedCacheByTab[side] = key;
            }
            window.ui->actionLink_left_right->setChecked(true);
        }

        // The scroll areas' resize events set the viewers' sizes from the
        // (offscreen) screen; the measured sizes are set after them.
        for (int pass = 0; pass < 3; ++pass)
            QApplication::processEvents();
        const QSize size = fourViewers ? QSize(1930, 545) : QSize(1930, 1090);
        for (int side = 0; side < window.viewers.size(); ++side) {
            for (UI::ViewerWidget* viewer : window.viewers[side])
                viewer->viewportSize = size;
        }
        window.refreshAllViewers();
    }

    UI::ViewerWidget* mainViewer(int side) const
    {
        return window.viewers[side].value(QString::fromLatin1(Keys::viewerWidgetMain));
    }

    // Skips the benchmark when the set-up does not show what is measured.
    bool ready(benchmark::State& state, int viewerCount) const
    {
        int shown = 0;
        for (int side = 0; side < window.viewers.size(); ++side) {
            for (const UI::ViewerWidget* viewer : window.viewers[side])
                shown += viewer->isEmpty() ? 0 : 1;
        }
        if (!folder_.valid() || shown != viewerCount) {
            state.SkipWithError("the window does not show the data set in every viewer");
            return false;
        }
        const UI::ViewerWidget* main = mainViewer(0);
        state.SetLabel(std::to_string(viewerCount) + " x " + std::to_string(main->imageWidth) + "x"
                       + std::to_string(main->imageHeight));
        return true;
    }

private:
    void setSideKeys(int side)
    {
        window.beginTabGroup(side);
        QSettings* session = window.sessionConfig;
        session->setValue(QString::fromLatin1(Keys::dataPropertiesChannelType), 1);
        session->setValue(QString::fromLatin1(Keys::dataPropertiesRedBand), 0);
        session->setValue(QString::fromLatin1(Keys::dataPropertiesGreenBand), 1);
        session->setValue(QString::fromLatin1(Keys::dataPropertiesBlueBand), 2);
        session->setValue(QString::fromLatin1(Keys::curveExplorerStateCurrentIndex), -1);
        session->endGroup();
    }

    // Declared first: the window is built inside the folder and gone before
    // the folder is.
    BenchSupport::WorkingFolder folder_;

public:
    UI::FenlarkApp window;
};

QMouseEvent mouseMove(QPointF position)
{
    return QMouseEvent(QEvent::MouseMove, position, position, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
}

// Where the mouse goes on a pan step: away from the press position, then
// back onto it, so the view moves by panStep data pixels and returns.
QPointF stepPosition(bool away)
{
    return away ? pressPosition - QPointF(panStep, panStep) : pressPosition;
}

void setFps(benchmark::State& state)
{
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// A steady drag: every move shows the overlay layer shifted.
void BM_PanFrame(benchmark::State& state)
{
    Scene scene(false);
    if (!scene.ready(state, 1))
        return;
    UI::FenlarkApp& window = scene.window;
    QMouseEvent press(QEvent::MouseButtonPress, pressPosition, pressPosition, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    window.startViewerDrag(&press, false);
    // The drag's first move draws the overlay layer; it is not timed here.
    QMouseEvent first = mouseMove(stepPosition(true));
    window.panSide(&first, 0, false);
    bool away = false;
    for (auto _ : state) {
        QMouseEvent move = mouseMove(stepPosition(away));
        window.panSide(&move, 0, false);
        away = !away;
        benchmark::DoNotOptimize(scene.mainViewer(0)->imageBits);
    }
    window.resetDragState();
    setFps(state);
}
BENCHMARK(BM_PanFrame)->Unit(benchmark::kMillisecond);

// Gives the first curve another colour, alternately, so that the overlays
// differ from the ones drawn before.
void recolourFirstCurve(Scene& scene, bool alternate)
{
    scene.window.curveSets[0][0].curves[0].color = alternate ? std::vector<int>{255, 120, 0, 255}
                                                             : std::vector<int>{0, 200, 255, 255};
}

// The first move of a drag, alternately away from the data's corner and
// back. The drag takes over the overlay layer of the drag before; with
// changed set, a curve changes colour before every drag, so the layer is
// painted again where that curve reaches.
void panFrameFirst(benchmark::State& state, bool changed)
{
    Scene scene(false);
    if (!scene.ready(state, 1))
        return;
    UI::FenlarkApp& window = scene.window;
    bool away = true;
    for (auto _ : state) {
        state.PauseTiming();
        if (changed)
            recolourFirstCurve(scene, away);
        window.resetDragState();
        // The press is where the mouse went last, so the move below is one
        // step, alternately away from the data's corner and back.
        const QPointF from = stepPosition(!away);
        QMouseEvent press(QEvent::MouseButtonPress, from, from, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        window.startViewerDrag(&press, false);
        state.ResumeTiming();
        QMouseEvent move = mouseMove(stepPosition(away));
        window.panSide(&move, 0, false);
        away = !away;
        benchmark::DoNotOptimize(scene.mainViewer(0)->imageBits);
    }
    window.resetDragState();
    setFps(state);
}

void BM_PanFrameFirst(benchmark::State& state)
{
    panFrameFirst(state, false);
}
BENCHMARK(BM_PanFrameFirst)->Unit(benchmark::kMillisecond);

void BM_PanFrameFirstAfterChange(benchmark::State& state)
{
    panFrameFirst(state, true);
}
BENCHMARK(BM_PanFrameFirstAfterChange)->Unit(benchmark::kMillisecond);

// A redraw at rest: the image is rendered and the overlays drawn straight
// into it. With changed set, a curve changes colour before every redraw, so
// the overlays are painted again where that curve reaches; otherwise they
// are the same as the redraw before.
void restFrame(benchmark::State& state, bool changed)
{
    Scene scene(false);
    if (!scene.ready(state, 1))
        return;
    bool alternate = true;
    for (auto _ : state) {
        if (changed) {
            state.PauseTiming();
            recolourFirstCurve(scene, alternate);
            alternate = !alternate;
            state.ResumeTiming();
        }
        scene.window.refreshAllViewers();
        benchmark::DoNotOptimize(scene.mainViewer(0)->imageBits);
    }
    setFps(state);
}

void BM_RestFrame(benchmark::State& state)
{
    restFrame(state, false);
}
BENCHMARK(BM_RestFrame)->Unit(benchmark::kMillisecond);

void BM_RestFrameAfterChange(benchmark::State& state)
{
    restFrame(state, true);
}
BENCHMARK(BM_RestFrameAfterChange)->Unit(benchmark::kMillisecond);

// One step of View > Zoom in / Zoom out, alternately.
void BM_ZoomStep(benchmark::State& state)
{
    Scene scene(false);
    if (!scene.ready(state, 1))
        return;
    bool in = true;
    for (auto _ : state) {
        (in ? scene.window.ui->actionZoom_in : scene.window.ui->actionZoom_out)->trigger();
        in = !in;
        benchmark::DoNotOptimize(scene.mainViewer(0)->imageBits);
    }
    setFps(state);
}
BENCHMARK(BM_ZoomStep)->Unit(benchmark::kMillisecond);

// A steady drag with both sides open and linked, each with its main and a
// tools viewer, through the window's own mouse handling.
void BM_PanFrameFourViewers(benchmark::State& state)
{
    Scene scene(true);
    if (!scene.ready(state, 4))
        return;
    UI::ViewerWidget* target = scene.mainViewer(0);
    QMouseEvent press(QEvent::MouseButtonPress, pressPosition, pressPosition, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(target, &press);
    // The drag's first move draws the overlay layers; it is not timed here.
    QMouseEvent first = mouseMove(stepPosition(true));
    QCoreApplication::sendEvent(target, &first);
    bool away = false;
    for (auto _ : state) {
        QMouseEvent move = mouseMove(stepPosition(away));
        QCoreApplication::sendEvent(target, &move);
        away = !away;
        benchmark::DoNotOptimize(target->imageBits);
    }
    const QPointF last = stepPosition(!away);
    QMouseEvent release(QEvent::MouseButtonRelease, last, last, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &release);
    setFps(state);
}
BENCHMARK(BM_PanFrameFourViewers)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return BenchSupport::runWindowBenchmarks(argc, argv, [] {
        Fenlark::initResources();
        samples(); // generate the test data before any timing
    });
}
