// Opening the orthomosaic under a square drawn on a Sentinel-2 image in
// Prague: the square in the orthomosaic mode, the rectangle it becomes in
// Krovak metres, the search-area curve set, and the pyramid data set that
// joins the explorer, or the message that tells why none did.

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <optional>
#include <string>

#include <QAction>
#include <QDockWidget>
#include <QMenuBar>
#include <QSettings>
#include <QToolBar>
#include <QTreeWidget>

#include "io/Krovak.h"
#include "io/NumberText.h"
#include "io/OrthoMosaicBinFile.h"
#include "io/test_jp2zip_fixture.h"
#include "io/test_orthomosaic_lots.h"
#include "test_dialogs.h"
#include "test_shell_support.h"
#include "tools/TaskRunner.h"

using ShellTest::Dialogs;
using ShellTest::Shell;

namespace {

namespace fs = std::filesystem;

constexpr int kSize = 120;
constexpr int kWindow = 84;

// Krovak X and Y of a pixel of a data set through its latitude and longitude.
std::optional<std::array<double, 2>> krovakOfPixel(IO::File& file, Point2D p)
{
    const std::string text = file.latLonText(p.x, p.y);
    const std::size_t comma = text.find(',');
    if (comma == std::string::npos)
        return std::nullopt;
    const std::optional<double> lat = IO::parseDouble(text.substr(0, comma));
    const std::optional<double> lon = IO::parseDouble(text.substr(comma + 1));
    if (!lat || !lon)
        return std::nullopt;
    std::array<double, 2> out{};
    std::optional<IO::KrovakReferences> references;
    TestSupport::quietly([&] { references.emplace(); });
    if (!references->toKrovak(*lat, *lon, out[0], out[1]))
        return std::nullopt;
    return out;
}

class OrthoArea : public Shell {
protected:
    std::string defaults() const override
    {
        std::string text = Shell::defaults();
        setWorkingSize(text, workingWidth, kWindow);
        return text;
    }

    void SetUp() override
    {
        Shell::SetUp();
        window->mouseTimer.now = [this] { return clock; };
        Sample::ProductSpec spec;
        spec.size = kSize;
        spec.originEasting = 459000;  // Prague, UTM zone 33 north
        spec.originNorthing = 5548000;
        fs::create_directories(folder.path() / "product");
        const fs::path archive = Jp2ZipTest::copyOfProduct(folder.path() / "product", spec);
        dialogs.fileAnswers.append(QStringList{QString::fromStdString(archive.string())});
        Jp2ZipTest::quietly([&] { window->ui->actionOpen->trigger(); });
        ASSERT_EQ(window->dataFiles.size(), 1);
        window->setToolDocksEnabled(true);
        window->settings.remove("orthoManager/exportDirectoryPath");
    }

    // A map index of one sheet whose lots lie around pixel p of the image,
    // every lot with a file (headers only) in the lot folder.
    void writePyramidAround(Point2D p)
    {
        const std::optional<std::array<double, 2>> centre = krovakOfPixel(*window->dataFiles[0], p);
        ASSERT_TRUE(centre);
        sheetX = std::floor((*centre)[0] / 2500.0) * 2500.0 - 4 * 2500.0;
        sheetY = std::floor((*centre)[1] / 2000.0) * 2000.0 + 5 * 2000.0;
        OrthoLots::writeText(cwd.path() / "orthomosaicMap.ini",
                             "1;1\nP;0;0;" + IO::formatNumber(sheetX) + ";" + IO::formatNumber(sheetY) + "\n");
        fs::create_directories(lots);
        for (int c = 0; c < 10; ++c)
            for (int r = 0; r < 10; ++r)
                OrthoLots::writeLot(OrthoLots::lotPath(lots, "P_" + std::to_string(c) + "-" + std::to_string(r)),
                                    sheetX + (9 - c) * 2500.0, sheetY - r * 2000.0);
    }

    void useLotFolder() { window->settings.setValue("orthoManager/exportDirectoryPath", QString::fromStdString(lots.string())); }

    UI::ViewerWidget* main() { return viewer(0); }
    static QPointF at(const UI::ViewerWidget* target, Point2D p)
    {
        return {(p.x - target->origin.x()) * target->zoom, (p.y - target->origin.y()) * target->zoom};
    }
    void send(QEvent::Type type, QPointF position, Qt::MouseButton button, Qt::MouseButtons buttons)
    {
        QMouseEvent event(type, position, main()->mapToGlobal(position), button, buttons, Qt::NoModifier);
        Jp2ZipTest::quietly([&] { QCoreApplication::sendEvent(main(), &event); });
    }
    void click(Point2D p)
    {
        send(QEvent::MouseButtonPress, at(main(), p), Qt::LeftButton, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, at(main(), p), Qt::LeftButton, Qt::NoButton);
    }
    void move(Point2D p) { send(QEvent::MouseMove, at(main(), p), Qt::NoButton, Qt::NoButton); }
    void rightPress() { send(QEvent::MouseButtonPress, QPointF(5, 5), Qt::RightButton, Qt::RightButton); }

    // Load files, the anchor, the square's corner, the closing click.
    void drawSquare(Point2D centre, Point2D corner)
    {
        window->on_action_Ortho_Load_files_triggered();
        click(centre);
        move(corner);
        click(corner);
    }

    // The mode is over and the window is the user's again.
    void expectModeEnded()
    {
        FenlarkAppUI& ui = *window->ui;
        EXPECT_FALSE(ui.action_Ortho_Load_files->isChecked());
        EXPECT_FALSE(ui.initSquareMode);
        EXPECT_FALSE(ui.workingAreaLocked);
        EXPECT_DOUBLE_EQ(ui.shapeAnchor.x, -1.0);
        EXPECT_TRUE(window->pathPoints.empty());
        EXPECT_TRUE(ui.dockWidgetData->isEnabled() && ui.dockWidgetCurves->isEnabled() && ui.menuBar->isEnabled()
                    && ui.mainToolBar->isEnabled());
    }

    QStringList explorerRows()
    {
        QStringList rows;
        QTreeWidget* tree = window->ui->treeWidgetDataExplorer;
        for (int i = 0; i < tree->topLevelItemCount(); ++i)
            rows.append(tree->topLevelItem(i)->text(1));
        return rows;
    }

    int workingWidth = 1002;
    TestSupport::TempDir folder;
    fs::path lots = folder.path() / "lots";
    double sheetX = 0.0;
    double sheetY = 0.0;
    qint64 clock = 1000;
    Dialogs dialogs;
    TaskRunner::ScopedInlineRunner inlineTasks;
};

class OrthoAreaWideWindow : public OrthoArea {
protected:
    OrthoAreaWideWindow() { workingWidth = 20000; }
};

TEST_F(OrthoAreaWideWindow, TheSquaresGroundOpensAsTheLastDataSetWithAFittedWorkingWindow)
{
    const Point2D centre{60.0, 60.0};
    writePyramidAround(centre);
    useLotFolder();
    drawSquare(centre, {80.0, 70.0});
    expectModeEnded();
    EXPECT_TRUE(dialogs.messageTexts().isEmpty()) << dialogs.messageTexts().join("; ").toStdString();

    // The search area stays with the image.
    ASSERT_EQ(window->curveSets[0].size(), 1);
    const UI::CurveSet& area = window->curveSets[0][0];
    EXPECT_EQ(area.name, "OrthoMosaic search area");
    EXPECT_EQ(area.type, "kml");
    ASSERT_EQ(area.curves.size(), 1u);
    EXPECT_EQ(area.curves[0].segmType, "initCurve");
    EXPECT_TRUE(area.curves[0].closed);
    EXPECT_EQ(window->curveSetCounter, 1);

    // The rectangle is the box of all four corners: the Krovak grid is turned
    // against the image's, so two opposite corners would cut it short.
    const std::vector<Point2D>& square = area.curves[0].points();
    ASSERT_GE(square.size(), 4u);
    std::array<double, 4> box{1e300, -1e300, -1e300, 1e300};
    std::vector<std::array<double, 2>> corners;
    for (std::size_t i = 0; i < 4; ++i) {
        const std::optional<std::array<double, 2>> k = krovakOfPixel(*window->dataFiles[0], square[i]);
        ASSERT_TRUE(k);
        corners.push_back(*k);
        box = {std::min(box[0], (*k)[0]), std::max(box[1], (*k)[1]), std::max(box[2], (*k)[0]),
               std::min(box[3], (*k)[1])};
    }
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(window->orthoAreaCorners[i], box[i], 1e-6) << i;
    EXPECT_GT((box[2] - box[0]) - std::abs(corners[2][0] - corners[0][0]), 10.0);

    ASSERT_EQ(window->dataFiles.size(), 2);
    EXPECT_EQ(window->curveSets.size(), 2);
    EXPECT_EQ(window->relevancyMaps.size(), 2);
    EXPECT_EQ(explorerRows().last(), "Orthomosaic");
    auto* mosaic = dynamic_cast<IO::OrthoMosaicBinFile*>(window->dataFiles[1]);
    ASSERT_NE(mosaic, nullptr);
    EXPECT_EQ(mosaic->dataType, "OrthoMosaic tif image");
    EXPECT_EQ(mosaic->directory, lots.string());
    // A window wider than the mosaic shrinks inside it; the height fits.
    EXPECT_EQ(mosaic->workAreaWidth, mosaic->width - 24);
    EXPECT_EQ(mosaic->workAreaHeight, kWindow);
    EXPECT_EQ(window->ui->leftDataIndex, 0) << "the new data set is not shown";
}

TEST_F(OrthoArea, WithoutAnExportFolderTheAreaIsKeptAndNothingOpens)
{
    writePyramidAround({60.0, 60.0});
    drawSquare({60.0, 60.0}, {70.0, 66.0});
    expectModeEnded();
    EXPECT_EQ(dialogs.messageTexts(), QStringList({"Select export directory path in Orthomosaic Manager "}));
    EXPECT_EQ(dialogs.requests.last().icon, 2);
    EXPECT_EQ(window->dataFiles.size(), 1);
    ASSERT_EQ(window->curveSets[0].size(), 1);
    EXPECT_EQ(window->curveSets[0][0].name, "OrthoMosaic search area");
}

TEST_F(OrthoArea, AnAreaOffTheMapOrOnBrokenLotsIsReported)
{
    // The map's only sheet lies 100 km east of the square.
    writePyramidAround({60.0, 60.0});
    OrthoLots::writeText(cwd.path() / "orthomosaicMap.ini",
                         "1;1\nP;0;0;" + IO::formatNumber(sheetX + 100000.0) + ";" + IO::formatNumber(sheetY) + "\n");
    useLotFolder();
    drawSquare({60.0, 60.0}, {70.0, 66.0});
    expectModeEnded();
    EXPECT_EQ(dialogs.messageTexts(), QStringList({"Unavailable orthomosaic data for chosen area. "}));
    EXPECT_EQ(window->dataFiles.size(), 1);

    // On the map, but its lots are no lot files.
    writePyramidAround({60.0, 60.0});
    for (const auto& entry : fs::directory_iterator(lots))
        TestSupport::writeFile(entry.path().string(), "not a lot file at all");
    drawSquare({60.0, 60.0}, {70.0, 66.0});
    EXPECT_EQ(dialogs.messageTexts().last(), "OrthoMosaicBinFile error with loading ");
    EXPECT_EQ(window->dataFiles.size(), 1);
    EXPECT_EQ(window->curveSets[0].size(), 2);
}

TEST_F(OrthoArea, WithoutASquareTheModeEndsAndNothingLoads)
{
    writePyramidAround({60.0, 60.0});
    useLotFolder();
    const std::array<double, 4> before{-1.0, -2.0, -3.0, -4.0};
    window->orthoAreaCorners = before;

    // A right press before the square was drawn.
    window->on_action_Ortho_Load_files_triggered();
    EXPECT_TRUE(window->ui->action_Ortho_Load_files->isChecked());
    rightPress();
    expectModeEnded();

    // A curve of fewer than four points (the square mode never makes one).
    window->on_action_Ortho_Load_files_triggered();
    window->workingCurveSet.curves[0].appendPoints({{50.0, 50.0}, {70.0, 50.0}, {70.0, 70.0}});
    Jp2ZipTest::quietly([&] { window->loadOrthoMosaicArea(); });
    expectModeEnded();

    EXPECT_TRUE(dialogs.messageTexts().isEmpty());
    EXPECT_EQ(window->dataFiles.size(), 1);
    EXPECT_TRUE(window->curveSets[0].isEmpty());
    EXPECT_EQ(window->orthoAreaCorners, before);
}

// A square whose corners have no place on the ground keeps its search area
// and says that no orthomosaic data lie there; nothing is loaded.
TEST_F(OrthoArea, ASquareOnAnImageWithoutPositionsIsKeptAndToldUnavailable)
{
    writePyramidAround({60.0, 60.0});
    useLotFolder();
    // A data set with no geographic position: no corner can be converted.
    const int index = addDataSet(ShellTest::makeDataSet(kSize, kSize, 3, kWindow));
    showOn(0, index);
    window->on_action_Ortho_Load_files_triggered();
    window->workingCurveSet.curves[0].appendPoints({{50.0, 50.0}, {71.0, 50.0}, {71.0, 71.0}, {50.0, 71.0}, {50.0, 50.0}});
    Jp2ZipTest::quietly([&] { window->loadOrthoMosaicArea(); });
    expectModeEnded();
    ASSERT_EQ(dialogs.messageTexts(), QStringList{"Unavailable orthomosaic data for chosen area. "});
    EXPECT_EQ(dialogs.requests.last().icon, 2);
    EXPECT_EQ(window->dataFiles.size(), 2);
    ASSERT_EQ(window->curveSets[index].size(), 1);
    EXPECT_EQ(window->curveSets[index][0].name, "OrthoMosaic search area");
}

} // namespace
