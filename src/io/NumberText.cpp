#include "io/NumberText.h"

#include <array>
#include <charconv>
#include <cmath>
#include <system_error>

namespace IO {

namespace {

std::string_view trimmed(std::string_view text)
{
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    return text;
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
    text = trimmed(text);
    if (text.empty())
        return std::nullopt;
    double value = 0.0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || ptr != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::optional<long long> parseInteger(std::string_view text)
{
    text = trimmed(text);
    if (text.empty())
        return std::nullopt;
    long long value = 0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || ptr != text.data() + text.size())
        return std::nullopt;
    return value;
}

} // namespace IO
