// Entity and character references in KML names: what is replaced, what is
// kept as written, and that decoding stays linear in the name's length.

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "io/KmlCurves.h"
#include "support/DegreesAsPixels.h"

namespace {

using TestSupport::DegreesAsPixels;

std::string document(const std::string& name)
{
    return "<kml><Placemark><name>" + name + "</name><coordinates>14,50</coordinates></Placemark></kml>";
}

std::string nameRead(const std::string& name)
{
    const IO::KmlCurves read = IO::parseKmlDocument(document(name), DegreesAsPixels(), "fallback");
    return read.names.empty() ? std::string("<no name>") : read.names.front();
}

TEST(KmlEntities, ReplacedOrKeptAsWritten)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"a&amp;b", "a&b"},
        {"&lt;&gt;&quot;&apos;", "<>\"'"},
        {"&#65;&#x42;&#X43;", "ABC"},
        {"&#x10FFFF;", "\xF4\x8F\xBF\xBF"},     // the last code point: ';' nine after '&'
        {"&#1114111;", "\xF4\x8F\xBF\xBF"},     // the same in decimal
        {"&#01114111;", "\xF4\x8F\xBF\xBF"},    // ';' ten after '&': still a reference
        {"&#001114111;", "&#001114111;"},       // eleven: too far, kept
        {"&#x110000;", "&#x110000;"},           // beyond Unicode
        {"&#0;", "&#0;"},
        {"&amp", "&amp"},
        {"&&amp;&", "&&&"},
        {"& amp;", "& amp;"},
        {"&unknown;", "&unknown;"},
        {"&#x;&#;&#12a;", "&#x;&#;&#12a;"},
        {"R&D; &amp;&amp;", "R&D; &&"},
    };
    for (const auto& [written, expected] : cases)
        EXPECT_EQ(nameRead(written), expected) << written;
}

// A name of many '&' without a ';' costs per character what a short one
// does: a thousand times the text takes about a thousand times as long (the
// bound is generous; a decoder that looks for the ';' to the end of the text
// would take about a million times as long).
TEST(KmlEntities, DecodingIsLinearInTheNameLength)
{
    const std::string small = document(std::string(1024, '&'));
    const std::string large = document(std::string(1024 * 1024, '&'));
    ASSERT_EQ(nameRead(std::string(1024, '&')), std::string(1024, '&'));

    using Clock = std::chrono::steady_clock;
    auto fastest = [](int repeats, auto&& body) {
        auto best = Clock::duration::max();
        for (int i = 0; i < repeats; ++i) {
            const auto start = Clock::now();
            body();
            best = std::min(best, Clock::now() - start);
        }
        return std::chrono::duration<double>(best).count();
    };
    const DegreesAsPixels converter;
    std::size_t sink = 0;
    const double smallSeconds = fastest(5, [&] {
        for (int i = 0; i < 1024; ++i)
            sink += IO::parseKmlDocument(small, converter, "f").names.front().size();
    });
    const double largeSeconds =
        fastest(3, [&] { sink += IO::parseKmlDocument(large, converter, "f").names.front().size(); });
    EXPECT_EQ(sink, 5u * 1024 * 1024 + 3u * 1024 * 1024);
    // The same bytes in all: linear decoding gives a ratio near 1.
    EXPECT_LT(largeSeconds / smallSeconds, 20.0) << largeSeconds << " s against " << smallSeconds << " s";
}

} // namespace
