// One product on both viewer sides at different working windows: the
// channel Apply, the crop Apply and the filtering page's feature on either
// side, and panning with the sides unlinked and linked. After every step
// each side still shows the product where the writer drew its shapes, and
// a side's feature picture shows that side's own working window, or is
// taken down; no side ever blanks or draws the other side's window.

#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QWheelEvent>

#include "road1_support.h"

namespace {

using namespace Road1;

constexpr int kSize = 120;   // the product's working grid
constexpr int kWindow = 72;  // each side's working window

class TwoSidesRoad : public RoadShell {
protected:
    int workingSize() const override { return kWindow; }

    QRect workingWindow(int side)
    {
        return QRect(file()->getWorkAreaX(side), file()->getWorkAreaY(side), file()->workAreaWidth,
                     file()->workAreaHeight);
    }

    QTabWidget* tabs(int side) { return side == 0 ? ui().leftTabWidget : ui().rightTabWidget; }

    // A click on the side's tab makes it the active side.
    void activate(int side)
    {
        QTabBar* bar = tabs(side)->tabBar();
        TestSupport::quietly([&] { QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->tabRect(0).center()); });
        settle();
        ASSERT_EQ(ui().activeSide, side);
    }

    // One notch of the mouse wheel over the middle of the side's viewer.
    void wheel(int side, int notches)
    {
        UI::ViewerWidget* target = viewer(side);
        const QPointF middle(target->width() / 2.0, target->height() / 2.0);
        QWheelEvent event(middle, target->mapToGlobal(middle), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        TestSupport::quietly([&] { QApplication::sendEvent(target, &event); });
        settle();
    }

    // Drags the side's main viewer by (dx, dy) data pixels.
    void pan(int side, int dx, int dy)
    {
        UI::ViewerWidget* target = viewer(side);
        const QPoint from(target->width() / 2, target->height() / 2);
        const QPoint by(static_cast<int>(dx * target->zoom), static_cast<int>(dy * target->zoom));
        drag(target, from, from - by);
    }

    // Shows the product's bands on the active side: one channel, or three.
    void display(std::vector<const char*> codes)
    {
        chooseIndex(ui().comboBoxShowTypeChannel, codes.size() == 3 ? 1 : 0);
        QComboBox* combos[] = {ui().comboBoxRedBand, ui().comboBoxGreenBand, ui().comboBoxBlueBand};
        for (std::size_t i = 0; i < codes.size(); ++i)
            chooseIndex(combos[i], Jp2ZipTest::bandIndex(*file(), codes[i]));
        click(ui().pushButtonApplyChannels);
    }

    // The link of the two sides, through its action.
    void link(bool on)
    {
        if (ui().actionLink_left_right->isChecked() != on)
            ui().actionLink_left_right->trigger();
        ASSERT_EQ(ui().actionLink_left_right->isChecked(), on);
    }

    // What every open side shows: its main viewer the shapes where the
    // writer drew them, its feature viewer (when it has one) the filtered
    // shapes of its own working window.
    void expectSidesIntact(const std::string& when)
    {
        SCOPED_TRACE(when);
        EXPECT_TRUE(dialogs.messageTexts().isEmpty()) << dialogs.messageTexts().join("|").toStdString();
        dialogs.requests.clear();
        window->refreshAllViewers();
        const int sides = ui().rightTabWidget->isHidden() ? 1 : 2;
        for (int side = 0; side < sides; ++side) {
            SCOPED_TRACE(side == 0 ? "left" : "right");
            UI::ViewerWidget* main = viewer(side);
            ASSERT_NE(main, nullptr);
            ASSERT_FALSE(main->isEmpty()) << "the side blanked";
            expectShapes(main, 2.0, QRect(0, 0, kSize, kSize));
            if (UI::ViewerWidget* tools = viewer(side, "viewerWidgetToolsFeature")) {
                ASSERT_FALSE(tools->isEmpty()) << "an empty feature viewer";
                expectShapes(tools, 4.0, workingWindow(side));
            }
        }
    }

    void expectShapes(const UI::ViewerWidget* target, double margin, QRect within)
    {
        const std::vector<Probe> sure = sureProbes(target, kSize, margin, within, 2);
        int bright = 0;
        int wrong = 0;
        for (const Probe& p : sure) {
            const double level = luminance(colourAt(target, p.x, p.y));
            bright += p.bright;
            wrong += p.bright ? level < 160 : level > 100;
        }
        EXPECT_GE(bright, 5) << target->name.toStdString() << " sees too few shape pixels";
        EXPECT_GE(static_cast<int>(sure.size()) - bright, 5) << target->name.toStdString();
        EXPECT_EQ(wrong, 0) << target->name.toStdString() << " of " << sure.size() << " probes in "
                            << within.x() << "," << within.y() << " " << within.width() << "x" << within.height();
    }

    bool featureShown(int side) { return viewer(side, "viewerWidgetToolsFeature") != nullptr; }
};

TEST_F(TwoSidesRoad, EachSideKeepsItsOwnPictureThroughApplyCropFeaturesAndPanning)
{
    openThroughFileMenu(product(shapesProduct(kSize)));
    ASSERT_EQ(window->dataFiles.size(), 1);
    ASSERT_FALSE(viewer(0)->isEmpty());
    choose(ui().comboBoxFilterType, "Linear");
    choose(ui().comboBoxFilterFeature, "Filtered img");

    // Closer in, so that a pan moves the view over the data.
    wheel(0, 2);
    ASSERT_GT(viewer(0)->zoom, 1.0);
    expectSidesIntact("zoomed in");

    // The right side opens with the same product, shown through the data
    // explorer's double click.
    auto* plus = qobject_cast<QToolButton*>(ui().leftTabWidget->tabBar()->tabButton(1, QTabBar::RightSide));
    ASSERT_NE(plus, nullptr);
    click(plus);
    ASSERT_FALSE(ui().rightTabWidget->isHidden());
    activate(1);
    QTreeWidget* data = ui().treeWidgetDataExplorer;
    doubleClickRow(data, 0);
    settle();
    ASSERT_EQ(ui().rightDataIndex, 0);
    ASSERT_EQ(ui().leftDataIndex, 0);
    expectSidesIntact("the product on both sides");

    // Unlinked, a pan of the right side moves its working window alone.
    link(false);
    const QRect left = workingWindow(0);
    pan(1, 30, 30);
    EXPECT_EQ(workingWindow(0), left) << "the left window stays";
    ASSERT_NE(workingWindow(1), left) << "the right window follows its view";
    expectSidesIntact("unlinked pan of the right side");

    // Each side applies its own channels; the other keeps what it shows.
    display({"B03"});
    expectSidesIntact("the right side shows B03");
    activate(0);
    display({"B04"});
    expectSidesIntact("the left side shows B04");

    // The left side's feature, then the right side's crop and feature.
    click(ui().pushButtonFilterFeatureShow);
    ASSERT_TRUE(featureShown(0));
    expectSidesIntact("the left feature");
    activate(1);
    click(ui().pushButtonApplyHistogramCrop);
    expectSidesIntact("the right side's crop Apply");
    click(ui().pushButtonFilterFeatureShow);
    ASSERT_TRUE(featureShown(1));
    expectSidesIntact("both features");

    // Both sides on B04 at different windows: the right side's feature
    // fills the entries the left picture came from.
    display({"B04"});
    expectSidesIntact("the right side shows B04 too");
    if (!featureShown(1))
        click(ui().pushButtonFilterFeatureShow);
    else
        click(ui().pushButtonFilterFeatureRefreshImage);
    ASSERT_TRUE(featureShown(1));
    expectSidesIntact("the right feature of the band the left side shows");
    activate(0);
    if (!featureShown(0))
        click(ui().pushButtonFilterFeatureShow);
    ASSERT_TRUE(featureShown(0));
    expectSidesIntact("the left feature again");
    activate(1);
    click(ui().pushButtonApplyHistogramCrop);
    expectSidesIntact("the right crop of the band both sides show");

    // Linked, with no feature shown, a pan of the left side moves both.
    for (int side : {0, 1}) {
        activate(side);
        if (featureShown(side))
            click(ui().pushButtonFilterFeatureShow);
        ASSERT_FALSE(featureShown(side));
    }
    activate(0);
    link(true);
    const QPoint leftOrigin = viewer(0)->origin;
    const QPoint rightOrigin = viewer(1)->origin;
    pan(0, -20, 10);
    EXPECT_NE(viewer(0)->origin, leftOrigin);
    EXPECT_EQ(viewer(1)->origin - rightOrigin, viewer(0)->origin - leftOrigin) << "the right side pans along";
    expectSidesIntact("linked pan");
    click(ui().pushButtonFilterFeatureShow);
    ASSERT_TRUE(featureShown(0));
    expectSidesIntact("a feature after the linked pan");
}

} // namespace
