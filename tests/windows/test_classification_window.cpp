// The area classification window: a real network over a synthetic data set,
// the grid snapping of each set's window, the failures that give "/", the
// table, Copy, the close question, its own network explorer, and how the
// main window opens it.

#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include "app/FenlarkApp.h"
#include "app/test_shell_support.h"
#include "classification_fixture.h"
#include "forms/ClassificationOfAreaWindowForm.h"
#include "forms/NetworkExplorerWindowForm.h"
#include "windows/ClassificationOfAreaWindow.h"
#include "windows/NetworkExplorerWindow.h"
#include "windows/ToolWindowSupport.h"

namespace {

using namespace ClassificationTest;

constexpr char kExplorerKey[] = "networkExplorer/dbDirectory";

class ClassificationWindow : public testing::Test {
protected:
    void TearDown() override
    {
        window.reset();
        QSettings().remove(kExplorerKey);
    }

    ClassificationOfAreaWindow& open(NatNetInfo network)
    {
        window = std::make_unique<ClassificationOfAreaWindow>(&sets, std::move(network), file.get(), 0);
        return *window;
    }

    void classify()
    {
        TestSupport::quietly([&] { QTest::mouseClick(window->ui->pushButtonClassify, Qt::LeftButton); });
    }

    QStringList rows() const { return tableRows(window->ui->tableWidget); }

    TestSupport::TempDir networks;
    std::unique_ptr<HabitatFile> file = std::make_unique<HabitatFile>();
    QList<UI::CurveSet> sets;
    ShellTest::Dialogs dialogs;
    std::unique_ptr<ClassificationOfAreaWindow> window;
};

TEST_F(ClassificationWindow, MeanRelevancyOfEachClassInsideEachSet)
{
    // The forest square's window and the meadow square's window each hold
    // one class and the not-a-number columns, which no network classifies:
    // each map is 1 where its class is and 0 elsewhere. The open set and the
    // set too close to the left edge are not classified.
    sets = {rectangleSet("forest square", 24, 24, 48, 48), rectangleSet("meadow square", 24, 78, 48, 102),
            openSet("open", 24, 24, 48, 48), rectangleSet("left edge", 8, 30, 40, 50)};
    open(writtenNetwork(networks));
    classify();
    EXPECT_TRUE(dialogs.requests.isEmpty());
    EXPECT_EQ(rows(), QStringList({"|forest|meadow", "forest square|1|0", "meadow square|0|1", "open|/|/",
                                   "left edge|/|/"}));
}

// The network file changes after the window took it: Classify reads it once,
// and that reading names the class columns, picks the bands and classifies.
TEST_F(ClassificationWindow, ClassifyNamesPicksBandsAndClassifiesFromOneReadingOfTheNetwork)
{
    // The forest and meadow points of the fixture's network, each line
    // "B04,B08"; the header decides the order of classes and channels.
    std::vector<std::string> points;
    {
        const std::string text = twoClassNetwork();
        std::istringstream lines(text.substr(text.find('\n') + 1));
        for (std::string line; std::getline(lines, line);)
            points.push_back(line);
    }
    const auto swapped = [](const std::string& line) {
        const std::size_t comma = line.find(',');
        return line.substr(comma + 1) + "," + line.substr(0, comma);
    };
    std::string meadowFirst = "20,2,2,10,10,meadow,forest,param,1,1,0.6,2,B04,B08,1,mean,2020-06-01,33UXQ\n";
    for (std::size_t i = 0; i < points.size(); ++i)
        meadowFirst += points[(i + 10) % 20] + "\n";
    std::string b08First = "20,2,2,10,10,forest,meadow,param,1,1,0.6,2,B08,B04,1,mean,2020-06-01,33UXQ\n";
    for (const std::string& line : points)
        b08First += swapped(line) + "\n";

    struct Case {
        const char* name;
        std::string network;
        QStringList table;
    };
    const std::vector<Case> cases = {
        {"classes swapped", meadowFirst, {"|meadow|forest", "forest square|0|1", "meadow square|1|0"}},
        {"channels swapped", b08First, {"|forest|meadow", "forest square|1|0", "meadow square|0|1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dialogs.requests.clear();
        sets = {rectangleSet("forest square", 24, 24, 48, 48), rectangleSet("meadow square", 24, 78, 48, 102)};
        open(writtenNetwork(networks));
        TestSupport::writeFile(networks.file("natNet_habitats.csv"), c.network);
        classify();
        EXPECT_TRUE(dialogs.requests.isEmpty());
        EXPECT_EQ(rows().join(" / ").toStdString(), c.table.join(" / ").toStdString());
    }
}

// x0 = int(minX / 6) x 6 and x1 = int(maxX / 6 + 1.5) x 6 (y alike, here
// 30 -> 30 and 50 -> 54); the area with its 12-pixel margin must lie inside
// the 120-pixel data set. Each accepted set reads both channels over the
// area and margin; the classification then fails (no network file), once
// warned for all sets.
TEST_F(ClassificationWindow, SnapsEachSetToTheGridWithinTheMargin)
{
    struct Case {
        double minX, maxX;
        bool read;
        int x, w;  // the read window in x
    };
    const std::vector<Case> cases = {
        {13.2, 40.9, true, 0, 60},    // x0 12, x1 48: w 36
        {12.0, 30.0, true, 0, 48},    // x0 12, x1 36
        {6.0, 30.0, false, 0, 0},     // x0 6
        {11.99, 30.0, false, 0, 0},   // x0 6
        {60.0, 104.9, true, 48, 72},  // x1 108: 108 + 12 = 120
        {60.0, 105.0, false, 0, 0},   // x1 114
    };
    std::vector<HabitatFile::Window> expected;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        sets.append(rectangleSet("set" + std::to_string(i), cases[i].minX, 30.0, cases[i].maxX, 50.0));
        if (cases[i].read) {
            expected.push_back({cases[i].x, 18, cases[i].w, 48});  // B04
            expected.push_back({cases[i].x, 18, cases[i].w, 48});  // B08
        }
    }
    open(goneNetwork(networks));
    classify();
    EXPECT_EQ(file->reads, expected);
    EXPECT_EQ(dialogs.messageTexts(),
              QStringList({"Unable to classify the area with network natNet_gone.csv.\nUnable to read the network file."}));
    for (int row = 1; row <= static_cast<int>(cases.size()); ++row)
        EXPECT_EQ(rows()[row], QString("set%1|/|/").arg(row - 1));
}

// The network's features need every channel: a channel without a band
// gives "/" (one warning per run, naming it, nothing read); a channel whose
// read fails gives "/" with a warning per set naming it.
TEST_F(ClassificationWindow, MissingOrUnreadableChannelGivesSlashAndNamesIt)
{
    struct Case {
        const char* what;
        std::vector<std::string> codes;
        std::set<std::string> failing;
        QStringList messages;
    };
    const std::vector<Case> cases = {
        {"no B08 band", {"B02", "B04"}, {}, {"The data set has no band for the network channel B08."}},
        {"no band at all", {"B02"}, {}, {"The data set has no band for the network channel B04, B08."}},
        {"B08 unreadable",
         {"B02", "B08", "B04"},
         {"B08"},
         {"Unable to read data from file. Channel: B08", "Unable to read data from file. Channel: B08"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        dialogs.requests.clear();
        file = std::make_unique<HabitatFile>(c.codes);
        file->failingCodes = c.failing;
        sets = {rectangleSet("a", 24, 24, 48, 48), rectangleSet("b", 24, 78, 48, 102)};
        open(writtenNetwork(networks));
        classify();
        EXPECT_EQ(dialogs.messageTexts(), c.messages);
        EXPECT_EQ(rows(), QStringList({"|forest|meadow", "a|/|/", "b|/|/"}));
        if (c.failing.empty()) {
            EXPECT_TRUE(file->reads.empty());
        }
    }
}

TEST_F(ClassificationWindow, TableFollowsTheSelectionOrder)
{
    for (const char* name : {"s0", "s1", "s2", "s3"})
        sets.append(rectangleSet(name, 24, 24, 48, 48));
    ClassificationOfAreaWindow& w = open(goneNetwork(networks));
    QListWidget* list = w.ui->listWidgetCurves;
    EXPECT_EQ(list->selectedItems().size(), 4);

    QTest::mouseClick(w.ui->pushButtonUnselectAllCurves, Qt::LeftButton);
    list->item(3)->setSelected(true);
    list->item(1)->setSelected(true);
    classify();
    EXPECT_EQ(rows(), QStringList({"|forest|meadow", "s3|/|/", "s1|/|/"}));

    // No selection: a warning, then the class row alone.
    QTest::mouseClick(w.ui->pushButtonUnselectAllCurves, Qt::LeftButton);
    dialogs.requests.clear();
    classify();
    EXPECT_EQ(dialogs.messageTexts(), QStringList({"Select at least one curve."}));
    EXPECT_EQ(rows(), QStringList({"|forest|meadow"}));

    QTest::mouseClick(w.ui->pushButtonSelectAllCuves, Qt::LeftButton);
    EXPECT_EQ(list->selectedItems().size(), 4);
}

TEST_F(ClassificationWindow, CopyTakesTheFirstSelectedRange)
{
    ClassificationOfAreaWindow& w = open(goneNetwork(networks));
    w.show();
    QTableWidget* table = w.ui->tableWidget;
    table->setRowCount(3);
    table->setColumnCount(3);
    const QStringList texts = {"a", "b", "x", "c", "d", "y", "z", "", "w"};
    for (int i = 0; i < texts.size(); ++i) {
        if (!texts[i].isEmpty())  // (2, 1) stays without item
            table->setItem(i / 3, i % 3, new QTableWidgetItem(texts[i]));
    }
    QClipboard* clipboard = QGuiApplication::clipboard();

    clipboard->setText("untouched");
    QTest::keyClick(&w, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboard->text(), "untouched");

    struct Case {
        QTableWidgetSelectionRange first;
        QWidget* target;
        QString text;
    };
    const std::vector<Case> cases = {
        {{0, 0, 1, 1}, table, "a\tb\nc\td\n"},
        {{0, 0, 1, 1}, &w, "a\tb\nc\td\n"},
        {{1, 1, 2, 2}, table, "d\ty\n\tw\n"},
        {{2, 0, 2, 0}, &w, "z\n"},
    };
    for (const Case& c : cases) {
        table->clearSelection();
        table->setRangeSelected(c.first, true);
        table->setRangeSelected({0, 2, 0, 2}, true);  // a second range, not copied
        clipboard->setText("untouched");
        QTest::keyClick(c.target, Qt::Key_C, Qt::ControlModifier);
        EXPECT_EQ(clipboard->text(), c.text);
        EXPECT_EQ(firstSelectedRangeText(table), c.text);
    }
}

TEST_F(ClassificationWindow, ClosesOnlyOnYes)
{
    for (QMessageBox::StandardButton answer : {QMessageBox::No, QMessageBox::Yes}) {
        dialogs.requests.clear();
        dialogs.answer = answer;
        sets = {rectangleSet("a", 24, 24, 48, 48)};
        auto* w = new ClassificationOfAreaWindow(&sets, goneNetwork(networks), file.get(), 0);
        w->setAttribute(Qt::WA_DeleteOnClose);
        QPointer<ClassificationOfAreaWindow> guard(w);
        w->show();
        TestSupport::quietly([&] { QTest::mouseClick(w->ui->pushButtonClassify, Qt::LeftButton); });
        dialogs.requests.clear();  // the classification's warning
        EXPECT_EQ(w->close(), answer == QMessageBox::Yes);
        ASSERT_EQ(dialogs.requests.size(), 1);
        const MessageBoxRequest& request = dialogs.requests.front();
        EXPECT_EQ(request.kind, MessageBoxRequest::Kind::Question);
        EXPECT_EQ(request.parent, w);
        EXPECT_EQ(request.title, "Close Confirmation");
        EXPECT_EQ(request.text, "Are you sure you want to close the window?");
        EXPECT_EQ(request.buttons, QMessageBox::Yes | QMessageBox::No);
        EXPECT_EQ(request.defaultButton, QMessageBox::NoButton);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (answer == QMessageBox::No) {
            ASSERT_TRUE(guard);
            EXPECT_TRUE(w->isVisible());
            EXPECT_EQ(tableRows(w->ui->tableWidget), QStringList({"|forest|meadow", "a|/|/"}));
            delete w;
        } else {
            EXPECT_FALSE(guard);
        }
    }
}

TEST_F(ClassificationWindow, ClassifyWithoutNetworkOpensTheExplorerWhoseChoiceIsTaken)
{
    writtenNetwork(networks);
    QSettings().setValue(kExplorerKey, QString::fromStdString(networks.path().string()));
    sets = {rectangleSet("a", 24, 24, 48, 48)};
    ClassificationOfAreaWindow& w = open(NatNetInfo());
    w.show();
    EXPECT_EQ(w.ui->lineEditNetwork->text(), "");
    classify();
    EXPECT_TRUE(dialogs.requests.isEmpty());
    EXPECT_EQ(w.ui->tableWidget->rowCount(), 0);
    QPointer<NetworkExplorerWindow> explorer = w.networkExplorer;
    ASSERT_TRUE(explorer);
    EXPECT_EQ(explorer->parent(), &w);
    EXPECT_EQ(explorer->windowModality(), Qt::WindowModal);
    EXPECT_EQ(explorer->windowTitle(), "Network Explorer");
    EXPECT_TRUE(explorer->testAttribute(Qt::WA_DeleteOnClose));

    QTest::mouseClick(explorer->ui->pushButtonNetExplorerChoose, Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(explorer);
    EXPECT_EQ(w.network.fileName, "natNet_habitats.csv");
    EXPECT_EQ(w.network.clusterNames, (std::vector<std::string>{"forest", "meadow"}));
    EXPECT_EQ(w.ui->lineEditNetwork->text(), "natNet_habitats.csv");
    EXPECT_EQ(w.ui->lineEditNetwork->cursorPosition(), 0);

    // An explorer over a folder without networks chooses nothing: the
    // network stays, the explorer closes.
    TestSupport::TempDir empty;
    QSettings().setValue(kExplorerKey, QString::fromStdString(empty.path().string()));
    QTest::mouseClick(w.ui->pushButtonNetworkExplorer, Qt::LeftButton);
    explorer = w.networkExplorer;
    ASSERT_TRUE(explorer);
    w.networkExplorerSetNetwork();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(explorer);
    EXPECT_EQ(w.network.fileName, "natNet_habitats.csv");
    EXPECT_EQ(w.ui->lineEditNetwork->text(), "natNet_habitats.csv");
}

TEST_F(ClassificationWindow, FormAsDesigned)
{
    sets = {rectangleSet("a", 24, 24, 48, 48), rectangleSet("b", 24, 78, 48, 102)};
    ClassificationOfAreaWindow& w = open(goneNetwork(networks));
    EXPECT_EQ(w.objectName(), "ClassificationOfAreaWindow");
    EXPECT_EQ(w.size(), QSize(1031, 772));
    EXPECT_EQ(w.windowTitle(), "Classification Of Area");
    EXPECT_EQ(w.ui->listWidgetCurves->selectionMode(), QAbstractItemView::MultiSelection);
    EXPECT_EQ(w.ui->listWidgetCurves->count(), 2);
    EXPECT_EQ(w.ui->listWidgetCurves->item(1)->text(), "b");
    EXPECT_EQ(w.ui->pushButtonSelectAllCuves->text(), "Select All Curves");
    EXPECT_EQ(w.ui->pushButtonUnselectAllCurves->text(), "Unselect All Curves");
    EXPECT_EQ(w.ui->pushButtonNetworkExplorer->text(), "Network Explorer");
    EXPECT_EQ(w.ui->pushButtonClassify->text(), "Classify");
    EXPECT_TRUE(w.ui->lineEditNetwork->isReadOnly());
    EXPECT_EQ(w.ui->lineEditNetwork->text(), "natNet_gone.csv");
    EXPECT_EQ(w.ui->tableWidget->editTriggers(), QAbstractItemView::NoEditTriggers);
}

// ---------------------------------------------------------------------------
// Opened from the main window
// ---------------------------------------------------------------------------

// Records which objects were told that a modal window blocks them.
class BlockedRecorder : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::WindowBlocked)
            blocked.append(watched);
        return false;
    }
    QList<QObject*> blocked;
};

class ClassificationOpener : public ShellTest::Shell {
protected:
    void SetUp() override
    {
        Shell::SetUp();
        index = addDataSet(std::make_unique<HabitatFile>());
        showOn(0, index);
        window->setToolDocksEnabled(true);
    }

    void TearDown() override
    {
        QSettings().remove(kExplorerKey);
        Shell::TearDown();
    }

    int index = -1;
    TestSupport::TempDir networks;
    ShellTest::Dialogs dialogs;
};

TEST_F(ClassificationOpener, EmptyCurveListWarns)
{
    window->on_pushButtonClassifiArea_clicked();
    EXPECT_EQ(dialogs.messageTexts(), QStringList({"Curve explorer list is empty."}));
    ASSERT_EQ(dialogs.requests.size(), 1);
    EXPECT_EQ(dialogs.requests.front().icon, 2);
    EXPECT_FALSE(window->classificationWindow);
}

TEST_F(ClassificationOpener, ApplicationModalAboveTheMainWindowWithItsExplorerAboveIt)
{
    window->curveSets[index] = {rectangleSet("forest square", 24, 24, 48, 48)};
    window->selectedNetwork = writtenNetwork(networks);
    QSettings().setValue(kExplorerKey, QString::fromStdString(networks.path().string()));
    BlockedRecorder recorder;
    qApp->installEventFilter(&recorder);

    window->ui->pushButtonClassifiArea->click();
    QApplication::processEvents();
    QPointer<ClassificationOfAreaWindow> classification = window->classificationWindow;
    ASSERT_TRUE(classification);
    EXPECT_EQ(classification->parent(), window.get());
    EXPECT_EQ(classification->windowModality(), Qt::ApplicationModal);
    EXPECT_TRUE(classification->testAttribute(Qt::WA_DeleteOnClose));
    EXPECT_EQ(classification->windowTitle(), "Classification Of Area");
    EXPECT_EQ(classification->curveSets, &window->curveSets[index]);
    EXPECT_EQ(classification->file, window->dataFiles[index]);
    EXPECT_EQ(classification->level, 0);
    EXPECT_EQ(classification->ui->lineEditNetwork->text(), "natNet_habitats.csv");
    EXPECT_TRUE(classification->isVisible());
    EXPECT_TRUE(recorder.blocked.contains(window.get()));
    EXPECT_EQ(QApplication::activeModalWidget(), classification.data());

    // Its explorer works above it: a click through the window system reaches
    // Choose.
    QTest::mouseClick(classification->ui->pushButtonNetworkExplorer, Qt::LeftButton);
    QApplication::processEvents();
    QPointer<NetworkExplorerWindow> explorer = classification->networkExplorer;
    ASSERT_TRUE(explorer);
    EXPECT_EQ(explorer->parent(), classification.data());
    for (QObject* object : recorder.blocked)
        EXPECT_NE(object, explorer.data());
    EXPECT_TRUE(recorder.blocked.contains(classification.data()));
    classification->network = NatNetInfo();
    QPushButton* choose = explorer->ui->pushButtonNetExplorerChoose;
    QTest::mouseClick(explorer->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                      choose->mapTo(explorer.data(), choose->rect().center()));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(explorer);
    EXPECT_EQ(classification->network.fileName, "natNet_habitats.csv");
    qApp->removeEventFilter(&recorder);

    // Closing it asks; Yes ends it and the main window's pointer.
    classification->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(classification);
    EXPECT_FALSE(window->classificationWindow);
}

} // namespace
