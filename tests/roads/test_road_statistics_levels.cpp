// Two products of one tile at different processing levels, a Level-2A and a
// Level-1C one, opened through File > Open; a square drawn on the one shown;
// the statistics differences of the two opened through the "Monitoring"
// page's button and computed. Every chosen channel is measured in each
// product's band of the same code: the rows name the chosen bands, both
// blocks hold the writer's values and the differences are 0; a band the
// Level-1C product lacks leaves its cells empty and is reported once.

#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>

#include "forms/StatisticsWindowForm.h"
#include "road1_support.h"
#include "windows/StatisticsCells.h"
#include "windows/StatisticsWindow.h"

namespace {

using namespace Road1;

constexpr int kSize = 120;  // both products' working grid

class StatisticsLevelsRoad : public RoadShell {
protected:
    int workingSize() const override { return kSize; }
};

TEST_F(StatisticsLevelsRoad, ProductsOfTwoLevelsAreComparedBandByBand)
{
    Sample::ProductSpec l2aSpec;
    l2aSpec.size = kSize;
    Sample::ProductSpec l1cSpec = l2aSpec;
    l1cSpec.level = Sample::Level::L1C;

    // --- File > Open, one product after the other; the first stays shown.
    openThroughFileMenu(product(l2aSpec));
    openThroughFileMenu(product(l1cSpec));
    EXPECT_TRUE(dialogs.messageTexts().isEmpty()) << dialogs.messageTexts().join("|").toStdString();
    ASSERT_EQ(window->dataFiles.size(), 2);
    IO::File* l2a = file(0);
    IO::File* l1c = file(1);
    ASSERT_EQ(l2a->name, Sample::productName(l2aSpec));
    ASSERT_EQ(l1c->name, Sample::productName(l1cSpec));
    ASSERT_EQ(ui().activeSide, 0);
    ASSERT_EQ(window->getDataFile(0), l2a);
    // B08 sits at another index at the other level.
    ASSERT_NE(Jp2ZipTest::bandIndex(*l2a, "B08"), Jp2ZipTest::bandIndex(*l1c, "B08"));

    // --- A square drawn with the mouse on the shown product.
    UI::ViewerWidget* main = viewer(0);
    ASSERT_NE(main, nullptr);
    click(ui().pushButtonAutoInitSquare);
    ASSERT_TRUE(ui().initSquareMode);
    clickAt(main, {60.5, 50.5});
    moveTo(main, {64.5, 50.5});
    clickAt(main, {64.5, 50.5});
    ASSERT_FALSE(ui().initSquareMode);
    QList<UI::CurveSet>& sets = window->activeCurveSets();
    ASSERT_EQ(sets.size(), 1);
    ASSERT_EQ(sets[0].curves.size(), 1u);
    // Its pixels, whose centres lie inside the stored outline.
    const UI::CurveSet& drawn = sets[0];
    const int x0 = static_cast<int>(std::lround(drawn.minX));
    const int y0 = static_cast<int>(std::lround(drawn.minY));
    const int x1 = static_cast<int>(std::lround(drawn.maxX));
    const int y1 = static_cast<int>(std::lround(drawn.maxY));
    ASSERT_EQ(x1 - x0, 9);
    ASSERT_EQ(y1 - y0, 9);
    const auto writersMean = [&](const std::string& code) {
        double sum = 0.0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                sum += Sample::reflectance(code, x, y, 1);
        return sum / ((x1 - x0) * (y1 - y0));
    };

    // --- "Show Statistics differences" of the first and the second product.
    EXPECT_EQ(ui().comboBoxStatsDiffFile1->currentIndex(), 0);
    EXPECT_EQ(ui().comboBoxStatsDiffFile2->currentIndex(), 1);
    click(ui().pushButtonShowStatisticsDiff);
    QPointer<StatisticsWindow> statistics = openWindow<StatisticsWindow>();
    ASSERT_FALSE(statistics.isNull());
    EXPECT_EQ(statistics->windowTitle(), QStringLiteral("Statistics differences from: %1 and %2")
                                             .arg(QString::fromStdString(l2a->name), QString::fromStdString(l1c->name)));
    QListWidget* channels = statistics->ui->listWidgetStatisticsChannels;
    const auto chooseChannel = [&](const QString& name) {
        const QList<QListWidgetItem*> found = channels->findItems(name, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << name.toStdString();
        channels->scrollToItem(found[0]);
        QTest::mouseClick(channels->viewport(), Qt::LeftButton, Qt::NoModifier,
                          channels->visualItemRect(found[0]).center());
        ASSERT_TRUE(found[0]->isSelected());
    };
    click(statistics->ui->pushButtonStatisticsUnselectAllChannels);
    chooseChannel("B04-Red");
    chooseChannel("B08-Near infrared");
    dialogs.requests.clear();
    click(statistics->ui->pushButtonStatisticsCompute);
    EXPECT_TRUE(dialogs.messageTexts().isEmpty()) << dialogs.messageTexts().join("|").toStdString();

    QTableWidget* table = statistics->ui->tableWidget;
    const auto text = [table](int r, int c) {
        const QTableWidgetItem* item = table->item(r, c);
        return item ? item->text() : QString();
    };
    const int w = 4;  // mean, std, min, max
    const int h = statistics->firstDifferenceRow;
    ASSERT_EQ(table->columnCount(), 3 * w + 1);
    ASSERT_EQ(text(h, 1), "Mean");
    ASSERT_EQ(text(h, 1 + 2 * w), "Mean - Diff");
    EXPECT_EQ(text(0, 2), QString::fromStdString(l2a->name));
    EXPECT_EQ(text(0, 2 + w), QString::fromStdString(l1c->name));
    const std::vector<std::pair<QString, std::string>> rows{{"B04-Red", "B04"}, {"B08-Near infrared", "B08"}};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i].second);
        const int row = h + 1 + static_cast<int>(i);
        EXPECT_EQ(text(row, 0), rows[i].first);
        const double mean = writersMean(rows[i].second);
        EXPECT_NEAR(text(row, 1).toDouble(), mean, 1e-9 * mean);
        for (int k = 0; k < w; ++k) {
            EXPECT_EQ(text(row, 1 + w + k), text(row, 1 + k)) << k;
            EXPECT_EQ(text(row, 1 + 2 * w + k), "0") << k;
        }
    }

    // --- The scene classification, which only the Level-2A product has.
    chooseChannel("SCL-Scene Classification");
    dialogs.requests.clear();
    click(statistics->ui->pushButtonStatisticsCompute);
    EXPECT_EQ(dialogs.messageTexts(),
              QStringList{QStringLiteral("Channels missing in %1: SCL. Their cells are left empty.")
                              .arg(QString::fromStdString(l1c->name))});
    const int scl = h + 3;
    EXPECT_EQ(text(scl, 0), "SCL-Scene Classification");
    for (int k = 0; k < w; ++k) {
        EXPECT_FALSE(text(scl, 1 + k).isEmpty()) << k;
        EXPECT_TRUE(text(scl, 1 + w + k).isEmpty()) << k;
        EXPECT_TRUE(text(scl, 1 + 2 * w + k).isEmpty()) << k;
        EXPECT_EQ(text(h + 2, 1 + 2 * w + k), "0") << k;
    }

    statistics->close();  // asks; the seam answers Yes
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(statistics.isNull());

    // The drawn set keeps what was measured on its own product, at that
    // product's band indexes, one entry per band.
    ASSERT_EQ(&window->activeCurveSets(), &sets);
    EXPECT_EQ(sets[0].mean.size(), l2a->bands.size());
    const double b08 = writersMean("B08");
    EXPECT_NEAR(sets[0].mean[static_cast<std::size_t>(Jp2ZipTest::bandIndex(*l2a, "B08"))], b08, 1e-9 * b08);
}

} // namespace
