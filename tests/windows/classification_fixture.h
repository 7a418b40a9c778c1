#pragma once

// A data set whose upper part is forest and lower part meadow for a real
// two-class network, with a band of not-a-number pixels on its right that
// no network classifies; rectangular curve sets; every dialog answered
// through the seam: the fixture of the area classification window tests.

#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <QList>
#include <QStringList>
#include <QTableWidget>
#include <gtest/gtest.h>

#include "analysis/NatNetInfo.h"
#include "app/test_dialogs.h"
#include "io/Curve.h"
#include "io/NumberText.h"
#include "support/MemoryFile.h"
#include "support/TestSupport.h"

namespace ClassificationTest {

// Class means per network channel (B04, B08).
constexpr double kForest[2] = {0.2, 0.7};
constexpr double kMeadow[2] = {0.8, 0.3};
// Rows from here down are meadow; columns from here on hold no number.
constexpr int kMeadowRow = 70;
constexpr int kForeignColumn = 50;
constexpr int kSize = 120;

// A natNet file of the classes "forest" and "meadow", ten points each, one
// "mean" per channel B04 and B08, scattered around the class means.
inline std::string twoClassNetwork()
{
    std::string text = "20,2,2,10,10,forest,meadow,param,1,1,0.6,2,B04,B08,1,mean,2020-06-01,33UXQ\n";
    std::mt19937 random(3);
    std::uniform_real_distribution<double> jitter(-0.03, 0.03);
    for (const double* mean : {kForest, kMeadow}) {
        for (int i = 0; i < 10; ++i)
            text += IO::formatNumber(mean[0] + jitter(random)) + "," + IO::formatNumber(mean[1] + jitter(random)) +
                    "\n";
    }
    return text;
}

// kSize x kSize pixels; bands B02 (not in the network), B08 and B04, so a
// channel's band is not at the channel's position. Reads are recorded; a
// band whose code is in failingCodes throws on read.
class HabitatFile : public TestSupport::MemoryFile {
public:
    struct Window {
        int x, y, w, h;
        friend bool operator==(const Window&, const Window&) = default;
    };

    explicit HabitatFile(std::vector<std::string> codes = {"B02", "B08", "B04"})
        : MemoryFile(kSize, kSize)
    {
        name = "habitats";
        for (const std::string& code : codes) {
            const int channel = code == "B04" ? 0 : code == "B08" ? 1 : -1;
            addBandOf(code, 1, [channel](int x, int y) {
                if (x >= kForeignColumn)
                    return std::numeric_limits<double>::quiet_NaN();
                if (channel < 0)
                    return 0.5;
                return y < kMeadowRow ? kForest[channel] : kMeadow[channel];
            });
        }
    }

    void readRegion(int band, int level, int x, int y, int w, int h, int outWidth, int outHeight,
                    std::vector<double>& out) override
    {
        reads.push_back({x, y, w, h});
        if (failingCodes.count(bands[static_cast<std::size_t>(band)].code))
            throw error::ReadFailed;
        MemoryFile::readRegion(band, level, x, y, w, h, outWidth, outHeight, out);
    }

    std::vector<Window> reads;
    std::set<std::string> failingCodes;
};

// A closed rectangle from (x0, y0) to (x1, y1), running clockwise on the
// screen, as the only curve of a set named name.
inline UI::CurveSet rectangleSet(const std::string& name, double x0, double y0, double x1, double y1)
{
    UI::CurveSet set({{{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}, {x0, y0}}});
    set.setName(name);
    set.setType("kml");
    for (UI::Curve& curve : set.curves)
        curve.updateInnerFromGeometry();
    set.updateBoundingBoxes();
    return set;
}

// The same outline left open (no point returns to the start).
inline UI::CurveSet openSet(const std::string& name, double x0, double y0, double x1, double y1)
{
    UI::CurveSet set({{{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}});
    set.setName(name);
    for (UI::Curve& curve : set.curves)
        curve.computeGeometry();
    set.updateBoundingBoxes();
    return set;
}

// The network written into dir as "natNet_habitats.csv".
inline NatNetInfo writtenNetwork(const TestSupport::TempDir& dir)
{
    TestSupport::writeFile(dir.file("natNet_habitats.csv"), twoClassNetwork());
    NatNetInfo network;
    network.directory = dir.path().string() + "/";
    network.fileName = "natNet_habitats.csv";
    EXPECT_TRUE(network.readHeader());
    return network;
}

// A description of the same network whose file does not exist: the window
// reads the channels, then the classification fails at once.
inline NatNetInfo goneNetwork(const TestSupport::TempDir& dir)
{
    NatNetInfo network;
    network.directory = dir.path().string() + "/";
    network.fileName = "natNet_gone.csv";
    network.clusterNames = {"forest", "meadow"};
    network.clusterSizes = {10, 10};
    network.channelNames = {"B04", "B08"};
    network.statisticsNames = {"mean"};
    network.parameters = {1.0, 1.0, 0.6};
    return network;
}

// The texts of a table, row by row, cells joined by "|".
inline QStringList tableRows(const QTableWidget* table)
{
    QStringList out;
    for (int row = 0; row < table->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < table->columnCount(); ++column) {
            const QTableWidgetItem* item = table->item(row, column);
            cells.append(item ? item->text() : QString());
        }
        out.append(cells.join("|"));
    }
    return out;
}

} // namespace ClassificationTest
