#include "io/Band.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <limits>

#include <omp.h>

#include <new>

#include <unistd.h>
#ifdef __linux__
#include <sys/mman.h>
#endif

// ---------------------------------------------------------------- DataCache

DataCache::~DataCache()
{
    if (data_) {
        std::cout << "DataCache destructor" << std::endl;
        data_.reset();
        count_ = 0;
    }
}

void DataCache::resize(std::size_t n)
{
    if (n == count_)
        return;
    data_.reset();
    count_ = 0;
    if (n > 0)
        data_.reset(new float[n]);
    count_ = n;
}

namespace IO {

namespace {

// Bins of the raw-value histogram: one per integer from 0 to max. Bounded so
// that a corrupt or float band with a huge maximum cannot allocate gigabytes.
constexpr double kMaxHistogramBins = 1 << 20;
// Above this many bins a per-thread histogram costs more than it saves.
constexpr std::size_t kMaxParallelHistogramBins = 1 << 17;

std::string fileNameOf(const std::string& path)
{
    const auto pos = path.find_last_of("/\\");
    return pos == std::string::npos ? path : path.substr(pos + 1);
}

} // namespace

std::uint64_t physicalMemoryBytes()
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0)
        return 0;
    return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
}

// ---------------------------------------------------------------- BandLevel

BandLevel::BandLevel(std::string path_)
    : name(fileNameOf(path_))
    , path(std::move(path_))
{
}

std::unique_ptr<float[]> BandLevel::allocateSamples(int n)
{
    if (n <= 0)
        return {};
    std::unique_ptr<float[]> samples(new float[static_cast<std::size_t>(n)]);
    char* bytes = reinterpret_cast<char*>(samples.get());
    const std::size_t size = static_cast<std::size_t>(n) * sizeof(float);
#ifdef __linux__
    // Ask for huge pages, so a full tile (about 480 MB) is not written one
    // 4 KiB page fault at a time.
    constexpr std::uintptr_t huge = std::uintptr_t{2} << 20;
    const std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(bytes) + huge - 1) & ~(huge - 1);
    const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(bytes) + size) & ~(huge - 1);
    if (end > begin)
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#endif
    // Touch the pages from every thread, so a single-threaded writer (a
    // raster decoder) does not stall on the first-touch faults.
    constexpr long page = 4096;
    const long pages = static_cast<long>((size + page - 1) / page);
#pragma omp parallel for schedule(static)
    for (long i = 0; i < pages; ++i)
        bytes[static_cast<std::size_t>(i) * page] = 0;
    return samples;
}

std::unique_ptr<float[]> BandLevel::allocateUntouched(std::size_t n, std::uint64_t memoryBytes)
{
    // A size taken from a file is checked before it is asked for: an array
    // beyond the machine's memory could only be had from swap, if at all.
    if (n == 0 || n > memoryBytes / sizeof(float))
        return {};
    return std::unique_ptr<float[]>(new (std::nothrow) float[n]);
}

std::unique_ptr<float[]> BandLevel::allocateUntouched(std::size_t n)
{
    // A system that does not tell its memory leaves the allocation to decide.
    const std::uint64_t memory = physicalMemoryBytes();
    return allocateUntouched(n, memory != 0 ? memory : std::numeric_limits<std::uint64_t>::max());
}

void BandLevel::finishStore(bool autoMinMax, float scannedMin, float scannedMax, double fixedMin, double fixedMax)
{
    // New raw samples: no mapping applies yet, and the histogram of the
    // samples held before no longer describes them.
    normOffset = 0.0;
    normScale = 1.0;
    normalised = false;
    histogram.clear();
    if (autoMinMax) {
        min = scannedMin;
        max = scannedMax;
    } else {
        // A zero leaves the field as it was (the 8-bit readers pass 0 and 255).
        if (fixedMin != 0.0)
            min = static_cast<float>(fixedMin);
        if (fixedMax != 0.0)
            max = static_cast<float>(fixedMax);
    }
    std::cout << name << " data loaded, min, max: " << min << ", " << max << std::endl;
}

template <typename T>
void BandLevel::storeSamples(const T* src, int n, bool autoMinMax, double fixedMin, double fixedMax)
{
    if (data)
        releaseData();
    n = std::max(n, 0);
    count = n;
    data = allocateSamples(n);
    float* dst = data.get();

    float lo = std::numeric_limits<float>::max();
    float hi = std::numeric_limits<float>::lowest();
    if (autoMinMax) {
#pragma omp parallel for schedule(static) reduction(min : lo) reduction(max : hi)
        for (int i = 0; i < n; ++i) {
            const float v = static_cast<float>(src[i]);
            dst[i] = v;
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    } else {
#pragma omp parallel for schedule(static)
        for (int i = 0; i < n; ++i)
            dst[i] = static_cast<float>(src[i]);
    }
    finishStore(autoMinMax, lo, hi, fixedMin, fixedMax);
}

void BandLevel::adoptData(std::unique_ptr<float[]> samples, int n, bool autoMinMax, double fixedMin, double fixedMax)
{
    if (data)
        releaseData();
    n = samples ? std::max(n, 0) : 0;
    data = std::move(samples);
    count = n;
    float lo = std::numeric_limits<float>::max();
    float hi = std::numeric_limits<float>::lowest();
    if (autoMinMax) {
        const float* values = data.get();
#pragma omp parallel for schedule(static) reduction(min : lo) reduction(max : hi)
        for (int i = 0; i < n; ++i) {
            lo = std::min(lo, values[i]);
            hi = std::max(hi, values[i]);
        }
    }
    finishStore(autoMinMax, lo, hi, fixedMin, fixedMax);
}

void BandLevel::setDataFromBytes(const std::uint8_t* src, int n, bool autoMinMax, double lo, double hi)
{
    storeSamples(src, n, autoMinMax, lo, hi);
}

void BandLevel::setDataFromUInt16(const std::uint16_t* src, int n, bool autoMinMax, double lo, double hi)
{
    storeSamples(src, n, autoMinMax, lo, hi);
}

void BandLevel::setDataFromFloats(const float* src, int n, bool autoMinMax, double lo, double hi)
{
    storeSamples(src, n, autoMinMax, lo, hi);
}

void BandLevel::buildHistogram()
{
    // A negative, NaN or infinite maximum gives no bins at all.
    const double top = static_cast<double>(max) + 1.0;
    if (!std::isfinite(top) || top < 1.0)
        return;
    const std::size_t bins = static_cast<std::size_t>(std::min(top, kMaxHistogramBins));
    histogram.assign(bins, 0);
    if (!data)
        return;

    const float* src = data.get();
    const int n = count;
    const float limit = static_cast<float>(bins);
    auto binOf = [limit](float v) -> long {
        // Negative and NaN samples and samples beyond the last bin are not
        // counted (the comparison is false for NaN).
        return (v >= 0.0f && v < limit) ? static_cast<long>(v) : -1;
    };

    if (bins > kMaxParallelHistogramBins || omp_get_max_threads() == 1) {
        for (int i = 0; i < n; ++i)
            if (const long b = binOf(src[i]); b >= 0)
                ++histogram[static_cast<std::size_t>(b)];
        return;
    }

#pragma omp parallel
    {
        std::vector<int> local(bins, 0);
#pragma omp for schedule(static) nowait
        for (int i = 0; i < n; ++i)
            if (const long b = binOf(src[i]); b >= 0)
                ++local[static_cast<std::size_t>(b)];
#pragma omp critical(fenlark_histogram_merge)
        for (std::size_t b = 0; b < bins; ++b)
            histogram[b] += local[b];
    }
}

void BandLevel::computeCropLimits(double lowCut, double highCut, bool autoCrop)
{
    if (histogram.empty())
        buildHistogram();
    const int bins = static_cast<int>(histogram.size());

    if (autoCrop) {
        for (int i = 1; i < bins; ++i) {
            if (histogram[static_cast<std::size_t>(i)] > 500) {
                cropMin = static_cast<float>(i);
                break;
            }
        }
        // No bin above the top threshold: the maximum is the top limit.
        cropMax = max;
        for (int i = bins - 1; i >= 0; --i) {
            if (histogram[static_cast<std::size_t>(i)] > 4000) {
                cropMax = static_cast<float>(i);
                break;
            }
        }
    } else {
        cropMin = min;
        cropMax = max;
        auto cumulativeLimit = [this, bins](double fraction, float& limit) {
            const long long target = static_cast<long long>(static_cast<double>(count) * fraction);
            long long sum = 0;
            for (int i = 0; i < bins; ++i) {
                sum += histogram[static_cast<std::size_t>(i)];
                if (sum >= target) {
                    limit = static_cast<float>(i);
                    return;
                }
            }
        };
        if (lowCut != 0.0)
            cumulativeLimit(lowCut, cropMin);
        if (highCut != 1.0)
            cumulativeLimit(highCut, cropMax);
    }

    // Mostly-zero bands (masks) give a top limit at or below the bottom one,
    // which would map the whole band to one value: use the full range then.
    if (!(cropMax > cropMin)) {
        cropMin = min;
        cropMax = max;
    }

    std::cout << (autoCrop ? "AutoCrop active, cropedMin" : "AutoCrop nonactive, cropedMin") << cropMin
              << " croppedMax" << cropMax << std::endl;
}

void BandLevel::normalize(double lowCut, double highCut, bool autoCrop)
{
    const bool cutRequested = lowCut != 0.0 || highCut != 1.0;
    float lo = min;
    float hi = max;
    if (autoCrop || cutRequested) {
        computeCropLimits(lowCut, highCut, autoCrop);
        lo = cropMin;
        hi = cropMax;
    }
    if (!data)
        return;

    float* values = data.get();
    const int n = count;
    const float range = hi - lo;
    normOffset = lo;
    normScale = range;
    normalised = true;
    if (range != 0.0f) {
        const float scale = 1.0f / range;
#pragma omp parallel for schedule(static)
        for (int i = 0; i < n; ++i)
            values[i] = std::clamp((values[i] - lo) * scale, 0.0f, 1.0f);
    } else {
#pragma omp parallel for schedule(static)
        for (int i = 0; i < n; ++i)
            values[i] = 1.0f;
    }
}

void BandLevel::releaseData()
{
    if (!data)
        return;
    std::cout << name << " data deleted" << std::endl;
    data.reset();
}

DataCache& BandLevel::cacheEntry(const std::string& key, std::size_t n)
{
    auto& entry = caches[key];
    if (!entry)
        entry = std::make_unique<DataCache>();
    entry->resize(n);
    return *entry;
}

void BandLevel::createCache(std::string key, std::size_t n)
{
    std::cout << "Cache created: " << key << " for " << name << std::endl;
    cacheEntry(key, n);
}

template <typename T>
void BandLevel::storeCache(std::string key, const T* src, std::size_t n)
{
    std::cout << "Data loaded to cache " << key << " for " << name << std::endl;
    DataCache& entry = cacheEntry(key, n);
    float* dst = entry.data();
    for (std::size_t i = 0; i < n; ++i)
        dst[i] = static_cast<float>(src[i]);
}

template void BandLevel::storeCache<float>(std::string, const float*, std::size_t);
template void BandLevel::storeCache<double>(std::string, const double*, std::size_t);

std::size_t BandLevel::cacheSize(const std::string& key) const
{
    const auto it = caches.find(key);
    return it == caches.end() ? 0 : it->second->count();
}

float* BandLevel::cacheData(const std::string& key) const
{
    const auto it = caches.find(key);
    return it == caches.end() ? nullptr : it->second->data();
}

void BandLevel::clearCache()
{
    if (caches.empty())
        return;
    std::cout << "Full dataCache clear" << " for " << name << std::endl;
    for (auto& [key, entry] : caches) {
        std::cout << "Delete cache:" << key << " for " << name << " ";
        entry.reset();
    }
    std::cout.flush();
    caches.clear();
}

// --------------------------------------------------------------------- Band

Band::Band(std::string name_)
    : name(std::move(name_))
{
}

void Band::release()
{
    for (auto& level : levels) {
        level.releaseData();
        level.clearCache();
    }
}

} // namespace IO
