#pragma once

// The two statistics exports of the statistics window, as plain code:
//
// - the curve statistics file: the header line of a network training file
//   with the network's own fields left as "FILL..." placeholders, then one
//   line of band statistics per curve set. Every field, the last of a line
//   included, is followed by ","; numbers have at most 6 significant digits
//   ("%g"), written with a decimal point whatever the user's locale;
// - the large statistics files "dataNatura_0.csv" .. "dataNatura_5.csv": one
//   line per pixel of the grid's inner area (a border of 6 pixels left out),
//   for each channel the mean, standard deviation, minimum and maximum of
//   the (2r + 1) x (2r + 1) square around the pixel, in the shortest text that
//   reads back to the same double, separated by "," without a trailing one.
//
// Both are written whole or not at all (see io/AtomicFile.h); the six large
// files are renamed into place only once all six are complete, and then all
// six or none.

#include <array>
#include <string>
#include <vector>

#include "io/Curve.h"

namespace StatisticsExport {

// The curve statistics file. bandCodes holds the band code of each channel;
// channels are written in ascending order, types (0 mean, 1 std, 2 min,
// 3 max) in that key order whatever order they come in.
struct CurveStatistics {
    std::vector<const UI::CurveSet*> sets;  // in the order the lines are written
    std::vector<int> channels;
    std::vector<std::string> bandCodes;     // parallel to channels
    std::vector<int> types;
};
std::string statisticsFileText(const CurveStatistics& input);
// A double as the file writes it: %g with 6 significant digits, C locale.
std::string shortNumber(double value);

// Large statistics files.
constexpr int kLargeFileCount = 6;
constexpr int kLargeBorder = 6;
std::string largeFileName(int index);

// The channels of a whole grid, one row-major array of width x height
// values per channel, and the square radius r.
struct LargeGrid {
    const std::vector<std::vector<double>>* channels = nullptr;
    int width = 0;
    int height = 0;
    int radius = 1;
};

// Buffers of one writer thread, kept between pixels so that a line costs no
// allocation.
struct LineScratch {
    std::vector<double> values;
    std::vector<int> mask;
    std::vector<double> statistics;
};

// Appends the line of pixel (x, y) (its square must lie inside the grid),
// ended by "\n".
void appendLargeLine(std::string& out, const LargeGrid& grid, int x, int y, LineScratch& scratch);

// The six files of one large export, written beside their targets under
// temporary names. commit() renames all six into place; until then, and
// whenever anything failed, the targets are left as they were and the
// destructor removes what was written.
class LargeFiles {
public:
    explicit LargeFiles(const std::string& folder);
    ~LargeFiles();
    LargeFiles(const LargeFiles&) = delete;
    LargeFiles& operator=(const LargeFiles&) = delete;

    // False when a temporary file could not be created or opened.
    bool isOpen() const { return open_; }
    // The write descriptor of file k.
    int descriptor(int k) const { return descriptors_[static_cast<std::size_t>(k)]; }
    // Flushes, closes and renames every file into place, all six or none;
    // false (the earlier files restored, what was written removed) when one
    // of them failed.
    bool commit();

private:
    void discard();

    std::array<std::string, kLargeFileCount> targets_;
    std::array<std::string, kLargeFileCount> temporaries_;
    std::array<int, kLargeFileCount> descriptors_;
    bool open_ = false;
};

} // namespace StatisticsExport
