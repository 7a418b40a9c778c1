#pragma once

// Base class of every opened image data set.

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "io/Band.h"
#include "io/Curve.h"

namespace IO {

class File {
public:
    // The file layer's error code, thrown by value and returned by the
    // loading tasks.
    enum class error : int {
        NoError = 0,
        UnsupportedFormat = 1,
        FileCorrupted = 2,
        CannotOpen = 3,
        MissingMetadata = 4,
        MetadataCorrupted = 5,
        ReadFailed = 6,
        OutsideMap = 7,
    };

    File();
    virtual ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    virtual void openRegion(double x1, double y1, double x2, double y2, std::string directory);
    virtual void open(std::string name, std::string extension, std::string directory);
    // How copyTo treats a destination that exists already: Replace puts the
    // source over it (a save the user confirmed); OverOlderOnly replaces
    // only a file older than the source and counts any other as not copied.
    enum class CopyMode { Replace, OverOlderOnly };
    virtual bool copyTo(std::string destination, CopyMode mode = CopyMode::Replace);
    virtual void loadBand(int band, int level, double lowCut, double highCut, bool autoCrop, bool keepRaw);
    virtual void loadPreview(int width, int height);
    virtual void loadCurves(std::string fileName, std::string extension,
                            std::vector<std::vector<Point2D>>& curves, std::vector<std::string>& names);
    virtual void saveCurves(std::string fileName, std::string extension,
                            const std::vector<std::vector<Point2D>>& curves,
                            const std::vector<std::string>& names, const std::vector<std::string>& codes,
                            const std::vector<std::string>& segmentationTypes,
                            const std::vector<std::vector<double>>& segmentationParams);
    virtual void exportGeoTiff(std::string fileName, std::string extension, std::vector<float> values,
                               int x, int y, int width, int height);
    virtual void exportPoints(std::string fileName, const std::vector<std::vector<int>>& points);
    virtual bool sameGeolocation(const File* other) const;
    virtual void readRegion(int band, int level, int x, int y, int width, int height, int outWidth,
                            int outHeight, std::vector<double>& out);
    virtual std::string positionText(double x, double y);
    virtual std::string latLonText(double x, double y);
    virtual void pixelToLatLon(double x, double y, double* lat, double* lon);
    virtual bool containsLatLon(double lat, double lon);
    virtual void latLonToPixel(double lat, double lon, double* x, double* y);
    virtual void utmOrigin(double* easting, double* northing, std::vector<double>& zone);
    virtual void utmToPixel(double easting, double northing, std::vector<double> zone, int* x, int* y);
    // Ground size of one working-grid pixel in metres, the edge of a square
    // pixel: what turns pixel lengths and areas into metres and square
    // metres. The 10 m of the Sentinel-2 working grid for a data set that
    // knows no other (defaultGroundPixelSize); an orthophoto's own pixel size
    // once it is opened.
    virtual double groundPixelSize() const;
    static constexpr double defaultGroundPixelSize = 10.0;

    // Reads one window of several bands onto the working grid: out gets one
    // list of width x height values (row-major) per band of the list, for the
    // window whose top-left working-grid pixel is (x, y). A band of scale s
    // gives working pixel (X, Y) its own pixel (X / s, Y / s) (integer
    // division, as a whole-band load does): the band pixels under the window
    // are read at the band's resolution and each is repeated over the
    // working pixels it covers. A derived band is read directly, as readRegion
    // addresses it in working-grid pixels.
    // False for an empty band list, a window without pixels, a band index out
    // of range, a scale below 1 or a read that throws (the lists read before
    // stay filled); no message is written.
    bool readChannels(int level, std::vector<int> bands, int width, int height, int x, int y,
                      std::vector<std::vector<double>>& out);

    // True when that band level holds pixel data; false for indices out of
    // range (stored indices come from settings files and can be stale).
    bool isLoaded(int band, int level) const;
    // Releases every band that is not both kept and loaded.
    void unloadBandsExcept(std::set<int> keep);
    // Display name of a band; empty for an index out of range.
    std::string bandName(int band) const;
    // Origin of a side's working window; std::out_of_range for a side other
    // than 0 or 1.
    int getWorkAreaX(int side) const;
    int getWorkAreaY(int side) const;
    void setWorkAreaX(int viewer, int x);
    void setWorkAreaY(int viewer, int y);
    void setDataType(std::string text);

    std::string name;
    std::string extension;
    std::string dataType;
    std::string directory;
    int width = 0;
    int height = 0;
    int pixelCount = 0;
    std::vector<Band> bands;
    std::set<int> loadedBands;
    // Side of the preview image every data set keeps, in pixels.
    static constexpr int defaultPreviewSize = 343;
    std::vector<std::vector<std::uint8_t>> preview;
    int previewWidth = defaultPreviewSize;
    int previewHeight = defaultPreviewSize;
    int workAreaWidth = 0;
    int workAreaHeight = 0;
    std::vector<int> workAreaX{0, 0};
    std::vector<int> workAreaY{0, 0};

protected:
    // The level of a band, or error ReadFailed when either index is out of
    // range. Readers call it before touching a band.
    BandLevel& bandLevel(int band, int level);

    // readRegion of a data set whose bands are read whole into memory: copies
    // a window of the loaded level into out, outWidth x outHeight values
    // (row-major), each output pixel taking the grid pixel under its centre
    // (a plain copy when the sizes match). Parts of the window outside the
    // grid read as 0. ReadFailed, out all zeros, for an index out of range, a
    // level that holds no data or an empty window.
    void readLoadedRegion(int band, int level, int x, int y, int regionWidth, int regionHeight, int outWidth,
                          int outHeight, std::vector<double>& out);
};

} // namespace IO
