#include "io/Curve.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <stdexcept>
#include <utility>

#include <omp.h>

#include "io/PolygonFill.h"

namespace UI {

void Curve::setPoints(const ::std::vector<Point2D>& points)
{
    if (&points != &points_)
        points_ = points;
}

void Curve::appendPoints(const ::std::vector<Point2D>& points)
{
    if (&points == &points_) {
        const ::std::vector<Point2D> copy = points;
        points_.insert(points_.end(), copy.begin(), copy.end());
        return;
    }
    points_.insert(points_.end(), points.begin(), points.end());
}

void Curve::reversePoints()
{
    ::std::reverse(points_.begin(), points_.end());
}

void Curve::computeGeometry()
{
    const ::std::vector<Point2D>& p = points_;
    if (p.empty())
        return;
    if (p.front() == p.back())
        closed = true;

    // The shoelace terms are taken relative to the first point, which keeps
    // them small for curves far from the origin (a tile is 10980 pixels
    // wide). The shift changes the sum by x0 * y'_last - y0 * x'_last, zero
    // for a curve that returns to its start; it is added back so that a curve
    // marked closed without repeating its start gets the plain sum.
    const double ox = p.front().x;
    const double oy = p.front().y;
    double length = 0.0;
    double twiceArea = 0.0;
    for (::std::size_t i = 0; i + 1 < p.size(); ++i) {
        const double ax = p[i].x - ox;
        const double ay = p[i].y - oy;
        const double bx = p[i + 1].x - ox;
        const double by = p[i + 1].y - oy;
        length += ::std::hypot(bx - ax, by - ay);
        twiceArea += ax * by - bx * ay;
    }
    perimeter = length;
    if (closed) {
        const double lastX = p.back().x - ox;
        const double lastY = p.back().y - oy;
        area = 0.5 * (twiceArea + (ox * lastY - oy * lastX));
    }
}

void Curve::updateInnerFromGeometry()
{
    computeGeometry();
    inner = closed && area < 0.0;
}

bool Curve::orientAsOuter()
{
    computeGeometry();
    inner = false;
    if (!closed || !(area < 0.0))
        return false;
    reversePoints();
    computeGeometry();
    return true;
}

CurveSet::CurveSet(const ::std::vector<::std::vector<Point2D>>& lists)
{
    curves.reserve(lists.size());
    for (const auto& list : lists)
        addCurveFromPoints(list);
}

void CurveSet::addCurveFromPoints(const ::std::vector<Point2D>& points)
{
    Curve curve;
    curve.setPoints(points);
    curves.push_back(::std::move(curve));
}

bool CurveSet::allClosed() const
{
    return ::std::all_of(curves.begin(), curves.end(), [](const Curve& c) { return c.closed; });
}

::std::vector<::std::vector<Point2D>> CurveSet::pointLists(int dx, int dy) const
{
    ::std::vector<::std::vector<Point2D>> lists;
    lists.reserve(curves.size());
    const double ox = dx;
    const double oy = dy;
    for (const auto& curve : curves) {
        ::std::vector<Point2D> list = curve.points();
        if (dx != 0 || dy != 0)
            for (auto& p : list) {
                p.x -= ox;
                p.y -= oy;
            }
        lists.push_back(::std::move(list));
    }
    return lists;
}

::std::vector<::std::vector<Point2D>> CurveSet::curvePointList(int i) const
{
    return {curves.at(static_cast<::std::size_t>(i)).points()};
}

namespace {

template <typename T, typename Field>
::std::vector<T> collect(const ::std::vector<Curve>& curves, Field field)
{
    ::std::vector<T> out;
    out.reserve(curves.size());
    for (const auto& curve : curves)
        out.push_back(curve.*field);
    return out;
}

} // namespace

::std::vector<::std::string> CurveSet::names() const
{
    return collect<::std::string>(curves, &Curve::name);
}

::std::vector<::std::string> CurveSet::codes() const
{
    return collect<::std::string>(curves, &Curve::code);
}

::std::vector<::std::string> CurveSet::segmentationTypes() const
{
    return collect<::std::string>(curves, &Curve::segmType);
}

::std::vector<::std::vector<double>> CurveSet::segmentationParams() const
{
    return collect<::std::vector<double>>(curves, &Curve::segmParams);
}

void CurveSet::resetStatistics(int bandCount)
{
    const ::std::size_t n = static_cast<::std::size_t>(::std::max(bandCount, 0));
    for (int t = 0; t < statisticTypeCount; ++t)
        statistic(t).assign(n, -1.0);
}

::std::vector<double>& CurveSet::statistic(int statType)
{
    return const_cast<::std::vector<double>&>(::std::as_const(*this).statistic(statType));
}

const ::std::vector<double>& CurveSet::statistic(int statType) const
{
    switch (statType) {
    case Mean: return mean;
    case StandardDeviation: return std;
    case Minimum: return min;
    case Maximum: return max;
    case MeanGL5: return meanGL5;
    case MeanGL3: return meanGL3;
    default: throw ::std::out_of_range("CurveSet: no statistic type " + ::std::to_string(statType));
    }
}

namespace {

// The curve in window pixels, without consecutive repeats, as an edge table.
void prepareEdges(const Curve& curve, double ox, double oy, int width, int height, ::std::vector<Point2D>& polygon,
                  PolygonEdges& edges)
{
    polygon.clear();
    for (const auto& p : curve.points()) {
        const Point2D q{p.x - ox, p.y - oy};
        if (polygon.empty() || !(q == polygon.back()))
            polygon.push_back(q);
    }
    edges = PolygonEdges(polygon, width, height);
}

// Rows first to last of the window, band by band: every curve's rows of one
// band, in curve order, before the next band, so that the band is in the
// cache while the curves write it. Before a band is filled, grow(end) makes
// sure the mask holds its rows.
template <typename Grow>
void fillBands(const ::std::vector<Curve>& curves, ::std::vector<PolygonScan>& scans, int first, int last,
               int bandRows, ::std::vector<int>& mask, Grow grow)
{
    for (int row = first; row < last; row += bandRows) {
        const int end = row + ::std::min(bandRows, last - row);
        grow(end);
        for (::std::size_t i = 0; i < scans.size(); ++i)
            scans[i].fillRows(end, mask.data(), mask.size(), curves[i].inner ? 0 : 1);
    }
}

} // namespace

void CurveSet::rasterize(int x0, int y0, int width, int height, ::std::vector<int>& mask) const
{
    const ::std::size_t rowLength = static_cast<::std::size_t>(::std::max(width, 0));
    const ::std::size_t count = rowLength * static_cast<::std::size_t>(::std::max(height, 0));
    if (count == 0) {
        mask.clear();
        return;
    }
    constexpr ::std::size_t bandBytes = 256 * 1024;
    const int bandRows
        = static_cast<int>(::std::clamp<::std::size_t>(bandBytes / (rowLength * sizeof(int)), 1, 1 << 20));
    const double ox = x0;
    const double oy = y0;
    ::std::vector<PolygonEdges> tables(curves.size());
    ::std::vector<Point2D> polygon;

    // A curve writes only its own rows, so a large window is split between
    // the threads: each fills a block of rows with every curve in order,
    // which gives exactly the mask of filling the curves one after the other.
    constexpr ::std::size_t parallelFrom = ::std::size_t(1) << 18;
    if (count < parallelFrom || omp_in_parallel() || omp_get_max_threads() < 2) {
        // On one thread the mask grows band by band, its new entries set to
        // 0 just before the curves write them.
        if (mask.size() > count)
            mask.resize(count);
        mask.reserve(count);
        for (::std::size_t i = 0; i < curves.size(); ++i)
            prepareEdges(curves[i], ox, oy, width, height, polygon, tables[i]);
        ::std::vector<PolygonScan> scans(tables.begin(), tables.end());
        fillBands(curves, scans, 0, height, bandRows, mask, [&mask, rowLength](int end) {
            const ::std::size_t rows = static_cast<::std::size_t>(end) * rowLength;
            if (mask.size() < rows)
                mask.resize(rows, 0);
        });
        return;
    }

    mask.resize(count, 0);
    const int curveCount = static_cast<int>(curves.size());
    bool outOfMemory = false;
#pragma omp parallel private(polygon)
    {
        // Memory running out is passed on after the team: an exception must
        // not leave a thread of it (nor skip the barrier of the loop).
        const auto noteOutOfMemory = [&outOfMemory] {
#pragma omp atomic write
            outOfMemory = true;
        };
#pragma omp for schedule(dynamic, 4)
        for (int i = 0; i < curveCount; ++i) {
            try {
                const auto k = static_cast<::std::size_t>(i);
                prepareEdges(curves[k], ox, oy, width, height, polygon, tables[k]);
            } catch (const ::std::bad_alloc&) {
                noteOutOfMemory();
            }
        }
        bool failed = false;
#pragma omp atomic read
        failed = outOfMemory;
        if (!failed) {
            const int threads = omp_get_num_threads();
            const int thread = omp_get_thread_num();
            const int first = static_cast<int>(static_cast<long long>(height) * thread / threads);
            const int last = static_cast<int>(static_cast<long long>(height) * (thread + 1) / threads);
            try {
                ::std::vector<PolygonScan> scans(tables.begin(), tables.end());
                for (auto& scan : scans)
                    scan.skipTo(first);
                fillBands(curves, scans, first, last, bandRows, mask, [](int) {});
            } catch (const ::std::bad_alloc&) {
                noteOutOfMemory();
            }
        }
    }
    if (outOfMemory)
        throw ::std::bad_alloc();
}

void CurveSet::updateBoundingBoxes()
{
    constexpr double largest = ::std::numeric_limits<double>::max();
    constexpr double lowest = ::std::numeric_limits<double>::lowest();
    minX = minY = largest;
    maxX = maxY = lowest;
    for (auto& curve : curves) {
        curve.minX = curve.minY = largest;
        curve.maxX = curve.maxY = lowest;
        for (const auto& p : curve.points()) {
            curve.minX = ::std::min(curve.minX, p.x);
            curve.minY = ::std::min(curve.minY, p.y);
            curve.maxX = ::std::max(curve.maxX, p.x);
            curve.maxY = ::std::max(curve.maxY, p.y);
        }
        // A curve without points has no box of its own and must not widen
        // the set's box to plus/minus infinity.
        if (curve.points().empty())
            continue;
        minX = ::std::min(minX, curve.minX);
        minY = ::std::min(minY, curve.minY);
        maxX = ::std::max(maxX, curve.maxX);
        maxY = ::std::max(maxY, curve.maxY);
    }
}

} // namespace UI
