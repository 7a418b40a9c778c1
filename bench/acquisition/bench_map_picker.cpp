// 1000 mouse moves inside one tile of the local archive browser's map, with a
// chosen tile outlined: the window as it is (pictures cached, nothing done
// while the shown picture stays the same) against reloading and decoding the
// picture and drawing the outline at every move.

#include <QDir>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygonF>
#include <QSettings>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include "acquisition/LocalLoader.h"
#include "acquisition/MapPickerTiles.h"
#include "app/WidgetUtils.h"
#include "resources/Resources.h"
#include "support/BenchWindow.h"

namespace {

constexpr int movesPerRun = 1000;

// A point of tile 1's hover rectangle for move i.
QPoint insideTileOne(int i)
{
    return {90 + i % 150, 320 + (i * 7) % 180};
}

// The browser over an empty folder with tile 1 chosen.
struct Browser {
    Browser()
    {
        QSettings().setValue(QStringLiteral("localLoader/workingDirectory"), folder.path());
        window = std::make_unique<LocalLoader>();
        send(QEvent::MouseMove, {100, 400}, Qt::NoButton);
        send(QEvent::MouseButtonPress, {100, 400}, Qt::LeftButton);
    }
    void send(QEvent::Type type, QPoint point, Qt::MouseButton button)
    {
        QMouseEvent event(type, point, point, button, button, Qt::NoModifier);
        QApplication::sendEvent(window->mapPicker, &event);
    }

    QTemporaryDir folder;
    std::unique_ptr<LocalLoader> window;
};

void BM_MovesInsideOneTile(benchmark::State& state)
{
    Browser browser;
    for (auto _ : state) {
        for (int i = 0; i < movesPerRun; ++i)
            browser.send(QEvent::MouseMove, insideTileOne(i), Qt::NoButton);
    }
    benchmark::DoNotOptimize(browser.window->mapPicker->image.constBits());
}
BENCHMARK(BM_MovesInsideOneTile)->Unit(benchmark::kMillisecond);

// What a move cost when every event reloaded the hovered tile's picture and
// drew the chosen outline on it.
void BM_MovesInsideOneTileReloading(benchmark::State& state)
{
    Browser browser;
    LocalLoader& window = *browser.window;
    for (auto _ : state) {
        for (int i = 0; i < movesPerRun; ++i) {
            const QPoint point = insideTileOne(i);
            const int area = 0;
            const int hovered = MapPicker::tileAt(area, point.x(), point.y());
            const char* name = hovered ? MapPicker::tile(hovered)->image : MapPicker::areas()[area].initialImage;
            window.mapPicker->image = QImage(QStringLiteral(":/map/maps/%1.jpg").arg(QLatin1String(name)));
            const MapPickerTile& chosen = *MapPicker::tile(window.selectedTile);
            QPolygonF outline;
            for (int p = 0; p < chosen.pointCount; ++p)
                outline << QPointF(chosen.outline[p].x, chosen.outline[p].y);
            QPainter painter(&window.mapPicker->image);
            painter.setBrush(QBrush(QColor(0, 255, 111, 100), Qt::SolidPattern));
            painter.setPen(QPen(Qt::red));
            painter.drawPolygon(outline, Qt::OddEvenFill);
            painter.end();
            window.mapPicker->update();
        }
    }
    benchmark::DoNotOptimize(window.mapPicker->image.constBits());
}
BENCHMARK(BM_MovesInsideOneTileReloading)->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace

int main(int argc, char** argv)
{
    // The browser remembers its folder in the native settings: keep the
    // run's own.
    QTemporaryDir settingsFolder;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsFolder.path());
    return BenchSupport::runWindowBenchmarks(argc, argv, [] { Fenlark::initResources(); });
}
