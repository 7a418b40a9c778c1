// The local archive browser: what archive names tell, the filter, the walk
// below the working directory, the window's flows and the hand-over of the
// checked archives to the main window.

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include "acquisition/LocalLoader.h"
#include "acquisition/LocalProducts.h"
#include "app/test_dialogs.h"
#include "app/test_shell_support.h"
#include "forms/LocalLoaderForm.h"
#include "io/test_jp2zip_fixture.h"
#include "support/TestSupport.h"
#include "tools/TaskRunner.h"

namespace fs = std::filesystem;

namespace {

const char l2aName[] = "S2B_MSIL2A_20230615T095559_N0509_R122_T33UXP_20230615T124514";
const char l1cName[] = "S2A_MSIL1C_20230610T095601_N0509_R122_T33UXP_20230610T115000";
const char otherTileName[] = "S2A_MSIL2A_20220101T100000_N0400_R022_T34UCV_20220101T120000";

QDateTime utc(int y, int m, int d, int h, int min, int s)
{
    return QDateTime(QDate(y, m, d), QTime(h, min, s), Qt::UTC);
}

// Sets the TZ variable for its lifetime.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone)
    {
        if (const char* old = std::getenv("TZ"))
            previous_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ScopedTimeZone()
    {
        if (previous_)
            setenv("TZ", previous_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::optional<std::string> previous_;
};

} // namespace

TEST(LocalProductNames, PartsOfTheNameBecomeTheAttributes)
{
    struct Case {
        const char* label;
        QString path;
        QString title;
        QString type;
        QString level;
        QString area;
        QDateTime sensing;
        QDateTime ingestion;
    };
    const QString l2a = QString::fromLatin1(l2aName);
    const QList<Case> cases = {
        {"level 2A", "/data/2023/" + l2a + ".zip", l2a, "MSIL2A", "Level-2A/2Ap", "T33UXP", utc(2023, 6, 15, 9, 55, 59),
         utc(2023, 6, 15, 12, 45, 14)},
        {"level 1C, title up to the first dot", "/data/" + QString::fromLatin1(l1cName) + ".SAFE.ZIP",
         QString::fromLatin1(l1cName), "MSIL1C", "Level-1C", "T33UXP", utc(2023, 6, 10, 9, 56, 1),
         utc(2023, 6, 10, 11, 50, 0)},
        {"2Ap product", "/d/S2A_MSIL2Ap_20200101T000000_N1_R1_T35TLH_20200102T000000.zip",
         "S2A_MSIL2Ap_20200101T000000_N1_R1_T35TLH_20200102T000000", "MSIL2Ap", "Level-2A/2Ap", "T35TLH",
         utc(2020, 1, 1, 0, 0, 0), utc(2020, 1, 2, 0, 0, 0)},
        {"unparsable times", "/d/S2A_MSIL2A_2023061XT095559_N1_R1_T33UXP_20230230T000000.zip",
         "S2A_MSIL2A_2023061XT095559_N1_R1_T33UXP_20230230T000000", "MSIL2A", "Level-2A/2Ap", "T33UXP", QDateTime(),
         QDateTime()},
        {"unknown type", "/d/S2A_XYZ_20230615T095559_N1_R1_T33UXP_20230615T124514.zip",
         "S2A_XYZ_20230615T095559_N1_R1_T33UXP_20230615T124514", "XYZ", "", "T33UXP", utc(2023, 6, 15, 9, 55, 59),
         utc(2023, 6, 15, 12, 45, 14)},
        {"stray short name", "/d/x.zip", "x", "", "", "", QDateTime(), QDateTime()},
        {"two parts", "/d/a_MSIL1C.zip", "a_MSIL1C", "MSIL1C", "Level-1C", "", QDateTime(), QDateTime()},
        {"empty parts kept", "/d/S2A__20230615T095559___T33UXP_.zip", "S2A__20230615T095559___T33UXP_", "", "",
         "T33UXP", utc(2023, 6, 15, 9, 55, 59), QDateTime()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const LocalProduct product = LocalProducts::productFromPath(c.path);
        EXPECT_EQ(product.path, c.path);
        EXPECT_EQ(product.title, c.title);
        EXPECT_EQ(product.productType, c.type);
        EXPECT_EQ(product.processingLevel, c.level);
        EXPECT_EQ(product.areaCode, c.area);
        EXPECT_EQ(product.sensingStart, c.sensing);
        EXPECT_EQ(product.sensingEnd, c.sensing);
        EXPECT_EQ(product.ingestionDate, c.ingestion);
        EXPECT_EQ(product.sensingStart.isValid(), c.sensing.isValid());
    }
    EXPECT_EQ(LocalProducts::timeText(utc(2023, 6, 15, 9, 55, 59)), "2023-06-15 09:55:59.000");
    EXPECT_EQ(LocalProducts::timeText(QDateTime()), "");
}

TEST(LocalProductFilter, TileDatesAndType)
{
    const LocalProduct l2a = LocalProducts::productFromPath(QString("/d/%1.zip").arg(l2aName));
    const LocalProduct l1c = LocalProducts::productFromPath(QString("/d/%1.zip").arg(l1cName));
    const LocalProduct noDate =
        LocalProducts::productFromPath("/d/S2A_MSIL1C_notadate_N1_R1_T33UXP_20230101T000000.zip");
    const LocalProduct noType =
        LocalProducts::productFromPath("/d/S2A__20230615T095559_N1_R1_T33UXP_20230615T124514.zip");
    const LocalProduct stray = LocalProducts::productFromPath("/d/x.zip");
    const QDate june15(2023, 6, 15);
    const QDate june10(2023, 6, 10);
    const QDate year2020(2020, 1, 1);
    const QDate year2030(2030, 1, 1);

    struct Case {
        const char* label;
        const LocalProduct& product;
        LocalProducts::Filter filter;
        bool passes;
    };
    const QList<Case> cases = {
        {"any type", l2a, {"33UXP", year2020, year2030, 0}, true},
        {"2A wanted, 2A", l2a, {"33UXP", year2020, year2030, 1}, true},
        {"1C wanted, 2A", l2a, {"33UXP", year2020, year2030, 2}, false},
        {"any type, 1C", l1c, {"33UXP", year2020, year2030, 0}, true},
        {"2A wanted, 1C", l1c, {"33UXP", year2020, year2030, 1}, false},
        {"1C wanted, 1C", l1c, {"33UXP", year2020, year2030, 2}, true},
        {"other tile", l2a, {"34UCV", year2020, year2030, 0}, false},
        {"tile is case-sensitive", l2a, {"33uxp", year2020, year2030, 0}, false},
        {"from = to = sensing day", l2a, {"33UXP", june15, june15, 0}, true},
        {"to the day before", l2a, {"33UXP", june10, june15.addDays(-1), 0}, false},
        {"from the day after", l2a, {"33UXP", june15.addDays(1), year2030, 0}, false},
        {"invalid date: tile alone", noDate, {"33UXP", june10, june10, 1}, true},
        {"invalid date, other tile", noDate, {"34UCV", year2020, year2030, 0}, false},
        {"empty type: tile alone", noType, {"33UXP", june10, june10, 2}, true},
        {"short name never matches a tile", stray, {"33UXP", year2020, year2030, 0}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(LocalProducts::passes(c.product, c.filter), c.passes);
    }
}

TEST(LocalProductFilter, SensingTimeInADaylightSavingGapIsStillADate)
{
    // 2023-03-26 02:30 does not exist on Prague's clocks; the satellite's
    // time is UTC and exists.
    const ScopedTimeZone prague("Europe/Prague");
    const LocalProduct product =
        LocalProducts::productFromPath("/d/S2A_MSIL2A_20230326T023000_N1_R1_T33UXP_20230326T023500.zip");
    ASSERT_TRUE(product.sensingStart.isValid());
    EXPECT_EQ(product.sensingStart, utc(2023, 3, 26, 2, 30, 0));
    EXPECT_EQ(LocalProducts::timeText(product.sensingStart), "2023-03-26 02:30:00.000");
    EXPECT_EQ(LocalProducts::timeText(product.ingestionDate), "2023-03-26 02:35:00.000");
    // Outside the dates it is filtered out instead of slipping through.
    EXPECT_FALSE(LocalProducts::passes(product, {"33UXP", QDate(2023, 1, 1), QDate(2023, 1, 31), 0}));
    EXPECT_TRUE(LocalProducts::passes(product, {"33UXP", QDate(2023, 3, 26), QDate(2023, 3, 26), 1}));
}

namespace {

// A working directory of empty files named like products, in nested folders,
// with a file that is no archive and a link back to the top.
class ArchiveTree {
public:
    ArchiveTree()
    {
        fs::create_directories(dir.path() / "2023" / "june");
        fs::create_directories(dir.path() / "empty");
        write("2023/" + std::string(l2aName) + ".zip");
        write("2023/june/" + std::string(l1cName) + ".ZIP");
        write(std::string(otherTileName) + ".zip");
        write("x.zip");
        write("2023/notes.txt");
        write("2023/june/archive.zip.part");
        fs::create_directory_symlink(dir.path(), dir.path() / "2023" / "june" / "loop");
    }

    QString root() const { return QString::fromStdString(dir.path().string()); }
    QString path(const std::string& relative) const { return QString::fromStdString((dir.path() / relative).string()); }
    QStringList archives() const
    {
        return {path("2023/" + std::string(l2aName) + ".zip"), path("2023/june/" + std::string(l1cName) + ".ZIP"),
                path(std::string(otherTileName) + ".zip"), path("x.zip")};
    }

    TestSupport::TempDir dir;

private:
    void write(const std::string& relative) { TestSupport::writeFile((dir.path() / relative).string(), ""); }
};

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

} // namespace

TEST(LocalArchiveWalk, FindsNestedArchivesOfBothSuffixesWithoutFollowingLinks)
{
    const ArchiveTree tree;
    EXPECT_EQ(sorted(LocalProducts::findArchives(tree.root())), sorted(tree.archives()));
}

TEST(LocalArchiveWalk, WithoutRootListsNothingEvenBesideArchives)
{
    TestSupport::ScopedWorkingDirectory cwd;
    TestSupport::writeFile((cwd.path() / (std::string(l2aName) + ".zip")).string(), "");
    EXPECT_TRUE(LocalProducts::findArchives(QString()).isEmpty());
}

namespace {

class LocalLoaderWindow : public testing::Test {
protected:
    void SetUp() override { QSettings().remove("localLoader/workingDirectory"); }
    void TearDown() override { QSettings().remove("localLoader/workingDirectory"); }

    // A window over the tree, as when the directory was chosen in an earlier
    // run.
    std::unique_ptr<LocalLoader> openOn(const QString& directory)
    {
        QSettings().setValue("localLoader/workingDirectory", directory);
        return std::make_unique<LocalLoader>();
    }

    static QCheckBox* box(LocalLoader& window, int row)
    {
        QTreeWidget* tree = window.ui->treeWidgetLocalResults;
        return qobject_cast<QCheckBox*>(tree->itemWidget(tree->topLevelItem(row), 0));
    }

    static QStringList titles(const LocalLoader& window)
    {
        QStringList out;
        QTreeWidget* tree = window.ui->treeWidgetLocalResults;
        for (int row = 0; row < tree->topLevelItemCount(); ++row)
            out << tree->topLevelItem(row)->text(1);
        return out;
    }

    static QList<QPair<QString, QString>> shownInfo(const LocalLoader& window)
    {
        QList<QPair<QString, QString>> out;
        QTreeWidget* info = window.ui->treeWidgetLocalFileinfo;
        for (int row = 0; row < info->topLevelItemCount(); ++row)
            out.append({info->topLevelItem(row)->text(0), info->topLevelItem(row)->text(1)});
        return out;
    }

    // Hovers and clicks a point of the map, as the mouse would.
    static void clickMap(LocalLoader& window, QPoint point)
    {
        QMouseEvent move(QEvent::MouseMove, point, point, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(window.mapPicker, &move);
        QMouseEvent press(QEvent::MouseButtonPress, point, point, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.mapPicker, &press);
    }

    ArchiveTree tree;
    ShellTest::Dialogs dialogs;
};

} // namespace

TEST_F(LocalLoaderWindow, OpeningListsTheArchivesAndShowsTheLastOne)
{
    const auto window = openOn(tree.root());
    EXPECT_TRUE(dialogs.requests.isEmpty());
    EXPECT_TRUE(dialogs.fileRequests.isEmpty());
    EXPECT_EQ(window->windowTitle(), "Local data manager");
    EXPECT_EQ(window->ui->lineEditLocalDirectory->text(), tree.root());
    EXPECT_EQ(window->ui->labelSelectedArea->text(), "Unselected");
    EXPECT_EQ(window->ui->dateEditTo->date(), QDate::currentDate());
    EXPECT_EQ(window->ui->dateEditFrom->date(), QDate::currentDate().addYears(-1));

    ASSERT_EQ(window->products.size(), 4);
    QStringList paths;
    for (const LocalProduct& product : window->products)
        paths << product.path;
    EXPECT_EQ(sorted(paths), sorted(tree.archives()));
    EXPECT_EQ(window->ui->groupBoxResults->title(), "4 files found");

    QStringList expectedTitles;
    for (const LocalProduct& product : window->products)
        expectedTitles << product.title;
    EXPECT_EQ(titles(*window), expectedTitles);
    for (int row = 0; row < 4; ++row) {
        ASSERT_NE(box(*window, row), nullptr);
        EXPECT_FALSE(box(*window, row)->isChecked());
        EXPECT_EQ(box(*window, row)->property("id").toInt(), row);
        EXPECT_EQ(box(*window, row)->maximumSize(), QSize(20, 20));
    }

    // The boxes get the room they need (their column has no text to size by).
    QApplication::processEvents();
    EXPECT_GE(box(*window, 0)->width(), box(*window, 0)->sizeHint().width());

    // The last row is current and its attributes show.
    QTreeWidget* results = window->ui->treeWidgetLocalResults;
    EXPECT_EQ(results->currentItem(), results->topLevelItem(3));
    const LocalProduct& last = window->products.last();
    const QList<QPair<QString, QString>> expected = {
        {"Title", last.title},
        {"Area code", last.areaCode},
        {"Processing level", last.processingLevel},
        {"Product type", last.productType},
        {"Sensing start", LocalProducts::timeText(last.sensingStart)},
        {"Sensing end", LocalProducts::timeText(last.sensingEnd)},
        {"Ingestion date", LocalProducts::timeText(last.ingestionDate)},
    };
    EXPECT_EQ(window->productInfoRows(3), expected);
    EXPECT_EQ(shownInfo(*window), expected);
    EXPECT_TRUE(window->productInfoRows(4).isEmpty());
    EXPECT_TRUE(window->productInfoRows(-1).isEmpty());

    // Another current row shows its own attributes.
    int l2aRow = 0;
    while (window->products[l2aRow].title != l2aName)
        ++l2aRow;
    results->setCurrentItem(results->topLevelItem(l2aRow));
    const QList<QPair<QString, QString>> l2a = {
        {"Title", l2aName},
        {"Area code", "T33UXP"},
        {"Processing level", "Level-2A/2Ap"},
        {"Product type", "MSIL2A"},
        {"Sensing start", "2023-06-15 09:55:59.000"},
        {"Sensing end", "2023-06-15 09:55:59.000"},
        {"Ingestion date", "2023-06-15 12:45:14.000"},
    };
    EXPECT_EQ(shownInfo(*window), l2a);

    // A cleared tree reports no current row: nothing changes.
    emit results->currentItemChanged(nullptr, results->topLevelItem(l2aRow));
    EXPECT_EQ(shownInfo(*window), l2a);
}

TEST_F(LocalLoaderWindow, LoadListsTheCheckedPathsInRowOrder)
{
    const auto window = openOn(tree.root());
    box(*window, 2)->setChecked(true);
    box(*window, 0)->setChecked(true);
    window->ui->pushButtonLocalLoad->click();
    EXPECT_EQ(window->selectedFiles, QStringList({window->products[0].path, window->products[2].path}));
    EXPECT_TRUE(dialogs.requests.isEmpty());

    box(*window, 0)->setChecked(false);
    box(*window, 2)->setChecked(false);
    window->ui->pushButtonLocalLoad->click();
    EXPECT_TRUE(window->selectedFiles.isEmpty());
    ASSERT_EQ(dialogs.requests.size(), 1);
    EXPECT_EQ(dialogs.requests[0].kind, MessageBoxRequest::Kind::Message);
    EXPECT_EQ(dialogs.requests[0].text, "Please select files to load");
    EXPECT_EQ(dialogs.requests[0].icon, 0);
}

TEST_F(LocalLoaderWindow, ApplyFiltersByTheChosenTileUntilClear)
{
    const auto window = openOn(tree.root());
    window->ui->pushButtonFilterApply->click();
    ASSERT_EQ(dialogs.requests.size(), 1);
    EXPECT_EQ(dialogs.requests[0].text, "Please select area.");
    EXPECT_EQ(dialogs.requests[0].icon, 2);
    EXPECT_EQ(dialogs.requests[0].parent, nullptr);
    EXPECT_EQ(window->products.size(), 4);

    clickMap(*window, {100, 400}); // tile 33UXP
    ASSERT_EQ(window->ui->labelSelectedArea->text(), "33UXP");
    window->ui->dateEditFrom->setDate(QDate(2023, 1, 1));
    window->ui->dateEditTo->setDate(QDate(2023, 12, 31));
    window->ui->pushButtonFilterApply->click();
    EXPECT_EQ(sorted(titles(*window)), QStringList({l1cName, l2aName}));
    EXPECT_EQ(window->ui->groupBoxResults->title(), "2 files found");

    window->ui->comboBoxProductType->setCurrentIndex(2);
    window->ui->pushButtonFilterApply->click();
    EXPECT_EQ(titles(*window), QStringList({l1cName}));
    EXPECT_EQ(window->products.size(), 1);

    // Dates exclude both: nothing listed, nothing current.
    window->ui->comboBoxProductType->setCurrentIndex(0);
    window->ui->dateEditTo->setDate(QDate(2023, 6, 9));
    window->ui->pushButtonFilterApply->click();
    EXPECT_TRUE(window->products.isEmpty());
    EXPECT_EQ(window->ui->groupBoxResults->title(), "0 files found");
    EXPECT_EQ(window->ui->treeWidgetLocalFileinfo->topLevelItemCount(), 0);

    // Clear forgets the tile and lists everything; the filter widgets stay.
    window->ui->pushButtonFilterClear->click();
    EXPECT_EQ(window->products.size(), 4);
    EXPECT_EQ(window->selectedTile, 0);
    EXPECT_EQ(window->ui->labelSelectedArea->text(), "Unselected");
    EXPECT_EQ(window->ui->dateEditTo->date(), QDate(2023, 6, 9));
    window->ui->pushButtonFilterApply->click();
    EXPECT_EQ(dialogs.messageTexts().last(), "Please select area.");
}

TEST_F(LocalLoaderWindow, CloseAsksAndOnlyYesCloses)
{
    const auto window = openOn(tree.root());
    window->show();
    dialogs.answer = QMessageBox::No;
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    ASSERT_EQ(dialogs.requests.size(), 1);
    const MessageBoxRequest& question = dialogs.requests[0];
    EXPECT_EQ(question.kind, MessageBoxRequest::Kind::Question);
    EXPECT_EQ(question.title, "Close Confirmation");
    EXPECT_EQ(question.text, "Are you sure you want to close the window?");
    EXPECT_EQ(question.buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(question.defaultButton, QMessageBox::NoButton);
    EXPECT_EQ(question.parent, window.get());

    dialogs.answer = QMessageBox::Yes;
    EXPECT_TRUE(window->close());
    EXPECT_FALSE(window->isVisible());
}

TEST_F(LocalLoaderWindow, WithoutAStoredDirectoryAsksForOneAndRemembersIt)
{
    dialogs.fileAnswers.append(QStringList{tree.root()});
    LocalLoader window;
    EXPECT_EQ(dialogs.messageTexts(), QStringList({"Select working directory"}));
    EXPECT_EQ(dialogs.requests[0].icon, 0);
    ASSERT_EQ(dialogs.fileRequests.size(), 1);
    const FileDialogRequest& request = dialogs.fileRequests[0];
    EXPECT_EQ(request.kind, FileDialogRequest::Kind::Directory);
    EXPECT_EQ(request.caption, "Select directory");
    EXPECT_EQ(request.parent, &window);
    EXPECT_EQ(request.options, QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    EXPECT_EQ(QSettings().value("localLoader/workingDirectory").toString(), tree.root());
    EXPECT_EQ(window.workingDirectory, tree.root());
    EXPECT_EQ(window.ui->lineEditLocalDirectory->text(), tree.root());
    EXPECT_EQ(window.products.size(), 4);
}

TEST_F(LocalLoaderWindow, CancelledOpeningListsNothingEvenWhereTheProgramRuns)
{
    // Archives in the process's working directory must not be listed by a
    // scan without a directory.
    TestSupport::ScopedWorkingDirectory cwd;
    TestSupport::writeFile((cwd.path() / (std::string(l2aName) + ".zip")).string(), "");
    LocalLoader window;
    EXPECT_EQ(dialogs.fileRequests.size(), 1);
    EXPECT_TRUE(window.products.isEmpty());
    EXPECT_FALSE(QSettings().contains("localLoader/workingDirectory"));
    EXPECT_EQ(window.ui->lineEditLocalDirectory->text(), "");

    window.ui->pushButtonFilterClear->click();
    EXPECT_TRUE(window.products.isEmpty());
    EXPECT_EQ(window.ui->groupBoxResults->title(), "0 files found");
}

TEST_F(LocalLoaderWindow, ChangingTheDirectoryRescansAndRemembersIt)
{
    const QString empty = tree.path("empty");
    const auto window = openOn(empty);
    EXPECT_TRUE(window->products.isEmpty());

    // Cancelled: nothing changes.
    window->ui->toolButtonLocalChangeDir->click();
    ASSERT_EQ(dialogs.fileRequests.size(), 1);
    EXPECT_EQ(dialogs.fileRequests[0].directory, empty);
    EXPECT_EQ(dialogs.fileRequests[0].caption, "Select directory");
    EXPECT_EQ(dialogs.fileRequests[0].options, QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    EXPECT_EQ(window->workingDirectory, empty);
    EXPECT_EQ(QSettings().value("localLoader/workingDirectory").toString(), empty);

    dialogs.fileAnswers.append(QStringList{tree.root()});
    window->ui->toolButtonLocalChangeDir->click();
    EXPECT_EQ(window->workingDirectory, tree.root());
    EXPECT_EQ(window->ui->lineEditLocalDirectory->text(), tree.root());
    EXPECT_EQ(QSettings().value("localLoader/workingDirectory").toString(), tree.root());
    EXPECT_EQ(window->products.size(), 4);
}

namespace {

// The main window after its set-up, with two real products and an archive
// named like one below the browser's working directory.
class LocalLoaderHandOver : public ShellTest::Shell {
protected:
    void SetUp() override
    {
        Shell::SetUp();
        Sample::ProductSpec later;
        later.sensingTime = "20230602T095031";
        first = QString::fromStdString(Jp2ZipTest::copyOfProduct(folder.path(), {}).string());
        fs::create_directories(folder.path() / "later");
        second = QString::fromStdString(Jp2ZipTest::copyOfProduct(folder.path() / "later", later).string());
        TestSupport::writeFile((folder.path() / (std::string(l1cName) + ".zip")).string(), "");
        QSettings().setValue("localLoader/workingDirectory", QString::fromStdString(folder.path().string()));
    }
    void TearDown() override
    {
        QSettings().remove("localLoader/workingDirectory");
        Shell::TearDown();
    }

    TestSupport::TempDir folder;
    QString first;
    QString second;
    ShellTest::Dialogs dialogs;
    TaskRunner::ScopedInlineRunner inlineTasks;
};

} // namespace

TEST_F(LocalLoaderHandOver, LoadOpensTheCheckedArchivesThenTheWindowAsksToClose)
{
    window->on_actionLocal_Loader_triggered();
    const QPointer<LocalLoader> loader = window->localLoader;
    ASSERT_TRUE(loader);
    EXPECT_EQ(loader->windowModality(), Qt::WindowModal);
    ASSERT_EQ(loader->products.size(), 3);

    // Checked in the order the rows stand; the empty archive stays unchecked.
    QTreeWidget* results = loader->ui->treeWidgetLocalResults;
    QStringList expected;
    for (int row = 0; row < loader->products.size(); ++row) {
        const QString path = loader->products[row].path;
        if (path == first || path == second) {
            qobject_cast<QCheckBox*>(results->itemWidget(results->topLevelItem(row), 0))->setChecked(true);
            expected << loader->products[row].title;
        }
    }
    dialogs.answer = QMessageBox::No;
    TestSupport::quietly([&] { loader->ui->pushButtonLocalLoad->click(); });

    ASSERT_EQ(window->dataFiles.size(), 2);
    EXPECT_EQ(QString::fromStdString(window->dataFiles[0]->name), expected[0]);
    EXPECT_EQ(QString::fromStdString(window->dataFiles[1]->name), expected[1]);
    // No error box: only the close question, answered No, so the window stays.
    ASSERT_EQ(dialogs.requests.size(), 1);
    EXPECT_EQ(dialogs.requests[0].title, "Close Confirmation");
    ASSERT_TRUE(loader);
    EXPECT_TRUE(loader->isVisible());

    // Load with nothing checked opens nothing; Yes closes and deletes it.
    for (int row = 0; row < results->topLevelItemCount(); ++row)
        qobject_cast<QCheckBox*>(results->itemWidget(results->topLevelItem(row), 0))->setChecked(false);
    dialogs.answer = QMessageBox::Yes;
    loader->ui->pushButtonLocalLoad->click();
    EXPECT_EQ(dialogs.messageTexts(), QStringList({"Please select files to load"}));
    EXPECT_EQ(window->dataFiles.size(), 2);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(loader);
}
