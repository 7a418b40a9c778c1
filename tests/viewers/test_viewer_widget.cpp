// The image viewer driven headless: renders into its image, overlays and
// view operations, checked on the pixels.

#include <cmath>
#include <functional>
#include <random>
#include <limits>
#include <vector>

#include <QImage>
#include <QPixmap>
#include <QtGlobal>
#include <gtest/gtest.h>

#include "viewers/QtPrinters.h"

#include "resources/Resources.h"
#include "viewers/ViewerWidget.h"

namespace {

// Collects Qt warnings while alive (painting on a null image would raise
// some).
class MessageCatcher {
public:
    MessageCatcher()
    {
        messages().clear();
        previous_ = qInstallMessageHandler(&MessageCatcher::handle);
    }
    ~MessageCatcher() { qInstallMessageHandler(previous_); }
    static QStringList& messages()
    {
        static QStringList list;
        return list;
    }

private:
    static void handle(QtMsgType, const QMessageLogContext&, const QString& text) { messages().append(text); }
    QtMessageHandler previous_ = nullptr;
};

class ViewerWidgetTest : public testing::Test {
protected:
    void SetUp() override { Fenlark::initResources(); }

    // A viewer whose scroll area shows exactly width x height image pixels.
    static void setViewport(UI::ViewerWidget& viewer, int width, int height)
    {
        viewer.viewportSize = QSize(width + 10, height + 10);
    }

    UI::ViewerWidget viewer{0, 0, "viewerWidgetMain", 0};
};

QRgb pixel(const UI::ViewerWidget& viewer, int x, int y)
{
    return viewer.image->pixel(x, y);
}

int countPixels(const QImage& image, QRect area, QRgb colour)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += image.pixel(x, y) == colour ? 1 : 0;
    return n;
}

} // namespace

TEST_F(ViewerWidgetTest, StartsEmptyAtZoomOne)
{
    EXPECT_EQ(viewer.name, "viewerWidgetMain");
    EXPECT_EQ(viewer.side, 0);
    EXPECT_EQ(viewer.zoom, 1.0);
    EXPECT_EQ(viewer.zoomIndex, 9);
    EXPECT_EQ(viewer.origin, QPoint(0, 0));
    EXPECT_EQ(viewer.lastMousePos, QPoint(-1, -1));
    EXPECT_FALSE(viewer.dragging);
    EXPECT_TRUE(viewer.isEmpty());
    EXPECT_TRUE(viewer.testAttribute(Qt::WA_StaticContents));
    EXPECT_TRUE(viewer.testAttribute(Qt::WA_MouseTracking));
    EXPECT_EQ(viewer.zoomTable[9], 1.0);
}

TEST_F(ViewerWidgetTest, GreyRenderConvertsAndClampsSamples)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<float> data{0.0f, 0.5f, 1.0f, 1.01f, -0.3f, nan};
    setViewport(viewer, 100, 100);
    viewer.render(3, 2, data.data(), nullptr, nullptr, false);
    ASSERT_EQ(viewer.image->size(), QSize(3, 2));
    EXPECT_EQ(viewer.image->format(), QImage::Format_ARGB32);
    EXPECT_EQ(viewer.imageWidth, 3);
    EXPECT_EQ(viewer.imageHeight, 2);
    EXPECT_EQ(viewer.imagePixelCount, 6);
    EXPECT_EQ(viewer.visibleEnd, QPoint(3, 2));
    EXPECT_EQ(viewer.visibleSize, QSize(3, 2));
    const int expected[6] = {0, 128, 255, 255, 0, 0};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(pixel(viewer, i % 3, i / 3), qRgb(expected[i], expected[i], expected[i])) << "sample " << i;
    EXPECT_EQ(viewer.size(), QSize(3, 2)) << "the widget takes the image size";
}

TEST_F(ViewerWidgetTest, ColourRenderTakesRedGreenBlueFromChannelsZeroOneTwo)
{
    const std::vector<float> c0{1.0f, 0.0f}, c1{0.0f, 0.5f}, c2{0.2f, 1.0f};
    setViewport(viewer, 100, 100);
    viewer.render(2, 1, c0.data(), c1.data(), c2.data(), false);
    EXPECT_EQ(pixel(viewer, 0, 0), qRgba(255, 0, 51, 255));
    EXPECT_EQ(pixel(viewer, 1, 0), qRgba(0, 128, 255, 255));

    // A lone second channel (no third) is drawn grey instead of being read
    // through a null pointer.
    viewer.render(2, 1, c0.data(), c1.data(), nullptr, false);
    EXPECT_EQ(pixel(viewer, 0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(pixel(viewer, 1, 0), qRgb(0, 0, 0));
}

TEST_F(ViewerWidgetTest, SamplesNearestNeighbourAtZoomTwoAndHalf)
{
    const int w = 8, h = 6;
    std::vector<float> data(w * h);
    for (int i = 0; i < w * h; ++i)
        data[i] = static_cast<float>(i) / 255.0f; // byte = index
    setViewport(viewer, 1000, 1000);

    viewer.zoom = 2.0;
    viewer.zoomIndex = 10;
    viewer.render(w, h, data.data(), nullptr, nullptr, false);
    ASSERT_EQ(viewer.image->size(), QSize(16, 12));
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x)
            ASSERT_EQ(qRed(pixel(viewer, x, y)), (y / 2) * w + x / 2) << x << "," << y;

    viewer.zoom = 0.5;
    viewer.zoomIndex = 7;
    viewer.render(w, h, data.data(), nullptr, nullptr, false);
    ASSERT_EQ(viewer.image->size(), QSize(4, 3));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(qRed(pixel(viewer, x, y)), (2 * y) * w + 2 * x) << x << "," << y;

    // With an origin, the image starts there.
    viewer.zoom = 1.0;
    viewer.zoomIndex = 9;
    viewer.origin = QPoint(5, 4);
    viewer.render(w, h, data.data(), nullptr, nullptr, false);
    ASSERT_EQ(viewer.image->size(), QSize(3, 2));
    EXPECT_EQ(qRed(pixel(viewer, 0, 0)), 4 * w + 5);
    EXPECT_EQ(qRed(pixel(viewer, 2, 1)), 5 * w + 7);
}

TEST_F(ViewerWidgetTest, WindowRenderShowsTheWindowInPlaceAndWhiteAround)
{
    // A 300 x 200 window at (600, 400) of a 1000 x 800 grid; window sample
    // (x, y) has byte x % 200 (never 255).
    const QPoint windowOrigin(600, 400);
    const QSize windowSize(300, 200);
    std::vector<float> window(300 * 200);
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 300; ++x)
            window[y * 300 + x] = static_cast<float>(x % 200) / 255.0f;
    setViewport(viewer, 1000, 800);
    viewer.render(1000, 800, window.data(), nullptr, nullptr, false, windowOrigin, windowSize);
    ASSERT_EQ(viewer.image->size(), QSize(1000, 800));
    const QRgb white = qRgb(255, 255, 255);
    EXPECT_EQ(pixel(viewer, 599, 400), white);
    EXPECT_EQ(pixel(viewer, 600, 399), white);
    EXPECT_EQ(pixel(viewer, 900, 599), white);
    EXPECT_EQ(pixel(viewer, 899, 600), white);
    EXPECT_EQ(pixel(viewer, 0, 0), white);
    EXPECT_EQ(pixel(viewer, 600, 400), qRgb(0, 0, 0));
    EXPECT_EQ(pixel(viewer, 650, 450), qRgb(50, 50, 50));
    EXPECT_EQ(pixel(viewer, 899, 599), qRgb(99, 99, 99));
    EXPECT_EQ(countPixels(*viewer.image, QRect(0, 0, 1000, 800), white), 1000 * 800 - 300 * 200);

    // Colour window: every used channel is white outside.
    std::vector<float> zeros(300 * 200, 0.0f);
    viewer.render(1000, 800, zeros.data(), zeros.data(), zeros.data(), false, windowOrigin, windowSize);
    EXPECT_EQ(pixel(viewer, 100, 100), white);
    EXPECT_EQ(pixel(viewer, 700, 500), qRgb(0, 0, 0));
}

TEST_F(ViewerWidgetTest, OriginPastTheEndOrNoViewportGivesAnEmptyImage)
{
    std::vector<float> data(50 * 40, 0.5f);
    // No viewport size yet.
    viewer.render(50, 40, data.data(), nullptr, nullptr, true);
    EXPECT_TRUE(viewer.isEmpty());
    EXPECT_EQ(viewer.imagePixelCount, 0);

    setViewport(viewer, 100, 100);
    viewer.origin = QPoint(60, 10);
    viewer.render(50, 40, data.data(), nullptr, nullptr, true);
    EXPECT_TRUE(viewer.isEmpty());
    EXPECT_EQ(viewer.imageWidth, 0);
    EXPECT_EQ(viewer.imageHeight, 0);
    EXPECT_EQ(viewer.visibleSize, QSize(0, 30));

    // Empty data, even with an origin written below 0.
    viewer.origin = QPoint(-5, -5);
    viewer.render(0, 0, data.data(), nullptr, nullptr, true);
    EXPECT_TRUE(viewer.isEmpty());
    // An origin below 0 never reads before the data.
    viewer.render(50, 40, data.data(), nullptr, nullptr, false);
    EXPECT_EQ(pixel(viewer, 0, 0), qRgb(128, 128, 128));

    // Back in range, the next render draws again.
    viewer.origin = QPoint(10, 10);
    viewer.render(50, 40, data.data(), nullptr, nullptr, false);
    EXPECT_EQ(viewer.image->size(), QSize(40, 30));
    EXPECT_EQ(pixel(viewer, 39, 29), qRgb(128, 128, 128));
}

TEST_F(ViewerWidgetTest, ColourRenderAfterAGreyRenderOfAnotherSize)
{
    // A small colour render, a large grey one, then a large colour one: each
    // fills the whole image from its own channels.
    std::vector<float> big(400 * 300, 0.25f), c1(400 * 300, 0.5f), c2(400 * 300, 1.0f);
    setViewport(viewer, 20, 10);
    viewer.render(400, 300, big.data(), c1.data(), c2.data(), false);
    EXPECT_EQ(viewer.image->size(), QSize(20, 10));
    setViewport(viewer, 400, 300);
    viewer.render(400, 300, big.data(), nullptr, nullptr, false);
    viewer.render(400, 300, big.data(), c1.data(), c2.data(), false);
    ASSERT_EQ(viewer.image->size(), QSize(400, 300));
    EXPECT_EQ(pixel(viewer, 399, 299), qRgb(64, 128, 255));
}

TEST_F(ViewerWidgetTest, ThreeBandImageWithScaleBarAndOverlay)
{
    const int w = 400, h = 300;
    std::vector<float> red(w * h, 1.0f), green(w * h, 0.5f), blue(w * h, 0.0f);
    setViewport(viewer, w, h);
    viewer.render(w, h, red.data(), green.data(), blue.data(), true);
    ASSERT_EQ(viewer.image->size(), QSize(w, h));
    const QImage& image = *viewer.image;
    // FENLARK_DUMP_VIEW=<file.png> keeps a screenshot of the rendered view.
    if (const QByteArray dump = qgetenv("FENLARK_DUMP_VIEW"); !dump.isEmpty())
        image.save(QString::fromLocal8Bit(dump));
    const QRgb background = qRgb(255, 128, 0);
    const QRgb white = qRgb(255, 255, 255);
    EXPECT_EQ(image.pixel(10, 10), background);

    // The bar's box, (W - b - 15, H - 40) size (b + 10) x 30 with b = 200,
    // is the background under half-transparent black.
    const int b = 200;
    const QRect box(w - b - 15, h - 40, b + 10, 30);
    const QRgb shaded = image.pixel(box.left() + 2, box.top() + 2);
    EXPECT_NEAR(qRed(shaded), 128, 2);
    EXPECT_NEAR(qGreen(shaded), 64, 2);
    EXPECT_EQ(qBlue(shaded), 0);
    EXPECT_EQ(image.pixel(box.left() - 1, box.top() + 2), background) << "nothing left of the box";

    // The white bar along y = H - 15 and its two ticks.
    EXPECT_GE(countPixels(image, QRect(w - b - 10, h - 16, b + 1, 2), white), b);
    EXPECT_GE(countPixels(image, QRect(w - b - 11, h - 35, 2, 20), white), 19);
    EXPECT_GE(countPixels(image, QRect(w - 11, h - 35, 2, 20), white), 19);
    // The text "2.0km" between the ticks, above the bar (antialiased: count
    // light pixels; the shaded box has green near 64).
    int light = 0;
    for (int y = h - 38; y < h - 18; ++y)
        for (int x = w - b - 5; x < w - 15; ++x)
            light += qGreen(image.pixel(x, y)) > 160 ? 1 : 0;
    EXPECT_GT(light, 20);
    // The north arrow left of the bar.
    EXPECT_GT(countPixels(image, QRect(w - b - 50, h - 45, 30, 40), white), 20);

    // An open polyline overlay.
    viewer.drawPolyline({{20, 20}, {100, 20}, {100, 60}}, QColor(Qt::blue), 3);
    EXPECT_EQ(image.pixel(60, 20), qRgb(0, 0, 255));
    EXPECT_EQ(image.pixel(100, 40), qRgb(0, 0, 255));
    EXPECT_EQ(image.pixel(60, 40), background);

    // Points are discs of radius width.
    viewer.drawPoints({{200, 100}}, QColor(Qt::green), 4);
    EXPECT_EQ(image.pixel(200, 100), qRgb(0, 255, 0));
    EXPECT_EQ(image.pixel(200, 104), qRgb(0, 255, 0));
    EXPECT_EQ(image.pixel(200, 112), background);
}

TEST_F(ViewerWidgetTest, OpenPolylineLeavesNoLineAlongTheBorderButAClosedCurveDoes)
{
    std::vector<float> white(100 * 100, 1.0f);
    setViewport(viewer, 100, 100);
    const QRgb red = qRgb(255, 0, 0);

    viewer.render(100, 100, white.data(), nullptr, nullptr, false);
    viewer.drawPolyline({{10, 50}, {150, 50}, {150, 70}, {10, 70}}, QColor(Qt::red), 1);
    EXPECT_EQ(viewer.image->pixel(50, 50), red);
    EXPECT_EQ(viewer.image->pixel(50, 70), red);
    EXPECT_EQ(countPixels(*viewer.image, QRect(97, 53, 3, 15), red), 0) << "no false line along the border";

    viewer.render(100, 100, white.data(), nullptr, nullptr, false);
    viewer.drawPolyline({{10, 50}, {150, 50}, {150, 70}, {10, 70}, {10, 50}}, QColor(Qt::red), 1);
    EXPECT_EQ(viewer.image->pixel(99, 60), red) << "a closed curve is clipped as a polygon";
    EXPECT_EQ(viewer.image->pixel(10, 60), red);

    // Entirely outside: nothing drawn.
    viewer.render(100, 100, white.data(), nullptr, nullptr, false);
    viewer.drawPolyline({{-10, -10}, {-50, 200}, {300, 300}}, QColor(Qt::red), 3);
    EXPECT_EQ(countPixels(*viewer.image, QRect(0, 0, 100, 100), red), 0);
}

TEST_F(ViewerWidgetTest, ClearEmptiesAndDrawingOnTheEmptyImageIsQuiet)
{
    std::vector<float> data(30 * 20, 0.5f);
    setViewport(viewer, 30, 20);
    viewer.render(30, 20, data.data(), nullptr, nullptr, true);
    EXPECT_FALSE(viewer.isEmpty());
    EXPECT_EQ(viewer.size(), QSize(30, 20));
    EXPECT_EQ(viewer.minimumSize(), QSize(30, 20));
    EXPECT_EQ(viewer.maximumSize(), QSize(30, 20));
    EXPECT_NE(viewer.imageBits, nullptr);

    viewer.clear();
    EXPECT_TRUE(viewer.isEmpty());
    EXPECT_EQ(viewer.size(), QSize(0, 0));
    EXPECT_EQ(viewer.maximumSize(), QSize(0, 0));
    EXPECT_EQ(viewer.imageBits, nullptr);

    MessageCatcher catcher;
    viewer.drawPoints({{1, 1}}, Qt::red, 2);
    viewer.drawMarks({{1, 1}}, Qt::red, 2);
    viewer.drawPolyline({{1, 1}, {5, 5}}, Qt::red, 2);
    viewer.drawPolyline({{1, 1}, {5, 5}, {1, 1}}, Qt::red, 2);
    viewer.drawScaleBar();
    QList<QPointF> clipped{{1, 1}};
    viewer.clipPolyline({{1, 1}, {5, 5}}, clipped);
    EXPECT_TRUE(clipped.isEmpty());
    EXPECT_TRUE(MessageCatcher::messages().isEmpty()) << MessageCatcher::messages().join("\n").toStdString();
    EXPECT_TRUE(viewer.isEmpty());
}

TEST_F(ViewerWidgetTest, ViewOperations)
{
    viewer.zoomStep(QPointF(100, 50), +1);
    EXPECT_EQ(viewer.zoom, 2.0);
    EXPECT_EQ(viewer.zoomIndex, 10);
    EXPECT_EQ(viewer.origin, QPoint(50, 25));

    UI::ViewerWidget tools(0, 1, "viewerWidgetToolsFeature", 0);
    tools.copyViewState(viewer);
    EXPECT_EQ(tools.zoom, 2.0);
    EXPECT_EQ(tools.zoomIndex, 10);
    EXPECT_EQ(tools.origin, QPoint(50, 25));

    // Centring uses the size of the last render.
    std::vector<float> data(2000 * 2000, 0.0f);
    setViewport(viewer, 400, 300);
    viewer.render(2000, 2000, data.data(), nullptr, nullptr, false);
    viewer.centerOn(1000, 800);
    EXPECT_EQ(viewer.origin, QPoint(900, 725));

    viewer.lastMousePos = QPoint(10, 10);
    viewer.pan(2000, 2000, QPoint(30, 10));
    EXPECT_EQ(viewer.origin, QPoint(890, 725));
    EXPECT_EQ(viewer.lastMousePos, QPoint(30, 10));

    viewer.resetView();
    EXPECT_EQ(viewer.zoom, 1.0);
    EXPECT_EQ(viewer.zoomIndex, 9);
    EXPECT_EQ(viewer.origin, QPoint(0, 0));
    EXPECT_EQ(viewer.lastMousePos, QPoint(-1, -1));

    for (int i = 0; i < 30; ++i)
        viewer.zoomStep(QPointF(0, 0), -1);
    EXPECT_EQ(viewer.zoomIndex, 0);
    EXPECT_EQ(viewer.zoom, 0.1);
}

TEST_F(ViewerWidgetTest, GroundPixelSizeOnlyTakesValidSizes)
{
    EXPECT_EQ(viewer.groundPixelSize(), 10.0);
    viewer.setGroundPixelSize(0.5);
    EXPECT_EQ(viewer.groundPixelSize(), 0.5);
    viewer.setGroundPixelSize(0.0);
    EXPECT_EQ(viewer.groundPixelSize(), 10.0);
    viewer.setGroundPixelSize(std::numeric_limits<double>::infinity());
    EXPECT_EQ(viewer.groundPixelSize(), 10.0);
}

TEST_F(ViewerWidgetTest, PaintEventShowsTheImage)
{
    const std::vector<float> c0{1.0f, 0.0f, 0.0f, 1.0f}, c1{0.0f, 1.0f, 0.0f, 1.0f}, c2{0.0f, 0.0f, 1.0f, 1.0f};
    viewer.zoom = 10.0;
    viewer.zoomIndex = 18;
    setViewport(viewer, 40, 20);
    viewer.render(4, 1, c0.data(), c1.data(), c2.data(), false);
    ASSERT_EQ(viewer.image->size(), QSize(40, 10));
    const QImage shown = viewer.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(shown.size(), QSize(40, 10));
    EXPECT_EQ(shown.pixel(5, 5), qRgb(255, 0, 0));
    EXPECT_EQ(shown.pixel(15, 5), qRgb(0, 255, 0));
    EXPECT_EQ(shown.pixel(25, 5), qRgb(0, 0, 255));
    EXPECT_EQ(shown.pixel(35, 5), qRgb(255, 255, 255));
}

// The overlay layer of a pan drag holds the same drawing as the image would,
// shifted by how far the view moved, and refuses when it cannot show it.
TEST_F(ViewerWidgetTest, OverlayLayerShowsTheDirectDrawingShifted)
{
    std::vector<float> grey(400 * 300);
    for (std::size_t i = 0; i < grey.size(); ++i)
        grey[i] = static_cast<float>(i % 251) / 250.0f;
    setViewport(viewer, 200, 150);
    // Overlays in data pixels, converted for the viewer's view as the main
    // window does; opaque and translucent, discs and polylines.
    const auto drawOverlays = [&] {
        const auto at = [&](double x, double y) {
            return QPointF((x - viewer.origin.x()) * viewer.zoom, (y - viewer.origin.y()) * viewer.zoom);
        };
        viewer.drawPolyline({at(60, 40), at(180, 40), at(180, 120), at(60, 120), at(60, 40)}, QColor(0, 200, 255), 2);
        viewer.drawPolyline({at(70, 50), at(150, 90), at(120, 130)}, QColor(255, 255, 0, 128), 3);
        viewer.drawPoints({at(100, 100)}, QColor(Qt::red), 2);
    };

    const auto directAt = [&](QPoint origin) {
        viewer.origin = origin;
        viewer.render(400, 300, grey.data(), nullptr, nullptr, true);
        viewer.dropOverlayLayer();
        drawOverlays();
        return viewer.image->copy();
    };

    // Drawn into the layer at (20, 10), shown at (20, 10) and after moves
    // of the view in both directions: the pixels of the direct drawing.
    viewer.origin = QPoint(20, 10);
    viewer.render(400, 300, grey.data(), nullptr, nullptr, true);
    viewer.beginOverlayLayer(64);
    drawOverlays();
    viewer.endOverlayLayer();
    for (const QPoint origin : {QPoint(20, 10), QPoint(25, 13), QPoint(0, 0), QPoint(60, 40)}) {
        const QImage direct = directAt(origin);
        viewer.origin = origin;
        viewer.render(400, 300, grey.data(), nullptr, nullptr, true);
        // directAt dropped the layer; draw it again at the drag's start.
        viewer.origin = QPoint(20, 10);
        viewer.render(400, 300, grey.data(), nullptr, nullptr, true);
        viewer.beginOverlayLayer(64);
        drawOverlays();
        viewer.endOverlayLayer();
        viewer.origin = origin;
        viewer.render(400, 300, grey.data(), nullptr, nullptr, true);
        ASSERT_TRUE(viewer.showOverlayLayer()) << origin.x() << "," << origin.y();
        EXPECT_EQ(*viewer.image, direct) << origin.x() << "," << origin.y();
    }

    // Beyond the margin, after a zoom step or without a layer: refused, and
    // the image is left as rendered.
    viewer.origin = QPoint(90, 10);
    viewer.render(400, 300, grey.data(), nullptr, nullptr, true);
    const QImage plain = viewer.image->copy();
    EXPECT_FALSE(viewer.showOverlayLayer());
    EXPECT_EQ(*viewer.image, plain);
    viewer.origin = QPoint(20, 10);
    viewer.zoomStep(QPointF(0, 0), 1);
    viewer.origin = QPoint(20, 10);
    viewer.render(400, 300, grey.data(), nullptr, nullptr, true);
    EXPECT_FALSE(viewer.showOverlayLayer());
    viewer.dropOverlayLayer();
    EXPECT_FALSE(viewer.hasOverlayLayer());
    EXPECT_FALSE(viewer.showOverlayLayer());
}

// A batch of many overlays is painted in strips at the same time; its pixels
// are those of painting the shapes one by one.
TEST_F(ViewerWidgetTest, OverlayBatchPaintsTheSamePixelsAsOneByOne)
{
    std::vector<float> grey(700 * 500, 0.4f);
    setViewport(viewer, 640, 480);
    struct Shape {
        QList<QPointF> points;
        QColor colour;
        int width;
        bool discs;
    };
    // Dense curves partly outside the image, closed and open, opaque and
    // translucent, of several widths, and discs on top.
    std::mt19937 gen(5);
    std::uniform_real_distribution<double> centre(-60.0, 700.0), radius(5.0, 200.0), unit(0.0, 1.0);
    std::vector<Shape> shapes;
    for (int c = 0; c < 40; ++c) {
        Shape shape{{}, QColor(c * 6, 255 - c * 5, (c * 37) % 256, c % 3 == 0 ? 110 : 255), 2 + c % 4, false};
        const double x0 = centre(gen), y0 = centre(gen), r = radius(gen);
        const bool closed = c % 2 == 0;
        for (int k = 0; k < 600; ++k) {
            const double t = 2.0 * M_PI * k / (closed ? 599.0 : 150.0);
            shape.points.append(closed ? QPointF(x0 + r * std::cos(t), y0 + 0.6 * r * std::sin(t))
                                       : QPointF(x0 + k * r / 300.0, y0 + 0.3 * r * std::sin(t) + unit(gen)));
        }
        shapes.push_back(shape);
    }
    shapes.push_back({{QPointF(100, 100), QPointF(320, 241), QPointF(639, 479)}, QColor(Qt::red), 3, true});

    const auto paintAll = [&](bool batched) {
        viewer.render(700, 500, grey.data(), nullptr, nullptr, true);
        if (batched)
            viewer.beginOverlayBatch();
        for (const Shape& shape : shapes) {
            if (shape.discs)
                viewer.drawPoints(shape.points, shape.colour, shape.width);
            else
                viewer.drawPolyline(shape.points, shape.colour, shape.width);
        }
        if (batched)
            viewer.endOverlayBatch();
        return viewer.image->copy();
    };
    const QImage oneByOne = paintAll(false);
    const QImage batched = paintAll(true);
    ASSERT_EQ(batched.size(), QSize(640, 480));
    EXPECT_EQ(batched, oneByOne);

    // Into the layer of a drag as well.
    viewer.beginOverlayLayer(32);
    viewer.beginOverlayBatch();
    for (const Shape& shape : shapes)
        viewer.drawPolyline(shape.points, shape.colour, shape.width);
    viewer.endOverlayBatch();
    viewer.endOverlayLayer();
    viewer.render(700, 500, grey.data(), nullptr, nullptr, true);
    ASSERT_TRUE(viewer.showOverlayLayer());
    const QImage fromLayer = viewer.image->copy();
    viewer.render(700, 500, grey.data(), nullptr, nullptr, true);
    viewer.dropOverlayLayer();
    for (const Shape& shape : shapes)
        viewer.drawPolyline(shape.points, shape.colour, shape.width);
    // The layer reaches past the image, so curves leaving it are clipped at
    // the layer's edge instead of being joined along the image border: the
    // inside of the image is compared.
    const QRect inside(8, 8, 624, 464);
    EXPECT_EQ(fromLayer.copy(inside), viewer.image->copy(inside));
}

// A drag's layer of many curves is painted part by part as the view moves
// over it, and a later drag takes it over while its curves are the same:
// every frame has the pixels of drawing the curves straight into the image.
TEST_F(ViewerWidgetTest, LayerPaintedPartByPartLooksLikeTheDirectDrawing)
{
    std::vector<float> grey(700 * 500);
    for (std::size_t i = 0; i < grey.size(); ++i)
        grey[i] = static_cast<float>(i % 239) / 238.0f;
    setViewport(viewer, 320, 240);
    // Opaque closed and open curves in data pixels 160..260 x 110..190,
    // inside the image at every origin below.
    std::mt19937 gen(3);
    std::uniform_real_distribution<double> cx(185.0, 235.0), cy(130.0, 170.0), radius(5.0, 20.0);
    struct Curve {
        std::vector<QPointF> points;
        QColor colour;
        int width;
    };
    std::vector<Curve> curves;
    for (int c = 0; c < 16; ++c) {
        Curve curve{{}, QColor(c * 15, 255 - c * 9, (c * 53) % 256), 2 + c % 2};
        const double x0 = cx(gen), y0 = cy(gen), r = radius(gen);
        const bool closed = c % 2 == 0;
        for (int k = 0; k < 500; ++k) {
            const double t = 2.0 * M_PI * k / (closed ? 499.0 : 100.0);
            curve.points.push_back(closed ? QPointF(x0 + r * std::cos(t), y0 + 0.7 * r * std::sin(t))
                                          : QPointF(x0 - 20.0 + k * 0.08, y0 + 0.3 * r * std::sin(t)));
        }
        if (closed)
            curve.points.back() = curve.points.front();
        curves.push_back(curve);
    }
    const auto drawCurves = [&] {
        const QPoint at = viewer.overlayOrigin();
        viewer.beginOverlayBatch();
        for (const Curve& curve : curves) {
            QList<QPointF> points;
            for (const QPointF& p : curve.points)
                points.append((p - QPointF(at)) * viewer.zoom);
            viewer.drawPolyline(points, curve.colour, curve.width);
        }
        viewer.endOverlayBatch();
    };
    const auto renderAt = [&](QPoint origin) {
        viewer.origin = origin;
        viewer.render(700, 500, grey.data(), nullptr, nullptr, true);
    };

    for (const QPoint origin : {QPoint(100, 60), QPoint(104, 63), QPoint(96, 57), QPoint(130, 60), QPoint(100, 90),
                                QPoint(70, 40), QPoint(101, 61)}) {
        renderAt(origin);
        viewer.dropOverlayLayer();
        drawCurves();
        const QImage direct = viewer.image->copy();

        // A drag starting here: the layer drawn at (100, 60) serves.
        renderAt(origin);
        viewer.beginOverlayLayer(48);
        drawCurves();
        viewer.endOverlayLayer();
        ASSERT_TRUE(viewer.showOverlayLayer()) << origin.x() << "," << origin.y();
        EXPECT_EQ(*viewer.image, direct) << origin.x() << "," << origin.y();
        // Its next pan step.
        renderAt(origin + QPoint(3, -2));
        ASSERT_TRUE(viewer.showOverlayLayer()) << origin.x() << "," << origin.y();
        const QImage stepped = viewer.image->copy();
        viewer.dropOverlayLayer();
        drawCurves();
        EXPECT_EQ(stepped, *viewer.image) << origin.x() << "," << origin.y() << " stepped";
    }
}

// A large batch painted over the pixels of the last one is painted again
// only where its shapes differ: the image is that of painting the shapes one
// by one, whatever changed.
TEST_F(ViewerWidgetTest, ABatchPaintedAgainLooksLikeOnePaintedAfresh)
{
    std::vector<float> grey(700 * 500);
    for (std::size_t i = 0; i < grey.size(); ++i)
        grey[i] = static_cast<float>(i % 211) / 210.0f;
    std::vector<float> other(grey.rbegin(), grey.rend());
    setViewport(viewer, 480, 360);
    struct Shape {
        QList<QPointF> points;
        QColor colour;
        int width;
    };
    std::mt19937 gen(9);
    std::uniform_real_distribution<double> centre(-40.0, 520.0), radius(10.0, 120.0);
    std::vector<Shape> shapes;
    for (int c = 0; c < 24; ++c) {
        Shape shape{{}, QColor(c * 10, 250 - c * 8, (c * 41) % 256, c % 5 == 0 ? 100 : 255), 2 + c % 3};
        const double x0 = centre(gen), y0 = centre(gen), r = radius(gen);
        for (int k = 0; k < 400; ++k) {
            const double t = 2.0 * M_PI * k / 399.0;
            shape.points.append(QPointF(x0 + r * std::cos(t), y0 + 0.8 * r * std::sin(t)));
        }
        shape.points.back() = shape.points.front();
        shapes.push_back(shape);
    }

    const auto paint = [](UI::ViewerWidget& target, const std::vector<float>& data, const std::vector<Shape>& list,
                          bool batched) {
        target.render(700, 500, data.data(), nullptr, nullptr, true);
        if (batched)
            target.beginOverlayBatch();
        for (const Shape& shape : list)
            target.drawPolyline(shape.points, shape.colour, shape.width);
        if (batched)
            target.endOverlayBatch();
    };
    struct Row {
        const char* change;
        std::function<void(std::vector<Shape>&)> apply;
        bool otherPixels = false;
    };
    const std::vector<Row> rows{
        {"nothing", [](std::vector<Shape>&) {}},
        {"a colour", [](std::vector<Shape>& s) { s[7].colour = QColor(255, 0, 255); }},
        {"a translucent colour", [](std::vector<Shape>& s) { s[10].colour = QColor(0, 0, 0, 90); }},
        {"a width", [](std::vector<Shape>& s) { s[3].width = 5; }},
        {"a place", [](std::vector<Shape>& s) { for (QPointF& p : s[12].points) p += QPointF(9.5, -4.25); }},
        {"the last shape gone", [](std::vector<Shape>& s) { s.pop_back(); }},
        {"a shape more", [](std::vector<Shape>& s) { s.push_back({s[2].points, QColor(255, 255, 0), 3}); }},
        {"a shape gone in between", [](std::vector<Shape>& s) { s.erase(s.begin() + 5); }},
        {"a thin pen", [](std::vector<Shape>& s) { s[4].width = 1; }},
        {"the pixels under them", [](std::vector<Shape>&) {}, true},
    };
    for (const Row& row : rows) {
        std::vector<Shape> changed = shapes;
        row.apply(changed);
        paint(viewer, grey, shapes, true);
        paint(viewer, row.otherPixels ? other : grey, changed, true);
        UI::ViewerWidget fresh(0, 0, "viewerWidgetMain", 0);
        setViewport(fresh, 480, 360);
        paint(fresh, row.otherPixels ? other : grey, changed, false);
        EXPECT_EQ(*viewer.image, *fresh.image) << row.change;
    }
}
