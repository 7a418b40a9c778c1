// fenlark_sample_product <folder> [size] [shapes]
//
// Writes a synthetic Sentinel-2 product of a working grid of size x size
// 10 m pixels (a multiple of 6; default 1200) into folder; with "shapes" its
// visible bands show bright discs and a rectangle on a darker ground. An
// existing product of that name is kept.

#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <thread>

#include <gdal.h>

#include "SampleProduct.h"
#include "io/GdalHandles.h"
#include "io/NumberText.h"

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 4 || (argc == 4 && std::string(argv[3]) != "shapes")) {
        std::fprintf(stderr, "usage: %s <folder> [size] [shapes]\n", argv[0]);
        return 2;
    }
    Sample::ProductSpec spec;
    spec.size = 1200;
    if (argc == 4) {
        spec.scene = Sample::Scene::Shapes;
        spec.sensingTime = "20230602T095031";  // its own name beside the gradient product
    }
    if (argc >= 3) {
        const auto size = IO::parseInteger(argv[2]);
        if (!size || *size < Sample::kNoDataCorner || *size % 6 != 0 || *size > 100000) {
            std::fprintf(stderr, "size must be a multiple of 6 between %d and 100000\n", Sample::kNoDataCorner);
            return 2;
        }
        spec.size = static_cast<int>(*size);
    }
    spec.threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));

    const std::filesystem::path folder = argv[1];
    const auto existing = folder / (Sample::productName(spec) + "." + spec.extension);
    std::error_code ec;
    if (std::filesystem::exists(existing, ec)) {
        std::printf("%s\n", existing.string().c_str());
        return 0;
    }
    try {
        IO::Gdal::registerDrivers();
        const auto written = Sample::writeProduct(folder, spec);
        std::printf("%s\n", written.string().c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "cannot write the sample product: %s\n", e.what());
        GDALDestroyDriverManager();
        return 1;
    }
    GDALDestroyDriverManager();
    return 0;
}
