#include "analysis/NatNetClassifier.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iostream>
#include <new>

#include "analysis/NatNetInfo.h"
#include "io/NumberText.h"
#include "io/StringUtils.h"
#include "io/UserFiles.h"

namespace {

using Clock = std::chrono::steady_clock;

// Seconds since a start, counted in whole milliseconds.
double secondsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count() / 1000.0;
}

} // namespace

std::string classificationErrorText(ClassificationError error)
{
    switch (error) {
    case ClassificationError::None:
        return {};
    case ClassificationError::UnreadableNetwork:
        return "Unable to read the network file.";
    case ClassificationError::InvalidNetwork:
        return "The network file is not a valid network.";
    case ClassificationError::ChannelMismatch:
        return "The image channels do not match the channels of the network.";
    case ClassificationError::AreaTooSmall:
        return "The classified area needs a margin of 5 pixels inside the image.";
    case ClassificationError::NoSeparation:
        return "The classes of the network did not separate within 200 steps.";
    case ClassificationError::NonFinitePositions:
        return "The network evolution gave invalid positions.";
    case ClassificationError::OutOfMemory:
        return "Not enough memory to classify the area.";
    }
    return {};
}

namespace {

// The training points that follow the header: `rows` lines of at least
// `features` values each (further values ignored), a value that is not a
// finite number taken as 0. Rows are added as they are read, so a header
// that promises more than the file holds costs nothing before it fails.
bool readTrainingRows(std::istream& in, int rows, int features, std::vector<std::vector<double>>& out)
{
    std::string line;
    std::vector<std::string> fields;
    out.clear();
    for (int r = 0; r < rows; ++r) {
        if (readBoundedTextLine(in, line) != TextLine::Read)
            return false;
        splitByChar(fields, line, ',');
        if (static_cast<int>(fields.size()) < features)
            return false;
        std::vector<double> row(static_cast<std::size_t>(features));
        for (int i = 0; i < features; ++i) {
            const auto value = IO::parseDoublePrefix(fields[static_cast<std::size_t>(i)]);
            if (!value)
                return false;
            row[static_cast<std::size_t>(i)] = std::isfinite(*value) ? *value : 0.0;
        }
        out.push_back(std::move(row));
    }
    return true;
}

} // namespace

NatNetReading readNatNet(const std::string& directory, const std::string& fileName)
{
    NatNetReading reading;
    reading.network.directory = directory;
    reading.network.fileName = fileName;
    try {
        if (!IO::isRegularFile(directory + fileName))
            return reading;
        std::ifstream in(directory + fileName, std::ios::binary);
        std::string line;
        if (!in || readBoundedTextLine(in, line) != TextLine::Read || !reading.network.parseHeader(line))
            return reading;
        if (checkNetwork(reading.network) != NetworkDefect::None) {
            reading.error = ClassificationError::InvalidNetwork;
            return reading;
        }
        if (!readTrainingRows(in, reading.network.numberOfPoints, reading.network.dimension,
                              reading.trainingRows)) {
            reading.trainingRows.clear();
            return reading;
        }
    } catch (const std::bad_alloc&) {
        reading.trainingRows = {};
        reading.error = ClassificationError::OutOfMemory;
        return reading;
    }
    reading.error = ClassificationError::None;
    return reading;
}

bool NatNetClassifier::readTrainingSet()
{
    if (!IO::isRegularFile(directory + fileName))
        return false;
    std::ifstream in(directory + fileName, std::ios::binary);
    if (!in)
        return false;
    std::string line;
    std::vector<std::string> fields;
    if (readBoundedTextLine(in, line) != TextLine::Read)
        return false;
    splitByChar(fields, line, ',');
    const auto counts = readNatNetCounts(fields);
    if (!counts)
        return false;
    rows = counts->points;
    features = counts->values;
    classSizes = counts->classSizes;
    return readTrainingRows(in, rows, features, trainingRows);
}

void NatNetClassifier::computeNormalization(int count, std::vector<double>& mins, std::vector<double>& maxs)
{
    // Limits for the values the rows hold, however many are asked for: the
    // count comes from a file's header, and no rows hold none.
    std::size_t n = static_cast<std::size_t>(std::max(count, 0));
    for (const auto& row : trainingRows)
        n = std::min(n, row.size());
    if (trainingRows.empty())
        n = 0;
    mins.assign(n, 0.0);
    maxs.assign(n, 0.0);
    if (n == 0)
        return;
    for (std::size_t i = 0; i < n; ++i) {
        mins[i] = maxs[i] = trainingRows.front()[i];
        for (const auto& row : trainingRows) {
            mins[i] = std::min(mins[i], row[i]);
            maxs[i] = std::max(maxs[i], row[i]);
        }
    }
    for (auto& row : trainingRows)
        normalizeSample(row, count, mins, maxs);
}

void NatNetClassifier::normalizeSample(std::span<double> sample, int count, const std::vector<double>& mins,
                                       const std::vector<double>& maxs)
{
    const std::size_t n = std::min({static_cast<std::size_t>(std::max(count, 0)), sample.size(), mins.size(),
                                    maxs.size()});
    for (std::size_t j = 0; j < n; ++j)
        sample[j] = maxs[j] == mins[j] ? 0.0 : (sample[j] - mins[j]) / (maxs[j] - mins[j]);
}

void NatNetClassifier::setParameters(std::string dir, std::string file, double kx, double ky, double d,
                                     std::vector<double> values, long long count)
{
    directory = std::move(dir);
    fileName = std::move(file);
    Kx = kx;
    Ky = ky;
    delta = d;
    samples = std::move(values);
    sampleCount = count;
}

bool NatNetClassifier::learn()
{
    error = ClassificationError::None;
    const Clock::time_point started = Clock::now();
    std::cout << "Learning input data:" << directory + fileName << std::endl;
    if (!readTrainingSet()) {
        std::cout << "Failed: Open CSV file \n";
        error = ClassificationError::UnreadableNetwork;
        return false;
    }
    return learnTrainingSet(started);
}

bool NatNetClassifier::learnFrom(const NatNetReading& reading)
{
    error = reading.error;
    if (error != ClassificationError::None)
        return false;
    const NatNetInfo& header = reading.network;
    if (header.parameters.size() != 3) {
        error = ClassificationError::InvalidNetwork;
        return false;
    }
    const Clock::time_point started = Clock::now();
    directory = header.directory;
    fileName = header.fileName;
    Kx = header.parameters[0];
    Ky = header.parameters[1];
    delta = header.parameters[2];
    rows = header.numberOfPoints;
    features = header.dimension;
    classSizes = header.clusterSizes;
    trainingRows = reading.trainingRows;
    std::cout << "Learning input data:" << directory + fileName << std::endl;
    return learnTrainingSet(started);
}

bool NatNetClassifier::learnTrainingSet(Clock::time_point started)
{
    // Labels follow the class sizes row by row: they must cover the rows
    // exactly, each class with at least one.
    long long labelled = 0;
    for (int size : classSizes)
        labelled += size;
    const bool sizesFit = !classSizes.empty() && labelled == rows &&
                          std::all_of(classSizes.begin(), classSizes.end(), [](int s) { return s >= 1; });
    if (rows < 2 || features < 1 || !sizesFit) {
        error = ClassificationError::InvalidNetwork;
        return false;
    }

    const int components = std::max(pcaComponents, 2);
    computeNormalization(features, featureMins, featureMaxs);
    pca.compute(trainingRows, components);
    computeNormalization(components, planeMins, planeMaxs);

    trainingLabels.clear();
    for (std::size_t c = 0; c < classSizes.size(); ++c)
        trainingLabels.insert(trainingLabels.end(), static_cast<std::size_t>(classSizes[c]), static_cast<int>(c) + 1);
    PlanePoints start;
    start.resize(rows);
    for (int r = 0; r < rows; ++r) {
        start.x[static_cast<std::size_t>(r)] = trainingRows[static_cast<std::size_t>(r)][0];
        start.y[static_cast<std::size_t>(r)] = trainingRows[static_cast<std::size_t>(r)][1];
    }
    std::cout << "Loading + PCA : " << secondsSince(started) << " s\n" << std::endl;

    if (!network.train(start, trainingLabels, Kx, Ky, delta)) {
        if (network.trainOutcome() == NatNet::Outcome::NonFinite) {
            error = ClassificationError::NonFinitePositions;
        } else {
            std::cout << "The histogram stopping criterion was not fulfilled during pck steps.\n";
            error = ClassificationError::NoSeparation;
        }
        return false;
    }
    return true;
}

void NatNetClassifier::projectSamples(const double* values, long long count, double* u, double* v) const
{
    const int components = std::max(pcaComponents, 2);
#pragma omp parallel
    {
        std::vector<double> sample(static_cast<std::size_t>(features));
        std::vector<double> plane(static_cast<std::size_t>(components));
#pragma omp for schedule(static)
        for (long long i = 0; i < count; ++i) {
            std::copy_n(values + i * features, features, sample.begin());
            normalizeSample(sample, features, featureMins, featureMaxs);
            pca.projectInto(sample.data(), plane.data(), components);
            normalizeSample(plane, components, planeMins, planeMaxs);
            u[i] = plane[0];
            v[i] = plane[1];
        }
    }
}

bool NatNetClassifier::classifyPlane(const PlanePoints& plane, std::vector<std::vector<double>>& out,
                                     Clock::time_point since)
{
    const std::size_t n = static_cast<std::size_t>(plane.size());
    // Only points inside the unit square (edges included) take part.
    std::vector<std::size_t> taking;
    PlanePoints inside;
    for (std::size_t i = 0; i < n; ++i) {
        const double x = plane.x[i];
        const double y = plane.y[i];
        if (x >= 0.0 && x <= 1.0 && y >= 0.0 && y <= 1.0) {
            taking.push_back(i);
            inside.x.push_back(x);
            inside.y.push_back(y);
        }
    }
    std::vector<std::vector<double>> lists(classSizes.size(), std::vector<double>(n, 0.0));
    if (!taking.empty()) {
        std::vector<int> labels(taking.size(), -1);
        std::vector<double> relevancy(taking.size(), 0.0);
        const Clock::time_point evolving = Clock::now();
        if (!network.classify(inside, labels)) {
            error = ClassificationError::NonFinitePositions;
            return false;
        }
        std::cout << "Apply GD time : " << secondsSince(evolving) << " s\n" << std::endl;
        const Clock::time_point measuring = Clock::now();
        network.relevancies(inside, labels, relevancy);
        std::cout << "Compute relevancy time : " << secondsSince(measuring) << " s\n" << std::endl;
        for (std::size_t q = 0; q < taking.size(); ++q) {
            const int label = labels[q];
            if (label >= 1 && label <= static_cast<int>(lists.size()))
                lists[static_cast<std::size_t>(label - 1)][taking[q]] = relevancy[q];
        }
    }
    out = std::move(lists);
    std::cout << "CPU TOTAL time used: " << secondsSince(since) << " s\n" << std::endl;
    return true;
}

bool NatNetClassifier::run(std::vector<std::vector<double>>& out)
{
    const Clock::time_point started = Clock::now();
    if (!learn())
        return false;
    if (features < 1 || sampleCount < 0 ||
        static_cast<long long>(samples.size()) != sampleCount * static_cast<long long>(features)) {
        error = ClassificationError::ChannelMismatch;
        return false;
    }
    PlanePoints plane;
    plane.resize(static_cast<int>(sampleCount));
    projectSamples(samples.data(), sampleCount, plane.x.data(), plane.y.data());
    return classifyPlane(plane, out, started);
}
