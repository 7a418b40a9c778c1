#include "analysis/MaskedStatistics.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <iostream>
#include <limits>

#include "filter/GraphLaplacian.h"
#include "filter/WorkBuffer.h"

namespace {

// Sums of one run of entries, relative to a fixed shift that is itself one
// of the masked values.
struct Partial {
    double count = 0.0;
    double sum = 0.0;     // of (v - shift)
    double squares = 0.0; // of (v - shift)^2
    double min = std::numeric_limits<double>::max();
    double max = std::numeric_limits<double>::lowest();

    void add(const Partial& o)
    {
        count += o.count;
        sum += o.sum;
        squares += o.squares;
        min = std::min(min, o.min);
        max = std::max(max, o.max);
    }
};

// One pass over [begin, end), in blocks of kBlock entries: a block outside
// the mask is skipped without reading its values, a block wholly inside is
// summed without looking at the mask again, and only a block across the
// mask's border takes each entry on its own. Within a block the sums run in
// kLanes independent accumulators, so that the compiler keeps them in vector
// registers without a chain of dependent additions.
//
// Across the border an entry outside the mask is replaced by the shift: it
// adds 0 to the sums and, the shift being a masked value, nothing to the
// minimum and maximum, and its own value is never used (it may be NaN).
constexpr int kLanes = 4;
constexpr int kBlock = 16;

Partial sumsOver(const int* mask, const double* values, std::size_t begin, std::size_t end, double shift)
{
    double sum[kLanes] = {};
    double squares[kLanes] = {};
    double lo[kLanes];
    double hi[kLanes];
    for (int l = 0; l < kLanes; ++l)
        lo[l] = hi[l] = shift;
    long long count = 0;
    std::size_t i = begin;
    for (; i + kBlock <= end; i += kBlock) {
        int inside = 0;
        for (int k = 0; k < kBlock; ++k)
            inside += mask[i + k] == 1 ? 1 : 0;
        if (inside == 0)
            continue;
        count += inside;
        const bool whole = inside == kBlock;
        for (int k = 0; k < kBlock; k += kLanes) {
            for (int l = 0; l < kLanes; ++l) {
                const std::size_t j = i + k + l;
                const double v = whole || mask[j] == 1 ? values[j] : shift;
                const double d = v - shift;
                sum[l] += d;
                squares[l] += d * d;
                lo[l] = lo[l] < v ? lo[l] : v;
                hi[l] = hi[l] > v ? hi[l] : v;
            }
        }
    }
    Partial p;
    for (; i < end; ++i) {
        if (mask[i] != 1)
            continue;
        const double d = values[i] - shift;
        ++count;
        p.sum += d;
        p.squares += d * d;
        p.min = std::min(p.min, values[i]);
        p.max = std::max(p.max, values[i]);
    }
    p.count = static_cast<double>(count);
    for (int l = 0; l < kLanes; ++l)
        p.add({0.0, sum[l], squares[l], lo[l], hi[l]});
    return p;
}

// Large windows are summed in a fixed number of chunks, on the OpenMP
// threads when there are several. The chunks depend only on the count and
// are combined in order, so the result is the same on any number of threads.
constexpr int kChunks = 32;
constexpr std::size_t kParallelFrom = std::size_t(1) << 18;

} // namespace

void computeMaskedStatistics(const std::vector<int>& mask, const std::vector<double>& values,
                             std::vector<double>& out)
{
    if (out.size() < 4)
        return;
    const std::size_t n = std::min(mask.size(), values.size());
    const int* m = mask.data();
    const double* v = values.data();
    const std::size_t first = static_cast<std::size_t>(std::find(m, m + n, 1) - m);
    if (first == n)
        return;

    // Shifted by a value of the data, sum(d^2) - sum(d)^2 / count loses only
    // what the spread itself cannot hold, not what the offset of the values
    // would take away.
    const double shift = v[first];
    const std::size_t length = n - first;
    Partial total;
    if (length < kParallelFrom) {
        total = sumsOver(m, v, first, n, shift);
    } else {
        Partial chunks[kChunks];
        const std::size_t chunk = (length + kChunks - 1) / kChunks;
#pragma omp parallel for schedule(static)
        for (int c = 0; c < kChunks; ++c) {
            const std::size_t begin = first + std::min(length, c * chunk);
            const std::size_t end = first + std::min(length, (c + 1) * chunk);
            chunks[c] = sumsOver(m, v, begin, end, shift);
        }
        for (const Partial& c : chunks)
            total.add(c);
    }
    const double meanShift = total.sum / total.count;
    const double variance = std::max(0.0, (total.squares - total.sum * meanShift) / total.count);
    out[0] = shift + meanShift;
    out[1] = std::sqrt(variance);
    out[2] = total.min;
    out[3] = total.max;
}

double computeMaskedMean(const double* values, const std::vector<int>& mask)
{
    if (!values)
        return 0.0;
    const std::size_t n = mask.size();
    const int* m = mask.data();
    long long count = 0;
    double sum = 0.0;
#pragma omp simd reduction(+ : count, sum)
    for (std::size_t i = 0; i < n; ++i) {
        const bool inside = m[i] == 1;
        count += inside ? 1 : 0;
        sum += inside ? values[i] : 0.0;
    }
    return count > 0 ? sum / static_cast<double>(count) : 0.0;
}

void computeGraphLaplacianDouble(const double* values, int count, double* out, int type, int width, int height)
{
    if (!values || !out || count < 1 || width <= 0 || height <= 0)
        return;
    // A count beyond the window would read past its last row.
    const long long pixels = std::min<long long>(count, static_cast<long long>(width) * height);
    if (type == 3)
        Filter::graphLaplacian<double, 3>(values, pixels, out, width, height);
    else if (type == 5)
        Filter::graphLaplacian<double, 5>(values, pixels, out, width, height);
}

void computeMeanGraphLaplacian(float* out, const float* a, const float* b, const float* c, int count)
{
    if (!out || !a || !b || !c)
        return;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i)
        out[i] = (a[i] + b[i] + c[i]) / 3.0f;
    std::cout << "Mean GL : elapsed time : " << Filter::secondsSince(start) << "s\n";
}
