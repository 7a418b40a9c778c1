// Opening product archives from File > Open, showing them on a side with
// their bands, and the data explorer's double click, removal and saving.

#include <filesystem>

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QDockWidget>
#include <QGridLayout>
#include <QMenu>
#include <QTabBar>
#include <QTreeWidget>

#include "filter/Filtration.h"
#include "io/test_jp2zip_fixture.h"
#include "test_context_menus.h"
#include "test_dialogs.h"
#include "test_shell_support.h"
#include "tools/TaskRunner.h"

using ShellTest::Dialogs;
using ShellTest::Shell;

namespace {

namespace fs = std::filesystem;

Sample::ProductSpec tile(const std::string& id)
{
    Sample::ProductSpec spec;
    spec.tileId = id;
    return spec;
}

class DataSets : public Shell {
protected:
    void SetUp() override
    {
        Shell::SetUp();
        QSettings native;
        native.remove("folderFileOpenPath");
        native.remove("folderFileSavePath");
    }

    // A product in a folder of its own inside the test's folder, copied from
    // the test cache.
    QString product(const Sample::ProductSpec& spec = {})
    {
        const fs::path into = folder.path() / std::to_string(products_++);
        fs::create_directories(into);
        return QString::fromStdString(Jp2ZipTest::copyOfProduct(into, spec).string());
    }

    // A copy of the default product under another file name.
    QString productNamed(const std::string& name)
    {
        fs::create_directories(folder.path() / "originals");
        const fs::path original = fs::exists(folder.path() / "originals" / (Sample::productName({}) + ".zip"))
                                      ? folder.path() / "originals" / (Sample::productName({}) + ".zip")
                                      : Jp2ZipTest::copyOfProduct(folder.path() / "originals", {});
        const fs::path renamed = folder.path() / name;
        fs::copy_file(original, renamed, fs::copy_options::overwrite_existing);
        return QString::fromStdString(renamed.string());
    }

    void open(const QStringList& paths)
    {
        dialogs.fileAnswers.append(paths);
        Jp2ZipTest::quietly([&] { window->ui->actionOpen->trigger(); });
    }

    bool controlsEnabled()
    {
        FenlarkAppUI& ui = *window->ui;
        ui.actionCurve_Manager->setVisible(true); // a hidden action reads disabled
        const bool enabled = ui.dockWidgetProperties->isEnabled() && ui.dockWidgetTools->isEnabled()
            && ui.menuCurves->isEnabled() && ui.actionCurve_Manager->isEnabled();
        ui.actionCurve_Manager->setVisible(false);
        return enabled;
    }

    void expectListsAligned()
    {
        EXPECT_EQ(window->curveSets.size(), window->dataFiles.size());
        EXPECT_EQ(window->relevancyMaps.size(), window->dataFiles.size());
    }

    TestSupport::TempDir folder;
    int products_ = 0;
    Dialogs dialogs;
    TaskRunner::ScopedInlineRunner inlineTasks;
};

int byteOf(float v)
{
    return static_cast<int>(v * 255.0f + 0.5f);
}

} // namespace

TEST_F(DataSets, OpenShowsTheProductInColourWithItsPreview)
{
    const QString archive = product();
    open({archive});

    ASSERT_EQ(dialogs.fileRequests.size(), 1);
    EXPECT_EQ(dialogs.fileRequests[0].kind, FileDialogRequest::Kind::OpenFiles);
    EXPECT_EQ(dialogs.fileRequests[0].caption, "Load image data");
    EXPECT_EQ(dialogs.fileRequests[0].directory, "");
    EXPECT_EQ(dialogs.fileRequests[0].filter, "Sentinel2 zip file (*.zip)");
    EXPECT_TRUE(dialogs.requests.isEmpty());
    EXPECT_EQ(QSettings().value("folderFileOpenPath").toString(), QFileInfo(archive).absolutePath());

    FenlarkAppUI& ui = *window->ui;
    ASSERT_EQ(window->dataFiles.size(), 1);
    expectListsAligned();
    IO::File* file = window->dataFiles[0];
    EXPECT_EQ(file->dataType, "Sentinel-2 satellite image");
    EXPECT_EQ(ui.leftDataIndex, 0);
    EXPECT_EQ(ui.leftTabWidget->tabText(0), QString::fromStdString(file->name));
    EXPECT_TRUE(ui.leftTabWidget->tabBar()->isEnabled());
    EXPECT_TRUE(controlsEnabled());
    EXPECT_TRUE(ui.dockWidgetPreviewMap->isEnabled());
    EXPECT_TRUE(ui.dockWidgetCurves->isEnabled());
    ASSERT_EQ(ui.treeWidgetDataExplorer->topLevelItemCount(), 1);
    EXPECT_EQ(ui.treeWidgetDataExplorer->topLevelItem(0)->text(1), QString::fromStdString(file->name));
    EXPECT_EQ(ui.treeWidgetDataExplorer->currentItem(), ui.treeWidgetDataExplorer->topLevelItem(0));

    // A 120-pixel grid under a 1002-pixel working window keeps 96, and the
    // filtering object has that size.
    EXPECT_EQ(file->workAreaWidth, 96);
    EXPECT_EQ(file->workAreaHeight, 96);
    ASSERT_NE(window->filtration, nullptr);
    EXPECT_EQ(window->filtration->width, 96);
    EXPECT_EQ(ui.spinBoxRMWidth->maximum(), 96);

    // The display bands of the defaults: B04, B03, B02 as red, green, blue.
    const int red = Jp2ZipTest::bandIndex(*file, "B04");
    const int green = Jp2ZipTest::bandIndex(*file, "B03");
    const int blue = Jp2ZipTest::bandIndex(*file, "B02");
    EXPECT_EQ(ui.comboBoxRedBand->currentIndex(), red);
    EXPECT_EQ(ui.comboBoxGreenBand->currentIndex(), green);
    EXPECT_EQ(ui.comboBoxBlueBand->currentIndex(), blue);
    EXPECT_EQ(ui.comboBoxShowTypeChannel->currentIndex(), 1);
    EXPECT_EQ(file->loadedBands, (std::set<int>{red, green, blue}));
    EXPECT_EQ(sideValue(0, "dataExplorerStateCurrentIndex").toInt(), 0);
    EXPECT_EQ(sideValue(0, "dataPropertiesRedBand").toInt(), red);
    EXPECT_TRUE(window->sessionConfig->group().isEmpty());

    UI::ViewerWidget* main = viewer(0);
    setViewport(main, QSize(130, 130));
    window->refreshAllViewers();
    ASSERT_EQ(main->image->size(), QSize(120, 120));
    const auto sample = [&](int band, int x, int y) {
        return byteOf(file->bands[static_cast<std::size_t>(band)].levels[0].data[static_cast<std::size_t>(y * 120 + x)]);
    };
    // (The scale bar darkens the image's bottom 40 rows.)
    for (const QPoint at : {QPoint(50, 60), QPoint(100, 20), QPoint(30, 45)}) {
        const QRgb shown = main->image->pixel(at);
        EXPECT_EQ(qRed(shown), sample(red, at.x(), at.y()));
        EXPECT_EQ(qGreen(shown), sample(green, at.x(), at.y()));
        EXPECT_EQ(qBlue(shown), sample(blue, at.x(), at.y()));
    }
    EXPECT_NE(qRed(main->image->pixel(50, 60)), qGreen(main->image->pixel(50, 60)));

    // The preview map shows the product's preview with the view on it.
    EXPECT_EQ(window->previewWidget->imageSize, QSize(file->previewWidth, file->previewHeight));
    EXPECT_FALSE(window->previewWidget->image->isNull());
    EXPECT_GT(window->previewWidget->scaleX, 0.0);
}

TEST_F(DataSets, OpenRunsOnThePoolBehindTheProgressDialog)
{
    const QString archive = product();
    {
        // Restores the real runner for this one opening.
        const TaskRunner::Runner inlineRunner = TaskRunner::setRunner({});
        Jp2ZipTest::quietly([&] { window->openFiles({archive}); });
        TaskRunner::setRunner(inlineRunner);
    }
    ASSERT_EQ(window->dataFiles.size(), 1);
    EXPECT_EQ(window->ui->leftDataIndex, 0);
    EXPECT_FALSE(window->dataFiles[0]->loadedBands.empty());
    EXPECT_TRUE(dialogs.messageTexts().isEmpty());
}

TEST_F(DataSets, EveryRefusedOrBrokenFileIsToldAndLeavesNothing)
{
    const auto flawed = [](Sample::Flaw flaw) {
        Sample::ProductSpec spec;
        spec.flaw = flaw;
        return spec;
    };
    const struct {
        const char* what;
        QString path;
        QString message;
    } cases[] = {
        {"suffix in capitals", productNamed("T33_S2.ZIP"), "Unable to open file. Unsupporterd file format."},
        {"only a lower-case s2", productNamed("s2_tile.zip"), "Unable to open file. Unsupporterd file format."},
        {"no S2 in the name", productNamed("tile.zip"), "Unable to open file. Unsupporterd file format."},
        {"not a zip", product(flawed(Sample::Flaw::NotAZip)), "Unable to open file. File is corrupted"},
        {"unreadable raster", product(flawed(Sample::Flaw::RandomBytesRaster)), "Unable to open file. "},
        {"no georeference", product(flawed(Sample::Flaw::NoGeoreference)), "Unable to open file. Missing metadata."},
        {"missing file", QString::fromStdString((folder.path() / "S2_missing.zip").string()),
         "Unable to open file. File is corrupted"},
    };
    for (const auto& c : cases) {
        dialogs.requests.clear();
        Jp2ZipTest::quietly([&] { window->openFiles({c.path}); });
        EXPECT_EQ(dialogs.messageTexts(), QStringList{c.message}) << c.what;
        ASSERT_EQ(dialogs.requests.size(), 1) << c.what;
        EXPECT_EQ(dialogs.requests[0].icon, 2) << c.what;
        EXPECT_TRUE(window->dataFiles.isEmpty()) << c.what;
        expectListsAligned();
        EXPECT_FALSE(controlsEnabled()) << c.what;
        EXPECT_EQ(window->ui->leftDataIndex, -1);
    }

    // A task that never ran (or threw) opened nothing, and says so.
    {
        dialogs.requests.clear();
        const TaskRunner::Runner inlineRunner =
            TaskRunner::setRunner([](const QString&, const std::function<void()>&) {});
        window->openFiles({product()});
        TaskRunner::setRunner(inlineRunner);
        EXPECT_EQ(dialogs.messageTexts(), QStringList{"Unable to open file. "});
        EXPECT_TRUE(window->dataFiles.isEmpty());
    }

    // A batch goes on after a failure and shows what it opened.
    dialogs.requests.clear();
    Jp2ZipTest::quietly([&] { window->openFiles({productNamed("tile.zip"), product()}); });
    EXPECT_EQ(dialogs.messageTexts().size(), 1);
    EXPECT_EQ(window->dataFiles.size(), 1);
    EXPECT_EQ(window->ui->leftDataIndex, 0);
    expectListsAligned();
}

TEST_F(DataSets, SameNameAsksAndNoEndsTheBatch)
{
    const QString first = product(tile("T33UXP"));
    open({first});
    ASSERT_EQ(window->dataFiles.size(), 1);
    fs::create_directories(folder.path() / "again");
    const QString again = QString::fromStdString(
        Jp2ZipTest::copyOfProduct(folder.path() / "again", tile("T33UXP")).string());
    const QString second = product(tile("T34UDV"));
    const QString third = product(tile("T35UPQ"));

    // No at the second of three: the first of the batch stays, the rest is
    // not opened.
    dialogs.answer = QMessageBox::No;
    Jp2ZipTest::quietly([&] { window->openFiles({second, again, third}); });
    ASSERT_EQ(dialogs.requests.size(), 1);
    const MessageBoxRequest& question = dialogs.requests[0];
    EXPECT_EQ(question.kind, MessageBoxRequest::Kind::Question);
    EXPECT_EQ(question.title, "Load Confirmation");
    EXPECT_EQ(question.text, "The file with the same name is already loaded.\n Are you sure you want to load "
                             + QFileInfo(first).completeBaseName() + "?");
    EXPECT_EQ(question.buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(question.defaultButton, QMessageBox::NoButton);
    EXPECT_EQ(window->dataFiles.size(), 2);
    expectListsAligned();
    EXPECT_EQ(window->ui->treeWidgetDataExplorer->topLevelItemCount(), 2);
    // The left side keeps showing the first data set.
    EXPECT_EQ(window->ui->leftDataIndex, 0);

    // Yes opens a second data set of that name.
    dialogs.answer = QMessageBox::Yes;
    Jp2ZipTest::quietly([&] { window->openFiles({again, third}); });
    EXPECT_EQ(window->dataFiles.size(), 4);
    expectListsAligned();
    EXPECT_EQ(window->dataFiles[2]->name, window->dataFiles[0]->name);
}

TEST_F(DataSets, OnlyAnEmptyLeftSideShowsTheLastOpened)
{
    const QStringList three{product(tile("T33UXP")), product(tile("T34UDV")), product(tile("T35UPQ"))};
    // The right side open: nothing is shown and no row is current.
    window->toolButtonTabWidget_clicked();
    Jp2ZipTest::quietly([&] { window->openFiles(three); });
    EXPECT_EQ(window->dataFiles.size(), 3);
    EXPECT_EQ(window->ui->leftDataIndex, -1);
    EXPECT_EQ(window->ui->treeWidgetDataExplorer->currentItem(), nullptr);
    EXPECT_FALSE(controlsEnabled());

    // A double click shows a row on the active side.
    Jp2ZipTest::quietly([&] {
        emit window->ui->treeWidgetDataExplorer->itemDoubleClicked(
            window->ui->treeWidgetDataExplorer->topLevelItem(1), 1);
    });
    EXPECT_EQ(window->ui->leftDataIndex, 1);
    EXPECT_TRUE(controlsEnabled());
    EXPECT_FALSE(window->dataFiles[1]->loadedBands.empty());
    // Double-clicking the shown row again does nothing.
    const quint64 renders = viewer(0)->renderCount;
    emit window->ui->treeWidgetDataExplorer->itemDoubleClicked(window->ui->treeWidgetDataExplorer->topLevelItem(1),
                                                               1);
    EXPECT_EQ(viewer(0)->renderCount, renders);

    // Closed again and emptied: three opened at once show the third.
    window->toolButtonTabWidget_clicked();
    window->ui->treeWidgetDataExplorer->selectAll();
    window->dataRemoveAction_triggered();
    Jp2ZipTest::quietly([&] { window->openFiles(three); });
    EXPECT_EQ(window->ui->leftDataIndex, 2);
    EXPECT_TRUE(controlsEnabled());
}

TEST(OpenTask, WorkingWindowFitsTheGrid)
{
    TestSupport::TempDir folder;
    Sample::ProductSpec small;
    small.size = 12;
    small.tileId = "T30AAA";
    const QString standard = QString::fromStdString(Jp2ZipTest::copyOfProduct(folder.path(), {}).string());
    const QString tiny = QString::fromStdString(Jp2ZipTest::copyOfProduct(folder.path(), small).string());
    const struct {
        const char* what;
        QString path;
        int working;
        int expected;
    } cases[] = {
        {"wider window", standard, 1002, 96},
        {"equal window", standard, 120, 120},
        {"narrower window", standard, 60, 60},
        // 12 - 24 would leave no window: the whole grid is the window.
        {"tiny grid", tiny, 100, 12},
    };
    for (const auto& c : cases) {
        UI::FenlarkApp::OpenedDataSet opened;
        Jp2ZipTest::quietly([&] { opened = UI::FenlarkApp::openFile(c.path, c.working, c.working); });
        ASSERT_EQ(opened.error, IO::File::error::NoError) << c.what;
        ASSERT_TRUE(opened.file) << c.what;
        EXPECT_EQ(opened.file->workAreaWidth, c.expected) << c.what;
        EXPECT_EQ(opened.file->workAreaHeight, c.expected) << c.what;
        EXPECT_FALSE(opened.file->preview.empty()) << c.what;
    }
}

TEST_F(DataSets, BandsFollowTheChannelsAndTheCrop)
{
    std::vector<QString> labels;
    const TaskRunner::Runner inlineRunner =
        TaskRunner::setRunner([&labels](const QString& label, const std::function<void()>& job) {
            labels.push_back(label);
            job();
        });
    open({product()});
    IO::File* file = window->dataFiles[0];
    FenlarkAppUI& ui = *window->ui;
    const int red = Jp2ZipTest::bandIndex(*file, "B04");
    const int green = Jp2ZipTest::bandIndex(*file, "B03");
    const int blue = Jp2ZipTest::bandIndex(*file, "B02");
    ASSERT_EQ(labels.size(), 2u);
    EXPECT_EQ(labels[0], "Opening files...");
    EXPECT_EQ(labels[1], "Reading data for " + QString::fromStdString(file->bandName(red)) + " "
                             + QString::fromStdString(file->bandName(green)) + " "
                             + QString::fromStdString(file->bandName(blue)) + " ");

    // Applying the same choice reads nothing and redraws.
    const quint64 renders = viewer(0)->renderCount;
    ui.pushButtonApplyChannels->click();
    EXPECT_EQ(labels.back(), "Reading data for ");
    EXPECT_GT(viewer(0)->renderCount, renders);

    // One channel keeps only the red band; the segmentation channel list
    // follows.
    auto* channel = new QComboBox(window.get());
    ui.comboBoxAutoChannel = channel;
    ui.comboBoxShowTypeChannel->setCurrentIndex(0);
    EXPECT_FALSE(ui.comboBoxGreenBand->isEnabled());
    ui.pushButtonApplyChannels->click();
    EXPECT_EQ(file->loadedBands, std::set<int>{red});
    EXPECT_EQ(channel->count(), 1);
    EXPECT_EQ(channel->itemText(0), QString::fromStdString(file->bandName(red)));
    EXPECT_FALSE(window->isMultiChannel(0));

    // The crop: bottom 2 and top 2 read as cuts 0.02 and 0.98; the crop's
    // "Apply" reads the shown band again.
    ui.checkBoxAutomaticCrop->setChecked(false);
    EXPECT_TRUE(ui.doubleSpinBoxBottomCrop->isEnabled());
    ui.doubleSpinBoxBottomCrop->setValue(2.0);
    ui.doubleSpinBoxTopCrop->setValue(2.0);
    const UI::FenlarkApp::BandChoice choice = window->bandChoice();
    EXPECT_DOUBLE_EQ(choice.lowCut, 0.02);
    EXPECT_DOUBLE_EQ(choice.highCut, 0.98);
    EXPECT_FALSE(choice.automaticCrop);
    ui.pushButtonApplyHistogramCrop->click();
    EXPECT_EQ(labels.back(), "Reading data for " + QString::fromStdString(file->bandName(red)) + " ");
    EXPECT_DOUBLE_EQ(sideValue(0, "dataPropertiesBottomHistCrop").toDouble(), 2.0);
    TaskRunner::setRunner(inlineRunner);
}

TEST_F(DataSets, ABandThatCannotBeReadIsToldAndDrawnSafely)
{
    Sample::ProductSpec spec;
    spec.flaw = Sample::Flaw::TruncatedCodestream;
    open({product(spec)});
    ASSERT_EQ(window->dataFiles.size(), 1);
    EXPECT_EQ(dialogs.messageTexts(), QStringList{"Unable to read data from file. "});
    // The side shows the data set, without the band it could not read.
    EXPECT_EQ(window->ui->leftDataIndex, 0);
    EXPECT_TRUE(viewer(0)->isEmpty());
    window->refreshAllViewers();
    EXPECT_TRUE(viewer(0)->isEmpty());
}

TEST_F(DataSets, RemovalKeepsEverySideOnItsDataSet)
{
    // Five in-memory data sets, each with one curve set named after it.
    for (int k = 0; k < 5; ++k) {
        auto file = ShellTest::makeDataSet(60, 40, 3, 30);
        file->name = "data" + std::to_string(k);
        const int index = addDataSet(std::move(file));
        UI::CurveSet set = ShellTest::squareSet(1, 1, 5, 5, {0, 0, 0, 255});
        set.name = "set" + std::to_string(index);
        window->curveSets[index].append(set);
    }
    window->setToolDocksEnabled(true);
    window->ui->leftTabWidget->tabBar()->setEnabled(true);
    window->refreshDataExplorer(-1);
    Jp2ZipTest::quietly([&] { window->showDataSet(4); });
    ASSERT_EQ(window->ui->leftDataIndex, 4);
    QTreeWidget* tree = window->ui->treeWidgetDataExplorer;

    // Rows 1 and 3 go: the side shows row 2 (4 minus 2).
    tree->clearSelection();
    tree->topLevelItem(1)->setSelected(true);
    tree->topLevelItem(3)->setSelected(true);
    window->dataRemoveAction_triggered();
    ASSERT_EQ(window->dataFiles.size(), 3);
    EXPECT_EQ(window->ui->leftDataIndex, 2);
    EXPECT_EQ(window->dataFiles[2]->name, "data4");
    EXPECT_EQ(window->curveSets[1][0].name, "set2");
    EXPECT_EQ(window->curveSets[2][0].name, "set4");
    expectListsAligned();
    EXPECT_EQ(sideValue(0, "dataExplorerStateCurrentIndex").toInt(), 2);
    EXPECT_EQ(tree->currentItem(), tree->topLevelItem(2));
    // The closed right side gets no group.
    window->beginTabGroup(1);
    EXPECT_TRUE(window->sessionConfig->allKeys().isEmpty());
    window->sessionConfig->endGroup();

    // The right side shows row 0 with a feature beside its main viewer; the
    // left side's row goes, then the right side's.
    window->toolButtonTabWidget_clicked();
    emit window->ui->rightTabWidget->tabBarClicked(0);
    Jp2ZipTest::quietly([&] { window->showDataSet(0); });
    ASSERT_TRUE(window->setPushButtonHideOrShow("viewerWidgetToolsFeature"));
    ASSERT_NE(viewer(1, "viewerWidgetToolsFeature"), nullptr);
    emit window->ui->leftTabWidget->tabBarClicked(0);
    ASSERT_EQ(window->ui->activeSide, 0);
    tree->clearSelection();
    tree->topLevelItem(2)->setSelected(true);
    window->dataRemoveAction_triggered();
    EXPECT_EQ(window->ui->leftDataIndex, -1);
    EXPECT_TRUE(viewer(0)->isEmpty());
    EXPECT_EQ(window->ui->leftTabWidget->tabText(0), "No data loaded");
    EXPECT_EQ(tree->currentItem(), nullptr);
    EXPECT_EQ(window->ui->rightDataIndex, 0);
    EXPECT_FALSE(controlsEnabled());

    tree->clearSelection();
    tree->topLevelItem(0)->setSelected(true);
    window->dataRemoveAction_triggered();
    EXPECT_EQ(window->ui->rightDataIndex, -1);
    EXPECT_EQ(viewer(1, "viewerWidgetToolsFeature"), nullptr); // taken down first
    EXPECT_EQ(sideValue(1, "featureShowed").toInt(), 0);
    EXPECT_EQ(window->ui->rightTabWidget->tabText(0), "No data loaded");
    ASSERT_EQ(window->dataFiles.size(), 1);

    // The last one goes with the right side open: it closes.
    tree->selectAll();
    window->dataRemoveAction_triggered();
    EXPECT_TRUE(window->dataFiles.isEmpty());
    expectListsAligned();
    EXPECT_TRUE(window->ui->rightTabWidget->isHidden());
    EXPECT_FALSE(window->ui->leftTabWidget->tabBar()->isEnabled());
    EXPECT_FALSE(window->ui->dockWidgetPreviewMap->isEnabled());
    EXPECT_FALSE(controlsEnabled());
    EXPECT_EQ(window->ui->treeWidgetCurvesExplorer->topLevelItemCount(), 0);
    EXPECT_TRUE(window->sessionConfig->group().isEmpty());
}

TEST_F(DataSets, MenuEntriesFollowTheSelection)
{
    for (int k = 0; k < 2; ++k)
        addDataSet(ShellTest::makeDataSet(30, 30));
    window->refreshDataExplorer(-1);
    QTreeWidget* tree = window->ui->treeWidgetDataExplorer;
    const auto entries = [&] {
        std::unique_ptr<QMenu> menu(window->buildDataExplorerMenu());
        EXPECT_EQ(menu->parent(), window.get());
        QStringList texts;
        for (QAction* action : menu->actions())
            texts.append(action->text());
        return texts;
    };
    EXPECT_EQ(entries(), QStringList{"Load image data"});
    tree->topLevelItem(1)->setSelected(true);
    EXPECT_EQ(entries(), QStringList({"Load image data", "Delete", "Save"}));
    tree->topLevelItem(0)->setSelected(true);
    EXPECT_EQ(entries(), QStringList({"Load image data", "Delete", "Save all"}));
}

// Each entry chosen in the real menu, opening on the pool behind the
// progress dialog's own event loop: the menu outlives every handler and goes
// afterwards.
TEST_F(DataSets, MenuOutlivesItsEntries)
{
    const QString archive = product();
    const fs::path copy = folder.path() / "copy.zip";
    QTreeWidget* tree = window->ui->treeWidgetDataExplorer;
    const auto selectFirst = [tree] {
        tree->clearSelection();
        tree->topLevelItem(0)->setSelected(true);
    };
    struct Case {
        const char* entry;
        std::function<void()> prepare;
        std::function<void()> check;
        QStringList messages;
    };
    const Case cases[] = {
        {"Load image data", [&] { dialogs.fileAnswers.append({archive}); },
         [&] {
             ASSERT_EQ(window->dataFiles.size(), 1);
             EXPECT_EQ(window->ui->leftDataIndex, 0);
         },
         {}},
        {"Save",
         [&] {
             selectFirst();
             dialogs.fileAnswers.append({QString::fromStdString(copy.string())});
         },
         [&] { EXPECT_TRUE(fs::exists(copy)); }, {"File is saved."}},
        {"Delete", selectFirst, [&] { EXPECT_TRUE(window->dataFiles.isEmpty()); }, {}},
    };
    // The real runner for these entries.
    const TaskRunner::Runner inlineRunner = TaskRunner::setRunner({});
    for (const Case& c : cases) {
        c.prepare();
        dialogs.requests.clear();
        ShellTest::MenuChoice choice;
        Jp2ZipTest::quietly([&] { choice = ShellTest::chooseContextMenuEntry(tree, c.entry); });
        ShellTest::expectChosenAndOutlived(choice, c.entry);
        c.check();
        EXPECT_EQ(dialogs.messageTexts(), c.messages) << c.entry;
    }
    TaskRunner::setRunner(inlineRunner);
}

TEST_F(DataSets, SavingCopiesTheSourceFiles)
{
    open({product(tile("T33UXP")), product(tile("T34UDV"))});
    ASSERT_EQ(window->dataFiles.size(), 2);
    QTreeWidget* tree = window->ui->treeWidgetDataExplorer;
    const QString fileName = QString::fromStdString(window->dataFiles[0]->name) + ".zip";
    tree->clearSelection();
    tree->topLevelItem(0)->setSelected(true);

    // Cancelled: nothing told, no folder kept. Without a stored folder the
    // bare file name is proposed.
    dialogs.requests.clear();
    window->dataSaveAction_triggered();
    ASSERT_EQ(dialogs.fileRequests.size(), 2);
    EXPECT_EQ(dialogs.fileRequests.last().kind, FileDialogRequest::Kind::SaveFile);
    EXPECT_EQ(dialogs.fileRequests.last().caption, "Save file");
    EXPECT_EQ(dialogs.fileRequests.last().directory, fileName);
    EXPECT_TRUE(dialogs.requests.isEmpty());
    EXPECT_FALSE(QSettings().contains("folderFileSavePath"));

    const fs::path saved = folder.path() / "saved";
    fs::create_directories(saved);
    dialogs.fileAnswers.append({QString::fromStdString((saved / "copy.zip").string())});
    window->dataSaveAction_triggered();
    EXPECT_EQ(dialogs.messageTexts(), QStringList{"File is saved."});
    EXPECT_EQ(dialogs.requests.last().icon, 0);
    EXPECT_TRUE(fs::exists(saved / "copy.zip"));
    EXPECT_EQ(QSettings().value("folderFileSavePath").toString(), QString::fromStdString(saved.string()));
    // Next time the stored folder is proposed.
    window->dataSaveAction_triggered();
    EXPECT_EQ(dialogs.fileRequests.last().directory, QString::fromStdString(saved.string()) + "/" + fileName);

    // Both into a folder; then into one that does not exist.
    tree->selectAll();
    dialogs.requests.clear();
    dialogs.fileAnswers.append({QString::fromStdString(saved.string())});
    window->dataSaveAction_triggered();
    EXPECT_EQ(dialogs.fileRequests.last().kind, FileDialogRequest::Kind::Directory);
    EXPECT_EQ(dialogs.fileRequests.last().caption, "Select directory");
    EXPECT_EQ(dialogs.messageTexts(), QStringList{"All files are saved."});
    EXPECT_TRUE(fs::exists(saved / fileName.toStdString()));
    dialogs.requests.clear();
    dialogs.fileAnswers.append({QString::fromStdString((folder.path() / "nowhere").string())});
    window->dataSaveAction_triggered();
    EXPECT_EQ(dialogs.messageTexts(), QStringList{"Unable to save all files."});
    EXPECT_EQ(dialogs.requests.last().icon, 2);
}

// A save over a newer file that the user confirmed replaces it; "Save all"
// asks nothing, so there a newer file is not overwritten and counts as not
// saved, and so does a second data set of the same name.
TEST_F(DataSets, SavingTellsWhatWasWritten)
{
    const QString first = product(tile("T33UXP"));
    open({first});
    // The same product from another folder, loaded after "Yes".
    fs::create_directories(folder.path() / "again");
    const QString again = QString::fromStdString(
        Jp2ZipTest::copyOfProduct(folder.path() / "again", tile("T33UXP")).string());
    dialogs.answer = QMessageBox::Yes;
    open({again});
    ASSERT_EQ(window->dataFiles.size(), 2);
    QTreeWidget* tree = window->ui->treeWidgetDataExplorer;
    const std::string name = window->dataFiles[0]->name + ".zip";
    const fs::path saved = folder.path() / "saved";
    fs::create_directories(saved);
    const std::string source = TestSupport::readFile(first.toStdString());

    // One data set onto a newer file of that name: replaced.
    TestSupport::writeFile((saved / name).string(), "newer");
    fs::last_write_time(saved / name, fs::last_write_time(first.toStdString()) + std::chrono::hours(2));
    tree->clearSelection();
    tree->topLevelItem(0)->setSelected(true);
    dialogs.requests.clear();
    dialogs.fileAnswers.append({QString::fromStdString((saved / name).string())});
    window->dataSaveAction_triggered();
    EXPECT_EQ(dialogs.messageTexts(), QStringList{"File is saved."});
    EXPECT_TRUE(TestSupport::readFile((saved / name).string()) == source) << "replaced by the source";

    // Onto its own source file: still whole.
    dialogs.fileAnswers.append({first});
    window->dataSaveAction_triggered();
    EXPECT_TRUE(TestSupport::readFile(first.toStdString()) == source) << "the source is whole";

    // Both, of one name, into an empty folder: one file written, not "all".
    const fs::path both = folder.path() / "both";
    fs::create_directories(both);
    tree->selectAll();
    dialogs.requests.clear();
    dialogs.fileAnswers.append({QString::fromStdString(both.string())});
    window->dataSaveAction_triggered();
    EXPECT_EQ(dialogs.messageTexts(), QStringList{"Unable to save all files."});
    EXPECT_TRUE(TestSupport::readFile((both / name).string()) == source);

    // One data set by "Save all" onto a newer file: kept and told.
    open({product(tile("T34UDV"))});
    ASSERT_EQ(window->dataFiles.size(), 3);
    const std::string other = window->dataFiles[2]->name + ".zip";
    const fs::path third = folder.path() / "third";
    fs::create_directories(third);
    TestSupport::writeFile((third / other).string(), "newer");
    fs::last_write_time(third / other, fs::file_time_type::clock::now() + std::chrono::hours(2));
    tree->clearSelection();
    tree->topLevelItem(0)->setSelected(true);
    tree->topLevelItem(2)->setSelected(true);
    dialogs.requests.clear();
    dialogs.fileAnswers.append({QString::fromStdString(third.string())});
    window->dataSaveAction_triggered();
    EXPECT_EQ(dialogs.messageTexts(), QStringList{"Unable to save all files."});
    EXPECT_EQ(TestSupport::readFile((third / other).string()), "newer");
    EXPECT_TRUE(TestSupport::readFile((third / name).string()) == source);
}

TEST_F(DataSets, ShowFeatureOnTheFilteringPageShowsTheFilteredWorkingWindow)
{
    open({product()});
    ASSERT_EQ(window->dataFiles.size(), 1);
    IO::File* file = window->dataFiles[0];
    FenlarkAppUI& ui = *window->ui;
    window->setToolDocksEnabled(true);
    ui.doubleSpinBoxFilterLinearTimestep->setValue(0.5);

    {
        TaskRunner::ScopedInlineRunner inlineRunner;
        Jp2ZipTest::quietly([&] { ui.pushButtonFilterFeatureShow->click(); });
    }
    QLayoutItem* beside = grid(0)->itemAtPosition(0, 1);
    ASSERT_NE(beside, nullptr);
    UI::ViewerWidget* tools = viewer(0, "viewerWidgetToolsFeature");
    ASSERT_NE(tools, nullptr);
    EXPECT_EQ(beside->widget()->findChild<UI::ViewerWidget*>(), tools);
    EXPECT_FALSE(tools->isEmpty());

    // The red display band's entry is its working window after one linear
    // step of 0.5, as the filter gives it on its own.
    const int red = window->getBandIndex(0, 0);
    const IO::BandLevel& level = file->bands[static_cast<std::size_t>(red)].levels[0];
    const std::size_t n = static_cast<std::size_t>(file->workAreaWidth) * file->workAreaHeight;
    ASSERT_EQ(level.cacheSize("dataCacheToolsFilterSolution"), n);
    Filter::Filtration alone(file->workAreaWidth, file->workAreaHeight);
    Jp2ZipTest::quietly([&] {
        ASSERT_TRUE(alone.setImageWindow(level.data.get(), file->getWorkAreaX(0), file->getWorkAreaY(0), file->width,
                                         file->height));
        ASSERT_TRUE(alone.linearStep(0.5));
    });
    const float* shown = level.cacheData("dataCacheToolsFilterSolution");
    for (std::size_t i = 0; i < n; i += 37)
        EXPECT_EQ(shown[i], static_cast<float>(alone.result()[i])) << i;

    // And the button takes it down again.
    Jp2ZipTest::quietly([&] { ui.pushButtonFilterFeatureShow->click(); });
    EXPECT_EQ(grid(0)->itemAtPosition(0, 1), nullptr);
}
