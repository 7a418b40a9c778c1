// The feature pages' chains and buttons: which drivers a chosen feature
// runs and in which order, what the shown-feature record says, the tools
// viewer that "Show feature" adds and removes, "Update image", and the
// homogeneity detector's "Update" buttons.

#include <cmath>

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QPushButton>
#include <QTabWidget>
#include <gtest/gtest.h>

#include "app/WidgetUtils.h"
#include "feature_fixture.h"
#include "tools/FeatureKeys.h"
#include "viewers/ViewerWidget.h"

namespace {

using FeatureTest::FeatureTools;
using Side = UI::FenlarkApp::ViewerSide;

constexpr Side left = Side::leftTabWidget;

class FeatureChains : public FeatureTools {
protected:
    void SetUp() override
    {
        FeatureTools::SetUp();
        window->setToolDocksEnabled(true);
        // Plain settings that run fast on the small data set.
        FenlarkAppUI& ui = *window->ui;
        for (QDoubleSpinBox* box : {ui.doubleSpinBoxFilterLinearTimestep.data(), ui.doubleSpinBoxSemiLinearTimestep.data(),
                                    ui.doubleSpinBoxAutoEdgeLinearTimestep.data(),
                                    ui.doubleSpinBoxAutoHomogeneityLinearTimestep.data()})
            box->setValue(0.0);
    }

    // Shown-feature record of the left side: the table and the session key.
    std::string recorded() { return window->ui->featureShowedCacheByTab.value(0); }
    QString recordedSession() { return sideValue(0, "featureShowedCache").toString(); }

    // Every plain message shown while body runs.
    QStringList messagesOf(const std::function<void()>& body)
    {
        QStringList messages;
        ScopedMessageBoxHandler answer([&](const MessageBoxRequest& request) {
            messages.append(request.text);
            return QMessageBox::Ok;
        });
        TestSupport::quietly(body);
        return messages;
    }

    bool toolsViewerShown() { return grid(0)->itemAtPosition(0, 1) != nullptr; }
};

// ----------------------------------------------------------------- chains

struct ChainCase {
    const char* what;
    std::function<void(FenlarkAppUI&)> choose;
    bool (UI::FenlarkApp::*chain)(Side);
    QStringList labels;
    std::string key;
};

TEST_F(FeatureChains, EachFeatureRunsItsStepsInOrderAndRecordsItsKey)
{
    showOn(0, index, false, {1, 0, 2});
    const std::vector<ChainCase> cases{
        {"filtered band", [](FenlarkAppUI& ui) { ui.comboBoxFilterFeature->setCurrentIndex(0); },
         &UI::FenlarkApp::setFilterFeature, {"Filtering channel B03..."}, Keys::dataCacheToolsFilterSolution},
        {"filtering edge detector",
         [](FenlarkAppUI& ui) {
             ui.comboBoxFilterFeature->setCurrentIndex(1);
             ui.comboBoxFilterType->setCurrentIndex(1);
         },
         &UI::FenlarkApp::setFilterFeature,
         {"Filtering channel B03...", "Gradients for channel B03...", "Edge detector for channel B03..."},
         Keys::dataCacheToolsFilterEdgeDetector},
        {"semi norm of the field", [](FenlarkAppUI& ui) { ui.comboBoxSemiFeature->setCurrentIndex(2); },
         &UI::FenlarkApp::setSemiFeature,
         {"Filtering channel B03...", "Gradients for channel B03...", "Edge detector for channel B03...",
          "Edge detector gradient field for channel B03...",
          "Norm of edge detector gradient field for channel B03..."},
         Keys::dataCacheToolsSemiNormOfVectField},
        {"auto vector field", [](FenlarkAppUI& ui) { ui.comboBoxAutoFeature->setCurrentIndex(2); },
         &UI::FenlarkApp::setAutoFeature,
         {"Filtering channel B03...", "Gradients for channel B03...", "Edge detector for channel B03...",
          "Filtering feature...", "Edge detector gradient field for channel B03...",
          "Norm of edge detector gradient field for channel B03..."},
         Keys::dataCacheToolsAutoNormOfVectField},
        {"auto homogeneity filter", [](FenlarkAppUI& ui) { ui.comboBoxAutoFeature->setCurrentIndex(3); },
         &UI::FenlarkApp::setAutoFeature, {"Filtering channel B03..."},
         Keys::dataCacheToolsAutoHomogeneityFilterSolution},
        {"auto expanding force",
         [](FenlarkAppUI& ui) {
             ui.comboBoxAutoFeature->setCurrentIndex(5);
             ui.checkBoxAutoUseCustomMean->setChecked(true);
         },
         &UI::FenlarkApp::setAutoFeature,
         {"Filtering channel B03...", "Gradients for channel B03...", "Edge detector for channel B03...",
          "Filtering channel B03...", "Homogeneity function for channel B03...",
          "Expanding force function for channel B03...", "Filtering feature..."},
         Keys::dataCacheToolsAutoExpandingForceFilterSolution},
    };
    for (const ChainCase& c : cases) {
        c.choose(*window->ui);
        runner->labels.clear();
        bool done = false;
        const QStringList messages = messagesOf([&] { done = (window.get()->*c.chain)(left); });
        EXPECT_TRUE(done) << c.what;
        EXPECT_TRUE(messages.isEmpty()) << c.what << ": " << messages.join(", ").toStdString();
        EXPECT_EQ(runner->labels, c.labels) << c.what;
        EXPECT_EQ(recorded(), c.key) << c.what;
        EXPECT_EQ(recordedSession().toStdString(), c.key) << c.what;
        EXPECT_EQ(entry(1, c.key.c_str()).size(), areaCount()) << c.what;
    }
    // The expanding force chain never computed the vector field of its own.
    TestSupport::quietly([&] { file->unloadBandsExcept({}); file->loadBand(1, 0, 0.0, 1.0, false, false); });
    window->ui->comboBoxAutoFeature->setCurrentIndex(5);
    EXPECT_TRUE(messagesOf([&] { window->setAutoFeature(left); }).isEmpty());
    EXPECT_TRUE(entry(1, Keys::dataCacheToolsAutoEdgeDetectorGradX).empty());
    EXPECT_TRUE(entry(1, Keys::dataCacheToolsAutoNormOfVectField).empty());
}

TEST_F(FeatureChains, FilteringEdgeDetectorPreSmoothesLinearlyAndReplacesTheSemiGradients)
{
    FenlarkAppUI& ui = *window->ui;
    ui.comboBoxFilterFeature->setCurrentIndex(1);
    ui.comboBoxFilterType->setCurrentIndex(2);  // Geometric-MCF
    ui.doubleSpinBoxFilterNonlinearTimestep->setValue(3.0);
    const std::vector<float> sentinel(areaCount(), 9.0f);
    storeImage(0, Keys::dataCacheToolsSemiGradX, sentinel);
    ASSERT_TRUE(messagesOf([&] { EXPECT_TRUE(window->setFilterFeature(left)); }).isEmpty());
    // A linear step of 0 leaves the window as it is; the flow would not.
    EXPECT_EQ(entry(0, Keys::dataCacheToolsFilterSolution), workWindow(file, 0, 0));
    EXPECT_NE(entry(0, Keys::dataCacheToolsSemiGradX), sentinel);
    EXPECT_EQ(runner->labels.last(), "Edge detector for channels B02, B03 and B04...");
}

TEST_F(FeatureChains, AChainStopsAtTheFirstFailureAndRecordsNothing)
{
    FenlarkAppUI& ui = *window->ui;
    window->ui->featureShowedCacheByTab[0] = "earlier";

    // No data set on the side.
    window->ui->leftDataIndex = -1;
    EXPECT_FALSE(window->setFilterFeature(left));
    window->ui->leftDataIndex = index;

    // An index outside the page's features.
    ui.comboBoxAutoFeature->setCurrentIndex(-1);
    EXPECT_FALSE(window->setAutoFeature(left));
    ui.comboBoxFilterFeature->setCurrentIndex(-1);
    EXPECT_FALSE(window->setFilterFeature(left));

    // The monitoring page has no controls: nothing is computed.
    EXPECT_FALSE(window->setMonitoringFeature(left));
    EXPECT_TRUE(runner->labels.isEmpty());

    // Homogeneity without a selected set or custom values: the user is told
    // and the force after it is not computed.
    ui.comboBoxAutoFeature->setCurrentIndex(5);
    ui.checkBoxAutoUseCustomMean->setChecked(false);
    bool done = true;
    EXPECT_EQ(messagesOf([&] { done = window->setAutoFeature(left); }),
              QStringList({"Select curve from Curve explorer"}));
    EXPECT_FALSE(done);
    EXPECT_FALSE(runner->labels.filter("Expanding force").size() > 0);
    EXPECT_TRUE(entry(0, Keys::dataCacheToolsAutoExpandingForce).empty());
    EXPECT_EQ(recorded(), "earlier");
}

// ---------------------------------------------------------------- buttons

TEST_F(FeatureChains, ShowFeatureAddsTheViewerAndASecondPressTakesItDown)
{
    FenlarkAppUI& ui = *window->ui;
    TestSupport::quietly([&] { ui.pushButtonFilterFeatureShow->click(); });
    ASSERT_TRUE(toolsViewerShown());
    UI::ViewerWidget* tools = viewer(0, "viewerWidgetToolsFeature");
    ASSERT_NE(tools, nullptr);
    EXPECT_FALSE(tools->isEmpty());
    EXPECT_EQ(sideValue(0, "featureShowed").toInt(), 1);
    EXPECT_TRUE(ui.workingAreaLocked);
    for (QPushButton* button : {ui.pushButtonFilterFeatureShow.data(), ui.pushButtonSemiFeatureShow.data(),
                                ui.pushButtonAutoFeatureShow.data()})
        EXPECT_EQ(button->text(), "Hide feature");
    EXPECT_EQ(ui.pushButtonRMFeatureShow->text(), "Hide feature");

    // The second press, from another page, hides it and computes nothing.
    runner->labels.clear();
    TestSupport::quietly([&] { ui.pushButtonSemiFeatureShow->click(); });
    EXPECT_FALSE(toolsViewerShown());
    EXPECT_TRUE(runner->labels.isEmpty());
    EXPECT_EQ(viewer(0, "viewerWidgetToolsFeature"), nullptr);
    EXPECT_EQ(sideValue(0, "featureShowed").toInt(), 0);
    EXPECT_EQ(sideValue(0, "featureShowedCache").toInt(), 0);
    EXPECT_EQ(sideValue(0, "RMExplorerStateCurrentIndex").toInt(), -1);
    EXPECT_FALSE(ui.workingAreaLocked);
    EXPECT_TRUE(entry(0, Keys::dataCacheToolsFilterSolution).empty()) << "one side: the caches go";
    for (QPushButton* button : {ui.pushButtonFilterFeatureShow.data(), ui.pushButtonSemiFeatureShow.data(),
                                ui.pushButtonAutoFeatureShow.data()})
        EXPECT_EQ(button->text(), "Show feature");
    EXPECT_EQ(ui.pushButtonRMFeatureShow->text(), "Show relevancy map");
}

TEST_F(FeatureChains, AFailedShowLeavesNoViewerAndSaysSo)
{
    FenlarkAppUI& ui = *window->ui;
    const std::vector<float> sentinel(areaCount(), 4.0f);
    storeImage(0, Keys::dataCacheToolsFilterSolution, sentinel);

    // The edge detector refused with the linear filter: one warning only.
    ui.comboBoxFilterFeature->setCurrentIndex(1);
    ui.comboBoxFilterType->setCurrentIndex(0);
    EXPECT_EQ(messagesOf([&] { ui.pushButtonFilterFeatureShow->click(); }),
              QStringList({"Edge detector is available only while using nonlinear filtration."}));
    EXPECT_FALSE(toolsViewerShown());
    EXPECT_EQ(entry(0, Keys::dataCacheToolsFilterSolution), sentinel) << "no cache changed";
    EXPECT_EQ(sideValue(0, "featureShowed").toInt(), 0);
    EXPECT_EQ(ui.pushButtonFilterFeatureShow->text(), "Show feature");

    // A chain that fails on its own.
    showOn(0, index, false, {9, 0, 0});
    ui.comboBoxFilterFeature->setCurrentIndex(0);
    EXPECT_EQ(messagesOf([&] { ui.pushButtonFilterFeatureShow->click(); }),
              QStringList({"Unable to compute the feature."}));
    EXPECT_FALSE(toolsViewerShown());
    EXPECT_EQ(viewer(0, "viewerWidgetToolsFeature"), nullptr);
    EXPECT_FALSE(ui.workingAreaLocked);
}

TEST_F(FeatureChains, UpdateImageRecomputesOnlyWhileShownAndDropsAFailedImage)
{
    FenlarkAppUI& ui = *window->ui;
    TestSupport::quietly([&] { ui.pushButtonFilterFeatureRefreshImage->click(); });
    EXPECT_TRUE(runner->labels.isEmpty()) << "nothing shown, nothing computed";

    TestSupport::quietly([&] { ui.pushButtonFilterFeatureShow->click(); });
    ASSERT_TRUE(toolsViewerShown());
    runner->labels.clear();
    TestSupport::quietly([&] { ui.pushButtonFilterFeatureRefreshImage->click(); });
    EXPECT_EQ(runner->labels.size(), 3);
    EXPECT_EQ(recorded(), Keys::dataCacheToolsFilterSolution);
    // The image was computed for the window the update chose.
    EXPECT_EQ(entry(0, Keys::dataCacheToolsFilterSolution), workWindow(file, 0, 0));

    // A failing update takes the viewer down, as a failing show does: no
    // empty viewer stays under "Hide feature".
    const auto expectTakenDown = [&](const char* what) {
        EXPECT_FALSE(toolsViewerShown()) << what;
        EXPECT_EQ(viewer(0, "viewerWidgetToolsFeature"), nullptr) << what;
        EXPECT_FALSE(ui.featureShowedCacheByTab.contains(0)) << what;
        EXPECT_EQ(sideValue(0, "featureShowed").toInt(), 0) << what;
        EXPECT_EQ(sideValue(0, "featureShowedCache").toInt(), 0) << what;
        EXPECT_EQ(ui.pushButtonFilterFeatureShow->text(), "Show feature") << what;
        EXPECT_FALSE(ui.workingAreaLocked) << what;
    };
    showOn(0, index, false, {9, 0, 0});
    EXPECT_EQ(messagesOf([&] { ui.pushButtonFilterFeatureRefreshImage->click(); }),
              QStringList({"Unable to compute the feature."}));
    expectTakenDown("failed chain");

    // The edge detector refused for the linear filter on "Update image".
    showOn(0, index, true, {0, 1, 2});
    TestSupport::quietly([&] { ui.pushButtonFilterFeatureShow->click(); });
    ASSERT_TRUE(toolsViewerShown());
    ui.comboBoxFilterFeature->setCurrentIndex(1);
    ui.comboBoxFilterType->setCurrentIndex(0);
    EXPECT_EQ(messagesOf([&] { ui.pushButtonFilterFeatureRefreshImage->click(); }),
              QStringList({"Edge detector is available only while using nonlinear filtration."}));
    expectTakenDown("refused edge detector");
}

// Features that exist on one band only (an edge detector over the three
// display bands, the norm of its vector field) are drawn in grey from the red
// band's entry on a colour side, even when the green and blue bands still
// hold old entries of the same key and size.
TEST_F(FeatureChains, OneBandFeaturesOfAColourSideAreDrawnInGreyFromTheRedEntry)
{
    FenlarkAppUI& ui = *window->ui;
    ASSERT_TRUE(window->isMultiChannel(0));
    const struct {
        const char* what;
        std::function<void()> choose;
        QPushButton* button;
        const char* key;
    } cases[] = {
        {"Filtering edge detector",
         [&] {
             ui.comboBoxFilterFeature->setCurrentIndex(1);
             ui.comboBoxFilterType->setCurrentIndex(1);
         },
         ui.pushButtonFilterFeatureShow, Keys::dataCacheToolsFilterEdgeDetector},
        {"semi-automatic edge detector", [&] { ui.comboBoxSemiFeature->setCurrentIndex(1); },
         ui.pushButtonSemiFeatureShow, Keys::dataCacheToolsSemiEdgeDetector},
        {"norm of vector field", [&] { ui.comboBoxSemiFeature->setCurrentIndex(2); }, ui.pushButtonSemiFeatureShow,
         Keys::dataCacheToolsSemiNormOfVectField},
    };
    for (const auto& c : cases) {
        // Old entries of the same size on the green and blue bands.
        storeImage(1, c.key, std::vector<float>(areaCount(), 0.25f));
        storeImage(2, c.key, std::vector<float>(areaCount(), 0.75f));
        c.choose();
        EXPECT_TRUE(messagesOf([&] { c.button->click(); }).isEmpty()) << c.what;
        ASSERT_TRUE(toolsViewerShown()) << c.what;
        UI::ViewerWidget* tools = viewer(0, "viewerWidgetToolsFeature");
        ASSERT_FALSE(tools->isEmpty()) << c.what << ": a shown feature has a picture";
        const std::vector<float> red = entry(0, c.key);
        ASSERT_EQ(red.size(), areaCount()) << c.what;
        // The same view of the red entry alone, rendered grey.
        UI::ViewerWidget reference(0, 1, "reference", 0, nullptr);
        reference.viewportSize = tools->viewportSize;
        reference.copyViewState(*tools);
        reference.render(file->width, file->height, red.data(), nullptr, nullptr, true,
                         QPoint(file->getWorkAreaX(0), file->getWorkAreaY(0)),
                         QSize(file->workAreaWidth, file->workAreaHeight));
        ASSERT_FALSE(reference.isEmpty());
        EXPECT_TRUE(*tools->image == *reference.image) << c.what;
        TestSupport::quietly([&] { c.button->click(); });  // hides it again
        ASSERT_FALSE(toolsViewerShown());
    }
}

// A homogeneity detector without a selected curve set says so once.
TEST_F(FeatureChains, AMissingCurveSetIsToldOnce)
{
    FenlarkAppUI& ui = *window->ui;
    ui.checkBoxAutoUseCustomMean->setChecked(false);
    ui.checkBoxAutoUseCustomMinMax->setChecked(false);
    for (int feature : {4, 5}) {
        ui.comboBoxAutoFeature->setCurrentIndex(feature);
        EXPECT_EQ(messagesOf([&] { ui.pushButtonAutoFeatureShow->click(); }),
                  QStringList({"Select curve from Curve explorer"}))
            << feature;
        EXPECT_FALSE(toolsViewerShown());
    }
}

// -------------------------------------------------------- homogeneity refresh

TEST_F(FeatureChains, UpdateMeanAndMinMaxTakeTheSelectedSetsStatistics)
{
    FenlarkAppUI& ui = *window->ui;
    showOn(0, index, false, {0, 1, 2});
    ui.doubleSpinBoxAutoCustomMean->setValue(7.0);

    // Nothing selected, then a stale index: told, boxes unchanged.
    EXPECT_EQ(messagesOf([&] { ui.toolButtonRefresMeanForH->click(); }),
              QStringList({"Select curve from Curve explorer"}));
    setSideValue(0, "curveExplorerStateCurrentIndex", 3);
    EXPECT_EQ(messagesOf([&] { window->toolButtonRefresMeanForH_clicked(); }),
              QStringList({"Select curve from Curve explorer"}));
    EXPECT_EQ(ui.doubleSpinBoxAutoCustomMean->value(), 7.0);

    // A set outside the data: no statistics, boxes unchanged.
    window->curveSets[index].append(ShellTest::squareSet(-40, -40, -30, -30, {255, 0, 0, 255}));
    setSideValue(0, "curveExplorerStateCurrentIndex", 0);
    EXPECT_TRUE(messagesOf([&] { window->toolButtonRefresMeanForH_clicked(); }).isEmpty());
    EXPECT_EQ(ui.doubleSpinBoxAutoCustomMean->value(), 7.0);

    window->curveSets[index].append(ShellTest::squareSet(3, 3, 9, 7, {255, 0, 0, 255}));
    setSideValue(0, "curveExplorerStateCurrentIndex", 1);
    window->toolButtonRefresMeanForH_clicked();
    const UI::CurveSet& set = window->curveSets[index][1];
    ASSERT_EQ(set.mean.size(), file->bands.size());
    EXPECT_NEAR(ui.doubleSpinBoxAutoCustomMean->value(), set.mean[0], 0.0051) << "two decimals";

    window->toolButtonRefresMinMaxForH_clicked();
    EXPECT_NEAR(ui.doubleSpinBoxAutoCustomMin->value(), set.min[0], 0.051);
    EXPECT_NEAR(ui.doubleSpinBoxAutoCustomMax->value(), set.max[0], 0.051);
    EXPECT_EQ(ui.doubleSpinBoxAutoCustomMin->value() * 10.0, std::round(ui.doubleSpinBoxAutoCustomMin->value() * 10.0));

    // Known statistics are not computed again.
    const int reads = file->readCount;
    window->toolButtonRefresMeanForH_clicked();
    EXPECT_EQ(file->readCount, reads);
}

} // namespace
