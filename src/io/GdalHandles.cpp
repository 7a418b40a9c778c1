#include "io/GdalHandles.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <utility>

#include <ogr_srs_api.h>

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

void DatasetCloser::operator()(GDALDataset* dataset) const noexcept
{
    if (dataset)
        GDALClose(GDALDataset::ToHandle(dataset));
}

Dataset openRaster(const std::string& path, const std::vector<std::string>& allowedDrivers)
{
    registerDrivers();
    CPLStringList drivers;
    for (const auto& driver : allowedDrivers)
        drivers.AddString(driver.c_str());
    return Dataset(GDALDataset::Open(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY,
                                     allowedDrivers.empty() ? nullptr : drivers.List(), nullptr, nullptr));
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
