// The habitat plot table editor in a temporary working directory with a
// generated "habitats/habitatCodes.csv": the form, the code list, loading,
// saving, and the editing of the table through real editors.

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>

#include <QAbstractItemDelegate>
#include <QApplication>
#include <QComboBox>
#include <QHash>
#include <QInputDialog>
#include <QTimer>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QSplitter>
#include <QTableWidget>
#include <QTest>
#include <QTextStream>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include "app/test_dialogs.h"
#include "app/test_main_window_support.h"
#include "forms/HabitatManagerForm.h"
#include "io/HabitatPlotFile.h"
#include "support/FileSizeLimit.h"
#include "support/TestSupport.h"
#include "windows/ComboBoxItemDelegate.h"
#include "windows/HabitatManager.h"

namespace {

namespace fs = std::filesystem;

constexpr char folderKey[] = "habitatManager/folderHabitatFileOpenPath";

const std::string header =
    "Plot ID;Natura 2000;EUNIS;Habitat;Syntaxon;Community;Latitude;Longitude;Date;Altitude(m);Aspect(degrees);"
    "Slope(degrees);Cover trees;Cover shrubs;Cover herbs;Locality";

const std::string codeList = "6510;Lowland hay meadows\n"
                             "91E0;Alluvial forests\n"
                             "9110;Luzulo-Fagetum beech forests\n";

// Three plots: a known code with another name, a known code, an unlisted code.
const std::string row1 = "1;6510;R22;Some other name;Arrhenatherion;c1;48.1;17.7;2021.6.30;150;180;5;0;10;90;"
                         "meadow by the river";
const std::string row2 = "2;91E0;G1.21;Alluvial forests;Alnion;c2;48.2;17.8;2021.7.1;140;90;2;80;10;30;"
                         "riverside forest";
const std::string row3 = "3;ZZ99;X;Unlisted habitat;S;c3;48.3;17.9;2021.8.2;130;0;0;0;0;100;upper field";
const std::string fixture = header + "\n" + row1 + "\n" + row2 + "\n" + row3 + "\n";

QString q(const std::string& text)
{
    return QString::fromStdString(text);
}

class HabitatManagerTest : public testing::Test {
protected:
    void SetUp() override
    {
        QSettings().remove(folderKey);
        fs::create_directories(work.path() / "habitats");
        fs::create_directories(work.path() / "plots");
        writeCodes(codeList);
        TestSupport::writeFile(plotPath(), fixture);
    }

    void TearDown() override
    {
        manager.reset();
        QSettings().remove(folderKey);
    }

    void writeCodes(const std::string& text) { TestSupport::writeFile("habitats/habitatCodes.csv", text); }
    std::string plotPath(const std::string& name = "plots.csv") const
    {
        return (work.path() / "plots" / name).string();
    }

    HabitatManager& open()
    {
        manager = std::make_unique<HabitatManager>();
        manager->show();
        return *manager;
    }

    QTableWidget* table() const { return manager->ui->tableWidget; }

    void load(const std::string& path)
    {
        dialogs.fileAnswers.append(QStringList{q(path)});
        manager->ui->actionLoad->trigger();
    }

    QString cell(int row, int column) const
    {
        const QTableWidgetItem* item = table()->item(row, column);
        return item ? item->text() : QString();
    }

    QStringList rowTexts(int row) const
    {
        QStringList out;
        for (int column = 0; column < 16; ++column)
            out.append(cell(row, column));
        return out;
    }

    // The row whose "Plot ID" is id; -1 when none.
    int rowOf(const QString& id) const
    {
        for (int row = 0; row < table()->rowCount(); ++row) {
            if (cell(row, 0) == id)
                return row;
        }
        return -1;
    }

    // Every row joined by ";", sorted: the table's content without its order.
    QStringList contentLines() const
    {
        QStringList out;
        for (int row = 0; row < table()->rowCount(); ++row)
            out.append(rowTexts(row).join(';'));
        out.sort();
        return out;
    }

    QStringList warnings() const
    {
        QStringList out;
        for (const MessageBoxRequest& request : dialogs.requests) {
            if (request.kind == MessageBoxRequest::Kind::Warning)
                out.append(request.text);
        }
        return out;
    }

    QStringList questions() const
    {
        QStringList out;
        for (const MessageBoxRequest& request : dialogs.requests) {
            if (request.kind == MessageBoxRequest::Kind::Question)
                out.append(request.text);
        }
        return out;
    }

    // Opens the view's editor on (row, column) after making it the current
    // cell, and returns it (null when none opened).
    QWidget* openEditor(int row, int column, bool makeCurrent = true)
    {
        if (makeCurrent)
            table()->setCurrentCell(row, column);
        table()->edit(table()->model()->index(row, column));
        for (QWidget* child : table()->viewport()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (!child->isHidden() && (qobject_cast<QComboBox*>(child) || qobject_cast<QLineEdit*>(child)))
                return child;
        }
        return nullptr;
    }

    // Ends editing with Return as the user does: the delegate commits the
    // editor's value (queued) and closes it.
    void pressReturn(QWidget* editor)
    {
        QTest::keyClick(editor, Qt::Key_Return);
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Types text into the standard editor of (row, column) and commits it.
    void typeInto(int row, int column, const QString& text)
    {
        QWidget* editor = openEditor(row, column);
        ASSERT_NE(editor, nullptr);
        auto* line = qobject_cast<QLineEdit*>(editor);
        if (auto* combo = qobject_cast<QComboBox*>(editor))
            line = combo->lineEdit();
        ASSERT_NE(line, nullptr);
        line->setText(text);
        pressReturn(editor);
    }

    TestSupport::ScopedWorkingDirectory work;
    ShellTest::Dialogs dialogs;
    std::unique_ptr<HabitatManager> manager;
};

// ---------------------------------------------------------------------------
// Window and form
// ---------------------------------------------------------------------------

TEST_F(HabitatManagerTest, FormAsDesigned)
{
    HabitatManager& window = open();
    Ui::HabitatManager* form = window.ui.get();
    EXPECT_EQ(window.objectName(), "HabitatManager");
    EXPECT_EQ(window.windowTitle(), "Habitat manager");
    EXPECT_FALSE(window.windowIcon().isNull());
    EXPECT_EQ(window.font().pointSize(), 8);
    EXPECT_TRUE(window.windowState() & Qt::WindowMaximized);

    EXPECT_EQ(form->pushButton_addPlot->text(), "Add Plot");
    EXPECT_FALSE(form->pushButton_addPlot->icon().isNull());
    EXPECT_EQ(form->pushButton_removePlot->text(), "Remove Plot");
    EXPECT_FALSE(form->pushButton_removePlot->icon().isNull());
    EXPECT_EQ(form->label_filterHabitat->text(), "Filtering");
    EXPECT_EQ(form->splitter->orientation(), Qt::Vertical);
    ASSERT_EQ(form->splitter->count(), 2);
    EXPECT_EQ(form->splitter->widget(0), form->tableWidget);
    EXPECT_TRUE(form->splitter->widget(1)->isAncestorOf(form->lineEdit_filterHabitat));
    EXPECT_EQ(form->splitter->widget(1)->layout()->contentsMargins(), QMargins(0, 0, 0, 0));
    EXPECT_EQ(form->menuFile->title(), "File");
    ASSERT_EQ(form->menuFile->actions().size(), 3);
    EXPECT_EQ(form->menuFile->actions()[0], form->actionLoad);
    EXPECT_EQ(form->actionLoad->text(), "Load");
    EXPECT_EQ(form->actionSave->text(), "Save");
    EXPECT_EQ(form->actionSave_as->text(), "Save as");

    QTableWidget* t = form->tableWidget;
    ASSERT_EQ(t->columnCount(), 16);
    QStringList titles;
    for (int column = 0; column < 16; ++column)
        titles.append(t->horizontalHeaderItem(column)->text());
    EXPECT_EQ(titles.join(';'), q(header));
    EXPECT_TRUE(t->isSortingEnabled());
    EXPECT_TRUE(t->alternatingRowColors());
    EXPECT_FALSE(t->showGrid());
    EXPECT_EQ(t->rowCount(), 0);
    EXPECT_EQ(window.currentFilePath, "");
    EXPECT_EQ(window.plotCount, 0);
    EXPECT_TRUE(dialogs.requests.isEmpty());
}

TEST_F(HabitatManagerTest, OpenedAsTheMainWindowOpensItTopLevelWindowModalAndDeletedOnClose)
{
    QPointer<HabitatManager> first = new HabitatManager(nullptr);
    QPointer<HabitatManager> second = new HabitatManager(nullptr);
    for (HabitatManager* window : {first.data(), second.data()}) {
        EXPECT_FALSE(window->isVisible());  // the opener shows it after setting the modality
        window->setWindowModality(Qt::WindowModal);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->show();
        EXPECT_TRUE(window->isVisible());
        EXPECT_TRUE(window->isWindow());
        EXPECT_EQ(window->parent(), nullptr);
        EXPECT_EQ(window->windowModality(), Qt::WindowModal);
        EXPECT_TRUE(window->windowState() & Qt::WindowMaximized);
    }
    first->close();
    second->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    EXPECT_TRUE(second.isNull());
}

// ---------------------------------------------------------------------------
// Code list
// ---------------------------------------------------------------------------

TEST_F(HabitatManagerTest, CodeListIsReadLaterLinesOfACodeWinShortLinesSkipped)
{
    writeCodes("6510;Meadows\r\n\n91E0;Forests;extra field\nlonely\n6510;Lowland hay meadows\n");
    HabitatManager& window = open();
    EXPECT_TRUE(warnings().isEmpty());
    EXPECT_EQ(window.habitatCodes.size(), 2);
    EXPECT_EQ(window.habitatCodes.value("6510"), "Lowland hay meadows");
    EXPECT_EQ(window.habitatCodes.value("91E0"), "Forests");
    EXPECT_TRUE(window.loadHabitatCodes());
}

TEST_F(HabitatManagerTest, MissingCodeListWarnsAndTheWindowStillWorks)
{
    fs::remove("habitats/habitatCodes.csv");
    HabitatManager& window = open();
    ASSERT_EQ(dialogs.requests.size(), 1);
    EXPECT_EQ(dialogs.requests[0].kind, MessageBoxRequest::Kind::Warning);
    EXPECT_EQ(dialogs.requests[0].title, "Habitat Manager");
    EXPECT_EQ(dialogs.requests[0].text, "habitatCodes.csv file is missing. Please contact developers.");
    EXPECT_EQ(dialogs.requests[0].parent, &window);
    EXPECT_TRUE(window.habitatCodes.isEmpty());
    EXPECT_FALSE(window.loadHabitatCodes());

    load(plotPath());
    ASSERT_EQ(table()->rowCount(), 3);
    // Without a code list every row keeps the name of its file.
    EXPECT_EQ(cell(rowOf("1"), 3), "Some other name");
}

TEST_F(HabitatManagerTest, CodeListWithAThreeFieldFirstLineEntersNothing)
{
    writeCodes("6510;Lowland hay meadows;x\n91E0;Alluvial forests\n");
    HabitatManager& window = open();
    EXPECT_EQ(warnings(), QStringList{"Habitats Codes file has incorrect structure."});
    EXPECT_TRUE(window.habitatCodes.isEmpty());
    EXPECT_TRUE(window.loadHabitatCodes());
}

// ---------------------------------------------------------------------------
// Loading
// ---------------------------------------------------------------------------

TEST_F(HabitatManagerTest, LoadShowsThePlotsWithTheCodeListsNames)
{
    HabitatManager& window = open();
    load(plotPath());
    ASSERT_EQ(dialogs.fileRequests.size(), 1);
    EXPECT_EQ(dialogs.fileRequests[0].kind, FileDialogRequest::Kind::OpenFile);
    EXPECT_EQ(dialogs.fileRequests[0].caption, "Load habitat data");
    EXPECT_EQ(dialogs.fileRequests[0].directory, "");
    EXPECT_EQ(dialogs.fileRequests[0].filter, "csv (*.csv);;All files (*)");
    EXPECT_EQ(dialogs.fileRequests[0].parent, &window);
    EXPECT_TRUE(dialogs.requests.isEmpty());

    ASSERT_EQ(table()->rowCount(), 3);
    EXPECT_EQ(window.plotCount, 3);
    // Ordered by "Plot ID" ascending, the sort indicator's start.
    EXPECT_EQ(cell(0, 0), "1");
    EXPECT_EQ(cell(2, 0), "3");
    QStringList expected1 = q(row1).split(';');
    expected1[3] = "Lowland hay meadows";  // the known code's name replaces the file's
    EXPECT_EQ(rowTexts(0), expected1);
    EXPECT_EQ(rowTexts(1), q(row2).split(';'));
    EXPECT_EQ(rowTexts(2), q(row3).split(';'));
    // An unlisted code takes its row's name into the code table.
    EXPECT_EQ(window.habitatCodes.value("ZZ99"), "Unlisted habitat");
    for (int row = 0; row < 3; ++row)
        EXPECT_FALSE(table()->item(row, 3)->flags() & Qt::ItemIsEditable) << row;
    EXPECT_TRUE(table()->item(0, 0)->flags() & Qt::ItemIsEditable);

    EXPECT_EQ(window.currentFilePath, q(plotPath()));
    EXPECT_EQ(QSettings().value(folderKey).toString(), q((work.path() / "plots").string()));
    EXPECT_TRUE(table()->isSortingEnabled());

    // The next load starts in that folder.
    load(plotPath());
    ASSERT_EQ(dialogs.fileRequests.size(), 2);
    EXPECT_EQ(dialogs.fileRequests[1].directory, q((work.path() / "plots").string()));
}

TEST_F(HabitatManagerTest, UnknownCodeTakesItsFirstRowsNameAndCodesAreComparedTrimmed)
{
    TestSupport::writeFile(plotPath("names.csv"), header + "\n" +
                                                      "1;NEW;;first name;;;;;;;;;;;;a\n"
                                                      "2;NEW;;second name;;;;;;;;;;;;b\n"
                                                      "3;  6510 ;;file name;;;;;;;;;;;;c\n");
    HabitatManager& window = open();
    load(plotPath("names.csv"));
    ASSERT_EQ(table()->rowCount(), 3);
    EXPECT_EQ(cell(rowOf("1"), 3), "first name");
    EXPECT_EQ(cell(rowOf("2"), 3), "first name");
    EXPECT_EQ(cell(rowOf("3"), 3), "Lowland hay meadows");
    EXPECT_EQ(cell(rowOf("3"), 1), "  6510 ");  // the cell keeps its blanks
    EXPECT_EQ(window.habitatCodes.value("NEW"), "first name");
    EXPECT_FALSE(window.habitatCodes.contains("  6510 "));
}

TEST_F(HabitatManagerTest, LoadingTwiceYesAppendsNoReplaces)
{
    HabitatManager& window = open();
    load(plotPath());
    dialogs.answer = QMessageBox::Yes;
    load(plotPath());
    ASSERT_EQ(dialogs.requests.size(), 1);
    EXPECT_EQ(dialogs.requests[0].kind, MessageBoxRequest::Kind::Question);
    EXPECT_EQ(dialogs.requests[0].title, "Habitat Manager");
    EXPECT_EQ(dialogs.requests[0].text, "Do you want to append loaded data?");
    EXPECT_EQ(dialogs.requests[0].buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(dialogs.requests[0].defaultButton, QMessageBox::NoButton);
    EXPECT_EQ(table()->rowCount(), 6);
    EXPECT_EQ(window.plotCount, 6);

    dialogs.answer = QMessageBox::No;
    load(plotPath());
    EXPECT_EQ(questions().size(), 2);
    EXPECT_EQ(table()->rowCount(), 3);
    EXPECT_EQ(window.plotCount, 3);
    EXPECT_EQ(contentLines().size(), 3);
}

TEST_F(HabitatManagerTest, RemovingEveryRowStillAsksToAppend)
{
    HabitatManager& window = open();
    load(plotPath());
    table()->selectAll();
    dialogs.answer = QMessageBox::Yes;
    window.ui->pushButton_removePlot->click();
    EXPECT_EQ(table()->rowCount(), 0);
    EXPECT_EQ(window.plotCount, 3);
    load(plotPath());
    EXPECT_EQ(questions().last(), "Do you want to append loaded data?");
    EXPECT_EQ(table()->rowCount(), 3);
}

TEST_F(HabitatManagerTest, RejectedHeaderChangesNothing)
{
    fs::create_directories(work.path() / "other");
    const std::string bad = (work.path() / "other" / "bad.csv").string();
    TestSupport::writeFile(bad, ";;;;;;;;;;;;;;\n" + row1 + "\n");  // 15 fields

    HabitatManager& window = open();
    // Before any accepted load the column-1 editor stays the plain one.
    load(bad);
    EXPECT_EQ(warnings(), QStringList{"The csv file has incorrect header structure."});
    EXPECT_EQ(table()->rowCount(), 0);
    EXPECT_EQ(window.currentFilePath, "");
    EXPECT_FALSE(QSettings().contains(folderKey));
    EXPECT_EQ(table()->itemDelegateForColumn(1), nullptr);

    load(plotPath());
    QAbstractItemDelegate* delegate = table()->itemDelegateForColumn(1);
    ASSERT_NE(delegate, nullptr);
    const QStringList before = contentLines();
    dialogs.requests.clear();
    load(bad);
    // No append question: the header is checked first.
    EXPECT_EQ(warnings(), QStringList{"The csv file has incorrect header structure."});
    EXPECT_TRUE(questions().isEmpty());
    EXPECT_EQ(contentLines(), before);
    EXPECT_EQ(window.plotCount, 3);
    EXPECT_EQ(window.currentFilePath, q(plotPath()));
    EXPECT_EQ(QSettings().value(folderKey).toString(), q((work.path() / "plots").string()));
    EXPECT_EQ(table()->itemDelegateForColumn(1), delegate);
    EXPECT_TRUE(table()->isSortingEnabled());
}

// Tables beyond the reader's ceilings (a sparse file a byte over the size,
// a plot line too many) are refused before they are read or split, and like
// a rejected header they change nothing.
TEST_F(HabitatManagerTest, FilesBeyondTheReadersCeilingsAreRefusedAndChangeNothing)
{
    namespace HPF = IO::HabitatPlotFile;
    fs::create_directories(work.path() / "other");
    const std::string huge = (work.path() / "other" / "huge.csv").string();
    TestSupport::writeFile(huge, ";;;;;;;;;;;;;;;\n" + row1 + "\n");
    fs::resize_file(huge, HPF::maxFileBytes + 1);
    const std::string many = (work.path() / "other" / "many.csv").string();
    std::string lines = ";;;;;;;;;;;;;;;\n";
    for (std::size_t i = 0; i <= HPF::maxRows; ++i)
        lines += "x\n";
    TestSupport::writeFile(many, lines);

    HabitatManager& window = open();
    load(plotPath());
    const QStringList before = contentLines();
    for (const std::string& path : {huge, many}) {
        SCOPED_TRACE(path);
        dialogs.requests.clear();
        const TestSupport::PeakMemory memory;
        load(path);
        EXPECT_LT(memory.peakGrowthKilobytes(), 32L * 1024);
        EXPECT_EQ(warnings(), QStringList{"The csv file is too large: it may have at most 64 MiB, 100000 lines and "
                                          "2000000 fields."});
        EXPECT_TRUE(questions().isEmpty());
        EXPECT_EQ(contentLines(), before);
        EXPECT_EQ(window.plotCount, 3);
        EXPECT_EQ(window.currentFilePath, q(plotPath()));
    }
}

TEST_F(HabitatManagerTest, CodeListBeyondTheCeilingsEntersNothing)
{
    writeCodes("6510;Meadows\n");
    fs::resize_file("habitats/habitatCodes.csv", IO::HabitatPlotFile::maxFileBytes + 1);
    HabitatManager& window = open();
    EXPECT_EQ(warnings(), QStringList{"The habitat code list is too large: it may have at most 64 MiB, 100000 lines "
                                      "and 2000000 fields."});
    EXPECT_TRUE(window.habitatCodes.isEmpty());
}

TEST_F(HabitatManagerTest, UnopenableFileWarnsAndChangesNothing)
{
    HabitatManager& window = open();
    load(plotPath("missing.csv"));
    EXPECT_EQ(warnings(), QStringList{"Unable to open file."});
    EXPECT_EQ(dialogs.requests[0].title, "Habitat Manager");
    EXPECT_EQ(window.currentFilePath, "");
    EXPECT_EQ(table()->rowCount(), 0);
    EXPECT_FALSE(QSettings().contains(folderKey));
}

TEST_F(HabitatManagerTest, CancelledDialogsChangeNothingAndSortingStillWorks)
{
    HabitatManager& window = open();
    load(plotPath());
    window.ui->actionLoad->trigger();     // cancelled
    window.ui->actionSave_as->trigger();  // cancelled
    EXPECT_EQ(dialogs.fileRequests.size(), 3);
    EXPECT_TRUE(dialogs.requests.isEmpty());
    EXPECT_EQ(table()->rowCount(), 3);
    EXPECT_EQ(window.currentFilePath, q(plotPath()));

    table()->horizontalHeader()->setSortIndicator(0, Qt::DescendingOrder);
    EXPECT_EQ(cell(0, 0), "3");
    window.sortTable(15);  // Locality ascending, as text
    EXPECT_EQ(cell(0, 15), "meadow by the river");
    EXPECT_EQ(cell(1, 15), "riverside forest");
    EXPECT_EQ(cell(2, 15), "upper field");
}

TEST_F(HabitatManagerTest, ShortLongAndBlankLinesLoadAndAreNamedInOneWarning)
{
    std::string longLine = row1;
    for (int i = 0; i < 4; ++i)
        longLine += ";extra" + std::to_string(i);
    TestSupport::writeFile(plotPath("odd.csv"), header + "\r\n" + longLine + "\r\n\r\n" + "5;6510;E;n\r\n" +
                                                    "6;91E0\r\n" + "7\r\n" + row2 + "\r\n" + "   \r\n");
    HabitatManager& window = open();
    load(plotPath("odd.csv"));
    ASSERT_EQ(table()->rowCount(), 5);
    EXPECT_EQ(window.plotCount, 5);

    QStringList expected1 = q(row1).split(';');
    expected1[3] = "Lowland hay meadows";
    EXPECT_EQ(rowTexts(rowOf("1")), expected1);  // fields past 16 dropped

    const int four = rowOf("5");
    EXPECT_EQ(cell(four, 2), "E");
    EXPECT_EQ(cell(four, 3), "Lowland hay meadows");
    EXPECT_EQ(table()->item(four, 4), nullptr);
    EXPECT_EQ(table()->item(four, 15), nullptr);

    const int two = rowOf("6");
    EXPECT_EQ(cell(two, 1), "91E0");
    EXPECT_EQ(table()->item(two, 2), nullptr);
    ASSERT_NE(table()->item(two, 3), nullptr);
    EXPECT_EQ(cell(two, 3), "Alluvial forests");
    EXPECT_FALSE(table()->item(two, 3)->flags() & Qt::ItemIsEditable);

    const int one = rowOf("7");
    ASSERT_NE(one, -1);
    EXPECT_EQ(table()->item(one, 1), nullptr);
    ASSERT_NE(table()->item(one, 3), nullptr);
    EXPECT_FALSE(table()->item(one, 3)->flags() & Qt::ItemIsEditable);

    ASSERT_EQ(dialogs.requests.size(), 1);
    EXPECT_EQ(dialogs.requests[0].kind, MessageBoxRequest::Kind::Warning);
    EXPECT_EQ(dialogs.requests[0].title, "Habitat Manager");
    const QString text = dialogs.requests[0].text;
    EXPECT_TRUE(text.contains("line 2: 20 fields instead of 16")) << text.toStdString();
    EXPECT_TRUE(text.contains("line 4: 4 fields instead of 16")) << text.toStdString();
    EXPECT_TRUE(text.contains("line 5: 2 fields instead of 16")) << text.toStdString();
    EXPECT_TRUE(text.contains("line 6: 1 fields instead of 16")) << text.toStdString();
    EXPECT_FALSE(text.contains("line 7")) << text.toStdString();
}

TEST_F(HabitatManagerTest, ManyOddLinesAreNamedUpToTenInTheWarning)
{
    std::string text = header + "\n";
    for (int i = 0; i < 25; ++i)
        text += std::to_string(i) + ";6510\n";
    TestSupport::writeFile(plotPath("many.csv"), text);
    open();
    load(plotPath("many.csv"));
    EXPECT_EQ(table()->rowCount(), 25);
    ASSERT_EQ(warnings().size(), 1);
    EXPECT_TRUE(warnings()[0].contains("line 11: 2 fields"));
    EXPECT_FALSE(warnings()[0].contains("line 12: 2 fields"));
    EXPECT_TRUE(warnings()[0].contains("15 more"));
}

// ---------------------------------------------------------------------------
// Saving
// ---------------------------------------------------------------------------

TEST_F(HabitatManagerTest, SaveAsAndLoadAgainGiveTheSameRows)
{
    HabitatManager& window = open();
    load(plotPath());
    const QStringList loaded = contentLines();
    const std::string out = plotPath("out.csv");
    dialogs.fileAnswers.append(QStringList{q(out)});
    window.ui->actionSave_as->trigger();
    ASSERT_EQ(dialogs.fileRequests.size(), 2);
    EXPECT_EQ(dialogs.fileRequests[1].kind, FileDialogRequest::Kind::SaveFile);
    EXPECT_EQ(dialogs.fileRequests[1].caption, "Select file name");
    EXPECT_EQ(dialogs.fileRequests[1].directory, "");
    EXPECT_EQ(dialogs.fileRequests[1].filter, "csv (*.csv);;All files (*)");
    EXPECT_TRUE(dialogs.requests.isEmpty());
    EXPECT_EQ(window.currentFilePath, q(plotPath()));  // Save as never changes it

    // UTF-8 without a byte-order mark, LF, the header, the rows in table order
    // with the code list's name.
    std::string expected1 = row1;
    expected1.replace(expected1.find("Some other name"), 15, "Lowland hay meadows");
    EXPECT_EQ(TestSupport::readFile(out), header + "\n" + expected1 + "\n" + row2 + "\n" + row3 + "\n");

    auto second = std::make_unique<HabitatManager>();
    std::swap(manager, second);
    load(out);
    EXPECT_EQ(contentLines(), loaded);
    std::swap(manager, second);
}

TEST_F(HabitatManagerTest, RoundTripKeepsNonAsciiTextAndDropsAllEmptyRows)
{
    HabitatManager& window = open();
    load(plotPath());
    table()->item(rowOf("3"), 15)->setText(QString::fromUtf8("Lúčka pod Kriváňom"));
    window.ui->pushButton_addPlot->click();  // a row of sixteen empty cells
    const std::string out = plotPath("out.csv");
    dialogs.fileAnswers.append(QStringList{q(out)});
    window.ui->actionSave_as->trigger();
    const std::string written = TestSupport::readFile(out);
    EXPECT_NE(written.find("Lúčka pod Kriváňom\n"), std::string::npos);
    EXPECT_EQ(written.find(";;;;;;;;;;;;;;;\n"), std::string::npos);
    EXPECT_EQ(written.find('\r'), std::string::npos);
    EXPECT_NE(written.substr(0, 3), "\xEF\xBB\xBF");

    auto second = std::make_unique<HabitatManager>();
    std::swap(manager, second);
    load(out);
    EXPECT_EQ(table()->rowCount(), 3);
    EXPECT_EQ(cell(rowOf("3"), 15), QString::fromUtf8("Lúčka pod Kriváňom"));
    std::swap(manager, second);
}

TEST_F(HabitatManagerTest, SaveAnsweredNoLeavesTheFileByteIdentical)
{
    HabitatManager& window = open();
    load(plotPath());
    table()->item(0, 15)->setText("changed");
    dialogs.answer = QMessageBox::No;
    window.ui->actionSave->trigger();
    ASSERT_EQ(dialogs.requests.size(), 1);
    EXPECT_EQ(dialogs.requests[0].kind, MessageBoxRequest::Kind::Question);
    EXPECT_EQ(dialogs.requests[0].title, "Habitat Manager");
    EXPECT_EQ(dialogs.requests[0].text, "The existing file will be replaced. Do you wanto to continue?");
    EXPECT_EQ(dialogs.requests[0].defaultButton, QMessageBox::NoButton);
    EXPECT_EQ(TestSupport::readFile(plotPath()), fixture);
    EXPECT_EQ(dialogs.fileRequests.size(), 1);  // only the load's

    dialogs.answer = QMessageBox::Yes;
    window.ui->actionSave->trigger();
    const std::string written = TestSupport::readFile(plotPath());
    EXPECT_NE(written.find(";changed\n"), std::string::npos);
    EXPECT_EQ(written.find("Some other name"), std::string::npos);
    EXPECT_EQ(window.currentFilePath, q(plotPath()));
}

TEST_F(HabitatManagerTest, SaveWithoutALoadedFileAsksForANameAndKeepsNoPath)
{
    HabitatManager& window = open();
    window.ui->pushButton_addPlot->click();
    table()->setItem(0, 0, new QTableWidgetItem("9"));
    const std::string out = plotPath("new.csv");
    dialogs.fileAnswers.append(QStringList{q(out)});
    window.ui->actionSave->trigger();
    ASSERT_EQ(dialogs.fileRequests.size(), 1);
    EXPECT_EQ(dialogs.fileRequests[0].caption, "Select file name");
    EXPECT_TRUE(dialogs.requests.isEmpty());
    EXPECT_EQ(TestSupport::readFile(out), header + "\n9;;;;;;;;;;;;;;;\n");
    EXPECT_EQ(window.currentFilePath, "");
}

TEST_F(HabitatManagerTest, CellsWithASemicolonOrALineBreakAreRefusedNamingTheCell)
{
    HabitatManager& window = open();
    load(plotPath());
    typeInto(rowOf("2"), 15, "river;side");
    ASSERT_EQ(cell(1, 15), "river;side");

    window.ui->actionSave->trigger();
    window.ui->actionSave_as->trigger();
    ASSERT_EQ(dialogs.requests.size(), 2);
    for (const MessageBoxRequest& request : dialogs.requests) {
        EXPECT_EQ(request.kind, MessageBoxRequest::Kind::Warning);
        EXPECT_EQ(request.title, "Habitat Manager");
        EXPECT_TRUE(request.text.contains("row 2")) << request.text.toStdString();
        EXPECT_TRUE(request.text.contains("\"Locality\"")) << request.text.toStdString();
    }
    EXPECT_EQ(dialogs.fileRequests.size(), 1);  // no save dialog
    EXPECT_EQ(TestSupport::readFile(plotPath()), fixture);

    table()->item(1, 15)->setText("riverside");
    table()->item(0, 4)->setText("two\nlines");
    dialogs.requests.clear();
    window.ui->actionSave->trigger();
    ASSERT_EQ(dialogs.requests.size(), 1);
    EXPECT_TRUE(dialogs.requests[0].text.contains("row 1, column \"Syntaxon\"")) << dialogs.requests[0].text.toStdString();
    EXPECT_EQ(TestSupport::readFile(plotPath()), fixture);
}

TEST_F(HabitatManagerTest, AFailedWriteKeepsTheEarlierFileWhole)
{
    HabitatManager& window = open();
    load(plotPath());
    for (int row = 0; row < 200; ++row) {
        window.ui->pushButton_addPlot->click();
        table()->setItem(table()->currentRow(), 15, new QTableWidgetItem(QString(40, 'x')));
    }
    dialogs.answer = QMessageBox::Yes;
    {
        TestSupport::FileSizeLimit limit(2048);
        if (!limit.active())
            GTEST_SKIP() << "cannot limit the file size";
        window.ui->actionSave->trigger();
    }
    EXPECT_EQ(warnings(), QStringList{"Unable to save file."});
    EXPECT_EQ(TestSupport::readFile(plotPath()), fixture);
    // No temporary file is left beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(work.path() / "plots"), fs::directory_iterator()), 1);

    // Save as into a folder that does not exist fails the same way.
    dialogs.fileAnswers.append(QStringList{q((work.path() / "nowhere" / "x.csv").string())});
    window.ui->actionSave_as->trigger();
    EXPECT_EQ(warnings().size(), 2);
    EXPECT_FALSE(fs::exists(work.path() / "nowhere"));
}

TEST_F(HabitatManagerTest, WritePlotFileWritesTheTableToAStream)
{
    HabitatManager& window = open();
    load(plotPath());
    QString text;
    QTextStream stream(&text);
    window.writePlotFile(stream);
    EXPECT_TRUE(text.startsWith(q(header) + "\n"));
    EXPECT_EQ(text.count('\n'), 4);
    EXPECT_TRUE(text.contains("Lowland hay meadows"));
}

// ---------------------------------------------------------------------------
// Editing
// ---------------------------------------------------------------------------

TEST_F(HabitatManagerTest, TheCodeEditorOffersTheSortedCodesAndAKnownCodeFillsHabitat)
{
    HabitatManager& window = open();
    load(plotPath());
    const int row = rowOf("3");
    QWidget* editor = openEditor(row, 1);
    auto* combo = qobject_cast<QComboBox*>(editor);
    ASSERT_NE(combo, nullptr);
    EXPECT_TRUE(combo->isEditable());
    QStringList entries;
    for (int i = 0; i < combo->count(); ++i)
        entries.append(combo->itemText(i));
    EXPECT_EQ(entries, (QStringList{"6510", "9110", "91E0", "ZZ99"}));
    EXPECT_EQ(combo->currentText(), "ZZ99");  // the cell's code

    combo->setCurrentIndex(entries.indexOf("9110"));
    pressReturn(combo);
    EXPECT_EQ(cell(rowOf("3"), 1), "9110");
    EXPECT_EQ(cell(rowOf("3"), 3), "Luzulo-Fagetum beech forests");
    EXPECT_TRUE(dialogs.textRequests.isEmpty());
    EXPECT_EQ(window.habitatCodes.size(), 4);
}

TEST_F(HabitatManagerTest, AnUnknownCodeAsksForItsNameOnceThenFillsItElsewhere)
{
    HabitatManager& window = open();
    load(plotPath());
    dialogs.textAnswers.append(QString("Dune grassland"));
    typeInto(rowOf("1"), 1, "2130");
    ASSERT_EQ(dialogs.textRequests.size(), 1);
    EXPECT_EQ(dialogs.textRequests[0].title, "New habitat code");
    EXPECT_EQ(dialogs.textRequests[0].label, "Habitat name:");
    EXPECT_EQ(dialogs.textRequests[0].text, "");
    EXPECT_EQ(dialogs.textRequests[0].parent, &window);
    EXPECT_EQ(cell(rowOf("1"), 1), "2130");
    EXPECT_EQ(cell(rowOf("1"), 3), "Dune grassland");
    EXPECT_EQ(window.habitatCodes.value("2130"), "Dune grassland");

    typeInto(rowOf("2"), 1, "2130");
    EXPECT_EQ(dialogs.textRequests.size(), 1);
    EXPECT_EQ(cell(rowOf("2"), 3), "Dune grassland");
}

// A real name dialog takes the focus from the code editor: the edit still
// commits once and asks once, whichever key ended it, and nothing touches an
// editor that is gone (the sanitizers watch that).
TEST_F(HabitatManagerTest, ARealNameDialogTakingFocusAsksOnce)
{
    HabitatManager& window = open();
    load(plotPath());
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    const struct {
        const char* what;
        Qt::Key key;
        std::optional<QString> answer;
        QString habitat;
    } cases[] = {
        {"Return", Qt::Key_Return, QString("Dune grassland"), "Dune grassland"},
        {"Tab", Qt::Key_Tab, QString("Sand heath"), "Sand heath"},
        {"Cancel", Qt::Key_Return, std::nullopt, ""},
    };
    int code = 0;
    for (const auto& c : cases) {
        const QString typed = "NEW" + QString::number(code++);
        int asked = 0;
        // The real dialog, answered by a timer once it is up.
        ScopedTextInputHandler real([&](const TextInputRequest& request) {
            ++asked;
            QTimer::singleShot(50, [&c] {
                auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
                if (!dialog)
                    return;
                if (c.answer) {
                    dialog->setTextValue(*c.answer);
                    dialog->accept();
                } else {
                    dialog->reject();
                }
            });
            return runTextInputDialog(request);
        });
        MainWindowTest::WarningCollector warnings;
        const int row = rowOf("1");
        auto* combo = qobject_cast<QComboBox*>(openEditor(row, 1));
        ASSERT_NE(combo, nullptr) << c.what;
        combo->setFocus();
        combo->lineEdit()->setText(typed);
        QTest::keyClick(combo->lineEdit(), c.key);
        for (int wait = 0; wait < 20; ++wait)
            QTest::qWait(20);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

        EXPECT_EQ(asked, 1) << c.what;
        EXPECT_EQ(cell(rowOf("1"), 1), typed) << c.what;
        EXPECT_EQ(cell(rowOf("1"), 3), c.habitat) << c.what;
        EXPECT_EQ(window.habitatCodes.contains(typed), c.answer.has_value()) << c.what;
        EXPECT_TRUE(warnings.messages().filter("closeEditor").isEmpty()) << c.what;
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << c.what;
    }
}

TEST_F(HabitatManagerTest, CancellingOrLeavingTheNameEmptyEmptiesHabitat)
{
    HabitatManager& window = open();
    load(plotPath());
    dialogs.textAnswers.append(std::nullopt);
    typeInto(rowOf("1"), 1, "X1");
    EXPECT_EQ(cell(rowOf("1"), 3), "");
    EXPECT_FALSE(window.habitatCodes.contains("X1"));

    dialogs.textAnswers.append(QString());
    typeInto(rowOf("2"), 1, "X2");
    EXPECT_EQ(cell(rowOf("2"), 3), "");
    EXPECT_FALSE(window.habitatCodes.contains("X2"));
    EXPECT_EQ(dialogs.textRequests.size(), 2);
}

TEST_F(HabitatManagerTest, AnUnlistedCodeOpensTheEditorOnTheFirstCode)
{
    open();
    load(plotPath());
    const int row = rowOf("2");
    table()->item(row, 1)->setText("NOTLISTED");
    auto* combo = qobject_cast<QComboBox*>(openEditor(row, 1));
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->currentIndex(), 0);
    EXPECT_EQ(combo->currentText(), "6510");
    pressReturn(combo);
    EXPECT_EQ(cell(rowOf("2"), 1), "6510");
    EXPECT_EQ(cell(rowOf("2"), 3), "Lowland hay meadows");
}

TEST_F(HabitatManagerTest, BeforeAnyLoadColumnOneIsPlainText)
{
    HabitatManager& window = open();
    window.ui->pushButton_addPlot->click();
    QWidget* editor = openEditor(0, 1);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(qobject_cast<QComboBox*>(editor), nullptr);
    ASSERT_NE(qobject_cast<QLineEdit*>(editor), nullptr);
    qobject_cast<QLineEdit*>(editor)->setText("6510");
    pressReturn(editor);
    EXPECT_EQ(cell(0, 1), "6510");
    EXPECT_EQ(cell(0, 3), "");
    EXPECT_TRUE(dialogs.textRequests.isEmpty());
}

TEST_F(HabitatManagerTest, EditingHooksRunOncePerCommitAfterManyLoads)
{
    HabitatManager& window = open();
    load(plotPath());
    QPointer<QAbstractItemDelegate> first = table()->itemDelegateForColumn(1);
    ASSERT_NE(first, nullptr);
    dialogs.answer = QMessageBox::No;
    load(plotPath());
    load(plotPath());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());  // the replaced code editor is deleted
    ASSERT_NE(qobject_cast<ComboBoxItemDelegate*>(table()->itemDelegateForColumn(1)), nullptr);
    EXPECT_EQ(window.findChildren<ComboBoxItemDelegate*>().size(), 1);

    // The column-1 editor's commit.
    typeInto(rowOf("1"), 1, "NEWCODE");
    EXPECT_EQ(dialogs.textRequests.size(), 1);

    // A commit of the standard editor while the current cell is in column 1
    // (an added row's empty code, unknown): one question, not one per load.
    window.ui->pushButton_addPlot->click();
    const int added = table()->currentRow();
    table()->setCurrentCell(added, 1);
    QWidget* editor = openEditor(added, 0, false);
    ASSERT_NE(qobject_cast<QLineEdit*>(editor), nullptr);
    qobject_cast<QLineEdit*>(editor)->setText("77");
    pressReturn(editor);
    EXPECT_EQ(dialogs.textRequests.size(), 2);
}

TEST_F(HabitatManagerTest, LaterLoadsOfferCodesMetSinceInTheEditor)
{
    HabitatManager& window = open();
    load(plotPath());
    dialogs.textAnswers.append(QString("Dune grassland"));
    typeInto(rowOf("1"), 1, "2130");
    auto* combo = qobject_cast<QComboBox*>(openEditor(rowOf("2"), 1));
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->findText("2130"), -1);  // a copy taken at the load
    pressReturn(combo);

    dialogs.answer = QMessageBox::Yes;
    load(plotPath());
    combo = qobject_cast<QComboBox*>(openEditor(0, 1));
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->itemText(0), "2130");
    EXPECT_EQ(window.habitatCodes.size(), 5);
    // The window goes with this editor open: its last commit reaches no
    // half-destroyed window (the sanitizer run checks).
}

TEST_F(HabitatManagerTest, AddPlotAppendsARowWithAReadOnlyHabitat)
{
    HabitatManager& window = open();
    load(plotPath());
    window.ui->pushButton_addPlot->click();
    ASSERT_EQ(table()->rowCount(), 4);
    EXPECT_EQ(window.plotCount, 4);
    const int row = table()->currentRow();
    EXPECT_EQ(table()->currentColumn(), 0);
    for (int column = 0; column < 16; ++column) {
        if (column == 3)
            continue;
        EXPECT_EQ(table()->item(row, column), nullptr) << column;
    }
    ASSERT_NE(table()->item(row, 3), nullptr);
    EXPECT_EQ(cell(row, 3), "");
    EXPECT_FALSE(table()->item(row, 3)->flags() & Qt::ItemIsEditable);

    // Sorted ascending by "Habitat", the new row moves to the top; the
    // current cell follows it.
    table()->setItem(row, 0, new QTableWidgetItem("A"));
    table()->horizontalHeader()->setSortIndicator(3, Qt::AscendingOrder);
    window.ui->pushButton_addPlot->click();
    ASSERT_EQ(table()->rowCount(), 5);
    EXPECT_EQ(table()->currentColumn(), 0);
    EXPECT_LT(table()->currentRow(), 2);
    EXPECT_EQ(cell(table()->currentRow(), 3), "");
    EXPECT_EQ(table()->item(table()->currentRow(), 0), nullptr);
    EXPECT_EQ(cell(4, 3), "Unlisted habitat");
}

TEST_F(HabitatManagerTest, RemoveDeletesTheRowsOfSelectedCellsWithContent)
{
    HabitatManager& window = open();
    load(plotPath());
    window.ui->pushButton_addPlot->click();
    ASSERT_EQ(table()->rowCount(), 4);
    // Three cells of row "1" and one of row "3".
    const int a = rowOf("1");
    const int b = rowOf("3");
    table()->clearSelection();
    for (int column : {0, 5, 15})
        table()->item(a, column)->setSelected(true);
    table()->item(b, 7)->setSelected(true);

    dialogs.answer = QMessageBox::No;
    window.ui->pushButton_removePlot->click();
    ASSERT_EQ(dialogs.requests.size(), 1);
    EXPECT_EQ(dialogs.requests[0].title, "Remove confirmation");
    EXPECT_EQ(dialogs.requests[0].text, "Are you sure you want to remove selected plots?");
    EXPECT_EQ(dialogs.requests[0].buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(dialogs.requests[0].defaultButton, QMessageBox::NoButton);
    EXPECT_EQ(table()->rowCount(), 4);

    dialogs.answer = QMessageBox::Yes;
    window.ui->pushButton_removePlot->click();
    ASSERT_EQ(table()->rowCount(), 2);
    EXPECT_EQ(rowOf("1"), -1);
    EXPECT_EQ(rowOf("3"), -1);
    EXPECT_NE(rowOf("2"), -1);
    EXPECT_TRUE(table()->selectedItems().isEmpty());
    EXPECT_EQ(window.plotCount, 4);
}

TEST_F(HabitatManagerTest, SelectingOnlyEmptyCellsOfAddedRowsRemovesNothing)
{
    HabitatManager& window = open();
    window.ui->pushButton_addPlot->click();
    window.ui->pushButton_addPlot->click();
    QItemSelection selection;
    for (int row : {0, 1})
        for (int column : {0, 5})
            selection.select(table()->model()->index(row, column), table()->model()->index(row, column));
    table()->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    ASSERT_EQ(table()->selectionModel()->selectedIndexes().size(), 4);
    window.ui->pushButton_removePlot->click();
    EXPECT_EQ(table()->rowCount(), 2);

    // An empty table asks nothing.
    table()->setRowCount(0);
    dialogs.requests.clear();
    window.ui->pushButton_removePlot->click();
    EXPECT_TRUE(dialogs.requests.isEmpty());
}

TEST_F(HabitatManagerTest, TheFilterIgnoresCaseAndAnEmptyFilterShowsEveryRow)
{
    HabitatManager& window = open();
    load(plotPath());
    QTest::keyClicks(window.ui->lineEdit_filterHabitat, "UPPER FIELD");
    EXPECT_FALSE(table()->isRowHidden(rowOf("3")));
    EXPECT_TRUE(table()->isRowHidden(rowOf("1")));
    EXPECT_TRUE(table()->isRowHidden(rowOf("2")));

    window.ui->lineEdit_filterHabitat->setText("RIVER");
    EXPECT_FALSE(table()->isRowHidden(rowOf("1")));
    EXPECT_FALSE(table()->isRowHidden(rowOf("2")));
    EXPECT_TRUE(table()->isRowHidden(rowOf("3")));

    // Hidden rows are saved too.
    const std::string out = plotPath("filtered.csv");
    dialogs.fileAnswers.append(QStringList{q(out)});
    window.ui->actionSave_as->trigger();
    EXPECT_NE(TestSupport::readFile(out).find("upper field"), std::string::npos);

    window.ui->lineEdit_filterHabitat->clear();
    for (int row = 0; row < 3; ++row)
        EXPECT_FALSE(table()->isRowHidden(row));
}

TEST_F(HabitatManagerTest, HabitatIsNeverEditable)
{
    HabitatManager& window = open();
    load(plotPath());
    window.ui->pushButton_addPlot->click();
    dialogs.textAnswers.append(QString("Named"));
    typeInto(rowOf("1"), 1, "NEWCODE");
    for (int row = 0; row < table()->rowCount(); ++row) {
        ASSERT_NE(table()->item(row, 3), nullptr) << row;
        EXPECT_FALSE(table()->item(row, 3)->flags() & Qt::ItemIsEditable) << row;
        EXPECT_EQ(openEditor(row, 3), nullptr) << row;
        QTest::mouseDClick(table()->viewport(), Qt::LeftButton, {},
                           table()->visualRect(table()->model()->index(row, 3)).center());
        EXPECT_EQ(openEditor(row, 3), nullptr) << row;
    }
}

} // namespace

namespace {

TEST(ComboBoxItemDelegate, OffersEveryCodeSortedAndMatchesExactly)
{
    QHash<QString, QString> codes;
    QStringList expected;
    for (int i = 0; i < 60; ++i) {
        const QString code = QString("%1%2").arg(QChar('A' + i % 26)).arg(97 - i);
        codes.insert(code, "name " + code);
        expected.append(code);
    }
    codes.insert("abc", "lower");
    expected.append("abc");
    expected.sort();
    ComboBoxItemDelegate delegate(codes);
    EXPECT_EQ(delegate.codes, expected);

    QTableWidget table(1, 2);
    table.setItem(0, 1, new QTableWidgetItem("ABC"));
    QStyleOptionViewItem option;
    const QModelIndex index = table.model()->index(0, 1);
    std::unique_ptr<QWidget> editor(delegate.createEditor(table.viewport(), option, index));
    auto* combo = qobject_cast<QComboBox*>(editor.get());
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->parentWidget(), table.viewport());
    EXPECT_TRUE(combo->isEditable());
    ASSERT_EQ(combo->count(), expected.size());
    for (int i = 0; i < combo->count(); ++i) {
        EXPECT_EQ(combo->itemText(i), expected[i]);
        EXPECT_FALSE(combo->itemData(i).isValid());
        EXPECT_TRUE(combo->itemIcon(i).isNull());
    }
    // "ABC" is no code ("abc" is): the editor stays on the first code.
    delegate.setEditorData(combo, index);
    EXPECT_EQ(combo->currentIndex(), 0);
    table.item(0, 1)->setText("abc");
    delegate.setEditorData(combo, index);
    EXPECT_EQ(combo->currentText(), "abc");

    // Typed text is stored as typed.
    combo->setEditText("typed code");
    delegate.setModelData(combo, table.model(), index);
    EXPECT_EQ(table.item(0, 1)->text(), "typed code");
}

} // namespace
