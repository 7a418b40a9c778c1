#pragma once

// The main window of a road: the real window after its set-up, products
// written by the sample writer and opened through File > Open, every task on
// the real task runner (its modal progress dialog and the thread pool), the
// dialogs that ask for files, questions and text answered through the dialog
// seam unless a road shows a real one, and real mouse and key events sent to
// the real widgets. Ground truth comes from the fixture writers and from OGR,
// never from the window's own conversions.

#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>
#include <ogr_spatialref.h>

#include "SampleProduct.h"
#include "app/test_dialogs.h"
#include "app/test_shell_support.h"
#include "io/test_jp2zip_fixture.h"
#include "support/TestSupport.h"
#include "viewers/ViewGeometry.h"
#include "viewers/ViewerWidget.h"

namespace Road2 {

namespace fs = std::filesystem;

// Converts between two EPSG systems with OGR, longitude (easting) first.
class Transform {
public:
    Transform(int from, int to)
    {
        source_.importFromEPSG(from);
        target_.importFromEPSG(to);
        source_.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
        target_.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
        transform_.reset(OGRCreateCoordinateTransformation(&source_, &target_));
    }

    std::array<double, 2> operator()(double x, double y) const
    {
        EXPECT_TRUE(transform_ && transform_->Transform(1, &x, &y)) << "OGR cannot convert " << x << ", " << y;
        return {x, y};
    }

private:
    OGRSpatialReference source_;
    OGRSpatialReference target_;
    std::unique_ptr<OGRCoordinateTransformation> transform_;
};

// Processes events until the condition holds, false when the time is up.
// Roads wait with it under ASSERT_TRUE: QtTest's QTRY_ macros report their
// failures to QtTest and leave the test function without a gtest failure.
inline bool waitFor(const std::function<bool()>& condition, int milliseconds = 10000)
{
    return QTest::qWaitFor(condition, milliseconds);
}

// The first top-level widget of type W that is shown, else null.
template <typename W>
W* shownTopLevel()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* found = qobject_cast<W*>(widget); found && found->isVisible())
            return found;
    }
    return nullptr;
}

// Clicks a cell of an item view as the user does, scrolled into sight first.
inline void clickCell(QAbstractItemView* view, const QModelIndex& index)
{
    view->scrollTo(index);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, view->visualRect(index).center());
}

// Chooses the entry of a closed combo box with the keyboard: Home, then Down
// until the entry shows (the combo box emits its changes as for the user).
inline void chooseEntry(QComboBox* combo, const QString& text)
{
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Home);
    for (int step = 0; step < combo->count() && combo->currentText() != text; ++step)
        QTest::keyClick(combo, Qt::Key_Down);
    EXPECT_EQ(combo->currentText(), text);
}

// Answers each modal widget of type W that comes up with answer(dialog),
// counting them, until the object goes.
template <typename W>
class ModalAnswerer {
public:
    explicit ModalAnswerer(std::function<void(W*)> answer)
        : answer_(std::move(answer))
    {
        timer_.setInterval(20);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* dialog = qobject_cast<W*>(QApplication::activeModalWidget());
            if (!dialog || dialog == answered_)
                return;
            answered_ = dialog;
            ++count;
            answer_(dialog);
        });
        timer_.start();
    }

    int count = 0;

private:
    std::function<void(W*)> answer_;
    QTimer timer_;
    QPointer<W> answered_;
};

class RoadShell : public ShellTest::Shell {
protected:
    // The working window of Sentinel-2 products, in 10 m pixels.
    virtual int workingSize() const { return 120; }

    std::string defaults() const override
    {
        std::string text = Shell::defaults();
        const std::string size = std::to_string(workingSize());
        replaceLine(text, "workingWidth=1002", "workingWidth=" + size);
        replaceLine(text, "workingHeight=1002", "workingHeight=" + size);
        return text;
    }

    // The product in a folder of its own inside the test's folder.
    QString product(const Sample::ProductSpec& spec)
    {
        const fs::path into = folder.path() / ("product" + std::to_string(products_++));
        fs::create_directories(into);
        return QString::fromStdString(Jp2ZipTest::copyOfProduct(into, spec).string());
    }

    // Opens the paths through File > Open; the real task runner reads them.
    void open(const QStringList& paths)
    {
        dialogs.fileAnswers.append(paths);
        Jp2ZipTest::quietly([&] { window->ui->actionOpen->trigger(); });
    }

    // Latitude and longitude of a position of a product's working grid
    // (pixel units, (0, 0) its upper-left corner), through OGR from the UTM
    // position the writer gave that pixel.
    static std::array<double, 2> latLonOf(const Sample::ProductSpec& spec, double x, double y)
    {
        const Transform toWgs84(spec.epsg, 4326);
        const std::array<double, 2> lonLat = toWgs84(spec.originEasting + 10.0 * x, spec.originNorthing - 10.0 * y);
        return {lonLat[1], lonLat[0]};
    }

    // The left main viewer showing the whole working window of the data set
    // shown there at zoom 1, image pixel (x, y) being full-grid pixel
    // origin + (x, y).
    UI::ViewerWidget* wholeWorkingWindow()
    {
        UI::ViewerWidget* main = viewer(0);
        const IO::File* file = window->dataFiles.value(window->ui->leftDataIndex);
        EXPECT_NE(file, nullptr);
        if (!file)
            return main;
        setViewport(main, QSize(file->workAreaWidth + UI::ViewGeometry::viewportMargin,
                                file->workAreaHeight + UI::ViewGeometry::viewportMargin));
        main->resetView();
        window->refreshAllViewers();
        EXPECT_DOUBLE_EQ(main->zoom, 1.0);
        EXPECT_EQ(main->image->size(), QSize(file->workAreaWidth, file->workAreaHeight));
        return main;
    }

    TestSupport::TempDir folder;
    ShellTest::Dialogs dialogs;

private:
    int products_ = 0;
};

} // namespace Road2
