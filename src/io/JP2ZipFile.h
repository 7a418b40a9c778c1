#pragma once

// Sentinel-2 product delivered as a zip archive of JPEG 2000 rasters, read
// straight from the archive through GDAL's "/vsizip/" file system.
//
// Opening reads the archive directory and the raster headers only: the band
// table, the 10 m working grid and the UTM georeference. Pixels are read band
// by band (loadBand) or window by window (readRegion). Six normalised
// difference index bands are computed from pairs of bands on demand.
//
// Window reads keep the rasters they use open until the data set goes, so
// repeated windows come from GDAL's block cache instead of a new decode. A
// window read may run on one thread while another thread reads windows or
// loads a band: each open raster is used by one thread at a time. Opening and
// destroying the data set must not overlap any read.

#include <list>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "io/File.h"

namespace IO {

namespace Gdal {
class DatasetCache;
}

class JP2ZipFile : public File {
public:
    // A band code found in the archive with every file that carries it
    // (raster path, pixel size in metres), in listing order.
    struct BandSource {
        BandSource(std::string code, std::string description);

        std::string code;
        std::string description;
        std::list<std::pair<std::string, double>> files;
    };

    JP2ZipFile();
    ~JP2ZipFile() override;

    // Throws error 1 (extension not "zip"), 2 (no band file in the archive;
    // more entries, band rasters or raster tiles than any real product holds;
    // a raster of more tiles or components than a real one; an archive whose
    // records of its entries disagree; a raster whose pixel size is not
    // positive and finite; a band at another resolution than 10, 20 or 60 m;
    // a working grid larger than a real tile, 10980 x 10980; a band whose
    // size disagrees with the grid at its resolution by more than one of its
    // pixels), 3 (a raster cannot be opened) or 4 (no usable UTM
    // georeference). Counts are read before the archive is listed or a
    // raster opened, sizes from the raster headers before any pixel is read.
    void open(std::string name, std::string extension, std::string directory) override;

    // Loads a band onto the working grid, normalised to [0, 1]; error 6 when
    // its raster cannot be read. The band stays in loadedBands even then. An
    // index band is (a - b) / (a + b) of the raw samples of its sources (0
    // where a + b is 0), mapped from its own minimum and maximum to [0, 1];
    // the cuts do not apply to it, and the levels of its sources are neither
    // read nor changed.
    void loadBand(int band, int level, double lowCut, double highCut, bool autoCrop, bool keepRaw) override;
    // Fills the three preview planes (width x height; 0 takes the stored
    // size) from the product's preview image; a preview that declares far
    // more pixels than a product's preview has is not read. Never throws.
    void loadPreview(int width, int height) override;
    // Raw samples of a window (band pixels for an image band, working-grid
    // pixels for an index band) at outWidth x outHeight, nearest neighbour.
    // An index window equals the same window of a whole-grid read: each
    // source gives working pixel (X, Y) its own pixel (X / scale, Y / scale).
    // Parts of the window outside the raster read as 0. Error 6 when the
    // raster cannot be read or its sample type is neither 8-bit nor unsigned
    // 16-bit; out is then sized and zero.
    void readRegion(int band, int level, int x, int y, int width, int height, int outWidth, int outHeight,
                    std::vector<double>& out) override;

    // Same tile: equal UTM origin. False for a data set of another class.
    bool sameGeolocation(const File* other) const override;
    // Conversions never throw: a point GeographicLib cannot convert (far
    // outside the zone, latitude beyond +-90) gives NaN coordinates or an
    // empty text.
    std::string positionText(double x, double y) override;
    std::string latLonText(double x, double y) override;
    void pixelToLatLon(double x, double y, double* lat, double* lon) override;
    bool containsLatLon(double lat, double lon) override;
    void latLonToPixel(double lat, double lon, double* x, double* y) override;
    void utmOrigin(double* easting, double* northing, std::vector<double>& zone) override;
    void utmToPixel(double easting, double northing, std::vector<double> zone, int* x, int* y) override;
    // The 10 m of the working grid.
    double groundPixelSize() const override { return pixelSize; }

    // KML curve files in longitude and latitude ("kml" in any letter case);
    // the "locTile" value is the product's name. See io/KmlCurves.h.
    void loadCurves(std::string fileName, std::string extension, std::vector<std::vector<Point2D>>& curves,
                    std::vector<std::string>& names) override;
    void saveCurves(std::string fileName, std::string extension, const std::vector<std::vector<Point2D>>& curves,
                    const std::vector<std::string>& names, const std::vector<std::string>& codes,
                    const std::vector<std::string>& segmentationTypes,
                    const std::vector<std::vector<double>>& segmentationParams) override;
    // A width x height window of float values whose pixel (0, 0) is working-
    // grid pixel (x, y), as a GeoTIFF in the product's UTM zone. Error 1 for
    // an extension other than "tif"; others as IO::writeUtmGeoTiff.
    void exportGeoTiff(std::string fileName, std::string extension, std::vector<float> values, int x, int y,
                       int width, int height) override;
    // Working-grid pixels as "latitude,longitude" lines; errors as
    // IO::writeLatLonPoints.
    void exportPoints(std::string fileName, const std::vector<std::vector<int>>& points) override;

    // The two readers behind loadBand. loadIndexBand reads level 0 of both
    // sources at the same time, each on a thread and a dataset of its own; a
    // failure leaves level without new data.
    void readBandLevel(BandLevel& level, double lowCut, double highCut, bool autoCrop, bool keepRaw);
    void loadIndexBand(BandLevel& level, const std::vector<int>& sourceBands, double lowCut, double highCut);
    // The two branches of readRegion.
    void readLevelRegion(const BandLevel& level, int x, int y, int width, int height, int outWidth,
                         int outHeight, std::vector<double>& out);
    void readIndexRegion(const Band& band, int level, int x, int y, int width, int height, int outWidth,
                         int outHeight, std::vector<double>& out);

    // Band code of a raster inside a product ("B04", "CLD", "TCI"), empty for
    // a file that carries none. Only the file name's own tokens after the
    // tile id count, so folder names and the tile id never decide the band.
    std::string bandCodeOf(const std::string& entryPath) const;

    // Raster of the first band: its projection and grid origin are those of
    // the whole product. Empty before open.
    std::string firstBandPath() const;

    std::map<std::string, std::string> bandDescriptions;
    std::map<std::string, std::string> indexNames;
    std::map<std::string, BandSource> bandSources;
    std::map<std::string, std::vector<std::string>> indexSources;
    int originEasting = 0;
    int originNorthing = 0;
    int northernHemisphere = 0;
    int utmZone = 0;
    double upperLeftLat = 0.0;
    double upperLeftLon = 0.0;
    double lowerRightLat = 0.0;
    double lowerRightLon = 0.0;
    double pixelSize = 10.0;

protected:
    // UTM metres of this data set's zone to latitude and longitude; false
    // (outputs NaN) when GeographicLib rejects the point.
    bool utmToLatLon(double easting, double northing, double* lat, double* lon) const noexcept;
    // Whole UTM metres of a working-grid pixel (truncated toward zero); false
    // for a pixel whose metres are not finite.
    bool pixelToUtm(double x, double y, double* easting, double* northing) const noexcept;

private:
    void openProduct(std::string name, std::string extension, std::string directory);

    // Rasters kept open for window reads, one per path.
    std::unique_ptr<Gdal::DatasetCache> rasters_;
};

} // namespace IO
