#include "analysis/CurveDistance.h"

#include "io/Curve.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double kLargest = std::numeric_limits<double>::max();
constexpr double kSmallestNormal = std::numeric_limits<double>::min();

inline double distance(double x1, double y1, double x2, double y2)
{
    const double dx = x1 - x2;
    const double dy = y1 - y2;
    return std::sqrt(dx * dx + dy * dy);
}

// Index k taken modulo m, also for negative k.
inline std::size_t wrapIndex(std::ptrdiff_t k, std::size_t m)
{
    const auto mm = static_cast<std::ptrdiff_t>(m);
    std::ptrdiff_t r = k % mm;
    if (r < 0)
        r += mm;
    return static_cast<std::size_t>(r);
}

// Below these counts the plain scan is cheaper than building a grid.
constexpr std::size_t kGridMinTargets = 48;
constexpr std::size_t kGridMinQueries = 16;
// Coordinates beyond this magnitude go through the plain scan (the grid's
// cell arithmetic needs room below the double's precision).
constexpr double kGridMaxCoordinate = 1e12;

// Uniform grid over the counting vertices of the target curve, for the
// nearest-vertex search. It returns exactly what the full scan returns: the
// smallest computed distance and, among equal ones, the lowest index. Cells
// keep their points in index order; rings of cells around the query are
// visited until no farther ring can hold a point as close as the best one.
class NearestVertexGrid {
public:
    // False when the grid cannot serve these points (non-finite or huge
    // coordinates); the caller then scans.
    bool build(const std::vector<double>& x, const std::vector<double>& y, std::size_t first, std::size_t end)
    {
        x_ = &x;
        y_ = &y;
        const std::size_t count = end - first;
        double minX = x[first], maxX = x[first], minY = y[first], maxY = y[first];
        double spacing = 0.0;
        for (std::size_t j = first; j < end; ++j) {
            if (!(std::fabs(x[j]) <= kGridMaxCoordinate && std::fabs(y[j]) <= kGridMaxCoordinate))
                return false;
            minX = std::min(minX, x[j]);
            maxX = std::max(maxX, x[j]);
            minY = std::min(minY, y[j]);
            maxY = std::max(maxY, y[j]);
            if (j > first)
                spacing += distance(x[j], y[j], x[j - 1], y[j - 1]);
        }
        spacing /= static_cast<double>(count);
        const double width = maxX - minX;
        const double height = maxY - minY;
        // A few points per cell along a curve, and no more cells than about
        // eight per point.
        const double maxCells = 8.0 * static_cast<double>(count) + 16.0;
        cell_ = std::max({2.0 * spacing, std::sqrt(width * height / maxCells), 1e-9 * (width + height), 1e-300});
        for (;;) {
            columns_ = static_cast<std::size_t>(width / cell_) + 1;
            rows_ = static_cast<std::size_t>(height / cell_) + 1;
            if (static_cast<double>(columns_) * static_cast<double>(rows_) <= maxCells)
                break;
            cell_ *= 1.5;
        }
        originX_ = minX;
        originY_ = minY;
        scale_ = std::max({std::fabs(minX), std::fabs(maxX), std::fabs(minY), std::fabs(maxY)});

        // Counting sort of the points by cell keeps index order in a cell.
        start_.assign(columns_ * rows_ + 1, 0);
        order_.resize(count);
        cellOf_.resize(count);
        for (std::size_t j = first; j < end; ++j) {
            const std::size_t c = cellIndex(x[j], y[j]);
            cellOf_[j - first] = c;
            ++start_[c + 1];
        }
        for (std::size_t c = 0; c < columns_ * rows_; ++c)
            start_[c + 1] += start_[c];
        fill_.assign(start_.begin(), start_.end() - 1);
        for (std::size_t j = first; j < end; ++j)
            order_[fill_[cellOf_[j - first]]++] = j;
        return true;
    }

    // Nearest vertex of a finite point; best and t as the full scan leaves
    // them (t untouched when no distance is below the largest double).
    void nearest(double px, double py, double& best, std::size_t& t) const
    {
        const auto qc = static_cast<std::ptrdiff_t>(clampedCell(px, originX_, columns_));
        const auto qr = static_cast<std::ptrdiff_t>(clampedCell(py, originY_, rows_));
        const auto columns = static_cast<std::ptrdiff_t>(columns_);
        const auto rows = static_cast<std::ptrdiff_t>(rows_);
        // Rounding of the distances: a ring is only ruled out with room to
        // spare.
        const double slack = 1e-12 * (scale_ + std::fabs(px) + std::fabs(py));
        const std::ptrdiff_t lastRing = std::max(columns, rows);
        for (std::ptrdiff_t r = 0; r <= lastRing; ++r) {
            const std::ptrdiff_t r0 = qr - r, r1 = qr + r, c0 = qc - r, c1 = qc + r;
            const std::ptrdiff_t cLo = std::max<std::ptrdiff_t>(c0, 0), cHi = std::min(c1, columns - 1);
            const std::ptrdiff_t rLo = std::max<std::ptrdiff_t>(r0 + 1, 0), rHi = std::min(r1 - 1, rows - 1);
            if (r0 >= 0)
                for (std::ptrdiff_t c = cLo; c <= cHi; ++c)
                    scanCell(static_cast<std::size_t>(r0) * columns_ + static_cast<std::size_t>(c), px, py, best, t);
            if (r > 0 && r1 < rows)
                for (std::ptrdiff_t c = cLo; c <= cHi; ++c)
                    scanCell(static_cast<std::size_t>(r1) * columns_ + static_cast<std::size_t>(c), px, py, best, t);
            if (c0 >= 0)
                for (std::ptrdiff_t rr = rLo; rr <= rHi; ++rr)
                    scanCell(static_cast<std::size_t>(rr) * columns_ + static_cast<std::size_t>(c0), px, py, best, t);
            if (r > 0 && c1 < columns)
                for (std::ptrdiff_t rr = rLo; rr <= rHi; ++rr)
                    scanCell(static_cast<std::size_t>(rr) * columns_ + static_cast<std::size_t>(c1), px, py, best, t);
            // Every point not yet seen lies outside the box of rings 0 ... r;
            // a side of the box at the grid's edge has nothing beyond it.
            const double inf = std::numeric_limits<double>::infinity();
            const double left = c0 <= 0 ? inf : px - (originX_ + static_cast<double>(c0) * cell_);
            const double right = c1 >= columns - 1 ? inf : originX_ + static_cast<double>(c1 + 1) * cell_ - px;
            const double top = r0 <= 0 ? inf : py - (originY_ + static_cast<double>(r0) * cell_);
            const double bottom = r1 >= rows - 1 ? inf : originY_ + static_cast<double>(r1 + 1) * cell_ - py;
            const double outside = std::min({left, right, top, bottom});
            if (outside == inf || outside > best * (1.0 + 1e-9) + slack)
                break;
        }
    }

private:
    std::size_t clampedCell(double v, double origin, std::size_t count) const
    {
        const double q = std::floor((v - origin) / cell_);
        if (!(q > 0.0))
            return 0;
        if (q >= static_cast<double>(count - 1))
            return count - 1;
        return static_cast<std::size_t>(q);
    }

    std::size_t cellIndex(double px, double py) const
    {
        return clampedCell(py, originY_, rows_) * columns_ + clampedCell(px, originX_, columns_);
    }

    void scanCell(std::size_t c, double px, double py, double& best, std::size_t& t) const
    {
        const std::vector<double>& x = *x_;
        const std::vector<double>& y = *y_;
        for (std::size_t k = start_[c]; k < start_[c + 1]; ++k) {
            const std::size_t j = order_[k];
            const double d = distance(px, py, x[j], y[j]);
            if (d < best || (d == best && j < t && d < kLargest)) {
                best = d;
                t = j;
            }
        }
    }

    const std::vector<double>* x_ = nullptr;
    const std::vector<double>* y_ = nullptr;
    double cell_ = 1.0;
    double originX_ = 0.0;
    double originY_ = 0.0;
    double scale_ = 0.0;
    std::size_t columns_ = 1;
    std::size_t rows_ = 1;
    std::vector<std::size_t> start_;
    std::vector<std::size_t> fill_;
    std::vector<std::size_t> order_;
    std::vector<std::size_t> cellOf_;
};

// Sum of weight x distance over the counting vertices of one curve, each
// vertex weighted by half the length of its two ring segments, and the ring's
// perimeter.
void weightedSum(const std::vector<double>& x, const std::vector<double>& y, const std::vector<double>& d,
                 double& sum, double& perimeter)
{
    sum = 0.0;
    perimeter = 0.0;
    const std::size_t n = std::min(x.size(), y.size());
    const std::size_t g = CurveDistance::skipCount(x, y);
    // Distances that do not belong to these coordinates carry no weight.
    if (g >= n || d.size() != n - g)
        return;
    const std::size_t last = n - 1;
    // The segment that closes the ring, from the last counting vertex back to
    // the first.
    const double closing = distance(x[last], y[last], x[g], y[g]);
    double before = closing;
    for (std::size_t v = g; v <= last; ++v) {
        const double after = v < last ? distance(x[v + 1], y[v + 1], x[v], y[v]) : closing;
        sum += 0.5 * (before + after) * d[v - g];
        perimeter += after;
        before = after;
    }
}

} // namespace

std::size_t CurveDistance::skipCount(const std::vector<double>& x, const std::vector<double>& y)
{
    const std::size_t n = std::min(x.size(), y.size());
    if (n == 0)
        return 0;
    if (x[n - 1] == x[0] && y[n - 1] == y[0])
        return 1;
    if (n >= 2 && x[n - 2] == x[0] && y[n - 2] == y[0] && x[n - 1] == x[1] && y[n - 1] == y[1])
        return 2;
    return 0;
}

void CurveDistance::directedDistances(const std::vector<double>& fromX, const std::vector<double>& fromY,
                                      const std::vector<double>& toX, const std::vector<double>& toY,
                                      std::vector<double>& out)
{
    const std::size_t n = std::min(fromX.size(), fromY.size());
    const std::size_t g = skipCount(fromX, fromY);
    out.assign(g < n ? n - g : 0, kLargest);
    const std::size_t m = std::min(toX.size(), toY.size());
    if (out.empty() || m == 0)
        return;
    const std::size_t l = skipCount(toX, toY);

    // The nearest-vertex search is the cost of the whole comparison (every
    // vertex against every vertex); a grid gives the same answer in time
    // proportional to the points near each query.
    NearestVertexGrid grid;
    const bool useGrid =
        m > l && m - l >= kGridMinTargets && out.size() >= kGridMinQueries && grid.build(toX, toY, l, m);

    std::size_t t = 0;
    for (std::size_t v = g; v < n; ++v) {
        const double px = fromX[v];
        const double py = fromY[v];

        // Nearest counting vertex; the first one wins among equal distances.
        double best = kLargest;
        if (useGrid && std::fabs(px) <= kGridMaxCoordinate && std::fabs(py) <= kGridMaxCoordinate) {
            grid.nearest(px, py, best, t);
        } else {
            for (std::size_t j = l; j < m; ++j) {
                const double d = distance(px, py, toX[j], toY[j]);
                if (d < best) {
                    best = d;
                    t = j;
                }
            }
        }

        // The five segments around it, the polyline taken as closed.
        const auto tt = static_cast<std::ptrdiff_t>(t);
        for (std::ptrdiff_t k = tt - 3; k <= tt + 1; ++k) {
            const std::size_t s = wrapIndex(k, m);
            const std::size_t e = wrapIndex(k + 1, m);
            const double sx = toX[s];
            const double sy = toY[s];
            const double ex = toX[e] - sx;
            const double ey = toY[e] - sy;
            const double len2 = ex * ex + ey * ey;
            if (!(len2 > 0.0))
                continue;
            const double u = ((px - sx) * ex + (py - sy) * ey) / len2;
            if (u > 0.0 && u < 1.0) {
                const double d = distance(px, py, sx + u * ex, sy + u * ey);
                if (d < best)
                    best = d;
            }
        }
        out[v - g] = best;
    }
}

void CurveDistance::computeDistances()
{
    directedDistances(ax, ay, bx, by, distancesAB);
    directedDistances(bx, by, ax, ay, distancesBA);
}

void CurveDistance::computeStatistics()
{
    if (distancesAB.empty() || distancesBA.empty())
        return;

    double sumA = 0.0;
    double perimeterA = 0.0;
    double sumB = 0.0;
    double perimeterB = 0.0;
    weightedSum(ax, ay, distancesAB, sumA, perimeterA);
    weightedSum(bx, by, distancesBA, sumB, perimeterB);
    // Two rings of a single vertex each have no length to weigh by: the mean
    // stays not computed.
    const double perimeter = perimeterA + perimeterB;
    if (perimeter > 0.0)
        meanDistance = (sumA + sumB) / perimeter;

    std::vector<double> all;
    all.reserve(distancesAB.size() + distancesBA.size());
    all.insert(all.end(), distancesAB.begin(), distancesAB.end());
    all.insert(all.end(), distancesBA.begin(), distancesBA.end());
    std::sort(all.begin(), all.end());
    hausdorff = all.back();
    const auto index = static_cast<std::size_t>(static_cast<double>(all.size()) * 0.95);
    percentile95 = all[std::min(index, all.size() - 1)];
}

double CurveDistance::computeHausdorff()
{
    double result = kSmallestNormal;
    if (!distancesAB.empty() && !distancesBA.empty()) {
        for (double d : distancesAB)
            result = std::max(result, d);
        for (double d : distancesBA)
            result = std::max(result, d);
    }
    hausdorff = result;
    return result;
}

void computeCurveDistances(const UI::Curve& a, const UI::Curve& b, double& mean, double& hausdorff,
                           double& percentile95)
{
    CurveDistance work;
    const auto copy = [](const std::vector<Point2D>& points, std::vector<double>& x, std::vector<double>& y) {
        x.resize(points.size());
        y.resize(points.size());
        for (std::size_t i = 0; i < points.size(); ++i) {
            x[i] = points[i].x;
            y[i] = points[i].y;
        }
    };
    copy(a.points(), work.ax, work.ay);
    copy(b.points(), work.bx, work.by);
    work.computeDistances();
    work.computeStatistics();
    mean = work.meanDistance;
    hausdorff = work.hausdorff;
    percentile95 = work.percentile95;
}
