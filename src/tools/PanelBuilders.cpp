// Builders of the explorer trees and of the properties panel that the
// window set-up runs, and the panel's colour pickers.
//
// The tool pages' own builders are in ToolPanels.cpp.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTabWidget>
#include <QTreeWidget>

#include "app/FenlarkApp.h"
#include "app/FenlarkAppUI.h"
#include "app/SettingsKeys.h"
#include "app/WidgetUtils.h"
#include "viewers/ViewerWidget.h"

namespace UI {

namespace {

// The common part of the three explorer set-ups: minimum section size, no
// expanding on double click, a custom context menu.
void prepareExplorer(QTreeWidget* tree, bool stretchLast)
{
    tree->header()->setMinimumSectionSize(20);
    tree->header()->setStretchLastSection(stretchLast);
    tree->setExpandsOnDoubleClick(false);
    tree->setContextMenuPolicy(Qt::CustomContextMenu);
}

// "background-color: #aarrggbb;" with all eight digits, so a colour with
// little alpha is not read back as another one.
QString colourStyle(const QColor& colour)
{
    return QStringLiteral("background-color: #%1;").arg(colour.rgba(), 8, 16, QLatin1Char('0'));
}

} // namespace

void FenlarkApp::initDataExplorer()
{
    QTreeWidget* tree = ui->treeWidgetDataExplorer;
    prepareExplorer(tree, true);
    tree->header()->resizeSection(0, 20);
    tree->header()->resizeSection(1, tree->header()->width() - 20);
    connect(tree, &QTreeWidget::itemDoubleClicked, this, &FenlarkApp::treeWidgetDataExplorer_doubleClicked);
    connect(tree, &QTreeWidget::customContextMenuRequested, this, &FenlarkApp::treeWidgetDataExplorer_menu);
}

void FenlarkApp::initCurvesExplorer()
{
    QTreeWidget* tree = ui->treeWidgetCurvesExplorer;
    prepareExplorer(tree, false);
    tree->header()->resizeSection(0, 30);
    tree->header()->resizeSection(1, 20);
    tree->header()->resizeSection(2, 20);
    tree->header()->resizeSection(4, 30);
    tree->header()->resizeSection(3, tree->header()->width() - 100);
    connect(tree, &QTreeWidget::itemDoubleClicked, this, &FenlarkApp::treeWidgetCurvesExplorer_focus);
    connect(tree, &QTreeWidget::customContextMenuRequested, this, &FenlarkApp::treeWidgetCurvesExplorer_menu);
}

void FenlarkApp::initRMExplorer()
{
    QTreeWidget* tree = ui->treeWidgetRMExplorer;
    prepareExplorer(tree, true);
    tree->header()->resizeSection(0, 20);
    tree->header()->resizeSection(2, 10);
    tree->header()->resizeSection(1, tree->header()->width() - 30);
    connect(tree, &QTreeWidget::itemDoubleClicked, this, &FenlarkApp::treeWidgetRMExplorer_doubleClicked);
    connect(tree, &QTreeWidget::customContextMenuRequested, this, &FenlarkApp::treeWidgetRMExplorer_menu);
    ui->lineEditNetwork->setReadOnly(true);
}

void FenlarkApp::initPropertiesPanel()
{
    QTreeWidget* tree = ui->treeWidgetProperties;
    const auto sessionColour = [this](const char* key) {
        QColor colour(0, 0, 0, 255);
        colorFromText(sessionConfig->value(QString::fromLatin1(key)).toString(), colour, QStringLiteral(","));
        return colour;
    };
    const auto colourRow = [&](QTreeWidgetItem* section, const QString& label, QPointer<QPushButton>& button,
                               QHash<QString, QColor>& table, const char* key, bool curve) {
        button = new QPushButton();
        button->setAutoFillBackground(true);
        const QString keyText = QString::fromLatin1(key);
        const QColor colour = sessionColour(key);
        button->setStyleSheet(colourStyle(colour));
        table.insert(keyText, colour);
        QPushButton* target = button;
        connect(button, &QPushButton::clicked, this, [this, keyText, target, curve] {
            if (curve)
                pickCurveColor(keyText, target);
            else
                pickPlotColor(keyText, target);
        });
        addTreeRow(tree, label, section, button, false);
    };
    const auto widthSetting = [this](const char* key) {
        return static_cast<int>(sessionConfig->value(QString::fromLatin1(key)).toUInt());
    };

    // File.
    QTreeWidgetItem* file = addTreeSection(tree, tr("File"));
    ui->comboBoxShowTypeChannel = new QComboBox();
    fillComboBox(ui->comboBoxShowTypeChannel, {QStringLiteral("Single channel"), QStringLiteral("Multiple channels")});
    connect(ui->comboBoxShowTypeChannel, &QComboBox::currentIndexChanged, this,
            &FenlarkApp::comboBoxShowTypeChannel_currentIndexChanged);
    addTreeRow(tree, tr("Show type"), file, ui->comboBoxShowTypeChannel, false);
    ui->comboBoxRedBand = new QComboBox();
    ui->comboBoxGreenBand = new QComboBox();
    ui->comboBoxBlueBand = new QComboBox();
    ui->comboBoxGreenBand->setEnabled(false);
    ui->comboBoxBlueBand->setEnabled(false);
    for (QComboBox* combo : {ui->comboBoxRedBand.data(), ui->comboBoxGreenBand.data(), ui->comboBoxBlueBand.data()})
        addTreeRow(tree, tr("Channel"), file, combo, false);
    ui->pushButtonApplyChannels = new QPushButton(QStringLiteral("Apply"));
    connect(ui->pushButtonApplyChannels, &QPushButton::clicked, this, &FenlarkApp::pushButtonApplyChannels_clicked);
    addTreeRow(tree, QString(), file, ui->pushButtonApplyChannels, false);
    expandTreeItem(tree, file);

    // Crop histogram.
    QTreeWidgetItem* crop = addTreeSection(tree, tr("Crop histogram"));
    ui->checkBoxAutomaticCrop = new QCheckBox();
    ui->checkBoxAutomaticCrop->setChecked(true);
    addTreeRow(tree, tr("Automatic crop"), crop, ui->checkBoxAutomaticCrop, false);
    ui->doubleSpinBoxBottomCrop = new QDoubleSpinBox();
    setupDoubleSpinBox(ui->doubleSpinBoxBottomCrop, 0.0, 0.0, 100.0, 2, 0.5, false, QString());
    addTreeRow(tree, tr("Bottom crop [%]"), crop, ui->doubleSpinBoxBottomCrop, false);
    ui->doubleSpinBoxTopCrop = new QDoubleSpinBox();
    setupDoubleSpinBox(ui->doubleSpinBoxTopCrop, 0.0, 0.0, 100.0, 2, 0.5, false, QString());
    addTreeRow(tree, tr("Top crop [%]"), crop, ui->doubleSpinBoxTopCrop, false);
    connect(ui->checkBoxAutomaticCrop, &QCheckBox::stateChanged, this, [this](int state) {
        setEnabledOf({ui->doubleSpinBoxBottomCrop, ui->doubleSpinBoxTopCrop}, state == 0);
    });
    ui->pushButtonApplyHistogramCrop = new QPushButton(QStringLiteral("Apply"));
    connect(ui->pushButtonApplyHistogramCrop, &QPushButton::clicked, this,
            &FenlarkApp::pushButtonApplyHistogramCrop_clicked);
    addTreeRow(tree, QString(), crop, ui->pushButtonApplyHistogramCrop, false);
    expandTreeItem(tree, crop);

    // Curve style.
    QTreeWidgetItem* curves = addTreeSection(tree, tr("Curve style"));
    ui->spinBoxCurveWidth = new QSpinBox();
    setupSpinBox(ui->spinBoxCurveWidth, std::clamp(widthSetting(Keys::curveLineWidth), 1, 10), 1, 10, 1, true,
                 QString());
    connect(ui->spinBoxCurveWidth, &QSpinBox::valueChanged, this, [this] { refreshAllViewers(); });
    addTreeRow(tree, tr("Curve width (px)"), curves, ui->spinBoxCurveWidth, false);
    colourRow(curves, tr("Current segment color"), ui->pushButtonCurrentCurveColor, ui->curveColors,
              Keys::curveCurrentCurveColor, true);
    colourRow(curves, tr("Active curve color"), ui->pushButtonActiveCurveColor, ui->curveColors,
              Keys::curveActiveCurveColor, true);
    colourRow(curves, tr("Default inactive curve color"), ui->pushButtonUnactiveCurveColor, ui->curveColors,
              Keys::curveUnactiveCurveColor, true);
    expandTreeItem(tree, curves);

    // Habitat plot marks.
    QTreeWidgetItem* plots = addTreeSection(tree, tr("Habitat plot marks"));
    ui->checkBoxShowHabitatPlots = new QCheckBox();
    ui->checkBoxShowHabitatPlots->setChecked(true);
    connect(ui->checkBoxShowHabitatPlots, &QCheckBox::stateChanged, this, [this] { refreshActiveViewers(); });
    addTreeRow(tree, tr("Show"), plots, ui->checkBoxShowHabitatPlots, false);
    ui->comboBoxHabitatPlotFile = new QComboBox();
    connect(ui->comboBoxHabitatPlotFile, &QComboBox::currentIndexChanged, this, [this] {
        // The plots are placed on the active side's data set; with none
        // shown there is nothing to place them on.
        const int index = ui->activeSide == 0 ? ui->leftDataIndex : ui->rightDataIndex;
        if (index < 0)
            return;
        loadHabitatPlotFiles(index);
        refreshActiveViewers();
    });
    addTreeRow(tree, tr("Select file"), plots, ui->comboBoxHabitatPlotFile, false);
    ui->comboBoxHabitat = new QComboBox();
    connect(ui->comboBoxHabitat, &QComboBox::currentIndexChanged, this, [this] {
        fillHabitatPlotCombo();
        refreshActiveViewers();
    });
    addTreeRow(tree, tr("Select habitat"), plots, ui->comboBoxHabitat, false);
    ui->comboBoxHabitatPlot = new QComboBox();
    connect(ui->comboBoxHabitatPlot, &QComboBox::currentIndexChanged, this, [this] { centerOnHabitatPlot(); });
    addTreeRow(tree, tr("Select plot"), plots, ui->comboBoxHabitatPlot, false);
    ui->spinBoxInitCircleRadius = new QSpinBox();
    setupSpinBox(ui->spinBoxInitCircleRadius, 3, 3, 100, 1, true, QString());
    addTreeRow(tree, tr("Radius for init circle (px)"), plots, ui->spinBoxInitCircleRadius, false);
    ui->pushButtonInitCircleFromPlot = new QPushButton(QStringLiteral("from selected plot"));
    connect(ui->pushButtonInitCircleFromPlot, &QPushButton::clicked, this, &FenlarkApp::initCircleFromHabitatPlot);
    addTreeRow(tree, tr("Init circle"), plots, ui->pushButtonInitCircleFromPlot, false);
    expandTreeItem(tree, plots);

    // Style of habitat plot marks.
    QTreeWidgetItem* marks = addTreeSection(tree, tr("Style of habitat plot marks"));
    ui->spinBoxPlotWidth = new QSpinBox();
    setupSpinBox(ui->spinBoxPlotWidth, std::clamp(widthSetting(Keys::habitatPlotMarkWidth), 1, 10), 1, 10, 1, true,
                 QString());
    connect(ui->spinBoxPlotWidth, &QSpinBox::valueChanged, this, [this] { refreshActiveViewers(); });
    addTreeRow(tree, tr("Plot width"), marks, ui->spinBoxPlotWidth, false);
    colourRow(marks, tr("Plot color"), ui->pushButtonPlotColor, ui->habitatPlotColors, Keys::habitatPlotMarkColor,
              false);
    colourRow(marks, tr("Selected plot color"), ui->pushButtonSelectedPlotColor, ui->habitatPlotColors,
              Keys::habitatPlotSelectedMarkColor, false);
    expandTreeItem(tree, marks);
}

void FenlarkApp::pickCurveColor(const QString& key, QPushButton* button)
{
    if (!ui->curveColors.contains(key))
        return;
    const QColor colour = chooseColor(this, ui->curveColors.value(key));
    if (!colour.isValid())
        return;
    ui->curveColors.insert(key, colour);
    if (button)
        button->setStyleSheet(colourStyle(colour));
    saveTabState();
    refreshAllViewers();
}

void FenlarkApp::pickPlotColor(const QString& key, QPushButton* button)
{
    if (!ui->habitatPlotColors.contains(key))
        return;
    const QColor colour = chooseColor(this, ui->habitatPlotColors.value(key));
    if (!colour.isValid())
        return;
    ui->habitatPlotColors.insert(key, colour);
    if (button)
        button->setStyleSheet(colourStyle(colour));
    saveTabState();
    // Only the marks change: the active side's viewers are enough.
    for (ViewerWidget* viewer : sideViewers(ui->activeSide))
        refreshViewer(viewer);
}

} // namespace UI
