#include <cmath>
#include <memory>
#include <regex>
#include <string>

#include <gtest/gtest.h>
#include <ogr_spatialref.h>

#include "io/Krovak.h"
#include "io/OrthoMosaicZipFile.h"
#include "support/TestSupport.h"

using IO::OrthoMosaicZipFile;

namespace {

std::unique_ptr<OrthoMosaicZipFile> quietZip()
{
    std::unique_ptr<OrthoMosaicZipFile> zip;
    TestSupport::quietly([&] { zip = std::make_unique<OrthoMosaicZipFile>(); });
    return zip;
}

} // namespace

TEST(Krovak, KnownPlacesLandOnTheirEastNorthCoordinates)
{
    struct Case {
        const char* label;
        double lat;
        double lon;
        double x;
        double y;
    };
    const Case cases[] = {
        {"Prague", 50.0755, 14.4378, -741817.77, -1044492.56},
        {"Bratislava", 48.1486, 17.1077, -573686.66, -1280322.09},
    };
    auto zip = quietZip();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        double x = 0.0;
        double y = 0.0;
        EXPECT_NE(zip->wgs84ToKrovak(c.lon, c.lat, &x, &y), 0);
        EXPECT_NEAR(x, c.x, 2.0);
        EXPECT_NEAR(y, c.y, 2.0);

        // And back.
        double lat = 0.0;
        double lon = 0.0;
        ASSERT_TRUE(zip->toWgs84(x, y, lat, lon));
        EXPECT_NEAR(lat, c.lat, 1e-7);
        EXPECT_NEAR(lon, c.lon, 1e-7);

        // Longitude and latitude swapped put the point far away.
        double sx = 0.0;
        double sy = 0.0;
        if (zip->wgs84ToKrovak(c.lat, c.lon, &sx, &sy) != 0)
            EXPECT_GT(std::hypot(sx - c.x, sy - c.y), 100000.0);
    }
}

TEST(Krovak, PointsWithoutAPositionAreRefused)
{
    auto zip = quietZip();
    double x = 0.0;
    double y = 0.0;
    EXPECT_EQ(zip->wgs84ToKrovak(14.4, 95.0, &x, &y), 0);
    EXPECT_TRUE(std::isnan(x) && std::isnan(y));
    EXPECT_EQ(zip->wgs84ToKrovak(std::nan(""), 50.0, &x, &y), 0);
    EXPECT_TRUE(std::isnan(x) && std::isnan(y));

    // An object whose transformation could not be made answers 0, not a
    // position it never computed.
    zip->transformToKrovak.reset();
    x = 1.0;
    y = 2.0;
    EXPECT_EQ(zip->wgs84ToKrovak(14.4378, 50.0755, &x, &y), 0);
    EXPECT_TRUE(std::isnan(x) && std::isnan(y));
}

TEST(Krovak, SetUpPrintsItsOutcome)
{
    std::unique_ptr<OrthoMosaicZipFile> zip;
    const std::string log = TestSupport::capturedStdout([&] { zip = std::make_unique<OrthoMosaicZipFile>(); });
    EXPECT_EQ(log, "Coordinate transformations initialized successfully\n");
    EXPECT_TRUE(zip->srsKrovakReady && zip->srsWgs84Ready);
    // Authority axis order: latitude first for WGS84, easting first for Krovak.
    EXPECT_EQ(zip->srsWgs84.GetDataAxisToSRSAxisMapping(), (std::vector<int>{1, 2}));
    EXPECT_EQ(zip->srsKrovak.GetDataAxisToSRSAxisMapping(), (std::vector<int>{1, 2}));
}

TEST(Krovak, RecognisesKrovakEastNorthWithOrWithoutItsCode)
{
    OGRSpatialReference krovak;
    ASSERT_EQ(krovak.importFromEPSG(5514), OGRERR_NONE);
    char* wkt = nullptr;
    krovak.exportToWkt(&wkt);
    const std::string withCode = wkt;
    CPLFree(wkt);
    // The same definition with every authority code taken out, as a tile
    // written by a tool that does not look codes up carries it.
    const std::string withoutCode = std::regex_replace(withCode, std::regex(R"(,AUTHORITY\["[^"]*","[^"]*"\])"), "");
    ASSERT_EQ(withoutCode.find("AUTHORITY"), std::string::npos) << withoutCode;

    OGRSpatialReference utm;
    ASSERT_EQ(utm.importFromEPSG(32633), OGRERR_NONE);
    char* utmWkt = nullptr;
    utm.exportToWkt(&utmWkt);
    const std::string other = utmWkt;
    CPLFree(utmWkt);

    EXPECT_TRUE(IO::isKrovakEastNorth(withCode));
    EXPECT_TRUE(IO::isKrovakEastNorth(withoutCode)) << withoutCode;
    EXPECT_TRUE(IO::isKrovakEastNorth("EPSG:5514"));
    EXPECT_FALSE(IO::isKrovakEastNorth(other));
    EXPECT_FALSE(IO::isKrovakEastNorth("EPSG:4326"));
    EXPECT_FALSE(IO::isKrovakEastNorth(""));
    EXPECT_FALSE(IO::isKrovakEastNorth("not a projection"));
}
