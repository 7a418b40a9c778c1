// Relevancy maps in the main window: where a created map's square goes,
// creation with a real network file, the explorer's show, rename, delete and
// menu, GeoTIFF maps saved and loaded on a product's grid, combined text
// maps, and random points.

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <GeographicLib/GeoCoords.hpp>
#include <QGridLayout>
#include <QCoreApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTabWidget>
#include <QTreeWidget>
#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogr_spatialref.h>

#include "analysis/NatNetInfo.h"
#include "app/FenlarkApp.h"
#include "app/FenlarkAppUI.h"
#include "app/test_context_menus.h"
#include "curves_fixture.h"
#include "io/NumberText.h"
#include "io/test_jp2zip_fixture.h"
#include "support/MemoryFile.h"
#include "support/TestSupport.h"
#include "tools/FeatureKeys.h"
#include "windows/NetworkExplorerWindow.h"
#include "workflows/RelevancyMapRules.h"

namespace fs = std::filesystem;
using UI::RelevancyMap;

namespace {

// Class means of the two-class network per channel (B04, B08).
constexpr double kForest[2] = {0.2, 0.7};
constexpr double kMeadow[2] = {0.8, 0.3};

// A natNet file of two classes of ten points each, one "mean" per channel,
// scattered around the class means.
std::string twoClassNetwork(const std::string& channels = "B04,B08")
{
    std::string text = "20,2,2,10,10,forest,meadow,param,1,1,0.6,2," + channels + ",1,mean,2020-06-01,33UXQ\n";
    std::mt19937 random(3);
    std::uniform_real_distribution<double> jitter(-0.03, 0.03);
    for (const double* mean : {kForest, kMeadow})
        for (int i = 0; i < 10; ++i)
            text += IO::formatNumber(mean[0] + jitter(random)) + "," + IO::formatNumber(mean[1] + jitter(random)) +
                    "\n";
    return text;
}

// Bands B04 and B08 holding the forest means left of the middle column and
// the meadow means from there on.
class HalfPlaneFile : public TestSupport::MemoryFile {
public:
    explicit HalfPlaneFile(int size)
        : MemoryFile(size, size)
    {
        for (int c = 0; c < 2; ++c)
            addBandOf(c == 0 ? "B04" : "B08", 1,
                      [c, size](int x, int) { return x < size / 2 ? kForest[c] : kMeadow[c]; });
    }
};

RelevancyMap mapOf(const std::string& name, int x, int y, int width, int height, float value = 0.25f)
{
    RelevancyMap map;
    map.setName(name);
    map.setNetworkName("natNet_test.csv");
    map.x = x;
    map.y = y;
    map.width = width;
    map.height = height;
    map.centreX = x + width / 2;
    map.centreY = y + height / 2;
    map.values.assign(static_cast<std::size_t>(width) * height, value);
    return map;
}

std::vector<std::string> linesOf(const std::string& path)
{
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace

// ------------------------------------------------------------ square plan

TEST(RelevancyMapPlan, SquareAndMarginLieInsideTheData)
{
    struct Case {
        const char* name;
        int requested, areaW, areaH, areaX, areaY, dataW, dataH;
        bool fits;
        int side, x, y, x0, y0;
    };
    const std::vector<Case> cases = {
        {"500 rounds to 498", 500, 1000, 1000, 300, 300, 2000, 2000, true, 498, 300, 300, 552, 552},
        {"area at the corner moves inward", 504, 1000, 1000, 0, 0, 1200, 1200, true, 504, 12, 12, 258, 258},
        {"the area's width is used as it is", 502, 502, 502, 0, 0, 1200, 1200, true, 502, 12, 12, 12, 12},
        {"larger than the area's height", 600, 1000, 300, 300, 300, 2000, 2000, true, 300, 300, 300, 648, 300},
        {"area at the far edges stays inside", 504, 1000, 1000, 200, 200, 1200, 1200, true, 504, 186, 186, 432,
         432},
        {"area covering the whole data", 60, 100, 100, 0, 0, 100, 100, true, 60, 0, 0, 18, 18},
        {"square filling an area as large as the data", 96, 100, 100, 0, 0, 100, 100, false, 96, 0, 0, 0, 0},
        {"data narrower than the square and its margin", 504, 500, 500, 0, 0, 520, 2000, false, 498, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        const RelevancyMaps::CreationPlan plan =
            RelevancyMaps::planCreation(c.requested, c.areaW, c.areaH, c.areaX, c.areaY, c.dataW, c.dataH);
        EXPECT_EQ(plan.fits, c.fits) << c.name;
        EXPECT_EQ(plan.side, c.side) << c.name;
        if (!c.fits)
            continue;
        EXPECT_EQ(plan.areaX, c.x) << c.name;
        EXPECT_EQ(plan.areaY, c.y) << c.name;
        EXPECT_EQ(plan.x0, c.x0) << c.name;
        EXPECT_EQ(plan.y0, c.y0) << c.name;
        // The read window and the square stay where the map can hold them.
        EXPECT_GE(plan.x0 - 12, 0) << c.name;
        EXPECT_LE(plan.x0 + plan.side + 12, c.dataW) << c.name;
        EXPECT_GE(plan.x0, plan.areaX) << c.name;
        EXPECT_LE(plan.x0 + plan.side, plan.areaX + c.areaW) << c.name;
    }
}

// -------------------------------------------------------- main window

class RelevancyMapsWindow : public ShellTest::Shell {
protected:
    static constexpr int kSize = 120;
    static constexpr int kArea = 72;

    void SetUp() override
    {
        Shell::SetUp();
        index = addDataSet(std::make_unique<HalfPlaneFile>(kSize));
        file = window->dataFiles[index];
        file->workAreaWidth = kArea;
        file->workAreaHeight = kArea;
        showOn(0, index, false, {0, 0, 0});
        file->setWorkAreaX(0, 24);
        file->setWorkAreaY(0, 24);
        window->setToolDocksEnabled(true);
        tree = window->ui->treeWidgetRMExplorer;
        chooseNetwork(twoClassNetwork());
    }

    void chooseNetwork(const std::string& text)
    {
        TestSupport::writeFile(dir.file("natNet_habitats.csv"), text);
        NatNetInfo network;
        network.directory = dir.path().string() + "/";
        network.fileName = "natNet_habitats.csv";
        ASSERT_TRUE(network.readHeader());
        window->selectedNetwork = network;
    }

    QList<RelevancyMap>& maps() { return window->relevancyMaps[index]; }

    void setMaps(const QList<RelevancyMap>& list, int current = -1)
    {
        maps() = list;
        window->setRMExplorer(current);
    }

    void select(const std::vector<int>& rows)
    {
        tree->clearSelection();
        for (int row : rows) {
            ASSERT_NE(tree->topLevelItem(row), nullptr);
            tree->topLevelItem(row)->setSelected(true);
        }
        if (!rows.empty())
            tree->setCurrentItem(tree->topLevelItem(rows.front()), 1, QItemSelectionModel::NoUpdate);
    }

    int storedIndex() { return sideValue(0, "RMExplorerStateCurrentIndex").toInt(); }

    QStringList mapNames()
    {
        QStringList out;
        for (const RelevancyMap& map : maps())
            out.append(QString::fromStdString(map.name));
        return out;
    }

    QList<int> markedRows()
    {
        QList<int> rows;
        for (int r = 0; r < tree->topLevelItemCount(); ++r)
            if (!tree->topLevelItem(r)->icon(0).isNull())
                rows.append(r);
        return rows;
    }

    bool mapsViewerShown()
    {
        auto* grid = qobject_cast<QGridLayout*>(window->ui->leftTabWidget->widget(0)->layout());
        return grid && grid->itemAtPosition(0, 1);
    }

    TestSupport::TempDir dir;
    int index = -1;
    IO::File* file = nullptr;
    QTreeWidget* tree = nullptr;
    CurvesTest::Dialogs dialogs;
    TaskRunner::ScopedInlineRunner inlineTasks;
};

TEST_F(RelevancyMapsWindow, CreationAddsOneMapPerClassOverTheWorkingArea)
{
    window->ui->spinBoxRMWidth->setValue(36);
    TestSupport::quietly([&] { window->createRelevancyMaps(0); });
    EXPECT_TRUE(dialogs.messages().isEmpty()) << dialogs.messages().join("|").toStdString();
    ASSERT_EQ(maps().size(), 2);
    EXPECT_EQ(mapNames(), (QStringList{"forest_0", "meadow_0"}));
    EXPECT_EQ(window->relevancyMapCounter, 1);
    EXPECT_EQ(tree->topLevelItemCount(), 2);

    // The square lies at (42, 42) in the middle of the 72-pixel working area
    // at (24, 24); the data's halves meet at column 60.
    for (int k = 0; k < 2; ++k) {
        const RelevancyMap& map = maps()[k];
        EXPECT_EQ(map.networkName, "natNet_habitats.csv");
        EXPECT_EQ(std::vector<int>({map.x, map.y, map.width, map.height, map.centreX, map.centreY}),
                  std::vector<int>({24, 24, kArea, kArea, 60, 60}));
        ASSERT_EQ(map.values.size(), static_cast<std::size_t>(kArea * kArea));
        for (int y = 24; y < 24 + kArea; ++y)
            for (int x = 24; x < 24 + kArea; ++x) {
                const float v = map.values[static_cast<std::size_t>(y - 24) * kArea + (x - 24)];
                const bool inSquare = x >= 42 && x < 78 && y >= 42 && y < 78;
                if (!inSquare) {
                    ASSERT_EQ(v, 0.5f) << x << "," << y;
                } else if (x + 5 < 60) {
                    ASSERT_GE(v, k == 0 ? 0.99f : 0.0f) << x << "," << y;
                    ASSERT_LE(v, k == 0 ? 1.0f : 0.0f) << x << "," << y;
                } else if (x - 5 >= 60) {
                    ASSERT_GE(v, k == 1 ? 0.99f : 0.0f) << x << "," << y;
                    ASSERT_LE(v, k == 1 ? 1.0f : 0.0f) << x << "," << y;
                }
            }
    }

    TestSupport::quietly([&] { window->createRelevancyMaps(0); });
    EXPECT_EQ(mapNames(), (QStringList{"forest_0", "meadow_0", "forest_1", "meadow_1"}));
    EXPECT_EQ(window->relevancyMapCounter, 2);
}

TEST_F(RelevancyMapsWindow, CreationThatCannotClassifySaysWhyAndAddsNothing)
{
    struct Case {
        const char* name;
        std::string network;  // empty: the chosen file is gone
        int side;
        int area;
        QString message;
    };
    const std::vector<Case> cases = {
        {"channel without a band", twoClassNetwork("B04,B11"), 36, kArea,
         "The data set has no band for the network channel B11."},
        {"network file gone", "", 36, kArea,
         "Unable to classify the area with network natNet_habitats.csv.\nUnable to read the network file."},
        {"square and margin larger than the data", twoClassNetwork(), 108, kSize,
         "The relevancy map area does not fit into the data."},
    };
    for (const Case& c : cases) {
        dialogs.requests.clear();
        chooseNetwork(c.network.empty() ? twoClassNetwork() : c.network);
        if (c.network.empty())
            fs::remove(dir.file("natNet_habitats.csv"));
        file->workAreaWidth = file->workAreaHeight = c.area;
        file->setWorkAreaX(0, 0);
        file->setWorkAreaY(0, 0);
        window->ui->spinBoxRMWidth->setMaximum(2004);
        window->ui->spinBoxRMWidth->setValue(c.side);
        TestSupport::quietly([&] { window->createRelevancyMaps(0); });
        EXPECT_EQ(dialogs.messages(), QStringList{c.message}) << c.name;
        EXPECT_TRUE(maps().isEmpty()) << c.name;
        EXPECT_EQ(window->relevancyMapCounter, 0) << c.name;
    }
}

namespace {

// The two-class network with its classes and its channels in the orders
// given: the header names them so, and the training points follow suit.
std::string reorderedNetwork(bool meadowFirst, bool b08First)
{
    const char* classes = meadowFirst ? "meadow,forest" : "forest,meadow";
    const char* channels = b08First ? "B08,B04" : "B04,B08";
    std::string text = std::string("20,2,2,10,10,") + classes + ",param,1,1,0.6,2," + channels +
                       ",1,mean,2020-06-01,33UXQ\n";
    std::mt19937 random(3);
    std::uniform_real_distribution<double> jitter(-0.03, 0.03);
    for (const double* mean : meadowFirst ? std::vector<const double*>{kMeadow, kForest}
                                          : std::vector<const double*>{kForest, kMeadow})
        for (int i = 0; i < 10; ++i) {
            const double b04 = mean[0] + jitter(random);
            const double b08 = mean[1] + jitter(random);
            text += IO::formatNumber(b08First ? b08 : b04) + "," + IO::formatNumber(b08First ? b04 : b08) + "\n";
        }
    return text;
}

} // namespace

// The network file changes after it was chosen: creation reads it once, and
// that reading names the maps, picks the bands and classifies, so each map
// holds the class whose name it bears.
TEST_F(RelevancyMapsWindow, CreationNamesPicksBandsAndClassifiesFromOneReadingOfTheNetwork)
{
    struct Case {
        const char* name;
        bool meadowFirst;
        bool b08First;
        QStringList names;
    };
    const std::vector<Case> cases = {
        {"classes swapped", true, false, {"meadow_0", "forest_0"}},
        {"channels swapped", false, true, {"forest_0", "meadow_0"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        maps().clear();
        window->relevancyMapCounter = 0;
        dialogs.requests.clear();
        chooseNetwork(twoClassNetwork());
        TestSupport::writeFile(dir.file("natNet_habitats.csv"), reorderedNetwork(c.meadowFirst, c.b08First));
        window->ui->spinBoxRMWidth->setValue(36);
        TestSupport::quietly([&] { window->createRelevancyMaps(0); });
        EXPECT_TRUE(dialogs.messages().isEmpty()) << dialogs.messages().join("|").toStdString();
        EXPECT_EQ(mapNames().join("|").toStdString(), c.names.join("|").toStdString());
        for (const RelevancyMap& map : maps()) {
            // Forest lies left of column 60, meadow from there on; the square
            // runs from 42 to 78 in the working area at 24.
            const bool forest = map.name.rfind("forest", 0) == 0;
            const float left = map.values[static_cast<std::size_t>(50 - 24) * kArea + (45 - 24)];
            const float right = map.values[static_cast<std::size_t>(50 - 24) * kArea + (72 - 24)];
            EXPECT_GE(forest ? left : right, 0.99f) << map.name;
            EXPECT_LE(forest ? right : left, 0.01f) << map.name;
        }
    }
}

TEST_F(RelevancyMapsWindow, DeletingRowsShiftsOrClearsTheShownMap)
{
    setMaps({mapOf("m0", 0, 0, 4, 4), mapOf("m1", 0, 0, 4, 4), mapOf("m2", 0, 0, 4, 4), mapOf("m3", 0, 0, 4, 4),
             mapOf("m4", 0, 0, 4, 4)});
    select({4});
    ASSERT_TRUE(window->showSelectedRelevancyMap());
    EXPECT_EQ(storedIndex(), 4);

    select({1, 3});
    window->mapRemoveAction_triggered(false);
    EXPECT_EQ(mapNames(), (QStringList{"m0", "m2", "m4"}));
    EXPECT_EQ(storedIndex(), 2);
    EXPECT_EQ(window->ui->mapsShowedIndexByTab.value(0), 2);
    EXPECT_EQ(markedRows(), QList<int>{2});

    // The shown map itself: nothing is shown or marked afterwards.
    select({2});
    window->mapRemoveAction_triggered(false);
    EXPECT_EQ(mapNames(), (QStringList{"m0", "m2"}));
    EXPECT_EQ(storedIndex(), -1);
    EXPECT_EQ(window->ui->mapsShowedIndexByTab.value(0), -1);
    EXPECT_FALSE(window->ui->mapsShowedNameByTab.contains(0));
    EXPECT_EQ(sideValue(0, "mapsShowedName").toInt(), 0);
    EXPECT_TRUE(markedRows().isEmpty());
}

TEST_F(RelevancyMapsWindow, MenuOffersTheEntriesOfTheSelection)
{
    setMaps({mapOf("a", 0, 0, 4, 4), mapOf("b", 0, 0, 4, 4)});
    const std::vector<std::pair<std::vector<int>, QStringList>> cases = {
        {{}, {"Load map", "Combine maps"}},
        {{0, 1}, {"Load map", "Combine maps", "Delete"}},
        {{1}, {"Load map", "Combine maps", "Delete", "Rename", "Save map", "Generate random points"}},
    };
    for (const auto& [rows, entries] : cases) {
        select(rows);
        std::unique_ptr<QMenu> menu(window->buildRMExplorerMenu());
        QStringList texts;
        for (const QAction* action : menu->actions())
            texts.append(action->text());
        EXPECT_EQ(texts, entries);
    }
}

TEST_F(RelevancyMapsWindow, RenameStoresTheTrimmedNameAndKeepsTheTooltip)
{
    setMaps({mapOf("old", 0, 0, 4, 4)});
    select({0});
    dialogs.textAnswer = QStringLiteral("  wet meadow  ");
    window->mapRenameAction_triggered(false);
    EXPECT_EQ(maps()[0].name, "wet meadow");
    EXPECT_EQ(tree->topLevelItem(0)->text(1), "wet meadow");
    EXPECT_EQ(tree->topLevelItem(0)->toolTip(1), "old");

    for (std::optional<QString> answer : {std::optional<QString>(), std::optional<QString>("   ")}) {
        dialogs.textAnswer = answer;
        window->mapRenameAction_triggered(false);
        EXPECT_EQ(maps()[0].name, "wet meadow");
    }
}

TEST_F(RelevancyMapsWindow, ShowingWithoutSelectionWarnsAndHidesTheViewerAgain)
{
    setMaps({mapOf("a", 0, 0, 4, 4)});
    tree->clearSelection();
    window->on_pushButtonRMFeatureShow_clicked();
    EXPECT_EQ(dialogs.messages(), QStringList{"There is no selected map."});
    EXPECT_FALSE(mapsViewerShown());
    EXPECT_EQ(window->ui->mapsShowedIndexByTab.value(0, -1), -1);
}

TEST_F(RelevancyMapsWindow, AMapSmallerThanTheWorkingAreaIsDrawnAtItsPlace)
{
    // A loaded map of 10 x 6 pixels: the viewer reads only its values.
    setMaps({mapOf("small", 30, 40, 10, 6, 1.0f)});
    select({0});
    window->on_pushButtonRMFeatureShow_clicked();
    EXPECT_TRUE(dialogs.messages().isEmpty());
    ASSERT_TRUE(mapsViewerShown());
    EXPECT_EQ(window->ui->mapsShowedIndexByTab.value(0), 0);
    EXPECT_EQ(markedRows(), QList<int>{0});
    EXPECT_TRUE(window->ui->workingAreaLocked);
    EXPECT_EQ(file->getWorkAreaX(0), 30);
    EXPECT_EQ(file->getWorkAreaY(0), 40);
}

// ------------------------------------------------------------ GeoTIFF maps

namespace {

// A GeoTIFF of one Float32 band in another UTM zone than the product's.
void writeForeignZoneMap(const std::string& path)
{
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GTiff");
    ASSERT_NE(driver, nullptr);
    GDALDatasetUniquePtr dataset(driver->Create(path.c_str(), 4, 4, 1, GDT_Float32, nullptr));
    ASSERT_TRUE(dataset);
    double transform[6] = {500000.0, 10.0, 0.0, 5400000.0, 0.0, -10.0};
    dataset->SetGeoTransform(transform);
    OGRSpatialReference zone34;
    zone34.importFromEPSG(32634);
    dataset->SetSpatialRef(&zone34);
    std::vector<float> values(16, 0.5f);
    ASSERT_EQ(dataset->GetRasterBand(1)->RasterIO(GF_Write, 0, 0, 4, 4, values.data(), 4, 4, GDT_Float32, 0, 0,
                                                  nullptr),
              CE_None);
}

} // namespace

TEST(RelevancyMapFiles, SavedMapReadsBackThroughGdalAndLoadsAtItsPlace)
{
    TestSupport::TempDir dir;
    std::unique_ptr<IO::JP2ZipFile> product;
    TestSupport::quietly([&] { product = Jp2ZipTest::fixture().open(); });
    RelevancyMap map = mapOf("forest_0", 30, 20, 8, 5);
    for (std::size_t i = 0; i < map.values.size(); ++i)
        map.values[i] = static_cast<float>(i) / 40.0f;
    const std::string path = dir.file("map.old.tif");
    ASSERT_TRUE(UI::FenlarkApp::saveRelevancyMap(QString::fromStdString(path), map, product.get()));

    GDALDatasetUniquePtr dataset(GDALDataset::Open(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY));
    ASSERT_TRUE(dataset);
    ASSERT_EQ(dataset->GetRasterCount(), 1);
    GDALRasterBand* band = dataset->GetRasterBand(1);
    EXPECT_EQ(band->GetRasterDataType(), GDT_Float32);
    EXPECT_EQ(std::make_pair(band->GetXSize(), band->GetYSize()), std::make_pair(8, 5));
    double transform[6];
    ASSERT_EQ(dataset->GetGeoTransform(transform), CE_None);
    EXPECT_EQ(transform[0], 500000.0 + 300.0);
    EXPECT_EQ(transform[3], 5400000.0 - 200.0);
    EXPECT_STREQ(dataset->GetSpatialRef()->GetAuthorityCode(nullptr), "32633");
    std::vector<float> back(40);
    ASSERT_EQ(band->RasterIO(GF_Read, 0, 0, 8, 5, back.data(), 8, 5, GDT_Float32, 0, 0, nullptr), CE_None);
    EXPECT_EQ(back, map.values);
    dataset.reset();

    QList<RelevancyMap> loaded;
    ASSERT_EQ(UI::FenlarkApp::loadRelevancyMap(QString::fromStdString(path), product.get(), loaded), 0);
    ASSERT_EQ(loaded.size(), 1);
    EXPECT_EQ(loaded[0].name, "map");
    EXPECT_EQ(loaded[0].networkName, "Loaded relevancy map");
    EXPECT_EQ(std::vector<int>({loaded[0].x, loaded[0].y, loaded[0].width, loaded[0].height, loaded[0].centreX,
                                loaded[0].centreY}),
              std::vector<int>({30, 20, 8, 5, 34, 22}));
    EXPECT_EQ(loaded[0].values, map.values);
}

TEST(RelevancyMapFiles, LoadRefusesMapsOutsideTheDataAndStopsTheBatchThere)
{
    TestSupport::TempDir dir;
    std::unique_ptr<IO::JP2ZipFile> product;
    TestSupport::quietly([&] { product = Jp2ZipTest::fixture().open(); });
    ASSERT_EQ(product->width, 120);
    auto save = [&](const std::string& name, int x, int y) {
        const std::string path = dir.file(name);
        EXPECT_TRUE(UI::FenlarkApp::saveRelevancyMap(QString::fromStdString(path), mapOf(name, x, y, 8, 5),
                                                     product.get()));
        return QString::fromStdString(path);
    };
    const QString fits = save("fits.tif", 112, 115);
    const QString past = save("past.tif", 113, 115);
    const QString later = save("later.tif", 0, 0);
    writeForeignZoneMap(dir.file("zone34.tif"));
    TestSupport::writeFile(dir.file("notes.TIF"), "not a raster");

    struct Case {
        QString path;
        int result;
    };
    for (const Case& c : {Case{fits, 0}, Case{past, 3}, Case{QString::fromStdString(dir.file("zone34.tif")), 3},
                          Case{QString::fromStdString(dir.file("notes.TIF")), 3},
                          Case{QString::fromStdString(dir.file("missing.tif")), 3}}) {
        QList<RelevancyMap> maps;
        EXPECT_EQ(UI::FenlarkApp::loadRelevancyMap(c.path, product.get(), maps), c.result) << c.path.toStdString();
        EXPECT_EQ(maps.size(), c.result == 0 ? 1 : 0) << c.path.toStdString();
    }

    const UI::FenlarkApp::RelevancyMapLoad batch = UI::FenlarkApp::loadRelevancyMaps({fits, past, later}, product.get());
    EXPECT_FALSE(batch.loaded);
    ASSERT_EQ(batch.maps.size(), 1);
    EXPECT_EQ(batch.maps[0].name, "fits");
}

TEST(RelevancyMapFiles, EverySaveErrorIsAFailure)
{
    TestSupport::TempDir dir;
    std::unique_ptr<IO::JP2ZipFile> product;
    TestSupport::quietly([&] { product = Jp2ZipTest::fixture().open(); });
    const RelevancyMap map = mapOf("m", 0, 0, 4, 4);
    EXPECT_FALSE(UI::FenlarkApp::saveRelevancyMap(QString::fromStdString(dir.file("map.png")), map, product.get()));
    EXPECT_FALSE(UI::FenlarkApp::saveRelevancyMap(QString::fromStdString(dir.file("no-folder/map.tif")), map,
                                                  product.get()));
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST_F(RelevancyMapsWindow, SavingToANameThatIsNotTifWarnsWithTheRow)
{
    setMaps({mapOf("m", 0, 0, 4, 4)});
    select({0});
    dialogs.fileAnswers = {{QString::fromStdString(dir.file("map.png"))}};
    window->mapSaveAction_triggered(false);
    EXPECT_EQ(dialogs.messages(), QStringList{"Unable to save relevancy map 0. "});
}

// ------------------------------------------------------------ combined maps

namespace {

std::string textMap(int width, int height, const std::vector<std::string>& values)
{
    std::string text = "P2\n" + std::to_string(width) + " " + std::to_string(height) + "\n1\n";
    for (const std::string& v : values)
        text += v + "\n";
    return text;
}

float logistic(double v)
{
    return static_cast<float>(1.0 / (1.0 + std::exp((1.0 - v - 0.5) * 12.0)));
}

} // namespace

TEST(RelevancyMapCombine, KeepsTheLargestStepOfEveryPixelAndWritesItsLayout)
{
    TestSupport::TempDir dir;
    TestSupport::writeFile(dir.file("a.pgm"), textMap(2, 2, {"0.5", "1", "0", "0.25"}));
    // An empty line is skipped, and a short file leaves the last pixels.
    TestSupport::writeFile(dir.file("b.pgm"), "P2\r\n2 2\r\n1\r\n0.25\r\n\r\n0.9\r\n0.75\r\n");
    const QString out = QString::fromStdString(dir.file("combined.pgm"));
    ASSERT_TRUE(UI::FenlarkApp::combineRelevancyMaps(
        {QString::fromStdString(dir.file("a.pgm")), QString::fromStdString(dir.file("b.pgm")),
         QString::fromStdString(dir.file("missing.pgm"))},
        out));
    const std::vector<std::string> lines = linesOf(out.toStdString());
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 3),
              (std::vector<std::string>{"P2", "2 2", "1"}));
    const std::vector<float> expected = {0.5f, std::max(logistic(1.0), logistic(0.9)),
                                         std::max(logistic(0.0), logistic(0.75)), logistic(0.25)};
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_EQ(static_cast<float>(*IO::parseDouble(lines[3 + i])), expected[i]) << i;
    EXPECT_FLOAT_EQ(expected[1], static_cast<float>(1.0 / (1.0 + std::exp(-6.0))));
}

TEST(RelevancyMapCombine, RefusesWhatItCannotReadAndWritesNothing)
{
    struct Case {
        const char* name;
        std::string second;
        QString out;
    };
    const std::vector<Case> cases = {
        {"another size", textMap(3, 1, {"0.1", "0.2", "0.3"}), "out.pgm"},
        {"a value that is not a number", textMap(2, 2, {"0.1", "x", "0.3", "0.4"}), "out.pgm"},
        {"no size line", "P2\n", "out.pgm"},
        {"no output file", textMap(2, 2, {"0.1", "0.2", "0.3", "0.4"}), ""},
        {"an output folder that does not exist", textMap(2, 2, {"0.1", "0.2", "0.3", "0.4"}), "none/out.pgm"},
    };
    for (const Case& c : cases) {
        TestSupport::TempDir dir;
        TestSupport::writeFile(dir.file("a.pgm"), textMap(2, 2, {"0.5", "1", "0", "0.25"}));
        TestSupport::writeFile(dir.file("b.pgm"), c.second);
        const QString out = c.out.isEmpty() ? QString() : QString::fromStdString(dir.file(c.out.toStdString()));
        EXPECT_FALSE(UI::FenlarkApp::combineRelevancyMaps(
            {QString::fromStdString(dir.file("a.pgm")), QString::fromStdString(dir.file("b.pgm"))}, out))
            << c.name;
        EXPECT_FALSE(fs::exists(dir.file("out.pgm"))) << c.name;
    }
    EXPECT_FALSE(UI::FenlarkApp::combineRelevancyMaps({"/nonexistent/a.pgm"}, "/tmp/never.pgm"));
}

// A value and its line break take at least two bytes, so a file's size
// bounds how many values it can hold. The first file's size line is refused
// when no chosen file is large enough for width x height values: nothing is
// combined and nothing written. Short files still combine as long as one of
// the chosen files can hold the map.
TEST(RelevancyMapCombine, RefusesASizeThatNoChosenFileCanHold)
{
    std::string full;
    for (int i = 0; i < 40 * 40; ++i)
        full += (i % 2 ? "1\n" : "0\n");
    struct Case {
        const char* name;
        std::vector<std::string> files;  // "" names a file that does not exist
        bool combined;
    };
    const std::vector<Case> cases = {
        {"a 21-byte map declaring 1000 x 1000", {"P2\n1000 1000\n1\n0.125\n"}, false},
        {"two short maps of that size", {"P2\n1000 1000\n1\n0.5\n", textMap(1000, 1000, {"1", "0.25"})}, false},
        {"a short map beside a missing file", {textMap(1000, 1000, {"1"}), ""}, false},
        {"a short map beside one that holds the size", {textMap(40, 40, {"1"}), textMap(40, 40, {}) + full}, true},
        {"a map one value short", {textMap(2, 2, {"0.5", "1", "0"})}, true},
    };
    for (const Case& c : cases) {
        TestSupport::TempDir dir;
        QList<QString> paths;
        for (std::size_t k = 0; k < c.files.size(); ++k) {
            const std::string path = dir.file("m" + std::to_string(k) + ".pgm");
            if (!c.files[k].empty())
                TestSupport::writeFile(path, c.files[k]);
            paths.append(QString::fromStdString(path));
        }
        const QString out = QString::fromStdString(dir.file("out.pgm"));
        bool combined = !c.combined;
        TestSupport::quietly([&] { combined = UI::FenlarkApp::combineRelevancyMaps(paths, out); });
        EXPECT_EQ(combined, c.combined) << c.name;
        EXPECT_EQ(fs::exists(out.toStdString()), c.combined) << c.name;
    }
}

TEST_F(RelevancyMapsWindow, CombiningASizeNoFileCanHoldWarnsAndWritesNothing)
{
    const std::string map = "P2\n1000 1000\n1\n0.125\n";
    ASSERT_EQ(map.size(), 21u);
    TestSupport::writeFile(dir.file("a.pgm"), map);
    const QString output = QString::fromStdString(dir.file("combined.pgm"));
    dialogs.fileAnswers = {{QString::fromStdString(dir.file("a.pgm"))}, {output}};
    TestSupport::quietly([&] { window->mapCombineAction_triggered(false); });
    EXPECT_EQ(dialogs.messages().join("|").toStdString(),
              "Unable to combine relevancy map " + dir.file("a.pgm") + ". ");
    EXPECT_FALSE(fs::exists(output.toStdString()));
}

// A line of a text map is a size or a value. A size line of 8 MiB of blanks
// (8 million empty pieces once split) or a first line of 8 MiB is refused
// after the line readers' ceiling, before it is split.
TEST_F(RelevancyMapsWindow, CombiningLinesBeyondTheCeilingWarnsAndWritesNothing)
{
    const std::string eightMiB(std::size_t{8} << 20, ' ');
    const std::string cases[] = {"P2\n1 1" + eightMiB + "\n1\n0.5\n", "P2" + eightMiB + "\n1 1\n1\n0.5\n"};
    for (const std::string& map : cases) {
        TestSupport::writeFile(dir.file("a.pgm"), map);
        const QString output = QString::fromStdString(dir.file("combined.pgm"));
        dialogs.requests.clear();
        dialogs.fileAnswers = {{QString::fromStdString(dir.file("a.pgm"))}, {output}};
        const TestSupport::PeakMemory memory;
        TestSupport::quietly([&] { window->mapCombineAction_triggered(false); });
        EXPECT_LT(memory.peakGrowthKilobytes(), 32L * 1024);
        EXPECT_EQ(dialogs.messages().join("|").toStdString(),
                  "Unable to combine relevancy map " + dir.file("a.pgm") + ". ");
        EXPECT_FALSE(fs::exists(output.toStdString()));
    }
}

TEST_F(RelevancyMapsWindow, CombineWithoutAnOutputFileDoesNothing)
{
    TestSupport::writeFile(dir.file("a.pgm"), textMap(1, 1, {"0.5"}));
    dialogs.fileAnswers = {{QString::fromStdString(dir.file("a.pgm"))}};
    window->mapCombineAction_triggered(false);
    EXPECT_TRUE(dialogs.messages().isEmpty());
    ASSERT_EQ(dialogs.fileRequests.size(), 2);
    EXPECT_EQ(dialogs.fileRequests[1].caption, "Save combine relevancy map");
    EXPECT_EQ(window->settings.value("folderRMopenPath").toString(), QString::fromStdString(dir.path().string()));
}

// ------------------------------------------------------------ random points

TEST(RelevancyMapPoints, PartsByValue)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<std::pair<double, RelevancyMaps::MapPart>> cases = {
        {0.0, RelevancyMaps::MapPart::Black},    {0.001, RelevancyMaps::MapPart::Black},
        {0.002, RelevancyMaps::MapPart::Gray},   {0.5, RelevancyMaps::MapPart::None},
        {0.9990, RelevancyMaps::MapPart::Gray},  {0.9995, RelevancyMaps::MapPart::White},
        {nan, RelevancyMaps::MapPart::Gray},
    };
    for (const auto& [value, part] : cases)
        EXPECT_EQ(RelevancyMaps::mapPartOf(value), part) << value;

    // Pixels on the data set's grid, at the map's place.
    RelevancyMap map = mapOf("m", 10, 20, 5, 1);
    map.values = {0.001f, 0.002f, 0.5f, 0.9995f, std::numeric_limits<float>::quiet_NaN()};
    std::mt19937 engine(7);
    const RelevancyMaps::RandomPoints points = RelevancyMaps::pickRandomPoints(map, 30, engine);
    EXPECT_EQ(points.black, (RelevancyMaps::PointList{{10, 20}}));
    EXPECT_EQ(points.white, (RelevancyMaps::PointList{{13, 20}}));
    EXPECT_EQ(std::set<std::vector<int>>(points.gray.begin(), points.gray.end()),
              (std::set<std::vector<int>>{{11, 20}, {14, 20}}));
}

TEST(RelevancyMapPoints, CountDistinctPixelsPerPartDependingOnTheSeed)
{
    RelevancyMap map = mapOf("m", 0, 0, 20, 10, 0.3f);
    for (int i = 0; i < 5; ++i)
        map.values[static_cast<std::size_t>(i)] = 1.0f;
    auto draw = [&](unsigned seed) {
        std::mt19937 engine(seed);
        return RelevancyMaps::pickRandomPoints(map, 12, engine);
    };
    const RelevancyMaps::RandomPoints first = draw(7);
    EXPECT_EQ(first.gray.size(), 12u);
    EXPECT_EQ(std::set<std::vector<int>>(first.gray.begin(), first.gray.end()).size(), 12u);
    EXPECT_EQ(first.white.size(), 5u) << "fewer pixels than the count: all of them";
    EXPECT_TRUE(first.black.empty());
    EXPECT_EQ(draw(7).gray, first.gray);
    EXPECT_NE(draw(8).gray, first.gray);
}

class RandomPointsWindow : public RelevancyMapsWindow {
protected:
    void SetUp() override
    {
        RelevancyMapsWindow::SetUp();
        std::unique_ptr<IO::JP2ZipFile> product;
        TestSupport::quietly([&] { product = Jp2ZipTest::fixture().open(); });
        productIndex = addDataSet(std::move(product));
        showOn(0, productIndex, false, {0, 0, 0});
        index = productIndex;
        RelevancyMap map = mapOf("m", 40, 30, 3, 1);
        map.values = {0.0f, 1.0f, 0.3f};
        setMaps({map});
        window->randomPointSeed = [] { return 11u; };
    }

    int productIndex = -1;
};

TEST_F(RandomPointsWindow, PointFilesHoldTheLatitudeAndLongitudeOfEachPixel)
{
    select({0});
    dialogs.integerAnswer = 30;
    const std::string path = dir.file("points.csv");
    dialogs.fileAnswers = {{QString::fromStdString(path)}};
    window->randomPointsInRMAction_triggered(false);
    EXPECT_EQ(dialogs.messages(), QStringList{"Randomly generated points had been written in .csv files."});
    ASSERT_EQ(dialogs.integerRequests.size(), 1);
    EXPECT_EQ(dialogs.integerRequests[0].value, 30);
    EXPECT_EQ(dialogs.integerRequests[0].maximum, 500);
    EXPECT_EQ(window->settings.value("folderRandomPointsRMPath").toString(),
              QString::fromStdString(dir.path().string()));

    // Pixel (x, y) lies at easting 500000 + 10 x and northing 5400000 - 10 y
    // of zone 33 north.
    const std::pair<const char*, std::pair<int, int>> files[] = {
        {"_black.csv", {40, 30}}, {"_white.csv", {41, 30}}, {"_gray.csv", {42, 30}}};
    for (const auto& [suffix, pixel] : files) {
        const GeographicLib::GeoCoords point(33, true, 500000.0 + 10.0 * pixel.first,
                                             5400000.0 - 10.0 * pixel.second);
        EXPECT_EQ(linesOf(path + suffix),
                  std::vector<std::string>{IO::formatFixed(point.Latitude(), 12) + "," +
                                           IO::formatFixed(point.Longitude(), 12)})
            << suffix;
    }
}

TEST_F(RandomPointsWindow, AnUnwritableFolderGivesTheTextOfEveryFile)
{
    const QString text = window->writeRandomPoints(QString::fromStdString(dir.file("none/points.csv")), {{40, 30}},
                                                   {{41, 30}}, {});
    EXPECT_EQ(text, "Randomly generated points in the black part of the relevancy cannot be written. \n"
                    "Randomly generated points in the white part of the relevancy cannot be written. \n"
                    "Randomly generated points in the gray part of the relevancy cannot be written. \n");
}

// ------------------------------------------------------------ choosing a network

TEST_F(RelevancyMapsWindow, CreatingWithoutANetworkOpensTheExplorerWhoseChoiceIsKept)
{
    QSettings().setValue("networkExplorer/dbDirectory", QString::fromStdString(dir.path().string()));
    window->selectedNetwork.clear();
    window->on_pushButtonCreateRM_clicked();
    QPointer<NetworkExplorerWindow> explorer = window->networkExplorer;
    ASSERT_TRUE(explorer);
    EXPECT_EQ(explorer->windowTitle(), "Network Explorer");
    EXPECT_EQ(explorer->windowModality(), Qt::WindowModal);
    EXPECT_EQ(explorer->parentWidget(), window.get());

    // Choose the listed network and decline the computation.
    auto* choose = explorer->findChild<QPushButton*>("pushButtonNetExplorerChoose");
    ASSERT_NE(choose, nullptr);
    choose->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(explorer) << "the explorer closes (and goes) after a choice";
    EXPECT_EQ(window->selectedNetwork.fileName, "natNet_habitats.csv");
    EXPECT_EQ(window->ui->lineEditNetwork->text(), "natNet_habitats.csv");
    ASSERT_EQ(dialogs.requests.size(), 1);
    EXPECT_EQ(dialogs.requests[0].title, "Relevancy map");
    EXPECT_EQ(dialogs.requests[0].text, "Do you want to compute relevancy map?");
    EXPECT_TRUE(maps().isEmpty());
}

TEST_F(RelevancyMapsWindow, AnsweringYesAfterTheChoiceComputesTheMaps)
{
    QSettings().setValue("networkExplorer/dbDirectory", QString::fromStdString(dir.path().string()));
    window->ui->spinBoxRMWidth->setValue(36);
    ScopedMessageBoxHandler yes([](const MessageBoxRequest&) { return QMessageBox::Yes; });
    window->on_pushButtonChangeNetwork_clicked();
    ASSERT_TRUE(window->networkExplorer);
    TestSupport::quietly([&] {
        window->networkExplorer->findChild<QPushButton*>("pushButtonNetExplorerChoose")->click();
    });
    EXPECT_EQ(mapNames(), (QStringList{"forest_0", "meadow_0"}));
}

// ------------------------------------------------------------ loading maps

TEST_F(RandomPointsWindow, LoadingStopsAtAMapOutsideTheDataAndNamesTheFirstFile)
{
    std::unique_ptr<IO::JP2ZipFile> product;
    TestSupport::quietly([&] { product = Jp2ZipTest::fixture().open(); });
    auto save = [&](const std::string& name, int x) {
        const std::string path = dir.file(name);
        EXPECT_TRUE(UI::FenlarkApp::saveRelevancyMap(QString::fromStdString(path), mapOf(name, x, 0, 8, 5),
                                                     product.get()));
        return QString::fromStdString(path);
    };
    const QStringList files = {save("first.tif", 0), save("outside.tif", 118), save("third.tif", 0)};
    dialogs.fileAnswers = {files};
    TestSupport::quietly([&] { window->mapLoadAction_triggered(false); });
    EXPECT_EQ(dialogs.messages(),
              QStringList{"Unable to load relevancy map " + files[0] +
                          ".\nCheck if the relevancy map is computed from area of selected file."});
    EXPECT_EQ(mapNames(), (QStringList{"m", "first"}));
    EXPECT_EQ(tree->topLevelItemCount(), 2);
    EXPECT_EQ(window->settings.value("folderRMopenPath").toString(), QString::fromStdString(dir.path().string()));
}

// ------------------------------------------------------------ context menu

// Saving, loading and deleting chosen in the real menu, the tasks on the
// pool behind the progress dialog's own event loop: the menu outlives every
// handler and goes afterwards.
TEST_F(RandomPointsWindow, MenuOutlivesItsEntries)
{
    const std::string tif = dir.file("saved.tif");
    struct Case {
        const char* entry;
        std::function<void()> prepare;
        QStringList mapsAfter;
    };
    const Case cases[] = {
        {"Save map",
         [&] {
             select({0});
             dialogs.fileAnswers = {{QString::fromStdString(tif)}};
         },
         {"m"}},
        {"Load map", [&] { dialogs.fileAnswers = {{QString::fromStdString(tif)}}; }, {"m", "saved"}},
        {"Delete", [&] { select({0}); }, {"saved"}},
    };
    // The real runner for these entries.
    const TaskRunner::Runner inlineRunner = TaskRunner::setRunner({});
    for (const Case& c : cases) {
        c.prepare();
        ShellTest::MenuChoice choice;
        TestSupport::quietly([&] { choice = ShellTest::chooseContextMenuEntry(tree, c.entry); });
        ShellTest::expectChosenAndOutlived(choice, c.entry);
        EXPECT_EQ(mapNames(), c.mapsAfter) << c.entry;
        EXPECT_TRUE(dialogs.messages().isEmpty()) << dialogs.messages().join('|').toStdString();
    }
    EXPECT_TRUE(fs::exists(tif));
    TaskRunner::setRunner(inlineRunner);
}

namespace {

// A GeoTIFF relevancy map of width x height 8-bit pixels on the product's
// grid (zone 33 north, 10 m pixels from (500000, 5400000)) whose one strip
// was never written: a sparse file of a few kilobytes that reads as zeros.
void writeSparseMap(const std::string& path, int width, int height)
{
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GTiff");
    ASSERT_NE(driver, nullptr);
    const std::string oneStrip = "BLOCKYSIZE=" + std::to_string(height);
    const char* options[] = {"SPARSE_OK=TRUE", oneStrip.c_str(), nullptr};
    GDALDataset* map = driver->Create(path.c_str(), width, height, 1, GDT_Byte, const_cast<char**>(options));
    ASSERT_NE(map, nullptr);
    double transform[6] = {500000.0, 10.0, 0.0, 5400000.0, 0.0, -10.0};
    map->SetGeoTransform(transform);
    OGRSpatialReference utm;
    utm.importFromEPSG(32633);
    map->SetSpatialRef(&utm);
    GDALClose(map);
}

} // namespace

// A map is placed on the data set before its band is read: a sparse GeoTIFF
// of a few kilobytes declaring 20000 x 20000 pixels (1.6 GB of values once
// read) does not fit the product and is refused, through the explorer's
// menu, without being read.
TEST_F(RandomPointsWindow, AMapLargerThanTheDataIsRefusedBeforeItIsRead)
{
    const std::string path = dir.file("huge.tif");
    writeSparseMap(path, 20000, 20000);
    ASSERT_LT(fs::file_size(path), 8192u);
    dialogs.fileAnswers = {{QString::fromStdString(path)}};

    const TestSupport::PeakMemory memory;
    std::unique_ptr<QMenu> menu(window->buildRMExplorerMenu());
    QAction* load = CurvesTest::menuEntry(menu.get(), "Load map");
    ASSERT_NE(load, nullptr);
    TestSupport::quietly([&] { load->trigger(); });
    EXPECT_LT(memory.peakGrowthKilobytes(), 64L * 1024);
    EXPECT_EQ(dialogs.messages(),
              QStringList{"Unable to load relevancy map " + QString::fromStdString(path) +
                          ".\nCheck if the relevancy map is computed from area of selected file."});
    EXPECT_EQ(mapNames(), QStringList{"m"});
}
