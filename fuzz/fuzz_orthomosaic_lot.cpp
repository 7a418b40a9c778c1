// The header of an orthophoto pyramid lot, as opening a single lot reads it.

#include <cmath>

#include "FuzzSupport.h"
#include "io/OrthoMosaicBinFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzSupport::quiet();
    FuzzSupport::writeInput("XY59_3-4.bin", data, size);
    IO::OrthoMosaicBinFile lot;
    try {
        lot.open("XY59_3-4", "bin", FuzzSupport::scratchFolder());
    } catch (const IO::File::error&) {
        return 0;
    }
    FuzzSupport::require(lot.bands.size() == 3, "a lot has three bands");
    FuzzSupport::require(std::isfinite(lot.originX) && std::isfinite(lot.originY), "a lot lies somewhere");
    return 0;
}
