#include "io/HabitatPlotFile.h"

#include <algorithm>
#include <climits>

#include "io/NumberText.h"
#include "io/StringUtils.h"

namespace IO::HabitatPlotFile {

const std::array<const char*, fieldCount> columnTitles = {
    "Plot ID",  "Natura 2000",     "EUNIS",          "Habitat",     "Syntaxon",     "Community",
    "Latitude", "Longitude",       "Date",           "Altitude(m)", "Aspect(degrees)", "Slope(degrees)",
    "Cover trees", "Cover shrubs", "Cover herbs",    "Locality"};

namespace {

std::vector<std::string> splitAt(std::string_view text, char delimiter)
{
    std::vector<std::string> out;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(delimiter, start);
        if (end == std::string_view::npos) {
            out.emplace_back(text.substr(start));
            return out;
        }
        out.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
}

// Calls visit(lineNumber, line) for every line of text (LF-terminated, the
// last one possibly without an end).
// A UTF-8 byte-order mark before the first line is skipped, as a text
// stream reading the file would.
template <typename Visit>
void forEachLine(std::string_view text, Visit visit)
{
    constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";
    if (text.substr(0, byteOrderMark.size()) == byteOrderMark)
        text.remove_prefix(byteOrderMark.size());
    int number = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        visit(++number, text.substr(start, end - start));
        start = end + 1;
    }
    if (number == 0)
        visit(1, std::string_view());
}

// Whether a text stays within the ceilings of the readers: its size, its
// lines that are not blank after the first and the fields of all its lines
// (a ";" more than a line's separators), counted before anything is split.
bool withinCeilings(std::string_view text)
{
    if (text.size() > maxFileBytes)
        return false;
    std::size_t rows = 0;
    std::size_t fields = 0;
    bool fits = true;
    forEachLine(text, [&](int number, std::string_view line) {
        if (!fits)
            return;
        line = trimBlanks(line);
        if (number > 1 && line.empty())
            return;
        rows += number > 1 ? 1 : 0;
        fields += static_cast<std::size_t>(std::count(line.begin(), line.end(), ';')) + 1;
        fits = rows <= maxRows && fields <= maxFields;
    });
    return fits;
}

} // namespace

std::string tooLargeText(std::string_view subject)
{
    return std::string(subject) + " is too large: it may have at most " + std::to_string(maxFileBytes >> 20)
           + " MiB, " + std::to_string(maxRows) + " lines and " + std::to_string(maxFields) + " fields.";
}

ReadStatus readFile(const std::string& path, std::string& text)
{
    return readRegularFile(path, maxFileBytes, text);
}

std::vector<std::string> splitLine(std::string_view line)
{
    return splitAt(trimBlanks(line), ';');
}

Table parse(std::string_view text)
{
    Table table;
    if (!withinCeilings(text)) {
        table.tooLarge = true;
        return table;
    }
    forEachLine(text, [&](int number, std::string_view line) {
        if (number == 1) {
            table.header = splitLine(line);
            return;
        }
        if (trimBlanks(line).empty())
            return;
        table.rows.push_back(Row{number, splitLine(line)});
    });
    return table;
}

CodeList parseCodeList(std::string_view text)
{
    CodeList list;
    if (!withinCeilings(text)) {
        list.tooLarge = true;
        return list;
    }
    bool first = true;
    forEachLine(text, [&](int, std::string_view line) {
        std::vector<std::string> fields = splitLine(line);
        if (first) {
            first = false;
            list.headerValid = fields.size() == 2;
            if (!list.headerValid)
                return;
        } else if (!list.headerValid || fields.size() < 2) {
            return;
        }
        list.entries.emplace_back(std::move(fields[0]), std::move(fields[1]));
    });
    return list;
}

std::string format(const std::vector<std::vector<std::string>>& rows)
{
    std::string out;
    for (int i = 0; i < fieldCount; ++i) {
        out += columnTitles[static_cast<std::size_t>(i)];
        out += i + 1 < fieldCount ? ';' : '\n';
    }
    for (const std::vector<std::string>& row : rows) {
        std::string line;
        for (int i = 0; i < fieldCount; ++i) {
            if (static_cast<std::size_t>(i) < row.size())
                line += row[static_cast<std::size_t>(i)];
            if (i + 1 < fieldCount)
                line += ';';
        }
        if (line.size() == static_cast<std::size_t>(fieldCount - 1))
            continue;  // sixteen empty cells
        out += line;
        out += '\n';
    }
    return out;
}

std::optional<std::pair<int, int>> findUnsafeCell(const std::vector<std::vector<std::string>>& rows)
{
    for (std::size_t r = 0; r < rows.size(); ++r) {
        for (std::size_t c = 0; c < rows[r].size() && c < static_cast<std::size_t>(fieldCount); ++c) {
            if (rows[r][c].find_first_of(";\r\n") != std::string::npos)
                return std::make_pair(static_cast<int>(r), static_cast<int>(c));
        }
    }
    return std::nullopt;
}

double numberField(std::string_view field)
{
    return parseDouble(field).value_or(0.0);
}

int integerField(std::string_view field)
{
    const std::optional<long long> value = parseInteger(field);
    if (!value || *value < INT_MIN || *value > INT_MAX)
        return 0;
    return static_cast<int>(*value);
}

std::optional<std::array<int, 3>> dateField(std::string_view field)
{
    const std::vector<std::string> parts = splitAt(field, '.');
    if (parts.size() != 3)
        return std::nullopt;
    return std::array<int, 3>{integerField(parts[0]), integerField(parts[1]), integerField(parts[2])};
}

std::string fieldCountProblem(const Row& row)
{
    if (row.fields.size() == static_cast<std::size_t>(fieldCount))
        return {};
    return "line " + std::to_string(row.line) + ": " + std::to_string(row.fields.size()) + " fields instead of " +
           std::to_string(fieldCount);
}

void ProblemLines::add(std::string problem)
{
    if (named_.size() < namedProblemLines)
        named_.push_back(std::move(problem));
    ++count_;
}

std::string ProblemLines::text(std::string_view separator) const
{
    std::string out;
    for (const std::string& problem : named_) {
        if (!out.empty())
            out += separator;
        out += problem;
    }
    if (count_ > named_.size()) {
        out += separator;
        out += "... and " + std::to_string(count_ - named_.size()) + " more lines";
    }
    return out;
}

} // namespace IO::HabitatPlotFile
