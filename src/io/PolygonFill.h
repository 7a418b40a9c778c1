#pragma once

// Scanline fill of one polygon into an integer mask of an image window.

#include <cstddef>
#include <vector>

#include "io/Curve.h"

// Writes value into every pixel of the width x height window (row-major,
// index y * width + x) whose centre (x + 0.5, y + 0.5) lies inside the
// polygon by the even-odd rule. The polygon is given in window pixels and is
// closed implicitly (last point to first).
//
// The pixel rule, exactly: edges with equal end rows are skipped; on row y an
// edge takes part when ymin <= y + 0.5 < ymax; the crossings of the taking
// part edges are sorted by x and paired (first with second, third with
// fourth, ...); for a pair (xl, xr) every column with xl <= x + 0.5 <= xr is
// set. The crossing x of an edge is followed down the rows by adding its
// inverse slope once per row, from the row int(ymin).
//
// Only the window is written: rows and columns outside it are cut off, and
// so are entries past the end of a mask shorter than width x height. A
// polygon with a coordinate that is not finite, or a window without pixels,
// writes nothing. The cost is one step per edge and row it crosses inside the
// window, plus the pixels written.
void fillPolygon(const std::vector<Point2D>& polygon, int width, int height, std::vector<int>& mask, int value);

// The same fill in pieces, for many curves over a large window: the edges
// of a polygon are prepared once (PolygonEdges, read-only, shareable between
// threads), and a PolygonScan fills its rows in order, a band of rows per
// fillRows call, or starts further down with skipTo. Filling every curve's
// rows of one band before the next band keeps the band in the cache, and
// threads can take blocks of rows; the pixels are exactly those of
// fillPolygon.
class PolygonEdges {
public:
    struct Edge {
        double ymin = 0.0;  // the edge's smaller row coordinate
        double ymax = 0.0;
        double x = 0.0;     // x at ymin; in a scan, the crossing with the current row's centre line
        double step = 0.0;  // change of x per row (inverse slope)
    };

    PolygonEdges() = default;
    PolygonEdges(const std::vector<Point2D>& polygon, int width, int height);

    // Edges that take part in some row of the window, by ymin ascending.
    std::vector<Edge> edges;
    int width = 0;
    int height = 0; // 0 when nothing is to be filled
};

// Reads its edges from the table it was made from, which must outlive it.
class PolygonScan {
public:
    explicit PolygonScan(const PolygonEdges& edges);

    // Moves on to row `row` without filling the rows before it, as if they
    // had been filled (the crossings take the same additions). Does nothing
    // once row `row` is reached.
    void skipTo(int row);

    // Fills the rows from the first one not yet done up to rowEnd
    // (exclusive) into mask, a row-major array of maskSize entries for the
    // whole width x height window; entries at or past maskSize are never
    // written.
    void fillRows(int rowEnd, int* mask, std::size_t maskSize, int value);

private:
    using Edge = PolygonEdges::Edge;
    void join(Edge e, int row);

    const PolygonEdges* table_;
    int rows_ = 0;          // rows of the window still to consider
    int row_ = 0;           // next row to fill
    std::size_t next_ = 0;  // next edge of the table to join
    std::vector<Edge> active_;
};
