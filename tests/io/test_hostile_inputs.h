#pragma once

// Small files that lie about themselves, made at test time: a GeoTIFF header
// that declares a huge raster whose data are not there, Sentinel-2 product
// archives whose rasters declare sizes, tiles, components or pixel sizes of
// their own choosing or that list thousands of entries (declared, or hidden
// from a count of them), virtual rasters that read other files, sparse files
// far larger than what they store, and paths that name no regular file (named
// pipes, devices, folders, sockets). The inputs fuzzing found are rebuilt
// from these (the copies in fuzz/regressions/ are what they write).

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cpl_string.h>
#include <cpl_vsi.h>
#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include "io/GdalHandles.h"

namespace HostileInputs {

// ------------------------------------------------------------------ GeoTIFF

// A little-endian GeoTIFF of one 32-bit float band (8-bit with floatSamples
// false) in UTM zone 33N, 10 m pixels at (500000, 5400000), that declares
// width x height pixels in one uncompressed strip lying beyond the end of the
// file: the header is all there is (about 300 bytes). With rowsPerStrip below
// height the raster needs more strips than the one the header lists, so the
// strip list is ignored and the raster reads as blocks of width x
// rowsPerStrip pixels that hold no data. With samplesPerPixel above 1 the
// pixels interleave that many samples (one band each), all of the one size.
inline std::string tiffHeader(std::uint32_t width, std::uint32_t height, bool floatSamples = true,
                              std::uint32_t rowsPerStrip = 0, std::uint16_t samplesPerPixel = 1)
{
    if (rowsPerStrip == 0)
        rowsPerStrip = height;
    std::string out;
    auto put16 = [&](std::uint16_t v) {
        out += static_cast<char>(v & 0xFF);
        out += static_cast<char>(v >> 8);
    };
    auto put32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    auto putDouble = [&](double v) {
        std::uint64_t bits = 0;
        std::memcpy(&bits, &v, sizeof bits);
        for (int i = 0; i < 8; ++i)
            out += static_cast<char>((bits >> (8 * i)) & 0xFF);
    };
    enum Type : std::uint16_t { kShort = 3, kLong = 4, kDouble = 12 };
    struct Entry {
        std::uint16_t tag;
        std::uint16_t type;
        std::uint32_t count;
        std::uint32_t value;  // the value itself, or the offset of the values
    };
    const std::uint16_t bits = floatSamples ? 32 : 8;
    const std::uint32_t bytesPerSample = bits / 8;
    constexpr std::uint32_t entries = 14;
    constexpr std::uint32_t ifdSize = 2 + entries * 12 + 4;
    constexpr std::uint32_t scaleOffset = 8 + ifdSize;
    constexpr std::uint32_t tiepointOffset = scaleOffset + 3 * 8;
    constexpr std::uint32_t keysOffset = tiepointOffset + 6 * 8;
    constexpr std::uint32_t end = keysOffset + 16 * 2;
    const Entry table[entries] = {
        {256, kLong, 1, width},
        {257, kLong, 1, height},
        {258, kShort, 1, bits},
        {259, kShort, 1, 1},                     // no compression
        {262, kShort, 1, 1},                     // black is zero
        {273, kLong, 1, end + 4096},             // the strip: beyond the end of the file
        {277, kShort, 1, samplesPerPixel},
        {278, kLong, 1, rowsPerStrip},
        {279, kLong, 1,
         static_cast<std::uint32_t>(std::uint64_t{width} * rowsPerStrip * bytesPerSample * samplesPerPixel)},
        {284, kShort, 1, 1},
        {339, kShort, 1, static_cast<std::uint32_t>(floatSamples ? 3 : 1)},
        {33550, kDouble, 3, scaleOffset},        // pixel scale
        {33922, kDouble, 6, tiepointOffset},     // tie point
        {34735, kShort, 16, keysOffset},         // GeoKey directory
    };
    out += "II";
    put16(42);
    put32(8);
    put16(entries);
    for (const Entry& e : table) {
        put16(e.tag);
        put16(e.type);
        put32(e.count);
        if (e.type == kShort && e.count == 1) {
            put16(static_cast<std::uint16_t>(e.value));
            put16(0);
        } else {
            put32(e.value);
        }
    }
    put32(0);
    for (double v : {10.0, 10.0, 0.0})
        putDouble(v);
    for (double v : {0.0, 0.0, 0.0, 500000.0, 5400000.0, 0.0})
        putDouble(v);
    // Version 1.1.0, three keys: projected model, pixel is area, EPSG 32633.
    for (std::uint16_t v : {1, 1, 0, 3, 1024, 0, 1, 1, 1025, 0, 1, 1, 3072, 0, 1, 32633})
        put16(v);
    return out;
}

// ---------------------------------------------------------------- products

// One raster of a product: band code, resolution named in its file name
// ("10m"), pixel count per side as encoded, the pixel size its GMLJP2 box
// states, the size per side its codestream header declares instead of the
// encoded one (0: the encoded size), the tile width and height it declares
// instead (0: one tile of the raster's width or height), and the resolution
// levels it is encoded with (0: as GDAL chooses; each level is a reduced
// image a read at a coarser scale decodes instead of the whole), and the
// components (bands) it holds.
struct ProductRaster {
    std::string code;
    std::string resolution;
    int size = 12;
    double pixelSize = 10.0;
    int declaredSize = 0;
    std::uint32_t declaredTileWidth = 0;
    std::uint32_t declaredTileHeight = 0;
    int resolutions = 0;
    int components = 1;
};

inline const char* productName()
{
    return "S2A_MSIL2A_20230601T095031_N0509_R079_T33UXP_20230601T121212";
}

// Makes the codestream of a JPEG 2000 file declare size x size pixels in one
// tile: the image header box and the codestream's SIZ marker both say so.
inline void declareSize(std::vector<std::uint8_t>& jp2, int size)
{
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        if (at + 4 > jp2.size())
            throw std::runtime_error("JPEG 2000 header cut short");
        for (int i = 0; i < 4; ++i)
            jp2[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * (3 - i)));
    };
    auto find = [&](const std::string& bytes) {
        for (std::size_t i = 0; i + bytes.size() <= jp2.size(); ++i)
            if (std::memcmp(jp2.data() + i, bytes.data(), bytes.size()) == 0)
                return i;
        throw std::runtime_error("no " + bytes + " in the JPEG 2000 file");
    };
    const std::size_t ihdr = find("ihdr");
    put32(ihdr + 4, static_cast<std::uint32_t>(size));  // height
    put32(ihdr + 8, static_cast<std::uint32_t>(size));  // width
    // SIZ: marker, Lsiz, Rsiz, Xsiz, Ysiz, XOsiz, YOsiz, XTsiz, YTsiz.
    const std::size_t siz = find(std::string("\xFF\x4F\xFF\x51", 4)) + 2;
    for (std::size_t field : {6u, 10u, 22u, 26u})
        put32(siz + field, static_cast<std::uint32_t>(size));
}

// Makes the codestream's SIZ marker declare tiles of the given width (XTsiz)
// and height (YTsiz; 0 leaves either as it is), leaving the image's size as
// it is.
inline void declareTileSize(std::vector<std::uint8_t>& jp2, std::uint32_t width, std::uint32_t height)
{
    const std::string marker("\xFF\x4F\xFF\x51", 4);
    for (std::size_t i = 0; i + marker.size() <= jp2.size(); ++i) {
        if (std::memcmp(jp2.data() + i, marker.data(), marker.size()) != 0)
            continue;
        const std::size_t at = i + 2 + 22;
        if (at + 8 > jp2.size())
            break;
        for (const auto& [offset, value] : {std::pair{at, width}, std::pair{at + 4, height}}) {
            if (value == 0)
                continue;
            for (int b = 0; b < 4; ++b)
                jp2[offset + static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(value >> (8 * (3 - b)));
        }
        return;
    }
    throw std::runtime_error("no SIZ marker in the JPEG 2000 file");
}

// A lossless 16-bit JPEG 2000 raster georeferenced by a GMLJP2 box only, as
// products carry it; every component holds the same samples.
inline std::vector<std::uint8_t> encodeRaster(const ProductRaster& raster)
{
    IO::Gdal::registerDrivers();
    GDALDriver* memory = GetGDALDriverManager()->GetDriverByName("MEM");
    GDALDriver* jp2 = GetGDALDriverManager()->GetDriverByName("JP2OpenJPEG");
    if (!memory || !jp2)
        throw std::runtime_error("GDAL has no MEM or JP2OpenJPEG driver");
    IO::Gdal::Dataset source(memory->Create("", raster.size, raster.size, raster.components, GDT_UInt16, nullptr));
    if (!source)
        throw std::runtime_error("cannot make the raster");
    std::vector<std::uint16_t> samples(static_cast<std::size_t>(raster.size) * raster.size);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::uint16_t>(100 + i % 977);
    for (int b = 1; b <= raster.components; ++b)
        if (source->GetRasterBand(b)->RasterIO(GF_Write, 0, 0, raster.size, raster.size, samples.data(),
                                               raster.size, raster.size, GDT_UInt16, 0, 0, nullptr)
            != CE_None)
            throw std::runtime_error("cannot fill the raster");
    double transform[6] = {500000.0, raster.pixelSize, 0.0, 5400000.0, 0.0, -raster.pixelSize};
    source->SetGeoTransform(transform);
    OGRSpatialReference srs;
    srs.importFromEPSG(32633);
    source->SetSpatialRef(&srs);

    CPLStringList options;
    options.SetNameValue("REVERSIBLE", "YES");
    options.SetNameValue("QUALITY", "100");
    options.SetNameValue("GMLJP2", "YES");
    options.SetNameValue("GeoJP2", "NO");
    if (raster.resolutions > 0)
        options.SetNameValue("RESOLUTIONS", std::to_string(raster.resolutions).c_str());
    const IO::Gdal::MemoryFile target(".jp2");
    {
        IO::Gdal::Dataset written(
            jp2->CreateCopy(target.path().c_str(), source.get(), FALSE, options.List(), nullptr, nullptr));
        if (!written)
            throw std::runtime_error("cannot encode " + raster.code);
    }
    VSIUnlink((target.path() + ".aux.xml").c_str());
    std::vector<std::uint8_t> bytes = target.bytes();
    if (raster.declaredSize > 0)
        declareSize(bytes, raster.declaredSize);
    if (raster.declaredTileWidth > 0 || raster.declaredTileHeight > 0)
        declareTileSize(bytes, raster.declaredTileWidth, raster.declaredTileHeight);
    return bytes;
}

// The path inside a product archive of a raster of the given band code and
// resolution; suffix is appended to the file name before ".jp2".
inline std::string productEntry(const std::string& code, const std::string& resolution,
                                const std::string& suffix = "")
{
    return std::string(productName()) + ".SAFE/GRANULE/L2A_T33UXP_A041234_20230601T095031/IMG_DATA/R" + resolution
        + "/T33UXP_20230601T095031_" + code + "_" + resolution + suffix + ".jp2";
}

// Writes an archive named as products are into folder, its entries stored
// uncompressed in the given order, and returns its path.
inline std::filesystem::path writeArchive(const std::filesystem::path& folder,
                                          const std::vector<std::pair<std::string, std::vector<std::uint8_t>>>& entries)
{
    const std::filesystem::path archive = folder / (std::string(productName()) + ".zip");
    void* zip = CPLCreateZip(archive.string().c_str(), nullptr);
    if (!zip)
        throw std::runtime_error("cannot create " + archive.string());
    bool ok = true;
    CPLStringList options;
    options.SetNameValue("COMPRESSED", "NO");
    for (const auto& [entry, bytes] : entries) {
        ok = ok && CPLCreateFileInZip(zip, entry.c_str(), options.List()) == CE_None;
        ok = ok && CPLWriteFileInZip(zip, bytes.data(), static_cast<int>(bytes.size())) == CE_None;
        ok = ok && CPLCloseFileInZip(zip) == CE_None;
    }
    ok = CPLCloseZip(zip) == CE_None && ok;
    if (!ok)
        throw std::runtime_error("cannot write " + archive.string());
    return archive;
}

// ------------------------------------------------------------- zip records

inline void putLittleEndian(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

inline std::uint64_t readLittleEndian(const std::vector<std::uint8_t>& bytes, std::size_t at, int count)
{
    std::uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = value << 8 | bytes[at + static_cast<std::size_t>(i)];
    return value;
}

// The zip64 end record (56 bytes) of a directory of the given entries, size
// and offset, lying at recordOffset, followed by the locator (20 bytes) that
// points at it.
inline std::vector<std::uint8_t> zip64EndRecords(std::uint64_t entries, std::uint64_t directorySize,
                                                 std::uint64_t directoryOffset, std::uint64_t recordOffset)
{
    std::vector<std::uint8_t> out{'P', 'K', 6, 6};
    putLittleEndian(out, 44, 8);  // the record's size after this field
    putLittleEndian(out, 45, 2);
    putLittleEndian(out, 45, 2);
    putLittleEndian(out, 0, 4);
    putLittleEndian(out, 0, 4);
    putLittleEndian(out, entries, 8);
    putLittleEndian(out, entries, 8);
    putLittleEndian(out, directorySize, 8);
    putLittleEndian(out, directoryOffset, 8);
    out.insert(out.end(), {'P', 'K', 6, 7});
    putLittleEndian(out, 0, 4);
    putLittleEndian(out, recordOffset, 8);
    putLittleEndian(out, 1, 4);
    return out;
}

// Which record, at the very end of an archive, declares its entries while
// its end record declares one.
enum class HiddenCount {
    Zip64Locator,  // a zip64 locator, pointing at a zip64 end record that declares them
    EndRecord,     // a second end record
};

// Rewrites the archive at path, as writeArchive writes it (an end record
// without comment, no zip64 records), so that its end record declares a
// single entry and its comment ends with a record that declares every entry,
// cut short by `missing` bytes at the end of the file. GDAL's zip reader
// looks for its records up to the last four bytes of the file and takes the
// last it finds, and lists every entry.
inline void hideEntryCount(const std::filesystem::path& archive, HiddenCount where, int missing)
{
    std::vector<std::uint8_t> zip;
    {
        std::ifstream in(archive, std::ios::binary);
        zip.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (zip.size() < 22 || std::memcmp(zip.data() + zip.size() - 22, "PK\x05\x06", 4) != 0)
        throw std::runtime_error("no end record at the end of " + archive.string());
    const std::size_t end = zip.size() - 22;
    const std::uint64_t entries = readLittleEndian(zip, end + 10, 2);
    const std::uint64_t directorySize = readLittleEndian(zip, end + 12, 4);
    const std::uint64_t directoryOffset = readLittleEndian(zip, end + 16, 4);
    std::vector<std::uint8_t> endRecord(zip.begin() + static_cast<std::ptrdiff_t>(end), zip.end());
    zip.resize(end);

    std::vector<std::uint8_t> hidden;
    if (where == HiddenCount::Zip64Locator) {
        // The zip64 end record where it belongs, after the directory; its
        // locator ends the comment.
        const std::vector<std::uint8_t> records = zip64EndRecords(entries, directorySize, directoryOffset, end);
        zip.insert(zip.end(), records.begin(), records.begin() + 56);
        hidden.assign(records.begin() + 56, records.end());
    } else {
        // A copy of the end record whose directory reaches up to where the
        // copy lies, as the reader expects of the end record it takes.
        hidden = endRecord;
        const std::uint64_t reach = zip.size() + 22 - directoryOffset;
        for (int i = 0; i < 4; ++i)
            hidden[12 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(reach >> (8 * i));
    }
    hidden.resize(hidden.size() - static_cast<std::size_t>(missing));
    endRecord[8] = endRecord[10] = 1;
    endRecord[9] = endRecord[11] = 0;
    endRecord[20] = static_cast<std::uint8_t>(hidden.size());
    endRecord[21] = 0;
    zip.insert(zip.end(), endRecord.begin(), endRecord.end());
    zip.insert(zip.end(), hidden.begin(), hidden.end());
    std::ofstream out(archive, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(zip.data()), static_cast<std::streamsize>(zip.size()));
    if (!out)
        throw std::runtime_error("cannot write " + archive.string());
}

// Writes a product of the given rasters into folder, named as products are,
// and returns the archive's path.
inline std::filesystem::path writeProduct(const std::filesystem::path& folder,
                                          const std::vector<ProductRaster>& rasters)
{
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> entries;
    for (const ProductRaster& raster : rasters)
        entries.emplace_back(productEntry(raster.code, raster.resolution), encodeRaster(raster));
    return writeArchive(folder, entries);
}

// A product whose preview ("PVI") declares size x size pixels in one tile,
// encoded with six resolution levels, beside a band that opens: a read of
// the preview resampled to a few hundred pixels decodes its coarsest level,
// size / 32 pixels per side.
inline std::filesystem::path writePreviewProduct(const std::filesystem::path& folder, int size)
{
    return writeProduct(folder, {{"B04", "10m", 12, 10.0}, {"PVI", "320m", 64, 320.0, size, 0, 0, 6}});
}

// A product of count copies of one band raster ("B04_10m_1.jp2", ...): each
// names a band, so opening would open every one.
inline std::filesystem::path writeCrowdedProduct(const std::filesystem::path& folder, int count,
                                                 const ProductRaster& raster = {"B04", "10m", 12, 10.0})
{
    const std::vector<std::uint8_t> bytes = encodeRaster(raster);
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> entries;
    for (int i = 1; i <= count; ++i)
        entries.emplace_back(productEntry(raster.code, raster.resolution, "_" + std::to_string(i)), bytes);
    return writeArchive(folder, entries);
}

// A product of one band raster and count empty files, each in a folder of
// its own: listing the archive visits every folder.
inline std::filesystem::path writeProductOfFolders(const std::filesystem::path& folder, int count)
{
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> entries;
    entries.emplace_back(productEntry("B04", "10m"), encodeRaster({"B04", "10m", 12, 10.0}));
    for (int i = 1; i <= count; ++i)
        entries.emplace_back(std::string(productName()) + ".SAFE/HTML/" + std::to_string(i) + "/star_bg.jpg",
                             std::vector<std::uint8_t>{});
    return writeArchive(folder, entries);
}

// ------------------------------------------------------------ virtual rasters

// A GDAL virtual raster (VRT, an XML text) of one 8-bit band of width x
// height pixels in UTM zone 33N, 10 m pixels with their upper-left corner at
// (easting, northing), whose pixels come from source: an XML element that
// names another file (a raw band or a simple source).
inline std::string virtualRaster(int width, int height, double easting, double northing,
                                 const std::string& bandClass, const std::string& source)
{
    return "<VRTDataset rasterXSize=\"" + std::to_string(width) + "\" rasterYSize=\"" + std::to_string(height)
        + "\">\n  <SRS>EPSG:32633</SRS>\n  <GeoTransform>" + std::to_string(easting) + ", 10, 0, "
        + std::to_string(northing) + ", 0, -10</GeoTransform>\n  <VRTRasterBand dataType=\"Byte\" band=\"1\""
        + (bandClass.empty() ? std::string() : " subClass=\"" + bandClass + "\"") + ">\n" + source
        + "\n  </VRTRasterBand>\n</VRTDataset>\n";
}

// A virtual raster whose pixels are the bytes of the file at path, row
// after row.
inline std::string virtualRasterOfFile(const std::string& path, int width, int height, double easting,
                                       double northing)
{
    return virtualRaster(width, height, easting, northing, "VRTRawRasterBand",
                         "    <SourceFilename relativeToVRT=\"0\">" + path
                             + "</SourceFilename>\n    <ImageOffset>0</ImageOffset>\n    <PixelOffset>1</PixelOffset>\n"
                               "    <LineOffset>"
                             + std::to_string(width) + "</LineOffset>");
}

// A virtual raster whose pixels come from band 1 of the raster at source (a
// path GDAL opens, "/vsicurl/http://..." included).
inline std::string virtualRasterOfSource(const std::string& source, int width, int height, double easting,
                                         double northing)
{
    return virtualRaster(width, height, easting, northing, "",
                         "    <SimpleSource>\n      <SourceFilename relativeToVRT=\"0\">" + source
                             + "</SourceFilename>\n      <SourceBand>1</SourceBand>\n    </SimpleSource>");
}

// ----------------------------------------------------------- sparse files

// A file of bytes bytes that stores only head: the rest is a hole, which the
// file system keeps as no blocks at all and which reads as zero bytes.
inline void writeSparseFile(const std::filesystem::path& path, const std::string& head, std::uintmax_t bytes)
{
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << head;
        if (!out)
            throw std::runtime_error("cannot write " + path.string());
    }
    std::filesystem::resize_file(path, bytes);
}

// ------------------------------------------------------ no regular files

// What a path typed into a file dialog may name instead of a file.
enum class NonRegular {
    NamedPipe,      // open() for reading waits for a writer
    LinkToDevZero,  // a symbolic link to /dev/zero: zero bytes without end
    Folder,
    Socket,
};

inline const char* describe(NonRegular kind)
{
    switch (kind) {
    case NonRegular::NamedPipe: return "a named pipe";
    case NonRegular::LinkToDevZero: return "a link to /dev/zero";
    case NonRegular::Folder: return "a folder";
    case NonRegular::Socket: return "a socket";
    }
    return "?";
}

// Makes a path of that kind.
inline void makeNonRegular(NonRegular kind, const std::filesystem::path& path)
{
    bool made = false;
    switch (kind) {
    case NonRegular::NamedPipe:
        made = ::mkfifo(path.c_str(), 0600) == 0;
        break;
    case NonRegular::LinkToDevZero: {
        std::error_code ec;
        std::filesystem::create_symlink("/dev/zero", path, ec);
        made = !ec;
        break;
    }
    case NonRegular::Folder:
        made = std::filesystem::create_directory(path);
        break;
    case NonRegular::Socket:
        // The file of a socket, as bind() leaves it; no name length limit
        // and no listener needed.
        made = ::mknod(path.c_str(), S_IFSOCK | 0600, 0) == 0;
        break;
    }
    if (!made)
        throw std::runtime_error(std::string("cannot make ") + describe(kind) + " at " + path.string());
}

// Frees whoever waits to read the named pipe at path: from afterSeconds on,
// and until the object goes, the pipe's writing end is opened and closed
// again whenever a reader has it open, so the reader reads it as empty. A
// test of a reader that opens the pipe then ends, failing on its time bound,
// instead of hanging for good.
class PipeReleaser {
public:
    PipeReleaser(std::filesystem::path path, double afterSeconds)
        : path_(std::move(path))
        , thread_([this, afterSeconds] { run(afterSeconds); })
    {
    }
    ~PipeReleaser()
    {
        stop_ = true;
        thread_.join();
    }
    PipeReleaser(const PipeReleaser&) = delete;
    PipeReleaser& operator=(const PipeReleaser&) = delete;

private:
    void run(double afterSeconds)
    {
        const auto from = std::chrono::steady_clock::now() + std::chrono::duration<double>(afterSeconds);
        while (!stop_) {
            if (std::chrono::steady_clock::now() >= from) {
                // Opening the writing end without waiting succeeds only while
                // a reader has the pipe open (or waits in open()).
                const int fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                if (fd >= 0)
                    ::close(fd);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    std::filesystem::path path_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace HostileInputs
