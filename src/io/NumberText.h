#pragma once

// Locale-independent number texts for every file format of the program.
// The user's locale (decimal comma, digit grouping) never changes what is
// written to or read from a file.

#include <optional>
#include <string>
#include <string_view>

namespace IO {

// Shortest text that reads back to the same double ("0.1", "1e+20").
std::string formatNumber(double value);

// Fixed notation with the given count of decimals ("14.123456789012").
std::string formatFixed(double value, int decimals);

// Whole text must be a number (leading and trailing ASCII blanks allowed, a
// leading '+' accepted). Decimal point only; no locale is consulted.
std::optional<double> parseDouble(std::string_view text);
std::optional<long long> parseInteger(std::string_view text);

// Leading number of a text, read as the C library's conversions read it in
// the "C" locale: leading blanks are skipped, a sign is taken, and whatever
// follows the number is ignored ("12abc" is 12, " -1.5e-1x" is -0.15).
// No number at the start, or one out of the type's range: nothing. The
// double reader takes "nan" and "inf" as those values.
std::optional<double> parseDoublePrefix(std::string_view text);
std::optional<long long> parseIntegerPrefix(std::string_view text);

} // namespace IO
