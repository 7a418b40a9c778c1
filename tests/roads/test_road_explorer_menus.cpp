// The context menus of the three explorers, every entry chosen as a user
// chooses it (a right click on the list, then the keyboard in the menu), the
// work on the real task runner behind its progress dialog: a product loaded
// from the data explorer; a ring written by OGR loaded onto it, adjusted onto
// the disc it circles, saved as KML that OGR reads, and removed; a relevancy
// map written by GDAL on the product's grid loaded, saved as GeoTIFF that
// GDAL reads, and removed; the product saved and removed. Every menu outlives
// the work of its entry and goes afterwards.

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTabWidget>
#include <gdal_priv.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include "road1_support.h"
#include "road2_support.h"

namespace {

using namespace Road1;

constexpr int kSize = 120; // the product's working grid (and working window)

// The ring of n points around a disc at `distance` pixels from its edge,
// clockwise on the screen, the first point repeated at the end.
std::vector<Point2D> ringAround(const Sample::SceneDisc& disc, double distance, int n = 48)
{
    std::vector<Point2D> points;
    for (int i = 0; i < n; ++i) {
        const double a = 2.0 * M_PI * i / n;
        points.push_back({disc.centerX + (disc.radius + distance) * std::cos(a),
                          disc.centerY + (disc.radius + distance) * std::sin(a)});
    }
    points.push_back(points.front());
    return points;
}

// A KML file of one polygon written by OGR's KML driver: the working-grid
// points of a product, placed through OGR from the UTM positions the writer
// gave them.
void writeKmlPolygon(const fs::path& path, const std::string& name, const std::vector<Point2D>& points,
                     const Sample::ProductSpec& spec)
{
    GDALAllRegister();
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("KML");
    ASSERT_NE(driver, nullptr);
    std::unique_ptr<GDALDataset> dataset(driver->Create(path.string().c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    ASSERT_NE(dataset, nullptr);
    OGRSpatialReference wgs84;
    wgs84.importFromEPSG(4326);
    wgs84.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    OGRLayer* layer = dataset->CreateLayer(name.c_str(), &wgs84, wkbPolygon, nullptr);
    ASSERT_NE(layer, nullptr);
    OGRFieldDefn field("Name", OFTString);
    ASSERT_EQ(layer->CreateField(&field), OGRERR_NONE);
    const Road2::Transform toWgs84(spec.epsg, 4326);
    OGRLinearRing ring;
    for (const Point2D& p : points) {
        const auto lonLat = toWgs84(spec.originEasting + 10.0 * p.x, spec.originNorthing - 10.0 * p.y);
        ring.addPoint(lonLat[0], lonLat[1]);
    }
    OGRPolygon polygon;
    polygon.addRing(&ring);
    OGRFeature feature(layer->GetLayerDefn());
    feature.SetField("Name", name.c_str());
    feature.SetGeometry(&polygon);
    ASSERT_EQ(layer->CreateFeature(&feature), OGRERR_NONE);
}

// A one-band Float32 GeoTIFF of width x height values written by GDAL on a
// product's grid, its upper-left pixel at working-grid (x, y).
void writeMapTiff(const fs::path& path, const std::vector<float>& values, int x, int y, int width, int height,
                  const Sample::ProductSpec& spec)
{
    GDALAllRegister();
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GTiff");
    ASSERT_NE(driver, nullptr);
    std::unique_ptr<GDALDataset> dataset(
        driver->Create(path.string().c_str(), width, height, 1, GDT_Float32, nullptr));
    ASSERT_NE(dataset, nullptr);
    double transform[6] = {spec.originEasting + 10.0 * x, 10.0, 0.0, spec.originNorthing - 10.0 * y, 0.0, -10.0};
    ASSERT_EQ(dataset->SetGeoTransform(transform), CE_None);
    OGRSpatialReference utm;
    utm.importFromEPSG(spec.epsg);
    ASSERT_EQ(dataset->SetSpatialRef(&utm), CE_None);
    ASSERT_EQ(dataset->GetRasterBand(1)->RasterIO(GF_Write, 0, 0, width, height, const_cast<float*>(values.data()),
                                                  width, height, GDT_Float32, 0, 0, nullptr),
              CE_None);
}

class ExplorerMenusRoad : public RoadShell {
protected:
    int workingSize() const override { return kSize; }

    void SetUp() override
    {
        RoadShell::SetUp();
        openClassificationPage();
    }

    QList<UI::CurveSet>& sets() { return window->activeCurveSets(); }

    QStringList setNames()
    {
        QStringList out;
        for (const UI::CurveSet& set : sets())
            out.append(QString::fromStdString(set.name));
        return out;
    }
};

TEST_F(ExplorerMenusRoad, EveryExplorerEntryWorksThroughItsMenu)
{
    const Sample::ProductSpec spec = shapesProduct(kSize);
    const fs::path archive = product(spec);
    QTreeWidget* dataList = ui().treeWidgetDataExplorer;
    QTreeWidget* curveList = ui().treeWidgetCurvesExplorer;
    QTreeWidget* mapList = ui().treeWidgetRMExplorer;

    // --- Data explorer: "Load image data" opens the product on the left.
    dialogs.fileAnswers.append(QStringList{QString::fromStdString(archive.string())});
    contextMenuEntry(dataList, "Load image data");
    ASSERT_EQ(window->dataFiles.size(), 1);
    ASSERT_EQ(ui().leftDataIndex, 0);
    ASSERT_FALSE(viewer(0)->isEmpty());
    EXPECT_TRUE(dialogs.messageTexts().isEmpty()) << dialogs.messageTexts().join("|").toStdString();

    // --- Curves explorer: "Load curves" of the KML that OGR wrote, a ring
    // three pixels outside the first disc.
    const Sample::SceneDisc disc = Sample::sceneDiscs(kSize)[0];
    const std::vector<Point2D> drawn = ringAround(disc, 3.0);
    const fs::path ringFile = folder.path() / "ring.kml";
    writeKmlPolygon(ringFile, "ring", drawn, spec);
    dialogs.fileAnswers.append(QStringList{QString::fromStdString(ringFile.string())});
    contextMenuEntry(curveList, "Load curves");
    EXPECT_TRUE(dialogs.messageTexts().isEmpty()) << dialogs.messageTexts().join("|").toStdString();
    ASSERT_EQ(setNames(), QStringList{"ring"});
    ASSERT_EQ(sets()[0].curves.size(), 1u);
    const std::vector<Point2D>& loaded = sets()[0].curves[0].points();
    ASSERT_EQ(loaded.size(), drawn.size());
    for (std::size_t i = 0; i < drawn.size(); ++i) {
        ASSERT_NEAR(loaded[i].x, drawn[i].x, 0.01) << i;
        ASSERT_NEAR(loaded[i].y, drawn[i].y, 0.01) << i;
    }
    EXPECT_FALSE(sets()[0].curves[0].inner);

    // --- "Adjust" the ring in the real settings dialog, OK as it stands:
    // a new set whose curve holds on the disc's edge.
    clickRow(curveList, 0);
    Road2::ModalAnswerer<QDialog> settings([](QDialog* dialog) {
        if (dialog->windowTitle() != "Curve Adjust Setting")
            return;
        auto* buttons = dialog->findChild<QDialogButtonBox*>("buttons");
        ASSERT_NE(buttons, nullptr);
        QTest::mouseClick(buttons->button(QDialogButtonBox::Ok), Qt::LeftButton);
    });
    contextMenuEntry(curveList, "Adjust");
    EXPECT_TRUE(dialogs.messageTexts().isEmpty()) << dialogs.messageTexts().join("|").toStdString();
    ASSERT_EQ(sets().size(), 2);
    ASSERT_EQ(sets()[1].curves.size(), 1u);
    const UI::CurveSet adjusted = sets()[1];
    const Fit onEdge = fitToCircle(adjusted.curves[0].points(), disc);
    EXPECT_LT(onEdge.mean, 1.0) << "mean distance to the disc's edge";
    EXPECT_LT(fitToCircle(sets()[0].curves[0].points(), disc).mean, 3.5) << "the loaded ring stays";

    // --- "Save curve set as..." the adjusted set: OGR reads its curve.
    clickRow(curveList, 1);
    const fs::path savedKml = folder.path() / "adjusted.kml";
    dialogs.fileAnswers.append(QStringList{QString::fromStdString(savedKml.string())});
    contextMenuEntry(curveList, "Save curve set as...");
    EXPECT_TRUE(dialogs.messageTexts().isEmpty()) << dialogs.messageTexts().join("|").toStdString();
    const KmlRing written = readKmlRing(savedKml, spec.epsg, spec.originEasting, spec.originNorthing);
    EXPECT_EQ(written.features, 1);
    const std::vector<Point2D>& points = adjusted.curves[0].points();
    ASSERT_EQ(written.points.size(), points.size());
    // The file holds whole metres: a tenth of a pixel.
    for (std::size_t i = 0; i < points.size(); ++i) {
        ASSERT_NEAR(written.points[i].x(), points[i].x, 0.1) << i;
        ASSERT_NEAR(written.points[i].y(), points[i].y, 0.1) << i;
    }

    // --- "Delete" the loaded ring: the adjusted set is left.
    clickRow(curveList, 0);
    contextMenuEntry(curveList, "Delete");
    ASSERT_EQ(sets().size(), 1);
    EXPECT_EQ(sets()[0].curves[0].points(), points);

    // --- Relevancy-map explorer: "Load map" of a GeoTIFF that GDAL wrote on
    // the product's grid.
    constexpr int kMapX = 30, kMapY = 40, kMapWidth = 20, kMapHeight = 10;
    std::vector<float> values(kMapWidth * kMapHeight);
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = static_cast<float>(i) / static_cast<float>(values.size());
    const fs::path mapFile = folder.path() / "wetland.tif";
    writeMapTiff(mapFile, values, kMapX, kMapY, kMapWidth, kMapHeight, spec);
    dialogs.fileAnswers.append(QStringList{QString::fromStdString(mapFile.string())});
    contextMenuEntry(mapList, "Load map");
    EXPECT_TRUE(dialogs.messageTexts().isEmpty()) << dialogs.messageTexts().join("|").toStdString();
    const QList<UI::RelevancyMap>& maps = window->activeRelevancyMaps();
    ASSERT_EQ(maps.size(), 1);
    EXPECT_EQ(maps[0].name, "wetland");
    EXPECT_EQ(maps[0].x, kMapX);
    EXPECT_EQ(maps[0].y, kMapY);
    EXPECT_EQ(maps[0].width, kMapWidth);
    EXPECT_EQ(maps[0].height, kMapHeight);
    EXPECT_EQ(maps[0].values, values);
    ASSERT_EQ(mapList->topLevelItemCount(), 1);

    // --- "Save map": GDAL reads the same values at the same place.
    clickRow(mapList, 0);
    const fs::path savedMap = folder.path() / "saved.tif";
    dialogs.fileAnswers.append(QStringList{QString::fromStdString(savedMap.string())});
    contextMenuEntry(mapList, "Save map");
    EXPECT_TRUE(dialogs.messageTexts().isEmpty()) << dialogs.messageTexts().join("|").toStdString();
    {
        std::unique_ptr<GDALDataset> raster(GDALDataset::Open(savedMap.string().c_str(),
                                                              GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr,
                                                              nullptr));
        ASSERT_NE(raster, nullptr);
        ASSERT_EQ(raster->GetRasterXSize(), kMapWidth);
        ASSERT_EQ(raster->GetRasterYSize(), kMapHeight);
        double transform[6] = {};
        ASSERT_EQ(raster->GetGeoTransform(transform), CE_None);
        EXPECT_DOUBLE_EQ(transform[0], spec.originEasting + 10.0 * kMapX);
        EXPECT_DOUBLE_EQ(transform[3], spec.originNorthing - 10.0 * kMapY);
        std::vector<float> read(values.size());
        ASSERT_EQ(raster->GetRasterBand(1)->RasterIO(GF_Read, 0, 0, kMapWidth, kMapHeight, read.data(), kMapWidth,
                                                     kMapHeight, GDT_Float32, 0, 0, nullptr),
                  CE_None);
        EXPECT_EQ(read, values);
    }

    // --- "Delete" the map: the list is empty.
    clickRow(mapList, 0);
    contextMenuEntry(mapList, "Delete");
    EXPECT_TRUE(window->activeRelevancyMaps().isEmpty());
    EXPECT_EQ(mapList->topLevelItemCount(), 0);

    // --- Data explorer: "Save" copies the product's file, "Delete" takes
    // it down.
    clickRow(dataList, 0);
    const fs::path copy = folder.path() / "copy.zip";
    dialogs.fileAnswers.append(QStringList{QString::fromStdString(copy.string())});
    contextMenuEntry(dataList, "Save");
    EXPECT_EQ(dialogs.messageTexts(), QStringList{"File is saved."});
    EXPECT_EQ(TestSupport::readFile(copy.string()), TestSupport::readFile(archive.string()));

    clickRow(dataList, 0);
    contextMenuEntry(dataList, "Delete");
    EXPECT_TRUE(window->dataFiles.isEmpty());
    EXPECT_EQ(ui().leftDataIndex, -1);
    EXPECT_EQ(ui().leftTabWidget->tabText(0), "No data loaded");
    EXPECT_EQ(curveList->topLevelItemCount(), 0);
}

} // namespace
