#pragma once

// KML curve files: curve sets stored in WGS84 longitude and latitude, so that a
// curve drawn on one data set can be loaded onto another data set of the same
// ground and opened in other mapping tools.
//
// The document layout and the reader are the same for every data set class;
// a class contributes only its conversion between working-grid pixels and
// longitude/latitude (a KmlConverter) and its "locTile" text. Its
// loadCurves/saveCurves overrides call loadKmlCurves/saveKmlCurves.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "io/Curve.h"

namespace IO {

class File;

// Conversion between a data set's working-grid pixels and WGS84 degrees.
// Sentinel-2 and GeoTIFF data sets convert through UTM; the Krovak orthophoto
// data sets through their coordinate transformations. A converter reports a
// point it cannot convert instead of inventing a position for it.
class KmlConverter {
public:
    virtual ~KmlConverter() = default;

    // Working-grid pixel to longitude and latitude. False when the point has
    // no position (no transformation, outside the projection's range).
    virtual bool pixelToLonLat(double x, double y, double& lon, double& lat) const = 0;

    // Longitude and latitude to a fractional working-grid pixel. False when
    // the point cannot be placed on the data set's grid.
    virtual bool lonLatToPixel(double lon, double lat, double& x, double& y) const = 0;
};

// Converter through a data set's own coordinate slots (pixelToLatLon and
// latLonToPixel). A slot that leaves its outputs untouched, gives a value
// that is not finite or throws counts as a failed conversion.
class FileKmlConverter : public KmlConverter {
public:
    explicit FileKmlConverter(File& file)
        : file_(file)
    {
    }

    bool pixelToLonLat(double x, double y, double& lon, double& lat) const override;
    bool lonLatToPixel(double lon, double lat, double& x, double& y) const override;

protected:
    File& file_;
};

// Curves read from a KML document: one point list per coordinates element in
// document order and exactly one name per list.
struct KmlCurves {
    std::vector<std::vector<Point2D>> curves;
    std::vector<std::string> names;
};

// "kml" in any letter case: the curve database lists "*.kml" without regard
// to case, so files named "AREA.KML" reach the loaders too.
bool isKmlExtension(std::string_view extension);

// The document text for the curves. Entry i of every list belongs to curve i;
// a list shorter than curves gives the defaults of a new curve (empty name,
// "unknown" code and type, no parameters). Throws File::error MissingMetadata
// when a point cannot be converted: a file with made-up positions is worse
// than none.
std::string kmlDocument(const std::vector<std::vector<Point2D>>& curves, const std::vector<std::string>& names,
                        const std::vector<std::string>& codes, const std::vector<std::string>& segmentationTypes,
                        const std::vector<std::vector<double>>& segmentationParams, std::string_view locTile,
                        const KmlConverter& converter);

// What the names of a document's curves may take beyond the document's own
// size. Every further curve of a placemark repeats its name ("name_1",
// "name_2" ...), so a long name over many rings would make names of many
// times the file; real files stay far below the file's size.
inline constexpr std::size_t kmlNameAllowance = std::size_t{1} << 20;

// The most curves a curve file may hold. Each becomes a row of the curves
// explorer with a check box of its own, all made again at every rebuild of
// the tree: at this many, loading, showing and closing stay within seconds.
// Real curve files hold a few to a few hundred curves.
inline constexpr std::size_t maxKmlCurves = 10000;

// The most bytes a curve file may have: 64 MiB, some 1.6 million points
// as the writer writes them, far beyond any real curve file. The reader
// takes the whole document into memory; a larger file is refused by its
// size before it is read.
inline constexpr std::uintmax_t maxKmlFileBytes = std::uintmax_t{64} << 20;

// The coordinates elements of a document (each is one curve), counted
// without reading them. Throws File::error FileCorrupted for markup that is
// never closed.
std::size_t kmlCurveCount(std::string_view text);

// Reads the curves of a document. fallbackName names curves that follow no
// named placemark (fallbackName "_" index). Throws File::error FileCorrupted
// for a coordinate tuple that is not longitude,latitude[,altitude] numbers,
// an element that is never closed, more than maxKmlCurves curves, or names
// that together would take more than the document's size and
// kmlNameAllowance bytes. Points the converter cannot place are skipped.
KmlCurves parseKmlDocument(std::string_view text, const KmlConverter& converter, std::string_view fallbackName);

// The bodies of the loadCurves / saveCurves slots.
//
// loadKmlCurves: error UnsupportedFormat for another extension (file not
// touched), CannotOpen when the path is no regular file (or link to one) or
// cannot be read, FileCorrupted for a file of more than maxKmlFileBytes
// (refused unread) or of more than maxKmlCurves curves (refused before any
// is built; the count goes to the log) and as above; appends to curves and
// names only when the whole file was read.
//
// saveKmlCurves: error UnsupportedFormat for another extension,
// MissingMetadata when a point cannot be converted (no file written),
// CannotOpen when the file cannot be written. The document goes to a
// temporary file that replaces fileName only once complete, so a failure
// leaves any previous file intact and no partial one.
void loadKmlCurves(const std::string& fileName, std::string_view extension, const KmlConverter& converter,
                   std::vector<std::vector<Point2D>>& curves, std::vector<std::string>& names);
void saveKmlCurves(const std::string& fileName, std::string_view extension,
                   const std::vector<std::vector<Point2D>>& curves, const std::vector<std::string>& names,
                   const std::vector<std::string>& codes, const std::vector<std::string>& segmentationTypes,
                   const std::vector<std::vector<double>>& segmentationParams, std::string_view locTile,
                   const KmlConverter& converter);

// The "locTile" text of the orthophoto and GeoTIFF data sets, which have no
// tile name of their own.
inline constexpr std::string_view kmlGenericLocTile = "123456789";

} // namespace IO
