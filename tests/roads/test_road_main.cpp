// The main road of a user, from start to finish on one product of bright
// discs on a darker ground: File > Open, the colour display, the filtering
// page's features, an initial circle drawn with the mouse inside a disc,
// Evolve onto the disc's edge, the last curve set saved as KML and read by
// OGR, the KML loaded again, and the statistics window measuring it. Every
// check compares with what the product writer drew or with GDAL/OGR reading
// the written file.

#include <cmath>
#include <memory>
#include <vector>

#include <QCheckBox>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <gdal_priv.h>
#include <ogr_geometry.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include "forms/StatisticsWindowForm.h"
#include "road1_support.h"
#include "windows/StatisticsWindow.h"

namespace {

using namespace Road1;

constexpr int kSize = 120;    // the product's working grid
constexpr int kWindow = 96;   // the working window, a part of the grid

// Even-odd test of a pixel centre against a closed polygon.
bool centreInside(const std::vector<QPointF>& polygon, double x, double y)
{
    bool inside = false;
    for (std::size_t i = 0, j = polygon.size() - 1; i < polygon.size(); j = i++) {
        const QPointF& a = polygon[i];
        const QPointF& b = polygon[j];
        if ((a.y() > y) != (b.y() > y) && x < (b.x() - a.x()) * (y - a.y()) / (b.y() - a.y()) + a.x())
            inside = !inside;
    }
    return inside;
}

class MainRoad : public RoadShell {
protected:
    int workingSize() const override { return kWindow; }

    QList<UI::CurveSet>& sets() { return window->activeCurveSets(); }

    QRect workingWindow(int side = 0)
    {
        return QRect(file()->getWorkAreaX(side), file()->getWorkAreaY(side), file()->workAreaWidth,
                     file()->workAreaHeight);
    }
};

TEST_F(MainRoad, OpenSegmentSaveLoadAndMeasureADisc)
{
    const Sample::SceneDisc disc = Sample::sceneDiscs(kSize)[0];
    const Sample::ProductSpec spec = shapesProduct(kSize);

    // --- File > Open; the product shows in colour on the left.
    openThroughFileMenu(product(spec));
    ASSERT_EQ(dialogs.fileRequests.size(), 1);
    EXPECT_TRUE(dialogs.fileRequests[0].filter.contains("*.zip")) << dialogs.fileRequests[0].filter.toStdString();
    EXPECT_TRUE(dialogs.messageTexts().isEmpty()) << dialogs.messageTexts().join("|").toStdString();
    ASSERT_EQ(window->dataFiles.size(), 1);
    ASSERT_EQ(ui().leftDataIndex, 0);
    ASSERT_EQ(file()->width, kSize);
    UI::ViewerWidget* main = viewer(0);
    ASSERT_NE(main, nullptr);
    ASSERT_FALSE(main->isEmpty());
    {
        // Every band of the colour display shows the shapes: bright there,
        // dark on the ground.
        const std::vector<Probe> sure = sureProbes(main, kSize, 2.0, QRect(0, 0, kSize, kSize));
        int bright = 0;
        for (const Probe& p : sure) {
            const QRgb c = colourAt(main, p.x, p.y);
            bright += p.bright;
            for (int channel : {qRed(c), qGreen(c), qBlue(c)}) {
                if (p.bright)
                    ASSERT_GT(channel, 200) << p.x << "," << p.y << " zoom " << main->zoom << " image "
                                            << main->image->width() << "x" << main->image->height();
                else
                    ASSERT_LT(channel, 100) << p.x << "," << p.y;
            }
        }
        ASSERT_GT(bright, 20);
        ASSERT_GT(static_cast<int>(sure.size()) - bright, 20);
    }
    const QRect window0 = workingWindow();
    ASSERT_TRUE(window0.contains(QRect(QPoint(int(disc.centerX - disc.radius) - 2, int(disc.centerY - disc.radius) - 2),
                                       QPoint(int(disc.centerX + disc.radius) + 2, int(disc.centerY + disc.radius) + 2))))
        << "the disc lies in the working window";

    // --- Filtering page: every feature, with every filter its entry takes,
    // shows a picture of the working window on this colour side.
    struct FeatureCase {
        const char* feature;
        const char* filter;
        bool edges;  // an edge detector: grey, dark on the outlines, light where flat
    };
    const FeatureCase features[] = {
        {"Filtered img", "Linear", false},
        {"Filtered img", "Nonlinear", false},
        {"Filtered img", "Geometric-MCF", false},
        {"Edge detector for Nonlinear diffusion", "Nonlinear", true},
    };
    for (const FeatureCase& c : features) {
        SCOPED_TRACE(std::string(c.feature) + " / " + c.filter);
        choose(ui().comboBoxFilterType, c.filter);
        choose(ui().comboBoxFilterFeature, c.feature);
        click(ui().pushButtonFilterFeatureShow);
        EXPECT_TRUE(dialogs.messageTexts().isEmpty()) << dialogs.messageTexts().join("|").toStdString();
        UI::ViewerWidget* tools = viewer(0, "viewerWidgetToolsFeature");
        ASSERT_NE(tools, nullptr);
        ASSERT_FALSE(tools->isEmpty());
        EXPECT_EQ(ui().pushButtonFilterFeatureShow->text(), "Hide feature");
        const std::vector<Probe> sure = sureProbes(tools, kSize, 4.0, workingWindow());
        ASSERT_GT(sure.size(), 20u);
        int light = 0;
        for (const Probe& p : sure) {
            const QRgb colour = colourAt(tools, p.x, p.y);
            if (c.edges) {
                ASSERT_TRUE(qRed(colour) == qGreen(colour) && qGreen(colour) == qBlue(colour))
                    << "a one-band feature is grey: " << p.x << "," << p.y;
                light += luminance(colour) > 128;
            } else if (p.bright) {
                ASSERT_GT(luminance(colour), 160) << p.x << "," << p.y;
            } else {
                ASSERT_LT(luminance(colour), 100) << p.x << "," << p.y;
            }
        }
        if (c.edges) {
            // Flat everywhere the probes are; the disc's outline is an edge.
            EXPECT_EQ(light, static_cast<int>(sure.size()));
            const int ex = static_cast<int>(disc.centerX + disc.radius);
            const int ey = static_cast<int>(disc.centerY);
            EXPECT_LT(luminance(colourAt(tools, ex, ey)) + 40, luminance(colourAt(tools, int(disc.centerX), ey)));
        }
        click(ui().pushButtonFilterFeatureShow);  // hides it again
        ASSERT_EQ(viewer(0, "viewerWidgetToolsFeature"), nullptr);
    }
    dialogs.requests.clear();

    // --- An initial circle inside the disc, drawn with the mouse.
    main = viewer(0);
    click(ui().pushButtonAutoInitCircle);
    ASSERT_TRUE(ui().initCircleMode);
    clickAt(main, {disc.centerX, disc.centerY});
    moveTo(main, {disc.centerX + 6.0, disc.centerY});
    clickAt(main, {disc.centerX + 6.0, disc.centerY});
    ASSERT_FALSE(ui().initCircleMode);
    ASSERT_EQ(sets().size(), 1);
    ASSERT_EQ(sets()[0].curves.size(), 1u);
    const Fit initial = fitToCircle(sets()[0].curves[0].points(), {disc.centerX, disc.centerY, 6.0});
    EXPECT_LT(initial.worst, 1.0) << "the circle is where the mouse drew it";

    // --- Evolve until the curve holds on the disc's edge.
    typeInto(ui().spinBoxAutoTotalSteps, "400");
    typeInto(ui().spinBoxAutoExportInterval, "200");
    if (ui().checkBoxAutoAutoStop->isChecked()) {
        ui().checkBoxAutoAutoStop->setFocus();
        QTest::keyClick(ui().checkBoxAutoAutoStop, Qt::Key_Space);
    }
    ASSERT_FALSE(ui().checkBoxAutoAutoStop->isChecked());
    click(ui().pushButtonAutoEvolve);
    EXPECT_TRUE(dialogs.messageTexts().isEmpty()) << dialogs.messageTexts().join("|").toStdString();
    ASSERT_EQ(sets().size(), 3) << "the initial circle and the states at steps 200 and 400";
    const UI::CurveSet evolved = sets().back();
    ASSERT_EQ(evolved.curves.size(), 1u);
    const Fit reached = fitToCircle(evolved.curves[0].points(), disc);
    EXPECT_LT(reached.mean, 1.0) << "mean distance to the disc's edge";
    EXPECT_LT(reached.worst, 2.0);

    // --- Save the last set as KML through the explorer's menu.
    QTreeWidget* explorer = ui().treeWidgetCurvesExplorer;
    clickRow(explorer, static_cast<int>(sets().size()) - 1);
    const fs::path saved = folder.path() / "disc";
    dialogs.fileAnswers.append(QStringList{QString::fromStdString(saved.string())});
    contextMenuEntry(explorer, "Save curve set as...");
    ASSERT_EQ(dialogs.fileRequests.size(), 2);
    EXPECT_EQ(dialogs.fileRequests[1].directory.toStdString(), evolved.name)
        << "with no folder used yet the set's bare name is proposed";
    EXPECT_TRUE(dialogs.messageTexts().isEmpty()) << dialogs.messageTexts().join("|").toStdString();
    const fs::path kml = folder.path() / "disc.kml";
    ASSERT_TRUE(fs::exists(kml));

    // OGR reads the disc the writer drew, within a pixel.
    const KmlRing ring = readKmlRing(kml, spec.epsg, spec.originEasting, spec.originNorthing);
    EXPECT_EQ(ring.features, 1);
    ASSERT_GT(ring.points.size(), 12u);
    const double radius = std::sqrt(ring.areaSquareMetres / M_PI) / 10.0;
    EXPECT_NEAR(radius, disc.radius, 1.0);
    EXPECT_NEAR(ring.centroid.x(), disc.centerX, 1.0);
    EXPECT_NEAR(ring.centroid.y(), disc.centerY, 1.0);

    // --- Load it again: a new set with the same curve.
    dialogs.fileAnswers.append(QStringList{QString::fromStdString(kml.string())});
    contextMenuEntry(explorer, "Load curves");
    EXPECT_TRUE(dialogs.messageTexts().isEmpty()) << dialogs.messageTexts().join("|").toStdString();
    ASSERT_EQ(sets().size(), 4);
    const UI::CurveSet loaded = sets().back();
    EXPECT_EQ(loaded.name, "disc");
    ASSERT_EQ(loaded.curves.size(), 1u);
    const std::vector<Point2D>& before = evolved.curves[0].points();
    const std::vector<Point2D>& after = loaded.curves[0].points();
    ASSERT_EQ(after.size(), before.size());
    // The file holds each point at its whole UTM metres (truncated), so the
    // loaded point is that metre's pixel position.
    for (std::size_t i = 0; i < after.size(); ++i) {
        const double easting = std::trunc(spec.originEasting + before[i].x * 10.0);
        const double northing = std::trunc(spec.originNorthing - before[i].y * 10.0);
        ASSERT_NEAR(after[i].x, (easting - spec.originEasting) / 10.0, 1e-6) << i;
        ASSERT_NEAR(after[i].y, (spec.originNorthing - northing) / 10.0, 1e-6) << i;
    }

    // --- The statistics window measures the loaded set.
    click(ui().pushButtonShowStatistics);
    QPointer<StatisticsWindow> statistics = openWindow<StatisticsWindow>();
    ASSERT_FALSE(statistics.isNull());
    QListWidget* setList = statistics->ui->listWidgetStatisticsCurves;
    ASSERT_EQ(setList->count(), 4);
    click(statistics->ui->pushButtonStatisticsUnselectAllCurves);
    ASSERT_TRUE(setList->selectedItems().isEmpty());
    const QRect row = setList->visualItemRect(setList->item(3));
    QTest::mouseClick(setList->viewport(), Qt::LeftButton, Qt::NoModifier, row.center());
    ASSERT_EQ(setList->selectedItems().size(), 1);
    ASSERT_EQ(setList->selectedItems()[0]->text(), "disc");
    click(statistics->ui->pushButtonStatisticsCompute);
    EXPECT_TRUE(dialogs.messageTexts().isEmpty()) << dialogs.messageTexts().join("|").toStdString();

    QTableWidget* table = statistics->ui->tableWidget;
    const auto text = [table](int r, int c) {
        const QTableWidgetItem* item = table->item(r, c);
        return item ? item->text() : QString();
    };
    const auto find = [&](const QString& wanted, int& r, int& c) {
        for (r = 0; r < table->rowCount(); ++r)
            for (c = 0; c < table->columnCount(); ++c)
                if (text(r, c) == wanted)
                    return true;
        return false;
    };
    int r = 0;
    int c = 0;
    ASSERT_TRUE(find("Area[m^2] of " + QString::fromStdString(loaded.curves[0].name), r, c));
    const double area = text(r, c + 1).toDouble();
    // The writer's disc, within a pixel of its outline; and the area GDAL
    // finds for the saved ring.
    const double discArea = M_PI * disc.radius * disc.radius * 100.0;
    EXPECT_NEAR(area, discArea, 2.0 * M_PI * disc.radius * 100.0);
    EXPECT_NEAR(area, ring.areaSquareMetres, 1e-3 * ring.areaSquareMetres);

    // B04's mean: the writer's samples over the pixels whose centres lie
    // inside the ring; a pixel more or less moves it by at most one
    // bright-to-ground step over the count.
    const int red = Jp2ZipTest::bandIndex(*file(), "B04");
    int header = 0;
    int meanColumn = 0;
    ASSERT_TRUE(find("Mean", header, meanColumn));
    int channelRow = -1;
    for (int i = header + 1; i < table->rowCount(); ++i)
        if (text(i, 0) == QString::fromStdString(file()->bandName(red)))
            channelRow = i;
    ASSERT_GE(channelRow, 0);
    double sum = 0.0;
    int count = 0;
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x)
            if (centreInside(ring.points, x + 0.5, y + 0.5)) {
                sum += Sample::sceneReflectance("B04", x, y, 1, kSize);
                ++count;
            }
    ASSERT_GT(count, 0);
    const double step = Sample::kSceneBright + Sample::kSceneTexture - Sample::kSceneGround;
    EXPECT_NEAR(text(channelRow, meanColumn).toDouble(), sum / count, step / count)
        << "over " << count << " pixels";

    statistics->close();  // asks; the seam answers Yes
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(statistics.isNull());
}

} // namespace
