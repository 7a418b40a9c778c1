// Habitat plot marks on a real Sentinel-2 product: reading a plot file for
// the data set shown, the habitat and plot choices, centring, the initial
// circle around a plot and the marks drawn into the viewers.

#include <cmath>
#include <filesystem>
#include <functional>

#include <QCheckBox>
#include <QComboBox>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStatusBar>
#include <QTreeWidget>

#include "io/HabitatPlotFile.h"
#include "io/NumberText.h"
#include "io/test_jp2zip_fixture.h"
#include "test_dialogs.h"
#include "test_shell_support.h"

using ShellTest::Dialogs;
using ShellTest::Shell;

namespace {

namespace fs = std::filesystem;

constexpr int kSize = 120;

const char* kHeader = "Plot ID;Natura 2000;EUNIS;Habitat;Syntaxon;Community;Latitude;Longitude;Date;Altitude(m);"
                      "Aspect(degrees);Slope(degrees);Cover trees;Cover shrubs;Cover herbs;Locality\n";

class HabitatPlots : public Shell {
protected:
    std::string defaults() const override
    {
        std::string text = Shell::defaults();
        setWorkingSize(text, 84, 84);
        return text;
    }

    void SetUp() override
    {
        Shell::SetUp();
        open(product(500000));
        ASSERT_EQ(window->dataFiles.size(), 1);
        window->setToolDocksEnabled(true);
        fs::create_directories(cwd.path() / "habitats");
    }

    QString product(int originEasting)
    {
        const fs::path into = folder.path() / std::to_string(products_++);
        fs::create_directories(into);
        Sample::ProductSpec spec;
        spec.size = kSize;
        spec.originEasting = originEasting;
        return QString::fromStdString(Jp2ZipTest::copyOfProduct(into, spec).string());
    }

    void open(const QString& path)
    {
        dialogs.fileAnswers.append(QStringList{path});
        Jp2ZipTest::quietly([&] { window->ui->actionOpen->trigger(); });
    }

    // A plot row at a pixel position of data set 0 (positions on the
    // product's 1 m grid, a tenth of a pixel, read back exactly).
    std::string row(int number, const std::string& code, const std::string& name, double x, double y,
                    const std::string& date = "2021.6.30")
    {
        double lat = 0.0, lon = 0.0;
        window->dataFiles[0]->pixelToLatLon(x, y, &lat, &lon);
        return std::to_string(number) + ";" + code + ";E1;" + name + ";syn;com;" + IO::formatFixed(lat, 12) + ";" +
               IO::formatFixed(lon, 12) + ";" + date + ";450.5;180;12;10;20;70;meadow\n";
    }

    QString writePlots(const std::string& name, const std::string& body)
    {
        const fs::path path = cwd.path() / "habitats" / name;
        TestSupport::writeFile(path.string(), kHeader + body);
        return QString::fromStdString(path.string());
    }

    QStringList items(QComboBox* combo)
    {
        QStringList out;
        for (int k = 0; k < combo->count(); ++k)
            out.append(combo->itemText(k));
        return out;
    }

    FenlarkAppUI& ui() { return *window->ui; }

    Dialogs dialogs;
    TestSupport::TempDir folder;
    int products_ = 0;
};

} // namespace

TEST_F(HabitatPlots, PlotsInsideTheDataSetAreReadAtTheirPixels)
{
    const std::string body = row(1, " 6510 ", "Lowland hay meadows", 30.2, 40.8) +
                             row(2, "9110", "Beech forests", 70.0, 12.5, "30.06.2021") +
                             row(3, "6510", "Another name", 55.5, 90.0) +
                             "4;6510;E1;x;s;c;0.0;0.0;2021.6.30;1;2;3;4;5;6;sea\n"; // not on the tile
    const QString path = writePlots("plots.csv", body);
    QSignalSpy plotChanges(ui().comboBoxHabitatPlot.data(), &QComboBox::currentIndexChanged);
    window->loadHabitatPlots(path, 0);

    EXPECT_TRUE(dialogs.requests.isEmpty());
    ASSERT_EQ(window->habitatPlots.size(), 2);
    const HabitatPlotGroup& meadows = window->habitatPlots["6510"];
    EXPECT_EQ(meadows.habitatName, "Lowland hay meadows"); // the first row's name is kept
    ASSERT_EQ(meadows.plots.size(), 2);
    EXPECT_NEAR(meadows.plots[0].pixelX, 30.2, 1e-6);
    EXPECT_NEAR(meadows.plots[0].pixelY, 40.8, 1e-6);
    EXPECT_NEAR(meadows.plots[1].pixelX, 55.5, 1e-6);
    EXPECT_NEAR(meadows.plots[1].pixelY, 90.0, 1e-6);
    const HabitatPlot& first = meadows.plots[0];
    EXPECT_EQ(first.plotNumber, 1);
    EXPECT_EQ(first.date, QDate(2021, 6, 30));
    EXPECT_DOUBLE_EQ(first.altitude, 450.5);
    EXPECT_DOUBLE_EQ(first.herbCover, 70.0);
    EXPECT_EQ(first.locality, "meadow");
    // Day first gives no date.
    EXPECT_FALSE(window->habitatPlots["9110"].plots[0].date.isValid());

    EXPECT_EQ(items(ui().comboBoxHabitat), QStringList({"6510", "9110"}));
    EXPECT_EQ(items(ui().comboBoxHabitatPlot), QStringList({"1", "3"}));
    EXPECT_EQ(plotChanges.count(), 0); // a refill never centres the view
}

TEST_F(HabitatPlots, FaultyRowsAreSkippedAndReportedOncePerContent)
{
    const std::string body = row(1, "6510", "Meadows", 30, 40) + "\n" + // a blank line
                             "2;6510;E1;Meadows;s;c;48.1\n" +            // 7 fields
                             "3;6510;E1;Meadows;s;c;x;16.2;2021.1.1;1;2;3;4;5;6;l\n" + row(4, "6510", "Meadows", 50, 60);
    const QString path = writePlots("plots.csv", body);
    window->loadHabitatPlots(path, 0);
    EXPECT_EQ(window->habitatPlots["6510"].plots.size(), 2);
    EXPECT_TRUE(dialogs.requests.isEmpty()) << "no modal box for skipped rows";
    const QString reported = ui().statusBar->currentMessage();
    EXPECT_TRUE(reported.contains("line 4: 7 fields instead of 16")) << reported.toStdString();
    EXPECT_TRUE(reported.contains("line 5: latitude is no number")) << reported.toStdString();

    // Read again (a side switch does): the same file is not reported again.
    ui().statusBar->clearMessage();
    window->loadHabitatPlots(path, 0);
    EXPECT_TRUE(ui().statusBar->currentMessage().isEmpty());
    EXPECT_EQ(window->habitatPlots["6510"].plots.size(), 2);
}

TEST_F(HabitatPlots, FailedLoadsLeaveNoCodeWithoutPlots)
{
    window->loadHabitatPlots(writePlots("good.csv", row(1, "6510", "Meadows", 30, 40)), 0);
    ASSERT_EQ(ui().comboBoxHabitat->count(), 1);

    struct Case {
        const char* name;
        QString path;
        QStringList messages;
    };
    const fs::path bad = cwd.path() / "habitats" / "header.csv";
    TestSupport::writeFile(bad.string(), "a;b;c\n" + row(1, "6510", "Meadows", 30, 40));
    const Case cases[] = {
        {"missing file", QString::fromStdString((cwd.path() / "habitats" / "none.csv").string()),
         {"Unable to open habitat plot file."}},
        {"header of 3 fields", QString::fromStdString(bad.string()),
         {"The csv habitat plot file has incorrect header structure."}},
        {"no plot on the tile", writePlots("far.csv", "1;6510;E1;M;s;c;10;10;2021.1.1;1;2;3;4;5;6;l\n"), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        window->loadHabitatPlots(writePlots("good.csv", row(1, "6510", "Meadows", 30, 40)), 0);
        dialogs.requests.clear();
        window->loadHabitatPlots(c.path, 0);
        EXPECT_EQ(dialogs.messageTexts(), c.messages);
        EXPECT_TRUE(window->habitatPlots.isEmpty());
        EXPECT_EQ(ui().comboBoxHabitat->count(), 0);
        EXPECT_EQ(ui().comboBoxHabitatPlot->count(), 0);
        // Nothing to centre on or to draw a circle around.
        window->centerOnHabitatPlot();
        window->initCircleFromHabitatPlot();
        EXPECT_TRUE(window->activeCurveSets().isEmpty());
    }
    // An index that names no data set gives an empty table.
    window->loadHabitatPlots(writePlots("good.csv", row(1, "6510", "Meadows", 30, 40)), 0);
    window->loadHabitatPlots(writePlots("good.csv", row(1, "6510", "Meadows", 30, 40)), 5);
    EXPECT_TRUE(window->habitatPlots.isEmpty());
}

TEST_F(HabitatPlots, ChoosingAPlotCentresOnItsRoundedPixel)
{
    UI::ViewerWidget* main = viewer(0);
    setViewport(main, QSize(40, 40));
    main->zoomStep(QPointF(0, 0), 3);
    window->refreshAllViewers(); // the image takes the viewport's size
    window->loadHabitatPlots(writePlots("plots.csv", row(7, "6510", "Meadows", 30, 40) + row(8, "6510", "M", 70, 60)),
                             0);
    // The second plot at (10.5, 20.49) centres on (11, 20).
    window->habitatPlots["6510"].plots[1].pixelX = 10.5;
    window->habitatPlots["6510"].plots[1].pixelY = 20.49;
    ui().comboBoxHabitatPlot->setCurrentIndex(1);
    const QPoint centred = main->origin;

    UI::ViewerWidget expected(0, 0, "viewerWidgetMain", 0);
    expected.viewportSize = main->viewportSize;
    expected.zoom = main->zoom;
    expected.zoomIndex = main->zoomIndex;
    expected.imageWidth = main->imageWidth;
    expected.imageHeight = main->imageHeight;
    expected.centerOn(11, 20);
    EXPECT_EQ(centred, expected.origin);
    expected.centerOn(10, 20);
    EXPECT_NE(centred, expected.origin) << "the fixture cannot tell the rounding apart";

    // A stale choice (-1 after a clear) moves nothing.
    main->centerOn(60, 60);
    const QPoint before = main->origin;
    ui().comboBoxHabitatPlot->setCurrentIndex(-1);
    window->centerOnHabitatPlot();
    EXPECT_EQ(main->origin, before);
}

TEST_F(HabitatPlots, InitialCircleSurroundsTheChosenPlot)
{
    window->loadHabitatPlots(writePlots("plots.csv", row(1, "6510", "Meadows", 40.3, 45.6)), 0);
    ui().spinBoxInitCircleRadius->setValue(9);
    ASSERT_EQ(ui().comboBoxHabitatPlot->currentIndex(), 0);
    window->initCircleFromHabitatPlot();

    const QList<UI::CurveSet>& sets = window->activeCurveSets();
    ASSERT_EQ(sets.size(), 1);
    ASSERT_EQ(sets[0].curves.size(), 1u);
    const UI::Curve& circle = sets[0].curves[0];
    EXPECT_TRUE(circle.closed);
    EXPECT_EQ(circle.segmType, "initCurve");
    ASSERT_GT(circle.points().size(), 8u);
    for (const Point2D& p : circle.points())
        EXPECT_NEAR(std::hypot(p.x - 40.3, p.y - 45.6), 9.0, 0.5);
    // The mode ended with the circle.
    EXPECT_FALSE(ui().initCircleMode);
    EXPECT_TRUE(ui().dockWidgetData->isEnabled());
}

TEST_F(HabitatPlots, MarksAreDrawnOnlyOverTheirDataSet)
{
    UI::ViewerWidget* main = viewer(0);
    window->loadHabitatPlots(writePlots("plots.csv", row(1, "6510", "M", 30, 40) + row(2, "6510", "M", 80, 70)), 0);
    ui().comboBoxHabitatPlot->setCurrentIndex(1);
    ui().spinBoxPlotWidth->setValue(4);
    main->resetView();
    window->refreshAllViewers();
    ASSERT_DOUBLE_EQ(main->zoom, 1.0);
    const QColor mark(255, 0, 255), chosen(0, 255, 0);
    EXPECT_EQ(QColor(main->image->pixel(30, 40)), mark);
    EXPECT_EQ(QColor(main->image->pixel(80, 70)), chosen);

    ui().checkBoxShowHabitatPlots->setChecked(false);
    EXPECT_NE(QColor(main->image->pixel(30, 40)), mark);
    ui().checkBoxShowHabitatPlots->setChecked(true);

    // Another tile shown on the side: its pixels are other places.
    open(product(600000));
    ASSERT_EQ(window->dataFiles.size(), 2);
    window->habitatPlotsDataSet = window->dataFiles[0];
    showOn(0, 1);
    window->refreshAllViewers();
    EXPECT_NE(QColor(main->image->pixel(30, 40)), mark);
    EXPECT_NE(QColor(main->image->pixel(80, 70)), chosen);
}

TEST_F(HabitatPlots, RemovingTheDataSetEmptiesTheTable)
{
    window->loadHabitatPlots(writePlots("plots.csv", row(1, "6510", "M", 30, 40)), 0);
    ASSERT_FALSE(window->habitatPlots.isEmpty());
    window->refreshDataExplorer(0);
    ui().treeWidgetDataExplorer->topLevelItem(0)->setSelected(true);
    window->dataRemoveAction_triggered();
    EXPECT_TRUE(window->dataFiles.isEmpty());
    EXPECT_TRUE(window->habitatPlots.isEmpty());
    EXPECT_EQ(window->habitatPlotsDataSet, nullptr);
    EXPECT_EQ(ui().comboBoxHabitat->count(), 0);
}

// The plot file is read whole each time a product is shown. A file above the
// reader's ceilings (bytes, plot lines, fields) is refused with a message
// before it is read or split: a sparse file a byte over the size, a line
// more than the plots, a header of more fields than all plots may have. The
// product is opened, then shown from the data explorer.
TEST_F(HabitatPlots, FilesBeyondTheReadersCeilingsAreRefusedWhenAProductIsShown)
{
    namespace Plots = IO::HabitatPlotFile;
    struct Case {
        const char* name;
        std::function<void(const fs::path&)> write;
    };
    const Case cases[] = {
        {"a byte over the size",
         [](const fs::path& path) {
             TestSupport::writeFile(path.string(), kHeader);
             fs::resize_file(path, Plots::maxFileBytes + 1);
         }},
        {"a plot line too many",
         [](const fs::path& path) {
             std::string text = kHeader;
             for (std::size_t i = 0; i <= Plots::maxRows; ++i)
                 text += "x\n";
             TestSupport::writeFile(path.string(), text);
         }},
        {"a field too many", [](const fs::path& path) {
             TestSupport::writeFile(path.string(), std::string(Plots::maxFields, ';') + "\n");
         }},
    };
    const QString tooLarge = "The habitat plot file is too large: it may have at most 64 MiB, 100000 lines and 2000000 "
                             "fields.";
    QTreeWidget* explorer = ui().treeWidgetDataExplorer;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(cwd.path() / "habitats");
        fs::create_directories(cwd.path() / "habitats");
        c.write(cwd.path() / "habitats" / "plots.csv");
        open(product(500000));
        const int last = explorer->topLevelItemCount() - 1;
        ASSERT_EQ(last + 1, window->dataFiles.size());
        dialogs.requests.clear();

        const TestSupport::PeakMemory memory;
        Jp2ZipTest::quietly([&] { emit explorer->itemDoubleClicked(explorer->topLevelItem(last), 1); });
        EXPECT_LT(memory.peakGrowthKilobytes(), 32L * 1024);
        EXPECT_EQ(ui().leftDataIndex, last);
        EXPECT_EQ(dialogs.messageTexts(), QStringList{tooLarge});
        EXPECT_TRUE(window->habitatPlots.isEmpty());
        EXPECT_EQ(ui().comboBoxHabitat->count(), 0);
    }
}
