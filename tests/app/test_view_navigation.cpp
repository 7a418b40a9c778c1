// Zoom, pan and centring through real events on the viewers and the preview
// map, the drag's overlay layer and the status-line position text.

#include <functional>
#include <vector>

#include <QStatusBar>
#include <QTest>
#include <QWheelEvent>

#include "io/test_jp2zip_fixture.h"
#include "test_shell_support.h"

using ShellTest::pixel;
using ShellTest::Shell;

namespace {

class Navigation : public Shell {
protected:
    void SetUp() override
    {
        Shell::SetUp();
        data = addDataSet(ShellTest::makeDataSet(400, 300, 3, 60));
        showOn(0, data);
        setViewport(viewer(0), QSize(210, 160)); // a 200 x 150 image at zoom 1
        window->refreshAllViewers();
    }

    IO::File* file() { return window->dataFiles[data]; }

    // Opens the right side showing the same data set, left still active.
    void openRightSide()
    {
        window->toolButtonTabWidget_clicked();
        showOn(1, data);
        setViewport(viewer(0), QSize(210, 160));
        setViewport(viewer(1), QSize(210, 160));
        window->refreshAllViewers();
    }

    void wheel(UI::ViewerWidget* target, QPoint angleDelta, QPointF at = QPointF(100, 50))
    {
        QWheelEvent event(at, target->mapToGlobal(at), QPoint(), angleDelta, Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(target, &event);
    }

    void move(QWidget* target, QPointF to, Qt::MouseButtons buttons = Qt::LeftButton)
    {
        QMouseEvent event(QEvent::MouseMove, to, target->mapToGlobal(to), Qt::NoButton, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &event);
    }

    void press(QWidget* target, QPointF at)
    {
        QMouseEvent event(QEvent::MouseButtonPress, at, target->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(target, &event);
    }

    void release(QWidget* target, QPointF at)
    {
        QMouseEvent event(QEvent::MouseButtonRelease, at, target->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(target, &event);
    }

    int data = -1;
};

} // namespace

TEST_F(Navigation, EveryWheelEventIsOneZoomStepAroundTheMouse)
{
    UI::ViewerWidget* main = viewer(0);
    const struct {
        QPoint angleDelta;
        int zoomIndex;
        QPoint origin;
    } cases[] = {
        {{0, 120}, 10, {50, 25}},
        {{0, 15}, 10, {50, 25}},
        {{0, -120}, 8, {0, 0}},
        // Without a vertical turn nothing zooms (a sideways tilt).
        {{0, 0}, 9, {0, 0}},
        {{120, 0}, 9, {0, 0}},
    };
    for (const auto& c : cases) {
        main->resetView();
        window->refreshAllViewers();
        wheel(main, c.angleDelta);
        EXPECT_EQ(main->zoomIndex, c.zoomIndex) << c.angleDelta.x() << "," << c.angleDelta.y();
        EXPECT_EQ(main->origin, c.origin) << c.angleDelta.x() << "," << c.angleDelta.y();
    }
    // The viewer shows the new zoom at once.
    wheel(main, {0, 120});
    EXPECT_EQ(main->imageWidth, 200);
    EXPECT_EQ(main->visibleSize, QSize(100, 75));
}

TEST_F(Navigation, LinkedWheelStepsBothSidesAroundTheSamePosition)
{
    openRightSide();
    UI::ViewerWidget* left = viewer(0);
    UI::ViewerWidget* right = viewer(1);

    // Not linked: the other side keeps its zoom, and a wheel on the inactive
    // side's viewer does nothing.
    wheel(left, {0, 120});
    EXPECT_EQ(left->zoomIndex, 10);
    EXPECT_EQ(right->zoomIndex, 9);
    wheel(right, {0, 120});
    EXPECT_EQ(right->zoomIndex, 9);

    window->ui->actionLink_left_right->setChecked(true);
    left->resetView();
    window->refreshAllViewers();
    wheel(left, {0, 120}, QPointF(60, 40));
    EXPECT_EQ(left->zoomIndex, 10);
    EXPECT_EQ(right->zoomIndex, 10);
    EXPECT_EQ(left->origin, QPoint(30, 20));
    EXPECT_EQ(right->origin, QPoint(30, 20));
}

TEST_F(Navigation, ZoomActionsFollowTheLinkEvenToTheHiddenSide)
{
    UI::ViewerWidget* left = viewer(0);
    UI::ViewerWidget* right = viewer(1);
    window->ui->actionLink_left_right->setChecked(true);
    window->ui->actionZoom_in->trigger();
    EXPECT_EQ(left->zoomIndex, 10);
    EXPECT_EQ(right->zoomIndex, 10); // hidden, it opens at the same scale
    // Around the centre of the active main viewer's 200 x 150 image.
    EXPECT_EQ(left->origin, QPoint(50, 38));

    window->ui->actionLink_left_right->setChecked(false);
    window->ui->actionZoom_out->trigger();
    EXPECT_EQ(left->zoomIndex, 9);
    EXPECT_EQ(right->zoomIndex, 10);
}

TEST_F(Navigation, DraggingPansTheViewAndTheWorkingWindowUnlessLocked)
{
    UI::ViewerWidget* main = viewer(0);
    QTest::mousePress(main, Qt::LeftButton, Qt::NoModifier, QPoint(100, 100));
    EXPECT_TRUE(main->dragging);
    EXPECT_EQ(main->lastMousePos, QPoint(100, 100));
    move(main, QPointF(60, 80));
    EXPECT_EQ(main->origin, QPoint(40, 20));
    // Centred on the view: (40 + 100 - 30, 20 + 75 - 30), rounded to 6.
    EXPECT_EQ(file()->getWorkAreaX(0), 108);
    EXPECT_EQ(file()->getWorkAreaY(0), 66);
    // The status line tells where the mouse is.
    EXPECT_TRUE(window->ui->statusBar->currentMessage().contains("Image coordinates 100,100"))
        << window->ui->statusBar->currentMessage().toStdString();
    QTest::mouseRelease(main, Qt::LeftButton, Qt::NoModifier, QPoint(60, 80));
    EXPECT_FALSE(main->dragging);
    EXPECT_EQ(main->lastMousePos, QPoint(-1, -1));

    // A move without the button held does not pan.
    move(main, QPointF(10, 10), Qt::NoButton);
    EXPECT_EQ(main->origin, QPoint(40, 20));

    // Locked, the view moves and the working window stays; centring with
    // force moves it anyway.
    window->ui->workingAreaLocked = true;
    press(main, QPointF(100, 100));
    move(main, QPointF(70, 100));
    release(main, QPointF(70, 100));
    EXPECT_EQ(main->origin, QPoint(70, 20));
    EXPECT_EQ(file()->getWorkAreaX(0), 108);
    window->centerViewers(0, 300, 200, false);
    EXPECT_EQ(file()->getWorkAreaX(0), 108);
    window->centerViewers(0, 300, 200, true);
    EXPECT_EQ(main->origin, QPoint(200, 125));
    EXPECT_EQ(file()->getWorkAreaX(0), 270);
}

// At a zoom other than 1 the part of a move under one data pixel is carried
// to the next move: the point under the cursor stays under it.
TEST_F(Navigation, ADragAtZoomTwoKeepsThePointUnderTheCursor)
{
    UI::ViewerWidget* main = viewer(0);
    main->zoomStep(QPointF(0, 0), 1);
    ASSERT_DOUBLE_EQ(main->zoom, 2.0);
    main->origin = QPoint(0, 0);
    window->refreshAllViewers();
    QPointF mouse(200, 150);
    press(main, mouse);
    for (int step = 0; step < 20; ++step) {
        mouse += QPointF(-10, -5);
        move(main, mouse);
    }
    release(main, mouse);
    EXPECT_EQ(main->origin, QPoint(100, 50));

    // And back again, in steps of 3 screen pixels (1.5 data pixels).
    press(main, mouse);
    for (int step = 0; step < 20; ++step) {
        mouse += QPointF(3, 3);
        move(main, mouse);
    }
    release(main, mouse);
    EXPECT_EQ(main->origin, QPoint(70, 20));
}

TEST_F(Navigation, DraggingThePreviewMapMovesTheViewByDataPixels)
{
    // A full tile's grid behind a 343-pixel preview; no band is needed to
    // move the view.
    const int tile = addDataSet(ShellTest::makeDataSet(10980, 10980, 0, 1002));
    showOn(0, tile);
    window->setToolDocksEnabled(true);
    UI::PreviewWidget* preview = window->previewWidget;
    preview->setImage(file()->preview, 343, 343, 1002, 1002);
    UI::ViewerWidget* main = viewer(0);
    main->visibleEnd = QPoint(1000, 700);
    window->updatePreviewRect(main);
    ASSERT_DOUBLE_EQ(preview->scaleX, 343.0 / 10980.0);

    press(preview, QPointF(100, 50));
    EXPECT_TRUE(main->dragging);
    move(preview, QPointF(110, 50));
    EXPECT_EQ(main->origin, QPoint(320, 0));
    release(preview, QPointF(110, 50));
    EXPECT_FALSE(main->dragging);
    // Without the drag a move on the map changes nothing.
    move(preview, QPointF(150, 50));
    EXPECT_EQ(main->origin, QPoint(320, 0));
}

TEST_F(Navigation, CentringOnCurvesChecksItsIndexes)
{
    UI::ViewerWidget* main = viewer(0);
    window->curveSets[data].append(ShellTest::squareSet(10, 10, 20, 20, {0, 0, 255, 255}));
    UI::CurveSet two = ShellTest::squareSet(200, 150, 260, 210, {0, 0, 255, 255});
    two.addCurveFromPoints({{300, 250}, {320, 250}, {320, 270}, {300, 250}});
    two.updateBoundingBoxes();
    window->curveSets[data].append(two);
    window->curveSets[data].append(ShellTest::squareSet(50, 50, 60, 60, {0, 0, 255, 255}));

    for (const auto& [set, curve] : {std::pair{3, -1}, std::pair{-1, -1}, std::pair{1, 2}, std::pair{1, -2}}) {
        window->centerOnCurve(set, curve, false);
        EXPECT_EQ(main->origin, QPoint(0, 0)) << set << " " << curve;
    }
    // The set's box centre (260, 210), then one curve's (310, 260).
    window->centerOnCurve(1, -1, false);
    EXPECT_EQ(main->origin, QPoint(160, 135));
    window->centerOnCurve(1, 1, false);
    EXPECT_EQ(main->origin, QPoint(210, 185));
}

TEST_F(Navigation, PressOnTheOtherSidesMainViewerActivatesThatSideFirst)
{
    openRightSide();
    ASSERT_EQ(window->ui->activeSide, 0);
    UI::ViewerWidget* right = viewer(1);
    ASSERT_FALSE(right->isEmpty());
    QTest::mousePress(right, Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
    EXPECT_EQ(window->ui->activeSide, 1);
    EXPECT_EQ(window->ui->otherSide, 0);
    EXPECT_TRUE(right->dragging);
    EXPECT_TRUE(viewer(0)->dragging);
    QTest::mouseRelease(right, Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
}

// While a drag lasts, the overlays drawn at its start are shown shifted;
// the frames look as the drawing at rest does, which the release restores.
TEST_F(Navigation, DragFramesLookLikeTheViewAtRest)
{
    window->ui->curveColors.insert("Curve/activeCurveColor", QColor(255, 0, 0));
    window->curveSets[data].append(ShellTest::squareSet(40, 30, 120, 100, {0, 200, 255, 255}));
    window->curveSets[data].append(ShellTest::squareSet(60, 50, 150, 120, {255, 255, 0, 255}));
    setSideValue(0, "curveExplorerStateCurrentIndex", 0);
    UI::ViewerWidget* main = viewer(0);
    window->refreshAllViewers();

    press(main, QPointF(100, 100));
    move(main, QPointF(96, 97));
    ASSERT_EQ(main->origin, QPoint(4, 3));
    EXPECT_TRUE(main->hasOverlayLayer());
    const QImage firstFrame = main->image->copy();
    move(main, QPointF(90, 95));
    ASSERT_EQ(main->origin, QPoint(10, 5));
    const QImage secondFrame = main->image->copy();
    release(main, QPointF(90, 95));
    EXPECT_FALSE(main->hasOverlayLayer());
    const QImage atRest = main->image->copy();
    EXPECT_EQ(secondFrame, atRest);

    // The first frame too, against the drawing at rest at its origin.
    main->origin = QPoint(4, 3);
    window->refreshAllViewers();
    EXPECT_EQ(firstFrame, *main->image);
    EXPECT_EQ(pixel(main, 36, 27), qRgb(255, 0, 0));
}

// A curve set out of view where a drag starts but within the reach of the
// drag's overlay layer is shown once the drag brings it into view.
TEST_F(Navigation, ACurveSetADragBringsIntoViewIsShown)
{
    window->curveSets[data].append(ShellTest::squareSet(60, 30, 120, 100, {0, 200, 255, 255}));
    window->curveSets[data].append(ShellTest::squareSet(210, 40, 230, 60, {255, 255, 0, 255}));
    UI::ViewerWidget* main = viewer(0);
    window->refreshAllViewers();

    press(main, QPointF(100, 100));
    move(main, QPointF(96, 100));
    ASSERT_EQ(main->origin, QPoint(4, 0));
    move(main, QPointF(56, 100));
    ASSERT_EQ(main->origin, QPoint(44, 0));
    ASSERT_TRUE(main->hasOverlayLayer());
    EXPECT_EQ(pixel(main, 166, 50), qRgb(255, 255, 0));
    const QImage frame = main->image->copy();
    release(main, QPointF(56, 100));
    EXPECT_EQ(frame, *main->image);
}

// A later drag may show the overlay layer an earlier drag drew, but only
// while the overlays are the same: whatever changed in between, its first
// frame looks like the drawing at rest at its origin.
TEST_F(Navigation, TheFirstFrameOfALaterDragShowsWhatChangedSinceTheEarlierDrag)
{
    window->ui->curveColors.insert("Curve/activeCurveColor", QColor(255, 0, 0));
    window->curveSets[data].append(ShellTest::denseSquareSet(40, 30, 120, 100, {0, 200, 255, 255}));
    window->curveSets[data].append(ShellTest::squareSet(60, 50, 150, 120, {255, 255, 0, 255}));
    UI::Curve& curve = window->curveSets[data][0].curves[0];
    const std::vector<Point2D> square = curve.points();
    UI::ViewerWidget* main = viewer(0);

    struct Row {
        const char* change;
        std::function<void()> apply;
    };
    const std::vector<Row> rows{
        {"nothing", [] {}},
        {"colour", [&] { curve.color = {0, 255, 0, 255}; }},
        {"points",
         [&] {
             std::vector<Point2D> moved = square;
             for (Point2D& p : moved)
                 p.x += 7.0;
             curve.setPoints(moved);
             window->curveSets[data][0].updateBoundingBoxes();
         }},
        {"selection", [&] { setSideValue(0, "curveExplorerStateCurrentIndex", 0); }},
        {"another curve", [&] { window->curveSets[data].append(ShellTest::squareSet(10, 10, 30, 20, {0, 0, 0, 255})); }},
    };
    for (const Row& row : rows) {
        curve.setPoints(square);
        curve.color = {0, 200, 255, 255};
        window->curveSets[data][0].updateBoundingBoxes();
        window->curveSets[data].resize(2);
        setSideValue(0, "curveExplorerStateCurrentIndex", -1);
        main->origin = QPoint(0, 0);
        window->refreshAllViewers();

        // An earlier drag draws its layer at (4, 3).
        press(main, QPointF(100, 100));
        move(main, QPointF(96, 97));
        ASSERT_TRUE(main->hasOverlayLayer());
        release(main, QPointF(96, 97));

        row.apply();
        window->refreshAllViewers();
        press(main, QPointF(96, 97));
        move(main, QPointF(98, 99));
        ASSERT_EQ(main->origin, QPoint(2, 1)) << row.change;
        ASSERT_TRUE(main->hasOverlayLayer()) << row.change;
        const QImage firstFrame = main->image->copy();
        release(main, QPointF(98, 99));
        EXPECT_EQ(firstFrame, *main->image) << row.change;
    }
}

TEST(NavigationOfAProduct, StatusLineGivesTheGeographicPositionAndThePixel)
{
    Fenlark::initResources();
    TestSupport::ScopedWorkingDirectory cwd;
    TestSupport::writeFile((cwd.path() / "default_config.ini").string(), MainWindowTest::defaultConfigText());
    UI::FenlarkApp window;
    window.setupWindow();
    std::unique_ptr<IO::JP2ZipFile> product = Jp2ZipTest::fixture().open();
    Jp2ZipTest::quietly([&] {
        for (int band = 0; band < 3; ++band)
            product->loadBand(band, 0, 1.0, 1.0, false, false);
    });
    IO::File* file = product.get();
    window.dataFiles.append(product.release());
    window.curveSets.append(QList<UI::CurveSet>());
    window.relevancyMaps.append(QList<UI::RelevancyMap>());
    window.ui->leftDataIndex = 0;
    QApplication::processEvents();
    UI::ViewerWidget* main = window.viewers[0].value("viewerWidgetMain");
    main->viewportSize = QSize(110, 110);
    window.refreshAllViewers();
    ASSERT_FALSE(main->isEmpty());

    QMouseEvent event(QEvent::MouseMove, QPointF(21.5, 40.25), main->mapToGlobal(QPointF(21.5, 40.25)),
                      Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(main, &event);
    const std::string position = file->positionText(21.5, 40.25);
    ASSERT_FALSE(position.empty());
    EXPECT_EQ(window.ui->statusBar->currentMessage().toStdString(),
              position + ", Image coordinates 21.5,40.25");
}
