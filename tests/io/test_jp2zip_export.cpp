#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include <GeographicLib/GeoCoords.hpp>
#include <gdal_priv.h>
#include <gtest/gtest.h>

#include "io/JP2ZipFile.h"
#include "io/NumberText.h"
#include "io/OrthoMosaicTifFile.h"
#include "support/TestSupport.h"
#include "test_jp2zip_fixture.h"
#include "test_orthomosaic_tif_support.h"

namespace fs = std::filesystem;
using IO::File;
using Jp2ZipTest::fixture;
using Jp2ZipTest::thrownBy;

namespace {

constexpr int kCannotOpen = static_cast<int>(File::error::CannotOpen);
constexpr int kUnsupported = static_cast<int>(File::error::UnsupportedFormat);
constexpr int kMissingMetadata = static_cast<int>(File::error::MissingMetadata);

std::size_t fileCount(const fs::path& dir)
{
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

void openTif(IO::OrthoMosaicTifFile& tif, const fs::path& path)
{
    tif.open(path.stem().string(), path.extension().string().substr(1), path.parent_path().string());
}

std::string latLonLine(double easting, double northing)
{
    const GeographicLib::GeoCoords point(33, true, easting, northing);
    return IO::formatFixed(point.Latitude(), 12) + "," + IO::formatFixed(point.Longitude(), 12) + "\n";
}

} // namespace

// ------------------------------------------------------------------ GeoTIFF

TEST(Jp2ZipExport, GeoTiffWindowIsPlacedOnTheWorkingGrid)
{
    // The export needs only the data set's georeference: the archive is
    // gone by the time it runs.
    TestSupport::TempDir dir;
    const fs::path copy = dir.path() / fixture().archive().filename();
    fs::copy_file(fixture().archive(), copy);
    const auto product = Jp2ZipTest::openArchive(copy);
    fs::remove(copy);

    const std::string path = dir.file("relevancy.tif");
    const std::vector<float> values{0.0f, 0.5f, 1.0f, 0.25f, -3.0f, 7.5f};
    product->exportGeoTiff(path, "tif", values, 100, 50, 2, 3);
    EXPECT_EQ(fileCount(dir.path()), 1u);

    GDALDatasetUniquePtr dataset(GDALDataset::Open(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY));
    ASSERT_TRUE(dataset);
    double transform[6];
    ASSERT_EQ(dataset->GetGeoTransform(transform), CE_None);
    EXPECT_EQ(std::vector<double>(transform, transform + 6),
              (std::vector<double>{500000.0 + 1000.0, 10.0, 0.0, 5400000.0 - 500.0, 0.0, -10.0}));
    ASSERT_EQ(dataset->GetRasterCount(), 1);
    GDALRasterBand* band = dataset->GetRasterBand(1);
    EXPECT_EQ(band->GetRasterDataType(), GDT_Float32);
    EXPECT_EQ(band->GetXSize(), 2);
    EXPECT_EQ(band->GetYSize(), 3);
    std::vector<float> back(6);
    ASSERT_EQ(band->RasterIO(GF_Read, 0, 0, 2, 3, back.data(), 2, 3, GDT_Float32, 0, 0, nullptr), CE_None);
    EXPECT_EQ(back, values);
    EXPECT_STREQ(dataset->GetSpatialRef()->GetAuthorityCode(nullptr), "32633");
    dataset.reset();

    // Read back as a relevancy map and placed on the product's grid.
    IO::OrthoMosaicTifFile tif;
    openTif(tif, path);
    EXPECT_EQ(tif.utmZone, 33);
    EXPECT_EQ(tif.northernHemisphere, 1);
    Jp2ZipTest::quietly([&] { tif.loadBand(0, 0, 0.0, 1.0, false, true); });
    ASSERT_EQ(tif.bands[0].levels[0].count, 6);
    EXPECT_EQ(std::vector<float>(tif.bands[0].levels[0].data.get(), tif.bands[0].levels[0].data.get() + 6), values);
    double easting = 0.0;
    double northing = 0.0;
    std::vector<double> zone;
    tif.utmOrigin(&easting, &northing, zone);
    int x = -5;
    int y = -5;
    product->utmToPixel(easting, northing, zone, &x, &y);
    EXPECT_EQ(x, 100);
    EXPECT_EQ(y, 50);

    double lat = 0.0;
    double lon = 0.0;
    product->pixelToLatLon(101.5, 52.5, &lat, &lon);
    double tx = 0.0;
    double ty = 0.0;
    tif.latLonToPixel(lat, lon, &tx, &ty);
    EXPECT_NEAR(tx, 1.5, 0.1);
    EXPECT_NEAR(ty, 2.5, 0.1);
}

TEST(Jp2ZipExport, GeoTiffErrorsLeaveNoFile)
{
    const auto product = fixture().open();
    TestSupport::TempDir dir;
    const std::vector<float> six(6, 1.0f);
    EXPECT_EQ(thrownBy([&] { product->exportGeoTiff(dir.file("a.TIF"), "TIF", six, 0, 0, 2, 3); }), kUnsupported);
    EXPECT_EQ(thrownBy([&] { product->exportGeoTiff(dir.file("a.tiff"), "tiff", six, 0, 0, 2, 3); }), kUnsupported);
    EXPECT_EQ(thrownBy([&] { product->exportGeoTiff(dir.file("a.tif"), "tif", six, 0, 0, 3, 3); }), kCannotOpen);
    EXPECT_EQ(thrownBy([&] { product->exportGeoTiff(dir.file("no/a.tif"), "tif", six, 0, 0, 2, 3); }), kCannotOpen);
    EXPECT_EQ(fileCount(dir.path()), 0u);
}

// ------------------------------------------------------------------ points

TEST(Jp2ZipExport, PointsAreLatitudeLongitudeLines)
{
    const auto product = fixture().open();
    TestSupport::TempDir dir;
    const std::string path = dir.file("map_black.csv");
    product->exportPoints(path, {{0, 0}, {12, 7}, {119, 119}});
    EXPECT_EQ(TestSupport::readFile(path), latLonLine(500000, 5400000) + latLonLine(500120, 5399930)
                                               + latLonLine(501190, 5398810));
    EXPECT_EQ(TestSupport::readFile(path).substr(0, 32), "48.753013004322,15.000000000000\n");
    // The corner is the data set's own upper-left corner.
    EXPECT_EQ(latLonLine(500000, 5400000),
              IO::formatFixed(product->upperLeftLat, 12) + "," + IO::formatFixed(product->upperLeftLon, 12) + "\n");

    product->exportPoints(dir.file("map_white.csv"), {});
    EXPECT_EQ(TestSupport::readFile(dir.file("map_white.csv")), "");

    // A point the projection cannot convert fails the whole list; the
    // earlier file stays as it was.
    EXPECT_EQ(thrownBy([&] { product->exportPoints(path, {{0, 0}, {2000000, 0}}); }), kMissingMetadata);
    EXPECT_EQ(thrownBy([&] { product->exportPoints(dir.file("no/map.csv"), {{0, 0}}); }), kCannotOpen);
    EXPECT_EQ(TestSupport::readFile(path).substr(0, 32), "48.753013004322,15.000000000000\n");
    EXPECT_EQ(fileCount(dir.path()), 2u);
}

// ------------------------------------------------------------------ curves

TEST(Jp2ZipExport, KmlRoundTripAndLocTile)
{
    const auto product = fixture().open();
    TestSupport::TempDir dir;
    const std::string path = dir.file("set.KML");
    const std::vector<std::vector<Point2D>> curves{{{20, 20}, {60.5, 21.25}, {40, 80.75}, {20, 20}}, {{-30, 500}, {3, 4}}};
    product->saveCurves(path, "KML", curves, {"meadow", "reeds"}, {"6510", "7230"}, {"semiSeg", "autoSeg"},
                        {{1.0}, {2.0}});
    const std::string text = TestSupport::readFile(path);
    EXPECT_NE(text.find("<SimpleData name=\"locTile\">" + product->name + "</SimpleData>"), std::string::npos);
    EXPECT_NE(text.find("\t\t\t\t<SimpleData name=\"paramSemiSegm\">123</SimpleData>\n"), std::string::npos);

    std::vector<std::vector<Point2D>> read;
    std::vector<std::string> names;
    product->loadCurves(path, "kml", read, names);
    EXPECT_EQ(names, (std::vector<std::string>{"meadow", "reeds"}));
    ASSERT_EQ(read.size(), curves.size());
    for (std::size_t c = 0; c < curves.size(); ++c) {
        ASSERT_EQ(read[c].size(), curves[c].size());
        for (std::size_t i = 0; i < curves[c].size(); ++i) {
            EXPECT_NEAR(read[c][i].x, curves[c][i].x, 0.1);
            EXPECT_NEAR(read[c][i].y, curves[c][i].y, 0.1);
        }
    }

    EXPECT_EQ(thrownBy([&] { product->saveCurves(dir.file("x.txt"), "txt", curves, {}, {}, {}, {}); }), kUnsupported);
    EXPECT_EQ(thrownBy([&] { product->loadCurves(dir.file("x.kml"), "kml", read, names); }), kCannotOpen);
    // A pixel beyond the range of the projection is an error, never "0,0".
    EXPECT_EQ(thrownBy([&] { product->saveCurves(dir.file("far.kml"), "kml", {{{0, 0}, {1e7, 0}}}, {"far"}, {}, {}, {}); }),
              kMissingMetadata);
    EXPECT_FALSE(fs::exists(dir.file("far.kml")));
}

TEST(Jp2ZipExport, CurvesMoveBetweenDataSetsOfTheSameGround)
{
    // A GeoTIFF on the product's own 10 m grid.
    TestSupport::TempDir dir;
    const std::string tifPath = dir.file("same_ground.tif");
    TifSpec spec;
    spec.width = 120;
    spec.height = 120;
    writeTif(tifPath, spec);
    IO::OrthoMosaicTifFile tif;
    openTif(tif, tifPath);
    const auto product = fixture().open();

    const std::vector<std::vector<Point2D>> curves{{{15, 15}, {90.5, 30}, {50, 100.25}, {15, 15}}};
    const std::string fromProduct = dir.file("from_product.kml");
    const std::string fromTif = dir.file("from_tif.kml");
    product->saveCurves(fromProduct, "kml", curves, {"a"}, {}, {}, {});
    tif.saveCurves(fromTif, "kml", curves, {"a"}, {}, {}, {});

    for (const auto& [label, load] :
         {std::pair<const char*, std::function<void(std::vector<std::vector<Point2D>>&, std::vector<std::string>&)>>{
              "product file on the GeoTIFF", [&](auto& c, auto& n) { tif.loadCurves(fromProduct, "kml", c, n); }},
          {"GeoTIFF file on the product", [&](auto& c, auto& n) { product->loadCurves(fromTif, "kml", c, n); }}}) {
        SCOPED_TRACE(label);
        std::vector<std::vector<Point2D>> read;
        std::vector<std::string> names;
        load(read, names);
        ASSERT_EQ(read.size(), 1u);
        ASSERT_EQ(read[0].size(), curves[0].size());
        for (std::size_t i = 0; i < curves[0].size(); ++i) {
            EXPECT_NEAR(read[0][i].x, curves[0][i].x, 0.1);
            EXPECT_NEAR(read[0][i].y, curves[0][i].y, 0.1);
        }
    }
}
