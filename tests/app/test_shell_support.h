#pragma once

// The main window after its set-up, with data sets held in memory: the
// fixture of the viewer-side, refresh and navigation tests.

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QColor>
#include <QGridLayout>
#include <QImage>
#include <QMouseEvent>
#include <QSettings>
#include <QTabWidget>
#include <gtest/gtest.h>

#include "app/FenlarkApp.h"
#include "app/FenlarkAppUI.h"
#include "io/File.h"
#include "resources/Resources.h"
#include "test_main_window_support.h"
#include "viewers/PreviewWidget.h"
#include "viewers/ViewerWidget.h"

namespace ShellTest {

// Sample of band b at (x, y): distinct per band and position, in [0, 1].
inline float bandSample(int band, int x, int y)
{
    return static_cast<float>(((x * 7 + y * 3 + band * 50) % 256) / 255.0);
}

// A data set held in memory with every band loaded at level 0.
inline std::unique_ptr<IO::File> makeDataSet(int width, int height, int bandCount = 3, int workArea = 0)
{
    auto file = std::make_unique<IO::File>();
    file->name = "memory";
    file->dataType = "Sentinel-2 satellite image";
    file->width = width;
    file->height = height;
    file->pixelCount = width * height;
    for (int b = 0; b < bandCount; ++b) {
        IO::Band band("B0" + std::to_string(b + 2));
        band.levels.emplace_back();
        std::vector<float> samples(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x)
                samples[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)] =
                    bandSample(b, x, y);
        }
        band.levels[0].setDataFromFloats(samples.data(), width * height, false, 0.0, 1.0);
        file->bands.push_back(std::move(band));
        file->loadedBands.insert(b);
    }
    file->workAreaWidth = workArea;
    file->workAreaHeight = workArea;
    file->preview.assign(3, std::vector<std::uint8_t>(static_cast<std::size_t>(343 * 343), 100));
    return file;
}

// A closed square outline from (x0, y0) to (x1, y1) in data pixels.
inline UI::CurveSet squareSet(double x0, double y0, double x1, double y1, std::vector<int> colour)
{
    UI::CurveSet set({{{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}, {x0, y0}}});
    set.curves[0].color = std::move(colour);
    set.updateBoundingBoxes();
    return set;
}

// The same outline through a point every `step` data pixels: a curve of
// thousands of segments, as traced outlines are.
inline UI::CurveSet denseSquareSet(double x0, double y0, double x1, double y1, std::vector<int> colour,
                                   double step = 0.05)
{
    const Point2D corners[5] = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}, {x0, y0}};
    std::vector<Point2D> points;
    for (int side = 0; side < 4; ++side) {
        const Point2D a = corners[side], b = corners[side + 1];
        const int count = static_cast<int>(std::hypot(b.x - a.x, b.y - a.y) / step);
        for (int k = 0; k < count; ++k)
            points.push_back({a.x + (b.x - a.x) * k / count, a.y + (b.y - a.y) * k / count});
    }
    points.push_back(corners[4]);
    UI::CurveSet set({points});
    set.curves[0].color = std::move(colour);
    set.updateBoundingBoxes();
    return set;
}

inline QRgb pixel(const UI::ViewerWidget* viewer, int x, int y)
{
    return viewer->image->pixel(x, y);
}

class Shell : public testing::Test {
protected:
    // The value of "Global/linkWidgets" in the defaults; empty leaves it out.
    virtual std::string linkValue() const { return "0"; }

    // The default configuration the window starts from.
    virtual std::string defaults() const
    {
        std::string text = MainWindowTest::defaultConfigText();
        replaceLine(text, "linkWidgets=1", linkValue().empty() ? std::string() : "linkWidgets=" + linkValue());
        return text;
    }

    // Replaces the line `line` of a configuration text (an empty
    // replacement removes it).
    static void replaceLine(std::string& text, const std::string& line, const std::string& replacement)
    {
        const std::size_t at = text.find(line + "\n");
        if (at != std::string::npos)
            text.replace(at, line.size() + 1, replacement.empty() ? std::string() : replacement + "\n");
    }

    // Sets the working-window size of a configuration text that holds the
    // shipped 1002 x 1002.
    static void setWorkingSize(std::string& text, int width, int height)
    {
        replaceLine(text, "workingWidth=1002", "workingWidth=" + std::to_string(width));
        replaceLine(text, "workingHeight=1002", "workingHeight=" + std::to_string(height));
    }

    void SetUp() override
    {
        Fenlark::initResources();
        TestSupport::writeFile((cwd.path() / "default_config.ini").string(), defaults());
        window = std::make_unique<UI::FenlarkApp>();
        window->setupWindow();
        QApplication::processEvents();
    }

    void TearDown() override
    {
        window.reset();
    }

    int addDataSet(std::unique_ptr<IO::File> file)
    {
        window->dataFiles.append(file.release());
        window->curveSets.append(QList<UI::CurveSet>());
        window->relevancyMaps.append(QList<UI::RelevancyMap>());
        return static_cast<int>(window->dataFiles.size()) - 1;
    }

    // Shows data set index on a side with the given display bands (three
    // channels unless single), as showing a data set records them.
    void showOn(int side, int index, bool multichannel = true, std::vector<int> bands = {0, 1, 2})
    {
        (side == 0 ? window->ui->leftDataIndex : window->ui->rightDataIndex) = index;
        window->beginTabGroup(side);
        QSettings& s = *window->sessionConfig;
        s.setValue("dataExplorerStateCurrentIndex", index);
        s.setValue("dataPropertiesChannelType", multichannel ? 1 : 0);
        s.setValue("dataPropertiesRedBand", bands[0]);
        s.setValue("dataPropertiesGreenBand", bands[1]);
        s.setValue("dataPropertiesBlueBand", bands[2]);
        s.endGroup();
    }

    void setSideValue(int side, const QString& key, const QVariant& value)
    {
        window->beginTabGroup(side);
        window->sessionConfig->setValue(key, value);
        window->sessionConfig->endGroup();
    }

    QVariant sideValue(int side, const QString& key)
    {
        window->beginTabGroup(side);
        const QVariant value = window->sessionConfig->value(key);
        window->sessionConfig->endGroup();
        return value;
    }

    UI::ViewerWidget* viewer(int side, const char* name = "viewerWidgetMain")
    {
        return window->viewers[side].value(QString::fromLatin1(name));
    }

    QGridLayout* grid(int side)
    {
        QTabWidget* tabs = side == 0 ? window->ui->leftTabWidget : window->ui->rightTabWidget;
        return qobject_cast<QGridLayout*>(tabs->widget(0)->layout());
    }

    // A tools viewer of the given name beside (or, stacked, below) the
    // side's main viewer, as the tool panels add one.
    UI::ViewerWidget* addToolsViewer(int side, const char* name, bool stacked = false)
    {
        window->createViewer(stacked ? 1 : 0, stacked ? 0 : 1, QString::fromLatin1(name), side);
        UI::ViewerWidget* tools = viewer(side, name);
        window->placeViewer(tools, grid(side), stacked ? 1 : 2, stacked ? 2 : 1);
        return tools;
    }

    // Layout settles first: a resize of a viewer's scroll area would replace
    // the viewport size set here.
    void setViewport(UI::ViewerWidget* target, QSize size)
    {
        QApplication::processEvents();
        target->viewportSize = size;
    }

    TestSupport::ScopedWorkingDirectory cwd;
    std::unique_ptr<UI::FenlarkApp> window;
};

} // namespace ShellTest
