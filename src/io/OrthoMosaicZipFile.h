#pragma once

// An orthophoto raster in Krovak East-North (EPSG:5514) read whole through
// GDAL, usually a GeoTIFF tile inside a zip ("/vsizip/" folder): one band per
// raster band, 8-bit samples. The export window turns such tiles into
// pyramid lot files; the area loader uses an object only for wgs84ToKrovak.
//
// One object may be opened again for another raster: every open makes fresh
// band records, so nothing learnt from one raster (the histogram behind the
// automatic crop) carries over to the next.

#include <string>
#include <vector>

#include "io/File.h"
#include "io/Krovak.h"

namespace IO {

class OrthoMosaicZipFile : public File, public KrovakReferences {
public:
    // Never fails; prints the set-up lines of KrovakReferences.
    OrthoMosaicZipFile();
    ~OrthoMosaicZipFile() override;

    // Opens directory + "/" + name + "." + extension. Errors: CannotOpen when
    // GDAL cannot open the raster; MissingMetadata when it has no
    // geotransform; UnsupportedFormat when it is too large for the working
    // grid (more than INT_MAX pixels). Bands: name from the colour
    // interpretation ("Undefined" read as "Near-infrared"), one level whose
    // path is the raster's path, no data.
    void open(std::string name, std::string extension, std::string directory) override;

    // Reads the whole band into its level (GDAL converts straight into the
    // level's floats) and, unless keepRaw, normalises it with the automatic
    // histogram crop whatever autoCrop says. The band enters loadedBands.
    // Errors: ReadFailed (band index, raster or band not available, failed
    // read, no memory), UnsupportedFormat (sample type other than 8-bit).
    void loadBand(int band, int level, double lowCut, double highCut, bool autoCrop, bool keepRaw) override;

    // Loads several bands as loadBand loads each of them in turn (the same
    // samples, normalisation and log lines, band by band in list order), but
    // reads the raster once for all of them: the bands of a pixel-interleaved
    // raster, the usual orthophoto tile, lie side by side in every block, so
    // reading them one at a time decodes the whole raster once per band. The
    // raster is read a few block rows at a time and GDAL's copies of those
    // blocks are dropped after each read, so the reading holds one small
    // buffer beside the bands. Errors as loadBand; when one is thrown, no
    // listed band has changed.
    void loadBands(const std::vector<int>& list, int level, double lowCut, double highCut, bool keepRaw);

    // KML curves in WGS84 through the two transformations; "locTile"
    // 123456789. See loadKmlCurves / saveKmlCurves for the errors.
    void loadCurves(std::string fileName, std::string extension, std::vector<std::vector<Point2D>>& curves,
                    std::vector<std::string>& names) override;
    void saveCurves(std::string fileName, std::string extension, const std::vector<std::vector<Point2D>>& curves,
                    const std::vector<std::string>& names, const std::vector<std::string>& codes,
                    const std::vector<std::string>& segmentationTypes,
                    const std::vector<std::vector<double>>& segmentationParams) override;

    // A window of the loaded level (see File::readLoadedRegion): ReadFailed
    // for a band that is not loaded; parts outside the grid read as 0.
    void readRegion(int band, int level, int x, int y, int width, int height, int outWidth, int outHeight,
                    std::vector<double>& out) override;

    // WGS84 longitude and latitude (note the order) to Krovak X and Y.
    // Non-zero on success; 0 with NaN outputs when there is no transformation
    // or the point cannot be transformed.
    int wgs84ToKrovak(double lon, double lat, double* x, double* y);

    // Absolute pixel sizes in metres. (The fields pixelSizeX / pixelSizeY
    // keep the geotransform's signs.)
    double absPixelSizeX() const;
    double absPixelSizeY() const;
    // The raster's pixel width, absPixelSizeX (orthophoto tiles have square
    // pixels).
    double groundPixelSize() const override;

    // The raster's grid in Krovak metres, north-up with absolute pixel sizes.
    KrovakGrid grid() const;

    // Geotransform of the opened raster; the largest double until opened.
    double originX;      // element 0: Krovak X of the upper-left corner
    double originY;      // element 3: Krovak Y of the upper-left corner
    double pixelSizeX;   // element 1
    double pixelSizeY;   // element 5, negative for a north-up raster
    double rotationX;    // element 2
    double rotationY;    // element 4
    std::string projectionWkt;  // the raster's projection text
};

} // namespace IO
