#pragma once

// Shapes and images shared by the closed-curve evolution tests.

#include "evolution/EvolvingCurve.h"
#include "io/Curve.h"

#include <cmath>
#include <vector>

namespace ClosedCurveFixtures {

constexpr double kPi = 3.14159265358979323846;

// Closed polyline of n points on a circle (first point repeated at the end),
// counter-clockwise with the y axis up: positive signed area.
inline std::vector<Point2D> circle(double cx, double cy, double r, int n, double phase = 0.0)
{
    std::vector<Point2D> p;
    for (int i = 0; i <= n; ++i) {
        const double a = 2.0 * kPi * (i % n) / n + phase;
        p.push_back({cx + r * std::cos(a), cy + r * std::sin(a)});
    }
    return p;
}

// Padded arrays of a closed polyline (last point equal to the first).
inline EvolvingCurve padded(const std::vector<Point2D>& closed)
{
    EvolvingCurve c;
    const std::size_t n = closed.size() - 1;
    c.x.push_back(closed[n - 1].x);
    c.y.push_back(closed[n - 1].y);
    for (std::size_t i = 0; i < n; ++i) {
        c.x.push_back(closed[i].x);
        c.y.push_back(closed[i].y);
    }
    c.x.push_back(closed[0].x);
    c.y.push_back(closed[0].y);
    return c;
}

// Shoelace area of a closed polyline (positive counter-clockwise, y up).
inline double area(const std::vector<Point2D>& p)
{
    double s = 0.0;
    for (std::size_t i = 0; i + 1 < p.size(); ++i)
        s += p[i].x * p[i + 1].y - p[i + 1].x * p[i].y;
    return 0.5 * s;
}

// A width x height image filled with one value.
inline std::vector<float> image(int width, int height, float value)
{
    return std::vector<float>(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), value);
}

} // namespace ClosedCurveFixtures
