// The tile map of the local archive browser: the tile table, the generated
// pictures, the hover test and the mouse on the real picker.

#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QSettings>
#include <gtest/gtest.h>

#include "acquisition/LocalLoader.h"
#include "acquisition/LocalLoaderMapPicker.h"
#include "acquisition/MapPickerTiles.h"
#include "app/test_dialogs.h"
#include "forms/LocalLoaderForm.h"
#include "resources/Resources.h"
#include "support/TestSupport.h"

namespace {

QImage resource(const char* name)
{
    Fenlark::initResources();
    return QImage(MapPictureCache::resourcePath(name));
}

QPoint centreOf(const MapPickerTile& tile)
{
    return {(tile.xFrom + tile.xTo) / 2, (tile.yFrom + tile.yTo) / 2};
}

} // namespace

TEST(MapPickerTable, RowsFollowTheAreasAndLieInsideThePictures)
{
    const auto& areas = MapPicker::areas();
    const QStringList names = {"Slovakia", "Bulgaria", "Norway - South", "Norway - Central", "Norway - North"};
    const QList<std::pair<int, int>> ranges = {{1, 11}, {12, 31}, {32, 54}, {55, 69}, {70, 92}};
    for (int area = 0; area < MapPicker::areaCount; ++area) {
        EXPECT_EQ(QString::fromLatin1(areas[area].name), names[area]);
        EXPECT_EQ(areas[area].firstTile, ranges[area].first);
        EXPECT_EQ(areas[area].lastTile, ranges[area].second);
    }
    for (int number = 1; number <= MapPicker::tileCount; ++number) {
        SCOPED_TRACE(number);
        const MapPickerTile& tile = *MapPicker::tile(number);
        EXPECT_EQ(tile.number, number);
        EXPECT_TRUE(areas[tile.area].firstTile <= number && number <= areas[tile.area].lastTile);
        EXPECT_TRUE(0 <= tile.xFrom && tile.xFrom < tile.xTo && tile.xTo <= 1353);
        EXPECT_TRUE(0 <= tile.yFrom && tile.yFrom < tile.yTo && tile.yTo <= 877);
        EXPECT_TRUE(tile.pointCount == 4 || tile.pointCount == 5);
        for (int i = 0; i < tile.pointCount; ++i) {
            EXPECT_TRUE(0 <= tile.outline[i].x && tile.outline[i].x <= 1353);
            EXPECT_TRUE(0 <= tile.outline[i].y && tile.outline[i].y <= 877);
        }
        // Every tile can be picked: the middle of its rectangle answers it.
        EXPECT_EQ(MapPicker::tileAt(tile.area, centreOf(tile).x(), centreOf(tile).y()), number);
    }
    EXPECT_EQ(MapPicker::tile(0), nullptr);
    EXPECT_EQ(MapPicker::tile(93), nullptr);

    // Reference rows stay as they were set.
    const MapPickerTile& first = *MapPicker::tile(1);
    EXPECT_EQ(QString(first.image), "CSK1");
    EXPECT_EQ(std::tuple(first.xFrom, first.xTo, first.yFrom, first.yTo), std::tuple(77, 273, 302, 523));
    const MapPickerTile& ninety = *MapPicker::tile(90);
    ASSERT_EQ(ninety.pointCount, 5);
    EXPECT_EQ(std::tuple(ninety.outline[0].x, ninety.outline[0].y, ninety.outline[4].x, ninety.outline[4].y),
              std::tuple(716.0, 17.0, 770.0, 176.0));
}

TEST(MapPickerTable, HoverTestAndTileNames)
{
    struct Hover {
        int area;
        QPoint point;
        int tile;
    };
    const QList<Hover> hovers = {
        {0, {100, 400}, 1},  {0, {465, 150}, 3},   {4, {908, 50}, 89}, {0, {77, 302}, 1},
        {0, {273, 523}, 1},  {0, {5, 5}, 0},       {1, {100, 100}, 12}, {5, {100, 400}, 0},
        {-1, {100, 400}, 0},
    };
    for (const Hover& h : hovers) {
        SCOPED_TRACE(testing::Message() << h.area << " " << h.point.x() << "," << h.point.y());
        EXPECT_EQ(MapPicker::tileAt(h.area, h.point.x(), h.point.y()), h.tile);
    }
    EXPECT_NE(MapPicker::tileAt(0, 274, 523), 1);

    const QList<std::pair<int, QString>> names = {{1, "33UXP"}, {20, "35TLH"}, {65, "33WVN"}, {78, "34WDB"},
                                                  {92, "34WED"}, {0, "Unselected"}, {93, "Unselected"},
                                                  {-1, "Unselected"}};
    for (const auto& [tile, name] : names)
        EXPECT_EQ(LocalLoader::tileName(tile), name) << tile;
    EXPECT_EQ(QString(MapPicker::tile(20)->image), "B20");
}

TEST(MapPictures, EveryPictureIsThereAndEachTileStandsOut)
{
    for (int area = 0; area < MapPicker::areaCount; ++area) {
        const MapPickerArea& range = MapPicker::areas()[area];
        const QImage initial = resource(range.initialImage);
        ASSERT_EQ(initial.size(), QSize(1354, 878)) << range.initialImage;
        for (int number = range.firstTile; number <= range.lastTile; ++number) {
            const MapPickerTile& tile = *MapPicker::tile(number);
            const QImage hover = resource(tile.image);
            ASSERT_EQ(hover.size(), QSize(1354, 878)) << tile.image;
            const QPoint centre = centreOf(tile);
            EXPECT_NE(hover.pixel(centre), initial.pixel(centre)) << tile.image;
        }
    }
}

TEST(MapPickerWidget, ShowsTheFirstAreaAtAFixedSize)
{
    LocalLoaderMapPicker picker;
    EXPECT_EQ(picker.objectName(), "LocalLoaderMapPicker");
    EXPECT_TRUE(picker.hasMouseTracking());
    EXPECT_TRUE(picker.testAttribute(Qt::WA_StaticContents));
    EXPECT_EQ(picker.image, resource("Cinit"));
    EXPECT_EQ(picker.size(), QSize(1354, 878));
    EXPECT_EQ(picker.minimumSize(), QSize(1354, 878));
    EXPECT_EQ(picker.maximumSize(), QSize(1354, 878));
    // It shows its picture unscaled.
    EXPECT_EQ(picker.grab().toImage().pixel(300, 700), picker.image.pixel(300, 700));
}

TEST(MapPictureCache, KeepsOneAreaAndRefusesUnknownPictures)
{
    MapPictureCache cache;
    const QImage first = cache.picture(0, 1);
    EXPECT_EQ(first, resource("CSK1"));
    EXPECT_EQ(cache.picture(0, 1).cacheKey(), first.cacheKey());
    EXPECT_EQ(cache.picture(1, 0), resource("Binit"));
    // Back in the first area the picture is read again.
    EXPECT_NE(cache.picture(0, 1).cacheKey(), first.cacheKey());
    EXPECT_TRUE(cache.picture(0, 12).isNull());
    EXPECT_TRUE(cache.picture(5, 0).isNull());
}

namespace {

class MapPickerMouse : public testing::Test {
protected:
    void SetUp() override
    {
        QSettings().setValue("localLoader/workingDirectory", QString::fromStdString(dir.path().string()));
        window = std::make_unique<LocalLoader>();
    }
    void TearDown() override
    {
        window.reset();
        QSettings().remove("localLoader/workingDirectory");
    }

    void send(QEvent::Type type, QPoint point, Qt::MouseButton button = Qt::NoButton)
    {
        QMouseEvent event(type, point, point, button, button, Qt::NoModifier);
        QApplication::sendEvent(window->mapPicker, &event);
    }
    void moveTo(QPoint point) { send(QEvent::MouseMove, point); }
    void click(QPoint point, Qt::MouseButton button = Qt::LeftButton)
    {
        moveTo(point);
        send(QEvent::MouseButtonPress, point, button);
    }
    const QImage& shown() const { return window->mapPicker->image; }

    TestSupport::TempDir dir;
    ShellTest::Dialogs dialogs;
    std::unique_ptr<LocalLoader> window;
};

} // namespace

TEST_F(MapPickerMouse, HoverChooseAndOutline)
{
    EXPECT_EQ(shown(), resource("Cinit"));
    EXPECT_EQ(window->selectedTile, 0);
    EXPECT_EQ(window->hoveredTile, 0);

    moveTo({100, 400});
    EXPECT_EQ(window->hoveredTile, 1);
    const QImage hover = resource("CSK1");
    EXPECT_EQ(shown(), hover);

    // A press of another button, or one over no tile, chooses nothing.
    send(QEvent::MouseButtonPress, {100, 400}, Qt::RightButton);
    EXPECT_EQ(window->selectedTile, 0);
    click({5, 5});
    EXPECT_EQ(window->selectedTile, 0);
    EXPECT_EQ(window->ui->labelSelectedArea->text(), "Unselected");
    EXPECT_EQ(shown(), resource("Cinit"));

    click({100, 400});
    EXPECT_EQ(window->selectedTile, 1);
    EXPECT_EQ(window->ui->labelSelectedArea->text(), "33UXP");
    // Inside tile 1's outline the picture is blended towards (0, 255, 111).
    const QPoint inside(150, 420);
    const QColor before = hover.pixelColor(inside);
    const QColor after = shown().pixelColor(inside);
    EXPECT_LT(after.red(), before.red());
    EXPECT_GT(after.green(), before.green());
    // Outside it the picture is the hover picture.
    EXPECT_EQ(shown().pixel(700, 700), hover.pixel(700, 700));

    // Moving elsewhere keeps the outline on other pictures of the area; a
    // click over no tile keeps the choice.
    click({5, 5});
    EXPECT_EQ(window->selectedTile, 1);
    EXPECT_NE(shown().pixel(inside), resource("Cinit").pixel(inside));
    EXPECT_EQ(shown().pixel(700, 700), resource("Cinit").pixel(700, 700));

    // Moves inside one tile load and draw nothing again.
    moveTo({100, 400});
    const qint64 key = shown().cacheKey();
    moveTo({110, 410});
    EXPECT_EQ(shown().cacheKey(), key);

    // Choosing tile 3 moves the outline.
    click({465, 150});
    EXPECT_EQ(window->ui->labelSelectedArea->text(), "33UYQ");
    EXPECT_EQ(shown().pixel(inside), resource("CSK3").pixel(inside));
}

TEST_F(MapPickerMouse, AnotherAreaShowsItsPicturesWithoutTheOutlineAndApplyKeepsTheTile)
{
    click({100, 400});
    ASSERT_EQ(window->selectedTile, 1);

    window->ui->comboBoxLocalArea->setCurrentIndex(1);
    // Nothing changes until the mouse moves.
    EXPECT_EQ(window->ui->labelSelectedArea->text(), "33UXP");
    moveTo({100, 100});
    EXPECT_EQ(window->hoveredTile, 12);
    EXPECT_EQ(shown(), resource("B01"));
    moveTo({5, 870});
    EXPECT_EQ(shown(), resource("Binit"));

    // The choice still filters: an archive of tile 33UXP is listed.
    TestSupport::writeFile(
        (dir.path() / "S2B_MSIL2A_20230615T095559_N0509_R122_T33UXP_20230615T124514.zip").string(), "");
    TestSupport::writeFile(
        (dir.path() / "S2B_MSIL2A_20230615T095559_N0509_R122_T34TFP_20230615T124514.zip").string(), "");
    window->ui->dateEditFrom->setDate(QDate(2023, 1, 1));
    window->ui->dateEditTo->setDate(QDate(2023, 12, 31));
    window->ui->pushButtonFilterApply->click();
    ASSERT_EQ(window->products.size(), 1);
    EXPECT_EQ(window->products[0].areaCode, "T33UXP");

    // Back in the first area the outline shows again.
    window->ui->comboBoxLocalArea->setCurrentIndex(0);
    moveTo({100, 400});
    EXPECT_NE(shown(), resource("CSK1"));
}

TEST_F(MapPickerMouse, ClearPutsTheFirstAreaBackAndTheNextMoveShowsTheCurrentArea)
{
    click({100, 400});
    window->ui->pushButtonFilterClear->click();
    EXPECT_EQ(shown(), resource("Cinit"));
    EXPECT_EQ(window->selectedTile, 0);
    EXPECT_EQ(window->ui->labelSelectedArea->text(), "Unselected");
    // The cached picture was never drawn on.
    moveTo({100, 400});
    EXPECT_EQ(shown(), resource("CSK1"));

    // In another area, over no tile: Clear shows the first area, the next
    // move the current one again.
    window->ui->comboBoxLocalArea->setCurrentIndex(1);
    moveTo({5, 870});
    ASSERT_EQ(shown(), resource("Binit"));
    window->ui->pushButtonFilterClear->click();
    EXPECT_EQ(shown(), resource("Cinit"));
    moveTo({6, 871});
    EXPECT_EQ(shown(), resource("Binit"));

    window->ui->pushButtonFilterApply->click();
    EXPECT_EQ(dialogs.messageTexts().last(), "Please select area.");
}
