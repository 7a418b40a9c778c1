#pragma once

// Pieces the curve workflows of the main window share: the explorer's rows
// as indexes of the active curve-set list, the walk over the curves a
// selection names, and the rebuild of a list explorer.

#include <functional>
#include <vector>

#include <QList>
#include <QPair>
#include <QString>

#include "io/Curve.h"

class QCheckBox;
class QTreeWidget;
class QTreeWidgetItem;

namespace UI {

class FenlarkApp;

namespace CurveWorkflows {

// One selected row of the curves explorer: a set row (curve -1) or a curve
// row, with the indexes its visibility box carries.
struct SelectedRow {
    QTreeWidgetItem* item = nullptr;
    int set = -1;
    int curve = -1;
};

// The visibility box of a set row (column 1) or of a curve row (column 2);
// null when the row has none there.
QCheckBox* setRowBox(QTreeWidget* tree, QTreeWidgetItem* item);
QCheckBox* curveRowBox(QTreeWidget* tree, QTreeWidgetItem* item);

// The selected rows in selection order; rows without a box are left out.
QList<SelectedRow> selectedRows(QTreeWidget* tree);

// Index of the data set shown on the active side, -1 when none.
int activeDataIndex(const FenlarkApp& window);

bool hasSet(const QList<CurveSet>& sets, int set);
bool hasCurve(const QList<CurveSet>& sets, int set, int curve);
// The first selected curve row of the curves explorer as (set, curve) of the
// active list; false when there is none or it names no curve.
bool firstSelectedCurve(FenlarkApp& window, int& set, int& curve);

// Calls visit(set, curve, record) for every curve of every listed set, then
// for every listed curve whose set is not listed. Indexes that name nothing
// are skipped.
void forEachSelectedCurve(QList<CurveSet>& sets, const QList<int>& setIds, const QList<QPair<int, int>>& curveIds,
                          const std::function<void(int, int, Curve&)>& visit);

// Red, green and blue of the properties panel's inactive curve colour (black
// when it has none) with full alpha: the colour of new curves.
std::vector<int> inactiveCurveColour(const FenlarkApp& window);

// The explorer's current set: stored under the active side's group.
void storeCurrentCurveSet(FenlarkApp& window, int index);

// The top-level rows of a flat explorer that are selected, in the order
// they were selected.
QList<int> selectedTopLevelRows(QTreeWidget* tree);

// A name as a combo box item: its first 30 characters and "...".
QString shortItemText(const QString& name);

// Rebuilds a list explorer for the active side. Without a data set the tree
// is only cleared; with no rows it is cleared (and -1 stored under key when
// storeWhenEmpty); else fill() builds it and row currentIndex becomes current
// and marked, the index stored (-1 when it names no row).
void rebuildExplorer(FenlarkApp& window, QTreeWidget* tree, bool showsData, int rowCount, int currentIndex,
                     const char* key, bool storeWhenEmpty, const std::function<void()>& fill);

// The text after "Unable to open curve file %1. " (and "Unable to save curve
// file %1. ") for a result code of the curve-file operations.
QString curveFileErrorText(int code);

} // namespace CurveWorkflows

} // namespace UI
