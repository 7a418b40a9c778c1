#include "io/GdalHandles.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string_view>
#include <system_error>
#include <utility>

#include <cpl_error.h>
#include <cpl_minixml.h>
#include <ogr_srs_api.h>

#include "io/UserFiles.h"

namespace IO::Gdal {

void registerDrivers()
{
    static std::once_flag once;
    std::call_once(once, [] { GDALAllRegister(); });
}

void preferProjDatabaseIn(const std::string& folder)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    if (folder.empty() || !fs::is_regular_file(fs::path(folder) / "proj.db", ec))
        return;

    // The search path is process-wide: serialise the read-modify-write so two
    // opening threads cannot interleave and drop each other's entries.
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    const StringList current(OSRGetPROJSearchPaths());
    std::vector<std::string> paths = toStrings(current);
    if (!paths.empty() && paths.front() == folder)
        return;

    CPLStringList updated;
    updated.AddString(folder.c_str());
    for (const auto& path : paths)
        if (path != folder)
            updated.AddString(path.c_str());
    OSRSetPROJSearchPaths(updated.List());
}

bool blocksFit(GDALDataset& dataset)
{
    const int count = dataset.GetRasterCount();
    const char* interleave = dataset.GetMetadataItem("INTERLEAVE", "IMAGE_STRUCTURE");
    const long long bandsPerBlock = interleave != nullptr && EQUAL(interleave, "PIXEL") ? count : 1;
    for (int i = 1; i <= count; ++i) {
        GDALRasterBand* band = dataset.GetRasterBand(i);
        if (band == nullptr)
            return false;
        int blockWidth = 0;
        int blockHeight = 0;
        band->GetBlockSize(&blockWidth, &blockHeight);
        const long long blockPixels = static_cast<long long>(blockWidth) * blockHeight;
        const long long pixelBytes =
            std::max<long long>(GDALGetDataTypeSizeBytes(band->GetRasterDataType()), 1) * bandsPerBlock;
        const long long rasterPixels = static_cast<long long>(band->GetXSize()) * band->GetYSize();
        if (blockPixels > maxBlockBytes / pixelBytes
            || blockPixels > std::max(rasterPixels, maxBlockPixelsBeyondRaster))
            return false;
    }
    return true;
}

bool layoutFitsFile(GDALDataset& dataset, const std::string& path)
{
    VSIStatBufL stat{};
    return VSIStatL(path.c_str(), &stat) == 0
        && static_cast<long long>(dataset.GetRasterCount()) * minBytesPerBand <= stat.st_size && blocksFit(dataset);
}

namespace {

// The reading of GDAL's structure dump of a JPEG 2000 file: its first "SIZ"
// marker (document order is file order, so the first codestream's).
const CPLXMLNode* findSizMarker(const CPLXMLNode* node)
{
    for (; node != nullptr; node = node->psNext) {
        if (node->eType != CXT_Element)
            continue;
        if (EQUAL(node->pszValue, "Marker") && EQUAL(CPLGetXMLValue(node, "name", ""), "SIZ"))
            return node;
        if (const CPLXMLNode* found = findSizMarker(node->psChild))
            return found;
    }
    return nullptr;
}

std::optional<std::uint32_t> sizField(const CPLXMLNode* siz, const char* name)
{
    for (const CPLXMLNode* field = siz->psChild; field != nullptr; field = field->psNext) {
        if (field->eType != CXT_Element || !EQUAL(field->pszValue, "Field")
            || !EQUAL(CPLGetXMLValue(field, "name", ""), name))
            continue;
        const char* text = CPLGetXMLValue(field, nullptr, nullptr);
        if (text == nullptr)
            return std::nullopt;
        char* end = nullptr;
        const unsigned long long value = std::strtoull(text, &end, 10);
        if (end == text || *end != '\0' || value > 0xFFFFFFFFULL)
            return std::nullopt;
        return static_cast<std::uint32_t>(value);
    }
    return std::nullopt;
}

struct XmlTreeDeleter {
    void operator()(CPLXMLNode* node) const noexcept { CPLDestroyXMLNode(node); }
};

} // namespace

std::optional<Jpeg2000Layout> jpeg2000Layout(const std::string& path)
{
    if (!isLocalPath(path))
        return std::nullopt;
    // Only the first codestream's size marker is dumped, and the dump stops
    // at its first tile's data; a file of endless boxes ends the dump at the
    // line limit, before any size marker. The component count comes before
    // the three lines of each component, so the limit never cuts it off.
    CPLStringList options;
    options.SetNameValue("CODESTREAM", "YES");
    options.SetNameValue("CODESTREAM_MARKERS", "SIZ");
    options.SetNameValue("STOP_AT_SOD", "YES");
    options.SetNameValue("MAX_LINES", "1000");
    CPLPushErrorHandler(CPLQuietErrorHandler);
    const std::unique_ptr<CPLXMLNode, XmlTreeDeleter> dump(GDALGetJPEG2000Structure(path.c_str(), options.List()));
    CPLPopErrorHandler();
    const CPLXMLNode* siz = dump ? findSizMarker(dump.get()) : nullptr;
    if (siz == nullptr)
        return std::nullopt;
    // Image and tile grid: the image spans [XOsiz, Xsiz), the tiles start at
    // XTOsiz, XTsiz wide (likewise down).
    const auto width = sizField(siz, "Xsiz");
    const auto height = sizField(siz, "Ysiz");
    const auto tileWidth = sizField(siz, "XTsiz");
    const auto tileHeight = sizField(siz, "YTsiz");
    const auto tileLeft = sizField(siz, "XTOSiz");
    const auto tileTop = sizField(siz, "YTOSiz");
    const auto components = sizField(siz, "Csiz");
    if (!width || !height || !tileWidth || !tileHeight || !tileLeft || !tileTop || !components || *tileWidth == 0
        || *tileHeight == 0 || *tileLeft >= *width || *tileTop >= *height || *components == 0
        || *components > 0xFFFF)
        return std::nullopt;
    // Under 2^32 tiles across and down: the product fits 64 bits.
    const std::uint64_t across = (std::uint64_t{*width} - *tileLeft + *tileWidth - 1) / *tileWidth;
    const std::uint64_t down = (std::uint64_t{*height} - *tileTop + *tileHeight - 1) / *tileHeight;
    return Jpeg2000Layout{across * down, static_cast<int>(*components)};
}

namespace {

std::uint64_t littleEndian(const unsigned char* bytes, int count)
{
    std::uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = value << 8 | bytes[i];
    return value;
}

// Entries the directory of a zip archive declares, read as the zip reader of
// GDAL reads them: that reader lists entries until it has listed as many as
// the record it takes declares. It looks for its records in the archive's
// last 65535 bytes, up to the last four (a record cut short there is read
// past the end of the file), and takes the last zip64 locator it finds when
// that names disk 0 of at most one and points at a zip64 end record, else
// the last end record. The larger of a record's two counts (this disk's and
// the whole archive's) is taken; the reader refuses an archive whose counts
// differ. None when the archive has no end record, when the record taken
// does not lie whole within the file, and when a zip64 end record is taken
// whose count the plain end record contradicts: the plain record of a real
// archive holds the same count, or 0xFFFF when the count is in the zip64
// record.
std::optional<std::uint64_t> zipEntryCount(const std::string& zipPath)
{
    const VsiFile file(VSIFOpenL(zipPath.c_str(), "rb"));
    if (!file || VSIFSeekL(file.get(), 0, SEEK_END) != 0)
        return std::nullopt;
    const vsi_l_offset size = VSIFTellL(file.get());
    constexpr vsi_l_offset kSearched = 0xFFFF;
    constexpr std::size_t kSignatureSize = 4;
    constexpr std::size_t kLocatorSize = 20;
    constexpr std::size_t kEndSize = 22;
    constexpr std::size_t kZip64EndSize = 56;
    const vsi_l_offset tailStart = size - std::min(size, kSearched);
    std::vector<unsigned char> tail(static_cast<std::size_t>(size - tailStart));
    if (VSIFSeekL(file.get(), tailStart, SEEK_SET) != 0
        || VSIFReadL(tail.data(), 1, tail.size(), file.get()) != tail.size())
        return std::nullopt;
    // The last place of a signature in the tail, as the reader finds it: at
    // most four bytes before the end, never at the file's first byte.
    auto lastSignature = [&](const char* signature) -> std::optional<std::size_t> {
        for (std::size_t at = tail.size() >= kSignatureSize ? tail.size() - kSignatureSize + 1 : 0; at-- > 0;) {
            if (tailStart + at == 0)
                break;
            if (std::memcmp(tail.data() + at, signature, kSignatureSize) == 0)
                return at;
        }
        return std::nullopt;
    };
    const std::optional<std::size_t> end = lastSignature("PK\x05\x06");
    if (end && *end + kEndSize > tail.size())
        return std::nullopt;

    if (const auto locator = lastSignature("PK\x06\x07")) {
        if (*locator + kLocatorSize > tail.size())
            return std::nullopt;
        const unsigned char* fields = tail.data() + *locator;
        const vsi_l_offset recordOffset = littleEndian(fields + 8, 8);
        std::array<unsigned char, kZip64EndSize> record{};
        const bool taken = littleEndian(fields + 4, 4) == 0 && littleEndian(fields + 16, 4) <= 1
                        && VSIFSeekL(file.get(), recordOffset, SEEK_SET) == 0
                        && VSIFReadL(record.data(), 1, kSignatureSize, file.get()) == kSignatureSize
                        && std::memcmp(record.data(), "PK\x06\x06", kSignatureSize) == 0;
        if (taken) {
            if (VSIFReadL(record.data() + kSignatureSize, 1, record.size() - kSignatureSize, file.get())
                    != record.size() - kSignatureSize
                || !end)
                return std::nullopt;
            const std::uint64_t count =
                std::max(littleEndian(record.data() + 24, 8), littleEndian(record.data() + 32, 8));
            for (const int field : {8, 10}) {
                const std::uint64_t plain = littleEndian(tail.data() + *end + field, 2);
                if (plain != count && plain != 0xFFFF)
                    return std::nullopt;
            }
            return count;
        }
    }
    if (end)
        return std::max(littleEndian(tail.data() + *end + 8, 2), littleEndian(tail.data() + *end + 10, 2));
    return std::nullopt;
}

} // namespace

std::vector<std::string> listZip(const std::string& zipPath, std::uint64_t maxEntries)
{
    if (!isLocalPath(zipPath) || zipPath.rfind("/vsi", 0) == 0 || !isRegularFile(zipPath))
        return {};
    const std::optional<std::uint64_t> entries = zipEntryCount(zipPath);
    if (!entries || *entries > maxEntries)
        return {};
    registerDrivers();
    return toStrings(StringList(VSIReadDirRecursive(("/vsizip/" + zipPath).c_str())));
}

bool isLocalPath(const std::string& path)
{
    std::string_view rest = path;
    constexpr std::string_view zip = "/vsizip/";
    if (rest.substr(0, zip.size()) == zip) {
        rest.remove_prefix(zip.size());
        // "/vsizip/{archive}/entry" names the archive in braces.
        if (!rest.empty() && rest.front() == '{')
            rest.remove_prefix(1);
    }
    if (rest.empty() || rest.front() != '/')
        return false;
    const std::size_t name = rest.find_first_not_of('/');
    return name == std::string_view::npos || rest.substr(name, 3) != "vsi";
}

void DatasetCloser::operator()(GDALDataset* dataset) const noexcept
{
    if (dataset)
        GDALClose(GDALDataset::ToHandle(dataset));
}

namespace {

Dataset openWithDrivers(const std::string& path, const std::vector<std::string>& allowedDrivers)
{
    if (allowedDrivers.empty())
        return nullptr;
    registerDrivers();
    CPLStringList drivers;
    for (const auto& driver : allowedDrivers)
        drivers.AddString(driver.c_str());
    return Dataset(
        GDALDataset::Open(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, drivers.List(), nullptr, nullptr));
}

} // namespace

Dataset openRaster(const std::string& path, const std::vector<std::string>& allowedDrivers)
{
    // An entry of an archive is reached through the archive, which listZip
    // has found to be a regular file.
    if (!isLocalPath(path) || (path.rfind("/vsi", 0) != 0 && !isRegularFile(path)))
        return nullptr;
    return openWithDrivers(path, allowedDrivers);
}

std::string colourBandName(GDALRasterBand* band)
{
    std::string name = GDALGetColorInterpretationName(band->GetColorInterpretation());
    if (name == "Undefined")
        name = "Near-infrared";
    return name;
}

std::vector<std::string> toStrings(const StringList& list)
{
    std::vector<std::string> out;
    if (!list)
        return out;
    for (char** entry = list.get(); *entry; ++entry)
        out.emplace_back(*entry);
    return out;
}

MemoryFile::MemoryFile(const std::string& suffix)
{
    static std::atomic<unsigned long long> counter{0};
    path_ = "/vsimem/fenlark_" + std::to_string(++counter) + "_"
          + std::to_string(reinterpret_cast<std::uintptr_t>(this)) + suffix;
}

MemoryFile::~MemoryFile()
{
    VSIUnlink(path_.c_str());
}

std::string_view MemoryFile::contents() const
{
    vsi_l_offset length = 0;
    const GByte* data = VSIGetMemFileBuffer(path_.c_str(), &length, FALSE);
    if (!data)
        return {};
    return {reinterpret_cast<const char*>(data), static_cast<std::size_t>(length)};
}

std::vector<std::uint8_t> MemoryFile::bytes() const
{
    const std::string_view view = contents();
    return std::vector<std::uint8_t>(view.begin(), view.end());
}

Dataset MemoryFile::open(const std::vector<std::string>& allowedDrivers) const
{
    return openWithDrivers(path_, allowedDrivers);
}

struct DatasetCache::Entry {
    std::mutex mutex;
    Dataset dataset;
};

DatasetCache::DatasetCache(std::vector<std::string> allowedDrivers)
    : drivers_(std::move(allowedDrivers))
{
}

DatasetCache::~DatasetCache() = default;

DatasetCache::Lease::Lease(Entry& entry)
    : entry_(&entry)
{
}

DatasetCache::Lease::Lease(Lease&& other) noexcept
    : entry_(std::exchange(other.entry_, nullptr))
{
}

DatasetCache::Lease::~Lease()
{
    if (entry_)
        entry_->mutex.unlock();
}

GDALDataset* DatasetCache::Lease::dataset() const
{
    return entry_ ? entry_->dataset.get() : nullptr;
}

void DatasetCache::Lease::discard()
{
    if (entry_)
        entry_->dataset.reset();
}

DatasetCache::Lease DatasetCache::acquire(const std::string& path)
{
    Entry* entry = nullptr;
    {
        std::lock_guard lock(mutex_);
        auto& slot = entries_[path];
        if (!slot)
            slot = std::make_unique<Entry>();
        entry = slot.get();
    }
    // Opened under the raster's own lock: two threads asking for the same
    // raster open it once, and rasters of other paths are not held up.
    entry->mutex.lock();
    Lease lease(*entry);
    if (!entry->dataset)
        entry->dataset = openRaster(path, drivers_);
    return lease;
}

void DatasetCache::clear()
{
    std::lock_guard lock(mutex_);
    entries_.clear();
}

} // namespace IO::Gdal
