#pragma once

// Description of one trained network, as given by the header line of its
// natNet file, and the checks a network must pass before it classifies.
//
// The natNet file is a comma-separated text. Its first line, with N classes,
// M channels and K statistics, holds: the number of training points, the
// values per point (M x K), N, the N class sizes, the N class names, a word
// ("param"), Kx, Ky, delta, M, the M channel names, K, the K statistics
// names, the date of the image and its Sentinel-2 tile; a trailing "," is
// allowed. The training points follow, one per line, grouped by class.

#include <optional>
#include <string>
#include <vector>

namespace IO {
class File;
}

struct NatNetInfo {
    std::string directory;  // folder of the file, ending with "/"
    std::string fileName;
    int numberOfPoints = 0;
    int dimension = 0;
    std::vector<int> clusterSizes;
    std::vector<double> parameters;  // Kx, Ky, delta
    std::vector<std::string> clusterNames;
    std::vector<std::string> channelNames;
    std::vector<std::string> statisticsNames;
    std::string s2Tile;
    std::string imageDate;

    // Reads the header line of directory + fileName into the other fields.
    // Numbers are read as the C library reads them in the "C" locale ("12abc"
    // is 12, "1.5e-1" is 0.15); counts must be whole, in int range and not
    // negative. False for a file that cannot be opened, a header with fewer
    // fields than its counts ask for, or a malformed number; the fields read
    // before the failure stay set (callers discard such a record).
    bool readHeader();
    // The same from a header line already read (the first line of the file,
    // without its line break).
    bool parseHeader(const std::string& line);

    // Empties every text and list and sets both counts to 0.
    void clear()
    {
        directory.clear();
        fileName.clear();
        numberOfPoints = 0;
        dimension = 0;
        clusterSizes.clear();
        parameters.clear();
        clusterNames.clear();
        channelNames.clear();
        statisticsNames.clear();
        s2Tile.clear();
        imageDate.clear();
    }
};

// Why a network cannot classify. Checked in this order; the first defect
// found is reported.
enum class NetworkDefect {
    None,
    TooFewPoints,  // fewer than 2 training points
    NoClass,       // no class
    ClassSizes,    // a class without points, or sizes not adding up to the point count
    Dimension,     // values per point not M x K, or no value at all
    Parameters,    // not three finite parameters, or a negative Kx or Ky
};

// The one check of a network description, shared by everything that
// classifies with it.
NetworkDefect checkNetwork(const NatNetInfo& network);

// A sentence for the user ("" for NetworkDefect::None).
std::string networkDefectText(NetworkDefect defect);

// The bands of a data set that feed a network: for each channel name in
// order, the first band whose code equals it exactly. Names without such a
// band are listed in missing, and give no entry in bands.
struct NetworkBands {
    std::vector<int> bands;
    std::vector<std::string> missing;
};
NetworkBands networkBandIndexes(const NatNetInfo& network, const IO::File& file);

// The fields of a header line that the training-set reader needs too: the
// number of points, the values per point and the class sizes. Nothing when
// one of them is missing, not a count, or negative.
struct NatNetCounts {
    int points = 0;
    int values = 0;
    std::vector<int> classSizes;
};
std::optional<NatNetCounts> readNatNetCounts(const std::vector<std::string>& fields);
