// The "Monitoring" page's launchers of the statistics window, the curve
// choosers they read, and the curve database window's Load in the main
// window.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QTest>

#include "curves_fixture.h"
#include "forms/CurveManagerForm.h"
#include "forms/StatisticsWindowForm.h"
#include "windows/CurveManager.h"
#include "windows/StatisticsWindow.h"
#include "workflows/StatisticsLaunchers.h"

namespace {

using CurvesTest::CurveFile;
using CurvesTest::curveSet;
using CurvesTest::ring;

// Every request a launcher made, instead of a window.
class CapturedWindows {
public:
    QList<UI::StatisticsWindowRequest> requests;

private:
    UI::ScopedStatisticsWindowFactory factory_{
        [this](UI::StatisticsWindowRequest request) { requests.append(std::move(request)); }};
};

// Counts the WindowBlocked events a widget gets.
class BlockedCounter : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::WindowBlocked)
            ++blocked;
        return false;
    }
    int blocked = 0;
};

// The statistics window a launcher opened, if any.
StatisticsWindow* openedStatisticsWindow()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* found = qobject_cast<StatisticsWindow*>(widget))
            return found;
    }
    return nullptr;
}

class Launchers : public CurvesTest::CurvesWindow {
protected:
    void SetUp() override
    {
        CurvesWindow::SetUp();
        window->setToolDocksEnabled(true);
    }

    // Another data set (shown on no side) with the given sets; the data
    // explorer and the choosers are refilled as opening one does.
    int addFile(int ground, const std::string& name, QList<UI::CurveSet> sets = {})
    {
        const int added = addDataSet(std::make_unique<CurveFile>(kSize, ground, name));
        window->curveSets[added] = sets;
        window->refreshDataExplorer(index);
        return added;
    }

    UI::CurveSet named(const std::string& name, double x = 40)
    {
        return curveSet(name, {ring(x, 40, 6)});
    }

    FenlarkAppUI* ui() { return window->ui; }

    CapturedWindows captured;
};

TEST_F(Launchers, ShowStatisticsHandsOverTheActiveListAndDataSet)
{
    struct Case {
        const char* name;
        int shown;  // data index on the active side
        QList<UI::CurveSet> sets;
        QString warning;
    };
    const std::vector<Case> cases{
        {"no data set shown", -1, {named("a")}, "Select file."},
        {"no curve set", 0, {}, "Curve explorer list is empty."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        window->ui->leftDataIndex = c.shown;
        sets() = c.sets;
        dialogs.requests.clear();
        ui()->pushButtonShowStatistics->click();
        EXPECT_EQ(dialogs.messages(), QStringList({c.warning}));
        EXPECT_EQ(dialogs.requests[0].icon, 2);
        EXPECT_TRUE(captured.requests.isEmpty());
    }

    window->ui->leftDataIndex = index;
    sets() = {named("a")};
    ui()->pushButtonShowStatistics->click();
    ASSERT_EQ(captured.requests.size(), 1);
    const UI::StatisticsWindowRequest& request = captured.requests[0];
    EXPECT_EQ(request.curveSets, &window->curveSets[index]);
    EXPECT_EQ(request.dataFiles, QList<IO::File*>({file}));
    EXPECT_EQ(request.owner, file);
    EXPECT_EQ(request.level, 0);
    EXPECT_FALSE(request.areaMonitoring);
    EXPECT_TRUE(request.compareEnabled);
    EXPECT_EQ(request.title, "Statistics from: ground-one");
}

TEST_F(Launchers, DifferencesNeedTwoDataSetsOfTheActiveGround)
{
    setSets({named("a")});
    // 0 ground-one (active), 1 twin (ground 1), 2 and 3 on ground 2.
    const int twin = addFile(1, "twin-of-ground-one");
    const int far = addFile(2, "ground-two");
    const int farTwin = addFile(2, "twin-of-ground-two");
    struct Case {
        const char* name;
        int first;
        int second;
        QString warning;
    };
    const std::vector<Case> cases{
        {"the same data set twice", 0, 0, "Select two different files"},
        {"two grounds", 0, far, "Selected files have different geolocation"},
        {"a ground the active data set is not on", far, farTwin, "Selected files have different geolocation"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ui()->comboBoxStatsDiffFile1->setCurrentIndex(c.first);
        ui()->comboBoxStatsDiffFile2->setCurrentIndex(c.second);
        dialogs.requests.clear();
        ui()->pushButtonShowStatisticsDiff->click();
        EXPECT_EQ(dialogs.messages(), QStringList({c.warning}));
        EXPECT_TRUE(captured.requests.isEmpty());
    }

    // The active data set need not be one of the two.
    ui()->comboBoxStatsDiffFile1->setCurrentIndex(twin);
    ui()->comboBoxStatsDiffFile2->setCurrentIndex(0);
    dialogs.requests.clear();
    ui()->pushButtonShowStatisticsDiff->click();
    EXPECT_TRUE(dialogs.requests.isEmpty());
    ASSERT_EQ(captured.requests.size(), 1);
    const UI::StatisticsWindowRequest& request = captured.requests[0];
    EXPECT_EQ(request.curveSets, &window->curveSets[index]);
    EXPECT_EQ(request.dataFiles, QList<IO::File*>({window->dataFiles[twin], file}));
    EXPECT_EQ(request.owner, file);
    EXPECT_FALSE(request.compareEnabled);
    EXPECT_FALSE(request.areaMonitoring);
    EXPECT_EQ(request.title, "Statistics differences from: twin-of-ground-one and ground-one");

    // Without curve sets on the active side.
    sets().clear();
    dialogs.requests.clear();
    ui()->pushButtonShowStatisticsDiff->click();
    EXPECT_EQ(dialogs.messages(), QStringList({"Curve explorer list is empty."}));
}

TEST_F(Launchers, AreaMonitoringCopiesTheChosenSetOfEachDataSet)
{
    setSets({named("a"), named("b", 60)});
    const int twin = addFile(1, "twin-of-ground-one", {named("c"), named("d")});
    EXPECT_EQ(ui()->comboBoxStatsAreaDiffFile2->currentIndex(), twin);
    ui()->comboBoxStatsAreaDiffCurve1->setCurrentIndex(1);
    ui()->comboBoxStatsAreaDiffCurve2->setCurrentIndex(1);
    ui()->pushButtonAreaMonitoring->click();
    EXPECT_TRUE(dialogs.requests.isEmpty());
    ASSERT_EQ(captured.requests.size(), 1);
    const UI::StatisticsWindowRequest& request = captured.requests[0];
    EXPECT_TRUE(request.areaMonitoring);
    EXPECT_EQ(request.curveSets, nullptr);
    ASSERT_EQ(request.copies.size(), 2);
    EXPECT_EQ(request.copies[0].name, "b");
    EXPECT_EQ(request.copies[1].name, "d");
    EXPECT_EQ(request.dataFiles, QList<IO::File*>({file, window->dataFiles[twin]}));
    EXPECT_EQ(request.title, "Statistics area from: ground-one and twin-of-ground-one");

    struct Case {
        const char* name;
        std::function<void()> arrange;
        QString warning;
    };
    const std::vector<Case> cases{
        {"a chosen data set without curve sets",
         [&] {
             window->curveSets[twin].clear();
             window->fillAreaMonitoringCurveComboBoxes();
         },
         "Curve explorer list is empty."},
        {"two grounds",
         [&] {
             const int far = addFile(2, "ground-two", {named("e")});
             ui()->comboBoxStatsAreaDiffFile2->setCurrentIndex(far);
         },
         "Selected files have different geolocation"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.arrange();
        captured.requests.clear();
        dialogs.requests.clear();
        ui()->pushButtonAreaMonitoring->click();
        EXPECT_EQ(dialogs.messages(), QStringList({c.warning}));
        EXPECT_TRUE(captured.requests.isEmpty());
    }
}

TEST_F(Launchers, CurveChoosersFollowRemovedSetsAndDataSets)
{
    setSets({named("a")});
    const int second = addFile(1, "second", {named("c")});
    const int third = addFile(1, "third", {named("e")});
    ui()->comboBoxStatsAreaDiffFile2->setCurrentIndex(third);
    EXPECT_EQ(ui()->comboBoxStatsAreaDiffCurve2->itemText(0), "e...");

    // The last set of the active data set goes: its chooser empties.
    setSets({});
    EXPECT_EQ(ui()->comboBoxStatsAreaDiffCurve1->count(), 0);
    ui()->pushButtonAreaMonitoring->click();
    EXPECT_EQ(dialogs.messages(), QStringList({"Curve explorer list is empty."}));
    setSets({named("a")});
    EXPECT_EQ(ui()->comboBoxStatsAreaDiffCurve1->itemText(0), "a...");

    // A data set is removed: the choosers list what is left, and the
    // launcher takes the sets they show.
    QTreeWidget* explorer = ui()->treeWidgetDataExplorer;
    explorer->clearSelection();
    explorer->topLevelItem(second)->setSelected(true);
    window->dataRemoveAction_triggered();
    ASSERT_EQ(window->dataFiles.size(), 2);
    EXPECT_EQ(ui()->comboBoxStatsAreaDiffFile2->currentIndex(), 1);
    ASSERT_EQ(ui()->comboBoxStatsAreaDiffCurve2->count(), 1);
    EXPECT_EQ(ui()->comboBoxStatsAreaDiffCurve2->itemText(0), "e...");
    dialogs.requests.clear();
    ui()->pushButtonAreaMonitoring->click();
    ASSERT_EQ(captured.requests.size(), 1);
    EXPECT_EQ(captured.requests[0].copies[0].name, "a");
    EXPECT_EQ(captured.requests[0].copies[1].name, "e");
}

TEST_F(Launchers, WindowIsApplicationModalAndKeepsItsResultsInTheMainList)
{
    // The real window this time.
    UI::ScopedStatisticsWindowFactory real{UI::StatisticsWindowFactory()};
    window->show();
    BlockedCounter counter;
    window->installEventFilter(&counter);
    setSets({curveSet("ring", {ring(40, 40, 10)})});
    ui()->pushButtonShowStatistics->click();
    QApplication::processEvents();

    QPointer<StatisticsWindow> statistics = openedStatisticsWindow();
    ASSERT_FALSE(statistics.isNull());
    EXPECT_EQ(statistics->windowModality(), Qt::ApplicationModal);
    EXPECT_TRUE(statistics->testAttribute(Qt::WA_DeleteOnClose));
    EXPECT_EQ(statistics->windowTitle(), "Statistics from: ground-one");
    EXPECT_EQ(statistics->parentWidget(), nullptr);
    EXPECT_TRUE(statistics->ui->pushButtonCompare->isEnabled());
    EXPECT_GT(counter.blocked, 0);
    window->removeEventFilter(&counter);

    QTest::mouseClick(statistics->ui->pushButtonStatisticsCompute, Qt::LeftButton);
    {
        ScopedMessageBoxHandler yes{[](const MessageBoxRequest&) { return QMessageBox::Yes; }};
        statistics->close();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(statistics.isNull());
    // Computed on the data set that owns the list, kept there.
    for (int band = 0; band < 3; ++band)
        EXPECT_GE(sets()[0].mean[static_cast<std::size_t>(band)], 0.0) << band;
}

TEST_F(Launchers, AreaMonitoringWindowKeepsItsCopiesWhateverTheMainListDoes)
{
    UI::ScopedStatisticsWindowFactory real{UI::StatisticsWindowFactory()};
    setSets({named("a")});
    addFile(1, "twin-of-ground-one", {named("c")});
    ui()->pushButtonAreaMonitoring->click();
    QPointer<StatisticsWindow> statistics = openedStatisticsWindow();
    ASSERT_FALSE(statistics.isNull());
    EXPECT_EQ(statistics->windowTitle(), "Statistics area from: ground-one and twin-of-ground-one");
    sets()[0].setName("renamed");
    setSets({});
    window->curveSets[1].clear();
    ASSERT_EQ(statistics->curveSets().size(), 2);
    EXPECT_EQ(statistics->curveSets()[0].name, "a");
    EXPECT_EQ(statistics->curveSets()[1].name, "c");
    EXPECT_EQ(statistics->ui->tableWidget->item(1, 1)->text(), "a");
    delete statistics.data();
}

class CurveDatabaseLoad : public CurvesTest::CurvesWindow {
protected:
    void SetUp() override
    {
        CurvesWindow::SetUp();
        window->refreshDataExplorer(index);
        file->saveCurves(folder.file("AA_BB_ring.kml"), "kml", {ring(40, 40, 6)}, {"ring"}, {}, {}, {});
        TestSupport::writeFile(folder.file("AA_BB_garbage.kml"), "no kml at all");
        QSettings().setValue("curveManager/dbDirectory", QString::fromStdString(folder.path().string()));
        // As the opener wires it.
        window->curveManager = new CurveManager();
        manager = window->curveManager;
        QObject::connect(manager->ui->pushButtonLoad, &QPushButton::clicked, window.get(),
                         &UI::FenlarkApp::curveManagerLoad);
        manager->setAttribute(Qt::WA_DeleteOnClose);
        manager->show();
    }

    void TearDown() override
    {
        delete manager.data();
        QSettings().remove("curveManager/dbDirectory");
        CurvesWindow::TearDown();
    }

    QCheckBox* box(int row)
    {
        QTreeWidget* tree = manager->ui->treeWidgetResults;
        return qobject_cast<QCheckBox*>(tree->itemWidget(tree->topLevelItem(row), 0));
    }

    void load()
    {
        QTest::mouseClick(manager->ui->pushButtonLoad, Qt::LeftButton);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    TestSupport::TempDir folder;
    QPointer<CurveManager> manager;
};

TEST_F(CurveDatabaseLoad, LoadsTheCheckedFilesThenClosesTheWindow)
{
    // Listed by name: garbage first; its error comes from the loading.
    box(0)->setChecked(true);
    box(1)->setChecked(true);
    load();
    EXPECT_TRUE(manager.isNull());
    ASSERT_EQ(sets().size(), 1);
    EXPECT_EQ(sets()[0].curves.size(), 1u);
    ASSERT_EQ(dialogs.messages().size(), 1);
    EXPECT_TRUE(dialogs.messages()[0].startsWith("Unable to open curve file "));
    EXPECT_TRUE(dialogs.messages()[0].contains("AA_BB_garbage.kml"));
    // The choosers show the loaded set.
    EXPECT_EQ(window->ui->comboBoxStatsAreaDiffCurve1->count(), 1);
}

TEST_F(CurveDatabaseLoad, NothingCheckedOnlyClosesTheWindow)
{
    load();
    EXPECT_TRUE(manager.isNull());
    EXPECT_TRUE(sets().isEmpty());
    EXPECT_TRUE(dialogs.messages().isEmpty());
}

} // namespace
