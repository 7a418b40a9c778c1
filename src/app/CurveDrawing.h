#pragma once

// Geometry of the mouse tools, free of widgets: the shapes of the initial
// curves, the magnet of the tracers, the tracing step, the choice of the curve
// to continue and the splice of a retraced piece into a curve. Points are in
// working-area pixels unless said otherwise.

#include <optional>
#include <vector>

#include <QList>
#include <QPair>
#include <QString>

#include "io/Curve.h"

namespace CurveDrawing {

// Circle around center through points 0.5 pixel apart: angles 0, h, 2h, ...
// while t <= 2 pi - h with h = 1 / (2 radius), then the first point again.
// A radius of 0 gives the centre alone.
std::vector<Point2D> circlePath(Point2D center, double radius);

// Square centred on the anchor's pixel through the mouse: half edge a =
// max(|dx|, |dy|) of the truncated offsets, corners (hx - a, hy - a) and
// (hx + a + 1, hy + a + 1), closed; edge = 2a + 1 pixels.
struct Square {
    std::vector<Point2D> points;
    int edge = 1;
};
Square squarePath(Point2D anchor, Point2D mouse);

// int(2L + 1) points from `from` in steps of (to - from) / (2L), L the
// distance; `from` alone when the points coincide.
std::vector<Point2D> polygonSide(Point2D from, Point2D to);

// p moved onto target when it lies within threshold of it in both
// coordinates (a square window).
Point2D snapToPoint(Point2D p, Point2D target, double threshold);

// Spacing of a traced segment of length distance in a working area of
// width x height: 0.5 up to 100 pixels, growing linearly to 5 at the area's
// diagonal K; 0.5 for every distance when K <= 100.
double tracingStep(double distance, int width, int height);

// The curve a "Continue" works on, from the selected set rows and curve
// rows: one curve row (with or without one set row) gives that curve, one
// set row alone its first curve; otherwise the text to show.
struct ContinueChoice {
    int set = -1;
    int curve = -1;
    QString refusal;  // empty when a curve was chosen
};
ContinueChoice continueChoice(const QList<int>& setIds, const QList<QPair<int, int>>& curveIds);

// Replaces a piece of curve by a retraced one. points: the curve's points
// (a closed curve repeats its first point at the end); picks: the picked
// point indexes in picking order (two on an open curve, three on a closed
// one, where the third tells the arc to replace); piece: the retraced
// points, running from pick 1 to pick 0. The piece is turned when its first
// point lies nearer the kept point it should end at. An empty piece, or
// picks that do not fit the curve, give the points unchanged.
std::vector<Point2D> spliceCurve(const std::vector<Point2D>& points, const std::vector<int>& picks, bool closed,
                                 std::vector<Point2D> piece);

// Every point moved by (dx, dy).
void offsetPoints(std::vector<Point2D>& points, double dx, double dy);

// True when the points hold at least three distinct positions: the least an
// outline needs to enclose anything.
bool enclosesArea(const std::vector<Point2D>& points);

} // namespace CurveDrawing
