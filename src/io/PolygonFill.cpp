#include "io/PolygonFill.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace {

// Smallest column j in [0, width] with xl <= j + 0.5; width when there is
// none inside the row. The estimate from ceil is corrected by the exact
// comparison the rule uses, so rounding of xl - 0.5 never moves a pixel.
int firstColumn(double xl, int width)
{
    double c = std::ceil(xl - 0.5);
    if (!(c > 0.0))
        c = 0.0;
    if (c >= width)
        return width;
    int j = static_cast<int>(c);
    while (j > 0 && xl <= (j - 1) + 0.5)
        --j;
    while (j < width && !(xl <= j + 0.5))
        ++j;
    return j;
}

// Largest column j in [-1, width - 1] with j + 0.5 <= xr; -1 when none.
int lastColumn(double xr, int width)
{
    double f = std::floor(xr - 0.5);
    if (f < 0.0)
        f = -1.0;
    if (f > width - 1)
        f = width - 1;
    int j = static_cast<int>(f);
    while (j < width - 1 && (j + 1) + 0.5 <= xr)
        ++j;
    while (j >= 0 && !(j + 0.5 <= xr))
        --j;
    return j;
}

// Sorts by crossing x; equal crossings keep their order. Written out (not
// std::sort) because the list is nearly sorted from one row to the next and
// because a crossing that overflowed to NaN must not break the sort.
template <typename Edge>
void sortByCrossing(std::vector<Edge>& edges)
{
    for (std::size_t i = 1; i < edges.size(); ++i) {
        const Edge e = edges[i];
        std::size_t k = i;
        while (k > 0 && edges[k - 1].x > e.x) {
            edges[k] = edges[k - 1];
            --k;
        }
        edges[k] = e;
    }
}

} // namespace

PolygonEdges::PolygonEdges(const std::vector<Point2D>& polygon, int windowWidth, int windowHeight)
{
    if (windowWidth <= 0 || windowHeight <= 0 || polygon.size() < 2)
        return;
    for (const auto& p : polygon)
        if (!std::isfinite(p.x) || !std::isfinite(p.y))
            return;
    const double lastCentre = windowHeight - 0.5;

    // Edges that take part in some row of the window: ymin <= y + 0.5 <
    // ymax for a y in [0, height - 1].
    edges.reserve(polygon.size());
    const std::size_t n = polygon.size();
    for (std::size_t i = 0; i < n; ++i) {
        const Point2D& a = polygon[i];
        const Point2D& b = polygon[(i + 1) % n];
        if (a.y == b.y)
            continue;
        const Point2D& lo = a.y < b.y ? a : b;
        const Point2D& hi = a.y < b.y ? b : a;
        if (hi.y <= 0.5 || lo.y > lastCentre)
            continue;
        edges.push_back({lo.y, hi.y, lo.x, (hi.x - lo.x) / (hi.y - lo.y)});
    }
    if (edges.empty())
        return;
    std::sort(edges.begin(), edges.end(), [](const Edge& l, const Edge& r) { return l.ymin < r.ymin; });
    width = windowWidth;
    height = windowHeight;
}

PolygonScan::PolygonScan(const PolygonEdges& table)
    : table_(&table)
    , rows_(table.height)
{
    if (!table.edges.empty())
        row_ = table.edges.front().ymin >= 0.0 ? static_cast<int>(table.edges.front().ymin) : 0;
}

// An edge joins at the row int(ymin) (truncated), its crossing taken at that
// row's centre and then advanced by one step per row. An edge that starts
// above the window joins at the first row scanned, `row`, its crossing
// advanced over the rows above at once.
void PolygonScan::join(Edge e, int row)
{
    if (e.ymin >= 0.0) {
        const int entry = static_cast<int>(e.ymin);
        e.x += (entry + 0.5 - e.ymin) * e.step;
    } else {
        const double entry = std::trunc(e.ymin);
        e.x += (entry + 0.5 - e.ymin) * e.step;
        e.x += (row - entry) * e.step;
    }
    active_.push_back(e);
}

void PolygonScan::skipTo(int row)
{
    const int target = std::min(row, rows_);
    if (row_ >= target)
        return;
    // Rows already begun are stepped over one by one; the edges that join
    // before the target are joined at their own row and advanced to it.
    const double centre = target + 0.5;
    for (Edge& e : active_)
        for (int r = row_; r < target; ++r)
            e.x += e.step;
    while (next_ < table_->edges.size()
           && (table_->edges[next_].ymin < 0.0 || static_cast<int>(table_->edges[next_].ymin) < target)) {
        const Edge& e = table_->edges[next_++];
        if (!(centre < e.ymax))
            continue; // ends above the target row
        const int joinedAt = e.ymin < 0.0 ? row_ : std::max(static_cast<int>(e.ymin), row_);
        join(e, joinedAt);
        Edge& joined = active_.back();
        for (int r = joinedAt; r < target; ++r)
            joined.x += joined.step;
    }
    std::erase_if(active_, [centre](const Edge& e) { return !(centre < e.ymax); });
    row_ = target;
}

void PolygonScan::fillRows(int rowEnd, int* mask, std::size_t maskSize, int value)
{
    const std::size_t rowLength = static_cast<std::size_t>(table_->width);
    const int end = std::min(rowEnd, rows_);
    for (; row_ < end && (next_ < table_->edges.size() || !active_.empty()); ++row_) {
        const std::size_t rowStart = static_cast<std::size_t>(row_) * rowLength;
        if (rowStart >= maskSize) {
            // The mask ends here: nothing below can be written.
            rows_ = row_;
            return;
        }
        const double centre = row_ + 0.5;
        while (next_ < table_->edges.size()
               && (table_->edges[next_].ymin < 0.0 || static_cast<int>(table_->edges[next_].ymin) <= row_))
            join(table_->edges[next_++], row_);
        // Edges whose lower end lies above this row's centre are done.
        std::erase_if(active_, [centre](const Edge& e) { return !(centre < e.ymax); });
        sortByCrossing(active_);

        const int columns = static_cast<int>(std::min(rowLength, maskSize - rowStart));
        int* out = mask + rowStart;
        // Pair the edges that cross this row's centre, in crossing order.
        const Edge* left = nullptr;
        for (const Edge& e : active_) {
            if (!(e.ymin <= centre))
                continue;
            if (!left) {
                left = &e;
                continue;
            }
            const double xl = left->x;
            const double xr = e.x;
            left = nullptr;
            if (!(xl <= xr))
                continue;
            const int j0 = firstColumn(xl, columns);
            const int j1 = lastColumn(xr, columns);
            if (j0 <= j1)
                std::fill(out + j0, out + j1 + 1, value);
        }
        for (Edge& e : active_)
            e.x += e.step;
    }
}

void fillPolygon(const std::vector<Point2D>& polygon, int width, int height, std::vector<int>& mask, int value)
{
    if (mask.empty())
        return;
    const PolygonEdges edges(polygon, width, height);
    PolygonScan(edges).fillRows(height, mask.data(), mask.size(), value);
}
