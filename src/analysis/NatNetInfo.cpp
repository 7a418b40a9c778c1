#include "analysis/NatNetInfo.h"

#include <climits>
#include <cmath>
#include <fstream>
#include <optional>

#include "io/File.h"
#include "io/NumberText.h"
#include "io/StringUtils.h"
#include "io/UserFiles.h"

namespace {

// A count of the header: whole, within int and not negative.
std::optional<int> readCount(const std::string& field)
{
    const auto value = IO::parseIntegerPrefix(field);
    if (!value || *value < 0 || *value > INT_MAX)
        return std::nullopt;
    return static_cast<int>(*value);
}

// Whether the header holds the fields up to `needed` (counted in 64 bits: a
// huge class count must not wrap around).
bool holds(const std::vector<std::string>& fields, long long needed)
{
    return static_cast<long long>(fields.size()) >= needed;
}

} // namespace

std::optional<NatNetCounts> readNatNetCounts(const std::vector<std::string>& fields)
{
    if (!holds(fields, 3))
        return std::nullopt;
    const auto points = readCount(fields[0]);
    const auto values = readCount(fields[1]);
    const auto classes = readCount(fields[2]);
    if (!points || !values || !classes || !holds(fields, 3LL + *classes))
        return std::nullopt;
    NatNetCounts counts{*points, *values, {}};
    for (int i = 0; i < *classes; ++i) {
        const auto size = readCount(fields[static_cast<std::size_t>(3 + i)]);
        if (!size)
            return std::nullopt;
        counts.classSizes.push_back(*size);
    }
    return counts;
}

bool NatNetInfo::readHeader()
{
    // The files of a folder the user chose: a named pipe among them would
    // keep the listing waiting for good.
    if (!IO::isRegularFile(directory + fileName))
        return false;
    std::ifstream in(directory + fileName, std::ios::binary);
    if (!in)
        return false;
    std::string line;
    return readBoundedTextLine(in, line) == TextLine::Read && parseHeader(line);
}

bool NatNetInfo::parseHeader(const std::string& line)
{
    std::vector<std::string> fields;
    splitByChar(fields, line, ',');

    const auto counts = readNatNetCounts(fields);
    if (!counts)
        return false;
    numberOfPoints = counts->points;
    dimension = counts->values;
    clusterSizes = counts->classSizes;
    const long long n = static_cast<long long>(clusterSizes.size());
    if (!holds(fields, 2 * n + 3))
        return false;
    clusterNames.assign(fields.begin() + 3 + n, fields.begin() + 3 + 2 * n);

    // The field at 3 + 2N names the parameters ("param") and is not read.
    if (!holds(fields, 2 * n + 8))
        return false;
    parameters.clear();
    for (long long i = 0; i < 3; ++i) {
        const auto value = IO::parseDoublePrefix(fields[4 + 2 * n + i]);
        if (!value)
            return false;
        parameters.push_back(*value);
    }
    const auto channels = readCount(fields[7 + 2 * n]);
    if (!channels)
        return false;
    const long long m = *channels;

    if (!holds(fields, 2 * n + m + 9))
        return false;
    channelNames.assign(fields.begin() + 8 + 2 * n, fields.begin() + 8 + 2 * n + m);
    const auto statistics = readCount(fields[8 + 2 * n + m]);
    if (!statistics)
        return false;
    const long long k = *statistics;

    if (!holds(fields, 2 * n + m + k + 11))
        return false;
    statisticsNames.assign(fields.begin() + 9 + 2 * n + m, fields.begin() + 9 + 2 * n + m + k);
    imageDate = fields[9 + 2 * n + m + k];
    s2Tile = fields[10 + 2 * n + m + k];
    return true;
}

NetworkDefect checkNetwork(const NatNetInfo& network)
{
    if (network.numberOfPoints < 2)
        return NetworkDefect::TooFewPoints;
    if (network.clusterSizes.empty())
        return NetworkDefect::NoClass;
    long long total = 0;
    for (int size : network.clusterSizes) {
        if (size < 1)
            return NetworkDefect::ClassSizes;
        total += size;
    }
    if (total != network.numberOfPoints || network.clusterNames.size() != network.clusterSizes.size())
        return NetworkDefect::ClassSizes;
    const long long values = static_cast<long long>(network.channelNames.size()) *
                             static_cast<long long>(network.statisticsNames.size());
    if (values < 1 || values != network.dimension)
        return NetworkDefect::Dimension;
    if (network.parameters.size() != 3)
        return NetworkDefect::Parameters;
    for (double p : network.parameters)
        if (!std::isfinite(p))
            return NetworkDefect::Parameters;
    if (network.parameters[0] < 0.0 || network.parameters[1] < 0.0)
        return NetworkDefect::Parameters;
    return NetworkDefect::None;
}

std::string networkDefectText(NetworkDefect defect)
{
    switch (defect) {
    case NetworkDefect::None:
        return {};
    case NetworkDefect::TooFewPoints:
        return "The network has fewer than two training points.";
    case NetworkDefect::NoClass:
        return "The network has no class.";
    case NetworkDefect::ClassSizes:
        return "The class sizes of the network do not add up to its training points.";
    case NetworkDefect::Dimension:
        return "The values per training point do not match the channels and statistics of the network.";
    case NetworkDefect::Parameters:
        return "The network needs three finite parameters Kx, Ky, delta with Kx and Ky not negative.";
    }
    return {};
}

NetworkBands networkBandIndexes(const NatNetInfo& network, const IO::File& file)
{
    NetworkBands out;
    for (const std::string& name : network.channelNames) {
        int found = -1;
        for (std::size_t b = 0; b < file.bands.size() && found < 0; ++b)
            if (file.bands[b].code == name)
                found = static_cast<int>(b);
        if (found >= 0)
            out.bands.push_back(found);
        else
            out.missing.push_back(name);
    }
    return out;
}
