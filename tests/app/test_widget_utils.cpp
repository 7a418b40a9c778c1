// The small widget recipes every panel shares.

#include <vector>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStatusBar>
#include <QToolTip>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include "app/WidgetUtils.h"
#include "resources/Resources.h"

namespace {

class WidgetUtilsTest : public testing::Test {
protected:
    void SetUp() override { Fenlark::initResources(); }
};

// A tree with n top-level rows "row 0", "row 1", ...
void fillTree(QTreeWidget& tree, int n)
{
    for (int i = 0; i < n; ++i)
        new QTreeWidgetItem(&tree, QStringList{QString("row %1").arg(i)});
}

} // namespace

TEST_F(WidgetUtilsTest, ColourFromTextTable)
{
    const QColor start(1, 2, 3, 4);
    const struct {
        const char* text;
        const char* separator;
        QColor expected;
    } cases[] = {
        {"10,20,30,40", ",", QColor(10, 20, 30, 40)},
        {"10,20,30", ",", start},             // three parts
        {"10,20,30,40,50", ",", start},       // five parts
        {"10,x,30,40", ",", QColor(10, 0, 30, 40)},
        {"10,,30,40", ",", QColor(10, 0, 30, 40)}, // empty parts count
        {",,,", ",", QColor(0, 0, 0, 0)},
        {"", ",", start},
        {"5;6;7;8", ";", QColor(5, 6, 7, 8)},
        {"5,6,7,8", ";", start},
        {"5x6x7x8", "x", QColor(5, 6, 7, 8)},
        {"5X6X7X8", "x", start},              // case-sensitive separator
        {"300,-5,0,255", ",", QColor(255, 0, 0, 255)}, // out of range: clamped, still a colour
    };
    for (const auto& c : cases) {
        QColor colour = start;
        colorFromText(c.text, colour, c.separator);
        EXPECT_EQ(colour, c.expected) << "text '" << c.text << "' separator '" << c.separator << "'";
        EXPECT_TRUE(colour.isValid());
    }
}

TEST_F(WidgetUtilsTest, ColourTextRoundTrip)
{
    for (const QColor& colour : {QColor(255, 0, 0, 255), QColor(12, 34, 56, 78), QColor(0, 0, 0, 0)}) {
        for (const char* separator : {",", ";", " / "}) {
            QString text;
            colorToText(text, colour, separator);
            QColor back(9, 9, 9, 9);
            colorFromText(text, back, separator);
            EXPECT_EQ(back, colour) << text.toStdString();
        }
    }
    QString text = "keep";
    colorToText(text, QColor(255, 0, 0, 255), ",");
    EXPECT_EQ(text, "255,0,0,255");
    text = "keep";
    colorToText(text, QColor(), ",");
    EXPECT_EQ(text, "keep") << "an invalid colour leaves the text";
}

TEST_F(WidgetUtilsTest, ColourFromVector)
{
    QColor colour(1, 2, 3, 4);
    colorFromVector({10, 20, 30, 40}, colour);
    EXPECT_EQ(colour, QColor(10, 20, 30, 40));
    colorFromVector({50, 60, 70, 80, 90}, colour);
    EXPECT_EQ(colour, QColor(50, 60, 70, 80));
    colorFromVector({1, 2, 3}, colour);
    EXPECT_EQ(colour, QColor(50, 60, 70, 80)) << "fewer than four values leave the colour";
    colorFromVector({}, colour);
    EXPECT_EQ(colour, QColor(50, 60, 70, 80));
    colorFromVector({-1, 256, 0, 1000}, colour);
    EXPECT_EQ(colour, QColor(0, 255, 0, 255));
}

TEST_F(WidgetUtilsTest, SpinBoxSetUpEmitsNothingAndClamps)
{
    QSpinBox box;
    QSignalSpy spy(&box, &QSpinBox::valueChanged);
    setupSpinBox(&box, 504, 12, 2004, 12, false, "Width");
    EXPECT_EQ(box.value(), 504);
    EXPECT_EQ(box.minimum(), 12);
    EXPECT_EQ(box.maximum(), 2004);
    EXPECT_EQ(box.singleStep(), 12);
    EXPECT_FALSE(box.isEnabled());
    EXPECT_EQ(box.toolTip(), "Width");
    EXPECT_EQ(box.statusTip(), "Width");
    setupSpinBox(&box, 5000, 12, 2004, 12, true, "");
    EXPECT_EQ(box.value(), 2004) << "the value is clamped to the range";
    EXPECT_TRUE(box.isEnabled());
    EXPECT_EQ(box.toolTip(), "Width") << "an empty tip leaves the tips";
    EXPECT_EQ(spy.count(), 0);
    EXPECT_FALSE(box.signalsBlocked());
    box.setValue(24);
    EXPECT_EQ(spy.count(), 1) << "signals flow again afterwards";

    QDoubleSpinBox dbox;
    QSignalSpy dspy(&dbox, &QDoubleSpinBox::valueChanged);
    setupDoubleSpinBox(&dbox, 0.126, -1.0, 1.0, 2, 0.05, true, "Sensitivity");
    EXPECT_DOUBLE_EQ(dbox.value(), 0.13);
    EXPECT_EQ(dbox.decimals(), 2);
    EXPECT_DOUBLE_EQ(dbox.singleStep(), 0.05);
    EXPECT_DOUBLE_EQ(dbox.minimum(), -1.0);
    EXPECT_EQ(dbox.statusTip(), "Sensitivity");
    setupDoubleSpinBox(&dbox, -7.0, -1.0, 1.0, 2, 0.05, false, "");
    EXPECT_DOUBLE_EQ(dbox.value(), -1.0);
    EXPECT_EQ(dspy.count(), 0);

    // A box its owner blocked stays blocked.
    box.blockSignals(true);
    setupSpinBox(&box, 36, 12, 2004, 12, true, "");
    EXPECT_TRUE(box.signalsBlocked());

    // Boxes deleted meanwhile are skipped.
    QPointer<QSpinBox> gone = new QSpinBox;
    delete gone.data();
    setupSpinBox(gone, 1, 0, 2, 1, true, "x");
    QPointer<QDoubleSpinBox> goneToo = new QDoubleSpinBox;
    delete goneToo.data();
    setupDoubleSpinBox(goneToo, 1, 0, 2, 1, 1, true, "x");
}

TEST_F(WidgetUtilsTest, TreeRowsAndSections)
{
    QTreeWidget tree;
    tree.setColumnCount(2);
    EXPECT_EQ(currentTreeRow(&tree), -1) << "empty tree";
    QTreeWidgetItem* section = addTreeSection(&tree, "Filter");
    ASSERT_NE(section, nullptr);
    EXPECT_EQ(tree.topLevelItemCount(), 1);
    EXPECT_EQ(section->text(0), "Filter");
    EXPECT_TRUE(section->isFirstColumnSpanned());
    EXPECT_EQ(section->background(0).color(), QColor(Qt::gray));
    EXPECT_EQ(section->background(0).style(), Qt::SolidPattern);

    auto* editor = new QDoubleSpinBox;
    const char* labels[] = {"Filter type", "Linear timestep", "Sensitivity", "Nonlinear timestep"};
    for (int i = 0; i < 4; ++i)
        addTreeRow(&tree, labels[i], section, i == 2 ? static_cast<QWidget*>(editor) : new QSpinBox, i >= 2);
    ASSERT_EQ(section->childCount(), 4);
    EXPECT_EQ(section->child(2)->text(0), "Sensitivity");
    EXPECT_EQ(section->child(2)->toolTip(0), "Sensitivity");
    EXPECT_TRUE(section->child(2)->isHidden());
    EXPECT_FALSE(section->child(1)->isHidden());
    EXPECT_EQ(tree.itemWidget(section->child(2), 1), editor);

    expandTreeItem(&tree, section);
    EXPECT_TRUE(section->isExpanded());

    setTreeOptionRowsVisible(&tree, 0, true);
    for (int i = 0; i < 4; ++i)
        EXPECT_FALSE(section->child(i)->isHidden()) << i;
    setTreeOptionRowsVisible(&tree, 0, false);
    EXPECT_FALSE(section->child(0)->isHidden());
    EXPECT_FALSE(section->child(1)->isHidden());
    EXPECT_TRUE(section->child(2)->isHidden());
    EXPECT_TRUE(section->child(3)->isHidden());
    setTreeOptionRowsVisible(&tree, 5, true); // no such section: nothing
    EXPECT_TRUE(section->child(3)->isHidden());
}

TEST_F(WidgetUtilsTest, CurrentRowSelectAndMark)
{
    ASSERT_TRUE(QFile::exists(":/FenlarkApp/icons/circle-center-line.png"));
    QTreeWidget tree;
    fillTree(tree, 3);
    tree.setCurrentItem(nullptr);
    EXPECT_EQ(currentTreeRow(&tree), -1) << "rows but none current";
    selectTreeItem(&tree, 2);
    EXPECT_EQ(tree.currentItem(), tree.topLevelItem(2));
    EXPECT_EQ(currentTreeRow(&tree), 2);
    selectTreeItem(&tree, 7);
    EXPECT_EQ(currentTreeRow(&tree), -1);

    markTreeItem(&tree, 1);
    EXPECT_EQ(tree.iconSize(), QSize(13, 13));
    EXPECT_TRUE(tree.topLevelItem(0)->icon(0).isNull());
    EXPECT_FALSE(tree.topLevelItem(1)->icon(0).isNull());
    EXPECT_TRUE(tree.topLevelItem(2)->icon(0).isNull());
    for (int index : {3, -1}) {
        markTreeItem(&tree, 1);
        markTreeItem(&tree, index);
        for (int i = 0; i < 3; ++i)
            EXPECT_TRUE(tree.topLevelItem(i)->icon(0).isNull()) << "index " << index << " row " << i;
    }
}

TEST_F(WidgetUtilsTest, ComboVisibilityBoxAndButtons)
{
    QComboBox combo;
    combo.addItem("first");
    fillComboBox(&combo, {"b", "c", ""});
    ASSERT_EQ(combo.count(), 4);
    EXPECT_EQ(combo.itemText(1), "b");
    EXPECT_EQ(combo.itemText(3), "");
    EXPECT_FALSE(combo.itemData(1).isValid());
    EXPECT_TRUE(combo.itemIcon(2).isNull());
    fillComboBox(QPointer<QComboBox>(), {"x"});

    QCheckBox box;
    setupVisibilityCheckBox(&box, 3, 7, true);
    EXPECT_TRUE(box.isChecked());
    EXPECT_EQ(box.maximumSize(), QSize(20, 20));
    EXPECT_EQ(box.property("curveSet_id").toInt(), 3);
    EXPECT_EQ(box.property("curve_id").toInt(), 7);
    EXPECT_EQ(box.toolTip(), "Set visibility");
    QCheckBox other;
    setupVisibilityCheckBox(static_cast<QWidget*>(&other), 1, -1, false);
    EXPECT_EQ(other.property("curve_id").toInt(), -1);
    QLabel label;
    setupVisibilityCheckBox(static_cast<QWidget*>(&label), 1, 2, true); // not a button: nothing
    EXPECT_FALSE(label.property("curve_id").isValid());

    QPushButton button;
    setButtonIcon(&button, "circle-center-line.png", "Show");
    EXPECT_FALSE(button.icon().isNull());
    EXPECT_EQ(button.text(), "Show");
    QPointer<QAbstractButton> gone = new QPushButton;
    delete gone.data();
    setButtonIcon(gone, "circle-center-line.png", "Show");
}

TEST_F(WidgetUtilsTest, ProgressDialogSetUp)
{
    QWidget window;
    auto* dialog = new QProgressDialog; // owned by window after the set-up
    setupProgressDialog(&window, dialog, "Opening files...", 7);
    EXPECT_EQ(dialog->parentWidget(), &window);
    EXPECT_TRUE(dialog->isWindow()) << "still a dialog window, not a child widget";
    EXPECT_EQ(dialog->font().family(), "Times");
    EXPECT_EQ(dialog->font().pointSize(), 12);
    EXPECT_TRUE(dialog->font().bold());
    EXPECT_TRUE(dialog->autoFillBackground());
    EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
    EXPECT_FALSE(dialog->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(dialog->windowFlags() & Qt::WindowContextHelpButtonHint);
    EXPECT_TRUE(dialog->findChildren<QPushButton*>().isEmpty()) << "no cancel button";
    EXPECT_EQ(dialog->labelText(), "Opening files...");
    EXPECT_EQ(dialog->minimum(), 0);
    EXPECT_EQ(dialog->maximum(), 7);
    EXPECT_FALSE(dialog->isVisible()) << "the caller shows it";

    // The overload without parent keeps the current one.
    setupProgressDialog(dialog, "Loading curves...", 3);
    EXPECT_EQ(dialog->parentWidget(), &window);
    EXPECT_EQ(dialog->maximum(), 3);
}

TEST_F(WidgetUtilsTest, WidgetListsStatusAndActions)
{
    QSpinBox a, b;
    blockSignalsOf({&a, nullptr, &b}, true);
    EXPECT_TRUE(a.signalsBlocked());
    EXPECT_TRUE(b.signalsBlocked());
    blockSignalsOf({&a, &b}, false);
    EXPECT_FALSE(a.signalsBlocked());
    setEnabledOf({&a, nullptr, &b}, false);
    EXPECT_FALSE(a.isEnabled());
    EXPECT_FALSE(b.isEnabled());
    setEnabledOf({&a, &b}, true);
    EXPECT_TRUE(b.isEnabled());

    QAction action;
    action.setCheckable(true);
    QWidget dock;
    action.setChecked(false);
    setWidgetVisibleByAction(&action, &dock);
    EXPECT_TRUE(dock.isHidden());
    action.setChecked(true);
    setWidgetVisibleByAction(&action, &dock);
    EXPECT_FALSE(dock.isHidden());

    QStatusBar bar;
    showStatusMessage(&bar, "T33UWP, Image coordinates 10.5,3", 0);
    EXPECT_EQ(bar.currentMessage(), "T33UWP, Image coordinates 10.5,3");
    showStatusMessage(nullptr, "ignored", 0);

    showToolTipAtCursor("Click to add a point");
    EXPECT_EQ(QToolTip::text(), "Click to add a point");
    QToolTip::hideText();
}
