#pragma once

// The main window showing an in-memory data set on its left side whose
// curve files are real KML documents (the program's reader and writer over a
// plain linear conversion), with every dialog answered through the seam and
// every task run inline: the fixture of the curve workflow tests.

#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <QColor>
#include <QMenu>
#include <QStringList>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include "app/FenlarkApp.h"
#include "app/FenlarkAppUI.h"
#include "app/WidgetUtils.h"
#include "app/test_shell_support.h"
#include "io/KmlCurves.h"
#include "SampleProduct.h"
#include "support/MemoryFile.h"
#include "support/TestSupport.h"
#include "tools/TaskRunner.h"

namespace CurvesTest {

// Pixel (x, y) as longitude 15 + x / 1000 and latitude 49 - y / 1000.
class LinearConverter : public IO::KmlConverter {
public:
    bool pixelToLonLat(double x, double y, double& lon, double& lat) const override
    {
        lon = 15.0 + x / 1000.0;
        lat = 49.0 - y / 1000.0;
        return true;
    }
    bool lonLatToPixel(double lon, double lat, double& x, double& y) const override
    {
        x = (lon - 15.0) * 1000.0;
        y = (49.0 - lat) * 1000.0;
        return true;
    }
};

// An in-memory data set of the bright-shapes scene in B02, B03 and B04 that
// reads and writes KML curve files; data sets of the same ground share the
// pixel grid.
class CurveFile : public TestSupport::MemoryFile {
public:
    CurveFile(int size, int groundId, std::string fileName)
        : MemoryFile(size, size)
        , ground(groundId)
    {
        name = std::move(fileName);
        for (const char* code : {"B02", "B03", "B04"})
            addBandOf(code, 1, [code, size](int x, int y) { return Sample::sceneReflectance(code, x, y, 1, size); });
        TestSupport::quietly([&] {
            for (int b = 0; b < 3; ++b)
                loadBand(b, 0, 0.0, 1.0, false, false);
        });
    }

    void loadCurves(std::string fileName, std::string extension, std::vector<std::vector<Point2D>>& curves,
                    std::vector<std::string>& names) override
    {
        IO::loadKmlCurves(fileName, extension, LinearConverter(), curves, names);
    }

    void saveCurves(std::string fileName, std::string extension, const std::vector<std::vector<Point2D>>& curves,
                    const std::vector<std::string>& names, const std::vector<std::string>& codes,
                    const std::vector<std::string>& types, const std::vector<std::vector<double>>& params) override
    {
        IO::saveKmlCurves(fileName, extension, curves, names, codes, types, params, "T00TEST", LinearConverter());
    }

    bool sameGeolocation(const IO::File* other) const override
    {
        const auto* file = dynamic_cast<const CurveFile*>(other);
        return file && file->ground == ground;
    }

    int ground = 0;
};

// Answers every dialog of the seam and keeps what was asked.
class Dialogs {
public:
    QStringList messages() const
    {
        QStringList out;
        for (const MessageBoxRequest& request : requests)
            out.append(request.text);
        return out;
    }

    QList<MessageBoxRequest> requests;
    QList<FileDialogRequest> fileRequests;
    QList<QStringList> fileAnswers;  // taken in turn; cancelled once used up
    QList<TextInputRequest> textRequests;
    std::optional<QString> textAnswer;
    QColor colourAnswer;
    QList<CurveAdjustRequest> adjustRequests;
    std::optional<CurveAdjustSettings> adjustAnswer;
    QList<IntegerInputRequest> integerRequests;
    std::optional<int> integerAnswer;

private:
    ScopedMessageBoxHandler messages_{[this](const MessageBoxRequest& request) {
        requests.append(request);
        return QMessageBox::Ok;
    }};
    ScopedFileDialogHandler files_{[this](const FileDialogRequest& request) {
        fileRequests.append(request);
        return fileAnswers.isEmpty() ? QStringList() : fileAnswers.takeFirst();
    }};
    ScopedTextInputHandler texts_{[this](const TextInputRequest& request) {
        textRequests.append(request);
        return textAnswer;
    }};
    ScopedIntegerInputHandler integers_{[this](const IntegerInputRequest& request) {
        integerRequests.append(request);
        return integerAnswer;
    }};
    ScopedColorDialogHandler colours_{[this](const ColorDialogRequest&) { return colourAnswer; }};
    ScopedCurveAdjustHandler adjust_{[this](const CurveAdjustRequest& request) {
        adjustRequests.append(request);
        return adjustAnswer;
    }};
};

// A closed ring of n points around (cx, cy), clockwise on the screen
// (positive area) unless reversed; the first point repeated at the end.
inline std::vector<Point2D> ring(double cx, double cy, double r, int n = 40, bool reversed = false)
{
    std::vector<Point2D> points;
    for (int i = 0; i < n; ++i) {
        const double a = 2.0 * 3.14159265358979323846 * i / n * (reversed ? -1.0 : 1.0);
        points.push_back({cx + r * std::cos(a), cy + r * std::sin(a)});
    }
    points.push_back(points.front());
    return points;
}

// A set named name of the given rings, each curve named "<name>_<k>".
inline UI::CurveSet curveSet(const std::string& name, const std::vector<std::vector<Point2D>>& lists)
{
    UI::CurveSet set(lists);
    set.setName(name);
    set.setType("kml");
    for (std::size_t k = 0; k < set.curves.size(); ++k) {
        set.curves[k].setName(name + "_" + std::to_string(k));
        set.curves[k].color = {10, 20, 30, 255};
        set.curves[k].updateInnerFromGeometry();
    }
    set.updateBoundingBoxes();
    set.resetStatistics(3);
    return set;
}

// The entry of a menu with the text, null when it has none.
inline QAction* menuEntry(const QMenu* menu, const QString& text)
{
    for (QAction* action : menu->actions()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

class CurvesWindow : public ShellTest::Shell {
protected:
    static constexpr int kSize = 120;

    void SetUp() override
    {
        Shell::SetUp();
        index = addDataSet(std::make_unique<CurveFile>(kSize, 1, "ground-one"));
        file = static_cast<CurveFile*>(window->dataFiles[index]);
        showOn(0, index);
        tree = window->ui->treeWidgetCurvesExplorer;
    }

    // Replaces the active list and rebuilds the explorer with current set.
    void setSets(const QList<UI::CurveSet>& sets, int current = -1)
    {
        window->curveSets[index] = sets;
        window->setCurvesExplorer(current);
    }

    QList<UI::CurveSet>& sets() { return window->curveSets[index]; }

    // Selects rows in the order given: (set, -1) a set row, (set, k) curve k.
    void select(const std::vector<std::pair<int, int>>& rows)
    {
        tree->clearSelection();
        for (const auto& [set, curve] : rows) {
            QTreeWidgetItem* item = tree->topLevelItem(set);
            ASSERT_NE(item, nullptr);
            if (curve >= 0)
                item = item->child(curve);
            ASSERT_NE(item, nullptr);
            item->setSelected(true);
        }
    }

    int storedIndex() { return sideValue(0, "curveExplorerStateCurrentIndex").toInt(); }

    QStringList setNames()
    {
        QStringList out;
        for (const UI::CurveSet& set : sets())
            out.append(QString::fromStdString(set.name));
        return out;
    }

    // The texts of a menu's entries (submenus by their title).
    static QStringList entries(const QMenu* menu)
    {
        QStringList out;
        for (const QAction* action : menu->actions())
            out.append(action->text());
        return out;
    }

    static QAction* entry(const QMenu* menu, const QString& text) { return menuEntry(menu, text); }

    int index = -1;
    CurveFile* file = nullptr;
    QTreeWidget* tree = nullptr;
    Dialogs dialogs;
    TaskRunner::ScopedInlineRunner inlineTasks;
};

} // namespace CurvesTest
