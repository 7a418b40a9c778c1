#pragma once

// One closed curve under evolution, stored in the padded layout: a curve of
// n distinct points keeps each coordinate in an array of S = n + 2 entries,
// the points at indexes 1 ... n, entry 0 repeating point n and entry n + 1
// repeating point 1. Every per-point and per-segment array uses the same
// layout, so the neighbours of any point i = 1 ... n are at i - 1 and i + 1
// without wrap-around arithmetic. Segment i runs from point i - 1 to point i.

#include <string>
#include <vector>

class EvolvingCurve {
public:
    EvolvingCurve();

    std::vector<double> x;
    std::vector<double> y;
    // The points at the last stop check; empty until the first check.
    std::vector<double> checkpointX;
    std::vector<double> checkpointY;
    // r[i], x[i] - x[i-1] and y[i] - y[i-1] of segment i, padded.
    std::vector<double> segmentLength;
    std::vector<double> segmentDx;
    std::vector<double> segmentDy;
    // Total length L, set by computeSegments.
    double length = 0.0;
    bool active = true;

    // Number of distinct points n (S - 2), 0 for a curve with fewer than two
    // entries.
    int pointCount() const;

    // Segment arrays and length from x and y. A point equal to its
    // predecessor is erased (and the padded copies of x and y refreshed), so
    // afterwards no segment has zero length.
    void computeSegments();

    // Signed enclosed area: positive when the curve runs counter-clockwise
    // with the y axis up (clockwise on screen).
    double signedArea() const;

    // Entry 0 := entry S - 2 and entry S - 1 := entry 1 of x and y.
    void repad();

    // Entry 0 := entry S - 2 and entry S - 1 := entry 1 of any padded array.
    template <typename T>
    static void repadArray(std::vector<T>& a)
    {
        const std::size_t s = a.size();
        if (s < 3)
            return;
        a[0] = a[s - 2];
        a[s - 1] = a[1];
    }

    // Empty when the curve is a valid padded closed curve (finite
    // coordinates, consistent padded copies, no zero-length segment, at
    // least minPoints points); otherwise a description of the first fault.
    // A debugging aid for tests.
    std::string layoutFault(int minPoints) const;
};
