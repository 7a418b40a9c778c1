// Statistics differences of two data sets of one ground whose band lists
// differ (a Level-2A and a Level-1C product of one tile): every chosen
// channel is measured in each data set's band of the same code, a channel a
// data set lacks leaves its cells empty and is reported once, and data sets
// of one band list give the figures each gives alone.

#include <set>

#include <QPushButton>

#include "SampleProduct.h"
#include "io/test_jp2zip_fixture.h"
#include "statistics_fixture.h"
#include "windows/StatisticsCells.h"

namespace {

using namespace StatisticsTest;

// The square every test measures: pixels 30..39 in both directions.
constexpr int kX0 = 30;
constexpr int kSide = 10;

// Mean and maximum of a 10 m band of the writer over the square.
struct Truth {
    double mean = 0.0;
    double max = 0.0;
};
Truth truthOf(const std::string& code)
{
    Truth truth;
    for (int y = kX0; y < kX0 + kSide; ++y) {
        for (int x = kX0; x < kX0 + kSide; ++x) {
            const double value = Sample::reflectance(code, x, y, 1);
            truth.mean += value;
            truth.max = std::max(truth.max, value);
        }
    }
    truth.mean /= kSide * kSide;
    return truth;
}

// The default product of the tile at a processing level, opened.
std::unique_ptr<IO::JP2ZipFile> productAt(Sample::Level level)
{
    const auto written = [](Sample::Level at) {
        Sample::ProductSpec spec;
        spec.level = at;
        return spec;
    };
    static const Jp2ZipTest::Product l2a(written(Sample::Level::L2A));
    static const Jp2ZipTest::Product l1c(written(Sample::Level::L1C));
    std::unique_ptr<IO::JP2ZipFile> file;
    Jp2ZipTest::quietly([&] { file = (level == Sample::Level::L1C ? l1c : l2a).open(); });
    return file;
}

class StatisticsLevelsTest : public StatisticsWindowTest {
protected:
    // Chooses the channels of these display names, as the user clicks them.
    void chooseChannels(const QStringList& names)
    {
        QListWidget* list = window->ui->listWidgetStatisticsChannels;
        click(window->ui->pushButtonStatisticsUnselectAllChannels);
        for (const QString& name : names) {
            const QList<QListWidgetItem*> found = list->findItems(name, Qt::MatchExactly);
            ASSERT_EQ(found.size(), 1) << name.toStdString();
            clickRow(list, list->row(found[0]));
        }
    }

    std::unique_ptr<IO::JP2ZipFile> l2a = productAt(Sample::Level::L2A);
    std::unique_ptr<IO::JP2ZipFile> l1c = productAt(Sample::Level::L1C);
};

TEST_F(StatisticsLevelsTest, ChannelsAreMeasuredInTheBandOfTheSameCode)
{
    // One tile; B04 at one index in both, B08 at another.
    ASSERT_TRUE(l2a->sameGeolocation(l1c.get()));
    ASSERT_EQ(Jp2ZipTest::bandIndex(*l2a, "B04"), Jp2ZipTest::bandIndex(*l1c, "B04"));
    ASSERT_NE(Jp2ZipTest::bandIndex(*l2a, "B08"), Jp2ZipTest::bandIndex(*l1c, "B08"));
    struct Case {
        const char* name;
        bool l1cFirst;
        bool secondOwnsTheSets;
    };
    const std::vector<Case> cases{
        {"Level-2A against Level-1C", false, false},
        {"Level-1C against Level-2A", true, false},
        {"the sets belong to the second data set", true, true},
    };
    const std::vector<std::string> codes{"B04", "B08"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        IO::File* first = c.l1cFirst ? l1c.get() : l2a.get();
        IO::File* second = c.l1cFirst ? l2a.get() : l1c.get();
        IO::File* owner = c.secondOwnsTheSets ? second : first;
        sets = {squareSet("square", {{kX0, kX0, kSide}})};
        open({first, second});
        window->setCurveSetOwner(owner);
        chooseChannels({"B04-Red", "B08-Near infrared"});
        dialogs.requests.clear();
        click(window->ui->pushButtonStatisticsCompute);
        EXPECT_TRUE(dialogs.requests.isEmpty()) << dialogs.messageTexts().join("|").toStdString();

        const int w = 4;  // mean, std, min, max
        ASSERT_EQ(table()->columnCount(), 3 * w + 1);
        const int h = 6;
        EXPECT_EQ(cell(table(), h + 1, 0), "B04-Red");
        EXPECT_EQ(cell(table(), h + 2, 0), "B08-Near infrared");
        for (std::size_t i = 0; i < codes.size(); ++i) {
            SCOPED_TRACE(codes[i]);
            const int row = h + 1 + static_cast<int>(i);
            const Truth truth = truthOf(codes[i]);
            EXPECT_EQ(cell(table(), row, 1), StatisticsTable::valueText(truth.mean));
            EXPECT_EQ(cell(table(), row, 4), StatisticsTable::valueText(truth.max));
            for (int type = 0; type < w; ++type) {
                // Equal samples in both products.
                EXPECT_EQ(cell(table(), row, 1 + w + type), cell(table(), row, 1 + type)) << type;
                EXPECT_EQ(cell(table(), row, 1 + 2 * w + type), "0") << type;
            }
        }

        // The held sets keep what was measured on their own data set, at its
        // band indexes, one entry per band of it.
        window.reset();
        for (int type = 0; type < 4; ++type)
            EXPECT_EQ(sets[0].statistic(type).size(), owner->bands.size()) << type;
        for (const std::string& code : codes)
            EXPECT_EQ(sets[0].mean[static_cast<std::size_t>(Jp2ZipTest::bandIndex(*owner, code))],
                      truthOf(code).mean)
                << code;
    }
}

TEST_F(StatisticsLevelsTest, AChannelTheSecondLacksHasEmptyCellsAndOneMessage)
{
    struct Case {
        const char* name;
        bool l1cFirst;
        QStringList channels;  // chosen, in list order
        std::vector<bool> lacking;
        QString missing;       // as the message names them
    };
    const std::vector<Case> cases{
        {"scene classification only at Level-2A",
         false,
         {"B04-Red", "CLD-Cloud map", "SCL-Scene Classification"},
         {false, true, true},
         "CLD, SCL"},
        {"cirrus only at Level-1C", true, {"B04-Red", "B10-Cirrus"}, {false, true}, "B10"},
        {"nothing of the choice in the second", false, {"SCL-Scene Classification"}, {true}, "SCL"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        IO::File* first = c.l1cFirst ? l1c.get() : l2a.get();
        IO::File* second = c.l1cFirst ? l2a.get() : l1c.get();
        sets = {squareSet("square", {{kX0, kX0, kSide}})};
        open({first, second});
        chooseChannels(c.channels);
        dialogs.requests.clear();
        click(window->ui->pushButtonStatisticsCompute);

        ASSERT_EQ(dialogs.requests.size(), 1);
        EXPECT_EQ(dialogs.requests[0].text,
                  QStringLiteral("Channels missing in %1: %2. Their cells are left empty.")
                      .arg(QString::fromStdString(second->name), c.missing));
        EXPECT_EQ(dialogs.requests[0].icon, 2);

        const int w = 4;
        const int h = 6;
        ASSERT_EQ(table()->rowCount(), h + 1 + c.channels.size());
        for (int i = 0; i < c.channels.size(); ++i) {
            SCOPED_TRACE(c.channels[i].toStdString());
            const int row = h + 1 + i;
            EXPECT_EQ(cell(table(), row, 0), c.channels[i]);
            for (int type = 0; type < w; ++type) {
                EXPECT_NE(cell(table(), row, 1 + type), "<none>") << type;
                if (c.lacking[static_cast<std::size_t>(i)]) {
                    EXPECT_EQ(cell(table(), row, 1 + w + type), "<none>") << type;
                    EXPECT_EQ(cell(table(), row, 1 + 2 * w + type), "<none>") << type;
                } else {
                    EXPECT_EQ(cell(table(), row, 1 + w + type), cell(table(), row, 1 + type)) << type;
                    EXPECT_EQ(cell(table(), row, 1 + 2 * w + type), "0") << type;
                }
            }
        }
        EXPECT_EQ(cell(table(), 0, 1 + w + 1), QString::fromStdString(second->name));
    }
}

// A ramp data set whose reads of some bands fail, as a truncated band file's
// do once the product is open.
class UnreadableRamp : public RampFile {
public:
    using RampFile::RampFile;

    void readRegion(int band, int level, int x, int y, int w, int h, int outWidth, int outHeight,
                    std::vector<double>& out) override
    {
        if (unreadable.count(band))
            throw error::ReadFailed;
        RampFile::readRegion(band, level, x, y, w, h, outWidth, outHeight, out);
    }

    std::set<int> unreadable;
};

// A channel one data set cannot measure has no figure there: its cells in
// that data set's block and in the differences stay empty, whether the set
// never held a value for it or holds one of an earlier computation, and one
// message names it. Every other cell is what it is when every band reads.
TEST_F(StatisticsLevelsTest, AChannelThatCannotBeReadHasEmptyCellsAndOneMessage)
{
    struct Case {
        const char* name;
        bool firstFails;
    };
    for (const Case& c : {Case{"the second data set's band", false}, Case{"the first data set's band", true}}) {
        SCOPED_TRACE(c.name);
        UnreadableRamp failing{kSize, kSize, 1, "failing", 3, c.firstFails ? 1.0 : 2.0};
        RampFile good{kSize, kSize, 1, "good", 3, c.firstFails ? 2.0 : 1.0};
        IO::File* first = c.firstFails ? static_cast<IO::File*>(&failing) : &good;
        IO::File* second = c.firstFails ? static_cast<IO::File*>(&good) : &failing;
        sets = {squareSet("square", {{10, 10, 10}})};
        open({first, second});
        dialogs.requests.clear();
        click(window->ui->pushButtonStatisticsCompute);
        ASSERT_TRUE(dialogs.requests.isEmpty()) << dialogs.messageTexts().join("|").toStdString();
        const QStringList readable = tableTexts(table());

        // Band 1 (code B03) fails from now on; the sets still hold the
        // figures of the computation above.
        failing.unreadable = {1};
        click(window->ui->pushButtonStatisticsCompute);
        ASSERT_EQ(dialogs.requests.size(), 1);
        EXPECT_EQ(dialogs.requests[0].text, "Channels not measured in failing: B03. Their cells are left empty.");
        EXPECT_EQ(dialogs.requests[0].icon, 2);

        const int w = 4;
        const int h = 6;
        const int failingBlock = c.firstFails ? 1 : 1 + w;
        const QStringList now = tableTexts(table());
        ASSERT_EQ(now.size(), readable.size());
        for (int row = 0; row < table()->rowCount(); ++row) {
            for (int column = 0; column < table()->columnCount(); ++column) {
                SCOPED_TRACE(testing::Message() << "row " << row << " column " << column);
                const bool empty = row == h + 2
                    && ((column >= failingBlock && column < failingBlock + w) || column >= 1 + 2 * w);
                const qsizetype at = 1 + row * table()->columnCount() + column;
                EXPECT_EQ(now[at], empty ? QString() : readable[at]);
            }
        }
    }
}

// Data sets of one band list: each block and its differences are what each
// data set gives alone, whether the bands carry codes or, as orthophoto
// bands, only names (a name twice: the first is the first, the second the
// second).
TEST_F(StatisticsLevelsTest, OneBandListGivesTheFiguresOfEachDataSetAlone)
{
    struct Case {
        const char* name;
        bool withoutCodes;
    };
    for (const Case& c : {Case{"band codes", false}, Case{"names only, one twice", true}}) {
        SCOPED_TRACE(c.name);
        RampFile one{kSize, kSize, 1, "one"};
        RampFile doubled{kSize, kSize, 1, "doubled", 3, 2.0};
        if (c.withoutCodes) {
            for (RampFile* file : {&one, &doubled}) {
                for (IO::Band& band : file->bands)
                    band.code.clear();
                file->bands[1].name = file->bands[2].name = "Near-infrared";
            }
        }
        const auto alone = [&](IO::File* file) {
            sets = {squareSet("square", {{10, 10, 10}})};
            open({file});
            click(window->ui->pushButtonStatisticsCompute);
            return tableTexts(table());
        };
        const QStringList first = alone(&one);
        const QStringList second = alone(&doubled);

        sets = {squareSet("square", {{10, 10, 10}})};
        open({&one, &doubled});
        dialogs.requests.clear();
        click(window->ui->pushButtonStatisticsCompute);
        EXPECT_TRUE(dialogs.requests.isEmpty()) << dialogs.messageTexts().join("|").toStdString();
        const int w = 4;
        const int columns = 3 * w + 1;
        ASSERT_EQ(table()->columnCount(), columns);
        ASSERT_EQ(table()->rowCount(), 10);
        const auto aloneCell = [](const QStringList& texts, int row, int column) {
            return texts.value(1 + row * (w + 1) + column);
        };
        for (int row = 0; row < table()->rowCount(); ++row) {
            SCOPED_TRACE(row);
            EXPECT_EQ(cell(table(), row, 0).replace("<none>", ""), aloneCell(first, row, 0));
            for (int k = 0; k < w; ++k) {
                EXPECT_EQ(cell(table(), row, 1 + k).replace("<none>", ""), aloneCell(first, row, 1 + k));
                EXPECT_EQ(cell(table(), row, 1 + w + k).replace("<none>", ""), aloneCell(second, row, 1 + k));
            }
        }
        for (int band = 0; band < 3; ++band) {
            for (int k = 0; k < w; ++k) {
                const int row = 7 + band;
                EXPECT_EQ(cell(table(), row, 1 + 2 * w + k),
                          StatisticsTable::valueText(aloneCell(first, row, 1 + k).toDouble()
                                                     - aloneCell(second, row, 1 + k).toDouble()))
                    << band << " " << k;
            }
        }
    }
}

} // namespace
