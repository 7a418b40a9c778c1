// The orthomosaic export window: the pyramid writer on small tiles, the tile
// list of a source zip, the export of tiles of every kind (written, refused,
// stopping) and its message, a write that fails part-way, and one full-size
// tile read back through the pyramid data set at every level.

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <memory>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QToolButton>
#include <QTreeWidget>
#include <cpl_string.h>
#include <cpl_vsi.h>
#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogr_spatialref.h>

#include "acquisition/OrthoManager.h"
#include "acquisition/OrthoMosaicExport.h"
#include "app/test_dialogs.h"
#include "forms/OrthoManagerForm.h"
#include "io/GdalHandles.h"
#include "io/OrthoMosaicBinFile.h"
#include "io/OrthoMosaicBinFormat.h"
#include "io/OrthoMosaicZipFile.h"
#include "io/test_hostile_inputs.h"
#include "io/test_orthomosaic_lots.h"
#include "support/FileSizeLimit.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
namespace Format = IO::OrthoMosaicBinFormat;
using OrthoMosaicExport::LotShape;
using OrthoMosaicExport::WriteResult;

namespace {

// ------------------------------------------------------------------ fixtures

std::string krovakWkt(bool withCodes)
{
    OGRSpatialReference krovak;
    EXPECT_EQ(krovak.importFromEPSG(5514), OGRERR_NONE);
    char* text = nullptr;
    krovak.exportToWkt(&text);
    std::string wkt = text ? text : "";
    CPLFree(text);
    if (!withCodes)
        wkt = std::regex_replace(wkt, std::regex(R"(,\s*AUTHORITY\["EPSG","[0-9]+"\])"), "");
    return wkt;
}

std::string epsgWkt(int code)
{
    OGRSpatialReference reference;
    EXPECT_EQ(reference.importFromEPSG(code), OGRERR_NONE);
    char* text = nullptr;
    reference.exportToWkt(&text);
    std::string wkt = text ? text : "";
    CPLFree(text);
    return wkt;
}

// An 8-bit GeoTIFF tile: north-up 0.2 m Krovak at a corner in Prague unless
// told otherwise.
struct Tile {
    int width = 24;
    int height = 20;
    int bands = 3;
    std::array<double, 6> transform{-741000.0, 0.2, 0.0, -1044000.0, 0.0, -0.2};
    std::string projection = krovakWkt(true);  // empty: none
    std::function<std::uint8_t(int, int, int)> value = [](int b, int x, int y) {
        return static_cast<std::uint8_t>((x * 7 + y * 13 + b * 60) % 256);
    };
    // GeoTIFF creation options. Band-interleaved by default: each band of
    // the tile decodes on its own.
    std::vector<std::string> layout{"COMPRESS=DEFLATE", "INTERLEAVE=BAND"};
};

std::string tileBytes(const Tile& tile)
{
    IO::Gdal::registerDrivers();
    const IO::Gdal::MemoryFile file(".tif");
    {
        GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GTiff");
        std::vector<char*> options;
        for (const std::string& option : tile.layout)
            options.push_back(const_cast<char*>(option.c_str()));
        options.push_back(nullptr);
        GDALDatasetUniquePtr dataset(driver->Create(file.path().c_str(), tile.width, tile.height, tile.bands,
                                                    GDT_Byte, options.data()));
        EXPECT_TRUE(dataset);
        if (!dataset)
            return {};
        std::array<double, 6> transform = tile.transform;
        dataset->SetGeoTransform(transform.data());
        if (!tile.projection.empty())
            dataset->SetProjection(tile.projection.c_str());
        std::vector<std::uint8_t> samples(static_cast<std::size_t>(tile.width) * static_cast<std::size_t>(tile.height));
        for (int b = 0; b < tile.bands; ++b) {
            for (int y = 0; y < tile.height; ++y)
                for (int x = 0; x < tile.width; ++x)
                    samples[static_cast<std::size_t>(y) * static_cast<std::size_t>(tile.width)
                            + static_cast<std::size_t>(x)] = tile.value(b, x, y);
            EXPECT_EQ(dataset->GetRasterBand(b + 1)->RasterIO(GF_Write, 0, 0, tile.width, tile.height, samples.data(),
                                                              tile.width, tile.height, GDT_Byte, 0, 0, nullptr),
                      CE_None);
        }
    }
    const std::vector<std::uint8_t> bytes = file.bytes();
    return {bytes.begin(), bytes.end()};
}

// Appends an entry to a zip (created on the first entry).
void addToZip(const std::string& zip, const std::string& entry, const std::string& bytes)
{
    VSILFILE* file = VSIFOpenL(("/vsizip/" + zip + "/" + entry).c_str(), "wb");
    ASSERT_NE(file, nullptr) << entry;
    EXPECT_EQ(VSIFWriteL(bytes.data(), 1, bytes.size(), file), bytes.size());
    VSIFCloseL(file);
}

std::string captured(const std::function<void()>& body)
{
    return TestSupport::capturedStdout(body);
}

// The lot bytes the writer makes of a tile opened by a fresh object.
std::string lotOfTile(const std::string& folder, const std::string& name, LotShape shape)
{
    std::string bytes;
    TestSupport::quietly([&] {
        IO::OrthoMosaicZipFile image;
        image.open(name, "tif", folder);
        for (int b = 0; b < 3; ++b)
            image.loadBand(b, 0, 0.0, 1.0, true, false);
        const OrthoMosaicExport::ByteSink sink = [&bytes](std::string_view piece) {
            bytes.append(piece);
            return true;
        };
        OrthoMosaicExport::writeHeader(sink, image.originX, image.originY);
        OrthoMosaicExport::writeLevels(sink,
                                       {image.bands[0].levels[0].data.get(), image.bands[1].levels[0].data.get(),
                                        image.bands[2].levels[0].data.get()},
                                       shape);
    });
    return bytes;
}

std::vector<std::string> folderEntries(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// -------------------------------------------------------- the lot writer

// Three bands of a w x h tile held in memory.
struct Bands {
    int width;
    int height;
    std::array<std::vector<float>, 3> values;
    std::array<const float*, 3> pointers() const { return {values[0].data(), values[1].data(), values[2].data()}; }
};

struct Written {
    std::string bytes;
    int calls = 0;
};

WriteResult writeLot(const Bands& bands, Written& out, int failAtCall = -1)
{
    const OrthoMosaicExport::ByteSink sink = [&out, failAtCall](std::string_view piece) {
        if (out.calls++ == failAtCall)
            return false;
        out.bytes.append(piece);
        return true;
    };
    EXPECT_TRUE(OrthoMosaicExport::writeHeader(sink, -741000.0, -1044000.0));
    return OrthoMosaicExport::writeLevels(sink, bands.pointers(), {bands.width, bands.height});
}

TEST(OrthoLotWriter, WritesHeaderAndEveryLevelAsThreePlanesInBandOrder)
{
    // 12 x 10: no level past 0 divides evenly, and level 3 is 2 x 2.
    Bands bands{12, 10, {}};
    for (auto& band : bands.values)
        band.resize(120);
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 12; ++x) {
            bands.values[0][y * 12 + x] = 0.5f;
            bands.values[1][y * 12 + x] = static_cast<float>(x) / 11.0f;
            bands.values[2][y * 12 + x] = 1.0f;
        }
    }
    Written out;
    std::string log;
    WriteResult result = WriteResult::WriteFailed;
    log = captured([&] { result = writeLot(bands, out); });
    ASSERT_EQ(result, WriteResult::Written);

    const LotShape shape{12, 10};
    ASSERT_EQ(static_cast<std::int64_t>(out.bytes.size()), shape.fileSize());
    EXPECT_EQ(shape.fileSize(), 19 + 3 * (12 * 10 + 6 * 5 + 3 * 3 + 2 * 2));
    EXPECT_EQ(out.calls, 1 + 4 * 3) << "the header, then one call per plane";

    Format::HeaderBytes header{};
    std::memcpy(header.data(), out.bytes.data(), header.size());
    EXPECT_TRUE(Format::hasMagic(header));
    EXPECT_EQ(Format::headerX(header), -741000.0);
    EXPECT_EQ(Format::headerY(header), -1044000.0);

    auto byteAt = [&](int level, int plane, int x, int y) {
        std::int64_t offset = Format::headerSize;
        for (int k = 0; k < level; ++k)
            offset += 3 * shape.level(k).planeBytes();
        offset += plane * shape.level(level).planeBytes() + static_cast<std::int64_t>(y) * shape.level(level).width + x;
        return static_cast<int>(static_cast<unsigned char>(out.bytes[static_cast<std::size_t>(offset)]));
    };
    for (int level = 0; level < 4; ++level) {
        const OrthoMosaicExport::LevelSize size = shape.level(level);
        for (int y = 0; y < size.height; ++y) {
            for (int x = 0; x < size.width; ++x) {
                EXPECT_EQ(byteAt(level, 0, x, y), 128) << "0.5 * 255 + 0.5 rounds to 128";
                EXPECT_EQ(byteAt(level, 2, x, y), 255);
            }
        }
    }
    for (int x = 0; x < 12; ++x)
        EXPECT_EQ(byteAt(0, 1, x, 3), static_cast<int>(static_cast<float>(x) / 11.0f * 255.0f + 0.5f));
    // The last level-3 column covers columns 8..11 and four mirrored ones
    // past the edge: the mean of columns 8..11, not half of it.
    const float lastColumn = (8.0f + 9.0f + 10.0f + 11.0f) / 4.0f / 11.0f;
    EXPECT_NEAR(byteAt(3, 1, 1, 0), lastColumn * 255.0f + 0.5f, 1.0);
    EXPECT_NEAR(byteAt(3, 1, 0, 1), (3.5f / 11.0f) * 255.0f + 0.5f, 1.0);

    EXPECT_EQ(log, "Converting original img data... done\n"
                   "Writing original img data... done\n"
                   "Scaling down by 2... done\n"
                   "Converting scaled down by 2 img data... done\n"
                   "Writing scaled down by 2 img data... done\n"
                   "Scaling down by 4... done\n"
                   "Converting scaled down by 4 img data... done\n"
                   "Writing scaled down by 4 img data... done\n"
                   "Converting scaled down by 8 img data... done\n"
                   "Writing scaled down by 8 img data... done\n");
}

TEST(OrthoLotWriter, ConvertsEverySampleAsTheFormatRoundsIt)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float infinity = std::numeric_limits<float>::infinity();
    const std::vector<float> samples{0.0f, 0.5f, 1.0f, 1.0f / 510.0f, 0.9999f, 127.5f / 255.0f, 0.25f, 0.75f,
                                     -0.5f, 1.5f, nan, infinity, -infinity, 1e-8f, 0.998f, 0.002f};
    Bands bands{16, 1, {samples, samples, samples}};
    Written out;
    TestSupport::quietly([&] { EXPECT_EQ(writeLot(bands, out), WriteResult::Written); });
    for (std::size_t i = 0; i < samples.size(); ++i)
        EXPECT_EQ(static_cast<unsigned char>(out.bytes[Format::headerSize + i]), Format::planeByte(samples[i]))
            << samples[i];
}

TEST(OrthoLotWriter, StopsAtTheFirstRefusedWrite)
{
    Bands bands{8, 8, {std::vector<float>(64, 0.25f), std::vector<float>(64, 0.5f), std::vector<float>(64, 0.75f)}};
    for (const int failing : {0, 2, 7, 12}) {
        Written out;
        WriteResult result = WriteResult::Written;
        TestSupport::quietly([&] {
            const OrthoMosaicExport::ByteSink sink = [&out, failing](std::string_view piece) {
                if (out.calls++ == failing)
                    return false;
                out.bytes.append(piece);
                return true;
            };
            const bool header = OrthoMosaicExport::writeHeader(sink, 0.0, 0.0);
            result = header ? OrthoMosaicExport::writeLevels(sink, bands.pointers(), {8, 8})
                            : WriteResult::WriteFailed;
        });
        EXPECT_EQ(result, WriteResult::WriteFailed) << failing;
        EXPECT_EQ(out.calls, failing + 1) << "nothing is written after the refusal";
    }
}

TEST(OrthoLotWriter, TheFullLotIsTheFormatsLayout)
{
    const LotShape full = OrthoMosaicExport::fullLot;
    EXPECT_EQ(full.fileSize(), 498048769);
    EXPECT_EQ(full.level(3).width, 1563);
    EXPECT_EQ(Format::headerSize + 3 * full.level(0).planeBytes(), 375000019) << "level 1, band 0";
}

// ------------------------------------------------------------- the window

class OrthoWindow : public testing::Test {
protected:
    void SetUp() override
    {
        QSettings().clear();
        zip = dir.file("Mosaic.zip");
        fs::create_directories(out);
    }

    std::unique_ptr<OrthoManager> makeWindow()
    {
        std::unique_ptr<OrthoManager> window;
        TestSupport::quietly([&] { window = std::make_unique<OrthoManager>(); });
        return window;
    }

    QStringList rowNames(const OrthoManager& window) const
    {
        QStringList names;
        QTreeWidget* tree = window.ui->treeWidgetTiles;
        for (int row = 0; row < tree->topLevelItemCount(); ++row)
            names.append(tree->topLevelItem(row)->text(1));
        return names;
    }

    QCheckBox* box(const OrthoManager& window, int row) const
    {
        QTreeWidget* tree = window.ui->treeWidgetTiles;
        return qobject_cast<QCheckBox*>(tree->itemWidget(tree->topLevelItem(row), 0));
    }

    QString tilePath(const std::string& entry) const { return QString::fromStdString(zip + "/" + entry); }

    TestSupport::TempDir dir;
    std::string zip;
    fs::path out = dir.path() / "lots";
    ShellTest::Dialogs dialogs;
};

TEST_F(OrthoWindow, ListsTheTilesOfTheZipByLocationAndRemembersIt)
{
    const std::string tile = tileBytes(Tile{});
    addToZip(zip, "tiles/Praha_1.tif", tile);
    addToZip(zip, "tiles/Praha_1.tif.aux.xml", "<PAMDataset></PAMDataset>");
    addToZip(zip, "tiles/Brno_1.tiff", tile);
    addToZip(zip, "readme.txt", "tiles");
    addToZip(zip, "tiles/Praha_2.v2.tif", tile);

    auto window = makeWindow();
    dialogs.fileAnswers.append(QStringList{QString::fromStdString(zip)});
    window->ui->toolButtonPathSelection->click();
    ASSERT_EQ(dialogs.fileRequests.size(), 1);
    EXPECT_EQ(dialogs.fileRequests[0].caption, "Load image data");
    EXPECT_EQ(dialogs.fileRequests[0].filter, "Zip file (*.zip)");
    EXPECT_TRUE(dialogs.messageTexts().isEmpty());

    EXPECT_EQ(window->tilePaths,
              QStringList({tilePath("tiles/Praha_1.tif"), tilePath("tiles/Brno_1.tiff"), tilePath("tiles/Praha_2.v2.tif")}))
        << "sidecars and other entries are no tiles";
    EXPECT_EQ(window->ui->lineEditPath->text(), QString::fromStdString(zip));
    QStringList locations;
    for (int i = 0; i < window->ui->comboBoxLocation->count(); ++i)
        locations.append(window->ui->comboBoxLocation->itemText(i));
    EXPECT_EQ(locations, QStringList({"All tiles", "Praha", "Brno"}));
    EXPECT_EQ(rowNames(*window), QStringList({"Praha_1", "Brno_1", "Praha_2"}));
    for (int row = 0; row < 3; ++row) {
        ASSERT_NE(box(*window, row), nullptr);
        EXPECT_FALSE(box(*window, row)->isChecked());
        EXPECT_EQ(box(*window, row)->property("id").toInt(), row);
    }

    // A location keeps only its tiles; Select All checks only those rows.
    window->ui->comboBoxLocation->setCurrentIndex(1);
    EXPECT_EQ(rowNames(*window), QStringList({"Praha_1", "Praha_2"}));
    EXPECT_EQ(box(*window, 1)->property("id").toInt(), 2);
    window->ui->pushButtonSelectAllTiles->click();
    EXPECT_TRUE(box(*window, 0)->isChecked() && box(*window, 1)->isChecked());
    window->ui->pushButtonUnSelectAllTiles->click();
    EXPECT_FALSE(box(*window, 0)->isChecked() || box(*window, 1)->isChecked());

    // A new window opens the same zip again.
    auto again = makeWindow();
    EXPECT_EQ(again->sourceZipPath, QString::fromStdString(zip));
    EXPECT_EQ(again->sourceDirectory, QString::fromStdString(dir.path().string()));
    EXPECT_EQ(rowNames(*again), QStringList({"Praha_1", "Brno_1", "Praha_2"}));
}

TEST_F(OrthoWindow, AZipWithoutTilesIsRefusedAndForgotten)
{
    addToZip(zip, "tiles/Praha_1.tif", tileBytes(Tile{}));
    auto window = makeWindow();
    ASSERT_TRUE(window->openSourceZip(QString::fromStdString(zip)));

    const std::string empty = dir.file("empty.zip");
    addToZip(empty, "tiles/Praha_1.tif.aux.xml", "<PAMDataset></PAMDataset>");
    for (const std::string& chosen : {empty, dir.file("missing.zip")}) {
        dialogs.fileAnswers.append(QStringList{QString::fromStdString(chosen)});
        window->ui->toolButtonPathSelection->click();
        EXPECT_TRUE(window->sourceZipPath.isEmpty());
        EXPECT_TRUE(window->ui->lineEditPath->text().isEmpty());
        EXPECT_EQ(window->ui->treeWidgetTiles->topLevelItemCount(), 0);
    }
    EXPECT_EQ(dialogs.messageTexts(), QStringList({"Unsupported source zip file", "Unsupported source zip file"}));
    EXPECT_EQ(dialogs.requests[0].icon, 0);
    // The stored choice stays the last good zip.
    EXPECT_EQ(QSettings().value("orthoManager/sourceFilePath").toString(), QString::fromStdString(zip));
}

// Listing a zip costs time in the square of its entries: one that holds far
// more entries than a mosaic's tiles and side-cars is refused unlisted, also
// when its end record declares a single entry while a zip64 locator at the
// very end of the archive, cut short by the end of the file, declares them
// all (GDAL's zip reader takes the locator and lists every entry).
TEST_F(OrthoWindow, AZipOfMoreEntriesThanAnyMosaicIsRefused)
{
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> entries;
    const std::string tile = tileBytes(Tile{});
    entries.emplace_back("tiles/Praha_1.tif", std::vector<std::uint8_t>(tile.begin(), tile.end()));
    for (int i = 1; i <= 5000; ++i)
        entries.emplace_back("notes/" + std::to_string(i) + "/readme.txt", std::vector<std::uint8_t>{});
    for (const bool hidden : {false, true}) {
        SCOPED_TRACE(hidden ? "count hidden" : "count declared");
        const fs::path crowded = dir.path() / (hidden ? "hidden" : "crowded");
        fs::create_directories(crowded);
        const fs::path archive = HostileInputs::writeArchive(crowded, entries);
        if (hidden)
            HostileInputs::hideEntryCount(archive, HostileInputs::HiddenCount::Zip64Locator, 1);
        const std::string chosen = archive.string();

        dialogs.requests.clear();
        auto window = makeWindow();
        dialogs.fileAnswers.append(QStringList{QString::fromStdString(chosen)});
        window->ui->toolButtonPathSelection->click();
        EXPECT_EQ(dialogs.messageTexts(), QStringList{"Unsupported source zip file"});
        EXPECT_TRUE(window->tilePaths.isEmpty());
        EXPECT_EQ(window->ui->treeWidgetTiles->topLevelItemCount(), 0);
    }
}

TEST_F(OrthoWindow, ExportWithoutAFolderAsksForOneAndOtherwiseStops)
{
    addToZip(zip, "tiles/Praha_1.tif", tileBytes(Tile{}));
    auto window = makeWindow();
    window->lotShape = {24, 20};
    ASSERT_TRUE(window->openSourceZip(QString::fromStdString(zip)));
    window->setAllTilesChecked(true);

    window->ui->pushButtonExport->click();
    ASSERT_EQ(dialogs.fileRequests.size(), 1);
    EXPECT_EQ(dialogs.fileRequests[0].kind, FileDialogRequest::Kind::Directory);
    EXPECT_EQ(dialogs.fileRequests[0].caption, "Select directory");
    EXPECT_EQ(dialogs.messageTexts(), QStringList({"Select the export directory"}));
    EXPECT_TRUE(folderEntries(out).empty());

    // Chosen in the dialog: stored, shown and used.
    dialogs.fileAnswers.append(QStringList{QString::fromStdString(out.string())});
    std::string log = captured([&] { window->ui->pushButtonExport->click(); });
    EXPECT_EQ(window->ui->lineEditBinDirPath->text(), QString::fromStdString(out.string()));
    EXPECT_EQ(QSettings().value("orthoManager/exportDirectoryPath").toString(), QString::fromStdString(out.string()));
    EXPECT_EQ(folderEntries(out), std::vector<std::string>({"Praha_1.bin"}));
    EXPECT_NE(log.find("Started file: Praha_1\n"), std::string::npos);
    EXPECT_NE(log.find("All files successfully created\n"), std::string::npos);
    EXPECT_EQ(dialogs.messageTexts().last(), "Export finished.\nPyramid files written: 1");
}

TEST_F(OrthoWindow, WritesGoodTilesAsAFreshReaderWouldAndListsTheRefusedOnes)
{
    // Two good tiles of different histograms, then tiles that are no lot:
    // another size, another projection, not north-up at 0.2 m, grey.
    Tile dark;
    dark.value = [](int b, int x, int y) { return static_cast<std::uint8_t>((x + y + b) % 40); };
    Tile bright;
    bright.projection = krovakWkt(false);
    bright.value = [](int b, int x, int y) { return static_cast<std::uint8_t>(150 + (x * 3 + y * 5 + b) % 100); };
    Tile odd;
    odd.width = 100;
    odd.height = 100;
    Tile utm;
    utm.projection = epsgWkt(32633);
    Tile coarse;
    coarse.transform = {-741000.0, 0.4, 0.0, -1044000.0, 0.0, -0.4};
    Tile grey;
    grey.bands = 1;
    addToZip(zip, "a/dark.tif", tileBytes(dark));
    addToZip(zip, "a/odd.tif", tileBytes(odd));
    addToZip(zip, "a/utm.tif", tileBytes(utm));
    addToZip(zip, "a/bright.tif", tileBytes(bright));
    addToZip(zip, "a/coarse.tif", tileBytes(coarse));
    addToZip(zip, "a/grey.tif", tileBytes(grey));

    auto window = makeWindow();
    window->lotShape = {24, 20};
    window->exportDirectory = QString::fromStdString(out.string());
    ASSERT_TRUE(window->openSourceZip(QString::fromStdString(zip)));
    window->setAllTilesChecked(true);
    const std::string log = captured([&] { window->ui->pushButtonExport->click(); });

    EXPECT_EQ(folderEntries(out), std::vector<std::string>({"bright.bin", "dark.bin"}));
    const std::string folder = "/vsizip/" + zip + "/a";
    for (const std::string name : {"dark", "bright"}) {
        const std::string lot = TestSupport::readFile((out / (name + ".bin")).string());
        EXPECT_EQ(static_cast<std::int64_t>(lot.size()), LotShape({24, 20}).fileSize());
        EXPECT_TRUE(lot == lotOfTile(folder, name, {24, 20})) << name << ": one object served both tiles";
    }

    const QStringList refused{tilePath("a/odd.tif"), tilePath("a/utm.tif"), tilePath("a/coarse.tif"),
                              tilePath("a/grey.tif")};
    std::string failedLines;
    for (const QString& path : refused)
        failedLines += "Failed file: " + path.toStdString() + "\n";
    EXPECT_NE(log.find(failedLines), std::string::npos) << log;
    EXPECT_EQ(log.find("All files successfully created"), std::string::npos);

    ASSERT_EQ(dialogs.requests.size(), 1);
    EXPECT_EQ(dialogs.requests[0].icon, 2);
    const QString message = dialogs.requests[0].text;
    EXPECT_TRUE(message.startsWith("Export finished.\nPyramid files written: 2\nFailed files:\n")) << message.toStdString();
    for (const QString& path : refused)
        EXPECT_TRUE(message.contains(path)) << path.toStdString();
    EXPECT_TRUE(message.contains("100 x 100 pixels instead of 24 x 20"));
    EXPECT_TRUE(message.contains("not in Krovak East-North"));
    EXPECT_TRUE(message.contains("not a north-up grid of 0.2 m pixels"));
    EXPECT_TRUE(message.contains("fewer than three bands"));
}

TEST_F(OrthoWindow, ATileThatCannotBeOpenedStopsTheExportThere)
{
    addToZip(zip, "a/first.tif", tileBytes(Tile{}));
    addToZip(zip, "a/broken.tif", std::string(4000, 'x'));
    addToZip(zip, "a/last.tif", tileBytes(Tile{}));
    auto window = makeWindow();
    window->lotShape = {24, 20};
    window->exportDirectory = QString::fromStdString(out.string());

    bool handled = true;
    const std::string log = captured([&] {
        handled = window->exportTiles({tilePath("a/first.tif"), tilePath("a/broken.tif"), tilePath("a/last.tif")});
    });
    EXPECT_FALSE(handled);
    EXPECT_EQ(folderEntries(out), std::vector<std::string>({"first.bin"})) << "written lots stay";
    EXPECT_EQ(log.find("Started file: last"), std::string::npos);
    EXPECT_EQ(log.find("All files successfully created"), std::string::npos);
    ASSERT_EQ(dialogs.requests.size(), 1);
    EXPECT_EQ(dialogs.requests[0].icon, 2);
    EXPECT_EQ(dialogs.requests[0].text, "Export stopped: " + tilePath("a/broken.tif")
                                            + ": the tile cannot be opened.\nPyramid files written: 1");
}

TEST_F(OrthoWindow, AFailedWriteLeavesNoLotAndKeepsAnOldOne)
{
    addToZip(zip, "a/kept.tif", tileBytes(Tile{}));
    addToZip(zip, "a/new.tif", tileBytes(Tile{}));
    TestSupport::writeFile((out / "kept.bin").string(), "old lot");
    auto window = makeWindow();
    window->lotShape = {24, 20};
    window->exportDirectory = QString::fromStdString(out.string());

    bool handled = true;
    {
        // Room for the header and a part of the first plane only.
        TestSupport::FileSizeLimit limit(300);
        ASSERT_TRUE(limit.active());
        TestSupport::quietly([&] { handled = window->exportTiles({tilePath("a/kept.tif"), tilePath("a/new.tif")}); });
    }
    EXPECT_FALSE(handled);
    EXPECT_EQ(folderEntries(out), std::vector<std::string>({"kept.bin"})) << "no partial lot, no temporary file";
    EXPECT_EQ(TestSupport::readFile((out / "kept.bin").string()), "old lot");
    ASSERT_EQ(dialogs.messageTexts().size(), 1);
    EXPECT_TRUE(dialogs.messageTexts()[0].contains("cannot be written")) << dialogs.messageTexts()[0].toStdString();

    // A folder that is gone stops the export the same way.
    window->exportDirectory = QString::fromStdString((dir.path() / "gone").string());
    TestSupport::quietly([&] { handled = window->exportTiles({tilePath("a/new.tif")}); });
    EXPECT_FALSE(handled);
    EXPECT_TRUE(dialogs.messageTexts().last().contains("cannot be created"));
}

// A tile whose histogram gives the automatic crop real limits in every band
// b: a tenth of the samples at 30 + b (the lowest bin above 500 samples), a
// tenth at 200 + b (the highest above 4000), the rest spread over 10..249,
// so samples are clamped at both ends.
std::uint8_t croppedSample(int b, int x, int y)
{
    switch ((x * 7 + y * 3) % 10) {
    case 0:
        return static_cast<std::uint8_t>(200 + b);
    case 1:
        return static_cast<std::uint8_t>(30 + b);
    default:
        return static_cast<std::uint8_t>(10 + (x * 13 + y * 29 + b * 5) % 240);
    }
}

TEST_F(OrthoWindow, EveryLayoutOfATileGivesTheRecordedLot)
{
    // SHA-256 of the lot of the 301 x 203 tile below (no level divides
    // evenly, so every level mirrors its last blocks), as the export has
    // always written it.
    const std::string recorded = "211a6c029f6c2dcfaa638944a7502c01e4182433d079244b316586259ccbd62a";
    struct Layout {
        std::string name;
        int bands;
        std::vector<std::string> options;
    };
    const std::vector<Layout> layouts{
        {"band-interleaved", 3, {"COMPRESS=DEFLATE", "INTERLEAVE=BAND"}},
        {"pixel-interleaved strips of 7 rows", 3, {"INTERLEAVE=PIXEL", "BLOCKYSIZE=7"}},
        {"pixel-interleaved deflated 64 x 48 blocks", 3,
         {"COMPRESS=DEFLATE", "INTERLEAVE=PIXEL", "TILED=YES", "BLOCKXSIZE=64", "BLOCKYSIZE=48"}},
        {"four pixel-interleaved bands", 4, {"INTERLEAVE=PIXEL"}},
    };
    const LotShape shape{301, 203};
    QStringList paths;
    for (std::size_t i = 0; i < layouts.size(); ++i) {
        Tile tile;
        tile.width = shape.width;
        tile.height = shape.height;
        tile.bands = layouts[i].bands;
        tile.value = croppedSample;
        tile.layout = layouts[i].options;
        const std::string entry = "a/layout" + std::to_string(i) + ".tif";
        addToZip(zip, entry, tileBytes(tile));
        paths.append(tilePath(entry));
    }

    auto window = makeWindow();
    window->lotShape = shape;
    window->exportDirectory = QString::fromStdString(out.string());
    bool handled = false;
    TestSupport::quietly([&] { handled = window->exportTiles(paths); });
    EXPECT_TRUE(handled);
    for (std::size_t i = 0; i < layouts.size(); ++i) {
        SCOPED_TRACE(layouts[i].name);
        const std::string name = "layout" + std::to_string(i);
        const std::string lot = TestSupport::readFile((out / (name + ".bin")).string());
        ASSERT_EQ(static_cast<std::int64_t>(lot.size()), shape.fileSize());
        EXPECT_EQ(
            QCryptographicHash::hash(QByteArray::fromStdString(lot), QCryptographicHash::Sha256).toHex().toStdString(),
            recorded);
        EXPECT_TRUE(lot == lotOfTile("/vsizip/" + zip + "/a", name, shape)) << "read band by band";
    }
}

// ------------------------------------------------------ a full-size tile

// Sample of the full-size tile; every value 0..255 is frequent in every
// band, so the automatic crop maps 1..255 onto [0, 1].
std::uint8_t fullSample(int b, int x, int y)
{
    return static_cast<std::uint8_t>((x + 3 * y + 85 * b) & 255);
}

float normalised(int b, int x, int y)
{
    const float lo = 1.0f;
    const float hi = 255.0f;
    return std::clamp((static_cast<float>(fullSample(b, x, y)) - lo) * (1.0f / (hi - lo)), 0.0f, 1.0f);
}

// The byte of pixel (x, y) of a level: the mean of its block of normalised
// samples, summed as the box average sums it, mirrored past the edges.
int expectedByte(int level, int b, int x, int y)
{
    const int f = 1 << level;
    auto mirror = [](int p, int size) { return p < size ? p : 2 * size - 1 - p; };
    float sum = 0.0f;
    for (int r = 0; r < f; ++r)
        for (int c = 0; c < f; ++c)
            sum += normalised(b, mirror(x * f + c, Format::fullWidth), mirror(y * f + r, Format::fullHeight));
    return Format::planeByte(sum / static_cast<float>(f * f));
}

// The full tile in a zip, written once per build and shared by the test
// processes.
fs::path fullTileZip()
{
    const fs::path folder = TestSupport::cachedFolder("ortho full tile 2", [](const fs::path& into) {
        Tile tile;
        tile.width = Format::fullWidth;
        tile.height = Format::fullHeight;
        tile.value = fullSample;
        const std::string zipPath = (into / "Full.zip").string();
        addToZip(zipPath, "tiles/A_9-0.tif", tileBytes(tile));
        Tile odd;
        odd.width = 100;
        odd.height = 100;
        addToZip(zipPath, "tiles/odd.tif", tileBytes(odd));
        addToZip(zipPath, "tiles/odd.tif.aux.xml", "<PAMDataset></PAMDataset>");
    });
    return folder / "Full.zip";
}

TEST_F(OrthoWindow, AFullTileBecomesALotThatThePyramidReadsAtEveryLevel)
{
    const std::string fullZip = fullTileZip().string();
    auto window = makeWindow();
    window->exportDirectory = QString::fromStdString(out.string());
    ASSERT_TRUE(window->openSourceZip(QString::fromStdString(fullZip)));
    ASSERT_EQ(window->tilePaths.size(), 2) << "the sidecar is no tile";
    window->setAllTilesChecked(true);
    std::string log = captured([&] { window->ui->pushButtonExport->click(); });
    EXPECT_NE(log.find("Failed file: " + fullZip + "/tiles/odd.tif\n"), std::string::npos) << log;
    EXPECT_EQ(folderEntries(out), std::vector<std::string>({"A_9-0.bin"}));
    const fs::path lot = out / "A_9-0.bin";
    ASSERT_EQ(fs::file_size(lot), 498048769u);

    // The lot's first bytes and the start of the level-1 band-0 plane.
    {
        std::ifstream in(lot, std::ios::binary);
        Format::HeaderBytes header{};
        in.read(reinterpret_cast<char*>(header.data()), static_cast<std::streamsize>(header.size()));
        EXPECT_TRUE(Format::hasMagic(header));
        EXPECT_EQ(Format::headerX(header), -741000.0);
        EXPECT_EQ(Format::headerY(header), -1044000.0);
        in.seekg(375000019);
        char first = 0;
        in.read(&first, 1);
        EXPECT_EQ(static_cast<unsigned char>(first), expectedByte(1, 0, 0, 0));
    }

    // Read back through the pyramid data set: the lot alone at level 0, then
    // as the north-west lot of mosaics read at levels 1, 2 and 3 (the other
    // lots come from the no-data lot). One band per level, all three planes
    // over the four levels.
    TestSupport::ScopedWorkingDirectory cwd;
    OrthoLots::writeText(cwd.path() / "orthomosaicMap.ini", "1;1\nA;0;0;-741000;-1044000\n");
    OrthoLots::writeLot(OrthoLots::lotPath(out, "_noData"), 0.0, 0.0);
    struct Read {
        int level;
        int band;
        double x2;  // lower-right corner of the area, from the tile's upper-left one
        double y2;
    };
    for (const Read read : {Read{0, 0, 0, 0}, Read{1, 1, 4000, 1}, Read{2, 2, 11000, 1}, Read{3, 0, 11000, 7000}}) {
        SCOPED_TRACE(read.level);
        IO::OrthoMosaicBinFile mosaic;
        TestSupport::quietly([&] {
            if (read.level == 0)
                mosaic.open("A_9-0", "bin", out.string());
            else
                mosaic.openRegion(-741000.0 + 1.0, -1044000.0 - 1.0, -741000.0 + read.x2, -1044000.0 - read.y2,
                                  out.string());
            mosaic.loadBand(read.band, 0, 0.0, 1.0, false, true);
        });
        ASSERT_EQ(mosaic.pyramidLevel, read.level);
        ASSERT_TRUE(mosaic.isLoaded(read.band, 0));
        const OrthoMosaicExport::LevelSize size = OrthoMosaicExport::fullLot.level(read.level);
        const float* raster = mosaic.bands[static_cast<std::size_t>(read.band)].levels[0].data.get();
        auto at = [&](int x, int y) {
            return static_cast<int>(raster[static_cast<std::size_t>(y) * static_cast<std::size_t>(mosaic.width)
                                           + static_cast<std::size_t>(x)]);
        };
        for (const auto [x, y] : std::vector<std::pair<int, int>>{
                 {0, 0}, {size.width - 1, 0}, {0, size.height - 1}, {size.width - 1, size.height - 1},
                 {size.width / 2 + 3, size.height / 3 + 1}, {size.width - 2, 17}})
            EXPECT_EQ(at(x, y), expectedByte(read.level, read.band, x, y)) << x << ", " << y;
        if (read.level > 0)
            EXPECT_EQ(at(size.width, 0), 0) << "the next lot is the no-data lot";
    }
}

} // namespace
