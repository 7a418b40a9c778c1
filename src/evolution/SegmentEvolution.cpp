#include "evolution/SegmentEvolution.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <utility>

#include "analysis/CurveDistance.h"
#include "evolution/CurveMath.h"

namespace {

// Rounding allowance of the stop-check bounds: a bound this close to the
// threshold leaves the decision to the full comparison.
constexpr double kBoundMargin = 1e-9;

bool isFiniteNumber(double v)
{
    return std::isfinite(v);
}

bool cancelled(const std::atomic<bool>* cancel)
{
    return cancel && cancel->load(std::memory_order_relaxed);
}

// Pixel index of (px, py), or false when the point is off the image (or the
// field is missing), in which case the field reads zero there. The bounds are
// checked on the coordinates themselves so that a point beside the image never
// reads a pixel of a neighbouring row.
bool pixelIndex(double px, double py, int width, int height, std::size_t& index)
{
    if (!(px >= 0.0 && px < width && py >= 0.0 && py < height))
        return false;
    index = static_cast<std::size_t>(static_cast<int>(px))
            + static_cast<std::size_t>(width) * static_cast<std::size_t>(static_cast<int>(py));
    return true;
}

} // namespace

SegmentEvolution::SegmentEvolution() = default;

void SegmentEvolution::resizeWorkData()
{
    const std::size_t m = x.size();
    segmentLength.resize(m, 0.0);
    segmentDx.resize(m, 0.0);
    segmentDy.resize(m, 0.0);
    curvature.resize(m, 0.0);
    tangentialVelocity.resize(m, 0.0);
    normalVelocity.resize(m, 0.0);
    externalVelocity.resize(m, 0.0);
    upwind.resize(m);
    rows.resize(m);
    solution.resize(m, 0.0);
    solutionY.resize(m, 0.0);
    rightHandSide.resize(m, 0.0);
    rightHandSideY.resize(m, 0.0);
    eliminatedUpper.resize(m, 0.0);
}

void SegmentEvolution::setEndPoints(double x0, double x1, double y0, double y1)
{
    x.assign({x0, x1});
    y.assign({y0, y1});
}

std::vector<Point2D> SegmentEvolution::points() const
{
    std::vector<Point2D> out(x.size());
    for (std::size_t i = 0; i < x.size(); ++i)
        out[i] = Point2D{x[i], y[i]};
    return out;
}

// ------------------------------------------------------------------ entries

std::vector<Point2D> SegmentEvolution::segmentBetweenPoints(double step, bool straightStart, double x0, double x1,
                                                            double y0, double y1, const float* vx, const float* vy,
                                                            const float* dirX, const float* dirY, int width,
                                                            int height, double curvatureWeight_, bool autoStop,
                                                            bool evolveSegment)
{
    curvatureWeight = curvatureWeight_;
    // Every call starts its own stop test: a reused object must not compare
    // its first check with the last state of an unrelated segment.
    previousX.clear();
    previousY.clear();

    // The caller's step formula can break down on tiny windows; a step that is
    // not a positive finite length would never reach the end point.
    const bool usable = isFiniteNumber(step) && step > 0.0 && isFiniteNumber(x0) && isFiniteNumber(x1)
                        && isFiniteNumber(y0) && isFiniteNumber(y1);
    const double distance = usable ? pointDistance(x0, y0, x1, y1) : 0.0;
    if (!usable || !(distance > 2.0 * step)) {
        setEndPoints(x0, x1, y0, y1);
        return points();
    }

    if (straightStart) {
        // Bounded like the traced path, so that a tiny step cannot ask for an
        // unbounded number of points.
        const double wanted = (distance + 1.5) / step;
        const int count = wanted >= kMaxPathPoints ? kMaxPathPoints
                                                   : std::max(kMinEvolvingPoints, static_cast<int>(wanted));
        x.resize(static_cast<std::size_t>(count));
        y.resize(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            x[i] = x0 + (x1 - x0) * i / (count - 1);
            y[i] = y0 + (y1 - y0) * i / (count - 1);
        }
        // Exactly the end point, whatever the rounding of the last fraction.
        x.back() = x1;
        y.back() = y1;
    } else {
        traceGradientPath(dirX, dirY, width, height, x0, x1, y0, y1, step);
    }

    if (static_cast<int>(x.size()) >= kMinEvolvingPoints && evolveSegment)
        evolve(vx, vy, width, height, autoStop ? kStepsWithAutoStop : kStepsWithoutAutoStop, autoStop,
               kCheckInterval, kStopThreshold);
    return points();
}

std::vector<Point2D> SegmentEvolution::adjustCurve(const std::vector<Point2D>& polyline, const float* vx,
                                                   const float* vy, int width, int height, double curvatureWeight_)
{
    curvatureWeight = curvatureWeight_;
    previousX.clear();
    previousY.clear();
    x.resize(polyline.size());
    y.resize(polyline.size());
    for (std::size_t i = 0; i < polyline.size(); ++i) {
        x[i] = polyline[i].x;
        y[i] = polyline[i].y;
    }
    if (static_cast<int>(x.size()) >= kMinEvolvingPoints)
        evolve(vx, vy, width, height, kAdjustSteps, true, kCheckInterval, kStopThreshold);
    return points();
}

// ------------------------------------------------------------- initial path

void SegmentEvolution::traceGradientPath(const float* dirX, const float* dirY, int width, int height, double x0,
                                         double x1, double y0, double y1, double step)
{
    const bool usable = isFiniteNumber(step) && step > 0.0 && isFiniteNumber(x0) && isFiniteNumber(x1)
                        && isFiniteNumber(y0) && isFiniteNumber(y1);
    const double distance = usable ? pointDistance(x0, y0, x1, y1) : 0.0;
    if (!usable || !(distance > step)) {
        // Nothing to trace: the path is the straight segment itself.
        setEndPoints(x0, x1, y0, y1);
        return;
    }

    x.assign(kMaxPathPoints, 0.0);
    y.assign(kMaxPathPoints, 0.0);
    x[0] = x0;
    y[0] = y0;
    const bool haveField = dirX != nullptr && dirY != nullptr;
    // The previous direction towards the end point: the edge direction is
    // followed only while it does not turn back against it.
    double mx = x1 - x0;
    double my = y1 - y0;
    std::size_t count = kMaxPathPoints;
    for (std::size_t i = 1; i < static_cast<std::size_t>(kMaxPathPoints); ++i) {
        if (cancelled(cancel)) {
            count = i;
            break;
        }
        const double px = x[i - 1];
        const double py = y[i - 1];

        // Edge direction: the field turned by a right angle.
        double ox = 0.0;
        double oy = 0.0;
        std::size_t p = 0;
        if (haveField && pixelIndex(px, py, width, height, p)) {
            ox = dirY[p];
            oy = -static_cast<double>(dirX[p]);
        }
        const double g = std::sqrt(ox * ox + oy * oy);
        double wx = ox;
        double wy = oy;
        if (g * g > 0.0) {
            wx = ox / g;
            wy = oy / g;
        }

        double vx = x1 - px;
        double vy = y1 - py;
        const double vLength = std::sqrt(vx * vx + vy * vy);
        if (vLength > 0.0) {
            vx /= vLength;
            vy /= vLength;
        }

        if (wx * vx + wy * vy <= 0.0) {
            wx = -wx;
            wy = -wy;
        }
        if (wx * mx + wy * my > 0.0 && g > kTraceMinStrength) {
            x[i] = px + step * wx;
            y[i] = py + step * wy;
        } else {
            x[i] = px + step * vx;
            y[i] = py + step * vy;
        }
        mx = vx;
        my = vy;
        if (pointDistance(x[i], y[i], x1, y1) <= step) {
            count = i + 1;
            break;
        }
    }
    x.resize(count);
    y.resize(count);
    x.back() = x1;
    y.back() = y1;
}

// --------------------------------------------------------------- evolution

void SegmentEvolution::evolve(const float* vx, const float* vy, int width, int height, int steps, bool autoStop,
                              int checkInterval, double threshold)
{
    if (x.size() != y.size() || static_cast<int>(x.size()) < kMinEvolvingPoints)
        return;
    // One bad coordinate would spread through the tridiagonal solves to every
    // point of the polyline: leave such a polyline as it is.
    for (std::size_t j = 0; j < x.size(); ++j)
        if (!isFiniteNumber(x[j]) || !isFiniteNumber(y[j]))
            return;

    resizeWorkData();
    for (int i = 0; i < steps; ++i) {
        if (cancelled(cancel))
            return;
        if (autoStop && checkInterval > 0 && i % checkInterval == 0 && stopCheck(threshold))
            return;

        computeSegments();
        // Erasing repeated points can leave too few points for the curvature
        // stencil (and a zero length): the polyline is then final.
        if (static_cast<int>(x.size()) < kMinEvolvingPoints)
            return;
        computeCurvature();
        computeNormalVelocity(vx, vy, width, height);
        computeTangentialVelocity();
        // A non-finite field value (a nodata pixel) or weight would pass
        // through the solves into every point, the fixed ends included: the
        // polyline keeps its last finite state.
        if (!velocitiesFinite())
            return;
        assembleAndEliminate();
        backSubstitute();
        std::swap(solution, x);
        std::swap(solutionY, y);
    }
}

bool SegmentEvolution::velocitiesFinite() const
{
    // Rows and right-hand sides are built from these, the curvature weight,
    // the segment lengths and the current (finite) points.
    if (!isFiniteNumber(curvatureWeight))
        return false;
    const std::size_t m = x.size();
    for (std::size_t j = 0; j < m; ++j)
        if (!isFiniteNumber(externalVelocity[j]) || !isFiniteNumber(tangentialVelocity[j]))
            return false;
    return true;
}

bool SegmentEvolution::stopCheck(double threshold)
{
    if (!previousX.empty()) {
        // The full Hausdorff comparison is quadratic in the point count and
        // costs as much as dozens of steps of a long segment; most checks are
        // decided by two linear bounds with the same outcome, the full
        // comparison deciding only when the threshold lies between them.
        double upper = 0.0;
        double lower = 0.0;
        hausdorffBounds(upper, lower);
        if (upper < threshold - kBoundMargin)
            return true;
        if (!(lower >= threshold + kBoundMargin)) {
            CurveDistance distance;
            distance.ax = x;
            distance.ay = y;
            distance.bx = previousX;
            distance.by = previousY;
            distance.computeDistances();
            if (distance.computeHausdorff() < threshold)
                return true;
        }
    }
    previousX = x;
    previousY = y;
    return false;
}

void SegmentEvolution::hausdorffBounds(double& upper, double& lower) const
{
    // Upper bound: with the same point count, every vertex of either polyline
    // is at most its displacement away from the other one (the comparison
    // measures to the other polyline's vertices and to points on its
    // segments, so never more than to the matching vertex).
    // Lower bound: the comparison never measures less than the true distance
    // from a vertex to the other polyline taken as closed; the vertex that
    // moved most is the likeliest to be far from the previous state.
    const std::size_t m = x.size();
    const std::size_t mp = previousX.size();
    const std::size_t common = std::min(m, mp);
    double largest = -1.0;
    std::size_t probe = 0;
    for (std::size_t j = 0; j < common; ++j) {
        const double d = pointDistance(x[j], y[j], previousX[j], previousY[j]);
        if (d > largest) {
            largest = d;
            probe = j;
        }
    }
    upper = m == mp ? largest : std::numeric_limits<double>::infinity();
    if (!(largest >= 0.0)) {
        // NaN coordinates: no bound.
        upper = std::numeric_limits<double>::infinity();
        lower = 0.0;
        return;
    }

    const double px = x[probe];
    const double py = y[probe];
    double nearest = std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < mp; ++i) {
        const std::size_t k = i + 1 < mp ? i + 1 : 0;
        const double sx = previousX[i];
        const double sy = previousY[i];
        const double ex = previousX[k] - sx;
        const double ey = previousY[k] - sy;
        const double len2 = ex * ex + ey * ey;
        double u = len2 > 0.0 ? ((px - sx) * ex + (py - sy) * ey) / len2 : 0.0;
        u = std::clamp(u, 0.0, 1.0);
        nearest = std::min(nearest, pointDistance(px, py, sx + u * ex, sy + u * ey));
    }
    lower = nearest;
}

void SegmentEvolution::computeSegments()
{
    length = 0.0;
    std::size_t j = 1;
    while (j < x.size()) {
        const double dx = x[j] - x[j - 1];
        const double dy = y[j] - y[j - 1];
        const double r = std::sqrt(dx * dx + dy * dy);
        if (r == 0.0) {
            // A repeated point has no direction: drop it and measure the same
            // segment again with the next point.
            x.erase(x.begin() + static_cast<std::ptrdiff_t>(j));
            y.erase(y.begin() + static_cast<std::ptrdiff_t>(j));
            resizeWorkData();
            continue;
        }
        segmentDx[j] = dx;
        segmentDy[j] = dy;
        segmentLength[j] = r;
        length += r;
        ++j;
    }
}

void SegmentEvolution::computeCurvature()
{
    const std::size_t m = x.size();
    const double* dx = segmentDx.data();
    const double* dy = segmentDy.data();
    const double* r = segmentLength.data();
    double* k = curvature.data();
    // Half the turning angle between the two neighbouring segments, per unit
    // length of the segment between them. The sign is the opposite of the
    // closed scheme; the normal velocity below compensates.
    for (std::size_t j = 2; j + 2 <= m; ++j) {
        const double q = std::clamp((dx[j - 1] * dx[j + 1] + dy[j - 1] * dy[j + 1]) / (r[j - 1] * r[j + 1]), -1.0, 1.0);
        k[j] = -0.5 * signum(dx[j - 1] * dy[j + 1] - dy[j - 1] * dx[j + 1]) * std::acos(q) / r[j];
    }
    // The end segments have no neighbour on one side: they take the
    // curvature of the next segment inwards, the last one none.
    k[1] = k[2];
    k[m - 2] = k[m - 3];
    k[m - 1] = 0.0;
}

void SegmentEvolution::computeNormalVelocity(const float* vx, const float* vy, int width, int height)
{
    const std::size_t m = x.size();
    const bool haveField = vx != nullptr && vy != nullptr;
    const double* r = segmentLength.data();
    double* e = externalVelocity.data();
    double* beta = normalVelocity.data();

    e[0] = 0.0;
    e[m - 1] = 0.0;
    for (std::size_t j = 1; j + 1 < m; ++j) {
        double fx = 0.0;
        double fy = 0.0;
        std::size_t p = 0;
        if (haveField && pixelIndex(x[j], y[j], width, height, p)) {
            fx = vx[p];
            fy = vy[p];
        }
        const double s = r[j] + r[j + 1];
        e[j] = velocityWeight * ((y[j + 1] - y[j - 1]) / s * fx - (x[j + 1] - x[j - 1]) / s * fy);
    }

    beta[0] = 0.0;
    beta[m - 1] = 0.0;
    for (std::size_t j = 1; j + 1 < m; ++j)
        beta[j] = curvature[j] * curvatureWeight + (e[j - 1] + e[j]) / 2.0;
}

void SegmentEvolution::computeTangentialVelocity()
{
    const std::size_t m = x.size();
    const double* r = segmentLength.data();
    const double* k = curvature.data();
    const double* beta = normalVelocity.data();
    double* alpha = tangentialVelocity.data();

    double g = 0.0;
    for (std::size_t j = 1; j + 1 < m; ++j)
        g += k[j] * beta[j] * r[j];
    const double meanLength = length / static_cast<double>(m - 1);
    // Keeps the length change of every segment proportional to its length,
    // plus a relaxation of each segment towards the mean length. The end
    // points are fixed, so no mean is subtracted.
    alpha[0] = 0.0;
    for (std::size_t j = 1; j < m; ++j)
        alpha[j] = alpha[j - 1] + (beta[j] * k[j] - g / length) * r[j] + (meanLength - r[j]) * redistributionWeight;
}

void SegmentEvolution::assembleAndEliminate()
{
    // Row j of the system and of both right-hand sides is assembled and
    // eliminated in one pass: the assembly's arithmetic, independent from
    // row to row, runs in the shadow of the elimination's chain of
    // divisions instead of in passes of its own. Every value gets exactly
    // the operations that separate passes and solveTridiagonal give it, and
    // rows, upwind and the right-hand sides end as they would.
    const std::size_t m = x.size();
    const double* r = segmentLength.data();
    const double* alpha = tangentialVelocity.data();
    const double* e = externalVelocity.data();
    // Both right-hand sides come from the positions before the step.
    const double* px = x.data();
    const double* py = y.data();
    Row* row = rows.data();
    Upwind* split = upwind.data();
    double* upper = eliminatedUpper.data();
    double* dx = rightHandSide.data();
    double* dy = rightHandSideY.data();

    // The end rows are the identity: the end points stay.
    row[0] = Row{0.0, 0.0, 1.0};
    row[m - 1] = Row{0.0, 0.0, 1.0};
    double pivot = row[0].diagonal;
    upper[0] = row[0].upper / pivot;
    dx[0] = px[0] / pivot;
    dy[0] = py[0] / pivot;

    double after = curvatureWeight / r[1];
    for (std::size_t j = 1; j + 1 < m; ++j) {
        // Upwind split: the tangential advection takes the implicit
        // difference on the downstream side and the explicit one upstream.
        const double a = alpha[j];
        Upwind& u = split[j];
        if (a > 0.0)
            u = Upwind{0.0, a, -a, 0.0};
        else
            u = Upwind{-a, 0.0, 0.0, a};

        // The diffusion weight of segment j + 1 serves this row and the next.
        const double before = after;
        after = curvatureWeight / r[j + 1];
        const double w = (r[j] + r[j + 1]) / (2.0 * tau);
        Row& rw = row[j];
        rw.lower = -(before + 0.5 * u.u0);
        rw.upper = -(after + 0.5 * u.u1);
        rw.diagonal = w + before + after + 0.5 * u.u0 + 0.5 * u.u1;

        // x: along x, across y; y: along y, across x with the opposite sign.
        const double bx = w * px[j] - 0.5 * u.u3 * (px[j] - px[j + 1]) - 0.5 * u.u2 * (px[j] - px[j - 1])
                          + 0.5 * e[j] * (py[j + 1] - py[j - 1]);
        const double by = w * py[j] - 0.5 * u.u3 * (py[j] - py[j + 1]) - 0.5 * u.u2 * (py[j] - py[j - 1])
                          + 0.5 * e[j] * (px[j - 1] - px[j + 1]);

        pivot = rw.diagonal - rw.lower * upper[j - 1];
        upper[j] = rw.upper / pivot;
        dx[j] = (bx - rw.lower * dx[j - 1]) / pivot;
        dy[j] = (by - rw.lower * dy[j - 1]) / pivot;
    }
    pivot = row[m - 1].diagonal - row[m - 1].lower * upper[m - 2];
    upper[m - 1] = row[m - 1].upper / pivot;
    dx[m - 1] = (px[m - 1] - row[m - 1].lower * dx[m - 2]) / pivot;
    dy[m - 1] = (py[m - 1] - row[m - 1].lower * dy[m - 2]) / pivot;
}

void SegmentEvolution::solveTridiagonal()
{
    // Forward elimination without pivoting (the interior rows are strictly
    // diagonally dominant, the end rows are the identity), then back
    // substitution. The x and y systems share the matrix: one pass carries
    // both right-hand sides, each getting exactly the operations a solve of
    // its own would give it, while the matrix is eliminated once and the two
    // chains of divisions overlap.
    const std::size_t m = x.size();
    const Row* row = rows.data();
    double* upper = eliminatedUpper.data();
    double* dx = rightHandSide.data();
    double* dy = rightHandSideY.data();

    double pivot = row[0].diagonal;
    upper[0] = row[0].upper / pivot;
    dx[0] = dx[0] / pivot;
    dy[0] = dy[0] / pivot;
    for (std::size_t j = 1; j < m; ++j) {
        pivot = row[j].diagonal - row[j].lower * upper[j - 1];
        upper[j] = row[j].upper / pivot;
        dx[j] = (dx[j] - row[j].lower * dx[j - 1]) / pivot;
        dy[j] = (dy[j] - row[j].lower * dy[j - 1]) / pivot;
    }
    backSubstitute();
}

void SegmentEvolution::backSubstitute()
{
    const std::size_t m = x.size();
    const double* upper = eliminatedUpper.data();
    const double* dx = rightHandSide.data();
    const double* dy = rightHandSideY.data();
    double* outX = solution.data();
    double* outY = solutionY.data();
    outX[m - 1] = dx[m - 1];
    outY[m - 1] = dy[m - 1];
    for (std::size_t j = m - 1; j-- > 0;) {
        outX[j] = dx[j] - upper[j] * outX[j + 1];
        outY[j] = dy[j] - upper[j] * outY[j + 1];
    }
}
