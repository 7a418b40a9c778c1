#include <chrono>
#include <cmath>
#include <algorithm>
#include <filesystem>
#include <functional>
#include <cctype>
#include <string>
#include <vector>

#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogrsf_frmts.h>

#include "io/File.h"
#include "io/KmlCurves.h"
#include "support/TestSupport.h"
#include "test_hostile_inputs.h"
#include "test_kml_locale.h"

namespace fs = std::filesystem;
using IO::File;

namespace {

// A linear stand-in for a data set's georeference: 1000 pixels per degree,
// pixel (0, 0) at 14 E, 50 N. Points north of 89 degrees cannot be placed,
// pixels left of -1000 have no position.
class FakeConverter : public IO::KmlConverter {
public:
    bool pixelToLonLat(double x, double y, double& lon, double& lat) const override
    {
        if (x < -1000.0)
            return false;
        lon = 14.0 + x / 1000.0;
        lat = 50.0 - y / 1000.0;
        return true;
    }
    bool lonLatToPixel(double lon, double lat, double& x, double& y) const override
    {
        if (lat > 89.0)
            return false;
        x = (lon - 14.0) * 1000.0;
        y = (50.0 - lat) * 1000.0;
        return true;
    }
};

const FakeConverter fake;

using Curves = std::vector<std::vector<Point2D>>;

std::string paramLine(const std::string& key, const std::string& value)
{
    return "\t\t\t\t<SimpleData name=\"" + key + "\">" + value + "</SimpleData>\n";
}

std::string document(const Curves& curves, const std::vector<std::string>& names,
                     const std::vector<std::string>& codes = {}, const std::vector<std::string>& types = {},
                     const std::vector<std::vector<double>>& params = {}, const std::string& locTile = "T33UXP")
{
    return IO::kmlDocument(curves, names, codes, types, params, locTile, fake);
}

// Lon/lat pairs of a curve back in the fake converter's degrees.
std::vector<std::pair<double, double>> lonLats(const std::vector<Point2D>& points)
{
    std::vector<std::pair<double, double>> out;
    for (const auto& p : points)
        out.emplace_back(14.0 + p.x / 1000.0, 50.0 - p.y / 1000.0);
    return out;
}

IO::KmlCurves parse(const std::string& text)
{
    return IO::parseKmlDocument(text, fake, "file");
}


} // namespace

// ------------------------------------------------------------------ writer

TEST(KmlWriter, WritesTheDocumentLayoutByteForByte)
{
    const Curves curves{{{0, 0}, {500, 250}, {0, 0}}};
    const std::string expected =
        "<kml>\n"
        "\t<Folder>\n"
        "\t\t<Placemark>\n"
        "\t\t\t<name>meadow</name>\n"
        "\t\t\t<ExtendedData>\n"
        "\t\t\t\t<SimpleData name=\"code\">6510</SimpleData>\n"
        "\t\t\t\t<SimpleData name=\"locTile\">T33UXP</SimpleData>\n"
        "\t\t\t\t<SimpleData name=\"segmType\">semiSeg</SimpleData>\n"
        "\t\t\t\t<SimpleData name=\"paramSemiSegm\">123</SimpleData>\n"
        "\t\t\t</ExtendedData>\n"
        "\t\t\t<LinearRing>\n"
        "\t\t\t\t<tessellate>0</tessellate>\n"
        "\t\t\t\t<altitudeMode>clampToGround</altitudeMode>\n"
        "\t\t\t\t<coordinates>\n"
        "\t\t\t\t\t14.000000000000,50.000000000000,0\n"
        "\t\t\t\t\t14.500000000000,49.750000000000,0\n"
        "\t\t\t\t\t14.000000000000,50.000000000000,0\n"
        "\t\t\t\t</coordinates>\n"
        "\t\t\t</LinearRing>\n"
        "\t\t</Placemark>\n"
        "\t</Folder>\n"
        "</kml>\n";
    EXPECT_EQ(document(curves, {"meadow"}, {"6510"}, {"semiSeg"}, {{0.5, 2.0}}), expected);
}

TEST(KmlWriter, ParameterLineFollowsTypeAndParameters)
{
    struct Case {
        std::string type;
        std::vector<double> params;
        std::string line;  // empty: no parameter line
    };
    const Case cases[] = {
        {"semiSeg", {}, paramLine("paramSegm", "unknown")},
        {"adjust", {}, paramLine("paramSegm", "unknown")},
        {"semiSeg", {1.0, 7.0}, paramLine("paramSemiSegm", "123")},
        {"autoSeg", {3.0}, paramLine("paramAutoSegm", "456")},
        {"adjust", {3.0}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type + " with " + std::to_string(c.params.size()) + " parameters");
        const std::string text = document({{{1, 1}}}, {"a"}, {"6510"}, {c.type}, {c.params});
        const std::string typeLine = paramLine("segmType", c.type);
        const auto from = text.find(typeLine);
        const auto to = text.find("\t\t\t</ExtendedData>\n");
        ASSERT_NE(from, std::string::npos);
        ASSERT_NE(to, std::string::npos);
        EXPECT_EQ(text.substr(from + typeLine.size(), to - from - typeLine.size()), c.line);
        EXPECT_EQ(text.find("paramAutoSegm\">3"), std::string::npos);  // values are never written
    }
}

TEST(KmlWriter, EmptySetIsTheBareFolder)
{
    EXPECT_EQ(document({}, {}), "<kml>\n\t<Folder>\n\t</Folder>\n</kml>\n");
}

TEST(KmlWriter, EveryCoordinateLineHasFiveTabsTwelveDecimalsAndZeroHeight)
{
    const std::string text = document({{{0.123, -7.5}, {-999.9, 123456.789}}}, {"x"});
    // Five tabs, [-]digits "." 12 digits "," [-]digits "." 12 digits ",0".
    auto number = [](const std::string& t, std::size_t& i) {
        if (i < t.size() && t[i] == '-')
            ++i;
        const std::size_t start = i;
        while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])))
            ++i;
        if (i == start || i >= t.size() || t[i] != '.')
            return false;
        const std::size_t decimals = ++i;
        while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])))
            ++i;
        return i - decimals == 12;
    };
    int count = 0;
    for (std::size_t pos = text.find("\t\t\t\t\t"); pos != std::string::npos;
         pos = text.find("\t\t\t\t\t", pos + 1), ++count) {
        std::size_t i = pos + 5;
        ASSERT_TRUE(number(text, i) && text[i++] == ',' && number(text, i) && text.compare(i, 3, ",0\n") == 0)
            << text.substr(pos, text.find('\n', pos) - pos);
    }
    EXPECT_EQ(count, 2);
    EXPECT_NE(text.find("\t\t\t\t\t13.000100000000,-73.456789000000,0\n"), std::string::npos);
}

TEST(KmlWriter, EscapesMarkupAndReadsItBack)
{
    const std::string name = "A & <B> \"q\" 'x'";
    const std::string text = document({{{1, 2}}}, {name}, {"65<10"});
    EXPECT_NE(text.find("<name>A &amp; &lt;B&gt; &quot;q&quot; &apos;x&apos;</name>"), std::string::npos);
    EXPECT_NE(text.find(">65&lt;10</SimpleData>"), std::string::npos);
    EXPECT_EQ(parse(text).names, std::vector<std::string>{name});
}

TEST(KmlWriter, ShortListsGiveTheDefaultsOfANewCurve)
{
    const std::string text = document({{{1, 2}}, {{3, 4}}}, {"only"}, {}, {}, {});
    EXPECT_NE(text.find("<name></name>"), std::string::npos);
    EXPECT_NE(text.find(paramLine("code", "unknown")), std::string::npos);
    EXPECT_NE(text.find(paramLine("segmType", "unknown")), std::string::npos);
}

TEST(KmlWriter, FailedConversionWritesNoFileAndKeepsAnOldOne)
{
    TestSupport::TempDir dir;
    const std::string path = dir.file("curves.kml");
    const Curves bad{{{1, 1}, {-5000, 1}}};  // second point has no position
    EXPECT_EQ(TestSupport::fileErrorOf([&] { IO::saveKmlCurves(path, "kml", bad, {"a"}, {}, {}, {}, "t", fake); }),
              File::error::MissingMetadata);
    EXPECT_FALSE(fs::exists(path));

    TestSupport::writeFile(path, "old contents");
    EXPECT_EQ(TestSupport::fileErrorOf([&] { IO::saveKmlCurves(path, "kml", bad, {"a"}, {}, {}, {}, "t", fake); }),
              File::error::MissingMetadata);
    EXPECT_EQ(TestSupport::readFile(path), "old contents");
    EXPECT_EQ(TestSupport::fileNamesIn(dir.path()), std::vector<std::string>{"curves.kml"});
}

TEST(KmlWriter, UnwritableFileIsReportedAndLeavesNothing)
{
    TestSupport::TempDir dir;
    const Curves curves{{{1, 1}}};
    // A missing folder, and a path that is an existing folder.
    EXPECT_EQ(TestSupport::fileErrorOf([&] { IO::saveKmlCurves(dir.file("missing/c.kml"), "kml", curves, {"a"}, {}, {}, {}, "t", fake); }),
              File::error::CannotOpen);
    fs::create_directory(dir.file("taken.kml"));
    EXPECT_EQ(TestSupport::fileErrorOf([&] { IO::saveKmlCurves(dir.file("taken.kml"), "kml", curves, {"a"}, {}, {}, {}, "t", fake); }),
              File::error::CannotOpen);
    EXPECT_EQ(TestSupport::fileNamesIn(dir.path()), std::vector<std::string>{"taken.kml"});
}

TEST(KmlWriter, SaveReplacesAnExistingFileWhole)
{
    TestSupport::TempDir dir;
    const std::string path = dir.file("c.kml");
    TestSupport::writeFile(path, std::string(10000, 'x'));
    IO::saveKmlCurves(path, "kml", {{{1, 1}}}, {"a"}, {}, {}, {}, "t", fake);
    EXPECT_EQ(TestSupport::readFile(path), document({{{1, 1}}}, {"a"}, {}, {}, {}, "t"));
    EXPECT_EQ(TestSupport::fileNamesIn(dir.path()), std::vector<std::string>{"c.kml"});
}

// ------------------------------------------------------------------ reader

TEST(KmlReader, OwnFileRoundTrips)
{
    const Curves curves{{{0, 0}, {500.25, 250.125}, {12.5, -3}, {0, 0}}, {{7, 8}, {9, 10}}};
    const std::vector<std::string> names{"first", "second"};
    const auto read = parse(document(curves, names, {"6510", "91E0"}, {"autoSeg", "adjust"}, {{1.0}, {}}));
    EXPECT_EQ(read.names, names);
    ASSERT_EQ(read.curves.size(), curves.size());
    for (std::size_t c = 0; c < curves.size(); ++c) {
        ASSERT_EQ(read.curves[c].size(), curves[c].size());
        for (std::size_t i = 0; i < curves[c].size(); ++i) {
            EXPECT_NEAR(read.curves[c][i].x, curves[c][i].x, 1e-7);
            EXPECT_NEAR(read.curves[c][i].y, curves[c][i].y, 1e-7);
        }
    }
}

TEST(KmlReader, LayoutTable)
{
    using LonLats = std::vector<std::pair<double, double>>;
    struct Case {
        const char* label;
        std::string text;
        std::vector<LonLats> curves;
        std::vector<std::string> names;
    };
    const std::string head = "<kml><Document>";
    const Case cases[] = {
        {"one-line coordinates element",
         "<kml><Placemark><name>a</name><LineString><coordinates>14.1,50.1,0 14.2,50.2,0</coordinates>"
         "</LineString></Placemark></kml>",
         {{{14.1, 50.1}, {14.2, 50.2}}},
         {"a"}},
        {"one tuple on the tag line, more below",
         "<kml><Placemark><name>a</name>\n<coordinates>14.1,50.1\n14.2,50.2</coordinates>\n</Placemark></kml>",
         {{{14.1, 50.1}, {14.2, 50.2}}},
         {"a"}},
        {"blank-separated tuples on lines between the tags",
         "<kml><Placemark><name>a</name><coordinates>\n  14.1,50.1,0 14.2,50.2,0\n\t14.3,50.3,0   14.4,50.4,0\n"
         "</coordinates></Placemark></kml>",
         {{{14.1, 50.1}, {14.2, 50.2}, {14.3, 50.3}, {14.4, 50.4}}},
         {"a"}},
        {"two 2-D tuples on one line",
         "<kml><Placemark><name>a</name><coordinates>\n14.1,50.1 14.2,50.2\n</coordinates></Placemark></kml>",
         {{{14.1, 50.1}, {14.2, 50.2}}},
         {"a"}},
        {"blanks next to the commas stay inside the tuple",
         "<kml><Placemark><name>a</name><coordinates>14.1, 50.1 ,0\n14.2 ,50.2</coordinates></Placemark></kml>",
         {{{14.1, 50.1}, {14.2, 50.2}}},
         {"a"}},
        {"names only on the first of three placemarks",
         "<kml><Placemark><name>A</name><coordinates>14,50</coordinates></Placemark>"
         "<Placemark><coordinates>14,50</coordinates></Placemark>"
         "<Placemark><coordinates>14,50</coordinates></Placemark></kml>",
         {{{14, 50}}, {{14, 50}}, {{14, 50}}},
         {"A", "A_1", "A_2"}},
        {"blanks inside a name are kept, the ends trimmed",
         "<kml><Placemark>\n\t<name>  Wet  meadow 1 </name>\n<coordinates>14,50</coordinates></Placemark></kml>",
         {{{14, 50}}},
         {"Wet  meadow 1"}},
        {"CRLF line ends",
         "<kml>\r\n<Placemark>\r\n<name>crlf</name>\r\n<coordinates>\r\n14.1,50.1,0\r\n14.2,50.2,0\r\n"
         "</coordinates>\r\n</Placemark>\r\n</kml>\r\n",
         {{{14.1, 50.1}, {14.2, 50.2}}},
         {"crlf"}},
        {"a latitude of 95 is left out",
         "<kml><Placemark><name>a</name><coordinates>14.1,50.1 14.2,95 14.3,50.3</coordinates></Placemark></kml>",
         {{{14.1, 50.1}, {14.3, 50.3}}},
         {"a"}},
        {"no coordinates element", "<kml><Placemark><name>a</name><Point></Point></Placemark></kml>", {}, {}},
        {"Folder and Document names do not shift the curve names",
         head + "<name>doc</name><Folder><name>folder</name><Placemark><name>p1</name><coordinates>14,50"
                "</coordinates></Placemark><Placemark><name>p2</name><coordinates>14,50</coordinates>"
                "</Placemark></Folder></Document></kml>",
         {{{14, 50}}, {{14, 50}}},
         {"p1", "p2"}},
        {"a name after the geometry still names its placemark",
         "<kml><Placemark><coordinates>14,50</coordinates><name>late</name></Placemark></kml>",
         {{{14, 50}}},
         {"late"}},
        {"no name anywhere: the file's name and the index",
         "<kml><Placemark><coordinates>14,50</coordinates></Placemark>"
         "<Placemark><coordinates>14,50</coordinates></Placemark></kml>",
         {{{14, 50}}, {{14, 50}}},
         {"file_0", "file_1"}},
        {"an unnamed placemark between named ones",
         "<kml><Placemark><name>A</name><coordinates>14,50</coordinates></Placemark>"
         "<Placemark><coordinates>14,50</coordinates></Placemark>"
         "<Placemark><name>C</name><coordinates>14,50</coordinates></Placemark></kml>",
         {{{14, 50}}, {{14, 50}}, {{14, 50}}},
         {"A", "A_1", "C"}},
        {"a polygon with a hole gives two curves",
         "<kml><Placemark><name>P</name><Polygon><outerBoundaryIs><LinearRing><coordinates>14,50 14.1,50"
         "</coordinates></LinearRing></outerBoundaryIs><innerBoundaryIs><LinearRing><coordinates>14.05,50"
         "</coordinates></LinearRing></innerBoundaryIs></Polygon></Placemark></kml>",
         {{{14, 50}, {14.1, 50}}, {{14.05, 50}}},
         {"P", "P_1"}},
        {"namespace prefixes, comments, CDATA and entities",
         "<?xml version=\"1.0\"?><kml:kml xmlns:kml=\"http://www.opengis.net/kml/2.2\"><!-- <name>no</name> -->"
         "<kml:Placemark><kml:name><![CDATA[R&D <1>]]> &amp; &#233;</kml:name><kml:coordinates>14,50"
         "</kml:coordinates></kml:Placemark></kml:kml>",
         {{{14, 50}}},
         {"R&D <1> & \xc3\xa9"}},
        {"a tuple of four fields is no point",
         "<kml><Placemark><name>a</name><coordinates>14,50,0,9 14.1,50.1</coordinates></Placemark></kml>",
         {{{14.1, 50.1}}},
         {"a"}},
        {"an empty coordinates element gives an empty curve",
         "<kml><Placemark><name>a</name><coordinates>\n\n</coordinates></Placemark>"
         "<Placemark><name>b</name><coordinates/></Placemark></kml>",
         {{}, {}},
         {"a", "b"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const auto read = parse(c.text);
        EXPECT_EQ(read.names, c.names);
        ASSERT_EQ(read.curves.size(), c.curves.size());
        for (std::size_t i = 0; i < c.curves.size(); ++i) {
            const auto got = lonLats(read.curves[i]);
            ASSERT_EQ(got.size(), c.curves[i].size()) << "curve " << i;
            for (std::size_t j = 0; j < got.size(); ++j) {
                EXPECT_NEAR(got[j].first, c.curves[i][j].first, 1e-9);
                EXPECT_NEAR(got[j].second, c.curves[i][j].second, 1e-9);
            }
        }
    }
}

TEST(KmlReader, MalformedCoordinatesAreReportedAsCorrupted)
{
    const char* cases[] = {
        "<kml><Placemark><coordinates>14.1</coordinates></Placemark></kml>",
        "<kml><Placemark><coordinates>14.1,abc</coordinates></Placemark></kml>",
        "<kml><Placemark><coordinates>14.1,,50</coordinates></Placemark></kml>",
        "<kml><Placemark><coordinates>nan,50</coordinates></Placemark></kml>",
        "<kml><Placemark><coordinates>14,50 14.1,50.1",  // truncated file
        "<kml><Placemark><name>cut",
    };
    for (const char* text : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(TestSupport::fileErrorOf([&] { parse(text); }), File::error::FileCorrupted);
    }
}

TEST(KmlReader, ExtensionIsKmlInAnyCase)
{
    TestSupport::TempDir dir;
    const std::string path = dir.file("c.kml");
    TestSupport::writeFile(path, document({{{1, 2}}}, {"a"}));
    const struct {
        const char* extension;
        bool accepted;
    } cases[] = {{"kml", true}, {"KML", true}, {"Kml", true}, {"kmz", false}, {"xml", false},
                 {"", false},    {"kml ", false}, {"kmll", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.extension);
        EXPECT_EQ(IO::isKmlExtension(c.extension), c.accepted);
        Curves curves;
        std::vector<std::string> names;
        const auto loaded = TestSupport::fileErrorOf([&] { IO::loadKmlCurves(path, c.extension, fake, curves, names); });
        EXPECT_EQ(loaded, c.accepted ? File::error::NoError : File::error::UnsupportedFormat);
        const std::string target = dir.file(std::string("out.") + c.extension);
        const auto saved = TestSupport::fileErrorOf([&] { IO::saveKmlCurves(target, c.extension, {{{1, 2}}}, {"a"}, {}, {}, {}, "t", fake); });
        EXPECT_EQ(saved, c.accepted ? File::error::NoError : File::error::UnsupportedFormat);
        EXPECT_EQ(fs::exists(target), c.accepted);
        // A refused extension is refused before the file is looked at.
        EXPECT_EQ(TestSupport::fileErrorOf([&] { IO::loadKmlCurves(dir.file("missing.kml"), c.extension, fake, curves, names); }),
                  c.accepted ? File::error::CannotOpen : File::error::UnsupportedFormat);
    }
}

TEST(KmlReader, LoadAppendsOnlyAfterAWholeFileWasRead)
{
    TestSupport::TempDir dir;
    Curves curves{{{5, 5}}};
    std::vector<std::string> names{"kept"};

    TestSupport::writeFile(dir.file("good.kml"), document({{{1, 2}, {3, 4}}}, {"new"}));
    IO::loadKmlCurves(dir.file("good.kml"), "kml", fake, curves, names);
    EXPECT_EQ(names, (std::vector<std::string>{"kept", "new"}));
    ASSERT_EQ(curves.size(), 2u);
    EXPECT_EQ(curves[1].size(), 2u);

    TestSupport::writeFile(dir.file("bad.kml"), document({{{1, 2}}}, {"x"}) + "<Placemark><coordinates>1");
    EXPECT_EQ(TestSupport::fileErrorOf([&] { IO::loadKmlCurves(dir.file("bad.kml"), "kml", fake, curves, names); }),
              File::error::FileCorrupted);
    EXPECT_EQ(TestSupport::fileErrorOf([&] { IO::loadKmlCurves(dir.path().string(), "kml", fake, curves, names); }),
              File::error::CannotOpen);
    EXPECT_EQ(names.size(), 2u);
    EXPECT_EQ(curves.size(), 2u);
}

TEST(KmlReader, FallbackNamesUseTheFileName)
{
    TestSupport::TempDir dir;
    TestSupport::writeFile(dir.file("area_6510.kml"), "<kml><Placemark><coordinates>14,50</coordinates></Placemark></kml>");
    Curves curves;
    std::vector<std::string> names;
    IO::loadKmlCurves(dir.file("area_6510.kml"), "kml", fake, curves, names);
    EXPECT_EQ(names, std::vector<std::string>{"area_6510_0"});
}

// Every further curve of a named placemark repeats its name: the names of a
// document may take its own size and kmlNameAllowance bytes, no more. A
// 4096-byte name over 400 rings, the document padded by a comment to the
// size where its names just fit, and a byte short of it.
TEST(KmlReader, NamesMayTakeTheDocumentsSizeAndTheAllowance)
{
    const std::string name(4096, 'n');
    const std::size_t rings = 400;
    std::size_t namesSize = 0;
    for (std::size_t i = 0; i < rings; ++i)
        namesSize += name.size() + (i == 0 ? 0 : 1 + std::to_string(i).size());
    ASSERT_GT(namesSize, IO::kmlNameAllowance);

    auto documentOfSize = [&](std::size_t size) {
        std::string body = "<kml><Placemark><name>" + name + "</name>";
        for (std::size_t i = 0; i < rings; ++i)
            body += "<coordinates>14,50</coordinates>";
        const std::string end = "</Placemark></kml>";
        const std::size_t padding = size - body.size() - end.size() - 7;
        return body + "<!--" + std::string(padding, 'x') + "-->" + end;
    };
    const std::string fits = documentOfSize(namesSize - IO::kmlNameAllowance);
    ASSERT_EQ(fits.size(), namesSize - IO::kmlNameAllowance);
    const IO::KmlCurves read = parse(fits);
    ASSERT_EQ(read.names.size(), rings);
    EXPECT_EQ(read.names.front(), name);
    EXPECT_EQ(read.names.back(), name + "_399");

    const std::string over = documentOfSize(namesSize - IO::kmlNameAllowance - 1);
    EXPECT_EQ(TestSupport::fileErrorOf([&] { parse(over); }), File::error::FileCorrupted);
}

// A curve file may hold maxKmlCurves curves: that many are read; one more
// is refused before any is built, the count in the log. Only coordinates
// elements count, not what a comment holds.
TEST(KmlReader, CurvesUpToTheCeilingAreRead)
{
    auto rings = [](std::size_t count) {
        std::string text = "<kml><!-- <coordinates>0,0</coordinates> -->";
        for (std::size_t i = 0; i < count; ++i)
            text += "<Placemark><coordinates>14,50 14.001,50</coordinates></Placemark>";
        return text + "</kml>";
    };
    EXPECT_EQ(IO::kmlCurveCount(rings(3)), 3u);
    EXPECT_EQ(parse(rings(IO::maxKmlCurves)).curves.size(), IO::maxKmlCurves);
    EXPECT_EQ(TestSupport::fileErrorOf([&] { parse(rings(IO::maxKmlCurves + 1)); }), File::error::FileCorrupted);

    TestSupport::TempDir dir;
    TestSupport::writeFile(dir.file("many.kml"), rings(IO::maxKmlCurves + 1));
    Curves curves;
    std::vector<std::string> names;
    File::error error = File::error::NoError;
    const std::string log = TestSupport::capturedStdout([&] {
        error = TestSupport::fileErrorOf([&] { IO::loadKmlCurves(dir.file("many.kml"), "kml", fake, curves, names); });
    });
    EXPECT_EQ(error, File::error::FileCorrupted);
    EXPECT_NE(log.find(std::to_string(IO::maxKmlCurves + 1) + " curves"), std::string::npos) << log;
    EXPECT_TRUE(curves.empty());
}

// A curve file may have maxKmlFileBytes bytes: one of that size is read, a
// larger one is refused by its size, unread (the sparse files store almost
// none of theirs). A path that is no regular file is not opened.
TEST(KmlReader, FilesBeyondTheSizeCeilingOrNoFilesAreNotRead)
{
    TestSupport::TempDir dir;
    HostileInputs::writeSparseFile(dir.path() / "at.kml", "<kml></kml>", IO::maxKmlFileBytes);
    HostileInputs::writeSparseFile(dir.path() / "over.kml", "<kml></kml>", IO::maxKmlFileBytes + 1);
    HostileInputs::makeNonRegular(HostileInputs::NonRegular::NamedPipe, dir.path() / "pipe.kml");
    HostileInputs::makeNonRegular(HostileInputs::NonRegular::LinkToDevZero, dir.path() / "zero.kml");
    // Frees a reader that opened the pipe after all (a failure, not a hang).
    const HostileInputs::PipeReleaser releaser(dir.path() / "pipe.kml", 5.0);
    Curves curves;
    std::vector<std::string> names;
    auto load = [&](const std::string& name) {
        return TestSupport::fileErrorOf([&] { IO::loadKmlCurves(dir.file(name), "kml", fake, curves, names); });
    };
    EXPECT_EQ(load("at.kml"), File::error::NoError);
    const TestSupport::PeakMemory memory;
    std::string log;
    const auto start = std::chrono::steady_clock::now();
    log = TestSupport::capturedStdout([&] { EXPECT_EQ(load("over.kml"), File::error::FileCorrupted); });
    EXPECT_NE(log.find(std::to_string(IO::maxKmlFileBytes + 1) + " bytes"), std::string::npos) << log;
    EXPECT_EQ(load("pipe.kml"), File::error::CannotOpen);
    EXPECT_EQ(load("zero.kml"), File::error::CannotOpen);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0);
    EXPECT_LT(memory.peakGrowthKilobytes(), 16L * 1024);
    EXPECT_TRUE(curves.empty());
}

// ------------------------------------------------------------------ locale

TEST(KmlLocale, DecimalCommaLocaleChangesNothing)
{
    const Curves curves{{{0.5, 0.25}, {1234.5678, -98.765}}};
    const std::string expected = document(curves, {"a"});
    ScopedDecimalCommaLocale czech;
    if (!czech.active())
        GTEST_SKIP() << czech.reason();

    EXPECT_EQ(document(curves, {"a"}), expected);
    EXPECT_NE(expected.find("14.000500000000,49.999750000000,0"), std::string::npos);
    const auto read = parse(expected);
    ASSERT_EQ(read.curves.size(), 1u);
    ASSERT_EQ(read.curves[0].size(), 2u);
    EXPECT_NEAR(read.curves[0][1].x, 1234.5678, 1e-7);
    EXPECT_NEAR(read.curves[0][1].y, -98.765, 1e-7);
}

// ------------------------------------------------------------------ foreign reader

TEST(KmlForeignReader, GdalReadsTheWrittenGeometry)
{
    TestSupport::TempDir dir;
    const std::string path = dir.file("curves.kml");
    const Curves curves{{{0, 0}, {500, 0}, {500, 250}, {0, 0}}, {{100, 100}, {200, 150}, {150, 300}, {100, 100}}};
    IO::saveKmlCurves(path, "kml", curves, {"first & one", "second"}, {"6510", "91E0"}, {"autoSeg", "semiSeg"},
                      {{1.0}, {2.0}}, "T33UXP", fake);

    // The LIBKML driver reads a LinearRing placed straight in a Placemark;
    // GDAL's older expat-based "KML" driver skips such placemarks.
    GDALAllRegister();
    if (GetGDALDriverManager()->GetDriverByName("LIBKML") == nullptr)
        GTEST_SKIP() << "GDAL has no LIBKML driver";
    {
        const char* const allowed[] = {"LIBKML", nullptr};
        GDALDatasetUniquePtr dataset(
            GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, allowed, nullptr, nullptr));
        ASSERT_TRUE(dataset) << "the driver cannot open the file";
        std::vector<std::pair<std::string, std::vector<std::pair<double, double>>>> features;
        for (OGRLayer* layer : dataset->GetLayers()) {
            for (auto& feature : *layer) {
                const OGRGeometry* geometry = feature->GetGeometryRef();
                ASSERT_NE(geometry, nullptr);
                const OGRLineString* line = nullptr;
                const auto type = wkbFlatten(geometry->getGeometryType());
                if (type == wkbPolygon)
                    line = geometry->toPolygon()->getExteriorRing();
                else if (type == wkbLineString || type == wkbLinearRing)
                    line = geometry->toLineString();
                ASSERT_NE(line, nullptr) << OGRGeometryTypeToName(type);
                std::vector<std::pair<double, double>> points;
                for (int i = 0; i < line->getNumPoints(); ++i)
                    points.emplace_back(line->getX(i), line->getY(i));
                const int nameField = feature->GetFieldIndex("Name");
                features.emplace_back(nameField >= 0 ? feature->GetFieldAsString(nameField) : "", points);
            }
        }
        ASSERT_EQ(features.size(), 2u);
        for (std::size_t c = 0; c < curves.size(); ++c) {
            EXPECT_EQ(features[c].first, c == 0 ? "first & one" : "second");
            const auto expected = lonLats(curves[c]);
            ASSERT_EQ(features[c].second.size(), expected.size());
            for (std::size_t i = 0; i < expected.size(); ++i) {
                EXPECT_NEAR(features[c].second[i].first, expected[i].first, 1e-12);
                EXPECT_NEAR(features[c].second[i].second, expected[i].second, 1e-12);
            }
        }
    }
}
