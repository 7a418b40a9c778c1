#pragma once

// The editors that the panel builders create inside the tree widgets of the
// properties and tools docks. The main window's form-and-state object holds
// one guarded pointer per editor (null until its builder runs, and null again
// once the widget is gone), so a reader never touches a deleted widget.
// Each panel is its own small struct: the panel's builder, chain and readers
// live in src/tools/ and only this part of the state belongs to them.

#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QHash>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QString>
#include <QToolButton>

// "Properties" dock: display bands, histogram crop, curve style and habitat
// plot marks. The colour tables map a settings key ("Curve/activeCurveColor",
// "HabitatPlot/markColor", ...) to the colour in use, one set for both sides.
struct PropertiesPanelWidgets {
    QPointer<QComboBox> comboBoxShowTypeChannel;
    QPointer<QComboBox> comboBoxRedBand;
    QPointer<QComboBox> comboBoxGreenBand;
    QPointer<QComboBox> comboBoxBlueBand;
    QPointer<QPushButton> pushButtonApplyChannels;
    QPointer<QCheckBox> checkBoxShowHabitatPlots;
    QPointer<QComboBox> comboBoxHabitatPlotFile;
    QPointer<QComboBox> comboBoxHabitat;
    QPointer<QComboBox> comboBoxHabitatPlot;
    QPointer<QPushButton> pushButtonPlotColor;
    QPointer<QPushButton> pushButtonSelectedPlotColor;
    QPointer<QSpinBox> spinBoxPlotWidth;
    QHash<QString, QColor> habitatPlotColors;
    QPointer<QSpinBox> spinBoxInitCircleRadius;
    QPointer<QPushButton> pushButtonInitCircleFromPlot;
    QPointer<QCheckBox> checkBoxAutomaticCrop;
    QPointer<QDoubleSpinBox> doubleSpinBoxBottomCrop;
    QPointer<QDoubleSpinBox> doubleSpinBoxTopCrop;
    QPointer<QPushButton> pushButtonApplyHistogramCrop;
    QHash<QString, QColor> curveColors;
    QPointer<QSpinBox> spinBoxCurveWidth;
    QPointer<QPushButton> pushButtonCurrentCurveColor;
    QPointer<QPushButton> pushButtonActiveCurveColor;
    QPointer<QPushButton> pushButtonUnactiveCurveColor;
};

// "Filtering" page.
struct FilteringPanelWidgets {
    QPointer<QComboBox> comboBoxFilterFeature;
    QPointer<QPushButton> pushButtonFilterFeatureShow;
    QPointer<QPushButton> pushButtonFilterFeatureRefreshImage;
    QPointer<QComboBox> comboBoxFilterType;
    QPointer<QDoubleSpinBox> doubleSpinBoxFilterLinearTimestep;
    QPointer<QDoubleSpinBox> doubleSpinBoxFilterSensitivity;
    QPointer<QDoubleSpinBox> doubleSpinBoxFilterNonlinearTimestep;
};

// "Semi-automatic segmentation" page.
struct SemiSegmentationPanelWidgets {
    QPointer<QComboBox> comboBoxSemiFeature;
    QPointer<QPushButton> pushButtonSemiFeatureShow;
    QPointer<QPushButton> pushButtonSemiFeatureRefreshImage;
    QPointer<QComboBox> comboBoxSemiFilterType;
    QPointer<QDoubleSpinBox> doubleSpinBoxSemiLinearTimestep;
    QPointer<QDoubleSpinBox> doubleSpinBoxSemiSensitivity;
    QPointer<QDoubleSpinBox> doubleSpinBoxSemiNonlinearTimestep;
    QPointer<QDoubleSpinBox> doubleSpinBoxSemiGradientSensitivity;
    QPointer<QDoubleSpinBox> doubleSpinBoxSemiCurvatureInfluence;
    QPointer<QSpinBox> spinBoxSemiMagnetThreshold;
    QPointer<QComboBox> comboBoxSemiInitialCondition;
    QPointer<QCheckBox> checkBoxSemiEvolveSegment;
    QPointer<QCheckBox> checkBoxSemiAutoStop;
};

// "Automatic segmentation" page.
struct AutoSegmentationPanelWidgets {
    QPointer<QComboBox> comboBoxAutoChannel;
    QPointer<QComboBox> comboBoxAutoFeature;
    QPointer<QPushButton> pushButtonAutoFeatureShow;
    QPointer<QPushButton> pushButtonAutoFeatureRefreshImage;
    // Filtering for the edge detector.
    QPointer<QComboBox> comboBoxAutoEdgeFilterType;
    QPointer<QDoubleSpinBox> doubleSpinBoxAutoEdgeLinearTimestep;
    QPointer<QDoubleSpinBox> doubleSpinBoxAutoEdgeSensitivity;
    QPointer<QDoubleSpinBox> doubleSpinBoxAutoEdgeNonlinearTimestep;
    QPointer<QDoubleSpinBox> doubleSpinBoxAutoGradientSensitivity;
    // Vector field.
    QPointer<QComboBox> comboBoxAutoVectorFieldFilterType;
    QPointer<QDoubleSpinBox> doubleSpinBoxAutoVectorFieldLinearTimestep;
    QPointer<QDoubleSpinBox> doubleSpinBoxAutoVectorFieldSensitivity;
    QPointer<QDoubleSpinBox> doubleSpinBoxAutoVectorFieldNonlinearTimestep;
    // Homogeneity detector.
    QPointer<QComboBox> comboBoxAutoHomogeneityFilterType;
    QPointer<QDoubleSpinBox> doubleSpinBoxAutoHomogeneityLinearTimestep;
    QPointer<QDoubleSpinBox> doubleSpinBoxAutoHomogeneitySensitivity;
    QPointer<QDoubleSpinBox> doubleSpinBoxAutoHomogeneityNonlinearTimestep;
    QPointer<QComboBox> comboBoxAutoHomogeneityFunctionType;
    QPointer<QDoubleSpinBox> doubleSpinBoxAutoEpsMean;
    QPointer<QDoubleSpinBox> doubleSpinBoxAutoCustomMean;
    QPointer<QCheckBox> checkBoxAutoUseCustomMean;
    QPointer<QToolButton> toolButtonRefresMeanForH;
    QPointer<QDoubleSpinBox> doubleSpinBoxAutoEpsMinMax;
    QPointer<QDoubleSpinBox> doubleSpinBoxAutoCustomMin;
    QPointer<QDoubleSpinBox> doubleSpinBoxAutoCustomMax;
    QPointer<QCheckBox> checkBoxAutoUseCustomMinMax;
    QPointer<QToolButton> toolButtonRefresMinMaxForH;
    // Expanding force.
    QPointer<QComboBox> comboBoxAutoExpandingFilterType;
    QPointer<QDoubleSpinBox> doubleSpinBoxAutoExpandingLinearTimestep;
    QPointer<QDoubleSpinBox> doubleSpinBoxAutoExpandingSensitivity;
    QPointer<QDoubleSpinBox> doubleSpinBoxAutoExpandingNonlinearTimestep;
    // Segmentation settings.
    QPointer<QSpinBox> spinBoxAutoTotalSteps;
    QPointer<QCheckBox> checkBoxAutoVariableTimeStep;
    QPointer<QCheckBox> checkBoxAutoAutoStop;
    QPointer<QSpinBox> spinBoxAutoExportInterval;
    QPointer<QDoubleSpinBox> doubleSpinBoxAutoCurvatureInfluence;
    QPointer<QDoubleSpinBox> doubleSpinBoxAutoLambda;
    QPointer<QCheckBox> checkBoxAutoSaveInnerCurves;
};

// Feature controls of the "Monitoring" page. No builder creates them: they
// stay null and the monitoring chain must check them before use.
struct MonitoringPanelWidgets {
    QPointer<QComboBox> comboBoxMonitoringFeature;
    QPointer<QPushButton> pushButtonMonitoringFeatureShow;
    QPointer<QPushButton> pushButtonMonitoringFeatureRefreshImage;
    QPointer<QComboBox> comboBoxMonitoringFilterType;
    QPointer<QDoubleSpinBox> doubleSpinBoxMonitoringLinearTimestep;
    QPointer<QDoubleSpinBox> doubleSpinBoxMonitoringSensitivity;
    QPointer<QDoubleSpinBox> doubleSpinBoxMonitoringNonlinearTimestep;
    QPointer<QCheckBox> checkBoxMonitoringMeanOfChannels;
    QPointer<QDoubleSpinBox> doubleSpinBoxMonitoringLaplacianSensitivity;
};
