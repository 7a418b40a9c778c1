// Classification of an image area: window features, the whole run on a
// two-class network whose classes fill the two halves of the images, its
// failures, and the relevancy maps.

#include <cmath>
#include <filesystem>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <omp.h>

#include "analysis/AreaClassification.h"
#include "analysis/MaskedStatistics.h"
#include "io/NumberText.h"
#include "support/TestSupport.h"

namespace {

using TestSupport::TempDir;
using TestSupport::writeFile;

// Class means of the two-class network, per channel (B04, B08).
constexpr double kForest[2] = {0.2, 0.7};
constexpr double kMeadow[2] = {0.8, 0.3};

// A natNet file of two classes of ten points, one "mean" per channel,
// scattered around the class means. With sameClasses both classes hold the
// same ten points, which nothing can separate.
std::string twoClassNetwork(bool sameClasses = false)
{
    std::string text = "20,2,2,10,10,forest,meadow,param,1,1,0.6,2,B04,B08,1,mean,2020-06-01,33UXQ\n";
    std::mt19937 random(3);
    std::uniform_real_distribution<double> jitter(-0.03, 0.03);
    for (int c = 0; c < 2; ++c) {
        if (sameClasses)
            random.seed(3);
        const double* mean = c == 0 || sameClasses ? kForest : kMeadow;
        for (int i = 0; i < 10; ++i)
            text += IO::formatNumber(mean[0] + jitter(random)) + "," + IO::formatNumber(mean[1] + jitter(random)) +
                    "\n";
    }
    return text;
}

NatNetInfo networkIn(const TempDir& dir, const std::string& text)
{
    writeFile(dir.file("natNet_habitats.csv"), text);
    NatNetInfo network;
    network.directory = dir.path().string() + "/";
    network.fileName = "natNet_habitats.csv";
    EXPECT_TRUE(network.readHeader());
    return network;
}

// W x W images: the forest means left of column W / 2, the meadow means
// from there on.
std::vector<std::vector<double>> halfPlaneChannels(int W)
{
    std::vector<std::vector<double>> channels(2, std::vector<double>(static_cast<std::size_t>(W) * W));
    for (int c = 0; c < 2; ++c)
        for (int y = 0; y < W; ++y)
            for (int x = 0; x < W; ++x)
                channels[c][static_cast<std::size_t>(y) * W + x] = x < W / 2 ? kForest[c] : kMeadow[c];
    return channels;
}

constexpr int kInner = 20;
constexpr int kWindow = kInner + 24;

} // namespace

TEST(ClassificationFeatures, WindowStatisticsOfARamp)
{
    // Channel 0 is x + 10 y, channel 1 twice that: over a 7 x 7 window the
    // mean is the centre's value, the population variance 4 + 100 x 4.
    const int W = 20;
    const int inner = 6;
    std::vector<std::vector<double>> channels(2, std::vector<double>(W * W));
    for (int y = 0; y < W; ++y)
        for (int x = 0; x < W; ++x) {
            channels[0][y * W + x] = x + 10.0 * y;
            channels[1][y * W + x] = 2.0 * (x + 10.0 * y);
        }
    const std::vector<std::string> names = {"mean", "median", "std", "min", "max"};
    std::vector<double> samples;
    ASSERT_TRUE(computeClassificationFeatures(channels, inner, inner, W, W, 3, names, samples));
    ASSERT_EQ(samples.size(), static_cast<std::size_t>(inner * inner * 2 * 5));
    const int origin = (W - inner) / 2;
    for (int row = 0; row < inner; ++row)
        for (int col = 0; col < inner; ++col) {
            const double centre = (origin + col) + 10.0 * (origin + row);
            const double* sample = &samples[static_cast<std::size_t>(row * inner + col) * 10];
            for (int c = 0; c < 2; ++c) {
                const double f = c + 1.0;
                const double* v = sample + c * 5;
                EXPECT_NEAR(v[0], f * centre, 1e-9);
                EXPECT_EQ(v[1], 0.0);
                EXPECT_NEAR(v[2], f * std::sqrt(404.0), 1e-9);
                EXPECT_DOUBLE_EQ(v[3], f * (centre - 33.0));
                EXPECT_DOUBLE_EQ(v[4], f * (centre + 33.0));
            }
        }

    // Only "mean": one value per channel.
    ASSERT_TRUE(computeClassificationFeatures(channels, inner, inner, W, W, 4, {"mean"}, samples));
    ASSERT_EQ(samples.size(), static_cast<std::size_t>(inner * inner * 2));
    EXPECT_NEAR(samples[0], origin + 10.0 * origin, 1e-9);
    EXPECT_NEAR(samples[1], 2.0 * (origin + 10.0 * origin), 1e-9);
}

TEST(ClassificationFeatures, GraphLaplacianMeansAreWindowMeansOfTheWholeImage)
{
    const int W = 16;
    std::vector<std::vector<double>> channels(1, std::vector<double>(W * W));
    for (int i = 0; i < W * W; ++i)
        channels[0][i] = std::sin(0.37 * i) + 0.01 * i;
    std::vector<double> gl3(W * W), gl5(W * W);
    computeGraphLaplacianDouble(channels[0].data(), W * W, gl3.data(), 3, W, W);
    computeGraphLaplacianDouble(channels[0].data(), W * W, gl5.data(), 5, W, W);
    std::vector<double> samples;
    ASSERT_TRUE(computeClassificationFeatures(channels, 4, 4, W, W, 5, {"meanGL3", "meanGL5"}, samples));
    const int origin = (W - 4) / 2;
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 4; ++col) {
            double sum3 = 0.0, sum5 = 0.0;
            for (int dy = -5; dy <= 5; ++dy)
                for (int dx = -5; dx <= 5; ++dx) {
                    const int i = (origin + row + dy) * W + origin + col + dx;
                    sum3 += gl3[i];
                    sum5 += gl5[i];
                }
            EXPECT_NEAR(samples[(row * 4 + col) * 2], sum3 / 121.0, 1e-12);
            EXPECT_NEAR(samples[(row * 4 + col) * 2 + 1], sum5 / 121.0, 1e-12);
        }
}

TEST(ClassificationFeatures, RefusesWindowsThatLeaveTheImages)
{
    std::vector<std::vector<double>> channels(1, std::vector<double>(100, 1.0));
    std::vector<double> samples = {42.0};
    EXPECT_FALSE(computeClassificationFeatures(channels, 6, 6, 10, 10, 3, {"mean"}, samples));
    EXPECT_FALSE(computeClassificationFeatures(channels, 2, 2, 10, 9, 3, {"mean"}, samples));
    EXPECT_EQ(samples, std::vector<double>{42.0});
    EXPECT_TRUE(computeClassificationFeatures(channels, 4, 4, 10, 10, 3, {"mean"}, samples));
}

TEST(AreaClassification, HalvesOfTheImageFallIntoTheirClasses)
{
    TempDir dir;
    const NatNetInfo network = networkIn(dir, twoClassNetwork());
    auto channels = halfPlaneChannels(kWindow);
    // A not-a-number pixel in the forest half.
    const int nanX = 14;
    const int nanY = 22;
    channels[0][static_cast<std::size_t>(nanY) * kWindow + nanX] = std::numeric_limits<double>::quiet_NaN();

    std::vector<std::vector<std::vector<double>>> results;
    ClassificationError error = ClassificationError::UnreadableNetwork;
    std::string printed;
    printed = TestSupport::capturedStdout([&] {
        ASSERT_TRUE(classifyArea(channels, kInner, kInner, kWindow, kWindow, results, network, &error));
    });
    EXPECT_EQ(error, ClassificationError::None);
    ASSERT_EQ(results.size(), 3u);
    for (const auto& result : results) {
        ASSERT_EQ(result.size(), 2u);
        EXPECT_EQ(result[0].size(), static_cast<std::size_t>(kInner * kInner));
    }
    for (const char* line : {"square area:   7 x 7\n", "square area:   9 x 9\n", "square area:   11 x 11\n",
                             "CPU TOTAL time used: "})
        EXPECT_NE(printed.find(line), std::string::npos) << line;
    EXPECT_NE(printed.find("Learning input data:" + network.directory + network.fileName), std::string::npos);

    std::vector<std::vector<double>> maps(2);
    ASSERT_TRUE(computeRelevancyMap(results, kInner, kInner, maps));
    // Inner pixels whose largest window lies in one half.
    const int origin = 12;
    for (int row = 0; row < kInner; ++row)
        for (int col = 0; col < kInner; ++col) {
            const int x = origin + col;
            const int y = origin + row;
            const std::size_t i = static_cast<std::size_t>(row) * kInner + col;
            const bool nearNan = std::abs(x - nanX) <= 5 && std::abs(y - nanY) <= 5;
            if (x == nanX && y == nanY) {
                EXPECT_EQ(maps[0][i], 0.0);
                EXPECT_EQ(maps[1][i], 0.0);
            }
            if (nearNan)
                continue;
            if (x + 5 < kWindow / 2) {
                EXPECT_GE(maps[0][i], 0.99) << col << "," << row;
                EXPECT_EQ(maps[1][i], 0.0) << col << "," << row;
            } else if (x - 5 >= kWindow / 2) {
                EXPECT_GE(maps[1][i], 0.99) << col << "," << row;
                EXPECT_EQ(maps[0][i], 0.0) << col << "," << row;
            }
        }
}

TEST(AreaClassification, SameBitsOnOneAndEightThreads)
{
    TempDir dir;
    const NatNetInfo network = networkIn(dir, twoClassNetwork());
    const auto channels = halfPlaneChannels(kWindow);
    auto run = [&](int threads) {
        const int previous = omp_get_max_threads();
        omp_set_num_threads(threads);
        std::vector<std::vector<std::vector<double>>> results;
        TestSupport::quietly([&] {
            EXPECT_TRUE(classifyArea(channels, kInner, kInner, kWindow, kWindow, results, network));
        });
        omp_set_num_threads(previous);
        return results;
    };
    EXPECT_EQ(run(1), run(8));
}

// A reading holds the header and the training points of one pass over the
// file: it classifies the same whatever the file holds afterwards.
TEST(AreaClassification, AReadingClassifiesAsTheFileWasWhenItWasRead)
{
    TempDir dir;
    const NatNetInfo described = networkIn(dir, twoClassNetwork());
    const NatNetReading reading = readNatNet(described.directory, described.fileName);
    ASSERT_EQ(reading.error, ClassificationError::None);
    EXPECT_EQ(reading.network.clusterNames, (std::vector<std::string>{"forest", "meadow"}));
    EXPECT_EQ(reading.network.channelNames, (std::vector<std::string>{"B04", "B08"}));
    EXPECT_EQ(reading.trainingRows.size(), 20u);
    const auto channels = halfPlaneChannels(kWindow);
    const auto classify = [&](const NatNetReading& network) {
        std::vector<std::vector<std::vector<double>>> results;
        TestSupport::quietly([&] {
            EXPECT_TRUE(classifyArea(channels, kInner, kInner, kWindow, kWindow, results, network));
        });
        return results;
    };
    const auto before = classify(reading);

    const std::vector<std::pair<const char*, std::string>> changes = {
        {"classes swapped", "20,2,2,10,10,meadow,forest,param,1,1,0.6,2,B04,B08,1,mean,d,T\n" +
                                twoClassNetwork().substr(twoClassNetwork().find('\n') + 1)},
        {"not a network", "nothing\n"},
        {"gone", ""},
    };
    for (const auto& [name, text] : changes) {
        if (text.empty())
            std::filesystem::remove(dir.file(described.fileName));
        else
            writeFile(dir.file(described.fileName), text);
        EXPECT_EQ(classify(reading), before) << name;
    }
}

TEST(AreaClassification, ReadingsThatCannotClassifySayWhy)
{
    const std::string network = twoClassNetwork();
    const std::string header = network.substr(0, network.find('\n') + 1);
    const std::vector<std::pair<std::string, ClassificationError>> cases = {
        {"", ClassificationError::UnreadableNetwork},
        {"20,2,2\n", ClassificationError::UnreadableNetwork},
        {header + "0.2,0.7\n", ClassificationError::UnreadableNetwork},
        {"20,2,2,10,9,forest,meadow,param,1,1,0.6,2,B04,B08,1,mean,d,T\n" + network.substr(header.size()),
         ClassificationError::InvalidNetwork},
    };
    for (const auto& [text, error] : cases) {
        TempDir dir;
        if (!text.empty())
            writeFile(dir.file("natNet_habitats.csv"), text);
        const NatNetReading reading = readNatNet(dir.path().string() + "/", "natNet_habitats.csv");
        EXPECT_EQ(reading.error, error) << text;
        EXPECT_TRUE(reading.trainingRows.empty()) << text;
        std::vector<std::vector<std::vector<double>>> results;
        ClassificationError given = ClassificationError::None;
        const auto channels = halfPlaneChannels(kWindow);
        EXPECT_FALSE(classifyArea(channels, kInner, kInner, kWindow, kWindow, results, reading, &given)) << text;
        EXPECT_EQ(given, error) << text;
    }
}

TEST(AreaClassification, FailuresSayWhyAndLeaveNoResults)
{
    struct Case {
        const char* name;
        std::string file;  // empty: no file
        int channels;
        int channelSize;
        int inner;
        ClassificationError error;
    };
    const std::string network = twoClassNetwork();
    const std::string header = network.substr(0, network.find('\n') + 1);
    const int full = kWindow * kWindow;
    const std::vector<Case> cases = {
        {"no file", "", 2, full, kInner, ClassificationError::UnreadableNetwork},
        {"training rows missing", header + "0.2,0.7\n", 2, full, kInner, ClassificationError::UnreadableNetwork},
        {"class sizes not adding up",
         "20,2,2,10,9,forest,meadow,param,1,1,0.6,2,B04,B08,1,mean,d,T\n" + network.substr(header.size()), 2, full,
         kInner, ClassificationError::InvalidNetwork},
        {"negative Kx",
         "20,2,2,10,10,forest,meadow,param,-1,1,0.6,2,B04,B08,1,mean,d,T\n" + network.substr(header.size()), 2,
         full, kInner, ClassificationError::InvalidNetwork},
        {"one channel short", network, 1, full, kInner, ClassificationError::ChannelMismatch},
        {"channel of the wrong size", network, 2, full - 1, kInner, ClassificationError::ChannelMismatch},
        {"margin of 4 pixels", network, 2, full, kWindow - 8, ClassificationError::AreaTooSmall},
        {"classes on one spot", twoClassNetwork(true), 2, full, kInner, ClassificationError::NoSeparation},
    };
    for (const Case& c : cases) {
        TempDir dir;
        NatNetInfo info;
        info.directory = dir.path().string() + "/";
        info.fileName = "natNet_habitats.csv";
        if (!c.file.empty()) {
            writeFile(dir.file(info.fileName), c.file);
            info.readHeader();
        }
        std::vector<std::vector<double>> channels(static_cast<std::size_t>(c.channels),
                                                  std::vector<double>(static_cast<std::size_t>(c.channelSize), 0.5));
        std::vector<std::vector<std::vector<double>>> results(3, std::vector<std::vector<double>>(2, {1.0}));
        ClassificationError error = ClassificationError::None;
        bool ok = true;
        TestSupport::quietly(
            [&] { ok = classifyArea(channels, c.inner, c.inner, kWindow, kWindow, results, info, &error); });
        EXPECT_FALSE(ok) << c.name;
        EXPECT_EQ(error, c.error) << c.name;
        EXPECT_FALSE(classificationErrorText(error).empty()) << c.name;
        ASSERT_EQ(results.size(), 3u) << c.name;
        for (const auto& result : results)
            EXPECT_TRUE(result.empty()) << c.name;
    }
}

TEST(RelevancyMaps, SigmoidOfTheStrongestResultStretched)
{
    const double top = 1.0 / (1.0 + std::exp(-6.0));
    // Class 0 over four pixels: 0, 0.5 and 1 in the first result; the third
    // result holds a stronger 0.6 for pixel 3. Class 1 is never assigned.
    std::vector<std::vector<std::vector<double>>> results = {
        {{0.0, 0.5, 1.0, 0.0}, {0.0, 0.0, 0.0, 0.0}},
        {{0.0, 0.0, 0.0, 0.0}, {0.0, 0.0, 0.0, 0.0}},
        {{0.0, 0.2, 0.0, 0.6}}, // holds no list for class 1
    };
    std::vector<std::vector<double>> maps(2);
    ASSERT_TRUE(computeRelevancyMap(results, 2, 2, maps));
    const double t06 = 1.0 / (1.0 + std::exp((0.5 - 0.6) * 12.0));
    EXPECT_EQ(maps[0][0], 0.0);
    EXPECT_NEAR(maps[0][1], 0.5 / top, 1e-12);
    EXPECT_NEAR(maps[0][2], 1.0, 1e-12);
    EXPECT_NEAR(maps[0][3], t06 / top, 1e-12);
    EXPECT_EQ(maps[1], std::vector<double>(4, 0.0));

    std::vector<std::vector<double>> none;
    EXPECT_TRUE(computeRelevancyMap(results, 2, 2, none));
    EXPECT_TRUE(none.empty());
}

TEST(AreaClassification, ClassifierRunsOnItsOwnSamples)
{
    TempDir dir;
    const NatNetInfo network = networkIn(dir, twoClassNetwork());
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // The two class means, a not-a-number sample and one far outside the
    // training range.
    NatNetClassifier classifier;
    classifier.setParameters(network.directory, network.fileName, 1.0, 1.0, 0.6,
                             {kForest[0], kForest[1], kMeadow[0], kMeadow[1], nan, 0.5, 5.0, 5.0}, 4);
    std::vector<std::vector<double>> out;
    TestSupport::quietly([&] { ASSERT_TRUE(classifier.run(out)); });
    ASSERT_EQ(out.size(), 2u);
    EXPECT_GT(out[0][0], 0.5);
    EXPECT_EQ(out[1][0], 0.0);
    EXPECT_EQ(out[0][1], 0.0);
    EXPECT_GT(out[1][1], 0.5);
    for (int i : {2, 3}) {
        EXPECT_EQ(out[0][i], 0.0) << i;
        EXPECT_EQ(out[1][i], 0.0) << i;
    }

    NatNetClassifier missing;
    missing.setParameters(network.directory, "natNet_none.csv", 1.0, 1.0, 0.6, {0.2, 0.7}, 1);
    std::vector<std::vector<double>> untouched = {{7.0}};
    const std::string printed = TestSupport::capturedStdout([&] { EXPECT_FALSE(missing.run(untouched)); });
    EXPECT_NE(printed.find("Failed: Open CSV file \n"), std::string::npos);
    EXPECT_EQ(untouched, (std::vector<std::vector<double>>{{7.0}}));
    EXPECT_EQ(missing.error, ClassificationError::UnreadableNetwork);
}
