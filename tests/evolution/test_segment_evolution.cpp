// Open segment evolution between two fixed points: initial paths, the
// semi-implicit scheme (checked against the small-slope heat equation and on
// synthetic edges), the automatic stop and the degenerate inputs.

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

#include <gtest/gtest.h>

#include "analysis/CurveDistance.h"
#include "evolution/SegmentEvolution.h"

namespace {

constexpr double kPi = std::numbers::pi;

// A pair of row-major float fields of one size.
struct VectorField {
    int width = 0;
    int height = 0;
    std::vector<float> x;
    std::vector<float> y;

    VectorField(int w, int h, float fx = 0.0f, float fy = 0.0f)
        : width(w)
        , height(h)
        , x(static_cast<std::size_t>(w) * h, fx)
        , y(static_cast<std::size_t>(w) * h, fy)
    {
    }
};

// Central differences times 0.5 times scale, a missing neighbour replaced by
// the pixel itself (the convention of the feature images).
VectorField gradientOf(const std::vector<float>& image, int width, int height, double scale)
{
    VectorField g(width, height);
    for (int r = 0; r < height; ++r) {
        for (int c = 0; c < width; ++c) {
            const auto at = [&](int cc, int rr) { return image[static_cast<std::size_t>(rr) * width + cc]; };
            const float here = at(c, r);
            const float right = c + 1 < width ? at(c + 1, r) : here;
            const float left = c > 0 ? at(c - 1, r) : here;
            const float down = r + 1 < height ? at(c, r + 1) : here;
            const float up = r > 0 ? at(c, r - 1) : here;
            g.x[static_cast<std::size_t>(r) * width + c] = static_cast<float>((right - left) * 0.5 * scale);
            g.y[static_cast<std::size_t>(r) * width + c] = static_cast<float>((down - up) * 0.5 * scale);
        }
    }
    return g;
}

// The fields of the semi-automatic tracer for an image: the image gradient
// (direction field of the traced start) and the negated gradient of the edge
// detector 1 / (1 + K |grad I|^2), which points towards edges.
struct EdgeFields {
    VectorField direction;
    VectorField velocity;
};

EdgeFields edgeFieldsOf(const std::vector<float>& image, int width, int height, double k)
{
    VectorField grad = gradientOf(image, width, height, 1.0);
    std::vector<float> detector(image.size());
    for (std::size_t i = 0; i < image.size(); ++i)
        detector[i] = static_cast<float>(1.0 / (1.0 + k * (grad.x[i] * grad.x[i] + grad.y[i] * grad.y[i])));
    return EdgeFields{std::move(grad), gradientOf(detector, width, height, -1.0)};
}

// A smooth step across the horizontal line y = edgeY; pixel row r covers
// [r, r + 1) and is sampled at its centre.
std::vector<float> horizontalEdgeImage(int width, int height, double edgeY, double halfWidth)
{
    std::vector<float> image(static_cast<std::size_t>(width) * height);
    for (int r = 0; r < height; ++r)
        for (int c = 0; c < width; ++c)
            image[static_cast<std::size_t>(r) * width + c] =
                static_cast<float>(50.0 * (1.0 + std::tanh((r + 0.5 - edgeY) / halfWidth)));
    return image;
}

// A bright disc of the given radius with a smooth rim.
std::vector<float> discImage(int width, int height, double cx, double cy, double radius, double halfWidth)
{
    std::vector<float> image(static_cast<std::size_t>(width) * height);
    for (int r = 0; r < height; ++r)
        for (int c = 0; c < width; ++c) {
            const double d = std::hypot(c + 0.5 - cx, r + 0.5 - cy);
            image[static_cast<std::size_t>(r) * width + c] =
                static_cast<float>(50.0 * (1.0 - std::tanh((d - radius) / halfWidth)));
        }
    return image;
}

std::vector<Point2D> pointsOf(const SegmentEvolution& s)
{
    std::vector<Point2D> out;
    for (std::size_t i = 0; i < s.x.size(); ++i)
        out.push_back({s.x[i], s.y[i]});
    return out;
}

double segmentLengthAt(const std::vector<Point2D>& p, std::size_t i)
{
    return std::hypot(p[i].x - p[i - 1].x, p[i].y - p[i - 1].y);
}

bool allFinite(const std::vector<Point2D>& p)
{
    return std::all_of(p.begin(), p.end(), [](const Point2D& q) { return std::isfinite(q.x) && std::isfinite(q.y); });
}

void setPolyline(SegmentEvolution& s, const std::vector<Point2D>& p)
{
    s.x.clear();
    s.y.clear();
    for (const auto& q : p) {
        s.x.push_back(q.x);
        s.y.push_back(q.y);
    }
}

// Points x = x0 + i, y = y0 + amplitude * sin(pi i / n), i = 0 ... n.
std::vector<Point2D> sineBump(double x0, double y0, int n, double amplitude)
{
    std::vector<Point2D> p;
    for (int i = 0; i <= n; ++i)
        p.push_back({x0 + i, y0 + amplitude * std::sin(kPi * i / n)});
    return p;
}

} // namespace

// ------------------------------------------------------------ construction

TEST(SegmentEvolutionConstruction, DefaultsAndEmptyArrays)
{
    SegmentEvolution s;
    EXPECT_EQ(s.velocityWeight, 1.0);
    EXPECT_EQ(s.redistributionWeight, 10.0);
    EXPECT_EQ(s.tau, 0.1);
    EXPECT_TRUE(s.x.empty());
    EXPECT_TRUE(s.previousX.empty());
    EXPECT_TRUE(s.segmentLength.empty());
    EXPECT_TRUE(s.rows.empty());

    s.x.assign(7, 1.0);
    s.y.assign(7, 1.0);
    s.resizeWorkData();
    for (const auto* v : {&s.segmentLength, &s.segmentDx, &s.segmentDy, &s.curvature, &s.tangentialVelocity,
                          &s.normalVelocity, &s.externalVelocity, &s.solution, &s.solutionY, &s.rightHandSide,
                          &s.rightHandSideY, &s.eliminatedUpper})
        EXPECT_EQ(v->size(), 7u);
    EXPECT_EQ(s.upwind.size(), 7u);
    EXPECT_EQ(s.rows.size(), 7u);
}

// ---------------------------------------------------------- initial paths

TEST(SegmentEvolutionStart, EndsWithinTwoStepsGiveTheTwoEndPoints)
{
    const VectorField field(64, 64, 0.3f, -0.2f);
    struct Case {
        double step;
        double x0, y0, x1, y1;
    };
    const Case cases[] = {
        {1.0, 10.0, 10.0, 12.0, 10.0},  // exactly 2 x step
        {1.0, 10.0, 10.0, 11.0, 11.0},
        {5.0, 3.5, 7.25, 10.5, 7.25},
        {1.0, 20.0, 20.0, 20.0, 20.0},  // the same point twice
    };
    for (const auto& c : cases) {
        for (const bool straight : {true, false}) {
            SegmentEvolution s;
            const auto p = s.segmentBetweenPoints(c.step, straight, c.x0, c.x1, c.y0, c.y1, field.x.data(),
                                                  field.y.data(), field.x.data(), field.y.data(), 64, 64, 0.3,
                                                  true, true);
            ASSERT_EQ(p.size(), 2u);
            EXPECT_EQ(p[0], (Point2D{c.x0, c.y0}));
            EXPECT_EQ(p[1], (Point2D{c.x1, c.y1}));
        }
    }
}

TEST(SegmentEvolutionStart, StraightStartIsEvenlySpaced)
{
    const VectorField field(200, 200);
    struct Case {
        double distance;
        double step;
        std::size_t count;
    };
    const Case cases[] = {
        {10.0, 1.0, 11u},    // int(11.5)
        {10.0, 3.0, 5u},     // int(3.83) raised to the minimum of 5
        {100.0, 0.5, 203u},  // int(203)
    };
    for (const auto& c : cases) {
        SegmentEvolution s;
        const double x0 = 30.25;
        const double y0 = 40.5;
        const double x1 = x0 + c.distance * 0.6;
        const double y1 = y0 + c.distance * 0.8;
        const auto p = s.segmentBetweenPoints(c.step, true, x0, x1, y0, y1, field.x.data(), field.y.data(),
                                              field.x.data(), field.y.data(), 200, 200, 0.3, false, false);
        ASSERT_EQ(p.size(), c.count) << c.distance << " / " << c.step;
        EXPECT_EQ(p.front(), (Point2D{x0, y0}));
        EXPECT_EQ(p.back(), (Point2D{x1, y1}));
        const double spacing = c.distance / static_cast<double>(c.count - 1);
        for (std::size_t i = 0; i < p.size(); ++i) {
            EXPECT_NEAR(p[i].x, x0 + 0.6 * spacing * i, 1e-9);
            EXPECT_NEAR(p[i].y, y0 + 0.8 * spacing * i, 1e-9);
        }
    }
}

TEST(SegmentEvolutionStart, UnusableStepOrCoordinatesGiveTheTwoEndPoints)
{
    const VectorField field(64, 64, 1.0f, 1.0f);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (const double step : {0.0, -1.0, -0.0, nan, inf, -inf}) {
        for (const bool straight : {true, false}) {
            SegmentEvolution s;
            const auto p = s.segmentBetweenPoints(step, straight, 5.0, 50.0, 5.0, 40.0, field.x.data(),
                                                  field.y.data(), field.x.data(), field.y.data(), 64, 64, 0.3,
                                                  true, true);
            ASSERT_EQ(p.size(), 2u) << step;
            EXPECT_EQ(p[0], (Point2D{5.0, 5.0}));
            EXPECT_EQ(p[1], (Point2D{50.0, 40.0}));

            s.traceGradientPath(field.x.data(), field.y.data(), 64, 64, 5.0, 50.0, 5.0, 40.0, step);
            EXPECT_EQ(pointsOf(s), (std::vector<Point2D>{{5.0, 5.0}, {50.0, 40.0}}));
        }
    }
    SegmentEvolution s;
    const auto p = s.segmentBetweenPoints(1.0, true, nan, 50.0, 5.0, 40.0, field.x.data(), field.y.data(),
                                          field.x.data(), field.y.data(), 64, 64, 0.3, true, true);
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(p[1], (Point2D{50.0, 40.0}));
}

TEST(SegmentEvolutionStart, TinyStepIsBoundedByThePathLimit)
{
    const VectorField field(64, 64);
    SegmentEvolution s;
    const auto p = s.segmentBetweenPoints(1e-300, true, 1.0, 60.0, 2.0, 3.0, field.x.data(), field.y.data(),
                                          field.x.data(), field.y.data(), 64, 64, 0.3, false, false);
    ASSERT_EQ(p.size(), static_cast<std::size_t>(SegmentEvolution::kMaxPathPoints));
    EXPECT_EQ(p.front(), (Point2D{1.0, 2.0}));
    EXPECT_EQ(p.back(), (Point2D{60.0, 3.0}));
}

TEST(SegmentEvolutionStart, TracedPathWithoutFieldIsStraightAndEndsExactly)
{
    // No direction field (and a weak one) leave only the pull towards the end.
    const VectorField none(100, 100);
    const VectorField weak(100, 100, 0.01f, 0.015f);
    for (const auto* field : {&none, &weak}) {
        SegmentEvolution s;
        const double step = 1.5;
        s.traceGradientPath(field->x.data(), field->y.data(), 100, 100, 10.2, 80.9, 20.1, 55.3, step);
        const auto p = pointsOf(s);
        ASSERT_GE(p.size(), 3u);
        EXPECT_EQ(p.front(), (Point2D{10.2, 20.1}));
        EXPECT_EQ(p.back(), (Point2D{80.9, 55.3}));
        const double ux = (80.9 - 10.2) / std::hypot(80.9 - 10.2, 55.3 - 20.1);
        const double uy = (55.3 - 20.1) / std::hypot(80.9 - 10.2, 55.3 - 20.1);
        for (std::size_t i = 1; i + 1 < p.size(); ++i) {
            EXPECT_NEAR(segmentLengthAt(p, i), step, 1e-9);
            // On the line through both ends.
            EXPECT_NEAR((p[i].x - 10.2) * uy - (p[i].y - 20.1) * ux, 0.0, 1e-9);
        }
        // The first point within one step of the end is replaced by the end.
        EXPECT_GT(segmentLengthAt(p, p.size() - 1), step);
        EXPECT_LE(segmentLengthAt(p, p.size() - 1), 2.0 * step);
        EXPECT_EQ(p.size(), static_cast<std::size_t>(std::ceil(std::hypot(70.7, 35.2) / step)));
    }
}

TEST(SegmentEvolutionStart, TracedPathFollowsACurvedEdge)
{
    // Two points a quarter turn apart on the rim of a disc: the traced path
    // keeps to the rim instead of the chord, which passes 12 px inside it.
    const int size = 200;
    const double cx = 100.0, cy = 100.0, radius = 40.0;
    const EdgeFields f = edgeFieldsOf(discImage(size, size, cx, cy, radius, 2.0), size, size, 0.05);
    const double x0 = cx + radius, y0 = cy;
    const double x1 = cx, y1 = cy + radius;

    SegmentEvolution s;
    s.traceGradientPath(f.direction.x.data(), f.direction.y.data(), size, size, x0, x1, y0, y1, 1.0);
    const auto traced = pointsOf(s);
    ASSERT_GT(traced.size(), 55u);
    EXPECT_EQ(traced.back(), (Point2D{x1, y1}));
    for (const auto& q : traced)
        EXPECT_NEAR(std::hypot(q.x - cx, q.y - cy), radius, 1.5);

    SegmentEvolution e;
    const auto evolved =
        e.segmentBetweenPoints(1.0, false, x0, x1, y0, y1, f.velocity.x.data(), f.velocity.y.data(),
                               f.direction.x.data(), f.direction.y.data(), size, size, 0.3, true, true);
    ASSERT_GE(evolved.size(), 5u);
    EXPECT_EQ(evolved.front(), (Point2D{x0, y0}));
    EXPECT_EQ(evolved.back(), (Point2D{x1, y1}));
    for (const auto& q : evolved)
        EXPECT_NEAR(std::hypot(q.x - cx, q.y - cy), radius, 0.5);
}

TEST(SegmentEvolutionStart, TracedPathThatNeverArrivesIsCutAtThePathLimit)
{
    // A direction field that circles the end point with a slight inward lean:
    // following it settles on an orbit far outside one step from the end.
    const int size = 200;
    const double ex = 100.0, ey = 100.0;
    const double lean = 0.05;
    VectorField dir(size, size);
    for (int r = 0; r < size; ++r)
        for (int c = 0; c < size; ++c) {
            double vx = ex - (c + 0.5);
            double vy = ey - (r + 0.5);
            const double n = std::hypot(vx, vy);
            vx /= n;
            vy /= n;
            // Edge direction o = cos * tangent + sin * inward; stored as the
            // gradient (dirX, dirY) = (-o.y, o.x).
            const double ox = std::sqrt(1.0 - lean * lean) * vy + lean * vx;
            const double oy = -std::sqrt(1.0 - lean * lean) * vx + lean * vy;
            dir.x[static_cast<std::size_t>(r) * size + c] = static_cast<float>(-oy);
            dir.y[static_cast<std::size_t>(r) * size + c] = static_cast<float>(ox);
        }
    SegmentEvolution s;
    const double step = 4.0;
    s.traceGradientPath(dir.x.data(), dir.y.data(), size, size, ex - 20.0, ex, ey, ey, step);
    const auto p = pointsOf(s);
    ASSERT_EQ(p.size(), static_cast<std::size_t>(SegmentEvolution::kMaxPathPoints));
    EXPECT_EQ(p.back(), (Point2D{ex, ey}));
    for (std::size_t i = 0; i + 1 < p.size(); ++i)
        ASSERT_GT(std::hypot(p[i].x - ex, p[i].y - ey), step) << i;
}

TEST(SegmentEvolutionStart, TracerReadsNoFieldOffTheImage)
{
    // A strong diagonal field everywhere on a 50 x 50 image; both ends lie to
    // the right of it, where a row-major index would land in the next rows.
    const VectorField dir(50, 50, 3.0f, -3.0f);
    struct Case {
        double x0, y0, x1, y1;
    };
    const Case cases[] = {
        {55.0, 10.0, 90.0, 30.0},    // right of the image
        {-40.0, 10.0, -2.0, 30.0},   // left of it
        {-0.9, -30.0, 20.0, -5.0},   // above it (int(-0.9) would be column 0)
        {10.0, 55.0, 40.0, 80.0},    // below it
    };
    for (const auto& c : cases) {
        SegmentEvolution s;
        s.traceGradientPath(dir.x.data(), dir.y.data(), 50, 50, c.x0, c.x1, c.y0, c.y1, 1.0);
        const auto p = pointsOf(s);
        ASSERT_GE(p.size(), 10u);
        const double len = std::hypot(c.x1 - c.x0, c.y1 - c.y0);
        for (const auto& q : p)
            EXPECT_NEAR(((q.x - c.x0) * (c.y1 - c.y0) - (q.y - c.y0) * (c.x1 - c.x0)) / len, 0.0, 1e-9)
                << c.x0 << ", " << c.y0;
    }
}

// ------------------------------------------------------------- the scheme

TEST(SegmentEvolutionScheme, EndPointsNeverMove)
{
    const int size = 160;
    const EdgeFields f = edgeFieldsOf(horizontalEdgeImage(size, size, 80.0, 3.0), size, size, 0.05);
    struct Case {
        bool straight;
        bool autoStop;
        double x0, y0, x1, y1;
    };
    const Case cases[] = {
        {true, true, 10.3, 70.7, 140.9, 88.1},
        {true, false, 140.9, 88.1, 10.3, 70.7},
        {false, true, 20.01, 81.3, 150.77, 79.49},
        {false, false, 5.5, 150.25, 155.125, 3.75},
    };
    for (const auto& c : cases) {
        SegmentEvolution s;
        const auto p = s.segmentBetweenPoints(1.0, c.straight, c.x0, c.x1, c.y0, c.y1, f.velocity.x.data(),
                                              f.velocity.y.data(), f.direction.x.data(), f.direction.y.data(),
                                              size, size, 0.3, c.autoStop, true);
        ASSERT_GE(p.size(), 5u);
        EXPECT_EQ(p.front(), (Point2D{c.x0, c.y0}));
        EXPECT_EQ(p.back(), (Point2D{c.x1, c.y1}));
        EXPECT_TRUE(allFinite(p));
    }
}

TEST(SegmentEvolutionScheme, CircularArcCurvatureAndNormalVelocity)
{
    // A finely sampled arc of radius R with the angle growing (positive
    // signed area in pixel coordinates): the open scheme's curvature is -1/R
    // on every segment (the opposite sign of the closed scheme), the normal
    // (dy, -dx) points away from the centre, so a unit outward field gives
    // E = 1 and beta = k * curvatureWeight + 1.
    const int size = 200;
    const double cx = 100.0, cy = 100.0, radius = 50.0;
    VectorField outward(size, size);
    for (int r = 0; r < size; ++r)
        for (int c = 0; c < size; ++c) {
            const double dx = c - cx, dy = r - cy;
            const double n = std::hypot(dx, dy);
            outward.x[static_cast<std::size_t>(r) * size + c] = static_cast<float>(n > 0.0 ? dx / n : 0.0);
            outward.y[static_cast<std::size_t>(r) * size + c] = static_cast<float>(n > 0.0 ? dy / n : 0.0);
        }
    std::vector<Point2D> arc;
    const int n = 60;
    for (int i = 0; i <= n; ++i) {
        const double a = 0.2 + 1.5 * i / n;
        arc.push_back({cx + radius * std::cos(a), cy + radius * std::sin(a)});
    }
    SegmentEvolution s;
    s.curvatureWeight = 0.3;
    setPolyline(s, arc);
    s.evolve(outward.x.data(), outward.y.data(), size, size, 1, false, 100, 0.1);
    const std::size_t m = arc.size();
    for (std::size_t j = 1; j + 1 < m; ++j) {
        EXPECT_NEAR(s.curvature[j], -1.0 / radius, 1e-4 / radius) << j;
        // The pixel lookup truncates the position, hence the loose bound.
        EXPECT_NEAR(s.externalVelocity[j], 1.0, 0.02) << j;
        EXPECT_NEAR(s.normalVelocity[j], s.curvature[j] * 0.3 + (s.externalVelocity[j - 1] + s.externalVelocity[j]) / 2,
                    1e-12);
    }
    EXPECT_EQ(s.curvature[m - 1], 0.0);
    EXPECT_EQ(s.externalVelocity[0], 0.0);
    // One step moves the interior outwards, by about tau * (1 - 0.3 / R).
    for (std::size_t j = 2; j + 2 < m; ++j)
        EXPECT_NEAR(std::hypot(s.x[j] - cx, s.y[j] - cy) - radius, 0.1 * (1.0 - 0.3 / radius), 0.005) << j;
}

TEST(SegmentEvolutionScheme, SineBumpRelaxesLikeTheHeatEquation)
{
    // Without a field the interior moves by curvature only: a small bump
    // y = A sin(pi x / L) between fixed ends decays like exp(-eps (pi/L)^2 t).
    const VectorField field(200, 200);
    const int n = 40;
    const double amplitude = 1.0;
    for (const double eps : {0.5, 1.0}) {
        for (const int steps : {300, 1000}) {
            SegmentEvolution s;
            s.curvatureWeight = eps;
            setPolyline(s, sineBump(20.0, 100.0, n, amplitude));
            s.evolve(field.x.data(), field.y.data(), 200, 200, steps, false, 100, 0.1);
            ASSERT_EQ(s.x.size(), static_cast<std::size_t>(n + 1));
            const double t = steps * s.tau;
            const double expected = amplitude * std::exp(-eps * (kPi / n) * (kPi / n) * t);
            const double peak = s.y[n / 2] - 100.0;
            EXPECT_NEAR(peak, expected, 0.02 * amplitude) << "eps " << eps << " steps " << steps;
            // The shape stays a sine and the spacing stays even.
            for (int i = 0; i <= n; ++i) {
                EXPECT_NEAR(s.y[i] - 100.0, peak * std::sin(kPi * (s.x[i] - 20.0) / n), 0.01);
                EXPECT_NEAR(s.x[i], 20.0 + i, 0.05);
            }
        }
    }
}

TEST(SegmentEvolutionScheme, BowedStartSettlesOnAStepEdge)
{
    const int size = 120;
    const double edge = 60.0;
    const EdgeFields f = edgeFieldsOf(horizontalEdgeImage(size, size, edge, 3.0), size, size, 0.05);
    for (const double bow : {5.0, -5.0}) {
        SegmentEvolution s;
        s.curvatureWeight = 0.3;
        setPolyline(s, sineBump(20.0, edge, 80, bow));
        s.evolve(f.velocity.x.data(), f.velocity.y.data(), size, size, SegmentEvolution::kStepsWithAutoStop, true,
                 SegmentEvolution::kCheckInterval, SegmentEvolution::kStopThreshold);
        const auto p = pointsOf(s);
        ASSERT_GE(p.size(), 5u);
        for (const auto& q : p)
            EXPECT_NEAR(q.y, edge, 0.5) << "bow " << bow << " at x " << q.x;
    }
}

TEST(SegmentEvolutionScheme, StraightStartSettlesOnAStepEdge)
{
    // Ends on the edge, the straight start across a band off it: the evolved
    // segment lies on the edge.
    const int size = 120;
    const double edge = 60.0;
    const EdgeFields f = edgeFieldsOf(horizontalEdgeImage(size, size, edge, 3.0), size, size, 0.05);
    SegmentEvolution s;
    // A polyline leaving the edge by 4 px in its middle third.
    std::vector<Point2D> start;
    for (int i = 0; i <= 90; ++i)
        start.push_back({15.0 + i, edge + (i > 30 && i < 60 ? 4.0 : 0.0)});
    s.curvatureWeight = 0.3;
    setPolyline(s, start);
    s.evolve(f.velocity.x.data(), f.velocity.y.data(), size, size, 3000, true, 100, 0.1);
    for (const auto& q : pointsOf(s))
        EXPECT_NEAR(q.y, edge, 0.5) << "at x " << q.x;
}

TEST(SegmentEvolutionScheme, SpacingEqualises)
{
    // Points crowded towards one end of a straight line spread out evenly
    // without moving off the line.
    const VectorField field(200, 200);
    std::vector<Point2D> start;
    const int n = 30;
    for (int i = 0; i <= n; ++i) {
        const double t = static_cast<double>(i) / n;
        start.push_back({20.0 + 120.0 * t * t, 50.0 + 60.0 * t * t});
    }
    SegmentEvolution s;
    s.curvatureWeight = 0.3;
    setPolyline(s, start);
    s.evolve(field.x.data(), field.y.data(), 200, 200, 300, false, 100, 0.1);
    const auto p = pointsOf(s);
    ASSERT_EQ(p.size(), start.size());
    const double mean = std::hypot(120.0, 60.0) / n;
    for (std::size_t i = 1; i < p.size(); ++i)
        EXPECT_NEAR(segmentLengthAt(p, i), mean, 0.01 * mean) << i;
    for (const auto& q : p)
        EXPECT_NEAR((q.x - 20.0) * 60.0 - (q.y - 50.0) * 120.0, 0.0, 1e-6);
}

TEST(SegmentEvolutionScheme, PointsOffTheImageReadNoField)
{
    // A strong uniform field over the image moves any point that reads it; an
    // evenly spaced straight polyline off the image stays where it is.
    const VectorField field(50, 50, 4.0f, 4.0f);
    struct Case {
        double x0, y0, x1, y1;
    };
    const Case cases[] = {
        {55.0, 10.0, 95.0, 40.0},   // right: a row-major index would reach the next rows
        {-45.0, 5.0, -5.0, 45.0},   // left
        {-0.9, -40.0, -0.9, -2.0},  // int(-0.9) would be column 0
        {5.0, 50.0, 45.0, 90.0},    // below: at and beyond the last row
    };
    for (const auto& c : cases) {
        SegmentEvolution s;
        s.curvatureWeight = 0.3;
        std::vector<Point2D> start;
        for (int i = 0; i <= 20; ++i)
            start.push_back({c.x0 + (c.x1 - c.x0) * i / 20.0, c.y0 + (c.y1 - c.y0) * i / 20.0});
        setPolyline(s, start);
        s.evolve(field.x.data(), field.y.data(), 50, 50, 300, false, 100, 0.1);
        const auto p = pointsOf(s);
        ASSERT_EQ(p.size(), start.size());
        for (std::size_t i = 0; i < p.size(); ++i) {
            EXPECT_NEAR(p[i].x, start[i].x, 1e-9) << c.x0 << ", " << c.y0;
            EXPECT_NEAR(p[i].y, start[i].y, 1e-9) << c.x0 << ", " << c.y0;
        }
    }
    // The same polyline on the image does move.
    SegmentEvolution s;
    s.curvatureWeight = 0.3;
    setPolyline(s, sineBump(5.0, 25.0, 40, 0.0));
    s.evolve(field.x.data(), field.y.data(), 50, 50, 100, false, 100, 0.1);
    EXPECT_GT(std::abs(s.y[20] - 25.0), 1.0);
}

TEST(SegmentEvolutionScheme, UniformFieldBowsTheSegmentAlongItsNormal)
{
    // The normal of a left-to-right segment is (dy, -dx) = up the screen: a
    // field pointing up lifts the interior, one pointing down lowers it.
    for (const float fy : {-1.0f, 1.0f}) {
        const VectorField field(100, 100, 0.0f, fy);
        SegmentEvolution s;
        s.curvatureWeight = 0.3;
        setPolyline(s, sineBump(10.0, 50.0, 60, 0.0));
        s.evolve(field.x.data(), field.y.data(), 100, 100, 50, false, 100, 0.1);
        for (std::size_t i = 1; i + 1 < s.y.size(); ++i)
            EXPECT_GT((s.y[i] - 50.0) * fy, 0.0) << i;
        EXPECT_EQ(s.y.front(), 50.0);
        EXPECT_EQ(s.y.back(), 50.0);
    }
}

// --------------------------------------------------------- automatic stop

TEST(SegmentEvolutionStop, StopsAtTheFirstCheckWithinThresholdOfThePreviousCheck)
{
    // Oracle: the same polyline run in blocks of 100 steps without the stop,
    // each block's end compared with the previous block's end by the
    // Hausdorff distance of CurveDistance. The automatic stop must end at
    // the end of the first block closer than 0.1 px to its predecessor.
    const int size = 120;
    const double edge = 60.0;
    const EdgeFields f = edgeFieldsOf(horizontalEdgeImage(size, size, edge, 3.0), size, size, 0.05);
    const VectorField zero(size, size);

    std::vector<Point2D> crowded;  // uneven points on a straight line
    for (int i = 0; i <= 30; ++i) {
        const double t = i / 30.0;
        crowded.push_back({10.0 + 90.0 * t * t, 30.0 + 45.0 * t * t});
    }
    struct Case {
        const char* name;
        std::vector<Point2D> start;
        const VectorField* field;
        int expectedBlocks;  // -1: not fixed here
    };
    const std::vector<Case> cases = {
        // Moves far less than 0.1 px per block: stops at the first check.
        {"shallow bump", sineBump(10.0, 50.0, 40, 0.5), &zero, 1},
        // Moves 0.07 px in the first block: still below the threshold.
        {"slow bump", sineBump(10.0, 50.0, 40, 4.0), &zero, 1},
        // The points slide along the line by more than 0.1 px, but the
        // polyline stays where it is: no motion for the stop test either.
        {"sliding points", crowded, &zero, 1},
        // Decays by more than 0.1 px per block for a long while.
        {"tall bump", sineBump(10.0, 50.0, 40, 8.0), &zero, -1},
        // Moves onto an edge, then stops.
        {"bowed on edge", sineBump(20.0, edge, 80, 5.0), &f.velocity, -1},
    };
    for (const auto& c : cases) {
        SegmentEvolution oracle;
        oracle.curvatureWeight = 0.3;
        setPolyline(oracle, c.start);
        auto previous = c.start;
        int blocks = 0;
        while (blocks < SegmentEvolution::kStepsWithAutoStop / 100) {
            oracle.evolve(c.field->x.data(), c.field->y.data(), size, size, 100, false, 100, 0.1);
            ++blocks;
            const auto current = pointsOf(oracle);
            CurveDistance d;
            for (const auto& q : current) {
                d.ax.push_back(q.x);
                d.ay.push_back(q.y);
            }
            for (const auto& q : previous) {
                d.bx.push_back(q.x);
                d.by.push_back(q.y);
            }
            d.computeDistances();
            if (d.computeHausdorff() < 0.1)
                break;
            previous = current;
        }
        if (c.expectedBlocks > 0) {
            EXPECT_EQ(blocks, c.expectedBlocks) << c.name;
        } else {
            EXPECT_GT(blocks, 2) << c.name;
            EXPECT_LT(blocks, 30) << c.name;
        }

        SegmentEvolution s;
        s.curvatureWeight = 0.3;
        setPolyline(s, c.start);
        s.evolve(c.field->x.data(), c.field->y.data(), size, size, SegmentEvolution::kStepsWithAutoStop, true,
                 SegmentEvolution::kCheckInterval, SegmentEvolution::kStopThreshold);
        EXPECT_EQ(pointsOf(s), pointsOf(oracle)) << c.name << " after " << blocks << " blocks";
    }
}

TEST(SegmentEvolutionStop, WithoutAutoStopExactlyThreeHundredStepsRun)
{
    const int size = 120;
    const EdgeFields f = edgeFieldsOf(horizontalEdgeImage(size, size, 60.0, 3.0), size, size, 0.05);
    SegmentEvolution s;
    const auto p = s.segmentBetweenPoints(1.0, true, 10.0, 110.0, 52.0, 66.0, f.velocity.x.data(),
                                          f.velocity.y.data(), f.direction.x.data(), f.direction.y.data(), size,
                                          size, 0.3, false, true);
    const auto manual = [&](int steps) {
        SegmentEvolution m;
        m.segmentBetweenPoints(1.0, true, 10.0, 110.0, 52.0, 66.0, f.velocity.x.data(), f.velocity.y.data(),
                               f.direction.x.data(), f.direction.y.data(), size, size, 0.3, false, false);
        m.evolve(f.velocity.x.data(), f.velocity.y.data(), size, size, steps, false, 100, 0.1);
        return pointsOf(m);
    };
    EXPECT_EQ(p, manual(SegmentEvolution::kStepsWithoutAutoStop));
    EXPECT_NE(p, manual(SegmentEvolution::kStepsWithoutAutoStop - 1));
}

TEST(SegmentEvolutionStop, ReusedObjectStartsAFreshStopTest)
{
    // adjustCurve checks only at step 0. Were the last state of the previous
    // call kept, the second call on the same polyline would compare it with
    // itself, stop at once and return the polyline unevolved.
    const VectorField field(100, 100);
    const auto start = sineBump(10.0, 50.0, 40, 8.0);
    SegmentEvolution s;
    const auto first = s.adjustCurve(start, field.x.data(), field.y.data(), 100, 100, 0.3);
    ASSERT_NE(first, start);
    const auto second = s.adjustCurve(start, field.x.data(), field.y.data(), 100, 100, 0.3);
    EXPECT_EQ(second, first);

    // The same through segmentBetweenPoints: a reused object gives what a
    // fresh one gives.
    const int size = 120;
    const EdgeFields f = edgeFieldsOf(horizontalEdgeImage(size, size, 60.0, 3.0), size, size, 0.05);
    const auto segment = [&](SegmentEvolution& e) {
        return e.segmentBetweenPoints(1.0, true, 10.0, 110.0, 52.0, 66.0, f.velocity.x.data(), f.velocity.y.data(),
                                      f.direction.x.data(), f.direction.y.data(), size, size, 0.3, true, true);
    };
    SegmentEvolution fresh;
    const auto expected = segment(fresh);
    EXPECT_EQ(segment(fresh), expected);
}

// The semi-automatic tracer keeps one object for every mouse position and
// cancels traces that a newer position has made useless: whatever came
// before, longer or shorter, traced or straight, finished or cancelled, a
// reused object gives exactly what a fresh one gives.
TEST(SegmentEvolutionStop, ReusedObjectGivesWhatAFreshOneGivesAfterAnyCall)
{
    const int size = 160;
    const EdgeFields f = edgeFieldsOf(discImage(size, size, 80.0, 80.0, 45.0, 2.0), size, size, 0.05);
    const struct {
        const char* name;
        Point2D from;
        Point2D to;
        double step;
        bool straightStart;
        bool autoStop;
        bool cancelled;
    } calls[] = {
        {"long traced arc", {35.0, 80.0}, {80.0, 35.0}, 0.5, false, true, false},
        {"short straight chord", {35.0, 80.0}, {50.0, 50.0}, 1.0, true, false, false},
        {"cancelled long arc", {35.0, 80.0}, {125.0, 80.0}, 0.5, false, true, true},
        {"arc after a cancelled call", {35.0, 80.0}, {80.0, 125.0}, 0.5, false, true, false},
        {"the cancelled arc again", {35.0, 80.0}, {125.0, 80.0}, 0.5, false, true, false},
        {"fixed step count", {80.0, 35.0}, {125.0, 80.0}, 0.8, false, false, false},
    };
    const auto segment = [&](SegmentEvolution& e, const auto& c) {
        return e.segmentBetweenPoints(c.step, c.straightStart, c.from.x, c.to.x, c.from.y, c.to.y,
                                      f.velocity.x.data(), f.velocity.y.data(), f.direction.x.data(),
                                      f.direction.y.data(), size, size, 0.3, c.autoStop, true);
    };
    SegmentEvolution reused;
    const std::atomic<bool> stop{true};
    for (const auto& c : calls) {
        SCOPED_TRACE(c.name);
        reused.cancel = c.cancelled ? &stop : nullptr;
        const auto points = segment(reused, c);
        if (c.cancelled)
            continue;
        SegmentEvolution fresh;
        const auto expected = segment(fresh, c);
        ASSERT_GE(expected.size(), static_cast<std::size_t>(SegmentEvolution::kMinEvolvingPoints));
        EXPECT_EQ(points, expected);
    }
}

// ---------------------------------------------------------- adjustCurve

TEST(SegmentEvolutionAdjust, ShortPolylinesComeBackUnchanged)
{
    const VectorField field(100, 100, 2.0f, -3.0f);
    const std::vector<std::vector<Point2D>> polylines = {
        {},
        {{3.0, 4.0}},
        {{3.0, 4.0}, {30.0, 40.0}},
        {{10.0, 10.0}, {20.0, 30.0}, {40.0, 35.0}, {60.0, 10.0}},
    };
    for (const auto& polyline : polylines) {
        SegmentEvolution s;
        EXPECT_EQ(s.adjustCurve(polyline, field.x.data(), field.y.data(), 100, 100, 0.3), polyline);
    }
}

TEST(SegmentEvolutionAdjust, SmoothsAJaggedPolylineBetweenFixedEnds)
{
    const VectorField field(100, 100);
    std::vector<Point2D> jagged;
    for (int i = 0; i <= 40; ++i)
        jagged.push_back({10.0 + 2.0 * i, 50.0 + (i % 2 == 0 ? 0.0 : 3.0)});
    jagged.back().y = 50.0;
    SegmentEvolution s;
    const auto p = s.adjustCurve(jagged, field.x.data(), field.y.data(), 100, 100, 0.3);
    ASSERT_EQ(p.size(), jagged.size());
    EXPECT_EQ(p.front(), jagged.front());
    EXPECT_EQ(p.back(), jagged.back());
    // The zigzag of 3 px is mostly gone after the 100 steps.
    for (std::size_t i = 2; i + 2 < p.size(); ++i)
        EXPECT_LT(std::abs(p[i].y - p[i - 1].y), 1.0) << i;
}

// ---------------------------------------------------- degenerate polylines

TEST(SegmentEvolutionDegenerate, RepeatedPointsAreErasedWithoutCrashing)
{
    const VectorField field(100, 100, 0.5f, 0.5f);
    struct Case {
        std::vector<Point2D> polyline;
        std::size_t expectedCount;
    };
    const std::vector<Case> cases = {
        // One repeat: that point goes during the first step, the rest evolves.
        {{{10, 10}, {20, 12}, {20, 12}, {30, 15}, {40, 13}, {50, 18}, {60, 10}}, 6u},
        // Two repeats leave 4 points: too few to evolve, returned as they are.
        {{{10, 10}, {10, 10}, {20, 12}, {30, 15}, {30, 15}, {40, 13}}, 4u},
        // All points equal: one point is left.
        {{{7, 7}, {7, 7}, {7, 7}, {7, 7}, {7, 7}, {7, 7}}, 1u},
        // Repeated end points.
        {{{10, 10}, {20, 12}, {30, 15}, {40, 13}, {50, 18}, {60, 10}, {60, 10}, {60, 10}}, 6u},
    };
    for (const auto& c : cases) {
        SegmentEvolution s;
        const auto p = s.adjustCurve(c.polyline, field.x.data(), field.y.data(), 100, 100, 0.3);
        ASSERT_EQ(p.size(), c.expectedCount);
        EXPECT_TRUE(allFinite(p));
        EXPECT_EQ(p.front(), c.polyline.front());
        EXPECT_EQ(p.back(), c.polyline.back());
        if (c.expectedCount < 5) {
            // Unevolved: the distinct points in their order.
            std::vector<Point2D> distinct;
            for (const auto& q : c.polyline)
                if (distinct.empty() || !(distinct.back() == q))
                    distinct.push_back(q);
            EXPECT_EQ(p, distinct);
        }
    }
}

TEST(SegmentEvolutionDegenerate, NonFiniteCoordinatesAreLeftAlone)
{
    const VectorField field(100, 100, 0.5f, 0.5f);
    std::vector<Point2D> polyline = sineBump(10.0, 50.0, 20, 3.0);
    polyline[7].y = std::numeric_limits<double>::quiet_NaN();
    SegmentEvolution s;
    const auto p = s.adjustCurve(polyline, field.x.data(), field.y.data(), 100, 100, 0.3);
    ASSERT_EQ(p.size(), polyline.size());
    for (std::size_t i = 0; i < p.size(); ++i) {
        EXPECT_EQ(p[i].x, polyline[i].x);
        if (i != 7) {
            EXPECT_EQ(p[i].y, polyline[i].y);
        }
    }
}

TEST(SegmentEvolutionDegenerate, MissingFieldsActAsZeroFields)
{
    SegmentEvolution s;
    const auto p = s.segmentBetweenPoints(1.0, false, 10.0, 60.0, 10.0, 40.0, nullptr, nullptr, nullptr, nullptr,
                                          100, 100, 0.3, true, true);
    ASSERT_GE(p.size(), 5u);
    EXPECT_EQ(p.back(), (Point2D{60.0, 40.0}));
    for (const auto& q : p)
        EXPECT_NEAR((q.x - 10.0) * 30.0 - (q.y - 10.0) * 50.0, 0.0, 1e-6);
}

TEST(SegmentEvolutionDegenerate, NonFiniteFieldValuesStopWithTheLastFiniteState)
{
    // A nodata pixel (NaN or infinite) in the driving field under the
    // segment, or a curvature weight that is not a number: the evolution
    // stops before the step that would spread the bad value over every point,
    // and the points come back finite with their ends in place.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        const char* name;
        float bad;
        double curvatureWeight;
    } cases[] = {
        {"NaN pixel", nan, 0.3}, {"infinite pixel", inf, 0.3}, {"negative infinite pixel", -inf, 0.3},
        {"curvature weight NaN", 0.1f, std::numeric_limits<double>::quiet_NaN()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        VectorField field(100, 100, 0.0f, 0.1f);
        field.y[static_cast<std::size_t>(50 * 100 + 30)] = c.bad;
        for (bool autoStop : {false, true}) {
            SegmentEvolution s;
            const auto p = s.segmentBetweenPoints(1.0, true, 10.0, 60.0, 50.2, 50.2, field.x.data(), field.y.data(),
                                                  field.x.data(), field.y.data(), 100, 100, c.curvatureWeight,
                                                  autoStop, true);
            ASSERT_EQ(p.size(), 51u);
            EXPECT_TRUE(allFinite(p));
            EXPECT_EQ(p.front(), (Point2D{10.0, 50.2}));
            EXPECT_EQ(p.back(), (Point2D{60.0, 50.2}));
        }
    }
}
