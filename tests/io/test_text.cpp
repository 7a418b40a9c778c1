#include <clocale>
#include <cmath>
#include <limits>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "io/NumberText.h"
#include "io/StringUtils.h"

struct SplitCase {
    std::string text;
    std::vector<std::string> pieces;
};

TEST(StringUtils, SplitByChar)
{
    const std::vector<SplitCase> cases{
        {"1,2,0", {"1", "2", "0"}},
        {"", {}},
        {"a,b,", {"a", "b"}},
        {",a", {"", "a"}},
        {"a,,b", {"a", "", "b"}},
        {",", {""}},
        {"single", {"single"}},
    };
    std::vector<std::string> out{"stale"};
    for (const auto& c : cases) {
        splitByChar(out, c.text, ',');
        EXPECT_EQ(out, c.pieces) << "'" << c.text << "'";
    }
}

TEST(StringUtils, SplitByString)
{
    const std::vector<SplitCase> cases{
        {"a<x>b", {"a", "b"}},
        {"a<x>b<x>", {"a", "b", ""}},
        {"<x>a", {"", "a"}},
        {"none here", {"none here"}},
        {"", {""}},
        {"<coordinates>1,2 3,4</coordinates>", {"<coordinates>1,2 3,4</coordinates>"}},
    };
    std::vector<std::string> out{"stale"};
    for (const auto& c : cases) {
        splitByString(out, c.text, "<x>");
        EXPECT_EQ(out, c.pieces) << "'" << c.text << "'";
    }
}

TEST(StringUtils, RemoveWhitespaceStripsOnlyAsciiBlanks)
{
    const std::vector<std::pair<std::string, std::string>> cases{
        {"\t\t<name>my curve</name>", "<name>mycurve</name>"},
        {" a\tb\nc\rd\ve\ff ", "abcdef"},
        {"", ""},
        // "Š" is C5 A0 in UTF-8; A0 is a no-break space in Latin-1 locales
        // and must survive whatever locale is active.
        {"\xC5\xA0tiavnica \xC2\xA0x", "\xC5\xA0tiavnica\xC2\xA0x"},
    };
    for (auto [in, expected] : cases) {
        removeWhitespace(in);
        EXPECT_EQ(in, expected);
    }
}

// Lines up to the ceiling are read as readTextLine reads them (a CR before
// the line end is no part of the line); a longer one is not read beyond it.
TEST(StringUtils, BoundedLinesStopAtTheCeiling)
{
    struct Case {
        const char* name;
        std::string text;
        std::vector<TextLine> reads;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases{
        {"lines at the ceiling", "abcd\nefgh\r\nijkl", {TextLine::Read, TextLine::Read, TextLine::Read, TextLine::End},
         {"abcd", "efgh", "ijkl", ""}},
        {"empty lines", "\n\r\n", {TextLine::Read, TextLine::Read, TextLine::End}, {"", "", ""}},
        {"a byte over", "abcde\nx\n", {TextLine::TooLong}, {}},
        {"a byte over before a CR", "abcde\r\n", {TextLine::TooLong}, {}},
        {"a byte over at the end", "ab\nabcde", {TextLine::Read, TextLine::TooLong}, {"ab"}},
        {"nothing", "", {TextLine::End}, {""}},
    };
    for (const Case& c : cases) {
        std::istringstream in(c.text);
        std::string line = "stale";
        for (std::size_t i = 0; i < c.reads.size(); ++i) {
            EXPECT_EQ(readBoundedTextLine(in, line, 4), c.reads[i]) << c.name << ", read " << i;
            if (i < c.lines.size())
                EXPECT_EQ(line, c.lines[i]) << c.name << ", read " << i;
        }
    }
    // A line of a hundred times the ceiling is read no further than it.
    std::istringstream huge(std::string(400, 'x') + "\nnext\n");
    std::string line;
    EXPECT_EQ(readBoundedTextLine(huge, line, 4), TextLine::TooLong);
    EXPECT_LE(huge.tellg(), 6);
}

TEST(NumberText, FormatsWithAPointWhateverTheLocale)
{
    // Try a decimal-comma locale; the results must not change with it.
    const char* previous = std::setlocale(LC_ALL, nullptr);
    const std::string saved = previous ? previous : "C";
    std::setlocale(LC_ALL, "cs_CZ.UTF-8") || std::setlocale(LC_ALL, "de_DE.UTF-8");

    EXPECT_EQ(IO::formatFixed(14.123456789012345, 12), "14.123456789012");
    EXPECT_EQ(IO::formatFixed(-0.5, 3), "-0.500");
    EXPECT_EQ(IO::formatNumber(0.1), "0.1");
    EXPECT_EQ(IO::formatNumber(1234567.0), "1234567");
    EXPECT_EQ(IO::parseDouble("14.43"), 14.43);
    EXPECT_EQ(IO::parseDouble(" -2.5e-3\r"), -2.5e-3);
    EXPECT_EQ(IO::parseDouble("+3"), 3.0);
    EXPECT_EQ(IO::parseInteger("42"), 42);

    std::setlocale(LC_ALL, saved.c_str());
}

TEST(NumberText, RejectsTextThatIsNotWhollyANumber)
{
    for (const char* bad : {"", "  ", "1,5", "abc", "1.5x", "--1", "1 2"})
        EXPECT_FALSE(IO::parseDouble(bad).has_value()) << "'" << bad << "'";
    for (const char* bad : {"", "4.5", "12a", "99999999999999999999999"})
        EXPECT_FALSE(IO::parseInteger(bad).has_value()) << "'" << bad << "'";
}

TEST(NumberText, PrefixReadersTakeTheLeadingNumberOnly)
{
    const std::vector<std::pair<const char*, std::optional<double>>> decimals = {
        {"1.5e-1", 0.15}, {"12abc", 12.0}, {"  -0.25,", -0.25}, {"+7.5kg", 7.5}, {"1e", 1.0},
        {"abc", std::nullopt}, {"", std::nullopt}, {"+-1", std::nullopt}, {"1e999", std::nullopt},
        {",5", std::nullopt}};
    for (const auto& [text, expected] : decimals)
        EXPECT_EQ(IO::parseDoublePrefix(text), expected) << "'" << text << "'";
    ASSERT_TRUE(IO::parseDoublePrefix("nan").has_value());
    EXPECT_TRUE(std::isnan(*IO::parseDoublePrefix("nan")));

    const std::vector<std::pair<const char*, std::optional<long long>>> integers = {
        {"12abc", 12}, {" 4.9", 4}, {"-3", -3}, {"+8", 8}, {"x1", std::nullopt},
        {"99999999999999999999999", std::nullopt}, {"", std::nullopt}};
    for (const auto& [text, expected] : integers)
        EXPECT_EQ(IO::parseIntegerPrefix(text), expected) << "'" << text << "'";
    EXPECT_FALSE(IO::parseDouble("+-5").has_value());
}

// One sign at most, before the digits: a second sign in any order makes the
// text no number for every reader, whole or prefix, decimal or integer.
TEST(NumberText, SignedTexts)
{
    struct Case {
        const char* text;
        std::optional<double> value;  // the same for all four readers
    };
    const std::vector<Case> cases = {
        {"+5", 5.0},        {"-5", -5.0},       {" +5", 5.0},       {" -5 ", -5.0},
        {"+-5", std::nullopt}, {"-+5", std::nullopt}, {"++5", std::nullopt}, {"--5", std::nullopt},
        {"+ 5", std::nullopt}, {"- 5", std::nullopt}, {"+", std::nullopt},   {"-", std::nullopt},
        {" +-5", std::nullopt}, {"+-0", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("'") + c.text + "'");
        EXPECT_EQ(IO::parseDouble(c.text), c.value);
        EXPECT_EQ(IO::parseDoublePrefix(c.text), c.value);
        const std::optional<long long> integer =
            c.value ? std::optional<long long>(static_cast<long long>(*c.value)) : std::nullopt;
        EXPECT_EQ(IO::parseInteger(c.text), integer);
        EXPECT_EQ(IO::parseIntegerPrefix(c.text), integer);
    }
    for (const char* infinite : {"+-inf", "-+inf", "++inf", "--inf", "+-nan", "-+infinity"}) {
        EXPECT_FALSE(IO::parseDouble(infinite).has_value()) << infinite;
        EXPECT_FALSE(IO::parseDoublePrefix(infinite).has_value()) << infinite;
    }
    EXPECT_EQ(IO::parseDouble("-inf"), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(IO::parseDouble("+inf"), std::numeric_limits<double>::infinity());
}
