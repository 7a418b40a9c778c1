#include <cmath>
#include <csignal>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include <GeographicLib/GeoCoords.hpp>
#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include "io/GeoTiffExport.h"
#include "io/OrthoMosaicTifFile.h"
#include "support/FileSizeLimit.h"
#include "support/FullDisk.h"
#include "support/TestSupport.h"
#include "test_kml_locale.h"
#include "test_orthomosaic_tif_support.h"

namespace fs = std::filesystem;
using IO::File;
using IO::OrthoMosaicTifFile;

namespace {

void openPath(OrthoMosaicTifFile& tif, const std::string& path)
{
    const fs::path p(path);
    tif.open(p.stem().string(), p.extension().string().substr(1), p.parent_path().string());
}

// Runs f with standard output captured (band loading logs every load).
// An opened fixture raster: 6 x 4 pixels of 10 m at (500000, 5400000), zone 33N.
struct Opened {
    explicit Opened(const TifSpec& spec = {})
    {
        writeTif(path, spec);
        openPath(tif, path);
    }
    TestSupport::TempDir dir;
    std::string path = dir.file("map.tif");
    OrthoMosaicTifFile tif;
};

} // namespace

// ------------------------------------------------------------------ open

TEST(OrthoMosaicTifOpen, Table)
{
    struct Case {
        const char* label;
        TifSpec spec;
        File::error expected;
        std::vector<std::string> names;
        bool northern = true;
    };
    TifSpec rgb;
    rgb.bands = 3;
    rgb.options = {"PHOTOMETRIC=RGB"};
    TifSpec grayNir;
    grayNir.bands = 2;
    TifSpec float32;
    float32.type = GDT_Float32;
    TifSpec south;
    south.epsg = 32733;
    south.transform = {500000.0, 20.0, 0.0, 7000000.0, 0.0, -20.0};
    TifSpec noTransform;
    noTransform.geotransform = false;
    TifSpec rotated;
    rotated.transform = {500000.0, 10.0, 0.5, 5400000.0, 0.0, -10.0};
    TifSpec notSquare;
    notSquare.transform = {500000.0, 10.0, 0.0, 5400000.0, 0.0, -20.0};
    TifSpec southUp;
    southUp.transform = {500000.0, 10.0, 0.0, 5400000.0, 0.0, 10.0};
    TifSpec geographic;
    geographic.epsg = 4326;
    geographic.transform = {15.0, 0.001, 0.0, 49.0, 0.0, -0.001};
    TifSpec noProjection;
    noProjection.epsg = 0;

    const Case cases[] = {
        {"RGB bands", rgb, File::error::NoError, {"Red", "Green", "Blue"}},
        {"gray and undefined bands", grayNir, File::error::NoError, {"Gray", "Near-infrared"}},
        {"float samples", float32, File::error::NoError, {"Gray"}},
        {"southern hemisphere", south, File::error::NoError, {"Gray"}, false},
        {"no geotransform", noTransform, File::error::MissingMetadata, {}},
        {"rotated geotransform", rotated, File::error::MissingMetadata, {}},
        {"rectangular pixels", notSquare, File::error::MissingMetadata, {}},
        {"south-up raster", southUp, File::error::MissingMetadata, {}},
        {"geographic projection", geographic, File::error::MissingMetadata, {}},
        {"no projection", noProjection, File::error::MissingMetadata, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TestSupport::TempDir dir;
        const std::string path = dir.file("map.tif");
        writeTif(path, c.spec);
        OrthoMosaicTifFile tif;
        ASSERT_EQ(TestSupport::fileErrorOf([&] { openPath(tif, path); }), c.expected);
        if (c.expected != File::error::NoError)
            continue;

        EXPECT_EQ(tif.width, c.spec.width);
        EXPECT_EQ(tif.height, c.spec.height);
        EXPECT_EQ(tif.pixelCount, c.spec.width * c.spec.height);
        EXPECT_EQ(tif.originX, c.spec.transform[0]);
        EXPECT_EQ(tif.originY, c.spec.transform[3]);
        EXPECT_EQ(tif.pixelSize, c.spec.transform[1]);
        EXPECT_EQ(tif.groundPixelSize(), c.spec.transform[1]);
        EXPECT_EQ(tif.utmZone, 33);
        EXPECT_EQ(tif.northernHemisphere, c.northern ? 1 : 0);
        EXPECT_EQ(tif.name, "map");
        EXPECT_EQ(tif.extension, "tif");

        const double size = c.spec.transform[1];
        const GeographicLib::GeoCoords ul(33, c.northern, c.spec.transform[0], c.spec.transform[3]);
        const GeographicLib::GeoCoords lr(33, c.northern, c.spec.transform[0] + c.spec.width * size,
                                          c.spec.transform[3] - c.spec.height * size);
        EXPECT_NEAR(tif.upperLeftLat, ul.Latitude(), 1e-12);
        EXPECT_NEAR(tif.upperLeftLon, ul.Longitude(), 1e-12);
        EXPECT_NEAR(tif.lowerRightLat, lr.Latitude(), 1e-12);
        EXPECT_NEAR(tif.lowerRightLon, lr.Longitude(), 1e-12);
        if (!c.northern) {
            EXPECT_LT(tif.upperLeftLat, 0.0);
        }

        ASSERT_EQ(tif.bands.size(), c.names.size());
        for (std::size_t i = 0; i < c.names.size(); ++i) {
            const IO::Band& band = tif.bands[i];
            EXPECT_EQ(band.name, c.names[i]);
            EXPECT_EQ(band.code, "");
            EXPECT_EQ(band.scale, 1.0);
            EXPECT_FALSE(band.derived);
            EXPECT_TRUE(band.sourceBands.empty());
            ASSERT_EQ(band.levels.size(), 1u);
            EXPECT_EQ(band.levels[0].path, path);
            EXPECT_EQ(band.levels[0].data, nullptr);
        }
        EXPECT_TRUE(tif.loadedBands.empty());
    }
}

TEST(OrthoMosaicTifOpen, UnreadableFilesCannotBeOpened)
{
    TestSupport::TempDir dir;
    TestSupport::writeFile(dir.file("text.tif"), "not a raster at all");
    OrthoMosaicTifFile a;
    EXPECT_EQ(TestSupport::fileErrorOf([&] { a.open("text", "tif", dir.path().string()); }), File::error::CannotOpen);
    OrthoMosaicTifFile b;
    EXPECT_EQ(TestSupport::fileErrorOf([&] { b.open("missing", "tif", dir.path().string()); }), File::error::CannotOpen);
}

// A file named ".tif" is opened as a GeoTIFF or not at all: a virtual
// raster could read any file the user can read, or fetch an address.
TEST(OrthoMosaicTifOpen, FilesOfOtherFormatsAreNotOpened)
{
    TestSupport::TempDir dir;
    writeTif(dir.file("source.tif"), TifSpec{});
    for (const char* driver : {"VRT", "JP2OpenJPEG"}) {
        SCOPED_TRACE(driver);
        writeAs(driver, dir.file("source.tif"), dir.file(std::string(driver) + ".tif"));
        OrthoMosaicTifFile tif;
        EXPECT_EQ(TestSupport::fileErrorOf([&] { tif.open(driver, "tif", dir.path().string()); }),
                  File::error::CannotOpen);
        EXPECT_TRUE(tif.bands.empty());
    }
    OrthoMosaicTifFile tif;
    EXPECT_EQ(TestSupport::fileErrorOf([&] { tif.open("source", "tif", dir.path().string()); }),
              File::error::NoError);
}

// ------------------------------------------------------------------ bands

TEST(OrthoMosaicTifBands, RawSamplesByType)
{
    {
        SCOPED_TRACE("8-bit");
        TifSpec spec;
        spec.value = [](int, int x, int y) { return 200 + y * 10 + x - 30; };
        Opened raster(spec);
        TestSupport::quietly([&] { raster.tif.loadBand(0, 0, 0.0, 1.0, false, true); });
        const IO::BandLevel& level = raster.tif.bands[0].levels[0];
        ASSERT_EQ(level.count, 24);
        EXPECT_EQ(level.data[0], 170.0f);
        EXPECT_EQ(level.data[23], 170.0f + 35.0f);
        EXPECT_EQ(level.min, 0.0f);
        EXPECT_EQ(level.max, 255.0f);
        EXPECT_EQ(raster.tif.loadedBands, std::set<int>{0});
    }
    {
        SCOPED_TRACE("32-bit float");
        TifSpec spec;
        spec.type = GDT_Float32;
        spec.value = [](int, int x, int y) { return -2.5 + x * 0.25 + y * 1000.0; };
        Opened raster(spec);
        TestSupport::quietly([&] { raster.tif.loadBand(0, 0, 0.0, 1.0, false, true); });
        const IO::BandLevel& level = raster.tif.bands[0].levels[0];
        ASSERT_EQ(level.count, 24);
        EXPECT_EQ(level.data[7], static_cast<float>(-2.5 + 0.25 + 1000.0));
        EXPECT_EQ(level.min, -2.5f);
        EXPECT_EQ(level.max, static_cast<float>(-2.5 + 5 * 0.25 + 3000.0));
    }
}

TEST(OrthoMosaicTifBands, NormalisedSamples)
{
    {
        SCOPED_TRACE("8-bit over 0..255");
        Opened raster;
        TestSupport::quietly([&] { raster.tif.loadBand(0, 0, 0.0, 1.0, false, false); });
        const IO::BandLevel& level = raster.tif.bands[0].levels[0];
        EXPECT_FLOAT_EQ(level.data[13], 21.0f / 255.0f);
    }
    {
        // Large float values: the samples' own range, no whole-number
        // histogram of millions of bins.
        SCOPED_TRACE("32-bit float over its own range");
        TifSpec spec;
        spec.type = GDT_Float32;
        spec.value = [](int, int x, int y) { return 1e3 + (y * 6 + x) * 2e5; };
        Opened raster(spec);
        TestSupport::quietly([&] { raster.tif.loadBand(0, 0, 0.02, 0.98, true, false); });
        const IO::BandLevel& level = raster.tif.bands[0].levels[0];
        EXPECT_TRUE(level.histogram.empty());
        EXPECT_FLOAT_EQ(level.data[0], 0.0f);
        EXPECT_FLOAT_EQ(level.data[23], 1.0f);
        EXPECT_NEAR(level.data[12], 12.0f / 23.0f, 1e-6);
    }
}

TEST(OrthoMosaicTifBands, LoadErrors)
{
    for (const GDALDataType type : {GDT_Int16, GDT_UInt16, GDT_Float64}) {
        SCOPED_TRACE(GDALGetDataTypeName(type));
        TifSpec spec;
        spec.type = type;
        Opened raster(spec);
        EXPECT_EQ(TestSupport::fileErrorOf([&] { TestSupport::quietly([&] { raster.tif.loadBand(0, 0, 0.0, 1.0, false, true); }); }),
                  File::error::UnsupportedFormat);
        EXPECT_TRUE(raster.tif.loadedBands.empty());
    }
    Opened raster;
    EXPECT_EQ(TestSupport::fileErrorOf([&] { raster.tif.loadBand(1, 0, 0.0, 1.0, false, true); }), File::error::ReadFailed);
    EXPECT_EQ(TestSupport::fileErrorOf([&] { raster.tif.loadBand(0, 1, 0.0, 1.0, false, true); }), File::error::ReadFailed);
    EXPECT_EQ(TestSupport::fileErrorOf([&] { raster.tif.loadBand(-1, 0, 0.0, 1.0, false, true); }), File::error::ReadFailed);
    fs::remove(raster.path);
    EXPECT_EQ(TestSupport::fileErrorOf([&] { raster.tif.loadBand(0, 0, 0.0, 1.0, false, true); }), File::error::ReadFailed);
    EXPECT_TRUE(raster.tif.loadedBands.empty());
}

// ------------------------------------------------------------------ windows

TEST(OrthoMosaicTifRegion, WindowsInsideAndAcrossTheEdge)
{
    TifSpec spec;
    spec.type = GDT_Float32;
    spec.width = 8;
    spec.height = 6;
    spec.value = [](int, int x, int y) { return y * 10 + x + 0.5; };
    Opened raster(spec);
    auto sample = [&](long long x, long long y) {
        return (x < 0 || y < 0 || x >= spec.width || y >= spec.height) ? 0.0 : y * 10 + x + 0.5;
    };
    struct Case {
        int x, y, width, height, outWidth, outHeight;
    };
    const Case cases[] = {
        {1, 2, 3, 2, 3, 2},    // inside, same size
        {0, 0, 8, 6, 4, 3},    // inside, halved by GDAL
        {2, 1, 4, 4, 8, 8},    // inside, doubled by GDAL
        {-2, -1, 4, 3, 4, 3},  // across the upper-left corner
        {6, 4, 4, 4, 4, 4},    // across the lower-right corner
        {-4, 0, 8, 6, 4, 3},   // across the left edge, halved
        {-10, 0, 4, 4, 4, 4},  // wholly outside
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "window " << c.x << "," << c.y << " " << c.width << "x" << c.height
                                        << " -> " << c.outWidth << "x" << c.outHeight);
        std::vector<double> out{42.0};
        raster.tif.readRegion(0, 0, c.x, c.y, c.width, c.height, c.outWidth, c.outHeight, out);
        ASSERT_EQ(out.size(), static_cast<std::size_t>(c.outWidth * c.outHeight));
        for (int j = 0; j < c.outHeight; ++j) {
            for (int i = 0; i < c.outWidth; ++i) {
                // The source pixel under the centre of the output pixel.
                const auto sx = static_cast<long long>(std::floor(c.x + (i + 0.5) * c.width / c.outWidth));
                const auto sy = static_cast<long long>(std::floor(c.y + (j + 0.5) * c.height / c.outHeight));
                EXPECT_EQ(out[static_cast<std::size_t>(j * c.outWidth + i)], sample(sx, sy)) << i << "," << j;
            }
        }
    }
}

TEST(OrthoMosaicTifRegion, ReadErrors)
{
    TifSpec int16;
    int16.type = GDT_Int16;
    Opened wrongType(int16);
    std::vector<double> out;
    EXPECT_EQ(TestSupport::fileErrorOf([&] { wrongType.tif.readRegion(0, 0, 0, 0, 2, 2, 2, 2, out); }), File::error::ReadFailed);

    Opened raster;
    EXPECT_EQ(TestSupport::fileErrorOf([&] { raster.tif.readRegion(0, 0, 0, 0, 0, 2, 2, 2, out); }), File::error::ReadFailed);
    EXPECT_EQ(TestSupport::fileErrorOf([&] { raster.tif.readRegion(0, 0, 0, 0, 2, 2, -1, 2, out); }), File::error::ReadFailed);
    EXPECT_EQ(TestSupport::fileErrorOf([&] { raster.tif.readRegion(3, 0, 0, 0, 2, 2, 2, 2, out); }), File::error::ReadFailed);
    fs::remove(raster.path);
    EXPECT_EQ(TestSupport::fileErrorOf([&] { raster.tif.readRegion(0, 0, 0, 0, 2, 2, 2, 2, out); }), File::error::ReadFailed);
}

// ------------------------------------------------------------------ positions

TEST(OrthoMosaicTifPositions, TextsOfAPixel)
{
    Opened raster;
    EXPECT_EQ(raster.tif.positionText(0, 0), "WGS84: 48.753013, 15, UTM: 500000, 5400000 33N");
    EXPECT_EQ(raster.tif.latLonText(0, 0), "48.753013, 15");
    const std::string text = raster.tif.positionText(0.5, 0.25);
    EXPECT_EQ(text.substr(text.find("UTM")), "UTM: 500005, 5399997.5 33N");
    // Far beyond the zone: no position, no exception.
    EXPECT_EQ(raster.tif.positionText(1e7, 0), "");
    EXPECT_EQ(raster.tif.latLonText(1e7, 0), "");

    ScopedDecimalCommaLocale czech;
    if (czech.active()) {
        EXPECT_EQ(raster.tif.positionText(0, 0), "WGS84: 48.753013, 15, UTM: 500000, 5400000 33N");
        const std::string text = raster.tif.positionText(0.5, 1000.25);
        EXPECT_EQ(text.substr(text.find("UTM")), "UTM: 500005, 5389997.5 33N");
    }
}

TEST(OrthoMosaicTifPositions, PixelAndLatLonRoundTrip)
{
    Opened raster;
    OrthoMosaicTifFile& tif = raster.tif;
    double x = 7.0;
    double y = 7.0;
    tif.latLonToPixel(tif.upperLeftLat, tif.upperLeftLon, &x, &y);
    EXPECT_NEAR(x, 0.0, 1e-6);
    EXPECT_NEAR(y, 0.0, 1e-6);
    for (const Point2D p : {Point2D{3.25, 1.5}, Point2D{6, 4}, Point2D{-120.5, 300.75}}) {
        double lat = 0.0;
        double lon = 0.0;
        ASSERT_TRUE(tif.pixelLatLon(p.x, p.y, lat, lon));
        tif.latLonToPixel(lat, lon, &x, &y);
        EXPECT_NEAR(x, p.x, 1e-6);
        EXPECT_NEAR(y, p.y, 1e-6);
    }
    for (const auto& [lat, lon] : {std::pair{95.0, 15.0}, std::pair{48.0, 120.0}}) {
        SCOPED_TRACE(testing::Message() << lat << "," << lon);
        tif.latLonToPixel(lat, lon, &x, &y);
        EXPECT_TRUE(std::isnan(x));
        EXPECT_TRUE(std::isnan(y));
    }
}

TEST(OrthoMosaicTifPositions, PointAcrossTheEquatorStaysOnTheGrid)
{
    // A southern raster whose top edge lies 20 m north of the equator.
    TifSpec spec;
    spec.epsg = 32733;
    spec.transform = {500000.0, 10.0, 0.0, 10000020.0, 0.0, -10.0};
    Opened raster(spec);
    double x = 0.0;
    double y = 0.0;
    raster.tif.latLonToPixel(0.0001, 15.0, &x, &y);
    EXPECT_NEAR(x, 0.0, 1e-6);
    EXPECT_NEAR(y, (20.0 - GeographicLib::GeoCoords(0.0001, 15.0, 33).Northing()) / 10.0, 1e-6);
    EXPECT_GT(y, 0.0);
    EXPECT_LT(y, 1.0);
}

TEST(OrthoMosaicTifPositions, BoundsOriginAndBaseSlots)
{
    Opened raster;
    OrthoMosaicTifFile& tif = raster.tif;
    EXPECT_TRUE(tif.containsLatLon(tif.upperLeftLat, tif.upperLeftLon));
    EXPECT_TRUE(tif.containsLatLon(tif.lowerRightLat, tif.lowerRightLon));
    EXPECT_TRUE(tif.containsLatLon(tif.lowerRightLat, tif.upperLeftLon));
    EXPECT_FALSE(tif.containsLatLon(tif.upperLeftLat + 1e-9, tif.upperLeftLon));
    EXPECT_FALSE(tif.containsLatLon(tif.lowerRightLat, tif.lowerRightLon + 1e-9));

    double easting = 0.0;
    double northing = 0.0;
    std::vector<double> zone;
    tif.utmOrigin(&easting, &northing, zone);
    EXPECT_EQ(easting, 500000.0);
    EXPECT_EQ(northing, 5400000.0);
    EXPECT_EQ(zone, (std::vector<double>{1.0, 33.0}));

    double lat = -1.0;
    double lon = -1.0;
    tif.pixelToLatLon(1, 1, &lat, &lon);  // not a slot of this class
    EXPECT_EQ(lat, -1.0);
    int px = 0;
    int py = 0;
    tif.utmToPixel(500000, 5400000, {1.0, 33.0}, &px, &py);
    EXPECT_EQ(px, -1);
    EXPECT_EQ(py, -1);
}

// ------------------------------------------------------------------ curves

TEST(OrthoMosaicTifCurves, KmlRoundTripThroughTheUtmGrid)
{
    Opened raster;
    const std::vector<std::vector<Point2D>> curves{{{0, 0}, {5.5, 0.25}, {3, 3.75}, {0, 0}}, {{-50, 80}, {1000, 2}}};
    const std::string path = raster.dir.file("curves.KML");
    raster.tif.saveCurves(path, "KML", curves, {"a", "b"}, {"6510", "6510"}, {"autoSeg", "adjust"}, {{1.0}, {}});
    const std::string text = TestSupport::readFile(path);
    EXPECT_NE(text.find("<SimpleData name=\"locTile\">123456789</SimpleData>"), std::string::npos);
    EXPECT_NE(text.find("\t\t\t\t\t15.000000000000,48.753013004322,0\n"), std::string::npos);

    std::vector<std::vector<Point2D>> read;
    std::vector<std::string> names;
    raster.tif.loadCurves(path, "Kml", read, names);
    EXPECT_EQ(names, (std::vector<std::string>{"a", "b"}));
    ASSERT_EQ(read.size(), curves.size());
    for (std::size_t c = 0; c < curves.size(); ++c) {
        ASSERT_EQ(read[c].size(), curves[c].size());
        for (std::size_t i = 0; i < curves[c].size(); ++i) {
            EXPECT_NEAR(read[c][i].x, curves[c][i].x, 1e-6);
            EXPECT_NEAR(read[c][i].y, curves[c][i].y, 1e-6);
        }
    }
}

TEST(OrthoMosaicTifCurves, UnconvertiblePointsAreNeverWrittenAsZero)
{
    Opened raster;
    const std::string path = raster.dir.file("far.kml");
    EXPECT_EQ(TestSupport::fileErrorOf([&] {
                  raster.tif.saveCurves(path, "kml", {{{0, 0}, {1e7, 0}}}, {"far"}, {}, {}, {});
              }),
              File::error::MissingMetadata);
    EXPECT_FALSE(fs::exists(path));

    EXPECT_EQ(TestSupport::fileErrorOf([&] { raster.tif.saveCurves(path, "tif", {{{0, 0}}}, {"a"}, {}, {}, {}); }),
              File::error::UnsupportedFormat);
}

// ------------------------------------------------------------------ exports

TEST(GeoTiffExport, WritesAFloatRasterInUtm)
{
    struct Case {
        const char* label;
        IO::UtmPlacement placement;
        int epsg;
    };
    const Case cases[] = {
        {"zone 33 north", {501000.0, 5399500.0, 10.0, 33, true}, 32633},
        {"zone 19 south", {300000.0, 6200000.0, 20.0, 19, false}, 32719},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TestSupport::TempDir dir;
        const std::string path = dir.file("relevancy.tif");
        const std::vector<float> values{0.0f, 0.25f, -1.5f, 3.0e6f, std::nanf(""), 1.0f};
        IO::writeUtmGeoTiff(path, values, 2, 3, c.placement);
        EXPECT_EQ(fs::directory_iterator(dir.path())->path().filename(), "relevancy.tif");
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);

        GDALDatasetUniquePtr dataset(GDALDataset::Open(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY));
        ASSERT_TRUE(dataset);
        ASSERT_EQ(dataset->GetRasterCount(), 1);
        EXPECT_EQ(dataset->GetRasterBand(1)->GetRasterDataType(), GDT_Float32);
        double transform[6];
        ASSERT_EQ(dataset->GetGeoTransform(transform), CE_None);
        const double size = c.placement.pixelSize;
        EXPECT_EQ(std::vector<double>(transform, transform + 6),
                  (std::vector<double>{c.placement.easting, size, 0.0, c.placement.northing, 0.0, -size}));
        const OGRSpatialReference* reference = dataset->GetSpatialRef();
        ASSERT_NE(reference, nullptr);
        EXPECT_STREQ(reference->GetAuthorityCode(nullptr), std::to_string(c.epsg).c_str());
        std::vector<float> back(6);
        ASSERT_EQ(dataset->GetRasterBand(1)->RasterIO(GF_Read, 0, 0, 2, 3, back.data(), 2, 3, GDT_Float32, 0, 0,
                                                      nullptr),
                  CE_None);
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (std::isnan(values[i]))
                EXPECT_TRUE(std::isnan(back[i]));
            else
                EXPECT_EQ(back[i], values[i]) << i;
        }
        dataset.reset();

        OrthoMosaicTifFile tif;
        openPath(tif, path);
        EXPECT_EQ(tif.width, 2);
        EXPECT_EQ(tif.height, 3);
        EXPECT_EQ(tif.utmZone, c.placement.zone);
        EXPECT_EQ(tif.northernHemisphere, c.placement.northernHemisphere ? 1 : 0);
        EXPECT_EQ(tif.originX, c.placement.easting);
        EXPECT_EQ(tif.pixelSize, size);
    }
}

TEST(GeoTiffExport, FailuresLeaveNoFile)
{
    TestSupport::TempDir dir;
    const std::string path = dir.file("map.tif");
    const IO::UtmPlacement placement{500000.0, 5400000.0, 10.0, 33, true};
    EXPECT_EQ(TestSupport::fileErrorOf([&] { IO::writeUtmGeoTiff(path, std::vector<float>(5), 2, 3, placement); }),
              File::error::CannotOpen);
    EXPECT_EQ(TestSupport::fileErrorOf([&] { IO::writeUtmGeoTiff(path, {}, 0, 0, placement); }), File::error::CannotOpen);
    IO::UtmPlacement noZone = placement;
    noZone.zone = 0;
    EXPECT_EQ(TestSupport::fileErrorOf([&] { IO::writeUtmGeoTiff(path, std::vector<float>(6), 2, 3, noZone); }),
              File::error::MissingMetadata);
    EXPECT_EQ(TestSupport::fileErrorOf([&] { IO::writeUtmGeoTiff(dir.file("missing/map.tif"), std::vector<float>(6), 2, 3, placement); }),
              File::error::CannotOpen);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 0);

    // An earlier file of the name survives a failed export.
    TestSupport::writeFile(path, "earlier");
    EXPECT_EQ(TestSupport::fileErrorOf([&] { IO::writeUtmGeoTiff(path, std::vector<float>(5), 2, 3, placement); }),
              File::error::CannotOpen);
    EXPECT_EQ(TestSupport::readFile(path), "earlier");
    fs::create_directory(dir.file("taken.tif"));
    EXPECT_EQ(TestSupport::fileErrorOf([&] { IO::writeUtmGeoTiff(dir.file("taken.tif"), std::vector<float>(6), 2, 3, placement); }),
              File::error::CannotOpen);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

TEST(GeoTiffExport, PointListsAreLatLonLines)
{
    TestSupport::TempDir dir;
    const std::string path = dir.file("map_black.csv");
    // 0.1 degree per pixel, failing for x = 99.
    const IO::PixelToLatLon convert = [](int x, int y, double& lat, double& lon) {
        if (x == 99)
            return false;
        lat = 50.0 - y * 0.1;
        lon = 14.0 + x * 0.1;
        return true;
    };
    IO::writeLatLonPoints(path, {{0, 0}, {3, 4, 7}, {-1, 2}}, convert);
    EXPECT_EQ(TestSupport::readFile(path), "50.000000000000,14.000000000000\n"
                                           "49.600000000000,14.300000000000\n"
                                           "49.800000000000,13.900000000000\n");
    IO::writeLatLonPoints(dir.file("empty.csv"), {}, convert);
    EXPECT_EQ(TestSupport::readFile(dir.file("empty.csv")), "");

    EXPECT_EQ(TestSupport::fileErrorOf([&] { IO::writeLatLonPoints(path, {{1, 1}, {99, 0}}, convert); }),
              File::error::MissingMetadata);
    EXPECT_EQ(TestSupport::fileErrorOf([&] { IO::writeLatLonPoints(path, {{1, 1}, {5}}, convert); }), File::error::CannotOpen);
    EXPECT_EQ(TestSupport::fileErrorOf([&] { IO::writeLatLonPoints(dir.file("no/such.csv"), {{1, 1}}, convert); }),
              File::error::CannotOpen);
    // The earlier list stays whole.
    EXPECT_EQ(TestSupport::readFile(path).substr(0, 16), "50.000000000000,");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

using TestSupport::FileSizeLimit;

TEST(GeoTiffExport, WritesThatFailPartWayLeaveNoFile)
{
    TestSupport::TempDir dir;
    const IO::UtmPlacement placement{500000.0, 5400000.0, 10.0, 33, true};
    const std::vector<float> values(200 * 200, 0.5f);
    std::vector<std::vector<int>> points(2000, std::vector<int>{1, 2});
    const IO::PixelToLatLon convert = [](int, int, double& lat, double& lon) {
        lat = 49.5;
        lon = 15.5;
        return true;
    };
    File::error tiff = File::error::NoError;
    File::error list = File::error::NoError;
    {
        FileSizeLimit limit(16 * 1024);
        if (!limit.active())
            GTEST_SKIP() << "cannot limit the file size";
        tiff = TestSupport::fileErrorOf([&] { IO::writeUtmGeoTiff(dir.file("big.tif"), values, 200, 200, placement); });
        list = TestSupport::fileErrorOf([&] { IO::writeLatLonPoints(dir.file("big.csv"), points, convert); });
    }
    EXPECT_EQ(tiff, File::error::CannotOpen);
    EXPECT_EQ(list, File::error::CannotOpen);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 0);
}

// On a disk that is full, or too small for the map, the first failed write
// ends the export at once with an error; the earlier file of the name stays
// as it was and no temporary file is left. Once there is room, the same
// export writes the map. Runs in a child process on a 64 KiB tmpfs; an
// export that hangs there has the child killed and the test failed.
TEST(GeoTiffExport, AFullDiskEndsTheExportAtOnceAndKeepsTheEarlierFile)
{
    const std::string disk = TestSupport::FullDisk::folder();
    if (disk.empty()) {
        const TestSupport::FullDisk::Run run = TestSupport::FullDisk::runCurrentTest(64 * 1024, 60);
        if (run.outcome == TestSupport::FullDisk::Outcome::Refused)
            GTEST_SKIP() << run.detail;
        EXPECT_EQ(run.outcome, TestSupport::FullDisk::Outcome::Passed) << run.detail;
        return;
    }

    const IO::UtmPlacement placement{500000.0, 5400000.0, 10.0, 33, true};
    const std::string path = disk + "/map.tif";
    TestSupport::writeFile(path, "earlier");
    const std::string filler = TestSupport::FullDisk::fill();
    ASSERT_FALSE(filler.empty()) << "the disk does not fill up";
    const std::vector<std::string> full{"filler", "map.tif"};

    struct Case {
        const char* label;
        std::string path;
        int size;
        bool roomMade;
    };
    const Case cases[] = {
        {"over the earlier file, the disk full", path, 200, false},
        {"a small map under a new name, the disk full", disk + "/new.tif", 16, false},
        {"over the earlier file, room made but less than the map needs", path, 200, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        if (c.roomMade)
            fs::remove(filler);
        const std::vector<float> values(static_cast<std::size_t>(c.size) * c.size, 0.5f);
        EXPECT_EQ(TestSupport::fileErrorOf([&] { IO::writeUtmGeoTiff(c.path, values, c.size, c.size, placement); }),
                  File::error::CannotOpen);
        EXPECT_EQ(TestSupport::readFile(path), "earlier");
        EXPECT_EQ(TestSupport::fileNamesIn(disk), c.roomMade ? std::vector<std::string>{"map.tif"} : full);
    }

    // With room for it, the map replaces the earlier file.
    const std::vector<float> values{0.0f, 0.25f, 0.5f, 0.75f, 1.0f, 2.0f};
    IO::writeUtmGeoTiff(path, values, 2, 3, placement);
    EXPECT_EQ(TestSupport::fileNamesIn(disk), std::vector<std::string>{"map.tif"});
    GDALDatasetUniquePtr dataset(GDALDataset::Open(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY));
    ASSERT_TRUE(dataset);
    std::vector<float> back(6);
    ASSERT_EQ(dataset->GetRasterBand(1)->RasterIO(GF_Read, 0, 0, 2, 3, back.data(), 2, 3, GDT_Float32, 0, 0, nullptr),
              CE_None);
    EXPECT_EQ(back, values);
}
