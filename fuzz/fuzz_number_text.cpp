// Number texts and the field splitters that every text format reads with.
// The first byte of the input is the splitters' delimiter, the rest the text.

#include <sstream>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "io/NumberText.h"
#include "io/StringUtils.h"

namespace {

std::string joined(const std::vector<std::string>& pieces, const std::string& delimiter)
{
    std::string out;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i > 0)
            out += delimiter;
        out += pieces[i];
    }
    return out;
}

int signsBeforeDigits(std::string_view text)
{
    std::size_t i = text.find_first_not_of(" \t\n\r\v\f");
    int signs = 0;
    for (; i < text.size() && (text[i] == '+' || text[i] == '-'); ++i)
        ++signs;
    return signs;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using FuzzSupport::require;
    if (size == 0)
        return 0;
    const char delimiter = static_cast<char>(data[0]);
    const std::string_view text = FuzzSupport::text(data + 1, size - 1);

    const auto decimal = IO::parseDouble(text);
    const auto integer = IO::parseInteger(text);
    const auto decimalPrefix = IO::parseDoublePrefix(text);
    const auto integerPrefix = IO::parseIntegerPrefix(text);
    // A whole number is also the number its text starts with.
    if (integer)
        require(integerPrefix == integer, "parseInteger agrees with parseIntegerPrefix");
    if (decimal && !std::isnan(*decimal))
        require(decimalPrefix == decimal, "parseDouble agrees with parseDoublePrefix");
    if (signsBeforeDigits(text) > 1)
        require(!decimal && !integer && !decimalPrefix && !integerPrefix, "one sign at most");
    if (decimal)
        require(IO::parseDouble(IO::formatNumber(*decimal)) == decimal || std::isnan(*decimal),
                "formatNumber reads back");

    std::vector<std::string> pieces;
    const std::string whole(text);
    splitByString(pieces, whole, std::string(1, delimiter));
    require(joined(pieces, std::string(1, delimiter)) == whole, "splitByString pieces join to the text");
    splitByChar(pieces, whole, delimiter);
    std::string withoutFinal = whole;
    if (!withoutFinal.empty() && withoutFinal.back() == delimiter)
        withoutFinal.pop_back();
    require(joined(pieces, std::string(1, delimiter)) == withoutFinal, "splitByChar pieces join to the text");

    std::string stripped = whole;
    removeWhitespace(stripped);
    require(stripped.find_first_of(" \t\n\r\v\f") == std::string::npos, "removeWhitespace leaves no blank");

    std::istringstream lines(whole);
    std::string line;
    std::size_t lineBytes = 0;
    while (readTextLine(lines, line)) {
        require(line.find('\n') == std::string::npos, "a line holds no line end");
        lineBytes += line.size();
    }
    require(lineBytes <= whole.size(), "lines are parts of the text");
    return 0;
}
