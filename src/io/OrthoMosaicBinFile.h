#pragma once

// The program's own orthophoto pyramid as a data set: a mosaic of lots of
// 2500 m x 2000 m in Krovak East-North (EPSG:5514), each lot one file of the
// OrthoMosaicBinFormat at four resolutions. The mosaic is read at one level
// chosen by its lot count, so a large area stays a bounded raster; its three
// bands are "Red", "Green" and "Blue".
//
// An area is opened from a rectangle in Krovak metres through the map index
// "orthomosaicMap.ini" (openRegion); a single lot can be opened by name
// (open). Lots without a file of their own are read from the no-data lot
// "_noData.bin" of the lot folder, which comes with the data.
//
// Map index, one record per line, fields separated by ";" (white space is
// ignored anywhere in a line, empty lines are skipped):
//   first line:  grid rows; grid columns
//   every other: sheet name; grid row; grid column; Krovak X; Krovak Y
// (X, Y) is the upper-left corner of a 25000 m x 20000 m sheet; grid row 0 is
// the northernmost, column 0 the westernmost. A sheet holds 10 x 10 lots;
// lot (c, r) of sheet S is named "S_c-r", with the column c running from 9 at
// the west edge to 0 at the east edge and the row r from 0 at the north edge
// to 9 at the south edge.

#include <cstdint>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "io/File.h"
#include "io/Krovak.h"

namespace IO {

class OrthoMosaicBinFile : public File, public KrovakReferences {
public:
    // One entry of the map-sheet grid. A grid entry no line of the map index
    // fills is a hole: empty name, x = y = -1.
    struct MapSheet {
        std::string name;
        double x = -1.0;  // Krovak X of the upper-left corner
        double y = -1.0;  // Krovak Y of the upper-left corner
    };

    // Ground of one map sheet and its lots, in metres.
    static constexpr double sheetSpanX = 25000.0;
    static constexpr double sheetSpanY = 20000.0;
    static constexpr int lotsPerSheetSide = 10;
    static constexpr const char* mapIndexFileName = "orthomosaicMap.ini";
    static constexpr const char* noDataLotName = "_noData";
    // Largest grid the map index may declare (rows times columns).
    static constexpr long long maxGridEntries = 1000000;

    // Never fails; prints the set-up lines of KrovakReferences, prefixed
    // "OMBinFile: ".
    OrthoMosaicBinFile();
    // Prints "OMBinFile: desctructor".
    ~OrthoMosaicBinFile() override;

    // Opens the mosaic of the lots covering the rectangle with upper-left
    // corner (x1, y1) (smallest X, largest Y) and lower-right corner (x2, y2)
    // in Krovak metres; lot files in directory, the map index in the
    // process's working directory. Data set name "Orthomosaic", extension
    // "bin". Prints the lot names and the chosen size and pixel size.
    // Errors:
    //   OutsideMap         no map index, an empty grid, the rectangle on no
    //                      sheet row or column, no selected lot on a named
    //                      sheet, no selected lot with a file of its own
    //   MetadataCorrupted  a malformed map index (see readMapIndex), or a
    //                      lot header whose origin is not finite
    //   UnsupportedFormat  a lot header without the magic, or a mosaic of
    //                      more than INT_MAX pixels
    //   FileCorrupted      a lot file shorter than its header
    //   CannotOpen         a lot file that exists but cannot be read
    void openRegion(double x1, double y1, double x2, double y2, std::string directory) override;

    // Opens the single lot directory + "/" + name + ".bin" at level 0 (the
    // extension is stored, not used). Errors: CannotOpen when the lot has
    // no file (the no-data lot does not stand in for it here) or cannot be
    // read; the header errors of openRegion.
    void open(std::string name, std::string extension, std::string directory) override;

    // Reads the band's plane of every lot at the chosen level into the
    // band's level, then, unless keepRaw, normalises it with the automatic
    // histogram crop whatever autoCrop says. Only that plane is read. A lot
    // without a file is read from "_noData.bin"; a lot that ends early leaves
    // the pixels it could not supply at 0 and prints one warning line. The
    // band enters loadedBands. Errors: ReadFailed for a band or level index
    // out of range or no memory; CannotOpen when a lot (or the no-data lot
    // standing in for it) cannot be opened; UnsupportedFormat for a lot
    // without the magic; FileCorrupted for one shorter than its header.
    void loadBand(int band, int level, double lowCut, double highCut, bool autoCrop, bool keepRaw) override;

    // KML curves in WGS84 through the two transformations; "locTile"
    // 123456789. See loadKmlCurves / saveKmlCurves for the errors.
    void loadCurves(std::string fileName, std::string extension, std::vector<std::vector<Point2D>>& curves,
                    std::vector<std::string>& names) override;
    void saveCurves(std::string fileName, std::string extension, const std::vector<std::vector<Point2D>>& curves,
                    const std::vector<std::string>& names, const std::vector<std::string>& codes,
                    const std::vector<std::string>& segmentationTypes,
                    const std::vector<std::vector<double>>& segmentationParams) override;

    // A window of the loaded level (see File::readLoadedRegion): ReadFailed
    // for a band that is not loaded; parts outside the mosaic read as 0.
    void readRegion(int band, int level, int x, int y, int width, int height, int outWidth, int outHeight,
                    std::vector<double>& out) override;

    // Steps of openRegion, public so each can be driven on its own.
    //
    // readMapIndex: fills gridRows, gridCols and the named sheets (the grid
    // is believed only as far as its lines name sheets: a size line alone
    // costs nothing). A missing file
    // changes nothing (prints the path looked up; findSheets then fails with
    // OutsideMap). MetadataCorrupted for a malformed number, a first line
    // with fewer than two fields or a sheet line with fewer than five, a
    // negative grid or one of more than maxGridEntries entries, a sheet row
    // or column outside the grid, or a non-finite corner.
    void readMapIndex(std::string path);
    // Sets the corner-sheet indexes; OutsideMap for an unread or empty grid
    // or a rectangle on no sheet row or no sheet column.
    void findSheets(double x1, double y1, double x2, double y2);
    // Sets lotNames, lotRows, lotCols and lotCount (runs findSheets first
    // when it has not run). OutsideMap when no selected lot lies on a named
    // sheet or a corner sheet lies on a hole whose row or column has no
    // named sheet to take its position from; UnsupportedFormat for a
    // selection too large for a mosaic of INT_MAX pixels.
    void selectLots(double x1, double y1, double x2, double y2);
    // lotPaths from directory and lotNames.
    void buildLotPaths();
    // Level, lot size, plane offsets, pixel sizes and the data set's size
    // from lotCount; UnsupportedFormat above INT_MAX pixels.
    void choosePyramidLevel();
    // The origin from the first lot in mosaic order with a file of its own.
    void readLotHeader();
    // The three bands "Red", "Green", "Blue" with one level each.
    void createBands();
    // Opens the files of lot row `row` for binary reading, one stream per
    // lot from west to east; a lot without a file gets "_noData.bin". False
    // (no stream left open) when any cannot be opened.
    bool openLotRow(std::vector<std::ifstream>& streams, int row);

    // The level chosen for a mosaic of that many lots: 1 lot level 0, up to
    // 4 level 1, up to 16 level 2, more level 3.
    static int levelForLotCount(int lotCount);

    // Absolute pixel sizes in metres. (The field pixelSizeY is negative.)
    double absPixelSizeX() const;
    double absPixelSizeY() const;
    // The chosen level's pixel size: 0.2, 0.4, 0.8 or 1.6 m.
    double groundPixelSize() const override;
    // The mosaic's grid in Krovak metres. At level 3 a lot's 1563 columns
    // overrun its 2500 m by 0.8 m; the grid places every lot at its own
    // 2500 m position and gives each lot's last column the 0.8 m it covers.
    // At levels 0 to 2 the lots tile exactly and the grid is uniform.
    KrovakGrid grid() const;

    // Krovak X and Y of the mosaic's upper-left corner.
    double originX;
    double originY;
    double rotationX;
    double rotationY;
    // Pixel size of the chosen level; pixelSizeY negative (-0.2 ... -1.6).
    double pixelSizeX;
    double pixelSizeY;
    // Map-sheet indexes of the rectangle's corners; -1 until found.
    int firstSheetRow = -1;
    int firstSheetCol = -1;
    int lastSheetRow = -1;
    int lastSheetCol = -1;
    // The sheets the map index lists, by (row, column); every other cell
    // of the gridRows x gridCols grid is a hole.
    std::map<std::pair<int, int>, MapSheet> sheets;
    // The sheet at a cell of the grid; a hole (empty name, corner -1, -1)
    // where the index lists none.
    const MapSheet& sheetAt(int row, int col) const;
    int gridCols = -1;
    int gridRows = -1;
    // Lots of the mosaic, row-major from north-west to south-east.
    std::vector<std::string> lotNames;
    std::vector<std::string> lotPaths;
    int lotCount = -1;
    int lotRows = -1;
    int lotCols = -1;
    int pyramidLevel = 0;
    // File offsets of the chosen level's planes.
    std::int64_t redOffset;
    std::int64_t greenOffset;
    std::int64_t blueOffset;
    // Size of one lot in pixels at the chosen level.
    int lotWidth;
    int lotHeight;
};

} // namespace IO
