// The first versions of the windows and records the main window holds:
// what the main window touches of them must be there and behave.

#include <QFile>
#include <QPushButton>
#include <gtest/gtest.h>

#include "acquisition/LocalLoader.h"
#include "acquisition/OrthoManager.h"
#include "acquisition/RemoteLoader.h"
#include "acquisition/WmsManager.h"
#include "analysis/NatNetInfo.h"
#include "forms/CurveManagerForm.h"
#include "forms/LocalLoaderForm.h"
#include "forms/WmsManagerForm.h"
#include "test_dialogs.h"
#include "test_main_window_support.h"
#include "windows/ClassificationOfAreaWindow.h"
#include "windows/CurveManager.h"
#include "windows/HabitatManager.h"
#include "windows/NetworkExplorerWindow.h"
#include "workflows/RelevancyMap.h"

namespace fs = std::filesystem;

TEST(WmsManagerTmpFiles, RemovesOnlyItsOwnFilesDirectlyInTmp)
{
    TestSupport::ScopedWorkingDirectory cwd;
    fs::create_directories(cwd.path() / "tmp" / "sub");
    fs::create_directories(cwd.path() / "elsewhere");
    TestSupport::writeFile("tmp/pw_01012024_120000000.jpg", "preview");
    TestSupport::writeFile("tmp/orthophotomosaic_01012024_120000001.jpg", "image");
    TestSupport::writeFile("tmp/orthophotomosaic_01012024_120000001.tfw", "world");
    TestSupport::writeFile("tmp/user.txt", "not ours");
    TestSupport::writeFile("tmp/sub/deep.jpg", "in a sub-folder");
    TestSupport::writeFile("elsewhere/recorded.jpg", "outside tmp");

    WmsManager dialog;
    for (const char* path : {"tmp/pw_01012024_120000000.jpg", "tmp/orthophotomosaic_01012024_120000001.jpg",
                             "tmp/orthophotomosaic_01012024_120000001.tfw", "tmp/sub/deep.jpg",
                             "elsewhere/recorded.jpg", "tmp/never_written.jpg"})
        dialog.recordTmpFile(path);
    dialog.recordTmpFile("tmp/pw_01012024_120000000.jpg");  // recorded twice, kept once
    EXPECT_EQ(dialog.recordedTmpFiles().size(), 6);

    dialog.removeTmpFiles();
    EXPECT_FALSE(fs::exists("tmp/pw_01012024_120000000.jpg"));
    EXPECT_FALSE(fs::exists("tmp/orthophotomosaic_01012024_120000001.jpg"));
    EXPECT_FALSE(fs::exists("tmp/orthophotomosaic_01012024_120000001.tfw"));
    EXPECT_TRUE(fs::exists("tmp/user.txt"));
    EXPECT_TRUE(fs::exists("tmp/sub/deep.jpg"));
    EXPECT_TRUE(fs::exists("elsewhere/recorded.jpg"));
    EXPECT_TRUE(fs::is_directory("tmp/sub"));
    EXPECT_TRUE(dialog.recordedTmpFiles().isEmpty());
}

TEST(WmsManagerTmpFiles, WithoutTmpFolderNothingHappens)
{
    TestSupport::ScopedWorkingDirectory cwd;
    WmsManager dialog;
    dialog.recordTmpFile("tmp/pw_1.jpg");
    dialog.removeTmpFiles();
    EXPECT_FALSE(fs::exists("tmp"));
}

TEST(NeighbourWindows, FormsCarryWhatTheMainWindowTouches)
{
    WmsManager wms;
    EXPECT_EQ(wms.windowTitle(), "Dialog");
    ASSERT_NE(wms.ui->pushButtonLoad, nullptr);
    EXPECT_EQ(wms.ui->pushButtonLoad->text(), "Load");
    EXPECT_FALSE(wms.ui->pushButtonLoad->isEnabled());
    EXPECT_EQ(wms.ui->pushButtonOk->text(), "Download");
    EXPECT_TRUE(wms.downloadedFiles.isEmpty());

    // The curve database window scans its folder (none here) on
    // construction and says so.
    ShellTest::Dialogs dialogs;
    CurveManager curves;
    EXPECT_EQ(dialogs.messageTexts(), QStringList({"No curve files in selected directory."}));
    EXPECT_EQ(curves.windowTitle(), "Curve Manager");
    ASSERT_NE(curves.ui->pushButtonLoad, nullptr);
    EXPECT_EQ(curves.ui->pushButtonLoad->text(), "Load selected curves");
    EXPECT_TRUE(curves.selectedCurveFiles.isEmpty());

    LocalLoader local;
    ASSERT_NE(local.ui->pushButtonLocalLoad, nullptr);
    EXPECT_EQ(local.ui->pushButtonLocalLoad->text(), "Load to application");
    EXPECT_TRUE(local.selectedFiles.isEmpty());

    QList<UI::CurveSet> sets(2);
    NatNetInfo network;
    network.fileName = "natNet_forest.csv";
    ClassificationOfAreaWindow classification(&sets, network, nullptr, 0);
    EXPECT_EQ(classification.curveSets, &sets);
    EXPECT_EQ(classification.network.fileName, "natNet_forest.csv");

    // The others only need to exist as windows without parent.
    HabitatManager habitats;
    NetworkExplorerWindow networks;
    RemoteLoader remote;
    OrthoManager ortho;
    for (QWidget* window : {static_cast<QWidget*>(&habitats), static_cast<QWidget*>(&networks),
                            static_cast<QWidget*>(&remote), static_cast<QWidget*>(&ortho)})
        EXPECT_TRUE(window->isWindow());
}

TEST(NeighbourRecords, NatNetInfoClearsEveryField)
{
    NatNetInfo info;
    info.directory = "/nets/";
    info.fileName = "natNet_a.csv";
    info.numberOfPoints = 5;
    info.dimension = 4;
    info.clusterSizes = {2, 3};
    info.parameters = {0.5, 0.5, 0.1};
    info.clusterNames = {"6510", "9110"};
    info.channelNames = {"B04"};
    info.statisticsNames = {"mean"};
    info.s2Tile = "T34UCV";
    info.imageDate = "20200101";
    const NatNetInfo copy = info;
    info.clear();
    EXPECT_TRUE(info.directory.empty() && info.fileName.empty() && info.s2Tile.empty() && info.imageDate.empty());
    EXPECT_EQ(info.numberOfPoints, 0);
    EXPECT_EQ(info.dimension, 0);
    EXPECT_TRUE(info.clusterSizes.empty() && info.parameters.empty() && info.clusterNames.empty()
                && info.channelNames.empty() && info.statisticsNames.empty());
    EXPECT_EQ(copy.clusterNames.size(), 2u) << "a copy owns its members";
}

TEST(NeighbourRecords, RelevancyMapSetters)
{
    UI::RelevancyMap map;
    map.setName("forest");
    map.setNetworkName("Loaded relevancy map");
    EXPECT_EQ(map.name, "forest");
    EXPECT_EQ(map.networkName, "Loaded relevancy map");
    EXPECT_EQ(map.x, 0);
    EXPECT_TRUE(map.values.empty());
}
