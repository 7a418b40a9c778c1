#include "io/Curve.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <utility>

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
