// Habitat plots from the field table to the image: a plot file opened in the
// habitat plot manager, a new plot typed in with a code the code list does
// not know (named in the real input dialog), the table saved over its file,
// read again by a fresh manager, and the plots marked at their pixels on the
// Sentinel-2 product the main window opens afterwards.

#include <algorithm>
#include <array>
#include <filesystem>
#include <string>

#include <QAction>
#include <QComboBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include "forms/HabitatManagerForm.h"
#include "io/NumberText.h"
#include "road2_support.h"
#include "viewers/ViewerWidget.h"
#include "windows/HabitatManager.h"

namespace {

namespace fs = std::filesystem;

const std::string kHeader = "Plot ID;Natura 2000;EUNIS;Habitat;Syntaxon;Community;Latitude;Longitude;Date;"
                            "Altitude(m);Aspect(degrees);Slope(degrees);Cover trees;Cover shrubs;Cover herbs;Locality";

struct Plot {
    std::string id;
    std::string code;
    std::string name;  // as the code list names the code (a new code: as the user named it)
    double x;          // pixel position on the product's working grid
    double y;
};

class HabitatRoad : public Road2::RoadShell {
protected:
    // The line of a plot file for a plot, its position from the writer's
    // UTM grid through OGR.
    std::string line(const Plot& plot) const
    {
        const std::array<double, 2> latLon = latLonOf(spec, plot.x, plot.y);
        return plot.id + ";" + plot.code + ";E1;" + plot.name + ";syn;com;" + IO::formatFixed(latLon[0], 9) + ";"
               + IO::formatFixed(latLon[1], 9) + ";2021.6.30;450;180;12;10;20;70;meadow";
    }

    HabitatManager* openManager()
    {
        window->ui->actionHabitat_Manager->trigger();
        HabitatManager* manager = Road2::shownTopLevel<HabitatManager>();
        EXPECT_NE(manager, nullptr);
        if (manager) {
            QApplication::setActiveWindow(manager);
            EXPECT_TRUE(QTest::qWaitForWindowActive(manager));
        }
        return manager;
    }

    static QString cell(QTableWidget* table, int row, int column)
    {
        const QTableWidgetItem* item = table->item(row, column);
        return item ? item->text() : QString();
    }

    static int rowOf(QTableWidget* table, const QString& id)
    {
        for (int row = 0; row < table->rowCount(); ++row)
            if (cell(table, row, 0) == id)
                return row;
        return -1;
    }

    // The editor open on the table, null when none.
    static QWidget* openEditor(QTableWidget* table)
    {
        for (QWidget* child : table->viewport()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (child->isVisible() && (qobject_cast<QComboBox*>(child) || qobject_cast<QLineEdit*>(child)))
                return child;
        return nullptr;
    }

    // Types text into a cell as the user does: a click on the cell, the
    // first key opens the editor, the rest go into it, then `end` (Return
    // or Tab).
    static void typeCell(QTableWidget* table, int row, int column, const QString& text, Qt::Key end = Qt::Key_Return)
    {
        Road2::clickCell(table, table->model()->index(row, column));
        QTest::keyClick(table, text.at(0).toLatin1());
        QWidget* editor = openEditor(table);
        ASSERT_NE(editor, nullptr) << "no editor opened on column " << column;
        QWidget* typing = editor;
        if (auto* combo = qobject_cast<QComboBox*>(editor))
            typing = combo->lineEdit();
        ASSERT_NE(typing, nullptr);
        QTest::keyClicks(typing, text.mid(1));
        QTest::keyClick(typing, end);
        // The delegate commits and closes its editor through the event loop.
        ASSERT_TRUE(Road2::waitFor([&] { return openEditor(table) == nullptr; })) << "the editor stays open";
    }

    Sample::ProductSpec spec;  // the default 120 px product
    const Plot meadowA{"1", "6510", "Lowland hay meadows", 30.5, 40.5};
    const Plot meadowB{"2", "6510", "Lowland hay meadows", 80.5, 70.5};
    const Plot forest{"3", "9110", "Luzulo-Fagetum beech forests", 60.5, 20.5};
    const Plot dune{"4", "2330", "Inland dunes", 50.5, 95.5};  // the plot the user adds
};

TEST_F(HabitatRoad, ANewPlotWithANewCodeIsSavedReadAgainAndMarkedAtItsPixel)
{
    fs::create_directories(cwd.path() / "habitats");
    TestSupport::writeFile((cwd.path() / "habitats" / "habitatCodes.csv").string(),
                           "6510;Lowland hay meadows\n9110;Luzulo-Fagetum beech forests\n");
    const fs::path plots = cwd.path() / "habitats" / "plots.csv";
    TestSupport::writeFile(plots.string(), kHeader + "\n" + line(meadowA) + "\n" + line(meadowB) + "\n" + line(forest)
                                               + "\n");

    // The manager from the main window's menu loads the file.
    HabitatManager* manager = openManager();
    ASSERT_NE(manager, nullptr);
    QTableWidget* table = manager->ui->tableWidget;
    dialogs.fileAnswers.append(QStringList{QString::fromStdString(plots.string())});
    manager->ui->actionLoad->trigger();
    ASSERT_EQ(table->rowCount(), 3);

    // A new plot: its number, its code (unknown: the real name dialog comes
    // up and is typed into), its place and date.
    QTest::mouseClick(manager->ui->pushButton_addPlot, Qt::LeftButton);
    ASSERT_EQ(table->rowCount(), 4);
    const int added = table->currentRow();
    typeCell(table, added, 0, QString::fromStdString(dune.id));
    const int row = rowOf(table, "4");  // sorting may have moved the row
    ASSERT_GE(row, 0);

    int asked = 0;
    ScopedTextInputHandler realDialog([&asked](const TextInputRequest& request) {
        ++asked;
        return runTextInputDialog(request);
    });
    Road2::ModalAnswerer<QInputDialog> namer([this](QInputDialog* dialog) {
        QLineEdit* edit = dialog->findChild<QLineEdit*>();
        ASSERT_NE(edit, nullptr);
        QTest::keyClicks(edit, QString::fromStdString(dune.name));
        QTest::keyClick(edit, Qt::Key_Return);
    });
    // The code: F2 opens its editor on the first listed code, which the
    // user replaces and confirms with Return.
    Road2::clickCell(table, table->model()->index(row, 1));
    QTest::keyClick(table, Qt::Key_F2);
    auto* code = qobject_cast<QComboBox*>(openEditor(table));
    ASSERT_NE(code, nullptr) << "the code editor is a combo box";
    ASSERT_NE(code->lineEdit(), nullptr);
    code->setFocus();
    QTest::keyClick(code->lineEdit(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(code->lineEdit(), QString::fromStdString(dune.code));
    ASSERT_EQ(code->lineEdit()->text(), QString::fromStdString(dune.code));
    QTest::keyClick(code->lineEdit(), Qt::Key_Return);
    auto nameDialogUp = [] { return qobject_cast<QInputDialog*>(QApplication::activeModalWidget()) != nullptr; };
    ASSERT_TRUE(Road2::waitFor([&] { return namer.count == 1 && !nameDialogUp(); }))
        << "name dialogs answered: " << namer.count << ", asked: " << asked;
    // Whatever else the edit left queued, the name was asked for once.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    ASSERT_TRUE(Road2::waitFor([&] { return !nameDialogUp(); }));
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(namer.count, 1);
    EXPECT_EQ(cell(table, rowOf(table, "4"), 1), QString::fromStdString(dune.code));
    EXPECT_EQ(cell(table, rowOf(table, "4"), 3), QString::fromStdString(dune.name));

    const std::array<double, 2> latLon = latLonOf(spec, dune.x, dune.y);
    typeCell(table, rowOf(table, "4"), 6, QString::fromStdString(IO::formatFixed(latLon[0], 9)));
    typeCell(table, rowOf(table, "4"), 7, QString::fromStdString(IO::formatFixed(latLon[1], 9)));
    typeCell(table, rowOf(table, "4"), 8, "2021.6.30");

    // Saved over the file it came from (the replace question answered Yes).
    manager->ui->actionSave->trigger();
    ASSERT_EQ(dialogs.messageTexts(), QStringList());
    const std::string duneLine = dune.id + ";" + dune.code + ";;" + dune.name + ";;;" + IO::formatFixed(latLon[0], 9)
                                 + ";" + IO::formatFixed(latLon[1], 9) + ";2021.6.30;;;;;;;";
    {
        const QStringList written =
            QString::fromStdString(TestSupport::readFile(plots.string())).split('\n', Qt::SkipEmptyParts);
        ASSERT_EQ(written.size(), 5);
        EXPECT_EQ(written[0].toStdString(), kHeader);
        QStringList rows = written.mid(1);
        rows.sort();
        QStringList expected{QString::fromStdString(line(meadowA)), QString::fromStdString(line(meadowB)),
                             QString::fromStdString(line(forest)), QString::fromStdString(duneLine)};
        expected.sort();
        EXPECT_EQ(rows, expected);
    }
    manager->close();
    ASSERT_TRUE(Road2::waitFor([] { return Road2::shownTopLevel<HabitatManager>() == nullptr; }));

    // A fresh manager reads the saved file back: the new code keeps the name
    // the user gave it (the code list does not hold it).
    manager = openManager();
    ASSERT_NE(manager, nullptr);
    table = manager->ui->tableWidget;
    dialogs.fileAnswers.append(QStringList{QString::fromStdString(plots.string())});
    manager->ui->actionLoad->trigger();
    ASSERT_EQ(table->rowCount(), 4);
    EXPECT_EQ(cell(table, rowOf(table, "4"), 3), QString::fromStdString(dune.name));
    EXPECT_EQ(cell(table, rowOf(table, "1"), 3), QString::fromStdString(meadowA.name));
    manager->close();

    // The product opened in the main window: the plots of the chosen habitat
    // are marked at their pixels, the chosen plot in its own colour.
    open({product(spec)});
    ASSERT_EQ(window->dataFiles.size(), 1);
    UI::ViewerWidget* main = wholeWorkingWindow();
    ASSERT_EQ(main->origin, QPoint(0, 0));

    const QColor mark(255, 0, 255);
    const QColor chosen(0, 255, 0);
    auto colourAt = [&](const Plot& plot) {
        return QColor(main->image->pixel(static_cast<int>(plot.x), static_cast<int>(plot.y)));
    };
    struct Choice {
        std::string code;
        std::vector<const Plot*> marked;  // in file order: the first is the chosen plot
        std::vector<const Plot*> unmarked;
    };
    const Choice choices[] = {
        {dune.code, {&dune}, {&meadowA, &meadowB, &forest}},
        {meadowA.code, {&meadowA, &meadowB}, {&dune, &forest}},
    };
    for (const Choice& choice : choices) {
        SCOPED_TRACE(choice.code);
        Road2::chooseEntry(window->ui->comboBoxHabitat, QString::fromStdString(choice.code));
        ASSERT_EQ(window->ui->comboBoxHabitat->currentText(), QString::fromStdString(choice.code));
        window->refreshAllViewers();
        for (std::size_t k = 0; k < choice.marked.size(); ++k)
            EXPECT_EQ(colourAt(*choice.marked[k]), k == 0 ? chosen : mark) << choice.marked[k]->id;
        for (const Plot* other : choice.unmarked) {
            EXPECT_NE(colourAt(*other), mark) << other->id;
            EXPECT_NE(colourAt(*other), chosen) << other->id;
        }
    }
}

} // namespace
