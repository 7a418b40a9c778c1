// Hand-made files that lie about themselves, opened as a user opens them:
// products through File > Open, curve files through Curves > Load, plot
// tables through the habitat manager's Load and the plot marks of a shown
// product, relevancy maps through the explorer's "Load map" and "Combine
// maps". Each ends as a file that cannot be used ends (a message, or a
// product whose preview stays black), within a few seconds and without
// raising the peak of the process's resident memory by more than a few
// hundred megabytes: a regression fails the test instead of the machine.

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include <QApplication>
#include <QFileInfo>
#include <QStatusBar>
#include <QTableWidget>
#include <QTreeWidget>

#include "forms/HabitatManagerForm.h"
#include "io/NumberText.h"
#include "support/FakeHttpServer.h"
#include "io/test_hostile_inputs.h"
#include "test_product_shell.h"
#include "windows/HabitatManager.h"

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

    // The texts of every message box and warning (not of questions), in
    // order, one a line.
    std::string toldTexts() const
    {
        QStringList out;
        for (const MessageBoxRequest& request : dialogs.requests) {
            if (request.kind != MessageBoxRequest::Kind::Question)
                out.append(request.text);
        }
        return out.join('\n').toStdString();
    }

    // Loads the file through Curves > Load; returns what it logged.
    std::string loadCurves(const QString& path)
    {
        EXPECT_TRUE(window->ui->actionLoad_curves->isEnabled());
        dialogs.fileAnswers.append(QStringList{path});
        return TestSupport::capturedStdout([&] { window->ui->actionLoad_curves->trigger(); });
    }

    QString refusedCurves(const QString& path, const QString& reason) const
    {
        return "Unable to open curve file " + path + ". " + reason;
    }

    // A KML document of count small rings inside the opened product, each a
    // placemark of its own (190 bytes a ring).
    std::string ringsKml(int count)
    {
        IO::File& product = *window->dataFiles.front();
        std::string ring;
        for (const auto& [x, y] :
             {std::pair{20.0, 20.0}, std::pair{30.0, 20.0}, std::pair{30.0, 30.0}, std::pair{20.0, 20.0}}) {
            double lat = 0.0;
            double lon = 0.0;
            product.pixelToLatLon(x, y, &lat, &lon);
            ring += IO::formatFixed(lon, 12) + "," + IO::formatFixed(lat, 12) + ",0 ";
        }
        const std::string placemark = "<Placemark><name>ring</name><LinearRing><coordinates>" + ring
                                    + "</coordinates></LinearRing></Placemark>\n";
        std::string text = "<kml><Folder>\n";
        text.reserve(text.size() + placemark.size() * static_cast<std::size_t>(count) + 20);
        for (int i = 0; i < count; ++i)
            text += placemark;
        return text + "</Folder></kml>\n";
    }

    // Each way in which a path the user chose reaches a reader: the name
    // the reader asks for, the way there, what the user is told when the
    // file cannot be opened, and whether anything was taken from it.
    struct Entry {
        const char* what;
        std::string fileName;
        std::function<void(const QString&)> use;
        std::function<QString(const QString&)> refusal;
        std::function<bool()> tookSomething;
    };

    std::vector<Entry> entries()
    {
        const QString combined = QString::fromStdString((newFolder() / "combined.pgm").string());
        return {
            {"File > Open", std::string(HostileInputs::productName()) + ".zip",
             [this](const QString& path) { open({path}); },
             [](const QString&) { return QString("Unable to open file. File is corrupted"); },
             [this] { return window->dataFiles.size() != 1; }},
            {"Curves > Load", "curves.kml", [this](const QString& path) { loadCurves(path); },
             [this](const QString& path) { return refusedCurves(path, ""); },
             [this] { return !window->curveSets[0].isEmpty(); }},
            {"the habitat manager's Load", "plots.csv",
             [this](const QString& path) {
                 window->ui->actionHabitat_Manager->trigger();
                 HabitatManager* manager = nullptr;
                 for (QWidget* widget : QApplication::topLevelWidgets())
                     manager = manager ? manager : qobject_cast<HabitatManager*>(widget);
                 ASSERT_NE(manager, nullptr);
                 dialogs.fileAnswers.append(QStringList{path});
                 manager->ui->actionLoad->trigger();
                 managerRows_ = manager->ui->tableWidget->rowCount();
                 delete manager;
             },
             [](const QString&) { return QString("Unable to open file."); }, [this] { return managerRows_ != 0; }},
            {"the relevancy maps' Load", "map.tif", [this](const QString& path) { loadMap(path); },
             [this](const QString& path) { return refusedMap(path); },
             [this] { return !window->relevancyMaps[0].isEmpty(); }},
            {"the relevancy maps' Combine", "map.pgm",
             [this, combined](const QString& path) {
                 dialogs.fileAnswers.append(QStringList{path});
                 dialogs.fileAnswers.append(QStringList{combined});
                 TestSupport::quietly([&] { window->mapCombineAction_triggered(false); });
             },
             [](const QString& path) { return "Unable to combine relevancy map " + path + ". "; },
             [combined] { return fs::exists(combined.toStdString()); }},
        };
    }

    // Offers a path of each kind to every entry: each is refused with the
    // entry's own message, within bounds, and nothing is taken from it. A
    // reader that opened a named pipe is freed after the time bound (and
    // fails on it) instead of waiting for good.
    void refusedAtEveryEntry(const std::vector<HostileInputs::NonRegular>& kinds)
    {
        openGoodProduct();
        // The habitat manager reads its code list when it opens.
        fs::create_directories(cwd.path() / "habitats");
        TestSupport::writeFile((cwd.path() / "habitats" / "habitatCodes.csv").string(), "6510;Meadows\n");
        for (const HostileInputs::NonRegular kind : kinds) {
            for (const Entry& entry : entries()) {
                SCOPED_TRACE(std::string(HostileInputs::describe(kind)) + " through " + entry.what);
                const fs::path path = newFolder() / entry.fileName;
                HostileInputs::makeNonRegular(kind, path);
                const QString shown = QString::fromStdString(path.string());
                dialogs.requests.clear();
                {
                    std::optional<HostileInputs::PipeReleaser> releaser;
                    if (kind == HostileInputs::NonRegular::NamedPipe)
                        releaser.emplace(path, kSeconds + 1.0);
                    withinBounds([&] { entry.use(shown); });
                }
                EXPECT_EQ(toldTexts(), entry.refusal(shown).toStdString());
                EXPECT_FALSE(entry.tookSomething());
            }
        }
    }

    int folders_ = 0;
    int managerRows_ = 0;
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

// Paths that name no regular file reach every reader a user's path reaches
// (a path can be typed into any file dialog). None is opened: a named pipe
// would keep the reader waiting for a writer for good, the program frozen
// behind it.
TEST_F(HostileFiles, NamedPipesAreRefusedBeforeTheyAreOpened)
{
    refusedAtEveryEntry({HostileInputs::NonRegular::NamedPipe});
}

// A device of endless bytes (/dev/zero, through a link named like the file
// the reader asks for), a folder and a socket are refused alike; a link to a
// regular file is read as the file itself.
TEST_F(HostileFiles, DevicesFoldersAndSocketsAreRefusedAndLinksToFilesRead)
{
    using HostileInputs::NonRegular;
    refusedAtEveryEntry({NonRegular::LinkToDevZero, NonRegular::Folder, NonRegular::Socket});

    const fs::path dir = newFolder();
    TestSupport::writeFile((dir / "rings.data").string(), ringsKml(2));
    fs::create_symlink(dir / "rings.data", dir / "rings.kml");
    fs::create_symlink(product().toStdString(), dir / (std::string(HostileInputs::productName()) + ".zip"));
    dialogs.requests.clear();
    loadCurves(QString::fromStdString((dir / "rings.kml").string()));
    open({QString::fromStdString((dir / (std::string(HostileInputs::productName()) + ".zip")).string())});
    EXPECT_EQ(toldTexts(), "");
    ASSERT_EQ(window->curveSets[0].size(), 1);
    EXPECT_EQ(window->curveSets[0][0].curves.size(), 2u);
    EXPECT_EQ(window->dataFiles.size(), 2);
}

// Curve files beyond the reader's ceilings: more curves than a curve file
// may hold (each would become a row with its own check box in the explorer,
// made again at every rebuild), or more bytes than one may have (a sparse
// file stores almost none of them). Each is refused whole before a curve is
// added, with the count or size in the log, and the window still closes
// within bounds.
TEST_F(HostileFiles, CurveFilesBeyondTheCeilingsAreRefusedWhole)
{
    openGoodProduct();
    const struct {
        const char* what;
        std::function<void(const fs::path&)> write;
        const char* logged;
    } cases[] = {
        {"10001 rings", [this](const fs::path& path) { TestSupport::writeFile(path.string(), ringsKml(10001)); },
         "10001 curves"},
        {"200000 rings (38 MB)",
         [this](const fs::path& path) { TestSupport::writeFile(path.string(), ringsKml(200000)); }, "200000 curves"},
        {"a sparse file of 1 GiB",
         [](const fs::path& path) { HostileInputs::writeSparseFile(path, "<kml><Folder>", std::uintmax_t{1} << 30); },
         "1073741824 bytes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path path = newFolder() / "curves.kml";
        c.write(path);
        const QString shown = QString::fromStdString(path.string());
        dialogs.requests.clear();
        std::string log;
        withinBounds([&] { log = loadCurves(shown); });
        EXPECT_EQ(toldTexts(), refusedCurves(shown, "File is corrupted").toStdString());
        EXPECT_NE(log.find(c.logged), std::string::npos) << log;
        EXPECT_TRUE(window->curveSets[0].isEmpty());
        EXPECT_EQ(window->ui->treeWidgetCurvesExplorer->topLevelItemCount(), 0);
    }
    withinBounds([&] { window.reset(); });
}

// A text map whose size line declares 30000 x 30000 values in a sparse file
// as large as they would need (1.9 GB, of which 4 KB are stored): nothing is
// made for the declared size before its values are read, and the zero bytes
// of the hole are no value.
TEST_F(HostileFiles, SparseTextMapsAreRefusedBeforeTheMapIsMade)
{
    openGoodProduct();
    const std::uintmax_t apparent = std::uintmax_t{2} * 30000 * 30000 + 4096;
    const struct {
        const char* what;
        std::vector<std::function<void(const fs::path&)>> files;
    } cases[] = {
        {"the sparse map alone",
         {[&](const fs::path& path) { HostileInputs::writeSparseFile(path, "P2\n30000 30000\n1\n", apparent); }}},
        {"a short map of that size beside the sparse one",
         {[](const fs::path& path) { TestSupport::writeFile(path.string(), "P2\n30000 30000\n1\n0.5\n"); },
          [&](const fs::path& path) { HostileInputs::writeSparseFile(path, "P2\n30000 30000\n1\n", apparent); }}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path dir = newFolder();
        QStringList paths;
        for (std::size_t k = 0; k < c.files.size(); ++k) {
            const fs::path path = dir / ("map" + std::to_string(k) + ".pgm");
            c.files[k](path);
            paths.append(QString::fromStdString(path.string()));
        }
        const QString output = QString::fromStdString((dir / "combined.pgm").string());
        dialogs.requests.clear();
        dialogs.fileAnswers = {paths, {output}};
        withinBounds([&] { TestSupport::quietly([&] { window->mapCombineAction_triggered(false); }); });
        EXPECT_EQ(toldTexts(), ("Unable to combine relevancy map " + paths.first() + ". ").toStdString());
        EXPECT_FALSE(fs::exists(output.toStdString()));
    }
}

// A plot table of 99,999 rows of two fields, read for the marks of a shown
// product: the rows are skipped and told in the status bar and the log, the
// first few by line and the rest as a count, as the habitat manager tells
// them.
TEST_F(HostileFiles, ManySkippedPlotRowsMakeAShortMessage)
{
    openGoodProduct();
    window->setToolDocksEnabled(true);
    std::string table = "Plot ID;Natura 2000;EUNIS;Habitat;Syntaxon;Community;Latitude;Longitude;Date;Altitude(m);"
                        "Aspect(degrees);Slope(degrees);Cover trees;Cover shrubs;Cover herbs;Locality\n";
    for (int i = 1; i <= 99999; ++i)
        table += std::to_string(i) + ";6510\n";
    fs::create_directories(cwd.path() / "habitats");
    TestSupport::writeFile((cwd.path() / "habitats" / "plots.csv").string(), table);
    window->ui->statusBar->clearMessage();
    withinBounds([&] { window->loadHabitatPlotFiles(0); });
    const QString told = window->ui->statusBar->currentMessage();
    EXPECT_TRUE(told.contains("line 11: 2 fields instead of 16")) << told.left(300).toStdString();
    EXPECT_FALSE(told.contains("line 12:")) << told.left(300).toStdString();
    EXPECT_TRUE(told.endsWith("... and 99989 more lines")) << told.right(300).toStdString();
    EXPECT_LT(told.size(), 1000);
    EXPECT_TRUE(dialogs.requests.isEmpty());
}
