#pragma once

// Distances between two polylines in working-grid pixels: per-vertex
// distances in both directions, then the Hausdorff distance, the 95th
// percentile and the length-weighted mean of the vertex distances.
//
// A curve may be stored closed by repeating its start: its last point equals
// its first, or its last two points equal its first two (the padded layout of
// the curve evolution). Those leading repeats are skipped, so every distinct
// vertex counts once.
//
// The distance of a vertex to the other curve is found locally: its nearest
// vertex there, then the five segments around that vertex. For larger curves
// the nearest vertex comes from a uniform grid over the other curve's
// vertices, which returns exactly what a full scan returns (ties included).

#include <cstddef>
#include <vector>

namespace UI {
class Curve;
}

class CurveDistance {
public:
    // All three results stay -1.0 until computed.
    double hausdorff = -1.0;
    double percentile95 = -1.0;
    double meanDistance = -1.0;

    // Curve A and curve B; x and y of a curve have equal length.
    std::vector<double> ax;
    std::vector<double> ay;
    std::vector<double> bx;
    std::vector<double> by;

    // One entry per counting vertex of A: its distance to curve B.
    std::vector<double> distancesAB;
    // One entry per counting vertex of B: its distance to curve A.
    std::vector<double> distancesBA;

    // distancesAB := directed distances A -> B, distancesBA := B -> A.
    void computeDistances();

    // Sets hausdorff, percentile95 and meanDistance from both distance lists;
    // does nothing when either list is empty.
    void computeStatistics();

    // Sets hausdorff from both lists and returns it, touching nothing else.
    // Returns the smallest positive normalised double when either list is
    // empty.
    double computeHausdorff();

    // Resizes out to the counting vertices of `from` and writes each one's
    // distance to the polyline `to` (treated as closed).
    static void directedDistances(const std::vector<double>& fromX, const std::vector<double>& fromY,
                                  const std::vector<double>& toX, const std::vector<double>& toY,
                                  std::vector<double>& out);

    // Number of leading points that repeat the end of the curve: 1 when the
    // last point equals the first, 2 when the last two equal the first two,
    // else 0.
    static std::size_t skipCount(const std::vector<double>& x, const std::vector<double>& y);
};

// Compares two curves; a result that could not be computed comes back -1.0.
void computeCurveDistances(const UI::Curve& a, const UI::Curve& b, double& mean, double& hausdorff,
                           double& percentile95);
