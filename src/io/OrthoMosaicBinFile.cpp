#include "io/OrthoMosaicBinFile.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <limits>
#include <new>
#include <system_error>

#include "io/KmlCurves.h"
#include "io/NumberText.h"
#include "io/OrthoMosaicBinFormat.h"
#include "io/StringUtils.h"
#include "io/UserFiles.h"

namespace IO {

namespace fs = std::filesystem;
namespace Format = OrthoMosaicBinFormat;

namespace {

constexpr double kUnset = std::numeric_limits<double>::max();
constexpr const char* kLogPrefix = "OMBinFile: ";
// Bytes of a lot plane read at a time: large enough for whole-block reads,
// small enough that every thread's buffer stays a few megabytes.
constexpr std::int64_t kReadChunkBytes = std::int64_t{1} << 17;

// Runs body and turns the foreign exceptions that may leave it into the file
// layer's codes: no memory is ReadFailed, a file system error CannotOpen.
template <typename Body>
void atBoundary(Body&& body)
{
    try {
        body();
    } catch (const File::error&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw File::error::ReadFailed;
    } catch (const fs::filesystem_error&) {
        throw File::error::CannotOpen;
    } catch (const std::exception&) {
        throw File::error::ReadFailed;
    }
}

// True when a regular file exists at path; a file system error other than a
// missing file is CannotOpen.
bool lotFileExists(const std::string& path)
{
    const PathKind kind = pathKind(path);
    if (kind == PathKind::Unknown)
        throw File::error::CannotOpen;
    return kind == PathKind::Regular;
}

// Reads the header of a lot; FileCorrupted when the file is shorter than the
// header, UnsupportedFormat without the magic.
Format::HeaderBytes readHeader(std::istream& in)
{
    Format::HeaderBytes header{};
    in.seekg(0);
    in.read(reinterpret_cast<char*>(header.data()), static_cast<std::streamsize>(header.size()));
    if (in.gcount() != static_cast<std::streamsize>(header.size()))
        throw File::error::FileCorrupted;
    if (!Format::hasMagic(header))
        throw File::error::UnsupportedFormat;
    return header;
}

// A lot index within a sheet (0..9) from a position counted in lots; the
// clamping happens before the conversion, so any distance is safe.
int lotIndex(double lots)
{
    return static_cast<int>(std::clamp(lots, 0.0, 9.0));
}

struct IndexRange {
    int first = 0;  // first index taken (rows increasing, columns decreasing)
    int last = 0;
    long long count = 0;
};

} // namespace

OrthoMosaicBinFile::OrthoMosaicBinFile()
    : KrovakReferences(kLogPrefix)
    , originX(kUnset)
    , originY(kUnset)
    , rotationX(kUnset)
    , rotationY(kUnset)
    , pixelSizeX(kUnset)
    , pixelSizeY(kUnset)
    , redOffset(Format::planeOffset(0, Format::redPlane))
    , greenOffset(Format::planeOffset(0, Format::greenPlane))
    , blueOffset(Format::planeOffset(0, Format::bluePlane))
    , lotWidth(Format::level(0).width)
    , lotHeight(Format::level(0).height)
{
}

OrthoMosaicBinFile::~OrthoMosaicBinFile()
{
    std::cout << kLogPrefix << "desctructor" << std::endl;
}

// ------------------------------------------------------------------ opening

void OrthoMosaicBinFile::openRegion(double x1, double y1, double x2, double y2, std::string directory_)
{
    atBoundary([&] {
        readMapIndex(mapIndexFileName);
        findSheets(x1, y1, x2, y2);
        selectLots(x1, y1, x2, y2);

        std::string listing = std::string(kLogPrefix) + "Loaded small lots:\n";
        for (int r = 0; r < lotRows; ++r) {
            for (int c = 0; c < lotCols; ++c)
                listing += lotNames[static_cast<std::size_t>(r) * lotCols + c] + "\t\t\t";
            listing += '\n';
        }
        std::cout << listing << std::endl;

        File::open("Orthomosaic", "bin", std::move(directory_));
        buildLotPaths();
        choosePyramidLevel();
        std::cout << kLogPrefix << "Data overall resolution: " << width << " x " << height << '\n'
                  << kLogPrefix << "Chosen pixel size: " << formatFixed(absPixelSizeX(), 2) << " m x "
                  << formatFixed(absPixelSizeY(), 2) << " m\n"
                  << std::endl;
        readLotHeader();
        createBands();
    });
}

void OrthoMosaicBinFile::open(std::string name_, std::string extension_, std::string directory_)
{
    atBoundary([&] {
        File::open(std::move(name_), std::move(extension_), std::move(directory_));
        lotNames = {name};
        lotRows = 1;
        lotCols = 1;
        lotCount = 1;
        buildLotPaths();
        choosePyramidLevel();
        // A single lot is opened for its own pixels: the no-data lot does not
        // stand in for a missing one here.
        if (!lotFileExists(lotPaths.front()))
            throw error::CannotOpen;
        readLotHeader();
        createBands();
    });
}

// --------------------------------------------------------------- map index

void OrthoMosaicBinFile::readMapIndex(std::string path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::error_code ec;
        const fs::path shown = fs::absolute(path, ec);
        std::cout << kLogPrefix << "Map index not found: " << (ec ? path : shown.string()) << std::endl;
        return;
    }

    // Parsed into locals and committed only when the whole file is sound.
    long long rows = -1;
    long long cols = -1;
    std::map<std::pair<int, int>, MapSheet> grid;
    std::string line;
    std::vector<std::string> fields;
    bool sizeRead = false;
    for (TextLine read; (read = readBoundedTextLine(in, line)) != TextLine::End;) {
        if (read == TextLine::TooLong)
            throw error::MetadataCorrupted;
        removeWhitespace(line);
        if (line.empty())
            continue;
        splitByChar(fields, line, ';');
        if (!sizeRead) {
            if (fields.size() < 2)
                throw error::MetadataCorrupted;
            const auto r = parseInteger(fields[0]);
            const auto c = parseInteger(fields[1]);
            if (!r || !c || *r < 0 || *c < 0 || *r > maxGridEntries || *c > maxGridEntries
                || *r * *c > maxGridEntries)
                throw error::MetadataCorrupted;
            rows = *r;
            cols = *c;
            sizeRead = true;
            continue;
        }
        if (fields.size() < 5)
            throw error::MetadataCorrupted;
        const auto row = parseInteger(fields[1]);
        const auto col = parseInteger(fields[2]);
        const auto x = parseDouble(fields[3]);
        const auto y = parseDouble(fields[4]);
        if (!row || !col || !x || !y || !std::isfinite(*x) || !std::isfinite(*y))
            throw error::MetadataCorrupted;
        if (*row < 0 || *row >= rows || *col < 0 || *col >= cols)
            throw error::MetadataCorrupted;
        // A sheet name becomes part of lot file names: it must not lead out
        // of the lot folder.
        if (fields[0].find_first_of("/\\") != std::string::npos || fields[0] == "." || fields[0] == "..")
            throw error::MetadataCorrupted;
        grid[{static_cast<int>(*row), static_cast<int>(*col)}] = {fields[0], *x, *y};
    }
    if (in.bad())
        throw error::CannotOpen;
    if (!sizeRead)
        return;  // no grid: findSheets reports the area as outside the map
    gridRows = static_cast<int>(rows);
    gridCols = static_cast<int>(cols);
    sheets = std::move(grid);
}

const OrthoMosaicBinFile::MapSheet& OrthoMosaicBinFile::sheetAt(int row, int col) const
{
    static const MapSheet hole;
    const auto found = sheets.find({row, col});
    return found == sheets.end() ? hole : found->second;
}

void OrthoMosaicBinFile::findSheets(double x1, double y1, double x2, double y2)
{
    if (gridRows < 1 || gridCols < 1)
        throw error::OutsideMap;
    if (!std::isfinite(x1) || !std::isfinite(y1) || !std::isfinite(x2) || !std::isfinite(y2))
        throw error::OutsideMap;

    int firstRow = -1;
    int lastRow = -1;
    int firstCol = -1;
    int lastCol = -1;
    // The named sheets in row-major order; holes hold nothing to compare.
    for (const auto& [cell, sheet] : sheets) {
        if (sheet.name.empty())
            continue;
        const auto [r, c] = cell;
        if (sheet.y - sheetSpanY <= y1 && y1 <= sheet.y)
            firstRow = r;
        if (sheet.y - sheetSpanY <= y2 && y2 <= sheet.y)
            lastRow = r;
        if (sheet.x <= x1 && x1 <= sheet.x + sheetSpanX)
            firstCol = c;
        if (sheet.x <= x2 && x2 <= sheet.x + sheetSpanX)
            lastCol = c;
        if (firstRow >= 0 && lastRow >= 0 && firstCol >= 0 && lastCol >= 0)
            break;
    }
    if ((firstRow < 0 && lastRow < 0) || (firstCol < 0 && lastCol < 0))
        throw error::OutsideMap;
    // A corner beyond the grid takes the grid's edge on its side.
    firstSheetRow = firstRow >= 0 ? firstRow : 0;
    lastSheetRow = lastRow >= 0 ? lastRow : gridRows - 1;
    firstSheetCol = firstCol >= 0 ? firstCol : 0;
    lastSheetCol = lastCol >= 0 ? lastCol : gridCols - 1;
}

void OrthoMosaicBinFile::selectLots(double x1, double y1, double x2, double y2)
{
    if (firstSheetRow == -1)
        findSheets(x1, y1, x2, y2);

    // The corner sheets' positions. A corner sheet may be a hole (a default
    // row or column fell on one): its x is that of a named sheet of its
    // column, its y that of a named sheet of its row.
    // (The first named sheet of a column is the first in row order.)
    auto columnX = [&](int r, int c) {
        if (!sheetAt(r, c).name.empty())
            return sheetAt(r, c).x;
        for (const auto& [cell, sheet] : sheets)
            if (cell.second == c && !sheet.name.empty())
                return sheet.x;
        throw error::OutsideMap;
    };
    auto rowY = [&](int r, int c) {
        if (!sheetAt(r, c).name.empty())
            return sheetAt(r, c).y;
        for (auto it = sheets.lower_bound({r, 0}); it != sheets.end() && it->first.first == r; ++it)
            if (!it->second.name.empty())
                return it->second.y;
        throw error::OutsideMap;
    };
    const double fx = columnX(firstSheetRow, firstSheetCol);
    const double fy = rowY(firstSheetRow, firstSheetCol);
    const double lx = columnX(lastSheetRow, lastSheetCol);
    const double ly = rowY(lastSheetRow, lastSheetCol);

    const double lotX = Format::lotSpanX;
    const double lotY = Format::lotSpanY;
    // Lot rows of each sheet row, north to south, increasing within a sheet.
    std::vector<IndexRange> rowRanges;
    long long rowsTotal = 0;
    for (int r = firstSheetRow; r <= lastSheetRow; ++r) {
        IndexRange range{0, 9, 0};
        if (r == firstSheetRow)
            range.first = y1 > fy ? 0 : lotIndex(std::floor(std::abs(fy - y1) / lotY));
        if (r == lastSheetRow)
            range.last = y2 < ly - sheetSpanY ? 9 : lotIndex(std::floor(std::abs(ly - y2) / lotY));
        range.count = std::max(0, range.last - range.first + 1);
        rowsTotal += range.count;
        rowRanges.push_back(range);
    }
    // Lot columns of each sheet column, west to east, decreasing within a
    // sheet (column 9 is a sheet's westernmost).
    std::vector<IndexRange> colRanges;
    long long colsTotal = 0;
    for (int c = firstSheetCol; c <= lastSheetCol; ++c) {
        IndexRange range{9, 0, 0};
        if (c == firstSheetCol)
            range.first = x1 < fx ? 9 : lotIndex(9.0 - std::floor(std::abs(x1 - fx) / lotX));
        if (c == lastSheetCol)
            range.last = x2 > lx + sheetSpanX ? 0 : lotIndex(9.0 - std::floor(std::abs(x2 - lx) / lotX));
        range.count = std::max(0, range.first - range.last + 1);
        colsTotal += range.count;
        colRanges.push_back(range);
    }

    bool anyNamed = false;
    for (std::size_t i = 0; i < rowRanges.size() && !anyNamed; ++i)
        for (std::size_t j = 0; j < colRanges.size() && !anyNamed; ++j)
            anyNamed = rowRanges[i].count > 0 && colRanges[j].count > 0
                && !sheetAt(firstSheetRow + static_cast<int>(i), firstSheetCol + static_cast<int>(j)).name.empty();
    if (!anyNamed)
        throw error::OutsideMap;

    // Refuse a selection whose mosaic would not fit the working grid before
    // a single name is made: a rectangle over a whole country would
    // otherwise list millions of lots.
    const long long count = rowsTotal * colsTotal;
    if (count > INT_MAX)
        throw error::UnsupportedFormat;
    const Format::Level& level = Format::level(levelForLotCount(static_cast<int>(count)));
    if (colsTotal * level.width * rowsTotal * level.height > INT_MAX)
        throw error::UnsupportedFormat;

    std::vector<std::string> names;
    names.reserve(static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < rowRanges.size(); ++i) {
        const IndexRange& rows = rowRanges[i];
        for (int lotRow = rows.first; lotRow <= rows.last; ++lotRow) {
            for (std::size_t j = 0; j < colRanges.size(); ++j) {
                const IndexRange& cols = colRanges[j];
                const MapSheet& sheet = sheetAt(firstSheetRow + static_cast<int>(i), firstSheetCol + static_cast<int>(j));
                for (int lotCol = cols.first; lotCol >= cols.last; --lotCol) {
                    if (sheet.name.empty())
                        names.emplace_back(noDataLotName);
                    else
                        names.push_back(sheet.name + "_" + std::to_string(lotCol) + "-" + std::to_string(lotRow));
                }
            }
        }
    }
    lotNames = std::move(names);
    lotRows = static_cast<int>(rowsTotal);
    lotCols = static_cast<int>(colsTotal);
    lotCount = static_cast<int>(count);
}

// --------------------------------------------------------------- lots

void OrthoMosaicBinFile::buildLotPaths()
{
    lotPaths.clear();
    lotPaths.reserve(lotNames.size());
    for (const std::string& lot : lotNames)
        lotPaths.push_back(directory + "/" + lot + ".bin");
}

int OrthoMosaicBinFile::levelForLotCount(int count)
{
    if (count <= 1)
        return 0;
    if (count <= 4)
        return 1;
    if (count <= 16)
        return 2;
    return 3;
}

void OrthoMosaicBinFile::choosePyramidLevel()
{
    if (lotCount < 1 || lotRows < 1 || lotCols < 1
        || static_cast<long long>(lotRows) * lotCols != lotCount
        || lotNames.size() != static_cast<std::size_t>(lotCount))
        throw error::OutsideMap;
    pyramidLevel = levelForLotCount(lotCount);
    const Format::Level& level = Format::level(pyramidLevel);
    // The pixel count is an int everywhere downstream: refuse a mosaic
    // beyond it before anything is allocated for it.
    const long long mosaicWidth = static_cast<long long>(lotCols) * level.width;
    const long long mosaicHeight = static_cast<long long>(lotRows) * level.height;
    if (mosaicWidth * mosaicHeight > INT_MAX)
        throw error::UnsupportedFormat;

    lotWidth = level.width;
    lotHeight = level.height;
    redOffset = level.planeOffset(Format::redPlane);
    greenOffset = level.planeOffset(Format::greenPlane);
    blueOffset = level.planeOffset(Format::bluePlane);
    pixelSizeX = level.pixelSize;
    pixelSizeY = -level.pixelSize;
    width = static_cast<int>(mosaicWidth);
    height = static_cast<int>(mosaicHeight);
    pixelCount = width * height;
}

void OrthoMosaicBinFile::readLotHeader()
{
    // The origin comes from a lot that has its own file: the no-data lot's
    // header says nothing about where the mosaic lies. A lot at mosaic
    // column c and row r starts c lots east and r lots south of the origin.
    for (int i = 0; i < lotCount; ++i) {
        const std::string& path = lotPaths[static_cast<std::size_t>(i)];
        if ((lotCount > 1 && lotNames[static_cast<std::size_t>(i)] == noDataLotName) || !lotFileExists(path))
            continue;
        std::ifstream in(path, std::ios::binary);
        if (!in)
            throw error::CannotOpen;
        const Format::HeaderBytes header = readHeader(in);
        const double x = Format::headerX(header);
        const double y = Format::headerY(header);
        if (!std::isfinite(x) || !std::isfinite(y))
            throw error::MetadataCorrupted;
        originX = x - (i % lotCols) * Format::lotSpanX;
        originY = y + (i / lotCols) * Format::lotSpanY;
        rotationX = 0.0;
        rotationY = 0.0;
        return;
    }
    throw error::OutsideMap;
}

void OrthoMosaicBinFile::createBands()
{
    std::vector<Band> list;
    for (const char* bandName : {"Red", "Green", "Blue"}) {
        Band band(bandName);
        BandLevel level(std::string("/binaryData_channel_") + bandName[0]);
        level.name = level.path;
        band.levels.push_back(std::move(level));
        list.push_back(std::move(band));
    }
    unloadBandsExcept({});
    bands = std::move(list);
    loadedBands.clear();
}

bool OrthoMosaicBinFile::openLotRow(std::vector<std::ifstream>& streams, int row)
{
    streams.clear();
    if (row < 0 || row >= lotRows)
        return false;
    streams.resize(static_cast<std::size_t>(lotCols));
    const std::string noData = directory + "/" + noDataLotName + ".bin";
    for (int k = 0; k < lotCols; ++k) {
        const std::string& own = lotPaths[static_cast<std::size_t>(row) * lotCols + k];
        std::ifstream& stream = streams[static_cast<std::size_t>(k)];
        bool exists = false;
        try {
            exists = lotFileExists(own);
        } catch (const error&) {
            streams.clear();
            return false;
        }
        stream.open(exists ? own : noData, std::ios::binary);
        if (!stream) {
            streams.clear();
            return false;
        }
    }
    return true;
}

// ------------------------------------------------------------------ bands

void OrthoMosaicBinFile::loadBand(int band, int level, double lowCut, double highCut, bool, bool keepRaw)
{
    atBoundary([&] {
        BandLevel& target = bandLevel(band, level);
        if (band < 0 || band >= Format::planeCount || pixelCount <= 0 || lotCount < 1)
            throw error::ReadFailed;
        const std::int64_t offsets[Format::planeCount] = {redOffset, greenOffset, blueOffset};
        const std::int64_t planeOffset = offsets[band];

        // Rows go straight into the level's floats: the only full-size buffer.
        std::unique_ptr<float[]> samples = BandLevel::allocateSamples(pixelCount);
        const std::int64_t lotBytes = static_cast<std::int64_t>(lotWidth) * lotHeight;
        const int chunkRows = static_cast<int>(std::clamp<std::int64_t>(kReadChunkBytes / lotWidth, 1, lotHeight));
        const std::size_t rowLength = static_cast<std::size_t>(width);

        std::vector<std::string> shortLots;
        std::vector<std::ifstream> streams;
        for (int lotRow = 0; lotRow < lotRows; ++lotRow) {
            if (!openLotRow(streams, lotRow))
                throw error::CannotOpen;
            for (std::ifstream& stream : streams)
                readHeader(stream);

            // Each lot of the row is read by one thread through its own
            // stream, a chunk of plane rows at a time.
            std::vector<std::int64_t> received(static_cast<std::size_t>(lotCols), 0);
            int failed = 0;
#pragma omp parallel
            {
                std::vector<std::uint8_t> buffer;
                try {
                    buffer.resize(static_cast<std::size_t>(chunkRows) * lotWidth);
                } catch (const std::bad_alloc&) {
#pragma omp atomic write
                    failed = 1;
                }
#pragma omp for schedule(dynamic)
                for (int k = 0; k < lotCols; ++k) {
                    if (buffer.empty())
                        continue;
                    std::ifstream& stream = streams[static_cast<std::size_t>(k)];
                    stream.clear();
                    stream.seekg(planeOffset);
                    std::int64_t got = 0;
                    for (int r0 = 0; r0 < lotHeight; r0 += chunkRows) {
                        const int rows = std::min(chunkRows, lotHeight - r0);
                        const std::int64_t want = static_cast<std::int64_t>(rows) * lotWidth;
                        std::int64_t have = 0;
                        if (stream) {
                            stream.read(reinterpret_cast<char*>(buffer.data()), static_cast<std::streamsize>(want));
                            have = stream.gcount();
                        }
                        got += have;
                        // Bytes a short lot could not supply read as 0.
                        std::fill(buffer.begin() + have, buffer.begin() + want, std::uint8_t{0});
                        for (int r = 0; r < rows; ++r) {
                            const std::size_t mosaicRow = static_cast<std::size_t>(lotRow) * lotHeight + r0 + r;
                            float* out = samples.get() + mosaicRow * rowLength + static_cast<std::size_t>(k) * lotWidth;
                            const std::uint8_t* in = buffer.data() + static_cast<std::size_t>(r) * lotWidth;
                            for (int i = 0; i < lotWidth; ++i)
                                out[i] = static_cast<float>(in[i]);
                        }
                    }
                    received[static_cast<std::size_t>(k)] = got;
                }
            }
            streams.clear();
            if (failed)
                throw error::ReadFailed;
            for (int k = 0; k < lotCols; ++k)
                if (received[static_cast<std::size_t>(k)] < lotBytes)
                    shortLots.push_back(lotPaths[static_cast<std::size_t>(lotRow) * lotCols + k]);
        }
        for (const std::string& path : shortLots)
            std::cout << kLogPrefix << "Lot file ends early, its missing pixels read as 0: " << path << std::endl;

        target.adoptData(std::move(samples), pixelCount, false, 0.0, 255.0);
        loadedBands.insert(band);
        // The automatic crop is always on for orthophotos, as for the
        // orthophoto rasters they are made from.
        if (!keepRaw)
            target.normalize(lowCut, highCut, true);
    });
}

void OrthoMosaicBinFile::readRegion(int band, int level, int x, int y, int regionWidth, int regionHeight,
                                    int outWidth, int outHeight, std::vector<double>& out)
{
    readLoadedRegion(band, level, x, y, regionWidth, regionHeight, outWidth, outHeight, out);
}

// ------------------------------------------------------------------ curves

void OrthoMosaicBinFile::loadCurves(std::string fileName, std::string extension,
                                    std::vector<std::vector<Point2D>>& curves, std::vector<std::string>& names)
{
    loadKmlCurves(fileName, extension, KrovakKmlConverter(*this, grid()), curves, names);
}

void OrthoMosaicBinFile::saveCurves(std::string fileName, std::string extension,
                                    const std::vector<std::vector<Point2D>>& curves,
                                    const std::vector<std::string>& names, const std::vector<std::string>& codes,
                                    const std::vector<std::string>& segmentationTypes,
                                    const std::vector<std::vector<double>>& segmentationParams)
{
    saveKmlCurves(fileName, extension, curves, names, codes, segmentationTypes, segmentationParams,
                  kmlGenericLocTile, KrovakKmlConverter(*this, grid()));
}

double OrthoMosaicBinFile::absPixelSizeX() const
{
    return std::abs(pixelSizeX);
}

double OrthoMosaicBinFile::absPixelSizeY() const
{
    return std::abs(pixelSizeY);
}

double OrthoMosaicBinFile::groundPixelSize() const
{
    return absPixelSizeX();
}

KrovakGrid OrthoMosaicBinFile::grid() const
{
    KrovakGrid result{originX, originY, absPixelSizeX(), absPixelSizeY()};
    // Lot k of a mosaic row starts at column k * lotWidth. Where the level's
    // pixels do not tile a lot exactly (level 3: 1563 columns of 1.6 m for
    // 2500 m), each lot is placed at its own position, so no lot drifts
    // from the ones before it.
    if (pyramidLevel >= 0 && pyramidLevel < Format::levelCount) {
        const Format::Level& level = Format::level(pyramidLevel);
        if (level.width * level.factor != Format::fullWidth) {
            result.lotColumns = level.width;
            result.lotSpanX = Format::lotSpanX;
        }
        if (level.height * level.factor != Format::fullHeight) {
            result.lotRows = level.height;
            result.lotSpanY = Format::lotSpanY;
        }
    }
    return result;
}

} // namespace IO
