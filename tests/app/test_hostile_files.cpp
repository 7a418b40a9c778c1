// Hand-made files that lie about themselves, opened as a user opens them:
// products through File > Open, relevancy maps through the explorer's "Load
// map". Each ends as a file that cannot be used ends (a message, or a product
// whose preview stays black), within a few seconds and without raising the
// peak of the process's resident memory by more than a few hundred
// megabytes: a regression fails the test instead of the machine.

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

#include <QFileInfo>
#include <QTreeWidget>

#include "support/FakeHttpServer.h"
#include "io/test_hostile_inputs.h"
#include "test_product_shell.h"

namespace {

namespace fs = std::filesystem;

// What opening one hostile file may cost at most.
constexpr double kSeconds = 10.0;
constexpr long kKilobytes = 384L * 1024;

// Runs body and checks what it cost.
void withinBounds(const std::function<void()>& body)
{
    const TestSupport::PeakMemory memory;
    const auto start = std::chrono::steady_clock::now();
    body();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, kSeconds);
    EXPECT_LT(memory.peakGrowthKilobytes(), kKilobytes);
}

// A product of one band raster and 5000 empty files in folders of their
// own whose end record declares a single entry, while a record at the very
// end of the archive declares them all.
fs::path hidingEntries(const fs::path& dir, HostileInputs::HiddenCount where, int missing)
{
    const fs::path archive = HostileInputs::writeProductOfFolders(dir, 5000);
    HostileInputs::hideEntryCount(archive, where, missing);
    return archive;
}

class HostileFiles : public ShellTest::ProductShell {
protected:
    // A folder of its own in the test's folder.
    fs::path newFolder()
    {
        const fs::path into = folder.path() / ("hostile" + std::to_string(folders_++));
        fs::create_directories(into);
        return into;
    }

    // Opens a good product through File > Open, so relevancy maps have a
    // product to land on.
    void openGoodProduct()
    {
        open({product()});
        ASSERT_EQ(window->dataFiles.size(), 1);
        ASSERT_TRUE(dialogs.messageTexts().isEmpty());
    }

    // Loads the file as a relevancy map through "Load map".
    void loadMap(const QString& path)
    {
        dialogs.fileAnswers.append(QStringList{path});
        TestSupport::quietly([&] { window->mapLoadAction_triggered(false); });
    }

    QString refusedMap(const QString& path) const
    {
        return "Unable to load relevancy map " + path
            + ".\nCheck if the relevancy map is computed from area of selected file.";
    }

    int folders_ = 0;
};

} // namespace

// Products whose counts and sizes no real product has: an opened product
// with a black preview when only the preview lies, else the message every
// corrupted product gets.
TEST_F(HostileFiles, ProductsOpenedThroughFileOpen)
{
    using HostileInputs::ProductRaster;
    const struct {
        const char* what;
        std::function<fs::path(const fs::path&)> write;
        bool opens;
    } cases[] = {
        // 2.8 KB: the preview would be decoded at 5000 x 5000 pixels.
        {"a preview declaring 160000 x 160000 pixels",
         [](const fs::path& dir) { return HostileInputs::writePreviewProduct(dir, 160000); }, true},
        // 2.8 MB: every raster opened costs milliseconds and searches the
        // listing once more.
        {"1000 band rasters", [](const fs::path& dir) { return HostileInputs::writeCrowdedProduct(dir, 1000); },
         false},
        // 1.3 MB: each folder listed searches the whole listing.
        {"5000 entries in folders of their own",
         [](const fs::path& dir) { return HostileInputs::writeProductOfFolders(dir, 5000); }, false},
        // 2.4 KB: the decoder sets up each tile, 10 KB apiece, at every open.
        {"a band raster declaring 62500 tiles",
         [](const fs::path& dir) {
             return HostileInputs::writeProduct(dir, {ProductRaster{"B04", "10m", 12, 10.0, 10980, 44, 44}});
         },
         false},
        // 2.4 KB, under the product's ceiling: every thread decoding the
        // raster sets up each tile again, 1.7 GB.
        {"a band raster declaring 16129 tiles",
         [](const fs::path& dir) {
             return HostileInputs::writeProduct(dir, {ProductRaster{"B04", "10m", 12, 10.0, 10980, 87, 87}});
         },
         false},
        // 42 KB: the decoder decodes all 256 components of a tile to read
        // one band of it, 3.5 GB.
        {"a band raster of 256 components declaring 10980 x 10980 pixels",
         [](const fs::path& dir) {
             return HostileInputs::writeProduct(dir, {ProductRaster{"B04", "10m", 12, 10.0, 10980, 0, 0, 0, 256}});
         },
         false},
        // 1.3 MB: the end record declares one entry, and a record that ends
        // the archive, cut short by the end of the file, all 5000: GDAL's zip
        // reader takes that one and lists every entry.
        {"5000 entries declared by a zip64 locator in the last 19 bytes",
         [](const fs::path& dir) { return hidingEntries(dir, HostileInputs::HiddenCount::Zip64Locator, 1); }, false},
        {"5000 entries declared by a zip64 locator in the last 16 bytes",
         [](const fs::path& dir) { return hidingEntries(dir, HostileInputs::HiddenCount::Zip64Locator, 4); }, false},
        {"5000 entries declared by an end record in the last 21 bytes",
         [](const fs::path& dir) { return hidingEntries(dir, HostileInputs::HiddenCount::EndRecord, 1); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QString path = QString::fromStdString(c.write(newFolder()).string());
        const auto opened = window->dataFiles.size();
        dialogs.requests.clear();
        withinBounds([&] { open({path}); });
        if (c.opens) {
            EXPECT_TRUE(dialogs.messageTexts().isEmpty()) << dialogs.messageTexts().join("|").toStdString();
            ASSERT_EQ(window->dataFiles.size(), opened + 1);
            const IO::File& product = *window->dataFiles.back();
            ASSERT_EQ(product.preview.size(), 3u);
            for (const auto& plane : product.preview) {
                EXPECT_EQ(plane.size(), static_cast<std::size_t>(343 * 343));
                EXPECT_TRUE(std::all_of(plane.begin(), plane.end(), [](std::uint8_t v) { return v == 0; }));
            }
        } else {
            EXPECT_EQ(dialogs.messageTexts(), QStringList{"Unable to open file. File is corrupted"});
            EXPECT_EQ(window->dataFiles.size(), opened);
        }
    }
}

// Files named ".tif" that GDAL would read as virtual rasters: one whose
// pixels are the bytes of another file the user can read, one whose pixels
// come from an address written in it. Neither is read; the user is told the
// map cannot be loaded.
TEST_F(HostileFiles, VirtualRastersLoadedAsRelevancyMaps)
{
    openGoodProduct();
    FakeHttpServer server;
    server.setHandler([](const FakeHttpServer::Request&) { return FakeHttpServer::Response{404}; });
    const fs::path dir = newFolder();
    TestSupport::writeFile((dir / "private.txt").string(), std::string(40, 'k'));
    // 8 x 5 pixels at grid pixel (30, 20) of the product.
    const double easting = 500000.0 + 300.0;
    const double northing = 5400000.0 - 200.0;
    const struct {
        const char* what;
        std::string text;
    } cases[] = {
        {"bytes of another file",
         HostileInputs::virtualRasterOfFile((dir / "private.txt").string(), 8, 5, easting, northing)},
        {"pixels from an address",
         HostileInputs::virtualRasterOfSource("/vsicurl/" + server.url("/map.tif").toString().toStdString(), 8, 5,
                                              easting, northing)},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QString path = QString::fromStdString((dir / ("map" + std::to_string(index++) + ".tif")).string());
        TestSupport::writeFile(path.toStdString(), c.text);
        dialogs.requests.clear();
        withinBounds([&] { loadMap(path); });
        EXPECT_EQ(dialogs.messageTexts(), QStringList{refusedMap(path)});
        EXPECT_TRUE(window->relevancyMaps[0].isEmpty());
        EXPECT_EQ(window->ui->treeWidgetRMExplorer->topLevelItemCount(), 0);
    }
    EXPECT_EQ(server.requestCount(), 0);
}

// Paths of GDAL's network file systems reach no server, whether as a product
// or as a relevancy map.
TEST_F(HostileFiles, NetworkPathsAreNeverRead)
{
    openGoodProduct();
    FakeHttpServer server;
    server.setHandler([](const FakeHttpServer::Request&) { return FakeHttpServer::Response{404}; });
    const QString base = "/vsicurl/" + server.baseUrl();
    const QString productPath = base + "/" + QString::fromLatin1(HostileInputs::productName()) + ".zip";
    const QString mapPath = base + "/map.tif";

    dialogs.requests.clear();
    open({productPath});
    EXPECT_EQ(dialogs.messageTexts(), QStringList{"Unable to open file. File is corrupted"});
    EXPECT_EQ(window->dataFiles.size(), 1);

    dialogs.requests.clear();
    loadMap(mapPath);
    EXPECT_EQ(dialogs.messageTexts(), QStringList{refusedMap(mapPath)});
    EXPECT_EQ(server.requestCount(), 0);
}
