#pragma once

// A georeferenced raster in a UTM projection read through GDAL, such as the
// relevancy maps the program writes as GeoTIFF. Each raster band is a band of
// the data set; the working grid is the raster's own pixel grid.

#include <string>
#include <vector>

#include "io/File.h"

namespace IO {

class OrthoMosaicTifFile : public File {
public:
    OrthoMosaicTifFile() = default;
    ~OrthoMosaicTifFile() override = default;

    // Errors: CannotOpen when GDAL cannot open the raster; MissingMetadata
    // when it has no geotransform, a rotated or non-square one, a projection
    // that is not UTM, or corners that cannot be converted to latitude and
    // longitude; UnsupportedFormat for a raster too large for the working grid
    // or one whose blocks (strips or tiles) exceed 1 GiB each: any read of it,
    // however small, would cost a whole block.
    void open(std::string name, std::string extension, std::string directory) override;

    // 8-bit and 32-bit float bands. Errors: ReadFailed (band or raster not
    // available, failed read, a level larger than the machine's physical
    // memory or no memory for it), UnsupportedFormat (other sample types).
    // The samples are read straight into the level's array, which is not
    // filled before.
    void loadBand(int band, int level, double lowCut, double highCut, bool autoCrop, bool keepRaw) override;

    void loadCurves(std::string fileName, std::string extension, std::vector<std::vector<Point2D>>& curves,
                    std::vector<std::string>& names) override;
    void saveCurves(std::string fileName, std::string extension, const std::vector<std::vector<Point2D>>& curves,
                    const std::vector<std::string>& names, const std::vector<std::string>& codes,
                    const std::vector<std::string>& segmentationTypes,
                    const std::vector<std::vector<double>>& segmentationParams) override;

    // Raw samples of a window, resampled by GDAL to outWidth x outHeight.
    // Parts of the window outside the raster read as 0. Error ReadFailed when
    // the raster cannot be opened or read, or its sample type is neither
    // 8-bit nor 32-bit float.
    void readRegion(int band, int level, int x, int y, int width, int height, int outWidth, int outHeight,
                    std::vector<double>& out) override;

    // Empty text for a pixel the projection cannot convert.
    std::string positionText(double x, double y) override;
    std::string latLonText(double x, double y) override;
    bool containsLatLon(double lat, double lon) override;
    // NaN pixel for a point that cannot be converted into the raster's zone.
    void latLonToPixel(double lat, double lon, double* x, double* y) override;
    void utmOrigin(double* easting, double* northing, std::vector<double>& zone) override;
    // The raster's pixel size (its pixels are square).
    double groundPixelSize() const override { return pixelSize; }

    // UTM metres of a pixel position (origin plus pixelSize steps, y down).
    double pixelEasting(double x) const { return originX + pixelSize * x; }
    double pixelNorthing(double y) const { return originY - pixelSize * y; }
    // Latitude and longitude of a pixel; false when the UTM conversion
    // rejects the position.
    bool pixelLatLon(double x, double y, double& lat, double& lon) const;

    double originX = 0.0;
    double originY = 0.0;
    int northernHemisphere = 0;
    int utmZone = 0;
    double upperLeftLat = 0.0;
    double upperLeftLon = 0.0;
    double lowerRightLat = 0.0;
    double lowerRightLon = 0.0;
    double pixelSize = 0.0;
};

} // namespace IO
