// Segmentation by mouse on a real product with known edges: initial shapes,
// the automatic run, semi-automatic tracing and the local adjustment, driven
// by mouse events on the main viewer.

#include <cmath>
#include <filesystem>

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDockWidget>
#include <QMenuBar>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QTest>
#include <QTreeWidget>

#include "app/CurveDrawing.h"
#include "app/SegmentTracer.h"
#include "evolution/SegmentEvolution.h"
#include "tools/FeatureKeys.h"
#include "io/test_jp2zip_fixture.h"
#include "io/NumberText.h"
#include "support/TestSupport.h"
#include "test_context_menus.h"
#include "test_product_shell.h"

using ShellTest::Dialogs;
using ShellTest::Shell;

namespace {

namespace fs = std::filesystem;

constexpr int kSize = 120;     // the product's working grid
constexpr int kWindow = 84;    // the working window: a part of the grid

Sample::ProductSpec sceneProduct(int originEasting = 500000)
{
    Sample::ProductSpec spec;
    spec.size = kSize;
    spec.scene = Sample::Scene::Shapes;
    spec.originEasting = originEasting;
    return spec;
}

// Mean and largest distance of a curve's points to a circle.
struct Fit {
    double mean = 0.0;
    double worst = 0.0;
};
Fit fitToCircle(const std::vector<Point2D>& points, double cx, double cy, double r)
{
    Fit fit;
    for (const Point2D& p : points) {
        const double d = std::abs(std::hypot(p.x - cx, p.y - cy) - r);
        fit.mean += d;
        fit.worst = std::max(fit.worst, d);
    }
    fit.mean /= static_cast<double>(std::max<std::size_t>(points.size(), 1));
    return fit;
}

class MouseTools : public ShellTest::ProductShell {
protected:
    std::string defaults() const override
    {
        std::string text = Shell::defaults();
        setWorkingSize(text, kWindow, kWindow);
        return text;
    }

    void SetUp() override
    {
        Shell::SetUp();
        window->mouseTimer.now = [this] { return clock; };
        open({product(sceneProduct())});
        ASSERT_EQ(window->dataFiles.size(), 1);
        window->setToolDocksEnabled(true);
        disc = Sample::sceneDiscs(kSize)[0];
    }

    IO::File* file(int index = 0) { return window->dataFiles[index]; }
    UI::ViewerWidget* main(int side = 0) { return viewer(side); }
    QList<UI::CurveSet>& sets() { return window->activeCurveSets(); }
    FenlarkAppUI& ui() { return *window->ui; }

    // Widget position of a full-grid pixel position on a viewer.
    static QPointF at(const UI::ViewerWidget* target, Point2D p)
    {
        return {(p.x - target->origin.x()) * target->zoom, (p.y - target->origin.y()) * target->zoom};
    }

    void send(UI::ViewerWidget* target, QEvent::Type type, QPointF position, Qt::MouseButton button,
              Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QMouseEvent event(type, position, target->mapToGlobal(position), button, buttons, modifiers);
        Jp2ZipTest::quietly([&] { QCoreApplication::sendEvent(target, &event); });
    }
    void press(Point2D p, Qt::KeyboardModifiers modifiers = Qt::NoModifier, int side = 0)
    {
        send(main(side), QEvent::MouseButtonPress, at(main(side), p), Qt::LeftButton, Qt::LeftButton, modifiers);
    }
    void release(Point2D p, int side = 0)
    {
        send(main(side), QEvent::MouseButtonRelease, at(main(side), p), Qt::LeftButton, Qt::NoButton);
    }
    void click(Point2D p, int side = 0)
    {
        press(p, Qt::NoModifier, side);
        release(p, side);
    }
    void move(Point2D p, int side = 0)
    {
        send(main(side), QEvent::MouseMove, at(main(side), p), Qt::NoButton, Qt::NoButton);
    }
    void rightPress(int side = 0)
    {
        send(main(side), QEvent::MouseButtonPress, QPointF(5, 5), Qt::RightButton, Qt::RightButton);
    }

    // Point of the disc's edge (plus a margin) at an angle in degrees.
    Point2D onDisc(double degrees, double margin = 0.0) const
    {
        const double t = degrees * M_PI / 180.0;
        return {disc.centerX + (disc.radius + margin) * std::cos(t), disc.centerY + (disc.radius + margin) * std::sin(t)};
    }

    bool controlsEnabled()
    {
        return ui().dockWidgetData->isEnabled() && ui().dockWidgetCurves->isEnabled() && ui().menuBar->isEnabled()
            && ui().mainToolBar->isEnabled();
    }

    // A closed circle around the disc as a stored curve set, made current.
    void addCircleSet(double margin)
    {
        std::vector<Point2D> points = CurveDrawing::circlePath({disc.centerX, disc.centerY}, disc.radius + margin);
        UI::CurveSet set({points});
        set.setName("circle");
        set.setType("kml");
        set.curves[0].setName("ring");
        set.curves[0].computeGeometry();
        set.updateBoundingBoxes();
        window->appendCurveSet(set);
        window->setCurvesExplorer(static_cast<int>(sets().size()) - 1);
    }

    // The segment a mouse at full-grid position p traces from the anchor,
    // computed here on a fresh tracer with the page's settings and images and
    // moved to the full grid: what the mode draws and a click there stores.
    std::vector<Point2D> traceTo(Point2D p)
    {
        const Point2D anchor = ui().segmentAnchor;
        const QPointF mouse = window->workingAreaPosition(main(), at(main(), p));
        const int red = window->getBandIndex(0, 0);
        const bool multi = window->isMultiChannel(0);
        const auto image = [&](const char* key) { return UI::FenlarkApp::workingAreaImage(file(), red, key); };
        const int width = file()->workAreaWidth;
        const int height = file()->workAreaHeight;
        const double step =
            CurveDrawing::tracingStep(std::hypot(mouse.x() - anchor.x, mouse.y() - anchor.y), width, height);
        SegmentEvolution evolution;
        std::vector<Point2D> points = evolution.segmentBetweenPoints(
            step, ui().comboBoxSemiInitialCondition->currentIndex() == 1, anchor.x, mouse.x(), anchor.y, mouse.y(),
            image(Keys::dataCacheToolsSemiEdgeDetectorGradX), image(Keys::dataCacheToolsSemiEdgeDetectorGradY),
            image(multi ? Keys::dataCacheToolsSemiMaxGradX : Keys::dataCacheToolsSemiGradX),
            image(multi ? Keys::dataCacheToolsSemiMaxGradY : Keys::dataCacheToolsSemiGradY), width, height,
            ui().doubleSpinBoxSemiCurvatureInfluence->value(), ui().checkBoxSemiAutoStop->isChecked(),
            ui().checkBoxSemiEvolveSegment->isChecked());
        CurveDrawing::offsetPoints(points, file()->getWorkAreaX(0), file()->getWorkAreaY(0));
        return points;
    }

    // The corner button of the tab bar that opens and closes the right side,
    // and a click on it.
    QToolButton* sideButton()
    {
        return qobject_cast<QToolButton*>(ui().leftTabWidget->tabBar()->tabButton(1, QTabBar::RightSide));
    }
    void clickSideButton()
    {
        QToolButton* button = sideButton();
        ASSERT_NE(button, nullptr);
        Jp2ZipTest::quietly([&] { QTest::mouseClick(button, Qt::LeftButton); });
    }

    // The second product on the right side, which is active: the side opened
    // (again) and the product shown there as needed.
    void workOnTheRight()
    {
        ASSERT_EQ(window->dataFiles.size(), 2);
        if (ui().rightTabWidget->isHidden())
            showOnTheRight(1);
        emit ui().rightTabWidget->tabBarClicked(0);
        ASSERT_EQ(ui().activeSide, 1);
        if (ui().rightDataIndex != 1)
            Jp2ZipTest::quietly([&] { window->showDataSet(1); });
        ASSERT_EQ(ui().rightDataIndex, 1);
        ASSERT_FALSE(main(1)->isEmpty());
    }

    // Curve sets of every data set.
    qsizetype storedSets() const
    {
        qsizetype count = 0;
        for (const QList<UI::CurveSet>& list : window->curveSets)
            count += list.size();
        return count;
    }

    // From now on every preview the mode draws goes to previews, as drawn.
    void recordPreviews()
    {
        QObject::connect(window.get(), &UI::FenlarkApp::segmentPreviewDrawn, window.get(),
                         [this] { previews.push_back(window->pathPoints); });
    }

    qint64 clock = 1000;
    Sample::SceneDisc disc;
    std::vector<std::vector<Point2D>> previews;
};

} // namespace

TEST_F(MouseTools, CircleIsAnchoredByOneClickAndStoredByTheNext)
{
    const QPoint origin(file()->getWorkAreaX(0), file()->getWorkAreaY(0));
    ASSERT_NE(origin, QPoint(0, 0)) << "the working window should sit inside the grid";
    ui().pushButtonAutoInitCircle->click();
    EXPECT_TRUE(ui().initCircleMode);
    EXPECT_TRUE(ui().workingAreaLocked);
    EXPECT_FALSE(controlsEnabled());

    const Point2D centre{48.0, 40.0};
    click(centre);
    EXPECT_DOUBLE_EQ(ui().shapeAnchor.x, centre.x - origin.x());
    EXPECT_DOUBLE_EQ(ui().shapeAnchor.y, centre.y - origin.y());
    move({58.0, 40.0});
    EXPECT_EQ(window->pathPoints.size(), 126u);
    click({58.0, 40.0});

    ASSERT_EQ(sets().size(), 1);
    const UI::CurveSet& set = sets()[0];
    EXPECT_EQ(set.name, "curveSet_0");
    EXPECT_EQ(set.type, "kml");
    ASSERT_EQ(set.curves.size(), 1u);
    const UI::Curve& curve = set.curves[0];
    EXPECT_EQ(curve.name, "curve_0");
    EXPECT_EQ(curve.segmType, "initCurve");
    EXPECT_TRUE(curve.closed);
    EXPECT_FALSE(curve.inner);
    EXPECT_NEAR(curve.area, M_PI * 100.0, 2.0);
    // Stored in full-grid pixels: the working-area anchor plus the origin.
    EXPECT_DOUBLE_EQ(curve.points().front().x, 58.0);
    EXPECT_DOUBLE_EQ(curve.points().front().y, 40.0);
    EXPECT_EQ(set.mean.size(), file()->bands.size());
    const QColor unactive = ui().curveColors.value("Curve/unactiveCurveColor");
    EXPECT_EQ(curve.color, (std::vector<int>{unactive.red(), unactive.green(), unactive.blue(), 255}));
    EXPECT_EQ(window->curveCounter, 1);
    EXPECT_EQ(window->curveSetCounter, 1);
    EXPECT_EQ(window->getCurveExplorerIndex(0), 0);
    EXPECT_FALSE(ui().initCircleMode);
    EXPECT_TRUE(controlsEnabled());
    EXPECT_FALSE(ui().workingAreaLocked);
    EXPECT_DOUBLE_EQ(ui().shapeAnchor.x, -1.0);

    // With a feature image shown beside the viewer the window stays put.
    setSideValue(0, "featureShowed", 1);
    ui().pushButtonAutoInitSquare->click();
    click(centre);
    move({52.0, 42.0});
    click({52.0, 42.0});
    ASSERT_EQ(sets().size(), 2);
    EXPECT_EQ(sets()[1].name, "curveSet_1");
    EXPECT_EQ(sets()[1].curves[0].name, "curve_1");
    EXPECT_TRUE(ui().workingAreaLocked);
}

TEST_F(MouseTools, PolygonDrawnEitherWayRoundIsAnOuterBoundary)
{
    ui().spinBoxSemiMagnetThreshold->setValue(3);
    // Counter-clockwise on the screen, closed by a click near the first
    // vertex, which the magnet pulls onto it.
    ui().pushButtonAutoInitPolygon->click();
    const std::vector<Point2D> vertices{{40, 40}, {40, 60}, {60, 60}, {60, 40}};
    for (const Point2D& v : vertices) {
        move(v);
        click(v);
    }
    move({41, 41});
    click({41, 41});
    ASSERT_EQ(sets().size(), 1);
    const UI::Curve& curve = sets()[0].curves[0];
    EXPECT_FALSE(ui().initPolygonMode);
    EXPECT_TRUE(curve.closed);
    EXPECT_FALSE(curve.inner);
    EXPECT_NEAR(curve.area, 400.0, 1.0);
    EXPECT_EQ(curve.points().front(), curve.points().back());
    EXPECT_NEAR(curve.perimeter, 80.0, 1.0);  // every side once
    std::vector<int> mask;
    sets()[0].rasterize(0, 0, kSize, kSize, mask);
    EXPECT_EQ(mask[50 * kSize + 50], 1);
}

TEST_F(MouseTools, RightPressBeforeTheSecondClickStoresNothing)
{
    ui().pushButtonAutoInitCircle->click();
    click({48.0, 40.0});
    move({55.0, 40.0});
    rightPress();
    EXPECT_TRUE(sets().isEmpty());
    EXPECT_FALSE(ui().initCircleMode);
    EXPECT_TRUE(controlsEnabled());
    EXPECT_EQ(window->curveSetCounter, 0);
    EXPECT_TRUE(window->pathPoints.empty());
}

TEST_F(MouseTools, OnlyAReleaseSoonAfterItsOwnPressIsAClick)
{
    ui().pushButtonAutoInitCircle->click();
    // A release without a press on a viewer.
    release({48.0, 40.0});
    EXPECT_DOUBLE_EQ(ui().shapeAnchor.x, -1.0);
    // A long press is a drag: the drag ends, no anchor.
    press({48.0, 40.0});
    EXPECT_TRUE(main()->dragging);
    clock += 501;
    release({48.0, 40.0});
    EXPECT_FALSE(main()->dragging);
    EXPECT_DOUBLE_EQ(ui().shapeAnchor.x, -1.0);
    // 500 ms is still a click.
    press({48.0, 40.0});
    clock += 500;
    release({48.0, 40.0});
    EXPECT_NE(ui().shapeAnchor.x, -1.0);
}

TEST_F(MouseTools, ShiftClickCopiesThePositionOfTheClickedSide)
{
    open({product(sceneProduct(620000))});
    ASSERT_EQ(window->dataFiles.size(), 2);
    showOnTheRight(1);

    const Point2D p{60.0, 50.0};
    const QPoint widget = at(main(1), p).toPoint();
    const double x = widget.x() / main(1)->zoom + main(1)->origin.x();
    const double y = widget.y() / main(1)->zoom + main(1)->origin.y();
    QApplication::clipboard()->clear();
    press(p, Qt::ShiftModifier, 1);
    release(p, 1);
    const QString expected = QString::fromStdString(file(1)->latLonText(x, y));
    ASSERT_FALSE(expected.isEmpty());
    EXPECT_NE(expected, QString::fromStdString(file(0)->latLonText(x, y)));
    EXPECT_EQ(QApplication::clipboard()->text(), expected);
    // The press also made the clicked side active.
    EXPECT_EQ(ui().activeSide, 1);

    // Shift with another modifier copies nothing.
    QApplication::clipboard()->clear();
    press(p, Qt::ShiftModifier | Qt::ControlModifier, 1);
    release(p, 1);
    EXPECT_TRUE(QApplication::clipboard()->text().isEmpty());
}

TEST_F(MouseTools, EvolveWithoutACurrentSetOnlyWarns)
{
    const struct {
        int sets;
        int current;
        const char* message;
    } cases[] = {
        {0, -1, "Create and select the initial curve"},
        {1, -1, "Select the initial curve"},
        {1, 5, "Select the initial curve"},  // a stale stored index
    };
    for (const auto& c : cases) {
        window->activeCurveSets().clear();
        for (int i = 0; i < c.sets; ++i)
            window->appendCurveSet(ShellTest::squareSet(30, 30, 50, 50, {0, 0, 0, 255}));
        setSideValue(0, "curveExplorerStateCurrentIndex", c.current);
        dialogs.requests.clear();
        ui().pushButtonAutoEvolve->click();
        EXPECT_EQ(dialogs.messageTexts(), QStringList{c.message});
        EXPECT_EQ(sets().size(), c.sets);
        EXPECT_EQ(window->curveSetCounter, 0);
        EXPECT_TRUE(controlsEnabled());
        EXPECT_FALSE(ui().workingAreaLocked);
    }
}

TEST_F(MouseTools, EvolveGrowsASquareOntoTheDiscEdge)
{
    // A small square inside the disc: the run expands it over the
    // homogeneous disc until the edge holds it.
    const double half = 5.0;
    window->appendCurveSet(ShellTest::squareSet(disc.centerX - half, disc.centerY - half, disc.centerX + half,
                                                disc.centerY + half, {0, 0, 0, 255}));
    window->setCurvesExplorer(0);
    ui().spinBoxAutoTotalSteps->setValue(400);
    ui().spinBoxAutoExportInterval->setValue(200);
    ui().checkBoxAutoAutoStop->setChecked(false);
    dialogs.requests.clear();
    Jp2ZipTest::quietly([&] { ui().pushButtonAutoEvolve->click(); });

    EXPECT_TRUE(dialogs.messageTexts().isEmpty()) << dialogs.messageTexts().join("; ").toStdString();
    ASSERT_EQ(sets().size(), 3);
    EXPECT_EQ(sets()[1].name, "curveSet_0");
    EXPECT_EQ(sets()[2].name, "curveSet_1");
    for (const UI::Curve& curve : sets()[2].curves) {
        EXPECT_EQ(curve.segmType, "autoSeg");
        EXPECT_TRUE(curve.closed);
    }
    const Fit before = fitToCircle(sets()[0].curves[0].points(), disc.centerX, disc.centerY, disc.radius);
    const Fit after = fitToCircle(sets()[2].curves[0].points(), disc.centerX, disc.centerY, disc.radius);
    EXPECT_LT(after.mean, 1.5) << before.mean << " -> " << after.mean;
    EXPECT_TRUE(controlsEnabled());
    EXPECT_FALSE(ui().workingAreaLocked);
    // The explorer keeps its current set.
    EXPECT_EQ(window->getCurveExplorerIndex(0), 0);
}

TEST_F(MouseTools, EvolveOfAnOpenCurveAsksOnceAndNoLeavesEverything)
{
    UI::CurveSet open({{{30, 30}, {50, 30}, {50, 50}, {30, 50}}});
    open.updateBoundingBoxes();
    window->appendCurveSet(open);
    window->setCurvesExplorer(0);
    ui().spinBoxAutoTotalSteps->setValue(20);
    ui().spinBoxAutoExportInterval->setValue(10);

    dialogs.answer = QMessageBox::No;
    ui().pushButtonAutoEvolve->click();
    ASSERT_EQ(dialogs.requests.size(), 1);
    EXPECT_EQ(dialogs.requests[0].kind, MessageBoxRequest::Kind::Question);
    EXPECT_EQ(dialogs.requests[0].title, "Close curves");
    EXPECT_EQ(sets().size(), 1);
    EXPECT_TRUE(controlsEnabled());
    EXPECT_FALSE(ui().workingAreaLocked);

    dialogs.requests.clear();
    dialogs.answer = QMessageBox::Yes;
    Jp2ZipTest::quietly([&] { ui().pushButtonAutoEvolve->click(); });
    EXPECT_EQ(dialogs.requests.size(), 1);  // the question alone
    EXPECT_EQ(sets().size(), 3);
}

TEST_F(MouseTools, EvolveStopsWhenItsFeaturesCannotBeComputed)
{
    window->appendCurveSet(ShellTest::squareSet(30, 30, 50, 50, {0, 0, 0, 255}));
    window->setCurvesExplorer(0);
    ui().comboBoxAutoEdgeFilterType->setCurrentIndex(-1);
    Jp2ZipTest::quietly([&] { ui().pushButtonAutoEvolve->click(); });
    EXPECT_EQ(dialogs.messageTexts(), QStringList{"Unable to run evolution of the curve."});
    EXPECT_EQ(sets().size(), 1);
    EXPECT_TRUE(controlsEnabled());
    EXPECT_FALSE(ui().workingAreaLocked);
}

TEST_F(MouseTools, EvolvedStatesBecomeNamedSetsInsideTheGrid)
{
    // Working-area states at a window origin of (6, 12).
    file()->setWorkAreaX(0, 6);
    file()->setWorkAreaY(0, 12);
    const std::vector<Point2D> outer{{10, 10}, {30, 10}, {30, 30}, {10, 30}, {10, 10}};
    const std::vector<Point2D> hole{{15, 15}, {15, 25}, {25, 25}, {25, 15}, {15, 15}};
    const std::vector<Point2D> atLeftEdge{{-6, 10}, {5, 10}, {5, 20}, {-6, 20}, {-6, 10}};
    const std::vector<Point2D> atRightEdge{{100, 10}, {114, 10}, {114, 20}, {100, 20}, {100, 10}};
    window->curveSetCounter = 12;
    window->curveCounter = 40;

    EXPECT_FALSE(window->storeEvolvedStates({{outer, hole}, {atLeftEdge}, {atRightEdge}, {hole}}, file(), 0, false));
    // The first state without its hole, the border states dropped, the
    // state of a hole alone not stored.
    ASSERT_EQ(sets().size(), 1);
    EXPECT_EQ(sets()[0].name, "curveSet_12");
    ASSERT_EQ(sets()[0].curves.size(), 1u);
    EXPECT_EQ(sets()[0].curves[0].name, "curve_40");
    EXPECT_EQ(sets()[0].curves[0].points().front(), (Point2D{16, 22}));
    EXPECT_DOUBLE_EQ(sets()[0].curves[0].area, 400.0);
    EXPECT_EQ(window->curveSetCounter, 13);
    EXPECT_EQ(window->curveCounter, 41);

    // Kept when asked for: the hole stays, inner.
    EXPECT_TRUE(window->storeEvolvedStates({{outer, hole}}, file(), 0, true));
    ASSERT_EQ(sets().size(), 2);
    ASSERT_EQ(sets()[1].curves.size(), 2u);
    EXPECT_TRUE(sets()[1].curves[1].inner);
    EXPECT_EQ(sets()[1].curves[1].name, "curve_42");
}

TEST_F(MouseTools, TracingAlongTheDiscClosesOnItsFirstPoint)
{
    ui().spinBoxSemiMagnetThreshold->setValue(2);
    ui().pushButtonSemiSegmNew->click();
    ASSERT_TRUE(ui().semiSegmentationMode);
    EXPECT_FALSE(controlsEnabled());

    // Counter-clockwise round the disc, ending near the first point.
    const Point2D first = onDisc(0.0);
    click(first);
    for (double degrees : {-90.0, -180.0, -270.0}) {
        move(onDisc(degrees));
        // The preview arrives once its segment is traced.
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->pathPoints.size() >= 2; }, 20000));
        click(onDisc(degrees));
    }
    move({first.x + 1.0, first.y + 1.0});
    click({first.x + 1.0, first.y + 1.0});

    EXPECT_FALSE(ui().semiSegmentationMode);
    EXPECT_TRUE(controlsEnabled());
    ASSERT_EQ(sets().size(), 1);
    const UI::Curve& curve = sets()[0].curves[0];
    EXPECT_EQ(curve.segmType, "semiSeg");
    EXPECT_TRUE(curve.closed);
    EXPECT_FALSE(curve.inner);
    EXPECT_GT(curve.area, 0.0);
    const Fit fit = fitToCircle(curve.points(), disc.centerX, disc.centerY, disc.radius);
    EXPECT_LT(fit.mean, 1.5);
    EXPECT_EQ(window->curveSetCounter, 1);
}

// Moves sent one after the other, with no event processed in between, all
// arrive while the first one's segment is being traced: the mode draws the
// segment of the last position alone, exactly as a tracer of its own gives
// it.
TEST_F(MouseTools, TracingDrawsOnlyTheSegmentOfTheLatestMove)
{
    ui().pushButtonSemiSegmNew->click();
    ASSERT_TRUE(ui().semiSegmentationMode);
    click(onDisc(0.0));
    recordPreviews();
    const std::vector<Point2D> moves{onDisc(-50.0), onDisc(-70.0), onDisc(-90.0), onDisc(-110.0)};
    const std::vector<Point2D> latest = traceTo(moves.back());
    for (const Point2D& p : moves)
        move(p);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !previews.empty() && !window->segmentTracer->busy(); }, 20000));
    ASSERT_EQ(previews.size(), 1u) << "a segment of an earlier position was drawn";
    EXPECT_EQ(previews[0], latest);
    EXPECT_EQ(window->pathPoints, latest);
}

// Segments still being traced when the mode ends or the side's data set is
// replaced or removed are never drawn; the images of a removed data set are
// not read after it has gone.
TEST_F(MouseTools, SegmentsTracedBeforeTheModeEndsOrTheDataSetChangesAreNeverDrawn)
{
    open({product(sceneProduct(620000))});
    ASSERT_EQ(window->dataFiles.size(), 2);
    ASSERT_EQ(ui().leftDataIndex, 0);
    const struct {
        const char* name;
        std::function<void()> act;
    } cases[] = {
        {"right press", [&] { rightPress(); }},
        {"another data set shown on the side", [&] { Jp2ZipTest::quietly([&] { window->showDataSet(1); }); }},
        {"the side's data set removed",
         [&] {
             QTreeWidget* tree = ui().treeWidgetDataExplorer;
             tree->clearSelection();
             tree->topLevelItem(ui().leftDataIndex)->setSelected(true);
             Jp2ZipTest::quietly([&] { window->dataRemoveAction_triggered(); });
         }},
    };
    // The longest traces the page gives.
    ui().checkBoxSemiAutoStop->setChecked(true);
    recordPreviews();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ui().pushButtonSemiSegmNew->click();
        ASSERT_TRUE(ui().semiSegmentationMode);
        click(onDisc(0.0));
        for (double degrees : {-60.0, -90.0, -120.0, -150.0})
            move(onDisc(degrees));
        c.act();
        previews.clear();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !window->segmentTracer->busy(); }, 20000));
        QCoreApplication::processEvents();
        EXPECT_TRUE(previews.empty());
        // An emptied viewer takes no mouse: the mode is ended directly.
        if (ui().semiSegmentationMode)
            window->finishSemiSegmentation();
    }
}

// A click fixes the segment of its own position, however the moves before it
// went: the segment of the last move when the click lands there (drawn
// already or still being traced), a segment of its own when no move reached
// the click's position.
TEST_F(MouseTools, AClickStoresTheSegmentOfItsOwnPosition)
{
    const struct {
        const char* name;
        std::vector<Point2D> moves;
        bool waitForThePreview;
        Point2D click;
    } cases[] = {
        {"click on the last move, its segment still traced", {onDisc(-50.0), onDisc(-70.0), onDisc(-90.0)}, false,
         onDisc(-90.0)},
        {"click on the last move, its segment drawn", {onDisc(-50.0), onDisc(-90.0)}, true, onDisc(-90.0)},
        {"click where no move went", {onDisc(-50.0), onDisc(-70.0)}, false, onDisc(-90.0)},
        {"click where no move went after a drawn preview", {onDisc(-70.0)}, true, onDisc(-90.0)},
    };
    recordPreviews();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ui().pushButtonSemiSegmNew->click();
        ASSERT_TRUE(ui().semiSegmentationMode);
        const Point2D first = onDisc(0.0);
        click(first);
        const std::vector<Point2D> expected = traceTo(c.click);
        previews.clear();
        for (const Point2D& p : c.moves)
            move(p);
        if (c.waitForThePreview) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return !previews.empty(); }, 20000));
        }
        click(c.click);

        const UI::Curve& curve = window->workingCurveSet.curves[0];
        EXPECT_EQ(curve.points(), expected);
        const QPoint origin(file()->getWorkAreaX(0), file()->getWorkAreaY(0));
        EXPECT_DOUBLE_EQ(ui().segmentAnchor.x, expected.back().x - origin.x());
        EXPECT_DOUBLE_EQ(ui().segmentAnchor.y, expected.back().y - origin.y());
        EXPECT_TRUE(window->pathPoints.empty());
        rightPress();
        EXPECT_FALSE(ui().semiSegmentationMode);
    }
}

// The click shows what it fixed at once: the working curve with its new
// segment, and no longer the preview of an earlier mouse position, which
// was shorter.
TEST_F(MouseTools, AClickShowsTheSegmentItFixesAtOnce)
{
    const QColor previewColour = ui().curveColors.value("Curve/currentCurveColor");
    const QColor workingColour = ui().curveColors.value("Curve/activeCurveColor");
    const auto drawnIn = [&](QColor colour, QRect area) {
        const QImage& image = *main()->image;
        int count = 0;
        for (int y = std::max(0, area.top()); y <= std::min(image.height() - 1, area.bottom()); ++y)
            for (int x = std::max(0, area.left()); x <= std::min(image.width() - 1, area.right()); ++x)
                count += QColor(image.pixel(x, y)).rgb() == colour.rgb() ? 1 : 0;
        return count;
    };
    const QRect whole(0, 0, main()->image->width(), main()->image->height());
    ASSERT_EQ(drawnIn(previewColour, whole), 0) << "the product itself shows the preview colour";
    ASSERT_EQ(drawnIn(workingColour, whole), 0) << "the product itself shows the working curve's colour";

    recordPreviews();
    ui().pushButtonSemiSegmNew->click();
    ASSERT_TRUE(ui().semiSegmentationMode);
    click(onDisc(0.0));
    move(onDisc(-40.0));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !previews.empty() && !window->segmentTracer->busy(); }, 20000));
    ASSERT_GT(drawnIn(previewColour, whole), 0);

    // A click farther on, where no move went.
    const std::vector<Point2D> fixed = traceTo(onDisc(-100.0));
    click(onDisc(-100.0));
    ASSERT_EQ(window->workingCurveSet.curves[0].points(), fixed);
    EXPECT_EQ(drawnIn(previewColour, whole), 0) << "the earlier preview is still shown";
    const QPointF end = at(main(), fixed.back());
    EXPECT_GT(drawnIn(workingColour, QRect(end.toPoint() - QPoint(3, 3), QSize(7, 7))), 0)
        << "the end of the fixed segment is not shown";
    rightPress();
}

TEST_F(MouseTools, ContinueExtendsAnOpenCurveIntoANewSet)
{
    // The lower half of the disc's edge, left open.
    std::vector<Point2D> half;
    for (int degrees = 0; degrees <= 180; degrees += 5)
        half.push_back(onDisc(degrees));
    UI::CurveSet open({half});
    open.setName("half");
    open.curves[0].setName("arc");
    open.curves[0].computeGeometry();
    open.updateBoundingBoxes();
    window->appendCurveSet(open);
    window->setCurvesExplorer(0);
    ui().spinBoxSemiMagnetThreshold->setValue(2);

    // The curve row itself is selected.
    ui().treeWidgetCurvesExplorer->topLevelItem(0)->child(0)->setSelected(true);
    ui().pushButtonSemiSegmContinue->click();
    ASSERT_TRUE(ui().semiSegmentationMode);
    const QPoint origin(file()->getWorkAreaX(0), file()->getWorkAreaY(0));
    EXPECT_DOUBLE_EQ(ui().segmentAnchor.x, half.back().x - origin.x());
    EXPECT_DOUBLE_EQ(ui().segmentAnchor.y, half.back().y - origin.y());

    // Round the upper half back to the first point: the magnet closes it.
    move(onDisc(270.0));
    click(onDisc(270.0));
    move({half.front().x + 1.0, half.front().y - 1.0});
    click({half.front().x + 1.0, half.front().y - 1.0});

    EXPECT_FALSE(ui().semiSegmentationMode);
    ASSERT_EQ(sets().size(), 2);
    EXPECT_EQ(sets()[0].curves[0].points(), half);
    EXPECT_FALSE(sets()[0].curves[0].closed);
    const UI::CurveSet& continued = sets()[1];
    EXPECT_EQ(continued.name, "half");
    const UI::Curve& curve = continued.curves[0];
    EXPECT_EQ(curve.name, "arc");
    EXPECT_EQ(curve.segmType, "semiSeg");
    EXPECT_TRUE(curve.closed);
    EXPECT_FALSE(curve.inner);
    EXPECT_GT(curve.area, 0.0);
    EXPECT_LT(fitToCircle(curve.points(), disc.centerX, disc.centerY, disc.radius).mean, 1.5);
    EXPECT_EQ(window->curveSetCounter, 1);
}

TEST_F(MouseTools, TracingRefusesWhatItCannotStart)
{
    // A closed curve cannot be continued.
    addCircleSet(2.0);
    ui().treeWidgetCurvesExplorer->topLevelItem(0)->setSelected(true);
    ui().pushButtonSemiSegmContinue->click();
    EXPECT_EQ(dialogs.messageTexts(), QStringList{"Unable to continue in semi automatic segmentation."});
    EXPECT_FALSE(ui().semiSegmentationMode);
    EXPECT_TRUE(controlsEnabled());

    // Features that cannot be computed leave the mode off.
    dialogs.requests.clear();
    ui().comboBoxSemiFilterType->setCurrentIndex(-1);
    ui().pushButtonSemiSegmNew->click();
    EXPECT_EQ(dialogs.messageTexts(), QStringList{"Unable to initalize semi segmentation."});
    EXPECT_FALSE(ui().semiSegmentationMode);
    EXPECT_TRUE(controlsEnabled());
    // Moves and clicks do nothing.
    click(onDisc(0.0));
    move(onDisc(90.0));
    EXPECT_TRUE(window->pathPoints.empty());
    EXPECT_EQ(sets().size(), 1);
}

TEST_F(MouseTools, LocalAdjustmentRetracesAnArcOntoTheDisc)
{
    addCircleSet(4.0);
    const UI::Curve original = sets()[0].curves[0];
    QTreeWidget* tree = ui().treeWidgetCurvesExplorer;
    tree->topLevelItem(0)->setSelected(true);
    window->curveLocalAdjustActionAction_triggered();
    ASSERT_TRUE(ui().localAdjustMode);
    EXPECT_FALSE(controlsEnabled());

    // Two ends of the arc, then a point inside it.
    click(onDisc(0.0, 4.0));
    click(onDisc(90.0, 4.0));
    EXPECT_FALSE(ui().localAdjustTracking);
    click(onDisc(45.0, 4.0));
    ASSERT_EQ(ui().pickedPointIndices.size(), 3u);
    EXPECT_TRUE(ui().localAdjustTracking);
    move(onDisc(45.0));
    EXPECT_GE(window->pathPoints.size(), 2u);
    click(onDisc(45.0));

    ASSERT_EQ(sets().size(), 2);
    const UI::CurveSet& adjusted = sets()[1];
    EXPECT_EQ(adjusted.name, "curveSet_0");
    const UI::Curve& curve = adjusted.curves[0];
    EXPECT_TRUE(curve.closed);
    EXPECT_FALSE(curve.inner);
    // Area and perimeter describe the new shape: smaller than the ring's.
    EXPECT_LT(curve.area, original.area - 10.0);
    EXPECT_NE(curve.perimeter, original.perimeter);
    // The retraced quarter lies nearer the disc than the ring did.
    std::vector<Point2D> quarter;
    for (const Point2D& p : curve.points()) {
        if (p.x > disc.centerX + 3 && p.y > disc.centerY + 3)
            quarter.push_back(p);
    }
    ASSERT_FALSE(quarter.empty());
    EXPECT_LT(fitToCircle(quarter, disc.centerX, disc.centerY, disc.radius).mean, 2.5);
    EXPECT_EQ(sets()[0].curves[0].points(), original.points());
    EXPECT_FALSE(ui().localAdjustMode);
    EXPECT_FALSE(ui().workingAreaLocked);
    EXPECT_TRUE(controlsEnabled());
    const int red = window->getBandIndex(0, 0);
    EXPECT_EQ(file()->bands[red].levels[0].cacheSize("dataCacheToolsSemiEdgeDetectorGradX"), 0u);
}

// The adjustment drops the computed images of the bands the side shows: a
// tools viewer showing one of them goes, as one whose feature could not be
// computed goes, on this side and on the other side showing the same data
// set. None is left with a picture that no longer follows zoom and pan, and
// the working window follows the view again.
TEST_F(MouseTools, LocalAdjustmentTakesDownTheFeatureViewersOfTheImagesItDrops)
{
    showOnTheRight(0);
    addCircleSet(4.0);
    // The left side shows the semi-automatic page's filtered image, the
    // right side the filtering page's: neither chain overwrites the other.
    ui().comboBoxSemiFeature->setCurrentIndex(0);
    Jp2ZipTest::quietly([&] { ui().pushButtonSemiFeatureShow->click(); });
    emit ui().rightTabWidget->tabBarClicked(0);
    Jp2ZipTest::quietly([&] { ui().pushButtonFilterFeatureShow->click(); });
    emit ui().leftTabWidget->tabBarClicked(0);
    ASSERT_EQ(ui().activeSide, 0);
    for (int side : {0, 1})
        ASSERT_NE(viewer(side, "viewerWidgetToolsFeature"), nullptr) << side;

    ui().treeWidgetCurvesExplorer->topLevelItem(0)->setSelected(true);
    window->curveLocalAdjustActionAction_triggered();
    ASSERT_TRUE(ui().localAdjustMode);
    click(onDisc(0.0, 4.0));
    click(onDisc(90.0, 4.0));
    click(onDisc(45.0, 4.0));
    ASSERT_TRUE(ui().localAdjustTracking);
    move(onDisc(45.0));
    click(onDisc(45.0));
    ASSERT_EQ(sets().size(), 2);

    for (int side : {0, 1}) {
        EXPECT_EQ(viewer(side, "viewerWidgetToolsFeature"), nullptr) << side;
        EXPECT_EQ(grid(side)->itemAtPosition(0, 1), nullptr) << side;
        EXPECT_FALSE(ui().featureShowedCacheByTab.contains(side)) << side;
        EXPECT_EQ(sideValue(side, "featureShowed").toInt(), 0) << side;
        window->refreshAllViewers();
        EXPECT_FALSE(viewer(side)->isEmpty()) << side;
    }
    EXPECT_EQ(ui().pushButtonFilterFeatureShow->text(), "Show feature");
    EXPECT_FALSE(ui().workingAreaLocked);
    EXPECT_TRUE(controlsEnabled());
}

TEST_F(MouseTools, LocalAdjustmentEndsWithoutStoringOnARightPress)
{
    addCircleSet(4.0);
    ui().treeWidgetCurvesExplorer->topLevelItem(0)->setSelected(true);
    window->curveLocalAdjustActionAction_triggered();
    click(onDisc(0.0, 4.0));
    click(onDisc(0.0, 4.0));  // the same point again
    EXPECT_EQ(dialogs.messageTexts(),
              QStringList{"Selected point can not be the same as the previously selected one."});
    EXPECT_EQ(ui().pickedPointIndices.size(), 1u);
    rightPress();
    EXPECT_EQ(sets().size(), 1);
    EXPECT_FALSE(ui().localAdjustMode);
    EXPECT_EQ(ui().pickedCurveSet, -1);
    EXPECT_TRUE(ui().pickedPointIndices.empty());
    EXPECT_TRUE(controlsEnabled());
}

TEST_F(MouseTools, LocalAdjustmentNeedsExactlyOneRow)
{
    addCircleSet(4.0);
    addCircleSet(6.0);
    QTreeWidget* tree = ui().treeWidgetCurvesExplorer;
    tree->topLevelItem(0)->setSelected(true);
    tree->topLevelItem(1)->setSelected(true);
    window->curveLocalAdjustActionAction_triggered();
    EXPECT_EQ(dialogs.messageTexts(), QStringList{"You can select only one curve or curve set for local adjust."});
    EXPECT_FALSE(ui().localAdjustMode);
    EXPECT_TRUE(controlsEnabled());

    // A mode without a picked set picks nothing.
    ui().localAdjustMode = true;
    click(onDisc(0.0, 4.0));
    EXPECT_TRUE(ui().pickedPointIndices.empty());
    rightPress();
    EXPECT_FALSE(ui().localAdjustMode);
}

// While a mouse mode holds, the other side's main viewer is out of play: a
// press there neither makes that side active (nor does its tab bar) nor
// reaches the mode, and neither do its moves and releases.
TEST_F(MouseTools, APressOnTheOtherSideDuringAModeStaysThere)
{
    open({product(sceneProduct(620000))});
    ASSERT_EQ(window->dataFiles.size(), 2);
    showOnTheRight(1);
    addCircleSet(4.0);

    const struct {
        const char* mode;
        std::function<void()> start;
        std::function<bool()> on;
    } modes[] = {
        {"circle", [&] { ui().pushButtonAutoInitCircle->click(); }, [&] { return ui().initCircleMode; }},
        {"square", [&] { ui().pushButtonAutoInitSquare->click(); }, [&] { return ui().initSquareMode; }},
        {"polygon", [&] { ui().pushButtonAutoInitPolygon->click(); }, [&] { return ui().initPolygonMode; }},
        {"semi-automatic", [&] { ui().pushButtonSemiSegmNew->click(); },
         [&] { return ui().semiSegmentationMode; }},
        {"local adjustment",
         [&] {
             ui().treeWidgetCurvesExplorer->topLevelItem(0)->setSelected(true);
             window->curveLocalAdjustActionAction_triggered();
         },
         [&] { return ui().localAdjustMode; }},
    };
    for (const auto& m : modes) {
        const qsizetype leftSets = sets().size();
        m.start();
        ASSERT_TRUE(m.on()) << m.mode;
        const QPoint rightView = main(1)->origin;
        for (const Point2D& p : {Point2D{60.0, 50.0}, Point2D{70.0, 56.0}, Point2D{64.0, 40.0}}) {
            press(p, Qt::NoModifier, 1);
            move({p.x + 5.0, p.y + 3.0}, 1);
            release({p.x + 5.0, p.y + 3.0}, 1);
        }
        emit ui().rightTabWidget->tabBarClicked(0);
        EXPECT_EQ(ui().activeSide, 0) << m.mode;
        EXPECT_TRUE(m.on()) << m.mode;
        EXPECT_DOUBLE_EQ(ui().shapeAnchor.x, -1.0) << m.mode;
        EXPECT_DOUBLE_EQ(ui().segmentAnchor.x, -1.0) << m.mode;
        EXPECT_TRUE(ui().pickedPointIndices.empty()) << m.mode;
        EXPECT_TRUE(window->pathPoints.empty()) << m.mode;
        EXPECT_EQ(main(1)->origin, rightView) << m.mode;
        EXPECT_FALSE(main(1)->dragging) << m.mode;
        EXPECT_FALSE(controlsEnabled()) << m.mode;

        rightPress();
        EXPECT_FALSE(m.on()) << m.mode;
        EXPECT_EQ(sets().size(), leftSets) << m.mode;
        EXPECT_TRUE(window->curveSets[1].isEmpty()) << m.mode;
        EXPECT_TRUE(controlsEnabled()) << m.mode;
    }

    // Without a mode the press switches sides as before.
    press({60.0, 50.0}, Qt::NoModifier, 1);
    release({60.0, 50.0}, 1);
    EXPECT_EQ(ui().activeSide, 1);
}

// While a mouse mode or the main-controls lock holds, the tab bar's corner
// button neither closes nor opens the right side: the mode's work, the data
// set it reads and its trace stay where the mode started, and what it stores
// goes to that side's data set where it was drawn.
TEST_F(MouseTools, TheSideButtonWaitsWhileAModeOrTheLockHolds)
{
    open({product(sceneProduct(620000))});
    workOnTheRight();
    addCircleSet(4.0);  // the right side's set for the local adjustment
    ui().spinBoxSemiMagnetThreshold->setValue(0);

    // A pixel centre near the disc's centre; the shapes keep 6 to 13 pixels
    // from it.
    const Point2D c{std::floor(disc.centerX) + 0.5, std::floor(disc.centerY) + 0.5};
    const auto aroundTheCentre = [&](const UI::Curve& curve) {
        for (const Point2D& p : curve.points()) {
            const double d = std::hypot(p.x - c.x, p.y - c.y);
            ASSERT_TRUE(d > 6.0 && d < 13.0) << p.x << "," << p.y << " is " << d << " from the centre";
        }
    };
    const auto alongTheDisc = [&](const UI::Curve& curve) {
        EXPECT_LT(fitToCircle(curve.points(), disc.centerX, disc.centerY, disc.radius).worst, 3.0);
    };
    const auto tracedPreview = [&] {
        ASSERT_TRUE(QTest::qWaitFor([&] { return !previews.empty() && !window->segmentTracer->busy(); }, 20000));
    };
    recordPreviews();

    const struct {
        const char* mode;
        std::function<void()> start;
        std::function<void()> before;  // the mode's work before the click on the button
        std::function<void()> after;   // the rest of it, ending the mode
        std::function<bool()> on;
        std::function<void(const UI::Curve&)> stored;  // null: the mode stores nothing
    } modes[] = {
        {"circle", [&] { ui().pushButtonAutoInitCircle->click(); },
         [&] {
             click(c, 1);
             move({c.x + 8.0, c.y}, 1);
         },
         [&] { click({c.x + 8.0, c.y}, 1); }, [&] { return ui().initCircleMode; }, aroundTheCentre},
        {"square", [&] { ui().pushButtonAutoInitSquare->click(); },
         [&] {
             click(c, 1);
             move({c.x + 8.0, c.y + 3.0}, 1);
         },
         [&] { click({c.x + 8.0, c.y + 3.0}, 1); }, [&] { return ui().initSquareMode; }, aroundTheCentre},
        {"polygon", [&] { ui().pushButtonAutoInitPolygon->click(); },
         [&] {
             click({c.x - 8.0, c.y - 8.0}, 1);
             move({c.x + 8.0, c.y - 8.0}, 1);
             click({c.x + 8.0, c.y - 8.0}, 1);
             move({c.x + 8.0, c.y + 8.0}, 1);
         },
         [&] {
             click({c.x + 8.0, c.y + 8.0}, 1);
             move({c.x - 8.0, c.y + 8.0}, 1);
             click({c.x - 8.0, c.y + 8.0}, 1);
             rightPress(1);
         },
         [&] { return ui().initPolygonMode; }, aroundTheCentre},
        {"semi-automatic", [&] { ui().pushButtonSemiSegmNew->click(); },
         [&] {
             click(onDisc(0.0), 1);
             previews.clear();
             move(onDisc(-90.0), 1);
             tracedPreview();
             ASSERT_TRUE(window->segmentTracer->hasRequest());
         },
         [&] {
             click(onDisc(-90.0), 1);
             rightPress(1);
         },
         [&] { return ui().semiSegmentationMode; }, alongTheDisc},
        {"local adjustment",
         [&] {
             QTreeWidget* tree = ui().treeWidgetCurvesExplorer;
             tree->clearSelection();
             tree->topLevelItem(0)->setSelected(true);
             window->curveLocalAdjustActionAction_triggered();
         },
         [&] { click(onDisc(0.0, 4.0), 1); }, [&] { rightPress(1); }, [&] { return ui().localAdjustMode; },
         nullptr},
        {"orthomosaic area", [&] { ui().action_Ortho_Load_files->trigger(); },
         [&] { move(c, 1); }, [&] { rightPress(1); },
         [&] { return ui().initSquareMode && ui().action_Ortho_Load_files->isChecked(); }, nullptr},
    };
    for (const auto& m : modes) {
        SCOPED_TRACE(m.mode);
        workOnTheRight();
        const qsizetype leftSets = window->curveSets[0].size();
        const qsizetype rightSets = window->curveSets[1].size();
        const int band = window->getBandIndex(1, 0);
        ASSERT_TRUE(file(1)->isLoaded(band, 0));
        const qint64 icon = sideButton()->icon().cacheKey();
        m.start();
        ASSERT_TRUE(m.on());
        m.before();
        clickSideButton();

        EXPECT_FALSE(ui().rightTabWidget->isHidden()) << "the side closed under the mode";
        EXPECT_EQ(ui().rightDataIndex, 1);
        EXPECT_EQ(ui().activeSide, 1);
        EXPECT_TRUE(file(1)->isLoaded(band, 0)) << "the mode's bands were released";
        EXPECT_EQ(sideButton()->icon().cacheKey(), icon);
        EXPECT_TRUE(m.on());
        EXPECT_FALSE(controlsEnabled());

        m.after();
        if (m.on())  // the side went: end the mode where it now is
            rightPress(ui().activeSide);
        EXPECT_FALSE(m.on());
        EXPECT_EQ(window->curveSets[0].size(), leftSets) << "stored on the left";
        EXPECT_EQ(window->curveSets[1].size(), rightSets + (m.stored ? 1 : 0));
        if (m.stored && window->curveSets[1].size() == rightSets + 1) {
            const UI::CurveSet& set = window->curveSets[1].back();
            ASSERT_EQ(set.curves.size(), 1u);
            ASSERT_FALSE(set.curves[0].points().empty());
            m.stored(set.curves[0]);
        }
        EXPECT_TRUE(controlsEnabled());
    }

    // The automatic run holds the lock alone: a click on the button while
    // one of its tasks runs does nothing either, and the run stores its
    // states on the right.
    workOnTheRight();
    window->appendCurveSet(ShellTest::squareSet(c.x - 5.0, c.y - 5.0, c.x + 5.0, c.y + 5.0, {0, 0, 0, 255}));
    window->setCurvesExplorer(static_cast<int>(sets().size()) - 1);
    ui().spinBoxAutoTotalSteps->setValue(20);
    ui().spinBoxAutoExportInterval->setValue(10);
    const qsizetype leftSets = window->curveSets[0].size();
    const qsizetype rightSets = window->curveSets[1].size();
    dialogs.requests.clear();
    int tasks = 0;
    const TaskRunner::Runner previous = TaskRunner::setRunner([&](const QString&, const std::function<void()>& job) {
        if (tasks++ == 0)
            QTest::mouseClick(sideButton(), Qt::LeftButton);  // the run's output is captured already
        job();
    });
    Jp2ZipTest::quietly([&] { ui().pushButtonAutoEvolve->click(); });
    TaskRunner::setRunner(previous);
    EXPECT_GT(tasks, 0);
    EXPECT_FALSE(ui().rightTabWidget->isHidden()) << "the side closed under the automatic run";
    EXPECT_EQ(ui().rightDataIndex, 1);
    EXPECT_TRUE(dialogs.messageTexts().isEmpty()) << dialogs.messageTexts().join("; ").toStdString();
    EXPECT_EQ(window->curveSets[0].size(), leftSets);
    EXPECT_EQ(window->curveSets[1].size(), rightSets + 2);
    EXPECT_TRUE(controlsEnabled());

    // With nothing held the button closes the side again.
    clickSideButton();
    EXPECT_TRUE(ui().rightTabWidget->isHidden());
    EXPECT_EQ(ui().activeSide, 0);
}

// A trace never outlives the bands it reads: however the side's data set is
// released while a segment is pending, the request is gone at once, no
// segment is drawn afterwards, and a later click and right press store
// nothing from it.
TEST_F(MouseTools, APendingTraceEndsWithTheBandsItReads)
{
    open({product(sceneProduct(620000))});
    const struct {
        const char* name;
        std::function<void()> release;
    } cases[] = {
        {"the side closed", [&] { Jp2ZipTest::quietly([&] { window->closeRightSide(); }); }},
        {"the side's bands read again for a new crop",
         [&] { Jp2ZipTest::quietly([&] { window->pushButtonApplyHistogramCrop_clicked(); }); }},
        {"another data set shown on the side", [&] { Jp2ZipTest::quietly([&] { window->showDataSet(0); }); }},
        {"the side's data set removed",  // last: the data set is gone
         [&] {
             QTreeWidget* tree = ui().treeWidgetDataExplorer;
             tree->clearSelection();
             tree->topLevelItem(1)->setSelected(true);
             Jp2ZipTest::quietly([&] { window->dataRemoveAction_triggered(); });
         }},
    };
    recordPreviews();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        workOnTheRight();
        ui().pushButtonSemiSegmNew->click();
        ASSERT_TRUE(ui().semiSegmentationMode);
        click(onDisc(0.0), 1);
        previews.clear();
        move(onDisc(-90.0), 1);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !previews.empty() && !window->segmentTracer->busy(); }, 20000));
        ASSERT_TRUE(window->segmentTracer->hasRequest());

        c.release();
        const qsizetype before = storedSets();
        EXPECT_FALSE(window->segmentTracer->hasRequest());
        previews.clear();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !window->segmentTracer->busy(); }, 20000));
        QCoreApplication::processEvents();
        EXPECT_TRUE(previews.empty());

        // A click where the segment ended, then a right press, on the side
        // the mode now works on.
        const int side = ui().activeSide;
        if (!main(side)->isEmpty()) {
            click(onDisc(-90.0), side);
            rightPress(side);
        }
        // An emptied viewer takes no mouse: the mode is ended directly.
        if (ui().semiSegmentationMode)
            window->finishSemiSegmentation();
        EXPECT_EQ(storedSets(), before) << "a segment of released images was stored";
    }
}

// Every stored point goes through the one mapping from the working window to
// the full grid, whatever the number of points a mouse step gave; a shape of
// fewer than three distinct points is not stored.
TEST_F(MouseTools, ShapesOfOnePointAreNeverStoredOffTheGrid)
{
    const QPoint origin(file()->getWorkAreaX(0), file()->getWorkAreaY(0));
    ASSERT_NE(origin, QPoint(0, 0));
    main()->zoomStep(QPointF(0, 0), 2);
    ASSERT_DOUBLE_EQ(main()->zoom, 2.2);
    window->refreshAllViewers();
    const double pixel = 1.0 / main()->zoom; // one screen pixel in data pixels

    // A polygon with a vertex double-clicked with a pixel of jitter: the
    // side between the two clicks has one point.
    ui().pushButtonAutoInitPolygon->click();
    const Point2D a{40.0, 30.0};
    const Point2D b{50.0, 30.0};
    click(a);
    move(b);
    click(b);
    move({b.x + pixel, b.y});
    ASSERT_EQ(window->pathPoints.size(), 1u);
    click({b.x + pixel, b.y});
    move({50.0, 40.0});
    click({50.0, 40.0});
    rightPress();
    ASSERT_EQ(sets().size(), 1);
    const UI::CurveSet& polygon = sets()[0];
    for (const Point2D& p : polygon.curves[0].points()) {
        EXPECT_GE(p.x, a.x - 0.01);
        EXPECT_GE(p.y, a.y - 0.01);
    }
    EXPECT_GE(polygon.minX, a.x - 0.01) << "the stored box starts at the first vertex";
    EXPECT_GE(polygon.minY, a.y - 0.01);

    // The first vertex double-clicked so: the magnet closes a polygon of one
    // point, which is not stored; the mode ends as on a cancel.
    const int counter = window->curveSetCounter;
    ui().pushButtonAutoInitPolygon->click();
    click(a);
    move({a.x + pixel, a.y});
    click({a.x + pixel, a.y});
    EXPECT_FALSE(ui().initPolygonMode);
    EXPECT_EQ(sets().size(), 1);
    EXPECT_EQ(window->curveSetCounter, counter);
    EXPECT_TRUE(controlsEnabled());

    // A circle of radius 0: the same.
    ui().pushButtonAutoInitCircle->click();
    click({60.0, 50.0});
    move({60.0, 50.0});
    click({60.0, 50.0});
    EXPECT_FALSE(ui().initCircleMode);
    EXPECT_EQ(sets().size(), 1);
    EXPECT_EQ(window->curveSetCounter, counter);
    EXPECT_TRUE(controlsEnabled());
    EXPECT_FALSE(ui().workingAreaLocked);
}

namespace {

// A product whose 10 m band cannot be read: it opens, its side shows it, and
// its main viewer stays without an image, which takes no mouse event.
class EmptyViewer : public ShellTest::ProductShell {
protected:
    void SetUp() override
    {
        Shell::SetUp();
        Sample::ProductSpec spec = sceneProduct();
        spec.flaw = Sample::Flaw::TruncatedCodestream;
        open({product(spec)});
        ASSERT_EQ(window->dataFiles.size(), 1);
        ASSERT_EQ(dialogs.messageTexts(), QStringList{"Unable to read data from file. "});
        ASSERT_EQ(window->ui->leftDataIndex, 0);
        ASSERT_TRUE(viewer(0)->isEmpty());
        dialogs.requests.clear();
    }
};

} // namespace

// Every mode ends by the mouse on the viewer, which an empty viewer never
// hears: no mode starts there, so none can lock the window for good. Each
// door says why, once, and leaves the controls as they were.
TEST_F(EmptyViewer, NoMouseModeStartsAndNothingIsLocked)
{
    FenlarkAppUI& ui = *window->ui;
    window->appendCurveSet(ShellTest::squareSet(20, 20, 40, 40, {0, 0, 0, 255}));
    window->setCurvesExplorer(0);
    const fs::path plots = folder.path() / "plots.csv";
    double lat = 0.0, lon = 0.0;
    window->dataFiles[0]->pixelToLatLon(30, 30, &lat, &lon);
    TestSupport::writeFile(plots.string(), "a;b;c;d;e;f;g;h;i;j;k;l;m;n;o;p\n1;6510;E1;M;s;c;"
                                               + IO::formatFixed(lat, 12) + ";" + IO::formatFixed(lon, 12)
                                               + ";2021.6.30;1;2;3;4;5;6;l\n");
    window->loadHabitatPlots(QString::fromStdString(plots.string()), 0);
    ASSERT_EQ(ui.comboBoxHabitatPlot->count(), 1);
    QTreeWidget* tree = ui.treeWidgetCurvesExplorer;
    ASSERT_EQ(tree->topLevelItemCount(), 1);

    struct Door {
        const char* name;
        std::function<void()> start;
        const char* warning;
    };
    const Door doors[] = {
        {"Init circle", [&] { ui.pushButtonAutoInitCircle->click(); }, "Unable to create initial curve."},
        {"Init square", [&] { ui.pushButtonAutoInitSquare->click(); }, "Unable to create initial square."},
        {"Init polygon", [&] { ui.pushButtonAutoInitPolygon->click(); }, "Unable to create initial curve."},
        {"from selected plot", [&] { ui.pushButtonInitCircleFromPlot->click(); }, "Unable to create initial curve."},
        {"orthomosaic area", [&] { ui.action_Ortho_Load_files->trigger(); }, "Unable to create initial square."},
        {"semi-automatic", [&] { ui.pushButtonSemiSegmNew->click(); }, "Unable to initalize semi segmentation."},
        {"Local adjust",
         [&] {
             tree->clearSelection();
             tree->topLevelItem(0)->setSelected(true);
             ShellTest::MenuChoice choice;
             choice = ShellTest::chooseContextMenuEntry(tree, "Local adjust");
             EXPECT_TRUE(choice.chosen) << choice.offered.join('|').toStdString();
         },
         "Unable to start local adjust."},
    };
    for (const Door& door : doors) {
        SCOPED_TRACE(door.name);
        dialogs.requests.clear();
        Jp2ZipTest::quietly(door.start);
        EXPECT_EQ(dialogs.messageTexts(), QStringList{door.warning});
        EXPECT_FALSE(window->interactionHeld());
        EXPECT_TRUE(ui.menuBar->isEnabled());
        EXPECT_TRUE(ui.mainToolBar->isEnabled());
        EXPECT_TRUE(ui.dockWidgetCurves->isEnabled());
        EXPECT_FALSE(ui.workingAreaLocked);
        EXPECT_FALSE(ui.action_Ortho_Load_files->isChecked());
        EXPECT_EQ(window->activeCurveSets().size(), 1) << "nothing is stored";
    }
}
