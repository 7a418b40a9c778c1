// The trees of the three feature pages of the tools dock: "Filtering",
// "Semi-automatic segmentation" and "Automatic segmentation".
//
// Each page is a two-column tree: grey section rows, and under them one row
// per option with its label in column 0 and its editor in column 1. The
// editors are created here without parent (the tree takes them over) and
// kept in the guarded pointers of FenlarkAppUI, which the feature chains and
// the segmentation read. Every default is a constant of its builder; nothing
// is read from or written to a settings file, and the set-up itself emits no
// value-changed signal: spin boxes are configured with their signals blocked
// and every connection is made after its editor holds its initial value.

#include <vector>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QSpinBox>
#include <QToolBox>
#include <QToolButton>
#include <QTreeWidget>

#include "app/FenlarkApp.h"
#include "app/FenlarkAppUI.h"
#include "app/WidgetUtils.h"

namespace UI {

namespace {

// The four editors of one filter choice: the type (Filter::FilterType as
// combo index) and the time steps and sensitivity the filters take.
struct FilterParameterEditors {
    QPointer<QComboBox>& type;
    QPointer<QDoubleSpinBox>& linearTimestep;
    QPointer<QDoubleSpinBox>& sensitivity;
    QPointer<QDoubleSpinBox>& nonlinearTimestep;
};

// The feature choice and the two buttons every feature page starts with.
struct FeatureEditors {
    QPointer<QComboBox>& feature;
    QPointer<QPushButton>& show;
    QPointer<QPushButton>& refresh;
    void (FenlarkApp::*showSlot)();
    void (FenlarkApp::*refreshSlot)();
};

// Value, range, precision and step of a double spin box.
struct NumberFormat {
    double value;
    double minimum;
    double maximum;
    int decimals;
    double step;
};

// One value box of a composite row and its tool tip.
struct ValueBox {
    QPointer<QDoubleSpinBox>& box;
    QString tip;
};

// A "Use custom ..." row, left to right: the check box, the value boxes
// (disabled until the check box allows them) and the button that fetches
// the values. The check box and the button start enabled or not together.
struct CustomValueEditors {
    QPointer<QCheckBox>& check;
    QString checkTip;
    std::vector<ValueBox> values;
    NumberFormat format;
    QPointer<QToolButton>& update;
    QString updateTip;
    bool enabled;
};

// Creates an editor into its guarded pointer and gives it back for its row.
template <typename Widget>
Widget* makeEditor(QPointer<Widget>& member)
{
    member = new Widget();
    return member.data();
}

QComboBox* comboBox(QPointer<QComboBox>& member, const QStringList& items)
{
    fillComboBox(makeEditor(member), items);
    return member.data();
}

QCheckBox* checkBox(QPointer<QCheckBox>& member, bool checked)
{
    makeEditor(member)->setChecked(checked);
    return member.data();
}

QDoubleSpinBox* doubleSpinBox(QPointer<QDoubleSpinBox>& member, NumberFormat format, bool enabled = true,
                              const QString& tip = QString())
{
    setupDoubleSpinBox(makeEditor(member), format.value, format.minimum, format.maximum, format.decimals, format.step,
                       enabled, tip);
    return member.data();
}

QSpinBox* spinBox(QPointer<QSpinBox>& member, int value, int minimum, int maximum, int step)
{
    setupSpinBox(makeEditor(member), value, minimum, maximum, step, true, QString());
    return member.data();
}

// Fills one panel tree of the main window. Texts are translated in the
// window's context.
class PanelTree {
    Q_DECLARE_TR_FUNCTIONS(UI::FenlarkApp)

public:
    PanelTree(FenlarkApp* window, QTreeWidget* tree)
        : window_(window)
        , tree_(tree)
    {
    }

    QTreeWidgetItem* section(const QString& title) { return addTreeSection(tree_, title); }

    void row(QTreeWidgetItem* section, const QString& label, QWidget* editor, bool hidden = false)
    {
        addTreeRow(tree_, label, section, editor, hidden);
    }

    void expand(QTreeWidgetItem* section) { expandTreeItem(tree_, section); }

    // The header sizes its sections to their contents; the last step.
    void finish() { tree_->header()->setSectionResizeMode(QHeaderView::ResizeToContents); }

    // Section "Feature functions": the feature to show, "Show feature" and
    // "Update image", each button wired to its page's slot.
    void addFeatureFunctions(const QStringList& features, FeatureEditors editors)
    {
        QTreeWidgetItem* functions = section(tr("Feature functions"));
        row(functions, tr("Feature to show"), comboBox(editors.feature, features));
        setButtonIcon(makeEditor(editors.show), QStringLiteral("eye-look.png"), tr("Show feature"));
        QObject::connect(editors.show, &QPushButton::clicked, window_, editors.showSlot);
        row(functions, QString(), editors.show);
        setButtonIcon(makeEditor(editors.refresh), QStringLiteral("update.png"), tr("Update image"));
        QObject::connect(editors.refresh, &QPushButton::clicked, window_, editors.refreshSlot);
        row(functions, QString(), editors.refresh);
        expand(functions);
    }

    // The four rows of a filter choice, in this order because the type
    // shows and hides rows 2 and 3 by position: the linear filter uses the
    // linear time step only, the other two also the sensitivity and the
    // nonlinear time step.
    void addFilterParameters(QTreeWidgetItem* section, const QString& typeLabel, double linearTimestep,
                             FilterParameterEditors editors)
    {
        row(section, typeLabel,
            comboBox(editors.type, {tr("Linear"), tr("Nonlinear"), tr("Geometric-MCF")}));
        row(section, tr("Linear timestep"),
            doubleSpinBox(editors.linearTimestep, {linearTimestep, 0.0, 100000.0, 2, 0.25}));
        row(section, tr("Sensitivity"),
            doubleSpinBox(editors.sensitivity, {1000.0, 0.0, 100000000.0, 2, 200.0}), true);
        row(section, tr("Nonlinear timestep"),
            doubleSpinBox(editors.nonlinearTimestep, {3.0, 0.0, 100000.0, 2, 0.25}), true);
        QTreeWidget* tree = tree_;
        const int sectionIndex = tree->indexOfTopLevelItem(section);
        QObject::connect(editors.type, &QComboBox::currentIndexChanged, tree, [tree, sectionIndex](int index) {
            setTreeOptionRowsVisible(tree, sectionIndex, index != 0);
        });
    }

    // A row whose editor is an untitled group box holding a check box, the
    // value boxes and an update button side by side.
    void addCustomValueRow(QTreeWidgetItem* section, const QString& label, CustomValueEditors editors)
    {
        auto* group = new QGroupBox(tree_);
        auto* layout = new QHBoxLayout(group);
        layout->setSpacing(1);
        layout->setContentsMargins(0, 0, 0, 0);

        QCheckBox* check = checkBox(editors.check, false);
        check->setToolTip(editors.checkTip);
        check->setEnabled(editors.enabled);
        layout->addWidget(check);
        for (const ValueBox& value : editors.values)
            layout->addWidget(doubleSpinBox(value.box, editors.format, false, value.tip));
        QToolButton* update = makeEditor(editors.update);
        setButtonIcon(update, QStringLiteral("update.png"), QString());
        update->setToolTip(editors.updateTip);
        update->setEnabled(editors.enabled);
        layout->addWidget(update);

        row(section, label, group);
    }

private:
    FenlarkApp* window_;
    QTreeWidget* tree_;
};

} // namespace

void FenlarkApp::initFiltrationTools()
{
    ui->toolBoxTools->setCurrentIndex(0);
    PanelTree panel(this, ui->treeWidgetFiltration);

    panel.addFeatureFunctions({tr("Filtered img"), tr("Edge detector for Nonlinear diffusion")},
                              {ui->comboBoxFilterFeature, ui->pushButtonFilterFeatureShow,
                               ui->pushButtonFilterFeatureRefreshImage, &FenlarkApp::pushButtonFilterFeatureShow_clicked,
                               &FenlarkApp::pushButtonFilterFeatureRefreshImage_clicked});

    QTreeWidgetItem* filtering = panel.section(tr("Filtering of image"));
    panel.addFilterParameters(filtering, tr("Type"), 0.5,
                              {ui->comboBoxFilterType, ui->doubleSpinBoxFilterLinearTimestep,
                               ui->doubleSpinBoxFilterSensitivity, ui->doubleSpinBoxFilterNonlinearTimestep});
    panel.expand(filtering);

    panel.finish();
}

void FenlarkApp::initSemiSegmentationTools()
{
    PanelTree panel(this, ui->treeWidgetSemiSegm);

    panel.addFeatureFunctions({tr("Filtered img for edge detector"), tr("Edge detector"), tr("Norm of vector field")},
                              {ui->comboBoxSemiFeature, ui->pushButtonSemiFeatureShow,
                               ui->pushButtonSemiFeatureRefreshImage, &FenlarkApp::pushButtonSemiFeatureShow_clicked,
                               &FenlarkApp::pushButtonSemiFeatureRefreshImage_clicked});

    QTreeWidgetItem* filtering = panel.section(tr("Filtering for edge detector"));
    panel.addFilterParameters(filtering, tr("Type"), 0.5,
                              {ui->comboBoxSemiFilterType, ui->doubleSpinBoxSemiLinearTimestep,
                               ui->doubleSpinBoxSemiSensitivity, ui->doubleSpinBoxSemiNonlinearTimestep});
    panel.expand(filtering);

    QTreeWidgetItem* edges = panel.section(tr("Edge detector"));
    panel.row(edges, tr("Gradient sensitivity"),
              doubleSpinBox(ui->doubleSpinBoxSemiGradientSensitivity, {500.0, 0.0, 1000000.0, 2, 100.0}));
    panel.expand(edges);

    QTreeWidgetItem* settings = panel.section(tr("Segmentation settings"));
    panel.row(settings, tr("Curvature influence"),
              doubleSpinBox(ui->doubleSpinBoxSemiCurvatureInfluence, {0.3, 0.01, 1.0, 2, 0.1}));
    panel.row(settings, tr("Initial condition"),
              comboBox(ui->comboBoxSemiInitialCondition, {tr("Gradient-driven"), tr("Linear")}));
    panel.row(settings, tr("Evolve segment"), checkBox(ui->checkBoxSemiEvolveSegment, true));
    panel.row(settings, tr("Auto stop"), checkBox(ui->checkBoxSemiAutoStop, false));
    panel.row(settings, tr("Magnet treshold (px)"), spinBox(ui->spinBoxSemiMagnetThreshold, 3, 0, 100, 1));
    panel.expand(settings);

    panel.finish();
}

void FenlarkApp::initAutoSegmentationTools()
{
    PanelTree panel(this, ui->treeWidgetAutoSegm);

    // Filled with the band names of the shown data set when one is shown.
    QTreeWidgetItem* channel = panel.section(tr("Segmentation channel"));
    panel.row(channel, tr("Channel"), makeEditor(ui->comboBoxAutoChannel));
    panel.expand(channel);

    panel.addFeatureFunctions({tr("Filtered img for edge detector"), tr("Edge detector"), tr("Norm of vector field"),
                               tr("Filtered img for homogeneity detector"), tr("Homogeneity detector"),
                               tr("Expanding force")},
                              {ui->comboBoxAutoFeature, ui->pushButtonAutoFeatureShow,
                               ui->pushButtonAutoFeatureRefreshImage, &FenlarkApp::pushButtonAutoFeatureShow_clicked,
                               &FenlarkApp::pushButtonAutoFeatureRefreshImage_clicked});

    QTreeWidgetItem* edgeFiltering = panel.section(tr("Filtering for edge detector"));
    panel.addFilterParameters(edgeFiltering, tr("Filter type"), 0.5,
                              {ui->comboBoxAutoEdgeFilterType, ui->doubleSpinBoxAutoEdgeLinearTimestep,
                               ui->doubleSpinBoxAutoEdgeSensitivity, ui->doubleSpinBoxAutoEdgeNonlinearTimestep});
    panel.expand(edgeFiltering);

    QTreeWidgetItem* edges = panel.section(tr("Edge detector"));
    panel.row(edges, tr("Gradient sensitivity"),
              doubleSpinBox(ui->doubleSpinBoxAutoGradientSensitivity, {500.0, 0.0, 1000000.0, 2, 100.0}));
    panel.expand(edges);

    // The vector field and the expanding force start without linear
    // pre-smoothing.
    QTreeWidgetItem* vectorField = panel.section(tr("Vector field"));
    panel.addFilterParameters(vectorField, tr("Filter type"), 0.0,
                              {ui->comboBoxAutoVectorFieldFilterType, ui->doubleSpinBoxAutoVectorFieldLinearTimestep,
                               ui->doubleSpinBoxAutoVectorFieldSensitivity,
                               ui->doubleSpinBoxAutoVectorFieldNonlinearTimestep});
    panel.expand(vectorField);

    // Two variants: within eps % of a mean, or within eps of a min/max
    // range; the mean, or the range, comes from the selected curve set
    // unless a custom value is used.
    QTreeWidgetItem* homogeneity = panel.section(tr("Homogeneity detector"));
    panel.addFilterParameters(homogeneity, tr("Filter type"), 0.5,
                              {ui->comboBoxAutoHomogeneityFilterType, ui->doubleSpinBoxAutoHomogeneityLinearTimestep,
                               ui->doubleSpinBoxAutoHomogeneitySensitivity,
                               ui->doubleSpinBoxAutoHomogeneityNonlinearTimestep});
    panel.row(homogeneity, tr("Function type"),
              comboBox(ui->comboBoxAutoHomogeneityFunctionType,
                       {tr("Discontinuous (mean)"), tr("Discontinuous (min/max)")}));
    panel.row(homogeneity, tr("Eps (% from mean)"),
              doubleSpinBox(ui->doubleSpinBoxAutoEpsMean, {20.0, 0.0, 100.0, 2, 1.0}, true, tr("% from mean")));
    panel.addCustomValueRow(homogeneity, tr("Use custom mean"),
                            {ui->checkBoxAutoUseCustomMean,
                             tr("Use custom mean"),
                             {{ui->doubleSpinBoxAutoCustomMean, tr("Mean value")}},
                             {0.0, 0.0, 1000000.0, 2, 100.0},
                             ui->toolButtonRefresMeanForH,
                             tr("Update mean"),
                             true});
    panel.row(homogeneity, tr("Eps (from minmax)"),
              doubleSpinBox(ui->doubleSpinBoxAutoEpsMinMax, {0.0, -1000000.0, 1000000.0, 1, 1.0}, false,
                            tr("Difference from min max")));
    panel.addCustomValueRow(homogeneity, tr("Use custom minmax"),
                            {ui->checkBoxAutoUseCustomMinMax,
                             tr("Use custom min max"),
                             {{ui->doubleSpinBoxAutoCustomMin, tr("Min value")},
                              {ui->doubleSpinBoxAutoCustomMax, tr("Max value")}},
                             {0.0, -1000000.0, 1000000.0, 1, 1.0},
                             ui->toolButtonRefresMinMaxForH,
                             tr("Update min max"),
                             false});
    connect(ui->comboBoxAutoHomogeneityFunctionType, &QComboBox::currentIndexChanged, this,
            &FenlarkApp::homogeneityFunctionTypeChanged);
    // A custom value box is usable only while its check box is checked and
    // its variant is the chosen one.
    const auto variantChosen = [this](FenlarkAppUI::HomogeneityFunctionType variant) {
        return ui->comboBoxAutoHomogeneityFunctionType
               && ui->comboBoxAutoHomogeneityFunctionType->currentIndex() == variant;
    };
    connect(ui->checkBoxAutoUseCustomMean, &QCheckBox::stateChanged, this, [this, variantChosen](int state) {
        setEnabledOf({ui->doubleSpinBoxAutoCustomMean}, state != 0 && variantChosen(FenlarkAppUI::DiscontinuousMean));
    });
    connect(ui->checkBoxAutoUseCustomMinMax, &QCheckBox::stateChanged, this, [this, variantChosen](int state) {
        setEnabledOf({ui->doubleSpinBoxAutoCustomMin, ui->doubleSpinBoxAutoCustomMax},
                     state != 0 && variantChosen(FenlarkAppUI::DiscontinuousMinMax));
    });
    connect(ui->toolButtonRefresMeanForH, &QToolButton::clicked, this, &FenlarkApp::toolButtonRefresMeanForH_clicked);
    connect(ui->toolButtonRefresMinMaxForH, &QToolButton::clicked, this,
            &FenlarkApp::toolButtonRefresMinMaxForH_clicked);
    panel.expand(homogeneity);

    QTreeWidgetItem* expanding = panel.section(tr("Expanding force"));
    panel.addFilterParameters(expanding, tr("Filter type"), 0.0,
                              {ui->comboBoxAutoExpandingFilterType, ui->doubleSpinBoxAutoExpandingLinearTimestep,
                               ui->doubleSpinBoxAutoExpandingSensitivity,
                               ui->doubleSpinBoxAutoExpandingNonlinearTimestep});
    panel.expand(expanding);

    QTreeWidgetItem* settings = panel.section(tr("Segmentation settings"));
    panel.row(settings, tr("Total steps"), spinBox(ui->spinBoxAutoTotalSteps, 500, 1, 100000, 100));
    panel.row(settings, tr("Variable time step"), checkBox(ui->checkBoxAutoVariableTimeStep, true));
    panel.row(settings, tr("Auto stop"), checkBox(ui->checkBoxAutoAutoStop, true));
    panel.row(settings, tr("Export interval"), spinBox(ui->spinBoxAutoExportInterval, 500, 1, 100000, 100));
    panel.row(settings, tr("Curvature influence"),
              doubleSpinBox(ui->doubleSpinBoxAutoCurvatureInfluence, {0.3, -1.0, 1.0, 2, 0.1}));
    panel.row(settings, tr("Lambda"), doubleSpinBox(ui->doubleSpinBoxAutoLambda, {0.5, 0.0, 1.0, 2, 0.1}));
    panel.row(settings, tr("Save inner curves"), checkBox(ui->checkBoxAutoSaveInnerCurves, false));
    panel.expand(settings);

    panel.finish();
}

void FenlarkApp::homogeneityFunctionTypeChanged(int index)
{
    const bool mean = index == FenlarkAppUI::DiscontinuousMean;
    const auto checked = [](const QPointer<QCheckBox>& box) { return box && box->isChecked(); };
    setEnabledOf({ui->doubleSpinBoxAutoEpsMean, ui->checkBoxAutoUseCustomMean, ui->toolButtonRefresMeanForH}, mean);
    setEnabledOf({ui->doubleSpinBoxAutoEpsMinMax, ui->checkBoxAutoUseCustomMinMax, ui->toolButtonRefresMinMaxForH},
                 !mean);
    setEnabledOf({ui->doubleSpinBoxAutoCustomMean}, mean && checked(ui->checkBoxAutoUseCustomMean));
    setEnabledOf({ui->doubleSpinBoxAutoCustomMin, ui->doubleSpinBoxAutoCustomMax},
                 !mean && checked(ui->checkBoxAutoUseCustomMinMax));
}

} // namespace UI
