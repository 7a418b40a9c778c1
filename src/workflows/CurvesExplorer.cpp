// The curves explorer of the active side: the tree built from the active
// curve-set list, the current set, the selection as groups of indexes, and
// the visibility of sets and curves.
//
// Rows are tied to the records only through their visibility boxes, which
// carry "curveSet_id" and "curve_id" (-1 on a set's own box). The tree is
// rebuilt from the list after every change, never patched, except a rename.

#include <algorithm>

#include <QCheckBox>
#include <QIcon>
#include <QSignalBlocker>
#include <QTreeWidget>

#include "app/FenlarkApp.h"
#include "app/FenlarkAppUI.h"
#include "app/SettingsKeys.h"
#include "app/WidgetUtils.h"
#include "resources/Resources.h"
#include "workflows/CurveWorkflows.h"

namespace UI {

using namespace CurveWorkflows;

namespace {

QColor curveColour(const Curve& curve)
{
    QColor colour(0, 0, 0, 0);
    colorFromVector(curve.color, colour);
    return colour;
}

void checkQuietly(QCheckBox* box, bool checked)
{
    if (!box)
        return;
    const QSignalBlocker blocker(box);
    box->setChecked(checked);
}

} // namespace

void FenlarkApp::setCurvesExplorer(int currentIndex)
{
    const bool showsData = getDataFile(ui->activeSide) != nullptr;
    const QList<CurveSet>& sets = activeCurveSets();
    rebuildExplorer(*this, ui->treeWidgetCurvesExplorer, showsData, static_cast<int>(sets.size()), currentIndex,
                    Keys::curveExplorerStateCurrentIndex, true, [&] { fillCurvesExplorerTree(sets); });
    // Also when the tree was only cleared (the last set removed, no data set
    // shown): the curve choosers never keep a set that is gone.
    fillAreaMonitoringCurveComboBoxes();
}

void FenlarkApp::fillCurvesExplorerTree(const QList<CurveSet>& sets)
{
    QTreeWidget* tree = ui->treeWidgetCurvesExplorer;
    blockSignalsOf({tree}, true);
    tree->clear();
    blockSignalsOf({tree}, false);

    Fenlark::initResources();
    const QIcon branch(QStringLiteral(":/FenlarkApp/icons/expanditem.png"));
    const QIcon lastBranch(QStringLiteral(":/FenlarkApp/icons/expanditemLast.png"));
    QList<QTreeWidgetItem*> rows;
    for (const CurveSet& set : sets) {
        auto* row = new QTreeWidgetItem();
        const QString name = QString::fromStdString(set.name);
        row->setText(3, name + QLatin1Char('.') + QString::fromStdString(set.type));
        row->setToolTip(3, name);
        for (std::size_t k = 0; k < set.curves.size(); ++k) {
            const Curve& curve = set.curves[k];
            auto* child = new QTreeWidgetItem(row);
            child->setIcon(1, k + 1 == set.curves.size() ? lastBranch : branch);
            child->setText(3, QString::fromStdString(curve.name));
            child->setToolTip(3, QString::fromStdString(curve.name));
            child->setText(4, QString::fromStdString(curve.closedText()));
        }
        rows.append(row);
    }
    tree->insertTopLevelItems(0, rows);

    // Boxes need their rows in the tree.
    const auto addBox = [&](QTreeWidgetItem* item, int column, int set, int curve, bool checked) {
        auto* box = new QCheckBox();
        setupVisibilityCheckBox(box, set, curve, checked);
        connect(box, &QCheckBox::toggled, this, &FenlarkApp::checkBoxShowCurve_stateChanged);
        tree->setItemWidget(item, column, box);
    };
    for (int i = 0; i < rows.size(); ++i) {
        const CurveSet& set = sets[i];
        addBox(rows[i], 1, i, -1, set.visible);
        for (std::size_t k = 0; k < set.curves.size(); ++k)
            addBox(rows[i]->child(static_cast<int>(k)), 2, i, static_cast<int>(k), set.curves[k].visible);
        rows[i]->setExpanded(true);
    }
    fillAreaMonitoringCurveComboBoxes();
}

int FenlarkApp::currentCurveSetIndex()
{
    const int index = getCurveExplorerIndex(ui->activeSide);
    return hasSet(activeCurveSets(), index) ? index : -1;
}

bool FenlarkApp::appendCurveSet(CurveSet curveSet)
{
    if (!getDataFile(ui->activeSide))
        return false;
    activeCurveSets().append(std::move(curveSet));
    return true;
}

bool FenlarkApp::appendCurveSetToFile(int fileIndex, CurveSet curveSet)
{
    if (fileIndex < 0 || fileIndex >= curveSets.size())
        return false;
    curveSets[fileIndex].append(std::move(curveSet));
    return true;
}

void FenlarkApp::getSelectedCurvesBySet(QList<int>& curveSetIds, QList<QPair<int, int>>& curveIds,
                                        QList<CurveGroup>& groups)
{
    getSelectedState(curveSetIds, curveIds);
    curveIds.removeIf([&](const QPair<int, int>& pair) { return curveSetIds.contains(pair.first); });
    const QList<CurveSet>& sets = activeCurveSets();
    for (int set : curveSetIds) {
        std::vector<int> all;
        if (hasSet(sets, set)) {
            for (std::size_t k = 0; k < sets[set].curves.size(); ++k)
                all.push_back(static_cast<int>(k));
        }
        groups.append({set, all});
    }
    const qsizetype firstCurveGroup = groups.size();
    for (const QPair<int, int>& pair : curveIds) {
        auto group = std::find_if(groups.begin() + firstCurveGroup, groups.end(),
                                  [&](const CurveGroup& g) { return g.first == pair.first; });
        if (group == groups.end())
            groups.append({pair.first, {pair.second}});
        else
            group->second.push_back(pair.second);
    }
}

void FenlarkApp::hideShowCurves(bool visible, QList<int> curveSetIds, QList<QPair<int, int>> curveIds)
{
    QList<CurveSet>& sets = activeCurveSets();
    QTreeWidget* tree = ui->treeWidgetCurvesExplorer;
    // The rows follow the list, so row i holds set i and its child k curve k.
    const auto setBox = [&](int set) -> QCheckBox* {
        QTreeWidgetItem* row = tree ? tree->topLevelItem(set) : nullptr;
        return row ? setRowBox(tree, row) : nullptr;
    };
    const auto curveBox = [&](int set, int curve) -> QCheckBox* {
        QTreeWidgetItem* row = tree ? tree->topLevelItem(set) : nullptr;
        QTreeWidgetItem* child = row ? row->child(curve) : nullptr;
        return child ? curveRowBox(tree, child) : nullptr;
    };

    for (int set : curveSetIds) {
        if (!hasSet(sets, set))
            continue;
        sets[set].visible = visible;
        checkQuietly(setBox(set), visible);
        for (std::size_t k = 0; k < sets[set].curves.size(); ++k) {
            sets[set].curves[k].visible = visible;
            checkQuietly(curveBox(set, static_cast<int>(k)), visible);
        }
    }
    for (const QPair<int, int>& pair : curveIds) {
        const int set = pair.first;
        if (curveSetIds.contains(set) || !hasCurve(sets, set, pair.second))
            continue;
        sets[set].curves[static_cast<std::size_t>(pair.second)].visible = visible;
        checkQuietly(curveBox(set, pair.second), visible);
        // A set is shown while one of its curves is: showing a curve shows
        // its set, hiding the last shown one hides it.
        const bool anyShown = std::any_of(sets[set].curves.begin(), sets[set].curves.end(),
                                          [](const Curve& curve) { return curve.visible; });
        if (visible || !anyShown) {
            sets[set].visible = visible;
            checkQuietly(setBox(set), visible);
        }
    }
}

void FenlarkApp::checkBoxShowCurve_stateChanged(bool checked)
{
    auto* box = qobject_cast<QCheckBox*>(sender());
    if (!box)
        return;
    const int set = box->property("curveSet_id").toInt();
    const int curve = box->property("curve_id").toInt();
    if (curve == -1)
        hideShowCurves(checked, {set}, {});
    else
        hideShowCurves(checked, {}, {{set, curve}});
    refreshAllViewers();
}

void FenlarkApp::hideSelectedAction_triggered(bool)
{
    QList<int> sets;
    QList<QPair<int, int>> curves;
    getSelectedState(sets, curves);
    hideShowCurves(false, sets, curves);
    refreshAllViewers();
}

void FenlarkApp::showSelectedAction_triggered(bool)
{
    QList<int> sets;
    QList<QPair<int, int>> curves;
    getSelectedState(sets, curves);
    hideShowCurves(true, sets, curves);
    refreshAllViewers();
}

namespace {

QList<int> allRows(QTreeWidget* tree)
{
    QList<int> rows;
    for (int i = 0; tree && i < tree->topLevelItemCount(); ++i)
        rows.append(i);
    return rows;
}

} // namespace

void FenlarkApp::on_actionShow_All_triggered()
{
    hideShowCurves(true, allRows(ui->treeWidgetCurvesExplorer), {});
    refreshAllViewers();
}

void FenlarkApp::on_actionHide_All_triggered()
{
    hideShowCurves(false, allRows(ui->treeWidgetCurvesExplorer), {});
    refreshAllViewers();
}

void FenlarkApp::treeWidgetCurvesExplorer_focus(QTreeWidgetItem* item, int)
{
    QTreeWidget* tree = ui->treeWidgetCurvesExplorer;
    if (!item || !tree)
        return;
    int set = -1;
    int curve = -1;
    QTreeWidgetItem* row = nullptr;
    if (QCheckBox* box = setRowBox(tree, item)) {
        set = box->property("curveSet_id").toInt();
        row = item;
    } else if (QCheckBox* box = curveRowBox(tree, item)) {
        set = box->property("curveSet_id").toInt();
        curve = box->property("curve_id").toInt();
        row = item->parent();
    }
    if (!row || !hasSet(activeCurveSets(), set))
        return;
    const int rowIndex = tree->indexOfTopLevelItem(row);
    blockSignalsOf({tree}, true);
    tree->setCurrentItem(row);
    markTreeItem(tree, rowIndex);
    blockSignalsOf({tree}, false);
    storeCurrentCurveSet(*this, rowIndex);
    centerOnCurve(set, curve, false);
}

bool FenlarkApp::getCheckedAsInnerState()
{
    const QList<CurveSet>& sets = activeCurveSets();
    for (const SelectedRow& row : selectedRows(ui->treeWidgetCurvesExplorer)) {
        if (row.curve == -1) {
            if (hasSet(sets, row.set)
                && std::all_of(sets[row.set].curves.begin(), sets[row.set].curves.end(),
                               [](const Curve& curve) { return curve.inner; }))
                return true;
        } else if (hasCurve(sets, row.set, row.curve)
                   && sets[row.set].curves[static_cast<std::size_t>(row.curve)].inner) {
            return true;
        }
    }
    return false;
}

bool FenlarkApp::getDifferentColorState(QColor& colour)
{
    colour = QColor();
    const QList<CurveSet>& sets = activeCurveSets();
    const QList<SelectedRow> rows = selectedRows(ui->treeWidgetCurvesExplorer);
    for (int r = 0; r < rows.size(); ++r) {
        const SelectedRow& row = rows[r];
        if (row.curve == -1) {
            if (!hasSet(sets, row.set))
                continue;
            // A set is compared within itself only.
            const std::vector<Curve>& curves = sets[row.set].curves;
            for (std::size_t k = 0; k < curves.size(); ++k) {
                const QColor next = curveColour(curves[k]);
                const bool differs = k > 0 && next != colour;
                colour = next;
                if (differs)
                    return true;
            }
        } else if (hasCurve(sets, row.set, row.curve)) {
            const QColor next = curveColour(sets[row.set].curves[static_cast<std::size_t>(row.curve)]);
            const bool differs = r > 0 && colour.isValid() && next != colour;
            colour = next;
            if (differs)
                return true;
        }
    }
    return false;
}

} // namespace UI
