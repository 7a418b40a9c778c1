// The curves explorer's context menu and the editing actions behind it:
// copy to a data set of the same ground, colour, rename, delete, inner
// curves and a curve as a set of its own. Every action works on the
// selection as indexes of the active curve-set list.

#include <algorithm>
#include <set>

#include <QCheckBox>
#include <QMenu>
#include <QPixmap>
#include <QTreeWidget>

#include "app/FenlarkApp.h"
#include "app/FenlarkAppUI.h"
#include "app/SettingsKeys.h"
#include "app/WidgetUtils.h"
#include "workflows/CurveWorkflows.h"

namespace UI {

using namespace CurveWorkflows;

namespace {

int bandCountOf(const IO::File* file)
{
    return file ? static_cast<int>(file->bands.size()) : 0;
}

} // namespace

QMenu* FenlarkApp::buildCurvesExplorerMenu()
{
    auto* menu = new QMenu(this);
    QAction* load = menu->addAction(QStringLiteral("Load curves"));
    // Curves are read onto the grid of the data set shown.
    load->setEnabled(getDataFile(ui->activeSide) != nullptr);
    connect(load, &QAction::triggered, this, &FenlarkApp::on_actionLoad_curves_triggered);

    QList<int> sets;
    QList<QPair<int, int>> curves;
    getSelectedState(sets, curves);
    const qsizetype count = sets.size() + curves.size();
    if (count == 0)
        return menu;

    const auto add = [&](const char* text, void (FenlarkApp::*slot)(bool)) {
        QAction* action = menu->addAction(QString::fromLatin1(text));
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    QAction* colour = add("Change color", &FenlarkApp::curveChangeColourAction_triggered);
    QColor common;
    if (!getDifferentColorState(common) && common.isValid()) {
        QPixmap swatch(20, 20);
        swatch.fill(common);
        colour->setIcon(QIcon(swatch));
    }
    actionsInCopyToMenu(menu->addMenu(QStringLiteral("Copy to...")));
    add("Delete", &FenlarkApp::curveRemoveAction_triggered);
    add("Hide selected", &FenlarkApp::hideSelectedAction_triggered);
    add("Show selected", &FenlarkApp::showSelectedAction_triggered);
    add("Adjust", &FenlarkApp::curveAdjustAction_triggered);
    if (count == 1) {
        QAction* local = menu->addAction(QStringLiteral("Local adjust"));
        connect(local, &QAction::triggered, this, &FenlarkApp::curveLocalAdjustActionAction_triggered);
        add("Rename", &FenlarkApp::curveRenameAction_triggered);
        if (!sets.isEmpty()) {
            add("Save curve set as...", &FenlarkApp::saveCurveSetAction_triggered);
        } else {
            add("Save curve as...", &FenlarkApp::saveCurveAction_triggered);
            add("Set curve as curve set", &FenlarkApp::setCurveAsCurveSetAction_triggered);
        }
    } else {
        add("Save as...", &FenlarkApp::saveAction_triggered);
    }
    QAction* inner = menu->addAction(QStringLiteral("Inner"));
    inner->setCheckable(true);
    inner->setChecked(getCheckedAsInnerState());
    connect(inner, &QAction::toggled, this, &FenlarkApp::curveShrinkAction_toggled);
    return menu;
}

void FenlarkApp::treeWidgetCurvesExplorer_menu(const QPoint&)
{
    execContextMenu(buildCurvesExplorerMenu());
}

void FenlarkApp::actionsInCopyToMenu(QMenu* menu)
{
    const IO::File* active = getDataFile(ui->activeSide);
    const int activeIndex = activeDataIndex(*this);
    if (!menu || !active)
        return;
    for (int i = 0; i < dataFiles.size(); ++i) {
        if (i == activeIndex || !active->sameGeolocation(dataFiles[i]))
            continue;
        QAction* action = menu->addAction(QString::fromStdString(dataFiles[i]->name));
        action->setProperty("fileId", i);
        connect(action, &QAction::triggered, this, &FenlarkApp::copyToAction_triggered);
    }
}

void FenlarkApp::copyToAction_triggered(bool)
{
    const QObject* origin = sender();
    const int target = origin ? origin->property("fileId").toInt() : -1;
    if (target < 0 || target >= dataFiles.size() || target >= curveSets.size())
        return;
    QList<int> setIds;
    QList<QPair<int, int>> curveIds;
    QList<CurveGroup> groups;
    getSelectedCurvesBySet(setIds, curveIds, groups);
    const QList<CurveSet> sets = activeCurveSets();
    const int bandCount = bandCountOf(dataFiles[target]);

    // Copies are shown, and their statistics belong to the target's bands.
    const auto prepare = [&](CurveSet copy) {
        copy.visible = true;
        for (Curve& curve : copy.curves)
            curve.visible = true;
        copy.resetStatistics(bandCount);
        copy.updateBoundingBoxes();
        appendCurveSetToFile(target, std::move(copy));
    };
    for (const CurveGroup& group : groups) {
        if (!hasSet(sets, group.first))
            continue;
        if (setIds.contains(group.first)) {
            prepare(sets[group.first]);
            continue;
        }
        // The chosen curves in their order within the set.
        std::set<int> chosen(group.second.begin(), group.second.end());
        CurveSet copy = sets[group.first];
        copy.curves.clear();
        for (int k : chosen) {
            if (hasCurve(sets, group.first, k))
                copy.curves.push_back(sets[group.first].curves[static_cast<std::size_t>(k)]);
        }
        prepare(std::move(copy));
    }
    if (!setIds.isEmpty() || !curveIds.isEmpty())
        showMessageBox(QStringLiteral("Curves and CurveSets succefully copied"), 0);
    fillAreaMonitoringCurveComboBoxes();
}

void FenlarkApp::curveChangeColourAction_triggered(bool)
{
    const QString key = QString::fromLatin1(Keys::curveUnactiveCurveColor);
    const QColor initial = ui->curveColors.contains(key) ? ui->curveColors.value(key) : QColor();
    const QColor chosen = chooseColor(this, initial);
    if (!chosen.isValid())
        return;
    QList<int> setIds;
    QList<QPair<int, int>> curveIds;
    getSelectedState(setIds, curveIds);
    forEachSelectedCurve(activeCurveSets(), setIds, curveIds, [&](int, int, Curve& curve) {
        curve.color = {chosen.red(), chosen.green(), chosen.blue(), chosen.alpha()};
    });
    refreshAllViewers();
}

void FenlarkApp::curveRenameAction_triggered(bool)
{
    QList<SelectedRow> rows = selectedRows(ui->treeWidgetCurvesExplorer);
    // A set row goes first when the selection holds one.
    const auto setRow = std::find_if(rows.begin(), rows.end(), [](const SelectedRow& r) { return r.curve == -1; });
    if (rows.isEmpty())
        return;
    const SelectedRow row = setRow != rows.end() ? *setRow : rows.first();
    QList<CurveSet>& sets = activeCurveSets();
    if (row.curve == -1 ? !hasSet(sets, row.set) : !hasCurve(sets, row.set, row.curve))
        return;
    CurveSet& set = sets[row.set];
    const bool renamingSet = row.curve == -1;
    std::string& name = renamingSet ? set.name : set.curves[static_cast<std::size_t>(row.curve)].name;
    const std::optional<QString> text =
        renamingSet ? chooseText(this, QStringLiteral("Rename curve set"), QStringLiteral("Curve set Name:"),
                                 QLineEdit::Normal, QString::fromStdString(name))
                    : chooseText(this, QStringLiteral("Rename curve"), QStringLiteral("Curve Name:"),
                                 QLineEdit::Normal, QString::fromStdString(name));
    if (!text || text->trimmed().isEmpty())
        return;
    const QString trimmed = text->trimmed();
    name = trimmed.toStdString();
    row.item->setText(3, renamingSet ? trimmed + QLatin1Char('.') + QString::fromStdString(set.type) : trimmed);
}

void FenlarkApp::curveRemoveAction_triggered(bool)
{
    const int current = currentCurveSetIndex();
    QList<int> setIds;
    QList<QPair<int, int>> curveIds;
    getSelectedState(setIds, curveIds);
    QList<CurveSet>& sets = activeCurveSets();
    const int bandCount = bandCountOf(getDataFile(ui->activeSide));

    // From the back, so that every erase leaves the indexes still to come.
    std::sort(curveIds.begin(), curveIds.end(), std::greater<>());
    std::set<int> shortened;
    for (const QPair<int, int>& pair : curveIds) {
        if (setIds.contains(pair.first) || !hasCurve(sets, pair.first, pair.second))
            continue;
        std::vector<Curve>& curves = sets[pair.first].curves;
        curves.erase(curves.begin() + pair.second);
        shortened.insert(pair.first);
    }
    for (int set : shortened) {
        if (sets[set].curves.empty()) {
            if (!setIds.contains(set))
                setIds.append(set);
        } else {
            // What the set measured was another region.
            sets[set].updateBoundingBoxes();
            sets[set].resetStatistics(bandCount);
        }
    }
    std::sort(setIds.begin(), setIds.end(), std::greater<>());
    setIds.erase(std::unique(setIds.begin(), setIds.end()), setIds.end());
    int erasedBelowCurrent = 0;
    bool currentErased = false;
    for (int set : setIds) {
        if (!hasSet(sets, set))
            continue;
        sets.removeAt(set);
        erasedBelowCurrent += set < current ? 1 : 0;
        currentErased = currentErased || set == current;
    }

    // The current set stays current; when it went, the set now at its row,
    // or the last one.
    int next = current;
    if (currentErased)
        next = current < sets.size() ? current : static_cast<int>(sets.size()) - 1;
    else if (current != -1)
        next = current - erasedBelowCurrent;
    storeCurrentCurveSet(*this, next);
    setCurvesExplorer(next);
    refreshAllViewers();
}

void FenlarkApp::curveShrinkAction_toggled(bool inner)
{
    QList<int> setIds;
    QList<QPair<int, int>> curveIds;
    getSelectedState(setIds, curveIds);
    QList<CurveSet>& sets = activeCurveSets();
    std::set<int> changed;
    forEachSelectedCurve(sets, setIds, curveIds, [&](int set, int, Curve& curve) {
        if (curve.inner == inner)
            return;
        // Turning the curve round makes the sign of its area follow the flag.
        curve.inner = inner;
        curve.reversePoints();
        curve.computeGeometry();
        changed.insert(set);
    });
    const int bandCount = bandCountOf(getDataFile(ui->activeSide));
    for (int set : changed)
        sets[set].resetStatistics(bandCount);
}

void FenlarkApp::setCurveAsCurveSetAction_triggered(bool)
{
    int set = -1;
    int curve = -1;
    if (!firstSelectedCurve(*this, set, curve))
        return;
    const QList<CurveSet>& sets = activeCurveSets();
    CurveSet copy = sets[set];
    copy.visible = true;
    copy.curves = {sets[set].curves[static_cast<std::size_t>(curve)]};
    copy.curves.front().visible = true;
    copy.updateBoundingBoxes();
    // One curve of the set covers another region than the whole set.
    copy.resetStatistics(bandCountOf(getDataFile(ui->activeSide)));
    appendCurveSetToFile(activeDataIndex(*this), std::move(copy));
    setCurvesExplorer(currentCurveSetIndex());
    refreshAllViewers();
}

} // namespace UI
