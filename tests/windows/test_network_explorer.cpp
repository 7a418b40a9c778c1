// The network browser on generated folders of natNet files: which files are
// listed, the description rows, Choose, the directory choice and the
// default folder.

#include <chrono>
#include <filesystem>
#include <memory>
#include <utility>

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include "app/test_dialogs.h"
#include "forms/NetworkExplorerWindowForm.h"
#include "io/test_hostile_inputs.h"
#include "support/TestSupport.h"
#include "windows/NetworkExplorerWindow.h"

namespace {

constexpr char kKey[] = "networkExplorer/dbDirectory";

// A header of classes A (120 points) and B (80), two channels, one
// statistic; no training rows (the browser reads the header only).
constexpr char kHeaderA[] = "200,2,2,120,80,A,B,param,0.5,0.25,0.1,2,B04,B08,1,mean,2020-06-01,33UXQ\n";
// One class, three channels, two statistics, a trailing ",".
constexpr char kHeaderB[] = "7,6,1,7,forest,param,1.5e-1,2,3,3,B02,B03,B04,2,mean,std,2021-07-15,34UCV,\n";
// Stops before the tile.
constexpr char kBroken[] = "200,2,2,120,80,A,B,param,0.5,0.25,0.1,2,B04,B08,1,mean,2020-06-01\n";

QString pathOf(const TestSupport::TempDir& dir)
{
    return QString::fromStdString(dir.path().string());
}

class NetworkBrowser : public testing::Test {
protected:
    void SetUp() override { QSettings().remove(kKey); }

    void TearDown() override
    {
        explorer.reset();
        QSettings().remove(kKey);
    }

    NetworkExplorerWindow& openOn(const QString& directory)
    {
        QSettings().setValue(kKey, directory);
        explorer = std::make_unique<NetworkExplorerWindow>();
        return *explorer;
    }

    QStringList listed() const
    {
        QStringList out;
        const QTreeWidget* tree = explorer->ui->treeWidgetNetExplorerTrainedNet;
        for (int row = 0; row < tree->topLevelItemCount(); ++row)
            out.append(tree->topLevelItem(row)->text(0) + "|" + tree->topLevelItem(row)->text(1));
        return out;
    }

    QStringList description() const
    {
        QStringList out;
        const QTreeWidget* tree = explorer->ui->treeWidgetNetExplorerNetInfo;
        for (int row = 0; row < tree->topLevelItemCount(); ++row)
            out.append(tree->topLevelItem(row)->text(0) + "=" + tree->topLevelItem(row)->text(1));
        return out;
    }

    void makeCurrent(int row)
    {
        QTreeWidget* tree = explorer->ui->treeWidgetNetExplorerTrainedNet;
        tree->setCurrentItem(tree->topLevelItem(row));
    }

    ShellTest::Dialogs dialogs;
    std::unique_ptr<NetworkExplorerWindow> explorer;
};

const QStringList kDescriptionA = {
    "Name=natNet_A.csv",
    "Number of points=200",
    "Dimension=2",
    "Number of clusters=2",
    "Clusters names (number of points)=A (120), B (80), ",
    "Parameters=Kx = 0.500000, Ky = 0.250000, delta = 0.100000",
    "Channels names=B04, B08, ",
    "Statistics names=mean, ",
    "Sentinel-2 image=33UXQ",
    "Date of image=2020-06-01",
};

const QStringList kDescriptionB = {
    "Name=natNet_B_C.csv",
    "Number of points=7",
    "Dimension=6",
    "Number of clusters=1",
    "Clusters names (number of points)=forest (7), ",
    "Parameters=Kx = 0.150000, Ky = 2.000000, delta = 3.000000",
    "Channels names=B02, B03, B04, ",
    "Statistics names=mean, std, ",
    "Sentinel-2 image=34UCV",
    "Date of image=2021-07-15",
};

TEST_F(NetworkBrowser, ListsNatNetFilesByNameAndDescribesTheFirst)
{
    TestSupport::TempDir dir;
    // Listed: the part before the first "_" is exactly "natNet" and the
    // header reads. Left out: no "_", another case, a broken header, another
    // name, another extension.
    for (const char* name : {"natNet_A.csv", "natNet_.csv"})
        TestSupport::writeFile(dir.file(name), kHeaderA);
    TestSupport::writeFile(dir.file("natNet_B_C.csv"), kHeaderB);
    for (const char* name : {"natNet.csv", "NatNet_A.csv", "net_A.csv", "natNet_A.txt"})
        TestSupport::writeFile(dir.file(name), kHeaderA);
    TestSupport::writeFile(dir.file("natNet_broken.csv"), kBroken);

    NetworkExplorerWindow& window = openOn(pathOf(dir));
    EXPECT_TRUE(dialogs.requests.isEmpty());
    EXPECT_EQ(window.dbDirectory, pathOf(dir));
    EXPECT_EQ(window.ui->lineEditNetExplorerDirectory->text(), pathOf(dir));
    EXPECT_EQ(listed(), QStringList({"|natNet_.csv", "|natNet_A.csv", "|natNet_B_C.csv"}));
    ASSERT_EQ(window.networks.size(), 3);
    EXPECT_EQ(window.networks[1].directory, (pathOf(dir) + "/").toStdString());
    EXPECT_TRUE(window.ui->pushButtonNetExplorerChoose->isEnabled());
    EXPECT_TRUE(window.chosenNetwork.fileName.empty());

    // The first network is described at once; another row describes its own.
    QStringList first = kDescriptionA;
    first[0] = "Name=natNet_.csv";
    EXPECT_EQ(description(), first);
    makeCurrent(2);
    EXPECT_EQ(description(), kDescriptionB);
    makeCurrent(1);
    EXPECT_EQ(description(), kDescriptionA);
    EXPECT_TRUE(window.networkInfoRows(3).isEmpty());
    EXPECT_TRUE(window.networkInfoRows(-1).isEmpty());
}

// The folder is the user's choice: what in it is no regular file is not
// opened (a named pipe would keep the listing waiting for a writer for
// good); a link to a network file is read as the file.
TEST_F(NetworkBrowser, OnlyRegularFilesAreRead)
{
    using HostileInputs::NonRegular;
    TestSupport::TempDir dir;
    TestSupport::writeFile(dir.file("natNet_A.csv"), kHeaderA);
    std::filesystem::create_symlink(dir.path() / "natNet_A.csv", dir.path() / "natNet_link.csv");
    HostileInputs::makeNonRegular(NonRegular::NamedPipe, dir.path() / "natNet_pipe.csv");
    HostileInputs::makeNonRegular(NonRegular::LinkToDevZero, dir.path() / "natNet_zero.csv");
    HostileInputs::makeNonRegular(NonRegular::Folder, dir.path() / "natNet_folder.csv");
    HostileInputs::makeNonRegular(NonRegular::Socket, dir.path() / "natNet_socket.csv");
    // Frees a listing that opened the pipe after all (a failure, not a hang).
    const HostileInputs::PipeReleaser releaser(dir.path() / "natNet_pipe.csv", 10.0);

    const auto start = std::chrono::steady_clock::now();
    openOn(pathOf(dir));
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0);
    EXPECT_EQ(listed(), QStringList({"|natNet_A.csv", "|natNet_link.csv"}));
    EXPECT_TRUE(dialogs.requests.isEmpty());
}

TEST_F(NetworkBrowser, ChooseCopiesTheCurrentNetworkAndKeepsTheWindow)
{
    TestSupport::TempDir dir;
    TestSupport::writeFile(dir.file("natNet_A.csv"), kHeaderA);
    TestSupport::writeFile(dir.file("natNet_B_C.csv"), kHeaderB);
    NetworkExplorerWindow& window = openOn(pathOf(dir));
    window.show();
    makeCurrent(1);
    QTest::mouseClick(window.ui->pushButtonNetExplorerChoose, Qt::LeftButton);
    EXPECT_EQ(window.chosenNetwork.fileName, "natNet_B_C.csv");
    EXPECT_EQ(window.chosenNetwork.directory, (pathOf(dir) + "/").toStdString());
    EXPECT_EQ(window.chosenNetwork.channelNames, (std::vector<std::string>{"B02", "B03", "B04"}));
    EXPECT_TRUE(window.isVisible());
    // A new listing forgets the choice.
    window.scanDirectory();
    EXPECT_TRUE(window.chosenNetwork.fileName.empty());
}

// Folders without a listable network show the placeholder row, and Choose
// (disabled, or called anyway) chooses nothing.
TEST_F(NetworkBrowser, PlaceholderWithoutNetworks)
{
    TestSupport::TempDir empty;
    TestSupport::TempDir broken;
    TestSupport::writeFile(broken.file("natNet_x.csv"), kBroken);
    TestSupport::writeFile(broken.file("natNet_y.csv"), "");
    TestSupport::TempDir others;
    TestSupport::writeFile(others.file("natNet.csv"), kHeaderA);
    TestSupport::writeFile(others.file("habitats_A.csv"), kHeaderA);
    const QString missing = pathOf(empty) + "/does-not-exist";

    for (const QString& directory : {missing, pathOf(empty), pathOf(broken), pathOf(others)}) {
        SCOPED_TRACE(directory.toStdString());
        NetworkExplorerWindow& window = openOn(directory);
        EXPECT_EQ(listed(), QStringList({"|No Natural Numerical Networks in selected directory."}));
        EXPECT_TRUE(window.networks.isEmpty());
        EXPECT_TRUE(description().isEmpty());
        EXPECT_FALSE(window.ui->pushButtonNetExplorerChoose->isEnabled());
        makeCurrent(0);
        EXPECT_TRUE(description().isEmpty());
        window.on_pushButtonNetExplorerChoose_clicked();
        EXPECT_TRUE(window.chosenNetwork.fileName.empty());
    }
}

TEST_F(NetworkBrowser, ChangingTheDirectoryListsItAndStoresIt)
{
    TestSupport::TempDir first;
    TestSupport::writeFile(first.file("natNet_A.csv"), kHeaderA);
    TestSupport::TempDir second;
    TestSupport::writeFile(second.file("natNet_B_C.csv"), kHeaderB);
    NetworkExplorerWindow& window = openOn(pathOf(first));

    // Cancelled: the list stays and still describes new selections.
    window.ui->lineEditNetExplorerDirectory->setText(pathOf(first));
    QTest::mouseClick(window.ui->toolButtonNetExplorerChangeDir, Qt::LeftButton);
    ASSERT_EQ(dialogs.fileRequests.size(), 1);
    const FileDialogRequest& request = dialogs.fileRequests.front();
    EXPECT_EQ(request.kind, FileDialogRequest::Kind::Directory);
    EXPECT_EQ(request.parent, &window);
    EXPECT_EQ(request.caption, "Select directory");
    EXPECT_EQ(request.directory, pathOf(first));
    EXPECT_EQ(request.options, QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    EXPECT_EQ(listed(), QStringList({"|natNet_A.csv"}));
    EXPECT_EQ(QSettings().value(kKey).toString(), pathOf(first));
    explorer->ui->treeWidgetNetExplorerNetInfo->clear();
    makeCurrent(-1);
    makeCurrent(0);
    EXPECT_EQ(description(), kDescriptionA);

    // Chosen: listed, shown, stored, and the first network described.
    dialogs.fileAnswers.append(QStringList{pathOf(second)});
    QTest::mouseClick(window.ui->toolButtonNetExplorerChangeDir, Qt::LeftButton);
    EXPECT_EQ(window.dbDirectory, pathOf(second));
    EXPECT_EQ(window.ui->lineEditNetExplorerDirectory->text(), pathOf(second));
    EXPECT_EQ(QSettings().value(kKey).toString(), pathOf(second));
    EXPECT_EQ(listed(), QStringList({"|natNet_B_C.csv"}));
    EXPECT_EQ(description(), kDescriptionB);
    EXPECT_TRUE(window.ui->pushButtonNetExplorerChoose->isEnabled());
}

TEST_F(NetworkBrowser, DefaultsToTheWorkingDirectorysNetworkFolderWithoutStoringIt)
{
    TestSupport::ScopedWorkingDirectory cwd;
    QDir().mkdir("natNets");
    TestSupport::writeFile((cwd.path() / "natNets" / "natNet_A.csv").string(), kHeaderA);
    explorer = std::make_unique<NetworkExplorerWindow>();
    EXPECT_EQ(explorer->dbDirectory, QDir::currentPath() + "/natNets");
    EXPECT_EQ(listed(), QStringList({"|natNet_A.csv"}));
    EXPECT_FALSE(QSettings().contains(kKey));
}

TEST_F(NetworkBrowser, ClosesWithoutAsking)
{
    TestSupport::TempDir dir;
    NetworkExplorerWindow& window = openOn(pathOf(dir));
    window.show();
    EXPECT_TRUE(window.close());
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(dialogs.requests.isEmpty());
}

TEST_F(NetworkBrowser, FormAsDesigned)
{
    TestSupport::TempDir dir;
    NetworkExplorerWindow& window = openOn(pathOf(dir));
    EXPECT_EQ(window.objectName(), "NetworkExplorerWindow");
    EXPECT_EQ(window.size(), QSize(868, 571));
    EXPECT_EQ(window.font().pointSize(), 8);
    EXPECT_EQ(window.windowTitle(), "Remote data manager");
    const QTreeWidget* networks = window.ui->treeWidgetNetExplorerTrainedNet;
    EXPECT_EQ(networks->columnCount(), 2);
    EXPECT_EQ(networks->headerItem()->text(0), "");
    EXPECT_EQ(networks->headerItem()->text(1), "Title");
    EXPECT_EQ(networks->editTriggers(), QAbstractItemView::NoEditTriggers);
    const QTreeWidget* info = window.ui->treeWidgetNetExplorerNetInfo;
    EXPECT_EQ(info->headerItem()->text(0), "Attribute");
    EXPECT_EQ(info->headerItem()->text(1), "Value");
    EXPECT_EQ(window.ui->toolButtonNetExplorerChangeDir->text(), "...");
    EXPECT_EQ(window.ui->pushButtonNetExplorerChoose->text(), "Choose");
    EXPECT_FALSE(window.ui->splitter->childrenCollapsible());
}

} // namespace
