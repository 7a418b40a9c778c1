// Classification from start to finish on a product of bright discs on a
// darker ground: a two-class network trained on the two reflectances, chosen
// in the network explorer and then trained again into the same file;
// relevancy maps over a square of the working window; one map saved as GeoTIFF and read by GDAL; curve sets drawn with
// the mouse classified in the area classification window. The maps and the
// table must name the class the writer put under each pixel.

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include "forms/ClassificationOfAreaWindowForm.h"
#include "forms/NetworkExplorerWindowForm.h"
#include "road1_support.h"
#include "windows/ClassificationOfAreaWindow.h"
#include "windows/NetworkExplorerWindow.h"

namespace {

using namespace Road1;

constexpr int kSize = 120;  // the product's working grid (and working window)
constexpr int kSquare = 60; // side of the relevancy maps' square

// The class of a window of the network's features: every pixel of the
// (2 half + 1)^2 window around (x, y) on one side of the writer's outlines.
enum class Purity { Disc, Ground, Mixed };
Purity windowPurity(int x, int y, int half)
{
    bool disc = false;
    bool ground = false;
    for (int j = y - half; j <= y + half; ++j)
        for (int i = x - half; i <= x + half; ++i) {
            if (i < Sample::kNoDataCorner && j < Sample::kNoDataCorner)
                return Purity::Mixed;
            (insideShape(i, j, kSize) ? disc : ground) = true;
        }
    return disc && ground ? Purity::Mixed : disc ? Purity::Disc : Purity::Ground;
}

// A natNet file of the classes "disc" and "ground" over the window means of
// two channels: ten points each spanning the bright and the ground
// reflectances with their texture, corners of the span first. Retrained,
// the file may name the classes and the channels in the other order.
std::string shapesNetwork(bool groundFirst = false, bool b03First = false)
{
    std::string text = std::string("20,2,2,10,10,") + (groundFirst ? "ground,disc" : "disc,ground") +
                       ",param,1,1,0.6,2," + (b03First ? "B03,B04" : "B04,B03") + ",1,mean,2023-06-01,33UXP\n";
    const auto span = [&text](double low, double high) {
        const double corners[4][2] = {{low, low}, {low, high}, {high, low}, {high, high}};
        for (const auto& c : corners)
            text += std::to_string(static_cast<int>(c[0])) + "," + std::to_string(static_cast<int>(c[1])) + "\n";
        for (int i = 1; i <= 6; ++i) {
            const double a = low + (high - low) * i / 7.0;
            const double b = low + (high - low) * ((i * 3) % 7) / 7.0;
            text += std::to_string(static_cast<int>(a)) + "," + std::to_string(static_cast<int>(b)) + "\n";
        }
    };
    const auto disc = [&] { span(Sample::kSceneBright - 10, Sample::kSceneBright + Sample::kSceneTexture + 10); };
    const auto ground = [&] { span(Sample::kSceneGround - 10, Sample::kSceneGround + Sample::kSceneTexture + 10); };
    if (groundFirst) {
        ground();
        disc();
    } else {
        disc();
        ground();
    }
    return text;
}

class ClassificationRoad : public RoadShell {
protected:
    int workingSize() const override { return kSize; }

    void SetUp() override
    {
        RoadShell::SetUp();
        openRelevancyMapPage();
        // The network explorer lists the working folder's "natNets".
        fs::create_directories(cwd.path() / "natNets");
        TestSupport::writeFile((cwd.path() / "natNets" / "natNet_shapes.csv").string(), shapesNetwork());
    }

    QList<UI::CurveSet>& sets() { return window->activeCurveSets(); }

    // An initial shape drawn with the mouse: a click at the anchor, a move
    // and a click at the second point.
    void drawShape(QAbstractButton* mode, QPointF first, QPointF second)
    {
        UI::ViewerWidget* main = viewer(0);
        click(mode);
        clickAt(main, first);
        moveTo(main, second);
        clickAt(main, second);
        settle();
    }
};

TEST_F(ClassificationRoad, NetworkMapsGeoTiffAndClassifiedCurveSets)
{
    const Sample::ProductSpec spec = shapesProduct(kSize);
    openThroughFileMenu(product(spec));
    ASSERT_EQ(window->dataFiles.size(), 1);
    ASSERT_FALSE(viewer(0)->isEmpty());

    // --- Create with no network chosen: the explorer opens on the working
    // folder's networks and Choose takes one. Asked whether to compute the
    // maps now, the user says No.
    typeInto(ui().spinBoxRMWidth, QString::number(kSquare));
    click(ui().pushButtonCreateRM);
    QPointer<NetworkExplorerWindow> explorer = openWindow<NetworkExplorerWindow>();
    ASSERT_FALSE(explorer.isNull()) << "the network explorer opens";
    QTreeWidget* networks = explorer->ui->treeWidgetNetExplorerTrainedNet;
    ASSERT_EQ(networks->topLevelItemCount(), 1);
    EXPECT_EQ(networks->topLevelItem(0)->text(1), "natNet_shapes.csv");
    clickRow(networks, 0);
    dialogs.answer = QMessageBox::No;
    click(explorer->ui->pushButtonNetExplorerChoose);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(explorer.isNull()) << "Choose closes the explorer";
    ASSERT_EQ(dialogs.requests.size(), 1);
    EXPECT_EQ(dialogs.requests[0].text, "Do you want to compute relevancy map?");
    EXPECT_EQ(window->selectedNetwork.fileName, "natNet_shapes.csv");
    EXPECT_EQ(ui().lineEditNetwork->text(), "natNet_shapes.csv");
    EXPECT_TRUE(window->activeRelevancyMaps().isEmpty());

    // The network is trained again into the same file, its classes and
    // channels now in the other order; Create computes with what the file
    // holds now.
    TestSupport::writeFile((cwd.path() / "natNets" / "natNet_shapes.csv").string(), shapesNetwork(true, true));
    dialogs.requests.clear();
    dialogs.answer = QMessageBox::Yes;
    click(ui().pushButtonCreateRM);
    ASSERT_TRUE(dialogs.messageTexts().isEmpty()) << dialogs.messageTexts().join("|").toStdString();

    const QList<UI::RelevancyMap>& maps = window->activeRelevancyMaps();
    ASSERT_EQ(maps.size(), 2);
    EXPECT_EQ(maps[0].name, "ground_0");
    EXPECT_EQ(maps[1].name, "disc_0");
    QTreeWidget* mapList = ui().treeWidgetRMExplorer;
    ASSERT_EQ(mapList->topLevelItemCount(), 2);
    // The user picks the disc map by its name.
    int discRow = -1;
    for (int r = 0; r < mapList->topLevelItemCount(); ++r)
        for (int c = 0; c < mapList->columnCount(); ++c)
            if (mapList->topLevelItem(r)->text(c) == "disc_0")
                discRow = r;
    ASSERT_GE(discRow, 0) << "a map named disc_0";

    // --- Save the disc map as GeoTIFF through the explorer's menu.
    clickRow(mapList, discRow);
    const fs::path tif = folder.path() / "disc.tif";
    dialogs.fileAnswers.append(QStringList{QString::fromStdString(tif.string())});
    contextMenuEntry(mapList, "Save map");
    EXPECT_TRUE(dialogs.messageTexts().isEmpty()) << dialogs.messageTexts().join("|").toStdString();
    ASSERT_TRUE(fs::exists(tif));

    // GDAL reads the map where the product lies, and its values name the
    // class the writer drew under every pixel whose feature windows are
    // all of one class.
    GDALAllRegister();
    std::unique_ptr<GDALDataset> raster(
        GDALDataset::Open(tif.string().c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr));
    ASSERT_NE(raster, nullptr);
    const UI::RelevancyMap& map = maps[discRow];
    ASSERT_EQ(raster->GetRasterXSize(), map.width);
    ASSERT_EQ(raster->GetRasterYSize(), map.height);
    ASSERT_EQ(raster->GetRasterCount(), 1);
    double transform[6] = {};
    ASSERT_EQ(raster->GetGeoTransform(transform), CE_None);
    EXPECT_DOUBLE_EQ(transform[0], spec.originEasting + 10.0 * map.x);
    EXPECT_DOUBLE_EQ(transform[3], spec.originNorthing - 10.0 * map.y);
    EXPECT_DOUBLE_EQ(transform[1], 10.0);
    EXPECT_DOUBLE_EQ(transform[5], -10.0);
    EXPECT_DOUBLE_EQ(transform[2], 0.0);
    EXPECT_DOUBLE_EQ(transform[4], 0.0);
    const OGRSpatialReference* srs = raster->GetSpatialRef();
    ASSERT_NE(srs, nullptr);
    OGRSpatialReference utm;
    utm.importFromEPSG(spec.epsg);
    EXPECT_TRUE(srs->IsSame(&utm)) << "UTM zone of the product";

    std::vector<float> values(static_cast<std::size_t>(map.width) * map.height);
    ASSERT_EQ(raster->GetRasterBand(1)->RasterIO(GF_Read, 0, 0, map.width, map.height, values.data(), map.width,
                                                 map.height, GDT_Float32, 0, 0, nullptr),
              CE_None);
    // The square lies in the middle of the working window.
    const int x0 = map.x + (map.width - kSquare) / 2;
    const int y0 = map.y + (map.height - kSquare) / 2;
    int discs = 0;
    int grounds = 0;
    for (int y = map.y; y < map.y + map.height; ++y)
        for (int x = map.x; x < map.x + map.width; ++x) {
            const float v = values[static_cast<std::size_t>(y - map.y) * map.width + (x - map.x)];
            const bool inSquare = x >= x0 && x < x0 + kSquare && y >= y0 && y < y0 + kSquare;
            if (!inSquare) {
                ASSERT_EQ(v, 0.5f) << x << "," << y << " outside the square";
                continue;
            }
            switch (windowPurity(x, y, 5)) {
            case Purity::Disc:
                ++discs;
                ASSERT_GE(v, 0.9f) << x << "," << y << " lies in a disc";
                break;
            case Purity::Ground:
                ++grounds;
                ASSERT_LE(v, 0.1f) << x << "," << y << " lies on the ground";
                break;
            case Purity::Mixed:
                break;
            }
        }
    EXPECT_GT(discs, 50);
    EXPECT_GT(grounds, 50);

    // --- Two curve sets drawn with the mouse: a circle inside the larger
    // disc and a square on the ground between the discs.
    const Sample::SceneDisc disc = Sample::sceneDiscs(kSize)[0];
    drawShape(ui().pushButtonAutoInitCircle, {disc.centerX, disc.centerY}, {disc.centerX + 8.0, disc.centerY});
    // The square centred on pixel (62, 20) through the mouse: corners
    // (56, 14) and (69, 27).
    drawShape(ui().pushButtonAutoInitSquare, {62.5, 20.5}, {68.5, 26.5});
    ASSERT_EQ(sets().size(), 2);
    for (int x = 56; x < 69; ++x)
        for (int y = 14; y < 27; ++y)
            ASSERT_FALSE(insideShape(x, y, kSize)) << "the square lies on the ground";

    // --- The area classification window classifies both.
    click(ui().pushButtonClassifiArea);
    QPointer<ClassificationOfAreaWindow> classification = openWindow<ClassificationOfAreaWindow>();
    ASSERT_FALSE(classification.isNull());
    EXPECT_EQ(classification->ui->listWidgetCurves->selectedItems().size(), 2);
    click(classification->ui->pushButtonClassify);
    EXPECT_TRUE(dialogs.messageTexts().isEmpty()) << dialogs.messageTexts().join("|").toStdString();
    QTableWidget* table = classification->ui->tableWidget;
    ASSERT_EQ(table->rowCount(), 3);
    ASSERT_EQ(table->columnCount(), 3);
    // The columns follow the network file's classes.
    EXPECT_EQ(table->item(0, 1)->text().toStdString(), "ground");
    EXPECT_EQ(table->item(0, 2)->text().toStdString(), "disc");
    // Every pixel under each set is of one class: that class wins clearly,
    // the other gets nothing.
    QStringList rows;
    for (int r = 0; r < table->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < table->columnCount(); ++c)
            cells.append(table->item(r, c) ? table->item(r, c)->text() : QString());
        rows.append(cells.join("|"));
    }
    struct Expected {
        int row;
        int own;    // column of the set's class
        int other;
    };
    for (const Expected& e : {Expected{1, 2, 1}, Expected{2, 1, 2}}) {
        SCOPED_TRACE(rows.join(" / ").toStdString());
        EXPECT_EQ(table->item(e.row, 0)->text().toStdString(), sets()[e.row - 1].name);
        EXPECT_GT(table->item(e.row, e.own)->text().toDouble(), 0.5);
        EXPECT_LT(table->item(e.row, e.other)->text().toDouble(), 0.05);
    }
    classification->close();  // asks; the seam answers Yes
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(classification.isNull());
}

} // namespace
