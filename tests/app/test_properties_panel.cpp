// The properties panel and the per-side session state: the panel's rows
// and handlers, saving and restoring a side, the defaults by data type, and
// the explorer trees' set-up and contents.

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>

#include "test_dialogs.h"
#include "test_shell_support.h"
#include "tools/TaskRunner.h"

using ShellTest::Shell;

namespace {

// A data set whose bands carry the given display names.
std::unique_ptr<IO::File> namedBands(const std::vector<std::string>& names, const std::string& type)
{
    auto file = ShellTest::makeDataSet(40, 30, static_cast<int>(names.size()), 24);
    for (std::size_t i = 0; i < names.size(); ++i)
        file->bands[i].name = names[i];
    file->dataType = type;
    return file;
}

QStringList rowLabels(QTreeWidget* tree, int section)
{
    QStringList labels;
    QTreeWidgetItem* top = tree->topLevelItem(section);
    for (int k = 0; k < top->childCount(); ++k)
        labels.append(top->child(k)->text(0));
    return labels;
}

class Panel : public Shell {
protected:
    void SetUp() override
    {
        Shell::SetUp();
        ui = window->ui;
        // As after the first data set: the panel's own enabled states show.
        window->setToolDocksEnabled(true);
    }

    FenlarkAppUI* ui = nullptr;
    TaskRunner::ScopedInlineRunner inlineTasks;
};

class PanelWidths : public Panel {
protected:
    std::string defaults() const override
    {
        std::string text = Panel::defaults();
        replaceLine(text, "lineWidth=2", "lineWidth=0");
        replaceLine(text, "markWidth=8", "markWidth=11");
        replaceLine(text, "markColor=\"255,0,255,255\"", "markColor=\"1,2,3,15\"");
        replaceLine(text, "selectedMarkColor=\"0,255,0,255\"", "selectedMarkColor=\"1,2,3\"");
        return text;
    }
};

} // namespace

TEST_F(Panel, RowsAndStartStateOfThePanel)
{
    QTreeWidget* tree = ui->treeWidgetProperties;
    ASSERT_EQ(tree->topLevelItemCount(), 5);
    const QStringList sections{"File", "Crop histogram", "Curve style", "Habitat plot marks",
                               "Style of habitat plot marks"};
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(tree->topLevelItem(k)->text(0), sections[k]);
        EXPECT_TRUE(tree->topLevelItem(k)->isExpanded());
    }
    EXPECT_EQ(rowLabels(tree, 0), QStringList({"Show type", "Channel", "Channel", "Channel", ""}));
    EXPECT_EQ(rowLabels(tree, 1), QStringList({"Automatic crop", "Bottom crop [%]", "Top crop [%]", ""}));
    EXPECT_EQ(rowLabels(tree, 2), QStringList({"Curve width (px)", "Current segment color", "Active curve color",
                                               "Default inactive curve color"}));
    EXPECT_EQ(rowLabels(tree, 3), QStringList({"Show", "Select file", "Select habitat", "Select plot",
                                               "Radius for init circle (px)", "Init circle"}));
    EXPECT_EQ(rowLabels(tree, 4), QStringList({"Plot width", "Plot color", "Selected plot color"}));
    EXPECT_EQ(tree->itemWidget(tree->topLevelItem(0)->child(0), 1), ui->comboBoxShowTypeChannel.data());

    EXPECT_EQ(ui->comboBoxShowTypeChannel->itemText(1), "Multiple channels");
    EXPECT_TRUE(ui->comboBoxRedBand->isEnabled());
    EXPECT_FALSE(ui->comboBoxGreenBand->isEnabled());
    EXPECT_FALSE(ui->comboBoxBlueBand->isEnabled());
    EXPECT_TRUE(ui->checkBoxAutomaticCrop->isChecked());
    EXPECT_FALSE(ui->doubleSpinBoxBottomCrop->isEnabled());
    EXPECT_EQ(ui->doubleSpinBoxTopCrop->singleStep(), 0.5);
    EXPECT_EQ(ui->spinBoxCurveWidth->value(), 2);
    EXPECT_EQ(ui->spinBoxPlotWidth->value(), 8);
    EXPECT_EQ(ui->spinBoxInitCircleRadius->value(), 3);
    EXPECT_EQ(ui->spinBoxInitCircleRadius->maximum(), 100);
    EXPECT_EQ(ui->pushButtonInitCircleFromPlot->text(), "from selected plot");
    EXPECT_TRUE(ui->checkBoxShowHabitatPlots->isChecked());
    EXPECT_EQ(ui->curveColors.value("Curve/activeCurveColor"), QColor(255, 0, 0, 255));
    EXPECT_EQ(ui->habitatPlotColors.value("HabitatPlot/markColor"), QColor(255, 0, 255, 255));
    EXPECT_EQ(ui->pushButtonActiveCurveColor->styleSheet(), "background-color: #ffff0000;");

    // The crop toggle: the boxes are editable only without automatic crop
    // and keep their values.
    ui->checkBoxAutomaticCrop->setChecked(false);
    EXPECT_TRUE(ui->doubleSpinBoxBottomCrop->isEnabled());
    ui->doubleSpinBoxBottomCrop->setValue(3.5);
    ui->checkBoxAutomaticCrop->setChecked(true);
    EXPECT_FALSE(ui->doubleSpinBoxTopCrop->isEnabled());
    EXPECT_DOUBLE_EQ(ui->doubleSpinBoxBottomCrop->value(), 3.5);
}

TEST_F(PanelWidths, WidthsAreClampedAndColoursKeepEveryDigit)
{
    EXPECT_EQ(ui->spinBoxCurveWidth->value(), 1);
    EXPECT_EQ(ui->spinBoxPlotWidth->value(), 10);
    // Alpha 15 needs its leading zero to read back as 15.
    EXPECT_EQ(ui->habitatPlotColors.value("HabitatPlot/markColor"), QColor(1, 2, 3, 15));
    EXPECT_EQ(ui->pushButtonPlotColor->styleSheet(), "background-color: #0f010203;");
    // Three parts are no colour: opaque black stays.
    EXPECT_EQ(ui->habitatPlotColors.value("HabitatPlot/selectedMarkColor"), QColor(0, 0, 0, 255));
}

TEST_F(Panel, ColourPickersStoreRedrawAndSave)
{
    const int left = addDataSet(ShellTest::makeDataSet(40, 30, 3, 24));
    window->refreshDataExplorer(-1);
    window->showDataSet(left);
    window->toolButtonTabWidget_clicked();
    showOn(1, left);
    setViewport(viewer(0), QSize(50, 40));
    setViewport(viewer(1), QSize(50, 40));

    QColor answer;
    QList<ColorDialogRequest> asked;
    ScopedColorDialogHandler colours([&](const ColorDialogRequest& request) {
        asked.append(request);
        return answer;
    });

    // Cancelled: nothing changes, nothing is saved.
    const QString before = ui->pushButtonActiveCurveColor->styleSheet();
    const quint64 rendersBefore = viewer(1)->renderCount;
    ui->pushButtonActiveCurveColor->click();
    ASSERT_EQ(asked.size(), 1);
    EXPECT_EQ(asked[0].parent, window.get());
    EXPECT_EQ(asked[0].initial, QColor(255, 0, 0, 255));
    EXPECT_EQ(ui->curveColors.value("Curve/activeCurveColor"), QColor(255, 0, 0, 255));
    EXPECT_EQ(ui->pushButtonActiveCurveColor->styleSheet(), before);
    EXPECT_EQ(viewer(1)->renderCount, rendersBefore);

    // A curve colour redraws both sides and is saved for the active side.
    answer = QColor(10, 20, 30, 40);
    ui->pushButtonActiveCurveColor->click();
    EXPECT_EQ(ui->curveColors.value("Curve/activeCurveColor"), answer);
    EXPECT_EQ(ui->pushButtonActiveCurveColor->styleSheet(), "background-color: #280a141e;");
    EXPECT_EQ(sideValue(0, "curvePropertiesActiveColor").toString(), "10,20,30,40");
    EXPECT_GT(viewer(1)->renderCount, rendersBefore);

    // A plot colour redraws the active side only.
    const quint64 rightRenders = viewer(1)->renderCount;
    const quint64 leftRenders = viewer(0)->renderCount;
    ui->pushButtonSelectedPlotColor->click();
    EXPECT_EQ(ui->habitatPlotColors.value("HabitatPlot/selectedMarkColor"), answer);
    EXPECT_GT(viewer(0)->renderCount, leftRenders);
    EXPECT_EQ(viewer(1)->renderCount, rightRenders);
}

TEST_F(Panel, EachSideKeepsItsOwnBandsAndCrops)
{
    const int a = addDataSet(namedBands({"B02", "B03", "B04"}, "Sentinel-2 satellite image"));
    const int b = addDataSet(namedBands({"Red", "Green", "Blue", "Extra", "More"}, "OrthoMosaic tif image"));
    window->refreshDataExplorer(-1);
    window->showDataSet(a);
    ui->checkBoxAutomaticCrop->setChecked(false);
    ui->doubleSpinBoxBottomCrop->setValue(1.5);
    window->saveTabState();
    const std::set<int> aLoaded = window->dataFiles[a]->loadedBands;

    // The right side shows the other data set on one channel.
    window->toolButtonTabWidget_clicked();
    emit ui->rightTabWidget->tabBarClicked(0);
    window->showDataSet(b);
    ui->comboBoxShowTypeChannel->setCurrentIndex(0);
    ui->comboBoxRedBand->setCurrentIndex(4);
    window->pushButtonApplyChannels_clicked();
    ASSERT_EQ(ui->comboBoxRedBand->count(), 5);

    // Back to the left: its own band names, choices and crop; nothing read.
    emit ui->leftTabWidget->tabBarClicked(0);
    EXPECT_EQ(ui->comboBoxRedBand->count(), 3);
    EXPECT_EQ(ui->comboBoxRedBand->currentText(), "B04");
    EXPECT_EQ(ui->comboBoxGreenBand->currentText(), "B03");
    EXPECT_EQ(ui->comboBoxShowTypeChannel->currentIndex(), 1);
    EXPECT_TRUE(ui->comboBoxBlueBand->isEnabled());
    EXPECT_DOUBLE_EQ(ui->doubleSpinBoxBottomCrop->value(), 1.5);
    EXPECT_EQ(window->dataFiles[a]->loadedBands, aLoaded);
    EXPECT_EQ(ui->treeWidgetDataExplorer->currentItem(), ui->treeWidgetDataExplorer->topLevelItem(a));

    // And right again.
    emit ui->rightTabWidget->tabBarClicked(0);
    EXPECT_EQ(ui->comboBoxRedBand->count(), 5);
    EXPECT_EQ(ui->comboBoxRedBand->currentText(), "More");
    EXPECT_EQ(ui->comboBoxShowTypeChannel->currentIndex(), 0);
    EXPECT_FALSE(ui->comboBoxGreenBand->isEnabled());
    EXPECT_EQ(sideValue(1, "dataExplorerStateCurrentIndex").toInt(), b);
    EXPECT_TRUE(window->sessionConfig->group().isEmpty());

    // A stored band past the list (another data set's) reads as the first.
    setSideValue(0, "dataPropertiesRedBand", 4);
    emit ui->leftTabWidget->tabBarClicked(0);
    EXPECT_EQ(ui->comboBoxRedBand->currentIndex(), 0);
}

TEST_F(Panel, DefaultsByDataType)
{
    const int s2 = addDataSet(namedBands({"B02-Blue", "B04-Red", "B04-Red-2", "B03-Green"}, "Sentinel-2 satellite image"));
    const int ortho = addDataSet(namedBands({"Red", "Green", "Blue"}, "OrthoMosaic tif image"));
    window->refreshDataExplorer(-1);

    // The last band name containing the setting wins.
    window->fillBandCombos(s2);
    window->setPropertiesByDataType(s2);
    EXPECT_EQ(ui->comboBoxRedBand->currentIndex(), 2);
    EXPECT_EQ(ui->comboBoxGreenBand->currentIndex(), 3);
    EXPECT_EQ(ui->comboBoxBlueBand->currentIndex(), 0);
    EXPECT_DOUBLE_EQ(ui->doubleSpinBoxBottomCrop->value(), 1.5);
    EXPECT_DOUBLE_EQ(ui->doubleSpinBoxTopCrop->value(), 0.5);
    EXPECT_TRUE(ui->action_Ortho_Load_files->isEnabled());

    // An empty setting matches every band: the last one.
    window->sessionConfig->setValue("JP2ZipFile/greenBand", "");
    window->setPropertiesByDataType(s2);
    EXPECT_EQ(ui->comboBoxGreenBand->currentIndex(), 3);
    window->sessionConfig->setValue("JP2ZipFile/greenBand", "B02");
    window->setPropertiesByDataType(s2);
    EXPECT_EQ(ui->comboBoxGreenBand->currentIndex(), 0);

    // An orthomosaic: bands by colour name, no crop.
    window->fillBandCombos(ortho);
    window->setPropertiesByDataType(ortho);
    EXPECT_EQ(ui->comboBoxRedBand->currentIndex(), 0);
    EXPECT_EQ(ui->comboBoxBlueBand->currentIndex(), 2);
    EXPECT_DOUBLE_EQ(ui->doubleSpinBoxBottomCrop->value(), 0.0);
    EXPECT_FALSE(ui->checkBoxAutomaticCrop->isChecked());
    EXPECT_FALSE(ui->checkBoxAutomaticCrop->isEnabled());
    EXPECT_FALSE(ui->pushButtonApplyHistogramCrop->isEnabled());
    EXPECT_FALSE(ui->action_Ortho_Load_files->isEnabled());

    // A Sentinel-2 image after it crops again.
    window->fillBandCombos(s2);
    window->setPropertiesByDataType(s2);
    EXPECT_TRUE(ui->checkBoxAutomaticCrop->isEnabled());
    EXPECT_TRUE(ui->pushButtonApplyHistogramCrop->isEnabled());
    EXPECT_TRUE(ui->doubleSpinBoxBottomCrop->isEnabled()); // automatic crop is off
}

TEST_F(Panel, PlotFilesListTheFolderAndKeepTheChosenOne)
{
    const int data = addDataSet(ShellTest::makeDataSet(40, 30, 3, 24));
    QComboBox* files = ui->comboBoxHabitatPlotFile;
    // No folder yet: the list stays as it is.
    window->loadHabitatPlotFiles(data);
    EXPECT_EQ(files->count(), 0);

    std::filesystem::create_directories(cwd.path() / "habitats");
    for (const char* name : {"a.csv", "b.csv", "habitatCodes.csv", "notes.txt"})
        TestSupport::writeFile((cwd.path() / "habitats" / name).string(), "x");
    // The chosen file is read too: "x" is no plot table.
    ShellTest::Dialogs dialogs;
    window->loadHabitatPlotFiles(data);
    EXPECT_EQ(dialogs.messageTexts(), QStringList({"The csv habitat plot file has incorrect header structure."}));
    QStringList listed;
    for (int k = 0; k < files->count(); ++k)
        listed.append(files->itemText(k));
    listed.sort();
    EXPECT_EQ(listed, QStringList({"a.csv", "b.csv"}));

    // Choosing a file with no data set shown reads nothing and keeps the
    // choice; with one shown the refill keeps the chosen file.
    const int other = files->findText(listed[1]);
    files->setCurrentIndex(other);
    EXPECT_EQ(files->currentText(), listed[1]);
    showOn(0, data);
    files->setCurrentIndex(files->findText(listed[0]));
    EXPECT_EQ(files->currentText(), listed[0]);
    window->loadHabitatPlotFiles(data);
    EXPECT_EQ(files->currentText(), listed[0]);
}

TEST_F(Panel, ExplorerTreesAreSetUpForTheirHandlers)
{
    struct Expectation {
        QTreeWidget* tree;
        std::vector<std::pair<int, int>> sections;
        bool stretchLast;
    };
    const Expectation trees[] = {
        {ui->treeWidgetDataExplorer, {{0, 20}}, true},
        {ui->treeWidgetCurvesExplorer, {{0, 30}, {1, 20}, {2, 20}, {4, 30}}, false},
        {ui->treeWidgetRMExplorer, {{0, 20}}, true},
    };
    for (const Expectation& e : trees) {
        EXPECT_FALSE(e.tree->expandsOnDoubleClick()) << e.tree->objectName().toStdString();
        EXPECT_EQ(e.tree->contextMenuPolicy(), Qt::CustomContextMenu);
        EXPECT_EQ(e.tree->header()->minimumSectionSize(), 20);
        EXPECT_EQ(e.tree->header()->stretchLastSection(), e.stretchLast);
        for (const auto& [section, size] : e.sections)
            EXPECT_EQ(e.tree->header()->sectionSize(section), size) << e.tree->objectName().toStdString();
    }
    EXPECT_TRUE(ui->lineEditNetwork->isReadOnly());
}

TEST_F(Panel, ExplorersListTheActiveDataSetsSetsAndMaps)
{
    const int data = addDataSet(ShellTest::makeDataSet(40, 30, 3, 24));
    UI::CurveSet set = ShellTest::squareSet(1, 1, 5, 5, {0, 0, 0, 255});
    set.name = "curveSet_3";
    set.type = "kml";
    set.curves[0].name = "curve_7";
    set.curves[0].closed = true;
    UI::RelevancyMap map;
    map.name = "map";
    map.networkName = "net.csv";

    // No data set shown: empty trees, nothing stored, nothing appended.
    window->setCurvesExplorer(0);
    window->setRMExplorer(0);
    EXPECT_EQ(ui->treeWidgetCurvesExplorer->topLevelItemCount(), 0);
    EXPECT_FALSE(sideValue(0, "curveExplorerStateCurrentIndex").isValid());
    EXPECT_FALSE(sideValue(0, "RMExplorerStateCurrentIndex").isValid());
    EXPECT_FALSE(window->appendCurveSet(set));

    showOn(0, data);
    EXPECT_TRUE(window->appendCurveSet(set));
    EXPECT_TRUE(window->appendCurveSet(set));
    window->relevancyMaps[data].append(map);
    window->setCurvesExplorer(1);
    window->setRMExplorer(0);
    QTreeWidget* curves = ui->treeWidgetCurvesExplorer;
    ASSERT_EQ(curves->topLevelItemCount(), 2);
    EXPECT_EQ(curves->topLevelItem(0)->text(3), "curveSet_3.kml");
    EXPECT_EQ(curves->topLevelItem(0)->toolTip(3), "curveSet_3");
    ASSERT_EQ(curves->topLevelItem(0)->childCount(), 1);
    EXPECT_EQ(curves->topLevelItem(0)->child(0)->text(3), "curve_7");
    EXPECT_EQ(curves->topLevelItem(0)->child(0)->text(4), "closed");
    EXPECT_EQ(curves->currentItem(), curves->topLevelItem(1));
    EXPECT_FALSE(curves->topLevelItem(1)->icon(0).isNull());
    EXPECT_TRUE(curves->topLevelItem(0)->icon(0).isNull());
    EXPECT_EQ(sideValue(0, "curveExplorerStateCurrentIndex").toInt(), 1);
    QTreeWidget* maps = ui->treeWidgetRMExplorer;
    ASSERT_EQ(maps->topLevelItemCount(), 1);
    EXPECT_EQ(maps->topLevelItem(0)->text(1), "map");
    EXPECT_EQ(maps->topLevelItem(0)->text(2), "net.csv");
    EXPECT_EQ(sideValue(0, "RMExplorerStateCurrentIndex").toInt(), 0);

    // An empty curve list stores "none".
    window->curveSets[data].clear();
    window->setCurvesExplorer(1);
    EXPECT_EQ(curves->topLevelItemCount(), 0);
    EXPECT_EQ(sideValue(0, "curveExplorerStateCurrentIndex").toInt(), -1);
}

TEST_F(Panel, StatisticsChoosersListTheDataSets)
{
    auto longName = ShellTest::makeDataSet(10, 10);
    longName->name = "S2A_MSIL2A_20230601T095031_N0509_R079_T33UXP";
    addDataSet(std::move(longName));
    window->fillStatisticsFileComboBoxes();
    for (QComboBox* combo : {ui->comboBoxStatsDiffFile1, ui->comboBoxStatsDiffFile2, ui->comboBoxStatsAreaDiffFile1,
                             ui->comboBoxStatsAreaDiffFile2}) {
        ASSERT_EQ(combo->count(), 1);
        EXPECT_EQ(combo->itemText(0), "S2A_MSIL2A_20230601T095031_N05...");
        EXPECT_EQ(combo->currentIndex(), 0);
    }
    auto shortName = ShellTest::makeDataSet(10, 10);
    shortName->name = "tile";
    addDataSet(std::move(shortName));
    window->refreshDataExplorer(-1);
    EXPECT_EQ(ui->comboBoxStatsDiffFile1->itemText(1), "tile...");
    EXPECT_EQ(ui->comboBoxStatsDiffFile1->currentIndex(), 0);
    EXPECT_EQ(ui->comboBoxStatsDiffFile2->currentIndex(), 1);
    EXPECT_EQ(ui->comboBoxStatsAreaDiffFile2->currentIndex(), 1);
}

TEST_F(Panel, FeatureCacheAndToolsViewerBelongToASide)
{
    const int data = addDataSet(ShellTest::makeDataSet(40, 30, 3, 24));
    EXPECT_FALSE(window->clearFeatureCache(0));
    showOn(0, data);
    IO::File* file = window->dataFiles[data];
    const std::vector<float> image(24 * 24, 0.5f);
    for (IO::Band& band : file->bands)
        band.levels[0].storeCache<float>("dataCacheToolsFilterSolution", image.data(), image.size());
    EXPECT_FALSE(window->hideToolsViewer(0)); // none shown

    ASSERT_TRUE(window->setPushButtonHideOrShow("viewerWidgetToolsFeature"));
    EXPECT_EQ(sideValue(0, "featureShowed").toInt(), 1);
    ASSERT_NE(viewer(0, "viewerWidgetToolsFeature"), nullptr);
    window->ui->workingAreaLocked = true;
    EXPECT_FALSE(window->setPushButtonHideOrShow(QString()));
    EXPECT_EQ(viewer(0, "viewerWidgetToolsFeature"), nullptr);
    EXPECT_EQ(sideValue(0, "featureShowed").toInt(), 0);
    EXPECT_EQ(sideValue(0, "RMExplorerStateCurrentIndex").toInt(), -1);
    EXPECT_FALSE(window->ui->workingAreaLocked);
    for (const IO::Band& band : file->bands)
        EXPECT_EQ(band.levels[0].cacheSize("dataCacheToolsFilterSolution"), 0u);
    EXPECT_EQ(grid(0)->itemAtPosition(0, 1), nullptr);
}
