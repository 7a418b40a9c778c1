#pragma once

// The real main window, shown offscreen, with products written by the sample
// writer and opened through File > Open; tasks run on the real task runner
// behind its progress dialog; every message box and file dialog answered
// through the dialog seam. Mouse events go to the real viewers, clicks to
// the real buttons. What a road finds is checked against the writer's
// formulas or against GDAL reading the files the window wrote.

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QMenu>
#include <QMouseEvent>
#include <QSettings>
#include <QTest>
#include <QToolBox>
#include <QTreeWidget>
#include <gdal_priv.h>
#include <gtest/gtest.h>
#include <ogr_geometry.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include "SampleProduct.h"
#include "app/FenlarkApp.h"
#include "app/FenlarkAppUI.h"
#include "app/test_context_menus.h"
#include "app/test_dialogs.h"
#include "app/test_main_window_support.h"
#include "io/test_jp2zip_fixture.h"
#include "resources/Resources.h"
#include "support/TestSupport.h"
#include "viewers/ViewGeometry.h"
#include "viewers/ViewerWidget.h"

namespace Road1 {

namespace fs = std::filesystem;

// A product of the shapes scene on a size x size working grid.
inline Sample::ProductSpec shapesProduct(int size)
{
    Sample::ProductSpec spec;
    spec.size = size;
    spec.scene = Sample::Scene::Shapes;
    return spec;
}

// True when the working-grid pixel (x, y) of the shapes scene is bright:
// inside a disc or the rectangle, by the writer's rule (pixel centres).
inline bool insideShape(int x, int y, int size)
{
    const double cx = x + 0.5;
    const double cy = y + 0.5;
    for (const Sample::SceneDisc& disc : Sample::sceneDiscs(size))
        if (std::hypot(cx - disc.centerX, cy - disc.centerY) < disc.radius)
            return true;
    const Sample::SceneRectangle box = Sample::sceneRectangle(size);
    return cx >= box.x0 && cx < box.x1 && cy >= box.y0 && cy < box.y1;
}

// Distance in pixels from the centre of pixel (x, y) to the nearest outline
// of the scene's shapes (0 inside the no-data corner's reach, where the
// ground is not the ground).
inline double distanceToOutline(int x, int y, int size)
{
    if (x < Sample::kNoDataCorner + 1 && y < Sample::kNoDataCorner + 1)
        return 0.0;
    const double cx = x + 0.5;
    const double cy = y + 0.5;
    double nearest = 1e9;
    for (const Sample::SceneDisc& disc : Sample::sceneDiscs(size))
        nearest = std::min(nearest, std::abs(std::hypot(cx - disc.centerX, cy - disc.centerY) - disc.radius));
    const Sample::SceneRectangle box = Sample::sceneRectangle(size);
    const double dx = std::max({box.x0 - cx, cx - box.x1, 0.0});
    const double dy = std::max({box.y0 - cy, cy - box.y1, 0.0});
    const bool inside = dx == 0.0 && dy == 0.0;
    const double toBox = inside ? std::min({cx - box.x0, box.x1 - cx, cy - box.y0, box.y1 - cy})
                                : std::hypot(dx, dy);
    return std::min(nearest, toBox);
}

// Luminance of a colour, 0..255.
inline double luminance(QRgb c)
{
    return 0.299 * qRed(c) + 0.587 * qGreen(c) + 0.114 * qBlue(c);
}

// A pixel a viewer shows whose class is sure: bright inside a shape, dark
// on the ground.
struct Probe {
    int x, y;
    bool bright;
};

// Probes on a lattice of step pixels over what a viewer shows of the
// working-grid rectangle within, at least margin pixels away from every
// outline and from the no-data corner, and clear of the scale bar and north
// arrow in the image's lower right corner.
inline std::vector<Probe> sureProbes(const UI::ViewerWidget* target, int size, double margin, QRect within,
                                     int step = 3)
{
    std::vector<Probe> out;
    const QRect shown(target->origin, target->visibleEnd - QPoint(1, 1));
    const QRect area = shown.intersected(within);
    const int bar = UI::ViewGeometry::scaleBar(target->zoom, target->groundPixelSize()).pixels;
    const int w = target->image ? target->image->width() : 0;
    const int h = target->image ? target->image->height() : 0;
    const QRect legend(w - bar - 60, h - 55, bar + 60, 55);
    for (int y = area.top(); y <= area.bottom(); y += step)
        for (int x = area.left(); x <= area.right(); x += step) {
            if (x < Sample::kNoDataCorner + margin && y < Sample::kNoDataCorner + margin)
                continue;
            const QPointF centre((x + 0.5 - target->origin.x()) * target->zoom,
                                 (y + 0.5 - target->origin.y()) * target->zoom);
            if (legend.adjusted(-margin * target->zoom, -margin * target->zoom, 0, 0).contains(centre.toPoint()))
                continue;
            if (distanceToOutline(x, y, size) >= margin)
                out.push_back({x, y, insideShape(x, y, size)});
        }
    return out;
}

// The curve of a KML file as OGR reads it, in working-grid pixels of a
// product whose upper-left corner is at (originE, originN) in the UTM zone
// of epsg, 10 m pixels.
struct KmlRing {
    std::vector<QPointF> points;  // pixels, closed
    double areaSquareMetres = 0.0;
    QPointF centroid;             // pixels
    int features = 0;
};

inline KmlRing readKmlRing(const fs::path& path, int epsg, double originE, double originN)
{
    KmlRing out;
    GDALAllRegister();
    std::unique_ptr<GDALDataset> dataset(
        GDALDataset::Open(path.string().c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, nullptr, nullptr, nullptr));
    EXPECT_NE(dataset, nullptr) << "OGR cannot read " << path;
    if (!dataset || dataset->GetLayerCount() < 1)
        return out;
    OGRLayer* layer = dataset->GetLayer(0);
    OGRSpatialReference geographic;
    geographic.importFromEPSG(4326);
    geographic.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    OGRSpatialReference utm;
    utm.importFromEPSG(epsg);
    utm.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    std::unique_ptr<OGRCoordinateTransformation> toUtm(OGRCreateCoordinateTransformation(&geographic, &utm));
    EXPECT_NE(toUtm, nullptr);
    if (!toUtm)
        return out;

    layer->ResetReading();
    OGRLinearRing ring;
    for (auto& feature : *layer) {
        ++out.features;
        const OGRGeometry* geometry = feature->GetGeometryRef();
        if (!geometry || !ring.IsEmpty())
            continue;
        const OGRSimpleCurve* curve = nullptr;
        switch (wkbFlatten(geometry->getGeometryType())) {
        case wkbPolygon:
            curve = geometry->toPolygon()->getExteriorRing();
            break;
        case wkbLineString:
            curve = geometry->toLineString();
            break;
        default:
            ADD_FAILURE() << "unexpected geometry " << geometry->getGeometryName();
            continue;
        }
        for (int i = 0; i < curve->getNumPoints(); ++i)
            ring.addPoint(curve->getX(i), curve->getY(i));
    }
    if (ring.IsEmpty())
        return out;
    ring.closeRings();
    EXPECT_EQ(ring.transform(toUtm.get()), OGRERR_NONE);
    for (int i = 0; i < ring.getNumPoints(); ++i)
        out.points.emplace_back((ring.getX(i) - originE) / 10.0, (originN - ring.getY(i)) / 10.0);
    OGRPolygon polygon;
    polygon.addRing(&ring);
    out.areaSquareMetres = polygon.get_Area();
    OGRPoint centre;
    EXPECT_EQ(polygon.Centroid(&centre), OGRERR_NONE);
    out.centroid = QPointF((centre.getX() - originE) / 10.0, (originN - centre.getY()) / 10.0);
    return out;
}

// Mean and largest distance of curve points to a circle, in pixels.
struct Fit {
    double mean = 0.0;
    double worst = 0.0;
};
inline Fit fitToCircle(const std::vector<Point2D>& points, const Sample::SceneDisc& disc)
{
    Fit fit;
    for (const Point2D& p : points) {
        const double d = std::abs(std::hypot(p.x - disc.centerX, p.y - disc.centerY) - disc.radius);
        fit.mean += d;
        fit.worst = std::max(fit.worst, d);
    }
    fit.mean /= static_cast<double>(std::max<std::size_t>(points.size(), 1));
    return fit;
}

// The shown top-level window of a type, if one is open.
template <typename Window>
Window* openWindow()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* found = qobject_cast<Window*>(widget); found && found->isVisible())
            return found;
    return nullptr;
}

class RoadShell : public testing::Test {
protected:
    // Working window of the products (both directions).
    virtual int workingSize() const { return 1002; }

    void SetUp() override
    {
        Fenlark::initResources();
        // Last folders and the network folder of earlier tests are not ours.
        QSettings().clear();
        std::string text = MainWindowTest::defaultConfigText();
        replace(text, "workingWidth=1002", "workingWidth=" + std::to_string(workingSize()));
        replace(text, "workingHeight=1002", "workingHeight=" + std::to_string(workingSize()));
        TestSupport::writeFile((cwd.path() / "default_config.ini").string(), text);
        window = std::make_unique<UI::FenlarkApp>();
        window->setupWindow();
        window->setToolDocksEnabled(true);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        QApplication::processEvents();
    }

    void TearDown() override
    {
        window.reset();
        QSettings().clear();
    }

    static void replace(std::string& text, const std::string& from, const std::string& to)
    {
        const std::size_t at = text.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        text.replace(at, from.size(), to);
    }

    // A product in a folder of its own inside the test's folder.
    fs::path product(const Sample::ProductSpec& spec)
    {
        const fs::path into = folder.path() / ("product" + std::to_string(products_++));
        fs::create_directories(into);
        return Jp2ZipTest::copyOfProduct(into, spec);
    }

    // File > Open with the file dialog answering path; the opening and the
    // first display run on the task runner before trigger() returns.
    void openThroughFileMenu(const fs::path& path)
    {
        QAction* open = nullptr;
        for (QAction* action : ui().menuFile->actions())
            if (action->text().remove('&').startsWith("Open"))
                open = action;
        ASSERT_NE(open, nullptr) << "File > Open";
        dialogs.fileAnswers.append(QStringList{QString::fromStdString(path.string())});
        TestSupport::quietly([&] { open->trigger(); });
        settle();
    }

    void settle()
    {
        for (int i = 0; i < 3; ++i)
            QApplication::processEvents();
    }

    FenlarkAppUI& ui() { return *window->ui; }

    IO::File* file(int index = 0) { return window->dataFiles.value(index); }

    UI::ViewerWidget* viewer(int side, const char* name = "viewerWidgetMain")
    {
        return window->viewers.value(side).value(QString::fromLatin1(name));
    }

    void click(QAbstractButton* button)
    {
        ASSERT_NE(button, nullptr);
        ASSERT_TRUE(button->isEnabled()) << button->objectName().toStdString();
        TestSupport::quietly([&] { QTest::mouseClick(button, Qt::LeftButton); });
        settle();
    }

    // Chooses the item of a combo box with the keyboard, as a user does: the
    // arrow keys walk to it.
    static void chooseIndex(QComboBox* box, int wanted)
    {
        ASSERT_NE(box, nullptr);
        ASSERT_TRUE(wanted >= 0 && wanted < box->count()) << box->objectName().toStdString() << " " << wanted;
        box->setFocus();
        while (box->currentIndex() < wanted)
            QTest::keyClick(box, Qt::Key_Down);
        while (box->currentIndex() > wanted)
            QTest::keyClick(box, Qt::Key_Up);
        ASSERT_EQ(box->currentIndex(), wanted);
    }
    static void choose(QComboBox* box, const QString& text)
    {
        ASSERT_NE(box, nullptr);
        const int wanted = box->findText(text);
        ASSERT_GE(wanted, 0) << text.toStdString();
        chooseIndex(box, wanted);
    }

    // Types a value into a spin box as a user does: select all, type, Return.
    static void typeInto(QAbstractSpinBox* box, const QString& text)
    {
        ASSERT_NE(box, nullptr);
        box->setFocus();
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(box, text);
        QTest::keyClick(box, Qt::Key_Return);
        ASSERT_EQ(box->text(), text) << box->objectName().toStdString();
    }

    // Widget position on a viewer of the working-grid position p.
    static QPoint at(const UI::ViewerWidget* target, QPointF p)
    {
        return QPointF((p.x() - target->origin.x()) * target->zoom, (p.y() - target->origin.y()) * target->zoom)
            .toPoint();
    }

    // The colour a viewer shows for working-grid pixel (x, y) (its centre).
    static QRgb colourAt(const UI::ViewerWidget* target, int x, int y)
    {
        const QPoint p = at(target, QPointF(x + 0.5, y + 0.5));
        EXPECT_TRUE(target->image && target->image->rect().contains(p)) << x << "," << y << " not in view";
        return target->image && target->image->rect().contains(p) ? target->image->pixel(p) : qRgb(255, 0, 255);
    }

    void mouse(UI::ViewerWidget* target, QEvent::Type type, QPointF grid, Qt::MouseButton button,
               Qt::MouseButtons buttons)
    {
        const QPoint p = at(target, grid);
        QMouseEvent event(type, QPointF(p), QPointF(target->mapToGlobal(p)), button, buttons, Qt::NoModifier);
        TestSupport::quietly([&] { QApplication::sendEvent(target, &event); });
    }
    void clickAt(UI::ViewerWidget* target, QPointF grid)
    {
        mouse(target, QEvent::MouseButtonPress, grid, Qt::LeftButton, Qt::LeftButton);
        mouse(target, QEvent::MouseButtonRelease, grid, Qt::LeftButton, Qt::NoButton);
    }
    void moveTo(UI::ViewerWidget* target, QPointF grid)
    {
        mouse(target, QEvent::MouseMove, grid, Qt::NoButton, Qt::NoButton);
    }
    // A left-button drag from one widget position to another in steps.
    void drag(UI::ViewerWidget* target, QPoint from, QPoint to, int steps = 4)
    {
        const auto send = [&](QEvent::Type type, QPoint p, Qt::MouseButton button, Qt::MouseButtons buttons) {
            QMouseEvent event(type, QPointF(p), QPointF(target->mapToGlobal(p)), button, buttons, Qt::NoModifier);
            TestSupport::quietly([&] { QApplication::sendEvent(target, &event); });
        };
        send(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
        for (int i = 1; i <= steps; ++i)
            send(QEvent::MouseMove, from + (to - from) * i / steps, Qt::NoButton, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
        settle();
    }

    // Selects the top-level row of a tree with a mouse click on it.
    static void clickRow(QTreeWidget* tree, int row)
    {
        QTreeWidgetItem* item = tree->topLevelItem(row);
        ASSERT_NE(item, nullptr) << row;
        tree->scrollToItem(item);
        const QRect rect = tree->visualItemRect(item);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
    }

    // Double-clicks the top-level row of a tree: press, release, the
    // double click and its release.
    static void doubleClickRow(QTreeWidget* tree, int row)
    {
        QTreeWidgetItem* item = tree->topLevelItem(row);
        ASSERT_NE(item, nullptr) << row;
        tree->scrollToItem(item);
        const QPoint at = tree->visualItemRect(item).center();
        QWidget* surface = tree->viewport();
        TestSupport::quietly([&] {
            QTest::mousePress(surface, Qt::LeftButton, Qt::NoModifier, at);
            QTest::mouseRelease(surface, Qt::LeftButton, Qt::NoModifier, at);
            QTest::mouseDClick(surface, Qt::LeftButton, Qt::NoModifier, at);
            QTest::mouseRelease(surface, Qt::LeftButton, Qt::NoModifier, at);
        });
    }

    // Opens a tree's context menu as a right click does and chooses the
    // entry of the given text in it with the keyboard; the menu outlives the
    // entry's work and goes afterwards.
    void contextMenuEntry(QTreeWidget* tree, const QString& text)
    {
        ShellTest::MenuChoice choice;
        TestSupport::quietly([&] { choice = ShellTest::chooseContextMenuEntry(tree, text); });
        ASSERT_FALSE(choice.offered.isEmpty()) << "no context menu";
        ASSERT_TRUE(choice.chosen) << text.toStdString() << " not offered (enabled) in "
                                   << choice.offered.join("|").toStdString();
        EXPECT_TRUE(choice.aliveAfterHandlers) << "the menu of " << text.toStdString() << " died under its work";
        EXPECT_TRUE(choice.goneAfterwards) << "the menu of " << text.toStdString() << " is left over";
        settle();
    }

    // The tools page of the network choice, the relevancy maps and the area
    // classification is kept out of the user's reach at start; a road opens
    // it as a build that offers it would.
    void openClassificationPage()
    {
        QToolBox* tools = ui().toolBoxTools;
        const int page = tools->indexOf(ui().toolBoxToolsPage5);
        ASSERT_GE(page, 0);
        tools->setItemEnabled(page, true);
        ui().toolBoxToolsPage5->setEnabled(true);
        tools->setCurrentIndex(page);
        settle();
    }

    TestSupport::ScopedWorkingDirectory cwd;
    TestSupport::TempDir folder;
    ShellTest::Dialogs dialogs;
    std::unique_ptr<UI::FenlarkApp> window;

private:
    int products_ = 0;
};

} // namespace Road1
