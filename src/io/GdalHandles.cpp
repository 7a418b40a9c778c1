#include "io/GdalHandles.h"

#include <atomic>
#include <filesystem>
#include <mutex>
#include <system_error>

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

std::vector<std::uint8_t> MemoryFile::bytes() const
{
    vsi_l_offset length = 0;
    const GByte* data = VSIGetMemFileBuffer(path_.c_str(), &length, FALSE);
    if (!data)
        return {};
    return std::vector<std::uint8_t>(data, data + length);
}

} // namespace IO::Gdal
