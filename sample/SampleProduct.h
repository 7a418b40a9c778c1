#pragma once

// Writer of synthetic Sentinel-2 products, Level-2A or Level-1C.
//
// A product is a zip archive with the folder layout of a real one
// ("<name>.SAFE/GRANULE/L2A_<tile>_.../IMG_DATA/R10m|R20m|R60m/", "QI_DATA/";
// a Level-1C product has every band in "GRANULE/L1C_<tile>_.../IMG_DATA/")
// whose rasters are lossless JPEG 2000 codestreams georeferenced through a
// GMLJP2 box only, as delivered products carry it. Every sample follows a
// formula of this header, so readers can be checked against exact values.
// The same writer makes the damaged variants the error paths need.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace Sample {

// What is wrong with a written product.
enum class Flaw {
    None,
    MasksOnly,            // the only rasters are detector-footprint and quality masks
    NotAZip,              // random bytes in a file named like a product
    RandomBytesRaster,    // the B03 10 m entry holds random bytes
    NoGeoreference,       // no raster carries a georeference
    Geographic,           // every raster is in EPSG:4326 (degrees, not UTM)
    TruncatedCodestream,  // the B04 10 m codestream is cut short
    NoRecognisedBand,     // only rasters whose names carry no band code (and TCI, PVI)
    SignedBand,           // an extra B05 band at 20 m stored as signed 16-bit samples
};

// The processing level: which bands a product carries and how it is laid out.
//   L2A: B02, B03, B04, B08 at 10 m; B02, B11, B12, B8A and the scene
//        classification (SCL) at 20 m; B01, B02 at 60 m; the cloud map
//        (CLD) in the quality folder.
//   L1C: each of B01..B12 and B8A once, at its own resolution (B02, B03, B04,
//        B08 at 10 m; B05, B06, B07, B8A, B11, B12 at 20 m; B01, B09, B10 at
//        60 m), file names without a resolution; no SCL and no cloud map.
// A band of the same code and resolution holds the same samples at both
// levels. Flaws apply to Level-2A products only.
enum class Level {
    L2A,
    L1C,
};

// What the visible bands show.
enum class Scene {
    Gradient,  // a smooth ramp per band with four bits of texture (reflectance())
    Shapes,    // bright discs and a rectangle on a darker textured ground (sceneReflectance())
};

struct ProductSpec {
    int size = 120;                 // working grid in 10 m pixels, a multiple of 6, at least 12
    int epsg = 32633;               // UTM projection of the rasters
    int originEasting = 500000;     // upper-left corner
    int originNorthing = 5400000;
    std::string tileId = "T33UXP";
    std::string sensingTime = "20230601T095031";
    std::string extension = "zip";  // the file name's suffix (the archive is a zip whatever it says)
    bool withB11 = true;
    bool withB12 = true;
    bool withPreview = true;
    Flaw flaw = Flaw::None;
    int threads = 1;                // rasters encoded at the same time
    int blockSize = 1024;           // side of the rasters' JPEG 2000 tiles (GDAL's blocks)
    Scene scene = Scene::Gradient;  // what B02, B03 and B04 show (the other bands always follow reflectance())
    Level level = Level::L2A;       // a Level-1C product takes no flaw
};

// The shapes of Scene::Shapes in working-grid pixels of a product of the given
// size: discs by centre and radius, the rectangle by its corners (the
// interior is x0 <= x < x1, y0 <= y < y1). A pixel is inside a disc when the
// distance of its centre (x + 0.5, y + 0.5) to the disc's centre is below the
// radius.
struct SceneDisc {
    double centerX = 0.0;
    double centerY = 0.0;
    double radius = 0.0;
};
struct SceneRectangle {
    int x0 = 0;
    int y0 = 0;
    int x1 = 0;
    int y1 = 0;
};
std::vector<SceneDisc> sceneDiscs(int size);
SceneRectangle sceneRectangle(int size);
// Reflectance of B02, B03 and B04 in Scene::Shapes at pixel (x, y) of a raster
// of scale x 10 m in a product of the given working size: kSceneBright plus
// texture inside a shape, kSceneGround plus texture outside, 0 in the no-data
// corner. The texture adds 0..kSceneTexture.
constexpr int kSceneBright = 3000;
constexpr int kSceneGround = 800;
constexpr int kSceneTexture = 63;
std::uint16_t sceneReflectance(const std::string& code, int x, int y, int scale, int size);

// Working-grid pixels of the upper-left square where every band is 0 (no data).
constexpr int kNoDataCorner = 12;

// A one-line text naming every field of the description that shapes the
// written product: equal texts, equal archives from the same writer. (threads
// only sets how many rasters are encoded at once; the bytes do not depend on
// it.)
std::string productKey(const ProductSpec& product);

// The version of this writer: a fingerprint of its sources, taken by the
// build, and the GDAL release that encodes the rasters. Products kept between
// runs are keyed by it with productKey().
std::string writerFingerprint();

// File name of the product without its suffix:
// "S2A_MSIL2A_<sensing time>_N0509_R079_<tile>_20230601T121212" ("MSIL1C" at
// Level-1C).
std::string productName(const ProductSpec& spec);

// Writes the product into folder (created when missing) and returns the
// archive's path. Throws std::runtime_error or std::invalid_argument (also for
// a Level-1C product with a flaw); a failed write leaves no file behind.
std::filesystem::path writeProduct(const std::filesystem::path& folder, const ProductSpec& spec = {});

// Sample formulas, at pixel (x, y) of a raster whose pixel is scale x 10 m.
// Reflectance bands ("B01".."B12", "B8A"): unsigned 16-bit, 0 in the no-data corner.
std::uint16_t reflectance(const std::string& code, int x, int y, int scale);
// Scene classification (SCL, 8-bit classes 0..11; 0 = no data in the corner).
std::uint8_t sceneClass(int x, int y, int scale);
// Cloud probability (MSK_CLDPRB, 8-bit percent).
std::uint8_t cloudProbability(int x, int y, int scale);
// Signed 16-bit samples of the SignedBand flaw's B05.
std::int16_t signedSample(int x, int y);
// Preview image (PVI): channel 0..2 at its own pixel.
std::uint8_t previewValue(int channel, int x, int y);
// Size in pixels and pixel size in metres of the preview image of a product
// of the given working size (343 px of 320 m for a full 10980 px tile).
int previewSize(int size);
int previewPixelSize(int size);

} // namespace Sample
