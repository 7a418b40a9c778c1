// From an orthophoto tile to a curve on the ground: the tile exported into a
// pyramid lot by the orthomosaic export window, a square drawn on a
// Sentinel-2 product in the orthomosaic mode to open the lots under it (six
// lots, and more than sixteen, read at the coarsest level), the mosaic shown,
// a polygon drawn on the exported lot and saved as KML; the KML read with OGR
// lies where the lot's own corner and pixel size put each point.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <QAction>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QToolButton>
#include <QTreeWidget>
#include <cpl_vsi.h>
#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include "acquisition/OrthoManager.h"
#include "app/CurveDrawing.h"
#include "forms/OrthoManagerForm.h"
#include "io/GdalHandles.h"
#include "io/OrthoMosaicBinFile.h"
#include "io/OrthoMosaicBinFormat.h"
#include "io/test_orthomosaic_lots.h"
#include "road2_support.h"
#include "viewers/ViewerWidget.h"

namespace {

namespace fs = std::filesystem;
namespace Format = IO::OrthoMosaicBinFormat;

// The map: one sheet "A" whose upper-left corner is at (kSheetX, kSheetY);
// lot (c, r) of it has its upper-left corner at lotX(c), lotY(r), c counting
// from 9 at the sheet's west edge.
constexpr double kSheetX = -750000.0;
constexpr double kSheetY = -1040000.0;
double lotX(int c)
{
    return kSheetX + (9 - c) * Format::lotSpanX;
}
double lotY(int r)
{
    return kSheetY - r * Format::lotSpanY;
}

// The exported tile is lot A_6-2.
constexpr int kTileColumn = 6;
constexpr int kTileRow = 2;

std::uint8_t tileSample(int band, int x, int y)
{
    return static_cast<std::uint8_t>((x + 3 * y + 85 * band) & 255);
}

// The full-size tile in a zip of tiles, written once per build.
fs::path tileZip()
{
    const fs::path cached = TestSupport::cachedFolder("road2 ortho tile A_6-2 v1", [](const fs::path& into) {
        IO::Gdal::registerDrivers();
        const std::string tif = (into / "A_6-2.tif").string();
        {
            GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GTiff");
            const char* options[] = {"COMPRESS=DEFLATE", "INTERLEAVE=BAND", nullptr};
            GDALDatasetUniquePtr dataset(driver->Create(tif.c_str(), Format::fullWidth, Format::fullHeight, 3,
                                                        GDT_Byte, const_cast<char**>(options)));
            ASSERT_TRUE(dataset);
            double transform[6] = {lotX(kTileColumn), Format::fullPixelSize, 0.0, lotY(kTileRow), 0.0,
                                   -Format::fullPixelSize};
            dataset->SetGeoTransform(transform);
            OGRSpatialReference krovak;
            krovak.importFromEPSG(5514);
            dataset->SetSpatialRef(&krovak);
            std::vector<std::uint8_t> samples(static_cast<std::size_t>(Format::fullWidth) * Format::fullHeight);
            for (int b = 0; b < 3; ++b) {
                for (int y = 0; y < Format::fullHeight; ++y)
                    for (int x = 0; x < Format::fullWidth; ++x)
                        samples[static_cast<std::size_t>(y) * Format::fullWidth + static_cast<std::size_t>(x)] =
                            tileSample(b, x, y);
                ASSERT_EQ(dataset->GetRasterBand(b + 1)->RasterIO(GF_Write, 0, 0, Format::fullWidth,
                                                                  Format::fullHeight, samples.data(),
                                                                  Format::fullWidth, Format::fullHeight, GDT_Byte, 0,
                                                                  0, nullptr),
                          CE_None);
            }
        }
        const std::string bytes = TestSupport::readFile(tif);
        fs::remove(tif);
        const std::string entry = "/vsizip/" + (into / "Ortho.zip").string() + "/tiles/A_6-2.tif";
        VSILFILE* file = VSIFOpenL(entry.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(VSIFWriteL(bytes.data(), 1, bytes.size(), file), bytes.size());
        VSIFCloseL(file);
    });
    return cached / "Ortho.zip";
}

// The points of every line and polygon ring of a KML file, as OGR reads
// them (longitude, latitude).
std::vector<std::vector<std::array<double, 2>>> kmlRings(const std::string& path)
{
    IO::Gdal::registerDrivers();
    std::vector<std::vector<std::array<double, 2>>> out;
    GDALDatasetUniquePtr kml(GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR));
    EXPECT_TRUE(kml) << "OGR cannot read " << path;
    if (!kml)
        return out;
    for (OGRLayer* layer : kml->GetLayers()) {
        for (const auto& feature : *layer) {
            const OGRGeometry* geometry = feature->GetGeometryRef();
            if (!geometry)
                continue;
            // A placemark's LinearRing reads as a ring or a line, or as a
            // polygon's outer ring.
            const OGRSimpleCurve* line = dynamic_cast<const OGRSimpleCurve*>(geometry);
            if (wkbFlatten(geometry->getGeometryType()) == wkbPolygon)
                line = geometry->toPolygon()->getExteriorRing();
            if (!line)
                continue;
            out.emplace_back();
            for (int i = 0; i < line->getNumPoints(); ++i)
                out.back().push_back({line->getX(i), line->getY(i)});
        }
    }
    return out;
}

// A square drawn about pixel (300, 300) of the product, its corner
// halfEdge pixels off in both directions, and the pyramid level at which the
// lots under it open.
struct Area {
    const char* name;
    double halfEdge;
    int level;
};

void PrintTo(const Area& area, std::ostream* out)
{
    *out << area.name;
}

class OrthoRoad : public Road2::RoadShell, public testing::WithParamInterface<Area> {
protected:
    int workingSize() const override { return kSize; }

    void SetUp() override
    {
        Road2::RoadShell::SetUp();
        // Presses and releases are clicks however long a step takes here.
        window->mouseTimer.now = [] { return qint64(1000); };
        QSettings().remove("orthoManager");
        window->settings.remove("orthoManager/exportDirectoryPath");
    }

    void TearDown() override
    {
        QSettings().remove("orthoManager");
        Road2::RoadShell::TearDown();
    }

    // Mouse steps on the left main viewer at widget positions, and at
    // full-grid pixel positions.
    void mouseAt(QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons buttons)
    {
        UI::ViewerWidget* target = viewer(0);
        QMouseEvent event(type, at, target->mapToGlobal(at), button, buttons, Qt::NoModifier);
        Jp2ZipTest::quietly([&] { QCoreApplication::sendEvent(target, &event); });
    }
    void mouse(QEvent::Type type, Point2D p, Qt::MouseButton button, Qt::MouseButtons buttons)
    {
        const UI::ViewerWidget* target = viewer(0);
        mouseAt(type, {(p.x - target->origin.x()) * target->zoom, (p.y - target->origin.y()) * target->zoom}, button,
                buttons);
    }
    // Drags the view by (dx, dy) widget pixels.
    void drag(double dx, double dy)
    {
        const QPointF from(kSize / 2.0 - dx / 2.0, kSize / 2.0 - dy / 2.0);
        const QPointF to = from + QPointF(dx, dy);
        mouseAt(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
        mouseAt(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
        mouseAt(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    }
    void click(Point2D p)
    {
        mouse(QEvent::MouseMove, p, Qt::NoButton, Qt::NoButton);
        mouse(QEvent::MouseButtonPress, p, Qt::LeftButton, Qt::LeftButton);
        mouse(QEvent::MouseButtonRelease, p, Qt::LeftButton, Qt::NoButton);
    }

    static constexpr int kSize = 600;
};

TEST_P(OrthoRoad, AnExportedTileOpensUnderASquareAndACurveOnItIsSavedWhereItsGroundIs)
{
    const Area& area = GetParam();
    // 1. The tile becomes a lot through the export window of the menu.
    const fs::path lots = folder.path() / "lots";
    fs::create_directories(lots);
    window->ui->action_Ortho_Data_Manager->trigger();
    OrthoManager* exporter = Road2::shownTopLevel<OrthoManager>();
    ASSERT_NE(exporter, nullptr);
    dialogs.fileAnswers.append(QStringList{QString::fromStdString(tileZip().string())});
    QTest::mouseClick(exporter->ui->toolButtonPathSelection, Qt::LeftButton);
    ASSERT_EQ(exporter->tilePaths.size(), 1);
    QTest::mouseClick(exporter->ui->pushButtonSelectAllTiles, Qt::LeftButton);
    dialogs.fileAnswers.append(QStringList{QString::fromStdString(lots.string())});
    Jp2ZipTest::quietly([&] { QTest::mouseClick(exporter->ui->pushButtonExport, Qt::LeftButton); });
    ASSERT_EQ(dialogs.messageTexts(), QStringList{"Export finished.\nPyramid files written: 1"});
    const fs::path lot = lots / "A_6-2.bin";
    ASSERT_TRUE(fs::exists(lot));
    ASSERT_EQ(static_cast<std::int64_t>(fs::file_size(lot)), Format::fileSize);
    {
        std::ifstream in(lot, std::ios::binary);
        Format::HeaderBytes header{};
        in.read(reinterpret_cast<char*>(header.data()), static_cast<std::streamsize>(header.size()));
        ASSERT_TRUE(Format::hasMagic(header));
        EXPECT_EQ(Format::headerX(header), lotX(kTileColumn));
        EXPECT_EQ(Format::headerY(header), lotY(kTileRow));
    }
    exporter->close();

    // The rest of the sheet: lots that hold their corner only (read as 0),
    // and the map index in the working directory.
    for (int c = 0; c < 10; ++c)
        for (int r = 0; r < 10; ++r)
            if (c != kTileColumn || r != kTileRow)
                OrthoLots::writeLot(OrthoLots::lotPath(lots, "A_" + std::to_string(c) + "-" + std::to_string(r)),
                                    lotX(c), lotY(r), Format::headerSize);
    OrthoLots::writeText(cwd.path() / "orthomosaicMap.ini",
                         "1;1\nA;0;0;" + IO::formatNumber(kSheetX) + ";" + IO::formatNumber(kSheetY) + "\n");

    // 2. A Sentinel-2 product whose pixel (300, 300) lies 1000 m east of the
    // exported lot's middle; a square about it in the orthomosaic mode.
    Sample::ProductSpec spec;
    spec.size = kSize;
    spec.originEasting = 458390;
    spec.originNorthing = 5549880;
    open({product(spec)});
    ASSERT_EQ(window->dataFiles.size(), 1);
    wholeWorkingWindow();
    window->ui->action_Ortho_Load_files->trigger();
    click({300.0, 300.0});
    const Point2D corner{300.0 + area.halfEdge, 300.0 + area.halfEdge};
    mouse(QEvent::MouseMove, corner, Qt::NoButton, Qt::NoButton);
    click(corner);
    EXPECT_EQ(dialogs.messageTexts().size(), 1) << dialogs.messageTexts().join("; ").toStdString();
    ASSERT_EQ(window->curveSets[0].size(), 1);
    ASSERT_EQ(window->dataFiles.size(), 2);
    auto* mosaic = dynamic_cast<IO::OrthoMosaicBinFile*>(window->dataFiles[1]);
    ASSERT_NE(mosaic, nullptr);

    // The lots under the square: those the box of its four corners (in
    // Krovak through OGR, from the writer's UTM grid) touches.
    const std::vector<Point2D>& square = window->curveSets[0][0].curves[0].points();
    ASSERT_GE(square.size(), 4u);
    const Road2::Transform utmToKrovak(spec.epsg, 5514);
    double west = 1e300, east = -1e300, north = -1e300, south = 1e300;
    for (std::size_t i = 0; i < 4; ++i) {
        const std::array<double, 2> k =
            utmToKrovak(spec.originEasting + 10.0 * square[i].x, spec.originNorthing - 10.0 * square[i].y);
        west = std::min(west, k[0]);
        east = std::max(east, k[0]);
        north = std::max(north, k[1]);
        south = std::min(south, k[1]);
    }
    const int firstColumn = 9 - static_cast<int>(std::floor((west - kSheetX) / Format::lotSpanX));
    const int lastColumn = 9 - static_cast<int>(std::floor((east - kSheetX) / Format::lotSpanX));
    const int firstRow = static_cast<int>(std::floor((kSheetY - north) / Format::lotSpanY));
    const int lastRow = static_cast<int>(std::floor((kSheetY - south) / Format::lotSpanY));
    const int columns = firstColumn - lastColumn + 1;
    const int rows = lastRow - firstRow + 1;
    // One lot is read at level 0, up to 4 at level 1, up to 16 at level 2.
    const int lotCount = columns * rows;
    ASSERT_EQ(lotCount > 16 ? 3 : lotCount > 4 ? 2 : lotCount > 1 ? 1 : 0, area.level)
        << "the fixture's square covers " << lotCount << " lots";
    ASSERT_LT(firstColumn, 9);
    ASSERT_GT(kTileColumn, lastColumn);
    const int tileMosaicColumn = firstColumn - kTileColumn;  // counted from the west
    const int tileMosaicRow = kTileRow - firstRow;
    if (area.level == 3)
        ASSERT_GE(tileMosaicColumn, 1) << "lots east of the mosaic's first show where each lot lies";
    EXPECT_EQ(mosaic->lotCols, columns);
    EXPECT_EQ(mosaic->lotRows, rows);
    const Format::Level& level = Format::level(area.level);
    ASSERT_EQ(mosaic->pyramidLevel, area.level);
    EXPECT_EQ(mosaic->width, columns * level.width);
    EXPECT_EQ(mosaic->height, rows * level.height);

    // 3. The mosaic shown on the left (a double click in the data explorer).
    QTreeWidget* explorer = window->ui->treeWidgetDataExplorer;
    QTreeWidgetItem* item = explorer->topLevelItem(1);
    ASSERT_NE(item, nullptr);
    explorer->scrollToItem(item);
    const QPoint itemCentre = explorer->visualItemRect(item).center();
    Jp2ZipTest::quietly([&] {
        QTest::mouseClick(explorer->viewport(), Qt::LeftButton, Qt::NoModifier, itemCentre);
        QTest::mouseDClick(explorer->viewport(), Qt::LeftButton, Qt::NoModifier, itemCentre);
    });
    ASSERT_EQ(window->ui->leftDataIndex, 1);
    UI::ViewerWidget* main = wholeWorkingWindow();
    EXPECT_EQ(main->groundPixelSize(), level.pixelSize) << "the scale bar measures the mosaic's ground";

    // The view dragged to the exported lot's east edge.
    const int lotStart = tileMosaicColumn * level.width;
    const int lotEnd = lotStart + level.width;  // first column of the next lot
    const int rowInLot = tileMosaicRow * level.height + 100;
    const QPoint wanted(lotEnd - kSize / 2, rowInLot - 100);
    for (int step = 0; step < 12 && main->origin != wanted; ++step) {
        const QPoint left = wanted - main->origin;
        drag(-std::clamp(left.x(), -kSize + 40, kSize - 40), -std::clamp(left.y(), -kSize + 40, kSize - 40));
    }
    const QPoint origin = main->origin;
    ASSERT_EQ(origin, wanted);

    // The exported lot is the one at its place: its columns show the tile,
    // the lot east of it (corner only) is black.
    int tileLit = 0;
    int eastLit = 0;
    for (int dx = 1; dx <= 20; ++dx) {
        tileLit += QColor(main->image->pixel(lotEnd - dx - origin.x(), rowInLot - origin.y())) != QColor(Qt::black);
        eastLit += QColor(main->image->pixel(lotEnd + dx - 1 - origin.x(), rowInLot - origin.y())) != QColor(Qt::black);
    }
    EXPECT_GE(tileLit, 18);
    EXPECT_EQ(eastLit, 0);

    // 4. A polygon on the exported lot, saved as KML from the curves
    // explorer's menu.
    const std::vector<Point2D> vertices{{lotEnd - 150.0, rowInLot + 10.0},
                                        {lotEnd - 30.0, rowInLot + 40.0},
                                        {lotEnd - 90.0, rowInLot + 170.0}};
    QTest::mouseClick(window->ui->pushButtonAutoInitPolygon, Qt::LeftButton);
    for (const Point2D& v : vertices)
        click(v);
    mouse(QEvent::MouseButtonPress, vertices[0], Qt::RightButton, Qt::RightButton);
    ASSERT_EQ(window->curveSets[1].size(), 1);
    const std::vector<Point2D> drawn = window->curveSets[1][0].curves[0].points();
    for (const Point2D& v : vertices) {
        double nearest = 1e300;
        for (const Point2D& p : drawn)
            nearest = std::min(nearest, std::hypot(p.x - v.x, p.y - v.y));
        // The sides are stepped half a pixel at a time from their start.
        EXPECT_LT(nearest, 0.5) << "vertex " << v.x << ", " << v.y;
    }

    QTreeWidget* curves = window->ui->treeWidgetCurvesExplorer;
    ASSERT_EQ(curves->topLevelItemCount(), 1);
    const QPoint setCentre = curves->visualItemRect(curves->topLevelItem(0)).center();
    QTest::mouseClick(curves->viewport(), Qt::LeftButton, Qt::NoModifier, setCentre);
    QMenu* menu = window->buildCurvesExplorerMenu();
    QAction* save = nullptr;
    for (QAction* action : menu->actions())
        if (action->text() == "Save curve set as...")
            save = action;
    ASSERT_NE(save, nullptr);
    const std::string kml = (folder.path() / "on the lot.kml").string();
    dialogs.fileAnswers.append(QStringList{QString::fromStdString(kml)});
    save->trigger();
    delete menu;

    // 5. Every saved point lies where the exported lot puts its pixel: the
    // lot's corner plus the level's pixel size per pixel (the datum shift of
    // the conversion comes back within millimetres).
    const std::vector<std::vector<std::array<double, 2>>> rings = kmlRings(kml);
    ASSERT_EQ(rings.size(), 1u);
    ASSERT_EQ(rings[0].size(), drawn.size());
    const Road2::Transform wgs84ToKrovak(4326, 5514);
    double worst = 0.0;
    for (std::size_t i = 0; i < drawn.size(); ++i) {
        const std::array<double, 2> k = wgs84ToKrovak(rings[0][i][0], rings[0][i][1]);
        const double trueX = lotX(kTileColumn) + (drawn[i].x - lotStart) * level.pixelSize;
        const double trueY = lotY(kTileRow) - (drawn[i].y - tileMosaicRow * level.height) * level.pixelSize;
        worst = std::max(worst, std::hypot(k[0] - trueX, k[1] - trueY));
    }
    EXPECT_LT(worst, 0.05) << "metres off the lot's ground";
}

INSTANTIATE_TEST_SUITE_P(Squares, OrthoRoad,
                         testing::Values(Area{"SixLots", 150.0, 2}, Area{"MoreThanSixteenLots", 285.0, 3}),
                         [](const testing::TestParamInfo<Area>& info) { return std::string(info.param.name); });

} // namespace
