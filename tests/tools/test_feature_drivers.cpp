// The feature drivers and their workers: which bands a driver runs, the
// labels of its tasks, what each worker writes into the band caches, and
// that nothing is computed or overwritten from missing, stale or mis-sized
// inputs.

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <QDoubleSpinBox>
#include <gtest/gtest.h>

#include "app/FenlarkApp.h"
#include "app/FenlarkAppUI.h"
#include "app/WidgetUtils.h"
#include "app/test_shell_support.h"
#include "filter/Filtration.h"
#include "filter/ImageDerivatives.h"
#include "feature_fixture.h"
#include "support/MemoryFile.h"
#include "tools/FeatureKeys.h"
#include "tools/TaskRunner.h"

namespace {

using FeatureTest::FeatureTools;
using FeatureTest::RecordingRunner;
using UI::FenlarkApp;
using Rule = FenlarkApp::BandRule;
using Side = FenlarkApp::ViewerSide;
using Tasks = std::vector<std::vector<int>>;

constexpr Side left = Side::leftTabWidget;
constexpr Side right = Side::rightTabWidget;


// ------------------------------------------------------------- band rules

struct RuleCase {
    Rule rule;
    int channel;
    bool multi;
    Tasks tasks;
};

TEST(FeatureBandRules, PickTheBandsOfEachTaskInOrder)
{
    // Display bands red 4, green 5, blue 6.
    const std::vector<RuleCase> cases{
        {Rule::PerBand, -1, true, {{4}, {5}, {6}}},
        {Rule::PerBand, -1, false, {{4}}},
        {Rule::PerBand, 0, true, {{4}}},
        {Rule::PerBand, 1, true, {{5}}},
        {Rule::PerBand, 2, true, {{6}}},
        {Rule::PerBand, 2, false, {}},
        {Rule::PerBand, 1, false, {}},
        {Rule::PerBand, 5, true, {}},
        {Rule::PerBand, -2, true, {}},
        {Rule::OneBand, -1, true, {{4}}},
        {Rule::OneBand, 2, false, {{6}}},
        {Rule::OneBand, 1, true, {{5}}},
        {Rule::OneBand, 5, true, {}},
        {Rule::EdgeDetector, -1, true, {{4, 5, 6}}},
        {Rule::EdgeDetector, -1, false, {{4}}},
        {Rule::EdgeDetector, 2, true, {{6}}},
        {Rule::EdgeDetector, 3, true, {}},
        {Rule::ThreeBands, -1, false, {{4, 5, 6}}},
        {Rule::GraphLaplacian, -1, true, {{4}, {5}, {6}}},
        {Rule::GraphLaplacian, 2, false, {{4}}},
    };
    for (const RuleCase& c : cases) {
        EXPECT_EQ(FenlarkApp::featureTaskBands(c.rule, c.channel, {4, 5, 6}, c.multi), c.tasks)
            << "rule " << static_cast<int>(c.rule) << ", channel " << c.channel << ", multi " << c.multi;
    }
}

// ----------------------------------------------------------------- labels

TEST_F(FeatureTools, LabelsNameTheBandsOfEachTaskInTaskOrder)
{
    const QString grads = QString::fromLatin1(Keys::dataCacheToolsFilterGradX);
    storeImage(0, Keys::dataCacheToolsFilterSolution, std::vector<float>(areaCount(), 0.5f));
    storeImage(1, Keys::dataCacheToolsFilterSolution, std::vector<float>(areaCount(), 0.5f));
    storeImage(2, Keys::dataCacheToolsFilterSolution, std::vector<float>(areaCount(), 0.5f));

    EXPECT_TRUE(quiet([&] {
        return window->updateImgGrads(left, Keys::dataCacheToolsFilterSolution, Keys::dataCacheToolsFilterGradX,
                                      Keys::dataCacheToolsFilterGradY, -1);
    }));
    EXPECT_EQ(runner->labels, QStringList({"Gradients for channel B02...", "Gradients for channel B03...",
                                           "Gradients for channel B04..."}));

    runner->labels.clear();
    EXPECT_TRUE(quiet([&] {
        return window->updateImgEdgeDetector(left, 2.0, grads, Keys::dataCacheToolsFilterGradY,
                                             Keys::dataCacheToolsFilterEdgeDetector, -1);
    }));
    EXPECT_TRUE(quiet([&] {
        return window->updateSegmEdgeDetectorGradField(left, Keys::dataCacheToolsFilterEdgeDetector,
                                                       Keys::dataCacheToolsSemiEdgeDetectorGradX,
                                                       Keys::dataCacheToolsSemiEdgeDetectorGradY, -1);
    }));
    EXPECT_TRUE(quiet([&] {
        return window->updateSegmEdgeDetectorGradFieldNorm(left, Keys::dataCacheToolsSemiEdgeDetectorGradX,
                                                           Keys::dataCacheToolsSemiEdgeDetectorGradY,
                                                           Keys::dataCacheToolsSemiNormOfVectField, 0);
    }));
    EXPECT_TRUE(quiet([&] {
        return window->updateImgMaxGrads(left, grads, Keys::dataCacheToolsFilterGradY,
                                         Keys::dataCacheToolsSemiMaxGradX, Keys::dataCacheToolsSemiMaxGradY);
    }));
    EXPECT_EQ(runner->labels,
              QStringList({"Edge detector for channels B02, B03 and B04...",
                           "Edge detector gradient field for channels B02, B03 and B04...",
                           "Norm of edge detector gradient field for channel B02...",
                           "Max gradients for channels B02, B03 and B04..."}));
    // The three-band edge detector lives in the red band's record only.
    EXPECT_EQ(entry(0, Keys::dataCacheToolsFilterEdgeDetector).size(), areaCount());
    EXPECT_TRUE(entry(1, Keys::dataCacheToolsFilterEdgeDetector).empty());

    runner->labels.clear();
    EXPECT_TRUE(quiet([&] {
        return window->updateFilterFeatureSolution(left, Filter::linear, 0.5, 0.0, 0.0,
                                                   Keys::dataCacheToolsFilterSolution,
                                                   Keys::dataCacheToolsAutoEdgeDetectorFilterSolution, -1);
    }));
    EXPECT_EQ(runner->labels, QStringList({"Filtering feature...", "Filtering feature...", "Filtering feature..."}));
}

TEST_F(FeatureTools, SingleChannelSidesRunTheRedBandOrTheSelectedOne)
{
    showOn(0, index, false, {2, 0, 1});
    storeImage(2, Keys::dataCacheToolsFilterSolution, std::vector<float>(areaCount(), 0.5f));
    storeImage(1, Keys::dataCacheToolsAutoEdgeDetector, std::vector<float>(areaCount(), 0.5f));

    EXPECT_TRUE(quiet([&] {
        return window->updateImgGrads(left, Keys::dataCacheToolsFilterSolution, Keys::dataCacheToolsFilterGradX,
                                      Keys::dataCacheToolsFilterGradY, -1);
    }));
    EXPECT_TRUE(quiet([&] {
        return window->updateImgEdgeDetector(left, 1.0, Keys::dataCacheToolsFilterGradX,
                                             Keys::dataCacheToolsFilterGradY, Keys::dataCacheToolsFilterEdgeDetector,
                                             -1);
    }));
    // Selector 2 on one channel: per-band drivers start nothing, one-band
    // drivers take the stored blue band.
    EXPECT_FALSE(quiet([&] {
        return window->updateImgGrads(left, Keys::dataCacheToolsFilterSolution, Keys::dataCacheToolsFilterGradX,
                                      Keys::dataCacheToolsFilterGradY, 2);
    }));
    EXPECT_TRUE(quiet([&] {
        return window->updateSegmEdgeDetectorGradField(left, Keys::dataCacheToolsAutoEdgeDetector,
                                                       Keys::dataCacheToolsAutoEdgeDetectorGradX,
                                                       Keys::dataCacheToolsAutoEdgeDetectorGradY, 2);
    }));
    EXPECT_FALSE(quiet([&] {
        return window->updateSegmEdgeDetectorGradField(left, Keys::dataCacheToolsAutoEdgeDetector,
                                                       Keys::dataCacheToolsAutoEdgeDetectorGradX,
                                                       Keys::dataCacheToolsAutoEdgeDetectorGradY, 5);
    }));
    EXPECT_EQ(runner->labels, QStringList({"Gradients for channel B04...", "Edge detector for channel B04...",
                                           "Edge detector gradient field for channel B03..."}));
}

TEST_F(FeatureTools, NothingStartsWithoutADataSetOrWithAStaleBand)
{
    const auto grads = [&](Side side) {
        return quiet([&] {
            return window->updateImgGrads(side, Keys::dataCacheToolsFilterSolution, Keys::dataCacheToolsFilterGradX,
                                          Keys::dataCacheToolsFilterGradY, -1);
        });
    };
    storeImage(0, Keys::dataCacheToolsFilterSolution, std::vector<float>(areaCount(), 0.5f));

    EXPECT_FALSE(grads(right)) << "the right side shows nothing";

    showOn(0, index, false, {9, 0, 0});
    EXPECT_FALSE(grads(left)) << "red band out of range";

    showOn(0, index, false, {4, 0, 0});
    EXPECT_FALSE(grads(left)) << "derived band not loaded";

    showOn(0, index, true, {0, 1, 2});
    TestSupport::quietly([&] { file->unloadBandsExcept({0, 1}); });
    EXPECT_FALSE(grads(left)) << "blue band unloaded";
    EXPECT_TRUE(runner->labels.isEmpty());
    EXPECT_TRUE(entry(0, Keys::dataCacheToolsFilterGradX).empty()) << "no task ran for the bands still loaded";
}

TEST_F(FeatureTools, AFailedTaskMakesTheDriverFalse)
{
    // Only the red band has an input: its task runs, the others fail.
    storeImage(0, Keys::dataCacheToolsFilterSolution, std::vector<float>(areaCount(), 0.5f));
    EXPECT_FALSE(quiet([&] {
        return window->updateImgGrads(left, Keys::dataCacheToolsFilterSolution, Keys::dataCacheToolsFilterGradX,
                                      Keys::dataCacheToolsFilterGradY, -1);
    }));
    EXPECT_EQ(runner->labels.size(), 3);
    EXPECT_EQ(entry(0, Keys::dataCacheToolsFilterGradX).size(), areaCount());
    EXPECT_TRUE(entry(1, Keys::dataCacheToolsFilterGradX).empty());
}

// -------------------------------------------------------------- filtering

TEST_F(FeatureTools, LinearFilterOfZeroTimeStoresExactlyTheSidesWindow)
{
    const char* key = Keys::dataCacheToolsFilterSolution;
    ASSERT_TRUE(quiet([&] { return window->updateFilterSolution(left, Filter::linear, 0.0, 5.0, 7.0, key, 0); }));
    const std::vector<float> leftWindow = entry(0, key);
    EXPECT_EQ(leftWindow, workWindow(file, 0, 0));

    showOn(1, index, true, {0, 1, 2});
    ASSERT_TRUE(quiet([&] { return window->updateFilterSolution(right, Filter::linear, 0.0, 0.0, 0.0, key, 0); }));
    EXPECT_EQ(entry(0, key), workWindow(file, 0, 1));
    EXPECT_NE(entry(0, key), leftWindow) << "the two sides' windows lie at different places";
}

TEST_F(FeatureTools, LinearFilterIgnoresSensitivityAndNonlinearStep)
{
    const char* key = Keys::dataCacheToolsFilterSolution;
    ASSERT_TRUE(quiet([&] { return window->updateFilterSolution(left, Filter::linear, 0.4, 1.0, 0.1, key, 1); }));
    const std::vector<float> first = entry(1, key);
    ASSERT_TRUE(quiet([&] { return window->updateFilterSolution(left, Filter::linear, 0.4, 900.0, 3.0, key, 1); }));
    EXPECT_EQ(entry(1, key), first);
    EXPECT_NE(first, workWindow(file, 1, 0)) << "a positive time step smooths";
    EXPECT_EQ(runner->labels, QStringList({"Filtering channel B03...", "Filtering channel B03..."}));
}

TEST_F(FeatureTools, FilteringKeepsTheObjectForOneSizeAndFiltersEachSideAtItsOwnSize)
{
    const char* key = Keys::dataCacheToolsFilterSolution;
    ASSERT_TRUE(quiet([&] { return window->updateFilterSolution(left, Filter::linear, 0.0, 0.0, 0.0, key, 0); }));
    const Filter::Filtration* object = window->filtration.get();
    ASSERT_TRUE(quiet([&] { return window->updateFilterSolution(left, Filter::linear, 0.0, 0.0, 0.0, key, 2); }));
    EXPECT_EQ(window->filtration.get(), object);

    // The right side shows a second data set with another working size.
    const int other = addDataSet(makeFile(30, 16, 6, 10));
    IO::File* second = window->dataFiles[other];
    second->setWorkAreaX(1, 20);
    second->setWorkAreaY(1, 3);
    showOn(1, other, true, {0, 1, 2});
    ASSERT_TRUE(quiet([&] { return window->updateFilterSolution(right, Filter::linear, 0.0, 0.0, 0.0, key, 0); }));
    const IO::BandLevel& record = levelOf(second, 0);
    ASSERT_EQ(record.cacheSize(key), 60u);
    EXPECT_EQ(std::vector<float>(record.cacheData(key), record.cacheData(key) + 60), workWindow(second, 0, 1));

    // And the left side again, at its own size.
    ASSERT_TRUE(quiet([&] { return window->updateFilterSolution(left, Filter::linear, 0.0, 0.0, 0.0, key, 0); }));
    EXPECT_EQ(entry(0, key), workWindow(file, 0, 0));
}

TEST_F(FeatureTools, FilterWorkerRefusesAndStoresNothing)
{
    const char* key = Keys::dataCacheToolsFilterSolution;
    window->initFiltration(file->workAreaWidth, file->workAreaHeight);
    Filter::Filtration* filtration = window->filtration.get();
    const std::vector<float> sentinel(areaCount(), -7.0f);
    storeImage(0, key, sentinel);

    struct Case {
        const char* what;
        FenlarkApp::FeatureArea area;
        QString input;
        Filter::FilterType type;
    };
    FenlarkApp::FeatureArea outside = area();
    outside.x = file->width - file->workAreaWidth + 1;
    FenlarkApp::FeatureArea otherSize = area();
    otherSize.width -= 1;
    storeImage(0, "short", std::vector<float>(areaCount() - 1, 1.0f));
    const std::vector<Case> cases{
        {"window outside the band", outside, QString(), Filter::linear},
        {"filter of another size", otherSize, QString(), Filter::linear},
        {"missing input", area(), QStringLiteral("missing"), Filter::linear},
        {"input of another size", area(), QStringLiteral("short"), Filter::linear},
        {"unknown filter type", area(), QString(), static_cast<Filter::FilterType>(7)},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(quiet([&] {
            return FenlarkApp::filterSolution(filtration, c.area, 0, 0, c.type, 0.5, 1.0, 0.5, key, c.input);
        })) << c.what;
        EXPECT_EQ(entry(0, key), sentinel) << c.what;
    }
    EXPECT_FALSE(FenlarkApp::filterSolution(nullptr, area(), 0, 0, Filter::linear, 0.5, 1.0, 0.5, key, {}));
    // A step that cannot be solved (a NaN pixel) stores nothing either.
    std::vector<float> withNaN(areaCount(), 0.5f);
    withNaN[3] = std::numeric_limits<float>::quiet_NaN();
    storeImage(0, "nan", withNaN);
    EXPECT_FALSE(quiet([&] {
        return FenlarkApp::filterSolution(filtration, area(), 0, 0, Filter::nonlinear, 0.5, 1.0, 0.5, key, "nan");
    }));
    EXPECT_EQ(entry(0, key), sentinel);
}

TEST_F(FeatureTools, FilterFeatureOfAThreeBandFeaturePassesOverGreenAndBlue)
{
    storeImage(0, Keys::dataCacheToolsAutoEdgeDetector, std::vector<float>(areaCount(), 0.25f));
    EXPECT_TRUE(quiet([&] {
        return window->updateFilterFeatureSolution(left, Filter::linear, 0.0, 0.0, 0.0,
                                                   Keys::dataCacheToolsAutoEdgeDetector,
                                                   Keys::dataCacheToolsAutoEdgeDetectorFilterSolution, -1);
    }));
    EXPECT_EQ(runner->labels, QStringList({"Filtering feature..."}));
    EXPECT_EQ(entry(0, Keys::dataCacheToolsAutoEdgeDetectorFilterSolution), std::vector<float>(areaCount(), 0.25f));
    // Asked for the green band itself, a missing input is a failure.
    EXPECT_FALSE(quiet([&] {
        return window->updateFilterFeatureSolution(left, Filter::linear, 0.0, 0.0, 0.0,
                                                   Keys::dataCacheToolsAutoEdgeDetector,
                                                   Keys::dataCacheToolsAutoEdgeDetectorFilterSolution, 1);
    }));
}

// ---------------------------------------------------------------- workers

TEST_F(FeatureTools, ConstantImageGivesFlatFeatures)
{
    storeImage(0, "in", std::vector<float>(areaCount(), 0.6f));
    const auto a = area();
    ASSERT_TRUE(quiet([&] { return FenlarkApp::imgGrads(a, 0, 0, "in", "gx", "gy"); }));
    ASSERT_TRUE(quiet([&] { return FenlarkApp::imgEdgeDetector(a, 0, -1, -1, 0, 50.0, "gx", "gy", "g"); }));
    ASSERT_TRUE(quiet([&] { return FenlarkApp::segmEdgeDetectorGradField(a, 0, 0, "g", "vx", "vy"); }));
    ASSERT_TRUE(quiet([&] { return FenlarkApp::segmEdgeDetectorGradFieldNorm(a, 0, 0, "vx", "vy", "norm"); }));
    const std::vector<float> zeros(areaCount(), 0.0f);
    EXPECT_EQ(entry(0, "gx"), zeros);
    EXPECT_EQ(entry(0, "g"), std::vector<float>(areaCount(), 1.0f));
    EXPECT_EQ(entry(0, "vx"), zeros);
    EXPECT_EQ(entry(0, "norm"), zeros);
}

TEST_F(FeatureTools, GradientFieldIsMinusTheGradients)
{
    std::vector<float> image(areaCount());
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<float>((i * 37) % 11) / 10.0f;
    storeImage(0, "in", image);
    const auto a = area();
    ASSERT_TRUE(quiet([&] { return FenlarkApp::imgGrads(a, 0, 0, "in", "gx", "gy"); }));
    ASSERT_TRUE(quiet([&] { return FenlarkApp::segmEdgeDetectorGradField(a, 0, 0, "in", "vx", "vy"); }));
    const std::vector<float> gx = entry(0, "gx");
    const std::vector<float> vx = entry(0, "vx");
    const std::vector<float> gy = entry(0, "gy");
    const std::vector<float> vy = entry(0, "vy");
    for (std::size_t i = 0; i < gx.size(); ++i) {
        EXPECT_EQ(vx[i], -gx[i]) << i;
        EXPECT_EQ(vy[i], -gy[i]) << i;
    }
    EXPECT_NE(gx, std::vector<float>(areaCount(), 0.0f));
}

TEST_F(FeatureTools, ThreeBandEdgeDetectorFollowsItsFormula)
{
    const auto a = area();
    const float grads[3][2] = {{0.3f, -0.4f}, {1.0f, 0.0f}, {-0.6f, 0.8f}};
    for (int b = 0; b < 3; ++b) {
        storeImage(b, "gx", std::vector<float>(areaCount(), grads[b][0]));
        storeImage(b, "gy", std::vector<float>(areaCount(), grads[b][1]));
    }
    const double K = 3.0;
    ASSERT_TRUE(quiet([&] { return FenlarkApp::imgEdgeDetector(a, 0, 1, 2, 0, K, "gx", "gy", "g"); }));
    // Norms 0.5, 1 and 1.
    const double expected = 1.0 / (1.0 + K * (0.25 + 1.0 + 1.0) / 3.0);
    EXPECT_NEAR(entry(0, "g")[5], expected, 1e-6);
    ASSERT_TRUE(quiet([&] { return FenlarkApp::imgEdgeDetector(a, 0, -1, -1, 0, K, "gx", "gy", "g1"); }));
    EXPECT_NEAR(entry(0, "g1")[5], 1.0 / (1.0 + K * 0.25), 1e-6);
    ASSERT_TRUE(quiet([&] { return FenlarkApp::imgMaxGrads(a, 0, 1, 2, 0, "gx", "gy", "mx", "my"); }));
    EXPECT_FLOAT_EQ(entry(0, "mx")[0], 1.0f);
    EXPECT_FLOAT_EQ(entry(0, "my")[0], 0.8f);
}

TEST_F(FeatureTools, WorkersLeaveOutputsAloneWhenAnInputIsMissingOrMisSized)
{
    const auto a = area();
    const std::vector<float> sentinel(areaCount(), -3.0f);
    storeImage(0, "out", sentinel);
    storeImage(0, "outY", sentinel);
    storeImage(0, "good", std::vector<float>(areaCount(), 0.5f));
    storeImage(1, "good", std::vector<float>(areaCount(), 0.5f));
    storeImage(0, "short", std::vector<float>(areaCount() - 2, 0.5f));
    storeImage(0, "long", std::vector<float>(areaCount() + 5, 0.5f));

    struct Case {
        const char* what;
        std::function<bool()> run;
    };
    const std::vector<Case> cases{
        {"gradients of a short input", [&] { return FenlarkApp::imgGrads(a, 0, 0, "short", "out", "outY"); }},
        {"gradients of a long input", [&] { return FenlarkApp::imgGrads(a, 0, 0, "long", "out", "outY"); }},
        {"field of a missing input",
         [&] { return FenlarkApp::segmEdgeDetectorGradField(a, 0, 0, "none", "out", "outY"); }},
        {"norm with one input short",
         [&] { return FenlarkApp::segmEdgeDetectorGradFieldNorm(a, 0, 0, "good", "short", "out"); }},
        {"edge detector, third band missing",
         [&] { return FenlarkApp::imgEdgeDetector(a, 0, 1, 2, 0, 1.0, "good", "good", "out"); }},
        {"max gradients, third band missing",
         [&] { return FenlarkApp::imgMaxGrads(a, 0, 1, 2, 0, "good", "good", "out", "outY"); }},
        {"expanding force, second input missing",
         [&] { return FenlarkApp::expandingForce(a, 0, 0, "good", "none", "out"); }},
        {"graph Laplacian of a long input",
         [&] { return FenlarkApp::graphLaplacianSolution(a, 0, 0, 3, "long", "out", -1.0); }},
        {"graph Laplacian of neighbourhood 4",
         [&] { return FenlarkApp::graphLaplacianSolution(a, 0, 0, 4, "good", "out", -1.0); }},
        {"mean of three, third band missing",
         [&] { return FenlarkApp::meanGraphLaplacian(a, 0, 1, 2, 0, "good", "out"); }},
        {"band out of range", [&] { return FenlarkApp::imgGrads(a, 12, 0, "good", "out", "outY"); }},
        {"level out of range", [&] { return FenlarkApp::imgGrads(a, 0, 1, "good", "out", "outY"); }},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(quiet(c.run)) << c.what;
        EXPECT_EQ(entry(0, "out"), sentinel) << c.what;
        EXPECT_EQ(entry(0, "outY"), sentinel) << c.what;
    }
}

// ------------------------------------------------------------ homogeneity

// A curve set whose statistics for band b are the given values.
UI::CurveSet setWithStatistics(int band, double mean, double minimum, double maximum)
{
    UI::CurveSet set;
    set.resetStatistics(band + 1);
    set.mean[static_cast<std::size_t>(band)] = mean;
    set.min[static_cast<std::size_t>(band)] = minimum;
    set.max[static_cast<std::size_t>(band)] = maximum;
    return set;
}

TEST_F(FeatureTools, HomogeneityMarksTheToleranceAroundTheReference)
{
    // Band 0 normalised with offset 10 and scale 100: raw r maps to
    // (r - 10) / 100.
    IO::BandLevel& record = level(0);
    record.normOffset = 10.0;
    record.normScale = 100.0;
    std::vector<float> input(areaCount(), 0.0f);
    // Probe values clear of every interval end, so float rounding decides
    // nothing.
    const std::vector<float> probe{0.40f, 0.44f, 0.46f, 0.50f, 0.54f, 0.56f, 0.25f, 0.75f,
                                   std::numeric_limits<float>::quiet_NaN()};
    std::copy(probe.begin(), probe.end(), input.begin());
    storeImage(0, "in", input);
    const auto a = area();

    struct Case {
        const char* what;
        FenlarkAppTypes::HomogeneityFunctionType type;
        double eps;
        UI::CurveSet set;
        bool custom;
        QList<double> values;
        std::vector<float> marks;  // for the probe values
    };
    const std::vector<Case> cases{
        // mean 60 -> 0.5; 10 % of it is 0.05.
        {"mean", FenlarkAppTypes::DiscontinuousMean, 10.0, setWithStatistics(0, 60.0, 0, 0), false, {},
         {0, 0, 1, 1, 1, 0, 0, 0, 0}},
        {"mean, eps 0", FenlarkAppTypes::DiscontinuousMean, 0.0, setWithStatistics(0, 60.0, 0, 0), false, {},
         {0, 0, 0, 1, 0, 0, 0, 0, 0}},
        {"custom mean ignores the set", FenlarkAppTypes::DiscontinuousMean, 0.0, setWithStatistics(0, 60.0, 0, 0),
         true, {35.0}, {0, 0, 0, 0, 0, 0, 1, 0, 0}},
        // min 50 -> 0.4, max 55 -> 0.45; eps 4 -> 0.04 either side.
        {"min max", FenlarkAppTypes::DiscontinuousMinMax, 4.0, setWithStatistics(0, 0, 50.0, 55.0), false, {},
         {1, 1, 1, 0, 0, 0, 0, 0, 0}},
        {"custom min max", FenlarkAppTypes::DiscontinuousMinMax, 0.0, UI::CurveSet(), true, {70.0, 90.0},
         {0, 0, 0, 0, 0, 0, 0, 1, 0}},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(quiet([&] {
            return FenlarkApp::homogeneityFunction(a, 0, 0, c.type, c.eps, c.set, "in", "h", c.custom, c.values);
        })) << c.what;
        const std::vector<float> h = entry(0, "h");
        for (std::size_t i = 0; i < probe.size(); ++i)
            EXPECT_EQ(h[i], c.marks[i]) << c.what << ", value " << probe[i];
        EXPECT_EQ(h.back(), 0.0f) << c.what;
    }
}

TEST_F(FeatureTools, HomogeneityClipsTheReferenceAsTheBandsSamplesAre)
{
    // An area brighter than the top crop: its samples are all 1 after
    // normalising (a filtered image keeps them just below), while its raw
    // mean 500 maps to 4.9.
    IO::BandLevel& record = level(0);
    record.normOffset = 10.0;
    record.normScale = 100.0;
    std::vector<float> input(areaCount(), 0.0f);
    const std::vector<float> probe{1.0f, 0.999997f, 0.5f};
    std::copy(probe.begin(), probe.end(), input.begin());
    storeImage(0, "in", input);
    const auto a = area();
    const auto marks = [&](FenlarkAppTypes::HomogeneityFunctionType type, double eps, const UI::CurveSet& set) {
        EXPECT_TRUE(quiet([&] { return FenlarkApp::homogeneityFunction(a, 0, 0, type, eps, set, "in", "h", false, {}); }));
        const std::vector<float> h = entry(0, "h");
        return std::vector<float>(h.begin(), h.begin() + 3);
    };
    const UI::CurveSet bright = setWithStatistics(0, 500.0, 300.0, 600.0);

    record.normalised = true;
    EXPECT_EQ(marks(FenlarkAppTypes::DiscontinuousMean, 10.0, bright), (std::vector<float>{1, 1, 0}));
    EXPECT_EQ(marks(FenlarkAppTypes::DiscontinuousMinMax, 4.0, bright), (std::vector<float>{1, 1, 0}));
    // Raw samples are not clipped: nothing near 1 matches a mean of 4.9.
    record.normalised = false;
    EXPECT_EQ(marks(FenlarkAppTypes::DiscontinuousMean, 10.0, bright), (std::vector<float>{0, 0, 0}));
}

TEST_F(FeatureTools, HomogeneityUsesTheMappingOfTheLatestNormalisation)
{
    // A cropped load and then an uncropped reload of the same band: the crop
    // limits of the first load stay in the record, but the samples are now
    // mapped by the band's own minimum and maximum.
    TestSupport::quietly([&] {
        file->loadBand(0, 0, 0.2, 0.8, false, false);
        file->loadBand(0, 0, 0.0, 1.0, false, false);
    });
    IO::BandLevel& record = level(0);
    ASSERT_NE(record.cropMin, 0.0f);
    EXPECT_TRUE(record.normalised);
    EXPECT_DOUBLE_EQ(record.normOffset, record.min);
    EXPECT_DOUBLE_EQ(record.normScale, static_cast<double>(record.max - record.min));

    // The image itself as input: a pixel's own raw value as the custom mean
    // must mark that pixel.
    std::vector<float> input(record.data.get(), record.data.get() + areaCount());
    storeImage(0, "in", input);
    const double raw = record.min + input[7] * (record.max - record.min);
    ASSERT_TRUE(quiet([&] {
        return FenlarkApp::homogeneityFunction(area(), 0, 0, FenlarkAppTypes::DiscontinuousMean, 0.001,
                                               UI::CurveSet(), "in", "h", true, {raw});
    }));
    EXPECT_EQ(entry(0, "h")[7], 1.0f);

    // A band that was never normalised maps nothing.
    TestSupport::quietly([&] { file->loadBand(0, 0, 0.0, 1.0, false, true); });
    EXPECT_EQ(record.normOffset, 0.0);
    EXPECT_EQ(record.normScale, 1.0);
    EXPECT_FALSE(record.normalised);
}

TEST_F(FeatureTools, HomogeneityRefusesWithoutReferenceOrScale)
{
    storeImage(0, "in", std::vector<float>(areaCount(), 0.5f));
    const std::vector<float> sentinel(areaCount(), -1.0f);
    storeImage(0, "h", sentinel);
    const auto a = area();
    const auto run = [&](FenlarkAppTypes::HomogeneityFunctionType type, UI::CurveSet set, bool custom,
                         QList<double> values) {
        return quiet([&] { return FenlarkApp::homogeneityFunction(a, 0, 0, type, 1.0, set, "in", "h", custom, values); });
    };
    EXPECT_FALSE(run(FenlarkAppTypes::DiscontinuousMean, UI::CurveSet(), false, {})) << "no statistics";
    EXPECT_FALSE(run(FenlarkAppTypes::DiscontinuousMinMax, setWithStatistics(0, 5, -1.0, 9), false, {}));
    EXPECT_FALSE(run(FenlarkAppTypes::DiscontinuousMinMax, UI::CurveSet(), true, {1.0})) << "one custom value";
    EXPECT_FALSE(run(static_cast<FenlarkAppTypes::HomogeneityFunctionType>(2), UI::CurveSet(), true, {1.0, 2.0}));
    level(0).normScale = 0.0;
    EXPECT_FALSE(run(FenlarkAppTypes::DiscontinuousMean, UI::CurveSet(), true, {1.0})) << "scale 0";
    EXPECT_EQ(entry(0, "h"), sentinel);
}

TEST_F(FeatureTools, HomogeneityDriverTakesTheSelectedSetOrTheCustomValues)
{
    storeImage(0, Keys::dataCacheToolsAutoHomogeneityFilterSolution, std::vector<float>(areaCount(), 0.5f));
    QStringList messages;
    ScopedMessageBoxHandler answer([&](const MessageBoxRequest& request) {
        messages.append(request.text);
        EXPECT_EQ(request.icon, 0);
        return QMessageBox::Ok;
    });
    const auto run = [&](bool custom) {
        return quiet([&] {
            return window->updateHomogeneityFunction(left, FenlarkAppTypes::DiscontinuousMean, 10.0,
                                                     Keys::dataCacheToolsAutoHomogeneityFilterSolution,
                                                     Keys::dataCacheToolsAutoHomogeneity, -1, custom, {60.0});
        });
    };

    // Nothing selected: custom values serve, otherwise the user is told.
    EXPECT_FALSE(run(false));
    EXPECT_EQ(messages, QStringList({"Select curve from Curve explorer"}));
    EXPECT_TRUE(run(true));
    EXPECT_EQ(runner->labels, QStringList({"Homogeneity function for channel B02..."}));

    // A selected set without statistics gets the band's statistics first.
    window->curveSets[index].append(ShellTest::squareSet(3, 3, 9, 7, {255, 0, 0, 255}));
    window->curveSets[index].back().resetStatistics(static_cast<int>(file->bands.size()));
    setSideValue(0, "curveExplorerStateCurrentIndex", 0);
    EXPECT_TRUE(run(false));
    const UI::CurveSet& set = window->curveSets[index][0];
    EXPECT_NE(set.mean[0], -1.0);
    EXPECT_GE(set.mean[0], set.min[0]);
    EXPECT_LE(set.mean[0], set.max[0]);
    EXPECT_EQ(set.mean[1], -1.0) << "only the chosen band";

    // A set outside the data set gives no statistics and no task.
    window->curveSets[index].append(ShellTest::squareSet(-30, -30, -20, -20, {255, 0, 0, 255}));
    window->curveSets[index].back().resetStatistics(static_cast<int>(file->bands.size()));
    setSideValue(0, "curveExplorerStateCurrentIndex", 1);
    runner->labels.clear();
    EXPECT_FALSE(run(false));
    EXPECT_TRUE(runner->labels.isEmpty());
    EXPECT_EQ(messages.size(), 1);
}

// --------------------------------------------------------- graph Laplacian

TEST_F(FeatureTools, GraphLaplacianRescalesAndSaturates)
{
    const auto a = area();
    storeImage(0, "flat", std::vector<float>(areaCount(), 0.3f));
    for (int neighbourhood : {3, 5}) {
        ASSERT_TRUE(quiet([&] { return FenlarkApp::graphLaplacianSolution(a, 0, 0, neighbourhood, "flat", "gl", 2.0); }));
        EXPECT_EQ(entry(0, "gl"), std::vector<float>(areaCount(), 0.0f)) << neighbourhood;
    }

    std::vector<float> image(areaCount(), 0.0f);
    image[static_cast<std::size_t>(3 * a.width + 4)] = 1.0f;
    image[static_cast<std::size_t>(5 * a.width + 9)] = 0.4f;
    storeImage(0, "spot", image);
    ASSERT_TRUE(quiet([&] { return FenlarkApp::graphLaplacianSolution(a, 0, 0, 5, "spot", "plain", -1.0); }));
    const std::vector<float> plain = entry(0, "plain");
    EXPECT_EQ(*std::min_element(plain.begin(), plain.end()), 0.0f);
    EXPECT_EQ(*std::max_element(plain.begin(), plain.end()), 1.0f);

    ASSERT_TRUE(quiet([&] { return FenlarkApp::graphLaplacianSolution(a, 0, 0, 5, "spot", "k0", 0.0); }));
    EXPECT_EQ(entry(0, "k0"), std::vector<float>(areaCount(), 0.0f));

    ASSERT_TRUE(quiet([&] { return FenlarkApp::graphLaplacianSolution(a, 0, 0, 5, "spot", "k1", 1.0); }));
    const std::vector<float> k1 = entry(0, "k1");
    for (std::size_t i = 0; i < plain.size(); ++i) {
        const double v = plain[i];
        EXPECT_NEAR(k1[i], 1.0 - 1.0 / (v * v + 1.0), 1e-6) << i;
    }
    // 0, 0.5 and 1 map to 0, 0.2 and 0.5.
    for (const auto& [v, expected] : std::vector<std::pair<double, double>>{{0, 0}, {0.5, 0.2}, {1, 0.5}})
        EXPECT_NEAR(1.0 - 1.0 / (v * v + 1.0), expected, 1e-12);
}

TEST_F(FeatureTools, GraphLaplacianDriverReadsTheSensitivityAndAveragesThreeBands)
{
    for (int b = 0; b < 3; ++b) {
        std::vector<float> image(areaCount(), 0.0f);
        image[static_cast<std::size_t>(10 + 7 * b)] = 1.0f;
        storeImage(b, Keys::dataCacheToolsMonitoringFilterSolution, image);
    }
    EXPECT_TRUE(quiet([&] {
        return window->updateGraphLaplacianSolution(left, 3, Keys::dataCacheToolsMonitoringFilterSolution,
                                                    Keys::dataCacheToolsMonitoringGL3, true,
                                                    Keys::dataCacheToolsMonitoringMeanGL3);
    }));
    EXPECT_EQ(runner->labels, QStringList({"Graph Laplacian on B02...", "Graph Laplacian on B03...",
                                           "Graph Laplacian on B04...",
                                           "Mean Graph Laplacian for channels B02, B03 and B04..."}));
    // No sensitivity control: the rescaled magnitude itself.
    const std::vector<float> gl = entry(0, Keys::dataCacheToolsMonitoringGL3);
    EXPECT_EQ(*std::max_element(gl.begin(), gl.end()), 1.0f);
    const std::vector<float> mean = entry(0, Keys::dataCacheToolsMonitoringMeanGL3);
    const std::vector<float> g1 = entry(1, Keys::dataCacheToolsMonitoringGL3);
    const std::vector<float> g2 = entry(2, Keys::dataCacheToolsMonitoringGL3);
    for (std::size_t i = 0; i < mean.size(); ++i)
        EXPECT_FLOAT_EQ(mean[i], (gl[i] + g1[i] + g2[i]) / 3.0f) << i;

    // With a sensitivity control of 0 every value becomes 0; one channel
    // computes the red band only and no mean.
    QDoubleSpinBox sensitivity;
    sensitivity.setRange(-1.0, 100.0);
    sensitivity.setValue(0.0);
    window->ui->doubleSpinBoxMonitoringLaplacianSensitivity = &sensitivity;
    showOn(0, index, false, {1, 0, 2});
    runner->labels.clear();
    EXPECT_TRUE(quiet([&] {
        return window->updateGraphLaplacianSolution(left, 5, Keys::dataCacheToolsMonitoringFilterSolution,
                                                    Keys::dataCacheToolsMonitoringGL5, true,
                                                    Keys::dataCacheToolsMonitoringMeanGL5);
    }));
    window->ui->doubleSpinBoxMonitoringLaplacianSensitivity = nullptr;
    EXPECT_EQ(runner->labels, QStringList({"Graph Laplacian on B03..."}));
    EXPECT_EQ(entry(1, Keys::dataCacheToolsMonitoringGL5), std::vector<float>(areaCount(), 0.0f));
    EXPECT_TRUE(entry(1, Keys::dataCacheToolsMonitoringMeanGL5).empty());
}

TEST_F(FeatureTools, ExpandingForceIsTheProductOfItsInputs)
{
    std::vector<float> homogeneity(areaCount(), 0.0f);
    std::vector<float> edges(areaCount());
    for (std::size_t i = 0; i < edges.size(); ++i) {
        homogeneity[i] = i % 3 == 0 ? 1.0f : 0.0f;
        edges[i] = 0.01f * static_cast<float>(i);
    }
    storeImage(1, Keys::dataCacheToolsAutoHomogeneity, homogeneity);
    storeImage(1, Keys::dataCacheToolsAutoEdgeDetector, edges);
    EXPECT_TRUE(quiet([&] {
        return window->updateExpandingForce(left, Keys::dataCacheToolsAutoHomogeneity,
                                            Keys::dataCacheToolsAutoEdgeDetector,
                                            Keys::dataCacheToolsAutoExpandingForce, 1);
    }));
    EXPECT_EQ(runner->labels, QStringList({"Expanding force function for channel B03..."}));
    const std::vector<float> force = entry(1, Keys::dataCacheToolsAutoExpandingForce);
    for (std::size_t i = 0; i < force.size(); ++i)
        EXPECT_EQ(force[i], homogeneity[i] * edges[i]) << i;
}

} // namespace
