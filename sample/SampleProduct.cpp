#include "SampleProduct.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <functional>
#include <mutex>
#include <random>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <vector>

#include <cpl_conv.h>
#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include "SampleWriterSources.h"
#include "io/GdalHandles.h"

namespace fs = std::filesystem;

namespace Sample {

namespace {

// A small integer hash: texture that defeats accidental matches between
// neighbouring pixels, so a reader that takes the wrong pixel is caught.
std::uint32_t mix(std::uint32_t x, std::uint32_t y, std::uint32_t seed)
{
    std::uint32_t h = x * 0x9E3779B1u ^ (y + 0x7F4A7C15u) * 0x85EBCA77u ^ seed * 0xC2B2AE3Du;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    return h;
}

bool inNoDataCorner(int x, int y, int scale)
{
    return x * scale < kNoDataCorner && y * scale < kNoDataCorner;
}

std::uint32_t bandSeed(const std::string& code)
{
    std::uint32_t seed = 0;
    for (char c : code)
        seed = seed * 31u + static_cast<unsigned char>(c);
    return seed % 97u;
}

enum class Georeference { Utm, None, Geographic };

// One raster of the archive.
struct RasterJob {
    std::string entry;              // path inside the archive
    int size = 0;                   // pixels per side
    double pixelSize = 10.0;        // metres
    int bandCount = 1;
    GDALDataType type = GDT_UInt16;
    std::function<double(int band, int x, int y)> value;
    bool truncate = false;          // keep only part of the codestream
};

// One archive entry: an encoded raster or literal bytes.
struct Entry {
    std::string name;
    std::vector<std::uint8_t> bytes;
    bool compressed = true;
};

std::vector<std::uint8_t> randomBytes(std::size_t count, unsigned seed)
{
    std::mt19937 generator(seed);
    std::vector<std::uint8_t> bytes(count);
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(generator() & 0xFFu);
    return bytes;
}

std::vector<std::uint8_t> encode(const RasterJob& job, const ProductSpec& spec, Georeference georeference)
{
    IO::Gdal::registerDrivers();
    // Rasters are encoded side by side on the writer's own threads; a pool
    // of codec threads per raster would only compete with them.
    const CPLConfigOptionSetter singleThreaded("GDAL_NUM_THREADS", "1", false);
    GDALDriver* memory = GetGDALDriverManager()->GetDriverByName("MEM");
    GDALDriver* jp2 = GetGDALDriverManager()->GetDriverByName("JP2OpenJPEG");
    if (!memory || !jp2)
        throw std::runtime_error("GDAL has no MEM or JP2OpenJPEG driver");

    IO::Gdal::Dataset source(memory->Create("", job.size, job.size, job.bandCount, job.type, nullptr));
    if (!source)
        throw std::runtime_error("cannot create an in-memory raster for " + job.entry);

    std::vector<double> row(static_cast<std::size_t>(job.size));
    for (int b = 1; b <= job.bandCount; ++b) {
        GDALRasterBand* band = source->GetRasterBand(b);
        for (int y = 0; y < job.size; ++y) {
            for (int x = 0; x < job.size; ++x)
                row[static_cast<std::size_t>(x)] = job.value(b - 1, x, y);
            if (band->RasterIO(GF_Write, 0, y, job.size, 1, row.data(), job.size, 1, GDT_Float64, 0, 0, nullptr)
                != CE_None)
                throw std::runtime_error("cannot fill the in-memory raster for " + job.entry);
        }
    }

    if (georeference != Georeference::None) {
        OGRSpatialReference srs;
        double transform[6] = {static_cast<double>(spec.originEasting), job.pixelSize, 0.0,
                               static_cast<double>(spec.originNorthing), 0.0, -job.pixelSize};
        if (georeference == Georeference::Geographic) {
            srs.importFromEPSG(4326);
            const double degrees = job.pixelSize / 111000.0;
            const double frame[6] = {15.0, degrees, 0.0, 48.75, 0.0, -degrees};
            std::copy(std::begin(frame), std::end(frame), transform);
        } else if (srs.importFromEPSG(spec.epsg) != OGRERR_NONE) {
            throw std::runtime_error("unknown EPSG code " + std::to_string(spec.epsg));
        }
        source->SetGeoTransform(transform);
        source->SetSpatialRef(&srs);
    }

    // Lossless, georeferenced through a GMLJP2 box only (no GeoJP2 box).
    CPLStringList options;
    options.SetNameValue("REVERSIBLE", "YES");
    options.SetNameValue("QUALITY", "100");
    options.SetNameValue("YCC", "NO");
    options.SetNameValue("GMLJP2", georeference == Georeference::None ? "NO" : "YES");
    options.SetNameValue("GeoJP2", "NO");
    options.SetNameValue("BLOCKXSIZE", std::to_string(spec.blockSize).c_str());
    options.SetNameValue("BLOCKYSIZE", std::to_string(spec.blockSize).c_str());

    // JPEG 2000 rasters cannot be written inside a zip: encode into GDAL's
    // in-memory file system and take the bytes from there.
    const IO::Gdal::MemoryFile target(".jp2");
    {
        IO::Gdal::Dataset written(jp2->CreateCopy(target.path().c_str(), source.get(), FALSE, options.List(),
                                                  nullptr, nullptr));
        if (!written)
            throw std::runtime_error("cannot encode " + job.entry);
    }
    VSIUnlink((target.path() + ".aux.xml").c_str());
    std::vector<std::uint8_t> bytes = target.bytes();
    if (bytes.empty())
        throw std::runtime_error("empty codestream for " + job.entry);
    if (job.truncate)
        bytes.resize(bytes.size() * 6 / 10);
    return bytes;
}

// Encodes the jobs on up to `threads` threads; results in job order.
std::vector<std::vector<std::uint8_t>> encodeAll(const std::vector<RasterJob>& jobs, const ProductSpec& spec,
                                                 Georeference georeference)
{
    std::vector<std::vector<std::uint8_t>> results(jobs.size());
    std::atomic<std::size_t> next{0};
    std::exception_ptr failure;
    std::mutex failureMutex;
    auto worker = [&] {
        for (std::size_t i = next++; i < jobs.size(); i = next++) {
            try {
                results[i] = encode(jobs[i], spec, georeference);
            } catch (...) {
                std::lock_guard lock(failureMutex);
                if (!failure)
                    failure = std::current_exception();
            }
        }
    };
    const int threads = std::clamp(spec.threads, 1, static_cast<int>(std::max<std::size_t>(jobs.size(), 1)));
    std::vector<std::thread> pool;
    for (int t = 1; t < threads; ++t)
        pool.emplace_back(worker);
    worker();
    for (auto& thread : pool)
        thread.join();
    if (failure)
        std::rethrow_exception(failure);
    return results;
}

// "2A" or "1C".
std::string levelName(const ProductSpec& spec)
{
    return spec.level == Level::L1C ? "1C" : "2A";
}

std::string metadataXml(const ProductSpec& spec)
{
    const std::string level = "Level-" + levelName(spec);
    const std::string root = "n1:" + level + "_User_Product";
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<" + root + " xmlns:n1=\"sample\">\n"
           "  <General_Info><Product_Info>\n"
           "    <PRODUCT_URI>" + productName(spec) + ".SAFE</PRODUCT_URI>\n"
           "    <PROCESSING_LEVEL>" + level + "</PROCESSING_LEVEL>\n"
           "    <Note>Synthetic sample product; the samples follow fixed formulas.</Note>\n"
           "  </Product_Info></General_Info>\n"
           "</" + root + ">\n";
}

void writeZip(const fs::path& path, const std::vector<Entry>& entries)
{
    void* zip = CPLCreateZip(path.string().c_str(), nullptr);
    if (!zip)
        throw std::runtime_error("cannot create " + path.string());
    bool ok = true;
    for (const auto& entry : entries) {
        CPLStringList options;
        // Codestreams are compressed already: stored as they are, like the
        // entries of delivered products, so a window read can seek in them.
        options.SetNameValue("COMPRESSED", entry.compressed ? "YES" : "NO");
        if (CPLCreateFileInZip(zip, entry.name.c_str(), options.List()) != CE_None) {
            ok = false;
            break;
        }
        constexpr std::size_t chunk = 64u << 20;
        for (std::size_t offset = 0; ok && offset < entry.bytes.size(); offset += chunk) {
            const std::size_t n = std::min(chunk, entry.bytes.size() - offset);
            ok = CPLWriteFileInZip(zip, entry.bytes.data() + offset, static_cast<int>(n)) == CE_None;
        }
        ok = CPLCloseFileInZip(zip) == CE_None && ok;
        if (!ok)
            break;
    }
    ok = CPLCloseZip(zip) == CE_None && ok;
    if (!ok)
        throw std::runtime_error("cannot write " + path.string());
}

// Writes bytes to path through a temporary sibling renamed at the end.
template <typename Writer>
void writeAtomically(const fs::path& path, Writer&& writer)
{
    const fs::path temporary = path.string() + ".part";
    try {
        writer(temporary);
        fs::rename(temporary, path);
    } catch (...) {
        std::error_code ec;
        fs::remove(temporary, ec);
        throw;
    }
}

} // namespace

std::string productKey(const ProductSpec& product)
{
    // Binding every member: a field added to the product's description does
    // not compile here until it is part of the key.
    const auto& [size, epsg, originEasting, originNorthing, tileId, sensingTime, extension, withB11, withB12,
                 withPreview, flaw, threads, blockSize, scene, level] = product;
    (void)threads;
    return "size=" + std::to_string(size) + " epsg=" + std::to_string(epsg) + " origin="
        + std::to_string(originEasting) + "," + std::to_string(originNorthing) + " tile=" + tileId
        + " sensing=" + sensingTime + " extension=" + extension + " B11=" + std::to_string(withB11)
        + " B12=" + std::to_string(withB12) + " preview=" + std::to_string(withPreview)
        + " flaw=" + std::to_string(static_cast<int>(flaw)) + " block=" + std::to_string(blockSize)
        + " scene=" + std::to_string(static_cast<int>(scene)) + " level=" + levelName(product);
}

std::string writerFingerprint()
{
    return std::string("sources=") + FENLARK_SAMPLE_WRITER_SOURCES + " gdal=" + GDALVersionInfo("RELEASE_NAME");
}

std::string productName(const ProductSpec& spec)
{
    return "S2A_MSIL" + levelName(spec) + "_" + spec.sensingTime + "_N0509_R079_" + spec.tileId
        + "_20230601T121212";
}

std::uint16_t reflectance(const std::string& code, int x, int y, int scale)
{
    if (inNoDataCorner(x, y, scale))
        return 0;
    const std::uint32_t seed = bandSeed(code);
    // A smooth field per band plus four bits of texture.
    const std::uint32_t gx = static_cast<std::uint32_t>(x * scale);
    const std::uint32_t gy = static_cast<std::uint32_t>(y * scale);
    const std::uint32_t value = 300u + seed * 40u + gx * 2u + gy * 3u + (mix(gx, gy, seed) & 15u);
    return static_cast<std::uint16_t>(std::min<std::uint32_t>(value, 65535u));
}

std::vector<SceneDisc> sceneDiscs(int size)
{
    return {{size * 0.30, size * 0.32, size * 0.12}, {size * 0.70, size * 0.40, size * 0.09}};
}

SceneRectangle sceneRectangle(int size)
{
    return {static_cast<int>(size * 0.20), static_cast<int>(size * 0.65), static_cast<int>(size * 0.55),
            static_cast<int>(size * 0.85)};
}

std::uint16_t sceneReflectance(const std::string& code, int x, int y, int scale, int size)
{
    if (inNoDataCorner(x, y, scale))
        return 0;
    // Shapes are tested at the centre of the raster pixel, in working pixels.
    const double cx = (x + 0.5) * scale;
    const double cy = (y + 0.5) * scale;
    bool inside = false;
    for (const SceneDisc& disc : sceneDiscs(size))
        inside = inside || std::hypot(cx - disc.centerX, cy - disc.centerY) < disc.radius;
    const SceneRectangle box = sceneRectangle(size);
    inside = inside || (cx >= box.x0 && cx < box.x1 && cy >= box.y0 && cy < box.y1);
    const std::uint32_t texture = mix(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y), bandSeed(code))
                                  % (kSceneTexture + 1);
    return static_cast<std::uint16_t>((inside ? kSceneBright : kSceneGround) + static_cast<int>(texture));
}

std::uint8_t sceneClass(int x, int y, int scale)
{
    if (inNoDataCorner(x, y, scale))
        return 0;
    return static_cast<std::uint8_t>(1 + (x + 3 * y + (mix(x, y, 7) & 1u)) % 11);
}

std::uint8_t cloudProbability(int x, int y, int scale)
{
    return static_cast<std::uint8_t>((x * 5 + y * 3 + scale) % 101);
}

std::int16_t signedSample(int x, int y)
{
    return static_cast<std::int16_t>(x * 7 - y * 11 - 100);
}

std::uint8_t previewValue(int channel, int x, int y)
{
    return static_cast<std::uint8_t>((x * 16 + y * 8 + channel * 85) % 256);
}

int previewSize(int size)
{
    return std::max(16, static_cast<int>(std::lround(size * 343.0 / 10980.0)));
}

int previewPixelSize(int size)
{
    // Whole tens of metres, so the preview's extent misses the tile's by a
    // little, as with real products (343 x 320 m against 109 800 m).
    return 10 * static_cast<int>(std::lround(size * 10.0 / previewSize(size) / 10.0));
}

fs::path writeProduct(const fs::path& folder, const ProductSpec& spec)
{
    if (spec.size < kNoDataCorner || spec.size % 6 != 0)
        throw std::invalid_argument("the working size must be a multiple of 6 and at least 12");
    if (spec.level == Level::L1C && spec.flaw != Flaw::None)
        throw std::invalid_argument("flaws apply to Level-2A products only");
    fs::create_directories(folder);
    const std::string name = productName(spec);
    const fs::path archive = folder / (name + "." + spec.extension);

    if (spec.flaw == Flaw::NotAZip) {
        writeAtomically(archive, [](const fs::path& path) {
            const auto bytes = randomBytes(4096, 11);
            IO::Gdal::VsiFile file(VSIFOpenL(path.string().c_str(), "wb"));
            if (!file || VSIFWriteL(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
                throw std::runtime_error("cannot write " + path.string());
        });
        return archive;
    }

    const std::string safe = name + ".SAFE/";
    const bool topOfAtmosphere = spec.level == Level::L1C;
    const std::string granule =
        safe + "GRANULE/L" + levelName(spec) + "_" + spec.tileId + "_A041234_" + spec.sensingTime + "/";
    const std::string qi = granule + "QI_DATA/";
    const std::string image = granule + "IMG_DATA/";
    const std::string prefix = spec.tileId + "_" + spec.sensingTime + "_";
    const int size = spec.size;

    std::vector<RasterJob> jobs;
    auto reflectanceJob = [&](const std::string& code, int scale) {
        const std::string resolution = std::to_string(10 * scale) + "m";
        RasterJob job;
        job.entry = topOfAtmosphere ? image + prefix + code + ".jp2"
                                    : image + "R" + resolution + "/" + prefix + code + "_" + resolution + ".jp2";
        job.size = size / scale;
        job.pixelSize = 10.0 * scale;
        const bool shapes = spec.scene == Scene::Shapes && (code == "B02" || code == "B03" || code == "B04");
        job.value = [code, scale, shapes, size](int, int x, int y) {
            return shapes ? sceneReflectance(code, x, y, scale, size) : reflectance(code, x, y, scale);
        };
        return job;
    };
    auto byteJob = [&](const std::string& entry, int scale, int bandCount,
                       std::function<double(int, int, int)> value) {
        RasterJob job;
        job.entry = entry;
        job.size = size / scale;
        job.pixelSize = 10.0 * scale;
        job.bandCount = bandCount;
        job.type = GDT_Byte;
        job.value = std::move(value);
        return job;
    };
    // The true-colour image of B04, B03 and B02 at 10 m.
    auto trueColourJob = [&](const std::string& entry) {
        return byteJob(entry, 1, 3, [](int band, int x, int y) {
            return std::min(255, reflectance(band == 0 ? "B04" : band == 1 ? "B03" : "B02", x, y, 1) / 8);
        });
    };
    auto maskJobs = [&] {
        for (const char* band : {"B02", "B03"}) {
            jobs.push_back(byteJob(qi + "MSK_DETFOO_" + band + ".jp2", 2, 1, [](int, int x, int) { return x % 4; }));
            jobs.push_back(byteJob(qi + "MSK_QUALIT_" + band + ".jp2", 2, 1, [](int, int, int) { return 0; }));
        }
    };

    if (spec.flaw == Flaw::MasksOnly) {
        maskJobs();
    } else {
        // Quality folder first: the first raster listed is then the preview,
        // whose extent differs a little from the tile's.
        if (spec.withPreview) {
            RasterJob job;
            job.entry = qi + prefix + "PVI.jp2";
            job.size = previewSize(size);
            job.pixelSize = previewPixelSize(size);
            job.bandCount = 3;
            job.type = GDT_Byte;
            job.value = [](int band, int x, int y) { return previewValue(band, x, y); };
            jobs.push_back(std::move(job));
        }
        if (spec.flaw == Flaw::NoRecognisedBand) {
            jobs.push_back(byteJob(image + "R10m/" + prefix + "TCI_10m.jp2", 1, 3,
                                   [](int band, int x, int y) { return (x + y + band) % 256; }));
            RasterJob unknown = reflectanceJob("B02", 1);
            unknown.entry = image + "R10m/" + prefix + "XYZ_10m.jp2";
            jobs.push_back(std::move(unknown));
        } else if (topOfAtmosphere) {
            maskJobs();
            const std::pair<const char*, int> l1cBands[] = {
                {"B01", 6}, {"B02", 1}, {"B03", 1}, {"B04", 1}, {"B05", 2}, {"B06", 2}, {"B07", 2},
                {"B08", 1}, {"B8A", 2}, {"B09", 6}, {"B10", 6}, {"B11", 2}, {"B12", 2},
            };
            for (const auto& [code, scale] : l1cBands) {
                if ((code == std::string("B11") && !spec.withB11) || (code == std::string("B12") && !spec.withB12))
                    continue;
                jobs.push_back(reflectanceJob(code, scale));
            }
            jobs.push_back(trueColourJob(image + prefix + "TCI.jp2"));
        } else {
            jobs.push_back(byteJob(qi + "MSK_CLDPRB_20m.jp2", 2, 1,
                                   [](int, int x, int y) { return cloudProbability(x, y, 2); }));
            maskJobs();
            for (const char* code : {"B02", "B03", "B04", "B08"})
                jobs.push_back(reflectanceJob(code, 1));
            jobs.push_back(trueColourJob(image + "R10m/" + prefix + "TCI_10m.jp2"));
            jobs.push_back(reflectanceJob("B02", 2));
            if (spec.withB11)
                jobs.push_back(reflectanceJob("B11", 2));
            if (spec.withB12)
                jobs.push_back(reflectanceJob("B12", 2));
            jobs.push_back(reflectanceJob("B8A", 2));
            jobs.push_back(byteJob(image + "R20m/" + prefix + "SCL_20m.jp2", 2, 1,
                                   [](int, int x, int y) { return sceneClass(x, y, 2); }));
            if (spec.flaw == Flaw::SignedBand) {
                RasterJob job = reflectanceJob("B05", 2);
                job.type = GDT_Int16;
                job.value = [](int, int x, int y) { return signedSample(x, y); };
                jobs.push_back(std::move(job));
            }
            jobs.push_back(reflectanceJob("B01", 6));
            jobs.push_back(reflectanceJob("B02", 6));
        }
    }

    if (spec.flaw == Flaw::TruncatedCodestream)
        for (auto& job : jobs)
            if (job.entry.find("_B04_10m") != std::string::npos)
                job.truncate = true;

    const Georeference georeference = spec.flaw == Flaw::NoGeoreference ? Georeference::None
                                    : spec.flaw == Flaw::Geographic     ? Georeference::Geographic
                                                                        : Georeference::Utm;
    auto encoded = encodeAll(jobs, spec, georeference);

    std::vector<Entry> entries;
    const std::string xml = metadataXml(spec);
    entries.push_back(
        {safe + "MTD_MSIL" + levelName(spec) + ".xml", std::vector<std::uint8_t>(xml.begin(), xml.end()), true});
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        if (spec.flaw == Flaw::RandomBytesRaster && jobs[i].entry.find("_B03_10m") != std::string::npos)
            encoded[i] = randomBytes(encoded[i].size(), 5);
        entries.push_back({jobs[i].entry, std::move(encoded[i]), false});
    }

    writeAtomically(archive, [&](const fs::path& path) { writeZip(path, entries); });
    return archive;
}

} // namespace Sample
