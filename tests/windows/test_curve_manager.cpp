// The curve database window on a generated folder: listing, codes, filter,
// file info, check boxes, Load and the directory choice.

#include <filesystem>
#include <memory>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLineEdit>
#include <QToolButton>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include "app/test_dialogs.h"
#include "forms/CurveManagerForm.h"
#include "support/TestSupport.h"
#include "windows/CurveManager.h"

namespace {

namespace fs = std::filesystem;

QStringList comboTexts(const QComboBox* combo)
{
    QStringList out;
    for (int i = 0; i < combo->count(); ++i)
        out.append(combo->itemText(i));
    return out;
}

class CurveDatabase : public testing::Test {
protected:
    void SetUp() override
    {
        QSettings().remove("curveManager/dbDirectory");
        // Listed: names of at least three "_" parts ending in .kml whatever
        // their case or content; left out: AA_BB.kml, a .txt and what a
        // sub-folder holds.
        fs::create_directories(db.path() / "sub");
        for (const char* name : {"AA_BB_river.kml", "AA_BB.kml", "_BB_x.kml", "aa_BB_x.kml", "CC_DD_lake.KML",
                                 "AA_BB_notes.txt", "sub/AA_BB_deep.kml"})
            TestSupport::writeFile(db.file(name), "<kml/>");
        TestSupport::writeFile(db.file("CC_AA_garbage.kml"), std::string("\x01\x02 not a kml", 13));
    }

    void TearDown() override
    {
        manager.reset();
        QSettings().remove("curveManager/dbDirectory");
    }

    // A manager on the database folder.
    CurveManager& openOnDatabase()
    {
        QSettings().setValue("curveManager/dbDirectory", QString::fromStdString(db.path().string()));
        manager = std::make_unique<CurveManager>();
        return *manager;
    }

    QStringList resultNames()
    {
        QStringList out;
        QTreeWidget* tree = manager->ui->treeWidgetResults;
        for (int row = 0; row < tree->topLevelItemCount(); ++row)
            out.append(tree->topLevelItem(row)->text(1));
        return out;
    }

    QStringList infoRows()
    {
        QStringList out;
        QTreeWidget* tree = manager->ui->treeWidgetInfo;
        for (int row = 0; row < tree->topLevelItemCount(); ++row)
            out.append(tree->topLevelItem(row)->text(0) + "=" + tree->topLevelItem(row)->text(1));
        return out;
    }

    QCheckBox* box(int row)
    {
        QTreeWidget* tree = manager->ui->treeWidgetResults;
        return qobject_cast<QCheckBox*>(tree->itemWidget(tree->topLevelItem(row), 0));
    }

    void find(int area, int natura)
    {
        manager->ui->comboBoxAreaCode->setCurrentIndex(area);
        manager->ui->comboBoxNaturaCode->setCurrentIndex(natura);
        QTest::mouseClick(manager->ui->pushButtonFind, Qt::LeftButton);
    }

    QString dbPath() const { return QString::fromStdString(db.path().string()); }

    TestSupport::TempDir db;
    ShellTest::Dialogs dialogs;
    std::unique_ptr<CurveManager> manager;
};

TEST_F(CurveDatabase, FormAsDesigned)
{
    CurveManager& window = openOnDatabase();
    Ui::CurveManager* form = window.ui.get();
    EXPECT_EQ(window.windowTitle(), "Curve Manager");
    EXPECT_FALSE(window.windowIcon().isNull());
    EXPECT_EQ(form->groupBox->title(), "Find data");
    EXPECT_EQ(form->groupBox_3->title(), "File Info");
    EXPECT_EQ(form->label->text(), "Database directory:");
    EXPECT_EQ(form->label_2->text(), "Area code:");
    EXPECT_EQ(form->label_3->text(), "Natura 2000 code:");
    EXPECT_EQ(form->toolButtonCurveDbDir->text(), "...");
    EXPECT_EQ(form->pushButtonFind->text(), "Find");
    EXPECT_EQ(form->pushButtonSelectAll->text(), "Select all");
    EXPECT_EQ(form->pushButtonUnselectAll->text(), "Unselect all");
    EXPECT_EQ(form->pushButtonLoad->text(), "Load selected curves");
    QTreeWidget* results = form->treeWidgetResults;
    ASSERT_EQ(results->columnCount(), 2);
    EXPECT_EQ(results->headerItem()->text(0), "");
    EXPECT_EQ(results->headerItem()->text(1), "Name");
    EXPECT_EQ(results->indentation(), 2);
    EXPECT_EQ(results->editTriggers(), QAbstractItemView::NoEditTriggers);
    ASSERT_EQ(form->treeWidgetInfo->columnCount(), 2);
    EXPECT_EQ(form->treeWidgetInfo->headerItem()->text(0), "Attribute");
    EXPECT_EQ(form->treeWidgetInfo->headerItem()->text(1), "Value");
}

TEST_F(CurveDatabase, ListsTheFolderByNameWithCodesInOrderOfFirstAppearance)
{
    CurveManager& window = openOnDatabase();
    EXPECT_TRUE(dialogs.requests.isEmpty());
    EXPECT_EQ(window.ui->lineEditCurveDbDir->text(), dbPath());
    EXPECT_EQ(resultNames(),
              QStringList({"_BB_x.kml", "AA_BB_river.kml", "aa_BB_x.kml", "CC_AA_garbage.kml", "CC_DD_lake.KML"}));
    EXPECT_EQ(comboTexts(window.ui->comboBoxAreaCode), QStringList({"", "AA", "aa", "CC", "All"}));
    EXPECT_EQ(comboTexts(window.ui->comboBoxNaturaCode), QStringList({"BB", "AA", "DD", "All"}));
    EXPECT_EQ(window.ui->comboBoxAreaCode->currentText(), "All");
    EXPECT_EQ(window.ui->comboBoxNaturaCode->currentText(), "All");
    EXPECT_TRUE(window.ui->groupBox_2->isEnabled());
    EXPECT_TRUE(window.ui->pushButtonFind->isEnabled());
    EXPECT_EQ(window.ui->groupBox_2->title(), "5 Results found");
    // The first row is current and its info shown; boxes start unchecked and
    // carry their file's index.
    EXPECT_EQ(infoRows(), QStringList({"Name=_BB_x.kml", "Area code=", "Natura 2000 code=BB"}));
    for (int row = 0; row < 5; ++row) {
        EXPECT_FALSE(box(row)->isChecked());
        EXPECT_EQ(box(row)->property("id").toInt(), row);
        EXPECT_LE(box(row)->maximumWidth(), 20);
    }
}

TEST_F(CurveDatabase, FilterLooksForTheCodesAnywhereInTheWholePathCaseSensitively)
{
    openOnDatabase();
    struct Case {
        const char* name;
        int area;    // index in the area combo ("", AA, aa, CC, All)
        int natura;  // index in the Natura combo (BB, AA, DD, All)
        QStringList rows;
    };
    const std::vector<Case> cases{
        {"AA also matches the second field of another name, not aa", 1, 3,
         {"AA_BB_river.kml", "CC_AA_garbage.kml"}},
        {"aa is its own code", 2, 3, {"aa_BB_x.kml"}},
        {"the empty area code lets every file pass", 0, 3,
         {"_BB_x.kml", "AA_BB_river.kml", "aa_BB_x.kml", "CC_AA_garbage.kml", "CC_DD_lake.KML"}},
        {"both codes", 3, 2, {"CC_DD_lake.KML"}},
        {"no file holds both", 2, 2, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        find(c.area, c.natura);
        EXPECT_EQ(resultNames(), c.rows);
        EXPECT_EQ(manager->ui->groupBox_2->title(), QStringLiteral("%1 Results found").arg(c.rows.size()));
        if (c.rows.isEmpty())
            EXPECT_TRUE(infoRows().isEmpty());
        else
            EXPECT_EQ(infoRows().first(), "Name=" + c.rows.first());
    }
}

TEST_F(CurveDatabase, TheDatabasePathTakesPartInTheFilter)
{
    // A folder whose own name holds the code DD.
    TestSupport::TempDir parent;
    const fs::path folder = parent.path() / "DD_curves";
    fs::create_directories(folder);
    for (const char* name : {"AA_BB_one.kml", "CC_DD_two.kml"})
        TestSupport::writeFile((folder / name).string(), "");
    QSettings().setValue("curveManager/dbDirectory", QString::fromStdString(folder.string()));
    manager = std::make_unique<CurveManager>();
    find(3, 1);  // All, DD
    EXPECT_EQ(resultNames(), QStringList({"AA_BB_one.kml", "CC_DD_two.kml"}));
}

TEST_F(CurveDatabase, InfoFollowsTheCurrentRowAndLoadListsCheckedRowsInOrder)
{
    CurveManager& window = openOnDatabase();
    QTreeWidget* results = window.ui->treeWidgetResults;
    results->setCurrentItem(results->topLevelItem(3));
    EXPECT_EQ(infoRows(), QStringList({"Name=CC_AA_garbage.kml", "Area code=CC", "Natura 2000 code=AA"}));

    QTest::mouseClick(window.ui->pushButtonLoad, Qt::LeftButton);
    EXPECT_TRUE(window.selectedCurveFiles.isEmpty());

    box(4)->setChecked(true);
    box(1)->setChecked(true);
    QTest::mouseClick(window.ui->pushButtonLoad, Qt::LeftButton);
    EXPECT_EQ(window.selectedCurveFiles,
              QStringList({dbPath() + "/AA_BB_river.kml", dbPath() + "/CC_DD_lake.KML"}));

    QTest::mouseClick(window.ui->pushButtonSelectAll, Qt::LeftButton);
    for (int row = 0; row < results->topLevelItemCount(); ++row)
        EXPECT_TRUE(box(row)->isChecked());
    QTest::mouseClick(window.ui->pushButtonUnselectAll, Qt::LeftButton);
    for (int row = 0; row < results->topLevelItemCount(); ++row)
        EXPECT_FALSE(box(row)->isChecked());
}

TEST_F(CurveDatabase, AnEmptyFolderIsReportedAtConstruction)
{
    TestSupport::TempDir empty;
    TestSupport::writeFile(empty.file("AA_BB.kml"), "");
    struct Case {
        const char* name;
        QString stored;  // empty: the default "<working directory>/curves", missing here
    };
    const std::vector<Case> cases{
        {"no usable name", QString::fromStdString(empty.path().string())},
        {"a missing folder", QString::fromStdString(empty.file("missing"))},
        {"the default folder", QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestSupport::ScopedWorkingDirectory cwd;
        QSettings().setValue("curveManager/dbDirectory", c.stored);
        dialogs.requests.clear();
        manager = std::make_unique<CurveManager>();
        EXPECT_EQ(dialogs.messageTexts(), QStringList({"No curve files in selected directory."}));
        EXPECT_EQ(dialogs.requests[0].icon, 0);
        EXPECT_EQ(manager->ui->treeWidgetResults->topLevelItemCount(), 0);
        EXPECT_EQ(manager->ui->treeWidgetInfo->topLevelItemCount(), 0);
        EXPECT_FALSE(manager->ui->groupBox_2->isEnabled());
        EXPECT_FALSE(manager->ui->pushButtonFind->isEnabled());
        EXPECT_EQ(manager->ui->groupBox_2->title(), "0 Results found");
        if (c.stored.isEmpty()) {
            EXPECT_EQ(manager->ui->lineEditCurveDbDir->text(), QDir::currentPath() + "/curves");
        }
    }
}

TEST_F(CurveDatabase, ChoosingADirectoryStoresItAndScansIt)
{
    CurveManager& window = openOnDatabase();
    box(0)->setChecked(true);
    QTest::mouseClick(window.ui->pushButtonLoad, Qt::LeftButton);
    ASSERT_EQ(window.selectedCurveFiles.size(), 1);

    // Cancelled: nothing changes.
    QTest::mouseClick(window.ui->toolButtonCurveDbDir, Qt::LeftButton);
    ASSERT_EQ(dialogs.fileRequests.size(), 1);
    const FileDialogRequest& request = dialogs.fileRequests[0];
    EXPECT_EQ(request.kind, FileDialogRequest::Kind::Directory);
    EXPECT_EQ(request.caption, "Select directory");
    EXPECT_EQ(request.directory, dbPath());
    EXPECT_EQ(request.options, QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    EXPECT_EQ(resultNames().size(), 5);
    EXPECT_EQ(window.selectedCurveFiles.size(), 1);
    window.ui->treeWidgetResults->setCurrentItem(window.ui->treeWidgetResults->topLevelItem(1));
    EXPECT_EQ(infoRows().first(), "Name=AA_BB_river.kml");

    TestSupport::TempDir other;
    TestSupport::writeFile(other.file("EE_FF_pond.kml"), "");
    const QString otherPath = QString::fromStdString(other.path().string());
    dialogs.fileAnswers = {{otherPath}};
    QTest::mouseClick(window.ui->toolButtonCurveDbDir, Qt::LeftButton);
    EXPECT_EQ(QSettings().value("curveManager/dbDirectory").toString(), otherPath);
    EXPECT_EQ(window.ui->lineEditCurveDbDir->text(), otherPath);
    EXPECT_EQ(resultNames(), QStringList({"EE_FF_pond.kml"}));
    EXPECT_EQ(infoRows(), QStringList({"Name=EE_FF_pond.kml", "Area code=EE", "Natura 2000 code=FF"}));
    EXPECT_TRUE(window.selectedCurveFiles.isEmpty());

    // A folder without curve files: no stale info, count 0.
    TestSupport::TempDir none;
    dialogs.fileAnswers = {{QString::fromStdString(none.path().string())}};
    QTest::mouseClick(window.ui->toolButtonCurveDbDir, Qt::LeftButton);
    EXPECT_TRUE(resultNames().isEmpty());
    EXPECT_TRUE(infoRows().isEmpty());
    EXPECT_EQ(window.ui->groupBox_2->title(), "0 Results found");
    EXPECT_FALSE(window.ui->pushButtonFind->isEnabled());
    EXPECT_EQ(dialogs.messageTexts(), QStringList({"No curve files in selected directory."}));
}

} // namespace
