#pragma once

// Owning handles for GDAL objects and the process-wide GDAL set-up.
//
// Every dataset, string list, virtual file and coordinate transformation the
// file layer obtains from GDAL is held by one of these handles, so an early
// return or an exception can never leak one or leave a dataset open.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <cpl_string.h>
#include <cpl_vsi.h>
#include <gdal_priv.h>
#include <ogr_spatialref.h>

namespace IO::Gdal {

// Registers every GDAL driver. Safe to call from any thread, any number of
// times: the registration itself runs once per process.
void registerDrivers();

// Lets PROJ find a "proj.db" kept in the given folder (the program's working
// directory) before its installed one. The installed search paths stay behind
// it, and nothing changes when the folder holds no "proj.db": replacing the
// search path would leave every EPSG code of the process unresolved.
void preferProjDatabaseIn(const std::string& folder);

struct DatasetCloser {
    void operator()(GDALDataset* dataset) const noexcept;
};
using Dataset = std::unique_ptr<GDALDataset, DatasetCloser>;

// The drivers of the formats the program reads. Every open names the ones it
// expects, so a file of another format is refused instead of decoded: a
// virtual raster (an XML text GDAL reads as a raster) saved under a ".tif"
// name would read any file the user can read, or fetch an address written in
// it.
inline const std::vector<std::string> geoTiffDrivers{"GTiff"};
inline const std::vector<std::string> jpeg2000Drivers{"JP2OpenJPEG"};

// Whether GDAL reads path from the local file system: an absolute path, or
// "/vsizip/" followed by one (a file inside a local zip archive). GDAL's
// other virtual file systems are not, the network ones ("/vsicurl/",
// "/vsis3/", ...) and archives reached through them ("/vsizip//vsicurl/...")
// among them, nor names a driver reads in a syntax of its own
// ("GTIFF_DIR:1:..."). A folder at the root whose name starts with "vsi"
// reads as one of GDAL's file systems too.
bool isLocalPath(const std::string& path);

// Opens a local raster (isLocalPath) read-only with one of allowedDrivers
// (short names, such as geoTiffDrivers); null when it cannot be opened, and
// for any other path, a path that is no regular file (a named pipe would
// keep the open waiting for good) or an empty list.
Dataset openRaster(const std::string& path, const std::vector<std::string>& allowedDrivers);

// Largest block (strip or tile) a raster may have. GDAL reads a raster block
// by block and makes each whole before it reads into it, so even a window of
// a few pixels costs a whole block: a header that declares one enormous
// block (a single strip or tile whose data are missing) would allocate and
// clear gigabytes for it. Rasters of this program and of common tools use
// blocks of kilobytes to a few megabytes.
inline constexpr long long maxBlockBytes = 1LL << 30;

// Blocks larger than the raster they tile are common (a 256 x 256 tile over a
// smaller image), but not beyond this many pixels: a header of a few bytes
// that tiles a 12 x 12 raster with tiles of hundreds of millions of pixels
// would have every read make such a tile whole.
inline constexpr long long maxBlockPixelsBeyondRaster = 1LL << 20;

// Whether every band's blocks stay within maxBlockBytes, and within the
// raster's own pixels or maxBlockPixelsBeyondRaster. Interleaved samples
// (INTERLEAVE=PIXEL) are stored, and read, as blocks that hold every band:
// such a block counts as a band's block times the bands.
bool blocksFit(GDALDataset& dataset);

// Least bytes of the file a band takes. Any real GeoTIFF spends far more on
// each band (its entries in the sample tags, its samples however well
// compressed); a header of a few hundred bytes that declares thousands of
// bands describes no data, and every opening would list them all and every
// read of interleaved samples would make a block of all of them whole.
inline constexpr long long minBytesPerBand = 16;

// Whether the bands and blocks a GeoTIFF declares are plausible for the file
// at path that holds it: no more bands than the file has bytes for
// (minBytesPerBand each) and blocks that fit (blocksFit).
bool layoutFitsFile(GDALDataset& dataset, const std::string& path);

// What the JPEG 2000 codestream of a file declares in its header: its tiles
// and the components (bands) of each.
struct Jpeg2000Layout {
    std::uint64_t tiles = 0;
    int components = 0;
};

// The layout of the JPEG 2000 file at path, read from its header (the SIZ
// marker of the first codestream) without decoding it; none when the header
// cannot be read. The decoder sets up every component of every tile when it
// opens the file, kilobytes each, and again on every thread that decodes
// it, and decodes every component of a tile to read any band of it: a
// header of a few bytes that declares tens of thousands of tiles, or
// hundreds of components, costs gigabytes and seconds.
std::optional<Jpeg2000Layout> jpeg2000Layout(const std::string& path);

// The paths inside a local zip archive (isLocalPath), listed recursively
// through GDAL's zip file system; empty when it is not local, no regular
// file or cannot be listed, and when its directory declares more than
// maxEntries entries. The listing costs time in the square of the entries
// (each folder and each entry is looked up through the whole list), minutes
// for a few megabytes of entries, so the count is read before anything is
// listed, from the records GDAL's zip reader takes and where it looks for
// them: its listing stops at that count. An archive whose records GDAL would
// read past the end of the file, or whose zip64 and plain end records
// declare different counts, lists nothing: no archive tool writes either.
std::vector<std::string> listZip(const std::string& zipPath, std::uint64_t maxEntries);

// Display name of a raster band: its colour interpretation ("Red",
// "Green", ...), with "Undefined" read as "Near-infrared" (the fourth band
// of the orthophotos carries no interpretation).
std::string colourBandName(GDALRasterBand* band);

struct StringListDeleter {
    void operator()(char** list) const noexcept { CSLDestroy(list); }
};
// A GDAL string list (char**, null-terminated) freed with CSLDestroy.
using StringList = std::unique_ptr<char*, StringListDeleter>;

// The entries of a string list as std::strings (none for a null list).
std::vector<std::string> toStrings(const StringList& list);

struct VsiFileCloser {
    void operator()(VSILFILE* file) const noexcept
    {
        if (file)
            VSIFCloseL(file);
    }
};
using VsiFile = std::unique_ptr<VSILFILE, VsiFileCloser>;

struct TransformationDeleter {
    void operator()(OGRCoordinateTransformation* transformation) const noexcept
    {
        OGRCoordinateTransformation::DestroyCT(transformation);
    }
};
using CoordinateTransformation = std::unique_ptr<OGRCoordinateTransformation, TransformationDeleter>;

// A file of GDAL's in-memory file system ("/vsimem/..."), removed when the
// object goes. The name is unique in the process.
class MemoryFile {
public:
    explicit MemoryFile(const std::string& suffix);
    ~MemoryFile();
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    const std::string& path() const { return path_; }
    // The file's bytes where GDAL keeps them, valid while the file is
    // neither written nor removed (empty when it does not exist).
    std::string_view contents() const;
    // A copy of the file's bytes (empty when it does not exist).
    std::vector<std::uint8_t> bytes() const;
    // Opens the file as a raster of one of the drivers. The file is the
    // program's own, so the rule that a path be on the local disk does not
    // apply to it; the driver list does.
    Dataset open(const std::vector<std::string>& allowedDrivers) const;

private:
    std::string path_;
};

// Rasters kept open by path for repeated reads, so GDAL's block cache can
// serve a window it has decoded before. A GDAL dataset must not be used by
// two threads at once: each raster has its own lock, held by the lease that
// uses it, while different rasters can be read side by side. A raster that
// cannot be opened is not remembered; the next lease tries again.
class DatasetCache {
    struct Entry;

public:
    explicit DatasetCache(std::vector<std::string> allowedDrivers);
    ~DatasetCache();
    DatasetCache(const DatasetCache&) = delete;
    DatasetCache& operator=(const DatasetCache&) = delete;

    // Exclusive use of one cached raster for as long as the lease lives.
    class Lease {
    public:
        Lease(Lease&& other) noexcept;
        Lease& operator=(Lease&&) = delete;
        ~Lease();

        // False when the raster cannot be opened.
        explicit operator bool() const { return dataset() != nullptr; }
        GDALDataset* operator->() const { return dataset(); }
        GDALDataset* dataset() const;
        // Closes the raster, so the next lease opens it afresh (after a read
        // that failed, the decoder's state is not to be trusted).
        void discard();

    private:
        friend class DatasetCache;
        explicit Lease(Entry& entry);
        Entry* entry_ = nullptr;
    };

    // Waits for the raster's lock and opens it on first use.
    Lease acquire(const std::string& path);
    // Closes every raster. No lease may be alive.
    void clear();

private:
    std::vector<std::string> drivers_;
    std::mutex mutex_;  // guards the map; entries stay where they are until clear
    std::map<std::string, std::unique_ptr<Entry>> entries_;
};

} // namespace IO::Gdal
