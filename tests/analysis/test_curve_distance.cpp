#include "analysis/CurveDistance.h"
#include "io/Curve.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kLargest = std::numeric_limits<double>::max();
constexpr double kSmallestNormal = std::numeric_limits<double>::min();

enum class Layout { Open, Closed, Padded };

struct Polyline {
    std::vector<double> x;
    std::vector<double> y;
};

// n distinct points, stored open, closed (start repeated once) or padded
// (last two repeat the first two).
Polyline withLayout(Polyline p, Layout layout)
{
    if (layout == Layout::Open)
        return p;
    const double x0 = p.x[0], y0 = p.y[0], x1 = p.x[1], y1 = p.y[1];
    p.x.push_back(x0);
    p.y.push_back(y0);
    if (layout == Layout::Padded) {
        p.x.push_back(x1);
        p.y.push_back(y1);
    }
    return p;
}

Polyline circle(double cx, double cy, double r, int n, Layout layout = Layout::Closed, double phase = 0.0)
{
    Polyline p;
    for (int i = 0; i < n; ++i) {
        const double a = 2.0 * kPi * i / n + phase;
        p.x.push_back(cx + r * std::cos(a));
        p.y.push_back(cy + r * std::sin(a));
    }
    return withLayout(p, layout);
}

// Square [x0, x0 + side] x [y0, y0 + side], `per` points per edge.
Polyline square(double x0, double y0, double side, int per, Layout layout = Layout::Closed)
{
    Polyline p;
    const double cx[4] = {x0, x0 + side, x0 + side, x0};
    const double cy[4] = {y0, y0, y0 + side, y0 + side};
    for (int e = 0; e < 4; ++e)
        for (int k = 0; k < per; ++k) {
            const double f = static_cast<double>(k) / per;
            p.x.push_back(cx[e] + (cx[(e + 1) % 4] - cx[e]) * f);
            p.y.push_back(cy[e] + (cy[(e + 1) % 4] - cy[e]) * f);
        }
    return withLayout(p, layout);
}

std::vector<double> rotated(std::vector<double> v, std::size_t k)
{
    std::rotate(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(k % v.size()), v.end());
    return v;
}

CurveDistance compare(const Polyline& a, const Polyline& b)
{
    CurveDistance d;
    d.ax = a.x;
    d.ay = a.y;
    d.bx = b.x;
    d.by = b.y;
    d.computeDistances();
    d.computeStatistics();
    return d;
}

// The true distance from a point to a polyline taken as closed: every vertex
// and every segment (foot strictly inside), the repeated start skipped for
// the vertices.
double bruteDistance(double px, double py, const Polyline& to)
{
    const std::size_t m = to.x.size();
    const std::size_t l = CurveDistance::skipCount(to.x, to.y);
    double best = kLargest;
    for (std::size_t j = l; j < m; ++j)
        best = std::min(best, std::hypot(px - to.x[j], py - to.y[j]));
    for (std::size_t s = 0; s < m; ++s) {
        const std::size_t e = (s + 1) % m;
        const double ex = to.x[e] - to.x[s], ey = to.y[e] - to.y[s];
        const double len2 = ex * ex + ey * ey;
        if (len2 <= 0.0)
            continue;
        const double u = ((px - to.x[s]) * ex + (py - to.y[s]) * ey) / len2;
        if (u > 0.0 && u < 1.0)
            best = std::min(best, std::hypot(px - (to.x[s] + u * ex), py - (to.y[s] + u * ey)));
    }
    return best;
}

} // namespace

TEST(CurveDistance, ResultsStartNotComputed)
{
    const CurveDistance d;
    EXPECT_EQ(d.hausdorff, -1.0);
    EXPECT_EQ(d.percentile95, -1.0);
    EXPECT_EQ(d.meanDistance, -1.0);
}

TEST(CurveDistance, SkipCountFollowsTheRepeatedStart)
{
    struct Case {
        std::vector<double> x, y;
        std::size_t skip;
    } cases[] = {
        {{}, {}, 0},
        {{1}, {2}, 1},                                    // one point: last equals first
        {{1, 2}, {1, 2}, 2},                              // two distinct points
        {{1, 1}, {1, 1}, 1},                              // two equal points
        {{0, 1, 2}, {0, 0, 1}, 0},                        // open
        {{0, 1, 2, 0}, {0, 0, 1, 0}, 1},                  // closed
        {{0, 1, 2, 0, 1}, {0, 0, 1, 0, 0}, 2},            // padded
        {{0, 1, 2, 0, 1}, {0, 0, 1, 0, 0.5}, 0},          // almost padded
    };
    for (const Case& c : cases)
        EXPECT_EQ(CurveDistance::skipCount(c.x, c.y), c.skip) << "size " << c.x.size();
}

TEST(CurveDistance, AnalyticPairs)
{
    struct Case {
        const char* name;
        Polyline a, b;
        double hausdorff, mean, tolerance;
    } cases[] = {
        {"identical circles", circle(50, 50, 10, 200), circle(50, 50, 10, 200), 0.0, 0.0, 0.0},
        {"identical squares, padded", square(0, 0, 10, 20, Layout::Padded), square(0, 0, 10, 20, Layout::Padded),
         0.0, 0.0, 0.0},
        // Outer vertices see the inner vertex at the same angle exactly (the
        // neighbouring chords' feet fall outside them).
        {"concentric circles 10 and 12", circle(50, 50, 10, 400), circle(50, 50, 12, 400), 2.0, 2.0, 1e-3},
        {"concentric circles 7 and 4.5", circle(0, 0, 7, 400), circle(0, 0, 4.5, 400, Layout::Open), 2.5, 2.5,
         1e-3},
        // The mean is not d here: bottom and top edges overlap.
        {"square shifted by 0.7", square(0, 0, 10, 40), square(0.7, 0, 10, 40), 0.7, -1.0, 1e-9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CurveDistance d = compare(c.a, c.b);
        EXPECT_NEAR(d.hausdorff, c.hausdorff, c.tolerance == 0.0 ? 0.0 : 1e-9);
        if (c.mean >= 0.0) {
            EXPECT_NEAR(d.meanDistance, c.mean, c.tolerance == 0.0 ? 0.0 : 0.05);
        }
        EXPECT_LE(d.percentile95, d.hausdorff);
        EXPECT_GE(d.percentile95, 0.0);
    }
}

TEST(CurveDistance, ConcentricSquaresByHand)
{
    // Corners only. Inner corners lie 1 from the outer edges (feet inside);
    // outer corners see no inner foot strictly inside an edge and keep the
    // corner distance sqrt(2).
    const Polyline inner = square(0, 0, 10, 1);
    const Polyline outer = square(-1, -1, 12, 1);
    const CurveDistance d = compare(inner, outer);
    ASSERT_EQ(d.distancesAB.size(), 4u);
    ASSERT_EQ(d.distancesBA.size(), 4u);
    for (double v : d.distancesAB)
        EXPECT_DOUBLE_EQ(v, 1.0);
    for (double v : d.distancesBA)
        EXPECT_DOUBLE_EQ(v, std::sqrt(2.0));
    EXPECT_DOUBLE_EQ(d.hausdorff, std::sqrt(2.0));
    EXPECT_DOUBLE_EQ(d.percentile95, std::sqrt(2.0));  // index int(8 * 0.95) = 7
    // Each corner weighs half of its two edges: perimeters 40 and 48.
    EXPECT_DOUBLE_EQ(d.meanDistance, (40.0 * 1.0 + 48.0 * std::sqrt(2.0)) / 88.0);

    CurveDistance h;
    h.ax = inner.x;
    h.ay = inner.y;
    h.bx = outer.x;
    h.by = outer.y;
    h.computeDistances();
    EXPECT_DOUBLE_EQ(h.computeHausdorff(), std::sqrt(2.0));
    EXPECT_EQ(h.percentile95, -1.0);
    EXPECT_EQ(h.meanDistance, -1.0);
}

TEST(CurveDistance, LayoutsGiveTheSameResult)
{
    // The layout of the measured curve only decides which vertices count.
    const Polyline a = circle(20, 20, 8, 60, Layout::Open, 0.1);
    const Polyline b = square(14, 13, 12, 15, Layout::Open);
    for (Layout target : {Layout::Open, Layout::Closed, Layout::Padded}) {
        const Polyline t = withLayout(b, target);
        std::vector<double> reference;
        CurveDistance::directedDistances(a.x, a.y, t.x, t.y, reference);
        for (Layout from : {Layout::Closed, Layout::Padded}) {
            const Polyline f = withLayout(a, from);
            std::vector<double> out;
            CurveDistance::directedDistances(f.x, f.y, t.x, t.y, out);
            // The list starts after the skipped repeats: point 0 comes last.
            EXPECT_EQ(out, rotated(reference, CurveDistance::skipCount(f.x, f.y)));
        }
    }

    // The target's layout moves its seam: where the distance is decided by
    // vertices and by chords on either side of a vertex alike, as between
    // concentric circles sampled at the same angles, every layout agrees.
    const Polyline inner = circle(30, 30, 9, 90);
    const Polyline outer = circle(30, 30, 11, 90);
    const CurveDistance reference = compare(withLayout(inner, Layout::Open), withLayout(outer, Layout::Open));
    for (Layout la : {Layout::Open, Layout::Closed, Layout::Padded})
        for (Layout lb : {Layout::Open, Layout::Closed, Layout::Padded}) {
            const Polyline pa = la == Layout::Closed ? inner : withLayout(circle(30, 30, 9, 90, Layout::Open), la);
            const Polyline pb = lb == Layout::Closed ? outer : withLayout(circle(30, 30, 11, 90, Layout::Open), lb);
            const CurveDistance d = compare(pa, pb);
            ASSERT_EQ(d.distancesAB.size(), reference.distancesAB.size());
            ASSERT_EQ(d.distancesBA.size(), reference.distancesBA.size());
            const auto ab = rotated(reference.distancesAB, CurveDistance::skipCount(pa.x, pa.y));
            const auto ba = rotated(reference.distancesBA, CurveDistance::skipCount(pb.x, pb.y));
            for (std::size_t i = 0; i < d.distancesAB.size(); ++i)
                EXPECT_NEAR(d.distancesAB[i], ab[i], 1e-12);
            for (std::size_t i = 0; i < d.distancesBA.size(); ++i)
                EXPECT_NEAR(d.distancesBA[i], ba[i], 1e-12);
            EXPECT_NEAR(d.hausdorff, 2.0, 1e-12);
            EXPECT_NEAR(d.meanDistance, reference.meanDistance, 1e-12);
            EXPECT_NEAR(d.percentile95, reference.percentile95, 1e-12);
        }
}

TEST(CurveDistance, CurvesWithoutCountingVertices)
{
    const Polyline onePoint{{3.0}, {4.0}};
    const Polyline twoPoints{{0.0, 10.0}, {0.0, 0.0}};
    const Polyline triangle{{0.0, 10.0, 5.0}, {0.0, 0.0, 5.0}};

    // Against a one-point curve: no list for it, nothing measurable for the
    // other side (only zero-length segments there).
    CurveDistance d = compare(triangle, onePoint);
    EXPECT_TRUE(d.distancesBA.empty());
    ASSERT_EQ(d.distancesAB.size(), 3u);
    for (double v : d.distancesAB)
        EXPECT_EQ(v, kLargest);
    EXPECT_EQ(d.hausdorff, -1.0);
    EXPECT_EQ(d.percentile95, -1.0);
    EXPECT_EQ(d.meanDistance, -1.0);
    EXPECT_EQ(d.computeHausdorff(), kSmallestNormal);
    EXPECT_EQ(d.hausdorff, kSmallestNormal);

    // A two-point target is measured to its segment where the foot falls
    // strictly inside it.
    d = compare(Polyline{{5.0, 20.0, 5.0}, {3.0, 3.0, 3.0}}, twoPoints);
    EXPECT_TRUE(d.distancesBA.empty());
    ASSERT_EQ(d.distancesAB.size(), 2u);
    EXPECT_EQ(d.distancesAB[0], kLargest);    // (20, 3): foot beyond the segment's end
    EXPECT_DOUBLE_EQ(d.distancesAB[1], 3.0);  // (5, 3): foot inside
}

TEST(CurveDistance, PercentileIndex)
{
    struct Case {
        std::size_t ab, ba, index;
    } cases[] = {{1, 1, 1}, {10, 10, 19}, {10, 11, 19}, {20, 20, 38}, {1, 99, 95}};
    for (const Case& c : cases) {
        CurveDistance d;
        // Distances 1, 2, ... spread over both lists in reverse, so sorting
        // matters; no coordinates, so the mean stays not computed.
        std::size_t total = c.ab + c.ba;
        for (std::size_t i = 0; i < c.ab; ++i)
            d.distancesAB.push_back(static_cast<double>(total - i));
        for (std::size_t i = 0; i < c.ba; ++i)
            d.distancesBA.push_back(static_cast<double>(total - c.ab - i));
        d.computeStatistics();
        EXPECT_EQ(d.percentile95, static_cast<double>(c.index + 1)) << c.ab << "+" << c.ba;
        EXPECT_EQ(d.hausdorff, static_cast<double>(total));
        EXPECT_EQ(d.meanDistance, -1.0);
    }
}

TEST(CurveDistance, RefinementWrapsAroundTheStart)
{
    // The closest point lies on a segment reached only through a negative
    // index: the closing segment (last point back to point 0) of an open
    // target whose nearest vertex is index 0 or 1.
    struct Case {
        const char* name;
        Polyline to;
        double px, py, expected;
    } cases[] = {
        {"nearest vertex 0", {{0, 10, 10, 0}, {0, 0, 10, 10}}, -1.0, 3.0, 1.0},
        {"nearest vertex 1", {{0, -3, -3, 0}, {0, 10, 30, 20}}, -0.5, 10.0, 0.5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<double> out;
        CurveDistance::directedDistances({c.px, c.px + 100.0, c.px + 50.0}, {c.py, c.py, c.py + 50.0}, c.to.x,
                                         c.to.y, out);
        ASSERT_EQ(out.size(), 3u);
        EXPECT_DOUBLE_EQ(out[0], c.expected);
        EXPECT_DOUBLE_EQ(out[0], bruteDistance(c.px, c.py, c.to));
    }
}

TEST(CurveDistance, LocalRefinementMissesFarSegments)
{
    // The truly closest point of (50, 4) lies on the long first segment
    // (0, 0)-(100, 0), but the nearest vertex is (50, 10), far along the
    // polyline from it: only the five segments around that vertex are
    // examined, none of them closer than the vertex itself.
    const Polyline to{{0, 100, 100, 80, 60, 55, 50, 45, 40, 20, 0}, {0, 0, 30, 30, 30, 30, 10, 30, 30, 30, 30}};
    std::vector<double> out;
    CurveDistance::directedDistances({50.0, 0.0, 10.0}, {4.0, 90.0, 90.0}, to.x, to.y, out);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_DOUBLE_EQ(out[0], 6.0);
    EXPECT_DOUBLE_EQ(bruteDistance(50.0, 4.0, to), 4.0);
}

TEST(CurveDistance, DenseCurvesMatchTheTrueDistance)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> jitter(-0.05, 0.05);
    for (int trial = 0; trial < 4; ++trial) {
        // Open layouts: the wrap-around then adds exactly the closing
        // segment, and on dense smooth curves the five segments around the
        // nearest vertex always hold the closest point.
        Polyline a = circle(40, 40, 15 + trial, 300, Layout::Open, 0.01 * trial);
        Polyline b = circle(41, 39.5, 13, 280, Layout::Open);
        for (std::size_t i = 0; i < b.x.size(); ++i) {
            b.x[i] += jitter(rng);
            b.y[i] += jitter(rng);
        }
        const CurveDistance d = compare(a, b);
        const std::size_t ga = CurveDistance::skipCount(a.x, a.y);
        for (std::size_t v = ga; v < a.x.size(); ++v)
            EXPECT_NEAR(d.distancesAB[v - ga], bruteDistance(a.x[v], a.y[v], b), 1e-12);
        const std::size_t gb = CurveDistance::skipCount(b.x, b.y);
        for (std::size_t v = gb; v < b.x.size(); ++v)
            EXPECT_NEAR(d.distancesBA[v - gb], bruteDistance(b.x[v], b.y[v], a), 1e-12);
    }
}

TEST(CurveDistance, ComputeCurveDistancesOnCurves)
{
    const auto toCurve = [](const Polyline& p) {
        UI::Curve c;
        std::vector<Point2D> points;
        for (std::size_t i = 0; i < p.x.size(); ++i)
            points.push_back({p.x[i], p.y[i]});
        c.setPoints(points);
        return c;
    };
    double mean = 0, hausdorff = 0, p95 = 0;
    computeCurveDistances(toCurve(square(0, 0, 10, 1)), toCurve(square(-1, -1, 12, 1)), mean, hausdorff, p95);
    EXPECT_DOUBLE_EQ(hausdorff, std::sqrt(2.0));
    EXPECT_DOUBLE_EQ(p95, std::sqrt(2.0));
    EXPECT_DOUBLE_EQ(mean, (40.0 + 48.0 * std::sqrt(2.0)) / 88.0);

    // A one-point curve gives nothing to compute.
    UI::Curve single;
    single.setPoints({{1.0, 1.0}});
    computeCurveDistances(single, toCurve(square(0, 0, 10, 1)), mean, hausdorff, p95);
    EXPECT_EQ(mean, -1.0);
    EXPECT_EQ(hausdorff, -1.0);
    EXPECT_EQ(p95, -1.0);
}

TEST(CurveDistance, SingleVertexRingsLeaveTheMeanNotComputed)
{
    // Two equal points make a ring of one vertex with no length.
    const CurveDistance d = compare(Polyline{{1.0, 1.0}, {1.0, 1.0}}, Polyline{{4.0, 4.0}, {5.0, 5.0}});
    ASSERT_EQ(d.distancesAB.size(), 1u);
    ASSERT_EQ(d.distancesBA.size(), 1u);
    EXPECT_DOUBLE_EQ(d.hausdorff, 5.0);
    EXPECT_EQ(d.meanDistance, -1.0);
}

namespace {

// The nearest-vertex search as a plain scan over every counting vertex,
// then the same five-segment refinement: the reference the accelerated
// search must reproduce bit for bit.
std::vector<double> scanDistances(const Polyline& from, const Polyline& to)
{
    const std::size_t n = from.x.size();
    const std::size_t g = CurveDistance::skipCount(from.x, from.y);
    const std::size_t m = to.x.size();
    const std::size_t l = CurveDistance::skipCount(to.x, to.y);
    std::vector<double> out;
    std::size_t t = 0;
    for (std::size_t v = g; v < n; ++v) {
        const double px = from.x[v], py = from.y[v];
        double best = kLargest;
        for (std::size_t j = l; j < m; ++j) {
            const double dx = px - to.x[j], dy = py - to.y[j];
            const double d = std::sqrt(dx * dx + dy * dy);
            if (d < best) {
                best = d;
                t = j;
            }
        }
        for (long k = static_cast<long>(t) - 3; k <= static_cast<long>(t) + 1; ++k) {
            const long mm = static_cast<long>(m);
            const auto s = static_cast<std::size_t>((k % mm + mm) % mm);
            const std::size_t e = (s + 1) % m;
            const double ex = to.x[e] - to.x[s], ey = to.y[e] - to.y[s];
            const double len2 = ex * ex + ey * ey;
            if (!(len2 > 0.0))
                continue;
            const double u = ((px - to.x[s]) * ex + (py - to.y[s]) * ey) / len2;
            if (u > 0.0 && u < 1.0) {
                const double dx = px - (to.x[s] + u * ex), dy = py - (to.y[s] + u * ey);
                best = std::min(best, std::sqrt(dx * dx + dy * dy));
            }
        }
        out.push_back(best);
    }
    return out;
}

} // namespace

TEST(CurveDistance, LargeCurvesGiveExactlyTheResultOfTheFullScan)
{
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> jitter(-0.3, 0.3);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();

    struct Case {
        const char* name;
        Polyline from, to;
    };
    std::vector<Case> cases;
    {
        Polyline a = circle(300, 200, 120, 900, Layout::Padded);
        Polyline b = circle(305, 198, 118, 1100, Layout::Open);
        for (std::size_t i = 0; i < b.x.size(); ++i) {
            b.x[i] += jitter(rng);
            b.y[i] += jitter(rng);
        }
        cases.push_back({"wobbly circles", a, b});
        cases.push_back({"wobbly circles, reversed", b, a});
    }
    {
        // Integer lattice in raster order, queried at half-integer points:
        // four vertices at exactly the same distance, the first must win.
        Polyline lattice, queries;
        for (int r = 0; r < 30; ++r)
            for (int c = 0; c < 30; ++c) {
                lattice.x.push_back(c);
                lattice.y.push_back(r);
                queries.x.push_back(c + 0.5);
                queries.y.push_back(29 - r + 0.5);
            }
        cases.push_back({"ties on a lattice", queries, lattice});
        cases.push_back({"lattice against itself", lattice, lattice});
    }
    {
        // Repeated vertices (ties at zero and above), a straight target with
        // no height, and one with every point equal.
        Polyline repeated = circle(0, 0, 50, 200, Layout::Open);
        Polyline copy = repeated;
        repeated.x.insert(repeated.x.end(), copy.x.begin(), copy.x.end());
        repeated.y.insert(repeated.y.end(), copy.y.begin(), copy.y.end());
        cases.push_back({"repeated vertices", circle(1, 0, 49, 300, Layout::Open), repeated});
        Polyline line;
        for (int i = 0; i < 400; ++i) {
            line.x.push_back(-20.0 + 0.25 * i);
            line.y.push_back(7.0);
        }
        cases.push_back({"straight target", circle(5, 6, 30, 250, Layout::Open), line});
        Polyline same{std::vector<double>(100, 2.0), std::vector<double>(100, 3.0)};
        same.x[0] = 2.5;  // open, so nothing is skipped
        cases.push_back({"all points equal", circle(0, 0, 10, 100, Layout::Open), same});
    }
    {
        // Far, non-finite and huge queries between ordinary ones: the
        // nearest index of a query that finds nothing carries over.
        Polyline wild = circle(0, 0, 20, 120, Layout::Open);
        wild.x[10] = nan;
        wild.x[11] = 1e7;
        wild.y[20] = inf;
        wild.x[30] = -5e5;
        wild.y[31] = 1e200;
        wild.x[40] = 1e300;
        cases.push_back({"wild queries", wild, circle(0, 0, 21, 150, Layout::Padded)});
        Polyline wildTarget = circle(0, 0, 21, 150, Layout::Open);
        wildTarget.x[5] = nan;
        cases.push_back({"non-finite target", circle(0, 0, 20, 120, Layout::Open), wildTarget});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<double> out;
        CurveDistance::directedDistances(c.from.x, c.from.y, c.to.x, c.to.y, out);
        const std::vector<double> reference = scanDistances(c.from, c.to);
        ASSERT_EQ(out.size(), reference.size());
        for (std::size_t i = 0; i < out.size(); ++i)
            ASSERT_EQ(out[i], reference[i]) << "vertex " << i;
    }
}

