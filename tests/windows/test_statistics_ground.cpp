// The statistics window measures in the ground metres of the data set the
// curves lie on: a Sentinel-2 product's working grid has pixels of 10 m, an
// orthomosaic the pixel size of the pyramid level it was read at.

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "io/OrthoMosaicBinFile.h"
#include "io/test_jp2zip_fixture.h"
#include "io/test_orthomosaic_lots.h"
#include "statistics_fixture.h"

namespace {

using namespace StatisticsTest;
namespace fs = std::filesystem;

// A data set of one kind, its files written into folder (the working
// directory, where a pyramid's map index is looked up).
using Opener = std::function<std::unique_ptr<IO::File>(const fs::path& folder)>;

std::unique_ptr<IO::File> sentinel2Product(const fs::path& folder)
{
    std::unique_ptr<IO::File> product;
    Jp2ZipTest::quietly(
        [&] { product = Jp2ZipTest::openArchive(Jp2ZipTest::copyOfProduct(folder, Sample::ProductSpec{})); });
    return product;
}

// One lot opened by name: the full resolution of 0.2 m.
std::unique_ptr<IO::File> orthophotoLot(const fs::path& folder)
{
    OrthoLots::writeLot(OrthoLots::lotPath(folder, "A_9-0"), OrthoLots::lotX(0, 9), OrthoLots::lotY(0, 0),
                        OrthoLots::Format::headerSize);
    std::unique_ptr<IO::OrthoMosaicBinFile> lot;
    TestSupport::quietly([&] {
        lot = std::make_unique<IO::OrthoMosaicBinFile>();
        lot->open("A_9-0", "bin", folder.string());
    });
    return lot;
}

// An area of 17 lots in one row across sheets A and B: the coarsest level,
// 1.6 m.
std::unique_ptr<IO::File> orthomosaicOfSeventeenLots(const fs::path& folder)
{
    OrthoLots::writeText(folder / "orthomosaicMap.ini", OrthoLots::twoByThreeMapIndex());
    OrthoLots::writeLot(OrthoLots::lotPath(folder, "A_9-0"), OrthoLots::lotX(0, 9), OrthoLots::lotY(0, 0),
                        OrthoLots::Format::headerSize);
    std::unique_ptr<IO::OrthoMosaicBinFile> mosaic;
    TestSupport::quietly([&] {
        mosaic = std::make_unique<IO::OrthoMosaicBinFile>();
        mosaic->openRegion(OrthoLots::lotX(0, 9) + 100.0, OrthoLots::lotY(0, 0) - 100.0,
                           OrthoLots::lotX(1, 3) + 200.0, OrthoLots::lotY(0, 0) - 200.0, folder.string());
    });
    return mosaic;
}

TEST_F(StatisticsWindowTest, AreasPerimetersAndDistancesAreInTheDataSetsGroundMetres)
{
    // A square of 10.5 pixels and the same square one pixel to the east:
    // 110.25 px^2 and 42 px each; half of the corners lie 1 px from the
    // other square, the rest on it (mean 0.5 px, largest and 95th
    // percentile 1 px).
    struct Kind {
        const char* name;
        Opener open;
        const char* area;
        const char* perimeter;
        const char* meanDistance;
        const char* largestDistance;
    };
    const Kind kinds[] = {
        {"Sentinel-2 product, 10 m", sentinel2Product, "11025.000", "420.000", "5.000", "10.000"},
        {"orthophoto lot, 0.2 m", orthophotoLot, "4.410", "8.400", "0.100", "0.200"},
        {"orthomosaic at its coarsest level, 1.6 m", orthomosaicOfSeventeenLots, "282.240", "67.200", "0.800",
         "1.600"},
    };
    for (const Kind& kind : kinds) {
        SCOPED_TRACE(kind.name);
        TestSupport::ScopedWorkingDirectory folder;
        const std::unique_ptr<IO::File> file = kind.open(folder.path());
        ASSERT_TRUE(file);
        const int bands = static_cast<int>(file->bands.size());
        sets = {squareSet("drawn", {{10.0, 10.0, 10.5}}, bands), squareSet("shifted", {{11.0, 10.0, 10.5}}, bands)};
        open({file.get()});

        // One channel is enough: the curve rows are what is looked at.
        click(window->ui->pushButtonStatisticsUnselectAllChannels);
        clickRow(window->ui->listWidgetStatisticsChannels, 0);
        click(window->ui->pushButtonStatisticsCompute);
        EXPECT_TRUE(dialogs.requests.isEmpty());
        for (const int column : {2, 2 + 4}) {
            EXPECT_EQ(cell(table(), 2, column).toStdString(), kind.area);
            EXPECT_EQ(cell(table(), 3, column).toStdString(), kind.perimeter);
            EXPECT_EQ(cell(table(), 4, column).toStdString(), "0.785") << "the ratio has no unit";
        }

        click(window->ui->pushButtonCompare);
        EXPECT_EQ(cell(table(), 2, 1).toStdString(), kind.area);
        EXPECT_EQ(cell(table(), 3, 3).toStdString(), kind.perimeter);
        const int h = 3 * 1 + 3;
        EXPECT_EQ(cell(table(), h + 1, 0).toStdString(), "Mean Hausdorff distance [m]:");
        EXPECT_EQ(cell(table(), h + 1, 1).toStdString(), kind.meanDistance);
        EXPECT_EQ(cell(table(), h + 2, 1).toStdString(), kind.largestDistance);
        EXPECT_EQ(cell(table(), h + 3, 1).toStdString(), kind.largestDistance);
        window.reset();
    }
}

} // namespace
