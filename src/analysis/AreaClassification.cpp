#include "analysis/AreaClassification.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <iostream>
#include <limits>
#include <new>

#include "analysis/MaskedStatistics.h"

namespace {

// The window half-sizes, smallest first: 7 x 7, 9 x 9, 11 x 11.
constexpr int kHalfSizes[] = {3, 4, 5};
constexpr int kLargestHalf = 5;
// Features are computed and projected in row blocks of about this many
// values, so the whole area's feature lists never exist at once.
constexpr long long kBlockValues = 1LL << 22;

enum class Statistic { Mean, Std, Min, Max, MeanGL5, MeanGL3, Unknown };

struct FeaturePlan {
    std::vector<Statistic> statistics;  // per name, in order
    bool basic = false;                 // mean, std, min or max asked for
    bool gl5 = false;
    bool gl3 = false;
};

FeaturePlan planFor(const std::vector<std::string>& names)
{
    FeaturePlan plan;
    for (const std::string& name : names) {
        Statistic s = Statistic::Unknown;
        if (name == "mean")
            s = Statistic::Mean;
        else if (name == "std")
            s = Statistic::Std;
        else if (name == "min")
            s = Statistic::Min;
        else if (name == "max")
            s = Statistic::Max;
        else if (name == "meanGL5")
            s = Statistic::MeanGL5;
        else if (name == "meanGL3")
            s = Statistic::MeanGL3;
        plan.statistics.push_back(s);
        plan.basic = plan.basic || s == Statistic::Mean || s == Statistic::Std || s == Statistic::Min ||
                     s == Statistic::Max;
        plan.gl5 = plan.gl5 || s == Statistic::MeanGL5;
        plan.gl3 = plan.gl3 || s == Statistic::MeanGL3;
    }
    return plan;
}

// The inner area inside its W x H window: it starts at ((W - innerW) / 2,
// (H - innerH) / 2).
struct Area {
    int innerW = 0;
    int innerH = 0;
    int W = 0;
    int H = 0;
    int x0 = 0;
    int y0 = 0;
};

// Whether every channel is one W x H image and the inner area lies at least
// margin pixels inside it.
bool areaFits(const std::vector<std::vector<double>>& channels, int innerW, int innerH, int W, int H, int margin,
              Area& area)
{
    if (innerW < 1 || innerH < 1 || W < 1 || H < 1)
        return false;
    const std::size_t pixels = static_cast<std::size_t>(W) * static_cast<std::size_t>(H);
    for (const auto& channel : channels)
        if (channel.size() != pixels)
            return false;
    area = {innerW, innerH, W, H, (W - innerW) / 2, (H - innerH) / 2};
    return area.x0 >= margin && area.y0 >= margin && W - area.x0 - innerW >= margin &&
           H - area.y0 - innerH >= margin;
}

// The channel images and, when the plan asks for them, their graph-
// Laplacian images, computed once per channel.
struct FeatureImages {
    const std::vector<std::vector<double>>& channels;
    std::vector<std::vector<double>> gl5;
    std::vector<std::vector<double>> gl3;

    FeatureImages(const std::vector<std::vector<double>>& source, const FeaturePlan& plan, int W, int H)
        : channels(source)
    {
        const int count = W * H;
        for (const auto& channel : channels) {
            if (plan.gl5) {
                gl5.emplace_back(channel.size(), 0.0);
                computeGraphLaplacianDouble(channel.data(), count, gl5.back().data(), 5, W, H);
            }
            if (plan.gl3) {
                gl3.emplace_back(channel.size(), 0.0);
                computeGraphLaplacianDouble(channel.data(), count, gl3.back().data(), 3, W, H);
            }
        }
    }
};

// Copies the side x side window of image centred on (cx, cy) into out.
void gatherWindow(const double* image, int W, int cx, int cy, int half, double* out)
{
    const int side = 2 * half + 1;
    for (int dy = -half; dy <= half; ++dy) {
        const double* row = image + static_cast<std::ptrdiff_t>(cy + dy) * W + (cx - half);
        std::copy_n(row, side, out + (dy + half) * side);
    }
}

// Features of the inner rows [rowBegin, rowEnd) into out, (rowEnd -
// rowBegin) x innerW lists of M x K values.
void featureRows(const FeatureImages& images, const FeaturePlan& plan, const Area& area, int half, int rowBegin,
                 int rowEnd, double* out)
{
    const int M = static_cast<int>(images.channels.size());
    const int K = static_cast<int>(plan.statistics.size());
    const std::size_t F = static_cast<std::size_t>(M) * static_cast<std::size_t>(K);
    const int side = 2 * half + 1;
    const std::size_t n = static_cast<std::size_t>(side) * static_cast<std::size_t>(side);
#pragma omp parallel
    {
        const std::vector<int> mask(n, 1);
        std::vector<double> window(n);
        std::vector<double> window5(n);
        std::vector<double> window3(n);
        std::vector<double> stats(4, 0.0);
#pragma omp for schedule(static)
        for (int row = rowBegin; row < rowEnd; ++row) {
            const int cy = area.y0 + row;
            for (int col = 0; col < area.innerW; ++col) {
                const int cx = area.x0 + col;
                double* sample = out + (static_cast<std::size_t>(row - rowBegin) * area.innerW + col) * F;
                for (int c = 0; c < M; ++c) {
                    const std::size_t channel = static_cast<std::size_t>(c);
                    double mean5 = 0.0;
                    double mean3 = 0.0;
                    if (plan.basic) {
                        gatherWindow(images.channels[channel].data(), area.W, cx, cy, half, window.data());
                        computeMaskedStatistics(mask, window, stats);
                    }
                    if (plan.gl5) {
                        gatherWindow(images.gl5[channel].data(), area.W, cx, cy, half, window5.data());
                        mean5 = computeMaskedMean(window5.data(), mask);
                    }
                    if (plan.gl3) {
                        gatherWindow(images.gl3[channel].data(), area.W, cx, cy, half, window3.data());
                        mean3 = computeMaskedMean(window3.data(), mask);
                    }
                    double* values = sample + static_cast<std::size_t>(c) * K;
                    for (int s = 0; s < K; ++s) {
                        switch (plan.statistics[static_cast<std::size_t>(s)]) {
                        case Statistic::Mean: values[s] = stats[0]; break;
                        case Statistic::Std: values[s] = stats[1]; break;
                        case Statistic::Min: values[s] = stats[2]; break;
                        case Statistic::Max: values[s] = stats[3]; break;
                        case Statistic::MeanGL5: values[s] = mean5; break;
                        case Statistic::MeanGL3: values[s] = mean3; break;
                        case Statistic::Unknown: values[s] = 0.0; break;
                        }
                    }
                }
            }
        }
    }
}

ClassificationError classifyChecked(const std::vector<std::vector<double>>& channels, int innerW, int innerH,
                                    int W, int H, std::vector<std::vector<std::vector<double>>>& results,
                                    const NatNetReading& reading)
{
    // Header and training points both come from the one reading.
    if (reading.error != ClassificationError::None)
        return reading.error;
    const NatNetInfo& network = reading.network;
    Area area;
    if (channels.size() != network.channelNames.size() ||
        !areaFits(channels, innerW, innerH, W, H, 0, area))
        return ClassificationError::ChannelMismatch;
    if (!areaFits(channels, innerW, innerH, W, H, kLargestHalf, area))
        return ClassificationError::AreaTooSmall;

    NatNetClassifier classifier;
    classifier.pcaComponents = 2;
    if (!classifier.learnFrom(reading))
        return classifier.error;

    const FeaturePlan plan = planFor(network.statisticsNames);
    const FeatureImages images(channels, plan, W, H);
    const long long pixels = static_cast<long long>(innerW) * innerH;
    const long long features = network.dimension;
    const int blockRows =
        static_cast<int>(std::clamp<long long>(kBlockValues / (static_cast<long long>(innerW) * features), 1, innerH));
    std::vector<double> block(static_cast<std::size_t>(blockRows) * innerW * features);
    PlanePoints plane;
    plane.resize(static_cast<int>(pixels));

    for (int half : kHalfSizes) {
        const auto started = std::chrono::steady_clock::now();
        const int side = 2 * half + 1;
        std::cout << "square area:   " << side << " x " << side << std::endl;
        for (int row = 0; row < innerH; row += blockRows) {
            const int end = std::min(innerH, row + blockRows);
            featureRows(images, plan, area, half, row, end, block.data());
            const std::size_t first = static_cast<std::size_t>(row) * innerW;
            classifier.projectSamples(block.data(), static_cast<long long>(end - row) * innerW,
                                      plane.x.data() + first, plane.y.data() + first);
        }
        if (!classifier.classifyPlane(plane, results[static_cast<std::size_t>(half - kHalfSizes[0])], started))
            return classifier.error;
    }
    return ClassificationError::None;
}

} // namespace

bool computeClassificationFeatures(const std::vector<std::vector<double>>& channels, int innerW, int innerH,
                                   int W, int H, int half, const std::vector<std::string>& statisticsNames,
                                   std::vector<double>& samples)
{
    Area area;
    if (half < 0 || !areaFits(channels, innerW, innerH, W, H, half, area))
        return false;
    const FeaturePlan plan = planFor(statisticsNames);
    const FeatureImages images(channels, plan, W, H);
    samples.assign(static_cast<std::size_t>(innerW) * innerH * channels.size() * statisticsNames.size(), 0.0);
    featureRows(images, plan, area, half, 0, innerH, samples.data());
    return true;
}

bool classifyArea(const std::vector<std::vector<double>>& channels, int innerW, int innerH, int W, int H,
                  std::vector<std::vector<std::vector<double>>>& results, NatNetInfo network,
                  ClassificationError* error)
{
    // The file may have changed since it was listed: it is read once now,
    // and that reading decides.
    return classifyArea(channels, innerW, innerH, W, H, results, readNatNet(network.directory, network.fileName),
                        error);
}

bool classifyArea(const std::vector<std::vector<double>>& channels, int innerW, int innerH, int W, int H,
                  std::vector<std::vector<std::vector<double>>>& results, const NatNetReading& network,
                  ClassificationError* error)
{
    ClassificationError failure = ClassificationError::None;
    results.assign(std::size(kHalfSizes), {});
    try {
        failure = classifyChecked(channels, innerW, innerH, W, H, results, network);
    } catch (const std::bad_alloc&) {
        failure = ClassificationError::OutOfMemory;
    }
    if (failure != ClassificationError::None)
        results.assign(std::size(kHalfSizes), {});
    if (error)
        *error = failure;
    return failure == ClassificationError::None;
}

bool computeRelevancyMap(const std::vector<std::vector<std::vector<double>>>& results, int width, int height,
                         std::vector<std::vector<double>>& maps)
{
    if (maps.empty())
        return true;
    const std::size_t size = static_cast<std::size_t>(std::max(width, 0)) * static_cast<std::size_t>(std::max(height, 0));
    for (std::size_t j = 0; j < maps.size(); ++j) {
        std::vector<double>& map = maps[j];
        map.resize(size, 0.0);
        double* m = map.data();
        for (const auto& result : results) {
            if (j >= result.size())
                continue;
            const std::vector<double>& list = result[j];
            const long long n = static_cast<long long>(std::min(list.size(), size));
            const double* o = list.data();
#pragma omp parallel for schedule(static)
            for (long long i = 0; i < n; ++i) {
                const double t = o[i] != 0.0 ? 1.0 / (1.0 + std::exp((0.5 - o[i]) * 12.0)) : 0.0;
                m[i] = std::max(m[i], t);
            }
        }
        if (map.empty())
            continue;
        const auto [lo, hi] = std::minmax_element(map.begin(), map.end());
        const double minimum = *lo;
        const double range = *hi - *lo;
        const long long n = static_cast<long long>(size);
#pragma omp parallel for schedule(static)
        for (long long i = 0; i < n; ++i)
            m[i] = range == 0.0 ? 0.0 : (m[i] - minimum) / range;
    }
    return true;
}
