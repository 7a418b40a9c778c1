// The feature workers: the tasks that the feature drivers run on a pool
// thread. Each reads cache entries of a band record, runs one kernel over the
// working area and writes its outputs into the same cache.
//
// A worker sees only plain values: the data set and the side's working area
// were read on the GUI thread, and the task runner's modal dialog keeps the
// data sets, band records and caches unchanged while a task runs.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <initializer_list>
#include <iostream>
#include <limits>
#include <memory>
#include <string>

#include "analysis/MaskedStatistics.h"
#include "app/FenlarkApp.h"
#include "filter/Filtration.h"
#include "filter/ImageDerivatives.h"
#include "io/Band.h"

namespace UI {

namespace {

// Pixels of the working area; 0 for an empty or impossible one.
std::size_t areaCount(const FenlarkApp::FeatureArea& area)
{
    if (!area.file || area.width <= 0 || area.height <= 0)
        return 0;
    return static_cast<std::size_t>(area.width) * static_cast<std::size_t>(area.height);
}

IO::BandLevel* levelOf(const FenlarkApp::FeatureArea& area, int band, int level)
{
    if (!area.file || band < 0 || band >= static_cast<int>(area.file->bands.size()))
        return nullptr;
    auto& levels = area.file->bands[static_cast<std::size_t>(band)].levels;
    if (level < 0 || level >= static_cast<int>(levels.size()))
        return nullptr;
    return &levels[static_cast<std::size_t>(level)];
}

// One cache entry of a worker call: the band whose record holds it and its key.
struct Entry {
    int band;
    const QString& key;
};

// Looks up every input and then creates every output, all of the working
// area's size. Inputs are checked first: when a band or level is out of
// range or an input is missing or of another size, nothing is created and
// the answer is false. in and out receive the arrays in list order.
bool prepareEntries(const FenlarkApp::FeatureArea& area, int level, std::initializer_list<Entry> inputs,
                    const float** in, std::initializer_list<Entry> outputs, float** out)
{
    const std::size_t n = areaCount(area);
    if (n == 0)
        return false;
    std::size_t i = 0;
    for (const Entry& entry : inputs) {
        IO::BandLevel* record = levelOf(area, entry.band, level);
        if (!record)
            return false;
        const std::string key = entry.key.toStdString();
        if (record->cacheSize(key) != n)
            return false;
        in[i++] = record->cacheData(key);
    }
    for (const Entry& entry : outputs)
        if (!levelOf(area, entry.band, level))
            return false;
    i = 0;
    for (const Entry& entry : outputs) {
        IO::BandLevel* record = levelOf(area, entry.band, level);
        const std::string key = entry.key.toStdString();
        record->createCache(key, n);
        out[i++] = record->cacheData(key);
    }
    return true;
}

// Loads the filtering object with the band's own working window or with a
// cached image; false (nothing loaded) when the input is refused.
bool loadFilterInput(Filter::Filtration& filtration, const FenlarkApp::FeatureArea& area, IO::BandLevel& record,
                     const QString& inputKey)
{
    const std::size_t n = areaCount(area);
    if (inputKey.isEmpty()) {
        const IO::File& file = *area.file;
        const long long bandCount = static_cast<long long>(file.width) * file.height;
        if (!record.data || file.width <= 0 || file.height <= 0 || record.count < bandCount)
            return false;
        return filtration.setImageWindow(record.data.get(), area.x, area.y, file.width, file.height);
    }
    const std::string key = inputKey.toStdString();
    if (record.cacheSize(key) != n)
        return false;
    return filtration.setImage(record.cacheData(key), n);
}

bool runFilterStep(Filter::Filtration& filtration, Filter::FilterType type, double t1, double K, double t2)
{
    switch (type) {
    case Filter::linear:
        return filtration.linearStep(t1);
    case Filter::nonlinear:
        return filtration.nonlinearStep(t1, K, t2);
    case Filter::geometricMCF:
        return filtration.geometricMCFStep(t1, K, t2);
    }
    return false;
}

} // namespace

bool FenlarkApp::filterSolution(Filter::Filtration* filtration, FeatureArea area, int band, int level,
                                Filter::FilterType type, double linearTimestep, double sensitivity,
                                double nonlinearTimestep, QString outputKey, QString inputKey)
{
    IO::BandLevel* record = levelOf(area, band, level);
    const std::size_t n = areaCount(area);
    if (!filtration || !record || n == 0 || filtration->width != area.width || filtration->height != area.height)
        return false;
    bool stored = false;
    if (loadFilterInput(*filtration, area, *record, inputKey)
        && runFilterStep(*filtration, type, linearTimestep, sensitivity, nonlinearTimestep)
        && filtration->result().size() == n) {
        record->storeCache<double>(outputKey.toStdString(), filtration->result().data(), n);
        stored = true;
    }
    filtration->releaseWorkData();
    return stored;
}

bool FenlarkApp::imgGrads(FeatureArea area, int band, int level, QString inputKey, QString xOutputKey,
                          QString yOutputKey)
{
    const float* in[1];
    float* out[2];
    if (!prepareEntries(area, level, {{band, inputKey}}, in, {{band, xOutputKey}, {band, yOutputKey}}, out))
        return false;
    computeGradients(in[0], out[0], out[1], area.width, area.height, 1.0);
    return true;
}

bool FenlarkApp::segmEdgeDetectorGradField(FeatureArea area, int band, int level, QString inputKey,
                                           QString xOutputKey, QString yOutputKey)
{
    const float* in[1];
    float* out[2];
    if (!prepareEntries(area, level, {{band, inputKey}}, in, {{band, xOutputKey}, {band, yOutputKey}}, out))
        return false;
    computeGradients(in[0], out[0], out[1], area.width, area.height, -1.0);
    return true;
}

bool FenlarkApp::segmEdgeDetectorGradFieldNorm(FeatureArea area, int band, int level, QString xInputKey,
                                               QString yInputKey, QString outputKey)
{
    const float* in[2];
    float* out[1];
    if (!prepareEntries(area, level, {{band, xInputKey}, {band, yInputKey}}, in, {{band, outputKey}}, out))
        return false;
    computeGradientNorm(out[0], area.width, area.height, in[0], in[1], nullptr);
    return true;
}

bool FenlarkApp::imgEdgeDetector(FeatureArea area, int band1, int band2, int band3, int level, double sensitivity,
                                 QString xGradientKey, QString yGradientKey, QString outputKey)
{
    const bool threeBands = band2 != -1 && band3 != -1;
    const float* in[6];
    float* out[1];
    const bool ready = threeBands
        ? prepareEntries(area, level,
                         {{band1, xGradientKey}, {band1, yGradientKey}, {band2, xGradientKey},
                          {band2, yGradientKey}, {band3, xGradientKey}, {band3, yGradientKey}},
                         in, {{band1, outputKey}}, out)
        : prepareEntries(area, level, {{band1, xGradientKey}, {band1, yGradientKey}}, in, {{band1, outputKey}},
                         out);
    if (!ready)
        return false;
    const std::size_t n = areaCount(area);
    const int w = area.width;
    const int h = area.height;
    std::unique_ptr<float[]> norms(new float[(threeBands ? 3 : 1) * n]);
    computeGradientNorm(norms.get(), w, h, in[0], in[1], nullptr);
    if (threeBands) {
        computeGradientNorm(norms.get() + n, w, h, in[2], in[3], nullptr);
        computeGradientNorm(norms.get() + 2 * n, w, h, in[4], in[5], nullptr);
    }
    computeEdgeDetector(out[0], norms.get(), threeBands ? norms.get() + n : nullptr,
                        threeBands ? norms.get() + 2 * n : nullptr, static_cast<int>(n), sensitivity);
    return true;
}

bool FenlarkApp::imgMaxGrads(FeatureArea area, int band1, int band2, int band3, int level, QString xGradientKey,
                             QString yGradientKey, QString xOutputKey, QString yOutputKey)
{
    const float* in[6];
    float* out[2];
    if (!prepareEntries(area, level,
                        {{band1, xGradientKey}, {band1, yGradientKey}, {band2, xGradientKey}, {band2, yGradientKey},
                         {band3, xGradientKey}, {band3, yGradientKey}},
                        in, {{band1, xOutputKey}, {band1, yOutputKey}}, out))
        return false;
    computeMaxGradients(out[0], out[1], in[0], in[1], in[2], in[3], in[4], in[5],
                        static_cast<int>(areaCount(area)));
    return true;
}

bool FenlarkApp::homogeneityFunction(FeatureArea area, int band, int level, HomogeneityType type, double eps,
                                     UI::CurveSet curveSet, QString inputKey, QString outputKey,
                                     bool useCustomValues, QList<double> customValues)
{
    const auto start = std::chrono::steady_clock::now();
    const IO::BandLevel* record = levelOf(area, band, level);
    if (!record)
        return false;
    // The filtered image is in the band's normalised units: map the reference
    // values with the mapping the band's normalisation applied.
    const double offset = record->normOffset;
    const double scale = record->normScale;
    if (scale == 0.0 || !std::isfinite(scale))
        return false;
    // A normalised band holds its samples clipped to [0, 1]: a reference
    // beyond a crop limit is clipped alike, or an area brighter than the top
    // crop (all of it at 1) would never match its own mean.
    const bool clip = record->normalised;
    const auto clipped = [clip](double value) { return clip ? std::clamp(value, 0.0, 1.0) : value; };
    const auto statistic = [&curveSet, band](int kind, double& value) {
        const std::vector<double>& list = curveSet.statistic(kind);
        if (static_cast<std::size_t>(band) >= list.size() || list[static_cast<std::size_t>(band)] == -1.0)
            return false;
        value = list[static_cast<std::size_t>(band)];
        return true;
    };

    double lo = 0.0;
    double hi = 0.0;
    if (type == FenlarkAppTypes::DiscontinuousMean) {
        double mean = 0.0;
        if (useCustomValues) {
            if (customValues.isEmpty())
                return false;
            mean = customValues[0];
        } else if (!statistic(UI::CurveSet::Mean, mean)) {
            return false;
        }
        const double m = clipped((mean - offset) / scale);
        const double w = eps / 100.0 * m;
        lo = m - w;
        hi = m + w;
    } else if (type == FenlarkAppTypes::DiscontinuousMinMax) {
        double minimum = 0.0;
        double maximum = 0.0;
        if (useCustomValues) {
            if (customValues.size() < 2)
                return false;
            minimum = customValues[0];
            maximum = customValues[1];
        } else if (!statistic(UI::CurveSet::Minimum, minimum) || !statistic(UI::CurveSet::Maximum, maximum)) {
            return false;
        }
        // The tolerance is a length in band units: scaled, not shifted.
        const double c = eps / scale;
        lo = clipped((minimum - offset) / scale) - c;
        hi = clipped((maximum - offset) / scale) + c;
    } else {
        return false;
    }

    const float* in[1];
    float* out[1];
    if (!prepareEntries(area, level, {{band, inputKey}}, in, {{band, outputKey}}, out))
        return false;
    const std::size_t n = areaCount(area);
    const float* values = in[0];
    float* result = out[0];
    // A NaN compares false and lands outside.
    for (std::size_t i = 0; i < n; ++i) {
        const double v = values[i];
        result[i] = (v >= lo && v <= hi) ? 1.0f : 0.0f;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::cout << "Homogeneity: elapsed time :" << seconds << "s" << std::endl;
    return true;
}

bool FenlarkApp::expandingForce(FeatureArea area, int band, int level, QString firstInputKey,
                                QString secondInputKey, QString outputKey)
{
    const float* in[2];
    float* out[1];
    if (!prepareEntries(area, level, {{band, firstInputKey}, {band, secondInputKey}}, in, {{band, outputKey}},
                        out))
        return false;
    const std::size_t n = areaCount(area);
    const float* a = in[0];
    const float* b = in[1];
    float* result = out[0];
    for (std::size_t i = 0; i < n; ++i)
        result[i] = a[i] * b[i];
    std::cout << "Expandig force data: elapsed time : TODOs" << std::endl;
    return true;
}

bool FenlarkApp::graphLaplacianSolution(FeatureArea area, int band, int level, int neighbourhood,
                                        QString inputKey, QString outputKey, double sensitivity)
{
    if (neighbourhood != 3 && neighbourhood != 5)
        return false;
    const float* in[1];
    float* out[1];
    if (!prepareEntries(area, level, {{band, inputKey}}, in, {{band, outputKey}}, out))
        return false;
    const std::size_t n = areaCount(area);
    float* values = out[0];
    computeGraphLaplacian(in[0], static_cast<int>(n), values, neighbourhood, area.width, area.height);

    double minimum = std::numeric_limits<double>::max();
    double maximum = -std::numeric_limits<double>::max();
    for (std::size_t i = 0; i < n; ++i) {
        minimum = std::min(minimum, static_cast<double>(values[i]));
        maximum = std::max(maximum, static_cast<double>(values[i]));
    }
    const double range = maximum - minimum;
    for (std::size_t i = 0; i < n; ++i)
        values[i] = range != 0.0 ? static_cast<float>((values[i] - minimum) / range) : 0.0f;
    if (sensitivity != -1.0) {
        for (std::size_t i = 0; i < n; ++i) {
            const double v = values[i];
            values[i] = static_cast<float>(1.0 - 1.0 / (sensitivity * v * v + 1.0));
        }
    }
    return true;
}

bool FenlarkApp::meanGraphLaplacian(FeatureArea area, int band1, int band2, int band3, int level,
                                    QString inputKey, QString outputKey)
{
    const float* in[3];
    float* out[1];
    if (!prepareEntries(area, level, {{band1, inputKey}, {band2, inputKey}, {band3, inputKey}}, in,
                        {{band1, outputKey}}, out))
        return false;
    computeMeanGraphLaplacian(out[0], in[0], in[1], in[2], static_cast<int>(areaCount(area)));
    return true;
}

} // namespace UI
