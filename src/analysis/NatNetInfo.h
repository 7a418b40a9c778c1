#pragma once

// Description of one trained network, as given by the header line of its
// natNet file. A plain value: copying copies every member.
//
// First version: the record and clear(). Reading the header (readHeader)
// comes with the natNet file reader.

#include <string>
#include <vector>

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
