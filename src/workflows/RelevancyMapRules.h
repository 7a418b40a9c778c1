#pragma once

// The rules of relevancy-map work that need no window: where a created map's
// square lies, the text layout of maps that are combined, and the random
// pixels drawn from a map's black, white and gray parts.

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "workflows/RelevancyMap.h"

namespace RelevancyMaps {

// Where the classified square of a new map lies. The requested side is
// rounded to a multiple of 6 (unless it equals the working-area width); one
// larger than the working area is cut to the largest multiple of 6 that
// fits. A working area at the data set's edge is moved 12 pixels inward,
// then kept inside the data by the viewers' working-area rule; the square
// sits in the middle of the working area, and it and its 12-pixel margin lie
// inside the data set.
struct CreationPlan {
    bool fits = false;  // false: the square and its margin do not fit into the data
    int side = 0;       // side s of the square
    int areaX = 0;      // the working-area origin to use
    int areaY = 0;
    int x0 = 0;         // top-left pixel of the square
    int y0 = 0;
};
CreationPlan planCreation(int requested, int areaWidth, int areaHeight, int areaX, int areaY, int dataWidth,
                          int dataHeight);

// A text relevancy map: line 1 "P2", line 2 "<width> <height>", line 3 "1",
// then one value per line, row-major. Reading skips lines 1 and 3 and empty
// value lines.
struct TextMapHeader {
    int width = 0;
    int height = 0;
};
// The width and height of line 2 ("<w> <h>"); false when the line is missing
// or does not hold two whole numbers of at least 1.
bool parseTextMapSize(const std::string& line, TextMapHeader& header);
// The most values a text map of that many bytes can hold: a value takes at
// least one character and, but for the last, a line break.
std::uintmax_t textMapCapacity(std::uintmax_t bytes);
// The whole text of a map in that layout, numbers in the shortest form that
// reads back the same.
std::string formatTextMap(int width, int height, const std::vector<float>& values);

// The logistic step of a combined value: 1 / (1 + e^((1 - v - 0.5) x 12)).
double combinedRelevancy(double value);

// Parts of a map by pixel value: black below 0.002, white above 0.999, gray
// otherwise except exactly 0.5 (the fill outside a created map's square);
// NaN is gray.
enum class MapPart { Black, White, Gray, None };
MapPart mapPartOf(double value);

// Pixels of the data set's grid, (x, y) each.
using PointList = std::vector<std::vector<int>>;
struct RandomPoints {
    PointList black;
    PointList white;
    PointList gray;
};
// Up to count pixels of each part of the map, drawn without repetition: the
// pixel indexes of each part are shuffled with the one engine (black, then
// white, then gray) and the first count taken.
RandomPoints pickRandomPoints(const UI::RelevancyMap& map, int count, std::mt19937& engine);
// The seed of a run: the low 32 bits of the system time in 100 ns ticks.
std::uint32_t timeSeed();

} // namespace RelevancyMaps
