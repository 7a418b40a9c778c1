#include "app/CurveDrawing.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace CurveDrawing {

namespace {

double distance(Point2D a, Point2D b)
{
    return std::hypot(a.x - b.x, a.y - b.y);
}

double squaredDistance(Point2D a, Point2D b)
{
    const double dx = a.x - b.x;
    const double dy = a.y - b.y;
    return dx * dx + dy * dy;
}

} // namespace

std::vector<Point2D> circlePath(Point2D center, double radius)
{
    if (!(radius > 0.0) || !std::isfinite(radius))
        return {center};
    std::vector<Point2D> points;
    const double h = 1.0 / (2.0 * radius);
    const double last = 2.0 * std::numbers::pi - h;
    // Angles by multiplication, so the count does not drift with the
    // rounding of a running sum.
    for (long k = 0;; ++k) {
        const double t = static_cast<double>(k) * h;
        if (t > last)
            break;
        points.push_back({center.x + radius * std::cos(t), center.y + radius * std::sin(t)});
    }
    // The first point again (alone for a radius so small that no angle fits).
    points.push_back({center.x + radius, center.y});
    return points;
}

Square squarePath(Point2D anchor, Point2D mouse)
{
    const int hx = static_cast<int>(anchor.x);
    const int hy = static_cast<int>(anchor.y);
    const int dx = static_cast<int>(mouse.x - hx);
    const int dy = static_cast<int>(mouse.y - hy);
    const int a = std::max(std::abs(dx), std::abs(dy));
    // Corners in single precision, as the outline is drawn.
    const auto corner = [](int x, int y) {
        return Point2D{static_cast<double>(static_cast<float>(x)), static_cast<double>(static_cast<float>(y))};
    };
    Square square;
    square.points = {corner(hx - a, hy - a), corner(hx + a + 1, hy - a), corner(hx + a + 1, hy + a + 1),
                     corner(hx - a, hy + a + 1), corner(hx - a, hy - a)};
    square.edge = 2 * a + 1;
    return square;
}

std::vector<Point2D> polygonSide(Point2D from, Point2D to)
{
    const double length = distance(from, to);
    if (!(length > 0.0) || !std::isfinite(length))
        return {from};
    const double sx = (to.x - from.x) / (2.0 * length);
    const double sy = (to.y - from.y) / (2.0 * length);
    const auto count = static_cast<std::size_t>(2.0 * length + 1.0);
    std::vector<Point2D> points;
    points.reserve(count);
    Point2D p = from;
    points.push_back(p);
    for (std::size_t i = 1; i < count; ++i) {
        p.x += sx;
        p.y += sy;
        points.push_back(p);
    }
    return points;
}

Point2D snapToPoint(Point2D p, Point2D target, double threshold)
{
    if (std::abs(p.x - target.x) <= threshold && std::abs(p.y - target.y) <= threshold)
        return target;
    return p;
}

double tracingStep(double distanceToAnchor, int width, int height)
{
    const double diagonal = std::hypot(static_cast<double>(width), static_cast<double>(height));
    // At or below a diagonal of 100 pixels the linear rule has no range to
    // grow over (and divides by zero at 100): the finest step throughout.
    if (!(diagonal > 100.0))
        return 0.5;
    const double step =
        ((diagonal - distanceToAnchor) * 0.5 + (distanceToAnchor - 100.0) * 5.0) / (diagonal - 100.0);
    return step < 0.5 || !std::isfinite(step) ? 0.5 : step;
}

ContinueChoice continueChoice(const QList<int>& setIds, const QList<QPair<int, int>>& curveIds)
{
    if (setIds.size() > 1 || curveIds.size() > 1)
        return {-1, -1, QStringLiteral("Select only one curve.")};
    if (!curveIds.isEmpty())
        return {curveIds.first().first, curveIds.first().second, {}};
    if (!setIds.isEmpty())
        return {setIds.first(), 0, {}};
    return {-1, -1, QStringLiteral("Select curve from curve explorer.")};
}

std::vector<Point2D> spliceCurve(const std::vector<Point2D>& points, const std::vector<int>& picks, bool closed,
                                 std::vector<Point2D> piece)
{
    std::vector<Point2D> p = points;
    const int size = static_cast<int>(p.size());
    const std::size_t needed = closed ? 3 : 2;
    if (piece.empty() || picks.size() < needed)
        return p;
    for (std::size_t i = 0; i < needed; ++i) {
        if (picks[i] < 0 || picks[i] >= size)
            return p;
    }

    std::vector<Point2D>::difference_type at = 0;  // where the piece goes in
    Point2D before;                                // the kept point the piece starts at
    Point2D after;                                 // the kept point the piece ends at
    if (closed) {
        int p0 = picks[0];
        int p1 = picks[1];
        int p2 = picks[2];
        if (p0 != 0) {
            // Start the closed polyline at p0: points 1 .. p0 go to the end,
            // the first p0 points go, so both ends are the old point p0.
            std::vector<Point2D> rotated(p.begin() + p0, p.end());
            rotated.insert(rotated.end(), p.begin() + 1, p.begin() + p0 + 1);
            p = std::move(rotated);
            p1 -= p0;
            p2 -= p0;
            if (p1 < 0)
                p1 += size - 1;
            if (p2 < 0)
                p2 += size - 1;
        }
        if (p1 <= p2) {
            // The arc p0 .. p1 does not hold the third pick: keep it.
            p.resize(static_cast<std::size_t>(p1) + 1);
        } else {
            p.erase(p.begin(), p.begin() + p1);
            p1 = static_cast<int>(p.size()) - 1;
        }
        after = p.front();
        before = p[static_cast<std::size_t>(p1)];
        at = 0;
    } else {
        const int p0 = std::min(picks[0], picks[1]);
        const int p1 = std::max(picks[0], picks[1]);
        p.erase(p.begin() + p0, p.begin() + p1);
        at = p0;
        after = p[static_cast<std::size_t>(p0)];
        if (p0 == 0) {
            // No point precedes the gap: the piece just has to end at the
            // point after it.
            if (squaredDistance(piece.front(), after) < squaredDistance(piece.back(), after))
                std::reverse(piece.begin(), piece.end());
            p.insert(p.begin(), piece.begin(), piece.end());
            return p;
        }
        before = p[static_cast<std::size_t>(p0) - 1];
    }
    // The piece runs from `before` to `after`; turn it when it starts at the
    // wrong end.
    if (squaredDistance(piece.front(), after) < squaredDistance(piece.front(), before))
        std::reverse(piece.begin(), piece.end());
    p.insert(p.begin() + at, piece.begin(), piece.end());
    return p;
}

void offsetPoints(std::vector<Point2D>& points, double dx, double dy)
{
    for (Point2D& point : points) {
        point.x += dx;
        point.y += dy;
    }
}

bool enclosesArea(const std::vector<Point2D>& points)
{
    std::vector<Point2D> distinct;
    for (const Point2D& p : points) {
        const auto same = [&p](const Point2D& q) { return q.x == p.x && q.y == p.y; };
        if (std::none_of(distinct.begin(), distinct.end(), same)) {
            distinct.push_back(p);
            if (distinct.size() == 3)
                return true;
        }
    }
    return false;
}

} // namespace CurveDrawing
