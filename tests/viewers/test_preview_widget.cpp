// The preview map: rectangles placed on the overview picture.

#include <cstdint>
#include <vector>

#include <QImage>
#include <QtGlobal>
#include <gtest/gtest.h>

#include "viewers/QtPrinters.h"

#include "viewers/PreviewWidget.h"
#include "viewers/ViewerWidget.h"

namespace {

using Planes = std::vector<std::vector<std::uint8_t>>;

// Three planes of one colour.
Planes uniformPlanes(int width, int height, std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    const std::size_t n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    return {std::vector<std::uint8_t>(n, r), std::vector<std::uint8_t>(n, g), std::vector<std::uint8_t>(n, b)};
}

int countPixels(const QImage& image, QRgb colour)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += image.pixel(x, y) == colour ? 1 : 0;
    return n;
}

} // namespace

TEST(PreviewWidget, NothingIsDrawnBeforeTheFirstImage)
{
    UI::PreviewWidget preview;
    EXPECT_EQ(preview.imageSize, QSize(-1, -1));
    EXPECT_TRUE(preview.testAttribute(Qt::WA_StaticContents));
    preview.drawViewRect(10980, 10980, QPoint(0, 0), QPoint(1000, 700), QPoint(0, 0));
    EXPECT_EQ(preview.scaleX, 0.0);
    EXPECT_EQ(preview.scaleY, 0.0);
    EXPECT_TRUE(preview.image->isNull());
}

// The picture is shown as soon as it is resized, and its colours are drawn
// into it only by the next drawViewRect, which waits while a task runs: until
// then it shows the widget's background, never the memory it was given. The
// viewer's image starts the same way.
TEST(PreviewWidget, ANewPictureShowsTheBackgroundUntilItIsDrawn)
{
    UI::PreviewWidget preview;
    preview.setImage(uniformPlanes(343, 343, 10, 200, 30), 343, 343, 100, 100);
    ASSERT_EQ(preview.image->size(), QSize(343, 343));
    const QRgb background = preview.palette().color(preview.backgroundRole()).rgba();
    EXPECT_EQ(countPixels(*preview.image, background), 343 * 343);

    preview.drawViewRect(343, 343, QPoint(0, 0), QPoint(10, 10), QPoint(200, 200));
    EXPECT_GT(countPixels(*preview.image, qRgb(10, 200, 30)), 343 * 343 / 2);

    UI::ViewerWidget viewer(0, 0, "viewerWidgetMain", 0);
    viewer.resizeImage(QSize(640, 480));
    EXPECT_EQ(countPixels(*viewer.image, viewer.palette().color(viewer.backgroundRole()).rgba()), 640 * 480);
}

TEST(PreviewWidget, SetImageTakesTheColoursRowMajor)
{
    UI::PreviewWidget preview;
    Planes planes = uniformPlanes(4, 3, 0, 0, 0);
    for (std::size_t i = 0; i < 12; ++i) {
        planes[0][i] = static_cast<std::uint8_t>(i);
        planes[1][i] = static_cast<std::uint8_t>(100 + i);
        planes[2][i] = static_cast<std::uint8_t>(200 + i);
    }
    preview.setImage(planes, 4, 3, 60, 30);
    EXPECT_EQ(preview.imageSize, QSize(4, 3));
    EXPECT_EQ(preview.workAreaSize, QSize(60, 30));
    ASSERT_EQ(preview.pixels.size(), 12);
    EXPECT_EQ(preview.pixels[7], QColor(7, 107, 207));
    EXPECT_EQ(preview.size(), QSize(4, 3));

    // Rectangles far outside the picture leave every pixel as stored.
    preview.drawViewRect(100, 100, QPoint(90, 90), QPoint(99, 99), QPoint(90, 90));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) {
            const int i = y * 4 + x;
            EXPECT_EQ(preview.image->pixel(x, y), qRgb(i, 100 + i, 200 + i)) << x << "," << y;
        }
}

TEST(PreviewWidget, BadPlanesLeaveThePreviousPreview)
{
    UI::PreviewWidget preview;
    preview.setImage(uniformPlanes(5, 5, 1, 2, 3), 5, 5, 10, 10);
    const struct {
        const char* what;
        Planes planes;
        int width, height;
    } cases[] = {
        {"no planes", {}, 5, 5},
        {"two planes", {std::vector<std::uint8_t>(36), std::vector<std::uint8_t>(36)}, 6, 6},
        {"short plane", {std::vector<std::uint8_t>(36), std::vector<std::uint8_t>(35), std::vector<std::uint8_t>(36)},
         6, 6},
        {"zero width", uniformPlanes(6, 6, 9, 9, 9), 0, 6},
        {"negative height", uniformPlanes(6, 6, 9, 9, 9), 6, -1},
    };
    for (const auto& c : cases) {
        preview.setImage(c.planes, c.width, c.height, 99, 99);
        EXPECT_EQ(preview.imageSize, QSize(5, 5)) << c.what;
        EXPECT_EQ(preview.workAreaSize, QSize(10, 10)) << c.what;
        ASSERT_EQ(preview.pixels.size(), 25) << c.what;
        EXPECT_EQ(preview.pixels[24], QColor(1, 2, 3)) << c.what;
    }
    // Larger planes than needed are fine.
    preview.setImage(uniformPlanes(6, 6, 4, 5, 6), 5, 5, 20, 20);
    EXPECT_EQ(preview.pixels[0], QColor(4, 5, 6));
}

TEST(PreviewWidget, ViewRectangleOfATileAtZoomOne)
{
    // A 343 x 343 preview of a 10980 x 10980 tile; the main viewer shows
    // columns 0..999 and rows 0..699.
    UI::PreviewWidget preview;
    preview.setImage(uniformPlanes(343, 343, 10, 20, 30), 343, 343, 504, 504);
    preview.drawViewRect(10980, 10980, QPoint(0, 0), QPoint(1000, 700), QPoint(0, 0));
    EXPECT_DOUBLE_EQ(preview.scaleX, 343.0 / 10980.0);
    EXPECT_DOUBLE_EQ(preview.scaleY, 343.0 / 10980.0);
    EXPECT_EQ(preview.viewRectOrigin, QPoint(0, 0));
    EXPECT_EQ(preview.viewRectSize, QSize(30, 21));

    preview.drawViewRect(10980, 10980, QPoint(5000, 2000), QPoint(6000, 2700), QPoint(0, 0));
    EXPECT_EQ(preview.viewRectOrigin, QPoint(156, 62)); // 156.19 and 62.48 rounded
    EXPECT_EQ(preview.viewRectSize, QSize(30, 21));
}

TEST(PreviewWidget, RectanglesAreDrawnOnTopOfTheStoredColours)
{
    UI::PreviewWidget preview;
    const QRgb ground = qRgb(10, 20, 30);
    preview.setImage(uniformPlanes(100, 100, 10, 20, 30), 100, 100, 20, 20);
    // Data grid 1000 x 1000: 0.1 preview pixels per data pixel.
    preview.drawViewRect(1000, 1000, QPoint(500, 500), QPoint(800, 700), QPoint(100, 100));
    const QImage& image = *preview.image;
    // Working window at (10, 10), 2 x 2 interior + outline: red outline.
    EXPECT_EQ(image.pixel(10, 10), qRgb(255, 0, 0));
    // View rectangle at (50, 50) of size 29 x 19: blue outline, translucent fill.
    EXPECT_EQ(image.pixel(50, 50), qRgb(0, 0, 255));
    EXPECT_EQ(image.pixel(79, 69), qRgb(0, 0, 255));
    const QRgb fill = image.pixel(60, 60);
    EXPECT_NE(fill, ground);
    EXPECT_GT(qBlue(fill), 30);
    EXPECT_EQ(qAlpha(fill), 255);
    EXPECT_EQ(image.pixel(80, 70), ground);
    EXPECT_EQ(image.pixel(49, 49), ground);
}

TEST(PreviewWidget, SecondRectangleLeavesNoTraceOfTheFirst)
{
    UI::PreviewWidget preview;
    const QRgb ground = qRgb(10, 20, 30);
    preview.setImage(uniformPlanes(100, 100, 10, 20, 30), 100, 100, 0, 0);
    preview.drawViewRect(100, 100, QPoint(5, 5), QPoint(30, 30), QPoint(0, 0));
    const int firstUntouched = countPixels(*preview.image, ground);
    EXPECT_NE(preview.image->pixel(10, 10), ground);

    preview.drawViewRect(100, 100, QPoint(60, 60), QPoint(85, 85), QPoint(0, 0));
    EXPECT_EQ(preview.image->pixel(10, 10), ground);
    EXPECT_EQ(preview.image->pixel(5, 5), ground);
    EXPECT_EQ(preview.image->pixel(0, 0), ground) << "a 0 x 0 working window draws no rectangle";
    EXPECT_NE(preview.image->pixel(70, 70), ground);
    EXPECT_EQ(countPixels(*preview.image, ground), firstUntouched) << "same-size rectangle, same pixel count";
}

TEST(PreviewWidget, ClearAndEmptyDataAreHarmless)
{
    UI::PreviewWidget preview;
    preview.setImage(uniformPlanes(20, 10, 1, 2, 3), 20, 10, 4, 4);
    preview.drawViewRect(0, 0, QPoint(0, 0), QPoint(5, 5), QPoint(0, 0));
    EXPECT_EQ(preview.scaleX, 0.0) << "an empty grid never divides by zero";

    preview.clear();
    EXPECT_TRUE(preview.image->isNull());
    EXPECT_EQ(preview.size(), QSize(0, 0));
    EXPECT_EQ(preview.imageSize, QSize(20, 10)) << "the stored preview survives a clear";
    preview.drawViewRect(200, 100, QPoint(0, 0), QPoint(50, 50), QPoint(0, 0));
    EXPECT_TRUE(preview.image->isNull());
    EXPECT_DOUBLE_EQ(preview.scaleX, 0.1);

    preview.setImage(uniformPlanes(20, 10, 1, 2, 3), 20, 10, 4, 4);
    preview.drawViewRect(200, 100, QPoint(150, 50), QPoint(190, 90), QPoint(0, 0));
    EXPECT_EQ(preview.image->size(), QSize(20, 10));
    EXPECT_EQ(preview.image->pixel(10, 2), qRgb(1, 2, 3));
}
