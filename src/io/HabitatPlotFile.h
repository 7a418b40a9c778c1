#pragma once

// Habitat plot tables: ";"-separated text of 16 fields per line, a header line
// first, no quoting. The habitat code list ("code;name" per line, no header)
// shares the splitting rules. These functions only turn text into fields and
// fields into text; the windows decide what a field means.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "io/UserFiles.h"

namespace IO::HabitatPlotFile {

inline constexpr int fieldCount = 16;

// What the readers take: a file of at most maxFileBytes bytes, maxRows
// lines that are not blank after the first, and maxFields fields in all
// lines together. A plot takes a line of one to a few hundred bytes, so real
// tables and code lists stay far below all three; a file beyond one of them
// is refused whole, before it is read (its size) or split (its lines and
// fields), as every field becomes a text of its own.
inline constexpr std::uintmax_t maxFileBytes = std::uintmax_t{64} << 20;
inline constexpr std::size_t maxRows = 100000;
inline constexpr std::size_t maxFields = 2000000;

// "The habitat plot file is too large: it may have at most 64 MiB, 100000
// lines and 2000000 fields." for subject "The habitat plot file".
std::string tooLargeText(std::string_view subject);

// Reads a whole file into text (IO::readRegularFile): a path that is no
// regular file is not opened, a file larger than maxFileBytes is not read.
using ReadStatus = IO::ReadStatus;
ReadStatus readFile(const std::string& path, std::string& text);

// Column titles in field order; the header line of a written file.
extern const std::array<const char*, fieldCount> columnTitles;

// One line with white space removed at both ends (a CR of a CR LF line end
// included), split at every ";", empty fields kept: "" gives one empty field.
std::vector<std::string> splitLine(std::string_view line);

// A data line of a table: its 1-based line number in the text and its fields
// as split (any count).
struct Row {
    int line = 0;
    std::vector<std::string> fields;
};

struct Table {
    std::vector<std::string> header;  // the first line, split
    std::vector<Row> rows;            // every further line that is not blank
    bool tooLarge = false;            // beyond the readers' ceilings: nothing read
    bool headerValid() const { return !tooLarge && header.size() == static_cast<std::size_t>(fieldCount); }
};

// Lines end at LF (a CR before it is white space). Blank lines are skipped;
// a text without a final line end keeps its last line. A UTF-8 byte-order
// mark at the start is skipped (also by parseCodeList). A text beyond
// maxFileBytes, maxRows or maxFields gives an empty table marked tooLarge.
Table parse(std::string_view text);

// The habitat code list. Only its first line is checked (exactly two fields);
// of every further line the first two fields are code and name, fields after
// them are ignored, lines of fewer than two fields (a blank line) are skipped.
// Entries stay in file order; a later entry for a code replaces the earlier
// one when the caller enters them in order.
// A list beyond the ceilings of parse is an empty list marked tooLarge.
struct CodeList {
    bool headerValid = false;
    bool tooLarge = false;
    std::vector<std::pair<std::string, std::string>> entries;  // (code, name)
};
CodeList parseCodeList(std::string_view text);

// Header and rows as written: fields joined by ";", each line ended by LF.
// A row of fewer than 16 fields is written with the missing ones empty; a row
// whose 16 fields are all empty is left out.
std::string format(const std::vector<std::vector<std::string>>& rows);

// The first cell (row index, column index) whose text would change the table
// when read back: a ";" or a line break in it. Nothing when every cell is safe.
std::optional<std::pair<int, int>> findUnsafeCell(const std::vector<std::vector<std::string>>& rows);

// Field meanings used by the main window's reader, independent of the locale:
// a decimal number or integer, 0 for a text that is not one.
double numberField(std::string_view field);
int integerField(std::string_view field);
// "year.month.day": the three numbers when the field has exactly three "."
// parts (a part that is no number reads 0); nothing otherwise.
std::optional<std::array<int, 3>> dateField(std::string_view field);

// "line 7: 8 fields instead of 16" for a row of another field count; empty
// for a row of 16.
std::string fieldCountProblem(const Row& row);

// The rows a reader skipped or read incomplete, as its message names them:
// the first namedProblemLines by their problem, the rest only counted, so a
// table of many faulty rows still makes a message of a few lines.
inline constexpr std::size_t namedProblemLines = 10;
class ProblemLines {
public:
    void add(std::string problem);
    bool empty() const { return count_ == 0; }
    // The named problems joined by separator and, when there were more,
    // "... and 15 more lines" after them.
    std::string text(std::string_view separator) const;

private:
    std::vector<std::string> named_;
    std::size_t count_ = 0;
};

} // namespace IO::HabitatPlotFile
