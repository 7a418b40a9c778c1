#include "io/NumberText.h"

#include <array>
#include <charconv>
#include <cmath>
#include <system_error>

namespace IO {

namespace {

bool blank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Leading blanks skipped and a '+' taken off (from_chars takes only '-').
// A '+' followed by another sign is no number.
std::optional<std::string_view> prefixStart(std::string_view text)
{
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && (text.front() == '+' || text.front() == '-'))
            return std::nullopt;
    }
    return text;
}

// The whole text as one number: the start as above, trailing blanks cut.
std::optional<std::string_view> trimmed(std::string_view text)
{
    auto start = prefixStart(text);
    while (start && !start->empty() && blank(start->back()))
        start->remove_suffix(1);
    return start;
}

// The number at the start of the text; with whole set, nothing but blanks
// may follow it.
template <typename T>
std::optional<T> parseNumber(std::string_view text, bool whole)
{
    const auto start = whole ? trimmed(text) : prefixStart(text);
    if (!start || start->empty())
        return std::nullopt;
    const char* end = start->data() + start->size();
    T value{};
    auto [ptr, ec] = std::from_chars(start->data(), end, value);
    if (ec != std::errc() || (whole && ptr != end))
        return std::nullopt;
    return value;
}

} // namespace

std::string formatNumber(double value)
{
    std::array<char, 64> buffer{};
    auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    if (ec != std::errc())
        return {};
    return std::string(buffer.data(), end);
}

std::string formatFixed(double value, int decimals)
{
    // 1e308 in fixed notation with 20 decimals needs about 330 characters.
    std::array<char, 400> buffer{};
    auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                   std::chars_format::fixed, decimals);
    if (ec != std::errc())
        return {};
    return std::string(buffer.data(), end);
}

std::optional<double> parseDouble(std::string_view text)
{
    return parseNumber<double>(text, true);
}

std::optional<long long> parseInteger(std::string_view text)
{
    return parseNumber<long long>(text, true);
}

std::optional<double> parseDoublePrefix(std::string_view text)
{
    return parseNumber<double>(text, false);
}

std::optional<long long> parseIntegerPrefix(std::string_view text)
{
    return parseNumber<long long>(text, false);
}

} // namespace IO
