// Redrawing the viewers: which viewers a refresh touches, the image each
// role draws, the curve overlays on both sides, the working window under the
// main viewer, and the side accessors the refresh reads.

#include <algorithm>
#include <atomic>
#include <functional>
#include <stdexcept>
#include <utility>
#include <vector>

#include <QComboBox>
#include <QScrollArea>
#include <QSpinBox>
#include <QTest>

#include "support/TaskDialogs.h"
#include "test_shell_support.h"
#include "tools/TaskRunner.h"

using ShellTest::pixel;
using ShellTest::Shell;

namespace {

const QColor activeColour(255, 0, 0, 255);

class Refresh : public Shell {
protected:
    void SetUp() override
    {
        Shell::SetUp();
        window->ui->curveColors.insert("Curve/activeCurveColor", activeColour);
        data = addDataSet(ShellTest::makeDataSet(300, 200, 3, 60));
        showOn(0, data);
        setViewport(viewer(0), QSize(210, 160)); // a 200 x 150 image at zoom 1
    }

    IO::File* file() { return window->dataFiles[data]; }

    int data = -1;
};

// Opaque byte of a sample as the viewer writes it.
int byteOf(float v)
{
    return static_cast<int>(v * 255.0f + 0.5f);
}

} // namespace

TEST_F(Refresh, RightSideHiddenOnlyLeftViewersAreDrawn)
{
    UI::ViewerWidget* left = viewer(0);
    UI::ViewerWidget* right = viewer(1);
    showOn(1, data); // even a data set recorded for the hidden side is not drawn
    const quint64 rightBefore = right->renderCount;
    window->refreshAllViewers();
    EXPECT_EQ(left->imageWidth, 200);
    EXPECT_EQ(left->imageHeight, 150);
    EXPECT_EQ(right->renderCount, rightBefore);
    EXPECT_TRUE(right->isEmpty());

    // The main viewer shows the three display bands as red, green, blue.
    const QRgb shown = pixel(left, 17, 9);
    EXPECT_EQ(qRed(shown), byteOf(ShellTest::bandSample(0, 17, 9)));
    EXPECT_EQ(qGreen(shown), byteOf(ShellTest::bandSample(1, 17, 9)));
    EXPECT_EQ(qBlue(shown), byteOf(ShellTest::bandSample(2, 17, 9)));
}

TEST_F(Refresh, CurvesOfTheActiveDataSetAppearAtTheSamePixelsOnBothSides)
{
    // The right side shows another data set; the left one is active.
    const int other = addDataSet(ShellTest::makeDataSet(300, 200, 3, 60));
    window->toolButtonTabWidget_clicked();
    ASSERT_FALSE(window->ui->rightTabWidget->isHidden());
    showOn(1, other);
    window->curveSets[data].append(ShellTest::squareSet(20, 30, 80, 90, {0, 200, 255, 255}));
    window->curveSets[other].append(ShellTest::squareSet(100, 100, 150, 150, {255, 255, 0, 255}));
    setViewport(viewer(0), QSize(210, 160));
    setViewport(viewer(1), QSize(210, 160));

    window->refreshAllViewers();
    for (int side : {0, 1}) {
        EXPECT_EQ(pixel(viewer(side), 50, 30), qRgb(0, 200, 255)) << side;
        EXPECT_EQ(pixel(viewer(side), 20, 60), qRgb(0, 200, 255)) << side;
        // The other data set's curves are not drawn while it is not active.
        EXPECT_NE(pixel(viewer(side), 125, 100), qRgb(255, 255, 0)) << side;
    }

    // A change of curves refreshed on the active side reaches the other side.
    window->curveSets[data].clear();
    window->refreshActiveViewers();
    EXPECT_NE(pixel(viewer(1), 50, 30), qRgb(0, 200, 255));
}

TEST_F(Refresh, SelectedCurveSetIsDrawnLastInTheActiveColour)
{
    // Two sets over the same outline: without selection the later one's own
    // colour wins; the selected one is drawn on top in the active colour.
    window->curveSets[data].append(ShellTest::squareSet(20, 30, 80, 90, {0, 0, 255, 255}));
    window->curveSets[data].append(ShellTest::squareSet(20, 30, 80, 90, {0, 255, 0, 255}));
    const struct {
        int selected;
        QRgb expected;
    } cases[] = {{-1, qRgb(0, 255, 0)}, {0, activeColour.rgb()}, {1, activeColour.rgb()}, {2, qRgb(0, 255, 0)},
                 {9, qRgb(0, 255, 0)}};
    for (const auto& c : cases) {
        setSideValue(0, "curveExplorerStateCurrentIndex", c.selected);
        window->refreshAllViewers();
        EXPECT_EQ(pixel(viewer(0), 50, 30), c.expected) << "selected " << c.selected;
    }
}

TEST_F(Refresh, TranslucentCurvesDoNotDarkenOverRepeatedRefreshes)
{
    addToolsViewer(0, "viewerWidgetToolsFeature");
    window->ui->featureShowedCacheByTab[0] = "dataCacheToolsFilterSolution";
    for (int b = 0; b < 3; ++b) {
        const std::vector<float> image(60 * 60, 0.5f);
        file()->bands[static_cast<std::size_t>(b)].levels[0].storeCache<float>("dataCacheToolsFilterSolution",
                                                                               image.data(), image.size());
    }
    setViewport(viewer(0, "viewerWidgetToolsFeature"), QSize(210, 160));
    window->curveSets[data].append(ShellTest::squareSet(20, 30, 50, 50, {255, 0, 0, 100}));

    window->refreshAllViewers();
    const QRgb once = pixel(viewer(0), 30, 30);
    const QRgb onceTools = pixel(viewer(0, "viewerWidgetToolsFeature"), 30, 30);
    window->refreshAllViewers();
    window->refreshActiveViewers();
    EXPECT_EQ(pixel(viewer(0), 30, 30), once);
    EXPECT_EQ(pixel(viewer(0, "viewerWidgetToolsFeature"), 30, 30), onceTools);
    EXPECT_NE(once, qRgb(255, 0, 0)); // it is translucent
}

TEST_F(Refresh, FeatureViewerDrawsTheEntryTheDriversComputed)
{
    UI::ViewerWidget* tools = addToolsViewer(0, "viewerWidgetToolsFeature");
    setViewport(tools, QSize(210, 160));
    // Per band one flat image of the working window: red 0.2, green 0.6,
    // blue 0.9 under both keys.
    const float values[3] = {0.2f, 0.6f, 0.9f};
    for (const char* key : {"dataCacheToolsFilterSolution", "dataCacheToolsAutoEdgeDetector"}) {
        for (int b = 0; b < 3; ++b) {
            const std::vector<float> image(60 * 60, values[b]);
            file()->bands[static_cast<std::size_t>(b)].levels[0].storeCache<float>(key, image.data(), image.size());
        }
    }
    auto* channel = new QComboBox(window.get());
    window->ui->comboBoxAutoChannel = channel;
    file()->setWorkAreaX(0, 12);
    file()->setWorkAreaY(0, 6);

    const auto grey = [](float v) { return qRgb(byteOf(v), byteOf(v), byteOf(v)); };
    const struct {
        const char* key;
        bool multichannel;
        int channelItems;
        int channelIndex;
        QRgb expected;
    } cases[] = {
        {"dataCacheToolsFilterSolution", true, 3, 0, qRgb(byteOf(0.2f), byteOf(0.6f), byteOf(0.9f))},
        {"dataCacheToolsFilterSolution", false, 3, 2, grey(0.2f)},
        {"dataCacheToolsAutoEdgeDetector", true, 3, 0, grey(0.2f)},
        {"dataCacheToolsAutoEdgeDetector", true, 3, 1, grey(0.6f)},
        {"dataCacheToolsAutoEdgeDetector", true, 3, 2, grey(0.9f)},
        // An empty channel list reads as the red band, as the drivers use it.
        {"dataCacheToolsAutoEdgeDetector", true, 0, -1, grey(0.2f)},
    };
    for (const auto& c : cases) {
        channel->clear();
        for (int k = 0; k < c.channelItems; ++k)
            channel->addItem(QString::number(k));
        channel->setCurrentIndex(c.channelIndex);
        showOn(0, data, c.multichannel);
        window->ui->featureShowedCacheByTab[0] = c.key;
        tools->clear();
        window->refreshViewer(tools);
        ASSERT_FALSE(tools->isEmpty()) << c.key;
        EXPECT_EQ(pixel(tools, 30, 20), c.expected) << c.key << " channel " << c.channelIndex;
        // Outside the working window the viewer shows white.
        EXPECT_EQ(pixel(tools, 5, 20), qRgb(255, 255, 255));
    }

    // A missing entry, or one smaller than the window, leaves the image.
    window->ui->featureShowedCacheByTab[0] = "dataCacheToolsSemiEdgeDetector";
    const quint64 before = tools->renderCount;
    window->refreshViewer(tools);
    EXPECT_EQ(tools->renderCount, before);
    file()->workAreaWidth = 66;
    window->ui->featureShowedCacheByTab[0] = "dataCacheToolsFilterSolution";
    window->refreshViewer(tools);
    EXPECT_EQ(tools->renderCount, before);
}

TEST_F(Refresh, MainViewerWithoutItsBandsIsCleared)
{
    UI::ViewerWidget* main = viewer(0);
    window->refreshViewer(main);
    ASSERT_FALSE(main->isEmpty());

    // A band index from a stale session key.
    showOn(0, data, true, {0, 7, 2});
    window->refreshViewer(main);
    EXPECT_TRUE(main->isEmpty());

    // A band whose load failed.
    showOn(0, data, false);
    window->refreshViewer(main);
    ASSERT_FALSE(main->isEmpty());
    file()->bands[0].release();
    window->refreshViewer(main);
    EXPECT_TRUE(main->isEmpty());
}

TEST_F(Refresh, RelevancyMapMovesTheWorkingWindowAndStaleIndexesDrawNothing)
{
    UI::ViewerWidget* maps = addToolsViewer(0, "viewerWidgetToolsMaps");
    setViewport(maps, QSize(210, 160));
    UI::RelevancyMap map;
    map.x = 120;
    map.y = 60;
    map.width = 30;
    map.height = 20;
    map.values.assign(30 * 20, 0.5f);
    window->relevancyMaps[data].append(map);
    window->ui->mapsShowedNameByTab[0] = "dataCacheToolsClassifiRM";
    window->ui->mapsShowedIndexByTab[0] = 0;

    window->refreshViewer(maps);
    EXPECT_EQ(file()->getWorkAreaX(0), 120);
    EXPECT_EQ(file()->getWorkAreaY(0), 60);
    EXPECT_EQ(pixel(maps, 125, 65), qRgb(128, 128, 128));
    EXPECT_EQ(pixel(maps, 100, 65), qRgb(255, 255, 255));

    for (int stale : {-1, 1, 5}) {
        window->ui->mapsShowedIndexByTab[0] = stale;
        const quint64 before = maps->renderCount;
        window->refreshViewer(maps);
        EXPECT_EQ(maps->renderCount, before) << stale;
    }
    // A tag other than the relevancy map's draws nothing either.
    window->ui->mapsShowedIndexByTab[0] = 0;
    window->ui->mapsShowedNameByTab[0] = "0";
    const quint64 before = maps->renderCount;
    window->refreshViewer(maps);
    EXPECT_EQ(maps->renderCount, before);
}

// A map near the data's right or bottom edge moves the working window only
// as far as the data allows; a map well inside keeps its own corner.
TEST_F(Refresh, ARelevancyMapNearTheEdgeKeepsTheWorkingWindowInsideTheData)
{
    UI::ViewerWidget* maps = addToolsViewer(0, "viewerWidgetToolsMaps");
    setViewport(maps, QSize(210, 160));
    window->ui->mapsShowedNameByTab[0] = "dataCacheToolsClassifiRM";
    window->ui->mapsShowedIndexByTab[0] = 0;
    const struct {
        int x, y;
        QPoint expected;
    } cases[] = {
        {13, 7, {13, 7}},       // inside: the map's corner, not rounded
        {285, 190, {240, 140}}, // 300 x 200 data, 60-pixel window
        {250, 100, {240, 100}},
    };
    for (const auto& c : cases) {
        UI::RelevancyMap map;
        map.x = c.x;
        map.y = c.y;
        map.width = 12;
        map.height = 8;
        map.values.assign(12 * 8, 0.25f);
        window->relevancyMaps[data] = {map};
        window->refreshViewer(maps);
        EXPECT_EQ(QPoint(file()->getWorkAreaX(0), file()->getWorkAreaY(0)), c.expected) << c.x << ", " << c.y;
    }
    // The map itself is drawn at its own place, whatever the window.
    window->relevancyMaps[data][0].x = 150;
    window->relevancyMaps[data][0].y = 100;
    window->refreshViewer(maps);
    EXPECT_EQ(pixel(maps, 152, 102), qRgb(64, 64, 64));
    EXPECT_EQ(pixel(maps, 148, 102), qRgb(255, 255, 255));
}

TEST_F(Refresh, RefreshWithoutDataSetOrLayoutIsHarmless)
{
    window->ui->leftDataIndex = -1;
    window->refreshAllViewers();
    window->refreshActiveViewers();
    EXPECT_TRUE(viewer(0)->isEmpty());
    // A data index outside the list (the list shrank) reads as no data set.
    window->ui->leftDataIndex = 5;
    window->refreshAllViewers();
    EXPECT_EQ(window->getDataFile(0), nullptr);
}

// The working window follows the main viewer's centre, on a multiple of 6
// and inside the data.
TEST_F(Refresh, WorkingWindowFollowsTheViewInsideTheData)
{
    UI::ViewerWidget* main = viewer(0);
    const struct {
        const char* what;
        int dataSize;
        int window;
        int origin;      // of the main viewer, both axes
        int visible;     // visible size, both axes
        int expected;    // working-window origin, both axes
    } cases[] = {
        {"613 rounds down to 612", 5000, 1002, 614, 1000, 612},
        {"615 rounds up to 618", 5000, 1002, 616, 1000, 618},
        {"centre at the start", 5000, 1002, 0, 1000, 0},
        // Unrounded 1000 would round to 1002, two pixels past the edge.
        {"rounding stays inside the far edge", 2002, 1002, 1500, 500, 996},
        {"an edge on a multiple of 6", 2004, 1002, 1500, 500, 1002},
        {"data smaller than the window", 600, 1002, 0, 600, 0},
    };
    for (const auto& c : cases) {
        file()->width = c.dataSize;
        file()->height = c.dataSize;
        file()->workAreaWidth = c.window;
        file()->workAreaHeight = c.window;
        main->origin = QPoint(c.origin, c.origin);
        main->visibleSize = QSize(c.visible, c.visible);
        window->updateWorkingArea(file(), 0);
        EXPECT_EQ(file()->getWorkAreaX(0), c.expected) << c.what;
        EXPECT_EQ(file()->getWorkAreaY(0), c.expected) << c.what;
    }

    // Before a working window is set nothing moves.
    file()->workAreaWidth = 0;
    file()->setWorkAreaX(0, 42);
    window->updateWorkingArea(file(), 0);
    EXPECT_EQ(file()->getWorkAreaX(0), 42);
    EXPECT_THROW(file()->getWorkAreaX(2), std::out_of_range);
    EXPECT_THROW(file()->getWorkAreaY(-1), std::out_of_range);
}

TEST(ViewOverlap, BoxesMeetingTheViewAnyWay)
{
    const QPoint viewStart(100, 100), viewEnd(300, 200);
    const struct {
        const char* what;
        QPoint boxMin, boxMax;
        bool overlaps;
    } cases[] = {
        {"inside", {150, 120}, {160, 130}, true},
        {"around", {0, 0}, {1000, 1000}, true},
        {"one corner in", {250, 150}, {400, 400}, true},
        {"tall narrow box through the middle", {195, 0}, {205, 1000}, true},
        // Neither centre lies in the other rectangle and no corner does: a
        // plus sign still overlaps.
        {"plus sign off centre", {120, 0}, {130, 1000}, true},
        {"touching the right edge", {300, 150}, {350, 160}, true},
        {"left of the view", {0, 120}, {99, 130}, false},
        {"below the view", {150, 201}, {160, 260}, false},
        {"diagonal apart", {301, 201}, {400, 400}, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(UI::FenlarkApp::viewOverlapsBox(viewStart, viewEnd, c.boxMin, c.boxMax), c.overlaps) << c.what;
}

TEST_F(Refresh, CurveSetsMissingTheViewOrHiddenLeaveTheImage)
{
    UI::ViewerWidget* main = viewer(0);
    window->refreshViewer(main);
    const QImage plain = main->image->copy();

    UI::CurveSet outside = ShellTest::squareSet(250, 170, 280, 190, {255, 0, 0, 255});
    UI::CurveSet hidden = ShellTest::squareSet(20, 30, 80, 90, {255, 0, 0, 255});
    hidden.visible = false;
    UI::CurveSet hiddenCurves = ShellTest::squareSet(20, 30, 80, 90, {255, 0, 0, 255});
    hiddenCurves.curves[0].visible = false;
    for (const UI::CurveSet& set : {outside, hidden, hiddenCurves}) {
        window->drawCurveSet(set, main, false);
        EXPECT_EQ(*main->image, plain);
    }
    // Moved into view, the first one is drawn.
    main->origin = QPoint(100, 50);
    window->refreshViewer(main);
    window->drawCurveSet(outside, main, false);
    EXPECT_EQ(pixel(main, 150, 125), qRgb(255, 0, 0));
}

TEST_F(Refresh, PickedPointsAndPlotMarksIgnoreStaleChoices)
{
    UI::ViewerWidget* main = viewer(0);
    window->curveSets[data].append(ShellTest::squareSet(20, 30, 80, 90, {0, 0, 255, 255}));
    window->refreshViewer(main);
    const QImage withCurve = main->image->copy();

    // Picks of a curve set or curve that no longer exists draw nothing.
    window->ui->pickedPointIndices = {0, 2, 3};
    for (const auto& [set, curve] : {std::pair{1, 0}, std::pair{0, 1}, std::pair{-1, 0}}) {
        window->ui->pickedCurveSet = set;
        window->ui->pickedCurve = curve;
        window->drawPickedPoints(main);
        EXPECT_EQ(*main->image, withCurve);
    }
    // Valid picks: only the first two points, as red discs.
    window->ui->pickedCurveSet = 0;
    window->ui->pickedCurve = 0;
    window->drawPickedPoints(main);
    EXPECT_EQ(pixel(main, 20, 30), qRgb(255, 0, 0));
    EXPECT_EQ(pixel(main, 80, 90), qRgb(255, 0, 0));
    EXPECT_NE(pixel(main, 20, 90), qRgb(255, 0, 0)); // the third pick

    // Habitat plots: nothing without a chosen habitat; a stale plot choice
    // draws the group's marks only.
    window->refreshViewer(main);
    const QImage plain = main->image->copy();
    HabitatPlotGroup group;
    HabitatPlot plot;
    plot.pixelX = 40;
    plot.pixelY = 40;
    group.plots.append(plot);
    window->habitatPlots.insert("6510", group);
    window->habitatPlotsDataSet = file();
    window->ui->habitatPlotColors.insert("HabitatPlot/markColor", QColor(255, 0, 255));
    window->ui->habitatPlotColors.insert("HabitatPlot/selectedMarkColor", QColor(0, 255, 0));
    auto* habitat = new QComboBox(window.get());
    auto* plotChoice = new QComboBox(window.get());
    window->ui->comboBoxHabitat = habitat;
    window->ui->comboBoxHabitatPlot = plotChoice;
    window->drawHabitatPlotMarks(main);
    EXPECT_EQ(*main->image, plain);
    habitat->addItem("6510");
    plotChoice->addItems({"1", "2"});
    plotChoice->setCurrentIndex(1);
    window->drawHabitatPlotMarks(main);
    EXPECT_EQ(pixel(main, 40, 40), qRgb(255, 0, 255));
    plotChoice->setCurrentIndex(0);
    window->drawHabitatPlotMarks(main);
    EXPECT_EQ(pixel(main, 40, 40), qRgb(0, 255, 0));
}

TEST_F(Refresh, SideAccessorsReadTheirGroupsAndCheckTheirIndexes)
{
    EXPECT_EQ(window->getDataFile(0), file());
    EXPECT_EQ(window->getDataFile(1), nullptr);
    EXPECT_EQ(window->getDataFile(2), nullptr);
    EXPECT_EQ(window->getDataFile(-1), nullptr);

    EXPECT_EQ(window->getBandIndex(0, 3), -1);
    EXPECT_EQ(window->getBandIndex(0, -1), -1);
    EXPECT_EQ(window->getBandIndex(1, 0), 0); // nothing stored
    EXPECT_EQ(window->getCurveExplorerIndex(1), -1);
    EXPECT_EQ(window->getRMExplorerIndex(1), -1);
    EXPECT_FALSE(window->isMultiChannel(1));

    // The segmentation band: red with one channel whatever the combo shows;
    // with three, the combo's channel, an index outside 0..2 as red.
    auto* channel = new QComboBox(window.get());
    channel->addItems({"r", "g", "b"});
    window->ui->comboBoxAutoChannel = channel;
    showOn(0, data, false, {2, 1, 0});
    channel->setCurrentIndex(1);
    EXPECT_EQ(window->getSegmentationBand(), 2);
    showOn(0, data, true, {2, 1, 0});
    EXPECT_EQ(window->getSegmentationBand(), 1);
    channel->setCurrentIndex(-1);
    EXPECT_EQ(window->getSegmentationBand(), 2);

    // Each accessor closes the group it opened.
    EXPECT_TRUE(window->sessionConfig->group().isEmpty());

    window->curveSets[data].append(ShellTest::squareSet(1, 1, 5, 5, {0, 0, 0, 255}));
    QList<UI::CurveSet> copy;
    EXPECT_TRUE(window->getCurveSets(copy));
    EXPECT_EQ(copy.size(), 1);
    EXPECT_EQ(&window->activeCurveSets(), &window->curveSets[data]);
    EXPECT_EQ(&window->activeRelevancyMaps(), &window->relevancyMaps[data]);

    window->ui->leftDataIndex = -1;
    copy.clear();
    EXPECT_FALSE(window->getCurveSets(copy));
    EXPECT_TRUE(copy.isEmpty());
    EXPECT_TRUE(window->activeCurveSets().isEmpty());
}

TEST_F(Refresh, ResizedScrollAreaRendersTheViewerAgainAtItsSize)
{
    UI::ViewerWidget* main = viewer(0);
    auto* area = qobject_cast<QScrollArea*>(main->parentWidget()->parentWidget());
    ASSERT_NE(area, nullptr);
    // An empty viewer only takes the size.
    area->resize(150, 120);
    EXPECT_EQ(main->viewportSize, QSize(150, 120));
    EXPECT_TRUE(main->isEmpty());

    window->refreshViewer(main);
    ASSERT_EQ(main->image->size(), QSize(140, 110));
    area->resize(260, 170);
    EXPECT_EQ(main->viewportSize, QSize(260, 170));
    EXPECT_EQ(main->image->size(), QSize(250, 160));
}

// A redraw at rest of a curve of thousands of segments (painted in strips,
// and copied from the last redraw when nothing it draws changed) shows every
// change: of the curve, its colour and width, the bands and the zoom.
TEST_F(Refresh, ARedrawAtRestOfALongCurveShowsEveryChange)
{
    UI::ViewerWidget* main = viewer(0);
    const std::vector<int> cyan{0, 200, 255, 255};
    const auto setWidth = [&](int width) {
        if (window->ui->spinBoxCurveWidth)
            window->ui->spinBoxCurveWidth->setValue(width);
        window->sessionConfig->setValue("Curve/lineWidth", width);
    };
    const auto sample = [](std::vector<int> bands, int x, int y) {
        return qRgb(byteOf(ShellTest::bandSample(bands[0], x, y)), byteOf(ShellTest::bandSample(bands[1], x, y)),
                    byteOf(ShellTest::bandSample(bands[2], x, y)));
    };
    UI::Curve& curve = [&]() -> UI::Curve& {
        window->curveSets[data].append(ShellTest::denseSquareSet(40, 30, 160, 120, cyan));
        return window->curveSets[data][0].curves[0];
    }();
    const std::vector<Point2D> square = curve.points();
    ASSERT_GT(square.size(), 5000u);

    // The top edge runs along row 30 from column 40 to 160; row 32 is
    // inside a 6-pixel line only; (180, 140) lies off the curve.
    struct Row {
        const char* change;
        std::function<void()> apply;
        std::vector<std::pair<QPoint, QRgb>> expected;
    };
    const QRgb drawn = qRgb(0, 200, 255);
    const std::vector<Row> rows{
        {"nothing", [] {}, {{{100, 30}, drawn}, {{100, 32}, sample({0, 1, 2}, 100, 32)}, {{180, 140}, sample({0, 1, 2}, 180, 140)}}},
        {"colour", [&] { curve.color = {0, 255, 0, 255}; }, {{{100, 30}, qRgb(0, 255, 0)}}},
        {"width", [&] { setWidth(6); }, {{{100, 32}, drawn}, {{100, 30}, drawn}}},
        {"points",
         [&] {
             std::vector<Point2D> moved = square;
             for (Point2D& p : moved)
                 p.y += 10.0;
             curve.setPoints(moved);
             window->curveSets[data][0].updateBoundingBoxes();
         },
         {{{100, 30}, sample({0, 1, 2}, 100, 30)}, {{100, 40}, drawn}}},
        {"hidden", [&] { curve.visible = false; }, {{{100, 30}, sample({0, 1, 2}, 100, 30)}}},
        {"bands", [&] { showOn(0, data, true, {2, 1, 0}); },
         {{{100, 30}, drawn}, {{180, 140}, sample({2, 1, 0}, 180, 140)}}},
        {"zoom", [&] { main->zoomStep(QPointF(0, 0), 1); },
         {{{100, 60}, drawn}, {{100, 30}, sample({0, 1, 2}, 50, 15)}}},
    };
    for (const Row& row : rows) {
        curve.setPoints(square);
        curve.color = cyan;
        curve.visible = true;
        window->curveSets[data][0].updateBoundingBoxes();
        setWidth(2);
        showOn(0, data);
        main->resetView();
        window->refreshAllViewers();
        window->refreshAllViewers();
        row.apply();
        window->refreshAllViewers();
        for (const auto& [at, colour] : row.expected)
            EXPECT_EQ(pixel(main, at.x(), at.y()), colour) << row.change << " at " << at.x() << "," << at.y();
    }
}

// The progress dialog blocks input, not the window system: a resize inside
// it asks every viewer for a redraw while the task writes band samples and
// computed images. No viewer draws from the data set before the task has
// ended; then every one is drawn once, with what the task wrote.
TEST_F(Refresh, AResizeDuringATaskDrawsNothingUntilItEndsThenEveryViewer)
{
    // A data set larger than the viewers, on both sides, with a feature
    // beside the left main viewer and curves over all of them.
    const int large = addDataSet(ShellTest::makeDataSet(1200, 900, 3, 60));
    IO::File* shown = window->dataFiles[large];
    const auto storeFeature = [shown](float value) {
        const std::vector<float> image(60 * 60, value);
        for (IO::Band& band : shown->bands)
            band.levels[0].storeCache<float>("dataCacheToolsFilterSolution", image.data(), image.size());
    };
    storeFeature(0.5f);
    showOn(0, large);
    addToolsViewer(0, "viewerWidgetToolsFeature");
    window->ui->featureShowedCacheByTab[0] = "dataCacheToolsFilterSolution";
    window->toolButtonTabWidget_clicked();
    ASSERT_FALSE(window->ui->rightTabWidget->isHidden());
    showOn(1, large);
    window->curveSets[large].append(ShellTest::squareSet(20, 30, 80, 90, {0, 200, 255, 255}));
    window->resize(1588, 1020);
    QApplication::processEvents();
    window->refreshAllViewers();
    const QList<UI::ViewerWidget*> all{viewer(0), viewer(0, "viewerWidgetToolsFeature"), viewer(1)};
    QList<quint64> rendersBefore;
    QList<QSize> viewportsBefore;
    for (UI::ViewerWidget* v : all) {
        ASSERT_FALSE(v->isEmpty()) << v->name.toStdString() << " on side " << v->side;
        rendersBefore.append(v->renderCount);
        viewportsBefore.append(v->viewportSize);
    }

    // Inside the dialog the window grows and every scroll area with it;
    // only then does the task write, as a band load and a feature do.
    QObject context;
    std::atomic<bool> resized{false};
    QList<quint64> rendersInside;
    QList<QSize> viewportsInside;
    TestSupport::whenDialogShows(&context, [&](QProgressDialog*) {
        window->resize(window->size() + QSize(160, 120));
        EXPECT_TRUE(QTest::qWaitFor([&] { return viewer(0)->viewportSize != viewportsBefore[0]; }));
        QApplication::processEvents();
        for (UI::ViewerWidget* v : all) {
            rendersInside.append(v->renderCount);
            viewportsInside.append(v->viewportSize);
        }
        resized = true;
    });
    std::vector<float> inverted(1200 * 900);
    for (int y = 0; y < 900; ++y) {
        for (int x = 0; x < 1200; ++x)
            inverted[static_cast<std::size_t>(y * 1200 + x)] = 1.0f - ShellTest::bandSample(0, x, y);
    }
    bool written = false;
    runWithProgressDialog<bool>("Reading data for B02 ", written, [&] {
        if (!TestSupport::waitFor(resized))
            return false;
        shown->bands[0].levels[0].setDataFromFloats(inverted.data(), 1200 * 900, false, 0.0, 1.0);
        storeFeature(0.25f);
        return true;
    });
    ASSERT_TRUE(written);
    ASSERT_EQ(rendersInside.size(), all.size());
    for (int i = 0; i < all.size(); ++i) {
        const std::string which = all[i]->name.toStdString() + " on side " + std::to_string(all[i]->side);
        EXPECT_NE(viewportsInside[i], viewportsBefore[i]) << which << ": the resize reached it";
        EXPECT_EQ(rendersInside[i], rendersBefore[i]) << which << " drew from the data set during the task";
    }

    // Once the task has ended, each viewer is drawn at its new size with what
    // the task wrote: the picture of a refresh without any task.
    QApplication::processEvents();
    QList<QImage> after;
    for (int i = 0; i < all.size(); ++i) {
        EXPECT_EQ(all[i]->renderCount, rendersBefore[i] + 1) << all[i]->name.toStdString() << " drawn once";
        after.append(all[i]->image->copy());
    }
    EXPECT_EQ(qRed(pixel(viewer(0), 130, 110)), byteOf(1.0f - ShellTest::bandSample(0, 130, 110)));
    EXPECT_EQ(pixel(viewer(0, "viewerWidgetToolsFeature"), 30, 20),
              qRgb(byteOf(0.25f), byteOf(0.25f), byteOf(0.25f)));
    window->refreshAllViewers();
    for (int i = 0; i < all.size(); ++i) {
        const QSize fits = all[i]->viewportSize - QSize(10, 10);
        EXPECT_EQ(after[i].size(), QSize(std::min(fits.width(), 1200), std::min(fits.height(), 900)))
            << all[i]->name.toStdString();
        EXPECT_TRUE(after[i] == *all[i]->image) << all[i]->name.toStdString() << " on side " << all[i]->side;
    }
}
