// The relevancy-map explorer of the active side, the data-set and curve-set
// choosers of the monitoring controls, and the pieces the curve workflows
// share.
//
// The relevancy-map explorer's double-click and context-menu handlers are
// first versions: the relevancy-map work fills them.

#include <QCheckBox>
#include <QComboBox>
#include <QSettings>
#include <QTreeWidget>

#include "app/FenlarkApp.h"
#include "app/FenlarkAppUI.h"
#include "app/SettingsKeys.h"
#include "app/WidgetUtils.h"
#include "workflows/CurveWorkflows.h"

namespace UI {

namespace CurveWorkflows {

QCheckBox* setRowBox(QTreeWidget* tree, QTreeWidgetItem* item)
{
    return qobject_cast<QCheckBox*>(tree->itemWidget(item, 1));
}

QCheckBox* curveRowBox(QTreeWidget* tree, QTreeWidgetItem* item)
{
    return qobject_cast<QCheckBox*>(tree->itemWidget(item, 2));
}

QList<SelectedRow> selectedRows(QTreeWidget* tree)
{
    QList<SelectedRow> rows;
    if (!tree)
        return rows;
    for (QTreeWidgetItem* item : tree->selectedItems()) {
        if (QCheckBox* box = setRowBox(tree, item))
            rows.append({item, box->property("curveSet_id").toInt(), -1});
        else if (QCheckBox* box = curveRowBox(tree, item))
            rows.append({item, box->property("curveSet_id").toInt(), box->property("curve_id").toInt()});
    }
    return rows;
}

int activeDataIndex(const FenlarkApp& window)
{
    return window.ui->activeSide == 0 ? window.ui->leftDataIndex : window.ui->rightDataIndex;
}

bool hasSet(const QList<CurveSet>& sets, int set)
{
    return set >= 0 && set < sets.size();
}

bool hasCurve(const QList<CurveSet>& sets, int set, int curve)
{
    return hasSet(sets, set) && curve >= 0 && static_cast<std::size_t>(curve) < sets[set].curves.size();
}

bool firstSelectedCurve(FenlarkApp& window, int& set, int& curve)
{
    QList<int> setIds;
    QList<QPair<int, int>> curveIds;
    window.getSelectedState(setIds, curveIds);
    if (curveIds.isEmpty() || !hasCurve(window.activeCurveSets(), curveIds.first().first, curveIds.first().second))
        return false;
    set = curveIds.first().first;
    curve = curveIds.first().second;
    return true;
}

void forEachSelectedCurve(QList<CurveSet>& sets, const QList<int>& setIds, const QList<QPair<int, int>>& curveIds,
                          const std::function<void(int, int, Curve&)>& visit)
{
    for (int set : setIds) {
        if (!hasSet(sets, set))
            continue;
        std::vector<Curve>& curves = sets[set].curves;
        for (std::size_t k = 0; k < curves.size(); ++k)
            visit(set, static_cast<int>(k), curves[k]);
    }
    for (const QPair<int, int>& pair : curveIds) {
        if (setIds.contains(pair.first) || !hasCurve(sets, pair.first, pair.second))
            continue;
        visit(pair.first, pair.second, sets[pair.first].curves[static_cast<std::size_t>(pair.second)]);
    }
}

std::vector<int> inactiveCurveColour(const FenlarkApp& window)
{
    const QString key = QString::fromLatin1(Keys::curveUnactiveCurveColor);
    if (!window.ui->curveColors.contains(key))
        return {0, 0, 0, 255};
    const QColor colour = window.ui->curveColors.value(key);
    return {colour.red(), colour.green(), colour.blue(), 255};
}

void storeCurrentCurveSet(FenlarkApp& window, int index)
{
    window.beginTabGroup(window.ui->activeSide);
    window.sessionConfig->setValue(QString::fromLatin1(Keys::curveExplorerStateCurrentIndex), index);
    window.sessionConfig->endGroup();
}

QString shortItemText(const QString& name)
{
    return name.left(30) + QStringLiteral("...");
}

namespace {

void clearQuietly(QTreeWidget* tree)
{
    blockSignalsOf({tree}, true);
    tree->clear();
    blockSignalsOf({tree}, false);
}

} // namespace

void rebuildExplorer(FenlarkApp& window, QTreeWidget* tree, bool showsData, int rowCount, int currentIndex,
                     const char* key, bool storeWhenEmpty, const std::function<void()>& fill)
{
    if (!showsData || (rowCount == 0 && !storeWhenEmpty)) {
        clearQuietly(tree);
        return;
    }
    // Every reader takes the stored index as a row of this list, so an index
    // that names no row is stored as "none".
    const int stored = currentIndex >= 0 && currentIndex < rowCount ? currentIndex : -1;
    if (rowCount == 0)
        clearQuietly(tree);
    else
        fill();
    blockSignalsOf({tree}, true);
    window.beginTabGroup(window.ui->activeSide);
    if (rowCount > 0)
        setCurrentTreeRow(tree, stored);
    window.sessionConfig->setValue(QString::fromLatin1(key), stored);
    window.sessionConfig->endGroup();
    blockSignalsOf({tree}, false);
}

QString curveFileErrorText(int code)
{
    switch (code) {
    case 1:
        return QStringLiteral("Unsupporterd file format.");
    case 2:
        return QStringLiteral("File is corrupted");
    case 6:
        return QStringLiteral("Curve is not located in loaded data.");
    default:
        return QString();
    }
}

} // namespace CurveWorkflows

void FenlarkApp::setRMExplorer(int currentIndex)
{
    const bool showsData = getDataFile(ui->activeSide) != nullptr;
    const QList<RelevancyMap>& maps = activeRelevancyMaps();
    CurveWorkflows::rebuildExplorer(*this, ui->treeWidgetRMExplorer, showsData, static_cast<int>(maps.size()),
                                    currentIndex, Keys::RMExplorerStateCurrentIndex, false,
                                    [&] { fillRMExplorerTree(maps); });
}

void FenlarkApp::fillRMExplorerTree(const QList<RelevancyMap>& maps)
{
    QTreeWidget* tree = ui->treeWidgetRMExplorer;
    blockSignalsOf({tree}, true);
    tree->clear();
    blockSignalsOf({tree}, false);
    QList<QTreeWidgetItem*> rows;
    for (const RelevancyMap& map : maps) {
        auto* row = new QTreeWidgetItem();
        const QString name = QString::fromStdString(map.name);
        row->setText(1, name);
        row->setToolTip(1, name);
        row->setText(2, QString::fromStdString(map.networkName));
        row->setToolTip(2, name);
        rows.append(row);
    }
    tree->insertTopLevelItems(0, rows);
}

void FenlarkApp::fillStatisticsFileComboBoxes()
{
    QComboBox* diff1 = ui->comboBoxStatsDiffFile1;
    QComboBox* diff2 = ui->comboBoxStatsDiffFile2;
    QComboBox* area1 = ui->comboBoxStatsAreaDiffFile1;
    QComboBox* area2 = ui->comboBoxStatsAreaDiffFile2;
    blockSignalsOf({area1, area2}, true);
    for (QComboBox* combo : {diff1, diff2, area1, area2})
        combo->clear();
    for (const IO::File* file : dataFiles) {
        const QString text = CurveWorkflows::shortItemText(QString::fromStdString(file->name));
        for (QComboBox* combo : {diff1, diff2, area1, area2})
            combo->addItem(text);
    }
    if (dataFiles.size() > 1) {
        diff2->setCurrentIndex(1);
        area2->setCurrentIndex(1);
    }
    blockSignalsOf({area1, area2}, false);
    // The curve choosers follow the data sets chosen now.
    fillAreaMonitoringCurveComboBoxes();
}

void FenlarkApp::fillAreaMonitoringCurveComboBoxes()
{
    const QList<QPair<QComboBox*, QComboBox*>> pairs{
        {ui->comboBoxStatsAreaDiffFile1, ui->comboBoxStatsAreaDiffCurve1},
        {ui->comboBoxStatsAreaDiffFile2, ui->comboBoxStatsAreaDiffCurve2},
    };
    for (const auto& [fileCombo, curveCombo] : pairs) {
        if (!fileCombo || !curveCombo)
            continue;
        curveCombo->clear();
        // The file combos are refilled apart from the lists: an index may
        // name no data set for a moment.
        const int index = fileCombo->currentIndex();
        if (index < 0 || index >= curveSets.size() || index >= dataFiles.size())
            continue;
        for (const CurveSet& set : curveSets[index])
            curveCombo->addItem(CurveWorkflows::shortItemText(QString::fromStdString(set.name)));
    }
}

} // namespace UI
