#pragma once

// What the statistics window writes into its table, as plain lists of cells.
// The window only copies them into its QTableWidget, so the layout rules are
// stated here once and tested without widgets.
//
// Units: curve areas, perimeters and distances are kept in working-grid
// pixels; the ground size of one pixel of the grid the curves lie on (10 m on
// a Sentinel-2 product, so one square pixel is 100 m^2; an orthophoto's own
// pixel size) turns them into metres. Numbers never follow the user's locale: measured values are written in the shortest text
// that reads back to the same double, areas, perimeters, ratios and
// distances in fixed notation with 3 decimals.

#include <functional>
#include <optional>

#include <QList>
#include <QString>
#include <QStringList>

#include "io/Curve.h"

namespace StatisticsTable {

struct Cell {
    int row = 0;
    int column = 0;
    QString text;

    friend bool operator==(const Cell&, const Cell&) = default;
};

// A filled stretch of the table: the row count the table gets and its cells.
struct Layout {
    int rowCount = 0;
    int headerRow = 0;
    QList<Cell> cells;
};

// Statistic types 0..3 (mean, standard deviation, minimum, maximum): list
// labels, file keys and difference-column labels.
QString typeLabel(int type);
QString typeKey(int type);
QString differenceLabel(int type);

// Columns one curve set takes in a block: 2 with one statistic type (label
// and value of the curve rows), else one per type.
int blockWidth(int typeCount);
// The table of a Compute: a block per set and data set after the channel
// column, and with two data sets one more block of differences.
int statisticsColumnCount(int setCount, int fileCount, int typeCount);
// The header row below the curve rows of the largest set (K curves).
int headerRow(int largestCurveCount);

QString valueText(double value);
QString fixedText(double value);
// Absolute area in m^2 (an open curve's area of -1 counts as 0), perimeter
// in m, both on pixels of metresPerPixel, and the isoperimetric ratio
// 4 pi A / P^2 in pixels (0 for a perimeter of 0).
QString areaText(const UI::Curve& curve, double metresPerPixel);
QString perimeterText(const UI::Curve& curve, double metresPerPixel);
QString ratioText(const UI::Curve& curve);
// A set's statistic of a type for a band; "-1" when its list does not reach
// the band.
QString statisticText(const UI::CurveSet& set, int type, int band);

// One data set's block of the statistics table.
struct Block {
    QString fileName;
    QList<const UI::CurveSet*> sets;  // chosen sets in the chosen order
    QList<int> bands;                 // per chosen channel its band in this data set, -1 for none
    QStringList channelNames;         // per chosen channel, the first data set's name
    QList<int> types;                 // chosen types in the chosen order
    int offset = 0;                   // 0 for the first data set, w for the second
    double metresPerPixel = 0.0;      // ground size of a pixel of the sets' grid
};
Layout statisticsBlock(const Block& block);

// The difference rows of a two-data-set table whose blocks hold one set:
// in the header row the difference labels from column offset + 1, below it
// per channel and type the first block's value minus the second's, both read
// back from the cells (cellText gives a cell's text, empty when it has none).
// A value that does not read as a number leaves its difference cell out.
QList<Cell> differenceCells(int headerRow, int channelCount, const QList<int>& types, int offset,
                            const std::function<QString(int row, int column)>& cellText);

// The comparison of two curve sets' first curves, both on one grid of
// metresPerPixel; -1 marks a distance that was not computed.
struct Distances {
    double mean = -1.0;
    double hausdorff = -1.0;
    double percentile95 = -1.0;
};
struct ComparedSet {
    QString fileName;
    const UI::CurveSet* set = nullptr;
};
Layout comparison(const ComparedSet& a, const ComparedSet& b, const Distances& distances, double metresPerPixel);

} // namespace StatisticsTable
