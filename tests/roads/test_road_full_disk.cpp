// A relevancy map saved onto a full disk: the user loads a map through the
// relevancy-map explorer's menu and saves it with "Save map" over an earlier
// file on a disk with no room left. The save ends at once with the warning,
// the earlier file stays as it was and nothing else is left on the disk; once
// room is made, the same entry writes the map, and GDAL reads it where the
// product lies. The road runs in a child process on a small tmpfs of its
// own, killed when the save hangs.

#include <string>
#include <vector>

#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include "road1_support.h"
#include "support/FullDisk.h"

namespace {

using namespace Road1;

constexpr int kSize = 180; // the product's working grid (and working window)

// The map's place on the working grid and its size (96 000 bytes of values,
// on a disk of 256 KiB).
constexpr int kMapX = 10;
constexpr int kMapY = 20;
constexpr int kMapWidth = 160;
constexpr int kMapHeight = 150;

float mapValue(int x, int y)
{
    return static_cast<float>(x + y * kMapWidth) / (kMapWidth * kMapHeight);
}

// A relevancy map on the product's grid, written by GDAL.
void writeMap(const std::string& path, const Sample::ProductSpec& spec)
{
    GDALAllRegister();
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GTiff");
    ASSERT_NE(driver, nullptr);
    GDALDatasetUniquePtr dataset(driver->Create(path.c_str(), kMapWidth, kMapHeight, 1, GDT_Float32, nullptr));
    ASSERT_TRUE(dataset);
    double transform[6] = {spec.originEasting + 10.0 * kMapX, 10.0, 0.0, spec.originNorthing - 10.0 * kMapY, 0.0,
                           -10.0};
    ASSERT_EQ(dataset->SetGeoTransform(transform), CE_None);
    OGRSpatialReference utm;
    ASSERT_EQ(utm.importFromEPSG(spec.epsg), OGRERR_NONE);
    ASSERT_EQ(dataset->SetSpatialRef(&utm), CE_None);
    std::vector<float> values;
    for (int y = 0; y < kMapHeight; ++y)
        for (int x = 0; x < kMapWidth; ++x)
            values.push_back(mapValue(x, y));
    ASSERT_EQ(dataset->GetRasterBand(1)->RasterIO(GF_Write, 0, 0, kMapWidth, kMapHeight, values.data(), kMapWidth,
                                                  kMapHeight, GDT_Float32, 0, 0, nullptr),
              CE_None);
}


class FullDiskRoad : public RoadShell {
protected:
    int workingSize() const override { return kSize; }

    void SetUp() override
    {
        // The parent only runs the road in its child: no window of its own.
        if (!TestSupport::FullDisk::folder().empty())
            RoadShell::SetUp();
    }

    void TearDown() override
    {
        if (window)
            RoadShell::TearDown();
    }
};

TEST_F(FullDiskRoad, SavingAMapOntoAFullDiskWarnsAndKeepsTheEarlierFile)
{
    const std::string disk = TestSupport::FullDisk::folder();
    if (disk.empty()) {
        const TestSupport::FullDisk::Run run = TestSupport::FullDisk::runCurrentTest(256 * 1024, 90);
        if (run.outcome == TestSupport::FullDisk::Outcome::Refused)
            GTEST_SKIP() << run.detail;
        EXPECT_EQ(run.outcome, TestSupport::FullDisk::Outcome::Passed) << run.detail;
        return;
    }

    Sample::ProductSpec spec;
    spec.size = kSize;
    openThroughFileMenu(product(spec));
    ASSERT_EQ(window->dataFiles.size(), 1);
    openClassificationPage();

    // --- The map is loaded through the explorer's menu.
    const fs::path loaded = folder.path() / "relevancy.tif";
    writeMap(loaded.string(), spec);
    QTreeWidget* mapList = ui().treeWidgetRMExplorer;
    dialogs.fileAnswers.append(QStringList{QString::fromStdString(loaded.string())});
    contextMenuEntry(mapList, "Load map");
    ASSERT_TRUE(dialogs.messageTexts().isEmpty()) << dialogs.messageTexts().join("|").toStdString();
    ASSERT_EQ(mapList->topLevelItemCount(), 1);

    // --- Saved over an earlier file on a full disk: the warning, at once.
    const std::string path = disk + "/map.tif";
    TestSupport::writeFile(path, "earlier");
    const std::string filler = TestSupport::FullDisk::fill();
    ASSERT_FALSE(filler.empty()) << "the disk does not fill up";
    clickRow(mapList, 0);
    dialogs.fileAnswers.append(QStringList{QString::fromStdString(path)});
    contextMenuEntry(mapList, "Save map");
    EXPECT_EQ(dialogs.messageTexts(), QStringList{"Unable to save relevancy map 0. "});
    EXPECT_EQ(TestSupport::readFile(path), "earlier");
    EXPECT_EQ(TestSupport::fileNamesIn(disk), (std::vector<std::string>{"filler", "map.tif"}));

    // --- With room made, the same entry writes the map over the earlier file.
    fs::remove(filler);
    dialogs.requests.clear();
    dialogs.fileAnswers.append(QStringList{QString::fromStdString(path)});
    contextMenuEntry(mapList, "Save map");
    EXPECT_TRUE(dialogs.messageTexts().isEmpty()) << dialogs.messageTexts().join("|").toStdString();
    EXPECT_EQ(TestSupport::fileNamesIn(disk), std::vector<std::string>{"map.tif"});

    GDALDatasetUniquePtr raster(GDALDataset::Open(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY));
    ASSERT_TRUE(raster);
    ASSERT_EQ(raster->GetRasterXSize(), kMapWidth);
    ASSERT_EQ(raster->GetRasterYSize(), kMapHeight);
    double transform[6] = {};
    ASSERT_EQ(raster->GetGeoTransform(transform), CE_None);
    EXPECT_EQ(std::vector<double>(transform, transform + 6),
              (std::vector<double>{spec.originEasting + 10.0 * kMapX, 10.0, 0.0, spec.originNorthing - 10.0 * kMapY,
                                   0.0, -10.0}));
    OGRSpatialReference utm;
    utm.importFromEPSG(spec.epsg);
    ASSERT_NE(raster->GetSpatialRef(), nullptr);
    EXPECT_TRUE(raster->GetSpatialRef()->IsSame(&utm));
    std::vector<float> values(static_cast<std::size_t>(kMapWidth) * kMapHeight);
    ASSERT_EQ(raster->GetRasterBand(1)->RasterIO(GF_Read, 0, 0, kMapWidth, kMapHeight, values.data(), kMapWidth,
                                                 kMapHeight, GDT_Float32, 0, 0, nullptr),
              CE_None);
    for (int y = 0; y < kMapHeight; ++y)
        for (int x = 0; x < kMapWidth; ++x)
            ASSERT_EQ(values[static_cast<std::size_t>(y) * kMapWidth + x], mapValue(x, y)) << x << "," << y;
}

} // namespace
