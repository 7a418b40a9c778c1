// One product shown on both viewer sides: what one side applies, computes or
// shows never takes away what the other side displays, and a tools viewer
// never draws an image computed for the other side's working window. Also
// the preview map, which always shows the active side's data set.

#include <QComboBox>
#include <QGridLayout>
#include <QMouseEvent>
#include <QTreeWidget>

#include "support/MemoryFile.h"
#include "test_product_shell.h"
#include "tools/FeatureKeys.h"

namespace {

class SharedSides : public ShellTest::ProductShell {
protected:
    void SetUp() override
    {
        ProductShell::SetUp();
        window->setToolDocksEnabled(true);
    }

    void quietly(const std::function<void()>& body) { Jp2ZipTest::quietly(body); }

    // Opens the right side, makes it active and shows data set `index` there
    // through the data explorer's double click.
    void showOnRight(int index)
    {
        window->toolButtonTabWidget_clicked();
        emit window->ui->rightTabWidget->tabBarClicked(0);
        ASSERT_EQ(window->ui->activeSide, 1);
        setViewport(viewer(0), QSize(240, 240));
        setViewport(viewer(1), QSize(240, 240));
        QTreeWidget* tree = window->ui->treeWidgetDataExplorer;
        quietly([&] { window->treeWidgetDataExplorer_doubleClicked(tree->topLevelItem(index), 1); });
        ASSERT_EQ(window->ui->rightDataIndex, index);
    }

    void activate(int side)
    {
        emit(side == 0 ? window->ui->leftTabWidget : window->ui->rightTabWidget)->tabBarClicked(0);
        ASSERT_EQ(window->ui->activeSide, side);
    }

    // Chooses one channel showing `band` on the active side and applies it.
    void showSingleBand(int band)
    {
        FenlarkAppUI& ui = *window->ui;
        ui.comboBoxShowTypeChannel->setCurrentIndex(0);
        ui.comboBoxRedBand->setCurrentIndex(band);
        quietly([&] { ui.pushButtonApplyChannels->click(); });
    }

    std::size_t cacheSize(IO::File* file, int band, const char* key)
    {
        return file->bands[static_cast<std::size_t>(band)].levels[0].cacheSize(key);
    }

    bool featureShown(int side) { return viewer(side, "viewerWidgetToolsFeature") != nullptr; }

};

// A working window smaller than the product, so that it can follow the view.
class SharedSidesMovingWindow : public SharedSides {
protected:
    std::string defaults() const override
    {
        std::string text = SharedSides::defaults();
        setWorkingSize(text, 60, 60);
        return text;
    }

    // A pan drag on a viewer by the mouse.
    void drag(UI::ViewerWidget* target, QPointF from, QPointF to)
    {
        const auto send = [&](QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons buttons) {
            QMouseEvent event(type, at, target->mapToGlobal(at), button, buttons, Qt::NoModifier);
            quietly([&] { QCoreApplication::sendEvent(target, &event); });
        };
        send(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
        send(QEvent::MouseMove, (from + to) / 2, Qt::NoButton, Qt::LeftButton);
        send(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    }
};

} // namespace

// Showing the data set on the second side, its channel "Apply" and its crop
// "Apply" read and release only what that side needs: the band the first
// side displays stays loaded, drawn and with its computed images.
TEST_F(SharedSides, ApplyOnOneSideSparesWhatTheOtherSideDisplays)
{
    open({product()});
    IO::File* file = window->dataFiles[0];
    FenlarkAppUI& ui = *window->ui;
    const int nir = Jp2ZipTest::bandIndex(*file, "B08");
    const int swir = Jp2ZipTest::bandIndex(*file, "B11");
    const int red = Jp2ZipTest::bandIndex(*file, "B04");
    showSingleBand(nir);
    ASSERT_EQ(file->loadedBands, std::set<int>{nir});
    quietly([&] { ui.pushButtonFilterFeatureShow->click(); });
    const std::size_t n = static_cast<std::size_t>(file->workAreaWidth) * file->workAreaHeight;
    ASSERT_EQ(cacheSize(file, nir, Keys::dataCacheToolsFilterSolution), n);

    const auto leftIntact = [&](const char* when) {
        EXPECT_TRUE(file->isLoaded(nir, 0)) << when;
        EXPECT_EQ(cacheSize(file, nir, Keys::dataCacheToolsFilterSolution), n) << when;
        window->refreshAllViewers();
        EXPECT_FALSE(viewer(0)->isEmpty()) << when;
        EXPECT_FALSE(viewer(0, "viewerWidgetToolsFeature")->isEmpty()) << when;
    };

    // The right side starts with the product's default colour bands.
    showOnRight(0);
    EXPECT_TRUE(file->isLoaded(red, 0));
    EXPECT_FALSE(viewer(1)->isEmpty());
    leftIntact("after showing it on the right");

    showSingleBand(swir);
    EXPECT_FALSE(file->isLoaded(red, 0)) << "the right side's old band goes";
    EXPECT_TRUE(file->isLoaded(swir, 0));
    leftIntact("after the right side's channel Apply");

    // The crop "Apply" reads the right side's band again, and only that one.
    QStringList labels;
    const TaskRunner::Runner previous = TaskRunner::setRunner([&](const QString& label, const std::function<void()>& job) {
        labels.append(label);
        job();
    });
    quietly([&] { ui.pushButtonApplyHistogramCrop->click(); });
    TaskRunner::setRunner(previous);
    EXPECT_EQ(labels, QStringList({"Reading data for " + QString::fromStdString(file->bandName(swir)) + " "}));
    leftIntact("after the right side's crop Apply");
    EXPECT_FALSE(viewer(1)->isEmpty());

    // A band both sides display is read again with the new crop for both;
    // its computed images go, and so does the left feature drawn from them.
    showSingleBand(nir);
    ASSERT_TRUE(featureShown(0));
    quietly([&] { ui.pushButtonApplyHistogramCrop->click(); });
    EXPECT_TRUE(file->isLoaded(nir, 0));
    EXPECT_EQ(cacheSize(file, nir, Keys::dataCacheToolsFilterSolution), 0u);
    EXPECT_FALSE(featureShown(0));
    EXPECT_EQ(sideValue(0, "featureShowed").toInt(), 0);
    window->refreshAllViewers();
    EXPECT_FALSE(viewer(0)->isEmpty());
    EXPECT_FALSE(viewer(1)->isEmpty());
}

// A feature of one side computed into the entries that the other side's
// tools viewer shows takes that viewer down: it would otherwise draw the
// other window's image at its own origin.
TEST_F(SharedSides, AFeatureOverwrittenByTheOtherSideIsTakenDown)
{
    open({product()});
    IO::File* file = window->dataFiles[0];
    FenlarkAppUI& ui = *window->ui;
    showOnRight(0);
    activate(0);
    ASSERT_EQ(file->getWorkAreaX(0), 0);
    quietly([&] { ui.pushButtonFilterFeatureShow->click(); });
    ASSERT_TRUE(featureShown(0));

    // The right side filters another window into the same entries.
    activate(1);
    file->setWorkAreaX(1, 24);
    file->setWorkAreaY(1, 18);
    quietly([&] { ui.pushButtonFilterFeatureShow->click(); });
    ASSERT_TRUE(featureShown(1));
    EXPECT_FALSE(viewer(1, "viewerWidgetToolsFeature")->isEmpty());

    EXPECT_FALSE(featureShown(0)) << "the left viewer would draw the right window";
    EXPECT_FALSE(ui.featureShowedCacheByTab.contains(0));
    EXPECT_EQ(sideValue(0, "featureShowed").toInt(), 0);
    EXPECT_EQ(sideValue(0, "featureShowedCache").toInt(), 0);
    EXPECT_EQ(grid(0)->itemAtPosition(0, 1), nullptr);
    EXPECT_EQ(grid(0)->itemAtPosition(1, 0), grid(0)->itemAtPosition(0, 0)) << "the main viewer has its cell back";
    // The right side's own viewer stays, and its buttons say so.
    EXPECT_EQ(ui.pushButtonFilterFeatureShow->text(), "Hide feature");
    EXPECT_EQ(sideValue(1, "featureShowed").toInt(), 1);
    window->refreshAllViewers();
    EXPECT_FALSE(viewer(0)->isEmpty());

    // A feature under other keys leaves the other side's viewer alone.
    quietly([&] { ui.pushButtonFilterFeatureShow->click(); });  // hides the right one
    activate(0);
    quietly([&] { ui.pushButtonFilterFeatureShow->click(); });
    ASSERT_TRUE(featureShown(0));
    activate(1);
    ui.comboBoxSemiFeature->setCurrentIndex(0);
    quietly([&] { ui.pushButtonSemiFeatureShow->click(); });
    ASSERT_TRUE(featureShown(1));
    EXPECT_TRUE(featureShown(0));
    EXPECT_EQ(ui.featureShowedCacheByTab.value(0), Keys::dataCacheToolsFilterSolution);
}

// The left side's feature goes when the active right side reads its bands
// again; no side shows a feature any more, so the working window is let go
// and follows the view again.
TEST_F(SharedSidesMovingWindow, TheWorkingWindowFollowsTheViewOnceNoSideShowsAFeature)
{
    open({product()});
    IO::File* file = window->dataFiles[0];
    FenlarkAppUI& ui = *window->ui;
    showOnRight(0);
    activate(0);
    quietly([&] { ui.pushButtonFilterFeatureShow->click(); });
    ASSERT_TRUE(featureShown(0));
    ASSERT_TRUE(ui.workingAreaLocked);

    activate(1);
    quietly([&] { ui.pushButtonApplyHistogramCrop->click(); });
    ASSERT_FALSE(featureShown(0));
    ASSERT_FALSE(featureShown(1));
    EXPECT_FALSE(ui.workingAreaLocked);

    // Zoomed in, a drag on the right viewer moves its working window along.
    for (int step = 0; step < 3; ++step)
        ui.actionZoom_in->trigger();
    const QPoint before(file->getWorkAreaX(1), file->getWorkAreaY(1));
    drag(viewer(1), QPointF(200, 200), QPointF(40, 40));
    EXPECT_NE(QPoint(file->getWorkAreaX(1), file->getWorkAreaY(1)), before);
}

// The preview map shows the data set of the active side, whatever row of the
// data explorer was last clicked; a data set without a preview leaves the
// map empty instead of the previous picture.
TEST_F(SharedSides, PreviewMapFollowsTheActiveSidesDataSet)
{
    open({product()});
    IO::File* first = window->dataFiles[0];
    // A second data set with a preview of another colour.
    auto second = std::make_unique<TestSupport::MemoryFile>(120, 120);
    second->name = "second";
    second->preview.assign(3, std::vector<std::uint8_t>(static_cast<std::size_t>(343 * 343), 7));
    second->previewWidth = 343;
    second->previewHeight = 343;
    window->dataFiles.append(second.release());
    window->curveSets.append(QList<UI::CurveSet>());
    window->relevancyMaps.append(QList<UI::RelevancyMap>());
    window->refreshDataExplorer(0);

    // The colour the map keeps for its last preview pixel, while it shows
    // a picture at all.
    const auto previewColour = [&] {
        const UI::PreviewWidget* map = window->previewWidget;
        return map->image->isNull() || map->pixels.isEmpty() ? QColor() : map->pixels.back();
    };
    const QColor firstColour(first->preview[0].back(), first->preview[1].back(), first->preview[2].back());
    ASSERT_EQ(previewColour(), firstColour);

    // A single click on the second row, then a click on the active tab bar.
    QTreeWidget* tree = window->ui->treeWidgetDataExplorer;
    tree->setCurrentItem(tree->topLevelItem(1));
    emit window->ui->leftTabWidget->tabBarClicked(0);
    EXPECT_EQ(previewColour(), firstColour);

    // Showing a data set without a preview empties the map.
    auto bare = std::make_unique<TestSupport::MemoryFile>(120, 120);
    bare->name = "bare";
    bare->addBandOf("B04", 1, [](int x, int y) { return x + y; });
    window->dataFiles.append(bare.release());
    window->curveSets.append(QList<UI::CurveSet>());
    window->relevancyMaps.append(QList<UI::RelevancyMap>());
    window->refreshDataExplorer(0);
    quietly([&] { window->treeWidgetDataExplorer_doubleClicked(tree->topLevelItem(2), 1); });
    ASSERT_EQ(window->ui->leftDataIndex, 2);
    EXPECT_FALSE(previewColour().isValid());
    emit window->ui->leftTabWidget->tabBarClicked(0);
    EXPECT_FALSE(previewColour().isValid());
}
