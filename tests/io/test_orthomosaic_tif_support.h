#pragma once

// GeoTIFF fixtures written with GDAL for the raster data set tests.

#include <array>
#include <functional>
#include <string>
#include <vector>

#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogr_spatialref.h>

struct TifSpec {
    int width = 6;
    int height = 4;
    int bands = 1;
    GDALDataType type = GDT_Byte;
    std::vector<std::string> options;  // creation options, e.g. "PHOTOMETRIC=RGB"
    bool geotransform = true;
    std::array<double, 6> transform{500000.0, 10.0, 0.0, 5400000.0, 0.0, -10.0};
    int epsg = 32633;  // 0: no projection
    // Sample of band b (0-based) at column x, row y.
    std::function<double(int, int, int)> value = [](int b, int x, int y) { return b * 100 + y * 10 + x; };
};

inline void writeTif(const std::string& path, const TifSpec& spec)
{
    GDALAllRegister();
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GTiff");
    ASSERT_NE(driver, nullptr);
    CPLStringList options;
    for (const auto& option : spec.options)
        options.AddString(option.c_str());
    GDALDatasetUniquePtr dataset(
        driver->Create(path.c_str(), spec.width, spec.height, spec.bands, spec.type, options.List()));
    ASSERT_TRUE(dataset);
    if (spec.geotransform) {
        std::array<double, 6> transform = spec.transform;
        ASSERT_EQ(dataset->SetGeoTransform(transform.data()), CE_None);
    }
    if (spec.epsg != 0) {
        OGRSpatialReference reference;
        ASSERT_EQ(reference.importFromEPSG(spec.epsg), OGRERR_NONE);
        ASSERT_EQ(dataset->SetSpatialRef(&reference), CE_None);
    }
    std::vector<double> samples(static_cast<std::size_t>(spec.width) * spec.height);
    for (int b = 0; b < spec.bands; ++b) {
        for (int y = 0; y < spec.height; ++y)
            for (int x = 0; x < spec.width; ++x)
                samples[static_cast<std::size_t>(y) * spec.width + x] = spec.value(b, x, y);
        ASSERT_EQ(dataset->GetRasterBand(b + 1)->RasterIO(GF_Write, 0, 0, spec.width, spec.height, samples.data(),
                                                          spec.width, spec.height, GDT_Float64, 0, 0, nullptr),
                  CE_None);
    }
}

// Copies the raster at source into path in the format of the named driver
// ("VRT": an XML text that reads source; "JP2OpenJPEG"), whatever the suffix
// of path.
inline void writeAs(const std::string& driverName, const std::string& source, const std::string& path)
{
    GDALAllRegister();
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName(driverName.c_str());
    ASSERT_NE(driver, nullptr) << driverName;
    GDALDatasetUniquePtr from(GDALDataset::Open(source.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY));
    ASSERT_TRUE(from);
    GDALDatasetUniquePtr copy(driver->CreateCopy(path.c_str(), from.get(), FALSE, nullptr, nullptr, nullptr));
    ASSERT_TRUE(copy) << driverName;
}
