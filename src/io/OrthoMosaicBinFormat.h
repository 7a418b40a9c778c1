#pragma once

// The orthophoto pyramid lot file, byte for byte, for its writer (the export
// window) and its reader (IO::OrthoMosaicBinFile).
//
// One lot covers 2500 m x 2000 m of Krovak East-North (EPSG:5514) ground at
// four resolutions. Little-endian, no padding, no trailer:
//
//   offset  size  content
//   0       3     "IST"
//   3       8     double: Krovak X of the lot's upper-left corner (metres)
//   11      8     double: Krovak Y of the lot's upper-left corner
//   19      ...   level 0, 1, 2, 3; each level three planes (red, green,
//                 blue) of width x height bytes, row-major, north row first
//
// A level k is the full-resolution lot box-averaged by 2^k. Its size is
// rounded up, so level 3 is 1563 columns wide: 12500 is not a multiple of 8.
// Its last column holds the lot's last four full-resolution columns, 0.8 m
// of ground, and the next lot starts 2500 m east, not 2500.8 m.
// Readers take every size and offset from the table below, never from a
// file, so a corrupt lot cannot make them read outside a plane.

#include <array>
#include <bit>
#include <cstdint>
#include <string_view>

namespace IO::OrthoMosaicBinFormat {

inline constexpr std::string_view magic = "IST";
inline constexpr std::int64_t originXOffset = 3;
inline constexpr std::int64_t originYOffset = 11;
inline constexpr std::int64_t headerSize = 19;

inline constexpr int levelCount = 4;
// Planes of a level in file order; band index b of a data set is plane b.
inline constexpr int planeCount = 3;
inline constexpr int redPlane = 0;
inline constexpr int greenPlane = 1;
inline constexpr int bluePlane = 2;

// Ground covered by one lot, in metres.
inline constexpr double lotSpanX = 2500.0;
inline constexpr double lotSpanY = 2000.0;
// Full-resolution lot size and pixel size.
inline constexpr int fullWidth = 12500;
inline constexpr int fullHeight = 10000;
inline constexpr double fullPixelSize = 0.2;

// One pyramid level of a lot.
struct Level {
    int factor;                 // downsampling factor against level 0 (1, 2, 4, 8)
    int width;                  // pixels per plane row
    int height;                 // plane rows
    double pixelSize;           // metres per pixel
    std::int64_t planeBytes;    // width * height
    std::int64_t firstPlane;    // file offset of the red plane

    // File offset of plane 0 (red), 1 (green) or 2 (blue).
    constexpr std::int64_t planeOffset(int plane) const { return firstPlane + plane * planeBytes; }
    constexpr std::int64_t end() const { return firstPlane + planeCount * planeBytes; }
};

namespace detail {

constexpr std::array<Level, levelCount> makeLevels()
{
    std::array<Level, levelCount> table{};
    std::int64_t offset = headerSize;
    for (int k = 0; k < levelCount; ++k) {
        const int factor = 1 << k;
        Level& level = table[static_cast<std::size_t>(k)];
        level.factor = factor;
        level.width = (fullWidth + factor - 1) / factor;
        level.height = (fullHeight + factor - 1) / factor;
        level.pixelSize = fullPixelSize * factor;
        level.planeBytes = static_cast<std::int64_t>(level.width) * level.height;
        level.firstPlane = offset;
        offset = level.end();
    }
    return table;
}

} // namespace detail

inline constexpr std::array<Level, levelCount> levels = detail::makeLevels();

// Size of a complete lot file.
inline constexpr std::int64_t fileSize = levels[levelCount - 1].end();

constexpr const Level& level(int k)
{
    return levels[static_cast<std::size_t>(k)];
}

constexpr std::int64_t planeOffset(int levelIndex, int plane)
{
    return level(levelIndex).planeOffset(plane);
}

static_assert(level(0).width == 12500 && level(0).height == 10000);
static_assert(level(1).width == 6250 && level(1).height == 5000);
static_assert(level(2).width == 3125 && level(2).height == 2500);
static_assert(level(3).width == 1563 && level(3).height == 1250);
static_assert(planeOffset(0, 0) == 19 && planeOffset(0, 1) == 125000019 && planeOffset(0, 2) == 250000019);
static_assert(planeOffset(1, 0) == 375000019 && planeOffset(1, 1) == 406250019 && planeOffset(1, 2) == 437500019);
static_assert(planeOffset(2, 0) == 468750019 && planeOffset(2, 1) == 476562519 && planeOffset(2, 2) == 484375019);
static_assert(planeOffset(3, 0) == 492187519 && planeOffset(3, 1) == 494141269 && planeOffset(3, 2) == 496095019);
static_assert(fileSize == 498048769);

// The header as stored, and its decoding. The doubles are stored
// little-endian whatever the host's byte order.
using HeaderBytes = std::array<unsigned char, headerSize>;

constexpr void storeDouble(unsigned char* out, double value)
{
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
    for (int i = 0; i < 8; ++i)
        out[i] = static_cast<unsigned char>(bits >> (8 * i));
}

constexpr double loadDouble(const unsigned char* in)
{
    std::uint64_t bits = 0;
    for (int i = 0; i < 8; ++i)
        bits |= static_cast<std::uint64_t>(in[i]) << (8 * i);
    return std::bit_cast<double>(bits);
}

constexpr HeaderBytes encodeHeader(double x, double y)
{
    HeaderBytes bytes{};
    for (std::size_t i = 0; i < magic.size(); ++i)
        bytes[i] = static_cast<unsigned char>(magic[i]);
    storeDouble(bytes.data() + originXOffset, x);
    storeDouble(bytes.data() + originYOffset, y);
    return bytes;
}

constexpr bool hasMagic(const HeaderBytes& bytes)
{
    for (std::size_t i = 0; i < magic.size(); ++i)
        if (bytes[i] != static_cast<unsigned char>(magic[i]))
            return false;
    return true;
}

constexpr double headerX(const HeaderBytes& bytes)
{
    return loadDouble(bytes.data() + originXOffset);
}

constexpr double headerY(const HeaderBytes& bytes)
{
    return loadDouble(bytes.data() + originYOffset);
}

static_assert(headerX(encodeHeader(-741817.5, -1044492.25)) == -741817.5);
static_assert(headerY(encodeHeader(-741817.5, -1044492.25)) == -1044492.25);

// A normalised sample in [0, 1] as a plane byte: v * 255 rounded half up,
// so 0.5 gives 128. Values outside [0, 1] (and NaN) are limited to the range.
constexpr std::uint8_t planeByte(float v)
{
    const float scaled = v * 255.0f + 0.5f;
    if (!(scaled >= 0.0f))
        return 0;
    if (scaled >= 255.0f)
        return 255;
    return static_cast<std::uint8_t>(scaled);
}

static_assert(planeByte(0.5f) == 128 && planeByte(1.0f) == 255 && planeByte(0.0f) == 0);

} // namespace IO::OrthoMosaicBinFormat
