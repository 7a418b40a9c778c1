#include "evolution/EvolvingCurve.h"

#include <cmath>
#include <sstream>

EvolvingCurve::EvolvingCurve() = default;

int EvolvingCurve::pointCount() const
{
    return x.size() < 2 ? 0 : static_cast<int>(x.size()) - 2;
}

void EvolvingCurve::repad()
{
    repadArray(x);
    repadArray(y);
}

void EvolvingCurve::computeSegments()
{
    length = 0.0;
    int n = pointCount();
    segmentLength.resize(x.size());
    segmentDx.resize(x.size());
    segmentDy.resize(x.size());
    for (int i = 1; i <= n;) {
        const double dx = x[i] - x[i - 1];
        const double dy = y[i] - y[i - 1];
        const double r = std::sqrt(dx * dx + dy * dy);
        if (r == 0.0) {
            // A repeated point: drop it and look at the same index again. The
            // padded copies must follow, or entry 0 / n + 1 would name a
            // point that is gone. (When the last point goes, entry 0 takes
            // the value of its equal predecessor, so segment 1 stays valid.)
            x.erase(x.begin() + i);
            y.erase(y.begin() + i);
            repad();
            --n;
            continue;
        }
        segmentDx[i] = dx;
        segmentDy[i] = dy;
        segmentLength[i] = r;
        length += r;
        ++i;
    }
    segmentLength.resize(x.size());
    segmentDx.resize(x.size());
    segmentDy.resize(x.size());
    repadArray(segmentLength);
    repadArray(segmentDx);
    repadArray(segmentDy);
}

double EvolvingCurve::signedArea() const
{
    if (x.size() < 3 || y.size() != x.size())
        return 0.0;
    const int n = pointCount();
    double sum = 0.0;
    for (int i = 1; i <= n - 1; ++i)
        sum += x[i] * y[i + 1] - x[i + 1] * y[i];
    sum += x[n] * y[1] - y[n] * x[1];
    return 0.5 * sum;
}

std::string EvolvingCurve::layoutFault(int minPoints) const
{
    std::ostringstream out;
    if (x.size() != y.size()) {
        out << "x has " << x.size() << " entries, y " << y.size();
        return out.str();
    }
    const int n = pointCount();
    if (n < 1) {
        out << "no point";
        return out.str();
    }
    if (n < minPoints) {
        out << n << " points, fewer than " << minPoints;
        return out.str();
    }
    const std::size_t s = x.size();
    if (x[0] != x[s - 2] || y[0] != y[s - 2] || x[s - 1] != x[1] || y[s - 1] != y[1]) {
        out << "padded copies do not match";
        return out.str();
    }
    for (std::size_t i = 0; i < s; ++i)
        if (!std::isfinite(x[i]) || !std::isfinite(y[i])) {
            out << "point " << i << " is not finite";
            return out.str();
        }
    for (int i = 1; i <= n; ++i)
        if (x[i] == x[i - 1] && y[i] == y[i - 1]) {
            out << "segment " << i << " has zero length";
            return out.str();
        }
    return {};
}
