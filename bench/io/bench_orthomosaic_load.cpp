// Loading an orthomosaic area: openRegion and loadBand of a mosaic of 13 x 16
// pyramid lots read at 1.6 m (20319 x 20000 pixels), against GDAL reading
// the same pixels into floats from one tiled, uncompressed GeoTIFF.
//
// The fixture is written into a folder under /tmp when the program starts
// and removed when it ends: 208 sparse lot files of full size holding only
// their level-3 planes (about 1.2 GB on disk), the map index, and the
// GeoTIFF (about 400 MB). Both readers then read from the page cache.
//
// Run pinned, for example:
//   OMP_NUM_THREADS=2 taskset -c 0,1 bench/bench_orthomosaic_load

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include <benchmark/benchmark.h>
#include <gdal_priv.h>

#include "io/GdalHandles.h"
#include "io/NumberText.h"
#include "io/OrthoMosaicBinFile.h"
#include "io/OrthoMosaicBinFormat.h"
#include "support/PeakMemory.h"

namespace fs = std::filesystem;
namespace Format = IO::OrthoMosaicBinFormat;

namespace {

constexpr int kLotCols = 13;
constexpr int kLotRows = 16;
constexpr int kLevel = 3;
constexpr double kX0 = -760000.0;
constexpr double kY0 = -1040000.0;
constexpr int kWidth = kLotCols * 1563;
constexpr int kHeight = kLotRows * 1250;

// The band log lines would drown the report.
class QuietStdout {
public:
    QuietStdout()
        : previous_(std::cout.rdbuf(&sink_))
    {
    }
    ~QuietStdout() { std::cout.rdbuf(previous_); }

private:
    struct Sink : std::streambuf {
        int overflow(int c) override { return c; }
    } sink_;
    std::streambuf* previous_;
};

// Sample of the mosaic at column x, row y (the same in both fixtures).
std::uint8_t sampleAt(int x, int y)
{
    return static_cast<std::uint8_t>((x * 7 + y * 3) & 0xFF);
}

class Fixture {
public:
    Fixture()
        : dir_(fs::temp_directory_path() / ("fenlark-bench-orthomosaic-" + std::to_string(getpid())))
    {
        fs::create_directories(dir_);
        std::fprintf(stderr, "writing the fixture into %s ...\n", dir_.c_str());
        writeLots();
        writeGeoTiff();
        // Let the write-back of the fixture finish before anything is timed.
        ::sync();
    }
    ~Fixture()
    {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    const fs::path& dir() const { return dir_; }
    std::string tiff() const { return (dir_ / "mosaic.tif").string(); }

private:
    // Sheets of 10 x 10 lots: the 13 x 16 lots from the north-west corner
    // span a 2 x 2 grid of sheets.
    static std::string lotName(int lotRow, int lotCol)
    {
        const char* sheet[2][2] = {{"A", "B"}, {"C", "D"}};
        return std::string(sheet[lotRow / 10][lotCol / 10]) + "_" + std::to_string(9 - lotCol % 10) + "-"
            + std::to_string(lotRow % 10);
    }

    void writeLots()
    {
        std::ofstream index(dir_ / "orthomosaicMap.ini");
        index << "2;2\n";
        for (int r = 0; r < 2; ++r)
            for (int c = 0; c < 2; ++c)
                index << (r == 0 ? (c == 0 ? "A" : "B") : (c == 0 ? "C" : "D")) << ";" << r << ";" << c << ";"
                      << IO::formatNumber(kX0 + 25000.0 * c) << ";" << IO::formatNumber(kY0 - 20000.0 * r) << "\n";

        const Format::Level& level = Format::level(kLevel);
        std::vector<char> plane(static_cast<std::size_t>(level.planeBytes));
        for (int lotRow = 0; lotRow < kLotRows; ++lotRow) {
            for (int lotCol = 0; lotCol < kLotCols; ++lotCol) {
                const std::string path = (dir_ / (lotName(lotRow, lotCol) + ".bin")).string();
                std::ofstream out(path, std::ios::binary);
                const auto header = Format::encodeHeader(kX0 + lotCol * Format::lotSpanX, kY0 - lotRow * Format::lotSpanY);
                out.write(reinterpret_cast<const char*>(header.data()), static_cast<std::streamsize>(header.size()));
                for (int y = 0; y < level.height; ++y)
                    for (int x = 0; x < level.width; ++x)
                        plane[static_cast<std::size_t>(y) * level.width + x] = static_cast<char>(
                            sampleAt(lotCol * level.width + x, lotRow * level.height + y));
                out.seekp(level.firstPlane);
                for (int p = 0; p < Format::planeCount; ++p)
                    out.write(plane.data(), static_cast<std::streamsize>(plane.size()));
                out.close();
                // Levels 0 to 2 are holes of the sparse file.
                fs::resize_file(path, static_cast<std::uintmax_t>(Format::fileSize));
            }
        }
    }

    void writeGeoTiff()
    {
        GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GTiff");
        CPLStringList options;
        options.AddString("TILED=YES");
        options.AddString("BLOCKXSIZE=256");
        options.AddString("BLOCKYSIZE=256");
        options.AddString("COMPRESS=NONE");
        GDALDatasetUniquePtr dataset(driver->Create(tiff().c_str(), kWidth, kHeight, 1, GDT_Byte, options.List()));
        std::vector<std::uint8_t> rows(static_cast<std::size_t>(kWidth) * 256);
        for (int y0 = 0; y0 < kHeight; y0 += 256) {
            const int n = std::min(256, kHeight - y0);
            for (int y = 0; y < n; ++y)
                for (int x = 0; x < kWidth; ++x)
                    rows[static_cast<std::size_t>(y) * kWidth + x] = sampleAt(x, y0 + y);
            if (dataset->GetRasterBand(1)->RasterIO(GF_Write, 0, y0, kWidth, n, rows.data(), kWidth, n, GDT_Byte, 0, 0,
                                                    nullptr)
                != CE_None)
                throw std::runtime_error("cannot write the GeoTIFF fixture");
        }
    }

    fs::path dir_;
};

Fixture& fixture()
{
    static Fixture instance;
    return instance;
}

struct PeakMeter {
    long base = 0;
    long worstPeak = 0;
    void start()
    {
        BenchMemory::resetPeak();
        base = BenchMemory::statusKilobytes("VmRSS");
    }
    void stop() { worstPeak = std::max(worstPeak, BenchMemory::statusKilobytes("VmHWM") - base); }
    void report(benchmark::State& state, long long pixels) const
    {
        state.counters["peak_MiB"] = static_cast<double>(worstPeak) / 1024.0;
        state.counters["peak_B_per_px"] = static_cast<double>(worstPeak) * 1024.0 / static_cast<double>(pixels);
        state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * pixels);
    }
};

void BM_AreaLoad(benchmark::State& state)
{
    Fixture& f = fixture();
    const std::string previous = fs::current_path().string();
    fs::current_path(f.dir());
    PeakMeter meter;
    long long pixels = 0;
    QuietStdout quiet;
    for (auto _ : state) {
        meter.start();
        {
            IO::OrthoMosaicBinFile bin;
            bin.openRegion(kX0 + 10.0, kY0 - 10.0, kX0 + 25000.0 + 2.0 * 2500.0 + 10.0,
                           kY0 - 20000.0 - 5.0 * 2000.0 - 10.0, f.dir().string());
            bin.loadBand(0, 0, 0.0, 1.0, false, true);
            pixels = bin.pixelCount;
            if (bin.width != kWidth || bin.height != kHeight
                || bin.bands[0].levels[0].data[static_cast<std::size_t>(kWidth) * 12345 + 17000] != sampleAt(17000, 12345))
                state.SkipWithError("the mosaic is not the fixture");
            meter.stop();
        }
    }
    fs::current_path(previous);
    meter.report(state, pixels);
    // The budget: the level's floats plus one lot row of bytes.
    state.counters["budget_MiB"]
        = (4.0 * static_cast<double>(pixels) + kLotCols * static_cast<double>(Format::level(kLevel).planeBytes))
        / (1024.0 * 1024.0);
}
BENCHMARK(BM_AreaLoad)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8);

void BM_GdalRasterIO(benchmark::State& state)
{
    Fixture& f = fixture();
    PeakMeter meter;
    const long long pixels = static_cast<long long>(kWidth) * kHeight;
    for (auto _ : state) {
        meter.start();
        {
            IO::Gdal::Dataset dataset = IO::Gdal::openRaster(f.tiff(), IO::Gdal::geoTiffDrivers);
            // The same allocation as a band level's: huge pages, touched
            // up front, so both sides pay the same for their float array.
            std::unique_ptr<float[]> values = IO::BandLevel::allocateSamples(static_cast<int>(pixels));
            if (dataset->GetRasterBand(1)->RasterIO(GF_Read, 0, 0, kWidth, kHeight, values.get(), kWidth, kHeight,
                                                    GDT_Float32, 0, 0, nullptr)
                    != CE_None
                || values[static_cast<std::size_t>(kWidth) * 12345 + 17000] != sampleAt(17000, 12345))
                state.SkipWithError("GDAL read failed");
            benchmark::DoNotOptimize(values.get());
            // A fresh dataset each round: closing it drops its cached blocks.
            dataset.reset();
            meter.stop();
        }
    }
    meter.report(state, pixels);
}
BENCHMARK(BM_GdalRasterIO)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(8);

} // namespace

int main(int argc, char** argv)
{
    IO::Gdal::registerDrivers();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    fixture();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    GDALDestroyDriverManager();
    return 0;
}
