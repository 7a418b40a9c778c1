#include "windows/StatisticsExport.h"

#include <algorithm>

#include <fcntl.h>
#include <unistd.h>

#include <QString>

#include "analysis/MaskedStatistics.h"
#include "io/AtomicFile.h"
#include "io/NumberText.h"

namespace StatisticsExport {

namespace {

constexpr int kTypeCount = 4;

void appendField(std::string& line, const std::string& field)
{
    line += field;
    line += ',';
}

} // namespace

std::string shortNumber(double value)
{
    // QString::number always writes the C locale.
    return QString::number(value, 'g', 6).toStdString();
}

std::string statisticsFileText(const CurveStatistics& input)
{
    std::vector<int> channels = input.channels;
    std::sort(channels.begin(), channels.end());
    std::vector<int> types;
    for (int type = 0; type < kTypeCount; ++type) {
        if (std::find(input.types.begin(), input.types.end(), type) != input.types.end())
            types.push_back(type);
    }
    const std::size_t m = channels.size();
    const std::size_t n = types.size();
    static const char* const keys[kTypeCount] = {"mean", "std", "min", "max"};

    std::string text;
    appendField(text, std::to_string(input.sets.size()));
    appendField(text, std::to_string(m * n));
    for (const char* placeholder :
         {"FILLnumOfClusters", "FILLnumberOfPoitsInCluster", "FILLhabitatsNames", "param", "FILLparameters"})
        appendField(text, placeholder);
    appendField(text, std::to_string(m));
    for (int channel : channels) {
        // The codes come with the channels in the caller's order.
        const auto at = std::find(input.channels.begin(), input.channels.end(), channel) - input.channels.begin();
        appendField(text, static_cast<std::size_t>(at) < input.bandCodes.size()
                              ? input.bandCodes[static_cast<std::size_t>(at)]
                              : std::string());
    }
    appendField(text, std::to_string(n));
    for (int type : types)
        appendField(text, keys[type]);
    appendField(text, "FILLdateOfS2image");
    appendField(text, "FILLS2tile");
    text += '\n';

    for (const UI::CurveSet* set : input.sets) {
        for (int channel : channels) {
            for (int type : types) {
                const std::vector<double>& list = set->statistic(type);
                const double value = channel >= 0 && static_cast<std::size_t>(channel) < list.size()
                                         ? list[static_cast<std::size_t>(channel)]
                                         : -1.0;
                appendField(text, shortNumber(value));
            }
        }
        text += '\n';
    }
    return text;
}

std::string largeFileName(int index)
{
    return "dataNatura_" + std::to_string(index) + ".csv";
}

void appendLargeLine(std::string& out, const LargeGrid& grid, int x, int y, LineScratch& scratch)
{
    const int r = grid.radius;
    const std::size_t side = static_cast<std::size_t>(2 * r + 1);
    scratch.values.resize(side * side);
    if (scratch.mask.size() != side * side)
        scratch.mask.assign(side * side, 1);
    scratch.statistics.resize(4);
    const std::size_t width = static_cast<std::size_t>(grid.width);
    bool first = true;
    for (const std::vector<double>& channel : *grid.channels) {
        std::size_t k = 0;
        for (int dy = -r; dy <= r; ++dy) {
            const double* row = channel.data() + static_cast<std::size_t>(y + dy) * width;
            for (int dx = -r; dx <= r; ++dx)
                scratch.values[k++] = row[x + dx];
        }
        computeMaskedStatistics(scratch.mask, scratch.values, scratch.statistics);
        for (double value : scratch.statistics) {
            if (!first)
                out += ',';
            first = false;
            out += IO::formatNumber(value);
        }
    }
    out += '\n';
}

LargeFiles::LargeFiles(const std::string& folder)
{
    descriptors_.fill(-1);
    open_ = true;
    for (int k = 0; k < kLargeFileCount; ++k) {
        const std::size_t i = static_cast<std::size_t>(k);
        targets_[i] = folder + "/" + largeFileName(k);
        temporaries_[i] = IO::createTemporarySibling(targets_[i]);
        if (temporaries_[i].empty()) {
            open_ = false;
            break;
        }
        descriptors_[i] = ::open(temporaries_[i].c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        if (descriptors_[i] < 0) {
            open_ = false;
            break;
        }
    }
    if (!open_)
        discard();
}

LargeFiles::~LargeFiles()
{
    discard();
}

void LargeFiles::discard()
{
    for (std::size_t i = 0; i < descriptors_.size(); ++i) {
        if (descriptors_[i] >= 0)
            ::close(descriptors_[i]);
        descriptors_[i] = -1;
        if (!temporaries_[i].empty())
            ::unlink(temporaries_[i].c_str());
        temporaries_[i].clear();
    }
}

bool LargeFiles::commit()
{
    if (!open_)
        return false;
    bool complete = true;
    for (std::size_t i = 0; i < descriptors_.size(); ++i) {
        const int fd = descriptors_[i];
        descriptors_[i] = -1;
        complete = ::fsync(fd) == 0 && complete;
        complete = ::close(fd) == 0 && complete;
    }
    if (!complete) {
        discard();
        return false;
    }
    // All six are replaced or none: a rename that fails part-way gives the
    // files renamed before it their earlier version back.
    const bool replaced = IO::replaceAllWithTemporaries({temporaries_.begin(), temporaries_.end()},
                                                        {targets_.begin(), targets_.end()});
    for (std::string& temporary : temporaries_)
        temporary.clear();
    open_ = false;
    return replaced;
}

} // namespace StatisticsExport
