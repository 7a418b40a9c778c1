// The natNet file: its header line, the checks of a network, the bands that
// feed it and the training points.

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "analysis/NatNetClassifier.h"
#include "analysis/NatNetInfo.h"
#include "io/File.h"
#include "support/TestSupport.h"

namespace {

using TestSupport::TempDir;
using TestSupport::writeFile;

NatNetInfo headerOf(const TempDir& dir, const std::string& text)
{
    writeFile(dir.file("natNet_test.csv"), text);
    NatNetInfo info;
    info.directory = dir.path().string() + "/";
    info.fileName = "natNet_test.csv";
    return info;
}

// A header that reads and checks: 2 classes, 2 channels, 3 statistics.
const std::string kGoodHeader =
    "20,6,2,12,8,forest,meadow,param,1.5,2,0.9,2,B04,B08,3,mean,std,meanGL5,2020-06-01,33UXQ";

} // namespace

TEST(NatNetHeader, ReadsEveryFieldOfAFullHeader)
{
    TempDir dir;
    NatNetInfo info = headerOf(dir, kGoodHeader + "\n1,2,3,4,5,6\n");
    ASSERT_TRUE(info.readHeader());
    EXPECT_EQ(info.numberOfPoints, 20);
    EXPECT_EQ(info.dimension, 6);
    EXPECT_EQ(info.clusterSizes, (std::vector<int>{12, 8}));
    EXPECT_EQ(info.clusterNames, (std::vector<std::string>{"forest", "meadow"}));
    EXPECT_EQ(info.parameters, (std::vector<double>{1.5, 2.0, 0.9}));
    EXPECT_EQ(info.channelNames, (std::vector<std::string>{"B04", "B08"}));
    EXPECT_EQ(info.statisticsNames, (std::vector<std::string>{"mean", "std", "meanGL5"}));
    EXPECT_EQ(info.imageDate, "2020-06-01");
    EXPECT_EQ(info.s2Tile, "33UXQ");
    EXPECT_EQ(checkNetwork(info), NetworkDefect::None);
}

TEST(NatNetHeader, TableOfHeaders)
{
    struct Case {
        const char* name;
        std::string text;
        bool reads;
        int points;
        double delta;
        std::string tile;
    };
    const std::vector<Case> cases = {
        {"no classes, channels or statistics", "5,0,0,param,0.5,0.5,0.1,0,0,2021-07-02,33UWQ\n", true, 5, 0.1,
         "33UWQ"},
        {"trailing comma", "5,0,0,param,0.5,0.5,0.1,0,0,2021-07-02,33UWQ,\n", true, 5, 0.1, "33UWQ"},
        {"fields past the tile are ignored", "5,0,0,param,0.5,0.5,0.1,0,0,d,33UWQ,extra,more\n", true, 5, 0.1,
         "33UWQ"},
        {"without its tile", "5,0,0,param,0.5,0.5,0.1,0,0,2021-07-02\n", false, 0, 0, ""},
        {"any word before the parameters", "5,0,0,whatever,0.5,0.5,0.1,0,0,d,T\n", true, 5, 0.1, "T"},
        {"exponent", "5,0,0,param,0.5,0.5,1.5e-1,0,0,d,T\n", true, 5, 0.15, "T"},
        {"text after a number", "12abc,0,0,param,0.5,0.5,0.1,0,0,d,T\n", true, 12, 0.1, "T"},
        {"leading blanks", " 7,0,0,param, 0.5,0.5, 0.25,0,0,d,T\n", true, 7, 0.25, "T"},
        {"CR before LF", "5,0,0,param,0.5,0.5,0.1,0,0,d,33UWQ\r\nrow\r\n", true, 5, 0.1, "33UWQ"},
        {"no line end", "5,0,0,param,0.5,0.5,0.1,0,0,d,T", true, 5, 0.1, "T"},
        {"negative class count", "5,0,-1,param,0.5,0.5,0.1,0,0,d,T\n", false, 0, 0, ""},
        {"negative point count", "-5,0,0,param,0.5,0.5,0.1,0,0,d,T\n", false, 0, 0, ""},
        {"negative class size", "5,0,1,-5,a,param,0.5,0.5,0.1,0,0,d,T\n", false, 0, 0, ""},
        {"huge class count", "5,0,2000000000,param,0.5,0.5,0.1,0,0,d,T\n", false, 0, 0, ""},
        {"class count past int", "5,0,99999999999,param,0.5,0.5,0.1,0,0,d,T\n", false, 0, 0, ""},
        {"huge channel count", "5,0,0,param,0.5,0.5,0.1,2147483647,0,d,T\n", false, 0, 0, ""},
        {"huge statistics count", "5,0,0,param,0.5,0.5,0.1,0,2147483647,d,T\n", false, 0, 0, ""},
        {"parameter not a number", "5,0,0,param,0.5,x,0.1,0,0,d,T\n", false, 0, 0, ""},
        {"count not a number", "five,0,0,param,0.5,0.5,0.1,0,0,d,T\n", false, 0, 0, ""},
        {"two fields", "5,0\n", false, 0, 0, ""},
        {"empty file", "", false, 0, 0, ""},
    };
    for (const Case& c : cases) {
        TempDir dir;
        NatNetInfo info = headerOf(dir, c.text);
        EXPECT_EQ(info.readHeader(), c.reads) << c.name;
        if (!c.reads)
            continue;
        EXPECT_EQ(info.numberOfPoints, c.points) << c.name;
        ASSERT_EQ(info.parameters.size(), 3u) << c.name;
        EXPECT_DOUBLE_EQ(info.parameters[2], c.delta) << c.name;
        EXPECT_EQ(info.s2Tile, c.tile) << c.name;
        EXPECT_TRUE(info.clusterSizes.empty() && info.channelNames.empty() && info.statisticsNames.empty())
            << c.name;
    }
}

TEST(NatNetHeader, MissingFileDoesNotRead)
{
    NatNetInfo info;
    info.directory = "/nonexistent-folder/";
    info.fileName = "natNet_x.csv";
    EXPECT_FALSE(info.readHeader());
}

TEST(NatNetHeader, ChecksOneDefectPerRow)
{
    TempDir dir;
    NatNetInfo good = headerOf(dir, kGoodHeader + "\n");
    ASSERT_TRUE(good.readHeader());
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();

    struct Case {
        const char* name;
        void (*change)(NatNetInfo&, double, double);
        NetworkDefect defect;
    };
    const std::vector<Case> cases = {
        {"valid", [](NatNetInfo&, double, double) {}, NetworkDefect::None},
        {"one training point",
         [](NatNetInfo& n, double, double) {
             n.numberOfPoints = 1;
             n.clusterSizes = {1};
             n.clusterNames = {"a"};
         },
         NetworkDefect::TooFewPoints},
        {"no class",
         [](NatNetInfo& n, double, double) {
             n.clusterSizes.clear();
             n.clusterNames.clear();
         },
         NetworkDefect::NoClass},
        {"a class of size 0", [](NatNetInfo& n, double, double) { n.clusterSizes = {20, 0}; },
         NetworkDefect::ClassSizes},
        {"sizes not adding up", [](NatNetInfo& n, double, double) { n.clusterSizes = {12, 9}; },
         NetworkDefect::ClassSizes},
        {"dimension not M x K", [](NatNetInfo& n, double, double) { n.dimension = 5; },
         NetworkDefect::Dimension},
        {"no channel",
         [](NatNetInfo& n, double, double) {
             n.channelNames.clear();
             n.dimension = 0;
         },
         NetworkDefect::Dimension},
        {"two parameters", [](NatNetInfo& n, double, double) { n.parameters.pop_back(); },
         NetworkDefect::Parameters},
        {"NaN Kx", [](NatNetInfo& n, double nan, double) { n.parameters[0] = nan; }, NetworkDefect::Parameters},
        {"infinite delta", [](NatNetInfo& n, double, double inf) { n.parameters[2] = inf; },
         NetworkDefect::Parameters},
        {"negative Ky", [](NatNetInfo& n, double, double) { n.parameters[1] = -0.5; }, NetworkDefect::Parameters},
        {"negative delta links every pair", [](NatNetInfo& n, double, double) { n.parameters[2] = -1.0; },
         NetworkDefect::None},
        {"one class",
         [](NatNetInfo& n, double, double) {
             n.clusterSizes = {20};
             n.clusterNames = {"forest"};
         },
         NetworkDefect::None},
    };
    for (const Case& c : cases) {
        NatNetInfo info = good;
        c.change(info, nan, inf);
        EXPECT_EQ(checkNetwork(info), c.defect) << c.name;
        EXPECT_EQ(networkDefectText(checkNetwork(info)).empty(), c.defect == NetworkDefect::None) << c.name;
    }
}

TEST(NatNetHeader, BandsAreMatchedByExactCodeInChannelOrder)
{
    IO::File file;
    for (const char* code : {"B02", "B04", "B08", "B04", "NDVI"}) {
        file.bands.emplace_back(code);
        file.bands.back().code = code;
    }
    NatNetInfo network;
    network.channelNames = {"B08", "B04", "b04", "NDVI", "B11"};
    const NetworkBands matched = networkBandIndexes(network, file);
    EXPECT_EQ(matched.bands, (std::vector<int>{2, 1, 4}));
    EXPECT_EQ(matched.missing, (std::vector<std::string>{"b04", "B11"}));
}

namespace {

// Writes text as a natNet file and reads its training set into classifier.
bool readTrainingText(const std::string& text, NatNetClassifier& classifier)
{
    TempDir dir;
    writeFile(dir.file("natNet_t.csv"), text);
    classifier.directory = dir.path().string() + "/";
    classifier.fileName = "natNet_t.csv";
    return classifier.readTrainingSet();
}

} // namespace

TEST(NatNetTrainingSet, ReadsRowsByTheHeaderCounts)
{
    NatNetClassifier classifier;
    ASSERT_TRUE(readTrainingText("3,2,2,2,1,a,b,param,1,1,0.5,1,B04,2,mean,std,d,T\r\n"
                                 "1.5,2,9,9\r\n"
                                 "nan,-inf,\n"
                                 "4e-1,7abc\n"
                                 "99,99\n",
                                 classifier));
    EXPECT_EQ(classifier.rows, 3);
    EXPECT_EQ(classifier.features, 2);
    EXPECT_EQ(classifier.classSizes, (std::vector<int>{2, 1}));
    // Values past `features` are ignored, every non-finite value is 0, and
    // lines past `rows` are not read.
    EXPECT_EQ(classifier.trainingRows,
              (std::vector<std::vector<double>>{{1.5, 2.0}, {0.0, 0.0}, {0.4, 7.0}}));
}

// The header's counts are believed only as far as rows are read: a header
// that declares fifty million values per point over no rows, or over rows
// shorter than that, costs what the rows hold and no more.
TEST(NatNetTrainingSet, LimitsCostWhatTheRowsHold)
{
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"no rows", "0,50000000,0\n"},
        {"no rows, classes named", "0,50000000,1,0,a,param,1,1,0.5,1,B04\n"},
    };
    for (const auto& [name, text] : cases) {
        NatNetClassifier classifier;
        ASSERT_TRUE(readTrainingText(text, classifier)) << name;
        EXPECT_TRUE(classifier.trainingRows.empty()) << name;
        std::vector<double> mins{1.0};
        std::vector<double> maxs{1.0};
        classifier.computeNormalization(classifier.features, mins, maxs);
        EXPECT_TRUE(mins.empty()) << name;
        EXPECT_TRUE(maxs.empty()) << name;
    }

    // Rows of two values, limits asked for five: the limits cover the two
    // values the rows hold and the rows are rescaled by them.
    NatNetClassifier classifier;
    classifier.trainingRows = {{1.0, 10.0}, {3.0, 20.0}};
    std::vector<double> mins;
    std::vector<double> maxs;
    classifier.computeNormalization(5, mins, maxs);
    EXPECT_EQ(mins, (std::vector<double>{1.0, 10.0}));
    EXPECT_EQ(maxs, (std::vector<double>{3.0, 20.0}));
    EXPECT_EQ(classifier.trainingRows, (std::vector<std::vector<double>>{{0.0, 0.0}, {1.0, 1.0}}));
}

TEST(NatNetTrainingSet, RefusesFilesThatDoNotHoldTheirRows)
{
    const std::string header = "2,3,1,2,a,param,1,1,0.5,1,B04,3,mean,std,min,d,T\n";
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"missing line", header + "1,2,3\n"},
        {"short line", header + "1,2,3\n4,5\n"},
        {"not a number", header + "1,2,3\n4,x,6\n"},
        {"empty value", header + "1,,3\n4,5,6\n"},
        {"header without class sizes", "2,3,4,1\n1,2,3\n4,5,6\n"},
        {"negative count", "-2,3,1,2,a\n1,2,3\n4,5,6\n"},
        {"empty file", ""},
    };
    for (const auto& [name, text] : cases) {
        NatNetClassifier classifier;
        EXPECT_FALSE(readTrainingText(text, classifier)) << name;
    }
    NatNetClassifier missing;
    missing.directory = "/nonexistent-folder/";
    missing.fileName = "natNet_t.csv";
    EXPECT_FALSE(missing.readTrainingSet());
}

// The network explorer reads the header of every natNet file of its folder,
// and classification the rows: a line of 8 MiB of commas (8 million fields
// once split) is refused after the line readers' ceiling, however the file
// goes on.
TEST(NatNetTrainingSet, LinesBeyondTheCeilingAreRefusedUnsplit)
{
    const std::string commas(std::size_t{8} << 20, ',');
    const std::string header = "2,3,1,2,a,param,1,1,0.5,1,B04,3,mean,std,min,d,T\n";
    TestSupport::TempDir dir;
    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"header", commas + "\n" + header + "1,2,3\n4,5,6\n"},
        {"row", header + "1,2,3" + commas + "\n4,5,6\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TestSupport::writeFile(dir.file("natNet_long.csv"), c.text);
        const TestSupport::PeakMemory memory;
        NatNetInfo network;
        network.directory = dir.path().string() + "/";
        network.fileName = "natNet_long.csv";
        const bool header = network.readHeader();
        NatNetClassifier classifier;
        classifier.directory = network.directory;
        classifier.fileName = network.fileName;
        EXPECT_FALSE(classifier.readTrainingSet());
        EXPECT_LT(memory.peakGrowthKilobytes(), 32L * 1024);
        EXPECT_EQ(header, std::string(c.name) == "row");
    }
}
