// The trees of the three feature pages after the window's set-up: their
// sections and rows, every editor's initial state and place, the filter
// type that shows and hides its nonlinear rows, the homogeneity variants
// and their custom values, and the wiring to the window's slots.

#include <functional>
#include <vector>

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QIcon>
#include <QImage>
#include <QPushButton>
#include <QSpinBox>
#include <QToolBox>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include "app/FenlarkApp.h"
#include "app/FenlarkAppUI.h"
#include "app/test_shell_support.h"

namespace {

using UI::FenlarkApp;

// Reads one editor of the window, whichever panel struct declares it.
template <typename Base>
using Editor = std::function<Base*(FenlarkAppUI&)>;

template <typename Base = QWidget, typename Widget, typename Owner>
Editor<Base> member(QPointer<Widget> Owner::*field)
{
    return [field](FenlarkAppUI& ui) -> Base* { return (ui.*field).data(); };
}

enum Page { Filtering, Semi, Auto };

QTreeWidget* pageTree(FenlarkAppUI& ui, Page page)
{
    switch (page) {
    case Filtering:
        return ui.treeWidgetFiltration;
    case Semi:
        return ui.treeWidgetSemiSegm;
    case Auto:
        return ui.treeWidgetAutoSegm;
    }
    return nullptr;
}

// Where an editor sits: page, section (top-level index) and row label.
struct Place {
    Page page;
    int section;
    const char* label;
    bool hidden = false;
};

// The row whose column-1 widget is the editor or holds it.
QTreeWidgetItem* rowOf(QTreeWidget* tree, const QWidget* editor)
{
    for (int s = 0; s < tree->topLevelItemCount(); ++s) {
        QTreeWidgetItem* section = tree->topLevelItem(s);
        for (int r = 0; r < section->childCount(); ++r) {
            QWidget* cell = tree->itemWidget(section->child(r), 1);
            if (cell && (cell == editor || cell->isAncestorOf(editor)))
                return section->child(r);
        }
    }
    return nullptr;
}

void expectPlaced(FenlarkAppUI& ui, const QWidget* editor, const Place& place)
{
    QTreeWidget* tree = pageTree(ui, place.page);
    QTreeWidgetItem* row = rowOf(tree, editor);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(tree->indexOfTopLevelItem(row->parent()), place.section);
    EXPECT_EQ(row->text(0), place.label);
    EXPECT_EQ(row->isHidden(), place.hidden);
}

QImage iconImage(const QIcon& icon)
{
    return icon.pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
}

QImage resourceIcon(const char* name)
{
    return iconImage(QIcon(QStringLiteral(":/FenlarkApp/icons/") + QLatin1String(name)));
}

class ToolPanels : public ShellTest::Shell {
protected:
    void SetUp() override
    {
        Shell::SetUp();
        // The docks wait for a data set; enabled, a widget reads its own state.
        window->setToolDocksEnabled(true);
    }

    FenlarkAppUI& ui() { return *window->ui; }
};

// ------------------------------------------------------- sections and rows

struct SectionLayout {
    const char* title;
    std::vector<const char*> rows;
};

struct PageLayout {
    Page page;
    std::vector<SectionLayout> sections;
};

const std::vector<const char*> filterRows = {"Type", "Linear timestep", "Sensitivity", "Nonlinear timestep"};
const std::vector<const char*> autoFilterRows = {"Filter type", "Linear timestep", "Sensitivity",
                                                 "Nonlinear timestep"};

TEST_F(ToolPanels, PagesHoldTheirSectionsAndRowsInOrder)
{
    const std::vector<PageLayout> pages = {
        {Filtering, {{"Feature functions", {"Feature to show", "", ""}}, {"Filtering of image", filterRows}}},
        {Semi,
         {{"Feature functions", {"Feature to show", "", ""}},
          {"Filtering for edge detector", filterRows},
          {"Edge detector", {"Gradient sensitivity"}},
          {"Segmentation settings",
           {"Curvature influence", "Initial condition", "Evolve segment", "Auto stop", "Magnet treshold (px)"}}}},
        {Auto,
         {{"Segmentation channel", {"Channel"}},
          {"Feature functions", {"Feature to show", "", ""}},
          {"Filtering for edge detector", autoFilterRows},
          {"Edge detector", {"Gradient sensitivity"}},
          {"Vector field", autoFilterRows},
          {"Homogeneity detector",
           {"Filter type", "Linear timestep", "Sensitivity", "Nonlinear timestep", "Function type",
            "Eps (% from mean)", "Use custom mean", "Eps (from minmax)", "Use custom minmax"}},
          {"Expanding force", autoFilterRows},
          {"Segmentation settings",
           {"Total steps", "Variable time step", "Auto stop", "Export interval", "Curvature influence", "Lambda",
            "Save inner curves"}}}},
    };
    for (const PageLayout& page : pages) {
        QTreeWidget* tree = pageTree(ui(), page.page);
        SCOPED_TRACE(tree->objectName().toStdString());
        ASSERT_EQ(tree->topLevelItemCount(), static_cast<int>(page.sections.size()));
        for (int s = 0; s < tree->topLevelItemCount(); ++s) {
            const SectionLayout& expected = page.sections[static_cast<std::size_t>(s)];
            QTreeWidgetItem* section = tree->topLevelItem(s);
            SCOPED_TRACE(expected.title);
            EXPECT_EQ(section->text(0), expected.title);
            EXPECT_TRUE(section->isFirstColumnSpanned());
            EXPECT_EQ(section->background(0), QBrush(Qt::gray, Qt::SolidPattern));
            EXPECT_TRUE(section->isExpanded());
            EXPECT_EQ(tree->itemWidget(section, 1), nullptr);
            ASSERT_EQ(section->childCount(), static_cast<int>(expected.rows.size()));
            for (int r = 0; r < section->childCount(); ++r) {
                QTreeWidgetItem* row = section->child(r);
                EXPECT_EQ(row->text(0), expected.rows[static_cast<std::size_t>(r)]);
                EXPECT_EQ(row->toolTip(0), row->text(0));
                EXPECT_NE(tree->itemWidget(row, 1), nullptr) << "row " << r;
            }
        }
        for (int column = 0; column < tree->columnCount(); ++column)
            EXPECT_EQ(tree->header()->sectionResizeMode(column), QHeaderView::ResizeToContents);
    }
    EXPECT_EQ(ui().toolBoxTools->currentIndex(), 0);
}

// ----------------------------------------------------------- number boxes

// decimals -1: a whole-number spin box.
struct NumberCase {
    Editor<QAbstractSpinBox> box;
    double value;
    double minimum;
    double maximum;
    int decimals;
    double step;
    Place place;
    bool enabled = true;
    const char* tip = "";
};

TEST_F(ToolPanels, NumberBoxesStartWithTheirValuesRangesAndPlaces)
{
    using Panels = FenlarkAppUI;
    const auto box = [](auto field) { return member<QAbstractSpinBox>(field); };
    const std::vector<NumberCase> cases = {
        // Filtering.
        {box(&Panels::doubleSpinBoxFilterLinearTimestep), 0.5, 0, 1e5, 2, 0.25, {Filtering, 1, "Linear timestep"}},
        {box(&Panels::doubleSpinBoxFilterSensitivity), 1000, 0, 1e8, 2, 200, {Filtering, 1, "Sensitivity", true}},
        {box(&Panels::doubleSpinBoxFilterNonlinearTimestep), 3, 0, 1e5, 2, 0.25,
         {Filtering, 1, "Nonlinear timestep", true}},
        // Semi-automatic segmentation.
        {box(&Panels::doubleSpinBoxSemiLinearTimestep), 0.5, 0, 1e5, 2, 0.25, {Semi, 1, "Linear timestep"}},
        {box(&Panels::doubleSpinBoxSemiSensitivity), 1000, 0, 1e8, 2, 200, {Semi, 1, "Sensitivity", true}},
        {box(&Panels::doubleSpinBoxSemiNonlinearTimestep), 3, 0, 1e5, 2, 0.25, {Semi, 1, "Nonlinear timestep", true}},
        {box(&Panels::doubleSpinBoxSemiGradientSensitivity), 500, 0, 1e6, 2, 100, {Semi, 2, "Gradient sensitivity"}},
        {box(&Panels::doubleSpinBoxSemiCurvatureInfluence), 0.3, 0.01, 1, 2, 0.1, {Semi, 3, "Curvature influence"}},
        {box(&Panels::spinBoxSemiMagnetThreshold), 3, 0, 100, -1, 1, {Semi, 3, "Magnet treshold (px)"}},
        // Automatic segmentation: four filters, two of them without linear
        // pre-smoothing at start.
        {box(&Panels::doubleSpinBoxAutoEdgeLinearTimestep), 0.5, 0, 1e5, 2, 0.25, {Auto, 2, "Linear timestep"}},
        {box(&Panels::doubleSpinBoxAutoEdgeSensitivity), 1000, 0, 1e8, 2, 200, {Auto, 2, "Sensitivity", true}},
        {box(&Panels::doubleSpinBoxAutoEdgeNonlinearTimestep), 3, 0, 1e5, 2, 0.25, {Auto, 2, "Nonlinear timestep", true}},
        {box(&Panels::doubleSpinBoxAutoGradientSensitivity), 500, 0, 1e6, 2, 100, {Auto, 3, "Gradient sensitivity"}},
        {box(&Panels::doubleSpinBoxAutoVectorFieldLinearTimestep), 0, 0, 1e5, 2, 0.25, {Auto, 4, "Linear timestep"}},
        {box(&Panels::doubleSpinBoxAutoVectorFieldSensitivity), 1000, 0, 1e8, 2, 200, {Auto, 4, "Sensitivity", true}},
        {box(&Panels::doubleSpinBoxAutoVectorFieldNonlinearTimestep), 3, 0, 1e5, 2, 0.25,
         {Auto, 4, "Nonlinear timestep", true}},
        {box(&Panels::doubleSpinBoxAutoHomogeneityLinearTimestep), 0.5, 0, 1e5, 2, 0.25, {Auto, 5, "Linear timestep"}},
        {box(&Panels::doubleSpinBoxAutoHomogeneitySensitivity), 1000, 0, 1e8, 2, 200, {Auto, 5, "Sensitivity", true}},
        {box(&Panels::doubleSpinBoxAutoHomogeneityNonlinearTimestep), 3, 0, 1e5, 2, 0.25,
         {Auto, 5, "Nonlinear timestep", true}},
        {box(&Panels::doubleSpinBoxAutoEpsMean), 20, 0, 100, 2, 1, {Auto, 5, "Eps (% from mean)"}, true, "% from mean"},
        {box(&Panels::doubleSpinBoxAutoCustomMean), 0, 0, 1e6, 2, 100, {Auto, 5, "Use custom mean"}, false, "Mean value"},
        {box(&Panels::doubleSpinBoxAutoEpsMinMax), 0, -1e6, 1e6, 1, 1, {Auto, 5, "Eps (from minmax)"}, false,
         "Difference from min max"},
        {box(&Panels::doubleSpinBoxAutoCustomMin), 0, -1e6, 1e6, 1, 1, {Auto, 5, "Use custom minmax"}, false, "Min value"},
        {box(&Panels::doubleSpinBoxAutoCustomMax), 0, -1e6, 1e6, 1, 1, {Auto, 5, "Use custom minmax"}, false, "Max value"},
        {box(&Panels::doubleSpinBoxAutoExpandingLinearTimestep), 0, 0, 1e5, 2, 0.25, {Auto, 6, "Linear timestep"}},
        {box(&Panels::doubleSpinBoxAutoExpandingSensitivity), 1000, 0, 1e8, 2, 200, {Auto, 6, "Sensitivity", true}},
        {box(&Panels::doubleSpinBoxAutoExpandingNonlinearTimestep), 3, 0, 1e5, 2, 0.25,
         {Auto, 6, "Nonlinear timestep", true}},
        {box(&Panels::spinBoxAutoTotalSteps), 500, 1, 1e5, -1, 100, {Auto, 7, "Total steps"}},
        {box(&Panels::spinBoxAutoExportInterval), 500, 1, 1e5, -1, 100, {Auto, 7, "Export interval"}},
        {box(&Panels::doubleSpinBoxAutoCurvatureInfluence), 0.3, -1, 1, 2, 0.1, {Auto, 7, "Curvature influence"}},
        {box(&Panels::doubleSpinBoxAutoLambda), 0.5, 0, 1, 2, 0.1, {Auto, 7, "Lambda"}},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const NumberCase& c = cases[i];
        SCOPED_TRACE(testing::Message() << "case " << i << " (" << c.place.label << ")");
        QAbstractSpinBox* editor = c.box(ui());
        ASSERT_NE(editor, nullptr);
        if (c.decimals < 0) {
            auto* whole = qobject_cast<QSpinBox*>(editor);
            ASSERT_NE(whole, nullptr);
            EXPECT_EQ(whole->value(), c.value);
            EXPECT_EQ(whole->minimum(), c.minimum);
            EXPECT_EQ(whole->maximum(), c.maximum);
            EXPECT_EQ(whole->singleStep(), c.step);
        } else {
            auto* real = qobject_cast<QDoubleSpinBox*>(editor);
            ASSERT_NE(real, nullptr);
            EXPECT_DOUBLE_EQ(real->value(), c.value);
            EXPECT_DOUBLE_EQ(real->minimum(), c.minimum);
            EXPECT_DOUBLE_EQ(real->maximum(), c.maximum);
            EXPECT_EQ(real->decimals(), c.decimals);
            EXPECT_DOUBLE_EQ(real->singleStep(), c.step);
        }
        EXPECT_EQ(editor->isEnabled(), c.enabled);
        EXPECT_EQ(editor->toolTip(), c.tip);
        EXPECT_EQ(editor->statusTip(), c.tip);
        expectPlaced(ui(), editor, c.place);
    }
}

struct ClampCase {
    Editor<QAbstractSpinBox> box;
    double input;
    double expected;
};

TEST_F(ToolPanels, NumberBoxesClampToTheirRangesAndRoundToTheirDecimals)
{
    using Panels = FenlarkAppUI;
    const auto box = [](auto field) { return member<QAbstractSpinBox>(field); };
    const std::vector<ClampCase> cases = {
        {box(&Panels::doubleSpinBoxFilterSensitivity), 250000000.0, 100000000.0},
        {box(&Panels::doubleSpinBoxFilterLinearTimestep), -1.0, 0.0},
        {box(&Panels::doubleSpinBoxFilterNonlinearTimestep), 1.234, 1.23},
        // The semi-automatic curvature influence stays within [0.01, 1], the
        // automatic one goes down to -1.
        {box(&Panels::doubleSpinBoxSemiCurvatureInfluence), 0.0, 0.01},
        {box(&Panels::doubleSpinBoxSemiCurvatureInfluence), 1.5, 1.0},
        {box(&Panels::doubleSpinBoxAutoCurvatureInfluence), -0.5, -0.5},
        {box(&Panels::doubleSpinBoxAutoCurvatureInfluence), -3.0, -1.0},
        {box(&Panels::spinBoxSemiMagnetThreshold), 0, 0},
        {box(&Panels::spinBoxSemiMagnetThreshold), 250, 100},
        {box(&Panels::spinBoxAutoTotalSteps), 0, 1},
        // The min/max boxes keep one decimal.
        {box(&Panels::doubleSpinBoxAutoCustomMin), 12.34, 12.3},
        {box(&Panels::doubleSpinBoxAutoCustomMax), -7.06, -7.1},
        {box(&Panels::doubleSpinBoxAutoEpsMinMax), 2000000.0, 1000000.0},
        {box(&Panels::doubleSpinBoxAutoEpsMean), 100.5, 100.0},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const ClampCase& c = cases[i];
        SCOPED_TRACE(testing::Message() << "case " << i);
        QAbstractSpinBox* editor = c.box(ui());
        if (auto* whole = qobject_cast<QSpinBox*>(editor)) {
            whole->setValue(static_cast<int>(c.input));
            EXPECT_EQ(whole->value(), static_cast<int>(c.expected));
        } else {
            auto* real = qobject_cast<QDoubleSpinBox*>(editor);
            ASSERT_NE(real, nullptr);
            real->setValue(c.input);
            EXPECT_DOUBLE_EQ(real->value(), c.expected);
        }
    }
}

// ------------------------------------------------- combo and check boxes

struct ComboCase {
    Editor<QComboBox> combo;
    QStringList items;
    Place place;
};

TEST_F(ToolPanels, CombosListTheirChoicesAndStartAtTheFirst)
{
    using Panels = FenlarkAppUI;
    const auto combo = [](auto field) { return member<QComboBox>(field); };
    const QStringList filters = {"Linear", "Nonlinear", "Geometric-MCF"};
    const QStringList segmentationFeatures = {"Filtered img for edge detector", "Edge detector",
                                              "Norm of vector field"};
    const std::vector<ComboCase> cases = {
        {combo(&Panels::comboBoxFilterFeature),
         {"Filtered img", "Edge detector for Nonlinear diffusion"},
         {Filtering, 0, "Feature to show"}},
        {combo(&Panels::comboBoxFilterType), filters, {Filtering, 1, "Type"}},
        {combo(&Panels::comboBoxSemiFeature), segmentationFeatures, {Semi, 0, "Feature to show"}},
        {combo(&Panels::comboBoxSemiFilterType), filters, {Semi, 1, "Type"}},
        {combo(&Panels::comboBoxSemiInitialCondition), {"Gradient-driven", "Linear"}, {Semi, 3, "Initial condition"}},
        // Filled only when a data set is shown.
        {combo(&Panels::comboBoxAutoChannel), {}, {Auto, 0, "Channel"}},
        {combo(&Panels::comboBoxAutoFeature),
         segmentationFeatures
             + QStringList{"Filtered img for homogeneity detector", "Homogeneity detector", "Expanding force"},
         {Auto, 1, "Feature to show"}},
        {combo(&Panels::comboBoxAutoEdgeFilterType), filters, {Auto, 2, "Filter type"}},
        {combo(&Panels::comboBoxAutoVectorFieldFilterType), filters, {Auto, 4, "Filter type"}},
        {combo(&Panels::comboBoxAutoHomogeneityFilterType), filters, {Auto, 5, "Filter type"}},
        {combo(&Panels::comboBoxAutoHomogeneityFunctionType),
         {"Discontinuous (mean)", "Discontinuous (min/max)"},
         {Auto, 5, "Function type"}},
        {combo(&Panels::comboBoxAutoExpandingFilterType), filters, {Auto, 6, "Filter type"}},
    };
    for (const ComboCase& c : cases) {
        SCOPED_TRACE(c.place.label);
        QComboBox* editor = c.combo(ui());
        ASSERT_NE(editor, nullptr);
        QStringList items;
        for (int i = 0; i < editor->count(); ++i)
            items.append(editor->itemText(i));
        EXPECT_EQ(items, c.items);
        EXPECT_EQ(editor->currentIndex(), c.items.isEmpty() ? -1 : 0);
        EXPECT_TRUE(editor->isEnabled());
        expectPlaced(ui(), editor, c.place);
    }
}

struct CheckCase {
    Editor<QCheckBox> box;
    bool checked;
    Place place;
    bool enabled = true;
    const char* tip = "";
};

TEST_F(ToolPanels, CheckBoxesStartWithTheirStates)
{
    using Panels = FenlarkAppUI;
    const auto check = [](auto field) { return member<QCheckBox>(field); };
    const std::vector<CheckCase> cases = {
        {check(&Panels::checkBoxSemiEvolveSegment), true, {Semi, 3, "Evolve segment"}},
        {check(&Panels::checkBoxSemiAutoStop), false, {Semi, 3, "Auto stop"}},
        {check(&Panels::checkBoxAutoUseCustomMean), false, {Auto, 5, "Use custom mean"}, true, "Use custom mean"},
        {check(&Panels::checkBoxAutoUseCustomMinMax), false, {Auto, 5, "Use custom minmax"}, false, "Use custom min max"},
        {check(&Panels::checkBoxAutoVariableTimeStep), true, {Auto, 7, "Variable time step"}},
        {check(&Panels::checkBoxAutoAutoStop), true, {Auto, 7, "Auto stop"}},
        {check(&Panels::checkBoxAutoSaveInnerCurves), false, {Auto, 7, "Save inner curves"}},
    };
    for (const CheckCase& c : cases) {
        SCOPED_TRACE(c.place.label);
        QCheckBox* editor = c.box(ui());
        ASSERT_NE(editor, nullptr);
        EXPECT_EQ(editor->isChecked(), c.checked);
        EXPECT_EQ(editor->isEnabled(), c.enabled);
        EXPECT_EQ(editor->toolTip(), c.tip);
        EXPECT_TRUE(editor->text().isEmpty());
        expectPlaced(ui(), editor, c.place);
    }
}

// ---------------------------------------------------------------- buttons

struct ButtonCase {
    Editor<QAbstractButton> button;
    const char* text;
    const char* icon;
    Place place;
    bool enabled = true;
    const char* tip = "";
};

TEST_F(ToolPanels, ButtonsCarryTheirIconsAndTexts)
{
    using Panels = FenlarkAppUI;
    const auto button = [](auto field) { return member<QAbstractButton>(field); };
    const std::vector<ButtonCase> cases = {
        {button(&Panels::pushButtonFilterFeatureShow), "Show feature", "eye-look.png", {Filtering, 0, ""}},
        {button(&Panels::pushButtonFilterFeatureRefreshImage), "Update image", "update.png", {Filtering, 0, ""}},
        {button(&Panels::pushButtonSemiFeatureShow), "Show feature", "eye-look.png", {Semi, 0, ""}},
        {button(&Panels::pushButtonSemiFeatureRefreshImage), "Update image", "update.png", {Semi, 0, ""}},
        {button(&Panels::pushButtonAutoFeatureShow), "Show feature", "eye-look.png", {Auto, 1, ""}},
        {button(&Panels::pushButtonAutoFeatureRefreshImage), "Update image", "update.png", {Auto, 1, ""}},
        {button(&Panels::toolButtonRefresMeanForH), "", "update.png", {Auto, 5, "Use custom mean"}, true, "Update mean"},
        {button(&Panels::toolButtonRefresMinMaxForH), "", "update.png", {Auto, 5, "Use custom minmax"}, false,
         "Update min max"},
    };
    for (const ButtonCase& c : cases) {
        QAbstractButton* editor = c.button(ui());
        ASSERT_NE(editor, nullptr);
        SCOPED_TRACE(editor->metaObject()->className() + std::string(" ") + c.text + " " + c.tip);
        EXPECT_EQ(editor->text(), c.text);
        const QImage expected = resourceIcon(c.icon);
        ASSERT_FALSE(expected.isNull());
        EXPECT_TRUE(iconImage(editor->icon()) == expected);
        EXPECT_EQ(editor->isEnabled(), c.enabled);
        EXPECT_EQ(editor->toolTip(), c.tip);
        expectPlaced(ui(), editor, c.place);
    }
    // The look of a show button while its feature is shown.
    const QImage hide = resourceIcon("eye-look-hide.png");
    ASSERT_FALSE(hide.isNull());
    EXPECT_FALSE(hide == resourceIcon("eye-look.png"));
}

TEST_F(ToolPanels, CustomValueRowsLineUpTheirEditorsInOneGroupBox)
{
    const struct {
        QWidget* check;
        std::vector<QWidget*> values;
        QWidget* update;
    } rows[] = {
        {ui().checkBoxAutoUseCustomMean, {ui().doubleSpinBoxAutoCustomMean}, ui().toolButtonRefresMeanForH},
        {ui().checkBoxAutoUseCustomMinMax,
         {ui().doubleSpinBoxAutoCustomMin, ui().doubleSpinBoxAutoCustomMax},
         ui().toolButtonRefresMinMaxForH},
    };
    for (const auto& row : rows) {
        auto* group = qobject_cast<QGroupBox*>(row.check->parentWidget());
        ASSERT_NE(group, nullptr);
        EXPECT_TRUE(group->title().isEmpty());
        EXPECT_TRUE(ui().treeWidgetAutoSegm->isAncestorOf(group));
        auto* layout = qobject_cast<QHBoxLayout*>(group->layout());
        ASSERT_NE(layout, nullptr);
        EXPECT_EQ(layout->spacing(), 1);
        EXPECT_EQ(layout->contentsMargins(), QMargins(0, 0, 0, 0));
        std::vector<QWidget*> expected = {row.check};
        expected.insert(expected.end(), row.values.begin(), row.values.end());
        expected.push_back(row.update);
        ASSERT_EQ(layout->count(), static_cast<int>(expected.size()));
        for (int i = 0; i < layout->count(); ++i)
            EXPECT_EQ(layout->itemAt(i)->widget(), expected[static_cast<std::size_t>(i)]) << "position " << i;
    }
}

TEST_F(ToolPanels, ButtonsAndTheFunctionTypeAreWiredToTheWindowSlots)
{
    // A disconnect succeeds only for a connection that was made.
    const struct {
        QAbstractButton* button;
        void (FenlarkApp::*slot)();
    } buttons[] = {
        {ui().pushButtonFilterFeatureShow, &FenlarkApp::pushButtonFilterFeatureShow_clicked},
        {ui().pushButtonFilterFeatureRefreshImage, &FenlarkApp::pushButtonFilterFeatureRefreshImage_clicked},
        {ui().pushButtonSemiFeatureShow, &FenlarkApp::pushButtonSemiFeatureShow_clicked},
        {ui().pushButtonSemiFeatureRefreshImage, &FenlarkApp::pushButtonSemiFeatureRefreshImage_clicked},
        {ui().pushButtonAutoFeatureShow, &FenlarkApp::pushButtonAutoFeatureShow_clicked},
        {ui().pushButtonAutoFeatureRefreshImage, &FenlarkApp::pushButtonAutoFeatureRefreshImage_clicked},
        {ui().toolButtonRefresMeanForH, &FenlarkApp::toolButtonRefresMeanForH_clicked},
        {ui().toolButtonRefresMinMaxForH, &FenlarkApp::toolButtonRefresMinMaxForH_clicked},
    };
    for (const auto& c : buttons) {
        EXPECT_TRUE(QObject::disconnect(c.button, &QAbstractButton::clicked, window.get(), c.slot))
            << c.button->text().toStdString() << " " << c.button->toolTip().toStdString();
    }
    EXPECT_TRUE(QObject::disconnect(ui().comboBoxAutoHomogeneityFunctionType, &QComboBox::currentIndexChanged,
                                    window.get(), &FenlarkApp::homogeneityFunctionTypeChanged));
}

// ------------------------------------------------------- filter type rows

struct FilterGroup {
    Page page;
    int section;
    Editor<QComboBox> type;
    Editor<QDoubleSpinBox> sensitivity;
    Editor<QDoubleSpinBox> nonlinearTimestep;
};

TEST_F(ToolPanels, FilterTypeShowsTheNonlinearRowsOnlyForNonlinearFiltersAndKeepsTheirValues)
{
    using Panels = FenlarkAppUI;
    const auto real = [](auto field) { return member<QDoubleSpinBox>(field); };
    const auto combo = [](auto field) { return member<QComboBox>(field); };
    const std::vector<FilterGroup> groups = {
        {Filtering, 1, combo(&Panels::comboBoxFilterType), real(&Panels::doubleSpinBoxFilterSensitivity),
         real(&Panels::doubleSpinBoxFilterNonlinearTimestep)},
        {Semi, 1, combo(&Panels::comboBoxSemiFilterType), real(&Panels::doubleSpinBoxSemiSensitivity),
         real(&Panels::doubleSpinBoxSemiNonlinearTimestep)},
        {Auto, 2, combo(&Panels::comboBoxAutoEdgeFilterType), real(&Panels::doubleSpinBoxAutoEdgeSensitivity),
         real(&Panels::doubleSpinBoxAutoEdgeNonlinearTimestep)},
        {Auto, 4, combo(&Panels::comboBoxAutoVectorFieldFilterType), real(&Panels::doubleSpinBoxAutoVectorFieldSensitivity),
         real(&Panels::doubleSpinBoxAutoVectorFieldNonlinearTimestep)},
        {Auto, 5, combo(&Panels::comboBoxAutoHomogeneityFilterType), real(&Panels::doubleSpinBoxAutoHomogeneitySensitivity),
         real(&Panels::doubleSpinBoxAutoHomogeneityNonlinearTimestep)},
        {Auto, 6, combo(&Panels::comboBoxAutoExpandingFilterType), real(&Panels::doubleSpinBoxAutoExpandingSensitivity),
         real(&Panels::doubleSpinBoxAutoExpandingNonlinearTimestep)},
    };
    // Which rows of every group are hidden: only the chosen group's rows 2
    // and 3 follow its type; every other row keeps its state.
    const auto hiddenRows = [&] {
        std::vector<bool> hidden;
        for (Page page : {Filtering, Semi, Auto}) {
            QTreeWidget* tree = pageTree(ui(), page);
            for (int s = 0; s < tree->topLevelItemCount(); ++s) {
                for (int r = 0; r < tree->topLevelItem(s)->childCount(); ++r)
                    hidden.push_back(tree->topLevelItem(s)->child(r)->isHidden());
            }
        }
        return hidden;
    };
    const std::vector<bool> atStart = hiddenRows();

    for (const FilterGroup& group : groups) {
        QTreeWidgetItem* section = pageTree(ui(), group.page)->topLevelItem(group.section);
        SCOPED_TRACE(section->text(0).toStdString() + " of page " + std::to_string(group.page));
        QComboBox* type = group.type(ui());
        group.sensitivity(ui())->setValue(1234.5);
        group.nonlinearTimestep(ui())->setValue(2.75);
        for (int index : {1, 2, 0, 2}) {
            type->setCurrentIndex(index);
            for (int r = 0; r < section->childCount(); ++r)
                EXPECT_EQ(section->child(r)->isHidden(), index == 0 && (r == 2 || r == 3))
                    << "type " << index << ", row " << r;
        }
        type->setCurrentIndex(0);
        EXPECT_EQ(hiddenRows(), atStart);
        EXPECT_DOUBLE_EQ(group.sensitivity(ui())->value(), 1234.5);
        EXPECT_DOUBLE_EQ(group.nonlinearTimestep(ui())->value(), 2.75);
    }
}

// ---------------------------------------------------- homogeneity variants

// The nine widgets of the two variants, in one order for the table.
enum HomogeneityWidget {
    EpsMean,
    UseCustomMean,
    CustomMean,
    UpdateMean,
    EpsMinMax,
    UseCustomMinMax,
    CustomMin,
    CustomMax,
    UpdateMinMax,
};

struct VariantCase {
    int functionType;
    bool customMean;
    bool customMinMax;
    std::vector<HomogeneityWidget> enabled;
};

class ToolPanelsHomogeneity : public ToolPanels {
protected:
    std::vector<QWidget*> widgets()
    {
        return {ui().doubleSpinBoxAutoEpsMean,   ui().checkBoxAutoUseCustomMean,   ui().doubleSpinBoxAutoCustomMean,
                ui().toolButtonRefresMeanForH,   ui().doubleSpinBoxAutoEpsMinMax,  ui().checkBoxAutoUseCustomMinMax,
                ui().doubleSpinBoxAutoCustomMin, ui().doubleSpinBoxAutoCustomMax, ui().toolButtonRefresMinMaxForH};
    }

    std::vector<bool> enabledStates()
    {
        std::vector<bool> states;
        for (QWidget* widget : widgets())
            states.push_back(widget->isEnabled());
        return states;
    }

    static std::vector<bool> expectedStates(const std::vector<HomogeneityWidget>& enabled)
    {
        std::vector<bool> states(9, false);
        for (HomogeneityWidget widget : enabled)
            states[static_cast<std::size_t>(widget)] = true;
        return states;
    }

    void setChecks(bool mean, bool minMax)
    {
        ui().checkBoxAutoUseCustomMean->setChecked(mean);
        ui().checkBoxAutoUseCustomMinMax->setChecked(minMax);
    }
};

TEST_F(ToolPanelsHomogeneity, OnlyTheChosenVariantsWidgetsAreEnabledAndItsCustomValuesOnlyWhenChecked)
{
    const std::vector<HomogeneityWidget> meanVariant = {EpsMean, UseCustomMean, UpdateMean};
    const std::vector<HomogeneityWidget> minMaxVariant = {EpsMinMax, UseCustomMinMax, UpdateMinMax};
    const auto with = [](std::vector<HomogeneityWidget> base, std::vector<HomogeneityWidget> more) {
        base.insert(base.end(), more.begin(), more.end());
        return base;
    };
    const std::vector<VariantCase> cases = {
        {0, false, false, meanVariant},
        {0, true, false, with(meanVariant, {CustomMean})},
        {0, false, true, meanVariant},
        {0, true, true, with(meanVariant, {CustomMean})},
        {1, false, false, minMaxVariant},
        {1, true, false, minMaxVariant},
        {1, false, true, with(minMaxVariant, {CustomMin, CustomMax})},
        {1, true, true, with(minMaxVariant, {CustomMin, CustomMax})},
    };
    QComboBox* functionType = ui().comboBoxAutoHomogeneityFunctionType;

    // At start: the mean variant, nothing custom.
    EXPECT_EQ(enabledStates(), expectedStates(meanVariant));

    for (const VariantCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "function " << c.functionType << ", custom mean " << c.customMean
                                        << ", custom min/max " << c.customMinMax);
        // Check boxes set under the other variant, then the switch.
        setChecks(false, false);
        functionType->setCurrentIndex(1 - c.functionType);
        setChecks(c.customMean, c.customMinMax);
        functionType->setCurrentIndex(c.functionType);
        EXPECT_EQ(enabledStates(), expectedStates(c.enabled)) << "checked before the switch";

        // The switch first, then the check boxes.
        setChecks(false, false);
        functionType->setCurrentIndex(1 - c.functionType);
        functionType->setCurrentIndex(c.functionType);
        setChecks(c.customMean, c.customMinMax);
        EXPECT_EQ(enabledStates(), expectedStates(c.enabled)) << "checked after the switch";
    }
}

TEST_F(ToolPanelsHomogeneity, SwitchingVariantsKeepsCheckStatesAndValues)
{
    ui().checkBoxAutoUseCustomMean->setChecked(true);
    ui().doubleSpinBoxAutoCustomMean->setValue(321.5);
    ui().doubleSpinBoxAutoCustomMin->setValue(-4.5);
    ui().doubleSpinBoxAutoCustomMax->setValue(8.5);
    ui().doubleSpinBoxAutoEpsMean->setValue(12.0);
    ui().doubleSpinBoxAutoEpsMinMax->setValue(3.0);
    EXPECT_TRUE(ui().doubleSpinBoxAutoCustomMean->isEnabled());

    ui().comboBoxAutoHomogeneityFunctionType->setCurrentIndex(FenlarkAppUI::DiscontinuousMinMax);
    EXPECT_FALSE(ui().doubleSpinBoxAutoCustomMean->isEnabled());
    ui().checkBoxAutoUseCustomMinMax->setChecked(true);
    ui().comboBoxAutoHomogeneityFunctionType->setCurrentIndex(FenlarkAppUI::DiscontinuousMean);
    EXPECT_TRUE(ui().doubleSpinBoxAutoCustomMean->isEnabled());

    EXPECT_TRUE(ui().checkBoxAutoUseCustomMean->isChecked());
    EXPECT_TRUE(ui().checkBoxAutoUseCustomMinMax->isChecked());
    EXPECT_DOUBLE_EQ(ui().doubleSpinBoxAutoCustomMean->value(), 321.5);
    EXPECT_DOUBLE_EQ(ui().doubleSpinBoxAutoCustomMin->value(), -4.5);
    EXPECT_DOUBLE_EQ(ui().doubleSpinBoxAutoCustomMax->value(), 8.5);
    EXPECT_DOUBLE_EQ(ui().doubleSpinBoxAutoEpsMean->value(), 12.0);
    EXPECT_DOUBLE_EQ(ui().doubleSpinBoxAutoEpsMinMax->value(), 3.0);
}

// ------------------------------------------------------ a quiet set-up

// Counts the value signals of every editor from the moment it is placed
// (into a tree row, or into a composite row's group box), which is before
// any of its connections is made.
class ValueSignalCounter : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::ParentChange && !counts.contains(watched))
            watch(watched);
        return false;
    }

    QHash<const QObject*, int> counts;

private:
    void watch(QObject* object)
    {
        const auto count = [this, object] { ++counts[object]; };
        if (auto* real = qobject_cast<QDoubleSpinBox*>(object))
            connect(real, &QDoubleSpinBox::valueChanged, this, count);
        else if (auto* whole = qobject_cast<QSpinBox*>(object))
            connect(whole, &QSpinBox::valueChanged, this, count);
        else if (auto* combo = qobject_cast<QComboBox*>(object))
            connect(combo, &QComboBox::currentIndexChanged, this, count);
        else if (auto* check = qobject_cast<QCheckBox*>(object))
            connect(check, &QCheckBox::stateChanged, this, count);
        else
            return;
        counts.insert(object, 0);
    }
};

class ToolPanelsSetUp : public ShellTest::Shell {
protected:
    void SetUp() override
    {
        qApp->installEventFilter(&counter);
        Shell::SetUp();
        qApp->removeEventFilter(&counter);
    }

    ValueSignalCounter counter;
};

TEST_F(ToolPanelsSetUp, SendsNoValueSignalOnceAnEditorIsPlaced)
{
    for (QTreeWidget* tree : {window->ui->treeWidgetFiltration, window->ui->treeWidgetSemiSegm,
                              window->ui->treeWidgetAutoSegm}) {
        QList<QWidget*> editors;
        for (auto* box : tree->findChildren<QAbstractSpinBox*>())
            editors.append(box);
        for (auto* combo : tree->findChildren<QComboBox*>())
            editors.append(combo);
        for (auto* check : tree->findChildren<QCheckBox*>())
            editors.append(check);
        for (QWidget* editor : editors) {
            QTreeWidgetItem* row = rowOf(tree, editor);
            ASSERT_NE(row, nullptr);
            SCOPED_TRACE(tree->objectName().toStdString() + ", row " + row->text(0).toStdString());
            ASSERT_TRUE(counter.counts.contains(editor)) << editor->metaObject()->className();
            EXPECT_EQ(counter.counts.value(editor), 0) << editor->metaObject()->className();
        }
    }
}

} // namespace
