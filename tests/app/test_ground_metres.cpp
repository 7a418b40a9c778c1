// Metres on the main window are metres of the ground the shown data set
// covers: a Sentinel-2 product's working grid has pixels of 10 m, an
// orthophoto the pixel size of its raster. The viewers' scale bar and the
// tips of the initial shapes follow the data set each side shows.

#include <memory>
#include <string>

#include <QPushButton>
#include <QToolTip>
#include <QTreeWidget>

#include "io/OrthoMosaicZipFile.h"
#include "io/test_orthomosaic_tif_support.h"
#include "test_product_shell.h"
#include "viewers/ViewGeometry.h"
#include "viewers/ViewerWidget.h"

namespace {

constexpr int kWindow = 84;
constexpr double kOrthoPixel = 1.6;

class GroundMetres : public ShellTest::ProductShell {
protected:
    std::string defaults() const override
    {
        std::string text = Shell::defaults();
        setWorkingSize(text, kWindow, kWindow);
        return text;
    }

    void SetUp() override
    {
        ProductShell::SetUp();
        window->mouseTimer.now = [this] { return clock; };
        open({product()});
        ASSERT_EQ(window->dataFiles.size(), 1);
        addOrthophoto();
    }

    // A north-up orthophoto raster of 1.6 m pixels in Krovak East-North,
    // listed in the data explorer after the product.
    void addOrthophoto()
    {
        TifSpec spec;
        spec.width = 120;
        spec.height = 120;
        spec.bands = 3;
        spec.options = {"PHOTOMETRIC=RGB"};
        spec.epsg = 5514;
        spec.transform = {-741000.0, kOrthoPixel, 0.0, -1044000.0, 0.0, -kOrthoPixel};
        spec.value = [](int b, int x, int y) { return (x * 2 + y + b * 40) % 256; };
        writeTif((folder.path() / "ortho.tif").string(), spec);
        std::unique_ptr<IO::OrthoMosaicZipFile> raster;
        TestSupport::quietly([&] {
            raster = std::make_unique<IO::OrthoMosaicZipFile>();
            raster->open("ortho", "tif", folder.path().string());
        });
        raster->setDataType("OrthoMosaic tif image");
        ortho = addDataSet(std::move(raster));
        window->refreshDataExplorer(window->ui->leftDataIndex);
    }

    // A double click on the data set's row shows it on the active side.
    void showFromExplorer(int index)
    {
        QTreeWidgetItem* row = window->ui->treeWidgetDataExplorer->topLevelItem(index);
        ASSERT_NE(row, nullptr);
        Jp2ZipTest::quietly([&] { window->treeWidgetDataExplorer_doubleClicked(row, 1); });
        ASSERT_FALSE(viewer(window->ui->activeSide)->isEmpty());
    }

    // The text the scale bar of a viewer is drawn with.
    static QString scaleBarText(const UI::ViewerWidget* target)
    {
        return UI::ViewGeometry::scaleBar(target->zoom, target->groundPixelSize()).text;
    }

    void send(QEvent::Type type, Point2D p, Qt::MouseButton button, Qt::MouseButtons buttons)
    {
        UI::ViewerWidget* main = viewer(0);
        const QPointF position((p.x - main->origin.x()) * main->zoom, (p.y - main->origin.y()) * main->zoom);
        QMouseEvent event(type, position, main->mapToGlobal(position), button, buttons, Qt::NoModifier);
        Jp2ZipTest::quietly([&] { QCoreApplication::sendEvent(main, &event); });
    }
    void click(Point2D p)
    {
        send(QEvent::MouseButtonPress, p, Qt::LeftButton, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, p, Qt::LeftButton, Qt::NoButton);
    }
    void move(Point2D p) { send(QEvent::MouseMove, p, Qt::NoButton, Qt::NoButton); }
    void rightPress() { send(QEvent::MouseButtonPress, {5.0, 5.0}, Qt::RightButton, Qt::RightButton); }

    int ortho = -1;
    qint64 clock = 1000;
};

} // namespace

TEST_F(GroundMetres, EachSidesScaleBarMeasuresTheGroundOfTheDataSetItShows)
{
    // At zoom 1.0 the bar is 200 screen pixels: 200 data pixels.
    ASSERT_EQ(viewer(0)->zoom, 1.0);
    EXPECT_EQ(scaleBarText(viewer(0)).toStdString(), "2.0km") << "the product as opened";

    showFromExplorer(ortho);
    EXPECT_EQ(viewer(0)->groundPixelSize(), kOrthoPixel);
    EXPECT_EQ(scaleBarText(viewer(0)).toStdString(), "320m");

    showFromExplorer(0);
    EXPECT_EQ(viewer(0)->groundPixelSize(), 10.0);
    EXPECT_EQ(scaleBarText(viewer(0)).toStdString(), "2.0km") << "the side shows the product again";

    // The right side shows the orthophoto beside the product; each keeps its
    // own ground.
    showOnTheRight(ortho);
    EXPECT_EQ(scaleBarText(viewer(1)).toStdString(), "320m");
    EXPECT_EQ(scaleBarText(viewer(0)).toStdString(), "2.0km");
}

TEST_F(GroundMetres, ShapeTipsGiveTheShownDataSetsMetres)
{
    // Anchored at (48, 40); the mouse 10 pixels away for the circle and the
    // polygon side, and at a square of edge 2 * 4 + 1 = 9 pixels.
    struct Shape {
        const char* name;
        QPushButton* FenlarkAppUI::*button;
        Point2D mouse;
        const char* productTip;
        const char* orthophotoTip;
    };
    const Shape shapes[] = {
        {"circle", &FenlarkAppUI::pushButtonAutoInitCircle, {58.0, 40.0}, "Radius: 100m", "Radius: 16m"},
        {"square", &FenlarkAppUI::pushButtonAutoInitSquare, {52.0, 42.0}, "Edge: 90m", "Edge: 14.4m"},
        {"polygon", &FenlarkAppUI::pushButtonAutoInitPolygon, {54.0, 48.0}, "Side: 100m", "Side: 16m"},
    };
    for (const int index : {ortho, 0}) {
        showFromExplorer(index);
        for (const Shape& shape : shapes) {
            SCOPED_TRACE(std::string(shape.name) + (index == 0 ? " on the product" : " on the orthophoto"));
            (window->ui->*shape.button)->click();
            click({48.0, 40.0});
            move(shape.mouse);
            EXPECT_EQ(QToolTip::text().toStdString(), index == 0 ? shape.productTip : shape.orthophotoTip);
            rightPress();
            QToolTip::hideText();
        }
    }
}
