#pragma once

// Band records of a data set and the per-level cache of computed images.
//
// Ownership: a band level owns its pixel array and its cache entries; a cache
// entry owns its float array. Levels and bands are move-only, so a record can
// be built as a temporary and moved into a data set's band list without two
// records ever sharing (and twice freeing) one buffer.

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

// One computed image kept by a band level under a key text.
class DataCache {
public:
    DataCache() = default;
    ~DataCache();
    DataCache(const DataCache&) = delete;
    DataCache& operator=(const DataCache&) = delete;

    // Same size: nothing changes and the contents remain. Another size: the
    // old array is dropped and a new, uninitialised one of n floats is made.
    void resize(std::size_t n);

    std::size_t count() const { return count_; }
    float* data() const { return data_.get(); }

private:
    std::size_t count_ = 0;
    std::unique_ptr<float[]> data_;
};

namespace IO {

// Physical memory of the machine in bytes; 0 when the system does not tell.
std::uint64_t physicalMemoryBytes();

class BandLevel {
public:
    explicit BandLevel(std::string path = {});
    BandLevel(BandLevel&&) noexcept = default;
    BandLevel& operator=(BandLevel&&) noexcept = default;
    BandLevel(const BandLevel&) = delete;
    BandLevel& operator=(const BandLevel&) = delete;
    ~BandLevel() = default;

    std::string name;                 // file part of path, used in log lines
    std::string path;                 // where the reader finds the raster
    std::unique_ptr<float[]> data;    // count samples, null when not loaded
    int count = 0;
    float min = 0.0f;
    float max = 0.0f;
    float cropMin = 0.0f;
    float cropMax = 0.0f;
    // The mapping the last normalize applied: normalised = (raw - offset) /
    // scale. Identity (0, 1) while the samples are raw; scale 0 when every
    // sample was mapped to 1 (a constant band).
    double normOffset = 0.0;
    double normScale = 1.0;
    // Set by normalize: the samples are clipped to [0, 1], so every raw value
    // beyond the crop limits reads as the limit.
    bool normalised = false;
    std::vector<int> histogram;       // raw samples per integer value
    std::map<std::string, std::unique_ptr<DataCache>> caches;

    // Raster store: copies count samples as floats. With autoMinMax the
    // smallest and largest sample become min and max; otherwise a non-zero
    // min / max argument replaces the field. A level that already holds data
    // frees it first.
    void setDataFromBytes(const std::uint8_t* src, int count, bool autoMinMax, double min, double max);
    void setDataFromUInt16(const std::uint16_t* src, int count, bool autoMinMax, double min, double max);
    void setDataFromFloats(const float* src, int count, bool autoMinMax, double min, double max);
    // Takes over an array of count samples that a reader filled in place, so
    // a large band is never held twice; min, max and the log line follow the
    // raster store above.
    void adoptData(std::unique_ptr<float[]> samples, int count, bool autoMinMax, double min, double max);
    // A new, uninitialised array of count floats for a band level, ready to be
    // written at full speed by a reader.
    static std::unique_ptr<float[]> allocateSamples(int count);
    // An uninitialised array of count floats that nothing writes to before
    // the reader does, so pages a failing read never reaches are never
    // touched. Null when count floats exceed memoryBytes (the machine's
    // physical memory unless given) or the allocation fails.
    static std::unique_ptr<float[]> allocateUntouched(std::size_t count, std::uint64_t memoryBytes);
    static std::unique_ptr<float[]> allocateUntouched(std::size_t count);

    // Maps the raw samples to [0, 1] in place, optionally through the
    // histogram crop limits, and records the mapping (normOffset, normScale).
    void normalize(double lowCut, double highCut, bool autoCrop);
    void computeCropLimits(double lowCut, double highCut, bool autoCrop);

    void releaseData();

    void createCache(std::string key, std::size_t count);
    template <typename T>
    void storeCache(std::string key, const T* src, std::size_t count);
    std::size_t cacheSize(const std::string& key) const;
    float* cacheData(const std::string& key) const;
    void clearCache();

private:
    template <typename T>
    void storeSamples(const T* src, int count, bool autoMinMax, double min, double max);
    void finishStore(bool autoMinMax, float scannedMin, float scannedMax, double fixedMin, double fixedMax);
    void buildHistogram();
    DataCache& cacheEntry(const std::string& key, std::size_t count);
};

extern template void BandLevel::storeCache<float>(std::string, const float*, std::size_t);
extern template void BandLevel::storeCache<double>(std::string, const double*, std::size_t);

class Band {
public:
    explicit Band(std::string name = {});
    Band(Band&&) noexcept = default;
    Band& operator=(Band&&) noexcept = default;
    Band(const Band&) = delete;
    Band& operator=(const Band&) = delete;

    std::vector<BandLevel> levels;
    std::string code;                 // "B04", "NDVI", ...
    std::string name;                 // display name, "B04-Red"
    double scale = 1.0;               // source pixel size / working-grid pixel size
    bool derived = false;             // normalised difference of two source bands
    std::vector<int> sourceBands;
    std::vector<int> sourceScales;

    // Frees the pixel data and the computed images of every level.
    void release();
};

} // namespace IO
