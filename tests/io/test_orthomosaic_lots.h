#pragma once

// Pyramid lot fixtures made at test time: lot files are sparse (the full
// size, bytes only where a test reads them) or header-only, and the map index
// is a text written where the test wants it.
//
// The test map places sheet (row, column) with its upper-left corner at
// X = sheetX(column), Y = sheetY(row); within a sheet, lot (c, r) has its
// upper-left corner at lotX(column, c), lotY(row, r), c counting from 9 at
// the sheet's west edge.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "io/NumberText.h"
#include "io/OrthoMosaicBinFormat.h"

namespace OrthoLots {

namespace Format = IO::OrthoMosaicBinFormat;

inline constexpr double kX0 = -760000.0;
inline constexpr double kY0 = -1040000.0;

inline double sheetX(int column)
{
    return kX0 + 25000.0 * column;
}
inline double sheetY(int row)
{
    return kY0 - 20000.0 * row;
}
inline double lotX(int sheetColumn, int c)
{
    return sheetX(sheetColumn) + (9 - c) * 2500.0;
}
inline double lotY(int sheetRow, int r)
{
    return sheetY(sheetRow) - r * 2000.0;
}

inline std::string lotPath(const std::filesystem::path& dir, const std::string& name)
{
    return (dir / (name + ".bin")).string();
}

// A lot file of the given size holding only its header (the rest reads as 0).
inline void writeLot(const std::string& path, double x, double y, std::int64_t size = Format::fileSize)
{
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        const Format::HeaderBytes header = Format::encodeHeader(x, y);
        out.write(reinterpret_cast<const char*>(header.data()),
                  static_cast<std::streamsize>(std::min<std::int64_t>(size, Format::headerSize)));
        ASSERT_TRUE(out.good()) << path;
    }
    std::filesystem::resize_file(path, static_cast<std::uintmax_t>(size));
}

// Raw bytes at an offset of an existing file.
inline void writeBytes(const std::string& path, std::int64_t offset, const std::string& bytes)
{
    std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
    ASSERT_TRUE(out.is_open()) << path;
    out.seekp(offset);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
}

// Fills one row of a plane of a level with a value.
inline void fillPlaneRow(const std::string& path, int level, int plane, int row, std::uint8_t value)
{
    const Format::Level& l = Format::level(level);
    writeBytes(path, l.planeOffset(plane) + static_cast<std::int64_t>(row) * l.width,
               std::string(static_cast<std::size_t>(l.width), static_cast<char>(value)));
}

inline void writeText(const std::filesystem::path& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    ASSERT_TRUE(out.good()) << path;
}

// The test map: two rows of three sheets, the south-east one a hole.
//   A B C
//   D E .
inline std::string twoByThreeMapIndex()
{
    auto line = [](const char* name, int row, int column) {
        return std::string(name) + ";" + std::to_string(row) + ";" + std::to_string(column) + ";"
            + IO::formatNumber(sheetX(column)) + ";" + IO::formatNumber(sheetY(row)) + "\n";
    };
    return "2;3\n" + line("A", 0, 0) + line("B", 0, 1) + line("C", 0, 2) + line("D", 1, 0) + line("E", 1, 1);
}

} // namespace OrthoLots
