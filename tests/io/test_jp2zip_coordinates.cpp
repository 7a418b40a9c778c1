// IO::JP2ZipFile coordinates: pixels, UTM metres of the product's zone and
// WGS84 latitude / longitude; and the PROJ set-up that opening must leave
// usable for every later EPSG lookup of the process.

#include <cmath>
#include <filesystem>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include <GeographicLib/GeoCoords.hpp>
#include <gtest/gtest.h>
#include <ogr_spatialref.h>
#include <ogr_srs_api.h>

#include "io/GdalHandles.h"
#include "test_jp2zip_fixture.h"

namespace fs = std::filesystem;
using namespace Jp2ZipTest;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool endsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

} // namespace

TEST(JP2ZipCoordinates, PositionTextOfTheOrigin)
{
    const auto file = fixture().open();
    EXPECT_EQ(file->positionText(0, 0), "WGS84: 48.753013, 15, UTM: 500000, 5400000 33N");
    EXPECT_EQ(file->latLonText(0, 0), "48.753013, 15");
}

TEST(JP2ZipCoordinates, PositionTextShowsWholeMetresZoneAndHemisphere)
{
    struct Case {
        int epsg;
        std::string end;
    };
    const Case cases[] = {
        {32634, ", UTM: 500123, 5399943 34N"},
        {32733, ", UTM: 500123, 5399943 33S"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.epsg);
        Sample::ProductSpec spec;
        spec.epsg = c.epsg;
        const Product product(spec);
        const auto file = product.open();
        EXPECT_EQ(file->utmZone, c.epsg % 100);
        EXPECT_EQ(file->northernHemisphere, c.epsg / 100 == 326 ? 1 : 0);
        // 12.34 px = 123.4 m east, 5.67 px = 56.7 m south: truncated to metres.
        const std::string text = file->positionText(12.34, 5.67);
        EXPECT_TRUE(endsWith(text, c.end)) << text;

        double lat = 0, lon = 0;
        file->pixelToLatLon(12.34, 5.67, &lat, &lon);
        const GeographicLib::GeoCoords expected(c.epsg % 100, c.epsg / 100 == 326, 500123, 5399943);
        EXPECT_NEAR(lat, expected.Latitude(), 1e-12);
        EXPECT_NEAR(lon, expected.Longitude(), 1e-12);
    }
}

TEST(JP2ZipCoordinates, PixelToLatLonAndBackWithinATenthOfAPixel)
{
    const auto file = fixture().open();
    double lat = 0, lon = 0;
    file->pixelToLatLon(0, 0, &lat, &lon);
    EXPECT_DOUBLE_EQ(lat, file->upperLeftLat);
    EXPECT_DOUBLE_EQ(lon, file->upperLeftLon);

    for (double y : {0.0, 0.25, 17.5, 59.99, 119.0, 250.3})
        for (double x : {0.0, 0.7, 33.33, 60.0, 119.9, -40.2}) {
            file->pixelToLatLon(x, y, &lat, &lon);
            double bx = kNaN, by = kNaN;
            file->latLonToPixel(lat, lon, &bx, &by);
            EXPECT_NEAR(bx, x, 0.1) << x << ", " << y;
            EXPECT_NEAR(by, y, 0.1) << x << ", " << y;
        }
}

TEST(JP2ZipCoordinates, TileAcrossTheEquatorRoundTripsOnBothSides)
{
    // Tiles of the first row north of the equator reach a few kilometres
    // south of it: their lower rows have negative northings in the tile's
    // own (northern) convention. The same holds the other way round for a
    // southern tile whose top lies north of the equator.
    struct Case {
        int epsg;
        int originNorthing;
    };
    const Case cases[] = {{32633, 600}, {32733, 10000600}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.epsg);
        Sample::ProductSpec spec;
        spec.epsg = c.epsg;
        spec.originNorthing = c.originNorthing;
        const Product product(spec);
        const auto file = product.open();
        for (double y : {10.0, 59.5, 60.5, 110.0}) {
            double lat = kNaN, lon = kNaN;
            file->pixelToLatLon(30.0, y, &lat, &lon);
            ASSERT_TRUE(std::isfinite(lat)) << y;
            EXPECT_EQ(lat < 0, y > 60) << y;
            double bx = kNaN, by = kNaN;
            file->latLonToPixel(lat, lon, &bx, &by);
            EXPECT_NEAR(bx, 30.0, 0.1) << y;
            EXPECT_NEAR(by, y, 0.1) << y;
        }
    }
}

TEST(JP2ZipCoordinates, ContainmentIncludesTheCornerBounds)
{
    const auto file = fixture().open();
    const double top = file->upperLeftLat, bottom = file->lowerRightLat;
    const double left = file->upperLeftLon, right = file->lowerRightLon;
    const double mid = (top + bottom) / 2, centre = (left + right) / 2;
    const double eps = 1e-9;
    struct Case {
        double lat, lon;
        bool inside;
    };
    const Case cases[] = {
        {mid, centre, true},           {bottom, centre, true},        {top, centre, true},
        {mid, left, true},             {mid, right, true},            {bottom, left, true},
        {bottom - eps, centre, false}, {top + eps, centre, false},    {mid, left - eps, false},
        {mid, right + eps, false},     {kNaN, centre, false},         {mid, kNaN, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(file->containsLatLon(c.lat, c.lon), c.inside) << c.lat << ", " << c.lon;
}

TEST(JP2ZipCoordinates, UnconvertiblePointsGiveNaNWithoutThrowing)
{
    const auto file = fixture().open();
    struct Case {
        const char* label;
        double lat, lon;
    };
    // 7 degrees beyond the eastern edge of zone 33 (12 to 18 degrees east).
    const Case cases[] = {
        {"7 degrees outside the zone", 48.75, 25.0},
        {"latitude beyond the pole", 95.0, 15.0},
        {"not a number", kNaN, 15.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        double x = 1.0, y = 1.0;
        EXPECT_NO_THROW(file->latLonToPixel(c.lat, c.lon, &x, &y));
        EXPECT_TRUE(std::isnan(x));
        EXPECT_TRUE(std::isnan(y));
    }

    // A point just outside the zone is still converted into this zone.
    double x = kNaN, y = kNaN;
    file->latLonToPixel(48.75, 18.5, &x, &y);
    EXPECT_TRUE(std::isfinite(x) && std::isfinite(y));
    EXPECT_GT(x, 0.0);

    for (double px : {1e12, -1e12, kNaN, std::numeric_limits<double>::infinity()}) {
        double lat = 0, lon = 0;
        EXPECT_NO_THROW(file->pixelToLatLon(px, 0, &lat, &lon));
        EXPECT_TRUE(std::isnan(lat) && std::isnan(lon)) << px;
        EXPECT_EQ(file->positionText(px, 0), "") << px;
        EXPECT_EQ(file->latLonText(0, px), "") << px;
    }
}

TEST(JP2ZipCoordinates, UtmOriginAndUtmToPixel)
{
    const auto file = fixture().open();
    double easting = 0, northing = 0;
    std::vector<double> zone;
    file->utmOrigin(&easting, &northing, zone);
    EXPECT_EQ(easting, 500000.0);
    EXPECT_EQ(northing, 5400000.0);
    EXPECT_EQ(zone, (std::vector<double>{1.0, 33.0}));

    struct Case {
        const char* label;
        double easting, northing;
        std::vector<double> zone;
        int x, y;  // expected; -7 means left untouched
    };
    const Case cases[] = {
        {"origin", 500000, 5400000, {1, 33}, 0, 0},
        {"just below half a pixel", 500004.99, 5399995.01, {1, 33}, 0, 0},
        {"half a pixel rounds up", 500005, 5399995, {1, 33}, 1, 1},
        {"just below one and a half", 500014.99, 5399985.01, {1, 33}, 1, 1},
        {"one and a half", 500015, 5399985, {1, 33}, 2, 2},
        {"far corner", 501195, 5398805, {1, 33}, 120, 120},
        {"other zone", 500000, 5400000, {1, 34}, -7, -7},
        {"other hemisphere", 500000, 5400000, {0, 33}, -7, -7},
        {"zone list of one entry", 500000, 5400000, {1}, -7, -7},
        {"empty zone list", 500000, 5400000, {}, -7, -7},
        {"not a number", kNaN, 5400000, {1, 33}, -7, -7},
        {"beyond the int range", 1e15, 5400000, {1, 33}, -7, -7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        int x = -7, y = -7;
        file->utmToPixel(c.easting, c.northing, c.zone, &x, &y);
        EXPECT_EQ(x, c.x);
        EXPECT_EQ(y, c.y);
    }
}

TEST(JP2ZipCoordinates, SameGeolocationComparesTheTileOrigin)
{
    const auto file = fixture().open();

    Sample::ProductSpec laterDate;
    laterDate.sensingTime = "20230711T095031";
    const Product later(laterDate);
    EXPECT_TRUE(file->sameGeolocation(later.open().get()));

    Sample::ProductSpec neighbour;
    neighbour.tileId = "T33UYP";
    neighbour.originEasting = 609780;
    const Product next(neighbour);
    EXPECT_FALSE(file->sameGeolocation(next.open().get()));

    // Another class of data set, whatever its fields, is not the same ground.
    IO::File other;
    EXPECT_FALSE(file->sameGeolocation(&other));
    EXPECT_FALSE(file->sameGeolocation(nullptr));
}

// ---------------------------------------------------------------------- PROJ

namespace {

std::vector<std::string> projSearchPaths()
{
    return IO::Gdal::toStrings(IO::Gdal::StringList(OSRGetPROJSearchPaths()));
}

bool epsgResolvesOnAnotherThread(int code)
{
    bool resolved = false;
    std::thread([&] {
        OGRSpatialReference srs;
        resolved = srs.importFromEPSG(code) == OGRERR_NONE;
    }).join();
    return resolved;
}

// Puts the PROJ search path back as it was, whatever the test did to it.
class RestoreProjSearchPaths {
public:
    RestoreProjSearchPaths()
        : saved_(projSearchPaths())
    {
    }
    ~RestoreProjSearchPaths()
    {
        CPLStringList list;
        for (const auto& path : saved_)
            list.AddString(path.c_str());
        OSRSetPROJSearchPaths(list.List());
    }
    const std::vector<std::string>& saved() const { return saved_; }

private:
    std::vector<std::string> saved_;
};

} // namespace

TEST(JP2ZipProj, OpeningLeavesEpsgLookupsWorking)
{
    const Product& product = fixture();
    const RestoreProjSearchPaths restore;
    const TestSupport::ScopedWorkingDirectory workingDirectory;  // holds no proj.db

    const auto file = product.open();
    EXPECT_EQ(file->utmZone, 33);
    EXPECT_EQ(projSearchPaths(), restore.saved());
    EXPECT_TRUE(epsgResolvesOnAnotherThread(5514));
    EXPECT_TRUE(epsgResolvesOnAnotherThread(32633));
}

TEST(JP2ZipProj, ProjDatabaseInTheWorkingDirectoryGoesInFront)
{
    const Product& product = fixture();
    const RestoreProjSearchPaths restore;
    fs::path installed;
    for (const auto& path : restore.saved())
        if (fs::exists(fs::path(path) / "proj.db"))
            installed = fs::path(path) / "proj.db";
    if (installed.empty())
        GTEST_SKIP() << "no proj.db on the PROJ search path";

    const TestSupport::ScopedWorkingDirectory workingDirectory;
    fs::copy_file(installed, workingDirectory.path() / "proj.db");
    const auto file = product.open();

    std::vector<std::string> expected{fs::current_path().string()};
    expected.insert(expected.end(), restore.saved().begin(), restore.saved().end());
    EXPECT_EQ(projSearchPaths(), expected);
    EXPECT_TRUE(epsgResolvesOnAnotherThread(5514));

    // Opening again does not stack the folder twice.
    product.open();
    EXPECT_EQ(projSearchPaths(), expected);
}
