#include "evolution/CurveEvolutionModel.h"

#include "evolution/CurveMath.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace {

constexpr double kRadiansToDegrees = 180.0 / 3.141592653589793;
// Below this angle (degrees) between the two segments at a point, the point
// is a sharp vertex and its tangential advection is fully implicit.
constexpr double kSharpVertexAngle = 140.0;

// Pixel of (x, y) in a width x height image, or -1 outside. A coordinate of
// exactly 0 counts as outside; a non-finite one fails every test.
inline std::ptrdiff_t pixelOf(double x, double y, int width, int height)
{
    if (x > 0.0 && y > 0.0 && x < width && y < height)
        return static_cast<std::ptrdiff_t>(static_cast<int>(x))
            + static_cast<std::ptrdiff_t>(width) * static_cast<int>(y);
    return -1;
}

} // namespace

void CurveEvolutionModel::resizeWork(std::size_t s)
{
    vertexFlag.resize(s);
    curvature.resize(s);
    externalVelocity.resize(s);
    curvatureWeight.resize(s);
    normalVelocity.resize(s);
    tangentialVelocity.resize(s);
    upwind.resize(s);
    rows.resize(s);
    rightHandSide.resize(s);
    rightHandSideY.resize(s);
    solveUpper.resize(s);
    solveP.resize(s);
    solveQ.resize(s);
}

void CurveEvolutionModel::advance(const float* vx, const float* vy, const float* map, int width, int height,
                                  bool measureOnly)
{
    curve.computeSegments();
    if (curve.pointCount() < 3 || curve.y.size() != curve.x.size())
        return;
    resizeWork(curve.x.size());

    computeExternalVelocity(vx, vy, map, width, height);
    computeCurvatureWeight(map, width, height);
    computeCurvature();
    computeNormalVelocity(measureOnly);
    if (measureOnly)
        return;
    computeTangentialVelocity();
    splitTangentialVelocity();
    classifyVertices();
    assembleTridiagonal();
    // Both right-hand sides come from the positions before the step.
    assembleRightHandSide(0);
    assembleRightHandSide(1);
    solvePeriodicTridiagonal(0);
    solvePeriodicTridiagonal(1);
    curve.repad();
}

void CurveEvolutionModel::computeExternalVelocity(const float* vx, const float* vy, const float* map, int width,
                                                  int height)
{
    const int n = curve.pointCount();
    const auto& x = curve.x;
    const auto& y = curve.y;
    const auto& r = curve.segmentLength;
    for (int i = 1; i <= n; ++i) {
        const std::ptrdiff_t p = pixelOf(x[i], y[i], width, height);
        if (p < 0) {
            externalVelocity[i] = 0.0;
            continue;
        }
        const double s = r[i] + r[i + 1];
        const double nx = (y[i + 1] - y[i - 1]) / s;
        const double ny = -(x[i + 1] - x[i - 1]) / s;
        const double field = lambda * (nx * vx[p] + ny * vy[p]);
        externalVelocity[i] = map ? (1.0 - lambda) * map[p] + field : field;
    }
    EvolvingCurve::repadArray(externalVelocity);
}

void CurveEvolutionModel::computeCurvatureWeight(const float* map, int width, int height)
{
    const int n = curve.pointCount();
    for (int i = 1; i <= n; ++i) {
        if (!map) {
            curvatureWeight[i] = curvatureInfluence;
            continue;
        }
        const std::ptrdiff_t p = pixelOf(curve.x[i], curve.y[i], width, height);
        curvatureWeight[i] = p < 0 ? 0.0 : curvatureInfluence * map[p];
    }
    EvolvingCurve::repadArray(curvatureWeight);
}

void CurveEvolutionModel::computeCurvature()
{
    const int n = curve.pointCount();
    const auto& dx = curve.segmentDx;
    const auto& dy = curve.segmentDy;
    const auto& r = curve.segmentLength;
    for (int i = 1; i <= n; ++i) {
        // Turning angle between the segments on either side of segment i,
        // spread over twice its length.
        double q = (dx[i - 1] * dx[i + 1] + dy[i - 1] * dy[i + 1]) / (r[i + 1] * r[i - 1]);
        q = std::clamp(q, -1.0, 1.0);
        curvature[i] = signum(dx[i - 1] * dy[i + 1] - dy[i - 1] * dx[i + 1]) * 0.5 * std::acos(q) / r[i];
    }
    EvolvingCurve::repadArray(curvature);
}

void CurveEvolutionModel::computeNormalVelocity(bool measureOnly)
{
    const int n = curve.pointCount();
    for (int i = 1; i <= n; ++i) {
        const double beta = 0.5 * (externalVelocity[i - 1] + externalVelocity[i]) - curvatureWeight[i] * curvature[i];
        normalVelocity[i] = beta;
        if (measureOnly && beta > maxNormalVelocity)
            maxNormalVelocity = beta;
    }
    EvolvingCurve::repadArray(normalVelocity);
}

void CurveEvolutionModel::computeTangentialVelocity()
{
    const int n = curve.pointCount();
    const double L = curve.length;
    const auto& r = curve.segmentLength;
    double g = 0.0;
    for (int i = 1; i <= n; ++i)
        g += curvature[i] * normalVelocity[i] * r[i];

    auto& alpha = tangentialVelocity;
    alpha[0] = 0.0;
    double total = 0.0;
    for (int i = 1; i <= n; ++i) {
        alpha[i] = alpha[i - 1] + (g / L - curvature[i] * normalVelocity[i]) * r[i] + (L / n - r[i]) * omega;
        total += alpha[i];
    }
    const double mean = total / n;
    for (int i = 0; i <= n; ++i)
        alpha[i] -= mean;
    EvolvingCurve::repadArray(alpha);
}

void CurveEvolutionModel::splitTangentialVelocity()
{
    const int n = curve.pointCount();
    for (int i = 1; i <= n; ++i) {
        const double a = tangentialVelocity[i];
        if (a > 0.0)
            upwind[i] = {0.0, a, -a, 0.0};
        else
            upwind[i] = {-a, 0.0, 0.0, a};
    }
}

void CurveEvolutionModel::classifyVertices()
{
    const int n = curve.pointCount();
    const auto& x = curve.x;
    const auto& y = curve.y;
    for (int i = 1; i <= n; ++i) {
        const double vx1 = x[i] - x[i - 1];
        const double vy1 = y[i] - y[i - 1];
        const double vx2 = x[i] - x[i + 1];
        const double vy2 = y[i] - y[i + 1];
        const double norms = std::sqrt(vx1 * vx1 + vy1 * vy1) * std::sqrt(vx2 * vx2 + vy2 * vy2);
        // No clamping: a cosine pushed beyond 1 by rounding gives NaN, which
        // fails the comparison and counts as a smooth point.
        const double angle = std::fabs(std::acos((vx1 * vx2 + vy1 * vy2) / norms)) * kRadiansToDegrees;
        vertexFlag[i] = angle < kSharpVertexAngle ? 1 : 2;
    }
    EvolvingCurve::repadArray(vertexFlag);
}

void CurveEvolutionModel::assembleTridiagonal()
{
    const int n = curve.pointCount();
    const auto& r = curve.segmentLength;
    for (int i = 1; i <= n; ++i) {
        const double w = (r[i] + r[i + 1]) / (2.0 * tau);
        const double f0 = curvatureWeight[i] / r[i];
        const double f1 = curvatureWeight[i] / r[i + 1];
        const Upwind& u = upwind[i];
        // A sharp vertex takes the tangential advection fully implicitly, a
        // smooth point half implicitly and half explicitly.
        const double k = vertexFlag[i] == 1 ? 1.0 : 0.5;
        rows[i].a = -(f0 + k * u.u0);
        rows[i].c = -(f1 + k * u.u1);
        rows[i].b = w + f0 + f1 + k * u.u0 + k * u.u1;
    }
}

void CurveEvolutionModel::assembleRightHandSide(int coordinate)
{
    const int n = curve.pointCount();
    const auto& r = curve.segmentLength;
    const std::vector<double>& c = coordinate == 0 ? curve.x : curve.y;
    const std::vector<double>& o = coordinate == 0 ? curve.y : curve.x;
    std::vector<double>& d = coordinate == 0 ? rightHandSide : rightHandSideY;
    // The normal is (dy, -dx): x moves with +dy, y with -dx.
    const double sign = coordinate == 0 ? 1.0 : -1.0;
    for (int i = 1; i <= n; ++i) {
        const double w = (r[i] + r[i + 1]) / (2.0 * tau);
        double v = w * c[i];
        if (vertexFlag[i] != 1) {
            const Upwind& u = upwind[i];
            v -= 0.5 * u.u3 * (c[i] - c[i + 1]) + 0.5 * u.u2 * (c[i] - c[i - 1]);
        }
        v += sign * 0.5 * externalVelocity[i] * (o[i + 1] - o[i - 1]);
        d[i] = v;
    }
}

void CurveEvolutionModel::solvePeriodicTridiagonal(int coordinate)
{
    const int n = curve.pointCount();
    if (n < 2)
        return;
    const std::vector<double>& d = coordinate == 0 ? rightHandSide : rightHandSideY;
    std::vector<double>& out = coordinate == 0 ? curve.x : curve.y;
    if (solveP.size() < out.size()) {
        solveUpper.resize(out.size());
        solveP.resize(out.size());
        solveQ.resize(out.size());
    }
    std::vector<double>& cp = solveUpper;
    std::vector<double>& p = solveP;
    std::vector<double>& q = solveQ;

    // X = P + X[1] Q, where P and Q solve rows 2 ... n with X[1] moved to
    // the right-hand side: P with d, Q with the coefficients of X[1] (-a[2]
    // in row 2, -c[n] in row n). Forward elimination of both at once.
    double upper = 0.0;
    double prevP = 0.0;
    double prevQ = 0.0;
    for (int i = 2; i <= n; ++i) {
        const Row& row = rows[i];
        const double lower = i == 2 ? 0.0 : row.a;
        const double denom = row.b - lower * upper;
        double rhsQ = 0.0;
        if (i == 2)
            rhsQ -= row.a;
        if (i == n)
            rhsQ -= row.c;
        upper = i < n ? row.c / denom : 0.0;
        cp[i] = upper;
        prevP = (d[i] - lower * prevP) / denom;
        prevQ = (rhsQ - lower * prevQ) / denom;
        p[i] = prevP;
        q[i] = prevQ;
    }
    for (int i = n - 1; i >= 2; --i) {
        p[i] -= cp[i] * p[i + 1];
        q[i] -= cp[i] * q[i + 1];
    }
    p[1] = 0.0;
    q[1] = 1.0;
    const Row& first = rows[1];
    const double x1 = (d[1] - first.a * p[n] - first.c * p[2]) / (first.a * q[n] + first.b + first.c * q[2]);
    for (int i = 1; i <= n; ++i)
        out[i] = q[i] * x1 + p[i];
}
