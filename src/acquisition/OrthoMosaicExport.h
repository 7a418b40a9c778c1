#pragma once

// The pyramid lot writer of the orthomosaic export: three normalised bands of
// one tile become the bytes of a lot file (IO::OrthoMosaicBinFormat), and
// those bytes go to a temporary file beside the target that replaces it only
// when everything was written.
//
// The writer works on any tile size; the export window uses the lot size of
// the format. Level k of a w x h tile is ceil(w / 2^k) x ceil(h / 2^k), the
// box averages of 2^k x 2^k blocks of the full-resolution bands, the blocks
// past the right or bottom edge completed by mirroring (downsampleRaster).
// Progress lines go to standard output.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "io/OrthoMosaicBinFormat.h"

namespace OrthoMosaicExport {

namespace Format = IO::OrthoMosaicBinFormat;

// Size of one pyramid level of a lot.
struct LevelSize {
    int width = 0;
    int height = 0;
    constexpr std::int64_t planeBytes() const { return static_cast<std::int64_t>(width) * height; }
};

// The pyramid of a tile of width x height pixels.
struct LotShape {
    int width = 0;
    int height = 0;

    constexpr LevelSize level(int k) const
    {
        const int factor = 1 << k;
        return {(width + factor - 1) / factor, (height + factor - 1) / factor};
    }
    // Bytes of the whole lot file: header and every plane.
    constexpr std::int64_t fileSize() const
    {
        std::int64_t size = Format::headerSize;
        for (int k = 0; k < Format::levelCount; ++k)
            size += Format::planeCount * level(k).planeBytes();
        return size;
    }
};

// The tile every lot of the format is made from.
inline constexpr LotShape fullLot{Format::fullWidth, Format::fullHeight};

namespace detail {
constexpr bool sameAsFormat()
{
    for (int k = 0; k < Format::levelCount; ++k) {
        if (fullLot.level(k).width != Format::level(k).width || fullLot.level(k).height != Format::level(k).height)
            return false;
    }
    return fullLot.fileSize() == Format::fileSize;
}
} // namespace detail
static_assert(detail::sameAsFormat(), "the writer's pyramid must be the format's");

// Receives the lot's bytes in file order; false when they could not be
// stored (the writer stops at once).
using ByteSink = std::function<bool(std::string_view bytes)>;

enum class WriteResult {
    Written,
    WriteFailed,  // the sink refused bytes
    OutOfMemory,  // a level's planes or a thread's rows could not be allocated
};

// The 19-byte header: the magic and the upper-left corner (x, y).
bool writeHeader(const ByteSink& sink, double x, double y);

// Levels 0 to 3, each the three planes in band order, one sink call per
// plane. bands are width x height normalised samples (v -> byte v * 255
// rounded half up). Prints the conversion and writing lines.
WriteResult writeLevels(const ByteSink& sink, const std::array<const float*, 3>& bands, LotShape shape);

// A lot file under construction: bytes go to a new temporary file beside the
// target, which commit() flushes to the disk and renames over the target.
// Without a successful commit the temporary file is removed and the target
// is left as it was, so a full disk never leaves a truncated lot behind.
class LotFile {
public:
    explicit LotFile(std::string target);
    ~LotFile();
    LotFile(const LotFile&) = delete;
    LotFile& operator=(const LotFile&) = delete;

    // False when the temporary file could not be created (missing folder,
    // no permission).
    bool isOpen() const { return descriptor_ >= 0; }
    // Appends bytes; false when a write fails (every later write fails too).
    bool write(std::string_view bytes);
    ByteSink sink();
    // Flushes, closes and renames; false when any step (or an earlier write)
    // failed, and the target is then untouched.
    bool commit();

private:
    void discard();

    std::string target_;
    std::string temporary_;
    int descriptor_ = -1;
    bool failed_ = false;
};

} // namespace OrthoMosaicExport
