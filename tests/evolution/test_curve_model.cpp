#include "ClosedCurveFixtures.h"

#include "evolution/CurveEvolutionModel.h"
#include "evolution/CurveMath.h"
#include "evolution/EvolvingCurve.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

using namespace ClosedCurveFixtures;

TEST(CurveMath, SignumAndPointDistance)
{
    struct Case {
        double v, expected;
    } cases[] = {{2.5, 1.0}, {1e-300, 1.0}, {0.0, 0.0}, {-0.0, 0.0}, {-3.0, -1.0},
                 {std::numeric_limits<double>::quiet_NaN(), -1.0}};
    for (const Case& c : cases)
        EXPECT_EQ(signum(c.v), c.expected) << c.v;
    EXPECT_DOUBLE_EQ(pointDistance(1, 2, 4, 6), 5.0);
    EXPECT_DOUBLE_EQ(pointDistance(-1, -1, -1, -1), 0.0);
}

TEST(EvolvingCurve, ComputeSegmentsDropsRepeatedPointsAndKeepsThePadding)
{
    // Square of side 2 (counter-clockwise, y up) with repeats: point 2 equal
    // to point 1, and the last point equal to its predecessor.
    const std::vector<Point2D> pts{{0, 0}, {0, 0}, {2, 0}, {2, 2}, {0, 2}, {0, 2}, {0, 0}};
    EvolvingCurve c = padded(pts);
    c.computeSegments();
    EXPECT_EQ(c.pointCount(), 4);
    EXPECT_EQ(c.layoutFault(4), "");
    EXPECT_DOUBLE_EQ(c.length, 8.0);
    for (int i = 1; i <= 4; ++i)
        EXPECT_DOUBLE_EQ(c.segmentLength[i], 2.0) << i;
    EXPECT_DOUBLE_EQ(c.signedArea(), 4.0);

    // Point 1 equal to point n (entry 0): the padded copy at the end must
    // follow the new point 1.
    EvolvingCurve d;
    d.x = {0, 0, 0, 2, 2, 0, 0};
    d.y = {2, 2, 0, 0, 2, 2, 2};
    d.repad();
    d.computeSegments();
    EXPECT_EQ(d.pointCount(), 4);
    EXPECT_EQ(d.layoutFault(4), "");
    EXPECT_DOUBLE_EQ(d.length, 8.0);
}

TEST(CurveEvolutionModel, PeriodicSolveMatchesADenseSolve)
{
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (int n : {3, 4, 7, 40}) {
        CurveEvolutionModel m;
        m.curve.x.assign(n + 2, 0.0);
        m.curve.y.assign(n + 2, 0.0);
        m.rows.resize(n + 2);
        m.rightHandSide.resize(n + 2);
        std::vector<std::vector<double>> dense(n, std::vector<double>(n, 0.0));
        std::vector<double> rhs(n);
        for (int i = 1; i <= n; ++i) {
            auto& row = m.rows[i];
            row.a = u(rng);
            row.c = u(rng);
            row.b = 3.0 + u(rng);
            m.rightHandSide[i] = rhs[i - 1] = 10.0 * u(rng);
            const int r = i - 1;
            dense[r][(r + n - 1) % n] += row.a;
            dense[r][r] += row.b;
            dense[r][(r + 1) % n] += row.c;
        }
        m.solvePeriodicTridiagonal(0);

        // Gaussian elimination with partial pivoting.
        for (int k = 0; k < n; ++k) {
            int p = k;
            for (int i = k + 1; i < n; ++i)
                if (std::fabs(dense[i][k]) > std::fabs(dense[p][k]))
                    p = i;
            std::swap(dense[k], dense[p]);
            std::swap(rhs[k], rhs[p]);
            for (int i = k + 1; i < n; ++i) {
                const double f = dense[i][k] / dense[k][k];
                for (int j = k; j < n; ++j)
                    dense[i][j] -= f * dense[k][j];
                rhs[i] -= f * rhs[k];
            }
        }
        std::vector<double> solution(n);
        for (int k = n - 1; k >= 0; --k) {
            double s = rhs[k];
            for (int j = k + 1; j < n; ++j)
                s -= dense[k][j] * solution[j];
            solution[k] = s / dense[k][k];
        }
        for (int i = 1; i <= n; ++i)
            EXPECT_NEAR(m.curve.x[i], solution[i - 1], 1e-12) << "n " << n << " i " << i;
    }
}

TEST(CurveEvolutionModel, CircleCurvatureNormalsAndRegularPolygon)
{
    // A regular polygon (positive area) under a uniform expanding map: k is
    // about 1/R everywhere, no tangential motion, and every point moves
    // outward by tau along its normal.
    const int w = 100, h = 100;
    const auto zero = image(w, h, 0.0f);
    const auto one = image(w, h, 1.0f);
    const double radius = 20.0;
    CurveEvolutionModel m;
    m.curve = padded(circle(50, 50, radius, 250));
    m.lambda = 0.0;
    m.curvatureInfluence = 0.0;
    m.tau = 0.1;
    m.advance(zero.data(), zero.data(), one.data(), w, h, false);
    const int n = m.curve.pointCount();
    ASSERT_EQ(n, 250);
    for (int i = 1; i <= n; ++i) {
        EXPECT_NEAR(m.curvature[i], 1.0 / radius, 1e-4) << i;
        EXPECT_NEAR(m.tangentialVelocity[i], 0.0, 1e-9) << i;
        EXPECT_EQ(m.vertexFlag[i], 2);
        EXPECT_NEAR(std::hypot(m.curve.x[i] - 50, m.curve.y[i] - 50), radius + 0.1, 1e-3) << i;
    }
    EXPECT_EQ(m.curve.layoutFault(250), "");
}

TEST(CurveEvolutionModel, VertexFlagsAndCollinearPoints)
{
    // Right-angle corners are sharp vertices (flag 1); a point in the middle
    // of a straight edge is smooth (flag 2) with zero curvature beside it.
    const int w = 50, h = 50;
    const auto zero = image(w, h, 0.0f);
    CurveEvolutionModel m;
    // Points 1 ... 6; segments 2, 3 and 4 lie on the bottom edge.
    m.curve = padded({{10, 10}, {13, 10}, {16, 10}, {20, 10}, {20, 20}, {10, 20}, {10, 10}});
    m.advance(zero.data(), zero.data(), nullptr, w, h, true);
    EXPECT_EQ(m.curvature[3], 0.0);
    EXPECT_NEAR(m.curvature[2], 0.5 * (kPi / 2) / 3.0, 1e-12);  // between the left and the bottom edge
    m.advance(zero.data(), zero.data(), nullptr, w, h, false);
    EXPECT_EQ(m.vertexFlag[1], 1);  // (10, 10) corner
    EXPECT_EQ(m.vertexFlag[2], 2);  // (13, 10) between collinear segments
    EXPECT_EQ(m.vertexFlag[3], 2);
    EXPECT_EQ(m.vertexFlag[4], 1);  // (20, 10) corner
    EXPECT_EQ(m.vertexFlag[6], 1);  // (10, 20) corner
}

TEST(CurveEvolutionModel, PointsOnTheImageBorderSeeNoField)
{
    // x = 0 counts as outside: E = 0 and, with a map, F = 0 as well.
    const int w = 40, h = 40;
    const auto zero = image(w, h, 0.0f);
    const auto one = image(w, h, 1.0f);
    CurveEvolutionModel m;
    m.curvatureInfluence = 0.5;
    m.curve = padded({{0, 10}, {0, 5}, {5, 5}, {5, 10}, {0, 10}});
    m.advance(zero.data(), zero.data(), one.data(), w, h, true);
    EXPECT_EQ(m.externalVelocity[1], 0.0);
    EXPECT_EQ(m.curvatureWeight[1], 0.0);
    EXPECT_EQ(m.externalVelocity[3], 1.0);
    EXPECT_EQ(m.curvatureWeight[3], 0.5);
}

TEST(CurveEvolutionModel, MeasuringLeavesThePointsAndOnlyRaisesTheMaximum)
{
    const int w = 100, h = 100;
    const auto zero = image(w, h, 0.0f);
    auto map = image(w, h, 0.5f);
    CurveEvolutionModel m;
    m.curve = padded(circle(50, 50, 10, 120));
    const std::vector<double> x0 = m.curve.x;
    m.maxNormalVelocity = std::numeric_limits<double>::min();
    m.advance(zero.data(), zero.data(), map.data(), w, h, true);
    EXPECT_EQ(m.curve.x, x0);
    EXPECT_NEAR(m.maxNormalVelocity, 0.5, 1e-12);
    std::fill(map.begin(), map.end(), 0.25f);
    m.advance(zero.data(), zero.data(), map.data(), w, h, true);
    EXPECT_NEAR(m.maxNormalVelocity, 0.5, 1e-12);
    // Only shrinking velocities: the maximum stays where it started.
    CurveEvolutionModel s;
    s.curve = padded(circle(50, 50, 10, 120));
    s.curvatureInfluence = 1.0;
    s.maxNormalVelocity = std::numeric_limits<double>::min();
    s.advance(zero.data(), zero.data(), nullptr, w, h, true);
    EXPECT_EQ(s.maxNormalVelocity, std::numeric_limits<double>::min());
}

TEST(CurveEvolutionModel, TangentialRedistributionEqualisesSpacing)
{
    // A circle whose points crowd on one side; no normal motion.
    const int w = 100, h = 100;
    const auto zero = image(w, h, 0.0f);
    std::vector<Point2D> pts;
    const int n = 80;
    for (int i = 0; i <= n; ++i) {
        const double t = static_cast<double>(i % n) / n;
        const double a = 2.0 * kPi * (t + 0.12 * std::sin(2.0 * kPi * t));
        pts.push_back({50 + 8 * std::cos(a), 50 + 8 * std::sin(a)});
    }
    CurveEvolutionModel m;
    m.curve = padded(pts);
    const auto spread = [](const EvolvingCurve& c) {
        EvolvingCurve copy = c;
        copy.computeSegments();
        const auto first = copy.segmentLength.begin() + 1;
        const auto last = copy.segmentLength.end() - 1;
        return *std::max_element(first, last) / *std::min_element(first, last);
    };
    const double before = spread(m.curve);
    const double area0 = m.curve.signedArea();
    ASSERT_GT(before, 3.0);
    for (int s = 0; s < 200; ++s)
        m.advance(zero.data(), zero.data(), nullptr, w, h, false);
    EXPECT_LT(spread(m.curve), 1.05);
    EXPECT_NEAR(m.curve.signedArea(), area0, 0.02 * area0);
}
