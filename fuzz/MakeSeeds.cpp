// Writes the binary seeds of fuzz/corpus/ and the binary minimised findings
// of fuzz/regressions/ into the given fuzz folder: small products of the
// sample writer and of the tests' hostile-input generators, GeoTIFFs written
// by GDAL, pyramid lot headers. (The text seeds are committed as they are.)
//
//   fenlark_fuzz_seeds <fuzz folder>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include "SampleProduct.h"
#include "io/GdalHandles.h"
#include "io/OrthoMosaicBinFormat.h"
#include "io/test_hostile_inputs.h"

namespace fs = std::filesystem;

namespace {

void writeBytes(const fs::path& path, const std::string& bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

// A small GeoTIFF in UTM zone 33N written by GDAL.
void writeTif(const fs::path& path, int width, int height, int bands, GDALDataType type,
              const std::vector<std::string>& options = {})
{
    IO::Gdal::registerDrivers();
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GTiff");
    CPLStringList list;
    for (const auto& option : options)
        list.AddString(option.c_str());
    fs::create_directories(path.parent_path());
    IO::Gdal::Dataset dataset(driver->Create(path.string().c_str(), width, height, bands, type, list.List()));
    if (!dataset)
        throw std::runtime_error("cannot write " + path.string());
    double transform[6] = {500000.0, 10.0, 0.0, 5400000.0, 0.0, -10.0};
    dataset->SetGeoTransform(transform);
    OGRSpatialReference reference;
    reference.importFromEPSG(32633);
    dataset->SetSpatialRef(&reference);
    std::vector<double> samples(static_cast<std::size_t>(width) * height);
    for (int b = 0; b < bands; ++b) {
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] = type == GDT_Float32 ? 0.01 * static_cast<double>(i) - 0.2 : static_cast<double>((i * 7 + b) % 256);
        if (dataset->GetRasterBand(b + 1)->RasterIO(GF_Write, 0, 0, width, height, samples.data(), width, height,
                                                    GDT_Float64, 0, 0, nullptr)
            != CE_None)
            throw std::runtime_error("cannot fill " + path.string());
    }
}

// Moves the archive that writer put into a scratch folder to path.
template <typename Writer>
void moveProduct(const fs::path& path, Writer&& writer)
{
    const fs::path scratch = path.parent_path() / ".scratch";
    fs::create_directories(scratch);
    const fs::path written = writer(scratch);
    fs::rename(written, path);
    fs::remove_all(scratch);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <fuzz folder>\n", argv[0]);
        return 2;
    }
    CPLSetErrorHandler(CPLQuietErrorHandler);
    const fs::path fuzz = argv[1];
    try {
        using HostileInputs::ProductRaster;
        const fs::path products = fuzz / "corpus" / "product_zip";
        fs::create_directories(products);
        const ProductRaster b04{"B04", "10m", 12, 10.0};
        const ProductRaster b03{"B03", "10m", 12, 10.0};
        const ProductRaster b11{"B11", "20m", 6, 20.0};
        const ProductRaster b01{"B01", "60m", 2, 60.0};
        moveProduct(products / "three_resolutions.zip",
                    [&](const fs::path& dir) { return HostileInputs::writeProduct(dir, {b04, b03, b11, b01}); });
        Sample::ProductSpec sample;
        sample.size = 12;
        moveProduct(products / "sample_writer.zip", [&](const fs::path& dir) { return Sample::writeProduct(dir, sample); });

        const fs::path productFindings = fuzz / "regressions" / "product_zip";
        fs::create_directories(productFindings);
        ProductRaster huge = b04;
        huge.declaredSize = 40000;
        moveProduct(productFindings / "declares_40000.zip",
                    [&](const fs::path& dir) { return HostileInputs::writeProduct(dir, {huge}); });
        ProductRaster disagreeing = b03;
        disagreeing.declaredSize = 40000;
        moveProduct(productFindings / "band_disagrees.zip",
                    [&](const fs::path& dir) { return HostileInputs::writeProduct(dir, {b04, disagreeing, b11}); });
        ProductRaster absurd = b11;
        absurd.pixelSize = 9e20;
        moveProduct(productFindings / "pixel_size_9e20.zip",
                    [&](const fs::path& dir) { return HostileInputs::writeProduct(dir, {b04, b03, absurd}); });
        ProductRaster hugeTile = b03;
        hugeTile.declaredTileWidth = 218103820;
        moveProduct(productFindings / "tile_of_5gib.zip",
                    [&](const fs::path& dir) { return HostileInputs::writeProduct(dir, {b04, hugeTile, b11}); });
        moveProduct(productFindings / "preview_160000.zip",
                    [&](const fs::path& dir) { return HostileInputs::writePreviewProduct(dir, 160000); });
        ProductRaster manyTiles = b04;
        manyTiles.declaredSize = 10980;
        manyTiles.declaredTileWidth = 44;
        manyTiles.declaredTileHeight = 44;
        moveProduct(productFindings / "tiles_62500.zip",
                    [&](const fs::path& dir) { return HostileInputs::writeProduct(dir, {manyTiles}); });

        const fs::path tifs = fuzz / "corpus" / "geotiff";
        writeTif(tifs / "byte.tif", 6, 4, 1, GDT_Byte);
        writeTif(tifs / "rgb.tif", 5, 3, 3, GDT_Byte, {"PHOTOMETRIC=RGB"});
        writeTif(tifs / "float.tif", 6, 4, 1, GDT_Float32);
        writeTif(tifs / "tiled.tif", 20, 18, 1, GDT_Float32, {"TILED=YES", "BLOCKXSIZE=16", "BLOCKYSIZE=16"});
        writeTif(tifs / "int16.tif", 4, 4, 2, GDT_Int16);
        writeBytes(fuzz / "regressions" / "geotiff" / "declares_3gb.tif", HostileInputs::tiffHeader(32774, 23304));
        writeBytes(fuzz / "regressions" / "geotiff" / "bands_65535.tif", HostileInputs::tiffHeader(6, 4, true, 1, 65535));
        writeBytes(fuzz / "regressions" / "geotiff" / "virtual_raster_of_a_file.tif",
                   HostileInputs::virtualRasterOfFile("/etc/passwd", 8, 5, 500300.0, 5399800.0));

        namespace Format = IO::OrthoMosaicBinFormat;
        const Format::HeaderBytes header = Format::encodeHeader(-741817.5, -1044492.25);
        const std::string headerBytes(header.begin(), header.end());
        const fs::path lots = fuzz / "corpus" / "orthomosaic_lot";
        writeBytes(lots / "header.bin", headerBytes);
        writeBytes(lots / "header_and_rows.bin", headerBytes + std::string(64, '\x80'));
        writeBytes(lots / "no_magic.bin", "ISX" + headerBytes.substr(3));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
