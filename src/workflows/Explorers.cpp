// The curves and relevancy-map explorers of the active side, and the
// data-set choosers of the monitoring controls.
//
// The explorers' double-click and context-menu handlers are first versions:
// the curve and relevancy-map work fills them.

#include <QComboBox>
#include <QSettings>
#include <QTreeWidget>

#include "app/FenlarkApp.h"
#include "app/FenlarkAppUI.h"
#include "app/SettingsKeys.h"
#include "app/WidgetUtils.h"

namespace UI {

namespace {

// Rebuilds an explorer for the active side: empty without a data set (or
// without entries), else filled and row currentIndex made current and
// marked, the index stored under key in the side's group.
void clearQuietly(QTreeWidget* tree)
{
    blockSignalsOf({tree}, true);
    tree->clear();
    blockSignalsOf({tree}, false);
}

template <typename Fill>
void rebuildExplorer(FenlarkApp& window, QTreeWidget* tree, bool showsData, bool empty, int currentIndex,
                     const char* key, Fill fill)
{
    if (!showsData || empty) {
        clearQuietly(tree);
        return;
    }
    fill();
    blockSignalsOf({tree}, true);
    window.beginTabGroup(window.ui->activeSide);
    setCurrentTreeRow(tree, currentIndex);
    window.sessionConfig->setValue(QString::fromLatin1(key), currentIndex);
    window.sessionConfig->endGroup();
    blockSignalsOf({tree}, false);
}

} // namespace

void FenlarkApp::setCurvesExplorer(int currentIndex)
{
    const bool showsData = getDataFile(ui->activeSide) != nullptr;
    const QList<CurveSet>& sets = activeCurveSets();
    if (showsData && sets.isEmpty()) {
        // No sets: nothing can be current.
        beginTabGroup(ui->activeSide);
        sessionConfig->setValue(QString::fromLatin1(Keys::curveExplorerStateCurrentIndex), -1);
        sessionConfig->endGroup();
    }
    rebuildExplorer(*this, ui->treeWidgetCurvesExplorer, showsData, sets.isEmpty(), currentIndex,
                    Keys::curveExplorerStateCurrentIndex, [&] { fillCurvesExplorerTree(sets); });
}

void FenlarkApp::fillCurvesExplorerTree(const QList<CurveSet>& sets)
{
    QTreeWidget* tree = ui->treeWidgetCurvesExplorer;
    clearQuietly(tree);
    QList<QTreeWidgetItem*> rows;
    for (const CurveSet& set : sets) {
        auto* row = new QTreeWidgetItem();
        const QString name = QString::fromStdString(set.name);
        row->setText(3, name + QLatin1Char('.') + QString::fromStdString(set.type));
        row->setToolTip(3, name);
        for (const Curve& curve : set.curves) {
            auto* child = new QTreeWidgetItem(row);
            child->setText(3, QString::fromStdString(curve.name));
            child->setToolTip(3, QString::fromStdString(curve.name));
            child->setText(4, curve.closed ? QStringLiteral("closed ") : QStringLiteral("open "));
        }
        rows.append(row);
    }
    tree->insertTopLevelItems(0, rows);
    for (QTreeWidgetItem* row : rows)
        row->setExpanded(true);
}

void FenlarkApp::setRMExplorer(int currentIndex)
{
    const bool showsData = getDataFile(ui->activeSide) != nullptr;
    const QList<RelevancyMap>& maps = activeRelevancyMaps();
    rebuildExplorer(*this, ui->treeWidgetRMExplorer, showsData, maps.isEmpty(), currentIndex,
                    Keys::RMExplorerStateCurrentIndex, [&] { fillRMExplorerTree(maps); });
}

void FenlarkApp::fillRMExplorerTree(const QList<RelevancyMap>& maps)
{
    QTreeWidget* tree = ui->treeWidgetRMExplorer;
    clearQuietly(tree);
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

bool FenlarkApp::appendCurveSet(CurveSet curveSet)
{
    if (!getDataFile(ui->activeSide))
        return false;
    activeCurveSets().append(std::move(curveSet));
    return true;
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
        const QString text = QString::fromStdString(file->name).left(30) + QStringLiteral("...");
        for (QComboBox* combo : {diff1, diff2, area1, area2})
            combo->addItem(text);
    }
    if (dataFiles.size() > 1) {
        diff2->setCurrentIndex(1);
        area2->setCurrentIndex(1);
    }
    blockSignalsOf({area1, area2}, false);
}

void FenlarkApp::treeWidgetCurvesExplorer_focus(QTreeWidgetItem*, int) {}

void FenlarkApp::treeWidgetCurvesExplorer_menu(const QPoint&) {}

void FenlarkApp::treeWidgetRMExplorer_doubleClicked(QTreeWidgetItem*, int) {}

void FenlarkApp::treeWidgetRMExplorer_menu(const QPoint&) {}

} // namespace UI
