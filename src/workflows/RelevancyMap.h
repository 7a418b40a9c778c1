#pragma once

// One relevancy map of a data set: per-pixel class relevancy over a window of
// the data set's pixel grid. A plain value record, copied freely.

#include <string>
#include <vector>

namespace UI {

class RelevancyMap {
public:
    void setName(std::string text) { name = std::move(text); }
    void setNetworkName(std::string text) { networkName = std::move(text); }

    // width * height values, row-major: data-set pixel (x + i, y + j) is
    // values[j * width + i].
    std::vector<float> values;
    // x + width / 2 and y + height / 2, fixed when the map is made.
    int centreX = 0;
    int centreY = 0;
    std::string name;
    // File name of the network that computed the map, or
    // "Loaded relevancy map" for a map read from a file.
    std::string networkName;
    int x = 0;  // top-left pixel of the map in the data set's grid
    int y = 0;
    int width = 0;
    int height = 0;
};

} // namespace UI
