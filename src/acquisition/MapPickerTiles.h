#pragma once

// The areas and the Sentinel-2 tiles of the local archive browser's map
// picker. One table serves the program (hover test, tile names, outlines) and
// the tool that draws the area pictures at build time, so a picture can never
// disagree with the positions the program tests against.
//
// Plain C++ on purpose: the picture generator compiles this file too.

#include <array>

// One area of the picker: an item of the area combo box and its pictures.
struct MapPickerArea {
    const char* name;         // combo box text
    const char* initialImage; // picture name, resource ":/map/maps/<name>.jpg"
    int firstTile;            // tile numbers of the area, inclusive
    int lastTile;
};

struct MapPickerPoint {
    double x;
    double y;
};

// One tile of the map: where it lies on its area's pictures.
struct MapPickerTile {
    int number;        // 1 to 92; 0 stands for "no tile" elsewhere
    int area;          // index into mapPickerAreas()
    const char* image; // hover picture name, resource ":/map/maps/<name>.jpg"
    // Hover rectangle in picture pixels, every bound inclusive.
    int xFrom;
    int xTo;
    int yFrom;
    int yTo;
    const char* name; // tile name without the leading "T"
    int pointCount;   // 4, or 5 where the picture's edge cuts a corner off
    std::array<MapPickerPoint, 5> outline; // picture pixels, in drawing order
};

namespace MapPicker {

// Every picture of the picker has this size.
inline constexpr int pictureWidth = 1354;
inline constexpr int pictureHeight = 878;
inline constexpr int areaCount = 5;
inline constexpr int tileCount = 92;

const std::array<MapPickerArea, areaCount>& areas();
// Ordered by number: tiles()[n - 1] is tile n.
const std::array<MapPickerTile, tileCount>& tiles();

// The tile of that number; null outside 1 to tileCount.
const MapPickerTile* tile(int number);

// The first tile of the area, by ascending number, whose hover rectangle
// holds the point; 0 when none does or the area index is out of range.
// Neighbouring rectangles overlap in narrow strips: the lower number wins.
int tileAt(int area, int x, int y);

} // namespace MapPicker
