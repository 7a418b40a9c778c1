// The selection of the curves explorer as indexes of the active curve-set
// list, and the explorer's local-adjust entry that hands one picked curve to
// the viewers' mouse handling.

#include <QCheckBox>
#include <QTreeWidget>
#include <QVariant>

#include "app/FenlarkApp.h"
#include "app/FenlarkAppUI.h"
#include "app/WidgetUtils.h"

namespace UI {

namespace {

// The visibility box of a row: column 1 on a set row, column 2 on a curve
// row; null for a row that has neither.
QCheckBox* rowBox(QTreeWidget* tree, QTreeWidgetItem* item, int column)
{
    return qobject_cast<QCheckBox*>(tree->itemWidget(item, column));
}

} // namespace

void FenlarkApp::getSelectedState(QList<int>& curveSetIds, QList<QPair<int, int>>& curveIds)
{
    QTreeWidget* tree = ui->treeWidgetCurvesExplorer;
    if (!tree)
        return;
    for (QTreeWidgetItem* item : tree->selectedItems()) {
        if (QCheckBox* box = rowBox(tree, item, 1)) {
            curveSetIds.append(box->property("curveSet_id").toInt());
        } else if (QCheckBox* box = rowBox(tree, item, 2)) {
            curveIds.append({box->property("curveSet_id").toInt(), box->property("curve_id").toInt()});
        }
    }
}

void FenlarkApp::curveLocalAdjustActionAction_triggered()
{
    QList<int> sets;
    QList<QPair<int, int>> curves;
    getSelectedState(sets, curves);
    // Exactly one row: a set (its curve is chosen by the first pick) or one
    // curve. Anything else leaves the mode off and the controls as they are,
    // since the mouse handling would have nothing to pick from.
    if (sets.size() + curves.size() != 1) {
        showMessageBox(QStringLiteral("You can select only one curve or curve set for local adjust."), 2);
        return;
    }
    if (!mouseModeCanStart()) {
        showMessageBox(tr("Unable to start local adjust."), 2);
        return;
    }
    if (!sets.isEmpty()) {
        ui->pickedCurveSet = sets.first();
        ui->pickedCurve = -1;
    } else {
        ui->pickedCurveSet = curves.first().first;
        ui->pickedCurve = curves.first().second;
    }
    ui->pickedPointIndices.clear();
    setMainControlsLocked(true);
    ui->localAdjustMode = true;
}

} // namespace UI
