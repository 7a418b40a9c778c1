// The right side during every mouse mode: two tiles of the shapes scene, the
// second shown on the right side; each mouse mode started there through its
// own button or menu entry, the tab bar's corner button clicked in the middle
// of the mode's work, then the work finished. The right side stays open and
// keeps its tile, the views stay where they were, nothing is stored on the
// left tile, and what a mode stores lies on the right tile where it was
// drawn. With nothing held the button closes the side as before.

#include <cmath>
#include <functional>

#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>

#include "app/SegmentTracer.h"
#include "road1_support.h"

namespace {

using namespace Road1;

constexpr int kSize = 120;   // the tiles' working grid
constexpr int kWindow = 96;  // the working window, smaller than the grid

class SideClosedDuringModesRoad : public RoadShell {
protected:
    int workingSize() const override { return kWindow; }

    QToolButton* cornerButton()
    {
        return qobject_cast<QToolButton*>(ui().leftTabWidget->tabBar()->tabButton(1, QTabBar::RightSide));
    }

    // A click on the side's tab makes it the active side.
    void activate(int side)
    {
        QTabBar* bar = (side == 0 ? ui().leftTabWidget : ui().rightTabWidget)->tabBar();
        TestSupport::quietly([&] { QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->tabRect(0).center()); });
        settle();
        ASSERT_EQ(ui().activeSide, side);
    }

    void rightPress(UI::ViewerWidget* target, QPointF grid)
    {
        mouse(target, QEvent::MouseButtonPress, grid, Qt::RightButton, Qt::RightButton);
        settle();
    }

    bool modeHeld() const
    {
        const FenlarkAppUI& state = *window->ui;
        return state.semiSegmentationMode || state.initCircleMode || state.initSquareMode || state.initPolygonMode
            || state.localAdjustMode;
    }

    bool mainControlsEnabled()
    {
        return ui().dockWidgetData->isEnabled() && ui().dockWidgetTools->isEnabled() && ui().menuBar->isEnabled();
    }
};

TEST_F(SideClosedDuringModesRoad, EveryModeOnTheRightKeepsItsSideThroughTheCornerButton)
{
    openThroughFileMenu(product(shapesProduct(kSize)));
    Sample::ProductSpec east = shapesProduct(kSize);
    east.originEasting = 620000;
    openThroughFileMenu(product(east));
    ASSERT_EQ(window->dataFiles.size(), 2);
    const int leftIndex = ui().leftDataIndex;
    ASSERT_GE(leftIndex, 0);
    const int rightIndex = 1 - leftIndex;

    // The right side opens through the corner button and shows the other
    // tile through the data explorer's double click.
    QToolButton* corner = cornerButton();
    ASSERT_NE(corner, nullptr);
    click(corner);
    ASSERT_FALSE(ui().rightTabWidget->isHidden());
    activate(1);
    doubleClickRow(ui().treeWidgetDataExplorer, rightIndex);
    settle();
    ASSERT_EQ(ui().rightDataIndex, rightIndex);
    UI::ViewerWidget* left = viewer(0);
    UI::ViewerWidget* right = viewer(1);
    ASSERT_FALSE(right->isEmpty());
    IO::File* rightTile = file(rightIndex);
    // The curve sets of a tile, as they are now.
    const auto setsOf = [&](int index) { return window->curveSets.value(index); };

    // The shapes are drawn round the first disc of the scene, inside the
    // right viewer and the right side's working window.
    const Sample::SceneDisc disc = Sample::sceneDiscs(kSize)[0];
    const QPointF c(std::floor(disc.centerX) + 0.5, std::floor(disc.centerY) + 0.5);
    const auto onDisc = [&](double degrees, double margin = 0.0) {
        const double t = degrees * M_PI / 180.0;
        return QPointF(disc.centerX + (disc.radius + margin) * std::cos(t),
                       disc.centerY + (disc.radius + margin) * std::sin(t));
    };
    const QRect rightWindow(rightTile->getWorkAreaX(1), rightTile->getWorkAreaY(1), rightTile->workAreaWidth,
                            rightTile->workAreaHeight);
    for (const QPointF p : {c + QPointF(-10, -10), c + QPointF(10, 10), onDisc(-90.0), onDisc(0.0, 4.0)}) {
        ASSERT_TRUE(right->rect().contains(at(right, p))) << p.x() << "," << p.y() << " not in the right viewer";
        ASSERT_TRUE(rightWindow.contains(p.toPoint())) << p.x() << "," << p.y() << " not in the working window";
    }

    // Where a stored curve lies: every point 6 to 14 pixels from the centre
    // the shape was drawn round, or within 3 pixels of the disc's outline.
    const auto aroundTheCentre = [&](const UI::Curve& curve) {
        for (const Point2D& p : curve.points()) {
            const double d = std::hypot(p.x - c.x(), p.y - c.y());
            ASSERT_TRUE(d > 6.0 && d < 14.0) << p.x << "," << p.y << " lies " << d << " from the centre";
        }
    };
    const auto alongTheDisc = [&](const UI::Curve& curve) {
        for (const Point2D& p : curve.points()) {
            const double d = std::abs(std::hypot(p.x - disc.centerX, p.y - disc.centerY) - disc.radius);
            ASSERT_LT(d, 3.0) << p.x << "," << p.y << " is off the disc's outline";
        }
    };

    // A closed curve round the disc on the right tile, for the local
    // adjustment.
    click(ui().pushButtonAutoInitCircle);
    clickAt(right, c);
    moveTo(right, c + QPointF(disc.radius + 4.0, 0.0));
    clickAt(right, c + QPointF(disc.radius + 4.0, 0.0));
    settle();
    ASSERT_EQ(setsOf(rightIndex).size(), 1);
    ASSERT_TRUE(setsOf(leftIndex).isEmpty());

    const struct {
        const char* mode;
        std::function<void()> start;
        std::function<void()> before;  // the mode's work before the corner button
        std::function<void()> after;   // the rest of it, which ends the mode
        std::function<void(const UI::Curve&)> stored;  // null: nothing is stored
    } modes[] = {
        {"Init circle", [&] { click(ui().pushButtonAutoInitCircle); },
         [&] {
             clickAt(right, c);
             moveTo(right, c + QPointF(8.0, 0.0));
         },
         [&] { clickAt(right, c + QPointF(8.0, 0.0)); }, aroundTheCentre},
        {"Init square", [&] { click(ui().pushButtonAutoInitSquare); },
         [&] {
             clickAt(right, c);
             moveTo(right, c + QPointF(8.0, 3.0));
         },
         [&] { clickAt(right, c + QPointF(8.0, 3.0)); }, aroundTheCentre},
        {"Init polygon", [&] { click(ui().pushButtonAutoInitPolygon); },
         [&] {
             clickAt(right, c + QPointF(-8.0, -8.0));
             moveTo(right, c + QPointF(8.0, -8.0));
             clickAt(right, c + QPointF(8.0, -8.0));
             moveTo(right, c + QPointF(8.0, 8.0));
         },
         [&] {
             clickAt(right, c + QPointF(8.0, 8.0));
             moveTo(right, c + QPointF(-8.0, 8.0));
             clickAt(right, c + QPointF(-8.0, 8.0));
             rightPress(right, c);
         },
         aroundTheCentre},
        // The corner button comes while the segment of the last move may
        // still be traced from the right tile's images.
        {"semi-automatic segmentation", [&] { click(ui().pushButtonSemiSegmNew); },
         [&] {
             clickAt(right, onDisc(0.0));
             moveTo(right, onDisc(-60.0));
             moveTo(right, onDisc(-90.0));
         },
         [&] {
             const auto traced = [&] { return window->pathPoints.size() >= 2 && !window->segmentTracer->busy(); };
             ASSERT_TRUE(QTest::qWaitFor(traced, 30000));
             clickAt(right, onDisc(-90.0));
             rightPress(right, c);
         },
         alongTheDisc},
        {"Local adjust",
         [&] {
             clickRow(ui().treeWidgetCurvesExplorer, 0);
             contextMenuEntry(ui().treeWidgetCurvesExplorer, "Local adjust");
         },
         [&] {
             clickAt(right, onDisc(0.0, 4.0));
             clickAt(right, onDisc(90.0, 4.0));
         },
         [&] { rightPress(right, c); }, nullptr},
        {"OrthoMosaic area square",
         [&] {
             ui().action_Ortho_Load_files->trigger();
             settle();
         },
         [&] { moveTo(right, c); }, [&] { rightPress(right, c); }, nullptr},
    };
    for (const auto& m : modes) {
        SCOPED_TRACE(m.mode);
        const qsizetype leftBefore = setsOf(leftIndex).size();
        const qsizetype rightBefore = setsOf(rightIndex).size();
        const std::set<int> rightBands = rightTile->loadedBands;
        ASSERT_FALSE(rightBands.empty());
        m.start();
        ASSERT_TRUE(modeHeld());
        ASSERT_FALSE(mainControlsEnabled());
        m.before();
        const QPoint leftView = left->origin;
        const QPoint rightView = right->origin;

        click(corner);
        EXPECT_FALSE(ui().rightTabWidget->isHidden()) << "the side closed under the mode";
        ASSERT_EQ(ui().rightDataIndex, rightIndex);
        ASSERT_EQ(ui().activeSide, 1);
        EXPECT_EQ(rightTile->loadedBands, rightBands) << "the mode's tile lost its bands";
        EXPECT_TRUE(modeHeld());
        EXPECT_EQ(left->origin, leftView);
        EXPECT_EQ(right->origin, rightView);
        ASSERT_FALSE(right->isEmpty());

        m.after();
        settle();
        EXPECT_FALSE(modeHeld());
        EXPECT_TRUE(mainControlsEnabled());
        EXPECT_EQ(setsOf(leftIndex).size(), leftBefore) << "stored on the left tile";
        const QList<UI::CurveSet> stored = setsOf(rightIndex);
        ASSERT_EQ(stored.size(), rightBefore + (m.stored ? 1 : 0));
        if (m.stored) {
            ASSERT_EQ(stored.back().curves.size(), 1u);
            ASSERT_GT(stored.back().curves[0].points().size(), 2u);
            m.stored(stored.back().curves[0]);
        }
        EXPECT_TRUE(dialogs.messageTexts().isEmpty()) << dialogs.messageTexts().join("|").toStdString();
        dialogs.requests.clear();
    }

    // With nothing held the corner button closes the right side: the left
    // side is active and intact, the right tile's bands are released.
    click(corner);
    EXPECT_TRUE(ui().rightTabWidget->isHidden());
    EXPECT_EQ(ui().activeSide, 0);
    EXPECT_EQ(ui().leftDataIndex, leftIndex);
    EXPECT_TRUE(rightTile->loadedBands.empty());
    EXPECT_FALSE(window->segmentTracer->hasRequest());
    window->refreshAllViewers();
    EXPECT_FALSE(left->isEmpty());
}

} // namespace
