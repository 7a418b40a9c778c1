#pragma once

// Behaviour shared by the tool windows that hold work the user may not want
// to lose: the close confirmation, and the Copy of a result table.
//
// GUI thread only; the question goes through the dialog seam.

#include <QString>

class QCloseEvent;
class QTableWidget;
class QWidget;

// Asks "Are you sure you want to close the window?" under the title "Close
// Confirmation" (Yes and No, no default button, the window as parent) and
// accepts the event only on Yes; any other answer ignores it, so the window
// stays.
void confirmWindowClose(QWidget* window, QCloseEvent* event);

// The first selected range of the table as text, rows from top to bottom:
// the cells' texts from the left to the right column (empty for a cell
// without item), a tab between neighbouring cells and "\n" after every row,
// the last one included. Empty when nothing is selected.
QString firstSelectedRangeText(const QTableWidget* table);

// Puts firstSelectedRangeText on the clipboard; false (clipboard untouched)
// when nothing is selected.
bool copyFirstSelectedRange(const QTableWidget* table);

// Makes the standard Copy key on the table itself copy its first selected
// range: an item view would otherwise take the key and copy only its current
// cell. The filter belongs to the table.
void installRangeCopy(QTableWidget* table);
