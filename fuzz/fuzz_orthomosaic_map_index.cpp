// The orthophoto map index and the lot selection over it: the rectangle
// spans the first and the last sheet the index names, and a smaller one lies
// inside the first.

#include <climits>
#include <cmath>

#include "FuzzSupport.h"
#include "io/OrthoMosaicBinFile.h"

namespace {

using Sheet = IO::OrthoMosaicBinFile::MapSheet;

void select(const std::string& indexPath, double x1, double y1, double x2, double y2)
{
    IO::OrthoMosaicBinFile mosaic;
    try {
        mosaic.readMapIndex(indexPath);
        mosaic.findSheets(x1, y1, x2, y2);
        mosaic.selectLots(x1, y1, x2, y2);
        mosaic.directory = FuzzSupport::scratchFolder();
        mosaic.buildLotPaths();
        mosaic.choosePyramidLevel();
    } catch (const IO::File::error&) {
        return;
    }
    FuzzSupport::require(mosaic.lotCount >= 1 && static_cast<long long>(mosaic.lotRows) * mosaic.lotCols
                                                     == mosaic.lotCount,
                         "the lots fill a rectangle");
    FuzzSupport::require(mosaic.lotNames.size() == static_cast<std::size_t>(mosaic.lotCount)
                             && mosaic.lotPaths.size() == mosaic.lotNames.size(),
                         "one name and path per lot");
    FuzzSupport::require(static_cast<long long>(mosaic.width) * mosaic.height <= INT_MAX,
                         "the mosaic's pixels are counted in an int");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzSupport::quiet();
    const std::string path = FuzzSupport::writeInput("orthomosaicMap.ini", data, size);

    IO::OrthoMosaicBinFile index;
    try {
        index.readMapIndex(path);
    } catch (const IO::File::error&) {
        return 0;
    }
    const Sheet* first = nullptr;
    const Sheet* last = nullptr;
    for (const auto& [cell, sheet] : index.sheets)
        if (!sheet.name.empty()) {
            first = first ? first : &sheet;
            last = &sheet;
        }
    if (!first)
        return 0;
    using Mosaic = IO::OrthoMosaicBinFile;
    select(path, first->x + 100.0, first->y - 100.0, last->x + Mosaic::sheetSpanX - 100.0,
           last->y - Mosaic::sheetSpanY + 100.0);
    select(path, first->x + 3000.0, first->y - 2500.0, first->x + 7000.0, first->y - 6500.0);
    return 0;
}
